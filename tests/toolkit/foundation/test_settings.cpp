#include "toolkit/foundation/UILocalConfig.h"

#include "engine/cocos2d.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using cocos2d::FileUtils;
using cocos2d::UserDefault;
using NSUI::UILocalConfig;

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern + "/";
        FileUtils::getInstance()->setWritablePath(folder);
        UserDefault::destroyInstance();
    }
    void TearDown() override
    {
        UserDefault::destroyInstance();
        FileUtils::destroyInstance();
        fs::remove_all(folder);
    }
    // Reopens the store from its file.
    void reopen() { UserDefault::destroyInstance(); }
    std::string fileText() const
    {
        std::ifstream in(UserDefault::getInstance()->getFilePath());
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string folder;
};

}  // namespace

TEST_F(Settings, ValuesPersistAcrossAReopen)
{
    struct Case { const char* name; std::string value; bool flush; };
    const Case cases[] = {
        {"app_current_version", "2.5", true},
        {"app_install_time", "2017-08-05 09:03:07", false},
        {"patient name", "M\xC3\xBCller^Ren\xC3\xA9", true},
        {"emptied", "", true},
        {"binary-ish", std::string("a\x01\x7f\xff"), true},
    };
    for (const Case& c : cases) {
        if (c.flush)
            UILocalConfig::setStringForKey(c.name, c.value);
        else
            UILocalConfig::setStringForKeyNoFlush(c.name, c.value);
    }
    UILocalConfig::setIntegerForKey("app_init_db", -17);

    // Flushed writes are on disk before the reopen, as base64 of the value
    // under base64 of the name.
    const std::string onDisk = fileText();
    EXPECT_NE(onDisk.find(cocos2d::safeBase64EncodeString(std::string("app_current_version"))), std::string::npos);
    EXPECT_NE(onDisk.find(cocos2d::safeBase64EncodeString(std::string("2.5"))), std::string::npos);

    reopen();
    for (const Case& c : cases)
        EXPECT_EQ(UILocalConfig::getStringForKey(c.name, "default"), c.value) << c.name;
    EXPECT_EQ(UILocalConfig::getIntegerForKey("app_init_db", 5), -17);
}

TEST_F(Settings, DefaultsAndOddValues)
{
    EXPECT_EQ(UILocalConfig::getStringForKey("never", "fallback"), "fallback");
    EXPECT_EQ(UILocalConfig::getIntegerForKey("never", -1), -1);
    EXPECT_EQ(UILocalConfig::getStringForKey("", "fallback"), "fallback");
    EXPECT_EQ(UILocalConfig::getStringForKey(nullptr, "fallback"), "fallback");

    UILocalConfig::setStringForKey("", "x");
    UILocalConfig::setStringForKeyNoFlush("", "x");
    EXPECT_FALSE(UserDefault::getInstance()->hasKey(""));

    // A stored value whose encoded text equals the caller's default is still
    // decoded: "v" is stored as "dg==".
    UILocalConfig::setStringForKey("short", "v");
    EXPECT_EQ(UILocalConfig::getStringForKey("short", "dg=="), "v");

    UILocalConfig::setStringForKey("word", "abc");
    EXPECT_EQ(UILocalConfig::getIntegerForKey("word", 9), 0);
    UILocalConfig::setStringForKey("number", "42 apples");
    EXPECT_EQ(UILocalConfig::getIntegerForKey("number", 9), 42);

    // A value that is not base64 reads as "".
    const std::string key = cocos2d::safeBase64EncodeString(std::string("broken"));
    UserDefault::getInstance()->setStringForKey(key.c_str(), "not*base64");
    EXPECT_EQ(UILocalConfig::getStringForKey("broken", "fallback"), "");
    // A decoded value ends at its first zero byte.
    UserDefault::getInstance()->setStringForKey(key.c_str(), cocos2d::safeBase64EncodeString(std::string("ab\0cd", 5)));
    EXPECT_EQ(UILocalConfig::getStringForKey("broken", "fallback"), "ab");
}

TEST_F(Settings, FullDicomInformationIsOffOnlyForExactlyZero)
{
    // Never written: the default "0", the short texts.
    EXPECT_FALSE(NSUI::getShowDcmFullInfo());
    struct Case { std::string stored; bool full; };
    const Case cases[] = {
        {"0", false}, {"1", true}, {"", true}, {"00", true}, {" 0", true}, {"0 ", true}, {"no", true},
    };
    for (const Case& c : cases) {
        UILocalConfig::setStringForKey(NSUI::kShowDcmFullInfoSetting, c.stored);
        reopen();  // read back from the file, as at the next start
        EXPECT_EQ(NSUI::getShowDcmFullInfo(), c.full) << '"' << c.stored << '"';
    }
    // Stored under the base64 name with a base64 value, like every setting.
    UILocalConfig::setStringForKey("sdk_show_dcmFullInfo", "1");
    const std::string key = cocos2d::safeBase64EncodeString(std::string("sdk_show_dcmFullInfo"));
    EXPECT_EQ(UserDefault::getInstance()->getStringForKey(key.c_str(), ""), cocos2d::safeBase64EncodeString(std::string("1")));
}
