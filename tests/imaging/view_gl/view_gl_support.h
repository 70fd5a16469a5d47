// Shared pieces of the view tests in a real window: a fixture that opens the
// window, runs a fresh scene and lays render windows on the CT phantom in
// it; the frame read back and its colours; SDL events pushed to the window;
// and the program's start under its own Xvfb.
#pragma once

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/platform/Image.h"
#include "engine/renderer/RendererGL.h"
#include "support_xvfb.h"
#include "test_window.h"
#include "view_support.h"

namespace viewtest {

// Set by runWindowTests when there is no display and no Xvfb to start.
inline bool noScreen = false;

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}
inline Rgb of(const cocos2d::Color4F& c) {
  return {static_cast<int>(c.r * 255 + 0.5f), static_cast<int>(c.g * 255 + 0.5f), static_cast<int>(c.b * 255 + 0.5f)};
}
inline Rgb greyOf(int g) { return {g, g, g}; }

inline ::testing::AssertionResult near(const Rgb& got, const Rgb& want, int tol = 1) {
  if (std::abs(got.r - want.r) <= tol && std::abs(got.g - want.g) <= tol && std::abs(got.b - want.b) <= tol)
    return ::testing::AssertionSuccess();
  std::ostringstream os;
  os << "got " << got << " want " << want << " +-" << tol;
  return ::testing::AssertionFailure() << os.str();
}

// One frame read back from the window.
struct Shot {
  int width = 0;
  std::vector<unsigned char> px;  // bottom row first, RGB
  Rgb at(int x, int y) const {
    const unsigned char* p = px.data() + (static_cast<size_t>(y) * width + x) * 3;
    return {p[0], p[1], p[2]};
  }
  Rgb at(cocos2d::Vec2 p) const { return at(static_cast<int>(std::floor(p.x)), static_cast<int>(std::floor(p.y))); }
  int grey(cocos2d::Vec2 p) const { return at(p).r; }
};

// Renders two frames and reads the second back (w × h); also saves it as
// the PNG `name`, top row first.
inline Shot captureFrame(const std::string& name, int w, int h) {
  Shot shot;
  shot.width = w;
  cocos2d::Director* d = cocos2d::Director::getInstance();
  d->stepFrame();
  auto* gl = dynamic_cast<cocos2d::RendererGL*>(d->getRenderer()->getBackend());
  gl->runAfterNextFrame([&shot, w, h] {
    shot.px.resize(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, shot.px.data());
  });
  d->stepFrame();
  std::vector<unsigned char> flipped(shot.px.size());
  for (int r = 0; r < h; ++r) std::memcpy(&flipped[r * w * 3], &shot.px[(h - 1 - r) * w * 3], w * 3);
  cocos2d::Image::writePng(name, flipped.data(), w, h, 3);
  return shot;
}

// Steps the Director n frames at its own pace.
inline void stepWindowFrames(int n) {
  for (int i = 0; i < n; ++i) cocos2d::Director::getInstance()->stepFrame();
}

// Pushes a mouse button event (SDL coordinates, y down) to the window.
inline void pushButton(Uint32 windowId, Uint32 type, Uint8 button, int x, int y) {
  SDL_Event e{};
  e.type = type;
  e.button.windowID = windowId;
  e.button.button = button;
  e.button.x = x;
  e.button.y = y;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
}
// Pushes a mouse motion with the buttons in `state` held.
inline void pushMotion(Uint32 windowId, int x, int y, int dx, int dy, Uint32 state) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = windowId;
  e.motion.x = x;
  e.motion.y = y;
  e.motion.xrel = dx;
  e.motion.yrel = dy;
  e.motion.state = state;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
}

// A real window of width × height titled `title` with a fresh running scene,
// the notification centre's tick under way and the CT phantom loaded; the
// render windows added show it. A test's SetUp calls this first and stops
// when it skipped or failed (see ready()).
class WindowTest : public ::testing::Test {
 protected:
  WindowTest(const char* title, int width, int height, std::optional<cocos2d::Color4F> clearColour = std::nullopt)
      : title(title), width(width), height(height), clearColour(clearColour) {}

  void SetUp() override {
    if (noScreen) GTEST_SKIP() << "no display and no Xvfb";
    cocos2d::FileUtils::getInstance()->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
    view = cocos2d::GLViewImpl::createWithRect(title, cocos2d::Rect(0, 0, width, height));
    ASSERT_NE(view, nullptr);
    cocos2d::Director* d = cocos2d::Director::getInstance();
    d->setOpenGLView(view);
    if (clearColour) d->setClearColor(*clearColour);
    scene = cocos2d::Scene::create();
    d->runWithScene(scene);
    NSUI::NSNotificationCenter::getInstance();
    d->stepFrame(0.6f);
    image = makePhantomImage(256, 256, 200, 0.7f, 0.7f, 1.25f);
  }
  void TearDown() override {
    if (image) image->release();
    cocos2d::Director::getInstance()->end();
    cocos2d::Director::destroyInstance();
  }
  bool ready() const { return !IsSkipped() && !HasFatalFailure(); }

  // Adds a render window of `size` at `origin` showing the phantom.
  TestWindow* addWindow(const cocos2d::Size& size, const cocos2d::Vec2& origin) {
    TestWindow* w = TestWindow::create(size);
    scene->addChild(w);
    w->setPosition(origin);
    windows.push_back(w);
    actors.push_back(w->show(image));
    return w;
  }

  Shot capture(const std::string& name) const { return captureFrame(name, width, height); }

  // Screen point (window pixels, origin bottom-left) of a world point in
  // window w.
  cocos2d::Vec2 screen(int w, const cocos2d::Vec3& world) const {
    return windows[w]->getPosition() + windows[w]->worldToScreen(world);
  }
  // Screen point of the centre of pixel (i, j) of what window w's actor shows.
  cocos2d::Vec2 screenOf(int w, float i, float j) const {
    const isImageSDK::SliceRecord* r = actors[w]->getOutputSliceInfo();
    return screen(w, r->matrix.transformPoint(cocos2d::Vec3(i * r->spacingX, j * r->spacingY, 0)));
  }

  const char* title;
  int width, height;
  std::optional<cocos2d::Color4F> clearColour;
  cocos2d::GLViewImpl* view = nullptr;
  cocos2d::Scene* scene = nullptr;
  isImageSDK::isImageData* image = nullptr;
  std::vector<TestWindow*> windows;
  std::vector<isImageSDK::isActorImage*> actors;
};

// The body of each program's main: software GL, no sound, its own Xvfb
// when there is no display.
inline int runWindowTests(int argc, char** argv) {
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  noScreen = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace viewtest
