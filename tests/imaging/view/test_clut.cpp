// Colour lookup table: window curves, value ranges, the window posts.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/core/isImageTypes.h"
#include "imaging/view/isClut.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "view_support.h"

using isImageSDK::isClut;
using namespace viewtest;

namespace {

class ClutTest : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  isClut* clut = nullptr;
  void SetUp() override {
    clut = isClut::create();
    clut->retain();
  }
  void TearDown() override { clut->release(); }
  int grey(int value) { return clut->mapInteger(value); }
};

TEST_F(ClutTest, NewTableIsTheIdentityOnBytesAndAGreyRamp) {
  for (int v : {0, 1, 127, 128, 254, 255}) EXPECT_EQ(grey(v), v);
  uint8_t rgb[768];
  clut->getColorTableRGB(rgb);
  for (int g : {0, 100, 255}) {
    EXPECT_EQ(rgb[3 * g], g);
    EXPECT_EQ(rgb[3 * g + 1], g);
    EXPECT_EQ(rgb[3 * g + 2], g);
    EXPECT_EQ(clut->colorTable[g] & 0xffu, 255u);
  }
}

struct RampCase {
  int type;
  int width, centre;
  int value;
  int expected;
};

TEST_F(ClutTest, LinearWindowsIncludingThoseThatReachPastTheRange) {
  const RampCase cases[] = {
      {isImageSDK::ELEMENT_UINT8, 100, 50, 0, 0},
      {isImageSDK::ELEMENT_UINT8, 100, 50, 50, 127},
      {isImageSDK::ELEMENT_UINT8, 100, 50, 100, 255},
      {isImageSDK::ELEMENT_UINT8, 100, 50, 255, 255},
      {isImageSDK::ELEMENT_INT16, 400, 40, -160, 0},
      {isImageSDK::ELEMENT_INT16, 400, 40, 240, 255},
      {isImageSDK::ELEMENT_INT16, 400, 40, 40, 127},
      {isImageSDK::ELEMENT_INT16, 400, 40, -32768, 0},
      {isImageSDK::ELEMENT_INT16, 400, 40, 32767, 255},
      // The window names its ramp even where it leaves the value range.
      {isImageSDK::ELEMENT_UINT16, 400, 100, 100, 127},
      {isImageSDK::ELEMENT_UINT16, 400, 100, 0, 63},
      {isImageSDK::ELEMENT_UINT8, 200, 0, 0, 127},
      {isImageSDK::ELEMENT_UINT8, 200, 255, 255, 127},
      {isImageSDK::ELEMENT_INT16, 1000, 32500, 32767, 195},
      // A window past the whole range: every value below its lower edge.
      {isImageSDK::ELEMENT_UINT8, 100, 1000, 255, 0},
      {isImageSDK::ELEMENT_UINT8, 100, -1000, 0, 255},
      // Width 0 is one value step wide.
      {isImageSDK::ELEMENT_UINT8, 0, 100, 99, 0},
      {isImageSDK::ELEMENT_UINT8, 0, 100, 101, 255},
  };
  for (const auto& c : cases) {
    clut->setValueType(c.type);
    clut->setWindowInt(c.width, c.centre);
    EXPECT_EQ(grey(c.value), c.expected) << "type " << c.type << " window " << c.width << "/" << c.centre
                                         << " value " << c.value;
  }
  clut->setValueType(isImageSDK::ELEMENT_INT16);
  clut->setWindowInt(400, 40);
  EXPECT_EQ(clut->lookupTable[32608], 0);
  EXPECT_EQ(clut->lookupSize, 65536);
}

TEST_F(ClutTest, LogCurvesOverNineSteps) {
  clut->setValueType(isImageSDK::ELEMENT_UINT8);
  clut->curveMode = isImageSDK::CLUT_MODE_LOG;
  clut->setWindowInt(9, 104);  // lo 99, hi 108
  clut->lookupDirty = true;
  clut->updateLookupTable();
  const int expected[10] = {0, 76, 121, 153, 178, 198, 215, 230, 243, 255};
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(grey(99 + i), expected[i], i == 9 ? 1 : 0) << i;
  EXPECT_EQ(grey(98), 0);
  EXPECT_EQ(grey(109), 255);

  clut->curveMode = isImageSDK::CLUT_MODE_INVERSE_LOG;
  clut->lookupDirty = true;
  clut->updateLookupTable();
  for (int j = 0; j < 10; ++j) {
    const int mirrored = 255 - expected[9 - j];
    EXPECT_NEAR(grey(99 + j), mirrored, 1) << j;
  }
  EXPECT_EQ(grey(99), 0);
}

