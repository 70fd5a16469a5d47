// The volume viewer in a real window: the CT phantom seen from the six
// anatomical sides and after half a turn of the turntable. A colour table
// paints the bone sphere (patient's right, mid-height) red and the dense
// sphere (anterior, superior, on the midline) green, so that where each lands
// in the picture tells from which side the eye looks and which way is up.
// Every view is written as a screenshot.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>

#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/series_fixtures.h"
#include "imaging/view/isActorVR.h"
#include "imaging/view_gl/view_gl_support.h"
#include "imaging/viewers/isViewerVR.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/phantoms.h"

USING_NS_CC;
using namespace viewtest;
using isImageSDK::isViewerVR;

namespace {

constexpr int kW = 340, kH = 340;
constexpr int kSize = 320, kLeft = 10, kBottom = 10;

bool pumpUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    stepWindowFrames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Mean position of the pixels of one colour, relative to the window's
// centre, in fractions of its size (x to the right, y up); count 0 when
// none.
struct Blob {
  int count = 0;
  float x = 0.0f, y = 0.0f;
};

Blob blobOf(const Shot& shot, const std::function<bool(const Rgb&)>& is) {
  Blob b;
  double sx = 0, sy = 0;
  for (int y = kBottom; y < kBottom + kSize; ++y)
    for (int x = kLeft; x < kLeft + kSize; ++x)
      if (is(shot.at(x, y))) {
        ++b.count;
        sx += x;
        sy += y;
      }
  if (b.count) {
    b.x = static_cast<float>((sx / b.count - kLeft - kSize / 2.0) / kSize);
    b.y = static_cast<float>((sy / b.count - kBottom - kSize / 2.0) / kSize);
  }
  return b;
}

bool red(const Rgb& c) { return c.r > 90 && c.r > c.g + 50; }
bool green(const Rgb& c) { return c.g > 90 && c.g > c.r + 50; }

// -1 left or below, 1 right or above, 0 on the centre line (within 6 %).
int sideOf(float f) { return f > 0.06f ? 1 : f < -0.06f ? -1 : 0; }

class ViewerVRWindow : public WindowTest {
 protected:
  ViewerVRWindow() : WindowTest("volume viewer", kW, kH, Color4F(0.2f, 0.2f, 0.3f, 1.0f)) {}

  void SetUp() override {
    WindowTest::SetUp();
    if (!ready()) return;
    // Smaller than the fixture's phantom, the same size in millimetres.
    phantom = makePhantomImage(128, 128, 100, 1.4f, 1.4f, 2.5f);
    viewer = isViewerVR::create();
    ASSERT_NE(viewer, nullptr);
    viewer->setContentSize(Size(kSize, kSize));
    scene->addChild(viewer);
    viewer->setPosition(Vec2(kLeft, kBottom));
    viewer->switchToVR();
    viewer->setVolume(phantom);
    // Bone (1200) low in the window, the dense sphere (2000) high; water and
    // air below it, transparent.
    viewer->setWindow(1100.0f, 1550.0f);
    uint8_t colours[768];
    for (int i = 0; i < 256; ++i) {
      const bool high = i >= 128;
      colours[3 * i] = high ? 0 : 255;
      colours[3 * i + 1] = high ? 255 : 0;
      colours[3 * i + 2] = 0;
    }
    colours[0] = colours[1] = colours[2] = 0;
    viewer->getVolumeActor()->setColorTable(colours);
  }
  void TearDown() override {
    if (viewer) viewer->removeFromParent();
    if (phantom) phantom->release();
    WindowTest::TearDown();
  }

  // Waits for the full-quality frame of the current view and captures it.
  Shot fineShot(const std::string& name) {
    isImageSDK::isActorVR* actor = viewer->getVolumeActor();
    // A frame of the view as it is now: the last camera change first.
    stepWindowFrames(1);
    EXPECT_TRUE(pumpUntil([&] {
      Texture2D* t = actor->getSprite()->getTexture();
      return actor->getSprite()->isVisible() && t && t->getPixelsWide() == kSize && !viewer->getSceneCamera()->changed &&
             isImageSDK::isActorVR::isThreadIdle(actor->getThreadRT()) &&
             isImageSDK::isActorVR::isThreadIdle(actor->getThreadBest());
    }));
    return capture(name);
  }

