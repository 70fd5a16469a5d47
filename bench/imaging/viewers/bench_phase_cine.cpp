// Phase cine of a 4-D series: the dynamic PET of 20 phases of 64 slices of
// 256 × 256 (written, scanned, read with all its pixels and split into its
// frames before timing) in "2dview" and in "mpr3d"; every frame the
// multi-view shows the next phase (after the last, the first), as the 4-D
// strip's next button does.
//
// Reference, in the same run (idle blocks of 30 frames before, between
// every 50 cine frames and after them): the idle frame of the same layout plus the
// extraction of the planes shown, taken alone from the next phase by an
// isImagePlane (2dview: the axial plane; mpr3d: axial, coronal and
// sagittal). Goal: the 2-D cells keep within 1.5 × that reference.
// The volume cell renders on its own threads and must never hold the UI
// thread: its frames are reported apart (volume_frames, volume_fps), with
// the slowest UI frame of the run (max_frame_ms). A third run shows
// "mpr3d" with the volume cell's actor hidden (it renders nothing), to tell
// what the volume's threads cost the 2-D cells.
//
// Counters: phases_per_s (from the median frame), frame_ms, idle_ms,
// extract_ms, reference_ms = idle + extract, ratio = frame / reference,
// max_frame_ms, first_frame_ms, slow_frames (above twice the median),
// waits and preempted (the UI thread's voluntary and involuntary context
// switches per frame; idle_waits, idle_preempted in the idle blocks),
// cpu_ms and idle_cpu_ms (the UI thread's own CPU time in a
// frame), volume_frames, volume_fps. The manual time is the frame's.
//
// Needs an X display. Without DISPLAY the benchmark re-runs itself under
//   xvfb-run -a -s "-screen 0 1280x800x24"
// and does nothing when xvfb-run is missing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <sys/resource.h>

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

using viewerbench::median;
using viewerbench::msSince;
using viewerbench::threadCpuMs;

fwtest::ViewerHarness* stage() {
  static fwtest::ViewerHarness* h = []() -> fwtest::ViewerHarness* {
    auto* s = new fwtest::ViewerHarness();
    if (!s->open("bench_phase_cine", kWidth, kHeight)) return nullptr;
    const std::string t = fwtest::programScratchFolder("phase-cine-bench");
    cocos2d::FileUtils::getInstance()->setWritablePath(t);
    dcmfixtures::Pet4d p;
    p.width = p.height = 256;
    p.slices = 64;
    p.phases = 20;
    const std::string folder = t + "kq/dicom/pt4d/";
    dcmfixtures::write4dPet(folder, p);
    if (!s->openSeries({folder})) {
      std::fprintf(stderr, "bench_phase_cine: %s\n", s->lastError.c_str());
      return nullptr;
    }
    if (!s->image(0)->isMultiFrame()) return nullptr;
    return s;
  }();
  return h;
}

// Context switches of the calling thread so far: voluntary (it waited: a
// lock, a fence, the X server) and involuntary (its core was taken).
void contextSwitches(long& waited, long& preempted) {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  waited = u.ru_nvcsw;
  preempted = u.ru_nivcsw;
}


// The planes the 2-D cells show, extracted alone from frame `phase`.
double extraction(isImageData* data, const std::vector<isViewerImage*>& viewers, int phase) {
  isImageData* frame = data->getFirstFrame()->getFrame(phase);
  if (!frame) return 0.0;
  const auto t0 = Clock::now();
  for (isViewerImage* v : viewers) {
    isImagePlane* p = isImagePlane::create();
    p->setInputData(frame);
    p->setOrientation(v->imageActor->getPlaneOrientation());
    p->setSliceIndex(v->imageActor->getSliceIndex());
    p->update();
    p->setInputData(nullptr);
    p->release();
  }
  return msSince(t0);
}

