// Measurements drawn on the CT phantom in a real window with left-button
// SDL events: a line, an angle, a circle, a point, a closed polygon and an
// open one whose closing edge is stippled, and a dragged label with its
// number marker. The frame is probed for the line width, the handle size
// and the stipple, and saved as measurements.png.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/view/isActorROI.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/core/isROIManager.h"
#include "view_gl_support.h"

USING_NS_CC;
using namespace viewtest;
using namespace isImageSDK;

namespace {

constexpr int kW = 640, kH = 640;

bool isGreen(const Rgb& c) { return c.g > 200 && c.r < 60 && c.b < 60; }
bool isRed(const Rgb& c) { return c.r > 200 && c.g < 60 && c.b < 60; }

class Measurements : public WindowTest {
 protected:
  Measurements() : WindowTest("measurements", kW, kH, Color4F(0.1f, 0.1f, 0.1f, 1)) {}
  void SetUp() override {
    WindowTest::SetUp();
    if (!ready()) return;
    TestWindow* w = addWindow(Size(kW, kH), Vec2(0, 0));
    actors[0]->setWindow(400, 40);
    tool = isInteractorImage::create();
    tool->setTarget(w);
    tool->setClock([this] { return clockMs; });
    w->setInteractor(tool);
    windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    stepWindowFrames(2);
  }
  void TearDown() override {
    for (TestWindow* w : windows) w->setInteractor(nullptr);
    isROIManager::destroyInstance();
    WindowTest::TearDown();
  }
  // Window points (y up) of pixel (i, j) of the slice, as SDL coordinates.
  int sx(float i, float j) const { return static_cast<int>(screenOf(0, i, j).x + 0.5f); }
  int sy(float i, float j) const { return kH - static_cast<int>(screenOf(0, i, j).y + 0.5f); }
  void button(Uint32 type, int x, int y) { pushButton(windowId, type, SDL_BUTTON_LEFT, x, y); }
  void drag(float i0, float j0, float i1, float j1) { dragSdl(sx(i0, j0), sy(i0, j0), sx(i1, j1), sy(i1, j1)); }
  void dragSdl(int x0, int y0, int x1, int y1) {
    button(SDL_MOUSEBUTTONDOWN, x0, y0);
    stepWindowFrames(1);
    clockMs += 300;
    const int n = 4;
    for (int k = 1; k <= n; ++k) {
      pushMotion(windowId, x0 + (x1 - x0) * k / n, y0 + (y1 - y0) * k / n, (x1 - x0) / n, (y1 - y0) / n,
                 SDL_BUTTON_LMASK);
      stepWindowFrames(1);
    }
    button(SDL_MOUSEBUTTONUP, x1, y1);
    stepWindowFrames(2);
    clockMs += 1000;
  }
  void click(float i, float j) {
    button(SDL_MOUSEBUTTONDOWN, sx(i, j), sy(i, j));
    stepWindowFrames(1);
    clockMs += 20;
    button(SDL_MOUSEBUTTONUP, sx(i, j), sy(i, j));
    stepWindowFrames(2);
    clockMs += 1000;
  }
  isActorROI* rois() { return windows[0]->getROIActor(); }

