// The pieces of the measurements on screen: the draw node's buffers, the
// label text and its drag, the measurement actors' labels and statistics
// requests, and the container's keys, rebuilds, hit test and removal.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/platform/Device.h"
#include "imaging/view/isDrawNode.h"
#include "imaging/view/isNodeText.h"
#include "measure_support.h"
#include "toolkit/foundation/NSHash.h"

using cocos2d::Color4F;
using cocos2d::EventTouch;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;
using namespace isImageSDK;
using namespace viewtest;

namespace {

// ---------------------------------------------------------------- draw node

TEST(DrawNode, BuffersGrowCirclesAndPolygonsCloseAndClearKeepsTheStipple) {
  HeadlessEngine engine;
  isDrawNode* node = isDrawNode::create();
  EXPECT_EQ(node->getPointCapacity(), 64);
  EXPECT_EQ(node->getLineCapacity(), 256);
  EXPECT_EQ(node->getTriangleCapacity(), 512);
  EXPECT_EQ(node->lineWidth, 4);
  for (int i = 0; i < 64; ++i) node->drawPoint(Vec3(i, 0, 0), 10, Color4F::RED);
  EXPECT_EQ(node->getPointCapacity(), 64);
  node->drawPoint(Vec3(64, 0, 0), 10, Color4F::RED);
  EXPECT_EQ(node->getPointCapacity(), 128);
  EXPECT_EQ(node->getPointCount(), 65);
  EXPECT_FLOAT_EQ(node->getPoints()[64].texCoords.u, 10.0f);  // the size in pixels
  EXPECT_FLOAT_EQ(node->getPoints()[0].vertices.x, 0.0f);      // kept across the growth

  node->drawLine(Vec3(0, 0, 0), Vec3(1, 1, 1), Color4F::GREEN);
  EXPECT_EQ(node->getLineCapacity(), 256);
  EXPECT_EQ(node->getLines()[1].colors.g, 255);

  // The circle: 51 points, 102 vertices, whatever the segments say; its
  // first and 51st points coincide; the axes are used as given.
  node->clear();
  node->drawCircle(Vec3(10, 20, 30), Vec3(2, 0, 0), Vec3(0, 0, 1), 5, 0, 7, true, 1, 1, Color4F::YELLOW);
  ASSERT_EQ(node->getLineCount(), 102);
  const auto* v = node->getLines();
  EXPECT_NEAR(v[0].vertices.x, 20.0f, 1e-4f);  // 10 + 2·5
  EXPECT_NEAR(v[100].vertices.distance(v[0].vertices), 0.0f, 1e-3f);
  EXPECT_NEAR(v[101].vertices.distance(v[0].vertices), 0.0f, 1e-3f);  // closing edge of length 0

  // drawPoly closes even when asked not to; one point gives one empty edge.
  struct Case {
    int count;
    bool closed;
  } cases[] = {{3, false}, {3, true}, {1, false}};
  for (const auto& c : cases) {
    node->clear();
    const Vec3 pts[3] = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0)};
    node->drawPoly(pts, c.count, c.closed, Color4F::WHITE);
    ASSERT_EQ(node->getLineCount(), 2 * c.count);
    EXPECT_EQ(node->getLines()[2 * c.count - 2].vertices, pts[c.count - 1]);
    EXPECT_EQ(node->getLines()[2 * c.count - 1].vertices, pts[0]);
  }

  node->lineWidth = 9;
  node->lineStipple = true;
  node->clear();
  EXPECT_EQ(node->lineWidth, 4);
  EXPECT_TRUE(node->lineStipple);
  EXPECT_EQ(node->getLineCount() + node->getPointCount() + node->getTriangleCount(), 0);
  EXPECT_EQ(node->getLineCapacity(), 256);
}

