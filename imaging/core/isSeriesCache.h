// Series cache files.
//
// Every series folder gets two cache files in the cache folder
// (<writable path>kq/tmp/dcmbuf/), named by the folded hash of the folder's
// path relative to the writable path:
//   <hash>.prebin  one binary record per image (geometry, pixel format,
//                  patient and acquisition data) and the list of the source
//                  files, written by the folder scan;
//   <hash>.raw     the decoded pixels of the whole series, written by the
//                  cache reader once every slice has arrived.
//
// ".prebin" layout (little-endian, packed): a 68-byte PrebinHeader, then
// either "series" (header.count PrebinImageRecord of 712 bytes) or "volume"
// (one PrebinVolumeRecord of 596 bytes and sliceCount PrebinSliceRecord of
// 96 bytes), then the name list: a 16-byte block whose first int32 is L, the
// length of the name text, followed by L bytes of names relative to the
// series folder, in record order. Names are separated by a NUL byte (a
// character no path can hold) with no terminator after the last one.
//
// ".raw": the samples as they stand in the image data after loading, with no
// header (one volume buffer, or each slice's buffer in slice order). It is
// trusted only when its size equals the total the ".prebin" implies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/foundation/NSHash.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

#pragma pack(push, 1)

struct PrebinHeader {
  char magic[15];    // "ISImage.prebin"
  char version[5];   // "v3.0"
  int32_t time[6];   // local time of writing: year, month, day, hour, minute, second
  char kind[20];     // "series" or "volume"
  int16_t count;     // number of image records
  uint8_t unused[2];
};

struct PrebinImageRecord {
  int32_t columns;
  int32_t rows;
  float spacingX;  // between columns (second value of Pixel Spacing)
  float spacingY;  // between rows (first value)
  int16_t frames;
  uint8_t pad18[2];
  int32_t positionCode;
  int32_t feetFirstCode;
  float matrix[16];  // slice matrix, row by row
  uint8_t geometryValid;
  uint8_t pad93[3];
  int32_t modality;
  char institution[100];
  char seriesDescription[256];
  int32_t seriesDateTime[6];
  char patientName[20];
  char patientId[20];
  char sex;  // 'F', 'M', 'U' or 0 when absent
  char age[10];
  uint8_t pad531;
  float weight;
  float patientSize;
  char studyId[20];
  char seriesNumber[20];
  int16_t instanceNumber;
  uint8_t pad582[2];
  int32_t elementType;
  int32_t bitsAllocated;
  float rescaleIntercept;
  float rescaleSlope;
  int32_t displayCode;
  float windowWidth;
  float windowCenter;
  int32_t reserved;
  int32_t petAcquisition[6];
  int32_t petStart[6];
  uint8_t petTimesValid;
  uint8_t pad665[3];
  float halfLife;
  int32_t decayCorrection;
  float decayFactor;
  float totalDose;
  int32_t units;
  float privateScale;
  char scanOptions[10];
  uint16_t triggerTime;
  uint16_t rrIntervalCount;
  uint16_t timeSlotCount;
  uint16_t sliceCountPerVolume;
  uint16_t timeSliceCount;
};

struct PrebinVolumeRecord {
  int32_t columns;
  int32_t rows;
  int32_t sliceCount;
  float spacingX;
  float spacingY;
  float sliceSpacing;
  int32_t positionCode;
  int32_t feetFirstCode;
  float matrix[16];
  int32_t modality;
  char institution[100];
  char seriesDescription[256];
  int32_t seriesDateTime[6];
  char patientName[20];
  char patientId[20];
  char sex;
  char age[10];
  uint8_t pad531;
  float weight;
  float patientSize;
  char studyId[20];
  char seriesNumber[20];
  int32_t elementType;
  float windowWidth;
  float windowCenter;
  int32_t reserved;
};

struct PrebinSliceRecord {
  int16_t instanceNumber;
  uint16_t frameNumber;  // 1-based frame of a multi-frame file; 0: the whole file
  int32_t bitsAllocated;
  float rescaleIntercept;
  float rescaleSlope;
  int32_t displayCode;
  int32_t petAcquisition[6];
  int32_t petStart[6];
  uint8_t petTimesValid;
  uint8_t pad69[3];
  float halfLife;
  int32_t decayCorrection;
  float decayFactor;
  float totalDose;
  int32_t units;
  float privateScale;
};

struct PrebinNameBlock {
  int32_t length;  // L
  uint8_t unused[12];
};

#pragma pack(pop)

static_assert(sizeof(PrebinHeader) == 68);
static_assert(offsetof(PrebinHeader, kind) == 44 && offsetof(PrebinHeader, count) == 64);
static_assert(sizeof(PrebinImageRecord) == 712);
static_assert(offsetof(PrebinImageRecord, matrix) == 28 && offsetof(PrebinImageRecord, modality) == 96);
static_assert(offsetof(PrebinImageRecord, seriesDateTime) == 456 && offsetof(PrebinImageRecord, sex) == 520);
static_assert(offsetof(PrebinImageRecord, weight) == 532 && offsetof(PrebinImageRecord, instanceNumber) == 580);
static_assert(offsetof(PrebinImageRecord, elementType) == 584 && offsetof(PrebinImageRecord, reserved) == 612);
static_assert(offsetof(PrebinImageRecord, petTimesValid) == 664 && offsetof(PrebinImageRecord, halfLife) == 668);
static_assert(offsetof(PrebinImageRecord, scanOptions) == 692 && offsetof(PrebinImageRecord, timeSliceCount) == 710);
static_assert(sizeof(PrebinVolumeRecord) == 596);
static_assert(offsetof(PrebinVolumeRecord, matrix) == 32 && offsetof(PrebinVolumeRecord, modality) == 96);
static_assert(offsetof(PrebinVolumeRecord, elementType) == 580 && offsetof(PrebinVolumeRecord, reserved) == 592);
static_assert(sizeof(PrebinSliceRecord) == 96);
static_assert(offsetof(PrebinSliceRecord, petTimesValid) == 68 && offsetof(PrebinSliceRecord, privateScale) == 92);
static_assert(sizeof(PrebinNameBlock) == 16);

inline constexpr const char* kPrebinMagic = "ISImage.prebin";
inline constexpr const char* kPrebinVersion = "v3.0";
// Separator of the name list.
inline constexpr char kNameSeparator = '\0';

// The folded hash of the foundation (toolkit/foundation/NSHash.h).
using NSUI::foldedHash;

// The cache folder: writable path + "kq/tmp/dcmbuf/".
std::string getCacheFolder();
// The ".prebin" path of a series folder (with or without trailing "/"),
// whether or not it exists. Nothing is created.
std::string cachePathForFolder(const std::string& folder);
// The ".raw" path beside a ".prebin" path.
std::string rawPathForCache(const std::string& prebinPath);

// Joins names with the separator; splits a name text back (empty text gives
// no names).
std::string joinNames(const std::vector<std::string>& names);
std::vector<std::string> splitNames(const std::string& text);

// Whether the file opens, holds 68 bytes and carries the magic and version.
bool isValidPrebinFile(const std::string& path);

}  // namespace isImageSDK
