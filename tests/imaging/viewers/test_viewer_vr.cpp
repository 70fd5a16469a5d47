// The volume viewer headless: the six anatomical views of the CT phantom in
// three patient positions (read from DICOM files as the program reads them),
// the fit, window and colour-table commands reaching both ray-cast contexts,
// focus and maximise, and the turntable on the stepped clock.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/core/isBinReader.h"
#include "imaging/core/isCamera.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isGeometry.h"
#include "imaging/core/series_fixtures.h"
#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isActorVR.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/view/view_support.h"
#include "imaging/viewers/isViewerVR.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/phantoms.h"

USING_NS_CC;
using namespace isImageSDK;

namespace {

constexpr int kW = 200, kH = 160;

// Patient-coordinate direction (LPS: +x left, +y posterior, +z superior) of
// a display-frame direction.
Vec3 toPatient(const Vec3& display, int positionCode, int feetFirstCode) {
  float out[3];
  for (int axis = 0; axis < 3; ++axis) {
    double unit[3] = {0, 0, 0};
    unit[axis] = 1;
    patientToDisplay(positionCode, feetFirstCode, unit);
    out[axis] = static_cast<float>(unit[0] * display.x + unit[1] * display.y + unit[2] * display.z);
  }
  return Vec3(out[0], out[1], out[2]);
}

// The phantom written as a DICOM series and read through the folder scan
// and the cache reader.
struct PhantomSeries {
  isBinReader* reader = nullptr;
  isImageData* image = nullptr;
  explicit PhantomSeries(const std::string& position) {
    dcmfixtures::CtPhantom p;
    // Not square, not isotropic: rows, columns and slices cannot be mixed up.
    p.width = 48;
    p.height = 40;
    p.slices = 30;
    p.spacingX = 1.5;
    p.spacingY = 1.8;
    p.sliceSpacing = 3.0;
    p.position = position;
    const std::string folder = seriestest::seriesFolder("vr/ct_" + position);
    dcmfixtures::writeCtPhantom(folder, p);
    isDcmScan scan;
    EXPECT_TRUE(scan.createCache(folder));
    reader = isBinReader::create();
    EXPECT_TRUE(reader->setFileName(folder, isDcmScan::getCacheFileName(folder)));
    image = reader->getOutputImage();
    image->update();
    EXPECT_TRUE(seriestest::pumpUntil([&] { return reader->isLoadComplete(); }));
  }
  ~PhantomSeries() {
    if (reader) reader->release();
  }
};

// A float PET volume in memory: float data of modality PT.
isImageData* makeFloatPet() {
  auto* image = isImageData::create();
  const int32_t dims[3] = {16, 16, 12};
  const float spacing[3] = {4.0f, 4.0f, 4.0f};
  const double row[3] = {1, 0, 0}, col[3] = {0, 1, 0}, pos[3] = {-30, -30, -20};
  const Mat4 m = makeSliceMatrix(row, col, pos, 0, 0);
  EXPECT_TRUE(image->buildVolume(dims, spacing, ELEMENT_FLOAT, 0, 0, m));
  auto* voxels = static_cast<float*>(image->volumeBuffer);
  for (int i = 0; i < 16 * 16 * 12; ++i) voxels[i] = (i % 16 > 5 && i % 16 < 10) ? 5000.0f : 0.0f;
  for (auto* s : image->slices) {
    s->modality = MODALITY_PT;
    s->windowWidth = 10000.0f;
    s->windowCenter = 5000.0f;
  }
  image->setIdentifier("float-pet");
  return image;
}

// Steps frames until the condition holds or 10 s have passed.
bool pumpFrames(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    viewtest::stepFrames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class ViewerVRTest : public ::testing::Test {
 protected:
  void SetUp() override {
    viewer = isViewerVR::create();
    ASSERT_NE(viewer, nullptr);
    viewer->setContentSize(Size(kW, kH));
    engine.scene->addChild(viewer);
    viewer->setPosition(Vec2(20, 30));
    // Stands in for the cell or multi-view that contains the viewer.
    cell = Node::create();
    cell->retain();
    viewtest::stepFrames(1);
  }
  void TearDown() override {
    if (viewer && viewer->getParent()) viewer->removeFromParent();
    viewtest::stepFrames(1);
    for (auto* image : images) image->release();
    if (cell) cell->release();
  }
  // Takes the caller's reference; released at the end.
  isImageData* keep(isImageData* image) {
    images.push_back(image);
    return image;
  }
  // The command as the notification centre delivers it: posted with the
  // viewer as object, sender `from`.
  void post(int id, NSUI::NSNotificationData* data, Ref* from = nullptr) {
    NSUI::NSNotificationCenter::getInstance()->postNotification(from, id, data, node(), true);
    viewtest::stepFrames(2);
  }
  NSUI::NSNotificationData* payload(const std::string& text = "", int intValue = 0, float floatValue = 0.0f) {
    auto* d = new NSUI::NSNotificationData();
    d->autorelease();
    d->text = text;
    d->intValue = intValue;
    d->floatValue = floatValue;
    return d;
  }
  // The address notifications to and from the viewer carry: its node, not
  // the viewer interface in front of it.
  Ref* node() const { return viewer; }
  // Eye direction from the target and the frame's up vector, unit, display
  // frame.
  Vec3 eyeSide() const {
    const CameraState s = viewer->getCameraState();
    return (s.eye - s.target).getNormalized();
  }
  Vec3 up() const { return viewer->getSceneCamera()->getFrameUpVector(); }
  // The signed angle (radians) from a to b about the axis, right-handed.
  static float angleAbout(const Vec3& a, const Vec3& b, const Vec3& axis) {
    const Vec3 n = axis.getNormalized();
    const Vec3 pa = a - n * a.dot(n), pb = b - n * b.dot(n);
    Vec3 c;
    Vec3::cross(pa, pb, &c);
    return std::atan2(c.dot(n), pa.dot(pb));
  }

  viewtest::HeadlessEngine engine;
  isViewerVR* viewer = nullptr;
  Node* cell = nullptr;
  std::vector<isImageData*> images;
};

// ------------------------------------------------------------ the six sides

TEST_F(ViewerVRTest, SixSidesInEachPatientPositionAndTheWholeVolumeFitted) {
  struct Side {
    int side;
    Vec3 eye;  // patient direction of the eye from the centre
    Vec3 up;   // patient direction of the top of the window
  };
  const Vec3 L(1, 0, 0), P(0, 1, 0), S(0, 0, 1);
  const Side sides[] = {
      {1, S, -P},   // from the head, anterior up (the feet view turned by π)
      {2, -S, -P},  // from the feet, anterior up
      {3, -P, S},   // from the front, superior up
      {4, P, S},    // from the back
      {5, -L, S},   // from the patient's right
      {6, L, S},    // from the patient's left
  };
  struct Position {
    const char* name;
    int positionCode, feetFirstCode;
  };
  const Position positions[] = {
      {"HFS", POSITION_SUPINE, HEAD_FIRST}, {"FFS", POSITION_SUPINE, FEET_FIRST}, {"HFP", POSITION_PRONE, HEAD_FIRST}};
  for (const Position& pos : positions) {
    SCOPED_TRACE(pos.name);
    PhantomSeries series(pos.name);
    isImageData* image = series.image;
    ASSERT_TRUE(image->isVolume());
    ASSERT_EQ(image->positionCode, pos.positionCode);
    ASSERT_EQ(image->feetFirstCode, pos.feetFirstCode);
    viewer->setVolume(image);
    ASSERT_EQ(viewer->getImageData(), image);
    ASSERT_NE(viewer->getVolumeActor(), nullptr);
    EXPECT_TRUE(viewer->getVolumeActor()->isVisible());

    // The eight corners of the volume's box (voxel centres).
    std::vector<Vec3> box;
    for (int i = 0; i < 8; ++i)
      box.push_back(image->worldMatrix.transformPoint(Vec3((i & 1) ? 47 * 1.5f : 0, (i & 2) ? 39 * 1.8f : 0,
                                                           (i & 4) ? 29 * 3.0f : 0)));
    for (const Side& s : sides) {
      SCOPED_TRACE("side " + std::to_string(s.side));
      viewer->lookFromSide(s.side);
      const Vec3 eye = toPatient(eyeSide(), pos.positionCode, pos.feetFirstCode);
      const Vec3 top = toPatient(up(), pos.positionCode, pos.feetFirstCode);
      EXPECT_GT(eye.dot(s.eye), 0.999f) << eye.x << ", " << eye.y << ", " << eye.z;
      EXPECT_GT(top.dot(s.up), 0.999f) << top.x << ", " << top.y << ", " << top.z;

      // Inside the window, and filling it in one direction.
      float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
      for (const Vec3& c : box) {
        const Vec2 p = viewer->worldToScreen(c);
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
      }
      EXPECT_GE(x0, -0.5f);
      EXPECT_GE(y0, -0.5f);
      EXPECT_LE(x1, kW + 0.5f);
      EXPECT_LE(y1, kH + 0.5f);
      EXPECT_TRUE(x1 - x0 > kW - 1.0f || y1 - y0 > kH - 1.0f) << x1 - x0 << " x " << y1 - y0;
      // The volume's centre in the middle of the window.
      const Vec2 mid = viewer->worldToScreen((box[0] + box[7]) * 0.5f);
      EXPECT_NEAR(mid.x, kW / 2.0f, 0.5f);
      EXPECT_NEAR(mid.y, kH / 2.0f, 0.5f);
    }
  }
}

TEST_F(ViewerVRTest, SetVolumeLooksFromTheFrontAndSidesOutsideTheSixAreIgnored) {
  PhantomSeries series("HFS");
  viewer->lookFromSide(2);  // no data: nothing
  viewer->setVolume(series.image);
  EXPECT_GT(toPatient(eyeSide(), 0, 0).dot(Vec3(0, -1, 0)), 0.999f);
  const CameraState before = viewer->getCameraState();
  for (int side : {0, 7, -1}) {
    viewer->lookFromSide(side);
    const CameraState after = viewer->getCameraState();
    EXPECT_EQ(after.eye, before.eye) << side;
    EXPECT_EQ(after.up, before.up) << side;
    EXPECT_EQ(after.zoom, before.zoom) << side;
  }
  // 9057 carries the side.
  post(NOTIFY_VR_ORIENTATION, payload("", 6));
  viewer->onNotification(NOTIFY_VR_ORIENTATION, payload("", 6), nullptr);
  EXPECT_GT(toPatient(eyeSide(), 0, 0).dot(Vec3(1, 0, 0)), 0.999f);
  // The same data again changes nothing, the actor stays.
  isActorVR* actor = viewer->getVolumeActor();
  viewer->setVolume(series.image);
  EXPECT_GT(toPatient(eyeSide(), 0, 0).dot(Vec3(1, 0, 0)), 0.999f);
  EXPECT_EQ(viewer->getVolumeActor(), actor);
}

TEST_F(ViewerVRTest, ViewerInterfaceAndFreshState) {
  EXPECT_EQ(viewer->viewKind, VIEW_KIND_NONE);
  EXPECT_TRUE(viewer->linked);
  EXPECT_EQ(viewer->tickInterval, 60);
  EXPECT_EQ(viewer->turntableSteps, 36);
  EXPECT_FALSE(viewer->playing);
  isViewer* v = viewer;
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  v->setImageData(image);
  EXPECT_EQ(v->getImageData(), image);
  EXPECT_EQ(viewer->getVolumeActor()->getImageData(), image);
  v->setSecondImageData(image);
  EXPECT_EQ(v->getSecondImageData(), nullptr);
  v->setViewKind(VIEW_KIND_AXIAL);
  EXPECT_EQ(viewer->viewKind, VIEW_KIND_NONE);
  const unsigned int count = viewer->getReferenceCount();
  v->retainViewer();
  EXPECT_EQ(viewer->getReferenceCount(), count + 1);
  v->releaseViewer();
  EXPECT_EQ(viewer->getReferenceCount(), count);
  EXPECT_EQ(viewer->getFilePath(), "");  // in memory: no files
}

TEST_F(ViewerVRTest, ModeSwitchesSetTheKindAndTheVolumeTrackingToolOnce) {
  EXPECT_EQ(viewer->getInteractor(), nullptr);
  viewer->switchToMIP();
  EXPECT_EQ(viewer->viewKind, VIEW_KIND_MIP);
  auto* tool = dynamic_cast<isInteractorTrackVR*>(viewer->getInteractor());
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(tool->getToolMode(), TOOL_MODE_ROTATE);
  // The tool is there: the second switch changes nothing.
  viewer->switchToVR();
  EXPECT_EQ(viewer->viewKind, VIEW_KIND_MIP);
  EXPECT_EQ(viewer->getInteractor(), tool);

  // The tool commands, as notifications and as direct calls.
  struct Case {
    int id, mode;
  };
  for (const Case c : {Case{NOTIFY_TOOL_WINDOW_BY_TOUCH, TOOL_MODE_WINDOW}, Case{NOTIFY_TOOL_ROTATE, TOOL_MODE_ROTATE}}) {
    post(c.id, nullptr);
    EXPECT_EQ(tool->getToolMode(), c.mode) << c.id;
  }
  for (const Case c : {Case{NOTIFY_TOOL_ZOOM, TOOL_MODE_ZOOM}, Case{NOTIFY_TOOL_MOVE, TOOL_MODE_PAN},
                       Case{NOTIFY_TOOL_WINDOW_BY_TOUCH, TOOL_MODE_WINDOW}, Case{NOTIFY_TOOL_ROTATE, TOOL_MODE_ROTATE}}) {
    viewer->onNotification(c.id, nullptr, nullptr);
    EXPECT_EQ(tool->getToolMode(), c.mode) << c.id;
  }

  isViewerVR* other = isViewerVR::create();
  other->switchToVR();
  EXPECT_EQ(other->viewKind, VIEW_KIND_VR);
  other->cleanup();
}

TEST_F(ViewerVRTest, ObservesItsSevenIdsOnItselfAndTheCellIdsOnTheBroadcastChannel) {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  // The render window registers under its own pointer, the viewer's node.
  void* self = static_cast<isRenderWindow*>(viewer);
  for (int id : {NOTIFY_DRAG_WINDOW, NOTIFY_SYNC_WINDOW, NOTIFY_TOOL_ROTATE, NOTIFY_TOOL_WINDOW_BY_TOUCH, NOTIFY_DRAG_PAN,
                 NOTIFY_ZOOM_STEP, NOTIFY_FOCUS_REQUEST})
    EXPECT_TRUE(nc->hasObserver(id, node(), self)) << id;
  for (int id : {NOTIFY_CELL_MAXIMISE, NOTIFY_CELL_CAPTURE, NOTIFY_CELL_LINK})
    EXPECT_TRUE(nc->hasObserver(id, nullptr, self)) << id;
  // Commands the multi-view calls directly are not observed.
  for (int id : {NOTIFY_TOOL_ZOOM, NOTIFY_TOOL_MOVE, NOTIFY_PLAY_TOGGLE, NOTIFY_WINDOW_DEFAULT, NOTIFY_CLUT_SELECT})
    EXPECT_FALSE(nc->hasObserver(id, node(), self)) << id;
  // 9067 and 9102 reach the render window's handler: nothing changes.
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  viewer->setVolume(image);
  const CameraState before = viewer->getCameraState();
  post(NOTIFY_SYNC_WINDOW, payload("{\"ww\":\"10\",\"wl\":\"1\"}"));
  nc->postNotification(nullptr, NOTIFY_CELL_LINK, payload(), nullptr, true);
  viewtest::stepFrames(2);
  EXPECT_EQ(viewer->getCameraState().eye, before.eye);
  EXPECT_FLOAT_EQ(viewer->getVolumeActor()->getContextRT()->getWindowWidth(), 400.0f);
}

TEST_F(ViewerVRTest, PicksOnThePlaneThroughTheTargetAndPansAndZoomsByCommand) {
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  viewer->setVolume(image);
  const CameraState s = viewer->getCameraState();
  // GL view coordinates: the viewer sits at (20, 30).
  const Vec2 centre(20 + kW / 2.0f, 30 + kH / 2.0f);
  Vec3 hit;
  ASSERT_TRUE(viewer->pickPoint(centre, &hit));
  EXPECT_LT(hit.distance(s.target), 1e-2f);
  // Off centre: on the plane through the target facing the eye, one pixel
  // being the zoom in millimetres.
  ASSERT_TRUE(viewer->pickPoint(centre + Vec2(40, -20), &hit));
  EXPECT_NEAR((hit - s.target).dot(s.viewDirection), 0.0f, 1e-2f);
  EXPECT_NEAR((hit - s.target).dot(s.rightAxis), 40 * s.zoom, 1e-2f);
  EXPECT_NEAR((hit - s.target).dot(viewer->getSceneCamera()->getFrameUpVector()), -20 * s.zoom, 1e-2f);

  // 9062 zooms by its factor, 9061 moves the camera by the dragged points.
  post(NOTIFY_ZOOM_STEP, payload("", 0, 2.0f));
  EXPECT_FLOAT_EQ(viewer->getCameraState().zoom, s.zoom / 2.0f);
  post(NOTIFY_DRAG_PAN, payload("{\"x\":\"10\",\"y\":\"0\"}"));
  const CameraState moved = viewer->getCameraState();
  EXPECT_NEAR((moved.target - s.target).dot(s.rightAxis), 10 * s.zoom / 2.0f, 1e-2f);
  EXPECT_NEAR((moved.eye - moved.target).getNormalized().dot(-s.viewDirection), 1.0f, 1e-5f);
}

TEST_F(ViewerVRTest, FilePathOfTheFirstSlice) {
  PhantomSeries series("HFS");
  viewer->setVolume(series.image);
  const std::string path = viewer->getFilePath();
  EXPECT_EQ(path, series.image->getSlice(0)->filePath);
  EXPECT_NE(path.find(".dcm"), std::string::npos);
}

// ------------------------------------------------------------------ window

TEST_F(ViewerVRTest, WindowCommandsReachBothContextsAndKeepTheWidthAtTwoOrMore) {
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  // Before the first volume there is no actor: nothing to change.
  viewer->setWindow(100.0f, 10.0f);
  viewer->onNotification(NOTIFY_WINDOW_DEFAULT, nullptr, nullptr);
  EXPECT_EQ(viewer->getVolumeActor(), nullptr);
  viewer->setVolume(image);
  isActorVR* actor = viewer->getVolumeActor();
  ASSERT_NE(actor, nullptr);

  struct Case {
    const char* what;
    int id;  // 0: setWindow (width, level)
    std::string text;
    float width, level;  // for setWindow
    float wantWidth, wantLevel;
  };
  const Case cases[] = {
      {"preset", NOTIFY_WINDOW_PRESET, "{\"ww\":\"1500\",\"wl\":\"300\"}", 0, 0, 1500, 300},
      {"default", NOTIFY_WINDOW_DEFAULT, "", 0, 0, 400, 40},
      {"preset without width", NOTIFY_WINDOW_PRESET, "{\"wl\":\"50\"}", 0, 0, 2, 50},
      {"preset, empty", NOTIFY_WINDOW_PRESET, "", 0, 0, 2, 0},
      {"preset of zero width", NOTIFY_WINDOW_PRESET, "{\"ww\":\"0\",\"wl\":\"-20\"}", 0, 0, 2, -20},
      {"set", 0, "", 800, 200, 800, 200},
      {"drag", NOTIFY_DRAG_WINDOW, "{\"ww\":\"-300\",\"wl\":\"25\"}", 0, 0, 500, 225},
      {"drag below the floor", NOTIFY_DRAG_WINDOW, "{\"ww\":\"-5000\",\"wl\":\"0\"}", 0, 0, 2, 225},
      {"set below the floor", 0, "", 0.5f, 7, 2, 7},
      {"set negative", 0, "", -40, 7, 2, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    viewer->getSceneCamera()->changed = false;
    if (c.id == 0) {
      viewer->setWindow(c.width, c.level);
    } else {
      // As the multi-view calls it.
      viewer->onNotification(c.id, c.id == NOTIFY_WINDOW_DEFAULT ? nullptr : payload(c.text), nullptr);
    }
    for (isVRContext* ctx : {actor->getContextRT(), actor->getContextBest()}) {
      EXPECT_FLOAT_EQ(ctx->getWindowWidth(), c.wantWidth);
      EXPECT_FLOAT_EQ(ctx->getWindowLevel(), c.wantLevel);
    }
    // The next frame renders anew.
    EXPECT_TRUE(viewer->getSceneCamera()->changed);
  }
  // The tool's drag arrives through the centre, addressed to the viewer.
  post(NOTIFY_DRAG_WINDOW, payload("{\"ww\":\"100\",\"wl\":\"-25\"}"));
  for (isVRContext* ctx : {actor->getContextRT(), actor->getContextBest()}) {
    EXPECT_FLOAT_EQ(ctx->getWindowWidth(), 102.0f);
    EXPECT_FLOAT_EQ(ctx->getWindowLevel(), -18.0f);
  }
}

TEST_F(ViewerVRTest, DefaultWindowOfDataWithoutSlicesLeavesTheWindow) {
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  viewer->setVolume(image);
  isActorVR* actor = viewer->getVolumeActor();
  viewer->setWindow(700.0f, 70.0f);
  image->releaseSlices();
  viewer->onNotification(NOTIFY_WINDOW_DEFAULT, nullptr, nullptr);
  EXPECT_FLOAT_EQ(actor->getContextRT()->getWindowWidth(), 700.0f);
  EXPECT_FLOAT_EQ(actor->getContextBest()->getWindowLevel(), 70.0f);
}

// ------------------------------------------------------------ colour tables

class ViewerVRColourTest : public ViewerVRTest {
 protected:
  void SetUp() override {
    ViewerVRTest::SetUp();
    namespace fs = std::filesystem;
    std::string t = (fs::temp_directory_path() / "viewer-vr-clut-XXXXXX").string();
    ASSERT_NE(mkdtemp(t.data()), nullptr);
    dir = t + "/";
    auto* files = FileUtils::getInstance();
    std::vector<std::string> paths = files->getSearchPaths();
    paths.insert(paths.begin(), dir);
    files->setSearchPaths(paths);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    ViewerVRTest::TearDown();
  }
  // A table file whose red array is all `red` and blue array all `blue`.
  void writeTable(const std::string& name, int red, int blue) {
    auto array = [](const char* key, int value) {
      std::string out = std::string("<key>") + key + "</key><array>";
      for (int i = 0; i < 256; ++i) out += "<string>" + std::to_string(value) + "</string>";
      return out + "</array>";
    };
    std::ofstream(dir + name) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                              << array("Red", red) << array("Green", 100) << array("Blue", blue) << "</dict></plist>";
    FileUtils::getInstance()->purgeCachedEntries();
  }
  // The colour of the window's corner (background: colour entry 0) in the
  // next frame the actor shows.
  std::vector<int> cornerOfNextFrame() {
    isActorVR* actor = viewer->getVolumeActor();
    Texture2D* before = actor->getSprite()->getTexture();
    viewer->getSceneCamera()->changed = true;
    if (!pumpFrames([&] {
          Texture2D* t = actor->getSprite()->getTexture();
          return actor->getSprite()->isVisible() && t != before && t->getCpuPixels().size() >= 3;
        }))
      return {};
    const auto& px = actor->getSprite()->getTexture()->getCpuPixels();
    return {px[0], px[1], px[2]};
  }
  std::string dir;
};

TEST_F(ViewerVRColourTest, TableFilesReachTheActorAndPerfusionStoresRedAndBlueExchanged) {
  writeTable("Perfusion.plist", 255, 0);
  writeTable("Plain.plist", 255, 0);
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  viewer->setVolume(image);
  EXPECT_EQ(cornerOfNextFrame(), (std::vector<int>{0, 0, 0}));

  struct Case {
    const char* name;
    std::vector<int> corner;
  };
  const Case cases[] = {
      {"Perfusion.plist", {0, 100, 255}},
      {"Plain.plist", {255, 100, 0}},
      {"bwInverse.plist", {255, 255, 255}},
      {"missing.plist", {255, 255, 255}},  // not loaded: unchanged
      {"noClut.plist", {0, 0, 0}},
      {"x", {0, 0, 0}},  // too short a name
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    post(NOTIFY_CLUT_SELECT, payload(c.name));
    viewer->onNotification(NOTIFY_CLUT_SELECT, payload(c.name), nullptr);
    EXPECT_TRUE(viewer->getSceneCamera()->changed);
    EXPECT_EQ(cornerOfNextFrame(), c.corner);
  }
}

TEST_F(ViewerVRColourTest, FloatPetStartsWithTheInvertedRamp) {
  viewer->setVolume(keep(makeFloatPet()));
  EXPECT_EQ(cornerOfNextFrame(), (std::vector<int>{255, 255, 255}));
  // CT of the same kind keeps the actor's grey ramp.
  viewer->setVolume(keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f)));
  viewer->setColorTableByName("noClut.plist");
  EXPECT_EQ(cornerOfNextFrame(), (std::vector<int>{0, 0, 0}));
}

// ------------------------------------------------------- focus and maximise

TEST_F(ViewerVRTest, FocusRequestGoesUpToTheRelayTargetAndAnnouncesTheQuickTools) {
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  viewer->setVolume(image);
  viewtest::Recorder up, tools;
  up.listen({NOTIFY_FOCUS_REQUEST}, cell);
  NSUI::NSNotificationData* quick = nullptr;
  NSUI::NSNotificationCenter::getInstance()->addObserver(
      &tools, nullptr,
      [&](Ref* sender, unsigned int, NSUI::NSNotificationData* d) {
        tools.got.push_back({NOTIFY_QUICK_TOOL_SHOW, sender});
        quick = d;
        if (quick) quick->retain();
      },
      NOTIFY_QUICK_TOOL_SHOW);

  // No relay target: the frame goes off, nothing is posted.
  post(NOTIFY_FOCUS_REQUEST, payload("{\"k\":\"1\"}"));
  EXPECT_FALSE(viewer->getActorManager()->getCrossLineActor()->isFrameShown());
  EXPECT_TRUE(up.got.empty());

  viewer->setRelayTarget(cell);
  post(NOTIFY_FOCUS_REQUEST, payload("{\"k\":\"1\"}"), viewer->getInteractor());
  viewtest::stepFrames(3);
  EXPECT_TRUE(viewer->getActorManager()->getCrossLineActor()->isFrameShown());
  ASSERT_EQ(up.got.size(), 1u);
  EXPECT_EQ(up.got[0].sender, viewer);
  EXPECT_EQ(up.json(up.got[0], "k"), "1");
  ASSERT_EQ(tools.got.size(), 1u);
  EXPECT_EQ(tools.got[0].sender, viewer);
  ASSERT_NE(quick, nullptr);
  EXPECT_EQ(quick->object, viewer);
  quick->release();

  // From the relay target: the frame goes off, nothing goes up.
  viewer->onNotification(NOTIFY_FOCUS_REQUEST, payload(), cell);
  viewtest::stepFrames(3);
  EXPECT_FALSE(viewer->getActorManager()->getCrossLineActor()->isFrameShown());
  EXPECT_EQ(up.got.size(), 1u);
  EXPECT_EQ(tools.got.size(), 1u);
  NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&tools);
}

