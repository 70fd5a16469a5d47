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
    // More slices than the sagittal extraction takes in one block.
    const auto vol = mprtest::fieldVolume(11, 9, 13);
    const int dx = 11, dy = 9, dz = 13;
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

// ---------------------------------------------------------------------------
// The plane filter in the pipeline.

#include "imaging/core/isImageData.h"
#include "imaging/core/isImagePlane.h"

#include <cmath>

namespace {

// World placement used by the filter tests: a rotation about z with a
// translation, so that matrix mistakes show.
cocos2d::Mat4 placementMatrix()
{
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    return cocos2d::Mat4(cocos2d::Vec3(c, s, 0), cocos2d::Vec3(-s, c, 0), cocos2d::Vec3(0, 0, 1),
                         cocos2d::Vec3(10, -20, 5));
}

// A float volume holding the naming field.
isImageData* fieldImage(int dx, int dy, int dz, float sx, float sy, float sz)
{
    isImageData* img = isImageData::create();
    const int32_t d[3] = {dx, dy, dz};
    const float s[3] = {sx, sy, sz};
    EXPECT_TRUE(img->buildVolume(d, s, ELEMENT_FLOAT, 0, 0, placementMatrix()));
    auto* p = static_cast<float*>(img->volumeBuffer);
    for (int z = 0; z < dz; ++z)
        for (int y = 0; y < dy; ++y)
            for (int x = 0; x < dx; ++x)
                *p++ = mprtest::fieldValue(x, y, z);
    return img;
}

cocos2d::Vec3 transformPoint(const cocos2d::Mat4& m, float x, float y, float z)
{
    return cocos2d::Vec3(m.m[0] * x + m.m[4] * y + m.m[8] * z + m.m[12], m.m[1] * x + m.m[5] * y + m.m[9] * z + m.m[13],
                         m.m[2] * x + m.m[6] * y + m.m[10] * z + m.m[14]);
}

} // namespace

TEST(ImagePlane, GeometryAndPixelsOfEachOrientation)
{
    isImageData* vol = fieldImage(25, 20, 8, 0.5f, 0.75f, 2.0f);
    isImagePlane* plane = isImagePlane::create();
    EXPECT_EQ(plane->getSliceCount(), -1);
    EXPECT_EQ(plane->getSliceIndexForPosition(0, 0, 0), -1);
    isImageData* out = plane->getOutputImage();
    plane->setInputData(vol);
    EXPECT_EQ(plane->sliceIndex, 0);
    const cocos2d::Mat4 m = placementMatrix();

    struct Case
    {
        int orientation, count, width, height;
        float spacingX, spacingY;
    };
    for (const Case& c : {Case{PLANE_ORIGINAL, 8, 25, 20, 0.5f, 0.75f}, Case{PLANE_SAGITTAL, 25, 8, 20, 2.0f, 0.75f},
                          Case{PLANE_CORONAL, 20, 8, 25, 2.0f, 0.5f}}) {
        plane->setOrientation(c.orientation);
        ASSERT_EQ(plane->getSliceCount(), c.count);
        const int index = c.count / 2 - 1;
        plane->setSliceIndex(index);
        plane->update();
        SliceRecord* s = out->getSlice(0);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(out->getSliceCount(), 1);
        EXPECT_EQ(s->width, c.width);
        EXPECT_EQ(s->height, c.height);
        EXPECT_FLOAT_EQ(s->spacingX, c.spacingX);
        EXPECT_FLOAT_EQ(s->spacingY, c.spacingY);
        const auto* px = static_cast<const float*>(s->pixels);
        for (int v = 0; v < c.height; ++v)
            for (int u = 0; u < c.width; ++u) {
                const mprtest::Voxel voxel = mprtest::voxelOf(px[v * c.width + u]);
                const mprtest::Voxel expect = c.orientation == PLANE_ORIGINAL   ? mprtest::Voxel{u, v, index}
                                              : c.orientation == PLANE_SAGITTAL ? mprtest::Voxel{24 - index, v, u}
                                                                                : mprtest::Voxel{v, index, u};
                ASSERT_EQ(voxel, expect) << "orientation " << c.orientation << " pixel " << u << "," << v;
                // The slice matrix places each pixel where its voxel lies.
                if (u % 3 == 0 && v % 4 == 0) {
                    const cocos2d::Vec3 at = transformPoint(s->matrix, u * s->spacingX, v * s->spacingY, 0);
                    const cocos2d::Vec3 want = transformPoint(m, voxel.x * 0.5f, voxel.y * 0.75f, voxel.z * 2.0f);
                    ASSERT_NEAR(at.x, want.x, 1e-3);
                    ASSERT_NEAR(at.y, want.y, 1e-3);
                    ASSERT_NEAR(at.z, want.z, 1e-3);
                }
            }
        // The planes are right-handed: column 2 is column 0 × column 1.
        const cocos2d::Vec3 a(s->matrix.m[0], s->matrix.m[1], s->matrix.m[2]);
        const cocos2d::Vec3 b(s->matrix.m[4], s->matrix.m[5], s->matrix.m[6]);
        const cocos2d::Vec3 n(s->matrix.m[8], s->matrix.m[9], s->matrix.m[10]);
        EXPECT_NEAR(a.y * b.z - a.z * b.y, n.x, 1e-6);
        EXPECT_NEAR(a.z * b.x - a.x * b.z, n.y, 1e-6);
        EXPECT_NEAR(a.x * b.y - a.y * b.x, n.z, 1e-6);
    }
    plane->release();
    vol->release();
}

