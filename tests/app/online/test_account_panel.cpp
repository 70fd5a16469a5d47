// The account panel on the headless engine against the local stand-in of
// the web service: the rows of every view, the input checks, the requests
// as the service receives them, the replies, closing, and what the
// settings file keeps.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/online/login.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "online_fixture.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSGlobals.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/foundation/standin.h"
#include "toolkit/widgets/NSActivity.h"
#include "toolkit/widgets/NSResponseWindow.h"
#include "toolkit/widgets/NSTextField.h"

USING_NS_CC;

namespace {

using NSUI::UILocalConfig;
constexpr const char* kPasswordRule = "The character in password must be A~Z or a~z or 0~9 or '.-_'";
constexpr const char* kNameRule = "The character in name must be A~Z or a~z or 0~9 or '.-_'";

std::string text(const std::string& key) { return AppConfig::getInstance()->getLocalizedString(key); }

class AccountPanel : public onlinetest::OnlineTest {
 protected:
  static void SetUpTestSuite() {
    OnlineTest::SetUpTestSuite();
    FileUtils::getInstance()->setDefaultResourceRootPath(std::string(FW_BINARY_DIR) + "/resources/");
    FileUtils::getInstance()->setSearchPaths({"res/pad/"});
    Director::getInstance()->setOpenGLView(GLViewImpl::createHeadless(Size(1280, 800)));
    AppConfig::getInstance()->languageTable.load();
    NSUI::setLocalizedStringTable(&AppConfig::getInstance()->languageTable);
    Director::getInstance()->runWithScene(Scene::create());
    Director::getInstance()->stepFrame(1.0f / 60);  // the scene starts running
  }
  static void TearDownTestSuite() {
    NSUI::setLocalizedStringTable(nullptr);
    OnlineTest::TearDownTestSuite();
  }

  void SetUp() override {
    OnlineTest::SetUp();
    for (const char* path : {"/lg/lg.php", "/lg/rg.php", "/lg/cg.php", "/lg/sm.php", "/lg/sdvr.php", "/lg/sd.php"})
      service->force(path, "");
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        this, nullptr,
        [this](Ref* sender, unsigned int, NSUI::NSNotificationData* data) {
          states.push_back(data ? data->intValue : 0);
          senders.push_back(sender);
        },
        NOTIFY_LOGIN_STATE);
  }
  void TearDown() override {
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
    if (window && window->getParent()) window->removeFromParent();
    if (window) window->release();
    window = nullptr;
    NSUI::NSActivity::close();
    if (Node* box = scene()->getChildByName("messageBox")) box->setVisible(false);
    OnlineTest::TearDown();
  }

  Scene* scene() { return Director::getInstance()->getRunningScene(); }

  login* open() {
    window = login::open(scene());
    window->retain();
    EXPECT_EQ(window->getParent(), scene());
    fwtest::pumpFor(std::chrono::milliseconds(20));
    return panel();
  }
  login* panel() { return window ? dynamic_cast<login*>(window->getChildByName("login_view")) : nullptr; }
  bool isOpen() { return window && window->getParent() != nullptr; }
  Node* node() { return panel()->getPanelNode(); }
  NSUI::NSTextField* field(const std::string& name) {
    return dynamic_cast<NSUI::NSTextField*>(node()->getChildByName(name));
  }
  void type(const std::string& name, const std::string& value) {
    auto* f = field(name);
    ASSERT_NE(f, nullptr) << name;
    f->setString(value);
  }
  // A mouse click in the middle of the named widget of the window.
  void press(const std::string& name) {
    Node* w = window->getChildByNameDeep(name);
    ASSERT_NE(w, nullptr) << name;
    const Vec2 p = w->convertToWorldSpace(Vec2(w->getContentSize() / 2));
    auto* view = Director::getInstance()->getOpenGLView();
    view->injectMouseDown(p.x, p.y, 0);
    view->injectMouseUp(p.x, p.y, 0);
    fwtest::pumpFor(std::chrono::milliseconds(5));
  }
  void escape() {
    auto* view = Director::getInstance()->getOpenGLView();
    view->injectKey(EventKeyboard::KeyCode::KEY_ESCAPE, true);
    view->injectKey(EventKeyboard::KeyCode::KEY_ESCAPE, false);
    fwtest::pumpFor(std::chrono::milliseconds(5));
  }
  std::string toast() {
    Node* box = scene()->getChildByName("messageBox");
    auto* t = box && box->isVisible() ? dynamic_cast<ui::Text*>(box->getChildByNameDeep("messageBox.text")) : nullptr;
    return t ? t->getString() : "";
  }
  void clearToast() {
    if (Node* box = scene()->getChildByName("messageBox")) box->setVisible(false);
  }
  bool waitForToast() {
    return fwtest::pumpUntil([&] { return !toast().empty(); }, std::chrono::seconds(10));
  }
  void account(const std::string& nick, const std::string& password, const std::string& mail = "") {
    service->control("account",
                     "{\"nickname\":\"" + nick + "\",\"password\":\"" + password + "\",\"mail\":\"" + mail + "\"}");
  }
  void loggedInAs(const std::string& nick) {
    UILocalConfig::setIntegerForKey("app_logined", 1);
    UILocalConfig::setStringForKey("app_login_nickname", nick);
  }

