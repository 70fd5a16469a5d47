// Plane extraction and oblique reslicing on a 512 x 512 x 500 signed 16-bit
// phantom held in memory, single-threaded.
//
// Every case reports, measured in the same run:
//   ns_per_px      time per output pixel of our kernel (best of a few runs,
//                  thread CPU time on both sides of every comparison);
//   x_floor        our time / the time to stream the same number of source
//                  bytes with a plain sum (the memory floor; 1.0 would mean
//                  "as fast as reading the samples once, in order");
//   x_naive        the time of a straightforward per-pixel implementation
//                  (written below) / our time;
//   x_vtk          the time of VTK's vtkImageReslice on the same phantom and
//                  geometry (bench/imaging/core/reslice_vtk_peer.py, one
//                  thread) / our time; absent when VTK is not installed.
//                  VTK's side is one Update() of a modified filter: pipeline
//                  update and allocation of the output image included. Ours
//                  is the kernel alone, writing into a buffer allocated once.
//                  Both produce the same image in the same layout: sagittal
//                  and coronal output rows run along z.
//   x_vtk_t        sagittal and coronal: VTK's time for the transposed image
//                  (rows along y or x, its cheapest memory order) / ours; a
//                  different layout, reported for reference.
//   diff_mean, diff_max
//                  equal output: mean and largest absolute difference between
//                  our image and VTK's of the same case, in stored 16-bit
//                  units.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "imaging/core/isInterpolation.h"
#include "imaging/core/isResliceKernels.h"

using namespace isImageSDK;

namespace {

constexpr int kDx = 512, kDy = 512, kDz = 500;
constexpr float kSpacing = 0.7f;
constexpr int kOut = 512;

// A CT-like phantom: air around an elliptic body of soft tissue with a few
// bone spheres and a little texture. The peer script builds the same one.
short phantomValue(int x, int y, int z)
{
    const double ex = (x - 256.0) / 230.0, ey = (y - 256.0) / 180.0;
    if (ex * ex + ey * ey > 1.0)
        return -1000;
    int v = 40 + ((x * 7 + y * 13 + z * 17) & 31) - 16;
    for (int s = 0; s < 4; ++s) {
        const double cx = 150 + 70 * s, cy = 250, cz = 100 + 90 * s, r = 25 + 5 * s;
        const double dx = x - cx, dy = y - cy, dz = z - cz;
        if (dx * dx + dy * dy + dz * dz < r * r)
            v = 1000 + 50 * s;
    }
    return short(v);
}

struct Phantom
{
    std::vector<short> voxels;
    std::vector<const void*> slices;
    Phantom() : voxels(size_t(kDx) * kDy * kDz)
    {
        short* p = voxels.data();
        for (int z = 0; z < kDz; ++z) {
            slices.push_back(p);
            for (int y = 0; y < kDy; ++y)
                for (int x = 0; x < kDx; ++x)
                    *p++ = phantomValue(x, y, z);
        }
    }
};

const Phantom& phantom()
{
    static const Phantom p;
    return p;
}

// CPU time of the calling thread: other work on a shared machine does not
// count against either side of a comparison.
double threadSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// Best of a few runs of f, in thread CPU seconds.
template <class F>
double bestOf(int runs, F f)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double t0 = threadSeconds();
        f();
        best = std::min(best, threadSeconds() - t0);
    }
    return best;
}

// The memory floor: a plain sum over `bytes` bytes of the phantom, in order.
double streamSeconds(size_t bytes)
{
    const auto& v = phantom().voxels;
    const size_t total = v.size() * sizeof(short);
    return bestOf(5, [&] {
        std::int64_t sum = 0;
        size_t left = bytes;
        while (left > 0) {
            const size_t n = std::min(left, total) / sizeof(short);
            const short* p = v.data();
            for (size_t i = 0; i < n; ++i) sum += p[i];
            left -= std::min(left, total);
        }
        benchmark::DoNotOptimize(sum);
    });
}

// ---------------------------------------------------------------------------
// VTK peer: run once, on first use, with one thread.

