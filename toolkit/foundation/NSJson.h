// Flat JSON text: reads and writes single values by key in a JSON object
// held as text, without building a tree. Every notification payload,
// request body, service reply, peer-discovery datagram and list row of the
// system is such a text, and the rules below are their common contract.
//
// Writing
//   - Values are always written as quoted strings, numbers included
//     (setJsonInt -3 gives "-3", setJsonFloat 1.5 gives "1.500000").
//   - Keys and values are escaped as JSON string literals: '"' -> \",
//     '\' -> \\, and every control character below 0x20 -> \b \f \n \r \t
//     or \u00XX. Other bytes (UTF-8 included) are written unchanged.
//   - setJsonString on an empty text gives {"key":"value"}; on a present key
//     it replaces the value in place (an unquoted value becomes quoted) and
//     keeps everything else; on a missing key it removes the text's last
//     character (normally the closing brace) and appends ,"key":"value"}
//     (without the comma when what remains ends with the opening brace).
//
// Reading
//   - A quoted text is scanned as a string literal: ',' ']' '}' ':' '[' and
//     an escaped \" inside the quotes do not end or structure anything. A
//     found quoted value is returned unescaped (\uXXXX, surrogate pairs
//     included, becomes UTF-8; an unknown escape \x gives x).
//   - Keys are compared after unescaping, byte for byte (a does not find A).
//   - The first key in text order that equals the wanted key wins. A value
//     that equals the key is never taken as a key.
//   - A list value ([...], nested lists counted) is skipped whole while
//     looking for later keys; reading the list's own key gives its first
//     quoted element, or the raw text up to the first ',' (so {"l":[1,2]}
//     gives "[1").
//   - Nested objects are not skipped: their keys are found as if they stood
//     at the top level, and reading the object's key gives its first quoted
//     text (its first key).
//   - An unquoted value (number, true, false, null) is returned raw: the
//     characters after the colon up to the next ',' ']' or '}', spaces
//     included ({"n": 5} gives " 5" for getJsonString, 5 for getJsonInt).
//   - A missing key gives "" or the caller's default.
#pragma once

#include <cstddef>
#include <string>

namespace NSUI {

class UIJson {
public:
    static std::string getJsonString(const std::string& text, const std::string& key);
    static std::string getJsonStringWithDefault(const std::string& text, const std::string& key,
                                                const std::string& defaultValue);
    static float getJsonFloat(const std::string& text, const std::string& key, float defaultValue);
    static int getJsonInt(const std::string& text, const std::string& key, int defaultValue);

    static void setJsonString(std::string& text, const std::string& key, const std::string& value);
    static void setJsonFloat(std::string& text, const std::string& key, double value);
    static void setJsonInt(std::string& text, const std::string& key, int value);

    // Positions of the key's value: for a quoted value the two quotes, for
    // an unquoted one the colon and the terminator. The raw (still escaped)
    // value lies strictly between them.
    static bool findJsonValue(const std::string& text, const std::string& key, size_t& start, size_t& end);

    // Escaping of one string literal's content, and its reverse.
    static std::string escapeJsonString(const std::string& value);
    static std::string unescapeJsonString(const std::string& literal);

protected:
    // Scan modes: 0 value after a key, 1 bracketed list, 3 colon and
    // terminator, 4 next quoted text.
    static bool scanJson(const std::string& text, int mode, size_t from, size_t& first, size_t& second);
};

} // namespace NSUI
