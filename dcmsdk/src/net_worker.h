// A queue of jobs run one after another on a thread of its own, stopped by
// the owner's stop mark. Base of the network clients.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "dcmsdk/src/net_common.h"

namespace dcmSDK::net {

class JobQueue {
 public:
  explicit JobQueue(std::atomic<bool>& stop) : stop_(stop) {
    regId_ = registerObject([this] { halt(); });
  }
  ~JobQueue() {
    unregisterObject(regId_);
    halt();
  }

  using Job = std::function<void()>;

  // Queues a job; false when stopped or the queue holds maxQueued jobs.
  bool push(Job job, size_t maxQueued = 256) {
    std::lock_guard<std::mutex> lock(mu_);
    if (stop_.load() || halted_ || queue_.size() >= maxQueued) return false;
    queue_.push_back(std::move(job));
    if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
    cv_.notify_one();
    return true;
  }

  // Runs f on the queue under its lock (to inspect or edit waiting jobs).
  template <class F>
  auto withQueue(F f) {
    std::lock_guard<std::mutex> lock(mu_);
    return f(queue_);
  }

  // Sets the stop mark, drops waiting jobs and waits for the thread.
  void halt() {
    std::lock_guard<std::mutex> j(joinMu_);
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_.store(true);
      halted_ = true;
      queue_.clear();
      cv_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

 private:
  void loop() {
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
      cv_.wait_for(lock, std::chrono::milliseconds(50), [&] { return halted_ || stop_.load() || !queue_.empty(); });
      if (halted_ || stop_.load()) {
        queue_.clear();
        return;
      }
      if (queue_.empty()) continue;
      Job job = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      job();
      lock.lock();
    }
  }

  std::atomic<bool>& stop_;
  std::mutex mu_, joinMu_;
  std::condition_variable cv_;
  std::deque<Job> queue_;
  std::thread thread_;
  bool halted_ = false;
  uint64_t regId_ = 0;
};

}  // namespace dcmSDK::net
