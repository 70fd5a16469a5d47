// The task service's echoes and tick over a veth pair into a nested
// namespace: the subnet sweep finds storescp there as a DICOM node, the
// known-node echo keeps its last-seen time while it answers and resets it once
// it has ended (also after a finished send to it); the tick's schedule over
// simulated time; the program's teardown while every kind of work runs.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/data/dataService.h"
#include "app/data/sniffer.h"
#include "engine/cocos2d.h"
#include "service_peers.h"
#include "support_library.h"
#include "tests/support/loopback.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNetworkInfo.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/fixtures.h"

namespace {

class ServiceEcho : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(net.make(why, prefix())) << why;
    svc = dataService::getInstance();
    ASSERT_NE(svc->database, nullptr);
    auto* centre = NSUI::NSNotificationCenter::getInstance();
    for (int id : {NOTIFY_NODE_REPLY, NOTIFY_NODE_COUNT})
      centre->addObserver(
          this, nullptr,
          [this](cocos2d::Ref*, unsigned int id, NSUI::NSNotificationData* d) {
            if (id == NOTIFY_NODE_REPLY) replies.push_back(d->text);
            else counts.push_back(d->intValue);
          },
          id);
  }
  void TearDown() override {
    if (auto* centre = NSUI::NSNotificationCenter::getInstance()) centre->removeAllObservers(this);
    if (auto* s = NSUI::sniffer::getInstanceIfExists()) {
      s->stopListening();
      NSUI::sniffer::destroyInstance();
    }
    if (dataService::getInstanceIfExists()) {
      svc->stop();
      dataService::destroyInstance();
    }
    lib.step(3);
  }
  // A /30 by default: the far end is the only host of the subnet, so every
  // sweep is short.
  virtual int prefix() const { return 30; }

  // storescp on port 4587 of the far end.
  void startStorescp(peertest::Child& scp) {
    std::filesystem::create_directories(lib.dir + "/scp");
    ASSERT_TRUE(scp.start({"/usr/bin/storescp", "-od", lib.dir + "/scp", "4587"}, {}, net.fd()));
    for (int i = 0; i < 200 && net.run("echoscu -to 1 10.77.0.2 4587 >/dev/null 2>&1") != 0; ++i) usleep(50000);
  }

  dcmNeighbor node(int device, const std::string& ip) {
    std::vector<dcmNeighbor> list;
    svc->database->getNeighbors(list);
    for (auto& n : list)
      if (n.device == device && n.ip == ip) return n;
    return dcmNeighbor{};
  }

  // One frame of a second: one tick of the service.
  void second() { cocos2d::Director::getInstance()->stepFrame(1.0f); }

  libtest::Library lib;  // writable path and frames
  peertest::NestedNet net;
  dataService* svc = nullptr;
  std::vector<std::string> replies;
  std::vector<int> counts;
};

std::string todayMidnight() { return NSUI::getCurrentTimeString().substr(0, 10) + " 00:00:00"; }

