#include "imaging/view/isInteractorImage.h"

#include <cmath>
#include <cstdio>

#include "imaging/core/isGeometry.h"
#include "imaging/view/isActorROI.h"
#include "imaging/view/isRenderWindow.h"
#include "imaging/view/isRenderWindowBase.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {

constexpr float kZoomRatioMin = 0.1f;
constexpr float kZoomRatioMax = 10.0f;
constexpr float kQuarterTurnPoints = 122.0f;
constexpr float kHalfPi = 1.57079632679f;

std::string fmt(const char* format, float v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, static_cast<double>(v));
  return buf;
}

std::string jsonOf(std::initializer_list<std::pair<const char*, std::string>> items) {
  std::string text;
  for (const auto& [k, v] : items) NSUI::UIJson::setJsonString(text, k, v);
  return text;
}

}  // namespace

isInteractorImage* isInteractorImage::create() {
  auto* tool = new (std::nothrow) isInteractorImage();
  if (!tool) return nullptr;
  tool->init();
  tool->autorelease();
  return tool;
}

isInteractorImage::~isInteractorImage() {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  setActiveROI(nullptr);
}

void isInteractorImage::clear() {
  isInteractorBase::clear();
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  setActiveROI(nullptr);
}

bool isInteractorImage::init() {
  isInteractorBase::init();
  toolMode = TOOL_MODE_PAN;
  zoomTotal = 1.0f;
  windowChanged = false;
  panTotal = cocos2d::Vec2::ZERO;
  pickedExisting = false;
  setActiveROI(nullptr);
  return true;
}

void isInteractorImage::setTarget(cocos2d::Node* node) {
  isInteractorBase::setTarget(node);
  if (node) {
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    if (!nc) return;
    nc->removeAllObservers(this);
    auto reset = [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
      onViewReset(sender, id, data);
    };
    nc->addObserver(this, node, reset, NOTIFY_ORIENTATION_CHANGED);
    nc->addObserver(this, node, reset, NOTIFY_SLICE_CHANGED);
  }
}

isRenderWindowBase* isInteractorImage::window() const { return dynamic_cast<isRenderWindowBase*>(target); }

bool isInteractorImage::zoomAllowed(float factor) const {
  auto* w = window();
  if (!w) return true;
  const float ratio = w->getZoomRatio();
  if (factor < 1.0f && ratio < kZoomRatioMin) return false;
  if (factor > 1.0f && ratio > kZoomRatioMax) return false;
  return true;
}

void isInteractorImage::post(int id, const std::string& text, bool immediate) {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  if (!nc) return;
  if (text.empty()) {
    nc->postNotification(this, id, nullptr, target, immediate);
  } else {
    nc->postNotificationText(this, id, text, target, immediate);
  }
}

void isInteractorImage::postFloat(int id, float value, bool immediate) {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->postNotificationFloat(this, id, value, target, immediate);
}

void isInteractorImage::postPan(const cocos2d::Vec2& step) {
  const cocos2d::Vec2 v(-step.x, step.y);
  panTotal += v;
  post(NOTIFY_DRAG_PAN, jsonOf({{"x", fmt("%.4f", v.x)}, {"y", fmt("%.4f", v.y)}}), true);
}

void isInteractorImage::postPicked(const cocos2d::Vec2& location, bool focalFirst, bool probe, bool focal, bool cancel) {
  auto* w = window();
  if (!w) return;
  cocos2d::Vec3 p;
  if (!w->pickPoint(location, &p)) return;
  const std::string text = jsonOf({{"x", fmt("%.2f", p.x)}, {"y", fmt("%.2f", p.y)}, {"z", fmt("%.2f", p.z)}});
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  if (!nc) return;
  auto send = [&](int id) {
    if (cancel) nc->cancelNotificationsInFrame(this, id, target);
    nc->postNotificationText(this, id, text, target, true);
  };
  if (focalFirst) {
    if (focal) send(NOTIFY_FOCAL_POINT);
    if (probe) send(NOTIFY_PROBE_POINT);
  } else {
    if (probe) send(NOTIFY_PROBE_POINT);
    if (focal) send(NOTIFY_FOCAL_POINT);
  }
}

