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

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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

// {u in [first, end) : pred(u)} for a one-sided bound on a position that
// moves by `step` per sample: pred is "position above a bound" when
// trueAbove, else "position below a bound". The positions are monotone along
// the row, so the truth set is empty, all, a prefix or a suffix; its boundary
// is searched from `guess` (where the position meets the bound), which is
// usually right, so that two evaluations settle it.
template <class Pred>
Range oneSided(int first, int end, float step, bool trueAbove, Pred pred, double guess)
{
    if (end <= first)
        return {first, first};
    if (step == 0.0f)
        return pred(first) ? Range{first, end} : Range{first, first};
    const bool suffix = (step > 0.0f) == trueAbove;
    // `after` is false before the boundary and true from it on.
    auto after = [&](int u) { return pred(u) == suffix; };
    int lo = first - 1, hi = end; // after(lo) false, after(hi) true (virtual ends)
    int g = (guess == guess && std::fabs(guess) < 1e9) ? int(std::ceil(guess)) : first + (end - first) / 2;
    g = std::clamp(g, first, end - 1);
    if (after(g)) {
        hi = g;
        for (int d = 1; hi - d > lo; d *= 2) {
            if (!after(hi - d)) { lo = hi - d; break; }
            hi -= d;
        }
    } else {
        lo = g;
        for (int d = 1; lo + d < hi; d *= 2) {
            if (after(lo + d)) { hi = lo + d; break; }
            lo += d;
        }
    }
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        if (after(mid)) hi = mid;
        else lo = mid;
    }
    return suffix ? Range{hi, end} : Range{first, hi};
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
struct Linear;
template <typename T>
struct Cubic;

#if defined(__x86_64__) && defined(__GNUC__)
#define FW_RESLICE_AVX2 1
// Eight samples at a time, one per vector lane; every lane performs the
// scalar loop's operations in the same order, so results stay bit for bit
// the same. Used when the processor has AVX2 (never FMA: a fused
// multiply-add would round differently).
template <typename T>
constexpr bool kWideKernel = std::is_same_v<T, short> || std::is_same_v<T, unsigned short> || std::is_same_v<T, float>;

bool cpuHasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#define FW_AVX2 __attribute__((target("avx2")))
template <typename T, class S>
FW_AVX2 int linearInteriorAvx2(const Linear<T>& L, const float R[3], const float C[3], int u0, int u1, const S& sink);
template <typename T, class S>
FW_AVX2 int cubicInteriorAvx2(const Cubic<T>& K, const float R[3], const float C[3], int u0, int u1, const S& sink);
#endif

template <typename T>
struct Linear
{
    CTriLinear<T> s;
    std::int64_t sy = 0, sz = 0;
    // Voxel offset from a sample to the one the traversal reaches a row (or
    // slab pass) later; the wide loop prefetches there when rows cut across
    // slices, where the hardware's stream prefetchers find no pattern.
    std::int64_t ahead = 0;

    template <class S>
    void row(const float R[3], const float C[3], int ua, int ub, const S& sink) const
    {
        const SamplerAxis* ax = s.axes;
        // Inside: the caller's x >= 0 and the sampler's inclusive bounds.
        Range in{ua, ub};
        for (int a = 0; a < 3 && !in.empty(); ++a) {
            const float r = R[a], c = C[a], hiBound = ax[a].upperBound;
            in = intersect(in, oneSided(ua, ub, c, true, [=](int u) { return rowPos(r, c, u) >= 0.0f; }, crossing(r, c, 0.0)));
            in = intersect(in, oneSided(ua, ub, c, false, [=](int u) { return rowPos(r, c, u) <= hiBound; }, crossing(r, c, hiBound)));
        }
        if (in.empty()) {
            sink.fill(ua, ub, s.background);
            return;
        }
        // Interior: both neighbours exist on every axis (f < dim - 1; f >= 0
        // follows from the position being inside).
        Range core = in;
        for (int a = 0; a < 3 && !core.empty(); ++a) {
            const float r = R[a], c = C[a], inv = ax[a].inverseSpacing;
            const float top = float(s.dimensions[a] - 1);
            if (s.dimensions[a] < 2) { core = {0, 0}; break; }
            core = intersect(core, oneSided(ua, ub, c, false, [=](int u) { return rowPos(r, c, u) * inv < top; },
                                                 crossing(r, c, double(top) * ax[a].spacing)));
        }
        if (core.empty())
            core = {in.hi, in.hi};

        sink.fill(ua, in.lo, s.background);
        for (int u = in.lo; u < core.lo; ++u)
            sink.put(u, s.sample(rowPos(R[0], C[0], u), rowPos(R[1], C[1], u), rowPos(R[2], C[2], u)));
        interior(R, C, core.lo, core.hi, sink);
        for (int u = core.hi; u < in.hi; ++u)
            sink.put(u, s.sample(rowPos(R[0], C[0], u), rowPos(R[1], C[1], u), rowPos(R[2], C[2], u)));
        sink.fill(in.hi, ub, s.background);
    }

