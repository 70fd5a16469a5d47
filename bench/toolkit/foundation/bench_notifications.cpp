// Notification throughput: four threads post (immediate kind), the UI thread delivers by
// stepping frames, until every post has reached its observer. The reference
// is a plain mutex + deque hand-off drained the same way, in the same run.
//
// Run:  scripts/bench.sh --benchmark_filter='Notification|MutexDeque'
// (or build-bench/bench/toolkit/foundation/bench_notifications after a
// Release build). items_per_second is posts delivered per second.
#include <benchmark/benchmark.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace {

constexpr int kThreads = 4;
constexpr int kPostsPerThread = 10000;
constexpr int kId = 2000;

struct Sender : cocos2d::Ref {};

void BM_NotificationCentre(benchmark::State& state) {
  auto* director = cocos2d::Director::getInstance();
  auto* centre = NSUI::NSNotificationCenter::create();
  director->stepFrame(0.5f);  // the first tick comes 0.5 s after creation
  int target = 0;
  long long delivered = 0;
  centre->addObserver(&target, nullptr,
                      [&](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* d) {
                        delivered += d ? 1 : 0;
                      },
                      kId);
  std::vector<Sender*> senders;
  for (int t = 0; t < kThreads; ++t) senders.push_back(new Sender());
  const long long perRound = static_cast<long long>(kThreads) * kPostsPerThread;

  for (auto _ : state) {
    delivered = 0;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
      posters.emplace_back([&, t] {
        for (int i = 0; i < kPostsPerThread; ++i)
          centre->postNotificationInt(senders[t], kId, i, nullptr, true);
      });
    }
    // Frames are stepped back to back: the measure is the centre's work,
    // not the frame pacing.
    while (delivered < perRound) director->stepFrame(1.0f / 60.0f);
    for (auto& p : posters) p.join();
  }
  state.SetItemsProcessed(state.iterations() * perRound);
  centre->release();
  for (auto* s : senders) s->release();
}
BENCHMARK(BM_NotificationCentre)->UseRealTime()->Unit(benchmark::kMillisecond);

// Reference: the same four threads push a small record into a deque under
// one mutex; the consumer swaps the deque out once per "frame" and handles
// the records outside the lock.
void BM_MutexDequeHandoff(benchmark::State& state) {
  struct Record {
    cocos2d::Ref* sender;
    int id;
    int value;
  };
  std::mutex mutex;
  std::deque<Record> queue;
  std::vector<Sender*> senders;
  for (int t = 0; t < kThreads; ++t) senders.push_back(new Sender());
  const long long perRound = static_cast<long long>(kThreads) * kPostsPerThread;

  for (auto _ : state) {
    long long delivered = 0;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
      posters.emplace_back([&, t] {
        for (int i = 0; i < kPostsPerThread; ++i) {
          std::lock_guard<std::mutex> lock(mutex);
          queue.push_back(Record{senders[t], kId, i});
        }
      });
    }
    std::deque<Record> batch;
    while (delivered < perRound) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        batch.swap(queue);
      }
      for (const auto& r : batch) {
        benchmark::DoNotOptimize(r.value);
        ++delivered;
      }
      batch.clear();
    }
    for (auto& p : posters) p.join();
  }
  state.SetItemsProcessed(state.iterations() * perRound);
  for (auto* s : senders) s->release();
}
BENCHMARK(BM_MutexDequeHandoff)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
