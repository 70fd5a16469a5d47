// Scene graph lifecycle, the scene stack and the frame's scene steps.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "support_scene.h"

USING_NS_CC;

namespace {
using Log = std::vector<std::string>;

struct LifecycleCase {
  const char* name;
  std::function<void(HeadlessEngine&, Log&)> scenario;
  Log expected;
};

class LifecycleTest : public ::testing::TestWithParam<LifecycleCase> {};

std::string joined(const Log& log) {
  std::string s;
  for (const auto& e : log) s += e + " ";
  return s;
}

const LifecycleCase kLifecycleCases[] = {
    {"add to a running parent enters at once",
     [](HeadlessEngine& e, Log& log) {
       auto* scene = Scene::create();
       e.run(scene);
       auto* parent = LogNode::create("p", &log);
       parent->addChild(LogNode::create("c", &log));
       log.push_back("--add");
       scene->addChild(parent);
     },
     {"--add", "p:enter", "c:enter", "p:didFinish", "c:didFinish"}},
    {"add to a parent that is not running waits for its entry",
     [](HeadlessEngine& e, Log& log) {
       auto* scene = Scene::create();
       scene->addChild(LogNode::create("a", &log));
       log.push_back("--run requested");
       e.director()->runWithScene(scene);
       log.push_back("--frame");
       e.director()->stepFrame();
     },
     {"--run requested", "--frame", "a:enter", "a:didFinish"}},
    {"push exits the covered scene without cleanup; pop re-enters it",
     [](HeadlessEngine& e, Log& log) {
       auto* first = LogScene::create("A", &log);
       e.run(first);
       log.clear();
       e.director()->pushScene(LogScene::create("B", &log));
       e.director()->stepFrame();
       log.push_back("--pop");
       e.director()->popScene();
       e.director()->stepFrame();
     },
     {"A:exitStart", "A:exit", "B:enter", "B:didFinish", "--pop", "B:exitStart", "B:exit", "B:cleanup",
      "B:destroyed", "A:enter", "A:didFinish"}},
    {"popping the last scene is refused",
     [](HeadlessEngine& e, Log& log) {
       e.run(LogScene::create("A", &log));
       log.clear();
       e.director()->popScene(0);
       e.director()->stepFrame();
       log.push_back(e.director()->getRunningScene() ? "still running" : "gone");
     },
     {"still running"}},
    {"cleanup twice is harmless",
     [](HeadlessEngine& e, Log& log) {
       auto* scene = Scene::create();
       e.run(scene);
       auto* n = LogNode::create("n", &log);
       scene->addChild(n);
       n->schedule([&log](float) { log.push_back("tick"); }, "k");
       log.clear();
       n->cleanup();
       n->cleanup();
       e.director()->stepFrame();
       log.push_back(n->isScheduled("k") ? "scheduled" : "unscheduled");
     },
     {"n:cleanup", "n:cleanup", "unscheduled"}},
    {"removeFromParent cleans up; removeFromParentAndCleanup(false) keeps schedules",
     [](HeadlessEngine& e, Log& log) {
       auto* scene = Scene::create();
       e.run(scene);
       auto* a = LogNode::create("a", &log);
       auto* b = LogNode::create("b", &log);
       scene->addChild(a);
       scene->addChild(b);
       b->retain();
       b->schedule([](float) {}, "k");
       log.clear();
       a->removeFromParent();
       b->removeFromParentAndCleanup(false);
       log.push_back(b->isScheduled("k") ? "b scheduled" : "b unscheduled");
       log.push_back("--re-add");
       scene->addChild(b);
       b->release();
     },
     {"a:exitStart", "a:exit", "a:cleanup", "b:exitStart", "b:exit", "b scheduled", "--re-add",
      "b:enter", "b:didFinish"}},
    {"schedules and listeners pause while the node is off stage",
     [](HeadlessEngine& e, Log& log) {
       auto* scene = Scene::create();
       e.run(scene);
       auto* n = Node::create();
       n->retain();
       scene->addChild(n);
       n->schedule([&log](float) { log.push_back("tick"); }, "k");
       auto* key = EventListenerKeyboard::create();
       key->onKeyPressed = [&log](EventKeyboard::KeyCode, Event*) { log.push_back("key"); };
       n->getEventDispatcher()->addEventListenerWithSceneGraphPriority(key, n);
       e.director()->stepFrame();
       e.view()->injectKey(EventKeyboard::KeyCode::KEY_A, true);
       n->removeFromParentAndCleanup(false);
       log.push_back("--off");
       e.director()->stepFrame();
       e.view()->injectKey(EventKeyboard::KeyCode::KEY_A, true);
       log.push_back("--on");
       scene->addChild(n);
       e.director()->stepFrame();
       e.view()->injectKey(EventKeyboard::KeyCode::KEY_A, true);
       n->release();
     },
     {"tick", "key", "--off", "--on", "tick", "key"}},
    {"a child added during onEnter of its parent is entered once",
     [](HeadlessEngine& e, Log& log) {
       struct Adder : public Node {
         Log* log;
         void onEnter() override {
           Node::onEnter();
           addChild(LogNode::create("late", log));
         }
       };
       auto* scene = Scene::create();
       e.run(scene);
       auto* adder = new Adder;
       adder->log = &log;
       adder->autorelease();
       scene->addChild(adder);
     },
     {"late:enter", "late:didFinish"}},
};

TEST_P(LifecycleTest, CallbackLog) {
  Log log;  // outlives the engine: teardown still logs
  HeadlessEngine engine;
  GetParam().scenario(engine, log);
  EXPECT_EQ(log, GetParam().expected) << GetParam().name << "\n got: " << joined(log);
}

INSTANTIATE_TEST_SUITE_P(Table, LifecycleTest, ::testing::ValuesIn(kLifecycleCases));

TEST(SceneStack, SwitchesApplyAtTheNextFrameAndTeardownCleansEveryScene) {
  Log log;
  {
    HeadlessEngine e;
    auto* a = LogScene::create("A", &log);
    e.director()->runWithScene(a);
    EXPECT_EQ(e.director()->getRunningScene(), nullptr);
    e.director()->stepFrame();
    EXPECT_EQ(e.director()->getRunningScene(), a);
    auto* b = LogScene::create("B", &log);
    e.director()->pushScene(b);
    EXPECT_EQ(e.director()->getRunningScene(), a);
    EXPECT_EQ(e.director()->getSceneStackSize(), 2);
    e.director()->stepFrame();
    EXPECT_EQ(e.director()->getRunningScene(), b);
    log.clear();
  }
  // B exits; both scenes are cleaned up and released.
  EXPECT_EQ(log, (Log{"B:exitStart", "B:exit", "B:cleanup", "B:destroyed", "A:cleanup", "A:destroyed"}));
}

TEST(SceneStack, EscapeRunsTheReturnKeyChainFrontToBackThenTheScene) {
  Log log;
  HeadlessEngine e;
  struct Answering : public Node {
    Log* log;
    bool answer;
    bool onResponseReturn() override {
      log->push_back(getName());
      return answer;
    }
  };
  auto make = [&](const std::string& name, bool answer, int z) {
    auto* n = new Answering;
    n->log = &log;
    n->answer = answer;
    n->setName(name);
    n->enableAndroidReturnKey();
    n->setLocalZOrder(z);
    n->autorelease();
    return n;
  };
  auto* a = Scene::create();
  e.run(a);
  a->addChild(make("back", false, 0));
  a->addChild(make("front", false, 5));
  a->addChild(Node::create());  // not enabled: never asked
  auto* b = Scene::create();
  e.director()->pushScene(b);
  e.director()->stepFrame();

  // Scene B has no enabled nodes: the scene pops itself.
  e.view()->injectKey(EventKeyboard::KeyCode::KEY_ESCAPE, true);
  e.director()->stepFrame();
  EXPECT_EQ(e.director()->getRunningScene(), a);

  // Scene A: nodes front to back, then the scene, which refuses (last one).
  e.view()->injectKey(EventKeyboard::KeyCode::KEY_ESCAPE, true);
  e.director()->stepFrame();
  EXPECT_EQ(log, (Log{"front", "back"}));
  EXPECT_EQ(e.director()->getRunningScene(), a);

  // Default node answer: removed from its parent, handled.
  auto* plain = Node::create();
  plain->enableAndroidReturnKey();
  a->addChild(plain, 100);
  const auto before = a->getChildrenCount();
  e.view()->injectKey(EventKeyboard::KeyCode::KEY_ESCAPE, true);
  EXPECT_EQ(a->getChildrenCount(), before - 1);
}

TEST(SceneStack, MessageNodeIsHiddenAfterItsTimeAndANewOneHidesTheOld) {
  HeadlessEngine e;
  auto* scene = Scene::create();
  e.run(scene);
  auto* m1 = Node::create();
  auto* m2 = Node::create();
  scene->addChild(m1);
  scene->addChild(m2);
  scene->setMessageNode(m1, 1.0f);
  for (int i = 0; i < 30; ++i) e.director()->stepFrame(1.0f / 60);
  EXPECT_TRUE(m1->isVisible());
  scene->setMessageNode(m2, 1.0f);  // restarts the timer
  EXPECT_FALSE(m1->isVisible());
  for (int i = 0; i < 50; ++i) e.director()->stepFrame(1.0f / 60);
  EXPECT_TRUE(m2->isVisible());
  for (int i = 0; i < 15; ++i) e.director()->stepFrame(1.0f / 60);
  EXPECT_FALSE(m2->isVisible());
  EXPECT_EQ(m2->getParent(), scene);
}

TEST(SceneStack, TotalFramesReadableFromAnotherThread) {
  HeadlessEngine e;
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    unsigned int last = 0;
    while (!stop.load()) {
      Director* d = Director::getInstanceIfExists();
      ASSERT_NE(d, nullptr);
      unsigned int now = d->getTotalFrames();
      EXPECT_GE(now, last);
      last = now;
    }
  });
  for (int i = 0; i < 200; ++i) e.director()->stepFrame();
  stop = true;
  reader.join();
  EXPECT_EQ(e.director()->getTotalFrames(), 200u);
}

