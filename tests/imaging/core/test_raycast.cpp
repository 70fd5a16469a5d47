#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/base/AutoreleasePool.h"
#include "imaging/core/isCamera.h"
#include "imaging/core/isRayCast.h"
#include "tools/vrdebug/phantom.h"

using cocos2d::Vec3;
using namespace isImageSDK;

namespace {

template <typename T>
struct Volume {
    std::vector<T> voxels;
    RayCastVolume desc;
    Volume(int x, int y, int z, T fill, int32_t type) : voxels(static_cast<size_t>(x) * y * z, fill)
    {
        desc.voxels = voxels.data();
        desc.dimensions[0] = x, desc.dimensions[1] = y, desc.dimensions[2] = z;
        desc.elementType = type;
    }
    T& at(int x, int y, int z)
    {
        return voxels[(static_cast<size_t>(z) * desc.dimensions[1] + y) * desc.dimensions[0] + x];
    }
    void fillBox(int lo, int hi, T value)
    {
        for (int z = lo; z <= hi; ++z)
            for (int y = lo; y <= hi; ++y)
                for (int x = lo; x <= hi; ++x) at(x, y, z) = value;
    }
};

struct View {
    Vec3 direction, up;
};

// The six axis directions, each with an up vector across it.
const View kSixViews[] = {
    {{0, 0, 1}, {0, -1, 0}}, {{0, 0, -1}, {0, -1, 0}}, {{1, 0, 0}, {0, 0, 1}},
    {{-1, 0, 0}, {0, 0, 1}}, {{0, 1, 0}, {0, 0, 1}},   {{0, -1, 0}, {0, 0, 1}},
};

std::vector<uint8_t> colourMap(std::array<uint8_t, 3> first, std::array<uint8_t, 3> rest)
{
    std::vector<uint8_t> map(768);
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) map[i * 3 + k] = i == 0 ? first[k] : rest[k];
    return map;
}

class RayCastTest : public testing::Test {
protected:
    cocos2d::AutoreleasePool pool;

    // An orthographic camera of w x h pixels looking along direction at target.
    isCamera* camera(int w, int h, float zoom, Vec3 target, const View& v, bool perspective = false,
                     float distance = 400.f)
    {
        isCamera* cam = isCamera::create();
        cam->perspective = perspective;
        cam->setProjection(40, static_cast<float>(w), static_cast<float>(h), 1, 1000);
        cam->setZoom(zoom);
        cam->setPosition3D(target - v.direction * distance);
        cam->lookAt(target, v.up);
        return cam;
    }

    static std::array<uint8_t, 3> pixel(const RayCastContext& ctx, int col, int row)
    {
        const uint8_t* p = ctx.getImageBuffer() + (static_cast<size_t>(row) * ctx.getImageWidth() + col) * 3;
        return {p[0], p[1], p[2]};
    }
};

}  // namespace

TEST(RayCastKernels, SegmentClipper)
{
    const float box[6] = {0, 10, 0, 10, 0, 10};
    struct Case {
        std::array<float, 3> p0, p1;
        bool hit;
        std::array<float, 3> entry, exit;
    } cases[] = {
        {{-5, 5, 5}, {15, 5, 5}, true, {0, 5, 5}, {10, 5, 5}},
        {{5, 5, 5}, {5, 5, 20}, true, {5, 5, 5}, {5, 5, 10}},      // starts inside
        {{-5, -5, 5}, {15, 15, 5}, true, {0, 0, 5}, {10, 10, 5}},  // through two edges
        {{-5, 12, 5}, {15, 12, 5}, false, {}, {}},                  // passes above
        {{-5, 5, 5}, {-1, 5, 5}, false, {}, {}},                    // stops short
        {{-5, -5, 5}, {5, -15, 5}, false, {}, {}},
    };
    for (const auto& c : cases) {
        float entry[3], exit[3];
        bool hit = clipSegment(c.p0.data(), c.p1.data(), box, entry, exit);
        ASSERT_EQ(hit, c.hit) << c.p0[0] << "," << c.p0[1] << "->" << c.p1[0] << "," << c.p1[1];
        if (!hit) continue;
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(entry[a], c.entry[a], 1e-4f);
            EXPECT_NEAR(exit[a], c.exit[a], 1e-4f);
        }
    }
    const float inverted[6] = {39996, -39993, 39996, -39993, 39996, -39993};
    float e[3], x[3];
    const float a[3] = {-1e5f, 5, 5}, b[3] = {1e5f, 5, 5};
    EXPECT_FALSE(clipSegment(a, b, inverted, e, x));
}

