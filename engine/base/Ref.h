// Reference-counted base object of the engine.
#pragma once

#include <atomic>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class Ref;

// An object that can produce a deep copy of itself.
class Clonable {
 public:
  virtual ~Clonable() = default;
  // A new object (count 1, not autoreleased) equal to this one.
  virtual Clonable* clone() const = 0;
  // Same as clone(); kept for callers written against the older name.
  Clonable* copy() const { return clone(); }
};

// The count starts at 1 and the object deletes itself when it reaches 0.
// retain(), release(), autorelease() and getRefID() may be called from any
// thread; autorelease() puts the object into the calling thread's pool.
class Ref {
 public:
  void retain();
  void release();
  Ref* autorelease();
  unsigned int getReferenceCount() const;

  // A process-wide unique id, handed out on the first call from a counter
  // that starts at 1. Ids are never 0, never reused and fit in a signed
  // 32-bit integer. Objects that are never asked use none up.
  unsigned int getRefID() const;

  // True when other is this very object.
  bool equal(const Ref* other) const { return other == this; }

  // Leak checking (debug builds; no-ops in release builds). After
  // enableCheckMemory(), live objects are tracked and printLeaks() lists the
  // survivors by count and type. setLeakID(n) logs the construction of the
  // n-th object created after checking was enabled, as a breakpoint aid.
  static void enableCheckMemory();
  static void setLeakID(int n);
  static bool isCheckMemoryEnabled();
  // Number of tracked live objects (0 when checking is off).
  static size_t getLiveObjectCount();
  // Logs the tracked survivors; called by Director::end.
  static void printLeaks();

  virtual ~Ref();

 protected:
  Ref();
  Ref(const Ref&) : Ref() {}
  Ref& operator=(const Ref&) { return *this; }

 private:
  std::atomic<unsigned int> _referenceCount;
  mutable std::atomic<unsigned int> _refID{0};
};

class Node;
// Scheduler selector: a member of a Ref subclass taking the frame time.
typedef void (Ref::*SEL_SCHEDULE)(float);
typedef void (Ref::*SEL_CallFunc)();
typedef void (Ref::*SEL_CallFuncN)(Node*);
typedef void (Ref::*SEL_CallFuncO)(Ref*);
typedef void (Ref::*SEL_MenuHandler)(Ref*);

#define CC_SCHEDULE_SELECTOR(_SELECTOR) static_cast<cocos2d::SEL_SCHEDULE>(&_SELECTOR)
#define CC_CALLFUNC_SELECTOR(_SELECTOR) static_cast<cocos2d::SEL_CallFunc>(&_SELECTOR)
#define CC_CALLFUNCN_SELECTOR(_SELECTOR) static_cast<cocos2d::SEL_CallFuncN>(&_SELECTOR)
#define CC_CALLFUNCO_SELECTOR(_SELECTOR) static_cast<cocos2d::SEL_CallFuncO>(&_SELECTOR)
#define CC_MENU_SELECTOR(_SELECTOR) static_cast<cocos2d::SEL_MenuHandler>(&_SELECTOR)
#define schedule_selector(_SELECTOR) CC_SCHEDULE_SELECTOR(_SELECTOR)

NS_CC_END
