// Importing files and folders into the library: what is taken and what is
// left out, the defaults of empty texts, the same records as received files,
// files without a UID, files cut short, and the archive road.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/data/importDcm.h"
#include "support_library.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/NSZipTools.h"
#include "tools/dcmfixtures/fixtures.h"
#include "tools/dcmfixtures/library.h"

using libtest::Library;

namespace {

constexpr uint32_t tag(uint16_t g, uint16_t e) { return (uint32_t(g) << 16) | e; }

class Importer {
 public:
  explicit Importer(Library& lib) {
    imp = importDcm::create();
    imp->retain();
    imp->setRootPath(lib.db->getRoot());
  }
  ~Importer() {
    imp->stopWorker();
    imp->release();
  }
  importDcm* imp;
};

const char* kRowsSql =
    "select p.name,p.patientIDHospital,p.sex,p.birthday,s.studyUID,s.studyIDHospital,s.date,s.time,s.studyDesc,"
    "e.seriesUID,e.date,e.time,e.seriesDesc,e.path,i.imageUID,i.instanceID,i.file from image i join series e on "
    "e.ID=i.seriesID join study s on s.ID=e.studyID join patient p on p.ID=s.patientID";

std::set<std::vector<std::string>> asSet(const std::vector<std::vector<std::string>>& rows) {
  return {rows.begin(), rows.end()};
}

// Files of the library tree (no dot-folders, not the database files).
std::vector<std::string> treeFiles(Library& lib) {
  std::vector<std::string> out;
  for (auto& f : libtest::allFiles(lib.root())) {
    std::string rel = f.substr(lib.root().size());
    if (rel[0] == '.' || rel.find('/') == std::string::npos) continue;
    out.push_back(rel);
  }
  return out;
}

}  // namespace

TEST(LibraryImport, FolderOfThreeImagesAndATextFileGivesThreeStoresWithDefaults) {
  Library lib;
  lib.start();
  std::string src = lib.dir + "/src";
  std::filesystem::create_directories(src + "/sub");
  dcmfixtures::writeTagged(src + "/a.dcm", {{tag(0x0010, 0x0010), "NAMED^ONE"}, {tag(0x0008, 0x0018), "1.2.3.1"}});
  // Empty name, ID, sex and instance number take their defaults.
  dcmfixtures::writeTagged(src + "/sub/b.dcm", {{tag(0x0010, 0x0010), ""},
                                                {tag(0x0010, 0x0020), ""},
                                                {tag(0x0010, 0x0040), ""},
                                                {tag(0x0020, 0x0013), ""},
                                                {tag(0x0008, 0x0018), "1.2.3.2"}});
  dcmfixtures::writeTagged(src + "/c.dcm", {{tag(0x0010, 0x0040), "MALE"}, {tag(0x0008, 0x0018), "1.2.3.3"}});
  std::ofstream(src + "/notes.txt") << "not an image\n";
  dcmfixtures::writeTagged(src + "/.hidden.dcm", {{tag(0x0008, 0x0018), "1.2.3.4"}});
  Importer in(lib);
  in.imp->import(src);
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= 3; }));
  lib.drain(6);
  lib.step(30);
  EXPECT_EQ(lib.stored.size(), 3u);
  EXPECT_EQ(lib.count(NOTIFY_PATIENT_ROW_UPDATE), 3u);
  auto r = lib.rows("select p.name,p.patientIDHospital,p.sex,i.instanceID,i.file from image i join series e on "
                    "e.ID=i.seriesID join study s on s.ID=e.studyID join patient p on p.ID=s.patientID where "
                    "i.imageUID='1.2.3.2'");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0], (std::vector<std::string>{"ANONYMOUS", "EmptyID", "U", "0", "1.2.3.2"}));
  EXPECT_EQ(lib.scalar("select sex from patient p join study s on s.patientID=p.ID join series e on "
                       "e.studyID=s.ID join image i on i.seriesID=e.ID where i.imageUID='1.2.3.3'"),
            "MALE");
  // Each copy is byte-equal to its source, and the temporary folder is empty.
  for (auto& [src1, uid] : std::vector<std::pair<std::string, std::string>>{{"/a.dcm", "1.2.3.1"}, {"/sub/b.dcm", "1.2.3.2"}}) {
    std::string rel = lib.scalar("select e.path||i.file from image i join series e on e.ID=i.seriesID where "
                                 "i.imageUID='" + uid + "'");
    EXPECT_EQ(libtest::readAll(lib.root() + rel), libtest::readAll(src + src1)) << rel;
  }
  EXPECT_TRUE(libtest::allFiles(lib.root() + ".import").empty());
}

