// Peer discovery between two namespaces joined by a veth pair (/24): the
// time from startDiscovery on one discovery object to both notifications,
// its own 2020 for the far one and the far one's 2020 for it, with the frame
// loop at 60 frames per second; against a bare UDP exchange (one datagram
// each way) between the same two namespaces in the same run. Goal: within
// the bare exchange plus two frames (33 ms).
//
// The far object lives in this process too: its sockets and threads are
// made by a thread that entered the nested namespace, and both post into the
// one notification centre (told apart by the announced address).
// Also reported: the time the sweep of the /24 takes (its pings, without the
// one-second pause at its end).
//
// Run inside the loopback-only namespace: scripts/bench.sh
//   --benchmark_filter=Discovery
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "app/data/sniffer.h"
#include "engine/cocos2d.h"
#include "tests/app/data/service_peers.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNetworkInfo.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace {

using clock_type = std::chrono::steady_clock;
double since(clock_type::time_point t0) { return std::chrono::duration<double>(clock_type::now() - t0).count(); }

struct Sniffer : NSUI::sniffer {};

// Runs fn on a thread inside the namespace behind fd and waits for it.
void inNamespace(int fd, const std::function<void()>& fn) {
  std::thread([&] {
    if (setns(fd, CLONE_NEWNET) == 0) fn();
  }).join();
}

int udpSocket(const char* ip, uint16_t port) {
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  inet_pton(AF_INET, ip, &sa.sin_addr);
  if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    close(s);
    return -1;
  }
  return s;
}

struct Pair {
  peertest::NestedNet net;
  bool ok = false;
  Pair() {
    std::string why;
    ok = net.make(why, 24);
    if (!ok) std::fprintf(stderr, "bench_discovery: %s\n", why.c_str());
  }
};

Pair& pair() {
  static Pair p;
  return p;
}

void stepFrame() { cocos2d::Director::getInstance()->stepFrame(1.0f / 60); }

void BM_BareUdpExchange(benchmark::State& state) {
  if (!pair().ok) {
    state.SkipWithError("no veth pair (needs the isolated namespace)");
    return;
  }
  int far = -1;
  inNamespace(pair().net.fd(), [&] { far = udpSocket("10.77.0.2", 40001); });
  int near = udpSocket("10.77.0.1", 40002);
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    char buf[1024];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    pollfd p{far, POLLIN, 0};
    while (!stop) {
      if (poll(&p, 1, 50) <= 0) continue;
      len = sizeof from;
      ssize_t n = recvfrom(far, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n > 0) sendto(far, buf, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  });
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(40001);
  inet_pton(AF_INET, "10.77.0.2", &to.sin_addr);
  const std::string ping(200, 'p');  // about an announcement's size
  char buf[1024];
  for (auto _ : state) {
    auto t0 = clock_type::now();
    sendto(near, ping.data(), ping.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    recv(near, buf, sizeof buf, 0);
    state.SetIterationTime(since(t0));
  }
  stop = true;
  echo.join();
  close(near);
  close(far);
}
BENCHMARK(BM_BareUdpExchange)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_DiscoveryBothWays(benchmark::State& state) {
  if (!pair().ok) {
    state.SkipWithError("no veth pair (needs the isolated namespace)");
    return;
  }
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  for (int i = 0; i < 40; ++i) stepFrame();  // the centre's first tick
  // The network check's first answer comes from a background probe.
  for (int i = 0; i < 200 && NSUI::getNetworkCheckResult() != 0; ++i) usleep(10000);
  std::unique_ptr<Sniffer> near(new Sniffer), far;
  near->startListening();
  inNamespace(pair().net.fd(), [&] {
    far.reset(new Sniffer);
    far->startListening();
  });
  if (!near->isRunning() || !far || !far->isRunning()) {
    state.SkipWithError("cannot bind port 12389");
    return;
  }
  bool nearFound = false, farFound = false;
  clock_type::time_point both{};  // when the second of the two was delivered
  static int observer;
  centre->addObserver(
      &observer, nullptr,
      [&](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* d) {
        const std::string ip = NSUI::UIJson::getJsonStringWithDefault(d->text, "ip", "");
        if (ip == "10.77.0.2") nearFound = true;
        if (ip == "10.77.0.1") farFound = true;
        if (nearFound && farFound && both == clock_type::time_point{}) both = clock_type::now();
      },
      NOTIFY_PEER_FOUND);
  double sweepTotal = 0, frames = 0;
  int sweeps = 0;
  for (auto _ : state) {
    // The last sweep has ended (its one-second pause included).
    while (near->isSweeping()) {
      stepFrame();
      usleep(16667);
    }
    for (int i = 0; i < 3; ++i) stepFrame();
    nearFound = farFound = false;
    both = {};
    auto t0 = clock_type::now();
    auto next = t0;
    near->startDiscovery();
    int n = 0;
    while (!(nearFound && farFound) && since(t0) < 5) {
      stepFrame();
      ++n;
      next += std::chrono::microseconds(16667);
      std::this_thread::sleep_until(next);
    }
    const auto end = both == clock_type::time_point{} ? clock_type::now() : both;
    state.SetIterationTime(std::chrono::duration<double>(end - t0).count());
    frames += n;
    auto s0 = t0;
    while (near->isSweeping()) usleep(1000);
    sweepTotal += since(s0) - 1.0;  // without the pause at the end
    ++sweeps;
  }
  state.counters["frames"] = frames / static_cast<double>(state.iterations());
  state.counters["sweep24_ms"] = 1000.0 * sweepTotal / sweeps;
  centre->removeAllObservers(&observer);
  near->stopListening();
  far->stopListening();
  near.reset();
  far.reset();
}
BENCHMARK(BM_DiscoveryBothWays)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);

}  // namespace
