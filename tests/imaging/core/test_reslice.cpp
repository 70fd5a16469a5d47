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

// ---------------------------------------------------------------------------
// The oblique reslice filter in the pipeline.

#include "imaging/core/isImageData.h"
#include "imaging/core/isImageReslice2D.h"

namespace {

template <typename T>
isImageData* volumeImage(int dx, int dy, int dz, const float spacing[3], int type, T (*value)(int, int, int),
                         const cocos2d::Mat4& world = cocos2d::Mat4())
{
    isImageData* img = isImageData::create();
    const int32_t d[3] = {dx, dy, dz};
    EXPECT_TRUE(img->buildVolume(d, spacing, type, 0, 0, world));
    for (int z = 0; z < dz; ++z) {
        auto* p = static_cast<T*>(img->slices[size_t(z)]->pixels);
        for (int y = 0; y < dy; ++y)
            for (int x = 0; x < dx; ++x)
                *p++ = value(x, y, z);
    }
    return img;
}

float namingValue(int x, int y, int z) { return mprtest::fieldValue(x, y, z); }

// Signed axis permutations: every rotation by multiples of 90 degrees.
std::vector<cocos2d::Mat4> quarterTurns()
{
    std::vector<cocos2d::Mat4> out;
    const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto& p : perms)
        for (int signs = 0; signs < 8; ++signs) {
            cocos2d::Mat4 m;
            for (int i = 0; i < 16; ++i) m.m[i] = 0.0f;
            m.m[15] = 1.0f;
            for (int c = 0; c < 3; ++c) m.m[c * 4 + p[c]] = (signs >> c) & 1 ? -1.0f : 1.0f;
            // Keep the right-handed ones (determinant +1).
            const float* e = m.m;
            const float det = e[0] * (e[5] * e[10] - e[6] * e[9]) - e[4] * (e[1] * e[10] - e[2] * e[9]) +
                              e[8] * (e[1] * e[6] - e[2] * e[5]);
            if (det > 0) out.push_back(m);
        }
    return out;
}

} // namespace

TEST(ImageReslice2D, IdentityPlaneCoversTheWholeVolume)
{
    // 512 voxels of 0.5 mm give 512 pixels: the last voxel column and row
    // appear in the output.
    const float sp[3] = {0.5f, 0.5f, 2.0f};
    isImageData* vol = volumeImage<short>(512, 512, 3, sp, ELEMENT_INT16,
                                          [](int x, int y, int z) { return short(x - y + 100 * z); });
    isImageReslice2D* r = isImageReslice2D::create();
    isImageData* out = r->getOutputImage();
    r->setInputData(vol);
    EXPECT_EQ(r->backgroundValue, -1024.0f);
    r->update();
    EXPECT_EQ(r->outputWidth, 512);
    EXPECT_EQ(r->outputHeight, 512);
    EXPECT_FLOAT_EQ(r->outputSpacingX, 0.5f);
    EXPECT_FLOAT_EQ(r->outputSpacingY, 0.5f);
    EXPECT_FLOAT_EQ(r->normalSpacing, 2.0f);
    SliceRecord* s = out->getSlice(0);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->width, 512);
    ASSERT_EQ(s->height, 512);
    EXPECT_EQ(s->elementType, ELEMENT_INT16);
    EXPECT_TRUE(s->filePath.empty());
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(s->matrix.m[i], vol->worldMatrix.m[i]);
    const auto* px = static_cast<const short*>(s->pixels);
    for (int v = 0; v < 512; ++v)
        for (int u = 0; u < 512; ++u)
            ASSERT_EQ(px[v * 512 + u], short(u - v)) << u << "," << v;
    r->release();
    vol->release();
}

