// Render window: camera fitting, conversions, flags, posts, the relay rule
// and the mouse through the engine's event path, headless.
#include <gtest/gtest.h>

#include <cmath>

#include "test_window.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "view_support.h"

using namespace viewtest;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;
using cocos2d::Vec4;

namespace {

class RenderWindowTest : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  Recorder rec;
  TestWindow* make(Vec2 position, Size size) {
    auto* w = TestWindow::create(size);
    engine.scene->addChild(w);
    w->setPosition(position);
    return w;
  }
  cocos2d::GLView* view() { return cocos2d::Director::getInstance()->getOpenGLView(); }
};

TEST_F(RenderWindowTest, AdditionalProjectionMapsTheWindowSquareOntoItsRectangle) {
  struct Case {
    Vec2 position;
    Size size;
  };
  for (const Case& c : {Case{Vec2(0, 0), Size(400, 300)}, Case{Vec2(400, 300), Size(400, 300)},
                        Case{Vec2(123, 45), Size(222, 111)}}) {
    auto* w = make(c.position, c.size);
    const cocos2d::Mat4 extra = w->getSceneCamera()->getAdditionalProjection();
    for (auto [nx, ny] : {std::pair{-1.0f, -1.0f}, std::pair{1.0f, 1.0f}, std::pair{-1.0f, 1.0f}}) {
      const Vec4 p = extra * Vec4(nx, ny, 0.0f, 1.0f);
      const float sx = (p.x / p.w + 1.0f) * 0.5f * 800.0f;
      const float sy = (p.y / p.w + 1.0f) * 0.5f * 600.0f;
      EXPECT_NEAR(sx, c.position.x + (nx + 1.0f) * 0.5f * c.size.width, 1e-3f);
      EXPECT_NEAR(sy, c.position.y + (ny + 1.0f) * 0.5f * c.size.height, 1e-3f);
    }
    EXPECT_EQ(w->getVisitCamera()->getAdditionalProjection(), extra);
  }
}

TEST_F(RenderWindowTest, TinyWindowsNeitherRefitNorPostUnlessBelowOnePoint) {
  auto* w = make(Vec2(10, 10), Size(200, 100));
  stepFrames(3);
  rec.listen({NOTIFY_VIEW_GEOMETRY}, nullptr);
  struct Case {
    Size size;
    bool refit;
    int posts;  // after setContentSize then setPosition
  };
  const Case cases[] = {
      {Size(1, 100), false, 0},
      {Size(100, 1), false, 0},
      {Size(0.5f, 100), false, 1},
      {Size(50, 40), true, 2},
  };
  for (const Case& c : cases) {
    rec.got.clear();
    w->getSceneCamera()->setProjection(60, 7, 7, 100, 5000);
    w->setContentSize(c.size);
    w->setPosition(Vec2(20, 20));
    stepFrames(4);
    EXPECT_EQ(w->getSceneCamera()->getWidth() == c.size.width, c.refit) << c.size.width << "x" << c.size.height;
    EXPECT_EQ(static_cast<int>(rec.of(NOTIFY_VIEW_GEOMETRY).size()), c.posts) << c.size.width << "x" << c.size.height;
  }
}

TEST_F(RenderWindowTest, ConversionsAreWindowLocalAndTopLeftIsTheTopLeftCorner) {
  auto* w = make(Vec2(400, 300), Size(400, 300));
  w->setCameraPosition(Vec3(0, 0, -1000));
  w->setCameraLookAt(Vec3(0, 0, 0), Vec3(0, -1, 0));
  w->setZoom(0.5f);
  const Vec2 centre = w->worldToScreen(Vec3(0, 0, 0));
  EXPECT_NEAR(centre.x, 200.0f, 1e-3f);
  EXPECT_NEAR(centre.y, 150.0f, 1e-3f);
  const isImageSDK::CameraState s = w->getCameraState();
  // Half a zoom unit per pixel: 10 world units right is 20 pixels right.
  const Vec2 right = w->worldToScreen(s.rightAxis * 10.0f);
  EXPECT_NEAR(right.x - centre.x, 20.0f, 1e-3f);
  // Round trip at the target's depth.
  Vec3 screen;
  w->getSceneCamera()->worldToScreen(Vec3(12, -7, 0), &screen);
  Vec3 back;
  w->getSceneCamera()->screenToWorld(screen, &back);
  EXPECT_NEAR(back.distance(Vec3(12, -7, 0)), 0.0f, 1e-3f);
  // (0, content height) is the top-left corner: up is screen-up.
  Vec3 topLeft;
  w->getSceneCamera()->screenToWorld(Vec3(0, 300, screen.z), &topLeft);
  const Vec3 expected = s.rightAxis * (-100.0f) + s.up * 75.0f;
  EXPECT_NEAR(topLeft.distance(expected), 0.0f, 1e-2f);
  // A touch in GL view coordinates goes into the window first.
  Vec3 origin, direction;
  w->getPickRay(Vec2(600, 450), &origin, &direction);
  EXPECT_NEAR(direction.distance(s.viewDirection), 0.0f, 1e-4f);
  EXPECT_NEAR((origin - s.viewDirection * origin.dot(s.viewDirection)).length(), 0.0f, 1e-2f);
}

