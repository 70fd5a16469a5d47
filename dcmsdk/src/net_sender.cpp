// Sending files with C-STORE, with progress per file and a result that is
// success only when the peer accepted every DICOM file.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "dcmsdk/src/net_worker.h"

#include <dcmtk/dcmdata/dccodec.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
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

// ---- JPEG 2000 to native, for peers that accept no JPEG 2000 context --------------
//
// DCMTK ships no JPEG 2000 decoder, so a storage SCU neither proposes an
// uncompressed context for such files nor can convert them. This decoder
// (OpenJPEG, as the reader uses) fills that gap for the sender: with it the
// uncompressed syntaxes are proposed too and a file goes out decoded when the
// peer accepted nothing else.

bool isJ2k(E_TransferSyntax x) {
  return x == EXS_JPEG2000LosslessOnly || x == EXS_JPEG2000 || x == EXS_JPEG2000MulticomponentLosslessOnly ||
         x == EXS_JPEG2000Multicomponent;
}

struct J2kParam : DcmRepresentationParameter {
  DcmRepresentationParameter* clone() const override { return new J2kParam; }
  const char* className() const override { return "J2kParam"; }
  OFBool operator==(const DcmRepresentationParameter& o) const override {
    return std::strcmp(o.className(), className()) == 0;
  }
};
struct J2kCodecParam : DcmCodecParameter {
  DcmCodecParameter* clone() const override { return new J2kCodecParam; }
  const char* className() const override { return "J2kCodecParam"; }
};

// The code streams of the frames: one fragment per frame, every fragment
// for a single frame, else split where a code stream starts.
bool frameStreams(DcmPixelSequence* seq, Uint32 frames, std::vector<std::vector<Uint8>>& out) {
  std::vector<std::pair<Uint8*, Uint32>> frags;
  for (unsigned long i = 1; i < seq->card(); ++i) {
    DcmPixelItem* it = nullptr;
    Uint8* p = nullptr;
    if (seq->getItem(it, i).bad() || !it) return false;
    Uint32 len = it->getLength();
    if (len && (it->getUint8Array(p).bad() || !p)) return false;
    frags.push_back({p, len});
  }
  out.assign(frames, {});
  size_t k = 0;
  for (size_t i = 0; i < frags.size(); ++i) {
    auto [p, len] = frags[i];
    bool starts = len >= 4 && p[0] == 0xFF && p[1] == 0x4F && p[2] == 0xFF && p[3] == 0x51;
    if (i > 0 && (frags.size() == frames || (frames > 1 && starts))) ++k;
    if (k >= frames) return false;
    out[k].insert(out[k].end(), p, p + len);
  }
  return k + 1 == frames;
}

