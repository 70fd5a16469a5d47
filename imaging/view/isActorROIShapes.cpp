#include "imaging/view/isActorROIShapes.h"

#include <algorithm>
#include <vector>

#include "imaging/view/isRenderWindowBase.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {

constexpr float kMinimumEdge = 0.05f;
constexpr float kPi = 3.1415926f;
// Arms of the point's cross, in pixels from the point.
constexpr float kCrossGap = 5.0f;
constexpr float kCrossEnd = 15.0f;
// The point's label and marker, in pixels from the point.
constexpr float kPointLabelOffset = 15.0f;

// Label at (min x, max y) of the screen positions, marker at the one with
// the smallest x (the earliest on ties).
struct Placement {
  float labelX, labelY;
  cocos2d::Vec3 marker;
};

Placement placeOver(const std::vector<cocos2d::Vec3>& screen) {
  Placement p{screen.front().x, screen.front().y, screen.front()};
  for (const auto& s : screen) {
    p.labelX = std::min(p.labelX, s.x);
    p.labelY = std::max(p.labelY, s.y);
    if (s.x < p.marker.x) p.marker = s;
  }
  return p;
}

void moveSelected(ROIData* record, int selected, const cocos2d::Vec3& p) {
  if (!record || selected < 0 || selected >= record->getPointCount()) return;
  record->setPoint(selected, p);
}

}  // namespace

// ------------------------------------------------------------------- line

bool isActorROILine::init() {
  if (!isActorROIBase::init()) return false;
  drawNode = isDrawNode::create();
  if (!drawNode) return false;
  addRenderNode(drawNode);
  return true;
}

void isActorROILine::setROIData(ROIData* data) {
  if (data && data->kind != ROI_KIND_LINE) return;
  isActorROIBase::setROIData(data);
}

void isActorROILine::moveSelectedPoint(const cocos2d::Vec3& p) {
  if (!roiData) return;
  moveSelected(roiData, selectedPoint, p);
  dirty = true;
}

void isActorROILine::update() {
  if (!dirty || !renderWindow) return;
  drawNode->clear();
  if (roiData) {
    const cocos2d::Vec3 a = roiData->getPoint(0), b = roiData->getPoint(1);
    drawNode->drawLine(a, b, roiData->color);
    drawHandles(drawNode);
    setLabelText(NSUI::formatString("%.1fmm", static_cast<double>(a.distance(b))));
    const cocos2d::Vec3 s0 = screenOf(a), s1 = screenOf(b);
    setLabelPosition(std::min(s0.x, s1.x), std::max(s0.y, s1.y));
    const cocos2d::Vec3& m = s1.x < s0.x ? s1 : s0;
    setNumberPosition(m.x, m.y);
  }
  finishRedraw(false);
}

// ------------------------------------------------------------------ angle

bool isActorROIAngle::init() {
  if (!isActorROIBase::init()) return false;
  drawNode = isDrawNode::create();
  if (!drawNode) return false;
  addRenderNode(drawNode);
  complete = false;
  return true;
}

void isActorROIAngle::setROIData(ROIData* data) {
  if (!data || data->kind != ROI_KIND_ANGLE) return;
  isActorROIBase::setROIData(data);
  complete = data->isValid();
}

void isActorROIAngle::moveSelectedPoint(const cocos2d::Vec3& p) {
  if (!roiData) return;
  moveSelected(roiData, selectedPoint, p);
  dirty = true;
}

void isActorROIAngle::advancePoint() {
  if (complete || !roiData) return;
  if (selectedPoint == 1 && roiData->getPoint(0).distance(roiData->getPoint(1)) > kMinimumEdge) {
    selectedPoint = 2;
    dirty = true;
  } else if (selectedPoint == 2) {
    complete = true;
  }
}

