#include "engine/base/Event.h"

NS_CC_BEGIN

void EventMouse::setCursorPosition(float x, float y) {
  _prev = _point;
  _point.set(x, y);
}

static_assert(static_cast<int>(EventKeyboard::KeyCode::KEY_LEFT_CTRL) == 14, "pinned key code");
static_assert(static_cast<int>(EventKeyboard::KeyCode::KEY_RIGHT_CTRL) == 15, "pinned key code");

NS_CC_END
