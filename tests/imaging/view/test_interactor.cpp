// Gestures of the touch tracking base and the image interaction tool, driven
// through the engine's touch dispatch (GLView::injectTouches, and the left
// mouse button as touch 0) into test windows, with the gesture clock
// replaced by a counter the test advances.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "imaging/view/isInteractorImage.h"
#include "test_window.h"
#include "view_support.h"

using namespace viewtest;
using cocos2d::EventTouch;
using cocos2d::Size;
using cocos2d::Vec2;
using isImageSDK::isInteractorBase;
using isImageSDK::isInteractorImage;

namespace {

// Records the gestures the base reports.
class GestureProbe : public isInteractorBase {
 public:
  static GestureProbe* create() {
    auto* g = new GestureProbe();
    g->init();
    g->autorelease();
    return g;
  }
  void onTouchBegan(cocos2d::Touch*) override { log.push_back("began"); }
  void onTouchEnded(cocos2d::Touch* t) override {
    log.push_back("ended");
    isInteractorBase::onTouchEnded(t);
  }
  void onDoubleTap(const Vec2&) override { log.push_back("double"); }
  void onTap(const Vec2&) override { log.push_back("tap"); }
  void onSwipe(const Vec2&, const Vec2&) override { log.push_back("swipe"); }
  void onDrag(const Vec2& step) override {
    drag += step;
    log.push_back("drag");
  }
  void onPan(const Vec2& step) override {
    pans.push_back(step);
    log.push_back("pan");
  }
  void onPinch(float f) override {
    pinches.push_back(f);
    log.push_back("pinch");
  }
  bool saw(const std::string& what) const {
    for (auto& s : log)
      if (s == what) return true;
    return false;
  }
  std::vector<std::string> log;
  Vec2 drag;
  std::vector<Vec2> pans;
  std::vector<float> pinches;
};

class InteractorTest : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  Recorder rec;
  int64_t clockMs = 1'000'000;

  TestWindow* make(Vec2 position, Size size) {
    auto* w = TestWindow::create(size);
    engine.scene->addChild(w);
    w->setPosition(position);
    return w;
  }
  template <class T>
  T* attach(TestWindow* w, T* tool) {
    tool->setTarget(w);
    tool->setClock([this] { return clockMs; });
    w->setInteractor(tool);
    return tool;
  }
  cocos2d::GLView* view() { return cocos2d::Director::getInstance()->getOpenGLView(); }
  void touch(EventTouch::EventCode phase, std::vector<int> ids, std::vector<Vec2> pts) {
    view()->injectTouches(phase, ids, pts);
  }
  // One finger: down, optional moves, up, with the clock advanced by ms.
  void flick(Vec2 from, Vec2 to, int64_t ms, int id = 1) {
    touch(EventTouch::EventCode::BEGAN, {id}, {from});
    clockMs += ms;
    touch(EventTouch::EventCode::MOVED, {id}, {to});
    touch(EventTouch::EventCode::ENDED, {id}, {to});
    clockMs += 1000;
  }
};

TEST_F(InteractorTest, TapSwipeAndTheirExclusiveBounds) {
  auto* w = make(Vec2(0, 0), Size(800, 600));
  auto* g = attach(w, GestureProbe::create());
  struct Case {
    float len;
    int64_t ms;
    const char* expect;  // tap, swipe or none
  } cases[] = {
      {10, 99, "tap"},    {10, 100, "none"},  {49, 50, "tap"},     {50, 50, "none"},
      {151, 26, "swipe"}, {151, 25, "none"},  {399, 129, "swipe"}, {400, 60, "none"},
      {150, 60, "none"},  {200, 130, "none"},
  };
  for (const auto& c : cases) {
    g->log.clear();
    flick(Vec2(200, 300), Vec2(200 + c.len, 300), c.ms);
    const std::string what = g->saw("tap") ? "tap" : g->saw("swipe") ? "swipe" : "none";
    EXPECT_EQ(what, c.expect) << "len " << c.len << " ms " << c.ms;
  }
}

