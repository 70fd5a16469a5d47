// The settings store: persistence, hasKey, concurrent writers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "support_engine.h"

USING_NS_CC;

namespace {
class UserDefaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UserDefault::destroyInstance();
    FileUtils::getInstance()->setWritablePath(dir.path);
  }
  void TearDown() override {
    UserDefault::destroyInstance();
    FileUtils::getInstance()->setWritablePath("");
  }
  static UserDefault* reopen() {
    UserDefault::destroyInstance();
    return UserDefault::getInstance();
  }
  TempDir dir;
};
}  // namespace

TEST_F(UserDefaultTest, ValuesSurviveFlushAndReopen) {
  auto* ud = UserDefault::getInstance();
  EXPECT_EQ(ud->getFilePath(), dir.path + "UserDefault.xml");
  const std::pair<std::string, std::string> entries[] = {
      {"YXBwX2luaXRfZGI=", "MQ=="},            // base64 text, as the settings layer writes
      {"plain", "with <xml> & \"quotes\""},
      {"spaces", "  "},
      {"empty", ""},
      {"multi", "line1\nline2\ttab"},
      {"utf8", "Ünïcødé 中文"},
  };
  for (const auto& [k, v] : entries) ud->setStringForKey(k.c_str(), v);
  ud->setIntegerForKey("int", -7);
  ud->setDoubleForKey("dbl", 0.1);
  ud->setBoolForKey("flag", true);
  EXPECT_TRUE(ud->flush());
  struct stat st;
  ASSERT_EQ(stat((dir.path + "UserDefault.xml").c_str(), &st), 0);

  ud = reopen();
  for (const auto& [k, v] : entries) EXPECT_EQ(ud->getStringForKey(k.c_str(), "default"), v) << k;
  EXPECT_EQ(ud->getIntegerForKey("int", 5), -7);
  EXPECT_DOUBLE_EQ(ud->getDoubleForKey("dbl"), 0.1);
  EXPECT_TRUE(ud->getBoolForKey("flag"));
  EXPECT_EQ(ud->getStringForKey("never", "def"), "def");
  EXPECT_EQ(ud->getIntegerForKey("never", -1), -1);
}

TEST_F(UserDefaultTest, HasKeyTellsStoredValueEqualToDefaultFromMissing) {
  auto* ud = UserDefault::getInstance();
  ud->setStringForKey("k", "same");
  EXPECT_TRUE(ud->hasKey("k"));
  EXPECT_FALSE(ud->hasKey("other"));
  EXPECT_EQ(ud->getStringForKey("k", "same"), "same");
  ud->deleteValueForKey("k");
  EXPECT_FALSE(ud->hasKey("k"));
  ud->setStringForKey("e", "");
  EXPECT_TRUE(reopen()->hasKey("e"));
}

TEST_F(UserDefaultTest, UnflushedWritesAreNotOnDiskUntilFlush) {
  auto* ud = UserDefault::getInstance();
  ud->setStringForKey("a", "1");
  ud->flush();
  ud->setStringForKey("a", "2");
  // Another reader of the file still sees the flushed value.
  std::string content = FileUtils::getInstance()->getStringFromFile(dir.path + "UserDefault.xml");
  EXPECT_NE(content.find(">1<"), std::string::npos);
  EXPECT_EQ(content.find(">2<"), std::string::npos);
  ud->flush();
  EXPECT_EQ(reopen()->getStringForKey("a"), "2");
  // No temporary files are left behind.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST_F(UserDefaultTest, DamagedFileStartsEmptyAndIsReplacedOnFlush) {
  writeFile(dir.path + "UserDefault.xml", "<userDefaultRoot><item key=\"a\">trunc");
  auto* ud = reopen();
  EXPECT_FALSE(ud->hasKey("a"));
  ud->setStringForKey("b", "ok");
  EXPECT_TRUE(ud->flush());
  EXPECT_EQ(reopen()->getStringForKey("b"), "ok");
}

TEST_F(UserDefaultTest, TwoWritersLoseNothing) {
  constexpr int kPer = 200;
  std::vector<std::thread> writers;
  for (int w = 0; w < 2; ++w)
    writers.emplace_back([w] {
      auto* ud = UserDefault::getInstance();
      for (int i = 0; i < kPer; ++i) {
        std::string key = "w" + std::to_string(w) + "_" + std::to_string(i);
        ud->setStringForKey(key.c_str(), std::to_string(i * 3));
        if (i % 20 == 0) ud->flush();
        (void)ud->getStringForKey("w0_0");
      }
      ud->flush();
    });
  for (auto& t : writers) t.join();
  auto* ud = reopen();
  for (int w = 0; w < 2; ++w)
    for (int i = 0; i < kPer; ++i) {
      std::string key = "w" + std::to_string(w) + "_" + std::to_string(i);
      ASSERT_EQ(ud->getStringForKey(key.c_str()), std::to_string(i * 3)) << key;
    }
}
