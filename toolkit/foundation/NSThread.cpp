#include "toolkit/foundation/NSThread.h"

#include <cstdint>
#include <ctime>

#include "toolkit/foundation/NSDataManager.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace NSUI {

namespace {

// The engine's scheduler, or null when the engine has none (no director, or
// after it ended). Any thread.
cocos2d::Scheduler* engineScheduler() {
  auto* director = cocos2d::Director::getInstance();
  return director ? director->getScheduler() : nullptr;
}

void registerThread(std::thread::id id) { cocos2d::PoolManager::getInstance()->addThread(id); }

void unregisterThread(std::thread::id id) {
  if (id != std::thread::id()) cocos2d::PoolManager::getInstance()->removeThread(id);
}

}  // namespace

// ---------------------------------------------------------------------------
// NSThreadRequest

NSThreadRequest::NSThreadRequest()
    : key(static_cast<int>(static_cast<std::uint32_t>(static_cast<std::int64_t>(std::time(nullptr))))) {}

NSThreadRequest::~NSThreadRequest() = default;

// ---------------------------------------------------------------------------
// NSThreadSafeDestroy

NSThreadSafeDestroy::NSThreadSafeDestroy() = default;
NSThreadSafeDestroy::~NSThreadSafeDestroy() = default;

void NSThreadSafeDestroy::setDone() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  done.store(true);
  condition.notify_all();
}

void NSThreadSafeDestroy::clearDone() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  done.store(false);
}

bool NSThreadSafeDestroy::isDone() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  return done.load();
}

void NSThreadSafeDestroy::waitDone() {
  std::unique_lock<std::recursive_mutex> lock(mutex);
  condition.wait(lock, [this] { return done.load(); });
}

void NSThreadSafeDestroy::stopThread(NSThread* thread) {
  if (!thread) return;
  clearDone();
  thread->waiter = this;
  thread->stop();
  waitDone();
}

// ---------------------------------------------------------------------------
// NSThread

NSThread::NSThread() : stopRequest(new NSThreadRequest()) {}

NSThread::~NSThread() {
  if (stopRequest) {
    stopRequest->release();
    stopRequest = nullptr;
  }
  unregisterThread(threadId);
  if (waiter) waiter->setDone();
}

void NSThread::processRequest(NSThreadRequest*) {}

bool NSThread::addRequest(NSThreadRequest* request) {
  if (request) request->retain();
  {
    std::lock_guard<std::recursive_mutex> lock(queueMutex);
    if (stopped) {
      if (request) request->release();
      return false;
    }
  }
  startThread();
  if (!request) return false;
  if (requestQueue) {
    request->retain();  // the trip reference, dropped after the completion
    {
      std::lock_guard<std::recursive_mutex> lock(queueMutex);
      requestQueue->pushBack(request);
    }
    queueCondition.notify_one();
  }
  request->release();
  return true;
}

bool NSThread::startThread() {
  if (!requestQueue) {
    requestQueue = new cocos2d::Vector<NSThreadRequest*>();
    resultQueue = new cocos2d::Vector<NSThreadRequest*>();
    std::thread worker(&NSThread::threadLoop, this);
    threadId = worker.get_id();
    registerThread(threadId);
    worker.detach();
  }
  return true;
}

void NSThread::threadLoop() {
  cocos2d::Scheduler* scheduler = engineScheduler();
  for (;;) {
    NSThreadRequest* request = nullptr;
    {
      std::unique_lock<std::recursive_mutex> lock(queueMutex);
      queueCondition.wait(lock, [this] { return !requestQueue->empty(); });
      request = requestQueue->front();
      requestQueue->erase(0);  // the trip reference keeps it alive
      currentRequest = request;
    }
    if (request == stopRequest) break;

    {
      std::lock_guard<std::recursive_mutex> lock(stateMutex);
      busy = true;
    }
    processRequest(request);
    // What the request autoreleased goes now, not when the worker ends.
    cocos2d::PoolManager::getInstance()->drainCurrentThread();
    {
      std::lock_guard<std::recursive_mutex> lock(stateMutex);
      if (stopped) {
        request->release();
        busy = false;
        currentRequest = nullptr;
        continue;
      }
    }
    {
      // The hand-off is queued under the lock that stop() also takes, and
      // only while not stopped: stop() removes this thread's queued
      // hand-offs, so none can outlive the object.
      std::lock_guard<std::recursive_mutex> lock(resultMutex);
      if (stopped) {
        request->release();
      } else {
        resultQueue->pushBack(request);
        if (scheduler) scheduler->performFunctionInCocosThread(this, [this] { dispatchResult(); });
      }
      currentRequest = nullptr;
    }
    {
      std::lock_guard<std::recursive_mutex> lock(stateMutex);
      busy = false;
    }
  }

  stopRequest->release();
  stopRequest = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(queueMutex);
    for (auto* request : *requestQueue) request->release();  // trip references
    requestQueue->clear();
    currentRequest = nullptr;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(resultMutex);
    for (auto* request : *resultQueue) request->release();
    resultQueue->clear();
  }
  delete requestQueue;
  requestQueue = nullptr;
  delete resultQueue;
  resultQueue = nullptr;
  delete this;
}