TEST_F(RenderWindowTest, TwoWindowsTakeConsecutiveCameraFlags) {
  auto* a = TestWindow::create(Size(100, 100));
  auto* b = TestWindow::create(Size(100, 100));
  auto* loose = TestWindow::create(Size(100, 100));
  loose->retain();
  loose->onEnter();  // outside a scene: flags stay 1
  EXPECT_EQ(loose->getSceneCamera()->getCameraFlag(), 1);
  loose->onExit();
  engine.scene->addChild(a);
  engine.scene->addChild(b);
  EXPECT_EQ(a->getSceneCamera()->getCameraFlag(), 2);
  EXPECT_EQ(a->getVisitCamera()->getCameraFlag(), 3);
  EXPECT_EQ(b->getSceneCamera()->getCameraFlag(), 4);
  EXPECT_EQ(b->getVisitCamera()->getCameraFlag(), 5);
  // Scene nodes carry the scene camera's flag, not the default one.
  cocos2d::Node* node = cocos2d::Node::create();
  a->addVisitNode(node);
  a->removeFromParent();
  engine.scene->addChild(a);  // flags are kept
  EXPECT_EQ(a->getSceneCamera()->getCameraFlag(), 2);
  loose->cleanup();  // breaks the window's hold through its actor manager
  loose->release();
}

TEST_F(RenderWindowTest, OneDrawnPostPerFrameAndOneCameraMovePending) {
  auto* w = make(Vec2(0, 0), Size(200, 200));
  rec.listen({NOTIFY_WINDOW_DRAWN, NOTIFY_CAMERA_CHANGED}, w);
  stepFrames(3);
  rec.got.clear();
  // Three camera passes a frame (default, scene, visit), one post a frame.
  stepFrames(10);
  auto drawn = rec.of(NOTIFY_WINDOW_DRAWN);
  EXPECT_GE(drawn.size(), 9u);
  EXPECT_LE(drawn.size(), 10u);
  for (size_t i = 1; i < drawn.size(); ++i) EXPECT_NE(drawn[i].frame, drawn[i - 1].frame);
  rec.got.clear();
  w->zoomBy(1.1f);
  w->zoomBy(1.1f);
  w->zoomBy(1.1f);
  w->zoomBy(0.0f);
  w->zoomBy(-2.0f);
  w->zoomBy(INFINITY);
  w->setZoomRatio(0.0f);
  stepFrames(5);
  EXPECT_EQ(rec.of(NOTIFY_CAMERA_CHANGED).size(), 1u);
  EXPECT_NEAR(w->getZoomRatio(), 1.331f, 1e-4f);
  EXPECT_TRUE(std::isfinite(w->getSceneCamera()->getZoom()));
}

TEST_F(RenderWindowTest, BackgroundFollowsFocusAndCoversTheWindow) {
  auto* w = make(Vec2(0, 0), Size(300, 200));
  w->setCameraPosition(Vec3(0, 0, -1000));
  w->setCameraLookAt(Vec3(0, 0, 0), Vec3(0, -1, 0));
  auto* bg = w->getBackgroundSprite();
  auto* black = bg->getTexture();
  w->setFocused(false);
  EXPECT_EQ(bg->getTexture(), black);
  w->setFocused(true);
  EXPECT_NE(bg->getTexture(), black);
  for (float ratio : {0.1f, 1.0f, 10.0f}) {
    w->setZoomRatio(ratio);
    // The sprite's four corners on screen enclose the window.
    const cocos2d::Mat4 t = bg->getNodeToParentTransform();
    const Size s = bg->getContentSize();
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (auto [x, y] : {std::pair{0.0f, 0.0f}, std::pair{s.width, 0.0f}, std::pair{0.0f, s.height},
                        std::pair{s.width, s.height}}) {
      const Vec2 p = w->worldToScreen(t.transformPoint(Vec3(x, y, 0)));
      minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
      minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    EXPECT_LE(minX, 0.5f) << ratio;
    EXPECT_GE(maxX, 299.5f) << ratio;
    EXPECT_LE(minY, 0.5f) << ratio;
    EXPECT_GE(maxY, 199.5f) << ratio;
  }
  w->setVisible(false);
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->isContentVisible());
}

