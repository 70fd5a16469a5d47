// The send screen's node table: fixed rows, stored nodes, echo and discovery
// replies, the manual address and the send action.
#include <gtest/gtest.h>

#include <cstdlib>

#include "english_texts.h"
#include "app/data/dcmNodeList.h"
#include "app/data/dcmTransferList.h"
#include "engine/cocos2d.h"
#include "support_library.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace {

dcmNeighbor stored(const std::string& appid, const std::string& wifi) {
  dcmNeighbor n;
  n.ID = static_cast<int>(appid[0]);
  n.device = 5;
  n.appid = appid;
  n.name = "node " + appid;
  n.ip = "127.0.0." + std::to_string(appid[0] - 'A' + 10);
  n.port = "104";
  n.wifi = wifi;
  n.lastTime = "2026-12-01 08:00:00";
  n.saveType = 1;
  return n;
}

class NodeList : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.neighbors = [this] { return neighbors; };
    calls.now = [this] { return now; };
    calls.sendTasks = [] { return std::vector<dcmSendingObject*>{}; };
    calls.retrieveTasks = [] { return std::vector<dcmGetingObject*>{}; };
    calls.addSendTask = [this](dcmSendingObject* t) {
      t->retain();
      queued.push_back(t);
    };
    transfers = std::make_unique<dcmTransferList>(calls);
    transfers->open();
    list = std::make_unique<dcmNodeList>(calls);
    list->transfers = transfers.get();
    list->events.message = [this](const std::string& t, float s) { messages.emplace_back(t, s); };
  }
  void TearDown() override {
    list.reset();
    transfers.reset();
    for (auto* t : queued) t->release();
  }

  std::string appids() const {
    std::string out;
    for (auto* r : list->rows()) out += (out.empty() ? "" : " ") + r->appid;
    return out;
  }
  int row(const std::string& appid) const {
    for (size_t i = 0; i < list->rows().size(); ++i)
      if (list->rows()[i]->appid == appid) return static_cast<int>(i);
    return -1;
  }
  void post(int id, const std::string& json) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, id, json, nullptr, false);
    lib.step(3);
  }

  libtest::Library lib;
  libtest::EnglishTexts english;
  dcmModelCalls calls;
  std::vector<dcmNeighbor> neighbors;
  std::string now = "2026-12-11 10:00:00";
  std::unique_ptr<dcmTransferList> transfers;
  std::unique_ptr<dcmNodeList> list;
  std::vector<dcmSendingObject*> queued;
  std::vector<std::pair<std::string, float>> messages;
};

TEST_F(NodeList, FixedRowsFollowTheOwnAddress) {
  list->open("10.77.0.1,192.168.1.20");
  ASSERT_EQ(list->rows().size(), 2u);
  EXPECT_EQ(list->localRowCount, 2);
  const dcmNodeObject* local = list->rows()[0];
  EXPECT_EQ(local->appid, "localip");
  EXPECT_EQ(local->ip, "10.77.0.1:4587");
  EXPECT_EQ(local->name, "Local");
  EXPECT_EQ(local->rowKind, NODE_ROW_LOCAL);
  EXPECT_TRUE(local->sendLocked);
  const dcmNodeObject* input = list->rows()[1];
  EXPECT_EQ(input->appid, "input");
  EXPECT_EQ(input->ip, "10.77.0.");
  EXPECT_EQ(input->rowKind, NODE_ROW_INPUT);
  EXPECT_FALSE(input->sendLocked);

  for (const char* none : {"", "0.0.0.0", "0.0.0.0,10.0.0.1"}) {
    SCOPED_TRACE(none);
    list->open(none);
    ASSERT_EQ(list->rows().size(), 1u);
    EXPECT_EQ(list->localRowCount, 1);
    EXPECT_EQ(list->rows()[0]->appid, "localip");
    EXPECT_EQ(list->rows()[0]->ip, "No network");
    EXPECT_EQ(list->rows()[0]->name, "Check the network connection");
    EXPECT_TRUE(list->rows()[0]->sendLocked);
    // Choosing it and sending does nothing.
    list->sendPath = "/tmp/series/";
    EXPECT_EQ(list->send(0), dcmNodeList::SendResult::Ignored);
  }
}

