// The notification centre made first off the UI thread, and the teardown of
// the toolkit's singletons. A purge is for good, so this file holds one test.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSDataManager.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSThread.h"

using NSUI::NSDataManager;
using NSUI::NSNotificationCenter;
using NSUI::NSNotificationData;

namespace {

void stepFrame(float dt = 1.0f / 60.0f) { cocos2d::Director::getInstance()->stepFrame(dt); }

struct Watch : NSUI::NSDatas {
  std::vector<std::string>* log = nullptr;
  void stop() override {
    // The centre is already gone at this point of the teardown: asking for
    // it must not make a new one.
    log->push_back(NSNotificationCenter::getInstance() ? "stop:centre" : "stop:no-centre");
    NSDatas::stop();
  }
  ~Watch() override { log->push_back("released"); }
};

TEST(SingletonTeardown, CentreMadeOffTheUIThreadThenEverythingPurgedForGood) {
  auto* director = cocos2d::Director::getInstance();  // the UI thread is this one

  // Several workers ask for the centre at once; one centre results.
  std::vector<NSNotificationCenter*> seen(6, nullptr);
  std::vector<std::thread> workers;
  std::atomic<bool> go{false};
  for (size_t i = 0; i < seen.size(); ++i) {
    workers.emplace_back([&, i] {
      while (!go) std::this_thread::yield();
      seen[i] = NSNotificationCenter::getInstance();
    });
  }
  go = true;
  for (auto& w : workers) w.join();
  NSNotificationCenter* centre = seen[0];
  ASSERT_NE(centre, nullptr);
  for (auto* c : seen) EXPECT_EQ(c, centre);
  EXPECT_EQ(NSNotificationCenter::getInstance(), centre);

  // Its tick gets scheduled on the UI thread and delivers a worker's post.
  int target = 0;
  std::string got;
  centre->addObserver(&target, nullptr, [&](cocos2d::Ref*, unsigned int, NSNotificationData* d) {
    got = d->text;
  }, 2001);
  std::thread poster([] { NSNotificationCenter::getInstance()->postNotificationText(nullptr, 2001, "hello", nullptr, true); });
  poster.join();
  stepFrame();  // runs the hand-off that schedules the tick
  EXPECT_TRUE(director->getScheduler()->isScheduled("_NSNotificationCenter", centre));
  for (int i = 0; i < 40 && got.empty(); ++i) stepFrame();
  EXPECT_EQ(got, "hello");

  // Teardown.
  std::vector<std::string> log;
  auto* manager = NSDataManager::getInstance();
  ASSERT_NE(manager, nullptr);
  manager->setEnabled(true);
  auto* watch = new Watch();
  watch->init();
  watch->log = &log;
  manager->dataObjects.pushBack(watch);
  watch->release();

  NSUI::purgeSingletons();
  EXPECT_EQ(log, (std::vector<std::string>{"stop:no-centre", "released"}));
  EXPECT_FALSE(director->getScheduler()->isScheduled("_NSNotificationCenter", centre));
  EXPECT_FALSE(director->getScheduler()->isScheduled("_nsDataManager", manager));
  EXPECT_EQ(NSNotificationCenter::getInstance(), nullptr);
  EXPECT_EQ(NSDataManager::getInstance(), nullptr);

  // A second call does nothing.
  log.clear();
  NSUI::purgeSingletons();
  EXPECT_TRUE(log.empty());
}

}  // namespace
