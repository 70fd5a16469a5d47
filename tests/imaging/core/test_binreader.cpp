// Cache reader: scan → cache → reader round trips over the fixture variants,
// the ".raw" reopening, failures and the loading thread under concurrency.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isImageData.h"
#include "series_fixtures.h"

using namespace isImageSDK;
using namespace seriestest;

namespace {

constexpr int kW = 32, kH = 24;

double sampleAt(const SliceRecord& s, size_t i) {
  switch (s.elementType) {
    case ELEMENT_UINT8: return static_cast<const uint8_t*>(s.pixels)[i];
    case ELEMENT_INT16: return static_cast<const int16_t*>(s.pixels)[i];
    case ELEMENT_UINT16: return static_cast<const uint16_t*>(s.pixels)[i];
    case ELEMENT_FLOAT: return static_cast<const float*>(s.pixels)[i];
    default: return NAN;
  }
}

// Scans the folder and opens a reader on its cache, updated once.
struct Opened {
  isBinReader* reader = nullptr;
  isImageData* image = nullptr;
  explicit Opened(const std::string& folder, bool scan = true) {
    if (scan) {
      isDcmScan s;
      EXPECT_TRUE(s.createCache(folder));
    }
    reader = isBinReader::create();
    EXPECT_TRUE(reader->setFileName(folder, isDcmScan::getCacheFileName(folder)));
    image = reader->getOutputImage();
    image->update();
  }
  ~Opened() {
    if (reader) reader->release();
  }
  bool waitLoaded() { return pumpUntil([&] { return reader->isLoadComplete(); }); }
  SliceRecord* slice(size_t i) { return i < image->slices.size() ? image->slices[i] : nullptr; }
};

// Every sample of every slice equals the generator's value; slices are
// matched to the generator's z by Instance Number (z + 1).
void expectGeneratorValues(isImageData* image, const dcmfixtures::Variant& v, int expectedSlices) {
  ASSERT_EQ(static_cast<int>(image->slices.size()), expectedSlices);
  for (SliceRecord* s : image->slices) {
    ASSERT_TRUE(s->pixelsLoaded);
    const int kW = s->width, kH = s->height;
    const int z0 = s->instanceNumber - 1;
    for (int f = 0; f < s->frameCount; ++f)
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
          const int z = s->frameCount > 1 ? f : z0;
          const size_t i = (size_t(f) * kH + y) * kW + x;
          if (s->elementType == ELEMENT_RGB) {
            uint8_t want[3];
            dcmfixtures::rgbValue(v, x, y, z, want);
            ASSERT_EQ(std::memcmp(static_cast<const uint8_t*>(s->pixels) + 3 * i, want, 3), 0)
                << v.name << " x=" << x << " y=" << y << " z=" << z;
          } else {
            ASSERT_DOUBLE_EQ(sampleAt(*s, i), static_cast<float>(dcmfixtures::modalityValue(v, x, y, z)))
                << v.name << " x=" << x << " y=" << y << " z=" << z;
          }
        }
  }
}

std::string pixelBytes(isImageData* image) {
  std::string out;
  for (SliceRecord* s : image->slices) out.append(static_cast<const char*>(s->pixels), s->pixelBytes());
  return out;
}

struct RoundTrip {
  const char* variant;
  const char* kind;  // layout the scan must choose
  int slices;        // slices of the image data
};

}  // namespace

class SeriesRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(SeriesRoundTrip, ScanCacheLoadAndReopen) {
  const RoundTrip c = GetParam();
  dcmfixtures::Variant v = *dcmfixtures::findVariant(c.variant);
  const std::string folder = seriesFolder(std::string("roundtrip/") + c.variant);
  dcmfixtures::writeSeries(folder, v, kW, kH, 4);

