// Find and retrieve against Orthanc and dcmqrscp: query texts, C-GET into
// the series folder, the C-MOVE fallback to the own server, the task list,
// failures and stop.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "tests/support/loopback.h"
#include "support_dcm.h"
#include "support_net.h"

namespace fs = std::filesystem;
using namespace nettest;

namespace {

struct SeriesInfo {
  std::string study, series, name;
  std::map<std::string, std::string> sums;  // SOP UID -> pixels
};

SeriesInfo info(const std::string& variant) {
  SeriesInfo s;
  auto& se = dcmtest::series(variant);
  dcmSDK::dcmReader r;
  char b[256];
  r.setFile(se.files[0].c_str());
  r.readDicomTagString(0x0020, 0x000D, b, 256);
  s.study = b;
  r.readDicomTagString(0x0020, 0x000E, b, 256);
  s.series = b;
  r.readDicomTagString(0x0010, 0x0010, b, 256);
  s.name = b;
  for (auto& f : se.files) s.sums[sopOf(f)] = pixelSum(f);
  return s;
}

// A file whose texts try to break the query result format.
std::string hostileFile() {
  std::string f = newDir("hostile") + "/h.dcm";
  dcmfixtures::writeTagged(f, {{0x00100010, "DOE^HOSTILE"},
                               {0x00081030, "study ] 0008,0060[XX"},
                               {0x0020000D, "1.2.826.0.1.3680043.2.1143.77"},
                               {0x0020000E, "1.2.826.0.1.3680043.2.1143.78"},
                               {0x00080018, "1.2.826.0.1.3680043.2.1143.79"}});
  return f;
}

void load(uint16_t port, const std::string& calledAE, const std::vector<std::string>& files) {
  std::vector<std::string> argv = {"storescu", "-aet", "TESTSCU", "-aec", calledAE, "127.0.0.1", str(port)};
  argv.insert(argv.end(), files.begin(), files.end());
  std::string out;
  ASSERT_EQ(runTool(argv, &out), 0) << out;
}

std::vector<std::string> files(std::initializer_list<const char*> variants) {
  std::vector<std::string> out;
  for (auto v : variants)
    for (auto& f : dcmtest::series(v).files) out.push_back(f);
  return out;
}

// Value of an item "gggg,eeee[value]" of a query result; keys count only at
// the start of an item.
std::string item(const std::string& text, const std::string& key) {
  size_t p = 0;
  for (p = text.find(key + "["); p != std::string::npos && p != 0 && text[p - 1] != ']';
       p = text.find(key + "[", p + 1)) {
  }
  if (p == std::string::npos) return "<absent>";
  p += key.size() + 1;
  return text.substr(p, text.find(']', p) - p);
}

struct OwnServer {
  dcmSDK::dcmServer s;
  uint16_t port = freePort();
  std::string root = newDir("own");
  OwnServer() {
    s.setPort("127.0.0.1", str(port).c_str(), "fernwick");
    s.setRoot(root.c_str());
    s.BeginDicomServer();
  }
};

std::vector<uint32_t> typesOf(const std::vector<Msg>& all, std::set<uint32_t> keep) {
  std::vector<uint32_t> out;
  for (auto& m : all)
    if (keep.count(m.type)) out.push_back(m.type);
  return out;
}

bool ended(const std::vector<Msg>& all) { return countOf(all, 10) + countOf(all, 11) > 0; }

}  // namespace

