// Process-wide notification centre.
//
// A component registers a callback for an integer id and an object (null is
// the broadcast channel) and receives, on the UI thread, what any thread posts
// for exactly that id and object, never what it posts itself. A post queues
// one entry per matching registration under the centre's lock; a per-frame
// tick of the engine's scheduler (key "_NSNotificationCenter", first call
// 0.5 s after the centre is made) delivers them:
//   - immediate posts: every pending one at the next tick;
//   - serial posts: one queue, one entry per tick, oldest first.
// Within one tick, entries are delivered in posting order.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "engine/cocos2d.h"

namespace NSUI {

// Payload of a notification. The poster makes it (count 1), posts it and
// releases its own reference; each queued entry holds one more reference
// until it is delivered or dropped. An observer that keeps the payload after
// its callback returns retains it.
class NSNotificationData : public cocos2d::Ref {
 public:
  NSNotificationData();
  ~NSNotificationData() override;

  // Resets every field to its empty value (releasing a held object).
  virtual bool init();
  // Releases the held object and clears it.
  virtual void releaseObject();

  // Retains obj and releases the object held before.
  void setObject(cocos2d::Ref* obj);
  void setUserData(void* data);

  std::string text;       // usually flat JSON
  int intValue = 0;
  float floatValue = 0.0f;
  int indexValue = 0;
  int taskValue = 0;
  cocos2d::Ref* object = nullptr;  // retained
  void* userData = nullptr;        // not retained
};

using NSNotificationCallback =
    std::function<void(cocos2d::Ref* sender, unsigned int id, NSNotificationData* data)>;

// One registration.
class NSNotificationObserver : public cocos2d::Ref {
 public:
  NSNotificationCallback callback;
  int id = 0;
  void* object = nullptr;  // null: broadcast channel; not retained
  void* target = nullptr;  // owner of the registration; not retained
};

// One queued delivery; owned by the centre.
struct NSNotificationEntry {
  NSNotificationObserver* observer = nullptr;  // not retained
  cocos2d::Ref* sender = nullptr;              // not retained
  NSNotificationData* data = nullptr;          // retained by the entry
  int id = 0;
  unsigned int frame = 0;                      // Director::getTotalFrames at the post
  std::atomic<bool> active{true};              // false once delivered or cancelled
  unsigned int sequence = 0;
};

class NSNotificationCenter : public cocos2d::Ref {
 public:
  // The singleton, made on first use. Creation is safe from any thread: made
  // off the UI thread, the centre schedules its tick through the engine's
  // hand-off to the UI thread. After purgeSingletons() this returns null:
  // code that may run during teardown checks the result.
  static NSNotificationCenter* getInstance();

  // A centre of its own (count 1, not autoreleased), with its tick scheduled
  // under its own pointer as target. The singleton is one of these.
  static NSNotificationCenter* create();

  ~NSNotificationCenter() override;

  // Registrations and removals belong on the UI thread.
  void addObserver(void* target, void* object, const NSNotificationCallback& callback, int id);
  bool hasObserver(int id, void* object, void* target);
  void removeAllObservers(void* target);
  void removeObserver(int id, void* target);

  // Any thread.
  void cancelNotifications(cocos2d::Ref* sender, int id, void* object);
  void cancelNotificationsInFrame(cocos2d::Ref* sender, int id, void* object);
  void cancelNotificationsForTarget(void* target);

  // Any thread.
  void postNotification(cocos2d::Ref* sender, int id, NSNotificationData* data, void* object,
                        bool immediate);
  void postNotificationInt(cocos2d::Ref* sender, int id, int value, void* object, bool immediate);
  void postNotificationFloat(cocos2d::Ref* sender, int id, float value, void* object,
                             bool immediate);
  void postNotificationText(cocos2d::Ref* sender, int id, std::string text, void* object,
                            bool immediate);
  void postNotificationTaskValue(int id, int value, bool immediate);
  // Slice-arrived notification (9109), immediate kind, payload indexValue.
  void postNotificationIndex(cocos2d::Ref* sender, int index, void* object);

  // The tick (UI thread); the elapsed time is ignored.
  void update(float dt);
  // Releases every registration and frees every queued entry.
  void removeAll();

  // Releases the singleton and stops getInstance() from making a new one.
  // Part of the application teardown (purgeSingletons).
  static void purgeInstance();

 private:
  NSNotificationCenter();
  void scheduleTick();
  void freeEntry(NSNotificationEntry* entry);
  void removeMatching(const std::function<bool(NSNotificationObserver*)>& match);
  template <typename Match>
  void deactivate(Match match);
  static unsigned int currentFrame();

  cocos2d::Vector<NSNotificationObserver*> observers;
  std::recursive_mutex mutex;
  std::list<NSNotificationEntry*> serialQueue;
  std::list<NSNotificationEntry*> immediateQueue;
  std::vector<NSNotificationEntry*> dispatchList;
  unsigned int sequence = 0;
};

}  // namespace NSUI
