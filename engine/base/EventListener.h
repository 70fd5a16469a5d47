// Listeners registered with the EventDispatcher. The dispatcher retains
// them; a scene-graph listener belongs to a node and gets events only while
// that node is running.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/base/Event.h"
#include "engine/base/Ref.h"

NS_CC_BEGIN

class Node;

class EventListener : public Ref {
 public:
  enum class Type { UNKNOWN, TOUCH_ONE_BY_ONE, TOUCH_ALL_AT_ONCE, KEYBOARD, MOUSE, ACCELERATION, FOCUS, GAME_CONTROLLER, CUSTOM };

  Type getType() const { return _type; }
  // False when the callbacks the type needs are missing.
  virtual bool checkAvailable() = 0;
  virtual EventListener* clone() = 0;

  // A disabled listener is skipped.
  void setEnabled(bool enabled) { _isEnabled = enabled; }
  bool isEnabled() const { return _isEnabled; }

  // The node of a scene-graph listener, null for a fixed-priority one.
  Node* getAssociatedNode() const { return _node; }
  int getFixedPriority() const { return _fixedPriority; }
  bool isRegistered() const { return _isRegistered; }
  // For custom listeners, the event name.
  const std::string& getListenerID() const { return _listenerID; }

 protected:
  EventListener() = default;
  bool init(Type type, const std::string& listenerID, std::function<void(Event*)> callback);

  // Called by the dispatcher with the event.
  std::function<void(Event*)> _onEvent;
  Type _type = Type::UNKNOWN;
  std::string _listenerID;
  bool _isEnabled = true;

 private:
  friend class EventDispatcher;
  bool _isRegistered = false;
  Node* _node = nullptr;
  int _fixedPriority = 0;
  unsigned long long _order = 0;  // registration order (stable ties)
};

// Each new touch is offered to onTouchBegan; a listener that returns true
// claims it and gets its moves, end or cancel. A claiming listener that
// swallows withholds the touch from every later listener for the whole touch.
class EventListenerTouchOneByOne : public EventListener {
 public:
  static EventListenerTouchOneByOne* create();

  void setSwallowTouches(bool swallow) { _swallowTouches = swallow; }
  bool isSwallowTouches() const { return _swallowTouches; }

  std::function<bool(Touch*, Event*)> onTouchBegan;
  std::function<void(Touch*, Event*)> onTouchMoved;
  std::function<void(Touch*, Event*)> onTouchEnded;
  std::function<void(Touch*, Event*)> onTouchCancelled;

  bool checkAvailable() override;
  EventListenerTouchOneByOne* clone() override;
  bool init();

  // Touches this listener claimed and has not seen end yet.
  const std::vector<Touch*>& getClaimedTouches() const { return _claimedTouches; }

 private:
  friend class EventDispatcher;
  std::vector<Touch*> _claimedTouches;
  bool _swallowTouches = false;
};

class EventListenerTouchAllAtOnce : public EventListener {
 public:
  static EventListenerTouchAllAtOnce* create();

  std::function<void(const std::vector<Touch*>&, Event*)> onTouchesBegan;
  std::function<void(const std::vector<Touch*>&, Event*)> onTouchesMoved;
  std::function<void(const std::vector<Touch*>&, Event*)> onTouchesEnded;
  std::function<void(const std::vector<Touch*>&, Event*)> onTouchesCancelled;

  bool checkAvailable() override;
  EventListenerTouchAllAtOnce* clone() override;
  bool init();
};

class EventListenerMouse : public EventListener {
 public:
  static EventListenerMouse* create();

  std::function<void(EventMouse*)> onMouseDown;
  std::function<void(EventMouse*)> onMouseUp;
  std::function<void(EventMouse*)> onMouseMove;
  std::function<void(EventMouse*)> onMouseScroll;

  bool checkAvailable() override { return true; }
  EventListenerMouse* clone() override;
  bool init();
};

class EventListenerKeyboard : public EventListener {
 public:
  static EventListenerKeyboard* create();

  std::function<void(EventKeyboard::KeyCode, Event*)> onKeyPressed;
  std::function<void(EventKeyboard::KeyCode, Event*)> onKeyReleased;

  bool checkAvailable() override;
  EventListenerKeyboard* clone() override;
  bool init();
};

class EventListenerCustom : public EventListener {
 public:
  static EventListenerCustom* create(const std::string& eventName,
                                     const std::function<void(EventCustom*)>& callback);

  bool checkAvailable() override { return static_cast<bool>(_onCustomEvent); }
  EventListenerCustom* clone() override;
  bool init(const std::string& eventName, const std::function<void(EventCustom*)>& callback);

 protected:
  std::function<void(EventCustom*)> _onCustomEvent;
};

NS_CC_END
