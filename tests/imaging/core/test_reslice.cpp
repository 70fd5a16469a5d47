// Oblique resampling: the row-wise kernel against per-sample evaluation with
// the samplers, exact voxel identity on axis-aligned planes, background and
// slab projection.
#include "imaging/core/isInterpolation.h"
#include "imaging/core/isResliceKernels.h"

#include "imaging/core/mpr_fixtures.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

using namespace isImageSDK;
using mprtest::Volume;

namespace {

using Vec = std::array<float, 3>;

template <typename T>
ResliceSampling samplingOf(const Volume<T>& v, int elementType, std::vector<T>& out, int w, int h)
{
    ResliceSampling a;
    a.voxels = v.voxels.data();
    std::copy(v.dims, v.dims + 3, a.dimensions);
    std::copy(v.spacing, v.spacing + 3, a.spacing);
    a.elementType = elementType;
    out.assign(size_t(w) * h, T(123));
    a.output = out.data();
    a.width = w;
    a.height = h;
    return a;
}

void setGeometry(ResliceSampling& a, Vec o, Vec cs, Vec rs, Vec ns)
{
    std::copy(o.begin(), o.end(), a.origin);
    std::copy(cs.begin(), cs.end(), a.columnStep);
    std::copy(rs.begin(), rs.end(), a.rowStep);
    std::copy(ns.begin(), ns.end(), a.slabStep);
}

// Per-sample evaluation: position by the documented formula, the samplers
// with their calling rules, then the projection.
template <typename T>
std::vector<T> perSample(const ResliceSampling& a, const T* voxels)
{
    CTriLinear<T> lin;
    CTriCubic<T> cub;
    const T bg = interpolatedToVoxel<T>(a.backgroundValue);
    EXPECT_TRUE(initSampler(lin, voxels, a.dimensions, a.spacing, bg));
    EXPECT_TRUE(initSampler(cub, voxels, a.dimensions, a.spacing, bg));
    const int c = std::max(a.slabSampleCount, 1), half = (c - 1) / 2;
    const double limit = projectionSumLimit(a.elementType);
    std::vector<T> out(size_t(a.width) * a.height);
    for (int v = 0; v < a.height; ++v)
        for (int u = 0; u < a.width; ++u) {
            T kept{};
            double acc = 0;
            for (int k = 0; k < c; ++k) {
                float p[3];
                for (int i = 0; i < 3; ++i)
                    p[i] = ((a.origin[i] + float(k - half) * a.slabStep[i]) + float(v) * a.rowStep[i]) +
                           float(u) * a.columnStep[i];
                T s;
                if (a.interpolation == INTERPOLATION_CUBIC) {
                    const float fx = p[0] * cub.axes[0].inverseSpacing;
                    s = fx > -1.0f && fx < 1e9f ? cub.sample(p[1], p[2], fx, int(fx)) : bg;
                } else {
                    s = p[0] < 0.0f ? bg : lin.sample(p[0], p[1], p[2]);
                }
                if (k == 0) kept = s;
                else if (a.projectionMode == PROJECTION_MIN) kept = std::min(kept, s);
                else kept = std::max(kept, s);
                acc += double(s);
            }
            T r = kept;
            if (c > 1 && (a.projectionMode == PROJECTION_MEAN || a.projectionMode == PROJECTION_SUM)) {
                double x = a.projectionMode == PROJECTION_MEAN ? acc * (1.0 / c) : std::min(acc, limit);
                if constexpr (std::is_integral_v<T>)
                    x = std::max(x, double(std::numeric_limits<T>::lowest()));
                r = T(x);
            }
            out[size_t(v) * a.width + u] = r;
        }
    return out;
}

// Rotation by Euler angles (degrees) about x, then y, then z.
std::array<Vec, 3> rotation(double ax, double ay, double az)
{
    const double d = M_PI / 180.0;
    const double ca = std::cos(ax * d), sa = std::sin(ax * d), cb = std::cos(ay * d), sb = std::sin(ay * d),
                 cc = std::cos(az * d), sc = std::sin(az * d);
    // Columns of Rz * Ry * Rx.
    return {Vec{float(cc * cb), float(sc * cb), float(-sb)},
            Vec{float(cc * sb * sa - sc * ca), float(sc * sb * sa + cc * ca), float(cb * sa)},
            Vec{float(cc * sb * ca + sc * sa), float(sc * sb * ca - cc * sa), float(cb * ca)}};
}

Vec scaled(const Vec& v, float s) { return {v[0] * s, v[1] * s, v[2] * s}; }

template <typename T>
void fillRandom(Volume<T>& v, mprtest::Lcg& rng)
{
    double lo = 0, hi = 255;
    if constexpr (std::is_same_v<T, short>) { lo = -2000; hi = 3000; }
    if constexpr (std::is_same_v<T, unsigned short>) { lo = 0; hi = 65535; }
    if constexpr (std::is_same_v<T, float>) { lo = -1000; hi = 1000; }
    v.fill([&](int, int, int) { return T(rng.uniform(lo, hi)); });
}

template <typename T>
void expectKernelMatchesPerSample(int elementType, std::uint64_t seed)
{
    mprtest::Lcg rng(seed);
    Volume<T> vol(13, 11, 9, 0.7f, 0.9f, 1.6f);
    fillRandom(vol, rng);
    const float ext[3] = {12 * 0.7f, 10 * 0.9f, 8 * 1.6f};
    for (int trial = 0; trial < 12; ++trial) {
        const auto r = rotation(rng.uniform(-90, 90), rng.uniform(-90, 90), rng.uniform(-180, 180));
        // Planes through a point near the centre, sized to overhang the
        // volume so that rows cross its borders.
        const Vec centre{float(rng.uniform(0.2, 0.8) * ext[0]), float(rng.uniform(0.2, 0.8) * ext[1]),
                         float(rng.uniform(0.2, 0.8) * ext[2])};
        const float step = float(rng.uniform(0.3, 0.8));
        const int w = 40, h = 36;
        Vec o;
        for (int i = 0; i < 3; ++i)
            o[i] = centre[i] - r[0][i] * step * w / 2 - r[1][i] * step * h / 2;
        for (int interp : {INTERPOLATION_LINEAR, INTERPOLATION_CUBIC})
            for (int c : {1, 3, 5})
                for (int mode : {PROJECTION_MIN, PROJECTION_MAX, PROJECTION_MEAN, PROJECTION_SUM}) {
                    if (c == 1 && mode != PROJECTION_MAX)
                        continue;
                    std::vector<T> out;
                    ResliceSampling a = samplingOf(vol, elementType, out, w, h);
                    setGeometry(a, o, scaled(r[0], step), scaled(r[1], step), scaled(r[2], 1.1f));
                    a.interpolation = interp;
                    a.slabSampleCount = c;
                    a.projectionMode = mode;
                    a.backgroundValue = elementType == 1 ? -1024.0f : 0.0f;
                    ASSERT_TRUE(resliceVolume(a));
                    const auto expect = perSample<T>(a, vol.voxels.data());
                    for (size_t i = 0; i < out.size(); ++i)
                        ASSERT_EQ(std::memcmp(&out[i], &expect[i], sizeof(T)), 0)
                            << "trial " << trial << " interp " << interp << " slab " << c << " mode " << mode
                            << " pixel " << i % w << "," << i / w << ": " << double(out[i]) << " vs "
                            << double(expect[i]);
                }
    }
}

} // namespace

