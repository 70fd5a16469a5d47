// Actor base and actor manager: nodes handed to the window, one attachment,
// detach, and the manager's slots with and without a window.
#include <gtest/gtest.h>

#include "imaging/view/isActorImage.h"
#include "imaging/view/isActorObject.h"
#include "test_window.h"
#include "view_support.h"

using namespace viewtest;

namespace {

class PlainActor : public isImageSDK::isActorObject {
 public:
  static PlainActor* make() {
    auto* a = new PlainActor();
    a->init();
    return a;  // the caller holds the one reference
  }
};

bool isChild(cocos2d::Node* parent, cocos2d::Node* node) { return node->getParent() == parent; }

TEST(Actors, NodesReachTheWindowWhicheverComesFirst) {
  HeadlessEngine engine;
  auto* w = BaseWindow::create(cocos2d::Size(100, 100));
  auto* other = BaseWindow::create(cocos2d::Size(100, 100));
  engine.scene->addChild(w);
  engine.scene->addChild(other);
  PlainActor* actor = PlainActor::make();
  cocos2d::Node* before = cocos2d::Node::create();
  cocos2d::Node* scene = cocos2d::Node::create();
  actor->addNode(before);
  actor->addNode(before);  // once only
  actor->addRenderNode(scene);
  EXPECT_EQ(actor->getChildNodes().size(), 1u);
  EXPECT_EQ(before->getParent(), nullptr);
  actor->attach(w);
  EXPECT_TRUE(isChild(w, before));
  EXPECT_TRUE(isChild(w, scene));
  EXPECT_EQ(w->getSceneNodes().back(), scene);
  EXPECT_EQ(before->getTag(), static_cast<int>(actor->getRefID()));
  cocos2d::Node* after = cocos2d::Node::create();
  actor->addNode(after);
  EXPECT_TRUE(isChild(w, after));
  // A second window is ignored.
  actor->attach(other);
  EXPECT_EQ(actor->getRenderWindow(), w);
  // Detach takes the nodes back but keeps lists and window: attaching again
  // does nothing.
  actor->detach();
  EXPECT_EQ(before->getParent(), nullptr);
  EXPECT_EQ(scene->getParent(), nullptr);
  EXPECT_EQ(actor->getChildNodes().size(), 2u);
  actor->attach(w);
  EXPECT_EQ(before->getParent(), nullptr);
  // Clear forgets the window.
  actor->clear();
  EXPECT_EQ(actor->getRenderWindow(), nullptr);
  EXPECT_TRUE(actor->getChildNodes().empty());
  actor->release();
}

TEST(Actors, ManagerSlotsNeedAWindow) {
  HeadlessEngine engine;
  auto* manager = isImageSDK::isActorManager::create();
  EXPECT_EQ(manager->getImageActor(), nullptr);
  manager->releaseActors();  // nothing to release, nothing breaks

  auto* w = TestWindow::create(cocos2d::Size(100, 100));
  engine.scene->addChild(w);
  isImageSDK::isActorImage* actor = w->getActorManager()->getImageActor();
  ASSERT_NE(actor, nullptr);
  EXPECT_EQ(w->getActorManager()->getImageActor(), actor);
  EXPECT_EQ(actor->getRenderWindow(), w);
  EXPECT_TRUE(isChild(w, actor->getImageNode()));
  EXPECT_EQ(actor->getClut()->notificationObject, w);
  auto* image = makePhantomImage(16, 16, 4, 1, 1, 1);
  actor->setImageData(image);
  w->getActorManager()->releaseActors();
  stepFrames(1);
  isImageSDK::isActorImage* fresh = w->getActorManager()->getImageActor();
  EXPECT_EQ(fresh->getImageData(), nullptr);
  image->release();
}

}  // namespace
