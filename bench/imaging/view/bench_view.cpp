// Slices on screen: four render windows of a 960 × 600 window on a
// 512 × 512 × 500 signed 16-bit phantom (acquired, sagittal, coronal plane
// and a 10 mm slab of acquired slices), each stepping one slice per frame;
// and window drags on one and on four windows.
//
// References in the same run: the raw plane updates of the same four planes
// without rendering; the plain lookup-table loop over one 512² slice; a frame
// with nothing changed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "bench_stage.h"
#include "test_window.h"
#include "view_support.h"
#include "xvfb_reexec.h"

USING_NS_CC;
using namespace viewtest;

namespace {

struct Stage {
  isImageSDK::isImageData* image = nullptr;
  TestWindow* windows[4] = {};
  isImageSDK::isActorImage* actors[4] = {};
  int counts[4] = {};
  int frame = 0;
  bool ok = false;

  Stage() {
    auto* scene = openBenchWindow("bench view", 960, 600);
    if (!scene) return;
    image = makePhantomImage(512, 512, 500, 0.5f, 0.5f, 0.6f, -128.0f, -128.0f, -150.0f);
    const Vec2 origins[4] = {Vec2(0, 302), Vec2(482, 302), Vec2(0, 0), Vec2(482, 0)};
    for (int i = 0; i < 4; ++i) {
      windows[i] = TestWindow::create(Size(478, 298));
      scene->addChild(windows[i]);
      windows[i]->setPosition(origins[i]);
      actors[i] = windows[i]->show(image);
      actors[i]->setWindow(400, 40);
    }
    actors[1]->showSagittalPlane();
    windows[1]->lookAnatomical(1);
    actors[2]->showCoronalPlane();
    windows[2]->lookAnatomical(2);
    actors[3]->setSlabThickness(10.0f);
    for (int i = 0; i < 4; ++i) counts[i] = actors[i]->getPlane()->getSliceCount();
    for (int i = 0; i < 5; ++i) Director::getInstance()->stepFrame();
    ok = true;
  }
  void stepSlices() {
    ++frame;
    for (int i = 0; i < 4; ++i) actors[i]->setSliceIndex((counts[i] / 4 + frame) % counts[i]);
  }
};

Stage& stage() {
  static Stage s;
  return s;
}

void BM_ScrollFourWindows(benchmark::State& state) {
  Stage& s = stage();
  if (!s.ok) {
    state.SkipWithError("no display");
    return;
  }
  double extraction = 0.0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    s.stepSlices();
    extraction += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    Director::getInstance()->stepFrame();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["extract_ms"] = extraction / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ScrollFourWindows)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reference: the same four planes updated without any rendering.
void BM_RawPlaneUpdates(benchmark::State& state) {
  Stage& s = stage();
  if (!s.ok) {
    state.SkipWithError("no display");
    return;
  }
  for (auto _ : state) {
    ++s.frame;
    for (int i = 0; i < 4; ++i) {
      isImageSDK::isImagePlane* plane = s.actors[i]->getPlane();
      plane->setSliceIndex((s.counts[i] / 4 + s.frame) % s.counts[i]);
      plane->update();
    }
  }
}
BENCHMARK(BM_RawPlaneUpdates)->Unit(benchmark::kMillisecond)->UseRealTime();

// The CPU mapping with upload of the four current slices.
void BM_MapAndUploadFour(benchmark::State& state) {
  Stage& s = stage();
  if (!s.ok) {
    state.SkipWithError("no display");
    return;
  }
  for (auto _ : state) {
    for (int i = 0; i < 4; ++i) s.actors[i]->getImageNode()->refreshTexture();
    glFinish();
  }
}
BENCHMARK(BM_MapAndUploadFour)->Unit(benchmark::kMillisecond)->UseRealTime();

void windowDrag(benchmark::State& state, int windows) {
  Stage& s = stage();
  if (!s.ok) {
    state.SkipWithError("no display");
    return;
  }
  int step = 0;
  for (auto _ : state) {
    ++step;
    for (int i = 0; i < windows; ++i) s.actors[i]->setWindow(400.0f + static_cast<float>(step % 50), 40.0f);
    Director::getInstance()->stepFrame();
  }
}
void BM_WindowDragOne(benchmark::State& state) { windowDrag(state, 1); }
void BM_WindowDragFour(benchmark::State& state) { windowDrag(state, 4); }
BENCHMARK(BM_WindowDragOne)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowDragFour)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reference: a frame with nothing changed.
void BM_UnchangedFrame(benchmark::State& state) {
  Stage& s = stage();
  if (!s.ok) {
    state.SkipWithError("no display");
    return;
  }
  for (auto _ : state) Director::getInstance()->stepFrame();
}
BENCHMARK(BM_UnchangedFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reference: the plain lookup-table loop over one 512² slice into RGB.
void BM_LookupLoop(benchmark::State& state) {
  Stage& s = stage();
  if (!s.ok) {
    state.SkipWithError("no display");
    return;
  }
  isImageSDK::isClut* clut = s.actors[0]->getClut();
  clut->setValueType(isImageSDK::ELEMENT_INT16);
  clut->updateLookupTable();
  const int16_t* px = static_cast<const int16_t*>(s.image->volumeBuffer) + 250 * 512 * 512;
  std::vector<uint8_t> rgb(512 * 512 * 3);
  for (auto _ : state) {
    const uint8_t* table = clut->lookupTable;
    const uint32_t* colours = clut->colorTable;
    for (int i = 0; i < 512 * 512; ++i) {
      const uint32_t c = colours[table[px[i] + 32768]];
      rgb[3 * i] = static_cast<uint8_t>(c >> 24);
      rgb[3 * i + 1] = static_cast<uint8_t>(c >> 16);
      rgb[3 * i + 2] = static_cast<uint8_t>(c >> 8);
    }
    benchmark::DoNotOptimize(rgb.data());
  }
}
BENCHMARK(BM_LookupLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
