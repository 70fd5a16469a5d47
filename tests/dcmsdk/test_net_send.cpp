// The sender against storescp, Orthanc and the own server: progress per
// file, success only when every file was accepted, and a prompt stop.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "dcmsdk/src/net_common.h"
#include "support_dcm.h"
#include "support_net.h"

namespace fs = std::filesystem;
using namespace nettest;

namespace {

// A folder of DICOM files of several encodings plus files that are not DICOM.
std::string mixedFolder(std::map<std::string, std::string>& sums, std::vector<std::string> variants) {
  std::string dir = newDir("tosend");
  for (auto& v : variants)
    for (auto& f : dcmtest::series(v).files) {
      std::string dst = dir + "/" + v + "_" + fs::path(f).filename().string();
      fs::copy_file(f, dst);
      sums[sopOf(dst)] = pixelSum(dst);
    }
  fs::create_directories(dir + "/sub");
  std::ofstream(dir + "/sub/thrumb0") << "\x89PNG not really";
  std::ofstream(dir + "/notes.txt") << "hello";
  return dir;
}

std::string task(unsigned id) { return "\"taskID\":\"" + std::to_string(id) + "\""; }

double progressValue(const std::string& text) {
  auto p = text.find("\"value\":\"");
  return p == std::string::npos ? -1 : std::atof(text.c_str() + p + 9);
}

// Waits for the end of a task: message 1 or 2.
uint32_t waitEnd(dcmSDK::dcmSender& s, int timeoutMs = 20000) {
  waitMessages([](auto& all) { return countOf(all, 1) + countOf(all, 2) > 0; }, timeoutMs);
  for (int i = 0; i < 100 && s.isSending(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(s.isSending());
  auto all = messages();
  return countOf(all, 1) ? 1u : countOf(all, 2) ? 2u : 99u;
}

void expectSameFiles(const std::string& dir, const std::map<std::string, std::string>& sums) {
  auto files = filesUnder(dir);
  EXPECT_EQ(files.size(), sums.size());
  for (auto& f : files) {
    auto it = sums.find(sopOf(f));
    ASSERT_NE(it, sums.end()) << f;
    EXPECT_EQ(pixelSum(f), it->second) << f;
  }
}

}  // namespace

TEST(NetSend, FolderToStorescpWithProgress) {
  // One peer that takes every encoding as it is, one that takes only
  // uncompressed data (compressed files are decompressed for it).
  for (bool uncompressedOnly : {false, true}) {
    recordMessages();
    std::map<std::string, std::string> sums;
    std::string src = mixedFolder(sums, {"ct_ele", "ct_jpll", "ct_rle", "rgb", "grey8_jpeg"});
    // JPEG 2000 as archives hold it (made by GDCM): decoded for a peer that
    // takes no JPEG 2000.
    for (const char* v : {"ct_s16", "rgb_planar"}) {
      std::string j2k = src + "/" + v + "_j2k.dcm";
      ASSERT_TRUE(dcmtest::run("gdcmconv --j2k '" + dcmtest::series(v).files[1] + "' '" + j2k + "'"));
      sums[sopOf(j2k)] = pixelSum(j2k);
      ASSERT_EQ(sums[sopOf(j2k)], pixelSum(dcmtest::series(v).files[1]));
    }
    std::string out = newDir("scp");
    uint16_t port = freePort();
    std::vector<std::string> argv = {"storescp", "-aet", "STORESCP", "-od", out};
    if (!uncompressedOnly) argv.insert(argv.begin() + 1, {"+xa", "+B"});
    argv.push_back(str(port));
    Proc scp = Proc::spawn(argv);
    ASSERT_TRUE(waitPort(port));

    dcmSDK::dcmSender s;
    s.setIP("127.0.0.1", str(port).c_str());
    s.setCalledAE("STORESCP");
    ASSERT_TRUE(s.send(42, src.c_str()));
    EXPECT_TRUE(s.isSending());
    EXPECT_FALSE(s.send(43, src.c_str()));  // one transfer at a time
    EXPECT_EQ(waitEnd(s), 1u) << uncompressedOnly;
    auto all = messages();
    double last = 0;
    size_t progress = 0;
    for (auto& m : all) {
      if (m.type != dcmSDK::DCM_MSG_SEND_PROGRESS) continue;
      EXPECT_NE(m.text.find(task(42)), std::string::npos);
      EXPECT_GT(progressValue(m.text), last);
      last = progressValue(m.text);
      ++progress;
    }
    EXPECT_EQ(progress, sums.size());
    EXPECT_DOUBLE_EQ(last, 100.0);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().type, dcmSDK::DCM_MSG_SEND_DONE);
    EXPECT_EQ(all.back().text, "{" + task(42) + "}");
    scp.stop();
    expectSameFiles(out, sums);
    if (uncompressedOnly)
      for (auto& f : filesUnder(out)) {
        dcmSDK::dcmReader r;
        char ts[128];
        ASSERT_TRUE(r.setFile(f.c_str()));
        r.readDicomTagString(0x0002, 0x0010, ts, sizeof ts);
        EXPECT_TRUE(std::string(ts) == "1.2.840.10008.1.2.1" || std::string(ts) == "1.2.840.10008.1.2") << ts;
      }
  }
}

TEST(NetSend, SeriesToOrthancArrivesWhole) {
  recordMessages();
  Orthanc orthanc;
  ASSERT_TRUE(orthanc.start(true, freePort()));
  std::map<std::string, std::string> sums;
  std::string src = mixedFolder(sums, {"ct_ele", "mr_mf5", "ct_jls"});
  dcmSDK::dcmSender s;
  s.setIP("127.0.0.1", str(orthanc.port).c_str());
  s.setCalledAE("ORTHANC");
  ASSERT_TRUE(s.send(7, src.c_str()));
  ASSERT_EQ(waitEnd(s), 1u);
  // Read everything back with DCMTK's own retrieve tool.
  std::string back = newDir("back");
  for (auto& v : {"ct_ele", "mr_mf5", "ct_jls"}) {
    auto& se = dcmtest::series(v);
    dcmSDK::dcmReader r;
    ASSERT_TRUE(r.setFile(se.files[0].c_str()));
    char st[128], sr[128];
    r.readDicomTagString(0x0020, 0x000D, st, sizeof st);
    r.readDicomTagString(0x0020, 0x000E, sr, sizeof sr);
    std::string out;
    EXPECT_EQ(runTool({"getscu", "-S", "-aet", "TESTSCU", "-aec", "ORTHANC", "-k", "QueryRetrieveLevel=SERIES", "-k",
                       std::string("StudyInstanceUID=") + st, "-k", std::string("SeriesInstanceUID=") + sr, "-od",
                       back, "127.0.0.1", str(orthanc.port)},
                      &out),
              0)
        << out;
  }
  expectSameFiles(back, sums);
}

TEST(NetSend, FailuresAreReportedAsFailures) {
  recordMessages();
  std::map<std::string, std::string> sums;
  std::string src = mixedFolder(sums, {"ct_ele"});
  {
    // Nobody listens.
    dcmSDK::dcmSender s;
    s.setIP("127.0.0.1", str(freePort()).c_str());
    ASSERT_TRUE(s.send(5, src.c_str()));
    EXPECT_EQ(waitEnd(s, 5000), 2u);
    EXPECT_EQ(countOf(messages(), dcmSDK::DCM_MSG_SEND_PROGRESS), 0u);
    EXPECT_EQ(messagesOf(2)[0].text, "{" + task(5) + "}");
  }
  {
    // The peer answers every file with a refusal.
    clearMessages();
    dcmSDK::dcmServer server;
    uint16_t port = freePort();
    server.setPort("127.0.0.1", str(port).c_str(), "fernwick");
    server.setRoot(newDir("gate").c_str());
    ASSERT_TRUE(server.BeginDicomServer());
    server.setStoreEnabled(false);
    dcmSDK::dcmSender s;
    s.setIP("127.0.0.1", str(port).c_str());
    ASSERT_TRUE(s.send(6, src.c_str()));
    EXPECT_EQ(waitEnd(s), 2u);
    EXPECT_EQ(countOf(messages(), dcmSDK::DCM_MSG_SEND_PROGRESS), sums.size());
  }
  {
    // Nothing to send.
    clearMessages();
    std::string empty = newDir("empty");
    std::ofstream(empty + "/a.txt") << "x";
    dcmSDK::dcmSender s;
    s.setIP("127.0.0.1", "104");
    ASSERT_TRUE(s.send(8, empty.c_str()));
    EXPECT_EQ(waitEnd(s), 2u);
    EXPECT_FALSE(s.send(9, (empty + "/missing").c_str()));
  }
}

TEST(NetSend, StopEndsTheTransferPromptly) {
  recordMessages();
  dcmSDK::dcmServer server;
  uint16_t port = freePort();
  server.setPort("127.0.0.1", str(port).c_str(), "fernwick");
  server.setRoot(newDir("stoproot").c_str());
  ASSERT_TRUE(server.BeginDicomServer());
  std::string dir = newDir("many");
  dcmfixtures::writeSeries(dir, *dcmfixtures::findVariant("ct_ele"), 256, 256, 300);
  auto s = std::make_unique<dcmSDK::dcmSender>();
  s->setIP("127.0.0.1", str(port).c_str());
  ASSERT_TRUE(s->send(11, dir.c_str()));
  ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, dcmSDK::DCM_MSG_SEND_PROGRESS) > 0; }));
  auto t0 = std::chrono::steady_clock::now();
  // Only the sender's own messages count (the server may still report a
  // file that was under way).
  auto senderMessages = [] {
    auto all = messages();
    return countOf(all, 0) + countOf(all, 1) + countOf(all, 2);
  };
  s->stop = true;
  size_t at = senderMessages();
  s.reset();
  // Stopping must not wait for the rest of the series nor for a network
  // timeout (ten seconds to associate, a minute per reply); the bound is
  // generous so that a slow, loaded machine does not fail it.
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
  auto all = messages();
  EXPECT_LE(senderMessages(), at + 1);
  EXPECT_EQ(countOf(all, dcmSDK::DCM_MSG_SEND_DONE), 0u);
  EXPECT_LT(countOf(all, dcmSDK::DCM_MSG_SEND_PROGRESS), 300u);
}

