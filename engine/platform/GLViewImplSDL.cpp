// The windowed view: an SDL2 window with a GL compatibility context (GLEW),
// its platform events translated into the GLView inject* calls, and the
// application's frame loop.
#include <SDL2/SDL.h>

#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include "engine/base/Configuration.h"
#include "engine/base/Director.h"
#include "engine/base/Event.h"
#include "engine/base/ccLog.h"
#include "engine/platform/Application.h"
#include "engine/platform/CCGL.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/renderer/GLProgramCache.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/RendererGL.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

namespace {

using KeyCode = EventKeyboard::KeyCode;

KeyCode translateKey(SDL_Keycode k) {
  if (k >= SDLK_a && k <= SDLK_z)
    return static_cast<KeyCode>(static_cast<int>(KeyCode::KEY_A) + (k - SDLK_a));
  if (k >= SDLK_0 && k <= SDLK_9)
    return static_cast<KeyCode>(static_cast<int>(KeyCode::KEY_0) + (k - SDLK_0));
  if (k >= SDLK_F1 && k <= SDLK_F12)
    return static_cast<KeyCode>(static_cast<int>(KeyCode::KEY_F1) + (k - SDLK_F1));
  switch (k) {
    case SDLK_ESCAPE: return KeyCode::KEY_ESCAPE;
    case SDLK_BACKSPACE: return KeyCode::KEY_BACKSPACE;
    case SDLK_TAB: return KeyCode::KEY_TAB;
    case SDLK_RETURN: return KeyCode::KEY_ENTER;
    case SDLK_KP_ENTER: return KeyCode::KEY_KP_ENTER;
    case SDLK_CAPSLOCK: return KeyCode::KEY_CAPS_LOCK;
    case SDLK_LSHIFT: return KeyCode::KEY_LEFT_SHIFT;
    case SDLK_RSHIFT: return KeyCode::KEY_RIGHT_SHIFT;
    case SDLK_LCTRL: return KeyCode::KEY_LEFT_CTRL;
    case SDLK_RCTRL: return KeyCode::KEY_RIGHT_CTRL;
    case SDLK_LALT: return KeyCode::KEY_LEFT_ALT;
    case SDLK_RALT: return KeyCode::KEY_RIGHT_ALT;
    case SDLK_MENU: return KeyCode::KEY_MENU;
    case SDLK_INSERT: return KeyCode::KEY_INSERT;
    case SDLK_HOME: return KeyCode::KEY_HOME;
    case SDLK_PAGEUP: return KeyCode::KEY_PG_UP;
    case SDLK_DELETE: return KeyCode::KEY_DELETE;
    case SDLK_END: return KeyCode::KEY_END;
    case SDLK_PAGEDOWN: return KeyCode::KEY_PG_DOWN;
    case SDLK_LEFT: return KeyCode::KEY_LEFT_ARROW;
    case SDLK_RIGHT: return KeyCode::KEY_RIGHT_ARROW;
    case SDLK_UP: return KeyCode::KEY_UP_ARROW;
    case SDLK_DOWN: return KeyCode::KEY_DOWN_ARROW;
    case SDLK_NUMLOCKCLEAR: return KeyCode::KEY_NUM_LOCK;
    case SDLK_KP_PLUS: return KeyCode::KEY_KP_PLUS;
    case SDLK_KP_MINUS: return KeyCode::KEY_KP_MINUS;
    case SDLK_KP_MULTIPLY: return KeyCode::KEY_KP_MULTIPLY;
    case SDLK_KP_DIVIDE: return KeyCode::KEY_KP_DIVIDE;
    case SDLK_PAUSE: return KeyCode::KEY_PAUSE;
    case SDLK_SCROLLLOCK: return KeyCode::KEY_SCROLL_LOCK;
    case SDLK_PRINTSCREEN: return KeyCode::KEY_PRINT;
    case SDLK_SPACE: return KeyCode::KEY_SPACE;
    case SDLK_QUOTE: return KeyCode::KEY_APOSTROPHE;
    case SDLK_COMMA: return KeyCode::KEY_COMMA;
    case SDLK_MINUS: return KeyCode::KEY_MINUS;
    case SDLK_PERIOD: return KeyCode::KEY_PERIOD;
    case SDLK_SLASH: return KeyCode::KEY_SLASH;
    case SDLK_SEMICOLON: return KeyCode::KEY_SEMICOLON;
    case SDLK_EQUALS: return KeyCode::KEY_EQUAL;
    case SDLK_LEFTBRACKET: return KeyCode::KEY_LEFT_BRACKET;
    case SDLK_BACKSLASH: return KeyCode::KEY_BACK_SLASH;
    case SDLK_RIGHTBRACKET: return KeyCode::KEY_RIGHT_BRACKET;
    case SDLK_BACKQUOTE: return KeyCode::KEY_GRAVE;
    default: return KeyCode::KEY_NONE;
  }
}

// SDL buttons 1 left, 2 middle, 3 right -> 0 left, 1 right, 2 middle.
int translateButton(Uint8 b) {
  switch (b) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    default: return b - 1;
  }
}

