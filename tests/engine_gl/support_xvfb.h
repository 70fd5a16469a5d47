// Shared by the X11 test programs: re-run under xvfb-run when there is no
// display (screen FW_XVFB_SCREEN, default 1280x800x24); report whether to
// skip.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

// Returns true when the caller should skip (no display and no xvfb-run).
// Does not return when it re-runs the program under xvfb-run.
inline bool reexecUnderXvfb(int argc, char** argv) {
  if (std::getenv("DISPLAY") || std::getenv("FW_UNDER_XVFB")) return !std::getenv("DISPLAY");
  if (access("/usr/bin/xvfb-run", X_OK) != 0) return true;
  setenv("FW_UNDER_XVFB", "1", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  static char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return true;
  self[n] = 0;
  static std::string screen;
  const char* size = std::getenv("FW_XVFB_SCREEN");
  screen = std::string("-screen 0 ") + (size && *size ? size : "1280x800x24");
  std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"), const_cast<char*>("-s"),
                             screen.data(), self};
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  execv("/usr/bin/xvfb-run", args.data());
  return true;
}
