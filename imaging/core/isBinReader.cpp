#include "imaging/core/isBinReader.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <sys/stat.h>

#include "engine/cocos2d.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/isPixelRules.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

namespace {

int keyOf(const std::string& path) { return static_cast<int>(foldedHash(path)); }

// The decoded pixel type that may feed an element type; any other pairing
// would read past the decoded buffer.
bool typesMatch(int elementType, int pixelType) {
  switch (elementType) {
    case ELEMENT_UINT8: return pixelType == dcmSDK::dcmReader::PIXEL_8;
    case ELEMENT_INT16:
    case ELEMENT_FLOAT:
    case ELEMENT_UINT16: return pixelType == dcmSDK::dcmReader::PIXEL_16;
    case ELEMENT_RGB: return pixelType == dcmSDK::dcmReader::PIXEL_RGB;
    default: return false;
  }
}

long fileSize(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long>(st.st_size);
}

std::string boundedText(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

NSUI::DateTimeFields fieldsOf(const int32_t* v) { return NSUI::DateTimeFields{v[0], v[1], v[2], v[3], v[4], v[5]}; }

int16_t sexCode(char c) { return c == 'M' ? SEX_MALE : c == 'F' ? SEX_FEMALE : SEX_OTHER; }

void post(isBinReader* sender, int id, NSUI::NSNotificationData* data, void* object, bool immediate) {
  if (auto* centre = NSUI::NSNotificationCenter::getInstance())
    centre->postNotification(sender, id, data, object, immediate);
}

}  // namespace

// ---------------------------------------------------------------------------
// dcmLoadingThread

void dcmLoadingThread::processRequest(NSUI::NSThreadRequest* base) {
  auto* request = dynamic_cast<loadingRequest*>(base);
  if (!request || !request->owner || request->cancelled) return;
  request->pixels = nullptr;
  dcmSDK::dcmReader::PixelType type = dcmSDK::dcmReader::PIXEL_UNUSABLE;
  int64_t count = 0;
  const void* pixels = nullptr;
  if (request->frame > 0 && request->text == framesFile && request->owner == framesOwner &&
      request->generation == framesGeneration) {
    pixels = reader.readDicomPixelPointer(type, count);
  } else {
    framesFile.clear();
    if (reader.setFile(request->text.c_str())) {
      pixels = reader.readDicomPixelPointer(type, count);
      if (request->frame > 0) {
        framesFile = request->text;
        framesOwner = request->owner;
        framesGeneration = request->generation;
      }
    }
  }
  if (pixels && request->frame > 0) {
    // One frame out of the decoded frames of the file.
    const int64_t perFrame = request->pixelCount;
    const int64_t bytes = type == dcmSDK::dcmReader::PIXEL_8 ? 1 : type == dcmSDK::dcmReader::PIXEL_16 ? 2
                          : type == dcmSDK::dcmReader::PIXEL_RGB ? 3 : 0;
    if (perFrame > 0 && bytes > 0 && count % perFrame == 0 && count / perFrame >= request->frame) {
      pixels = static_cast<const uint8_t*>(pixels) + (request->frame - 1) * perFrame * bytes;
      count = perFrame;
    } else {
      pixels = nullptr;
    }
  }
  if (pixels && count > 0 && count == request->pixelCount) {
    request->pixels = pixels;  // the library's buffer, valid until the next file
    request->pixelType = static_cast<int32_t>(type);
  }
  request->owner->onImageLoaded(request);
  request->pixels = nullptr;
}

void dcmLoadingThread::prioritizeRequest(int key) {
  if (!requestQueue) return;
  std::lock_guard<std::recursive_mutex> lock(queueMutex);
  if (!requestQueue) return;
  std::vector<loadingRequest*> pending;
  std::vector<NSUI::NSThreadRequest*> others;
  for (NSUI::NSThreadRequest* r : *requestQueue) {
    if (auto* lr = dynamic_cast<loadingRequest*>(r))
      pending.push_back(lr);
    else
      others.push_back(r);
  }
  std::stable_sort(pending.begin(), pending.end(),
                   [](const loadingRequest* a, const loadingRequest* b) { return a->index < b->index; });
  std::vector<loadingRequest*> below, above;
  loadingRequest* target = nullptr;
  for (loadingRequest* r : pending) {
    if (!target && r->key == key)
      target = r;
    else if (!target)
      below.push_back(r);
    else
      above.push_back(r);
  }
  std::reverse(below.begin(), below.end());
  std::vector<NSUI::NSThreadRequest*> order;
  order.reserve(pending.size() + others.size());
  if (target) order.push_back(target);
  size_t b = 0, a = 0;
  while (b < below.size() || a < above.size()) {
    if (b < below.size()) order.push_back(below[b++]);
    if (a < above.size()) order.push_back(above[a++]);
  }
  order.insert(order.end(), others.begin(), others.end());
  for (auto* r : order) r->retain();
  requestQueue->clear();
  for (auto* r : order) {
    requestQueue->pushBack(r);
    r->release();
  }
}

std::vector<int32_t> dcmLoadingThread::pendingIndexes() {
  std::vector<int32_t> out;
  if (!requestQueue) return out;
  std::lock_guard<std::recursive_mutex> lock(queueMutex);
  if (!requestQueue) return out;
  for (NSUI::NSThreadRequest* r : *requestQueue)
    if (auto* lr = dynamic_cast<loadingRequest*>(r)) out.push_back(lr->index);
  return out;
}

// ---------------------------------------------------------------------------
// isBinReader

isBinReader* isBinReader::create() { return initCreated(new (std::nothrow) isBinReader()); }

isBinReader::~isBinReader() { isBinReader::clear(); }

bool isBinReader::init() {
  if (!isImageFilter::init()) return false;
  cacheFileName.clear();
  folderPath.clear();
  hasValidHeader = false;
  loadingThread = nullptr;
  return true;
}

void isBinReader::clear() {
  {
    std::lock_guard<std::recursive_mutex> lock(dataMutex);
    waiters.clear();
    ++generation;  // whatever is still on its way is dropped
  }
  if (loadingThread) {
    stopThread(loadingThread);  // blocks until the worker has ended
    loadingThread = nullptr;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(dataMutex);
    isImageFilter::clear();
  }
}

void isBinReader::emptyOutput() {
  ++generation;
  failedSlices.clear();
  loadedCount.store(0, std::memory_order_release);
  sliceTotal.store(0, std::memory_order_release);
  if (outputImage) {
    outputImage->releaseSlices();
    outputImage->reset();
  }
}

bool isBinReader::setFileName(std::string folder, std::string cacheFile) {
  if (folder.empty() || folder.back() != '/') folder += "/";
  if (cacheFile == cacheFileName) return !cacheFile.empty();
  if (loadingThread) loadingThread->cancelAllRequests();
  {
    std::lock_guard<std::recursive_mutex> lock(dataMutex);
    getOutputImage();
    emptyOutput();
    fileNames.clear();
    sliceFrames.clear();
  }
  informationModified = true;
  dataModified = true;
  hasValidHeader = false;
  cacheFileName = cacheFile;
  folderPath = folder;

  FILE* f = std::fopen(cacheFileName.c_str(), "rb");
  if (!f) return false;
  PrebinHeader header;
  const size_t got = std::fread(&header, 1, sizeof header, f);
  std::fclose(f);
  if (got == sizeof header && strncmp(header.magic, kPrebinMagic, sizeof header.magic) == 0) hasValidHeader = true;
  return true;
}

void isBinReader::updateInformation() {
  if (!informationModified && !(input && input->isInformationModified())) return;
  if (input) input->updateInformation();
  informationModified = false;
  for (isFilterObject* c : consumers) c->informationModified = true;
  if (!outputImage || !hasValidHeader) return;
  if (loadingThread) loadingThread->cancelAllRequests();
  {
    std::lock_guard<std::recursive_mutex> lock(dataMutex);
    emptyOutput();
  }
  readCache();
}

void isBinReader::readCache() {
  FILE* f = std::fopen(cacheFileName.c_str(), "rb");
  if (!f) return;
  std::string bytes;
  char chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
  std::fclose(f);

  auto inconsistent = [this] { std::remove(cacheFileName.c_str()); };
  size_t at = 0;
  auto take = [&](void* out, size_t size) {
    if (bytes.size() - at < size) return false;
    std::memcpy(out, bytes.data() + at, size);
    at += size;
    return true;
  };

  PrebinHeader header;
  if (!take(&header, sizeof header)) return inconsistent();
  const std::string kind = boundedText(header.kind, sizeof header.kind);
  std::vector<PrebinImageRecord> images;
  PrebinVolumeRecord volume;
  std::vector<PrebinSliceRecord> sliceRecords;
  int expected = 0;
  if (kind == "volume") {
    isVolumeFile = true;
    if (!take(&volume, sizeof volume) || volume.sliceCount < 1) return inconsistent();
    if (bytes.size() - at < static_cast<uint64_t>(volume.sliceCount) * sizeof(PrebinSliceRecord))
      return inconsistent();
    sliceRecords.resize(static_cast<size_t>(volume.sliceCount));
    sliceFrames.clear();
    for (auto& s : sliceRecords) {
      take(&s, sizeof s);
      sliceFrames.push_back(s.frameNumber);
    }
    expected = volume.sliceCount;
  } else if (kind == "series") {
    isVolumeFile = false;
    sliceFrames.clear();
    if (header.count < 1) return inconsistent();
    images.resize(static_cast<size_t>(header.count));
    for (auto& r : images)
      if (!take(&r, sizeof r)) return inconsistent();
    expected = header.count;
  } else {
    return;  // unknown kind: nothing is built, the file stays
  }
  PrebinNameBlock block;
  if (!take(&block, sizeof block) || block.length < 1 || bytes.size() - at < static_cast<size_t>(block.length))
    return inconsistent();
  fileNames = splitNames(bytes.substr(at, static_cast<size_t>(block.length)));
  const size_t records = isVolumeFile ? sliceRecords.size() : images.size();
  if (fileNames.size() != records || static_cast<int>(records) != expected) return inconsistent();

  std::lock_guard<std::recursive_mutex> lock(dataMutex);
  isImageData* out = outputImage;
  if (!isVolumeFile) {
    for (size_t i = 0; i < images.size(); ++i) {
      const PrebinImageRecord& r = images[i];
      const int32_t size[2] = {r.columns, r.rows};
      const float spacing[2] = {r.spacingX, r.spacingY};
      SliceRecord* s = out->addSlice(size, r.frames, spacing, r.elementType, r.positionCode, r.feetFirstCode,
                                     NSUI::makeMat4(r.matrix));
      if (!s) {
        emptyOutput();
        return;
      }
      s->instanceNumber = r.instanceNumber;
      s->modality = r.modality;
      s->windowWidth = r.windowWidth;
      s->windowCenter = r.windowCenter;
      s->rescaleSlope = r.rescaleSlope;
      s->rescaleIntercept = r.rescaleIntercept;
      s->displayCode = r.displayCode;
      s->sex = sexCode(r.sex);
      s->weight = r.weight;
      s->patientSize = r.patientSize;
      s->decayFactor = r.decayFactor;
      s->decayCorrection = r.decayCorrection;
      s->totalDose = r.totalDose;
      s->units = r.units;
      s->suvFactor = r.privateScale;
      s->acquisitionTime = fieldsOf(r.petAcquisition);
      s->injectionTime = fieldsOf(r.petStart);
      s->decayTimesValid = r.petTimesValid != 0;
      s->halfLife = r.halfLife;
      s->scanOptions = boundedText(r.scanOptions, sizeof r.scanOptions);
      s->triggerTime = static_cast<int16_t>(r.triggerTime);
      s->rrIntervalCount = static_cast<int16_t>(r.rrIntervalCount);
      s->timeSlotCount = static_cast<int16_t>(r.timeSlotCount);
      s->sliceCountPerVolume = static_cast<int16_t>(r.sliceCountPerVolume);
      s->timeSliceCount = static_cast<int16_t>(r.timeSliceCount);
      s->filePath = folderPath + fileNames[i];
      s->pixelsLoaded = false;
      if (i == 0)
        out->setIdentifier(boundedText(r.studyId, sizeof r.studyId) + "," +
                           boundedText(r.seriesNumber, sizeof r.seriesNumber));
    }
  } else {
    const int32_t dims[3] = {volume.columns, volume.rows, volume.sliceCount};
    const float spacing[3] = {volume.spacingX, volume.spacingY, volume.sliceSpacing};
    if (!out->buildVolume(dims, spacing, volume.elementType, volume.positionCode, volume.feetFirstCode,
                          NSUI::makeMat4(volume.matrix))) {
      emptyOutput();
      return;
    }
    out->setIdentifier(boundedText(volume.studyId, sizeof volume.studyId) + "," +
                       boundedText(volume.seriesNumber, sizeof volume.seriesNumber));
    for (size_t j = 0; j < out->slices.size() && j < sliceRecords.size(); ++j) {
      SliceRecord* s = out->slices[j];
      const PrebinSliceRecord& r = sliceRecords[j];
      s->windowWidth = volume.windowWidth;
      s->windowCenter = volume.windowCenter;
      s->modality = volume.modality;
      s->rescaleSlope = r.rescaleSlope;
      s->rescaleIntercept = r.rescaleIntercept;
      s->displayCode = r.displayCode;
      s->decayFactor = r.decayFactor;
      s->decayCorrection = r.decayCorrection;
      s->totalDose = r.totalDose;
      s->units = r.units;
      s->suvFactor = r.privateScale;
      s->acquisitionTime = fieldsOf(r.petAcquisition);
      s->injectionTime = fieldsOf(r.petStart);
      s->decayTimesValid = r.petTimesValid != 0;
      s->halfLife = r.halfLife;
      s->instanceNumber = r.instanceNumber;
      s->sex = sexCode(volume.sex);
      s->weight = volume.weight;
      s->patientSize = volume.patientSize;
      s->filePath = folderPath + fileNames[j];
      s->pixelsLoaded = false;
    }
  }
  identifierHash.store(foldedHash(out->identifier), std::memory_order_release);
}

bool isBinReader::loadRawFile(isImageData* out, const std::string& rawPath, uint64_t expected) {
  FILE* f = std::fopen(rawPath.c_str(), "rb");
  if (!f) return false;
  bool ok = true;
  {
    std::lock_guard<std::recursive_mutex> lock(dataMutex);
    if (out->volumeLayout && out->ownsVolumeBuffer && out->volumeBuffer) {
      ok = std::fread(out->volumeBuffer, 1, expected, f) == expected;
    } else {
      for (SliceRecord* s : out->slices) {
        const size_t n = s->pixelBytes();
        if (!s->pixels || std::fread(s->pixels, 1, n, f) != n) {
          ok = false;
          break;
        }
      }
    }
    if (ok) {
      for (SliceRecord* s : out->slices) s->pixelsLoaded = true;
      failedSlices.clear();
      sliceTotal.store(static_cast<int>(out->slices.size()), std::memory_order_release);
      loadedCount.store(static_cast<int>(out->slices.size()), std::memory_order_release);
    }
  }
  std::fclose(f);
  return ok;
}

void isBinReader::execute(isImageData*, isImageData* out) {
  if (cacheFileName.empty() || !hasValidHeader) return;
  if (!out) return;
  out->updateInformation();
  if (!out->hasData) return;
  const std::string rawPath = rawPathForCache(cacheFileName);

  uint64_t expected = 0;
  if (out->volumeLayout && out->ownsVolumeBuffer) {
    expected = static_cast<uint64_t>(out->dimensions[0]) * static_cast<uint64_t>(out->dimensions[1]) *
               static_cast<uint64_t>(out->dimensions[2]) * static_cast<uint64_t>(bytesPerSample(out->elementType));
  } else {
    for (SliceRecord* s : out->slices) expected += s->pixelBytes();
  }
  if (expected == 0) return;

  const long size = fileSize(rawPath);
  if (size >= 0 && static_cast<uint64_t>(size) == expected) {
    if (loadRawFile(out, rawPath, expected)) return;
  }
  // A pixel file of the wrong size, or one that could not be read whole, is
  // not trusted: decode the files again.
  if (size >= 0) std::remove(rawPath.c_str());

  if (loadingThread)
    loadingThread->cancelAllRequests();
  else
    loadingThread = new dcmLoadingThread();

  std::vector<loadingRequest*> requests;
  {
    std::lock_guard<std::recursive_mutex> lock(dataMutex);
    ++generation;
    failedSlices.clear();
    loadedCount.store(0, std::memory_order_release);
    sliceTotal.store(static_cast<int>(out->slices.size()), std::memory_order_release);
    requests.reserve(out->slices.size());
    for (size_t i = 0; i < out->slices.size(); ++i) {
      const SliceRecord* s = out->slices[i];
      auto* r = new loadingRequest();
      r->text = s->filePath;
      r->key = keyOf(s->filePath);
      r->owner = this;
      r->index = static_cast<int32_t>(i);
      r->pixelCount = static_cast<int32_t>(static_cast<int64_t>(s->frameCount) * s->height * s->width);
      r->frame = i < sliceFrames.size() ? sliceFrames[i] : 0;
      r->generation = generation;
      requests.push_back(r);
    }
  }
  for (loadingRequest* r : requests) {
    loadingThread->addRequest(r);
    r->release();
  }
}

void isBinReader::onImageLoaded(loadingRequest* request) {
  if (!request || request->cancelled) return;
  std::vector<void*> arrivedFor;
  int loaded = 0, total = 0;
  uint32_t batch = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(dataMutex);
    if (request->generation != generation || !outputImage) return;
    std::vector<SliceRecord*>& slices = outputImage->slices;
    SliceRecord* slice = nullptr;
    const size_t at = static_cast<size_t>(request->index);
    if (request->index >= 0 && at < slices.size() && keyOf(slices[at]->filePath) == request->key) {
      slice = slices[at];
    } else {
      for (SliceRecord* s : slices)
        if (keyOf(s->filePath) == request->key) {
          slice = s;
          break;
        }
    }
    if (!slice || !slice->pixels) return;
    const int64_t n = static_cast<int64_t>(slice->frameCount) * slice->height * slice->width;
    const bool usable = request->pixels && n == request->pixelCount && typesMatch(slice->elementType, request->pixelType);
    if (usable) {
      convertSamples(request->pixels, slice->pixels, static_cast<size_t>(n), slice->elementType, slice->displayCode,
                     slice->rescaleSlope, slice->rescaleIntercept);
    } else {
      // Not decodable as the scan described it: shown as zeros, reported,
      // and the load still completes.
      std::memset(slice->pixels, 0, slice->pixelBytes());
      failedSlices.push_back(request->index);
      cocos2d::log("Load image failed:%s", request->text.c_str());
    }
    slice->pixelsLoaded = true;
    for (auto it = waiters.begin(); it != waiters.end();) {
      if (it->second == request->key) {
        arrivedFor.push_back(it->first);
        it = waiters.erase(it);
      } else {
        ++it;
      }
    }
    loaded = loadedCount.fetch_add(1, std::memory_order_acq_rel) + 1;
    total = sliceTotal.load(std::memory_order_acquire);
    batch = generation;
  }

