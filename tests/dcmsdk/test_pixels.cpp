// Decoded pixels of every fixture variant against the generator's values and
// against the DICOM toolkits' own decompressors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "support_dcm.h"

using dcmSDK::dcmReader;
using namespace dcmtest;

namespace {

dcmReader::PixelType expectedType(const dcmfixtures::Variant& v) {
  if (v.samples == 3 || v.photometric == "PALETTE COLOR") return dcmReader::PIXEL_RGB;
  return v.bitsAllocated == 8 ? dcmReader::PIXEL_8 : dcmReader::PIXEL_16;
}

std::string tag(dcmReader& r, unsigned short g, unsigned short e) {
  char buf[1024];
  return r.readDicomTagString(g, e, buf, sizeof buf) ? std::string(buf) : std::string("<absent>");
}

std::vector<std::string> variantNames() {
  std::vector<std::string> out;
  for (const auto& v : dcmfixtures::allVariants()) out.push_back(v.name);
  return out;
}

class AllVariants : public ::testing::TestWithParam<std::string> {};

TEST_P(AllVariants, GeometryTagsAndEverySampleMatchTheGenerator) {
  const auto& s = series(GetParam());
  const auto& v = s.variant;
  ASSERT_EQ(s.files.size(), static_cast<size_t>(v.frames > 1 ? 1 : 4));
  for (size_t z = 0; z < s.files.size(); ++z) {
    SCOPED_TRACE(s.files[z]);
    dcmReader r;
    ASSERT_TRUE(r.setFile(s.files[z].c_str())) << r.getLastError();
    EXPECT_EQ(tag(r, 0x0028, 0x0010), "48");
    EXPECT_EQ(tag(r, 0x0028, 0x0011), "64");
    EXPECT_EQ(tag(r, 0x0028, 0x0030), "0.5\\0.7");
    char pos[64];
    std::snprintf(pos, sizeof pos, "-16\\-12\\%g", s.zPositions[z]);
    EXPECT_EQ(tag(r, 0x0020, 0x0032), pos);
    EXPECT_EQ(tag(r, 0x0008, 0x0060), v.modality);
    if (v.samples == 1 && v.photometric != "PALETTE COLOR") {
      char num[32];
      std::snprintf(num, sizeof num, "%g", v.intercept);
      EXPECT_EQ(tag(r, 0x0028, 0x1052), num);
      std::snprintf(num, sizeof num, "%g", v.slope);
      EXPECT_EQ(tag(r, 0x0028, 0x1053), num);
      if (v.hasWindow) {
        std::snprintf(num, sizeof num, "%g", v.windowCenter);
        EXPECT_EQ(tag(r, 0x0028, 0x1050), num);
      } else {
        EXPECT_EQ(tag(r, 0x0028, 0x1050), "<absent>");
      }
    }
    unsigned short frames = 0;
    if (v.frames > 1) {
      ASSERT_TRUE(r.readDicomTagUint16(0x0028, 0x0008, frames));
      EXPECT_EQ(frames, v.frames);
    }

    dcmReader::PixelType t;
    ASSERT_TRUE(r.readDicomPixelType(t)) << r.getLastError();
    EXPECT_EQ(t, expectedType(v));
    int64_t count = 0;
    const void* p = r.readDicomPixelPointer(t, count);
    ASSERT_NE(p, nullptr) << r.getLastError();
    ASSERT_EQ(t, expectedType(v));
    ASSERT_EQ(count, int64_t(s.width) * s.height * v.frames);

    double errSum = 0;
    int errMax = 0;
    for (int f = 0; f < v.frames; ++f) {
      const int zz = v.frames > 1 ? f : static_cast<int>(z);
      for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
          size_t i = (size_t(f) * s.height + y) * s.width + x;
          if (t == dcmReader::PIXEL_RGB) {
            uint8_t want[3];
            dcmfixtures::rgbValue(v, x, y, zz, want);
            const uint8_t* got = static_cast<const uint8_t*>(p) + 3 * i;
            for (int k = 0; k < 3; ++k) {
              int e = std::abs(int(got[k]) - int(want[k]));
              errSum += e;
              errMax = std::max(errMax, e);
              if (!v.lossy) ASSERT_EQ(got[k], want[k]) << "x=" << x << " y=" << y << " c=" << k;
            }
          } else {
            int32_t want = dcmfixtures::greyValue(v, x, y, zz);
            int32_t got = t == dcmReader::PIXEL_8 ? static_cast<const uint8_t*>(p)[i]
                          : v.pixelRep             ? static_cast<const int16_t*>(p)[i]
                                                   : static_cast<const uint16_t*>(p)[i];
            int e = std::abs(got - want);
            errSum += e;
            errMax = std::max(errMax, e);
            if (!v.lossy) ASSERT_EQ(got, want) << "x=" << x << " y=" << y << " frame=" << f;
          }
        }
    }
    if (v.lossy) {
      double mean = errSum / double(count * (t == dcmReader::PIXEL_RGB ? 3 : 1));
      EXPECT_LE(mean, 3.0);
      if (v.xfer != dcmfixtures::Xfer::JpegBaseline) EXPECT_LE(errMax, 2);  // colour conversion only
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AllVariants, ::testing::ValuesIn(variantNames()),
                         [](const auto& info) { return info.param; });

// Compressed files decode exactly as the toolkit's own command-line tools do.
struct ToolCase {
  const char* variant;
  const char* tool;
};

class MatchesDcmtkTools : public ::testing::TestWithParam<ToolCase> {};

TEST_P(MatchesDcmtkTools, ByteForByte) {
  const ToolCase c = GetParam();
  if (!haveTool(c.tool)) GTEST_SKIP() << c.tool << " not installed";
  const auto& s = series(c.variant);
  for (size_t z = 0; z < s.files.size(); ++z) {
    std::string out = scratch() + "/" + c.variant + "_" + std::to_string(z) + "_" + c.tool + ".dcm";
    ASSERT_TRUE(run(std::string(c.tool) + " '" + s.files[z] + "' '" + out + "'"));
    Decoded ours = decode(s.files[z]);
    Decoded ref = decode(out);
    ASSERT_TRUE(ours.ok) << ours.error;
    ASSERT_TRUE(ref.ok) << ref.error;
    EXPECT_EQ(ours.type, ref.type);
    EXPECT_EQ(ours.count, ref.count);
    EXPECT_TRUE(ours.bytes == ref.bytes) << s.files[z];
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, MatchesDcmtkTools,
                         ::testing::Values(ToolCase{"ct_jpll", "dcmdjpeg"}, ToolCase{"grey8_jpeg", "dcmdjpeg"},
                                           ToolCase{"rgb_jpeg", "dcmdjpeg"}, ToolCase{"ct_jls", "dcmdjpls"},
                                           ToolCase{"ct_rle", "dcmdrle"}, ToolCase{"ct_s16_rle", "dcmdrle"},
                                           ToolCase{"ybr_rle", "dcmdrle"}, ToolCase{"rgb_rle", "dcmdrle"}),
                         [](const auto& info) { return std::string(info.param.variant); });

// JPEG 2000 files made by GDCM decode through OpenJPEG exactly as GDCM
// decompresses them; lossless ones also give the generator's values.
struct J2kCase {
  const char* variant;
  bool lossy;
};

class Jpeg2000 : public ::testing::TestWithParam<J2kCase> {};

TEST_P(Jpeg2000, MatchesGdcmDecompression) {
  const J2kCase c = GetParam();
  if (!haveTool("gdcmconv")) GTEST_SKIP() << "gdcmconv (libgdcm-tools) not installed";
  const auto& s = series(c.variant);
  const auto& v = s.variant;
  const std::string src = s.files[0];
  const std::string base = scratch() + "/" + c.variant + (c.lossy ? "_j2k_lossy" : "_j2k");
  ASSERT_TRUE(run("gdcmconv --j2k " + std::string(c.lossy ? "--lossy -q 30 " : "") + "'" + src + "' '" +
                  base + ".dcm'"));
  ASSERT_TRUE(run("gdcmconv --raw '" + base + ".dcm' '" + base + "_raw.dcm'"));

  dcmReader r;
  ASSERT_TRUE(r.setFile((base + ".dcm").c_str()));
  char ts[128];
  ASSERT_TRUE(r.readDicomTagString(0x0002, 0x0010, ts, sizeof ts));
  EXPECT_STREQ(ts, c.lossy ? "1.2.840.10008.1.2.4.91" : "1.2.840.10008.1.2.4.90");
  dcmReader::PixelType t;
  EXPECT_TRUE(r.readDicomPixelType(t)) << r.getLastError();

  Decoded ours = decode(base + ".dcm");
  Decoded ref = decode(base + "_raw.dcm");
  ASSERT_TRUE(ours.ok) << ours.error;
  ASSERT_TRUE(ref.ok) << ref.error;
  EXPECT_EQ(ours.type, ref.type);
  ASSERT_EQ(ours.count, int64_t(s.width) * s.height * v.frames);
  EXPECT_TRUE(ours.bytes == ref.bytes);
  if (!c.lossy) {
    Decoded orig = decode(src);
    ASSERT_TRUE(orig.ok);
    EXPECT_TRUE(ours.bytes == orig.bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(Gdcm, Jpeg2000,
                         ::testing::Values(J2kCase{"ct_s16", false}, J2kCase{"mr_u16", false},
                                           J2kCase{"grey8", false}, J2kCase{"rgb", false},
                                           J2kCase{"mr_mf5", false}, J2kCase{"ct_s16", true},
                                           J2kCase{"rgb", true}),
                         [](const auto& info) {
                           return std::string(info.param.variant) + (info.param.lossy ? "_lossy" : "_lossless");
                         });

// YBR_FULL colour (also with pairs of pixels sharing their chroma) becomes
// RGB by the model's own equations, rounded to the nearest value: every
// sample against a reference computed here from the stored Y, Cb, Cr.
class YbrFull : public ::testing::TestWithParam<const char*> {};

TEST_P(YbrFull, EverySampleFollowsTheEquations) {
  const auto& s = series(GetParam());
  const auto& v = s.variant;
  auto toByte = [](double x) { return static_cast<int>(std::clamp(std::floor(x + 0.5), 0.0, 255.0)); };
  for (size_t z = 0; z < s.files.size(); ++z) {
    Decoded d = decode(s.files[z]);
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.type, dcmReader::PIXEL_RGB);
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x) {
        uint8_t ybr[3];
        dcmfixtures::ybrValue(v, x, y, static_cast<int>(z), s.width, ybr);
        const double cb = ybr[1] - 128.0, cr = ybr[2] - 128.0;
        const int want[3] = {toByte(ybr[0] + 1.402 * cr), toByte(ybr[0] - 0.344136 * cb - 0.714136 * cr),
                             toByte(ybr[0] + 1.772 * cb)};
        const uint8_t* got = d.bytes.data() + 3 * (size_t(y) * s.width + x);
        for (int k = 0; k < 3; ++k)
          ASSERT_EQ(got[k], want[k]) << s.files[z] << " x=" << x << " y=" << y << " c=" << k;
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, YbrFull, ::testing::Values("ybr_full_422", "ybr_full", "ybr_rle"),
                         [](const auto& info) { return std::string(info.param); });

// Hostile and broken files fail cleanly: refused at setFile, or no pixels,
// always with a reason.
TEST(BrokenFiles, FailCleanlyWithAReason) {
  auto broken = dcmfixtures::writeBroken(scratch() + "/broken");
  ASSERT_GE(broken.size(), 15u);
  for (const auto& b : broken) {
    SCOPED_TRACE(b.path + ": " + b.what);
    dcmReader r;
    if (!r.setFile(b.path.c_str())) {
      EXPECT_FALSE(b.parsesHeader);
      EXPECT_STRNE(r.getLastError(), "");
      dcmReader::PixelType t;
      int64_t n = 7;
      EXPECT_EQ(r.readDicomPixelPointer(t, n), nullptr);
      EXPECT_EQ(n, 0);
      continue;
    }
    dcmReader::PixelType t;
    int64_t n = 7;
    const void* p = r.readDicomPixelPointer(t, n);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_STRNE(r.getLastError(), "");
    // A second call gives the same answer without decoding again.
    EXPECT_EQ(r.readDicomPixelPointer(t, n), nullptr);
  }
}

TEST(BrokenFiles, UndecodableTransferSyntaxesAreReportedAsSuch) {
  auto broken = dcmfixtures::writeBroken(scratch() + "/broken2");
  for (const auto& b : broken) {
    bool video = b.path.find("mpeg4") != std::string::npos, ht = b.path.find("htj2k") != std::string::npos;
    if (!video && !ht) continue;
    SCOPED_TRACE(b.path);
    dcmReader r;
    if (!r.setFile(b.path.c_str())) {
      EXPECT_TRUE(ht);  // a syntax DCMTK does not know may already fail to parse
      continue;
    }
    dcmReader::PixelType t;
    EXPECT_FALSE(r.readDicomPixelType(t));
    std::string err = r.getLastError();
    EXPECT_TRUE(err.find("cannot be decoded") != std::string::npos ||
                err.find("not supported") != std::string::npos)
        << err;
    int64_t n;
    EXPECT_EQ(r.readDicomPixelPointer(t, n), nullptr);
  }
}

// The delivered samples stay as they are until the next file, whatever else
// is asked of the same file meanwhile; samples with every bit stored and
// masked ones alike.
TEST(Reader, PixelsStayValidUntilTheNextFile) {
  for (const char* name : {"ct_s16", "ct_ele"}) {
    SCOPED_TRACE(name);
    const auto& s = series(name);
    dcmReader r;
    ASSERT_TRUE(r.setFile(s.files[2].c_str()));
    dcmReader::PixelType t;
    int64_t n = 0;
    const void* p = r.readDicomPixelPointer(t, n);
    ASSERT_NE(p, nullptr) << r.getLastError();
    ASSERT_EQ(n, int64_t(s.width) * s.height);
    const std::string png = scratch() + "/stay_" + name + ".png";
    EXPECT_TRUE(r.convertToPngFile(png.c_str(), false)) << r.getLastError();
    EXPECT_EQ(tag(r, 0x0028, 0x0010), "48");
    EXPECT_TRUE(r.readDicomPixelType(t));
    int64_t again = 0;
    EXPECT_EQ(r.readDicomPixelPointer(t, again), p);
    EXPECT_EQ(again, n);
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x) {
        const size_t i = size_t(y) * s.width + x;
        const int32_t got = s.variant.pixelRep ? static_cast<const int16_t*>(p)[i] : static_cast<const uint16_t*>(p)[i];
        ASSERT_EQ(got, dcmfixtures::greyValue(s.variant, x, y, 2)) << "x=" << x << " y=" << y;
      }
  }
}

TEST(Reader, ReusedForAnotherFileForgetsTheFirst) {
  const auto& ct = series("ct_s16");
  const auto& rgb = series("rgb");
  dcmReader r;
  ASSERT_TRUE(r.setFile(ct.files[0].c_str()));
  dcmReader::PixelType t;
  int64_t n;
  ASSERT_NE(r.readDicomPixelPointer(t, n), nullptr);
  ASSERT_TRUE(r.setFile(rgb.files[1].c_str()));
  const void* p = r.readDicomPixelPointer(t, n);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(t, dcmReader::PIXEL_RGB);
  uint8_t want[3];
  dcmfixtures::rgbValue(rgb.variant, 5, 7, 1, want);
  EXPECT_EQ(std::memcmp(static_cast<const uint8_t*>(p) + 3 * (7 * 64 + 5), want, 3), 0);
  EXPECT_FALSE(r.setFile("/nonexistent/file.dcm"));
  EXPECT_EQ(r.readDicomPixelPointer(t, n), nullptr);
  char buf[16] = "stale";
  EXPECT_FALSE(r.readDicomTagString(0x0028, 0x0010, buf, sizeof buf));
  EXPECT_STREQ(buf, "");
}

}  // namespace
