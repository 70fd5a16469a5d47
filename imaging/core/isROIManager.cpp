#include "imaging/core/isROIManager.h"

#include <algorithm>
#include <new>

namespace isImageSDK {

namespace {
isROIManager* s_roiManager = nullptr;
}

isROIManager* isROIManager::getInstance() {
  if (!s_roiManager) {
    auto* manager = new (std::nothrow) isROIManager();
    if (!manager) return nullptr;
    if (!manager->init()) {
      manager->release();
      return nullptr;
    }
    manager->autorelease();
    manager->retain();
    s_roiManager = manager;
  }
  return s_roiManager;
}

void isROIManager::destroyInstance() {
  if (!s_roiManager) return;
  isROIManager* manager = s_roiManager;
  s_roiManager = nullptr;
  manager->clear();
  manager->release();
}

isROIManager::~isROIManager() {
  if (s_roiManager == this) s_roiManager = nullptr;
}

bool isROIManager::init() { return true; }

void isROIManager::clear() {
  std::vector<cocos2d::Ref*> released;
  released.swap(rois);
  for (cocos2d::Ref* record : released) record->release();
}

void isROIManager::addROI(cocos2d::Ref* record) {
  if (!record) return;
  if (std::find(rois.begin(), rois.end(), record) != rois.end()) return;
  record->retain();
  rois.push_back(record);
}

}  // namespace isImageSDK
