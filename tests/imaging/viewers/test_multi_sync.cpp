// Linked cells keeping in step, driven the way a user drives them: mouse
// wheel notches, right and left drags injected through the engine's event
// dispatch onto a cell's image viewer, on the stepped clock with the real
// notification centre. The cells are laid out as the "mpr3d" layout adds
// them, or as two linked cells of one series beside an unlinked one and
// another series' cell. Each case counts the frames the layout takes to
// settle: an immediate post arrives at the next frame, the serial queue
// hands over one notification per frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/view/isActorImage.h"
#include "imaging/view/isClut.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/viewers/appLayouts.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerMulti.h"
#include "tests/imaging/viewers/command_support.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tests/support/notification_settle.h"
#include "viewer_support.h"

using namespace isImageSDK;
using namespace viewertest;
using cocos2d::Rect;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;
using viewercmd::Spy;

namespace {

constexpr float kW = 1200, kH = 800;

// Frames until nothing is left to deliver.
void settle() { fwtest::settleNotifications([] { stepFrames(1); }); }

// Frames stepped until the condition holds (0: it already did); -1 when it
// never does within the limit.
int framesUntil(const std::function<bool()>& done, int limit = 400) {
  for (int frames = 0; frames <= limit; ++frames) {
    if (done()) return frames;
    stepFrames(1);
  }
  return -1;
}

struct SyncTest : ::testing::Test {
  static void SetUpTestSuite() { engine = std::make_unique<HeadlessEngine>(Size(kW, kH)); }
  static void TearDownTestSuite() { engine.reset(); }
  static inline std::unique_ptr<HeadlessEngine> engine;

  cocos2d::Node* screen = nullptr;
  isViewerMulti* multi = nullptr;
  std::vector<isImageData*> images;
  std::unique_ptr<Spy> parentSpy;
  int64_t clockMs = 1'000'000;

  void SetUp() override {
    screen = cocos2d::Node::create();
    engine->scene->addChild(screen);
    multi = isViewerMulti::create();
    multi->setContentSize(Size(kW, kH));
    screen->addChild(multi);
    parentSpy = std::make_unique<Spy>();
    parentSpy->listen({NOTIFY_SLICE_NEXT, NOTIFY_SLICE_PREVIOUS, NOTIFY_FOCUS_REQUEST}, screen);
  }
  void TearDown() override {
    parentSpy.reset();
    screen->removeFromParent();
    settle();
    for (auto* i : images) i->release();
  }
  isImageData* phantom(int slices) {
    images.push_back(makePhantom(32, 32, slices));
    return images.back();
  }
  std::vector<KeyViewProperty*> allCells() {
    std::vector<KeyViewProperty*> out;
    for (auto& entry : multi->cells)
      for (KeyViewProperty* c : entry.second) out.push_back(c);
    return out;
  }
  KeyViewProperty* add(int kind, bool linked, const Rect& rect, isImageData* data) {
    const std::vector<KeyViewProperty*> before = allCells();
    multi->addView(kind, linked, rect, data);
    for (KeyViewProperty* c : allCells())
      if (std::find(before.begin(), before.end(), c) == before.end()) return c;
    return nullptr;
  }
  // The "mpr3d" layout of one series, added the way the layout manager adds
  // it: axial, coronal, volume, sagittal.
  std::vector<KeyViewProperty*> mpr3d(isImageData* data) {
    std::vector<KeyViewProperty*> out;
    for (const LayoutCell& c : layoutCells(LAYOUT_MPR3D, kW, kH, 1)) {
      out.push_back(add(c.kind, c.linked, c.rect, data));
      if (c.gridCommand) multi->handleCommand(c.gridCommand, nullptr);
    }
    // The screen refreshes the views once the layout stands: each fitted
    // view becomes zoom ratio 1.
    multi->handleCommand(NOTIFY_VIEW_SYNC, nullptr);
    return out;
  }

