// Ray-casting frame times over a 512 x 512 x 500 signed 16-bit CT phantom.
//
// BM_VsVtk: our renderer against VTK's CPU ray caster
// (vtkFixedPointVolumeRayCastMapper, run offscreen under Xvfb by
// bench/imaging/core/raycast_vtk_peer.py), frame by frame: each view of the
// 36-view orbit is rendered by us and then by VTK before the next view, so
// both see the same machine load. Cases: composite (trilinear) and MIP, on
// the smooth phantom and on the same phantom with +-20 HU noise, at 1, 4 and
// 8 threads for both. FW_BENCH_ORBIT_STEP=n renders every n-th view of the
// orbit (still all the way round; for a heavily loaded machine). Three rounds
// of the orbit; per round the ratio of the
// median frame times (ours / VTK, below 1: we are faster); reported as
// ratio_min and ratio_med. Both sides time one whole frame: ours render(),
// VTK's window Render() (pipeline update, cast and image display; the
// pipeline has nothing to update after the first frame).
// Equal output: view 3 of the orbit from both, compared per 8-bit channel
// (diff_mean, diff_max) and written as PNG files to FW_BENCH_IMAGES (default
// <temp>/fernwick-bench-raycast) for a person to look at side by side.
// Skipped with a message when VTK, numpy or Xvfb is missing, or when
// FW_BENCH_NO_VTK is set.
//
// BM_Render: every mode and transfer function on the machine's worker count,
// with (and without, .../skip:0) empty-space skipping, and at smaller image
// scales. References: BM_MemoryFloor (one pass reading the whole volume on
// the same threads: no frame that touches every voxel can be faster) and
// BM_EmptyFrame (the volume out of view, the fixed per-frame cost).
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

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "engine/base/AutoreleasePool.h"
#include "imaging/core/isCamera.h"
#include "imaging/core/isRayCast.h"
#include "tools/vrdebug/phantom.h"
#include "tools/vrdebug/pngwrite.h"

using cocos2d::Vec3;
using namespace isImageSDK;

namespace {

constexpr int kNx = 512, kNy = 512, kNz = 500;
constexpr float kSx = 0.75f, kSy = 0.75f, kSz = 0.8f;
constexpr int kViews = 36;

// 0: the smooth phantom, 1: the same with +-20 HU noise.
const vrdebug::Phantom& phantom(int which = 0)
{
    static vrdebug::Phantom smooth = [] {
        vrdebug::Phantom ph;
        vrdebug::makeCtPhantom(ph, kNx, kNy, kNz, kSx, kSy, kSz);
        return ph;
    }();
    if (which == 0) return smooth;
    static vrdebug::Phantom noisy = [] {
        vrdebug::Phantom ph;
        vrdebug::makeCtPhantom(ph, kNx, kNy, kNz, kSx, kSy, kSz);
        vrdebug::addNoise(ph, 20, 12345);
        return ph;
    }();
    return noisy;
}
const char* const kPhantomNames[] = {"smooth", "noise20"};

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

// The VTK peer process: commands on its stdin, one answer line each.
class VtkPeer {
public:
    static VtkPeer& get()
    {
        static VtkPeer peer;
        return peer;
    }
    bool ok() const { return m_pid > 0; }
    const std::string& why() const { return m_why; }

    bool loadVolume(int which)
    {
        if (!ok()) return false;
        if (m_loaded == which) return true;
        const auto path = scratchFolder() / (std::string("phantom_") + kPhantomNames[which] + ".raw");
        {
            FILE* f = std::fopen(path.c_str(), "wb");
            if (!f) return fail("cannot write " + path.string());
            const auto& v = phantom(which).voxels;
            const bool written = std::fwrite(v.data(), sizeof(int16_t), v.size(), f) == v.size();
            if (std::fclose(f) != 0 || !written) return fail("cannot write " + path.string());
        }
        char cmd[512];
        std::snprintf(cmd, sizeof cmd, "volume %s %d %d %d %g %g %g", path.c_str(), kNx, kNy, kNz, kSx, kSy, kSz);
        const bool done = ask(cmd) == "ok";
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (done) m_loaded = which;
        return done;
    }
    bool setup(const std::string& mode, const std::string& tf, int w, int h, int threads)
    {
        return ask("setup " + mode + " " + tf + " " + std::to_string(w) + " " + std::to_string(h) + " " +
                   std::to_string(threads)) == "ok";
    }
    // Milliseconds of one frame, or a negative value.
    double frame(int view)
    {
        const std::string answer = ask("frame " + std::to_string(view));
        double ms = -1;
        if (std::sscanf(answer.c_str(), "ms %lf", &ms) != 1) return -1;
        return ms;
    }
    bool grab(int view, const std::string& path) { return ask("grab " + std::to_string(view) + " " + path) == "ok"; }

