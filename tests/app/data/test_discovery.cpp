// Peer discovery inside the test's own namespace, which gets one veth pair
// (10.77.0.1/24) besides loopback: announcements handled from a table, the
// login-matched "remoteSameUserDevice", a datagram through the real receive
// loop, and the sweep's single run and prompt end.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/data/sniffer.h"
#include "engine/cocos2d.h"
#include "support_library.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UIHttpPhisical.h"
#include "toolkit/foundation/UILocalConfig.h"

namespace {

using NSUI::UIJson;

struct Sniffer : NSUI::sniffer {};  // without the receive loop unless started

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(libtest::sh("ip link add v0 type veth peer name v1 && ip addr add 10.77.0.1/24 dev v0 && "
                          "ip link set v0 up && ip link set v1 up"),
              0);
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        this, nullptr, [this](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* d) { found.push_back(d->text); },
        NOTIFY_PEER_FOUND);
  }
  void TearDown() override {
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
    if (peer >= 0) close(peer);
  }

  // A socket standing for the peer at 127.0.0.2:12389; counts what it gets.
  void openPeer() {
    peer = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(12389);
    inet_pton(AF_INET, "127.0.0.2", &sa.sin_addr);
    ASSERT_EQ(bind(peer, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  }
  std::vector<std::string> peerDatagrams() {
    std::vector<std::string> out;
    usleep(50000);
    char buf[2048];
    ssize_t n;
    while ((n = recv(peer, buf, sizeof buf, 0)) > 0) out.emplace_back(buf, static_cast<size_t>(n));
    return out;
  }

  libtest::Library lib;  // writable path and frame stepping
  std::vector<std::string> found;
  int peer = -1;
};

TEST_F(Discovery, AnnouncementsFromATable) {
  openPeer();
  Sniffer s;
  struct Case {
    std::string text;
    size_t posts, responses;
  } cases[] = {
      {libtest::announcement("127.0.0.2", "ping"), 1, 2},  // answered once, sent twice
      {libtest::announcement("127.0.0.2", "response"), 1, 0},
      {libtest::announcement("127.0.0.2", "ping", "A1", "peer", "dicom_node_recognize "), 0, 0},
      {libtest::announcement("10.77.0.1", "ping"), 0, 0},  // the sniffer's own address
      {libtest::announcement("255.255.255.255", "ping"), 0, 0},
      {libtest::announcement("10.77.0.255", "ping"), 0, 0},
      {libtest::announcement("224.0.0.1", "ping"), 0, 0},
      {libtest::announcement("0.0.0.0", "ping"), 0, 0},
      {libtest::announcement("a.b.c.d", "ping"), 0, 0},
      {libtest::announcement("", "ping"), 0, 0},
      {"not json at all", 0, 0},
      {"", 0, 0},
  };
  for (const auto& c : cases) {
    found.clear();
    s.onReceive(c.text.c_str(), static_cast<int>(c.text.size()));
    lib.step(3);
    EXPECT_EQ(found.size(), c.posts) << c.text;
    auto got = peerDatagrams();
    EXPECT_EQ(got.size(), c.responses) << c.text;
    for (auto& g : got) EXPECT_EQ(g, got[0]);  // the same datagram twice
  }
}

TEST_F(Discovery, ReportedFieldsAreTheAnnouncedOnes) {
  Sniffer s;
  const std::string odd = "a \"quoted\" \\ name";
  std::string t1 = libtest::announcement("10.77.0.7", "response", nullptr, "nmr");
  std::string t2 = libtest::announcement("10.77.0.8", "response", "X9", odd);
  s.onReceive(t1.c_str(), static_cast<int>(t1.size()));
  s.onReceive(t2.c_str(), static_cast<int>(t2.size()));
  lib.step(4);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(UIJson::getJsonString(found[0], "appid"), "nmr10.77.0.7");
  EXPECT_EQ(UIJson::getJsonString(found[0], "device"), "2");
  EXPECT_EQ(UIJson::getJsonString(found[1], "name"), odd);
  EXPECT_EQ(UIJson::getJsonString(found[1], "ip"), "10.77.0.8");
  EXPECT_EQ(found[1].find("\"ip\""), found[1].find('"'));  // "ip" comes first
}

TEST_F(Discovery, SameUserDeviceOnlyWhenBothLoggedInWithTheSameId) {
  Sniffer s;
  struct Case {
    const char* logged;
    const char* id;
    const char* userid;
    bool written;
  } cases[] = {
      {"1", "u1", "u1", true}, {"1", "u1", "u2", false}, {"0", "u1", "u1", false}, {"1", "u1", nullptr, false}};
  for (const auto& c : cases) {
    NSUI::UILocalConfig::setStringForKey("remoteSameUserDevice", "none");
    NSUI::UILocalConfig::setStringForKey("app_logined", c.logged);
    NSUI::UILocalConfig::setStringForKey("app_login_id", c.id);
    std::string t = libtest::announcement("10.77.0.9", "response");
    if (c.userid) UIJson::setJsonString(t, "userid", c.userid);
    s.onReceive(t.c_str(), static_cast<int>(t.size()));
    EXPECT_EQ(NSUI::UILocalConfig::getStringForKey("remoteSameUserDevice", ""), c.written ? "10.77.0.9" : "none")
        << c.logged << " " << c.id << " " << (c.userid ? c.userid : "-");
  }
}

TEST_F(Discovery, DatagramThroughTheReceiveLoopAndOversizedDropped) {
  Sniffer s;
  s.startListening();
  ASSERT_TRUE(s.isRunning());
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(12389);
  inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
  std::string text = libtest::announcement("10.77.0.5", "response");
  std::string wire = NSUI::base64Encode(text.data(), static_cast<uint32_t>(text.size()));
  std::string big = NSUI::base64Encode(std::string(1100, 'x').data(), 1100);
  sendto(fd, big.data(), big.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  sendto(fd, wire.data(), wire.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  close(fd);
  EXPECT_TRUE(lib.pumpUntil([&] { return !found.empty(); }, 5));
  lib.step(10);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(UIJson::getJsonString(found[0], "ip"), "10.77.0.5");
  s.stopListening();
}

TEST_F(Discovery, OneSweepAtATimeAndTheEndWaitsForIt) {
  auto* s = new Sniffer;
  // The network check's first answer comes from a background probe.
  for (int i = 0; i < 200 && !s->isSweeping(); ++i) {
    s->startDiscovery();
    if (!s->isSweeping()) usleep(10000);
  }
  ASSERT_TRUE(s->isSweeping());
  s->startDiscovery();  // dropped while one runs
  EXPECT_TRUE(s->isSweeping());
  delete s;  // wakes the sweep's pause and joins it
}

}  // namespace