void isActorROIAngle::update() {
  if (!dirty || !renderWindow) return;
  drawNode->clear();
  if (roiData) {
    const cocos2d::Vec3 v = roiData->getPoint(0), a = roiData->getPoint(1), b = roiData->getPoint(2);
    drawNode->drawLine(v, a, roiData->color);
    drawNode->drawLine(v, b, roiData->color);
    drawHandles(drawNode);
    if (roiData->isValid()) {
      const float degrees = cocos2d::Vec3::angle(a - v, b - v) / kPi * 180.0f;
      setLabelText(NSUI::formatString("%.1fdeg", static_cast<double>(degrees)));
      const Placement p = placeOver({screenOf(v), screenOf(a), screenOf(b)});
      setLabelPosition(p.labelX, p.labelY);
      setNumberPosition(p.marker.x, p.marker.y);
    }
  }
  finishRedraw(false);
}

// ------------------------------------------------------------------ point

bool isActorROIPoint::init() {
  if (!isActorROIBase::init()) return false;
  drawNode = isDrawNode::create();
  if (!drawNode) return false;
  addRenderNode(drawNode);
  return true;
}

void isActorROIPoint::attach(isRenderWindowBase* window) {
  isActorROIBase::attach(window);
  if (renderWindow) addObserver(NOTIFY_ROI_INFO, renderWindow);
}

void isActorROIPoint::setROIData(ROIData* data) {
  if (data && data->kind != ROI_KIND_POINT) return;
  isActorROIBase::setROIData(data);
}

void isActorROIPoint::moveSelectedPoint(const cocos2d::Vec3& p) {
  if (!roiData) return;
  moveSelected(roiData, selectedPoint, p);
  dirty = true;
}

void isActorROIPoint::onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
  if (takeStatisticsAnswer(id, data)) return;
  isActorROIBase::onNotification(sender, id, data);
}

void isActorROIPoint::update() {
  if (!dirty || !renderWindow) return;
  drawNode->clear();
  if (roiData) {
    cocos2d::Vec3 x, y;
    cameraAxes(&x, &y);
    const bool selected = selectedPoint >= 0 && selectedPoint < roiData->getPointCount();
    const cocos2d::Color4F colour = selected ? cocos2d::Color4F::RED : roiData->color;
    const float s = worldPixelSize();
    const cocos2d::Vec3 p = roiData->getPoint(0);
    for (const cocos2d::Vec3& axis : {x, -x, y, -y})
      drawNode->drawLine(p + axis * (kCrossGap * s), p + axis * (kCrossEnd * s), colour);
    setLabelText(roiData->getLabel());
    const cocos2d::Vec3 sp = screenOf(p);
    setLabelPosition(sp.x - kPointLabelOffset, sp.y + kPointLabelOffset);
    setNumberPosition(sp.x - kPointLabelOffset, sp.y);
    if (!labelMoved) requestStatistics();
  }
  finishRedraw(true);
}

// ----------------------------------------------------------------- circle

bool isActorROICircle::init() {
  if (!isActorROIBase::init()) return false;
  fixedLabelScale = true;
  drawNode = isDrawNode::create();
  if (!drawNode) return false;
  addRenderNode(drawNode);
  return true;
}

void isActorROICircle::attach(isRenderWindowBase* window) {
  isActorROIBase::attach(window);
  if (renderWindow) addObserver(NOTIFY_ROI_INFO, renderWindow);
}

void isActorROICircle::setROIData(ROIData* data) {
  if (data && data->kind != ROI_KIND_CIRCLE) return;
  isActorROIBase::setROIData(data);
}

void isActorROICircle::moveSelectedPoint(const cocos2d::Vec3& p) {
  if (!roiData) return;
  moveSelected(roiData, selectedPoint, p);
  dirty = true;
}

void isActorROICircle::onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
  if (takeStatisticsAnswer(id, data)) return;
  isActorROIBase::onNotification(sender, id, data);
}

