#include "toolkit/widgets/NSInteractorBase.h"

#include <chrono>

USING_NS_CC;

namespace NSUI {

bool NSInteractorBase::captureActive = false;
NSInteractorBase* NSInteractorBase::captureOwner = nullptr;

namespace {

NSInteractorBase::Clock& clockSlot() {
  static NSInteractorBase::Clock clock;
  return clock;
}

// Gesture thresholds, in milliseconds and points.
constexpr int64_t kDoubleTapMs = 180;
constexpr int64_t kSwipeMinMs = 26;
constexpr int64_t kSwipeMaxMs = 129;
constexpr float kSwipeMinLength = 150.0f;
constexpr float kSwipeMaxLength = 400.0f;
constexpr int64_t kTapMaxMs = 100;
constexpr float kTapMaxLength = 50.0f;
constexpr float kTapSlop = 2.0f;

}  // namespace

void NSInteractorBase::setClock(Clock clock) { clockSlot() = std::move(clock); }

int64_t NSInteractorBase::now() {
  if (clockSlot()) return clockSlot()();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

NSInteractorBase::~NSInteractorBase() {
  // An interactor that dies during its own gesture must not leave the
  // shared capture held: every other picture view would ignore touches for
  // good.
  if (captureOwner == this) {
    captureOwner = nullptr;
    captureActive = false;
  }
  releaseTracked();
  CC_SAFE_RELEASE_NULL(target);
}

bool NSInteractorBase::init() {
  singleTouchMode = true;
  captured = false;
  pinchEnabled = true;
  panEnabled = true;
  CC_SAFE_RELEASE_NULL(target);
  touchDownTime = 0;
  hasTouchDown = false;
  captureActive = false;
  return true;
}

void NSInteractorBase::setTarget(Node* node) {
  if (node) node->retain();
  CC_SAFE_RELEASE(target);
  target = node;
}

void NSInteractorBase::clear() { CC_SAFE_RELEASE_NULL(target); }

void NSInteractorBase::track(Touch* touch) {
  if (Touch* copy = trackedWithId(touch->getID())) {
    copy->setLocation(touch->getLocation());
    return;
  }
  auto* copy = new Touch();
  copy->setTouchInfo(touch->getID(), touch->getLocation().x, touch->getLocation().y);
  copy->setLocation(touch->getLocation());
  trackedTouches.pushBack(copy);
  copy->release();
}

Touch* NSInteractorBase::trackedWithId(int id) const {
  for (Touch* t : trackedTouches) {
    if (t->getID() == id) return t;
  }
  return nullptr;
}

void NSInteractorBase::releaseTracked() { trackedTouches.clear(); }

void NSInteractorBase::handleTouchesBegan(const std::vector<Touch*>& touches, Event* event) {
  if (captureActive && !captured) return;
  if (!target) return;
  Director* director = Director::getInstance();
  if (target->getScene() == nullptr || target->getScene() != director->getRunningScene()) return;

  if (captureActive) {
    if (captureOwner != this) {
      captured = false;
      return;
    }
    for (Touch* t : touches) track(t);
  } else {
    bool inside = false;
    const Size size = target->getContentSize();
    for (Touch* t : touches) {
      Vec2 p = target->convertToNodeSpace(t->getLocation());
      if (p.x > 0 && p.x < size.width && p.y > 0 && p.y < size.height) inside = true;
    }
    if (!inside) {
      // Copies of a gesture that belongs to someone else are never used;
      // keeping them would turn this view's next gesture into a
      // two-finger one.
      releaseTracked();
      captured = false;
      return;
    }
    for (Touch* t : touches) track(t);
    captureActive = true;
    captureOwner = this;
    captured = true;
  }

  if (singleTouchMode && trackedTouches.size() > 1) {
    singleTouchMode = false;
    onTouchEnded(trackedTouches.front());
  }
  tapCandidate = true;
  if (singleTouchMode) {
    beginSingleTouch(trackedTouches.front());
  } else {
    onTouchesBegan(touches);
  }
}

void NSInteractorBase::beginSingleTouch(Touch* touch) {
  stepTotal = Vec2::ZERO;
  touchStartLocation = touch->getLocation();
  const int64_t t = now();
  const bool doubleTap = hasTouchDown && t - touchDownTime <= kDoubleTapMs;
  // The first drag report measures its speed from the touch-down.
  lastMoveTime = t;
  touchDownTime = t;
  hasTouchDown = true;
  if (doubleTap) {
    onDoubleTap(target ? target->convertToNodeSpace(touch->getLocation()) : touch->getLocation());
  } else {
    onTouchBegan(touch);
  }
}

void NSInteractorBase::onTouchMoved(Touch* touch) {
  if (panEnabled) {
    const int64_t t = now();
    const int64_t ms = t - lastMoveTime;
    lastMoveTime = t;
    Vec2 step = (touch->getLocation() - touchStartLocation) - stepTotal;
    stepTotal = stepTotal + step;
    const float speed = ms >= 1 ? step.length() / static_cast<float>(ms) : 0.0f;
    onDrag(step, speed);
  }
  if (touch->getStartLocation().distance(touch->getLocation()) > kTapSlop) tapCandidate = false;
}

void NSInteractorBase::onTouchEnded(Touch* touch) {
  const int64_t dt = now() - touchDownTime;
  const Vec2 movement = touch->getLocation() - touchStartLocation;
  const float len = movement.length();
  const Vec2 p = target ? target->convertToNodeSpace(touch->getLocation()) : touch->getLocation();
  if (dt >= kSwipeMinMs && dt <= kSwipeMaxMs && len > kSwipeMinLength && len < kSwipeMaxLength) {
    onSwipe(p, movement);
  } else if (dt < kTapMaxMs && len < kTapMaxLength) {
    onTap(p);
  }
}

void NSInteractorBase::onTouchesBegan(const std::vector<Touch*>& touches) { startTwoFingerGesture(); }

void NSInteractorBase::startTwoFingerGesture() {
  if (trackedTouches.size() != 2) return;
  if (panEnabled) stepTotal = Vec2::ZERO;
  if (pinchEnabled) {
    pinchStartDistance = trackedTouches.at(0)->getLocation().distance(trackedTouches.at(1)->getLocation());
    pinchScale = 1.0f;
  }
}

void NSInteractorBase::onTouchesMoved(const std::vector<Touch*>& touches) {
  if (touches.size() != 2 || trackedTouches.size() != 2) return;
  Touch* t0 = touches[0];
  Touch* t1 = touches[1];
  if (pinchEnabled) {
    const float d = t0->getLocation().distance(t1->getLocation());
    if (pinchStartDistance <= 0.0f || pinchScale <= 0.0f) {
      // Two fingers that went down on one point give no ratio yet: the
      // pinch starts from the first distance that has one.
      if (d > 0.0f) {
        pinchStartDistance = d;
        pinchScale = 1.0f;
      }
    } else {
      const float previous = pinchScale;
      pinchScale = d / pinchStartDistance;
      onPinch(d / (pinchStartDistance * previous));
    }
  }
  if (panEnabled) {
    Touch* c0 = trackedWithId(t0->getID());
    Touch* c1 = trackedWithId(t1->getID());
    if (c0 && c1) {
      const Vec2 d0 = t0->getLocation() - c0->getLocation();
      const Vec2 d1 = t1->getLocation() - c1->getLocation();
      const Vec2 mid = (d0 + d1) * 0.5f;
      const Vec2 step = mid - stepTotal;
      stepTotal = stepTotal + step;
      onPan(step);
    }
  }
}

void NSInteractorBase::onTouchesEnded(const std::vector<Touch*>& touches) {
  for (Touch* t : touches) {
    while (Touch* copy = trackedWithId(t->getID())) trackedTouches.eraseObject(copy);
  }
  startTwoFingerGesture();
}

void NSInteractorBase::onTouchesCancelled(const std::vector<Touch*>& touches) { onTouchesEnded(touches); }

void NSInteractorBase::handleTouchesMoved(const std::vector<Touch*>& touches, Event* event) {
  if (!holdsCapture()) return;
  if (singleTouchMode) {
    if (trackedTouches.empty()) return;
    const int id = trackedTouches.front()->getID();
    for (Touch* t : touches) {
      if (t->getID() == id) {
        onTouchMoved(t);
        return;
      }
    }
    return;
  }
  onTouchesMoved(touches);
}

void NSInteractorBase::handleTouchesEnded(const std::vector<Touch*>& touches, Event* event) {
  handleEnd(touches, false);
}

void NSInteractorBase::handleTouchesCancelled(const std::vector<Touch*>& touches, Event* event) {
  handleEnd(touches, true);
}

void NSInteractorBase::handleEnd(const std::vector<Touch*>& touches, bool cancelled) {
  // Only the owner of the gesture in progress ends it; an interactor whose
  // flag is left over from an earlier gesture must not release the capture
  // another one holds now.
  if (!holdsCapture()) {
    releaseTracked();
    singleTouchMode = true;
    return;
  }
  if (singleTouchMode) {
    if (!trackedTouches.empty()) {
      const int id = trackedTouches.front()->getID();
      for (Touch* t : touches) {
        if (t->getID() != id) continue;
        if (cancelled) {
          onTouchCancelled(t);
        } else {
          onTouchEnded(t);
        }
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

}  // namespace NSUI
