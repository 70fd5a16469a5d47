// dcmReader: tags and decoded pixels of one file.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "dcmsdk/src/internal.h"

#include <dcmtk/dcmimgle/dcmimage.h>

namespace dcmSDK {

using namespace detail;

struct dcmReader::Impl {
  int language = 0;
  std::unique_ptr<LoadedFile> file;
  std::string lastError;
  std::vector<uint8_t> pixels;  // decoded samples of all frames
  bool pixelsDone = false;
  const void* pixelPtr = nullptr;
  PixelType pixelType = PIXEL_UNUSABLE;
  int64_t pixelCount = 0;

  bool fail(const std::string& why) {
    lastError = why;
    logLine(why);
    return false;
  }
  // Inside a catch handler: the exception becomes a failure with its reason,
  // so that none leaves the library.
  bool failException(const std::string& where, const char* during) {
    return fail((where.empty() ? std::string() : where + ": ") + exceptionText(during));
  }
  std::string where() const { return file ? file->path : std::string(); }
  bool decode();
  bool decodeGrey(const PixelInfo& info);
  bool decodeColour(const PixelInfo& info);
};

namespace {

DcmElement* pixelElement(DcmDataset* ds) {
  DcmElement* el = nullptr;
  if (ds->findAndGetElement(DCM_PixelData, el, OFFalse).bad()) return nullptr;
  return el;
}

// Masks the stored bits out of a sample and sign-extends them.
template <typename T>
void maskSamples(const T* src, T* dst, size_t n, const PixelInfo& info) {
  const unsigned bits = info.bitsStored;
  const unsigned shift = info.highBit + 1u - bits;
  const unsigned full = sizeof(T) * 8;
  if (bits == full && shift == 0) {
    std::memcpy(dst, src, n * sizeof(T));
    return;
  }
  const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
  const uint32_t sign = 1u << (bits - 1);
  const bool isSigned = info.pixelRep != 0;
  for (size_t i = 0; i < n; ++i) {
    uint32_t v = (static_cast<uint32_t>(src[i]) >> shift) & mask;
    if (isSigned && (v & sign)) v |= ~mask;
    dst[i] = static_cast<T>(v);
  }
}

// Drops a value read from the file; the toolkit reads it again when it is
// asked for. Not for big-endian files: the value would come back without
// its bytes swapped.
void releaseValue(LoadedFile& f, DcmElement* el) {
  if (!DcmXfer(f.ds()->getOriginalXfer()).isBigEndian()) el->compact();
}

// True when every bit of a sample is stored: the values need no masking.
bool wholeSamples(const PixelInfo& info, unsigned bits) {
  return info.bitsStored == bits && info.highBit + 1u == bits;
}

}  // namespace

bool dcmReader::Impl::decodeGrey(const PixelInfo& info) {
  DcmDataset* ds = file->ds();
  DcmElement* el = pixelElement(ds);
  if (!el) return fail(file->path + ": no pixel data");
  std::string err;
  if (!checkNativeLength(*file, info, err)) return fail(file->path + ": " + err);
  const uint64_t need = nativeBytes(info);
  const size_t n = size_t(info.rows) * info.cols * size_t(info.frames);
  if (info.bitsAllocated == 16) {
    Uint16* src = nullptr;
    if (el->getUint16Array(src).bad() || !src || uint64_t(el->getLength()) < need)
      return fail(file->path + ": pixel data cannot be read");
    pixelType = PIXEL_16;
    pixelCount = static_cast<int64_t>(n);
    if (wholeSamples(info, 16)) {
      pixelPtr = src;  // nothing to mask: the loaded element's own values
      return true;
    }
    pixels.resize(n * 2);
    maskSamples(src, reinterpret_cast<uint16_t*>(pixels.data()), n, info);
  } else {
    Uint8* src = nullptr;
    if (el->getUint8Array(src).bad() || !src || uint64_t(el->getLength()) < need)
      return fail(file->path + ": pixel data cannot be read");
    pixelType = PIXEL_8;
    pixelCount = static_cast<int64_t>(n);
    if (wholeSamples(info, 8)) {
      pixelPtr = src;
      return true;
    }
    pixels.resize(n);
    maskSamples(src, pixels.data(), n, info);
  }
  // Values are delivered whole; the loaded element is no longer needed.
  releaseValue(*file, el);
  return true;
}

bool dcmReader::Impl::decodeColour(const PixelInfo& info) {
  DcmDataset* ds = file->ds();
  DcmElement* el = pixelElement(ds);
  if (!el) return fail(file->path + ": no pixel data");
  std::string err;
  if (!checkNativeLength(*file, info, err)) return fail(file->path + ": " + err);
  const uint64_t need = nativeBytes(info);
  const size_t plane = size_t(info.rows) * info.cols;
  const size_t n = plane * size_t(info.frames);
  pixels.resize(n * 3);
  if (info.spp == 3 && info.photometric == "RGB") {
    // Plain RGB: copy or interleave directly.
    Uint8* src = nullptr;
    if (el->getUint8Array(src).bad() || !src || uint64_t(el->getLength()) < need)
      return fail(file->path + ": pixel data cannot be read");
    if (info.planar == 0) {
      std::memcpy(pixels.data(), src, n * 3);
    } else {
      for (int32_t f = 0; f < info.frames; ++f) {
        const uint8_t* s = src + size_t(f) * plane * 3;
        uint8_t* d = pixels.data() + size_t(f) * plane * 3;
        for (size_t i = 0; i < plane; ++i) {
          d[3 * i] = s[i];
          d[3 * i + 1] = s[plane + i];
          d[3 * i + 2] = s[2 * plane + i];
        }
      }
    }
  } else if (ybrFullCovers(info)) {
    Uint8* src = nullptr;
    if (el->getUint8Array(src).bad() || !src || uint64_t(el->getLength()) < need)
      return fail(file->path + ": pixel data cannot be read");
    const size_t frameBytes = static_cast<size_t>(need / uint64_t(info.frames));
    for (int32_t f = 0; f < info.frames; ++f)
      ybrFullToRgb(info, src + size_t(f) * frameBytes, pixels.data() + size_t(f) * plane * 3);
  } else {
    // Other YBR models and palettes go through DCMTK's image toolkit.
    DicomImage img(ds, EXS_LittleEndianExplicit, 0UL, 0UL,
                   static_cast<unsigned long>(info.frames));
    if (img.getStatus() != EIS_Normal)
      return fail(file->path + ": colour conversion failed (" +
                  DicomImage::getString(img.getStatus()) + ")");
    if (img.isMonochrome() || img.getWidth() != info.cols || img.getHeight() != info.rows ||
        img.getFrameCount() < static_cast<unsigned long>(info.frames))
      return fail(file->path + ": colour conversion gave an unexpected image");
    for (int32_t f = 0; f < info.frames; ++f) {
      if (!img.getOutputData(pixels.data() + size_t(f) * plane * 3, plane * 3, 8,
                             static_cast<unsigned long>(f), 0))
        return fail(file->path + ": colour conversion of frame " + std::to_string(f + 1) + " failed");
    }
  }
  pixelType = PIXEL_RGB;
  pixelCount = static_cast<int64_t>(n);
  releaseValue(*file, el);
  return true;
}

bool dcmReader::Impl::decode() {
  PixelInfo info;
  std::string err;
  PixelType t;
  if (!readPixelInfo(*file, info, err) || !pixelTypeOf(info, t, err)) return fail(file->path + ": " + err);
  if (!makeNative(*file, info, err)) return fail(file->path + ": " + err);
  if (t == PIXEL_RGB) return decodeColour(info);
  if (info.spp != 1 || (info.bitsAllocated != 8 && info.bitsAllocated != 16))
    return fail(file->path + ": decoded pixel layout is not supported");
  return decodeGrey(info);
}

dcmReader::dcmReader() : d_(std::make_unique<Impl>()) {}
dcmReader::~dcmReader() = default;

void dcmReader::setLanguage(int engineLanguage) {
  d_->language = engineLanguage;
  if (d_->file) d_->file->language = engineLanguage;
}

bool dcmReader::setFile(const char* path) try {
  d_->file.reset();
  d_->pixels.clear();  // keeps its capacity for the next file
  d_->pixelsDone = false;
  d_->pixelPtr = nullptr;
  d_->pixelCount = 0;
  d_->pixelType = PIXEL_UNUSABLE;
  d_->lastError.clear();
  std::string err;
  d_->file = loadDicomFile(path, err);
  if (!d_->file) return d_->fail(err);
  d_->file->language = d_->language;
  return true;
} catch (...) {
  d_->file.reset();
  return d_->failException(path ? path : "", "reading the file");
}

bool dcmReader::readDicomTagString(unsigned short group, unsigned short element, char* buf, int size) try {
  if (!buf || size <= 0) return false;
  buf[0] = '\0';
  if (!d_->file) return false;
  std::string v;
  if (!readTagUtf8(*d_->file, group, element, v)) return false;
  copyUtf8(v, buf, size);
  return true;
} catch (...) {
  if (buf && size > 0) buf[0] = '\0';
  return d_->failException(d_->where(), "reading an element");
}

bool dcmReader::readDicomFrameTagString(int frame, unsigned short group, unsigned short element, char* buf,
                                        int size) try {
  if (!buf || size <= 0) return false;
  buf[0] = '\0';
  if (!d_->file) return false;
  std::string v;
  if (!readFrameTagUtf8(*d_->file, frame, group, element, v)) return false;
  copyUtf8(v, buf, size);
  return true;
} catch (...) {
  if (buf && size > 0) buf[0] = '\0';
  return d_->failException(d_->where(), "reading a frame's element");
}

bool dcmReader::readDicomTagUint16(unsigned short group, unsigned short element, unsigned short& value) try {
  if (!d_->file) return false;
  DcmDataset* ds = d_->file->ds();
  DcmElement* el = nullptr;
  if (ds->findAndGetElement(DcmTagKey(group, element), el, OFFalse).bad() || !el) return false;
  switch (el->ident()) {
    case EVR_US: {
      Uint16 v;
      if (el->getUint16(v).bad()) return false;
      value = v;
      return true;
    }
    case EVR_SS: {
      Sint16 v;
      if (el->getSint16(v).bad() || v < 0) return false;
      value = static_cast<unsigned short>(v);
      return true;
    }
    case EVR_UL: {
      Uint32 v;
      if (el->getUint32(v).bad() || v > 65535) return false;
      value = static_cast<unsigned short>(v);
      return true;
    }
    case EVR_SL: {
      Sint32 v;
      if (el->getSint32(v).bad() || v < 0 || v > 65535) return false;
      value = static_cast<unsigned short>(v);
      return true;
    }
    default: break;
  }
  std::string text;
  if (!readTagUtf8(*d_->file, group, element, text)) return false;
  const char* s = text.c_str();
  while (*s == ' ') ++s;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s, &end);
  if (end == s || errno == ERANGE || !std::isfinite(v)) return false;
  v = std::trunc(v);
  if (v < 0 || v > 65535) return false;
  value = static_cast<unsigned short>(v);
  return true;
} catch (...) {
  return d_->failException(d_->where(), "reading an element");
}

