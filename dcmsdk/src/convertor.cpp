// dcmConvertor: a secondary-capture DICOM file written from 16-bit pixels.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

#include "dcmsdk/src/internal.h"

namespace dcmSDK {

using namespace detail;

namespace {

bool terminated(const char* field, size_t size) { return std::memchr(field, '\0', size) != nullptr; }

bool validUidSyntax(const char* uid) {
  size_t n = std::strlen(uid);
  if (n == 0) return true;  // not given
  if (n > 64 || uid[0] == '.' || uid[n - 1] == '.') return false;
  for (size_t i = 0; i < n; ++i) {
    char c = uid[i];
    if (c == '.') {
      if (uid[i + 1] == '.' || (uid[i + 1] == '0' && i + 2 < n && uid[i + 2] != '.')) return false;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return uid[0] != '0' || n == 1 || uid[1] == '.';
}

// "2.25." followed by a random 128-bit number: unique without an org root.
std::string newUid() {
  std::random_device rd;
  unsigned __int128 v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 32) | rd();
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v);
  return "2.25." + digits;
}

// Decimal string of at most 16 characters, at the precision of a float.
std::string ds(double v) {
  if (!std::isfinite(v)) v = 0;
  char buf[64];
  for (int prec = 7; prec > 0; --prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, v);
    if (std::strlen(buf) <= 16) break;
  }
  return buf;
}

bool isIntegerString(const char* s) {
  if (!*s) return false;
  const char* p = s;
  if (*p == '-' || *p == '+') ++p;
  if (!*p) return false;
  for (; *p; ++p)
    if (*p < '0' || *p > '9') return false;
  return std::strlen(s) <= 12;
}

void copyElement(DcmDataset& from, DcmDataset& to, const DcmTagKey& key) {
  DcmElement* el = nullptr;
  if (from.findAndGetElement(key, el, OFFalse).good() && el) {
    if (auto* copy = OFstatic_cast(DcmElement*, el->clone())) {
      if (to.insert(copy, OFTrue).bad()) delete copy;
    }
  }
}

}  // namespace

