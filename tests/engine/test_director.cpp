// The headless frame: order of steps, frame counting, pools and ending.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/cocos2d.h"
#include "support_engine.h"

USING_NS_CC;

namespace {
struct Probe : public Ref {
  explicit Probe(std::atomic<int>* d) : deaths(d) {}
  ~Probe() override { ++*deaths; }
  std::atomic<int>* deaths;
};

class DirectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FileUtils::getInstance()->setWritablePath(dir.path);
    UserDefault::destroyInstance();
  }
  void TearDown() override {
    Director::destroyInstance();
    UserDefault::destroyInstance();
    FileUtils::getInstance()->setWritablePath("");
  }
  TempDir dir;
};
}  // namespace

TEST_F(DirectorTest, StepFrameRunsHandOffsThenTimersThenDrainsPoolAndCounts) {
  Director* d = Director::getInstance();
  EXPECT_TRUE(d->isUIThread());
  EXPECT_EQ(d->getTotalFrames(), 0u);
  std::atomic<int> deaths{0};
  std::vector<std::string> order;
  int t = 0;
  d->getScheduler()->schedule(
      [&](float) {
        order.push_back("timer@" + std::to_string(d->getTotalFrames()));
        (new Probe(&deaths))->autorelease();  // lives until the end of this frame
      },
      &t, 0, false, "k");
  d->getScheduler()->performFunctionInCocosThread([&] { order.push_back("handed-in"); });
  d->stepFrame(1.0f / 60);
  EXPECT_EQ(deaths.load(), 1);
  EXPECT_EQ(d->getTotalFrames(), 1u);
  d->stepFrame(1.0f / 60);
  EXPECT_EQ(order, (std::vector<std::string>{"handed-in", "timer@0", "timer@1"}));
  EXPECT_EQ(d->getTotalFrames(), 2u);
  EXPECT_FLOAT_EQ(d->getDeltaTime(), 1.0f / 60);
}

TEST_F(DirectorTest, StoppedAnimationKeepsSchedulerRunningAndClampsResume) {
  Director* d = Director::getInstance();
  int t = 0, calls = 0;
  float lastDt = 0;
  d->getScheduler()->schedulePerFrame([&](float dt) { ++calls; lastDt = dt; }, &t, 0, false);
  d->stopAnimation();
  EXPECT_TRUE(d->isAnimationStopped());
  d->stepFrame(0.1f);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(d->getTotalFrames(), 1u);
  d->setAnimationInterval(1.0f / 30);
  d->startAnimation();
  d->stepFrame(5.0f);  // a long time iconified
  EXPECT_FLOAT_EQ(lastDt, 1.0f / 30);
  d->stepFrame(0.5f);
  EXPECT_FLOAT_EQ(lastDt, 0.5f);
}

TEST_F(DirectorTest, SecondsPerFrameOverride) {
  Director* d = Director::getInstance();
  d->stepFrame();
  EXPECT_GE(d->getSecondsPerFrame(), 0.0f);
  EXPECT_LT(d->getSecondsPerFrame(), 0.3f);
  d->setSecondsPerFrameOverride(0.5f);
  EXPECT_FLOAT_EQ(d->getSecondsPerFrame(), 0.5f);
  d->setSecondsPerFrameOverride(-1);
  EXPECT_LT(d->getSecondsPerFrame(), 0.3f);
}

TEST_F(DirectorTest, EndFlushesSettingsDrainsPoolAndDropsLatePosts) {
  Director* d = Director::getInstance();
  UserDefault::getInstance()->setStringForKey("written-without-flush", "kept");
  std::atomic<int> deaths{0};
  (new Probe(&deaths))->autorelease();
  std::atomic<int> ranLate{0};
  d->getScheduler()->performFunctionInCocosThread([&] { ++ranLate; });  // pending at end
  d->end();
  EXPECT_TRUE(d->isEnded());
  EXPECT_EQ(deaths.load(), 1);
  // A detached thread posting after the end is accepted and dropped.
  std::thread late([&] { Director::getInstance()->getScheduler()->performFunctionInCocosThread([&] { ++ranLate; }); });
  late.join();
  d->stepFrame();
  EXPECT_EQ(ranLate.load(), 0);
  EXPECT_EQ(d->getScheduler()->getPendingFunctionCount(), 0u);

  UserDefault::destroyInstance();  // reopen from the file
  EXPECT_EQ(UserDefault::getInstance()->getStringForKey("written-without-flush", "lost"), "kept");
}

TEST_F(DirectorTest, EndDuringFrameLoopOnlyRequestsQuit) {
  Director* d = Director::getInstance();
  d->setFrameLoopRunning(true);
  d->end();
  EXPECT_TRUE(d->isQuitRequested());
  EXPECT_FALSE(d->isEnded());
  d->setFrameLoopRunning(false);
  d->end();
  EXPECT_TRUE(d->isEnded());
}

TEST_F(DirectorTest, DestroyInstanceStartsAfresh) {
  Director* d = Director::getInstance();
  d->stepFrame();
  Director::destroyInstance();
  Director* fresh = Director::getInstance();
  EXPECT_EQ(fresh->getTotalFrames(), 0u);
  EXPECT_FALSE(fresh->getScheduler()->isFunctionQueueClosed());
}

// A node whose cleanup asks for the texture cache, as widgets releasing their
// pictures do.
namespace {
struct CacheTouchingNode : cocos2d::Node {
  static CacheTouchingNode* create() {
    auto* n = new CacheTouchingNode;
    n->autorelease();
    return n;
  }
  void cleanup() override {
    cocos2d::Director::getInstance()->getTextureCache();
    cocos2d::Node::cleanup();
  }
};
}  // namespace

TEST_F(DirectorTest, CleanupsDuringDestroyLeaveNoCacheOnTheOldScheduler) {
  Director* d = Director::getInstance();
  auto* scene = cocos2d::Scene::create();
  scene->addChild(CacheTouchingNode::create());
  d->runWithScene(scene);
  d->stepFrame();
  Director::destroyInstance();
  // The next Director's cache must be a fresh one on its own scheduler.
  Director* fresh = Director::getInstance();
  auto* cache = fresh->getTextureCache();
  ASSERT_NE(cache, nullptr);
  fresh->stepFrame();
  Director::destroyInstance();
}