TEST(DrawNode, OneCommandPerNonEmptyBufferAndNotForTheDefaultCamera) {
  HeadlessEngine engine;
  isDrawNode* node = isDrawNode::create();
  EXPECT_FALSE(node->hasCameraFlag(1));
  auto* renderer = cocos2d::Director::getInstance()->getRenderer();
  node->draw(renderer, cocos2d::Mat4::IDENTITY, 0);
  EXPECT_EQ(node->getQueuedCommands(), 0);
  node->drawLine(Vec3(0, 0, 0), Vec3(1, 0, 0), Color4F::RED);
  node->draw(renderer, cocos2d::Mat4::IDENTITY, 0);
  EXPECT_EQ(node->getQueuedCommands(), 1);
  node->drawPoint(Vec3(0, 0, 0), 4, Color4F::RED);
  node->draw(renderer, cocos2d::Mat4::IDENTITY, 0);
  EXPECT_EQ(node->getQueuedCommands(), 2);
  renderer->clean();
}

// ---------------------------------------------------------------- label text

class TextNodeTest : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  Recorder rec;
  cocos2d::GLView* view() { return cocos2d::Director::getInstance()->getOpenGLView(); }
  void touch(EventTouch::EventCode phase, Vec2 p) { view()->injectTouches(phase, {1}, {p}); }
};

TEST_F(TextNodeTest, DragMovesInsideTheParentMarksAndPosts) {
  auto* parent = cocos2d::Node::create();
  engine.scene->addChild(parent);
  parent->setPosition(Vec2(100, 50));
  isNodeText* text = isNodeText::create();
  text->setString("12.3mm");
  text->setAnchorPoint(Vec2::ANCHOR_BOTTOM_LEFT);
  text->setPosition(Vec2(20, 20));
  parent->addChild(text);
  rec.listen({NOTIFY_ROI_CHANGED}, parent);
  ASSERT_GT(text->getContentSize().width, 4.0f);
  EXPECT_EQ(text->getBackground()->getContentSize().width, text->getContentSize().width);
  EXPECT_EQ(text->getBackground()->getLocalZOrder(), -100);
  EXPECT_FLOAT_EQ(text->getPressedScaleOffset(), 1.5f);

  // Touches off: nothing moves.
  const Vec2 inside(123, 73);
  touch(EventTouch::EventCode::BEGAN, inside);
  touch(EventTouch::EventCode::MOVED, inside + Vec2(30, 10));
  touch(EventTouch::EventCode::ENDED, inside + Vec2(30, 10));
  EXPECT_EQ(text->getPosition(), Vec2(20, 20));

  text->setTouchEnabled(true);
  // A touch that began outside moves nothing.
  touch(EventTouch::EventCode::BEGAN, Vec2(10, 10));
  touch(EventTouch::EventCode::MOVED, Vec2(40, 20));
  touch(EventTouch::EventCode::ENDED, Vec2(40, 20));
  EXPECT_EQ(text->getPosition(), Vec2(20, 20));
  EXPECT_FALSE(text->movedByUser);

  touch(EventTouch::EventCode::BEGAN, inside);
  touch(EventTouch::EventCode::MOVED, inside + Vec2(30, 10));
  touch(EventTouch::EventCode::MOVED, inside + Vec2(35, -5));
  touch(EventTouch::EventCode::ENDED, inside + Vec2(35, -5));
  EXPECT_EQ(text->getPosition(), Vec2(55, 15));
  EXPECT_TRUE(text->movedByUser);
  stepFrames(4);
  const auto posts = rec.of(NOTIFY_ROI_CHANGED);
  ASSERT_EQ(posts.size(), 2u);  // one per movement, one per frame
  EXPECT_EQ(posts[0].sender, text);
  EXPECT_NE(posts[0].frame, posts[1].frame);
}

// ---------------------------------------------------------------- actors

class ActorTest : public MeasureTest {
 protected:
  void SetUp() override {
    cocos2d::Device::setDPI(96);
    showSlice(40, 40, 1.0f, 1.0f, "actors");
  }
  void TearDown() override {
    cocos2d::Device::setDPI(96);
    MeasureTest::TearDown();
  }
  template <class A>
  A* bind(A* a, ROIData* record, int number = 1) {
    a->setROIData(record);
    a->attach(w);
    a->number = number;
    a->retain();
    held.push_back(a);
    return a;
  }
  ~ActorTest() override {
    for (auto* a : held) a->release();
  }
  std::vector<isActorROIBase*> held;
};

