// The login state of the maker's online account, as this copy of the program
// remembers it in the settings store.
#pragma once

#include <string>

class login {
 public:
  // Reads "app_logined" and "app_login_id" as texts, each "0" when never
  // written. The user counts as logged in when `logged` is "1".
  static void readLoginState(std::string& logged, std::string& id);
};
