// The multi-view with real cells headless: making cells of every kind and
// the refusals, the first cell's focus, aligning a new or existing cell with
// its link partner flag by flag, the screen's queries for each kind of
// focused cell, the window of linked cells, phases of a 4-D set, and
// emptying the layout.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imaging/view/isActorVR.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerMulti.h"
#include "imaging/viewers/isViewerVR.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "viewer_support.h"

using namespace isImageSDK;
using namespace viewertest;
using cocos2d::Rect;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;

namespace {

// The multi-view with its storage step open, for cells made by hand.
class MultiProbe : public isViewerMulti {
 public:
  CREATE_FUNC(MultiProbe);
  using isViewerMulti::storeCell;
};

struct MultiViewTest : ::testing::Test {
  HeadlessEngine engine{Size(1200, 900)};
  MultiProbe* multi = nullptr;
  std::vector<isImageData*> images;
  void SetUp() override {
    multi = MultiProbe::create();
    multi->setPosition(Vec2(50, 30));
    engine.scene->addChild(multi);
  }
  void TearDown() override {
    multi->removeFromParent();
    stepFrames(2);
    for (auto* i : images) i->release();
  }
  // 40 axial slices 2 mm apart (slice k at z = -39 + 2k), each with a file.
  isImageData* phantom(int slices = 40) {
    isImageData* image = makePhantom(24, 24, slices);
    for (int k = 0; k < static_cast<int>(image->slices.size()); ++k)
      image->slices[k]->filePath = "/series/ct/IM" + std::to_string(k) + ".dcm";
    images.push_back(image);
    return image;
  }
  // The last cell added.
  KeyViewProperty* last() {
    KeyViewProperty* found = nullptr;
    unsigned int newest = 0;
    for (auto& entry : multi->cells)
      for (KeyViewProperty* cell : entry.second)
        if (cell->getRefID() >= newest) {
          newest = cell->getRefID();
          found = cell;
        }
    return found;
  }
  KeyViewProperty* add(int kind, bool linked, Rect rect, isImageData* data) {
    multi->addView(kind, linked, rect, data);
    return last();
  }
  static isViewerBrowser* browser(KeyViewProperty* cell) { return dynamic_cast<isViewerBrowser*>(cell->getViewer()); }
  static isViewerVR* volume(KeyViewProperty* cell) { return dynamic_cast<isViewerVR*>(cell->getViewer()); }
  static std::vector<int> slices(KeyViewProperty* cell) {
    std::vector<int> out;
    for (isViewerImage* v : browser(cell)->getImageViewers()) out.push_back(v->imageActor ? v->imageActor->getSliceIndex() : -99);
    return out;
  }
};

}  // namespace

