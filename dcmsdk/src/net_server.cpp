// The storage server: a pool of DCMTK SCP workers that receive each C-STORE
// into a temporary file, move it into the library tree under a sanitised
// path and acknowledge it only once it is there.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "dcmsdk/src/net_common.h"

#include <dcmtk/dcmdata/dcostrmf.h>
#include <dcmtk/dcmnet/dcmtrans.h>
#include <dcmtk/dcmnet/dimse.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scppool.h>

namespace dcmSDK {

namespace {

using net::SockRef;

// The socket of an association: DCMTK keeps it protected.
struct SockPeek : DcmTransportConnection {
  static int get(DcmTransportConnection* t) { return (t->*(&SockPeek::getSocket))(); }
};

int associationSocket(T_ASC_Association* assoc) {
  if (!assoc || !assoc->DULassociation) return -1;
  DcmTransportConnection* t = DUL_getTransportConnection(assoc->DULassociation);
  return t ? SockPeek::get(t) : -1;
}

constexpr uint16_t kStatusSuccess = 0x0000;
constexpr uint16_t kStatusOutOfResources = 0xA700;
constexpr uint16_t kStatusCannotUnderstand = 0xC000;

// Everything a worker needs of its server.
struct ServerContext {
  std::string root;      // with trailing "/"
  int rootFd = -1;       // the storage root, opened once
  int incomingFd = -1;   // root/.incoming
  int language = 0;
  std::atomic<bool>* storeEnabled = nullptr;
  std::atomic<bool> stopping{false};
  std::mutex sockMu;
  std::map<void*, SockRef> sockets;  // live associations by worker
  // Flushes of the library's folders, shared between associations.
  net::FolderFlush folderFlush;
  // Folders (relative path and inode) whose entry in their parent is known
  // to be on the disk: flushed once in this server's life, before the first
  // file in them is acknowledged.
  std::mutex durableMu;
  std::set<std::string> durableFolders;
};

// A second thread of an association, so that the flush of a stored file and
// the flush of its folder run at the same time.
class Sidekick {
 public:
  ~Sidekick() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mu_);
      quit_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  void start(std::function<int()> job) {
    if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
    std::lock_guard<std::mutex> lock(mu_);
    job_ = std::move(job);
    done_ = false;
    cv_.notify_all();
  }
  int wait() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return done_; });
    return result_;
  }

 private:
  void loop() {
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
      cv_.wait(lock, [this] { return quit_ || job_; });
      if (!job_) return;
      auto job = std::move(job_);
      job_ = nullptr;
      lock.unlock();
      int r = job();
      lock.lock();
      result_ = r;
      done_ = true;
      cv_.notify_all();
    }
  }
  std::thread thread_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::function<int()> job_;
  bool done_ = true, quit_ = false;
  int result_ = 0;
};

// Opens (creating when missing) a sub-folder without following symlinks.
int openSubdir(int parent, const std::string& name) {
  if (mkdirat(parent, name.c_str(), 0755) != 0 && errno != EEXIST) return -1;
  return openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

void put(char* dst, size_t size, const std::string& s) { detail::copyUtf8(s, dst, static_cast<int>(size)); }

// Writes what it is given to a file descriptor. A write error is kept
// (never reported to the stream), so that the rest of the dataset is still
// read off the network and the sender gets a failure status instead of a
// stalled association.
class FdSink : public DcmConsumer {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  OFBool good() const override { return OFTrue; }
  OFCondition status() const override { return EC_Normal; }
  OFBool isFlushed() const override { return OFTrue; }
  offile_off_t avail() const override { return offile_off_t(1) << 30; }
  offile_off_t write(const void* buf, offile_off_t len) override {
    const char* p = static_cast<const char*>(buf);
    offile_off_t left = len;
    while (err_ == 0 && left > 0) {
      ssize_t n = ::write(fd_, p, static_cast<size_t>(left));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        err_ = n < 0 ? errno : ENOSPC;
        break;
      }
      p += n;
      left -= n;
    }
    return len;
  }
  void flush() override {}
  int error() const { return err_; }

 private:
  int fd_;
  int err_ = 0;
};

