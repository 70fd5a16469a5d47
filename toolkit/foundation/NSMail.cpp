#include "toolkit/foundation/NSMail.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"

extern char** environ;

namespace NSUI {

std::string sendMail(const std::string& subject, const std::string& body, const std::string& attachment)
{
    static const std::string kNotSupported = "not support";

    std::vector<std::string> args = {"xdg-email", "--utf8"};
    if (!subject.empty()) {
        args.emplace_back("--subject");
        args.push_back(subject);
    }
    if (!body.empty()) {
        args.emplace_back("--body");
        args.push_back(body);
    }
    if (!attachment.empty()) {
        if (access(attachment.c_str(), R_OK) != 0) {
            cocos2d::log("sendMail: cannot read the attachment \"%s\"", attachment.c_str());
            return kNotSupported;
        }
        // xdg-email wants the file by a full path.
        char* full = realpath(attachment.c_str(), nullptr);
        args.emplace_back("--attach");
        args.push_back(full ? full : attachment);
        free(full);
    }

    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "xdg-email", nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        cocos2d::log("sendMail: cannot start xdg-email (%s)", strerror(rc));
        return kNotSupported;
    }
    // Reap the child without making the caller wait for the mail program.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return "";
}

}  // namespace NSUI
