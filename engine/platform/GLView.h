// The view the Director draws into, and the way input enters the engine.
//
// Design size = frame size (policy FIXED_HEIGHT, content scale 1), so one
// design unit is one window pixel. Every location handed to the inject*
// functions and delivered to listeners is in design units with the origin
// bottom-left and y up.
//
// Input model (the windowed view translates its platform events by calling
// the same inject* functions that headless tests call):
//  - The left mouse button gives both mouse events and touch id 0 (began,
//    moved while held, ended; cancelled on focus loss, minimise and scene
//    switches). Right and middle buttons are mouse-only. The mouse event is
//    dispatched before the touch.
//  - Wheel: a notch away from the user gives getScrollY() = -1.
//  - Escape is dispatched as a key and then runs the back-key chain.
//    Backspace also sends deleteBackward to the IME delegate; Enter and
//    keypad Enter also insert "\n".
//  - Every input event updates Touch::getTimeStamp().
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/base/Event.h"
#include "engine/base/Ref.h"
#include "engine/math/Geometry.h"

NS_CC_BEGIN

// Bits per channel and buffer of the GL context to create.
struct GLContextAttrs {
  int redBits = 8;
  int greenBits = 8;
  int blueBits = 8;
  int alphaBits = 8;
  int depthBits = 24;
  int stencilBits = 8;
};

enum class ResolutionPolicy {
  EXACT_FIT = 0,
  NO_BORDER = 1,
  SHOW_ALL = 2,
  FIXED_HEIGHT = 3,
  FIXED_WIDTH = 4,
  UNKNOWN,
};

class GLView : public Ref {
 public:
  // Taken by the window when it creates its context.
  static void setGLContextAttrs(GLContextAttrs& attrs);
  static GLContextAttrs getGLContextAttrs();
  static GLContextAttrs _glContextAttrs;

  GLView();
  ~GLView() override;

  // ------------------------------------------------------------ window
  // Closes the window (no-op headless).
  virtual void end() {}
  virtual bool isOpenGLReady() { return false; }
  virtual void swapBuffers() {}
  // Translates pending platform events into inject* calls (frame step 1).
  virtual void pollEvents() {}
  virtual bool windowShouldClose() { return false; }
  // Starts or stops platform text input (there is no on-screen keyboard).
  virtual void setIMEKeyboardState(bool open) { _imeOpen = open; }
  bool isIMEKeyboardOpen() const { return _imeOpen; }
  virtual bool isHeadless() const { return false; }

  // ------------------------------------------------------------ sizes
  virtual const Size& getFrameSize() const { return _screenSize; }
  virtual void setFrameSize(float width, float height);
  // Only FIXED_HEIGHT exists: design size = frame size. Other policies are
  // logged and treated as FIXED_HEIGHT; a size different from the frame
  // size is logged and replaced by the frame size.
  virtual void setDesignResolutionSize(float width, float height, ResolutionPolicy policy);
  virtual const Size& getDesignResolutionSize() const { return _designResolutionSize; }
  ResolutionPolicy getResolutionPolicy() const { return ResolutionPolicy::FIXED_HEIGHT; }
  virtual Size getVisibleSize() const { return _designResolutionSize; }
  virtual Vec2 getVisibleOrigin() const { return Vec2::ZERO; }
  virtual Rect getVisibleRect() const { return Rect(Vec2::ZERO, getVisibleSize()); }
  float getScaleX() const { return 1.0f; }
  float getScaleY() const { return 1.0f; }
  virtual float getFrameZoomFactor() const { return 1.0f; }
  void setViewName(const std::string& name) { _viewName = name; }
  const std::string& getViewName() const { return _viewName; }

  // ------------------------------------------------------------ input
  // button: 0 left, 1 right, 2 middle (others are mouse-only too).
  void injectMouseDown(float x, float y, int button);
  void injectMouseUp(float x, float y, int button);
  // button is informative; the left button's touch moves while it is held.
  void injectMouseMove(float x, float y, int button = -1);
  // dy: notches, negative away from the user; dx: horizontal notches.
  void injectScroll(float x, float y, float dy, float dx = 0);
  // Touch-screen points; ids >= 1 (id 0 is the left mouse button).
  void injectTouches(EventTouch::EventCode phase, const std::vector<int>& ids, const std::vector<Vec2>& points);
  void injectKey(EventKeyboard::KeyCode code, bool down);
  // Text typed (UTF-8) for the IME delegate.
  void injectText(const std::string& utf8);
  // A path handed in by the platform (a dropped file), given to the
  // application's applicationOpenPath.
  void injectDrop(const std::string& path);
  // Focus lost: the active touches are cancelled.
  void injectFocusLost();
  // Minimised / restored: touches cancelled; the application's background
  // and foreground entries.
  void injectMinimize();
  void injectRestore();
  // Cancels every active touch (scene switches call it too).
  void cancelAllTouches();
  size_t getActiveTouchCount() const { return _activeTouches.size(); }

  Vec2 getMouseLocation() const { return _mouseLocation; }

 protected:
  Size _screenSize;
  Size _designResolutionSize;
  std::string _viewName;
  bool _imeOpen = false;

 private:
  void dispatchTouches(EventTouch::EventCode phase, const std::vector<int>& ids, const std::vector<Vec2>& points);
  void dispatchMouse(EventMouse& event);

  std::map<int, Touch*> _activeTouches;  // retained
  Vec2 _mouseLocation;
  Vec2 _mouseDownLocation;
  bool _leftButtonDown = false;
  bool _minimized = false;
};

NS_CC_END
