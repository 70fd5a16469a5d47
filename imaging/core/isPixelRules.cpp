#include "imaging/core/isPixelRules.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define FW_RESCALE_AVX2 1
#endif

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

// True when sample × slope + intercept is an exact float for every 16-bit
// sample: an integral slope and intercept, and every product and sum within
// ±2^24, where a float holds every integer. The clamped float result is then
// the saturated integer result, bit for bit.
bool exactInIntegers(float slope, float intercept) {
  return std::trunc(slope) == slope && std::trunc(intercept) == intercept &&
         std::fabs(static_cast<double>(slope)) * 65535.0 + std::fabs(static_cast<double>(intercept)) <= 16777216.0;
}

// The same as rescale for an integral slope and intercept (exactInIntegers):
// sample × slope + intercept in 32-bit integers, saturated to the target.
template <typename Src, typename Dst>
void rescaleIntegers(const Src* __restrict src, Dst* __restrict dst, size_t n, int32_t slope, int32_t intercept) {
  constexpr int32_t lo = std::is_signed_v<Dst> ? -32768 : 0;
  constexpr int32_t hi = std::is_signed_v<Dst> ? 32767 : 65535;
  for (size_t i = 0; i < n; ++i) {
    int32_t v = static_cast<int32_t>(src[i]) * slope + intercept;
    v = v < lo ? lo : v;
    v = v > hi ? hi : v;
    dst[i] = static_cast<Dst>(v);
  }
}

#ifdef FW_RESCALE_AVX2
bool cpuHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

// rescaleIntegers sixteen samples at a time: widened to 32 bits, multiplied
// (unless the slope is 1), offset, and packed back with saturation to the
// target's range. The remainder goes through the plain loop.
template <typename Src, typename Dst, bool kUnitSlope>
__attribute__((target("avx2"))) void rescaleIntegersAvx2(const Src* __restrict src, Dst* __restrict dst, size_t n,
                                                         int32_t slope, int32_t intercept) {
  const __m256i m = _mm256_set1_epi32(slope);
  const __m256i b = _mm256_set1_epi32(intercept);
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    const __m128i low = _mm256_castsi256_si128(in);
    const __m128i high = _mm256_extracti128_si256(in, 1);
    __m256i a, c;
    if constexpr (std::is_signed_v<Src>) {
      a = _mm256_cvtepi16_epi32(low);
      c = _mm256_cvtepi16_epi32(high);
    } else {
      a = _mm256_cvtepu16_epi32(low);
      c = _mm256_cvtepu16_epi32(high);
    }
    if constexpr (!kUnitSlope) {
      a = _mm256_mullo_epi32(a, m);
      c = _mm256_mullo_epi32(c, m);
    }
    a = _mm256_add_epi32(a, b);
    c = _mm256_add_epi32(c, b);
    // Packing works within 128-bit lanes: the permute puts the halves back
    // in sample order.
    const __m256i packed = std::is_signed_v<Dst> ? _mm256_packs_epi32(a, c) : _mm256_packus_epi32(a, c);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_permute4x64_epi64(packed, 0xD8));
  }
  rescaleIntegers(src + i, dst + i, n - i, slope, intercept);
}
#endif

template <typename Src, typename Dst>
void rescaleExact(const Src* src, Dst* dst, size_t n, float slope, float intercept) {
  const auto m = static_cast<int32_t>(slope);
  const auto b = static_cast<int32_t>(intercept);
#ifdef FW_RESCALE_AVX2
  if (cpuHasAvx2()) {
    if (m == 1)
      rescaleIntegersAvx2<Src, Dst, true>(src, dst, n, m, b);
    else
      rescaleIntegersAvx2<Src, Dst, false>(src, dst, n, m, b);
    return;
  }
#endif
  rescaleIntegers(src, dst, n, m, b);
}

// Stored samples (read as signed or unsigned) into a 16-bit target.
template <typename Src, typename Dst>
void rescaleSamples(const Src* src, Dst* dst, size_t n, float slope, float intercept) {
  if (exactInIntegers(slope, intercept)) {
    rescaleExact(src, dst, n, slope, intercept);
    return;
  }
  const float lo = std::is_signed_v<Dst> ? -32768.0f : 0.0f;
  const float hi = std::is_signed_v<Dst> ? 32767.0f : 65535.0f;
  rescale(src, dst, n, slope, intercept, lo, hi);
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
      if (isSigned) {
        const auto* src = static_cast<const int16_t*>(source);
        if (toSigned) rescaleSamples(src, static_cast<int16_t*>(target), n, slope, intercept);
        else rescaleSamples(src, static_cast<uint16_t*>(target), n, slope, intercept);
      } else {
        const auto* src = static_cast<const uint16_t*>(source);
        if (toSigned) rescaleSamples(src, static_cast<int16_t*>(target), n, slope, intercept);
        else rescaleSamples(src, static_cast<uint16_t*>(target), n, slope, intercept);
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
