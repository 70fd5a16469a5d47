// The query and retrieve screen's model: the search, the study and series
// rows built from the task service's records, the retrieve state of each
// series row, and one run against dcmqrscp, which checks the called AE title.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <fstream>
#include <gtest/gtest.h>

#include "app/data/dcmFinderModel.h"
#include "app/data/dcmTransferList.h"
#include "app/data/importDcm.h"
#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "support_library.h"
#include "tests/support/loopback.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "tools/dcmfixtures/fixtures.h"

namespace fs = std::filesystem;

namespace {

using Row = dcmFinderModel::listObject;

struct Call {
  std::string what;  // "patient", "study" or "get"
  std::vector<std::string> args;
};

// The model with its calls recorded and its events written as short texts.
class FinderModel : public ::testing::Test {
 protected:
  void SetUp() override {
    dcmModelCalls c;
    c.findPatientByName = [this](auto& ip, auto& port, auto& called, auto& calling, auto& pattern) {
      calls.push_back({"patient", {ip, port, called, calling, pattern}});
      return true;
    };
    c.findStudyByUID = [this](auto& ip, auto& port, auto& called, auto& calling, auto& study) {
      calls.push_back({"study", {ip, port, called, calling, study}});
      return true;
    };
    c.getSeriesByUID = [this](const GetTaskRecord& f) {
      calls.push_back({"get", std::vector<std::string>(f.begin(), f.end())});
      return acceptGet;
    };
    model = std::make_unique<dcmFinderModel>(c);
    model->events.inserted = [this](int i) { events.push_back("ins " + std::to_string(i)); };
    model->events.updated = [this](int i) { events.push_back("upd " + std::to_string(i)); };
    model->events.removed = [this](int i) { events.push_back("rem " + std::to_string(i)); };
    model->events.message = [this](const std::string& t, float s) { messages.emplace_back(t, s); };
    model->open();
  }
  void TearDown() override { model.reset(); }

  void study(const std::string& uid, const std::string& name) {
    auto* d = new findStudyData(new FindStudyRecord{"2024.01.31 08:30:00", "Hosp", "Head", name, "P1", "19700101",
                                                    "M", uid, "S1"});
    NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, NOTIFY_FIND_STUDY_RECORD, d, nullptr, false);
    d->release();
  }
  void series(const std::string& studyUID, const std::string& uid, const std::string& number) {
    auto* d = new findSeriesData(new FindSeriesRecord{"", "CT", "Axial", studyUID, uid, number, "12"});
    NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, NOTIFY_FIND_SERIES_RECORD, d, nullptr,
                                                                false);
    d->release();
  }
  void text(int id, const std::string& t) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, id, t, nullptr, true);
  }
  // Serial posts arrive one a frame.
  void settle() { lib.step(12); }

  std::string layout() const {
    std::string out;
    for (auto* r : model->rows()) out += (out.empty() ? "" : " ") + (r->isStudy ? r->studyUID : "+" + r->seriesUID);
    return out;
  }
  std::string state(int i) const {
    auto* r = model->rows()[i];
    return r->running ? "running" : r->requested ? "requested" : "idle";
  }
  // A searched table: study A with series a1, a2.
  void searchedTable() {
    ASSERT_TRUE(model->search("127.0.0.1", "104", "QRSCP", "doe"));
    study("A", "DOE^A");
    series("A", "a1", "1");
    series("A", "a2", "2");
    settle();
    ASSERT_EQ(layout(), "A +a2 +a1");
    calls.clear();
    events.clear();
  }

  libtest::Library lib;
  std::unique_ptr<dcmFinderModel> model;
  std::vector<Call> calls;
  std::vector<std::string> events;
  std::vector<std::pair<std::string, float>> messages;
  bool acceptGet = true;
};

