// The update service and the new-version notice against the local stand-in
// of the web service, in one writable folder across several starts: which
// folder is active, what the spare becomes, what the settings record, when
// the cycle ends, and when the new-version page opens.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/online/adsApplication.h"
#include "app/online/updateService.h"
#include "engine/base/base64.h"
#include "engine/cocos2d.h"
#include "online_fixture.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSGlobals.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/foundation/standin.h"

namespace {

namespace fs = std::filesystem;
using NSUI::UILocalConfig;
using Event = cocos2d::extension::EventAssetsManagerEx;

// The program object the browser call needs.
struct TestApplication : cocos2d::Application {
  bool applicationDidFinishLaunching() override { return true; }
};

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

class UpdateService : public onlinetest::OnlineTest {
 protected:
  void SetUp() override {
    OnlineTest::SetUp();
    cocos2d::FileUtils::getInstance()->setSearchPaths({});
    service->control("version", R"({"version":"2.5"})");
    service->control("assets", R"({"folder":""})");
    for (const char* p : {"/ud/u.php", "/ud/cv2.php", "/pkg/imgs/logo.png"}) service->force(p, "");
  }

  // A package of two assets: a picture and the configuration "c.i".
  std::string makePackage(const std::string& config) {
    const std::string pkg = folder + "package/";
    writeFile(pkg + "imgs/logo.png", "new logo");
    writeFile(pkg + "c.i", cocos2d::safeBase64EncodeString(config.data(), config.size()));
    service->control("assets", "{\"folder\":\"" + pkg + "\"}");
    return pkg;
  }

  // Makes a service and runs frames until its cycle has ended.
  updateService* runCycle() {
    updateService* s = updateService::create();
    EXPECT_NE(s, nullptr);
    s->retain();
    EXPECT_TRUE(fwtest::pumpUntil([&] { return !s->working; }, std::chrono::seconds(30)));
    fwtest::pumpFor(std::chrono::milliseconds(50));
    return s;
  }

  std::string kq(const std::string& rel = "") const { return folder + "kq/" + rel; }

};

TEST_F(UpdateService, ThreeStartsAlternateTheFoldersAndApplyTheUpdateAtTheNextStart) {
  const std::string config = R"({"ads_enable_newVersion":"1","adsNewVersionType":"1","adsNewVersionUrl":"x"})";
  makePackage(config);
  service->control("version", R"({"version":"2.6"})");

  // First start: folder 1 active, both requests at once, the update lands in
  // folder 2.
  updateService* first = runCycle();
  EXPECT_EQ(first->activePath, kq("update/temp1/"));
  EXPECT_EQ(first->sparePath, kq("update/temp2/"));
  EXPECT_EQ(cocos2d::FileUtils::getInstance()->getSearchPaths().front(), kq("update/temp1/"));
  const auto check = service->requests("/ud/cv2.php");
  ASSERT_EQ(check.size(), 1u);
  const std::string device = cocos2d::Device::getDeviceInfo();
  EXPECT_EQ(check[0].text, R"({"app_version":"2.5","device_info":")" +
                               cocos2d::safeBase64EncodeString(device.data(), device.size()) + R"("})");
  ASSERT_EQ(service->requests("/ud/u.php").size(), 1u);
  EXPECT_EQ(service->requests("/ud/u.php")[0].text, "");
  EXPECT_EQ(readFile(kq("update/temp2/imgs/logo.png")), "new logo");
  EXPECT_TRUE(fs::exists(kq("update/temp1/project.manifest")));
  EXPECT_EQ(UILocalConfig::getStringForKey("update_hasValidUpdate", ""), "2");
  EXPECT_EQ(UILocalConfig::getStringForKey("app_latest_version", ""), "2.6");
  EXPECT_EQ(UILocalConfig::getStringForKey("app_ver_check_count", ""), "0");
  EXPECT_EQ(UILocalConfig::getStringForKey("app_config_ini", "none"), "none");  // applies at the next start
  first->release();

  // Second start: folder 2 active and first on the search path, folder 1
  // its copy, the configuration read, the check again; nothing new.
  UILocalConfig::setStringForKey("app_ver_check_count", "1");
  fs::remove_all(kq("update/temp1"));
  writeFile(kq("update/temp1/stale.txt"), "from an old update");
  cocos2d::FileUtils::getInstance()->setSearchPaths({});
  updateService* second = runCycle();
  EXPECT_EQ(second->activePath, kq("update/temp2/"));
  EXPECT_EQ(cocos2d::FileUtils::getInstance()->getSearchPaths().front(), kq("update/temp2/"));
  EXPECT_EQ(readFile(kq("update/temp1/imgs/logo.png")), "new logo");
  EXPECT_FALSE(fs::exists(kq("update/temp1/stale.txt")));
  EXPECT_EQ(UILocalConfig::getStringForKey("update_now", ""), "2");
  EXPECT_EQ(UILocalConfig::getStringForKey("update_hasValidUpdate", ""), "-1");
  EXPECT_EQ(UILocalConfig::getStringForKey("app_config_ini", ""), config);
  EXPECT_EQ(service->requests("/ud/cv2.php").size(), 2u);
  EXPECT_EQ(UILocalConfig::getStringForKey("app_ver_check_count", ""), "1");  // same version: kept
  second->release();

  // Third start: a new version resets the count.
  service->control("version", R"({"version":"2.7"})");
  updateService* third = runCycle();
  EXPECT_EQ(third->activePath, kq("update/temp2/"));
  EXPECT_EQ(UILocalConfig::getStringForKey("app_latest_version", ""), "2.7");
  EXPECT_EQ(UILocalConfig::getStringForKey("app_ver_check_count", ""), "0");
  third->release();
}

