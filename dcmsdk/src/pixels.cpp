// Pixel description and conversion of compressed pixel data to native form.
#include <cstring>

#include "dcmsdk/src/internal.h"

#include <dcmtk/dcmdata/dccodec.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>

namespace dcmSDK::detail {

namespace {

// Largest decoded image accepted (all frames); keeps hostile headers from
// asking for absurd allocations.
constexpr uint64_t kMaxDecodedBytes = uint64_t(4) << 30;

std::string metaXferUid(LoadedFile& f) {
  OFString uid;
  if (f.ff && f.ff->getMetaInfo()) f.ff->getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, uid);
  return std::string(uid.c_str());
}

DcmPixelData* pixelElement(DcmDataset* ds) {
  DcmElement* el = nullptr;
  if (ds->findAndGetElement(DCM_PixelData, el, OFFalse).bad() || !el) return nullptr;
  if (el->ident() != EVR_PixelData) return nullptr;
  return static_cast<DcmPixelData*>(el);
}

// Splits the fragments of an encapsulated pixel sequence into frames.
bool frameStreams(DcmPixelSequence* seq, int32_t frames, std::vector<std::vector<uint8_t>>& out,
                  std::string& err) {
  unsigned long n = seq->card();
  if (n < 2) {
    err = "compressed pixel data holds no fragment";
    return false;
  }
  struct Frag {
    const uint8_t* p;
    Uint32 len;
    uint64_t offset;  // from the first fragment's item tag
  };
  std::vector<Frag> frags;
  uint64_t pos = 0;
  for (unsigned long i = 1; i < n; ++i) {
    DcmPixelItem* it = nullptr;
    if (seq->getItem(it, i).bad() || !it) {
      err = "compressed pixel data fragment missing";
      return false;
    }
    Uint8* p = nullptr;
    Uint32 len = it->getLength();
    if (len && (it->getUint8Array(p).bad() || !p)) {
      err = "compressed pixel data fragment unreadable";
      return false;
    }
    frags.push_back({p, len, pos});
    pos += 8 + uint64_t(len);
  }
  out.assign(static_cast<size_t>(frames), {});
  auto append = [](std::vector<uint8_t>& v, const Frag& fr) {
    if (fr.len) v.insert(v.end(), fr.p, fr.p + fr.len);
  };
  if (frames == 1) {
    for (auto& fr : frags) append(out[0], fr);
    return true;
  }
  if (frags.size() == static_cast<size_t>(frames)) {
    for (size_t i = 0; i < frags.size(); ++i) append(out[i], frags[i]);
    return true;
  }
  // Several fragments per frame: the offset table, else code stream starts.
  std::vector<uint64_t> starts;
  DcmPixelItem* table = nullptr;
  Uint8* tp = nullptr;
  if (seq->getItem(table, 0).good() && table && table->getLength() == Uint32(frames) * 4 &&
      table->getUint8Array(tp).good() && tp) {
    for (int32_t i = 0; i < frames; ++i)
      starts.push_back(uint64_t(tp[4 * i]) | uint64_t(tp[4 * i + 1]) << 8 |
                       uint64_t(tp[4 * i + 2]) << 16 | uint64_t(tp[4 * i + 3]) << 24);
  } else {
    for (auto& fr : frags)
      if (fr.len >= 4 && fr.p[0] == 0xFF && fr.p[1] == 0x4F && fr.p[2] == 0xFF && fr.p[3] == 0x51)
        starts.push_back(fr.offset);
    if (starts.size() != static_cast<size_t>(frames)) {
      err = "frames of the compressed pixel data cannot be told apart";
      return false;
    }
  }
  size_t fi = 0;
  for (int32_t k = 0; k < frames; ++k) {
    uint64_t end = k + 1 < frames ? starts[k + 1] : UINT64_MAX;
    if (fi >= frags.size() || frags[fi].offset != starts[k]) {
      err = "offset table of the compressed pixel data does not match its fragments";
      return false;
    }
    while (fi < frags.size() && frags[fi].offset < end) append(out[k], frags[fi++]);
  }
  return true;
}

bool j2kToNative(LoadedFile& f, PixelInfo& info, std::string& err) {
  DcmDataset* ds = f.ds();
  DcmPixelData* px = pixelElement(ds);
  DcmPixelSequence* seq = nullptr;
  if (!px || px->getEncapsulatedRepresentation(info.xfer, nullptr, seq).bad() || !seq) {
    err = "JPEG 2000 pixel data is not encapsulated";
    return false;
  }
  std::vector<std::vector<uint8_t>> streams;
  if (!frameStreams(seq, info.frames, streams, err)) return false;
  const size_t bps = info.bitsAllocated > 8 ? 2 : 1;
  const size_t frameBytes = size_t(info.rows) * info.cols * info.spp * bps;
  std::vector<uint8_t> all(frameBytes * static_cast<size_t>(info.frames));
  bool colourTransformed = false;
  for (int32_t k = 0; k < info.frames; ++k) {
    J2kFrame fr;
    if (!decodeJ2k(streams[k].data(), streams[k].size(), fr, err)) {
      err = "frame " + std::to_string(k + 1) + ": " + err;
      return false;
    }
    if (fr.width != info.cols || fr.height != info.rows || fr.comps != info.spp) {
      err = "JPEG 2000 frame " + std::to_string(k + 1) + " is " + std::to_string(fr.width) + "x" +
            std::to_string(fr.height) + "x" + std::to_string(fr.comps) +
            ", the header says " + std::to_string(info.cols) + "x" + std::to_string(info.rows) +
            "x" + std::to_string(info.spp);
      return false;
    }
    if (fr.precision > info.bitsAllocated || (fr.precision > 8) != (bps == 2)) {
      err = "JPEG 2000 precision " + std::to_string(fr.precision) + " does not fit Bits Allocated " +
            std::to_string(info.bitsAllocated);
      return false;
    }
    if (fr.data.size() != frameBytes) {
      err = "JPEG 2000 frame has an unexpected size";
      return false;
    }
    std::memcpy(all.data() + frameBytes * k, fr.data.data(), frameBytes);
    colourTransformed = fr.comps == 3;
  }
  OFCondition c = bps == 2 ? ds->putAndInsertUint16Array(DCM_PixelData,
                                                         reinterpret_cast<const Uint16*>(all.data()),
                                                         static_cast<unsigned long>(all.size() / 2))
                           : ds->putAndInsertUint8Array(DCM_PixelData, all.data(),
                                                        static_cast<unsigned long>(all.size()));
  if (c.bad()) {
    err = std::string("cannot store decoded pixels: ") + c.text();
    return false;
  }
  if (colourTransformed) {
    // OpenJPEG undoes the reversible/irreversible colour transform itself.
    if (info.photometric == "YBR_RCT" || info.photometric == "YBR_ICT") {
      ds->putAndInsertString(DCM_PhotometricInterpretation, "RGB");
      info.photometric = "RGB";
    }
    ds->putAndInsertUint16(DCM_PlanarConfiguration, 0);
    info.planar = 0;
  }
  info.encapsulated = false;
  info.xfer = EXS_LittleEndianExplicit;
  // The dataset now holds native pixels only: later calls must see it so.
  ds->updateOriginalXfer();
  return true;
}

}  // namespace

