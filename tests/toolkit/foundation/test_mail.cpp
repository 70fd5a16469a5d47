// Mail hand-off through xdg-email, with a stand-in script on PATH.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/foundation/NSMail.h"

namespace fs = std::filesystem;

namespace {

class MailTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "nsmail-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        const char* path = getenv("PATH");
        savedPath = path ? path : "";
    }
    void TearDown() override
    {
        setenv("PATH", savedPath.c_str(), 1);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // A stand-in xdg-email that writes each argument on its own line, NUL
    // terminated, then renames the record into place.
    void installStandIn()
    {
        fs::create_directories(dir / "bin");
        fs::path script = dir / "bin" / "xdg-email";
        std::ofstream out(script);
        out << "#!/bin/sh\n"
               "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"" << (dir / "args.tmp").string() << "\"\n"
               "mv \"" << (dir / "args.tmp").string() << "\" \"" << (dir / "args").string() << "\"\n";
        out.close();
        chmod(script.c_str(), 0755);
        setenv("PATH", ((dir / "bin").string() + ":/usr/bin:/bin").c_str(), 1);
    }

    std::vector<std::string> receivedArguments()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!fs::exists(dir / "args") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(dir / "args", std::ios::binary);
        std::vector<std::string> args;
        for (std::string a; std::getline(in, a, '\0');)
            args.push_back(a);
        return args;
    }

    fs::path dir;
    std::string savedPath;
};

TEST_F(MailTest, HandsSubjectBodyAndAttachmentToXdgEmail)
{
    installStandIn();
    fs::path attachment = dir / "series.zip";
    std::ofstream(attachment) << "zip";
    const std::string subject = "Shared images: M\xC3\xBCller; $(rm -rf /) `x`";
    const std::string body = "Line one\nLine \"two\" & 'three'";
    EXPECT_EQ(NSUI::sendMail(subject, body, attachment.string()), "");
    EXPECT_EQ(receivedArguments(), (std::vector<std::string>{"--utf8", "--subject", subject, "--body", body,
                                                             "--attach", attachment.string()}));
}

TEST_F(MailTest, EmptyPartsAreLeftOut)
{
    installStandIn();
    EXPECT_EQ(NSUI::sendMail("Subject only", "", ""), "");
    EXPECT_EQ(receivedArguments(), (std::vector<std::string>{"--utf8", "--subject", "Subject only"}));
}

TEST_F(MailTest, NotSupportedWithoutXdgEmailOrAttachment)
{
    fs::create_directories(dir / "empty");
    setenv("PATH", (dir / "empty").c_str(), 1);
    EXPECT_EQ(NSUI::sendMail("s", "b", ""), "not support");

    installStandIn();
    EXPECT_EQ(NSUI::sendMail("s", "b", (dir / "missing.zip").string()), "not support");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(dir / "args"));
}

}  // namespace
