// Gestures read from raw touches, and the capture shared by picture views.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/support_scene.h"
#include "toolkit/widgets/NSInteractorBase.h"

USING_NS_CC;
using NSUI::NSInteractorBase;

namespace {

int64_t g_now = 1000000;

// Logs every gesture it is told about.
class Recorder : public NSInteractorBase {
 public:
  static Recorder* create() {
    auto* r = new Recorder;
    r->init();
    r->autorelease();
    return r;
  }
  std::vector<std::string> log;
  std::vector<float> pinches;
  std::vector<Vec2> pans;
  std::vector<Vec2> drags;
  std::vector<float> speeds;

  void onTouchBegan(Touch*) override { log.push_back("began"); }
  void onDoubleTap(const Vec2&) override { log.push_back("double"); }
  void onTap(const Vec2&) override { log.push_back("tap"); }
  void onSwipe(const Vec2&, const Vec2&) override { log.push_back("swipe"); }
  void onDrag(const Vec2& step, float speed) override {
    drags.push_back(step);
    speeds.push_back(speed);
  }
  void onPinch(float f) override { pinches.push_back(f); }
  void onPan(const Vec2& step) override { pans.push_back(step); }
};

// One finger's touch, as the engine hands it over.
struct Finger {
  explicit Finger(int id, Vec2 at) {
    touch = new Touch;
    touch->setTouchInfo(id, at.x, at.y);
  }
  ~Finger() { touch->release(); }
  void moveTo(Vec2 at) { touch->setTouchInfo(touch->getID(), at.x, at.y); }
  Touch* touch;
};

std::vector<Touch*> list(std::initializer_list<Finger*> fingers) {
  std::vector<Touch*> v;
  for (Finger* f : fingers) v.push_back(f->touch);
  return v;
}

class Gestures : public ::testing::Test {
 protected:
  void SetUp() override {
    NSInteractorBase::setClock([] { return g_now; });
    scene = Scene::create();
    engine.run(scene);
    // Target covers (100, 100)-(300, 300) on screen.
    area = Node::create();
    area->setContentSize(Size(200, 200));
    area->setPosition(100, 100);
    scene->addChild(area);
    other = Node::create();
    other->setContentSize(Size(200, 200));
    other->setPosition(400, 100);
    scene->addChild(other);
    a = Recorder::create();
    a->retain();
    a->setTarget(area);
    b = Recorder::create();
    b->retain();
    b->setTarget(other);
  }
  void TearDown() override {
    a->release();
    b->release();
    NSInteractorBase::setClock(nullptr);
  }
  // A single finger gesture on interactor r: down at `from`, after `ms`
  // up at `to` (moved there first).
  void stroke(Recorder* r, Vec2 from, Vec2 to, int64_t ms) {
    Finger f(0, from);
    r->handleTouchesBegan(list({&f}), nullptr);
    g_now += ms;
    f.moveTo(to);
    r->handleTouchesMoved(list({&f}), nullptr);
    r->handleTouchesEnded(list({&f}), nullptr);
  }

