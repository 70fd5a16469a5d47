// Worker threads and one-shot jobs.
//
// NSThread: a long-lived worker with a first-in first-out queue of
// NSThreadRequest objects. It starts with its first request, runs each one
// through processRequest() on the worker and hands every finished request to
// `completion` on the UI thread, in the order the worker finished them.
//
// NSRunableThread: one job on its own thread with an optional completion on
// the UI thread and an optional waiter whose done flag is set when the job
// ends.
//
// NSThreadSafeDestroy: mix-in for owners; stopThread() stops an NSThread and
// blocks until its worker has ended, and its done flag tracks one-shot jobs.
//
// Results reach the UI thread only through the engine's owner-keyed hand-off
// (Scheduler::performFunctionInCocosThread), with the thread object as owner.
// Both kinds register their thread with the engine's PoolManager while it
// runs; an NSThread drains its pool after each request, so objects that
// processRequest() autoreleases are released before the next request.
//
// Lock order of NSThread: queueMutex -> resultMutex -> stateMutex. Only stop()
// and cancelAllRequests() hold more than one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSObject.h"

namespace NSUI {

class NSThread;
class NSRunableThread;

// Unit of work of an NSThread. Made with `new` by the caller (count 1),
// handed to addRequest() and then released by the caller; the thread keeps it
// until its completion has returned on the UI thread.
class NSThreadRequest : public NSObject {
 public:
  NSThreadRequest();
  ~NSThreadRequest() override;

  std::string text;
  // Set on the request being processed when its thread's requests are
  // cancelled; processRequest() may read it at any time.
  std::atomic<bool> cancelled{false};
  // Low 32 bits of the creation time in seconds unless the owner sets its
  // own identifier (promoteRequest() finds requests by it).
  int key;
};

// Owners of workers and jobs inherit this (or hold one as a waiter).
class NSThreadSafeDestroy {
 public:
  NSThreadSafeDestroy();
  ~NSThreadSafeDestroy();
  NSThreadSafeDestroy(const NSThreadSafeDestroy&) = delete;
  NSThreadSafeDestroy& operator=(const NSThreadSafeDestroy&) = delete;

  // Stops the thread (pending and finished requests dropped without
  // completion, the running one finished) and returns once the worker has
  // ended and the thread object is gone. UI thread, never on the worker.
  void stopThread(NSThread* thread);

  // The done flag: true at rest, false while a job or stopping worker that
  // was given this waiter is still running.
  bool isDone();
  // Blocks until the done flag is set (wakes on the job's end; no polling).
  void waitDone();

 protected:
  friend class NSThread;
  friend class NSRunableThread;

  std::recursive_mutex mutex;
  std::condition_variable_any condition;
  // Written under `mutex` only; read through isDone() / waitDone(), which
  // lock it, so that an owner never sees the flag before the ending thread
  // has let go of this object.
  std::atomic<bool> done{true};

 private:
  void setDone();
  void clearDone();
};

// A long-lived worker thread. Create it (usually a subclass) with `new`, set
// `completion`, feed it with addRequest(); end it with stop() or
// NSThreadSafeDestroy::stopThread(). The object deletes itself.
class NSThread {
 public:
  NSThread();
  NSThread(const NSThread&) = delete;
  NSThread& operator=(const NSThread&) = delete;

  // Queues a request, starting the worker on first use. False when the
  // thread is stopped or the request is null (a null request still starts
  // the worker).
  virtual bool addRequest(NSThreadRequest* request);

 protected:
  // Runs on the worker at its end (or inside stop() when it never started).
  virtual ~NSThread();

 public:
  // The work of a subclass, on the worker thread.
  virtual void processRequest(NSThreadRequest* request);

  // Moves the first pending request with this key to the front of the queue.
  void promoteRequest(int key);
  // Drops every pending and every finished but undelivered request without
  // completion; the running one is marked cancelled and still completes.
  void cancelAllRequests();
  // Ends the worker; the object deletes itself and must not be touched
  // afterwards. Does not wait (see NSThreadSafeDestroy::stopThread). UI
  // thread.
  void stop();

  // Called on the UI thread with each finished request.
  std::function<void(NSThreadRequest*)> completion;

  // Owners may read `busy` under `stateMutex` to learn whether the worker is
  // working.
  std::recursive_mutex stateMutex;
  bool busy = false;

 protected:
  bool startThread();
  void threadLoop();
  void dispatchResult();

  std::recursive_mutex queueMutex;
  std::recursive_mutex resultMutex;
  std::condition_variable_any queueCondition;
  cocos2d::Vector<NSThreadRequest*>* requestQueue = nullptr;
  cocos2d::Vector<NSThreadRequest*>* resultQueue = nullptr;
  NSThreadRequest* stopRequest = nullptr;
  NSThreadRequest* currentRequest = nullptr;
  bool stopped = false;

 private:
  friend class NSThreadSafeDestroy;
  NSThreadSafeDestroy* waiter = nullptr;  // set by stopThread()

 protected:
  std::thread::id threadId;
};

// One job on its own thread. The object belongs to the job and deletes
// itself when the job ends; the caller never deletes a started job.
class NSRunableThread {
 public:
  using Work = std::function<void(void*)>;

  // A job without completion and without waiter, started at once.
  NSRunableThread(const Work& work, void* argument);
  // A job with an optional waiter (its done flag is cleared now and set when
  // the job ends) and a completion queued on the UI thread after the job.
  NSRunableThread(const Work& work, void* argument, NSThreadSafeDestroy* waiter,
                  const std::function<void()>& completion);
  NSRunableThread(const NSRunableThread&) = delete;
  NSRunableThread& operator=(const NSRunableThread&) = delete;

  static NSRunableThread* create(const Work& work, void* argument, NSThreadSafeDestroy* waiter,
                                 const std::function<void()>& completion);

  // Launches the job's thread. With autoStart set the job begins at once;
  // otherwise it stays parked until start().
  virtual void run(const Work& work, void* argument, NSThreadSafeDestroy* waiter);
  // Releases a parked job (one whose autoStart was cleared before run()).
  void start();

  // Deleting a job that was never run, or is still parked, is allowed (the
  // parked thread is told to end and joined); a released job deletes itself.
  virtual ~NSRunableThread();

 protected:
  // For subclasses that set their own fields (and clear autoStart) before
  // calling run() themselves. autoStart is set; no thread is made.
  NSRunableThread();

  void threadMain(void* argument);
  void release(bool abandon);

  Work work;
  void* argument = nullptr;
  std::thread::id threadId;
  std::atomic<bool> started{false};
  std::thread thread;
  bool autoStart = true;
  NSThreadSafeDestroy* waiter = nullptr;
  std::function<void()> completion;
  bool hasCompletion = false;

 private:
  std::mutex startMutex;
  std::condition_variable startCondition;
  bool abandoned = false;  // guarded by startMutex
};

// Last step of the application teardown, in this order: releases the
// notification centre, stops and releases the data-object manager, deletes
// the HTTP client (ending its network thread). The formatter's scratch
// buffers belong to their threads and go with them. Later getInstance()
// calls of the centre and the manager answer null. A second call does
// nothing. UI thread.
void purgeSingletons();

}  // namespace NSUI