TEST_F(NodeList, RecentStoredNodesStandFirstInReverseOrder) {
  neighbors = {stored("A", "2026-12-11 09:59:52"), stored("C", "2026-12-11 09:59:50"),
               stored("B", "2026-12-11 09:59:55"), stored("D", "")};
  list->open("10.77.0.1");
  EXPECT_EQ(appids(), "localip input B A C D");
  const dcmNodeObject* b = list->rows()[2];
  EXPECT_EQ(b->ip, "127.0.0.11");
  EXPECT_EQ(b->port, "104");
  EXPECT_EQ(b->saveType, 1);
  EXPECT_EQ(b->device, 5);
  EXPECT_EQ(b->lastTime, "2026-12-01 08:00:00");
}

TEST_F(NodeList, HeardRecently) {
  struct Case {
    const char *time, *now;
    bool recent;
  } cases[] = {
      {"2026-12-11 09:59:51", "2026-12-11 10:00:00", true},
      {"2026-12-11 09:59:50", "2026-12-11 10:00:00", false},
      {"2026-12-11 18:00:00", "2026-12-11 10:00:00", true},  // later today
      {"2026-12-10 23:59:58", "2026-12-11 00:00:03", false},
      {"2026-12-11 10:00", "2026-12-11 10:00:00", false},  // short text
  };
  for (const auto& c : cases) {
    now = c.now;
    EXPECT_EQ(list->isHeardRecently(c.time), c.recent) << c.time << " at " << c.now;
  }
}

TEST_F(NodeList, EchoRepliesUpdateOrAddNodes) {
  neighbors = {stored("A", "2026-12-11 08:00:00")};
  list->open("10.77.0.1");
  post(NOTIFY_NODE_REPLY, R"({"ok":0,"appid":"X","name":"x","ip":"127.0.0.5","port":"104"})");
  EXPECT_EQ(appids(), "localip input A");  // unknown and silent: nothing
  post(NOTIFY_NODE_REPLY, R"({"ok":0,"appid":"A","name":"a2","ip":"127.0.0.6","port":"105"})");
  const dcmNodeObject* a = list->rows()[2];
  EXPECT_EQ(a->wifi, "2026-12-11 00:00:00");
  EXPECT_EQ(a->name, "a2");
  EXPECT_EQ(a->ip, "127.0.0.6");
  EXPECT_EQ(a->port, "105");
  post(NOTIFY_NODE_REPLY, R"({"ok":1,"appid":"Y","name":"y","ip":"127.0.0.7","port":"11112"})");
  EXPECT_EQ(appids(), "localip input Y A");
  EXPECT_EQ(list->rows()[2]->wifi, now);
  EXPECT_EQ(list->rows()[2]->device, 5);
  EXPECT_EQ(list->rows()[2]->port, "11112");
  post(NOTIFY_NODE_REPLY, R"({"ok":1,"appid":"Z","name":"z","ip":"","port":"1"})");  // no address
  EXPECT_EQ(appids(), "localip input Y A");
}

TEST_F(NodeList, DiscoveryRepliesRefreshOrMoveNodes) {
  neighbors = {stored("A", "2026-12-11 09:59:55"), stored("B", "2026-12-11 09:59:30")};
  list->open("10.77.0.1");
  ASSERT_EQ(appids(), "localip input A B");
  post(NOTIFY_PEER_FOUND, R"({"appid":"B","device":"2","name":"desk","ip":"127.0.0.9"})");
  EXPECT_EQ(appids(), "localip input B A");  // silent for 30 s: moved up
  const dcmNodeObject* b = list->rows()[2];
  EXPECT_EQ(b->ip, "127.0.0.9");
  EXPECT_EQ(b->port, "4587");
  EXPECT_EQ(b->device, 2);
  EXPECT_EQ(b->wifi, now);
  EXPECT_EQ(b->ID, -1);
  post(NOTIFY_PEER_FOUND, R"({"appid":"A","device":"3","name":"pad","ip":"127.0.0.8"})");
  EXPECT_EQ(appids(), "localip input B A");  // recent: refreshed in place
  EXPECT_EQ(list->rows()[3]->device, 3);
  EXPECT_EQ(list->rows()[3]->name, "pad");
  EXPECT_EQ(list->rows()[3]->port, "4587");
}

