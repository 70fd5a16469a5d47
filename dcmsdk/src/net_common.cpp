// Shared pieces of the network services (see net_common.h).
#include "dcmsdk/src/net_common.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <dcmtk/dcmdata/dcostrmf.h>
#include <dcmtk/dcmnet/dcmtrans.h>
#include <dcmtk/dcmnet/dul.h>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

namespace dcmSDK::net {

namespace {
std::once_flag g_netOnce;

// The stop watchdog looks at sockets that other threads opened, without any
// synchronisation with them by design: a socket is identified by both of its
// ends before it is touched, so a descriptor number that was closed and
// reused is never shut down. The thread sanitizer is told to look away.
struct FdScan {
#if defined(__SANITIZE_THREAD__)
  FdScan() { __tsan_ignore_thread_begin(); }
  ~FdScan() { __tsan_ignore_thread_end(); }
#endif
};
}

void init() {
  detail::ensureInit();
  std::call_once(g_netOnce, [] {
    // Process-wide DCMTK settings, made before any network thread exists.
    dcmConnectionTimeout.set(3);
    dcmDisableGethostbyaddr.set(OFTrue);
  });
}

void emitText(uint32_t type, const std::string& text, const std::atomic<bool>* stop) {
  if (stop && stop->load()) return;
  if (detail::isDestroyed()) return;
  MsgCallback cb = detail::msgSink();
  if (!cb) return;
  std::string copy = detail::sanitizeUtf8(text);
  cb(type, const_cast<char*>(copy.c_str()));
}

void emitRecord(DCM_MESSAGE* rec) {
  MsgCallback cb = detail::isDestroyed() ? nullptr : detail::msgSink();
  if (!cb) {
    delete rec;
    return;
  }
  cb(DCM_MSG_IMAGE_STORED, rec);
}

std::string jsonEscape(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char b[8];
          std::snprintf(b, sizeof b, "\\u%04x", c);
          out += b;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out;
}

bool validAE(const std::string& ae) {
  if (ae.empty() || ae.size() > 16) return false;
  bool nonBlank = false;
  for (unsigned char c : ae) {
    if (c < 0x20 || c >= 0x7F || c == '\\') return false;
    if (c != ' ') nonBlank = true;
  }
  return nonBlank;
}

std::string aeOr(const char* ae, const char* fallback) {
  std::string s = ae ? ae : "";
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  return validAE(s) ? s : std::string(fallback);
}

uint16_t parsePort(const char* text) {
  if (!text || !*text) return 0;
  unsigned long v = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return 0;
    v = v * 10 + static_cast<unsigned long>(*p - '0');
    if (v > 65535) return 0;
  }
  return static_cast<uint16_t>(v);
}

std::string pathComponent(const std::string& text, size_t maxLen) {
  std::string out;
  for (unsigned char c : text) {
    if (out.size() >= maxLen) break;
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
              c == '_' || c == '-';
    out.push_back(ok ? static_cast<char>(c) : '_');
  }
  for (char& c : out) {
    if (c != '.') break;
    c = '_';
  }
  if (out.empty()) out = "_";
  return out;
}

uint64_t fnv1a64File(const std::string& path, uint64_t offset) {
  uint64_t h = 1469598103934665603ull;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return h;
  unsigned char buf[65536];
  ssize_t n;
  off_t at = static_cast<off_t>(offset);
  while ((n = pread(fd, buf, sizeof buf, at)) > 0) {
    at += n;
    for (ssize_t i = 0; i < n; ++i) {
      h ^= buf[i];
      h *= 1099511628211ull;
    }
  }
  close(fd);
  return h;
}

