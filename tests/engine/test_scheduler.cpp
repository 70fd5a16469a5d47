// Timers, update callbacks and the hand-off queue under a stepped clock.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"

USING_NS_CC;

namespace {

enum class Step { None, UnscheduleAfter2, RescheduleTo05AtFirst, RescheduleTo05AfterFrame3 };

struct TimerCase {
  const char* name;
  float interval;
  float delay;
  unsigned repeat;
  Step action;
  float dt;
  int frames;
  std::vector<int> expected;  // 1-based frame numbers of the calls
};

std::vector<int> runTimer(const TimerCase& c) {
  Scheduler s;
  int target = 0;
  std::vector<int> calls;
  int frame = 0;
  s.schedule(
      [&](float) {
        calls.push_back(frame);
        if (c.action == Step::UnscheduleAfter2 && calls.size() == 2) s.unschedule("k", &target);
        if (c.action == Step::RescheduleTo05AtFirst && calls.size() == 1)
          s.schedule([](float) {}, &target, 0.5f, CC_REPEAT_FOREVER, 0, false, "k");
      },
      &target, c.interval, c.repeat, c.delay, false, "k");
  for (frame = 1; frame <= c.frames; ++frame) {
    s.update(c.dt);
    if (c.action == Step::RescheduleTo05AfterFrame3 && frame == 3)
      s.schedule([](float) {}, &target, 0.5f, CC_REPEAT_FOREVER, 0, false, "k");
  }
  return calls;
}

}  // namespace