TEST(RayCastKernels, SamplersStayInsideTheVolume)
{
    Volume<int16_t> v(4, 3, 2, 0, kRayCastInt16);
    for (size_t i = 0; i < v.voxels.size(); ++i) v.voxels[i] = static_cast<int16_t>(i);
    RayCastContext ctx;   // for its weight table
    RayCastParams p = ctx.getParams();
    p.dimensions[0] = 4, p.dimensions[1] = 3, p.dimensions[2] = 2;
    p.sliceSize = 12;
    p.voxels = v.voxels.data();
    // On and beyond the far faces (positions up to the dimension and a step
    // past it) read the last voxel.
    EXPECT_EQ(NearestSampler<int16_t>::sample(4.f, 3.f, 2.f, p), 23);
    EXPECT_EQ(TrilinearSampler<int16_t>::sample(4.f, 3.f, 2.f, p), 23);
    EXPECT_EQ(TrilinearSampler<int16_t>::sample(5.5f, 4.5f, 3.5f, p), 23);
    EXPECT_EQ(NearestSampler<int16_t>::sample(-1.5f, -0.5f, -3.f, p), 0);
    EXPECT_EQ(TrilinearSampler<int16_t>::sample(-1.5f, -0.5f, -3.f, p), 0);
    // Inside: bin 25 of 50 (fraction 0.51) between 1 and 2 gives 1.51.
    EXPECT_EQ(TrilinearSampler<int16_t>::sample(1.5f, 0.f, 0.f, p), 2);
    EXPECT_EQ(TrilinearSampler<int16_t>::sample(1.99f, 2.f, 1.f, p), 22);
    // A uniform region samples to its own value at any fraction.
    std::fill(v.voxels.begin(), v.voxels.end(), int16_t(40));
    for (float f : {0.f, 0.13f, 0.5f, 0.77f, 0.999f})
        EXPECT_EQ(TrilinearSampler<int16_t>::sample(1.f + f, 1.f - f, f, p), 40) << f;
}

// The sampler weighs the eight neighbours exactly as the context's weights
// table does (bit for bit, float volumes included).
TEST(RayCastKernels, TrilinearSamplerFollowsTheWeightsTable)
{
    Volume<float> v(7, 6, 5, 0, kRayCastFloat32);
    for (size_t i = 0; i < v.voxels.size(); ++i) v.voxels[i] = static_cast<float>((i * 7919) % 1013) - 500.f;
    RayCastContext ctx;
    RayCastParams p = ctx.getParams();
    p.dimensions[0] = 7, p.dimensions[1] = 6, p.dimensions[2] = 5;
    p.sliceSize = 42;
    p.voxels = v.voxels.data();
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / float(1 << 24);
    };
    for (int n = 0; n < 2000; ++n) {
        const float x = next() * 5.99f, y = next() * 4.99f, z = next() * 3.99f;
        const int x0 = int(x), y0 = int(y), z0 = int(z);
        const int bx = std::min(int((x - x0) * 50.f), 49), by = std::min(int((y - y0) * 50.f), 49),
                  bz = std::min(int((z - z0) * 50.f), 49);
        const float* w = p.weights + (bx + 50 * by + 2500 * bz) * 8;
        const float* b = v.voxels.data() + z0 * 42 + y0 * 7 + x0;
        const float expected = w[0] * b[0] + w[1] * b[1] + w[2] * b[7] + w[3] * b[8] + w[4] * b[42] + w[5] * b[43]
                             + w[6] * b[49] + w[7] * b[50];
        ASSERT_EQ(TrilinearSampler<float>::sample(x, y, z, p), expected) << x << " " << y << " " << z;
    }
}