TEST_F(ViewerVRTest, MaximiseToggleForThisViewerAndForAnother) {
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  viewer->setVolume(image);
  viewer->lookFromSide(6);
  viewtest::Recorder rec;
  rec.listen({NOTIFY_MAXIMISE_STATE}, nullptr);
  auto maximise = [&](unsigned int refId) {
    auto* d = payload("{\"w\":\"640\",\"h\":\"480\"}");
    d->taskValue = static_cast<int>(refId);
    NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, NOTIFY_CELL_MAXIMISE, d, nullptr, true);
    // The serial queue delivers one post per frame.
    viewtest::stepFrames(12);
  };
  const CameraState before = viewer->getCameraState();

  // This viewer: to (0, 0) at the payload's size, camera kept, frame off.
  viewer->setFrameVisible(true);
  maximise(viewer->getRefID());
  EXPECT_TRUE(viewer->maximized);
  EXPECT_EQ(viewer->getPosition(), Vec2::ZERO);
  EXPECT_EQ(viewer->getContentSize(), Size(640, 480));
  EXPECT_FALSE(viewer->getActorManager()->getCrossLineActor()->isFrameShown());
  CameraState now = viewer->getCameraState();
  EXPECT_LT(now.eye.distance(before.eye), 1e-3f);
  EXPECT_FLOAT_EQ(now.zoom, before.zoom);
  maximise(viewer->getRefID());
  EXPECT_FALSE(viewer->maximized);
  EXPECT_EQ(viewer->getPosition(), Vec2(20, 30));
  EXPECT_EQ(viewer->getContentSize(), Size(kW, kH));
  now = viewer->getCameraState();
  EXPECT_LT(now.eye.distance(before.eye), 1e-3f);
  EXPECT_FLOAT_EQ(now.zoom, before.zoom);
  std::vector<int> states;
  for (auto& r : rec.of(NOTIFY_MAXIMISE_STATE)) {
    states.push_back(r.intValue);
    EXPECT_EQ(r.sender, viewer);
  }
  EXPECT_EQ(states, (std::vector<int>{1, 0}));

  // Another window: out of sight at 128 × 128 without a new frame, then
  // back with the next toggle of any id.
  maximise(viewer->getRefID() + 1000);
  EXPECT_TRUE(viewer->maximized);
  EXPECT_EQ(viewer->getPosition(), Vec2(10000, 10000));
  EXPECT_EQ(viewer->getContentSize(), Size(128, 128));
  EXPECT_FALSE(viewer->getSceneCamera()->changed);
  maximise(viewer->getRefID() + 2000);
  EXPECT_FALSE(viewer->maximized);
  EXPECT_EQ(viewer->getPosition(), Vec2(20, 30));
  EXPECT_EQ(viewer->getContentSize(), Size(kW, kH));
  EXPECT_FALSE(viewer->getSceneCamera()->changed);
  EXPECT_EQ(rec.of(NOTIFY_MAXIMISE_STATE).size(), 2u);
}