TEST_F(FinderModel, SearchFormsThePatternAndStoresTheNode) {
  struct Case {
    const char *ip, *port, *title, *patient;
    const char* pattern;  // null: refused
  } cases[] = {
      {"127.0.0.1", "104", "QRSCP", "  DOE \t", "*DOE*"},
      {"127.0.0.2", "11112", "", "", "**"},
      {"", "104", "QRSCP", "DOE", nullptr},
      {"127.0.0.1", "", "QRSCP", "DOE", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.patient);
    calls.clear();
    messages.clear();
    NSUI::UILocalConfig::setStringForKey("dicomServerIP", "before");
    bool ok = model->search(c.ip, c.port, c.title, c.patient);
    if (!c.pattern) {
      EXPECT_FALSE(ok);
      EXPECT_TRUE(calls.empty());
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].first, "Check the IP and PORT");
      EXPECT_FLOAT_EQ(messages[0].second, 2.0f);
      EXPECT_EQ(NSUI::UILocalConfig::getStringForKey("dicomServerIP", ""), "before");
      continue;
    }
    EXPECT_TRUE(ok);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].what, "patient");
    // The typed title is the called AE title; the calling one stays the library's.
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{c.ip, c.port, c.title, "", c.pattern}));
    dcmFinderModel reopened(dcmModelCalls{});
    reopened.open();
    EXPECT_EQ(reopened.formIP, c.ip);
    EXPECT_EQ(reopened.formPort, c.port);
    EXPECT_EQ(reopened.formTitle, c.title);
  }
}

TEST_F(FinderModel, RecordsBuildStudyRowsFollowedByTheirSeries) {
  EXPECT_TRUE(model->helpVisible());
  ASSERT_TRUE(model->search("127.0.0.1", "104", "QRSCP", "DOE"));
  calls.clear();
  // The help is gone by the time the first study row is announced.
  std::vector<bool> helpAtInsert;
  model->events.inserted = [this, &helpAtInsert](int i) {
    events.push_back("ins " + std::to_string(i));
    helpAtInsert.push_back(model->helpVisible());
  };
  series("B", "b0", "7");  // before its study: appended, no patient name
  study("A", "DOE^A");
  series("A", "a1", "1");
  series("A", "a2", "2");
  study("B", "DOE^B");
  series("B", "b1", "3");
  settle();
  EXPECT_EQ(layout(), "+b0 A +a2 +a1 B +b1");
  EXPECT_FALSE(model->helpVisible());
  const auto& rows = model->rows();
  EXPECT_EQ(rows[0]->patientName, "");
  EXPECT_EQ(rows[2]->patientName, "DOE^A");
  EXPECT_EQ(rows[5]->patientName, "DOE^B");
  EXPECT_EQ(rows[2]->seriesNumber, "2");
  EXPECT_EQ(rows[2]->imageCount, "12");
  EXPECT_EQ(rows[1]->studyID, "S1");
  EXPECT_EQ(rows[1]->dateTime, "2024.01.31 08:30:00");
  // One series query per study, to the searched node with its title.
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].args, (std::vector<std::string>{"127.0.0.1", "104", "QRSCP", "", "A"}));
  EXPECT_EQ(calls[1].args[4], "B");
  EXPECT_EQ(events, (std::vector<std::string>{"ins 0", "ins 1", "ins 2", "ins 2", "ins 4", "ins 5"}));
  EXPECT_EQ(helpAtInsert, (std::vector<bool>{true, false, false, false, false, false}));

  // A new search empties the table from the end; the help stays hidden.
  events.clear();
  ASSERT_TRUE(model->search("127.0.0.1", "104", "QRSCP", "X"));
  EXPECT_EQ(events, (std::vector<std::string>{"rem 5", "rem 4", "rem 3", "rem 2", "rem 1", "rem 0"}));
  EXPECT_TRUE(model->rows().empty());
  EXPECT_FALSE(model->helpVisible());
}

