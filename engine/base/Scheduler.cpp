#include "engine/base/Scheduler.h"

#include <algorithm>
#include <unordered_set>

#include "engine/base/ccLog.h"

NS_CC_BEGIN

const int Scheduler::PRIORITY_SYSTEM = INT_MIN;
const int Scheduler::PRIORITY_NON_SYSTEM_MIN = INT_MIN + 1;

namespace {
// Frame times are summed in double; this absorbs the rounding of float frame
// times (60 frames of 1/60 s must reach 1 s).
constexpr double kTimeEpsilon = 1e-6;
}  // namespace

Scheduler::Scheduler() = default;
Scheduler::~Scheduler() = default;

// ---------------------------------------------------------------- timers

Scheduler::Timer* Scheduler::findTimer(const void* target, const std::string& key) const {
  for (const auto& t : _timers)
    if (!t->removed && t->target == target && !t->selector && t->key == key) return t.get();
  return nullptr;
}

Scheduler::Timer* Scheduler::findTimer(const void* target, SEL_SCHEDULE selector) const {
  for (const auto& t : _timers)
    if (!t->removed && t->target == target && t->selector == selector) return t.get();
  return nullptr;
}

void Scheduler::touchTarget(void* target, bool paused) {
  // The first entry of a target decides its pause state.
  _targets.emplace(target, paused);
}

bool Scheduler::targetPaused(const void* target) const {
  auto it = _targets.find(target);
  return it != _targets.end() && it->second;
}

void Scheduler::addTimer(std::unique_ptr<Timer> timer, bool paused) {
  timer->waitingForDelay = timer->delay > 0.0f;
  touchTarget(timer->target, paused);
  _timers.push_back(std::move(timer));
}

void Scheduler::schedule(const ccSchedulerFunc& callback, void* target, float interval,
                         unsigned int repeat, float delay, bool paused, const std::string& key) {
  if (!target || key.empty() || !callback) {
    log("Scheduler: schedule needs a target, a key and a callback");
    return;
  }
  if (Timer* existing = findTimer(target, key)) {
    existing->interval = std::max(0.0f, interval);
    return;
  }
  auto t = std::make_unique<Timer>();
  t->target = target;
  t->key = key;
  t->callback = callback;
  t->interval = std::max(0.0f, interval);
  t->repeat = repeat;
  t->delay = std::max(0.0f, delay);
  addTimer(std::move(t), paused);
}

void Scheduler::schedule(const ccSchedulerFunc& callback, void* target, float interval,
                         bool paused, const std::string& key) {
  schedule(callback, target, interval, CC_REPEAT_FOREVER, 0.0f, paused, key);
}

void Scheduler::schedule(SEL_SCHEDULE selector, Ref* target, float interval, unsigned int repeat,
                         float delay, bool paused) {
  if (!target || !selector) return;
  if (Timer* existing = findTimer(target, selector)) {
    existing->interval = std::max(0.0f, interval);
    return;
  }
  auto t = std::make_unique<Timer>();
  t->target = target;
  t->selector = selector;
  t->callback = [target, selector](float dt) { (target->*selector)(dt); };
  t->interval = std::max(0.0f, interval);
  t->repeat = repeat;
  t->delay = std::max(0.0f, delay);
  addTimer(std::move(t), paused);
}

void Scheduler::schedule(SEL_SCHEDULE selector, Ref* target, float interval, bool paused) {
  schedule(selector, target, interval, CC_REPEAT_FOREVER, 0.0f, paused);
}

void Scheduler::removeTimer(Timer* timer) {
  timer->removed = true;
  timer->callback = nullptr;  // drop captures now
  _needsPurge = true;
  if (!_updating) purge();
}

void Scheduler::unschedule(const std::string& key, void* target) {
  if (Timer* t = findTimer(target, key)) removeTimer(t);
}

void Scheduler::unschedule(SEL_SCHEDULE selector, Ref* target) {
  if (Timer* t = findTimer(target, selector)) removeTimer(t);
}

