// The volume-rendering actor headless: its two render threads driven through
// a stand-in renderer that counts, can be held mid-frame and reads every
// voxel before and after the hold (so that a released volume shows under the
// address sanitizer), and the real ray caster on a small phantom.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "imaging/core/isCamera.h"
#include "imaging/view/isActorManager.h"
#include "imaging/view/isActorVR.h"
#include "test_window.h"
#include "toolkit/foundation/NSNotifyIds.h"

USING_NS_CC;
using namespace isImageSDK;
using namespace viewtest;

namespace {

constexpr int kFast = 0, kFine = 1;

// Shared between the test and the stand-in renderers of both threads.
struct Control {
  std::mutex m;
  std::condition_variable cv;
  bool hold[2] = {false, false};
  bool honourAbort[2] = {true, true};
  // The next abort seen while held is forgotten, as when it lands just
  // before the ray caster clears its flag at the start of a frame.
  bool loseAbort[2] = {false, false};
  int started[2] = {0, 0};
  int finished[2] = {0, 0};
  int aborted[2] = {0, 0};
  float width[2] = {0, 0}, level[2] = {0, 0};
  int mode[2] = {-1, -1};
  int firstColour[2] = {-1, -1};
  bool toVolumeFrame[2] = {false, false};
  Vec3 eye[2];
  long long voxelSum[2] = {0, 0};

  template <class F>
  auto read(F f) {
    std::lock_guard<std::mutex> lock(m);
    return f();
  }
  void setHold(int kind, bool on) {
    std::lock_guard<std::mutex> lock(m);
    hold[kind] = on;
    cv.notify_all();
  }
  bool waitStarted(int kind, int count) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, std::chrono::seconds(10), [&] { return started[kind] >= count; });
  }
};

// Renders a frame of camera size × image scale whose first pixel tells
// which render of which thread made it: (render number, kind, colour-map
// entry 1 red).
class FakeRenderer : public isVRRenderer {
 public:
  FakeRenderer(Control* c, int kind) : c(c), kind(kind) {
    camera = isCamera::create();
    camera->retain();
    colours.assign(768, 0);
  }
  ~FakeRenderer() override { camera->release(); }

  bool setVolume(const RayCastVolume* v) override {
    volume = v;
    return v != nullptr;
  }
  void setVoxels(const void* voxels) override { voxelPointer = voxels; }
  void setCamera(isCamera* from, bool toVolume) override {
    isVRView::of(from).applyTo(camera);
    toVolumeFrame = toVolume;
  }
  isCamera* getCamera() const override { return camera; }
  void setWindow(float w, float l, int) override { width = w, level = l; }
  void setColorMap(const uint8_t* map) override { colours.assign(map, map + 768); }
  void setRenderMode(int m) override { renderMode = m; }
  void setInterpolation(int) override {}
  void setImageScale(float s) override { scale = s; }
  float getImageScale() const override { return scale; }
  void setTargetFrameTime(float) override {}
  void abort() override { abortFlag = true; }
  bool isAborted() const override { return abortFlag; }
  void clearAbort() override { abortFlag = false; }
  const RayCastImage& getImage() const override { return image; }

  void render() override {
    int number;
    {
      std::lock_guard<std::mutex> lock(c->m);
      number = ++c->started[kind];
      c->width[kind] = width;
      c->level[kind] = level;
      c->mode[kind] = renderMode;
      c->toVolumeFrame[kind] = toVolumeFrame;
      c->eye[kind] = camera->getPosition3D();
      c->firstColour[kind] = colours[3];
      c->cv.notify_all();
    }
    long long sum = sumVoxels();
    {
      std::unique_lock<std::mutex> lock(c->m);
      for (;;) {
        if (c->loseAbort[kind] && abortFlag) {
          c->loseAbort[kind] = false;
          abortFlag = false;
        }
        if (!c->hold[kind] || (c->honourAbort[kind] && abortFlag)) break;
        c->cv.wait_for(lock, std::chrono::milliseconds(1));
      }
    }
    sum += sumVoxels();
    const int w = std::max(2, static_cast<int>(camera->getWidth() * scale));
    const int h = std::max(2, static_cast<int>(camera->getHeight() * scale));
    image.width = w;
    image.height = h;
    image.rgb.assign(static_cast<size_t>(w) * h * 3, 0);
    image.rgb[0] = static_cast<uint8_t>(number);
    image.rgb[1] = static_cast<uint8_t>(kind);
    image.rgb[2] = colours[3];
    std::lock_guard<std::mutex> lock(c->m);
    c->voxelSum[kind] = sum;
    if (abortFlag) ++c->aborted[kind];
    ++c->finished[kind];
    c->cv.notify_all();
  }

