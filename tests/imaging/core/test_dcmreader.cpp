// isDcmReader: one DICOM file into one slice, on the synthetic fixtures.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "imaging/core/isDcmReader.h"
#include "imaging/core/isImageData.h"
#include "tools/dcmfixtures/fixtures.h"

using namespace isImageSDK;
namespace fs = std::filesystem;

namespace {

const std::string& scratch() {
  static std::string dir = [] {
    std::string t = (fs::temp_directory_path() / "dcmreader-test-XXXXXX").string();
    if (!mkdtemp(t.data())) std::abort();
    static std::string keep = t;
    std::atexit([] { std::error_code ec; fs::remove_all(keep, ec); });
    return t;
  }();
  return dir;
}

dcmfixtures::Series writeVariant(const dcmfixtures::Variant& v, const std::string& tag = "") {
  return dcmfixtures::writeSeries(scratch() + "/" + v.name + tag, v, 64, 48, 2);
}

// Counts the times a file is opened, as the kernel reports them: a read
// that bypasses every hook of the process still opens the file.
class OpenCounter {
 public:
  explicit OpenCounter(const std::string& path) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) inotify_add_watch(fd_, path.c_str(), IN_OPEN);
  }
  ~OpenCounter() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  // Opens since the last call.
  int take() {
    int opens = 0;
    alignas(inotify_event) char buf[4096];
    for (;;) {
      ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t off = 0; off < n;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
        if (ev->mask & IN_OPEN) ++opens;
        off += sizeof(inotify_event) + ev->len;
      }
    }
    return opens;
  }

 private:
  int fd_ = -1;
};

// Reads a file through the pipeline: reader → output image → update.
struct Read {
  isDcmReader* reader = nullptr;
  isImageData* image = nullptr;
  explicit Read(const std::string& path) {
    reader = isDcmReader::create();
    reader->setFileName(path);
    image = reader->getOutputImage();
    image->update();
  }
  ~Read() { reader->release(); }
  SliceRecord* slice() { return image->hasData ? image->getSlice(0) : nullptr; }
};

float sampleAt(const SliceRecord& s, size_t i) {
  switch (s.elementType) {
    case ELEMENT_UINT8: return static_cast<const uint8_t*>(s.pixels)[i];
    case ELEMENT_INT16: return static_cast<const int16_t*>(s.pixels)[i];
    case ELEMENT_UINT16: return static_cast<const uint16_t*>(s.pixels)[i];
    case ELEMENT_FLOAT: return static_cast<const float*>(s.pixels)[i];
    default: return NAN;
  }
}

struct VariantCase {
  const char* variant;
  int elementType;
  int displayCode;
  int feetFirst;
  bool geometryValid;
  float windowWidth, windowCenter;
};

class Variants : public ::testing::TestWithParam<VariantCase> {};

