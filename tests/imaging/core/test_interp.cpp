// Trilinear and tricubic samplers.
#include "imaging/core/isInterpolation.h"

#include "imaging/core/mpr_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace isImageSDK;
using mprtest::Volume;

namespace {

template <class S, typename T>
S makeSampler(const Volume<T>& v, T background)
{
    S s;
    EXPECT_TRUE(initSampler(s, v.voxels.data(), v.dims, v.spacing, background));
    return s;
}

// The tricubic calling rule: the caller computes fx and ix and returns the
// background itself when ix is negative.
template <typename T>
T cubicAt(const CTriCubic<T>& s, float x, float y, float z)
{
    const float fx = (x - s.axes[0].origin) * s.axes[0].inverseSpacing;
    if (!(fx > -1.0f))
        return s.background;
    return s.sample(y, z, fx, fx < 1e9f ? int(fx) : 1 << 30);
}

template <typename T>
T linearAt(const CTriLinear<T>& s, float x, float y, float z)
{
    return x < 0.0f ? s.background : s.sample(x, y, z);
}

} // namespace

TEST(Interpolation, BothSamplersReturnEveryVoxelAtItsPosition)
{
    // Spacings that are powers of two make voxel positions exact.
    const auto v = mprtest::fieldVolume(7, 6, 5, 0.5f, 2.0f, 0.25f);
    const auto lin = makeSampler<CTriLinear<float>>(v, -1.0f);
    const auto cub = makeSampler<CTriCubic<float>>(v, -1.0f);
    for (int z = 0; z < 5; ++z)
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 7; ++x) {
                const float px = x * 0.5f, py = y * 2.0f, pz = z * 0.25f;
                ASSERT_EQ(linearAt(lin, px, py, pz), mprtest::fieldValue(x, y, z)) << x << "," << y << "," << z;
                ASSERT_EQ(cubicAt(cub, px, py, pz), mprtest::fieldValue(x, y, z)) << x << "," << y << "," << z;
            }
}

TEST(Interpolation, TrilinearReproducesLinearFieldsEverywhereInside)
{
    // g is linear in millimetres; the spacing is deliberately not dyadic.
    const float sp[3] = {0.7f, 1.3f, 2.9f};
    auto g = [](double x, double y, double z) { return 3.0 + 0.5 * x - 2.0 * y + 0.25 * z; };
    Volume<float> v(9, 8, 7, sp[0], sp[1], sp[2]);
    v.fill([&](int x, int y, int z) { return g(x * sp[0], y * sp[1], z * sp[2]); });
    const auto lin = makeSampler<CTriLinear<float>>(v, -1000.0f);
    // The field volume too: its coefficients per voxel are 1, 1000, 10^6.
    const auto fv = mprtest::fieldVolume(9, 8, 7, sp[0], sp[1], sp[2]);
    const auto flin = makeSampler<CTriLinear<float>>(fv, -1.0f);

    mprtest::Lcg rng(7);
    for (int n = 0; n < 20000; ++n) {
        const float x = float(rng.uniform(0, 8 * sp[0])), y = float(rng.uniform(0, 7 * sp[1])),
                    z = float(rng.uniform(0, 6 * sp[2]));
        ASSERT_NEAR(linearAt(lin, x, y, z), g(x, y, z), 1e-4) << x << "," << y << "," << z;
        const double expect = x / sp[0] + 1000.0 * y / sp[1] + 1e6 * z / sp[2];
        ASSERT_NEAR(flin.sample(x, y, z), expect, 4.0) << x << "," << y << "," << z;
    }
    // Exactly on the upper bounds: still inside.
    EXPECT_NEAR(linearAt(lin, 8 * sp[0], 7 * sp[1], 6 * sp[2]), g(8 * sp[0], 7 * sp[1], 6 * sp[2]), 1e-4);
}

TEST(Interpolation, TricubicReproducesLinearFieldsInTheInterior)
{
    const float sp[3] = {0.5f, 0.75f, 1.5f};
    auto g = [](double x, double y, double z) { return 10.0 - 1.5 * x + 0.5 * y + 2.0 * z; };
    Volume<float> v(10, 9, 8, sp[0], sp[1], sp[2]);
    v.fill([&](int x, int y, int z) { return g(x * sp[0], y * sp[1], z * sp[2]); });
    const auto cub = makeSampler<CTriCubic<float>>(v, 0.0f);
    mprtest::Lcg rng(11);
    for (int n = 0; n < 20000; ++n) {
        // Away from the edges, where the repeated edge voxels bend the field.
        const float x = float(rng.uniform(1, 8) * sp[0]), y = float(rng.uniform(1, 7) * sp[1]),
                    z = float(rng.uniform(1, 6) * sp[2]);
        ASSERT_NEAR(cubicAt(cub, x, y, z), g(x, y, z), 1e-4) << x << "," << y << "," << z;
    }
}