 private:
  long long sumVoxels() const {
    if (!volume) return 0;
    const auto* p = static_cast<const uint8_t*>(voxelPointer ? voxelPointer : volume->voxels);
    const size_t bytes = static_cast<size_t>(volume->dimensions[0]) * volume->dimensions[1] * volume->dimensions[2] *
                         bytesPerSample(volume->elementType);
    long long s = 0;
    for (size_t i = 0; i < bytes; ++i) s += p[i];
    return s;
  }

  Control* c;
  int kind;
  isCamera* camera = nullptr;
  const RayCastVolume* volume = nullptr;
  const void* voxelPointer = nullptr;
  std::vector<uint8_t> colours;
  float width = 0, level = 0, scale = 1;
  int renderMode = 0;
  bool toVolumeFrame = false;
  std::atomic<bool> abortFlag{false};
  RayCastImage image;
};

class FakeActor : public isActorVR {
 public:
  static FakeActor* create(Control* c) {
    auto* a = new FakeActor(c);
    if (!a->init()) {
      delete a;
      return nullptr;
    }
    a->autorelease();
    return a;
  }

 protected:
  explicit FakeActor(Control* c) : c(c) {}
  std::unique_ptr<isVRRenderer> createRenderer(bool fine) override {
    if (!c) return isActorVR::createRenderer(fine);
    return std::make_unique<FakeRenderer>(c, fine ? kFine : kFast);
  }
  Control* c;
};

// A volume of n³ voxels of `type`, every slice of that modality; a ramp so
// that the voxel sums differ between volumes.
isImageData* makeVolume(int n, int type, int modality, int seed = 1) {
  auto* image = isImageData::create();
  const int32_t dims[3] = {n, n, n};
  const float spacing[3] = {1.0f, 1.0f, 1.0f};
  image->buildVolume(dims, spacing, type, 0, 0, Mat4::IDENTITY);
  auto* bytes = static_cast<uint8_t*>(image->volumeBuffer);
  const size_t count = static_cast<size_t>(n) * n * n * bytesPerSample(type);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * seed);
  for (auto* s : image->slices) {
    s->modality = modality;
    s->windowWidth = 300.0f + seed;
    s->windowCenter = 40.0f + seed;
  }
  return image;
}

// Steps frames until the condition holds (true) or 10 s passed (false).
bool pumpUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    stepFrames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// First pixel of the sprite's texture: (render number, kind, colour).
std::array<int, 3> shownPixel(isActorVR* actor) {
  Texture2D* t = actor->getSprite()->getTexture();
  if (!t || t->getCpuPixels().size() < 3 || t->getPixelFormat() != Texture2D::PixelFormat::RGB888) return {-1, -1, -1};
  const auto& p = t->getCpuPixels();
  return {p[0], p[1], p[2]};
}

class VRActorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = TestWindow::create(Size(200, 160));
    engine.scene->addChild(window);
    stepFrames(1);
  }
  void TearDown() override {
    if (actor) {
      actor->clear();
      actor->release();
    }
    for (auto* image : images) image->release();
  }
  isImageData* keep(isImageData* image) {
    images.push_back(image);
    return image;
  }

  // An actor on the stand-in renderers, attached, visible, showing a small
  // volume, the camera looking at it.
  void makeFake(int type = ELEMENT_INT16, int modality = MODALITY_CT) {
    actor = FakeActor::create(&control);
    ASSERT_NE(actor, nullptr);
    actor->retain();
    actor->attach(window);
    actor->setVisible(true);
    actor->setImageData(keep(makeVolume(8, type, modality)));
    look(0.0f);
  }
  isCamera* camera() const { return window->getSceneCamera(); }
  // Aims the camera at the volume from an angle: every call a new view.
  void look(float angle) {
    const Vec3 centre(3.5f, 3.5f, 3.5f);
    window->setCameraPosition(centre + Vec3(std::sin(angle), 0, -std::cos(angle)) * 500.0f);
    window->setCameraLookAt(centre, Vec3(0, 1, 0));
    window->setZoom(0.1f);
  }
  int started(int kind) {
    return control.read([&] { return control.started[kind]; });
  }

  HeadlessEngine engine;
  TestWindow* window = nullptr;
  isActorVR* actor = nullptr;
  Control control;
  std::vector<isImageData*> images;
};

TEST_F(VRActorTest, FastFrameThenFineFrameOfTheSameView) {
  makeFake();
  ASSERT_FALSE(actor->getSprite()->isVisible());
  ASSERT_TRUE(pumpUntil([&] { return shownPixel(actor)[1] == kFast; }));
  EXPECT_TRUE(actor->getSprite()->isVisible());
  Texture2D* fast = actor->getSprite()->getTexture();
  // The fast frame is a tenth of the window and scaled up to fill it.
  EXPECT_EQ(fast->getPixelsWide(), 20);
  EXPECT_FLOAT_EQ(actor->getSprite()->getScaleX() * fast->getPixelsWide(), 200.0f);
  EXPECT_FLOAT_EQ(actor->getSprite()->getScaleY() * fast->getPixelsHigh(), 160.0f);
  ASSERT_TRUE(pumpUntil([&] { return shownPixel(actor)[1] == kFine; }));
  EXPECT_EQ(actor->getSprite()->getTexture()->getPixelsWide(), 200);
  EXPECT_FLOAT_EQ(actor->getSprite()->getScaleX(), 1.0f);
  control.read([&] {
    // The fast context maps the window's camera into the volume frame; the
    // fine one copies the fast context's camera as it stands.
    EXPECT_TRUE(control.toVolumeFrame[kFast]);
    EXPECT_FALSE(control.toVolumeFrame[kFine]);
    EXPECT_LT(control.eye[kFast].distance(control.eye[kFine]), 1e-3f);
    EXPECT_EQ(control.started[kFast], 1);
    EXPECT_EQ(control.started[kFine], 1);
    return 0;
  });
  EXPECT_FALSE(camera()->changed);
}

TEST_F(VRActorTest, TenChangesDuringAFastFrameLeaveOnlyTheLastWaiting) {
  makeFake();
  control.setHold(kFast, true);
  actor->requestRender();
  ASSERT_TRUE(control.waitStarted(kFast, 1));
  for (int i = 1; i <= 10; ++i) {
    look(0.05f * i);
    actor->requestRender();
  }
  EXPECT_EQ(actor->getThreadRT()->waitingCount(), 1);
  const Vec3 last = camera()->getPosition3D();
  control.setHold(kFast, false);
  ASSERT_TRUE(pumpUntil([&] { return control.read([&] { return control.finished[kFast]; }) == 2; }));
  stepFrames(5);
  EXPECT_EQ(started(kFast), 2);
  // The volume sits at the world origin: its frame is the world's.
  EXPECT_LT(control.read([&] { return control.eye[kFast]; }).distance(last), 1e-3f);
}

