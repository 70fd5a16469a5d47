#include "toolkit/foundation/AppConfig.h"

#include <cstdlib>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSGlobals.h"
#include "toolkit/foundation/NSHash.h"
#include "toolkit/foundation/UILocalConfig.h"

namespace {

AppConfig* g_instance = nullptr;
// Set when the singleton is destroyed: no second one is made afterwards.
bool g_released = false;

constexpr const char* kDefaultServiceAddress = "https://127.0.0.1:9";

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

AppConfig* AppConfig::getInstance() {
  if (g_instance || g_released) return g_instance;
  auto* config = new AppConfig;
  g_instance = config;
  config->init();
  config->autorelease();
  return config;
}

AppConfig::AppConfig() : winSize(960, 640), designSize(960, 640) {
  languageTable.fileName = "language.dat";
  NSUI::setServerUrl(serviceBaseAddress());
  phoneLayout = false;
}

AppConfig::~AppConfig() {
  if (g_instance == this) {
    g_instance = nullptr;
    g_released = true;
  }
}

bool AppConfig::init() {
  using NSUI::UILocalConfig;
  const std::string version = getVersion();
  const std::string stored = UILocalConfig::getStringForKey("app_current_version", "");
  if (stored.empty()) {
    UILocalConfig::setStringForKeyNoFlush("app_current_version", version);
    UILocalConfig::setStringForKeyNoFlush("app_install_time", NSUI::getCurrentTimeString());
    UILocalConfig::setStringForKeyNoFlush("app_init_db", "1");
  } else if (stored != version) {
    UILocalConfig::setStringForKeyNoFlush("app_current_version", version);
  }

  appIdentifier = UILocalConfig::getStringForKey("app_identifier", "");
  if (appIdentifier.empty()) {
    const std::string seed = cocos2d::Device::getDeviceInfo() + NSUI::getCurrentTimeString();
    appIdentifier = std::to_string(NSUI::foldedHash(seed));
    UILocalConfig::setStringForKeyNoFlush("app_identifier", appIdentifier);
  }
  return true;
}

std::string AppConfig::getServerUrl() const { return NSUI::getServerUrl(); }

std::string AppConfig::serviceBaseAddress() {
  std::string url = environment("FW_SERVICE_URL");
  if (url.empty()) return kDefaultServiceAddress;
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

std::string AppConfig::serviceCAFile() { return environment("FW_SERVICE_CA"); }