TEST_F(RenderWindowTest, RelayRuleOfTheCameraIds) {
  auto* w = make(Vec2(0, 0), Size(200, 200));
  w->setCameraPosition(Vec3(0, 0, -1000));
  w->setCameraLookAt(Vec3(0, 0, 0), Vec3(0, -1, 0));
  struct Relay : cocos2d::Ref {};
  auto* relayTarget = new Relay();
  Recorder atRelay;
  atRelay.listen({NOTIFY_VIEW_SYNC, NOTIFY_SYNC_PAN, NOTIFY_SYNC_ZOOM, NOTIFY_FOCUS_REQUEST}, relayTarget);
  rec.listen({NOTIFY_CAMERA_CHANGED}, w);
  auto data = [](float f, const char* text) {
    auto* d = new NSUI::NSNotificationData();
    d->floatValue = f;
    d->text = text;
    d->autorelease();
    return d;
  };
  struct Case {
    int id;
    bool withRelay;
    bool fromRelay;
    bool relayed;
    float zoomRatio;  // expected afterwards (from 1)
    bool moved;       // camera eye moved
  };
  const Case cases[] = {
      {NOTIFY_VIEW_SYNC, true, false, true, 1.0f, false},
      {NOTIFY_VIEW_SYNC, true, true, false, 1.0f, false},
      {NOTIFY_SYNC_ZOOM, false, false, false, 1.0f, false},
      {NOTIFY_SYNC_ZOOM, true, false, true, 1.0f, false},
      {NOTIFY_SYNC_ZOOM, true, true, false, 2.0f, false},
      {NOTIFY_SYNC_PAN, false, false, false, 1.0f, false},
      {NOTIFY_SYNC_PAN, true, false, true, 1.0f, false},
      {NOTIFY_SYNC_PAN, true, true, false, 1.0f, true},
      {NOTIFY_ZOOM_STEP, false, false, false, 2.0f, false},
      {NOTIFY_PINCH_ZOOM, true, false, false, 2.0f, false},
      {NOTIFY_DRAG_PAN, false, false, false, 1.0f, true},
      {NOTIFY_FOCUS_REQUEST, true, false, true, 1.0f, false},
      {NOTIFY_FOCUS_REQUEST, false, false, false, 1.0f, false},
  };
  for (const Case& c : cases) {
    w->setCameraPosition(Vec3(0, 0, -1000));
    w->setCameraLookAt(Vec3(0, 0, 0), Vec3(0, -1, 0));
    w->setZoomRatio(1.0f);
    w->setRelayTarget(c.withRelay ? relayTarget : nullptr);
    atRelay.got.clear();
    const Vec3 eye = w->getCameraState().eye;
    w->onNotification(c.id, data(2.0f, "{\"x\":\"10.0000\",\"y\":\"5.0000\"}"), c.fromRelay ? static_cast<cocos2d::Ref*>(relayTarget) : static_cast<cocos2d::Ref*>(w));
    stepFrames(3);
    EXPECT_EQ(!atRelay.of(c.id).empty(), c.relayed) << c.id << " " << c.withRelay << c.fromRelay;
    if (c.relayed) {
      EXPECT_EQ(atRelay.of(c.id).front().sender, w);
    }
    EXPECT_NEAR(w->getZoomRatio(), c.zoomRatio, 1e-4f) << c.id;
    EXPECT_EQ(w->getCameraState().eye.distance(eye) > 1.0f, c.moved) << c.id;
  }
  // A pan of (10, 5) points moves the camera 10 to the right and 5 down.
  w->setRelayTarget(nullptr);
  w->setCameraPosition(Vec3(0, 0, -1000));
  w->setCameraLookAt(Vec3(0, 0, 0), Vec3(0, -1, 0));
  const isImageSDK::CameraState s = w->getCameraState();
  w->panBy(10.0f, 5.0f);
  const Vec3 moved = w->getCameraTarget() - s.target;
  EXPECT_NEAR(moved.distance(s.rightAxis * 10.0f - s.up * 5.0f), 0.0f, 1e-3f);
  relayTarget->release();
}

