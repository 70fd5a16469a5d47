// The library after an unclean end: tools/datahost killed with SIGKILL in the
// middle of a storescu burst and of an import, and stopped with stores still
// pending. After the next start and its recovery every acknowledged or
// copied file has exactly one image row, the file is intact, the temporary
// folders are empty and the tables are whole.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support_library.h"
#include "toolkit/foundation/NSDBUtil.h"
#include "tools/dcmfixtures/library.h"

namespace {

const std::string kHost = std::string(FW_BINARY_DIR) + "/tools/datahost/datahost";

// tools/datahost as a child process, its output read line by line.
class Host {
 public:
  Host(const std::string& writable, const std::string& importPath = "") {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      setenv("FW_WRITABLE_PATH", writable.c_str(), 1);
      if (importPath.empty())
        execl(kHost.c_str(), kHost.c_str(), static_cast<char*>(nullptr));
      else
        execl(kHost.c_str(), kHost.c_str(), "--import", importPath.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    fd = fds[0];
    reader = std::thread([this] {
      std::string line;
      char c;
      while (read(fd, &c, 1) == 1) {
        if (c != '\n') {
          line += c;
          continue;
        }
        std::lock_guard<std::mutex> lock(mu);
        if (line.rfind("stored ", 0) == 0) ++storedLines;
        if (line.rfind("ready ", 0) == 0) ready = true;
        line.clear();
      }
    });
  }
  ~Host() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (reader.joinable()) reader.join();
    if (fd >= 0) close(fd);
  }
  bool waitFor(const std::function<bool()>& pred, double seconds = 60) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mu);
        if (pred()) return true;
      }
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  bool waitReady() { return waitFor([this] { return ready; }); }
  size_t stored() {
    std::lock_guard<std::mutex> lock(mu);
    return storedLines;
  }
  int end(int sig) {
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    if (reader.joinable()) reader.join();
    return status;
  }

  pid_t pid = -1;
  int fd = -1;
  std::thread reader;
  std::mutex mu;
  size_t storedLines = 0;
  bool ready = false;
};

// Four storescu processes over the files; records which files each peer
// was told were stored.
class Burst {
 public:
  explicit Burst(const std::vector<std::string>& files) {
    for (int k = 0; k < 4; ++k) {
      std::string cmd = "storescu -v -aec fernwick 127.0.0.1 4587";
      for (size_t i = k; i < files.size(); i += 4) cmd += " " + files[i];
      senders.emplace_back([this, cmd] {
        FILE* p = popen((cmd + " 2>&1").c_str(), "r");
        if (!p) return;
        char buf[4096];
        std::string current;
        while (fgets(buf, sizeof buf, p)) {
          std::string line = buf;
          if (line.rfind("I: Sending file: ", 0) == 0) current = line.substr(17, line.size() - 18);
          if (line.rfind("I: Received Store Response (Success)", 0) == 0) {
            std::lock_guard<std::mutex> lock(mu);
            accepted.insert(current);
          }
        }
        pclose(p);
      });
    }
  }
  void join() {
    for (auto& t : senders) t.join();
    senders.clear();
  }
  ~Burst() { join(); }
  std::vector<std::thread> senders;
  std::mutex mu;
  std::set<std::string> accepted;
};

struct Checked {
  std::vector<std::vector<std::string>> rows;
};

std::vector<std::vector<std::string>> query(const std::string& file, const std::string& sql) {
  NSUI::NSDBUtil conn;
  std::vector<std::vector<std::string>> out;
  if (!conn.open(file)) return out;
  NSUI::NSDBDataModel m;
  conn.getRecord(sql, &m);
  for (int r = 0; r < m.getRowCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < m.getColumnCount(r); ++c) row.push_back(m.getValue(r, c));
    out.push_back(row);
  }
  return out;
}

std::string one(const std::string& file, const std::string& sql) {
  auto r = query(file, sql);
  return r.empty() || r[0].empty() ? "" : r[0][0];
}

// Files of the tree (three levels below the root, no dot-folders).
std::vector<std::string> treeFiles(const std::string& root) {
  std::vector<std::string> out;
  for (auto& f : libtest::allFiles(root)) {
    std::string rel = f.substr(root.size());
    if (rel[0] == '.' || std::count(rel.begin(), rel.end(), '/') != 3) continue;
    out.push_back(rel);
  }
  return out;
}