TEST(ResliceKernel, MatchesPerSampleEvaluationBitForBit)
{
    expectKernelMatchesPerSample<unsigned char>(0, 1);
    expectKernelMatchesPerSample<short>(1, 2);
    expectKernelMatchesPerSample<float>(2, 3);
    expectKernelMatchesPerSample<unsigned short>(3, 4);
}

TEST(ResliceKernel, AxisAlignedPlanesNameTheirVoxelsExactly)
{
    // Every plane whose axes are signed volume axes, stepping one voxel per
    // pixel, with both interpolations: output pixel (u, v) of plane k is the
    // voxel reached from the corner by u steps along the first axis and v
    // along the second.
    const auto vol = mprtest::fieldVolume(9, 7, 6, 0.5f, 2.0f, 0.25f);
    const int n[3] = {9, 7, 6};
    for (int a0 = 0; a0 < 3; ++a0)
        for (int a1 = 0; a1 < 3; ++a1) {
            if (a1 == a0)
                continue;
            const int a2 = 3 - a0 - a1;
            for (int sign = 0; sign < 4; ++sign) {
                const int s0 = sign & 1 ? -1 : 1, s1 = sign & 2 ? -1 : 1;
                for (int k = 0; k < n[a2]; ++k)
                    for (int interp : {INTERPOLATION_LINEAR, INTERPOLATION_CUBIC}) {
                        std::vector<float> out;
                        ResliceSampling a = samplingOf(vol, 2, out, n[a0], n[a1]);
                        Vec o{}, cs{}, rs{}, ns{};
                        o[a0] = s0 > 0 ? 0.0f : (n[a0] - 1) * vol.spacing[a0];
                        o[a1] = s1 > 0 ? 0.0f : (n[a1] - 1) * vol.spacing[a1];
                        o[a2] = k * vol.spacing[a2];
                        cs[a0] = s0 * vol.spacing[a0];
                        rs[a1] = s1 * vol.spacing[a1];
                        ns[a2] = vol.spacing[a2];
                        setGeometry(a, o, cs, rs, ns);
                        a.interpolation = interp;
                        ASSERT_TRUE(resliceVolume(a));
                        for (int v = 0; v < n[a1]; ++v)
                            for (int u = 0; u < n[a0]; ++u) {
                                int idx[3];
                                idx[a0] = s0 > 0 ? u : n[a0] - 1 - u;
                                idx[a1] = s1 > 0 ? v : n[a1] - 1 - v;
                                idx[a2] = k;
                                const mprtest::Voxel expect{idx[0], idx[1], idx[2]};
                                ASSERT_EQ(mprtest::voxelOf(out[size_t(v) * n[a0] + u]), expect)
                                    << "axes " << a0 << a1 << " sign " << sign << " k " << k << " interp "
                                    << interp << " pixel " << u << "," << v;
                            }
                    }
            }
        }
}

