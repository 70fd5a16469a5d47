#include "toolkit/foundation/NSFormat.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <memory>

namespace NSUI {

namespace {

// Each thread formats into its own scratch buffer, made on the thread's first
// call and freed when the thread ends. (A small stack buffer with a second
// pass for longer texts would be as safe, but glibc's vsnprintf is very slow
// once it has to truncate.)
char* scratchBuffer()
{
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer)
        buffer.reset(new char[kFormatCapacity + 1]);
    return buffer.get();
}

}  // namespace

std::string formatStringV(const char* format, va_list args)
{
    if (!format)
        return std::string();
    char* buffer = scratchBuffer();
    const int n = std::vsnprintf(buffer, kFormatCapacity + 1, format, args);
    // C99 vsnprintf returns the length it needed, not -1, when the text does
    // not fit, so both bounds are checked.
    if (n < 0 || n > kFormatCapacity)
        return std::string();
    return std::string(buffer, static_cast<size_t>(n));
}

std::string formatString(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string result = formatStringV(format, args);
    va_end(args);
    return result;
}

std::string intToString(int32_t value)
{
    return formatString("%i", value);
}

std::string formatFloat(float value, int32_t decimals)
{
    if (decimals < 0)
        decimals = 0;
    std::string text = formatString("%.*f", static_cast<int>(decimals), static_cast<double>(value));
    while (!text.empty() && text.find('.') != std::string::npos) {
        const char last = text.back();
        if (last != '0' && last != '.')
            break;
        text.pop_back();
    }
    return text;
}

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}  // namespace

std::string& trimLeft(std::string& text)
{
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    text.erase(0, i);
    return text;
}

std::string& trimRight(std::string& text)
{
    size_t n = text.size();
    while (n > 0 && isBlank(text[n - 1]))
        --n;
    text.erase(n);
    return text;
}

std::string& trim(std::string& text)
{
    trimRight(text);
    return trimLeft(text);
}

void splitString(std::string text, std::string separator, std::vector<std::string>& pieces)
{
    if (separator.empty()) {
        pieces.push_back(std::move(text));
        return;
    }
    text += separator;
    size_t pos = 0;
    for (;;) {
        const size_t hit = text.find(separator, pos);
        if (hit == std::string::npos)
            break;
        pieces.push_back(text.substr(pos, hit - pos));
        pos = hit + separator.size();
    }
}

std::string& replaceAll(std::string& text, const std::string& find, const std::string& replacement)
{
    if (find.empty())
        return text;
    size_t pos = 0;
    while ((pos = text.find(find, pos)) != std::string::npos) {
        text.replace(pos, find.size(), replacement);
        pos += replacement.size();
    }
    return text;
}

int32_t daysInMonth(int32_t year, int32_t month)
{
    switch (month) {
    case 2:
        return ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    case 1:
    case 3:
    case 5:
    case 7:
    case 8:
    case 10:
    case 12:
        return 31;
    default:
        return 0;
    }
}

bool parseDateTime(std::string text, DateTimeFields& fields)
{
    if (text.size() < 19)
        return false;
    auto slice = [&text](size_t from, size_t count) {
        return static_cast<int32_t>(std::atoi(text.substr(from, count).c_str()));
    };
    fields.year = slice(0, 4);
    fields.month = slice(5, 2);
    fields.day = slice(8, 2);
    fields.hour = slice(11, 2);
    fields.minute = slice(14, 2);
    fields.second = slice(17, 2);
    return true;
}

std::string formatDateTime(const DateTimeFields& f)
{
    auto two = [](int32_t v) {
        std::string s = intToString(v);
        if (s.size() < 2)
            s.insert(0, 1, '0');
        return s;
    };
    return intToString(f.year) + "-" + two(f.month) + "-" + two(f.day) + " " + two(f.hour) + ":" +
           two(f.minute) + ":" + two(f.second);
}

