// Favourite and neighbour rows: captures and saved favourites announced by
// notification, the marker of a run, paths outside the writable path, and
// neighbours with hostile names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "support_library.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

using libtest::Library;

namespace {

// Every favourite plays a sound: the whole program uses the silent driver, so
// the device opened by the first favourite is one that exists everywhere.
const bool kSilentAudio = setenv("SDL_AUDIODRIVER", "dummy", 1) == 0;

void post(int id, const std::string& text, int intValue = 0, float floatValue = 0) {
  auto* d = new NSUI::NSNotificationData();
  d->text = text;
  d->intValue = intValue;
  d->floatValue = floatValue;
  NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, id, d, nullptr, false);
  d->release();
}

// A picture of the given size in the capture folder of the writable path.
std::string writePicture(const Library& lib, int width, int height) {
  std::filesystem::create_directories(lib.writable + "capture");
  std::string path = lib.writable + "capture/" + std::to_string(width) + "x" + std::to_string(height) + ".png";
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4, 0x80);
  auto* image = new cocos2d::Image();
  bool ok = image->initWithRawData(pixels.data(), static_cast<ssize_t>(pixels.size()), width, height, 8) &&
            image->saveToFile(path, false);
  image->release();
  return ok ? path : std::string();
}

using Rows = std::vector<std::vector<std::string>>;

Rows favouriteList(Library& lib) {
  Rows out;
  bool called = false;
  lib.db->queryFavorites([&](NSUI::NSDBDataModel* m) {
    called = true;
    for (int r = 0; r < m->getRowCount(); ++r) {
      std::vector<std::string> row;
      for (int c = 0; c < m->getColumnCount(r); ++c) row.push_back(m->getValue(r, c));
      out.push_back(row);
    }
  });
  lib.pumpUntil([&] { return called; }, 10);
  return out;
}

}  // namespace

TEST(LibraryFavorites, CapturesAndFavouritesBecomeRows) {
  Library lib;
  lib.start();
  std::vector<std::pair<int, float>> added;
  NSUI::NSNotificationCenter::getInstance()->addObserver(
      &added, nullptr,
      [&](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* d) { added.emplace_back(d->intValue, d->floatValue); },
      NOTIFY_FAVOURITE_ADDED);
  std::string capture = lib.writable + "capture/missing.jpg";
  post(NOTIFY_CAPTURE_SAVED, capture);
  lib.step(5);
  // The first favourite of the run comes after a marker, with consecutive IDs.
  auto rows = lib.rows("select ID,type,image,printf('%.2f',scale) from favorite order by ID");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "3", "", "1.00"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "1", "capture/missing.jpg", "1.00"}));
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(added[0].first, 2);
  // A second capture: one row. A saved favourite with its own scale.
  post(NOTIFY_CAPTURE_SAVED, capture);
  post(NOTIFY_FAVOURITE_SAVED, lib.writable + "fav/a.dcm", 0, 0.75f);
  // Integer 100 asks the file for its scale; an unreadable file gives 1.
  post(NOTIFY_FAVOURITE_SAVED, lib.writable + "fav/none.dcm", 100, 0.5f);
  // Outside the writable path: no row, but counted.
  post(NOTIFY_CAPTURE_SAVED, "/elsewhere/capture.jpg");
  lib.step(10);
  EXPECT_EQ(lib.scalar("select count(*) from favorite"), "5");
  EXPECT_EQ(lib.scalar("select printf('%.2f',scale) from favorite where image='fav/a.dcm'"), "0.75");
  EXPECT_EQ(lib.scalar("select printf('%.2f',scale) from favorite where image='fav/none.dcm'"), "1.00");
  EXPECT_EQ(lib.db->favoriteCount, 5);
  EXPECT_EQ(added.size(), 2u);
  // Deleting a favourite takes its detail rows, and only its own.
  ASSERT_EQ(libtest::sh("sqlite3 '" + lib.file() +
                        "' \"insert into favoriteDetail(type,image,favoriteID) values (1,'a',2),(1,'b',2),(1,'c',4);\""),
            0);
  ASSERT_TRUE(lib.db->deleteFavorite(2));
  EXPECT_EQ(lib.scalar("select count(*) from favorite where ID=2"), "0");
  EXPECT_EQ(lib.scalar("select group_concat(image) from favoriteDetail"), "c");
  EXPECT_EQ(lib.scalar("select count(*) from favorite"), "4");
  NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&added);
}

