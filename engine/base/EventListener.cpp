#include "engine/base/EventListener.h"

#include <new>

#include "engine/base/ccLog.h"

NS_CC_BEGIN

bool EventListener::init(Type type, const std::string& listenerID, std::function<void(Event*)> callback) {
  _type = type;
  _listenerID = listenerID;
  _onEvent = std::move(callback);
  return true;
}

namespace {
template <class T>
T* createListener() {
  T* l = new (std::nothrow) T();
  if (l && l->init()) {
    l->autorelease();
    return l;
  }
  delete l;
  return nullptr;
}
}  // namespace

// ------------------------------------------------------------ one by one
EventListenerTouchOneByOne* EventListenerTouchOneByOne::create() {
  return createListener<EventListenerTouchOneByOne>();
}
bool EventListenerTouchOneByOne::init() { return EventListener::init(Type::TOUCH_ONE_BY_ONE, "__touch_one_by_one", nullptr); }
bool EventListenerTouchOneByOne::checkAvailable() {
  if (!onTouchBegan) {
    log("EventListenerTouchOneByOne: onTouchBegan is required");
    return false;
  }
  return true;
}
EventListenerTouchOneByOne* EventListenerTouchOneByOne::clone() {
  auto* l = create();
  if (!l) return nullptr;
  l->onTouchBegan = onTouchBegan;
  l->onTouchMoved = onTouchMoved;
  l->onTouchEnded = onTouchEnded;
  l->onTouchCancelled = onTouchCancelled;
  l->_swallowTouches = _swallowTouches;
  l->_isEnabled = _isEnabled;
  return l;
}

// ------------------------------------------------------------ all at once
EventListenerTouchAllAtOnce* EventListenerTouchAllAtOnce::create() {
  return createListener<EventListenerTouchAllAtOnce>();
}
bool EventListenerTouchAllAtOnce::init() { return EventListener::init(Type::TOUCH_ALL_AT_ONCE, "__touch_all_at_once", nullptr); }
bool EventListenerTouchAllAtOnce::checkAvailable() {
  if (!onTouchesBegan && !onTouchesMoved && !onTouchesEnded && !onTouchesCancelled) {
    log("EventListenerTouchAllAtOnce: at least one callback is required");
    return false;
  }
  return true;
}
EventListenerTouchAllAtOnce* EventListenerTouchAllAtOnce::clone() {
  auto* l = create();
  if (!l) return nullptr;
  l->onTouchesBegan = onTouchesBegan;
  l->onTouchesMoved = onTouchesMoved;
  l->onTouchesEnded = onTouchesEnded;
  l->onTouchesCancelled = onTouchesCancelled;
  l->_isEnabled = _isEnabled;
  return l;
}

// ------------------------------------------------------------ mouse
EventListenerMouse* EventListenerMouse::create() { return createListener<EventListenerMouse>(); }
bool EventListenerMouse::init() {
  return EventListener::init(Type::MOUSE, "__mouse", [this](Event* event) {
    auto* e = static_cast<EventMouse*>(event);
    switch (e->getMouseEventType()) {
      case EventMouse::MouseEventType::MOUSE_DOWN: if (onMouseDown) onMouseDown(e); break;
      case EventMouse::MouseEventType::MOUSE_UP: if (onMouseUp) onMouseUp(e); break;
      case EventMouse::MouseEventType::MOUSE_MOVE: if (onMouseMove) onMouseMove(e); break;
      case EventMouse::MouseEventType::MOUSE_SCROLL: if (onMouseScroll) onMouseScroll(e); break;
      default: break;
    }
  });
}
EventListenerMouse* EventListenerMouse::clone() {
  auto* l = create();
  if (!l) return nullptr;
  l->onMouseDown = onMouseDown;
  l->onMouseUp = onMouseUp;
  l->onMouseMove = onMouseMove;
  l->onMouseScroll = onMouseScroll;
  l->_isEnabled = _isEnabled;
  return l;
}

// ------------------------------------------------------------ keyboard
EventListenerKeyboard* EventListenerKeyboard::create() { return createListener<EventListenerKeyboard>(); }
bool EventListenerKeyboard::init() {
  return EventListener::init(Type::KEYBOARD, "__keyboard", [this](Event* event) {
    auto* e = static_cast<EventKeyboard*>(event);
    if (e->isPressed()) {
      if (onKeyPressed) onKeyPressed(e->getKeyCode(), event);
    } else if (onKeyReleased) {
      onKeyReleased(e->getKeyCode(), event);
    }
  });
}
bool EventListenerKeyboard::checkAvailable() {
  if (!onKeyPressed && !onKeyReleased) {
    log("EventListenerKeyboard: onKeyPressed or onKeyReleased is required");
    return false;
  }
  return true;
}
EventListenerKeyboard* EventListenerKeyboard::clone() {
  auto* l = create();
  if (!l) return nullptr;
  l->onKeyPressed = onKeyPressed;
  l->onKeyReleased = onKeyReleased;
  l->_isEnabled = _isEnabled;
  return l;
}

// ------------------------------------------------------------ custom
EventListenerCustom* EventListenerCustom::create(const std::string& eventName,
                                                 const std::function<void(EventCustom*)>& callback) {
  auto* l = new (std::nothrow) EventListenerCustom();
  if (l && l->init(eventName, callback)) {
    l->autorelease();
    return l;
  }
  delete l;
  return nullptr;
}
bool EventListenerCustom::init(const std::string& eventName, const std::function<void(EventCustom*)>& callback) {
  _onCustomEvent = callback;
  return EventListener::init(Type::CUSTOM, eventName, [this](Event* event) {
    if (_onCustomEvent) _onCustomEvent(static_cast<EventCustom*>(event));
  });
}
EventListenerCustom* EventListenerCustom::clone() {
  auto* l = create(_listenerID, _onCustomEvent);
  if (l) l->_isEnabled = _isEnabled;
  return l;
}

NS_CC_END
