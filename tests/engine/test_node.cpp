// Node maths and bookkeeping: child order, look-ups, transforms, hit
// testing, camera flag lists, and cameras off the UI thread.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "engine/cocos2d.h"
#include "support_scene.h"

USING_NS_CC;

namespace {
std::vector<std::string> names(const Vector<Node*>& v) {
  std::vector<std::string> out;
  for (Node* n : v) out.push_back(n->getName());
  return out;
}

Node* named(const std::string& name) {
  auto* n = Node::create();
  n->setName(name);
  return n;
}

TEST(NodeChildren, OrderedByZThenArrivalAndReorderArrivesAnew) {
  auto* p = Node::create();
  p->addChild(named("a"), 1);
  p->addChild(named("b"), 0);
  p->addChild(named("c"), 1);
  p->addChild(named("d"), -1);
  p->sortAllChildren();
  EXPECT_EQ(names(p->getChildren()), (std::vector<std::string>{"d", "b", "a", "c"}));
  p->getChildByName("a")->setLocalZOrder(0);
  p->getChildByName("a")->setLocalZOrder(1);  // back at 1, but now after c
  p->sortAllChildren();
  EXPECT_EQ(names(p->getChildren()), (std::vector<std::string>{"d", "b", "c", "a"}));
}

TEST(NodeChildren, HighZOrderKeepsOrderAndStaysAboveLaterSiblings) {
  auto* p = Node::create();
  p->addChild(named("x"), 5);
  p->addChild(named("y"), 2);
  p->addChild(named("z"), 20000);
  p->addChild(named("w"), 3);
  p->updateChildrenToHighZOrder();
  EXPECT_EQ(names(p->getChildren()), (std::vector<std::string>{"y", "w", "x", "z"}));
  for (Node* c : p->getChildren()) EXPECT_GE(c->getLocalZOrder(), 10000);
  p->addChild(named("later"), 100);
  p->sortAllChildren();
  EXPECT_EQ(p->getChildren().front()->getName(), "later");
}

TEST(NodeChildren, DeepLookupIsPreOrderThroughChildrenThenProtectedChildren) {
  auto* root = Node::create();
  auto* widget = ProtectedNode::create();
  root->addChild(widget);
  auto* inner = named("inner");
  widget->addProtectedChild(inner, 1, 1);
  inner->addChild(named("target"));
  auto* plain = named("plain");
  widget->addChild(plain);
  plain->addChild(named("target"));
  plain->getChildren().front()->setTag(7);
  // The ordinary child's subtree comes before the protected child's.
  EXPECT_EQ(root->getChildByNameDeep("target")->getParent(), plain);
  EXPECT_EQ(root->getChildByNameDeep("inner"), inner);
  EXPECT_EQ(root->getChildByTagDeep(1), inner);
  EXPECT_EQ(root->getChildByTagDeep(7)->getParent(), plain);
  EXPECT_EQ(root->getChildByNameDeep("missing"), nullptr);
  EXPECT_EQ(root->getChildByName("target"), nullptr);  // direct children only
  EXPECT_EQ(widget->getProtectedChildByTag(1), inner);
  EXPECT_EQ(plain->getUserString(), "");
}

struct TransformCase {
  const char* name;
  std::function<void(Node*)> setup;
  Vec2 local;
  Vec2 world;
  bool planar = true;  // the inverse maps back onto the node's plane
};

class TransformTest : public ::testing::TestWithParam<TransformCase> {};

const TransformCase kTransformCases[] = {
    {"anchor centre", [](Node* n) { n->setAnchorPoint(Vec2(0.5f, 0.5f)); }, Vec2(0, 0), Vec2(150, 75)},
    {"clockwise rotation about the anchor",
     [](Node* n) {
       n->setAnchorPoint(Vec2(0.5f, 0.5f));
       n->setRotation(90);
     },
     Vec2(100, 25), Vec2(200, 50)},
    {"scale about the anchor",
     [](Node* n) {
       n->setAnchorPoint(Vec2(0.5f, 0.5f));
       n->setScale(2);
     },
     Vec2(0, 0), Vec2(100, 50)},
    {"anchor ignored for position", [](Node* n) {
       n->setAnchorPoint(Vec2(0.5f, 0.5f));
       n->setIgnoreAnchorPointForPosition(true);
     },
     Vec2(0, 0), Vec2(200, 100)},
    {"rotation about x looks flat (y scaled by cos)",
     [](Node* n) { n->setRotation3D(Vec3(60, 0, 0)); }, Vec2(0, 40), Vec2(200, 120), false},
    {"additional transform after the node's own",
     [](Node* n) {
       Mat4 t;
       Mat4::createTranslation(10, 0, 0, &t);
       n->setAdditionalTransform(&t);
     },
     Vec2(0, 0), Vec2(210, 100)},
};

TEST_P(TransformTest, LocalToWorldAndBack) {
  auto* parent = Node::create();
  parent->setPosition(0, 0);
  auto* n = Node::create();
  n->setContentSize(Size(100, 50));
  n->setPosition(200, 100);
  parent->addChild(n);
  GetParam().setup(n);
  const Vec2 w = n->convertToWorldSpace(GetParam().local);
  EXPECT_NEAR(w.x, GetParam().world.x, 1e-3) << GetParam().name;
  EXPECT_NEAR(w.y, GetParam().world.y, 1e-3) << GetParam().name;
  if (!GetParam().planar) return;
  const Vec2 back = n->convertToNodeSpace(w);
  EXPECT_NEAR(back.x, GetParam().local.x, 1e-3) << GetParam().name;
  EXPECT_NEAR(back.y, GetParam().local.y, 1e-3) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Table, TransformTest, ::testing::ValuesIn(kTransformCases));

TEST(NodeHitTest, TouchInsideNestedScaledNode) {
  auto* root = Node::create();
  auto* panel = Node::create();
  panel->setPosition(100, 100);
  panel->setScale(2);
  root->addChild(panel);
  auto* button = Node::create();
  button->setContentSize(Size(20, 10));
  button->setPosition(5, 5);
  panel->addChild(button);
  auto hit = [&](Vec2 world) {
    const Vec2 p = button->convertToNodeSpace(world);
    return Rect(0, 0, button->getContentSize().width, button->getContentSize().height).containsPoint(p);
  };
  EXPECT_TRUE(hit(Vec2(111, 111)));
  EXPECT_TRUE(hit(Vec2(149, 129)));
  EXPECT_FALSE(hit(Vec2(151, 115)));
  EXPECT_FALSE(hit(Vec2(109, 115)));
  // Bounding box in the parent's space (unscaled by the parent).
  EXPECT_EQ(button->getBoundingBox(), Rect(5, 5, 20, 10));
  button->setRotation(90);
  const Rect bb = button->getBoundingBox();
  EXPECT_NEAR(bb.size.width, 10, 1e-4);
  EXPECT_NEAR(bb.size.height, 20, 1e-4);
}

TEST(NodeCameraFlags, AddWithoutDuplicatesToChildrenAndRemove) {
  auto* p = ProtectedNode::create();
  auto* c = Node::create();
  auto* prot = Node::create();
  p->addChild(c);
  p->addProtectedChild(prot, 0, 1);
  EXPECT_EQ(p->getCameraFlags(), (std::vector<uint16_t>{1}));
  p->setCameraMask(2);
  p->setCameraMask(2);
  p->setCameraMask(17);
  EXPECT_EQ(p->getCameraFlags(), (std::vector<uint16_t>{1, 2, 17}));
  EXPECT_EQ(c->getCameraFlags(), (std::vector<uint16_t>{1, 2, 17}));
  EXPECT_TRUE(prot->hasCameraFlag(17));
  p->removeCameraMask(1, false);
  EXPECT_FALSE(p->hasCameraFlag(1));
  EXPECT_TRUE(c->hasCameraFlag(1));
  p->removeCameraMask(2);
  EXPECT_FALSE(c->hasCameraFlag(2));
  EXPECT_FALSE(prot->hasCameraFlag(2));
}

TEST(NodeCameraFlags, VisitableByTheVisitingCameraOnly) {
  auto* cam = Camera::createOrthographic(10, 10, -1, 1);
  cam->setCameraFlag(3);
  auto* n = Node::create();
  EXPECT_TRUE(n->isVisitableByVisitingCamera());  // no camera visiting
  Camera::_visitingCamera = cam;
  EXPECT_FALSE(n->isVisitableByVisitingCamera());
  n->setCameraMask(3);
  EXPECT_TRUE(n->isVisitableByVisitingCamera());
  Camera::_visitingCamera = nullptr;
}

TEST(CameraMaths, ViewIsInverseWorldAndProjectionCombinesAdditional) {
  auto* cam = Camera::createOrthographic(800, 600, -1024, 1024);
  cam->setPosition(100, 50);
  Vec3 p = cam->getViewMatrix().transformPoint(Vec3(100, 50, 0));
  EXPECT_NEAR(p.x, 0, 1e-4);
  EXPECT_NEAR(p.y, 0, 1e-4);
  // Orthographic over (0,0)-(800,600): the far corner maps to (1, 1).
  Vec4 corner = cam->getViewProjectionMatrix() * Vec4(900, 650, 0, 1);
  EXPECT_NEAR(corner.x / corner.w, 1, 1e-4);
  EXPECT_NEAR(corner.y / corner.w, 1, 1e-4);
  EXPECT_TRUE(cam->isViewProjectionUpdated());
  cam->getViewProjectionMatrix();
  EXPECT_FALSE(cam->isViewProjectionUpdated());
  Mat4 half;
  Mat4::createScale(0.5f, 0.5f, 1, &half);
  cam->setAdditionalProjection(half);
  corner = cam->getViewProjectionMatrix() * Vec4(900, 650, 0, 1);
  EXPECT_NEAR(corner.x / corner.w, 0.5f, 1e-4);
}

TEST(CameraMaths, LookAtTurnsTheViewTowardsTheTarget) {
  auto* cam = Camera::createPerspective(60, 1, 1, 1000);
  cam->setPosition3D(Vec3(0, 0, 100));
  cam->lookAt(Vec3(100, 0, 100), Vec3(0, 1, 0));
  // The target lies straight ahead: on the view's -z axis.
  const Vec3 v = cam->getViewMatrix().transformPoint(Vec3(100, 0, 100));
  EXPECT_NEAR(v.x, 0, 1e-3);
  EXPECT_NEAR(v.y, 0, 1e-3);
  EXPECT_NEAR(v.z, -100, 1e-3);
}

TEST(CameraMaths, CamerasAreBuiltAndUsedOnWorkerThreadsWithoutADirector) {
  Director::destroyInstance();
  std::vector<std::thread> threads;
  std::atomic<int> ok{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      PoolManager::getInstance();
      for (int i = 0; i < 50; ++i) {
        auto* cam = new Camera();
        cam->initPerspective(45, 1.5f, 1, 500);
        cam->setPosition3D(Vec3(i, 0, 10));
        cam->lookAt(Vec3(0, 0, 0));
        auto* child = new Node();
        child->setPosition(3, 4);
        const Mat4 v = cam->getViewMatrix() * child->getNodeToParentTransform();
        if (std::isfinite(v.m[12])) ++ok;
        cam->autorelease();
        child->release();
      }
      PoolManager::getInstance()->getCurrentPool()->clear();
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(ok.load(), 200);
  EXPECT_EQ(Director::getInstanceIfExists(), nullptr);
}

TEST(NodeOpacity, CascadesWhenEnabled) {
  auto* p = Node::create();
  auto* c = Node::create();
  p->addChild(c);
  p->setOpacity(128);
  EXPECT_EQ(c->getDisplayedOpacity(), 255);
  p->setCascadeOpacityEnabled(true);
  EXPECT_EQ(c->getDisplayedOpacity(), 128);
  c->setOpacity(128);
  EXPECT_EQ(c->getDisplayedOpacity(), 64);
  EXPECT_EQ(c->getOpacity(), 128);
}
}  // namespace