  static isViewerBrowser* browser(KeyViewProperty* c) { return dynamic_cast<isViewerBrowser*>(c->getViewer()); }
  static isViewerImage* viewerOf(KeyViewProperty* c) { return browser(c)->getImageViewers().at(0); }
  static int sliceOf(KeyViewProperty* c) { return viewerOf(c)->imageActor->getSliceIndex(); }
  static Vec3 focalOf(KeyViewProperty* c) {
    const float* m = viewerOf(c)->planeFrame.m;
    return Vec3(m[12], m[13], m[14]);
  }
  static float zoomOf(KeyViewProperty* c) { return browser(c)->getZoomRatio(); }
  static std::vector<float> windowOf(KeyViewProperty* c) {
    const isClut* clut = viewerOf(c)->imageActor->getClut();
    return {clut->windowWidth, clut->windowCentre};
  }
  // The middle of a cell's first image viewer, in GL view points.
  static Vec2 middleOf(KeyViewProperty* c) {
    isViewerImage* v = viewerOf(c);
    return v->convertToWorldSpace(Vec2(v->getContentSize().width / 2, v->getContentSize().height / 2));
  }
  static cocos2d::GLView* view() { return cocos2d::Director::getInstance()->getOpenGLView(); }
  // Wheel notches over the cell (negative: away from the user, next slice).
  void wheel(KeyViewProperty* c, int notches) {
    const Vec2 p = middleOf(c);
    for (int i = 0; i < std::abs(notches); ++i) view()->injectScroll(p.x, p.y, notches < 0 ? -1.0f : 1.0f);
  }
  // A mouse drag over the cell with one button: eight moves a frame apart,
  // the button held until everything the moves queued has been delivered,
  // then released. Returns when the button is up; what the release sets off
  // is still under way, on otherwise empty queues.
  // With `pauseBeforeRelease` false the button comes up in the frame of the
  // last move, as in a quick flick.
  void drag(KeyViewProperty* c, int button, Vec2 by, bool pauseBeforeRelease = true) {
    isViewerImage* v = viewerOf(c);
    if (auto* tool = dynamic_cast<isInteractorImage*>(v->getInteractor()))
      tool->setClock([this] { return clockMs; });
    const Vec2 from = middleOf(c);
    view()->injectMouseDown(from.x, from.y, button);
    clockMs += 300;
    for (int k = 1; k <= 8; ++k) {
      const Vec2 p = from + by * (k / 8.0f);
      view()->injectMouseMove(p.x, p.y, button);
      if (k == 8 && !pauseBeforeRelease) break;
      stepFrames(1);
      clockMs += 16;
    }
    if (pauseBeforeRelease) settle();
    view()->injectMouseUp(from.x + by.x, from.y + by.y, button);
    clockMs += 1000;
  }
  size_t parentGot(int id) { return parentSpy->of(id).size(); }
};

}  // namespace

TEST_F(SyncTest, WheelOnTheAxialCellOfMpr3dMovesTheOtherPlanesFocalPoints) {
  isImageData* ct = phantom(40);
  std::vector<KeyViewProperty*> cells = mpr3d(ct);
  ASSERT_EQ(cells.size(), 4u);
  KeyViewProperty *axial = cells[0], *coronal = cells[1], *sagittal = cells[3];
  ASSERT_EQ(axial->getViewKind(), VIEW_KIND_AXIAL);
  ASSERT_EQ(coronal->getViewKind(), VIEW_KIND_CORONAL);
  ASSERT_EQ(sagittal->getViewKind(), VIEW_KIND_SAGITTAL);
  settle();
  const int start = sliceOf(axial);
  const int coronalSlice = sliceOf(coronal), sagittalSlice = sliceOf(sagittal);

  // Three notches toward the screen: three slices on. The viewer hands each
  // to its cell (next frame), the cell to the multi-view (the frame after),
  // which steps the axial cell and moves the other planes' points.
  wheel(axial, -3);
  EXPECT_EQ(framesUntil([&] { return sliceOf(axial) == start + 3; }), 2);
  EXPECT_NEAR(focalOf(sagittal).z, focalOf(axial).z, 1e-3f);
  EXPECT_NEAR(focalOf(coronal).z, focalOf(axial).z, 1e-3f);
  EXPECT_EQ(sliceOf(sagittal), sagittalSlice) << "a point on its own plane: the plane stays";
  EXPECT_EQ(sliceOf(coronal), coronalSlice);
  EXPECT_EQ(framesUntil([&] { return parentGot(NOTIFY_SLICE_NEXT) == 3; }), 1) << "the screen hears one frame later";
  settle();
  EXPECT_EQ(sliceOf(axial), start + 3);
  EXPECT_EQ(parentGot(NOTIFY_SLICE_NEXT), 3u);

  // One notch back.
  wheel(axial, 1);
  EXPECT_EQ(framesUntil([&] { return sliceOf(axial) == start + 2; }), 2);
  EXPECT_NEAR(focalOf(sagittal).z, focalOf(axial).z, 1e-3f);
  settle();
  EXPECT_EQ(parentGot(NOTIFY_SLICE_PREVIOUS), 1u);
}

