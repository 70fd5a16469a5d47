// The 2-D image viewer's life cycle and data: what create, cleanup and the
// destructor leave and post, what data of each kind starts with, the view
// kind entry, the reference-line switch and the shown slice's file.
#include <gtest/gtest.h>

#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/viewers/isColorTable.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "viewer_support.h"

using namespace isImageSDK;
using namespace viewertest;
using cocos2d::Size;
using cocos2d::Vec3;

namespace {

// The RGB entries the image actor maps grey levels through.
ColorTable shownTable(isViewerImage* v) {
  ColorTable t{};
  v->imageActor->getClut()->getColorTableRGB(t.data());
  return t;
}

class ViewerImageTest : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  Recorder rec;
};

TEST_F(ViewerImageTest, CreateLeavesAnEmptyViewerWithItsImageTool) {
  isViewerImage* v = addViewer(engine.scene);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->viewKind, VIEW_KIND_NONE);
  EXPECT_TRUE(v->linked);
  EXPECT_FLOAT_EQ(v->panMargin, 0.15f);
  EXPECT_FALSE(v->frameShown);
  EXPECT_FALSE(v->overlayDirty);
  EXPECT_EQ(v->imageActor, nullptr);
  EXPECT_EQ(v->planeFrame, cocos2d::Mat4::IDENTITY);
  EXPECT_EQ(v->getImageData(), nullptr);
  EXPECT_EQ(v->getSecondImageData(), nullptr);
  auto* tool = dynamic_cast<isInteractorImage*>(v->getInteractor());
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(tool->getTarget(), v);
  EXPECT_EQ(v->getSliceCount(), 0);
}

TEST_F(ViewerImageTest, CleanupAndDestructionEachPostTheViewersRefId) {
  rec.listen({NOTIFY_VIEWER_CLEANUP}, nullptr);
  isViewerImage* v = addViewer(engine.scene);
  const int id = static_cast<int>(v->getRefID());
  std::vector<int> ids;
  NSUI::NSNotificationCenter::getInstance()->addObserver(
      &ids, nullptr, [&ids](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* d) { ids.push_back(d->taskValue); },
      NOTIFY_VIEWER_CLEANUP);
  auto* data = makePhantom(16, 16, 8);
  v->setImageData(data);
  data->release();
  v->removeFromParent();  // cleanup; the pool then frees the viewer
  stepFrames(6);
  const auto got = rec.of(NOTIFY_VIEWER_CLEANUP);
  ASSERT_EQ(got.size(), 2u);
  for (const auto& r : got) EXPECT_EQ(r.sender, nullptr);
  EXPECT_EQ(ids, (std::vector<int>{id, id}));
  NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&ids);
}

TEST_F(ViewerImageTest, DataOfEachKindStartsOnItsPlaneKindLabelAndTable) {
  struct Case {
    const char* name;
    bool volume;
    int modality;
    int displayCode;
    int kind;
    const char* label;
    int entry0;       // grey of table entry 0
    bool whiteBackground;
  };
  const Case cases[] = {
      {"CT volume", true, MODALITY_CT, DISPLAY_SIGNED, VIEW_KIND_AXIAL, "Axial", 0, false},
      {"PT volume", true, MODALITY_PT, DISPLAY_SIGNED, VIEW_KIND_AXIAL, "Axial", 255, true},
      {"NM slice", false, MODALITY_NM, DISPLAY_UNSIGNED, VIEW_KIND_SLICE, "Slice", 255, true},
      {"MONOCHROME1 slice", false, MODALITY_DX, DISPLAY_UNSIGNED_INVERTED, VIEW_KIND_SLICE, "Slice", 255, false},
      {"CT slice", false, MODALITY_CT, DISPLAY_SIGNED, VIEW_KIND_SLICE, "Slice", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rec.got.clear();
    isViewerImage* v = addViewer(engine.scene);
    rec.listen({NOTIFY_OVERLAY_VIEW_NAME}, v);
    isImageData* data = nullptr;
    if (c.volume) {
      data = makePhantom(16, 16, 8);
      for (auto* s : data->slices) s->modality = c.modality, s->displayCode = c.displayCode;
    } else {
      LooseSlice l;
      l.modality = c.modality;
      l.displayCode = c.displayCode;
      data = makeLooseSlices({l, l});
    }
    v->setImageData(data);
    data->release();
    ASSERT_NE(v->imageActor, nullptr);
    EXPECT_EQ(v->getImageData(), data);
    EXPECT_EQ(v->viewKind, c.kind);
    const SliceRecord* record = v->imageActor->getOutputSliceInfo();
    ASSERT_NE(record, nullptr);
    cocos2d::Mat4 centre;
    record->getCenterMatrix(centre);
    EXPECT_EQ(v->planeFrame, centre);
    const ColorTable table = shownTable(v);
    EXPECT_EQ(table[0], c.entry0);
    EXPECT_EQ(table[3 * 255], 255 - c.entry0);
    EXPECT_EQ(v->isFocused(), c.whiteBackground);
    stepFrames(6);
    const auto names = rec.of(NOTIFY_OVERLAY_VIEW_NAME);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.back().text, c.label);
    EXPECT_EQ(names.back().sender, nullptr);
    v->removeFromParent();
  }
}

