#include "tools/dcmfixtures/fixtures.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcrleerg.h>
#include <dcmtk/dcmdata/dcrlerp.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmimage/diregist.h>  // colour support needed by the JPEG encoder
#include <dcmtk/dcmjpeg/djencode.h>
#include <dcmtk/dcmjpeg/djrplol.h>
#include <dcmtk/dcmjpeg/djrploss.h>
#include <dcmtk/dcmjpls/djencode.h>
#include <dcmtk/dcmjpls/djrparam.h>

namespace dcmfixtures {

namespace {

void registerEncoders() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The encoders report routine details at info level; keep them quiet.
    OFLog::getLogger("dcmtk").setLogLevel(OFLogger::WARN_LOG_LEVEL);
    DJEncoderRegistration::registerCodecs();
    DJLSEncoderRegistration::registerCodecs();
    DcmRLEEncoderRegistration::registerCodecs();
  });
}

void check(const OFCondition& c, const std::string& what) {
  if (c.bad()) throw std::runtime_error(what + ": " + c.text());
}

void makeDirs(const std::string& dir) {
  std::string cur;
  for (size_t i = 0; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') {
      if (!cur.empty()) mkdir(cur.c_str(), 0755);
    }
    if (i < dir.size()) cur.push_back(dir[i]);
  }
}