bool Scheduler::isScheduled(const std::string& key, const void* target) const {
  return findTimer(target, key) != nullptr;
}

bool Scheduler::isScheduled(SEL_SCHEDULE selector, const Ref* target) const {
  return findTimer(target, selector) != nullptr;
}

// ---------------------------------------------------------------- updates

void Scheduler::insertUpdate(UpdateEntry entry) {
  auto pos = std::upper_bound(_updates.begin(), _updates.end(), entry.priority,
                              [](int p, const UpdateEntry& e) { return p < e.priority; });
  _updates.insert(pos, std::move(entry));
}

void Scheduler::schedulePerFrame(const ccSchedulerFunc& callback, void* target, int priority,
                                 bool paused) {
  if (!target || !callback) return;
  // One update callback per target: a new one replaces the old.
  unscheduleUpdate(target);
  touchTarget(target, paused);
  UpdateEntry e;
  e.target = target;
  e.priority = priority;
  e.callback = callback;
  if (_updating) _pendingUpdates.push_back(std::move(e));
  else insertUpdate(std::move(e));
}

void Scheduler::unscheduleUpdate(void* target) {
  bool found = false;
  for (auto& e : _updates)
    if (!e.removed && e.target == target) {
      e.removed = true;
      e.callback = nullptr;
      found = true;
    }
  for (auto& e : _pendingUpdates)
    if (!e.removed && e.target == target) {
      e.removed = true;
      e.callback = nullptr;
      found = true;
    }
  if (found) {
    _needsPurge = true;
    if (!_updating) purge();
  }
}

// ---------------------------------------------------------------- targets

void Scheduler::unscheduleAllForTarget(void* target) {
  if (!target) return;
  for (auto& t : _timers)
    if (!t->removed && t->target == target) {
      t->removed = true;
      t->callback = nullptr;
    }
  _needsPurge = true;
  unscheduleUpdate(target);
  if (!_updating) purge();
}

void Scheduler::unscheduleAll() {
  for (auto& t : _timers) {
    t->removed = true;
    t->callback = nullptr;
  }
  for (auto& e : _updates) {
    e.removed = true;
    e.callback = nullptr;
  }
  for (auto& e : _pendingUpdates) {
    e.removed = true;
    e.callback = nullptr;
  }
  _needsPurge = true;
  if (!_updating) purge();
}

void Scheduler::pauseTarget(void* target) {
  auto it = _targets.find(target);
  if (it != _targets.end()) it->second = true;
}

void Scheduler::resumeTarget(void* target) {
  auto it = _targets.find(target);
  if (it != _targets.end()) it->second = false;
}

bool Scheduler::isTargetPaused(void* target) const { return targetPaused(target); }

void Scheduler::purge() {
  _needsPurge = false;
  _timers.erase(std::remove_if(_timers.begin(), _timers.end(),
                               [](const std::unique_ptr<Timer>& t) { return t->removed; }),
                _timers.end());
  _updates.erase(std::remove_if(_updates.begin(), _updates.end(),
                                [](const UpdateEntry& e) { return e.removed; }),
                 _updates.end());
  for (auto& e : _pendingUpdates)
    if (!e.removed) insertUpdate(std::move(e));
  _pendingUpdates.clear();

  std::unordered_set<const void*> live;
  for (const auto& t : _timers) live.insert(t->target);
  for (const auto& e : _updates) live.insert(e.target);
  for (auto it = _targets.begin(); it != _targets.end();) {
    if (live.count(it->first)) ++it;
    else it = _targets.erase(it);
  }
}

// ---------------------------------------------------------------- frame