  NSUI::NSResponseWindow* window = nullptr;
  std::vector<int> states;
  std::vector<Ref*> senders;
};

// ---------------------------------------------------------------- views

TEST_F(AccountPanel, EveryViewBuildsItsRowsAboveTheMainButton) {
  struct Row {
    std::string name, placeholder;
    bool hidden;
  };
  struct View {
    int mode;
    std::vector<Row> rows;  // from the bottom
    bool codeButton, nickname;
    std::string loginTitle;
    bool sendShown, changeShown;
  };
  const std::vector<View> views = {
      {login::LOGIN_MODE_LOGIN, {{"password", "Password", true}, {"email", "Nickname or Email", false}}, false, false,
       text("login.login"), true, false},
      {login::LOGIN_MODE_ACCOUNT, {}, false, true, text("login.logout"), false, true},
      {login::LOGIN_MODE_CHANGE_PASSWORD,
       {{"password2", "Confirm Password", true}, {"password1", "New Password", true}, {"old", "Old password", true}},
       false, true, text("login.change"), false, false},
      {login::LOGIN_MODE_REGISTER,
       {{"confirm", "Verify Code", false},
        {"email", "Optional, email to protect your password", false},
        {"password", "Password", true},
        {"name", "Nickname", false}},
       true, false, text("login.register"), true, false},
      {login::LOGIN_MODE_SET_MAIL,
       {{"confirm", "Verify Code", false}, {"email", "Email to protect your password", false}}, true, true,
       text("login_setmail_btn"), false, false},
  };
  UILocalConfig::setStringForKey("app_login_nickname", "ann");
  login* p = open();
  ASSERT_NE(p, nullptr);
  auto* main = dynamic_cast<ui::Button*>(node()->getChildByNameDeep("login"));
  ASSERT_NE(main, nullptr);
  const float h = main->getContentSize().height, y = main->getPositionY(), w = main->getContentSize().width;
  const float font = main->getTitleFontSize() - 18;
  const Size size = node()->getContentSize();
  for (const View& v : views) {
    SCOPED_TRACE(v.mode);
    switch (v.mode) {
      case 0: p->showLoginView(); break;
      case 1: p->showAccountView(); break;
      case 2: p->showChangePasswordView(); break;
      case 3: p->showRegisterView(); break;
      case 4: p->showSetMailView(); break;
    }
    EXPECT_EQ(p->getMode(), v.mode);
    int fields = 0;
    for (Node* c : node()->getChildren())
      if (!c->getUserString().empty() && dynamic_cast<NSUI::NSTextField*>(c)) ++fields;
    EXPECT_EQ(fields, static_cast<int>(v.rows.size()));
    for (size_t i = 0; i < v.rows.size(); ++i) {
      const Row& r = v.rows[i];
      SCOPED_TRACE(r.name);
      auto* f = field(r.name);
      ASSERT_NE(f, nullptr);
      EXPECT_EQ(f->getPlaceHolder(), r.placeholder);
      EXPECT_EQ(f->_passwordMode, r.hidden);
      EXPECT_EQ(f->_fontSize, font);
      EXPECT_EQ(f->_textColor, Color3B::BLACK);
      EXPECT_EQ(f->getPosition(), Vec2(20, y + 14 + (i + 1) * h));
      const bool narrow = v.codeButton && i == 0;
      EXPECT_FLOAT_EQ(f->getContentSize().width, w - 40 - (narrow ? 250 : 0));
      EXPECT_EQ(f->_touchRect.size, Size(w - 40 - (narrow ? 250 : 0), h));
      // Its white background just below.
      bool background = false;
      for (Node* c : node()->getChildren()) {
        auto* s = dynamic_cast<Sprite*>(c);
        if (!s || c->getUserString().empty()) continue;
        const Rect box = s->getBoundingBox();
        if (std::abs(box.origin.y - (y + 10 + (i + 1) * h)) < 0.01f) {
          background = true;
          EXPECT_FLOAT_EQ(box.origin.x, 0);
          EXPECT_FLOAT_EQ(box.size.width, w - (narrow ? 150 : 0));
          EXPECT_FLOAT_EQ(box.size.height, h - 10);
        }
      }
      EXPECT_TRUE(background);
    }
    auto* code = dynamic_cast<ui::Button*>(node()->getChildByName("getCode"));
    EXPECT_EQ(code != nullptr, v.codeButton);
    if (code) {
      const Rect box = code->getBoundingBox();
      EXPECT_FLOAT_EQ(box.getMaxX(), size.width - 10);
      EXPECT_FLOAT_EQ(box.getMinY(), y + h + 10);
      EXPECT_FLOAT_EQ(box.size.width, 230);
      EXPECT_FLOAT_EQ(box.size.height, h - 10);
      EXPECT_EQ(code->getTitleText(), text("login.getCode"));
    }
    auto* nick = dynamic_cast<Label*>(node()->getChildByName("nickname"));
    EXPECT_EQ(nick != nullptr, v.nickname);
    if (nick) {
      EXPECT_EQ(nick->getString(), "ann");
      EXPECT_EQ(nick->getPosition(), Vec2(size.width / 2, size.height - 13));
    }
    EXPECT_EQ(node()->getChildByName("new") != nullptr, v.mode == 0);
    EXPECT_EQ(node()->getChildByName("setMail") != nullptr, v.mode == 1);
    EXPECT_EQ(main->getTitleText(), v.loginTitle);
    EXPECT_EQ(node()->getChildByNameDeep("send")->isVisible(), v.sendShown);
    if (v.mode != 0) {
      EXPECT_EQ(node()->getChildByNameDeep("change")->isVisible(), v.changeShown);
    }
  }
}