class SinkStream : public DcmOutputStream {
 public:
  explicit SinkStream(DcmConsumer* c) : DcmOutputStream(c) {}
};

// A received instance in its temporary file.
struct Incoming {
  std::string path, name;   // full path and name in .incoming
  uint64_t datasetOffset = 0;
  E_TransferSyntax xfer = EXS_Unknown;
  bool keep = false;
  int fd = -1;  // open while it is being stored
  ~Incoming() {
    if (fd >= 0) close(fd);
    if (!path.empty() && !keep) unlink(path.c_str());
  }
};

class StoreSCP : public DcmThreadSCP {
 public:
  ServerContext* ctx = nullptr;
  T_ASC_Association* assoc = nullptr;

 protected:
  OFBool checkCalledAETitleAccepted(const OFString&) override { return OFTrue; }

  OFCondition handleIncomingCommand(T_DIMSE_Message* msg, const DcmPresentationContextInfo& info) override {
    if (msg->CommandField == DIMSE_C_STORE_RQ) return handleStore(msg->msg.CStoreRQ, info.presentationContextID);
    return DcmThreadSCP::handleIncomingCommand(msg, info);
  }

 private:
  bool accepting() const { return ctx->storeEnabled->load() && !ctx->stopping.load(); }

  OFCondition handleStore(T_DIMSE_C_StoreRQ& req, T_ASC_PresentationContextID presID) {
    uint16_t status = kStatusOutOfResources;
    Incoming in;
    OFCondition cond = accepting() ? receiveToFile(req, presID, in, status) : ignoreDataset();
    if (cond.bad()) return cond;  // the dataset did not arrive whole: no answer, the association ends
    if (status == kStatusSuccess) status = storeReceived(in);
    cond = sendSTOREResponse(presID, req, status);
    if (status == kStatusSuccess && pending_) emitPending();
    return cond;
  }

  OFCondition ignoreDataset() {
    DIC_UL bytes = 0, pdvs = 0;
    return DIMSE_ignoreDataSet(assoc, getDIMSEBlockingMode(), static_cast<int>(getDIMSETimeout()), &bytes, &pdvs);
  }