uint64_t fnv1a64(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

namespace {
std::string hex16(uint64_t v) {
  char b[20];
  std::snprintf(b, sizeof b, "%016llx", static_cast<unsigned long long>(v));
  return b;
}
std::string hashedName(const std::string& uid) { return pathComponent(uid, 111) + "_" + hex16(fnv1a64(uid)); }
std::atomic<bool> g_durable{true};
}  // namespace

std::string instanceFileName(const std::string& sopUid) {
  std::string plain = pathComponent(sopUid, 128);
  return plain == sopUid ? plain : hashedName(sopUid);
}

std::string noUidFileName(uint64_t datasetHash) { return "noUID_" + hex16(datasetHash); }

std::string sopUidOfFile(const std::string& path) {
  DcmFileFormat ff;
  OFCondition c;
  try {
    c = ff.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 256, ERM_autoDetect);
  } catch (...) {
    return "";
  }
  OFString uid;
  if (c.bad() || ff.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, uid).bad()) return "";
  std::string out = uid.c_str();
  while (!out.empty() && (out.back() == ' ' || out.back() == '\0')) out.pop_back();
  return out;
}

namespace {
std::atomic<int> g_replyTimeout{60};
}
int replyTimeout() { return g_replyTimeout.load(); }
// A peer that stops reading blocks a write once the socket's buffers are full
// (they shrink under memory pressure): writes time out after the same span as
// replies. A peer that stops in the middle of writing a reply leaves the rest
// of that message to a plain blocking read, which only the socket's receive
// timeout ends: it gets the same span too. So a frozen peer ends a transfer
// after one reply timeout whichever way it froze.
void setReplyTimeout(int seconds) {
  g_replyTimeout.store(seconds > 0 ? seconds : 60);
  dcmSocketSendTimeout.set(static_cast<Sint32>(seconds > 0 ? seconds : 60));
  dcmSocketReceiveTimeout.set(static_cast<Sint32>(seconds > 0 ? seconds : 60));
}

bool durableStore() { return g_durable.load(std::memory_order_relaxed); }
void setDurableStore(bool on) { g_durable.store(on); }

bool metaHeaderReadsBack(const std::string& path, E_TransferSyntax expected) {
  DcmFileFormat ff;
  OFCondition c;
  try {
    c = ff.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 256, ERM_metaOnly);
  } catch (...) {
    return false;
  }
  OFString ts;
  if (c.bad() || ff.getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, ts).bad()) return false;
  return DcmXfer(ts.c_str()).getXfer() == expected;
}

bool writeTempDicom(DcmFileFormat& ff, const std::string& dir, const char* prefix, std::string& tmpPath,
                    uint64_t* datasetOffset) {
  tmpPath = dir + "/" + prefix + "XXXXXX";
  int fd = mkostemp(tmpPath.data(), O_CLOEXEC);
  if (fd < 0) {
    detail::logLine(std::string("cannot create a temporary file in ") + dir + ": " + std::strerror(errno));
    return false;
  }
  fchmod(fd, 0644);
  close(fd);
  E_TransferSyntax xfer = ff.getDataset()->getOriginalXfer();
  if (xfer == EXS_Unknown) xfer = EXS_LittleEndianExplicit;
  offile_off_t written = -1, metaEnd = 0;
  OFCondition c;
  {
    DcmOutputFileStream out(tmpPath.c_str());
    c = out.status();
    if (c.good()) {
      ff.transferInit();
      c = ff.write(out, xfer, EET_ExplicitLength, nullptr, EGL_recalcGL, EPD_noChange, 0, 0, 0, EWM_fileformat);
      ff.transferEnd();
      out.flush();
      if (c.good()) c = out.status();
      written = out.tell();
    }
  }
  if (DcmMetaInfo* meta = ff.getMetaInfo()) metaEnd = 132 + static_cast<offile_off_t>(meta->getLength());
  // The stream counts bytes before compression, so its position gives the
  // file's size only for uncompressed transfer syntaxes. Every file is read
  // back by its meta header; its data reach the disk before it counts.
  struct stat st;
  bool deflated = DcmXfer(xfer).getStreamCompression() != ESC_none;
  bool ok = c.good() && stat(tmpPath.c_str(), &st) == 0 && st.st_size > 0 &&
            (deflated || st.st_size == written);
  if (ok && durableStore()) {
    int sfd = open(tmpPath.c_str(), O_RDONLY | O_CLOEXEC);
    ok = sfd >= 0 && fdatasync(sfd) == 0;
    if (sfd >= 0) close(sfd);
  }
  if (ok) ok = metaHeaderReadsBack(tmpPath, xfer);
  if (!ok) {
    detail::logLine("cannot write a received file: " +
                    std::string(c.bad() ? c.text() : errno ? std::strerror(errno) : "it does not read back"));
    unlink(tmpPath.c_str());
  }
  if (datasetOffset) *datasetOffset = static_cast<uint64_t>(metaEnd);
  return ok;
}

