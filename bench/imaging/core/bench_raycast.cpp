// Ray-casting frame times over a 512 x 512 x 500 signed 16-bit CT phantom.
//
// Every measured benchmark renders a 36-view orbit (one view per iteration)
// and reports the median and 95th percentile frame time and the rays cast per
// second. References in the same run:
//   - MemoryFloor: one pass reading the whole volume on as many threads as the
//     ray caster uses (4): no frame that touches every voxel can be faster;
//   - the same renders with empty-space skipping off (.../skip:0);
//   - EmptyFrame: the volume out of view, the fixed per-frame cost;
//   - VTK's CPU ray caster (vtkFixedPointVolumeRayCastMapper) on the same
//     phantom, orbit, image size and thread count, run offscreen under Xvfb by
//     bench/imaging/core/raycast_vtk_peer.py for the full-scale renders:
//     vtk_median_ms, and x_vtk = VTK's median / ours (above 1: we are faster).
//     Skipped with a message when VTK, numpy or Xvfb is missing, or when
//     FW_BENCH_NO_VTK is set.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include <unistd.h>
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

std::string caseName(int mode, int tf, int w, int h)
{
    return std::string(kModeNames[mode]) + ":" + kWindowNames[tf] + ":" + std::to_string(w) + "x" +
           std::to_string(h);
}

// The full-scale renders that the VTK peer repeats (see renderArgs).
std::vector<std::string> vtkCases()
{
    std::vector<std::string> cases;
    for (int mode = 0; mode < 3; ++mode)
        for (int tf = 0; tf < 3; ++tf) cases.push_back(caseName(mode, tf, 512, 512));
    for (int mode = 0; mode < 3; ++mode) cases.push_back(caseName(mode, 1, 1024, 768));
    return cases;
}

// VTK peer: run once, on first use, for every case; median milliseconds.
const std::map<std::string, double>& vtkMedianMs()
{
    static const std::map<std::string, double> results = [] {
        std::map<std::string, double> r;
        if (std::getenv("FW_BENCH_NO_VTK")) {
            std::fprintf(stderr, "VTK peer: skipped (FW_BENCH_NO_VTK)\n");
            return r;
        }
        const auto script = std::filesystem::path(__FILE__).parent_path() / "raycast_vtk_peer.py";
        const char* python = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
        std::string cmd;
        if (!std::getenv("DISPLAY")) {
            if (!std::filesystem::exists("/usr/bin/xvfb-run")) {
                std::fprintf(stderr, "VTK peer: skipped (no DISPLAY and no xvfb-run; install xvfb)\n");
                return r;
            }
            // A display number of our own (xvfb-run -a counts up from it), so
            // that benchmarks started together do not share one server.
            cmd = "/usr/bin/xvfb-run -a -n " + std::to_string(100 + getpid() % 800) +
                  " -s '-screen 0 1280x1024x24' ";
        }
        cmd += std::string(python) + " '" + script.string() + "' " + std::to_string(4);
        for (const auto& c : vtkCases()) cmd += " " + c;
        cmd += " 2>&1";
        std::fprintf(stderr, "VTK peer: running %zu cases on %d threads...\n", vtkCases().size(),
                     4);
        FILE* f = popen(cmd.c_str(), "r");
        if (!f) {
            std::fprintf(stderr, "VTK peer: could not start python3; no VTK comparison\n");
            return r;
        }
        char line[512];
        while (std::fgets(line, sizeof line, f)) {
            char name[256];
            double median = 0, p95 = 0;
            if (std::sscanf(line, "case %255s %lf %lf", name, &median, &p95) == 3) {
                r[name] = median;
                std::fprintf(stderr, "VTK peer: %s median %.1f ms, p95 %.1f ms\n", name, median, p95);
            } else {
                std::fprintf(stderr, "VTK peer: %s", line);
            }
        }
        pclose(f);
        if (r.empty()) std::fprintf(stderr, "VTK peer: no results (VTK missing?); no VTK comparison\n");
        return r;
    }();
    return results;
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
    if (scale == 1.f && state.range(5) != 0 && !ms.empty()) {
        const auto& vtk = vtkMedianMs();
        const auto it = vtk.find(caseName(int(state.range(3)), int(state.range(4)), w, h));
        if (it != vtk.end()) {
            state.counters["vtk_median_ms"] = it->second;
            state.counters["x_vtk"] = it->second / state.counters["median_ms"];
        }
    }
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
    const int threads = 4;
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