bool dcmConvertor::convert(PIXEL_Mem_ConvertorData& rec) {
  try {
    if (!terminated(rec.outPath, sizeof rec.outPath) || !terminated(rec.srcPath, sizeof rec.srcPath) ||
        !terminated(rec.uid1, sizeof rec.uid1) || !terminated(rec.uid2, sizeof rec.uid2) ||
        !terminated(rec.t1, sizeof rec.t1) || !terminated(rec.t2, sizeof rec.t2) ||
        !terminated(rec.t3, sizeof rec.t3)) {
      logLine("convert: a text field of the record is not terminated");
      return false;
    }
    if (!rec.pixels || rec.rows < 1 || rec.rows > 65535 || rec.cols < 1 || rec.cols > 65535 || !rec.outPath[0]) {
      logLine("convert: record without pixels, size or output path");
      return false;
    }
    if (!validUidSyntax(rec.uid1) || !validUidSyntax(rec.uid2)) {
      logLine("convert: invalid UID in the record");
      return false;
    }
    std::string err;
    std::unique_ptr<LoadedFile> src = loadDicomFile(rec.srcPath, err);
    if (!src) {
      logLine("convert: " + err);
      return false;
    }
    DcmFileFormat ff;
    DcmDataset& out = *ff.getDataset();
    DcmDataset& in = *src->ds();
    static const DcmTagKey kCopied[] = {
        DCM_SpecificCharacterSet, DCM_PatientName, DCM_PatientID, DCM_PatientBirthDate, DCM_PatientSex,
        DCM_PatientSize, DCM_PatientWeight, DCM_PatientAge, DCM_StudyInstanceUID, DCM_StudyDate,
        DCM_StudyTime, DCM_AccessionNumber, DCM_ReferringPhysicianName, DCM_StudyDescription,
        DCM_StudyID, DCM_Modality, DCM_InstitutionName, DCM_FrameOfReferenceUID, DCM_PatientPosition};
    for (const auto& key : kCopied) copyElement(in, out, key);

    const std::string seriesUid = newUid(), sopUid = newUid();
    std::time_t now = std::time(nullptr);
    std::tm tmv;
    localtime_r(&now, &tmv);
    char date[16], tod[16];
    std::strftime(date, sizeof date, "%Y%m%d", &tmv);
    std::strftime(tod, sizeof tod, "%H%M%S", &tmv);

    bool ok = true;
    auto put = [&](const DcmTagKey& k, const std::string& v) { ok = ok && out.putAndInsertString(k, v.c_str()).good(); };
    auto put16 = [&](const DcmTagKey& k, Uint16 v) { ok = ok && out.putAndInsertUint16(k, v).good(); };
    put(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
    put(DCM_SOPInstanceUID, sopUid);
    put(DCM_SeriesInstanceUID, seriesUid);
    if (!out.tagExists(DCM_StudyInstanceUID)) put(DCM_StudyInstanceUID, newUid());
    if (!out.tagExists(DCM_Modality)) put(DCM_Modality, "OT");
    put(DCM_ConversionType, "WSD");
    put(DCM_InstanceCreationDate, date);
    put(DCM_InstanceCreationTime, tod);
    put(DCM_ContentDate, date);
    put(DCM_ContentTime, tod);
    put(DCM_SeriesDate, date);
    put(DCM_SeriesTime, tod);
    if (isIntegerString(rec.t1)) put(DCM_InstanceNumber, rec.t1);
    if (isIntegerString(rec.t2)) put(DCM_AcquisitionNumber, rec.t2);
    if (isIntegerString(rec.t3)) put(DCM_SeriesNumber, rec.t3);

    int stored = rec.highBit >= 0 && rec.highBit <= 15 ? rec.highBit + 1 : 16;
    put16(DCM_Rows, static_cast<Uint16>(rec.rows));
    put16(DCM_Columns, static_cast<Uint16>(rec.cols));
    put16(DCM_SamplesPerPixel, 1);
    put(DCM_PhotometricInterpretation, "MONOCHROME2");
    put16(DCM_BitsAllocated, 16);
    put16(DCM_BitsStored, static_cast<Uint16>(stored));
    put16(DCM_HighBit, static_cast<Uint16>(stored - 1));
    put16(DCM_PixelRepresentation, rec.signedFlag ? 1 : 0);
    put(DCM_WindowCenter, ds(rec.windowCenter));
    put(DCM_WindowWidth, ds(rec.windowWidth > 0 ? rec.windowWidth : 1));
    put(DCM_RescaleIntercept, ds(rec.intercept));
    put(DCM_RescaleSlope, ds(rec.slope != 0 && std::isfinite(rec.slope) ? rec.slope : 1));
    if (rec.spacingX > 0 && rec.spacingY > 0)
      put(DCM_PixelSpacing, ds(rec.spacingY) + "\\" + ds(rec.spacingX));
    put(DCM_ImagePositionPatient, ds(rec.pos[0]) + "\\" + ds(rec.pos[1]) + "\\" + ds(rec.pos[2]));
    put(DCM_ImageOrientationPatient, ds(rec.rowDir[0]) + "\\" + ds(rec.rowDir[1]) + "\\" + ds(rec.rowDir[2]) +
                                         "\\" + ds(rec.colDir[0]) + "\\" + ds(rec.colDir[1]) + "\\" +
                                         ds(rec.colDir[2]));
    const unsigned long n = static_cast<unsigned long>(rec.rows) * static_cast<unsigned long>(rec.cols);
    ok = ok && out.putAndInsertUint16Array(DCM_PixelData, rec.pixels, n).good();
    if (!ok) {
      logLine("convert: cannot build the dataset");
      return false;
    }

    std::string tmp = std::string(rec.outPath) + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
      logLine(std::string("convert: cannot create a file beside ") + rec.outPath);
      return false;
    }
    close(fd);
    OFCondition c = ff.saveFile(tmp.c_str(), EXS_LittleEndianExplicit, EET_ExplicitLength, EGL_recalcGL,
                                EPD_noChange, 0, 0, EWM_createNewMeta);
    if (c.bad() || std::rename(tmp.c_str(), rec.outPath) != 0) {
      unlink(tmp.c_str());
      logLine(std::string("convert: cannot write ") + rec.outPath + (c.bad() ? std::string(": ") + c.text() : ""));
      return false;
    }
    return access(rec.outPath, F_OK) == 0;
  } catch (...) {
    logLine("convert: failed");
    return false;
  }
}

}  // namespace dcmSDK
