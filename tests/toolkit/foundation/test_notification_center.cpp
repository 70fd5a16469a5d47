// Delivery rules of the notification centre, frame-stepped and headless.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSNotificationCenter.h"

using NSUI::NSNotificationCenter;
using NSUI::NSNotificationData;

namespace {

constexpr float kFrame = 1.0f / 60.0f;

void stepFrame(float dt = kFrame) { cocos2d::Director::getInstance()->stepFrame(dt); }

struct Component : cocos2d::Ref {};

// A payload that counts its live instances.
struct CountedData : NSNotificationData {
  static std::atomic<int> live;
  CountedData() { ++live; }
  ~CountedData() override { --live; }
};
std::atomic<int> CountedData::live{0};

class NotificationCenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& c : components) c = new Component();
    centre = NSNotificationCenter::create();
    // The tick starts 0.5 s after the centre is made.
    stepFrame(0.5f);
  }
  void TearDown() override {
    centre->release();
    for (auto* c : components) c->release();
  }

  // Index 0 stands for null, 1..3 for three components.
  cocos2d::Ref* ref(int i) { return i == 0 ? nullptr : components[i - 1]; }

  // Runs a small script against the centre and returns what was delivered,
  // one bracket per tick: "[target:value ...]".
  //   reg T O ID            register target T for object O and id
  //   post S ID O i|s V     post an int payload V from sender S
  //   cancel S ID O | cancelf S ID O | canceltarget T
  //   remove ID T | removeall T
  //   tick                  one frame
  std::string run(const std::string& script) {
    std::string log;
    std::string tickLog;
    std::istringstream in(script);
    std::string op;
    while (in >> op) {
      if (op == "reg") {
        int t, o, id;
        in >> t >> o >> id;
        centre->addObserver(
            ref(t), ref(o),
            [&tickLog, t](cocos2d::Ref*, unsigned int, NSNotificationData* data) {
              tickLog += (tickLog.empty() ? "" : " ") + std::to_string(t) + ":" +
                         std::to_string(data ? data->intValue : -1);
            },
            id);
      } else if (op == "post") {
        int s, id, o, v;
        std::string kind;
        in >> s >> id >> o >> kind >> v;
        centre->postNotificationInt(ref(s), id, v, ref(o), kind == "i");
      } else if (op == "cancel" || op == "cancelf") {
        int s, id, o;
        in >> s >> id >> o;
        if (op == "cancel")
          centre->cancelNotifications(ref(s), id, ref(o));
        else
          centre->cancelNotificationsInFrame(ref(s), id, ref(o));
      } else if (op == "canceltarget") {
        int t;
        in >> t;
        centre->cancelNotificationsForTarget(ref(t));
      } else if (op == "remove") {
        int id, t;
        in >> id >> t;
        centre->removeObserver(id, ref(t));
      } else if (op == "removeall") {
        int t;
        in >> t;
        centre->removeAllObservers(ref(t));
      } else if (op == "tick") {
        tickLog.clear();
        stepFrame();
        log += "[" + tickLog + "]";
      } else {
        ADD_FAILURE() << "unknown op " << op;
        break;
      }
    }
    return log;
  }

  std::array<Component*, 3> components{};
  NSNotificationCenter* centre = nullptr;
};

struct ScriptCase {
  const char* name;
  const char* script;
  const char* expected;
};

