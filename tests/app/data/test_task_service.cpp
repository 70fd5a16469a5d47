// The DICOM task service against real peers on loopback: the send queue with
// storescp, the retrieve list, query records, the peer count and the tick;
// sends, queries and retrieves with Orthanc; its messages read back from the
// running scene.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

#include "app/data/dataService.h"
#include "engine/cocos2d.h"
#include "orthanc_peer.h"
#include "support_library.h"
#include "tests/support/loopback.h"
#include "toolkit/foundation/NSNetworkInfo.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/fixtures.h"
#include "toolkit/widgets/NSMessageBox.h"

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

// True once something accepts connections on the port (storescp may take a
// while to start on a busy machine).
bool waitListening(uint16_t port) { return fwtest::waitLoopbackPort(port, 20000); }

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
  ASSERT_TRUE(waitListening(port));
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
  ASSERT_TRUE(waitListening(closedPort));
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

// The service with a running scene, so that its messages can be read back
// from the message box.
class TaskServiceScene : public TaskService {
 protected:
  void SetUp() override {
    TaskService::SetUp();
    cocos2d::Director::getInstance()->runWithScene(cocos2d::Scene::create());
    lib.step(2);
  }
  // The text of the shown message box ("" when none is shown).
  std::string shown() {
    cocos2d::Scene* scene = cocos2d::Director::getInstance()->getRunningScene();
    cocos2d::Node* box = scene ? scene->getChildByName("messageBox") : nullptr;
    if (!box || !box->isVisible()) return "";
    auto* text = dynamic_cast<cocos2d::ui::Text*>(box->getChildByNameDeep("messageBox.text"));
    return text ? text->getString() : "";
  }
  void hideMessage() {
    cocos2d::Scene* scene = cocos2d::Director::getInstance()->getRunningScene();
    if (cocos2d::Node* box = scene ? scene->getChildByName("messageBox") : nullptr) box->setVisible(false);
  }
  bool waitShown(const std::string& text, double seconds = 30) {
    return lib.pumpUntil([&] { return shown() == text; }, seconds);
  }
};

TEST_F(TaskServiceScene, MessagesReachTheRunningScene) {
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  struct Case {
    int id;
    std::string payload, shownText;
  } cases[] = {
      {NOTIFY_RETRIEVE_DONE, "Doe, John @ Home CT 3", "Doe, John @ Home CT 3 is ready"},
      {NOTIFY_RETRIEVE_FAILED, "127.0.0.1,104,,,1.2,1.2.3,/tmp,Doe%2C John,5,MR", "Failed to download Doe, John(5,MR)"},
      {NOTIFY_FIND_FAILED, "find failed: refused", "Check the network and the patient name"},
  };
  for (const auto& c : cases) {
    hideMessage();
    centre->postNotificationText(nullptr, c.id, c.payload, nullptr, false);
    EXPECT_TRUE(waitShown(c.shownText, 5)) << c.shownText << " / shown: " << shown();
  }
  // A failed send: its task fails and the node is to be checked.
  auto* task = new dcmSendingObject;
  task->ip = "127.0.0.1";  // no path: never started by the queue
  svc->addSendTask(task);
  hideMessage();
  centre->postNotificationTaskValue(NOTIFY_SEND_FAILED, static_cast<int>(task->getRefID()), false);
  EXPECT_TRUE(waitShown("Please check the status of DICOM node", 5)) << shown();
  EXPECT_EQ(task->state, DCM_TASK_FAILED);
  task->release();
}

