// The storage server against DCMTK's senders (storescu, dcmsend, echoscu):
// files land under sanitised paths, are acknowledged only once stored, and
// each is reported once with its record.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "support/namespaces.h"
#include "support_dcm.h"
#include "support_net.h"

namespace fs = std::filesystem;
using namespace nettest;

namespace {

using Server = OwnServer;

std::vector<std::string> storescu(uint16_t port, const std::vector<std::string>& files,
                                  const std::vector<std::string>& opts = {}, std::string* out = nullptr) {
  std::vector<std::string> argv = {"storescu", "-v", "-aet", "TESTSCU", "-aec", "fernwick"};
  argv.insert(argv.end(), opts.begin(), opts.end());
  argv.push_back("127.0.0.1");
  argv.push_back(str(port));
  argv.insert(argv.end(), files.begin(), files.end());
  std::string o;
  runTool(argv, &o, 60000);
  if (out) *out = o;
  return argv;
}

size_t countLines(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// Every stored file exists where its record says, under the root, and its
// pixels equal those of the source with the same SOP Instance UID.
void expectStored(const Server& srv, const std::vector<nettest::Msg>& recs,
                  const std::map<std::string, std::string>& sumBySop) {
  for (auto& m : recs) {
    ASSERT_TRUE(m.rec);
    std::string path = srv.root + "/" + m.rec->folder + m.rec->fileName;
    ASSERT_TRUE(fs::is_regular_file(path)) << path;
    auto it = sumBySop.find(m.rec->sopInstanceUID);
    ASSERT_NE(it, sumBySop.end()) << m.rec->sopInstanceUID;
    EXPECT_EQ(pixelSum(path), it->second) << path;
    EXPECT_EQ(sopOf(path), m.rec->sopInstanceUID);
  }
}

}  // namespace

TEST(NetServer, StoresFromStorescuAndDcmsendWithRecords) {
  recordMessages();
  Server srv;
  ASSERT_NE(srv.port, 0);
  std::map<std::string, std::string> sums;
  std::vector<std::string> plain, jpll, folderFiles;
  for (auto v : {"ct_ele", "mr_mf5", "rgb"})
    for (auto& f : dcmtest::series(v).files) plain.push_back(f);
  for (auto& f : dcmtest::series("ct_jpll").files) jpll.push_back(f);
  std::string folder = newDir("send");
  for (auto v : {"ct_jls", "ct_rle", "ct_bee", "pet"})
    for (auto& f : dcmtest::series(v).files) {
      std::string dst = folder + "/" + v + fs::path(f).filename().string();
      fs::copy_file(f, dst);
      folderFiles.push_back(dst);
    }
  // JPEG 2000 as archives hold it (made by GDCM), kept as received.
  std::string j2k = folder + "/ct_j2k.dcm";
  ASSERT_TRUE(dcmtest::run("gdcmconv --j2k '" + dcmtest::series("ct_s16").files[0] + "' '" + j2k + "'"));
  folderFiles.push_back(j2k);
  for (auto* list : {&plain, &jpll, &folderFiles})
    for (auto& f : *list) sums[sopOf(f)] = pixelSum(f);

  std::string out;
  storescu(srv.port, plain, {}, &out);
  EXPECT_EQ(countLines(out, "Received Store Response (Success)"), plain.size()) << out;
  storescu(srv.port, jpll, {"-xs"}, &out);
  EXPECT_EQ(countLines(out, "Received Store Response (Success)"), jpll.size()) << out;
  EXPECT_EQ(runTool({"dcmsend", "-aet", "TESTSCU", "-aec", "fernwick", "+sd", "+r", "-nh", "127.0.0.1",
                     str(srv.port), folder},
                    &out),
            0)
      << out;

  size_t total = plain.size() + jpll.size() + folderFiles.size();
  ASSERT_TRUE(waitMessages([&](auto& all) { return countOf(all, dcmSDK::DCM_MSG_IMAGE_STORED) >= total; }));
  auto recs = messagesOf(dcmSDK::DCM_MSG_IMAGE_STORED);
  EXPECT_EQ(recs.size(), total);
  expectStored(srv, recs, sums);
  bool sawJ2k = false;
  for (auto& m : recs)
    if (m.rec->sopInstanceUID == sopOf(j2k)) {
      sawJ2k = true;
      dcmSDK::dcmReader r;
      char ts[128] = "";
      ASSERT_TRUE(r.setFile((srv.root + "/" + m.rec->folder + m.rec->fileName).c_str()));
      r.readDicomTagString(0x0002, 0x0010, ts, sizeof ts);
      EXPECT_EQ(std::string(ts).rfind("1.2.840.10008.1.2.4.9", 0), 0u) << ts;
    }
  EXPECT_TRUE(sawJ2k);

  // The record carries the file's identity as the import would.
  auto& ct = dcmtest::series("ct_ele");
  dcmSDK::dcmReader r;
  ASSERT_TRUE(r.setFile(ct.files[0].c_str()));
  char name[256], id[256], study[256], series[256], mod[256];
  r.readDicomTagString(0x0010, 0x0010, name, 256);
  r.readDicomTagString(0x0010, 0x0020, id, 256);
  r.readDicomTagString(0x0020, 0x000D, study, 256);
  r.readDicomTagString(0x0020, 0x000E, series, 256);
  r.readDicomTagString(0x0008, 0x0060, mod, 256);
  char expectFolder[1024];
  ASSERT_TRUE(dcmSDK::dcmServer::getDicomFolder(name, id, study, series, expectFolder));
  std::string sop0 = sopOf(ct.files[0]);
  bool found = false;
  for (auto& m : recs) {
    if (sop0 != m.rec->sopInstanceUID) continue;
    found = true;
    EXPECT_STREQ(m.rec->patientName, name);
    EXPECT_STREQ(m.rec->patientID, id);
    EXPECT_STREQ(m.rec->studyUID, study);
    EXPECT_STREQ(m.rec->seriesUID, series);
    EXPECT_STREQ(m.rec->modality, mod);
    EXPECT_EQ(std::string(m.rec->folder), std::string(expectFolder) + "/");
    EXPECT_EQ(std::string(m.rec->fileName), sop0);
  }
  EXPECT_TRUE(found);
  EXPECT_TRUE(filesUnder(srv.root + "/.incoming").empty());
}

TEST(NetServer, AnswersEchoForAnyCalledTitle) {
  Server srv;
  ASSERT_NE(srv.port, 0);
  for (const char* ae : {"fernwick", "WHATEVER"})
    EXPECT_EQ(runTool({"echoscu", "-aet", "TESTSCU", "-aec", ae, "127.0.0.1", str(srv.port)}), 0) << ae;
}

TEST(NetServer, HostileIdentifiersStayInsideTheRoot) {
  recordMessages();
  std::string base = newDir("hostile");
  std::string root = base + "/library";
  fs::create_directories(root);
  Server srv(root);
  ASSERT_NE(srv.port, 0);
  // A symlink planted where a patient folder would go must not be followed.
  std::string outside = base + "/outside";
  fs::create_directories(outside);

  struct Row {
    const char* sop;
    const char* study;
    const char* series;
    const char* name;
    const char* id;
  };
  const Row rows[] = {
      {"../../../outside/evil", "1.2.3", "1.2.3.4", "DOE^JOHN", "ID1"},
      {"1.2.3.4.5.1", "../../..", "..", "../../etc^x/y", "..\\.."},
      {"1.2.3.4.5.2", "/etc", "1.2/../../x", "A,B@C", "../outside"},
      {"1.2.3.4.5.3", "1.2.3", "1.2.3.4", "", ""},
  };
  std::vector<std::string> files;
  int i = 0;
  for (auto& row : rows) {
    std::string f = base + "/h" + std::to_string(i++) + ".dcm";
    dcmfixtures::writeTagged(f, {{0x00080018, row.sop},
                                 {0x0020000D, row.study},
                                 {0x0020000E, row.series},
                                 {0x00100010, row.name},
                                 {0x00100020, row.id}});
    files.push_back(f);
  }
  std::string out;
  storescu(srv.port, files, {}, &out);
  ASSERT_TRUE(waitMessages([&](auto& all) { return countOf(all, dcmSDK::DCM_MSG_IMAGE_STORED) >= files.size(); }))
      << out;
  EXPECT_TRUE(filesUnder(outside).empty());
  // Nothing new beside the library folder.
  std::set<std::string> top;
  for (auto& e : fs::directory_iterator(base)) top.insert(e.path().filename().string());
  EXPECT_EQ(top, (std::set<std::string>{"library", "outside", "h0.dcm", "h1.dcm", "h2.dcm", "h3.dcm"}));
  std::string rootReal = fs::canonical(root).string() + "/";
  for (auto& m : messagesOf(dcmSDK::DCM_MSG_IMAGE_STORED)) {
    std::string folder = m.rec->folder;
    EXPECT_EQ(std::count(folder.begin(), folder.end(), '/'), 3) << folder;
    for (auto& part : fs::path(folder)) EXPECT_NE(part.string().rfind('.', 0), 0u) << folder;
    EXPECT_EQ(std::string(m.rec->fileName).find('/'), std::string::npos);
    std::string path = fs::canonical(root + "/" + folder + m.rec->fileName).string();
    EXPECT_EQ(path.rfind(rootReal, 0), 0u) << path;
  }
  auto recs = messagesOf(dcmSDK::DCM_MSG_IMAGE_STORED);
  ASSERT_EQ(recs.size(), files.size());
  // Empty name and ID are stored as the import stores them.
  bool anonymous = false;
  for (auto& m : recs) anonymous |= std::string(m.rec->patientName) == "ANONYMOUS" &&
                                    std::string(m.rec->patientID) == "EmptyID";
  EXPECT_TRUE(anonymous);
}

TEST(NetServer, SymlinkedPatientFolderIsRefused) {
  recordMessages();
  std::string base = newDir("symlink");
  std::string root = base + "/library", outside = base + "/outside";
  fs::create_directories(root);
  fs::create_directories(outside);
  std::string f = base + "/a.dcm";
  dcmfixtures::writeTagged(f, {{0x00100010, "SYM^LINK"}, {0x00100020, "SYM1"}});
  dcmSDK::dcmReader r;
  ASSERT_TRUE(r.setFile(f.c_str()));
  char name[256], id[256], st[256], se[256], folder[1024];
  r.readDicomTagString(0x0010, 0x0010, name, 256);
  r.readDicomTagString(0x0010, 0x0020, id, 256);
  r.readDicomTagString(0x0020, 0x000D, st, 256);
  r.readDicomTagString(0x0020, 0x000E, se, 256);
  ASSERT_TRUE(dcmSDK::dcmServer::getDicomFolder(name, id, st, se, folder));
  std::string patient = std::string(folder).substr(0, std::string(folder).find('/'));
  fs::create_directory_symlink(outside, root + "/" + patient);

  Server srv(root);
  ASSERT_NE(srv.port, 0);
  std::string out;
  storescu(srv.port, {f}, {}, &out);
  EXPECT_EQ(countLines(out, "Received Store Response (Success)"), 0u) << out;
  EXPECT_TRUE(filesUnder(outside).empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(countOf(messages(), dcmSDK::DCM_MSG_IMAGE_STORED), 0u);
}

TEST(NetServer, ClosedGateRefusesAndKeepsNothing) {
  recordMessages();
  Server srv;
  ASSERT_NE(srv.port, 0);
  srv.s.setStoreEnabled(false);
  std::string out;
  storescu(srv.port, dcmtest::series("ct_ele").files, {}, &out);
  EXPECT_NE(out.find("Refused: OutOfResources"), std::string::npos) << out;
  EXPECT_EQ(countLines(out, "Received Store Response (Success)"), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(countOf(messages(), dcmSDK::DCM_MSG_IMAGE_STORED), 0u);
  for (auto& f : filesUnder(srv.root)) ADD_FAILURE() << "left behind: " << f;
}

TEST(NetServer, BusyPortAndRestart) {
  Server a;
  ASSERT_NE(a.port, 0);
  dcmSDK::dcmServer b;
  b.setPort("127.0.0.1", str(a.port).c_str(), "fernwick");
  b.setRoot(newDir("root-b").c_str());
  EXPECT_FALSE(b.BeginDicomServer());
  EXPECT_FALSE(a.s.BeginDicomServer());  // already running
  a.s.StopDicomServer();
  a.s.StopDicomServer();  // idempotent
  EXPECT_FALSE(waitPort(a.port, 100));
  EXPECT_TRUE(a.s.BeginDicomServer());
  EXPECT_EQ(runTool({"echoscu", "-aec", "fernwick", "127.0.0.1", str(a.port)}), 0);
}

TEST(NetServer, StopsMidTransferWithinTwoSeconds) {
  recordMessages();
  Server srv;
  ASSERT_NE(srv.port, 0);
  std::string dir = newDir("many");
  dcmfixtures::Variant v = *dcmfixtures::findVariant("ct_ele");
  auto s = dcmfixtures::writeSeries(dir, v, 256, 256, 60);
  // Several senders of the whole series, several times over.
  std::vector<std::string> files;
  for (int k = 0; k < 10; ++k) files.insert(files.end(), s.files.begin(), s.files.end());
  std::vector<std::thread> senders;
  for (int k = 0; k < 3; ++k) senders.emplace_back([&] { storescu(srv.port, files); });
  ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, dcmSDK::DCM_MSG_IMAGE_STORED) >= 20; }));
  auto t0 = std::chrono::steady_clock::now();
  srv.s.StopDicomServer();
  auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(took, std::chrono::seconds(2));
  for (auto& t : senders) t.join();
  EXPECT_TRUE(filesUnder(srv.root + "/.incoming").empty());
  // Every reported file is really there.
  for (auto& m : messagesOf(dcmSDK::DCM_MSG_IMAGE_STORED))
    EXPECT_TRUE(fs::exists(srv.root + "/" + m.rec->folder + m.rec->fileName));
  EXPECT_TRUE(srv.s.BeginDicomServer());
}

