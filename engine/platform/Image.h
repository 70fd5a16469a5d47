// A decoded picture in memory: PNG and JPEG load and save. Usable from any
// thread (no GL, no Director).
#pragma once

#include <string>
#include <vector>

#include "engine/base/Ref.h"

NS_CC_BEGIN

class Image : public Ref {
 public:
  enum class Format { UNKNOWN, PNG, JPG, RAW_DATA };

  Image();
  ~Image() override;

  // The format is detected from the content, never from the name.
  bool initWithImageFile(const std::string& path);
  bool initWithImageData(const unsigned char* data, ssize_t dataLen);
  // Uncompressed pixels, 8 bits per component, 4 components (RGBA) when
  // dataLen == w*h*4, 3 (RGB) when w*h*3, 1 (grey) when w*h. Copied.
  bool initWithRawData(const unsigned char* data, ssize_t dataLen, int width, int height,
                       int bitsPerComponent, bool preMulti = false);

  int getWidth() const { return _width; }
  int getHeight() const { return _height; }
  unsigned char* getData() { return _data.empty() ? nullptr : _data.data(); }
  const unsigned char* getData() const { return _data.empty() ? nullptr : _data.data(); }
  ssize_t getDataLen() const { return static_cast<ssize_t>(_data.size()); }
  // 1 (grey), 2 (grey + alpha), 3 (RGB) or 4 (RGBA), 8 bits each.
  int getComponents() const { return _components; }
  bool hasAlpha() const { return _components == 2 || _components == 4; }
  // PNG alpha is premultiplied when loaded.
  bool hasPremultipliedAlpha() const { return _premultiplied; }
  Format getFileType() const { return _fileType; }
  int getBitPerPixel() const { return _components * 8; }

  // PNG when the name ends in .png, JPEG (quality 90) for .jpg/.jpeg,
  // anything else fails. isToRGB drops the alpha channel of a PNG. The file
  // is written under a temporary name in the same folder and renamed, so a
  // reader never sees a half-written file. Premultiplied pixels are
  // un-premultiplied for PNG.
  bool saveToFile(const std::string& path, bool isToRGB = true);

  // Encoders shared with the screen capture: rows top first.
  static bool writeJpeg(const std::string& path, const unsigned char* rgb, int width, int height,
                        int quality = 90);
  static bool writePng(const std::string& path, const unsigned char* pixels, int width, int height,
                       int components);

 private:
  bool decodePng(const unsigned char* data, size_t len);
  bool decodeJpeg(const unsigned char* data, size_t len);

  std::vector<unsigned char> _data;
  int _width = 0;
  int _height = 0;
  int _components = 0;
  bool _premultiplied = false;
  Format _fileType = Format::UNKNOWN;
};

NS_CC_END