TEST_F(VRActorTest, ChangeDuringAFineFrameDropsItAndShowsANewFastFrame) {
  makeFake();
  control.setHold(kFine, true);
  ASSERT_TRUE(pumpUntil([&] { return started(kFine) == 1; }));
  look(0.3f);
  stepFrames(1);  // 9091: the fine frame is aborted, a fast frame asked for
  ASSERT_TRUE(pumpUntil([&] { return shownPixel(actor)[0] == 2 && shownPixel(actor)[1] == kFast; }));
  ASSERT_TRUE(pumpUntil([&] { return control.read([&] { return control.aborted[kFine]; }) == 1; }));
  control.setHold(kFine, false);
  // The second fine frame, of the new view, is the next picture; the
  // aborted one never shows.
  ASSERT_TRUE(pumpUntil([&] { return shownPixel(actor)[1] == kFine; }));
  EXPECT_EQ(shownPixel(actor)[0], 2);
}

TEST_F(VRActorTest, LostAbortOfACancelledFineFrameIsRepeatedAtTheNextFrame) {
  makeFake();
  control.read([&] { return control.loseAbort[kFine] = true; });
  control.setHold(kFine, true);
  ASSERT_TRUE(pumpUntil([&] { return started(kFine) == 1; }));
  look(0.3f);
  stepFrames(1);  // cancels the fine frame; its abort is lost
  ASSERT_TRUE(pumpUntil([&] { return shownPixel(actor)[0] == 2 && shownPixel(actor)[1] == kFast; }));
  // The frames drawn after that abort the cancelled frame again.
  ASSERT_TRUE(pumpUntil([&] { return control.read([&] { return control.aborted[kFine]; }) == 1; }));
  control.setHold(kFine, false);
  ASSERT_TRUE(pumpUntil([&] { return shownPixel(actor)[1] == kFine; }));
  EXPECT_EQ(shownPixel(actor)[0], 2);
}

TEST_F(VRActorTest, FineFrameWaitsUntilItsThreadIsIdle) {
  makeFake();
  // A fine frame that ignores the abort keeps its thread busy.
  control.read([&] { return control.honourAbort[kFine] = false; });
  control.setHold(kFine, true);
  ASSERT_TRUE(pumpUntil([&] { return started(kFine) == 1; }));
  look(0.4f);
  ASSERT_TRUE(pumpUntil([&] { return shownPixel(actor)[0] == 2; }));
  stepFrames(5);
  EXPECT_EQ(started(kFine), 1) << "no fine frame while the thread is busy";
  control.setHold(kFine, false);
  // Once idle, the fine frame of the view on screen follows.
  ASSERT_TRUE(pumpUntil([&] { return shownPixel(actor)[1] == kFine; }));
  EXPECT_EQ(shownPixel(actor)[0], 2);
  control.read([&] {
    EXPECT_LT(control.eye[kFine].distance(control.eye[kFast]), 1e-3f);
    return 0;
  });
}

TEST_F(VRActorTest, InvisibleActorRendersNothingAndKeepsTheFlag) {
  makeFake();
  actor->setVisible(false);
  stepFrames(10);
  EXPECT_EQ(started(kFast), 0);
  EXPECT_TRUE(camera()->changed);
  actor->setVisible(true);
  ASSERT_TRUE(pumpUntil([&] { return started(kFast) == 1; }));
}

TEST_F(VRActorTest, WithoutVolumeNothingRenders) {
  makeFake();
  actor->setImageData(nullptr);
  stepFrames(10);
  EXPECT_EQ(started(kFast), 0);
  EXPECT_FALSE(actor->getSprite()->isVisible());
}

TEST_F(VRActorTest, ShiftWindowKeepsTheWidthAtLeastTwo) {
  makeFake();
  struct Case {
    float dw, dl, width, level;
  } cases[] = {{10, 5, 311, 46}, {-400, 0, 2, 46}, {-1, -6, 2, 40}, {98, 0, 100, 40}};
  for (const auto& c : cases) {
    actor->shiftWindow(c.dw, c.dl);
    EXPECT_FLOAT_EQ(actor->getContextRT()->getWindowWidth(), c.width);
    EXPECT_FLOAT_EQ(actor->getContextBest()->getWindowWidth(), c.width);
    EXPECT_FLOAT_EQ(actor->getContextRT()->getWindowLevel(), c.level);
  }
}