TEST(ImageReslice2D, QuarterTurnPlanesNameTheirVoxelsExactly)
{
    // Every pixel of every plane whose axes are signed volume axes, through
    // planes at several depths, names the voxel under it (through the plane
    // matrix), with both interpolations.
    const float sp[3] = {0.5f, 2.0f, 0.25f};
    const int dims[3] = {11, 7, 9};
    const cocos2d::Mat4 world = cocos2d::Mat4(cocos2d::Vec3(0, 1, 0), cocos2d::Vec3(-1, 0, 0), cocos2d::Vec3(0, 0, 1),
                                              cocos2d::Vec3(3, 4, 5));
    isImageData* vol = volumeImage<float>(dims[0], dims[1], dims[2], sp, ELEMENT_FLOAT, namingValue, world);
    isImageReslice2D* r = isImageReslice2D::create();
    r->setInputData(vol);
    const std::vector<cocos2d::Mat4> turns = quarterTurns();
    ASSERT_EQ(turns.size(), 24u);
    for (size_t planes = 0; planes < turns.size(); ++planes)
        for (int interp : {INTERPOLATION_LINEAR, INTERPOLATION_CUBIC})
            for (int depth = 0; depth < 3; ++depth) {
                // The plane passes through voxel (depth * 2, depth * 2, depth * 3).
                const cocos2d::Mat4& turn = turns[planes];
                cocos2d::Mat4 m = turn;
                m.m[12] = depth * 2 * sp[0];
                m.m[13] = depth * 2 * sp[1];
                m.m[14] = depth * 3 * sp[2];
                r->interpolation = interp;
                r->setResliceMatrix(m);
                r->update();
                const SliceRecord* s = r->getOutputImage()->getSlice(0);
                ASSERT_NE(s, nullptr);
                // The plane's axes cross the volume along two of its axes.
                int expectW = 0, expectH = 0;
                for (int a = 0; a < 3; ++a) {
                    if (turn.m[a] != 0.0f) expectW = dims[a];
                    if (turn.m[4 + a] != 0.0f) expectH = dims[a];
                }
                ASSERT_EQ(s->width, expectW);
                ASSERT_EQ(s->height, expectH);
                const auto* px = static_cast<const float*>(s->pixels);
                const cocos2d::Mat4& pm = r->resliceMatrix;
                for (int v = 0; v < s->height; ++v)
                    for (int u = 0; u < s->width; ++u) {
                        const float lu = u * s->spacingX, lv = v * s->spacingY;
                        int idx[3];
                        for (int a = 0; a < 3; ++a) {
                            const float p = pm.m[a] * lu + pm.m[4 + a] * lv + pm.m[12 + a];
                            idx[a] = int(std::lround(p / sp[a]));
                        }
                        ASSERT_EQ(mprtest::voxelOf(px[v * s->width + u]), (mprtest::Voxel{idx[0], idx[1], idx[2]}))
                            << "turn " << planes << " interp " << interp << " depth " << depth << " pixel " << u
                            << "," << v;
                        // The slice matrix places the pixel at that voxel.
                        const cocos2d::Mat4& w = s->matrix;
                        const float wx = w.m[0] * lu + w.m[4] * lv + w.m[12];
                        const float want = world.m[0] * idx[0] * sp[0] + world.m[4] * idx[1] * sp[1] + world.m[12];
                        ASSERT_NEAR(wx, want, 1e-4);
                    }
            }
    r->release();
    vol->release();
}

