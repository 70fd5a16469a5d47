// Cine buttons over a render window: which ids each binding observes and
// posts, the play/pause swap, showing and hiding with the data state, and
// the button size against its picture, headless.
#include <gtest/gtest.h>

#include <string>

#include "imaging/view/isNodeOverlay.h"
#include "test_window.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "view_support.h"

using namespace viewtest;
using isImageSDK::isNodeOverlaySprite;

namespace {

class OverlayButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = TestWindow::create(cocos2d::Size(300, 300));
    engine.scene->addChild(window);
    button = isNodeOverlaySprite::create();
    button->setRenderWindow(window);
    window->addChild(button);
    button->setPosition(cocos2d::Vec2(200, 100));
  }
  void postInt(int id, int value) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationInt(nullptr, id, value, window, false);
    stepFrames(2);
  }
  // A tap at the middle of what the button reports as its size.
  void tap() {
    const cocos2d::Size s = button->getContentSize();
    const cocos2d::Vec2 p = button->convertToWorldSpace(cocos2d::Vec2(s.width / 2, s.height / 2));
    auto* touch = new cocos2d::Touch();
    touch->setTouchInfo(0, p.x, p.y);
    button->onTouchBegan(touch, nullptr);
    touch->release();
    stepFrames(2);
  }

  HeadlessEngine engine;
  TestWindow* window = nullptr;
  isNodeOverlaySprite* button = nullptr;
};

TEST_F(OverlayButtonTest, BindingsObserveAndPostTheirIds) {
  struct Case {
    int bind;
    int storedId;
    int visibilityId;  // 0: none observed
    int posted;        // 0: nothing posted
  };
  const Case cases[] = {
      {NOTIFY_CINE_STATE, NOTIFY_CINE_STATE, NOTIFY_CINE_VISIBLE_9050, NOTIFY_CINE_TOGGLE},
      {NOTIFY_CINE_PRIOR, NOTIFY_CINE_PRIOR, NOTIFY_CINE_VISIBLE_9051, NOTIFY_CINE_PRIOR},
      {NOTIFY_CINE_NEXT, NOTIFY_CINE_NEXT, NOTIFY_CINE_VISIBLE_9052, NOTIFY_CINE_NEXT},
      {9000, NOTIFY_OVERLAY_STATIC, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bind);
    button = isNodeOverlaySprite::create();
    button->setRenderWindow(window);
    window->addChild(button);
    button->setPosition(cocos2d::Vec2(200, 100));
    button->bindNotification("imageSDK/play.png", "imageSDK/play.png", c.bind);
    button->setButtonSize(24);
    EXPECT_EQ(button->notificationId, c.storedId);
    for (int v : {NOTIFY_CINE_VISIBLE_9050, NOTIFY_CINE_VISIBLE_9051, NOTIFY_CINE_VISIBLE_9052}) {
      postInt(v, 0);
      EXPECT_EQ(button->isVisible(), v != c.visibilityId) << v;
      postInt(v, 1);
      EXPECT_TRUE(button->isVisible());
    }
    Recorder rec;
    rec.listen({NOTIFY_CINE_TOGGLE, NOTIFY_CINE_PRIOR, NOTIFY_CINE_NEXT}, window);
    tap();
    if (c.posted) {
      ASSERT_EQ(rec.got.size(), 1u);
      EXPECT_EQ(rec.got[0].id, static_cast<unsigned>(c.posted));
      EXPECT_EQ(rec.got[0].sender, button);
    } else {
      EXPECT_TRUE(rec.got.empty());
    }
    button->removeFromParent();
  }
}

TEST_F(OverlayButtonTest, PlayPauseSwapAndRebindingKeepsTheOldId) {
  button->bindNotification("imageSDK/play.png", "imageSDK/play.png", NOTIFY_CINE_STATE);
  EXPECT_EQ(button->getImageHeight(), 48);
  postInt(NOTIFY_CINE_STATE, 1);
  EXPECT_EQ(button->getImageHeight(), 48);
  // Rebound with an id it does not know: stays a play button without
  // observers.
  button->bindNotification("imageSDK/play.png", "imageSDK/play.png", 9000);
  EXPECT_EQ(button->notificationId, NOTIFY_CINE_STATE);
  postInt(NOTIFY_CINE_VISIBLE_9050, 0);
  EXPECT_TRUE(button->isVisible());
  button->setButtonSize(24);
  Recorder rec;
  rec.listen({NOTIFY_CINE_TOGGLE}, window);
  tap();
  EXPECT_EQ(rec.got.size(), 1u);
}

TEST_F(OverlayButtonTest, SizeFollowsTheRowHeight) {
  button->bindNotification("imageSDK/play.png", "imageSDK/play.png", NOTIFY_CINE_STATE);
  button->setButtonSize(24);
  EXPECT_FLOAT_EQ(button->getScale(), 0.4f);
  EXPECT_EQ(button->getContentSize(), cocos2d::Size(36, 24));
  EXPECT_EQ(button->getButtonSize(), 24);
}

}  // namespace
