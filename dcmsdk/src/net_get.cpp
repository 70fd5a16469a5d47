// Retrieve of series: C-GET into a folder of the series, and when the peer
// does not serve C-GET, a C-MOVE to the own storage server. Tasks run one at
// a time; the list of queued tasks can be read and edited meanwhile.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
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

// A record of the task list holds at most this many bytes (the separator
// or the final NUL included), so that a reader's buffer of 1,024 bytes per
// task always takes it whole.
constexpr size_t kMaxRecord = 1024;

// Longest escaped prefix of s within max bytes, cut between characters.
std::string escapedPrefix(const std::string& s, size_t max) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    size_t n = 1;
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0xC0) n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    std::string piece = escapeField(s.substr(i, n));
    if (out.size() + piece.size() > max) break;
    out += piece;
    i += n;
  }
  return out;
}

// The fields that identify the task are kept whole; the texts only shown
// (name, series number, modality) are shortened when the record would not
// fit.
constexpr int kShortenable[] = {kName, kNumber, kModality};

size_t fixedLength(const Task& t) {
  size_t n = t.size() - 1;  // separators
  for (size_t i = 0; i < t.size(); ++i)
    if (std::find(std::begin(kShortenable), std::end(kShortenable), int(i)) == std::end(kShortenable))
      n += escapeField(t[i]).size();
  return n;
}

bool recordFits(const Task& t) { return fixedLength(t) + 3 * 8 < kMaxRecord; }

