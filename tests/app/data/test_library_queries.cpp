// The library's lists on the request thread (patients, studies with their
// series) and the series image list: row layouts and completion rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support_library.h"
#include "tools/dcmfixtures/library.h"

using libtest::Library;

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows copyRows(NSUI::NSDBDataModel* m) {
  Rows out;
  for (int r = 0; r < m->getRowCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < m->getColumnCount(r); ++c) row.push_back(m->getValue(r, c));
    out.push_back(row);
  }
  return out;
}

std::string dotted(const std::string& d) { return d.substr(0, 4) + "." + d.substr(4, 2) + "." + d.substr(6, 2); }

void receive(Library& lib, const std::vector<dcmfixtures::LibraryImage>& images) {
  std::string cmd = "storescu -aec fernwick 127.0.0.1 4587";
  for (auto& m : images) cmd += " " + m.path;
  ASSERT_EQ(libtest::sh(cmd + " >/dev/null 2>&1"), 0);
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= images.size(); }));
}

}  // namespace

TEST(LibraryQueries, EmptyLibraryAndEmptyIdCallNothing) {
  Library lib;
  lib.start();
  int calls = 0;
  lib.db->queryPatients([&](NSUI::NSDBDataModel*) { ++calls; });
  lib.db->queryStudies([&](NSUI::NSDBDataModel*) { ++calls; }, "", &calls);
  lib.db->queryFavorites([&](NSUI::NSDBDataModel*) { ++calls; });
  lib.step(30);
  EXPECT_EQ(calls, 0);
}

TEST(LibraryQueries, PatientAndStudyRowsFollowTheLibrary) {
  Library lib;
  lib.start();
  auto images = dcmfixtures::writeLibrary(lib.dir + "/src", 2, 1, 3, 10);
  receive(lib, images);

  Rows patients;
  lib.db->queryPatients([&](NSUI::NSDBDataModel* m) { patients = copyRows(m); });
  ASSERT_TRUE(lib.pumpUntil([&] { return !patients.empty(); }));
  ASSERT_EQ(patients.size(), 2u);
  for (auto& row : patients) {
    ASSERT_EQ(row.size(), 11u);
    auto m = dcmfixtures::libraryImage(row[1] == "LIB0" ? 0 : 1, 0, 0, 0);
    EXPECT_EQ(row[2], m.patientName);
    EXPECT_EQ(row[3], dotted(m.birthDate));
    EXPECT_EQ(row[4], m.sex);
    EXPECT_EQ(row[8], "1");
    EXPECT_EQ(row[9], "3");
    EXPECT_EQ(row[10], "30");
  }

  std::string pid = lib.scalar("select ID from patient where patientIDHospital='LIB0'");
  Rows studies;
  int owner = 0;
  lib.db->queryStudies([&](NSUI::NSDBDataModel* m) { studies = copyRows(m); }, pid, &owner);
  ASSERT_TRUE(lib.pumpUntil([&] { return !studies.empty(); }));
  ASSERT_EQ(studies.size(), 4u);  // one study row, then its three series
  EXPECT_EQ(studies[0][0], "study");
  EXPECT_EQ(studies[0].size(), 6u);
  auto first = dcmfixtures::libraryImage(0, 0, 0, 0);
  EXPECT_EQ(studies[0][4], dotted(first.studyDate));
  for (size_t k = 1; k < studies.size(); ++k) {
    auto& row = studies[k];
    ASSERT_EQ(row.size(), 12u);
    EXPECT_EQ(row[1], pid);
    auto it = std::find_if(images.begin(), images.end(), [&](auto& m) { return m.p == 0 && m.seriesDescription == row[3]; });
    ASSERT_NE(it, images.end());
    EXPECT_EQ(row[5], "10");
    EXPECT_EQ(row[8], it->institution.empty() ? "Unknown Institution" : it->institution);
    EXPECT_EQ(row[9], it->modality);
    EXPECT_EQ(row[10], it->modality == "CT" ? it->kvp + "kV " + it->tubeCurrent + "mA" : "");
    EXPECT_EQ(row[11], it->seriesNumber);
  }

  // A detached owner gets no callback.
  int calls = 0;
  lib.db->queryStudies([&](NSUI::NSDBDataModel*) { ++calls; }, pid, &calls);
  lib.db->detachOwner(&calls);
  lib.step(30);
  EXPECT_EQ(calls, 0);

  // Images of a series in instance order: 1, 2, ..., 9, 10.
  NSUI::NSDBDataModel list;
  lib.db->getSeriesImages(&list, studies[1][0]);
  ASSERT_EQ(list.getRowCount(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(list.getValue(i, 0), std::to_string(i + 1));
  EXPECT_TRUE(lib.db->hasPatient(pid));
  EXPECT_FALSE(lib.db->hasPatient("999999"));

  // A birthday without month and day stays as written; a series whose first
  // image file is gone is left out while its study row stays.
  // A patient without series is left out of the list.
  ASSERT_EQ(libtest::sh("sqlite3 '" + lib.file() +
                        "' \"update patient set birthday='1980' where patientIDHospital='LIB1';"
                        " insert into patient(name,patientIDHospital,birthday,sex) values ('EMPTY','LIB9','19700101','F');\""),
            0);
  const std::string gone = studies[1][0];
  const std::string firstFile =
      lib.root() + lib.scalar("select path from series where ID=" + gone) + "/" +
      lib.scalar("select file from image where seriesID=" + gone + " order by ID limit 1");
  ASSERT_TRUE(std::filesystem::remove(firstFile)) << firstFile;
  patients.clear();
  lib.db->queryPatients([&](NSUI::NSDBDataModel* m) { patients = copyRows(m); });
  ASSERT_TRUE(lib.pumpUntil([&] { return !patients.empty(); }));
  auto lib1 = std::find_if(patients.begin(), patients.end(), [](auto& row) { return row[1] == "LIB1"; });
  ASSERT_NE(lib1, patients.end());
  EXPECT_EQ((*lib1)[3], "1980");
  EXPECT_EQ(patients.size(), 2u);
  Rows after;
  lib.db->queryStudies([&](NSUI::NSDBDataModel* m) { after = copyRows(m); }, pid, &owner);
  ASSERT_TRUE(lib.pumpUntil([&] { return !after.empty(); }));
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0], studies[0]);
  for (size_t k = 1; k < after.size(); ++k) EXPECT_NE(after[k][0], gone);
}

