// A 4-D series through the layout manager headless: played phase by phase
// the way the viewer screen steps it, in one cell and in the four cells of
// "mpr3d" (three planes and the volume), with the images and the volume on
// the phase asked for; its phases side by side in "compare4d"; and back.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/view/isActorImage.h"
#include "imaging/view/isActorVR.h"
#include "imaging/viewers/appLayouts.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerMulti.h"
#include "imaging/viewers/isViewerVR.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "viewer_support.h"

using namespace isImageSDK;
using namespace viewertest;
using cocos2d::Rect;
using cocos2d::Size;

namespace {

constexpr int kPhases = 20;
constexpr int kSide = 32;
constexpr int kSlices = 8;
// The screen asks for the next phase every this many frames.
constexpr int kFramesPerPhase = 5;

// Every sample of phase p carries this value.
int16_t codeOf(int phase) { return static_cast<int16_t>(100 * (phase + 1)); }

struct PhaseTest : ::testing::Test {
  HeadlessEngine engine{Size(1200, 900)};
  appManager* manager = nullptr;
  std::vector<isImageData*> frames;
  isImageData* set = nullptr;

  void SetUp() override {
    for (int p = 0; p < kPhases; ++p) {
      isImageData* volume = makePhantom(kSide, kSide, kSlices);
      auto* voxels = static_cast<int16_t*>(volume->volumeBuffer);
      for (int i = 0; i < kSide * kSide * kSlices; ++i) voxels[i] = codeOf(p);
      frames.push_back(volume);
    }
    set = isImageData::createFrameSet(frames);
    ASSERT_EQ(set, frames[0]);
    ASSERT_TRUE(set->isMultiFrame());
    manager = appManager::create();
    ASSERT_NE(manager, nullptr);
    manager->retain();
  }
  void TearDown() override {
    if (manager) {
      if (isViewerMulti* multi = manager->getViewerMulti()) multi->removeFromParent();
      manager->release();
    }
    stepFrames(2);
    for (auto* f : frames) f->release();
  }
  void show(int id) {
    manager->setImageData(set, Rect(0, 0, 1000, 800), id);
    isViewerMulti* multi = manager->getViewerMulti();
    ASSERT_NE(multi, nullptr);
    if (!multi->getParent()) engine.scene->addChild(multi);
  }
  std::vector<KeyViewProperty*> cells() {
    std::vector<KeyViewProperty*> out;
    for (auto& entry : manager->getViewerMulti()->cells)
      for (KeyViewProperty* cell : entry.second) out.push_back(cell);
    return out;
  }
  // Whether every sample of the slice a 2-D viewer puts out is phase p's.
  static bool outputIsPhase(isActorImage* actor, int p) {
    SliceRecord* out = actor->getOutputSlice();
    if (!out || !out->pixels || out->width < 1 || out->height < 1) return false;
    const int n = out->width * out->height;
    for (int i = 0; i < n; ++i) {
      float v = 0;
      switch (out->elementType) {
        case ELEMENT_INT16: v = static_cast<const int16_t*>(out->pixels)[i]; break;
        case ELEMENT_UINT16: v = static_cast<const uint16_t*>(out->pixels)[i]; break;
        case ELEMENT_FLOAT: v = static_cast<const float*>(out->pixels)[i]; break;
        default: return false;
      }
      if (v != codeOf(p)) return false;
    }
    return true;
  }
  // Every 2-D viewer and the volume of every cell on phase p (for
  // "compare4d": cell k on phase k). Counts the viewers checked.
  void expectOnPhase(int p, const std::string& what, int* imageViewers = nullptr, int* volumes = nullptr) {
    int images = 0, vrs = 0;
    for (KeyViewProperty* cell : cells()) {
      const int phase = p >= 0 ? p : indexOfFrame(cell->imageData);
      isImageData* frame = frames[static_cast<size_t>(phase)];
      if (auto* browser = dynamic_cast<isViewerBrowser*>(cell->getViewer())) {
        for (isViewerImage* viewer : browser->getImageViewers()) {
          isActorImage* actor = isViewerBrowser::imageActorOf(viewer);
          ASSERT_NE(actor, nullptr) << what;
          EXPECT_EQ(actor->getPlane()->inputImage, frame) << what << ", kind " << cell->getViewKind();
          EXPECT_TRUE(outputIsPhase(actor, phase)) << what << ", kind " << cell->getViewKind();
          ++images;
        }
      } else if (auto* vr = dynamic_cast<isViewerVR*>(cell->getViewer())) {
        const RayCastVolume& volume = vr->getVolumeActor()->getVolume();
        EXPECT_EQ(volume.voxels, frame->getScalarPointer()) << what;
        ASSERT_NE(volume.voxels, nullptr) << what;
        EXPECT_EQ(static_cast<const int16_t*>(volume.voxels)[0], codeOf(phase)) << what;
        ++vrs;
      }
    }
    if (imageViewers) *imageViewers = images;
    if (volumes) *volumes = vrs;
  }
  // Steps frames until `done` holds (the serial queue hands out one
  // notification a frame); false when it never does.
  static bool stepUntil(const std::function<bool()>& done, int maxFrames = 3000) {
    for (int i = 0; i < maxFrames; ++i) {
      if (done()) return true;
      stepFrames(1);
    }
    return done();
  }
  int indexOfFrame(isImageData* data) {
    for (size_t k = 0; k < frames.size(); ++k)
      if (frames[k] == data) return static_cast<int>(k);
    return -1;
  }
};

}  // namespace

