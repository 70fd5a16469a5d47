// The send screen's transfer table: the rows at opening, their texts, the
// library's progress reports, removal and retry.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "english_texts.h"
#include "app/data/dcmNodeList.h"
#include "app/data/dcmTransferList.h"
#include "engine/cocos2d.h"
#include "support_library.h"
#include "tests/support/loopback.h"
#include "toolkit/foundation/NSLanguage.h"
#include "tools/dcmfixtures/fixtures.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace {

dcmSendingObject* sendTask(const std::string& ip, int state) {
  auto* t = new dcmSendingObject;
  t->ip = ip;
  t->port = "104";
  t->path = "/tmp/" + ip + "/";
  t->label = "label " + ip;
  t->state = state;
  return t;
}

dcmGetingObject* getTask(const std::string& series, int state) {
  auto* t = new dcmGetingObject;
  t->fields = {"127.0.0.1", "11112", "QRSCP", "", "1.2", series, "/w/tmp/dicomdown/", "DOE, JOHN", "3", "CT"};
  t->state = state;
  return t;
}

class TransferList : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.sendTasks = [this] { return sends; };
    calls.retrieveTasks = [this] { return gets; };
    calls.addSendTask = [this](dcmSendingObject* t) { log.push_back("add " + t->ip); };
    calls.removeRetrieveTask = [this](dcmGetingObject* t) { log.push_back("remove " + t->fields[5]); };
    calls.getSeriesByUID = [this](const GetTaskRecord& f) {
      retrieved.push_back(f);
      log.push_back("get " + f[5]);
      return true;
    };
    list = std::make_unique<dcmTransferList>(calls);
    list->events.message = [this](const std::string& t, float s) { messages.emplace_back(t, s); };
    list->events.removed = [this](int i) { log.push_back("removed " + std::to_string(i)); };
  }
  void TearDown() override {
    list.reset();
    for (auto* t : owned) t->release();
  }
  template <class T>
  T* keep(T* t) {
    owned.push_back(t);
    return t;
  }
  void open(std::vector<dcmSendingObject*> s, std::vector<dcmGetingObject*> g) {
    sends = std::move(s);
    gets = std::move(g);
    list->open();
    gets.clear();
  }
  void postText(int id, const std::string& text) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, id, text, nullptr, true);
    lib.step(2);
  }
  void postTask(int id, dcmTask* t, float value) {
    auto* d = new NSUI::NSNotificationData();
    d->taskValue = static_cast<int>(t->getRefID());
    d->floatValue = value;
    NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, id, d, nullptr, true);
    d->release();
    lib.step(2);
  }

  libtest::Library lib;
  libtest::EnglishTexts english;
  dcmModelCalls calls;
  std::vector<dcmSendingObject*> sends;
  std::vector<dcmGetingObject*> gets;
  std::vector<GetTaskRecord> retrieved;
  std::vector<cocos2d::Ref*> owned;
  std::vector<std::string> log;
  std::vector<std::pair<std::string, float>> messages;
  std::unique_ptr<dcmTransferList> list;
};

TEST_F(TransferList, OpeningListsUnfinishedSendsThenRetrieves) {
  auto* waiting = keep(sendTask("127.0.0.2", DCM_TASK_WAITING));
  auto* done = keep(sendTask("127.0.0.3", DCM_TASK_DONE));
  auto* running = keep(getTask("1.2.3", DCM_TASK_RUNNING));
  auto* finished = keep(getTask("1.2.4", DCM_TASK_DONE));
  open({waiting, done}, {finished, running});
  ASSERT_EQ(list->rows().size(), 2u);
  EXPECT_EQ(list->rows()[0], waiting);
  EXPECT_EQ(list->rows()[1], running);
  EXPECT_FALSE(list->helpVisible());

  open({done}, {finished});
  EXPECT_TRUE(list->rows().empty());
  EXPECT_TRUE(list->helpVisible());
  auto* fresh = keep(sendTask("127.0.0.4", DCM_TASK_WAITING));
  list->queueSend(fresh);
  EXPECT_FALSE(list->helpVisible());
  EXPECT_EQ(list->rows().size(), 1u);
  EXPECT_EQ(log, (std::vector<std::string>{"add 127.0.0.4"}));
}