TEST_F(VRActorTest, WindowAndColoursTakeEffectWithTheNextFrame) {
  makeFake();
  ASSERT_TRUE(pumpUntil([&] { return shownPixel(actor)[1] == kFine; }));
  uint8_t table[768] = {};
  table[3] = 77;
  actor->setColorTable(table);
  actor->shiftWindow(-100, 10);
  look(0.2f);
  ASSERT_TRUE(pumpUntil([&] { return started(kFast) == 2; }));
  control.read([&] {
    EXPECT_FLOAT_EQ(control.width[kFast], 201.0f);
    EXPECT_FLOAT_EQ(control.level[kFast], 51.0f);
    EXPECT_EQ(control.firstColour[kFast], 77);
    return 0;
  });
  ASSERT_TRUE(pumpUntil([&] { return started(kFine) == 2; }));
  control.read([&] {
    EXPECT_FLOAT_EQ(control.width[kFine], 201.0f);
    EXPECT_EQ(control.firstColour[kFine], 77);
    return 0;
  });
}

TEST_F(VRActorTest, RenderModeFollowsTheData) {
  struct Case {
    int type, modality, mode;
  } cases[] = {{ELEMENT_FLOAT, MODALITY_PT, 3},
               {ELEMENT_FLOAT, MODALITY_CT, 0},
               {ELEMENT_INT16, MODALITY_PT, 0},
               {ELEMENT_FLOAT, MODALITY_PT, 3},
               {ELEMENT_UINT8, MODALITY_MR, 0}};
  makeFake();
  int frames = 1;
  ASSERT_TRUE(pumpUntil([&] { return started(kFast) == 1; }));
  int seed = 2;
  for (const auto& c : cases) {
    actor->setImageData(keep(makeVolume(8, c.type, c.modality, seed++)));
    EXPECT_EQ(actor->getContextRT()->getRenderMode(), c.mode);
    EXPECT_EQ(actor->getContextBest()->getRenderMode(), c.mode);
    ASSERT_TRUE(pumpUntil([&] { return started(kFast) == frames + 1; }));
    ++frames;
    EXPECT_EQ(control.read([&] { return control.mode[kFast]; }), c.mode);
  }
}

TEST_F(VRActorTest, ClearStopsBothThreads) {
  makeFake();
  control.setHold(kFine, true);
  ASSERT_TRUE(pumpUntil([&] { return started(kFine) == 1; }));
  look(0.5f);
  control.setHold(kFast, true);
  stepFrames(1);
  ASSERT_TRUE(control.waitStarted(kFast, 2));
  // Both threads are inside a frame; clear aborts and joins them.
  actor->clear();
  EXPECT_EQ(actor->getThreadRT(), nullptr);
  EXPECT_EQ(actor->getThreadBest(), nullptr);
  control.read([&] {
    EXPECT_EQ(control.finished[kFast], control.started[kFast]);
    EXPECT_EQ(control.finished[kFine], control.started[kFine]);
    return 0;
  });
  stepFrames(3);  // no completion reaches the cleared actor
}

// The image goes while both threads are inside a frame that reads its
// voxels again when it resumes: the actor must stop them first.
TEST_F(VRActorTest, ReplacingTheImageMidFrameNeverReadsTheReleasedOne) {
  makeFake();
  control.setHold(kFine, true);
  ASSERT_TRUE(pumpUntil([&] { return started(kFine) == 1; }));
  look(0.6f);
  control.setHold(kFast, true);
  stepFrames(1);
  ASSERT_TRUE(control.waitStarted(kFast, 2));
  isImageData* next = makeVolume(8, ELEMENT_INT16, MODALITY_CT, 3);
  images.push_back(next);
  // Only the actor holds the old image from here on.
  images.front()->release();
  images.erase(images.begin());
  actor->setImageData(next);
  control.setHold(kFast, false);
  control.setHold(kFine, false);
  ASSERT_TRUE(pumpUntil([&] { return started(kFast) == 3; }));
  ASSERT_TRUE(pumpUntil([&] { return shownPixel(actor)[1] == kFine; }));
}