TEST_F(InteractorTest, DoubleTapWindowAndTheFirstTouchAfterStartUp) {
  auto* w = make(Vec2(0, 0), Size(800, 600));
  auto* g = attach(w, GestureProbe::create());
  clockMs = 50;  // soon after start-up: still no earlier touch-down
  touch(EventTouch::EventCode::BEGAN, {1}, {Vec2(100, 100)});
  touch(EventTouch::EventCode::ENDED, {1}, {Vec2(100, 100)});
  EXPECT_EQ(g->log.front(), "began");
  struct Case {
    int64_t gap;
    bool doubled;
  } cases[] = {{180, true}, {181, false}, {10, true}};
  for (const auto& c : cases) {
    clockMs += 1000;
    touch(EventTouch::EventCode::BEGAN, {1}, {Vec2(100, 100)});
    touch(EventTouch::EventCode::ENDED, {1}, {Vec2(100, 100)});
    g->log.clear();
    clockMs += c.gap;
    touch(EventTouch::EventCode::BEGAN, {1}, {Vec2(100, 100)});
    touch(EventTouch::EventCode::ENDED, {1}, {Vec2(100, 100)});
    EXPECT_EQ(g->saw("double"), c.doubled) << c.gap;
    EXPECT_EQ(g->saw("began"), !c.doubled) << c.gap;
  }
}

TEST_F(InteractorTest, DragStepsSumToTheDisplacementAndTapToleranceIsTwoPoints) {
  auto* w = make(Vec2(0, 0), Size(800, 600));
  auto* g = attach(w, GestureProbe::create());
  touch(EventTouch::EventCode::BEGAN, {1}, {Vec2(100, 100)});
  touch(EventTouch::EventCode::MOVED, {1}, {Vec2(101, 101)});
  EXPECT_TRUE(g->isTapCandidate());  // 1.41 points
  touch(EventTouch::EventCode::MOVED, {1}, {Vec2(102, 100)});
  EXPECT_TRUE(g->isTapCandidate());  // exactly 2
  touch(EventTouch::EventCode::MOVED, {1}, {Vec2(130, 80)});
  EXPECT_FALSE(g->isTapCandidate());
  touch(EventTouch::EventCode::MOVED, {1}, {Vec2(137, 91)});
  EXPECT_NEAR(g->drag.x, 37.0f, 1e-4f);
  EXPECT_NEAR(g->drag.y, -9.0f, 1e-4f);
  touch(EventTouch::EventCode::ENDED, {1}, {Vec2(137, 91)});
}

TEST_F(InteractorTest, TouchDownOnTheBorderDoesNotCapture) {
  auto* w = make(Vec2(100, 100), Size(200, 200));
  auto* g = attach(w, GestureProbe::create());
  for (Vec2 p : {Vec2(100, 150), Vec2(300, 150), Vec2(150, 100), Vec2(150, 300)}) {
    touch(EventTouch::EventCode::BEGAN, {1}, {p});
    EXPECT_FALSE(g->isCaptured()) << p.x << "," << p.y;
    EXPECT_FALSE(isInteractorBase::captureActive);
    touch(EventTouch::EventCode::ENDED, {1}, {p});
  }
  touch(EventTouch::EventCode::BEGAN, {1}, {Vec2(100.5f, 150)});
  EXPECT_TRUE(g->isCaptured());
  touch(EventTouch::EventCode::ENDED, {1}, {Vec2(100.5f, 150)});
}

TEST_F(InteractorTest, SecondFingerEndsTheSingleGestureAndPanCarriesHalfTheEarlierMove) {
  auto* w = make(Vec2(0, 0), Size(800, 600));
  auto* g = attach(w, GestureProbe::create());
  touch(EventTouch::EventCode::BEGAN, {1}, {Vec2(100, 100)});
  touch(EventTouch::EventCode::MOVED, {1}, {Vec2(120, 100)});
  g->log.clear();
  touch(EventTouch::EventCode::BEGAN, {2}, {Vec2(300, 100)});
  ASSERT_FALSE(g->log.empty());
  EXPECT_EQ(g->log.front(), "ended");
  EXPECT_FALSE(g->isSingleTouchMode());
  // Both fingers move by (0, 10): the pan includes half of the first
  // finger's earlier 20 points (its copy keeps the touch-down location).
  touch(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(120, 110), Vec2(300, 110)});
  ASSERT_EQ(g->pans.size(), 1u);
  EXPECT_NEAR(g->pans[0].x, 10.0f, 1e-4f);
  EXPECT_NEAR(g->pans[0].y, 10.0f, 1e-4f);
  ASSERT_EQ(g->pinches.size(), 1u);
  // Spread: the factor since the last move.
  touch(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(20, 110), Vec2(400, 110)});
  ASSERT_EQ(g->pinches.size(), 2u);
  EXPECT_NEAR(g->pinches[0] * g->pinches[1], 380.0f / 200.0f, 1e-4f);
  // A third finger: nothing is reported while three are down.
  touch(EventTouch::EventCode::BEGAN, {3}, {Vec2(500, 300)});
  const size_t pans = g->pans.size(), pinches = g->pinches.size();
  touch(EventTouch::EventCode::MOVED, {1, 2, 3}, {Vec2(30, 120), Vec2(410, 120), Vec2(510, 310)});
  touch(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(40, 120), Vec2(420, 120)});
  EXPECT_EQ(g->pans.size(), pans);
  EXPECT_EQ(g->pinches.size(), pinches);
  for (int id : {3, 2, 1}) touch(EventTouch::EventCode::ENDED, {id}, {Vec2(40, 120)});
  EXPECT_FALSE(isInteractorBase::captureActive);
  EXPECT_TRUE(g->isSingleTouchMode());
}

