// libFuzzer target for the DICOM file reader: every input is written to a
// file and read through every public path (tags, tag list, pixels, PNG).
// Building and running: see tests/dcmsdk/README.md.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dcmsdk/dcmSDK.h"

namespace {

// Seconds one input may take before it counts as a hang (a finding), unless
// -timeout= is given on the command line.
constexpr const char* kDefaultTimeout = "-timeout=10";

struct Paths {
  std::string dir, input, png;
  Paths() {
    char tmpl[] = "/tmp/fuzz-dcmreader-XXXXXX";
    dir = mkdtemp(tmpl);
    input = dir + "/input.dcm";
    png = dir + "/out.png";
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static std::vector<char*> args;
  bool given = false;
  for (int i = 0; i < *argc; ++i) given = given || std::strncmp((*argv)[i], "-timeout=", 9) == 0;
  if (given) return 0;
  args.assign(*argv, *argv + *argc);
  args.insert(args.begin() + 1, const_cast<char*>(kDefaultTimeout));
  args.push_back(nullptr);
  *argc += 1;
  *argv = args.data();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Paths paths;
  FILE* f = std::fopen(paths.input.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  dcmSDK::dcmReader r;
  if (r.setFile(paths.input.c_str())) {
    char buf[64];
    for (unsigned short e : {0x0010, 0x0011, 0x0030, 0x0008, 0x1050, 0x1052})
      r.readDicomTagString(0x0028, e, buf, sizeof buf);
    r.readDicomTagString(0x0010, 0x0010, buf, 7);
    r.readDicomTagString(0x0018, 0x1072, buf, sizeof buf);
    r.readDicomTagString(0x7053, 0x1000, buf, sizeof buf);
    unsigned short v;
    r.readDicomTagUint16(0x0018, 0x1060, v);
    dcmSDK::dcmReader::PixelType t;
    r.readDicomPixelType(t);
    int64_t n = 0;
    if (const void* p = r.readDicomPixelPointer(t, n)) {
      // Touch the last byte the reader claims to hold.
      const size_t bytes = static_cast<size_t>(n) * (t == 0 ? 1 : t == 1 ? 2 : 3);
      volatile uint8_t last = static_cast<const uint8_t*>(p)[bytes - 1];
      (void)last;
    }
    if (r.convertToPngFile(paths.png.c_str(), true)) unlink(paths.png.c_str());
  }
  dcmSDK::dcmReadTag tags;
  if (tags.setFile(paths.input.c_str())) {
    int count = 0;
    tags.getTagList(count);
    tags.getImageScale();
  }
  return 0;
}