  std::string firstBytes;
  {
    Recorder rec({NOTIFY_LOADING_PROGRESS, NOTIFY_4D_LOADED});
    Opened o(folder);
    EXPECT_EQ(o.reader->isVolumeFile, std::string(c.kind) == "volume");
    ASSERT_NE(o.reader->loadingThread, nullptr);
    ASSERT_TRUE(o.waitLoaded());
    ASSERT_TRUE(pumpUntil([&] { return rec.count(NOTIFY_4D_LOADED) == 1; }));
    std::lock_guard<std::recursive_mutex> lock(o.reader->dataMutex);
    expectGeneratorValues(o.image, v, c.slices);
    EXPECT_TRUE(o.reader->getFailedSlices().empty());
    EXPECT_EQ(rec.count(NOTIFY_LOADING_PROGRESS), c.slices);
    EXPECT_EQ(rec.ints(NOTIFY_4D_LOADED), std::vector<int>{0});  // no failed slice
    EXPECT_EQ(o.image->getIdentifier(), "1,3");
    firstBytes = pixelBytes(o.image);
    const std::string raw = rawPathForCache(o.reader->cacheFileName);
    EXPECT_EQ(readAll(raw), firstBytes);
  }
  // Reopening reads the ".raw": complete at once, no loading thread, no
  // progress, the same bytes.
  Recorder rec({NOTIFY_LOADING_PROGRESS, NOTIFY_4D_LOADED});
  Opened again(folder, false);
  EXPECT_TRUE(again.reader->isLoadComplete());
  EXPECT_EQ(again.reader->loadingThread, nullptr);
  EXPECT_EQ(pixelBytes(again.image), firstBytes);
  expectGeneratorValues(again.image, v, c.slices);
  rec.drain();
  EXPECT_TRUE(rec.got.empty());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SeriesRoundTrip,
                         ::testing::Values(RoundTrip{"ct_ele", "volume", 4}, RoundTrip{"ct_jpll", "volume", 4},
                                           RoundTrip{"ct_rle", "volume", 4}, RoundTrip{"ct_s16", "volume", 4},
                                           RoundTrip{"ct_ffs_irregular", "series", 4},
                                           RoundTrip{"ct_hfp", "volume", 4}, RoundTrip{"mr_u16", "volume", 4},
                                           RoundTrip{"mr_mf5", "series", 1}, RoundTrip{"mono1", "volume", 4},
                                           RoundTrip{"grey8", "volume", 4}, RoundTrip{"rgb", "volume", 4},
                                           RoundTrip{"rgb_mf3", "series", 1}, RoundTrip{"pet", "volume", 4}),
                         [](const auto& info) { return std::string(info.param.variant); });

TEST(BinReader, NonDicomFilesAndCommasInNames) {
  const std::string folder = seriesFolder("mixed,names");
  dcmfixtures::Series s = dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_s16"), kW, kH, 3);
  fs::rename(s.files[1], folder + "slice,two.dcm");
  NSUI::writeStringToFile((folder + "notes.txt").c_str(), "not an image");
  Opened o(folder);
  ASSERT_EQ(o.image->slices.size(), 3u);
  ASSERT_TRUE(o.waitLoaded());
  std::lock_guard<std::recursive_mutex> lock(o.reader->dataMutex);
  expectGeneratorValues(o.image, *dcmfixtures::findVariant("ct_s16"), 3);
  EXPECT_EQ(o.image->slices[1]->filePath, folder + "slice,two.dcm");
}

TEST(BinReader, UndecodableSliceStillCompletesTheLoad) {
  const std::string folder = seriesFolder("undecodable");
  dcmfixtures::Series s = dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_s16"), kW, kH, 4);
  isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  // After the scan slice 2 is replaced by a file that no longer decodes and
  // slice 3 by an 8-bit image of another pixel type.
  std::string bytes = readAll(s.files[2]);
  bytes.resize(bytes.size() - 500);
  NSUI::writeBufferToFile(s.files[2].c_str(), bytes.data(), bytes.size());
  dcmfixtures::Variant g8 = *dcmfixtures::findVariant("grey8");
  dcmfixtures::Series other = dcmfixtures::writeSeries(folder + "tmp", g8, kW, kH, 1);
  fs::rename(other.files[0], s.files[3]);

  Recorder rec({NOTIFY_4D_LOADED});
  Opened o(folder, false);
  ASSERT_TRUE(o.waitLoaded());
  ASSERT_TRUE(pumpUntil([&] { return rec.count(NOTIFY_4D_LOADED) == 1; }));
  EXPECT_EQ(rec.ints(NOTIFY_4D_LOADED), std::vector<int>{2});
  std::vector<int32_t> failed = o.reader->getFailedSlices();
  std::sort(failed.begin(), failed.end());
  EXPECT_EQ(failed, (std::vector<int32_t>{2, 3}));
  std::lock_guard<std::recursive_mutex> lock(o.reader->dataMutex);
  for (int i : {2, 3}) {
    const SliceRecord* slice = o.slice(i);
    const auto* p = static_cast<const int16_t*>(slice->pixels);
    EXPECT_TRUE(std::all_of(p, p + kW * kH, [](int16_t x) { return x == 0; }));
  }
  // No ".raw" from an incomplete load: the next opening decodes again.
  EXPECT_FALSE(fs::exists(rawPathForCache(o.reader->cacheFileName)));
}