TEST_P(Variants, SliceMatchesTheFile) {
  const VariantCase c = GetParam();
  const dcmfixtures::Variant& v = *dcmfixtures::findVariant(c.variant);
  auto s = writeVariant(v);
  for (size_t z = 0; z < s.files.size(); ++z) {
    Read r(s.files[z]);
    SliceRecord* slice = r.slice();
    ASSERT_NE(slice, nullptr) << s.files[z];
    EXPECT_EQ(slice->width, 64);
    EXPECT_EQ(slice->height, 48);
    EXPECT_EQ(slice->frameCount, v.frames);
    EXPECT_EQ(slice->elementType, c.elementType);
    EXPECT_EQ(slice->displayCode, c.displayCode);
    EXPECT_EQ(slice->feetFirstCode, c.feetFirst);
    EXPECT_EQ(slice->geometryValid, c.geometryValid);
    EXPECT_FLOAT_EQ(slice->spacingX, 0.7f);
    EXPECT_FLOAT_EQ(slice->spacingY, 0.5f);
    EXPECT_FLOAT_EQ(slice->windowWidth, c.windowWidth);
    EXPECT_FLOAT_EQ(slice->windowCenter, c.windowCenter);
    EXPECT_FLOAT_EQ(slice->rescaleSlope, static_cast<float>(v.slope));
    EXPECT_FLOAT_EQ(slice->rescaleIntercept, static_cast<float>(v.intercept));
    EXPECT_TRUE(slice->pixelsLoaded);
    EXPECT_EQ(slice->filePath, s.files[z]);
    if (c.geometryValid) {
      // Position (-16, -12, z) of the patient frame in the display frame.
      const double zp = s.zPositions[z];
      const float want[3] = {static_cast<float>(c.feetFirst == 1 ? 16 : -16),
                             static_cast<float>(c.feetFirst == 1 ? -zp : zp), 12.0f};
      EXPECT_NEAR(slice->matrix.m[12], want[0], 1e-4);
      EXPECT_NEAR(slice->matrix.m[13], want[1], 1e-4);
      EXPECT_NEAR(slice->matrix.m[14], want[2], 1e-4);
    }
    for (int f = 0; f < v.frames; ++f)
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
          const int zz = v.frames > 1 ? f : static_cast<int>(z);
          size_t i = (size_t(f) * 48 + y) * 64 + x;
          if (c.elementType == ELEMENT_RGB) {
            uint8_t want[3];
            dcmfixtures::rgbValue(v, x, y, zz, want);
            ASSERT_EQ(std::memcmp(static_cast<const uint8_t*>(slice->pixels) + 3 * i, want, 3), 0);
          } else {
            ASSERT_FLOAT_EQ(sampleAt(*slice, i), static_cast<float>(dcmfixtures::modalityValue(v, x, y, zz)))
                << "x=" << x << " y=" << y << " frame=" << f;
          }
        }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Variants,
    ::testing::Values(VariantCase{"ct_s16", ELEMENT_INT16, DISPLAY_SIGNED, HEAD_FIRST, true, 400, 40},
                      VariantCase{"ct_jpll", ELEMENT_INT16, DISPLAY_UNSIGNED, HEAD_FIRST, true, 400, 40},
                      VariantCase{"ct_ffs_irregular", ELEMENT_INT16, DISPLAY_SIGNED, FEET_FIRST, true, 400, 40},
                      VariantCase{"mr_u16", ELEMENT_UINT16, DISPLAY_UNSIGNED, HEAD_FIRST, true, 30000, 45000},
                      VariantCase{"mr_mf5", ELEMENT_UINT16, DISPLAY_UNSIGNED, HEAD_FIRST, true, 30000, 45000},
                      VariantCase{"pet", ELEMENT_FLOAT, DISPLAY_SIGNED, HEAD_FIRST, true, 20000, 10000},
                      VariantCase{"mono1", ELEMENT_INT16, DISPLAY_SIGNED_INVERTED, HEAD_FIRST, false, 255, 128},
                      VariantCase{"grey8", ELEMENT_UINT8, DISPLAY_UNSIGNED, HEAD_FIRST, true, 256, 128},
                      VariantCase{"rgb", ELEMENT_RGB, DISPLAY_UNSIGNED, HEAD_FIRST, false, 255, 128}),
    [](const auto& info) { return std::string(info.param.variant); });

TEST(DcmReader, PetDecayData) {
  auto s = writeVariant(*dcmfixtures::findVariant("pet"), "_decay");
  Read r(s.files[0]);
  SliceRecord* p = r.slice();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->modality, MODALITY_PT);
  EXPECT_EQ(p->units, UNITS_BQML);
  EXPECT_EQ(p->decayCorrection, DECAY_START);
  EXPECT_FLOAT_EQ(p->decayFactor, 1.02f);
  EXPECT_FLOAT_EQ(p->totalDose, 370000000.0f);  // inside the radiopharmaceutical sequence
  EXPECT_FLOAT_EQ(p->halfLife, 6586.2f);
  EXPECT_FLOAT_EQ(p->suvFactor, 0.000123f);      // private element read in implicit VR
  EXPECT_EQ(p->triggerTime, 125);
  EXPECT_EQ(p->sex, SEX_FEMALE);
  EXPECT_FLOAT_EQ(p->weight, 75.0f);
  EXPECT_FLOAT_EQ(p->patientSize, 1.8f);
  EXPECT_TRUE(p->decayTimesValid);
  const NSUI::DateTimeFields acq{2024, 1, 2, 10, 30, 0}, inj{2024, 1, 2, 10, 15, 0};
  EXPECT_EQ(std::memcmp(&p->acquisitionTime, &acq, sizeof acq), 0);
  EXPECT_EQ(std::memcmp(&p->injectionTime, &inj, sizeof inj), 0);
  EXPECT_TRUE(r.image->isInvertedGrey() == false);
}

