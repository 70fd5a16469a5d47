// Tells what is wrong with a file whose dataset cannot be parsed because its
// meta header announces another encoding than the one the dataset uses.
#include <cstdio>
#include <cstring>

#include "dcmsdk/src/internal.h"

namespace dcmSDK::detail {

namespace {

uint32_t le16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const unsigned char* p) { return le16(p) | le16(p + 2) << 16; }

bool isVrText(const unsigned char* p) { return p[0] >= 'A' && p[0] <= 'Z' && p[1] >= 'A' && p[1] <= 'Z'; }

// VRs whose explicit encoding has a 32-bit length after two reserved bytes.
bool longVr(const unsigned char* p) {
  static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
  for (const char* v : kLong)
    if (p[0] == v[0] && p[1] == v[1]) return true;
  return false;
}

}  // namespace

std::string encodingMismatch(const char* path, uint64_t fileSize) {
  unsigned char buf[65536];
  FILE* fp = std::fopen(path, "rb");
  if (!fp) return std::string();
  const size_t n = std::fread(buf, 1, sizeof buf, fp);
  std::fclose(fp);
  if (n < 140 || std::memcmp(buf + 128, "DICM", 4) != 0) return std::string();
  // The meta group is always explicit VR little endian.
  size_t pos = 132;
  std::string uid;
  while (pos + 8 <= n && le16(buf + pos) == 0x0002) {
    const uint32_t element = le16(buf + pos + 2);
    if (!isVrText(buf + pos + 4)) return std::string();
    size_t len, value;
    if (longVr(buf + pos + 4)) {
      if (pos + 12 > n) return std::string();
      len = le32(buf + pos + 8);
      value = pos + 12;
    } else {
      len = le16(buf + pos + 6);
      value = pos + 8;
    }
    if (len > n - value) return std::string();
    if (element == 0x0010) {
      uid.assign(reinterpret_cast<const char*>(buf + value), len);
      while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.pop_back();
    }
    pos = value + len;
  }
  if (uid.empty() || pos + 8 > n) return std::string();
  const DcmXfer declared(uid.c_str());
  if (declared.getXfer() == EXS_Unknown || declared.isBigEndian()) return std::string();
  const unsigned char* el = buf + pos;
  const bool explicitVr = isVrText(el + 4);
  const uint32_t implicitLength = le32(el + 4);
  const bool implicitFits = implicitLength == 0xFFFFFFFFu || pos + 8 + uint64_t(implicitLength) <= fileSize;
  std::string name = declared.getXferName();
  if (declared.isExplicitVR() && !explicitVr && implicitFits)
    return "the file meta information declares " + name +
           " (explicit VR), but the dataset is encoded with implicit VR";
  if (declared.isImplicitVR() && explicitVr && !implicitFits)
    return "the file meta information declares " + name + ", but the dataset is encoded with explicit VR";
  return std::string();
}

}  // namespace dcmSDK::detail
