#include "app/online/login.h"

#include "toolkit/foundation/UILocalConfig.h"

void login::readLoginState(std::string& logged, std::string& id) {
  logged = NSUI::UILocalConfig::getStringForKey("app_logined", "0");
  id = NSUI::UILocalConfig::getStringForKey("app_login_id", "0");
}