  // Streams the dataset straight into a new temporary file (meta header
  // first), so that memory stays bounded by one PDU whatever the size of the
  // object. status tells whether the file is whole and on the disk.
  OFCondition receiveToFile(T_DIMSE_C_StoreRQ& req, T_ASC_PresentationContextID presID, Incoming& in,
                            uint16_t& status) {
    status = kStatusOutOfResources;
    std::string tmp = ctx->root + ".incoming/rcvXXXXXX";
    int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) {
      detail::logLine("server: cannot create a temporary file: " + std::string(std::strerror(errno)));
      return ignoreDataset();
    }
    in.path = tmp;
    in.name = tmp.substr(tmp.rfind('/') + 1);
    fchmod(fd, 0644);
    close(fd);
    T_ASC_PresentationContext pc;
    if (ASC_findAcceptedPresentationContext(assoc->params, presID, &pc).good())
      in.xfer = DcmXfer(pc.acceptedTransferSyntax).getXfer();
    DcmOutputFileStream* metaOut = nullptr;
    bool metaOk = DIMSE_createFilestream(OFFilename(tmp.c_str()), &req, assoc, presID, OFTrue, &metaOut).good();
    if (metaOut) {
      metaOut->flush();
      metaOk = metaOk && metaOut->good();
      delete metaOut;
    }
    struct stat st;
    fd = metaOk ? open(tmp.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC) : -1;
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size <= 132) {
      detail::logLine("server: cannot write a received file: " + std::string(std::strerror(errno)));
      if (fd >= 0) close(fd);
      return ignoreDataset();
    }
    in.datasetOffset = static_cast<uint64_t>(st.st_size);
    FdSink sink(fd);
    SinkStream out(&sink);
    T_ASC_PresentationContextID got = presID;
    OFCondition cond = DIMSE_receiveDataSetInFile(assoc, getDIMSEBlockingMode(),
                                                  static_cast<int>(getDIMSETimeout()), &got, &out, nullptr, nullptr);
    int err = sink.error();
    // Its bytes start for the disk now, while the file is read back and its
    // folder made ready; storeReceived waits for them before the file gets
    // its name in the library.
    if (cond.good() && err == 0 && durableStore() && sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE) != 0)
      err = errno;
    in.fd = fd;
    if (cond.bad()) return cond;
    if (err != 0) {
      detail::logLine("server: cannot write a received file: " + std::string(std::strerror(err)));
      return EC_Normal;
    }
    status = kStatusSuccess;
    return EC_Normal;
  }

  static bool durableStore() { return net::durableStore(); }

  // Reads the received file back, moves it into place and fills pending_
  // with the record to report after the answer went out.
  uint16_t storeReceived(Incoming& in) {
    pending_.reset();
    detail::LoadedFile loaded;
    detail::LoadedFile* file = &loaded;
    loaded.ff = std::make_unique<DcmFileFormat>();
    OFCondition c;
    try {
      c = loaded.ff->loadFile(in.path.c_str(), EXS_Unknown, EGL_noChange, 4096, ERM_fileOnly);
    } catch (...) {
      c = EC_IllegalCall;
    }
    struct stat st;
    if (c.bad() || stat(in.path.c_str(), &st) != 0) {
      detail::logLine(std::string("server: a received dataset cannot be read: ") + c.text());
      return kStatusCannotUnderstand;
    }
    OFString ts;
    loaded.ff->getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, ts);
    if (in.xfer == EXS_Unknown || DcmXfer(ts.c_str()).getXfer() != in.xfer) {
      detail::logLine("server: a received file does not read back as written");
      return kStatusOutOfResources;
    }
    loaded.path = in.path;
    loaded.fileSize = static_cast<uint64_t>(st.st_size);
    file->language = ctx->language;

    auto rec = std::make_unique<DCM_MESSAGE>();
    if (!detail::describeLoaded(*file, in.datasetOffset, *rec)) return kStatusOutOfResources;
    std::string fileName = rec->fileName;
    std::string folder = rec->folder;
    folder.pop_back();  // without its trailing "/"
    std::string sop = rec->sopInstanceUID;
    bool hasUid = fileName.rfind("noUID_", 0) != 0 || sop != fileName;
    loaded.ff.reset();

    int dirFd = seriesFolder(folder);
    if (dirFd < 0) {
      detail::logLine(std::string("server: cannot create the folder ") + folder + ": " + std::strerror(errno));
      return kStatusOutOfResources;
    }
    if (!accepting()) return kStatusOutOfResources;
    // A file never has its name in the library before its bytes are on the
    // disk; the flush that makes them durable follows the rename.
    if (durableStore() &&
        sync_file_range(in.fd, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) !=
            0) {
      detail::logLine("server: cannot write a received file: " + std::string(std::strerror(errno)));
      return kStatusOutOfResources;
    }
    std::string why;
    bool placed = net::placeFile(ctx->incomingFd, in.name, dirFd, ctx->root + folder, hasUid ? sop : "", hasUid,
                                 fileName, why, false);
    if (!placed) {
      detail::logLine("server: cannot store " + fileName + ": " + why);
      return kStatusOutOfResources;
    }
    in.keep = true;
    // Acknowledged only once durable: the file's data and size, and its name
    // in the folder (a folder flush begun after the rename, shared with the
    // other associations), both flushes at the same time.
    if (durableStore()) {
      sidekick_.start([this, folder, dirFd] { return ctx->folderFlush.flush(folder, dirFd); });
      int err = fdatasync(in.fd) == 0 ? 0 : errno;
      int dirErr = sidekick_.wait();
      if (err != 0 || dirErr != 0) {
        detail::logLine("server: cannot flush " + fileName + ": " + std::strerror(err != 0 ? err : dirErr));
        return kStatusOutOfResources;
      }
    }
    put(rec->fileName, 1024, fileName);
    pending_ = std::move(rec);
    return kStatusSuccess;
  }

  // The series folder (patient, study and series folders created as needed,
  // none of them a symlink), kept open while images of the same series
  // arrive; a folder removed meanwhile is made again.
  int seriesFolder(const std::string& folder) {
    struct stat st;
    if (folderFd_ >= 0 && folder == folderName_ && fstat(folderFd_, &st) == 0 && st.st_nlink > 0) return folderFd_;
    if (folderFd_ >= 0) close(folderFd_);
    folderFd_ = -1;
    int dirFd = dup(ctx->rootFd);
    std::string rest = folder, path;
    while (dirFd >= 0 && !rest.empty()) {
      size_t slash = rest.find('/');
      std::string part = rest.substr(0, slash);
      rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
      int next = openSubdir(dirFd, part);
      std::string parent = path;
      path += (path.empty() ? "" : "/") + part;
      // A folder's own entry must be durable before any file in it is
      // acknowledged: its parent is flushed the first time it is used.
      // Known by path and inode, so that a folder removed and made again is
      // flushed again.
      struct stat fst;
      std::string known = next >= 0 && fstat(next, &fst) == 0 ? path + "#" + std::to_string(fst.st_ino) : "";
      if (next >= 0 && durableStore() && (known.empty() || !knownDurable(known))) {
        int err = ctx->folderFlush.flush(parent, dirFd);
        if (err == 0) {
          std::lock_guard<std::mutex> lock(ctx->durableMu);
          if (!known.empty()) ctx->durableFolders.insert(known);
        } else {
          close(next);
          next = -1;
          errno = err;
        }
      }
      int e = errno;
      close(dirFd);
      errno = e;
      dirFd = next;
    }
    if (dirFd >= 0) {
      folderFd_ = dirFd;
      folderName_ = folder;
    }
    return dirFd;
  }

  bool knownDurable(const std::string& path) {
    std::lock_guard<std::mutex> lock(ctx->durableMu);
    return ctx->durableFolders.count(path) != 0;
  }

  void emitPending() { net::emitRecord(pending_.release()); }

  Sidekick sidekick_;

  std::unique_ptr<DCM_MESSAGE> pending_;
  int folderFd_ = -1;
  std::string folderName_;

 public:
  ~StoreSCP() override {
    if (folderFd_ >= 0) close(folderFd_);
  }
};

