#include "imaging/core/isImageData.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

#include "imaging/core/isGeometry.h"
#include "imaging/core/isMatrixOps.h"

#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

namespace {

// Broadcast, serial kind, no payload; from whichever thread builds the image.
// During teardown there may be no centre left to tell.
void postOutOfMemory() {
  if (auto* centre = NSUI::NSNotificationCenter::getInstance()) {
    centre->postNotification(nullptr, NOTIFY_OUT_OF_MEMORY, nullptr, nullptr, false);
  }
}

// Asks the kernel for huge pages behind the whole 2 MB blocks of a large,
// not yet touched buffer: writing a volume for the first time then takes one
// page fault per 2 MB instead of one per 4 KB. Only advice: nothing changes
// where the system does not offer them.
void preferHugePages(void* buffer, uint64_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  const auto start = (reinterpret_cast<uintptr_t>(buffer) + kHuge - 1) & ~(kHuge - 1);
  const auto end = (reinterpret_cast<uintptr_t>(buffer) + bytes) & ~(kHuge - 1);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)buffer;
  (void)bytes;
#endif
}

// Same layout and place: sizes, codes, modality, element type, spacing
// within 0.001 and all 16 matrix entries within 0.0001.
bool sameSliceGeometry(const SliceRecord& a, const SliceRecord& b) {
  if (a.width != b.width || a.height != b.height) return false;
  if (a.positionCode != b.positionCode || a.feetFirstCode != b.feetFirstCode) return false;
  if (a.modality != b.modality || a.elementType != b.elementType) return false;
  if (!(std::fabs(a.spacingX - b.spacingX) <= 0.001f)) return false;
  if (!(std::fabs(a.spacingY - b.spacingY) <= 0.001f)) return false;
  for (int i = 0; i < 16; ++i) {
    if (!(std::fabs(a.matrix.m[i] - b.matrix.m[i]) <= 0.0001f)) return false;
  }
  return true;
}

cocos2d::Vec3 positionOf(const SliceRecord& s) { return detail::column(s.matrix, 3); }

float distance(const cocos2d::Vec3& a, const cocos2d::Vec3& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void freeRecord(SliceRecord* record) {
  if (!record) return;
  std::free(record->pixels);
  delete record;
}

// Smallest distance between consecutive slices that still makes a stack;
// slices closer than this (an MR cine at one location, for instance) do not
// form a volume.
constexpr float kMinStackSpacing = 0.01f;

}  // namespace

isImageData* isImageData::create() { return initCreated(new (std::nothrow) isImageData()); }

isImageData::~isImageData() { isImageData::clear(); }

bool isImageData::init() {
  isFilterObject::init();
  reset();
  return true;
}

void isImageData::clear() {
  if (nextFrame) {
    isImageData* next = nextFrame;
    nextFrame = nullptr;
    next->release();
  }
  isFilterObject::clear();
  releaseSlices();
}

void isImageData::releaseSlices() {
  auto* volumeStart = static_cast<unsigned char*>(volumeBuffer);
  auto* volumeEnd = volumeStart ? volumeStart + volumeBytes_ : nullptr;
  for (SliceRecord* record : slices) {
    if (!record) continue;
    auto* p = static_cast<unsigned char*>(record->pixels);
    // Samples inside the volume buffer go with it; every other buffer is the
    // slice's own (also after a slice was appended to a built volume).
    const bool inVolume = volumeStart && p >= volumeStart && p < volumeEnd;
    if (!inVolume) std::free(record->pixels);
    delete record;
  }
  slices.clear();
  if (volumeBuffer) std::free(volumeBuffer);
  volumeBuffer = nullptr;
  volumeBytes_ = 0;
  firstFrame = nullptr;
  nextFrame = nullptr;
  frameCount = 1;
}

void isImageData::reset() {
  dataMatrix = cocos2d::Mat4();
  userMatrix = cocos2d::Mat4();
  worldMatrix = cocos2d::Mat4();
  volumeBuffer = nullptr;
  volumeBytes_ = 0;
  spacing[0] = spacing[1] = spacing[2] = 1.0f;
  dimensions[0] = dimensions[1] = dimensions[2] = 0;
  volumeLayout = false;
  ownsVolumeBuffer = false;
  hasData = false;
  positionCode = 0;
  feetFirstCode = 0;
  elementType = ELEMENT_INT16;
  slices.clear();
  identifier.clear();
  description.clear();
  multiFrame = false;
  frameCount = 1;
  nextFrame = nullptr;
  firstFrame = nullptr;
  currentFrame = 0;
  frameLinked = true;
}

