// PNG previews of DICOM files.
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dcmsdk/src/internal.h"

#include <dcmtk/dcmimgle/dcmimage.h>

namespace dcmSDK::detail {

namespace {
constexpr unsigned long kThumbnailSide = 256;
}

bool writePngRgb(int w, int h, const unsigned char* rgb, const char* path) {
  if (w <= 0 || h <= 0 || !rgb || !path) return false;
  FILE* fp = std::fopen(path, "wb");
  if (!fp) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    if (png) png_destroy_write_struct(&png, nullptr);
    std::fclose(fp);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(fp);
    return false;
  }
  png_init_io(png, fp);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y)
    png_write_row(png, const_cast<png_bytep>(rgb + size_t(y) * size_t(w) * 3));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(fp) == 0;
}

bool convertToPng(LoadedFile& f, const char* path, bool thumbnail, std::string& err) {
  if (!path || !*path) {
    err = "no PNG file name";
    return false;
  }
  PixelInfo info;
  dcmReader::PixelType type;
  if (!readPixelInfo(f, info, err) || !pixelTypeOf(info, type, err) || !makeNative(f, info, err) ||
      !checkNativeLength(f, info, err))
    return false;
  DicomImage img(f.ds(), EXS_LittleEndianExplicit, CIF_UsePartialAccessToPixelData, 0, 1);
  if (img.getStatus() != EIS_Normal) {
    err = std::string("image cannot be rendered (") + DicomImage::getString(img.getStatus()) + ")";
    return false;
  }
  if (img.isMonochrome()) {
    if (img.getWindowCount() > 0)
      img.setWindow(0);
    else
      img.setMinMaxWindow(1);
  }
  std::unique_ptr<DicomImage> scaled;
  DicomImage* out = &img;
  const unsigned long w0 = img.getWidth(), h0 = img.getHeight();
  if (thumbnail && (w0 > kThumbnailSide || h0 > kThumbnailSide)) {
    unsigned long w = w0 >= h0 ? kThumbnailSide : std::max(1ul, w0 * kThumbnailSide / h0);
    unsigned long h = h0 > w0 ? kThumbnailSide : std::max(1ul, h0 * kThumbnailSide / w0);
    scaled.reset(img.createScaledImage(w, h, 1, 0));
    if (!scaled || scaled->getStatus() != EIS_Normal) {
      err = "image cannot be scaled";
      return false;
    }
    out = scaled.get();
  }
  const int w = static_cast<int>(out->getWidth()), h = static_cast<int>(out->getHeight());
  const size_t n = size_t(w) * size_t(h);
  std::vector<unsigned char> rgb(n * 3);
  if (out->isMonochrome()) {
    std::vector<unsigned char> grey(n);
    if (!out->getOutputData(grey.data(), n, 8, 0, 0)) {
      err = "image cannot be rendered";
      return false;
    }
    for (size_t i = 0; i < n; ++i) rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = grey[i];
  } else if (!out->getOutputData(rgb.data(), n * 3, 8, 0, 0)) {
    err = "image cannot be rendered";
    return false;
  }

  // Written beside the target and renamed, so readers never see half a file.
  std::string tmpl = std::string(path) + ".XXXXXX";
  int fd = mkstemp(tmpl.data());
  if (fd < 0) {
    err = std::string("cannot create a file beside ") + path + ": " + std::strerror(errno);
    return false;
  }
  close(fd);
  SavePngCallback cb = savePng();
  bool written = cb ? cb(w, h, rgb.data(), tmpl.c_str()) : writePngRgb(w, h, rgb.data(), tmpl.c_str());
  if (!written || std::rename(tmpl.c_str(), path) != 0) {
    unlink(tmpl.c_str());
    err = std::string("cannot write ") + path;
    return false;
  }
  return true;
}

}  // namespace dcmSDK::detail