TEST_F(MultiViewTest, AddViewMakesEveryKindThroughOnePlaceAndRefusesTheRest) {
  isImageData* ct = phantom();
  isImageData* loose = makeLooseSlices({LooseSlice{}, LooseSlice{}});
  images.push_back(loose);
  EXPECT_EQ(multi->getBackGroundColorOpacity(), 255);

  // Refused: no data, data that is not a volume for kinds 1-6, kinds above 6.
  multi->addView(1, true, Rect(0, 0, 100, 100), nullptr);
  multi->addView(0, true, Rect(0, 0, 100, 100), nullptr);
  for (int kind = 1; kind <= 6; ++kind) multi->addView(kind, true, Rect(0, 0, 100, 100), loose);
  multi->addView(7, true, Rect(0, 0, 100, 100), ct);
  multi->addView(12, true, Rect(0, 0, 100, 100), ct);
  EXPECT_EQ(multi->getCreatedViewerCount(), 0);
  EXPECT_TRUE(multi->cells.empty());
  EXPECT_EQ(multi->getChildrenCount(), 0);
  EXPECT_EQ(multi->getBackGroundColorOpacity(), 255) << "black until the first cell";

  struct Case {
    int kind;
    bool linked;
    Rect rect;
    isImageData* data;
  };
  const Case cases[] = {
      {0, true, Rect(0, 400, 300, 200), loose},  {0, false, Rect(300, 400, 300, 200), ct},
      {1, true, Rect(0, 0, 300, 400), ct},       {2, false, Rect(300, 0, 300, 400), ct},
      {3, true, Rect(600, 0, 300, 400), ct},     {4, true, Rect(900, 0, 100, 100), ct},
      {5, true, Rect(600, 400, 200, 200), ct},   {6, false, Rect(800, 400, 200, 200), ct},
  };
  int made = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.kind);
    KeyViewProperty* cell = add(k.kind, k.linked, k.rect, k.data);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(multi->getCreatedViewerCount(), ++made);
    EXPECT_EQ(cell->getViewKind(), k.kind);
    EXPECT_EQ(cell->getViewer()->linked, k.linked);
    EXPECT_EQ(cell->imageData, k.data);
    EXPECT_EQ(cell->secondImageData, nullptr);
    EXPECT_EQ(cell->getKey(), k.data->getRefID());
    EXPECT_EQ(cell->getViewer()->getImageData(), k.data);
    auto* node = dynamic_cast<cocos2d::Node*>(cell->getViewer());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getParent(), multi);
    EXPECT_EQ(node->getPosition(), k.rect.origin);
    EXPECT_EQ(node->getContentSize(), k.rect.size);
    if (k.kind <= 4) {
      isViewerBrowser* b = browser(cell);
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->owner, multi);
      EXPECT_EQ(b->getImageViewers().size(), 1);
      EXPECT_EQ(b->getImageViewers().at(0)->getContentSize(), k.rect.size) << "grid laid out";
    } else {
      isViewerVR* vr = volume(cell);
      ASSERT_NE(vr, nullptr);
      EXPECT_EQ(vr->getRelayTarget(), multi);
      EXPECT_NE(dynamic_cast<isInteractorTrackVR*>(vr->getInteractor()), nullptr);
      EXPECT_NE(vr->getVolumeActor(), nullptr);
    }
    EXPECT_EQ(multi->getBackGroundColorOpacity(), 0);
  }
  // Only the first cell took the focus; an acquired-slice cell reads 0.
  EXPECT_EQ(multi->getFocusedCell()->imageData, loose);
  EXPECT_EQ(multi->getFocusedViewKind(), 0);
  EXPECT_EQ(multi->getCellCount(), 8);

  // Emptied: every viewer gone, no focus, still transparent; the next cell
  // takes the focus.
  multi->removeAllViews();
  EXPECT_EQ(multi->getChildrenCount(), 0);
  EXPECT_EQ(multi->getFocusedCell(), nullptr);
  EXPECT_EQ(multi->getFocusedViewKind(), 0);
  EXPECT_EQ(multi->getBackGroundColorOpacity(), 0);
  KeyViewProperty* again = add(3, true, Rect(0, 0, 200, 200), ct);
  EXPECT_EQ(multi->getFocusedCell(), again);
  EXPECT_EQ(multi->getFocusedViewKind(), 3);
}

TEST_F(MultiViewTest, NewLinkedCellsStartAtTheirPartnersPointAndUnlinkedOnesCentre) {
  isImageData* ct = phantom();
  KeyViewProperty* first = add(1, true, Rect(0, 0, 300, 300), ct);
  EXPECT_EQ(slices(first), std::vector<int>{19}) << "centred in 40 slices";
  browser(first)->getImageViewers().at(0)->goToSlice(25, false);

  KeyViewProperty* linked = add(1, true, Rect(300, 0, 300, 300), ct);
  EXPECT_EQ(slices(linked), std::vector<int>{25}) << "at the partner's focal point";
  KeyViewProperty* loose = add(1, false, Rect(600, 0, 300, 300), ct);
  EXPECT_EQ(slices(loose), std::vector<int>{19}) << "unlinked: centred";
  KeyViewProperty* acquired = add(0, true, Rect(0, 300, 300, 300), ct);
  EXPECT_EQ(browser(acquired)->firstSliceIndex, 25) << "kind 0 starts at the partner's first slice";
  EXPECT_EQ(slices(acquired), std::vector<int>{25});
}

