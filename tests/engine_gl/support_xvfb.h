// Shared by the X11 test programs: when there is no display, start a virtual
// screen of our own (screen FW_XVFB_SCREEN, default 1280x800x24) and run on
// it; report whether to skip.
//
// Xvfb picks its display number itself (-displayfd), so test programs that
// start at the same moment never share a screen (xvfb-run -a could hand two
// of them the same number, and one then ran on the other's screen).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace xvfbtest {

inline pid_t& serverPid() {
  static pid_t pid = 0;
  return pid;
}

inline void stopServer() {
  pid_t pid = serverPid();
  if (pid <= 0) return;
  serverPid() = 0;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
}

}  // namespace xvfbtest

namespace xvfbtest {

// Starts one Xvfb on a display number of its choosing; the number, or ""
// when the server did not come up.
inline std::string startServer(const std::string& screen) {
  int fds[2];
  if (pipe(fds) != 0) return "";
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return "";
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, 0);
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    std::string fd = std::to_string(fds[1]);
    execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  serverPid() = pid;
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
  close(fds[0]);
  if (number.empty()) stopServer();
  return number;
}

}  // namespace xvfbtest

// Returns true when the caller should skip (no display and no Xvfb). With
// no display it starts Xvfb, sets DISPLAY for this program and its children,
// and stops the server when the program exits (or dies: the server is told
// to end with its parent).
inline bool startVirtualScreen(int /*argc*/, char** /*argv*/) {
  if (std::getenv("DISPLAY")) return false;
  if (access("/usr/bin/Xvfb", X_OK) != 0) return true;
  const char* size = std::getenv("FW_XVFB_SCREEN");
  const std::string screen = size && *size ? size : "1280x800x24";
  // Many test programs start servers at once on a loaded machine; a server
  // that does not come up is tried again before the program gives up.
  std::string number;
  for (int attempt = 0; attempt < 3 && number.empty(); ++attempt) {
    if (attempt > 0) usleep(200000);
    number = xvfbtest::startServer(screen);
  }
  if (number.empty()) {
    std::fprintf(stderr, "Xvfb did not start\n");
    std::exit(1);
  }
  std::atexit(xvfbtest::stopServer);
  setenv("DISPLAY", (":" + number).c_str(), 1);
  setenv("FW_UNDER_XVFB", "1", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  return false;
}
