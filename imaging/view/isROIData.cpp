#include "imaging/view/isROIData.h"

#include <cassert>
#include <cmath>

namespace isImageSDK {

namespace {

constexpr double kValidDistance = 0.05;

bool atLeast(float distance) { return static_cast<double>(distance) >= kValidDistance; }

cocos2d::Vec3 footOnRay(const cocos2d::Vec3& v, const cocos2d::Vec3& o, const cocos2d::Vec3& d) {
  const double dx = d.x, dy = d.y, dz = d.z;
  const double dd = dx * dx + dy * dy + dz * dz;
  const double vd = v.x * dx + v.y * dy + v.z * dz;
  const double od = o.x * dx + o.y * dy + o.z * dz;
  const double t = dd > 0.0 ? (vd - od) / dd : 0.0;
  return cocos2d::Vec3(static_cast<float>(o.x + t * dx), static_cast<float>(o.y + t * dy),
                       static_cast<float>(o.z + t * dz));
}

template <class T>
T* createRecord() {
  auto* r = new (std::nothrow) T();
  if (!r) return nullptr;
  r->init();
  r->autorelease();
  return r;
}

}  // namespace

float distanceToRay(const cocos2d::Vec3& point, const cocos2d::Vec3& rayOrigin, const cocos2d::Vec3& rayDirection) {
  return point.distance(footOnRay(point, rayOrigin, rayDirection));
}

// ---------------------------------------------------------------- base

bool ROIData::init() {
  isObject::init();
  sliceKey = 0;
  color = cocos2d::Color4F::GREEN;
  label.clear();
  return true;
}

void ROIData::hitTest(const cocos2d::Vec3&, const cocos2d::Vec3&, float*, int* pointIndex) {
  if (pointIndex) *pointIndex = -1;
}

void ROIData::copyBaseTo(ROIData* other) const {
  if (!other) return;
  other->kind = kind;
  other->sliceKey = sliceKey;
  other->color = color;
  if (other != this) other->label = label;
}

// ---------------------------------------------------------------- line

ROILine* ROILine::create() { return createRecord<ROILine>(); }

bool ROILine::init() {
  ROIData::init();
  kind = ROI_KIND_LINE;
  startPoint = endPoint = cocos2d::Vec3::ZERO;
  return true;
}

void ROILine::hitTest(const cocos2d::Vec3& o, const cocos2d::Vec3& d, float* distance, int* pointIndex) {
  const float d0 = distanceToRay(startPoint, o, d);
  const float d1 = distanceToRay(endPoint, o, d);
  const bool first = d0 < d1;
  if (pointIndex) *pointIndex = first ? 0 : 1;
  if (distance) *distance = first ? d0 : d1;
}

void ROILine::setPoint(int index, const cocos2d::Vec3& p) { (index == 0 ? startPoint : endPoint) = p; }

bool ROILine::isValid() const { return atLeast(startPoint.distance(endPoint)); }

void ROILine::copyTo(ROILine* other) const {
  if (!other) return;
  copyBaseTo(other);
  other->startPoint = startPoint;
  other->endPoint = endPoint;
}

// ---------------------------------------------------------------- angle

ROIAngle* ROIAngle::create() { return createRecord<ROIAngle>(); }

bool ROIAngle::init() {
  ROIData::init();
  kind = ROI_KIND_ANGLE;
  for (auto& p : points) p = cocos2d::Vec3::ZERO;
  return true;
}

void ROIAngle::hitTest(const cocos2d::Vec3& o, const cocos2d::Vec3& d, float* distance, int* pointIndex) {
  const float d0 = distanceToRay(points[0], o, d);
  const float d1 = distanceToRay(points[1], o, d);
  const float d2 = distanceToRay(points[2], o, d);
  int index = 2;
  float best = d2;
  if (d0 < d1 && d0 < d2) {
    index = 0;
    best = d0;
  } else if (d1 < d0 && d1 < d2) {
    index = 1;
    best = d1;
  }
  if (pointIndex) *pointIndex = index;
  if (distance) *distance = best;
}

void ROIAngle::setPoint(int index, const cocos2d::Vec3& p) {
  assert(index >= 0 && index < 3);
  points[index] = p;
}

cocos2d::Vec3 ROIAngle::getPoint(int index) const {
  assert(index >= 0 && index < 3);
  return points[index];
}

bool ROIAngle::isValid() const {
  return atLeast(points[0].distance(points[1])) && atLeast(points[0].distance(points[2]));
}

void ROIAngle::copyTo(ROIAngle* other) const {
  if (!other) return;
  copyBaseTo(other);
  for (int i = 0; i < 3; ++i) other->points[i] = points[i];
}

// ---------------------------------------------------------------- point

ROIPoint* ROIPoint::create() { return createRecord<ROIPoint>(); }

bool ROIPoint::init() {
  ROIData::init();
  kind = ROI_KIND_POINT;
  position = cocos2d::Vec3::ZERO;
  return true;
}

void ROIPoint::hitTest(const cocos2d::Vec3& o, const cocos2d::Vec3& d, float* distance, int* pointIndex) {
  if (pointIndex) *pointIndex = 0;
  if (distance) *distance = distanceToRay(position, o, d);
}

void ROIPoint::copyTo(ROIPoint* other) const {
  if (!other) return;
  copyBaseTo(other);
  other->position = position;
}

// ---------------------------------------------------------------- circle

ROICircle* ROICircle::create() { return createRecord<ROICircle>(); }

bool ROICircle::init() {
  ROIData::init();
  kind = ROI_KIND_CIRCLE;
  center = rimPoint = cocos2d::Vec3::ZERO;
  return true;
}

void ROICircle::hitTest(const cocos2d::Vec3& o, const cocos2d::Vec3& d, float* distance, int* pointIndex) {
  const float r = center.distance(rimPoint);
  const cocos2d::Vec3 f = footOnRay(center, o, d);
  float m = center.distance(f);
  if (m >= 0.01f) {
    cocos2d::Vec3 dir = f - center;
    dir.normalize();
    rimPoint = center + dir * r;
  }
  float e;
  if (r > m) {
    if (m < 0.5f * r) m = 0.0f;
    e = r - m;
  } else {
    e = m - r;
  }
  const bool centre = e > m;
  if (pointIndex) *pointIndex = centre ? 0 : 1;
  if (distance) *distance = centre ? m : e;
}

void ROICircle::setPoint(int index, const cocos2d::Vec3& p) {
  if (index == 0) {
    rimPoint += p - center;
    center = p;
  } else {
    rimPoint = p;
  }
}

bool ROICircle::isValid() const { return static_cast<double>(center.distance(rimPoint)) > kValidDistance; }

void ROICircle::copyTo(ROICircle* other) const {
  if (!other) return;
  copyBaseTo(other);
  other->center = center;
  other->rimPoint = rimPoint;
}

// ---------------------------------------------------------------- polygon

ROIPolygon* ROIPolygon::create() { return createRecord<ROIPolygon>(); }

bool ROIPolygon::init() {
  ROIData::init();
  kind = ROI_KIND_POLYGON;
  vertices.clear();
  return true;
}

void ROIPolygon::hitTest(const cocos2d::Vec3& o, const cocos2d::Vec3& d, float* distance, int* pointIndex) {
  float best = 99999.0f;
  for (size_t i = 0; i < vertices.size(); ++i) {
    const float di = distanceToRay(vertices[i], o, d);
    if (di < best) {
      best = di;
      if (pointIndex) *pointIndex = static_cast<int>(i);
    }
  }
  if (distance) *distance = best;
}

void ROIPolygon::setPoint(int index, const cocos2d::Vec3& p) {
  if (index >= 0 && static_cast<size_t>(index) < vertices.size()) vertices[static_cast<size_t>(index)] = p;
}

bool ROIPolygon::isValid() const {
  if (vertices.size() < 3) return false;
  if (vertices.size() > 3) return true;
  return atLeast(vertices[0].distance(vertices[1])) && atLeast(vertices[1].distance(vertices[2])) &&
         atLeast(vertices[0].distance(vertices[2]));
}

void ROIPolygon::copyTo(ROIPolygon* other) const {
  if (!other) return;
  copyBaseTo(other);
  if (other == this) return;
  other->vertices.clear();
  for (const auto& v : vertices) other->vertices.push_back(v);
}

}  // namespace isImageSDK