TEST_F(ActorTest, LineAndAngleLabelsAndTheLabelOffset) {
  auto* line = ROILine::create();
  line->setPoint(0, world(5, 5));
  line->setPoint(1, world(5, 5) + Vec3(12.34f, 0, 0));
  auto* a = bind(isActorROILine::create(), line);
  struct AngleCase {
    Vec3 arm2;
    const char* label;
  } angles[] = {{Vec3(0, 10, 0), "90.0deg"}, {Vec3(0, 0.04f, 0), nullptr}};
  std::vector<isActorROIAngle*> angleActors;
  for (const auto& c : angles) {
    auto* rec = ROIAngle::create();
    rec->setPoint(0, world(20, 20));
    rec->setPoint(1, world(20, 20) + Vec3(10, 0, 0));
    rec->setPoint(2, world(20, 20) + c.arm2);
    angleActors.push_back(bind(isActorROIAngle::create(), rec));
  }
  stepFrames(3);
  ASSERT_NE(a->getLabel(), nullptr);
  EXPECT_EQ(a->getLabel()->getString(), "12.3mm");
  // 96 × 2 / 25.4 = 7.56: 7 pixels above (min x, max y).
  const Vec2 s0 = w->worldToScreen(line->startPoint), s1 = w->worldToScreen(line->endPoint);
  EXPECT_FLOAT_EQ(a->getLabel()->getPosition().x, std::min(s0.x, s1.x));
  EXPECT_FLOAT_EQ(a->getLabel()->getPosition().y, std::max(s0.y, s1.y) + 7.0f);
  EXPECT_EQ(a->getLabel()->getParent(), w);
  EXPECT_EQ(a->getDrawNode()->getLineCount(), 2);
  EXPECT_EQ(a->getDrawNode()->getPointCount(), 0);  // no selection, no handles
  ASSERT_NE(angleActors[0]->getLabel(), nullptr);
  EXPECT_EQ(angleActors[0]->getLabel()->getString(), "90.0deg");
  EXPECT_TRUE(angleActors[0]->isComplete());
  EXPECT_EQ(angleActors[1]->getLabel(), nullptr);  // invalid: arms drawn, no label
  EXPECT_EQ(angleActors[1]->getDrawNode()->getLineCount(), 4);
  EXPECT_FALSE(angleActors[1]->isComplete());

  // Handles: red for the selected point, yellow for the other.
  a->selectedPoint = 1;
  a->dirty = true;
  stepFrames(2);
  ASSERT_EQ(a->getDrawNode()->getPointCount(), 2);
  EXPECT_EQ(a->getDrawNode()->getPoints()[0].colors, cocos2d::Color4B(Color4F::YELLOW));
  EXPECT_EQ(a->getDrawNode()->getPoints()[1].colors, cocos2d::Color4B(Color4F::RED));
  EXPECT_FLOAT_EQ(a->getDrawNode()->getPoints()[1].texCoords.u, 10.0f);
}

TEST_F(ActorTest, DraggedLabelTakesTheNumberAndItsMarker) {
  auto* line = ROILine::create();
  line->setPoint(0, world(5, 5));
  line->setPoint(1, world(5, 5) + Vec3(12.34f, 0, 0));
  auto* a = bind(isActorROILine::create(), line, 3);
  stepFrames(3);
  EXPECT_EQ(a->getNumberLabel(), nullptr);
  a->setNumberPosition(10, 10);
  EXPECT_EQ(a->getNumberLabel(), nullptr);  // never dragged: no marker
  a->getLabel()->movedByUser = true;
  const Vec2 dropped = a->getLabel()->getPosition() + Vec2(50, 40);
  a->getLabel()->setPosition(dropped);
  a->dirty = true;
  stepFrames(2);
  EXPECT_EQ(a->getLabel()->getString(), "3. 12.3mm");
  EXPECT_EQ(a->getLabel()->getPosition(), dropped);  // never placed again
  ASSERT_NE(a->getNumberLabel(), nullptr);
  EXPECT_EQ(a->getNumberLabel()->getString(), "3 ");
  const Vec2 s0 = w->worldToScreen(line->startPoint);
  EXPECT_FLOAT_EQ(a->getNumberLabel()->getPosition().x, s0.x - 7.0f);
  EXPECT_FLOAT_EQ(a->getNumberLabel()->getPosition().y, s0.y);
  // An empty text keeps no prefix; a negative number hides the marker.
  a->setLabelText("");
  EXPECT_EQ(a->getLabel()->getString(), "");
  a->number = -1;
  a->setNumberPosition(10, 10);
  EXPECT_FALSE(a->getNumberLabel()->isVisible());
}