TEST_F(AccountPanel, OpensOnTheLoginStateWithTheRememberedNameAndAFullBackground) {
  UILocalConfig::setStringForKey("app_login_string", "ann@example.org");
  login* p = open();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->getMode(), login::LOGIN_MODE_LOGIN);
  EXPECT_EQ(field("email")->getString(), "ann@example.org");
  EXPECT_EQ(field("password")->getString(), "");
  // The panel hangs from the top centre of the window.
  const Size win = window->getContentSize();
  EXPECT_EQ(node()->getAnchorPoint(), Vec2(0.5f, 1.0f));
  EXPECT_EQ(node()->getPosition(), Vec2(win.width / 2, win.height));
  // The background and its mirrored copies cover the panel edge to edge.
  float right = 0;
  Node* bk = node()->getChildByNameDeep("bk");
  EXPECT_FLOAT_EQ(bk->getBoundingBox().size.height, node()->getContentSize().height);
  for (Node* c : node()->getChildren())
    if (c == bk || (dynamic_cast<Sprite*>(c) && c->getUserString().empty()))
      right = std::max(right, c->getBoundingBox().getMaxX());
  EXPECT_NEAR(right, node()->getContentSize().width, 0.01f);
  window->removeFromParent();

  loggedInAs("ann");
  window->release();
  p = open();
  EXPECT_EQ(p->getMode(), login::LOGIN_MODE_ACCOUNT);
}

// ---------------------------------------------------------------- input checks