class J2kDecoder : public DcmCodec {
 public:
  OFCondition decode(const DcmRepresentationParameter*, DcmPixelSequence* seq, DcmPolymorphOBOW& px,
                     const DcmCodecParameter*, const DcmStack& objStack, OFBool& removeOldRep) const override {
    removeOldRep = OFFalse;
    DcmStack st(objStack);
    if (st.card() < 2 || !seq) return EC_IllegalCall;
    st.pop();
    auto* item = OFdynamic_cast(DcmItem*, st.top());
    if (!item) return EC_IllegalCall;
    Uint16 rows = 0, cols = 0, spp = 1, bits = 0;
    Sint32 frames = 1;
    if (item->findAndGetUint16(DCM_Rows, rows).bad() || item->findAndGetUint16(DCM_Columns, cols).bad() ||
        item->findAndGetUint16(DCM_BitsAllocated, bits).bad() || rows == 0 || cols == 0 || bits == 0 || bits > 16)
      return EC_CannotChangeRepresentation;
    item->findAndGetUint16(DCM_SamplesPerPixel, spp);
    if (item->findAndGetSint32(DCM_NumberOfFrames, frames).bad() || frames < 1) frames = 1;
    std::vector<std::vector<Uint8>> streams;
    if (!frameStreams(seq, Uint32(frames), streams)) return EC_CannotChangeRepresentation;
    const size_t bps = bits > 8 ? 2 : 1;
    const size_t frameBytes = size_t(rows) * cols * spp * bps;
    const size_t total = frameBytes * size_t(frames);
    if (total > 0xFFFFFFF0u) return EC_CannotChangeRepresentation;
    Uint8* dst = nullptr;
    Uint16* dst16 = nullptr;
    OFCondition c = bps == 2 ? px.createUint16Array(Uint32(total / 2), dst16)
                             : px.createUint8Array(Uint32((total + 1) & ~size_t(1)), dst);
    if (c.bad()) return c;
    if (dst16) dst = reinterpret_cast<Uint8*>(dst16);
    bool colour = false;
    for (Sint32 k = 0; k < frames; ++k) {
      detail::J2kFrame fr;
      std::string err;
      if (!detail::decodeJ2k(streams[size_t(k)].data(), streams[size_t(k)].size(), fr, err) ||
          fr.width != cols || fr.height != rows || fr.comps != spp || fr.data.size() != frameBytes) {
        detail::logLine("send: JPEG 2000 frame cannot be decoded" + (err.empty() ? "" : ": " + err));
        return EC_CannotChangeRepresentation;
      }
      colour = fr.comps == 3;
      if (bps == 2) {
        // Samples come little-endian; the element holds them in host order.
        for (size_t i = 0; i < frameBytes / 2; ++i)
          dst16[frameBytes / 2 * size_t(k) + i] = Uint16(fr.data[2 * i] | fr.data[2 * i + 1] << 8);
      } else {
        std::memcpy(dst + frameBytes * size_t(k), fr.data.data(), frameBytes);
      }
    }
    if (colour) {
      // OpenJPEG undoes the colour transform itself; samples come interleaved.
      OFString pi;
      item->findAndGetOFString(DCM_PhotometricInterpretation, pi);
      if (pi == "YBR_RCT" || pi == "YBR_ICT") item->putAndInsertString(DCM_PhotometricInterpretation, "RGB");
      item->putAndInsertUint16(DCM_PlanarConfiguration, 0);
    }
    return EC_Normal;
  }

  OFCondition decodeFrame(const DcmRepresentationParameter*, DcmPixelSequence*, const DcmCodecParameter*, DcmItem*,
                          Uint32, Uint32&, void*, Uint32, OFString&) const override {
    return EC_IllegalCall;
  }
  OFCondition encode(const Uint16*, const Uint32, const DcmRepresentationParameter*, DcmPixelSequence*&,
                     const DcmCodecParameter*, DcmStack&, OFBool&) const override {
    return EC_IllegalCall;
  }
  OFCondition encode(const E_TransferSyntax, const DcmRepresentationParameter*, DcmPixelSequence*,
                     const DcmRepresentationParameter*, DcmPixelSequence*&, const DcmCodecParameter*, DcmStack&,
                     OFBool&) const override {
    return EC_IllegalCall;
  }
  OFBool canChangeCoding(const E_TransferSyntax from, const E_TransferSyntax to) const override {
    return isJ2k(from) && !DcmXfer(to).isEncapsulated();
  }
  OFCondition determineDecompressedColorModel(const DcmRepresentationParameter*, DcmPixelSequence*,
                                              const DcmCodecParameter*, DcmItem* item,
                                              OFString& model) const override {
    if (!item) return EC_IllegalCall;
    OFCondition c = item->findAndGetOFString(DCM_PhotometricInterpretation, model);
    if (model == "YBR_RCT" || model == "YBR_ICT") model = "RGB";
    return c;
  }
};

void registerJ2kDecoder() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Lives as long as the process: DCMTK's codec list keeps the pointers.
    static J2kDecoder* codec = new J2kDecoder;
    static J2kParam* rep = new J2kParam;
    static J2kCodecParam* param = new J2kCodecParam;
    DcmCodecList::registerCodec(codec, rep, param);
  });
}

