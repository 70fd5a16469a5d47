// Orthogonal plane extraction with slab projection.
#include "imaging/core/isResliceKernels.h"

#include "imaging/core/mpr_fixtures.h"

#include <gtest/gtest.h>

using namespace isImageSDK;
using mprtest::Volume;

namespace {

template <typename T>
PlaneExtraction extraction(const Volume<T>& v, int elementType, int orientation, int index, std::vector<T>& out)
{
    PlaneExtraction a;
    a.slices = v.slices.data();
    std::copy(v.dims, v.dims + 3, a.dimensions);
    a.elementType = elementType;
    a.orientation = orientation;
    a.sliceIndex = index;
    const size_t n = orientation == PLANE_ORIGINAL   ? size_t(v.dims[0]) * v.dims[1]
                     : orientation == PLANE_SAGITTAL ? size_t(v.dims[2]) * v.dims[1]
                                                     : size_t(v.dims[2]) * v.dims[0];
    out.assign(n, T(77));
    a.output = out.data();
    return a;
}

} // namespace

TEST(PlaneExtraction, EveryPlaneOfEveryOrientationNamesItsVoxels)
{
    const auto vol = mprtest::fieldVolume(11, 9, 7);
    const int dx = 11, dy = 9, dz = 7;
    for (int index = 0; index < dz; ++index) {
        std::vector<float> out;
        ASSERT_TRUE(extractPlane(extraction(vol, 2, PLANE_ORIGINAL, index, out)));
        for (int v = 0; v < dy; ++v)
            for (int u = 0; u < dx; ++u)
                ASSERT_EQ(mprtest::voxelOf(out[size_t(v) * dx + u]), (mprtest::Voxel{u, v, index}));
    }
    for (int index = 0; index < dx; ++index) {
        // Sagittal: columns run along z, rows along y; index 0 is x = dimX - 1.
        std::vector<float> out;
        ASSERT_TRUE(extractPlane(extraction(vol, 2, PLANE_SAGITTAL, index, out)));
        for (int v = 0; v < dy; ++v)
            for (int u = 0; u < dz; ++u)
                ASSERT_EQ(mprtest::voxelOf(out[size_t(v) * dz + u]), (mprtest::Voxel{dx - 1 - index, v, u}));
    }
    for (int index = 0; index < dy; ++index) {
        // Coronal: columns run along z, rows along x.
        std::vector<float> out;
        ASSERT_TRUE(extractPlane(extraction(vol, 2, PLANE_CORONAL, index, out)));
        for (int v = 0; v < dx; ++v)
            for (int u = 0; u < dz; ++u)
                ASSERT_EQ(mprtest::voxelOf(out[size_t(v) * dz + u]), (mprtest::Voxel{v, index, u}));
    }
}

TEST(PlaneExtraction, SlabRangesAreCutAtTheEnds)
{
    struct Case
    {
        int index, count, planes, first, last;
    };
    const Case cases[] = {
        {5, 1, 10, 5, 5}, {5, 3, 10, 4, 6}, {0, 5, 10, 0, 2}, {9, 5, 10, 7, 9},
        {1, 7, 10, 0, 4}, {0, 1, 1, 0, 0},  {0, 9, 3, 0, 2},  {4, 0, 10, 4, 4},
    };
    for (const Case& c : cases) {
        const SlabRange r = slabRange(c.index, c.count, c.planes);
        EXPECT_EQ(r.first, c.first) << c.index << " " << c.count << " " << c.planes;
        EXPECT_EQ(r.last, c.last) << c.index << " " << c.count << " " << c.planes;
    }
}

