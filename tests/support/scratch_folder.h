// A temporary folder for the whole test or benchmark program: made on first
// use ("<prefix>-XXXXXX" under the system's temporary folder), removed with
// its content when the program ends. The path ends with "/".
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fwtest {

inline const std::string& programScratchFolder(const char* prefix) {
  static std::string dir = [prefix] {
    std::string t = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!mkdtemp(t.data())) std::abort();
    static std::string keep = t;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(keep, ec);
    });
    return t + "/";
  }();
  return dir;
}

}  // namespace fwtest
