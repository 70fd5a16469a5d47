#include "toolkit/foundation/NSDataManager.h"

#include "toolkit/foundation/NSHttpClient.h"

namespace NSUI {

namespace {

const char* const kTickKey = "_nsDataManager";

NSDataManager* g_instance = nullptr;
bool g_purged = false;

}  // namespace

// ---------------------------------------------------------------------------
// NSDatas

NSDatas::NSDatas() = default;

NSDatas::~NSDatas() { cancelHttpRequests(); }

bool NSDatas::init() {
  httpOwner = this;
  tickInterval = 1;
  tickCount = 0;
  return true;
}

void NSDatas::stop() { cancelHttpRequests(); }

void NSDatas::update(float) {}

void NSDatas::cancelHttpRequests() {
  if (NSHttpClient* client = NSHttpClient::getInstanceIfExists()) client->cancelRequestsForOwner(httpOwner);
}

// ---------------------------------------------------------------------------
// NSDataManager

NSDataManager* NSDataManager::getInstance() {
  if (!g_instance && !g_purged) {
    auto* manager = new NSDataManager();
    manager->init();
    g_instance = manager;  // the slot holds the one lasting reference
  }
  return g_instance;
}

void NSDataManager::purgeInstance() {
  g_purged = true;
  NSDataManager* manager = g_instance;
  g_instance = nullptr;
  if (manager) {
    manager->stop();
    manager->release();
  }
}

NSDataManager::NSDataManager() = default;

NSDataManager::~NSDataManager() {
  if (scheduled) {
    if (auto* director = cocos2d::Director::getInstance()) director->getScheduler()->unschedule(kTickKey, this);
  }
}

bool NSDataManager::init() {
  scheduled = false;
  return true;
}

void NSDataManager::setEnabled(bool on) {
  if (on == scheduled) return;
  auto* scheduler = cocos2d::Director::getInstance()->getScheduler();
  if (!on) {
    scheduler->unschedule(kTickKey, this);
    scheduled = false;
  } else {
    scheduler->schedule([this](float dt) { update(dt); }, this, 1.0f, CC_REPEAT_FOREVER, 0.5f, false,
                        kTickKey);
    scheduled = true;
  }
}

void NSDataManager::update(float dt) {
  // Objects registered by a tick wait for the next one; each one ticked is
  // kept alive for its own call.
  cocos2d::Vector<NSDatas*> objects = dataObjects;
  for (auto* object : objects) object->update(dt);
}

void NSDataManager::stop() {
  for (auto* object : dataObjects) object->stop();
  dataObjects.clear();
  if (scheduled) {
    cocos2d::Director::getInstance()->getScheduler()->unschedule(kTickKey, this);
    scheduled = false;
  }
}

}  // namespace NSUI
