#include <gtest/gtest.h>

#include <cmath>

#include "engine/base/AutoreleasePool.h"
#include "imaging/core/isCamera.h"

using cocos2d::Vec3;
using namespace isImageSDK;

namespace {

void expectNear(const Vec3& a, const Vec3& b, float tol)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

class CameraTest : public testing::Test {
protected:
    cocos2d::AutoreleasePool pool;
};

}  // namespace

TEST_F(CameraTest, FreshCamera)
{
    isCamera* c = isCamera::create();
    ASSERT_NE(c, nullptr);
    const CameraState& s = c->getCameraState();
    expectNear(s.eye, Vec3(0, 0, -1), 0);
    expectNear(s.target, Vec3(0, 0, 0), 0);
    expectNear(s.up, Vec3(0, -1, 0), 0);
    expectNear(s.viewDirection, Vec3(0, 0, 1), 1e-7f);
    expectNear(s.rightAxis, Vec3(1, 0, 0), 1e-7f);
    EXPECT_FLOAT_EQ(s.distance, 1.f);
    EXPECT_FLOAT_EQ(s.zoom, 1.f);
    EXPECT_FALSE(c->perspective);
    EXPECT_TRUE(c->changed);
    EXPECT_FLOAT_EQ(c->getFOV(), 60.f);
    EXPECT_FLOAT_EQ(c->getNearPlane(), 1.f);
    EXPECT_FLOAT_EQ(c->getFarPlane(), 1000.f);
    EXPECT_FLOAT_EQ(c->getWidth(), 1.f);
    EXPECT_FLOAT_EQ(c->getHeight(), 1.f);
    expectNear(c->getFrameUpVector(), Vec3(0, -1, 0), 1e-7f);
}

TEST_F(CameraTest, ProjectUnprojectRoundTrips)
{
    struct Case {
        bool perspective;
        float width, height, zoom;
        Vec3 eye, target, up;
    } cases[] = {
        {false, 400, 300, 1.0f, {0, 0, -500}, {0, 0, 0}, {0, -1, 0}},
        {false, 512, 512, 0.37f, {120, 80, 900}, {100, 90, 60}, {0, 1, 0}},
        {false, 97, 211, 3.5f, {-300, 400, 20}, {5, -5, 5}, {0, 0, 1}},
        {true, 400, 300, 1.0f, {0, 0, -500}, {0, 0, 0}, {0, -1, 0}},
        {true, 640, 480, 1.0f, {250, -250, 300}, {10, 20, 30}, {0, 0, 1}},
    };
    const Vec3 points[] = {{0, 0, 0}, {10, -20, 30}, {-40, 15, 5}, {90, 90, -90}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "perspective " << c.perspective << " " << c.width << "x" << c.height);
        isCamera* cam = isCamera::create();
        cam->perspective = c.perspective;
        cam->setProjection(45, c.width, c.height, 1, 2000);
        cam->setZoom(c.zoom);
        cam->setPosition3D(c.eye);
        cam->lookAt(c.target, c.up);
        for (const Vec3& p : points) {
            Vec3 s, back;
            cam->worldToScreen(p, &s);
            EXPECT_GE(s.z, 0.f);
            EXPECT_LE(s.z, 1.f);
            cam->screenToWorld(s, &back);
            expectNear(back, p, 0.02f);
        }
        // The viewport centre lies on the viewing axis.
        Vec3 centre;
        cam->screenToWorld(Vec3(c.width * 0.5f, c.height * 0.5f, 0.3f), &centre);
        Vec3 toCentre = centre - cam->getPosition3D();
        Vec3 dir = cam->getViewDirection();
        Vec3 off = toCentre - dir * toCentre.dot(dir);
        EXPECT_LT(off.length(), 0.01f);
        // The screen ray of a projected point passes through it.
        Vec3 s, origin, direction;
        cam->worldToScreen(points[1], &s);
        cam->screenRay(cocos2d::Vec2(s.x, s.y), &origin, &direction);
        Vec3 rel = points[1] - origin;
        EXPECT_LT((rel - direction * rel.dot(direction)).length(), 0.02f);
    }
}

