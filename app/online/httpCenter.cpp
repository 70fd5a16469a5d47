#include "app/online/httpCenter.h"

#include "app/online/login.h"
#include "app/online/onlineService.h"
#include "engine/base/base64.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/NSMessageBox.h"

httpCenter* httpCenter::create() {
  auto* center = new httpCenter;
  if (!center->init()) {
    delete center;
    return nullptr;
  }
  center->autorelease();
  return center;
}

httpCenter::~httpCenter() { cancelHttpRequests(); }

bool httpCenter::init() {
  if (!NSUI::NSDatas::init()) return false;
  checking = false;
  if (auto* manager = NSUI::NSDataManager::getInstance()) manager->dataObjects.pushBack(this);
  tickInterval = 20;
  return true;
}

void httpCenter::start() { checking = true; }

void httpCenter::update(float /*dt*/) {
  if (++tickCount < tickInterval) return;
  tickCount = 0;
  if (!checking) return;
  std::string logged, id;
  login::readLoginState(logged, id);
  if (logged != "1") return;
  const std::string url = online::serviceAddress("/lg/rlc.php");
  if (url.empty()) return;
  const std::string loginTime =
      NSUI::UILocalConfig::getStringForKey("app_login_time", NSUI::getCurrentTimeString());
  std::string body;
  setJsonString(body, "userid", id);
  setJsonString(body, "loginTime", loginTime);
  setJsonString(body, "isMobile", "0");
  doHttpPost(url, cocos2d::safeBase64EncodeString(body.data(), body.size()), "reLoginCheck");
}

void httpCenter::onHttpResponse(NSUI::UIHttpResponse* response) {
  if (!response || response->tag != "reLoginCheck" || !response->succeeded || response->responseCode != 200) return;
  const std::string text = cocos2d::safeBase64DecodeString(response->body);
  if (getJsonStringWithDefault(text, "Status", "") == "0") return;
  login::logout();
  AppConfig* config = AppConfig::getInstance();
  if (config) NSUI::showMessageBox(config->getLocalizedString("login_second_device_info"), 5.0f);
}
