// Image node: pixels not ready, frames of a multi-frame record and the cine.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/view/isNodeImage.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "view_support.h"

using isImageSDK::isNodeImage;
using isImageSDK::SliceRecord;
using namespace viewtest;

namespace {

class ImageNodeTest : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  BaseWindow* window = nullptr;
  isNodeImage* node = nullptr;
  Recorder rec;
  std::vector<uint8_t> rgbFrames;
  SliceRecord record;
  struct Poster : cocos2d::Ref {};
  Poster* poster = new Poster();

  void SetUp() override {
    window = BaseWindow::create(cocos2d::Size(64, 64));
    engine.scene->addChild(window);
    node = isNodeImage::create();
    node->setClut(isImageSDK::isClut::create());
    window->addSceneNode(node);
    node->setNotificationSender(window);
    rec.listen({NOTIFY_CINE_STATE, NOTIFY_CINE_VISIBLE_9050, NOTIFY_CINE_VISIBLE_9051, NOTIFY_CINE_VISIBLE_9052}, window);
    stepFrames(1);
  }
  void TearDown() override {
    record.pixels = nullptr;  // the test owns the bytes
    poster->release();
  }

  // Three 2 × 2 RGB frames, each one plain colour: frame k has red 10 + k.
  void useRgbRecord(int frames) {
    rgbFrames.assign(static_cast<size_t>(frames) * 4 * 3, 0);
    for (int k = 0; k < frames; ++k)
      for (int i = 0; i < 4; ++i) rgbFrames[(k * 4 + i) * 3] = static_cast<uint8_t>(10 + k);
    record.pixels = rgbFrames.data();
    record.width = 2;
    record.height = 2;
    record.frameCount = static_cast<int16_t>(frames);
    record.elementType = isImageSDK::ELEMENT_RGB;
    record.pixelsLoaded = true;
    node->setSliceRecord(&record);
  }
  int shownFrame() { return node->getTexture()->getCpuPixels()[0] - 10; }
  void post(int id) {
    NSUI::NSNotificationCenter::getInstance()->postNotification(poster, id, nullptr, window, true);
    stepFrames(1);  // delivered
    stepFrames(1);  // what the node posted in reply
  }
};

TEST_F(ImageNodeTest, StoppedCineStepsFramesBothWays) {
  useRgbRecord(3);
  stepFrames(1);
  ASSERT_EQ(shownFrame(), 0);
  std::vector<int> shown;
  for (int i = 0; i < 3; ++i) {
    post(NOTIFY_CINE_NEXT);
    shown.push_back(node->getFrameIndex());
    EXPECT_EQ(shownFrame(), node->getFrameIndex());
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 0}));
  post(NOTIFY_CINE_PRIOR);
  EXPECT_EQ(node->getFrameIndex(), 2);
  EXPECT_EQ(shownFrame(), 2);
  // The cine buttons were told the record has frames.
  for (int id : {NOTIFY_CINE_VISIBLE_9050, NOTIFY_CINE_VISIBLE_9051, NOTIFY_CINE_VISIBLE_9052}) {
    ASSERT_FALSE(rec.of(id).empty());
    EXPECT_EQ(rec.of(id).back().intValue, 1);
  }
}

TEST_F(ImageNodeTest, PlayingCineChangesSpeedWithinItsBounds) {
  useRgbRecord(3);
  post(NOTIFY_CINE_TOGGLE);
  ASSERT_TRUE(node->isCinePlaying());
  ASSERT_FALSE(rec.of(NOTIFY_CINE_STATE).empty());
  EXPECT_EQ(rec.of(NOTIFY_CINE_STATE).back().intValue, 1);
  for (int i = 0; i < 6; ++i) post(NOTIFY_CINE_NEXT);
  EXPECT_EQ(node->getCineInterval(), 5);
  for (int i = 0; i < 4; ++i) post(NOTIFY_CINE_PRIOR);
  EXPECT_EQ(node->getCineInterval(), 85);
  for (int i = 0; i < 4; ++i) post(NOTIFY_CINE_PRIOR);
  EXPECT_EQ(node->getCineInterval(), 120);
  post(NOTIFY_CINE_TOGGLE);
  EXPECT_FALSE(node->isCinePlaying());
  EXPECT_EQ(rec.of(NOTIFY_CINE_STATE).back().intValue, 0);
}

