#include "engine/platform/Image.h"

#include <png.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <csetjmp>
#include <algorithm>
#include <cctype>
#include <cstring>

#include <jpeglib.h>

#include "engine/base/ccLog.h"
#include "engine/platform/FileUtils.h"

NS_CC_BEGIN

namespace {

bool endsWithNoCase(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
  }
  return true;
}

// A unique sibling name for the temporary file of an atomic write.
std::string temporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(counter.fetch_add(1));
}

bool renameInto(const std::string& tmp, const std::string& path) {
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    log("Image: cannot rename into %s", path.c_str());
    return false;
  }
  return true;
}

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegError*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

void jpegSilent(j_common_ptr) {}

// Refuses empty pictures and headers that claim absurd sizes (a hostile or
// corrupt file must not make the decoder allocate gigabytes): at most
// 32768 pixels a side and 2^28 pixels in all.
bool sizeAcceptable(unsigned long w, unsigned long h) {
  return w > 0 && h > 0 && w <= 32768 && h <= 32768 && w * h <= (1ul << 28);
}

}  // namespace

Image::Image() = default;
Image::~Image() = default;

bool Image::initWithImageFile(const std::string& path) {
  Data data = FileUtils::getInstance()->getDataFromFile(path);
  if (data.isNull()) {
    log("Image: cannot read %s", path.c_str());
    return false;
  }
  if (!initWithImageData(data.getBytes(), data.getSize())) {
    log("Image: cannot decode %s", path.c_str());
    return false;
  }
  return true;
}

bool Image::initWithImageData(const unsigned char* data, ssize_t dataLen) {
  _data.clear();
  _width = _height = _components = 0;
  _premultiplied = false;
  _fileType = Format::UNKNOWN;
  if (!data || dataLen < 8) return false;
  static const unsigned char pngSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (std::memcmp(data, pngSig, 8) == 0) return decodePng(data, static_cast<size_t>(dataLen));
  if (data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
    return decodeJpeg(data, static_cast<size_t>(dataLen));
  return false;
}

bool Image::decodePng(const unsigned char* data, size_t len) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, data, len)) return false;
  const bool alpha = (img.format & PNG_FORMAT_FLAG_ALPHA) != 0 || (img.format & PNG_FORMAT_FLAG_COLORMAP);
  // Palette images may carry transparency; decode them with alpha.
  img.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  const int comps = alpha ? 4 : 3;
  if (!sizeAcceptable(img.width, img.height)) {
    png_image_free(&img);
    return false;
  }
  std::vector<unsigned char> pixels;
  try {
    pixels.resize(static_cast<size_t>(img.width) * img.height * comps);
  } catch (const std::bad_alloc&) {
    png_image_free(&img);
    return false;
  }
  if (!png_image_finish_read(&img, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&img);
    return false;
  }
  if (alpha) {
    for (size_t i = 0; i < pixels.size(); i += 4) {
      unsigned a = pixels[i + 3];
      if (a == 255) continue;
      pixels[i] = static_cast<unsigned char>((pixels[i] * a + 127) / 255);
      pixels[i + 1] = static_cast<unsigned char>((pixels[i + 1] * a + 127) / 255);
      pixels[i + 2] = static_cast<unsigned char>((pixels[i + 2] * a + 127) / 255);
    }
  }
  _data = std::move(pixels);
  _width = static_cast<int>(img.width);
  _height = static_cast<int>(img.height);
  _components = comps;
  _premultiplied = alpha;
  _fileType = Format::PNG;
  return true;
}

bool Image::decodeJpeg(const unsigned char* data, size_t len) {
  jpeg_decompress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpegErrorExit;
  err.mgr.output_message = jpegSilent;
  std::vector<unsigned char> pixels;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(len));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_components != 3 || !sizeAcceptable(cinfo.output_width, cinfo.output_height)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  const size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
  try {
    pixels.resize(stride * cinfo.output_height);
  } catch (const std::bad_alloc&) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  _width = static_cast<int>(cinfo.output_width);
  _height = static_cast<int>(cinfo.output_height);
  jpeg_destroy_decompress(&cinfo);
  _data = std::move(pixels);
  _components = 3;
  _premultiplied = false;
  _fileType = Format::JPG;
  return true;
}

