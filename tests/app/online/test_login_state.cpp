// The login state read back from the settings store.
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "app/online/login.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/UILocalConfig.h"

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

}  // namespace
