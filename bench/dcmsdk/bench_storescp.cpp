// Storage server throughput: 500 CT images of 512 x 512 16-bit sent by
// DCMTK's storescu (Nagle's delay off) into the library's server and into
// DCMTK's `storescp --fork` (the reference, from the same DCMTK build), over
// one association and over four in parallel, into a tmpfs (/dev/shm) and
// into a folder on disk. The two servers run one after the other in each
// round, so that both meet the same machine load; every round also runs the
// library's server without the durable flush (fdatasync of each file and
// its folder before the acknowledgement) to tell that flush's cost.
//
// Reported per case, over the rounds (FW_STORE_ROUNDS, default 3), as
// ratios of two timings taken side by side: ours / storescp (goal <= 1.1)
// and ours / ours-without-flush (the durable flush's cost), min and median.
//
// Run (inside the loopback-only namespace): scripts/bench.sh
//   --benchmark_filter=Receive
#include <benchmark/benchmark.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/spawn.h"
#include "dcmsdk/dcmSDK.h"
#include "dcmsdk/src/net_common.h"
#include "tests/support/loopback.h"
#include "tools/dcmfixtures/fixtures.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr int kImages = 500;

uint16_t freePort() { return fwtest::freeLoopbackPort(); }

bool canConnect(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  close(fd);
  return ok;
}

using benchsupport::spawn;

struct Setup {
  std::string dir;
  std::vector<std::string> files;
  Setup() {
    setenv("TCP_NODELAY", "1", 1);
    dcmSDK::setLogCallback(nullptr);
    char tmpl[] = "/var/tmp/dcmsdk-store-bench-XXXXXX";
    dir = mkdtemp(tmpl);
    files = dcmfixtures::writeSeries(dir + "/in", *dcmfixtures::findVariant("ct_ele"), 512, 512, kImages).files;
  }
  ~Setup() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

// Sends the images over `assocs` parallel storescu runs; seconds taken.
double sendAll(uint16_t port, const char* calledAE, int assocs) {
  auto& files = setup().files;
  auto t0 = std::chrono::steady_clock::now();
  std::vector<pid_t> senders;
  for (int a = 0; a < assocs; ++a) {
    std::vector<std::string> argv = {"storescu", "-aet", "BENCH", "-aec", calledAE, "127.0.0.1",
                                     std::to_string(port)};
    for (size_t i = a; i < files.size(); i += assocs) argv.push_back(files[i]);
    senders.push_back(spawn(argv));
  }
  for (pid_t p : senders) waitpid(p, nullptr, 0);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

size_t countFiles(const std::string& dir) {
  size_t n = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    n += it->is_regular_file() && it->path().string().find("/.incoming/") == std::string::npos;
  return n;
}

void freshDir(const std::string& d) {
  std::error_code ec;
  fs::remove_all(d, ec);
  fs::create_directories(d);
  sync();  // the previous run's writeback does not land on the next one
}

std::atomic<int> g_stored{0};

// One run of the library's server; seconds, or < 0 when not every image
// was stored.
double runOurs(const std::string& root, int assocs, bool durable) {
  freshDir(root);
  dcmSDK::net::setDurableStore(durable);
  dcmSDK::dcmServer server;
  uint16_t port = freePort();
  server.setPort("127.0.0.1", std::to_string(port).c_str(), "fernwick");
  server.setRoot(root.c_str());
  if (!server.BeginDicomServer()) return -1;
  g_stored = 0;
  double secs = sendAll(port, "fernwick", assocs);
  server.StopDicomServer();
  dcmSDK::net::setDurableStore(true);
  return g_stored == kImages && countFiles(root) == size_t(kImages) ? secs : -1;
}

double runStorescp(const std::string& out, int assocs) {
  freshDir(out);
  uint16_t port = freePort();
  pid_t scp = spawn({"storescp", "--fork", "-aet", "STORESCP", "-od", out, std::to_string(port)});
  while (!canConnect(port)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  double secs = sendAll(port, "STORESCP", assocs);
  // The forked children end with their associations; wait for the files.
  for (int i = 0; i < 200 && countFiles(out) < size_t(kImages); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  kill(-scp, SIGTERM);
  waitpid(scp, nullptr, 0);
  return countFiles(out) == size_t(kImages) ? secs : -1;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
double minOf(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// state.range(0): associations; range(1): 0 tmpfs, 1 disk.
void BM_Receive(benchmark::State& state) {
  int assocs = static_cast<int>(state.range(0));
  bool disk = state.range(1) != 0;
  int rounds = std::max(3, std::getenv("FW_STORE_ROUNDS") ? std::atoi(std::getenv("FW_STORE_ROUNDS")) : 3);
  dcmSDK::setMsgCallback([](uint32_t type, void* data) {
    if (type == dcmSDK::DCM_MSG_IMAGE_STORED) {
      delete static_cast<dcmSDK::DCM_MESSAGE*>(data);
      ++g_stored;
    }
  });
  std::string base = disk ? setup().dir : std::string("/dev/shm");
  std::string ours = base + "/fw-bench-ours", ref = base + "/fw-bench-storescp";
  std::vector<double> tOurs, tRef, tNoSync, ratio, flushCost;
  for (auto _ : state) {
    for (int r = 0; r < rounds; ++r) {
      // Alternate who goes first, so neither side always meets a warmer cache.
      double a = 0, b = 0, c = 0;
      if (r % 2 == 0) {
        b = runStorescp(ref, assocs);
        a = runOurs(ours, assocs, true);
      } else {
        a = runOurs(ours, assocs, true);
        b = runStorescp(ref, assocs);
      }
      c = runOurs(ours, assocs, false);
      if (a < 0 || b < 0 || c < 0) {
        state.SkipWithError("not every image was stored");
        break;
      }
      tOurs.push_back(a);
      tRef.push_back(b);
      tNoSync.push_back(c);
      ratio.push_back(a / b);
      flushCost.push_back(a / c);
    }
    state.SetIterationTime(tOurs.empty() ? 0 : median(tOurs));
  }
  std::error_code ec;
  fs::remove_all(ours, ec);
  fs::remove_all(ref, ec);
  if (tOurs.empty()) return;
  state.counters["ours/storescp_min"] = minOf(ratio);
  state.counters["ours/storescp_median"] = median(ratio);
  state.counters["ours_nosync/storescp_median"] = median(tNoSync) / median(tRef);
  state.counters["flush_cost_min"] = minOf(flushCost);
  state.counters["flush_cost_median"] = median(flushCost);
  state.counters["rounds"] = double(tOurs.size());
  state.SetLabel(std::string(disk ? "disk" : "tmpfs") + ", " + std::to_string(assocs) + " assoc x " +
                 std::to_string(kImages) + " images");
}

}  // namespace

BENCHMARK(BM_Receive)
    ->ArgsProduct({{1, 4}, {0, 1}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
