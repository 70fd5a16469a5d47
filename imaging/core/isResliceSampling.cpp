// Oblique resampling with trilinear or tricubic interpolation and slab
// projection.
//
// Each output row is split, once per slab sample, into the runs where the
// samples fall outside the volume (background), on its border (the sampler's
// own clamped path) and in its interior, where every neighbour exists and the
// inner loop runs without bounds tests or clamping. Sample positions are
// monotone along a row, so each run boundary is found by a short search on
// the very expressions the loops evaluate: the interior loop computes the
// same values, bit for bit, as the sampler of isInterpolation.h would at the
// same positions. Rows are combined with the slab samples of the same row in
// turn, which keeps the reads of a slab close together in memory.
#include "imaging/core/isResliceKernels.h"

#include "imaging/core/isInterpolation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

namespace isImageSDK {

namespace {

struct Range
{
    int lo = 0;
    int hi = 0; // exclusive
    bool empty() const { return hi <= lo; }
};

inline Range intersect(Range a, Range b) { return {std::max(a.lo, b.lo), std::min(a.hi, b.hi)}; }

// Position of sample u along a row: the one expression every loop and every
// boundary search evaluates.
inline float rowPos(float start, float step, int u) { return start + float(u) * step; }

// {u in [0, width) : pred(u)} for a predicate whose truth set is empty, all,
// a prefix or a suffix of the row (a one-sided bound on a monotone position).
// `guess` is where the boundary is expected; the search gallops from there.
template <class Pred>
Range monotoneRange(int width, Pred pred, double guess)
{
    if (width <= 0)
        return {0, 0};
    const bool a = pred(0);
    const bool b = pred(width - 1);
    if (a == b)
        return a ? Range{0, width} : Range{0, 0};
    // pred(lo) == a, pred(hi) == b; find the first index where b holds.
    int lo = 0, hi = width - 1;
    if (hi - lo > 1) {
        int g = (guess == guess && std::fabs(guess) < 1e9) ? int(std::floor(guess)) : (lo + hi) / 2;
        g = std::clamp(g, lo + 1, hi - 1);
        int step = 1;
        if (pred(g) == a) {
            lo = g;
            while (lo + step < hi) {
                const int probe = lo + step;
                if (pred(probe) == a) { lo = probe; step *= 2; }
                else { hi = probe; break; }
            }
        } else {
            hi = g;
            while (hi - step > lo) {
                const int probe = hi - step;
                if (pred(probe) == b) { hi = probe; step *= 2; }
                else { lo = probe; break; }
            }
        }
        while (hi - lo > 1) {
            const int mid = lo + (hi - lo) / 2;
            if (pred(mid) == a) lo = mid;
            else hi = mid;
        }
    }
    return a ? Range{0, hi} : Range{hi, width};
}

// Where along a row start + u * step (optionally times `scale`) meets the
// value `bound`: the search's first guess.
inline double crossing(float start, float step, double bound)
{
    return step != 0.0f ? (bound - double(start)) / double(step) : 0.0;
}

// Combination of one slab sample into the output row.
enum class Combine { Store, Min, Max, AccStore, AccAdd };

template <typename T, Combine C>
struct Sink
{
    T* out;
    double* acc;
    inline void put(int u, T v) const
    {
        if constexpr (C == Combine::Store) out[u] = v;
        else if constexpr (C == Combine::Min) { if (v < out[u]) out[u] = v; }
        else if constexpr (C == Combine::Max) { if (v > out[u]) out[u] = v; }
        else if constexpr (C == Combine::AccStore) acc[u] = double(v);
        else acc[u] += double(v);
    }
    inline void fill(int u0, int u1, T v) const
    {
        for (int u = u0; u < u1; ++u) put(u, v);
    }
};

template <typename T>
struct Linear
{
    CTriLinear<T> s;
    std::int64_t sy = 0, sz = 0;

