// Where the online services send their requests. Accounts, the login watch,
// the software update and the usage statistics talk to the maker's web
// service only over https with the peer verified (the HTTP client checks the
// certificate); with any other base address they send nothing, so that
// passwords, the account id and the statistics never travel in the clear.
#pragma once

#include <string>

namespace online {

// True for an address that starts with "https://" (the scheme compared
// without regard to case) and names a host.
bool isSecureAddress(const std::string& url);

// The service base address (AppConfig::getServerUrl) followed by `path`, or
// "" when the base address is not a secure one.
std::string serviceAddress(const std::string& path);

}  // namespace online
