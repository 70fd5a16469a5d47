#include "app/online/login.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/online/onlineService.h"
#include "engine/base/base64.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/NSValidate.h"
#include "toolkit/widgets/NSActivity.h"
#include "toolkit/widgets/NSResponseWindow.h"
#include "toolkit/widgets/NSTextField.h"
#include "toolkit/widgets/NSWebView.h"

USING_NS_CC;

namespace {
uint32_t g_loginTimestamp = 0;

constexpr float kToastSeconds = 1.5f;
constexpr const char* kItemMark = "1";
constexpr const char* kPasswordRuleText = "The character in password must be A~Z or a~z or 0~9 or '.-_'";
constexpr const char* kNameRuleText = "The character in name must be A~Z or a~z or 0~9 or '.-_'";

std::string localized(const std::string& key) {
  AppConfig* config = AppConfig::getInstance();
  return config ? config->getLocalizedString(key) : key;
}

std::string trimmedCopy(std::string text) { return NSUI::trim(text); }
}  // namespace

// ---------------------------------------------------------------- login state

void login::readLoginState(std::string& logged, std::string& id) {
  logged = NSUI::UILocalConfig::getStringForKey("app_logined", "0");
  id = NSUI::UILocalConfig::getStringForKey("app_login_id", "0");
}

uint32_t login::getLoginTimestamp() {
  if (g_loginTimestamp > 1) return g_loginTimestamp;
  const std::string stored = NSUI::UILocalConfig::getStringForKey("app_login_timestamp", "");
  g_loginTimestamp = stored.empty() ? static_cast<uint32_t>(static_cast<uint64_t>(std::time(nullptr)))
                                    : static_cast<uint32_t>(std::strtoul(stored.c_str(), nullptr, 10));
  return g_loginTimestamp;
}

void login::setLoginTimestampCache(uint32_t seconds) { g_loginTimestamp = seconds; }

void login::logout() {
  if (auto* centre = NSUI::NSNotificationCenter::getInstance())
    centre->postNotificationInt(nullptr, NOTIFY_LOGIN_STATE, -1, nullptr, false);
  NSUI::UILocalConfig::setStringForKeyNoFlush("app_logined", "0");
}

// ---------------------------------------------------------------- the panel

login* login::create() {
  auto* panel = new login;
  if (!panel->init()) {
    delete panel;
    return nullptr;
  }
  panel->autorelease();
  return panel;
}

NSUI::NSResponseWindow* login::open(Node* parent) {
  auto* window = NSUI::NSResponseWindow::create();
  if (!window) return nullptr;
  if (login* panel = login::create()) {
    panel->enableAndroidReturnKey(true);
    panel->bindButtons();
    window->addChild(panel);
    window->placePanel(panel->panel);
    panel->layoutBackground();
  }
  if (parent) parent->addChild(window);
  return window;
}

bool login::init() {
  if (!Node::init()) return false;
  setWidget(this);
  mode = LOGIN_MODE_LOGIN;
  // No code is valid before the service sent one.
  expectedCode.clear();
  setName("login_view");
  Node* loaded = CSLoader::createNode("login.csb", true);
  if (!loaded) return true;
  if (AppConfig* config = AppConfig::getInstance()) config->translateNode(loaded, "login.");
  panel = loaded;
  httpOwner = this;
  addChild(loaded);
  loaded->setName("login.csb");
  return true;
}

void login::cleanup() {
  Node::cleanup();
  if (auto* centre = NSUI::NSNotificationCenter::getInstance()) centre->removeAllObservers(this);
  if (auto* client = NSUI::NSHttpClient::getInstanceIfExists()) client->cancelRequestsForOwner(this);
}

void login::bindButtons() {
  if (!panel) return;
  if (AppConfig* config = AppConfig::getInstance()) config->translateNode(panel, "");
  for (const char* name : {"goBack", "change", "send", "login"}) {
    if (auto* button = dynamic_cast<ui::Button*>(panel->getChildByNameDeep(name))) {
      button->setPressedActionEnabled(true);
      button->addClickEventListener([this](Ref* sender) { onButtonClick(sender); });
    }
  }
}