TEST_F(ServiceEcho, SweepFindsTheNodeAndKnownEchoesFollowIt) {
  peertest::Child scp;
  startStorescp(scp);
  svc->echoNodes(NODE_ECHO_SWEEP);
  ASSERT_TRUE(lib.pumpUntil([&] { return node(5, "10.77.0.2").ID >= 0; }, 30));
  dcmNeighbor n = node(5, "10.77.0.2");
  EXPECT_EQ(n.port, "4587");
  EXPECT_EQ(n.appid, "dcm:10.77.0.2:4587");
  EXPECT_TRUE(dcmHeardRecently(n.wifi, NSUI::getCurrentTimeString())) << n.wifi;

  // While it answers, the known-node echo (every fifth tick) brings its
  // last-seen time back to now.
  svc->database->resetNeighborTime(n.appid);
  ASSERT_EQ(node(5, "10.77.0.2").wifi, todayMidnight());
  auto heard = [&] { return dcmHeardRecently(node(5, "10.77.0.2").wifi, NSUI::getCurrentTimeString()); };
  for (int i = 0; i < 12 && !heard(); ++i) {
    second();
    lib.pumpUntil(heard, 0.2);
  }
  EXPECT_TRUE(heard());

  // Ended: the next known-node echo resets it to today 00:00:00.
  scp.stop();
  auto reset = [&] { return node(5, "10.77.0.2").wifi == todayMidnight(); };
  for (int i = 0; i < 12 && !reset(); ++i) {
    second();
    lib.pumpUntil(reset, 0.2);
  }
  EXPECT_TRUE(reset()) << node(5, "10.77.0.2").wifi;

  // Back, sent to, and still echoed after the send has finished.
  peertest::Child again;
  startStorescp(again);
  dcmfixtures::writeSeries(lib.dir + "/series", *dcmfixtures::findVariant("ct_ele"), 16, 16, 2);
  auto* task = new dcmSendingObject;
  task->ip = "10.77.0.2";
  task->port = "4587";
  task->name = n.name;
  task->path = lib.dir + "/series";
  svc->addSendTask(task);
  ASSERT_TRUE(lib.pumpUntil([&] { return task->state == DCM_TASK_DONE; }, 30));
  task->release();
  for (int round = 0; round < 3; ++round) {
    svc->database->resetNeighborTime(n.appid);
    for (int i = 0; i < 12 && !heard(); ++i) {
      second();
      lib.pumpUntil(heard, 0.2);
    }
    EXPECT_TRUE(heard()) << "round " << round;
  }
}

class ServiceSchedule : public ServiceEcho {
 protected:
  void SetUp() override {
    ServiceEcho::SetUp();
    auto* scheduler = cocos2d::Director::getInstance()->getScheduler();
    ASSERT_TRUE(scheduler->isScheduled("_dataServiceDataManager", svc));
    scheduler->unschedule("_dataServiceDataManager", svc);
    // A DICOM node on the subnet that refuses: every known-node echo reports
    // it (one 2003 per echo), a subnet sweep reports nothing.
    svc->database->saveNeighbor(5, "closed", "10.77.0.2", "4587", "dcm:10.77.0.2:4587");
    svc->database->resetNeighborTime("dcm:10.77.0.2:4587");
    lib.step(3);
    replies.clear();
    counts.clear();
  }
};

TEST_F(ServiceSchedule, KnownEchoEveryFifthTickSweepAt301CountEverySecondTick) {
  svc->tickCount = 0;
  std::vector<int> echoedAt, countedAt, sweptAt;
  for (int tick = 1; tick <= 602; ++tick) {
    const size_t r = replies.size(), c = counts.size();
    svc->update(1.0f);
    if (svc->tickCount == 0) sweptAt.push_back(tick);
    // The count is posted for the next frame; an echo's report comes once
    // the probe has been refused.
    lib.step(1);
    if (svc->tickCount % 5 == 0 && svc->tickCount != 0) lib.pumpUntil([&] { return replies.size() > r; }, 5);
    if (replies.size() > r) echoedAt.push_back(tick);
    if (counts.size() > c) countedAt.push_back(tick);
  }
  std::vector<int> echoes, posts;
  for (int t = 1; t <= 602; ++t) {
    const int count = t <= 301 ? (t == 301 ? 0 : t) : (t == 602 ? 0 : t - 301);
    if (count % 5 == 0 && count != 0) echoes.push_back(t);
    if (count % 2 == 0) posts.push_back(t);
  }
  EXPECT_EQ(sweptAt, (std::vector<int>{301, 602}));
  EXPECT_EQ(echoedAt, echoes);
  EXPECT_EQ(countedAt, posts);
  for (int v : counts) EXPECT_EQ(v, 0);  // the refusing node was never heard

  // The adapter down: -1 every second tick.
  ASSERT_EQ(peertest::sh("ip link set v0 down"), 0);
  counts.clear();
  svc->tickCount = 0;
  for (int tick = 0; tick < 4; ++tick) {
    svc->update(1.0f);
    lib.step(1);
  }
  EXPECT_EQ(counts, (std::vector<int>{-1, -1}));
}

