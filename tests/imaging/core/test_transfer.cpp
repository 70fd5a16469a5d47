#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imaging/core/isTransferFunction.h"

using namespace isImageSDK;

namespace {

struct CompositeCase {
    float width, level;
    int value;
    int index;   // expected colour-table index; opacity = index / 255
};

std::vector<float> compositeLookup(const TransferTables& t, float width, float level)
{
    std::vector<float> lut(65536 * 4);
    buildCompositeLookup(lut.data(), t.colorTable(), level - width * 0.5, width);
    return lut;
}

}  // namespace

TEST(TransferTables, GreyRampBeforeAnyColourMap)
{
    TransferTables t;
    for (int i : {0, 1, 128, 255})
        for (int k = 0; k < 4; ++k) EXPECT_EQ(t.colorTable()[i * 4 + k], static_cast<float>(i));
}

TEST(TransferTables, CompositeLookupFollowsTheWindow)
{
    const CompositeCase cases[] = {
        {400, 200, 0, 0},     {400, 200, -5000, 0},   {400, 200, 200, 128}, {400, 200, 400, 255},
        {400, 200, 32767, 255}, {2, 100, 99, 0},       {2, 100, 98, 0},      {2, 100, 101, 255},
        {2, 100, 30000, 255}, {255, 128, 128, 128},   {4000, -1000, -32768, 0},
    };
    TransferTables t;
    for (const auto& c : cases) {
        auto lut = compositeLookup(t, c.width, c.level);
        const float* e = &lut[(c.value + 32768) * 4];
        SCOPED_TRACE(testing::Message() << "W " << c.width << " L " << c.level << " v " << c.value);
        EXPECT_FLOAT_EQ(e[0], c.index / 255.f);
        EXPECT_FLOAT_EQ(e[1], static_cast<float>(c.index));   // grey ramp colour
    }
}

TEST(TransferTables, ColourMapSetsColoursButNotOpacity)
{
    std::vector<uint8_t> map(768);
    for (int i = 0; i < 256; ++i) {
        map[i * 3] = static_cast<uint8_t>(255 - i);
        map[i * 3 + 1] = 7;
        map[i * 3 + 2] = static_cast<uint8_t>(i / 2);
    }
    TransferTables t;
    t.ensurePreintegrated();
    EXPECT_FALSE(t.tablesDirty());
    t.loadColorMap(map.data());
    EXPECT_TRUE(t.tablesDirty());
    const float* e = t.colorTable() + 200 * 4;
    EXPECT_EQ(e[0], 200.f);
    EXPECT_EQ(e[1], 55.f);
    EXPECT_EQ(e[2], 7.f);
    EXPECT_EQ(e[3], 100.f);
}

TEST(TransferTables, PreintegratedIsSymmetricMeanOfTheColourTable)
{
    std::vector<uint8_t> map(768);
    for (int i = 0; i < 256; ++i) {
        map[i * 3] = static_cast<uint8_t>(i < 128 ? 0 : 255);   // a step
        map[i * 3 + 1] = static_cast<uint8_t>(i);
        map[i * 3 + 2] = 40;
    }
    TransferTables t;
    t.loadColorMap(map.data());
    t.ensurePreintegrated();
    const float* pre = t.preintegratedTable();
    auto at = [&](int j, int l, int k) { return pre[(j * 256 + l) * 4 + k]; };
    for (int j : {0, 5, 127, 128, 200, 255})
        for (int l : {0, 9, 127, 128, 255})
            for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(at(j, l, k), at(l, j, k));
    for (int j : {0, 77, 255})
        for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(at(j, j, k), t.colorTable()[j * 4 + k]);
    // Opacity ramp: mean of a linear ramp.
    EXPECT_FLOAT_EQ(at(10, 30, 0), 20.f);
    EXPECT_FLOAT_EQ(at(0, 255, 0), 127.5f);
    // Across the red step at 127/128 the mean lies between 0 and 255.
    EXPECT_FLOAT_EQ(at(127, 128, 1), 127.5f);
    EXPECT_FLOAT_EQ(at(100, 120, 1), 0.f);
    EXPECT_FLOAT_EQ(at(50, 60, 3), 40.f);

    std::vector<float> lut(65536 * 4);
    buildPreintegratedLookup(lut.data(), pre);
    EXPECT_FLOAT_EQ(lut[(10 + 256 * 30) * 4], 20.f / 255.f);
}

TEST(TransferTables, ProjectionLookupHoldsTheColourTable)
{
    TransferTables t;
    std::vector<float> lut(65536 * 4, 9.f);
    buildProjectionLookup(lut.data(), t.colorTable());
    EXPECT_EQ(lut[255 * 4 + 1], 255.f);
    EXPECT_EQ(lut[256 * 4 + 1], 0.f);
}

TEST(TransferTables, IndexTruncatesAndClamps)
{
    struct { float v; int index; } cases[] = {
        {90, 0}, {100, 0}, {100.9f, 0}, {200, 100}, {354.9f, 254}, {400, 255}, {100100, 255}, {1e30f, 255},
        {-1e30f, 0}, {NAN, 0}};
    for (const auto& c : cases) EXPECT_EQ(transferIndex(c.v, 100.f, 1.f), c.index) << c.v;
}

TEST(Light, ShadingTerms)
{
    cuLight light;
    light.lightPosition[0] = 0, light.lightPosition[1] = 0, light.lightPosition[2] = 10;
    const float origin[3] = {0, 0, 0};
    const float white[3] = {1, 1, 1};
    float out[3];

    // Normal away from the light: ambient only.
    light.eyePosition[0] = 10, light.eyePosition[1] = 0, light.eyePosition[2] = 0;
    const float away[3] = {0, 0, -1};
    light.shade(origin, away, white, out);
    EXPECT_NEAR(out[0], 0.18f, 1e-5f);

    // Oblique normal, highlight away from the eye: 0.18 + 0.9 * (N . L).
    light.eyePosition[0] = 0, light.eyePosition[1] = -10, light.eyePosition[2] = 0;
    const float oblique[3] = {0, 0.6f, 0.8f};
    light.shade(origin, oblique, white, out);
    EXPECT_NEAR(out[1], 0.18f + 0.9f * 0.8f, 1e-5f);
    const float half[3] = {0.5f, 0.5f, 0.5f};
    light.shade(origin, oblique, half, out);
    EXPECT_NEAR(out[2], 0.5f * (0.18f + 0.72f), 1e-5f);

    // Head-on with the eye behind the light: capped at 1.
    light.eyePosition[0] = 0, light.eyePosition[1] = 0, light.eyePosition[2] = 20;
    const float towards[3] = {0, 0, 1};
    light.shade(origin, towards, white, out);
    EXPECT_EQ(out[0], 1.f);
}