uint64_t fnv64(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string uid(const std::string& seed) { return "2.25." + std::to_string(fnv64(seed)); }

std::string ds(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

E_TransferSyntax toDcmtk(Xfer x) {
  switch (x) {
    case Xfer::ELE: return EXS_LittleEndianExplicit;
    case Xfer::ILE: return EXS_LittleEndianImplicit;
    case Xfer::BEE: return EXS_BigEndianExplicit;
    case Xfer::Deflated: return EXS_DeflatedLittleEndianExplicit;
    case Xfer::JpegLossless: return EXS_JPEGProcess14SV1;
    case Xfer::JpegLs: return EXS_JPEGLSLossless;
    case Xfer::Rle: return EXS_RLELossless;
    case Xfer::JpegBaseline: return EXS_JPEGProcess1;
  }
  return EXS_LittleEndianExplicit;
}

double zPosition(const Variant& v, int z) { return z * 2.5 + (v.irregularSpacing && z >= 2 ? 1.5 : 0.0); }

uint8_t clamp8(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

std::string sopClass(const std::string& modality, bool multiFrame) {
  if (modality == "CT") return UID_CTImageStorage;
  if (modality == "MR") return UID_MRImageStorage;
  if (modality == "PT") return UID_PositronEmissionTomographyImageStorage;
  if (modality == "US") return multiFrame ? UID_UltrasoundMultiframeImageStorage : UID_UltrasoundImageStorage;
  if (modality == "CR") return UID_ComputedRadiographyImageStorage;
  return UID_SecondaryCaptureImageStorage;
}

// Stored 16-bit word of a grey sample, with the noise the variant asks for.
uint16_t rawWord(const Variant& v, int x, int y, int z) {
  int32_t val = greyValue(v, x, y, z);
  uint32_t mask = (1u << v.bitsStored) - 1u;
  uint32_t bits = static_cast<uint32_t>(val) & mask;
  unsigned shift = static_cast<unsigned>(v.highBit + 1 - v.bitsStored);
  uint32_t word = bits << shift;
  if (v.garbageHighBits) {
    uint32_t noise = static_cast<uint32_t>(x * 5 + y * 3 + z) & 0xF;
    if (shift > 0)
      word |= noise & ((1u << shift) - 1u);
    else if (v.bitsStored < 16)
      word |= noise << v.bitsStored;
  }
  return static_cast<uint16_t>(word);
}

void addPet(DcmDataset& d) {
  check(d.putAndInsertString(DCM_Units, "BQML"), "Units");
  check(d.putAndInsertString(DCM_DecayCorrection, "START"), "DecayCorrection");
  check(d.putAndInsertString(DCM_DecayFactor, "1.02"), "DecayFactor");
  check(d.putAndInsertString(DCM_AcquisitionDate, "20240102"), "AcquisitionDate");
  check(d.putAndInsertString(DCM_AcquisitionTime, "103000"), "AcquisitionTime");
  check(d.putAndInsertString(DCM_TriggerTime, "125.5"), "TriggerTime");
  DcmItem* item = nullptr;
  check(d.findOrCreateSequenceItem(DCM_RadiopharmaceuticalInformationSequence, item, -2), "sequence");
  check(item->putAndInsertString(DCM_Radiopharmaceutical, "Fluorodeoxyglucose"), "pharm");
  check(item->putAndInsertString(DCM_RadiopharmaceuticalStartTime, "101500"), "start time");
  check(item->putAndInsertString(DCM_RadionuclideTotalDose, "370000000"), "dose");
  check(item->putAndInsertString(DCM_RadionuclideHalfLife, "6586.2"), "half life");
  check(item->putAndInsertString(DCM_RadiopharmaceuticalStartDateTime, "20240102101500"), "start dt");
  check(d.putAndInsertString(DcmTag(0x7053, 0x0010, EVR_LO), "Philips PET Private Group"), "creator");
  DcmTag priv(0x7053, 0x1000, EVR_DS);
  priv.setPrivateCreator("Philips PET Private Group");
  check(d.putAndInsertString(priv, "0.000123"), "private scale");
}

void setPixels(DcmDataset& d, const Variant& v, int w, int h, int z0) {
  const int frames = v.frames;
  const size_t plane = size_t(w) * h;
  if (v.photometric == "PALETTE COLOR") {
    std::vector<Uint8> px(plane * frames);
    for (int f = 0; f < frames; ++f)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[f * plane + size_t(y) * w + x] = static_cast<Uint8>(greyValue(v, x, y, z0 + f));
    check(d.putAndInsertUint8Array(DCM_PixelData, px.data(), px.size()), "pixels");
    const Uint16 desc[3] = {256, 0, 16};
    std::vector<Uint16> r(256), g(256), b(256);
    for (int i = 0; i < 256; ++i) {
      r[i] = static_cast<Uint16>(i * 257);
      g[i] = static_cast<Uint16>((255 - i) * 257);
      b[i] = static_cast<Uint16>(((i * 2) % 256) * 257);
    }
    check(d.putAndInsertUint16Array(DCM_RedPaletteColorLookupTableDescriptor, desc, 3), "lut");
    check(d.putAndInsertUint16Array(DCM_GreenPaletteColorLookupTableDescriptor, desc, 3), "lut");
    check(d.putAndInsertUint16Array(DCM_BluePaletteColorLookupTableDescriptor, desc, 3), "lut");
    check(d.putAndInsertUint16Array(DCM_RedPaletteColorLookupTableData, r.data(), 256), "lut");
    check(d.putAndInsertUint16Array(DCM_GreenPaletteColorLookupTableData, g.data(), 256), "lut");
    check(d.putAndInsertUint16Array(DCM_BluePaletteColorLookupTableData, b.data(), 256), "lut");
    return;
  }
  if (v.photometric == "YBR_FULL_422") {
    // Y of each pixel, then Cb and Cr shared by each pair of pixels.
    std::vector<Uint8> px(plane * 2 * frames);
    for (int f = 0; f < frames; ++f)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          size_t i = size_t(y) * w + x, pair = f * plane * 2 + (i & ~size_t(1)) * 2;
          uint8_t s[3];
          ybrValue(v, x, y, z0 + f, w, s);
          px[pair + (i & 1)] = s[0];
          px[pair + 2] = s[1];
          px[pair + 3] = s[2];
        }
    check(d.putAndInsertUint8Array(DCM_PixelData, px.data(), px.size()), "pixels");
    return;
  }
  if (v.samples == 3) {
    std::vector<Uint8> px(plane * 3 * frames);
    for (int f = 0; f < frames; ++f) {
      Uint8* fr = px.data() + f * plane * 3;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          uint8_t c[3];
          rgbValue(v, x, y, z0 + f, c);
          uint8_t s[3] = {c[0], c[1], c[2]};
          if (v.photometric == "YBR_FULL") ybrValue(v, x, y, z0 + f, w, s);
          size_t i = size_t(y) * w + x;
          for (int k = 0; k < 3; ++k) {
            if (v.planar)
              fr[k * plane + i] = s[k];
            else
              fr[i * 3 + k] = s[k];
          }
        }
    }
    check(d.putAndInsertUint8Array(DCM_PixelData, px.data(), px.size()), "pixels");
    return;
  }
  if (v.bitsAllocated == 8) {
    std::vector<Uint8> px(plane * frames);
    for (int f = 0; f < frames; ++f)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[f * plane + size_t(y) * w + x] = static_cast<Uint8>(greyValue(v, x, y, z0 + f));
    check(d.putAndInsertUint8Array(DCM_PixelData, px.data(), px.size()), "pixels");
    return;
  }
  std::vector<Uint16> px(plane * frames);
  for (int f = 0; f < frames; ++f)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) px[f * plane + size_t(y) * w + x] = rawWord(v, x, y, z0 + f);
  check(d.putAndInsertUint16Array(DCM_PixelData, px.data(), px.size()), "pixels");
}