TEST_F(ViewerVRTest, CaptureRequestChangesNothing) {
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  viewer->setVolume(image);
  viewtest::stepFrames(3);
  viewer->getSceneCamera()->changed = false;
  const CameraState before = viewer->getCameraState();
  viewtest::Recorder rec;
  rec.listen({NOTIFY_CELL_CAPTURE}, nullptr);
  rec.listen({NOTIFY_CAMERA_CHANGED, NOTIFY_FOCUS_REQUEST}, node());
  auto* d = payload();
  d->taskValue = static_cast<int>(viewer->getRefID());
  NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, NOTIFY_CELL_CAPTURE, d, nullptr, true);
  viewtest::stepFrames(3);
  EXPECT_EQ(rec.of(NOTIFY_CELL_CAPTURE).size(), 1u);  // the test's own observer
  EXPECT_TRUE(rec.of(NOTIFY_CAMERA_CHANGED).empty());
  EXPECT_FALSE(viewer->getSceneCamera()->changed);
  EXPECT_EQ(viewer->getCameraState().eye, before.eye);
}

// --------------------------------------------------------------- turntable

TEST_F(ViewerVRTest, TurntableStepsFiveDegreesPerIntervalAndWrapsAfterATurn) {
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  viewer->setVolume(image);
  viewer->setRelayTarget(cell);
  viewtest::Recorder rec;
  rec.listen({NOTIFY_PLAY_STATE}, cell);
  const CameraState start = viewer->getCameraState();
  const Vec3 axis = viewer->getSceneCamera()->getFrameUpVector();
  auto turned = [&] {
    const CameraState s = viewer->getCameraState();
    return angleAbout(start.eye - start.target, s.eye - s.target, axis) * 180.0f / 3.14159265f;
  };

  viewer->onNotification(NOTIFY_PLAY_TOGGLE, nullptr, nullptr);
  ASSERT_TRUE(viewer->playing);
  EXPECT_TRUE(viewer->isScheduled(viewer->turntableKey()));
  EXPECT_EQ(viewer->turntableKey(), "vrmip:" + std::to_string(viewer->getRefID()));
  viewtest::stepFrames(2);
  ASSERT_EQ(rec.of(NOTIFY_PLAY_STATE).size(), 1u);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[0].intValue, 1);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[0].sender, viewer);

  // Nothing before the 0.1 s delay; then the first step at the first tick
  // and one every 60 ticks (one tick per frame).
  EXPECT_NEAR(turned(), 0.0f, 1e-3f);
  int frames = 2;
  while (viewer->stepIndex == 0 && frames < 20) {
    viewtest::stepFrames(1);
    ++frames;
  }
  EXPECT_GE(frames, 6);
  EXPECT_LE(frames, 7);
  EXPECT_EQ(viewer->stepIndex, 1);
  EXPECT_NEAR(turned(), -5.0f, 1e-2f);
  viewtest::stepFrames(59);
  EXPECT_EQ(viewer->stepIndex, 1);
  viewtest::stepFrames(1);
  EXPECT_EQ(viewer->stepIndex, 2);
  EXPECT_NEAR(turned(), -10.0f, 1e-2f);

  // Faster: interval 40, 20, 5, then slower 25; the count starts again.
  for (int want : {40, 20, 5}) {
    viewer->onNotification(NOTIFY_PLAY_NEXT, nullptr, nullptr);
    EXPECT_EQ(viewer->tickInterval, want);
    EXPECT_EQ(viewer->tickCount, 0);
  }
  viewer->onNotification(NOTIFY_PLAY_PRIOR, nullptr, nullptr);
  EXPECT_EQ(viewer->tickInterval, 25);
  for (int want : {45, 65, 85, 105, 120, 120}) {
    viewer->onNotification(NOTIFY_PLAY_PRIOR, nullptr, nullptr);
    EXPECT_EQ(viewer->tickInterval, want);
  }
  for (int i = 0; i < 8; ++i) viewer->onNotification(NOTIFY_PLAY_NEXT, nullptr, nullptr);
  EXPECT_EQ(viewer->tickInterval, 5);
  // While playing, 9054 and 9055 change the speed only.
  EXPECT_EQ(viewer->stepIndex, 2);

  // At 5 ticks per step, 34 more steps make 36: the index wraps to 0 and
  // the eye has gone half a turn; the next step goes on turning.
  viewtest::stepFrames(1 + 5 * 33);
  EXPECT_EQ(viewer->stepIndex, 0);
  EXPECT_NEAR(std::fabs(turned()), 180.0f, 0.05f);
  viewtest::stepFrames(5);
  EXPECT_EQ(viewer->stepIndex, 1);
  EXPECT_NEAR(turned(), 175.0f, 0.05f);

  // A 9008 turn is refused while playing.
  const CameraState playingState = viewer->getCameraState();
  viewer->onNotification(NOTIFY_ROTATE_3D, payload("", 0, 0.5f), nullptr);
  EXPECT_EQ(viewer->getCameraState().eye, playingState.eye);

  // Stop: the schedule goes, 0 is posted.
  viewer->onNotification(NOTIFY_PLAY_TOGGLE, nullptr, nullptr);
  EXPECT_FALSE(viewer->playing);
  EXPECT_FALSE(viewer->isScheduled(viewer->turntableKey()));
  viewtest::stepFrames(2);
  ASSERT_EQ(rec.of(NOTIFY_PLAY_STATE).size(), 2u);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[1].intValue, 0);
  const float stopped = turned();
  viewtest::stepFrames(30);
  EXPECT_NEAR(turned(), stopped, 1e-3f);
}