// Variations of one CT file, each with a few elements changed.
struct EditCase {
  const char* name;
  std::vector<std::pair<uint32_t, std::string>> edits;
  std::function<void(const SliceRecord&)> check;
};

TEST(DcmReader, ElementRulesOnEditedFiles) {
  const dcmfixtures::Variant& base = *dcmfixtures::findVariant("ct_s16");
  const EditCase cases[] = {
      {"slope_2_5", {{0x00281053, "2.5"}, {0x00281052, "0"}},
       [&](const SliceRecord& s) {
         EXPECT_EQ(s.elementType, ELEMENT_FLOAT);
         EXPECT_FLOAT_EQ(sampleAt(s, 65), dcmfixtures::greyValue(base, 1, 1, 0) * 2.5f);
       }},
      {"position_two_values", {{0x00200032, "1\\2"}},
       [](const SliceRecord& s) {
         EXPECT_FALSE(s.geometryValid);
         EXPECT_FLOAT_EQ(s.matrix.m[12], 0.0f);
         EXPECT_FLOAT_EQ(s.matrix.m[13], 0.0f);
         EXPECT_FLOAT_EQ(s.matrix.m[14], 0.0f);
       }},
      {"frames_zero", {{0x00280008, "0"}}, [](const SliceRecord& s) { EXPECT_EQ(s.frameCount, 1); }},
      {"frames_negative", {{0x00280008, "-3"}}, [](const SliceRecord& s) { EXPECT_EQ(s.frameCount, 1); }},
      {"spacing_one_value", {{0x00280030, "0.5"}},
       [](const SliceRecord& s) {
         EXPECT_FLOAT_EQ(s.spacingX, 1.0f);
         EXPECT_FLOAT_EQ(s.spacingY, 1.0f);
       }},
      {"spacing_absent", {{0x00280030, ""}}, [](const SliceRecord& s) { EXPECT_FALSE(s.pixelSpacingKnown); }},
      {"position_text_unknown", {{0x00185100, "SITTING"}},
       [](const SliceRecord& s) {
         EXPECT_EQ(s.feetFirstCode, ORIENTATION_NOT_GIVEN);
         EXPECT_FALSE(s.geometryValid);
       }},
      {"position_absent_ct", {{0x00185100, ""}},
       [](const SliceRecord& s) {
         EXPECT_EQ(s.feetFirstCode, ORIENTATION_NOT_GIVEN);
         EXPECT_TRUE(s.geometryValid);
       }},
      {"hfp", {{0x00185100, "HFP"}}, [](const SliceRecord& s) {
         EXPECT_EQ(s.positionCode, POSITION_PRONE);
         EXPECT_NEAR(s.matrix.m[12], 16.0f, 1e-4);  // (−x, z, y)
         EXPECT_NEAR(s.matrix.m[14], -12.0f, 1e-4);
       }},
      {"pet_short_acquisition_date",
       {{0x00080060, "PT"}, {0x00080022, "2024010"}, {0x00080032, "103000"}, {0x00181072, "093000"}},
       [](const SliceRecord& s) {
         const NSUI::DateTimeFields series{2024, 1, 2, 10, 20, 0}, inj{2024, 1, 2, 9, 30, 0};
         EXPECT_EQ(std::memcmp(&s.acquisitionTime, &series, sizeof series), 0);
         EXPECT_EQ(std::memcmp(&s.injectionTime, &inj, sizeof inj), 0);
         EXPECT_TRUE(s.decayTimesValid);
         EXPECT_FLOAT_EQ(s.windowWidth, 400.0f);
       }},
      {"no_window", {{0x00281050, ""}, {0x00281051, ""}},
       [](const SliceRecord& s) {
         EXPECT_FLOAT_EQ(s.windowWidth, 255.0f);
         EXPECT_FLOAT_EQ(s.windowCenter, 128.0f);
       }},
      {"scan_options_cut", {{0x00180022, "HELICAL_MODE_LONG"}},
       [](const SliceRecord& s) { EXPECT_EQ(s.scanOptions, "HELICAL_M"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = scratch() + "/edit_" + c.name + ".dcm";
    dcmfixtures::writeTagged(path, c.edits);
    Read r(path);
    SliceRecord* s = r.slice();
    ASSERT_NE(s, nullptr);
    c.check(*s);
  }
}

TEST(DcmReader, RescaledValuesSaturateInsteadOfWrapping) {
  // Unsigned MR values up to 64999 with intercept -1024 go to signed 16-bit:
  // 40000 - 1024 must not wrap to a negative value.
  dcmfixtures::Variant v = *dcmfixtures::findVariant("mr_u16");
  v.name = "mr_negative_intercept";
  v.intercept = -1024;
  auto s = writeVariant(v);
  Read r(s.files[0]);
  SliceRecord* slice = r.slice();
  ASSERT_NE(slice, nullptr);
  ASSERT_EQ(slice->elementType, ELEMENT_INT16);
  int saturated = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      double want = dcmfixtures::modalityValue(v, x, y, 0);
      float got = sampleAt(*slice, size_t(y) * 64 + x);
      if (want > 32767) {
        EXPECT_EQ(got, 32767);
        ++saturated;
      } else {
        EXPECT_EQ(got, want);
      }
    }
  EXPECT_GT(saturated, 0);
}

TEST(DcmReader, UnusableFilesLeaveTheOutputEmpty) {
  auto broken = dcmfixtures::writeBroken(scratch() + "/broken");
  broken.push_back({scratch() + "/missing.dcm", "missing", false});
  std::string bits12 = scratch() + "/no_rows.dcm";
  dcmfixtures::writeTagged(bits12, {{0x00280010, ""}});
  broken.push_back({bits12, "no Rows", true});
  for (const auto& b : broken) {
    SCOPED_TRACE(b.path);
    Read r(b.path);
    EXPECT_FALSE(r.image->hasData);
    EXPECT_EQ(r.image->getSliceCount(), 0);
  }
}

// JPEG streams whose markers once made the decoder spin for ever give no
// image, and the update returns (the test's timeout catches a hang).
TEST(DcmReader, CorruptJpegStreamsGiveNoImage) {
  int jpegs = 0;
  for (const auto& b : dcmfixtures::writeHostile(scratch() + "/hostile")) {
    if (b.path.find("_tem.dcm") == std::string::npos) continue;
    SCOPED_TRACE(b.path);
    ++jpegs;
    Read r(b.path);
    EXPECT_FALSE(r.image->hasData);
    EXPECT_EQ(r.image->getSliceCount(), 0);
  }
  EXPECT_EQ(jpegs, 3);
}

TEST(DcmReader, NewFileNameReadsAgain) {
  auto ct = writeVariant(*dcmfixtures::findVariant("ct_s16"), "_again");
  auto rgb = writeVariant(*dcmfixtures::findVariant("rgb"), "_again");
  isDcmReader* reader = isDcmReader::create();
  ASSERT_NE(reader, nullptr);
  EXPECT_TRUE(reader->isSource());
  EXPECT_EQ(reader->fileName, "");
  isImageData* image = reader->getOutputImage();
  OpenCounter ctOpens(ct.files[0]), rgbOpens(rgb.files[0]);
  ASSERT_TRUE(ctOpens.ok());
  reader->setFileName(ct.files[0]);
  image->update();
  ASSERT_TRUE(image->hasData);
  EXPECT_EQ(image->getSlice(0)->elementType, ELEMENT_INT16);
  EXPECT_GE(ctOpens.take(), 1);
  image->update();  // nothing changed: nothing read again
  EXPECT_EQ(ctOpens.take(), 0);
  EXPECT_EQ(image->getSliceCount(), 1);
  reader->setFileName(rgb.files[0]);
  image->update();
  EXPECT_GE(rgbOpens.take(), 1);
  ASSERT_TRUE(image->hasData);
  EXPECT_EQ(image->getSliceCount(), 1);
  EXPECT_EQ(image->getSlice(0)->elementType, ELEMENT_RGB);
  reader->release();
}

}  // namespace