std::string record(const Task& t) {
  std::array<std::string, 10> esc;
  size_t total = t.size() - 1;
  for (size_t i = 0; i < t.size(); ++i) total += (esc[i] = escapeField(t[i])).size();
  if (total >= kMaxRecord) {
    // Shares of the room left, the shortest text first.
    size_t fixed = fixedLength(t);
    size_t room = fixed < kMaxRecord - 1 ? kMaxRecord - 1 - fixed : 0;
    std::vector<int> order(std::begin(kShortenable), std::end(kShortenable));
    std::sort(order.begin(), order.end(), [&](int a, int b) { return esc[a].size() < esc[b].size(); });
    size_t left = order.size();
    for (int i : order) {
      size_t share = room / left--;
      if (esc[i].size() > share) esc[i] = escapedPrefix(t[i], share);
      room -= esc[i].size();
    }
  }
  std::string out;
  for (size_t i = 0; i < esc.size(); ++i) {
    if (i) out += ",";
    out += esc[i];
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

  // The retrieve ended without its final response (peer gone or silent):
  // whatever did not arrive counts as failed. arrived < 0: the peer's own
  // count of completed sub-operations stands.
  void aborted(int arrived) {
    int total = std::max(0, remaining) + completed + failed + warning;
    if (arrived >= 0) {
      completed = std::max(0, arrived - warning);
      total = std::max(total, arrived);
    }
    failed = total - completed - warning;
    remaining = 0;
    emit();
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
    uint64_t datasetOffset = 0;
    if (!net::writeTempDicom(ff, folder_, ".rcv", tmp, &datasetOffset)) return false;
    bool hasUid = !sop.empty();
    std::string name = hasUid ? net::instanceFileName(sop.c_str())
                              : net::noUidFileName(net::fnv1a64File(tmp, datasetOffset));
    int dirFd = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string why = std::strerror(errno);
    bool placed = dirFd >= 0 && net::placeFile(dirFd, tmp.substr(tmp.rfind('/') + 1), dirFd, folder_,
                                               hasUid ? sop.c_str() : "", hasUid, name, why);
    if (dirFd >= 0) close(dirFd);
    if (!placed) {
      detail::logLine("retrieve: cannot store " + name + ": " + why);
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

// ---- presentation contexts of C-GET ---------------------------------------------

using Context = std::pair<const char*, std::vector<const char*>>;

const std::vector<const char*> kUncompressed = {UID_LittleEndianExplicitTransferSyntax,
                                                UID_LittleEndianImplicitTransferSyntax,
                                                UID_BigEndianExplicitTransferSyntax};
const std::vector<const char*> kCompressed = {
    UID_JPEGProcess14SV1TransferSyntax, UID_JPEGLSLosslessTransferSyntax, UID_JPEG2000LosslessOnlyTransferSyntax,
    UID_RLELosslessTransferSyntax,      UID_JPEG2000TransferSyntax,       UID_JPEGProcess1TransferSyntax,
    UID_JPEGProcess2_4TransferSyntax,   UID_JPEGProcess14TransferSyntax,  UID_JPEGLSLossyTransferSyntax};

// Image classes a series of the modality is made of.
std::vector<const char*> imageClassesOf(const std::string& modality) {
  static const std::map<std::string, std::vector<const char*>> byModality = {
      {"CT", {UID_CTImageStorage, UID_EnhancedCTImageStorage, UID_LegacyConvertedEnhancedCTImageStorage}},
      {"MR", {UID_MRImageStorage, UID_EnhancedMRImageStorage, UID_EnhancedMRColorImageStorage,
              UID_LegacyConvertedEnhancedMRImageStorage}},
      {"CR", {UID_ComputedRadiographyImageStorage}},
      {"DX", {UID_DigitalXRayImageStorageForPresentation, UID_DigitalXRayImageStorageForProcessing}},
      {"MG", {UID_DigitalMammographyXRayImageStorageForPresentation,
              UID_DigitalMammographyXRayImageStorageForProcessing, UID_BreastTomosynthesisImageStorage}},
      {"US", {UID_UltrasoundImageStorage, UID_UltrasoundMultiframeImageStorage}},
      {"XA", {UID_XRayAngiographicImageStorage, UID_EnhancedXAImageStorage, UID_XRay3DAngiographicImageStorage}},
      {"RF", {UID_XRayRadiofluoroscopicImageStorage, UID_EnhancedXRFImageStorage}},
      {"NM", {UID_NuclearMedicineImageStorage}},
      {"PT", {UID_PositronEmissionTomographyImageStorage, UID_EnhancedPETImageStorage,
              UID_LegacyConvertedEnhancedPETImageStorage}},
      {"OT", {UID_SecondaryCaptureImageStorage, UID_MultiframeGrayscaleByteSecondaryCaptureImageStorage,
              UID_MultiframeGrayscaleWordSecondaryCaptureImageStorage,
              UID_MultiframeTrueColorSecondaryCaptureImageStorage}},
      {"XC", {UID_VLPhotographicImageStorage}},
      {"ES", {UID_VLEndoscopicImageStorage}},
      {"IO", {UID_DigitalIntraOralXRayImageStorageForPresentation}},
  };
  std::string m = modality;
  if (m == "SC") m = "OT";
  auto it = byModality.find(m);
  if (it != byModality.end()) return it->second;
  // Unknown modality: the commonest image classes.
  if (m.empty()) return {UID_CTImageStorage, UID_MRImageStorage};
  return {};
}

// Storage classes, commonest first.
const char* const kCommonClasses[] = {
    UID_CTImageStorage, UID_MRImageStorage, UID_ComputedRadiographyImageStorage,
    UID_DigitalXRayImageStorageForPresentation, UID_DigitalMammographyXRayImageStorageForPresentation,
    UID_UltrasoundImageStorage, UID_UltrasoundMultiframeImageStorage, UID_SecondaryCaptureImageStorage,
    UID_XRayAngiographicImageStorage, UID_XRayRadiofluoroscopicImageStorage, UID_NuclearMedicineImageStorage,
    UID_PositronEmissionTomographyImageStorage, UID_EnhancedCTImageStorage, UID_EnhancedMRImageStorage,
    UID_MultiframeGrayscaleByteSecondaryCaptureImageStorage, UID_MultiframeGrayscaleWordSecondaryCaptureImageStorage,
    UID_MultiframeTrueColorSecondaryCaptureImageStorage, UID_DigitalXRayImageStorageForProcessing,
    UID_DigitalMammographyXRayImageStorageForProcessing, UID_BreastTomosynthesisImageStorage,
    UID_EnhancedXAImageStorage, UID_EnhancedPETImageStorage, UID_SegmentationStorage,
    UID_GrayscaleSoftcopyPresentationStateStorage, UID_ColorSoftcopyPresentationStateStorage,
    UID_PseudoColorSoftcopyPresentationStateStorage, UID_BlendingSoftcopyPresentationStateStorage,
    UID_XAXRFGrayscaleSoftcopyPresentationStateStorage, UID_KeyObjectSelectionDocumentStorage,
    UID_BasicTextSRStorage, UID_EnhancedSRStorage, UID_ComprehensiveSRStorage, UID_Comprehensive3DSRStorage,
    UID_XRayRadiationDoseSRStorage, UID_EnhancedXRayRadiationDoseSRStorage, UID_EncapsulatedPDFStorage,
    UID_EncapsulatedCDAStorage, UID_RTImageStorage, UID_RTDoseStorage, UID_RTStructureSetStorage,
    UID_RTPlanStorage, UID_RTIonPlanStorage, UID_RTBeamsTreatmentRecordStorage,
    UID_RTIonBeamsTreatmentRecordStorage, UID_SpatialRegistrationStorage, UID_DeformableSpatialRegistrationStorage,
    UID_SurfaceSegmentationStorage, UID_RawDataStorage, UID_LegacyConvertedEnhancedCTImageStorage,
    UID_LegacyConvertedEnhancedMRImageStorage, UID_LegacyConvertedEnhancedPETImageStorage,
    UID_XRay3DAngiographicImageStorage, UID_EnhancedXRFImageStorage, UID_VLPhotographicImageStorage,
    UID_VLEndoscopicImageStorage, UID_DigitalIntraOralXRayImageStorageForPresentation};

// Contexts of a C-GET for a series of the modality (127 at most: one more
// is the query model's). The modality's image classes come first, each with
// an uncompressed context and one context per compressed transfer syntax, so
// that a peer sends every file as it holds it; then every other storage
// class, commonest first, uncompressed.
std::vector<std::pair<const char*, std::vector<const char*>>> getContexts(const std::string& modality) {
  constexpr size_t kMax = 127;
  std::vector<Context> out;
  std::set<std::string> done;
  for (const char* cls : imageClassesOf(modality)) {
    if (!done.insert(cls).second) continue;
    out.push_back({cls, kUncompressed});
    for (const char* ts : kCompressed) out.push_back({cls, {ts}});
  }
  auto add = [&](const char* cls) {
    if (out.size() < kMax && cls && done.insert(cls).second) out.push_back({cls, kUncompressed});
  };
  for (const char* cls : kCommonClasses) add(cls);
  for (int i = 0; i < numberOfDcmImageSOPClassUIDs; ++i) add(dcmImageSOPClassUIDs[i]);
  for (int i = 0; i < numberOfDcmAllStorageSOPClassUIDs; ++i) add(dcmAllStorageSOPClassUIDs[i]);
  return out;
}

void configure(DcmSCU& scu, const Task& t) {
  scu.setAETitle(net::aeOr(t[kCalling].c_str(), net::kOwnAE).c_str());
  scu.setPeerHostName(t[kIp].c_str());
  scu.setPeerPort(net::parsePort(t[kPort].c_str()));
  scu.setPeerAETitle(net::aeOr(t[kCalled].c_str(), net::kAnyAE).c_str());
  scu.setACSETimeout(10);
  scu.setDIMSETimeout(net::replyTimeout());
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
  for (auto& [cls, ts] : getContexts(t[kModality])) {
    OFList<OFString> l;
    for (const char* x : ts) l.push_back(x);
    scu.addPresentationContext(cls, l, ASC_SC_ROLE_SCP);
  }
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
  if (scu.stored > 0) {
    if (!progress.gotFinal) progress.aborted(scu.stored);
    return Outcome::Failed;
  }
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
  if (!progress.gotFinal && progress.remaining >= 0) progress.aborted(-1);
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
  if (!recordFits(t)) {
    detail::logLine("retrieve: the task's addresses, UIDs and folder are too long to be listed");
    return false;
  }
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
