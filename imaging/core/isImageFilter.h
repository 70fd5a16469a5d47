// Base of the filters that turn one image into another, and of the readers.
#pragma once

#include <string>

#include "imaging/core/isFilterObject.h"

namespace isImageSDK {

class isImageData;

class isImageFilter : public isFilterObject {
 public:
  ~isImageFilter() override;

  void clear() override;
  bool init() override;
  // Brings the data up to date, then runs `execute`, only when this node's
  // data mark or one upstream is set.
  void updateData() override;
  // Creates an empty image data whose input is this filter.
  void createOutput() override;

  // Connects an input image (null disconnects) and remembers it.
  virtual void setInputData(isImageData* image);
  // A hint to deliver the slice of that file first and to tell the requester
  // when it is there. Nothing here; the series cache reader implements it.
  virtual void prioritizeImage(void* requester, std::string filePath);
  // Computes the output image from the input image. Nothing here.
  virtual void execute(isImageData* inImage, isImageData* outImage);

  // The output image (created on first demand).
  isImageData* getOutputImage();

  isImageData* inputImage = nullptr;   // held through `input`
  isImageData* outputImage = nullptr;  // the same object as `output`

 protected:
  isImageFilter() = default;
};

}  // namespace isImageSDK
