// The image interaction tool in a real window: left-button drags pushed as
// SDL events (touch 0) pan and re-window the CT phantom in the left of two
// windows side by side, and a probe click reads the bone under the pointer.
// Screenshots are written to the build folder.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/platform/Image.h"
#include "engine/renderer/RendererGL.h"
#include "imaging/view/isInteractorImage.h"
#include "support_xvfb.h"
#include "test_window.h"
#include "view_support.h"

USING_NS_CC;
using namespace viewtest;

namespace {

bool g_skip = false;
constexpr int kW = 960, kH = 600;

struct Shot {
  std::vector<unsigned char> px;
  int grey(Vec2 p) const {
    const int x = static_cast<int>(std::floor(p.x)), y = static_cast<int>(std::floor(p.y));
    return px[(static_cast<size_t>(y) * kW + x) * 3];
  }
};

// Phantom landmarks of the middle axial slice.
constexpr int kWaterI = 128, kWaterJ = 150;  // 40 HU
constexpr int kBoneI = 77, kBoneJ = 102;     // 1200 HU

class TouchTools : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_skip) GTEST_SKIP() << "no display and no Xvfb";
    FileUtils::getInstance()->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
    view = GLViewImpl::createWithRect("touch tools", Rect(0, 0, kW, kH));
    ASSERT_NE(view, nullptr);
    Director* d = Director::getInstance();
    d->setOpenGLView(view);
    d->setClearColor(Color4F(0.2f, 0, 0.2f, 1));
    scene = Scene::create();
    d->runWithScene(scene);
    NSUI::NSNotificationCenter::getInstance();
    d->stepFrame(0.6f);
    image = makePhantomImage(256, 256, 200, 0.7f, 0.7f, 1.25f);
    for (int i = 0; i < 2; ++i) {
      windows[i] = TestWindow::create(Size(476, 600));
      scene->addChild(windows[i]);
      windows[i]->setPosition(Vec2(i * 484.0f, 0));
      actors[i] = windows[i]->show(image);
      actors[i]->setWindow(400, 40);
      tools[i] = isImageSDK::isInteractorImage::create();
      tools[i]->setTarget(windows[i]);
      windows[i]->setInteractor(tools[i]);
      // The tool's steps reach the window as they will through its viewer.
      TestWindow* w = windows[i];
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
    for (int i = 0; i < 2; ++i)
      if (windows[i]) windows[i]->setInteractor(nullptr);
    if (image) image->release();
    Director::getInstance()->end();
    Director::destroyInstance();
  }

  void button(Uint32 type, int x, int y) {
    SDL_Event e{};
    e.type = type;
    e.button.windowID = windowId;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = x;
    e.button.y = y;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  void motion(int x, int y, int dx, int dy) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = windowId;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.xrel = dx;
    e.motion.yrel = dy;
    e.motion.state = SDL_BUTTON_LMASK;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
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
  static void step(int n) {
    for (int i = 0; i < n; ++i) Director::getInstance()->stepFrame();
  }
  Shot capture(const std::string& name) {
    Shot shot;
    Director* d = Director::getInstance();
    d->stepFrame();
    auto* gl = dynamic_cast<RendererGL*>(d->getRenderer()->getBackend());
    gl->runAfterNextFrame([&shot] {
      shot.px.resize(static_cast<size_t>(kW) * kH * 3);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadBuffer(GL_BACK);
      glReadPixels(0, 0, kW, kH, GL_RGB, GL_UNSIGNED_BYTE, shot.px.data());
    });
    d->stepFrame();
    std::vector<unsigned char> flipped(shot.px.size());
    for (int r = 0; r < kH; ++r) std::memcpy(&flipped[r * kW * 3], &shot.px[(kH - 1 - r) * kW * 3], kW * 3);
    Image::writePng(name, flipped.data(), kW, kH, 3);
    return shot;
  }
  Vec2 screenOf(int w, float i, float j) {
    const isImageSDK::SliceRecord* r = actors[w]->getOutputSliceInfo();
    const Vec3 world = r->matrix.transformPoint(Vec3(i * r->spacingX, j * r->spacingY, 0));
    return windows[w]->getPosition() + windows[w]->worldToScreen(world);
  }

  GLViewImpl* view = nullptr;
  Scene* scene = nullptr;
  isImageSDK::isImageData* image = nullptr;
  TestWindow* windows[2] = {};
  isImageSDK::isActorImage* actors[2] = {};
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
  if (bone.x > 0 && bone.x < 476) EXPECT_GE(shot.grey(bone), 250);
  const Vec2 water = screenOf(0, kWaterI, kWaterJ);
  if (water.x > 0 && water.x < 476) EXPECT_NEAR(shot.grey(water), 127, 3);
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
  const isImageSDK::SliceRecord* rec0 = actors[0]->getOutputSliceInfo();
  const Vec3 expect = rec0->matrix.transformPoint(Vec3(kBoneI * rec0->spacingX, kBoneJ * rec0->spacingY, 0));
  float v = 0;
  ASSERT_TRUE(actors[0]->getPixelValue(p, &v));
  EXPECT_NEAR(v, 1200.0f, 1.0f);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  g_skip = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
