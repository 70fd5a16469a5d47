// Application entries and run() steps, language detection, device facts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/cocos2d.h"
#include "support_engine.h"
#include "support_scene.h"

USING_NS_CC;

namespace {

class TestApp : public Application {
 public:
  std::vector<std::string> calls;
  bool launchResult = true;
  unsigned framesAtExit = 0;
  bool directorAliveAtExit = false;
  int timerTarget = 0;

  void initGLContextAttrs() override {
    calls.push_back("attrs");
    GLContextAttrs attrs{8, 8, 8, 8, 24, 8};
    GLView::setGLContextAttrs(attrs);
  }
  bool applicationDidFinishLaunching() override {
    calls.push_back("launch");
    if (!launchResult) return false;
    Director::getInstance()->setAnimationInterval(1.0f / 500);
    Director::getInstance()->getScheduler()->schedule(
        [this](float) {
          if (Director::getInstance()->getTotalFrames() == 2) Director::getInstance()->end();  // third frame
        },
        &timerTarget, 0, false, "quit");
    return true;
  }
  void applicationWillExit() override {
    calls.push_back("exit");
    framesAtExit = Director::getInstance()->getTotalFrames();
    directorAliveAtExit = !Director::getInstance()->isEnded();
    Director::getInstance()->getScheduler()->unscheduleAllForTarget(&timerTarget);
  }
};

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { FileUtils::getInstance()->setWritablePath(dir.path); }
  void TearDown() override {
    Application::setFrameLoop(nullptr);
    Director::destroyInstance();
    UserDefault::destroyInstance();
    FileUtils::getInstance()->setWritablePath("");
  }
  TempDir dir;
};

// Sets an environment variable for the scope of a test.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : _name(name) {
    const char* old = getenv(name);
    _had = old != nullptr;
    if (_had) _old = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~EnvVar() {
    if (_had) setenv(_name.c_str(), _old.c_str(), 1);
    else unsetenv(_name.c_str());
  }

 private:
  std::string _name, _old;
  bool _had = false;
};

}  // namespace

TEST_F(ApplicationTest, RunCallsEntriesInOrderAndEndsTheDirector) {
  TestApp app;
  EXPECT_EQ(Application::getInstance(), &app);
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(app.calls, (std::vector<std::string>{"attrs", "launch", "exit"}));
  EXPECT_EQ(app.framesAtExit, 3u);  // the frame that asked for the end completes
  EXPECT_TRUE(app.directorAliveAtExit);
  EXPECT_TRUE(Director::getInstance()->isEnded());
  EXPECT_EQ(GLView::getGLContextAttrs().depthBits, 24);
  EXPECT_EQ(app.getTargetPlatform(), Application::Platform::OS_LINUX);
}

TEST_F(ApplicationTest, FailedLaunchExitsWithOneAndNoTeardown) {
  TestApp app;
  app.launchResult = false;
  EXPECT_EQ(app.run(), 1);
  EXPECT_EQ(app.calls, (std::vector<std::string>{"attrs", "launch"}));
}

TEST_F(ApplicationTest, InstalledFrameLoopReplacesHeadlessLoop) {
  TestApp app;
  int loops = 0;
  Application::setFrameLoop([&](Application* a) {
    EXPECT_EQ(a, &app);
    ++loops;
    for (int i = 0; i < 3; ++i) Director::getInstance()->stepFrame();
  });
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(loops, 1);
  EXPECT_EQ(app.framesAtExit, 3u);
}

// The screens go before the teardown entry, while the scheduler and the
// dispatcher still serve them; the entry then finds no scene left.
TEST_F(ApplicationTest, ScenesAreTakenDownBeforeTheTeardownEntry) {
  struct ScenesApp : TestApp {
    std::vector<std::string> log;
    bool launchScenes() {
      Scene* first = Scene::create();
      first->addChild(LogNode::create("home", &log));
      Scene* second = Scene::create();
      second->addChild(LogNode::create("viewer", &log));
      Director::getInstance()->runWithScene(first);
      Director::getInstance()->pushScene(second);
      return TestApp::applicationDidFinishLaunching();
    }
    bool applicationDidFinishLaunching() override { return launchScenes(); }
    void applicationWillExit() override {
      log.push_back(Director::getInstance()->getRunningScene() ? "entry: scene running" : "entry: no scene");
      TestApp::applicationWillExit();
    }
  } app;
  EXPECT_EQ(app.run(), 0);
  EXPECT_TRUE(app.directorAliveAtExit);
  // The viewer exits and goes first, then the home screen (pushed over,
  // already exited) is cleaned up and destroyed; only then the entry runs.
  EXPECT_EQ(app.log, (std::vector<std::string>{"home:enter", "home:didFinish", "home:exitStart", "home:exit",
                                               "viewer:enter", "viewer:didFinish", "viewer:exitStart",
                                               "viewer:exit", "viewer:cleanup", "viewer:destroyed",
                                               "home:cleanup", "home:destroyed", "entry: no scene"}));
}

