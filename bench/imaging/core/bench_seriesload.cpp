// Opening a series: folder scan, background decoding through the cache
// reader, and reopening from the ".raw" pixel cache, on a generated CT
// phantom of 512 × 512 16-bit slices, uncompressed and JPEG lossless.
//
// References measured in the same run:
//   DcmtkLoop  a plain loop that decodes every file's pixels through the
//              DICOM library and copies them into one buffer (the floor of
//              decoding);
//   PlainRaw   a plain read of the ".raw" file into one buffer.
//
// The phantom has 64 slices by default; SERIESLOAD_SLICES=500 asks for the
// full 500-slice series.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/isSeriesCache.h"
#include "tools/dcmfixtures/fixtures.h"

using namespace isImageSDK;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

int sliceCount() {
  const char* env = std::getenv("SERIESLOAD_SLICES");
  const int n = env ? std::atoi(env) : 0;
  return n > 1 ? n : 64;
}

const std::string& root() {
  static std::string dir = [] {
    std::string t = (fs::temp_directory_path() / "seriesload-bench-XXXXXX").string();
    if (!mkdtemp(t.data())) std::abort();
    t += "/";
    static std::string keep = t;
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(keep, ec);
    });
    cocos2d::FileUtils::getInstance()->setWritablePath(t);
    return t;
  }();
  return dir;
}

struct Phantom {
  std::string folder;
  std::vector<std::string> files;
  std::string cache;
};

// 0: uncompressed, 1: JPEG lossless. Generated once per run.
const Phantom& phantom(int kind) {
  static std::map<int, Phantom> made;
  auto it = made.find(kind);
  if (it != made.end()) return it->second;
  Phantom p;
  const char* variant = kind == 0 ? "ct_s16" : "ct_jpll";
  p.folder = root() + "kq/dicom/" + variant + "/";
  dcmfixtures::Series s = dcmfixtures::writeSeries(p.folder, *dcmfixtures::findVariant(variant), 512, 512, sliceCount());
  p.files = s.files;
  isDcmScan scan;
  if (!scan.createCache(p.folder)) std::abort();
  p.cache = isDcmScan::getCacheFileName(p.folder);
  return made.emplace(kind, p).first->second;
}

void dropRaw(const Phantom& p) { std::remove(rawPathForCache(p.cache).c_str()); }

double peakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

// Polls with a pause that grows with the time already waited (about 1% of
// it, 50 µs to 1 ms): the measured delay stays within ~1%, and the waiting
// thread does not take CPU time from the loading thread on a busy machine.
// CPU time of all the process's threads, in milliseconds: on a busy machine
// it tells the work done apart from the time spent waiting for a processor.
double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void waitFor(const std::function<bool()>& done) {
  const auto start = Clock::now();
  while (!done()) {
    const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    std::this_thread::sleep_for(std::clamp(waited / 100, std::chrono::microseconds(50), std::chrono::microseconds(1000)));
  }
  cocos2d::Director::getInstance()->stepFrame(1.0f / 60.0f);  // hand-offs of the loading thread
}

void BM_Scan(benchmark::State& state) {
  const Phantom& p = phantom(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    isDcmScan scan;
    benchmark::DoNotOptimize(scan.createCache(p.folder));
  }
  state.counters["slices"] = static_cast<double>(p.files.size());
}

void BM_DcmtkLoop(benchmark::State& state) {
  const Phantom& p = phantom(static_cast<int>(state.range(0)));
  double cpu = 0;
  for (auto _ : state) {
    const double cpuStart = processCpuMs();
    // The destination is allocated each time, as the reader allocates its volume.
    std::unique_ptr<char, decltype(&std::free)> volume(
        static_cast<char*>(std::calloc(p.files.size() * 512 * 512 * 2, 1)), &std::free);
    dcmSDK::dcmReader reader;
    size_t at = 0;
    for (const std::string& f : p.files) {
      if (!reader.setFile(f.c_str())) std::abort();
      dcmSDK::dcmReader::PixelType type;
      int64_t count = 0;
      const void* px = reader.readDicomPixelPointer(type, count);
      if (!px) std::abort();
      std::memcpy(volume.get() + at, px, static_cast<size_t>(count) * 2);
      at += static_cast<size_t>(count) * 2;
    }
    benchmark::DoNotOptimize(volume.get());
    cpu += processCpuMs() - cpuStart;
  }
  state.counters["cpu_ms"] = cpu / static_cast<double>(state.iterations());
  state.counters["peak_rss_MB"] = peakRssMb();
}