bool initVideo() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  // Keep mouse and touch apart: the view makes touch 0 from the left button
  // itself, and real fingers arrive as touches only.
  SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
  SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    log("GLViewImpl: SDL video init failed: %s", SDL_GetError());
    return false;
  }
  return true;
}

class GLViewSDL : public GLViewImpl {
 public:
  bool init(const std::string& title, const Rect& rect, float zoom);
  ~GLViewSDL() override;

  void end() override;
  void swapBuffers() override;
  void pollEvents() override;
  bool windowShouldClose() override { return _shouldClose; }
  void setIMEKeyboardState(bool open) override;
  float getFrameZoomFactor() const override { return _zoom; }

 private:
  Vec2 toDesign(float x, float y) const { return Vec2(x, _screenSize.height - y); }
  void handle(const SDL_Event& e);
  int touchIdFor(SDL_FingerID finger, bool create);

  SDL_Window* _window = nullptr;
  SDL_GLContext _context = nullptr;
  float _zoom = 1.0f;
  bool _shouldClose = false;
  int _mouseButtonsHeld = 0;
  std::map<SDL_FingerID, int> _fingers;
};

bool GLViewSDL::init(const std::string& title, const Rect& rect, float zoom) {
  if (!initVideo()) return false;
  _headless = false;
  _zoom = zoom > 0 ? zoom : 1.0f;
  if (_zoom != 1.0f) log("GLViewImpl: frame zoom %.2f ignored (one design unit is one pixel)", _zoom);
  _zoom = 1.0f;
  const GLContextAttrs attrs = GLView::getGLContextAttrs();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, attrs.redBits);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, attrs.greenBits);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, attrs.blueBits);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, attrs.alphaBits);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, attrs.depthBits);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, attrs.stencilBits);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);

  const int w = static_cast<int>(rect.size.width), h = static_cast<int>(rect.size.height);
  if (w <= 0 || h <= 0) {
    log("GLViewImpl: empty window rectangle");
    return false;
  }
  _window = SDL_CreateWindow(title.c_str(), static_cast<int>(rect.origin.x),
                             static_cast<int>(rect.origin.y), w, h, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  if (!_window) {
    log("GLViewImpl: cannot create the window: %s", SDL_GetError());
    return false;
  }
  _context = SDL_GL_CreateContext(_window);
  if (!_context) {
    log("GLViewImpl: cannot create a GL 3.0 compatibility context: %s", SDL_GetError());
    return false;
  }
  SDL_GL_MakeCurrent(_window, _context);
  SDL_GL_SetSwapInterval(0);  // the frame loop paces itself
  glewExperimental = GL_TRUE;
  GLenum glewErr = glewInit();
  // GLEW may report a missing GLX extension loader on some setups while the
  // core entry points are fine; only a missing glCreateShader is fatal.
  if (glewErr != GLEW_OK && !glCreateShader) {
    log("GLViewImpl: GLEW init failed: %s", reinterpret_cast<const char*>(glewGetErrorString(glewErr)));
    return false;
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  GLint major = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  if (major < 3) {
    log("GLViewImpl: GL %s is older than 3.0", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    return false;
  }
  log("GLViewImpl: %s, GL %s", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
      reinterpret_cast<const char*>(glGetString(GL_VERSION)));
  GL::setContextReady(true);
  _glReady = true;
  Director::getInstance()->getRenderer()->setBackend(std::make_unique<RendererGL>());
  Configuration::getInstance()->gatherGPUInfo();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glEnable(GL_PROGRAM_POINT_SIZE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glViewport(0, 0, w, h);

  setViewName(title);
  setFrameSize(static_cast<float>(w), static_cast<float>(h));
  setDesignResolutionSize(static_cast<float>(w), static_cast<float>(h), ResolutionPolicy::FIXED_HEIGHT);
  SDL_StopTextInput();
  SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
  return true;
}

GLViewSDL::~GLViewSDL() { end(); }

void GLViewSDL::end() {
  if (_context) {
    // The renderer's GL backend stays installed and goes inert without a
    // context (this may run while the Director is being destroyed).
    GLProgramCache::getInstance()->purge();
    GL::setContextReady(false);
    _glReady = false;
    SDL_GL_DeleteContext(_context);
    _context = nullptr;
  }
  if (_window) {
    SDL_DestroyWindow(_window);
    _window = nullptr;
    // Last window gone: let SDL release what it holds (its D-Bus link too).
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
  }
  _shouldClose = true;
}

void GLViewSDL::swapBuffers() {
  if (_window) SDL_GL_SwapWindow(_window);
}

void GLViewSDL::setIMEKeyboardState(bool open) {
  GLView::setIMEKeyboardState(open);
  if (open) SDL_StartTextInput();
  else SDL_StopTextInput();
}

int GLViewSDL::touchIdFor(SDL_FingerID finger, bool create) {
  auto it = _fingers.find(finger);
  if (it != _fingers.end()) return it->second;
  if (!create) return -1;
  int id = 1;  // 0 belongs to the left mouse button
  for (bool taken = true; taken;) {
    taken = false;
    for (auto& kv : _fingers)
      if (kv.second == id) {
        taken = true;
        ++id;
      }
  }
  _fingers[finger] = id;
  return id;
}

void GLViewSDL::pollEvents() {
  if (!_window) return;
  SDL_Event e;
  while (SDL_PollEvent(&e)) handle(e);
}

void GLViewSDL::handle(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      _shouldClose = true;
      Director::getInstance()->end();
      break;
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_LOST: injectFocusLost(); break;
        case SDL_WINDOWEVENT_MINIMIZED: injectMinimize(); break;
        case SDL_WINDOWEVENT_RESTORED: injectRestore(); break;
        case SDL_WINDOWEVENT_CLOSE:
          _shouldClose = true;
          Director::getInstance()->end();
          break;
        default: break;
      }
      break;
    case SDL_MOUSEMOTION: {
      if (e.motion.which == SDL_TOUCH_MOUSEID) break;
      Vec2 p = toDesign(static_cast<float>(e.motion.x), static_cast<float>(e.motion.y));
      int button = -1;
      if (e.motion.state & SDL_BUTTON_LMASK) button = 0;
      else if (e.motion.state & SDL_BUTTON_RMASK) button = 1;
      else if (e.motion.state & SDL_BUTTON_MMASK) button = 2;
      injectMouseMove(p.x, p.y, button);
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      if (e.button.which == SDL_TOUCH_MOUSEID) break;
      Vec2 p = toDesign(static_cast<float>(e.button.x), static_cast<float>(e.button.y));
      const int b = translateButton(e.button.button);
      if (e.type == SDL_MOUSEBUTTONDOWN) injectMouseDown(p.x, p.y, b);
      else injectMouseUp(p.x, p.y, b);
      break;
    }
    case SDL_MOUSEWHEEL: {
      if (e.wheel.which == SDL_TOUCH_MOUSEID) break;
      int mx = 0, my = 0;
      SDL_GetMouseState(&mx, &my);
      Vec2 p = toDesign(static_cast<float>(mx), static_cast<float>(my));
      float dy = static_cast<float>(e.wheel.y), dx = static_cast<float>(e.wheel.x);
      if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) {
        dy = -dy;
        dx = -dx;
      }
      // SDL: positive y is away from the user; the engine reports -1 for that.
      injectScroll(p.x, p.y, -dy, dx);
      break;
    }
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP: {
      const Vec2 p(e.tfinger.x * _screenSize.width, (1.0f - e.tfinger.y) * _screenSize.height);
      const int id = touchIdFor(e.tfinger.fingerId, e.type == SDL_FINGERDOWN);
      if (id < 0) break;
      EventTouch::EventCode code = e.type == SDL_FINGERDOWN   ? EventTouch::EventCode::BEGAN
                                   : e.type == SDL_FINGERUP ? EventTouch::EventCode::ENDED
                                                            : EventTouch::EventCode::MOVED;
      injectTouches(code, {id}, {p});
      if (e.type == SDL_FINGERUP) _fingers.erase(e.tfinger.fingerId);
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const SDL_Keycode sym = e.key.keysym.sym;
      const KeyCode code = translateKey(sym);
      const bool down = e.type == SDL_KEYDOWN;
      if (code != KeyCode::KEY_NONE) injectKey(code, down);
      // Paste: the clipboard's text goes to the text input.
      if (down && sym == SDLK_v && (e.key.keysym.mod & KMOD_CTRL) && isIMEKeyboardOpen() &&
          SDL_HasClipboardText()) {
        if (char* text = SDL_GetClipboardText()) {
          injectText(text);
          SDL_free(text);
        }
      }
      break;
    }
    case SDL_TEXTINPUT:
      injectText(e.text.text);
      break;
    case SDL_DROPFILE:
      if (e.drop.file) {
        injectDrop(e.drop.file);
        SDL_free(e.drop.file);
      }
      break;
    default:
      break;
  }
}

