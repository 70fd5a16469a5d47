// Hands a prepared mail to the desktop's mail program.
#pragma once

#include <string>

namespace NSUI {

// Opens a new mail in the user's mail program through `xdg-email` (found on
// PATH, started without a shell) with the subject, body and attachment given;
// empty ones are left out. The status texts are what the callers understand:
//   ""             the mail was handed over (the program started);
//   "not support"  there is no hand-off: xdg-email is missing or could not be
//                  started, or the attachment is not a readable file.
// Does not wait for the mail program.
std::string sendMail(const std::string& subject = "", const std::string& body = "",
                     const std::string& attachment = "");

}  // namespace NSUI
