// Loading DICOM files defensively and reading element values as text.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "dcmsdk/src/internal.h"

namespace dcmSDK::detail {

namespace {

// Elements read into memory at parse time; longer values stay on disk until
// they are asked for.
constexpr Uint32 kMaxReadLength = 4096;

bool readHead(const char* path, unsigned char* buf, size_t n, size_t& got) {
  FILE* fp = std::fopen(path, "rb");
  if (!fp) return false;
  got = std::fread(buf, 1, n, fp);
  std::fclose(fp);
  return true;
}

// Offset of the dataset: after the meta group (explicit VR little endian)
// that follows "DICM", or 0 without preamble. n when it cannot be told.
size_t datasetStart(const unsigned char* b, size_t n, bool hasPreamble) {
  if (!hasPreamble) return 0;
  size_t pos = 132;
  while (pos + 8 <= n && b[pos] == 0x02 && b[pos + 1] == 0x00) {
    const std::string vr(reinterpret_cast<const char*>(b + pos + 4), 2);
    const bool longForm = vr == "OB" || vr == "OW" || vr == "UN" || vr == "SQ" || vr == "UT";
    size_t len, value;
    if (longForm) {
      if (pos + 12 > n) return n;
      len = b[pos + 8] | (b[pos + 9] << 8) | (size_t(b[pos + 10]) << 16) | (size_t(b[pos + 11]) << 24);
      value = pos + 12;
    } else {
      len = b[pos + 6] | (b[pos + 7] << 8);
      value = pos + 8;
    }
    if (len > n - value) return n;
    pos = value + len;
  }
  return pos;
}

// A DICOMDIR, or anything holding a Directory Record Sequence near its start:
// a dataset beginning with group 0004, or the sequence's tag followed by "SQ"
// in the first bytes (either byte order).
bool holdsDirectoryRecords(const unsigned char* b, size_t n, bool hasPreamble) {
  const size_t at = datasetStart(b, n, hasPreamble);
  if (at + 2 <= n && ((b[at] == 0x04 && b[at + 1] == 0x00) || (b[at] == 0x00 && b[at + 1] == 0x04))) return true;
  static const unsigned char kLe[] = {0x04, 0x00, 0x20, 0x12, 'S', 'Q'};
  static const unsigned char kBe[] = {0x00, 0x04, 0x12, 0x20, 'S', 'Q'};
  return memmem(b, n, kLe, sizeof kLe) != nullptr || memmem(b, n, kBe, sizeof kBe) != nullptr;
}

}  // namespace

std::unique_ptr<LoadedFile> loadDicomFile(const char* path, std::string& err) {
  ensureInit();
  if (isDestroyed()) {
    err = "the DICOM library has ended";
    return nullptr;
  }
  if (!path || !*path) {
    err = "no file name";
    return nullptr;
  }
  struct stat st;
  if (stat(path, &st) != 0) {
    err = std::string(path) + ": " + std::strerror(errno);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    err = std::string(path) + ": not a regular file";
    return nullptr;
  }
  // Enough of the file to find where its dataset starts and what it holds.
  std::vector<unsigned char> head(65536);
  size_t got = 0;
  if (!readHead(path, head.data(), head.size(), got)) {
    err = std::string(path) + ": " + std::strerror(errno);
    return nullptr;
  }
  bool hasPreamble = got >= 132 && std::memcmp(head.data() + 128, "DICM", 4) == 0;
  if (!hasPreamble) {
    // Files without preamble are accepted only when they start like a
    // dataset: a tag of the command, meta or identifying groups, in either
    // byte order.
    unsigned le = got >= 8 ? head[0] | (head[1] << 8) : 0xFFFF;
    unsigned be = got >= 8 ? (head[0] << 8) | head[1] : 0xFFFF;
    auto plausible = [](unsigned group) { return group >= 0x0002 && group <= 0x0008; };
    if (!plausible(le) && !plausible(be)) {
      err = std::string(path) + ": not a DICOM file";
      return nullptr;
    }
  }
  auto f = std::make_unique<LoadedFile>();
  f->ff = std::make_unique<DcmFileFormat>();
  f->path = path;
  f->fileSize = static_cast<uint64_t>(st.st_size);
  OFCondition c;
  try {
    // The records of a DICOMDIR are left unparsed: nothing here needs them,
    // and the toolkit's record parser throws (and leaks) on damaged ones.
    // Should the check have misjudged an image, it is read again in full.
    const bool directory = holdsDirectoryRecords(head.data(), got, hasPreamble);
    if (directory)
      c = f->ff->loadFileUntilTag(path, EXS_Unknown, EGL_noChange, kMaxReadLength, ERM_autoDetect,
                                  DCM_DirectoryRecordSequence);
    if (!directory || (c.good() && f->ds() && f->ds()->card() == 0)) {
      f->ff = std::make_unique<DcmFileFormat>();
      c = f->ff->loadFile(path, EXS_Unknown, EGL_noChange, kMaxReadLength, ERM_autoDetect);
    }
  } catch (const std::exception& e) {
    err = std::string(path) + ": malformed data, the file cannot be parsed (" + e.what() + ")";
    return nullptr;
  }
  if (c.bad()) {
    std::string mismatch = encodingMismatch(path, f->fileSize);
    if (!mismatch.empty()) {
      err = std::string(path) + ": " + mismatch;
      return nullptr;
    }
  }
  if (c == EC_StreamNotifyClient) {
    err = std::string(path) + ": truncated, or an element length runs past the end of the file";
    return nullptr;
  }
  if (c.bad()) {
    err = std::string(path) + ": cannot be parsed (" + c.text() + ")";
    return nullptr;
  }
  DcmDataset* ds = f->ds();
  if (!ds || ds->card() == 0) {
    err = std::string(path) + ": holds no DICOM dataset";
    return nullptr;
  }
  return f;
}

std::string exceptionText(const char* during) {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return std::string("out of memory while ") + during;
  } catch (const std::exception& e) {
    return std::string(during) + " failed on malformed data (" + e.what() + ")";
  } catch (...) {
    return std::string(during) + " failed";
  }
}

