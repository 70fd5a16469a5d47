// Drawing measurements with the image interaction tool through the
// engine's touch dispatch (GLView::injectTouches) on a test window: each
// kind's touch sequence, their values against analytic shapes on a slice
// of 0.5 × 2.0 mm pixels, selecting and moving, the label drag, view
// resets, and the behaviour when data, camera or plane change under them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "measure_support.h"

using cocos2d::EventTouch;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;
using namespace isImageSDK;
using namespace viewtest;

namespace {

class MeasureToolTest : public MeasureTest {
 protected:
  // 60 × 60 pixels of 0.5 × 2.0 mm; value = 10 + column + 100·row.
  void SetUp() override { showSlice(60, 60, 0.5f, 2.0f, "tool"); }
  const std::vector<isActorROIBase*>& list() { return rois()->getROIActors(); }
  // The shoelace area of a planar polygon in space: half the length of the
  // sum of the edge cross products.
  static float shoelace(const std::vector<Vec3>& v) {
    double a[3] = {0, 0, 0};
    for (size_t i = 0; i < v.size(); ++i) {
      const Vec3& p = v[i];
      const Vec3& q = v[(i + 1) % v.size()];
      a[0] += static_cast<double>(p.y) * q.z - static_cast<double>(p.z) * q.y;
      a[1] += static_cast<double>(p.z) * q.x - static_cast<double>(p.x) * q.z;
      a[2] += static_cast<double>(p.x) * q.y - static_cast<double>(p.y) * q.x;
    }
    return static_cast<float>(std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]) / 2);
  }
};

TEST_F(MeasureToolTest, LineByDragReadsItsLengthAndATapLeavesNothing) {
  addTool(TOOL_MODE_ROI_LINE);
  // (10,10) to (40,50): 15 mm across, 80 mm down: 81.39 mm.
  drag(pix(10, 10), pix(40, 50));
  ASSERT_EQ(list().size(), 1u);
  EXPECT_EQ(labelOf(1), "81.4mm");
  EXPECT_EQ(tool->getActiveROI(), list()[0]);  // drawn, still selected
  EXPECT_EQ(list()[0]->selectedPoint, 1);
  tap(pix(50, 20));
  stepFrames(2);
  EXPECT_EQ(list().size(), 1u);
  EXPECT_EQ(isROIManager::getInstance()->rois.size(), 1u);
  EXPECT_EQ(rois()->nextNumber, 2);
  EXPECT_EQ(list()[0]->selectedPoint, -1);  // the touch elsewhere deselected it
  EXPECT_EQ(tool->getActiveROI(), nullptr);
}

TEST_F(MeasureToolTest, AngleInTwoTouches) {
  addTool(TOOL_MODE_ROI_ANGLE);
  // Vertex (0,0), arms to (10,0) and (10,10): 45° in pixels, 76.0° in mm.
  drag(pix(0, 0), pix(10, 0));
  ASSERT_EQ(list().size(), 1u);
  auto* angle = dynamic_cast<isActorROIAngle*>(list()[0]);
  ASSERT_NE(angle, nullptr);
  EXPECT_FALSE(angle->isComplete());
  EXPECT_EQ(angle->selectedPoint, 2);
  EXPECT_EQ(labelOf(1), "<none>");  // one arm only
  tap(pix(10, 10));
  stepFrames(2);
  ASSERT_EQ(list().size(), 1u);  // the second touch edits, no new angle
  EXPECT_TRUE(angle->isComplete());
  EXPECT_EQ(labelOf(1), "76.0deg");
}

