#include "toolkit/foundation/NSJson.h"

#include <cstdio>
#include <cstdlib>

namespace NSUI {

namespace {

constexpr size_t npos = std::string::npos;

// text[open] is '"': the position of the quote that closes the literal, or
// npos when it is not closed. A backslash escapes the byte after it.
size_t closingQuote(const std::string& text, size_t open)
{
    for (size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i;
    }
    return npos;
}

// The first position at or after `from` holding one of `chars` outside any
// string literal; npos when there is none or a literal is left open.
size_t findOutsideStrings(const std::string& text, size_t from, const char* chars)
{
    for (size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            i = closingQuote(text, i);
            if (i == npos)
                return npos;
            continue;
        }
        for (const char* p = chars; *p; ++p)
            if (c == *p)
                return i;
    }
    return npos;
}

void appendUtf8(std::string& out, unsigned long cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool readHex4(const std::string& s, size_t at, unsigned long& value)
{
    if (at + 4 > s.size())
        return false;
    value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const char c = s[i];
        value <<= 4;
        if (c >= '0' && c <= '9')
            value |= static_cast<unsigned long>(c - '0');
        else if (c >= 'a' && c <= 'f')
            value |= static_cast<unsigned long>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            value |= static_cast<unsigned long>(c - 'A' + 10);
        else
            return false;
    }
    return true;
}

} // namespace

std::string UIJson::escapeJsonString(const std::string& value)
{
    std::string out;
    out.reserve(value.size() + 8);
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    return out;
}

std::string UIJson::unescapeJsonString(const std::string& s)
{
    if (s.find('\\') == npos)
        return s;
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const char e = s[++i];
        switch (e) {
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
            unsigned long cp = 0;
            if (!readHex4(s, i + 1, cp)) {
                out += 'u';
                break;
            }
            i += 4;
            if (cp >= 0xD800 && cp < 0xDC00) {
                unsigned long low = 0;
                if (i + 2 < s.size() && s[i + 1] == '\\' && s[i + 2] == 'u' && readHex4(s, i + 3, low) &&
                    low >= 0xDC00 && low < 0xE000) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    i += 6;
                } else {
                    cp = 0xFFFD;
                }
            } else if (cp >= 0xDC00 && cp < 0xE000) {
                cp = 0xFFFD;
            }
            appendUtf8(out, cp);
            break;
        }
        default: out += e; break; // \" \\ \/ and unknown escapes
        }
    }
    return out;
}

bool UIJson::scanJson(const std::string& text, int mode, size_t from, size_t& first, size_t& second)
{
    switch (mode) {
    case 4: { // next quoted text
        const size_t open = text.find('"', from);
        if (open == npos)
            return false;
        const size_t close = closingQuote(text, open);
        if (close == npos)
            return false;
        first = open;
        second = close;
        return true;
    }
    case 3: { // colon, then the terminator after it
        const size_t colon = findOutsideStrings(text, from, ":");
        if (colon == npos)
            return false;
        const size_t term = findOutsideStrings(text, colon + 1, ",]}");
        if (term == npos)
            return false;
        first = colon;
        second = term;
        return true;
    }
    case 1: { // bracketed list with nested lists counted
        const size_t open = findOutsideStrings(text, from, "[");
        if (open == npos)
            return false;
        int depth = 0;
        for (size_t i = open + 1; i < text.size(); ++i) {
            i = findOutsideStrings(text, i, "[]");
            if (i == npos)
                return false;
            if (text[i] == '[') {
                ++depth;
            } else if (depth == 0) {
                first = open;
                second = i;
                return true;
            } else {
                --depth;
            }
        }
        return false;
    }
    case 0: { // the value after a key
        size_t colon = 0, term = 0;
        if (!scanJson(text, 3, from, colon, term))
            return false;
        size_t q1 = 0, q2 = 0;
        if (scanJson(text, 4, colon, q1, q2) && q2 < term) {
            first = q1;
            second = q2;
        } else {
            first = colon;
            second = term;
        }
        return true;
    }
    default: return false;
    }
}

bool UIJson::findJsonValue(const std::string& text, const std::string& key, size_t& start, size_t& end)
{
    size_t p = 0;
    while (p < text.size()) {
        size_t k1 = 0, q = 0;
        if (!scanJson(text, 4, p, k1, q))
            return false;
        const std::string candidate = unescapeJsonString(text.substr(k1 + 1, q - k1 - 1));
        if (candidate == key)
            return scanJson(text, 0, q + 1, start, end);

        size_t s = 0, e = 0, b = 0, m = 0;
        const bool value = scanJson(text, 0, q + 1, s, e);
        const bool list = scanJson(text, 1, q + 1, b, m);
        if (value && list && b <= s)
            p = m + 1;
        else if (value)
            p = e + 1;
        else if (list)
            p = m + 1;
        else
            return false;
    }
    return false;
}

std::string UIJson::getJsonString(const std::string& text, const std::string& key)
{
    return getJsonStringWithDefault(text, key, std::string());
}

std::string UIJson::getJsonStringWithDefault(const std::string& text, const std::string& key,
                                             const std::string& defaultValue)
{
    size_t start = 0, end = 0;
    if (!findJsonValue(text, key, start, end))
        return defaultValue;
    std::string raw = text.substr(start + 1, end - start - 1);
    if (text[start] == '"')
        return unescapeJsonString(raw);
    return raw;
}

float UIJson::getJsonFloat(const std::string& text, const std::string& key, float defaultValue)
{
    size_t start = 0, end = 0;
    if (!findJsonValue(text, key, start, end))
        return defaultValue;
    return static_cast<float>(std::atof(getJsonString(text, key).c_str()));
}

int UIJson::getJsonInt(const std::string& text, const std::string& key, int defaultValue)
{
    size_t start = 0, end = 0;
    if (!findJsonValue(text, key, start, end))
        return defaultValue;
    return std::atoi(getJsonString(text, key).c_str());
}

void UIJson::setJsonString(std::string& text, const std::string& key, const std::string& value)
{
    const std::string v = escapeJsonString(value);
    if (text.empty()) {
        text = "{\"" + escapeJsonString(key) + "\":\"" + v + "\"}";
        return;
    }
    size_t start = 0, end = 0;
    if (findJsonValue(text, key, start, end)) {
        if (text[start] == '"')
            text.replace(start + 1, end - start - 1, v);
        else
            text.replace(start + 1, end - start - 1, "\"" + v + "\"");
        return;
    }
    text.pop_back();
    const size_t last = text.find_last_not_of(" \t\r\n");
    const bool opened = last != npos && text[last] == '{';
    text += (opened ? "\"" : ",\"") + escapeJsonString(key) + "\":\"" + v + "\"}";
}

void UIJson::setJsonFloat(std::string& text, const std::string& key, double value)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.6f", value);
    setJsonString(text, key, buf);
}

void UIJson::setJsonInt(std::string& text, const std::string& key, int value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%i", value);
    setJsonString(text, key, buf);
}

} // namespace NSUI
