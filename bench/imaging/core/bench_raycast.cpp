// Ray-casting frame times over a 512 x 512 x 500 signed 16-bit CT phantom.
//
// Every measured benchmark renders a 36-view orbit (one view per iteration)
// and reports the median and 95th percentile frame time and the rays cast per
// second. References in the same run:
//   - MemoryFloor: one pass reading the whole volume on as many threads as the
//     ray caster uses (4): no frame that touches every voxel can be faster;
//   - the same renders with empty-space skipping off (.../skip:0);
//   - EmptyFrame: the volume out of view, the fixed per-frame cost.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "engine/base/AutoreleasePool.h"
#include "imaging/core/isCamera.h"
#include "imaging/core/isRayCast.h"
#include "tools/vrdebug/phantom.h"

using cocos2d::Vec3;
using namespace isImageSDK;

namespace {

constexpr int kNx = 512, kNy = 512, kNz = 500;
constexpr float kSx = 0.75f, kSy = 0.75f, kSz = 0.8f;
constexpr int kViews = 36;

const vrdebug::Phantom& phantom()
{
    static vrdebug::Phantom p = [] {
        vrdebug::Phantom ph;
        vrdebug::makeCtPhantom(ph, kNx, kNy, kNz, kSx, kSy, kSz);
        return ph;
    }();
    return p;
}

Vec3 volumeCentre()
{
    return Vec3((kNx - 1) * kSx * 0.5f, (kNy - 1) * kSy * 0.5f, (kNz - 1) * kSz * 0.5f);
}

struct Window {
    float width, level;
};

// Transfer functions, by index: "opaque" (soft tissue opaque at once),
// "translucent soft tissue" (water faintly visible, bone opaque), "all below
// threshold" (every voxel transparent).
const Window kWindows[] = {{2.f, -199.f}, {3000.f, 1500.f}, {100.f, 3000.f}};
const char* const kWindowNames[] = {"opaque", "translucent", "all_below"};

// Render modes, by index: composite nearest, composite trilinear, MIP.
struct ModeChoice {
    int mode, interpolation;
};
const ModeChoice kModes[] = {{0, 0}, {0, 1}, {3, 1}};
const char* const kModeNames[] = {"composite_nearest", "composite_trilinear", "mip"};

// An orthographic camera on a 36-view orbit around the volume's long axis,
// tilted 20 degrees, zoomed so that the whole volume fits.
void aim(isCamera* cam, int width, int height, int view, bool outOfView = false)
{
    const Vec3 c = volumeCentre();
    const float diagonal = 2.f * c.length();
    cam->setProjection(40, float(width), float(height), 1, 4000);
    cam->setZoom(1.02f * diagonal / float(std::min(width, height)));
    const float a = 2.f * 3.14159265f * float(view) / kViews;
    const float tilt = 20.f * 3.14159265f / 180.f;
    Vec3 dir(std::cos(a) * std::cos(tilt), std::sin(a) * std::cos(tilt), std::sin(tilt));
    Vec3 target = outOfView ? c + Vec3(0, 0, 5000) : c;
    cam->setPosition3D(target - dir * 1500.f);
    cam->lookAt(target, Vec3(0, 0, 1));
}

struct Setup {
    cocos2d::AutoreleasePool pool;
    RayCastContext ctx;
    isCamera* cam = nullptr;
};

std::unique_ptr<Setup> makeSetup(int modeIndex, int windowIndex, bool skipping)
{
    auto s = std::make_unique<Setup>();
    s->ctx.setVolume(&phantom().volume);
    s->ctx.setRenderMode(kModes[modeIndex].mode);
    s->ctx.setInterpolation(kModes[modeIndex].interpolation);
    s->ctx.setWindow(kWindows[windowIndex].width, kWindows[windowIndex].level);
    const auto map = vrdebug::warmColourMap();
    s->ctx.setColorMap(map.data());
    s->ctx.setEmptySpaceSkipping(skipping);
    s->cam = isCamera::create();
    return s;
}

void report(benchmark::State& state, std::vector<double>& ms, double rays)
{
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[std::min(ms.size() - 1, static_cast<size_t>(std::ceil(ms.size() * 0.95)) - 1)];
    double total = 0;
    for (double v : ms) total += v;
    state.counters["rays_per_s"] = total > 0 ? rays / (total / 1000.0) : 0;
}

// Args: viewport width, height, scale x 100, mode index, window index, skip.
void BM_Render(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    const float scale = float(state.range(2)) / 100.f;
    auto s = makeSetup(int(state.range(3)), int(state.range(4)), state.range(5) != 0);
    aim(s->cam, w, h, 0);
    s->ctx.setCamera(s->cam, false);
    s->ctx.setImageScale(scale);
    s->ctx.render();   // builds the tables and the block maxima
    std::vector<double> ms;
    double rays = 0;
    int view = 0;
    for (auto _ : state) {
        state.PauseTiming();
        aim(s->cam, w, h, view++ % kViews);
        s->ctx.setCamera(s->cam, false);
        s->ctx.setImageScale(scale);
        state.ResumeTiming();
        auto t0 = std::chrono::steady_clock::now();
        s->ctx.render();
        auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        rays += s->ctx.getLastJobCount();
    }
    report(state, ms, rays);
    state.SetLabel(std::string(kModeNames[state.range(3)]) + " " + kWindowNames[state.range(4)] +
                   (state.range(5) ? "" : " no-skip"));
}

void renderArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"w", "h", "scale", "mode", "tf", "skip"});
    // All modes and transfer functions at 512 x 512, full scale, with and
    // without empty-space skipping.
    for (int mode = 0; mode < 3; ++mode)
        for (int tf = 0; tf < 3; ++tf)
            for (int skip : {1, 0}) b->Args({512, 512, 100, mode, tf, skip});
    // Image scales and the larger viewport for the translucent transfer function.
    for (int mode = 0; mode < 3; ++mode) {
        for (int scale : {25, 50}) b->Args({512, 512, scale, mode, 1, 1});
        for (int scale : {25, 50, 100}) b->Args({1024, 768, scale, mode, 1, 1});
    }
}
BENCHMARK(BM_Render)->Apply(renderArgs)->Iterations(kViews)->Unit(benchmark::kMillisecond)->UseRealTime();