TEST(ResliceKernel, OutsideTheVolumeIsBackground)
{
    auto vol = mprtest::fieldVolume(8, 8, 8);
    for (int interp : {INTERPOLATION_LINEAR, INTERPOLATION_CUBIC}) {
        // A plane at z = 3 that starts 4 voxels before the volume in x and y.
        std::vector<float> out;
        ResliceSampling a = samplingOf(vol, 2, out, 16, 16);
        setGeometry(a, {-4, -4, 3}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
        a.interpolation = interp;
        a.backgroundValue = -7.0f;
        ASSERT_TRUE(resliceVolume(a));
        for (int v = 0; v < 16; ++v)
            for (int u = 0; u < 16; ++u) {
                const bool inside = u >= 4 && u < 12 && v >= 4 && v < 12;
                const float got = out[size_t(v) * 16 + u];
                if (inside)
                    ASSERT_EQ(got, mprtest::fieldValue(u - 4, v - 4, 3)) << u << "," << v;
                else
                    ASSERT_EQ(got, -7.0f) << u << "," << v;
            }
        // A plane wholly outside.
        setGeometry(a, {0, 0, 20}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
        ASSERT_TRUE(resliceVolume(a));
        for (float x : out)
            ASSERT_EQ(x, -7.0f);
    }
}

TEST(ResliceKernel, SlabProjectionModes)
{
    // Values depend on z only; samples fall exactly on the planes. Slabs
    // reaching past the volume take the background (5) for each sample
    // outside.
    const unsigned char planeValue[6] = {10, 200, 50, 255, 0, 90};
    Volume<unsigned char> vol(4, 4, 6);
    vol.fill([&](int, int, int z) { return planeValue[z]; });
    struct Case
    {
        int plane, count, mode;
        unsigned char expect;
    };
    const Case cases[] = {
        {2, 1, PROJECTION_MIN, 50},    {2, 1, PROJECTION_SUM, 50},   {2, 3, PROJECTION_MIN, 50},
        {2, 3, PROJECTION_MAX, 255},   {2, 3, PROJECTION_MEAN, 168}, {2, 3, PROJECTION_SUM, 255},
        {1, 3, PROJECTION_SUM, 255},   {4, 3, PROJECTION_SUM, 255},  {4, 3, PROJECTION_MEAN, 115},
        {0, 3, PROJECTION_MIN, 5},     {0, 3, PROJECTION_MEAN, 71},  {0, 3, PROJECTION_SUM, 215},
        {5, 5, PROJECTION_MAX, 255},    {5, 5, PROJECTION_MIN, 0},    {5, 5, PROJECTION_MEAN, 71},
        {2, 5, PROJECTION_MEAN, 103},  {3, 7, PROJECTION_MAX, 255},  {3, 7, PROJECTION_MEAN, 87},
    };
    for (int interp : {INTERPOLATION_LINEAR, INTERPOLATION_CUBIC})
        for (const Case& c : cases) {
            std::vector<unsigned char> out;
            ResliceSampling a = samplingOf(vol, 0, out, 4, 4);
            setGeometry(a, {0, 0, float(c.plane)}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
            a.slabSampleCount = c.count;
            a.projectionMode = c.mode;
            a.backgroundValue = 5.0f;
            a.interpolation = interp;
            ASSERT_TRUE(resliceVolume(a));
            for (unsigned char x : out)
                ASSERT_EQ(int(x), int(c.expect)) << "plane " << c.plane << " count " << c.count << " mode " << c.mode;
        }
}

TEST(ResliceKernel, SignedSumsSaturateBothWays)
{
    Volume<short> vol(4, 4, 4);
    std::vector<short> out;
    ResliceSampling a = samplingOf(vol, 1, out, 4, 4);
    setGeometry(a, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
    a.slabSampleCount = 3;
    a.projectionMode = PROJECTION_SUM;
    for (auto [value, expect] : {std::pair{-30000, -32768}, std::pair{30000, 32767}, std::pair{-1000, -3000}}) {
        vol.fill([&](int, int, int) { return value; });
        ASSERT_TRUE(resliceVolume(a));
        EXPECT_EQ(out[5], expect) << value;
    }
}

TEST(ResliceKernel, DegenerateInputIsRefusedOrBackground)
{
    auto vol = mprtest::fieldVolume(4, 4, 4);
    std::vector<float> out;
    ResliceSampling a = samplingOf(vol, 2, out, 4, 4);
    a.spacing[2] = 0.0f; // coincident slices
    EXPECT_FALSE(resliceVolume(a));
    EXPECT_EQ(out[0], 123.0f);
    a.spacing[2] = 1.0f;
    a.elementType = 4;
    EXPECT_FALSE(resliceVolume(a));
    a.elementType = 2;
    a.columnStep[0] = NAN;
    a.backgroundValue = -3.0f;
    EXPECT_TRUE(resliceVolume(a));
    for (float x : out)
        EXPECT_EQ(x, -3.0f);
}
