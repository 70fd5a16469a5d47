// The login watch against the local stand-in of the web service: when the
// re-check leaves, what it carries, and which answers end the login.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/online/httpCenter.h"
#include "app/online/login.h"
#include "engine/cocos2d.h"
#include "online_fixture.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSGlobals.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/foundation/standin.h"

namespace {

namespace fs = std::filesystem;
using NSUI::UILocalConfig;

class LoginWatch : public onlinetest::OnlineTest {
 protected:
  static void SetUpTestSuite() {
    OnlineTest::SetUpTestSuite();
    cocos2d::FileUtils::getInstance()->setDefaultResourceRootPath(std::string(FW_BINARY_DIR) + "/resources/");
    AppConfig::getInstance()->languageTable.load();
    cocos2d::Director::getInstance()->runWithScene(cocos2d::Scene::create());
  }

  void SetUp() override {
    OnlineTest::SetUp();
    service->force("/lg/rlc.php", "");
    watch = httpCenter::create();
    ASSERT_NE(watch, nullptr);
    watch->retain();
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        this, nullptr,
        [this](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* data) {
          states.push_back(data ? data->intValue : 0);
          readAtPost.push_back(UILocalConfig::getStringForKey("app_logined", ""));
        },
        NOTIFY_LOGIN_STATE);
  }
  void TearDown() override {
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
    if (auto* manager = NSUI::NSDataManager::getInstance()) manager->dataObjects.eraseObject(watch);
    watch->release();
    OnlineTest::TearDown();
  }

  // The account panel's traces of an accepted login.
  void loggedInAs(const std::string& id) {
    UILocalConfig::setIntegerForKey("app_logined", 1);
    UILocalConfig::setStringForKey("app_login_id", id);
    UILocalConfig::setStringForKey("app_login_time", "2026-12-10 08:30:00");
  }

  void ticks(int n) {
    for (int i = 0; i < n; ++i) watch->update(1.0f);
  }

  httpCenter* watch = nullptr;
  std::vector<int> states;
  std::vector<std::string> readAtPost;
};

TEST_F(LoginWatch, ReChecksOnEveryTwentiethTickOnlyWhileLoggedIn) {
  loggedInAs("u77");
  ticks(40);  // check still off
  fwtest::pumpFor(std::chrono::milliseconds(200));
  EXPECT_TRUE(service->requests().empty());

  watch->start();
  ticks(19);
  fwtest::pumpFor(std::chrono::milliseconds(200));
  EXPECT_TRUE(service->requests().empty());
  ticks(1);
  ASSERT_TRUE(fwtest::pumpUntil([&] { return service->requests("/lg/rlc.php").size() == 1; }));
  const onlinetest::LoggedRequest r = service->requests("/lg/rlc.php")[0];
  EXPECT_TRUE(r.tls);
  EXPECT_EQ(r.contentType, "application/json; charset=utf-8");
  EXPECT_EQ(r.text, R"({"userid":"u77","loginTime":"2026-12-10 08:30:00","isMobile":"0"})");

  // Logged out: the counter cycles, nothing leaves.
  UILocalConfig::setStringForKey("app_logined", "0");
  ticks(60);
  fwtest::pumpFor(std::chrono::milliseconds(300));
  EXPECT_EQ(service->requests("/lg/rlc.php").size(), 1u);
}

TEST_F(LoginWatch, AnswersThatDoNotConfirmTheLoginEndIt) {
  // The stand-in confirms only the logins it holds valid.
  const struct {
    const char* name;
    const char* mode;
    bool registered;
    bool loggedOut;
  } cases[] = {
      {"confirmed", "", true, false},
      {"unknown login", "", false, true},
      {"no Status", "noStatus", true, true},
      {"Status 1", "status1", true, true},
      {"server error", "500", true, false},
      {"not base64", "notBase64", true, true},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string id = "nobody";
    if (c.registered) {
      // An account whose login the stand-in holds valid.
      const std::string reply =
          service->control("account", "{\"nickname\":\"watch" + std::to_string(n++) + "\",\"password\":\"pw\"}");
      id = NSUI::UIJson::getJsonString(reply, "userid");
      ASSERT_FALSE(id.empty());
    }
    service->force("/lg/rlc.php", c.mode);
    loggedInAs(id);
    states.clear();
    readAtPost.clear();
    watch->start();
    const size_t before = service->requests("/lg/rlc.php").size();
    ticks(20);
    ASSERT_TRUE(fwtest::pumpUntil([&] { return service->requests("/lg/rlc.php").size() == before + 1; }));
    fwtest::pumpFor(std::chrono::milliseconds(400));
    std::string logged, stored;
    login::readLoginState(logged, stored);
    EXPECT_EQ(logged, c.loggedOut ? "0" : "1");
    EXPECT_EQ(stored, id);  // a log out keeps the id
    if (c.loggedOut) {
      EXPECT_EQ(states, std::vector<int>{-1});
      EXPECT_EQ(readAtPost, std::vector<std::string>{"0"});  // observers run after the write
      cocos2d::Scene* scene = cocos2d::Director::getInstance()->getRunningScene();
      ASSERT_NE(scene, nullptr);
      cocos2d::Node* box = scene->getChildByName("messageBox");
      ASSERT_NE(box, nullptr);
      auto* text = dynamic_cast<cocos2d::ui::Text*>(box->getChildByNameDeep("messageBox.text"));
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(text->getString(), "Your account has logged in on another device.");
      box->setVisible(false);
    } else {
      EXPECT_TRUE(states.empty());
    }
  }
}

TEST_F(LoginWatch, SendsNothingInTheClear) {
  loggedInAs("u1");
  NSUI::setServerUrl(service->plainBase());
  watch->start();
  ticks(60);
  fwtest::pumpFor(std::chrono::milliseconds(300));
  EXPECT_TRUE(service->requests().empty());
}

}  // namespace