void login::layoutBackground() {
  if (!panel) return;
  if (auto* bk = dynamic_cast<ui::ImageView*>(panel->getChildByNameDeep("bk"))) {
    const Size node = panel->getContentSize();
    const Size texture = bk->getVirtualRendererSize();
    if (texture.width > 0 && texture.height > 0) {
      const float scaleY = node.height / texture.height;
      bk->setScaleY(scaleY);
      bk->setAnchorPoint(Vec2(0.0f, 1.0f));
      bk->setPosition(Vec2(0.0f, node.height));
      int copies = 1;
      bool flipped = false;
      Sprite* last = nullptr;
      while (texture.width * copies < node.width) {
        auto* copy = Sprite::create(bk->getTextureFile());
        if (!copy) break;
        flipped = !flipped;
        copy->setFlippedX(flipped);
        copy->setAnchorPoint(Vec2(0.0f, 1.0f));
        copy->setPosition(Vec2(texture.width * copies, node.height));
        copy->setScaleY(scaleY);
        panel->addChild(copy, bk->getLocalZOrder());
        last = copy;
        ++copies;
      }
      // The last copy ends at the right edge.
      if (last) last->setScaleX((node.width - last->getPositionX()) / texture.width);
    }
  }
  showBaseView();
}

void login::showBaseView() {
  if (getIntegerForKey("app_logined", 0) != 0)
    showAccountView();
  else
    showLoginView();
}

ui::Button* login::makeBlueButton(const std::string& name, const std::string& title, const Size& size,
                                  float titleSize) {
  auto* button = ui::Button::create("UIRes/blueBtn.png", "UIRes/blueBtn.png", "UIRes/blueBtn.png");
  if (!button) return nullptr;
  button->setName(name);
  button->setPressedActionEnabled(true);
  button->setScale9Enabled(true);
  button->setCapInsets(Rect(5, 5, 20, 20));
  button->setContentSize(size);
  button->setTitleText(title);
  button->setTitleColor(Color3B::WHITE);
  button->setTitleFontSize(titleSize);
  button->addClickEventListener([this](Ref* sender) { onButtonClick(sender); });
  return button;
}

bool login::buildView(int32_t newMode, std::initializer_list<Row> rows, bool nicknameLabel) {
  if (!panel) return false;
  Node* bk = panel->getChildByNameDeep("bk");
  auto* loginButton = dynamic_cast<ui::Button*>(panel->getChildByNameDeep("login"));
  if (!bk || !loginButton) return false;
  const int bkZ = bk->getLocalZOrder();
  loginButton->setLocalZOrder(bkZ + 1);

  std::vector<Node*> old;
  for (Node* child : panel->getChildren())
    if (!child->getUserString().empty()) old.push_back(child);
  for (Node* child : old) child->removeFromParent();

  const Size node = panel->getContentSize();
  const float width = loginButton->getContentSize().width;
  const float h = static_cast<float>(static_cast<int>(loginButton->getContentSize().height));
  const float y = loginButton->getPositionY();
  const float titleSize = loginButton->getTitleFontSize();
  auto add = [&](Node* item, int z) {
    item->setUserString(kItemMark);
    panel->addChild(item, z);
  };

  int i = 0;
  for (const Row& row : rows) {
    const float narrower = row.codeButton ? 1.0f : 0.0f;
    if (auto* back = Sprite::create("UIRes/white.png")) {
      const Size t = back->getContentSize();
      back->setAnchorPoint(Vec2::ZERO);
      back->setScaleX((width - 150 * narrower) / t.width);
      back->setScaleY((h - 10) / t.height);
      back->setPosition(Vec2(0, y + 10 + (i + 1) * h));
      add(back, bkZ);
    }
    if (auto* field = NSUI::NSTextField::create(row.placeholder, Size(width - 40 - 250 * narrower, h))) {
      field->setName(row.name);
      field->setAnchorPoint(Vec2::ZERO);
      field->setPosition(Vec2(20, y + 14 + (i + 1) * h));
      field->_fontSize = static_cast<int>(titleSize) - 18;
      field->_placeholderFontSize = static_cast<int>(titleSize) - 18;
      field->_textColor = Color3B::BLACK;
      field->_passwordMode = row.hidden;
      field->setPlaceHolder(row.placeholder);
      add(field, bkZ + 1);
    }
    if (row.codeButton) {
      if (auto* code = makeBlueButton("getCode", localized("login.getCode"), Size(230, h - 10), 0.6f * titleSize)) {
        code->setAnchorPoint(Vec2(1.0f, 0.0f));
        code->setPosition(Vec2(node.width - 10, y + h + 10));
        add(code, bkZ + 1);
      }
    }
    ++i;
  }
  if (nicknameLabel) {
    if (auto* label = Label::createWithSystemFont(getStringForKey("app_login_nickname", ""), "", 30)) {
      label->setName("nickname");
      label->setTextColor(Color4B::WHITE);
      label->setAnchorPoint(Vec2(0.5f, 1.0f));
      label->setPosition(Vec2(node.width / 2, node.height - 13));
      add(label, bkZ + 1);
    }
  }
  mode = newMode;
  return true;
}

