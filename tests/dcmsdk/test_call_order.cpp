// Pixels, PNG previews and the pixel type of one reader give the same
// answers in any order and on repetition, for every transfer syntax.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "support_dcm.h"

using dcmSDK::dcmReader;
using namespace dcmtest;

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Answers {
  Decoded pixels;
  std::string png;
};

enum Call { PIXELS, PNG, TYPE };

// Runs the calls on one reader and checks each answer against a fresh
// reader's.
void runOrder(const std::string& file, const std::vector<Call>& calls, const Answers& want, const std::string& tag) {
  dcmReader r;
  ASSERT_TRUE(r.setFile(file.c_str())) << r.getLastError();
  int k = 0;
  for (Call c : calls) {
    SCOPED_TRACE("call " + std::to_string(k));
    if (c == PIXELS) {
      dcmReader::PixelType t;
      int64_t n = 0;
      const void* p = r.readDicomPixelPointer(t, n);
      ASSERT_NE(p, nullptr) << r.getLastError();
      EXPECT_EQ(t, want.pixels.type);
      ASSERT_EQ(n, want.pixels.count);
      EXPECT_EQ(std::memcmp(p, want.pixels.bytes.data(), want.pixels.bytes.size()), 0);
    } else if (c == PNG) {
      const std::string out = scratch() + "/" + tag + "_" + std::to_string(k) + ".png";
      ASSERT_TRUE(r.convertToPngFile(out.c_str(), false)) << r.getLastError();
      EXPECT_TRUE(readAll(out) == want.png);
    } else {
      dcmReader::PixelType t;
      ASSERT_TRUE(r.readDicomPixelType(t)) << r.getLastError();
      EXPECT_EQ(t, want.pixels.type);
    }
    ++k;
  }
}

struct SyntaxCase {
  const char* name;
  const char* variant;
  const char* gdcmconv;  // re-encoded with gdcmconv using these options, or null
};

class CallOrder : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(CallOrder, AnyOrderGivesTheSameAnswers) {
  const SyntaxCase c = GetParam();
  std::string file = series(c.variant).files[0];
  if (c.gdcmconv) {
    if (!haveTool("gdcmconv")) GTEST_SKIP() << "gdcmconv (libgdcm-tools) not installed";
    std::string out = scratch() + "/" + c.name + ".dcm";
    ASSERT_TRUE(run(std::string("gdcmconv ") + c.gdcmconv + " '" + file + "' '" + out + "'"));
    file = out;
  }
  Answers want;
  want.pixels = decode(file);
  ASSERT_TRUE(want.pixels.ok) << want.pixels.error;
  {
    dcmReader fresh;
    ASSERT_TRUE(fresh.setFile(file.c_str()));
    const std::string png = scratch() + "/" + c.name + "_fresh.png";
    ASSERT_TRUE(fresh.convertToPngFile(png.c_str(), false)) << fresh.getLastError();
    want.png = readAll(png);
  }
  const std::vector<std::vector<Call>> orders = {
      {PIXELS, PNG}, {PNG, PIXELS}, {PNG, PNG, PNG}, {PIXELS, PIXELS, PNG, PIXELS}, {TYPE, PNG, TYPE, PIXELS, TYPE},
  };
  for (size_t i = 0; i < orders.size(); ++i) {
    SCOPED_TRACE("order " + std::to_string(i));
    runOrder(file, orders[i], want, std::string(c.name) + "_" + std::to_string(i));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Syntaxes, CallOrder,
    ::testing::Values(SyntaxCase{"explicit_le", "ct_ele", nullptr}, SyntaxCase{"implicit_le", "ct_ile", nullptr},
                      SyntaxCase{"explicit_be", "ct_bee", nullptr}, SyntaxCase{"deflated", "ct_deflated", nullptr},
                      SyntaxCase{"jpeg_lossless", "ct_jpll", nullptr}, SyntaxCase{"jpeg_baseline", "rgb_jpeg", nullptr},
                      SyntaxCase{"jpeg_ls", "ct_jls", nullptr}, SyntaxCase{"rle", "ybr_rle", nullptr},
                      SyntaxCase{"multiframe", "mr_mf5", nullptr}, SyntaxCase{"ybr_422", "ybr_full_422", nullptr},
                      SyntaxCase{"j2k_lossless", "ct_s16", "--j2k"}, SyntaxCase{"j2k_rgb", "rgb", "--j2k"},
                      SyntaxCase{"j2k_lossy", "ct_s16", "--j2k --lossy -q 30"},
                      SyntaxCase{"j2k_multiframe", "mr_mf5", "--j2k"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
