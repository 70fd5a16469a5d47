// Scrolling a plane of "mpr3d": the CT phantom of 500 slices of 512 × 512
// (written, scanned and read with all its pixels before timing) in the
// layout's four quarters; one wheel notch per frame over the axial cell,
// then over the sagittal cell, pushed into the window's SDL queue so that
// every step takes the real path (window, cell, multi-view, linked cells).
//
// References, in the same run: the idle frame of the same layout (nothing
// changes; blocks of 30 frames before, between every 50 scrolling frames
// and after them), and the plane extractions a step needs, timed alone: the
// scrolled plane, taken by an isImagePlane on the same volume at the same
// successive indices. Goal: a scrolling frame costs at most
// idle + 1.5 × extraction. The volume cell must render no frame while only
// 2-D cells scroll: volume_frames counts the frames it showed meanwhile.
//
// Counters (medians over the steps): frame_ms, idle_ms, extract_ms (the
// scrolled plane), goal_ms, ratio = (frame − idle) / extract, cpu_ms and
// idle_cpu_ms (the UI thread's own CPU time in a frame),
// volume_frames, steps (slices the cell moved). The manual time is the
// frame's.
//
// Needs an X display. Without DISPLAY the benchmark re-runs itself under
//   xvfb-run -a -s "-screen 0 1280x800x24"
// and does nothing when xvfb-run is missing. BENCH_MPR_SLICES and
// BENCH_MPR_SIZE set another phantom (500 and 512 by default).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/core/isImagePlane.h"
#include "support/scratch_folder.h"
#include "support/viewer_harness.h"
#include "tools/dcmfixtures/phantoms.h"
#include "viewer_bench_clock.h"
#include "viewer_bench_frames.h"
#include "xvfb_reexec.h"

using namespace isImageSDK;
using viewerbench::Clock;

namespace {

constexpr int kWidth = 1000, kHeight = 800;

int envInt(const char* name, int fallback, int least) {
  const char* env = std::getenv(name);
  const int n = env ? std::atoi(env) : 0;
  return n >= least ? n : fallback;
}

using viewerbench::median;
using viewerbench::msSince;
using viewerbench::threadCpuMs;

// The window with the phantom in "mpr3d"; null without a display. Made
// once and kept to the end of the program.
fwtest::ViewerHarness* stage() {
  static fwtest::ViewerHarness* h = [] () -> fwtest::ViewerHarness* {
    auto* s = new fwtest::ViewerHarness();
    if (!s->open("bench_mpr_scroll", kWidth, kHeight)) return nullptr;
    const std::string t = fwtest::programScratchFolder("mpr-scroll-bench");
    cocos2d::FileUtils::getInstance()->setWritablePath(t);
    dcmfixtures::CtPhantom p;
    p.width = p.height = envInt("BENCH_MPR_SIZE", 512, 32);
    p.slices = envInt("BENCH_MPR_SLICES", 500, 16);
    const std::string folder = t + "kq/dicom/ct/";
    dcmfixtures::writeCtPhantom(folder, p);
    if (!s->openSeries({folder})) {
      std::fprintf(stderr, "bench_mpr_scroll: %s\n", s->lastError.c_str());
      return nullptr;
    }
    s->show(s->image(0), LAYOUT_MPR3D);
    if (s->cells().size() != 4) return nullptr;
    s->waitForVolume(fwtest::ViewerHarness::volumeOf(s->cellOfKind(VIEW_KIND_VR)));
    return s;
  }();
  return h;
}


// The plane extraction alone: orientation `plane`, indices first, first ± 1,
// ... as the scroll visits them.
double extraction(isImageData* volume, int plane, const std::vector<int>& indices) {
  isImagePlane* p = isImagePlane::create();
  p->setInputData(volume);
  p->setOrientation(plane);
  std::vector<double> t;
  for (int index : indices) {
    const auto t0 = Clock::now();
    p->setSliceIndex(index);
    p->update();
    t.push_back(msSince(t0));
  }
  p->setInputData(nullptr);
  p->release();
  return median(t);
}

void BM_MprScroll(benchmark::State& st) {
  fwtest::ViewerHarness* h = stage();
  if (!h) {
    st.SkipWithError("no display or no series");
    return;
  }
  const int kind = static_cast<int>(st.range(0));
  KeyViewProperty* cell = h->cellOfKind(kind);
  isViewerImage* viewer = fwtest::ViewerHarness::imageViewerOf(cell);
  if (!viewer) {
    st.SkipWithError("no cell of that kind");
    return;
  }
  isViewerVR* vr = fwtest::ViewerHarness::volumeOf(h->cellOfKind(VIEW_KIND_VR));
  h->waitForVolume(vr);
  // Idle frames in blocks between the scrolling ones, so that both see the
  // same load of the machine.
  viewerbench::IdleFrames idle;
  idle.block(h);

  // One notch per frame, away from the user until the last plane is near,
  // then back.
  if (!h->pointerTo(fwtest::ViewerHarness::centreOf(fwtest::ViewerHarness::rectOf(viewer)))) {
    st.SkipWithError("the pointer did not move");
    return;
  }
  const int count = viewer->getSliceCount();
  int direction = 1;
  std::vector<double> frames, cpu;
  std::vector<int> visited;
  viewerbench::VolumeFrames volume(vr);
  const int start = viewer->imageActor->getSliceIndex();
  int n = 0;
  for (auto _ : st) {
    if (++n % 50 == 0) {
      idle.block(h);
      volume.poll();
    }
    const int index = viewer->imageActor->getSliceIndex();
    if (index >= count - 2) direction = -1;
    if (index <= 1) direction = 1;
    h->wheel(cocos2d::Vec2::ZERO, direction, true);
    const auto t0 = Clock::now();
    const double c0 = threadCpuMs();
    h->frames(1);
    const double ms = msSince(t0);
    cpu.push_back(threadCpuMs() - c0);
    volume.poll();
    frames.push_back(ms);
    visited.push_back(viewer->imageActor->getSliceIndex());
    st.SetIterationTime(ms / 1000.0);
  }
  const int moved = static_cast<int>(std::count_if(visited.begin(), visited.end(), [&, prev = start](int i) mutable {
    const bool m = i != prev;
    prev = i;
    return m;
  }));
  idle.block(h);
  const int plane = viewer->imageActor->getPlaneOrientation();
  const double extract = extraction(viewer->getImageData(), plane, visited);
  const double frame = median(frames);
  st.counters["frame_ms"] = frame;
  const double idleMs = median(idle.wall);
  st.counters["idle_ms"] = idleMs;
  st.counters["extract_ms"] = extract;
  st.counters["goal_ms"] = idleMs + 1.5 * extract;
  st.counters["ratio"] = extract > 0 ? (frame - idleMs) / extract : 0.0;
  st.counters["cpu_ms"] = median(cpu);
  st.counters["idle_cpu_ms"] = median(idle.cpu);
  st.counters["volume_frames"] = volume.count;
  st.counters["steps"] = moved;
  st.SetLabel(kind == VIEW_KIND_AXIAL ? "axial cell" : "sagittal cell");
}
BENCHMARK(BM_MprScroll)
    ->Arg(VIEW_KIND_AXIAL)
    ->Arg(VIEW_KIND_SAGITTAL)
    ->Iterations(300)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