namespace {
void showButton(Node* panel, const char* name, bool shown, int z, const std::string* title = nullptr) {
  auto* button = dynamic_cast<ui::Button*>(panel->getChildByNameDeep(name));
  if (!button) return;
  button->setVisible(shown);
  button->setLocalZOrder(z);
  if (title) button->setTitleText(*title);
}

void setLoginTitle(Node* panel, const std::string& key) {
  if (auto* button = dynamic_cast<ui::Button*>(panel->getChildByNameDeep("login"))) button->setTitleText(localized(key));
}
}  // namespace

void login::showLoginView() {
  if (!buildView(LOGIN_MODE_LOGIN, {{"password", "Password", true, false}, {"email", "Nickname or Email", false, false}},
                 false))
    return;
  auto* loginButton = dynamic_cast<ui::Button*>(panel->getChildByNameDeep("login"));
  const float titleSize = loginButton->getTitleFontSize();
  if (auto* field = dynamic_cast<NSUI::NSTextField*>(panel->getChildByName("email"))) {
    const std::string remembered = getStringForKey("app_login_string", "");
    if (!remembered.empty()) field->setString(remembered);
  }
  if (auto* fresh = makeBlueButton("new", localized("login.new"), Size(100, titleSize), 0.6f * titleSize)) {
    fresh->setAnchorPoint(Vec2(1.0f, 0.0f));
    fresh->setPosition(Vec2(panel->getContentSize().width - 5, loginButton->getPositionY() + 12));
    fresh->setTitleAlignment(TextHAlignment::CENTER, TextVAlignment::BOTTOM);
    fresh->setUserString(kItemMark);
    panel->addChild(fresh, loginButton->getLocalZOrder());
  }
  loginButton->setTitleAlignment(TextHAlignment::CENTER, TextVAlignment::BOTTOM);
  setLoginTitle(panel, "login.login");
  const std::string sendTitle = localized("login.send");
  showButton(panel, "send", true, loginButton->getLocalZOrder(), &sendTitle);
}