uint64_t nativeBytes(const PixelInfo& info) {
  uint64_t perFrame = uint64_t(info.rows) * info.cols;
  const std::string& pi = info.photometric;
  bool sub422 = pi.size() > 4 && pi.compare(pi.size() - 4, 4, "_422") == 0;
  perFrame *= (info.spp == 3 && sub422) ? 2 : info.spp;
  return perFrame * ((info.bitsAllocated + 7) / 8) * uint64_t(info.frames);
}

bool checkNativeLength(LoadedFile& f, const PixelInfo& info, std::string& err) {
  DcmPixelData* px = pixelElement(f.ds());
  if (!px) {
    err = "no pixel data";
    return false;
  }
  const uint64_t need = nativeBytes(info);
  const Uint32 have = px->getLengthField();
  if (have == DCM_UndefinedLength || !lengthFits(f, px) || have < need) {
    err = "pixel data holds " + std::to_string(have == DCM_UndefinedLength || !lengthFits(f, px) ? 0 : have) +
          " bytes, " + std::to_string(need) + " needed";
    return false;
  }
  return true;
}

bool readPixelInfo(LoadedFile& f, PixelInfo& info, std::string& err) {
  DcmDataset* ds = f.ds();
  if (!ds) {
    err = "no file loaded";
    return false;
  }
  info = PixelInfo{};
  if (ds->findAndGetUint16(DCM_Rows, info.rows).bad() || ds->findAndGetUint16(DCM_Columns, info.cols).bad() ||
      info.rows == 0 || info.cols == 0) {
    err = "Rows or Columns missing or zero";
    return false;
  }
  if (ds->findAndGetUint16(DCM_SamplesPerPixel, info.spp).bad()) info.spp = 1;
  if (ds->findAndGetUint16(DCM_BitsAllocated, info.bitsAllocated).bad()) {
    err = "Bits Allocated missing";
    return false;
  }
  if (ds->findAndGetUint16(DCM_BitsStored, info.bitsStored).bad() || info.bitsStored == 0 ||
      info.bitsStored > info.bitsAllocated)
    info.bitsStored = info.bitsAllocated;
  if (ds->findAndGetUint16(DCM_HighBit, info.highBit).bad() || info.highBit >= info.bitsAllocated ||
      info.highBit + 1 < info.bitsStored)
    info.highBit = info.bitsStored - 1;
  if (ds->findAndGetUint16(DCM_PixelRepresentation, info.pixelRep).bad()) info.pixelRep = 0;
  if (ds->findAndGetUint16(DCM_PlanarConfiguration, info.planar).bad()) info.planar = 0;
  Sint32 frames = 1;
  if (ds->findAndGetSint32(DCM_NumberOfFrames, frames).bad() || frames < 1) frames = 1;
  info.frames = frames;
  OFString pi;
  ds->findAndGetOFString(DCM_PhotometricInterpretation, pi);
  info.photometric = pi.c_str();
  if (info.photometric.empty()) info.photometric = info.spp == 3 ? "RGB" : "MONOCHROME2";

  std::string uid = metaXferUid(f);
  if (!uid.empty() && DcmXfer(uid.c_str()).getXfer() == EXS_Unknown) {
    err = "transfer syntax " + uid + " is not supported";
    return false;
  }
  info.xfer = ds->getOriginalXfer();
  DcmPixelData* px = pixelElement(ds);
  if (!px) {
    err = "no pixel data";
    return false;
  }
  info.encapsulated = DcmXfer(info.xfer).isEncapsulated();
  uint64_t bytes = uint64_t(info.rows) * info.cols * info.spp * ((info.bitsAllocated + 7) / 8) *
                   uint64_t(info.frames);
  if (bytes > kMaxDecodedBytes) {
    err = "image of " + std::to_string(bytes) + " bytes is too large";
    return false;
  }
  return true;
}