TEST_F(FinderModel, RetrieveGoesToTheNodeOfTheSearch) {
  searchedTable();
  model->formIP = "10.9.9.9";  // the form edited since
  model->formPort = "1";
  ASSERT_TRUE(model->download(1));
  ASSERT_EQ(calls.size(), 1u);
  const std::string folder = lib.writable + "tmp/dicomdown/";
  EXPECT_EQ(calls[0].args, (std::vector<std::string>{"127.0.0.1", "104", "QRSCP", "", "A", "a2", folder, "DOE^A",
                                                     "2", "CT"}));
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(FinderModel, RetrieveStateFollowsTheReports) {
  // Each step: an action on the table "A +a2 +a1", then the states of a2 and
  // a1 and the message it must give.
  struct Step {
    const char* action;  // "press N", or "<id> <payload>"
    const char* a2;
    const char* a1;
    const char* message;
  };
  const std::vector<std::vector<Step>> scripts = {
      {{"press 1", "requested", "idle", ""},
       {"press 1", "requested", "idle", ""},  // a second press does nothing
       {"2005 a2", "running", "idle", ""},
       {"press 1", "running", "idle", ""},
       {"2004 a2|5|3|0|0", "running", "idle", ""},
       {"2004 a2|0|8|0|0", "idle", "idle", ""}},
      {{"press 1", "requested", "idle", ""},
       {"press 2", "requested", "requested", ""},
       {"2005 a2", "running", "requested", ""},
       {"2004 a1|0|8|0|0", "running", "requested", ""},  // a1 is not running
       {"2004 a2|0|7|1|0", "idle", "requested", "Failed to download the whole series"},
       {"2005 a1", "idle", "running", ""},
       {"2004 a1|0|7|0|1", "idle", "idle", "Failed to download the whole series"}},
      {{"press 1", "requested", "idle", ""},
       {"2005 a2", "running", "idle", ""},
       {"2005 zz", "idle", "idle", ""},  // the library moved on to another series
       {"press 1", "requested", "idle", ""}},
      {{"press 1", "requested", "idle", ""},
       {"2005 a2", "running", "idle", ""},
       {"2004 a2|0|8|0", "running", "idle", ""},  // four pieces
       {"2004 a2||8|0|0", "running", "idle", ""},
       {"2004 a2|0|8|0|0|1", "running", "idle", ""}},
  };
  for (size_t s = 0; s < scripts.size(); ++s) {
    SCOPED_TRACE("script " + std::to_string(s));
    searchedTable();
    for (const auto& step : scripts[s]) {
      SCOPED_TRACE(step.action);
      messages.clear();
      std::string a = step.action;
      if (a.rfind("press ", 0) == 0) {
        model->download(std::stoi(a.substr(6)));
      } else {
        text(std::stoi(a.substr(0, 4)), a.substr(5));
        lib.step(2);
      }
      EXPECT_EQ(state(1), step.a2);
      EXPECT_EQ(state(2), step.a1);
      if (*step.message) {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].first, step.message);
        EXPECT_FLOAT_EQ(messages[0].second, 2.0f);
      } else {
        EXPECT_TRUE(messages.empty()) << messages[0].first;
      }
    }
  }
}

TEST_F(FinderModel, RetrieveThatCannotStartLeavesTheRowIdle) {
  // No download folder can be made where a plain file stands.
  searchedTable();
  fs::create_directories(lib.writable + "tmp");
  std::ofstream(lib.writable + "tmp/dicomdown") << "x";
  EXPECT_FALSE(model->download(1));
  EXPECT_EQ(state(1), "idle");
  EXPECT_TRUE(calls.empty());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].first, "Failed to create buffer");
  EXPECT_EQ(events, (std::vector<std::string>{"upd 1", "upd 1"}));

  // The library refusing the series (already queued or running elsewhere).
  fs::remove(lib.writable + "tmp/dicomdown");
  messages.clear();
  acceptGet = false;
  EXPECT_FALSE(model->download(2));
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(state(2), "idle");
  acceptGet = true;
  EXPECT_TRUE(model->download(2));
  EXPECT_EQ(state(2), "requested");
}