TEST_F(MultiViewTest, SyncCellFlagByFlag) {
  isImageData* ct = phantom();
  KeyViewProperty* ref = add(1, true, Rect(0, 0, 300, 300), ct);
  KeyViewProperty* target = add(1, true, Rect(300, 0, 450, 300), ct);
  KeyViewProperty* coronal = add(3, true, Rect(0, 300, 300, 300), ct);
  KeyViewProperty* loose = add(1, false, Rect(300, 300, 300, 300), ct);
  KeyViewProperty* oblique = add(4, true, Rect(600, 300, 300, 300), ct);
  isViewerBrowser* r = browser(ref);
  isViewerBrowser* t = browser(target);
  // The coronal cell's focal point where axial slice 10 lies.
  isViewerImage* axialViewer = r->getImageViewers().at(0);
  axialViewer->goToSlice(10, false);
  const float* f = axialViewer->planeFrame.m;
  const Vec3 atSlice10(f[12], f[13], f[14]);
  isViewerImage* coronalViewer = browser(coronal)->getImageViewers().at(0);
  coronalViewer->showPlane(2);
  coronalViewer->setFocalPoint(atSlice10);
  axialViewer->goToSlice(30, false);
  t->setGrid(1, 3);
  t->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, t->getImageViewers().at(1));
  ASSERT_EQ(t->getCurrentViewer(), t->getImageViewers().at(1));
  const float zoomBefore = t->getZoomRatio();
  const Vec3 centreBefore = t->getViewCenter();

  // Slice: the current viewer at the reference's point, the others a slice
  // step (2 mm) either side.
  multi->syncCell(target, ref, true, false, false);
  EXPECT_EQ(slices(target), (std::vector<int>{29, 30, 31}));
  EXPECT_EQ(t->firstSliceIndex, 29);
  EXPECT_FLOAT_EQ(t->getZoomRatio(), zoomBefore);

  // Zoom only.
  r->setZoomRatio(2.0f);
  multi->syncCell(target, ref, false, true, false);
  for (isViewerImage* v : t->getImageViewers()) EXPECT_NEAR(v->getZoomRatio(), 2.0f, 1e-4f);
  EXPECT_EQ(slices(target), (std::vector<int>{29, 30, 31}));

  // Pan only: every viewer centred on the reference's view centre.
  const Vec3 centre = r->getViewCenter() + Vec3(6, -4, 0);
  r->setViewCenter(centre);
  ASSERT_GT(centre.distance(centreBefore), 1.0f);
  multi->syncCell(target, ref, false, false, true);
  for (isViewerImage* v : t->getImageViewers()) {
    // Each viewer looks at the point within its own slice: they differ only
    // along the slice normal.
    const float* m = v->planeFrame.m;
    const Vec3 normal(m[8], m[9], m[10]);
    const Vec3 d = v->getCameraTarget() - centre;
    EXPECT_NEAR((d - normal * d.dot(normal)).length(), 0.0f, 1e-3f);
  }
  for (isViewerImage* v : t->getImageViewers()) EXPECT_NEAR(v->getZoomRatio(), 2.0f, 1e-4f);

  // A reference of another kind: the target moves to its point with its
  // own step.
  multi->syncCell(target, coronal, true, false, false);
  EXPECT_EQ(slices(target), (std::vector<int>{9, 10, 11}));

  // Unlinked and oblique targets take nothing.
  const std::vector<int> looseBefore = slices(loose);
  const float looseZoom = browser(loose)->getZoomRatio();
  multi->syncCell(loose, ref, true, true, true);
  EXPECT_EQ(slices(loose), looseBefore);
  EXPECT_FLOAT_EQ(browser(loose)->getZoomRatio(), looseZoom);
  const float obliqueZoom = browser(oblique)->getZoomRatio();
  multi->syncCell(oblique, ref, true, true, false);
  EXPECT_FLOAT_EQ(browser(oblique)->getZoomRatio(), obliqueZoom);
}