void login::showAccountView() {
  if (!buildView(LOGIN_MODE_ACCOUNT, {}, true)) return;
  auto* loginButton = dynamic_cast<ui::Button*>(panel->getChildByNameDeep("login"));
  const float titleSize = loginButton->getTitleFontSize();
  if (auto* setMail = ui::Button::create()) {
    setMail->setName("setMail");
    setMail->setTitleText(localized("login_set_mail"));
    setMail->setTitleColor(Color3B::WHITE);
    setMail->setTitleFontSize(0.6f * titleSize);
    setMail->setPressedActionEnabled(true);
    setMail->setAnchorPoint(Vec2(0.5f, 0.0f));
    setMail->setPosition(Vec2(panel->getContentSize().width / 2, 10));
    setMail->addClickEventListener([this](Ref* sender) { onButtonClick(sender); });
    setMail->setUserString(kItemMark);
    panel->addChild(setMail, loginButton->getLocalZOrder());
  }
  setLoginTitle(panel, "login.logout");
  showButton(panel, "send", false, loginButton->getLocalZOrder());
  showButton(panel, "change", true, loginButton->getLocalZOrder());
}

void login::showChangePasswordView() {
  if (!buildView(LOGIN_MODE_CHANGE_PASSWORD,
                 {{"password2", "Confirm Password", true, false},
                  {"password1", "New Password", true, false},
                  {"old", "Old password", true, false}},
                 true))
    return;
  const int z = panel->getChildByNameDeep("login")->getLocalZOrder();
  setLoginTitle(panel, "login.change");
  showButton(panel, "send", false, z);
  showButton(panel, "change", false, z);
}

void login::showRegisterView() {
  if (!buildView(LOGIN_MODE_REGISTER,
                 {{"confirm", "Verify Code", false, true},
                  {"email", "Optional, email to protect your password", false, false},
                  {"password", "Password", true, false},
                  {"name", "Nickname", false, false}},
                 false))
    return;
  const int z = panel->getChildByNameDeep("login")->getLocalZOrder();
  setLoginTitle(panel, "login.register");
  const std::string privacy = "View the Privacy Policy here";
  showButton(panel, "send", true, z, &privacy);
  showButton(panel, "change", false, z);
}

void login::showSetMailView() {
  if (!buildView(LOGIN_MODE_SET_MAIL,
                 {{"confirm", "Verify Code", false, true}, {"email", "Email to protect your password", false, false}},
                 true))
    return;
  const int z = panel->getChildByNameDeep("login")->getLocalZOrder();
  setLoginTitle(panel, "login_setmail_btn");
  showButton(panel, "send", false, z);
  showButton(panel, "change", false, z);
}

// ---------------------------------------------------------------- input

std::string login::fieldText(const std::string& name, bool trimmed) const {
  auto* field = panel ? dynamic_cast<NSUI::NSTextField*>(panel->getChildByName(name)) : nullptr;
  if (!field) return "";
  return trimmed ? trimmedCopy(field->getString()) : field->getString();
}

void login::toast(const std::string& key) { showMessage(localized(key), kToastSeconds); }
void login::toastLiteral(const std::string& text) { showMessage(text, kToastSeconds); }

void login::showBusy() {
  if (auto* busy = NSUI::NSActivity::show(this)) busy->setMessage("");
}

void login::closeBusy() {
  if (NSUI::NSActivity::getInstance()) NSUI::NSActivity::close();
}

bool login::send(const std::string& path, const std::string& json, const std::string& tag) {
  const std::string url = online::serviceAddress(path);
  if (url.empty()) {
    toast("net_check_status");
    return false;
  }
  doHttpPost(url, cocos2d::safeBase64EncodeString(json.data(), json.size()), tag);
  return true;
}

bool login::onResponseReturn() {
  if (mode == LOGIN_MODE_CHANGE_PASSWORD || mode == LOGIN_MODE_REGISTER || mode == LOGIN_MODE_SET_MAIL)
    showBaseView();
  else
    close();
  return true;
}

void login::close() {
  NSUI::NSResponseWindow::closeHolding(this);
}