class StorePool;

class Worker : public DcmBaseSCPPool::DcmBaseSCPWorker, private StoreSCP {
 public:
  Worker(DcmBaseSCPPool& pool, ServerContext* c) : DcmBaseSCPWorker(pool) { ctx = c; }

  ~Worker() override {
    // A worker that ends on its own is deleted on its own thread and never
    // joined: let the system reclaim the thread.
    if (started_ && pthread_equal(pthread_self(), self_)) pthread_detach(self_);
  }

  OFCondition setAssociation(T_ASC_Association* assoc) override {
    int fd = associationSocket(assoc);
    if (fd >= 0) {
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      fcntl(fd, F_SETFD, FD_CLOEXEC);
      std::lock_guard<std::mutex> lock(ctx->sockMu);
      ctx->sockets[this] = net::captureSocket(fd);
    }
    StoreSCP::assoc = assoc;
    return DcmBaseSCPWorker::setAssociation(assoc);
  }

  OFCondition setSharedConfig(const DcmSharedSCPConfig& config) override {
    return StoreSCP::setSharedConfig(config);
  }
  OFBool busy() override { return StoreSCP::isConnected(); }

 protected:
  OFCondition workerListen(T_ASC_Association* const assoc) override {
    self_ = pthread_self();
    started_ = true;
    OFCondition c = StoreSCP::run(assoc);
    {
      std::lock_guard<std::mutex> lock(ctx->sockMu);
      ctx->sockets.erase(this);
    }
    // The pool deletes a finished worker on its own thread, while the
    // listener may still be storing the new thread's id into this object
    // (it does so after the thread has started): wait for that store.
    for (int i = 0; i < 20000 && threadID() == 0; ++i) sched_yield();
    return c;
  }