TEST_F(AccountPanel, RefusedInputShowsItsMessageAndSendsNothing) {
  struct Case {
    int mode;
    std::vector<std::pair<std::string, std::string>> typed;
    std::string message;
  };
  const std::string mail = "ann@example.org";
  const std::vector<Case> cases = {
      {0, {{"email", "ann@example"}, {"password", "pw"}}, text("login_check_mail")},
      {0, {{"email", "ann"}, {"password", "  "}}, text("login_input")},
      {0, {{"email", "ann@example"}, {"password", ""}}, text("login_check_mail")},  // the mail first
      {2, {{"old", "a"}, {"password1", "b"}, {"password2", "c"}}, text("login_confirm_password")},
      {2, {{"old", "a"}, {"password1", ""}, {"password2", ""}}, text("login_confirm_password")},
      {2, {{"old", ""}, {"password1", "b"}, {"password2", "b"}}, text("login_confirm_password")},
      {2, {{"old", "a b"}, {"password1", "b"}, {"password2", "b"}}, kPasswordRule},
      {2, {{"old", "a"}, {"password1", "b!"}, {"password2", "b!"}}, kPasswordRule},
      {3, {{"email", "ann@"}, {"name", "ann"}, {"password", "pw"}}, text("login_check_mail")},
      // No code was ever sent: none is right, the empty one included.
      {3, {{"email", mail}, {"confirm", ""}, {"name", "ann"}, {"password", "pw"}}, text("login_vcode_wrong")},
      {3, {{"email", mail}, {"confirm", "123456"}, {"name", "ann"}, {"password", "pw"}}, text("login_vcode_wrong")},
      {3, {{"name", "ann"}, {"password", ""}}, text("login_input")},
      {3, {{"name", ""}, {"password", "pw"}}, text("login_input")},
      {3, {{"name", "ann smith"}, {"password", "pw"}}, kNameRule},
      {3, {{"name", "ann"}, {"password", "p w"}}, kPasswordRule},
      {3, {{"name", "ann b"}, {"password", "p w"}}, kNameRule},  // the name first
      {4, {{"email", "ann"}, {"confirm", "1"}}, text("login_check_mail")},
      {4, {{"email", mail}, {"confirm", ""}}, text("login_vcode_wrong")},
      {4, {{"email", mail}, {"confirm", "000000"}}, text("login_vcode_wrong")},
  };
  loggedInAs("ann");
  login* p = open();
  ASSERT_NE(p, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.mode << " " << c.typed.front().second);
    switch (c.mode) {
      case 0: p->showLoginView(); break;
      case 2: p->showChangePasswordView(); break;
      case 3: p->showRegisterView(); break;
      case 4: p->showSetMailView(); break;
    }
    for (const auto& [name, value] : c.typed) type(name, value);
    clearToast();
    press("login");
    EXPECT_EQ(toast(), c.message);
    EXPECT_EQ(NSUI::NSActivity::getInstance(), nullptr);
  }
  // The mail checks of "getCode" and "send".
  p->showSetMailView();
  type("email", "not-a-mail");
  clearToast();
  press("getCode");
  EXPECT_EQ(toast(), text("login_check_mail"));
  p->showLoginView();
  type("email", "x@y");
  clearToast();
  press("send");
  EXPECT_EQ(toast(), text("login_check_mail"));
  fwtest::pumpFor(std::chrono::milliseconds(200));
  EXPECT_TRUE(service->requests().empty());
}

// ---------------------------------------------------------------- requests