std::string getCurrentTimeString()
{
    const time_t now = std::time(nullptr);
    struct tm t {};
    if (!localtime_r(&now, &t))
        return std::string();
    return formatString("%d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                        t.tm_hour, t.tm_min, t.tm_sec);
}

std::string getTimestampString()
{
    const auto seconds = static_cast<uint32_t>(static_cast<uint64_t>(std::time(nullptr)));
    return formatString("%u", seconds);
}

// ---------------------------------------------------------------------------
// Character set conversions, through iconv. A converter is opened per call:
// iconv_t objects must not be shared between threads, and glibc caches the
// conversion modules, so opening one is cheap.

namespace {

const char* utf16Name()
{
    return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
}

// Converts `in` (inBytes long) from `from` to `to`, appending to `out`.
// An invalid input sequence is replaced by `replacement` (already in the
// target encoding) and `skip` input bytes are stepped over. Returns false
// only when the converter cannot be opened.
bool convert(const char* from, const char* to, const char* in, size_t inBytes, std::string& out,
             const std::string& replacement, size_t skip)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    char* src = const_cast<char*>(in);
    size_t srcLeft = inBytes;
    char buffer[4096];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        const int err = errno;
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (r != static_cast<size_t>(-1) || err == E2BIG)
            continue;
        // EILSEQ: an invalid sequence; EINVAL: a sequence cut at the end.
        out += replacement;
        const size_t step = std::min(skip, srcLeft);
        src += step;
        srcLeft -= step;
    }
    // Flush any shift state.
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    iconv_close(cd);
    return true;
}

std::string utf16Replacement()
{
    const char16_t r = u'\xFFFD';
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

// The character set of the user's locale, read once.
const std::string& localeCharset()
{
    static const std::string charset = [] {
        std::string name = "UTF-8";
        locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
        if (loc != static_cast<locale_t>(0)) {
            const char* cs = nl_langinfo_l(CODESET, loc);
            if (cs && *cs)
                name = cs;
            freelocale(loc);
        }
        // The C and POSIX locales report plain ASCII; texts and paths on this
        // platform are UTF-8 by convention, so read them as UTF-8.
        if (name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII")
            name = "UTF-8";
        return name;
    }();
    return charset;
}

}  // namespace

char16_t* utf8ToWide(const char* text)
{
    const size_t len = text ? std::strlen(text) : 0;
    // One unit per input byte plus the terminator: UTF-8 never needs more
    // UTF-16 units than it has bytes, and each invalid byte gives one unit.
    auto* result = static_cast<char16_t*>(std::calloc(len + 1, sizeof(char16_t)));
    if (!result || len == 0)
        return result;
    std::string bytes;
    if (!convert("UTF-8", utf16Name(), text, len, bytes, utf16Replacement(), 1))
        return result;
    const size_t units = std::min(bytes.size() / sizeof(char16_t), len);
    std::memcpy(result, bytes.data(), units * sizeof(char16_t));
    return result;
}

std::string wideToUtf8(const char16_t* text)
{
    if (!text)
        return std::string();
    size_t units = 0;
    while (text[units])
        ++units;
    std::string out;
    if (units == 0)
        return out;
    convert(utf16Name(), "UTF-8", reinterpret_cast<const char*>(text), units * sizeof(char16_t), out,
            "\xEF\xBF\xBD", sizeof(char16_t));
    return out;
}

std::string ansiToUtf8(std::string text)
{
    std::string out;
    if (text.empty())
        return out;
    if (!convert(localeCharset().c_str(), "UTF-8", text.data(), text.size(), out, "\xEF\xBF\xBD", 1)) {
        // An unknown character set: keep the text as UTF-8.
        out.clear();
        convert("UTF-8", "UTF-8", text.data(), text.size(), out, "\xEF\xBF\xBD", 1);
    }
    return out;
}

cocos2d::Mat4 makeMat4(const float values[16])
{
    const float* v = values;
    return cocos2d::Mat4(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13],
                         v[14], v[15]);
}

}  // namespace NSUI