  isImageSDK::isImageData* phantom = nullptr;
  isViewerVR* viewer = nullptr;
};

struct Expect {
  int boneX, boneY;    // side of the bone sphere; 2: not checked
  int denseX, denseY;  // side of the dense sphere
};

void expectSpheres(const Shot& shot, const Expect& e) {
  const Blob bone = blobOf(shot, red), dense = blobOf(shot, green);
  ASSERT_GT(bone.count, 200) << "no bone sphere";
  ASSERT_GT(dense.count, 50) << "no dense sphere";
  if (e.boneX != 2) {
    EXPECT_EQ(sideOf(bone.x), e.boneX) << "bone at " << bone.x << ", " << bone.y;
  }
  EXPECT_EQ(sideOf(bone.y), e.boneY) << "bone at " << bone.x << ", " << bone.y;
  EXPECT_EQ(sideOf(dense.x), e.denseX) << "dense at " << dense.x << ", " << dense.y;
  EXPECT_EQ(sideOf(dense.y), e.denseY) << "dense at " << dense.x << ", " << dense.y;
}

TEST_F(ViewerVRWindow, PhantomFromTheSixSides) {
  if (!ready()) return;
  struct Case {
    int side;
    const char* name;
    Expect want;
  };
  // Radiological convention from the front: the patient's right on the
  // left of the picture.
  const Case cases[] = {
      {1, "superior", {1, 1, 0, 1}},    // from the head, anterior up: right on the right
      {2, "inferior", {-1, 1, 0, 1}},   // from the feet, anterior up: right on the left
      {3, "anterior", {-1, 0, 0, 1}},   // from the front, superior up
      {4, "posterior", {1, 0, 0, 1}},   // from the back
      {5, "right", {2, 0, 1, 1}},       // from the right: anterior on the right
      {6, "left", {2, 0, -1, 1}},       // from the left: anterior on the left
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* side = new NSUI::NSNotificationData();
    side->intValue = c.side;
    viewer->onNotification(NOTIFY_VR_ORIENTATION, side, nullptr);
    side->release();
    const Shot shot = fineShot(std::string("viewer_vr_side_") + std::to_string(c.side) + "_" + c.name + ".png");
    expectSpheres(shot, c.want);
    // The window's clear colour outside the viewer, the background colour
    // (black) in its corner.
    EXPECT_TRUE(near(shot.at(3, 3), Rgb{51, 51, 77}, 2));
    EXPECT_TRUE(near(shot.at(kLeft + 2, kBottom + 2), Rgb{0, 0, 0}, 2));
  }
}

// Plays the turntable at its fastest until the step index reaches `steps`
// (the index starts at 0 with every start), then stops it.
void playSteps(isViewerVR* viewer, int steps) {
  viewer->onNotification(NOTIFY_PLAY_TOGGLE, nullptr, nullptr);
  ASSERT_TRUE(viewer->playing);
  for (int i = 0; i < 3; ++i) viewer->onNotification(NOTIFY_PLAY_NEXT, nullptr, nullptr);
  ASSERT_EQ(viewer->tickInterval, 5);
  for (int frames = 0; viewer->stepIndex < steps && frames < 1000; ++frames)
    Director::getInstance()->stepFrame(1.0f / 60.0f);
  viewer->onNotification(NOTIFY_PLAY_TOGGLE, nullptr, nullptr);
  ASSERT_FALSE(viewer->playing);
  ASSERT_EQ(viewer->stepIndex, steps);
}

TEST_F(ViewerVRWindow, TurntableFromTheFront) {
  if (!ready()) return;
  // The view a new volume gets: from the front.
  expectSpheres(fineShot("viewer_vr_turntable_0.png"), {-1, 0, 0, 1});
  // 18 steps of 5°: a quarter turn, the eye moved to the patient's right.
  playSteps(viewer, 18);
  expectSpheres(fineShot("viewer_vr_turntable_18.png"), {2, 0, 1, 1});
  // 18 more: half a turn in all, the view from the back.
  playSteps(viewer, 18);
  expectSpheres(fineShot("viewer_vr_turntable_36.png"), {1, 0, 0, 1});
}

// The dynamic PET series (20 phases, a hot sphere moving from the
// patient's right to the left) as the program reads it: float PT, so the
// viewer gives it the inverted grey ramp; two phases shown from the front.
TEST_F(ViewerVRWindow, DynamicPetAtTwoPhases) {
  if (!ready()) return;
  dcmfixtures::Pet4d p;
  const std::string folder = seriestest::seriesFolder("vr/pt_4d");
  ASSERT_EQ(dcmfixtures::write4dPet(folder, p).files.size(), 20u * 64u);
  isImageSDK::isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  auto* reader = isImageSDK::isBinReader::create();
  ASSERT_TRUE(reader->setFileName(folder, isImageSDK::isDcmScan::getCacheFileName(folder)));
  isImageSDK::isImageData* image = reader->getOutputImage();
  image->update();
  ASSERT_TRUE(pumpUntil([&] { return reader->isLoadComplete(); }));
  image->splitFrames();
  ASSERT_TRUE(image->isMultiFrame());
  ASSERT_EQ(image->elementType, isImageSDK::ELEMENT_FLOAT);

  viewer->setVolume(image);
  isImageSDK::isActorVR* actor = viewer->getVolumeActor();
  // Body (100) light grey, the sphere (1000 and up) dark.
  viewer->setWindow(1400.0f, 700.0f);
  auto dark = [](const Rgb& c) { return c.r < 110 && c.g < 110 && c.b < 110; };
  Blob at[2];
  const int phases[2] = {0, 10};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE("phase " + std::to_string(phases[i]));
    actor->setFrameIndex(phases[i]);
    const Shot shot = fineShot("viewer_vr_pet_phase_" + std::to_string(phases[i]) + ".png");
    // The inverted ramp: white where no ray meets the body.
    EXPECT_TRUE(near(shot.at(kLeft + 2, kBottom + 2), Rgb{255, 255, 255}, 2));
    at[i] = blobOf(shot, dark);
    ASSERT_GT(at[i].count, 20);
    EXPECT_EQ(sideOf(at[i].y), 0) << at[i].y;
  }
  // Phase 0 on the patient's right (the left of the picture), phase 10 near
  // the middle.
  EXPECT_EQ(sideOf(at[0].x), -1) << at[0].x;
  EXPECT_EQ(sideOf(at[1].x), 0) << at[1].x;
  viewer->removeFromParent();
  viewer = nullptr;
  reader->release();
}

}  // namespace

int main(int argc, char** argv) { return runWindowTests(argc, argv); }
