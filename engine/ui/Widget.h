// ui::Widget: the base of the interface widgets. A ProtectedNode whose
// visual parts (pictures, titles) are protected children, with a touch
// model, highlight/enabled/bright states, percent placement and a layout
// parameter read by the parent layout.
//
// Touch model (scene-graph one-by-one listener, registered by
// setTouchEnabled(true), swallowing while isSwallowTouches()):
//  - hit: the widget and every ancestor visible, the widget enabled, the
//    point inside the content rectangle scaled by getTouchScaled() about
//    its centre, and inside every clipping Layout ancestor;
//  - began: on a hit the widget is highlighted, the nearest Widget
//    ancestor (plain nodes in between are skipped) is told through
//    interceptTouchEvent, then the touch listeners; a miss returns false so
//    the touch goes on to listeners behind;
//  - moved: the highlight follows the hit test; ended: click listeners
//    fire only when the widget is still highlighted; cancelled clears it.
#pragma once

#include <functional>
#include <string>

#include "engine/2d/ProtectedNode.h"
#include "engine/base/Event.h"
#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class EventListenerTouchOneByOne;
class EventListenerKeyboard;
class Touch;

namespace ui {

class LayoutParameter;

class Widget : public ProtectedNode {
 public:
  enum class TouchEventType { BEGAN = 0, MOVED = 1, ENDED = 2, CANCELED = 3 };
  enum class TextureResType { LOCAL = 0, PLIST = 1 };
  enum class BrightStyle { NONE = -1, NORMAL = 0, HIGHLIGHT = 1 };
  enum class SizeType { ABSOLUTE = 0, PERCENT = 1 };
  enum class PositionType { ABSOLUTE = 0, PERCENT = 1 };

  typedef std::function<void(Ref*, TouchEventType)> ccWidgetTouchCallback;
  typedef std::function<void(Ref*)> ccWidgetClickCallback;

  CREATE_FUNC(Widget)
  bool init() override;

  Widget();
  ~Widget() override;

  // ------------------------------------------------------------ states
  virtual void setEnabled(bool enabled);
  bool isEnabled() const { return _enabled; }
  virtual void setBright(bool bright);
  bool isBright() const { return _bright; }
  virtual void setBrightStyle(BrightStyle style);
  virtual void setHighlighted(bool highlight);
  bool isHighlighted() const { return _highlight; }

  // ------------------------------------------------------------ touches
  virtual void setTouchEnabled(bool enabled);
  virtual bool isTouchEnabled() const { return _touchEnabled; }
  void setSwallowTouches(bool swallow);
  bool isSwallowTouches() const { return _swallowTouches; }
  // Whether BEGAN..CANCELED are passed on to the nearest Widget ancestor
  // (default true).
  void setPropagateTouchEvents(bool propagate) { _propagateTouchEvents = propagate; }
  bool isPropagateTouchEvents() const { return _propagateTouchEvents; }
  // The hit rectangle is the content rectangle scaled by factor about its
  // centre (1 = unchanged).
  void setTouchScaled(float factor) { _touchScale = factor; }
  float getTouchScaled() const { return _touchScale; }

  // pt in world space. The scaled content rectangle only; see onTouchBegan
  // for the whole rule.
  virtual bool hitTest(const Vec2& pt) const;
  // True when pt lies inside every clipping Layout ancestor.
  bool isClippingParentContainsPoint(const Vec2& pt) const;
  // The widget and every ancestor visible.
  bool isAncestorsVisible() const;

  virtual bool onTouchBegan(Touch* touch, Event* event);
  virtual void onTouchMoved(Touch* touch, Event* event);
  virtual void onTouchEnded(Touch* touch, Event* event);
  virtual void onTouchCancelled(Touch* touch, Event* event);
  // Called on the nearest Widget ancestor for every touch phase of a
  // descendant (sender); by default passed further up.
  virtual void interceptTouchEvent(TouchEventType event, Widget* sender, Touch* touch);

  void addTouchEventListener(const ccWidgetTouchCallback& callback) { _touchEventCallback = callback; }
  void addClickEventListener(const ccWidgetClickCallback& callback) { _clickEventListener = callback; }

  const Vec2& getTouchBeganPosition() const { return _touchBeganPosition; }
  const Vec2& getTouchMovePosition() const { return _touchMovePosition; }
  const Vec2& getTouchEndPosition() const { return _touchEndPosition; }

