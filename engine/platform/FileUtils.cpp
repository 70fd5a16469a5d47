#include "engine/platform/FileUtils.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pugixml.hpp>

#include "engine/base/ccLog.h"

extern char** environ;

NS_CC_BEGIN

namespace fs = std::filesystem;

namespace {

std::mutex g_instanceMutex;
FileUtils* g_instance = nullptr;

bool statPath(const std::string& path, struct stat* st) {
  return !path.empty() && ::stat(path.c_str(), st) == 0;
}

bool isRegularFile(const std::string& path) {
  struct stat st;
  return statPath(path, &st) && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return statPath(path, &st) && S_ISDIR(st.st_mode);
}

std::string executableFolder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

// Reads a whole file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string* out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  out->clear();
  out->reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

bool writeWholeFileAtomically(const std::string& path, const void* data, size_t size) {
  static std::atomic<unsigned> counter{0};
  std::string tmp = path + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const char* p = static_cast<const char*>(data);
  bool ok = true;
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

// An executable of that name on PATH.
bool onPath(const char* program) {
  const char* path = getenv("PATH");
  if (!path) return false;
  std::string dirs(path);
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Runs argv (no shell) and collects its standard output. False when it
// cannot start or exits with a non-zero status.
bool runAndCapture(std::vector<std::string> args, std::string* out) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    return false;
  }
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ------------------------------------------------------------ plist reading

// Deeper nesting than this is treated as malformed (hostile input must not
// exhaust the stack).
constexpr int kMaxPlistDepth = 256;

Value plistValue(const pugi::xml_node& node, bool* ok, int depth);

ValueMap plistDict(const pugi::xml_node& dict, bool* ok, int depth) {
  ValueMap map;
  std::string key;
  bool haveKey = false;
  for (pugi::xml_node child : dict.children()) {
    if (child.type() != pugi::node_element) continue;
    if (strcmp(child.name(), "key") == 0) {
      if (haveKey) log("plist: key '%s' has no value", key.c_str());
      key = child.child_value();
      haveKey = true;
      continue;
    }
    if (!haveKey) {
      log("plist: value <%s> without a key", child.name());
      *ok = false;
      continue;
    }
    map[key] = plistValue(child, ok, depth + 1);
    haveKey = false;
  }
  return map;
}

Value plistValue(const pugi::xml_node& node, bool* ok, int depth) {
  if (depth > kMaxPlistDepth) {
    *ok = false;
    return Value();
  }
  const char* name = node.name();
  if (strcmp(name, "dict") == 0) return Value(plistDict(node, ok, depth));
  if (strcmp(name, "array") == 0) {
    ValueVector vec;
    for (pugi::xml_node child : node.children())
      if (child.type() == pugi::node_element) vec.push_back(plistValue(child, ok, depth + 1));
    return Value(std::move(vec));
  }
  if (strcmp(name, "string") == 0 || strcmp(name, "date") == 0 || strcmp(name, "data") == 0)
    return Value(std::string(node.child_value()));
  if (strcmp(name, "integer") == 0) {
    const char* text = node.child_value();
    errno = 0;
    char* end = nullptr;
    long long v = strtoll(text, &end, 10);
    if (end == text) {
      log("plist: bad integer '%s'", text);
      *ok = false;
      return Value(0);
    }
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return Value(atof(text));
    return Value(static_cast<int>(v));
  }
  if (strcmp(name, "real") == 0) return Value(atof(node.child_value()));
  if (strcmp(name, "true") == 0) return Value(true);
  if (strcmp(name, "false") == 0) return Value(false);
  log("plist: unknown element <%s>", name);
  *ok = false;
  return Value();
}

// Root value of a plist document: the child of <plist>, or the first element.
pugi::xml_node plistRoot(const pugi::xml_document& doc) {
  pugi::xml_node top = doc.document_element();
  if (top && strcmp(top.name(), "plist") == 0) {
    for (pugi::xml_node child : top.children())
      if (child.type() == pugi::node_element) return child;
    return pugi::xml_node();
  }
  return top;
}

Value parsePlist(const char* data, size_t size, const std::string& what, const char* wantRoot) {
  pugi::xml_document doc;
  pugi::xml_parse_result res = doc.load_buffer(data, size, pugi::parse_default | pugi::parse_ws_pcdata_single);
  if (!res) {
    log("plist %s: %s at offset %td", what.c_str(), res.description(), res.offset);
    return Value();
  }
  pugi::xml_node root = plistRoot(doc);
  if (!root || strcmp(root.name(), wantRoot) != 0) {
    log("plist %s: the root is not a <%s>", what.c_str(), wantRoot);
    return Value();
  }
  bool ok = true;
  Value v = plistValue(root, &ok, 0);
  if (!ok) {
    log("plist %s: malformed", what.c_str());
    return Value();
  }
  return v;
}

}  // namespace

// ------------------------------------------------------------ instance

FileUtils* FileUtils::getInstance() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (!g_instance) g_instance = new FileUtils;
  return g_instance;
}

