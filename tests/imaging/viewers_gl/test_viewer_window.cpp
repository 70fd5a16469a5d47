// The 2-D image viewer in a real window: the CT phantom series written as
// DICOM, scanned and read by the cache reader, shown on its acquired,
// sagittal, coronal and oblique planes, with probe pixels on the spheres;
// a single image as acquired; the inverted ramps of PET and MONOCHROME1;
// the 4-D PET at two phases; and the mouse through SDL events.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cmath>
#include <string>

#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/series_fixtures.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/viewers/isViewerImage.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/phantoms.h"
#include "tools/vrdebug/phantom.h"
#include "imaging/view_gl/view_gl_support.h"
#include "viewer_support.h"

using namespace isImageSDK;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;
using viewtest::greyOf;
using viewtest::near;
using viewtest::Shot;

namespace {

constexpr int kWidth = 800, kHeight = 600;

// Grey of a Hounsfield value through the phantom's window 400 / 40.
int greyOfHu(int hu) {
  const float g = (hu - (40.0f - 200.0f)) / 400.0f * 255.0f;
  return static_cast<int>(std::lround(std::fmin(255.0f, std::fmax(0.0f, g))));
}

class ViewerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (viewtest::noScreen) GTEST_SKIP() << "no display and no Xvfb";
    cocos2d::FileUtils::getInstance()->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
    view = cocos2d::GLViewImpl::createWithRect("viewer", cocos2d::Rect(0, 0, kWidth, kHeight));
    ASSERT_NE(view, nullptr);
    cocos2d::Director* d = cocos2d::Director::getInstance();
    d->setOpenGLView(view);
    scene = cocos2d::Scene::create();
    d->runWithScene(scene);
    NSUI::NSNotificationCenter::getInstance();
    d->stepFrame(0.6f);
    windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
  }
  void TearDown() override {
    if (viewer) viewer->removeFromParent();
    if (reader) reader->release();
    if (!viewtest::noScreen) {
      cocos2d::Director::getInstance()->end();
      cocos2d::Director::destroyInstance();
    }
  }

  // Scans the folder and reads it with the cache reader until every pixel
  // is in.
  isImageData* read(const std::string& folder) {
    isDcmScan scan;
    EXPECT_TRUE(scan.createCache(folder));
    reader = isBinReader::create();
    EXPECT_TRUE(reader->setFileName(folder, isDcmScan::getCacheFileName(folder)));
    isImageData* image = reader->getOutputImage();
    image->update();
    EXPECT_TRUE(seriestest::pumpUntil([&] { return reader->isLoadComplete(); }));
    return image;
  }
  // The CT phantom of 500 slices of 256 × 256, head first supine.
  isImageData* readCtPhantom() {
    const std::string folder = seriestest::seriesFolder("ct500");
    const dcmfixtures::Series written = dcmfixtures::writeCtPhantom(folder, ct);
    EXPECT_EQ(written.files.size(), 500u);
    return read(folder);
  }

  isViewerImage* show(isImageData* data) {
    viewer = isViewerImage::create();
    scene->addChild(viewer);
    viewer->setPosition(Vec2(0, 0));
    viewer->setContentSize(Size(kWidth, kHeight));
    viewer->setImageData(data);
    viewer->notifyViewChanged();
    stepWindowFrames(3);
    return viewer;
  }
  static void stepWindowFrames(int n) { viewtest::stepWindowFrames(n); }
  Shot capture(const std::string& name) { return viewtest::captureFrame(name, kWidth, kHeight); }

  // Window point of a world point.
  Vec2 screen(const Vec3& world) const { return viewer->getPosition() + viewer->worldToScreen(world); }
  // World point of the centre of CT voxel (x, y, z) of the read volume.
  Vec3 worldOfVoxel(isImageData* image, int x, int y, int z) const {
    float s[3];
    image->getSpacing(s);
    return image->worldMatrix.transformPoint(Vec3(x * s[0], y * s[1], z * s[2]));
  }
  // The voxel of the read volume nearest a world point.
  dcmfixtures::Voxel voxelOfWorld(isImageData* image, const Vec3& world) const {
    float s[3];
    image->getSpacing(s);
    const Vec3 block = image->worldMatrix.getInversed().transformPoint(world);
    return {static_cast<int>(std::lround(block.x / s[0])), static_cast<int>(std::lround(block.y / s[1])),
            static_cast<int>(std::lround(block.z / s[2]))};
  }
  // The phantom's value when the voxel and its 26 neighbours agree; else
  // nothing to probe there (an edge, blurred by the interpolation).
  bool uniformHu(const dcmfixtures::Voxel& v, int* hu) const {
    if (v.x < 1 || v.y < 1 || v.z < 1 || v.x >= ct.width - 1 || v.y >= ct.height - 1 || v.z >= ct.slices - 1)
      return false;
    *hu = dcmfixtures::ctPhantomValue(ct, v.x, v.y, v.z);
    for (int dz = -1; dz <= 1; ++dz)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          if (dcmfixtures::ctPhantomValue(ct, v.x + dx, v.y + dy, v.z + dz) != *hu) return false;
    return true;
  }
  // Every 40th window point inside the shown slice whose voxel is uniform:
  // the pixel shows the grey of the voxel under it. The border band, where
  // the overlay writes its corner texts and edge letters, and the coloured
  // reference lines are left out.
  // Returns how many points were checked, and how many were bone.
  std::pair<int, int> probeEverywhere(isImageData* image, const Shot& shot, const char* what) {
    int checked = 0, bones = 0;
    for (int y = 60; y < kHeight - 50; y += 40)
      for (int x = 60; x < kWidth - 50; x += 40) {
        Vec3 world;
        if (!viewer->pickPoint(Vec2(x + 0.5f, y + 0.5f), &world)) continue;
        int hu = 0;
        if (!uniformHu(voxelOfWorld(image, world), &hu)) continue;
        // The reference lines cross the image in colour; the slice is grey.
        const auto c = shot.at(x, y);
        if (c.r != c.g || c.g != c.b) continue;
        ++checked;
        bones += hu >= 1200;
        EXPECT_TRUE(near(shot.at(x, y), greyOf(greyOfHu(hu)), 3)) << what << " at " << x << "," << y << " hu " << hu;
      }
    return {checked, bones};
  }

  dcmfixtures::CtPhantom ct;
  cocos2d::GLViewImpl* view = nullptr;
  cocos2d::Scene* scene = nullptr;
  isBinReader* reader = nullptr;
  isViewerImage* viewer = nullptr;
  Uint32 windowId = 0;
};

