#include "imaging/core/isPixelRules.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "imaging/core/isImageTypes.h"

namespace isImageSDK {

namespace {

bool hasFraction(float v) { return std::trunc(v) != v; }

bool signedSamples(int displayCode) {
  return displayCode == DISPLAY_SIGNED || displayCode == DISPLAY_SIGNED_INVERTED;
}

// Each sample becomes sample × slope + intercept, clamped to [lo, hi] and
// truncated toward zero. Written branch-free so that the loop vectorises.
template <typename Src, typename Dst>
void rescale(const Src* __restrict src, Dst* __restrict dst, size_t n, float slope, float intercept, float lo, float hi) {
  for (size_t i = 0; i < n; ++i) {
    float v = static_cast<float>(src[i]) * slope + intercept;
    v = v < lo ? lo : v;
    v = v > hi ? hi : v;
    dst[i] = static_cast<Dst>(static_cast<int32_t>(v));
  }
}

template <typename Src>
void toFloat(const Src* __restrict src, float* __restrict dst, size_t n, float slope, float intercept) {
  for (size_t i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]) * slope + intercept;
}

}  // namespace

int decideElementType(int bitsAllocated, int pixelType, int modality, float slope, float intercept,
                      int displayCode) {
  switch (bitsAllocated) {
    case 8:
      if (pixelType == 0) return ELEMENT_UINT8;
      if (pixelType == 2) return ELEMENT_RGB;
      return -1;
    case 24:
      return ELEMENT_RGB;
    case 16:
      if (pixelType != 1) return -1;
      if (modality == MODALITY_PT || hasFraction(slope) || hasFraction(intercept) || slope > 1.0f) {
        return ELEMENT_FLOAT;
      }
      if (signedSamples(displayCode) || intercept < 0.0f || slope < 0.0f) return ELEMENT_INT16;
      return ELEMENT_UINT16;
    default:
      return -1;
  }
}

void convertSamples(const void* source, void* target, size_t n, int elementType, int displayCode, float slope,
                    float intercept) {
  if (!source || !target || n == 0) return;
  const bool isSigned = signedSamples(displayCode);
  switch (elementType) {
    case ELEMENT_UINT8:
      std::memcpy(target, source, n);
      return;
    case ELEMENT_RGB:
      std::memcpy(target, source, 3 * n);
      return;
    case ELEMENT_INT16:
    case ELEMENT_UINT16: {
      if (std::trunc(slope) == 1.0f && std::trunc(intercept) == 0.0f) {
        std::memcpy(target, source, 2 * n);
        return;
      }
      const bool toSigned = elementType == ELEMENT_INT16;
      if (!std::isfinite(slope) || !std::isfinite(intercept)) {
        // No meaningful value exists for any sample.
        std::memset(target, 0, 2 * n);
        return;
      }
      const float lo = toSigned ? -32768.0f : 0.0f;
      const float hi = toSigned ? 32767.0f : 65535.0f;
      if (isSigned) {
        const auto* src = static_cast<const int16_t*>(source);
        if (toSigned) rescale(src, static_cast<int16_t*>(target), n, slope, intercept, lo, hi);
        else rescale(src, static_cast<uint16_t*>(target), n, slope, intercept, lo, hi);
      } else {
        const auto* src = static_cast<const uint16_t*>(source);
        if (toSigned) rescale(src, static_cast<int16_t*>(target), n, slope, intercept, lo, hi);
        else rescale(src, static_cast<uint16_t*>(target), n, slope, intercept, lo, hi);
      }
      return;
    }
    case ELEMENT_FLOAT:
      if (isSigned) {
        toFloat(static_cast<const int16_t*>(source), static_cast<float*>(target), n, slope, intercept);
      } else {
        toFloat(static_cast<const uint16_t*>(source), static_cast<float*>(target), n, slope, intercept);
      }
      return;
    default:
      return;
  }
}

}  // namespace isImageSDK
