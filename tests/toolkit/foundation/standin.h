// The local HTTP stand-in service for the tests of the HTTP client and of
// what downloads through it: python3 http_standin.py in a temporary folder,
// on free 127.0.0.1 ports (the tests run inside the loopback-only
// namespace).
#pragma once


#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "engine/cocos2d.h"
#include "support/script_process.h"

namespace fwtest {

// The stand-in service: python3 http_standin.py in a temporary folder.
class StandIn {
public:
    bool start()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "fw_http_XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            return false;
        dir = tmpl;
        std::string line;
        const std::string script = std::string(FW_SOURCE_DIR) + "/tests/toolkit/foundation/http_standin.py";
        return process.start(script, dir.string(), &line) &&
               sscanf(line.c_str(), "PORTS %d %d", &httpPort, &httpsPort) == 2;
    }
    void stop()
    {
        process.stop();
        if (!dir.empty())
            std::filesystem::remove_all(dir);
    }
    std::string http(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(httpPort) + path;
    }
    std::string https(const std::string& path, const std::string& host = "127.0.0.1") const
    {
        return "https://" + host + ":" + std::to_string(httpsPort) + path;
    }
    std::string caFile() const { return (dir / "ca.pem").string(); }

    std::filesystem::path dir;
    int httpPort = 0;
    int httpsPort = 0;

private:
    ScriptProcess process;
};

// Runs engine frames (the HTTP client hands its results over in them) until
// `done` holds or a generous limit passes.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::seconds limit = std::chrono::seconds(30))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        cocos2d::Director::getInstance()->stepFrame(1.0f / 60);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Runs engine frames for a while.
inline void pumpFor(std::chrono::milliseconds duration)
{
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        cocos2d::Director::getInstance()->stepFrame(1.0f / 60);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace fwtest
