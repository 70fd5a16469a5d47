#include "app/online/onlineService.h"

#include <strings.h>

#include "toolkit/foundation/AppConfig.h"

namespace online {

bool isSecureAddress(const std::string& url) {
  static const char kScheme[] = "https://";
  const size_t n = sizeof kScheme - 1;
  return url.size() > n && strncasecmp(url.c_str(), kScheme, n) == 0 && url[n] != '/';
}

std::string serviceAddress(const std::string& path) {
  AppConfig* config = AppConfig::getInstance();
  const std::string base = config ? config->getServerUrl() : std::string();
  return isSecureAddress(base) ? base + path : std::string();
}

}  // namespace online
