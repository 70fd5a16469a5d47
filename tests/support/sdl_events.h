// SDL input events for one window, built the way SDL delivers them: points
// in engine units with the origin at the bottom left are turned into the
// window's top-down rows with `height`. Shared by the window tests' input
// helper and the viewer harness; no test framework needed.
#pragma once

#include <SDL2/SDL.h>

#include <cstdio>
#include <string>

#include "engine/cocos2d.h"

namespace fwtest {

// Mouse button 0 left, 1 right, 2 middle.
inline SDL_Event mouseButtonEvent(Uint32 windowId, int height, bool down, const cocos2d::Vec2& p, int button = 0) {
  SDL_Event e{};
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.windowID = windowId;
  e.button.button = button == 1 ? SDL_BUTTON_RIGHT : button == 2 ? SDL_BUTTON_MIDDLE : SDL_BUTTON_LEFT;
  e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = 1;
  e.button.x = static_cast<int>(p.x);
  e.button.y = height - static_cast<int>(p.y);
  return e;
}

// A move with the buttons of `buttonMask` (SDL_BUTTON_LMASK...) held.
inline SDL_Event mouseMoveEvent(Uint32 windowId, int height, const cocos2d::Vec2& p, Uint32 buttonMask = 0) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = windowId;
  e.motion.x = static_cast<int>(p.x);
  e.motion.y = height - static_cast<int>(p.y);
  e.motion.state = buttonMask;
  return e;
}

// SDL_KEYDOWN or SDL_KEYUP of one key.
inline SDL_Event keyEvent(Uint32 windowId, Uint32 type, SDL_Keycode sym) {
  SDL_Event e{};
  e.type = type;
  e.key.windowID = windowId;
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.sym = sym;
  e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
  return e;
}

// Wheel notches (positive: away from the user) where the pointer is.
inline SDL_Event wheelEvent(Uint32 windowId, int notchesAway) {
  SDL_Event w{};
  w.type = SDL_MOUSEWHEEL;
  w.wheel.windowID = windowId;
  w.wheel.y = notchesAway;
  w.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  return w;
}

// Text typed into the focused field (under 32 bytes).
inline SDL_Event textEvent(Uint32 windowId, const std::string& utf8) {
  SDL_Event t{};
  t.type = SDL_TEXTINPUT;
  t.text.windowID = windowId;
  std::snprintf(t.text.text, sizeof t.text.text, "%s", utf8.c_str());
  return t;
}

}  // namespace fwtest
