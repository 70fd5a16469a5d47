// What every window test of the screens shares: a scratch folder for the
// program's writable files, the built resources and the language table, a
// real SDL window with a scene and a background behind the pop-up, frame
// stepping, input pushed through SDL and screenshots.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <SDL2/SDL.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/platform/Image.h"
#include "engine_gl/support_xvfb.h"
#include "support/window_input.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/widgets/NSResponseWindow.h"

namespace screentest {

// Set by main: no display and no Xvfb to start one.
inline bool g_noScreen = false;

// main's part: a virtual screen of the program's own unless the run only
// lists the cases.
inline void startScreenUnlessListing(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::string(argv[i]) == "--gtest_list_tests";
  if (!listing) g_noScreen = startVirtualScreen(argc, argv);
}

class ScreenWindow : public ::testing::Test {
 protected:
  // The window `name` of width × height with `background` behind the
  // pop-up; `settleFrames` frames are stepped before input starts (the
  // notification centre's first tick comes after half a second).
  void openScreen(const std::string& name, int width, int height, const cocos2d::Color4B& background,
                  int settleFrames) {
    namespace fs = std::filesystem;
    windowHeight = height;
    dir = (fs::temp_directory_path() / ("fw-" + name + "-" + std::to_string(getpid()))).string();
    fs::remove_all(dir);
    fs::create_directories(dir + "/w");
    const char* keep = std::getenv("FW_SHOT_DIR");
    shotDir = keep && *keep ? std::string(keep) + "/" : dir + "/";
    fs::create_directories(shotDir);
    auto* files = cocos2d::FileUtils::getInstance();
    files->setWritablePath(dir + "/w/");
    files->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
    files->setSearchPaths({"res/pad/"});
    config = AppConfig::getInstance();
    config->retain();
    config->languageTable.load();
    NSUI::setLocalizedStringTable(&config->languageTable);
    auto* view = cocos2d::GLViewImpl::createWithRect(name, cocos2d::Rect(0, 0, width, height));
    ASSERT_NE(view, nullptr);
    director()->setOpenGLView(view);
    scene = cocos2d::Scene::create();
    director()->runWithScene(scene);
    scene->addChild(cocos2d::LayerColor::create(background), -10);
    NSUI::NSNotificationCenter::getInstance();
    step(settleFrames);
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
  }

  // Language table off, configuration released, director gone; the folder
  // is removed unless the screenshots were asked to stay there.
  void closeScreen() {
    NSUI::setLocalizedStringTable(nullptr);
    if (config) config->release();
    config = nullptr;
    cocos2d::Director::destroyInstance();
    if (!std::getenv("FW_SHOT_DIR")) std::filesystem::remove_all(dir);
  }

  cocos2d::Director* director() const { return cocos2d::Director::getInstance(); }

  // Frames of 1/60 s of the screen's time, `frameSleepMs` of wall-clock
  // time apart (peers and the library's threads run meanwhile).
  void step(int frames = 1) {
    for (int i = 0; i < frames; ++i) {
      director()->stepFrame(1.0f / 60);
      afterFrame();
      if (frameSleepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(frameSleepMs));
    }
  }
  // Frames until `done` holds or `seconds` of wall-clock time have passed.
  bool stepUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return done();
      step();
    }
    return true;
  }
  virtual void afterFrame() {}

  fwtest::WindowInput input() const { return fwtest::WindowInput(windowId, windowHeight); }
  static cocos2d::Vec2 centreOf(cocos2d::Node* n) {
    return n->convertToWorldSpace(cocos2d::Vec2(n->getContentSize().width * 0.5f, n->getContentSize().height * 0.5f));
  }
  // Renders, captures and keeps a PNG copy as `name`.
  void capture(const std::string& name, cocos2d::Image& img) {
    fwtest::captureWindow(shotDir + name + ".png", img, [this] { step(); });
  }

  std::string dir;
  std::string shotDir;
  AppConfig* config = nullptr;
  cocos2d::Scene* scene = nullptr;
  NSUI::NSResponseWindow* window = nullptr;
  Uint32 windowId = 0;
  int windowHeight = 0;
  int frameSleepMs = 12;
};

}  // namespace screentest
