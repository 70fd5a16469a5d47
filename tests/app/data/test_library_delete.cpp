// Deleting series and patients: rows in one transaction, folders after the
// commit and only inside the root.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support_library.h"
#include "tools/dcmfixtures/library.h"

using libtest::Library;
namespace fs = std::filesystem;

namespace {

void receive(Library& lib, int patients, int studies, int series) {
  auto images = dcmfixtures::writeLibrary(lib.dir + "/src", patients, studies, series, 2);
  std::string cmd = "storescu -aec fernwick 127.0.0.1 4587";
  for (auto& m : images) cmd += " " + m.path;
  ASSERT_EQ(libtest::sh(cmd + " >/dev/null 2>&1"), 0);
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= images.size(); }));
}

std::string seriesOf(Library& lib, const std::string& uid) {
  return lib.scalar("select ID from series where seriesUID='" + uid + "'");
}

}  // namespace

TEST(LibraryDelete, SeriesStudyAndPatientGoInTurn) {
  Library lib;
  lib.start();
  receive(lib, 1, 2, 3);
  auto uid = [](int s, int e) { return dcmfixtures::libraryImage(0, s, e, 0).seriesUID; };
  std::string pid = lib.scalar("select ID from patient");
  std::string middle = seriesOf(lib, uid(0, 1));
  std::string folder = lib.root() + lib.scalar("select path from series where ID=" + middle);
  ASSERT_TRUE(fs::is_directory(folder));
  // The middle series of a study: its rows and folder only.
  ASSERT_TRUE(lib.db->deleteSeries(middle));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(lib.scalar("select count(*) from series"), "5");
  EXPECT_EQ(lib.scalar("select count(*) from image"), "10");
  // A series that does not exist: false, nothing changed.
  EXPECT_FALSE(lib.db->deleteSeries("987654"));
  EXPECT_EQ(lib.scalar("select count(*) from series"), "5");
  // The last series of a study takes the study row.
  ASSERT_TRUE(lib.db->deleteSeries(seriesOf(lib, uid(0, 0))));
  ASSERT_TRUE(lib.db->deleteSeries(seriesOf(lib, uid(0, 2))));
  EXPECT_EQ(lib.scalar("select count(*) from study"), "1");
  EXPECT_TRUE(lib.db->hasPatient(pid));
  // The last series of the patient takes the patient row and folder.
  std::string patientFolder = lib.root() + lib.scalar("select path from series limit 1");
  patientFolder = patientFolder.substr(0, patientFolder.find('/', lib.root().size()));
  for (int e = 0; e < 3; ++e) ASSERT_TRUE(lib.db->deleteSeries(seriesOf(lib, uid(1, e))));
  EXPECT_FALSE(lib.db->hasPatient(pid));
  EXPECT_EQ(lib.scalar("select count(*) from patient"), "0");
  EXPECT_FALSE(fs::exists(patientFolder));
}

TEST(LibraryDelete, FailureInsideTheTransactionLeavesRowsAndFiles) {
  Library lib;
  lib.start();
  receive(lib, 1, 1, 2);
  libtest::sh("sqlite3 '" + lib.file() +
              "' \"create trigger refuse before delete on study begin select raise(abort,'refused'); end;\"");
  std::string pid = lib.scalar("select ID from patient");
  size_t files = libtest::allFiles(lib.root()).size();
  EXPECT_FALSE(lib.db->deletePatient(pid));
  EXPECT_EQ(lib.scalar("select count(*) from image"), "4");
  EXPECT_EQ(libtest::allFiles(lib.root()).size(), files);
}