TEST(FinderCellTexts, LongTextsAreCutWithoutSplittingACharacter) {
  struct Case {
    const char* text;
    size_t max;
    const char* cut;
  } cases[] = {
      {"SHORT", 11, "SHORT"},
      {"ABCDEFGHIJKLMN", 11, "ABCDEFGHIJK"},
      {"ABCDEFGHIJK", 11, "ABCDEFGHIJK"},
      // "MÜLLER^JÖRG": the Ö (2 bytes) ends at byte 11 and stays; one
      // letter more and it would be split, so it goes.
      {"M\xc3\x9cLLER^J\xc3\x96RG", 11, "M\xc3\x9cLLER^J\xc3\x96"},
      {"M\xc3\x9cLLER^JO\xc3\x96RG", 11, "M\xc3\x9cLLER^JO"},
      // Three-byte characters (CJK): never half of one.
      {"\xe5\xbc\xa0\xe4\xbc\x9f\xe6\x9d\x8e\xe5\x9b\x9b", 7, "\xe5\xbc\xa0\xe4\xbc\x9f"},
      {"", 7, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(dcmFinderModel::cutText(c.text, c.max), c.cut);
  }

  Row study;
  study.isStudy = true;
  study.patientName = "VERYLONGNAME^FIRST";
  study.patientID = "1234567890";
  study.sex = "F";
  study.birthDate = "19700101";
  study.institution = std::string(40, 'H');
  study.studyID = "STUDY-0000001";
  study.dateTime = "2024.01.31 08:30:00";
  study.studyDescription = std::string(35, 'D');
  using Texts = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(dcmFinderModel::cellTexts(study),
            (Texts{{"name", "VERYLONGNAM"},
                   {"id", "1234567"},
                   {"sex", "F"},
                   {"birthday", "19700101"},
                   {"hospital", std::string(30, 'H')},
                   {"studyid", "STUDY-00000"},
                   {"studydate", "2024.01.31 08:30:00"},
                   {"desc", std::string(30, 'D')}}));
  Row series;
  series.seriesNumber = "3";
  series.modality = "MR";
  series.imageCount = "120";
  series.seriesDescription = std::string(31, 'S');
  EXPECT_EQ(dcmFinderModel::cellTexts(series),
            (Texts{{"seriesid", "3"}, {"modality", "MR"}, {"number", "120"}, {"desc", std::string(30, 'S')}}));
}

// --- against a real node ---------------------------------------------------

pid_t spawn(const std::vector<std::string>& argv, const std::string& log) {
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    FILE* f = freopen(log.c_str(), "w", stdout);
    if (f) dup2(fileno(stdout), 2);
    std::vector<char*> a;
    for (auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    execvp(a[0], a.data());
    _exit(127);
  }
  return pid;
}

bool waitPort(uint16_t port, int ms) { return fwtest::waitLoopbackPort(port, ms); }

std::string tagOf(const std::string& file, uint16_t group, uint16_t element) {
  dcmSDK::dcmReader r;
  char buf[256] = {};
  r.setFile(file.c_str());
  r.readDicomTagString(group, element, buf, sizeof buf);
  return buf;
}

// dcmqrscp, which refuses an association whose called AE title is not
// "QRSCP", holding two studies of patients "FIXTURE^...".
class FinderAgainstQrscp : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"ct_ele", "ct_ile"}) {
      auto s = dcmfixtures::writeSeries(lib.dir + "/" + v, *dcmfixtures::findVariant(v), 16, 16, 3);
      series.push_back(s.files);
    }
    const std::string qr = lib.dir + "/qr";
    fs::create_directories(qr + "/db");
    port = fwtest::freeLoopbackPort();
    std::ofstream(qr + "/qr.cfg") << "NetworkTCPPort = " << port << "\nMaxPDUSize = 16384\nMaxAssociations = 16\n"
                                  << "HostTable BEGIN\nHostTable END\nVendorTable BEGIN\nVendorTable END\n"
                                  << "AETable BEGIN\nQRSCP " << qr << "/db RW (200, 1024mb) ANY\nAETable END\n";
    peer = spawn({"dcmqrscp", "-c", qr + "/qr.cfg"}, qr + "/qr.log");
    ASSERT_TRUE(waitPort(port, 10000));
    std::vector<std::string> load = {"storescu", "-aec", "QRSCP", "127.0.0.1", std::to_string(port)};
    for (auto& files : series) load.insert(load.end(), files.begin(), files.end());
    pid_t loader = spawn(load, lib.dir + "/load.log");
    int status = -1;
    waitpid(loader, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << libtest::readAll(lib.dir + "/load.log");
    svc = dataService::getInstance();
  }
  void TearDown() override {
    model.reset();
    if (svc) {
      svc->stop();
      dataService::destroyInstance();
    }
    lib.step(3);
    if (peer > 0) {
      kill(-peer, SIGTERM);
      waitpid(peer, nullptr, 0);
    }
  }

  libtest::Library lib;
  std::vector<std::vector<std::string>> series;
  uint16_t port = 0;
  pid_t peer = -1;
  dataService* svc = nullptr;
  std::unique_ptr<dcmFinderModel> model = std::make_unique<dcmFinderModel>();
};

