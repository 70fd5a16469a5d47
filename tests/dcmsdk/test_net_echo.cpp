// Echo of many nodes: live peers answer, closed ports, hosts that drop
// connection requests and listeners that never speak cost bounded time.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "tests/support/loopback.h"
#include "support_dcm.h"
#include "support_net.h"

using namespace nettest;

namespace {

int listener(uint16_t& port, int backlog) { return fwtest::listenLoopback(port, backlog); }

// A port whose connection requests are dropped: the accept queue is full.
struct BlackHole {
  int fd = -1;
  std::vector<int> fillers;
  uint16_t port = 0;
  BlackHole() {
    fd = listener(port, 0);
    for (int i = 0; i < 3; ++i) {
      int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_port = htons(port);
      sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      connect(c, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
      fillers.push_back(c);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~BlackHole() {
    for (int c : fillers) close(c);
    close(fd);
  }
};

// Accepts and never answers.
struct Silent {
  int fd = -1;
  uint16_t port = 0;
  std::vector<int> peers;
  std::thread t;
  std::atomic<bool> done{false};
  Silent() {
    fd = listener(port, 16);
    fcntl(fd, F_SETFL, O_NONBLOCK);
    t = std::thread([this] {
      while (!done) {
        int c = accept(fd, nullptr, nullptr);
        if (c >= 0) peers.push_back(c);
        else std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
  }
  ~Silent() {
    done = true;
    t.join();
    for (int c : peers) close(c);
    close(fd);
  }
};

struct Reply {
  std::string ok, appid, name;
};
std::string field(const std::string& json, const std::string& key) {
  auto p = json.find("\"" + key + "\":\"");
  if (p == std::string::npos) return "";
  p += key.size() + 4;
  return json.substr(p, json.find('"', p) - p);
}

// Third field of "name,ip,port[,ae]".
std::string portOf(const std::string& entry) {
  std::string rest = entry.substr(entry.find(',', entry.find(',') + 1) + 1);
  return rest.substr(0, rest.find(','));
}

}  // namespace

TEST(NetEcho, LiveClosedDeadAndSilentNodes) {
  recordMessages();
  dcmSDK::dcmServer server;
  uint16_t own = freePort();
  server.setPort("127.0.0.1", str(own).c_str(), "fernwick");
  server.setRoot(newDir("echoroot").c_str());
  ASSERT_TRUE(server.BeginDicomServer());
  uint16_t scpPort = freePort();
  Proc scp = Proc::spawn({"storescp", "-aet", "STORESCP", "-od", newDir("scp"), str(scpPort)});
  ASSERT_TRUE(waitPort(scpPort));
  BlackHole hole;
  Silent silent;
  uint16_t closed = freePort();

  struct Node {
    std::string entry, name;
    bool live;
  };
  std::vector<Node> nodes = {
      {"own,127.0.0.1," + str(own) + ",fernwick", "own", true},
      {"scp,127.0.0.1," + str(scpPort), "scp", true},
      {"closed,127.0.0.1," + str(closed), "closed", false},
      {"hole,127.0.0.1," + str(hole.port), "hole", false},
      {"silent,127.0.0.1," + str(silent.port), "silent", false},
  };
  for (bool sweep : {false, true}) {
    clearMessages();
    std::vector<std::string> texts;
    for (auto& n : nodes) texts.push_back(sweep ? "127.0.0.1," + portOf(n.entry) : n.entry);
    std::vector<char*> ptrs;
    for (auto& t : texts) ptrs.push_back(t.data());
    dcmSDK::dcmEcho echo;
    auto t0 = std::chrono::steady_clock::now();
    echo.echo(ptrs.data(), int(ptrs.size()), sweep);
    size_t want = sweep ? 2 : nodes.size();
    ASSERT_TRUE(waitMessages([&](auto& all) { return countOf(all, dcmSDK::DCM_MSG_ECHO_REPLY) >= want; }, 8000))
        << sweep;
    // Probes run side by side: the slowest (silent listener) bounds the time.
    std::this_thread::sleep_for(std::chrono::milliseconds(sweep ? 3500 : 200));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(6));
    auto replies = messagesOf(dcmSDK::DCM_MSG_ECHO_REPLY);
    EXPECT_EQ(replies.size(), want);
    for (auto& n : nodes) {
      std::string port = portOf(n.entry);
      const Msg* found = nullptr;
      for (auto& r : replies)
        if (field(r.text, "appid") == "dcm:127.0.0.1:" + port) found = &r;
      if (sweep && !n.live) {
        EXPECT_EQ(found, nullptr) << n.name;
        continue;
      }
      ASSERT_NE(found, nullptr) << n.name;
      EXPECT_EQ(field(found->text, "ok"), n.live ? "1" : "0") << n.name;
      EXPECT_EQ(field(found->text, "port"), port);
      EXPECT_EQ(field(found->text, "ip"), "127.0.0.1");
      EXPECT_EQ(field(found->text, "name"), sweep ? "127.0.0.1" : n.name);
    }
  }
}

TEST(NetEcho, StopEndsASweepAtOnce) {
  recordMessages();
  BlackHole hole;
  std::vector<std::string> texts(300, "127.0.0.1," + str(hole.port));
  std::vector<char*> ptrs;
  for (auto& t : texts) ptrs.push_back(t.data());
  auto echo = std::make_unique<dcmSDK::dcmEcho>();
  echo->echo(ptrs.data(), int(ptrs.size()), false);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto t0 = std::chrono::steady_clock::now();
  echo->stop = true;
  size_t before = messages().size();
  echo.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(messages().size(), before);
}