TEST_F(AccountPanel, EveryRequestReachesTheServiceAsABase64JsonBody) {
  account("bea", "pw1", "bea@example.org");
  login* p = open();
  ASSERT_NE(p, nullptr);
  const std::string ct = "application/json; charset=utf-8";

  // Log in by nickname (even the stored time stamp follows the attempt).
  type("email", " bea ");
  type("password", "pw1 ");
  press("login");
  EXPECT_NE(NSUI::NSActivity::getInstance(), nullptr);
  ASSERT_TRUE(fwtest::pumpUntil([&] { return !isOpen(); }));
  const std::string loginTime = UILocalConfig::getStringForKey("app_login_time", "");
  auto r = service->requests("/lg/lg.php");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].text,
            "{\"ismail\":\"0\",\"nickname\":\"bea\",\"password\":\"pw1\",\"loginTime\":\"" + loginTime +
                "\",\"isMobile\":\"0\"}");
  EXPECT_EQ(r[0].contentType, ct);
  EXPECT_TRUE(r[0].tls);
  EXPECT_EQ(UILocalConfig::getStringForKey("app_login_string", ""), "bea");
  EXPECT_EQ(UILocalConfig::getStringForKey("app_login_timestamp", ""), std::to_string(login::getLoginTimestamp()));
  EXPECT_EQ(UILocalConfig::getIntegerForKey("app_logined", 0), 1);
  EXPECT_FALSE(UILocalConfig::getStringForKey("app_login_id", "").empty());
  EXPECT_EQ(UILocalConfig::getStringForKey("app_login_nickname", ""), "bea");
  EXPECT_EQ(NSUI::NSActivity::getInstance(), nullptr);
  // The announcement comes with the notification centre's next tick.
  ASSERT_TRUE(fwtest::pumpUntil([&] { return !states.empty(); }, std::chrono::seconds(10)));
  EXPECT_EQ(states, std::vector<int>{1});
  EXPECT_NE(senders.at(0), nullptr);

  // Change the password, from the account view.
  window->release();
  p = open();
  ASSERT_EQ(p->getMode(), login::LOGIN_MODE_ACCOUNT);
  press("change");
  ASSERT_EQ(p->getMode(), login::LOGIN_MODE_CHANGE_PASSWORD);
  type("old", "pw1");
  type("password1", "pw2");
  type("password2", "pw2");
  clearToast();
  press("login");
  ASSERT_TRUE(waitForToast());
  EXPECT_EQ(toast(), text("login_change_ok"));
  EXPECT_EQ(p->getMode(), login::LOGIN_MODE_ACCOUNT);
  r = service->requests("/lg/cg.php");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].text, "{\"old\":\"pw1\",\"new\":\"pw2\",\"nickname\":\"bea\"}");
  EXPECT_EQ(r[0].contentType, ct);

  // Attach a mail: a code is asked for, the one sent is accepted.
  press("setMail");
  ASSERT_EQ(p->getMode(), login::LOGIN_MODE_SET_MAIL);
  type("email", "bea2@example.org");
  clearToast();
  press("getCode");
  ASSERT_TRUE(waitForToast());
  EXPECT_EQ(toast(), text("login_setmail_getcode"));
  r = service->requests("/lg/sdvr.php");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].text, "{\"mail\":\"bea2@example.org\"}");
  EXPECT_EQ(r[0].contentType, ct);
  ASSERT_EQ(p->getExpectedCode().size(), 6u);
  type("confirm", p->getExpectedCode());
  clearToast();
  press("login");
  ASSERT_TRUE(waitForToast());
  EXPECT_EQ(toast(), text("login_setmail_ok"));
  EXPECT_EQ(p->getMode(), login::LOGIN_MODE_ACCOUNT);
  r = service->requests("/lg/sm.php");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].text, "{\"mail\":\"bea2@example.org\",\"nickname\":\"bea\"}");
  EXPECT_EQ(r[0].contentType, ct);

  // Log out, then the password mail and a registration with a mail.
  press("login");
  EXPECT_FALSE(isOpen());
  EXPECT_EQ(UILocalConfig::getIntegerForKey("app_logined", 1), 0);
  ASSERT_TRUE(fwtest::pumpUntil([&] { return states.size() == 2; }, std::chrono::seconds(10)));
  EXPECT_EQ(states, (std::vector<int>{1, -1}));
  window->release();
  p = open();
  ASSERT_EQ(p->getMode(), login::LOGIN_MODE_LOGIN);
  type("email", "bea2@example.org");
  clearToast();
  press("send");
  ASSERT_TRUE(waitForToast());
  EXPECT_EQ(toast(), text("login_sendMail"));
  r = service->requests("/lg/sd.php");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].text, "{\"mail\":\"bea2@example.org\"}");
  EXPECT_EQ(r[0].contentType, ct);

  press("new");
  ASSERT_EQ(p->getMode(), login::LOGIN_MODE_REGISTER);
  type("email", "cid@example.org");
  press("getCode");
  ASSERT_TRUE(fwtest::pumpUntil([&] { return !p->getExpectedCode().empty(); }));
  type("confirm", p->getExpectedCode());
  type("name", "cid");
  type("password", "pw3");
  clearToast();
  press("login");
  ASSERT_TRUE(waitForToast());
  EXPECT_EQ(toast(), text("login_reg_ok"));
  EXPECT_EQ(p->getMode(), login::LOGIN_MODE_LOGIN);
  r = service->requests("/lg/rg.php");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].text, "{\"mail\":\"cid@example.org\",\"nickname\":\"cid\",\"password\":\"pw3\"}");
  EXPECT_EQ(r[0].contentType, ct);

  // A login by mail, with a wrong password.
  type("email", "cid@example.org");
  type("password", "nope");
  clearToast();
  press("login");
  ASSERT_TRUE(waitForToast());
  EXPECT_EQ(toast(), text("login_login_fail"));
  r = service->requests("/lg/lg.php");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1].text.rfind("{\"ismail\":\"1\",\"mail\":\"cid@example.org\",\"password\":\"nope\",", 0), 0u);
}

