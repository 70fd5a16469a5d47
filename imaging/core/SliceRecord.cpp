#include "imaging/core/SliceRecord.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/core/isMatrixOps.h"

namespace isImageSDK {

size_t SliceRecord::frameBytes() const {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<size_t>(width) * static_cast<size_t>(height) *
         static_cast<size_t>(bytesPerSample(elementType));
}

size_t SliceRecord::pixelBytes() const {
  const size_t frames = frameCount > 0 ? static_cast<size_t>(frameCount) : 1;
  return frameBytes() * frames;
}

void SliceRecord::copyFields(const SliceRecord& s) {
  if (&s == this) return;
  positionCode = s.positionCode;
  feetFirstCode = s.feetFirstCode;
  instanceNumber = s.instanceNumber;
  filePath = s.filePath;
  modality = s.modality;
  rescaleIntercept = s.rescaleIntercept;
  rescaleSlope = s.rescaleSlope;
  windowWidth = s.windowWidth;
  windowCenter = s.windowCenter;
  displayCode = s.displayCode;
  acquisitionTime = s.acquisitionTime;
  injectionTime = s.injectionTime;
  decayTimesValid = s.decayTimesValid;
  halfLife = s.halfLife;
  decayCorrection = s.decayCorrection;
  decayFactor = s.decayFactor;
  sex = s.sex;
  units = s.units;
  totalDose = s.totalDose;
  weight = s.weight;
  patientSize = s.patientSize;
  suvFactor = s.suvFactor;
  scanOptions = s.scanOptions;
  triggerTime = s.triggerTime;
  rrIntervalCount = s.rrIntervalCount;
  timeSlotCount = s.timeSlotCount;
  sliceCountPerVolume = s.sliceCountPerVolume;
  timeSliceCount = s.timeSliceCount;
}

void SliceRecord::copyTo(SliceRecord* target) const {
  if (!target || target == this) return;
  const size_t need = pixelBytes();
  void* buffer = target->pixels;
  if (buffer && target->pixelBytes() < need) {
    std::free(buffer);
    buffer = nullptr;
  }
  if (!buffer) buffer = std::malloc(std::max<size_t>(need, 1));
  *target = *this;
  target->pixels = buffer;
  if (!buffer) {
    target->pixelsLoaded = false;
    return;
  }
  target->pixelsLoaded = true;
  if (pixels) {
    std::memcpy(buffer, pixels, need);
  } else {
    std::memset(buffer, 0, need);
  }
}

void SliceRecord::getCenterMatrix(cocos2d::Mat4* out) const {
  if (!out) return;
  *out = detail::translated(matrix, (width - 1) * spacingX / 2.0f, (height - 1) * spacingY / 2.0f, 0.0f);
}

void SliceRecord::toPatientFrame(float* v) const {
  if (!v) return;
  const float x = v[0], y = v[1], z = v[2];
  // As the orientation letters: an unstated order is head first supine
  // whatever the stored code; any order other than head first and unstated
  // is feet first.
  const bool unstated = feetFirstCode == ORIENTATION_NOT_GIVEN;
  const bool feetFirst = !(feetFirstCode == HEAD_FIRST || unstated);
  switch (unstated ? POSITION_SUPINE : positionCode) {
    case POSITION_PRONE:
      v[0] = feetFirst ? x : -x;
      v[1] = z;
      v[2] = feetFirst ? -y : y;
      break;
    case POSITION_DECUBITUS_RIGHT:
      v[0] = z;
      v[1] = feetFirst ? -x : x;
      v[2] = feetFirst ? -y : y;
      break;
    case POSITION_DECUBITUS_LEFT:
      v[0] = -z;
      v[1] = feetFirst ? x : -x;
      v[2] = feetFirst ? -y : y;
      break;
    default:  // supine, or a code outside 1-3
      v[0] = feetFirst ? -x : x;
      v[1] = -z;
      v[2] = feetFirst ? -y : y;
      break;
  }
}

void SliceRecord::toPatientFrame(cocos2d::Vec3& v) const {
  float f[3] = {v.x, v.y, v.z};
  toPatientFrame(f);
  v = cocos2d::Vec3(f[0], f[1], f[2]);
}

}  // namespace isImageSDK
