// Retrieve of series: C-GET into a folder of the series, and when the peer
// does not serve C-GET, a C-MOVE to the own storage server. Tasks run one at
// a time; the list of queued tasks can be read and edited meanwhile.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "dcmsdk/src/net_common.h"

#include <dcmtk/dcmnet/scu.h>

namespace dcmSDK {

namespace {

enum Field { kIp, kPort, kCalled, kCalling, kStudy, kSeries, kDest, kName, kNumber, kModality };
using Task = std::array<std::string, 10>;

std::string escapeField(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '%') out += "%25";
    else if (c == ',') out += "%2C";
    else if (c == '@') out += "%40";
    else out.push_back(c);
  }
  return out;
}

std::string record(const Task& t) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    if (i) out += ",";
    out += escapeField(t[i]);
  }
  return out;
}

// Sub-operation counts as the last response gave them.
struct Progress {
  const std::atomic<bool>* stop = nullptr;
  std::string series;
  int remaining = -1, completed = 0, failed = 0, warning = 0;
  bool gotFinal = false;
  Uint16 finalStatus = 0xFFFF;
  int lastEmittedRemaining = -1;

  void update(const RetrieveResponse& r) {
    bool pending = net::isPending(r.m_status);
    remaining = pending ? r.m_numberOfRemainingSubops : 0;
    completed = r.m_numberOfCompletedSubops;
    failed = r.m_numberOfFailedSubops;
    warning = r.m_numberOfWarningSubops;
    if (!pending) {
      gotFinal = true;
      finalStatus = r.m_status;
    }
    emit();
  }

  void emit() {
    lastEmittedRemaining = remaining < 0 ? 0 : remaining;
    net::emitText(DCM_MSG_GET_PROGRESS,
                  series + "|" + std::to_string(lastEmittedRemaining) + "|" + std::to_string(completed) + "|" +
                      std::to_string(failed) + "|" + std::to_string(warning),
                  stop);
  }

  // Every retrieve ends with a report of nothing remaining.
  void finish() {
    if (lastEmittedRemaining != 0) {
      remaining = 0;
      emit();
    }
  }
};

class GetSCU : public DcmSCU {
 public:
  GetSCU(const std::atomic<bool>& stop, Progress& p, const std::string& folder)
      : stop_(stop), progress_(p), folder_(folder) {}
  int stored = 0;

 protected:
  OFCondition handleCGETResponse(const T_ASC_PresentationContextID presID, RetrieveResponse* response,
                                 OFBool& continueSession) override {
    OFCondition c = DcmSCU::handleCGETResponse(presID, response, continueSession);
    if (stop_.load()) {
      continueSession = OFFalse;
      return c;
    }
    if (response) progress_.update(*response);
    return c;
  }

  OFCondition handleSTORERequest(const T_ASC_PresentationContextID, DcmDataset* incoming,
                                 OFBool& continueSession, Uint16& status) override {
    if (!incoming) return DIMSE_NULLKEY;
    DcmFileFormat ff(incoming, OFFalse);  // takes the dataset over
    if (stop_.load()) {
      continueSession = OFFalse;
      status = 0xA700;
      return EC_Normal;
    }
    status = storeFile(ff) ? 0x0000 : 0xA700;
    return EC_Normal;
  }

 private:
  // Peer-chosen UIDs never leave the series folder.
  bool storeFile(DcmFileFormat& ff) {
    OFString sop;
    ff.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, sop);
    std::string tmp;
    if (!net::writeTempDicom(ff, folder_, ".rcv", tmp)) return false;
    std::string name;
    if (sop.empty()) {
      char h[40];
      std::snprintf(h, sizeof h, "noUID_%016llx", static_cast<unsigned long long>(net::fnv1a64File(tmp)));
      name = h;
    } else {
      name = net::pathComponent(sop.c_str(), 128);
    }
    if (std::rename(tmp.c_str(), (folder_ + "/" + name).c_str()) != 0) {
      detail::logLine("retrieve: cannot store " + name + ": " + std::strerror(errno));
      unlink(tmp.c_str());
      return false;
    }
    ++stored;
    return true;
  }

  const std::atomic<bool>& stop_;
  Progress& progress_;
  std::string folder_;
};

