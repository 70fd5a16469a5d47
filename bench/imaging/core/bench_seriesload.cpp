// Opening a series: folder scan, background decoding through the cache
// reader, and reopening from the ".raw" pixel cache, on a generated CT
// phantom of 512 × 512 16-bit slices, uncompressed and JPEG lossless.
//
// AllPixels runs the project and its reference side by side, round after
// round (the order alternating), and reports the ratio of each round's pair
// of timings, its minimum and median:
//   reader     the cache reader, from opening to the arrival of every pixel
//              (its loading thread decodes, rescales and announces slices);
//   DCMTK loop DcmFileFormat::loadFile, DCMTK's decoder when the pixels are
//              compressed, getUint16Array and a memcpy into one buffer,
//              allocated once per load as the reader allocates its volume.
// The ".raw" file the reader writes after the last slice is timed on its own
// (from the last slice to its rename), next to a plain fwrite and rename of
// the same bytes. Page faults of each side are counted: writing a freshly
// allocated volume for the first time can cost more than decoding it.
//
// DecodeOnly pairs the loading thread's work per file (the library's reader
// and the rescale) with the DCMTK loop, both writing into one buffer that
// exists before the first round: the decoding alone, without allocation.
//
// PlainRaw is the reference of reopening: a plain read of the ".raw" file.
//
// The phantom has 500 slices by default (SERIESLOAD_SLICES sets another
// count); SERIESLOAD_ROUNDS sets the rounds of AllPixels and DecodeOnly (5,
// at least 3).
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

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmjpeg/djdecode.h>

#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/isImageTypes.h"
#include "imaging/core/isPixelRules.h"
#include "imaging/core/isSeriesCache.h"
#include "tools/dcmfixtures/fixtures.h"

using namespace isImageSDK;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

int sliceCount() {
  const char* env = std::getenv("SERIESLOAD_SLICES");
  const int n = env ? std::atoi(env) : 0;
  return n > 1 ? n : 500;
}

int roundCount() {
  const char* env = std::getenv("SERIESLOAD_ROUNDS");
  const int n = env ? std::atoi(env) : 0;
  return n >= 3 ? n : 5;
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
  dcmfixtures::Variant variant;
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
  p.variant = s.variant;
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

// CPU time of all the process's threads, in milliseconds: on a busy machine
// it tells the work done apart from the time spent waiting for a processor.
double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Polls with a pause that grows with the time already waited (about 1% of
// it, 50 µs to 1 ms): the measured delay stays within ~1%, and the waiting
// thread does not take CPU time from the loading thread on a busy machine.
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

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// Minor page faults of the whole process so far.
double pageFaults() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_minflt);
}

struct Times {
  double ms = 0;     // wall time
  double cpuMs = 0;  // CPU time of all the process's threads
  double faults = 0;
};

// The reference: a plain DCMTK loop over the files, into `into` when given,
// else into a buffer allocated for this load.
Times dcmtkLoop(const Phantom& p, char* into = nullptr) {
  static const bool codecs = [] {
    DJDecoderRegistration::registerCodecs(EDC_photometricInterpretation, EUC_never);
    return true;
  }();
  benchmark::DoNotOptimize(codecs);
  Times t;
  const double faultsStart = pageFaults();
  const double cpuStart = processCpuMs();
  const auto start = Clock::now();
  const size_t sliceBytes = size_t(512) * 512 * 2;
  std::unique_ptr<char[]> allocated(into ? nullptr : new char[p.files.size() * sliceBytes]);
  char* volume = into ? into : allocated.get();
  size_t at = 0;
  for (const std::string& f : p.files) {
    DcmFileFormat file;
    if (file.loadFile(f.c_str()).bad()) std::abort();
    DcmDataset* ds = file.getDataset();
    if (ds->chooseRepresentation(EXS_LittleEndianExplicit, nullptr).bad()) std::abort();
    DcmElement* element = nullptr;
    Uint16* px = nullptr;
    if (ds->findAndGetElement(DCM_PixelData, element).bad() || element->getUint16Array(px).bad() || !px)
      std::abort();
    std::memcpy(volume + at, px, sliceBytes);
    at += sliceBytes;
  }
  benchmark::DoNotOptimize(volume);
  t.ms = msSince(start);
  t.cpuMs = processCpuMs() - cpuStart;
  t.faults = pageFaults() - faultsStart;
  return t;
}

// The project: the cache reader from opening to every pixel, then on to the
// rename of the ".raw" it writes.
struct ReaderTimes {
  Times pixels;
  double rawMs = 0;
};

ReaderTimes readerLoad(const Phantom& p) {
  ReaderTimes t;
  dropRaw(p);
  const std::string raw = rawPathForCache(p.cache);
  const double faultsStart = pageFaults();
  const double cpuStart = processCpuMs();
  const auto start = Clock::now();
  isBinReader* reader = isBinReader::create();
  reader->setFileName(p.folder, p.cache);
  reader->getOutputImage()->update();
  waitFor([&] { return reader->isLoadComplete(); });
  t.pixels.ms = msSince(start);
  t.pixels.cpuMs = processCpuMs() - cpuStart;
  t.pixels.faults = pageFaults() - faultsStart;
  const auto written = Clock::now();
  waitFor([&] { return fs::exists(raw); });
  t.rawMs = msSince(written);
  reader->release();
  return t;
}

