// YBR_FULL and YBR_FULL_422 samples to RGB.
#include <cmath>

#include "dcmsdk/src/internal.h"

namespace dcmSDK::detail {

namespace {

uint8_t toByte(double v) {
  v = std::floor(v + 0.5);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The inverse of the YBR_FULL definition (ITU-R BT.601 luma, full range),
// rounded to the nearest value.
void toRgb(int y, int cb, int cr, uint8_t* rgb) {
  const double b = cb - 128.0, r = cr - 128.0;
  rgb[0] = toByte(y + 1.402 * r);
  rgb[1] = toByte(y - 0.344136 * b - 0.714136 * r);
  rgb[2] = toByte(y + 1.772 * b);
}

}  // namespace

bool ybrFullCovers(const PixelInfo& info) {
  if (info.spp != 3 || info.bitsAllocated != 8) return false;
  if (info.photometric == "YBR_FULL") return true;
  // 422 pairs never straddle frames, and are never stored by plane.
  return info.photometric == "YBR_FULL_422" && info.planar == 0 && (size_t(info.rows) * info.cols) % 2 == 0;
}

void ybrFullToRgb(const PixelInfo& info, const uint8_t* src, uint8_t* dst) {
  const size_t pixels = size_t(info.rows) * info.cols;
  if (info.photometric == "YBR_FULL_422") {
    // Y1 Y2 Cb Cr for each pair of consecutive pixels.
    for (size_t i = 0; i < pixels; i += 2, src += 4, dst += 6) {
      toRgb(src[0], src[2], src[3], dst);
      toRgb(src[1], src[2], src[3], dst + 3);
    }
  } else if (info.planar) {
    for (size_t i = 0; i < pixels; ++i) toRgb(src[i], src[pixels + i], src[2 * pixels + i], dst + 3 * i);
  } else {
    for (size_t i = 0; i < pixels; ++i) toRgb(src[3 * i], src[3 * i + 1], src[3 * i + 2], dst + 3 * i);
  }
}

}  // namespace dcmSDK::detail