  // ------------------------------------------------------------ keyboard
  // Registers (or drops) a keyboard listener calling the virtuals below.
  virtual void setKeyboardEnabled(bool enabled);
  bool isKeyboardEnabled() const { return _keyboardListener != nullptr; }
  virtual void onKeyPressed(EventKeyboard::KeyCode keyCode, Event* event) {}
  virtual void onKeyReleased(EventKeyboard::KeyCode keyCode, Event* event) {}

  // ------------------------------------------------------------ layout
  // Retained; read by the parent Layout and Helper::doLayout.
  void setLayoutParameter(LayoutParameter* parameter);
  LayoutParameter* getLayoutParameter() const { return _layoutParameter; }

  // Percent placement relative to the parent's content size, applied at
  // once and again whenever the parent widget's size changes.
  virtual void setPositionPercent(const Vec2& percent);
  const Vec2& getPositionPercent() const { return _positionPercent; }
  virtual void setPositionType(PositionType type);
  PositionType getPositionType() const { return _positionType; }
  virtual void setSizePercent(const Vec2& percent);
  const Vec2& getSizePercent() const { return _sizePercent; }
  virtual void setSizeType(SizeType type);
  SizeType getSizeType() const { return _sizeType; }
  // Re-applies percent position and size against parentSize.
  virtual void updateSizeAndPosition(const Size& parentSize);

  void setContentSize(const Size& size) override;
  // true (the default for pictures and texts): the size follows the
  // picture or text; false: the size is the one set.
  virtual void ignoreContentAdaptWithSize(bool ignore);
  bool isIgnoreContentAdaptWithSize() const { return _ignoreSize; }
  // The natural size of what the widget shows.
  virtual Size getVirtualRendererSize() const { return _contentSize; }
  virtual Node* getVirtualRenderer() { return this; }

  // Edges of the bounding box in the parent's space.
  float getLeftBoundary() const;
  float getBottomBoundary() const;
  float getRightBoundary() const;
  float getTopBoundary() const;
  Vec2 getWorldPosition() const { return convertToWorldSpace(Vec2(_anchorPointInPoints)); }

  void setParent(Node* parent) override;

  // ------------------------------------------------------------ cloning
  // Hooks kept for subclasses; nothing clones widgets.
  virtual std::string getDescription() const { return "Widget"; }

 protected:
  virtual void initRenderer() {}
  virtual void onSizeChanged();
  virtual Widget* createCloneInstance() { return Widget::create(); }
  virtual void copySpecialProperties(Widget* model) {}
  virtual void copyClonedWidgetChildren(Widget* model) {}

  virtual void onPressStateChangedToNormal() {}
  virtual void onPressStateChangedToPressed() {}
  virtual void onPressStateChangedToDisabled() {}
  // Clipping Layouts override this; the hit test of descendants honours it.
  virtual bool clipsDescendants() const { return false; }

  // Reports to the listeners.
  virtual void pushDownEvent();
  virtual void moveEvent();
  virtual void releaseUpEvent();
  virtual void cancelUpEvent();
  // Calls interceptTouchEvent of the nearest Widget ancestor.
  void propagateTouchEvent(TouchEventType event, Widget* sender, Touch* touch);
  Widget* getWidgetParent() const;
  // Re-applies percent placement of the Widget children (after a resize).
  void updateChildrenSizeAndPosition();

  bool _enabled = true;
  bool _bright = true;
  bool _highlight = false;
  bool _touchEnabled = false;
  bool _hitted = false;
  bool _swallowTouches = true;
  bool _propagateTouchEvents = true;
  bool _ignoreSize = false;
  float _touchScale = 1.0f;
  BrightStyle _brightStyle = BrightStyle::NONE;

  Vec2 _touchBeganPosition;
  Vec2 _touchMovePosition;
  Vec2 _touchEndPosition;

  EventListenerTouchOneByOne* _touchListener = nullptr;  // retained
  EventListenerKeyboard* _keyboardListener = nullptr;    // retained
  ccWidgetTouchCallback _touchEventCallback;
  ccWidgetClickCallback _clickEventListener;

  LayoutParameter* _layoutParameter = nullptr;  // retained
  PositionType _positionType = PositionType::ABSOLUTE;
  Vec2 _positionPercent;
  SizeType _sizeType = SizeType::ABSOLUTE;
  Vec2 _sizePercent;
  bool _inSizeUpdate = false;
};

}  // namespace ui

NS_CC_END
