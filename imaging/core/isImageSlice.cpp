#include "imaging/core/isImageSlice.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/core/isImageData.h"

namespace isImageSDK {

isImageSlice* isImageSlice::create() { return initCreated(new (std::nothrow) isImageSlice()); }

void isImageSlice::updateInformation() {
  if (!informationModified && !(input && input->isInformationModified())) return;
  if (input) input->updateInformation();
  informationModified = false;
  for (isFilterObject* c : consumers) c->informationModified = true;

  if (!inputImage) return;
  isImageData* out = getOutputImage();
  if (!out) return;
  out->releaseSlices();
  out->reset();
  inputImage->updateInformation();
  if (inputImage->hasData && inputImage->dimensions[2] > 0 && !inputImage->slices.empty()) {
    out->addSliceCopy(inputImage->slices[0]);
  }
}

void isImageSlice::execute(isImageData* inImage, isImageData* outImage) {
  if (!outImage) return;
  outImage->updateInformation();
  if (!outImage->hasData || !inImage || !inImage->hasData) return;
  inImage->update();
  outImage->update();
  SliceRecord* from = inImage->getSlice(0);
  SliceRecord* to = outImage->getSlice(0);
  if (!from || !to || !from->pixels || !to->pixels) return;
  // One frame only; never more than either buffer holds.
  const size_t bytes = std::min(from->frameBytes(), to->frameBytes());
  std::memcpy(to->pixels, from->pixels, bytes);
  to->pixelsLoaded = from->pixelsLoaded;
}

}  // namespace isImageSDK
