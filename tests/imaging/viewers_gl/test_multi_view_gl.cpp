// The multi-view in a real window: a 2 × 2 cell of the CT phantom with its
// focus mark, before and after slice play on the stepped clock; the four
// quarters of the "mpr3d" layout made by hand; the dynamic PET in a volume
// cell at two phases; and the phantom in a maximum-intensity cell.
// Every picture is written as a screenshot in the build folder.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/series_fixtures.h"
#include "imaging/view/isActorVR.h"
#include "imaging/view_gl/view_gl_support.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerMulti.h"
#include "imaging/viewers/isViewerVR.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/phantoms.h"

USING_NS_CC;
using namespace viewtest;
using namespace isImageSDK;

namespace {

constexpr int kW = 1000, kH = 800;
const Rgb kClear{233, 239, 249};

bool pumpUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    stepWindowFrames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Pixels of one kind inside a rectangle of the shot.
int countIn(const Shot& shot, const Rect& r, const std::function<bool(const Rgb&)>& is) {
  int n = 0;
  for (int y = static_cast<int>(r.getMinY()); y < static_cast<int>(r.getMaxY()); ++y)
    for (int x = static_cast<int>(r.getMinX()); x < static_cast<int>(r.getMaxX()); ++x)
      if (is(shot.at(x, y))) ++n;
  return n;
}

bool magenta(const Rgb& c) { return c.r > 150 && c.b > 150 && c.g < 90; }
bool lit(const Rgb& c) { return c.r + c.g + c.b > 60; }

class MultiViewWindow : public WindowTest {
 protected:
  MultiViewWindow() : WindowTest("multi-view", kW, kH) {}
  void SetUp() override {
    WindowTest::SetUp();
    if (!ready()) return;
    multi = isViewerMulti::create();
    ASSERT_NE(multi, nullptr);
    scene->addChild(multi);
    multi->setContentSize(Size(kW, kH));
  }
  void TearDown() override {
    if (multi) multi->removeFromParent();
    WindowTest::TearDown();
  }
  static isViewerBrowser* browserOf(KeyViewProperty* cell) { return dynamic_cast<isViewerBrowser*>(cell->getViewer()); }
  static isViewerVR* volumeOf(KeyViewProperty* cell) { return dynamic_cast<isViewerVR*>(cell->getViewer()); }
  KeyViewProperty* lastCell() {
    KeyViewProperty* found = nullptr;
    for (auto& entry : multi->cells)
      for (KeyViewProperty* c : entry.second)
        if (!found || c->getRefID() > found->getRefID()) found = c;
    return found;
  }
  // Waits until a volume viewer shows the full-quality frame of its view.
  void waitForVolume(isViewerVR* viewer) {
    isActorVR* actor = viewer->getVolumeActor();
    ASSERT_NE(actor, nullptr);
    stepWindowFrames(1);
    const int w = static_cast<int>(viewer->getContentSize().width);
    EXPECT_TRUE(pumpUntil([&] {
      Texture2D* t = actor->getSprite()->getTexture();
      return actor->getSprite()->isVisible() && t && t->getPixelsWide() == w && !viewer->getSceneCamera()->changed &&
             isActorVR::isThreadIdle(actor->getThreadRT()) && isActorVR::isThreadIdle(actor->getThreadBest());
    }));
  }
  static std::vector<int> slicesOf(isViewerBrowser* cell) {
    std::vector<int> out;
    for (isViewerImage* v : cell->getImageViewers()) out.push_back(v->imageActor->getSliceIndex());
    return out;
  }

  isViewerMulti* multi = nullptr;
};

TEST_F(MultiViewWindow, TwoByTwoCellWithItsFocusMarkBeforeAndAfterPlay) {
  if (!ready()) return;
  multi->addView(VIEW_KIND_AXIAL, true, Rect(0, 0, kW, kH), image);
  isViewerBrowser* cell = browserOf(multi->getFocusedCell());
  ASSERT_NE(cell, nullptr);
  cell->handleNotification(NOTIFY_LAYOUT_2X2, nullptr, multi);
  const auto& v = cell->getImageViewers();
  ASSERT_EQ(v.size(), 4);
  for (isViewerImage* viewer : v) viewer->imageActor->setWindow(400, 40);
  // The top right viewer takes the focus.
  cell->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, v.at(1));
  ASSERT_EQ(cell->getCurrentViewer(), v.at(1));
  const int first = v.at(0)->imageActor->getSliceIndex();
  EXPECT_EQ(slicesOf(cell), (std::vector<int>{first, first + 1, first + 2, first + 3}));