SliceRecord* isImageData::addSlice(const int32_t* size, int frames, const float* sp, int type,
                                   int posCode, int feetCode, const cocos2d::Mat4& matrix) {
  const int32_t w = size ? size[0] : 0;
  const int32_t h = size ? size[1] : 0;
  const float sx = sp ? sp[0] : 1.0f;
  const float sy = sp ? sp[1] : 1.0f;
  if (frames < 1) frames = 1;
  if (frames > INT16_MAX) frames = INT16_MAX;

  dimensions[0] = w;
  dimensions[1] = h;
  spacing[0] = sx;
  spacing[1] = sy;
  dimensions[2] += 1;
  spacing[2] = 1.0f;
  volumeLayout = false;
  hasData = true;
  positionCode = posCode;
  feetFirstCode = feetCode;
  elementType = type;
  dataMatrix = matrix;
  worldMatrix = matrix;

  auto* record = new (std::nothrow) SliceRecord();
  void* buffer = nullptr;
  if (record) {
    record->elementType = type;
    record->width = w;
    record->height = h;
    record->frameCount = static_cast<int16_t>(frames);
    record->spacingX = sx;
    record->spacingY = sy;
    record->positionCode = posCode;
    record->feetFirstCode = feetCode;
    record->matrix = matrix;
    const bool sane = w >= 0 && h >= 0;
    const uint64_t bytes = static_cast<uint64_t>(sane ? w : 0) * static_cast<uint64_t>(sane ? h : 0) *
                           static_cast<uint64_t>(frames) * static_cast<uint64_t>(bytesPerSample(type));
    if (sane && bytes < kMaxBufferBytes) buffer = std::malloc(std::max<uint64_t>(bytes, 1));
  }
  if (!buffer) {
    delete record;
    dimensions[2] -= 1;
    if (dimensions[2] < 1) hasData = false;
    postOutOfMemory();
    return nullptr;
  }
  record->pixels = buffer;
  ownsVolumeBuffer = false;
  slices.push_back(record);
  return record;
}

bool isImageData::addSliceCopy(const SliceRecord* record) {
  if (!record) return false;
  const int32_t size[2] = {record->width, record->height};
  const float sp[2] = {record->spacingX, record->spacingY};
  SliceRecord* slice = addSlice(size, record->frameCount, sp, record->elementType, record->positionCode,
                                record->feetFirstCode, record->matrix);
  if (!slice) return false;
  slice->copyFields(*record);
  // The copy describes the same geometry, known or not.
  slice->geometryValid = record->geometryValid;
  slice->pixelSpacingKnown = record->pixelSpacingKnown;
  const size_t bytes = slice->pixelBytes();
  if (record->pixels) {
    std::memcpy(slice->pixels, record->pixels, bytes);
  } else {
    std::memset(slice->pixels, 0, bytes);
  }
  slice->pixelsLoaded = record->pixelsLoaded;
  return slice->pixelsLoaded;
}

bool isImageData::buildVolume(const int32_t* d, const float* s, int type, int posCode, int feetCode,
                              const cocos2d::Mat4& matrix) {
  releaseSlices();
  reset();
  if (!d || !s || d[2] < 1 || d[0] < 0 || d[1] < 0) return false;

  dimensions[0] = d[0];
  dimensions[1] = d[1];
  dimensions[2] = d[2];
  spacing[0] = s[0];
  spacing[1] = s[1];
  spacing[2] = s[2];
  volumeLayout = d[2] > 1;
  hasData = true;
  positionCode = posCode;
  feetFirstCode = feetCode;
  elementType = type;
  dataMatrix = matrix;
  worldMatrix = matrix;

  slices.reserve(static_cast<size_t>(d[2]));
  for (int32_t i = 0; i < d[2]; ++i) {
    auto* record = new (std::nothrow) SliceRecord();
    if (!record) {
      releaseSlices();
      reset();
      postOutOfMemory();
      return false;
    }
    record->width = d[0];
    record->height = d[1];
    record->frameCount = 1;
    record->spacingX = s[0];
    record->spacingY = s[1];
    record->positionCode = posCode;
    record->feetFirstCode = feetCode;
    record->elementType = type;
    record->matrix = detail::translated(worldMatrix, 0.0f, 0.0f, static_cast<float>(i) * s[2]);
    slices.push_back(record);
  }

  const uint64_t sliceBytes = static_cast<uint64_t>(d[0]) * static_cast<uint64_t>(d[1]) *
                              static_cast<uint64_t>(bytesPerSample(type));
  if (volumeLayout) {
    const uint64_t bytes = sliceBytes * static_cast<uint64_t>(d[2]);
    if (bytes < kMaxBufferBytes) {
      void* buffer = std::calloc(std::max<uint64_t>(bytes, 1), 1);
      if (buffer) {
        preferHugePages(buffer, bytes);
        volumeBuffer = buffer;
        volumeBytes_ = bytes;
        for (int32_t i = 0; i < d[2]; ++i) {
          slices[i]->pixels = static_cast<unsigned char*>(buffer) + static_cast<uint64_t>(i) * sliceBytes;
        }
        ownsVolumeBuffer = true;
        return true;
      }
    }
  }
  // One buffer per slice.
  for (SliceRecord* record : slices) {
    record->pixels = sliceBytes < kMaxBufferBytes ? std::calloc(std::max<uint64_t>(sliceBytes, 1), 1) : nullptr;
    if (!record->pixels) {
      releaseSlices();
      reset();
      postOutOfMemory();
      return false;
    }
  }
  ownsVolumeBuffer = false;
  return true;
}