  isInteractorImage* tool = nullptr;
  Uint32 windowId = 0;
  int64_t clockMs = 1'000'000;
};

TEST_F(Measurements, FiveKindsWithLabelsHandlesStippleAndAMovedLabel) {
  tool->setToolMode(TOOL_MODE_ROI_LINE);
  drag(40, 60, 110, 60);  // 70 pixels of 0.7 mm: 49.0 mm
  ASSERT_EQ(rois()->getROIActors().size(), 1u);
  isActorROIBase* line = rois()->getROIActors()[0];
  ASSERT_NE(line->getLabel(), nullptr);
  EXPECT_EQ(line->getLabel()->getString(), "49.0mm");

  tool->setToolMode(TOOL_MODE_ROI_ANGLE);
  drag(150, 60, 210, 60);
  click(170, 20);
  tool->setToolMode(TOOL_MODE_ROI_CIRCLE);
  drag(128, 120, 148, 120);
  tool->setToolMode(TOOL_MODE_ROI_POINT);
  click(128, 175);
  tool->setToolMode(TOOL_MODE_ROI_POLYGON);
  drag(40, 150, 90, 150);
  click(95, 205);
  click(40, 215);
  tool->setToolMode(TOOL_MODE_ROI_POLYGON);  // closes it
  // The open one: its closing edge from (160, 232) to (240, 232) stays
  // stippled, the vertex being placed selected.
  drag(160, 232, 200, 190);
  click(240, 232);
  ASSERT_EQ(rois()->getROIActors().size(), 6u);

  // The line's label, dragged up and to the right.
  const Vec2 grab = line->getLabel()->convertToWorldSpace(Vec2(line->getLabel()->getContentSize()) * 0.5f);
  dragSdl(static_cast<int>(grab.x), kH - static_cast<int>(grab.y), static_cast<int>(grab.x) + 40,
          kH - static_cast<int>(grab.y) - 70);
  EXPECT_EQ(rois()->getROIActors().size(), 6u);
  stepWindowFrames(40);  // the statistics answers, one request per frame
  EXPECT_EQ(line->getLabel()->getString(), "1. 49.0mm");
  ASSERT_NE(line->getNumberLabel(), nullptr);
  EXPECT_EQ(line->getNumberLabel()->getString(), "1 ");
  EXPECT_EQ(rois()->getROIActors()[1]->getLabel()->getString(), "63.4deg");
  EXPECT_EQ(rois()->getROIActors()[3]->getLabel()->getString().substr(0, 6), "Value:");
  EXPECT_EQ(rois()->getROIActors()[2]->getLabel()->getString().substr(0, 5), "Area:");

  Shot shot = capture("measurements.png");

  // Lines are 4 pixels wide: a column through the middle of the line.
  {
    const Vec2 mid = screenOf(0, 75, 60);
    int n = 0;
    for (int y = static_cast<int>(mid.y) - 10; y <= static_cast<int>(mid.y) + 10; ++y)
      n += isGreen(shot.at(static_cast<int>(mid.x), y));
    EXPECT_EQ(n, 4);
  }
  // Handles are 10 pixels: the red one on the vertex being placed, probed
  // on a row and a column clear of the edges that end there (lines are
  // drawn after the handles).
  {
    const Vec2 c = screenOf(0, 240, 232);
    int across = 0, down = 0;
    for (int d = -12; d <= 12; ++d) {
      across += isRed(shot.at(static_cast<int>(c.x) + d, static_cast<int>(c.y) - 3));
      down += isRed(shot.at(static_cast<int>(c.x) + 3, static_cast<int>(c.y) + d));
    }
    EXPECT_EQ(across, 10);
    EXPECT_EQ(down, 10);
  }
  // The stipple: runs of 2 pixels on and 2 off along the open edge.
  {
    const Vec2 a = screenOf(0, 160, 232), b = screenOf(0, 240, 232);
    const int y = static_cast<int>(a.y);
    std::vector<int> runs;
    bool on = isGreen(shot.at(static_cast<int>(a.x) + 12, y));
    int length = 0;
    for (int x = static_cast<int>(a.x) + 12; x < static_cast<int>(b.x) - 12; ++x) {
      const bool g = isGreen(shot.at(x, y)) || isGreen(shot.at(x, y + 1));
      if (g == on) {
        ++length;
      } else {
        runs.push_back(length);
        on = g;
        length = 1;
      }
    }
    ASSERT_GE(runs.size(), 6u);
    for (size_t i = 1; i < runs.size(); ++i) EXPECT_EQ(runs[i], 2) << "run " << i;
  }
}

// A pan moves labels with the view but leaves the line's GL buffer as it
// was: its vertices are world points, rebuilt the same. Moving a
// point changes them, and the next frame uploads again.
TEST_F(Measurements, PanKeepsShapeBuffersAndMovesLabels) {
  tool->setToolMode(TOOL_MODE_ROI_LINE);
  drag(40, 60, 110, 60);
  stepWindowFrames(2);
  ASSERT_EQ(rois()->getROIActors().size(), 1u);
  auto* line = dynamic_cast<isActorROILine*>(rois()->getROIActors()[0]);
  ASSERT_NE(line, nullptr);
  const int lineUploads = line->getDrawNode()->getUploadCount();
  EXPECT_GT(lineUploads, 0);
  const Vec2 labelBefore = line->getLabel()->getPosition();
  const float before = screenOf(0, 75, 60).x;

  const Vec3 target = windows[0]->getCameraTarget();
  for (int k = 1; k <= 5; ++k) {
    windows[0]->setCameraTarget(target + Vec3(2.0f * static_cast<float>(k), 0, 0));
    stepWindowFrames(1);
  }
  stepWindowFrames(1);
  EXPECT_EQ(line->getDrawNode()->getUploadCount(), lineUploads);
  const float shift = screenOf(0, 75, 60).x - before;
  EXPECT_LT(shift, -5.0f);
  EXPECT_NEAR(line->getLabel()->getPosition().x - labelBefore.x, shift, 1.0f);
  // The line is drawn where the pan put it.
  {
    Shot shot = capture("measurements_pan.png");
    const Vec2 mid = screenOf(0, 75, 60);
    int n = 0;
    for (int y = static_cast<int>(mid.y) - 10; y <= static_cast<int>(mid.y) + 10; ++y)
      n += isGreen(shot.at(static_cast<int>(mid.x), y));
    EXPECT_EQ(n, 4);
  }

  const SliceRecord* r = actors[0]->getOutputSliceInfo();
  line->selectedPoint = 1;
  line->moveSelectedPoint(r->matrix.transformPoint(Vec3(120 * r->spacingX, 60 * r->spacingY, 0)));
  line->selectedPoint = -1;
  stepWindowFrames(2);
  EXPECT_GT(line->getDrawNode()->getUploadCount(), lineUploads);
  EXPECT_EQ(line->getLabel()->getString().substr(0, 3), "56.");  // about 80 pixels of 0.7 mm
}

}  // namespace

int main(int argc, char** argv) { return viewtest::runWindowTests(argc, argv); }