TEST_F(ActorTest, StatisticsRequestsAnswersAndTheLabelDrag) {
  rec.listen({NOTIFY_ROI_INFO}, w);
  auto* circle = ROICircle::create();
  circle->center = world(20, 20);
  circle->rimPoint = world(25, 20);
  circle->sliceKey = 77;
  auto* c = bind(isActorROICircle::create(), circle, 2);
  auto* other = ROIPoint::create();
  other->position = world(2, 2);
  other->sliceKey = 77;
  auto* p = bind(isActorROIPoint::create(), other, 1);
  stepFrames(16);  // serial requests: one delivery per frame
  auto requests = [&] {
    std::vector<Received> out;
    for (auto& r : rec.got)
      if (r.sender == c) out.push_back(r);
    return out;
  };
  ASSERT_EQ(requests().size(), 1u);
  EXPECT_EQ(requests()[0].intValue, 2);
  EXPECT_EQ(requests()[0].indexValue, 77);
  // The image actor answered: the label shows it and the record keeps it.
  EXPECT_EQ(c->getLabel()->getString().substr(0, 9), "Area:0.79");
  EXPECT_EQ(circle->getLabel(), c->getLabel()->getString());
  EXPECT_EQ(p->getLabel()->getString().substr(0, 10), "Value:212\n");

  // An answer for another number, or another slice, is ignored.
  for (auto [number, key] : {std::pair{1, 77}, std::pair{2, 78}}) {
    auto* answer = new NSUI::NSNotificationData();
    answer->intValue = number;
    answer->indexValue = key;
    answer->text = "someone else's";
    NSUI::NSNotificationCenter::getInstance()->postNotification(actor, NOTIFY_ROI_INFO, answer, w, true);
    answer->release();
    stepFrames(2);
    EXPECT_EQ(c->getLabel()->getString().substr(0, 9), "Area:0.79");
  }

  // A label drag redraws without a request; the next change asks again.
  rec.got.clear();
  NSUI::NSNotificationCenter::getInstance()->postNotification(c->getLabel(), NOTIFY_ROI_CHANGED, nullptr, w, false);
  stepFrames(3);
  EXPECT_TRUE(requests().empty());
  EXPECT_FALSE(c->dirty);
  c->selectedPoint = 1;
  c->moveSelectedPoint(world(28, 20));
  stepFrames(8);
  ASSERT_EQ(requests().size(), 1u);
  EXPECT_EQ(c->getLabel()->getString().substr(0, 9), "Area:2.01");

  // The same record again does not mark the actor dirty; a 9092 for its
  // record does.
  c->setROIData(circle);
  EXPECT_FALSE(c->dirty);
  auto* about = new NSUI::NSNotificationData();
  about->setObject(circle);
  NSUI::NSNotificationCenter::getInstance()->postNotification(actor, NOTIFY_ROI_CHANGED, about, w, false);
  about->release();
  stepFrames(1);
  EXPECT_FALSE(c->labelMoved);
  // Another kind's record is refused.
  c->setROIData(other);
  EXPECT_EQ(c->getROIData(), circle);
}