TEST_F(NodeList, ManualAddressAndSendAction) {
  list->open("10.77.0.1");
  const int manual = row("input");
  struct Case {
    const char* typed;
    const char* ip;
    const char* port;
    bool valid;
  } cases[] = {
      {"127.0.0.7:104", "127.0.0.7", "104", true},
      {"127.0.0.8", "127.0.0.8", "104", true},  // the port stays
      {"127.0.0", "127.0.0", "104", false},
  };
  list->sendPath = "/tmp/series/";
  list->sendName = "DOE^JOHN";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    messages.clear();
    list->onAddressEdited(c.typed);
    EXPECT_TRUE(list->sendInputVisible);
    EXPECT_EQ(list->rows()[manual]->ip, c.ip);
    EXPECT_EQ(list->rows()[manual]->port, c.port);
    auto result = list->send(manual);
    if (!c.valid) {
      EXPECT_EQ(result, dcmNodeList::SendResult::Refused);
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].first, "Invalid IP address");
      EXPECT_FLOAT_EQ(messages[0].second, 1.5f);
      continue;
    }
    EXPECT_EQ(result, dcmNodeList::SendResult::Queued);
    EXPECT_EQ(list->send(manual), dcmNodeList::SendResult::Ignored);  // pressed twice
    ASSERT_FALSE(queued.empty());
    EXPECT_EQ(queued.back()->ip, c.ip);
    EXPECT_EQ(queued.back()->port, c.port);
    EXPECT_EQ(queued.back()->path, "/tmp/series/");
    EXPECT_EQ(queued.back()->label, "DOE^JOHN");
    EXPECT_EQ(queued.back()->state, DCM_TASK_WAITING);
    EXPECT_FALSE(transfers->helpVisible());
  }
  EXPECT_EQ(queued.size(), 2u);
  EXPECT_EQ(transfers->rows().size(), 2u);
  list->rowTouched(0);
  EXPECT_FALSE(list->sendInputVisible);
}

TEST_F(NodeList, SendRefusesOrHighlights) {
  neighbors = {stored("A", "2026-12-11 09:59:55")};
  list->open("10.77.0.1");
  ASSERT_TRUE(transfers->helpVisible());
  // No folder, or no node chosen.
  for (auto [path, selected] : {std::pair{"", 2}, std::pair{"/tmp/s/", -1}}) {
    messages.clear();
    list->sendPath = path;
    EXPECT_EQ(list->send(selected), dcmNodeList::SendResult::Refused);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first, "Please choose a patient or series, and open again.");
  }
  EXPECT_EQ(list->send(0), dcmNodeList::SendResult::Ignored);  // own address
  EXPECT_EQ(list->send(2), dcmNodeList::SendResult::Queued);
  EXPECT_EQ(queued.back()->name, "node A");
  EXPECT_FALSE(transfers->helpVisible());

  // Opened again: the same node, port and folder only highlight the listed task.
  calls.sendTasks = [this] { return queued; };
  transfers = std::make_unique<dcmTransferList>(calls);
  transfers->open();
  list = std::make_unique<dcmNodeList>(calls);
  list->transfers = transfers.get();
  list->open("10.77.0.1");
  list->sendPath = "/tmp/s/";
  int highlight = -1;
  EXPECT_EQ(list->send(2, &highlight), dcmNodeList::SendResult::Highlighted);
  EXPECT_EQ(highlight, 0);
  EXPECT_EQ(queued.size(), 1u);
}

}  // namespace