 private:
  pthread_t self_{};
  bool started_ = false;
};

class StorePool : public DcmBaseSCPPool {
 public:
  explicit StorePool(ServerContext* c) : ctx_(c) {}

 protected:
  DcmBaseSCPWorker* createSCPWorker() override { return new Worker(*this, ctx_); }

 private:
  ServerContext* ctx_;
};

OFList<OFString> xfers(std::initializer_list<const char*> l) {
  OFList<OFString> out;
  for (const char* x : l) out.push_back(x);
  return out;
}

void configure(DcmSCPConfig& cfg, uint16_t port, const std::string& ae) {
  cfg.setPort(port);
  cfg.setAETitle(ae.c_str());
  cfg.setRespondWithCalledAETitle(OFTrue);
  cfg.setConnectionBlockingMode(DUL_NOBLOCK);
  cfg.setConnectionTimeout(1);
  cfg.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  cfg.setDIMSETimeout(30);
  cfg.setACSETimeout(10);
  cfg.setHostLookupEnabled(OFFalse);
  cfg.setMaxReceivePDULength(116794);
  cfg.addPresentationContext(UID_VerificationSOPClass,
                             xfers({UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax}));
  // Uncompressed first: when a sender offers both, the files are stored in
  // the form that loads fastest. Compressed-only offers are taken as they are.
  OFList<OFString> ts = xfers({UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax,
                               UID_BigEndianExplicitTransferSyntax, UID_DeflatedExplicitVRLittleEndianTransferSyntax,
                               UID_JPEGProcess14SV1TransferSyntax, UID_JPEGProcess14TransferSyntax,
                               UID_JPEGLSLosslessTransferSyntax, UID_JPEGLSLossyTransferSyntax,
                               UID_RLELosslessTransferSyntax, UID_JPEG2000LosslessOnlyTransferSyntax,
                               UID_JPEG2000TransferSyntax, UID_JPEGProcess1TransferSyntax,
                               UID_JPEGProcess2_4TransferSyntax});
  // At most 127 storage classes fit beside Verification: every image class
  // first, then the other common ones.
  std::set<std::string> added;
  auto add = [&](const char* uid) {
    if (added.size() >= 127 || !uid || !added.insert(uid).second) return;
    cfg.addPresentationContext(uid, ts);
  };
  for (int i = 0; i < numberOfDcmImageSOPClassUIDs; ++i) add(dcmImageSOPClassUIDs[i]);
  for (int i = 0; i < numberOfDcmLongSCUStorageSOPClassUIDs; ++i) add(dcmLongSCUStorageSOPClassUIDs[i]);
}

// Binding test: true when nothing listens on the port.
bool portFree(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(INADDR_ANY);
  bool ok = bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  close(fd);
  return ok;
}

// Wakes a listener waiting for connections so that it sees the stop at once.
void poke(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  close(fd);
}

void removeLeftovers(int dirFd) {
  int fd = dup(dirFd);
  DIR* d = fdopendir(fd);
  if (!d) {
    close(fd);
    return;
  }
  rewinddir(d);
  while (dirent* e = readdir(d)) {
    if (std::strncmp(e->d_name, "rcv", 3) == 0) unlinkat(dirFd, e->d_name, 0);
  }
  closedir(d);
}

}  // namespace

struct dcmServer::Impl {
  std::mutex mu;  // start/stop
  std::string root;
  uint16_t port = 4587;
  std::string ae = net::kOwnAE;
  std::atomic<bool> storeEnabled{true};
  std::unique_ptr<ServerContext> ctx;
  std::unique_ptr<StorePool> pool;
  std::thread listener;
  std::atomic<bool> listenEnded{false};
  std::atomic<bool> running{false};
  uint64_t regId = 0;

  void stop() {
    std::lock_guard<std::mutex> lock(mu);
    stopLocked();
  }