// Runs a DCMTK tool; its output.
std::string runTool(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// The elements of a DICOM file as dcmdump prints them: "gggg,eeee" -> value.
std::map<std::string, std::string> dumpOf(const std::string& file) {
  std::map<std::string, std::string> out;
  std::istringstream in(runTool("dcmdump -q " + file));
  std::string line;
  while (std::getline(in, line)) {
    size_t p = line.find('(');
    if (p == std::string::npos || line.size() < p + 11 || line[p + 10] != ')') continue;
    std::string key = line.substr(p + 1, 9);
    std::transform(key.begin(), key.end(), key.begin(), ::tolower);
    size_t open = line.find('[', p), close = line.rfind(']');
    std::string value = open != std::string::npos && close != std::string::npos && close > open
                            ? line.substr(open + 1, close - open - 1)
                            : "";
    std::replace(value.begin(), value.end(), ']', ')');  // as the library shows it
    out[key] = value;
  }
  return out;
}

std::string whenText(const std::string& date, const std::string& time) {
  std::string f = date + time;
  if (f.size() < 14) return f;
  return f.substr(0, 4) + "." + f.substr(4, 2) + "." + f.substr(6, 2) + " " + f.substr(8, 2) + ":" + f.substr(10, 2) +
         ":" + f.substr(12, 2);
}

// findscu's answers to a query, each as the elements of one response.
std::vector<std::map<std::string, std::string>> findscu(uint16_t port, const std::string& dir,
                                                        const std::string& keys) {
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  runTool("findscu -S -aec ORTHANC -X -od " + dir + " " + keys + " 127.0.0.1 " + std::to_string(port));
  std::vector<std::map<std::string, std::string>> out;
  for (auto& e : std::filesystem::directory_iterator(dir)) out.push_back(dumpOf(e.path().string()));
  return out;
}

class TaskServiceOrthanc : public TaskServiceScene {
 protected:
  void SetUp() override {
    TaskServiceScene::SetUp();
    ASSERT_TRUE(orthanc.start(lib.dir + "/orthanc")) << libtest::readAll(lib.dir + "/orthanc/orthanc.log");
  }
  void TearDown() override {
    orthanc.stop();
    TaskServiceScene::TearDown();
  }
  peertest::OrthancPeer orthanc;
};

constexpr const char* kStudy1 = "1.2.826.0.1.3680043.2.1143.900.1";
constexpr const char* kStudy2 = "1.2.826.0.1.3680043.2.1143.900.2";
constexpr const char* kSeriesA = "1.2.826.0.1.3680043.2.1143.901.1";
constexpr const char* kSeriesB = "1.2.826.0.1.3680043.2.1143.901.2";
constexpr const char* kSeriesC = "1.2.826.0.1.3680043.2.1143.901.3";
const char* const kDoe = "Doe, John @ Home";

// Two studies of two patients: study 1 ("Doe, John @ Home", a description
// holding "0008,0060[CT]") with series A (CT 3, two images) and B (MR 5, two
// images); study 2 (date without time) with series C (one image).
void writeStudies(const std::string& dir) {
  std::filesystem::create_directories(dir + "/s1");
  std::filesystem::create_directories(dir + "/s2");
  struct Img {
    const char* folder;
    const char* study;
    const char* series;
    const char* modality;
    const char* number;
    int index;
  } imgs[] = {{"s1", kStudy1, kSeriesA, "CT", "3", 1}, {"s1", kStudy1, kSeriesA, "CT", "3", 2},
              {"s1", kStudy1, kSeriesB, "MR", "5", 3}, {"s1", kStudy1, kSeriesB, "MR", "5", 4},
              {"s2", kStudy2, kSeriesC, "CT", "1", 5}};
  for (const auto& i : imgs) {
    const bool one = std::string(i.study) == kStudy1;
    dcmfixtures::writeTagged(dir + "/" + i.folder + "/im" + std::to_string(i.index) + ".dcm",
                             {{0x00100010, one ? kDoe : "Roe^Jane"},
                              {0x00100020, one ? "P1" : "P2"},
                              {0x00100030, one ? "19700101" : ""},
                              {0x00100040, one ? "M" : "F"},
                              {0x0020000D, i.study},
                              {0x00200010, one ? "S1" : "S2"},
                              {0x00080020, one ? "20240131" : "20240201"},
                              {0x00080030, one ? "083000" : ""},
                              {0x00080080, "Hosp"},
                              {0x00081030, one ? "Head 0008,0060[CT] plain" : "Knee"},
                              {0x0020000E, i.series},
                              {0x00080060, i.modality},
                              {0x00200011, i.number},
                              {0x00080021, "20240131"},
                              {0x00080031, "084500"},
                              {0x0008103E, std::string("desc ") + i.number},
                              {0x00080018, "1.2.826.0.1.3680043.2.1143.902." + std::to_string(i.index)},
                              {0x00200013, std::to_string(i.index)}},
                             16, 16);
  }
}

TEST_F(TaskServiceOrthanc, SendQueryAndRetrieve) {
  const std::string data = lib.dir + "/data";
  writeStudies(data);
  const std::string port = std::to_string(orthanc.port);

  // Send: both studies go, each task done at 100.
  std::vector<dcmSendingObject*> tasks;
  for (const char* folder : {"/s1", "/s2"}) {
    auto* t = new dcmSendingObject;
    t->ip = "127.0.0.1";
    t->port = port;
    t->name = "orthanc";
    t->path = data + folder;
    svc->addSendTask(t);
    tasks.push_back(t);
  }
  ASSERT_TRUE(lib.pumpUntil(
      [&] { return std::all_of(tasks.begin(), tasks.end(), [](auto* t) { return t->state == DCM_TASK_DONE; }); },
      60))
      << tasks[0]->state << " " << tasks[1]->state;
  for (auto* t : tasks) {
    EXPECT_FLOAT_EQ(t->progress, 100.0f);
    t->release();
  }

  // Studies: the records equal, as a set, those built from findscu's answers.
  svc->finder.findPatientByName("127.0.0.1", port.c_str(), "ORTHANC", "", "*");
  ASSERT_TRUE(lib.pumpUntil([&] { return studies.size() >= 2; }, 30));
  lib.step(30);
  std::set<FindStudyRecord> ours(studies.begin(), studies.end()), theirs;
  for (auto& r : findscu(orthanc.port, lib.dir + "/fs",
                         "-k QueryRetrieveLevel=STUDY -k PatientName=* -k StudyDate -k StudyTime -k InstitutionName "
                         "-k StudyDescription -k PatientID -k PatientBirthDate -k PatientSex -k StudyInstanceUID "
                         "-k StudyID"))
    theirs.insert({whenText(r["0008,0020"], r["0008,0030"]), r["0008,0080"], r["0008,1030"], r["0010,0010"],
                   r["0010,0020"], r["0010,0030"], r["0010,0040"], r["0020,000d"], r["0020,0010"]});
  EXPECT_EQ(studies.size(), 2u);
  EXPECT_EQ(ours, theirs);
  auto doe = std::find_if(studies.begin(), studies.end(), [](auto& r) { return r[7] == kStudy1; });
  ASSERT_NE(doe, studies.end());
  EXPECT_EQ((*doe)[0], "2024.01.31 08:30:00");
  EXPECT_EQ((*doe)[3], kDoe);
  EXPECT_EQ((*doe)[2], "Head 0008,0060[CT) plain");  // a study still, "]" shown as ")"
  auto roe = std::find_if(studies.begin(), studies.end(), [](auto& r) { return r[7] == kStudy2; });
  ASSERT_NE(roe, studies.end());
  EXPECT_EQ((*roe)[0], "20240201");  // a date without time stays

  // Series of study 1 the same way.
  svc->finder.findStudyByUID("127.0.0.1", port.c_str(), "ORTHANC", "", kStudy1);
  ASSERT_TRUE(lib.pumpUntil([&] { return series.size() >= 2; }, 30));
  lib.step(30);
  std::set<FindSeriesRecord> ourSeries(series.begin(), series.end()), theirSeries;
  for (auto& r : findscu(orthanc.port, lib.dir + "/fse",
                         std::string("-k QueryRetrieveLevel=SERIES -k StudyInstanceUID=") + kStudy1 +
                             " -k SeriesDate -k SeriesTime -k Modality -k SeriesDescription -k SeriesInstanceUID "
                             "-k SeriesNumber -k NumberOfSeriesRelatedInstances"))
    theirSeries.insert({whenText(r["0008,0021"], r["0008,0031"]), r["0008,0060"], r["0008,103e"], r["0020,000d"],
                        r["0020,000e"], r["0020,0011"], r["0020,1209"]});
  EXPECT_EQ(series.size(), 2u);
  EXPECT_EQ(ourSeries, theirSeries);
  EXPECT_EQ(series[0][0], "2024.01.31 08:45:00");

  // Retrieves: two known series and an unknown one, all for "Doe, John @
  // Home"; the live ones are listed with their fields intact.
  const std::string dest = lib.dir + "/down,load@here";
  std::filesystem::create_directories(dest);
  const char* unknown = "1.2.826.0.1.3680043.2.1143.999";
  for (const char* se : {kSeriesA, kSeriesB, unknown})
    ASSERT_TRUE(svc->getter.getSeriesByUID("127.0.0.1", port.c_str(), "ORTHANC", "", kStudy1, se, dest.c_str(), kDoe,
                                           se == kSeriesA ? "3" : "5", se == kSeriesA ? "CT" : "MR"));
  auto& live = svc->getRetrieveTasks();
  ASSERT_GE(live.size(), 2u);  // the first may be under way already
  for (auto* t : live) {
    EXPECT_EQ(t->fields[0], "127.0.0.1");
    EXPECT_EQ(t->fields[1], port);
    EXPECT_EQ(t->fields[4], kStudy1);
    EXPECT_EQ(t->fields[6], dest);
    EXPECT_EQ(t->fields[7], kDoe);
    EXPECT_EQ(t->state, DCM_TASK_WAITING);
  }
  EXPECT_EQ(live.back()->fields[5], unknown);
  const std::string failedText = std::string("Failed to download ") + kDoe + "(5,MR)";
  ASSERT_TRUE(waitShown(failedText, 60)) << shown();
  ASSERT_EQ(svc->failedRetrieves.size(), 1u);
  EXPECT_EQ(svc->failedRetrieves[0]->fields[5], unknown);
  EXPECT_EQ(libtest::allFiles(dest + "/" + kSeriesA).size(), 2u);
  EXPECT_EQ(libtest::allFiles(dest + "/" + kSeriesB).size(), 2u);

  // Reported again: the message again, still one entry.
  hideMessage();
  ASSERT_TRUE(svc->getter.getSeriesByUID("127.0.0.1", port.c_str(), "ORTHANC", "", kStudy1, unknown, dest.c_str(),
                                         kDoe, "5", "MR"));
  ASSERT_TRUE(waitShown(failedText, 60)) << shown();
  EXPECT_EQ(svc->failedRetrieves.size(), 1u);
  auto& listed = svc->getRetrieveTasks();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0]->state, DCM_TASK_FAILED);
  EXPECT_EQ(listed[0]->fields[7], kDoe);
  EXPECT_EQ(listed[0]->fields[6], dest);
  svc->removeRetrieveTask(listed[0]);
  EXPECT_TRUE(svc->failedRetrieves.empty());
  EXPECT_TRUE(svc->getRetrieveTasks().empty());
}

}  // namespace
