// Render windows in a real window: four windows side by side on the CT
// phantom with lung and soft-tissue windows, a warm colour table on the log
// curve, sagittal slab and slice, an oblique plane in inverted grey and the
// covering background; probe pixels checked, screenshots written to the
// build folder. Then SDL events drag, zoom and scroll a window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "view_gl_support.h"

USING_NS_CC;
using namespace viewtest;

namespace {

constexpr int kW = 960, kH = 600;
const Color4F kClear(60 / 255.f, 0.f, 60 / 255.f, 1.f);

class ViewWindows : public WindowTest {
 protected:
  ViewWindows() : WindowTest("view windows", kW, kH, kClear) {}
  void SetUp() override {
    WindowTest::SetUp();
    if (!ready()) return;
    // Four windows of 476 × 296 with a 4-point gap of the clear colour.
    for (Vec2 origin : {Vec2(0, 304), Vec2(484, 304), Vec2(0, 0), Vec2(484, 0)}) addWindow(Size(476, 296), origin);
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }

  // Pixel (i, j) of the slice a window shows, as mapped by its table.
  Rgb mapped(int w, int i, int j) {
    isImageSDK::SliceRecord* r = actors[w]->getOutputSlice();
    const int16_t v = static_cast<const int16_t*>(r->pixels)[j * r->width + i];
    isImageSDK::isClut* clut = actors[w]->getClut();
    clut->updateLookupTable();
    const uint32_t c = clut->colorTable[clut->mapInteger(v)];
    return {static_cast<int>(c >> 24), static_cast<int>((c >> 16) & 255), static_cast<int>((c >> 8) & 255)};
  }
};

// Phantom landmarks of the middle axial slice (slice 100, fz ≈ 0.50).
constexpr int kWaterI = 128, kWaterJ = 150;  // water 40 HU
constexpr int kBoneI = 77, kBoneJ = 102;     // bone sphere 1200 HU
constexpr int kAirI = 5, kAirJ = 5;          // air -1000 HU

TEST_F(ViewWindows, WindowsColourTablesAndPlanes) {
  // (a) lung, (b) soft tissue, (c) a warm table on the log curve, (d) the
  // soft-tissue window zoomed far in so the slice overflows the window.
  actors[0]->setWindow(1500, -600);
  actors[1]->setWindow(400, 40);
  actors[2]->setWindow(400, 40);
  uint8_t warm[768];
  for (int i = 0; i < 256; ++i) {
    warm[3 * i] = static_cast<uint8_t>(std::min(255, 3 * i));
    warm[3 * i + 1] = static_cast<uint8_t>(std::clamp(3 * i - 255, 0, 255));
    warm[3 * i + 2] = static_cast<uint8_t>(std::clamp(3 * i - 510, 0, 255));
  }
  actors[2]->setColorTable(warm);
  actors[2]->setClutMode(isImageSDK::CLUT_MODE_LOG);
  actors[3]->setWindow(400, 40);
  windows[3]->setZoomRatio(10.0f);
  const Shot shot = capture("view_windows_axial.png");

  struct Probe {
    int window, i, j;
    Rgb expected;
  };
  const Probe probes[] = {
      {0, kWaterI, kWaterJ, greyOf(236)}, {0, kAirI, kAirJ, greyOf(59)}, {0, kBoneI, kBoneJ, greyOf(255)},
      {1, kWaterI, kWaterJ, greyOf(127)}, {1, kAirI, kAirJ, greyOf(0)},  {1, kBoneI, kBoneJ, greyOf(255)},
  };
  for (const Probe& p : probes) {
    EXPECT_TRUE(near(shot.at(screenOf(p.window, p.i, p.j)), p.expected)) << "window " << p.window << " " << p.i << "," << p.j;
    EXPECT_TRUE(near(mapped(p.window, p.i, p.j), p.expected)) << "window " << p.window;
  }
  for (auto [i, j] : {std::pair{kWaterI, kWaterJ}, std::pair{kAirI, kAirJ}, std::pair{kBoneI, kBoneJ}})
    EXPECT_TRUE(near(shot.at(screenOf(2, i, j)), mapped(2, i, j))) << "warm " << i << "," << j;
  // Water on the log curve: grey 188 in the warm table.
  EXPECT_TRUE(near(mapped(2, kWaterI, kWaterJ), Rgb{255, 255, 54}, 3));

  // Anatomy where a radiologist expects it: the bone sphere lies to the
  // patient's right (screen left) and anterior (screen up) of the centre.
  const Vec2 centre = screenOf(1, 128, 128), bone = screenOf(1, kBoneI, kBoneJ);
  EXPECT_LT(bone.x, centre.x);
  EXPECT_GT(bone.y, centre.y);

  // Content stays inside each window: the gaps keep the clear colour.
  const Rgb clear{60, 0, 60};
  for (int x = 0; x < kW; x += 7) {
    EXPECT_TRUE(near(shot.at(x, 300), clear)) << x;
    EXPECT_TRUE(near(shot.at(x, 302), clear)) << x;
  }
  for (int y = 0; y < kH; y += 7) EXPECT_TRUE(near(shot.at(479, y), clear)) << y;
}

TEST_F(ViewWindows, TexelCentresLieOnPixelCentres) {
  // Ten screen pixels per slice pixel around the bone sphere's left edge:
  // the drawn texel centred on each pixel's world position is that pixel.
  actors[0]->setWindow(400, 40);
  const int edge = 46;  // the bone sphere's left edge on row kBoneJ
  windows[0]->centerOn(actors[0]->getOutputSliceInfo()->matrix.transformPoint(Vec3(edge * 0.7f, kBoneJ * 0.7f, 0)));
  windows[0]->setZoom(0.7f / 40.0f);
  const Shot shot = capture("view_windows_texels.png");
  int checked = 0, transitions = 0;
  for (int i = edge - 5; i <= edge + 5; ++i) {
    const Vec2 p = screenOf(0, i, kBoneJ);
    if (p.x < 2 || p.x > 474 || p.y < 306 || p.y > 598) continue;
    EXPECT_TRUE(near(shot.at(p), mapped(0, i, kBoneJ), 2)) << "pixel " << i;
    transitions += mapped(0, i, kBoneJ).r != mapped(0, i - 1, kBoneJ).r;
    ++checked;
  }
  EXPECT_GE(checked, 9);
  EXPECT_GE(transitions, 1);  // the probes straddle the edge
  EXPECT_GE(checked, 6);
}

TEST_F(ViewWindows, SagittalSlabObliqueInvertedAndCovered) {
  // (0) sagittal 1 mm slice and (1) 20 mm maximum slab near the bone
  // sphere's edge, (2) an oblique plane in inverted grey, (3) focused and
  // covered.
  for (int w : {0, 1}) {
    actors[w]->showSagittalPlane();
    actors[w]->setSliceIndex(140);
    actors[w]->setWindow(400, 40);
    windows[w]->lookAnatomical(1);
  }
  actors[0]->setSlabThickness(1.0f);
  actors[1]->setSlabThickness(20.0f);
  // A plane through the volume centre, tilted 0.5 rad about the rows.
  Mat4 tilt, centre;
  Mat4::createRotationX(0.5f, &tilt);
  Mat4::createTranslation(127.5f * 0.7f, 127.5f * 0.7f, 99.5f * 1.25f, &centre);
  actors[2]->setResliceMatrix(image->worldMatrix * centre * tilt);
  actors[2]->setWindow(400, 40);
  uint8_t inverted[768];
  for (int i = 0; i < 256; ++i) inverted[3 * i] = inverted[3 * i + 1] = inverted[3 * i + 2] = static_cast<uint8_t>(255 - i);
  actors[2]->setColorTable(inverted);
  windows[2]->lookAtSlice();
  windows[3]->setFocused(true);
  windows[3]->setVisible(false);
  Recorder letters;
  letters.listen({NOTIFY_OVERLAY_EDGE_LETTERS}, windows[0]);
  windows[0]->lookAnatomical(1);
  const Shot shot = capture("view_windows_sagittal.png");
  Director::getInstance()->stepFrame();
  ASSERT_FALSE(letters.got.empty());
  const auto& l = letters.got.back();
  EXPECT_EQ(letters.json(l, "t") + letters.json(l, "r") + letters.json(l, "b") + letters.json(l, "l"), "SPIA");

  // The sphere centre (y 0.40, z 0.50): bone in the slab, water in the slice.
  const isImageSDK::SliceRecord* r = actors[0]->getOutputSliceInfo();
  ASSERT_EQ(r->width, 200);
  ASSERT_EQ(r->height, 256);
  const int i = 100, j = 102;  // column along z, row along y
  EXPECT_TRUE(near(shot.at(screenOf(0, i, j)), greyOf(127)));
  EXPECT_TRUE(near(shot.at(screenOf(1, i, j)), greyOf(255)));
  EXPECT_EQ(actors[1]->getPlane()->slabSampleCount, 2 * int(20.0f / 1.4f) + 1);
  // Superior is up in the sagittal view.
  EXPECT_GT(screenOf(0, 150, 128).y, screenOf(0, 50, 128).y);

  // Inverted grey: air white, water 128.
  const isImageSDK::SliceRecord* o = actors[2]->getOutputSliceInfo();
  ASSERT_NE(o, nullptr);
  EXPECT_TRUE(near(shot.at(screenOf(2, 1, 1)), mapped(2, 1, 1)));
  EXPECT_TRUE(near(mapped(2, 1, 1), greyOf(255)));
  EXPECT_TRUE(near(shot.at(screenOf(2, o->width / 2, o->height / 2)), mapped(2, o->width / 2, o->height / 2)));
  // Covered: the focused white background lies over the whole window.
  for (auto [x, y] : {std::pair{486, 2}, std::pair{700, 150}, std::pair{958, 294}})
    EXPECT_TRUE(near(shot.at(x, y), greyOf(255))) << x << "," << y;
}

TEST_F(ViewWindows, BackgroundCoversAtTheZoomLimits) {
  for (int w = 0; w < 4; ++w) actors[w]->setWindow(400, 40);
  windows[0]->setZoomRatio(0.1f);
  windows[1]->setZoomRatio(10.0f);
  windows[2]->setFocused(true);
  windows[2]->setZoomRatio(0.1f);
  const Shot shot = capture("view_windows_zoom.png");
  // Window corners: black (or white when focused), never the clear colour.
  for (auto [x, y] : {std::pair{1, 305}, std::pair{474, 598}, std::pair{1, 598}, std::pair{474, 305}})
    EXPECT_TRUE(near(shot.at(x, y), greyOf(0))) << x << "," << y;
  for (auto [x, y] : {std::pair{1, 1}, std::pair{474, 294}})
    EXPECT_TRUE(near(shot.at(x, y), greyOf(255))) << x << "," << y;
  // Zoomed in: water fills the middle of the window.
  EXPECT_TRUE(near(shot.at(484 + 238, 304 + 148), mapped(1, 128, 128), 2));
}

TEST_F(ViewWindows, SdlDragsAndWheel) {
  for (int w = 0; w < 4; ++w) actors[w]->setWindow(400, 40);
  const Uint32 id = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
  auto push = [](SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1); };
  auto button = [&](Uint32 type, Uint8 b, int x, int y) { pushButton(id, type, b, x, y); };
  auto motion = [&](int x, int y, int dx, int dy, Uint32 state) { pushMotion(id, x, y, dx, dy, state); };
  auto step = [](int n) { stepWindowFrames(n); };
  // Window 3 (bottom right) spans SDL x 484..960, y 304..600 (top-left origin).
  const Vec2 before = screenOf(3, 128, 128);
  button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 700, 450);
  motion(720, 450, 20, 0, SDL_BUTTON_MMASK);
  motion(740, 430, 20, -20, SDL_BUTTON_MMASK);
  button(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, 740, 430);
  step(3);
  const Vec2 after = screenOf(3, 128, 128);
  EXPECT_NEAR(after.x - before.x, 40.0f, 0.5f);
  EXPECT_NEAR(after.y - before.y, 20.0f, 0.5f);  // SDL y grows downwards
  Shot shot = capture("view_windows_panned.png");
  EXPECT_TRUE(near(shot.at(screenOf(3, kBoneI, kBoneJ)), greyOf(255)));
  EXPECT_TRUE(near(shot.at(screenOf(3, kWaterI, kWaterJ)), greyOf(127)));

  // Right drag upwards zooms in twice by 1.05.
  const float ratio = windows[3]->getZoomRatio();
  button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 700, 450);
  motion(700, 440, 0, -10, SDL_BUTTON_RMASK);
  motion(700, 430, 0, -10, SDL_BUTTON_RMASK);
  button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 700, 430);
  step(3);
  EXPECT_NEAR(windows[3]->getZoomRatio() / ratio, 1.05f * 1.05f, 1e-3f);
  shot = capture("view_windows_zoomed.png");
  EXPECT_TRUE(near(shot.at(screenOf(3, kBoneI, kBoneJ)), greyOf(255)));

  // The wheel over window 3: 9001 away from the user, 9002 towards.
  windows[3]->commands.clear();
  SDL_WarpMouseInWindow(SDL_GL_GetCurrentWindow(), 700, 450);
  step(2);
  SDL_Event wheel{};
  wheel.type = SDL_MOUSEWHEEL;
  wheel.wheel.windowID = id;
  wheel.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  wheel.wheel.y = 1;
  push(wheel);
  wheel.wheel.y = -1;
  push(wheel);
  step(2);
  std::vector<unsigned> wheels;
  for (unsigned c : windows[3]->commands)
    if (c == NOTIFY_SLICE_NEXT || c == NOTIFY_SLICE_PREVIOUS) wheels.push_back(c);
  EXPECT_EQ(wheels, (std::vector<unsigned>{NOTIFY_SLICE_NEXT, NOTIFY_SLICE_PREVIOUS}));
}

}  // namespace

int main(int argc, char** argv) { return viewtest::runWindowTests(argc, argv); }