TEST(NetServer, FullDiskEndsWithErrorAndNoAcknowledgedLoss) {
  // A private mount namespace with a 1 MiB file system for the library.
  std::string why;
  if (!fwtest::enterPrivateMountNamespace(why)) GTEST_SKIP() << "cannot create a mount namespace here: " << why;
  std::string root = newDir("tiny");
  if (mount("tmpfs", root.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << strerror(errno) << ")";
  recordMessages();
  std::string dir = newDir("big");
  auto s = dcmfixtures::writeSeries(dir, *dcmfixtures::findVariant("ct_ele"), 512, 512, 4);
  Server srv(root);
  ASSERT_NE(srv.port, 0);
  std::string out;
  storescu(srv.port, s.files, {}, &out);
  size_t acked = countLines(out, "Received Store Response (Success)");
  EXPECT_GE(acked, 1u) << out;
  EXPECT_LT(acked, s.files.size()) << out;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto recs = messagesOf(dcmSDK::DCM_MSG_IMAGE_STORED);
  EXPECT_EQ(recs.size(), acked);
  std::map<std::string, std::string> sums;
  for (auto& f : s.files) sums[sopOf(f)] = pixelSum(f);
  expectStored(srv, recs, sums);
  EXPECT_TRUE(filesUnder(root + "/.incoming").empty());
  srv.s.StopDicomServer();
  umount(root.c_str());
}