TEST_F(MeasureToolTest, PolygonClosedByADoubleTapAtFiveVertices) {
  addTool(TOOL_MODE_ROI_POLYGON);
  drag(pix(5, 5), pix(40, 5));
  tap(pix(45, 40));
  tap(pix(10, 45));
  auto* polygon = dynamic_cast<isActorROIPolygon*>(list().at(0));
  ASSERT_NE(polygon, nullptr);
  EXPECT_EQ(polygon->getROIData()->getPointCount(), 5);  // four placed, one to drag
  EXPECT_EQ(labelOf(1), "<none>");                      // open: no statistics
  // The double tap's own two vertices go; the quadrilateral closes.
  tap(pix(30, 30), 100);
  tap(pix(30, 30));
  stepFrames(12);
  ASSERT_EQ(list().size(), 1u);
  EXPECT_TRUE(polygon->closed);
  EXPECT_EQ(polygon->selectedPoint, -1);
  EXPECT_EQ(tool->getActiveROI(), nullptr);
  const auto& v = static_cast<ROIPolygon*>(polygon->getROIData())->vertices;
  ASSERT_EQ(v.size(), 4u);
  EXPECT_LT(v[2].distance(world(45, 40)), 0.01f);
  // The area answered matches the shoelace value of the world vertices.
  const std::string text = labelOf(1);
  ASSERT_EQ(text.substr(0, 5), "Area:") << text;
  EXPECT_NEAR(std::atof(field(text, "Area:").c_str()), shoelace(v) / 100.0f, 0.006f) << text;
  EXPECT_EQ(polygon->getROIData()->getLabel(), text);
}

TEST_F(MeasureToolTest, PolygonClosedByChoosingTheToolAgainStaysActive) {
  addTool(TOOL_MODE_ROI_POLYGON);
  drag(pix(5, 5), pix(40, 5));
  auto* polygon = dynamic_cast<isActorROIPolygon*>(list().at(0));
  ASSERT_NE(polygon, nullptr);
  tool->setToolMode(TOOL_MODE_ROI_POLYGON);  // two vertices and a copy: not valid yet
  EXPECT_FALSE(polygon->closed);
  tap(pix(40, 40));
  tool->setToolMode(TOOL_MODE_ROI_POLYGON);
  EXPECT_TRUE(polygon->closed);
  EXPECT_EQ(tool->getActiveROI(), polygon);
  stepFrames(12);
  EXPECT_EQ(labelOf(1).substr(0, 5), "Area:");
  // Switching tools deselects it; a touch then starts a new one.
  tool->setToolMode(TOOL_MODE_ROI_LINE);
  EXPECT_EQ(tool->getActiveROI(), nullptr);
  EXPECT_EQ(polygon->selectedPoint, -1);
}

TEST_F(MeasureToolTest, SwitchingToolsRemovesAnUnfinishedAngle) {
  addTool(TOOL_MODE_ROI_ANGLE);
  drag(pix(5, 5), pix(20, 5));
  ASSERT_EQ(list().size(), 1u);
  tool->setToolMode(TOOL_MODE_PAN);
  EXPECT_TRUE(list().empty());
  EXPECT_TRUE(isROIManager::getInstance()->rois.empty());
}

TEST_F(MeasureToolTest, CircleStatisticsOnARamp) {
  addTool(TOOL_MODE_ROI_CIRCLE);
  // Centre on pixel (30, 30), rim 10 mm to the right (20 pixels of 0.5 mm).
  drag(pix(30, 30), pix(50, 30));
  stepFrames(12);
  const std::string text = labelOf(1);
  EXPECT_EQ(text.substr(0, 23), "Area:3.14,W:2 H:2 Unit:") << text;
  EXPECT_NEAR(std::atof(field(text, "Avg:").c_str()), 10 + 30 + 100 * 30, 0.2) << text;
}

TEST_F(MeasureToolTest, PointReadsThePixelAndATapDeselectsIt) {
  addTool(TOOL_MODE_ROI_POINT);
  tap(pix(20, 7));
  stepFrames(8);
  ASSERT_EQ(list().size(), 1u);
  EXPECT_EQ(list()[0]->selectedPoint, -1);
  EXPECT_EQ(labelOf(1).substr(0, 11), "Value:730\nx");  // 10 + 20 + 700
}

