// Text, time and number formatting shared by every part of the program.
//
// Texts are UTF-8 in std::string. Every function here may be called from any
// thread; none keeps state between calls.
//
// Wide texts are UTF-16 (char16_t). They exist only for callers that need
// that form; the file functions of NSFiles.h work on UTF-8 paths directly.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/math/Mat4.h"

namespace NSUI {

// The longest text formatString produces. A result that would be longer
// gives the empty text; a cut text is never returned.
inline constexpr int kFormatCapacity = 65533;

// A local date and time in the form of getCurrentTimeString:
// "2017-08-05 09:03:07" is {2017, 8, 5, 9, 3, 7}.
struct DateTimeFields {
    int32_t year = 0;    // as written, e.g. 2017
    int32_t month = 0;   // 1..12
    int32_t day = 0;     // day of the month
    int32_t hour = 0;    // 0..23
    int32_t minute = 0;
    int32_t second = 0;
};

// printf-style formatting. Returns "" when the format fails or the result
// would exceed kFormatCapacity characters.
std::string formatString(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatStringV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Decimal text of the value ("%i").
std::string intToString(int32_t value);

// The value with at most `decimals` decimals; trailing zeros after the point
// and a trailing point are removed (3.0 -> "3", 10.0 -> "10", 2.50 -> "2.5").
std::string formatFloat(float value, int32_t decimals);

// Remove ASCII white space (space, \t, \n, \v, \f, \r) in place and return
// the same text. Bytes 0x80 and above are never white space.
std::string& trimLeft(std::string& text);
std::string& trimRight(std::string& text);
std::string& trim(std::string& text);

// Appends the pieces of `text` between occurrences of `separator` to `pieces`
// (which is not cleared). Empty pieces are kept: "a,,b" gives a, "", b; ""
// gives one empty piece. An empty separator gives the whole text as one piece.
void splitString(std::string text, std::string separator, std::vector<std::string>& pieces);

// Replaces every occurrence of `find`, left to right; an inserted replacement
// is not searched again ("aba", a -> aa gives "aabaa"). An empty `find`
// changes nothing.
std::string& replaceAll(std::string& text, const std::string& find, const std::string& replacement);

// Days of the month in the Gregorian calendar; 0 for a month outside 1..12.
int32_t daysInMonth(int32_t year, int32_t month);

// Reads "YYYY-MM-DD hh:mm:ss" by fixed positions (the separators are not
// checked; a slice without digits reads as 0). A text shorter than 19
// characters gives false and leaves `fields` untouched.
bool parseDateTime(std::string text, DateTimeFields& fields);

// The fields in the form of getCurrentTimeString; the year is not padded.
std::string formatDateTime(const DateTimeFields& fields);

// The local time now, "%d-%02d-%02d %02d:%02d:%02d".
std::string getCurrentTimeString();

// Whole seconds since 1970-01-01 00:00:00 UTC, modulo 2^32, in decimal.
std::string getTimestampString();

// UTF-8 to a newly allocated, zero-terminated UTF-16 text; release it with
// free(). Invalid bytes become U+FFFD. Null or "" gives an empty text.
char16_t* utf8ToWide(const char* text);

// Zero-terminated UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string wideToUtf8(const char16_t* text);

// A text in the multibyte character set of the user's locale (LC_ALL,
// LC_CTYPE, LANG) to UTF-8. A UTF-8 locale, and the C/POSIX locale, are
// taken as UTF-8. Bytes that are invalid in that character set become U+FFFD.
std::string ansiToUtf8(std::string text);

// The engine matrix of sixteen floats stored row by row (m11, m12, m13, m14,
// m21, ...), through Mat4's sixteen-value constructor.
cocos2d::Mat4 makeMat4(const float values[16]);

}  // namespace NSUI
