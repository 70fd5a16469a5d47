// Worker threads (request queue, promotion, cancellation, stop) and one-shot
// jobs, driven by stepping headless frames.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSThread.h"

using NSUI::NSRunableThread;
using NSUI::NSThread;
using NSUI::NSThreadRequest;
using NSUI::NSThreadSafeDestroy;

namespace {

// The director belongs to the thread that makes it: make it on the test's
// main thread before any worker asks for it.
class DirectorOnMainThread : public ::testing::Environment {
 public:
  void SetUp() override { cocos2d::Director::getInstance(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new DirectorOnMainThread);

void stepFrame() { cocos2d::Director::getInstance()->stepFrame(1.0f / 60.0f); }

// Steps frames until pred() holds. The bound only keeps a broken build from
// hanging; nothing is timed.
bool stepUntil(const std::function<bool()>& pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    stepFrame();
    std::this_thread::yield();
  }
  return true;
}

// A gate the test opens; workers block on it.
class Gate {
 public:
  void open() {
    std::lock_guard<std::mutex> lock(m_);
    open_ = true;
    cv_.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
};

struct CountedRequest : NSThreadRequest {
  static std::atomic<int> live;
  explicit CountedRequest(const std::string& t, int k = 0) {
    text = t;
    key = k;
    ++live;
  }
  ~CountedRequest() override { --live; }
};
std::atomic<int> CountedRequest::live{0};

// Records what it processes; a request whose text is "block" waits for the
// gate, and announces that it is running first.
class RecordingThread : public NSThread {
 public:
  RecordingThread(std::vector<std::string>* processed, std::mutex* m, Gate* gate,
                  std::atomic<bool>* running, std::atomic<bool>* destroyed)
      : processed_(processed), m_(m), gate_(gate), running_(running), destroyed_(destroyed) {}

  void processRequest(NSThreadRequest* request) override {
    if (request->text == "block") {
      {
        std::lock_guard<std::recursive_mutex> lock(stateMutex);
        sawBusy_ = busy;
      }
      *running_ = true;
      gate_->wait();
    }
    std::lock_guard<std::mutex> lock(*m_);
    processed_->push_back(request->text + (request->cancelled ? "!" : ""));
  }

  bool sawBusy_ = false;

 protected:
  ~RecordingThread() override { *destroyed_ = true; }

 private:
  std::vector<std::string>* processed_;
  std::mutex* m_;
  Gate* gate_;
  std::atomic<bool>* running_;
  std::atomic<bool>* destroyed_;
};

class WorkerThreadTest : public ::testing::Test, public NSThreadSafeDestroy {
 protected:
  void SetUp() override {
    CountedRequest::live = 0;
    thread = new RecordingThread(&processed, &m, &gate, &running, &destroyed);
    thread->completion = [this](NSThreadRequest* r) {
      EXPECT_TRUE(cocos2d::Director::getInstance()->isUIThread());
      completed.push_back(r->text + (r->cancelled ? "!" : ""));
    };
  }
  void TearDown() override {
    gate.open();
    if (!destroyed) stopThread(thread);
    EXPECT_TRUE(destroyed);
    // Nothing of the thread may run after it has gone.
    for (int i = 0; i < 5; ++i) stepFrame();
    EXPECT_EQ(CountedRequest::live, 0);
  }

  void add(const std::string& text, int key = 0) {
    auto* r = new CountedRequest(text, key);
    EXPECT_TRUE(thread->addRequest(r));
    r->release();
  }
  size_t processedCount() {
    std::lock_guard<std::mutex> lock(m);
    return processed.size();
  }
  std::vector<std::string> processedCopy() {
    std::lock_guard<std::mutex> lock(m);
    return processed;
  }