TEST_F(ViewerVRTest, StoppedStepsTurnFiveDegreesAndWrapBothWays) {
  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  viewer->setVolume(image);
  const CameraState start = viewer->getCameraState();
  const Vec3 axis = viewer->getSceneCamera()->getFrameUpVector();
  auto turned = [&] {
    const CameraState s = viewer->getCameraState();
    return angleAbout(start.eye - start.target, s.eye - s.target, axis) * 180.0f / 3.14159265f;
  };
  viewer->stepIndex = 35;
  viewer->onNotification(NOTIFY_PLAY_NEXT, nullptr, nullptr);
  EXPECT_EQ(viewer->stepIndex, 0);
  EXPECT_NEAR(turned(), -5.0f, 1e-2f);
  viewer->onNotification(NOTIFY_PLAY_PRIOR, nullptr, nullptr);
  EXPECT_EQ(viewer->stepIndex, 35);
  EXPECT_NEAR(turned(), 0.0f, 1e-2f);
  viewer->onNotification(NOTIFY_PLAY_PRIOR, nullptr, nullptr);
  EXPECT_EQ(viewer->stepIndex, 34);
  EXPECT_NEAR(turned(), 5.0f, 1e-2f);
  // 9008 turns by radians about the up axis.
  viewer->onNotification(NOTIFY_ROTATE_3D, payload("", 0, -0.5f), nullptr);
  EXPECT_NEAR(turned(), 5.0f - 0.5f * 180.0f / 3.14159265f, 1e-2f);
  // The up vector stays.
  EXPECT_GT(viewer->getSceneCamera()->getFrameUpVector().dot(axis), 0.9999f);
}

