#include "imaging/core/isImageReslice2D.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "imaging/core/isImageData.h"
#include "imaging/core/isMatrixOps.h"

namespace isImageSDK {

namespace {

// Output sizes beyond this many pixels per side come only from degenerate
// geometry (the image buffer limit refuses far smaller images anyway).
constexpr double kMaxOutputSide = 1 << 20;

bool positiveFinite(float v) { return v > 0.0f && std::isfinite(v); }

}  // namespace

isImageReslice2D* isImageReslice2D::create() { return initCreated(new (std::nothrow) isImageReslice2D()); }

isImageReslice2D::~isImageReslice2D() { isImageFilter::clear(); }

bool isImageReslice2D::init() {
  if (!isImageFilter::init()) return false;
  outputWidth = 1;
  outputHeight = 1;
  outputSpacingX = 1.0f;
  outputSpacingY = 1.0f;
  sampleStep = 1.0f;
  interpolation = INTERPOLATION_LINEAR;
  resliceMatrix = cocos2d::Mat4();
  backgroundValue = 0.0f;
  projectionMode = PROJECTION_MAX;
  slabSampleCount = 1;
  normalSpacing = 1.0f;
  slabThickness = 0.01f;
  extentUsable_ = true;
  return true;
}

void isImageReslice2D::setInputData(isImageData* image) {
  isImageFilter::setInputData(image);
  if (!image) return;
  image->updateInformation();
  switch (image->elementType) {
    case ELEMENT_INT16: backgroundValue = -1024.0f; break;
    case ELEMENT_RGB: break;
    default: backgroundValue = 0.0f; break;
  }
  setResliceMatrix(cocos2d::Mat4());
}

void isImageReslice2D::setResliceMatrix(const cocos2d::Mat4& matrix) {
  resliceMatrix = matrix;
  updateOutputExtent();
  informationModified = true;
  dataModified = true;
}

void isImageReslice2D::setSlabThickness(float thickness) {
  slabThickness = thickness;
  slabSampleCount = slabSampleCountFor(thickness, normalSpacing);
  if (slabSampleCount > 1) sampleStep = float(double(thickness) / (slabSampleCount - 1.0));
  dataModified = true;
}

void isImageReslice2D::setProjectionMode(int mode) {
  if (mode == projectionMode) return;
  projectionMode = mode;
  dataModified = true;
}

void isImageReslice2D::updateOutputExtent() {
  if (!inputImage) return;
  isImageData* in = inputImage;
  in->updateInformation();
  if (!in->volumeLayout) return;

  extentUsable_ = false;
  informationModified = true;
  dataModified = true;
  const float sx = in->spacing[0], sy = in->spacing[1], sz = in->spacing[2];
  // Coincident slices (or any other non-positive spacing) have no voxel step
  // to measure the plane's sampling by.
  if (!positiveFinite(sx) || !positiveFinite(sy) || !positiveFinite(sz)) return;
  cocos2d::Mat4 inverse = resliceMatrix;
  if (!inverse.inverse()) return;

  const float ex = float(in->dimensions[0] - 1) * sx;
  const float ey = float(in->dimensions[1] - 1) * sy;
  const float ez = float(in->dimensions[2] - 1) * sz;
  float minU = 1e10f, maxU = -1e10f, minV = 1e10f, maxV = -1e10f;
  for (int c = 0; c < 8; ++c) {
    const float px = (c & 1) ? ex : 0.0f, py = (c & 2) ? ey : 0.0f, pz = (c & 4) ? ez : 0.0f;
    const float u = inverse.m[0] * px + inverse.m[4] * py + inverse.m[8] * pz + inverse.m[12];
    const float v = inverse.m[1] * px + inverse.m[5] * py + inverse.m[9] * pz + inverse.m[13];
    minU = std::min(minU, u);
    maxU = std::max(maxU, u);
    minV = std::min(minV, v);
    maxV = std::max(maxV, v);
  }
  resliceMatrix = detail::translated(resliceMatrix, minU, minV, 0.0f);

  float step[3];
  for (int c = 0; c < 3; ++c) {
    const float* e = resliceMatrix.m + 4 * c;
    const float length = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    const float fastest = std::max({std::fabs(e[0]) / sx, std::fabs(e[1]) / sy, std::fabs(e[2]) / sz});
    if (!positiveFinite(length) || !positiveFinite(fastest)) return;
    step[c] = length / fastest;
    if (!positiveFinite(step[c])) return;
  }
  outputSpacingX = step[0];
  outputSpacingY = step[1];
  sampleStep = step[2];

  // One pixel per voxel step from the first to the last position, both
  // included: an axis-aligned plane over 512 voxels gets 512 pixels.
  const double w = std::trunc(double((maxU - minU) / outputSpacingX) + 0.5) + 1.0;
  const double h = std::trunc(double((maxV - minV) / outputSpacingY) + 0.5) + 1.0;
  if (!(w >= 1.0 && w <= kMaxOutputSide && h >= 1.0 && h <= kMaxOutputSide)) return;
  outputWidth = int(w);
  outputHeight = int(h);

  normalSpacing = sampleStep;
  slabSampleCount = slabSampleCountFor(slabThickness, sampleStep);
  if (slabSampleCount > 1) sampleStep = float(double(slabThickness) / (slabSampleCount - 1.0));
  extentUsable_ = true;
}

void isImageReslice2D::updateInformation() {
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
  if (!in->hasData || !in->volumeLayout || in->slices.empty()) return;
  const SliceRecord* first = in->slices.front();
  if (first->elementType == ELEMENT_RGB || !extentUsable_) return;

  SliceRecord record;
  record.width = std::max(outputWidth, 1);
  record.height = std::max(outputHeight, 1);
  record.spacingX = outputSpacingX;
  record.spacingY = outputSpacingY;
  record.elementType = first->elementType;
  record.positionCode = first->positionCode;
  record.feetFirstCode = first->feetFirstCode;
  record.matrix = detail::multiply(in->worldMatrix, resliceMatrix);
  record.modality = first->modality;
  record.rescaleIntercept = first->rescaleIntercept;
  record.rescaleSlope = first->rescaleSlope;
  record.windowWidth = first->windowWidth;
  record.windowCenter = first->windowCenter;
  record.displayCode = first->displayCode;
  out->addSliceCopy(&record);
}

void isImageReslice2D::execute(isImageData* inImage, isImageData* outImage) {
  if (!outImage) return;
  outImage->updateInformation();
  if (!outImage->hasData || outImage->slices.empty() || !inputImage) return;
  SliceRecord* target = outImage->slices[0];

  ResliceParameters p;
  p.pixels = target->pixels;
  p.width = outputWidth;
  p.height = outputHeight;
  p.spacingX = outputSpacingX;
  p.spacingY = outputSpacingY;
  p.elementType = target->elementType;
  p.matrix = resliceMatrix;
  p.projectionMode = projectionMode;
  p.slabSampleCount = slabSampleCount;
  p.slabStep = sampleStep;
  p.interpolation = interpolation;
  p.backgroundValue = backgroundValue;

  isImageData* in = inputImage;
  in->updateInformation();
  if (in->elementType == ELEMENT_RGB) return;
  in->update();
  if (!in->volumeLayout || !in->volumeBuffer || !p.pixels) return;
  // The output slice was shaped for these samples; anything else would
  // overrun it.
  if (p.elementType != in->elementType || target->width != p.width || target->height != p.height) return;

  ResliceSampling s;
  s.voxels = in->volumeBuffer;
  for (int a = 0; a < 3; ++a) {
    s.dimensions[a] = in->dimensions[a];
    s.spacing[a] = in->spacing[a];
  }
  s.elementType = in->elementType;
  s.output = p.pixels;
  s.width = p.width;
  s.height = p.height;
  const float* m = p.matrix.m;
  for (int a = 0; a < 3; ++a) {
    s.origin[a] = m[12 + a];
    s.columnStep[a] = p.spacingX * m[a];
    s.rowStep[a] = p.spacingY * m[4 + a];
    s.slabStep[a] = p.slabStep * m[8 + a];
  }
  s.slabSampleCount = p.slabSampleCount;
  s.projectionMode = p.projectionMode;
  s.interpolation = p.interpolation;
  s.backgroundValue = p.backgroundValue;
  resliceVolume(s);
}

}  // namespace isImageSDK
