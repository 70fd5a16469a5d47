// Frame-driven timers, per-frame update callbacks and the queue of functions
// handed to the UI thread by other threads.
#pragma once

#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/base/Ref.h"

NS_CC_BEGIN

typedef std::function<void(float)> ccSchedulerFunc;

// Timing rules:
//  - A timer fires at most once per frame and never catches up. Time
//    accumulates frame by frame; the first call comes when it reaches the
//    delay (or the interval when there is no delay), later calls when it
//    reaches the interval, and it restarts from 0 after each call. Interval 0
//    means every frame. The callback receives the accumulated time.
//  - repeat = n gives n + 1 calls; CC_REPEAT_FOREVER never stops.
//  - Scheduling an existing (target, key) again only changes its interval;
//    the time already accumulated is kept.
//  - Each frame: first the handed-in functions, then the update callbacks by
//    ascending priority (ties in scheduling order), then the timers in the
//    order they were scheduled.
//  - Anything may be scheduled or unscheduled from inside a callback; new
//    entries start with the next frame.
//  - Paused targets neither fire nor accumulate time.
class Scheduler : public Ref {
 public:
  static const int PRIORITY_SYSTEM;
  static const int PRIORITY_NON_SYSTEM_MIN;

  Scheduler();
  ~Scheduler() override;

  float getTimeScale() const { return _timeScale; }
  void setTimeScale(float s) { _timeScale = s; }

  // One frame of the UI thread.
  void update(float dt);

  // ------------------------------------------------------------ timers
  void schedule(const ccSchedulerFunc& callback, void* target, float interval, unsigned int repeat,
                float delay, bool paused, const std::string& key);
  void schedule(const ccSchedulerFunc& callback, void* target, float interval, bool paused,
                const std::string& key);
  void schedule(SEL_SCHEDULE selector, Ref* target, float interval, unsigned int repeat,
                float delay, bool paused);
  void schedule(SEL_SCHEDULE selector, Ref* target, float interval, bool paused);

  void unschedule(const std::string& key, void* target);
  void unschedule(SEL_SCHEDULE selector, Ref* target);
  bool isScheduled(const std::string& key, const void* target) const;
  bool isScheduled(SEL_SCHEDULE selector, const Ref* target) const;

  // ------------------------------------------------------------ per frame
  // Calls target->update(dt) every frame.
  template <class T>
  void scheduleUpdate(T* target, int priority, bool paused) {
    schedulePerFrame([target](float dt) { target->update(dt); }, target, priority, paused);
  }
  void schedulePerFrame(const ccSchedulerFunc& callback, void* target, int priority, bool paused);
  void unscheduleUpdate(void* target);

  // ------------------------------------------------------------ targets
  void unscheduleAllForTarget(void* target);
  void unscheduleAll();
  // A target's pause state lives while it has timers or an update callback;
  // pausing a target without any does nothing.
  void pauseTarget(void* target);
  void resumeTarget(void* target);
  bool isTargetPaused(void* target) const;

  // ------------------------------------------------------------ hand-off
  // Any thread. Each function runs once on the UI thread at the start of a
  // later frame's update, in posting order (both forms share one queue). A
  // function posted while the queue is being run waits for the next frame.
  void performFunctionInCocosThread(std::function<void()> function);
  void performFunctionInCocosThread(void* owner, std::function<void()> function);
  // UI thread. Drops every queued function of owner, including those of the
  // batch being run right now. The function argument is not used.
  void removeFunctionInCocosThread(void* owner, const std::function<void()>& function = nullptr);
  void removeAllFunctionsToBePerformedInCocosThread();
  size_t getPendingFunctionCount() const;
  // After this, queued functions are dropped and later posts are accepted
  // and discarded (threads that outlive the engine may still post).
  void closeFunctionQueue();
  bool isFunctionQueueClosed() const;

 private:
  struct Timer {
    void* target = nullptr;
    std::string key;
    SEL_SCHEDULE selector = nullptr;
    ccSchedulerFunc callback;
    float interval = 0;
    float delay = 0;
    unsigned int repeat = 0;
    unsigned int executed = 0;
    double elapsed = 0;
    bool waitingForDelay = false;
    bool removed = false;
  };
  struct UpdateEntry {
    void* target = nullptr;
    int priority = 0;
    ccSchedulerFunc callback;
    bool removed = false;
  };
  struct PendingFunction {
    void* owner = nullptr;
    std::function<void()> function;
    uint64_t seq = 0;
  };

  Timer* findTimer(const void* target, const std::string& key) const;
  Timer* findTimer(const void* target, SEL_SCHEDULE selector) const;
  void addTimer(std::unique_ptr<Timer> timer, bool paused);
  void removeTimer(Timer* timer);
  void touchTarget(void* target, bool paused);
  void insertUpdate(UpdateEntry entry);
  void purge();
  bool targetPaused(const void* target) const;
  void runHandedInFunctions();
  void postFunction(void* owner, std::function<void()> function);

  float _timeScale = 1.0f;
  std::vector<std::unique_ptr<Timer>> _timers;  // scheduling order
  std::vector<UpdateEntry> _updates;            // priority order
  std::vector<UpdateEntry> _pendingUpdates;     // added during update()
  std::unordered_map<const void*, bool> _targets;  // target -> paused
  bool _updating = false;
  bool _needsPurge = false;

  mutable std::mutex _performMutex;
  std::deque<PendingFunction> _functionsToPerform;
  uint64_t _nextSeq = 0;
  bool _queueClosed = false;
};

NS_CC_END