void Scheduler::update(float dt) {
  dt *= _timeScale;
  runHandedInFunctions();

  _updating = true;
  // Entries added during this frame are not visited until the next one.
  const size_t updateCount = _updates.size();
  for (size_t i = 0; i < updateCount; ++i) {
    UpdateEntry& e = _updates[i];
    if (e.removed || targetPaused(e.target)) continue;
    auto cb = e.callback;  // the entry may be removed while it runs
    cb(dt);
  }

  const size_t timerCount = _timers.size();
  for (size_t i = 0; i < timerCount; ++i) {
    Timer* t = _timers[i].get();
    if (t->removed || targetPaused(t->target)) continue;
    t->elapsed += dt;
    const double due = t->waitingForDelay ? t->delay : t->interval;
    if (t->elapsed + kTimeEpsilon < due) continue;
    const float elapsed = static_cast<float>(t->elapsed);
    t->elapsed = 0;
    t->waitingForDelay = false;
    ++t->executed;
    const bool last = t->repeat != CC_REPEAT_FOREVER && t->executed > t->repeat;
    auto cb = t->callback;  // keeps captures alive if the callback unschedules
    cb(elapsed);
    // _timers may have grown; t stays valid (owned by unique_ptr).
    if (last && !t->removed) {
      t->removed = true;
      t->callback = nullptr;
      _needsPurge = true;
    }
  }
  _updating = false;
  if (_needsPurge || !_pendingUpdates.empty()) purge();
}

// ---------------------------------------------------------------- hand-off

void Scheduler::postFunction(void* owner, std::function<void()> function) {
  if (!function) return;
  std::lock_guard<std::mutex> lock(_performMutex);
  if (_queueClosed) return;  // accepted and dropped
  _functionsToPerform.push_back(PendingFunction{owner, std::move(function), _nextSeq++});
}

void Scheduler::performFunctionInCocosThread(std::function<void()> function) {
  postFunction(nullptr, std::move(function));
}

void Scheduler::performFunctionInCocosThread(void* owner, std::function<void()> function) {
  postFunction(owner, std::move(function));
}

void Scheduler::removeFunctionInCocosThread(void* owner, const std::function<void()>&) {
  if (!owner) return;  // ownerless functions cannot be told apart
  std::deque<PendingFunction> dropped;  // destroyed outside the lock
  {
    std::lock_guard<std::mutex> lock(_performMutex);
    auto it = std::stable_partition(_functionsToPerform.begin(), _functionsToPerform.end(),
                                    [owner](const PendingFunction& f) { return f.owner != owner; });
    std::move(it, _functionsToPerform.end(), std::back_inserter(dropped));
    _functionsToPerform.erase(it, _functionsToPerform.end());
  }
}

void Scheduler::removeAllFunctionsToBePerformedInCocosThread() {
  std::deque<PendingFunction> dropped;
  std::lock_guard<std::mutex> lock(_performMutex);
  dropped.swap(_functionsToPerform);
}

size_t Scheduler::getPendingFunctionCount() const {
  std::lock_guard<std::mutex> lock(_performMutex);
  return _functionsToPerform.size();
}

void Scheduler::closeFunctionQueue() {
  std::deque<PendingFunction> dropped;
  std::lock_guard<std::mutex> lock(_performMutex);
  _queueClosed = true;
  dropped.swap(_functionsToPerform);
}

bool Scheduler::isFunctionQueueClosed() const {
  std::lock_guard<std::mutex> lock(_performMutex);
  return _queueClosed;
}

void Scheduler::runHandedInFunctions() {
  uint64_t limit;
  {
    std::lock_guard<std::mutex> lock(_performMutex);
    limit = _nextSeq;
  }
  // One entry at a time under the lock, so that removeFunctionInCocosThread
  // called by a running function also reaches the rest of this batch.
  for (;;) {
    PendingFunction f;
    {
      std::lock_guard<std::mutex> lock(_performMutex);
      if (_functionsToPerform.empty() || _functionsToPerform.front().seq >= limit) break;
      f = std::move(_functionsToPerform.front());
      _functionsToPerform.pop_front();
    }
    f.function();
  }
}

NS_CC_END
