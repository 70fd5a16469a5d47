#include "toolkit/foundation/NSHash.h"

namespace NSUI {

uint32_t foldedHash(const std::string& text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return static_cast<uint32_t>((hash ^ (hash >> 32)) & 0xffffffffull);
}

}  // namespace NSUI