TEST(NetSend, FrozenPeerFailsTheTransferAtOnce) {
  recordMessages();
  dcmSDK::net::setReplyTimeout(2);
  std::string dir = newDir("frozen");
  dcmfixtures::writeSeries(dir, *dcmfixtures::findVariant("ct_ele"), 64, 64, 300);
  std::string out = newDir("scp");
  uint16_t port = freePort();
  Proc scp = Proc::spawn({"storescp", "-aet", "STORESCP", "-od", out, str(port)});
  ASSERT_TRUE(waitPort(port));
  dcmSDK::dcmSender s;
  s.setIP("127.0.0.1", str(port).c_str());
  s.setCalledAE("STORESCP");
  ASSERT_TRUE(s.send(12, dir.c_str()));
  ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, dcmSDK::DCM_MSG_SEND_PROGRESS) >= 10; }));
  kill(scp.pid(), SIGSTOP);
  auto t0 = std::chrono::steady_clock::now();
  // One reply timeout, not one per file left.
  EXPECT_EQ(waitEnd(s, 15000), 2u);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(8));
  EXPECT_LT(countOf(messages(), dcmSDK::DCM_MSG_SEND_PROGRESS), 300u);
  kill(scp.pid(), SIGCONT);
  dcmSDK::net::setReplyTimeout(60);
}