TEST(RayCastJobs, ImageScaleRule)
{
    struct Case {
        float scale;
        int elapsed;
        float target, expected;
    } cases[] = {
        {1.0f, 120, 30, 0.5f},   {0.5f, 1, 30, 1.0f},       {0.1f, 10000, 30, 0.05f},
        {0.4f, 0, 30, 0.1f},     // interactive frame measured at 0 ms
        {0.1f, 0, 5000, 1.0f},   // a full-quality frame is not stuck at a tenth
        {0.3f, 5000, 5000, 0.3f},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(RayCastContext::nextImageScale(c.scale, c.elapsed, c.target), c.expected, 1e-6f)
            << c.scale << " " << c.elapsed << " " << c.target;
}

TEST_F(RayCastTest, MipOfOneBrightVoxelLandsOnItsPixel)
{
    Volume<int16_t> v(32, 32, 32, -1000, kRayCastInt16);
    const int vx = 20, vy = 9, vz = 14;
    v.at(vx, vy, vz) = 1000;
    struct Case {
        float zoom;
        int brightness;      // least brightness of the peak pixel
        double tolerance;    // pixels between peak and projection
    } cases[] = {
        {63.f / 64.f, 230, 0.01},   // rays through the voxel centres
        {0.5f, 50, 1.0},             // rays between voxels
    };
    for (const auto& c : cases) {
        for (const View& view : kSixViews) {
            RayCastContext ctx;
            ASSERT_TRUE(ctx.setVolume(&v.desc));
            ctx.setRenderMode(3);
            ctx.setWindow(1000, 500);
            // Samples sit at whole steps from the near plane, 400.5 - 1 before
            // the centre 15.5: on the voxel centres along the ray.
            isCamera* cam = camera(64, 64, c.zoom, Vec3(15.5f, 15.5f, 15.5f), view, false, 400.5f);
            ctx.setCamera(cam, false);
            ctx.render();
            ASSERT_EQ(ctx.getImageWidth(), 64);
            int best = -1, bestCol = -1, bestRow = -1;
            for (int r = 0; r < 64; ++r)
                for (int col = 0; col < 64; ++col)
                    if (pixel(ctx, col, r)[0] > best) best = pixel(ctx, col, r)[0], bestCol = col, bestRow = r;
            Vec3 s;
            cam->worldToScreen(Vec3(vx, vy, vz), &s);
            const double col = s.x * 63.0 / 64.0, row = 63.0 - s.y * 63.0 / 64.0;
            SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " direction " << view.direction.x << ","
                                            << view.direction.y << "," << view.direction.z);
            EXPECT_GE(best, c.brightness);
            EXPECT_LE(std::abs(bestCol - col), c.tolerance);
            EXPECT_LE(std::abs(bestRow - row), c.tolerance);
            EXPECT_EQ(pixel(ctx, 0, 0)[0], 0);
        }
    }
}

TEST_F(RayCastTest, OpaqueCubeGivesTheColourMapEntryAndOutsideGivesEntryZero)
{
    Volume<int16_t> v(32, 32, 32, -1000, kRayCastInt16);
    v.fillBox(8, 23, 1000);
    const auto map = colourMap({10, 20, 30}, {200, 100, 50});
    struct Case {
        int mode, interpolation, tolerance;
    } cases[] = {{0, 0, 0}, {0, 1, 0}, {3, 1, 0}, {3, 0, 0},
                 {1, 1, 1}};   // the entering segment averages the map across the window
    for (const auto& c : cases) {
        for (const View& view : kSixViews) {
            RayCastContext ctx;
            ASSERT_TRUE(ctx.setVolume(&v.desc));
            ctx.setRenderMode(c.mode);
            ctx.setInterpolation(c.interpolation);
            ctx.setWindow(2, 500);
            ctx.setColorMap(map.data());
            ctx.setCamera(camera(48, 40, 1.f, Vec3(15.5f, 15.5f, 15.5f), view), false);
            ctx.render();
            SCOPED_TRACE(testing::Message() << "mode " << c.mode << " interpolation " << c.interpolation);
            const auto centre = pixel(ctx, 24, 20);
            EXPECT_NEAR(centre[0], 200, c.tolerance);
            EXPECT_NEAR(centre[1], 100, c.tolerance);
            EXPECT_NEAR(centre[2], 50, c.tolerance);
            EXPECT_EQ(pixel(ctx, 0, 0), (std::array<uint8_t, 3>{10, 20, 30}));
            EXPECT_EQ(pixel(ctx, 47, 39), (std::array<uint8_t, 3>{10, 20, 30}));
            EXPECT_EQ(pixel(ctx, 24, 2), (std::array<uint8_t, 3>{10, 20, 30}));
        }
    }
}

