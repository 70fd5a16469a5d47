// Shared by the window benchmarks: before main, re-run the program under
//   xvfb-run -a -s "-screen 0 1280x800x24"
// when there is no display, keeping the benchmark's own arguments. Nothing
// happens when xvfb-run is missing (the benchmarks then skip).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Before main: move under Xvfb when there is no display.
struct XvfbReexec {
  XvfbReexec() {
    if (std::getenv("DISPLAY") || std::getenv("FW_UNDER_XVFB")) return;
    if (access("/usr/bin/xvfb-run", X_OK) != 0) return;
    setenv("FW_UNDER_XVFB", "1", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    static char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return;
    self[n] = 0;
    std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"), const_cast<char*>("-s"),
                               const_cast<char*>("-screen 0 1280x800x24"), self};
    // Keep the benchmark's own arguments.
    std::FILE* f = std::fopen("/proc/self/cmdline", "rb");
    static std::vector<std::string> extra;
    if (f) {
      std::string cur;
      int c, idx = 0;
      while ((c = std::fgetc(f)) != EOF) {
        if (c == 0) {
          if (idx++ > 0) extra.push_back(cur);
          cur.clear();
        } else {
          cur.push_back(static_cast<char>(c));
        }
      }
      std::fclose(f);
    }
    for (auto& e : extra) args.push_back(e.data());
    args.push_back(nullptr);
    execv("/usr/bin/xvfb-run", args.data());
  }
} g_reexec;

}  // namespace
