// Opening the library: the folder, the file, the schema and its version, the
// indexes and WAL, and the storage server, which refuses images while the
// file cannot be used.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support_library.h"
#include "tools/dcmfixtures/library.h"

using libtest::Library;

namespace {

const std::vector<std::pair<std::string, std::string>> kSchema = {
    {"version", "create table version (ID integer primary key autoincrement,version integer)"},
    {"patient",
     "create table patient (ID integer primary key autoincrement,name TEXT,sex  TEXT,birthday TEXT,"
     "patientIDHospital TEXT,updateTime TEXT)"},
    {"study",
     "create table study (ID integer primary key autoincrement,patientID integer,studyUID TEXT,studyIDHospital TEXT,"
     "studyDesc TEXT,date TEXT,time TEXT,updateTime TEXT)"},
    {"series",
     "create table series (ID integer primary key autoincrement,studyID integer,seriesUID TEXT,date TEXT,time TEXT,"
     "studyDesc,SeriesDesc TEXT,updateTime TEXT,path TEXT)"},
    {"image", "create table image (ID integer primary key autoincrement,seriesID integer,imageUID TEXT,instanceID TEXT,file TEXT)"},
    {"neighbor",
     "create table neighbor (ID integer primary key autoincrement,device integer,ip TEXT,port TEXT,name TEXT,"
     "saveType integer,lastTime TEXT,wifi TEXT,appid TEXT)"},
    {"favorite",
     "create table favorite (ID integer primary key autoincrement,type integer,message TEXT,icon TEXT,image TEXT,"
     "valid integer,updateTime datetime,scale float)"},
    {"favoriteDetail",
     "create table favoriteDetail (ID integer primary key autoincrement,type integer,message TEXT,icon TEXT,"
     "image TEXT,valid integer,updateTime datetime,scale float,favoriteID integer not null)"},
};

// SQLite keeps the statement as given, except that it spells the leading
// "create table" in capitals.
std::string stored(const std::string& create) { return "CREATE TABLE" + create.substr(12); }

bool echoAnswered() {
  return libtest::sh("echoscu -aec fernwick 127.0.0.1 4587 >/dev/null 2>&1") == 0;
}

// Writes an existing library file by the sqlite3 shell.
void prepare(Library& lib, const std::string& sql) {
  std::filesystem::create_directories(lib.root());
  ASSERT_EQ(libtest::sh("sqlite3 '" + lib.file() + "' \"" + sql + "\""), 0);
}

}  // namespace

TEST(LibraryOpen, EmptyWritablePathGetsFolderFileSchemaAndServer) {
  Library lib;
  lib.start();
  ASSERT_TRUE(lib.db->isOpen);
  EXPECT_EQ(lib.db->getRoot(), lib.root());
  EXPECT_EQ(lib.db->dbFolder, lib.root());
  EXPECT_TRUE(std::filesystem::is_regular_file(lib.file()));
  for (auto& [name, sql] : kSchema)
    EXPECT_EQ(lib.scalar("select sql from sqlite_master where type='table' and name='" + name + "'"), stored(sql)) << name;
  EXPECT_EQ(lib.scalar("select group_concat(version) from version"), "4");
  EXPECT_EQ(lib.scalar("select count(*) from sqlite_master where type='index' and sql is not null"), "5");
  EXPECT_EQ(lib.scalar("pragma journal_mode"), "wal");
  EXPECT_TRUE(echoAnswered());
  lib.stop();
  EXPECT_FALSE(echoAnswered());
  // A clean stop leaves no run marker.
  EXPECT_FALSE(std::filesystem::exists(lib.root() + ".running"));
}

TEST(LibraryOpen, VersionThreeWithoutFavoriteDetailIsUpgraded) {
  Library lib;
  std::string sql;
  for (auto& [name, create] : kSchema)
    if (name != "favoriteDetail") sql += create + ";";
  sql += "insert into version(version) values (3);"
         "insert into patient(name,patientIDHospital) values ('KEPT','K1');";
  prepare(lib, sql);
  lib.start();
  ASSERT_TRUE(lib.db->isOpen);
  EXPECT_EQ(lib.scalar("select group_concat(version) from version"), "4");
  EXPECT_EQ(lib.scalar("select sql from sqlite_master where name='favoriteDetail'"), stored(kSchema.back().second));
  EXPECT_EQ(lib.scalar("select name from patient"), "KEPT");
}

TEST(LibraryOpen, NewerVersionIsLeftAsItIs) {
  Library lib;
  std::string sql;
  for (auto& [name, create] : kSchema) sql += create + ";";
  sql += "insert into version(version) values (5);";
  prepare(lib, sql);
  lib.start();
  EXPECT_TRUE(lib.db->isOpen);
  EXPECT_EQ(lib.scalar("select group_concat(version) from version"), "5");
}

TEST(LibraryOpen, EmptyVersionTableLeavesTheLibraryClosedAndRefusesStores) {
  Library lib;
  prepare(lib, kSchema[0].second + ";");
  lib.start();
  EXPECT_FALSE(lib.db->isOpen);
  EXPECT_TRUE(echoAnswered());
  auto files = dcmfixtures::writeLibrary(lib.dir + "/src", 1, 1, 1, 3);
  std::string cmd = "storescu -aec fernwick 127.0.0.1 4587";
  for (auto& f : files) cmd += " " + f.path;
  EXPECT_NE(libtest::sh(cmd + " >/dev/null 2>&1"), 0);
  lib.step(30);
  // Nothing but the file and the server's own folders.
  for (auto& f : libtest::allFiles(lib.root()))
    EXPECT_EQ(f.substr(lib.root().size(), 7), "dicomDB") << f;
  EXPECT_TRUE(lib.posts.empty());
  EXPECT_EQ(lib.scalar("select count(*) from sqlite_master where name='patient'"), "0");
}
