// The local HTTP stand-in service for the tests of the HTTP client and of
// what downloads through it: python3 http_standin.py in a temporary folder,
// on free 127.0.0.1 ports (the tests run inside the loopback-only
// namespace).
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "engine/cocos2d.h"

extern char** environ;

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
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, in[1]);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        const std::string script = std::string(FW_SOURCE_DIR) + "/tests/toolkit/foundation/http_standin.py";
        const std::string work = dir.string();
        char* argv[] = {const_cast<char*>("python3"), const_cast<char*>(script.c_str()),
                        const_cast<char*>(work.c_str()), nullptr};
        const int rc = posix_spawnp(&pid, "python3", &fa, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        stdinFd = in[1];
        if (rc != 0) {
            close(out[0]);
            pid = -1;
            return false;
        }
        FILE* f = fdopen(out[0], "r");
        char line[128] = {0};
        const bool ok = f && fgets(line, sizeof line, f) && sscanf(line, "PORTS %d %d", &httpPort, &httpsPort) == 2;
        if (f)
            fclose(f);
        return ok;
    }
    void stop()
    {
        if (stdinFd >= 0)
            close(stdinFd);
        stdinFd = -1;
        if (pid > 0) {
            int status = 0;
            waitpid(pid, &status, 0);
        }
        pid = -1;
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
    pid_t pid = -1;
    int stdinFd = -1;
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