// Where the peer writes its images, removed at exit.
const std::filesystem::path& vtkImageFolder()
{
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("fernwick-reslice-peer-" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(vtkImageFolder(), ec);
        });
        return d;
    }();
    return dir;
}

const std::map<std::string, double>& vtkSeconds()
{
    static const std::map<std::string, double> results = [] {
        std::map<std::string, double> r;
        if (std::getenv("FW_BENCH_NO_VTK")) {
            std::fprintf(stderr, "VTK peer: skipped (FW_BENCH_NO_VTK)\n");
            return r;
        }
        const auto script = std::filesystem::path(FW_BENCH_DIR) / "reslice_vtk_peer.py";
        const char* python = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
        const std::string cmd = std::string(python) + " '" + script.string() + "' '" + vtkImageFolder().string() + "' 2>&1";
        FILE* f = popen(cmd.c_str(), "r");
        if (!f) {
            std::fprintf(stderr, "VTK peer: could not start python3; no VTK comparison\n");
            return r;
        }
        char line[512];
        while (std::fgets(line, sizeof line, f)) {
            char name[256];
            double ms = 0;
            if (std::sscanf(line, "case %255s %lf", name, &ms) == 2)
                r[name] = ms / 1000.0;
            else
                std::fprintf(stderr, "VTK peer: %s", line);
        }
        pclose(f);
        if (r.empty())
            std::fprintf(stderr, "VTK peer: no results (VTK missing?); no VTK comparison\n");
        return r;
    }();
    return results;
}

void report(benchmark::State& state, const std::string& name, double ours, double pixels, double sourceBytes,
            double naive, const std::vector<short>& image)
{
    state.counters["ns_per_px"] = ours * 1e9 / pixels;
    state.counters["ms"] = ours * 1e3;
    state.counters["x_floor"] = ours / streamSeconds(size_t(sourceBytes));
    if (naive > 0)
        state.counters["x_naive"] = naive / ours;
    const auto& vtk = vtkSeconds();
    if (auto it = vtk.find(name); it != vtk.end()) {
        state.counters["x_vtk"] = it->second / ours;
        state.counters["vtk_ms"] = it->second * 1e3;
    }
    if (auto it = vtk.find(name + "_t"); it != vtk.end()) state.counters["x_vtk_t"] = it->second / ours;
    // Equal output: VTK's image of the same case.
    std::vector<short> theirs(image.size());
    FILE* f = std::fopen((vtkImageFolder() / (name + ".raw")).c_str(), "rb");
    if (f) {
        const bool read = std::fread(theirs.data(), sizeof(short), theirs.size(), f) == theirs.size();
        std::fclose(f);
        if (read) {
            double sum = 0;
            int worst = 0;
            for (size_t i = 0; i < image.size(); ++i) {
                const int d = std::abs(int(image[i]) - int(theirs[i]));
                sum += d;
                worst = std::max(worst, d);
            }
            state.counters["diff_mean"] = sum / double(image.size());
            state.counters["diff_max"] = worst;
        }
    }
}

// ---------------------------------------------------------------------------
// Planes.

const char* kModeNames[4] = {"min", "max", "mean", "sum"};
const char* kOrientationNames[3] = {"axial", "sagittal", "coronal"};

// Straightforward per-pixel plane extraction: index arithmetic and a mode
// switch for every sample.
void naivePlane(const PlaneExtraction& a, short* out)
{
    const int dx = a.dimensions[0], dy = a.dimensions[1], dz = a.dimensions[2];
    const int planes = a.orientation == 0 ? dz : a.orientation == 1 ? dx : dy;
    const SlabRange r = slabRange(a.sliceIndex, a.slabSampleCount, planes);
    const int w = a.orientation == 0 ? dx : dz, h = a.orientation == 2 ? dx : dy;
    const short* vox = static_cast<const short*>(a.voxels);
    for (int v = 0; v < h; ++v)
        for (int u = 0; u < w; ++u) {
            double acc = 0;
            short kept = 0;
            for (int p = r.first; p <= r.last; ++p) {
                int x, y, z;
                if (a.orientation == 0) x = u, y = v, z = p;
                else if (a.orientation == 1) x = dx - 1 - p, y = v, z = u;
                else x = v, y = p, z = u;
                const short s = vox[(size_t(z) * dy + y) * dx + x];
                if (p == r.first) kept = s;
                switch (a.projectionMode) {
                case PROJECTION_MIN: kept = std::min(kept, s); break;
                case PROJECTION_MAX: kept = std::max(kept, s); break;
                default: acc += s; break;
                }
            }
            if (a.projectionMode == PROJECTION_MEAN) kept = short(acc * (1.0 / r.count()));
            if (a.projectionMode == PROJECTION_SUM) kept = short(std::clamp(acc, -32768.0, 32767.0));
            out[size_t(v) * w + u] = kept;
        }
}

