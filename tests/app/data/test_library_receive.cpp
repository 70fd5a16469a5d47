// Receiving into the library through the real storage server: storescu and
// dcmsend over four associations, the rows of every level, the 2002 and 2001
// posts with their JSON and series rows, hostile texts and paths, files sent
// again, and the thumbnails and series cache of a touched series.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "imaging/core/isFolderScan.h"
#include "support_library.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/library.h"

using libtest::Library;

namespace {

// Sends the files over four associations at once: two storescu, two dcmsend.
void sendFour(const std::vector<std::string>& files) {
  std::vector<std::string> part[4];
  for (size_t i = 0; i < files.size(); ++i) part[i % 4].push_back(files[i]);
  std::vector<std::thread> senders;
  int rc[4] = {0, 0, 0, 0};
  for (int k = 0; k < 4; ++k) {
    if (part[k].empty()) continue;
    std::string cmd = k < 2 ? "storescu -aec fernwick 127.0.0.1 4587" : "dcmsend -nuc -aec fernwick 127.0.0.1 4587";
    for (auto& f : part[k]) cmd += " '" + f + "'";
    senders.emplace_back([cmd, &rc, k] { rc[k] = libtest::sh(cmd + " >/dev/null 2>&1"); });
  }
  for (auto& t : senders) t.join();
  for (int k = 0; k < 4; ++k) EXPECT_EQ(rc[k], 0) << "sender " << k;
}

std::string dotted(const std::string& d) { return d.substr(0, 4) + "." + d.substr(4, 2) + "." + d.substr(6, 2); }

// The keys of a flat JSON text in order.
std::vector<std::string> keysOf(const std::string& json) {
  std::vector<std::string> keys;
  size_t at = 0;
  while ((at = json.find('"', at)) != std::string::npos) {
    size_t end = json.find('"', at + 1);
    keys.push_back(json.substr(at + 1, end - at - 1));
    // Skip the value.
    size_t v = json.find('"', end + 1);
    size_t ve = v + 1;
    while (ve < json.size() && !(json[ve] == '"' && json[ve - 1] != '\\')) ++ve;
    at = ve + 1;
  }
  return keys;
}

}  // namespace

