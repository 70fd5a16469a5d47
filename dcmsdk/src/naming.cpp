// Folder names of the storage tree, built from DICOM texts that may be hostile.
#include <cstdio>
#include <cstring>

#include "dcmsdk/src/internal.h"
#include "dcmsdk/src/net_common.h"

namespace dcmSDK {

namespace {

constexpr size_t kMaxComponent = 64;
constexpr size_t kMaxPatientId = 40;

// One path component: only [A-Za-z0-9._-], no leading dot, never "." or "..".
std::string sanitizeComponent(const char* text, size_t maxLen) { return net::pathComponent(text ? text : "", maxLen); }

uint32_t fnv1a32(const std::string& s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

}  // namespace

bool dcmServer::getDicomFolder(const char* name, const char* id, const char* studyUID, const char* seriesUID,
                               char out[1024]) try {
  if (!out) return false;
  out[0] = '\0';
  std::string n = name ? name : "", i = id ? id : "";
  char hash[16];
  std::snprintf(hash, sizeof hash, "%08x", fnv1a32(n + "\x1f" + i));
  std::string p = sanitizeComponent(i.c_str(), kMaxPatientId) + "_" + hash;
  std::string s = studyUID && *studyUID ? sanitizeComponent(studyUID, kMaxComponent) : "unknownStudy";
  std::string e = seriesUID && *seriesUID ? sanitizeComponent(seriesUID, kMaxComponent) : "unknownSeries";
  std::string folder = p + "/" + s + "/" + e;
  if (folder.size() >= 1024) return false;
  std::memcpy(out, folder.c_str(), folder.size() + 1);
  return true;
} catch (...) {
  detail::logLine("storage folder name: " + detail::exceptionText("building the name"));
  if (out) out[0] = '\0';
  return false;
}

}  // namespace dcmSDK
