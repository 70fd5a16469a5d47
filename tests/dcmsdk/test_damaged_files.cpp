// Damaged files end in bounded time with a clear reason and never throw;
// unusual but valid encodings are read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "support_dcm.h"

using dcmSDK::dcmReader;
using dcmSDK::DicomTags;
using namespace dcmtest;

namespace {

// The damaged files, written once per process, by file name.
const std::map<std::string, dcmfixtures::Broken>& hostile() {
  static const std::map<std::string, dcmfixtures::Broken> files = [] {
    std::map<std::string, dcmfixtures::Broken> m;
    for (auto& b : dcmfixtures::writeHostile(scratch() + "/hostile"))
      m[b.path.substr(b.path.find_last_of('/') + 1)] = b;
    return m;
  }();
  return files;
}

const std::string& hostilePath(const std::string& name) {
  auto it = hostile().find(name);
  if (it == hostile().end()) throw std::runtime_error("no fixture " + name);
  return it->second.path;
}

// A TEM marker right after SOI once made the toolkit's JPEG decoder spin for
// ever (the test's timeout catches a hang). Both ways of decoding must end
// with a reason that names the bad marker.
class CorruptJpeg : public ::testing::TestWithParam<const char*> {};

TEST_P(CorruptJpeg, DecodingEndsWithTheReason) {
  const std::string path = hostilePath(GetParam());
  {
    dcmReader r;
    ASSERT_TRUE(r.setFile(path.c_str())) << r.getLastError();
    dcmReader::PixelType t;
    EXPECT_TRUE(r.readDicomPixelType(t));  // the header is sound
    int64_t n = 7;
    EXPECT_EQ(r.readDicomPixelPointer(t, n), nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_NE(std::strstr(r.getLastError(), "FF01"), nullptr) << r.getLastError();
  }
  {
    dcmReader r;
    ASSERT_TRUE(r.setFile(path.c_str()));
    const std::string png = scratch() + "/" + GetParam() + ".png";
    EXPECT_FALSE(r.convertToPngFile(png.c_str(), false));
    EXPECT_NE(std::strstr(r.getLastError(), "FF01"), nullptr) << r.getLastError();
    EXPECT_FALSE(std::filesystem::exists(png));
  }
}

INSTANTIATE_TEST_SUITE_P(Processes, CorruptJpeg,
                         ::testing::Values("jpeg_baseline_tem.dcm", "jpeg_extended_tem.dcm",
                                           "jpeg_lossless_tem.dcm"),
                         [](const auto& info) {
                           std::string s = info.param;
                           return s.substr(5, s.find("_tem") - 5);
                         });

// The same streams with their markers intact still decode (the check lets
// sound files through): the extended one is the only process not among the
// regular fixture variants.
TEST(CorruptJpeg, SoundExtendedProcessStreamDecodes) {
  hostile();
  const auto& v = *dcmfixtures::findVariant("ct_ele");
  const std::string path = scratch() + "/hostile/jpeg_extended.dcm";
  Decoded d = decode(path);
  ASSERT_TRUE(d.ok) << d.error;
  ASSERT_EQ(d.type, dcmReader::PIXEL_16);
  ASSERT_EQ(d.count, 16 * 12);
  // The encoder may shift the stored values and the intercept with them.
  dcmReader r;
  ASSERT_TRUE(r.setFile(path.c_str()));
  char text[32];
  ASSERT_TRUE(r.readDicomTagString(0x0028, 0x1052, text, sizeof text));
  const double intercept = std::atof(text);
  double err = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x)
      err += std::abs(reinterpret_cast<const uint16_t*>(d.bytes.data())[y * 16 + x] + intercept -
                      dcmfixtures::modalityValue(v, x, y, 0));
  EXPECT_LT(err / (16 * 12), 40.0);  // lossy, but the same image
}

// DCMTK throws std::out_of_range out of its DICOMDIR record parser on this
// file. Nothing may escape the library: the file's own header is read, its
// records are not, and what cannot be delivered fails with a reason.
TEST(DamagedFiles, DamagedDicomdirThrowsNothing) {
  const std::string path = hostilePath("dicomdir_record_type_runs_on");
  dcmReader r;
  bool ok = false;
  EXPECT_NO_THROW(ok = r.setFile(path.c_str()));
  ASSERT_TRUE(ok) << r.getLastError();
  char buf[64];
  EXPECT_NO_THROW(ok = r.readDicomTagString(0x0004, 0x1130, buf, sizeof buf));
  EXPECT_TRUE(ok);
  EXPECT_STREQ(buf, "FIXTURE");
  dcmReader::PixelType t;
  int64_t n = 7;
  const void* p = nullptr;
  EXPECT_NO_THROW(p = r.readDicomPixelPointer(t, n));
  EXPECT_EQ(p, nullptr);
  EXPECT_STRNE(r.getLastError(), "");
  EXPECT_NO_THROW(ok = r.convertToPngFile((scratch() + "/dicomdir.png").c_str(), true));
  EXPECT_FALSE(ok);

  dcmSDK::dcmReadTag tags;
  EXPECT_NO_THROW(ok = tags.setFile(path.c_str()));
  ASSERT_TRUE(ok);
  int count = 0;
  DicomTags** rows = nullptr;
  EXPECT_NO_THROW(rows = tags.getTagList(count));
  ASSERT_NE(rows, nullptr);
  bool fileSetId = false;
  for (int i = 0; i < count; ++i) fileSetId = fileSetId || std::strcmp(rows[i]->tag, "(0004,1130)") == 0;
  EXPECT_TRUE(fileSetId);
}

TEST(DamagedFiles, MetaHeaderDisagreeingWithTheDatasetIsNamed) {
  dcmReader r;
  EXPECT_FALSE(r.setFile(hostilePath("meta_explicit_dataset_implicit.dcm").c_str()));
  const std::string err = r.getLastError();
  EXPECT_NE(err.find("declares Little Endian Explicit"), std::string::npos) << err;
  EXPECT_NE(err.find("encoded with implicit VR"), std::string::npos) << err;
  EXPECT_EQ(err.find("truncated"), std::string::npos) << err;
}

// Datasets stored without preamble and meta header, in either byte order,
// are read in full.
class DatasetOnly : public ::testing::TestWithParam<const char*> {};

TEST_P(DatasetOnly, TagsAndPixelsAreRead) {
  const auto& v = *dcmfixtures::findVariant(GetParam());
  const std::string path =
      dcmfixtures::writeDatasetOnly(scratch() + "/dataset_only_" + v.name + "/file.dcm", v, 64, 48);
  dcmReader r;
  ASSERT_TRUE(r.setFile(path.c_str())) << r.getLastError();
  char buf[64];
  ASSERT_TRUE(r.readDicomTagString(0x0010, 0x0020, buf, sizeof buf));
  EXPECT_EQ(std::string(buf), "FX-" + v.name);
  unsigned short rows = 0;
  ASSERT_TRUE(r.readDicomTagUint16(0x0028, 0x0010, rows));
  EXPECT_EQ(rows, 48);
  Decoded ours = decode(path);
  Decoded withMeta = decode(series(v.name).files[0]);
  ASSERT_TRUE(ours.ok) << ours.error;
  ASSERT_TRUE(withMeta.ok) << withMeta.error;
  EXPECT_EQ(ours.type, withMeta.type);
  EXPECT_TRUE(ours.bytes == withMeta.bytes);
}

INSTANTIATE_TEST_SUITE_P(Encodings, DatasetOnly, ::testing::Values("ct_bee", "rgb_bee", "ct_ile", "ct_ele"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