void NSThread::dispatchResult() {
  NSThreadRequest* request = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(resultMutex);
    if (stopped || !resultQueue) return;
    if (!resultQueue->empty()) {
      request = resultQueue->front();
      resultQueue->erase(0);
    }
  }
  if (!request) return;
  // The completion may stop this thread (and wait until it is gone): keep a
  // copy and touch nothing of this object once it has been called.
  auto fn = completion;
  if (fn) fn(request);
  request->release();  // the trip reference
}

void NSThread::promoteRequest(int key) {
  if (!requestQueue) return;
  std::lock_guard<std::recursive_mutex> lock(queueMutex);
  const ssize_t count = static_cast<ssize_t>(requestQueue->size());
  for (ssize_t i = 0; i < count; ++i) {
    NSThreadRequest* request = requestQueue->at(i);
    if (request->key != key) continue;
    if (i > 0) {
      request->retain();
      requestQueue->erase(i);
      requestQueue->insert(0, request);
      request->release();
    }
    return;
  }
}

void NSThread::cancelAllRequests() {
  if (!requestQueue) return;
  std::lock_guard<std::recursive_mutex> q(queueMutex);
  std::lock_guard<std::recursive_mutex> r(resultMutex);
  std::lock_guard<std::recursive_mutex> s(stateMutex);
  if (stopped) return;
  for (auto* request : *requestQueue) request->release();
  requestQueue->clear();
  for (auto* request : *resultQueue) request->release();
  resultQueue->clear();
  if (currentRequest) currentRequest->cancelled = true;
}

void NSThread::stop() {
  cocos2d::Scheduler* scheduler = engineScheduler();
  if (!requestQueue) {
    if (scheduler) scheduler->removeFunctionInCocosThread(this);
    delete this;
    return;
  }
  std::lock_guard<std::recursive_mutex> q(queueMutex);
  std::lock_guard<std::recursive_mutex> r(resultMutex);
  std::lock_guard<std::recursive_mutex> s(stateMutex);
  if (stopped) return;
  for (auto* request : *requestQueue) request->release();
  requestQueue->clear();
  for (auto* request : *resultQueue) request->release();
  resultQueue->clear();
  stopped = true;
  if (scheduler) scheduler->removeFunctionInCocosThread(this);
  requestQueue->pushBack(stopRequest);
  queueCondition.notify_one();
}

// ---------------------------------------------------------------------------
// NSRunableThread

NSRunableThread::NSRunableThread() = default;

NSRunableThread::NSRunableThread(const Work& work, void* argument) { run(work, argument, nullptr); }

NSRunableThread::NSRunableThread(const Work& work, void* argument, NSThreadSafeDestroy* waiter,
                                 const std::function<void()>& completion)
    : completion(completion), hasCompletion(true) {
  run(work, argument, waiter);
}

NSRunableThread* NSRunableThread::create(const Work& work, void* argument,
                                         NSThreadSafeDestroy* waiter,
                                         const std::function<void()>& completion) {
  return new NSRunableThread(work, argument, waiter, completion);
}

void NSRunableThread::run(const Work& work, void* argument, NSThreadSafeDestroy* waiter) {
  started = false;
  this->work = work;
  this->argument = argument;
  this->waiter = waiter;
  if (waiter) waiter->clearDone();
  thread = std::thread(&NSRunableThread::threadMain, this, argument);
  threadId = thread.get_id();
  registerThread(threadId);
  if (autoStart) release(false);
}

void NSRunableThread::start() { release(false); }

// Lets the parked job go. The thread is detached before the job may begin,
// so a short job that deletes itself never meets a joinable std::thread.
// With abandon set the job ends without working and is joined here.
void NSRunableThread::release(bool abandon) {
  if (!thread.joinable()) return;  // already released
  if (!abandon) thread.detach();
  {
    std::lock_guard<std::mutex> lock(startMutex);
    abandoned = abandon;
    started = true;
    // Woken while the lock is held: the job cannot pass its wait, finish and
    // delete this object before the notification is complete.
    startCondition.notify_one();
  }
  if (abandon) thread.join();
}

void NSRunableThread::threadMain(void* arg) {
  {
    std::unique_lock<std::mutex> lock(startMutex);
    startCondition.wait(lock, [this] { return started.load(); });
    if (abandoned) return;
  }
  if (work) work(arg);
  unregisterThread(std::this_thread::get_id());
  threadId = std::thread::id();
  if (hasCompletion && completion) {
    if (auto* scheduler = engineScheduler()) scheduler->performFunctionInCocosThread(this, completion);
  }
  delete this;
}

NSRunableThread::~NSRunableThread() {
  if (thread.joinable()) {
    // Never released: end the parked thread before the object goes.
    release(true);
  }
  unregisterThread(threadId);
  if (waiter) waiter->setDone();
}

// ---------------------------------------------------------------------------
// Teardown

namespace {
std::mutex g_purgeMutex;
bool g_purged = false;
}  // namespace

void purgeSingletons() {
  {
    std::lock_guard<std::mutex> lock(g_purgeMutex);
    if (g_purged) return;
    g_purged = true;
  }
  NSNotificationCenter::purgeInstance();
  NSDataManager::purgeInstance();
  delete NSHttpClient::getInstanceIfExists();
}

}  // namespace NSUI