TEST(Language, FromLocaleTable) {
  const std::pair<const char*, LanguageType> cases[] = {
      {"en_US.UTF-8", LanguageType::ENGLISH}, {"zh_CN.UTF-8", LanguageType::CHINESE},
      {"fr_FR", LanguageType::FRENCH},         {"it_IT.UTF-8", LanguageType::ITALIAN},
      {"de_DE.UTF-8", LanguageType::GERMAN},   {"es_ES@euro", LanguageType::SPANISH},
      {"nl_NL", LanguageType::DUTCH},          {"ru_RU.KOI8-R", LanguageType::RUSSIAN},
      {"ko_KR", LanguageType::KOREAN},         {"ja_JP.eucJP", LanguageType::JAPANESE},
      {"hu_HU", LanguageType::HUNGARIAN},      {"pt_BR.UTF-8", LanguageType::PORTUGUESE},
      {"ar_EG", LanguageType::ARABIC},         {"nb_NO.UTF-8", LanguageType::NORWEGIAN},
      {"nn_NO", LanguageType::NORWEGIAN},      {"no_NO", LanguageType::NORWEGIAN},
      {"pl_PL", LanguageType::POLISH},         {"tr_TR", LanguageType::TURKISH},
      {"uk_UA", LanguageType::UKRAINIAN},      {"ro_RO", LanguageType::ROMANIAN},
      {"bg_BG", LanguageType::BULGARIAN},      {"C", LanguageType::ENGLISH},
      {"C.UTF-8", LanguageType::ENGLISH},      {"POSIX", LanguageType::ENGLISH},
      {"", LanguageType::ENGLISH},             {"sv_SE", LanguageType::ENGLISH},
      {"DE", LanguageType::GERMAN},
  };
  for (const auto& [locale, type] : cases)
    EXPECT_EQ(static_cast<int>(languageTypeFromLocale(locale)), static_cast<int>(type)) << locale;
  EXPECT_EQ(static_cast<int>(LanguageType::BULGARIAN), 18);
}

TEST(Language, FirstOfLcAllLcMessagesLang) {
  TestApp app;
  {
    EnvVar all("LC_ALL", "fr_FR.UTF-8"), msg("LC_MESSAGES", "de_DE"), lang("LANG", "ja_JP");
    EXPECT_EQ(app.getCurrentLanguage(), LanguageType::FRENCH);
    EXPECT_STREQ(app.getCurrentLanguageCode(), "fr");
  }
  {
    EnvVar all("LC_ALL", ""), msg("LC_MESSAGES", "de_DE"), lang("LANG", "ja_JP");
    EXPECT_EQ(app.getCurrentLanguage(), LanguageType::GERMAN);
  }
  {
    EnvVar all("LC_ALL", nullptr), msg("LC_MESSAGES", nullptr), lang("LANG", "ja_JP.UTF-8");
    EXPECT_EQ(app.getCurrentLanguage(), LanguageType::JAPANESE);
  }
  {
    EnvVar all("LC_ALL", nullptr), msg("LC_MESSAGES", nullptr), lang("LANG", nullptr);
    EXPECT_EQ(app.getCurrentLanguage(), LanguageType::ENGLISH);
    EXPECT_STREQ(app.getCurrentLanguageCode(), "en");
  }
}

TEST(OpenURL, OnlyWebAndFileUrlsReachXdgOpen) {
  TempDir bin;
  const std::string out = bin.path + "opened.txt";
  writeFile(bin.path + "xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + out + "'\n");
  chmod((bin.path + "xdg-open").c_str(), 0755);
  EnvVar path("PATH", bin.path.c_str());
  TestApp app;
  EXPECT_FALSE(app.openURL("javascript:alert(1)"));
  EXPECT_FALSE(app.openURL("ftp://host/x"));
  EXPECT_FALSE(app.openURL("no scheme at all"));
  const std::string url = "https://example.invalid/a b?q=1;rm -rf /";
  ASSERT_TRUE(app.openURL(url));
  std::string got;
  for (int i = 0; i < 200 && got.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    got = FileUtils::getInstance()->getStringFromFile(out);
  }
  EXPECT_EQ(got, url);  // one argument, no shell interpretation
}

TEST(OpenURL, MissingXdgOpenFails) {
  TempDir empty;
  EnvVar path("PATH", empty.path.c_str());
  TestApp app;
  EXPECT_FALSE(app.openURL("http://127.0.0.1/"));
}

TEST(Device, InfoIsStableAndDpiSettable) {
  std::string info = Device::getDeviceInfo();
  EXPECT_EQ(info, Device::getDeviceInfo());
  EXPECT_EQ(std::count(info.begin(), info.end(), ';'), 2) << info;
  EXPECT_EQ(Device::getDPI(), 96);
  Device::setDPI(144);
  EXPECT_EQ(Device::getDPI(), 144);
  Device::setDPI(1000);  // implausible display values fall back
  EXPECT_EQ(Device::getDPI(), 96);
}
