// Reference counting, ids and per-thread autorelease pools.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"

USING_NS_CC;

namespace {

// Counts destructions so tests can see when an object really dies.
struct Tracked : public Ref {
  explicit Tracked(std::atomic<int>* d) : deaths(d) {}
  ~Tracked() override { deaths->fetch_add(1); }
  std::atomic<int>* deaths;
};

}  // namespace

TEST(Ref, CountStartsAtOneAndDeletesAtZero) {
  std::atomic<int> deaths{0};
  auto* obj = new Tracked(&deaths);
  EXPECT_EQ(obj->getReferenceCount(), 1u);
  obj->retain();
  obj->release();
  EXPECT_EQ(deaths.load(), 0);
  obj->release();
  EXPECT_EQ(deaths.load(), 1);
}

TEST(Ref, IdsAreLazyUniqueNonZeroAndStable) {
  std::atomic<int> deaths{0};
  auto* a = new Tracked(&deaths);
  auto* b = new Tracked(&deaths);
  unsigned ia = a->getRefID();
  unsigned ib = b->getRefID();
  EXPECT_NE(ia, 0u);
  EXPECT_NE(ib, 0u);
  EXPECT_NE(ia, ib);
  EXPECT_EQ(a->getRefID(), ia);
  EXPECT_LE(ia, 0x7fffffffu);
  // An object that never asks uses no id: the next one follows directly.
  auto* silent = new Tracked(&deaths);
  auto* c = new Tracked(&deaths);
  EXPECT_EQ(c->getRefID(), ib + 1);
  EXPECT_TRUE(a->equal(a));
  EXPECT_FALSE(a->equal(b));
  EXPECT_FALSE(a->equal(nullptr));
  for (Ref* r : {static_cast<Ref*>(a), static_cast<Ref*>(b), static_cast<Ref*>(silent), static_cast<Ref*>(c)})
    r->release();
}

TEST(Ref, IdsFromManyThreadsAreUnique) {
  constexpr int kThreads = 8, kPer = 500;
  std::atomic<int> deaths{0};
  std::vector<Tracked*> objs;
  for (int i = 0; i < kThreads * kPer; ++i) objs.push_back(new Tracked(&deaths));
  std::vector<std::vector<unsigned>> ids(kThreads);
  std::vector<std::thread> threads;
  // Every thread asks every object: all must agree on each object's id.
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (auto* o : objs) ids[t].push_back(o->getRefID());
    });
  for (auto& th : threads) th.join();
  std::set<unsigned> unique(ids[0].begin(), ids[0].end());
  EXPECT_EQ(unique.size(), objs.size());
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(ids[t], ids[0]);
  for (auto* o : objs) o->release();
}

