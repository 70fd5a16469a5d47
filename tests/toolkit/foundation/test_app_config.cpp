// The settings singleton: first-run and version bookkeeping, the
// application identifier, the service base address and the singleton's end.
#include "toolkit/foundation/AppConfig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSHash.h"
#include "toolkit/foundation/NSGlobals.h"
#include "toolkit/foundation/UILocalConfig.h"

namespace fs = std::filesystem;
using cocos2d::FileUtils;
using cocos2d::UserDefault;
using NSUI::UILocalConfig;

namespace {

const char* const kKeys[] = {"app_current_version", "app_install_time", "app_init_db", "app_identifier"};

std::string localTimeText(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

class AppConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "appconfig-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern + "/";
    FileUtils::getInstance()->setWritablePath(folder);
    UserDefault::destroyInstance();
  }
  void TearDown() override {
    UserDefault::destroyInstance();
    FileUtils::destroyInstance();
    fs::remove_all(folder);
    unsetenv("FW_SERVICE_URL");
  }
  static std::map<std::string, std::string> stored() {
    std::map<std::string, std::string> m;
    for (const char* key : kKeys) m[key] = UILocalConfig::getStringForKey(key, "<none>");
    return m;
  }
  std::string folder;
};

}  // namespace

TEST_F(AppConfigTest, FirstRunWritesTheFourKeysAndALaterRunNone) {
  const std::time_t before = std::time(nullptr);
  auto* config = new AppConfig;
  EXPECT_TRUE(config->init());
  const std::time_t after = std::time(nullptr);
  auto keys = stored();
  EXPECT_EQ(keys["app_current_version"], "2.5");
  EXPECT_EQ(keys["app_init_db"], "1");
  // The install time and the identifier's seed are the local time of the run.
  bool timeMatches = false, identifierMatches = false;
  for (std::time_t t = before; t <= after; ++t) {
    timeMatches |= keys["app_install_time"] == localTimeText(t);
    const std::string seed = cocos2d::Device::getDeviceInfo() + localTimeText(t);
    identifierMatches |= keys["app_identifier"] == std::to_string(NSUI::foldedHash(seed));
  }
  EXPECT_TRUE(timeMatches) << keys["app_install_time"];
  EXPECT_TRUE(identifierMatches) << keys["app_identifier"];
  EXPECT_EQ(config->getAppIdentifier(), keys["app_identifier"]);
  config->release();

  // A later run: nothing is written again (a changed value stays changed).
  UILocalConfig::setStringForKeyNoFlush("app_init_db", "0");
  keys = stored();
  auto* again = new AppConfig;
  again->init();
  EXPECT_EQ(stored(), keys);
  EXPECT_EQ(again->getAppIdentifier(), keys["app_identifier"]);
  again->release();
}

TEST_F(AppConfigTest, AnOlderVersionIsReplacedAndNothingElseChanges) {
  UILocalConfig::setStringForKeyNoFlush("app_current_version", "2.4");
  UILocalConfig::setStringForKeyNoFlush("app_install_time", "2017-08-05 09:03:07");
  UILocalConfig::setStringForKeyNoFlush("app_init_db", "0");
  UILocalConfig::setStringForKeyNoFlush("app_identifier", "not even a number");
  auto* config = new AppConfig;
  config->init();
  auto keys = stored();
  EXPECT_EQ(keys["app_current_version"], "2.5");
  EXPECT_EQ(keys["app_install_time"], "2017-08-05 09:03:07");
  EXPECT_EQ(keys["app_init_db"], "0");
  EXPECT_EQ(keys["app_identifier"], "not even a number");
  EXPECT_EQ(config->getAppIdentifier(), "not even a number");
  config->release();
}

TEST_F(AppConfigTest, DefaultsAndTheServiceAddress) {
  struct Case {
    const char* env;  // null: unset
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, "https://127.0.0.1:9"},
      {"", "https://127.0.0.1:9"},
      {"https://127.0.0.1:4443", "https://127.0.0.1:4443"},
      {"https://127.0.0.1:4443//", "https://127.0.0.1:4443"},  // paths begin with "/"
  };
  for (const Case& c : cases) {
    if (c.env) setenv("FW_SERVICE_URL", c.env, 1);
    else unsetenv("FW_SERVICE_URL");
    auto* config = new AppConfig;
    EXPECT_EQ(config->getServerUrl(), c.expected) << (c.env ? c.env : "(unset)");
    EXPECT_EQ(NSUI::getServerUrl(), c.expected);
    EXPECT_EQ(config->winSize, cocos2d::Size(960, 640));
    EXPECT_EQ(*config->getDesignSize(), cocos2d::Size(960, 640));
    EXPECT_FALSE(config->phoneLayout);
    EXPECT_EQ(config->getVersion(), "2.5");
    EXPECT_EQ(config->languageTable.fileName, "language.dat");
    config->release();
  }
}

// The singleton is made once; once it has gone (the teardown's release) no
// second one is made and the table it held stops answering.
TEST_F(AppConfigTest, TheSingletonGoesForGood) {
  FileUtils::getInstance()->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
  AppConfig* config = AppConfig::getInstance();
  ASSERT_NE(config, nullptr);
  config->retain();  // the delegate's reference
  EXPECT_EQ(AppConfig::getInstance(), config);
  cocos2d::PoolManager::getInstance()->getCurrentPool()->clear();
  EXPECT_EQ(AppConfig::getInstance(), config);
  config->languageTable.load();
  NSUI::setLocalizedStringTable(&config->languageTable);
  std::string& name = config->getLocalizedString("appName");
  EXPECT_EQ(name, "Fernwick");
  EXPECT_EQ(NSUI::getLocalizedString("appName"), "Fernwick");

  config->release();
  EXPECT_EQ(AppConfig::getInstance(), nullptr);
  EXPECT_EQ(AppConfig::getInstance(), nullptr);
  EXPECT_EQ(NSUI::getLocalizedString("appName"), "");
}