TEST_F(ImageNodeTest, PlayingAdvancesAtMostOncePerFrameAndAWindowChangeKeepsTheFrame) {
  useRgbRecord(3);
  post(NOTIFY_CINE_TOGGLE);
  for (int i = 0; i < 3; ++i) post(NOTIFY_CINE_NEXT);  // interval 5
  ASSERT_EQ(node->getCineInterval(), 5);
  std::vector<int> frames;
  for (int i = 0; i < 40; ++i) {
    stepFrames(1);
    frames.push_back(node->getFrameIndex());
  }
  int changes = 0;
  for (size_t i = 1; i < frames.size(); ++i) changes += frames[i] != frames[i - 1];
  EXPECT_GE(changes, 5);
  EXPECT_LE(changes, 9);
  // Step until a frame other than 0 shows, then change the window.
  for (int i = 0; i < 20 && node->getFrameIndex() == 0; ++i) stepFrames(1);
  const int before = node->getFrameIndex();
  ASSERT_NE(before, 0);
  node->markWindowDirty();
  stepFrames(1);
  EXPECT_TRUE(node->isCinePlaying());
  EXPECT_NE(node->getFrameIndex(), 0);
  EXPECT_EQ(shownFrame(), node->getFrameIndex());
  // A new record stops the cine and starts from frame 0.
  rec.got.clear();
  node->setSliceRecord(&record);
  stepFrames(1);
  EXPECT_FALSE(node->isCinePlaying());
  EXPECT_EQ(node->getFrameIndex(), 0);
  ASSERT_FALSE(rec.of(NOTIFY_CINE_STATE).empty());
  EXPECT_EQ(rec.of(NOTIFY_CINE_STATE).back().intValue, 0);
}

TEST_F(ImageNodeTest, OneFrameRecordCannotPlay) {
  useRgbRecord(1);
  post(NOTIFY_CINE_TOGGLE);
  EXPECT_FALSE(node->isCinePlaying());
  ASSERT_FALSE(rec.of(NOTIFY_CINE_STATE).empty());
  EXPECT_EQ(rec.of(NOTIFY_CINE_STATE).back().intValue, 0);
  EXPECT_EQ(rec.of(NOTIFY_CINE_VISIBLE_9050).back().intValue, 0);
}

TEST_F(ImageNodeTest, PixelsNotReadyShrinkTheNodeAndMapToTheModalityFill) {
  struct Case {
    int elementType;
    int modality;
    uint8_t fill;
  };
  std::vector<uint8_t> bytes(4 * 4 * 4, 200);
  for (const Case& c : {Case{isImageSDK::ELEMENT_INT16, isImageSDK::MODALITY_CT, 0},
                        Case{isImageSDK::ELEMENT_INT16, isImageSDK::MODALITY_PT, 255},
                        Case{isImageSDK::ELEMENT_FLOAT, isImageSDK::MODALITY_NM, 255},
                        Case{isImageSDK::ELEMENT_RGB, isImageSDK::MODALITY_OTHER, 0}}) {
    record.pixels = bytes.data();
    record.width = 4;
    record.height = 4;
    record.frameCount = 1;
    record.elementType = c.elementType;
    record.modality = c.modality;
    record.pixelsLoaded = false;
    rec.got.clear();
    node->setSliceRecord(&record);
    EXPECT_FLOAT_EQ(node->getScaleX(), 0.0001f);
    stepFrames(1);
    EXPECT_EQ(rec.of(NOTIFY_CINE_VISIBLE_9050).size(), 1u);
    node->refreshTexture();
    const auto& px = node->getTexture()->getCpuPixels();
    ASSERT_EQ(px.size(), 48u);
    EXPECT_EQ(px[0], c.fill) << c.elementType << " " << c.modality;
    EXPECT_EQ(px[47], c.fill);
  }
}

TEST_F(ImageNodeTest, RepeatedSenderRegistersOnce) {
  node->setNotificationSender(window);
  node->setNotificationSender(window);
  useRgbRecord(3);
  post(NOTIFY_CINE_NEXT);
  EXPECT_EQ(node->getFrameIndex(), 1);
}

}  // namespace