  Shot before = capture("multi_view_cell_2x2_before.png");
  auto rectOf = [&](int n) { return Rect(v.at(n)->getPosition(), v.at(n)->getContentSize()); };
  EXPECT_GT(countIn(before, rectOf(1), magenta), 400) << "focus mark on the current viewer";
  for (int n : {0, 2, 3}) EXPECT_LT(countIn(before, rectOf(n), magenta), 20) << "no mark on viewer " << n;
  for (int n = 0; n < 4; ++n) EXPECT_GT(countIn(before, rectOf(n), lit), 20000) << "the phantom in viewer " << n;
  // The gaps between the viewers show the clear colour.
  EXPECT_TRUE(near(before.at(500, 600), kClear, 2));
  EXPECT_TRUE(near(before.at(250, 400), kClear, 2));

  // Play for 400 frames of 1/60 s at the default speed: the first step at
  // 0.1 s, then one step a second.
  cell->handleNotification(NOTIFY_PLAY_TOGGLE, nullptr, multi);
  ASSERT_TRUE(cell->playing);
  for (int f = 0; f < 400; ++f) Director::getInstance()->stepFrame(1.0f / 60.0f);
  cell->handleNotification(NOTIFY_PLAY_TOGGLE, nullptr, multi);
  EXPECT_EQ(cell->firstSliceIndex, first + 7);
  EXPECT_EQ(slicesOf(cell), (std::vector<int>{first + 7, first + 8, first + 9, first + 10}));
  Shot after = capture("multi_view_cell_2x2_after_play.png");
  EXPECT_GT(countIn(after, rectOf(1), magenta), 400) << "the mark stays while playing";

  // A click into the bottom left viewer: its tool asks for the focus, the
  // viewer passes the request to the cell, and the mark moves there.
  const Uint32 windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
  pushButton(windowId, SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 250, kH - 200);
  stepWindowFrames(2);
  pushButton(windowId, SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 250, kH - 200);
  stepWindowFrames(4);
  EXPECT_EQ(cell->getCurrentViewer(), v.at(2));
  Shot clicked = capture("multi_view_cell_2x2_focus_moved.png");
  EXPECT_GT(countIn(clicked, rectOf(2), magenta), 400) << "the mark on the clicked viewer";
  EXPECT_LT(countIn(clicked, rectOf(1), magenta), 20) << "and gone from the former one";
}

