// The account panel and the login state of the maker's online account.
//
// The state (static members) is what this copy of the program remembers in
// the settings store: whether a user is logged in, under which id, and when
// the last login attempt was made. NOTIFY_LOGIN_STATE (2034) announces each
// change.
//
// The panel is a pop-up in a modal window over the home screen: log in, log
// out, register, change the password, attach an e-mail address. It talks to
// the web service over https only; every request body is the base64 text of
// a flat JSON object. No password is ever stored. UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/UIHttpPhisical.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/UIControlBase.h"
#include "toolkit/widgets/UIControlGenerater.h"

namespace NSUI {
class NSResponseWindow;
class NSTextField;
}  // namespace NSUI

class login : public cocos2d::Node,
              public NSUI::UIControlGenerater,
              public NSUI::UILocalConfig,
              public NSUI::UIControlBase,
              public NSUI::UIJson,
              public NSUI::UIHttpPhisical {
 public:
  // The views of the panel.
  enum : int32_t {
    LOGIN_MODE_LOGIN = 0,
    LOGIN_MODE_ACCOUNT = 1,
    LOGIN_MODE_CHANGE_PASSWORD = 2,
    LOGIN_MODE_REGISTER = 3,
    LOGIN_MODE_SET_MAIL = 4,
  };

  // Reads "app_logined" and "app_login_id" as texts, each "0" when never
  // written. The user counts as logged in when `logged` is "1".
  static void readLoginState(std::string& logged, std::string& id);
  // Seconds since the epoch (low 32 bits) of the last login attempt: the
  // cached value when above 1, else "app_login_timestamp", else now; the
  // answer is cached for the rest of the run.
  static uint32_t getLoginTimestamp();
  // Stores the time of a login attempt in the cache (beside the setting).
  static void setLoginTimestampCache(uint32_t seconds);
  // Ends the login: posts 2034 with -1 (no sender, broadcast, serial), then
  // writes "app_logined" "0" (not flushed).
  static void logout();

  // Opens the panel in a new modal window added to `parent`; the window.
  static NSUI::NSResponseWindow* open(cocos2d::Node* parent);
  static login* create();

  bool init() override;
  void cleanup() override;
  // Return key and "goBack": the change-password, register and set-mail
  // views go back to the base view; the login and account views close.
  bool onResponseReturn() override;
  void onHttpResponse(NSUI::UIHttpResponse* response) override;

  // Second localisation (empty prefix) and the button bindings.
  void bindButtons();
  // Stretches and mirrors "bk" across the panel, then shows the first view.
  void layoutBackground();
  void showLoginView();
  void showAccountView();
  void showChangePasswordView();
  void showRegisterView();
  void showSetMailView();
  // The account view when a user is logged in, else the login view.
  void showBaseView();
  void onButtonClick(cocos2d::Ref* sender);
  // Removes the enclosing modal window (or the panel itself).
  void close();

  int32_t getMode() const { return mode; }
  cocos2d::Node* getPanelNode() const { return panel; }
  // The code a typed verification code must match; empty until the
  // service sent one.
  const std::string& getExpectedCode() const { return expectedCode; }

 protected:
  login() = default;

 private:
  // Builds the rows of one view; false when the panel lacks its widgets.
  struct Row {
    const char* name;
    const char* placeholder;
    bool hidden;
    bool codeButton;
  };
  bool buildView(int32_t newMode, std::initializer_list<Row> rows, bool nicknameLabel);
  std::string fieldText(const std::string& name, bool trimmed) const;
  void toast(const std::string& key);
  void toastLiteral(const std::string& text);
  void showBusy();
  void closeBusy();
  // POSTs the base64 of `json` to the service path; false (and the toast
  // "net_check_status") when the base address is not a secure one.
  bool send(const std::string& path, const std::string& json, const std::string& tag);
  void requestLogin();
  void openPrivacy();
  cocos2d::ui::Button* makeBlueButton(const std::string& name, const std::string& title, const cocos2d::Size& size,
                                      float titleSize);

  cocos2d::Node* panel = nullptr;
  int32_t mode = LOGIN_MODE_LOGIN;
  std::string expectedCode;
};
