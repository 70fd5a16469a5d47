// Reference lines, frame and active marker: colours per plane, the open gap
// around the cross point, the cross-position payload, the auto-hide timer
// and what the line node queues, headless.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isActorManager.h"
#include "imaging/view/isNodeLine.h"
#include "test_window.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "view_support.h"

using namespace viewtest;
using cocos2d::Color4B;
using cocos2d::Color4F;
using cocos2d::Size;
using cocos2d::Vec3;
using isImageSDK::isActorCrossLine;
using isImageSDK::isNodeLine;

namespace {

class CrossLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = TestWindow::create(Size(200, 200));
    engine.scene->addChild(window);
    window->setCameraPosition(Vec3(0, 0, -1000));
    window->setCameraLookAt(Vec3(0, 0, 0), Vec3(0, -1, 0));
    window->setZoom(1.0f);
    actor = window->getActorManager()->getCrossLineActor();
    ASSERT_NE(actor, nullptr);
  }
  void postCross(const std::string& text) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, NOTIFY_CROSS_POSITION, text,
                                                                    window, false);
  }
  void postCameraMoved() {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, NOTIFY_CAMERA_CHANGED, "", window,
                                                                    false);
  }
  // Axis x, axis y, cross point (10, 20, 5).
  static std::string crossText() {
    return R"({"nx1":1,"nx2":0,"nx3":0,"ny1":0,"ny2":1,"ny3":0,"nz1":0,"nz2":0,"nz3":1,"x":10,"y":20,"z":5})";
  }
  static Color4B bytes(const isNodeLine::Vertex& v) { return Color4B(v.r, v.g, v.b, v.a); }
  static Vec3 at(const isNodeLine::Vertex& v) { return Vec3(v.x, v.y, v.z); }

  HeadlessEngine engine;
  TestWindow* window = nullptr;
  isActorCrossLine* actor = nullptr;
};

TEST_F(CrossLineTest, LinesTakeTheOtherPlanesColoursAndStayOpenAroundThePoint) {
  struct Case {
    int index;
    float zoom;  // world units per pixel
    Color4F first, second;
    float gap;
  };
  const Case cases[] = {
      {0, 1.0f, Color4F::BLUE, Color4F::ORANGE, 30.0f},
      {1, 0.5f, Color4F::BLUE, Color4F::MAGENTA, 15.0f},
      {2, 2.0f, Color4F::ORANGE, Color4F::MAGENTA, 60.0f},
      {0, 0.01f, Color4F::BLUE, Color4F::ORANGE, 2.0f},  // zoomed far in: never below 2
  };
  window->getActorManager()->showCrossLines();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    actor->setFrameColorIndex(c.index);
    window->setZoom(c.zoom);
    postCross(crossText());
    stepFrames(2);
    isNodeLine* node = actor->getLineNode();
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->vertices.size(), 8u);
    EXPECT_TRUE(node->isVisible());
    EXPECT_FALSE(actor->isDirty());
    const Vec3 p(10, 20, 5);
    const Vec3 ends[8] = {p + Vec3(c.gap, 0, 0), p + Vec3(10000, 0, 0), p - Vec3(c.gap, 0, 0),
                          p - Vec3(10000, 0, 0), p + Vec3(0, c.gap, 0), p + Vec3(0, 10000, 0),
                          p - Vec3(0, c.gap, 0), p - Vec3(0, 10000, 0)};
    for (int i = 0; i < 8; ++i) {
      EXPECT_LT(at(node->vertices[i]).distance(ends[i]), 0.05f) << "vertex " << i;
      EXPECT_EQ(bytes(node->vertices[i]), Color4B(i < 4 ? c.first : c.second)) << "vertex " << i;
    }
  }
}

TEST_F(CrossLineTest, PayloadReadsAxesAndPointAndMissingKeysAreZero) {
  postCross(R"({"nx1":0.5,"nx2":-1.25,"nx3":2,"ny1":"3","nz3":7,"x":-4.5,"y":1e2})");
  stepFrames(2);
  const float* m = actor->getCrossFrame().m;
  const float expected[16] = {0.5f, -1.25f, 2, 0, 3, 0, 0, 0, 0, 0, 7, 0, -4.5f, 100, 0, 1};
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(m[i], expected[i]) << i;
}

TEST_F(CrossLineTest, HiddenLinesDrawNothingAndShowTheirOldVerticesWhenSwitchedOn) {
  postCross(crossText());
  stepFrames(2);
  EXPECT_FALSE(actor->isDirty());  // the mark is spent even though nothing was drawn
  EXPECT_EQ(actor->getLineNode(), nullptr);
  actor->setCrossLinesVisible(true);
  stepFrames(2);
  ASSERT_NE(actor->getLineNode(), nullptr);
  EXPECT_TRUE(actor->getLineNode()->vertices.empty());
  postCameraMoved();
  stepFrames(2);
  EXPECT_EQ(actor->getLineNode()->vertices.size(), 8u);
}

