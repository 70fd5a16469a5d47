// A 2-D texture. With a GL context the pixels are uploaded at init (unpack
// alignment 1) and the CPU copy dropped; headless the texture keeps its CPU
// pixels and its GL name stays 0.
#pragma once

#include <vector>

#include "engine/base/Ref.h"
#include "engine/math/Geometry.h"
#include "engine/platform/CCGL.h"

NS_CC_BEGIN

class Image;

class Texture2D : public Ref {
 public:
  // The numeric values are fixed (callers store them): RGB888 = 3, AI88 = 7.
  enum class PixelFormat {
    AUTO = 0,
    BGRA8888 = 1,
    RGBA8888 = 2,
    RGB888 = 3,
    RGB565 = 4,
    A8 = 5,
    I8 = 6,
    AI88 = 7,
    RGBA4444 = 8,
    RGB5A1 = 9,
    DEFAULT = RGBA8888,
    NONE = -1,
  };

  struct TexParams {
    GLuint minFilter;
    GLuint magFilter;
    GLuint wrapS;
    GLuint wrapT;
  };

  Texture2D();
  ~Texture2D() override;

  // Supported formats: RGBA8888, RGB888, A8, I8, AI88 (16-bit: the low byte
  // lands in .r, the high byte in .a, as GL_LUMINANCE_ALPHA). dataLen must
  // cover w*h pixels. Returns false on bad arguments or a GL error.
  bool initWithData(const void* data, ssize_t dataLen, PixelFormat pixelFormat, int pixelsWide,
                    int pixelsHigh, const Size& contentSize);
  bool initWithImage(Image* image);
  // Replaces the rectangle (x, y, w, h) of an initialised texture with
  // tightly packed pixels of its format. Headless the CPU copy is updated.
  bool updateWithData(const void* data, int offsetX, int offsetY, int width, int height);

  GLuint getName() const { return _name; }
  int getPixelsWide() const { return _pixelsWide; }
  int getPixelsHigh() const { return _pixelsHigh; }
  const Size& getContentSize() const { return _contentSize; }
  Size getContentSizeInPixels() const { return _contentSize; }
  PixelFormat getPixelFormat() const { return _pixelFormat; }
  bool hasPremultipliedAlpha() const { return _premultiplied; }
  // Bytes per pixel of a supported format, 0 otherwise.
  static int bytesPerPixel(PixelFormat format);

  void setTexParameters(const TexParams& params);
  void setAntiAliasTexParameters();
  void setAliasTexParameters();

  // Headless only: the pixels as given at init (empty with a GL name).
  const std::vector<unsigned char>& getCpuPixels() const { return _cpuPixels; }

 private:
  GLuint _name = 0;
  int _pixelsWide = 0;
  int _pixelsHigh = 0;
  Size _contentSize;
  PixelFormat _pixelFormat = PixelFormat::NONE;
  bool _premultiplied = false;
  std::vector<unsigned char> _cpuPixels;
};

NS_CC_END
