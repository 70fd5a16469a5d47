// Passes the first slice of its input image through to its output image.
#pragma once

#include "imaging/core/isImageFilter.h"

namespace isImageSDK {

class isImageSlice : public isImageFilter {
 public:
  static isImageSlice* create();

  void updateInformation() override;
  void execute(isImageData* inImage, isImageData* outImage) override;

 protected:
  isImageSlice() = default;
};

}  // namespace isImageSDK