TEST_F(ViewerWindow, CtPhantomOnEachPlaneWithItsSpheresWhereTheyBelong) {
  isImageData* image = readCtPhantom();
  ASSERT_TRUE(image->isVolume());
  isViewerImage* v = show(image);
  ASSERT_EQ(v->viewKind, VIEW_KIND_AXIAL);

  struct Plane {
    const char* name;
    int sphere;       // a sphere the middle slice of the plane cuts
    bool left, up;    // where on the screen it must lie (up: above the middle)
    bool checkUp;     // whether it lies clearly above or below
  };
  // Axial: the bone sphere (patient's right, anterior) top left. Sagittal:
  // the dense bone (anterior, superior) top left. Coronal: the bone sphere
  // (patient's right) on the left, at mid height.
  const Plane planes[] = {{"axial", 0, true, true, true}, {"sagittal", 4, true, true, true},
                          {"coronal", 0, true, false, false}};
  for (int p = 0; p < 3; ++p) {
    SCOPED_TRACE(planes[p].name);
    if (p == 1) v->showPlane(1);
    if (p == 2) v->showCoronalView();
    EXPECT_EQ(v->viewKind, p + 1);
    stepWindowFrames(2);
    const Shot shot = capture(std::string("viewer_ct_") + planes[p].name + ".png");
    // The sphere's voxel moved onto the shown plane.
    dcmfixtures::Voxel s = dcmfixtures::ctPhantomSphereVoxel(ct, planes[p].sphere);
    if (p == 0) s.z = v->imageActor->getSliceIndex();
    if (p == 1) s.x = v->imageActor->getSliceIndex();
    if (p == 2) s.y = v->imageActor->getSliceIndex();
    const Vec2 at = screen(worldOfVoxel(image, s.x, s.y, s.z));
    EXPECT_TRUE(near(shot.at(at), greyOf(255), 3)) << at.x << "," << at.y;
    EXPECT_EQ(at.x < kWidth / 2, planes[p].left) << at.x;
    if (planes[p].checkUp) {
      EXPECT_EQ(at.y > kHeight / 2, planes[p].up) << at.y;
    }
    const auto [checked, bones] = probeEverywhere(image, shot, planes[p].name);
    EXPECT_GT(checked, 100);
    EXPECT_GT(bones, 0);
  }

  // An oblique plane: 30° about the axial plane's column direction.
  v->showPlane(0);
  v->rotateOblique(30.0f);
  EXPECT_EQ(v->viewKind, VIEW_KIND_OBLIQUE);
  stepWindowFrames(2);
  const Shot oblique = capture("viewer_ct_oblique30.png");
  const auto [checked, bones] = probeEverywhere(image, oblique, "oblique");
  EXPECT_GT(checked, 100);
  EXPECT_GT(bones, 0);
}

