// The element type a file's samples get, and their rescale into that type.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "imaging/core/isImageTypes.h"
#include "imaging/core/isPixelRules.h"

using namespace isImageSDK;

TEST(PixelRules, ElementTypeDecision) {
  struct Case {
    const char* what;
    int bits, pixelType, modality;
    float slope, intercept;
    int displayCode;
    int expected;
  };
  const Case cases[] = {
      {"CT signed, intercept -1024", 16, 1, MODALITY_CT, 1, -1024, 1, ELEMENT_INT16},
      {"CT unsigned, intercept -1024", 16, 1, MODALITY_CT, 1, -1024, 0, ELEMENT_INT16},
      {"MR unsigned, no rescale", 16, 1, MODALITY_MR, 1, 0, 0, ELEMENT_UINT16},
      {"MR signed, no rescale", 16, 1, MODALITY_MR, 1, 0, 1, ELEMENT_INT16},
      {"MONOCHROME1 signed", 16, 1, MODALITY_DX, 1, 0, 3, ELEMENT_INT16},
      {"MONOCHROME1 unsigned", 16, 1, MODALITY_DX, 1, 0, 2, ELEMENT_UINT16},
      {"PET with integral rescale", 16, 1, MODALITY_PT, 1, 0, 0, ELEMENT_FLOAT},
      {"slope 2.5", 16, 1, MODALITY_MR, 2.5f, 0, 0, ELEMENT_FLOAT},
      {"slope 2 (above 1)", 16, 1, MODALITY_CT, 2, 0, 1, ELEMENT_FLOAT},
      {"fractional intercept", 16, 1, MODALITY_CT, 1, 0.5f, 1, ELEMENT_FLOAT},
      {"negative slope", 16, 1, MODALITY_CT, -1, 0, 0, ELEMENT_INT16},
      {"slope 0.5 is fractional", 16, 1, MODALITY_CT, 0.5f, 0, 0, ELEMENT_FLOAT},
      {"8-bit grey", 8, 0, MODALITY_US, 1, 0, 0, ELEMENT_UINT8},
      {"8-bit RGB", 8, 2, MODALITY_US, 1, 0, 0, ELEMENT_RGB},
      {"8-bit with 16-bit pixels", 8, 1, MODALITY_US, 1, 0, 0, -1},
      {"24-bit", 24, 2, MODALITY_XA, 1, 0, 0, ELEMENT_RGB},
      {"16-bit with 8-bit pixels", 16, 0, MODALITY_CT, 1, 0, 0, -1},
      {"32-bit", 32, 1, MODALITY_CT, 1, 0, 0, -1},
      {"12-bit", 12, 1, MODALITY_CT, 1, 0, 0, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decideElementType(c.bits, c.pixelType, c.modality, c.slope, c.intercept, c.displayCode), c.expected)
        << c.what;
  }
}

TEST(PixelRules, SixteenBitRescale) {
  struct Case {
    const char* what;
    int type, displayCode;
    float slope, intercept;
    std::vector<uint16_t> stored;  // raw bits of the source samples
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {"CT shift by -1024", ELEMENT_INT16, 1, 1, -1024,
       {0, 1024, 3000, static_cast<uint16_t>(int16_t(-2000))},
       {-1024, 0, 1976, -3024}},
      {"unsigned source, values above 32767 saturate instead of wrapping", ELEMENT_INT16, 0, 1, -1024,
       {0, 40000, 65535, 33791},
       {-1024, 32767, 32767, 32767}},
      {"signed source, results below -32768 saturate", ELEMENT_INT16, 1, 1, -1024,
       {static_cast<uint16_t>(int16_t(-32000)), static_cast<uint16_t>(int16_t(-32768))},
       {-32768, -32768}},
      {"unrescaled samples are copied bit for bit", ELEMENT_UINT16, 0, 1, 0, {0, 1, 65535}, {0, 1, 65535}},
      {"slope 1.9 truncates to 1: copied", ELEMENT_INT16, 1, 1.9f, 0.4f,
       {static_cast<uint16_t>(int16_t(-5)), 7}, {-5, 7}},
      {"negative slope on unsigned target clamps at 0", ELEMENT_UINT16, 0, -1, 100, {50, 150}, {50, 0}},
      {"intercept 3 on unsigned target", ELEMENT_UINT16, 0, 1, 3, {65534, 10}, {65535, 13}},
      {"negative slope into signed: truncation toward zero", ELEMENT_INT16, 1, -1, 0,
       {static_cast<uint16_t>(int16_t(-32768)), 5}, {32767, -5}},
      {"a non-finite slope gives zeros, not undefined values", ELEMENT_INT16, 1,
       std::numeric_limits<float>::quiet_NaN(), 0, {5, 6}, {0, 0}},
      {"an infinite intercept gives zeros", ELEMENT_UINT16, 0, 2, std::numeric_limits<float>::infinity(), {5}, {0}},
  };
  for (const Case& c : cases) {
    std::vector<uint16_t> out(c.stored.size(), 0xABCD);
    convertSamples(c.stored.data(), out.data(), c.stored.size(), c.type, c.displayCode, c.slope, c.intercept);
    for (size_t i = 0; i < c.stored.size(); ++i) {
      const int32_t got = c.type == ELEMENT_INT16 ? int32_t(int16_t(out[i])) : int32_t(out[i]);
      EXPECT_EQ(got, c.expected[i]) << c.what << " sample " << i;
    }
  }
}

