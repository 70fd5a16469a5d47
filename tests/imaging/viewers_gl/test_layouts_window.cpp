// The layouts in a real window, driven as the viewer screen drives them:
// series folders opened through the cache reader, shown through the layout
// manager, switched by the protocol choice, commanded through the
// multi-view and by SDL events. The CT phantom (500 slices of 256 × 256) in
// "mpr3d": its spheres on their sides in every plane, wheel steps in the
// axial cell that move the reference lines of the other two, the window tool
// dragged in the coronal cell, every other layout and back, an axial cell
// turned into a volume and back, a window maximised and restored. Five
// series side by side; a dynamic PET in "mpr3d" through its phases and in
// "compare4d". Every picture is written as a screenshot in the build folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "support/scratch_folder.h"
#include "support/viewer_harness.h"
#include "support_xvfb.h"
#include "tools/dcmfixtures/fixtures.h"
#include "tools/dcmfixtures/phantoms.h"

USING_NS_CC;
using namespace isImageSDK;
using fwtest::Picture;
using fwtest::Pixel;
using fwtest::ViewerHarness;

namespace {

bool noScreen = false;

constexpr int kW = 1000, kH = 800;

bool clear(const Pixel& c) { return std::abs(c.r - 233) <= 3 && std::abs(c.g - 239) <= 3 && std::abs(c.b - 249) <= 3; }
bool lit(const Pixel& c) { return c.sum() > 60; }
bool white(const Pixel& c) { return c.r > 240 && c.g > 240 && c.b > 240; }
// The axial plane's reference lines are drawn in magenta.
bool magenta(const Pixel& c) { return c.r > 150 && c.b > 150 && c.g < 90; }
// A white 3 × 3 box at the point or 8 units above or below it (a
// reference line may cross the point itself).
bool whiteAround(const Picture& p, const Vec2& at) {
  for (float dy : {0.0f, 8.0f, -8.0f})
    if (p.count(Rect(at.x - 1, at.y + dy - 1, 3, 3), white) == 9) return true;
  return false;
}

std::string folderOf(const std::string& name) {
  const std::string& t = fwtest::programScratchFolder("layouts-window");
  FileUtils::getInstance()->setWritablePath(t);
  return t + "kq/dicom/" + name + "/";
}

class LayoutsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (noScreen) GTEST_SKIP() << "no display and no Xvfb";
    ASSERT_TRUE(h.open("layouts", kW, kH)) << h.lastError;
  }
  void TearDown() override { h.close(); }

  // The CT phantom written, scanned and read; series index returned.
  size_t openCt() {
    const std::string folder = folderOf("ct500");
    EXPECT_EQ(dcmfixtures::writeCtPhantom(folder, ct).files.size(), 500u);
    EXPECT_TRUE(h.openSeries({folder})) << h.lastError;
    return h.seriesCount() - 1;
  }
  // The phantom in "mpr3d" with its volume rendered.
  void showCtInMpr3d() {
    ct_ = h.image(openCt());
    ASSERT_NE(ct_, nullptr);
    ASSERT_TRUE(ct_->isVolume());
    h.show(ct_, LAYOUT_MPR3D);
    ASSERT_EQ(h.layout(), LAYOUT_MPR3D);
    ASSERT_EQ(h.cells().size(), 4u);
    ASSERT_TRUE(h.waitForVolume(ViewerHarness::volumeOf(h.cellOfKind(VIEW_KIND_VR)))) << h.lastError;
  }

  isViewerImage* viewerOfKind(int kind) const { return ViewerHarness::imageViewerOf(h.cellOfKind(kind)); }

  // World point of the centre of CT voxel (x, y, z).
  Vec3 worldOfVoxel(int x, int y, int z) const {
    float s[3];
    ct_->getSpacing(s);
    return ct_->worldMatrix.transformPoint(Vec3(x * s[0], y * s[1], z * s[2]));
  }

  // The row of the axial plane's reference line across a cell: the mean
  // height of the magenta pixels of a column 40 units in from the cell's
  // left edge, leaving out the view frame along the edges; -1 when there
  // are none.
  static float lineRow(const Picture& p, const Rect& cell) {
    const int x = static_cast<int>(cell.getMinX()) + 40;
    double sum = 0;
    int n = 0;
    for (int y = static_cast<int>(cell.getMinY()) + 8; y < static_cast<int>(cell.getMaxY()) - 8; ++y)
      if (magenta(p.at(x, y))) {
        sum += y;
        ++n;
      }
    return n ? static_cast<float>(sum / n) : -1.0f;
  }

  // Each 2-D cell of a picture shows the body, and the view between cells
  // the clear colour.
  static void expectCellsShown(const Picture& p, const std::vector<KeyViewProperty*>& cells) {
    for (KeyViewProperty* c : cells) {
      const Rect r = ViewerHarness::cellRect(c);
      EXPECT_GT(p.count(r, lit), static_cast<int>(r.size.width * r.size.height / 20))
          << "content in the cell of kind " << c->getViewKind() << " at " << r.origin.x << "," << r.origin.y;
    }
  }

  ViewerHarness h;
  dcmfixtures::CtPhantom ct;
  isImageData* ct_ = nullptr;
};