  void stopLocked() {
    if (!pool) return;
    ctx->stopping.store(true);
    pool->stopAfterCurrentAssociations();
    {
      std::lock_guard<std::mutex> s(ctx->sockMu);
      for (auto& [w, sock] : ctx->sockets) net::shutdownIfSame(sock);
    }
    // The listener checks its stop between connections.
    while (!listenEnded.load()) {
      poke(port);
      for (int i = 0; i < 20 && !listenEnded.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      std::lock_guard<std::mutex> s(ctx->sockMu);
      for (auto& [w, sock] : ctx->sockets) net::shutdownIfSame(sock);
    }
    listener.join();
    pool.reset();
    removeLeftovers(ctx->incomingFd);
    close(ctx->incomingFd);
    close(ctx->rootFd);
    ctx.reset();
    running.store(false);
  }
};

dcmServer::dcmServer() : d_(std::make_unique<Impl>()) {
  Impl* d = d_.get();
  d->regId = net::registerObject([d] { d->stop(); });
}

dcmServer::~dcmServer() {
  net::unregisterObject(d_->regId);
  d_->stop();
}

void dcmServer::setPort(const char* host, const char* port, const char* aeTitle) {
  std::lock_guard<std::mutex> lock(d_->mu);
  uint16_t p = net::parsePort(port);
  if (p) d_->port = p;
  d_->ae = net::aeOr(aeTitle, net::kOwnAE);
}

void dcmServer::setRoot(const char* folder) {
  std::lock_guard<std::mutex> lock(d_->mu);
  std::string r = folder ? folder : "";
  if (!r.empty() && r.back() != '/') r += '/';
  d_->root = r;
}

const char* dcmServer::getRoot() const { return d_->root.c_str(); }

void dcmServer::setStoreEnabled(bool on) { d_->storeEnabled.store(on); }
bool dcmServer::isRunning() const { return d_->running.load(); }
int dcmServer::getPort() const { return d_->running.load() ? d_->port : 0; }

bool dcmServer::BeginDicomServer() {
  net::init();
  if (detail::isDestroyed()) return false;
  std::lock_guard<std::mutex> lock(d_->mu);
  if (d_->pool) return false;
  if (d_->root.empty()) {
    detail::logLine("server: no storage folder");
    return false;
  }
  auto ctx = std::make_unique<ServerContext>();
  ctx->root = d_->root;
  ctx->language = language;
  ctx->storeEnabled = &d_->storeEnabled;
  ctx->rootFd = open(d_->root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (ctx->rootFd < 0) {
    detail::logLine("server: storage folder " + d_->root + ": " + std::strerror(errno));
    return false;
  }
  ctx->incomingFd = openSubdir(ctx->rootFd, ".incoming");
  if (ctx->incomingFd < 0) {
    detail::logLine("server: cannot use " + d_->root + ".incoming: " + std::strerror(errno));
    close(ctx->rootFd);
    return false;
  }
  removeLeftovers(ctx->incomingFd);
  if (!portFree(d_->port)) {
    detail::logLine("server: port " + std::to_string(d_->port) + " is in use");
    close(ctx->incomingFd);
    close(ctx->rootFd);
    return false;
  }

  auto pool = std::make_unique<StorePool>(ctx.get());
  configure(pool->getConfig(), d_->port, d_->ae);
  pool->setMaxThreads(16);
  d_->listenEnded.store(false);
  StorePool* p = pool.get();
  Impl* d = d_.get();
  d_->listener = std::thread([p, d] {
    OFCondition c = p->listen();
    if (c.bad()) detail::logLine(std::string("server: ") + c.text());
    d->listenEnded.store(true);
  });
  // Listening once the port is taken; an early end means it failed.
  bool listening = false;
  for (int i = 0; i < 400 && !listening; ++i) {
    if (d_->listenEnded.load()) break;
    if (!portFree(d_->port)) listening = true;
    else std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  d_->ctx = std::move(ctx);
  d_->pool = std::move(pool);
  if (!listening) {
    d_->stopLocked();
    return false;
  }
  d_->running.store(true);
  return true;
}

void dcmServer::StopDicomServer() { d_->stop(); }

}  // namespace dcmSDK