TEST(LibraryImport, ImportedAndReceivedFilesGiveTheSameRows) {
  std::vector<dcmfixtures::LibraryImage> images;
  std::vector<std::vector<std::string>> imported, received;
  std::vector<std::string> importedFiles, receivedFiles;
  {
    Library lib;
    lib.start();
    images = dcmfixtures::writeLibrary(lib.dir + "/src", 2, 1, 2, 2);
    Importer in(lib);
    in.imp->import(lib.dir + "/src");
    ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= images.size(); }));
    imported = lib.rows(kRowsSql);
    importedFiles = treeFiles(lib);
  }
  {
    Library lib;
    lib.start();
    auto again = dcmfixtures::writeLibrary(lib.dir + "/src", 2, 1, 2, 2);
    std::string cmd = "storescu -aec fernwick 127.0.0.1 4587";
    for (auto& m : again) cmd += " " + m.path;
    ASSERT_EQ(libtest::sh(cmd + " >/dev/null 2>&1"), 0);
    ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= again.size(); }));
    received = lib.rows(kRowsSql);
    receivedFiles = treeFiles(lib);
  }
  EXPECT_EQ(imported.size(), images.size());
  EXPECT_EQ(asSet(imported), asSet(received));
  EXPECT_EQ(std::set<std::string>(importedFiles.begin(), importedFiles.end()),
            std::set<std::string>(receivedFiles.begin(), receivedFiles.end()));
}

TEST(LibraryImport, HostileSetLandsUnderTheRootAndCutFilesLeaveNoTrace) {
  Library lib;
  lib.start();
  auto hostile = dcmfixtures::writeHostileLibrary(lib.dir + "/src");
  size_t whole = 0;
  for (auto& h : hostile) whole += !h.cut;
  Importer in(lib);
  in.imp->import(lib.dir + "/src");
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= whole; }));
  lib.step(60);
  EXPECT_EQ(lib.stored.size(), whole);
  EXPECT_EQ(lib.scalar("select count(*) from image"), std::to_string(whole));
  // The two files without a UID get two rows, named after their content.
  auto noUid = lib.rows("select imageUID,file from image where imageUID like 'noUID_%'");
  ASSERT_EQ(noUid.size(), 2u);
  EXPECT_NE(noUid[0][0], noUid[1][0]);
  for (auto& r : noUid) {
    EXPECT_EQ(r[0], r[1]);
    EXPECT_EQ(r[0].size(), 6u + 16u);
  }
  // Nothing of the cut files: no rows, no files in the tree, no temporaries.
  EXPECT_EQ(treeFiles(lib).size(), whole);
  EXPECT_TRUE(libtest::allFiles(lib.root() + ".import").empty());
  std::string canonicalRoot = std::filesystem::canonical(lib.root()).string() + "/";
  for (auto& rel : treeFiles(lib))
    EXPECT_EQ(std::filesystem::canonical(lib.root() + rel).string().rfind(canonicalRoot, 0), 0u) << rel;
  EXPECT_FALSE(std::filesystem::exists("/tmp/evil"));
  EXPECT_EQ(lib.scalar("select count(*) from patient where name='O''Brien\"; DROP TABLE patient;--'"), "1");
}

