#include "imaging/core/isImagePlane.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "imaging/core/isImageData.h"
#include "imaging/core/isMatrixOps.h"

namespace isImageSDK {

isImagePlane* isImagePlane::create() { return initCreated(new (std::nothrow) isImagePlane()); }

isImagePlane::~isImagePlane() { isImageFilter::clear(); }

bool isImagePlane::init() {
  if (!isImageFilter::init()) return false;
  slabSampleCount = 1;
  projectionMode = PROJECTION_MAX;
  orientation = PLANE_ORIGINAL;
  sliceIndex = -1;
  return true;
}

void isImagePlane::setInputData(isImageData* image) {
  isImageFilter::setInputData(image);
  sliceIndex = 0;
}

void isImagePlane::setSliceIndex(int index) {
  if (index == sliceIndex) return;
  sliceIndex = index;
  informationModified = true;
  dataModified = true;
}

void isImagePlane::setOrientation(int value) {
  if (value == orientation) return;
  orientation = value;
  informationModified = true;
  dataModified = true;
}

void isImagePlane::setProjectionMode(int mode) {
  if (mode == projectionMode) return;
  projectionMode = mode;
  dataModified = true;
}

void isImagePlane::setInterpolationMode(int mode) {
  if (mode == interpolationMode) return;
  interpolationMode = mode;
  dataModified = true;
}

float isImagePlane::axisSpacing() const {
  switch (orientation) {
    case PLANE_ORIGINAL: return inputImage->spacing[2];
    case PLANE_SAGITTAL: return inputImage->spacing[0];
    default: return inputImage->spacing[1];
  }
}

void isImagePlane::setSlabThickness(double thickness) {
  if (!inputImage) return;
  inputImage->updateInformation();
  const int count = slabSampleCountFor(thickness, axisSpacing());
  if (count == slabSampleCount) return;
  dataModified = true;
  slabSampleCount = count;
}

int isImagePlane::getSliceCount() {
  if (!inputImage) return -1;
  inputImage->updateInformation();
  switch (orientation) {
    case PLANE_ORIGINAL: return inputImage->dimensions[2];
    case PLANE_SAGITTAL: return inputImage->dimensions[0];
    default: return inputImage->dimensions[1];
  }
}

int isImagePlane::getSliceIndexForPosition(double x, double y, double z) {
  if (!inputImage) return -1;
  inputImage->updateInformation();
  cocos2d::Mat4 inv = inputImage->worldMatrix;
  if (!inv.inverse()) return -1;
  const float px = float(x), py = float(y), pz = float(z);
  float local[3];
  for (int r = 0; r < 3; ++r)
    local[r] = inv.m[r] * px + inv.m[4 + r] * py + inv.m[8 + r] * pz + inv.m[12 + r];
  float distance;
  switch (orientation) {
    case PLANE_ORIGINAL: distance = local[2]; break;
    case PLANE_SAGITTAL:
      distance = float(inputImage->dimensions[0] - 1) * inputImage->spacing[0] - local[0];
      break;
    default: distance = local[1]; break;
  }
  const float spacing = axisSpacing();
  if (!(spacing > 0.0f) || !std::isfinite(spacing)) return -1;
  const double index = std::trunc(double(distance / spacing) + 0.5);
  if (!(std::fabs(index) < double(std::numeric_limits<int>::max())))
    return index < 0 ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
  return int(index);
}

void isImagePlane::updateInformation() {
  if (!informationModified && !(input && input->isInformationModified())) return;
  if (input) input->updateInformation();
  informationModified = false;
  for (isFilterObject* c : consumers) c->informationModified = true;

  isImageData* out = getOutputImage();
  if (!out) return;
  out->releaseSlices();
  out->reset();
  if (!inputImage) return;
  isImageData* in = inputImage;
  in->updateInformation();

  if (!in->volumeLayout) {
    if (orientation != PLANE_ORIGINAL) return;
    slabSampleCount = 1;
    projectionMode = 1;
    if (sliceIndex >= 0 && sliceIndex < in->dimensions[2] && size_t(sliceIndex) < in->slices.size())
      out->addSliceCopy(in->slices[size_t(sliceIndex)]);
    return;
  }

  const int dx = in->dimensions[0], dy = in->dimensions[1], dz = in->dimensions[2];
  const float sx = in->spacing[0], sy = in->spacing[1], sz = in->spacing[2];
  const cocos2d::Mat4& m = in->worldMatrix;
  if (in->elementType == ELEMENT_RGB) slabSampleCount = 1;
  if (in->slices.empty()) return;
  const SliceRecord* first = in->slices.front();

  if (orientation == PLANE_ORIGINAL) {
    if (sliceIndex < 0 || sliceIndex >= dz || size_t(sliceIndex) >= in->slices.size()) return;
    const SliceRecord* s = in->slices[size_t(sliceIndex)];
    const int32_t dims[3] = {s->width, s->height, 1};
    const float spacing[3] = {s->spacingX, s->spacingY, 1.0f};
    if (!out->buildVolume(dims, spacing, s->elementType, s->positionCode, s->feetFirstCode, s->matrix)) return;
    out->slices[0]->copyFields(*s);
    out->slices[0]->pixelsLoaded = s->pixelsLoaded;
    return;
  }

  cocos2d::Mat4 placement;
  int32_t dims[3];
  float spacing[3];
  if (orientation == PLANE_SAGITTAL) {
    if (sliceIndex < 0 || sliceIndex >= dx) return;
    const cocos2d::Mat4 n = detail::translated(m, float(dx - sliceIndex - 1) * sx, 0.0f, 0.0f);
    const cocos2d::Vec3 x = detail::column(n, 0);
    placement = cocos2d::Mat4(detail::column(n, 2), detail::column(n, 1), cocos2d::Vec3(-x.x, -x.y, -x.z),
                              detail::column(n, 3));
    dims[0] = dz, dims[1] = dy, dims[2] = 1;
    spacing[0] = sz, spacing[1] = sy, spacing[2] = sx;
  } else if (orientation == PLANE_CORONAL) {
    if (sliceIndex < 0 || sliceIndex >= dy) return;
    const cocos2d::Mat4 n = detail::translated(m, 0.0f, float(sliceIndex) * sy, 0.0f);
    placement = cocos2d::Mat4(detail::column(n, 2), detail::column(n, 0), detail::column(n, 1),
                              detail::column(n, 3));
    dims[0] = dz, dims[1] = dx, dims[2] = 1;
    spacing[0] = sz, spacing[1] = sx, spacing[2] = sy;
  } else {
    return;
  }
  if (!out->buildVolume(dims, spacing, in->elementType, in->positionCode, in->feetFirstCode, placement)) return;
  out->slices[0]->copyFields(*first);
}

void isImagePlane::execute(isImageData* inImage, isImageData* outImage) {
  if (!outImage) return;
  outImage->updateInformation();
  if (!outImage->hasData || !inputImage || outImage->slices.empty()) return;
  isImageData* in = inputImage;
  in->updateInformation();
  SliceRecord* target = outImage->slices[0];
  if (!target->pixels) return;

  if (!in->volumeLayout) {
    in->update();
    if (sliceIndex < 0 || size_t(sliceIndex) >= in->slices.size()) return;
    const SliceRecord* source = in->slices[size_t(sliceIndex)];
    if (!source->pixels) return;
    const size_t bytes = size_t(target->width) * size_t(target->height) * size_t(bytesPerSample(source->elementType));
    // Never more than either buffer holds.
    std::memcpy(target->pixels, source->pixels, std::min(bytes, std::min(source->pixelBytes(), target->pixelBytes())));
    return;
  }

  in->update();
  if (in->slices.size() < size_t(in->dimensions[2])) return;
  PlaneExtraction args;
  std::vector<const void*> separate;
  if (in->volumeBuffer) {
    args.voxels = in->volumeBuffer;
  } else {
    separate.reserve(size_t(in->dimensions[2]));
    for (int z = 0; z < in->dimensions[2]; ++z) separate.push_back(in->slices[size_t(z)]->pixels);
    args.slices = separate.data();
  }
  for (int a = 0; a < 3; ++a) args.dimensions[a] = in->dimensions[a];
  args.elementType = in->elementType;
  args.orientation = orientation;
  args.sliceIndex = sliceIndex;
  args.slabSampleCount = slabSampleCount;
  args.projectionMode = projectionMode;
  args.output = target->pixels;
  // The output must have the shape the extraction writes.
  const int dx = in->dimensions[0], dy = in->dimensions[1], dz = in->dimensions[2];
  const int w = orientation == PLANE_ORIGINAL ? dx : dz;
  const int h = orientation == PLANE_CORONAL ? dx : dy;
  if (target->width != w || target->height != h || target->elementType != in->elementType) return;
  extractPlane(args);
}

}  // namespace isImageSDK