TEST_F(AccountPanel, RegistrationWithoutMailNeedsNoCode) {
  login* p = open();
  press("new");
  type("name", "dee");
  type("password", "pw");
  press("login");
  ASSERT_TRUE(waitForToast());
  EXPECT_EQ(toast(), text("login_reg_ok"));
  const auto r = service->requests("/lg/rg.php");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].text, "{\"mail\":\"\",\"nickname\":\"dee\",\"password\":\"pw\"}");
  EXPECT_EQ(p->getMode(), login::LOGIN_MODE_LOGIN);
}

// ---------------------------------------------------------------- replies

TEST_F(AccountPanel, RepliesOfEveryTagAsForced) {
  struct Case {
    std::string tag, path, force, message;
    int modeAfter;
    bool loggedIn;
  };
  const std::vector<Case> cases = {
      {"login", "/lg/lg.php", "status1", text("login_login_fail"), 0, false},
      {"login", "/lg/lg.php", "emptyUserid", text("login_login_fail"), 0, false},
      {"login", "/lg/lg.php", "500", text("net_check_status"), 0, false},
      {"login", "/lg/lg.php", "noStatus", text("login_login_fail"), 0, false},
      {"register", "/lg/rg.php", "status1", text("login_nickname_fail"), 3, false},
      {"register", "/lg/rg.php", "status2", text("net_check_status"), 3, false},
      {"register", "/lg/rg.php", "500", text("net_check_status"), 3, false},
      {"change", "/lg/cg.php", "status1", text("login_change_fail"), 2, true},
      {"change", "/lg/cg.php", "500", text("net_check_status"), 2, true},
      {"setMail", "/lg/sm.php", "status1", text("net_check_status"), 4, true},
      {"setMail", "/lg/sm.php", "500", text("net_check_status"), 4, true},
      {"getCode", "/lg/sdvr.php", "status1", text("login_check_mail"), 3, false},
      {"getCode", "/lg/sdvr.php", "500", text("net_check_status"), 3, false},
      {"send", "/lg/sd.php", "status1", text("login_check_mail"), 0, false},
      {"send", "/lg/sd.php", "500", text("net_check_status"), 0, false},
  };
  account("eve", "pw", "eve@example.org");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag + " " + c.force);
    UILocalConfig::setIntegerForKey("app_logined", c.loggedIn ? 1 : 0);
    UILocalConfig::setStringForKey("app_login_id", "before");
    UILocalConfig::setStringForKey("app_login_nickname", "eve");
    service->force(c.path, c.force);
    if (window) window->release();
    login* p = open();
    if (c.tag == "login") {
      type("email", "eve");
      type("password", "pw");
    } else if (c.tag == "register") {
      press("new");
      type("name", "eve");
      type("password", "pw");
    } else if (c.tag == "change") {
      press("change");
      type("old", "pw");
      type("password1", "pw");
      type("password2", "pw");
    } else if (c.tag == "setMail") {
      press("setMail");
      type("email", "eve@example.org");
      service->force("/lg/sdvr.php", "");
      press("getCode");
      ASSERT_TRUE(fwtest::pumpUntil([&] { return !p->getExpectedCode().empty(); }));
      type("confirm", p->getExpectedCode());
    } else if (c.tag == "getCode") {
      press("new");
      type("email", "eve@example.org");
    } else {
      type("email", "eve@example.org");
    }
    clearToast();
    const bool busy = c.tag != "getCode" && c.tag != "send";
    press(c.tag == "getCode" ? "getCode" : c.tag == "send" ? "send" : "login");
    EXPECT_EQ(NSUI::NSActivity::getInstance() != nullptr, busy);
    ASSERT_TRUE(waitForToast());
    EXPECT_EQ(toast(), c.message);
    EXPECT_EQ(NSUI::NSActivity::getInstance(), nullptr);
    EXPECT_TRUE(isOpen());
    EXPECT_EQ(p->getMode(), c.modeAfter);
    EXPECT_EQ(UILocalConfig::getIntegerForKey("app_logined", -1), c.loggedIn ? 1 : 0);
    EXPECT_EQ(UILocalConfig::getStringForKey("app_login_id", ""), "before");
    if (c.tag == "getCode") {
      EXPECT_EQ(p->getExpectedCode(), "");
    }
    service->force(c.path, "");
    window->removeFromParent();
  }
  EXPECT_TRUE(states.empty());
}

