#include "imaging/core/isImageFilter.h"

#include "imaging/core/isImageData.h"

namespace isImageSDK {

isImageFilter::~isImageFilter() { isImageFilter::clear(); }

bool isImageFilter::init() {
  isFilterObject::init();
  inputImage = nullptr;
  outputImage = nullptr;
  return true;
}

void isImageFilter::clear() {
  isFilterObject::clear();
  inputImage = nullptr;
  outputImage = nullptr;
}

void isImageFilter::createOutput() {
  isImageData* image = isImageData::create();
  if (!image) return;
  image->releaseSlices();
  image->reset();
  output = image;
  outputImage = image;
  image->setInput(this);
}

void isImageFilter::setInputData(isImageData* image) {
  setInput(image);
  inputImage = image;
}

void isImageFilter::prioritizeImage(void* requester, std::string filePath) {}

void isImageFilter::execute(isImageData* inImage, isImageData* outImage) {}

isImageData* isImageFilter::getOutputImage() {
  getOutput();
  return outputImage;
}

void isImageFilter::updateData() {
  if (!dataModified && !(input && input->isDataModified())) return;
  if (input) input->updateData();
  getOutput();
  dataModified = false;
  for (isFilterObject* c : consumers) c->dataModified = true;
  execute(inputImage, outputImage);
}

}  // namespace isImageSDK
