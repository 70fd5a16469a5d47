// Study-root C-FIND by patient name (studies) and by study UID (series).
#include <cstdio>

#include "dcmsdk/src/net_worker.h"

#include <dcmtk/dcmnet/scu.h>

namespace dcmSDK {

namespace {

bool hasNonAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return true;
  return false;
}

// "gggg,eeee[value]" for every top-level element of a match; values in
// UTF-8, "]" shown as ")" and control characters as blanks, so that a value
// can neither end its item early nor start a new one.
std::string matchText(DcmDataset& ds, int language) {
  detail::LoadedFile f;
  f.ff = std::make_unique<DcmFileFormat>(&ds);  // copy: the converter keeps its own state
  f.fileSize = UINT64_MAX;
  f.language = language;
  DcmDataset* copy = f.ds();
  std::string out;
  for (unsigned long i = 0; i < copy->card(); ++i) {
    DcmElement* el = copy->getElement(i);
    if (!el || el->ident() == EVR_SQ) continue;
    DcmTagKey key = el->getTag().getXTag();
    if (key == DCM_SpecificCharacterSet) continue;
    std::string raw, value;
    bool bin = false;
    if (detail::elementText(f, *copy, key, raw, bin)) value = detail::toUtf8(f, raw, el->ident() == EVR_PN);
    for (char& c : value) {
      if (c == ']') c = ')';
      else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    char head[16];
    std::snprintf(head, sizeof head, "%04x,%04x[", key.getGroup(), key.getElement());
    out += head + value + "]";
  }
  return out;
}

class FindSCU : public DcmSCU {
 public:
  FindSCU(const std::atomic<bool>& stop, int language) : stop_(stop), language_(language) {}
  Uint16 finalStatus = 0xFFFF;
  bool gotFinal = false;

 protected:
  OFCondition handleFINDResponse(const T_ASC_PresentationContextID presID, QRResponse* response,
                                 OFBool& waitForNextResponse) override {
    OFCondition c = DcmSCU::handleFINDResponse(presID, response, waitForNextResponse);
    if (stop_.load()) {
      waitForNextResponse = OFFalse;
      return c;
    }
    if (!response) return c;
    if (net::isPending(response->m_status)) {
      if (response->m_dataset)
        net::emitText(DCM_MSG_FIND_RESULT, matchText(*response->m_dataset, language_), &stop_);
    } else {
      finalStatus = response->m_status;
      gotFinal = true;
    }
    return c;
  }

 private:
  const std::atomic<bool>& stop_;
  int language_;
};

struct Query {
  bool study;
  std::string host, called, calling, value;
  uint16_t port;
};

void putKey(DcmDataset& ds, const DcmTagKey& key, const std::string& value = "") {
  ds.putAndInsertString(key, value.c_str());
}

void runQuery(const Query& q, const std::atomic<bool>& stop) {
  auto fail = [&](const std::string& why) {
    detail::logLine("find: " + why);
    net::emitText(DCM_MSG_FIND_FAILED, "find failed: " + why, &stop);
  };
  if (q.port == 0 || q.host.empty()) return fail("no node address");
  DcmDataset keys;
  if (hasNonAscii(q.value)) putKey(keys, DCM_SpecificCharacterSet, "ISO_IR 192");
  if (q.study) {
    std::string pattern;
    for (char c : q.value)
      if (c != '\\') pattern.push_back(c);
    putKey(keys, DCM_QueryRetrieveLevel, "STUDY");
    putKey(keys, DCM_PatientName, pattern);
    for (const DcmTagKey& k : {DCM_StudyDate, DCM_StudyTime, DCM_InstitutionName, DCM_StudyDescription, DCM_PatientID,
                               DCM_PatientBirthDate, DCM_PatientSex, DCM_StudyInstanceUID, DCM_StudyID})
      putKey(keys, k);
  } else {
    putKey(keys, DCM_QueryRetrieveLevel, "SERIES");
    putKey(keys, DCM_StudyInstanceUID, q.value);
    for (const DcmTagKey& k : {DCM_SeriesDate, DCM_SeriesTime, DCM_Modality, DCM_SeriesDescription,
                               DCM_SeriesInstanceUID, DCM_SeriesNumber, DCM_NumberOfSeriesRelatedInstances})
      putKey(keys, k);
  }
  FindSCU scu(stop, 0);
  scu.setAETitle(q.calling.c_str());
  scu.setPeerHostName(q.host.c_str());
  scu.setPeerPort(q.port);
  scu.setPeerAETitle(q.called.c_str());
  scu.setACSETimeout(10);
  scu.setDIMSETimeout(30);
  scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  OFList<OFString> ts;
  ts.push_back(UID_LittleEndianExplicitTransferSyntax);
  ts.push_back(UID_LittleEndianImplicitTransferSyntax);
  scu.addPresentationContext(UID_FINDStudyRootQueryRetrieveInformationModel, ts);
  net::StopWatch watch(stop, q.host, q.port);
  OFCondition c = scu.initNetwork();
  if (c.bad()) return fail(c.text());
  if (stop.load()) return;
  c = scu.negotiateAssociation();
  if (c.bad()) return stop.load() ? void() : fail(std::string("association: ") + c.text());
  T_ASC_PresentationContextID pc = scu.findPresentationContextID(UID_FINDStudyRootQueryRetrieveInformationModel, "");
  if (pc == 0) {
    scu.abortAssociation();
    return fail("the node does not answer study queries");
  }
  c = scu.sendFINDRequest(pc, &keys, nullptr);
  if (stop.load()) {
    scu.abortAssociation();
    return;
  }
  if (c.bad()) {
    scu.abortAssociation();
    return fail(c.text());
  }
  scu.releaseAssociation();
  if (!scu.gotFinal) return fail("no final response");
  if (!net::isSuccessOrWarning(scu.finalStatus)) {
    char st[16];
    std::snprintf(st, sizeof st, "0x%04x", scu.finalStatus);
    return fail(std::string("status ") + st);
  }
}

}  // namespace

struct dcmFind::Impl {
  explicit Impl(std::atomic<bool>& s) : stop(s), queue(s) {}
  std::atomic<bool>& stop;
  net::JobQueue queue;

  bool push(Query q) {
    net::init();
    std::atomic<bool>* s = &stop;
    return queue.push([q, s] { runQuery(q, *s); }, 256);
  }
};

dcmFind::dcmFind() : d_(std::make_unique<Impl>(stop)) {}
dcmFind::~dcmFind() { d_->queue.halt(); }

bool dcmFind::findPatientByName(const char* host, const char* port, const char* calledAE, const char* callingAE,
                                const char* pattern) {
  if (stop.load()) return false;
  Query q{true, host ? host : "", net::aeOr(calledAE, net::kAnyAE), net::aeOr(callingAE, net::kOwnAE),
          pattern ? pattern : "", net::parsePort(port)};
  return d_->push(std::move(q));
}

bool dcmFind::findStudyByUID(const char* host, const char* port, const char* calledAE, const char* callingAE,
                             const char* studyUID) {
  if (stop.load() || !studyUID || !*studyUID) return false;
  Query q{false, host ? host : "", net::aeOr(calledAE, net::kAnyAE), net::aeOr(callingAE, net::kOwnAE), studyUID,
          net::parsePort(port)};
  return d_->push(std::move(q));
}

}  // namespace dcmSDK