bool Image::initWithRawData(const unsigned char* data, ssize_t dataLen, int width, int height,
                            int bitsPerComponent, bool preMulti) {
  _data.clear();
  _width = _height = _components = 0;
  _fileType = Format::UNKNOWN;
  if (!data || width <= 0 || height <= 0 || bitsPerComponent != 8) return false;
  const ssize_t px = static_cast<ssize_t>(width) * height;
  int comps = 0;
  if (dataLen == px * 4) comps = 4;
  else if (dataLen == px * 3) comps = 3;
  else if (dataLen == px * 2) comps = 2;
  else if (dataLen == px) comps = 1;
  else return false;
  _data.assign(data, data + dataLen);
  _width = width;
  _height = height;
  _components = comps;
  _premultiplied = preMulti && (comps == 2 || comps == 4);
  _fileType = Format::RAW_DATA;
  return true;
}

bool Image::writeJpeg(const std::string& path, const unsigned char* rgb, int width, int height,
                      int quality) {
  if (!rgb || width <= 0 || height <= 0) return false;
  const std::string tmp = temporaryNameFor(path);
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    log("Image: cannot write %s", tmp.c_str());
    return false;
  }
  jpeg_compress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpegErrorExit;
  err.mgr.output_message = jpegSilent;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
    std::remove(tmp.c_str());
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const size_t stride = static_cast<size_t>(width) * 3;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<unsigned char*>(rgb) + stride * cinfo.next_scanline;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  const bool ok = std::fflush(f) == 0 && fsync(fileno(f)) == 0;
  if (std::fclose(f) != 0 || !ok) {
    std::remove(tmp.c_str());
    return false;
  }
  return renameInto(tmp, path);
}

bool Image::writePng(const std::string& path, const unsigned char* pixels, int width, int height,
                     int components) {
  if (!pixels || width <= 0 || height <= 0 || components < 1 || components > 4) return false;
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = static_cast<png_uint_32>(width);
  img.height = static_cast<png_uint_32>(height);
  static const png_uint_32 formats[5] = {0, PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB,
                                         PNG_FORMAT_RGBA};
  img.format = formats[components];
  const std::string tmp = temporaryNameFor(path);
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    log("Image: cannot write %s", tmp.c_str());
    return false;
  }
  const bool written = png_image_write_to_stdio(&img, f, 0, pixels, 0, nullptr) != 0;
  const bool ok = written && std::fflush(f) == 0 && fsync(fileno(f)) == 0;
  png_image_free(&img);
  if (std::fclose(f) != 0 || !ok) {
    std::remove(tmp.c_str());
    return false;
  }
  return renameInto(tmp, path);
}

bool Image::saveToFile(const std::string& path, bool isToRGB) {
  if (_data.empty() || _width <= 0 || _height <= 0) return false;
  const size_t px = static_cast<size_t>(_width) * _height;
  const bool jpeg = endsWithNoCase(path, ".jpg") || endsWithNoCase(path, ".jpeg");
  const bool png = endsWithNoCase(path, ".png");
  if (!jpeg && !png) {
    log("Image: unsupported file type for %s", path.c_str());
    return false;
  }
  // Straight (un-premultiplied) copy with the wanted channel count.
  const int outComps = jpeg ? 3 : (isToRGB ? (_components <= 2 ? 1 : 3) : _components);
  std::vector<unsigned char> out(px * outComps);
  for (size_t i = 0; i < px; ++i) {
    const unsigned char* s = &_data[i * _components];
    unsigned r, g, b, a = 255;
    if (_components >= 3) {
      r = s[0]; g = s[1]; b = s[2];
      if (_components == 4) a = s[3];
    } else {
      r = g = b = s[0];
      if (_components == 2) a = s[1];
    }
    if (_premultiplied && a != 255 && a != 0) {
      r = std::min(255u, (r * 255 + a / 2) / a);
      g = std::min(255u, (g * 255 + a / 2) / a);
      b = std::min(255u, (b * 255 + a / 2) / a);
    }
    unsigned char* d = &out[i * outComps];
    switch (outComps) {
      case 1: d[0] = static_cast<unsigned char>(r); break;
      case 2: d[0] = static_cast<unsigned char>(r); d[1] = static_cast<unsigned char>(a); break;
      case 3: d[0] = static_cast<unsigned char>(r); d[1] = static_cast<unsigned char>(g); d[2] = static_cast<unsigned char>(b); break;
      default: d[0] = static_cast<unsigned char>(r); d[1] = static_cast<unsigned char>(g); d[2] = static_cast<unsigned char>(b); d[3] = static_cast<unsigned char>(a);
    }
  }
  if (jpeg) return writeJpeg(path, out.data(), _width, _height, 90);
  return writePng(path, out.data(), _width, _height, outComps);
}

NS_CC_END