void buildDataset(DcmDataset& d, const Variant& v, int w, int h, int z, int slices) {
  const bool multi = v.frames > 1;
  check(d.putAndInsertString(DCM_SOPClassUID, sopClass(v.modality, multi).c_str()), "sop class");
  check(d.putAndInsertString(DCM_SOPInstanceUID, uid(v.name + "/sop/" + std::to_string(z)).c_str()), "sop");
  check(d.putAndInsertString(DCM_StudyInstanceUID, uid(v.name + "/study").c_str()), "study");
  check(d.putAndInsertString(DCM_SeriesInstanceUID, uid(v.name + "/series").c_str()), "series");
  check(d.putAndInsertString(DCM_FrameOfReferenceUID, uid(v.name + "/for").c_str()), "for");
  check(d.putAndInsertString(DCM_PatientName, ("FIXTURE^" + v.name).c_str()), "name");
  check(d.putAndInsertString(DCM_PatientID, ("FX-" + v.name).c_str()), "id");
  check(d.putAndInsertString(DCM_PatientBirthDate, "19700101"), "birth");
  check(d.putAndInsertString(DCM_PatientSex, "F"), "sex");
  check(d.putAndInsertString(DCM_PatientWeight, "75"), "weight");
  check(d.putAndInsertString(DCM_PatientSize, "1.8"), "size");
  check(d.putAndInsertString(DCM_StudyDate, "20240102"), "date");
  check(d.putAndInsertString(DCM_StudyTime, "101010"), "time");
  check(d.putAndInsertString(DCM_SeriesDate, "20240102"), "date");
  check(d.putAndInsertString(DCM_SeriesTime, "102000"), "time");
  check(d.putAndInsertString(DCM_StudyID, "1"), "study id");
  check(d.putAndInsertString(DCM_SeriesNumber, "3"), "series number");
  check(d.putAndInsertString(DCM_InstanceNumber, std::to_string(z + 1).c_str()), "instance");
  check(d.putAndInsertString(DCM_Modality, v.modality.c_str()), "modality");
  check(d.putAndInsertString(DCM_SeriesDescription, ("fixture " + v.name).c_str()), "desc");
  if (v.modality == "CT") check(d.putAndInsertString(DCM_ScanOptions, "HELICAL MODE"), "scan options");
  if (!v.position.empty()) check(d.putAndInsertString(DCM_PatientPosition, v.position.c_str()), "position");
  std::string pos = ds(-16) + "\\" + ds(-12) + "\\" + ds(zPosition(v, z));
  check(d.putAndInsertString(DCM_ImagePositionPatient, pos.c_str()), "ipp");
  check(d.putAndInsertString(DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0"), "iop");
  check(d.putAndInsertString(DCM_PixelSpacing, "0.5\\0.7"), "spacing");
  check(d.putAndInsertString(DCM_SliceThickness, "2.5"), "thickness");
  check(d.putAndInsertUint16(DCM_Rows, static_cast<Uint16>(h)), "rows");
  check(d.putAndInsertUint16(DCM_Columns, static_cast<Uint16>(w)), "cols");
  check(d.putAndInsertUint16(DCM_SamplesPerPixel, static_cast<Uint16>(v.samples)), "spp");
  check(d.putAndInsertString(DCM_PhotometricInterpretation, v.photometric.c_str()), "pi");
  check(d.putAndInsertUint16(DCM_BitsAllocated, static_cast<Uint16>(v.bitsAllocated)), "ba");
  check(d.putAndInsertUint16(DCM_BitsStored, static_cast<Uint16>(v.bitsStored)), "bs");
  check(d.putAndInsertUint16(DCM_HighBit, static_cast<Uint16>(v.highBit)), "hb");
  check(d.putAndInsertUint16(DCM_PixelRepresentation, static_cast<Uint16>(v.pixelRep)), "pr");
  if (v.samples == 3) check(d.putAndInsertUint16(DCM_PlanarConfiguration, static_cast<Uint16>(v.planar)), "pc");
  if (multi) check(d.putAndInsertString(DCM_NumberOfFrames, std::to_string(v.frames).c_str()), "frames");
  if (v.samples == 1 && v.photometric != "PALETTE COLOR") {
    check(d.putAndInsertString(DCM_RescaleIntercept, ds(v.intercept).c_str()), "intercept");
    check(d.putAndInsertString(DCM_RescaleSlope, ds(v.slope).c_str()), "slope");
    if (v.hasWindow) {
      check(d.putAndInsertString(DCM_WindowCenter, ds(v.windowCenter).c_str()), "wc");
      check(d.putAndInsertString(DCM_WindowWidth, ds(v.windowWidth).c_str()), "ww");
    }
  }
  if (v.pet) addPet(d);
  (void)slices;
  setPixels(d, v, w, h, multi ? 0 : z);
}

void save(DcmFileFormat& ff, const Variant& v, const std::string& path) {
  DcmDataset* d = ff.getDataset();
  E_TransferSyntax xs = toDcmtk(v.xfer);
  if (DcmXfer(xs).isEncapsulated()) {
    registerEncoders();
    DJ_RPLossless lossless(1, 0);
    DJ_RPLossy lossy(95);
    DJLSRepresentationParameter jls(2, OFTrue);
    DcmRLERepresentationParameter rle;
    const DcmRepresentationParameter* p = nullptr;
    switch (v.xfer) {
      case Xfer::JpegLossless: p = &lossless; break;
      case Xfer::JpegBaseline: p = &lossy; break;
      case Xfer::JpegLs: p = &jls; break;
      default: p = &rle; break;
    }
    check(d->chooseRepresentation(xs, p), "encoding " + v.name);
  }
  check(ff.saveFile(path.c_str(), xs), "saving " + path);
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Offset of the little-endian explicit header of the pixel data element.
size_t pixelTagOffset(const std::string& b) {
  static const char tag[] = {'\xE0', '\x7F', '\x10', '\x00'};
  size_t pos = b.rfind(std::string(tag, 4));
  if (pos == std::string::npos) throw std::runtime_error("pixel data tag not found");
  return pos;
}

void putLe32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// An encapsulated file holding the given fragment under transfer syntax xs.
void writeEncapsulated(const std::string& path, E_TransferSyntax xs, const std::string& fragment,
                       const char* photometric = "MONOCHROME2") {
  Variant v;
  v.name = "encapsulated";
  DcmFileFormat ff;
  DcmDataset* d = ff.getDataset();
  buildDataset(*d, v, 16, 16, 0, 1);
  d->putAndInsertString(DCM_PhotometricInterpretation, photometric);
  d->findAndDeleteElement(DCM_PixelData);
  auto* px = new DcmPixelData(DCM_PixelData);
  auto* seq = new DcmPixelSequence(DCM_PixelSequenceTag);
  seq->insert(new DcmPixelItem(DCM_PixelItemTag));  // empty offset table
  auto* item = new DcmPixelItem(DCM_PixelItemTag);
  std::string frag = fragment;
  if (frag.size() % 2) frag.push_back('\0');
  item->putUint8Array(reinterpret_cast<const Uint8*>(frag.data()), static_cast<unsigned long>(frag.size()));
  seq->insert(item);
  px->putOriginalRepresentation(xs, nullptr, seq);
  d->insert(px, OFTrue);
  check(ff.saveFile(path.c_str(), xs), "saving " + path);
}

}  // namespace

int32_t greyValue(const Variant& v, int x, int y, int z) {
  if (v.bitsAllocated == 8) return (x * 3 + y * 5 + z * 17) % 256;
  if (v.bitsStored == 12 && v.pixelRep == 0) return (x * 7 + y * 13 + z * 101) % 4096;
  if (v.bitsStored == 12) return (x * 37 + y * 91 + z * 311) % 4096 - 2048;
  if (v.pixelRep == 1) return (x * 37 + y * 91 + z * 1009) % 8000 - 3000;
  return 30000 + (x * 101 + y * 211 + z * 307) % 35000;
}

void rgbValue(const Variant& v, int x, int y, int z, uint8_t rgb[3]) {
  if (v.photometric == "PALETTE COLOR") {
    int i = greyValue(v, x, y, z);
    rgb[0] = static_cast<uint8_t>(i);
    rgb[1] = static_cast<uint8_t>(255 - i);
    rgb[2] = static_cast<uint8_t>((i * 2) % 256);
    return;
  }
  // Smooth gradients, so that lossy codecs stay close to them.
  rgb[0] = static_cast<uint8_t>(std::min(255, 40 + x * 2 + z * 5));
  rgb[1] = static_cast<uint8_t>(std::min(255, 60 + y * 3));
  rgb[2] = static_cast<uint8_t>(std::min(255, 100 + x + y + z * 3));
}

void ybrValue(const Variant& v, int x, int y, int z, int width, uint8_t ybr[3]) {
  auto luma = [](const uint8_t* c) { return 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2]; };
  auto cb = [](const uint8_t* c) { return -0.168736 * c[0] - 0.331264 * c[1] + 0.5 * c[2] + 128; };
  auto cr = [](const uint8_t* c) { return 0.5 * c[0] - 0.418688 * c[1] - 0.081312 * c[2] + 128; };
  uint8_t c[3];
  rgbValue(v, x, y, z, c);
  ybr[0] = clamp8(luma(c));
  if (v.photometric != "YBR_FULL_422") {
    ybr[1] = clamp8(cb(c));
    ybr[2] = clamp8(cr(c));
    return;
  }
  // Chroma of the pair of consecutive pixels (row by row) holding this one.
  const int i = (y * width + x) & ~1;
  uint8_t a[3], b[3];
  rgbValue(v, i % width, i / width, z, a);
  rgbValue(v, (i + 1) % width, (i + 1) / width, z, b);
  ybr[1] = clamp8((cb(a) + cb(b)) / 2);
  ybr[2] = clamp8((cr(a) + cr(b)) / 2);
}

double modalityValue(const Variant& v, int x, int y, int z) { return greyValue(v, x, y, z) * v.slope + v.intercept; }

std::vector<Variant> allVariants() {
  std::vector<Variant> out;
  auto ct12 = [](const std::string& name, Xfer x, bool garbage) {
    Variant v;
    v.name = name;
    v.bitsStored = 12;
    v.highBit = 11;
    v.intercept = -1024;
    v.xfer = x;
    v.garbageHighBits = garbage;
    return v;
  };
  out.push_back(ct12("ct_ele", Xfer::ELE, true));
  out.push_back(ct12("ct_ile", Xfer::ILE, true));
  out.push_back(ct12("ct_bee", Xfer::BEE, true));
  out.push_back(ct12("ct_deflated", Xfer::Deflated, true));
  out.push_back(ct12("ct_jpll", Xfer::JpegLossless, false));
  out.push_back(ct12("ct_jls", Xfer::JpegLs, false));
  out.push_back(ct12("ct_rle", Xfer::Rle, false));
  {
    Variant v = ct12("ct_shifted", Xfer::ELE, true);
    v.highBit = 15;
    out.push_back(v);
  }
  {
    Variant v = ct12("ct_s12", Xfer::ELE, true);
    v.pixelRep = 1;
    v.intercept = 0;
    out.push_back(v);
  }
  Variant s16;
  s16.name = "ct_s16";
  s16.pixelRep = 1;
  s16.intercept = -1024;
  out.push_back(s16);
  {
    Variant v = s16;
    v.name = "ct_s16_rle";
    v.xfer = Xfer::Rle;
    out.push_back(v);
  }
  {
    Variant v = s16;
    v.name = "ct_ffs_irregular";
    v.position = "FFS";
    v.irregularSpacing = true;
    v.shuffledNames = true;
    out.push_back(v);
  }
  {
    Variant v = s16;
    v.name = "ct_hfp";
    v.position = "HFP";
    out.push_back(v);
  }
  Variant mr;
  mr.name = "mr_u16";
  mr.modality = "MR";
  mr.windowCenter = 45000;
  mr.windowWidth = 30000;
  out.push_back(mr);
  {
    Variant v = mr;
    v.name = "mr_mf5";
    v.frames = 5;
    out.push_back(v);
  }
  {
    Variant v;
    v.name = "mono1";
    v.modality = "CR";
    v.photometric = "MONOCHROME1";
    v.pixelRep = 1;
    v.hasWindow = false;
    v.position = "";
    out.push_back(v);
  }
  Variant g8;
  g8.name = "grey8";
  g8.modality = "XA";
  g8.bitsAllocated = g8.bitsStored = 8;
  g8.highBit = 7;
  g8.windowCenter = 128;
  g8.windowWidth = 256;
  out.push_back(g8);
  {
    Variant v = g8;
    v.name = "grey8_bee";  // 8-bit samples in big-endian 16-bit words
    v.xfer = Xfer::BEE;
    out.push_back(v);
  }
  {
    Variant v = g8;
    v.name = "grey8_jpeg";
    v.xfer = Xfer::JpegBaseline;
    v.lossy = true;
    out.push_back(v);
  }
  Variant rgb;
  rgb.name = "rgb";
  rgb.modality = "US";
  rgb.photometric = "RGB";
  rgb.samples = 3;
  rgb.bitsAllocated = rgb.bitsStored = 8;
  rgb.highBit = 7;
  rgb.position = "";
  out.push_back(rgb);
  {
    Variant v = rgb;
    v.name = "rgb_planar";
    v.planar = 1;
    out.push_back(v);
  }
  {
    Variant v = rgb;
    v.name = "rgb_rle";  // decodes to colour-by-plane
    v.xfer = Xfer::Rle;
    out.push_back(v);
  }
  {
    Variant v = rgb;
    v.name = "rgb_bee";
    v.xfer = Xfer::BEE;
    out.push_back(v);
  }
  {
    Variant v = rgb;
    v.name = "rgb_mf3";
    v.frames = 3;
    out.push_back(v);
  }
  {
    Variant v = rgb;
    v.name = "ybr_full";
    v.photometric = "YBR_FULL";
    v.lossy = true;
    out.push_back(v);
  }
  {
    Variant v = rgb;
    v.name = "ybr_rle";
    v.photometric = "YBR_FULL";
    v.xfer = Xfer::Rle;
    v.lossy = true;
    out.push_back(v);
  }
  {
    Variant v = rgb;
    v.name = "ybr_full_422";
    v.photometric = "YBR_FULL_422";
    v.lossy = true;  // chroma shared by pairs of pixels
    out.push_back(v);
  }
  {
    Variant v = rgb;
    v.name = "rgb_jpeg";
    v.xfer = Xfer::JpegBaseline;
    v.lossy = true;
    out.push_back(v);
  }
  {
    Variant v = g8;
    v.name = "pal8";
    v.modality = "US";
    v.photometric = "PALETTE COLOR";
    v.position = "";
    out.push_back(v);
  }
  {
    Variant v = s16;
    v.name = "pet";
    v.modality = "PT";
    v.slope = 0.25;
    v.intercept = 0;
    v.hasWindow = false;
    v.pet = true;
    v.xfer = Xfer::ILE;
    out.push_back(v);
  }
  return out;
}

const Variant* findVariant(const std::string& name) {
  static const std::vector<Variant> all = allVariants();
  for (const auto& v : all)
    if (v.name == name) return &v;
  return nullptr;
}

Series writeSeries(const std::string& dir, const Variant& v, int width, int height, int slices) {
  makeDirs(dir);
  Series s;
  s.variant = v;
  s.width = width;
  s.height = height;
  s.slices = v.frames > 1 ? 1 : slices;
  for (int z = 0; z < s.slices; ++z) {
    DcmFileFormat ff;
    buildDataset(*ff.getDataset(), v, width, height, z, s.slices);
    // Shuffled names: the order of names differs from the order of slices.
    int k = v.shuffledNames ? static_cast<int>(fnv64(v.name + std::to_string(z)) % 100000) : z;
    char name[64];
    std::snprintf(name, sizeof name, "%s_%05d.dcm", v.name.c_str(), k);
    std::string path = dir + "/" + name;
    save(ff, v, path);
    s.files.push_back(path);
    s.zPositions.push_back(zPosition(v, z));
  }
  return s;
}

std::vector<Broken> writeBroken(const std::string& dir) {
  makeDirs(dir);
  std::vector<Broken> out;
  Variant base = *findVariant("ct_s16");
  Series s = writeSeries(dir + "/base", base, 64, 48, 1);
  const std::string good = readBytes(s.files[0]);
  auto add = [&](const std::string& name, const std::string& bytes, const std::string& what, bool header) {
    std::string p = dir + "/" + name;
    writeBytes(p, bytes);
    out.push_back({p, what, header});
  };
  add("empty.dcm", "", "empty file", false);
  add("text.txt", "This is a plain text file, not DICOM.\nSecond line.\n", "text file", false);
  add("image.png",
      std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0\x90\x91h6", 33),
      "PNG file", false);
  add("truncated_half.dcm", good.substr(0, good.size() / 2), "truncated at half", false);
  add("truncated_header.dcm", good.substr(0, 200), "truncated inside the header", false);
  {
    std::string b(128, '\0');
    b += "DICM";
    uint32_t r = 12345;
    for (int i = 0; i < 4000; ++i) {
      r = r * 1103515245u + 12345u;
      b.push_back(static_cast<char>(r >> 16));
    }
    add("garbage_after_preamble.dcm", b, "garbage after the preamble", false);
  }
  {
    std::string b = good;
    putLe32(b, pixelTagOffset(b) + 8, static_cast<uint32_t>(good.size() + 1000) & ~1u);
    add("pixel_len_beyond_eof.dcm", b, "pixel data length beyond the end of file", false);
  }
  {
    std::string b = good;
    putLe32(b, pixelTagOffset(b) + 8, 0x80000000u);
    add("pixel_len_2g.dcm", b, "pixel data length 2^31", false);
  }
  {
    // Patient's Name (0010,0010) PN with a 16-bit length running past its end.
    std::string b = good;
    size_t at = b.find(std::string("\x10\x00\x10\x00PN", 6));
    if (at != std::string::npos) {
      b[at + 6] = '\xF0';
      b[at + 7] = '\x7F';
      add("name_len_wrong.dcm", b, "element length running into the next elements", false);
    }
  }
  {
    DcmFileFormat ff;
    buildDataset(*ff.getDataset(), base, 64, 48, 0, 1);
    std::vector<Uint16> half(64 * 24, 100);
    ff.getDataset()->putAndInsertUint16Array(DCM_PixelData, half.data(), half.size());
    std::string p = dir + "/short_pixels.dcm";
    check(ff.saveFile(p.c_str(), EXS_LittleEndianExplicit), "short");
    out.push_back({p, "pixel data shorter than rows x columns", true});
  }
  {
    DcmFileFormat ff;
    buildDataset(*ff.getDataset(), base, 64, 48, 0, 1);
    ff.getDataset()->putAndInsertString(DCM_NumberOfFrames, "99999");
    std::string p = dir + "/frames_huge.dcm";
    check(ff.saveFile(p.c_str(), EXS_LittleEndianExplicit), "frames");
    out.push_back({p, "Number of Frames far beyond the pixel data", true});
  }
  {
    DcmFileFormat ff;
    buildDataset(*ff.getDataset(), base, 64, 48, 0, 1);
    ff.getDataset()->putAndInsertUint16(DCM_Rows, 0);
    std::string p = dir + "/rows_zero.dcm";
    check(ff.saveFile(p.c_str(), EXS_LittleEndianExplicit), "rows");
    out.push_back({p, "Rows 0", true});
  }
  {
    DcmFileFormat ff;
    buildDataset(*ff.getDataset(), base, 64, 48, 0, 1);
    ff.getDataset()->putAndInsertUint16(DCM_BitsAllocated, 32);
    ff.getDataset()->putAndInsertUint16(DCM_BitsStored, 32);
    ff.getDataset()->putAndInsertUint16(DCM_HighBit, 31);
    std::string p = dir + "/bits32.dcm";
    check(ff.saveFile(p.c_str(), EXS_LittleEndianExplicit), "bits32");
    out.push_back({p, "32-bit samples", true});
  }
  {
    // A JPEG lossless file whose code stream is cut short.
    Variant v = *findVariant("ct_jpll");
    Series js = writeSeries(dir + "/jpll", v, 64, 48, 1);
    std::string b = readBytes(js.files[0]);
    size_t at = b.rfind(std::string("\xFF\xD8", 2));
    if (at != std::string::npos && at + 80 < b.size()) {
      for (size_t i = at + 60; i < b.size() - 16; ++i) b[i] = static_cast<char>(0xA5 ^ i);
      add("jpll_corrupt.dcm", b, "JPEG lossless code stream overwritten", false);
    }
  }
  {
    std::string frag("\xFF\x4F\xFF\x51", 4);
    for (int i = 0; i < 300; ++i) frag.push_back(static_cast<char>(i * 7));
    std::string p = dir + "/j2k_garbage.dcm";
    writeEncapsulated(p, EXS_JPEG2000LosslessOnly, frag);
    out.push_back({p, "JPEG 2000 transfer syntax with a garbage code stream", true});
  }
  {
    std::string frag(64, '\x42');
    std::string p = dir + "/mpeg4.dcm";
    writeEncapsulated(p, EXS_MPEG4HighProfileLevel4_1, frag);
    out.push_back({p, "MPEG-4 video (no decoder)", true});
    // The same file announcing High-Throughput JPEG 2000, which this DCMTK does
    // not know at all (both UIDs have the same length).
    std::string b = readBytes(p);
    const std::string from = "1.2.840.10008.1.2.4.102", to = "1.2.840.10008.1.2.4.201";
    size_t at = b.find(from);
    if (at != std::string::npos) {
      b.replace(at, from.size(), to);
      add("htj2k.dcm", b, "HTJ2K transfer syntax (no decoder)", true);
    }
  }
  for (auto& b : writeHostile(dir + "/hostile")) out.push_back(b);
  return out;
}

void writeTagged(const std::string& path, const std::vector<std::pair<uint32_t, std::string>>& elements,
                 int width, int height) {
  Variant v = *findVariant("ct_s16");
  DcmFileFormat ff;
  DcmDataset* d = ff.getDataset();
  buildDataset(*d, v, width, height, 0, 1);
  for (const auto& [key, value] : elements) {
    DcmTagKey k(static_cast<Uint16>(key >> 16), static_cast<Uint16>(key & 0xFFFF));
    if (value.empty()) {
      d->findAndDeleteElement(k);
      continue;
    }
    DcmTag tag(k);
    if (tag.getEVR() == EVR_UNKNOWN || tag.getEVR() == EVR_UN) tag.setVR(EVR_LO);
    DcmElement* el = nullptr;
    if (DcmItem::newDicomElementWithVR(el, tag).bad() || !el) throw std::runtime_error("cannot create element");
    if (el->putString(value.c_str(), static_cast<Uint32>(value.size())).bad() || d->insert(el, OFTrue).bad()) {
      delete el;
      throw std::runtime_error("cannot set element");
    }
  }
  check(ff.saveFile(path.c_str(), EXS_LittleEndianExplicit), "saving " + path);
}

}  // namespace dcmfixtures