TEST_F(RayCastTest, AllBelowThresholdGivesBackgroundOnly)
{
    Volume<int16_t> v(40, 40, 40, -1000, kRayCastInt16);
    v.fillBox(10, 30, 100);   // visible only in a window below 100
    const auto map = colourMap({7, 8, 9}, {255, 255, 255});
    for (int mode : {0, 3}) {
        RayCastContext ctx;
        ASSERT_TRUE(ctx.setVolume(&v.desc));
        ctx.setRenderMode(mode);
        ctx.setWindow(400, 800);   // lower bound 600
        ctx.setColorMap(map.data());
        ctx.setCamera(camera(50, 50, 1.f, Vec3(20, 20, 20), kSixViews[0]), false);
        ctx.render();
        for (int r = 0; r < 50; ++r)
            for (int c = 0; c < 50; ++c)
                ASSERT_EQ(pixel(ctx, c, r), (std::array<uint8_t, 3>{7, 8, 9})) << "mode " << mode << " " << c << ","
                                                                                << r;
        // The same window lowered shows the block again.
        ctx.setWindow(400, 200);
        ctx.setImageScale(1.f);   // the last frame adapted it
        ctx.render();
        EXPECT_NE(pixel(ctx, 25, 25), (std::array<uint8_t, 3>{7, 8, 9}));
    }
}

TEST_F(RayCastTest, EveryWorkerCountCastsEachRayOnceToTheSameImage)
{
    vrdebug::Phantom ph;
    vrdebug::makeCtPhantom(ph, 48, 48, 48);
    const View oblique = {Vec3(0.6f, 0.5f, 0.62f).getNormalized(), {0, 0, 1}};
    for (int mode : {0, 3}) {
        // A fresh context per count: a tile no worker cast would keep its
        // zero-filled pixels instead of a previous frame's.
        auto renderWith = [&](int limit, RayCastContext& ctx) {
            ASSERT_TRUE(ctx.setVolume(&ph.volume));
            ctx.setRenderMode(mode);
            ctx.setWindow(1200, 300);
            ctx.setWorkerLimit(limit);
            ctx.setCamera(camera(90, 70, 0.8f, Vec3(23.5f, 23.5f, 23.5f), oblique), false);
            ctx.render();
        };
        RayCastContext reference;
        renderWith(1, reference);
        const std::vector<uint8_t> expected(reference.getImageBuffer(),
                                            reference.getImageBuffer() + 90 * 70 * 3);
        ASSERT_GT(reference.getLastJobCount(), 40 * RayCastContext::kJobsPerTile);
        for (int limit : {2, 3, 8, 0}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " limit " << limit);
            RayCastContext ctx;
            renderWith(limit, ctx);
            const int workers = limit ? limit : std::max(1, static_cast<int>(std::thread::hardware_concurrency()) - 1);
            EXPECT_EQ(ctx.getLastWorkerCount(), workers);
            const auto& perWorker = ctx.getLastJobsPerWorker();
            ASSERT_EQ(static_cast<int>(perWorker.size()), workers);
            int total = 0;
            for (int n : perWorker) total += n;
            EXPECT_EQ(total, ctx.getLastJobCount());
            EXPECT_EQ(std::vector<uint8_t>(ctx.getImageBuffer(), ctx.getImageBuffer() + 90 * 70 * 3), expected);
        }
    }
    // A frame of fewer rays than one split stays on the render thread.
    Volume<int16_t> v(16, 16, 16, 500, kRayCastInt16);
    RayCastContext small;
    small.setVolume(&v.desc);
    small.setWorkerLimit(8);
    small.setCamera(camera(8, 8, 4.f, Vec3(7.5f, 7.5f, 7.5f), kSixViews[0]), false);
    small.render();
    EXPECT_LT(small.getLastJobCount(), RayCastContext::kJobsPerSplit);
    EXPECT_EQ(small.getLastWorkerCount(), 1);
}