TEST_F(ViewerVRTest, TurntableRefusesASingleSliceAndCleanupEndsItQuietly) {
  isImageData* flat = keep(isImageData::create());
  const int32_t size[2] = {16, 16};
  const float spacing[3] = {1, 1, 1};
  ASSERT_NE(flat->addSlice(size, 1, spacing, ELEMENT_INT16, 0, 0, Mat4::IDENTITY), nullptr);
  viewer->setVolume(flat);
  viewer->setRelayTarget(cell);
  viewtest::Recorder rec;
  rec.listen({NOTIFY_PLAY_STATE}, cell);
  struct End {
    Ref* sender;
    int task;
  };
  std::vector<End> ends;
  int tag = 0;
  NSUI::NSNotificationCenter::getInstance()->addObserver(
      &tag, nullptr,
      [&](Ref* sender, unsigned int, NSUI::NSNotificationData* d) { ends.push_back({sender, d ? d->taskValue : -1}); },
      NOTIFY_VIEWER_CLEANUP);
  viewer->onNotification(NOTIFY_PLAY_TOGGLE, nullptr, nullptr);
  EXPECT_FALSE(viewer->playing);
  EXPECT_FALSE(viewer->isScheduled(viewer->turntableKey()));
  viewtest::stepFrames(2);
  ASSERT_EQ(rec.of(NOTIFY_PLAY_STATE).size(), 1u);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[0].intValue, 0);

  isImageData* image = keep(viewtest::makePhantomImage(32, 32, 16, 4.0f, 4.0f, 6.0f));
  viewer->setVolume(image);
  viewer->onNotification(NOTIFY_PLAY_TOGGLE, nullptr, nullptr);
  ASSERT_TRUE(viewer->playing);
  const int refId = static_cast<int>(viewer->getRefID());
  isActorVR* actor = viewer->getVolumeActor();
  actor->retain();
  viewer->removeFromParent();
  viewer = nullptr;
  // The actor was released by the viewer: only the test holds it now.
  EXPECT_EQ(actor->getReferenceCount(), 1u);
  actor->release();
  for (int i = 0; i < 6; ++i) viewtest::stepFrames(1);
  // Stopped without a word: the start is the only play state after 0.
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE).size(), 2u);
  // Cleanup and the destructor each announce the viewer's end.
  ASSERT_EQ(ends.size(), 2u);
  for (const End& e : ends) {
    EXPECT_EQ(e.sender, nullptr);
    EXPECT_EQ(e.task, refId);
  }
  NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&tag);
}

}  // namespace
