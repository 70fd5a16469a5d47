// The data-object manager's tick, stop and the data objects' HTTP
// cancellation, frame-stepped.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSDataManager.h"
#include "toolkit/foundation/NSHttpClient.h"

using NSUI::NSDataManager;
using NSUI::NSDatas;

namespace {

constexpr float kDt = 0.25f;  // four frames a second, exact in binary

void stepFrame() { cocos2d::Director::getInstance()->stepFrame(kDt); }

// Steps frames until pred() holds; the bound only keeps a broken build from
// hanging.
bool stepUntil(const std::function<bool()>& pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    stepFrame();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A loopback port with nothing listening: requests to it fail at once.
int closedPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

// A data object that acts on every tickInterval-th tick, as the derived
// objects of the system count.
class CountingData : public NSDatas {
 public:
  CountingData(NSDataManager* manager, std::vector<std::string>* log, const std::string& name,
               int interval)
      : log_(log), name_(name) {
    init();
    tickInterval = interval;
    manager->dataObjects.pushBack(this);
    release();  // the manager's list holds it
  }
  ~CountingData() override { log_->push_back(name_ + ":gone"); }
  void update(float) override {
    ++ticks;
    if (++tickCount >= tickInterval) {
      tickCount = 0;
      ++actions;
    }
  }
  void stop() override {
    log_->push_back(name_ + ":stop");
    NSDatas::stop();
  }
  int ticks = 0;
  int actions = 0;

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

class DataManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cocos2d::Director::getInstance();  // the UI thread is this one
    manager = new NSDataManager();
    manager->init();
  }
  void TearDown() override {
    manager->stop();
    manager->release();
  }
  CountingData* add(const std::string& name, int interval) {
    auto* d = new CountingData(manager, &log, name, interval);
    objects.push_back(d);
    names.push_back(name);
    return d;
  }
  bool scheduled() {
    return cocos2d::Director::getInstance()->getScheduler()->isScheduled("_nsDataManager", manager);
  }

  NSDataManager* manager = nullptr;
  std::vector<std::string> log;
  std::vector<cocos2d::Ref*> objects;
  std::vector<std::string> names;
};

TEST_F(DataManagerTest, TickComesHalfASecondAfterEnablingThenEverySecond) {
  auto* d = add("a", 1);
  manager->setEnabled(true);
  manager->setEnabled(true);  // once only
  EXPECT_TRUE(manager->scheduled);
  std::vector<int> tickFrames;
  for (int frame = 1; frame <= 14; ++frame) {
    const int before = d->ticks;
    stepFrame();
    ASSERT_LE(d->ticks - before, 1);  // one tick per second, never two
    if (d->ticks > before) tickFrames.push_back(frame);
  }
  // 0.5 s, 1.5 s, 2.5 s, 3.5 s at four frames a second.
  EXPECT_EQ(tickFrames, (std::vector<int>{2, 6, 10, 14}));

  manager->setEnabled(false);
  EXPECT_FALSE(scheduled());
  for (int frame = 0; frame < 8; ++frame) stepFrame();
  EXPECT_EQ(d->ticks, 4);
  manager->setEnabled(false);  // not scheduled: nothing
  EXPECT_FALSE(manager->scheduled);
}

TEST_F(DataManagerTest, ObjectWithInterval20ActsEvery20thTick) {
  auto* every = add("every", 1);
  auto* twenty = add("twenty", 20);
  for (int i = 0; i < 45; ++i) manager->update(1.0f);
  EXPECT_EQ(every->actions, 45);
  EXPECT_EQ(twenty->actions, 2);
  EXPECT_EQ(twenty->tickCount, 5);
}

TEST_F(DataManagerTest, StopStopsEveryObjectThenReleasesAndUnschedules) {
  add("a", 1);
  add("b", 1);
  manager->setEnabled(true);
  manager->stop();
  EXPECT_EQ(log, (std::vector<std::string>{"a:stop", "b:stop", "a:gone", "b:gone"}));
  EXPECT_TRUE(manager->dataObjects.empty());
  EXPECT_FALSE(manager->scheduled);
  EXPECT_FALSE(scheduled());
  objects.clear();

  manager->setEnabled(true);  // schedules again
  EXPECT_TRUE(scheduled());
}

// Stopping a data object cancels its HTTP requests: no answer reaches it,
// while an object that was not stopped gets the answer to the same request
// sent after it.
TEST_F(DataManagerTest, StopCancelsTheObjectsHttpRequests) {
  struct Fetcher : NSDatas {
    std::vector<std::string> answers;
    void onHttpResponse(NSUI::UIHttpResponse* response) override { answers.push_back(response->tag); }
  };
  auto* stopped = new Fetcher();
  stopped->init();
  manager->dataObjects.pushBack(stopped);  // the test keeps its own reference
  auto* control = new Fetcher();
  control->init();

  const std::string url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/";
  stopped->doHttpGet(url, "", "stopped");
  control->doHttpGet(url, "", "control");
  manager->stop();
  ASSERT_TRUE(stepUntil([&] { return !control->answers.empty(); }));
  for (int i = 0; i < 5; ++i) stepFrame();
  EXPECT_EQ(control->answers, std::vector<std::string>{"control"});
  EXPECT_TRUE(stopped->answers.empty());
  stopped->release();
  control->release();
}

TEST_F(DataManagerTest, ObjectRegisteredDuringATickWaitsForTheNext) {
  struct Spawner : NSDatas {
    NSDataManager* manager = nullptr;
    std::vector<std::string>* log = nullptr;
    std::vector<cocos2d::Ref*>* objects = nullptr;
    std::vector<std::string>* names = nullptr;
    CountingData* spawned = nullptr;
    void update(float) override {
      if (!spawned) {
        spawned = new CountingData(manager, log, "late", 1);
        objects->push_back(spawned);
        names->push_back("late");
      }
    }
  };
  auto* s = new Spawner();
  s->init();
  s->manager = manager;
  s->log = &log;
  s->objects = &objects;
  s->names = &names;
  manager->dataObjects.pushBack(s);
  s->release();
  manager->update(1.0f);
  ASSERT_NE(s->spawned, nullptr);
  EXPECT_EQ(s->spawned->ticks, 0);
  manager->update(1.0f);
  EXPECT_EQ(s->spawned->ticks, 1);
}

}  // namespace