TEST(LibraryFavorites, NeighboursKeepOneRowPerApplicationAndHostileNames) {
  Library lib;
  lib.start();
  const std::string hostile = "x\"); DROP TABLE neighbor;--";
  lib.db->saveNeighbor(4, "first", "127.0.0.2", "4587", "app-1");
  lib.db->saveNeighbor(5, hostile, "127.0.0.3", "104", "app-1");
  std::vector<dcmNeighbor> list;
  lib.db->getNeighbors(list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, hostile);
  EXPECT_EQ(list[0].device, 5);
  EXPECT_EQ(list[0].ip, "127.0.0.3");
  EXPECT_EQ(list[0].port, "104");
  EXPECT_EQ(list[0].saveType, 3);
  EXPECT_EQ(list[0].lastTime, "");
  lib.db->resetNeighborTime("app-1");
  lib.db->getNeighbors(list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].wifi.substr(10), " 00:00:00");
}

// The scale of a capture is its picture's width / height, written and read
// back with two decimals at most; the list gives it in that text.
TEST(LibraryFavorites, CaptureScaleFollowsThePicture) {
  struct Case {
    int width, height;
    const char* scale;
    float value;
  };
  for (const Case& c : {Case{1024, 768, "1.33", 1024.0f / 768.0f}, Case{800, 800, "1", 1.0f}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    Library lib;
    lib.start();
    std::string path = writePicture(lib, c.width, c.height);
    ASSERT_FALSE(path.empty());
    std::vector<float> added;
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        &added, nullptr, [&](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* d) { added.push_back(d->floatValue); },
        NOTIFY_FAVOURITE_ADDED);
    post(NOTIFY_CAPTURE_SAVED, path);
    lib.step(5);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_FLOAT_EQ(added[0], c.value);
    // The list: marker first, then the capture; 7 values, the writable path
    // in front of the stored relative path.
    Rows list = favouriteList(lib);
    ASSERT_EQ(list.size(), 2u);
    ASSERT_EQ(list[1].size(), 7u);
    EXPECT_EQ(list[0][1], "3");
    EXPECT_EQ(list[0][6], "1");
    EXPECT_EQ(list[1][0], "2");
    EXPECT_EQ(list[1][1], "1");
    EXPECT_EQ(list[1][4], path);
    EXPECT_EQ(list[1][6], c.scale);
    EXPECT_EQ(lib.scalar("select image from favorite where ID=2"), path.substr(lib.writable.size()));
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&added);
  }
}

// A library that could not be opened records nothing and announces nothing,
// but the run still counts the favourite.
TEST(LibraryFavorites, ClosedLibraryCountsButRecordsNothing) {
  Library lib;
  std::filesystem::create_directories(lib.root());
  ASSERT_EQ(libtest::sh("sqlite3 '" + lib.file() +
                        "' 'create table version (ID integer primary key autoincrement,version integer);'"),
            0);
  lib.start();
  ASSERT_FALSE(lib.db->isOpen);
  int added = 0;
  NSUI::NSNotificationCenter::getInstance()->addObserver(
      &added, nullptr, [&](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData*) { ++added; }, NOTIFY_FAVOURITE_ADDED);
  std::string path = writePicture(lib, 64, 32);
  ASSERT_FALSE(path.empty());
  post(NOTIFY_CAPTURE_SAVED, path);
  post(NOTIFY_FAVOURITE_SAVED, lib.writable + "fav/a.dcm", 0, 0.5f);
  lib.step(5);
  EXPECT_EQ(added, 0);
  EXPECT_EQ(lib.db->favoriteCount, 2);
  EXPECT_EQ(lib.scalar("select count(*) from sqlite_master where name='favorite'"), "0");
  NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&added);
}

// A favourite sounds the shell's sound; on a machine without audio output
// (the dummy driver) the call still finds and starts it.
TEST(LibraryFavorites, RecordedCapturePlaysTheShellSound) {
  ASSERT_TRUE(kSilentAudio);
  auto* files = cocos2d::FileUtils::getInstance();
  files->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
  ASSERT_TRUE(std::filesystem::exists(files->fullPathForFilename("res/waterfall.wav")));
  auto* audio = cocos2d::SimpleAudioEngine::getInstance();
  audio->stopAllEffects();
  Library lib;
  lib.start();
  std::string path = writePicture(lib, 32, 32);
  ASSERT_FALSE(path.empty());
  post(NOTIFY_CAPTURE_SAVED, path);
  lib.step(2);
  EXPECT_EQ(lib.scalar("select count(*) from favorite where type=1"), "1");
  ASSERT_TRUE(audio->hasDevice());
  EXPECT_EQ(audio->getPlayingEffectCount(), 1);
  audio->stopAllEffects();
}