TEST_F(InteractorTest, FingersDownAtOnePointGiveNoPinchUntilTheyPart) {
  auto* w = make(Vec2(0, 0), Size(800, 600));
  auto* g = attach(w, GestureProbe::create());
  touch(EventTouch::EventCode::BEGAN, {1, 2}, {Vec2(200, 200), Vec2(200, 200)});
  touch(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(200, 200), Vec2(200, 200)});
  touch(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(190, 200), Vec2(210, 200)});
  touch(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(180, 200), Vec2(220, 200)});
  for (float f : g->pinches) EXPECT_TRUE(std::isfinite(f) && f > 0.0f) << f;
  ASSERT_FALSE(g->pinches.empty());
  EXPECT_NEAR(g->pinches.back(), 2.0f, 1e-4f);
  touch(EventTouch::EventCode::ENDED, {1, 2}, {Vec2(180, 200), Vec2(220, 200)});
}

TEST_F(InteractorTest, TwoWindowsKeepTheGestureAndSurviveACleanupMidGesture) {
  auto* left = make(Vec2(0, 0), Size(400, 600));
  auto* right = make(Vec2(400, 0), Size(400, 600));
  auto* gl = attach(left, GestureProbe::create());
  auto* gr = attach(right, GestureProbe::create());
  rec.listen({NOTIFY_FOCUS_REQUEST}, left);
  // Left mouse button = touch 0: the drag crosses into the right window.
  view()->injectMouseDown(300, 300, 0);
  view()->injectMouseMove(350, 300, 0);
  view()->injectMouseMove(550, 300, 0);
  view()->injectMouseUp(550, 300, 0);
  EXPECT_NEAR(gl->drag.x, 250.0f, 1e-3f);
  EXPECT_TRUE(gr->log.empty());
  stepFrames(1);
  EXPECT_EQ(rec.of(NOTIFY_FOCUS_REQUEST).size(), 1u);
  // A pinch in the right window with two touch ids.
  touch(EventTouch::EventCode::BEGAN, {1, 2}, {Vec2(500, 300), Vec2(700, 300)});
  touch(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(450, 300), Vec2(750, 300)});
  touch(EventTouch::EventCode::ENDED, {1, 2}, {Vec2(450, 300), Vec2(750, 300)});
  ASSERT_EQ(gr->pinches.size(), 1u);
  EXPECT_NEAR(gr->pinches[0], 1.5f, 1e-4f);
  EXPECT_TRUE(gl->pinches.empty());
  // The left window goes away in the middle of its gesture.
  touch(EventTouch::EventCode::BEGAN, {1}, {Vec2(200, 300)});
  EXPECT_TRUE(gl->isCaptured());
  left->removeFromParent();
  left->cleanup();
  gr->log.clear();
  touch(EventTouch::EventCode::BEGAN, {2}, {Vec2(600, 300)});
  EXPECT_TRUE(gr->isCaptured());
  EXPECT_TRUE(gr->saw("began"));
  touch(EventTouch::EventCode::ENDED, {1, 2}, {Vec2(200, 300), Vec2(600, 300)});
}

// ------------------------------------------------------------ the tool

class ToolTest : public InteractorTest {
 protected:
  void SetUp() override {
    w = make(Vec2(0, 0), Size(400, 400));
    tool = attach(w, isInteractorImage::create());
    rec.listen({NOTIFY_DRAG_PAN, NOTIFY_ZOOM_STEP, NOTIFY_PINCH_ZOOM, NOTIFY_DRAG_WINDOW, NOTIFY_SYNC_PAN,
                NOTIFY_SYNC_ZOOM, NOTIFY_SYNC_WINDOW, NOTIFY_SYNC_RECENTRE, NOTIFY_PROBE_POINT, NOTIFY_FOCAL_POINT,
                NOTIFY_SLICE_NEXT, NOTIFY_SLICE_PREVIOUS},
               w);
  }
  std::vector<unsigned> ids() const {
    std::vector<unsigned> out;
    for (auto& r : rec.got) out.push_back(r.id);
    return out;
  }
  TestWindow* w = nullptr;
  isInteractorImage* tool = nullptr;
};