void FileUtils::destroyInstance() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  delete g_instance;
  g_instance = nullptr;
}

FileUtils::FileUtils() {
  const char* env = getenv(kResourceRootEnv);
  _resourceRoot = normaliseFolder(env && *env ? env : executableFolder() + "resources/");
}

FileUtils::~FileUtils() = default;

std::string FileUtils::normaliseFolder(const std::string& path) {
  if (path.empty() || path.back() == '/') return path;
  return path + "/";
}

// ------------------------------------------------------------ lookup

void FileUtils::setSearchPaths(const std::vector<std::string>& paths) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  _searchPaths.clear();
  for (const auto& p : paths) _searchPaths.push_back(normaliseFolder(p));
  _fullPathCache.clear();
}

void FileUtils::addSearchPath(const std::string& path, bool front) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  std::string p = normaliseFolder(path);
  if (front) _searchPaths.insert(_searchPaths.begin(), p);
  else _searchPaths.push_back(p);
  _fullPathCache.clear();
}

std::vector<std::string> FileUtils::getSearchPaths() const {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  return _searchPaths;
}

std::string FileUtils::getDefaultResourceRootPath() const {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  return _resourceRoot;
}

void FileUtils::setDefaultResourceRootPath(const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  _resourceRoot = normaliseFolder(path);
  _fullPathCache.clear();
}

void FileUtils::purgeCachedEntries() {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  _fullPathCache.clear();
}

std::string FileUtils::resolveSearchPath(const std::string& path) const {
  return isAbsolutePath(path) ? path : _resourceRoot + path;
}

std::string FileUtils::fullPathForFilename(const std::string& filename) const {
  if (filename.empty()) return std::string();
  if (isAbsolutePath(filename)) return filename;
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  auto cached = _fullPathCache.find(filename);
  if (cached != _fullPathCache.end()) return cached->second;
  struct stat st;
  for (const auto& sp : _searchPaths) {
    std::string candidate = resolveSearchPath(sp) + filename;
    if (statPath(candidate, &st)) {
      _fullPathCache.emplace(filename, candidate);
      return candidate;
    }
  }
  std::string candidate = _resourceRoot + filename;
  if (statPath(candidate, &st)) {
    _fullPathCache.emplace(filename, candidate);
    return candidate;
  }
  return std::string();
}

// ------------------------------------------------------------ writable

std::string FileUtils::getWritablePath() const {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  if (_writablePath.empty()) {
    const char* env = getenv(kWritablePathEnv);
    std::string path;
    if (env && *env) {
      path = env;
    } else {
      const char* xdg = getenv("XDG_DATA_HOME");
      if (xdg && *xdg == '/') {
        path = std::string(xdg) + "/" + kApplicationFolder;
      } else {
        const char* home = getenv("HOME");
        path = std::string(home && *home ? home : "/tmp") + "/.local/share/" + kApplicationFolder;
      }
    }
    _writablePath = normaliseFolder(path);
    createDirectory(_writablePath);
  }
  return _writablePath;
}

void FileUtils::setWritablePath(const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  _writablePath = normaliseFolder(path);  // "" restores the default
  if (!_writablePath.empty()) createDirectory(_writablePath);
}

// ------------------------------------------------------------ files

bool FileUtils::isFileExist(const std::string& filename) const {
  if (isAbsolutePath(filename)) return isRegularFile(filename);
  return isRegularFile(fullPathForFilename(filename));
}

bool FileUtils::isDirectoryExist(const std::string& dirPath) const {
  if (dirPath.empty()) return false;
  if (isAbsolutePath(dirPath)) return isDirectory(dirPath);
  return isDirectory(fullPathForFilename(dirPath));
}

bool FileUtils::createDirectory(const std::string& dirPath) const {
  if (dirPath.empty()) return false;
  std::error_code ec;
  fs::create_directories(dirPath, ec);
  return isDirectory(dirPath);
}

