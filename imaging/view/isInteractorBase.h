// Turns the raw touches a render window receives into gestures: one-finger
// begin, drag, end, tap, double tap and swipe; two-finger pinch and pan.
// Every render window hears every touch of the screen, so the first
// interactor whose target contains a touch-down strictly inside takes a
// capture shared by all interactors; the others ignore the gesture until its
// last finger is up. Derived tools give the gestures their meaning; every
// gesture operation is empty here. UI thread only.
//
// Times are whole milliseconds of a monotonic 64-bit clock; tests replace
// the clock with setClock.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isObject.h"

namespace isImageSDK {

class isInteractorBase : public isObject {
 public:
  ~isInteractorBase() override;
  // Releases the target (and the capture when this interactor holds it).
  void clear() override;
  // Clears the shared capture flag: a new view ends a gesture in progress.
  bool init() override;

  virtual void onTouchesBegan(const std::vector<cocos2d::Touch*>& touches);
  virtual void onTouchesMoved(const std::vector<cocos2d::Touch*>& touches);
  virtual void onTouchesEnded(const std::vector<cocos2d::Touch*>& touches);
  virtual void onTouchesCancelled(const std::vector<cocos2d::Touch*>& touches);
  virtual void setTarget(cocos2d::Node* node);
  virtual void onTouchBegan(cocos2d::Touch* touch) {}
  virtual void onTouchMoved(cocos2d::Touch* touch);
  virtual void onTouchEnded(cocos2d::Touch* touch);
  virtual void onTouchCancelled(cocos2d::Touch* touch) {}
  virtual void onDoubleTap(const cocos2d::Vec2& point) {}
  virtual void onPan(const cocos2d::Vec2& step) {}
  virtual void onPinch(float factor) {}
  virtual void onSwipe(const cocos2d::Vec2& point, const cocos2d::Vec2& movement) {}
  virtual void onTap(const cocos2d::Vec2& point) {}
  virtual void onDrag(const cocos2d::Vec2& step) {}

  // Entries of the render window's touch listener.
  void handleTouchesBegan(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  void handleTouchesEnded(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  void handleTouchesCancelled(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);

  cocos2d::Node* getTarget() const { return target; }
  bool isCaptured() const { return captured; }
  bool isSingleTouchMode() const { return singleTouchMode; }
  bool isTapCandidate() const { return tapCandidate; }
  const std::vector<cocos2d::Touch*>& getTrackedTouches() const { return trackedTouches; }
  // Gives up the gesture in progress: the capture when this interactor
  // holds it, and the tracked fingers. The render window calls it when it
  // is cleaned up, so that no other window stays locked out.
  void abandonGesture();
  // Milliseconds; the default is std::chrono::steady_clock.
  void setClock(std::function<int64_t()> clock) { clockFn = std::move(clock); }

  static bool captureActive;
  static isInteractorBase* captureOwner;

  bool pinchEnabled = true;
  bool panEnabled = true;

 protected:
  isInteractorBase();

  int64_t now() const;
  void beginSingleTouch(cocos2d::Touch* touch);
  void startTwoFingerGesture();
  void track(cocos2d::Touch* touch);
  void releaseTracked();
  cocos2d::Vec2 toTarget(const cocos2d::Vec2& location) const;
  void releaseCapture();
  void handleEnded(const std::vector<cocos2d::Touch*>& touches, bool cancelled);

  cocos2d::Node* target = nullptr;  // retained
  int64_t touchDownTime = -1;       // ms; −1 before the first touch-down
  cocos2d::Vec2 touchStartLocation;
  bool singleTouchMode = true;
  std::vector<cocos2d::Touch*> trackedTouches;  // retained copies
  bool captured = false;
  float pinchScale = 1.0f;
  float pinchStartDistance = 0.0f;
  cocos2d::Vec2 stepTotal;
  bool tapCandidate = false;
  std::function<int64_t()> clockFn;
};

}  // namespace isImageSDK
