// Touch gestures for widgets that listen to every touch of the screen.
//
// An interactor turns the raw touches its owning widget receives into
// gestures: single-finger begin, drag (with speed), end, tap, double tap and
// swipe, and two-finger pinch and pan. All interactors of this class share
// one capture: the first whose target contains a touch-down takes it, and
// every other interactor ignores the gesture until its last finger is up.
// The capture is independent of the render windows' own capture.
//
// Times are whole milliseconds of a monotonic 64-bit clock (replaceable for
// tests). UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/cocos2d.h"

namespace NSUI {

class NSInteractorBase : public cocos2d::Ref {
 public:
  // Milliseconds of a monotonic clock.
  using Clock = std::function<int64_t()>;
  // Replaces the clock of every interactor; an empty function restores the
  // steady clock.
  static void setClock(Clock clock);
  static int64_t now();

  ~NSInteractorBase() override;

  // Two-finger gesture start (startTwoFingerGesture).
  virtual void onTouchesBegan(const std::vector<cocos2d::Touch*>& touches);
  virtual void onTouchesMoved(const std::vector<cocos2d::Touch*>& touches);
  virtual void onTouchesEnded(const std::vector<cocos2d::Touch*>& touches);
  virtual void onTouchesCancelled(const std::vector<cocos2d::Touch*>& touches);
  // Releases the previous target, stores and retains node.
  virtual void setTarget(cocos2d::Node* node);
  // Releases the target.
  virtual void clear();
  virtual bool init();
  virtual void onTouchBegan(cocos2d::Touch* touch) {}
  virtual void onTouchMoved(cocos2d::Touch* touch);
  virtual void onTouchEnded(cocos2d::Touch* touch);
  virtual void onTouchCancelled(cocos2d::Touch* touch) {}
  // Points are in the target's node space.
  virtual void onDoubleTap(const cocos2d::Vec2& point) {}
  virtual void onPan(const cocos2d::Vec2& step) {}
  virtual void onPinch(float factor) {}
  virtual void onSwipe(const cocos2d::Vec2& point, const cocos2d::Vec2& movement) {}
  virtual void onTap(const cocos2d::Vec2& point) {}
  virtual void onDrag(const cocos2d::Vec2& step, float speed) {}

  // Entries for the owning widget's all-at-once touch listener.
  void handleTouchesBegan(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  void handleTouchesEnded(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  void handleTouchesCancelled(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  // Moves: the widget passes them on only while holdsCapture().
  void handleTouchesMoved(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);

  void beginSingleTouch(cocos2d::Touch* touch);
  void startTwoFingerGesture();

  cocos2d::Node* getTarget() const { return target; }
  bool isCaptured() const { return captured; }
  // This interactor owns the gesture in progress.
  bool holdsCapture() const { return captured && captureActive && captureOwner == this; }
  bool isSingleTouchMode() const { return singleTouchMode; }
  const cocos2d::Vector<cocos2d::Touch*>& getTrackedTouches() const { return trackedTouches; }
  bool isTapCandidate() const { return tapCandidate; }

  static bool isCaptureActive() { return captureActive; }
  static NSInteractorBase* getCaptureOwner() { return captureOwner; }

  bool pinchEnabled = true;
  bool panEnabled = true;

 protected:
  NSInteractorBase() = default;

  cocos2d::Node* target = nullptr;  // retained
  int64_t touchDownTime = 0;
  bool hasTouchDown = false;        // touchDownTime is a real touch-down
  int64_t lastMoveTime = 0;
  cocos2d::Vec2 touchStartLocation;
  bool singleTouchMode = true;
  cocos2d::Vector<cocos2d::Touch*> trackedTouches;
  bool captured = false;
  float pinchScale = 1.0f;
  float pinchStartDistance = 0.0f;
  cocos2d::Vec2 stepTotal;
  bool tapCandidate = false;

  static bool captureActive;
  static NSInteractorBase* captureOwner;

 private:
  void track(cocos2d::Touch* touch);
  cocos2d::Touch* trackedWithId(int id) const;
  void releaseTracked();
  void handleEnd(const std::vector<cocos2d::Touch*>& touches, bool cancelled);
};

}  // namespace NSUI