TEST_F(MeasureToolTest, SelectingAndMovingAnExistingPoint) {
  addTool(TOOL_MODE_ROI_LINE);
  drag(pix(10, 10), pix(40, 10));
  tool->clearActiveROI();
  auto* line = list().at(0);
  EXPECT_EQ(line->selectedPoint, -1);
  // A drag from near the start point (3 pixels off) moves that point.
  drag(pix(10, 10) + Vec2(3, 0), pix(10, 30));
  ASSERT_EQ(list().size(), 1u);
  EXPECT_EQ(line->selectedPoint, 0);
  EXPECT_TRUE(tool->hasPickedExisting());
  EXPECT_LT(line->getROIData()->getPoint(0).distance(world(10, 30)), 0.05f);
  EXPECT_EQ(labelOf(1), NSUI::formatString("%.1fmm", static_cast<double>(world(10, 30).distance(world(40, 10)))));
  // A tap on it keeps it selected.
  tap(pix(40, 10));
  EXPECT_EQ(tool->getActiveROI(), line);
  EXPECT_EQ(line->selectedPoint, 1);
}

TEST_F(MeasureToolTest, LabelDragNumbersTheLabelAndDrawsNothingNew) {
  addTool(TOOL_MODE_ROI_LINE);
  rec.listen({NOTIFY_ROI_CHANGED}, w);
  drag(pix(10, 20), pix(40, 20));
  drag(pix(10, 40), pix(40, 40));
  stepFrames(2);
  isActorROIBase* first = list().at(0);
  isNodeText* label = first->getLabel();
  ASSERT_NE(label, nullptr);
  const Vec2 grab = label->convertToWorldSpace(Vec2(4, 4));
  drag(grab, grab + Vec2(60, 50));
  stepFrames(3);
  EXPECT_EQ(list().size(), 2u);  // the label took the touch, not the tool
  EXPECT_TRUE(label->movedByUser);
  ASSERT_FALSE(rec.of(NOTIFY_ROI_CHANGED).empty());
  EXPECT_EQ(rec.of(NOTIFY_ROI_CHANGED)[0].sender, label);
  EXPECT_EQ(label->getString(), "1. 15.0mm");
  ASSERT_NE(first->getNumberLabel(), nullptr);
  EXPECT_EQ(first->getNumberLabel()->getString(), "1 ");
  EXPECT_EQ(list()[1]->getLabel()->getString(), "15.0mm");
}

TEST_F(MeasureToolTest, ViewResetAndClearingDeselect) {
  addTool(TOOL_MODE_ROI_LINE);
  drag(pix(10, 10), pix(40, 10));
  isActorROIBase* line = tool->getActiveROI();
  ASSERT_NE(line, nullptr);
  isActorROIBase* cleared = tool->clearActiveROI();
  EXPECT_EQ(cleared, line);
  EXPECT_EQ(line->selectedPoint, -1);
  EXPECT_EQ(tool->clearActiveROI(), nullptr);
  // A slice notice: deselected, forgotten, and the line rebuilt on it.
  tap(pix(40, 10));
  ASSERT_NE(tool->getActiveROI(), nullptr);
  NSUI::NSNotificationCenter::getInstance()->postNotificationText(actor, NOTIFY_SLICE_CHANGED, "{\"index\":1}", w, true);
  stepFrames(2);
  EXPECT_EQ(tool->getActiveROI(), nullptr);
  ASSERT_EQ(list().size(), 1u);
  EXPECT_EQ(list()[0]->selectedPoint, -1);
  EXPECT_EQ(labelOf(1), "15.0mm");
}

TEST_F(MeasureToolTest, NewDataUnderASelectedMeasurementLeavesNothingDangling) {
  addTool(TOOL_MODE_ROI_LINE);
  drag(pix(10, 10), pix(40, 10));
  ASSERT_NE(tool->getActiveROI(), nullptr);
  const Vec2 a = pix(40, 10), b = pix(30, 30);
  auto* other = isImageData::create();
  other->setIdentifier("other");
  w->setImageData(other);  // the container, its actors and the image actor go
  other->release();
  actor = nullptr;
  stepFrames(3);
  NSUI::NSNotificationCenter::getInstance()->postNotificationText(w, NOTIFY_SLICE_CHANGED, "{\"index\":1}", w, true);
  stepFrames(2);
  EXPECT_EQ(tool->getActiveROI(), nullptr);
  tap(a);
  drag(a, b);
  stepFrames(2);
  EXPECT_EQ(list().size(), 1u);  // a new line on the new data
}