void isInteractorImage::onDrag(const cocos2d::Vec2& step) {
  switch (toolMode) {
    case TOOL_MODE_PAN:
      postPan(step);
      break;
    case TOOL_MODE_ZOOM: {
      if (!(std::fabs(step.y) > std::fabs(step.x))) break;
      const float f = step.y > 0.0f ? 1.05f : 0.95f;
      if (!zoomAllowed(f)) break;
      zoomTotal *= f;
      postFloat(NOTIFY_ZOOM_STEP, f, true);
      break;
    }
    case TOOL_MODE_WINDOW:
      windowChanged = true;
      post(NOTIFY_DRAG_WINDOW, jsonOf({{"ww", fmt("%.2f", step.x)}, {"wl", fmt("%.2f", step.y)}}), true);
      break;
    case TOOL_MODE_ROTATE: {
      auto* w = window();
      if (!w) break;
      const cocos2d::Vec2 v = -step;
      const CameraState s = w->getCameraState();
      const cocos2d::Vec3 back = -s.viewDirection;
      cocos2d::Mat4 m;  // identity; columns right, up, −viewDirection
      m.m[0] = s.rightAxis.x;
      m.m[1] = s.rightAxis.y;
      m.m[2] = s.rightAxis.z;
      m.m[4] = s.up.x;
      m.m[5] = s.up.y;
      m.m[6] = s.up.z;
      m.m[8] = back.x;
      m.m[9] = back.y;
      m.m[10] = back.z;
      rotateMatrixY(m, v.x * kHalfPi / kQuarterTurnPoints);
      rotateMatrixX(m, v.y * -kHalfPi / kQuarterTurnPoints);
      const cocos2d::Vec3 third(m.m[8], m.m[9], m.m[10]);
      const cocos2d::Vec3 second(m.m[4], m.m[5], m.m[6]);
      w->setCameraPosition(s.target + third * s.distance);
      w->setCameraLookAt(s.target, second);
      break;
    }
    default:
      break;
  }
}

void isInteractorImage::onPan(const cocos2d::Vec2& step) { postPan(step); }

void isInteractorImage::onPinch(float factor) {
  if (!(std::isfinite(factor) && factor > 0.0f)) return;
  if (!zoomAllowed(factor)) return;
  zoomTotal *= factor;
  postFloat(NOTIFY_PINCH_ZOOM, factor, true);
}

void isInteractorImage::onSwipe(const cocos2d::Vec2&, const cocos2d::Vec2& movement) {
  if (!(std::fabs(movement.x) > std::fabs(movement.y))) return;
  post(movement.x < 0.0f ? NOTIFY_SLICE_PREVIOUS : NOTIFY_SLICE_NEXT, std::string(), true);
}

void isInteractorImage::onTouchBegan(cocos2d::Touch* touch) {
  pickedExisting = false;
  if (!dynamic_cast<isRenderWindow*>(target)) return;
  if (toolMode == TOOL_MODE_PROBE || toolMode == TOOL_MODE_LOCATE)
    postPicked(touch->getLocation(), true, true, true, true);
  else if (isROIMode())
    roiTouchBegan(touch);
}

void isInteractorImage::onTouchMoved(cocos2d::Touch* touch) {
  isInteractorBase::onTouchMoved(touch);
  switch (toolMode) {
    case TOOL_MODE_PROBE:
      postPicked(touch->getLocation(), false, true, true, true);
      break;
    case TOOL_MODE_READOUT:
      postPicked(touch->getLocation(), false, true, false, false);
      break;
    case TOOL_MODE_LOCATE:
      postPicked(touch->getLocation(), false, false, true, true);
      break;
    default:
      if (isROIMode()) {
        isActorROIBase* active = liveROI();
        cocos2d::Vec3 p;
        if (active && window() && window()->pickPoint(touch->getLocation(), &p)) active->moveSelectedPoint(p);
      }
      break;
  }
}