    // The sampler's arithmetic without its bounds tests and clamping; the
    // index clamps only guard memory and never change a value here.
    template <class S>
    void interior(const float R[3], const float C[3], int u0, int u1, const S& sink) const
    {
#ifdef FW_RESLICE_AVX2
        if constexpr (kWideKernel<T>)
            if (cpuHasAvx2())
                u0 = linearInteriorAvx2(*this, R, C, u0, u1, sink);
#endif
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
    std::int64_t ahead = 0; // as for Linear

    template <class S>
    void row(const float R[3], const float C[3], int ua, int ub, const S& sink) const
    {
        const SamplerAxis* ax = s.axes;
        // Inside: the truncated voxel index lies in [0, dim - 1] on every
        // axis, that is -1 < f < dim.
        Range in{ua, ub};
        for (int a = 0; a < 3 && !in.empty(); ++a) {
            const float r = R[a], c = C[a], inv = ax[a].inverseSpacing, sp = ax[a].spacing;
            const float dim = float(s.dimensions[a]);
            in = intersect(in, oneSided(ua, ub, c, true, [=](int u) { return rowPos(r, c, u) * inv > -1.0f; },
                                             crossing(r, c, -double(sp))));
            in = intersect(in, oneSided(ua, ub, c, false, [=](int u) { return rowPos(r, c, u) * inv < dim; },
                                             crossing(r, c, double(dim) * sp)));
        }
        if (in.empty()) {
            sink.fill(ua, ub, s.background);
            return;
        }
        // Interior: neighbours i - 1 .. i + 2 exist, 1 <= f < dim - 2.
        Range core = in;
        for (int a = 0; a < 3 && !core.empty(); ++a) {
            if (s.dimensions[a] < 4) { core = {0, 0}; break; }
            const float r = R[a], c = C[a], inv = ax[a].inverseSpacing, sp = ax[a].spacing;
            const float top = float(s.dimensions[a] - 2);
            core = intersect(core, oneSided(ua, ub, c, true, [=](int u) { return rowPos(r, c, u) * inv >= 1.0f; },
                                                 crossing(r, c, double(sp))));
            core = intersect(core, oneSided(ua, ub, c, false, [=](int u) { return rowPos(r, c, u) * inv < top; },
                                                 crossing(r, c, double(top) * sp)));
        }
        if (core.empty())
            core = {in.hi, in.hi};

        sink.fill(ua, in.lo, s.background);
        for (int u = in.lo; u < core.lo; ++u) sink.put(u, border(R, C, u));
        interior(R, C, core.lo, core.hi, sink);
        for (int u = core.hi; u < in.hi; ++u) sink.put(u, border(R, C, u));
        sink.fill(in.hi, ub, s.background);
    }

    T border(const float R[3], const float C[3], int u) const
    {
        const float fx = (rowPos(R[0], C[0], u) - s.axes[0].origin) * s.axes[0].inverseSpacing;
        return s.sample(rowPos(R[1], C[1], u), rowPos(R[2], C[2], u), fx, int(fx));
    }

    template <class S>
    void interior(const float R[3], const float C[3], int u0, int u1, const S& sink) const
    {
#ifdef FW_RESLICE_AVX2
        if constexpr (kWideKernel<T>)
            if (cpuHasAvx2())
                u0 = cubicInteriorAvx2(*this, R, C, u0, u1, sink);
#endif
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

#ifdef FW_RESLICE_AVX2

// Voxels q[0] and q[1] of each lane's index, converted to float.
template <typename T>
FW_AVX2 inline void loadPair(const T* vox, __m256i idx, __m256& a, __m256& b)
{
    if constexpr (std::is_same_v<T, short>) {
        const __m256i g = _mm256_i32gather_epi32(reinterpret_cast<const int*>(vox), idx, 2);
        a = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(g, 16), 16));
        b = _mm256_cvtepi32_ps(_mm256_srai_epi32(g, 16));
    } else if constexpr (std::is_same_v<T, unsigned short>) {
        const __m256i g = _mm256_i32gather_epi32(reinterpret_cast<const int*>(vox), idx, 2);
        a = _mm256_cvtepi32_ps(_mm256_and_si256(g, _mm256_set1_epi32(0xFFFF)));
        b = _mm256_cvtepi32_ps(_mm256_srli_epi32(g, 16));
    } else {
        a = _mm256_i32gather_ps(vox, idx, 4);
        b = _mm256_i32gather_ps(vox + 1, idx, 4);
    }
}

// The interpolated values to the voxel type (interpolatedToVoxel), handed
// to the sink lane by lane.
template <typename T, class S>
FW_AVX2 inline void putEight(const S& sink, int u, __m256 sum)
{
    if constexpr (std::is_floating_point_v<T>) {
        alignas(32) float r[8];
        _mm256_store_ps(r, sum);
        for (int j = 0; j < 8; ++j) sink.put(u + j, r[j]);
    } else {
        const __m256 lo = _mm256_set1_ps(float(std::numeric_limits<T>::lowest()));
        const __m256 hi = _mm256_set1_ps(float(std::numeric_limits<T>::max()));
        // max/min keep the first operand unless the comparison holds, as the
        // scalar conversion does (NaN ends at lo).
        const __m256 v = _mm256_min_ps(_mm256_max_ps(sum, lo), hi);
        alignas(32) std::int32_t r[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(r), _mm256_cvttps_epi32(v));
        for (int j = 0; j < 8; ++j) sink.put(u + j, T(r[j]));
    }
}

template <typename T, class S>
FW_AVX2 int linearInteriorAvx2(const Linear<T>& L, const float R[3], const float C[3], int u0, int u1, const S& sink)
{
    const CTriLinear<T>& s = L.s;
    const __m256 lane = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    __m256 r[3], c[3], inv[3];
    __m256i top[3];
    for (int a = 0; a < 3; ++a) {
        r[a] = _mm256_set1_ps(R[a]);
        c[a] = _mm256_set1_ps(C[a]);
        inv[a] = _mm256_set1_ps(s.axes[a].inverseSpacing);
        top[a] = _mm256_set1_epi32(s.dimensions[a] - 2);
    }
    const __m256 b0 = _mm256_set1_ps(s.basis[0]), b1 = _mm256_set1_ps(s.basis[1]);
    const __m256 b2 = _mm256_set1_ps(s.basis[2]), b3 = _mm256_set1_ps(s.basis[3]);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i SY = _mm256_set1_epi32(int(L.sy)), SZ = _mm256_set1_epi32(int(L.sz));
    // Rows that move through the slices quickly defeat the stream
    // prefetchers.
    const bool prefetch = L.ahead != 0 && std::fabs(C[2] * s.axes[2].inverseSpacing) > 0.125f;
    const std::int64_t count = std::int64_t(s.voxelCount);
    int u = u0;
    for (; u + 8 <= u1; u += 8) {
        const __m256 fu = _mm256_add_ps(_mm256_set1_ps(float(u)), lane);
        __m256 w0[3], w1[3];
        __m256i i[3];
        for (int a = 0; a < 3; ++a) {
            const __m256 f = _mm256_mul_ps(_mm256_add_ps(r[a], _mm256_mul_ps(fu, c[a])), inv[a]);
            i[a] = _mm256_min_epi32(_mm256_max_epi32(_mm256_cvttps_epi32(f), zero), top[a]);
            const __m256 t = _mm256_sub_ps(f, _mm256_cvtepi32_ps(i[a]));
            w0[a] = _mm256_add_ps(b0, _mm256_mul_ps(b1, t));
            w1[a] = _mm256_add_ps(b2, _mm256_mul_ps(b3, t));
        }
        const __m256i base =
            _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(i[2], SZ), _mm256_mullo_epi32(i[1], SY)), i[0]);
        __m256 v000, v100, v010, v110, v001, v101, v011, v111;
        if (prefetch) {
            alignas(32) std::int32_t b[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(b), base);
            for (int j = 0; j < 8; j += 2) {
                const std::int64_t at = b[j] + L.ahead;
                if (at >= 0 && at + L.sz < count) {
                    _mm_prefetch(reinterpret_cast<const char*>(s.voxels + at), _MM_HINT_T0);
                    _mm_prefetch(reinterpret_cast<const char*>(s.voxels + at + L.sz), _MM_HINT_T0);
                }
            }
        }
        loadPair(s.voxels, base, v000, v100);
        loadPair(s.voxels, _mm256_add_epi32(base, SY), v010, v110);
        loadPair(s.voxels, _mm256_add_epi32(base, SZ), v001, v101);
        loadPair(s.voxels, _mm256_add_epi32(_mm256_add_epi32(base, SZ), SY), v011, v111);
        const __m256 a00 = _mm256_mul_ps(w0[1], w0[0]), a01 = _mm256_mul_ps(w0[1], w1[0]);
        const __m256 a10 = _mm256_mul_ps(w1[1], w0[0]), a11 = _mm256_mul_ps(w1[1], w1[0]);
        __m256 sum = _mm256_setzero_ps();
        sum = _mm256_add_ps(sum, _mm256_mul_ps(v000, _mm256_mul_ps(a00, w0[2])));
        sum = _mm256_add_ps(sum, _mm256_mul_ps(v100, _mm256_mul_ps(a01, w0[2])));
        sum = _mm256_add_ps(sum, _mm256_mul_ps(v010, _mm256_mul_ps(a10, w0[2])));
        sum = _mm256_add_ps(sum, _mm256_mul_ps(v110, _mm256_mul_ps(a11, w0[2])));
        sum = _mm256_add_ps(sum, _mm256_mul_ps(v001, _mm256_mul_ps(a00, w1[2])));
        sum = _mm256_add_ps(sum, _mm256_mul_ps(v101, _mm256_mul_ps(a01, w1[2])));
        sum = _mm256_add_ps(sum, _mm256_mul_ps(v011, _mm256_mul_ps(a10, w1[2])));
        sum = _mm256_add_ps(sum, _mm256_mul_ps(v111, _mm256_mul_ps(a11, w1[2])));
        putEight<T>(sink, u, sum);
    }
    return u;
}