bool placeFile(int fromDirFd, const std::string& tmpName, int dirFd, const std::string& dirPath,
               const std::string& sopUid, bool hasUid, std::string& name, std::string& why, bool flush) {
  std::vector<std::string> candidates{name};
  if (hasUid && hashedName(sopUid) != name) candidates.push_back(hashedName(sopUid));
  for (const std::string& cand : candidates) {
    int rc = renameat2(fromDirFd, tmpName.c_str(), dirFd, cand.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // A file system without the no-replace rename: look first.
      struct stat st;
      if (fstatat(dirFd, cand.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) errno = EEXIST;
      else rc = renameat(fromDirFd, tmpName.c_str(), dirFd, cand.c_str());
    }
    if (rc != 0 && errno == EEXIST) {
      // The same instance again replaces itself; a file of another
      // instance is never touched.
      struct stat st;
      bool same = fstatat(dirFd, cand.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
                  (!hasUid || sopUidOfFile(dirPath + "/" + cand) == sopUid);
      if (!same) continue;
      rc = renameat(fromDirFd, tmpName.c_str(), dirFd, cand.c_str());
    }
    if (rc != 0) {
      why = std::strerror(errno);
      return false;
    }
    if (flush && durableStore() && fsync(dirFd) != 0) {
      why = std::string("cannot flush the folder: ") + std::strerror(errno);
      return false;
    }
    name = cand;
    return true;
  }
  why = "its name is taken by another instance";
  return false;
}

FolderFlush::FolderFlush(SyncFn sync) : sync_(std::move(sync)) {
  if (!sync_) sync_ = [](int fd) { return fsync(fd) == 0 ? 0 : errno; };
}

int FolderFlush::flush(const std::string& key, int fd) {
  std::unique_lock<std::mutex> lock(mu_);
  State& s = folders_[key];  // a map keeps the reference while users > 0
  ++s.users;
  const uint64_t mine = ++s.asked;
  int err = 0;
  while (s.durable < mine) {
    if (s.running) {
      cv_.wait(lock);
      continue;
    }
    // Lead a flush that covers every call made so far, this one included.
    s.running = true;
    const uint64_t covers = s.asked;
    lock.unlock();
    err = sync_(fd);
    lock.lock();
    s.running = false;
    cv_.notify_all();
    if (err != 0) break;  // the others try their own flush
    s.durable = std::max(s.durable, covers);
  }
  if (--s.users == 0) folders_.erase(key);
  return err;
}

// ---- sockets --------------------------------------------------------------------

SockRef captureSocket(int fd) {
  SockRef r;
  r.localLen = sizeof r.local;
  r.peerLen = sizeof r.peer;
  if (fd < 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&r.local), &r.localLen) != 0 ||
      getpeername(fd, reinterpret_cast<sockaddr*>(&r.peer), &r.peerLen) != 0)
    return SockRef{};
  r.fd = fd;
  return r;
}

void shutdownIfSame(const SockRef& s) {
  if (!s.valid()) return;
  FdScan scan;
  SockRef now = captureSocket(s.fd);
  if (!now.valid() || now.localLen != s.localLen || now.peerLen != s.peerLen ||
      std::memcmp(&now.local, &s.local, s.localLen) != 0 || std::memcmp(&now.peer, &s.peer, s.peerLen) != 0)
    return;  // closed meanwhile, the number now names another socket
  shutdown(s.fd, SHUT_RDWR);
}

