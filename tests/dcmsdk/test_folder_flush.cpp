// Shared folder flushes: a caller returns only once a flush that began after
// its change has finished, a failed flush fails its leader only, and callers
// that wait together share one flush.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "dcmsdk/src/net_common.h"

namespace {

TEST(FolderFlush, EveryCallerWaitsForAFlushBegunAfterItsChange) {
  std::atomic<uint64_t> clock{0};
  std::mutex mu;
  std::map<int, uint64_t> lastFinishedStart;  // by folder fd
  std::atomic<int> syncs{0};
  dcmSDK::net::FolderFlush flush([&](int fd) {
    uint64_t start = ++clock;
    int n = ++syncs;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (n == 5) return EIO;
    std::lock_guard<std::mutex> lock(mu);
    lastFinishedStart[fd] = std::max(lastFinishedStart[fd], start);
    return 0;
  });
  constexpr int kThreads = 8, kCalls = 40;
  std::atomic<int> uncovered{0}, failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const int fd = 10 + t % 2;  // two folders
      const std::string key = fd == 10 ? "P/S/A" : "P/S/B";
      for (int i = 0; i < kCalls; ++i) {
        uint64_t changed = ++clock;  // the rename into the folder
        int err = flush.flush(key, fd);
        if (err != 0) {
          ++failed;
          continue;
        }
        std::lock_guard<std::mutex> lock(mu);
        if (lastFinishedStart[fd] <= changed) ++uncovered;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(uncovered.load(), 0);
  EXPECT_EQ(failed.load(), 1);
}

// Callers that arrive while a flush runs are all served by the next one.
TEST(FolderFlush, CallersArrivingDuringAFlushShareTheNextOne) {
  std::atomic<int> syncs{0}, arrived{0};
  dcmSDK::net::FolderFlush flush([&](int) {
    if (++syncs == 1) {
      while (arrived.load() < 4) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // they are inside by now
    }
    return 0;
  });
  std::thread first([&] { EXPECT_EQ(flush.flush("P/S/A", 3), 0); });
  while (syncs.load() == 0) std::this_thread::yield();
  std::vector<std::thread> later;
  for (int i = 0; i < 4; ++i)
    later.emplace_back([&] {
      ++arrived;
      EXPECT_EQ(flush.flush("P/S/A", 3), 0);
    });
  first.join();
  for (auto& t : later) t.join();
  EXPECT_EQ(syncs.load(), 2);
}

}  // namespace
