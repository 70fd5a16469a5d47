// The 2-D image viewer's planes and camera: the orientation of every plane
// in every patient position, picking, slice navigation, the focal point,
// refitting and the oblique rotation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "imaging/view/isActorCrossLine.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "viewer_support.h"

using namespace isImageSDK;
using namespace viewertest;
using cocos2d::Mat4;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;

namespace {

Vec3 column(const Mat4& m, int c) { return Vec3(m.m[4 * c], m.m[4 * c + 1], m.m[4 * c + 2]); }

// Screen direction (unit) in which a patient direction runs in the viewer.
Vec2 screenDirection(isViewerImage* v, const Vec3& centre, const Vec3& patientDirection, int position, int feetFirst) {
  const Vec3 d = toDisplay(patientDirection, position, feetFirst);
  Vec2 s = v->worldToScreen(centre + d * 10.0f) - v->worldToScreen(centre);
  s.normalize();
  return s;
}

class ViewerPlanesTest : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  Recorder rec;
};

// Every patient position × plane: which patient direction points up and
// which right on the screen, where the eye looks, the kind and its label.
TEST_F(ViewerPlanesTest, EveryPlaneIsSeenTheRadiologicalWayInEveryPatientPosition) {
  struct Position {
    const char* name;
    int position;
    int feetFirst;
  };
  const Position positions[] = {{"HFS", POSITION_SUPINE, HEAD_FIRST},
                                {"FFS", POSITION_SUPINE, FEET_FIRST},
                                {"HFP", POSITION_PRONE, HEAD_FIRST},
                                {"FFP", POSITION_PRONE, FEET_FIRST}};
  struct Plane {
    int plane;
    int kind;
    const char* label;
    Vec3 up, right, view;  // patient terms: +x left, +y posterior, +z superior
    int sliceAxis;         // the data axis the plane steps along
  };
  const Plane planes[] = {
      // Axial from the feet: anterior up, the patient's right on the left.
      {0, VIEW_KIND_AXIAL, "Axial", Vec3(0, -1, 0), Vec3(1, 0, 0), Vec3(0, 0, 1), 2},
      // Sagittal from the patient's left: superior up, anterior on the left.
      {1, VIEW_KIND_SAGITTAL, "Sagittal", Vec3(0, 0, 1), Vec3(0, 1, 0), Vec3(-1, 0, 0), 0},
      // Coronal from the front: superior up, the patient's right on the left.
      {2, VIEW_KIND_CORONAL, "Coronal", Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0), 1},
  };
  const int dims[3] = {24, 20, 16};
  for (const Position& p : positions) {
    isViewerImage* v = addViewer(engine.scene, Size(400, 300), Vec2(0, 0));
    rec.listen({NOTIFY_OVERLAY_VIEW_NAME}, v);
    auto* data = makePhantom(dims[0], dims[1], dims[2], p.position, p.feetFirst);
    v->setImageData(data);
    data->release();
    for (const Plane& c : planes) {
      SCOPED_TRACE(std::string(p.name) + " plane " + std::to_string(c.plane));
      rec.got.clear();
      // From another plane, so that plane 0 is shown anew as well.
      v->showPlane(c.plane == 0 ? 2 : 0);
      v->showPlane(c.plane);
      EXPECT_EQ(v->viewKind, c.kind);
      EXPECT_EQ(v->getSliceCount(), dims[c.sliceAxis]);
      EXPECT_EQ(v->imageActor->getSliceIndex(), dims[c.sliceAxis] / 2);

      Vec3 centre;
      v->imageActor->getSliceCenter(&centre);
      const Vec2 up = screenDirection(v, centre, c.up, p.position, p.feetFirst);
      const Vec2 right = screenDirection(v, centre, c.right, p.position, p.feetFirst);
      EXPECT_NEAR(up.x, 0.0f, 1e-4f);
      EXPECT_NEAR(up.y, 1.0f, 1e-4f);
      EXPECT_NEAR(right.x, 1.0f, 1e-4f);
      EXPECT_NEAR(right.y, 0.0f, 1e-4f);
      const Vec3 view = toPatient(v->getCameraState().viewDirection, p.position, p.feetFirst);
      EXPECT_NEAR(view.distance(c.view), 0.0f, 1e-4f) << view.x << " " << view.y << " " << view.z;

      // The window centre picks the centre of the shown slice, which is
      // where the plane frame starts.
      Vec3 picked;
      ASSERT_TRUE(v->pickPoint(Vec2(200, 150), &picked));
      EXPECT_NEAR(picked.distance(centre), 0.0f, 1e-2f);
      EXPECT_NEAR(v->planeFrame.getTranslation().distance(centre), 0.0f, 1e-3f);

      // Serial deliveries come one a frame, behind the overlay's own.
      stepFrames(16);
      const auto names = rec.of(NOTIFY_OVERLAY_VIEW_NAME);
      ASSERT_FALSE(names.empty());
      EXPECT_EQ(names.back().text, c.label);
    }
    v->removeFromParent();
  }
}