TEST_F(CameraTest, BottomLeftPixelAndZoom)
{
    isCamera* cam = isCamera::create();
    cam->setProjection(60, 400, 200, 1, 1000);
    cam->setPosition3D(Vec3(0, 0, 500));
    cam->lookAt(Vec3(0, 0, 0), Vec3(0, 1, 0));   // right = +x, up = +y
    Vec3 corner;
    cam->screenToWorld(Vec3(0, 0, 0.5f), &corner);
    EXPECT_NEAR(corner.x, -200.f, 1e-3f);
    EXPECT_NEAR(corner.y, -100.f, 1e-3f);
    EXPECT_NEAR(cam->worldToView(corner).z, -500.5f, 1e-2f);

    cam->changed = false;
    cam->setZoom(2.f);
    EXPECT_TRUE(cam->changed);
    cam->screenToWorld(Vec3(0, 0, 0.5f), &corner);
    EXPECT_NEAR(corner.x, -400.f, 1e-3f);
    EXPECT_NEAR(corner.y, -200.f, 1e-3f);
    Vec3 top;
    cam->screenToWorld(Vec3(400, 200, 0.5f), &top);
    EXPECT_NEAR(top.x, 400.f, 1e-3f);
    EXPECT_NEAR(top.y, 200.f, 1e-3f);
}

TEST_F(CameraTest, FitZoomToRectangle)
{
    struct Case {
        float width, height;
        float rx, ry;   // rectangle size, in the plane facing the camera
        bool perspective;
        double zoom;
    } cases[] = {
        {400, 400, 200, 100, false, 0.5},
        {400, 400, 100, 200, false, 0.5},
        {400, 200, 100, 200, false, 1.0},
        {400, 200, 800, 100, false, 2.0},
        {400, 400, 0, 0, false, 1.0},       // all corners on one point
        {400, 400, 300, 0.4f, false, 1.0},  // thinner than half a unit
        {400, 400, 200, 100, true, 1.0},    // perspective cameras do not zoom
    };
    for (const auto& c : cases) {
        isCamera* cam = isCamera::create();
        cam->perspective = c.perspective;
        cam->setProjection(60, c.width, c.height, 1, 1000);
        cam->setPosition3D(Vec3(10, 20, 500));
        cam->lookAt(Vec3(10, 20, 0), Vec3(0, 1, 0));
        const float x0 = 10 - c.rx / 2, x1 = 10 + c.rx / 2, y0 = 20 - c.ry / 2, y1 = 20 + c.ry / 2;
        const float corners[12] = {x0, y0, 0, x1, y0, 0, x1, y1, 0, x0, y1, 0};
        EXPECT_NEAR(cam->computeFitZoom(corners), c.zoom, 1e-4) << c.width << "x" << c.height << " " << c.rx
                                                                  << "x" << c.ry;
    }
}

TEST_F(CameraTest, FitDistance)
{
    isCamera* ortho = isCamera::create();
    ortho->setProjection(60, 400, 400, 1, 1000);
    const float any[12] = {0, 0, 0, 500, 0, 0, 500, 300, 0, 0, 300, 0};
    EXPECT_DOUBLE_EQ(ortho->computeFitDistance(any), 500.5);

    struct Case {
        float size;
        double expected;   // < 0: the unclamped formula
    } cases[] = {{100.f, -1}, {4000.f, 999.0}, {0.5f, 2.0}};
    for (const auto& c : cases) {
        isCamera* cam = isCamera::create();
        cam->perspective = true;
        cam->setProjection(60, 400, 400, 1, 1000);
        cam->setPosition3D(Vec3(0, 0, 500));
        cam->lookAt(Vec3(0, 0, 0), Vec3(0, 1, 0));
        const float h = c.size / 2;
        const float corners[12] = {-h, -h, 0, h, -h, 0, h, h, 0, -h, h, 0};
        double expected = c.expected >= 0 ? c.expected : h / std::tan(30.0 / 180.0 * 3.1415925f);
        EXPECT_NEAR(cam->computeFitDistance(corners), expected, 1e-2) << c.size;
    }
}