void login::requestLogin() {
  const std::string name = fieldText("email", true);
  const std::string password = fieldText("password", true);
  const bool isMail = name.find('@') != std::string::npos;
  if (isMail && !NSUI::isValidEmail(name)) return toast("login_check_mail");
  if (password.empty()) return toast("login_input");
  const std::string loginTime = NSUI::getCurrentTimeString();
  const uint32_t now = static_cast<uint32_t>(static_cast<uint64_t>(std::time(nullptr)));
  setStringForKey("app_login_string", name);
  setStringForKey("app_login_time", loginTime);
  setLoginTimestampCache(now);
  char stamp[24];
  std::snprintf(stamp, sizeof stamp, "%lu", static_cast<unsigned long>(now));
  setStringForKey("app_login_timestamp", stamp);
  std::string json;
  setJsonString(json, "ismail", isMail ? "1" : "0");
  setJsonString(json, isMail ? "mail" : "nickname", name);
  setJsonString(json, "password", password);
  setJsonString(json, "loginTime", loginTime);
  setJsonInt(json, "isMobile", 0);
  if (send("/lg/lg.php", json, "login")) showBusy();
}

void login::onButtonClick(Ref* sender) {
  auto* button = dynamic_cast<ui::Button*>(sender);
  if (!button) return;
  const std::string name = button->getName();
  if (name == "getCode") {
    const std::string mail = fieldText("email", true);
    if (!NSUI::isValidEmail(mail)) return toast("login_check_mail");
    std::string json;
    setJsonString(json, "mail", mail);
    send("/lg/sdvr.php", json, "getCode");
  } else if (name == "goBack") {
    onResponseReturn();
  } else if (name == "setMail") {
    showSetMailView();
  } else if (name == "new") {
    showRegisterView();
  } else if (name == "change") {
    if (mode == LOGIN_MODE_ACCOUNT) showChangePasswordView();
  } else if (name == "login") {
    switch (mode) {
      case LOGIN_MODE_LOGIN:
        requestLogin();
        break;
      case LOGIN_MODE_ACCOUNT:
        if (auto* centre = NSUI::NSNotificationCenter::getInstance())
          centre->postNotificationInt(this, NOTIFY_LOGIN_STATE, -1, nullptr, false);
        setIntegerForKey("app_logined", 0);
        close();
        break;
      case LOGIN_MODE_CHANGE_PASSWORD: {
        const std::string old = fieldText("old", false);
        const std::string fresh = fieldText("password1", false);
        const std::string again = fieldText("password2", false);
        if (fresh != again || fresh.empty() || old.empty()) return toast("login_confirm_password");
        if (!NSUI::isValidName(old) || !NSUI::isValidName(fresh)) return toastLiteral(kPasswordRuleText);
        std::string json;
        setJsonString(json, "old", old);
        setJsonString(json, "new", fresh);
        setJsonString(json, "nickname", getStringForKey("app_login_nickname", ""));
        if (send("/lg/cg.php", json, "change")) showBusy();
        break;
      }
      case LOGIN_MODE_REGISTER: {
        const std::string mail = fieldText("email", true);
        const std::string nickname = fieldText("name", true);
        const std::string code = fieldText("confirm", true);
        const std::string password = fieldText("password", true);
        if (!mail.empty() && !NSUI::isValidEmail(mail)) return toast("login_check_mail");
        if (!mail.empty() && (expectedCode.empty() || code != expectedCode)) return toast("login_vcode_wrong");
        if (password.empty() || nickname.empty()) return toast("login_input");
        if (!NSUI::isValidName(nickname)) return toastLiteral(kNameRuleText);
        if (!NSUI::isValidName(password)) return toastLiteral(kPasswordRuleText);
        std::string json;
        setJsonString(json, "mail", mail);
        setJsonString(json, "nickname", nickname);
        setJsonString(json, "password", password);
        if (send("/lg/rg.php", json, "register")) showBusy();
        break;
      }
      case LOGIN_MODE_SET_MAIL: {
        const std::string mail = fieldText("email", true);
        if (!NSUI::isValidEmail(mail)) return toast("login_check_mail");
        const std::string code = fieldText("confirm", true);
        if (expectedCode.empty() || code != expectedCode) return toast("login_vcode_wrong");
        std::string json;
        setJsonString(json, "mail", mail);
        setJsonString(json, "nickname", getStringForKey("app_login_nickname", ""));
        if (send("/lg/sm.php", json, "setMail")) showBusy();
        break;
      }
      default:
        break;
    }
  } else if (name == "send") {
    if (mode == LOGIN_MODE_REGISTER) return openPrivacy();
    const std::string mail = fieldText("email", true);
    if (!NSUI::isValidEmail(mail)) return toast("login_check_mail");
    std::string json;
    setJsonString(json, "mail", mail);
    send("/lg/sd.php", json, "send");
  }
}