TEST_F(TransferList, RowTexts) {
  struct Case {
    bool send;
    const char* name;  // node name (send) or patient name (retrieve)
    int state;
    float progress;
    const char *ip, *path, *ratio;
    bool ratioShown, retryShown;
  } cases[] = {
      {true, "PACS", DCM_TASK_WAITING, 0, "PACS---127.0.0.2", "label", "Waiting", true, false},
      {true, "", DCM_TASK_RUNNING, 57.4f, "127.0.0.2", "label", "57%", true, false},
      {true, "", DCM_TASK_FAILED, 20, "127.0.0.2", "label", "20%", false, true},
      {true, "", DCM_TASK_DONE, 100, "127.0.0.2", "label", "Done", true, false},
      {false, "DOE", DCM_TASK_WAITING, 0, "DOE", "3(CT)", "Waiting", true, false},
      {false, "", DCM_TASK_RUNNING, 70, "127.0.0.1", "3(CT 10)", "70%", true, false},
      {false, "", DCM_TASK_FAILED, 70, "127.0.0.1", "3(CT)", "70%", false, true},
      {false, "DOE", DCM_TASK_DONE, 100, "DOE", "3(CT 10)", "Done", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.ip) + " " + c.ratio);
    dcmTransferList::RowText r;
    if (c.send) {
      dcmSendingObject t;
      t.ip = "127.0.0.2";
      t.name = c.name;
      t.label = "label";
      t.state = c.state;
      t.progress = c.progress;
      r = dcmTransferList::rowText(&t);
    } else {
      dcmGetingObject t;
      t.fields = {"127.0.0.1", "104", "", "", "1.2", "1.2.3", "/d/", c.name, "3", "CT"};
      t.total = "10";
      t.state = c.state;
      t.progress = c.progress;
      r = dcmTransferList::rowText(&t);
    }
    EXPECT_EQ(r.ip, c.ip);
    EXPECT_EQ(r.path, c.path);
    EXPECT_EQ(r.ratio, c.ratio);
    EXPECT_EQ(r.ratioVisible, c.ratioShown);
    EXPECT_EQ(r.retryVisible, c.retryShown);
  }
}

TEST_F(TransferList, RetrieveProgressReports) {
  struct Case {
    const char* payload;
    int state;
    float progress;
    const char* total;
  } cases[] = {
      {"1.2.3|3|7|0|0", DCM_TASK_RUNNING, 70, "10"},
      {"1.2.3|0|10|0|0", DCM_TASK_DONE, 0, ""},
      {"1.2.3|0|9|1|0", DCM_TASK_FAILED, 0, ""},
      {"1.2.3|0|9|0|1", DCM_TASK_FAILED, 0, ""},
      {"1.2.3||0|0|0", DCM_TASK_WAITING, 0, ""},   // no total: unchanged
      {"1.2.3|00|0|0|0", DCM_TASK_WAITING, 0, ""},  // neither "0" nor a total
      {"1.2.3|3|7|0", DCM_TASK_WAITING, 0, ""},     // four pieces
      {"1.2.9|3|7|0|0", DCM_TASK_WAITING, 0, ""},   // another series
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.payload);
    auto* t = keep(getTask("1.2.3", DCM_TASK_WAITING));
    open({}, {t});
    postText(NOTIFY_RETRIEVE_PROGRESS, c.payload);
    EXPECT_EQ(t->state, c.state);
    EXPECT_FLOAT_EQ(t->progress, c.progress);
    EXPECT_EQ(t->total, c.total);
  }
  // The total is set by the first progress only.
  auto* t = keep(getTask("1.2.3", DCM_TASK_WAITING));
  open({}, {t});
  postText(NOTIFY_RETRIEVE_PROGRESS, "1.2.3|3|7|0|0");
  postText(NOTIFY_RETRIEVE_PROGRESS, "1.2.3|1|19|0|0");
  EXPECT_EQ(t->total, "10");
  EXPECT_FLOAT_EQ(t->progress, 95);
}