TEST_F(CameraTest, MovingTheEyeKeepsTheTarget)
{
    isCamera* cam = isCamera::create();
    cam->setPosition3D(Vec3(0, 0, -100));
    cam->lookAt(Vec3(5, 5, 5), Vec3(0, 1, 0));
    cam->setEyePosition(Vec3(100, 5, 5));
    expectNear(cam->getViewDirection(), Vec3(-1, 0, 0), 1e-6f);
    EXPECT_FLOAT_EQ(cam->getCameraState().distance, 95.f);
    expectNear(cam->getTarget(), Vec3(5, 5, 5), 0);

    Vec3 onPlane = cam->projectToTargetPlane(Vec3(40, -7, 9));
    expectNear(onPlane, Vec3(5, -7, 9), 1e-5f);

    // The view matrix maps the eye to the origin and the target onto -z.
    Vec3 t = cam->getViewMatrix().transformPoint(Vec3(5, 5, 5));
    expectNear(t, Vec3(0, 0, -95), 1e-4f);
}

// The imaging camera is an engine camera: the engine's projection, view and
// view-projection agree with the imaging conversions, for both view builds.
TEST_F(CameraTest, EngineMatricesAgreeWithConversions)
{
    for (bool lookAtView : {false, true}) {
        for (bool perspective : {false, true}) {
            isCamera* cam = isCamera::create();
            cocos2d::Camera* engine = cam;
            cam->perspective = perspective;
            cam->lookAtView = lookAtView;
            cam->setProjection(45, 320, 200, 2, 3000);
            cam->setZoom(0.8f);
            cam->setEyePosition(Vec3(300, -200, 400));
            cam->lookAt(Vec3(10, 20, 30), Vec3(0, 0, 1));
            SCOPED_TRACE(testing::Message() << "lookAtView " << lookAtView << " perspective " << perspective);

            EXPECT_EQ(engine->getType(), perspective ? cocos2d::Camera::Type::PERSPECTIVE
                                                     : cocos2d::Camera::Type::ORTHOGRAPHIC);
            EXPECT_FLOAT_EQ(engine->getNearPlane(), 2.f);
            EXPECT_FLOAT_EQ(engine->getFarPlane(), 3000.f);
            if (perspective) {
                EXPECT_FLOAT_EQ(engine->getFOV(), 45.f);
                EXPECT_FLOAT_EQ(engine->getAspectRatio(), 1.6f);
            }
            expectNear(engine->getPosition3D(), Vec3(300, -200, 400), 0);

            // The engine's view-projection takes a world point to the same
            // normalised coordinates as worldToScreen.
            const Vec3 world(40, -15, 70);
            cocos2d::Vec4 clip(world.x, world.y, world.z, 1);
            engine->getViewProjectionMatrix().transformVector(&clip);
            Vec3 screen;
            cam->worldToScreen(world, &screen);
            EXPECT_NEAR((clip.x / clip.w + 1) * 0.5f * 320, screen.x, 1e-2f);
            EXPECT_NEAR((clip.y / clip.w + 1) * 0.5f * 200, screen.y, 1e-2f);

            // The view is the inverse of the node's transform (the look-at frame).
            cocos2d::Mat4 product = cam->getViewMatrix() * cam->getNodeToParentTransform();
            for (int i = 0; i < 16; ++i) EXPECT_NEAR(product.m[i], (i % 5 == 0) ? 1.f : 0.f, 1e-4f) << i;
        }
    }
}

// The node's additional transform enters the transform, the view and the
// conversions.
TEST_F(CameraTest, AdditionalTransformMovesTheFrame)
{
    isCamera* cam = isCamera::create();
    cam->setProjection(60, 100, 100, 1, 1000);
    cam->setEyePosition(Vec3(0, 0, -100));
    cocos2d::Mat4 shift;
    cocos2d::Mat4::createTranslation(10, 0, 0, &shift);
    cam->setAdditionalTransform(&shift);
    const cocos2d::Mat4& t = cam->getNodeToParentTransform();
    // Camera x is world x here (up (0, -1, 0), looking along +z).
    expectNear(Vec3(t.m[12], t.m[13], t.m[14]), Vec3(10, 0, -100), 1e-5f);
    expectNear(cam->worldToView(Vec3(10, 0, 0)), Vec3(0, 0, -100), 1e-4f);
    cam->setAdditionalTransform(nullptr);
    expectNear(cam->worldToView(Vec3(0, 0, 0)), Vec3(0, 0, -100), 1e-4f);
}
