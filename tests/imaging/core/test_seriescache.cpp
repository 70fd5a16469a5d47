// Series cache files: naming, the ".prebin" byte layout and ".raw" expiry.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/isFolderScan.h"
#include "imaging/core/isImageTypes.h"
#include "imaging/core/isSeriesCache.h"
#include "series_fixtures.h"

using namespace isImageSDK;
using namespace seriestest;

namespace {

template <typename T>
T at(const std::string& bytes, size_t offset) {
  T v;
  std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}
std::string textAt(const std::string& bytes, size_t offset) { return std::string(bytes.c_str() + offset); }

// An image record at position (0, 0, z) with the usual axes.
ScannedImage image(const std::string& name, int instance, float z) {
  ScannedImage s;
  std::memset(&s.record, 0, sizeof s.record);
  PrebinImageRecord& r = s.record;
  r.columns = 64;
  r.rows = 48;
  r.spacingX = 0.7f;
  r.spacingY = 0.5f;
  r.frames = 1;
  const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, z, 0, 0, 0, 1};
  std::memcpy(r.matrix, m, sizeof m);
  r.geometryValid = 1;
  r.modality = MODALITY_CT;
  std::strcpy(r.studyId, "77");
  std::strcpy(r.seriesNumber, "5");
  std::strcpy(r.patientName, "DOE^JANE");
  r.sex = 'F';
  r.instanceNumber = static_cast<int16_t>(instance);
  s.instanceNumber = instance;
  r.elementType = ELEMENT_INT16;
  r.bitsAllocated = 16;
  r.rescaleIntercept = -1024.0f;
  r.rescaleSlope = 1.0f;
  r.displayCode = DISPLAY_SIGNED;
  r.windowWidth = 400.0f;
  r.windowCenter = 40.0f;
  s.name = name;
  return s;
}

}  // namespace

TEST(SeriesCache, FoldedHashAndNaming) {
  EXPECT_EQ(foldedHash("abc"), 3797874002u);
  EXPECT_EQ(foldedHash(""), 1339080641u);
  const std::string folder = seriesFolder("P/S/E");
  const std::string a = cachePathForFolder(folder);
  EXPECT_EQ(a, cachePathForFolder(folder.substr(0, folder.size() - 1)));  // with or without "/"
  EXPECT_EQ(a, writable() + "kq/tmp/dcmbuf/" + std::to_string(foldedHash("kq/dicom/P/S/E/")) + ".prebin");
  EXPECT_EQ(rawPathForCache(a), a.substr(0, a.size() - 7) + ".raw");
}

TEST(SeriesCache, NameListSurvivesCommas) {
  const std::vector<std::string> names = {"a,b.dcm", "sub/c.dcm", "d"};
  const std::string text = joinNames(names);
  EXPECT_EQ(text.size(), 7u + 9u + 1u + 2u);
  EXPECT_EQ(splitNames(text), names);
  EXPECT_TRUE(splitNames("").empty());
}