TEST_F(SyncTest, WheelStepsTheLinkedCellOfTheSameSeriesAndAnUnlinkedCellStepsAlone) {
  isImageData* ct = phantom(40);
  KeyViewProperty* first = add(VIEW_KIND_AXIAL, true, Rect(0, 400, 600, 400), ct);
  KeyViewProperty* second = add(VIEW_KIND_AXIAL, true, Rect(600, 400, 600, 400), ct);
  KeyViewProperty* loose = add(VIEW_KIND_AXIAL, false, Rect(0, 0, 600, 400), ct);
  settle();
  viewerOf(loose)->goToSlice(10, false);
  const int start = sliceOf(first);
  ASSERT_EQ(sliceOf(second), start);

  wheel(first, -2);
  EXPECT_EQ(framesUntil([&] { return sliceOf(first) == start + 2 && sliceOf(second) == start + 2; }), 2);
  settle();
  EXPECT_EQ(sliceOf(second), start + 2);
  EXPECT_EQ(sliceOf(loose), 10);

  wheel(loose, -1);
  EXPECT_EQ(framesUntil([&] { return sliceOf(loose) == 11; }), 2);
  settle();
  EXPECT_EQ(sliceOf(first), start + 2);
  EXPECT_EQ(sliceOf(second), start + 2);

  // At the last slice nothing moves, and the screen still hears the step.
  viewerOf(first)->goToSlice(39, false);
  const Vec3 focal = focalOf(first);
  const int secondSlice = sliceOf(second);
  const size_t heard = parentGot(NOTIFY_SLICE_NEXT);
  wheel(first, -1);
  EXPECT_EQ(framesUntil([&] { return parentGot(NOTIFY_SLICE_NEXT) == heard + 1; }), 3);
  settle();
  EXPECT_EQ(sliceOf(first), 39);
  EXPECT_EQ(focalOf(first), focal);
  EXPECT_EQ(sliceOf(second), secondSlice);
}

TEST_F(SyncTest, RightDragZoomReachesTheOrthogonalCellsUnderTheRatioRule) {
  isImageData* ct = phantom(40);
  std::vector<KeyViewProperty*> cells = mpr3d(ct);
  KeyViewProperty *axial = cells[0], *coronal = cells[1], *sagittal = cells[3];
  settle();
  const float axialBefore = zoomOf(axial), coronalBefore = zoomOf(coronal);
  ASSERT_NEAR(axialBefore, 1.0f, 1e-3f);
  ASSERT_NEAR(coronalBefore, 1.0f, 1e-3f);
  const float total = std::pow(1.05f, 8.0f);
  // The sagittal cell is zoomed in beyond where the axial one will end.
  const float far = axialBefore * total * 2.0f;
  browser(sagittal)->setZoomRatio(far);
  settle();

  // A right drag upward: eight zoom steps of 1.05 in the axial cell, then the
  // total for the linked views when the button comes up.
  drag(axial, 1, Vec2(0, 80));
  EXPECT_NEAR(zoomOf(axial), axialBefore * total, 1e-3f * axialBefore) << "the steps arrived during the drag";
  EXPECT_NEAR(zoomOf(coronal), coronalBefore, 1e-4f) << "the linked views wait for the total";
  // The total goes up the serial queue twice (viewer → cell → multi-view),
  // and the multi-view hands it down at once.
  EXPECT_EQ(framesUntil([&] { return std::fabs(zoomOf(coronal) - coronalBefore * total) < 1e-3f * coronalBefore; }),
            2);
  settle();
  EXPECT_NEAR(zoomOf(axial), axialBefore * total, 1e-3f * axialBefore);
  EXPECT_NEAR(zoomOf(coronal), coronalBefore * total, 1e-3f * coronalBefore);
  EXPECT_NEAR(zoomOf(sagittal), far, 1e-3f * far) << "already zoomed in further: it does not zoom in more";

  // Zooming out: the sagittal cell, zoomed in beyond the sender, follows.
  drag(axial, 1, Vec2(0, -80));
  const float out = std::pow(0.95f, 8.0f);
  EXPECT_EQ(framesUntil([&] { return std::fabs(zoomOf(sagittal) - far * out) < 1e-3f * far; }), 2);
  settle();
  EXPECT_NEAR(zoomOf(axial), axialBefore * total * out, 1e-3f * axialBefore);
  EXPECT_NEAR(zoomOf(coronal), coronalBefore * total * out, 1e-3f * coronalBefore);
  EXPECT_NEAR(zoomOf(sagittal), far * out, 1e-3f * far);
}