void BM_PhaseCine(benchmark::State& st) {
  fwtest::ViewerHarness* h = stage();
  if (!h) {
    st.SkipWithError("no display or no series");
    return;
  }
  const int layout = static_cast<int>(st.range(0));
  isImageData* data = h->image(0);
  h->show(data, layout);
  isViewerMulti* multi = h->multi();
  isViewerVR* vr = fwtest::ViewerHarness::volumeOf(h->cellOfKind(VIEW_KIND_VR));
  if (vr) h->waitForVolume(vr);
  // The diagnostic run: the volume cell stops rendering (its actor hidden),
  // to tell what its threads cost the 2-D cells' frames.
  const bool volumeOff = st.range(1) == 1;
  if (vr && volumeOff) vr->getVolumeActor()->setVisible(false);
  std::vector<isViewerImage*> viewers;
  for (KeyViewProperty* c : h->cells())
    if (isViewerImage* v = fwtest::ViewerHarness::imageViewerOf(c)) viewers.push_back(v);

  // Idle frames in blocks between the cine's, so that both see the same
  // load of the machine.
  viewerbench::IdleFrames idle;
  idle.block(h);
  std::vector<double> extract;
  const int phases = data->getFirstFrame()->frameCount;
  for (int k = 0; k < phases; ++k) extract.push_back(extraction(data, viewers, (k + 1) % phases));

  std::vector<double> frames, cpu;
  viewerbench::VolumeFrames volume(vr);
  double paused = 0;
  long waited0 = 0, preempted0 = 0, waited1 = 0, preempted1 = 0, waitedIdle = 0, preemptedIdle = 0;
  const auto start = Clock::now();
  int n = 0;
  long waitedTotal = 0, preemptedTotal = 0;
  for (auto _ : st) {
    if (++n % 50 == 0) {
      const auto pause = Clock::now();
      long w0, p0, w1, p1;
      contextSwitches(w0, p0);
      idle.block(h);
      contextSwitches(w1, p1);
      waitedIdle += w1 - w0;
      preemptedIdle += p1 - p0;
      volume.poll();
      paused += msSince(pause);
    }
    const int next = h->getManager()->hasNextPhase() ? h->getManager()->getPhaseIndex() + 1 : 0;
    const auto t0 = Clock::now();
    const double c0 = threadCpuMs();
    contextSwitches(waited0, preempted0);
    multi->setPhase(next);
    h->frames(1);
    const double ms = msSince(t0);
    cpu.push_back(threadCpuMs() - c0);
    contextSwitches(waited1, preempted1);
    waitedTotal += waited1 - waited0;
    preemptedTotal += preempted1 - preempted0;
    volume.poll();
    frames.push_back(ms);
    st.SetIterationTime(ms / 1000.0);
  }
  idle.block(h);
  const double seconds = (msSince(start) - paused) / 1000.0;
  const double frame = median(frames);
  const double reference = median(idle.wall) + median(extract);
  st.counters["phases_per_s"] = frame > 0 ? 1000.0 / frame : 0.0;
  st.counters["frame_ms"] = frame;
  st.counters["idle_ms"] = median(idle.wall);
  st.counters["extract_ms"] = median(extract);
  st.counters["reference_ms"] = reference;
  st.counters["ratio"] = reference > 0 ? frame / reference : 0.0;
  st.counters["max_frame_ms"] = frames.empty() ? 0.0 : *std::max_element(frames.begin(), frames.end());
  st.counters["slow_frames"] =
      static_cast<double>(std::count_if(frames.begin(), frames.end(), [frame](double f) { return f > 2 * frame; }));
  st.counters["first_frame_ms"] = frames.empty() ? 0.0 : frames.front();
  // Per frame: the UI thread's waits and the times its core was taken.
  const double cine = static_cast<double>(std::max<size_t>(1, frames.size()));
  const double idleFrames = 30.0 * std::max(1, n / 50);
  st.counters["waits"] = waitedTotal / cine;
  st.counters["preempted"] = preemptedTotal / cine;
  st.counters["idle_waits"] = waitedIdle / idleFrames;
  st.counters["idle_preempted"] = preemptedIdle / idleFrames;
  st.counters["cpu_ms"] = median(cpu);
  st.counters["idle_cpu_ms"] = median(idle.cpu);
  st.counters["volume_frames"] = volume.count;
  st.counters["volume_fps"] = seconds > 0 ? volume.count / seconds : 0.0;
  st.SetLabel(std::string(layoutName(layout)) + (volumeOff ? ", volume cell not rendering" : ""));
  if (vr && volumeOff) vr->getVolumeActor()->setVisible(true);
  multi->setPhase(0);
  h->frames(2);
}
BENCHMARK(BM_PhaseCine)
    ->Args({LAYOUT_2DVIEW, 0})
    ->Args({LAYOUT_MPR3D, 0})
    ->Args({LAYOUT_MPR3D, 1})
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
