// Slice program against CPU mapping, per frame: two render windows side by
// side (478 × 598 each, in a 960 × 600 window) show the same 512 × 512
// signed 16-bit slice of the CT phantom; the left one maps through the
// slice program, the right one on the CPU.
//
// Each benchmark times three kinds of frame in the same iterations (frame,
// then glFinish, so that software GL's work counts):
//   - unchanged: nothing changes (the reference);
//   - shader: the left window's window width changes (a window drag);
//   - cpu: the right window's window width changes.
// and reports their means and the ratios to the unchanged frame. The
// scrolling benchmark does the same with a slice step in place of the
// window change (2 bytes per texel uploaded against 3 plus the mapping).
//
// Software GL frames are slow: the seconds-per-frame figure is held at 0 so
// that the program path is not switched off during the run.
#include <benchmark/benchmark.h>

#include <chrono>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "imaging/view/isNodeImageByShader.h"
#include "bench_stage.h"
#include "test_window.h"
#include "view_support.h"
#include "xvfb_reexec.h"

USING_NS_CC;
using isImageSDK::isNodeImageByShader;
using namespace viewtest;

namespace {

struct Stage {
  isImageSDK::isImageData* image = nullptr;
  TestWindow* windows[2] = {};
  isImageSDK::isActorImage* actors[2] = {};
  int sliceCount = 0;
  bool ok = false;

  Stage() {
    auto* scene = openBenchWindow("bench shader slices", 960, 600);
    if (!scene) return;
    Director::getInstance()->setSecondsPerFrameOverride(0.0f);
    image = makePhantomImage(512, 512, 300, 0.5f, 0.5f, 0.6f, -128.0f, -128.0f, -90.0f);
    for (int i = 0; i < 2; ++i) {
      isNodeImageByShader::shaderProgramEnabled = i == 0 ? 1 : 0;
      windows[i] = TestWindow::create(Size(478, 598));
      scene->addChild(windows[i]);
      windows[i]->setPosition(Vec2(i * 482.0f, 1.0f));
      actors[i] = windows[i]->show(image);
      actors[i]->setWindow(400, 40);
    }
    isNodeImageByShader::shaderProgramEnabled = 1;
    auto* left = dynamic_cast<isNodeImageByShader*>(actors[0]->getImageNode());
    auto* right = dynamic_cast<isNodeImageByShader*>(actors[1]->getImageNode());
    if (!left || left->isOnCpuPath() || (right && !right->isOnCpuPath())) return;
    sliceCount = actors[0]->getPlane()->getSliceCount();
    for (int i = 0; i < 5; ++i) Director::getInstance()->stepFrame();
    ok = true;
  }
};

Stage& stage() {
  static Stage s;
  return s;
}

double timedFrame() {
  const auto t0 = std::chrono::steady_clock::now();
  Director::getInstance()->stepFrame();
  glFinish();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// One iteration: an unchanged frame, a frame with `change` on the program
// window, a frame with `change` on the CPU window.
template <class Change>
void compare(benchmark::State& state, Change change) {
  Stage& s = stage();
  if (!s.ok) {
    state.SkipWithError("no display or no slice program");
    return;
  }
  double unchanged = 0.0, shader = 0.0, cpu = 0.0;
  int step = 0;
  for (auto _ : state) {
    ++step;
    unchanged += timedFrame();
    change(s, 0, step);
    shader += timedFrame();
    change(s, 1, step);
    cpu += timedFrame();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["unchanged_ms"] = unchanged / n;
  state.counters["shader_ms"] = shader / n;
  state.counters["cpu_ms"] = cpu / n;
  state.counters["shader_vs_unchanged"] = shader / unchanged;
  state.counters["cpu_vs_unchanged"] = cpu / unchanged;
  state.counters["shader_vs_cpu"] = shader / cpu;
}

void BM_WindowDragShaderVsCpu(benchmark::State& state) {
  compare(state, [](Stage& s, int w, int step) { s.actors[w]->setWindow(400.0f + static_cast<float>(step % 50), 40.0f); });
}
BENCHMARK(BM_WindowDragShaderVsCpu)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScrollShaderVsCpu(benchmark::State& state) {
  compare(state, [](Stage& s, int w, int step) {
    s.actors[w]->setSliceIndex((s.sliceCount / 4 + step) % s.sliceCount);
  });
}
BENCHMARK(BM_ScrollShaderVsCpu)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
