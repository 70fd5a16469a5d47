// The DICOM task service against real peers on loopback: the send queue with
// storescp, the retrieve list, query records, the peer count and the tick.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "app/data/dataService.h"
#include "engine/cocos2d.h"
#include "support_library.h"
#include "tests/support/loopback.h"
#include "toolkit/foundation/NSNetworkInfo.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/fixtures.h"

namespace {

TEST(TaskServiceRecent, SameDateAndLessThanTenSecondsBehind) {
  struct Case {
    const char* seen;
    const char* now;
    bool counts;
  } cases[] = {
      {"2024-01-31 08:30:00", "2024-01-31 08:30:09", true},
      {"2024-01-31 08:30:00", "2024-01-31 08:30:10", false},
      {"2024-01-31 08:30:20", "2024-01-31 08:30:00", true},  // later today
      {"2024-01-31 23:59:58", "2024-02-01 00:00:03", false},  // next day
      {"2023-01-31 08:30:00", "2024-01-31 08:30:00", false},
      {"", "2024-01-31 08:30:00", false},
      {"garbage", "2024-01-31 08:30:00", false},
  };
  for (const auto& c : cases) EXPECT_EQ(dcmHeardRecently(c.seen, c.now), c.counts) << c.seen << " / " << c.now;
}

TEST(TaskServiceRecord, SplitsAndUnescapesFields) {
  auto f = dcmSplitRecord("a%2Cb,c%40d,100%25,%2,,x%2c", ',');
  ASSERT_EQ(f.size(), 6u);
  EXPECT_EQ(f[0], "a,b");
  EXPECT_EQ(f[1], "c@d");
  EXPECT_EQ(f[2], "100%");
  EXPECT_EQ(f[3], "%2");
  EXPECT_EQ(f[4], "");
  EXPECT_EQ(f[5], "x,");
}

pid_t startStorescp(uint16_t port, const std::string& out) {
  std::filesystem::create_directories(out);
  pid_t pid = fork();
  if (pid == 0) {
    std::string p = std::to_string(port);
    execlp("storescp", "storescp", "-od", out.c_str(), p.c_str(), (char*)nullptr);
    _exit(127);
  }
  return pid;
}

void stopChild(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

size_t fileCount(const std::string& dir) {
  size_t n = 0;
  std::error_code ec;
  for (auto& e : std::filesystem::recursive_directory_iterator(dir, ec))
    if (e.is_regular_file()) ++n;
  return n;
}

class TaskService : public ::testing::Test {
 protected:
  void SetUp() override {
    svc = dataService::getInstance();
    ASSERT_NE(svc, nullptr);
    ASSERT_NE(svc->database, nullptr);
    auto* centre = NSUI::NSNotificationCenter::getInstance();
    for (int id : {NOTIFY_FIND_STUDY_RECORD, NOTIFY_FIND_SERIES_RECORD, NOTIFY_NODE_COUNT})
      centre->addObserver(
          this, nullptr,
          [this](cocos2d::Ref*, unsigned int id, NSUI::NSNotificationData* d) {
            if (id == NOTIFY_FIND_STUDY_RECORD) {
              auto* rec = static_cast<findStudyData*>(d)->take();
              if (rec) studies.push_back(*rec);
              delete rec;
            } else if (id == NOTIFY_FIND_SERIES_RECORD) {
              auto* rec = static_cast<findSeriesData*>(d)->take();
              if (rec) series.push_back(*rec);
              delete rec;
            } else {
              counts.push_back(d->intValue);
            }
          },
          id);
  }
  void TearDown() override {
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
    svc->stop();
    dataService::destroyInstance();
    lib.step(3);
    for (pid_t p : children) stopChild(p);
  }

  libtest::Library lib;
  dataService* svc = nullptr;
  std::vector<FindStudyRecord> studies;
  std::vector<FindSeriesRecord> series;
  std::vector<int> counts;
  std::vector<pid_t> children;
};

TEST_F(TaskService, QueryResultsBecomeRecords) {
  svc->parseFindResult(
      "0008,0020[20240131]0008,0030[083000]0008,0080[Hosp]0008,1030[Head 0008,0060[CT)]0010,0010[Doe^John]"
      "0010,0020[P1]0010,0030[19700101]0010,0040[M]0020,000d[1.2.3]0020,0010[S1]");
  svc->parseFindResult("0008,0020[20240131]0010,0010[Roe^Jane]0020,000d[1.2.4]");       // date only
  svc->parseFindResult("0008,0020[20240131]0010,0010[]0020,000d[1.2.5]");               // no patient name
  svc->parseFindResult("0008,0021[20240201]0008,0031[101500]0008,0060[MR]0008,103e[T1]0020,000d[1.2.3]"
                       "0020,000e[1.2.3.9]0020,0011[4]0020,1209[22]");
  svc->parseFindResult("0008,0060[MR]0020,000d[1.2.3]0020,000e[]");  // no series UID
  svc->parseFindResult("0020,000d[1.2.3]");                            // neither kind
  lib.step(20);
  ASSERT_EQ(studies.size(), 2u);
  FindStudyRecord a{"2024.01.31 08:30:00", "Hosp", "Head 0008,0060[CT)", "Doe^John", "P1", "19700101", "M",
                    "1.2.3", "S1"};
  EXPECT_EQ(studies[0], a);
  EXPECT_EQ(studies[1][0], "20240131");
  EXPECT_EQ(studies[1][3], "Roe^Jane");
  ASSERT_EQ(series.size(), 1u);
  FindSeriesRecord s{"2024.02.01 10:15:00", "MR", "T1", "1.2.3", "1.2.3.9", "4", "22"};
  EXPECT_EQ(series[0], s);
}

TEST_F(TaskService, FailedRetrieveIsKeptOncePerSeriesUntilRemoved) {
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  const std::string rec = "127.0.0.1,104,,,1.2.3,1.2.3.4,/tmp/x%2Cy,Doe%2C John %40 Home,5,CT";
  centre->postNotificationText(nullptr, NOTIFY_RETRIEVE_FAILED, rec, nullptr, false);
  centre->postNotificationText(nullptr, NOTIFY_RETRIEVE_FAILED, rec, nullptr, false);
  centre->postNotificationText(nullptr, NOTIFY_RETRIEVE_FAILED, "a,b,c", nullptr, false);
  lib.step(20);
  ASSERT_EQ(svc->failedRetrieves.size(), 1u);
  auto& list = svc->getRetrieveTasks();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->state, DCM_TASK_FAILED);
  EXPECT_EQ(list[0]->fields[6], "/tmp/x,y");
  EXPECT_EQ(list[0]->fields[7], "Doe, John @ Home");
  EXPECT_EQ(list[0]->fields[9], "CT");
  dcmGetingObject key;
  key.fields[5] = "1.2.3.4";
  svc->removeRetrieveTask(&key);
  EXPECT_TRUE(svc->failedRetrieves.empty());
  EXPECT_TRUE(svc->getRetrieveTasks().empty());
}

TEST_F(TaskService, SendQueueAgainstStorescp) {
  auto s = dcmfixtures::writeSeries(lib.dir + "/series", *dcmfixtures::findVariant("ct_ele"), 16, 16, 3);
  uint16_t closedPort = fwtest::freeLoopbackPort();
  auto make = [&](const std::string& path, uint16_t port) {
    auto* t = new dcmSendingObject;
    t->ip = "127.0.0.1";
    t->port = std::to_string(port);
    t->name = "peer,a";
    t->path = path;
    return t;
  };
  dcmSendingObject* empty = make("", closedPort);
  dcmSendingObject* closed = make(lib.dir + "/series", closedPort);
  svc->addSendTask(empty);
  svc->addSendTask(closed);
  ASSERT_TRUE(lib.pumpUntil([&] { return closed->state == DCM_TASK_FAILED; }, 30));
  EXPECT_EQ(empty->state, DCM_TASK_WAITING);  // never started, blocked nothing

  uint16_t port = fwtest::freeLoopbackPort();
  const std::string out = lib.dir + "/received";
  children.push_back(startStorescp(port, out));
  usleep(300000);
  dcmSendingObject* good = make(lib.dir + "/series", port);
  svc->addSendTask(good);
  ASSERT_TRUE(lib.pumpUntil([&] { return good->state == DCM_TASK_DONE; }, 30));
  EXPECT_FLOAT_EQ(good->progress, 100.0f);
  EXPECT_EQ(fileCount(out), s.files.size());
  ASSERT_EQ(svc->echoTargets.size(), 1u);
  EXPECT_EQ(svc->echoTargets[0], "peera,127.0.0.1," + std::to_string(port));

  // The failed task, set back to waiting once its peer is up, completes.
  const std::string out2 = lib.dir + "/received2";
  children.push_back(startStorescp(closedPort, out2));
  usleep(300000);
  closed->state = DCM_TASK_WAITING;
  ASSERT_TRUE(lib.pumpUntil([&] { return closed->state == DCM_TASK_DONE; }, 30));
  lib.step(120);  // a second more: nothing is sent twice
  EXPECT_EQ(fileCount(out2), s.files.size());
  EXPECT_EQ(fileCount(out), s.files.size());
  EXPECT_EQ(empty->state, DCM_TASK_WAITING);
  empty->release();
  closed->release();
  good->release();
}

TEST_F(TaskService, TickSchedule) {
  // The engine's own tick is taken off; the test drives the ticks itself.
  auto* scheduler = cocos2d::Director::getInstance()->getScheduler();
  ASSERT_TRUE(scheduler->isScheduled("_dataServiceDataManager", svc));
  scheduler->unschedule("_dataServiceDataManager", svc);
  lib.step(3);
  counts.clear();
  svc->tickCount = 0;
  for (int i = 0; i < 300; ++i) svc->update(1.0f);
  EXPECT_EQ(svc->tickCount, 300);
  svc->update(1.0f);
  EXPECT_EQ(svc->tickCount, 0);  // the 301st tick swept the subnets
  lib.step(3);
  EXPECT_EQ(counts.size(), 151u);  // ticks 2, 4, ... 300 and the sweep tick (count 0)
  counts.clear();
  svc->tickCount = 1;
  svc->update(1.0f);  // count 2: posts the peer count at once
  svc->update(1.0f);  // 3: nothing
  lib.step(3);
  ASSERT_EQ(counts.size(), 1u);
  std::string host, addresses, masks;
  NSUI::getNetworkInfo(host, addresses, masks);
  EXPECT_EQ(counts[0], addresses.empty() ? -1 : 0);  // no peer was ever seen
}

}  // namespace
