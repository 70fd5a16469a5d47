#include "imaging/core/isSeriesCache.h"

#include <cstdio>
#include <cstring>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSFormat.h"

namespace isImageSDK {

std::string getCacheFolder() {
  return cocos2d::FileUtils::getInstance()->getWritablePath() + "kq/tmp/dcmbuf/";
}

std::string cachePathForFolder(const std::string& folder) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += "/";
  const std::string writable = cocos2d::FileUtils::getInstance()->getWritablePath();
  // Series folders lie below the writable path; the rest names the cache.
  std::string relative = path.size() >= writable.size() ? path.substr(writable.size()) : std::string();
  if (path.compare(0, writable.size(), writable) != 0) relative = path;  // outside: the whole path
  char name[16];
  std::snprintf(name, sizeof name, "%lu", static_cast<unsigned long>(foldedHash(relative)));
  return getCacheFolder() + name + ".prebin";
}

std::string rawPathForCache(const std::string& prebinPath) {
  if (prebinPath.size() < 7) return prebinPath + ".raw";
  return prebinPath.substr(0, prebinPath.size() - 7) + ".raw";
}

std::string joinNames(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) text.push_back(kNameSeparator);
    text += names[i];
  }
  return text;
}

std::vector<std::string> splitNames(const std::string& text) {
  std::vector<std::string> names;
  if (text.empty()) return names;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(kNameSeparator, start);
    if (at == std::string::npos) {
      names.push_back(text.substr(start));
      break;
    }
    names.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  return names;
}

bool isValidPrebinFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  PrebinHeader header;
  const size_t got = std::fread(&header, 1, sizeof header, f);
  std::fclose(f);
  if (got != sizeof header) return false;
  return strncmp(header.magic, kPrebinMagic, sizeof header.magic) == 0 &&
         strncmp(header.version, kPrebinVersion, sizeof header.version) == 0;
}

}  // namespace isImageSDK