TEST(LibraryReceive, LibraryFixtureOverFourAssociationsFillsEveryLevel) {
  Library lib;
  lib.start();
  ASSERT_TRUE(lib.db->isOpen);
  auto images = dcmfixtures::writeLibrary(lib.dir + "/src", 2, 2, 3, 3);
  std::vector<std::string> files;
  for (auto& m : images) files.push_back(m.path);
  sendFour(files);
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= images.size(); }));
  lib.drain(2 * images.size());

  // Patients, studies, series, images: exactly the fixture's texts.
  std::set<std::vector<std::string>> patients, studies, series;
  for (auto& m : images) {
    patients.insert({m.patientName, m.sex, m.birthDate, m.patientID});
    studies.insert({m.patientID, m.studyUID, m.studyID, m.studyDescription, m.studyDate, m.studyTime,
                    m.studyDate.substr(0, 4) + "-" + m.studyDate.substr(4, 2) + "-" + m.studyDate.substr(6, 2) + " " +
                        m.studyTime.substr(0, 2) + ":" + m.studyTime.substr(2, 2) + ":" + m.studyTime.substr(4, 2)});
    series.insert({m.studyUID, m.seriesUID, m.seriesDate, m.seriesTime, m.studyDescription, m.seriesDescription});
  }
  auto pr = lib.rows("select name,sex,birthday,patientIDHospital from patient");
  EXPECT_EQ(std::set<std::vector<std::string>>(pr.begin(), pr.end()), patients);
  EXPECT_EQ(pr.size(), patients.size());
  auto sr = lib.rows(
      "select p.patientIDHospital,s.studyUID,s.studyIDHospital,s.studyDesc,s.date,s.time,s.updateTime "
      "from study s join patient p on p.ID=s.patientID");
  EXPECT_EQ(std::set<std::vector<std::string>>(sr.begin(), sr.end()), studies);
  EXPECT_EQ(sr.size(), studies.size());
  auto er = lib.rows(
      "select s.studyUID,e.seriesUID,e.date,e.time,e.studyDesc,e.seriesDesc from series e join study s on "
      "s.ID=e.studyID");
  EXPECT_EQ(std::set<std::vector<std::string>>(er.begin(), er.end()), series);
  EXPECT_EQ(er.size(), series.size());
  auto ir = lib.rows(
      "select i.imageUID,i.instanceID,e.path||i.file from image i join series e on e.ID=i.seriesID");
  ASSERT_EQ(ir.size(), images.size());
  for (auto& row : ir) {
    auto it = std::find_if(images.begin(), images.end(), [&](auto& m) { return m.sopInstanceUID == row[0]; });
    ASSERT_NE(it, images.end()) << row[0];
    EXPECT_EQ(row[1], it->instanceNumber);
    EXPECT_TRUE(std::filesystem::is_regular_file(lib.root() + row[2])) << row[2];
  }

  // One 2002 then one 2001 per new image, with the same JSON.
  ASSERT_EQ(lib.posts.size(), 2 * images.size());
  std::map<std::string, int> rowsSeen;
  for (size_t k = 0; k < lib.posts.size(); k += 2) {
    const auto& a = lib.posts[k];
    const auto& b = lib.posts[k + 1];
    EXPECT_EQ(a.id, NOTIFY_PATIENT_ROW_UPDATE);
    EXPECT_EQ(b.id, NOTIFY_SERIES_RECORD_ADDED);
    EXPECT_EQ(a.text, b.text);
    EXPECT_LT(a.frame, b.frame);
    EXPECT_EQ(keysOf(a.text),
              (std::vector<std::string>{"patientID", "studyID", "seriesID", "studyIDHospital", "patientIDHospital",
                                        "name", "sex", "birthday", "updateTime", "studyDate", "studyDesc",
                                        "studyNumber", "seriesNumber", "imageNumber", "dcmFolder"}));
    std::string uid = NSUI::UIJson::getJsonString(a.text, "patientIDHospital");
    std::string seriesId = NSUI::UIJson::getJsonString(a.text, "seriesID");
    auto path = lib.scalar("select path from series where ID=" + seriesId);
    EXPECT_EQ(NSUI::UIJson::getJsonString(a.text, "dcmFolder"), path);
    EXPECT_EQ(NSUI::UIJson::getJsonString(a.text, "imageNumber"), "1");
    // The series row: 11 values, the image count growing with each image.
    ASSERT_TRUE(b.hasRow);
    ASSERT_EQ(b.row.size(), 11u) << b.text;
    EXPECT_EQ(b.row[0], seriesId);
    EXPECT_EQ(b.row[3], path);
    EXPECT_EQ(b.row[4], std::to_string(++rowsSeen[seriesId]));
    std::string seriesUID = lib.scalar("select seriesUID from series where ID=" + seriesId);
    auto it = std::find_if(images.begin(), images.end(), [&](auto& m) { return m.seriesUID == seriesUID; });
    ASSERT_NE(it, images.end());
    EXPECT_EQ(NSUI::UIJson::getJsonString(a.text, "name"), it->patientName);
    EXPECT_EQ(NSUI::UIJson::getJsonString(a.text, "studyDate"), dotted(it->studyDate));
    EXPECT_EQ(b.row[1], it->seriesDate + " " + it->seriesTime);
    EXPECT_EQ(b.row[2], it->seriesDescription);
    EXPECT_EQ(b.row[5], "16");
    EXPECT_EQ(b.row[6], "16");
    EXPECT_EQ(b.row[7], it->institution);  // "" where the tag is absent
    EXPECT_EQ(b.row[8], it->modality);
    EXPECT_EQ(b.row[9], it->modality == "CT" ? it->kvp + "kV " + it->tubeCurrent + "mA" : "");
    EXPECT_EQ(b.row[10], it->seriesNumber);
  }
  // The first image of each series makes it new; of each study likewise.
  size_t newSeries = 0, newStudies = 0;
  for (size_t k = 0; k < lib.posts.size(); k += 2) {
    newSeries += NSUI::UIJson::getJsonString(lib.posts[k].text, "seriesNumber") == "1";
    newStudies += NSUI::UIJson::getJsonString(lib.posts[k].text, "studyNumber") == "1";
  }
  EXPECT_EQ(newSeries, series.size());
  EXPECT_EQ(newStudies, studies.size());

  // The same files again change nothing and post nothing.
  size_t posted = lib.posts.size();
  std::string before = lib.scalar(
      "select group_concat(ID||updateTime) from (select ID,updateTime from patient union all select ID,updateTime "
      "from study)");
  lib.stored.clear();
  sendFour(files);
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= images.size(); }));
  lib.step(30);
  EXPECT_EQ(lib.posts.size(), posted);
  for (auto& s : lib.stored) EXPECT_FALSE(s.second) << s.first;
  EXPECT_EQ(lib.scalar("select count(*) from image"), std::to_string(images.size()));
  EXPECT_EQ(before, lib.scalar("select group_concat(ID||updateTime) from (select ID,updateTime from patient union "
                               "all select ID,updateTime from study)"));
}