TEST_F(ViewerWindow, ShortAndFullOverlayOverTheAxialPlane) {
  isImageData* image = readCtPhantom();
  isViewerImage* v = show(image);
  for (bool full : {false, true}) {
    v->showFullInfo = full;
    if (v->getActorManager()) v->getActorManager()->removeOverlayActor();
    v->overlayDirty = true;
    stepWindowFrames(8);
    const Shot shot = capture(full ? "viewer_ct_overlay_full.png" : "viewer_ct_overlay_short.png");
    // The slice is still there under the texts.
    Vec3 centre;
    v->imageActor->getSliceCenter(&centre);
    EXPECT_TRUE(near(shot.at(screen(centre)), greyOf(greyOfHu(40)), 3));
  }
}

TEST_F(ViewerWindow, ASingleImageShowsAsAcquired) {
  // The middle of three phantom slices, alone in its series.
  ct.slices = 3;
  const std::string folder = seriestest::seriesFolder("ct1");
  const dcmfixtures::Series written = dcmfixtures::writeCtPhantom(folder, ct);
  ASSERT_EQ(written.files.size(), 3u);
  std::remove(written.files[0].c_str());
  std::remove(written.files[2].c_str());
  isImageData* image = read(folder);
  ASSERT_EQ(image->getSliceCount(), 1);
  ASSERT_FALSE(image->isVolume());
  isViewerImage* v = show(image);
  EXPECT_EQ(v->viewKind, VIEW_KIND_SLICE);
  stepWindowFrames(2);
  const Shot shot = capture("viewer_single_image.png");
  // The bone sphere's middle, on the screen's left half and upper half.
  const dcmfixtures::Voxel bone = dcmfixtures::ctPhantomSphereVoxel(ct, 0);
  const SliceRecord* r = v->imageActor->getOutputSliceInfo();
  const Vec2 at = screen(r->matrix.transformPoint(Vec3(bone.x * r->spacingX, bone.y * r->spacingY, 0)));
  EXPECT_TRUE(near(shot.at(at), greyOf(255), 3));
  EXPECT_LT(at.x, kWidth / 2);
  EXPECT_GT(at.y, kHeight / 2);
}

