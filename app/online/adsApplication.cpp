#include "app/online/adsApplication.h"

#include <cstdlib>
#include <vector>

#include "engine/base/ccMacros.h"
#include "engine/platform/Application.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSFormat.h"

namespace ADS {

namespace {
adsApplication* g_notice = nullptr;
}  // namespace

adsApplication* adsApplication::getInstance() {
  if (!g_notice) {
    auto* notice = new adsApplication;  // the kept reference
    g_notice = notice;
    notice->init();
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

bool adsApplication::init() {
  updateService = ::updateService::create();
  CC_SAFE_RETAIN(updateService);
  loadConfig();
  return true;
}

void adsApplication::loadConfig() { config = getStringForKey("app_config_ini", ""); }

bool adsApplication::isNewer(const std::string& latest, const std::string& current) {
  std::vector<std::string> l, c;
  NSUI::splitString(latest, ".", l);
  NSUI::splitString(current, ".", c);
  for (size_t k = 0; k < 3; ++k) {
    const int lk = k < l.size() ? std::atoi(l[k].c_str()) : 0;
    const int ck = k < c.size() ? std::atoi(c[k].c_str()) : 0;
    if (ck < lk) return true;
    if (ck > lk) return false;
  }
  return false;
}

void adsApplication::checkNewVersion() {
  if (getJsonInt(config, "ads_enable_newVersion", 0) != 1) return;
  AppConfig* app = AppConfig::getInstance();
  const std::string current = app ? app->getVersion() : std::string("2.5");
  if (!isNewer(getStringForKey("app_latest_version", "1.0"), current)) return;
  const int count = std::atoi(getStringForKey("app_ver_check_count", "0").c_str());
  if (count > 0) return;
  setStringForKey("app_ver_check_count", NSUI::formatString("%i", count + 1));
  if (getJsonInt(config, "adsNewVersionType", -1) <= 0 || getJsonString(config, "adsNewVersionUrl").empty()) return;
  // The page is always the service's own, whatever address is configured.
  if (auto* application = cocos2d::Application::getInstance(); application && app)
    application->openURL(app->getServerUrl() + "/ads/newversionPC.html");
}

void adsApplication::stop() { CC_SAFE_RELEASE_NULL(updateService); }

}  // namespace ADS