TEST_F(ViewerPlanesTest, ThePlaneWhoseEdgesReadCoronalIsFoundForTheCoronalCommand) {
  isViewerImage* v = addViewer(engine.scene);
  auto* data = makePhantom(24, 20, 16);
  v->setImageData(data);
  data->release();
  v->showCoronalView();
  EXPECT_EQ(v->viewKind, VIEW_KIND_CORONAL);
  EXPECT_EQ(v->imageActor->getPlaneOrientation(), 2);
  // Already coronal: nothing, not even back to the middle slice.
  v->goToSlice(3, false);
  v->showCoronalView();
  EXPECT_EQ(v->imageActor->getSliceIndex(), 3);
}

TEST_F(ViewerPlanesTest, SingleImagesStayOnTheirSliceWhateverPlaneIsAsked) {
  isViewerImage* v = addViewer(engine.scene);
  rec.listen({NOTIFY_OVERLAY_VIEW_NAME}, v);
  LooseSlice l;
  auto* data = makeLooseSlices({l});
  v->setImageData(data);
  data->release();
  stepFrames(3);
  rec.got.clear();
  const CameraState before = v->getCameraState();
  v->showPlane(1);
  stepFrames(3);
  ASSERT_EQ(rec.of(NOTIFY_OVERLAY_VIEW_NAME).size(), 1u);
  EXPECT_EQ(rec.of(NOTIFY_OVERLAY_VIEW_NAME)[0].text, "Slice");
  EXPECT_EQ(v->viewKind, VIEW_KIND_SLICE);
  EXPECT_EQ(v->imageActor->getPlaneOrientation(), 0);
  EXPECT_EQ(v->getCameraState().eye, before.eye);
  EXPECT_EQ(v->getSliceStep(), Vec3::ZERO);
}

TEST_F(ViewerPlanesTest, SteppingPastTheEndHidesTheViewAndTheLastSliceShowsItOnThatSlice) {
  isViewerImage* v = addViewer(engine.scene);
  auto* data = makePhantom(16, 16, 10);
  v->setImageData(data);
  data->release();
  const CameraState camera = v->getCameraState();
  v->goToSlice(10, false);
  EXPECT_FALSE(v->isContentVisible());
  v->goToSlice(9, false);
  EXPECT_TRUE(v->isContentVisible());
  EXPECT_EQ(v->imageActor->getSliceIndex(), 9);
  // The focal point moved along the normal onto slice 9; the camera stayed.
  const SliceRecord* record = v->imageActor->getOutputSliceInfo();
  const Vec3 n = column(record->matrix, 2), origin = column(record->matrix, 3);
  EXPECT_NEAR(n.dot(v->planeFrame.getTranslation() - origin), 0.0f, 1e-3f);
  EXPECT_EQ(v->getCameraState().target, camera.target);
  v->goToSlice(-1, false);
  EXPECT_FALSE(v->isContentVisible());
  v->goToSlice(0, false);
  EXPECT_TRUE(v->isContentVisible());
  // The slice step of an axial plane is the slice spacing along the normal.
  const Vec3 step = v->getSliceStep();
  EXPECT_NEAR(step.distance(n * 2.0f), 0.0f, 1e-5f);
}

