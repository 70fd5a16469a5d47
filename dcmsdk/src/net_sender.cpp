// Sending files with C-STORE, with progress per file and a result that is
// success only when the peer accepted every DICOM file.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "dcmsdk/src/net_worker.h"

#include <dcmtk/dcmnet/dstorscu.h>

namespace dcmSDK {

namespace {

// Regular files below a path (the path itself when it is a file); links are
// not followed.
void collectFiles(const std::string& path, std::vector<std::string>& out) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISREG(st.st_mode)) {
    out.push_back(path);
    return;
  }
  if (!S_ISDIR(st.st_mode)) return;
  std::error_code ec;
  std::vector<std::string> names;
  for (auto it = std::filesystem::directory_iterator(path, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec))
    names.push_back(it->path().string());
  std::sort(names.begin(), names.end());
  for (auto& n : names) collectFiles(n, out);
}

// Cheap look at the head of a file: DICOM with a preamble, or a dataset that
// starts with a group an object would start with. Thumbnails and other files
// beside the images are skipped without being parsed.
bool looksLikeDicom(const std::string& path) {
  unsigned char head[132];
  FILE* fp = std::fopen(path.c_str(), "rb");
  if (!fp) return false;
  size_t got = std::fread(head, 1, sizeof head, fp);
  std::fclose(fp);
  if (got == sizeof head && std::memcmp(head + 128, "DICM", 4) == 0) return true;
  unsigned group = got >= 8 ? head[0] | (head[1] << 8) : 0xFFFF;
  return group >= 0x0002 && group <= 0x0008;
}

class SendSCU : public DcmStorageSCU {
 public:
  SendSCU(const std::atomic<bool>& stop, unsigned int taskId) : stop_(stop), taskId_(taskId) {}

  size_t total = 0, processed = 0, accepted = 0;

 protected:
  void notifySOPInstanceSent(const TransferEntry& e) override {
    ++processed;
    if (e.RequestSent && net::isSuccessOrWarning(e.ResponseStatusCode)) ++accepted;
    char value[32];
    std::snprintf(value, sizeof value, "%.1f", total ? 100.0 * double(processed) / double(total) : 100.0);
    net::emitText(DCM_MSG_SEND_PROGRESS,
                  "{\"taskID\":\"" + std::to_string(taskId_) + "\",\"value\":\"" + value + "\"}", &stop_);
  }
  OFBool shouldStopAfterCurrentSOPInstance() override { return stop_.load(); }

 private:
  const std::atomic<bool>& stop_;
  unsigned int taskId_;
};

}  // namespace

struct dcmSender::Impl {
  explicit Impl(std::atomic<bool>& s) : stop(s), queue(s) {}
  std::atomic<bool>& stop;
  std::mutex mu;
  std::string host;
  uint16_t port = 0;
  std::string called = net::kAnyAE, calling = net::kOwnAE;
  std::atomic<bool> sending{false};
  net::JobQueue queue;

  bool run(unsigned int taskId, const std::string& path, const std::string& peer, uint16_t peerPort,
           const std::string& calledAE, const std::string& callingAE) {
    std::vector<std::string> files;
    collectFiles(path, files);
    SendSCU scu(stop, taskId);
    scu.setHaltOnInvalidFileMode(OFFalse);
    scu.setHaltOnUnsuccessfulStoreMode(OFFalse);
    scu.setDecompressionMode(DcmStorageSCU::DM_lossyAndLossless);
    scu.setDatasetConversionMode(OFTrue);
    for (auto& f : files) {
      if (stop.load()) return false;
      if (looksLikeDicom(f) && scu.addDicomFile(f.c_str(), ERM_autoDetect, OFFalse).good()) ++scu.total;
    }
    if (scu.total == 0) {
      detail::logLine("send: no DICOM file in " + path);
      return false;
    }
    if (peer.empty() || peerPort == 0) {
      detail::logLine("send: no destination");
      return false;
    }
    scu.setAETitle(callingAE.c_str());
    scu.setPeerHostName(peer.c_str());
    scu.setPeerPort(peerPort);
    scu.setPeerAETitle(calledAE.c_str());
    scu.setACSETimeout(10);
    scu.setDIMSETimeout(60);
    scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
    net::StopWatch watch(stop, peer, peerPort);
    // One association per batch of presentation contexts.
    while (!stop.load()) {
      OFCondition c = scu.addPresentationContexts();
      if (c == NET_EC_NoPresentationContextsDefined) break;
      if (c.bad()) {
        detail::logLine(std::string("send: ") + c.text());
        return false;
      }
      c = scu.initNetwork();
      if (c.good()) c = scu.negotiateAssociation();
      if (c.bad()) {
        detail::logLine("send: association with " + peer + ":" + std::to_string(peerPort) + " failed: " + c.text());
        return false;
      }
      c = scu.sendSOPInstances();
      if (stop.load() || c.bad()) {
        scu.abortAssociation();
        if (c.bad()) detail::logLine(std::string("send: ") + c.text());
        return false;
      }
      scu.releaseAssociation();
    }
    return !stop.load() && scu.processed == scu.total && scu.accepted == scu.total;
  }
};

dcmSender::dcmSender() : d_(std::make_unique<Impl>(stop)) {}
dcmSender::~dcmSender() { d_->queue.halt(); }

void dcmSender::setIP(const char* host, const char* port) {
  std::lock_guard<std::mutex> lock(d_->mu);
  d_->host = host ? host : "";
  d_->port = net::parsePort(port);
}

void dcmSender::setCalledAE(const char* ae) {
  std::lock_guard<std::mutex> lock(d_->mu);
  d_->called = net::aeOr(ae, net::kAnyAE);
}

void dcmSender::setCallingAE(const char* ae) {
  std::lock_guard<std::mutex> lock(d_->mu);
  d_->calling = net::aeOr(ae, net::kOwnAE);
}

bool dcmSender::isSending() const { return d_->sending.load(); }

bool dcmSender::send(unsigned int taskId, const char* fileOrFolder) {
  net::init();
  if (stop.load() || !fileOrFolder || !*fileOrFolder) return false;
  struct stat st;
  if (stat(fileOrFolder, &st) != 0) return false;
  if (d_->sending.exchange(true)) return false;
  std::string path = fileOrFolder, host, called, calling;
  uint16_t port;
  {
    std::lock_guard<std::mutex> lock(d_->mu);
    host = d_->host;
    port = d_->port;
    called = d_->called;
    calling = d_->calling;
  }
  Impl* d = d_.get();
  bool queued = d_->queue.push([d, taskId, path, host, port, called, calling] {
    bool ok = d->run(taskId, path, host, port, called, calling);
    net::emitText(ok ? DCM_MSG_SEND_DONE : DCM_MSG_SEND_FAILED, "{\"taskID\":\"" + std::to_string(taskId) + "\"}",
                  &d->stop);
    d->sending.store(false);
  });
  if (!queued) d_->sending.store(false);
  return queued;
}

}  // namespace dcmSDK