TEST_F(RenderWindowTest, MouseThroughTheEventPath) {
  auto* w = make(Vec2(100, 100), Size(400, 300));
  w->setCameraPosition(Vec3(0, 0, -1000));
  w->setCameraLookAt(Vec3(0, 0, 0), Vec3(0, -1, 0));
  struct Relay : cocos2d::Ref {};
  auto* relayTarget = new Relay();
  w->setRelayTarget(relayTarget);
  Recorder atRelay;
  atRelay.listen({NOTIFY_SYNC_PAN, NOTIFY_SYNC_ZOOM}, relayTarget);
  stepFrames(1);

  // Wheel: away from the user is the next slice.
  view()->injectScroll(300, 250, -1);
  view()->injectScroll(300, 250, 1);
  view()->injectScroll(300, 250, 0);
  view()->injectScroll(50, 50, -1);  // outside the window
  stepFrames(1);
  EXPECT_EQ(w->commands, (std::vector<unsigned>{NOTIFY_SLICE_NEXT, NOTIFY_SLICE_PREVIOUS}));

  // Right drag: vertical steps zoom, horizontal ones do not.
  w->commands.clear();
  view()->injectMouseDown(300, 250, 1);
  view()->injectMouseMove(300, 260, 1);
  view()->injectMouseMove(300, 270, 1);
  view()->injectMouseMove(340, 271, 1);
  view()->injectMouseMove(340, 265, 1);
  view()->injectMouseUp(340, 265, 1);
  stepFrames(3);
  EXPECT_NEAR(w->getZoomRatio(), 1.05f * 1.05f * 0.95f, 1e-4f);
  ASSERT_EQ(atRelay.of(NOTIFY_SYNC_ZOOM).size(), 1u);
  EXPECT_NEAR(atRelay.of(NOTIFY_SYNC_ZOOM)[0].floatValue, 1.05f * 1.05f * 0.95f, 1e-4f);

  // Up then down: 1.05 × 0.95 still differs from 1 by more than 0.001.
  atRelay.got.clear();
  view()->injectMouseDown(300, 250, 1);
  view()->injectMouseMove(300, 260, 1);
  view()->injectMouseMove(300, 250, 1);
  view()->injectMouseUp(300, 250, 1);
  stepFrames(3);
  EXPECT_EQ(atRelay.of(NOTIFY_SYNC_ZOOM).size(), 1u);

  // The ratio limit refuses steps beyond 10 but allows the way back.
  w->setZoomRatio(10.5f);
  view()->injectMouseDown(300, 250, 1);
  view()->injectMouseMove(300, 260, 1);
  EXPECT_NEAR(w->getZoomRatio(), 10.5f, 1e-3f);
  view()->injectMouseMove(300, 250, 1);
  EXPECT_NEAR(w->getZoomRatio(), 10.5f * 0.95f, 1e-3f);
  view()->injectMouseUp(300, 250, 1);
  w->setZoomRatio(1.0f);

  // Middle drag pans with the pointer through the test pick.
  atRelay.got.clear();
  const isImageSDK::CameraState s = w->getCameraState();
  const Vec2 before = w->worldToScreen(Vec3(0, 0, 0));
  view()->injectMouseDown(300, 250, 2);
  view()->injectMouseMove(310, 250, 2);
  view()->injectMouseMove(320, 240, 2);
  view()->injectMouseUp(320, 240, 2);
  stepFrames(3);
  const Vec2 after = w->worldToScreen(Vec3(0, 0, 0));
  EXPECT_NEAR(after.x - before.x, 20.0f, 1e-2f);
  EXPECT_NEAR(after.y - before.y, -10.0f, 1e-2f);
  ASSERT_EQ(atRelay.of(NOTIFY_SYNC_PAN).size(), 1u);
  EXPECT_EQ(NSUI::UIJson::getJsonString(atRelay.of(NOTIFY_SYNC_PAN)[0].text, "x"), "-20.0000");
  EXPECT_EQ(NSUI::UIJson::getJsonString(atRelay.of(NOTIFY_SYNC_PAN)[0].text, "y"), "-10.0000");
  (void)s;
  relayTarget->release();
}

TEST_F(RenderWindowTest, OrientationLettersAndPlaneIndexes) {
  auto* w = make(Vec2(0, 0), Size(256, 256));
  rec.listen({NOTIFY_OVERLAY_EDGE_LETTERS}, w);
  w->updateOrientationLabels();
  stepFrames(2);
  EXPECT_TRUE(rec.got.empty());  // no data, no letters
  auto* image = makePhantomImage(32, 32, 20, 1, 1, 2);
  w->show(image);
  stepFrames(2);
  auto letters = rec.of(NOTIFY_OVERLAY_EDGE_LETTERS);
  ASSERT_FALSE(letters.empty());
  const auto& last = letters.back();
  // Axial, seen from the feet: anterior up, the patient's left on the right.
  EXPECT_EQ(rec.json(last, "t"), "A");
  EXPECT_EQ(rec.json(last, "r"), "L");
  EXPECT_EQ(rec.json(last, "b"), "P");
  EXPECT_EQ(rec.json(last, "l"), "R");
  EXPECT_EQ(w->planeIndexForView(0), 0);
  EXPECT_EQ(w->planeIndexForView(1), 1);
  EXPECT_EQ(w->planeIndexForView(2), 2);
  // The same data keeps the actor; other data starts afresh.
  w->setImageData(image);
  EXPECT_EQ(w->getActorManager()->getImageActor()->getImageData(), image);
  w->setImageData(nullptr);
  EXPECT_EQ(w->getActorManager()->getImageActor()->getImageData(), nullptr);
  image->release();
}

}  // namespace
