#include "engine/base/UserDefault.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <pugixml.hpp>
#include <sstream>

#include "engine/base/base64.h"
#include "engine/base/ccLog.h"
#include "engine/platform/FileUtils.h"

NS_CC_BEGIN

namespace {
const char kFileName[] = "UserDefault.xml";
const char kRootName[] = "userDefaultRoot";

std::mutex g_instanceMutex;
UserDefault* g_instance = nullptr;

template <class F>
std::string realText(F v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

// pugixml writer that collects into a string.
struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
};

bool writeFileAtomically(const std::string& path, const std::string& content) {
  static std::atomic<unsigned> counter{0};
  std::string tmp = path + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  // The settings hold the online account's id: readable by the owner only.
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::fchmod(fd, 0600);
  const char* p = content.data();
  size_t left = content.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}
}  // namespace

UserDefault* UserDefault::getInstance() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (!g_instance) {
    g_instance = new UserDefault;
    g_instance->load();
  }
  return g_instance;
}

void UserDefault::destroyInstance() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (!g_instance) return;
  g_instance->flush();
  delete g_instance;
  g_instance = nullptr;
}

UserDefault::UserDefault() : _filePath(getXMLFilePath()) {}

std::string UserDefault::getXMLFilePath() {
  return FileUtils::getInstance()->getWritablePath() + kFileName;
}

bool UserDefault::isXMLFileExist() { return FileUtils::getInstance()->isFileExist(getXMLFilePath()); }

std::string UserDefault::getFilePath() {
  std::lock_guard<std::mutex> lock(_mutex);
  return _filePath;
}

void UserDefault::load() {
  std::lock_guard<std::mutex> lock(_mutex);
  pugi::xml_document doc;
  pugi::xml_parse_result res =
      doc.load_file(_filePath.c_str(), (pugi::parse_default | pugi::parse_ws_pcdata) & ~pugi::parse_eol);
  if (!res) {
    if (res.status != pugi::status_file_not_found)
      log("UserDefault: cannot read %s: %s", _filePath.c_str(), res.description());
    return;
  }
  pugi::xml_node root = doc.child(kRootName);
  for (pugi::xml_node item : root.children("item")) {
    pugi::xml_attribute key = item.attribute("key");
    if (!key) continue;
    _values[key.value()] = item.child_value();
  }
}

bool UserDefault::flush() {
  std::string path, content;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (!_dirty) return true;
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "utf-8";
    pugi::xml_node root = doc.append_child(kRootName);
    for (const auto& [k, v] : _values) {
      pugi::xml_node item = root.append_child("item");
      item.append_attribute("key") = k.c_str();
      item.append_child(pugi::node_pcdata).set_value(v.c_str());
    }
    StringWriter w;
    doc.save(w, "  ", pugi::format_default, pugi::encoding_utf8);
    content = std::move(w.out);
    path = _filePath;
    _dirty = false;
    // Written while holding the lock, so that two flushes cannot reorder an
    // older snapshot over a newer one.
    FileUtils::getInstance()->createDirectory(path.substr(0, path.rfind('/') + 1));
    if (!writeFileAtomically(path, content)) {
      _dirty = true;
      log("UserDefault: cannot write %s", path.c_str());
      return false;
    }
  }
  return true;
}

bool UserDefault::lookup(const char* key, std::string* out) {
  if (!key) return false;
  std::lock_guard<std::mutex> lock(_mutex);
  auto it = _values.find(key);
  if (it == _values.end()) return false;
  *out = it->second;
  return true;
}

void UserDefault::store(const char* key, std::string value) {
  if (!key || !*key) return;
  std::lock_guard<std::mutex> lock(_mutex);
  auto it = _values.find(key);
  if (it != _values.end() && it->second == value) return;
  _values[key] = std::move(value);
  _dirty = true;
}

bool UserDefault::hasKey(const char* key) {
  if (!key) return false;
  std::lock_guard<std::mutex> lock(_mutex);
  return _values.count(key) != 0;
}

void UserDefault::deleteValueForKey(const char* key) {
  if (!key) return;
  std::lock_guard<std::mutex> lock(_mutex);
  if (_values.erase(key)) _dirty = true;
}

bool UserDefault::getBoolForKey(const char* key, bool def) {
  std::string v;
  if (!lookup(key, &v)) return def;
  return v == "true" || v == "1";
}

int UserDefault::getIntegerForKey(const char* key, int def) {
  std::string v;
  return lookup(key, &v) ? atoi(v.c_str()) : def;
}

float UserDefault::getFloatForKey(const char* key, float def) {
  std::string v;
  return lookup(key, &v) ? static_cast<float>(atof(v.c_str())) : def;
}

double UserDefault::getDoubleForKey(const char* key, double def) {
  std::string v;
  return lookup(key, &v) ? atof(v.c_str()) : def;
}

std::string UserDefault::getStringForKey(const char* key, const std::string& def) {
  std::string v;
  return lookup(key, &v) ? v : def;
}

Data UserDefault::getDataForKey(const char* key, const Data& def) {
  std::string v;
  if (!lookup(key, &v)) return def;
  std::string bytes = safeBase64DecodeString(v.data(), v.size());
  Data d;
  d.copy(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<ssize_t>(bytes.size()));
  return d;
}

void UserDefault::setBoolForKey(const char* key, bool value) { store(key, value ? "true" : "false"); }
void UserDefault::setIntegerForKey(const char* key, int value) { store(key, std::to_string(value)); }
void UserDefault::setFloatForKey(const char* key, float value) { store(key, realText(value)); }
void UserDefault::setDoubleForKey(const char* key, double value) { store(key, realText(value)); }
void UserDefault::setStringForKey(const char* key, const std::string& value) { store(key, value); }
void UserDefault::setDataForKey(const char* key, const Data& value) {
  store(key, safeBase64EncodeString(value.getBytes(), static_cast<size_t>(value.getSize())));
}

NS_CC_END