const ScriptCase kCases[] = {
    {"broadcast reaches only broadcast registrations",
     "reg 1 0 100 reg 2 1 100 post 3 100 0 i 7 tick", "[1:7]"},
    {"post for an object reaches only that object's registrations",
     "reg 1 0 100 reg 2 1 100 reg 3 2 100 post 3 100 1 i 7 tick", "[2:7]"},
    {"other ids are not served", "reg 1 0 100 post 2 101 0 i 7 tick", "[]"},
    {"never served to its own sender", "reg 1 0 100 reg 2 0 100 post 1 100 0 i 7 tick", "[2:7]"},
    {"a null target never gets sender-less posts", "reg 0 0 100 reg 1 0 100 post 0 100 0 i 7 tick",
     "[1:7]"},
    {"registrations are served in registration order",
     "reg 2 0 100 reg 1 0 100 post 3 100 0 i 7 tick", "[2:7 1:7]"},
    {"a duplicate registration is ignored", "reg 1 0 100 reg 1 0 100 post 2 100 0 i 7 tick",
     "[1:7]"},
    {"serial posts: one per tick, oldest first",
     "reg 1 0 100 post 2 100 0 s 1 post 2 100 0 s 2 post 2 100 0 s 3 tick tick tick tick",
     "[1:1][1:2][1:3][]"},
    {"immediate posts: all at the next tick, in posting order",
     "reg 1 0 100 post 2 100 0 i 1 post 2 100 0 i 2 post 2 100 0 i 3 tick tick", "[1:1 1:2 1:3][]"},
    {"a serial post stands among immediate ones by posting order",
     "reg 1 0 100 post 2 100 0 i 1 post 2 100 0 i 2 post 2 100 0 s 3 tick tick",
     "[1:1 1:2 1:3][]"},
    {"an older serial entry goes first, the newer waits",
     "reg 1 0 100 post 2 100 0 s 1 post 2 100 0 s 2 post 2 100 0 i 3 tick tick tick",
     "[1:1 1:3][1:2][]"},
    {"a post reaches only the registrations that exist at that moment",
     "reg 1 0 100 post 3 100 0 i 1 reg 2 0 100 tick", "[1:1]"},
    {"cancel drops pending entries of that sender, id and object",
     "reg 1 0 100 reg 1 1 100 post 2 100 0 i 1 post 3 100 0 i 2 post 2 100 1 i 3 cancel 2 100 0 "
     "tick",
     "[1:2 1:3]"},
    {"cancel then re-post delivers only the latest",
     "reg 1 0 100 post 2 100 0 s 1 cancel 2 100 0 post 2 100 0 s 2 cancel 2 100 0 post 2 100 0 s 3 "
     "tick tick",
     "[1:3][]"},
    {"cancelled serial entries do not use up the tick's serial delivery",
     "reg 1 0 100 post 2 100 0 s 1 post 3 100 0 s 2 cancel 2 100 0 tick tick", "[1:2][]"},
    {"cancel in frame and re-post delivers only the last post",
     "reg 1 0 100 post 2 100 0 i 1 cancelf 2 100 0 post 2 100 0 i 2 tick", "[1:2]"},
    {"cancel in frame spares posts of an earlier frame",
     "reg 1 0 100 post 2 100 0 s 1 post 2 100 0 s 2 tick cancelf 2 100 0 tick", "[1:1][1:2]"},
    {"cancel for a target keeps its registrations",
     "reg 1 0 100 reg 2 0 100 post 3 100 0 i 1 canceltarget 1 tick post 3 100 0 i 2 tick",
     "[2:1][1:2 2:2]"},
    {"remove drops that id's registration and its pending entries",
     "reg 1 0 100 reg 1 0 200 post 2 100 0 s 1 post 2 200 0 i 2 remove 100 1 tick tick "
     "post 2 100 0 i 3 tick",
     "[1:2][][]"},
    {"remove all drops every registration of the target",
     "reg 1 0 100 reg 1 0 200 reg 2 0 100 post 3 100 0 i 1 post 3 200 0 i 2 removeall 1 tick",
     "[2:1]"},
};

TEST_F(NotificationCenterTest, DeliveryRules) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run(c.script), c.expected);
    for (int t = 0; t <= 3; ++t) centre->removeAllObservers(ref(t));
    stepFrame();
    stepFrame();
  }
}

TEST_F(NotificationCenterTest, DuplicateRegistrationKeepsFirstCallback) {
  std::string got;
  auto* a = ref(1);
  centre->addObserver(a, nullptr, [&](cocos2d::Ref*, unsigned int, NSNotificationData*) { got += "first"; }, 5);
  centre->addObserver(a, nullptr, [&](cocos2d::Ref*, unsigned int, NSNotificationData*) { got += "second"; }, 5);
  EXPECT_TRUE(centre->hasObserver(5, nullptr, a));
  EXPECT_FALSE(centre->hasObserver(5, ref(2), a));
  centre->postNotification(nullptr, 5, nullptr, nullptr, true);
  stepFrame();
  EXPECT_EQ(got, "first");
}

