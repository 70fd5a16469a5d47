// The launch with a view the engine already has (no window, no title look-up)
// through the background, a path hand-in and the teardown, with leak
// checking on in sanitizer builds.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include "engine/audio/SimpleAudioEngine.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "app/data/dataService.h"
#include "app/data/sniffer.h"
#include "app/online/adsApplication.h"
#include "app/online/statApplication.h"
#include "shell/AppDelegate.h"
#include "support/app_driver.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"

USING_NS_CC;

TEST(ShellHeadless, LaunchKeepsTheGivenViewAndTearsDown) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  fwtest::AppEnvironment env;
  const std::string caFile = env.writable + "service-ca.pem";
  setenv("FW_SERVICE_CA", caFile.c_str(), 1);
  GLView* view = GLViewImpl::createHeadless(Size(1024, 700));
  Director::getInstance()->setOpenGLView(view);
  const std::string nameBefore = view->getViewName();
  AppDelegate app;
  Size design, configDesign, configWin;
  std::string viewName = "<unread>";
  bool sdlVideo = true;
  std::vector<std::string> imports;
  bool homeRunning = false;
  std::string usedCA, serverUrl;
  bool servicesUp = false;
  const int rc = fwtest::AppDriver().run(app, [&](fwtest::AppDriver& d) {
    d.frames(2);
    design = view->getDesignResolutionSize();
    configDesign = *AppConfig::getInstance()->getDesignSize();
    configWin = AppConfig::getInstance()->winSize;
    viewName = view->getViewName();
    sdlVideo = SDL_WasInit(SDL_INIT_VIDEO) != 0;
    homeRunning = Director::getInstance()->getRunningScene() != nullptr;
    usedCA = NSUI::NSHttpClient::getInstance()->getCAFile();
    serverUrl = AppConfig::getInstance()->getServerUrl();
    servicesUp = dataService::getInstanceIfExists() && NSUI::sniffer::getInstanceIfExists() &&
                 ADS::adsApplication::getInstanceIfExists() && statApplication::getInstanceIfExists() &&
                 ADS::adsApplication::getInstanceIfExists()->updateService;
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        &imports, nullptr,
        [&](Ref*, unsigned int, NSUI::NSNotificationData* data) { imports.push_back(data->text); },
        NOTIFY_IMPORT_PATH);
    d.minimize();
    d.frames(2);
    EXPECT_TRUE(Director::getInstance()->isAnimationStopped());
    d.restore();
    d.frames(2);
    EXPECT_FALSE(Director::getInstance()->isAnimationStopped());
    app.applicationOpenPath(nullptr);  // the empty path is posted as ""
    d.drop("/data/CT 1");
    d.runUntil([&] { return imports.size() >= 2; }, 3);
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&imports);
  });
  EXPECT_EQ(rc, 0);
  EXPECT_FALSE(sdlVideo) << "no window is made";
  EXPECT_EQ(viewName, nameBefore) << "the title is not looked up";
  EXPECT_EQ(design, Size(1024, 700));
  EXPECT_EQ(configDesign, Size(1024, 700));
  EXPECT_EQ(configWin, Size(1024, 700));
  EXPECT_TRUE(homeRunning);
  EXPECT_EQ(usedCA, caFile);
  EXPECT_EQ(serverUrl, env.serviceUrl);
  EXPECT_TRUE(servicesUp);
  // The teardown let every service go.
  EXPECT_EQ(dataService::getInstanceIfExists(), nullptr);
  EXPECT_EQ(NSUI::sniffer::getInstanceIfExists(), nullptr);
  EXPECT_EQ(ADS::adsApplication::getInstanceIfExists(), nullptr);
  EXPECT_EQ(statApplication::getInstanceIfExists(), nullptr);
  EXPECT_EQ(imports, (std::vector<std::string>{"", "/data/CT 1"}));
  EXPECT_EQ(NSUI::NSNotificationCenter::getInstance(), nullptr);
  EXPECT_EQ(AppConfig::getInstance(), nullptr);
  EXPECT_EQ(NSUI::NSHttpClient::getInstanceIfExists(), nullptr);
  EXPECT_EQ(NSUI::getLocalizedString("appName"), "") << "the released table answers nothing";
  UserDefault::destroyInstance();
  EXPECT_EQ(NSUI::UILocalConfig::getStringForKey("app_current_version", ""), "2.5");
  unsetenv("FW_SERVICE_CA");
}

// The shell's two sounds: in the resource tree, decoded by the engine's
// sound engine, a short chime and a one-second swell.
TEST(ShellSounds, TheTwoSoundsAreShortAndDecodable) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  FileUtils::getInstance()->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
  struct Case {
    const char* file;
    double minSeconds, maxSeconds;
  };
  for (const Case& c : {Case{"res/dingdong.wav", 0.3, 1.5}, Case{"res/waterfall.wav", 0.9, 1.1}}) {
    const Data data = FileUtils::getInstance()->getDataFromFile(c.file);
    ASSERT_GT(data.getSize(), 44) << c.file;
    const unsigned char* b = data.getBytes();
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(b), 4), "RIFF");
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(b + 8), 4), "WAVE");
    auto u32 = [&](size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24; };
    const double seconds = static_cast<double>(u32(40)) / u32(28);  // data bytes / byte rate
    EXPECT_GE(seconds, c.minSeconds) << c.file;
    EXPECT_LE(seconds, c.maxSeconds) << c.file;
    EXPECT_NE(SimpleAudioEngine::getInstance()->playEffect(c.file), 0u) << c.file;
  }
  SimpleAudioEngine::end();
}
