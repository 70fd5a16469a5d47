// Orthanc as a DICOM peer of the task service: a generated configuration on
// free loopback ports (HTTP off), its own storage, AE title "ORTHANC", and
// "fernwick" at 127.0.0.1:4587 (the library's storage server) as the
// destination of retrieves. Started and ended by its process id.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/loopback.h"

namespace peertest {

inline bool acceptsOn(uint16_t port) { return fwtest::acceptsOnLoopback(port); }

class OrthancPeer {
 public:
  OrthancPeer() = default;
  OrthancPeer(const OrthancPeer&) = delete;
  OrthancPeer& operator=(const OrthancPeer&) = delete;
  ~OrthancPeer() { stop(); }

  bool start(const std::string& folder) {
    dir = folder;
    std::filesystem::create_directories(dir + "/db");
    port = fwtest::freeLoopbackPort();
    {
      std::ofstream cfg(dir + "/orthanc.json");
      cfg << "{ \"Name\": \"servicetest\", \"StorageDirectory\": \"" << dir << "/db\", \"IndexDirectory\": \"" << dir
          << "/db\", \"DicomAet\": \"ORTHANC\", \"DicomPort\": " << port
          << ", \"HttpServerEnabled\": false, \"HttpPort\": " << fwtest::freeLoopbackPort()
          << ", \"RemoteAccessAllowed\": false, \"AuthenticationEnabled\": false, \"DicomCheckCalledAet\": false,"
             " \"DicomAlwaysAllowEcho\": true, \"DicomAlwaysAllowStore\": true, \"DicomAlwaysAllowFind\": true,"
             " \"DicomAlwaysAllowGet\": true, \"DicomAlwaysAllowMove\": true,"
             " \"DicomModalities\": { \"viewer\": { \"AET\": \"fernwick\", \"Host\": \"127.0.0.1\", \"Port\": 4587,"
             " \"AllowGet\": true, \"AllowMove\": true } }, \"Plugins\": [], \"StorageCompression\": false }\n";
    }
    pid_ = fork();
    if (pid_ == 0) {
      int log = open((dir + "/orthanc.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (log >= 0) {
        dup2(log, 1);
        dup2(log, 2);
      }
      setpgid(0, 0);
      execlp("Orthanc", "Orthanc", (dir + "/orthanc.json").c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      if (acceptsOn(port)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 500; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  std::string dir;
  uint16_t port = 0;

 private:
  pid_t pid_ = -1;
};

}  // namespace peertest