TEST_F(TransferList, FailureAndSendReportsFindTheirRow) {
  auto* a = keep(sendTask("127.0.0.2", DCM_TASK_WAITING));
  auto* b = keep(sendTask("127.0.0.3", DCM_TASK_WAITING));
  auto* g = keep(getTask("1.2.3", DCM_TASK_RUNNING));
  g->fields[7] = "DOE, JOHN @ HOME";
  open({a, b}, {g});
  postText(NOTIFY_RETRIEVE_FAILED, "127.0.0.1,11112,QRSCP,,1.2,1.2.3,/w/x%2Cy,DOE%2C JOHN %40 HOME,3");  // nine
  EXPECT_EQ(g->state, DCM_TASK_RUNNING);
  postText(NOTIFY_RETRIEVE_FAILED, "127.0.0.1,11112,QRSCP,,1.2,1.2.3,/w/x%2Cy,DOE%2C JOHN %40 HOME,3,CT");
  EXPECT_EQ(g->state, DCM_TASK_FAILED);

  postTask(NOTIFY_SEND_PROGRESS, b, 42.0f);
  EXPECT_EQ(b->state, DCM_TASK_RUNNING);
  EXPECT_FLOAT_EQ(b->progress, 42.0f);
  EXPECT_EQ(a->state, DCM_TASK_WAITING);
  postTask(NOTIFY_SEND_DONE, b, 0);
  EXPECT_EQ(b->state, DCM_TASK_DONE);
  EXPECT_FLOAT_EQ(b->progress, 100.0f);
  postTask(NOTIFY_SEND_FAILED, a, 0);
  EXPECT_EQ(a->state, DCM_TASK_FAILED);
  dcmSendingObject stranger;
  postTask(NOTIFY_SEND_FAILED, &stranger, 0);  // no row: nothing
  EXPECT_EQ(b->state, DCM_TASK_DONE);
  EXPECT_EQ(list->rows().size(), 3u);  // finished rows stay while the window is open
}

TEST_F(TransferList, RemovalFindsTheTaskAfterRowsMoved) {
  auto* s1 = keep(sendTask("127.0.0.2", DCM_TASK_WAITING));
  auto* s2 = keep(sendTask("127.0.0.3", DCM_TASK_FAILED));
  auto* s3 = keep(sendTask("127.0.0.4", DCM_TASK_WAITING));
  auto* g = keep(getTask("1.2.3", DCM_TASK_FAILED));
  open({s1, s2, s3}, {g});
  // Two presses in one frame, then a row above them goes before delivery.
  list->remove(1);
  list->remove(2);
  EXPECT_EQ(list->rows().size(), 4u);  // applied later
  list->remove(3);                     // the failed retrieve goes at once
  EXPECT_EQ(log, (std::vector<std::string>{"remove 1.2.3", "removed 3"}));
  log.clear();
  lib.step(4);
  ASSERT_EQ(list->rows().size(), 1u);
  EXPECT_EQ(list->rows()[0], s1);
  EXPECT_EQ(s1->state, DCM_TASK_WAITING);
  EXPECT_EQ(s2->state, DCM_TASK_DONE);
  EXPECT_EQ(s3->state, DCM_TASK_DONE);
  EXPECT_EQ(log, (std::vector<std::string>{"removed 1", "removed 1"}));
  EXPECT_TRUE(messages.empty());
  list->remove(5);  // no such row
  lib.step(3);
  EXPECT_EQ(list->rows().size(), 1u);
}

TEST_F(TransferList, RunningTasksAreNotRemoved) {
  auto* running = keep(sendTask("127.0.0.2", DCM_TASK_RUNNING));
  auto* handed = keep(sendTask("127.0.0.3", DCM_TASK_WAITING));
  handed->handedOver = true;
  auto* later = keep(sendTask("127.0.0.4", DCM_TASK_WAITING));
  auto* get = keep(getTask("1.2.3", DCM_TASK_RUNNING));
  open({running, handed, later}, {get});
  list->remove(0);
  list->remove(1);
  list->remove(3);
  list->remove(2);
  later->handedOver = true;  // the sender took it before the removal arrived
  lib.step(4);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].first, "This task is being sent and cannot be removed.");
  EXPECT_EQ(messages[1].first, messages[0].first);
  EXPECT_EQ(messages[2].first, "The downloading task can not be removed.");
  EXPECT_EQ(messages[3].first, messages[0].first);
  EXPECT_FLOAT_EQ(messages[0].second, 1.5f);
  EXPECT_EQ(list->rows().size(), 4u);
  EXPECT_EQ(later->state, DCM_TASK_WAITING);
  EXPECT_TRUE(log.empty());
}

