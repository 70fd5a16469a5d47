// Opening a series in a 2-D image viewer: the time from the cache reader's
// setFileName to the end of the first rendered frame that draws the middle
// slice with its pixels, on the CT phantom of 500 slices of 512 × 512
// (written and scanned beforehand), cold (the slices are decoded from their
// DICOM files) and warm (the reader's ".raw" pixel file exists).
//
// Reference, in the same rounds (the order alternating): the cache reader
// alone, opened the same way, its data updated and the same middle slice
// prioritised, until NOTIFY_SLICE_ARRIVED for it is delivered (warm: until
// the update that reads the ".raw" file returns with it). The viewer's
// goal: at most two frame intervals (33 ms at 60 Hz) above the reader.
//
// Counters: reader_ms and viewer_ms are the medians of the rounds,
// excess_ms the median of the per-round differences. The manual time of
// the benchmark is the viewer's.
//
// Needs an X display. Without DISPLAY the benchmark re-runs itself under
//   xvfb-run -a -s "-screen 0 1280x800x24"
// and it does nothing when xvfb-run is missing. BENCH_VIEWER_SLICES sets
// another slice count (500 by default); BENCH_VIEWER_TRACE prints, per
// viewer round, the time of setImageData and the frames until the slice
// showed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_stage.h"
#include "support/scratch_folder.h"
#include "engine/platform/CCGL.h"
#include "engine/renderer/RendererGL.h"
#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isSeriesCache.h"
#include "imaging/viewers/isViewerImage.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/phantoms.h"
#include "xvfb_reexec.h"

using namespace isImageSDK;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr float kWidth = 800, kHeight = 600;

int sliceCount() {
  const char* env = std::getenv("BENCH_VIEWER_SLICES");
  const int n = env ? std::atoi(env) : 0;
  return n >= 8 ? n : 500;
}

struct Series {
  dcmfixtures::CtPhantom phantom;
  std::string folder;
  std::string cache;
};

// Written and scanned once per run, in a scratch writable path removed at
// exit.
const Series& series() {
  static Series s = [] {
    const std::string t = fwtest::programScratchFolder("viewer-open-bench");
    cocos2d::FileUtils::getInstance()->setWritablePath(t);
    Series out;
    out.phantom.width = 512;
    out.phantom.height = 512;
    out.phantom.slices = sliceCount();
    out.folder = t + "kq/dicom/ct512/";
    dcmfixtures::writeCtPhantom(out.folder, out.phantom);
    isDcmScan scan;
    if (!scan.createCache(out.folder)) std::abort();
    out.cache = isDcmScan::getCacheFileName(out.folder);
    return out;
  }();
  return s;
}

cocos2d::Scene* scene() {
  static cocos2d::Scene* s = viewtest::openBenchWindow("bench_viewer_open", kWidth, kHeight);
  return s;
}

void step() { cocos2d::Director::getInstance()->stepFrame(); }

double msSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Steps frames until the condition holds (or 60 s have passed).
bool stepUntil(const std::function<bool()>& done) {
  const auto end = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < end) {
    step();
    if (done()) return true;
  }
  return false;
}

// Lets a reader finish (so that it writes its ".raw" file), then frees it.
void finish(isBinReader* reader) {
  stepUntil([reader] { return reader->isLoadComplete(); });
  reader->release();
}

// The reference: the reader alone until the middle slice arrives.
double readerAlone() {
  const Series& s = series();
  static int token = 0;
  bool arrived = false;
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  nc->addObserver(&token, &token, [&arrived](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData*) { arrived = true; },
                  NOTIFY_SLICE_ARRIVED);
  const auto t0 = Clock::now();
  isBinReader* reader = isBinReader::create();
  reader->setFileName(s.folder, s.cache);
  isImageData* image = reader->getOutputImage();
  image->updateInformation();
  const SliceRecord* middle = image->slices[image->slices.size() / 2];
  const std::string path = middle->filePath;
  image->update();
  // From the ".raw" file every slice is in when the update returns; else the
  // loading thread announces the prioritised slice.
  bool loaded = false;
  {
    std::lock_guard<std::recursive_mutex> lock(reader->dataMutex);
    loaded = middle->pixelsLoaded;
  }
  if (!loaded) {
    reader->prioritizeImage(&token, path);
    stepUntil([&arrived] { return arrived; });
  }
  const double ms = msSince(t0);
  nc->removeAllObservers(&token);
  finish(reader);
  return ms;
}

// The viewer: from setFileName to the end of the first frame whose pixel on
// the bone sphere of the middle slice is drawn white.
double viewerOpen() {
  const Series& s = series();
  isViewerImage* viewer = isViewerImage::create();
  scene()->addChild(viewer);
  viewer->setContentSize(cocos2d::Size(kWidth, kHeight));
  step();
  auto* gl = dynamic_cast<cocos2d::RendererGL*>(cocos2d::Director::getInstance()->getRenderer()->getBackend());

  const auto t0 = Clock::now();
  isBinReader* reader = isBinReader::create();
  reader->setFileName(s.folder, s.cache);
  viewer->setImageData(reader->getOutputImage());
  const double setMs = msSince(t0);
  int frames = 0;
  // The bone sphere's centre on the shown (middle) slice.
  dcmfixtures::Voxel bone = dcmfixtures::ctPhantomSphereVoxel(s.phantom, 0);
  const SliceRecord* r = viewer->imageActor->getOutputSliceInfo();
  const cocos2d::Vec2 at =
      viewer->worldToScreen(r->matrix.transformPoint(cocos2d::Vec3(bone.x * r->spacingX, bone.y * r->spacingY, 0)));
  unsigned char pixel[3] = {0, 0, 0};
  auto drawn = [&] {
    gl->runAfterNextFrame([&pixel, at] {
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadBuffer(GL_BACK);
      glReadPixels(static_cast<int>(at.x), static_cast<int>(at.y), 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    });
    return true;
  };
  drawn();
  stepUntil([&] {
    ++frames;
    if (pixel[0] > 240) return true;
    drawn();
    return false;
  });
  const double ms = msSince(t0);
  if (std::getenv("BENCH_VIEWER_TRACE")) std::fprintf(stderr, "setImageData %.1f ms, %d frames, %.1f ms\n", setMs, frames, ms);
  viewer->removeFromParent();
  step();
  finish(reader);
  return ms;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

void BM_OpenToFirstFrame(benchmark::State& st) {
  if (!scene()) {
    st.SkipWithError("no display");
    return;
  }
  const bool warm = st.range(0) == 1;
  const Series& s = series();
  const std::string raw = rawPathForCache(s.cache);
  if (warm && !fs::exists(raw)) finish([&] {
    auto* r = isBinReader::create();
    r->setFileName(s.folder, s.cache);
    r->getOutputImage()->update();
    return r;
  }());
  std::vector<double> readers, viewers, excess;
  int round = 0;
  for (auto _ : st) {
    double a = 0, b = 0;
    for (int k = 0; k < 2; ++k) {
      if (!warm) std::remove(raw.c_str());
      if ((k == 0) == (round % 2 == 0))
        a = readerAlone();
      else
        b = viewerOpen();
    }
    ++round;
    readers.push_back(a);
    viewers.push_back(b);
    excess.push_back(b - a);
    st.SetIterationTime(b / 1000.0);
  }
  st.counters["reader_ms"] = median(readers);
  st.counters["viewer_ms"] = median(viewers);
  st.counters["excess_ms"] = median(excess);
  st.SetLabel(warm ? "warm (.raw)" : "cold (decoding)");
}
BENCHMARK(BM_OpenToFirstFrame)->Arg(0)->Arg(1)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