// A studies request is moved to the front of the pending work: queued while
// a 1,000-image burst waits in store batches, it runs after at most the one
// batch in progress, so it counts at most one batch more than was committed
// when it was queued, and far fewer than the burst.
TEST(LibraryQueries, StudiesRequestBehindABurstWaitsForOneBatch) {
  Library lib;
  lib.start();
  auto images = dcmfixtures::writeLibrary(lib.dir + "/burst", 1, 1, 4, 250);
  ASSERT_EQ(images.size(), 1000u);
  std::string cmd = "storescu -aec fernwick 127.0.0.1 4587";
  for (auto& m : images) cmd += " '" + m.path + "'";
  // Every file is received before the first frame hands any to the library:
  // the frames below then queue the records faster than batches are stored.
  ASSERT_EQ(libtest::sh(cmd + " >/dev/null 2>&1"), 0);
  lib.step(900);
  std::string pid;
  ASSERT_TRUE(lib.pumpUntil([&] {
    pid = lib.scalar("select ID from patient where patientIDHospital='LIB0'");
    return !pid.empty();
  }));
  Rows studies;
  bool called = false;
  int owner = 0;
  lib.db->queryStudies(
      [&](NSUI::NSDBDataModel* m) {
        studies = copyRows(m);
        called = true;
      },
      pid, &owner);
  const long committed = std::stol(lib.scalar("select count(*) from image"));
  ASSERT_TRUE(lib.pumpUntil([&] { return called; }, 60));
  long counted = 0;
  for (size_t k = 1; k < studies.size(); ++k) counted += std::stol(studies[k][5]);
  EXPECT_LE(counted, committed + static_cast<long>(dicomDB::kBatchLimit));
  EXPECT_LT(counted, 900);
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= images.size(); }, 120));
  EXPECT_EQ(lib.scalar("select count(*) from image"), "1000");
}
