// Starting peer programs (DCMTK's tools, our own hosts) from a benchmark:
// standard error silenced, standard output to `outFd` or silenced, no other
// descriptor inherited, and a process group of its own so that the
// benchmark can end the program with everything it started.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace benchsupport {

// The program's pid, or -1 when it could not be started.
inline pid_t spawn(const std::vector<std::string>& argv, int outFd = -1) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (outFd >= 0) posix_spawn_file_actions_adddup2(&fa, outFd, 1);
  else posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&fa, 3);
  posix_spawnattr_t at;
  posix_spawnattr_init(&at);
  posix_spawnattr_setflags(&at, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&at, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &fa, &at, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&at);
  return pid;
}

}  // namespace benchsupport