TEST_F(FinderAgainstQrscp, SearchSeriesQueryAndRetrieveWithTheTypedTitle) {
  model->open();
  // Without the node's title the node refuses every query.
  ASSERT_TRUE(model->search("127.0.0.1", std::to_string(port), "", "FIXTURE"));
  lib.pumpUntil([] { return false; }, 2.0);
  EXPECT_TRUE(model->rows().empty());

  ASSERT_TRUE(model->search("127.0.0.1", std::to_string(port), "QRSCP", "FIXTURE"));
  ASSERT_TRUE(lib.pumpUntil([&] { return model->rows().size() >= 4; }, 30));
  lib.pumpUntil([] { return false; }, 0.5);  // nothing more arrives
  const auto& rows = model->rows();
  ASSERT_EQ(rows.size(), 4u);
  std::set<std::string> studies;
  for (size_t i = 0; i < rows.size(); i += 2) {
    ASSERT_TRUE(rows[i]->isStudy);
    ASSERT_FALSE(rows[i + 1]->isStudy);
    EXPECT_EQ(rows[i + 1]->studyUID, rows[i]->studyUID);
    EXPECT_EQ(rows[i + 1]->patientName, rows[i]->patientName);
    studies.insert(rows[i]->studyUID);
  }
  std::set<std::string> expected;
  for (auto& files : series) expected.insert(tagOf(files[0], 0x0020, 0x000D));
  EXPECT_EQ(studies, expected);

  // Retrieve the first series: requested, running, then idle, its images
  // in the download folder.
  dcmFinderModel::listObject* row = rows[1];
  std::vector<std::string> states;
  model->events.updated = [&](int i) {
    auto* r = model->rows()[i];
    if (r == row) states.push_back(r->running ? "running" : r->requested ? "requested" : "idle");
  };
  // The retrieved folder is imported on 2026, as the home screen does.
  importDcm* importer = importDcm::create();
  importer->retain();
  importer->setRootPath(svc->database->getRoot());
  std::vector<std::string> imported;
  NSUI::NSNotificationCenter::getInstance()->addObserver(
      this, nullptr,
      [&](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* d) {
        imported.push_back(d->text);
        importer->import(d->text);
      },
      NOTIFY_IMPORT_PATH);
  ASSERT_TRUE(model->download(row));
  ASSERT_TRUE(lib.pumpUntil([&] { return !states.empty() && states.back() == "idle"; }, 60));
  EXPECT_EQ(states, (std::vector<std::string>{"requested", "running", "idle"}));
  const std::string folder = dcmFinderModel::downloadFolder() + row->seriesUID;
  size_t got = 0;
  for (auto& e : fs::directory_iterator(folder)) got += e.is_regular_file();
  EXPECT_EQ(got, 3u);
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.scalar("select count(*) from image") == "3"; }, 30));
  EXPECT_EQ(lib.scalar("select count(*) from series where seriesUID='" + row->seriesUID + "'"), "1");
  ASSERT_EQ(imported.size(), 1u);
  EXPECT_EQ(fs::path(imported[0]).lexically_normal(), fs::path(folder + "/").lexically_normal());
  NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
  importer->stopWorker();
  importer->release();
}

// Orthanc with its own storage; it moves to "fernwick" at the own storage
// server's port and, when allowGet is false, refuses C-GET. Returns its pid.
pid_t startOrthanc(const std::string& dir, bool allowGet, uint16_t& port) {
  fs::create_directories(dir);
  port = fwtest::freeLoopbackPort();
  const char* get = allowGet ? "true" : "false";
  std::ofstream(dir + "/orthanc.json")
      << "{ \"Name\": \"qr\", \"StorageDirectory\": \"" << dir << "/db\", \"IndexDirectory\": \"" << dir
      << "/db\", \"DicomAet\": \"ORTHANC\", \"DicomPort\": " << port
      << ", \"HttpServerEnabled\": false, \"HttpPort\": " << fwtest::freeLoopbackPort()
      << ", \"RemoteAccessAllowed\": false, \"AuthenticationEnabled\": false, \"DicomCheckCalledAet\": true,"
         " \"DicomAlwaysAllowEcho\": true, \"DicomAlwaysAllowStore\": true, \"DicomAlwaysAllowFind\": true,"
         " \"DicomAlwaysAllowGet\": "
      << get << ", \"DicomAlwaysAllowMove\": true, \"DicomModalities\": { \"viewer\": { \"AET\": \"fernwick\","
      << " \"Host\": \"127.0.0.1\", \"Port\": 4587, \"AllowGet\": " << get
      << ", \"AllowMove\": true } }, \"Plugins\": [], \"StorageCompression\": false }\n";
  pid_t pid = spawn({"Orthanc", dir + "/orthanc.json"}, dir + "/orthanc.log");
  if (!waitPort(port, 15000)) return -1;
  return pid;
}

