// Measurement records: validity thresholds, hit tests, point access, copies
// and the registry.
#include <gtest/gtest.h>

#include "imaging/core/isROIManager.h"
#include "imaging/view/isROIData.h"

using cocos2d::Vec3;
using namespace isImageSDK;

namespace {

// Ray along −z through (x, y).
struct Ray {
  Vec3 o, d;
};
Ray downAt(float x, float y) { return {Vec3(x, y, 100), Vec3(0, 0, -3)}; }

TEST(ROIRecords, ValidityAtTheThreshold) {
  struct Case {
    float gap;
    bool valid;
  } cases[] = {{0.049f, false}, {0.051f, true}};
  for (const auto& c : cases) {
    auto* line = ROILine::create();
    line->setPoint(0, Vec3(1, 1, 1));
    line->setPoint(1, Vec3(1 + c.gap, 1, 1));
    EXPECT_EQ(line->isValid(), c.valid) << c.gap;
    auto* circle = ROICircle::create();
    circle->setPoint(1, Vec3(c.gap, 0, 0));
    EXPECT_EQ(circle->isValid(), c.valid) << c.gap;
    auto* angle = ROIAngle::create();
    angle->setPoint(1, Vec3(5, 0, 0));
    angle->setPoint(2, Vec3(0, c.gap, 0));
    EXPECT_EQ(angle->isValid(), c.valid) << c.gap;
  }
  auto* polygon = ROIPolygon::create();
  polygon->vertices = {Vec3(1, 1, 0), Vec3(1, 1, 0)};
  EXPECT_FALSE(polygon->isValid());
  polygon->vertices.push_back(Vec3(1, 1, 0));
  EXPECT_FALSE(polygon->isValid());
  polygon->vertices.push_back(Vec3(1, 1, 0));
  EXPECT_TRUE(polygon->isValid());  // four: always
  EXPECT_EQ(ROILine::create()->color, cocos2d::Color4F::GREEN);
  EXPECT_EQ(ROIPolygon::create()->kind, ROI_KIND_POLYGON);
}

TEST(ROIRecords, CircleHitTestsMoveTheRimAndPickCentreOrRim) {
  const float r = 10.0f;
  struct Case {
    float offset;  // of the ray from the centre, in radii
    int index;
    float distance;
  } cases[] = {{0.5f - 1e-3f, 0, 0.0f}, {0.7f, 1, 0.3f * r}, {1.2f, 1, 0.2f * r}};
  for (const auto& c : cases) {
    auto* circle = ROICircle::create();
    circle->setPoint(0, Vec3(50, 50, 0));
    circle->setPoint(1, Vec3(50, 50 + r, 0));
    const Ray ray = downAt(50 + c.offset * r, 50);
    float distance = -1;
    int index = -2;
    circle->hitTest(ray.o, ray.d, &distance, &index);
    EXPECT_EQ(index, c.index) << c.offset;
    EXPECT_NEAR(distance, c.distance, 1e-3f) << c.offset;
    // The rim point moved toward the ray, the radius unchanged.
    EXPECT_NEAR(circle->rimPoint.x, 50 + r, 1e-3f);
    EXPECT_NEAR(circle->rimPoint.y, 50, 1e-3f);
    EXPECT_NEAR(circle->radius(), r, 1e-3f);
  }
  auto* circle = ROICircle::create();
  circle->setPoint(0, Vec3(50, 50, 0));
  circle->setPoint(1, Vec3(50, 50 + r, 0));
  const Ray through = downAt(50, 50);
  float distance = -1;
  int index = -2;
  circle->hitTest(through.o, through.d, &distance, &index);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(circle->rimPoint, Vec3(50, 50 + r, 0));
  // Moving the centre carries the rim along.
  circle->setPoint(0, Vec3(0, 0, 5));
  EXPECT_EQ(circle->center, Vec3(0, 0, 5));
  EXPECT_NEAR(circle->radius(), r, 1e-4f);
  EXPECT_EQ(circle->rimPoint, Vec3(0, r, 5));
}

TEST(ROIRecords, AngleTiesLineTiesAndTheEmptyPolygon) {
  auto* angle = ROIAngle::create();
  angle->setPoint(0, Vec3(-1, 0, 0));
  angle->setPoint(1, Vec3(1, 0, 0));
  angle->setPoint(2, Vec3(0, 5, 0));
  const Ray ray = downAt(0, 0);  // d0 = d1 = 1 < d2 = 5
  float distance = 0;
  int index = -1;
  angle->hitTest(ray.o, ray.d, &distance, &index);
  EXPECT_EQ(index, 2);
  EXPECT_FLOAT_EQ(distance, 5.0f);
  auto* line = ROILine::create();
  line->setPoint(0, Vec3(-1, 0, 0));
  line->setPoint(7, Vec3(1, 0, 0));
  line->hitTest(ray.o, ray.d, &distance, &index);
  EXPECT_EQ(index, 1);
  auto* polygon = ROIPolygon::create();
  index = 42;
  polygon->hitTest(ray.o, ray.d, &distance, &index);
  EXPECT_EQ(index, 42);
  EXPECT_FLOAT_EQ(distance, 99999.0f);
  polygon->vertices = {Vec3(3, 0, 0), Vec3(0, 2, 0), Vec3(-2, 0, 0)};
  polygon->hitTest(ray.o, ray.d, &distance, &index);
  EXPECT_EQ(index, 1);  // the first of the equal nearest (2 and 2) wins
  // Behind the origin counts the same: the ray is a line.
  EXPECT_FLOAT_EQ(distanceToRay(Vec3(1, 0, 500), Vec3(0, 0, 0), Vec3(0, 0, -1)), 1.0f);
}

TEST(ROIRecords, CopiesAndTheRegistry) {
  auto* a = ROIPolygon::create();
  a->vertices = {Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1)};
  a->sliceKey = 77;
  a->setLabel("Area:1");
  auto* b = ROIPolygon::create();
  b->vertices = {Vec3(9, 9, 9), Vec3(8, 8, 8), Vec3(7, 7, 7), Vec3(6, 6, 6), Vec3(5, 5, 5)};
  a->copyTo(b);
  EXPECT_EQ(b->vertices, a->vertices);
  EXPECT_EQ(b->sliceKey, 77);
  EXPECT_EQ(b->getLabel(), "Area:1");

  isROIManager::destroyInstance();
  auto* registry = isROIManager::getInstance();
  auto* record = ROICircle::create();
  const unsigned before = record->getReferenceCount();
  registry->addROI(record);
  registry->addROI(record);
  EXPECT_EQ(registry->rois.size(), 1u);
  EXPECT_EQ(record->getReferenceCount(), before + 1);
  record->retain();
  registry->clear();
  EXPECT_TRUE(registry->rois.empty());
  EXPECT_EQ(record->getReferenceCount(), before + 1);  // the test's own retain
  record->release();
  isROIManager::destroyInstance();
}

}  // namespace