    template <class S>
    void row(const float R[3], const float C[3], int width, const S& sink) const
    {
        const SamplerAxis* ax = s.axes;
        // Inside: the caller's x >= 0 and the sampler's inclusive bounds.
        Range in{0, width};
        for (int a = 0; a < 3 && !in.empty(); ++a) {
            const float r = R[a], c = C[a], ub = ax[a].upperBound;
            in = intersect(in, monotoneRange(width, [=](int u) { return rowPos(r, c, u) >= 0.0f; }, crossing(r, c, 0.0)));
            in = intersect(in, monotoneRange(width, [=](int u) { return rowPos(r, c, u) <= ub; }, crossing(r, c, ub)));
        }
        if (in.empty()) {
            sink.fill(0, width, s.background);
            return;
        }
        // Interior: both neighbours exist on every axis (f < dim - 1; f >= 0
        // follows from the position being inside).
        Range core = in;
        for (int a = 0; a < 3 && !core.empty(); ++a) {
            const float r = R[a], c = C[a], inv = ax[a].inverseSpacing;
            const float top = float(s.dimensions[a] - 1);
            if (s.dimensions[a] < 2) { core = {0, 0}; break; }
            core = intersect(core, monotoneRange(width, [=](int u) { return rowPos(r, c, u) * inv < top; },
                                                 crossing(r, c, double(top) * ax[a].spacing)));
        }
        if (core.empty())
            core = {in.hi, in.hi};

        sink.fill(0, in.lo, s.background);
        for (int u = in.lo; u < core.lo; ++u)
            sink.put(u, s.sample(rowPos(R[0], C[0], u), rowPos(R[1], C[1], u), rowPos(R[2], C[2], u)));
        interior(R, C, core.lo, core.hi, sink);
        for (int u = core.hi; u < in.hi; ++u)
            sink.put(u, s.sample(rowPos(R[0], C[0], u), rowPos(R[1], C[1], u), rowPos(R[2], C[2], u)));
        sink.fill(in.hi, width, s.background);
    }

    // The sampler's arithmetic without its bounds tests and clamping; the
    // index clamps only guard memory and never change a value here.
    template <class S>
    void interior(const float R[3], const float C[3], int u0, int u1, const S& sink) const
    {
        const float ix_ = s.axes[0].inverseSpacing, iy_ = s.axes[1].inverseSpacing, iz_ = s.axes[2].inverseSpacing;
        const int mx = s.dimensions[0] - 2, my = s.dimensions[1] - 2, mz = s.dimensions[2] - 2;
        const float b0 = s.basis[0], b1 = s.basis[1], b2 = s.basis[2], b3 = s.basis[3];
        const T* vox = s.voxels;
        const std::int64_t SY = sy, SZ = sz;
        for (int u = u0; u < u1; ++u) {
            const float fx = rowPos(R[0], C[0], u) * ix_;
            const float fy = rowPos(R[1], C[1], u) * iy_;
            const float fz = rowPos(R[2], C[2], u) * iz_;
            const int ix = std::clamp(int(fx), 0, mx);
            const int iy = std::clamp(int(fy), 0, my);
            const int iz = std::clamp(int(fz), 0, mz);
            const float tx = fx - float(ix), ty = fy - float(iy), tz = fz - float(iz);
            const float wx0 = b0 + b1 * tx, wx1 = b2 + b3 * tx;
            const float wy0 = b0 + b1 * ty, wy1 = b2 + b3 * ty;
            const float wz0 = b0 + b1 * tz, wz1 = b2 + b3 * tz;
            const T* q = vox + (iz * SZ + iy * SY + ix);
            float sum = 0.0f;
            sum += float(q[0]) * ((wy0 * wx0) * wz0);
            sum += float(q[1]) * ((wy0 * wx1) * wz0);
            sum += float(q[SY]) * ((wy1 * wx0) * wz0);
            sum += float(q[SY + 1]) * ((wy1 * wx1) * wz0);
            sum += float(q[SZ]) * ((wy0 * wx0) * wz1);
            sum += float(q[SZ + 1]) * ((wy0 * wx1) * wz1);
            sum += float(q[SZ + SY]) * ((wy1 * wx0) * wz1);
            sum += float(q[SZ + SY + 1]) * ((wy1 * wx1) * wz1);
            sink.put(u, interpolatedToVoxel<T>(sum));
        }
    }
};

template <typename T>
struct Cubic
{
    CTriCubic<T> s;
    std::int64_t sy = 0, sz = 0;

