// One slice of an image: its samples, size, spacing, element type, placement
// and the DICOM facts the viewers need (window, rescale, modality, patient
// position, display code, PET decay data).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/cocos2d.h"
#include "imaging/core/isImageTypes.h"
#include "toolkit/foundation/NSFormat.h"


namespace isImageSDK {

// Pixel buffers of slices and volumes are allocated with std::malloc or
// std::calloc and freed with std::free, so any reader may hand one over.
struct SliceRecord {
  // The samples (width × height × frameCount of them). Owned by the record
  // unless they point into the volume buffer of their image.
  void* pixels = nullptr;
  int32_t width = 0;   // columns
  int32_t height = 0;  // rows
  float spacingX = 1.0f;  // millimetres between columns
  float spacingY = 1.0f;  // millimetres between rows
  bool pixelSpacingKnown = true;
  int16_t frameCount = 1;
  int32_t elementType = ELEMENT_UINT8;
  int32_t positionCode = POSITION_SUPINE;
  int32_t feetFirstCode = HEAD_FIRST;
  // Column 0 the row direction, column 1 the column direction, column 2 the
  // normal, column 3 the position of the first pixel, in the display frame.
  // The axes are unit vectors.
  cocos2d::Mat4 matrix;
  bool geometryValid = true;
  // Instance Number (0020,0013), kept in full so that series with numbers
  // above 32,767 still sort in acquisition order.
  int32_t instanceNumber = 0;
  std::string filePath;
  int32_t modality = MODALITY_OTHER;
  float rescaleIntercept = 0.0f;
  float rescaleSlope = 1.0f;
  float windowWidth = 255.0f;
  float windowCenter = 128.0f;
  int32_t displayCode = DISPLAY_SIGNED;
  bool pixelsLoaded = true;
  NSUI::DateTimeFields acquisitionTime{1900, 1, 1, 0, 0, 0};
  NSUI::DateTimeFields injectionTime{1900, 1, 1, 0, 0, 0};
  bool decayTimesValid = false;
  float halfLife = 0.0f;  // seconds
  int32_t decayCorrection = DECAY_NOT_READ;
  float decayFactor = 0.0f;
  int16_t sex = SEX_OTHER;
  int32_t units = UNITS_OTHER;
  float totalDose = -1.0f;    // becquerel
  float weight = -1.0f;       // kilograms
  float patientSize = -1.0f;  // metres
  float suvFactor = 0.0f;
  std::string scanOptions;  // at most 9 characters
  int16_t triggerTime = 0;
  int16_t rrIntervalCount = 0;
  int16_t timeSlotCount = 0;
  int16_t sliceCountPerVolume = 0;
  int16_t timeSliceCount = 0;

  // Number of bytes of all frames of this slice (0 for negative sizes).
  size_t pixelBytes() const;
  // Number of bytes of one frame of this slice.
  size_t frameBytes() const;

  // Copies every field of the source except the samples and what describes
  // their layout and placement: pixels, width, height, spacingX, spacingY,
  // pixelSpacingKnown, frameCount, elementType, matrix, geometryValid and
  // pixelsLoaded.
  void copyFields(const SliceRecord& source);
  void copyFields(const SliceRecord* source) { if (source) copyFields(*source); }

  // Copies every field into the target, marks its pixels present and copies
  // the samples, allocating the target's buffer when it has none. A buffer the
  // target owns but that is too small for these samples is replaced.
  void copyTo(SliceRecord* target) const;

  // The slice matrix translated to the centre of the slice:
  // ((width − 1) × spacingX / 2, (height − 1) × spacingY / 2, 0) in slice
  // coordinates.
  void getCenterMatrix(cocos2d::Mat4* out) const;
  void getCenterMatrix(cocos2d::Mat4& out) const { getCenterMatrix(&out); }

  // Rewrites a vector of the display frame in place as a vector of the
  // patient frame (x toward the patient's left, y posterior, z superior),
  // using this slice's patient position and feet-first codes.
  void toPatientFrame(float* v) const;
  void toPatientFrame(cocos2d::Vec3& v) const;
};

}  // namespace isImageSDK
