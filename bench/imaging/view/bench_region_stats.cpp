// Region statistics of a measurement on one 512 × 512 slice: a circle of
// radius 250 pixels and a 64-vertex polygon covering most of the slice, for
// signed 16-bit and float data. Reference in the same run: a plain loop that
// sums, squares and takes min and max over the same pixel set, given as a
// precomputed mask. Goal: each shape within 2 × its reference.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "imaging/view/isActorImage.h"

namespace {

using isImageSDK::isActorImage;

constexpr int kSize = 512;

template <class T>
std::vector<T> slice() {
  std::vector<T> v(static_cast<size_t>(kSize) * kSize);
  uint32_t x = 99;
  for (auto& s : v) {
    x = x * 1664525u + 1013904223u;
    s = static_cast<T>(static_cast<int>(x >> 20) - 1024);
  }
  return v;
}

std::vector<cocos2d::Vec2> polygon() {
  std::vector<cocos2d::Vec2> p;
  for (int i = 0; i < 64; ++i) {
    const double a = 2 * M_PI * i / 64;
    const double r = (i % 2 ? 240.0 : 225.0);
    p.emplace_back(static_cast<float>(256 + r * std::cos(a)), static_cast<float>(256 + r * std::sin(a)));
  }
  return p;
}

std::vector<uint8_t> mask(bool circle) {
  std::vector<uint8_t> m(static_cast<size_t>(kSize) * kSize);
  const auto p = polygon();
  for (int r = 0; r < kSize; ++r)
    for (int c = 0; c < kSize; ++c) {
      bool in;
      if (circle) {
        const double dx = c - 256.0, dy = r - 256.0;
        in = dx * dx + dy * dy <= 250.0 * 250.0;
      } else {
        in = isActorImage::pointInPolygon(p.data(), 64, static_cast<float>(c), static_cast<float>(r));
      }
      m[static_cast<size_t>(r) * kSize + c] = in;
    }
  return m;
}

template <class T>
void maskedReference(benchmark::State& state, bool circle) {
  const auto px = slice<T>();
  const auto m = mask(circle);
  for (auto _ : state) {
    double sum = 0, sq = 0;
    float lo = 1e30f, hi = -1e30f;
    int64_t n = 0;
    for (size_t i = 0; i < px.size(); ++i) {
      if (!m[i]) continue;
      const float v = static_cast<float>(px[i]);
      lo = std::min(lo, v);
      hi = std::max(hi, v);
      sum += v;
      ++n;
    }
    const double mean = n ? sum / n : 0;
    for (size_t i = 0; i < px.size(); ++i) {
      if (!m[i]) continue;
      const double d = px[i] - mean;
      sq += d * d;
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(sq);
    benchmark::DoNotOptimize(lo);
    benchmark::DoNotOptimize(hi);
  }
}

template <class T>
void circleStats(benchmark::State& state) {
  const auto px = slice<T>();
  for (auto _ : state) {
    auto s = isActorImage::circleStatistics(px.data(), kSize, kSize, 1.0f, 1.0f, 256.0f, 256.0f, 250.0f);
    benchmark::DoNotOptimize(s);
  }
}

template <class T>
void polygonStats(benchmark::State& state) {
  const auto px = slice<T>();
  const auto p = polygon();
  for (auto _ : state) {
    auto s = isActorImage::polygonStatistics(px.data(), kSize, kSize, p.data(), 64);
    benchmark::DoNotOptimize(s);
  }
}

void BM_CircleInt16(benchmark::State& s) { circleStats<int16_t>(s); }
void BM_CircleInt16Reference(benchmark::State& s) { maskedReference<int16_t>(s, true); }
void BM_PolygonInt16(benchmark::State& s) { polygonStats<int16_t>(s); }
void BM_PolygonInt16Reference(benchmark::State& s) { maskedReference<int16_t>(s, false); }
void BM_CircleFloat(benchmark::State& s) { circleStats<float>(s); }
void BM_CircleFloatReference(benchmark::State& s) { maskedReference<float>(s, true); }
void BM_PolygonFloat(benchmark::State& s) { polygonStats<float>(s); }
void BM_PolygonFloatReference(benchmark::State& s) { maskedReference<float>(s, false); }

BENCHMARK(BM_CircleInt16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CircleInt16Reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PolygonInt16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PolygonInt16Reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CircleFloat)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CircleFloatReference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PolygonFloat)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PolygonFloatReference)->Unit(benchmark::kMicrosecond);

}  // namespace