  HeadlessEngine engine;
  Scene* scene = nullptr;
  Node* area = nullptr;
  Node* other = nullptr;
  Recorder* a = nullptr;
  Recorder* b = nullptr;
};

TEST_F(Gestures, SwipeTapOrNothingByTimeAndDistance) {
  struct Case {
    int64_t ms;
    float distance;
    const char* expect;  // last entry of the log after "began"
  };
  const Case cases[] = {
      {26, 151, "swipe"},  {129, 399, "swipe"}, {25, 151, ""},     {130, 200, ""},
      {60, 150, ""},       {60, 400, ""},       {99, 49, "tap"},   {100, 10, ""},
      {10, 0, "tap"},      {60, 50, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ms << " ms, " << c.distance << " points");
    g_now += 1000;  // far from the previous touch-down: no double tap
    a->log.clear();
    stroke(a, Vec2(110, 150), Vec2(110 + c.distance, 150), c.ms);
    std::vector<std::string> want = {"began"};
    if (*c.expect) want.push_back(c.expect);
    EXPECT_EQ(a->log, want);
    EXPECT_FALSE(NSInteractorBase::isCaptureActive());
  }
}

TEST_F(Gestures, DoubleTapNeedsAnEarlierTouchDownWithin180Ms) {
  // The very first touch-down of an interactor is never a double tap.
  stroke(a, Vec2(150, 150), Vec2(150, 150), 5);
  g_now += 175;  // 180 ms after the first touch-down
  stroke(a, Vec2(150, 150), Vec2(150, 150), 5);
  g_now += 176;  // 181 ms after the second
  stroke(a, Vec2(150, 150), Vec2(150, 150), 5);
  EXPECT_EQ(a->log, (std::vector<std::string>{"began", "tap", "double", "tap", "began", "tap"}));
}

TEST_F(Gestures, DragStepsAddUpAndTheFirstSpeedCountsFromTouchDown) {
  Finger f(0, Vec2(150, 150));
  a->handleTouchesBegan(list({&f}), nullptr);
  g_now += 10;
  f.moveTo(Vec2(170, 150));
  a->handleTouchesMoved(list({&f}), nullptr);
  g_now += 5;
  f.moveTo(Vec2(170, 180));
  a->handleTouchesMoved(list({&f}), nullptr);
  f.moveTo(Vec2(160, 180));
  a->handleTouchesMoved(list({&f}), nullptr);  // same millisecond
  ASSERT_EQ(a->drags.size(), 3u);
  EXPECT_EQ(a->drags[0], Vec2(20, 0));
  EXPECT_EQ(a->drags[1], Vec2(0, 30));
  EXPECT_EQ(a->drags[2], Vec2(-10, 0));
  EXPECT_FLOAT_EQ(a->speeds[0], 2.0f);
  EXPECT_FLOAT_EQ(a->speeds[1], 6.0f);
  EXPECT_FLOAT_EQ(a->speeds[2], 0.0f);
  EXPECT_FALSE(a->isTapCandidate());
  a->handleTouchesEnded(list({&f}), nullptr);
}

TEST_F(Gestures, PinchFactorIsTheChangeSinceTheLastMoveAndPanTheMeanStep) {
  Finger f1(1, Vec2(150, 150));
  Finger f2(2, Vec2(170, 150));
  a->handleTouchesBegan(list({&f1}), nullptr);
  a->handleTouchesBegan(list({&f2}), nullptr);  // joins: single gesture ends first
  EXPECT_FALSE(a->isSingleTouchMode());
  f2.moveTo(Vec2(190, 150));  // distance 20 -> 40
  a->handleTouchesMoved(list({&f1, &f2}), nullptr);
  f2.moveTo(Vec2(180, 150));  // 40 -> 30
  a->handleTouchesMoved(list({&f1, &f2}), nullptr);
  f1.moveTo(Vec2(160, 160));
  f2.moveTo(Vec2(190, 160));  // both 10 up (distance stays 30)
  a->handleTouchesMoved(list({&f1, &f2}), nullptr);
  ASSERT_EQ(a->pinches.size(), 3u);
  EXPECT_FLOAT_EQ(a->pinches[0], 2.0f);
  EXPECT_FLOAT_EQ(a->pinches[1], 0.75f);
  EXPECT_FLOAT_EQ(a->pinches[2], 1.0f);
  ASSERT_EQ(a->pans.size(), 3u);
  EXPECT_EQ(a->pans[0], Vec2(10, 0));
  EXPECT_EQ(a->pans[1], Vec2(-5, 0));
  EXPECT_EQ(a->pans[2], Vec2(10, 10));
  // The single gesture was ended when the second finger came.
  EXPECT_EQ(a->log.front(), "began");

  // Lifting one finger leaves one tracked; the capture stays until the last.
  a->handleTouchesEnded(list({&f1}), nullptr);
  EXPECT_TRUE(NSInteractorBase::isCaptureActive());
  a->handleTouchesEnded(list({&f2}), nullptr);
  EXPECT_FALSE(NSInteractorBase::isCaptureActive());
  EXPECT_TRUE(a->isSingleTouchMode());
}

TEST_F(Gestures, ThreeFingersReportNeitherPinchNorPan) {
  Finger f1(1, Vec2(150, 150)), f2(2, Vec2(170, 150)), f3(3, Vec2(160, 170));
  a->handleTouchesBegan(list({&f1, &f2, &f3}), nullptr);
  f1.moveTo(Vec2(140, 150));
  f2.moveTo(Vec2(190, 150));
  a->handleTouchesMoved(list({&f1, &f2}), nullptr);
  a->handleTouchesMoved(list({&f1, &f2, &f3}), nullptr);
  EXPECT_TRUE(a->pinches.empty());
  EXPECT_TRUE(a->pans.empty());
  a->handleTouchesEnded(list({&f1, &f2, &f3}), nullptr);
  EXPECT_FALSE(NSInteractorBase::isCaptureActive());
}

TEST_F(Gestures, TouchOnTheBorderDoesNotCapture) {
  for (Vec2 p : {Vec2(100, 150), Vec2(300, 150), Vec2(150, 100), Vec2(150, 300), Vec2(50, 50)}) {
    Finger f(0, p);
    a->handleTouchesBegan(list({&f}), nullptr);
    EXPECT_FALSE(a->isCaptured());
    EXPECT_FALSE(NSInteractorBase::isCaptureActive());
    EXPECT_TRUE(a->getTrackedTouches().empty());
    a->handleTouchesEnded(list({&f}), nullptr);
  }
  EXPECT_TRUE(a->log.empty());
}

TEST_F(Gestures, CaptureHeldByOneViewBlocksTheOther) {
  Finger f1(1, Vec2(150, 150));
  a->handleTouchesBegan(list({&f1}), nullptr);
  b->handleTouchesBegan(list({&f1}), nullptr);  // both listeners see every touch
  Finger f2(2, Vec2(450, 150));                 // a second finger inside b
  b->handleTouchesBegan(list({&f2}), nullptr);
  a->handleTouchesBegan(list({&f2}), nullptr);
  EXPECT_TRUE(a->holdsCapture());
  EXPECT_FALSE(b->isCaptured());
  f2.moveTo(Vec2(480, 150));
  b->handleTouchesMoved(list({&f2}), nullptr);
  EXPECT_TRUE(b->log.empty());
  EXPECT_TRUE(b->drags.empty());
  for (Recorder* r : {b, a}) r->handleTouchesEnded(list({&f1, &f2}), nullptr);
  EXPECT_FALSE(NSInteractorBase::isCaptureActive());

  // Now b takes a two-finger gesture while a's screen is not running (a
  // keeps the flag of its finished gesture): a must not end b's capture.
  area->removeFromParent();  // a's reference keeps it
  g_now += 1000;
  Finger g1(3, Vec2(450, 150)), g2(4, Vec2(470, 150));
  for (Recorder* r : {a, b}) r->handleTouchesBegan(list({&g1}), nullptr);
  for (Recorder* r : {a, b}) r->handleTouchesBegan(list({&g2}), nullptr);
  EXPECT_TRUE(b->holdsCapture());
  for (Recorder* r : {a, b}) r->handleTouchesEnded(list({&g1}), nullptr);
  EXPECT_TRUE(b->holdsCapture());
  g2.moveTo(Vec2(490, 150));
  b->handleTouchesMoved(list({&g2}), nullptr);
  for (Recorder* r : {a, b}) r->handleTouchesEnded(list({&g2}), nullptr);
  EXPECT_FALSE(NSInteractorBase::isCaptureActive());
  scene->addChild(area);
  // a's next single touch is a plain single gesture, not a two-finger one.
  stroke(a, Vec2(150, 150), Vec2(150, 150), 5);
  EXPECT_EQ(a->log.back(), "tap");
}

TEST_F(Gestures, TargetOutsideTheRunningSceneTakesNothing) {
  Node* loose = Node::create();
  loose->setContentSize(Size(800, 600));
  a->setTarget(loose);
  Finger f(0, Vec2(150, 150));
  a->handleTouchesBegan(list({&f}), nullptr);
  EXPECT_FALSE(NSInteractorBase::isCaptureActive());
  EXPECT_TRUE(a->log.empty());
}

TEST_F(Gestures, DyingOwnerReleasesTheCapture) {
  auto* c = Recorder::create();
  c->retain();
  c->setTarget(area);
  Finger f(0, Vec2(150, 150));
  c->handleTouchesBegan(list({&f}), nullptr);
  EXPECT_TRUE(NSInteractorBase::isCaptureActive());
  c->release();
  engine.director()->stepFrame(1.0f / 60);  // the autorelease pool lets it go
  EXPECT_FALSE(NSInteractorBase::isCaptureActive());
  EXPECT_EQ(NSInteractorBase::getCaptureOwner(), nullptr);
  stroke(a, Vec2(150, 150), Vec2(150, 150), 5);
  EXPECT_EQ(a->log, (std::vector<std::string>{"began", "tap"}));
}

}  // namespace
