// Helpers of the network tests: free ports, peer processes (DCMTK tools,
// Orthanc) started and ended by their ids, and a recorder of the library's
// messages. Every test runs inside the loopback-only namespace.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dcmsdk/dcmSDK.h"

namespace nettest {

// A port on 127.0.0.1 that nothing listens on right now.
uint16_t freePort();
// True once something accepts TCP connections on 127.0.0.1:port.
bool waitPort(uint16_t port, int timeoutMs = 5000);
std::string str(uint16_t port);

// A peer process, ended (with its process group) when the object goes.
class Proc {
 public:
  Proc() = default;
  Proc(Proc&& o) noexcept : pid_(o.pid_) { o.pid_ = -1; }
  Proc& operator=(Proc&& o) noexcept;
  ~Proc() { stop(); }
  static Proc spawn(const std::vector<std::string>& argv, const std::string& logFile = "/dev/null");
  void stop();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// Runs a tool to its end (at most timeoutMs); returns its exit status (-1 on
// timeout) and its combined output.
int runTool(const std::vector<std::string>& argv, std::string* output = nullptr, int timeoutMs = 30000);

// A fresh folder below the test scratch folder.
std::string newDir(const std::string& name);
// Regular files below a folder (recursive), sorted.
std::vector<std::string> filesUnder(const std::string& dir);

// Orthanc on free ports with its own storage; allowGet false refuses C-GET
// (C-MOVE still served). Destinations: AE "fernwick" at 127.0.0.1:movePort.
struct Orthanc {
  Proc proc;
  uint16_t port = 0;
  std::string dir;
  bool start(bool allowGet, uint16_t movePort);
};

// dcmqrscp with an archive of its own, AE "QRSCP"; knows "fernwick" at
// 127.0.0.1:movePort.
struct QrScp {
  Proc proc;
  uint16_t port = 0;
  std::string dir;
  bool start(uint16_t movePort);
};

// Records every message of the library.
struct Msg {
  uint32_t type;
  std::string text;
  std::shared_ptr<dcmSDK::DCM_MESSAGE> rec;
  std::chrono::steady_clock::time_point at;
};
void recordMessages();  // installs the recorder (and clears it)
std::vector<Msg> messages();
std::vector<Msg> messagesOf(uint32_t type);
void clearMessages();
// Waits until pred(messages()) holds; false on timeout.
bool waitMessages(const std::function<bool(const std::vector<Msg>&)>& pred, int timeoutMs = 10000);
size_t countOf(const std::vector<Msg>& all, uint32_t type);

// Checksum of the decoded pixels of a DICOM file ("" when not decodable).
std::string pixelSum(const std::string& path);
// SOP Instance UID of a file.
std::string sopOf(const std::string& path);

// The own storage server on a free loopback port, storing under `root` (a new
// temporary folder unless one is given); port 0 when it could not start.
struct OwnServer {
  dcmSDK::dcmServer s;
  std::string root;
  uint16_t port = 0;
  explicit OwnServer(const std::string& rootDir = "") {
    root = rootDir.empty() ? newDir("root") : rootDir;
    for (int attempt = 0; attempt < 5; ++attempt) {
      port = freePort();
      s.setPort("127.0.0.1", str(port).c_str(), "fernwick");
      s.setRoot(root.c_str());
      if (s.BeginDicomServer()) return;
    }
    port = 0;
  }
};

}  // namespace nettest