TEST(SceneStack, GetInstanceIfExistsNeverCreates) {
  Director::destroyInstance();
  EXPECT_EQ(Director::getInstanceIfExists(), nullptr);
  Director* d = Director::getInstance();
  EXPECT_EQ(Director::getInstanceIfExists(), d);
  Director::destroyInstance();
}
}  // namespace

namespace {
// Finishes after `steps` frames; logs start, steps and stop.
class CountingAction : public Action {
 public:
  CountingAction(int steps, std::vector<std::string>* log) : _left(steps), _log(log) {}
  CountingAction* clone() const override { return new CountingAction(_left, _log); }
  void startWithTarget(Node* target) override {
    Action::startWithTarget(target);
    _log->push_back("start");
  }
  void step(float) override {
    --_left;
    _log->push_back("step");
  }
  bool isDone() const override { return _left <= 0; }
  void stop() override {
    _log->push_back("stop");
    Action::stop();
  }

 private:
  int _left;
  std::vector<std::string>* _log;
};

TEST(Actions, RunWhileRunningStopWhenDoneAndAtCleanup) {
  std::vector<std::string> log;
  HeadlessEngine e;
  auto* scene = Scene::create();
  e.run(scene);
  auto* n = Node::create();
  n->retain();
  auto* a = new CountingAction(2, &log);
  a->autorelease();
  n->runAction(a);  // not running yet: paused
  e.director()->stepFrame();
  EXPECT_EQ(log, (std::vector<std::string>{"start"}));
  scene->addChild(n);
  EXPECT_EQ(n->getNumberOfRunningActions(), 1);
  e.director()->stepFrame();
  e.director()->stepFrame();
  e.director()->stepFrame();
  EXPECT_EQ(log, (std::vector<std::string>{"start", "step", "step", "stop"}));
  EXPECT_EQ(n->getNumberOfRunningActions(), 0);

  log.clear();
  auto* b = new CountingAction(100, &log);
  b->autorelease();
  b->setTag(4);
  n->runAction(b);
  EXPECT_EQ(n->getActionByTag(4), b);
  n->removeFromParent();  // cleanup stops it
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop"}));
  EXPECT_EQ(n->getNumberOfRunningActions(), 0);
  n->release();
}
}  // namespace