TEST(Scheduler, TimerTable) {
  const float f60 = 1.0f / 60.0f;
  const TimerCase cases[] = {
      {"interval 0 fires every frame", 0, 0, CC_REPEAT_FOREVER, Step::None, f60, 4, {1, 2, 3, 4}},
      {"interval shorter than a frame: one call per frame, no catch-up", 0.005f, 0,
       CC_REPEAT_FOREVER, Step::None, f60, 5, {1, 2, 3, 4, 5}},
      {"one second at 60 fps", 1.0f, 0, CC_REPEAT_FOREVER, Step::None, f60, 125, {60, 120}},
      {"every frame after a half-second delay", 0, 0.5f, CC_REPEAT_FOREVER, Step::None, f60, 33,
       {30, 31, 32, 33}},
      {"one second after a half-second delay", 1.0f, 0.5f, CC_REPEAT_FOREVER, Step::None, f60,
       160, {30, 90, 150}},
      {"delay 5, interval 1, repeat 1: two calls at 5 s and 6 s", 1.0f, 5.0f, 1, Step::None, f60,
       600, {300, 360}},
      {"repeat 0 is a single call", 0.1f, 0, 0, Step::None, 0.05f, 20, {2}},
      {"unschedule inside the callback", 0, 0, CC_REPEAT_FOREVER, Step::UnscheduleAfter2, f60, 6,
       {1, 2}},
      {"rescheduling keeps pending time, changes the interval", 1.0f, 0, CC_REPEAT_FOREVER,
       Step::RescheduleTo05AtFirst, 0.25f, 9, {4, 6, 8}},
      {"rescheduling from outside: 0.75 s already pending passes the new 0.5 s at once", 1.0f, 0,
       CC_REPEAT_FOREVER, Step::RescheduleTo05AfterFrame3, 0.25f, 6, {4, 6}},
      {"large frames still fire once per frame", 0.1f, 0, 3, Step::None, 1.0f, 6, {1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(runTimer(c), c.expected);
  }
}

TEST(Scheduler, OrderUpdatesByPriorityThenTimersInScheduleOrder) {
  Scheduler s;
  std::vector<std::string> order;
  int a = 0, b = 0, c = 0;
  s.schedule([&](float) { order.push_back("timer-b"); }, &b, 0, false, "x");
  s.schedule([&](float) { order.push_back("timer-a"); }, &a, 0, false, "x");
  s.schedulePerFrame([&](float) { order.push_back("update+5"); }, &c, 5, false);
  s.schedulePerFrame([&](float) { order.push_back("update-1"); }, &a, -1, false);
  s.performFunctionInCocosThread([&] { order.push_back("handed-in"); });
  s.update(0.016f);
  EXPECT_EQ(order, (std::vector<std::string>{"handed-in", "update-1", "update+5", "timer-b", "timer-a"}));
}

TEST(Scheduler, PauseResumeAndRemovalByTarget) {
  Scheduler s;
  int t = 0;
  int calls = 0, updates = 0;
  s.schedule([&](float) { ++calls; }, &t, 0.1f, false, "k");
  s.schedulePerFrame([&](float) { ++updates; }, &t, 0, false);
  s.pauseTarget(&t);
  for (int i = 0; i < 10; ++i) s.update(0.05f);
  EXPECT_EQ(calls, 0);  // paused time does not accumulate
  EXPECT_EQ(updates, 0);
  s.resumeTarget(&t);
  s.update(0.05f);
  EXPECT_EQ(calls, 0);
  s.update(0.05f);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(updates, 2);
  EXPECT_TRUE(s.isScheduled("k", &t));
  s.unscheduleAllForTarget(&t);
  EXPECT_FALSE(s.isScheduled("k", &t));
  s.update(1.0f);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(updates, 2);
}

TEST(Scheduler, CallbackMayUnscheduleOthersAndItsOwnTarget) {
  Scheduler s;
  int a = 0, b = 0;
  int bCalls = 0;
  s.schedule([&](float) { s.unscheduleAllForTarget(&b); s.unscheduleAll(); }, &a, 0, false, "a");
  s.schedule([&](float) { ++bCalls; }, &b, 0, false, "b");
  s.update(0.1f);
  s.update(0.1f);
  EXPECT_EQ(bCalls, 0);
  EXPECT_FALSE(s.isScheduled("a", &a));
}

namespace {
struct Ticker : public Ref {
  int ticks = 0;
  void tick(float) { ++ticks; }
  void update(float) { ++ticks; }
};
}  // namespace

TEST(Scheduler, SelectorAndUpdateForms) {
  Scheduler s;
  auto* t = new Ticker;
  s.schedule(CC_SCHEDULE_SELECTOR(Ticker::tick), t, 0, false);
  EXPECT_TRUE(s.isScheduled(CC_SCHEDULE_SELECTOR(Ticker::tick), t));
  s.scheduleUpdate(t, 0, false);
  s.update(0.1f);
  EXPECT_EQ(t->ticks, 2);
  s.unschedule(CC_SCHEDULE_SELECTOR(Ticker::tick), t);
  s.unscheduleUpdate(t);
  s.update(0.1f);
  EXPECT_EQ(t->ticks, 2);
  t->release();
}

TEST(HandOff, FunctionPostedDuringBatchWaitsForNextFrame) {
  Scheduler s;
  std::vector<int> ran;
  s.performFunctionInCocosThread([&] {
    ran.push_back(1);
    s.performFunctionInCocosThread([&] { ran.push_back(2); });
  });
  s.update(0);
  EXPECT_EQ(ran, std::vector<int>{1});
  s.update(0);
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST(HandOff, RemovingOwnerDropsRestOfRunningBatch) {
  Scheduler s;
  int owner = 0, other = 0;
  std::vector<std::string> ran;
  s.performFunctionInCocosThread(&owner, [&] {
    ran.push_back("owner-1");
    s.removeFunctionInCocosThread(&owner);  // e.g. the owner is being destroyed
  });
  s.performFunctionInCocosThread(&other, [&] { ran.push_back("other"); });
  s.performFunctionInCocosThread(&owner, [&] { ran.push_back("owner-2"); });
  s.performFunctionInCocosThread([&] { ran.push_back("stock"); });
  s.update(0);
  EXPECT_EQ(ran, (std::vector<std::string>{"owner-1", "other", "stock"}));
  EXPECT_EQ(s.getPendingFunctionCount(), 0u);
}

TEST(HandOff, ManyThreadsKeepPerThreadOrderAndLoseNothing) {
  for (int threads : {4, 8}) {
    Scheduler s;
    constexpr int kPer = 2000;
    std::vector<std::vector<int>> seen(threads);
    std::atomic<int> done{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t)
      posters.emplace_back([&, t] {
        for (int i = 0; i < kPer; ++i) {
          if (i % 2) s.performFunctionInCocosThread(&seen[t], [&, t, i] { seen[t].push_back(i); });
          else s.performFunctionInCocosThread([&, t, i] { seen[t].push_back(i); });
        }
        ++done;
      });
    // The UI thread steps frames while the posters run.
    while (done.load() < threads) s.update(1.0f / 60);
    for (auto& p : posters) p.join();
    s.update(1.0f / 60);
    for (int t = 0; t < threads; ++t) {
      ASSERT_EQ(seen[t].size(), static_cast<size_t>(kPer)) << "thread " << t;
      for (int i = 0; i < kPer; ++i) ASSERT_EQ(seen[t][i], i);
    }
  }
}

TEST(HandOff, RemovalByOwnerWhilePostersRun) {
  Scheduler s;
  constexpr int kThreads = 4, kPer = 1000;
  int dead = 0;  // the owner being removed
  std::atomic<bool> removed{false};
  std::atomic<int> afterRemoval{0};
  std::atomic<int> live{0};
  std::atomic<int> done{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPer; ++i) {
        if (t == 0) s.performFunctionInCocosThread(&dead, [&] { if (removed) ++afterRemoval; });
        else s.performFunctionInCocosThread(&live, [&] { ++live; });
      }
      ++done;
    });
  while (done.load() < kThreads) s.update(0);
  for (auto& p : posters) p.join();
  s.removeFunctionInCocosThread(&dead);
  removed = true;
  s.update(0);
  s.update(0);
  EXPECT_EQ(afterRemoval.load(), 0);
  EXPECT_EQ(live.load(), (kThreads - 1) * kPer);
}
