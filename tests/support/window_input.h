// Input and pictures for tests that drive a real SDL window: events pushed
// into the window's queue (handled at the next frame, through the same path
// as a user's), and screenshots read back as pixels. Points are in window
// units with the origin at the bottom left, as the engine counts them.
#pragma once

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "engine/cocos2d.h"
#include "engine/platform/Image.h"
#include "tests/support/sdl_events.h"

namespace fwtest {

struct Rgb {
  int r, g, b;
};

inline bool near(Rgb c, Rgb want, int tol = 40) {
  return std::abs(c.r - want.r) <= tol && std::abs(c.g - want.g) <= tol && std::abs(c.b - want.b) <= tol;
}

// Pixel (x, y) of a captured picture, origin bottom-left.
inline Rgb pixelAt(const cocos2d::Image& img, int x, int y) {
  const unsigned char* p =
      img.getData() + (static_cast<size_t>(img.getHeight() - 1 - y) * img.getWidth() + x) * img.getComponents();
  return {p[0], p[1], p[2]};
}

// Pushes events into one window; `height` turns engine points into the
// window's top-down rows.
class WindowInput {
 public:
  WindowInput() = default;
  WindowInput(Uint32 windowId, int height) : windowId(windowId), height(height) {}

  void push(SDL_Event e) const { ASSERT_EQ(SDL_PushEvent(&e), 1); }

  // Mouse button 0 left, 1 right, 2 middle.
  void mouseButton(bool down, cocos2d::Vec2 p, int button = 0) const {
    push(mouseButtonEvent(windowId, height, down, p, button));
  }
  // A move, with the left button held when `held`.
  void mouseMove(cocos2d::Vec2 p, bool held = false) const {
    push(mouseMoveEvent(windowId, height, p, held ? SDL_BUTTON_LMASK : 0));
  }
  // Text typed into the focused field (under 32 bytes).
  void text(const std::string& utf8) const { push(textEvent(windowId, utf8)); }
  // A key pressed and released.
  void key(SDL_Keycode sym) const {
    for (Uint32 type : {SDL_KEYDOWN, SDL_KEYUP}) push(keyEvent(windowId, type, sym));
  }
  // Wheel notches (positive: away from the user) where the pointer is.
  void wheel(int notchesAway) const { push(wheelEvent(windowId, notchesAway)); }

  Uint32 windowId = 0;
  int height = 0;
};

// Renders, captures the window into `img` and keeps a PNG copy at
// `pngPath`; `step` runs one frame (the capture completes in a frame).
inline void captureWindow(const std::string& pngPath, cocos2d::Image& img, const std::function<void()>& step) {
  const std::string jpg = pngPath + ".jpg";
  bool done = false;
  cocos2d::utils::captureScreen([&](bool ok, const std::string&) { done = ok; }, jpg);
  for (int i = 0; i < 5 && !done; ++i) step();
  ASSERT_TRUE(done);
  ASSERT_TRUE(img.initWithImageFile(jpg));
  ASSERT_TRUE(img.saveToFile(pngPath));
  std::remove(jpg.c_str());
}

}  // namespace fwtest
