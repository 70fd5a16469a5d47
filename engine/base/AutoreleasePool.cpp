#include "engine/base/AutoreleasePool.h"

#include <sstream>

#include "engine/base/ccLog.h"

NS_CC_BEGIN

namespace {
// Recorded during static initialisation, which runs on the main thread.
const std::thread::id g_mainThread = std::this_thread::get_id();

std::string threadName(std::thread::id id) {
  std::ostringstream s;
  s << id;
  return s.str();
}
}  // namespace

// Drains the pool of a worker thread when the thread exits, unless
// removeThread() already did.
struct ThreadExitGuard {
  bool armed = false;
  ~ThreadExitGuard() {
    if (armed) PoolManager::getInstance()->onThreadExit(std::this_thread::get_id());
  }
};
static thread_local ThreadExitGuard t_exitGuard;

// The calling thread's entry, valid while the manager's generation matches.
struct PoolCache {
  void* pools = nullptr;
  uint64_t generation = 0;
};
static thread_local PoolCache t_poolCache;

// ---------------------------------------------------------------- pool

AutoreleasePool::AutoreleasePool() : AutoreleasePool(std::string()) {}

AutoreleasePool::AutoreleasePool(const std::string& name) : _name(name) {
  _managedObjects.reserve(64);
  PoolManager::getInstance()->push(this);
  _pushed = true;
}

AutoreleasePool::AutoreleasePool(const std::string& name, NoPush) : _name(name) {
  _managedObjects.reserve(256);
}

AutoreleasePool::~AutoreleasePool() {
  clear();
  if (_pushed) PoolManager::getInstance()->pop(this);
}

void AutoreleasePool::addObject(Ref* object) { _managedObjects.push_back(object); }


void AutoreleasePool::clear() {
  _isClearing = true;
  std::vector<Ref*> releasing;
  releasing.swap(_managedObjects);
  for (Ref* obj : releasing) obj->release();
  _isClearing = false;
}

bool AutoreleasePool::contains(Ref* object) const {
  for (const Ref* obj : _managedObjects)
    if (obj == object) return true;
  return false;
}

void AutoreleasePool::dump() {
  log("pool '%s': %zu objects", _name.c_str(), _managedObjects.size());
  for (const Ref* obj : _managedObjects)
    log("  %p count %u", static_cast<const void*>(obj), obj->getReferenceCount());
}

// ---------------------------------------------------------------- manager

PoolManager* PoolManager::getInstance() {
  // Never destroyed: worker threads may drain their pools during process exit.
  static PoolManager* instance = new PoolManager;
  return instance;
}

PoolManager::PoolManager() : _uiThread(g_mainThread) {}

void PoolManager::destroyInstance() {
  PoolManager* pm = getInstance();
  std::unique_ptr<ThreadPools> ui;
  {
    std::lock_guard<std::mutex> lock(pm->_mutex);
    auto it = pm->_threads.find(pm->_uiThread);
    if (it != pm->_threads.end() && it->second->stack.size() == 1) {
      ui = std::move(it->second);
      pm->_threads.erase(it);
      pm->_generation.fetch_add(1, std::memory_order_release);
    }
  }
  if (ui) drainAndDiscard(std::move(ui));
}

PoolManager::ThreadPools& PoolManager::poolsOfCurrentThread(std::unique_lock<std::mutex>& lock) {
  const auto id = std::this_thread::get_id();
  auto it = _threads.find(id);
  if (it != _threads.end()) return *it->second;

  auto pools = std::make_unique<ThreadPools>();
  const bool ui = (id == _uiThread);
  pools->base.reset(new AutoreleasePool(ui ? "ui pool" : "thread pool " + threadName(id),
                                        AutoreleasePool::NoPush{}));
  pools->stack.push_back(pools->base.get());
  pools->onDemand = !ui;
  ThreadPools& ref = *pools;
  _threads.emplace(id, std::move(pools));
  if (!ui) {
    t_exitGuard.armed = true;
    lock.unlock();
    CCLOG("PoolManager: thread %s autoreleases without addThread; pool made on demand",
          threadName(id).c_str());
    lock.lock();
  }
  return ref;
}

