// UTF-8 helpers and the character-set pipeline of every text the library
// hands out: the file's declared character set, else the legacy converter
// (callback, or iconv from the code page of the reader's language), and
// U+FFFD for whatever is still invalid.
#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "dcmsdk/src/internal.h"

namespace dcmSDK::detail {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when invalid.
size_t seqLen(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t n;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
  return n;
}

bool hasHighBytes(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80 || c == 0x1B) return true;
  return false;
}

// Legacy code page by engine language (cocos2d LanguageType numbering).
const char* legacyCharset(int language) {
  switch (language) {
    case 1: return "GB18030";   // Chinese
    case 9: return "SHIFT_JIS"; // Japanese
    case 8: return "CP949";     // Korean
    case 7:                     // Russian
    case 16:                    // Ukrainian
    case 18: return "CP1251";   // Bulgarian
    case 10:                    // Hungarian
    case 14:                    // Polish
    case 17: return "CP1250";   // Romanian
    case 15: return "CP1254";   // Turkish
    case 12: return "CP1256";   // Arabic
    default: return "CP1252";
  }
}

bool iconvToUtf8(const char* from, const std::string& raw, std::string& out) {
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string buf(raw.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(raw.data());
  size_t inLeft = raw.size();
  char* o = buf.data();
  size_t outLeft = buf.size();
  size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return false;
  buf.resize(buf.size() - outLeft);
  out = std::move(buf);
  return true;
}

}  // namespace

bool isValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    size_t n = seqLen(s, i);
    if (!n) return false;
    i += n;
  }
  return true;
}

std::string sanitizeUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    size_t n = seqLen(s, i);
    if (n) {
      out.append(s.substr(i, n));
      i += n;
    } else {
      out.append("\xEF\xBF\xBD");
      ++i;
    }
  }
  return out;
}

size_t utf8Prefix(std::string_view s, size_t max) {
  if (s.size() <= max) return s.size();
  size_t n = max;
  // Step back over continuation bytes to the start of the cut character.
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

void copyUtf8(const std::string& s, char* buf, int size) {
  if (!buf || size <= 0) return;
  size_t n = utf8Prefix(s, static_cast<size_t>(size) - 1);
  std::memcpy(buf, s.data(), n);
  buf[n] = '\0';
}

namespace {

// A person name whose last component groups are empty ends in "=" delimiters
// ("Wang^XiaoDong=王^小東="): they carry nothing and are dropped, per value.
std::string withoutEmptyTrailingGroups(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  size_t start = 0;
  while (true) {
    size_t end = name.find('\\', start);
    std::string value = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!value.empty() && value.back() == '=') value.pop_back();
    out += value;
    if (end == std::string::npos) break;
    out.push_back('\\');
    start = end + 1;
  }
  return out;
}

std::string declaredToUtf8(LoadedFile& f, const std::string& raw, bool personName) {
  // Strings may hold NULs in hostile files; they end the text.
  std::string text = raw.substr(0, raw.find('\0'));
  if (!hasHighBytes(text)) return text;

  DcmDataset* ds = f.ds();
  if (!f.charsetReady) {
    f.charsetReady = true;
    OFString declared;
    if (ds && ds->findAndGetOFStringArray(DCM_SpecificCharacterSet, declared, OFFalse).good()) {
      std::string all(declared.c_str(), declared.length());
      size_t start = 0;
      while (true) {
        size_t end = all.find('\\', start);
        f.charsetTerms.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
      }
      f.cjkExtensions = usesCjkCodeExtensions(f.charsetTerms);
    }
    if (!f.cjkExtensions && ds && ds->tagExists(DCM_SpecificCharacterSet)) {
      f.charset = std::make_unique<DcmSpecificCharacterSet>();
      f.charsetUsable = f.charset->selectCharacterSet(*ds).good();
    }
  }
  if (f.cjkExtensions) return decodeIso2022(text, f.charsetTerms, personName);
  if (f.charsetUsable) {
    OFString out;
    if (f.charset->convertString(text.data(), text.size(), out, personName ? "\\^=" : "").good() &&
        isValidUtf8(std::string_view(out.c_str(), out.length())))
      return std::string(out.c_str(), out.length());
  }
  if (isValidUtf8(text) && ds && !ds->tagExists(DCM_SpecificCharacterSet)) {
    // Undeclared but already UTF-8: many modern writers omit the declaration.
    // A legacy text is seldom valid UTF-8 by chance.
    return text;
  }
  if (Gb2Utf8Callback cb = gb2utf8()) {
    int len = static_cast<int>(text.size() * 4 + 16);
    std::string buf(static_cast<size_t>(len), '\0');
    cb(text.c_str(), buf.data(), len);
    buf[static_cast<size_t>(len) - 1] = '\0';
    buf.resize(std::strlen(buf.c_str()));
    return sanitizeUtf8(buf);
  }
  std::string conv;
  if (iconvToUtf8(legacyCharset(f.language), text, conv)) return sanitizeUtf8(conv);
  return sanitizeUtf8(text);
}

}  // namespace

std::string toUtf8(LoadedFile& f, const std::string& raw, bool personName) {
  std::string text = declaredToUtf8(f, raw, personName);
  return personName ? withoutEmptyTrailingGroups(text) : text;
}

}  // namespace dcmSDK::detail