TEST_F(NotificationCenterTest, CallbackGetsSenderIdAndTypedPayload) {
  struct Got {
    cocos2d::Ref* sender = nullptr;
    unsigned int id = 0;
    NSNotificationData copy;
  } got;
  auto record = [&](cocos2d::Ref* sender, unsigned int id, NSNotificationData* d) {
    got.sender = sender;
    got.id = id;
    got.copy.text = d->text;
    got.copy.intValue = d->intValue;
    got.copy.floatValue = d->floatValue;
    got.copy.indexValue = d->indexValue;
    got.copy.taskValue = d->taskValue;
  };
  auto* obj = ref(3);
  for (int id : {1, 2, 3, 4, 9109}) {
    centre->addObserver(ref(1), nullptr, record, id);
    centre->addObserver(ref(1), obj, record, id);
  }

  centre->postNotificationText(ref(2), 1, "{\"a\":1}", nullptr, true);
  stepFrame();
  EXPECT_EQ(got.sender, ref(2));
  EXPECT_EQ(got.id, 1u);
  EXPECT_EQ(got.copy.text, "{\"a\":1}");

  centre->postNotificationFloat(ref(2), 2, 0.25f, nullptr, false);
  stepFrame();
  EXPECT_EQ(got.id, 2u);
  EXPECT_FLOAT_EQ(got.copy.floatValue, 0.25f);

  centre->postNotificationTaskValue(3, 42, true);
  stepFrame();
  EXPECT_EQ(got.sender, nullptr);
  EXPECT_EQ(got.id, 3u);
  EXPECT_EQ(got.copy.taskValue, 42);

  centre->postNotificationIndex(ref(2), 17, obj);
  stepFrame();
  EXPECT_EQ(got.id, 9109u);
  EXPECT_EQ(got.copy.indexValue, 17);
}

TEST_F(NotificationCenterTest, PayloadLivesUntilDeliveredOrDropped) {
  // Posted to nobody: freed when the poster releases it.
  auto* lonely = new CountedData();
  centre->postNotification(ref(1), 1, lonely, nullptr, true);
  lonely->release();
  EXPECT_EQ(CountedData::live, 0);

  // Held by its entries until the tick that delivers them; an observer that
  // retains it keeps it.
  NSNotificationData* kept = nullptr;
  centre->addObserver(ref(2), nullptr, [&](cocos2d::Ref*, unsigned int, NSNotificationData* d) {
    if (!kept) {
      kept = d;
      d->retain();
    }
  }, 1);
  centre->addObserver(ref(3), nullptr, [](cocos2d::Ref*, unsigned int, NSNotificationData*) {}, 1);
  auto* data = new CountedData();
  centre->postNotification(ref(1), 1, data, nullptr, false);
  data->release();
  EXPECT_EQ(CountedData::live, 1);
  stepFrame();  // first serial entry: to ref(2), which keeps it
  EXPECT_EQ(CountedData::live, 1);
  stepFrame();  // second serial entry: to ref(3)
  EXPECT_EQ(CountedData::live, 1);
  kept->release();
  EXPECT_EQ(CountedData::live, 0);

  // Entries dropped by a removal release their payload.
  auto* dropped = new CountedData();
  centre->postNotification(ref(1), 1, dropped, nullptr, false);
  dropped->release();
  centre->removeAllObservers(ref(2));
  centre->removeAllObservers(ref(3));
  EXPECT_EQ(CountedData::live, 0);
}

TEST_F(NotificationCenterTest, PayloadObjectIsRetainedAndReleased) {
  auto* payloadObject = new Component();
  auto* data = new NSNotificationData();
  data->setObject(payloadObject);
  EXPECT_EQ(payloadObject->getReferenceCount(), 2u);
  data->setObject(payloadObject);  // same object again: count unchanged
  EXPECT_EQ(payloadObject->getReferenceCount(), 2u);
  data->init();
  EXPECT_EQ(data->object, nullptr);
  EXPECT_EQ(payloadObject->getReferenceCount(), 1u);
  data->setObject(payloadObject);
  data->release();
  EXPECT_EQ(payloadObject->getReferenceCount(), 1u);
  payloadObject->release();
}

TEST_F(NotificationCenterTest, CallbackRemovingAnotherRegistrationStopsItsDeliveryThisTick) {
  std::string got;
  centre->addObserver(ref(1), nullptr, [&](cocos2d::Ref*, unsigned int, NSNotificationData*) {
    got += "1";
    centre->removeAllObservers(ref(2));
  }, 7);
  centre->addObserver(ref(2), nullptr, [&](cocos2d::Ref*, unsigned int, NSNotificationData*) { got += "2"; }, 7);
  centre->postNotification(ref(3), 7, nullptr, nullptr, true);
  centre->postNotification(ref(3), 7, nullptr, nullptr, true);
  stepFrame();
  EXPECT_EQ(got, "11");
}