TEST(ImageReslice2D, RotatedPlaneSpacingExtentAndBackground)
{
    const float sp[3] = {0.5f, 0.5f, 2.0f};
    isImageData* vol = volumeImage<short>(64, 64, 4, sp, ELEMENT_INT16, [](int, int, int) { return short(100); });
    isImageReslice2D* r = isImageReslice2D::create();
    r->setInputData(vol);
    cocos2d::Mat4 rot;
    cocos2d::Mat4::createRotationZ(float(M_PI / 4), &rot);
    rot.m[14] = 2.0f; // through slice 1
    r->setResliceMatrix(rot);
    r->update();
    // One voxel along x and one along y per step.
    EXPECT_NEAR(r->outputSpacingX, 0.5f * std::sqrt(2.0f), 1e-5);
    EXPECT_NEAR(r->outputSpacingY, 0.5f * std::sqrt(2.0f), 1e-5);
    // The rotated square's bounding rectangle: diagonal 31.5 * sqrt(2) mm.
    EXPECT_EQ(r->outputWidth, 64);
    EXPECT_EQ(r->outputHeight, 64);
    const SliceRecord* s = r->getOutputImage()->getSlice(0);
    ASSERT_NE(s, nullptr);
    const auto* px = static_cast<const short*>(s->pixels);
    EXPECT_EQ(px[0], -1024);            // corner of the rectangle: outside
    EXPECT_EQ(px[32 * 64 + 32], 100);   // centre: inside
    EXPECT_EQ(px[63 * 64 + 63], -1024); // opposite corner

    // Slab thickness: 6 mm at a normal spacing of 2 mm gives 3 samples 3 mm
    // apart; 3.9 mm gives one.
    r->setSlabThickness(6.0f);
    EXPECT_EQ(r->slabSampleCount, 3);
    EXPECT_FLOAT_EQ(r->sampleStep, 3.0f);
    r->setSlabThickness(3.9f);
    EXPECT_EQ(r->slabSampleCount, 1);

    // A mean of three samples of which one lies outside includes the
    // background once: plane through slice 0, samples at -2, 0, +2 mm.
    r->setSlabThickness(4.0f);
    r->setProjectionMode(PROJECTION_MEAN);
    r->setResliceMatrix(cocos2d::Mat4());
    EXPECT_EQ(r->slabSampleCount, 3);
    EXPECT_FLOAT_EQ(r->sampleStep, 2.0f);
    r->update();
    s = r->getOutputImage()->getSlice(0);
    EXPECT_EQ(static_cast<const short*>(s->pixels)[5], short((-1024 + 100 + 100) / 3));
    r->release();
    vol->release();
}

TEST(ImageReslice2D, InputResetsThePlane)
{
    const float sp[3] = {1, 1, 1};
    isImageData* vol = volumeImage<float>(5, 5, 5, sp, ELEMENT_FLOAT, namingValue);
    isImageReslice2D* r = isImageReslice2D::create();
    cocos2d::Mat4 rot;
    cocos2d::Mat4::createRotationX(float(M_PI / 2), &rot);
    r->setResliceMatrix(rot); // no input: stays as given
    EXPECT_EQ(r->resliceMatrix.m[6], rot.m[6]);
    r->setInputData(vol);
    EXPECT_TRUE(r->resliceMatrix.isIdentity());
    EXPECT_EQ(r->backgroundValue, 0.0f);
    r->release();
    vol->release();
}

TEST(ImageReslice2D, NoSliceForWhatCannotBeResliced)
{
    isImageReslice2D* r = isImageReslice2D::create();
    isImageData* out = r->getOutputImage();
    r->update();
    EXPECT_FALSE(out->hasData);

    // A single image.
    const float sp[3] = {1, 1, 1};
    isImageData* single = volumeImage<float>(5, 5, 1, sp, ELEMENT_FLOAT, namingValue);
    r->setInputData(single);
    r->update();
    EXPECT_FALSE(out->hasData);

    // An RGB volume.
    isImageData* rgb = isImageData::create();
    const int32_t d[3] = {4, 4, 3};
    ASSERT_TRUE(rgb->buildVolume(d, sp, ELEMENT_RGB, 0, 0, cocos2d::Mat4()));
    r->setInputData(rgb);
    r->update();
    EXPECT_FALSE(out->hasData);

    // Coincident slices (slice spacing 0), and a singular plane: no output
    // instead of an undefined size.
    const float flat[3] = {1, 1, 0};
    isImageData* coincident = volumeImage<float>(5, 5, 4, flat, ELEMENT_FLOAT, namingValue);
    r->setInputData(coincident);
    r->setSlabThickness(10.0f);
    r->update();
    EXPECT_FALSE(out->hasData);
    r->setInputData(single);
    isImageData* vol = volumeImage<float>(5, 5, 4, sp, ELEMENT_FLOAT, namingValue);
    r->setInputData(vol);
    r->update();
    EXPECT_TRUE(out->hasData);
    cocos2d::Mat4 singular;
    singular.m[0] = 0.0f;
    r->setResliceMatrix(singular);
    r->update();
    EXPECT_FALSE(out->hasData);

    r->release();
    vol->release();
    coincident->release();
    rgb->release();
    single->release();
}