// Every stored value, for slopes and intercepts on both sides of the range
// where the result is an exact integer, against the rule itself computed in
// float: sample × slope + intercept, clamped to the target, truncated.
TEST(PixelRules, SixteenBitRescaleMatchesTheFloatRuleForEveryValue) {
  const struct {
    float slope, intercept;
  } rescales[] = {
      {1, -1024}, {1, 1024}, {1, -32768}, {1, 32767}, {1, 65535}, {1, -65536}, {1, 3}, {1, -1},
      {0, 0}, {0, -7}, {-1, 0}, {-1, 100}, {-2, -1024}, {-1, 65535},
      {256, 0}, {256, 256}, {-256, -256}, {256, 257}, {257, 0}, {-257, 1}, {257, -16842000},  // exact to 2^24, then not
      {1, 16777216}, {1, -16777216}, {1, 1.0e9f}, {-1, -1.0e9f},
      {0.5f, 0}, {-0.75f, 12.5f}, {1, 0.5f}, {-3, 0.25f}, {-0.0f, 5},
  };
  const struct {
    int type, displayCode;
  } layouts[] = {{ELEMENT_INT16, 1}, {ELEMENT_INT16, 0}, {ELEMENT_UINT16, 0}, {ELEMENT_UINT16, 1}};

  // All 65,536 bit patterns, plus an odd tail, starting one sample into the
  // buffers so that neither end falls on a vector boundary.
  std::vector<uint16_t> stored(1 + 65536 + 13);
  for (size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<uint16_t>((i - 1) * 40503u);
  const size_t n = stored.size() - 1;
  std::vector<uint16_t> out(stored.size());

  for (const auto& r : rescales) {
    for (const auto& l : layouts) {
      const bool signedSource = l.displayCode == 1;
      const bool signedTarget = l.type == ELEMENT_INT16;
      std::fill(out.begin(), out.end(), 0xABCD);
      convertSamples(stored.data() + 1, out.data() + 1, n, l.type, l.displayCode, r.slope, r.intercept);
      EXPECT_EQ(out[0], 0xABCD) << "nothing written before the target";
      const bool copied = std::trunc(r.slope) == 1.0f && std::trunc(r.intercept) == 0.0f;
      int mismatches = 0;
      for (size_t i = 1; i <= n && mismatches < 3; ++i) {
        const float s = signedSource ? float(int16_t(stored[i])) : float(stored[i]);
        const float lo = signedTarget ? -32768.0f : 0.0f, hi = signedTarget ? 32767.0f : 65535.0f;
        const float v = std::min(std::max(s * r.slope + r.intercept, lo), hi);
        const uint16_t expected = copied ? stored[i] : static_cast<uint16_t>(static_cast<int32_t>(v));
        if (out[i] != expected) {
          ++mismatches;
          ADD_FAILURE() << "slope " << r.slope << " intercept " << r.intercept << " target "
                        << (signedTarget ? "int16" : "uint16") << " source " << (signedSource ? "signed" : "unsigned")
                        << ": stored " << stored[i] << " gave " << out[i] << ", expected " << expected;
        }
      }
    }
  }
}

TEST(PixelRules, FloatRescaleAndByteCopies) {
  const int16_t signedSamples[3] = {-100, 0, 200};
  float f[3];
  convertSamples(signedSamples, f, 3, ELEMENT_FLOAT, 1, 2.5f, 1.0f);
  EXPECT_FLOAT_EQ(f[0], -249.0f);
  EXPECT_FLOAT_EQ(f[1], 1.0f);
  EXPECT_FLOAT_EQ(f[2], 501.0f);

  const uint16_t unsignedSamples[2] = {65535, 1};
  convertSamples(unsignedSamples, f, 2, ELEMENT_FLOAT, 0, 1.0f, 0.0f);
  EXPECT_FLOAT_EQ(f[0], 65535.0f) << "read unsigned when the display code says so";

  const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
  uint8_t out[6] = {};
  convertSamples(rgb, out, 2, ELEMENT_RGB, 0, 1, 0);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], rgb[i]);
  uint8_t grey[2] = {};
  convertSamples(rgb, grey, 2, ELEMENT_UINT8, 0, 3, 7);  // bytes are never rescaled
  EXPECT_EQ(grey[0], 1);
  EXPECT_EQ(grey[1], 2);
}

TEST(PixelRules, SharedCodes) {
  const struct {
    int type, bytes;
  } cases[] = {{0, 1}, {1, 2}, {2, 4}, {3, 2}, {4, 3}, {9, 2}};
  for (auto c : cases) EXPECT_EQ(bytesPerSample(c.type), c.bytes) << c.type;

  const struct {
    float thickness, spacing;
    int count;
  } slabs[] = {{0, 1, 1}, {1, 1, 1}, {2, 1, 3}, {5, 1, 5}, {5.9f, 1, 5}, {10, 0.7f, 15}, {3, 0, 1}};
  for (auto s : slabs) EXPECT_EQ(slabSampleCount(s.thickness, s.spacing), s.count) << s.thickness << "/" << s.spacing;

  CameraState state;
  EXPECT_EQ(state.eye.z, -1.0f);
  EXPECT_EQ(state.up.y, -1.0f);
  EXPECT_EQ(state.zoom, 1.0f);
}
