#include "engine/platform/GLView.h"

#include "engine/base/Director.h"
#include "engine/base/EventDispatcher.h"
#include "engine/base/IMEDispatcher.h"
#include "engine/base/Vector.h"
#include "engine/base/ccLog.h"
#include "engine/platform/Application.h"

NS_CC_BEGIN

GLContextAttrs GLView::_glContextAttrs;

void GLView::setGLContextAttrs(GLContextAttrs& attrs) { _glContextAttrs = attrs; }

GLContextAttrs GLView::getGLContextAttrs() { return _glContextAttrs; }

GLView::GLView() = default;

GLView::~GLView() {
  for (auto& kv : _activeTouches) kv.second->release();
  _activeTouches.clear();
}

void GLView::setFrameSize(float width, float height) {
  _screenSize = Size(width, height);
  _designResolutionSize = _screenSize;
}

void GLView::setDesignResolutionSize(float width, float height, ResolutionPolicy policy) {
  if (policy != ResolutionPolicy::FIXED_HEIGHT)
    log("GLView: resolution policy %d is treated as FIXED_HEIGHT", static_cast<int>(policy));
  if (width != _screenSize.width || height != _screenSize.height)
    log("GLView: design size %gx%g differs from the frame size %gx%g; the frame size is used", width, height,
        _screenSize.width, _screenSize.height);
  _designResolutionSize = _screenSize;
}

// ------------------------------------------------------------ dispatch
namespace {
EventDispatcher* dispatcher() {
  Director* d = Director::getInstanceIfExists();
  return d ? d->getEventDispatcher() : nullptr;
}
}  // namespace

void GLView::dispatchMouse(EventMouse& event) {
  if (EventDispatcher* ed = dispatcher()) ed->dispatchEvent(&event);
}

void GLView::dispatchTouches(EventTouch::EventCode phase, const std::vector<int>& ids,
                             const std::vector<Vec2>& points) {
  std::vector<Touch*> touches;
  Vector<Touch*> keep;  // alive through the dispatch even when ended
  for (size_t i = 0; i < ids.size() && i < points.size(); ++i) {
    const int id = ids[i];
    auto it = _activeTouches.find(id);
    Touch* touch = nullptr;
    if (phase == EventTouch::EventCode::BEGAN) {
      if (it != _activeTouches.end()) continue;  // already down
      touch = new Touch();
      touch->setTouchInfo(id, points[i].x, points[i].y);
      _activeTouches[id] = touch;  // the reference from new
    } else {
      if (it == _activeTouches.end()) continue;  // not down: ignored
      touch = it->second;
      touch->setTouchInfo(id, points[i].x, points[i].y);
    }
    keep.pushBack(touch);
    touches.push_back(touch);
    if (phase == EventTouch::EventCode::ENDED || phase == EventTouch::EventCode::CANCELLED) {
      _activeTouches.erase(id);
      touch->release();  // keep holds it for the dispatch
    }
  }
  if (touches.empty()) return;
  EventTouch event;
  event.setEventCode(phase);
  event.setTouches(touches);
  if (EventDispatcher* ed = dispatcher()) ed->dispatchEvent(&event);
}

void GLView::injectMouseDown(float x, float y, int button) {
  Touch::updateTimeStamp();
  _mouseLocation.set(x, y);
  EventMouse event(EventMouse::MouseEventType::MOUSE_DOWN);
  event.setCursorPosition(x, y);
  event.setPreviousCursorPosition(x, y);
  event.setStartLocation(Vec2(x, y));
  event.setMouseButton(static_cast<EventMouse::MouseButton>(button));
  if (button == EventMouse::BUTTON_LEFT) _mouseDownLocation.set(x, y);
  dispatchMouse(event);
  if (button == EventMouse::BUTTON_LEFT && !_leftButtonDown) {
    _leftButtonDown = true;
    dispatchTouches(EventTouch::EventCode::BEGAN, {0}, {Vec2(x, y)});
  }
}