void isImageData::applyTransform(const cocos2d::Mat4& m) {
  for (isImageData* image = this; image; image = image->nextFrame) {
    image->updateInformation();
    image->userMatrix = m;
    if (image->volumeLayout) {
      image->worldMatrix = detail::multiply(image->userMatrix, image->dataMatrix);
      for (size_t i = 0; i < image->slices.size(); ++i) {
        image->slices[i]->matrix =
            detail::translated(image->worldMatrix, 0.0f, 0.0f, static_cast<float>(i) * image->spacing[2]);
      }
    } else {
      for (SliceRecord* record : image->slices) record->matrix = detail::multiply(m, record->matrix);
    }
    if (image->nextFrame == this) break;  // never loop round a ring of frames
  }
}

void* isImageData::getScalarPointer() {
  if (!volumeLayout) return nullptr;
  update();
  return volumeBuffer;
}

void isImageData::getSpacing(float* out) {
  updateInformation();
  if (!out) return;
  out[0] = spacing[0];
  out[1] = spacing[1];
  out[2] = spacing[2];
}

void isImageData::getSpacing(float& x, float& y, float& z) {
  float v[3];
  getSpacing(v);
  x = v[0];
  y = v[1];
  z = v[2];
}

void isImageData::getDimensions(int32_t* out) {
  updateInformation();
  if (!out) return;
  out[0] = dimensions[0];
  out[1] = dimensions[1];
  out[2] = dimensions[2];
}

void isImageData::getDimensions(int32_t& x, int32_t& y, int32_t& z) {
  int32_t v[3];
  getDimensions(v);
  x = v[0];
  y = v[1];
  z = v[2];
}

int isImageData::getSliceCount() {
  updateInformation();
  return dimensions[2];
}

bool isImageData::isVolume() {
  updateInformation();
  return volumeLayout;
}

SliceRecord* isImageData::getSlice(int index) {
  update();
  if (index < 0 || index >= dimensions[2] || static_cast<size_t>(index) >= slices.size()) return nullptr;
  return slices[static_cast<size_t>(index)];
}

bool isImageData::isInvertedGrey() {
  update();
  return !slices.empty() && slices[0]->displayCode > 1;
}

void isImageData::getDefaultWindow(float* width, float* centre) {
  update();
  if (slices.empty()) return;
  if (width) *width = slices[0]->windowWidth;
  if (centre) *centre = slices[0]->windowCenter;
}

void isImageData::setIdentifier(const std::string& text) {
  const std::string copy = text;  // the text may belong to a frame of the chain
  for (isImageData* image = this; image; image = image->nextFrame) {
    image->identifier = copy;
    if (image->nextFrame == this) break;
  }
}

void isImageData::setDescription(const std::string& text) {
  const std::string copy = text;
  for (isImageData* image = this; image; image = image->nextFrame) {
    image->description = copy;
    if (image->nextFrame == this) break;
  }
}

// ---------------------------------------------------------------------------
// Multi-frame sets

