#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "imaging/core/isEmptySpace.h"

using namespace isImageSDK;

namespace {

template <typename T>
struct Volume {
    std::vector<T> voxels;
    RayCastVolume desc;
    Volume(int x, int y, int z, T fill, int32_t type)
        : voxels(static_cast<size_t>(x) * y * z, fill)
    {
        desc.voxels = voxels.data();
        desc.dimensions[0] = x, desc.dimensions[1] = y, desc.dimensions[2] = z;
        desc.elementType = type;
    }
    T& at(int x, int y, int z)
    {
        return voxels[(static_cast<size_t>(z) * desc.dimensions[1] + y) * desc.dimensions[0] + x];
    }
};

std::array<float, 6> box(const vrSpaceLeapingBase& g)
{
    std::array<float, 6> b;
    g.copyBoundingBox(b.data());
    return b;
}

}  // namespace

TEST(EmptySpace, BlocksAndWholeBoxAfterAttach)
{
    Volume<int16_t> v(5, 5, 5, 0, kRayCastInt16);
    vrSpaceLeaping g;
    g.attachVolume(&v.desc);
    EXPECT_EQ(g.blocksX(), 2);
    EXPECT_EQ(g.blocksY(), 2);
    EXPECT_EQ(g.blocksZ(), 2);
    EXPECT_EQ(g.slabStride(), 4);
    EXPECT_EQ(box(g), (std::array<float, 6>{0, 4, 0, 4, 0, 4}));
    EXPECT_FALSE(g.isBuilt());
}

TEST(EmptySpace, BoxOfOneBrightVoxelAndOfTheFarFace)
{
    struct Case {
        std::array<int, 3> voxel;
        std::array<float, 6> expected;
    } cases[] = {
        {{10, 10, 10}, {8, 11, 8, 11, 8, 11}},
        {{63, 0, 33}, {60, 62, 0, 3, 32, 35}},   // 63 clamped to dimension - 2
        {{0, 62, 63}, {0, 3, 60, 62, 60, 62}},
    };
    for (const auto& c : cases) {
        Volume<int16_t> v(64, 64, 64, -1000, kRayCastInt16);
        v.at(c.voxel[0], c.voxel[1], c.voxel[2]) = 500;
        vrSpaceLeaping g;
        g.attachVolume(&v.desc);
        g.setThreshold(0);
        g.buildMaxima();
        EXPECT_TRUE(g.isBuilt());
        EXPECT_EQ(box(g), c.expected) << c.voxel[0] << "," << c.voxel[1] << "," << c.voxel[2];
        float inside[3] = {static_cast<float>(c.voxel[0]), static_cast<float>(c.voxel[1]),
                           static_cast<float>(c.voxel[2])};
        EXPECT_FALSE(g.isEmpty(inside));
        float far[3] = {30, 30, 20};
        EXPECT_TRUE(g.isEmpty(far));
    }
}

TEST(EmptySpace, ThresholdChangesTheBoxWithoutRebuilding)
{
    Volume<int16_t> v(32, 32, 32, 0, kRayCastInt16);
    v.at(20, 4, 4) = 300;
    v.at(5, 25, 6) = 100;
    vrSpaceLeaping g;
    g.attachVolume(&v.desc);
    g.buildMaxima();   // default threshold 200: only the 300 voxel
    EXPECT_EQ(box(g), (std::array<float, 6>{20, 23, 4, 7, 4, 7}));
    v.at(20, 4, 4) = 0;   // a rebuild would see this; a threshold change must not
    g.setThreshold(50);
    EXPECT_EQ(box(g), (std::array<float, 6>{4, 23, 4, 27, 4, 7}));
    g.setThreshold(1000);
    auto b = box(g);
    EXPECT_GT(b[0], b[1]);
    EXPECT_GT(b[2], b[3]);
    EXPECT_GT(b[4], b[5]);
    g.buildMaxima();   // built once per volume: no effect
    g.setThreshold(250);
    EXPECT_EQ(box(g), (std::array<float, 6>{20, 23, 4, 7, 4, 7}));
}

TEST(EmptySpace, IntegerGridReadsOnlySigned16BitVolumes)
{
    // An 8-bit buffer read as 16-bit would run past its end.
    Volume<uint8_t> v(9, 9, 9, 255, kRayCastUInt8);
    vrSpaceLeaping g;
    g.attachVolume(&v.desc);
    g.buildMaxima();
    EXPECT_FALSE(g.isBuilt());
    EXPECT_EQ(box(g), (std::array<float, 6>{0, 8, 0, 8, 0, 8}));
}

TEST(EmptySpace, FloatGridFollowsASmallThreshold)
{
    // PET-like values far below 200.
    Volume<float> v(16, 16, 16, 0.f, kRayCastFloat32);
    v.at(9, 2, 13) = 3.5f;
    v.at(1, 1, 1) = 0.2f;
    vrSpaceLeapingFloat g;
    g.attachVolume(&v.desc);
    g.buildMaxima();
    auto all = box(g);   // threshold 200 at construction: nothing reaches it
    EXPECT_GT(all[0], all[1]);
    g.setThreshold(0.5f);
    EXPECT_EQ(box(g), (std::array<float, 6>{8, 11, 0, 3, 12, 14}));
    g.setThreshold(0.1f);
    EXPECT_EQ(box(g), (std::array<float, 6>{0, 11, 0, 3, 0, 14}));
    float p[3] = {9, 2, 13};
    EXPECT_FALSE(g.isEmpty(p));
    g.setThreshold(4.f);
    EXPECT_TRUE(g.isEmpty(p));
}