void runWindowedLoop(Application*) {
  Director* director = Director::getInstance();
  auto next = std::chrono::steady_clock::now();
  while (!director->isQuitRequested()) {
    director->mainLoop();
    GLView* view = director->getOpenGLView();
    if (view && view->windowShouldClose()) break;
    next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(director->getAnimationInterval()));
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;  // fell behind: no burst of catch-up frames
    std::this_thread::sleep_until(next);
  }
}

}  // namespace

GLViewImpl* GLViewImpl::createWithRect(const std::string& viewName, Rect rect, float frameZoomFactor) {
  auto* view = new GLViewSDL;
  if (!view->init(viewName, rect, frameZoomFactor)) {
    view->end();
    delete view;
    return nullptr;
  }
  view->autorelease();
  if (!Application::hasFrameLoop()) Application::setFrameLoop(runWindowedLoop);
  return view;
}

Rect GLViewImpl::getWorkAreaClientRect() {
  if (!initVideo()) return Rect::ZERO;
  SDL_Rect usable{0, 0, 0, 0};
  if (SDL_GetDisplayUsableBounds(0, &usable) != 0) SDL_GetDisplayBounds(0, &usable);
  int top = 0, left = 0, bottom = 0, right = 0;
  // Decorations are only known for a window the manager has framed.
  if (SDL_Window* probe = SDL_CreateWindow("", usable.x, usable.y, 64, 64, SDL_WINDOW_HIDDEN)) {
    if (SDL_GetWindowBordersSize(probe, &top, &left, &bottom, &right) != 0) top = left = bottom = right = 0;
    SDL_DestroyWindow(probe);
  }
  return Rect(static_cast<float>(usable.x + left), static_cast<float>(usable.y + top),
              static_cast<float>(usable.w - left - right), static_cast<float>(usable.h - top - bottom));
}

NS_CC_END