// ---------------------------------------------------------------- closing

TEST_F(AccountPanel, BackAndEscapeReturnToTheBaseViewOrClose) {
  struct Case {
    bool loggedIn;
    std::vector<std::string> presses;  // to reach the view
    bool escapeKey;
    bool closes;
    int modeAfter;
  };
  const std::vector<Case> cases = {
      {false, {}, false, true, 0},          {false, {}, true, true, 0},
      {true, {}, false, true, 1},           {true, {}, true, true, 1},
      {false, {"new"}, false, false, 0},    {false, {"new"}, true, false, 0},
      {true, {"change"}, false, false, 1},  {true, {"change"}, true, false, 1},
      {true, {"setMail"}, false, false, 1}, {true, {"setMail"}, true, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.loggedIn << " " << (c.presses.empty() ? "" : c.presses[0]) << " "
                                      << c.escapeKey);
    UILocalConfig::setIntegerForKey("app_logined", c.loggedIn ? 1 : 0);
    if (window) window->release();
    login* p = open();
    for (const auto& b : c.presses) press(b);
    if (c.escapeKey)
      escape();
    else
      press("goBack");
    EXPECT_EQ(isOpen(), !c.closes);
    if (!c.closes) {
      EXPECT_EQ(p->getMode(), c.modeAfter);
    }
    if (isOpen()) window->removeFromParent();
  }
  // "change" outside the account view does nothing.
  UILocalConfig::setIntegerForKey("app_logined", 0);
  window->release();
  login* p = open();
  p->onButtonClick(node()->getChildByNameDeep("change"));
  EXPECT_EQ(p->getMode(), login::LOGIN_MODE_LOGIN);
}

TEST_F(AccountPanel, AReplyAfterTheCloseChangesNothing) {
  account("fay", "pw");
  service->force("/lg/lg.php", "delay:600");
  open();
  type("email", "fay");
  type("password", "pw");
  press("login");
  ASSERT_TRUE(fwtest::pumpUntil([&] { return service->requests("/lg/lg.php").size() == 1; }));
  escape();
  EXPECT_FALSE(isOpen());
  NSUI::NSActivity::close();
  clearToast();
  fwtest::pumpFor(std::chrono::milliseconds(1200));
  EXPECT_EQ(toast(), "");
  EXPECT_EQ(UILocalConfig::getIntegerForKey("app_logined", 0), 0);
  EXPECT_EQ(UILocalConfig::getStringForKey("app_login_id", "none"), "none");
  EXPECT_TRUE(states.empty());
}

// ---------------------------------------------------------------- what is kept

