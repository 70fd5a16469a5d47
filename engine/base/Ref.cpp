#include "engine/base/Ref.h"

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <typeinfo>
#include <unordered_set>

#include "engine/base/AutoreleasePool.h"
#include "engine/base/ccLog.h"

NS_CC_BEGIN

namespace {

// Ids start at 1; 0 means "none" to callers.
std::atomic<unsigned int> g_nextRefID{1};

#ifndef NDEBUG
constexpr bool kLeakCheckBuild = true;
#else
constexpr bool kLeakCheckBuild = false;
#endif

struct LeakRegistry {
  std::mutex mutex;
  std::unordered_set<const Ref*> live;
  long long constructed = 0;
  int leakID = 0;
};
std::atomic<bool> g_checkMemory{false};

LeakRegistry& registry() {
  static LeakRegistry* r = new LeakRegistry;  // outlives static destruction
  return *r;
}

std::string demangle(const char* name) {
  int status = 0;
  char* s = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string out = (status == 0 && s) ? s : name;
  free(s);
  return out;
}

}  // namespace

Ref::Ref() : _referenceCount(1) {
  if (g_checkMemory.load(std::memory_order_relaxed)) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.live.insert(this);
    ++r.constructed;
    if (r.leakID > 0 && r.constructed == r.leakID)
      log("Ref: object #%d constructed at %p", r.leakID, static_cast<const void*>(this));
  }
}

Ref::~Ref() {
  if (g_checkMemory.load(std::memory_order_relaxed)) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.live.erase(this);
  }
}

void Ref::retain() {
  CCASSERT(_referenceCount.load(std::memory_order_relaxed) > 0, "retain of a dead object");
  _referenceCount.fetch_add(1, std::memory_order_relaxed);
}

void Ref::release() {
  unsigned int before = _referenceCount.fetch_sub(1, std::memory_order_acq_rel);
  CCASSERT(before > 0, "release of a dead object");
  if (before == 1) delete this;
}

Ref* Ref::autorelease() {
  PoolManager::getInstance()->getCurrentPool()->addObject(this);
  return this;
}

unsigned int Ref::getReferenceCount() const {
  return _referenceCount.load(std::memory_order_relaxed);
}

unsigned int Ref::getRefID() const {
  unsigned int id = _refID.load(std::memory_order_acquire);
  if (id != 0) return id;
  unsigned int fresh = g_nextRefID.fetch_add(1, std::memory_order_relaxed);
  if (fresh > 0x7fffffffu) {
    // Never reuse ids: past 2^31 - 1 every new request shares the last id.
    log("Ref: id space exhausted");
    fresh = 0x7fffffffu;
  }
  unsigned int expected = 0;
  if (_refID.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel))
    return fresh;
  return expected;  // another thread assigned it first
}

void Ref::enableCheckMemory() {
  if (!kLeakCheckBuild) return;
  registry();
  g_checkMemory.store(true);
}

void Ref::setLeakID(int n) {
  if (!kLeakCheckBuild) return;
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.leakID = n;
}

bool Ref::isCheckMemoryEnabled() { return g_checkMemory.load(); }

size_t Ref::getLiveObjectCount() {
  if (!g_checkMemory.load()) return 0;
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.live.size();
}

void Ref::printLeaks() {
  if (!g_checkMemory.load()) return;
  auto& r = registry();
  std::map<std::string, int> byType;
  size_t total = 0;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    total = r.live.size();
    for (const Ref* p : r.live) ++byType[demangle(typeid(*p).name())];
  }
  if (total == 0) {
    log("Ref: no live objects");
    return;
  }
  log("Ref: %zu live objects", total);
  for (const auto& [name, count] : byType) log("  %6d  %s", count, name.c_str());
}

NS_CC_END