TEST_F(LayoutsWindow, CtPhantomInMpr3dSpheresOnTheirSidesAndWheelSteps) {
  showCtInMpr3d();
  if (HasFatalFailure()) return;
  // Axial, coronal, volume and sagittal in the quarters of the view.
  const float w = kW / 2.0f - 2, hh = kH / 2.0f - 2;
  const struct {
    int kind;
    Rect rect;
  } quarters[] = {{VIEW_KIND_AXIAL, Rect(0, kH - hh, w, hh)},
                  {VIEW_KIND_CORONAL, Rect(kW - w, kH - hh, w, hh)},
                  {VIEW_KIND_VR, Rect(kW - w, 0, w, hh)},
                  {VIEW_KIND_SAGITTAL, Rect(0, 0, w, hh)}};
  for (const auto& q : quarters) {
    KeyViewProperty* c = h.cellOfKind(q.kind);
    ASSERT_NE(c, nullptr) << q.kind;
    EXPECT_EQ(ViewerHarness::cellRect(c), q.rect) << q.kind;
  }
  Picture shot = h.capture("layouts_ct_mpr3d.png");
  expectCellsShown(shot, h.cells());
  // The cross of gaps between the quarters.
  for (Vec2 gap : {Vec2(500, 200), Vec2(500, 600), Vec2(250, 400), Vec2(750, 400)})
    EXPECT_TRUE(clear(shot.at(gap))) << gap.x << "," << gap.y;

  // A sphere each plane cuts, moved onto the plane: white, on its side of
  // the cell. Axial: the bone sphere (patient's right, anterior) top left;
  // sagittal: the dense bone (anterior, superior) top left; coronal: the
  // bone sphere (patient's right) on the left.
  const struct {
    int kind, sphere;
    bool up, checkUp;
  } planes[] = {{VIEW_KIND_AXIAL, 0, true, true}, {VIEW_KIND_SAGITTAL, 4, true, true}, {VIEW_KIND_CORONAL, 0, false, false}};
  for (const auto& p : planes) {
    SCOPED_TRACE(p.kind);
    isViewerImage* v = viewerOfKind(p.kind);
    ASSERT_NE(v, nullptr);
    dcmfixtures::Voxel s = dcmfixtures::ctPhantomSphereVoxel(ct, p.sphere);
    Vec3 centre;
    v->imageActor->getSliceCenter(&centre);
    // The plane's own coordinate replaces the sphere's.
    const Vec3 inPlane = ct_->worldMatrix.getInversed().transformPoint(centre);
    if (p.kind == VIEW_KIND_AXIAL) s.z = static_cast<int>(std::lround(inPlane.z));
    if (p.kind == VIEW_KIND_SAGITTAL) s.x = static_cast<int>(std::lround(inPlane.x));
    if (p.kind == VIEW_KIND_CORONAL) s.y = static_cast<int>(std::lround(inPlane.y));
    ASSERT_EQ(dcmfixtures::ctPhantomValue(ct, s.x, s.y, s.z), p.sphere == 0 ? 1200 : 2000) << "the plane cuts the sphere";
    const Vec2 at = ViewerHarness::screenOf(v, worldOfVoxel(s.x, s.y, s.z));
    const Rect cell = ViewerHarness::rectOf(v);
    EXPECT_TRUE(whiteAround(shot, at)) << at.x << "," << at.y;
    EXPECT_LT(at.x, cell.getMidX()) << "on the left";
    if (p.checkUp) {
      EXPECT_EQ(at.y > cell.getMidY(), p.up) << at.y;
    }
  }

  // Twenty notches away from the user over the axial cell: twenty slices on,
  // and the coronal and sagittal cells' horizontal reference lines rise with
  // the axial plane (the slices run toward the head).
  isViewerImage* axial = viewerOfKind(VIEW_KIND_AXIAL);
  isViewerImage* coronal = viewerOfKind(VIEW_KIND_CORONAL);
  isViewerImage* sagittal = viewerOfKind(VIEW_KIND_SAGITTAL);
  const int before = axial->imageActor->getSliceIndex();
  const Rect corRect = ViewerHarness::rectOf(coronal), sagRect = ViewerHarness::rectOf(sagittal);
  shot = h.capture("layouts_ct_mpr3d_before_wheel.png");
  const float corBefore = lineRow(shot, corRect), sagBefore = lineRow(shot, sagRect);
  ASSERT_GT(corBefore, 0) << "a reference line in the coronal cell";
  ASSERT_GT(sagBefore, 0) << "a reference line in the sagittal cell";
  const int notches = 20;
  ASSERT_TRUE(h.wheel(ViewerHarness::centreOf(ViewerHarness::rectOf(axial)), notches)) << h.lastError;
  h.frames(4);
  EXPECT_EQ(axial->imageActor->getSliceIndex(), before + notches);
  shot = h.capture("layouts_ct_mpr3d_after_wheel.png");
  Vec3 axialCentre;
  axial->imageActor->getSliceCenter(&axialCentre);
  for (const auto& [v, rect, was] : {std::make_tuple(coronal, corRect, corBefore), std::make_tuple(sagittal, sagRect, sagBefore)}) {
    SCOPED_TRACE(v->viewKind);
    const float row = lineRow(shot, rect);
    // Where the axial plane now cuts this plane, on the screen.
    const float want = ViewerHarness::screenOf(v, axialCentre).y;
    EXPECT_NEAR(row, want, 2.5f);
    // Screen units per slice, along the slices' direction.
    const Vec3 step = worldOfVoxel(0, 0, 10) - worldOfVoxel(0, 0, 0);
    const float perSlice = std::fabs(ViewerHarness::screenOf(v, axialCentre + step).y -
                                     ViewerHarness::screenOf(v, axialCentre).y) / 10.0f;
    ASSERT_GT(perSlice, 0.3f);
    EXPECT_NEAR(row - was, notches * perSlice, 3.0f) << "risen by " << row - was;
  }
}

