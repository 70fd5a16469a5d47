// Autorelease pools: one per UI frame (drained by the Director after each
// frame) and one per worker thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/base/Ref.h"

NS_CC_BEGIN

// A list of objects that each get one release() when the pool is cleared.
// A pool built with the public constructors becomes the current pool of the
// constructing thread until it is destroyed (stack discipline).
class AutoreleasePool {
 public:
  AutoreleasePool();
  explicit AutoreleasePool(const std::string& name);
  ~AutoreleasePool();

  AutoreleasePool(const AutoreleasePool&) = delete;
  AutoreleasePool& operator=(const AutoreleasePool&) = delete;

  void addObject(Ref* object);
  // Releases every object once. Objects autoreleased while clearing go to
  // the (now empty) pool and wait for the next clear.
  void clear();
  bool contains(Ref* object) const;
  size_t getObjectCount() const { return _managedObjects.size(); }
  bool isClearing() const { return _isClearing; }
  const std::string& getName() const { return _name; }
  void dump();

 private:
  friend class PoolManager;
  struct NoPush {};
  AutoreleasePool(const std::string& name, NoPush);

  std::vector<Ref*> _managedObjects;
  std::string _name;
  bool _isClearing = false;
  bool _pushed = false;
};

// Keeps the pools of every thread. The UI thread has the frame pool; a worker
// thread registered with addThread() has its own pool until removeThread();
// any other thread that autoreleases gets a pool made on demand, drained when
// that thread exits.
class PoolManager {
 public:
  static PoolManager* getInstance();
  // Drains the UI thread's pools. The manager itself lives for the process.
  static void destroyInstance();

  // The innermost pool of the calling thread (made when missing).
  AutoreleasePool* getCurrentPool();
  bool isObjectInPools(Ref* object);

  // Any thread. Between the two calls the given thread's autorelease()
  // goes to its own pool. removeThread() must run on that thread or after
  // it ended; it drains and discards the pool.
  void addThread(std::thread::id id);
  void removeThread(std::thread::id id);
  // Clears the calling thread's current pool now.
  void drainCurrentThread();

  // The thread whose pool the Director drains each frame. Defaults to the
  // process's main thread; the Director sets it to the thread creating it.
  void setUIThread(std::thread::id id);
  std::thread::id getUIThread();

 private:
  friend class AutoreleasePool;
  struct ThreadPools {
    std::unique_ptr<AutoreleasePool> base;
    std::vector<AutoreleasePool*> stack;  // stack[0] == base
    bool onDemand = false;
  };

  PoolManager();
  ThreadPools& poolsOfCurrentThread(std::unique_lock<std::mutex>& lock);
  void push(AutoreleasePool* pool);
  void pop(AutoreleasePool* pool);
  static void drainAndDiscard(std::unique_ptr<ThreadPools> pools);
  void onThreadExit(std::thread::id id);

  std::mutex _mutex;
  std::unordered_map<std::thread::id, std::unique_ptr<ThreadPools>> _threads;
  // Bumped whenever an entry leaves _threads; invalidates per-thread caches.
  std::atomic<uint64_t> _generation{1};
  std::thread::id _uiThread;
  friend struct ThreadExitGuard;
};

NS_CC_END
