#include "support_net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "support_dcm.h"
#include "tests/support/loopback.h"

extern char** environ;

namespace nettest {

namespace fs = std::filesystem;

uint16_t freePort() { return fwtest::freeLoopbackPort(); }

bool waitPort(uint16_t port, int timeoutMs) { return fwtest::waitLoopbackPort(port, timeoutMs); }

std::string str(uint16_t port) { return std::to_string(port); }

Proc& Proc::operator=(Proc&& o) noexcept {
  if (this != &o) {
    stop();
    pid_ = o.pid_;
    o.pid_ = -1;
  }
  return *this;
}

static pid_t spawnRaw(const std::vector<std::string>& argv, const std::string& logFile) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  // Children must not keep the test's own listening sockets open.
  posix_spawn_file_actions_addclosefrom_np(&fa, 3);
  posix_spawnattr_t at;
  posix_spawnattr_init(&at);
  posix_spawnattr_setflags(&at, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&at, 0);
  // Peers run without Nagle's delay, like the library.
  setenv("TCP_NODELAY", "1", 1);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &fa, &at, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&at);
  return pid;
}

Proc Proc::spawn(const std::vector<std::string>& argv, const std::string& logFile) {
  Proc p;
  p.pid_ = spawnRaw(argv, logFile);
  return p;
}

void Proc::stop() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      kill(-pid_, SIGKILL);  // forked children of the peer, if any
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(-pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

int runTool(const std::vector<std::string>& argv, std::string* output, int timeoutMs) {
  std::string log = dcmtest::scratch() + "/tool-" + std::to_string(getpid()) + "-" +
                    std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".log";
  pid_t pid = spawnRaw(argv, log);
  if (pid < 0) return -1;
  int status = 0;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int rc = -1;
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    if (std::chrono::steady_clock::now() > end) {
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (output) {
    std::ifstream in(log);
    std::stringstream ss;
    ss << in.rdbuf();
    *output = ss.str();
  }
  fs::remove(log);
  return rc;
}

std::string newDir(const std::string& name) {
  static int n = 0;
  std::string d = dcmtest::scratch() + "/" + name + "-" + std::to_string(++n);
  fs::create_directories(d);
  return d;
}

std::vector<std::string> filesUnder(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file()) out.push_back(it->path().string());
  std::sort(out.begin(), out.end());
  return out;
}

bool Orthanc::start(bool allowGet, uint16_t movePort) {
  dir = newDir(allowGet ? "orthanc" : "orthanc-noget");
  port = freePort();
  std::ofstream cfg(dir + "/orthanc.json");
  const char* get = allowGet ? "true" : "false";
  cfg << "{ \"Name\": \"qrtest\", \"StorageDirectory\": \"" << dir << "/db\", \"IndexDirectory\": \"" << dir
      << "/db\", \"DicomAet\": \"ORTHANC\", \"DicomPort\": " << port
      << ", \"HttpServerEnabled\": false, \"HttpPort\": " << freePort()
      << ", \"RemoteAccessAllowed\": false, \"AuthenticationEnabled\": false, \"DicomCheckCalledAet\": false,"
         " \"DicomAlwaysAllowEcho\": true, \"DicomAlwaysAllowStore\": true, \"DicomAlwaysAllowFind\": true,"
         " \"DicomAlwaysAllowGet\": "
      << get << ", \"DicomAlwaysAllowMove\": true, \"DicomModalities\": { \"viewer\": { \"AET\": \"fernwick\","
      << " \"Host\": \"127.0.0.1\", \"Port\": " << movePort << ", \"AllowGet\": " << get
      << ", \"AllowMove\": true } }, \"Plugins\": [], \"StorageCompression\": false }\n";
  cfg.close();
  proc = Proc::spawn({"Orthanc", dir + "/orthanc.json"}, dir + "/orthanc.log");
  return proc.pid() > 0 && waitPort(port, 15000);
}

bool QrScp::start(uint16_t movePort) {
  dir = newDir("qrscp");
  port = freePort();
  fs::create_directories(dir + "/qrdb");
  std::ofstream cfg(dir + "/qr.cfg");
  cfg << "NetworkTCPPort = " << port << "\nMaxPDUSize = 16384\nMaxAssociations = 16\n"
      << "HostTable BEGIN\nviewer = (fernwick, 127.0.0.1, " << movePort << ")\nHostTable END\n"
      << "VendorTable BEGIN\nVendorTable END\nAETable BEGIN\nQRSCP " << dir
      << "/qrdb RW (200, 1024mb) ANY\nAETable END\n";
  cfg.close();
  proc = Proc::spawn({"dcmqrscp", "-c", dir + "/qr.cfg"}, dir + "/qr.log");
  return proc.pid() > 0 && waitPort(port, 10000);
}

namespace {
std::mutex g_mu;
std::vector<Msg> g_msgs;

void onMessage(uint32_t type, void* data) {
  Msg m;
  m.type = type;
  m.at = std::chrono::steady_clock::now();
  if (type == dcmSDK::DCM_MSG_IMAGE_STORED) {
    m.rec.reset(static_cast<dcmSDK::DCM_MESSAGE*>(data));
  } else if (data) {
    m.text = static_cast<const char*>(data);
  }
  std::lock_guard<std::mutex> lock(g_mu);
  g_msgs.push_back(std::move(m));
}
}  // namespace

void recordMessages() {
  if (getenv("NETTEST_LOG"))
    dcmSDK::setLogCallback([](const char* t) {
      fprintf(stderr, "%lld %s\n",
              (long long)std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now().time_since_epoch()).count() % 100000,
              t);
    });
  dcmSDK::setMsgCallback(onMessage);
  clearMessages();
}

std::vector<Msg> messages() {
  std::lock_guard<std::mutex> lock(g_mu);
  return g_msgs;
}

std::vector<Msg> messagesOf(uint32_t type) {
  std::vector<Msg> out;
  for (auto& m : messages())
    if (m.type == type) out.push_back(m);
  return out;
}

void clearMessages() {
  std::lock_guard<std::mutex> lock(g_mu);
  g_msgs.clear();
}

bool waitMessages(const std::function<bool(const std::vector<Msg>&)>& pred, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (pred(messages())) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

size_t countOf(const std::vector<Msg>& all, uint32_t type) {
  return static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](const Msg& m) { return m.type == type; }));
}

std::string pixelSum(const std::string& path) {
  dcmtest::Decoded d = dcmtest::decode(path);
  if (!d.ok) return "";
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : d.bytes) {
    h ^= b;
    h *= 1099511628211ull;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%d:%lld:%016llx", int(d.type), (long long)d.count, (unsigned long long)h);
  return buf;
}

std::string sopOf(const std::string& path) {
  dcmSDK::dcmReader r;
  char buf[256];
  if (!r.setFile(path.c_str()) || !r.readDicomTagString(0x0008, 0x0018, buf, sizeof buf)) return "";
  return buf;
}

}  // namespace nettest
