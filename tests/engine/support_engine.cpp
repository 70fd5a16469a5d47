// Shared helpers of the engine tests.
#include "support_engine.h"

#include <cstdlib>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    fs::path p = fs::temp_directory_path() / ("engine_test_" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path = p.string() + "/";
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path, ec);
}

void writeFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(content.data(), 1, content.size(), f);
  fclose(f);
}