    static std::filesystem::path scratchFolder()
    {
        static const std::filesystem::path dir = [] {
            std::filesystem::path base =
                std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
            auto d = base / ("fernwick-raycast-peer-" + std::to_string(getpid()));
            std::filesystem::create_directories(d);
            return d;
        }();
        return dir;
    }

private:
    VtkPeer()
    {
        // Made before the peer so that it outlives it.
        m_scratch = scratchFolder();
        if (std::getenv("FW_BENCH_NO_VTK")) {
            m_why = "FW_BENCH_NO_VTK is set";
            return;
        }
        const auto script = std::filesystem::path(FW_BENCH_DIR) / "raycast_vtk_peer.py";
        const char* python = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
        std::string cmd;
        if (!std::getenv("DISPLAY")) {
            if (!std::filesystem::exists("/usr/bin/xvfb-run")) {
                m_why = "no DISPLAY and no xvfb-run; install xvfb";
                return;
            }
            // A display number of our own (xvfb-run -a counts up from it), so
            // that benchmarks started together do not share one server.
            cmd = "exec /usr/bin/xvfb-run -a -n " + std::to_string(100 + getpid() % 800) +
                  " -s '-screen 0 1280x1024x24' ";
        } else {
            cmd = "exec ";
        }
        cmd += std::string(python) + " -u '" + script.string() + "'";
        int toPeer[2], fromPeer[2];
        if (pipe(toPeer) != 0 || pipe(fromPeer) != 0) {
            m_why = "pipe failed";
            return;
        }
        const pid_t pid = fork();
        if (pid < 0) {
            m_why = "fork failed";
            return;
        }
        if (pid == 0) {
            dup2(toPeer[0], 0);
            dup2(fromPeer[1], 1);
            close(toPeer[0]), close(toPeer[1]), close(fromPeer[0]), close(fromPeer[1]);
            execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(toPeer[0]);
        close(fromPeer[1]);
        m_in = fdopen(toPeer[1], "w");
        m_out = fdopen(fromPeer[0], "r");
        m_pid = pid;
        signal(SIGPIPE, SIG_IGN);
    }
    ~VtkPeer()
    {
        if (m_in) {
            std::fputs("quit\n", m_in);
            std::fclose(m_in);
        }
        if (m_out) std::fclose(m_out);
        if (m_pid > 0) waitpid(m_pid, nullptr, 0);
        std::error_code ec;
        if (!m_scratch.empty()) std::filesystem::remove_all(m_scratch, ec);
    }
    bool fail(const std::string& why)
    {
        m_why = why;
        return false;
    }
    std::string ask(const std::string& command)
    {
        if (!ok()) return {};
        std::fprintf(m_in, "%s\n", command.c_str());
        std::fflush(m_in);
        char line[1024];
        for (;;) {
            if (!std::fgets(line, sizeof line, m_out)) {
                m_why = "the VTK peer ended";
                m_pid = -1;
                return {};
            }
            std::string answer(line);
            while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
            if (answer.rfind("skip", 0) == 0) {
                m_why = answer;
                m_pid = -1;
                return {};
            }
            if (answer == "ok" || answer.rfind("ms ", 0) == 0 || answer.rfind("error", 0) == 0) return answer;
            std::fprintf(stderr, "VTK peer: %s\n", answer.c_str());   // VTK's own output
        }
    }

    pid_t m_pid = -1;
    FILE* m_in = nullptr;
    FILE* m_out = nullptr;
    int m_loaded = -1;
    std::string m_why;
    std::filesystem::path m_scratch;
};

double median(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
}

std::filesystem::path imageFolder()
{
    const char* env = std::getenv("FW_BENCH_IMAGES");
    std::filesystem::path dir = env && *env ? std::filesystem::path(env)
                                            : std::filesystem::temp_directory_path() / "fernwick-bench-raycast";
    std::filesystem::create_directories(dir);
    return dir;
}

struct Setup {
    cocos2d::AutoreleasePool pool;
    RayCastContext ctx;
    isCamera* cam = nullptr;
};

std::unique_ptr<Setup> makeSetup(int modeIndex, int windowIndex, bool skipping, int which = 0)
{
    auto s = std::make_unique<Setup>();
    s->ctx.setVolume(&phantom(which).volume);
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

// The benchmark library may keep the text's pointer until it reports.
void skipWithError(benchmark::State& state, const std::string& why)
{
    static std::vector<std::unique_ptr<std::string>> kept;
    kept.push_back(std::make_unique<std::string>(why));
    state.SkipWithError(kept.back()->c_str());
}

// Ours against VTK, frame by frame. Args: mode index, phantom, threads.
void BM_VsVtk(benchmark::State& state)
{
    const int modeIndex = int(state.range(0)), which = int(state.range(1)), threads = int(state.range(2));
    constexpr int kTf = 1, kW = 512, kH = 512, kRounds = 3, kImageView = 3;
    const std::string label = std::string(kModeNames[modeIndex]) + " " + kPhantomNames[which] + " " +
                              std::to_string(threads) + "t";
    VtkPeer& peer = VtkPeer::get();
    if (!peer.ok() || !peer.loadVolume(which) || !peer.setup(kModeNames[modeIndex], kWindowNames[kTf], kW, kH, threads)) {
        skipWithError(state, "VTK peer: " + peer.why());
        return;
    }
    auto s = makeSetup(modeIndex, kTf, true, which);
    s->ctx.setWorkerLimit(threads);
    s->ctx.setTargetFrameTime(1e6f);
    aim(s->cam, kW, kH, 0);
    s->ctx.setCamera(s->cam, false);
    s->ctx.render();   // builds the tables and the block maxima
    const char* stepText = std::getenv("FW_BENCH_ORBIT_STEP");
    const int orbitStep = std::clamp(stepText ? std::atoi(stepText) : 1, 1, kViews);
    std::vector<double> ratios, oursMedians, vtkMedians;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            std::vector<double> ours, vtk;
            for (int view = 0; view < kViews; view += orbitStep) {
                aim(s->cam, kW, kH, view);
                s->ctx.setCamera(s->cam, false);
                s->ctx.setImageScale(1.f);
                const auto t0 = std::chrono::steady_clock::now();
                s->ctx.render();
                const auto t1 = std::chrono::steady_clock::now();
                ours.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
                const double v = peer.frame(view);
                if (v < 0) {
                    skipWithError(state, "VTK peer: " + peer.why());
                    return;
                }
                vtk.push_back(v);
            }
            oursMedians.push_back(median(ours));
            vtkMedians.push_back(median(vtk));
            ratios.push_back(oursMedians.back() / vtkMedians.back());
        }
    }
    std::sort(ratios.begin(), ratios.end());
    state.counters["ours_ms"] = median(oursMedians);
    state.counters["vtk_ms"] = median(vtkMedians);
    state.counters["ratio_min"] = ratios.front();
    state.counters["ratio_med"] = median(ratios);

