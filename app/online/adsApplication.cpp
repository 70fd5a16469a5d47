#include "app/online/adsApplication.h"

#include "engine/base/ccMacros.h"
#include "toolkit/foundation/UILocalConfig.h"

namespace ADS {

namespace {
adsApplication* g_notice = nullptr;
}  // namespace

adsApplication* adsApplication::getInstance() {
  if (!g_notice) {
    auto* notice = new adsApplication;  // the kept reference
    notice->updateService = ::updateService::create();
    CC_SAFE_RETAIN(notice->updateService);
    notice->loadConfig();
    g_notice = notice;
  }
  return g_notice;
}

adsApplication* adsApplication::getInstanceIfExists() { return g_notice; }

void adsApplication::destroyInstance() {
  adsApplication* notice = g_notice;
  g_notice = nullptr;
  if (notice) notice->release();
}

adsApplication::~adsApplication() {
  CC_SAFE_RELEASE_NULL(updateService);
  if (g_notice == this) g_notice = nullptr;
}

void adsApplication::loadConfig() { config = NSUI::UILocalConfig::getStringForKey("app_config_ini", ""); }

void adsApplication::checkNewVersion() {}

void adsApplication::stop() { CC_SAFE_RELEASE_NULL(updateService); }

}  // namespace ADS