bool isImageData::isRegularStack(int n) {
  if (n < 1 || static_cast<size_t>(n) > slices.size()) return false;
  const SliceRecord& ref = *slices[0];
  const cocos2d::Vec3 origin = positionOf(ref);
  const cocos2d::Vec3 normal = detail::column(ref.matrix, 2);
  for (int i = 0; i < n; ++i) {
    const SliceRecord& s = *slices[static_cast<size_t>(i)];
    if (s.width != ref.width || s.height != ref.height) return false;
    if (s.positionCode != ref.positionCode || s.feetFirstCode != ref.feetFirstCode) return false;
    if (s.modality != ref.modality || s.elementType != ref.elementType) return false;
    if (!(std::fabs(s.spacingX - ref.spacingX) <= 0.001f)) return false;
    if (!(std::fabs(s.spacingY - ref.spacingY) <= 0.001f)) return false;
    for (int c = 0; c < 3; ++c) {
      for (int r = 0; r < 3; ++r) {
        if (!(std::fabs(s.matrix.m[c * 4 + r] - ref.matrix.m[c * 4 + r]) <= 0.0001f)) return false;
      }
    }
    if (!(pointToLineDistance(positionOf(s), origin, normal) <= 0.01f)) return false;
  }
  if (n < 2) return true;
  const float step = distance(positionOf(*slices[1]), origin);
  // Coincident positions are a plain series, not a volume of spacing 0.
  if (!(step > kMinStackSpacing)) return false;
  for (int i = 1; i + 1 < n; ++i) {
    const float d = distance(positionOf(*slices[static_cast<size_t>(i + 1)]), positionOf(*slices[static_cast<size_t>(i)]));
    if (!(std::fabs(d - step) <= 0.01f)) return false;
  }
  return true;
}

int isImageData::detectFrameLayout() {
  if (volumeLayout || slices.empty()) return FRAME_LAYOUT_NONE;
  const SliceRecord& first = *slices[0];
  const int16_t a = first.sliceCountPerVolume;
  if (a < 2) return FRAME_LAYOUT_NONE;
  int code;
  int16_t b;
  if (first.timeSliceCount >= 2) {
    code = FRAME_LAYOUT_DYNAMIC;
    b = first.timeSliceCount;
  } else if (first.timeSlotCount >= 2) {
    code = FRAME_LAYOUT_GATED;
    b = first.timeSlotCount;
  } else {
    return FRAME_LAYOUT_NONE;
  }
  if (static_cast<size_t>(a) * static_cast<size_t>(b) != slices.size()) return FRAME_LAYOUT_NONE;
  for (const SliceRecord* s : slices) {
    if (s->sliceCountPerVolume != a) return FRAME_LAYOUT_NONE;
    const int16_t phases = code == FRAME_LAYOUT_DYNAMIC ? s->timeSliceCount : s->timeSlotCount;
    if (phases != b) return FRAME_LAYOUT_NONE;
  }
  if (!isRegularStack(a)) return FRAME_LAYOUT_NONE;
  for (size_t i = static_cast<size_t>(a); i < slices.size(); ++i) {
    if (!sameSliceGeometry(*slices[i], *slices[i % static_cast<size_t>(a)])) return FRAME_LAYOUT_NONE;
  }
  return code;
}

namespace {

// Copies the kept records of one phase into the slices of a freshly built
// volume, freeing the records.
void fillFrame(isImageData* frame, std::vector<SliceRecord*>& records, size_t begin, size_t count) {
  for (size_t j = 0; j < count; ++j) {
    SliceRecord* record = records[begin + j];
    SliceRecord* slice = frame->slices[j];
    slice->copyFields(*record);
    slice->geometryValid = record->geometryValid;
    slice->pixelSpacingKnown = record->pixelSpacingKnown;
    if (record->pixels && slice->pixels) {
      std::memcpy(slice->pixels, record->pixels, std::min(slice->frameBytes(), record->frameBytes()));
    }
    freeRecord(record);
    records[begin + j] = nullptr;
  }
}

}  // namespace