TEST(NetQuery, FindStudiesAndSeriesOnOrthanc) {
  recordMessages();
  Orthanc orthanc;
  ASSERT_TRUE(orthanc.start(true, freePort()));
  std::vector<std::string> f = files({"ct_ele", "mr_mf5"});
  f.push_back(hostileFile());
  load(orthanc.port, "ORTHANC", f);
  SeriesInfo ct = info("ct_ele"), mr = info("mr_mf5");

  dcmSDK::dcmFind find;
  ASSERT_TRUE(find.findPatientByName("127.0.0.1", str(orthanc.port).c_str(), "ORTHANC", "", "FIXTURE*"));
  ASSERT_TRUE(find.findPatientByName("127.0.0.1", str(orthanc.port).c_str(), "ORTHANC", "", "DOE*"));
  ASSERT_TRUE(find.findStudyByUID("127.0.0.1", str(orthanc.port).c_str(), "ORTHANC", "", ct.study.c_str()));
  ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, 5) >= 4; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto results = messagesOf(dcmSDK::DCM_MSG_FIND_RESULT);
  ASSERT_EQ(results.size(), 4u);
  std::set<std::string> studies;
  for (int i = 0; i < 3; ++i) {
    auto& t = results[i].text;
    EXPECT_EQ(item(t, "0008,0060"), "<absent>") << t;  // never at study level
    studies.insert(item(t, "0020,000d"));
    if (item(t, "0010,0010") == "DOE^HOSTILE") {
      EXPECT_EQ(item(t, "0008,1030"), "study ) 0008,0060[XX") << t;
    }
  }
  EXPECT_EQ(studies, (std::set<std::string>{ct.study, mr.study, "1.2.826.0.1.3680043.2.1143.77"}));
  auto& series = results[3].text;
  EXPECT_EQ(item(series, "0008,0060"), "CT");
  EXPECT_EQ(item(series, "0020,000e"), ct.series);
  EXPECT_EQ(item(series, "0020,1209"), "4");
  EXPECT_EQ(countOf(messages(), dcmSDK::DCM_MSG_FIND_FAILED), 0u);
}

TEST(NetQuery, FindHonoursTheCalledTitleAndReportsFailures) {
  recordMessages();
  QrScp qr;
  ASSERT_TRUE(qr.start(freePort()));
  load(qr.port, "QRSCP", files({"ct_ele"}));
  SeriesInfo ct = info("ct_ele");
  dcmSDK::dcmFind find;
  find.findPatientByName("127.0.0.1", str(qr.port).c_str(), "QRSCP", "", "FIXTURE*");
  ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, 5) + countOf(all, 6) >= 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(countOf(messages(), 5), 1u);
  EXPECT_EQ(item(messagesOf(5)[0].text, "0020,000d"), ct.study);
  for (auto [port, ae] : {std::pair{qr.port, "WRONG"}, std::pair{freePort(), "QRSCP"}}) {
    clearMessages();
    find.findPatientByName("127.0.0.1", str(port).c_str(), ae, "", "FIXTURE*");
    ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, 6) >= 1; }, 8000)) << ae;
    EXPECT_EQ(countOf(messages(), 5), 0u);
    EXPECT_EQ(messagesOf(6)[0].text.rfind("find failed: ", 0), 0u);
  }
}

TEST(NetQuery, GetSeriesFromOrthancAndDcmqrscp) {
  recordMessages();
  Orthanc orthanc;
  ASSERT_TRUE(orthanc.start(true, freePort()));
  QrScp qr;
  ASSERT_TRUE(qr.start(freePort()));
  load(orthanc.port, "ORTHANC", files({"ct_ele", "mr_mf5"}));
  load(qr.port, "QRSCP", files({"ct_ele"}));
  SeriesInfo ct = info("ct_ele");
  for (auto [port, ae] : {std::pair{orthanc.port, "ORTHANC"}, std::pair{qr.port, "QRSCP"}}) {
    clearMessages();
    std::string dest = newDir("down") + "/tmp/dicomdown/";
    dcmSDK::dcmGet get;
    ASSERT_TRUE(get.getSeriesByUID("127.0.0.1", str(port).c_str(), ae, "", ct.study.c_str(), ct.series.c_str(),
                                   dest.c_str(), "FIXTURE^ct_ele", "3", "CT"));
    ASSERT_TRUE(waitMessages(ended, 15000)) << ae;
    auto all = messages();
    auto types = typesOf(all, {7, 8, 9, 10, 11});
    ASSERT_GE(types.size(), 4u);
    EXPECT_EQ(types.front(), 9u);
    EXPECT_EQ(all.front().text, ct.series);
    EXPECT_EQ(types[types.size() - 3], 7u);
    EXPECT_EQ(types[types.size() - 2], 8u);
    EXPECT_EQ(types.back(), 10u);
    auto progress = messagesOf(7);
    EXPECT_EQ(progress.back().text, ct.series + "|0|4|0|0") << ae;
    std::string folder = fs::path(dest).string();
    while (folder.back() == '/') folder.pop_back();
    folder += "/" + ct.series + "/";
    EXPECT_EQ(messagesOf(8)[0].text, folder);
    EXPECT_EQ(messagesOf(10)[0].text, "FIXTURE^ct_ele CT 3");
    auto got = filesUnder(folder);
    ASSERT_EQ(got.size(), ct.sums.size());
    for (auto& f : got) {
      EXPECT_EQ(fs::path(f).filename().string(), sopOf(f));
      EXPECT_EQ(pixelSum(f), ct.sums[sopOf(f)]) << f;
    }
  }
}