TEST_F(AccountPanel, TheSettingsFileKeepsNoPasswordAndOnlyTheOwnerReadsIt) {
  account("gus", "Secret.42");
  open();
  type("email", "gus");
  type("password", "Secret.42");
  press("login");
  ASSERT_TRUE(fwtest::pumpUntil([&] { return !isOpen(); }));
  cocos2d::UserDefault::getInstance()->flush();
  const std::string path = cocos2d::UserDefault::getXMLFilePath();
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in.good()) << path;
  std::stringstream all;
  all << in.rdbuf();
  const std::string content = all.str();
  // Names and values are stored base64-encoded: decode every one.
  std::vector<std::string> decoded;
  const std::regex token(R"re(key="([^"]*)">([^<]*)<)re");
  for (auto it = std::sregex_iterator(content.begin(), content.end(), token); it != std::sregex_iterator(); ++it) {
    decoded.push_back(cocos2d::safeBase64DecodeString((*it)[1].str()));
    decoded.push_back(cocos2d::safeBase64DecodeString((*it)[2].str()));
  }
  EXPECT_NE(std::find(decoded.begin(), decoded.end(), "app_login_id"), decoded.end()) << content;
  for (const std::string& d : decoded) EXPECT_EQ(d.find("Secret.42"), std::string::npos) << d;
  EXPECT_EQ(content.find("Secret.42"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(AccountPanel, APlainHttpServiceIsNeverSentAnything) {
  NSUI::setServerUrl(service->plainBase());
  account("hal", "pw", "hal@example.org");
  login* p = open();
  type("email", "hal");
  type("password", "pw");
  press("login");
  EXPECT_EQ(toast(), text("net_check_status"));
  EXPECT_EQ(NSUI::NSActivity::getInstance(), nullptr);
  press("new");
  type("email", "hal@example.org");
  clearToast();
  press("getCode");
  EXPECT_EQ(toast(), text("net_check_status"));
  fwtest::pumpFor(std::chrono::milliseconds(300));
  EXPECT_TRUE(service->requests().empty());
  EXPECT_EQ(p->getMode(), login::LOGIN_MODE_REGISTER);
}

// ---------------------------------------------------------------- privacy screen

struct TestApplication : cocos2d::Application {
  bool applicationDidFinishLaunching() override { return true; }
};

TEST_F(AccountPanel, ThePrivacyLinkPushesAPageAndOpensTheAddressInTheBrowser) {
  // A stand-in browser that writes down what it was asked to open.
  const std::string bin = folder + "bin/";
  std::filesystem::create_directories(bin);
  { std::ofstream(bin + "xdg-open") << "#!/bin/sh\necho \"$1\" >> \"" << folder << "opened.txt\"\n"; }
  ::chmod((bin + "xdg-open").c_str(), 0755);
  const std::string path = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (bin + ":" + path).c_str(), 1);
  TestApplication application;

  Scene* home = scene();
  login* p = open();
  press("new");
  ASSERT_EQ(p->getMode(), login::LOGIN_MODE_REGISTER);
  EXPECT_EQ(dynamic_cast<ui::Button*>(node()->getChildByNameDeep("send"))->getTitleText(),
            "View the Privacy Policy here");
  press("send");
  fwtest::pumpFor(std::chrono::milliseconds(50));
  Scene* page = scene();
  ASSERT_NE(page, home);
  auto* title = dynamic_cast<ui::Text*>(page->getChildByNameDeep("title"));
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->getString(), "Privacy Policy");
  Node* web = page->getChildByNameDeep("privacyPage");
  ASSERT_NE(web, nullptr);
  const Size win = Director::getInstance()->getWinSize();
  EXPECT_EQ(web->getContentSize(), Size(win.width, win.height - 60));
  EXPECT_TRUE(web->isVisible());
  ASSERT_TRUE(fwtest::pumpUntil([&] { return std::filesystem::exists(folder + "opened.txt"); }, std::chrono::seconds(10)));
  fwtest::pumpFor(std::chrono::milliseconds(50));
  std::ifstream opened(folder + "opened.txt");
  std::string address;
  std::getline(opened, address);
  EXPECT_EQ(address, service->base() + "/en/privacypolicy.html");

  // Back on the home screen, the panel where it was.
  Node* back = page->getChildByNameDeep("goBack");
  const Vec2 at = back->convertToWorldSpace(Vec2(back->getContentSize() / 2));
  Director::getInstance()->getOpenGLView()->injectMouseDown(at.x, at.y, 0);
  Director::getInstance()->getOpenGLView()->injectMouseUp(at.x, at.y, 0);
  fwtest::pumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(scene(), home);
  EXPECT_TRUE(isOpen());
  EXPECT_EQ(p->getMode(), login::LOGIN_MODE_REGISTER);
  setenv("PATH", path.c_str(), 1);
}

}  // namespace
