// One-shot job latency: from making an NSRunableThread to its end as its
// owner sees it (the waiter's done flag), against a bare std::thread
// spawn-join in the same run. A third variant waits the way a 1 ms done
// poll would, to show what the condition-variable wait saves.
//
// Run:  scripts/bench.sh --benchmark_filter='OneShot|SpawnJoin'
// (or build-bench/bench/toolkit/foundation/bench_oneshot_jobs after a
// Release build).
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSThread.h"

namespace {

void BM_OneShotJob(benchmark::State& state) {
  cocos2d::Director::getInstance();  // the UI thread is this one
  NSUI::NSThreadSafeDestroy waiter;
  int counter = 0;
  for (auto _ : state) {
    NSUI::NSRunableThread::create([&](void*) { ++counter; }, nullptr, &waiter, nullptr);
    waiter.waitDone();
  }
  benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_OneShotJob)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A job whose release is held back, then started: the start wakes the
// parked thread through a condition variable.
class ParkedJob : public NSUI::NSRunableThread {
 public:
  ParkedJob(int* counter, NSUI::NSThreadSafeDestroy* waiter) {
    autoStart = false;
    run([counter](void*) { ++*counter; }, nullptr, waiter);
  }
};

void BM_OneShotJobParkedThenStarted(benchmark::State& state) {
  cocos2d::Director::getInstance();
  NSUI::NSThreadSafeDestroy waiter;
  int counter = 0;
  for (auto _ : state) {
    auto* job = new ParkedJob(&counter, &waiter);
    job->start();
    waiter.waitDone();
  }
  benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_OneShotJobParkedThenStarted)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The owner's wait as a 1 ms poll of the done flag.
void BM_OneShotJobDonePoll1ms(benchmark::State& state) {
  cocos2d::Director::getInstance();
  NSUI::NSThreadSafeDestroy waiter;
  int counter = 0;
  for (auto _ : state) {
    NSUI::NSRunableThread::create([&](void*) { ++counter; }, nullptr, &waiter, nullptr);
    while (!waiter.isDone()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_OneShotJobDonePoll1ms)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

// Reference: a bare thread that does the same work, spawned and joined.
void BM_StdThreadSpawnJoin(benchmark::State& state) {
  int counter = 0;
  for (auto _ : state) {
    std::thread t([&] { ++counter; });
    t.join();
  }
  benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_StdThreadSpawnJoin)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