void isInteractorImage::onTouchEnded(cocos2d::Touch* touch) {
  isInteractorBase::onTouchEnded(touch);
  if (isROIMode() && dynamic_cast<isRenderWindow*>(target)) {
    isActorROIBase* active = liveROI();
    if (active && (toolMode == TOOL_MODE_ROI_ANGLE || toolMode == TOOL_MODE_ROI_POLYGON) && !active->isComplete()) {
      cocos2d::Vec3 p;
      if (window()->pickPoint(touch->getLocation(), &p)) active->moveSelectedPoint(p);
      if (auto* angle = dynamic_cast<isActorROIAngle*>(active); angle && toolMode == TOOL_MODE_ROI_ANGLE)
        angle->advancePoint();
      if (auto* polygon = dynamic_cast<isActorROIPolygon*>(active); polygon && toolMode == TOOL_MODE_ROI_POLYGON)
        polygon->appendPoint();
      finishGesture();
      return;
    }
    if (active && !active->isValid()) {
      if (isActorROI* rois = roiContainer()) rois->removeROIActor(active);
      setActiveROI(nullptr);
      active = nullptr;
    }
    if (active && tapCandidate && !pickedExisting) {
      deselect(active);
      setActiveROI(nullptr);
    }
  }
  finishGesture();
}

// ------------------------------------------------------------ measurements

isActorROI* isInteractorImage::roiContainer() const {
  auto* w = dynamic_cast<isRenderWindow*>(target);
  return w ? w->getROIActor() : nullptr;
}

void isInteractorImage::setActiveROI(isActorROIBase* actor) {
  if (actor == activeROI) return;
  if (actor) actor->retain();
  if (activeROI) activeROI->release();
  activeROI = actor;
}

isActorROIBase* isInteractorImage::liveROI() {
  if (!activeROI) return nullptr;
  isActorROI* rois = roiContainer();
  if (!rois || !rois->contains(activeROI)) setActiveROI(nullptr);
  return activeROI;
}

isActorROIBase* isInteractorImage::getActiveROI() { return liveROI(); }

void isInteractorImage::deselect(isActorROIBase* actor) {
  if (!actor) return;
  if (actor->selectedPoint >= 0) {
    actor->selectedPoint = -1;
    actor->dirty = true;
  }
}

void isInteractorImage::roiTouchBegan(cocos2d::Touch* touch) {
  isActorROI* rois = roiContainer();
  if (!rois) return;
  isActorROIBase* active = liveROI();
  cocos2d::Vec3 origin, direction;
  window()->getPickRay(touch->getLocation(), &origin, &direction);
  isActorROIBase* hit = nullptr;
  if (!active || active->isComplete()) {
    hit = rois->hitTest(origin, direction);
    if (hit) pickedExisting = true;
  } else {
    hit = active;
  }
  if (hit) {
    if (hit != active) {
      deselect(active);
      setActiveROI(hit);
    }
    return;
  }
  deselect(active);
  setActiveROI(nullptr);
  cocos2d::Vec3 p;
  if (!window()->pickPoint(touch->getLocation(), &p)) return;
  isActorROIBase* created = nullptr;
  switch (toolMode) {
    case TOOL_MODE_ROI_LINE: created = rois->createLineROI(p); break;
    case TOOL_MODE_ROI_POINT: created = rois->createPointROI(p); break;
    case TOOL_MODE_ROI_ANGLE: created = rois->createAngleROI(p); break;
    case TOOL_MODE_ROI_CIRCLE: created = rois->createCircleROI(p); break;
    case TOOL_MODE_ROI_POLYGON: created = rois->createPolygonROI(p, p); break;
    default: break;
  }
  setActiveROI(created);
}

