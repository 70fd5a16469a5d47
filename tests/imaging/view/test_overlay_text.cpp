// Overlay texts: what each bound id shows, the hiding rules of the slice
// number and the loading percentage, static fields and rebinding, headless.
#include <gtest/gtest.h>

#include <string>

#include "imaging/view/isNodeOverlay.h"
#include "test_window.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "view_support.h"

using namespace viewtest;
using isImageSDK::isNodeOverlayText;

namespace {

class OverlayTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = TestWindow::create(cocos2d::Size(200, 200));
    engine.scene->addChild(window);
    text = isNodeOverlayText::create();
    text->setRenderWindow(window);
    window->addChild(text);
  }
  void postText(int id, const std::string& payload, void* object = nullptr) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, id, payload, object ? object : window,
                                                                    false);
    stepFrames(2);
  }
  void postFloat(int id, float value) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationFloat(nullptr, id, value, window, false);
    stepFrames(2);
  }

  HeadlessEngine engine;
  TestWindow* window = nullptr;
  isNodeOverlayText* text = nullptr;
};

TEST_F(OverlayTextTest, EachIdShowsItsFormatBetweenPrefixAndSuffix) {
  struct Case {
    int id;
    bool isFloat;
    std::string payload;
    float value;
    std::string shown;
  };
  const Case cases[] = {
      {9071, false, R"({"x":1.26,"y":-3,"z":"2.04"})", 0, "<x:1.3,y:-3.0,z:2.0 >"},
      {9071, false, R"({"x":5})", 0, "<x:5.0,y:0.0,z:0.0 >"},
      {9072, false, R"({"ww":"400","wl":"40"})", 0, "<400 40 >"},
      {9073, false, R"({"index":"12","count":"200"})", 0, "<12/200 >"},
      {9074, false, "AXIAL", 0, "<AXIAL>"},
      {9077, false, "Z: -12.5 mm", 0, "<Z: -12.5 mm>"},
      {9078, true, "", 2.345f, "<2.35>"},
      {9111, true, "", 0.5f, "<(50%) >"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    text->bindNotification("-", "<", ">", c.id, false);
    EXPECT_EQ(text->getString(), "<->");
    if (c.isFloat)
      postFloat(c.id, c.value);
    else
      postText(c.id, c.payload);
    EXPECT_EQ(text->getString(), c.shown);
    EXPECT_TRUE(text->isVisible());
  }
}

TEST_F(OverlayTextTest, SliceNumberAndLoadingHideAndShow) {
  text->bindNotification("", "", "", 9073, false);
  postText(9073, R"({"index":"3","count":"10"})");
  postText(9073, R"({"index":-1,"count":0})");
  EXPECT_FALSE(text->isVisible());
  EXPECT_EQ(text->getString(), "3/10 ");  // keeps its text while hidden
  postText(9073, R"({"index":"0","count":"1"})");
  EXPECT_TRUE(text->isVisible());
  EXPECT_EQ(text->getString(), "0/1 ");

  text->bindNotification("", "", "", 9111, false);
  postFloat(9111, 1.0f);
  EXPECT_FALSE(text->isVisible());
  EXPECT_EQ(text->getString(), "");
  postFloat(9111, 0.25f);
  EXPECT_FALSE(text->isVisible());  // a hidden percentage stays hidden
  EXPECT_EQ(text->getString(), "(25%) ");
}

TEST_F(OverlayTextTest, StaticFieldsOtherWindowsAndRebinding) {
  // A patient field observes nothing; only showValue changes it.
  text->bindNotification("DOE^JOHN", "", "", 9081, false);
  postText(9081, "OTHER");
  EXPECT_EQ(text->getString(), "DOE^JOHN");
  text->showValue("ROE^JANE");
  EXPECT_EQ(text->getString(), "ROE^JANE");
  EXPECT_EQ(text->getValue(), "DOE^JOHN");

  // Another window's notification does not reach it.
  auto* other = TestWindow::create(cocos2d::Size(100, 100));
  engine.scene->addChild(other);
  text->bindNotification("", "", "", 9074, false);
  postText(9074, "CORONAL", other);
  EXPECT_EQ(text->getString(), "");

  // Rebinding drops the old observer.
  text->bindNotification("", "", "", 9077, false);
  postText(9074, "AXIAL");
  EXPECT_EQ(text->getString(), "");
  postText(9077, "12 mm");
  EXPECT_EQ(text->getString(), "12 mm");

  // Removal from the scene unbinds.
  text->retain();
  text->removeFromParent();
  EXPECT_EQ(text->getValue(), "");
  text->release();
}

TEST_F(OverlayTextTest, OnlyATouchableWindowTextOpensTheWindowEditor) {
  text->setText("400 40 ");
  text->setPosition(cocos2d::Vec2(100, 100));
  auto tap = [this] {
    const cocos2d::Size s = text->getContentSize();
    const cocos2d::Vec2 p = text->convertToWorldSpace(cocos2d::Vec2(s.width / 2, s.height / 2));
    auto* touch = new cocos2d::Touch();
    touch->setTouchInfo(0, p.x, p.y);
    text->onTouchBegan(touch, nullptr);
    touch->release();
    stepFrames(2);
  };
  struct Case {
    int id;
    bool touchable;
    size_t posts;
  };
  const Case cases[] = {{9072, false, 0}, {9072, true, 1}, {9074, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    text->bindNotification("400 40 ", "", "", c.id, c.touchable);
    Recorder rec;
    rec.listen({NOTIFY_WINDOW_INPUT}, window);
    tap();
    EXPECT_EQ(rec.got.size(), c.posts);
    if (c.touchable) {
      EXPECT_EQ(text->getGlobalZOrder(), window->getLocalZOrder() + 1.0f);
    }
  }
}

}  // namespace