TEST_F(LayoutsWindow, WindowToolDragInTheCoronalCellReachesEveryCell) {
  showCtInMpr3d();
  if (HasFatalFailure()) return;
  h.command(NOTIFY_TOOL_WINDOW_BY_TOUCH);
  isViewerImage* coronal = viewerOfKind(VIEW_KIND_CORONAL);
  const float widthBefore = coronal->imageActor->getClut()->windowWidth;
  const float centreBefore = coronal->imageActor->getClut()->windowCentre;
  const Vec2 from = ViewerHarness::centreOf(ViewerHarness::rectOf(coronal)) + Vec2(-60, 0);
  ASSERT_TRUE(h.drag(from, from + Vec2(120, -80), 12)) << h.lastError;
  h.frames(4);
  const float width = coronal->imageActor->getClut()->windowWidth;
  const float centre = coronal->imageActor->getClut()->windowCentre;
  EXPECT_TRUE(width != widthBefore || centre != centreBefore) << "the drag changed the window";
  const Picture shot = h.capture("layouts_ct_mpr3d_window_dragged.png");
  // The overlay's window text as drawn.
  const std::string text = ViewerHarness::overlayText(coronal, NOTIFY_OVERLAY_WINDOW);
  EXPECT_FALSE(text.empty());
  for (int kind : {VIEW_KIND_AXIAL, VIEW_KIND_SAGITTAL}) {
    SCOPED_TRACE(kind);
    isViewerImage* v = viewerOfKind(kind);
    EXPECT_FLOAT_EQ(v->imageActor->getClut()->windowWidth, width);
    EXPECT_FLOAT_EQ(v->imageActor->getClut()->windowCentre, centre);
    EXPECT_EQ(ViewerHarness::overlayText(v, NOTIFY_OVERLAY_WINDOW), text);
  }
  // The body's water, drawn with the same window in every 2-D cell.
  std::vector<int> greys;
  for (int kind : {VIEW_KIND_AXIAL, VIEW_KIND_CORONAL, VIEW_KIND_SAGITTAL}) {
    isViewerImage* v = viewerOfKind(kind);
    Vec3 c;
    v->imageActor->getSliceCenter(&c);
    // The middle of each plane is water, clear of the spheres (the
    // reference lines leave a gap around it).
    greys.push_back(shot.at(ViewerHarness::screenOf(v, c)).r);
  }
  EXPECT_NEAR(greys[0], greys[1], 3);
  EXPECT_NEAR(greys[0], greys[2], 3);
}

