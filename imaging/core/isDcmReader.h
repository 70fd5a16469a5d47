// Source node that reads one DICOM file into one slice (all frames of the
// file), with its geometry in the display frame, default window, rescale and,
// for PET, the decay data.
#pragma once

#include <string>

#include "imaging/core/isImageFilter.h"

namespace isImageSDK {

class isDcmReader : public isImageFilter {
 public:
  // Allocates and initialises; null when that fails. Not autoreleased.
  static isDcmReader* create();
  ~isDcmReader() override;

  // The image-filter init, then an empty file name.
  bool init() override;
  // Reads the file into the output image (all the work happens here; the
  // output stays empty when the file cannot be used).
  void updateInformation() override;
  bool isSource() override { return true; }

  // Stores the path and sets both modified marks.
  void setFileName(const std::string& path);

  std::string fileName;

 protected:
  isDcmReader() = default;
};

}  // namespace isImageSDK