// ---------------------------------------------------------------- replies

void login::onHttpResponse(NSUI::UIHttpResponse* response) {
  if (!response) return;
  const std::string& tag = response->tag;
  const bool opensBusy = tag == "login" || tag == "register" || tag == "change" || tag == "setMail";
  if (!response->succeeded || response->responseCode != 200) {
    if (opensBusy) closeBusy();
    toast("net_check_status");
    return;
  }
  if (opensBusy) closeBusy();
  const std::string text = cocos2d::safeBase64DecodeString(response->body);
  const bool ok = getJsonStringWithDefault(text, "Status", "") == "0";
  if (tag == "login") {
    const std::string userid = getJsonStringWithDefault(text, "userid", "");
    if (!ok || userid.empty()) return toast("login_login_fail");
    if (auto* centre = NSUI::NSNotificationCenter::getInstance())
      centre->postNotificationInt(this, NOTIFY_LOGIN_STATE, 1, nullptr, false);
    setIntegerForKey("app_logined", 1);
    setStringForKey("app_login_id", userid);
    setStringForKey("app_login_nickname", getJsonStringWithDefault(text, "nickname", ""));
    close();
  } else if (tag == "register") {
    if (ok) {
      toast("login_reg_ok");
      showLoginView();
    } else {
      toast(getJsonStringWithDefault(text, "Status", "") == "1" ? "login_nickname_fail" : "net_check_status");
    }
  } else if (tag == "change") {
    if (!ok) return toast("login_change_fail");
    showAccountView();
    toast("login_change_ok");
  } else if (tag == "setMail") {
    if (!ok) return toast("net_check_status");
    toast("login_setmail_ok");
    showBaseView();
  } else if (tag == "getCode") {
    const std::string code = getJsonStringWithDefault(text, "code", "");
    if (!ok || code.empty()) return toast("login_check_mail");
    expectedCode = code;
    toast("login_setmail_getcode");
  } else if (tag == "send") {
    toast(ok ? "login_sendMail" : "login_check_mail");
  }
}

// ---------------------------------------------------------------- privacy screen

void login::openPrivacy() {
  auto* director = Director::getInstance();
  auto* scene = Scene::create();
  if (!scene) return;
  const Size window = director->getWinSize();
  const std::string address = AppConfig::getInstance() ? AppConfig::getInstance()->getServerUrl() + "/en/privacypolicy.html" : "";
  if (Node* layout = CSLoader::createNode("bkScene.csb", true)) {
    layout->setContentSize(window);
    ui::Helper::doLayout(layout);
    if (AppConfig* config = AppConfig::getInstance()) config->translateNode(layout, "");
    if (auto* title = dynamic_cast<ui::Text*>(layout->getChildByNameDeep("title"))) title->setString("Privacy Policy");
    if (auto* back = dynamic_cast<ui::Button*>(layout->getChildByNameDeep("goBack")))
      back->addClickEventListener([](Ref*) { Director::getInstance()->popScene(0); });
    if (auto* page = NSUI::NSWebView::create()) {
      page->setName("privacyPage");
      page->setContentSize(Size(window.width, window.height - 60));
      page->setVisible(true);
      layout->addChild(page);
    }
    scene->addChild(layout);
  }
  director->pushScene(scene);
  // The page node renders nothing: the address goes to the platform's browser.
  if (auto* application = Application::getInstance(); application && online::isSecureAddress(address))
    application->openURL(address);
}