TEST_F(MultiViewTest, QueriesOfEachKindOfFocusedCell) {
  isImageData* ct = phantom();
  struct Case {
    int kind;
    bool rect, window, sliceInfo;
    int count;  // slice count of the plane (info[1])
  };
  const Case cases[] = {
      {0, true, true, true, 40},  {1, true, true, true, 40},  {2, true, true, true, 24},
      {3, true, true, true, 24},  {4, true, true, false, 0},  {5, true, true, false, 0},
      {6, true, true, false, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.kind);
    multi->removeAllViews();
    KeyViewProperty* cell = add(k.kind, true, Rect(100, 60, 400, 300), ct);
    ASSERT_EQ(multi->getFocusedCell(), cell);
    if (k.kind == 2 || k.kind == 3) browser(cell)->getImageViewers().at(0)->showPlane(k.kind - 1);
    EXPECT_EQ(multi->getFocusedViewKind(), k.kind);

    Rect rect(-1, -1, -1, -1);
    EXPECT_EQ(multi->getFocusedViewRect(rect), k.rect);
    if (k.kind <= 4) {
      isViewerBrowser* b = browser(cell);
      b->setGrid(2, 2);
      b->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, b->getImageViewers().at(3));
      ASSERT_TRUE(multi->getFocusedViewRect(rect));
      // The current viewer (bottom right) in the multi-view's parent space.
      EXPECT_EQ(rect, Rect(50 + 100 + 201, 30 + 60, 199, 149));
    } else {
      EXPECT_EQ(rect, Rect(150, 90, 400, 300));
    }

    float width = -1, level = -1;
    EXPECT_EQ(multi->getFocusedWindowLevel(width, level), k.window);
    if (k.kind <= 4) {
      EXPECT_FLOAT_EQ(width, 400.0f);
      EXPECT_FLOAT_EQ(level, 40.0f);
      multi->setWindowLevel(700, 90);
      ASSERT_TRUE(multi->getFocusedWindowLevel(width, level));
      EXPECT_FLOAT_EQ(width, 700.0f);
      EXPECT_FLOAT_EQ(level, 90.0f);
    } else {
      isActorVR* actor = volume(cell)->getVolumeActor();
      EXPECT_FLOAT_EQ(width, actor->getContextRT()->getWindowWidth());
      EXPECT_FLOAT_EQ(level, actor->getContextRT()->getWindowLevel());
      multi->setWindowLevel(700, 90);
      ASSERT_TRUE(multi->getFocusedWindowLevel(width, level));
      EXPECT_FLOAT_EQ(width, 700.0f);
      EXPECT_FLOAT_EQ(level, 90.0f);
      EXPECT_FLOAT_EQ(actor->getContextBest()->getWindowWidth(), 700.0f);
    }

    int info[2] = {-7, -7};
    EXPECT_EQ(multi->getFocusedSliceInfo(info), k.sliceInfo);
    if (k.sliceInfo) {
      EXPECT_EQ(info[0], browser(cell)->getImageViewers().at(0)->imageActor->getSliceIndex());
      EXPECT_EQ(info[1], k.count);
    } else {
      EXPECT_EQ(info[0], -7);
      EXPECT_EQ(info[1], -7);
    }

    const std::string path = multi->getFocusedFilePath();
    if (k.kind >= 5) {
      EXPECT_EQ(path, "/series/ct/IM0.dcm");
    } else if (k.kind <= 1) {
      // The current viewer's slice.
      const int shown = browser(cell)->getCurrentViewer()->imageActor->getSliceIndex();
      EXPECT_EQ(path, "/series/ct/IM" + std::to_string(shown) + ".dcm");
    }
  }
}

TEST_F(MultiViewTest, FocusedCellsWithoutAnImageOrVolumeActorReportFalse) {
  // A 2-D cell whose viewer never got data: a kind, a current viewer, no
  // image actor.
  isViewerBrowser* bare = isViewerBrowser::create();
  multi->addChild(bare);
  bare->setContentSize(Size(200, 100));
  bare->setPosition(Vec2(10, 20));
  bare->layoutGrid();
  bare->viewKind = VIEW_KIND_AXIAL;
  KeyViewProperty* cell = KeyViewProperty::create();
  cell->setViewer(bare);
  multi->storeCell(cell);
  ASSERT_EQ(multi->getFocusedCell(), cell);

  Rect rect;
  EXPECT_TRUE(multi->getFocusedViewRect(rect)) << "it has a current viewer";
  EXPECT_EQ(rect, Rect(60, 50, 200, 100));
  float width = -1, level = -2;
  int info[2] = {-7, -8};
  EXPECT_FALSE(multi->getFocusedWindowLevel(width, level));
  EXPECT_FALSE(multi->getFocusedSliceInfo(info));
  EXPECT_EQ(width, -1);
  EXPECT_EQ(level, -2);
  EXPECT_EQ(info[0], -7);
  EXPECT_EQ(info[1], -8);
  EXPECT_EQ(multi->getFocusedFilePath(), "");

  // A volume cell without a volume.
  multi->removeAllViews();
  isViewer* vr = multi->createViewer(VIEW_KIND_VR, Rect(0, 0, 100, 100));
  ASSERT_NE(vr, nullptr);
  vr->viewKind = VIEW_KIND_VR;
  KeyViewProperty* empty = KeyViewProperty::create();
  empty->setViewer(vr);
  multi->storeCell(empty);
  EXPECT_FALSE(multi->getFocusedWindowLevel(width, level));
  EXPECT_EQ(width, -1);
  EXPECT_EQ(multi->getFocusedFilePath(), "");
  multi->setWindowLevel(300, 30);  // nothing to set, nothing breaks
  multi->setPhase(1);
}