TEST(SeriesCache, SeriesLayoutOfTwoImages) {
  ScannedImage a = image("one,1.dcm", 1, 0.0f), b = image("two.dcm", 2, 2.5f);
  std::strcpy(b.record.seriesDescription, "second");
  const std::string path = writable() + "layout-series.prebin";
  ASSERT_TRUE(isDcmScan::writeSeriesCache(path, {&a, &b}));
  const std::string f = readAll(path);
  const std::string names = std::string("one,1.dcm") + '\0' + "two.dcm";
  ASSERT_EQ(f.size(), 68u + 2 * 712u + 16u + names.size());
  EXPECT_TRUE(isDcmScan::isValidCacheFile(path));

  struct Field {
    size_t offset;
    int32_t value;
  };
  EXPECT_EQ(textAt(f, 0), "ISImage.prebin");
  EXPECT_EQ(textAt(f, 15), "v3.0");
  EXPECT_GE(at<int32_t>(f, 20), 2020);  // year of writing
  EXPECT_EQ(textAt(f, 44), "series");
  EXPECT_EQ(at<int16_t>(f, 64), 2);
  const Field ints[] = {{68 + 0, 64},          {68 + 4, 48},           {68 + 584, ELEMENT_INT16},
                        {68 + 600, 1},         {68 + 588, 16},         {68 + 712 + 0, 64},
                        {68 + 96, MODALITY_CT}};
  for (const Field& x : ints) EXPECT_EQ(at<int32_t>(f, x.offset), x.value) << "offset " << x.offset;
  EXPECT_EQ(at<int16_t>(f, 68 + 580), 1);
  EXPECT_EQ(at<int16_t>(f, 68 + 712 + 580), 2);
  EXPECT_FLOAT_EQ(at<float>(f, 68 + 8), 0.7f);
  EXPECT_FLOAT_EQ(at<float>(f, 68 + 592), -1024.0f);
  EXPECT_FLOAT_EQ(at<float>(f, 68 + 604), 400.0f);
  EXPECT_FLOAT_EQ(at<float>(f, 68 + 712 + 28 + 11 * 4), 2.5f);  // position z, matrix float 11
  EXPECT_EQ(f[68 + 520], 'F');
  EXPECT_EQ(textAt(f, 68 + 480), "DOE^JANE");
  EXPECT_EQ(textAt(f, 68 + 712 + 200), "second");
  EXPECT_EQ(textAt(f, 68 + 540), "77");
  const size_t block = 68 + 2 * 712;
  EXPECT_EQ(at<int32_t>(f, block), static_cast<int32_t>(names.size()));
  EXPECT_EQ(f.substr(block + 16), names);
}

TEST(SeriesCache, VolumeLayoutOfThreeSlices) {
  ScannedImage s[3] = {image("a.dcm", 1, 0.0f), image("b.dcm", 2, 2.5f), image("c.dcm", 3, 5.0f)};
  s[2].record.rescaleIntercept = -1000.0f;
  const std::string path = writable() + "layout-volume.prebin";
  ASSERT_TRUE(isDcmScan::writeVolumeCache(path, {&s[0], &s[1], &s[2]}));
  const std::string f = readAll(path);
  const std::string names = std::string("a.dcm") + '\0' + "b.dcm" + '\0' + "c.dcm";
  ASSERT_EQ(f.size(), 68u + 596u + 3 * 96u + 16u + names.size());
  EXPECT_EQ(textAt(f, 44), "volume");
  EXPECT_EQ(at<int16_t>(f, 64), 3);
  const size_t v = 68;
  EXPECT_EQ(at<int32_t>(f, v + 0), 64);
  EXPECT_EQ(at<int32_t>(f, v + 4), 48);
  EXPECT_EQ(at<int32_t>(f, v + 8), 3);
  EXPECT_FLOAT_EQ(at<float>(f, v + 12), 0.7f);
  EXPECT_FLOAT_EQ(at<float>(f, v + 16), 0.5f);
  EXPECT_FLOAT_EQ(at<float>(f, v + 20), 2.5f);  // mean slice spacing
  EXPECT_FLOAT_EQ(at<float>(f, v + 32 + 11 * 4), 0.0f);  // first slice's position z
  EXPECT_EQ(at<int32_t>(f, v + 96), MODALITY_CT);
  EXPECT_EQ(textAt(f, v + 480), "DOE^JANE");
  EXPECT_EQ(textAt(f, v + 560), "5");
  EXPECT_EQ(at<int32_t>(f, v + 580), ELEMENT_INT16);
  EXPECT_FLOAT_EQ(at<float>(f, v + 584), 400.0f);
  EXPECT_FLOAT_EQ(at<float>(f, v + 588), 40.0f);
  for (int j = 0; j < 3; ++j) {
    const size_t r = 68 + 596 + j * 96;
    EXPECT_EQ(at<int16_t>(f, r + 0), j + 1);
    EXPECT_EQ(at<int32_t>(f, r + 4), 16);
    EXPECT_FLOAT_EQ(at<float>(f, r + 8), j == 2 ? -1000.0f : -1024.0f);
    EXPECT_FLOAT_EQ(at<float>(f, r + 12), 1.0f);
    EXPECT_EQ(at<int32_t>(f, r + 16), DISPLAY_SIGNED);
  }
  const size_t block = 68 + 596 + 3 * 96;
  EXPECT_EQ(at<int32_t>(f, block), static_cast<int32_t>(names.size()));
  EXPECT_EQ(f.substr(block + 16), names);
}

