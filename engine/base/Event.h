// Events delivered by the EventDispatcher. Every location is in design units
// (window pixels), origin bottom-left, y up.
#pragma once

#include <string>
#include <vector>

#include "engine/base/Ref.h"
#include "engine/base/Touch.h"
#include "engine/math/Vec2.h"

NS_CC_BEGIN

class Node;

class Event : public Ref {
 public:
  enum class Type { TOUCH, KEYBOARD, ACCELERATION, MOUSE, FOCUS, GAME_CONTROLLER, CUSTOM };

  explicit Event(Type type) : _type(type) {}
  Type getType() const { return _type; }

  // Ends the dispatch of this event: no later listener sees it (for mouse
  // events, on no later camera either).
  void stopPropagation() { _isStopped = true; }
  bool isStopped() const { return _isStopped; }

  // The node of the scene-graph listener being called (null for listeners
  // with a fixed priority).
  Node* getCurrentTarget() const { return _currentTarget; }
  void setCurrentTarget(Node* target) { _currentTarget = target; }

 protected:
  Type _type;
  bool _isStopped = false;
  Node* _currentTarget = nullptr;
};

class EventCustom : public Event {
 public:
  explicit EventCustom(const std::string& eventName) : Event(Type::CUSTOM), _eventName(eventName) {}
  void setUserData(void* data) { _userData = data; }
  void* getUserData() const { return _userData; }
  const std::string& getEventName() const { return _eventName; }

 private:
  void* _userData = nullptr;
  std::string _eventName;
};

class EventTouch : public Event {
 public:
  enum class EventCode { BEGAN, MOVED, ENDED, CANCELLED };

  EventTouch() : Event(Type::TOUCH) {}
  EventCode getEventCode() const { return _eventCode; }
  const std::vector<Touch*>& getTouches() const { return _touches; }
  void setEventCode(EventCode code) { _eventCode = code; }
  void setTouches(const std::vector<Touch*>& touches) { _touches = touches; }

 private:
  EventCode _eventCode = EventCode::BEGAN;
  std::vector<Touch*> _touches;
};

class EventMouse : public Event {
 public:
  enum class MouseEventType { MOUSE_NONE, MOUSE_DOWN, MOUSE_UP, MOUSE_MOVE, MOUSE_SCROLL };
  // Plain enum so that the values compare with the button numbers
  // 0 (left), 1 (right) and 2 (middle).
  enum MouseButton : int {
    BUTTON_UNSET = -1,
    BUTTON_LEFT = 0,
    BUTTON_RIGHT = 1,
    BUTTON_MIDDLE = 2,
    BUTTON_4 = 3,
    BUTTON_5 = 4,
  };

  explicit EventMouse(MouseEventType type) : Event(Type::MOUSE), _mouseEventType(type) {}

  MouseEventType getMouseEventType() const { return _mouseEventType; }
  void setMouseEventType(MouseEventType type) { _mouseEventType = type; }

  // Wheel: a notch turned away from the user gives scrollY = -1.
  void setScrollData(float scrollX, float scrollY) { _scrollX = scrollX; _scrollY = scrollY; }
  float getScrollX() const { return _scrollX; }
  float getScrollY() const { return _scrollY; }

  void setMouseButton(MouseButton button) { _mouseButton = button; }
  MouseButton getMouseButton() const { return _mouseButton; }

  // Sets the current location; the former one becomes the previous location.
  void setCursorPosition(float x, float y);
  void setPreviousCursorPosition(float x, float y) { _prev.set(x, y); }
  float getCursorX() const { return _point.x; }
  float getCursorY() const { return _point.y; }

  // All in design units, origin bottom-left, y up (the "InView" forms too).
  Vec2 getLocation() const { return _point; }
  Vec2 getPreviousLocation() const { return _prev; }
  Vec2 getStartLocation() const { return _start; }
  Vec2 getDelta() const { return _point - _prev; }
  Vec2 getLocationInView() const { return _point; }
  Vec2 getPreviousLocationInView() const { return _prev; }
  Vec2 getStartLocationInView() const { return _start; }
  void setStartLocation(const Vec2& p) { _start = p; }

 private:
  MouseEventType _mouseEventType;
  MouseButton _mouseButton = BUTTON_UNSET;
  float _scrollX = 0, _scrollY = 0;
  Vec2 _point, _prev, _start;
};