TEST(NetQuery, UnknownSeriesFailsWithTheRecord) {
  recordMessages();
  Orthanc orthanc;
  ASSERT_TRUE(orthanc.start(true, freePort()));
  dcmSDK::dcmGet get;
  std::string dest = newDir("down");
  ASSERT_TRUE(get.getSeriesByUID("127.0.0.1", str(orthanc.port).c_str(), "ORTHANC", "", "1.2.3", "1.2.3.999",
                                 dest.c_str(), "A,B@C", "1", "CT"));
  ASSERT_TRUE(waitMessages(ended, 15000));
  auto all = messages();
  auto types = typesOf(all, {7, 8, 9, 10, 11});
  EXPECT_EQ(types.front(), 9u);
  EXPECT_EQ(types.back(), 11u);
  EXPECT_EQ(countOf(all, 8), 0u);
  EXPECT_EQ(countOf(all, 10), 0u);
  auto p = messagesOf(7);
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(p.back().text.substr(0, std::string("1.2.3.999|0|").size()), "1.2.3.999|0|");
  // Ten fields; the name's separators are escaped.
  std::string rec = messagesOf(11)[0].text;
  EXPECT_EQ(std::count(rec.begin(), rec.end(), ','), 9) << rec;
  EXPECT_NE(rec.find("A%2CB%40C"), std::string::npos) << rec;
}

TEST(NetQuery, MoveFallbackWhenGetIsRefused) {
  recordMessages();
  OwnServer own;
  ASSERT_TRUE(own.s.isRunning());
  Orthanc orthanc;
  ASSERT_TRUE(orthanc.start(false, own.port));
  load(orthanc.port, "ORTHANC", files({"ct_ele"}));
  SeriesInfo ct = info("ct_ele");
  dcmSDK::dcmGet get;
  ASSERT_TRUE(get.getSeriesByUID("127.0.0.1", str(orthanc.port).c_str(), "ORTHANC", "", ct.study.c_str(),
                                 ct.series.c_str(), newDir("down").c_str(), "FIXTURE^ct_ele", "3", "CT"));
  ASSERT_TRUE(waitMessages(ended, 15000));
  ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, 3) >= 4; }));
  auto all = messages();
  EXPECT_EQ(countOf(all, 8), 0u);
  EXPECT_EQ(countOf(all, 11), 0u);
  EXPECT_EQ(messagesOf(7).back().text, ct.series + "|0|4|0|0");
  for (auto& m : messagesOf(3)) {
    std::string path = own.root + "/" + m.rec->folder + m.rec->fileName;
    EXPECT_EQ(pixelSum(path), ct.sums[m.rec->sopInstanceUID]);
  }
}