bool dcmReader::readDicomPixelType(PixelType& type) try {
  if (!d_->file) return false;
  PixelInfo info;
  std::string err;
  if (!readPixelInfo(*d_->file, info, err) || !pixelTypeOf(info, type, err)) {
    d_->lastError = d_->file->path + ": " + err;
    return false;
  }
  return true;
} catch (...) {
  return d_->failException(d_->where(), "reading the pixel description");
}

const void* dcmReader::readDicomPixelPointer(PixelType& type, int64_t& count) {
  count = 0;
  type = PIXEL_UNUSABLE;
  if (!d_->file) return nullptr;
  if (!d_->pixelsDone) {
    d_->pixelsDone = true;
    bool ok = false;
    try {
      ok = d_->decode();
    } catch (...) {
      ok = d_->failException(d_->where(), "decoding");
    }
    if (!ok) {
      d_->pixels.clear();
      d_->pixelPtr = nullptr;
      d_->pixelCount = 0;
      d_->pixelType = PIXEL_UNUSABLE;
    } else if (!d_->pixelPtr) {
      d_->pixelPtr = d_->pixels.data();
    }
  }
  if (!d_->pixelPtr) return nullptr;
  type = d_->pixelType;
  count = d_->pixelCount;
  return d_->pixelPtr;
}

bool dcmReader::convertToPngFile(const char* path, bool thumbnail) {
  if (!d_->file) return false;
  std::string err;
  bool ok = false;
  try {
    ok = convertToPng(*d_->file, path, thumbnail, err);
  } catch (...) {
    return d_->failException(d_->where(), "PNG conversion");
  }
  if (!ok) return d_->fail(d_->file->path + ": " + err);
  d_->lastError.clear();
  return true;
}

const char* dcmReader::getLastError() const { return d_->lastError.c_str(); }

}  // namespace dcmSDK