    template <class S>
    void row(const float R[3], const float C[3], int width, const S& sink) const
    {
        const SamplerAxis* ax = s.axes;
        // Inside: the truncated voxel index lies in [0, dim - 1] on every
        // axis, that is -1 < f < dim.
        Range in{0, width};
        for (int a = 0; a < 3 && !in.empty(); ++a) {
            const float r = R[a], c = C[a], inv = ax[a].inverseSpacing, sp = ax[a].spacing;
            const float dim = float(s.dimensions[a]);
            in = intersect(in, monotoneRange(width, [=](int u) { return rowPos(r, c, u) * inv > -1.0f; },
                                             crossing(r, c, -double(sp))));
            in = intersect(in, monotoneRange(width, [=](int u) { return rowPos(r, c, u) * inv < dim; },
                                             crossing(r, c, double(dim) * sp)));
        }
        if (in.empty()) {
            sink.fill(0, width, s.background);
            return;
        }
        // Interior: neighbours i - 1 .. i + 2 exist, 1 <= f < dim - 2.
        Range core = in;
        for (int a = 0; a < 3 && !core.empty(); ++a) {
            if (s.dimensions[a] < 4) { core = {0, 0}; break; }
            const float r = R[a], c = C[a], inv = ax[a].inverseSpacing, sp = ax[a].spacing;
            const float top = float(s.dimensions[a] - 2);
            core = intersect(core, monotoneRange(width, [=](int u) { return rowPos(r, c, u) * inv >= 1.0f; },
                                                 crossing(r, c, double(sp))));
            core = intersect(core, monotoneRange(width, [=](int u) { return rowPos(r, c, u) * inv < top; },
                                                 crossing(r, c, double(top) * sp)));
        }
        if (core.empty())
            core = {in.hi, in.hi};

        sink.fill(0, in.lo, s.background);
        for (int u = in.lo; u < core.lo; ++u) sink.put(u, border(R, C, u));
        interior(R, C, core.lo, core.hi, sink);
        for (int u = core.hi; u < in.hi; ++u) sink.put(u, border(R, C, u));
        sink.fill(in.hi, width, s.background);
    }

    T border(const float R[3], const float C[3], int u) const
    {
        const float fx = (rowPos(R[0], C[0], u) - s.axes[0].origin) * s.axes[0].inverseSpacing;
        return s.sample(rowPos(R[1], C[1], u), rowPos(R[2], C[2], u), fx, int(fx));
    }

