#include "app/data/importDcm.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "app/data/dbPayloads.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace {

// A request of the worker: a path to walk (a folder or a single file given
// by the user) or one file of a walk.
class importRequest : public NSUI::NSThreadRequest {
 public:
  bool walk = false;
};

int currentLanguage() {
  cocos2d::Application* app = cocos2d::Application::getInstance();
  return app ? static_cast<int>(app->getCurrentLanguage()) : 0;
}

// Streams source into a new temporary file of folder; the temporary path on
// success, "" (nothing left) on failure.
std::string copyToTemp(const std::string& source, const std::string& folder, std::string& why) {
  int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    why = std::strerror(errno);
    return "";
  }
  struct stat st;
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = "not a regular file";
    close(in);
    return "";
  }
  std::string tmp = folder + "impXXXXXX";
  int out = mkostemp(tmp.data(), O_CLOEXEC);
  if (out < 0) {
    why = std::string("cannot create a temporary file: ") + std::strerror(errno);
    close(in);
    return "";
  }
  fchmod(out, 0644);
  std::vector<char> buf;
  uint64_t copied = 0;
  bool ok = true;
  // In the kernel where it can; by a small buffer otherwise.
  while (copied < static_cast<uint64_t>(st.st_size)) {
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(st.st_size - copied), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    copied += static_cast<uint64_t>(n);
  }
  if (copied < static_cast<uint64_t>(st.st_size)) buf.resize(1 << 16);
  while (copied < static_cast<uint64_t>(st.st_size) || buf.size()) {
    ssize_t n = read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::string("cannot read: ") + std::strerror(errno);
      ok = false;
      break;
    }
    if (n == 0) break;
    const char* p = buf.data();
    while (n > 0) {
      ssize_t w = write(out, p, static_cast<size_t>(n));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        why = std::string("cannot write: ") + (w < 0 ? std::strerror(errno) : "disk full");
        ok = false;
        break;
      }
      p += w;
      n -= w;
      copied += static_cast<uint64_t>(w);
    }
    if (!ok) break;
  }
  close(in);
  if (close(out) != 0 && ok) {
    why = std::string("cannot write: ") + std::strerror(errno);
    ok = false;
  }
  if (ok && copied != static_cast<uint64_t>(st.st_size)) {
    why = "the file changed while it was copied";
    ok = false;
  }
  if (!ok) {
    unlink(tmp.c_str());
    return "";
  }
  return tmp;
}

}  // namespace

// ---------------------------------------------------------------------------
// importThread

importThread::importThread() = default;
importThread::~importThread() = default;

void importThread::setRoot(const std::string& path) {
  std::lock_guard<std::mutex> lock(rootMutex);
  root = path;
  if (!root.empty() && root.back() != '/') root += '/';
}

std::string importThread::getRoot() {
  std::lock_guard<std::mutex> lock(rootMutex);
  return root;
}

void importThread::processRequest(NSUI::NSThreadRequest* request) {
  auto* r = static_cast<importRequest*>(request);
  if (!r->walk) {
    importFile(r->text);
    return;
  }
  struct stat st;
  if (stat(r->text.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::vector<std::string> files;
    NSUI::listFiles(r->text, files, true, true);
    for (const std::string& f : files) {
      std::string name = f.substr(f.rfind('/') + 1);
      if (name.empty() || name[0] == '.') continue;
      auto* one = new importRequest();
      one->text = f;
      addRequest(one);
      one->release();
    }
    return;
  }
  importFile(r->text);
}

void importThread::importFile(const std::string& path) {
  std::string rootPath = getRoot();
  if (rootPath.empty()) return;
  reader.setLanguage(currentLanguage());
  auto rec = std::make_unique<dcmSDK::DCM_MESSAGE>();
  std::string why;
  if (!dcmSDK::dcmServer::describeFile(path.c_str(), reader.language, *rec, &why)) {
    cocos2d::log("import: %s left out: %s", path.c_str(), why.c_str());
    return;
  }
  std::string temp = rootPath + ".import/";
  mkdir(temp.c_str(), 0755);
  std::string tmp = copyToTemp(path, temp, why);
  if (tmp.empty()) {
    cocos2d::log("import: %s not copied: %s", path.c_str(), why.c_str());
    return;
  }
  if (!dcmSDK::dcmServer::placeFile(tmp.c_str(), rootPath.c_str(), *rec, &why)) {
    cocos2d::log("import: %s not stored: %s", path.c_str(), why.c_str());
    unlink(tmp.c_str());
    return;
  }
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  if (!centre) return;
  auto* payload = new dicomRecordData(rec.release());
  centre->postNotification(nullptr, NOTIFY_DICOM_FILE_STORED, payload, nullptr, true);
  payload->release();
}

// ---------------------------------------------------------------------------
// importDcm

importDcm* importDcm::create() {
  auto* obj = new importDcm();
  if (!obj->init()) {
    delete obj;
    return nullptr;
  }
  obj->autorelease();
  return obj;
}

importDcm::~importDcm() { stopWorker(); }

bool importDcm::init() {
  worker = new importThread();
  return true;
}

void importDcm::stopWorker() {
  if (!worker) return;
  stopThread(worker);
  worker = nullptr;
}

void importDcm::setRootPath(const std::string& path) {
  if (worker) worker->setRoot(path);
}

void importDcm::import(const std::string& path) {
  if (!worker) return;
  auto* r = new importRequest();
  r->text = path;
  r->walk = true;
  worker->addRequest(r);
  r->release();
}