TEST_F(ServiceSchedule, DiscoverySweepEveryFifthTick) {
  auto* s = NSUI::sniffer::getInstance();
  ASSERT_TRUE(s->isRunning());
  auto sweepsAt = [&](int from, int to) {
    std::vector<int> at;
    svc->tickCount = from - 1;
    for (int tick = from; tick <= to; ++tick) {
      for (int i = 0; i < 300 && s->isSweeping(); ++i) usleep(10000);  // the last sweep has ended
      svc->update(1.0f);
      if (s->isSweeping()) at.push_back(tick);
    }
    return at;
  };
  // The network check's first answer comes from a background probe.
  for (int i = 0; i < 100 && NSUI::getNetworkCheckResult() != 0; ++i) usleep(10000);
  EXPECT_EQ(sweepsAt(1, 11), (std::vector<int>{5, 10}));
  // Across the subnet sweep: 300, then 301 (the count restarts at 0).
  EXPECT_EQ(sweepsAt(298, 301), (std::vector<int>{300, 301}));
}

// A /24, so that the echo and discovery sweeps have work to do.
class ServiceLoad : public ServiceEcho {
 protected:
  int prefix() const override { return 24; }
};

// The program's teardown while a send, a retrieve, an echo sweep and a
// discovery sweep run.
TEST_F(ServiceLoad, TeardownUnderLoad) {
  peertest::Child scp;
  startStorescp(scp);
  dcmfixtures::writeSeries(lib.dir + "/big", *dcmfixtures::findVariant("ct_ele"), 64, 64, 300);
  auto* task = new dcmSendingObject;
  task->ip = "10.77.0.2";
  task->path = lib.dir + "/big";
  svc->addSendTask(task);
  task->release();
  // A peer that takes the connection and never answers keeps the retrieve
  // waiting.
  uint16_t frozenPort = 0;
  int frozen = fwtest::listenLoopback(frozenPort, 4);
  ASSERT_GE(frozen, 0);
  ASSERT_TRUE(svc->getter.getSeriesByUID("127.0.0.1", std::to_string(frozenPort).c_str(), "", "", "1.2.3", "1.2.3.4",
                                         lib.dir.c_str(), "Doe", "1", "CT"));
  svc->echoNodes(NODE_ECHO_SWEEP);
  auto* s = NSUI::sniffer::getInstance();
  for (int i = 0; i < 100 && !s->isSweeping(); ++i) {
    s->startDiscovery();
    if (!s->isSweeping()) usleep(10000);
  }
  ASSERT_TRUE(s->isSweeping());
  ASSERT_TRUE(lib.pumpUntil([&] { return svc->sendTasks[0]->state == DCM_TASK_RUNNING; }, 30));
  lib.step(5);

  const auto t0 = std::chrono::steady_clock::now();
  if (s->running) {
    s->stopRequested = true;
    while (s->running) NSUI::sleepFor(0, 5000000);
  }
  NSUI::sniffer::destroyInstance();
  svc->stop();
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  for (int id : {NOTIFY_SEND_PROGRESS, NOTIFY_SEND_DONE, NOTIFY_SEND_FAILED, NOTIFY_NODE_REPLY, NOTIFY_FIND_RESULT,
                 NOTIFY_FIND_FAILED, NOTIFY_PEER_FOUND, NOTIFY_RETRIEVE_DONE, NOTIFY_RETRIEVE_FAILED})
    EXPECT_FALSE(centre->hasObserver(id, nullptr, svc)) << id;
  dataService::destroyInstance();
  dcmSDK::dcmsdk_destroy();
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(took, 2.0);
  // Whatever the library still reported reaches no service.
  centre->postNotificationText(nullptr, NOTIFY_PEER_FOUND, "{\"ip\":\"10.77.0.9\"}", nullptr, false);
  centre->postNotificationText(nullptr, NOTIFY_NODE_REPLY, "{\"ok\":\"1\"}", nullptr, false);
  lib.step(10);
  close(frozen);
}

}  // namespace
