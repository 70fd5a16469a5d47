// The image interaction tool in a real window: left-button drags pushed as
// SDL events (touch 0) pan and re-window the CT phantom in the left of two
// windows side by side, and a probe click reads the bone under the pointer.
// Screenshots are written to the build folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "imaging/view/isInteractorImage.h"
#include "view_gl_support.h"

USING_NS_CC;
using namespace viewtest;

namespace {

constexpr int kW = 960, kH = 600;

// Phantom landmarks of the middle axial slice.
constexpr int kWaterI = 128, kWaterJ = 150;  // 40 HU
constexpr int kBoneI = 77, kBoneJ = 102;     // 1200 HU

class TouchTools : public WindowTest {
 protected:
  TouchTools() : WindowTest("touch tools", kW, kH, Color4F(0.2f, 0, 0.2f, 1)) {}
  void SetUp() override {
    WindowTest::SetUp();
    if (!ready()) return;
    for (int i = 0; i < 2; ++i) {
      TestWindow* w = addWindow(Size(476, 600), Vec2(i * 484.0f, 0));
      actors[i]->setWindow(400, 40);
      tools[i] = isImageSDK::isInteractorImage::create();
      tools[i]->setTarget(w);
      w->setInteractor(tools[i]);
      // The tool's steps reach the window as they will through its viewer.
      for (int id : {NOTIFY_DRAG_PAN, NOTIFY_DRAG_WINDOW})
        NSUI::NSNotificationCenter::getInstance()->addObserver(
            this, w, [w](Ref* s, unsigned int n, NSUI::NSNotificationData* d) { w->onNotification(n, d, s); }, id);
    }
    windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
  void TearDown() override {
    if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
    for (TestWindow* w : windows) w->setInteractor(nullptr);
    WindowTest::TearDown();
  }

  void button(Uint32 type, int x, int y) { pushButton(windowId, type, SDL_BUTTON_LEFT, x, y); }
  void motion(int x, int y, int dx, int dy) { pushMotion(windowId, x, y, dx, dy, SDL_BUTTON_LMASK); }
  // A left-button drag in SDL coordinates (y down), one frame per event.
  void drag(int x0, int y0, int x1, int y1) {
    button(SDL_MOUSEBUTTONDOWN, x0, y0);
    step(1);
    const int n = 4;
    for (int k = 1; k <= n; ++k) {
      motion(x0 + (x1 - x0) * k / n, y0 + (y1 - y0) * k / n, (x1 - x0) / n, (y1 - y0) / n);
      step(1);
    }
    button(SDL_MOUSEBUTTONUP, x1, y1);
    step(4);
  }
  static void step(int n) { stepWindowFrames(n); }

  isImageSDK::isInteractorImage* tools[2] = {};
  Uint32 windowId = 0;
};

TEST_F(TouchTools, PanFollowsTheFingerAndStaysInItsWindow) {
  capture("touch_tools_before.png");
  const Vec2 before = screenOf(0, 128, 128);
  const Vec2 rightBefore = screenOf(1, 128, 128);
  // Drag from the left window across into the right one: 280 right, 40 up.
  drag(300, 300, 580, 260);
  const Vec2 after = screenOf(0, 128, 128);
  EXPECT_NEAR(after.x - before.x, 280.0f, 1.0f);
  EXPECT_NEAR(after.y - before.y, 40.0f, 1.0f);  // SDL y grows downwards
  EXPECT_NEAR(screenOf(1, 128, 128).distance(rightBefore), 0.0f, 1e-3f);
  Shot shot = capture("touch_tools_panned.png");
  const Vec2 bone = screenOf(0, kBoneI, kBoneJ);
  if (bone.x > 0 && bone.x < 476) {
    EXPECT_GE(shot.grey(bone), 250);
  }
  const Vec2 water = screenOf(0, kWaterI, kWaterJ);
  if (water.x > 0 && water.x < 476) {
    EXPECT_NEAR(shot.grey(water), 127, 3);
  }
}

TEST_F(TouchTools, WindowDragWidensToTheRightAndRaisesTheLevelUpwards) {
  tools[0]->setToolMode(isImageSDK::TOOL_MODE_WINDOW);
  const Vec2 water = screenOf(0, kWaterI, kWaterJ);
  Shot shot = capture("touch_tools_window_before.png");
  const int waterBefore = shot.grey(water);
  // Straight up by 40 points: the level rises, water darkens.
  drag(238, 400, 238, 360);
  shot = capture("touch_tools_window_level_up.png");
  EXPECT_LT(shot.grey(water), waterBefore - 20);
  // Right by 80 points: the width grows, the contrast falls (bone no longer
  // saturates as hard, the window width text changes).
  const int wwBefore = static_cast<int>(actors[0]->getClut()->windowWidth);
  drag(200, 300, 280, 300);
  EXPECT_GT(static_cast<int>(actors[0]->getClut()->windowWidth), wwBefore);
  capture("touch_tools_window_wider.png");
  // The right window kept its window.
  EXPECT_NEAR(actors[1]->getClut()->windowWidth, 400.0f, 1e-3f);
}

TEST_F(TouchTools, ProbeReadsTheBoneUnderThePointer) {
  tools[0]->setToolMode(isImageSDK::TOOL_MODE_PROBE);
  Recorder rec;
  rec.listen({NOTIFY_PROBE_POINT}, windows[0]);
  const Vec2 bone = screenOf(0, kBoneI, kBoneJ);
  button(SDL_MOUSEBUTTONDOWN, static_cast<int>(bone.x), kH - static_cast<int>(bone.y));
  step(2);
  button(SDL_MOUSEBUTTONUP, static_cast<int>(bone.x), kH - static_cast<int>(bone.y));
  step(2);
  ASSERT_FALSE(rec.of(NOTIFY_PROBE_POINT).empty());
  const Received r = rec.of(NOTIFY_PROBE_POINT).front();
  const Vec3 p(std::atof(rec.json(r, "x").c_str()), std::atof(rec.json(r, "y").c_str()),
               std::atof(rec.json(r, "z").c_str()));
  float v = 0;
  ASSERT_TRUE(actors[0]->getPixelValue(p, &v));
  EXPECT_NEAR(v, 1200.0f, 1.0f);
}

}  // namespace

int main(int argc, char** argv) { return viewtest::runWindowTests(argc, argv); }