TEST(ImagePlane, IndexForWorldPosition)
{
    isImageData* vol = fieldImage(10, 12, 14, 0.5f, 0.75f, 2.0f);
    isImagePlane* plane = isImagePlane::create();
    plane->setInputData(vol);
    const cocos2d::Mat4 m = placementMatrix();
    // Planes along each axis: position of plane k in the local frame.
    struct Axis
    {
        int orientation, axis, count;
        float spacing;
        bool reversed;
    };
    for (const Axis& a : {Axis{PLANE_ORIGINAL, 2, 14, 2.0f, false}, Axis{PLANE_SAGITTAL, 0, 10, 0.5f, true},
                          Axis{PLANE_CORONAL, 1, 12, 0.75f, false}}) {
        plane->setOrientation(a.orientation);
        auto indexAt = [&](double planes) {
            float local[3] = {1.0f, 1.5f, 2.0f};
            local[a.axis] = float((a.reversed ? a.count - 1 - planes : planes) * a.spacing);
            const cocos2d::Vec3 w = transformPoint(m, local[0], local[1], local[2]);
            return plane->getSliceIndexForPosition(w.x, w.y, w.z);
        };
        for (int k = 0; k < a.count; ++k)
            EXPECT_EQ(indexAt(k), k) << a.orientation;
        EXPECT_EQ(indexAt(3.4), 3);
        EXPECT_EQ(indexAt(3.6), 4);
        EXPECT_EQ(indexAt(-1.4), 0); // truncation toward zero
        EXPECT_EQ(indexAt(-3.0), -2);
        EXPECT_EQ(indexAt(a.count + 2), a.count + 2);
    }
    plane->release();
    vol->release();
}

TEST(ImagePlane, SlabThicknessMarksDataOnlyWhenTheCountChanges)
{
    isImageData* vol = fieldImage(6, 6, 6, 1.0f, 1.0f, 1.0f);
    isImagePlane* plane = isImagePlane::create();
    plane->setInputData(vol);
    plane->update();
    ASSERT_FALSE(plane->isDataModified());
    plane->setSlabThickness(2.0);
    EXPECT_EQ(plane->slabSampleCount, 3);
    EXPECT_TRUE(plane->isDataModified());
    EXPECT_FALSE(plane->isInformationModified());
    plane->update();
    plane->setSlabThickness(2.5);
    EXPECT_FALSE(plane->isDataModified());
    plane->setSlabThickness(-4.0);
    EXPECT_EQ(plane->slabSampleCount, 1);

    // A slab through the pipeline: the maximum of planes 1..3 along z is
    // plane 3.
    plane->setSlabThickness(2.0);
    plane->setSliceIndex(2);
    plane->update();
    const auto* px = static_cast<const float*>(plane->getOutputImage()->getSlice(0)->pixels);
    EXPECT_EQ(mprtest::voxelOf(px[7]), (mprtest::Voxel{1, 1, 3}));
    plane->setProjectionMode(PROJECTION_MIN);
    EXPECT_FALSE(plane->isInformationModified());
    plane->update();
    px = static_cast<const float*>(plane->getOutputImage()->getSlice(0)->pixels);
    EXPECT_EQ(mprtest::voxelOf(px[7]), (mprtest::Voxel{1, 1, 1}));
    plane->release();
    vol->release();
}

