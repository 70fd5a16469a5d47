#include "imaging/core/isSharedObjects.h"

#include <algorithm>
#include <new>

#include "imaging/core/ProtocalList.h"
#include "imaging/core/isROIManager.h"

namespace isImageSDK {

namespace {
isSharedObjects* s_sharedObjects = nullptr;
}

isSharedObjects* isSharedObjects::getInstance() {
  if (!s_sharedObjects) {
    auto* registry = new (std::nothrow) isSharedObjects();
    if (!registry) return nullptr;
    if (!registry->init()) {
      registry->release();
      return nullptr;
    }
    // The slot holds the only lasting reference.
    registry->autorelease();
    registry->retain();
    s_sharedObjects = registry;
  }
  return s_sharedObjects;
}

isSharedObjects::~isSharedObjects() {
  if (s_sharedObjects == this) s_sharedObjects = nullptr;
}

bool isSharedObjects::init() { return true; }

void isSharedObjects::clear() {
  std::vector<isObject*> released;
  {
    std::lock_guard<std::recursive_mutex> guard(lock);
    released.swap(objects);
  }
  for (isObject* object : released) object->release();
}

void isSharedObjects::addObject(isObject* object) {
  if (!object) return;
  std::lock_guard<std::recursive_mutex> guard(lock);
  if (std::find(objects.begin(), objects.end(), object) != objects.end()) return;
  object->retain();
  objects.push_back(object);
}

isObject* isSharedObjects::getObjectByName(const std::string& name) const {
  std::lock_guard<std::recursive_mutex> guard(lock);
  for (isObject* object : objects) {
    if (object->name == name) return object;
  }
  return nullptr;
}

void isSharedObjects::removeObjectByName(const std::string& name) {
  isObject* removed = nullptr;
  {
    std::lock_guard<std::recursive_mutex> guard(lock);
    for (auto it = objects.begin(); it != objects.end(); ++it) {
      if ((*it)->name == name) {
        removed = *it;
        objects.erase(it);
        break;
      }
    }
  }
  // Released outside the lock: a reader's destruction waits for its loading
  // thread.
  if (removed) removed->release();
}

void shutdown() {
  if (s_sharedObjects) {
    isSharedObjects* registry = s_sharedObjects;
    s_sharedObjects = nullptr;
    registry->clear();
    registry->release();
  }
  isROIManager::destroyInstance();
  releaseProtocolList();
}

}  // namespace isImageSDK