TEST_F(ViewerImageTest, TheSameDataTwiceChangesNothingAndNullDataLeavesTheGreyRamp) {
  isViewerImage* v = addViewer(engine.scene);
  auto* data = makePhantom(16, 16, 8);
  v->setImageData(data);
  isActorImage* actor = v->imageActor;
  v->loadColorTable(kColorTableInverseGrey);
  v->setImageData(data);
  EXPECT_EQ(v->imageActor, actor);
  EXPECT_EQ(shownTable(v)[0], 255) << "the table was not reloaded";
  data->release();

  v->setImageData(nullptr);
  EXPECT_EQ(v->getImageData(), nullptr);
  ASSERT_NE(v->imageActor, nullptr);
  EXPECT_NE(v->imageActor, actor);
  EXPECT_EQ(shownTable(v)[3 * 128], 128);
  EXPECT_FALSE(v->isFocused());
}

TEST_F(ViewerImageTest, SetViewKindStoresKindsThatRunNoCommand) {
  isViewerImage* v = addViewer(engine.scene);
  auto* data = makePhantom(16, 16, 8);
  v->setImageData(data);
  data->release();
  ASSERT_EQ(v->viewKind, VIEW_KIND_AXIAL);
  const int slice = v->imageActor->getSliceIndex();
  const cocos2d::Mat4 frame = v->planeFrame;
  v->setViewKind(VIEW_KIND_OBLIQUE);
  EXPECT_EQ(v->viewKind, VIEW_KIND_OBLIQUE);
  EXPECT_EQ(v->imageActor->getSliceIndex(), slice);
  EXPECT_EQ(v->imageActor->getPlaneOrientation(), 0);
  EXPECT_EQ(v->planeFrame, frame);
  v->setViewKind(VIEW_KIND_NONE);
  EXPECT_EQ(v->viewKind, VIEW_KIND_NONE);
  v->setViewVisible(false);
  EXPECT_FALSE(v->isContentVisible());
  v->setViewVisible(true);
  EXPECT_TRUE(v->isContentVisible());
}

TEST_F(ViewerImageTest, ReferenceLinesShowOnlyForAnAnatomicalPlaneOutsideTheMeasurementTools) {
  isViewerImage* v = addViewer(engine.scene);
  auto* data = makePhantom(16, 16, 8);
  v->setImageData(data);
  data->release();
  auto* tool = dynamic_cast<isInteractorImage*>(v->getInteractor());
  ASSERT_NE(tool, nullptr);

  v->frameShown = true;
  v->setCrossLinesShown(true);
  isActorCrossLine* lines = v->getActorManager()->findCrossLineActor();
  ASSERT_NE(lines, nullptr);
  EXPECT_TRUE(lines->isLinesShown());
  EXPECT_TRUE(lines->isFrameShown());
  EXPECT_EQ(lines->getFrameColorIndex(), 0);

  tool->setToolMode(TOOL_MODE_ROI_POLYGON);
  v->setCrossLinesShown(true);
  EXPECT_FALSE(lines->isLinesShown());
  EXPECT_FALSE(lines->isFrameShown());

  tool->setToolMode(TOOL_MODE_PAN);
  v->viewKind = VIEW_KIND_SLICE;
  v->setCrossLinesShown(true);
  EXPECT_FALSE(lines->isLinesShown());
  EXPECT_NE(v->getActorManager()->getOverlayActor(), nullptr);

  v->frameShown = false;
  v->syncFrameVisible();
  EXPECT_FALSE(lines->isFrameShown());
  v->frameShown = true;
  v->syncFrameVisible();
  EXPECT_TRUE(lines->isFrameShown());
}

TEST_F(ViewerImageTest, SliceFilePathIsTheShownSlicesFile) {
  isViewerImage* v = addViewer(engine.scene);
  EXPECT_EQ(v->getSliceFilePath(), "");
  LooseSlice l;
  auto* data = makeLooseSlices({l, l});
  data->slices[0]->filePath = "/data/a.dcm";
  data->slices[1]->filePath = "/data/b.dcm";
  v->setImageData(data);
  data->release();
  EXPECT_EQ(v->getSliceFilePath(), "/data/a.dcm");
  v->goToSlice(1, false);
  EXPECT_EQ(v->getSliceFilePath(), "/data/b.dcm");
}

}  // namespace
