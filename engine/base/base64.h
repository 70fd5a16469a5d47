// Base64 (RFC 4648 alphabet, with padding).
#pragma once

#include <cstddef>
#include <string>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

// Encodes len bytes into *out (malloc'ed, zero-terminated; the caller frees
// it). Returns the text length, or 0 with *out null on failure or empty
// input.
int safeBase64Encode(const unsigned char* in, unsigned int len, char** out);

// Decodes len characters into *out (malloc'ed; the caller frees it). CR, LF,
// tabs and blanks are skipped and missing padding is accepted; any other
// character outside the alphabet, padding in the middle, or a dangling
// single character fails. Returns the byte count, or 0 with *out null on
// failure or when nothing is decoded.
int safeBase64Decode(const unsigned char* in, unsigned int len, unsigned char** out);

std::string safeBase64EncodeString(const void* in, size_t len);
inline std::string safeBase64EncodeString(const std::string& s) {
  return safeBase64EncodeString(s.data(), s.size());
}
// "" on failure.
std::string safeBase64DecodeString(const void* in, size_t len);
inline std::string safeBase64DecodeString(const std::string& s) {
  return safeBase64DecodeString(s.data(), s.size());
}

NS_CC_END