// The reference of the ".raw" write: the same bytes written with fwrite to a
// temporary name, then renamed.
double plainRawWrite(const Phantom& p, const std::vector<char>& bytes) {
  const std::string raw = rawPathForCache(p.cache) + ".plain";
  const std::string temp = raw + ".part";
  const auto start = Clock::now();
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) std::abort();
  if (std::rename(temp.c_str(), raw.c_str()) != 0) std::abort();
  const double ms = msSince(start);
  std::remove(raw.c_str());
  return ms;
}

void BM_AllPixels(benchmark::State& state) {
  const Phantom& p = phantom(static_cast<int>(state.range(0)));
  const std::vector<char> rawBytes(p.files.size() * 512 * 512 * 2, 1);
  std::vector<double> ratios, project, peer, projectCpu, peerCpu, projectFaults, peerFaults, raw, rawPlain, rawRatios;
  bool peerFirst = true;
  for (auto _ : state) {
    ReaderTimes r;
    Times d;
    if (peerFirst) {
      d = dcmtkLoop(p);
      r = readerLoad(p);
    } else {
      r = readerLoad(p);
      d = dcmtkLoop(p);
    }
    const double plain = plainRawWrite(p, rawBytes);
    peerFirst = !peerFirst;
    state.SetIterationTime(r.pixels.ms / 1e3);
    project.push_back(r.pixels.ms);
    peer.push_back(d.ms);
    projectCpu.push_back(r.pixels.cpuMs);
    peerCpu.push_back(d.cpuMs);
    projectFaults.push_back(r.pixels.faults);
    peerFaults.push_back(d.faults);
    ratios.push_back(r.pixels.ms / d.ms);
    raw.push_back(r.rawMs);
    rawPlain.push_back(plain);
    rawRatios.push_back(r.rawMs / plain);
  }
  state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
  state.counters["ratio_median"] = median(ratios);
  state.counters["reader_ms"] = median(project);
  state.counters["dcmtk_ms"] = median(peer);
  state.counters["reader_cpu_ms"] = median(projectCpu);  // both threads
  state.counters["dcmtk_cpu_ms"] = median(peerCpu);
  state.counters["reader_faults"] = median(projectFaults);
  state.counters["dcmtk_faults"] = median(peerFaults);
  state.counters["raw_write_ms"] = median(raw);
  state.counters["plain_write_ms"] = median(rawPlain);
  state.counters["raw_ratio_min"] = *std::min_element(rawRatios.begin(), rawRatios.end());
  state.counters["raw_ratio_median"] = median(rawRatios);
  state.counters["slices"] = static_cast<double>(p.files.size());
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

// The loading thread's own work per file, without the allocation of the
// volume, the hand-off between threads and the notifications: the library's
// reader and the rescale into a slice, against the DCMTK loop, both into one
// buffer written once before the first round.
Times readerDecode(const Phantom& p, char* into) {
  Times t;
  const double faultsStart = pageFaults();
  const double cpuStart = processCpuMs();
  const auto start = Clock::now();
  const int display = p.variant.pixelRep ? DISPLAY_SIGNED : DISPLAY_UNSIGNED;
  const auto slope = static_cast<float>(p.variant.slope), intercept = static_cast<float>(p.variant.intercept);
  const int type = decideElementType(16, 1, MODALITY_CT, slope, intercept, display);
  const size_t n = size_t(512) * 512;
  dcmSDK::dcmReader reader;
  size_t at = 0;
  for (const std::string& f : p.files) {
    if (!reader.setFile(f.c_str())) std::abort();
    dcmSDK::dcmReader::PixelType pixelType;
    int64_t count = 0;
    const void* px = reader.readDicomPixelPointer(pixelType, count);
    if (!px || count != static_cast<int64_t>(n)) std::abort();
    convertSamples(px, into + at, n, type, display, slope, intercept);
    at += n * bytesPerSample(type);
  }
  benchmark::DoNotOptimize(into);
  t.ms = msSince(start);
  t.cpuMs = processCpuMs() - cpuStart;
  t.faults = pageFaults() - faultsStart;
  return t;
}

void BM_DecodeOnly(benchmark::State& state) {
  const Phantom& p = phantom(static_cast<int>(state.range(0)));
  std::vector<char> volume(p.files.size() * 512 * 512 * 2, 1);
  std::vector<double> ratios, cpuRatios, project, peer;
  bool peerFirst = true;
  for (auto _ : state) {
    Times r, d;
    if (peerFirst) {
      d = dcmtkLoop(p, volume.data());
      r = readerDecode(p, volume.data());
    } else {
      r = readerDecode(p, volume.data());
      d = dcmtkLoop(p, volume.data());
    }
    peerFirst = !peerFirst;
    state.SetIterationTime(r.ms / 1e3);
    project.push_back(r.ms);
    peer.push_back(d.ms);
    ratios.push_back(r.ms / d.ms);
    cpuRatios.push_back(r.cpuMs / d.cpuMs);
  }
  state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
  state.counters["ratio_median"] = median(ratios);
  state.counters["cpu_ratio_median"] = median(cpuRatios);
  state.counters["reader_ms"] = median(project);
  state.counters["dcmtk_ms"] = median(peer);
}

void kinds(benchmark::internal::Benchmark* b) {
  b->ArgNames({"jpeg"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
}

}  // namespace

BENCHMARK(BM_Scan)->Apply(kinds);
BENCHMARK(BM_AllPixels)
    ->ArgNames({"jpeg"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(roundCount());
BENCHMARK(BM_DecodeOnly)
    ->ArgNames({"jpeg"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(roundCount());
BENCHMARK(BM_ReaderFirstPrioritized)->Apply(kinds);
BENCHMARK(BM_ReaderReopen)->Apply(kinds);
BENCHMARK(BM_PlainRaw)->Apply(kinds);
