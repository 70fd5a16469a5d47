// Volume rendering through the actor: a 512 × 512 render window on a
// 256³ signed 16-bit CT phantom, the camera turning 3° per request.
//
//   BM_ActorFastFrame   requestRender → the fast frame on the sprite
//   BM_ActorFineFrame   requestRender → the full-quality frame on the sprite
//                       (the fast frame first, then the fine one; a changed
//                       texture after a fine frame was delivered)
//
// References in the same run, on a bare RayCastContext with the same view,
// window, colour map and worker threads:
//
//   BM_RawFastRender    one render at the image scale the fast path settled
//                       at, nearest voxel
//   BM_RawFineRender    one render at scale 1.0, trilinear
//
// The engine runs headless: a texture keeps its pixels in memory, so the
// upload is a copy and the figures show what the actor adds to the ray
// caster (hand-off, pending changes, frame copy, texture) rather than the
// GL driver.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "imaging/core/isCamera.h"
#include "imaging/view/isActorManager.h"
#include "imaging/view/isActorVR.h"
#include "test_window.h"
#include "view_support.h"

USING_NS_CC;
using namespace viewtest;
using namespace isImageSDK;

namespace {

constexpr int kSize = 512;

struct Stage {
  HeadlessEngine* engine = nullptr;
  isImageData* image = nullptr;
  TestWindow* window = nullptr;
  isActorVR* actor = nullptr;
  uint8_t colours[768];
  float settledScale = 0.1f;
  int fineFrames = 0;

  Stage() {
    engine = new HeadlessEngine(Size(kSize, kSize));
    image = makePhantomImage(256, 256, 256, 0.7f, 0.7f, 0.7f);
    window = TestWindow::create(Size(kSize, kSize));
    engine->scene->addChild(window);
    actor = window->getActorManager()->getVRActor();
    actor->setVisible(true);
    actor->setImageData(image);
    // Counts the full-quality frames that reach the sprite.
    auto shown = actor->getThreadBest()->completion;
    actor->getThreadBest()->completion = [this, shown](NSUI::NSThreadRequest* r) {
      auto* vr = dynamic_cast<isVRRequest*>(r);
      const bool fine = vr && vr->frame && !vr->cancelled;
      shown(r);
      if (fine) ++fineFrames;
    };
    for (int i = 0; i < 256; ++i) {
      colours[3 * i] = static_cast<uint8_t>(i);
      colours[3 * i + 1] = static_cast<uint8_t>(i * 0.8f);
      colours[3 * i + 2] = static_cast<uint8_t>(i * 0.6f);
    }
    actor->setColorTable(colours);
    const Vec3 centre = image->worldMatrix.transformPoint(Vec3(127.5f * 0.7f, 127.5f * 0.7f, 127.5f * 0.7f));
    window->setCameraPosition(centre + Vec3(0, 0, 1000));
    window->setCameraLookAt(centre, Vec3(0, 1, 0));
    window->setZoom(0.45f);
  }

  // Turns the camera and asks for a frame; returns once the sprite shows a
  // new texture (fine: the full-size one).
  double turnAndWait(bool fine) {
    window->rotateAboutUp(3.0f);
    // Held, so that no new texture can take its address.
    Texture2D* before = actor->getSprite()->getTexture();
    before->retain();
    const int fineBefore = fineFrames;
    const auto t0 = std::chrono::steady_clock::now();
    actor->requestRender();
    for (;;) {
      Director::getInstance()->stepFrame(1.0f / 60.0f);
      Texture2D* now = actor->getSprite()->getTexture();
      if (now != before && (!fine || fineFrames > fineBefore)) break;
      // A UI thread waits for its next frame rather than spinning.
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const auto t1 = std::chrono::steady_clock::now();
    before->release();
    return std::chrono::duration<double>(t1 - t0).count();
  }
};

Stage& stage() {
  static Stage s;
  return s;
}

void BM_ActorFastFrame(benchmark::State& state) {
  Stage& s = stage();
  for (int i = 0; i < 10; ++i) s.turnAndWait(false);  // the fast scale settles
  for (auto _ : state) state.SetIterationTime(s.turnAndWait(false));
  s.settledScale = s.actor->getContextRT()->getRenderer()->getImageScale();
  state.counters["scale"] = s.settledScale;
  state.counters["frame_px"] = static_cast<double>(s.actor->getSprite()->getTexture()->getPixelsWide());
}
BENCHMARK(BM_ActorFastFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(60);

void BM_ActorFineFrame(benchmark::State& state) {
  Stage& s = stage();
  for (auto _ : state) state.SetIterationTime(s.turnAndWait(true));
}
BENCHMARK(BM_ActorFineFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(8);

// The bare context with the actor's settings and the window's view.
struct RawContext {
  RayCastContext context;
  RayCastVolume volume;
  RawContext(Stage& s, bool fine) {
    volume = s.actor->getVolume();
    context.setVolume(&volume);
    context.setWindow(400.0f, 40.0f, 256);
    context.setColorMap(s.colours);
    context.setInterpolation(fine ? 1 : 0);
    context.setTargetFrameTime(fine ? isActorVR::kFineFrameTime : isActorVR::kFastFrameTime);
    context.setCamera(s.window->getSceneCamera(), true);
    context.render();  // tables and empty-space data built outside the timing
  }
};

void BM_RawFastRender(benchmark::State& state) {
  Stage& s = stage();
  RawContext raw(s, false);
  for (auto _ : state) {
    s.window->rotateAboutUp(3.0f);
    raw.context.setCamera(s.window->getSceneCamera(), true);
    raw.context.setImageScale(s.settledScale);
    raw.context.render();
  }
  state.counters["frame_px"] = raw.context.getImageWidth();
}
BENCHMARK(BM_RawFastRender)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(60);

void BM_RawFineRender(benchmark::State& state) {
  Stage& s = stage();
  RawContext raw(s, true);
  for (auto _ : state) {
    s.window->rotateAboutUp(3.0f);
    raw.context.setCamera(s.window->getSceneCamera(), true);
    raw.context.setImageScale(1.0f);
    raw.context.render();
  }
  state.counters["frame_px"] = raw.context.getImageWidth();
}
BENCHMARK(BM_RawFineRender)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

}  // namespace