AutoreleasePool* PoolManager::getCurrentPool() {
  // Fast path: only this thread changes its own pool stack, and entries of
  // living threads leave the map only through this thread (removeThread on
  // itself) or with a generation bump.
  if (t_poolCache.pools && t_poolCache.generation == _generation.load(std::memory_order_acquire))
    return static_cast<ThreadPools*>(t_poolCache.pools)->stack.back();
  std::unique_lock<std::mutex> lock(_mutex);
  ThreadPools& pools = poolsOfCurrentThread(lock);
  // A worker's pool (registered or made on demand) is drained at its exit
  // unless removeThread() did it first.
  if (std::this_thread::get_id() != _uiThread) t_exitGuard.armed = true;
  t_poolCache.pools = &pools;
  t_poolCache.generation = _generation.load(std::memory_order_relaxed);
  return pools.stack.back();
}

bool PoolManager::isObjectInPools(Ref* object) {
  std::unique_lock<std::mutex> lock(_mutex);
  auto it = _threads.find(std::this_thread::get_id());
  if (it == _threads.end()) return false;
  for (AutoreleasePool* p : it->second->stack)
    if (p->contains(object)) return true;
  return false;
}

void PoolManager::addThread(std::thread::id id) {
  std::lock_guard<std::mutex> lock(_mutex);
  auto it = _threads.find(id);
  if (it != _threads.end()) {
    it->second->onDemand = false;  // already has one: keep its contents
    return;
  }
  auto pools = std::make_unique<ThreadPools>();
  pools->base.reset(new AutoreleasePool("thread pool " + threadName(id), AutoreleasePool::NoPush{}));
  pools->stack.push_back(pools->base.get());
  _threads.emplace(id, std::move(pools));
}

void PoolManager::removeThread(std::thread::id id) {
  std::unique_ptr<ThreadPools> pools;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (id == _uiThread) return;  // the frame pool is never removed
    auto it = _threads.find(id);
    if (it == _threads.end()) return;
    if (it->second->stack.size() > 1) {
      log("PoolManager: removeThread while nested pools are alive; only draining");
      it->second->stack.back()->clear();
      return;
    }
    pools = std::move(it->second);
    _threads.erase(it);
    _generation.fetch_add(1, std::memory_order_release);
  }
  drainAndDiscard(std::move(pools));
}

void PoolManager::drainCurrentThread() { getCurrentPool()->clear(); }

void PoolManager::setUIThread(std::thread::id id) {
  std::lock_guard<std::mutex> lock(_mutex);
  _uiThread = id;
  _generation.fetch_add(1, std::memory_order_release);
  auto it = _threads.find(id);
  if (it != _threads.end()) it->second->onDemand = false;
}

std::thread::id PoolManager::getUIThread() {
  std::lock_guard<std::mutex> lock(_mutex);
  return _uiThread;
}

void PoolManager::push(AutoreleasePool* pool) {
  std::unique_lock<std::mutex> lock(_mutex);
  poolsOfCurrentThread(lock).stack.push_back(pool);
}

void PoolManager::pop(AutoreleasePool* pool) {
  std::lock_guard<std::mutex> lock(_mutex);
  auto it = _threads.find(std::this_thread::get_id());
  if (it == _threads.end()) return;
  auto& stack = it->second->stack;
  CCASSERT(!stack.empty() && stack.back() == pool, "autorelease pools must nest");
  if (stack.size() > 1 && stack.back() == pool) stack.pop_back();
}

void PoolManager::drainAndDiscard(std::unique_ptr<ThreadPools> pools) {
  // The pool has left the manager: anything autoreleased while it drains
  // goes to the thread's next pool, not into this one.
  pools->base->clear();
}

void PoolManager::onThreadExit(std::thread::id id) {
  // Objects released here may autorelease again and recreate an entry; loop.
  for (int round = 0; round < 8; ++round) {
    std::unique_ptr<ThreadPools> pools;
    {
      std::lock_guard<std::mutex> lock(_mutex);
      if (id == _uiThread) return;
      auto it = _threads.find(id);
      if (it == _threads.end()) return;
      pools = std::move(it->second);
      _threads.erase(it);
      _generation.fetch_add(1, std::memory_order_release);
    }
    drainAndDiscard(std::move(pools));
  }
}

NS_CC_END