TEST(PlaneExtraction, SlabThicknessToSampleCount)
{
    struct Case
    {
        double thickness, spacing;
        int count;
    };
    const Case cases[] = {
        {1.0, 1.0, 1}, {2.0, 1.0, 3}, {3.9, 1.0, 3}, {4.0, 1.0, 5},  {2.5, 1.0, 3},
        {-3.0, 1.0, 1}, {6.0, 2.0, 3}, {3.9, 2.0, 1}, {10.0, 0.0, 1}, {10.0, -1.0, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(slabSampleCountFor(c.thickness, c.spacing), c.count) << c.thickness << " at " << c.spacing;
}

TEST(PlaneExtraction, ProjectionModesInEveryOrientation)
{
    // The same values along the slab axis in each orientation: plane p holds
    // planeValue[p] everywhere.
    const unsigned char planeValue[6] = {10, 200, 50, 255, 0, 90};
    struct Case
    {
        int index, count, mode;
        unsigned char expect;
    };
    const Case cases[] = {
        {2, 1, PROJECTION_SUM, 50},   {2, 3, PROJECTION_MIN, 50},  {2, 3, PROJECTION_MAX, 255},
        {2, 3, PROJECTION_MEAN, 168}, {2, 3, PROJECTION_SUM, 255}, {0, 5, PROJECTION_MEAN, 86},
        {0, 5, PROJECTION_MAX, 200},  {5, 5, PROJECTION_MIN, 0},   {5, 5, PROJECTION_MEAN, 115},
        {4, 3, PROJECTION_SUM, 255},  {0, 3, PROJECTION_SUM, 210}, {3, 7, PROJECTION_MEAN, 100},
    };
    for (int orientation : {PLANE_ORIGINAL, PLANE_SAGITTAL, PLANE_CORONAL}) {
        Volume<unsigned char> vol(6, 6, 6);
        vol.fill([&](int x, int y, int z) {
            return orientation == PLANE_ORIGINAL   ? planeValue[z]
                   : orientation == PLANE_SAGITTAL ? planeValue[5 - x]
                                                   : planeValue[y];
        });
        for (const Case& c : cases) {
            std::vector<unsigned char> out;
            PlaneExtraction a = extraction(vol, 0, orientation, c.index, out);
            a.slabSampleCount = c.count;
            a.projectionMode = c.mode;
            ASSERT_TRUE(extractPlane(a));
            for (unsigned char x : out)
                ASSERT_EQ(int(x), int(c.expect))
                    << "orientation " << orientation << " index " << c.index << " count " << c.count << " mode "
                    << c.mode;
        }
    }
}

TEST(PlaneExtraction, TypedMeanAndSumLimits)
{
    // Mean and sum in double, stored truncated (integers) or in single
    // precision; sums limited by the type.
    Volume<unsigned short> u(3, 2, 3);
    u.fill([](int, int, int z) { return z == 1 ? 65000 : 1; });
    Volume<short> s(3, 2, 3);
    s.fill([](int, int, int z) { return z == 1 ? -32000 : -700; });
    Volume<float> f(3, 2, 3);
    f.fill([](int, int, int z) { return z == 1 ? 0.5f : 0.25f; });
    std::vector<unsigned short> uo;
    std::vector<short> so;
    std::vector<float> fo;
    auto run = [](auto a, int mode) {
        a.slabSampleCount = 3;
        a.projectionMode = mode;
        EXPECT_TRUE(extractPlane(a));
    };
    run(extraction(u, 3, PLANE_ORIGINAL, 1, uo), PROJECTION_SUM);
    EXPECT_EQ(uo[0], 65002);
    run(extraction(u, 3, PLANE_ORIGINAL, 1, uo), PROJECTION_MEAN);
    EXPECT_EQ(uo[0], 21667);
    u.fill([](int, int, int) { return 40000; });
    run(extraction(u, 3, PLANE_ORIGINAL, 1, uo), PROJECTION_SUM);
    EXPECT_EQ(uo[0], 65535);
    run(extraction(s, 1, PLANE_ORIGINAL, 1, so), PROJECTION_MEAN);
    EXPECT_EQ(so[0], -11133); // -11133.33 truncated toward zero
    run(extraction(s, 1, PLANE_ORIGINAL, 1, so), PROJECTION_SUM);
    EXPECT_EQ(so[0], -32768); // -33400 saturates
    run(extraction(f, 2, PLANE_ORIGINAL, 1, fo), PROJECTION_MEAN);
    EXPECT_FLOAT_EQ(fo[0], float(1.0 / 3.0));
    run(extraction(f, 2, PLANE_CORONAL, 1, fo), PROJECTION_SUM);
    // Coronal: rows y = 0..1 of slice z = 0 (the slab is cut at dimY = 2).
    EXPECT_FLOAT_EQ(fo[0], 0.5f);
}

TEST(PlaneExtraction, RgbIsCopiedWithoutSlab)
{
    // Three bytes per pixel: (x, y, z).
    const int dx = 4, dy = 3, dz = 5;
    std::vector<unsigned char> vox(size_t(dx) * dy * dz * 3);
    std::vector<const void*> slices;
    for (int z = 0; z < dz; ++z) {
        slices.push_back(vox.data() + size_t(z) * dx * dy * 3);
        for (int y = 0; y < dy; ++y)
            for (int x = 0; x < dx; ++x) {
                unsigned char* p = vox.data() + ((size_t(z) * dy + y) * dx + x) * 3;
                p[0] = x, p[1] = y, p[2] = z;
            }
    }
    PlaneExtraction a;
    a.slices = slices.data();
    a.dimensions[0] = dx, a.dimensions[1] = dy, a.dimensions[2] = dz;
    a.elementType = 4;
    a.slabSampleCount = 5;
    a.projectionMode = PROJECTION_SUM;
    std::vector<unsigned char> out(size_t(dz) * dx * 3);
    a.output = out.data();
    a.orientation = PLANE_CORONAL;
    a.sliceIndex = 2;
    ASSERT_TRUE(extractPlane(a));
    for (int v = 0; v < dx; ++v)
        for (int u = 0; u < dz; ++u) {
            const unsigned char* p = out.data() + (size_t(v) * dz + u) * 3;
            ASSERT_EQ(int(p[0]), v);
            ASSERT_EQ(int(p[1]), 2);
            ASSERT_EQ(int(p[2]), u);
        }
    a.orientation = PLANE_SAGITTAL;
    a.sliceIndex = 1;
    ASSERT_TRUE(extractPlane(a));
    for (int v = 0; v < dy; ++v)
        for (int u = 0; u < dz; ++u) {
            const unsigned char* p = out.data() + (size_t(v) * dz + u) * 3;
            ASSERT_EQ(int(p[0]), dx - 2);
            ASSERT_EQ(int(p[1]), v);
            ASSERT_EQ(int(p[2]), u);
        }
}

TEST(PlaneExtraction, RefusesWhatItCannotExtract)
{
    const auto vol = mprtest::fieldVolume(4, 3, 2);
    std::vector<float> out;
    EXPECT_FALSE(extractPlane(extraction(vol, 2, PLANE_ORIGINAL, 2, out)));
    EXPECT_FALSE(extractPlane(extraction(vol, 2, PLANE_SAGITTAL, -1, out)));
    EXPECT_FALSE(extractPlane(extraction(vol, 2, 3, 0, out)));
    EXPECT_EQ(out[0], 77.0f);
    PlaneExtraction a = extraction(vol, 2, PLANE_CORONAL, 0, out);
    std::vector<const void*> missing = vol.slices;
    missing[1] = nullptr;
    a.slices = missing.data();
    EXPECT_FALSE(extractPlane(a));
}
