#include "engine/renderer/Texture2D.h"

#include <algorithm>
#include <atomic>

#include "engine/base/ccLog.h"
#include "engine/platform/Image.h"
#include "engine/renderer/TextureUploads.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

namespace {
std::atomic<unsigned long> g_uploads{0};
}

unsigned long textureUploadCount() { return g_uploads.load(std::memory_order_relaxed); }

Texture2D::Texture2D() = default;

Texture2D::~Texture2D() { GL::deleteTexture(_name); }

int Texture2D::bytesPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::RGBA8888: return 4;
    case PixelFormat::RGB888: return 3;
    case PixelFormat::AI88: return 2;
    case PixelFormat::A8:
    case PixelFormat::I8: return 1;
    default: return 0;
  }
}

bool Texture2D::initWithData(const void* data, ssize_t dataLen, PixelFormat pixelFormat, int pixelsWide,
                             int pixelsHigh, const Size& contentSize) {
  const int bpp = bytesPerPixel(pixelFormat);
  if (!data || bpp == 0 || pixelsWide <= 0 || pixelsHigh <= 0 ||
      dataLen < static_cast<ssize_t>(pixelsWide) * pixelsHigh * bpp) {
    log("Texture2D: bad arguments (format %d, %dx%d, %zd bytes)", static_cast<int>(pixelFormat),
        pixelsWide, pixelsHigh, dataLen);
    return false;
  }
  const size_t bytes = static_cast<size_t>(pixelsWide) * pixelsHigh * bpp;
  GL::deleteTexture(_name);
  _name = 0;
  _cpuPixels.clear();
  if (GL::isContextReady()) {
    GLenum format = GL_RGBA, internal = GL_RGBA;
    switch (pixelFormat) {
      case PixelFormat::RGBA8888: format = internal = GL_RGBA; break;
      case PixelFormat::RGB888: format = internal = GL_RGB; break;
      case PixelFormat::AI88: format = internal = GL_LUMINANCE_ALPHA; break;
      case PixelFormat::A8: format = internal = GL_ALPHA; break;
      case PixelFormat::I8: format = internal = GL_LUMINANCE; break;
      default: break;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glGenTextures(1, &_name);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, _name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internal), pixelsWide, pixelsHigh, 0, format,
                 GL_UNSIGNED_BYTE, data);
    GLenum err = glGetError();
    glBindTexture(GL_TEXTURE_2D, 0);
    if (err != GL_NO_ERROR) {
      log("Texture2D: upload of %dx%d failed (GL error 0x%x)", pixelsWide, pixelsHigh, err);
      glDeleteTextures(1, &_name);
      _name = 0;
      return false;
    }
  } else {
    auto* p = static_cast<const unsigned char*>(data);
    _cpuPixels.assign(p, p + bytes);
  }
  _pixelsWide = pixelsWide;
  _pixelsHigh = pixelsHigh;
  _contentSize = contentSize;
  _pixelFormat = pixelFormat;
  _premultiplied = false;
  g_uploads.fetch_add(1, std::memory_order_relaxed);
  return true;
}

bool Texture2D::updateWithData(const void* data, int offsetX, int offsetY, int width, int height) {
  const int bpp = bytesPerPixel(_pixelFormat);
  if (!data || bpp == 0 || width <= 0 || height <= 0 || offsetX < 0 || offsetY < 0 ||
      offsetX + width > _pixelsWide || offsetY + height > _pixelsHigh)
    return false;
  if (_name == 0) {
    if (_cpuPixels.empty()) return false;
    auto* src = static_cast<const unsigned char*>(data);
    for (int row = 0; row < height; ++row)
      std::copy(src + static_cast<size_t>(row) * width * bpp, src + static_cast<size_t>(row + 1) * width * bpp,
                _cpuPixels.begin() + (static_cast<size_t>(offsetY + row) * _pixelsWide + offsetX) * bpp);
    g_uploads.fetch_add(1, std::memory_order_relaxed);
    return true;
  }
  GLenum format = GL_RGBA;
  switch (_pixelFormat) {
    case PixelFormat::RGB888: format = GL_RGB; break;
    case PixelFormat::AI88: format = GL_LUMINANCE_ALPHA; break;
    case PixelFormat::A8: format = GL_ALPHA; break;
    case PixelFormat::I8: format = GL_LUMINANCE; break;
    default: break;
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, _name);
  glTexSubImage2D(GL_TEXTURE_2D, 0, offsetX, offsetY, width, height, format, GL_UNSIGNED_BYTE, data);
  glBindTexture(GL_TEXTURE_2D, 0);
  g_uploads.fetch_add(1, std::memory_order_relaxed);
  return true;
}

bool Texture2D::initWithImage(Image* image) {
  if (!image || !image->getData()) return false;
  PixelFormat format;
  switch (image->getComponents()) {
    case 4: format = PixelFormat::RGBA8888; break;
    case 3: format = PixelFormat::RGB888; break;
    case 2: format = PixelFormat::AI88; break;
    case 1: format = PixelFormat::I8; break;
    default: return false;
  }
  const Size size(static_cast<float>(image->getWidth()), static_cast<float>(image->getHeight()));
  if (!initWithData(image->getData(), image->getDataLen(), format, image->getWidth(),
                    image->getHeight(), size))
    return false;
  _premultiplied = image->hasPremultipliedAlpha();
  return true;
}

void Texture2D::setTexParameters(const TexParams& params) {
  if (!_name || !GL::isContextReady()) return;
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, _name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(params.minFilter));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(params.magFilter));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(params.wrapS));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(params.wrapT));
  glBindTexture(GL_TEXTURE_2D, 0);
}

void Texture2D::setAntiAliasTexParameters() {
  setTexParameters({GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE});
}

void Texture2D::setAliasTexParameters() {
  setTexParameters({GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE});
}

NS_CC_END