// A localiser: axial slices, then coronal ones. A step refits the camera
// only where the slice normal turns by 1e-4 rad or more.
TEST_F(ViewerPlanesTest, ALocaliserRefitsOnlyWhereTheSliceTurns) {
  struct Slice {
    double tilt;    // rad about the row direction
    bool coronal;
    double z;
    bool refitOnArrival;
  };
  const Slice slices[] = {
      {0.0, false, 0.0, false},
      {5e-5, false, 30.0, false},  // a turn below the threshold
      {0.0, true, 40.0, true},
      {2e-4, true, 60.0, true},   // a turn above it
      {2e-4, true, 80.0, false},
  };
  std::vector<LooseSlice> list;
  for (const Slice& s : slices) {
    const double c = std::cos(s.tilt), sn = std::sin(s.tilt);
    const double row[3] = {1, 0, 0};
    const double colAxial[3] = {0, c, sn}, colCoronal[3] = {0, sn, -c};
    const double position[3] = {0, s.coronal ? s.z : 0.0, s.coronal ? 0.0 : s.z};
    LooseSlice l;
    l.matrix = makeSliceMatrix(row, s.coronal ? colCoronal : colAxial, position, 0, 0);
    l.width = 20;
    l.height = 20;
    list.push_back(l);
  }
  isViewerImage* v = addViewer(engine.scene);
  auto* data = makeLooseSlices(list);
  v->setImageData(data);
  data->release();
  ASSERT_FALSE(data->isVolume());
  for (int i = 1; i < 5; ++i) {
    SCOPED_TRACE(i);
    const CameraState before = v->getCameraState();
    v->goToSlice(i, false);
    const CameraState after = v->getCameraState();
    const bool moved = after.viewDirection.distance(before.viewDirection) > 1e-7f ||
                       after.target.distance(before.target) > 1e-3f;
    EXPECT_EQ(moved, slices[i].refitOnArrival);
    if (moved) {
      Vec3 centre;
      v->imageActor->getSliceCenter(&centre);
      EXPECT_NEAR(after.target.distance(centre), 0.0f, 1e-3f);
    }
  }
  // Back onto the axial slices: the normal turns again.
  const CameraState before = v->getCameraState();
  v->goToSlice(1, false);
  EXPECT_GT(v->getCameraState().viewDirection.distance(before.viewDirection), 0.5f);
}

TEST_F(ViewerPlanesTest, ObliqueRotationThereAndBackRestoresThePlaneAndLeavesKindOblique) {
  isViewerImage* v = addViewer(engine.scene);
  auto* data = makePhantom(24, 20, 16);
  v->setImageData(data);
  data->release();
  const Mat4 start = v->planeFrame;
  const CameraState camera = v->getCameraState();
  v->rotateOblique(90.0f);
  EXPECT_EQ(v->viewKind, VIEW_KIND_OBLIQUE);
  EXPECT_FALSE(v->imageActor->isPlaneMode());
  EXPECT_EQ(v->getSliceCount(), -1);
  // A quarter turn about the plane's own y axis: the normal now runs along
  // the old row direction, through the same focal point.
  EXPECT_NEAR(column(v->planeFrame, 2).distance(column(start, 0)), 0.0f, 1e-4f);
  EXPECT_NEAR(v->planeFrame.getTranslation().distance(start.getTranslation()), 0.0f, 1e-4f);
  // The camera turned with the plane: it still looks along the normal.
  EXPECT_NEAR(std::fabs(v->getCameraState().viewDirection.dot(column(v->planeFrame, 2))), 1.0f, 1e-4f);
  isActorCrossLine* lines = v->getActorManager()->findCrossLineActor();
  ASSERT_NE(lines, nullptr);
  EXPECT_TRUE(lines->isLinesShown());

  v->rotateOblique(-90.0f);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(v->planeFrame.m[i], start.m[i], 1e-4f) << "element " << i;
  EXPECT_EQ(v->viewKind, VIEW_KIND_OBLIQUE);
  EXPECT_NEAR(v->getCameraState().viewDirection.distance(camera.viewDirection), 0.0f, 1e-4f);
  EXPECT_NEAR(v->getCameraState().up.distance(camera.up), 0.0f, 1e-4f);
}

TEST_F(ViewerPlanesTest, ObliqueRotationNeedsAnAnatomicalPlaneOrShownReferenceLines) {
  isViewerImage* v = addViewer(engine.scene);
  auto* data = makePhantom(16, 16, 8);
  v->setImageData(data);
  data->release();
  const Mat4 start = v->planeFrame;
  v->viewKind = VIEW_KIND_SLICE;
  v->rotateOblique(30.0f);
  EXPECT_EQ(v->planeFrame, start);
  EXPECT_TRUE(v->imageActor->isPlaneMode());
  // With the reference lines shown it turns whatever the kind, and keeps it.
  v->getActorManager()->showCrossLines();
  v->rotateOblique(30.0f);
  EXPECT_NE(v->planeFrame, start);
  EXPECT_EQ(v->viewKind, VIEW_KIND_SLICE);
}

