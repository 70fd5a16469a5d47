// Checks of text typed by the user: e-mail addresses and user names.
#pragma once

#include <string>

namespace NSUI {

// True when the whole text is an e-mail address: a local part of letters,
// digits and . _ % + -, then "@", then a domain of at least two labels
// separated by "."; each label is letters, digits and inner "-" (at most 63
// characters), and the last one starts with a letter and has at least two
// characters. At most 64 characters before the "@" and 254 in all. No
// spaces, quotes, comments or address literals are accepted.
bool isValidEmail(const std::string& text);

// True when the whole text is one or more ASCII letters, digits, '-', '_' or
// '.', in any order.
bool isValidName(const std::string& text);

}  // namespace NSUI