TEST(BinReader, UnwritablePixelCacheStillCompletesTheLoad) {
  const std::string folder = seriesFolder("unwritable");
  dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_s16"), kW, kH, 3);
  isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  // A folder where the ".raw" belongs: the pixel cache cannot be stored.
  const std::string raw = rawPathForCache(isDcmScan::getCacheFileName(folder));
  fs::create_directories(raw);
  Recorder rec({NOTIFY_4D_LOADED});
  Opened o(folder, false);
  ASSERT_TRUE(o.waitLoaded());
  ASSERT_TRUE(pumpUntil([&] { return rec.count(NOTIFY_4D_LOADED) == 1; }));
  EXPECT_EQ(rec.ints(NOTIFY_4D_LOADED), std::vector<int>{0});
  EXPECT_TRUE(fs::is_directory(raw));
  for (const auto& entry : fs::directory_iterator(getCacheFolder()))
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

TEST(BinReader, BadRawFilesAreNotTrusted) {
  const std::string folder = seriesFolder("badraw");
  const dcmfixtures::Variant& v = *dcmfixtures::findVariant("ct_s16");
  dcmfixtures::writeSeries(folder, v, kW, kH, 3);
  std::string raw;
  {
    Opened o(folder);
    ASSERT_TRUE(o.waitLoaded());
    raw = rawPathForCache(o.reader->cacheFileName);
    ASSERT_TRUE(pumpUntil([&] { return fs::exists(raw); }));
  }
  const std::string good = readAll(raw);
  for (const std::string& bad : {good.substr(0, good.size() - 2), good + "xx"}) {
    NSUI::writeBufferToFile(raw.c_str(), bad.data(), bad.size());
    Opened o(folder, false);
    EXPECT_NE(o.reader->loadingThread, nullptr);  // decoding again
    ASSERT_TRUE(o.waitLoaded());
    {
      std::lock_guard<std::recursive_mutex> lock(o.reader->dataMutex);
      expectGeneratorValues(o.image, v, 3);
    }
    // The bad file was replaced by a good one once the load completed.
    ASSERT_TRUE(pumpUntil([&] { return readAll(raw) == good; }));
  }
}

TEST(BinReader, InconsistentCacheFilesAreDeleted) {
  const std::string folder = seriesFolder("inconsistent");
  dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_ffs_irregular"), kW, kH, 3);
  isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  const std::string path = isDcmScan::getCacheFileName(folder);
  const std::string good = readAll(path);
  // A name list with one name fewer than records; a cut record.
  std::string fewer = good.substr(0, good.rfind('\0'));
  const int32_t length = static_cast<int32_t>(fewer.size() - (68 + 3 * 712 + 16));
  std::memcpy(&fewer[68 + 3 * 712], &length, 4);
  for (const std::string& bad : {fewer, good.substr(0, 68 + 712 + 100)}) {
    NSUI::writeBufferToFile(path.c_str(), bad.data(), bad.size());
    isBinReader* r = isBinReader::create();
    EXPECT_TRUE(r->setFileName(folder, path));
    EXPECT_TRUE(r->hasValidFile());
    r->getOutputImage()->update();
    EXPECT_TRUE(r->getOutputImage()->slices.empty());
    EXPECT_FALSE(fs::exists(path));
    r->release();
  }
  // Wrong magic: opened, but not a valid file.
  std::string wrong = good;
  wrong[0] = 'X';
  NSUI::writeBufferToFile(path.c_str(), wrong.data(), wrong.size());
  isBinReader* r = isBinReader::create();
  EXPECT_TRUE(r->setFileName(folder, path));
  EXPECT_FALSE(r->hasValidFile());
  EXPECT_FALSE(r->setFileName(folder, writable() + "no-such.prebin"));
  r->release();
}

TEST(BinReader, PriorityOrderOutwardFromTarget) {
  const std::string folder = seriesFolder("priority");
  dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_s16"), kW, kH, 10);
  isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  isBinReader* r = isBinReader::create();
  ASSERT_TRUE(r->setFileName(folder, isDcmScan::getCacheFileName(folder)));
  r->getOutputImage()->updateInformation();
  ASSERT_EQ(r->getOutputImage()->slices.size(), 10u);
  // A worker that is busy with a blocker request keeps the ten requests
  // pending while the queue is reordered.
  struct Thread : dcmLoadingThread {
    std::atomic<bool> go{false};
    std::atomic<bool> inside{false};
    void processRequest(NSUI::NSThreadRequest* q) override {
      if (q->text == "block") {
        inside = true;
        while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return;
      }
      dcmLoadingThread::processRequest(q);
    }
  };
  auto* thread = new Thread();
  auto* blocker = new NSUI::NSThreadRequest();
  blocker->text = "block";
  thread->addRequest(blocker);
  blocker->release();
  while (!thread->inside) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  r->loadingThread = thread;
  // Queue the batch the way execute does, without the raw shortcut.
  isImageData* image = r->getOutputImage();
  for (size_t i = 0; i < image->slices.size(); ++i) {
    auto* q = new loadingRequest();
    q->text = image->slices[i]->filePath;
    q->key = static_cast<int>(foldedHash(q->text));
    q->index = static_cast<int32_t>(i);
    thread->addRequest(q);
    q->release();
  }
  int waiter = 0;
  r->prioritizeImage(&waiter, image->slices[4]->filePath);
  EXPECT_EQ(thread->pendingIndexes(), (std::vector<int32_t>{4, 3, 5, 2, 6, 1, 7, 0, 8, 9}));
  thread->prioritizeRequest(12345);  // no such key: descending order
  EXPECT_EQ(thread->pendingIndexes(), (std::vector<int32_t>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
  thread->cancelAllRequests();
  thread->go = true;
  r->release();  // stops the thread
}

TEST(BinReader, WaitersAreToldWhenTheirSliceArrives) {
  const std::string folder = seriesFolder("waiters");
  dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_jpll"), 256, 256, 24);
  isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  fs::remove(rawPathForCache(isDcmScan::getCacheFileName(folder)));
  int viewerA = 0, viewerB = 0;
  Recorder a({NOTIFY_SLICE_ARRIVED}, &viewerA), b({NOTIFY_SLICE_ARRIVED}, &viewerB);
  Opened o(folder, false);
  const std::string path = o.image->slices[17]->filePath;
  o.reader->prioritizeImage(&viewerA, path);
  o.reader->prioritizeImage(&viewerB, path);
  o.reader->prioritizeImage(&viewerB, path);  // the same pair once
  ASSERT_TRUE(o.waitLoaded());
  ASSERT_TRUE(pumpUntil([&] { return a.count(NOTIFY_SLICE_ARRIVED) == 1 && b.count(NOTIFY_SLICE_ARRIVED) == 1; }));
  a.drain();
  EXPECT_EQ(a.count(NOTIFY_SLICE_ARRIVED), 1);
  EXPECT_EQ(b.count(NOTIFY_SLICE_ARRIVED), 1);
  EXPECT_EQ(a.got[0].indexValue, static_cast<int>(foldedHash(path)));
  EXPECT_EQ(a.got[0].sender, o.reader);
  // Asking for a slice that is already there answers at once.
  int viewerC = 0;
  Recorder c({NOTIFY_SLICE_ARRIVED}, &viewerC);
  o.reader->prioritizeImage(&viewerC, o.image->slices[3]->filePath);
  c.drain();
  EXPECT_EQ(c.count(NOTIFY_SLICE_ARRIVED), 1);
}

// Run under ThreadSanitizer and AddressSanitizer: the UI thread prioritises,
// switches series and destroys readers while their loading threads store
// pixels.
TEST(BinReader, ConcurrencyWhileLoading) {
  const std::string one = seriesFolder("conc/one"), two = seriesFolder("conc/two");
  dcmfixtures::writeSeries(one, *dcmfixtures::findVariant("ct_jpll"), 128, 128, 40);
  dcmfixtures::writeSeries(two, *dcmfixtures::findVariant("mr_u16"), 96, 64, 30);
  {
    isDcmScan scan;
    ASSERT_TRUE(scan.createCache(one));
    ASSERT_TRUE(scan.createCache(two));
  }
  const std::string cacheOne = isDcmScan::getCacheFileName(one), cacheTwo = isDcmScan::getCacheFileName(two);
  auto dropRaw = [&] {
    fs::remove(rawPathForCache(cacheOne));
    fs::remove(rawPathForCache(cacheTwo));
  };
  int viewer = 0;
  for (int round = 0; round < 6; ++round) {
    dropRaw();
    // Destroy mid-load, with priorities moving.
    {
      Opened o(one, false);
      for (int k = 0; k < 10; ++k) {
        o.reader->prioritizeImage(&viewer, o.image->slices[(k * 7 + round) % 40]->filePath);
        std::this_thread::sleep_for(std::chrono::microseconds(300 * round));
        stepFrame();
      }
    }
    // Switch series mid-load, then let the second one finish.
    {
      Opened o(one, false);
      std::this_thread::sleep_for(std::chrono::milliseconds(round));
      o.reader->prioritizeImage(&viewer, o.image->slices[20]->filePath);
      ASSERT_TRUE(o.reader->setFileName(two, cacheTwo));
      o.image->update();
      ASSERT_EQ(o.image->slices.size(), 30u);
      ASSERT_TRUE(o.waitLoaded());
      std::lock_guard<std::recursive_mutex> lock(o.reader->dataMutex);
      expectGeneratorValues(o.image, *dcmfixtures::findVariant("mr_u16"), 30);
    }
  }
}