// A JPEG file whose markers are out of place must not stall the sender in the
// decoder when the peer (storescp's default: uncompressed only) needs it
// decoded: it counts as failed, the sound files still go.
TEST(NetSend, CorruptJpegFilesFailWithoutStallingTheSend) {
  recordMessages();
  std::string dir = newDir("corruptjpeg");
  std::string scratchDir = newDir("corruptsrc");
  size_t corrupt = 0;
  for (auto& b : dcmfixtures::writeHostile(scratchDir))
    if (b.path.find("_tem.dcm") != std::string::npos) {
      fs::copy_file(b.path, dir + "/" + fs::path(b.path).filename().string());
      ++corrupt;
    }
  ASSERT_EQ(corrupt, 3u);
  std::map<std::string, std::string> sums;
  for (auto& f : dcmtest::series("ct_ele").files) {
    std::string dst = dir + "/sound_" + fs::path(f).filename().string();
    fs::copy_file(f, dst);
    sums[sopOf(dst)] = pixelSum(dst);
  }
  std::string out = newDir("scp");
  uint16_t port = freePort();
  Proc scp = Proc::spawn({"storescp", "-aet", "STORESCP", "-od", out, str(port)});
  ASSERT_TRUE(waitPort(port));
  dcmSDK::dcmSender s;
  s.setIP("127.0.0.1", str(port).c_str());
  s.setCalledAE("STORESCP");
  ASSERT_TRUE(s.send(13, dir.c_str()));
  EXPECT_EQ(waitEnd(s, 60000), 2u);  // not every file was accepted
  expectSameFiles(out, sums);
}
