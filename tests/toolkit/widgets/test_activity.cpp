// The busy overlay: one instance, progress and message from notifications,
// its button's notification, and nothing below it reachable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/support_scene.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSActivity.h"

USING_NS_CC;
using NSUI::NSActivity;
using NSUI::NSNotificationCenter;
using NSUI::NSNotificationData;

namespace {

struct Poster : Ref {};

class Activity : public ::testing::Test {
 protected:
  void SetUp() override {
    FileUtils::getInstance()->setDefaultResourceRootPath(std::string(FW_BINARY_DIR) + "/resources/");
    scene = Scene::create();
    engine.run(scene);
    screen = Node::create();
    screen->setContentSize(Size(800, 600));
    scene->addChild(screen);
    centre = NSNotificationCenter::getInstance();
    poster = new Poster;
  }
  void TearDown() override {
    NSActivity::hide();
    deliver();
    poster->release();
  }
  // Delivers every pending post (the centre's tick).
  void deliver() {
    centre->update(0);
    engine.director()->stepFrame(1.0f / 60);
  }
  Label* label(NSActivity* a, int tag) { return dynamic_cast<Label*>(a->getChildByTag(tag)); }
  std::vector<ui::Button*> buttons(NSActivity* a) {
    std::vector<ui::Button*> out;
    for (Node* c : a->getChildren()) {
      if (auto* b = dynamic_cast<ui::Button*>(c)) out.push_back(b);
    }
    return out;
  }

  HeadlessEngine engine;
  Scene* scene = nullptr;
  Node* screen = nullptr;
  NSNotificationCenter* centre = nullptr;
  Poster* poster = nullptr;
};

TEST_F(Activity, ShowBuildsTheOverlayOverTheWholeWindow) {
  NSActivity* a = NSActivity::show(screen);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->getParent(), screen);
  EXPECT_EQ(a->getName(), "activity");
  EXPECT_EQ(a->getLocalZOrder(), 10500);
  EXPECT_EQ(a->getContentSize(), Size(800, 600));
  Node* spinner = a->getChildByTag(NSActivity::kSpinnerTag);
  ASSERT_NE(spinner, nullptr);
  EXPECT_EQ(spinner->getPosition(), Vec2(400, 300));
  EXPECT_EQ(a->getChildrenCount(), 1);  // spinner only: no labels or buttons yet
  // The spinner turns: a quarter turn after half a second.
  for (int i = 0; i < 30; ++i) engine.director()->stepFrame(1.0f / 60);
  EXPECT_NEAR(spinner->getRotation(), 90.0f, 0.5f);
}

TEST_F(Activity, ShowTwiceReturnsTheSameOverlayUnderTheFirstParent) {
  Node* second = Node::create();
  scene->addChild(second);
  NSActivity* a = NSActivity::show(screen);
  EXPECT_EQ(NSActivity::show(second), a);
  EXPECT_EQ(a->getParent(), screen);
  EXPECT_EQ(second->getChildrenCount(), 0);
}

TEST_F(Activity, ProgressNotificationsUpdateOneLabel) {
  NSActivity* a = NSActivity::show(screen);
  centre->postNotificationInt(poster, NOTIFY_ACTIVITY_PROGRESS, 42, nullptr, true);
  deliver();
  Label* percent = label(a, NSActivity::kPercentTag);
  ASSERT_NE(percent, nullptr);
  EXPECT_EQ(percent->getString(), "42");
  EXPECT_EQ(percent->getPosition(), Vec2(400, 300));
  centre->postNotificationInt(poster, NOTIFY_ACTIVITY_PROGRESS, 43, nullptr, false);
  deliver();
  EXPECT_EQ(label(a, NSActivity::kPercentTag), percent);
  EXPECT_EQ(percent->getString(), "43");
  // A post for an object is not on the broadcast channel.
  centre->postNotificationInt(poster, NOTIFY_ACTIVITY_PROGRESS, 7, screen, true);
  deliver();
  EXPECT_EQ(percent->getString(), "43");
}

TEST_F(Activity, MessageNotificationCreatesTheLabelThenSetMessageChangesIt) {
  NSActivity* a = NSActivity::show(screen);
  centre->postNotificationText(poster, NOTIFY_ACTIVITY_MESSAGE, "Unpacking", nullptr, true);
  deliver();
  Label* message = label(a, NSActivity::kMessageTag);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->getString(), "Unpacking");
  EXPECT_EQ(message->getPosition(), Vec2(400, 400));
  a->setMessage("Reading files");
  EXPECT_EQ(label(a, NSActivity::kMessageTag), message);
  EXPECT_EQ(message->getString(), "Reading files");
  EXPECT_EQ(a->getMessage(), "Reading files");
}

TEST_F(Activity, TextColourAppliesToShownAndLaterLabels) {
  NSActivity* a = NSActivity::show(screen);
  a->setMessage("m");
  EXPECT_EQ(label(a, NSActivity::kMessageTag)->getTextColor(), Color4B::BLUE);
  a->setTextColor(Color4B::WHITE);
  EXPECT_EQ(label(a, NSActivity::kMessageTag)->getTextColor(), Color4B::WHITE);
  centre->postNotificationInt(poster, NOTIFY_ACTIVITY_PROGRESS, 5, nullptr, true);
  deliver();
  EXPECT_EQ(label(a, NSActivity::kPercentTag)->getTextColor(), Color4B::WHITE);
  a->setTextColor(Color4B::RED);
  EXPECT_EQ(label(a, NSActivity::kPercentTag)->getTextColor(), Color4B::RED);
  EXPECT_EQ(label(a, NSActivity::kMessageTag)->getTextColor(), Color4B::RED);
}