class EventKeyboard : public Event {
 public:
  // Key codes. KEY_LEFT_CTRL is 14 and KEY_RIGHT_CTRL 15; Escape is the
  // back key.
  enum class KeyCode : int {
    KEY_NONE = 0,
    KEY_PAUSE,
    KEY_SCROLL_LOCK,
    KEY_PRINT,
    KEY_SYSREQ,
    KEY_BREAK,
    KEY_ESCAPE,  // 6
    KEY_BACK = KEY_ESCAPE,
    KEY_BACKSPACE,
    KEY_TAB,
    KEY_BACK_TAB,
    KEY_RETURN,  // 10
    KEY_ENTER = KEY_RETURN,
    KEY_CAPS_LOCK,
    KEY_SHIFT,  // 12
    KEY_LEFT_SHIFT = KEY_SHIFT,
    KEY_RIGHT_SHIFT,
    KEY_CTRL,  // 14
    KEY_LEFT_CTRL = KEY_CTRL,
    KEY_RIGHT_CTRL,  // 15
    KEY_ALT,
    KEY_LEFT_ALT = KEY_ALT,
    KEY_RIGHT_ALT,
    KEY_MENU,
    KEY_HYPER,
    KEY_INSERT,  // 20
    KEY_HOME,
    KEY_PG_UP,
    KEY_DELETE,
    KEY_END,
    KEY_PG_DOWN,
    KEY_LEFT_ARROW,  // 26
    KEY_RIGHT_ARROW,
    KEY_UP_ARROW,
    KEY_DOWN_ARROW,
    KEY_NUM_LOCK,  // 30
    KEY_KP_PLUS,
    KEY_KP_MINUS,
    KEY_KP_MULTIPLY,
    KEY_KP_DIVIDE,
    KEY_KP_ENTER,
    KEY_KP_HOME,
    KEY_KP_UP,
    KEY_KP_PG_UP,
    KEY_KP_LEFT,
    KEY_KP_FIVE,  // 40
    KEY_KP_RIGHT,
    KEY_KP_END,
    KEY_KP_DOWN,
    KEY_KP_PG_DOWN,
    KEY_KP_INSERT,
    KEY_KP_DELETE,
    KEY_F1,  // 47
    KEY_F2,
    KEY_F3,
    KEY_F4,
    KEY_F5,
    KEY_F6,
    KEY_F7,
    KEY_F8,
    KEY_F9,
    KEY_F10,
    KEY_F11,
    KEY_F12,
    KEY_SPACE,  // 59
    KEY_EXCLAM,
    KEY_QUOTE,
    KEY_NUMBER,
    KEY_DOLLAR,
    KEY_PERCENT,
    KEY_CIRCUMFLEX,
    KEY_AMPERSAND,
    KEY_APOSTROPHE,
    KEY_LEFT_PARENTHESIS,
    KEY_RIGHT_PARENTHESIS,
    KEY_ASTERISK,
    KEY_PLUS,
    KEY_COMMA,
    KEY_MINUS,
    KEY_PERIOD,
    KEY_SLASH,
    KEY_0,
    KEY_1,
    KEY_2,
    KEY_3,
    KEY_4,
    KEY_5,
    KEY_6,
    KEY_7,
    KEY_8,
    KEY_9,
    KEY_COLON,
    KEY_SEMICOLON,
    KEY_LESS_THAN,
    KEY_EQUAL,
    KEY_GREATER_THAN,
    KEY_QUESTION,
    KEY_AT,
    KEY_LEFT_BRACKET,
    KEY_BACK_SLASH,
    KEY_RIGHT_BRACKET,
    KEY_UNDERSCORE,
    KEY_GRAVE,
    // Letter keys (the key, whatever the case it types).
    KEY_A,
    KEY_B,
    KEY_C,
    KEY_D,
    KEY_E,
    KEY_F,
    KEY_G,
    KEY_H,
    KEY_I,
    KEY_J,
    KEY_K,
    KEY_L,
    KEY_M,
    KEY_N,
    KEY_O,
    KEY_P,
    KEY_Q,
    KEY_R,
    KEY_S,
    KEY_T,
    KEY_U,
    KEY_V,
    KEY_W,
    KEY_X,
    KEY_Y,
    KEY_Z,
    KEY_LEFT_BRACE,
    KEY_BAR,
    KEY_RIGHT_BRACE,
    KEY_TILDE,
    KEY_EURO,
    KEY_POUND,
    KEY_YEN,
    KEY_MIDDLE_DOT,
    KEY_SEARCH,
    KEY_DPAD_LEFT,
    KEY_DPAD_RIGHT,
    KEY_DPAD_UP,
    KEY_DPAD_DOWN,
    KEY_DPAD_CENTER,
    KEY_PLAY,
  };

  EventKeyboard(KeyCode keyCode, bool isPressed)
      : Event(Type::KEYBOARD), _keyCode(keyCode), _isPressed(isPressed) {}
  KeyCode getKeyCode() const { return _keyCode; }
  bool isPressed() const { return _isPressed; }

 private:
  KeyCode _keyCode;
  bool _isPressed;
};

NS_CC_END