void isImageData::splitFrames() {
  const int code = detectFrameLayout();
  if (code == FRAME_LAYOUT_NONE) return;
  frameCount = 1;

  const SliceRecord& last = *slices.back();
  const size_t g = static_cast<size_t>(last.sliceCountPerVolume);
  const size_t b = static_cast<size_t>(code == FRAME_LAYOUT_DYNAMIC ? last.timeSliceCount : last.timeSlotCount);

  // Every phase must run along its normal: when the stack runs against it,
  // reverse the order inside each phase.
  {
    cocos2d::Vec3 d = positionOf(last) - positionOf(*slices.front());
    cocos2d::Vec3 n = detail::column(last.matrix, 2);
    const double dl = d.length(), nl = n.length();
    if (dl > 0.0 && nl > 0.0) {
      double c = (static_cast<double>(d.x) * n.x + static_cast<double>(d.y) * n.y + static_cast<double>(d.z) * n.z) /
                 (dl * nl);
      c = std::max(-1.0, std::min(1.0, c));
      if (std::acos(c) > 1.0) {
        for (size_t begin = 0; begin + g <= slices.size(); begin += g) {
          std::reverse(slices.begin() + static_cast<std::ptrdiff_t>(begin),
                       slices.begin() + static_cast<std::ptrdiff_t>(begin + g));
        }
      }
    }
  }

  const float step = distance(positionOf(*slices[0]), positionOf(*slices[1]));
  const std::string keptIdentifier = identifier;
  const std::string keptDescription = description;
  const cocos2d::Mat4 keptUser = userMatrix;
  const int type = elementType;
  const int posCode = positionCode;
  const int feetCode = feetFirstCode;

  std::vector<SliceRecord*> records;
  records.swap(slices);
  const SliceRecord& head = *records[0];
  const int32_t dims[3] = {head.width, head.height, static_cast<int32_t>(g)};
  const float sp[3] = {head.spacingX, head.spacingY, step};
  // All frames share one placement: the first slice of the first phase, so
  // that slice i of every frame lies where its records lay.
  const cocos2d::Mat4 placement = head.matrix;

  auto freeFrom = [&records](size_t begin) {
    for (size_t i = begin; i < records.size(); ++i) {
      freeRecord(records[i]);
      records[i] = nullptr;
    }
  };

  if (!buildVolume(dims, sp, type, posCode, feetCode, placement)) {
    freeFrom(0);
    releaseSlices();
    reset();
    return;
  }
  fillFrame(this, records, 0, g);
  firstFrame = this;

  isImageData* previous = this;
  for (size_t k = 1; k < b; ++k) {
    isImageData* frame = isImageData::create();
    if (!frame || !frame->buildVolume(dims, sp, type, posCode, feetCode, placement)) {
      freeFrom(k * g);
      if (frame) {
        frame->releaseSlices();
        frame->reset();
        frame->release();
      }
      return;
    }
    fillFrame(frame, records, k * g, g);
    previous->nextFrame = frame;  // the chain holds the only reference
    frame->firstFrame = this;
    previous = frame;
  }

  setIdentifier(keptIdentifier);
  setDescription(keptDescription);
  applyTransform(keptUser);
  frameCount = static_cast<int32_t>(b);
  multiFrame = true;
}

isImageData* isImageData::createFrameSet(const std::vector<isImageData*>& images) {
  if (images.empty()) return nullptr;
  isImageData* first = images[0];
  if (!first) return nullptr;
  for (size_t i = 0; i < images.size(); ++i) {
    isImageData* image = images[i];
    if (!image) return nullptr;
    // The same image twice would link a frame to itself.
    for (size_t j = 0; j < i; ++j) {
      if (images[j] == image) return nullptr;
    }
    image->updateInformation();
    if (!image->volumeLayout || image->slices.size() != first->slices.size()) return nullptr;
  }
  for (isImageData* image : images) {
    for (size_t i = 0; i < image->slices.size(); ++i) {
      if (!sameSliceGeometry(*image->slices[i], *first->slices[i])) return nullptr;
    }
  }
  first->firstFrame = first;
  for (size_t k = 1; k < images.size(); ++k) {
    isImageData* previous = images[k - 1];
    isImageData* frame = images[k];
    frame->retain();
    if (previous->nextFrame) previous->nextFrame->release();
    previous->nextFrame = frame;
    frame->firstFrame = first;
  }
  first->multiFrame = true;
  first->frameCount = static_cast<int32_t>(images.size());
  return first;
}

isImageData* isImageData::getFirstFrame() {
  if (!frameLinked || !firstFrame) return this;
  return firstFrame;
}

bool isImageData::isMultiFrame() const { return firstFrame && firstFrame->multiFrame; }

isImageData* isImageData::getFrame(int index) {
  if (!frameLinked || !firstFrame) return this;
  if (index < 0 || index >= firstFrame->frameCount) return nullptr;
  isImageData* frame = firstFrame;
  for (int i = 0; i < index && frame; ++i) frame = frame->nextFrame;
  return frame;
}

}  // namespace isImageSDK