SockRef findSocketTo(const std::string& host, uint16_t port, const std::vector<int>& exclude) {
  in_addr want{};
  if (inet_pton(AF_INET, host.c_str(), &want) != 1) return SockRef{};
  FdScan scan;
  SockRef best;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return best;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    int fd = std::atoi(e->d_name);
    if (std::find(exclude.begin(), exclude.end(), fd) != exclude.end()) continue;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
    SockRef r = captureSocket(fd);
    if (!r.valid() || r.peer.ss_family != AF_INET) continue;
    auto* pa = reinterpret_cast<sockaddr_in*>(&r.peer);
    if (pa->sin_addr.s_addr != want.s_addr || ntohs(pa->sin_port) != port) continue;
    if (!best.valid() || fd > best.fd) best = r;  // the newest has the highest number
  }
  closedir(d);
  return best;
}

namespace {

struct Watched {
  const std::atomic<bool>* stop;
  SockRef sock;
  std::string host;
  uint16_t port = 0;
  bool done = false;
};

struct Watchdog {
  std::mutex mu;
  std::condition_variable cv;
  std::map<uint64_t, Watched> items;
  uint64_t next = 1;
  bool running = false;

  void loop() {
    std::unique_lock<std::mutex> lock(mu);
    while (!items.empty()) {
      for (auto& [id, w] : items) {
        if (w.done || !w.stop->load()) continue;
        if (!w.sock.valid() && w.port) {
          // Sockets already taken by other stopped calls are not candidates.
          std::vector<int> claimed;
          for (auto& [other, o] : items)
            if (o.sock.valid()) claimed.push_back(o.sock.fd);
          w.sock = findSocketTo(w.host, w.port, claimed);
        }
        if (w.sock.valid()) {
          shutdownIfSame(w.sock);
          w.done = true;
        }
      }
      cv.wait_for(lock, std::chrono::milliseconds(20));
    }
    running = false;
  }
};

Watchdog& watchdog() {
  static Watchdog* w = new Watchdog;  // outlives every thread that uses it
  return *w;
}

}  // namespace

StopWatch::StopWatch(const std::atomic<bool>& stop, const SockRef& sock) {
  Watchdog& w = watchdog();
  std::lock_guard<std::mutex> lock(w.mu);
  id_ = w.next++;
  w.items[id_] = Watched{&stop, sock, "", 0, false};
  if (!w.running) {
    w.running = true;
    std::thread([&w] { w.loop(); }).detach();
  }
}

StopWatch::StopWatch(const std::atomic<bool>& stop, const std::string& host, uint16_t port) {
  Watchdog& w = watchdog();
  std::lock_guard<std::mutex> lock(w.mu);
  id_ = w.next++;
  w.items[id_] = Watched{&stop, SockRef{}, host, port, false};
  if (!w.running) {
    w.running = true;
    std::thread([&w] { w.loop(); }).detach();
  }
}

StopWatch::~StopWatch() {
  Watchdog& w = watchdog();
  std::lock_guard<std::mutex> lock(w.mu);
  w.items.erase(id_);
}

int probeTcp(const std::string& host, uint16_t port, int timeoutMs, const std::atomic<bool>& stop) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (inet_pton(AF_INET, host.c_str(), &sa.sin_addr) != 1) return 0;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  int rc = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  int result = 0;
  if (rc == 0) {
    result = 1;
  } else if (errno == EINPROGRESS) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (stop.load()) {
        result = -1;
        break;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd, POLLOUT, 0};
      int n = poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 50)));
      if (n > 0) {
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        result = err == 0 ? 1 : 0;
        break;
      }
      if (n < 0 && errno != EINTR) break;
    }
  }
  close(fd);
  return result;
}

// ---- registry of live objects ------------------------------------------------------

namespace {
struct Registry {
  std::mutex mu;
  std::map<uint64_t, StopFn> objects;
  uint64_t next = 1;
};
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}
}  // namespace

uint64_t registerObject(StopFn fn) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  uint64_t id = r.next++;
  r.objects[id] = std::move(fn);
  return id;
}

void unregisterObject(uint64_t id) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  r.objects.erase(id);
}

}  // namespace dcmSDK::net

namespace dcmSDK::detail {

void netShutdown() {
  auto& r = net::registry();
  std::lock_guard<std::mutex> lock(r.mu);
  for (auto& [id, fn] : r.objects) fn();
}

}  // namespace dcmSDK::detail