TEST_F(TransferList, RetryStartsFailedTasksAgain) {
  auto* send = keep(sendTask("127.0.0.2", DCM_TASK_FAILED));
  send->progress = 40;
  auto* get = keep(getTask("1.2.3", DCM_TASK_FAILED));
  get->progress = 30;
  auto* other = keep(getTask("1.2.4", DCM_TASK_RUNNING));
  open({send}, {get, other});
  list->retry(0);
  EXPECT_EQ(send->state, DCM_TASK_WAITING);
  EXPECT_FLOAT_EQ(send->progress, 0);
  EXPECT_EQ(dcmTransferList::rowText(send).ratio, "Waiting");
  list->retry(1);
  EXPECT_EQ(get->state, DCM_TASK_WAITING);
  EXPECT_FLOAT_EQ(get->progress, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"remove 1.2.3", "get 1.2.3"}));
  ASSERT_EQ(retrieved.size(), 1u);
  EXPECT_EQ(retrieved[0], get->fields);
  list->retry(2);  // not failed: no retry
  list->retry(0);
  EXPECT_EQ(retrieved.size(), 1u);
}

// --- through the task service to storescp ---------------------------------

pid_t startStorescp(uint16_t port, const std::string& out) {
  std::filesystem::create_directories(out);
  pid_t pid = fork();
  if (pid == 0) {
    execlp("storescp", "storescp", "-od", out.c_str(), std::to_string(port).c_str(), (char*)nullptr);
    _exit(127);
  }
  return pid;
}

bool waitPort(uint16_t port) { return fwtest::waitLoopbackPort(port, 10000); }

size_t filesIn(const std::string& dir) {
  size_t n = 0;
  std::error_code ec;
  for (auto& e : std::filesystem::recursive_directory_iterator(dir, ec)) n += e.is_regular_file();
  return n;
}

TEST(TransferListService, SendThroughTheManualRowToStorescp) {
  libtest::Library lib;
  auto files = dcmfixtures::writeSeries(lib.dir + "/series", *dcmfixtures::findVariant("ct_ele"), 16, 16, 3).files;
  dataService* svc = dataService::getInstance();
  std::vector<pid_t> peers;
  {
    dcmTransferList transfers;
    dcmNodeList nodes;
    nodes.transfers = &transfers;
    transfers.open();
    nodes.open("127.0.0.1");
    nodes.sendPath = lib.dir + "/series/";
    nodes.sendName = "DOE^JOHN";
    std::vector<std::string> ratios;  // the texts of the row followed
    dcmTask* followed = nullptr;
    transfers.events.inserted = [&](int i) { followed = transfers.rows()[i]; };
    transfers.events.updated = [&](int i) {
      if (transfers.rows()[i] == followed) ratios.push_back(transfers.rowText(i).ratio);
    };
    auto sendTo = [&](uint16_t port) {
      nodes.onAddressEdited("127.0.0.1:" + std::to_string(port));
      EXPECT_EQ(nodes.send(1), dcmNodeList::SendResult::Queued);
      ratios = {transfers.rowText(transfers.indexOf(followed)).ratio};
      return static_cast<dcmSendingObject*>(followed);
    };

    uint16_t port = fwtest::freeLoopbackPort();
    peers.push_back(startStorescp(port, lib.dir + "/in1"));
    ASSERT_TRUE(waitPort(port));
    dcmSendingObject* good = sendTo(port);
    ASSERT_TRUE(lib.pumpUntil([&] { return good->state == DCM_TASK_DONE; }, 30));
    ASSERT_GE(ratios.size(), 3u);
    EXPECT_EQ(ratios.front(), "Waiting");
    EXPECT_EQ(ratios.back(), "Done");
    EXPECT_NE(ratios[ratios.size() - 2].find('%'), std::string::npos);
    EXPECT_EQ(filesIn(lib.dir + "/in1"), files.size());

    // A closed port fails; once the node listens, the retry completes.
    uint16_t closed = fwtest::freeLoopbackPort();
    dcmSendingObject* late = sendTo(closed);
    ASSERT_TRUE(lib.pumpUntil([&] { return late->state == DCM_TASK_FAILED; }, 30));
    EXPECT_TRUE(transfers.rowText(transfers.indexOf(late)).retryVisible);
    peers.push_back(startStorescp(closed, lib.dir + "/in2"));
    ASSERT_TRUE(waitPort(closed));
    transfers.retry(transfers.indexOf(late));
    EXPECT_EQ(transfers.rowText(transfers.indexOf(late)).ratio, "Waiting");
    ASSERT_TRUE(lib.pumpUntil([&] { return late->state == DCM_TASK_DONE; }, 30));
    EXPECT_EQ(filesIn(lib.dir + "/in2"), files.size());
  }
  svc->stop();
  dataService::destroyInstance();
  lib.step(3);
  for (pid_t p : peers) {
    kill(p, SIGTERM);
    waitpid(p, nullptr, 0);
  }
}

}  // namespace