template <typename T, class S>
FW_AVX2 int cubicInteriorAvx2(const Cubic<T>& K, const float R[3], const float C[3], int u0, int u1, const S& sink)
{
    const CTriCubic<T>& s = K.s;
    const __m256 lane = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    __m256 r[3], c[3], inv[3];
    __m256i top[3];
    for (int a = 0; a < 3; ++a) {
        r[a] = _mm256_set1_ps(R[a]);
        c[a] = _mm256_set1_ps(C[a]);
        inv[a] = _mm256_set1_ps(s.axes[a].inverseSpacing);
        top[a] = _mm256_set1_epi32(s.dimensions[a] - 3);
    }
    __m256 B[4][4];
    for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k)
            B[j][k] = _mm256_set1_ps(s.activeBasis[j][k]);
    const __m256i one = _mm256_set1_epi32(1), two = _mm256_set1_epi32(2);
    const __m256i SY = _mm256_set1_epi32(int(K.sy)), SZ = _mm256_set1_epi32(int(K.sz));
    const bool prefetch = K.ahead != 0 && std::fabs(C[2] * s.axes[2].inverseSpacing) > 0.125f;
    const std::int64_t count = std::int64_t(s.voxelCount);
    int u = u0;
    for (; u + 8 <= u1; u += 8) {
        const __m256 fu = _mm256_add_ps(_mm256_set1_ps(float(u)), lane);
        __m256 w[3][4];
        __m256i i[3];
        for (int a = 0; a < 3; ++a) {
            const __m256 f = _mm256_mul_ps(_mm256_add_ps(r[a], _mm256_mul_ps(fu, c[a])), inv[a]);
            i[a] = _mm256_min_epi32(_mm256_max_epi32(_mm256_cvttps_epi32(f), one), top[a]);
            const __m256 t = _mm256_sub_ps(f, _mm256_cvtepi32_ps(i[a]));
            const __m256 t2 = _mm256_mul_ps(t, t), t3 = _mm256_mul_ps(t2, t);
            for (int j = 0; j < 4; ++j)
                w[a][j] = _mm256_add_ps(
                    _mm256_add_ps(_mm256_add_ps(B[j][0], _mm256_mul_ps(B[j][1], t)), _mm256_mul_ps(B[j][2], t2)),
                    _mm256_mul_ps(B[j][3], t3));
        }
        __m256 wyx[4][4];
        for (int ky = 0; ky < 4; ++ky)
            for (int kx = 0; kx < 4; ++kx)
                wyx[ky][kx] = _mm256_mul_ps(w[1][ky], w[0][kx]);
        const __m256i base = _mm256_add_epi32(
            _mm256_add_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(i[2], one), SZ),
                             _mm256_mullo_epi32(_mm256_sub_epi32(i[1], one), SY)),
            _mm256_sub_epi32(i[0], one));
        if (prefetch) {
            // Lanes 0 and 4: the 4 x 4 rows of voxels a later row needs.
            alignas(32) std::int32_t b[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(b), base);
            for (int j = 0; j < 8; j += 4) {
                const std::int64_t at = b[j] + K.ahead;
                if (at < 0 || at + 3 * K.sz + 3 * K.sy + 3 >= count)
                    continue;
                for (int kz = 0; kz < 4; ++kz)
                    for (int ky = 0; ky < 4; ++ky)
                        _mm_prefetch(reinterpret_cast<const char*>(s.voxels + at + kz * K.sz + ky * K.sy), _MM_HINT_T0);
            }
        }
        __m256 sum = _mm256_setzero_ps();
        for (int kz = 0; kz < 4; ++kz) {
            const __m256 wz = w[2][kz];
            const __m256i pz = _mm256_add_epi32(base, _mm256_mullo_epi32(_mm256_set1_epi32(kz), SZ));
            for (int ky = 0; ky < 4; ++ky) {
                const __m256i p = _mm256_add_epi32(pz, _mm256_mullo_epi32(_mm256_set1_epi32(ky), SY));
                __m256 v0, v1, v2, v3;
                loadPair(s.voxels, p, v0, v1);
                loadPair(s.voxels, _mm256_add_epi32(p, two), v2, v3);
                sum = _mm256_add_ps(sum, _mm256_mul_ps(v0, _mm256_mul_ps(wyx[ky][0], wz)));
                sum = _mm256_add_ps(sum, _mm256_mul_ps(v1, _mm256_mul_ps(wyx[ky][1], wz)));
                sum = _mm256_add_ps(sum, _mm256_mul_ps(v2, _mm256_mul_ps(wyx[ky][2], wz)));
                sum = _mm256_add_ps(sum, _mm256_mul_ps(v3, _mm256_mul_ps(wyx[ky][3], wz)));
            }
        }
        putEight<T>(sink, u, sum);
    }
    return u;
}