TEST(Interpolation, BoundsBackgroundAndIntegerTruncation)
{
    Volume<unsigned short> u(4, 3, 3, 1.0f, 1.0f, 1.0f);
    u.fill([](int x, int, int) { return 100 + x; });
    const auto lin = makeSampler<CTriLinear<unsigned short>>(u, (unsigned short)7);
    EXPECT_EQ(lin.sample(0.5f, 1.0f, 1.0f), 100);  // 100.5 truncated
    EXPECT_EQ(lin.sample(3.0f, 2.0f, 2.0f), 103);  // last voxel, inclusive bound
    EXPECT_EQ(lin.sample(3.001f, 1.0f, 1.0f), 7);  // just beyond x
    EXPECT_EQ(lin.sample(1.0f, -0.001f, 1.0f), 7); // y slightly negative
    EXPECT_EQ(lin.sample(1.0f, 1.0f, 2.001f), 7);  // beyond z

    Volume<float> f(4, 3, 3);
    f.fill([](int x, int, int) { return 100 + x; });
    const auto flin = makeSampler<CTriLinear<float>>(f, 0.0f);
    EXPECT_FLOAT_EQ(flin.sample(0.5f, 1.0f, 1.0f), 100.5f);

    // Tricubic: y half a voxel before the first row still samples (index 0,
    // negative fraction); a whole voxel before it is outside; beyond the last
    // voxel's index too. At the last voxel the edge voxels are repeated.
    Volume<float> c(5, 5, 5);
    c.fill(mprtest::fieldValue);
    const auto cub = makeSampler<CTriCubic<float>>(c, -5.0f);
    EXPECT_NE(cubicAt(cub, 2.0f, -0.5f, 2.0f), -5.0f);
    EXPECT_EQ(cubicAt(cub, 2.0f, -1.0f, 2.0f), -5.0f);
    EXPECT_EQ(cubicAt(cub, -1.0f, 2.0f, 2.0f), -5.0f);
    EXPECT_NE(cubicAt(cub, -0.9f, 2.0f, 2.0f), -5.0f);
    EXPECT_EQ(cubicAt(cub, 5.0f, 2.0f, 2.0f), -5.0f);
    EXPECT_NE(cubicAt(cub, 4.9f, 2.0f, 2.0f), -5.0f);
    EXPECT_EQ(cubicAt(cub, 4.0f, 4.0f, 4.0f), mprtest::fieldValue(4, 4, 4));
}

TEST(Interpolation, CubicOvershootSaturatesIntegerTypes)
{
    // A step 0 -> max: Catmull-Rom overshoots below 0 before the step and
    // above the maximum after it. Integer results saturate instead of
    // wrapping around.
    Volume<unsigned short> u(8, 4, 4);
    u.fill([](int x, int, int) { return x < 4 ? 0 : 65535; });
    const auto cu = makeSampler<CTriCubic<unsigned short>>(u, (unsigned short)0);
    EXPECT_EQ(cubicAt(cu, 2.5f, 1.5f, 1.5f), 0);     // -4096 before saturation
    EXPECT_EQ(cubicAt(cu, 4.5f, 1.5f, 1.5f), 65535); // 69631 before saturation

    Volume<short> s(8, 4, 4);
    s.fill([](int x, int, int) { return x < 4 ? -32768 : 32767; });
    const auto cs = makeSampler<CTriCubic<short>>(s, (short)0);
    EXPECT_EQ(cubicAt(cs, 2.5f, 1.5f, 1.5f), -32768);
    EXPECT_EQ(cubicAt(cs, 4.5f, 1.5f, 1.5f), 32767);
}

TEST(Interpolation, CatmullRomWeights)
{
    CTriCubic<float> s;
    float w[4];
    s.weights(0.0f, w);
    EXPECT_EQ(w[0], 0.0f);
    EXPECT_EQ(w[1], 1.0f);
    EXPECT_EQ(w[2], 0.0f);
    EXPECT_EQ(w[3], 0.0f);
    s.weights(0.5f, w);
    EXPECT_FLOAT_EQ(w[0], -1.0f / 16);
    EXPECT_FLOAT_EQ(w[1], 9.0f / 16);
    EXPECT_FLOAT_EQ(w[2], 9.0f / 16);
    EXPECT_FLOAT_EQ(w[3], -1.0f / 16);
    // A copied sampler uses its own basis, not the original's.
    CTriCubic<float> copy = s;
    EXPECT_EQ(copy.activeBasis, copy.catmullRomBasis);
}

TEST(Interpolation, InvalidGeometryIsRefused)
{
    Volume<float> v(4, 4, 4);
    CTriLinear<float> s;
    const int dims[3] = {4, 4, 4};
    const float zero[3] = {1.0f, 1.0f, 0.0f};
    const float nan[3] = {1.0f, NAN, 1.0f};
    EXPECT_FALSE(initSampler(s, v.voxels.data(), dims, zero, 0.0f));
    EXPECT_FALSE(initSampler(s, v.voxels.data(), dims, nan, 0.0f));
    const int flat[3] = {4, 0, 4};
    EXPECT_FALSE(initSampler(s, v.voxels.data(), flat, v.spacing, 0.0f));
}
