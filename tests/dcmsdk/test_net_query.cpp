// Find and retrieve against Orthanc and dcmqrscp: query texts, C-GET into
// the series folder, the C-MOVE fallback to the own server, the task list,
// failures and stop.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "dcmsdk/src/net_common.h"
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

namespace {

// Fields of a progress message "series|remaining|completed|failed|warning".
std::vector<int> counts(const std::string& text) {
  std::vector<int> out;
  size_t p = text.find('|');
  while (p != std::string::npos) {
    out.push_back(std::atoi(text.c_str() + p + 1));
    p = text.find('|', p + 1);
  }
  return out;
}

std::string seriesKey(const std::string& file, uint16_t group, uint16_t element) {
  dcmSDK::dcmReader r;
  char b[128] = "";
  r.setFile(file.c_str());
  r.readDicomTagString(group, element, b, sizeof b);
  return b;
}

}  // namespace

TEST(NetQuery, RetrieveCutOffCountsWhatDidNotArrive) {
  // The peer dies, or freezes past the reply timeout, in the middle.
  for (bool freeze : {false, true}) {
    recordMessages();
    dcmSDK::net::setReplyTimeout(2);
    Orthanc orthanc;
    ASSERT_TRUE(orthanc.start(true, freePort()));
    std::string dir = newDir("cut");
    auto s = dcmfixtures::writeSeries(dir, *dcmfixtures::findVariant("ct_ele"), 128, 128, 300);
    load(orthanc.port, "ORTHANC", s.files);
    std::string st = seriesKey(s.files[0], 0x0020, 0x000D), se = seriesKey(s.files[0], 0x0020, 0x000E);
    std::string dest = newDir("down");
    dcmSDK::dcmGet get;
    ASSERT_TRUE(get.getSeriesByUID("127.0.0.1", str(orthanc.port).c_str(), "ORTHANC", "", st.c_str(), se.c_str(),
                                   dest.c_str(), "P", "1", "CT"));
    ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, dcmSDK::DCM_MSG_GET_PROGRESS) >= 20; }));
    kill(orthanc.proc.pid(), freeze ? SIGSTOP : SIGKILL);
    ASSERT_TRUE(waitMessages(ended, 15000)) << freeze;
    auto all = messages();
    EXPECT_EQ(countOf(all, dcmSDK::DCM_MSG_GET_FAILED), 1u);
    EXPECT_EQ(countOf(all, dcmSDK::DCM_MSG_GET_READY), 0u);
    auto last = counts(messagesOf(dcmSDK::DCM_MSG_GET_PROGRESS).back().text);
    ASSERT_EQ(last.size(), 4u);
    size_t arrived = filesUnder(dest).size();
    EXPECT_LT(arrived, 300u);
    EXPECT_EQ(last[0], 0);                                     // nothing remains
    EXPECT_EQ(last[1], static_cast<int>(arrived));             // completed: what is on disk
    EXPECT_EQ(last[1] + last[2] + last[3], 300) << freeze;     // the rest failed
    if (freeze) kill(orthanc.proc.pid(), SIGCONT);
  }
  dcmSDK::net::setReplyTimeout(60);
}

TEST(NetQuery, GetTakesEveryStorageClassAsThePeerHoldsIt) {
  recordMessages();
  Orthanc orthanc;
  ASSERT_TRUE(orthanc.start(true, freePort()));  // no C-MOVE destination runs
  // One series of objects other than plain images.
  std::string dir = newDir("classes");
  const char* classes[] = {
      "1.2.840.10008.5.1.4.1.1.66.4",   // Segmentation
      "1.2.840.10008.5.1.4.1.1.11.5",   // XA/XRF grayscale presentation state
      "1.2.840.10008.5.1.4.1.1.88.34",  // Comprehensive 3D SR
      "1.2.840.10008.5.1.4.1.1.481.8",  // RT Ion Plan
      "1.2.840.10008.5.1.4.1.1.104.2",  // Encapsulated CDA
  };
  std::vector<std::string> objects;
  int i = 0;
  for (const char* cls : classes) {
    std::string f = dir + "/o" + std::to_string(i) + ".dcm";
    dcmfixtures::writeTagged(f, {{0x00080016, cls},
                                 {0x00080018, "1.2.826.0.1.3680043.2.1143.50." + std::to_string(i)},
                                 {0x0020000E, "1.2.826.0.1.3680043.2.1143.51"},
                                 {0x00080060, "OT"}});
    objects.push_back(f);
    ++i;
  }
  // A CT series in JPEG 2000 that a peer without a JPEG 2000 encoder or
  // decoder can only send as it is.
  std::string j2kDir = newDir("j2k");
  std::vector<std::string> j2k;
  for (auto& f : dcmtest::series("ct_s16").files) {
    std::string out = j2kDir + "/" + fs::path(f).filename().string();
    ASSERT_TRUE(dcmtest::run("gdcmconv --j2k '" + f + "' '" + out + "'"));
    j2k.push_back(out);
  }
  std::vector<std::string> argv = {"dcmsend", "-aet", "TESTSCU", "-aec", "ORTHANC", "127.0.0.1", str(orthanc.port)};
  argv.insert(argv.end(), objects.begin(), objects.end());
  argv.insert(argv.end(), j2k.begin(), j2k.end());
  std::string out;
  ASSERT_EQ(runTool(argv, &out), 0) << out;

  struct Case {
    std::vector<std::string>* files;
    const char* modality;
  } cases[] = {{&objects, "OT"}, {&j2k, "CT"}};
  for (auto& c : cases) {
    clearMessages();
    std::string f0 = (*c.files)[0];
    std::string dest = newDir("down");
    dcmSDK::dcmGet get;
    ASSERT_TRUE(get.getSeriesByUID("127.0.0.1", str(orthanc.port).c_str(), "ORTHANC", "",
                                   seriesKey(f0, 0x0020, 0x000D).c_str(), seriesKey(f0, 0x0020, 0x000E).c_str(),
                                   dest.c_str(), "P", "1", c.modality));
    ASSERT_TRUE(waitMessages(ended, 20000));
    auto msgs = messages();
    EXPECT_EQ(countOf(msgs, dcmSDK::DCM_MSG_GET_READY), 1u) << c.modality;
    EXPECT_EQ(countOf(msgs, dcmSDK::DCM_MSG_GET_FILE), 1u) << c.modality;  // by C-GET, no fallback
    std::map<std::string, std::string> got;
    for (auto& f : filesUnder(dest)) got[sopOf(f)] = f;
    ASSERT_EQ(got.size(), c.files->size()) << c.modality;
    for (auto& f : *c.files) {
      ASSERT_TRUE(got.count(sopOf(f))) << f;
      EXPECT_EQ(seriesKey(got[sopOf(f)], 0x0008, 0x0016), seriesKey(f, 0x0008, 0x0016));
      EXPECT_EQ(seriesKey(got[sopOf(f)], 0x0002, 0x0010), seriesKey(f, 0x0002, 0x0010));
      EXPECT_EQ(pixelSum(got[sopOf(f)]), pixelSum(f));
    }
  }
}