    template <class S>
    void interior(const float R[3], const float C[3], int u0, int u1, const S& sink) const
    {
        const float inv[3] = {s.axes[0].inverseSpacing, s.axes[1].inverseSpacing, s.axes[2].inverseSpacing};
        const int maxI[3] = {s.dimensions[0] - 3, s.dimensions[1] - 3, s.dimensions[2] - 3};
        const std::int64_t SY = sy, SZ = sz;
        for (int u = u0; u < u1; ++u) {
            float w[3][4];
            std::int64_t base = 0;
            for (int a = 0; a < 3; ++a) {
                const float f = rowPos(R[a], C[a], u) * inv[a];
                const int i = std::clamp(int(f), 1, maxI[a]);
                s.weights(f - float(i), w[a]);
                base += (i - 1) * (a == 0 ? 1 : a == 1 ? SY : SZ);
            }
            const T* q = s.voxels + base;
            float wyx[4][4];
            for (int ky = 0; ky < 4; ++ky)
                for (int kx = 0; kx < 4; ++kx)
                    wyx[ky][kx] = w[1][ky] * w[0][kx];
            float sum = 0.0f;
            for (int kz = 0; kz < 4; ++kz) {
                const float wz = w[2][kz];
                const T* pz = q + kz * SZ;
                for (int ky = 0; ky < 4; ++ky) {
                    const T* p = pz + ky * SY;
                    sum += float(p[0]) * (wyx[ky][0] * wz);
                    sum += float(p[1]) * (wyx[ky][1] * wz);
                    sum += float(p[2]) * (wyx[ky][2] * wz);
                    sum += float(p[3]) * (wyx[ky][3] * wz);
                }
            }
            sink.put(u, interpolatedToVoxel<T>(sum));
        }
    }
};

inline bool finite3(const float v[3])
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

template <typename T>
inline T storeAccumulated(double v, double limit)
{
    if constexpr (std::is_floating_point_v<T>) {
        v = std::min(v, limit);
        v = std::max(v, -limit);
        return static_cast<T>(v);
    } else {
        constexpr double lo = double(std::numeric_limits<T>::lowest());
        v = std::min(v, limit);
        v = v > lo ? v : lo;
        return static_cast<T>(v);
    }
}

template <typename T, class Interp>
bool resliceTyped(const ResliceSampling& a, Interp& interp)
{
    if (!initSampler(interp.s, static_cast<const T*>(a.voxels), a.dimensions, a.spacing,
                     interpolatedToVoxel<T>(a.backgroundValue)))
        return false;
    interp.sy = a.dimensions[0];
    interp.sz = std::int64_t(a.dimensions[0]) * a.dimensions[1];

    T* out = static_cast<T*>(a.output);
    const int W = a.width, H = a.height;
    const std::int64_t total = std::int64_t(W) * H;
    if (!finite3(a.origin) || !finite3(a.columnStep) || !finite3(a.rowStep) ||
        (a.slabSampleCount > 1 && !finite3(a.slabStep))) {
        std::fill(out, out + total, interp.s.background);
        return true;
    }

    const int c = std::max(a.slabSampleCount, 1);
    const int half = (c - 1) / 2;
    const int mode = a.projectionMode;
    const bool accumulate = c > 1 && (mode == PROJECTION_MEAN || mode == PROJECTION_SUM);
    std::unique_ptr<double[]> acc;
    if (accumulate) {
        acc.reset(new (std::nothrow) double[size_t(W)]);
        if (!acc)
            return false;
    }
    const double limit = projectionSumLimit(a.elementType);
    const double scale = 1.0 / double(c);

    for (int v = 0; v < H; ++v) {
        T* orow = out + std::int64_t(v) * W;
        for (int k = 0; k < c; ++k) {
            const float s = float(k - half);
            float R[3];
            for (int i = 0; i < 3; ++i)
                R[i] = (a.origin[i] + s * a.slabStep[i]) + float(v) * a.rowStep[i];
            if (accumulate) {
                if (k == 0) interp.row(R, a.columnStep, W, Sink<T, Combine::AccStore>{orow, acc.get()});
                else interp.row(R, a.columnStep, W, Sink<T, Combine::AccAdd>{orow, acc.get()});
            } else if (k == 0) {
                interp.row(R, a.columnStep, W, Sink<T, Combine::Store>{orow, nullptr});
            } else if (mode == PROJECTION_MIN) {
                interp.row(R, a.columnStep, W, Sink<T, Combine::Min>{orow, nullptr});
            } else {
                interp.row(R, a.columnStep, W, Sink<T, Combine::Max>{orow, nullptr});
            }
        }
        if (accumulate) {
            if (mode == PROJECTION_MEAN)
                for (int u = 0; u < W; ++u) orow[u] = storeAccumulated<T>(acc[u] * scale, limit);
            else
                for (int u = 0; u < W; ++u) orow[u] = storeAccumulated<T>(acc[u], limit);
        }
    }
    return true;
}

template <typename T>
bool resliceFor(const ResliceSampling& a)
{
    if (a.interpolation == INTERPOLATION_CUBIC) {
        Cubic<T> interp;
        return resliceTyped<T>(a, interp);
    }
    Linear<T> interp;
    return resliceTyped<T>(a, interp);
}

} // namespace

bool resliceVolume(const ResliceSampling& a)
{
    if (!a.voxels || !a.output || a.width < 1 || a.height < 1)
        return false;
    switch (a.elementType) {
    case 0: return resliceFor<unsigned char>(a);
    case 1: return resliceFor<short>(a);
    case 2: return resliceFor<float>(a);
    case 3: return resliceFor<unsigned short>(a);
    default: return false;
    }
}

} // namespace isImageSDK