  auto* data = new NSUI::NSNotificationData();
  data->indexValue = static_cast<int>(identifierHash.load(std::memory_order_acquire));
  data->floatValue = total > 0 ? static_cast<float>(loaded) / static_cast<float>(total) : 1.0f;
  post(this, NOTIFY_LOADING_PROGRESS, data, nullptr, true);
  data->release();
  if (auto* centre = NSUI::NSNotificationCenter::getInstance())
    for (void* requester : arrivedFor) centre->postNotificationIndex(this, request->key, requester);

  if (loaded == total) finishLoad(batch);
}

void isBinReader::finishLoad(uint32_t batch) {
  const std::string rawPath = rawPathForCache(cacheFileName);
  int failed = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(dataMutex);
    if (batch != generation) return;
    failed = static_cast<int>(failedSlices.size());
  }
  if (failed == 0 && fileSize(rawPath) < 0) {
    // Best effort: written slice by slice under the data lock (the buffers
    // cannot be freed meanwhile), abandoned when the batch changes, and only
    // renamed into place when complete.
    static std::atomic<unsigned> counter{0};
    const std::string temp =
        rawPath + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".part.raw";
    FILE* f = std::fopen(temp.c_str(), "wb");
    bool ok = f != nullptr;
    if (f) {
      size_t count = 0;
      for (size_t i = 0; ok; ++i) {
        std::lock_guard<std::recursive_mutex> lock(dataMutex);
        if (batch != generation || !outputImage) {
          ok = false;
          break;
        }
        count = outputImage->slices.size();
        if (i >= count) break;
        const SliceRecord* s = outputImage->slices[i];
        const size_t n = s->pixelBytes();
        if (!s->pixels || std::fwrite(s->pixels, 1, n, f) != n) ok = false;
      }
      if (std::fclose(f) != 0) ok = false;
      if (!ok || std::rename(temp.c_str(), rawPath.c_str()) != 0) {
        std::remove(temp.c_str());
        if (ok) cocos2d::log("Could not store pixel cache:%s", rawPath.c_str());
      }
    }
  }
  {
    std::lock_guard<std::recursive_mutex> lock(dataMutex);
    if (batch != generation) return;
  }
  auto* data = new NSUI::NSNotificationData();
  data->intValue = failed;
  post(this, NOTIFY_4D_LOADED, data, nullptr, false);
  data->release();
}

