// Texts in the ISO 2022 code extensions of DICOM: escape sequences switch the
// G0 set (ASCII, JIS X 0201 romaji, JIS X 0208, JIS X 0212) and the G1 set
// (JIS X 0201 katakana, KS X 1001, GB 2312, the ISO 8859 parts). Each run of
// bytes in one set is converted with iconv; the sets of the first value of
// Specific Character Set come back after every delimiter.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "dcmsdk/src/internal.h"

namespace dcmSDK::detail {

namespace {

enum class G0 { Ascii, Romaji, Jis0208, Jis0212 };
enum class G1 { None, Katakana, Ksx1001, Gb2312, Latin };

struct SetState {
  G0 g0 = G0::Ascii;
  G1 g1 = G1::None;
  const char* latin = nullptr;  // iconv name of a 96-character G1 set
};

// Single-byte extension terms: their 96-character G1 set and its final byte
// in the designation ESC - F.
struct LatinSet {
  const char* term;
  char final;
  const char* iconvName;
};
constexpr LatinSet kLatinSets[] = {
    {"ISO 2022 IR 100", 'A', "ISO-8859-1"}, {"ISO 2022 IR 101", 'B', "ISO-8859-2"},
    {"ISO 2022 IR 109", 'C', "ISO-8859-3"}, {"ISO 2022 IR 110", 'D', "ISO-8859-4"},
    {"ISO 2022 IR 144", 'L', "ISO-8859-5"}, {"ISO 2022 IR 127", 'G', "ISO-8859-6"},
    {"ISO 2022 IR 126", 'F', "ISO-8859-7"}, {"ISO 2022 IR 138", 'H', "ISO-8859-8"},
    {"ISO 2022 IR 148", 'M', "ISO-8859-9"}, {"ISO 2022 IR 166", 'T', "TIS-620"},
    {"ISO 2022 IR 203", 'b', "ISO-8859-15"},
};

const char kReplacement[] = "\xEF\xBF\xBD";

std::string trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

SetState initialState(const std::string& firstTerm) {
  SetState s;
  const std::string t = trimmed(firstTerm);
  if (t == "ISO 2022 IR 13" || t == "ISO_IR 13") {
    s.g0 = G0::Romaji;
    s.g1 = G1::Katakana;
  }
  for (const LatinSet& l : kLatinSets)
    if (t == l.term) {
      s.g1 = G1::Latin;
      s.latin = l.iconvName;
    }
  return s;
}

// Converts bytes of one encoding to UTF-8, one U+FFFD per byte iconv refuses.
void convertRun(const char* encoding, const std::string& bytes, std::string& out) {
  if (bytes.empty()) return;
  iconv_t cd = iconv_open("UTF-8", encoding);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (size_t i = 0; i < bytes.size(); ++i) out += kReplacement;
    return;
  }
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char chunk[256];
  while (inLeft > 0) {
    char* o = chunk;
    size_t outLeft = sizeof chunk;
    size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    out.append(chunk, sizeof chunk - outLeft);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      out += kReplacement;
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
}

// Collects bytes of one encoding and converts them when the encoding changes.
class RunWriter {
 public:
  explicit RunWriter(std::string& out) : out_(out) {}
  ~RunWriter() { flush(); }
  void ascii(char c) {
    flush();
    out_.push_back(c);
  }
  void replacement() {
    flush();
    out_ += kReplacement;
  }
  void bytes(const char* encoding, std::initializer_list<unsigned char> b) {
    if (encoding_ && std::strcmp(encoding, encoding_) != 0) flush();
    encoding_ = encoding;
    for (unsigned char c : b) run_.push_back(static_cast<char>(c));
  }
  void flush() {
    if (encoding_) convertRun(encoding_, run_, out_);
    run_.clear();
    encoding_ = nullptr;
  }

