// Storage server throughput: 500 CT images of 512 x 512 16-bit sent by
// DCMTK's storescu into the library's server and into DCMTK's storescp (the
// reference, run from the same build of DCMTK in the same run), over one
// association and over four in parallel. Nagle's delay is off on both sides.
// The last entry reports ours / storescp in images per second.
//
// Run (inside the loopback-only namespace): scripts/bench.sh
//   --benchmark_filter=Store
#include <benchmark/benchmark.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "dcmsdk/dcmSDK.h"
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

pid_t spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
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

struct Setup {
  std::string dir;
  std::vector<std::string> files;
  std::map<std::string, double> seconds;  // best time per configuration
  Setup() {
    setenv("TCP_NODELAY", "1", 1);
    dcmSDK::setLogCallback(nullptr);
    char tmpl[] = "/tmp/dcmsdk-store-bench-XXXXXX";
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

void report(benchmark::State& state, const std::string& key, double secs) {
  state.SetIterationTime(secs);
  auto& best = setup().seconds[key];
  if (best == 0 || secs < best) best = secs;
}

std::atomic<int> g_stored{0};

void BM_StoreOurs(benchmark::State& state) {
  int assocs = static_cast<int>(state.range(0));
  dcmSDK::setMsgCallback([](uint32_t type, void* data) {
    if (type == dcmSDK::DCM_MSG_IMAGE_STORED) {
      delete static_cast<dcmSDK::DCM_MESSAGE*>(data);
      ++g_stored;
    }
  });
  std::string root = setup().dir + "/ours";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(root);
    fs::create_directories(root);
    dcmSDK::dcmServer server;
    uint16_t port = freePort();
    server.setPort("127.0.0.1", std::to_string(port).c_str(), "fernwick");
    server.setRoot(root.c_str());
    if (!server.BeginDicomServer()) {
      state.SkipWithError("server did not start");
      return;
    }
    g_stored = 0;
    state.ResumeTiming();
    double secs = sendAll(port, "fernwick", assocs);
    if (g_stored != kImages) state.SkipWithError("not every image was stored");
    report(state, "ours/" + std::to_string(assocs), secs);
  }
  state.SetItemsProcessed(state.iterations() * kImages);
}

void BM_StoreStorescp(benchmark::State& state) {
  int assocs = static_cast<int>(state.range(0));
  std::string out = setup().dir + "/storescp";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(out);
    fs::create_directories(out);
    uint16_t port = freePort();
    std::vector<std::string> argv = {"storescp", "-aet", "STORESCP", "-od", out};
    if (assocs > 1) argv.push_back("--fork");
    argv.push_back(std::to_string(port));
    pid_t scp = spawn(argv);
    while (!canConnect(port)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    state.ResumeTiming();
    double secs = sendAll(port, "STORESCP", assocs);
    state.PauseTiming();
    kill(-scp, SIGTERM);
    waitpid(scp, nullptr, 0);
    size_t n = 0;
    for (auto& e : fs::directory_iterator(out)) n += e.is_regular_file();
    if (n != kImages) state.SkipWithError("storescp did not store every image");
    state.ResumeTiming();
    report(state, "storescp/" + std::to_string(assocs), secs);
  }
  state.SetItemsProcessed(state.iterations() * kImages);
}

// Ours / storescp in images per second, from the best run of each.
void BM_StoreRatio(benchmark::State& state) {
  for (auto _ : state) {
  }
  auto& s = setup().seconds;
  for (int a : {1, 4}) {
    std::string k = std::to_string(a);
    if (s["ours/" + k] > 0 && s["storescp/" + k] > 0) {
      state.counters["ratio_" + k + "assoc"] = s["storescp/" + k] / s["ours/" + k];
      state.counters["ours_img_per_s_" + k] = kImages / s["ours/" + k];
      state.counters["storescp_img_per_s_" + k] = kImages / s["storescp/" + k];
    }
  }
}

}  // namespace

BENCHMARK(BM_StoreStorescp)->Arg(1)->Arg(4)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreOurs)->Arg(1)->Arg(4)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreRatio)->Iterations(1);