class MoveSCU : public DcmSCU {
 public:
  MoveSCU(const std::atomic<bool>& stop, Progress& p) : stop_(stop), progress_(p) {}

 protected:
  OFCondition handleMOVEResponse(const T_ASC_PresentationContextID presID, RetrieveResponse* response,
                                 OFBool& waitForNextResponse) override {
    OFCondition c = DcmSCU::handleMOVEResponse(presID, response, waitForNextResponse);
    if (stop_.load()) {
      waitForNextResponse = OFFalse;
      return c;
    }
    if (response) progress_.update(*response);
    return c;
  }

 private:
  const std::atomic<bool>& stop_;
  Progress& progress_;
};

OFList<OFString> tsList(std::initializer_list<const char*> l) {
  OFList<OFString> out;
  for (const char* x : l) out.push_back(x);
  return out;
}

void configure(DcmSCU& scu, const Task& t) {
  scu.setAETitle(net::aeOr(t[kCalling].c_str(), net::kOwnAE).c_str());
  scu.setPeerHostName(t[kIp].c_str());
  scu.setPeerPort(net::parsePort(t[kPort].c_str()));
  scu.setPeerAETitle(net::aeOr(t[kCalled].c_str(), net::kAnyAE).c_str());
  scu.setACSETimeout(10);
  scu.setDIMSETimeout(60);
  scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
}

DcmDataset seriesKeys(const Task& t) {
  DcmDataset keys;
  keys.putAndInsertString(DCM_QueryRetrieveLevel, "SERIES");
  keys.putAndInsertString(DCM_StudyInstanceUID, t[kStudy].c_str());
  keys.putAndInsertString(DCM_SeriesInstanceUID, t[kSeries].c_str());
  return keys;
}

enum class Outcome { Stored, Refused, Failed, Stopped };

// C-GET. Refused: the peer does not serve it (no context, association
// refused or aborted) or it delivered nothing, so a C-MOVE may still work.
Outcome runGet(const Task& t, const std::string& folder, Progress& progress, const std::atomic<bool>& stop) {
  GetSCU scu(stop, progress, folder);
  configure(scu, t);
  scu.setStorageMode(DCMSCU_STORAGE_DISK);
  OFList<OFString> model = tsList({UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax});
  scu.addPresentationContext(UID_GETStudyRootQueryRetrieveInformationModel, model);
  OFList<OFString> ts = tsList({UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax,
                                UID_BigEndianExplicitTransferSyntax, UID_JPEGProcess14SV1TransferSyntax,
                                UID_JPEGProcess14TransferSyntax, UID_JPEGLSLosslessTransferSyntax,
                                UID_JPEGLSLossyTransferSyntax, UID_RLELosslessTransferSyntax,
                                UID_JPEG2000LosslessOnlyTransferSyntax, UID_JPEG2000TransferSyntax,
                                UID_JPEGProcess1TransferSyntax, UID_JPEGProcess2_4TransferSyntax});
  std::set<std::string> added;
  auto add = [&](const char* uid) {
    if (added.size() >= 120 || !uid || !added.insert(uid).second) return;
    scu.addPresentationContext(uid, ts, ASC_SC_ROLE_SCP);
  };
  for (int i = 0; i < numberOfDcmShortSCUStorageSOPClassUIDs; ++i) add(dcmShortSCUStorageSOPClassUIDs[i]);
  for (int i = 0; i < numberOfDcmImageSOPClassUIDs; ++i) add(dcmImageSOPClassUIDs[i]);
  if (scu.initNetwork().bad()) return Outcome::Failed;
  if (stop.load()) return Outcome::Stopped;
  net::StopWatch watch(stop, t[kIp], net::parsePort(t[kPort].c_str()));
  OFCondition c = scu.negotiateAssociation();
  if (stop.load()) return Outcome::Stopped;
  if (c.bad()) {
    detail::logLine(std::string("retrieve: C-GET association: ") + c.text());
    return Outcome::Refused;
  }
  T_ASC_PresentationContextID pc = scu.findPresentationContextID(UID_GETStudyRootQueryRetrieveInformationModel, "");
  if (pc == 0) {
    scu.releaseAssociation();
    return Outcome::Refused;
  }
  DcmDataset keys = seriesKeys(t);
  c = scu.sendCGETRequest(pc, &keys, nullptr);
  if (stop.load()) {
    scu.abortAssociation();
    return Outcome::Stopped;
  }
  if (c.bad()) scu.abortAssociation();
  else scu.releaseAssociation();
  // The call itself succeeds even when the peer reports failure: the final
  // status and the files decide.
  if (scu.stored > 0 && progress.gotFinal && net::isSuccessOrWarning(progress.finalStatus)) return Outcome::Stored;
  if (scu.stored > 0) return Outcome::Failed;
  return Outcome::Refused;
}