TEST_F(SyncTest, WindowDragReachesEveryTwoDimensionalCellOfTheSeriesOnly) {
  isImageData* ct = phantom(40);
  isImageData* other = phantom(20);
  KeyViewProperty* axial = add(VIEW_KIND_AXIAL, true, Rect(0, 400, 600, 400), ct);
  KeyViewProperty* coronal = add(VIEW_KIND_CORONAL, true, Rect(600, 400, 600, 400), ct);
  KeyViewProperty* otherSeries = add(VIEW_KIND_AXIAL, true, Rect(0, 0, 600, 400), other);
  multi->handleCommand(NOTIFY_TOOL_WINDOW_BY_TOUCH, nullptr);
  settle();
  const std::vector<float> before = windowOf(axial);
  ASSERT_EQ(windowOf(coronal), before);

  // A left drag: window steps in the axial cell, then its window for the
  // linked views when the touch ends.
  drag(axial, 0, Vec2(60, 30));
  const std::vector<float> after = windowOf(axial);
  EXPECT_NE(after, before) << "the steps arrived during the drag";
  EXPECT_EQ(windowOf(coronal), before) << "the linked views wait for the end of the drag";
  // The summary travels tool → viewer → cell → multi-view, each hop a turn
  // of the serial queue: three frames from the release.
  EXPECT_EQ(framesUntil([&] { return windowOf(coronal) == after; }), 3);
  settle();
  EXPECT_EQ(windowOf(coronal), after);
  EXPECT_EQ(windowOf(otherSeries), before) << "another series keeps its window";
}

// The linked views end on the window the dragged view shows, also when the
// button comes up before the last steps have reached it.
TEST_F(SyncTest, QuickWindowDragLeavesTheLinkedViewsOnTheFinalWindow) {
  isImageData* ct = phantom(40);
  KeyViewProperty* axial = add(VIEW_KIND_AXIAL, true, Rect(0, 400, 600, 400), ct);
  KeyViewProperty* coronal = add(VIEW_KIND_CORONAL, true, Rect(600, 400, 600, 400), ct);
  multi->handleCommand(NOTIFY_TOOL_WINDOW_BY_TOUCH, nullptr);
  settle();
  const std::vector<float> before = windowOf(axial);
  drag(axial, 0, Vec2(60, 30), false);
  settle();
  EXPECT_NE(windowOf(axial), before);
  EXPECT_EQ(windowOf(coronal), windowOf(axial));
}

TEST_F(SyncTest, PanTotalReachesTheLinkedCellsOfTheSameKind) {
  isImageData* ct = phantom(40);
  KeyViewProperty* first = add(VIEW_KIND_AXIAL, true, Rect(0, 400, 600, 400), ct);
  KeyViewProperty* second = add(VIEW_KIND_AXIAL, true, Rect(600, 400, 600, 400), ct);
  KeyViewProperty* coronal = add(VIEW_KIND_CORONAL, true, Rect(0, 0, 600, 400), ct);
  KeyViewProperty* loose = add(VIEW_KIND_AXIAL, false, Rect(600, 0, 600, 400), ct);
  settle();
  auto centre = [](KeyViewProperty* c) { return viewerOf(c)->getCameraTarget(); };
  const Vec3 firstBefore = centre(first), secondBefore = centre(second);
  const Vec3 coronalBefore = centre(coronal), looseBefore = centre(loose);
  // What the same pan does to a view like the second one, on its own.
  const Vec3 expected = [&] {
    viewerOf(second)->panBy(40.0f, -20.0f);
    const Vec3 moved = centre(second) - secondBefore;
    viewerOf(second)->centerOn(secondBefore);
    return moved;
  }();
  ASSERT_GT(expected.length(), 1.0f);
  settle();

  // No gesture passes a pan total up to the multi-view (a cell keeps it
  // among its own viewers), so it is posted here as the first cell's would be.
  auto* data = new NSUI::NSNotificationData();
  data->text = "{\"x\":\"40.0000\",\"y\":\"-20.0000\"}";
  NSUI::NSNotificationCenter::getInstance()->postNotification(browser(first)->node(), NOTIFY_SYNC_PAN, data, multi,
                                                              false);
  data->release();
  // One turn of the serial queue, then the multi-view hands it down at once.
  EXPECT_EQ(framesUntil([&] { return centre(second).distance(secondBefore) > 1.0f; }), 1);
  settle();
  EXPECT_LT((centre(second) - secondBefore - expected).length(), 1e-3f);
  EXPECT_EQ(centre(first), firstBefore) << "the sender's cell panned itself already";
  EXPECT_EQ(centre(coronal), coronalBefore) << "another kind keeps its view";
  EXPECT_EQ(centre(loose), looseBefore) << "an unlinked cell keeps its view";
}
