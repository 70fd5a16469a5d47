#include "app/data/importDcm.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <thread>
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
  importRequest() : seq(++lastSeq) {}
  bool walk = false;
  const uint64_t seq;  // rises in queue order

 private:
  static inline std::atomic<uint64_t> lastSeq{0};
};

// Files described and copied ahead of the one being placed.
constexpr size_t kReadAheadFiles = 32;

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

struct importThread::prepared {
  bool described = false;
  dcmSDK::DCM_MESSAGE rec;
  std::string tempFolder;  // where the copy lies
  std::string tmp;         // the copy; "" when there is none
  std::string why;
};

namespace {

std::unique_ptr<importThread::prepared> prepare(const std::string& path, const std::string& tempFolder,
                                                int language) {
  auto p = std::make_unique<importThread::prepared>();
  p->tempFolder = tempFolder;
  if (!dcmSDK::dcmServer::describeFile(path.c_str(), language, p->rec, &p->why)) return p;
  p->described = true;
  mkdir(tempFolder.c_str(), 0755);
  p->tmp = copyToTemp(path, tempFolder, p->why);
  return p;
}

}  // namespace

// Helper threads that prepare queued files; results wait, by request
// sequence number, until the worker takes them.
class importThread::readAhead {
 public:
  readAhead() {
    unsigned cores = std::thread::hardware_concurrency();
    size_t n = std::clamp<size_t>(cores / 2, 1, 4);
    for (size_t i = 0; i < n; ++i) helpers.emplace_back([this] { run(); });
  }

  // Helpers end after the file in hand; every copy nobody took is removed.
  ~readAhead() {
    {
      std::lock_guard<std::mutex> lock(mu);
      quit = true;
      jobs.clear();
    }
    cv.notify_all();
    for (auto& t : helpers) t.join();
    for (auto& [seq, p] : done)
      if (p && !p->tmp.empty()) unlink(p->tmp.c_str());
  }

  void submit(uint64_t seq, const std::string& path, const std::string& tempFolder, int language) {
    std::lock_guard<std::mutex> lock(mu);
    jobs.push_back({seq, path, tempFolder, language});
    done[seq] = nullptr;  // known, not ready
    submitted = std::max(submitted, seq);
    ++outstanding;
    cv.notify_one();  // one helper; the worker never waits while it submits
  }

  uint64_t lastSubmitted() {
    std::lock_guard<std::mutex> lock(mu);
    return submitted;
  }

  // Files submitted and not yet taken or dropped; only the worker submits
  // and takes, so it reads this without the lock.
  size_t waiting() const { return outstanding; }

  // The prepared file of seq (waiting for it while a helper has it), or
  // null when the worker must do it itself. Earlier requests were dropped:
  // their copies go.
  std::unique_ptr<prepared> take(uint64_t seq) {
    std::unique_lock<std::mutex> lock(mu);
    submitted = std::max(submitted, seq);
    while (!done.empty() && done.begin()->first < seq) forget(done.begin());
    auto it = done.find(seq);
    if (it == done.end()) return nullptr;
    if (!it->second && !inHand.count(seq)) {
      forget(it);  // not begun: quicker on the worker itself
      return nullptr;
    }
    cv.wait(lock, [&] { return done.find(seq)->second != nullptr; });
    it = done.find(seq);
    auto p = std::move(it->second);
    done.erase(it);
    --outstanding;
    return p;
  }

 private:
  struct job {
    uint64_t seq;
    std::string path, tempFolder;
    int language;
  };

  // Removes a result: its copy, or its job when not begun (a helper that
  // has it removes its copy when it finds the result gone).
  void forget(std::map<uint64_t, std::unique_ptr<prepared>>::iterator it) {
    if (it->second && !it->second->tmp.empty()) unlink(it->second->tmp.c_str());
    const uint64_t seq = it->first;
    jobs.erase(std::remove_if(jobs.begin(), jobs.end(), [&](const job& j) { return j.seq == seq; }), jobs.end());
    done.erase(it);
    --outstanding;
  }

  void run() {
    std::unique_lock<std::mutex> lock(mu);
    for (;;) {
      cv.wait(lock, [this] { return quit || !jobs.empty(); });
      if (quit) return;
      job j = std::move(jobs.front());
      jobs.pop_front();
      inHand.insert(j.seq);
      lock.unlock();
      auto p = prepare(j.path, j.tempFolder, j.language);
      lock.lock();
      inHand.erase(j.seq);
      auto it = done.find(j.seq);
      if (it != done.end()) {
        it->second = std::move(p);
      } else if (!p->tmp.empty()) {
        unlink(p->tmp.c_str());  // its request went meanwhile
      }
      cv.notify_all();
    }
  }

  std::mutex mu;
  std::condition_variable cv;
  std::deque<job> jobs;
  std::set<uint64_t> inHand;
  std::map<uint64_t, std::unique_ptr<prepared>> done;
  uint64_t submitted = 0;
  size_t outstanding = 0;
  bool quit = false;
  std::vector<std::thread> helpers;
};

// ---------------------------------------------------------------------------
// importThread

importThread::importThread() = default;
importThread::~importThread() { ahead.reset(); }

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
    importFile(r->text, r->seq);
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
  importFile(r->text, r->seq);
}

// Hands the next queued files to the helpers.
void importThread::lookAhead(const std::string& rootPath, int language) {
  if (!ahead) ahead = std::make_unique<readAhead>();
  // Refilled in bulk, when half the window is used.
  size_t waiting = ahead->waiting();
  if (waiting > kReadAheadFiles / 2) return;
  uint64_t last = ahead->lastSubmitted();
  size_t room = kReadAheadFiles - waiting;
  std::lock_guard<std::recursive_mutex> lock(queueMutex);
  if (!requestQueue) return;
  for (NSUI::NSThreadRequest* q : *requestQueue) {
    if (room == 0) break;
    auto* next = dynamic_cast<importRequest*>(q);
    if (!next || next->walk || next->seq <= last) continue;
    ahead->submit(next->seq, next->text, rootPath + ".import/", language);
    --room;
  }
}

void importThread::importFile(const std::string& path, uint64_t seq) {
  std::string rootPath = getRoot();
  if (rootPath.empty()) return;
  reader.setLanguage(currentLanguage());
  lookAhead(rootPath, reader.language);
  const std::string temp = rootPath + ".import/";
  std::unique_ptr<prepared> p = ahead->take(seq);
  if (p && p->tempFolder != temp) {
    // The root changed since: copy again into the right place.
    if (!p->tmp.empty()) unlink(p->tmp.c_str());
    p.reset();
  }
  if (!p) p = prepare(path, temp, reader.language);
  std::string why = p->why;
  if (!p->described) {
    cocos2d::log("import: %s left out: %s", path.c_str(), why.c_str());
    return;
  }
  if (p->tmp.empty()) {
    cocos2d::log("import: %s not copied: %s", path.c_str(), why.c_str());
    return;
  }
  auto rec = std::make_unique<dcmSDK::DCM_MESSAGE>(p->rec);
  const std::string tmp = p->tmp;
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
