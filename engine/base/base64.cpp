#include "engine/base/base64.h"

#include <climits>
#include <cstdlib>
#include <cstring>

NS_CC_BEGIN

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// -1 invalid, -2 skipped whitespace, -3 padding, else the 6-bit value.
struct DecodeTable {
  signed char v[256];
  DecodeTable() {
    memset(v, -1, sizeof v);
    for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    v[static_cast<unsigned char>(' ')] = -2;
    v[static_cast<unsigned char>('\t')] = -2;
    v[static_cast<unsigned char>('\r')] = -2;
    v[static_cast<unsigned char>('\n')] = -2;
    v[static_cast<unsigned char>('=')] = -3;
  }
};
const DecodeTable kDecode;

size_t encodedLength(size_t n) { return (n + 2) / 3 * 4; }

void encodeInto(const unsigned char* in, size_t len, char* out) {
  size_t i = 0, o = 0;
  for (; i + 3 <= len; i += 3) {
    unsigned v = (unsigned(in[i]) << 16) | (unsigned(in[i + 1]) << 8) | in[i + 2];
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = kAlphabet[(v >> 6) & 63];
    out[o++] = kAlphabet[v & 63];
  }
  if (len - i == 1) {
    unsigned v = unsigned(in[i]) << 16;
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = '=';
    out[o++] = '=';
  } else if (len - i == 2) {
    unsigned v = (unsigned(in[i]) << 16) | (unsigned(in[i + 1]) << 8);
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = kAlphabet[(v >> 6) & 63];
    out[o++] = '=';
  }
}

// Decodes into out (room for len * 3 / 4 + 3 bytes). Returns the byte count
// or -1 when the text is not base64.
long decodeInto(const unsigned char* in, size_t len, unsigned char* out) {
  unsigned acc = 0;
  int quad = 0;        // characters in the current group
  int padding = 0;     // '=' seen
  size_t o = 0;
  for (size_t i = 0; i < len; ++i) {
    signed char c = kDecode.v[in[i]];
    if (c == -2) continue;
    if (c == -1) return -1;
    if (c == -3) {
      // Padding may only complete a group of 2 or 3 characters.
      if (quad < 2 || quad + padding >= 4) return -1;
      ++padding;
      continue;
    }
    if (padding) return -1;  // data after padding
    acc = (acc << 6) | unsigned(c);
    if (++quad == 4) {
      out[o++] = static_cast<unsigned char>(acc >> 16);
      out[o++] = static_cast<unsigned char>(acc >> 8);
      out[o++] = static_cast<unsigned char>(acc);
      acc = 0;
      quad = 0;
    }
  }
  if (padding && quad + padding != 4) return -1;
  switch (quad) {
    case 0: break;
    case 1: return -1;  // six bits cannot form a byte
    case 2:
      out[o++] = static_cast<unsigned char>(acc >> 4);
      break;
    case 3:
      out[o++] = static_cast<unsigned char>(acc >> 10);
      out[o++] = static_cast<unsigned char>(acc >> 2);
      break;
  }
  return static_cast<long>(o);
}

}  // namespace

int safeBase64Encode(const unsigned char* in, unsigned int len, char** out) {
  if (!out) return 0;
  *out = nullptr;
  if (!in || len == 0) return 0;
  size_t n = encodedLength(len);
  if (n > INT_MAX) return 0;
  char* buf = static_cast<char*>(malloc(n + 1));
  if (!buf) return 0;
  encodeInto(in, len, buf);
  buf[n] = '\0';
  *out = buf;
  return static_cast<int>(n);
}

int safeBase64Decode(const unsigned char* in, unsigned int len, unsigned char** out) {
  if (!out) return 0;
  *out = nullptr;
  if (!in || len == 0) return 0;
  size_t cap = size_t(len) / 4 * 3 + 3;
  auto* buf = static_cast<unsigned char*>(malloc(cap + 1));
  if (!buf) return 0;
  long n = decodeInto(in, len, buf);
  if (n <= 0) {
    free(buf);
    return 0;
  }
  buf[n] = 0;  // convenience terminator for text payloads
  *out = buf;
  return static_cast<int>(n);
}

std::string safeBase64EncodeString(const void* in, size_t len) {
  if (!in || len == 0) return std::string();
  std::string out(encodedLength(len), '\0');
  encodeInto(static_cast<const unsigned char*>(in), len, out.data());
  return out;
}

std::string safeBase64DecodeString(const void* in, size_t len) {
  if (!in || len == 0) return std::string();
  std::string out(len / 4 * 3 + 3, '\0');
  long n = decodeInto(static_cast<const unsigned char*>(in), len,
                      reinterpret_cast<unsigned char*>(out.data()));
  if (n <= 0) return std::string();
  out.resize(static_cast<size_t>(n));
  return out;
}

NS_CC_END