TEST_F(RayCastTest, WindowLevelCountIsKeptAndTheTablesStayAt256Entries)
{
    vrdebug::Phantom ph;
    vrdebug::makeCtPhantom(ph, 32, 32, 32);
    std::vector<uint8_t> images[2];
    const int counts[2] = {256, 4096};
    for (int i = 0; i < 2; ++i) {
        RayCastContext ctx;
        ASSERT_TRUE(ctx.setVolume(&ph.volume));
        ctx.setRenderMode(3);
        if (i == 0)
            ctx.setWindow(400, 600);
        else
            ctx.setWindow(400, 600, counts[i]);
        EXPECT_EQ(ctx.getWindowLevels(), counts[i]);
        ctx.setCamera(camera(40, 40, 1.f, Vec3(15.5f, 15.5f, 15.5f), kSixViews[2]), false);
        ctx.render();
        EXPECT_FLOAT_EQ(ctx.getTransfer().scale, 255.f / 400.f);
        images[i].assign(ctx.getImageBuffer(), ctx.getImageBuffer() + 40 * 40 * 3);
    }
    EXPECT_EQ(images[0], images[1]);
}

TEST_F(RayCastTest, AbortMidFrameLeavesTheScaleUnchanged)
{
    vrdebug::Phantom ph;
    vrdebug::makeCtPhantom(ph, 160, 160, 160);
    RayCastContext ctx;
    ASSERT_TRUE(ctx.setVolume(&ph.volume));
    ctx.setRenderMode(3);
    ctx.setWindow(2000, 0);
    ctx.setEmptySpaceSkipping(false);
    ctx.setCamera(camera(1200, 1200, 0.2f, Vec3(80, 80, 80), kSixViews[2]), false);
    ctx.setTargetFrameTime(0.001f);   // any finished frame would lower the scale

    ctx.setImageScale(0.5f);
    std::atomic<bool> done{false};
    std::thread renderer([&] {
        ctx.render();
        done = true;
    });
    // A frame clears the flag when it starts, so keep aborting until it ends.
    while (!done) {
        ctx.abort();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    renderer.join();
    EXPECT_TRUE(ctx.isAborted());
    EXPECT_FLOAT_EQ(ctx.getImageScale(), 0.5f);

    ctx.render();   // not aborted: the scale adapts
    EXPECT_NE(ctx.getImageScale(), 0.5f);
}

TEST_F(RayCastTest, CameraChangesWhileAFrameRenders)
{
    // The UI thread hands in new views while the render thread casts; each
    // frame keeps the view it started with, so every frame equals the frame
    // of one view rendered alone, never a mix of two.
    Volume<int16_t> v(24, 24, 24, -1000, kRayCastInt16);
    v.fillBox(6, 17, 800);
    for (int z = 2; z < 6; ++z)   // a block off the cube's corner tells the views apart
        for (int y = 18; y < 22; ++y)
            for (int x = 2; x < 8; ++x) v.at(x, y, z) = 1500;
    const View views[2] = {kSixViews[0], {Vec3(0.7f, -0.2f, 0.68f).getNormalized(), {0, 0, 1}}};
    isCamera* cameras[2] = {camera(120, 120, 0.3f, Vec3(11.5f, 11.5f, 11.5f), views[0]),
                            camera(120, 120, 0.3f, Vec3(11.5f, 11.5f, 11.5f), views[1])};
    auto setUp = [&](RayCastContext& ctx) {
        ctx.setVolume(&v.desc);
        ctx.setWindow(1400, 600);
        ctx.setTargetFrameTime(1e6f);
    };
    std::vector<uint8_t> alone[2];
    for (int i = 0; i < 2; ++i) {
        RayCastContext ctx;
        setUp(ctx);
        ctx.setCamera(cameras[i], false);
        ctx.render();
        ASSERT_EQ(ctx.getImageWidth(), 120);
        alone[i].assign(ctx.getImageBuffer(), ctx.getImageBuffer() + 120 * 120 * 3);
    }
    ASSERT_NE(alone[0], alone[1]);

    RayCastContext ctx;
    setUp(ctx);
    ctx.setCamera(cameras[0], false);
    std::atomic<bool> stop{false};
    int matches[2] = {0, 0}, torn = 0;
    std::thread renderer([&] {
        for (int i = 0; i < 30; ++i) {
            ctx.setImageScale(1.f);
            ctx.render();
            const std::vector<uint8_t> frame(ctx.getImageBuffer(), ctx.getImageBuffer() + 120 * 120 * 3);
            if (frame == alone[0])
                ++matches[0];
            else if (frame == alone[1])
                ++matches[1];
            else
                ++torn;
        }
        stop = true;
    });
    for (int i = 0; !stop; ++i) ctx.setCamera(cameras[i % 2], false);
    renderer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(matches[0] + matches[1], 30);
}

TEST_F(RayCastTest, OutOfViewFrameKeepsAFullQualityScale)
{
    Volume<int16_t> v(16, 16, 16, 500, kRayCastInt16);
    struct Case {
        float target, expected;
    } cases[] = {{30.f, 0.1f}, {5000.f, 1.f}};
    for (const auto& c : cases) {
        RayCastContext ctx;
        ctx.setVolume(&v.desc);
        ctx.setTargetFrameTime(c.target);
        ctx.setImageScale(0.6f);
        ctx.setCamera(camera(100, 100, 0.1f, Vec3(500, 500, 7.5f), kSixViews[0]), false);
        ctx.render();
        EXPECT_EQ(ctx.getLastJobCount(), 0);
        EXPECT_FLOAT_EQ(ctx.getImageScale(), c.expected);
    }
}

TEST_F(RayCastTest, TinyViewportsAndZeroWindowDoNotDivideByZero)
{
    Volume<int16_t> v(16, 16, 16, -1000, kRayCastInt16);
    v.fillBox(4, 11, 300);
    const auto map = colourMap({0, 0, 0}, {90, 91, 92});
    struct Case {
        int width, height;
        float scale;
        int expectWidth;   // -1: no frame
    } cases[] = {{1, 1, 1.f, -1}, {1, 50, 1.f, -1}, {30, 30, 0.05f, 2}, {19, 40, 0.05f, 2}, {2, 2, 1.f, 2}};
    for (const auto& c : cases) {
        RayCastContext ctx;
        ctx.setVolume(&v.desc);
        ctx.setColorMap(map.data());
        ctx.setWindow(0, 200);
        ctx.setImageScale(c.scale);
        ctx.setCamera(camera(c.width, c.height, 16.f / c.width, Vec3(7.5f, 7.5f, 7.5f), kSixViews[0]), false);
        ctx.render();
        EXPECT_EQ(ctx.getImageWidth(), c.expectWidth) << c.width << "x" << c.height;
    }
    // Width 0: a step at the level; values above it are opaque.
    RayCastContext ctx;
    ctx.setVolume(&v.desc);
    ctx.setColorMap(map.data());
    ctx.setWindow(0, 200);
    ctx.setInterpolation(0);
    ctx.setCamera(camera(32, 32, 0.5f, Vec3(7.5f, 7.5f, 7.5f), kSixViews[0]), false);
    ctx.render();
    EXPECT_EQ(pixel(ctx, 16, 16), (std::array<uint8_t, 3>{90, 91, 92}));
}

TEST_F(RayCastTest, EightAndUnsigned16BitVolumesAreReadAsTheirType)
{
    // The same scene in three element types renders the same image.
    Volume<int16_t> ref(24, 20, 18, 0, kRayCastInt16);
    Volume<uint8_t> u8(24, 20, 18, 0, kRayCastUInt8);
    Volume<uint16_t> u16(24, 20, 18, 0, kRayCastUInt16);
    for (int z = 5; z < 13; ++z)
        for (int y = 4; y < 16; ++y)
            for (int x = 3; x < 20; ++x) {
                int value = 40 + 10 * ((x + y + z) % 20);
                ref.at(x, y, z) = static_cast<int16_t>(value);
                u8.at(x, y, z) = static_cast<uint8_t>(value);
                u16.at(x, y, z) = static_cast<uint16_t>(value);
            }
    auto renderOf = [&](const RayCastVolume& desc, int mode) {
        RayCastContext ctx;
        EXPECT_TRUE(ctx.setVolume(&desc));
        ctx.setRenderMode(mode);
        ctx.setWindow(200, 150);
        ctx.setCamera(camera(40, 40, 0.75f, Vec3(11.5f, 9.5f, 8.5f), kSixViews[2]), false);
        ctx.render();
        return std::vector<uint8_t>(ctx.getImageBuffer(), ctx.getImageBuffer() + 40 * 40 * 3);
    };
    for (int mode : {0, 1, 2, 3})
        EXPECT_EQ(renderOf(u8.desc, mode), renderOf(ref.desc, mode)) << "mode " << mode;
    // Above the signed range: clamped, not negative.
    u16.at(0, 0, 0) = 65000;
    ref.at(0, 0, 0) = 32767;
    for (int mode : {0, 1, 2, 3})
        EXPECT_EQ(renderOf(u16.desc, mode), renderOf(ref.desc, mode)) << "mode " << mode;
    Volume<uint8_t> rgb(8, 8, 8, 0, kRayCastRGB);
    RayCastContext ctx;
    EXPECT_FALSE(ctx.setVolume(&rgb.desc));
    EXPECT_EQ(ctx.getVolume(), nullptr);
    ctx.render();   // nothing to render
    EXPECT_EQ(ctx.getImageBuffer(), nullptr);
}

TEST_F(RayCastTest, PreintegratedModesReachTheFarFacesInBounds)
{
    // Rays along each axis through a volume that is bright up to its last
    // voxel: the walks of modes 1 and 2 reach positions on the far faces.
    Volume<int16_t> v(9, 10, 11, 0, kRayCastInt16);
    for (size_t i = 0; i < v.voxels.size(); ++i) v.voxels[i] = static_cast<int16_t>(100 + (i * 37) % 400);
    for (int mode : {1, 2}) {
        for (const View& view : kSixViews) {
            for (bool persp : {false, true}) {
                RayCastContext ctx;
                ctx.setVolume(&v.desc);
                ctx.setRenderMode(mode);
                ctx.setWindow(400, 300);
                ctx.setCamera(camera(30, 30, 0.6f, Vec3(4, 4.5f, 5), view, persp, 30.f), false);
                ctx.render();
                EXPECT_GT(ctx.getLastJobCount(), 0);
                // Some pixel differs from the background.
                bool drawn = false;
                for (int r = 0; r < 30 && !drawn; ++r)
                    for (int c = 0; c < 30 && !drawn; ++c) drawn = pixel(ctx, c, r)[0] != 0;
                EXPECT_TRUE(drawn) << "mode " << mode;
            }
        }
    }
}

TEST_F(RayCastTest, FloatVolumeOfSmallValuesIsNotClipped)
{
    // PET-like values far below 200, windowed 0..5.
    Volume<float> v(32, 32, 32, 0.05f, kRayCastFloat32);
    for (int z = 12; z < 20; ++z)
        for (int y = 12; y < 20; ++y)
            for (int x = 12; x < 20; ++x) v.at(x, y, z) = 4.f;
    const auto map = colourMap({0, 0, 0}, {0, 0, 0});
    std::vector<uint8_t> grey(768);
    for (int i = 0; i < 768; ++i) grey[i] = static_cast<uint8_t>(i / 3);
    RayCastContext ctx;
    ASSERT_TRUE(ctx.setVolume(&v.desc));
    ctx.setRenderMode(3);
    ctx.setWindow(5, 2.5f);
    ctx.setColorMap(grey.data());
    ctx.setCamera(camera(32, 32, 1.f, Vec3(15.5f, 15.5f, 15.5f), kSixViews[0]), false);
    ctx.render();
    EXPECT_EQ(ctx.getGrid()->kind(), 2);
    EXPECT_GE(pixel(ctx, 16, 16)[0], 200);   // 4 of 5 -> about 204
    EXPECT_EQ(pixel(ctx, 2, 2)[0], 2);       // 0.05 of 5 -> index 2

    // The same float volume in a composite mode reads a rounded 16-bit copy.
    ctx.setRenderMode(0);
    ctx.setImageScale(1.f);
    ctx.render();
    EXPECT_EQ(ctx.getGrid()->kind(), 1);
    EXPECT_GT(pixel(ctx, 16, 16)[0], 0);
}

TEST_F(RayCastTest, EmptySpaceSkippingChangesNoPixel)
{
    // Smooth, and with noise: skipped blocks then border on blocks whose
    // values come close to the window or to the maximum so far.
    vrdebug::Phantom phantoms[2];
    vrdebug::makeCtPhantom(phantoms[0], 70, 64, 60, 1.f, 1.2f, 1.5f);
    vrdebug::makeCtPhantom(phantoms[1], 70, 64, 60, 1.f, 1.2f, 1.5f);
    vrdebug::addNoise(phantoms[1], 20, 7);
    const auto map = vrdebug::warmColourMap();
    struct Case {
        int phantom, mode, interpolation;
        float width, level;
    } cases[] = {
        {0, 0, 0, 1000, 700}, {0, 0, 1, 1000, 700}, {0, 0, 1, 3000, 1500}, {0, 0, 1, 2, -199},
        {0, 1, 1, 1000, 700}, {0, 2, 1, 1000, 700}, {0, 1, 0, 3000, 1500},
        {0, 3, 1, 2400, 700}, {0, 3, 1, 100, 1250}, {0, 3, 1, 100, 3000},
        {1, 0, 1, 3000, 1500}, {1, 0, 1, 100, 60}, {1, 3, 1, 2400, 700},
    };
    const View oblique = {Vec3(0.6f, 0.48f, 0.64f), Vec3(0, 0, 1)};
    for (const auto& c : cases) {
        const vrdebug::Phantom& ph = phantoms[c.phantom];
        const std::vector<View> views = c.phantom == 0
                                            ? std::vector<View>{kSixViews[0], kSixViews[3], kSixViews[4], oblique}
                                            : std::vector<View>{kSixViews[3], oblique};
        for (const View& view : views) {
            for (bool persp : {false, true}) {
                std::vector<uint8_t> images[2];
                for (int skip = 0; skip < 2; ++skip) {
                    RayCastContext ctx;
                    ctx.setVolume(&ph.volume);
                    ctx.setRenderMode(c.mode);
                    ctx.setInterpolation(c.interpolation);
                    ctx.setWindow(c.width, c.level);
                    ctx.setColorMap(map.data());
                    ctx.setEmptySpaceSkipping(skip == 1);
                    ctx.setWorkerLimit(2);   // two hundred contexts: few threads each
                    ctx.setCamera(camera(40, 34, 2.4f, Vec3(35, 38, 45), view, persp, 120.f), false);
                    ctx.render();
                    images[skip].assign(ctx.getImageBuffer(), ctx.getImageBuffer() + 40 * 34 * 3);
                }
                EXPECT_EQ(images[0], images[1]) << "mode " << c.mode << " window " << c.width << "/" << c.level
                                                << " perspective " << persp << " phantom " << c.phantom;
            }
        }
    }
}

TEST_F(RayCastTest, PhantomRendersFromSixDirections)
{
    // A CT phantom seen from the six axis directions in composite and MIP;
    // tools/vrdebug writes the same views as PNG files for a person to look at.
    vrdebug::Phantom ph;
    vrdebug::makeCtPhantom(ph, 96, 96, 80, 1.f, 1.f, 1.25f);
    const auto map = vrdebug::warmColourMap();
    for (int mode : {0, 3}) {
        for (const View& view : kSixViews) {
            RayCastContext ctx;
            ASSERT_TRUE(ctx.setVolume(&ph.volume));
            ctx.setRenderMode(mode);
            if (mode == 0)
                ctx.setWindow(1400, 500);
            else
                ctx.setWindow(2200, 600);
            ctx.setColorMap(map.data());
            ctx.setCamera(camera(128, 128, 1.f, Vec3(47.5f, 47.5f, 49.4f), view), false);
            ctx.render();
            int lit = 0;
            for (int r = 0; r < 128; ++r)
                for (int c = 0; c < 128; ++c) lit += pixel(ctx, c, r)[0] > 60;
            EXPECT_GT(lit, 200) << "mode " << mode;
            EXPECT_EQ(pixel(ctx, 0, 0), (std::array<uint8_t, 3>{0, 0, 0}));
        }
    }
}

// Volume rendering yields the cores: a thread that asks for the background
// runs at a lower priority from then on, and only that thread.
TEST(RayCastThreads, BackgroundPriorityIsTheCallingThreadsOnly)
{
    auto niceOf = [] { return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))); };
    const int mine = niceOf();
    int inside = mine, again = mine;
    std::thread worker([&] {
        runAsBackgroundThread();
        inside = niceOf();
        runAsBackgroundThread();
        again = niceOf();
    });
    worker.join();
    EXPECT_GE(inside, 10);
    EXPECT_EQ(again, inside);
    EXPECT_EQ(niceOf(), mine) << "the caller's own priority stays";
}
