// Volume rendering through the actor: a 512 × 512 render window on a
// 512 × 512 × 300 signed 16-bit CT phantom (0.7 × 0.7 × 1 mm), the camera
// turning 3° per request. The first argument P of every case is the window:
// 0 soft tissue (400/40), 1 bone (1000/1000).
//
//   BM_ActorFastFrame   camera change + requestRender → the fast frame's
//                       texture on the sprite (latency); counters: the image
//                       scale the fast path settled at, the frame width
//   BM_ActorOrbit       a continuous orbit: the camera turns and asks for a
//                       frame on every UI step; one iteration per fast frame
//                       that reaches the sprite (its interval), counters: the
//                       fast-frame rate and the scale at the end
//   BM_ActorFineFrame   requestRender → the full-quality frame on the sprite
//                       (the fast frame first, then the fine one; a changed
//                       texture after a fine frame was delivered)
//
// References in the same run, on a bare RayCastContext with the same view,
// window, colour map and worker threads:
//
//   BM_RawFastRender/P/0  one render at the image scale the fast path
//                       settled at after single turns, nearest voxel
//   BM_RawFastRender/P/1  the same at the scale the orbit ended at
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
constexpr int kNx = 512, kNy = 512, kNz = 300;
constexpr float kSx = 0.7f, kSy = 0.7f, kSz = 1.0f;

struct Stage {
  HeadlessEngine* engine = nullptr;
  isImageData* image = nullptr;
  TestWindow* window = nullptr;
  isActorVR* actor = nullptr;
  uint8_t colours[768];
  // Per window preset (the benchmark's first argument): 0 soft tissue,
  // where the body stops most rays early; 1 bone, where water, fat and lung
  // are clear and rays cross the whole body.
  static constexpr float kWidth[2] = {400.0f, 1000.0f}, kCentre[2] = {40.0f, 1000.0f};
  int preset = 0;
  float settledScale[2] = {0.1f, 0.1f};  // after single turns
  float orbitScale[2] = {0.1f, 0.1f};    // at the end of the orbit
  int fineFrames = 0;

  Stage() {
    engine = new HeadlessEngine(Size(kSize, kSize));
    image = makePhantomImage(kNx, kNy, kNz, kSx, kSy, kSz, -0.5f * kNx * kSx, -0.5f * kNy * kSy, -0.5f * kNz * kSz);
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
    const Vec3 centre = image->worldMatrix.transformPoint(
        Vec3((kNx - 1) * 0.5f * kSx, (kNy - 1) * 0.5f * kSy, (kNz - 1) * 0.5f * kSz));
    window->setCameraPosition(centre + Vec3(0, 0, 1000));
    window->setCameraLookAt(centre, Vec3(0, 1, 0));
    // 0.95 mm a pixel: the volume fills most of the window at every angle.
    window->setZoom(0.95f);
  }

  void usePreset(int p) {
    preset = p;
    actor->getContextRT()->setWindow(kWidth[p], kCentre[p]);
    actor->getContextBest()->setWindow(kWidth[p], kCentre[p]);
  }