    // Equal output: one oblique view from both.
    aim(s->cam, kW, kH, kImageView);
    s->ctx.setCamera(s->cam, false);
    s->ctx.setImageScale(1.f);
    s->ctx.render();
    const auto folder = imageFolder();
    const std::string stem = std::string(kModeNames[modeIndex]) + "_" + kPhantomNames[which];
    const auto rawPath = VtkPeer::scratchFolder() / (stem + "_vtk.raw");
    if (s->ctx.getImageWidth() == kW && s->ctx.getImageHeight() == kH && peer.grab(kImageView, rawPath.string())) {
        std::vector<uint8_t> theirs(size_t(kW) * kH * 3);
        FILE* f = std::fopen(rawPath.c_str(), "rb");
        const bool read = f && std::fread(theirs.data(), 1, theirs.size(), f) == theirs.size();
        if (f) std::fclose(f);
        std::error_code ec;
        std::filesystem::remove(rawPath, ec);
        if (read) {
            const uint8_t* mine = s->ctx.getImageBuffer();
            double sum = 0;
            int worst = 0;
            for (size_t i = 0; i < theirs.size(); ++i) {
                const int d = std::abs(int(mine[i]) - int(theirs[i]));
                sum += d;
                worst = std::max(worst, d);
            }
            state.counters["diff_mean"] = sum / double(theirs.size());
            state.counters["diff_max"] = worst;
            vrdebug::writePng((folder / (stem + "_ours.png")).string(), mine, kW, kH);
            vrdebug::writePng((folder / (stem + "_vtk.png")).string(), theirs.data(), kW, kH);
        }
    }
    state.SetLabel(label);
}

void vsVtkArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"mode", "phantom", "threads"});
    for (int mode : {1, 2})
        for (int which : {0, 1})
            for (int threads : {1, 4, 8}) b->Args({mode, which, threads});
}
BENCHMARK(BM_VsVtk)->Apply(vsVtkArgs)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

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

// One pass that reads every voxel once on the ray caster's worker count.
void BM_MemoryFloor(benchmark::State& state)
{
    const auto& v = phantom().voxels;
    const int threads = RayCastContext::machineWorkerCount();
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