void isBinReader::prioritizeImage(void* requester, std::string filePath) {
  if (!loadingThread) return;
  const int key = keyOf(filePath);
  loadingThread->prioritizeRequest(key);
  bool arrived = false;
  {
    std::lock_guard<std::recursive_mutex> lock(dataMutex);
    // A slice that is already there is announced at once: registering a
    // waiter for it would wait for ever.
    if (outputImage && loadedCount.load(std::memory_order_acquire) > 0) {
      for (SliceRecord* s : outputImage->slices)
        if (s->pixelsLoaded && keyOf(s->filePath) == key) {
          arrived = true;
          break;
        }
    }
    if (!arrived) {
      const auto entry = std::make_pair(requester, key);
      if (std::find(waiters.begin(), waiters.end(), entry) == waiters.end()) waiters.push_back(entry);
    }
  }
  if (arrived)
    if (auto* centre = NSUI::NSNotificationCenter::getInstance()) centre->postNotificationIndex(this, key, requester);
}

bool isBinReader::isLoadComplete() {
  if (!outputImage || cacheFileName.empty() || !hasValidHeader) return false;
  const int slices = outputImage->getSliceCount();
  return loadedCount.load(std::memory_order_acquire) >= slices;
}

std::vector<int32_t> isBinReader::getFailedSlices() {
  std::lock_guard<std::recursive_mutex> lock(dataMutex);
  return failedSlices;
}

}  // namespace isImageSDK