// DCMTK's JPEG decoder can spin for ever on a stream whose markers are out of
// place, and the sender decodes JPEG files for peers that accept only
// uncompressed data. A JPEG file is therefore checked before it is queued;
// every other file is taken as it is.
bool jpegStreamsSound(const std::string& path) try {
  DcmFileFormat ff;
  // Large values (the pixel data) stay on disk until they are asked for.
  if (ff.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, DCM_MaxReadLength, ERM_autoDetect).bad()) return true;
  DcmDataset* ds = ff.getDataset();
  E_TransferSyntax xs = ds->getOriginalXfer();
  if (!detail::isJpegProcess(xs)) return true;
  DcmElement* el = nullptr;
  DcmPixelSequence* seq = nullptr;
  std::string err;
  if (ds->findAndGetElement(DCM_PixelData, el).bad() || !el) return true;
  auto* px = dynamic_cast<DcmPixelData*>(el);
  if (!px || px->getEncapsulatedRepresentation(xs, nullptr, seq).bad() || !seq) {
    detail::logLine("send: " + path + ": JPEG pixel data is not encapsulated");
    return false;
  }
  if (!detail::checkJpegFragments(seq, err)) {
    detail::logLine("send: " + path + ": JPEG pixel data cannot be decoded: " + err);
    return false;
  }
  return true;
} catch (...) {
  detail::logLine("send: " + path + ": the file cannot be read");
  return false;
}

class SendSCU : public DcmStorageSCU {
 public:
  SendSCU(const std::atomic<bool>& stop, unsigned int taskId) : stop_(stop), taskId_(taskId) {}

  size_t total = 0, processed = 0, accepted = 0, refused = 0;

 protected:
  void notifySOPInstanceSent(const TransferEntry& e) override {
    ++processed;
    if (e.RequestSent && net::isSuccessOrWarning(e.ResponseStatusCode)) ++accepted;
    char value[32];
    std::snprintf(value, sizeof value, "%.1f", total ? 100.0 * double(processed) / double(total) : 100.0);
    net::emitText(DCM_MSG_SEND_PROGRESS,
                  "{\"taskID\":\"" + std::to_string(taskId_) + "\",\"value\":\"" + value + "\"}", &stop_);
  }
  OFBool shouldStopAfterCurrentSOPInstance() override { return stop_.load() || dead; }

  // A request that could not be sent or answered (the peer froze, timed out
  // or went away) ends the association: the files left count as failed at
  // once instead of each waiting out the timeout again.
  OFCondition sendSTORERequest(const T_ASC_PresentationContextID presID, const OFFilename& file, DcmDataset* ds,
                               Uint16& status, const OFString& moveAE, const Uint16 moveId) override {
    OFCondition c = DcmStorageSCU::sendSTORERequest(presID, file, ds, status, moveAE, moveId);
    if (c.bad() && c != DIMSE_NOVALIDPRESENTATIONCONTEXTID && c != EC_CannotChangeRepresentation &&
        c != NET_EC_InvalidDatasetPointer) {
      dead = true;
      detail::logLine(std::string("send: the peer did not take a file: ") + c.text());
    }
    return c;
  }

 public:
  bool dead = false;

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
    registerJ2kDecoder();
    SendSCU scu(stop, taskId);
    scu.setHaltOnInvalidFileMode(OFFalse);
    scu.setHaltOnUnsuccessfulStoreMode(OFFalse);
    scu.setDecompressionMode(DcmStorageSCU::DM_lossyAndLossless);
    scu.setDatasetConversionMode(OFTrue);
    for (auto& f : files) {
      if (stop.load()) return false;
      if (!looksLikeDicom(f)) continue;
      if (!jpegStreamsSound(f)) {
        ++scu.refused;
        continue;
      }
      if (scu.addDicomFile(f.c_str(), ERM_autoDetect, OFFalse).good()) ++scu.total;
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
    scu.setDIMSETimeout(net::replyTimeout());
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
      if (scu.dead) {
        // The peer does not answer: drop the connection without waiting
        // for it to acknowledge an abort.
        scu.closeAssociation(DCMSCU_PEER_ABORTED_ASSOCIATION);
        return false;
      }
      if (stop.load() || c.bad()) {
        scu.abortAssociation();
        if (c.bad()) detail::logLine(std::string("send: ") + c.text());
        return false;
      }
      scu.releaseAssociation();
    }
    return !stop.load() && scu.refused == 0 && scu.processed == scu.total && scu.accepted == scu.total;
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
