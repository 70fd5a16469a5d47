#include "toolkit/foundation/NSGlobals.h"

#include <mutex>

namespace NSUI {

namespace {

struct ServerUrl {
    std::mutex mutex;
    std::string value = "127.0.0.1";
};

// Made on first use, so that code running during static initialisation in
// other files already finds the start value.
ServerUrl& serverUrl()
{
    static ServerUrl instance;
    return instance;
}

}  // namespace

void setServerUrl(std::string url)
{
    ServerUrl& s = serverUrl();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.value = std::move(url);
}

std::string getServerUrl()
{
    ServerUrl& s = serverUrl();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.value;
}

}  // namespace NSUI
