// Decode time per transfer syntax for a 512 x 512 16-bit CT image: the
// library's reader (setFile + readDicomPixelPointer, with Bits Stored masking)
// against DCMTK's DicomImage on the same file in the same run.
//
// Run: build/bench/dcmsdk/bench_dcmdecode [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmimgle/dcmimage.h>

#include "dcmsdk/dcmSDK.h"
#include "tools/dcmfixtures/fixtures.h"

namespace {

struct Files {
  std::string dir;
  std::map<std::string, std::string> byName;
  Files() {
    dcmSDK::setLogCallback(nullptr);  // initialises the library (codecs)
    char tmpl[] = "/tmp/dcmsdk-bench-XXXXXX";
    dir = mkdtemp(tmpl);
    for (const char* v : {"ct_ele", "ct_jpll", "ct_jls", "ct_rle"}) {
      auto s = dcmfixtures::writeSeries(dir + "/" + v, *dcmfixtures::findVariant(v), 512, 512, 1);
      byName[v] = s.files[0];
    }
    auto rgb = dcmfixtures::writeSeries(dir + "/rgb", *dcmfixtures::findVariant("rgb_jpeg"), 512, 512, 1);
    byName["rgb_jpeg"] = rgb.files[0];
    std::string j2k = dir + "/ct_j2k.dcm";
    std::string cmd = "gdcmconv --j2k '" + byName["ct_jpll"] + "' '" + j2k + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) byName["ct_j2k"] = j2k;
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Files& files() {
  static Files f;
  return f;
}

void ours(benchmark::State& state, const std::string& name) {
  auto it = files().byName.find(name);
  if (it == files().byName.end()) {
    state.SkipWithError("fixture not available (gdcmconv missing?)");
    return;
  }
  uint64_t sum = 0;
  for (auto _ : state) {
    dcmSDK::dcmReader r;
    if (!r.setFile(it->second.c_str())) {
      state.SkipWithError("setFile failed");
      return;
    }
    dcmSDK::dcmReader::PixelType t;
    int64_t n = 0;
    const void* p = r.readDicomPixelPointer(t, n);
    if (!p) {
      state.SkipWithError(r.getLastError());
      return;
    }
    sum += static_cast<const uint8_t*>(p)[n / 2];
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}

void dicomImage(benchmark::State& state, const std::string& name) {
  auto it = files().byName.find(name);
  if (it == files().byName.end()) {
    state.SkipWithError("fixture not available");
    return;
  }
  uint64_t sum = 0;
  for (auto _ : state) {
    DicomImage img(it->second.c_str(), CIF_DecompressCompletePixelData);
    if (img.getStatus() != EIS_Normal || !img.getInterData()) {
      state.SkipWithError("DicomImage cannot decode this transfer syntax");
      return;
    }
    sum += img.getInterData()->getCount();
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}

#define DECODE_PAIR(NAME)                                                         \
  BENCHMARK_CAPTURE(ours, NAME, #NAME)->Unit(benchmark::kMillisecond);           \
  BENCHMARK_CAPTURE(dicomImage, NAME, #NAME)->Unit(benchmark::kMillisecond);

DECODE_PAIR(ct_ele)
DECODE_PAIR(ct_jpll)
DECODE_PAIR(ct_jls)
DECODE_PAIR(ct_rle)
DECODE_PAIR(ct_j2k)
DECODE_PAIR(rgb_jpeg)

}  // namespace
