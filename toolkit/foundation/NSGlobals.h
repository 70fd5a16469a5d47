// Process-wide values of the toolkit that exist before the program entry runs.
#pragma once

#include <string>

namespace NSUI {

// The base address of the online service. It reads "127.0.0.1" until the
// settings singleton sets the configured address at launch. Both calls may
// be made from any thread.
void setServerUrl(std::string url);
std::string getServerUrl();

}  // namespace NSUI
