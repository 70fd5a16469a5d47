// Measurement records: the kind, the control points in world millimetres,
// the key of the slice they were drawn on, the colour and the label (for
// point, circle and polygon records, the statistics text last answered).
// Every record is registered in the process-wide isROIManager; actors and
// notification payloads hold further references. UI thread only.
#pragma once

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isObject.h"

namespace isImageSDK {

constexpr int ROI_KIND_LINE = 1;
constexpr int ROI_KIND_ANGLE = 2;
constexpr int ROI_KIND_POINT = 3;
constexpr int ROI_KIND_CIRCLE = 4;
constexpr int ROI_KIND_POLYGON = 5;

// Shortest distance from a point to the infinite line through rayOrigin
// along rayDirection (not necessarily unit, never zero). Computed in double;
// the foot of the perpendicular is rounded to float before measuring.
float distanceToRay(const cocos2d::Vec3& point, const cocos2d::Vec3& rayOrigin, const cocos2d::Vec3& rayDirection);

class ROIData : public isObject {
 public:
  bool init() override;
  void clear() override {}

  // Distance of the ray to the record and the nearest control point. The
  // base writes index −1 and leaves the distance as it is.
  virtual void hitTest(const cocos2d::Vec3& rayOrigin, const cocos2d::Vec3& rayDirection, float* distance, int* pointIndex);
  virtual void setPoint(int index, const cocos2d::Vec3& position) {}
  virtual int getPointCount() const { return 0; }
  virtual cocos2d::Vec3 getPoint(int index) const { return cocos2d::Vec3::ZERO; }
  virtual bool isValid() const { return true; }
  // kind, sliceKey, colour and (for another object) the label.
  virtual void copyBaseTo(ROIData* other) const;

  void setLabel(const std::string& text) { label = text; }
  std::string getLabel() const { return label; }

  int32_t kind = 0;
  int32_t sliceKey = 0;
  cocos2d::Color4F color = cocos2d::Color4F::GREEN;
  std::string label;

 protected:
  ROIData() = default;
};

class ROILine : public ROIData {
 public:
  static ROILine* create();
  bool init() override;
  void hitTest(const cocos2d::Vec3& o, const cocos2d::Vec3& d, float* distance, int* pointIndex) override;
  void setPoint(int index, const cocos2d::Vec3& p) override;
  int getPointCount() const override { return 2; }
  cocos2d::Vec3 getPoint(int index) const override { return index == 0 ? startPoint : endPoint; }
  bool isValid() const override;
  virtual void copyTo(ROILine* other) const;

  cocos2d::Vec3 startPoint;
  cocos2d::Vec3 endPoint;
};

class ROIAngle : public ROIData {
 public:
  static ROIAngle* create();
  bool init() override;
  void hitTest(const cocos2d::Vec3& o, const cocos2d::Vec3& d, float* distance, int* pointIndex) override;
  // index 0 (vertex) to 2 only.
  void setPoint(int index, const cocos2d::Vec3& p) override;
  int getPointCount() const override { return 3; }
  cocos2d::Vec3 getPoint(int index) const override;
  bool isValid() const override;
  virtual void copyTo(ROIAngle* other) const;

  cocos2d::Vec3 points[3];
};

class ROIPoint : public ROIData {
 public:
  static ROIPoint* create();
  bool init() override;
  void hitTest(const cocos2d::Vec3& o, const cocos2d::Vec3& d, float* distance, int* pointIndex) override;
  void setPoint(int, const cocos2d::Vec3& p) override { position = p; }
  int getPointCount() const override { return 1; }
  cocos2d::Vec3 getPoint(int) const override { return position; }
  bool isValid() const override { return true; }
  virtual void copyTo(ROIPoint* other) const;

  cocos2d::Vec3 position;
};

class ROICircle : public ROIData {
 public:
  static ROICircle* create();
  bool init() override;
  // Also moves the rim point to the point of the circle nearest the ray.
  void hitTest(const cocos2d::Vec3& o, const cocos2d::Vec3& d, float* distance, int* pointIndex) override;
  // Index 0 moves the whole circle; any other index the rim point.
  void setPoint(int index, const cocos2d::Vec3& p) override;
  int getPointCount() const override { return 2; }
  cocos2d::Vec3 getPoint(int index) const override { return index == 0 ? center : rimPoint; }
  bool isValid() const override;
  virtual void copyTo(ROICircle* other) const;
  float radius() const { return center.distance(rimPoint); }

  cocos2d::Vec3 center;
  cocos2d::Vec3 rimPoint;
};

class ROIPolygon : public ROIData {
 public:
  static ROIPolygon* create();
  bool init() override;
  // No vertices: distance 99999, index left unwritten.
  void hitTest(const cocos2d::Vec3& o, const cocos2d::Vec3& d, float* distance, int* pointIndex) override;
  void setPoint(int index, const cocos2d::Vec3& p) override;
  int getPointCount() const override { return static_cast<int>(vertices.size()); }
  cocos2d::Vec3 getPoint(int index) const override { return vertices.at(static_cast<size_t>(index)); }
  bool isValid() const override;
  // Replaces the other record's vertices.
  virtual void copyTo(ROIPolygon* other) const;

  std::vector<cocos2d::Vec3> vertices;
};

}  // namespace isImageSDK