// The timer fires 5 s after it was first armed and again 1 s later; redraws
// in between neither move it nor stop it from hiding the lines.
TEST_F(CrossLineTest, AutoHideFiresAtFiveAndSixSecondsWhateverRedrawsCameBetween) {
  actor->setCrossLinesVisible(true);
  postCross(crossText());
  stepFrames(1);  // delivered, drawn
  isNodeLine* node = actor->getLineNode();
  ASSERT_TRUE(node->isVisible());
  const float dt = 0.1f;
  struct Step {
    float until;       // seconds after arming
    bool redrawFirst;  // a camera move before stepping
    bool visible;      // at the end of the step
  };
  const Step steps[] = {
      {3.0f, false, true},   {4.9f, true, true},  // a redraw re-arms: the timer keeps its time
      {5.1f, false, false},                       // first firing
      {5.5f, true, true},                         // redrawn: shown again
      {6.1f, false, false},                       // second firing hides it again
      {6.5f, true, true},                         // a redraw near 6.2 s arms a new timer
      {11.0f, false, true},  {11.7f, false, false},
  };
  float t = 0.0f;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.until);
    if (s.redrawFirst) postCameraMoved();
    while (t + dt / 2 < s.until) {
      stepFrames(1, dt);
      t += dt;
    }
    EXPECT_EQ(node->isVisible(), s.visible);
  }
  EXPECT_TRUE(actor->isLinesShown());  // the timer hides the node, not the switch
}

TEST_F(CrossLineTest, ClearStopsTimerAndNotifications) {
  actor->setCrossLinesVisible(true);
  postCross(crossText());
  stepFrames(1);
  isNodeLine* node = actor->getLineNode();
  node->retain();
  actor->clear();
  EXPECT_EQ(node->getParent(), nullptr);
  stepFrames(80, 0.1f);
  EXPECT_TRUE(node->isVisible());  // the timer never fired
  postCross(R"({"x":99})");
  stepFrames(2);
  EXPECT_FLOAT_EQ(actor->getCrossFrame().m[12], 10.0f);
  node->release();
}

TEST_F(CrossLineTest, FrameAndMarkerFollowTheWindowAndTheMarkerIsDrawnOnce) {
  actor->setFrameColorIndex(2);
  window->getActorManager()->setFrameVisible(true);
  cocos2d::DrawNode* frame = actor->getFrameNode();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->getParent(), window);
  EXPECT_FLOAT_EQ(frame->getLineWidth(), 4.0f);
  ASSERT_FALSE(frame->getLineBatches().empty());
  float minX = 1e9f, maxX = -1e9f;
  for (const auto& b : frame->getLineBatches())
    for (const auto& v : b.vertices) {
      minX = std::min(minX, v.x);
      maxX = std::max(maxX, v.x);
      EXPECT_EQ(v.color, Color4B(Color4F::BLUE));
    }
  EXPECT_FLOAT_EQ(minX, 1.0f);
  EXPECT_FLOAT_EQ(maxX, 199.0f);
  // The same index does not redraw; a new one does, in its colour.
  actor->setFrameColorIndex(2);
  actor->setFrameColorIndex(1);
  EXPECT_EQ(frame->getLineBatches().front().vertices.front().color, Color4B(Color4F::ORANGE));

  window->getActorManager()->showActiveMarker();
  window->getActorManager()->showActiveMarker();
  cocos2d::DrawNode* marker = actor->getMarkerNode();
  ASSERT_NE(marker, nullptr);
  const size_t drawn = marker->getTriangleVertices().size();
  EXPECT_GT(drawn, 0u);
  float lo = 1e9f, hi = -1e9f;
  for (const auto& v : marker->getTriangleVertices()) {
    lo = std::min(lo, v.x);
    hi = std::max(hi, v.x);
    EXPECT_EQ(v.color, Color4B(Color4F::ORANGE));
  }
  EXPECT_FLOAT_EQ(lo, 175.0f);
  EXPECT_FLOAT_EQ(hi, 195.0f);
  actor->setFrameColorIndex(0);
  EXPECT_EQ(marker->getTriangleVertices().size(), drawn);
  EXPECT_EQ(marker->getTriangleVertices().front().color, Color4B(Color4F::ORANGE));
}

TEST_F(CrossLineTest, EmptyLineNodeQueuesNothingAndTwoSegmentsAreOneCommand) {
  isNodeLine* node = isNodeLine::create();
  auto* renderer = cocos2d::Director::getInstance()->getRenderer();
  const size_t before = renderer->getQueue().size();
  node->draw(renderer, cocos2d::Mat4::IDENTITY, 0);
  EXPECT_EQ(renderer->getQueue().size(), before);
  node->addLine(Vec3(0, 0, 0), Vec3(1, 0, 0), Color4F::RED);
  node->addLine(Vec3(0, 0, 0), Vec3(0, 1, 0), Color4F::GREEN);
  EXPECT_EQ(node->vertices.size(), 4u);
  EXPECT_EQ(node->getLineWidth(), 4);
  node->draw(renderer, cocos2d::Mat4::IDENTITY, 0);
  EXPECT_EQ(renderer->getQueue().size(), before + 1);
}

TEST(CrossLineManager, NothingWithoutAWindow) {
  HeadlessEngine engine;
  auto* manager = isImageSDK::isActorManager::create();
  manager->setFrameVisible(true);
  manager->showActiveMarker();
  manager->showCrossLines();
  EXPECT_EQ(manager->getCrossLineActor(), nullptr);
}

}  // namespace
