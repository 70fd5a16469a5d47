// Favourite and neighbour rows: captures and saved favourites announced by
// notification, the marker of a run, paths outside the writable path, and
// neighbours with hostile names.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support_library.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

using libtest::Library;

namespace {

void post(int id, const std::string& text, int intValue = 0, float floatValue = 0) {
  auto* d = new NSUI::NSNotificationData();
  d->text = text;
  d->intValue = intValue;
  d->floatValue = floatValue;
  NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, id, d, nullptr, false);
  d->release();
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
  ASSERT_TRUE(lib.db->deleteFavorite(2));
  EXPECT_EQ(lib.scalar("select count(*) from favorite where ID=2"), "0");
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
