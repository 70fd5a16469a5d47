// Series folder scan: which layout a folder gets, in which order, and the
// progress it reports.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/isFolderScan.h"
#include "imaging/core/isImageTypes.h"
#include "series_fixtures.h"

using namespace isImageSDK;
using namespace seriestest;

namespace {

template <typename T>
T at(const std::string& bytes, size_t offset) {
  T v{};
  if (offset + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

struct Parsed {
  std::string kind;
  std::vector<int> instances;  // 16-bit values as stored, in record order
  std::vector<std::string> names;
  float sliceSpacing = 0;
};

Parsed parse(const std::string& path) {
  Parsed p;
  const std::string f = readAll(path);
  if (f.size() < 68) return p;
  p.kind = std::string(f.c_str() + 44);
  size_t block = 0;
  if (p.kind == "volume") {
    const int n = at<int32_t>(f, 68 + 8);
    p.sliceSpacing = at<float>(f, 68 + 20);
    for (int j = 0; j < n; ++j) p.instances.push_back(at<int16_t>(f, 68 + 596 + j * 96));
    block = 68 + 596 + n * 96;
  } else {
    const int n = at<int16_t>(f, 64);
    for (int i = 0; i < n; ++i) p.instances.push_back(at<int16_t>(f, 68 + i * 712 + 580));
    block = 68 + n * 712;
  }
  const int32_t length = at<int32_t>(f, block);
  p.names = splitNames(f.substr(block + 16, length));
  return p;
}

// A CT file at (−16, −12, z) with the given Instance Number.
void taggedSlice(const std::string& path, double z, const std::string& instance) {
  const std::string position = "-16\\-12\\" + std::to_string(z);
  dcmfixtures::writeTagged(path, {{0x00200032, position}, {0x00200013, instance}}, 16, 8);
}

struct LayoutCase {
  const char* name;
  std::function<void(const std::string& folder)> make;
  const char* kind;
  std::vector<int> instances;
};

}  // namespace

TEST(FolderScan, LayoutAndOrder) {
  dcmfixtures::Variant shuffled = *dcmfixtures::findVariant("ct_s16");
  shuffled.name = "ct_shuffled";
  shuffled.shuffledNames = true;
  const LayoutCase cases[] = {
      {"regular", [](const std::string& d) { dcmfixtures::writeSeries(d, *dcmfixtures::findVariant("ct_s16"), 16, 8, 4); },
       "volume", {1, 2, 3, 4}},
      {"shuffled_names", [&](const std::string& d) { dcmfixtures::writeSeries(d, shuffled, 16, 8, 5); },
       "volume", {1, 2, 3, 4, 5}},
      {"irregular_spacing",
       [](const std::string& d) { dcmfixtures::writeSeries(d, *dcmfixtures::findVariant("ct_ffs_irregular"), 16, 8, 4); },
       "series", {1, 2, 3, 4}},
      {"three_positions_0_1_2_5",
       [](const std::string& d) {
         taggedSlice(d + "a.dcm", 0.0, "3");
         taggedSlice(d + "b.dcm", 1.0, "2");
         taggedSlice(d + "c.dcm", 2.5, "1");
       },
       "series", {1, 2, 3}},
      {"multiframe_among_images",
       [](const std::string& d) {
         dcmfixtures::writeSeries(d + "x", *dcmfixtures::findVariant("ct_s16"), 16, 8, 2);
         dcmfixtures::writeSeries(d + "a", *dcmfixtures::findVariant("mr_mf5"), 16, 8, 1);
       },
       "series", {1, 1, 2}},  // listing order: a/ first, then x/
      {"coincident_positions",
       [](const std::string& d) {
         for (int i = 0; i < 3; ++i) taggedSlice(d + "cine" + std::to_string(i) + ".dcm", 7.0, std::to_string(i + 1));
       },
       "series", {1, 2, 3}},
      {"instances_against_normal",
       [](const std::string& d) {
         for (int i = 0; i < 4; ++i) taggedSlice(d + "s" + std::to_string(i) + ".dcm", 10.0 - 2.5 * i, std::to_string(i + 1));
       },
       "volume", {4, 3, 2, 1}},
      {"instances_above_32767",
       [](const std::string& d) {
         const char* numbers[] = {"32766", "32767", "32768", "40000"};
         for (int i = 0; i < 4; ++i) taggedSlice(d + "n" + std::to_string(i) + ".dcm", 2.0 * i, numbers[i]);
       },
       "volume", {32766, 32767, -32768, -25536}},
      {"single_image",
       [](const std::string& d) { taggedSlice(d + "only.dcm", 0.0, "9"); }, "series", {9}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = seriesFolder(std::string("layout/") + c.name);
    fs::create_directories(folder);
    c.make(folder);
    isDcmScan scan;
    ASSERT_TRUE(scan.createCache(folder));
    const std::string path = isDcmScan::getCacheFileName(folder);
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(isDcmScan::isValidCacheFile(path));
    const Parsed p = parse(path);
    EXPECT_EQ(p.kind, c.kind);
    EXPECT_EQ(p.instances, c.instances);
    EXPECT_EQ(p.names.size(), c.instances.size());
    for (const std::string& name : p.names) EXPECT_TRUE(fs::exists(folder + name)) << name;
    if (p.kind == "volume") {
      EXPECT_GT(p.sliceSpacing, 0.01f);
    }
  }
}

TEST(FolderScan, ProgressAndNonDicomFiles) {
  const std::string folder = seriesFolder("progress");
  dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_s16"), 16, 8, 6);
  for (int i = 0; i < 4; ++i) NSUI::writeStringToFile((folder + "notes" + std::to_string(i) + ".txt").c_str(), "text");
  Recorder rec({NOTIFY_ACTIVITY_PROGRESS});
  isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  rec.drain();
  const std::vector<int> want = {2, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 20, 28, 36, 44, 52, 60, 68, 76, 84, 94, 97, 99};
  EXPECT_EQ(rec.ints(NOTIFY_ACTIVITY_PROGRESS), want);
  const Parsed p = parse(isDcmScan::getCacheFileName(folder));
  EXPECT_EQ(p.kind, "volume");
  EXPECT_EQ(p.names.size(), 6u);
}

TEST(FolderScan, SingleImageSkipsOrderingProgress) {
  const std::string folder = seriesFolder("single");
  fs::create_directories(folder);
  taggedSlice(folder + "one.dcm", 0.0, "1");
  Recorder rec({NOTIFY_ACTIVITY_PROGRESS});
  isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  rec.drain();
  EXPECT_EQ(rec.ints(NOTIFY_ACTIVITY_PROGRESS), (std::vector<int>{2, 2, 12}));
}

TEST(FolderScan, NothingUsableWritesNothing) {
  const std::string empty = seriesFolder("empty");
  fs::create_directories(empty);
  const std::string text = seriesFolder("text-only");
  NSUI::writeStringToFile((text + "readme.txt").c_str(), "not an image");
  NSUI::writeStringToFile((text + "truncated.dcm").c_str(), std::string(128, '\0') + "DICM");
  for (const std::string& folder : {empty, text}) {
    isDcmScan scan;
    EXPECT_FALSE(scan.createCache(folder));
    EXPECT_FALSE(fs::exists(cachePathForFolder(folder)));
  }
}

TEST(FolderScan, CacheNameAndRemoval) {
  const std::string folder = seriesFolder("removal");
  fs::remove_all(getCacheFolder());
  EXPECT_EQ(isDcmScan::getCacheFileName(folder), "");
  EXPECT_TRUE(fs::is_directory(getCacheFolder()));
  // No ".prebin": removeCache leaves a stray ".raw" alone.
  const std::string prebin = cachePathForFolder(folder);
  NSUI::writeStringToFile(rawPathForCache(prebin).c_str(), "raw");
  isDcmScan::removeCache(folder);
  EXPECT_TRUE(fs::exists(rawPathForCache(prebin)));
  NSUI::writeStringToFile(prebin.c_str(), "prebin");
  EXPECT_EQ(isDcmScan::getCacheFileName(folder), prebin);
  isDcmScan::removeCache(folder);
  EXPECT_FALSE(fs::exists(prebin));
  EXPECT_FALSE(fs::exists(rawPathForCache(prebin)));
}

TEST(FolderScan, RecordFieldsFromTheFile) {
  const std::string folder = seriesFolder("fields");
  fs::create_directories(folder);
  dcmfixtures::writeTagged(folder + "a.dcm",
                           {{0x00185100, "FFP"},
                            {0x00100040, "O"},
                            {0x0008103E, std::string(300, 'd')},
                            {0x00200013, "12"}},
                           16, 8);
  dcmfixtures::writeTagged(folder + "b.dcm", {{0x00185100, ""}, {0x00080060, "US"}, {0x00200013, "2"}}, 16, 8);
  dcmfixtures::writeTagged(folder + "c.dcm", {{0x00185100, "LFP"}, {0x00200013, "1"}}, 16, 8);
  isDcmScan scan;
  ScannedImage a, b, c;
  ASSERT_TRUE(scan.readImage(folder + "a.dcm", a));
  ASSERT_TRUE(scan.readImage(folder + "b.dcm", b));
  ASSERT_TRUE(scan.readImage(folder + "c.dcm", c));
  EXPECT_EQ(a.record.positionCode, 1);
  EXPECT_EQ(a.record.feetFirstCode, 1);
  EXPECT_EQ(a.record.sex, 'U');
  EXPECT_EQ(std::string(a.record.seriesDescription), std::string(255, 'd'));
  EXPECT_EQ(a.record.instanceNumber, 12);
  EXPECT_EQ(a.record.elementType, ELEMENT_INT16);
  EXPECT_EQ(a.record.geometryValid, 1);
  EXPECT_EQ(b.record.positionCode, 0);
  EXPECT_EQ(b.record.feetFirstCode, 0);  // ultrasound without the element
  EXPECT_EQ(c.record.positionCode, 0);
  EXPECT_EQ(c.record.feetFirstCode, 2);
}
