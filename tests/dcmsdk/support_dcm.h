// Helpers shared by the DICOM library tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dcmsdk/dcmSDK.h"
#include "tools/dcmfixtures/fixtures.h"

namespace dcmtest {

// Scratch folder of this test process, removed at exit.
const std::string& scratch();
// The series of a fixture variant, written once per process.
const dcmfixtures::Series& series(const std::string& variant);
// True when a program is on PATH.
bool haveTool(const char* name);
// Runs a shell command quietly; true on exit status 0.
bool run(const std::string& cmd);

struct Decoded {
  bool ok = false;
  dcmSDK::dcmReader::PixelType type = dcmSDK::dcmReader::PIXEL_UNUSABLE;
  int64_t count = 0;
  std::vector<uint8_t> bytes;
  std::string error;
};
Decoded decode(const std::string& path);

}  // namespace dcmtest