TEST_F(LayoutsWindow, EveryLayoutFromTheProtocolChoiceAndBack) {
  showCtInMpr3d();
  if (HasFatalFailure()) return;
  struct Case {
    const char* name;
    int id;
    std::vector<int> kinds;  // in adding order
    int viewers;             // image viewers of the first cell
    std::vector<Vec2> gaps;  // points between cells
  };
  const float third = (kW - 8) / 3.0f;
  const std::vector<Case> cases = {
      {"mpr", LAYOUT_MPR, {1, 2, 3}, 1, {{500, 200}, {500, 600}, {250, 400}}},
      {"mpr2", LAYOUT_MPR2, {1, 2, 3}, 2, {{third + 1, 400}, {kW - third - 1, 400}}},
      {"browser2d", LAYOUT_BROWSER2D, {1}, 4, {}},
      {"2dview", LAYOUT_2DVIEW, {1}, 1, {}},
      {"2dslice", LAYOUT_2DSLICE, {0}, 1, {}},
      {"mpr3d", LAYOUT_MPR3D, {1, 3, 5, 2}, 1, {{500, 200}, {500, 600}, {250, 400}, {750, 400}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.selectLayout(c.name);
    ASSERT_EQ(h.layout(), c.id);
    const auto cells = h.cells();
    std::vector<int> kinds, want = c.kinds;
    for (KeyViewProperty* cell : cells) kinds.push_back(cell->getViewKind());
    std::sort(kinds.begin(), kinds.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(kinds, want);
    ASSERT_FALSE(cells.empty());
    // The first cell added (the oriented one) and its grid.
    isViewerBrowser* first = ViewerHarness::browserOf(h.cellOfKind(c.kinds[0]));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(static_cast<int>(first->getImageViewers().size()), c.viewers);
    if (KeyViewProperty* vr = h.cellOfKind(VIEW_KIND_VR)) {
      ASSERT_TRUE(h.waitForVolume(ViewerHarness::volumeOf(vr)));
    }
    const Picture shot = h.capture(std::string("layouts_ct_") + c.name + ".png");
    expectCellsShown(shot, cells);
    // Each image viewer of a split cell shows the body too.
    if (c.viewers > 1) {
      for (isViewerImage* v : first->getImageViewers()) EXPECT_GT(shot.count(ViewerHarness::rectOf(v), lit), 2000);
    }
    for (const Vec2& g : c.gaps) EXPECT_TRUE(clear(shot.at(g))) << g.x << "," << g.y;
    // The cells tile the view: every cell inside it, none over another.
    for (size_t i = 0; i < cells.size(); ++i) {
      const Rect a = ViewerHarness::cellRect(cells[i]);
      EXPECT_TRUE(a.getMinX() >= 0 && a.getMinY() >= 0 && a.getMaxX() <= kW + 0.5f && a.getMaxY() <= kH + 0.5f);
      for (size_t j = i + 1; j < cells.size(); ++j) {
        const Rect b = ViewerHarness::cellRect(cells[j]);
        const bool apart = a.getMaxX() <= b.getMinX() || b.getMaxX() <= a.getMinX() || a.getMaxY() <= b.getMinY() ||
                           b.getMaxY() <= a.getMinY();
        EXPECT_TRUE(apart) << i << " and " << j;
      }
    }
  }
}

TEST_F(LayoutsWindow, AxialCellBecomesAVolumeAndBack) {
  showCtInMpr3d();
  if (HasFatalFailure()) return;
  KeyViewProperty* cell = h.cellOfKind(VIEW_KIND_AXIAL);
  ASSERT_EQ(h.multi()->getFocusedCell(), cell);
  const Rect rect = ViewerHarness::cellRect(cell);
  h.command(NOTIFY_VIEW_TYPE_VR);
  h.frames(2);
  ASSERT_EQ(cell->getViewKind(), VIEW_KIND_VR);
  EXPECT_EQ(ViewerHarness::cellRect(cell), rect);
  EXPECT_EQ(h.cells().size(), 4u);
  ASSERT_TRUE(h.waitForVolume(ViewerHarness::volumeOf(cell))) << h.lastError;
  Picture shot = h.capture("layouts_ct_mpr3d_axial_as_volume.png");
  EXPECT_GT(shot.count(rect, lit), 5000) << "the volume in the former axial quarter";
  EXPECT_TRUE(clear(shot.at(250, 400)));

  h.command(NOTIFY_VIEW_TYPE_AXIAL);
  h.frames(3);
  ASSERT_EQ(cell->getViewKind(), VIEW_KIND_AXIAL);
  EXPECT_EQ(ViewerHarness::cellRect(cell), rect);
  shot = h.capture("layouts_ct_mpr3d_axial_again.png");
  expectCellsShown(shot, h.cells());
  // The bone sphere is back in the axial cell, top left.
  isViewerImage* axial = ViewerHarness::imageViewerOf(cell);
  ASSERT_NE(axial, nullptr);
  Vec3 centre;
  axial->imageActor->getSliceCenter(&centre);
  const dcmfixtures::Voxel bone = dcmfixtures::ctPhantomSphereVoxel(ct, 0);
  const Vec3 inPlane = ct_->worldMatrix.getInversed().transformPoint(centre);
  const int z = static_cast<int>(std::lround(inPlane.z));
  if (dcmfixtures::ctPhantomValue(ct, bone.x, bone.y, z) == 1200) {
    const Vec2 at = ViewerHarness::screenOf(axial, worldOfVoxel(bone.x, bone.y, z));
    EXPECT_TRUE(whiteAround(shot, at)) << at.x << "," << at.y;
    EXPECT_LT(at.x, rect.getMidX());
    EXPECT_GT(at.y, rect.getMidY());
  }
}

TEST_F(LayoutsWindow, MaximisedCoronalWindowAndRestored) {
  showCtInMpr3d();
  if (HasFatalFailure()) return;
  isViewerImage* coronal = viewerOfKind(VIEW_KIND_CORONAL);
  const Rect rect = ViewerHarness::rectOf(coronal);
  h.maximise(coronal);
  EXPECT_TRUE(coronal->maximized);
  EXPECT_EQ(ViewerHarness::rectOf(coronal), Rect(0, 0, kW, kH));
  Picture shot = h.capture("layouts_ct_mpr3d_coronal_maximised.png");
  // No gaps: the coronal body, with its zoom kept, in the middle of the
  // view, and nothing of the other cells.
  EXPECT_FALSE(clear(shot.at(500, 400)));
  EXPECT_EQ(shot.count(Rect(0, 0, kW, kH), clear), 0);
  EXPECT_GT(shot.count(Rect(400, 300, 200, 200), lit), 30000);
  // The other 2-D windows stepped aside.
  EXPECT_FALSE(ViewerHarness::rectOf(viewerOfKind(VIEW_KIND_AXIAL)).intersectsRect(Rect(0, 0, kW, kH)));

  h.maximise(coronal);
  EXPECT_FALSE(coronal->maximized);
  EXPECT_EQ(ViewerHarness::rectOf(coronal), rect);
  if (KeyViewProperty* vr = h.cellOfKind(VIEW_KIND_VR)) {
    ASSERT_TRUE(h.waitForVolume(ViewerHarness::volumeOf(vr)));
  }
  shot = h.capture("layouts_ct_mpr3d_restored.png");
  expectCellsShown(shot, h.cells());
  for (Vec2 gap : {Vec2(500, 200), Vec2(500, 600), Vec2(250, 400), Vec2(750, 400)})
    EXPECT_TRUE(clear(shot.at(gap))) << gap.x << "," << gap.y;
}

TEST_F(LayoutsWindow, FiveSeriesSideBySide) {
  openCt();
  std::vector<std::string> folders;
  for (const char* name : {"ct_s16", "mr_u16", "mono1", "ct_hfp"}) {
    const dcmfixtures::Variant* v = dcmfixtures::findVariant(name);
    ASSERT_NE(v, nullptr) << name;
    const std::string folder = folderOf(name);
    dcmfixtures::writeSeries(folder, *v, 128, 96, 6);
    folders.push_back(folder);
  }
  ASSERT_TRUE(h.openSeries(folders)) << h.lastError;
  ASSERT_EQ(h.seriesCount(), 5u);
  h.showSideBySide(h.images());
  ASSERT_EQ(h.layout(), LAYOUT_COMPARE2D);
  const auto cells = h.cells();
  ASSERT_EQ(cells.size(), 5u);
  // 3 columns × 2 rows of 332 × 399, filled row by row from the top left.
  const int cw = (kW - 4) / 3, ch = (kH - 2) / 2;
  const Vec2 origins[5] = {{0, kH - ch}, {cw + 2.0f, kH - ch}, {kW - cw, kH - ch}, {0, 0}, {cw + 2.0f, 0}};
  for (size_t k = 0; k < 5; ++k) {
    KeyViewProperty* c = h.cellOfData(h.image(k));
    ASSERT_NE(c, nullptr) << k;
    EXPECT_EQ(ViewerHarness::cellRect(c), Rect(origins[k], Size(cw, ch))) << k;
  }
  const Picture shot = h.capture("layouts_compare2d_five.png");
  expectCellsShown(shot, cells);
  // Between the columns and the rows, and the sixth place, empty.
  for (Vec2 gap : {Vec2(cw + 1.0f, 600), Vec2(kW - cw - 1.0f, 600), Vec2(150, ch + 1.0f), Vec2(500, ch + 1.0f)})
    EXPECT_TRUE(clear(shot.at(gap))) << gap.x << "," << gap.y;
  EXPECT_EQ(shot.count(Rect(kW - cw + 10.0f, 10, cw - 20.0f, ch - 20.0f), clear), (cw - 20) * (ch - 20));
}

TEST_F(LayoutsWindow, DynamicPetThroughItsPhasesInMpr3dThenCompare4d) {
  dcmfixtures::Pet4d pet;
  const std::string folder = folderOf("pt4d");
  ASSERT_EQ(dcmfixtures::write4dPet(folder, pet).files.size(), 20u * 64u);
  ASSERT_TRUE(h.openSeries({folder})) << h.lastError;
  isImageData* data = h.image(0);
  ASSERT_TRUE(data->isMultiFrame());
  h.show(data, LAYOUT_MPR3D);
  ASSERT_EQ(h.layout(), LAYOUT_MPR3D);
  ASSERT_EQ(h.getManager()->getPhaseIndex(), 0);
  isViewerImage* axial = viewerOfKind(VIEW_KIND_AXIAL);
  ASSERT_NE(axial, nullptr);
  for (KeyViewProperty* c : h.cells())
    if (isViewerBrowser* b = ViewerHarness::browserOf(c)) b->setWindowLevel(1400.0f, 700.0f);
  // The hot sphere of a phase, on the axial plane through its centre.
  const int z = dcmfixtures::petSphereVoxel(pet, 0).z;
  axial->goToSlice(z, false);
  auto sphereGrey = [&](const Picture& p, int phase) {
    const dcmfixtures::Voxel s = dcmfixtures::petSphereVoxel(pet, phase);
    float sp[3];
    data->getSpacing(sp);
    return p.at(ViewerHarness::screenOf(axial, data->worldMatrix.transformPoint(Vec3(s.x * sp[0], s.y * sp[1], z * sp[2])))).r;
  };
  ASSERT_TRUE(h.waitForVolume(ViewerHarness::volumeOf(h.cellOfKind(VIEW_KIND_VR))));
  Picture first = h.capture("layouts_pt4d_mpr3d_phase0.png");
  expectCellsShown(first, {h.cellOfKind(VIEW_KIND_AXIAL), h.cellOfKind(VIEW_KIND_CORONAL), h.cellOfKind(VIEW_KIND_SAGITTAL)});
  // Inverted grey: the hot sphere dark, the body light.
  EXPECT_LT(sphereGrey(first, 0) + 40, sphereGrey(first, 19));

  // The strip's next button every five frames until there is no next phase.
  int steps = 0;
  while (h.nextPhase()) {
    ++steps;
    h.frames(5);
    ASSERT_EQ(h.getManager()->getPhaseIndex(), steps);
  }
  EXPECT_EQ(steps, 19);
  ASSERT_TRUE(h.waitForVolume(ViewerHarness::volumeOf(h.cellOfKind(VIEW_KIND_VR))));
  Picture last = h.capture("layouts_pt4d_mpr3d_phase19.png");
  EXPECT_LT(sphereGrey(last, 19) + 40, sphereGrey(last, 0));
  // The volume shows the faint sphere elsewhere at the last phase.
  const Rect vr = ViewerHarness::cellRect(h.cellOfKind(VIEW_KIND_VR));
  int differ = 0;
  for (int y = static_cast<int>(vr.getMinY()); y < static_cast<int>(vr.getMaxY()); y += 2)
    for (int x = static_cast<int>(vr.getMinX()); x < static_cast<int>(vr.getMaxX()); x += 2)
      if (std::abs(first.at(x, y).r - last.at(x, y).r) > 8) ++differ;
  EXPECT_GT(differ, 50);

  // Every frame side by side: 5 columns × 4 rows, frame k in cell k.
  h.selectLayout("compare4d");
  ASSERT_EQ(h.layout(), LAYOUT_COMPARE4D);
  const auto cells = h.cells();
  ASSERT_EQ(cells.size(), 20u);
  for (KeyViewProperty* c : cells)
    if (isViewerBrowser* b = ViewerHarness::browserOf(c)) {
      b->setWindowLevel(1400.0f, 700.0f);
      for (isViewerImage* v : b->getImageViewers()) v->goToSlice(z, false);
    }
  h.frames(2);
  const Picture grid = h.capture("layouts_pt4d_compare4d.png");
  expectCellsShown(grid, cells);
  isImageData* frame = data->getFirstFrame();
  for (int k = 0; k < 20; ++k, frame = frame->nextFrame) {
    SCOPED_TRACE(k);
    ASSERT_NE(frame, nullptr);
    KeyViewProperty* cell = h.cellOfData(frame);
    ASSERT_NE(cell, nullptr);
    // Row by row from the top left.
    const Rect r = ViewerHarness::cellRect(cell);
    EXPECT_EQ(r.size, Size(198, 198));
    EXPECT_EQ(r.origin, Vec2(k % 5 == 4 ? kW - 198 : (k % 5) * 200, k / 5 == 0 ? kH - 198 : (3 - k / 5) * 200));
    isViewerImage* v = ViewerHarness::imageViewerOf(cell);
    ASSERT_NE(v, nullptr);
    float sp[3];
    data->getSpacing(sp);
    auto greyAt = [&](int phase) {
      const dcmfixtures::Voxel s = dcmfixtures::petSphereVoxel(pet, phase);
      return grid.at(ViewerHarness::screenOf(v, data->worldMatrix.transformPoint(Vec3(s.x * sp[0], s.y * sp[1], z * sp[2])))).r;
    };
    const int other = (k + 10) % 20;
    EXPECT_LT(greyAt(k) + 40, greyAt(other)) << "the sphere of phase " << k << " in its cell";
  }
  EXPECT_TRUE(clear(grid.at(199, 400)));
  EXPECT_TRUE(clear(grid.at(500, 199)));
}

TEST_F(LayoutsWindow, SeparateSeriesJoinedIntoOneFrameSetForCompare4d) {
  // Three acquisitions of the same geometry, each its own series: the
  // screen joins them into one set of three frames and shows it side by
  // side. A fourth of another slice count does not join.
  dcmfixtures::CtPhantom small;
  small.width = small.height = 64;
  small.slices = 40;
  std::vector<std::string> folders;
  for (const char* name : {"t0", "t1", "t2"}) {
    folders.push_back(folderOf(name));
    ASSERT_EQ(dcmfixtures::writeCtPhantom(folders.back(), small).files.size(), 40u);
  }
  dcmfixtures::CtPhantom other = small;
  other.slices = 30;
  folders.push_back(folderOf("t3"));
  dcmfixtures::writeCtPhantom(folders.back(), other);
  ASSERT_TRUE(h.openSeries(folders)) << h.lastError;
  EXPECT_EQ(h.joinFrames(0, 4), nullptr);
  EXPECT_FALSE(h.image(0)->isMultiFrame()) << "a refused set leaves the series alone";
  isImageData* set = h.joinFrames(0, 3);
  ASSERT_EQ(set, h.image(0));
  ASSERT_TRUE(set->isMultiFrame());
  EXPECT_EQ(set->getFirstFrame()->frameCount, 3);
  h.show(set, LAYOUT_COMPARE4D);
  ASSERT_EQ(h.layout(), LAYOUT_COMPARE4D);
  const auto cells = h.cells();
  ASSERT_EQ(cells.size(), 3u);
  for (size_t k = 0; k < 3; ++k) EXPECT_NE(h.cellOfData(h.image(k)), nullptr) << k;
  const Picture shot = h.capture("layouts_frame_set_compare4d.png");
  expectCellsShown(shot, cells);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  noScreen = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