// Ends a peer and its process group when the test leaves, however it leaves.
struct PeerGuard {
  pid_t pid;
  ~PeerGuard() {
    if (pid <= 0) return;
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
};

bool loadInto(uint16_t port, const std::string& title, const std::vector<std::string>& files, const std::string& log) {
  std::vector<std::string> load = {"storescu", "-aec", title, "127.0.0.1", std::to_string(port)};
  load.insert(load.end(), files.begin(), files.end());
  int status = -1;
  waitpid(spawn(load, log), &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Orthanc serving C-FIND and refusing C-GET: the retrieve falls back to a
// C-MOVE to the own storage server, which the task service runs.
TEST(FinderAgainstOrthanc, RetrieveByMoveArrivesThroughTheStorageServer) {
  libtest::Library lib;
  auto files = dcmfixtures::writeSeries(lib.dir + "/ct", *dcmfixtures::findVariant("ct_ele"), 16, 16, 3).files;
  uint16_t port = 0;
  pid_t peer = startOrthanc(lib.dir + "/orthanc", false, port);
  PeerGuard guard{peer};
  ASSERT_GT(peer, 0);
  ASSERT_TRUE(loadInto(port, "ORTHANC", files, lib.dir + "/load.log"));

  dataService* svc = dataService::getInstance();
  {
    dcmFinderModel model;
    model.open();
    ASSERT_TRUE(model.search("127.0.0.1", std::to_string(port), "ORTHANC", "FIXTURE"));
    ASSERT_TRUE(lib.pumpUntil([&] { return model.rows().size() >= 2; }, 30));
    dcmFinderModel::listObject* row = model.rows()[1];
    ASSERT_FALSE(row->isStudy);
    EXPECT_EQ(row->seriesUID, tagOf(files[0], 0x0020, 0x000E));
    std::vector<std::string> states;
    model.events.updated = [&](int i) {
      auto* r = model.rows()[i];
      states.push_back(r->running ? "running" : r->requested ? "requested" : "idle");
    };
    ASSERT_TRUE(model.download(row));
    ASSERT_TRUE(lib.pumpUntil([&] { return !states.empty() && states.back() == "idle"; }, 60));
    EXPECT_EQ(states, (std::vector<std::string>{"requested", "running", "idle"}));
    ASSERT_TRUE(lib.pumpUntil([&] { return lib.scalar("select count(*) from image") == "3"; }, 30));
    EXPECT_EQ(lib.scalar("select count(*) from series where seriesUID='" + row->seriesUID + "'"), "1");
  }
  svc->stop();
  dataService::destroyInstance();
  lib.step(3);
}

// The node dies in the middle of a retrieve: the row returns to idle with a
// message, and the transfer list shows the task failed with its retry.
TEST(FinderAgainstOrthanc, RetrieveThatLosesItsNodeEndsIdle) {
  libtest::Library lib;
  auto files = dcmfixtures::writeSeries(lib.dir + "/ct", *dcmfixtures::findVariant("ct_ele"), 128, 128, 300).files;
  uint16_t port = 0;
  pid_t peer = startOrthanc(lib.dir + "/orthanc", true, port);
  PeerGuard guard{peer};
  ASSERT_GT(peer, 0);
  ASSERT_TRUE(loadInto(port, "ORTHANC", files, lib.dir + "/load.log"));

  dataService* svc = dataService::getInstance();
  {
    dcmFinderModel model;
    std::vector<std::string> messages;
    model.events.message = [&](const std::string& t, float) { messages.push_back(t); };
    model.open();
    ASSERT_TRUE(model.search("127.0.0.1", std::to_string(port), "ORTHANC", "FIXTURE"));
    ASSERT_TRUE(lib.pumpUntil([&] { return model.rows().size() >= 2; }, 30));
    dcmFinderModel::listObject* row = model.rows()[1];
    int progress = 0;
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        &progress, nullptr, [&](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData*) { ++progress; },
        NOTIFY_RETRIEVE_PROGRESS);
    ASSERT_TRUE(model.download(row));
    ASSERT_TRUE(lib.pumpUntil([&] { return row->running; }, 30));
    dcmTransferList transfers;
    transfers.open();
    ASSERT_EQ(transfers.rows().size(), 1u);
    ASSERT_TRUE(lib.pumpUntil([&] { return progress >= 20; }, 30));
    kill(-peer, SIGKILL);
    waitpid(peer, nullptr, 0);
    guard.pid = -1;
    ASSERT_TRUE(lib.pumpUntil([&] { return !row->running; }, 60));
    EXPECT_FALSE(row->requested);
    EXPECT_EQ(messages, (std::vector<std::string>{"Failed to download the whole series"}));
    auto text = transfers.rowText(0);
    EXPECT_TRUE(text.retryVisible);
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&progress);
  }
  svc->stop();
  dataService::destroyInstance();
  lib.step(3);
}

}  // namespace