TEST_F(ActorTest, PolygonStipplesItsOpenEdgeAndEditsVertices) {
  auto* poly = ROIPolygon::create();
  poly->vertices = {world(5, 5), world(15, 5)};
  auto* a = bind(isActorROIPolygon::create(), poly);
  EXPECT_FALSE(a->isComplete());
  a->selectedPoint = 1;
  a->appendPoint();  // last edge long enough: a copy to drag
  ASSERT_EQ(poly->vertices.size(), 3u);
  EXPECT_EQ(a->selectedPoint, 2);
  a->appendPoint();  // zero-length last edge: nothing
  EXPECT_EQ(poly->vertices.size(), 3u);
  a->moveSelectedPoint(world(15, 15));
  a->removeLastTwoPoints();  // three vertices: nothing
  EXPECT_EQ(poly->vertices.size(), 3u);
  stepFrames(2);
  EXPECT_TRUE(a->getDashedDrawNode()->lineStipple);
  EXPECT_EQ(a->getDashedDrawNode()->getLineCount(), 2);  // the open closing edge
  EXPECT_EQ(a->getDrawNode()->getLineCount(), 4);
  EXPECT_EQ(a->getLabel(), nullptr);  // open: no label
  a->closed = true;
  a->dirty = true;
  stepFrames(4);
  EXPECT_EQ(a->getDashedDrawNode()->getLineCount(), 0);
  EXPECT_EQ(a->getDrawNode()->getLineCount(), 6);
  ASSERT_NE(a->getLabel(), nullptr);
  EXPECT_EQ(a->getLabel()->getString().substr(0, 5), "Area:");
}

// ---------------------------------------------------------------- container

TEST(SliceKeys, FoldedFnv1aOfSeriesOrientationAndIndex) {
  EXPECT_EQ(NSUI::foldedHash("abc"), 3797874002u);
  EXPECT_EQ(NSUI::foldedHash(""), 1339080641u);
  HeadlessEngine engine;
  isActorROI* rois = isActorROI::create();
  rois->setSeriesKey("series");
  rois->setOrientation(0);
  rois->setSliceIndex(5);
  // FNV-1a 64 of "series,0,5", folded by hand: 403001006.
  EXPECT_EQ(rois->getSliceKey(), 403001006);
  rois->setSliceIndex(6);
  EXPECT_NE(rois->getSliceKey(), 403001006);
  EXPECT_EQ(rois->getSliceKey(), static_cast<int32_t>(NSUI::foldedHash("series,0,6")));
}

class ContainerTest : public MeasureTest {
 protected:
  void SetUp() override { showSlice(40, 40, 1.0f, 1.0f, "series"); }
  void slice(int index) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(actor, NOTIFY_SLICE_CHANGED,
                                                                    "{\"index\":" + std::to_string(index) + "}", w, true);
    stepFrames(1);
  }
  ROIData* line(float length, int32_t key) {
    auto* r = ROILine::create();
    r->setPoint(0, world(5, 5));
    r->setPoint(1, world(5, 5) + Vec3(length, 0, 0));
    r->sliceKey = key;
    isROIManager::getInstance()->addROI(r);
    return r;
  }
};

TEST_F(ContainerTest, RebuildPerKeyNumbersValidRecordsOnly) {
  slice(1);
  const int32_t here = rois()->getSliceKey();
  EXPECT_EQ(here, static_cast<int32_t>(NSUI::foldedHash("series,1,1")));
  ROIData* a = line(10, here);
  ROIData* invalid = line(0.01f, here);
  ROIData* elsewhere = line(20, 12345);
  ROIData* b = line(30, here);
  slice(1);  // the same index still rebuilds
  const auto& list = rois()->getROIActors();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->getROIData(), a);
  EXPECT_EQ(list[0]->number, 1);
  EXPECT_EQ(list[1]->getROIData(), b);
  EXPECT_EQ(list[1]->number, 2);
  EXPECT_EQ(rois()->nextNumber, 3);
  EXPECT_EQ(isROIManager::getInstance()->rois.size(), 4u);  // the invalid one stays registered
  (void)invalid;
  // The slice of the other record: it alone, number 1.
  elsewhere->sliceKey = static_cast<int32_t>(NSUI::foldedHash("series,1,7"));
  slice(7);
  ASSERT_EQ(rois()->getROIActors().size(), 1u);
  EXPECT_EQ(rois()->getROIActors()[0]->getROIData(), elsewhere);
  EXPECT_EQ(rois()->getROIActors()[0]->number, 1);
}