 private:
  std::string& out_;
  std::string run_;
  const char* encoding_ = nullptr;
};

bool isDelimiter(unsigned char c, bool personName) {
  return c == '\\' || c == '\r' || c == '\n' || c == '\f' || c == '\t' || (personName && (c == '^' || c == '='));
}

// Applies the escape sequence at s[i] (ESC included); returns its length, 0
// when it is not one this decoder knows.
size_t designate(std::string_view s, size_t i, SetState& st) {
  auto at = [&](size_t k) { return i + k < s.size() ? s[i + k] : '\0'; };
  const char a = at(1), b = at(2), c = at(3);
  auto g0 = [&](G0 set, size_t n) {
    st.g0 = set;
    return n;
  };
  auto g1 = [&](G1 set, size_t n) {
    st.g1 = set;
    return n;
  };
  if (a == '(' && b == 'B') return g0(G0::Ascii, 3);
  if (a == '(' && b == 'J') return g0(G0::Romaji, 3);
  if (a == ')' && b == 'I') return g1(G1::Katakana, 3);
  if (a == '$' && (b == 'B' || b == '@')) return g0(G0::Jis0208, 3);
  if (a == '$' && b == '(' && c == 'D') return g0(G0::Jis0212, 4);
  if (a == '$' && b == ')' && c == 'C') return g1(G1::Ksx1001, 4);
  if (a == '$' && b == ')' && c == 'A') return g1(G1::Gb2312, 4);
  if (a == '-')
    for (const LatinSet& l : kLatinSets)
      if (b == l.final) {
        st.latin = l.iconvName;
        return g1(G1::Latin, 3);
      }
  return 0;
}

}  // namespace

bool usesCjkCodeExtensions(const std::vector<std::string>& terms) {
  for (const std::string& raw : terms) {
    const std::string t = trimmed(raw);
    if (t == "ISO 2022 IR 87" || t == "ISO 2022 IR 159" || t == "ISO 2022 IR 13" || t == "ISO 2022 IR 149" ||
        t == "ISO 2022 IR 58")
      return true;
  }
  return false;
}

std::string decodeIso2022(std::string_view text, const std::vector<std::string>& terms, bool personName) {
  const SetState initial = initialState(terms.empty() ? std::string() : terms.front());
  SetState st = initial;
  std::string out;
  out.reserve(text.size() * 2);
  {
    RunWriter w(out);
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    for (size_t i = 0; i < text.size();) {
      const unsigned char c = byte(i);
      if (c == 0x1B) {
        const size_t n = designate(text, i, st);
        if (n == 0) {
          w.replacement();
          ++i;
        } else {
          i += n;
        }
        continue;
      }
      if (c < 0x80) {
        const bool doubleByte = st.g0 == G0::Jis0208 || st.g0 == G0::Jis0212;
        if (doubleByte && c > 0x20 && c < 0x7F) {
          const unsigned char d = i + 1 < text.size() ? byte(i + 1) : 0;
          if (d > 0x20 && d < 0x7F) {
            if (st.g0 == G0::Jis0208)
              w.bytes("EUC-JP", {static_cast<unsigned char>(c | 0x80), static_cast<unsigned char>(d | 0x80)});
            else
              w.bytes("EUC-JP", {0x8F, static_cast<unsigned char>(c | 0x80), static_cast<unsigned char>(d | 0x80)});
            i += 2;
          } else {
            w.replacement();
            ++i;
          }
          continue;
        }
        // Romaji differs from ASCII only in two symbols; names and the value
        // separator read as ASCII.
        w.ascii(static_cast<char>(c));
        if (isDelimiter(c, personName)) st = initial;
        ++i;
        continue;
      }
      switch (st.g1) {
        case G1::Katakana:
          if (c >= 0xA1 && c <= 0xDF)
            w.bytes("EUC-JP", {0x8E, c});
          else
            w.replacement();
          ++i;
          break;
        case G1::Ksx1001:
        case G1::Gb2312: {
          const unsigned char d = i + 1 < text.size() ? byte(i + 1) : 0;
          if (c >= 0xA1 && c <= 0xFE && d >= 0xA1 && d <= 0xFE) {
            w.bytes(st.g1 == G1::Ksx1001 ? "EUC-KR" : "GB2312", {c, d});
            i += 2;
          } else {
            w.replacement();
            ++i;
          }
          break;
        }
        case G1::Latin:
          w.bytes(st.latin, {c});
          ++i;
          break;
        case G1::None:
          w.replacement();
          ++i;
          break;
      }
    }
  }
  return sanitizeUtf8(out);
}

}  // namespace dcmSDK::detail