// Restarts the host, lets its recovery finish and stops it cleanly; then
// checks the library as a whole.
void recoverAndCheck(const std::string& writable) {
  const std::string root = writable + "kq/dicom/";
  const std::string file = root + "dicomDB";
  {
    Host host(writable);
    ASSERT_TRUE(host.waitReady());
    size_t files = treeFiles(root).size();
    ASSERT_TRUE(host.waitFor([&] { return one(file, "select count(*) from image") == std::to_string(files); }))
        << one(file, "select count(*) from image") << " rows for " << files << " files";
    // Let the last completions run before the stop.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::printf("recovery stored %zu of %zu files\n", host.stored(), files);
    EXPECT_EQ(WEXITSTATUS(host.end(SIGTERM)), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(root + ".running"));
  EXPECT_EQ(one(file, "pragma integrity_check"), "ok");
  EXPECT_EQ(one(file, "select count(*) from image where seriesID not in (select ID from series)"), "0");
  EXPECT_EQ(one(file, "select count(*) from series where studyID not in (select ID from study)"), "0");
  EXPECT_EQ(one(file, "select count(*) from study where patientID not in (select ID from patient)"), "0");
  EXPECT_EQ(one(file, "select count(*) from series where ID not in (select seriesID from image)"), "0");
  EXPECT_EQ(one(file, "select count(*) from study where ID not in (select studyID from series)"), "0");
  EXPECT_EQ(one(file, "select count(*) from patient where ID not in (select patientID from study)"), "0");
  EXPECT_EQ(one(file, "select count(*) from (select imageUID from image group by imageUID,seriesID having "
                      "count(*)>1)"),
            "0");
  EXPECT_TRUE(libtest::allFiles(root + ".incoming").empty());
  EXPECT_TRUE(libtest::allFiles(root + ".import").empty());
}

class LibraryCrash : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = (std::filesystem::temp_directory_path() / ("fwcrash-" + std::to_string(getpid()))).string();
    std::filesystem::remove_all(dir);
    images = dcmfixtures::writeLibrary(dir + "/src", 2, 2, 5, 50);  // 1,000 images
    for (auto& m : images) {
      files.push_back(m.path);
      sopOf[m.path] = m.sopInstanceUID;
    }
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  // Every accepted instance has exactly one image row and its file.
  void expectAccepted(const std::string& writable, const std::set<std::string>& accepted) {
    const std::string root = writable + "kq/dicom/";
    auto rows = query(root + "dicomDB", "select i.imageUID,e.path||i.file from image i join series e on e.ID=i.seriesID");
    std::map<std::string, std::vector<std::string>> bySop;
    for (auto& r : rows) bySop[r[0]].push_back(r[1]);
    for (auto& path : accepted) {
      auto& hits = bySop[sopOf[path]];
      ASSERT_EQ(hits.size(), 1u) << path;
      EXPECT_TRUE(std::filesystem::is_regular_file(root + hits[0])) << hits[0];
    }
  }

  std::string dir;
  std::vector<dcmfixtures::LibraryImage> images;
  std::vector<std::string> files;
  std::map<std::string, std::string> sopOf;
};

}  // namespace

TEST_F(LibraryCrash, KilledDuringAStorescuBurstLosesNoAcknowledgedImage) {
  for (size_t killAt : {50u, 400u, 800u}) {
    SCOPED_TRACE(killAt);
    std::string writable = dir + "/w" + std::to_string(killAt) + "/";
    std::set<std::string> accepted;
    {
      Host host(writable);
      ASSERT_TRUE(host.waitReady());
      Burst burst(files);
      host.waitFor([&] { return host.storedLines >= killAt; });
      host.end(SIGKILL);
      burst.join();
      accepted = burst.accepted;
    }
    EXPECT_GT(accepted.size(), 0u);
    recoverAndCheck(writable);
    expectAccepted(writable, accepted);
  }
}

TEST_F(LibraryCrash, KilledDuringAnImportKeepsEveryCopiedFileWholeAndListed) {
  std::map<std::string, std::string> sourceOfSop;
  for (auto& m : images) sourceOfSop[m.sopInstanceUID] = m.path;
  for (size_t killAt : {50u, 400u, 800u}) {
    SCOPED_TRACE(killAt);
    std::string writable = dir + "/i" + std::to_string(killAt) + "/";
    {
      Host host(writable, dir + "/src");
      ASSERT_TRUE(host.waitReady());
      host.waitFor([&] { return host.storedLines >= killAt; });
      host.end(SIGKILL);
    }
    recoverAndCheck(writable);
    const std::string root = writable + "kq/dicom/";
    auto tree = treeFiles(root);
    EXPECT_GE(tree.size(), killAt);
    for (auto& rel : tree) {
      std::string name = rel.substr(rel.rfind('/') + 1);
      ASSERT_TRUE(sourceOfSop.count(name)) << rel;
      EXPECT_EQ(libtest::readAll(root + rel), libtest::readAll(sourceOfSop[name])) << rel;
    }
  }
}

TEST_F(LibraryCrash, CleanStopWithStoresPendingIsRecordedAtTheNextStart) {
  std::string writable = dir + "/stop/";
  std::set<std::string> accepted;
  {
    Host host(writable);
    ASSERT_TRUE(host.waitReady());
    Burst burst(files);
    host.waitFor([&] { return host.storedLines >= 300; });
    EXPECT_EQ(WEXITSTATUS(host.end(SIGTERM)), 0);
    burst.join();
    accepted = burst.accepted;
  }
  recoverAndCheck(writable);
  expectAccepted(writable, accepted);
}
