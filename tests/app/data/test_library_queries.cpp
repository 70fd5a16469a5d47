// The library's lists on the request thread (patients, studies with their
// series) and the series image list: row layouts and completion rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
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
}
