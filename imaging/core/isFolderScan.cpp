#include "imaging/core/isFolderScan.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "imaging/core/isGeometry.h"
#include "imaging/core/isImageTypes.h"
#include "imaging/core/isPixelRules.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

struct isDcmScan::Reader {
  dcmSDK::dcmReader dcm;
};

namespace {

constexpr int kTagBufferSize = 1024;

void postProgress(int percent) {
  if (auto* centre = NSUI::NSNotificationCenter::getInstance())
    centre->postNotificationInt(nullptr, NOTIFY_ACTIVITY_PROGRESS, percent, nullptr, true);
}

std::string withSlash(const std::string& folder) {
  if (folder.empty() || folder.back() != '/') return folder + "/";
  return folder;
}

// Copies at most size - 1 bytes and a terminator.
void copyText(char* dst, size_t size, const std::string& text) {
  std::memset(dst, 0, size);
  std::memcpy(dst, text.data(), std::min(text.size(), size - 1));
}

int fieldAt(const std::string& s, size_t at, size_t len) {
  if (at >= s.size()) return 0;
  return std::atoi(s.substr(at, len).c_str());
}

void readDateTime(const std::string& dt, int32_t* out) {
  out[0] = fieldAt(dt, 0, 4);
  out[1] = fieldAt(dt, 4, 2);
  out[2] = fieldAt(dt, 6, 2);
  out[3] = fieldAt(dt, 8, 2);
  out[4] = fieldAt(dt, 10, 2);
  out[5] = fieldAt(dt, 12, 2);
}

struct Vec {
  double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double length(Vec a) { return std::sqrt(dot(a, a)); }

// Column c of the stored (row by row) matrix.
Vec column(const PrebinImageRecord& r, int c) { return {r.matrix[c], r.matrix[4 + c], r.matrix[8 + c]}; }
Vec positionOf(const PrebinImageRecord& r) { return column(r, 3); }

// The slice matrix stored row by row from an engine (column-major) matrix.
void storeMatrix(const cocos2d::Mat4& m, float* out) {
  for (int k = 0; k < 16; ++k) out[k] = m.m[(k % 4) * 4 + k / 4];
}

void nowFields(int32_t* out) {
  NSUI::DateTimeFields f;
  if (!NSUI::parseDateTime(NSUI::getCurrentTimeString(), f)) f = NSUI::DateTimeFields{};
  out[0] = f.year;
  out[1] = f.month;
  out[2] = f.day;
  out[3] = f.hour;
  out[4] = f.minute;
  out[5] = f.second;
}

PrebinHeader makeHeader(const char* kind, size_t count) {
  PrebinHeader h;
  std::memset(&h, 0, sizeof h);
  copyText(h.magic, sizeof h.magic, kPrebinMagic);
  copyText(h.version, sizeof h.version, kPrebinVersion);
  nowFields(h.time);
  copyText(h.kind, sizeof h.kind, kind);
  h.count = static_cast<int16_t>(count);
  return h;
}

template <typename T>
void append(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void appendNames(std::string& out, const std::vector<ScannedImage*>& records) {
  std::vector<std::string> names;
  names.reserve(records.size());
  for (const ScannedImage* r : records) names.push_back(r->name);
  const std::string text = joinNames(names);
  PrebinNameBlock block;
  std::memset(&block, 0, sizeof block);
  block.length = static_cast<int32_t>(text.size());
  append(out, block);
  out += text;
}

// Writes the bytes to a temporary file beside the target and renames it into
// place, so that the name never carries a partial file.
bool writeWhole(const std::string& path, const std::string& bytes) {
  static std::atomic<unsigned> counter{0};
  const std::string temp = path + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".part";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

bool distanceTooLarge(const PrebinImageRecord& first, const PrebinImageRecord& r) {
  // Perpendicular distance of r's position to the line through first's
  // position along first's normal.
  const Vec n = column(first, 2);
  const double nl = length(n);
  const Vec d = positionOf(r) - positionOf(first);
  if (!(nl > 0)) return length(d) > 0.01;
  const double along = dot(d, n) / nl;
  const double perp2 = dot(d, d) - along * along;
  return std::sqrt(std::max(0.0, perp2)) > 0.01;
}

bool matchesFirst(const PrebinImageRecord& a, const PrebinImageRecord& r) {
  if (a.columns != r.columns || a.rows != r.rows) return false;
  if (std::fabs(a.spacingX - r.spacingX) > 0.001f || std::fabs(a.spacingY - r.spacingY) > 0.001f) return false;
  if (a.positionCode != r.positionCode || a.feetFirstCode != r.feetFirstCode || a.modality != r.modality ||
      a.elementType != r.elementType)
    return false;
  for (int row = 0; row < 3; ++row)
    for (int c = 0; c < 3; ++c)
      if (std::fabs(a.matrix[row * 4 + c] - r.matrix[row * 4 + c]) > 0.0001f) return false;
  return !distanceTooLarge(a, r);
}

}  // namespace

isDcmScan::isDcmScan() : tagBuffer(new char[kTagBufferSize]), reader_(new Reader) {}

isDcmScan::~isDcmScan() {
  delete[] tagBuffer;
  delete reader_;
}

std::string isDcmScan::getCacheFileName(const std::string& folder) {
  cocos2d::FileUtils::getInstance()->createDirectory(getCacheFolder());
  const std::string path = cachePathForFolder(folder);
  return cocos2d::FileUtils::getInstance()->isFileExist(path) ? path : std::string();
}

bool isDcmScan::isValidCacheFile(const std::string& path) { return isValidPrebinFile(path); }

void isDcmScan::removeCache(const std::string& folder) {
  const std::string path = getCacheFileName(folder);
  if (path.empty()) return;
  std::remove(path.c_str());
  std::remove(rawPathForCache(path).c_str());
}

void isDcmScan::removeCacheOfFolder(const std::string& folder) {
  const std::string path = cachePathForFolder(folder);
  std::remove(path.c_str());
  std::remove(rawPathForCache(path).c_str());
}

bool isDcmScan::isExpired(const NSUI::DateTimeFields& created, const NSUI::DateTimeFields& now) {
  NSUI::DateTimeFields t = created;
  for (int i = 0; i < 7; ++i) {
    if (t.day < NSUI::daysInMonth(t.year, t.month)) {
      ++t.day;
    } else {
      t.day = 1;
      if (++t.month > 12) {
        t.month = 1;
        ++t.year;
      }
    }
  }
  const int32_t a[6] = {t.year, t.month, t.day, t.hour, t.minute, t.second};
  const int32_t b[6] = {now.year, now.month, now.day, now.hour, now.minute, now.second};
  for (int i = 0; i < 6; ++i)
    if (a[i] != b[i]) return a[i] < b[i];
  return true;  // equal: not later than now
}

void isDcmScan::clearExpiredCache() {
  NSUI::DateTimeFields now;
  if (!NSUI::parseDateTime(NSUI::getCurrentTimeString(), now)) return;
  std::vector<std::string> files;
  NSUI::listFiles(getCacheFolder(), files, true, true);
  for (const std::string& file : files) {
    if (file.size() < 4 || file.compare(file.size() - 4, 4, ".raw") != 0) continue;
    // Both times are local times of this machine.
    NSUI::DateTimeFields created;
    if (!NSUI::parseDateTime(NSUI::getFileCreationTime(file), created)) created = {1900, 1, 1, 0, 0, 0};
    if (!isExpired(created, now)) continue;
    std::remove(file.c_str());
    cocos2d::log("Clear Buffer:%s", file.c_str());
  }
}

bool isDcmScan::writeSeriesCache(const std::string& path, const std::vector<ScannedImage*>& records) {
  if (records.empty() || records.size() > 32767) return false;
  std::string bytes;
  bytes.reserve(sizeof(PrebinHeader) + records.size() * (sizeof(PrebinImageRecord) + 64) + 16);
  append(bytes, makeHeader("series", records.size()));
  for (const ScannedImage* r : records) append(bytes, r->record);
  appendNames(bytes, records);
  return writeWhole(path, bytes);
}

bool isDcmScan::writeVolumeCache(const std::string& path, const std::vector<ScannedImage*>& records) {
  if (records.size() < 2 || records.size() > 32767) return false;
  const PrebinImageRecord& f = records.front()->record;
  PrebinVolumeRecord v;
  std::memset(&v, 0, sizeof v);
  v.columns = f.columns;
  v.rows = f.rows;
  v.sliceCount = static_cast<int32_t>(records.size());
  v.spacingX = f.spacingX;
  v.spacingY = f.spacingY;
  double sum = 0;
  for (size_t i = 1; i < records.size(); ++i)
    sum += length(positionOf(records[i]->record) - positionOf(records[i - 1]->record));
  v.sliceSpacing = static_cast<float>(sum / static_cast<double>(records.size() - 1));
  v.positionCode = f.positionCode;
  v.feetFirstCode = f.feetFirstCode;
  std::memcpy(v.matrix, f.matrix, sizeof v.matrix);
  v.modality = f.modality;
  std::memcpy(v.institution, f.institution, sizeof v.institution);
  std::memcpy(v.seriesDescription, f.seriesDescription, sizeof v.seriesDescription);
  std::memcpy(v.seriesDateTime, f.seriesDateTime, sizeof v.seriesDateTime);
  std::memcpy(v.patientName, f.patientName, sizeof v.patientName);
  std::memcpy(v.patientId, f.patientId, sizeof v.patientId);
  v.sex = f.sex;
  std::memcpy(v.age, f.age, sizeof v.age);
  v.weight = f.weight;
  v.patientSize = f.patientSize;
  std::memcpy(v.studyId, f.studyId, sizeof v.studyId);
  std::memcpy(v.seriesNumber, f.seriesNumber, sizeof v.seriesNumber);
  v.elementType = f.elementType;
  v.windowWidth = f.windowWidth;
  v.windowCenter = f.windowCenter;
  v.reserved = 0;

  std::string bytes;
  bytes.reserve(sizeof(PrebinHeader) + sizeof v + records.size() * (sizeof(PrebinSliceRecord) + 64) + 16);
  append(bytes, makeHeader("volume", records.size()));
  append(bytes, v);
  for (const ScannedImage* image : records) {
    const PrebinImageRecord& r = image->record;
    PrebinSliceRecord s;
    std::memset(&s, 0, sizeof s);
    s.instanceNumber = r.instanceNumber;
    s.frameNumber = static_cast<uint16_t>(image->frameNumber);
    s.bitsAllocated = r.bitsAllocated;
    s.rescaleIntercept = r.rescaleIntercept;
    s.rescaleSlope = r.rescaleSlope;
    s.displayCode = r.displayCode;
    std::memcpy(s.petAcquisition, r.petAcquisition, sizeof s.petAcquisition);
    std::memcpy(s.petStart, r.petStart, sizeof s.petStart);
    s.petTimesValid = r.petTimesValid;
    s.halfLife = r.halfLife;
    s.decayCorrection = r.decayCorrection;
    s.decayFactor = r.decayFactor;
    s.totalDose = r.totalDose;
    s.units = r.units;
    s.privateScale = r.privateScale;
    append(bytes, s);
  }
  appendNames(bytes, records);
  return writeWhole(path, bytes);
}

bool isDcmScan::createCache(const std::string& folderIn) {
  const std::string folder = withSlash(folderIn);
  const std::string path = cachePathForFolder(folder);
  cocos2d::log("create buffer:%s", path.c_str());
  cocos2d::FileUtils::getInstance()->createDirectory(getCacheFolder());
  std::vector<std::string> files;
  NSUI::listFiles(folder, files, true, true);
  if (files.empty()) return false;
  postProgress(2);
  std::vector<std::string> names;
  names.reserve(files.size());
  const size_t n = files.size();
  for (size_t i = 0; i < n; ++i) {
    postProgress(static_cast<int>(static_cast<float>(i) * 10.0f / static_cast<float>(n) + 2.0f));
    const std::string& file = files[i];
    names.push_back(file.compare(0, folder.size(), folder) == 0 ? file.substr(folder.size()) : file);
  }
  const bool ok = scanFolder(folder, names);
  if (!ok) std::remove(path.c_str());
  return ok;
}

bool isDcmScan::readImage(const std::string& path, ScannedImage& out) {
  dcmSDK::dcmReader& r = reader_->dcm;
  if (!r.setFile(path.c_str())) return false;
  dcmSDK::dcmReader::PixelType pixelType;
  if (!r.readDicomPixelType(pixelType)) return false;
  unsigned short cols = 0, rows = 0, u16 = 0;
  if (!r.readDicomTagUint16(0x0028, 0x0011, cols) || !r.readDicomTagUint16(0x0028, 0x0010, rows)) return false;

  auto text = [&](unsigned short g, unsigned short e, std::string& value) {
    if (!r.readDicomTagString(g, e, tagBuffer, kTagBufferSize)) {
      value.clear();
      return false;
    }
    value = tagBuffer;
    return true;
  };
  auto number = [&](unsigned short g, unsigned short e, float fallback) {
    std::string t;
    return text(g, e, t) ? static_cast<float>(std::atof(t.c_str())) : fallback;
  };
  auto values = [&](unsigned short g, unsigned short e, size_t expected, double* v) {
    std::string t;
    if (!text(g, e, t)) return false;
    std::vector<std::string> parts;
    NSUI::splitString(t, "\\", parts);
    if (parts.size() != expected) return false;
    for (size_t i = 0; i < expected; ++i) v[i] = std::atof(parts[i].c_str());
    return true;
  };

  PrebinImageRecord& rec = out.record;
  std::memset(&rec, 0, sizeof rec);
  rec.frames = 1;
  rec.columns = cols;
  rec.rows = rows;
  std::string t;

  double spacing[2];
  if (values(0x0028, 0x0030, 2, spacing)) {
    rec.spacingX = static_cast<float>(spacing[1]);
    rec.spacingY = static_cast<float>(spacing[0]);
  } else {
    rec.spacingX = rec.spacingY = 1.0f;
  }
  if (text(0x0028, 0x0008, t)) {
    const int frames = std::atoi(t.c_str());
    rec.frames = static_cast<int16_t>(frames < 1 ? 1 : std::min(frames, 32767));
  }
  rec.modality = text(0x0008, 0x0060, t) ? modalityCode(t) : MODALITY_CT;
  if (text(0x0018, 0x5100, t)) {
    int pos = 0, feet = 0;
    parsePatientPosition(t, pos, feet);
    rec.positionCode = pos;
    rec.feetFirstCode = feet;
  } else {
    rec.positionCode = 0;
    const bool tomographic = rec.modality == MODALITY_CT || rec.modality == MODALITY_PT || rec.modality == MODALITY_MR;
    rec.feetFirstCode = tomographic ? ORIENTATION_NOT_GIVEN : HEAD_FIRST;
  }

  double position[3] = {0, 0, 0}, orientation[6] = {1, 0, 0, 0, 1, 0};
  const bool hasPosition = values(0x0020, 0x0032, 3, position);
  if (!hasPosition) position[0] = position[1] = position[2] = 0;
  const bool hasOrientation = values(0x0020, 0x0037, 6, orientation);
  if (!hasOrientation) {
    const double def[6] = {1, 0, 0, 0, 1, 0};
    std::memcpy(orientation, def, sizeof def);
  }
  rec.geometryValid = hasPosition && hasOrientation ? 1 : 0;
  storeMatrix(makeSliceMatrix(orientation, orientation + 3, position, rec.positionCode, rec.feetFirstCode),
              rec.matrix);

  if (text(0x0008, 0x0080, t)) copyText(rec.institution, sizeof rec.institution, t);
  if (text(0x0008, 0x103E, t)) copyText(rec.seriesDescription, sizeof rec.seriesDescription, t);
  std::string date, time;
  if (text(0x0008, 0x0021, date) && date.size() == 8) {
    rec.seriesDateTime[0] = fieldAt(date, 0, 4);
    rec.seriesDateTime[1] = fieldAt(date, 4, 2);
    rec.seriesDateTime[2] = fieldAt(date, 6, 2);
  }
  if (text(0x0008, 0x0031, time) && time.size() >= 6) {
    rec.seriesDateTime[3] = fieldAt(time, 0, 2);
    rec.seriesDateTime[4] = fieldAt(time, 2, 2);
    rec.seriesDateTime[5] = fieldAt(time, 4, 2);
  }
  if (text(0x0010, 0x0010, t)) copyText(rec.patientName, sizeof rec.patientName, t);
  if (text(0x0010, 0x0020, t)) copyText(rec.patientId, sizeof rec.patientId, t);
  if (text(0x0010, 0x0040, t)) rec.sex = t == "F" ? 'F' : t == "M" ? 'M' : 'U';
  if (text(0x0010, 0x1010, t)) copyText(rec.age, sizeof rec.age, t);
  rec.weight = number(0x0010, 0x1030, 0.0f);
  rec.patientSize = number(0x0010, 0x1020, 0.0f);
  if (text(0x0020, 0x0010, t)) copyText(rec.studyId, sizeof rec.studyId, t);
  if (text(0x0020, 0x0011, t)) copyText(rec.seriesNumber, sizeof rec.seriesNumber, t);
  out.hasInstanceNumber = text(0x0020, 0x0013, t);
  out.instanceNumber = out.hasInstanceNumber ? std::atoi(t.c_str()) : 0;
  rec.instanceNumber = static_cast<int16_t>(out.instanceNumber);

  rec.bitsAllocated = r.readDicomTagUint16(0x0028, 0x0100, u16) ? u16 : 8;
  rec.rescaleIntercept = number(0x0028, 0x1052, 0.0f);
  rec.rescaleSlope = number(0x0028, 0x1053, 1.0f);
  const int representation = r.readDicomTagUint16(0x0028, 0x0103, u16) ? (u16 > 1 ? 1 : u16) : 0;
  rec.displayCode = representation + (text(0x0028, 0x0004, t) && t == "MONOCHROME1" ? 2 : 0);
  const bool pet = rec.modality == MODALITY_PT;
  rec.windowWidth = number(0x0028, 0x1051, pet ? 20000.0f : 255.0f);
  rec.windowCenter = number(0x0028, 0x1050, pet ? 10000.0f : 128.0f);
  rec.reserved = 0;

  if (pet) {
    rec.petTimesValid = 1;
    bool found = false;
    std::string dt;
    if (text(0x0008, 0x002A, dt) && dt.size() >= 14) {
      readDateTime(dt, rec.petAcquisition);
      found = true;
    } else {
      static const unsigned short pairs[3][2] = {{0x0022, 0x0032}, {0x0021, 0x0031}, {0x0020, 0x0030}};
      for (const auto& p : pairs) {
        if (text(0x0008, p[0], date) && text(0x0008, p[1], time) && date.size() == 8 && time.size() >= 6) {
          readDateTime(date + time.substr(0, 6), rec.petAcquisition);
          found = true;
          break;
        }
      }
    }
    if (!found) {
      std::memset(rec.petAcquisition, 0, sizeof rec.petAcquisition);
      rec.petAcquisition[0] = 1900;
      rec.petTimesValid = 0;
    }
    if (text(0x0018, 0x1078, dt) && dt.size() >= 14) {
      readDateTime(dt, rec.petStart);
    } else if (text(0x0018, 0x1072, t) && t.size() >= 6) {
      std::memcpy(rec.petStart, rec.petAcquisition, sizeof rec.petStart);
      rec.petStart[3] = fieldAt(t, 0, 2);
      rec.petStart[4] = fieldAt(t, 2, 2);
      rec.petStart[5] = fieldAt(t, 4, 2);
    } else {
      rec.petTimesValid = 0;
    }
    rec.halfLife = number(0x0018, 0x1075, 0.0f);
    if (text(0x0054, 0x1102, t))
      rec.decayCorrection = t == "ADMIN" ? DECAY_ADMIN : t == "START" ? DECAY_START : t == "NONE" ? DECAY_NONE
                                                                                                : DECAY_OTHER;
    else
      rec.decayCorrection = DECAY_OTHER;
    rec.decayFactor = number(0x0054, 0x1321, 0.0f);
    rec.totalDose = number(0x0018, 0x1074, 0.0f);
    if (text(0x0054, 0x1001, t))
      rec.units = t == "BQML" ? UNITS_BQML : t == "CNTS" ? UNITS_CNTS : UNITS_OTHER;
    else
      rec.units = UNITS_OTHER;
    rec.privateScale = number(0x7053, 0x1000, 0.0f);
  }
  if (text(0x0018, 0x0022, t)) copyText(rec.scanOptions, sizeof rec.scanOptions, t);
  rec.triggerTime = r.readDicomTagUint16(0x0018, 0x1060, u16) ? u16 : 0;
  rec.rrIntervalCount = r.readDicomTagUint16(0x0054, 0x0061, u16) ? u16 : 0;
  rec.timeSlotCount = r.readDicomTagUint16(0x0054, 0x0071, u16) ? u16 : 0;
  rec.sliceCountPerVolume = r.readDicomTagUint16(0x0054, 0x0081, u16) ? u16 : 0;
  rec.timeSliceCount = r.readDicomTagUint16(0x0054, 0x0101, u16) ? u16 : 0;

  const int elementType = decideElementType(rec.bitsAllocated, static_cast<int>(pixelType), rec.modality,
                                            rec.rescaleSlope, rec.rescaleIntercept, rec.displayCode);
  if (elementType < 0) return false;
  rec.elementType = elementType;

  // Frames that carry their own position (Per-frame Functional Groups): one
  // record each, with the frame's own orientation, spacing, rescale and
  // window where it has them and the image's otherwise.
  out.frameRecords.clear();
  if (rec.frames > 1 && hasOrientation) {
    auto frameText = [&](int frame, unsigned short g, unsigned short e, std::string& value) {
      if (!r.readDicomFrameTagString(frame, g, e, tagBuffer, kTagBufferSize)) return false;
      value = tagBuffer;
      return true;
    };
    auto frameValues = [&](int frame, unsigned short g, unsigned short e, size_t expected, double* v) {
      std::string ft;
      if (!frameText(frame, g, e, ft)) return false;
      std::vector<std::string> parts;
      NSUI::splitString(ft, "\\", parts);
      if (parts.size() != expected) return false;
      for (size_t i = 0; i < expected; ++i) v[i] = std::atof(parts[i].c_str());
      return true;
    };
    std::vector<PrebinImageRecord> frames;
    for (int k = 0; k < rec.frames; ++k) {
      double framePosition[3], frameOrientation[6], frameSpacing[2];
      if (!frameValues(k, 0x0020, 0x0032, 3, framePosition)) {
        frames.clear();
        break;
      }
      frames.push_back(rec);
      PrebinImageRecord& f = frames.back();
      if (!frameValues(k, 0x0020, 0x0037, 6, frameOrientation))
        std::memcpy(frameOrientation, orientation, sizeof frameOrientation);
      if (frameValues(k, 0x0028, 0x0030, 2, frameSpacing)) {
        f.spacingX = static_cast<float>(frameSpacing[1]);
        f.spacingY = static_cast<float>(frameSpacing[0]);
      }
      if (frameText(k, 0x0028, 0x1052, t)) f.rescaleIntercept = static_cast<float>(std::atof(t.c_str()));
      if (frameText(k, 0x0028, 0x1053, t)) f.rescaleSlope = static_cast<float>(std::atof(t.c_str()));
      if (frameText(k, 0x0028, 0x1050, t)) f.windowCenter = static_cast<float>(std::atof(t.c_str()));
      if (frameText(k, 0x0028, 0x1051, t)) f.windowWidth = static_cast<float>(std::atof(t.c_str()));
      f.frames = 1;
      f.geometryValid = 1;
      f.instanceNumber = static_cast<int16_t>(k + 1);
      storeMatrix(makeSliceMatrix(frameOrientation, frameOrientation + 3, framePosition, f.positionCode,
                                  f.feetFirstCode),
                  f.matrix);
      f.elementType = decideElementType(f.bitsAllocated, static_cast<int>(pixelType), f.modality, f.rescaleSlope,
                                        f.rescaleIntercept, f.displayCode);
    }
    out.frameRecords = std::move(frames);
  }
  return true;
}

bool isDcmScan::scanFolder(const std::string& folderIn, const std::vector<std::string>& names) {
  const std::string folder = withSlash(folderIn);
  const std::string path = cachePathForFolder(folder);
  std::vector<ScannedImage> kept;
  kept.reserve(names.size());
  bool plain = false;
  const size_t n = names.size();
  for (size_t i = 0; i < n; ++i) {
    postProgress(static_cast<int>(static_cast<float>(i) * 80.0f / static_cast<float>(n) + 12.0f));
    ScannedImage image;
    if (!readImage(folder + names[i], image)) continue;
    const PrebinImageRecord& r = image.record;
    if (!r.geometryValid || r.frames > 1 || !image.hasInstanceNumber) plain = true;
    image.name = names[i];
    image.folder = folder;
    kept.push_back(std::move(image));
  }
  if (kept.empty()) return false;
  std::vector<ScannedImage*> records;
  records.reserve(kept.size());
  for (ScannedImage& image : kept) records.push_back(&image);

  if (kept.size() == 1 && kept.front().frameRecords.size() > 1) {
    // One multi-frame image whose frames carry their positions: a volume of
    // its frames when they form one, else the file as before.
    const ScannedImage& file = kept.front();
    std::vector<ScannedImage> frames(file.frameRecords.size());
    std::vector<ScannedImage*> frameList;
    for (size_t k = 0; k < frames.size(); ++k) {
      frames[k].record = file.frameRecords[k];
      frames[k].instanceNumber = static_cast<int32_t>(k + 1);
      frames[k].hasInstanceNumber = true;
      frames[k].name = file.name;
      frames[k].folder = file.folder;
      frames[k].frameNumber = static_cast<int32_t>(k + 1);
      frameList.push_back(&frames[k]);
    }
    if (arrangeVolume(frameList)) return writeVolumeCache(path, frameList);
    return writeSeriesCache(path, records);
  }
  if (plain || records.size() == 1) return writeSeriesCache(path, records);
  if (!arrangeVolume(records)) return writeSeriesCache(path, records);
  return writeVolumeCache(path, records);
}

bool isDcmScan::arrangeVolume(std::vector<ScannedImage*>& records) {
  bool plain = false;
  postProgress(94);
  const PrebinImageRecord& first = records.front()->record;
  for (const ScannedImage* image : records) {
    if (!matchesFirst(first, image->record)) {
      plain = true;
      break;
    }
  }
  postProgress(97);
  std::stable_sort(records.begin(), records.end(),
                   [](const ScannedImage* a, const ScannedImage* b) { return a->instanceNumber < b->instanceNumber; });
  if (!plain) {
    const float reference = static_cast<float>(length(positionOf(records[1]->record) - positionOf(records[0]->record)));
    // Coincident positions (a cine series of one location) do not make a
    // volume: its slice spacing would be zero.
    if (!(reference > 0.01f)) plain = true;
    for (size_t i = 2; !plain && i < records.size(); ++i) {
      const float d = static_cast<float>(length(positionOf(records[i]->record) - positionOf(records[i - 1]->record)));
      if (std::fabs(d - reference) > 0.01f) plain = true;
    }
  }
  postProgress(99);
  if (plain) return false;

  Vec direction = positionOf(records.back()->record) - positionOf(records.front()->record);
  const double dl = length(direction);
  const Vec normal = column(records.back()->record, 2);
  const double nl = length(normal);
  if (dl > 0 && nl > 0) {
    const double c = std::clamp(dot(direction, normal) / (dl * nl), -1.0, 1.0);
    if (std::acos(c) > 1.0) std::reverse(records.begin(), records.end());
  }
  return true;
}

}  // namespace isImageSDK