TEST_F(ViewerPlanesTest, FocalPointMovesTheSliceAndStaysInsideTheMargin) {
  isViewerImage* v = addViewer(engine.scene, Size(400, 300));
  auto* data = makePhantom(32, 32, 20);
  v->setImageData(data);
  data->release();
  v->zoomBy(4.0f);  // the slice is now four windows wide
  const SliceRecord* first = data->getSlice(0);
  const Vec3 origin = column(first->matrix, 3);
  // Slice 3, near a corner.
  const Vec3 p = origin + (column(first->matrix, 0) + column(first->matrix, 1)) * 2.0f + column(first->matrix, 2) * 2.0f * 3.0f;
  v->setFocalPoint(p);
  EXPECT_EQ(v->imageActor->getSliceIndex(), 3);
  EXPECT_EQ(v->planeFrame.getTranslation(), p);
  const Vec2 s = v->worldToScreen(p);
  EXPECT_GE(s.x, 400 * 0.15f - 1.0f);
  EXPECT_LE(s.x, 400 * 0.85f + 1.0f);
  EXPECT_GE(s.y, 300 * 0.15f - 1.0f);
  EXPECT_LE(s.y, 300 * 0.85f + 1.0f);
  // Outside the volume: hidden.
  v->setFocalPoint(origin - column(first->matrix, 2) * 50.0f);
  EXPECT_FALSE(v->isContentVisible());
}

TEST_F(ViewerPlanesTest, AViewChangeRefitsAndMakesTheCurrentZoomRatioOne) {
  isViewerImage* v = addViewer(engine.scene, Size(400, 300));
  auto* data = makePhantom(32, 32, 20);
  v->setImageData(data);
  data->release();
  const float fitted = v->getSceneCamera()->getZoom();
  v->notifyViewChanged();
  EXPECT_NEAR(v->getSceneCamera()->getZoom(), fitted, 1e-5f);
  v->zoomBy(2.0f);
  EXPECT_NEAR(v->getZoomRatio(), 2.0f, 1e-4f);
  v->notifyViewChanged();
  EXPECT_NEAR(v->getSceneCamera()->getZoom(), fitted, 1e-5f);
  EXPECT_NEAR(v->getZoomRatio(), 1.0f, 1e-5f);
  // A wider window fits the same slice by its height: the zoom follows.
  v->setContentSize(Size(800, 300));
  EXPECT_NEAR(v->getZoomRatio(), 1.0f, 1e-5f);
}

TEST_F(ViewerPlanesTest, RecentreGoesToTheMiddleSliceAndFocalApplyStaysOnThePlane) {
  isViewerImage* v = addViewer(engine.scene);
  auto* data = makePhantom(16, 16, 10);
  v->setImageData(data);
  data->release();
  v->goToSlice(2, false);
  v->recentre();
  EXPECT_EQ(v->imageActor->getSliceIndex(), 5);
  const SliceRecord* record = v->imageActor->getOutputSliceInfo();
  const Vec3 n = column(record->matrix, 2), origin = column(record->matrix, 3);
  EXPECT_NEAR(n.dot(v->planeFrame.getTranslation() - origin), 0.0f, 1e-3f);
  // A point off the plane lands on it along the normal; the slice stays.
  const Vec3 inPlane = origin + column(record->matrix, 0) * 3.0f + column(record->matrix, 1) * 4.0f;
  v->applyFocalPoint(inPlane + n * 7.0f);
  EXPECT_EQ(v->imageActor->getSliceIndex(), 5);
  EXPECT_NEAR(v->planeFrame.getTranslation().distance(inPlane), 0.0f, 1e-3f);
}

}  // namespace

namespace {

TEST_F(ViewerPlanesTest, PickingCountsFromTheWindowsOwnCornerInWindowPoints) {
  isViewerImage* v = addViewer(engine.scene, Size(400, 300), Vec2(100, 50));
  auto* data = makePhantom(32, 32, 10);
  v->setImageData(data);
  data->release();
  Vec3 centre;
  v->imageActor->getSliceCenter(&centre);
  const float mmPerPoint = v->getSceneCamera()->getZoom();
  Vec3 picked;
  ASSERT_TRUE(v->pickPoint(Vec2(300, 200), &picked));
  EXPECT_NEAR(picked.distance(centre), 0.0f, 1e-2f);
  // 40 points to the right: 40 points of the patient's left, on the slice.
  ASSERT_TRUE(v->pickPoint(Vec2(340, 200), &picked));
  const Vec3 left = toDisplay(Vec3(1, 0, 0), 0, 0);
  EXPECT_NEAR(picked.distance(centre + left * (40.0f * mmPerPoint)), 0.0f, 1e-2f);
  // Without a slice there is nothing to pick.
  isViewerImage* empty = addViewer(engine.scene);
  EXPECT_FALSE(empty->pickPoint(Vec2(10, 10), &picked));
}

}  // namespace