#undef FW_AVX2
#endif // FW_RESLICE_AVX2

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
    if constexpr (requires { interp.ahead; }) {
        // Next row processed: the next slab pass, or for one pass two rows on.
        const float* next = a.slabSampleCount > 1 ? a.slabStep : a.rowStep;
        const float times = a.slabSampleCount > 1 ? 1.0f : 2.0f;
        double off = 0;
        const double stride[3] = {1.0, double(interp.sy), double(interp.sz)};
        for (int i = 0; i < 3; ++i)
            off += std::round(double(next[i]) * times / a.spacing[i]) * stride[i];
        interp.ahead = std::isfinite(off) && std::fabs(off) < 1e12 ? std::int64_t(off) : 0;
    }

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

    // Row by row; the slab passes of a row follow each other so that the
    // reads of one slab stay close together in memory.
    for (int v = 0; v < H; ++v) {
        T* orow = out + std::int64_t(v) * W;
        for (int k = 0; k < c; ++k) {
            const float s = float(k - half);
            float R[3];
            for (int i = 0; i < 3; ++i)
                R[i] = (a.origin[i] + s * a.slabStep[i]) + float(v) * a.rowStep[i];
            const float* C = a.columnStep;
            if (accumulate) {
                if (k == 0) interp.row(R, C, 0, W, Sink<T, Combine::AccStore>{orow, acc.get()});
                else interp.row(R, C, 0, W, Sink<T, Combine::AccAdd>{orow, acc.get()});
            } else if (k == 0) {
                interp.row(R, C, 0, W, Sink<T, Combine::Store>{orow, nullptr});
            } else if (mode == PROJECTION_MIN) {
                interp.row(R, C, 0, W, Sink<T, Combine::Min>{orow, nullptr});
            } else {
                interp.row(R, C, 0, W, Sink<T, Combine::Max>{orow, nullptr});
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
    // Voxel indices are 32-bit (the image buffers are far smaller).
    if (std::int64_t(a.dimensions[0]) * a.dimensions[1] * a.dimensions[2] > std::numeric_limits<int>::max())
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