TEST_F(MultiViewWindow, Mpr3dQuartersByHand) {
  if (!ready()) return;
  // The "mpr3d" rectangles of a 1000 × 800 view.
  const float w = 498, h = 398;
  const Rect axial(0, kH - h, w, h), coronal(kW - w, kH - h, w, h), vr(kW - w, 0, w, h), sagittal(0, 0, w, h);
  multi->addView(VIEW_KIND_AXIAL, true, axial, image);
  multi->addView(VIEW_KIND_CORONAL, true, coronal, image);
  multi->addView(VIEW_KIND_VR, true, vr, image);
  KeyViewProperty* volumeCell = lastCell();
  volumeOf(volumeCell)->setWindow(1100.0f, 1550.0f);
  multi->addView(VIEW_KIND_SAGITTAL, true, sagittal, image);
  EXPECT_EQ(multi->getCellCount(), 4);
  EXPECT_EQ(multi->getCreatedViewerCount(), 4);
  EXPECT_EQ(multi->getFocusedViewKind(), VIEW_KIND_AXIAL);
  waitForVolume(volumeOf(volumeCell));
  Shot shot = capture("multi_view_mpr3d.png");
  for (const Rect& r : {axial, coronal, vr, sagittal})
    EXPECT_GT(countIn(shot, r, lit), 1000) << "content in the quarter at " << r.origin.x << "," << r.origin.y;
  // The cross of gaps between the quarters shows the clear colour.
  EXPECT_TRUE(near(shot.at(500, 200), kClear, 2));
  EXPECT_TRUE(near(shot.at(500, 600), kClear, 2));
  EXPECT_TRUE(near(shot.at(250, 400), kClear, 2));
  EXPECT_TRUE(near(shot.at(750, 400), kClear, 2));

  Rect focused;
  ASSERT_TRUE(multi->getFocusedViewRect(focused));
  EXPECT_EQ(focused, axial);

  // Wheel notches over the axial cell step it through the multi-view, and
  // the linked coronal and sagittal cells' focal points follow it.
  const Uint32 windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
  isViewerBrowser* axialCell = browserOf(multi->getFocusedCell());
  isViewerImage* axialViewer = axialCell->getCurrentViewer();
  ASSERT_NE(axialViewer, nullptr);
  const int sliceBefore = axialViewer->imageActor->getSliceIndex();
  auto focalZ = [](isViewerImage* v) { return v->planeFrame.m[14]; };
  isViewerImage* coronalViewer = nullptr;
  for (auto& entry : multi->cells)
    for (KeyViewProperty* c : entry.second)
      if (c->getViewKind() == VIEW_KIND_CORONAL) coronalViewer = browserOf(c)->getCurrentViewer();
  ASSERT_NE(coronalViewer, nullptr);
  SDL_WarpMouseInWindow(SDL_GL_GetCurrentWindow(), static_cast<int>(axial.getMidX()),
                        static_cast<int>(kH - axial.getMidY()));
  stepWindowFrames(2);
  for (int notch = 0; notch < 3; ++notch) {
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.windowID = windowId;
    wheel.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    wheel.wheel.y = 1;
    ASSERT_EQ(SDL_PushEvent(&wheel), 1);
    stepWindowFrames(1);
  }
  EXPECT_TRUE(pumpUntil([&] { return axialViewer->imageActor->getSliceIndex() == sliceBefore + 3; }));
  EXPECT_TRUE(pumpUntil([&] { return std::fabs(focalZ(coronalViewer) - focalZ(axialViewer)) < 1e-3f; }))
      << "coronal focal z " << focalZ(coronalViewer) << ", axial " << focalZ(axialViewer);
  capture("multi_view_mpr3d_wheel.png");

  // The rotate tool handed to the volume cell: a left drag across it turns
  // the camera about the volume.
  isViewerVR* volume = volumeOf(volumeCell);
  const CameraState turnedFrom = volume->getCameraState();
  multi->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, volume);
  stepWindowFrames(2);
  multi->handleCommand(NOTIFY_TOOL_ROTATE, nullptr);
  const int vx = static_cast<int>(vr.getMidX()), vy = static_cast<int>(kH - vr.getMidY());
  viewtest::pushButton(windowId, SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, vx, vy);
  stepWindowFrames(1);
  for (int i = 1; i <= 6; ++i) {
    viewtest::pushMotion(windowId, vx + 10 * i, vy, 10, 0, SDL_BUTTON_LMASK);
    stepWindowFrames(1);
  }
  viewtest::pushButton(windowId, SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, vx + 60, vy);
  stepWindowFrames(2);
  const CameraState turnedTo = volume->getCameraState();
  EXPECT_LT(turnedFrom.viewDirection.dot(turnedTo.viewDirection), 0.99f) << "the view direction turned";
  EXPECT_NEAR(turnedFrom.target.distance(turnedTo.target), 0.0f, 1e-3f) << "about the same target";
  waitForVolume(volume);
  capture("multi_view_mpr3d_turned.png");
  multi->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, axialCell);
  stepWindowFrames(2);

  // The screen's maximise button for the sagittal window: it fills the
  // multi-view, the others step aside; the same post puts everything back.
  KeyViewProperty* sagittalCell = lastCell();
  isViewerImage* sagittalViewer = browserOf(sagittalCell)->getCurrentViewer();
  ASSERT_NE(sagittalViewer, nullptr);
  // The post is delivered on the centre's own tick, which real-time frames
  // may reach only after several of them: frames until the window changes.
  auto maximise = [&] {
    const Size before = sagittalViewer->getContentSize();
    auto* data = new NSUI::NSNotificationData();
    data->taskValue = static_cast<int>(sagittalViewer->getRefID());
    data->text = R"({"x":"0","y":"0","w":"1000","h":"800"})";
    NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, NOTIFY_CELL_MAXIMISE, data, nullptr, false);
    data->release();
    for (int i = 0; i < 240 && sagittalViewer->getContentSize().equals(before); ++i) stepWindowFrames(1);
    stepWindowFrames(3);
  };
  maximise();
  EXPECT_EQ(sagittalViewer->getContentSize(), Size(kW, kH));
  EXPECT_EQ(sagittalViewer->convertToWorldSpace(Vec2::ZERO), Vec2::ZERO);
  shot = capture("multi_view_mpr3d_sagittal_maximised.png");
  // No gaps any more: the sagittal image runs across the middle.
  EXPECT_FALSE(near(shot.at(500, 400), kClear, 2));
  EXPECT_GT(countIn(shot, Rect(kW - w, kH - h, w, h), lit), 1000) << "the sagittal body in the top right";
  maximise();
  EXPECT_EQ(sagittalViewer->getContentSize(), Size(w, h));
  shot = capture("multi_view_mpr3d_restored.png");
  EXPECT_TRUE(near(shot.at(500, 200), kClear, 2));
  EXPECT_TRUE(near(shot.at(250, 400), kClear, 2));
  for (const Rect& r : {axial, coronal, sagittal})
    EXPECT_GT(countIn(shot, r, lit), 1000) << "content in the quarter at " << r.origin.x << "," << r.origin.y;
}

