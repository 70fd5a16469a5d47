#include "imaging/core/isDcmReader.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "dcmsdk/dcmSDK.h"
#include "imaging/core/isGeometry.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/isPixelRules.h"
#include "toolkit/foundation/NSFormat.h"

namespace isImageSDK {

namespace {

constexpr int kTextSize = 1024;

// The longest leading decimal number of a text (blanks skipped), 0 when there
// is none. "12.5\3" gives 12.5.
double leadingNumber(const char* s) {
  while (*s == ' ') ++s;
  const char* p = s;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  if (*p == '.') {
    ++p;
    while (*p >= '0' && *p <= '9') ++p;
  }
  if (p == digits || (p == digits + 1 && *digits == '.')) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (*q >= '0' && *q <= '9') {
      while (*q >= '0' && *q <= '9') ++q;
      p = q;
    }
  }
  std::string number(s, p);
  double v = std::strtod(number.c_str(), nullptr);
  return std::isfinite(v) ? v : 0.0;
}

float toFloat(double v) {
  if (v > 3.0e38) return 3.0e38f;
  if (v < -3.0e38) return -3.0e38f;
  return static_cast<float>(v);
}

class TagSource {
 public:
  explicit TagSource(dcmSDK::dcmReader& r) : r_(r) {}
  // Reads a text element; false when absent.
  bool text(unsigned short g, unsigned short e, std::string& out) {
    char buf[kTextSize];
    if (!r_.readDicomTagString(g, e, buf, kTextSize)) {
      out.clear();
      return false;
    }
    out = buf;
    return true;
  }
  bool number(unsigned short g, unsigned short e, double& out) {
    std::string t;
    if (!text(g, e, t)) return false;
    out = leadingNumber(t.c_str());
    return true;
  }
  bool values(unsigned short g, unsigned short e, size_t expected, double* out) {
    std::string t;
    if (!text(g, e, t)) return false;
    std::vector<std::string> parts;
    NSUI::splitString(t, "\\", parts);
    if (parts.size() != expected) return false;
    for (size_t i = 0; i < expected; ++i) out[i] = leadingNumber(parts[i].c_str());
    return true;
  }

 private:
  dcmSDK::dcmReader& r_;
};

int field(const std::string& s, size_t at, size_t len) {
  return static_cast<int>(leadingNumber(s.substr(at, len).c_str()));
}

void readDateTime(const std::string& dt, NSUI::DateTimeFields& f) {
  f.year = field(dt, 0, 4);
  f.month = field(dt, 4, 2);
  f.day = field(dt, 6, 2);
  f.hour = field(dt, 8, 2);
  f.minute = field(dt, 10, 2);
  f.second = field(dt, 12, 2);
}

void readPetTimes(TagSource& tags, SliceRecord& rec) {
  rec.decayTimesValid = true;
  std::string dt;
  bool found = false;
  if (tags.text(0x0008, 0x002A, dt) && dt.size() >= 14) {
    readDateTime(dt, rec.acquisitionTime);
    found = true;
  } else {
    static const unsigned short pairs[3][2] = {{0x0022, 0x0032}, {0x0021, 0x0031}, {0x0020, 0x0030}};
    for (const auto& p : pairs) {
      std::string date, time;
      if (tags.text(0x0008, p[0], date) && tags.text(0x0008, p[1], time) && date.size() == 8 && time.size() >= 6) {
        readDateTime(date + time.substr(0, 6), rec.acquisitionTime);
        found = true;
        break;
      }
    }
  }
  if (!found) {
    rec.acquisitionTime.year = 1900;
    rec.decayTimesValid = false;
  }
  std::string start;
  if (tags.text(0x0018, 0x1078, dt) && dt.size() >= 14) {
    readDateTime(dt, rec.injectionTime);
  } else if (tags.text(0x0018, 0x1072, start) && start.size() >= 6) {
    rec.injectionTime = rec.acquisitionTime;
    rec.injectionTime.hour = field(start, 0, 2);
    rec.injectionTime.minute = field(start, 2, 2);
    rec.injectionTime.second = field(start, 4, 2);
  } else {
    rec.decayTimesValid = false;
  }
}

// Bytes per pixel the library delivers for a pixel type.
int libraryBytes(int pixelType) { return pixelType == 0 ? 1 : pixelType == 1 ? 2 : pixelType == 2 ? 3 : 0; }

// The element types a decoded pixel type may feed: copying from a buffer of
// another layout would read past its end.
bool typesMatch(int elementType, int pixelType) {
  switch (elementType) {
    case ELEMENT_UINT8: return pixelType == 0;
    case ELEMENT_INT16:
    case ELEMENT_FLOAT:
    case ELEMENT_UINT16: return pixelType == 1;
    case ELEMENT_RGB: return pixelType == 2;
    default: return false;
  }
}

}  // namespace