  std::vector<std::string> processed;
  std::mutex m;
  Gate gate;
  std::atomic<bool> running{false};
  std::atomic<bool> destroyed{false};
  std::vector<std::string> completed;
  RecordingThread* thread = nullptr;
};

TEST_F(WorkerThreadTest, RequestsAreProcessedAndCompletedInOrder) {
  add("block");
  add("a");
  add("b");
  add("c");
  ASSERT_TRUE(stepUntil([&] { return running.load(); }));
  gate.open();
  ASSERT_TRUE(stepUntil([&] { return completed.size() == 4; }));
  EXPECT_EQ(processedCopy(), (std::vector<std::string>{"block", "a", "b", "c"}));
  EXPECT_EQ(completed, (std::vector<std::string>{"block", "a", "b", "c"}));
  EXPECT_TRUE(thread->sawBusy_);
  // Each request is freed once its completion has returned.
  EXPECT_EQ(CountedRequest::live, 0);
}

TEST_F(WorkerThreadTest, NullOrRefusedRequests) {
  EXPECT_FALSE(thread->addRequest(nullptr));  // starts the worker all the same
  add("a");
  ASSERT_TRUE(stepUntil([&] { return completed.size() == 1; }));
  EXPECT_EQ(completed, std::vector<std::string>{"a"});
}

struct PromoteCase {
  const char* name;
  std::vector<int> pendingKeys;  // queued behind a blocking request
  int promote;
  std::vector<std::string> order;  // processing order after the blocker
};

TEST(WorkerThreadPromote, MovesTheFirstMatchToTheFront) {
  const PromoteCase cases[] = {
      {"third pending goes first", {1, 2, 3, 4}, 3, {"k3", "k1", "k2", "k4"}},
      {"first pending stays first", {1, 2, 3}, 1, {"k1", "k2", "k3"}},
      {"unknown key changes nothing", {1, 2, 3}, 9, {"k1", "k2", "k3"}},
      {"only the first of two equal keys moves", {1, 2, 2, 3}, 2, {"k2", "k1", "k2", "k3"}},
      {"of two equal keys further back, the earlier moves", {1, 5, 3, 5}, 5, {"k5#1", "k1", "k3", "k5#3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> processed;
    std::mutex m;
    Gate gate;
    std::atomic<bool> running{false}, destroyed{false};
    auto* thread = new RecordingThread(&processed, &m, &gate, &running, &destroyed);
    thread->promoteRequest(1);  // before the worker exists: nothing
    auto* blocker = new NSThreadRequest();
    blocker->text = "block";
    blocker->key = -1;
    thread->addRequest(blocker);
    blocker->release();
    const bool tagged = std::string(c.name).find("further back") != std::string::npos;
    for (size_t i = 0; i < c.pendingKeys.size(); ++i) {
      auto* r = new NSThreadRequest();
      r->key = c.pendingKeys[i];
      r->text = "k" + std::to_string(r->key) + (tagged && r->key == 5 ? "#" + std::to_string(i) : "");
      thread->addRequest(r);
      r->release();
    }
    ASSERT_TRUE(stepUntil([&] { return running.load(); }));
    thread->promoteRequest(c.promote);
    gate.open();
    ASSERT_TRUE(stepUntil([&] {
      std::lock_guard<std::mutex> lock(m);
      return processed.size() == c.order.size() + 1;
    }));
    NSThreadSafeDestroy waiter;
    waiter.stopThread(thread);
    std::vector<std::string> expected{"block"};
    expected.insert(expected.end(), c.order.begin(), c.order.end());
    EXPECT_EQ(processed, expected);
  }
}

TEST_F(WorkerThreadTest, CancelAllWhileRunning) {
  add("block");
  add("a");
  add("b");
  ASSERT_TRUE(stepUntil([&] { return running.load(); }));
  thread->cancelAllRequests();
  // The dropped requests are freed at once; the running one is still held.
  EXPECT_EQ(CountedRequest::live, 1);
  gate.open();
  ASSERT_TRUE(stepUntil([&] { return completed.size() == 1; }));
  EXPECT_EQ(completed, std::vector<std::string>{"block!"});
  EXPECT_EQ(processedCopy(), std::vector<std::string>{"block!"});
  // The thread keeps working after a cancellation.
  add("c");
  ASSERT_TRUE(stepUntil([&] { return completed.size() == 2; }));
  EXPECT_EQ(completed.back(), "c");
}

TEST_F(WorkerThreadTest, CancelDropsFinishedButUndeliveredResults) {
  add("a");
  add("b");
  // Both finish on the worker; no frame delivers them before the cancel.
  while (processedCount() < 2) std::this_thread::yield();
  while (true) {
    std::lock_guard<std::recursive_mutex> lock(thread->stateMutex);
    if (!thread->busy) break;
  }
  thread->cancelAllRequests();
  EXPECT_EQ(CountedRequest::live, 0);
  for (int i = 0; i < 5; ++i) stepFrame();
  EXPECT_TRUE(completed.empty());
}

TEST_F(WorkerThreadTest, StopOfANeverStartedThreadIsImmediate) {
  stopThread(thread);
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(isDone());
}

TEST_F(WorkerThreadTest, StopThreadWaitsForTheRunningRequestAndDropsTheRest) {
  add("block");
  add("a");
  ASSERT_TRUE(stepUntil([&] { return running.load(); }));
  std::atomic<bool> stopped{false};
  std::thread opener([&] {
    // Let stopThread block first, then let the request end.
    while (!destroyed && CountedRequest::live > 1) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(stopped.load());
    gate.open();
  });
  stopThread(thread);
  stopped = true;
  opener.join();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(processedCopy(), std::vector<std::string>{"block"});
  for (int i = 0; i < 5; ++i) stepFrame();
  EXPECT_TRUE(completed.empty());
}

// A result that has finished and queued its hand-off when stop comes must
// not be delivered to the (deleted) thread.
TEST_F(WorkerThreadTest, StopWithAHandOffPending) {
  for (int round = 0; round < 50; ++round) {
    std::vector<std::string> processedHere;
    std::mutex mh;
    Gate gateHere;
    std::atomic<bool> runningHere{false}, destroyedHere{false};
    auto* t = new RecordingThread(&processedHere, &mh, &gateHere, &runningHere, &destroyedHere);
    int completions = 0;
    t->completion = [&](NSThreadRequest*) { ++completions; };
    auto* r = new NSThreadRequest();
    r->text = "a";
    t->addRequest(r);
    r->release();
    if (round % 2) {
      while (true) {
        std::lock_guard<std::mutex> lock(mh);
        if (!processedHere.empty()) break;
      }
    }
    NSThreadSafeDestroy waiter;
    waiter.stopThread(t);
    EXPECT_TRUE(destroyedHere);
    for (int i = 0; i < 3; ++i) stepFrame();
    EXPECT_EQ(completions, 0);
  }
}

TEST_F(WorkerThreadTest, CompletionMayStopItsThread) {
  thread->completion = [this](NSThreadRequest*) {
    completed.push_back("done");
    stopThread(thread);
  };
  add("a");
  add("b");
  ASSERT_TRUE(stepUntil([&] { return destroyed.load(); }));
  EXPECT_EQ(completed, std::vector<std::string>{"done"});
}

// ---------------------------------------------------------------------------
// One-shot jobs

TEST(OneShotJob, CompletionRunsOnTheUIThreadAfterTheJobAndDoneIsSet) {
  NSThreadSafeDestroy waiter;
  EXPECT_TRUE(waiter.isDone());  // never used: done at rest
  Gate gate;
  std::atomic<bool> worked{false};
  std::thread::id workThread;
  bool completedOnUI = false;
  bool workedBeforeCompletion = false;
  int arg = 3;
  NSRunableThread::create(
      [&](void* a) {
        gate.wait();
        workThread = std::this_thread::get_id();
        EXPECT_EQ(a, &arg);
        worked = true;
      },
      &arg, &waiter,
      [&] {
        completedOnUI = cocos2d::Director::getInstance()->isUIThread();
        workedBeforeCompletion = worked;
      });
  EXPECT_FALSE(waiter.isDone());
  gate.open();
  waiter.waitDone();
  EXPECT_TRUE(worked);
  EXPECT_NE(workThread, std::this_thread::get_id());
  ASSERT_TRUE(stepUntil([&] { return completedOnUI; }));
  EXPECT_TRUE(workedBeforeCompletion);
}

TEST(OneShotJob, WithoutCompletionAndWithEmptyWork) {
  std::atomic<bool> worked{false};
  NSThreadSafeDestroy waiter;
  new NSRunableThread([&](void*) { worked = true; }, nullptr);
  ASSERT_TRUE(stepUntil([&] { return worked.load(); }));

  bool completed = false;
  NSRunableThread::create(nullptr, nullptr, &waiter, [&] { completed = true; });
  waiter.waitDone();
  ASSERT_TRUE(stepUntil([&] { return completed; }));
}

// Many very short jobs: each one must be detached before it may delete
// itself.
TEST(OneShotJob, ShortJobsEndCleanly) {
  std::atomic<int> count{0};
  NSThreadSafeDestroy waiter;
  for (int i = 0; i < 200; ++i) {
    NSRunableThread::create([&](void*) { ++count; }, nullptr, &waiter, nullptr);
    waiter.waitDone();
  }
  EXPECT_EQ(count, 200);
  for (int i = 0; i < 3; ++i) stepFrame();
}

// A job whose release is held back until start().
class ParkedJob : public NSRunableThread {
 public:
  ParkedJob(std::atomic<bool>* worked, NSThreadSafeDestroy* waiter) {
    autoStart = false;
    run([worked](void*) { *worked = true; }, nullptr, waiter);
  }
};

TEST(OneShotJob, ParkedJobWaitsForStart) {
  std::atomic<bool> worked{false};
  NSThreadSafeDestroy waiter;
  auto* job = new ParkedJob(&worked, &waiter);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(worked);
  EXPECT_FALSE(waiter.isDone());
  job->start();
  waiter.waitDone();
  EXPECT_TRUE(worked);

  // A parked job that is never released may be deleted by its owner.
  std::atomic<bool> never{false};
  auto* abandoned = new ParkedJob(&never, &waiter);
  delete abandoned;
  EXPECT_FALSE(never);
  EXPECT_TRUE(waiter.isDone());
}

// Objects a job autoreleases are released when the job ends.
struct Probe : cocos2d::Ref {
  explicit Probe(std::atomic<int>* live) : live_(live) { ++*live_; }
  ~Probe() override { --*live_; }
  std::atomic<int>* live_;
};

TEST(OneShotJob, AutoreleasedObjectsOfAJobAreReleasedAtItsEnd) {
  std::atomic<int> live{0};
  NSThreadSafeDestroy waiter;
  NSRunableThread::create([&](void*) { (new Probe(&live))->autorelease(); }, nullptr, &waiter, nullptr);
  waiter.waitDone();
  EXPECT_EQ(live, 0);
}

// A long-lived worker releases what a request autoreleased before it takes
// the next request, not only when the worker ends.
class AutoreleasingThread : public NSThread {
 public:
  explicit AutoreleasingThread(std::atomic<int>* live) : live_(live) {}
  void processRequest(NSThreadRequest* request) override {
    if (request->text == "make") (new Probe(live_))->autorelease();
    if (request->text == "check") seenAtNext = live_->load();
  }
  std::atomic<int> seenAtNext{-1};

 private:
  std::atomic<int>* live_;
};

TEST(WorkerThreadPool, AutoreleasedObjectsGoAfterEachRequest) {
  std::atomic<int> live{0};
  auto* thread = new AutoreleasingThread(&live);
  std::atomic<int> completions{0};
  thread->completion = [&](NSThreadRequest*) { ++completions; };
  for (const char* text : {"make", "check"}) {
    auto* r = new NSThreadRequest();
    r->text = text;
    thread->addRequest(r);
    r->release();
  }
  ASSERT_TRUE(stepUntil([&] { return completions.load() == 2; }));
  EXPECT_EQ(thread->seenAtNext.load(), 0);
  EXPECT_EQ(live.load(), 0);
  NSThreadSafeDestroy owner;
  owner.stopThread(thread);
}

}  // namespace