TEST_F(NotificationCenterTest, CallbackMayRemoveItsOwnRegistrationAndPost) {
  int calls = 0;
  // The callback's captured state must survive its own removal.
  auto token = std::make_shared<int>(5);
  centre->addObserver(ref(1), nullptr, [&, token](cocos2d::Ref*, unsigned int, NSNotificationData*) {
    centre->removeObserver(8, ref(1));
    calls += *token;
    centre->postNotification(ref(1), 9, nullptr, nullptr, true);
  }, 8);
  std::string later;
  centre->addObserver(ref(2), nullptr, [&](cocos2d::Ref*, unsigned int, NSNotificationData*) { later += "x"; }, 9);
  centre->postNotification(ref(3), 8, nullptr, nullptr, true);
  centre->postNotification(ref(3), 8, nullptr, nullptr, true);
  stepFrame();
  EXPECT_EQ(calls, 5);
  EXPECT_EQ(later, "");  // a post made by a callback waits for a later tick
  stepFrame();
  EXPECT_EQ(later, "x");
}

TEST(NotificationCenterStart, PostsBeforeTheFirstTickArriveAtIt) {
  auto* centre = NSNotificationCenter::create();
  auto* sender = new Component();
  int target = 0;
  std::string got;
  centre->addObserver(&target, nullptr, [&](cocos2d::Ref*, unsigned int id, NSNotificationData* d) {
    got += std::to_string(d->intValue);
  }, 1);
  centre->postNotificationInt(sender, 1, 1, nullptr, false);
  centre->postNotificationInt(sender, 1, 2, nullptr, false);
  centre->postNotificationInt(sender, 1, 3, nullptr, true);
  stepFrame(0.25f);
  EXPECT_EQ(got, "");
  stepFrame(0.25f);  // 0.5 s after creation: the first tick
  EXPECT_EQ(got, "13");
  stepFrame();
  EXPECT_EQ(got, "132");
  centre->release();
  sender->release();
}

// Eight threads post at once, immediate and serial, while another thread
// keeps cancelling for a sender nobody uses: nothing is lost, and each
// thread's posts of each kind arrive in the order they were made.
TEST(NotificationCenterThreads, EightPostingThreadsLoseAndReorderNothing) {
  constexpr int kThreads = 8;
  constexpr int kPerKind = 150;
  auto* centre = NSNotificationCenter::create();
  stepFrame(0.5f);
  int target = 0;
  std::vector<std::vector<int>> immediate(kThreads), serial(kThreads);
  centre->addObserver(&target, nullptr, [&](cocos2d::Ref*, unsigned int, NSNotificationData* d) {
    immediate[d->intValue].push_back(d->indexValue);
  }, 1);
  centre->addObserver(&target, nullptr, [&](cocos2d::Ref*, unsigned int, NSNotificationData* d) {
    serial[d->intValue].push_back(d->indexValue);
  }, 2);

  std::vector<cocos2d::Ref*> senders;
  for (int t = 0; t < kThreads + 1; ++t) senders.push_back(new Component());
  std::atomic<bool> go{false};
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < kPerKind; ++i) {
        for (bool imm : {true, false}) {
          auto* d = new NSNotificationData();
          d->intValue = t;
          d->indexValue = i;
          centre->postNotification(senders[t], imm ? 1 : 2, d, nullptr, imm);
          d->release();
        }
      }
      ++finished;
    });
  }
  std::thread canceller([&] {
    while (!go) std::this_thread::yield();
    while (finished < kThreads) centre->cancelNotifications(senders[kThreads], 2, nullptr);
  });
  go = true;
  // Deliver while they post; then until the serial queue has drained.
  // The bound only keeps a broken build from hanging; frames are cheap, so
  // it is wall time, not a frame count.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  size_t serialCount = 0;
  while (std::chrono::steady_clock::now() < giveUp) {
    stepFrame();
    serialCount = 0;
    for (auto& v : serial) serialCount += v.size();
    if (finished == kThreads && serialCount == size_t(kThreads) * kPerKind) break;
  }
  for (auto& th : threads) th.join();
  canceller.join();
  stepFrame();

  std::vector<int> expected(kPerKind);
  for (int i = 0; i < kPerKind; ++i) expected[i] = i;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(immediate[t], expected) << "immediate posts of thread " << t;
    EXPECT_EQ(serial[t], expected) << "serial posts of thread " << t;
  }
  centre->release();
  for (auto* s : senders) s->release();
}

}  // namespace