isDcmReader* isDcmReader::create() { return initCreated(new (std::nothrow) isDcmReader()); }

isDcmReader::~isDcmReader() = default;

bool isDcmReader::init() {
  if (!isImageFilter::init()) return false;
  fileName.clear();
  return true;
}

void isDcmReader::setFileName(const std::string& path) {
  fileName = path;
  informationModified = true;
  dataModified = true;
}

void isDcmReader::updateInformation() {
  if (!informationModified && !(input && input->isInformationModified())) return;
  if (input) input->updateInformation();
  informationModified = false;
  for (isFilterObject* c : consumers) c->informationModified = true;

  isImageData* out = getOutputImage();
  if (!out) return;
  out->releaseSlices();
  out->reset();

  dcmSDK::dcmReader reader;
  if (!reader.setFile(fileName.c_str())) return;
  TagSource tags(reader);

  SliceRecord rec;
  rec.filePath = fileName;
  std::string text;
  double v = 0;

  tags.text(0x0008, 0x0060, text);
  rec.modality = modalityCode(text);
  const bool isPet = rec.modality == MODALITY_PT;

  if (tags.text(0x0018, 0x5100, text)) {
    int pos = 0, feet = 0;
    if (!parsePatientPosition(text, pos, feet)) rec.geometryValid = false;
    rec.positionCode = pos;
    rec.feetFirstCode = feet;
  } else if (rec.modality == MODALITY_CT || isPet || rec.modality == MODALITY_MR) {
    rec.positionCode = POSITION_SUPINE;
    rec.feetFirstCode = ORIENTATION_NOT_GIVEN;
  } else {
    rec.positionCode = POSITION_SUPINE;
    rec.feetFirstCode = HEAD_FIRST;
    rec.geometryValid = false;
  }

  double position[3] = {0, 0, 0}, orientation[6] = {1, 0, 0, 0, 1, 0};
  if (!tags.values(0x0020, 0x0032, 3, position)) {
    position[0] = position[1] = position[2] = 0;
    rec.geometryValid = false;
  }
  if (!tags.values(0x0020, 0x0037, 6, orientation)) {
    const double def[6] = {1, 0, 0, 0, 1, 0};
    std::memcpy(orientation, def, sizeof def);
    rec.geometryValid = false;
  }

  unsigned short cols = 0, rows = 0, frames16 = 0;
  if (!reader.readDicomTagUint16(0x0028, 0x0011, cols) || !reader.readDicomTagUint16(0x0028, 0x0010, rows)) return;
  rec.width = cols;
  rec.height = rows;
  int16_t frames = 1;
  if (reader.readDicomTagUint16(0x0028, 0x0008, frames16)) frames = static_cast<int16_t>(frames16);
  rec.frameCount = frames < 1 ? 1 : frames;

  double spacing[2];
  if (tags.values(0x0028, 0x0030, 2, spacing)) {
    rec.spacingX = toFloat(spacing[1]);
    rec.spacingY = toFloat(spacing[0]);
  } else {
    rec.spacingX = rec.spacingY = 1.0f;
    if (!tags.text(0x0028, 0x0030, text)) rec.pixelSpacingKnown = false;
  }

  if (tags.text(0x0010, 0x0040, text))
    rec.sex = text == "M" ? SEX_MALE : text == "F" ? SEX_FEMALE : SEX_OTHER;
  else
    rec.sex = SEX_OTHER;
  rec.weight = tags.number(0x0010, 0x1030, v) ? toFloat(v) : -1.0f;
  rec.patientSize = tags.number(0x0010, 0x1020, v) ? toFloat(v) : -1.0f;
  if (rec.modality == MODALITY_CT && tags.text(0x0018, 0x0022, text)) rec.scanOptions = text.substr(0, 9);
  unsigned short u16 = 0;
  if (isPet) rec.triggerTime = reader.readDicomTagUint16(0x0018, 0x1060, u16) ? static_cast<int16_t>(u16) : 0;

  int bitsAllocated = reader.readDicomTagUint16(0x0028, 0x0100, u16) ? u16 : 8;
  rec.rescaleIntercept = tags.number(0x0028, 0x1052, v) ? toFloat(v) : 0.0f;
  rec.rescaleSlope = tags.number(0x0028, 0x1053, v) ? toFloat(v) : 1.0f;
  const int r = reader.readDicomTagUint16(0x0028, 0x0103, u16) && u16 >= 1 ? 1 : 0;
  rec.displayCode = tags.text(0x0028, 0x0004, text) && text == "MONOCHROME1" ? r + 2 : r;
  rec.windowCenter = tags.number(0x0028, 0x1050, v) ? toFloat(v) : (isPet ? 10000.0f : 128.0f);
  rec.windowWidth = tags.number(0x0028, 0x1051, v) ? toFloat(v) : (isPet ? 20000.0f : 255.0f);

  if (isPet) {
    rec.decayFactor = tags.number(0x0054, 0x1321, v) ? toFloat(v) : 0.0f;
    if (tags.text(0x0054, 0x1102, text))
      rec.decayCorrection = text == "ADMIN" ? DECAY_ADMIN : text == "START" ? DECAY_START
                            : text == "NONE" ? DECAY_NONE : DECAY_OTHER;
    else
      rec.decayCorrection = DECAY_OTHER;
    rec.totalDose = tags.number(0x0018, 0x1074, v) ? toFloat(v) : 0.0f;
    rec.suvFactor = tags.number(0x7053, 0x1000, v) ? toFloat(v) : 0.0f;
    rec.halfLife = tags.number(0x0018, 0x1075, v) ? toFloat(v) : 0.0f;
    if (tags.text(0x0054, 0x1001, text))
      rec.units = text == "BQML" ? UNITS_BQML : text == "CNTS" ? UNITS_CNTS : UNITS_OTHER;
    else
      rec.units = UNITS_OTHER;
    readPetTimes(tags, rec);
  }

  const double row[3] = {orientation[0], orientation[1], orientation[2]};
  const double column[3] = {orientation[3], orientation[4], orientation[5]};
  rec.matrix = makeSliceMatrix(row, column, position, rec.positionCode, rec.feetFirstCode);

  // Pixels: the decoded layout must be the one the element type expects, and
  // the decoded count must cover every frame of the slice.
  dcmSDK::dcmReader::PixelType pixelType;
  int64_t count = 0;
  const void* pixels = reader.readDicomPixelPointer(pixelType, count);
  if (!pixels || count <= 0) return;
  const int elementType = decideElementType(bitsAllocated, pixelType, rec.modality, rec.rescaleSlope,
                                            rec.rescaleIntercept, rec.displayCode);
  if (elementType < 0 || !typesMatch(elementType, pixelType) || libraryBytes(pixelType) == 0) return;
  const int64_t n = int64_t(rec.frameCount) * rec.width * rec.height;
  if (count < n) return;
  rec.elementType = elementType;
  rec.pixels = nullptr;
  rec.pixelsLoaded = false;

  out->addSliceCopy(&rec);
  out->update();
  SliceRecord* slice = out->getSlice(0);
  if (!slice || !slice->pixels) {
    out->releaseSlices();
    out->reset();
    return;
  }
  convertSamples(pixels, slice->pixels, static_cast<size_t>(n), elementType, rec.displayCode, rec.rescaleSlope,
                 rec.rescaleIntercept);
  slice->pixelsLoaded = true;
}

}  // namespace isImageSDK