bool lengthFits(const LoadedFile& f, DcmElement* el) {
  // Values already in memory (decoded, or read at parse time) are real; only
  // values still on disk can claim more bytes than the file holds.
  return el && (el->valueLoaded() || static_cast<uint64_t>(el->getLengthField()) <= f.fileSize);
}

bool elementText(LoadedFile& f, DcmItem& item, const DcmTagKey& key, std::string& raw,
                 bool& isBinaryText) {
  isBinaryText = false;
  DcmElement* el = nullptr;
  if (item.findAndGetElement(key, el, OFFalse).bad() || !el) return false;
  raw.clear();
  if (el->getLengthField() == DCM_UndefinedLength || !lengthFits(f, el)) return true;
  DcmEVR vr = el->ident();
  if (vr == EVR_SQ || vr == EVR_pixelSQ || vr == EVR_PixelData || vr == EVR_OverlayData) return true;
  if (vr == EVR_UN || vr == EVR_UNKNOWN || vr == EVR_UNKNOWN2B || vr == EVR_OB || vr == EVR_ox) {
    // Private values read in implicit VR (or stored as OB) are often text:
    // hand them out as such rather than as hex bytes.
    Uint8* bytes = nullptr;
    unsigned long n = el->getLength();
    if (el->getUint8Array(bytes).good() && bytes) {
      bool printable = true;
      for (unsigned long i = 0; i < n && printable; ++i)
        printable = (bytes[i] >= 0x20 && bytes[i] < 0x7F) || bytes[i] == 0;
      if (printable) {
        raw.assign(reinterpret_cast<const char*>(bytes), n);
        raw = raw.substr(0, raw.find('\0'));
        while (!raw.empty() && raw.back() == ' ') raw.pop_back();
        isBinaryText = true;
        return true;
      }
    }
  }
  OFString v;
  if (el->getOFStringArray(v, OFTrue).good()) raw.assign(v.c_str(), v.length());
  while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0')) raw.pop_back();
  return true;
}