// The volume out of view: no rays, only the fixed costs of a frame.
void BM_EmptyFrame(benchmark::State& state)
{
    auto s = makeSetup(1, 1, true);
    aim(s->cam, 512, 512, 0, true);
    s->ctx.setCamera(s->cam, false);
    s->ctx.render();
    std::vector<double> ms;
    for (auto _ : state) {
        s->ctx.setImageScale(1.f);
        auto t0 = std::chrono::steady_clock::now();
        s->ctx.render();
        auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    report(state, ms, 0);
}
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One pass that reads every voxel once on four threads.
void BM_MemoryFloor(benchmark::State& state)
{
    const auto& v = phantom().voxels;
    const int threads = RayCastContext::kMaxWorkers;
    std::atomic<int64_t> sink{0};
    std::vector<double> ms;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        std::vector<std::thread> pool;
        const size_t share = v.size() / threads;
        for (int t = 0; t < threads; ++t) {
            pool.emplace_back([&, t] {
                const int16_t* p = v.data() + t * share;
                const size_t n = t == threads - 1 ? v.size() - t * share : share;
                int64_t sum = 0;
                for (size_t i = 0; i < n; ++i) sum += p[i];
                sink += sum;
            });
        }
        for (auto& t : pool) t.join();
        auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    benchmark::DoNotOptimize(sink.load());
    report(state, ms, 0);
}
BENCHMARK(BM_MemoryFloor)->Iterations(kViews)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