TEST(LibraryDelete, CraftedPathsNeverReachOutsideTheRootOrAnotherPatient) {
  Library lib;
  lib.start();
  receive(lib, 2, 1, 1);
  fs::create_directories(lib.dir + "/outside");
  std::ofstream(lib.dir + "/outside/sentinel") << "keep";
  std::ofstream(lib.root() + "sentinel") << "keep";
  // Rows written by hand: a two-level path, a path holding "..", and a
  // patient whose series shares the first patient's folder.
  std::string p0 = lib.scalar("select path from series s join study t on t.ID=s.studyID join patient p on "
                              "p.ID=t.patientID where p.patientIDHospital='LIB0'");
  std::string shared = p0.substr(0, p0.find('/')) + "/other/series/";
  fs::create_directories(lib.root() + "two/level");
  fs::create_directories(lib.root() + shared);
  libtest::sh("sqlite3 '" + lib.file() + "' \"" +
              "insert into patient(name,patientIDHospital) values ('X','X1'),('Y','Y1'),('Z','Z1');"
              "insert into study(patientID,studyUID) select ID,'s'||ID from patient where name in ('X','Y','Z');"
              "insert into series(studyID,seriesUID,path) select t.ID,'e',case p.name when 'X' then 'two/level/' "
              "when 'Y' then '../outside/' else '" + shared + "' end from study t join patient p on p.ID=t.patientID "
              "where p.name in ('X','Y','Z');"
              "insert into image(seriesID,imageUID,file) select ID,'i','f' from series where seriesUID='e';\"");
  for (const char* name : {"X", "Y", "Z"})
    EXPECT_TRUE(lib.db->deletePatient(lib.scalar(std::string("select ID from patient where name='") + name + "'")));
  EXPECT_TRUE(fs::exists(lib.dir + "/outside/sentinel"));
  EXPECT_TRUE(fs::exists(lib.root() + "sentinel"));
  EXPECT_TRUE(fs::exists(lib.root() + "two"));  // only its own series folder went
  EXPECT_FALSE(fs::exists(lib.root() + "two/level"));
  // The first patient's files survive Z's deletion.
  EXPECT_TRUE(fs::is_directory(lib.root() + p0));
  EXPECT_EQ(libtest::allFiles(lib.root() + p0).size(), 2u);
}

TEST(LibraryDelete, DeletionsOnTwoThreadsBesideABurstAndAStudiesQuery) {
  Library lib;
  lib.start();
  receive(lib, 2, 1, 4);
  // The burst belongs to a third patient, whom no deletion touches.
  std::vector<dcmfixtures::LibraryImage> burst;
  for (auto& m : dcmfixtures::writeLibrary(lib.dir + "/burst", 3, 1, 2, 70))
    if (m.p == 2) burst.push_back(m);
  std::string cmd = "storescu -aec fernwick 127.0.0.1 4587";
  for (auto& m : burst) cmd += " '" + m.path + "'";
  std::thread sender([cmd] { libtest::sh(cmd + " >/dev/null 2>&1"); });
  std::string p0 = lib.scalar("select ID from patient where patientIDHospital='LIB0'");
  std::string p1 = lib.scalar("select ID from patient where patientIDHospital='LIB1'");
  auto ids = [&](const std::string& pid) {
    std::vector<std::string> out;
    for (auto& r : lib.rows("select s.ID from series s join study t on t.ID=s.studyID where t.patientID=" + pid))
      out.push_back(r[0]);
    return out;
  };
  auto a = ids(p0);
  std::thread one([&] {
    for (auto& id : a) EXPECT_TRUE(lib.db->deleteSeries(id));
  });
  std::thread two([&] { EXPECT_TRUE(lib.db->deletePatient(p1)); });
  int calls = 0;
  lib.db->queryStudies([&](NSUI::NSDBDataModel*) { ++calls; }, p0, &calls);
  one.join();
  two.join();
  sender.join();
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= 16 + burst.size(); }));
  lib.step(20);
  EXPECT_FALSE(lib.db->hasPatient(p0));
  EXPECT_FALSE(lib.db->hasPatient(p1));
  EXPECT_EQ(lib.scalar("select count(*) from image"), std::to_string(burst.size()));
}