TEST_F(ContainerTest, RemovalRenumbersOnlyTheNewestAndDeleteById) {
  slice(1);
  for (int i = 0; i < 3; ++i) rois()->createPointROI(world(5.0f + 10 * i, 5));
  ASSERT_EQ(rois()->nextNumber, 4);
  // 3 of 4: the number is given again.
  rois()->removeROIActor(rois()->getROIActors()[2]);
  EXPECT_EQ(rois()->nextNumber, 3);
  EXPECT_EQ(rois()->createPointROI(world(30, 30))->number, 3);
  // 2 of 4: nothing to give back.
  isActorROIBase* second = rois()->getROIActors()[1];
  ROIData* record = second->getROIData();
  rois()->removeROIActor(second);
  EXPECT_EQ(rois()->nextNumber, 4);
  auto& registry = isROIManager::getInstance()->rois;
  EXPECT_EQ(std::find(registry.begin(), registry.end(), record), registry.end());
  EXPECT_EQ(registry.size(), 2u);
  // By the record's id; an unknown id changes nothing.
  rois()->deleteROIById(-12345);
  EXPECT_EQ(rois()->getROIActors().size(), 2u);
  const int id = static_cast<int>(rois()->getROIActors()[0]->getROIData()->getRefID());
  rois()->deleteROIById(id);
  ASSERT_EQ(rois()->getROIActors().size(), 1u);
  EXPECT_EQ(rois()->getROIActors()[0]->number, 3);
}

TEST_F(ContainerTest, HitTestWithinFifteenPixelsFirstOfEqualWins) {
  slice(1);
  const isCamera* camera = w->getSceneCamera();
  Vec3 a, b;
  camera->screenToWorld(Vec3(0, 0, 1), &a);
  camera->screenToWorld(Vec3(1, 0, 1), &b);
  const float px = a.distance(b);
  const Vec3 centre = world(20, 20);
  const Vec3 right = camera->getCameraState().rightAxis;
  Vec3 o, d;
  w->getPickRay(at(centre), &o, &d);
  struct Case {
    float pixels;
    bool hit;
  } cases[] = {{14.99f, true}, {16.0f, false}};
  for (const auto& c : cases) {
    isActorROIPoint* p = rois()->createPointROI(centre + right * (c.pixels * px));
    p->selectedPoint = -1;
    EXPECT_EQ(rois()->hitTest(o, d) == p, c.hit) << c.pixels;
    if (c.hit) {
      EXPECT_EQ(p->selectedPoint, 0);
      EXPECT_TRUE(p->dirty);
    }
    rois()->removeROIActor(p);
  }
  // Two at the same distance, on either side: the earlier one.
  isActorROIPoint* first = rois()->createPointROI(centre + right * (3 * px));
  rois()->createPointROI(centre - right * (3 * px));
  EXPECT_EQ(rois()->hitTest(o, d), first);
}

TEST_F(ContainerTest, SeriesKeyDropsWithoutRebuildAndNewDataRenamesIt) {
  slice(1);
  rois()->createPointROI(world(5, 5));
  const int32_t key = rois()->getSliceKey();
  rois()->setSeriesKey("series");
  EXPECT_EQ(rois()->getROIActors().size(), 1u);
  rois()->setSeriesKey("other");
  EXPECT_TRUE(rois()->getROIActors().empty());
  EXPECT_NE(rois()->getSliceKey(), key);
  // The render window passes its new data's identifier.
  auto* data = isImageData::create();
  data->setIdentifier("second series");
  w->setImageData(data);
  data->release();
  EXPECT_EQ(w->getROIActor()->getSeriesKey(), "second series");
}

}  // namespace