void BM_Plane(benchmark::State& state)
{
    const int orientation = int(state.range(0)), slab = int(state.range(1)), mode = int(state.range(2));
    const Phantom& ph = phantom();
    PlaneExtraction a;
    a.voxels = ph.voxels.data();
    a.dimensions[0] = kDx, a.dimensions[1] = kDy, a.dimensions[2] = kDz;
    a.elementType = ELEMENT_INT16;
    a.orientation = orientation;
    a.sliceIndex = orientation == 0 ? kDz / 2 : kDx / 2;
    a.slabSampleCount = slab;
    a.projectionMode = mode;
    const int w = orientation == 0 ? kDx : kDz, h = orientation == 2 ? kDx : kDy;
    std::vector<short> out(size_t(w) * h);
    a.output = out.data();
    for (auto _ : state) {
        extractPlane(a);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const double ours = bestOf(5, [&] { extractPlane(a); });
    std::vector<short> ref(out.size());
    const double naive = bestOf(2, [&] { naivePlane(a, ref.data()); });
    if (ref != out)
        state.SkipWithError("naive plane differs");
    const std::string name = std::string(kOrientationNames[orientation]) + "_s" + std::to_string(slab) + "_" +
                             kModeNames[mode];
    state.SetLabel(name);
    report(state, name, ours, double(w) * h, double(w) * h * slab * sizeof(short), naive, out);
}

// ---------------------------------------------------------------------------
// Oblique planes.

struct Oblique
{
    const char* name;
    double tiltX, tiltY; // degrees: about x, then about y
};
const Oblique kOblique[] = {{"0", 0, 0}, {"30", 30, 0}, {"45", 45, 0}, {"30_20", 30, 20}};

// Plane axes after rotating the axial plane about x by a, then about y by b.
void obliqueAxes(double a, double b, double e0[3], double e1[3], double n[3])
{
    const double ca = std::cos(a * M_PI / 180), sa = std::sin(a * M_PI / 180);
    const double cb = std::cos(b * M_PI / 180), sb = std::sin(b * M_PI / 180);
    // R = Ry(b) * Rx(a); columns.
    const double r0[3] = {cb, 0, -sb};
    const double r1[3] = {sb * sa, ca, cb * sa};
    const double r2[3] = {sb * ca, -sa, cb * ca};
    for (int i = 0; i < 3; ++i) e0[i] = r0[i], e1[i] = r1[i], n[i] = r2[i];
}

ResliceSampling obliqueSampling(const Oblique& o, int interpolation, int slab, std::vector<short>& out)
{
    double e0[3], e1[3], n[3];
    obliqueAxes(o.tiltX, o.tiltY, e0, e1, n);
    ResliceSampling a;
    a.voxels = phantom().voxels.data();
    a.dimensions[0] = kDx, a.dimensions[1] = kDy, a.dimensions[2] = kDz;
    for (float& s : a.spacing) s = kSpacing;
    a.elementType = ELEMENT_INT16;
    out.assign(size_t(kOut) * kOut, 0);
    a.output = out.data();
    a.width = a.height = kOut;
    // Centred on the volume, one voxel per output pixel.
    const double centre[3] = {(kDx - 1) * kSpacing / 2.0, (kDy - 1) * kSpacing / 2.0, (kDz - 1) * kSpacing / 2.0};
    for (int i = 0; i < 3; ++i) {
        a.origin[i] = float(centre[i] - (kOut / 2) * kSpacing * (e0[i] + e1[i]));
        a.columnStep[i] = float(kSpacing * e0[i]);
        a.rowStep[i] = float(kSpacing * e1[i]);
        a.slabStep[i] = float(kSpacing * n[i]);
    }
    a.interpolation = interpolation;
    a.slabSampleCount = slab;
    a.projectionMode = PROJECTION_MAX;
    a.backgroundValue = -1024.0f;
    return a;
}

// Straightforward per-pixel reslice: a matrix product per sample, the
// samplers' own bounds tests, slab passes over the whole image with a double
// buffer.
void naiveReslice(const ResliceSampling& a, short* out)
{
    CTriLinear<short> lin;
    CTriCubic<short> cub;
    const short bg = short(a.backgroundValue);
    initSampler(lin, static_cast<const short*>(a.voxels), a.dimensions, a.spacing, bg);
    initSampler(cub, static_cast<const short*>(a.voxels), a.dimensions, a.spacing, bg);
    const int c = std::max(1, a.slabSampleCount), half = (c - 1) / 2;
    for (int k = 0; k < c; ++k)
        for (int v = 0; v < a.height; ++v)
            for (int u = 0; u < a.width; ++u) {
                const float s = float(k - half);
                float p[3];
                for (int i = 0; i < 3; ++i)
                    p[i] = a.origin[i] + float(u) * a.columnStep[i] + float(v) * a.rowStep[i] + s * a.slabStep[i];
                short value;
                if (a.interpolation == INTERPOLATION_CUBIC) {
                    const float fx = p[0] * cub.axes[0].inverseSpacing;
                    value = fx > -1.0f ? cub.sample(p[1], p[2], fx, int(fx)) : bg;
                } else {
                    value = p[0] < 0.0f ? bg : lin.sample(p[0], p[1], p[2]);
                }
                short& o = out[size_t(v) * a.width + u];
                o = k == 0 ? value : std::max(o, value);
            }
}

void BM_Oblique(benchmark::State& state)
{
    const Oblique& o = kOblique[state.range(0)];
    const int interpolation = int(state.range(1)), slab = int(state.range(2));
    std::vector<short> out;
    const ResliceSampling a = obliqueSampling(o, interpolation, slab, out);
    for (auto _ : state) {
        resliceVolume(a);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const double ours = bestOf(3, [&] { resliceVolume(a); });
    std::vector<short> ref(out.size());
    const double naive = bestOf(1, [&] { naiveReslice(a, ref.data()); });
    std::string name = std::string("oblique_") + o.name + (interpolation == INTERPOLATION_CUBIC ? "_cubic" : "_linear");
    if (slab > 1)
        name += "_mip" + std::to_string(slab);
    state.SetLabel(name);
    const double samples = double(kOut) * kOut * slab;
    report(state, name, ours, double(kOut) * kOut, samples * sizeof(short), naive, out);
}

void planeArgs(benchmark::internal::Benchmark* b)
{
    for (int o = 0; o < 3; ++o)
        for (int slab : {1, 15, 31})
            for (int mode = 0; mode < 4; ++mode) {
                if (slab == 1 && mode != PROJECTION_MAX)
                    continue; // one plane: every mode is the same copy
                b->Args({o, slab, mode});
            }
}

void obliqueArgs(benchmark::internal::Benchmark* b)
{
    for (int o = 0; o < 4; ++o)
        for (int interp : {INTERPOLATION_LINEAR, INTERPOLATION_CUBIC})
            b->Args({o, interp, 1});
    b->Args({1, INTERPOLATION_LINEAR, 31});
    b->Args({3, INTERPOLATION_LINEAR, 31});
}

} // namespace

BENCHMARK(BM_Plane)->Apply(planeArgs)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Oblique)->Apply(obliqueArgs)->Unit(benchmark::kMillisecond)->Iterations(3);
