// Rescaling the stored samples of one 512 × 512 slice into its element type,
// the per-image step of every series load. Reference in the same run: the
// plain multiply-add with an unchecked narrowing store (which wraps values
// outside the target range), so the ratio shows what the saturation costs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "imaging/core/isImageTypes.h"
#include "imaging/core/isPixelRules.h"

namespace {

constexpr size_t kPixels = 512 * 512;

std::vector<uint16_t> storedSamples() {
  std::vector<uint16_t> v(kPixels);
  uint32_t x = 12345;
  for (auto& s : v) {
    x = x * 1664525u + 1013904223u;
    s = static_cast<uint16_t>(x >> 16);
  }
  return v;
}

void BM_RescaleClamped(benchmark::State& state) {
  const auto src = storedSamples();
  std::vector<int16_t> dst(kPixels);
  for (auto _ : state) {
    isImageSDK::convertSamples(src.data(), dst.data(), kPixels, isImageSDK::ELEMENT_INT16,
                               isImageSDK::DISPLAY_UNSIGNED, 1.0f, -1024.0f);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
}
BENCHMARK(BM_RescaleClamped);

void BM_RescaleWrappingReference(benchmark::State& state) {
  const auto src = storedSamples();
  std::vector<int16_t> dst(kPixels);
  const float slope = 1.0f, intercept = -1024.0f;
  for (auto _ : state) {
    const uint16_t* s = src.data();
    int16_t* d = dst.data();
    for (size_t i = 0; i < kPixels; ++i) {
      d[i] = static_cast<int16_t>(static_cast<int32_t>(static_cast<float>(s[i]) * slope + intercept));
    }
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
}
BENCHMARK(BM_RescaleWrappingReference);

void BM_RescaleToFloat(benchmark::State& state) {
  const auto src = storedSamples();
  std::vector<float> dst(kPixels);
  for (auto _ : state) {
    isImageSDK::convertSamples(src.data(), dst.data(), kPixels, isImageSDK::ELEMENT_FLOAT,
                               isImageSDK::DISPLAY_UNSIGNED, 2.5f, -3.0f);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
}
BENCHMARK(BM_RescaleToFloat);

void BM_CopyReference(benchmark::State& state) {
  const auto src = storedSamples();
  std::vector<uint16_t> dst(kPixels);
  for (auto _ : state) {
    isImageSDK::convertSamples(src.data(), dst.data(), kPixels, isImageSDK::ELEMENT_UINT16,
                               isImageSDK::DISPLAY_UNSIGNED, 1.0f, 0.0f);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
}
BENCHMARK(BM_CopyReference);

}  // namespace