TEST(NetQuery, TaskListAndStop) {
  recordMessages();
  // The first task hangs on a peer that accepts and never answers.
  uint16_t hangPort = 0;
  int fd = fwtest::listenLoopback(hangPort, 8);
  std::string port = str(hangPort);
  std::string dest = newDir("down");
  auto get = std::make_unique<dcmSDK::dcmGet>();
  ASSERT_TRUE(get->getSeriesByUID("127.0.0.1", port.c_str(), "", "", "1.2", "1.2.1", dest.c_str(), "P", "1", "CT"));
  ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, 9) >= 1; }));
  ASSERT_TRUE(get->getSeriesByUID("127.0.0.1", port.c_str(), "", "", "1.2", "1.2.2", dest.c_str(), "A,B@C", "2", "MR"));
  ASSERT_TRUE(get->getSeriesByUID("127.0.0.1", port.c_str(), "", "", "1.2", "1.2.3", dest.c_str(), "Q", "3", "CT"));
  EXPECT_FALSE(get->getSeriesByUID("127.0.0.1", port.c_str(), "", "", "1.2", "1.2.2", dest.c_str(), "", "", ""));
  EXPECT_EQ(get->getListSize(), 3);
  char small[10];
  size_t need = get->getList(small, sizeof small);
  EXPECT_GT(need, sizeof small);
  EXPECT_EQ(std::strlen(small), sizeof small - 1);
  std::string text(need, '\0');
  EXPECT_EQ(get->getList(text.data(), need), need);
  text.resize(need - 1);
  // Three records of ten fields; fields unescape to what was given.
  std::vector<std::string> records;
  for (size_t start = 0;;) {
    size_t at = text.find('@', start);
    records.push_back(text.substr(start, at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  ASSERT_EQ(records.size(), 3u);
  for (auto& r : records) EXPECT_EQ(std::count(r.begin(), r.end(), ','), 9) << r;
  EXPECT_NE(records[1].find(",A%2CB%40C,"), std::string::npos) << records[1];
  EXPECT_FALSE(get->removeTask("1.2.1"));  // running
  EXPECT_TRUE(get->removeTask("1.2.3"));
  EXPECT_FALSE(get->removeTask("1.2.3"));
  EXPECT_EQ(get->getListSize(), 2);

  // A query waiting on the same silent peer.
  auto find = std::make_unique<dcmSDK::dcmFind>();
  ASSERT_TRUE(find->findPatientByName("127.0.0.1", port.c_str(), "", "", "*"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  size_t before = messages().size();
  auto t0 = std::chrono::steady_clock::now();
  get->stop = true;
  find->stop = true;
  get.reset();
  find.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(messages().size(), before);
  close(fd);
}

TEST(NetQuery, StopMidRetrieve) {
  recordMessages();
  Orthanc orthanc;
  ASSERT_TRUE(orthanc.start(true, freePort()));
  std::string dir = newDir("big");
  auto s = dcmfixtures::writeSeries(dir, *dcmfixtures::findVariant("ct_ele"), 256, 256, 150);
  load(orthanc.port, "ORTHANC", s.files);
  dcmSDK::dcmReader r;
  char st[128], se[128];
  r.setFile(s.files[0].c_str());
  r.readDicomTagString(0x0020, 0x000D, st, sizeof st);
  r.readDicomTagString(0x0020, 0x000E, se, sizeof se);
  std::string dest = newDir("down");
  auto get = std::make_unique<dcmSDK::dcmGet>();
  ASSERT_TRUE(get->getSeriesByUID("127.0.0.1", str(orthanc.port).c_str(), "ORTHANC", "", st, se, dest.c_str(), "P",
                                  "1", "CT"));
  ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, 7) >= 1; }));
  auto t0 = std::chrono::steady_clock::now();
  get->stop = true;
  size_t before = messages().size();
  get.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_LE(messages().size(), before + 1);
  EXPECT_EQ(countOf(messages(), 10), 0u);
  for (auto& f : filesUnder(dest)) EXPECT_EQ(fs::path(f).filename().string().rfind(".rcv", 0), std::string::npos) << f;
}
