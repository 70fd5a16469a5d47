// Series folder scan: turns a folder of DICOM files into the ".prebin" cache
// of isSeriesCache.h. Every file is opened once and only its elements are
// read; the pixels are decoded later by the cache reader (isBinReader.h).
//
// The images form a "volume" when they share size, spacing, orientation,
// patient position, modality and element type, lie on one line along their
// normal and are evenly spaced (by more than 0.01 mm) in Instance Number
// order; otherwise a "series" in listing order (multi-frame files, missing
// geometry or instance numbers) or in Instance Number order. A folder whose
// only image is a multi-frame file with a position per frame (enhanced CT and
// MR) gives a "volume" of its frames when the frames pass the same tests.
//
// Progress is posted as NOTIFY_ACTIVITY_PROGRESS (broadcast, immediate,
// intValue = percent): 2, then 2..12 while listing, 12..92 while reading,
// and 94, 97, 99 while ordering a candidate volume.
#pragma once

#include <string>
#include <vector>

#include "imaging/core/isSeriesCache.h"
#include "toolkit/foundation/NSFormat.h"

namespace isImageSDK {

// One accepted image of a scan.
struct ScannedImage {
  PrebinImageRecord record{};
  int32_t instanceNumber = 0;  // in full; the record keeps 16 bits
  bool hasInstanceNumber = false;
  std::string name;    // relative to the series folder
  std::string folder;  // the series folder
  // A multi-frame image whose every frame carries its own position: one
  // record per frame (frames 1, own matrix, rescale and window), file order.
  std::vector<PrebinImageRecord> frameRecords;
  int32_t frameNumber = 0;  // 1-based frame this record stands for; 0: the file
};

class isDcmScan {
 public:
  isDcmScan();
  virtual ~isDcmScan();
  isDcmScan(const isDcmScan&) = delete;
  isDcmScan& operator=(const isDcmScan&) = delete;

  // The existing ".prebin" of the folder, or "" when there is none. Creates
  // the cache folder when it is missing.
  static std::string getCacheFileName(const std::string& folder);
  // Magic "ISImage.prebin" and version "v3.0" in the first 68 bytes.
  static bool isValidCacheFile(const std::string& path);
  // Deletes the folder's ".prebin" and ".raw" when a ".prebin" exists.
  static void removeCache(const std::string& folder);
  // Deletes whichever of the two files exists (the cache folder is not made).
  static void removeCacheOfFolder(const std::string& folder);
  // Deletes the ".raw" files created seven days ago or earlier (local time).
  static void clearExpiredCache();
  // The expiry rule: created + 7 days (calendar stepping) is not later than now.
  static bool isExpired(const NSUI::DateTimeFields& created, const NSUI::DateTimeFields& now);

  // Write one ".prebin" (through a temporary file renamed into place). False
  // when it could not be written completely; nothing is left under the name
  // then. writeVolumeCache needs at least two records, in slice order.
  static bool writeSeriesCache(const std::string& path, const std::vector<ScannedImage*>& records);
  static bool writeVolumeCache(const std::string& path, const std::vector<ScannedImage*>& records);

  // Builds the cache of the folder; true when a ".prebin" was written.
  bool createCache(const std::string& folder);
  // Reads the files (names relative to the folder), decides the layout and
  // writes the cache; true when it was written.
  bool scanFolder(const std::string& folder, const std::vector<std::string>& names);

  // Reads one file into a record; false when the file is not a usable image.
  bool readImage(const std::string& path, ScannedImage& out);
  // The volume test (posting 94, 97 and 99): sorts the records by Instance
  // Number and, when they form an evenly spaced volume, orders them along
  // their normal and returns true.
  static bool arrangeVolume(std::vector<ScannedImage*>& records);

 private:
  char* tagBuffer = nullptr;  // 1024 bytes, every text element is read here
  struct Reader;
  Reader* reader_ = nullptr;
};

}  // namespace isImageSDK