TEST_F(ToolTest, ModeByGestureGivesTheExpectedPosts) {
  using V = std::vector<unsigned>;
  struct Case {
    int mode;
    V down;  // after the touch-down frame
    V drag;  // after one drag frame
    V up;    // after lifting (serial posts need their own frames)
  } cases[] = {
      {isImageSDK::TOOL_MODE_LOCATE, {NOTIFY_FOCAL_POINT, NOTIFY_PROBE_POINT}, {NOTIFY_FOCAL_POINT}, {NOTIFY_SYNC_RECENTRE}},
      {isImageSDK::TOOL_MODE_PROBE, {NOTIFY_FOCAL_POINT, NOTIFY_PROBE_POINT}, {NOTIFY_PROBE_POINT, NOTIFY_FOCAL_POINT}, {NOTIFY_SYNC_RECENTRE}},
      {isImageSDK::TOOL_MODE_READOUT, {}, {NOTIFY_PROBE_POINT, NOTIFY_PROBE_POINT}, {}},
      {isImageSDK::TOOL_MODE_PAN, {}, {NOTIFY_DRAG_PAN, NOTIFY_DRAG_PAN}, {NOTIFY_SYNC_PAN}},
      {isImageSDK::TOOL_MODE_WINDOW, {}, {NOTIFY_DRAG_WINDOW, NOTIFY_DRAG_WINDOW}, {NOTIFY_SYNC_WINDOW}},
      {isImageSDK::TOOL_MODE_ZOOM, {}, {NOTIFY_ZOOM_STEP, NOTIFY_ZOOM_STEP}, {NOTIFY_SYNC_ZOOM}},
      {3, {}, {}, {}},
  };
  for (const auto& c : cases) {
    tool->setToolMode(c.mode);
    rec.got.clear();
    touch(EventTouch::EventCode::BEGAN, {1}, {Vec2(200, 200)});
    stepFrames(1);
    EXPECT_EQ(ids(), c.down) << "mode " << c.mode;
    rec.got.clear();
    // Two moves within one frame: modes 0 and 7 deliver only the last point.
    touch(EventTouch::EventCode::MOVED, {1}, {Vec2(205, 230)});
    touch(EventTouch::EventCode::MOVED, {1}, {Vec2(210, 260)});
    stepFrames(1);
    EXPECT_EQ(ids(), c.drag) << "mode " << c.mode;
    rec.got.clear();
    clockMs += 1000;
    touch(EventTouch::EventCode::ENDED, {1}, {Vec2(210, 260)});
    stepFrames(3);
    EXPECT_EQ(ids(), c.up) << "mode " << c.mode;
    clockMs += 1000;
  }
}

TEST_F(ToolTest, PanAndWindowPayloads) {
  rec.got.clear();
  touch(EventTouch::EventCode::BEGAN, {1}, {Vec2(200, 200)});
  touch(EventTouch::EventCode::MOVED, {1}, {Vec2(210, 195)});
  clockMs += 1000;
  touch(EventTouch::EventCode::ENDED, {1}, {Vec2(210, 195)});
  stepFrames(2);
  ASSERT_EQ(rec.of(NOTIFY_DRAG_PAN).size(), 1u);
  EXPECT_EQ(rec.of(NOTIFY_DRAG_PAN)[0].text, R"({"x":"-10.0000","y":"-5.0000"})");
  ASSERT_EQ(rec.of(NOTIFY_SYNC_PAN).size(), 1u);
  EXPECT_EQ(rec.json(rec.of(NOTIFY_SYNC_PAN)[0], "x"), "-10.0000");
  tool->setToolMode(isImageSDK::TOOL_MODE_WINDOW);
  rec.got.clear();
  clockMs += 1000;
  touch(EventTouch::EventCode::BEGAN, {1}, {Vec2(200, 200)});
  touch(EventTouch::EventCode::MOVED, {1}, {Vec2(212.5f, 190)});
  clockMs += 1000;
  touch(EventTouch::EventCode::ENDED, {1}, {Vec2(212.5f, 190)});
  stepFrames(2);
  ASSERT_EQ(rec.of(NOTIFY_DRAG_WINDOW).size(), 1u);
  EXPECT_EQ(rec.json(rec.of(NOTIFY_DRAG_WINDOW)[0], "ww"), "12.50");
  EXPECT_EQ(rec.json(rec.of(NOTIFY_DRAG_WINDOW)[0], "wl"), "-10.00");
}

