// Codes and small records shared by every part of the imaging code: element
// types, modalities, patient position, display codes, slab projection modes
// and the camera state record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

// Element type of the samples of a slice or volume.
enum ElementType : int32_t {
  ELEMENT_UINT8 = 0,   // unsigned 8-bit, 1 byte
  ELEMENT_INT16 = 1,   // signed 16-bit, 2 bytes (the default of an image)
  ELEMENT_FLOAT = 2,   // 32-bit float, 4 bytes
  ELEMENT_UINT16 = 3,  // unsigned 16-bit, 2 bytes
  ELEMENT_RGB = 4,     // three bytes per pixel
};

// Bytes per sample of an element type: 0 → 1, 2 → 4, 4 → 3, every other code 2.
inline int bytesPerSample(int elementType) {
  switch (elementType) {
    case ELEMENT_UINT8: return 1;
    case ELEMENT_FLOAT: return 4;
    case ELEMENT_RGB: return 3;
    default: return 2;
  }
}

// Modality code of a slice.
enum Modality : int32_t {
  MODALITY_CT = 0,
  MODALITY_PT = 1,
  MODALITY_US = 2,
  MODALITY_MR = 3,
  MODALITY_DX = 4,  // "DR" or "DX"
  MODALITY_NM = 5,
  MODALITY_XA = 6,
  MODALITY_OTHER = 7,
};

// Modality code of a DICOM Modality (0008,0060) text.
inline int modalityCode(std::string_view m) {
  if (m == "CT") return MODALITY_CT;
  if (m == "PT") return MODALITY_PT;
  if (m == "US") return MODALITY_US;
  if (m == "MR") return MODALITY_MR;
  if (m == "DR" || m == "DX") return MODALITY_DX;
  if (m == "NM") return MODALITY_NM;
  if (m == "XA") return MODALITY_XA;
  return MODALITY_OTHER;
}

// Patient position code (supine, prone, decubitus right, decubitus left).
enum PatientPosition : int32_t {
  POSITION_SUPINE = 0,
  POSITION_PRONE = 1,
  POSITION_DECUBITUS_RIGHT = 2,
  POSITION_DECUBITUS_LEFT = 3,
};

// Feet-first code.
enum FeetFirst : int32_t {
  HEAD_FIRST = 0,
  FEET_FIRST = 1,
  ORIENTATION_NOT_GIVEN = 2,
};

// Display code: signedness of the samples and whether grey is inverted.
enum DisplayCode : int32_t {
  DISPLAY_UNSIGNED = 0,
  DISPLAY_SIGNED = 1,
  DISPLAY_UNSIGNED_INVERTED = 2,  // "MONOCHROME1"
  DISPLAY_SIGNED_INVERTED = 3,
};

// Sex, units and decay correction codes of PET slices.
enum SexCode : int16_t { SEX_MALE = 1, SEX_FEMALE = 2, SEX_OTHER = 3 };
enum UnitsCode : int32_t { UNITS_BQML = 1, UNITS_CNTS = 2, UNITS_OTHER = 3 };
enum DecayCorrectionCode : int32_t {
  DECAY_NOT_READ = 0,
  DECAY_ADMIN = 1,
  DECAY_START = 2,
  DECAY_NONE = 3,
  DECAY_OTHER = 4,
};

// Projection modes of the slab filters; maximum is the initial mode.
enum ProjectionMode : int32_t {
  PROJECTION_MIN = 0,
  PROJECTION_MAX = 1,
  PROJECTION_MEAN = 2,
  PROJECTION_SUM = 3,
};

// Odd sample count of a slab of the given thickness (millimetres) at the given
// spacing along the slab direction: 2 × trunc(thickness / (2 × spacing)) + 1.
inline int slabSampleCount(float thickness, float spacing) {
  if (!(spacing > 0.0f) || !(thickness > 0.0f)) return 1;
  double half = static_cast<double>(thickness) / (2.0 * static_cast<double>(spacing));
  if (!(half < 1.0e6)) half = 1.0e6;  // keeps the count a sane integer
  return 2 * static_cast<int>(half) + 1;
}

// The look-at state every camera keeps and render windows copy: 17 floats.
struct CameraState {
  cocos2d::Vec3 target{0.0f, 0.0f, 0.0f};
  cocos2d::Vec3 eye{0.0f, 0.0f, -1.0f};
  cocos2d::Vec3 up{0.0f, -1.0f, 0.0f};
  cocos2d::Vec3 viewDirection{0.0f, 0.0f, 1.0f};  // unit
  cocos2d::Vec3 rightAxis{1.0f, 0.0f, 0.0f};      // unit
  float distance = 1.0f;                          // |target − eye|
  float zoom = 1.0f;
};

static_assert(sizeof(CameraState) == 17 * sizeof(float), "the camera state is 17 floats");

// Largest pixel buffer an image accepts for one slice or one volume, in bytes;
// larger requests are refused with the out-of-memory notification.
constexpr uint64_t kMaxBufferBytes = 607376096ull;

}  // namespace isImageSDK