void isInteractorImage::onDoubleTap(const cocos2d::Vec2&) {
  auto* polygon = dynamic_cast<isActorROIPolygon*>(liveROI());
  if (!polygon || !polygon->getROIData() || polygon->getROIData()->kind != ROI_KIND_POLYGON) return;
  if (!polygon->isValid() || polygon->getROIData()->getPointCount() < 5) return;
  polygon->removeLastTwoPoints();
  polygon->closed = true;
  polygon->dirty = true;
  deselect(polygon);
  setActiveROI(nullptr);
}

void isInteractorImage::setToolMode(int mode) {
  isActorROIBase* active = liveROI();
  if (mode == toolMode) {
    auto* polygon = dynamic_cast<isActorROIPolygon*>(active);
    if (polygon && polygon->isValid()) {
      polygon->closed = true;
      polygon->dirty = true;
    }
    return;
  }
  toolMode = mode;
  if (!dynamic_cast<isRenderWindow*>(target) || !active) return;
  if (!active->isValid() || !active->isComplete()) {
    auto* polygon = dynamic_cast<isActorROIPolygon*>(active);
    if (polygon && polygon->isValid()) {
      polygon->closed = true;
      polygon->dirty = true;
    } else {
      if (isActorROI* rois = roiContainer()) rois->removeROIActor(active);
      setActiveROI(nullptr);
      return;
    }
  }
  deselect(active);
  setActiveROI(nullptr);
}

void isInteractorImage::onViewReset(cocos2d::Ref*, unsigned int, NSUI::NSNotificationData*) {
  deselect(liveROI());
  setActiveROI(nullptr);
}

isActorROIBase* isInteractorImage::clearActiveROI() {
  isActorROIBase* active = liveROI();
  if (!active) return nullptr;
  deselect(active);
  active->retain();
  setActiveROI(nullptr);
  active->autorelease();
  return active;
}

void isInteractorImage::onTouchCancelled(cocos2d::Touch*) { finishGesture(); }

void isInteractorImage::onTouchesEnded(const std::vector<cocos2d::Touch*>& touches) {
  isInteractorBase::onTouchesEnded(touches);
  finishGesture();
}

void isInteractorImage::onTouchesCancelled(const std::vector<cocos2d::Touch*>& touches) {
  isInteractorBase::onTouchesCancelled(touches);
  finishGesture();
}

void isInteractorImage::finishGesture() {
  switch (toolMode) {
    case TOOL_MODE_PAN:
      if (std::fabs(panTotal.x) > 0.001f || std::fabs(panTotal.y) > 0.001f)
        post(NOTIFY_SYNC_PAN, jsonOf({{"x", fmt("%.4f", panTotal.x)}, {"y", fmt("%.4f", panTotal.y)}}), false);
      break;
    case TOOL_MODE_ZOOM:
      if (std::fabs(zoomTotal - 1.0f) > 0.001f) postFloat(NOTIFY_SYNC_ZOOM, zoomTotal, false);
      break;
    case TOOL_MODE_WINDOW:
      if (windowChanged) post(NOTIFY_SYNC_WINDOW, std::string(), false);
      break;
    case TOOL_MODE_PROBE:
    case TOOL_MODE_LOCATE:
      post(NOTIFY_SYNC_RECENTRE, std::string(), false);
      break;
    default:
      break;
  }
  zoomTotal = 1.0f;
  panTotal = cocos2d::Vec2::ZERO;
  windowChanged = false;
}

isInteractorTrackVR* isInteractorTrackVR::create() {
  auto* tool = new (std::nothrow) isInteractorTrackVR();
  if (!tool) return nullptr;
  tool->init();
  tool->autorelease();
  return tool;
}

bool isInteractorTrackVR::init() {
  isInteractorImage::init();
  toolMode = TOOL_MODE_ROTATE;
  return true;
}

}  // namespace isImageSDK
