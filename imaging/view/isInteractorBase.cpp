#include "imaging/view/isInteractorBase.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

bool isInteractorBase::captureActive = false;
isInteractorBase* isInteractorBase::captureOwner = nullptr;

namespace {

// Every live interactor, so that a capture nobody holds any finger for can
// be recognised and dropped.
std::vector<isInteractorBase*>& liveInteractors() {
  static std::vector<isInteractorBase*> list;
  return list;
}

constexpr int64_t kDoubleTapMs = 180;
constexpr float kTapTolerance = 2.0f;

}  // namespace

isInteractorBase::isInteractorBase() { liveInteractors().push_back(this); }

isInteractorBase::~isInteractorBase() {
  releaseCapture();
  releaseTracked();
  if (target) target->release();
  target = nullptr;
  auto& list = liveInteractors();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void isInteractorBase::releaseCapture() {
  if (captured && captureActive && captureOwner == this) captureActive = false;
  if (captureOwner == this) captureOwner = nullptr;
  captured = false;
}

void isInteractorBase::abandonGesture() {
  releaseCapture();
  releaseTracked();
  singleTouchMode = true;
}

void isInteractorBase::clear() {
  releaseCapture();
  releaseTracked();
  singleTouchMode = true;
  if (target) target->release();
  target = nullptr;
}

bool isInteractorBase::init() {
  isObject::init();
  singleTouchMode = true;
  if (target) target->release();
  target = nullptr;
  touchDownTime = -1;
  captureActive = false;
  captured = false;
  pinchEnabled = true;
  panEnabled = true;
  return true;
}

int64_t isInteractorBase::now() const {
  if (clockFn) return clockFn();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void isInteractorBase::setTarget(cocos2d::Node* node) {
  if (node) node->retain();
  if (target) target->release();
  target = node;
}

void isInteractorBase::track(cocos2d::Touch* touch) {
  for (auto* copy : trackedTouches) {
    if (copy->getId() == touch->getId()) {
      copy->setLocation(touch->getLocation());
      return;
    }
  }
  auto* copy = new cocos2d::Touch();
  copy->autorelease();
  const cocos2d::Vec2 p = touch->getLocation();
  copy->setTouchInfo(touch->getId(), p.x, p.y);
  copy->setLocation(p);
  copy->retain();
  trackedTouches.push_back(copy);
}

void isInteractorBase::releaseTracked() {
  for (auto* copy : trackedTouches) copy->release();
  trackedTouches.clear();
}

cocos2d::Vec2 isInteractorBase::toTarget(const cocos2d::Vec2& location) const {
  return target ? target->convertToNodeSpace(location) : location;
}

void isInteractorBase::handleTouchesBegan(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event*) {
  if (captureActive) {
    // A capture whose owner went away mid-gesture would lock every window.
    const auto& list = liveInteractors();
    const bool anyTracking =
        std::any_of(list.begin(), list.end(), [](isInteractorBase* i) { return i->captured && !i->trackedTouches.empty(); });
    if (!anyTracking) captureActive = false;
  }
  if (captureActive && !captured) return;
  if (!target) return;
  auto* director = cocos2d::Director::getInstance();
  if (!director || target->getScene() != director->getRunningScene()) return;
  if (captureActive) {
    if (captureOwner != this) {
      captured = false;
      return;
    }
    for (auto* t : touches) track(t);
  } else {
    const cocos2d::Size size = target->getContentSize();
    bool inside = false;
    for (auto* t : touches) {
      const cocos2d::Vec2 p = target->convertToNodeSpace(t->getLocation());
      if (p.x > 0.0f && p.x < size.width && p.y > 0.0f && p.y < size.height) inside = true;
    }
    for (auto* t : touches) track(t);
    if (!inside) {
      captured = false;
      return;
    }
    captureActive = true;
    captureOwner = this;
    captured = true;
    if (auto* nc = NSUI::NSNotificationCenter::getInstance())
      nc->postNotification(this, NOTIFY_FOCUS_REQUEST, nullptr, target, true);
  }
  if (singleTouchMode && trackedTouches.size() > 1) {
    singleTouchMode = false;
    onTouchEnded(trackedTouches.front());
  }
  tapCandidate = true;
  if (singleTouchMode) {
    if (!trackedTouches.empty()) beginSingleTouch(trackedTouches.front());
  } else {
    onTouchesBegan(touches);
  }
}

void isInteractorBase::beginSingleTouch(cocos2d::Touch* touch) {
  stepTotal = cocos2d::Vec2::ZERO;
  touchStartLocation = touch->getLocation();
  const int64_t previous = touchDownTime;
  touchDownTime = now();
  if (previous < 0 || touchDownTime - previous > kDoubleTapMs) {
    onTouchBegan(touch);
  } else {
    onDoubleTap(toTarget(touch->getLocation()));
  }
}

void isInteractorBase::onTouchMoved(cocos2d::Touch* touch) {
  if (panEnabled) {
    const cocos2d::Vec2 step = (touch->getLocation() - touchStartLocation) - stepTotal;
    stepTotal += step;
    onDrag(step);
  }
  if (touch->getStartLocation().distance(touch->getLocation()) > kTapTolerance) tapCandidate = false;
}

void isInteractorBase::onTouchEnded(cocos2d::Touch* touch) {
  const int64_t dt = now() - touchDownTime;
  const cocos2d::Vec2 movement = touch->getLocation() - touchStartLocation;
  const float len = movement.length();
  const cocos2d::Vec2 p = toTarget(touch->getLocation());
  if (dt >= 26 && dt <= 129 && len > 150.0f && len < 400.0f) {
    onSwipe(p, movement);
  } else if (dt < 100 && len < 50.0f) {
    onTap(p);
  }
}

void isInteractorBase::onTouchesBegan(const std::vector<cocos2d::Touch*>&) { startTwoFingerGesture(); }

void isInteractorBase::startTwoFingerGesture() {
  if (trackedTouches.size() != 2) return;
  if (panEnabled) stepTotal = cocos2d::Vec2::ZERO;
  if (pinchEnabled) {
    pinchStartDistance = trackedTouches[0]->getLocation().distance(trackedTouches[1]->getLocation());
    pinchScale = 1.0f;
  }
}

void isInteractorBase::onTouchesMoved(const std::vector<cocos2d::Touch*>& touches) {
  if (touches.size() != 2 || trackedTouches.size() != 2) return;
  cocos2d::Touch* t0 = touches[0];
  cocos2d::Touch* t1 = touches[1];
  if (pinchEnabled) {
    const float d = t0->getLocation().distance(t1->getLocation());
    if (pinchStartDistance <= 0.0f) {
      // Fingers that went down at one point: the pinch starts once they part.
      if (d > 0.0f) {
        pinchStartDistance = d;
        pinchScale = 1.0f;
      }
    } else {
      const float previous = pinchScale;
      pinchScale = d / pinchStartDistance;
      const float factor = d / (pinchStartDistance * previous);
      if (std::isfinite(factor) && factor > 0.0f) onPinch(factor);
      if (!(std::isfinite(pinchScale) && pinchScale > 0.0f)) {
        // The fingers met: restart from the next distance.
        pinchStartDistance = 0.0f;
        pinchScale = 1.0f;
      }
    }
  }
  if (panEnabled) {
    cocos2d::Touch* c0 = nullptr;
    cocos2d::Touch* c1 = nullptr;
    for (auto* c : trackedTouches) {
      if (c->getId() == t0->getId()) c0 = c;
      if (c->getId() == t1->getId()) c1 = c;
    }
    if (!c0 || !c1) return;
    const cocos2d::Vec2 mid = ((t0->getLocation() - c0->getLocation()) + (t1->getLocation() - c1->getLocation())) * 0.5f;
    const cocos2d::Vec2 step = mid - stepTotal;
    stepTotal += step;
    onPan(step);
  }
}

void isInteractorBase::onTouchesEnded(const std::vector<cocos2d::Touch*>& touches) {
  for (auto* t : touches) {
    for (auto it = trackedTouches.begin(); it != trackedTouches.end();) {
      if ((*it)->getId() == t->getId()) {
        (*it)->release();
        it = trackedTouches.erase(it);
      } else {
        ++it;
      }
    }
  }
  startTwoFingerGesture();
}

void isInteractorBase::onTouchesCancelled(const std::vector<cocos2d::Touch*>& touches) {
  isInteractorBase::onTouchesEnded(touches);
}

void isInteractorBase::handleEnded(const std::vector<cocos2d::Touch*>& touches, bool cancelled) {
  if (!captured) {
    if (!captureActive) releaseTracked();
    return;
  }
  if (singleTouchMode) {
    if (!trackedTouches.empty()) {
      const int firstId = trackedTouches.front()->getId();
      for (auto* t : touches) {
        if (t->getId() != firstId) continue;
        if (cancelled)
          onTouchCancelled(t);
        else
          onTouchEnded(t);
        break;
      }
    }
    releaseTracked();
  } else if (cancelled) {
    onTouchesCancelled(touches);
  } else {
    onTouchesEnded(touches);
  }
  if (trackedTouches.empty()) {
    captureActive = false;
    singleTouchMode = true;
  }
}

void isInteractorBase::handleTouchesEnded(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event*) {
  handleEnded(touches, false);
}

void isInteractorBase::handleTouchesCancelled(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event*) {
  handleEnded(touches, true);
}

}  // namespace isImageSDK