// ----------------------------------------------------------- ray caster

class VRRayCastTest : public VRActorTest {
 protected:
  void makeReal(isImageData* image) {
    actor = window->getActorManager()->getVRActor();
    ASSERT_NE(actor, nullptr);
    actor->retain();
    actor->setVisible(true);
    actor->setImageData(image);
    const Vec3 centre = image->worldMatrix.transformPoint(Vec3(31.5f * 2.8f, 31.5f * 2.8f, 23.5f * 4.0f));
    window->setCameraPosition(centre + Vec3(0, 0, 1000));
    window->setCameraLookAt(centre, Vec3(0, 1, 0));
    window->setZoom(1.4f);
  }
};

TEST_F(VRRayCastTest, PhantomShowsFastThenFullFrame) {
  isImageData* image = keep(makePhantomImage(64, 64, 48, 2.8f, 2.8f, 4.0f));
  makeReal(image);
  EXPECT_EQ(window->getActorManager()->getVRActor(), actor);
  uint8_t grey[768];
  for (int i = 0; i < 256; ++i) grey[3 * i] = grey[3 * i + 1] = grey[3 * i + 2] = static_cast<uint8_t>(i);
  actor->setColorTable(grey);
  ASSERT_TRUE(pumpUntil([&] { return actor->getSprite()->isVisible(); }));
  EXPECT_LT(actor->getSprite()->getTexture()->getPixelsWide(), 200);
  ASSERT_TRUE(pumpUntil([&] { return actor->getSprite()->getTexture()->getPixelsWide() == 200; }));
  const auto& px = actor->getSprite()->getTexture()->getCpuPixels();
  // The body fills the middle of the view; the corner is background.
  const size_t centre = (80 * 200 + 100) * 3;
  EXPECT_GT(px[centre], 20);
  EXPECT_EQ(px[0], 0);
  EXPECT_FLOAT_EQ(actor->getSprite()->getScaleX(), 1.0f);
}

// Image changes and frame switches while frames are cast: clean under the
// address and thread sanitizers.
TEST_F(VRRayCastTest, ImageAndFrameChangesMidRender) {
  isImageData* phantom = keep(makePhantomImage(64, 64, 48, 2.8f, 2.8f, 4.0f));
  std::vector<isImageData*> frames;
  for (int i = 0; i < 3; ++i) frames.push_back(keep(makePhantomImage(64, 64, 48, 2.8f, 2.8f, 4.0f)));
  ASSERT_EQ(isImageData::createFrameSet(frames), frames[0]);
  isImageData* flat = keep(isImageData::create());
  const int32_t size[2] = {16, 16};
  const float spacing[3] = {1, 1, 1};
  flat->addSlice(size, 1, spacing, ELEMENT_INT16, 0, 0, Mat4::IDENTITY);
  ASSERT_FALSE(flat->isVolume());
  makeReal(phantom);
  for (int round = 0; round < 24; ++round) {
    window->rotateAboutUp(7.0f);
    stepFrames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    switch (round % 4) {
      case 0: actor->setImageData(frames[0]); break;
      case 1: actor->setFrameIndex(round % 3); break;
      case 2: actor->setImageData(flat); break;
      default: actor->setImageData(phantom); break;
    }
    if (round % 4 == 2) {
      EXPECT_EQ(actor->getImageData(), nullptr);
    }
  }
  actor->setImageData(frames[0]);
  actor->setFrameIndex(2);
  EXPECT_EQ(frames[0]->currentFrame, 2);
  EXPECT_EQ(actor->getVolume().voxels, frames[2]->volumeBuffer);
  actor->setFrameIndex(3);  // past the last frame: nothing changes
  EXPECT_EQ(frames[0]->currentFrame, 2);
  EXPECT_EQ(actor->getVolume().voxels, frames[2]->volumeBuffer);
  ASSERT_TRUE(pumpUntil([&] { return actor->getSprite()->isVisible(); }));
}

}  // namespace
