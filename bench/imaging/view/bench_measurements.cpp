// Measurements on screen: one 800 × 600 render window on a 256² slice of
// the CT phantom, frames with 100 measurements on the shown slice (40
// lines, 30 circles with statistics, 30 polygons of 20 vertices) against
// the same frames without them, standing still and during a pan, which
// redraws every measurement each frame (labels follow the view).
//
// process_ms is the CPU time of the whole process per frame (the software
// rasterizer's threads included), steadier than the wall time when the
// machine is shared; commands and draws count the last frame's render
// commands and GL draws.
//
// References in the same run: BM_StillWithout and BM_PanWithout, the same
// frames before any measurement exists. Goal: a pan frame with the
// measurements within 1.5 × a pan frame without.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "engine/cocos2d.h"
#include "engine/base/ccUtils.h"
#include "engine/platform/GLViewImpl.h"
#include "imaging/core/isROIManager.h"
#include "imaging/view/isActorROI.h"
#include "bench_stage.h"
#include "test_window.h"
#include "view_support.h"
#include "xvfb_reexec.h"

USING_NS_CC;
using namespace viewtest;
using namespace isImageSDK;

namespace {

struct Stage {
  isImageData* image = nullptr;
  TestWindow* window = nullptr;
  isActorImage* actor = nullptr;
  Vec3 target;
  int frame = 0;
  bool ok = false;
  bool measured = false;

  Stage() {
    auto* scene = openBenchWindow("bench measurements", 800, 600);
    if (!scene) return;
    image = makePhantomImage(256, 256, 20, 0.7f, 0.7f, 1.25f, -89.6f, -89.6f, -12.5f);
    window = TestWindow::create(Size(800, 600));
    scene->addChild(window);
    actor = window->show(image);
    actor->setWindow(400, 40);
    target = window->getCameraTarget();
    for (int i = 0; i < 5; ++i) Director::getInstance()->stepFrame();
    ok = true;
  }
  Vec3 world(float i, float j) const {
    const SliceRecord* r = actor->getOutputSliceInfo();
    return r->matrix.transformPoint(Vec3(i * r->spacingX, j * r->spacingY, 0));
  }
  // 100 measurements on the shown slice, then frames until every circle and
  // polygon has its statistics (one request per frame).
  void addMeasurements() {
    if (measured) return;
    measured = true;
    isActorROI* rois = window->getROIActor();
    for (int k = 0; k < 100; ++k) {
      const float i = 20.0f + static_cast<float>(k % 10) * 22.0f, j = 20.0f + static_cast<float>(k / 10) * 22.0f;
      if (k % 10 < 4) {
        isActorROILine* a = rois->createLineROI(world(i, j));
        a->selectedPoint = 1;
        a->moveSelectedPoint(world(i + 15, j + 8));
        a->selectedPoint = -1;
      } else if (k % 10 < 7) {
        isActorROICircle* a = rois->createCircleROI(world(i + 8, j + 8));
        a->moveSelectedPoint(world(i + 15, j + 8));
        a->selectedPoint = -1;
      } else {
        isActorROIPolygon* a = rois->createPolygonROI(world(i + 8, j), world(i + 8, j));
        auto* poly = static_cast<ROIPolygon*>(a->getROIData());
        poly->vertices.clear();
        for (int v = 0; v < 20; ++v) {
          const float t = static_cast<float>(v) * 6.2831853f / 20.0f;
          poly->vertices.push_back(world(i + 8 + 7 * std::cos(t), j + 8 + 7 * std::sin(t)));
        }
        a->closed = true;
        a->selectedPoint = -1;
        a->dirty = true;
      }
    }
    for (int n = 0; n < 600; ++n) Director::getInstance()->stepFrame();
    // FW_BENCH_SHOT=file.jpg keeps this frame, to compare the pictures of
    // two builds.
    if (const char* shot = std::getenv("FW_BENCH_SHOT")) {
      cocos2d::utils::captureScreen([](bool, const std::string&) {}, shot);
      for (int n = 0; n < 3; ++n) Director::getInstance()->stepFrame();
    }
  }
  void panStep() {
    ++frame;
    window->setCameraTarget(target + Vec3(static_cast<float>(frame % 20) * 0.5f, 0, 0));
    Director::getInstance()->stepFrame();
  }
};

// CPU time of the whole process (the UI thread and the software
// rasterizer's threads), milliseconds.
double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// Reports the process CPU per frame next to the wall time, which other
// load on the machine disturbs more.
struct ProcessCpu {
  benchmark::State& state;
  double start = processCpuMs();
  explicit ProcessCpu(benchmark::State& s) : state(s) {}
  ~ProcessCpu() {
    if (state.iterations() == 0) return;
    state.counters["process_ms"] = (processCpuMs() - start) / static_cast<double>(state.iterations());
    // Of the last frame: commands submitted and draws made.
    Renderer* r = Director::getInstance()->getRenderer();
    state.counters["commands"] = static_cast<double>(r->getSubmittedCommandCount());
    state.counters["draws"] = static_cast<double>(r->getDrawnBatches());
  }
};

Stage& stage() {
  static Stage s;
  return s;
}

void still(benchmark::State& state, bool with) {
  Stage& s = stage();
  if (!s.ok) {
    state.SkipWithError("no display");
    return;
  }
  if (with) s.addMeasurements();
  ProcessCpu cpu(state);
  for (auto _ : state) Director::getInstance()->stepFrame();
}

void pan(benchmark::State& state, bool with) {
  Stage& s = stage();
  if (!s.ok) {
    state.SkipWithError("no display");
    return;
  }
  if (with) s.addMeasurements();
  ProcessCpu cpu(state);
  for (auto _ : state) s.panStep();
}

void BM_StillWithout(benchmark::State& state) { still(state, false); }
void BM_PanWithout(benchmark::State& state) { pan(state, false); }
void BM_StillWith100(benchmark::State& state) { still(state, true); }
void BM_PanWith100(benchmark::State& state) { pan(state, true); }
BENCHMARK(BM_StillWithout)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PanWithout)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StillWith100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PanWith100)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
