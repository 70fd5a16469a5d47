// Hot paths of the engine core against plain standard-library references:
//  - autorelease + per-frame drain vs. new/delete of the same object;
//  - hand-off queue post + frame run vs. a mutex-guarded deque of functions;
//  - Ref retain/release vs. std::shared_ptr copies.
#include <benchmark/benchmark.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/cocos2d.h"

USING_NS_CC;

namespace {
struct Obj : public Ref {
  int v = 0;
};
constexpr int kBatch = 1000;
}  // namespace

static void BM_AutoreleaseAndDrain(benchmark::State& state) {
  auto* pool = PoolManager::getInstance()->getCurrentPool();
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) (new Obj)->autorelease();
    pool->clear();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_AutoreleaseAndDrain);

static void BM_AutoreleaseOnRegisteredWorker(benchmark::State& state) {
  for (auto _ : state) {
    std::thread worker([] {
      auto id = std::this_thread::get_id();
      PoolManager::getInstance()->addThread(id);
      for (int i = 0; i < kBatch; ++i) (new Obj)->autorelease();
      PoolManager::getInstance()->removeThread(id);
    });
    worker.join();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_AutoreleaseOnRegisteredWorker);

static void BM_Reference_NewDelete(benchmark::State& state) {
  std::vector<Obj*> objs(kBatch);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) objs[i] = new Obj;
    for (int i = 0; i < kBatch; ++i) objs[i]->release();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_Reference_NewDelete);

static void BM_HandOffPostAndRun(benchmark::State& state) {
  Scheduler s;
  int owner = 0;
  long sum = 0;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) s.performFunctionInCocosThread(&owner, [&sum, i] { sum += i; });
    s.update(0);
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_HandOffPostAndRun);

static void BM_Reference_MutexDeque(benchmark::State& state) {
  std::mutex m;
  std::deque<std::function<void()>> q;
  long sum = 0;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      std::lock_guard<std::mutex> lock(m);
      q.emplace_back([&sum, i] { sum += i; });
    }
    for (;;) {
      std::function<void()> f;
      {
        std::lock_guard<std::mutex> lock(m);
        if (q.empty()) break;
        f = std::move(q.front());
        q.pop_front();
      }
      f();
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_Reference_MutexDeque);

static void BM_RetainRelease(benchmark::State& state) {
  auto* o = new Obj;
  for (auto _ : state) {
    o->retain();
    o->release();
  }
  o->release();
}
BENCHMARK(BM_RetainRelease);

static void BM_Reference_SharedPtrCopy(benchmark::State& state) {
  auto p = std::make_shared<int>(1);
  for (auto _ : state) {
    auto q = p;
    benchmark::DoNotOptimize(q);
  }
}
BENCHMARK(BM_Reference_SharedPtrCopy);
