// The login watch: a data object that lives for the whole run. Every 20
// ticks of the data-object manager (one a second), while a user is logged
// in, it asks the web service whether the login is still valid
// ("reLoginCheck") and logs the user out when the service does not confirm
// it. There is no log-out for inactivity. UI thread only.
#pragma once

#include "toolkit/foundation/NSDataManager.h"

class httpCenter : public NSUI::NSDatas {
 public:
  // A new autoreleased login watch, kept by the data-object manager; null
  // when its init fails.
  static httpCenter* create();
  // Cancels the watch's requests.
  ~httpCenter() override;

  // Registers with the data-object manager; period 20, check off.
  bool init() override;
  // Switches the periodic re-check on.
  void start();
  // One tick: every tickInterval-th one sends the re-check while a user is
  // logged in and the check is on.
  void update(float dt) override;
  // A re-check answered with status 200 whose "Status" is not "0" (absent
  // included) logs out and says so for 5 s; anything else changes nothing.
  void onHttpResponse(NSUI::UIHttpResponse* response) override;

  bool isChecking() const { return checking; }

 private:
  bool checking = false;
};
