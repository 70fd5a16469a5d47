#include "toolkit/foundation/NSNotificationCenter.h"

#include <algorithm>

#include "toolkit/foundation/NSNotifyIds.h"

namespace NSUI {

namespace {

const char* const kTickKey = "_NSNotificationCenter";

std::mutex g_instanceMutex;
std::atomic<NSNotificationCenter*> g_instance{nullptr};
bool g_purged = false;  // guarded by g_instanceMutex
std::atomic<unsigned int> g_uiFrame{0};

}  // namespace

// ---------------------------------------------------------------------------
// NSNotificationData

NSNotificationData::NSNotificationData() = default;

NSNotificationData::~NSNotificationData() {
  if (object) object->release();
}

bool NSNotificationData::init() {
  text.clear();
  intValue = 0;
  floatValue = 0.0f;
  indexValue = 0;
  taskValue = 0;
  releaseObject();
  userData = nullptr;
  return true;
}

void NSNotificationData::releaseObject() {
  if (object) {
    cocos2d::Ref* old = object;
    object = nullptr;
    old->release();
  }
}

void NSNotificationData::setObject(cocos2d::Ref* obj) {
  if (obj) obj->retain();
  cocos2d::Ref* old = object;
  object = obj;
  if (old) old->release();
}

void NSNotificationData::setUserData(void* data) { userData = data; }

// ---------------------------------------------------------------------------
// NSNotificationCenter

NSNotificationCenter* NSNotificationCenter::getInstance() {
  NSNotificationCenter* centre = g_instance.load(std::memory_order_acquire);
  if (centre) return centre;
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  centre = g_instance.load(std::memory_order_relaxed);
  if (!centre && !g_purged) {
    // The slot holds the one lasting reference.
    centre = create();
    g_instance.store(centre, std::memory_order_release);
  }
  return centre;
}

void NSNotificationCenter::purgeInstance() {
  NSNotificationCenter* centre = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    g_purged = true;
    centre = g_instance.exchange(nullptr, std::memory_order_acq_rel);
  }
  if (centre) centre->release();
}

NSNotificationCenter* NSNotificationCenter::create() {
  auto* centre = new NSNotificationCenter();
  centre->scheduleTick();
  return centre;
}

NSNotificationCenter::NSNotificationCenter() = default;

void NSNotificationCenter::scheduleTick() {
  auto* director = cocos2d::Director::getInstance();
  auto schedule = [this]() {
    cocos2d::Director::getInstance()->getScheduler()->schedule(
        [this](float dt) { update(dt); }, this, 0.0f, CC_REPEAT_FOREVER, 0.5f, false, kTickKey);
  };
  if (director->isUIThread()) {
    schedule();
  } else {
    // The scheduler belongs to the UI thread: let it schedule the tick at its
    // next frame. Posts made meanwhile simply wait for the first tick.
    director->getScheduler()->performFunctionInCocosThread(this, schedule);
  }
}

NSNotificationCenter::~NSNotificationCenter() {
  if (auto* director = cocos2d::Director::getInstance()) {
    auto* scheduler = director->getScheduler();
    scheduler->removeFunctionInCocosThread(this);
    scheduler->unschedule(kTickKey, this);
  }
  removeAll();
}

// The director's frame count belongs to the UI thread. There it is read
// directly (and remembered); other threads take the count the UI thread saw
// last, which is the frame running, or just ended, while they post.
unsigned int NSNotificationCenter::currentFrame() {
  auto* director = cocos2d::Director::getInstance();
  if (director->isUIThread()) {
    const unsigned int frame = director->getTotalFrames();
    g_uiFrame.store(frame, std::memory_order_relaxed);
    return frame;
  }
  return g_uiFrame.load(std::memory_order_relaxed);
}

void NSNotificationCenter::freeEntry(NSNotificationEntry* entry) {
  if (entry->data) entry->data->release();
  delete entry;
}

void NSNotificationCenter::addObserver(void* target, void* object,
                                       const NSNotificationCallback& callback, int id) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  if (hasObserver(id, object, target)) return;
  auto* observer = new NSNotificationObserver();
  observer->callback = callback;
  observer->id = id;
  observer->object = object;
  observer->target = target;
  observers.pushBack(observer);
  observer->release();  // the list holds the only reference
}

bool NSNotificationCenter::hasObserver(int id, void* object, void* target) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  for (auto* observer : observers) {
    if (observer->id == id && observer->object == object && observer->target == target) return true;
  }
  return false;
}

void NSNotificationCenter::removeMatching(
    const std::function<bool(NSNotificationObserver*)>& match) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  for (ssize_t i = 0; i < static_cast<ssize_t>(observers.size());) {
    NSNotificationObserver* observer = observers.at(i);
    if (!match(observer)) {
      ++i;
      continue;
    }
    for (auto* queue : {&serialQueue, &immediateQueue}) {
      for (auto it = queue->begin(); it != queue->end();) {
        if ((*it)->observer == observer) {
          freeEntry(*it);
          it = queue->erase(it);
        } else {
          ++it;
        }
      }
    }
    // A tick that is delivering skips them.
    for (auto* entry : dispatchList) {
      if (entry->observer == observer) entry->active.store(false);
    }
    observers.erase(i);
  }
}

void NSNotificationCenter::removeAllObservers(void* target) {
  removeMatching([target](NSNotificationObserver* o) { return o->target == target; });
}

void NSNotificationCenter::removeObserver(int id, void* target) {
  removeMatching([id, target](NSNotificationObserver* o) { return o->id == id && o->target == target; });
}