void isActorROICircle::update() {
  if (!dirty || !renderWindow) return;
  drawNode->clear();
  if (roiData) {
    cocos2d::Vec3 x, y;
    cameraAxes(&x, &y);
    const cocos2d::Vec3 centre = roiData->getPoint(0), rim = roiData->getPoint(1);
    const float r = centre.distance(rim);
    cocos2d::Color4F colour = roiData->color;
    if (selectedPoint == 0) {
      drawNode->drawPoint(centre, handleSize, cocos2d::Color4F::RED);
      colour = cocos2d::Color4F::YELLOW;
    } else if (selectedPoint == 1) {
      drawNode->drawPoint(centre, handleSize, cocos2d::Color4F::YELLOW);
      colour = cocos2d::Color4F::RED;
    }
    drawNode->drawCircle(centre, x, y, r, 0.0f, 0, false, 1.0f, 1.0f, colour);
    if (roiData->isValid()) {
      const cocos2d::Vec3 sc = screenOf(centre), sr = screenOf(rim);
      const float R = sc.distance(sr);
      setLabelText(roiData->getLabel());
      setLabelPosition(sc.x - R, sc.y + R);
      setNumberPosition(sc.x - R, sc.y);
      if (!labelMoved) requestStatistics();
    }
  }
  finishRedraw(true);
}

// ---------------------------------------------------------------- polygon

bool isActorROIPolygon::init() {
  if (!isActorROIBase::init()) return false;
  fixedLabelScale = true;
  drawNode = isDrawNode::create();
  dashedDrawNode = isDrawNode::create();
  if (!drawNode || !dashedDrawNode) return false;
  dashedDrawNode->lineStipple = true;
  addRenderNode(drawNode);
  addRenderNode(dashedDrawNode);
  closed = false;
  return true;
}

void isActorROIPolygon::attach(isRenderWindowBase* window) {
  isActorROIBase::attach(window);
  if (renderWindow) addObserver(NOTIFY_ROI_INFO, renderWindow);
}

void isActorROIPolygon::setROIData(ROIData* data) {
  if (!data || data->kind != ROI_KIND_POLYGON || !dynamic_cast<ROIPolygon*>(data)) return;
  isActorROIBase::setROIData(data);
  closed = data->isValid();
}

void isActorROIPolygon::moveSelectedPoint(const cocos2d::Vec3& p) {
  if (!roiData) return;
  moveSelected(roiData, selectedPoint, p);
  dirty = true;
}

void isActorROIPolygon::onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
  if (takeStatisticsAnswer(id, data)) return;
  isActorROIBase::onNotification(sender, id, data);
}

void isActorROIPolygon::appendPoint() {
  if (closed || !roiData) return;
  std::vector<cocos2d::Vec3>& v = polygon()->vertices;
  if (v.size() < 2) return;
  if (v.back().distance(v[v.size() - 2]) > kMinimumEdge) {
    v.push_back(v.back());
    const int last = static_cast<int>(v.size()) - 1;
    if (selectedPoint != last) {
      selectedPoint = last;
      dirty = true;
    }
  }
}

void isActorROIPolygon::removeLastTwoPoints() {
  if (closed || !roiData) return;
  std::vector<cocos2d::Vec3>& v = polygon()->vertices;
  if (v.size() < 5) return;
  v.pop_back();
  v.pop_back();
  const int last = static_cast<int>(v.size()) - 1;
  if (selectedPoint != last) {
    selectedPoint = last;
    dirty = true;
  }
}

void isActorROIPolygon::update() {
  if (!dirty || !renderWindow) return;
  drawNode->clear();
  dashedDrawNode->clear();
  if (roiData && !polygon()->vertices.empty()) {
    const std::vector<cocos2d::Vec3>& v = polygon()->vertices;
    for (size_t i = 0; i + 1 < v.size(); ++i) drawNode->drawLine(v[i], v[i + 1], roiData->color);
    (closed ? drawNode : dashedDrawNode)->drawLine(v.front(), v.back(), roiData->color);
    drawHandles(drawNode);
    if (closed) {
      std::vector<cocos2d::Vec3> screen;
      screen.reserve(v.size());
      for (const auto& p : v) screen.push_back(screenOf(p));
      const Placement p = placeOver(screen);
      setLabelText(roiData->getLabel());
      setLabelPosition(p.labelX, p.labelY);
      setNumberPosition(p.marker.x, p.marker.y);
      if (!labelMoved) requestStatistics();
    }
  }
  finishRedraw(true);
}

}  // namespace isImageSDK