// A horizontal ramp 0 … 255 in one slice of the given kind.
isImageData* rampImage(int modality, int displayCode) {
  viewertest::LooseSlice l;
  const double row[3] = {1, 0, 0}, col[3] = {0, 1, 0}, pos[3] = {0, 0, 0};
  l.matrix = makeSliceMatrix(row, col, pos, 0, 0);
  l.width = 256;
  l.height = 64;
  l.modality = modality;
  l.displayCode = displayCode;
  isImageData* image = viewertest::makeLooseSlices({l});
  SliceRecord* s = image->slices[0];
  auto* px = static_cast<int16_t*>(s->pixels);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 256; ++x) px[y * 256 + x] = static_cast<int16_t>(x);
  s->windowWidth = 256.0f;
  s->windowCenter = 128.0f;
  return image;
}

TEST_F(ViewerWindow, PetAndMonochrome1ShowTheRampInverted) {
  struct Case {
    const char* name;
    int modality, displayCode;
    bool whiteBackground;
  };
  const Case cases[] = {{"pt", MODALITY_PT, DISPLAY_UNSIGNED, true},
                        {"monochrome1", MODALITY_DX, DISPLAY_UNSIGNED_INVERTED, false},
                        {"ct", MODALITY_CT, DISPLAY_UNSIGNED, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    isImageData* image = rampImage(c.modality, c.displayCode);
    isViewerImage* v = show(image);
    image->release();
    EXPECT_EQ(v->isFocused(), c.whiteBackground);
    stepWindowFrames(2);
    const Shot shot = capture(std::string("viewer_ramp_") + c.name + ".png");
    const SliceRecord* r = v->imageActor->getOutputSliceInfo();
    auto greyAt = [&](int column) {
      return shot.at(screen(r->matrix.transformPoint(Vec3(column * r->spacingX, 32 * r->spacingY, 0)))).r;
    };
    const bool inverted = c.modality != MODALITY_CT;
    // Low samples bright and high samples dark when inverted.
    EXPECT_EQ(greyAt(16) > greyAt(240), inverted) << greyAt(16) << " " << greyAt(240);
    EXPECT_GT(std::abs(greyAt(16) - greyAt(240)), 180);
    // The window corner shows the background.
    EXPECT_TRUE(near(shot.at(2, 2), greyOf(c.whiteBackground ? 255 : 0), 1));
    viewer->removeFromParent();
    viewer = nullptr;
  }
}

TEST_F(ViewerWindow, FourDimensionalPetAtTwoPhases) {
  dcmfixtures::Pet4d pet;
  const std::string folder = seriestest::seriesFolder("pt4d");
  dcmfixtures::write4dPet(folder, pet);
  isImageData* image = read(folder);
  image->splitFrames();
  ASSERT_TRUE(image->isMultiFrame());
  isViewerImage* v = show(image);
  for (int phase : {0, 10}) {
    SCOPED_TRACE(phase);
    v->imageActor->setFrameIndex(phase);
    // A window from nothing to the hottest sphere.
    v->imageActor->setWindow(1400.0f, 700.0f);
    const dcmfixtures::Voxel sphere = dcmfixtures::petSphereVoxel(pet, phase);
    v->goToSlice(sphere.z, false);
    stepWindowFrames(2);
    const Shot shot = capture("viewer_pt4d_phase" + std::to_string(phase) + ".png");
    const SliceRecord* r = v->imageActor->getOutputSliceInfo();
    auto greyOfVoxel = [&](const dcmfixtures::Voxel& p) {
      return shot.at(screen(r->matrix.transformPoint(Vec3(p.x * r->spacingX, p.y * r->spacingY, 0)))).r;
    };
    // The hot sphere of this phase is dark on the inverted table; the place
    // of the other phase's sphere shows the body.
    const dcmfixtures::Voxel other = dcmfixtures::petSphereVoxel(pet, phase == 0 ? 10 : 0);
    const dcmfixtures::Voxel body{other.x, other.y, sphere.z};
    EXPECT_LT(greyOfVoxel(sphere) + 40, greyOfVoxel(body)) << greyOfVoxel(sphere) << " " << greyOfVoxel(body);
  }
}

TEST_F(ViewerWindow, WheelWindowZoomAndPanFromTheMouse) {
  isImageData* image = readCtPhantom();
  isViewerImage* v = show(image);
  // Wheel notches step the slices, one per notch, onto the first slice of
  // the contrast sphere.
  const dcmfixtures::Voxel contrast = dcmfixtures::ctPhantomSphereVoxel(ct, 1);
  int edge = contrast.z;
  while (edge > 0 && dcmfixtures::ctPhantomValue(ct, contrast.x, contrast.y, edge - 1) == 300) --edge;
  v->goToSlice(edge - 2, false);
  viewtest::Recorder texts;
  texts.listen({NOTIFY_OVERLAY_SLICE_INDEX}, v);
  SDL_WarpMouseInWindow(SDL_GL_GetCurrentWindow(), 400, 300);
  stepWindowFrames(2);
  const Vec2 at = screen(worldOfVoxel(image, contrast.x, contrast.y, edge));
  Shot shot;
  for (int notch = 1; notch <= 2; ++notch) {
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.windowID = windowId;
    wheel.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    wheel.wheel.y = 1;
    ASSERT_EQ(SDL_PushEvent(&wheel), 1);
    stepWindowFrames(3);
    EXPECT_EQ(v->imageActor->getSliceIndex(), edge - 2 + notch);
    shot = capture("viewer_input_wheel" + std::to_string(notch) + ".png");
    // The sphere shows on its first slice, not one before.
    EXPECT_EQ(near(shot.at(at), greyOf(255), 3), notch == 2) << notch;
  }
  std::vector<std::string> indexes;
  for (const auto& r : texts.of(NOTIFY_OVERLAY_SLICE_INDEX)) indexes.push_back(texts.json(r, "index"));
  EXPECT_EQ(indexes, (std::vector<std::string>{std::to_string(edge), std::to_string(edge + 1)}));

  // Left drag with the window tool: narrower window, brighter water.
  Vec3 centre;
  v->imageActor->getSliceCenter(&centre);
  const int waterBefore = shot.at(screen(centre)).r;
  v->onNotification(NOTIFY_TOOL_WINDOW_BY_TOUCH, nullptr, nullptr);
  viewtest::pushButton(windowId, SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 400, 300);
  stepWindowFrames(1);
  for (int k = 1; k <= 4; ++k) {
    viewtest::pushMotion(windowId, 400 - 20 * k, 300 + 10 * k, -20, 10, SDL_BUTTON_LMASK);
    stepWindowFrames(1);
  }
  viewtest::pushButton(windowId, SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 320, 340);
  stepWindowFrames(4);
  shot = capture("viewer_input_window.png");
  EXPECT_NE(shot.at(screen(centre)).r, waterBefore);

  // Right drag upwards zooms in.
  const float ratio = v->getZoomRatio();
  viewtest::pushButton(windowId, SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 400, 300);
  viewtest::pushMotion(windowId, 400, 290, 0, -10, SDL_BUTTON_RMASK);
  viewtest::pushMotion(windowId, 400, 280, 0, -10, SDL_BUTTON_RMASK);
  viewtest::pushButton(windowId, SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 400, 280);
  stepWindowFrames(4);
  EXPECT_GT(v->getZoomRatio(), ratio * 1.05f);
  capture("viewer_input_zoom.png");

  // Middle drag pans: the slice centre follows the pointer.
  const Vec2 before = screen(centre);
  viewtest::pushButton(windowId, SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 400, 300);
  viewtest::pushMotion(windowId, 440, 300, 40, 0, SDL_BUTTON_MMASK);
  viewtest::pushMotion(windowId, 440, 280, 0, -20, SDL_BUTTON_MMASK);
  viewtest::pushButton(windowId, SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, 440, 280);
  stepWindowFrames(4);
  const Vec2 after = screen(centre);
  EXPECT_NEAR(after.x - before.x, 40.0f, 1.0f);
  EXPECT_NEAR(after.y - before.y, 20.0f, 1.0f);
  capture("viewer_input_pan.png");
}

}  // namespace

int main(int argc, char** argv) { return viewtest::runWindowTests(argc, argv); }