TEST(ImagePlane, InterpolationModeMarksDataOnlyWhenItChanges)
{
    isImageData* vol = fieldImage(6, 6, 6, 1.0f, 1.0f, 1.0f);
    isImagePlane* plane = isImagePlane::create();
    EXPECT_EQ(plane->getInterpolationMode(), 1);
    plane->setInputData(vol);
    plane->setSliceIndex(2);
    plane->update();
    const auto* px = static_cast<const float*>(plane->getOutputImage()->getSlice(0)->pixels);
    const std::vector<float> before(px, px + 36);

    plane->setInterpolationMode(1);
    EXPECT_FALSE(plane->isDataModified());
    plane->setInterpolationMode(0);
    EXPECT_EQ(plane->getInterpolationMode(), 0);
    EXPECT_TRUE(plane->isDataModified());
    EXPECT_FALSE(plane->isInformationModified());
    plane->update();
    EXPECT_FALSE(plane->isDataModified());
    // Samples on voxel centres: nearest and linear agree.
    px = static_cast<const float*>(plane->getOutputImage()->getSlice(0)->pixels);
    EXPECT_EQ(std::vector<float>(px, px + 36), before);
    plane->release();
    vol->release();
}

TEST(ImagePlane, NoSliceWhenThereIsNothingToShow)
{
    isImageData* vol = fieldImage(6, 5, 4, 1.0f, 1.0f, 1.0f);
    isImagePlane* plane = isImagePlane::create();
    isImageData* out = plane->getOutputImage();
    plane->setInputData(vol);
    plane->setSliceIndex(4); // == dimZ
    plane->update();
    EXPECT_FALSE(out->hasData);
    EXPECT_EQ(out->getSliceCount(), 0);
    plane->setSliceIndex(-1);
    plane->update();
    EXPECT_FALSE(out->hasData);
    plane->setOrientation(7);
    plane->setSliceIndex(0);
    plane->update();
    EXPECT_FALSE(out->hasData);

    // A single image: only orientation 0, always without slab.
    isImageData* single = isImageData::create();
    const int32_t d[3] = {6, 5, 1};
    const float s[3] = {1, 1, 1};
    ASSERT_TRUE(single->buildVolume(d, s, ELEMENT_FLOAT, 0, 0, cocos2d::Mat4()));
    static_cast<float*>(single->slices[0]->pixels)[3] = 42.0f;
    plane->setInputData(single);
    plane->setOrientation(PLANE_SAGITTAL);
    plane->update();
    EXPECT_FALSE(out->hasData);
    plane->setOrientation(PLANE_ORIGINAL);
    plane->setProjectionMode(PROJECTION_SUM);
    plane->slabSampleCount = 5;
    plane->update();
    ASSERT_TRUE(out->hasData);
    EXPECT_EQ(plane->slabSampleCount, 1);
    EXPECT_EQ(plane->projectionMode, 1);
    EXPECT_EQ(static_cast<const float*>(out->getSlice(0)->pixels)[3], 42.0f);
    plane->release();
    single->release();
    vol->release();
}

TEST(ImagePlane, CoincidentSlicesNeverReachADivision)
{
    // Slice spacing 0 (all slices at one position).
    isImageData* vol = fieldImage(6, 5, 4, 1.0f, 1.0f, 0.0f);
    isImagePlane* plane = isImagePlane::create();
    plane->setInputData(vol);
    plane->setSlabThickness(5.0);
    EXPECT_EQ(plane->slabSampleCount, 1);
    EXPECT_EQ(plane->getSliceIndexForPosition(0, 0, 0), -1);
    plane->setSliceIndex(2);
    plane->update();
    ASSERT_TRUE(plane->getOutputImage()->hasData);
    EXPECT_EQ(mprtest::voxelOf(static_cast<const float*>(plane->getOutputImage()->getSlice(0)->pixels)[0]),
              (mprtest::Voxel{0, 0, 2}));
    plane->release();
    vol->release();
}