TEST_F(MultiViewTest, WindowOfTheFocusedCellReachesItsLinkedCellsOfTheSameData) {
  isImageData* ct = phantom();
  isImageData* other = phantom(20);
  KeyViewProperty* focused = add(1, true, Rect(0, 0, 300, 300), ct);
  KeyViewProperty* same = add(3, true, Rect(300, 0, 300, 300), ct);
  KeyViewProperty* unlinked = add(2, false, Rect(600, 0, 300, 300), ct);
  KeyViewProperty* otherData = add(1, true, Rect(0, 300, 300, 300), other);
  KeyViewProperty* vr = add(5, true, Rect(300, 300, 300, 300), ct);
  browser(same)->setGrid(1, 2);
  const float vrWidth = volume(vr)->getVolumeActor()->getContextRT()->getWindowWidth();

  multi->setWindowLevel(1500, -500);
  auto windowOf = [](KeyViewProperty* cell) {
    std::vector<float> out;
    for (isViewerImage* v : browser(cell)->getImageViewers()) {
      out.push_back(v->imageActor->getClut()->windowWidth);
      out.push_back(v->imageActor->getClut()->windowCentre);
    }
    return out;
  };
  EXPECT_EQ(windowOf(focused), (std::vector<float>{1500, -500}));
  EXPECT_EQ(windowOf(same), (std::vector<float>{1500, -500, 1500, -500}));
  EXPECT_EQ(windowOf(unlinked), (std::vector<float>{400, 40}));
  EXPECT_EQ(windowOf(otherData), (std::vector<float>{400, 40}));
  EXPECT_FLOAT_EQ(volume(vr)->getVolumeActor()->getContextRT()->getWindowWidth(), vrWidth);
}

TEST_F(MultiViewTest, SetPhaseReachesEveryImageActorAndTheVolumeActor) {
  std::vector<isImageData*> volumes;
  for (int i = 0; i < 3; ++i) volumes.push_back(makePhantom(16, 16, 12));
  isImageData* set = isImageData::createFrameSet(volumes);
  ASSERT_NE(set, nullptr);
  for (auto* v : volumes) images.push_back(v);
  ASSERT_TRUE(set->isMultiFrame());

  KeyViewProperty* axial = add(1, true, Rect(0, 0, 400, 300), set);
  KeyViewProperty* coronal = add(3, false, Rect(400, 0, 400, 300), set);
  KeyViewProperty* vr = add(5, true, Rect(0, 300, 400, 300), set);
  browser(axial)->setGrid(1, 2);
  isActorVR* actor = volume(vr)->getVolumeActor();
  ASSERT_NE(actor, nullptr);

  for (int phase : {2, 1, 0}) {
    SCOPED_TRACE(phase);
    multi->setPhase(phase);
    for (KeyViewProperty* cell : {axial, coronal})
      for (isViewerImage* v : browser(cell)->getImageViewers())
        EXPECT_EQ(v->imageActor->getPlane()->inputImage, set->getFrame(phase));
    EXPECT_EQ(actor->getVolume().voxels, set->getFrame(phase)->getScalarPointer());
  }
  multi->setPhase(7);  // outside the set: nothing moves
  EXPECT_EQ(actor->getVolume().voxels, set->getFrame(0)->getScalarPointer());
  EXPECT_EQ(browser(axial)->getImageViewers().at(1)->imageActor->getPlane()->inputImage, set->getFrame(0));
}

// A cell is laid out before it gets its data; the fitted image it then shows
// is zoom ratio 1 in every kind, so the zoom limits (0.1 to 10) leave room to
// zoom both ways.
TEST_F(MultiViewTest, FreshCellsShowTheirFittedImageAtZoomRatioOne) {
  isImageData* ct = phantom();
  isImageData* loose = makeLooseSlices({LooseSlice{}, LooseSlice{}});
  images.push_back(loose);
  const struct {
    int kind;
    isImageData* data;
  } cases[] = {{0, ct}, {1, ct}, {2, ct}, {3, ct}, {0, loose}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    KeyViewProperty* cell = add(c.kind, true, Rect(0, 0, 600, 450), c.data);
    ASSERT_NE(cell, nullptr);
    for (isViewerImage* v : browser(cell)->getImageViewers()) EXPECT_NEAR(v->getZoomRatio(), 1.0f, 1e-3f);
    multi->removeAllViews();
  }
}
