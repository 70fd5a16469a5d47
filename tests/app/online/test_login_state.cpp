// The login state read back from the settings store.
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "app/online/login.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"

#include <ctime>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

class LoginState : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = (fs::temp_directory_path() / ("fwlogin-" + std::to_string(getpid()))).string() + "/";
    fs::remove_all(folder);
    fs::create_directories(folder);
    cocos2d::FileUtils::getInstance()->setWritablePath(folder);
    cocos2d::UserDefault::destroyInstance();
  }
  void TearDown() override {
    cocos2d::UserDefault::destroyInstance();
    cocos2d::FileUtils::destroyInstance();
    fs::remove_all(folder);
  }
  std::string folder;
};

TEST_F(LoginState, ReadsBothSettingsWithZeroWhenAbsent) {
  std::string logged = "x", id = "x";
  login::readLoginState(logged, id);
  EXPECT_EQ(logged, "0");
  EXPECT_EQ(id, "0");

  // Written as an integer by the account panel, read back as text.
  NSUI::UILocalConfig::setIntegerForKey("app_logined", 1);
  NSUI::UILocalConfig::setStringForKey("app_login_id", "u-4711");
  login::readLoginState(logged, id);
  EXPECT_EQ(logged, "1");
  EXPECT_EQ(id, "u-4711");

  // A log out writes "0" and leaves the id.
  NSUI::UILocalConfig::setStringForKey("app_logined", "0");
  cocos2d::UserDefault::destroyInstance();  // read from the file again
  login::readLoginState(logged, id);
  EXPECT_EQ(logged, "0");
  EXPECT_EQ(id, "u-4711");
}

TEST_F(LoginState, LoginTimestampComesFromTheCacheTheSettingOrNow) {
  login::setLoginTimestampCache(0);
  const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
  const uint32_t first = login::getLoginTimestamp();
  EXPECT_GE(first, before);
  EXPECT_LE(first, before + 5);
  // Taken once: a setting written later does not change it.
  NSUI::UILocalConfig::setStringForKey("app_login_timestamp", "1700000000");
  EXPECT_EQ(login::getLoginTimestamp(), first);

  // Without a cached value the setting answers, and is then kept.
  login::setLoginTimestampCache(1);
  EXPECT_EQ(login::getLoginTimestamp(), 1700000000u);
  NSUI::UILocalConfig::setStringForKey("app_login_timestamp", "5");
  EXPECT_EQ(login::getLoginTimestamp(), 1700000000u);
  login::setLoginTimestampCache(0);
}

TEST_F(LoginState, LogoutIsAnnouncedAfterTheStateIsWritten) {
  NSUI::UILocalConfig::setIntegerForKey("app_logined", 1);
  NSUI::UILocalConfig::setStringForKey("app_login_id", "u-9");
  std::vector<std::pair<int, std::string>> seen;
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  centre->addObserver(
      this, nullptr,
      [&](cocos2d::Ref* sender, unsigned int, NSUI::NSNotificationData* data) {
        EXPECT_EQ(sender, nullptr);
        seen.emplace_back(data ? data->intValue : 0, NSUI::UILocalConfig::getStringForKey("app_logined", ""));
      },
      NOTIFY_LOGIN_STATE);
  login::logout();
  EXPECT_TRUE(seen.empty());  // delivered at a later frame
  for (int i = 0; i < 60; ++i) cocos2d::Director::getInstance()->stepFrame(1.0f / 60);
  centre->removeAllObservers(this);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], std::make_pair(-1, std::string("0")));
  std::string logged, id;
  login::readLoginState(logged, id);
  EXPECT_EQ(logged, "0");
  EXPECT_EQ(id, "u-9");
}

}  // namespace