bool pixelTypeOf(const PixelInfo& info, dcmReader::PixelType& type, std::string& err) {
  bool palette = info.photometric == "PALETTE COLOR";
  if (info.spp == 1 && info.bitsAllocated == 8)
    type = palette ? dcmReader::PIXEL_RGB : dcmReader::PIXEL_8;
  else if (info.spp == 1 && info.bitsAllocated == 16 && !palette)
    type = dcmReader::PIXEL_16;
  else if (info.spp == 3 && info.bitsAllocated == 8)
    type = dcmReader::PIXEL_RGB;
  else {
    err = "unsupported pixel layout: " + std::to_string(info.spp) + " samples of " +
          std::to_string(info.bitsAllocated) + " bits, " + info.photometric;
    return false;
  }
  if (info.encapsulated && !isJpeg2000(info.xfer) &&
      !DcmCodecList::canChangeCoding(info.xfer, EXS_LittleEndianExplicit)) {
    err = "transfer syntax " + xferName(info.xfer) + " cannot be decoded";
    return false;
  }
  return true;
}

bool makeNative(LoadedFile& f, PixelInfo& info, std::string& err) {
  if (!info.encapsulated) return true;
  if (isJpeg2000(info.xfer)) {
    if (!j2kToNative(f, info, err)) {
      err = "JPEG 2000 decoding failed: " + err;
      return false;
    }
    return true;
  }
  if (!DcmCodecList::canChangeCoding(info.xfer, EXS_LittleEndianExplicit)) {
    err = "transfer syntax " + xferName(info.xfer) + " cannot be decoded";
    return false;
  }
  if (isJpegProcess(info.xfer)) {
    DcmPixelData* px = pixelElement(f.ds());
    DcmPixelSequence* seq = nullptr;
    E_TransferSyntax current = EXS_Unknown;
    const DcmRepresentationParameter* param = nullptr;
    if (px) px->getCurrentRepresentationKey(current, param);
    // Already decoded by an earlier call: nothing left to check.
    if (px && DcmXfer(current).isEncapsulated()) {
      if (px->getEncapsulatedRepresentation(info.xfer, nullptr, seq).bad() || !seq) {
        err = "JPEG pixel data is not encapsulated";
        return false;
      }
      if (!checkJpegFragments(seq, err)) {
        err = "JPEG pixel data cannot be decoded: " + err;
        return false;
      }
    }
  }
  OFCondition c = f.ds()->chooseRepresentation(EXS_LittleEndianExplicit, nullptr);
  if (c.bad()) {
    err = "decoding " + xferName(info.xfer) + " failed: " + c.text();
    return false;
  }
  // Decoders may change the colour model and the planar layout.
  PixelInfo after;
  if (!readPixelInfo(f, after, err)) return false;
  after.xfer = EXS_LittleEndianExplicit;
  after.encapsulated = false;
  info = after;
  return true;
}

}  // namespace dcmSDK::detail