TEST_F(ClutTest, FloatWindowsFollowTheCurveAndWidthZeroIsAStep) {
  clut->setValueType(isImageSDK::ELEMENT_FLOAT);
  clut->setWindow(2.0f, 1.0f);
  EXPECT_EQ(clut->mapFloat(0.0f), 0);
  EXPECT_EQ(clut->mapFloat(1.0f), 127);
  EXPECT_EQ(clut->mapFloat(2.0f), 255);
  EXPECT_EQ(clut->mapFloat(-5.0f), 0);
  EXPECT_EQ(clut->mapFloat(NAN), 0);
  clut->setWindow(0.0f, 3.5f);
  EXPECT_EQ(clut->mapFloat(3.4999f), 0);
  EXPECT_EQ(clut->mapFloat(3.5f), 255);
  EXPECT_EQ(clut->mapFloat(1e30f), 255);
  clut->curveMode = isImageSDK::CLUT_MODE_LOG;
  EXPECT_EQ(clut->mapFloat(3.6f), 255);
  clut->setWindow(9.0f, 4.5f);
  EXPECT_EQ(clut->mapFloat(1.0f), 76);
}

TEST_F(ClutTest, WindowPostsTheirFormatsAndWithdrawOnlyForFloat) {
  Recorder rec;
  rec.listen({NOTIFY_OVERLAY_WINDOW}, nullptr);
  clut->setValueType(isImageSDK::ELEMENT_INT16);
  clut->lookupDirty = false;
  clut->eagerRebuild = false;
  clut->setWindowInt(400, 40);
  EXPECT_TRUE(clut->lookupDirty);
  clut->lookupDirty = false;
  clut->setWindowInt(400, 40);
  EXPECT_FALSE(clut->lookupDirty);  // the same window marks nothing
  clut->setWindow(400.7f, 40.9f);
  EXPECT_EQ(clut->windowWidth, 400.0f);
  EXPECT_EQ(clut->windowCentre, 40.0f);
  clut->setWindow(-12.9f, -3.2f);
  stepFrames(6);
  auto got = rec.of(NOTIFY_OVERLAY_WINDOW);
  ASSERT_EQ(got.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rec.json(got[i], "ww"), "400");
    EXPECT_EQ(rec.json(got[i], "wl"), "40");
    EXPECT_EQ(got[i].sender, clut);
  }
  EXPECT_EQ(rec.json(got[3], "ww"), "-12");
  EXPECT_EQ(rec.json(got[3], "wl"), "-3");
  // Serial kind: one per frame.
  EXPECT_LT(got[0].frame, got[1].frame);

  rec.got.clear();
  clut->setValueType(isImageSDK::ELEMENT_FLOAT);
  clut->setWindow(100.0f, 10.0f);
  clut->setWindow(400.7f, 40.9f);
  EXPECT_FLOAT_EQ(clut->windowWidth, 400.7f);
  EXPECT_FLOAT_EQ(clut->windowCentre, 40.9f);
  stepFrames(4);
  got = rec.of(NOTIFY_OVERLAY_WINDOW);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(rec.json(got[0], "ww"), "400.7");
  EXPECT_EQ(rec.json(got[0], "wl"), "40.9");
}

TEST_F(ClutTest, WindowPostGoesToTheNotificationObject) {
  struct Window : cocos2d::Ref {};
  cocos2d::Ref* window = new Window();
  Recorder onWindow, onBroadcast;
  onWindow.listen({NOTIFY_OVERLAY_WINDOW}, window);
  onBroadcast.listen({NOTIFY_OVERLAY_WINDOW}, nullptr);
  clut->notificationObject = window;
  clut->setWindowInt(10, 20);
  stepFrames(3);
  EXPECT_EQ(onWindow.of(NOTIFY_OVERLAY_WINDOW).size(), 1u);
  EXPECT_TRUE(onBroadcast.got.empty());
  window->release();
}

}  // namespace