TEST_F(ToolTest, TinyPanAndDiagonalZoomPostNothing) {
  rec.got.clear();
  tool->onDrag(Vec2(0.0005f, 0.0f));
  tool->finishGesture();
  tool->setToolMode(isImageSDK::TOOL_MODE_ZOOM);
  tool->onDrag(Vec2(10, 10));  // diagonal: refused
  tool->onDrag(Vec2(10, -5));  // mostly horizontal
  tool->finishGesture();
  stepFrames(3);
  for (auto& r : rec.got) EXPECT_NE(r.id, static_cast<unsigned>(NOTIFY_SYNC_PAN));
  EXPECT_TRUE(rec.of(NOTIFY_ZOOM_STEP).empty());
  EXPECT_TRUE(rec.of(NOTIFY_SYNC_ZOOM).empty());
}

TEST_F(ToolTest, ZoomAndPinchRefusedBeyondTheRatioLimits) {
  tool->setToolMode(isImageSDK::TOOL_MODE_ZOOM);
  w->setZoomRatio(10.5f);
  rec.got.clear();
  tool->onDrag(Vec2(0, 5));   // up: enlarge, refused
  tool->onPinch(1.2f);        // refused
  tool->onDrag(Vec2(0, -5));  // down: allowed
  tool->onPinch(0.8f);        // allowed
  stepFrames(1);
  ASSERT_EQ(rec.of(NOTIFY_ZOOM_STEP).size(), 1u);
  EXPECT_FLOAT_EQ(rec.of(NOTIFY_ZOOM_STEP)[0].floatValue, 0.95f);
  ASSERT_EQ(rec.of(NOTIFY_PINCH_ZOOM).size(), 1u);
  EXPECT_FLOAT_EQ(rec.of(NOTIFY_PINCH_ZOOM)[0].floatValue, 0.8f);
  EXPECT_NEAR(tool->getZoomTotal(), 0.95f * 0.8f, 1e-6f);
  w->setZoomRatio(0.09f);
  rec.got.clear();
  tool->onDrag(Vec2(0, -5));
  tool->onPinch(0.9f);
  tool->onDrag(Vec2(0, 5));
  stepFrames(1);
  ASSERT_EQ(rec.of(NOTIFY_ZOOM_STEP).size(), 1u);
  EXPECT_FLOAT_EQ(rec.of(NOTIFY_ZOOM_STEP)[0].floatValue, 1.05f);
  EXPECT_TRUE(rec.of(NOTIFY_PINCH_ZOOM).empty());
}

TEST_F(ToolTest, SwipeInPanModeBothPansAndSteps) {
  rec.got.clear();
  flick(Vec2(100, 200), Vec2(300, 210), 60);
  flick(Vec2(300, 200), Vec2(100, 190), 60);
  stepFrames(3);
  EXPECT_FALSE(rec.of(NOTIFY_DRAG_PAN).empty());
  EXPECT_EQ(rec.of(NOTIFY_SLICE_NEXT).size(), 1u);
  EXPECT_EQ(rec.of(NOTIFY_SLICE_PREVIOUS).size(), 1u);
}

TEST_F(ToolTest, RotateTurnsAQuarterIn122Points) {
  tool->setToolMode(isImageSDK::TOOL_MODE_ROTATE);
  w->setCameraPosition(cocos2d::Vec3(0, 0, -500));
  w->setCameraLookAt(cocos2d::Vec3::ZERO, cocos2d::Vec3(0, -1, 0));
  const auto before = w->getCameraState();
  rec.got.clear();
  tool->onDrag(Vec2(-122, 0));
  const auto after = w->getCameraState();
  EXPECT_NEAR(std::fabs(before.viewDirection.dot(after.viewDirection)), 0.0f, 1e-4f);
  EXPECT_NEAR(after.distance, before.distance, 1e-2f);
  EXPECT_NEAR(std::fabs(after.up.dot(before.up)), 1.0f, 1e-4f);
  stepFrames(1);
  EXPECT_TRUE(rec.got.empty());
  EXPECT_EQ(isImageSDK::isInteractorTrackVR::create()->getToolMode(), isImageSDK::TOOL_MODE_ROTATE);
  EXPECT_EQ(isInteractorImage::create()->getToolMode(), isImageSDK::TOOL_MODE_PAN);
}

}  // namespace
