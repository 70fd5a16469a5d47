#include "engine/ui/Widget.h"

#include "engine/base/Director.h"
#include "engine/base/EventDispatcher.h"
#include "engine/base/EventListener.h"
#include "engine/base/Touch.h"
#include "engine/ui/Layout.h"
#include "engine/ui/LayoutParameter.h"

NS_CC_BEGIN
namespace ui {

Widget::Widget() = default;

Widget::~Widget() {
  // The dispatcher drops the listeners of a destroyed node itself.
  CC_SAFE_RELEASE(_touchListener);
  CC_SAFE_RELEASE(_keyboardListener);
  CC_SAFE_RELEASE(_layoutParameter);
}

bool Widget::init() {
  if (!ProtectedNode::init()) return false;
  initRenderer();
  setBright(true);
  setAnchorPoint(Vec2(0.5f, 0.5f));
  setCascadeColorEnabled(true);
  setCascadeOpacityEnabled(true);
  return true;
}

// ------------------------------------------------------------ states

void Widget::setEnabled(bool enabled) {
  _enabled = enabled;
  if (!enabled) {
    _highlight = false;
    onPressStateChangedToDisabled();
  } else {
    _brightStyle = BrightStyle::NONE;
    setBrightStyle(_highlight ? BrightStyle::HIGHLIGHT : BrightStyle::NORMAL);
  }
}

void Widget::setBright(bool bright) {
  _bright = bright;
  if (_bright) {
    _brightStyle = BrightStyle::NONE;
    setBrightStyle(BrightStyle::NORMAL);
  } else {
    onPressStateChangedToDisabled();
  }
}

void Widget::setBrightStyle(BrightStyle style) {
  if (_brightStyle == style) return;
  _brightStyle = style;
  if (style == BrightStyle::HIGHLIGHT) onPressStateChangedToPressed();
  else onPressStateChangedToNormal();
}

void Widget::setHighlighted(bool highlight) {
  if (highlight == _highlight) return;
  _highlight = highlight;
  if (!_bright) return;
  if (!_enabled) {
    onPressStateChangedToDisabled();
    return;
  }
  setBrightStyle(highlight ? BrightStyle::HIGHLIGHT : BrightStyle::NORMAL);
}

// ------------------------------------------------------------ touches

void Widget::setTouchEnabled(bool enabled) {
  if (enabled == _touchEnabled && (!enabled || _touchListener)) return;
  _touchEnabled = enabled;
  EventDispatcher* dispatcher = getEventDispatcher();
  if (_touchListener) {
    if (dispatcher && _touchListener->isRegistered()) dispatcher->removeEventListener(_touchListener);
    CC_SAFE_RELEASE_NULL(_touchListener);
  }
  if (!enabled || !dispatcher) return;
  _touchListener = EventListenerTouchOneByOne::create();
  _touchListener->retain();
  _touchListener->setSwallowTouches(_swallowTouches);
  _touchListener->onTouchBegan = [this](Touch* t, Event* e) { return onTouchBegan(t, e); };
  _touchListener->onTouchMoved = [this](Touch* t, Event* e) { onTouchMoved(t, e); };
  _touchListener->onTouchEnded = [this](Touch* t, Event* e) { onTouchEnded(t, e); };
  _touchListener->onTouchCancelled = [this](Touch* t, Event* e) { onTouchCancelled(t, e); };
  dispatcher->addEventListenerWithSceneGraphPriority(_touchListener, this);
}

void Widget::setSwallowTouches(bool swallow) {
  _swallowTouches = swallow;
  if (_touchListener) _touchListener->setSwallowTouches(swallow);
}

bool Widget::hitTest(const Vec2& pt) const {
  const Vec2 p = convertToNodeSpace(pt);
  const float w = _contentSize.width * _touchScale, h = _contentSize.height * _touchScale;
  const float x = (_contentSize.width - w) * 0.5f, y = (_contentSize.height - h) * 0.5f;
  return p.x >= x && p.x <= x + w && p.y >= y && p.y <= y + h;
}

bool Widget::isClippingParentContainsPoint(const Vec2& pt) const {
  for (Node* n = _parent; n; n = n->getParent()) {
    auto* w = dynamic_cast<Widget*>(n);
    if (!w || !w->clipsDescendants()) continue;
    const Vec2 p = w->convertToNodeSpace(pt);
    const Size& s = w->getContentSize();
    if (p.x < 0 || p.y < 0 || p.x > s.width || p.y > s.height) return false;
  }
  return true;
}

bool Widget::isAncestorsVisible() const {
  for (const Node* n = this; n; n = n->getParent())
    if (!n->isVisible()) return false;
  return true;
}

Widget* Widget::getWidgetParent() const {
  for (Node* n = _parent; n; n = n->getParent())
    if (auto* w = dynamic_cast<Widget*>(n)) return w;
  return nullptr;
}

void Widget::propagateTouchEvent(TouchEventType event, Widget* sender, Touch* touch) {
  if (Widget* parent = getWidgetParent()) parent->interceptTouchEvent(event, sender, touch);
}

void Widget::interceptTouchEvent(TouchEventType event, Widget* sender, Touch* touch) {
  if (_propagateTouchEvents) propagateTouchEvent(event, sender, touch);
}

bool Widget::onTouchBegan(Touch* touch, Event* event) {
  _hitted = false;
  if (isEnabled() && isAncestorsVisible()) {
    _touchBeganPosition = touch->getLocation();
    _hitted = hitTest(_touchBeganPosition) && isClippingParentContainsPoint(_touchBeganPosition);
  }
  if (!_hitted) return false;
  setHighlighted(true);
  // Listeners may drop the last reference to this widget.
  retain();
  if (_propagateTouchEvents) propagateTouchEvent(TouchEventType::BEGAN, this, touch);
  pushDownEvent();
  release();
  return true;
}

void Widget::onTouchMoved(Touch* touch, Event* event) {
  _touchMovePosition = touch->getLocation();
  setHighlighted(isEnabled() && hitTest(_touchMovePosition) && isClippingParentContainsPoint(_touchMovePosition));
  retain();
  if (_propagateTouchEvents) propagateTouchEvent(TouchEventType::MOVED, this, touch);
  moveEvent();
  release();
}

void Widget::onTouchEnded(Touch* touch, Event* event) {
  _touchEndPosition = touch->getLocation();
  retain();
  if (_propagateTouchEvents) propagateTouchEvent(TouchEventType::ENDED, this, touch);
  const bool highlight = _highlight;
  setHighlighted(false);
  if (highlight) releaseUpEvent();
  else cancelUpEvent();
  release();
}

void Widget::onTouchCancelled(Touch* touch, Event* event) {
  setHighlighted(false);
  retain();
  if (_propagateTouchEvents) propagateTouchEvent(TouchEventType::CANCELED, this, touch);
  cancelUpEvent();
  release();
}

void Widget::pushDownEvent() {
  if (_touchEventCallback) _touchEventCallback(this, TouchEventType::BEGAN);
}

void Widget::moveEvent() {
  if (_touchEventCallback) _touchEventCallback(this, TouchEventType::MOVED);
}

void Widget::releaseUpEvent() {
  if (_touchEventCallback) _touchEventCallback(this, TouchEventType::ENDED);
  if (_clickEventListener) _clickEventListener(this);
}

void Widget::cancelUpEvent() {
  if (_touchEventCallback) _touchEventCallback(this, TouchEventType::CANCELED);
}

// ------------------------------------------------------------ keyboard

void Widget::setKeyboardEnabled(bool enabled) {
  EventDispatcher* dispatcher = getEventDispatcher();
  if (_keyboardListener) {
    if (dispatcher && _keyboardListener->isRegistered()) dispatcher->removeEventListener(_keyboardListener);
    CC_SAFE_RELEASE_NULL(_keyboardListener);
  }
  if (!enabled || !dispatcher) return;
  _keyboardListener = EventListenerKeyboard::create();
  _keyboardListener->retain();
  _keyboardListener->onKeyPressed = [this](EventKeyboard::KeyCode k, Event* e) { onKeyPressed(k, e); };
  _keyboardListener->onKeyReleased = [this](EventKeyboard::KeyCode k, Event* e) { onKeyReleased(k, e); };
  dispatcher->addEventListenerWithSceneGraphPriority(_keyboardListener, this);
}

// ------------------------------------------------------------ layout

void Widget::setLayoutParameter(LayoutParameter* parameter) {
  if (parameter == _layoutParameter) return;
  CC_SAFE_RETAIN(parameter);
  CC_SAFE_RELEASE(_layoutParameter);
  _layoutParameter = parameter;
  if (auto* layout = dynamic_cast<Layout*>(_parent)) layout->requestDoLayout();
}

void Widget::setPositionPercent(const Vec2& percent) {
  _positionPercent = percent;
  if (_positionType == PositionType::PERCENT && _parent) updateSizeAndPosition(_parent->getContentSize());
}

void Widget::setPositionType(PositionType type) {
  _positionType = type;
  if (type == PositionType::PERCENT && _parent) updateSizeAndPosition(_parent->getContentSize());
}

void Widget::setSizePercent(const Vec2& percent) {
  _sizePercent = percent;
  if (_sizeType == SizeType::PERCENT && _parent) updateSizeAndPosition(_parent->getContentSize());
}

void Widget::setSizeType(SizeType type) {
  _sizeType = type;
  if (type == SizeType::PERCENT && _parent) updateSizeAndPosition(_parent->getContentSize());
}

void Widget::updateSizeAndPosition(const Size& parentSize) {
  if (_sizeType == SizeType::PERCENT) {
    if (_ignoreSize) ignoreContentAdaptWithSize(false);
    setContentSize(Size(parentSize.width * _sizePercent.x, parentSize.height * _sizePercent.y));
  }
  if (_positionType == PositionType::PERCENT)
    setPosition(parentSize.width * _positionPercent.x, parentSize.height * _positionPercent.y);
}

void Widget::setContentSize(const Size& size) {
  const bool changed = !size.equals(_contentSize);
  ProtectedNode::setContentSize(size);
  if (!changed) return;
  onSizeChanged();
  if (auto* layout = dynamic_cast<Layout*>(_parent)) layout->requestDoLayout();
}

void Widget::ignoreContentAdaptWithSize(bool ignore) {
  if (_ignoreSize == ignore) return;
  _ignoreSize = ignore;
  if (ignore) setContentSize(getVirtualRendererSize());
}

void Widget::onSizeChanged() { updateChildrenSizeAndPosition(); }

void Widget::updateChildrenSizeAndPosition() {
  for (Node* child : _children)
    if (auto* w = dynamic_cast<Widget*>(child)) w->updateSizeAndPosition(_contentSize);
}

float Widget::getLeftBoundary() const { return getPosition().x - getAnchorPoint().x * _contentSize.width * _scaleX; }
float Widget::getBottomBoundary() const {
  return getPosition().y - getAnchorPoint().y * _contentSize.height * _scaleY;
}
float Widget::getRightBoundary() const { return getLeftBoundary() + _contentSize.width * _scaleX; }
float Widget::getTopBoundary() const { return getBottomBoundary() + _contentSize.height * _scaleY; }

void Widget::setParent(Node* parent) {
  ProtectedNode::setParent(parent);
  if (parent && (_positionType == PositionType::PERCENT || _sizeType == SizeType::PERCENT))
    updateSizeAndPosition(parent->getContentSize());
}

}  // namespace ui
NS_CC_END
