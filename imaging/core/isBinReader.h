// Cache reader: the source filter of a series.
//
// From the ".prebin" file (isSeriesCache.h) it builds the series' image data
// at the information update (slices with geometry and DICOM facts, pixels
// not yet loaded), and fills the pixels at the data update: from the ".raw"
// file when one of the right size exists, otherwise by decoding every DICOM
// file on its own loading thread, one request per slice, in slice order (the
// slices of a volume made of one multi-frame file's frames take one frame
// each; the file is decoded once).
//
// While pixels arrive it posts NOTIFY_LOADING_PROGRESS per slice; a viewer
// may move one slice to the front with prioritizeImage() and is told with
// NOTIFY_SLICE_ARRIVED when that slice is stored. When every slice has been
// handled the reader writes the ".raw" file (under a temporary name renamed
// into place, only when every slice decoded) and posts NOTIFY_4D_LOADED,
// whose data carries in intValue the number of slices that could not be
// decoded (those are zero-filled, marked loaded and listed by
// getFailedSlices()).
//
// Threads: the pipeline calls, prioritizeImage, isLoadComplete and
// destruction belong on the UI thread; the loading thread only stores
// samples, under `dataMutex`. Code on the UI thread that reads samples or
// `pixelsLoaded` while a load runs holds `dataMutex`.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dcmsdk/dcmSDK.h"
#include "imaging/core/isImageFilter.h"
#include "imaging/core/isSeriesCache.h"
#include "toolkit/foundation/NSThread.h"

namespace isImageSDK {

class isBinReader;

// One slice to decode.
class loadingRequest : public NSUI::NSThreadRequest {
 public:
  int32_t index = 0;       // position in the output's slice list
  int32_t pixelCount = 0;  // frameCount × height × width
  int32_t frame = 0;       // 1-based frame of a multi-frame file to take; 0: the whole file
  int32_t pixelType = 0;   // the library's pixel type of the decoded file
  // The decoded samples, valid while onImageLoaded runs; null when the file
  // could not be decoded as expected.
  const void* pixels = nullptr;
  isBinReader* owner = nullptr;
  uint32_t generation = 0;  // batch of the owner that queued it
};

class dcmLoadingThread : public NSUI::NSThread {
 public:
  void processRequest(NSUI::NSThreadRequest* request) override;
  // Reorders the pending requests outward from the one with this key:
  // target, target − 1, target + 1, target − 2, … by index. With no pending
  // request of that key the queue ends in descending index order. Nothing
  // before the worker has started. UI thread.
  void prioritizeRequest(int key);
  // Pending request indexes in queue order (tests and diagnostics).
  std::vector<int32_t> pendingIndexes();

  dcmSDK::dcmReader reader;

 protected:
  ~dcmLoadingThread() override = default;

 private:
  // The multi-frame file whose decoded frames the reader holds, and the load
  // that asked for it: the frames of one file, queued one after another,
  // decode it once per load.
  std::string framesFile;
  const isBinReader* framesOwner = nullptr;
  uint32_t framesGeneration = 0;
};

class isBinReader : public isImageFilter, public NSUI::NSThreadSafeDestroy {
 public:
  // Allocated and initialised; the caller owns the one reference.
  static isBinReader* create();
  ~isBinReader() override;

  void clear() override;
  bool init() override;
  void updateInformation() override;
  bool isSource() override { return true; }
  void prioritizeImage(void* requester, std::string filePath) override;
  void execute(isImageData* inImage, isImageData* outImage) override;

  // Sets the series folder and its ".prebin" file. The same file again keeps
  // what was built; a new one empties the output at once. False when the
  // file cannot be opened.
  bool setFileName(std::string folder, std::string cacheFile);
  // The ".prebin" began with the magic.
  virtual bool hasValidFile() { return hasValidHeader; }
  // Every slice handled (loaded, or failed and zero-filled).
  bool isLoadComplete();
  // Indexes of the slices whose file could not be decoded in the last load.
  std::vector<int32_t> getFailedSlices();
  // Number of slices handled so far in the current load.
  int getLoadedCount() const { return loadedCount.load(std::memory_order_acquire); }

  // Loading thread: stores one decoded slice.
  void onImageLoaded(loadingRequest* request);

  std::string cacheFileName;
  std::string folderPath;
  bool hasValidHeader = false;
  bool isVolumeFile = false;
  std::vector<std::string> fileNames;
  // Per slice of a volume: the 1-based frame of its file, 0 for the whole file.
  std::vector<uint16_t> sliceFrames;
  dcmLoadingThread* loadingThread = nullptr;
  // Guards the output's slice list and samples, `waiters`, `failedSlices`
  // and `generation`.
  std::recursive_mutex dataMutex;

 protected:
  isBinReader() = default;

 private:
  void emptyOutput();  // with dataMutex held
  void readCache();
  bool loadRawFile(isImageData* out, const std::string& rawPath, uint64_t expected);
  void finishLoad(uint32_t generation);

  std::vector<std::pair<void*, int>> waiters;
  std::vector<int32_t> failedSlices;
  uint32_t generation = 0;
  std::atomic<int> loadedCount{0};
  std::atomic<int> sliceTotal{0};
  std::atomic<uint32_t> identifierHash{0};
};

}  // namespace isImageSDK