Outcome runMove(const Task& t, Progress& progress, const std::atomic<bool>& stop) {
  MoveSCU scu(stop, progress);
  configure(scu, t);
  scu.addPresentationContext(UID_MOVEStudyRootQueryRetrieveInformationModel,
                             tsList({UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax}));
  if (scu.initNetwork().bad()) return Outcome::Failed;
  net::StopWatch watch(stop, t[kIp], net::parsePort(t[kPort].c_str()));
  OFCondition c = scu.negotiateAssociation();
  if (stop.load()) return Outcome::Stopped;
  if (c.bad()) {
    detail::logLine(std::string("retrieve: C-MOVE association: ") + c.text());
    return Outcome::Failed;
  }
  T_ASC_PresentationContextID pc = scu.findPresentationContextID(UID_MOVEStudyRootQueryRetrieveInformationModel, "");
  if (pc == 0) {
    scu.releaseAssociation();
    return Outcome::Failed;
  }
  DcmDataset keys = seriesKeys(t);
  progress.gotFinal = false;
  c = scu.sendMOVERequest(pc, net::aeOr(t[kCalling].c_str(), net::kOwnAE).c_str(), &keys, nullptr);
  if (stop.load()) {
    scu.abortAssociation();
    return Outcome::Stopped;
  }
  if (c.bad()) scu.abortAssociation();
  else scu.releaseAssociation();
  if (progress.gotFinal && net::isSuccessOrWarning(progress.finalStatus) && progress.completed > 0)
    return Outcome::Stored;
  return Outcome::Failed;
}

}  // namespace

struct dcmGet::Impl {
  explicit Impl(std::atomic<bool>& s) : stop(s) {
    regId = net::registerObject([this] { halt(); });
  }
  ~Impl() {
    net::unregisterObject(regId);
    halt();
  }

  std::atomic<bool>& stop;
  std::mutex mu, joinMu;
  std::condition_variable cv;
  std::deque<Task> waiting;
  std::optional<Task> active;
  std::thread worker;
  bool halted = false;
  uint64_t regId = 0;

  void halt() {
    std::lock_guard<std::mutex> j(joinMu);
    {
      std::lock_guard<std::mutex> lock(mu);
      stop.store(true);
      halted = true;
      waiting.clear();
      cv.notify_all();
    }
    if (worker.joinable()) worker.join();
  }

  void loop() {
    std::unique_lock<std::mutex> lock(mu);
    for (;;) {
      cv.wait_for(lock, std::chrono::milliseconds(50), [&] { return halted || stop.load() || !waiting.empty(); });
      if (halted || stop.load()) {
        waiting.clear();
        active.reset();
        return;
      }
      if (waiting.empty()) continue;
      active = waiting.front();
      waiting.pop_front();
      Task t = *active;
      lock.unlock();
      run(t);
      lock.lock();
      active.reset();
    }
  }