bool FileUtils::removeDirectory(const std::string& dirPath) const {
  if (dirPath.empty() || !isDirectory(dirPath)) return false;
  std::error_code ec;
  fs::remove_all(dirPath, ec);
  return !ec;
}

bool FileUtils::removeFile(const std::string& filepath) const {
  return !filepath.empty() && ::unlink(filepath.c_str()) == 0;
}

bool FileUtils::renameFile(const std::string& oldFullPath, const std::string& newFullPath) const {
  return ::rename(oldFullPath.c_str(), newFullPath.c_str()) == 0;
}

bool FileUtils::renameFile(const std::string& dirPath, const std::string& oldName,
                           const std::string& name) const {
  std::string dir = normaliseFolder(dirPath);
  return renameFile(dir + oldName, dir + name);
}

long FileUtils::getFileSize(const std::string& filepath) const {
  std::string full = isAbsolutePath(filepath) ? filepath : fullPathForFilename(filepath);
  struct stat st;
  if (!statPath(full, &st) || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long>(st.st_size);
}

std::string FileUtils::getStringFromFile(const std::string& filename) const {
  std::string out;
  std::string full = fullPathForFilename(filename);
  if (full.empty() || !readWholeFile(full, &out)) return std::string();
  return out;
}

Data FileUtils::getDataFromFile(const std::string& filename) const {
  Data data;
  std::string content;
  std::string full = fullPathForFilename(filename);
  if (full.empty() || !readWholeFile(full, &content)) return data;
  data.copy(reinterpret_cast<const unsigned char*>(content.data()),
            static_cast<ssize_t>(content.size()));
  return data;
}

bool FileUtils::writeStringToFile(const std::string& content, const std::string& fullPath) const {
  return writeWholeFileAtomically(fullPath, content.data(), content.size());
}

bool FileUtils::writeDataToFile(const Data& data, const std::string& fullPath) const {
  return writeWholeFileAtomically(fullPath, data.getBytes(), static_cast<size_t>(data.getSize()));
}

std::string FileUtils::getFileExtension(const std::string& filePath) const {
  size_t slash = filePath.rfind('/');
  size_t dot = filePath.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  std::string ext = filePath.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

// ------------------------------------------------------------ choosing

void FileUtils::setFileChooser(FileChooser chooser) {
  std::lock_guard<std::recursive_mutex> lock(_mutex);
  _fileChooser = std::move(chooser);
}

std::string FileUtils::chooseFile(const std::string& initial) const {
  FileChooser chooser;
  {
    std::lock_guard<std::recursive_mutex> lock(_mutex);
    chooser = _fileChooser;
  }
  if (chooser) return chooser(initial);
  std::vector<std::string> args;
  if (onPath("zenity")) {
    args = {"zenity", "--file-selection"};
    if (!initial.empty()) args.push_back("--filename=" + initial);
  } else if (onPath("kdialog")) {
    args = {"kdialog", "--getopenfilename", initial.empty() ? std::string(".") : initial};
  } else {
    log("chooseFile: neither zenity nor kdialog is installed");
    return std::string();
  }
  std::string out;
  if (!runAndCapture(args, &out)) return std::string();  // cancelled or failed
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// ------------------------------------------------------------ plists

ValueMap FileUtils::getValueMapFromFile(const std::string& filename) const {
  std::string full = fullPathForFilename(filename);
  std::string content;
  if (full.empty() || !readWholeFile(full, &content)) {
    log("plist %s: not found", filename.c_str());
    return ValueMap();
  }
  Value v = parsePlist(content.data(), content.size(), filename, "dict");
  return v.getType() == Value::Type::MAP ? std::move(v.asValueMap()) : ValueMap();
}

ValueMap FileUtils::getValueMapFromData(const char* data, int size) const {
  if (!data || size <= 0) return ValueMap();
  Value v = parsePlist(data, static_cast<size_t>(size), "(data)", "dict");
  return v.getType() == Value::Type::MAP ? std::move(v.asValueMap()) : ValueMap();
}

ValueVector FileUtils::getValueVectorFromFile(const std::string& filename) const {
  std::string content;
  std::string full = fullPathForFilename(filename);
  if (full.empty() || !readWholeFile(full, &content)) return ValueVector();
  Value v = parsePlist(content.data(), content.size(), filename, "array");
  return v.getType() == Value::Type::VECTOR ? std::move(v.asValueVector()) : ValueVector();
}

NS_CC_END
