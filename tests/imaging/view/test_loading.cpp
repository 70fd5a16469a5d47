// Loading order with the real reader: a far slice chosen while a 200-slice
// series loads arrives first, redraws itself, and the overlay hears the
// progress. Run under ThreadSanitizer too: the reader's thread stores pixels
// while the window pulls its slice.
#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/series_fixtures.h"
#include "test_window.h"
#include "view_support.h"

using namespace viewtest;
using isImageSDK::foldedHash;

namespace {

TEST(Loading, FarSliceFirstRedrawnAndProgressRelayed) {
  HeadlessEngine engine;
  const std::string folder = seriestest::seriesFolder("view-loading");
  dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_jpll"), 128, 128, 200);
  isImageSDK::isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  std::filesystem::remove(isImageSDK::rawPathForCache(isImageSDK::isDcmScan::getCacheFileName(folder)));
  isImageSDK::isBinReader* reader = isImageSDK::isBinReader::create();
  ASSERT_TRUE(reader->setFileName(folder, isImageSDK::isDcmScan::getCacheFileName(folder)));
  isImageSDK::isImageData* image = reader->getOutputImage();
  image->updateInformation();
  ASSERT_EQ(image->slices.size(), 200u);

  auto* window = TestWindow::create(cocos2d::Size(256, 256));
  engine.scene->addChild(window);
  Recorder progress;
  progress.listen({NOTIFY_OVERLAY_LOAD_PROGRESS}, window);
  window->setImageData(image);
  isImageSDK::isActorImage* actor = window->getActorManager()->getImageActor();
  Recorder arrived;
  arrived.listen({NOTIFY_SLICE_ARRIVED}, actor);
  actor->setImageData(image);
  // Far from where the loading thread starts.
  actor->setSliceIndex(190);
  const std::string far = actor->getOutputSliceInfo()->filePath;

  int loadedWhenArrived = -1;
  ASSERT_TRUE(seriestest::pumpUntil([&] {
    for (const auto& r : arrived.got)
      if (r.indexValue == static_cast<int>(foldedHash(far))) {
        if (loadedWhenArrived < 0) loadedWhenArrived = reader->getLoadedCount();
        return true;
      }
    return false;
  }));
  EXPECT_LT(loadedWhenArrived, 150) << "the far slice came late";

  // Without further input the next frames show the arrived pixels.
  ASSERT_TRUE(seriestest::pumpUntil([&] {
    isImageSDK::isNodeImage* node = actor->getImageNode();
    return node->getScaleX() > 0.5f && node->getSliceRecord() && node->getSliceRecord()->pixelsLoaded;
  }));
  const auto& pixels = actor->getImageNode()->getTexture()->getCpuPixels();
  ASSERT_EQ(pixels.size(), 128u * 128u * 3u);
  int nonBlack = 0;
  for (size_t i = 0; i < pixels.size(); i += 3) nonBlack += pixels[i] != 0;
  EXPECT_GT(nonBlack, 0);

  ASSERT_TRUE(seriestest::pumpUntil([&] { return reader->isLoadComplete(); }));
  seriestest::stepFrame();
  seriestest::stepFrame();
  ASSERT_FALSE(progress.got.empty());
  for (const auto& r : progress.got) {
    EXPECT_EQ(r.indexValue, static_cast<int>(foldedHash(image->getIdentifier())));
    EXPECT_GT(r.floatValue, 0.0f);
    EXPECT_LE(r.floatValue, 1.0f);
  }
  window->removeFromParent();
  seriestest::stepFrame();
  reader->release();
}

}  // namespace