TEST(LibraryReceive, TouchedSeriesLosesItsThumbnailsAndCache) {
  Library lib;
  lib.start();
  auto images = dcmfixtures::writeLibrary(lib.dir + "/src", 1, 1, 1, 3);
  sendFour({images[0].path, images[1].path});
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= 2; }));
  lib.drain(4);
  std::string folder = lib.root() + lib.scalar("select path from series");
  ASSERT_TRUE(isImageSDK::isDcmScan().createCache(folder));
  ASSERT_NE(isImageSDK::isDcmScan::getCacheFileName(folder), "");
  for (int i = 0; i < 6; ++i) libtest::sh("echo x > '" + folder + "/thrumb" + std::to_string(i) + "'");
  sendFour({images[2].path});
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= 3; }));
  lib.drain(6);
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(std::filesystem::exists(folder + "/thrumb" + std::to_string(i))) << i;
  EXPECT_EQ(isImageSDK::isDcmScan::getCacheFileName(folder), "");
}

TEST(LibraryReceive, HostileTextsAndPathsStayInsideTheRootAndComeBackUnchanged) {
  Library lib;
  lib.start();
  auto hostile = dcmfixtures::writeHostileLibrary(lib.dir + "/src");
  std::vector<std::string> files;
  std::vector<dcmfixtures::HostileFile> sent;
  for (auto& h : hostile) {
    // DCMTK's tools refuse files cut short or without a SOP Instance UID.
    if (h.cut || h.sopInstanceUID.empty()) continue;
    files.push_back(h.path);
    sent.push_back(h);
  }
  sendFour(files);
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= sent.size(); }));
  lib.drain(2 * sent.size());
  ASSERT_EQ(lib.scalar("select count(*) from image"), std::to_string(sent.size()));
  EXPECT_EQ(lib.scalar("select count(*) from sqlite_master where name='patient'"), "1");
  for (auto& h : sent) {
    auto row = lib.rows("select p.name,p.patientIDHospital,p.sex,s.studyUID,e.seriesUID,e.path,i.file from image i "
                        "join series e on e.ID=i.seriesID join study s on s.ID=e.studyID join patient p on "
                        "p.ID=s.patientID where i.imageUID='" +
                        std::string(h.sopInstanceUID.find('\'') == std::string::npos ? h.sopInstanceUID : "") + "'");
    ASSERT_EQ(row.size(), 1u) << h.what;
    EXPECT_EQ(row[0][0], h.patientName) << h.what;
    EXPECT_EQ(row[0][1], h.patientID) << h.what;
    EXPECT_EQ(row[0][2], h.sex == "O" ? "U" : h.sex) << h.what;
    EXPECT_EQ(row[0][3], h.studyUID) << h.what;
    EXPECT_EQ(row[0][4], h.seriesUID) << h.what;
    std::string full = std::filesystem::weakly_canonical(lib.root() + row[0][5] + row[0][6]).string();
    EXPECT_EQ(full.rfind(std::filesystem::canonical(lib.root()).string() + "/", 0), 0u) << full;
    EXPECT_TRUE(std::filesystem::is_regular_file(full)) << h.what;
  }
  // Names come back unchanged through the JSON.
  std::set<std::string> names;
  for (auto& p : lib.posts)
    if (p.id == NOTIFY_PATIENT_ROW_UPDATE) names.insert(NSUI::UIJson::getJsonString(p.text, "name"));
  for (auto& h : sent) EXPECT_TRUE(names.count(h.patientName)) << h.patientName;
  // The time with a fraction keeps its six digits; the long modality is cut.
  EXPECT_EQ(lib.scalar("select time from study where updateTime like '2024-03-05 12:30:45'"), "123045");
  // Every file the server kept lies under the root, one per image.
  size_t kept = 0;
  for (auto& f : libtest::allFiles(lib.root()))
    kept += f.find("/.") == std::string::npos && f.substr(lib.root().size()).find('/') != std::string::npos;
  EXPECT_EQ(kept, sent.size());
  EXPECT_FALSE(std::filesystem::exists("/tmp/evil"));
}