TEST_F(MeasureToolTest, LabelsAndCrossesFollowZoomAndPanWithoutNewRequests) {
  addTool(TOOL_MODE_ROI_POINT);
  tap(pix(20, 20));
  tool->setToolMode(TOOL_MODE_ROI_LINE);
  drag(pix(10, 40), pix(40, 40));
  tool->clearActiveROI();
  stepFrames(12);
  rec.listen({NOTIFY_ROI_INFO}, w);
  auto* point = dynamic_cast<isActorROIPoint*>(list().at(0));
  ASSERT_NE(point, nullptr);
  const float pixelBefore = point->getWorldPixelSize();
  w->zoomBy(2.0f);
  w->setCameraTarget(w->getCameraTarget() + Vec3(3, 4, 0));
  stepFrames(4);
  // Requests of the point: none (the image actor's answers do not count).
  for (const auto& r : rec.got) EXPECT_NE(r.sender, point);
  const Vec2 sp = w->worldToScreen(point->getROIData()->getPoint(0));
  EXPECT_NEAR(point->getLabel()->getPosition().x, sp.x - 15, 1e-3);
  EXPECT_NEAR(point->getLabel()->getPosition().y, sp.y + 15 + isActorROIBase::labelOffset(), 1e-3);
  // The cross's arms are 5 to 15 pixels at the new scale.
  const float pixelAfter = point->getWorldPixelSize();
  EXPECT_NEAR(pixelAfter, pixelBefore / 2, pixelBefore * 1e-3);
  const auto* v = point->getDrawNode()->getLines();
  EXPECT_NEAR(v[0].vertices.distance(point->getROIData()->getPoint(0)), 5 * pixelAfter, 1e-3);
  auto* line = list().at(1);
  const Vec2 s0 = w->worldToScreen(line->getROIData()->getPoint(0));
  EXPECT_NEAR(line->getLabel()->getPosition().x, s0.x, 1e-3);
}

TEST_F(MeasureToolTest, ACircleOnAnObliquePlaneStaysOnThatPlane) {
  image->release();
  image = makePhantomImage(32, 32, 16, 1.0f, 1.0f, 2.0f, -16, -16, -16);
  actor = w->show(image);
  addTool(TOOL_MODE_ROI_CIRCLE);
  stepFrames(2);
  const int32_t planeKey = rois()->getSliceKey();
  // An oblique plane through the volume's middle, tilted 20° about x.
  cocos2d::Mat4 oblique;
  cocos2d::Mat4::createRotationX(0.349f, &oblique);
  oblique.m[12] = 0;
  oblique.m[13] = 0;
  oblique.m[14] = 0;
  actor->setResliceMatrix(oblique);
  stepFrames(2);
  EXPECT_EQ(rois()->getOrientation(), 4);
  const int32_t obliqueKey = rois()->getSliceKey();
  EXPECT_NE(obliqueKey, planeKey);
  const Vec2 c = w->convertToWorldSpace(Vec2(200, 200));
  drag(c, c + Vec2(30, 0));
  ASSERT_EQ(list().size(), 1u);
  EXPECT_EQ(list()[0]->getROIData()->sliceKey, obliqueKey);
  // Back on the plane: gone; the same oblique plane again: back.
  actor->showOriginalPlane();
  stepFrames(2);
  EXPECT_EQ(rois()->getSliceKey(), planeKey);
  EXPECT_TRUE(list().empty());
  actor->setResliceMatrix(oblique);
  stepFrames(2);
  ASSERT_EQ(list().size(), 1u);
  EXPECT_EQ(list()[0]->number, 1);
}

}  // namespace