TEST_F(MultiViewWindow, DynamicPetInAVolumeCellAtTwoPhases) {
  if (!ready()) return;
  dcmfixtures::Pet4d p;
  const std::string folder = seriestest::seriesFolder("multi/pt_4d");
  ASSERT_EQ(dcmfixtures::write4dPet(folder, p).files.size(), 20u * 64u);
  isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  auto* reader = isBinReader::create();
  ASSERT_TRUE(reader->setFileName(folder, isDcmScan::getCacheFileName(folder)));
  isImageData* pet = reader->getOutputImage();
  pet->update();
  ASSERT_TRUE(pumpUntil([&] { return reader->isLoadComplete(); }));
  pet->splitFrames();
  ASSERT_TRUE(pet->isMultiFrame());

  const Rect rect(250, 150, 500, 500);
  multi->addView(VIEW_KIND_VR, true, rect, pet);
  isViewerVR* viewer = volumeOf(multi->getFocusedCell());
  ASSERT_NE(viewer, nullptr);
  multi->setWindowLevel(1400.0f, 700.0f);
  float width = 0, level = 0;
  ASSERT_TRUE(multi->getFocusedWindowLevel(width, level));
  EXPECT_FLOAT_EQ(width, 1400.0f);
  auto dark = [](const Rgb& c) { return c.r < 110 && c.g < 110 && c.b < 110; };
  float centreX[2] = {0, 0};
  const int phases[2] = {0, 10};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(phases[i]);
    multi->setPhase(phases[i]);
    EXPECT_EQ(pet->getFirstFrame()->currentFrame, phases[i]);
    waitForVolume(viewer);
    Shot shot = capture("multi_view_pet_phase_" + std::to_string(phases[i]) + ".png");
    // The inverted ramp: white where no ray meets the body.
    EXPECT_TRUE(near(shot.at(255, 155), Rgb{255, 255, 255}, 2));
    int n = 0;
    double sx = 0;
    for (int y = 150; y < 650; ++y)
      for (int x = 250; x < 750; ++x)
        if (dark(shot.at(x, y))) {
          ++n;
          sx += x;
        }
    ASSERT_GT(n, 20) << "the hot sphere";
    centreX[i] = static_cast<float>(sx / n);
  }
  // From the front the sphere of phase 0 lies on the patient's right (the
  // left of the picture); by phase 10 it has moved toward the middle.
  EXPECT_LT(centreX[0], 450.0f);
  EXPECT_GT(centreX[1], centreX[0] + 40.0f);
  multi->removeAllViews();
  reader->release();
}

TEST_F(MultiViewWindow, PhantomAsAMaximumIntensityCell) {
  if (!ready()) return;
  const Rect rect(200, 100, 600, 600);
  multi->addView(VIEW_KIND_MIP, true, rect, image);
  KeyViewProperty* cell = multi->getFocusedCell();
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(multi->getFocusedViewKind(), VIEW_KIND_MIP);
  isViewerVR* viewer = volumeOf(cell);
  ASSERT_NE(viewer, nullptr);
  // Through the focused cell: water and soft tissue transparent, the bone
  // and dense spheres bright.
  multi->setWindowLevel(1100.0f, 1550.0f);
  waitForVolume(viewer);
  Shot shot = capture("multi_view_kind6_phantom.png");
  auto bright = [](const Rgb& c) { return c.r > 120; };
  EXPECT_GT(countIn(shot, rect, bright), 1000) << "the spheres rendered";
  EXPECT_LT(countIn(shot, rect, bright), 60000) << "the body transparent";
  EXPECT_TRUE(near(shot.at(100, 50), kClear, 2)) << "the clear colour around the cell";
}

}  // namespace

int main(int argc, char** argv) { return runWindowTests(argc, argv); }