// Time to every pixel through the cache reader (its loading thread).
void BM_ReaderAllPixels(benchmark::State& state) {
  const Phantom& p = phantom(static_cast<int>(state.range(0)));
  double cpu = 0;
  for (auto _ : state) {
    state.PauseTiming();
    dropRaw(p);
    state.ResumeTiming();
    const double cpuStart = processCpuMs();
    isBinReader* reader = isBinReader::create();
    reader->setFileName(p.folder, p.cache);
    reader->getOutputImage()->update();
    waitFor([&] { return reader->isLoadComplete(); });
    cpu += processCpuMs() - cpuStart;
    state.PauseTiming();
    reader->release();
    state.ResumeTiming();
  }
  state.counters["cpu_ms"] = cpu / static_cast<double>(state.iterations());  // both threads
  state.counters["peak_rss_MB"] = peakRssMb();
}

// Time from opening to the arrival of a slice asked for first (the middle one).
void BM_ReaderFirstPrioritized(benchmark::State& state) {
  const Phantom& p = phantom(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    dropRaw(p);
    state.ResumeTiming();
    isBinReader* reader = isBinReader::create();
    reader->setFileName(p.folder, p.cache);
    isImageData* image = reader->getOutputImage();
    image->update();
    SliceRecord* wanted = image->slices[image->slices.size() / 2];
    int viewer = 0;
    reader->prioritizeImage(&viewer, wanted->filePath);
    waitFor([&] {
      std::lock_guard<std::recursive_mutex> lock(reader->dataMutex);
      return wanted->pixelsLoaded;
    });
    state.PauseTiming();
    reader->release();
    state.ResumeTiming();
  }
}

// Reopening a series whose ".raw" exists.
void BM_ReaderReopen(benchmark::State& state) {
  const Phantom& p = phantom(static_cast<int>(state.range(0)));
  {
    dropRaw(p);
    isBinReader* reader = isBinReader::create();
    reader->setFileName(p.folder, p.cache);
    reader->getOutputImage()->update();
    waitFor([&] { return reader->isLoadComplete() && fs::exists(rawPathForCache(p.cache)); });
    reader->release();
  }
  for (auto _ : state) {
    isBinReader* reader = isBinReader::create();
    reader->setFileName(p.folder, p.cache);
    reader->getOutputImage()->update();
    if (!reader->isLoadComplete() || reader->loadingThread) std::abort();
    state.PauseTiming();
    reader->release();
    state.ResumeTiming();
  }
}

void BM_PlainRaw(benchmark::State& state) {
  const Phantom& p = phantom(static_cast<int>(state.range(0)));
  const std::string raw = rawPathForCache(p.cache);
  if (!fs::exists(raw)) std::abort();  // made by BM_ReaderReopen
  const size_t size = fs::file_size(raw);
  for (auto _ : state) {
    void* buffer = std::calloc(size, 1);  // as the reader's volume buffer
    FILE* f = std::fopen(raw.c_str(), "rb");
    if (!f || std::fread(buffer, 1, size, f) != size) std::abort();
    std::fclose(f);
    benchmark::DoNotOptimize(buffer);
    std::free(buffer);
  }
}

void kinds(benchmark::internal::Benchmark* b) {
  b->ArgNames({"jpeg"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
}

}  // namespace

BENCHMARK(BM_Scan)->Apply(kinds);
BENCHMARK(BM_DcmtkLoop)->Apply(kinds);
BENCHMARK(BM_ReaderAllPixels)->Apply(kinds);
BENCHMARK(BM_ReaderFirstPrioritized)->Apply(kinds);
BENCHMARK(BM_ReaderReopen)->Apply(kinds);
BENCHMARK(BM_PlainRaw)->Apply(kinds);
