#include "app/data/dcmCallbacks.h"

#include <iconv.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/platform/Common.h"

namespace {

const char* legacyCodePage(cocos2d::LanguageType language) {
  using L = cocos2d::LanguageType;
  switch (language) {
    case L::CHINESE: return "GB18030";
    case L::JAPANESE: return "SHIFT_JIS";
    case L::KOREAN: return "CP949";
    case L::RUSSIAN:
    case L::UKRAINIAN:
    case L::BULGARIAN: return "CP1251";
    case L::POLISH:
    case L::HUNGARIAN:
    case L::ROMANIAN: return "CP1250";
    case L::TURKISH: return "CP1254";
    case L::ARABIC: return "CP1256";
    default: return "CP1252";
  }
}

// Converts with iconv, replacing each byte the code page rejects by U+FFFD.
std::string toUtf8(const char* codePage, const char* src) {
  std::string out;
  iconv_t cd = iconv_open("UTF-8", codePage);
  if (cd == reinterpret_cast<iconv_t>(-1)) return out;
  char* in = const_cast<char*>(src);
  size_t inLeft = std::strlen(src);
  char chunk[256];
  while (inLeft > 0) {
    char* o = chunk;
    size_t outLeft = sizeof chunk;
    size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    out.append(chunk, sizeof chunk - outLeft);
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut at the end): skip one byte.
      out.append("\xEF\xBF\xBD");
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

// Longest prefix of at most max bytes that ends at a character boundary.
size_t utf8Prefix(const std::string& s, size_t max) {
  if (s.size() <= max) return s.size();
  size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

}  // namespace

bool dcmSavePngCallback(int width, int height, const unsigned char* pixels, const char* path) {
  if (width <= 0 || height <= 0 || !pixels || !path || !*path) return false;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&image, path, 0, pixels, width * 3, nullptr)) {
    png_image_free(&image);
    unlink(path);
    return false;
  }
  return true;
}

void dcmGb2Utf8Callback(const char* source, char* buffer, int length) {
  if (!buffer || length <= 0) return;
  std::memset(buffer, 0, static_cast<size_t>(length));
  if (!source || !*source) return;
  const auto language = cocos2d::languageTypeFromLocale(cocos2d::currentLocaleName());
  std::string text = toUtf8(legacyCodePage(language), source);
  std::memcpy(buffer, text.data(), utf8Prefix(text, static_cast<size_t>(length) - 1));
}