void GLView::injectMouseUp(float x, float y, int button) {
  Touch::updateTimeStamp();
  const Vec2 previous = _mouseLocation;
  _mouseLocation.set(x, y);
  EventMouse event(EventMouse::MouseEventType::MOUSE_UP);
  event.setCursorPosition(x, y);
  event.setPreviousCursorPosition(previous.x, previous.y);
  event.setStartLocation(_mouseDownLocation);
  event.setMouseButton(static_cast<EventMouse::MouseButton>(button));
  dispatchMouse(event);
  if (button == EventMouse::BUTTON_LEFT && _leftButtonDown) {
    _leftButtonDown = false;
    dispatchTouches(EventTouch::EventCode::ENDED, {0}, {Vec2(x, y)});
  }
}

void GLView::injectMouseMove(float x, float y, int button) {
  Touch::updateTimeStamp();
  const Vec2 previous = _mouseLocation;
  _mouseLocation.set(x, y);
  EventMouse event(EventMouse::MouseEventType::MOUSE_MOVE);
  event.setCursorPosition(x, y);
  event.setPreviousCursorPosition(previous.x, previous.y);
  event.setStartLocation(_mouseDownLocation);
  if (button < 0 && _leftButtonDown) button = EventMouse::BUTTON_LEFT;
  event.setMouseButton(static_cast<EventMouse::MouseButton>(button));
  dispatchMouse(event);
  if (_leftButtonDown) dispatchTouches(EventTouch::EventCode::MOVED, {0}, {Vec2(x, y)});
}

void GLView::injectScroll(float x, float y, float dy, float dx) {
  Touch::updateTimeStamp();
  _mouseLocation.set(x, y);
  EventMouse event(EventMouse::MouseEventType::MOUSE_SCROLL);
  event.setCursorPosition(x, y);
  event.setPreviousCursorPosition(x, y);
  event.setScrollData(dx, dy);
  dispatchMouse(event);
}

void GLView::injectTouches(EventTouch::EventCode phase, const std::vector<int>& ids,
                           const std::vector<Vec2>& points) {
  Touch::updateTimeStamp();
  dispatchTouches(phase, ids, points);
}

void GLView::injectKey(EventKeyboard::KeyCode code, bool down) {
  Touch::updateTimeStamp();
  EventKeyboard event(code, down);
  if (EventDispatcher* ed = dispatcher()) ed->dispatchEvent(&event);
  if (!down) return;
  switch (code) {
    case EventKeyboard::KeyCode::KEY_ESCAPE:
      if (EventDispatcher* ed = dispatcher()) ed->dispatchReturnKeyChain();
      break;
    case EventKeyboard::KeyCode::KEY_BACKSPACE:
      IMEDispatcher::sharedDispatcher()->dispatchDeleteBackward();
      break;
    case EventKeyboard::KeyCode::KEY_RETURN:
    case EventKeyboard::KeyCode::KEY_KP_ENTER:
      IMEDispatcher::sharedDispatcher()->dispatchInsertText("\n", 1);
      break;
    default:
      break;
  }
}

void GLView::injectText(const std::string& utf8) {
  Touch::updateTimeStamp();
  if (!utf8.empty()) IMEDispatcher::sharedDispatcher()->dispatchInsertText(utf8.data(), utf8.size());
}

void GLView::injectDrop(const std::string& path) {
  Touch::updateTimeStamp();
  if (Application* app = Application::getInstance()) app->applicationOpenPath(path.c_str());
}

void GLView::injectFocusLost() { cancelAllTouches(); }

void GLView::injectMinimize() {
  cancelAllTouches();
  if (_minimized) return;
  _minimized = true;
  if (Application* app = Application::getInstance()) app->applicationDidEnterBackground();
}

void GLView::injectRestore() {
  if (!_minimized) return;
  _minimized = false;
  if (Application* app = Application::getInstance()) app->applicationWillEnterForeground();
}

void GLView::cancelAllTouches() {
  if (_activeTouches.empty()) return;
  std::vector<int> ids;
  std::vector<Vec2> points;
  for (auto& kv : _activeTouches) {
    ids.push_back(kv.first);
    points.push_back(kv.second->getLocation());
  }
  _leftButtonDown = false;
  dispatchTouches(EventTouch::EventCode::CANCELLED, ids, points);
}

NS_CC_END