namespace {

// Functional group macro sequence that holds an element of an enhanced
// multi-frame image in place of the top-level one.
bool functionalGroupMacro(const DcmTagKey& key, DcmTagKey& macro) {
  static const struct {
    DcmTagKey element, sequence;
  } kMacros[] = {
      {DCM_PixelSpacing, DCM_PixelMeasuresSequence},
      {DCM_SliceThickness, DCM_PixelMeasuresSequence},
      {DCM_SpacingBetweenSlices, DCM_PixelMeasuresSequence},
      {DCM_ImagePositionPatient, DCM_PlanePositionSequence},
      {DCM_ImageOrientationPatient, DCM_PlaneOrientationSequence},
      {DCM_RescaleIntercept, DCM_PixelValueTransformationSequence},
      {DCM_RescaleSlope, DCM_PixelValueTransformationSequence},
      {DCM_RescaleType, DCM_PixelValueTransformationSequence},
      {DCM_WindowCenter, DCM_FrameVOILUTSequence},
      {DCM_WindowWidth, DCM_FrameVOILUTSequence},
      {DCM_WindowCenterWidthExplanation, DCM_FrameVOILUTSequence},
  };
  for (const auto& m : kMacros)
    if (m.element == key) {
      macro = m.sequence;
      return true;
    }
  return false;
}

}  // namespace

bool readTagUtf8(LoadedFile& f, uint16_t group, uint16_t element, std::string& out) {
  out.clear();
  DcmDataset* ds = f.ds();
  if (!ds) return false;
  DcmTagKey key(group, element);
  std::string raw;
  bool binText = false;
  DcmItem* where = ds;
  if (group == 0x0002 && f.ff->getMetaInfo()) where = f.ff->getMetaInfo();
  bool found = elementText(f, *where, key, raw, binText);
  if (!found && where == f.ds() && group == 0x0018 && element >= 0x1070 && element <= 0x1079) {
    // Radiopharmaceutical details live in the first item of the
    // Radiopharmaceutical Information Sequence; only these are searched there,
    // so values of unrelated nested items never leak out.
    DcmItem* item = nullptr;
    if (f.ds()->findAndGetSequenceItem(DcmTagKey(0x0054, 0x0016), item, 0).good() && item) {
      found = elementText(f, *item, key, raw, binText);
      where = item;
    }
  }
  DcmTagKey macro;
  if (!found && where == f.ds() && functionalGroupMacro(key, macro)) {
    // Enhanced multi-frame images keep these in functional groups: the
    // shared ones, else those of the first frame.
    for (const DcmTagKey& groups : {DCM_SharedFunctionalGroupsSequence, DCM_PerFrameFunctionalGroupsSequence}) {
      DcmItem* fg = nullptr;
      DcmItem* item = nullptr;
      if (f.ds()->findAndGetSequenceItem(groups, fg, 0).good() && fg &&
          fg->findAndGetSequenceItem(macro, item, 0).good() && item && elementText(f, *item, key, raw, binText)) {
        found = true;
        where = item;
        break;
      }
    }
  }
  if (!found) return false;
  bool pn = false;
  DcmElement* el = nullptr;
  if (where->findAndGetElement(key, el, OFFalse).good() && el) pn = el->ident() == EVR_PN;
  out = toUtf8(f, raw, pn);
  return true;
}

bool readFrameTagUtf8(LoadedFile& f, int frame, uint16_t group, uint16_t element, std::string& out) {
  out.clear();
  DcmDataset* ds = f.ds();
  DcmItem* fg = nullptr;
  if (!ds || frame < 0 ||
      ds->findAndGetSequenceItem(DCM_PerFrameFunctionalGroupsSequence, fg, frame).bad() || !fg)
    return false;
  const DcmTagKey key(group, element);
  for (unsigned long i = 0; i < fg->card(); ++i) {
    DcmElement* el = fg->getElement(i);
    if (!el || el->ident() != EVR_SQ) continue;
    DcmItem* item = static_cast<DcmSequenceOfItems*>(el)->getItem(0);
    std::string raw;
    bool binText = false;
    if (!item || !elementText(f, *item, key, raw, binText)) continue;
    DcmElement* value = nullptr;
    const bool pn = item->findAndGetElement(key, value, OFFalse).good() && value && value->ident() == EVR_PN;
    out = toUtf8(f, raw, pn);
    return true;
  }
  return false;
}

bool isJpeg2000(E_TransferSyntax xs) {
  return xs == EXS_JPEG2000LosslessOnly || xs == EXS_JPEG2000 ||
         xs == EXS_JPEG2000MulticomponentLosslessOnly || xs == EXS_JPEG2000Multicomponent;
}

std::string xferName(E_TransferSyntax xs) {
  DcmXfer x(xs);
  std::string s = x.getXferName();
  if (x.getXferID() && *x.getXferID()) s += std::string(" (") + x.getXferID() + ")";
  return s;
}

}  // namespace dcmSDK::detail
