#include "engine/platform/Device.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

NS_CC_BEGIN

namespace {
constexpr int kDefaultDPI = 96;
std::atomic<int> g_dpi{kDefaultDPI};

// PRETTY_NAME of an os-release file, unquoted; "" when absent.
std::string prettyName(const char* path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    std::string v = line.substr(12);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
      if (v[i] == '\\' && i + 1 < v.size()) ++i;  // shell escapes
      out += v[i];
    }
    return out;
  }
  return std::string();
}
}  // namespace

std::string Device::getDeviceInfo() {
  std::string os = prettyName("/etc/os-release");
  if (os.empty()) os = prettyName("/usr/lib/os-release");
  struct utsname u {};
  std::string arch;
  if (uname(&u) == 0) {
    arch = u.machine;
    if (os.empty()) os = std::string(u.sysname) + " " + u.release;
  }
  if (os.empty()) os = "Linux";
  char host[256] = {0};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  return os + "; " + arch + "; " + host;
}

int Device::getDPI() { return g_dpi.load(); }

void Device::setDPI(int dpi) { g_dpi.store(dpi >= 50 && dpi <= 400 ? dpi : kDefaultDPI); }

NS_CC_END