TEST_F(UpdateService, EveryAssetEventSetsTheRunningFlagAsItShould) {
  NSUI::setServerUrl(service->plainBase());  // no requests: events come from the test
  updateService* s = updateService::create();
  ASSERT_NE(s, nullptr);
  s->retain();
  const struct {
    int code;
    bool running;
    const char* pending;  // "update_hasValidUpdate" afterwards
  } cases[] = {{0, false, "-1"}, {1, false, "-1"}, {2, false, "-1"}, {3, true, "-1"},  {4, false, "-1"},
               {5, true, "-1"},  {6, true, "-1"},  {7, false, "-1"}, {8, false, "2"}, {9, false, "-1"},
               {10, true, "-1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    UILocalConfig::setStringForKey("update_hasValidUpdate", "-1");
    s->working = true;
    Event event("test", nullptr, c.code, "imgs/logo.png", "", 50.0f, 80.0f);
    s->onAssetsEvent(&event);
    EXPECT_EQ(s->working, c.running);
    EXPECT_EQ(UILocalConfig::getStringForKey("update_hasValidUpdate", ""), c.pending);
  }
  // Folder 2 active: a finished update waits in folder 1.
  UILocalConfig::setStringForKey("update_now", "2");
  Event finished("test", nullptr, 8);
  s->onAssetsEvent(&finished);
  EXPECT_EQ(UILocalConfig::getStringForKey("update_hasValidUpdate", ""), "1");
  s->release();
}

TEST_F(UpdateService, AManifestThatCannotBeWrittenEndsTheCycleWithoutAnAssetManager) {
  service->force("/ud/u.php", "delay:800");
  updateService* s = updateService::create();
  ASSERT_NE(s, nullptr);
  s->retain();
  // The active folder becomes a file before the manifest arrives.
  fs::remove_all(kq("update/temp1"));
  writeFile(kq("update/temp1"), "in the way");
  ASSERT_TRUE(fwtest::pumpUntil([&] { return !s->working; }));
  EXPECT_EQ(s->assetsManager, nullptr);
  EXPECT_EQ(readFile(kq("update/temp1")), "in the way");
  s->release();
}

TEST_F(UpdateService, ASecondManifestReplyReusesTheAssetManager) {
  makePackage("{}");
  service->control("version", R"({"version":"2.6"})");
  service->force("/pkg/imgs/logo.png", "delay:1500");  // keeps the update under way
  updateService* s = updateService::create();
  ASSERT_NE(s, nullptr);
  s->retain();
  ASSERT_TRUE(fwtest::pumpUntil([&] { return s->assetsManager != nullptr; }));
  cocos2d::extension::AssetsManagerEx* manager = s->assetsManager;
  s->checkVersion();
  ASSERT_TRUE(fwtest::pumpUntil([&] { return service->requests("/ud/u.php").size() == 2; }));
  fwtest::pumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(s->assetsManager, manager);  // the asset is still on its way
  ASSERT_TRUE(fwtest::pumpUntil([&] { return !s->working; }));
  EXPECT_EQ(readFile(kq("update/temp2/imgs/logo.png")), "new logo");
  s->release();
}

TEST_F(UpdateService, ASpareFolderOutsideItsPlaceIsNeverEmptied) {
  // What lies under kq and must survive whatever the settings say.
  writeFile(kq("dicom/study/image.dcm"), "patient data");
  writeFile(kq("update/temp1/kept.txt"), "active");
  fs::create_directories(kq("update"));
  fs::create_symlink(kq("dicom"), kq("update/link"));
  const struct {
    const char* name;
    const char* spare;  // "update_nowPath2"
    bool undecodable;
  } cases[] = {
      {"undecodable setting", "", true}, {"empty", "", false},           {"kq itself", ".", false},
      {"above kq", "..", false},         {"the update root", "update", false}, {"the active folder", "update/temp1", false},
      {"a symbolic link", "update/link", false}, {"climbing out", "update/../dicom", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cocos2d::FileUtils::getInstance()->setSearchPaths({});
    UILocalConfig::setStringForKey("update_hasValidUpdate", "1");
    if (c.undecodable)
      cocos2d::UserDefault::getInstance()->setStringForKey(
          cocos2d::safeBase64EncodeString(std::string("update_nowPath2")).c_str(), "%%%");
    else
      UILocalConfig::setStringForKey("update_nowPath2", c.spare);
    updateService* s = updateService::create();
    ASSERT_NE(s, nullptr);
    s->retain();
    ASSERT_TRUE(fwtest::pumpUntil([&] { return !s->working; }));
    EXPECT_EQ(readFile(kq("dicom/study/image.dcm")), "patient data");
    EXPECT_EQ(readFile(kq("update/temp1/kept.txt")), "active");
    EXPECT_EQ(UILocalConfig::getStringForKey("update_hasValidUpdate", ""), "1");
    EXPECT_TRUE(service->requests("/ud/cv2.php").empty());
    s->release();
  }
}

TEST_F(UpdateService, ReleasedDuringTheCopyItWaitsForTheJobAndDropsItsCompletion) {
  // A finished update waits in folder 2: the start copies it into folder 1.
  const std::string block(4096, 'x');
  for (int i = 0; i < 2000; ++i) writeFile(kq("update/temp2/assets/f" + std::to_string(i)), block);
  UILocalConfig::setStringForKey("update_hasValidUpdate", "2");
  updateService::create();
  cocos2d::PoolManager::getInstance()->getCurrentPool()->clear();  // gone at once
  fwtest::pumpFor(std::chrono::milliseconds(500));
  // The copy ran to its end; what it would have done next never happened.
  size_t copied = 0;
  for (const auto& e : fs::directory_iterator(kq("update/temp1/assets"))) copied += e.is_regular_file();
  EXPECT_EQ(copied, 2000u);
  EXPECT_EQ(UILocalConfig::getStringForKey("update_hasValidUpdate", ""), "-1");
  EXPECT_TRUE(service->requests("/ud/cv2.php").empty());
}

TEST_F(UpdateService, TheNoticeOpensThePageOncePerNewVersion) {
  // A stand-in browser that writes down what it was asked to open.
  const std::string bin = folder + "bin/";
  writeFile(bin + "xdg-open", "#!/bin/sh\necho \"$1\" >> \"" + folder + "opened.txt\"\n");
  chmod((bin + "xdg-open").c_str(), 0755);
  const std::string path = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (bin + ":" + path).c_str(), 1);
  TestApplication application;
  NSUI::setServerUrl(service->plainBase());  // the update service stays idle

  const std::string on = R"({"ads_enable_newVersion":"1","adsNewVersionType":"1","adsNewVersionUrl":"x"})";
  const struct {
    const char* latest;   // "" for never reported
    std::string config;
    const char* countBefore;
    const char* countAfter;
    bool opens;
  } cases[] = {
      {"2.5.1", on, "0", "1", true},
      {"2.10", on, "0", "1", true},
      {"10", on, "0", "1", true},
      {"1.9.9", on, "0", "0", false},
      {"2.5", on, "0", "0", false},
      {"", on, "0", "0", false},  // "1.0" until a reply
      {"2.x", on, "0", "0", false},
      {"2.6", on, "1", "1", false},  // counted already
      {"2.6", R"({"adsNewVersionType":"1","adsNewVersionUrl":"x"})", "0", "0", false},
      {"2.6", R"({"ads_enable_newVersion":"0","adsNewVersionType":"1","adsNewVersionUrl":"x"})", "0", "0", false},
      {"2.6", R"({"ads_enable_newVersion":"1","adsNewVersionUrl":"x"})", "0", "1", false},
      {"2.6", R"({"ads_enable_newVersion":"1","adsNewVersionType":"1"})", "0", "1", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.latest) + " " + c.config);
    fs::remove(folder + "opened.txt");
    cocos2d::UserDefault::destroyInstance();
    fs::remove(cocos2d::UserDefault::getXMLFilePath());
    cocos2d::UserDefault::destroyInstance();
    if (*c.latest) UILocalConfig::setStringForKey("app_latest_version", c.latest);
    UILocalConfig::setStringForKey("app_ver_check_count", c.countBefore);
    UILocalConfig::setStringForKey("app_config_ini", c.config);
    ADS::adsApplication* notice = ADS::adsApplication::getInstance();
    notice->loadConfig();
    notice->checkNewVersion();
    EXPECT_EQ(UILocalConfig::getStringForKey("app_ver_check_count", ""), c.countAfter);
    // The browser starts on its own process: give it a moment.
    if (c.opens) {
      ASSERT_TRUE(fwtest::pumpUntil([&] { return fs::exists(folder + "opened.txt"); }, std::chrono::seconds(10)));
    }
    fwtest::pumpFor(std::chrono::milliseconds(c.opens ? 100 : 300));
    EXPECT_EQ(readFile(folder + "opened.txt"), c.opens ? service->plainBase() + "/ads/newversionPC.html\n" : "");
    // A second check (the next return to the foreground) opens nothing.
    notice->checkNewVersion();
    fwtest::pumpFor(std::chrono::milliseconds(200));
    EXPECT_EQ(readFile(folder + "opened.txt"), c.opens ? service->plainBase() + "/ads/newversionPC.html\n" : "");
  }
  ADS::adsApplication::getInstance()->shutdown();
  ADS::adsApplication::destroyInstance();
  setenv("PATH", path.c_str(), 1);
}

}  // namespace
