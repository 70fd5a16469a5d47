// The folded hash: 64-bit FNV-1a of a text's bytes (offset basis
// 0xcbf29ce484222325, prime 0x100000001b3), folded to 32 bits as the low half
// of hash XOR (hash >> 32). It names the series cache files, keys the
// pixel-loading requests and forms the application identifier, so every one
// of them goes through this one function.
#pragma once

#include <cstdint>
#include <string>

namespace NSUI {

// "abc" gives 3797874002, "" gives 1339080641.
uint32_t foldedHash(const std::string& text);

}  // namespace NSUI