TEST(Ref, CrossThreadRetainReleaseKeepsCount) {
  std::atomic<int> deaths{0};
  auto* obj = new Tracked(&deaths);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([obj] {
      for (int i = 0; i < 20000; ++i) {
        obj->retain();
        obj->release();
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(obj->getReferenceCount(), 1u);
  EXPECT_EQ(deaths.load(), 0);
  obj->release();
  EXPECT_EQ(deaths.load(), 1);
}

TEST(Ref, ObjectReleasedOnLastThreadDies) {
  // Handing the last reference to another thread deletes it there.
  std::atomic<int> deaths{0};
  std::vector<Tracked*> objs;
  for (int i = 0; i < 1000; ++i) {
    objs.push_back(new Tracked(&deaths));
    objs.back()->retain();
  }
  std::thread a([&] { for (auto* o : objs) o->release(); });
  std::thread b([&] { for (auto* o : objs) o->release(); });
  a.join();
  b.join();
  EXPECT_EQ(deaths.load(), 1000);
}

TEST(AutoreleasePool, UiPoolReleasesOnClearAndNestedPoolsStack) {
  std::atomic<int> deaths{0};
  auto* outer = new Tracked(&deaths);
  outer->autorelease();
  {
    AutoreleasePool inner;
    EXPECT_EQ(PoolManager::getInstance()->getCurrentPool(), &inner);
    auto* obj = new Tracked(&deaths);
    obj->autorelease();
    EXPECT_TRUE(inner.contains(obj));
  }  // inner pool drains here
  EXPECT_EQ(deaths.load(), 1);
  EXPECT_TRUE(PoolManager::getInstance()->isObjectInPools(outer));
  PoolManager::getInstance()->drainCurrentThread();
  EXPECT_EQ(deaths.load(), 2);
}

TEST(AutoreleasePool, RegisteredWorkerReleasesAtRemoveThread) {
  std::atomic<int> deaths{0};
  std::atomic<bool> aliveBeforeRemove{false};
  std::atomic<bool> inWorkerPool{false};
  std::thread worker([&] {
    // Registered by the worker itself here; the launcher may do it too.
    auto id = std::this_thread::get_id();
    PoolManager::getInstance()->addThread(id);
    auto* obj = new Tracked(&deaths);
    obj->autorelease();
    inWorkerPool = PoolManager::getInstance()->getCurrentPool()->contains(obj);
    aliveBeforeRemove = (deaths.load() == 0);
    PoolManager::getInstance()->removeThread(id);
    EXPECT_EQ(deaths.load(), 1);
  });
  worker.join();
  EXPECT_TRUE(inWorkerPool.load());
  EXPECT_TRUE(aliveBeforeRemove.load());
  EXPECT_EQ(deaths.load(), 1);
  // The UI pool never saw it.
  EXPECT_EQ(PoolManager::getInstance()->getCurrentPool()->getObjectCount(), 0u);
}

TEST(AutoreleasePool, LauncherRegistersWorkerBeforeItRuns) {
  std::atomic<int> deaths{0};
  std::atomic<bool> go{false};
  std::thread worker([&] {
    while (!go) std::this_thread::yield();
    (new Tracked(&deaths))->autorelease();
    (new Tracked(&deaths))->autorelease();
    PoolManager::getInstance()->drainCurrentThread();  // long-lived worker drains per request
    EXPECT_EQ(deaths.load(), 2);
    (new Tracked(&deaths))->autorelease();
  });
  const auto id = worker.get_id();
  PoolManager::getInstance()->addThread(id);
  go = true;
  worker.join();
  // removeThread after the thread ended drains what is left (if exit did not).
  PoolManager::getInstance()->removeThread(id);
  EXPECT_EQ(deaths.load(), 3);
}

TEST(AutoreleasePool, UnregisteredThreadGetsPoolDrainedAtExit) {
  std::atomic<int> deaths{0};
  std::atomic<bool> aliveInThread{false};
  std::thread worker([&] {
    (new Tracked(&deaths))->autorelease();
    aliveInThread = (deaths.load() == 0);
  });
  worker.join();
  EXPECT_TRUE(aliveInThread.load());
  EXPECT_EQ(deaths.load(), 1);
}

TEST(AutoreleasePool, ManyWorkersAutoreleaseConcurrently) {
  std::atomic<int> deaths{0};
  constexpr int kThreads = 8, kPer = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      auto id = std::this_thread::get_id();
      PoolManager::getInstance()->addThread(id);
      for (int i = 0; i < kPer; ++i) {
        auto* o = new Tracked(&deaths);
        o->autorelease();
        if (i % 100 == 99) PoolManager::getInstance()->drainCurrentThread();
      }
      PoolManager::getInstance()->removeThread(id);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(deaths.load(), kThreads * kPer);
}

#ifndef NDEBUG
TEST(Ref, LeakCheckCountsLiveObjects) {
  Ref::enableCheckMemory();
  std::atomic<int> deaths{0};
  size_t before = Ref::getLiveObjectCount();
  auto* obj = new Tracked(&deaths);
  EXPECT_EQ(Ref::getLiveObjectCount(), before + 1);
  Ref::printLeaks();
  obj->release();
  EXPECT_EQ(Ref::getLiveObjectCount(), before);
}
#endif