// Marks inactive every pending entry that match() accepts. Only active
// entries are examined: an entry whose registration was removed during a
// tick is already inactive and its observer may be gone.
template <typename Match>
void NSNotificationCenter::deactivate(Match match) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  auto visit = [&](NSNotificationEntry* entry) {
    if (entry->active.load() && match(entry)) entry->active.store(false);
  };
  for (auto* entry : serialQueue) visit(entry);
  for (auto* entry : immediateQueue) visit(entry);
  for (auto* entry : dispatchList) visit(entry);
}

void NSNotificationCenter::cancelNotifications(cocos2d::Ref* sender, int id, void* object) {
  deactivate([&](NSNotificationEntry* e) {
    return e->sender == sender && e->id == id && e->observer->object == object;
  });
}

void NSNotificationCenter::cancelNotificationsInFrame(cocos2d::Ref* sender, int id, void* object) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  const unsigned int frame = currentFrame();
  deactivate([&](NSNotificationEntry* e) {
    return e->sender == sender && e->id == id && e->observer->object == object && e->frame == frame;
  });
}

void NSNotificationCenter::cancelNotificationsForTarget(void* target) {
  deactivate([&](NSNotificationEntry* e) { return e->observer->target == target; });
}

void NSNotificationCenter::postNotification(cocos2d::Ref* sender, int id, NSNotificationData* data,
                                            void* object, bool immediate) {
  if (data) data->retain();
  {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    unsigned int frame = 0;
    bool frameRead = false;
    for (auto* observer : observers) {
      if (static_cast<void*>(sender) == observer->target) continue;
      if (observer->id != id || observer->object != object) continue;
      if (!frameRead) {
        frame = currentFrame();
        frameRead = true;
      }
      auto* entry = new NSNotificationEntry();
      entry->observer = observer;
      entry->sender = sender;
      entry->data = data;
      if (data) data->retain();
      entry->id = id;
      entry->frame = frame;
      entry->sequence = sequence++;
      (immediate ? immediateQueue : serialQueue).push_back(entry);
    }
  }
  if (data) data->release();
}

void NSNotificationCenter::postNotificationInt(cocos2d::Ref* sender, int id, int value,
                                               void* object, bool immediate) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  auto* data = new NSNotificationData();
  data->intValue = value;
  postNotification(sender, id, data, object, immediate);
  data->release();
}

void NSNotificationCenter::postNotificationFloat(cocos2d::Ref* sender, int id, float value,
                                                 void* object, bool immediate) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  auto* data = new NSNotificationData();
  data->floatValue = value;
  postNotification(sender, id, data, object, immediate);
  data->release();
}

void NSNotificationCenter::postNotificationText(cocos2d::Ref* sender, int id, std::string text,
                                                void* object, bool immediate) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  auto* data = new NSNotificationData();
  data->text = std::move(text);
  postNotification(sender, id, data, object, immediate);
  data->release();
}

void NSNotificationCenter::postNotificationTaskValue(int id, int value, bool immediate) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  auto* data = new NSNotificationData();
  data->taskValue = value;
  postNotification(nullptr, id, data, nullptr, immediate);
  data->release();
}

void NSNotificationCenter::postNotificationIndex(cocos2d::Ref* sender, int index, void* object) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  auto* data = new NSNotificationData();
  data->indexValue = index;
  postNotification(sender, NOTIFY_SLICE_ARRIVED, data, object, true);
  data->release();
}

void NSNotificationCenter::update(float) {
  currentFrame();  // keeps the frame count that other threads read current
  std::vector<NSNotificationEntry*> batch;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    dispatchList.clear();
    for (auto it = serialQueue.begin(); it != serialQueue.end();) {
      if (!(*it)->active.load()) {
        freeEntry(*it);
        it = serialQueue.erase(it);
      } else {
        ++it;
      }
    }
    if (!serialQueue.empty()) {
      dispatchList.push_back(serialQueue.front());
      serialQueue.pop_front();
    }
    dispatchList.insert(dispatchList.end(), immediateQueue.begin(), immediateQueue.end());
    immediateQueue.clear();
    std::sort(dispatchList.begin(), dispatchList.end(),
              [](const NSNotificationEntry* a, const NSNotificationEntry* b) {
                return a->sequence < b->sequence;
              });
    // The list itself is not changed until the deliveries are done; other
    // threads only flip the entries' active flags under the lock.
    batch = dispatchList;
  }

  for (auto* entry : batch) {
    // Claim the entry: a cancellation from another thread and this delivery
    // cannot both win.
    if (!entry->observer || !entry->active.exchange(false)) continue;
    NSNotificationObserver* observer = entry->observer;
    if (!observer->callback) continue;
    // Keep the registration alive while its callback runs, even when the
    // callback removes it.
    observer->retain();
    observer->callback(entry->sender, static_cast<unsigned int>(observer->id), entry->data);
    observer->release();
  }

  std::lock_guard<std::recursive_mutex> lock(mutex);
  for (auto* entry : dispatchList) freeEntry(entry);
  dispatchList.clear();
}

void NSNotificationCenter::removeAll() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  for (auto* entry : serialQueue) freeEntry(entry);
  serialQueue.clear();
  for (auto* entry : immediateQueue) freeEntry(entry);
  immediateQueue.clear();
  for (auto* entry : dispatchList) entry->active.store(false);
  observers.clear();
}

}  // namespace NSUI