  void run(const Task& t) {
    net::emitText(DCM_MSG_GET_SERIES_STARTED, t[kSeries], &stop);
    Progress progress;
    progress.stop = &stop;
    progress.series = t[kSeries];
    auto failed = [&] {
      progress.finish();
      net::emitText(DCM_MSG_GET_FAILED, record(t), &stop);
    };
    std::error_code ec;
    std::string dest = t[kDest];
    while (dest.size() > 1 && dest.back() == '/') dest.pop_back();
    if (dest.empty() || dest[0] != '/') {
      detail::logLine("retrieve: the destination must be an absolute folder: " + dest);
      return failed();
    }
    std::filesystem::create_directories(dest, ec);
    std::string folder = dest + "/" + net::pathComponent(t[kSeries], 128);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
      detail::logLine("retrieve: cannot create " + folder + ": " + std::strerror(errno));
      return failed();
    }
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      detail::logLine("retrieve: " + folder + " is not a folder");
      return failed();
    }

    Outcome got = runGet(t, folder, progress, stop);
    bool viaGet = got == Outcome::Stored;
    if (got == Outcome::Refused) {
      progress.remaining = -1;
      got = runMove(t, progress, stop);
    }
    if (got == Outcome::Stopped || stop.load()) return;
    if (got != Outcome::Stored) return failed();
    progress.finish();
    if (viaGet) net::emitText(DCM_MSG_GET_FILE, folder + "/", &stop);
    net::emitText(DCM_MSG_GET_READY, t[kName] + " " + t[kModality] + " " + t[kNumber], &stop);
  }
};

dcmGet::dcmGet() : d_(std::make_unique<Impl>(stop)) {}
dcmGet::~dcmGet() { d_->halt(); }

bool dcmGet::getSeriesByUID(const char* ip, const char* port, const char* calledAE, const char* callingAE,
                            const char* studyUID, const char* seriesUID, const char* destFolder,
                            const char* patientName, const char* seriesNumber, const char* modality) {
  net::init();
  auto s = [](const char* p) { return std::string(p ? p : ""); };
  Task t{s(ip), s(port), s(calledAE), s(callingAE), s(studyUID), s(seriesUID), s(destFolder), s(patientName),
         s(seriesNumber), s(modality)};
  if (t[kIp].empty() || net::parsePort(port) == 0 || t[kSeries].empty() || t[kDest].empty()) return false;
  std::lock_guard<std::mutex> lock(d_->mu);
  if (stop.load() || d_->halted) return false;
  if (d_->active && (*d_->active)[kSeries] == t[kSeries]) return false;
  for (auto& w : d_->waiting)
    if (w[kSeries] == t[kSeries]) return false;
  d_->waiting.push_back(std::move(t));
  if (!d_->worker.joinable()) d_->worker = std::thread([d = d_.get()] { d->loop(); });
  d_->cv.notify_one();
  return true;
}

int dcmGet::getListSize() {
  std::lock_guard<std::mutex> lock(d_->mu);
  return static_cast<int>(d_->waiting.size() + (d_->active ? 1 : 0));
}

size_t dcmGet::getList(char* buf, size_t bufSize) {
  std::string text;
  {
    std::lock_guard<std::mutex> lock(d_->mu);
    if (d_->active) text = record(*d_->active);
    for (auto& w : d_->waiting) {
      if (!text.empty()) text += "@";
      text += record(w);
    }
  }
  if (buf && bufSize > 0) {
    size_t n = std::min(text.size(), bufSize - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
  }
  return text.size() + 1;
}

bool dcmGet::removeTask(const char* seriesUID) {
  if (!seriesUID) return false;
  std::lock_guard<std::mutex> lock(d_->mu);
  for (auto it = d_->waiting.begin(); it != d_->waiting.end(); ++it)
    if ((*it)[kSeries] == seriesUID) {
      d_->waiting.erase(it);
      return true;
    }
  return false;
}

}  // namespace dcmSDK