TEST(LibraryImport, ArchiveRoadRefusesEscapingEntriesAndImportsTheHostileSet) {
  Library lib;
  lib.start();
  std::string scratch = lib.dir + "/scratch";
  std::filesystem::create_directories(scratch);
  // An archive with an entry that climbs out of the folder it is unpacked in.
  std::string evil = lib.dir + "/evil.zip";
  ASSERT_EQ(libtest::sh("python3 -c \"import zipfile; z=zipfile.ZipFile('" + evil +
                        "','w'); z.writestr('ok.txt','fine'); z.writestr('../escaped.txt','bad'); z.close()\""),
            0);
  EXPECT_FALSE(NSUI::unzipFile(evil, scratch + "/evil", ""));
  EXPECT_FALSE(std::filesystem::exists(scratch + "/escaped.txt"));
  EXPECT_FALSE(std::filesystem::exists(lib.dir + "/escaped.txt"));

  auto hostile = dcmfixtures::writeHostileLibrary(lib.dir + "/src");
  size_t whole = 0;
  for (auto& h : hostile) whole += !h.cut;
  std::string zip = lib.dir + "/hostile.zip";
  ASSERT_EQ(libtest::sh("cd '" + lib.dir + "/src' && python3 -c \"import zipfile,os; z=zipfile.ZipFile('" + zip +
                        "','w'); [z.write(f) for f in sorted(os.listdir('.'))]; z.close()\""),
            0);
  ASSERT_TRUE(NSUI::unzipFile(zip, scratch + "/hostile", ""));
  Importer in(lib);
  in.imp->import(scratch + "/hostile");
  ASSERT_TRUE(lib.pumpUntil([&] { return lib.stored.size() >= whole; }));
  lib.step(30);
  EXPECT_EQ(treeFiles(lib).size(), whole);
  std::string canonicalRoot = std::filesystem::canonical(lib.root()).string() + "/";
  for (auto& rel : treeFiles(lib))
    EXPECT_EQ(std::filesystem::canonical(lib.root() + rel).string().rfind(canonicalRoot, 0), 0u) << rel;
}

TEST(LibraryImport, StopInTheMiddleOfABurstAndAnImportEndsCleanly) {
  Library lib;
  lib.start();
  auto images = dcmfixtures::writeLibrary(lib.dir + "/src", 1, 2, 2, 50);
  auto burst = dcmfixtures::writeLibrary(lib.dir + "/burst", 2, 1, 1, 50);
  std::string cmd = "storescu -aec fernwick 127.0.0.1 4587";
  for (auto& m : burst) cmd += " " + m.path;
  std::thread sender([cmd] { libtest::sh(cmd + " >/dev/null 2>&1"); });
  {
    Importer in(lib);
    in.imp->import(lib.dir + "/src");
    lib.pumpUntil([&] { return lib.stored.size() >= 40; });
    // The library stops first, with stores queued; then the import.
    lib.stop();
    in.imp->stopWorker();
  }
  sender.join();
  lib.step(10);
  // Whatever was acknowledged or copied is recorded at the next start.
  lib.stored.clear();
  lib.start();
  size_t files = treeFiles(lib).size();
  EXPECT_TRUE(lib.pumpUntil([&] { return lib.scalar("select count(*) from image") == std::to_string(files); }));
  lib.stop();
  EXPECT_FALSE(std::filesystem::exists(lib.root() + ".running"));
}

// Files are described and copied ahead of the one being placed: a stop in
// the middle must take those copies away and leave every file of the tree
// announced, so that the run ends clean.
TEST(LibraryImport, StoppedImportLeavesNoCopyBehindAndEveryPlacedFileListed) {
  Library lib;
  lib.start();
  dcmfixtures::writeLibrary(lib.dir + "/src", 1, 1, 2, 200);
  {
    Importer in(lib);
    in.imp->import(lib.dir + "/src");
    lib.pumpUntil([&] { return lib.stored.size() >= 20; });
    in.imp->stopWorker();
  }
  std::vector<std::string> left;
  for (auto& f : libtest::allFiles(lib.root() + ".import")) left.push_back(f);
  EXPECT_TRUE(left.empty()) << left.size() << " copies left, the first " << left.front();
  const size_t files = treeFiles(lib).size();
  EXPECT_GE(files, 20u);
  EXPECT_TRUE(lib.pumpUntil([&] { return lib.scalar("select count(*) from image") == std::to_string(files); }));
  lib.stop();
  EXPECT_FALSE(std::filesystem::exists(lib.root() + ".running"));
}