TEST_F(PhaseTest, PlayedPhaseByPhaseAsTheScreenStepsIt) {
  struct Case {
    const char* layout;
    int cells;
    int imageViewers, volumes;
  };
  for (const Case& c : {Case{"2dview", 1, 1, 0}, Case{"mpr3d", 4, 3, 1}}) {
    const int id = appManager::getLayoutId(c.layout);
    show(LAYOUT_2DSLICE);
    manager->getViewerMulti()->setPhase(0);
    manager->setLayout(id);
    ASSERT_EQ(manager->getLayout(), id) << c.layout;
    ASSERT_EQ(static_cast<int>(cells().size()), c.cells) << c.layout;
    for (isImageData* frame : frames) EXPECT_TRUE(frame->frameLinked) << c.layout;
    EXPECT_EQ(manager->getPhaseIndex(), 0) << c.layout;
    int images = 0, volumes = 0;
    expectOnPhase(0, std::string(c.layout) + ", phase 0", &images, &volumes);
    EXPECT_EQ(images, c.imageViewers) << c.layout;
    EXPECT_EQ(volumes, c.volumes) << c.layout;

    // The screen's phase tick: the next phase while there is one.
    int shown = 0;
    bool stopped = false;
    for (int frame = 1; frame <= kFramesPerPhase * (kPhases + 3); ++frame) {
      stepFrames(1);
      if (frame % kFramesPerPhase) continue;
      const int p = manager->getPhaseIndex();
      ASSERT_EQ(p, shown) << c.layout;
      if (!manager->hasNextPhase()) {
        stopped = true;
        break;
      }
      manager->getViewerMulti()->setPhase(p + 1);
      shown = p + 1;
      ASSERT_EQ(manager->getPhaseIndex(), shown) << c.layout;
      expectOnPhase(shown, std::string(c.layout) + ", phase " + std::to_string(shown));
      if (HasFailure()) return;
    }
    EXPECT_TRUE(stopped) << c.layout;
    EXPECT_EQ(shown, kPhases - 1) << c.layout << ": the last phase stops the stepping";
  }
}

TEST_F(PhaseTest, PhasesSideBySideAndBack) {
  show(LAYOUT_MPR3D);
  manager->getViewerMulti()->setPhase(6);
  ASSERT_EQ(manager->getPhaseIndex(), 6);

  // Two data: no phase to speak of.
  manager->setImageDataList({set, frames[3]}, Rect(0, 0, 1000, 800));
  EXPECT_EQ(manager->getPhaseIndex(), -1);
  EXPECT_FALSE(manager->hasNextPhase());

  // "compare4d": one linked cell per phase, each on its own phase; every
  // frame stands for itself, so the series is at index 0 with a next phase
  // always there.
  show(LAYOUT_MPR3D);
  NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, NOTIFY_PROTOCOL_SELECT, "compare4d",
                                                                    manager, false);
  ASSERT_TRUE(stepUntil([&] { return manager->getLayout() == LAYOUT_COMPARE4D; }));
  const std::vector<KeyViewProperty*> side = cells();
  ASSERT_EQ(static_cast<int>(side.size()), kPhases);
  std::vector<int> seen(kPhases, 0);
  for (KeyViewProperty* cell : side) {
    const int k = indexOfFrame(cell->imageData);
    ASSERT_GE(k, 0);
    ++seen[static_cast<size_t>(k)];
    EXPECT_TRUE(cell->getViewer()->linked) << "frame " << k;
  }
  EXPECT_EQ(seen, std::vector<int>(kPhases, 1)) << "every frame once";
  for (isImageData* frame : frames) EXPECT_FALSE(frame->frameLinked);
  expectOnPhase(-1, "compare4d");
  EXPECT_EQ(manager->getPhaseIndex(), 0);
  EXPECT_TRUE(manager->hasNextPhase());

  // Back to "mpr3d": the series moves by phase again.
  NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, NOTIFY_PROTOCOL_SELECT, "mpr3d", manager,
                                                                    false);
  ASSERT_TRUE(stepUntil([&] { return manager->getLayout() == LAYOUT_MPR3D; }));
  EXPECT_EQ(cells().size(), 4u);
  for (isImageData* frame : frames) EXPECT_TRUE(frame->frameLinked);
  EXPECT_EQ(manager->getPhaseIndex(), 6);
  expectOnPhase(6, "mpr3d again, where the series was");
  manager->getViewerMulti()->setPhase(11);
  EXPECT_EQ(manager->getPhaseIndex(), 11);
  EXPECT_TRUE(manager->hasNextPhase());
  expectOnPhase(11, "mpr3d again");
}