TEST(NetQuery, TaskRecordsFitTheirBuffer) {
  recordMessages();
  // Tasks wait behind a first one that hangs on a silent peer.
  uint16_t hangPort = 0;
  int fd = fwtest::listenLoopback(hangPort, 8);
  std::string port = str(hangPort);
  std::string dest = newDir("down");
  auto get = std::make_unique<dcmSDK::dcmGet>();
  ASSERT_TRUE(get->getSeriesByUID("127.0.0.1", port.c_str(), "", "", "1.2", "1.2.1", dest.c_str(), "P", "1", "CT"));
  // Texts at their longest: every character escaped, multi-byte
  // characters at the cut.
  std::string longName;
  while (longName.size() < 1500) longName += ",@%\xc3\xa9";
  const std::string uid64(64, '9');
  const std::string ae16(16, 'A');
  std::string longDest = dest + "/" + std::string(300, 'd');
  ASSERT_TRUE(get->getSeriesByUID("127.0.0.1", port.c_str(), ae16.c_str(), ae16.c_str(), uid64.c_str(),
                                  (uid64.substr(0, 63) + "1").c_str(), longDest.c_str(), longName.c_str(),
                                  longName.c_str(), longName.c_str()));
  // A task whose identifying fields alone would not fit is refused.
  EXPECT_FALSE(get->getSeriesByUID("127.0.0.1", port.c_str(), "", "", "1.2", "1.2.9",
                                   (dest + "/" + std::string(1100, 'x')).c_str(), "P", "1", "CT"));
  int n = get->getListSize();
  ASSERT_EQ(n, 2);
  std::vector<char> buf(size_t(n) * 1024, '\x7f');
  size_t need = get->getList(buf.data(), buf.size());
  EXPECT_LE(need, buf.size());
  std::string text(buf.data());
  ASSERT_EQ(text.size() + 1, need);
  std::vector<std::string> records;
  for (size_t start = 0;;) {
    size_t at = text.find('@', start);
    records.push_back(text.substr(start, at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  ASSERT_EQ(records.size(), 2u);
  auto unescape = [](const std::string& f) {
    std::string o;
    for (size_t i = 0; i < f.size(); ++i) {
      if (f[i] == '%' && i + 2 < f.size()) {
        o.push_back(char(std::stoi(f.substr(i + 1, 2), nullptr, 16)));
        i += 2;
      } else {
        o.push_back(f[i]);
      }
    }
    return o;
  };
  const std::string& r = records[1];
  EXPECT_LE(r.size(), 1023u);
  ASSERT_EQ(std::count(r.begin(), r.end(), ','), 9) << r;
  std::vector<std::string> fields;
  for (size_t start = 0;;) {
    size_t at = r.find(',', start);
    fields.push_back(unescape(r.substr(start, at - start)));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  EXPECT_EQ(fields[2], ae16);
  EXPECT_EQ(fields[4], uid64);
  EXPECT_EQ(fields[6], longDest);
  EXPECT_FALSE(fields[7].empty());
  // Shortened texts are beginnings of the given ones, cut between characters.
  for (int k : {7, 8, 9}) {
    EXPECT_EQ(longName.rfind(fields[k], 0), 0u) << k;
    EXPECT_NE(fields[k].size() % 5, 4u) << fields[k].size();
  }
  get->stop = true;
  get.reset();
  close(fd);
}