TEST(SeriesCache, ValidityNeedsMagicAndVersion) {
  ScannedImage a = image("a.dcm", 1, 0.0f);
  const std::string path = writable() + "validity.prebin";
  ASSERT_TRUE(isDcmScan::writeSeriesCache(path, {&a}));
  std::string bytes = readAll(path);
  EXPECT_TRUE(isDcmScan::isValidCacheFile(path));
  bytes[16] = '2';  // "v2.0"
  ASSERT_TRUE(NSUI::writeBufferToFile(path.c_str(), bytes.data(), bytes.size()));
  EXPECT_FALSE(isDcmScan::isValidCacheFile(path));
  ASSERT_TRUE(NSUI::writeBufferToFile(path.c_str(), bytes.data(), 60));
  EXPECT_FALSE(isDcmScan::isValidCacheFile(path));
  EXPECT_FALSE(isDcmScan::isValidCacheFile(writable() + "missing.prebin"));
}

TEST(SeriesCache, ExpiryAfterSevenCalendarDays) {
  struct Case {
    NSUI::DateTimeFields created, now;
    bool expired;
  };
  const Case cases[] = {
      {{2026, 1, 1, 10, 0, 0}, {2026, 1, 8, 10, 0, 0}, true},
      {{2026, 1, 1, 10, 0, 0}, {2026, 1, 8, 9, 59, 59}, false},
      {{2024, 2, 28, 12, 0, 0}, {2024, 3, 6, 12, 0, 0}, true},   // leap year
      {{2024, 2, 28, 12, 0, 0}, {2024, 3, 6, 11, 59, 59}, false},
      {{2023, 2, 28, 12, 0, 0}, {2023, 3, 6, 23, 0, 0}, false},  // common year: 7 March
      {{2023, 2, 28, 12, 0, 0}, {2023, 3, 7, 12, 0, 0}, true},
      {{2025, 12, 31, 8, 0, 0}, {2026, 1, 7, 8, 0, 0}, true},
      {{2025, 12, 31, 8, 0, 0}, {2026, 1, 6, 23, 0, 0}, false},
      {{1900, 1, 1, 0, 0, 0}, {2026, 1, 1, 0, 0, 0}, true},  // unreadable creation time
  };
  for (const Case& c : cases)
    EXPECT_EQ(isDcmScan::isExpired(c.created, c.now), c.expired)
        << NSUI::formatDateTime(c.created) << " at " << NSUI::formatDateTime(c.now);
}

TEST(SeriesCache, ClearExpiredKeepsFreshFiles) {
  const std::string folder = seriesFolder("expiry");
  const std::string prebin = cachePathForFolder(folder);
  cocos2d::FileUtils::getInstance()->createDirectory(getCacheFolder());
  ASSERT_TRUE(NSUI::writeStringToFile(rawPathForCache(prebin).c_str(), "pixels"));
  ASSERT_TRUE(NSUI::writeStringToFile(prebin.c_str(), "header"));
  isDcmScan::clearExpiredCache();
  EXPECT_TRUE(fs::exists(rawPathForCache(prebin)));
  isDcmScan::removeCacheOfFolder(folder);
  EXPECT_FALSE(fs::exists(rawPathForCache(prebin)));
  EXPECT_FALSE(fs::exists(prebin));
}