TEST_F(Activity, EachClickPostsOneButtonNotificationFromTheOverlay) {
  NSActivity* a = NSActivity::show(screen);
  a->addButton("Cancel", Color3B(21, 170, 254));
  a->addButton("Stop", Color3B::RED);
  auto bs = buttons(a);
  ASSERT_EQ(bs.size(), 2u);
  for (ui::Button* b : bs) {
    EXPECT_EQ(b->getPosition(), Vec2(400, 150));
    EXPECT_EQ(b->getLocalZOrder(), 10501);
  }
  std::vector<Ref*> senders;
  int observer = 0;
  centre->addObserver(&observer, nullptr,
                      [&](Ref* sender, unsigned int, NSNotificationData* data) {
                        senders.push_back(sender);
                        EXPECT_EQ(data, nullptr);
                      },
                      NOTIFY_ACTIVITY_BUTTON);
  engine.view()->injectMouseDown(400, 150, 0);
  engine.view()->injectMouseUp(400, 150, 0);
  deliver();
  EXPECT_EQ(senders, std::vector<Ref*>{a});
  engine.view()->injectMouseDown(400, 150, 0);
  engine.view()->injectMouseUp(400, 150, 0);
  deliver();
  EXPECT_EQ(senders.size(), 2u);
  // The overlay stays: the observer decides what follows.
  EXPECT_EQ(NSActivity::getInstance(), a);
  centre->removeAllObservers(&observer);
}

TEST_F(Activity, NothingBelowTheOverlayIsReached) {
  int touches = 0, mouse = 0;
  auto* below = ui::Layout::create();
  below->setContentSize(Size(800, 600));
  below->setTouchEnabled(true);
  below->addTouchEventListener([&](Ref*, ui::Widget::TouchEventType) { ++touches; });
  screen->addChild(below);
  auto* listener = EventListenerMouse::create();
  listener->onMouseDown = listener->onMouseScroll = listener->onMouseMove = [&](EventMouse*) { ++mouse; };
  engine.director()->getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, below);

  NSActivity::show(screen);
  engine.view()->injectTouches(EventTouch::EventCode::BEGAN, {1}, {Vec2(100, 100)});
  engine.view()->injectTouches(EventTouch::EventCode::ENDED, {1}, {Vec2(100, 100)});
  engine.view()->injectScroll(100, 100, -1);
  engine.view()->injectMouseMove(120, 100);
  engine.view()->injectMouseDown(120, 100, 1);
  EXPECT_EQ(touches, 0);
  EXPECT_EQ(mouse, 0);

  NSActivity::hide();
  engine.view()->injectTouches(EventTouch::EventCode::BEGAN, {1}, {Vec2(100, 100)});
  engine.view()->injectScroll(100, 100, -1);
  EXPECT_EQ(touches, 1);
  EXPECT_EQ(mouse, 1);
  engine.view()->injectTouches(EventTouch::EventCode::ENDED, {1}, {Vec2(100, 100)});
}

TEST_F(Activity, AfterCloseNotificationsReachNobodyAndShowStartsAfresh) {
  NSActivity* a = NSActivity::show(screen);
  a->setMessage("x");
  a->addButton("b", Color3B::WHITE);
  EXPECT_TRUE(centre->hasObserver(NOTIFY_ACTIVITY_PROGRESS, nullptr, a));
  NSActivity::close();
  EXPECT_EQ(NSActivity::getInstance(), nullptr);
  EXPECT_FALSE(centre->hasObserver(NOTIFY_ACTIVITY_PROGRESS, nullptr, a));
  EXPECT_FALSE(centre->hasObserver(NOTIFY_ACTIVITY_MESSAGE, nullptr, a));
  EXPECT_EQ(screen->getChildrenCount(), 0);
  centre->postNotificationInt(poster, NOTIFY_ACTIVITY_PROGRESS, 1, nullptr, true);
  centre->postNotificationText(poster, NOTIFY_ACTIVITY_MESSAGE, "late", nullptr, true);
  deliver();  // would touch a freed overlay (caught under the address sanitizer)

  NSActivity* b = NSActivity::show(screen);
  EXPECT_EQ(b->getChildrenCount(), 1);
  EXPECT_EQ(b->getMessage(), "");
}

TEST_F(Activity, CloseAndHideWithNoOverlayDoNothing) {
  NSActivity::close();
  NSActivity::hide();
  EXPECT_EQ(NSActivity::getInstance(), nullptr);
  NSActivity::show(screen);
  NSActivity::close();
  NSActivity::close();
  EXPECT_EQ(NSActivity::getInstance(), nullptr);
}

TEST_F(Activity, OverlayRemovedWithItsParentIsForgotten) {
  NSActivity* a = NSActivity::show(screen);
  centre->postNotificationInt(poster, NOTIFY_ACTIVITY_PROGRESS, 9, nullptr, true);
  screen->removeFromParent();  // the screen goes away without hide()
  screen = nullptr;
  deliver();
  EXPECT_EQ(NSActivity::getInstance(), nullptr);
  EXPECT_FALSE(centre->hasObserver(NOTIFY_ACTIVITY_PROGRESS, nullptr, a));

  Node* next = Node::create();
  scene->addChild(next);
  NSActivity* b = NSActivity::show(next);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->getParent(), next);
  EXPECT_EQ(b->getScene(), scene);
}

}  // namespace