  // Turns the camera and asks for a frame; returns once the sprite shows a
  // new texture (fine: the full-size one).
  // fastSeconds, when given, receives the time to the first new texture.
  double turnAndWait(bool fine, double* fastSeconds = nullptr) {
    window->rotateAboutUp(3.0f);
    // Held, so that no new texture can take its address.
    Texture2D* before = actor->getSprite()->getTexture();
    if (before) before->retain();
    const int fineBefore = fineFrames;
    const auto t0 = std::chrono::steady_clock::now();
    actor->requestRender();
    for (;;) {
      Director::getInstance()->stepFrame(1.0f / 60.0f);
      Texture2D* now = actor->getSprite()->getTexture();
      if (fastSeconds && *fastSeconds == 0 && now != before)
        *fastSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      if (now != before && (!fine || fineFrames > fineBefore)) break;
      // A UI thread waits for its next frame rather than spinning.
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const auto t1 = std::chrono::steady_clock::now();
    if (before) before->release();
    return std::chrono::duration<double>(t1 - t0).count();
  }
};

Stage& stage() {
  static Stage s;
  return s;
}

void BM_ActorFastFrame(benchmark::State& state) {
  Stage& s = stage();
  s.usePreset(static_cast<int>(state.range(0)));
  for (int i = 0; i < 10; ++i) s.turnAndWait(false);  // the fast scale settles
  for (auto _ : state) state.SetIterationTime(s.turnAndWait(false));
  s.settledScale[s.preset] = s.actor->getContextRT()->getRenderer()->getImageScale();
  state.counters["scale"] = s.settledScale[s.preset];
  state.counters["frame_px"] = static_cast<double>(s.actor->getSprite()->getTexture()->getPixelsWide());
}
BENCHMARK(BM_ActorFastFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(60);

// A drag that never pauses: on every UI step (a tenth of a millisecond
// apart, faster than any pointer) the camera turns a little and a frame is
// asked for. The render thread keeps only the newest request, so the
// interval between two fast frames on the sprite is one render plus what
// the actor adds between renders.
void BM_ActorOrbit(benchmark::State& state) {
  Stage& s = stage();
  s.usePreset(static_cast<int>(state.range(0)));
  using Clock = std::chrono::steady_clock;
  Texture2D* shown = s.actor->getSprite()->getTexture();
  if (shown) shown->retain();
  auto step = [&]() {
    s.window->rotateAboutUp(0.01f);
    s.actor->requestRender();
    Director::getInstance()->stepFrame(1.0f / 60.0f);
    Texture2D* now = s.actor->getSprite()->getTexture();
    if (now == shown) return false;
    if (now) now->retain();
    if (shown) shown->release();
    shown = now;
    return true;
  };
  // Into the orbit first: the scale settles under continuous requests.
  for (int frames = 0; frames < 10;) {
    if (step()) ++frames;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  const auto start = Clock::now();
  auto last = start;
  int64_t frames = 0;
  for (auto _ : state) {
    for (;;) {
      const bool delivered = step();
      if (delivered) break;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const auto now = Clock::now();
    state.SetIterationTime(std::chrono::duration<double>(now - last).count());
    last = now;
    ++frames;
  }
  const double seconds = std::chrono::duration<double>(last - start).count();
  if (shown) shown->release();
  // Let the last frames and the fine frame finish before the next case.
  for (int i = 0; i < 200; ++i) {
    Director::getInstance()->stepFrame(1.0f / 60.0f);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  state.counters["fps"] = seconds > 0 ? frames / seconds : 0.0;
  s.orbitScale[s.preset] = s.actor->getContextRT()->getRenderer()->getImageScale();
  state.counters["scale"] = s.orbitScale[s.preset];
}
BENCHMARK(BM_ActorOrbit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(100);

void BM_ActorFineFrame(benchmark::State& state) {
  Stage& s = stage();
  s.usePreset(static_cast<int>(state.range(0)));
  for (auto _ : state) state.SetIterationTime(s.turnAndWait(true));
}
BENCHMARK(BM_ActorFineFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(8);

// Same as BM_ActorFastFrame against BM_RawFastRender, but alternating in
// one loop, so that both see the same load on the machine: each iteration
// turns the camera, times the fast frame to the sprite from an idle actor,
// lets the fine frame of that view land (untimed), then times one bare
// render of the same view at the scale the fast path used. The iteration
// time is the actor's; counters: raw_ms and actor_over_raw.
void BM_ActorOverRaw(benchmark::State& state);

// The bare context with the actor's settings and the window's view.
struct RawContext {
  RayCastContext context;
  RayCastVolume volume;
  RawContext(Stage& s, int preset, bool fine) {
    volume = s.actor->getVolume();
    context.setVolume(&volume);
    context.setWindow(Stage::kWidth[preset], Stage::kCentre[preset], 256);
    context.setColorMap(s.colours);
    context.setInterpolation(fine ? 1 : 0);
    context.setTargetFrameTime(fine ? isActorVR::kFineFrameTime : isActorVR::kFastFrameTime);
    context.setCamera(s.window->getSceneCamera(), true);
    context.render();  // tables and empty-space data built outside the timing
  }
};

void BM_RawFastRender(benchmark::State& state) {
  Stage& s = stage();
  const int preset = static_cast<int>(state.range(0));
  RawContext raw(s, preset, false);
  // Second argument 0: the scale single turns settled at; 1: the scale at
  // the end of the orbit.
  const float scale = state.range(1) == 0 ? s.settledScale[preset] : s.orbitScale[preset];
  for (auto _ : state) {
    s.window->rotateAboutUp(3.0f);
    raw.context.setCamera(s.window->getSceneCamera(), true);
    raw.context.setImageScale(scale);
    raw.context.render();
  }
  state.counters["scale"] = scale;
  state.counters["frame_px"] = raw.context.getImageWidth();
}
BENCHMARK(BM_RawFastRender)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(60);

void BM_RawFineRender(benchmark::State& state) {
  Stage& s = stage();
  RawContext raw(s, static_cast<int>(state.range(0)), true);
  for (auto _ : state) {
    s.window->rotateAboutUp(3.0f);
    raw.context.setCamera(s.window->getSceneCamera(), true);
    raw.context.setImageScale(1.0f);
    raw.context.render();
  }
  state.counters["frame_px"] = raw.context.getImageWidth();
}
void BM_ActorOverRaw(benchmark::State& state) {
  Stage& s = stage();
  const int preset = static_cast<int>(state.range(0));
  s.usePreset(preset);
  RawContext raw(s, preset, false);
  for (int i = 0; i < 10; ++i) s.turnAndWait(false);  // the fast scale settles
  s.turnAndWait(true);                                 // idle
  double actor = 0, bare = 0;
  for (auto _ : state) {
    // The scale this fast frame renders at.
    const float scale = s.actor->getContextRT()->getRenderer()->getImageScale();
    double fast = 0;
    s.turnAndWait(true, &fast);
    raw.context.setCamera(s.window->getSceneCamera(), true);
    raw.context.setImageScale(scale);
    const auto t0 = std::chrono::steady_clock::now();
    raw.context.render();
    const double r = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(fast);
    actor += fast;
    bare += r;
  }
  state.counters["scale"] = s.actor->getContextRT()->getRenderer()->getImageScale();
  state.counters["raw_ms"] = 1000.0 * bare / static_cast<double>(state.iterations());
  state.counters["actor_over_raw"] = bare > 0 ? actor / bare : 0.0;
}
BENCHMARK(BM_ActorOverRaw)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);

BENCHMARK(BM_RawFineRender)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

}  // namespace
