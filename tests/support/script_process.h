// A helper script run as a child process for the duration of a test
// (python3 <script> <work folder>): its standard input stays open while the
// test runs, and closing it tells the script to end; its first line of
// output (the ports it listens on) is handed back.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

extern char** environ;

namespace fwtest {

class ScriptProcess {
 public:
  ScriptProcess() = default;
  ~ScriptProcess() { stop(); }
  ScriptProcess(const ScriptProcess&) = delete;
  ScriptProcess& operator=(const ScriptProcess&) = delete;

  // Starts the script and waits for its first line; false when it cannot
  // start or ends without a line.
  bool start(const std::string& script, const std::string& workFolder, std::string* firstLine) {
    int in[2], out[2];
    if (pipe(in) != 0) return false;
    if (pipe(out) != 0) {
      close(in[0]);
      close(in[1]);
      return false;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, in[1]);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    char* argv[] = {const_cast<char*>("python3"), const_cast<char*>(script.c_str()),
                    const_cast<char*>(workFolder.c_str()), nullptr};
    const int rc = posix_spawnp(&pid, "python3", &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    stdinFd = in[1];
    if (rc != 0) {
      close(out[0]);
      pid = -1;
      return false;
    }
    FILE* f = fdopen(out[0], "r");
    char line[256] = {0};
    const bool ok = f && fgets(line, sizeof line, f);
    if (f) fclose(f);
    if (ok && firstLine) *firstLine = line;
    return ok;
  }

  // Closes the script's input and waits for it to end.
  void stop() {
    if (stdinFd >= 0) close(stdinFd);
    stdinFd = -1;
    if (pid > 0) {
      int status = 0;
      waitpid(pid, &status, 0);
    }
    pid = -1;
  }

 private:
  pid_t pid = -1;
  int stdinFd = -1;
};

}  // namespace fwtest
