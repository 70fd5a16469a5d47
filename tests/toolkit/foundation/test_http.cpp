// HTTP client and mix-in against a local stand-in service (started here on
// free 127.0.0.1 ports; runs inside the loopback-only test namespace).
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/UIHttpPhisical.h"

#include "engine/cocos2d.h"
#include "toolkit/foundation/standin.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using NSUI::NSHttpClient;
using NSUI::NSHttpRequest;
using NSUI::NSHttpResponse;
using NSUI::UIJson;

namespace {

using fwtest::StandIn;
StandIn* standIn = nullptr;

using fwtest::pumpFor;
using fwtest::pumpUntil;

struct Result {
    std::string tag;
    bool succeeded = false;
    int code = 0;
    std::string body;
};

class Owner : public cocos2d::Ref, public NSUI::UIHttpPhisical {
public:
    Owner() { httpOwner = this; }
    void onHttpResponse(NSUI::UIHttpResponse* r) override
    {
        results.push_back({r->tag, r->succeeded, r->responseCode, r->body});
    }
    std::vector<Result> results;
};

// A GET through a fresh owner, waited for.
Result fetch(const std::string& url)
{
    auto* o = new Owner();
    o->httpGet(url, "", "fetch");
    pumpUntil([&] { return !o->results.empty(); });
    Result r = o->results.empty() ? Result{} : o->results[0];
    o->release();
    return r;
}

int serverCount(const char* what) { return std::atoi(UIJson::getJsonString(fetch(standIn->http("/stats")).body, what).c_str()); }

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i % 251);
    return s;
}

std::string readFile(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

int closedPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

class HttpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        standIn = new StandIn();
        ASSERT_TRUE(standIn->start()) << "the stand-in service did not start";
    }
    static void TearDownTestSuite()
    {
        delete NSHttpClient::getInstance();
        standIn->stop();
        delete standIn;
        standIn = nullptr;
    }
    void SetUp() override
    {
        NSHttpClient::getInstance()->setCAFile("");
        NSHttpClient::getInstance()->setTimeoutForRead(60);
        owner = new Owner();
    }
    void TearDown() override { owner->release(); }

    Owner* owner = nullptr;
};

} // namespace

TEST_F(HttpTest, TextRequestsCarryMethodBodyAndHeaders)
{
    const std::string json = "application/json; charset=utf-8";
    const std::string hostile = "{\"name\":\"O'Brien, \\\"Mary\\\"\"}";
    struct Case {
        std::function<void(Owner*, const std::string& tag)> send;
        const char* method;
        std::string body; // as the server received it
        std::string contentType;
        std::string authorization;
    };
    const std::string echo = standIn->http("/echo");
    const std::vector<Case> cases = {
        {[&](Owner* o, const std::string& t) { o->doHttpGet(echo, "not sent", t, "", ""); }, "GET", "", json, ""},
        {[&](Owner* o, const std::string& t) { o->doHttpPost(echo, hostile, t, "user:pa:ss", ""); }, "POST", hostile,
         json, "Basic dXNlcjpwYTpzcw=="},
        {[&](Owner* o, const std::string& t) { o->httpPost(echo, hostile, t, "user:pa:ss", ""); }, "POST", hostile,
         json, "Basic dXNlcjpwYTpzcw=="},
        {[&](Owner* o, const std::string& t) { o->doHttpPost(echo, "", t, "", ""); }, "POST", "", json, ""},
        {[&](Owner* o, const std::string& t) { o->doHttpPut(echo, "a=1", t, "", "Content-Type: text/plain"); },
         "PUT", "a=1", "text/plain", ""},
        {[&](Owner* o, const std::string& t) { o->httpPut(echo, "x", t, "", ""); }, "PUT", "x", json, ""},
        {[&](Owner* o, const std::string& t) { o->doHttpDelete(echo, "not sent", t, "u:p", ""); }, "DELETE", "",
         json, "Basic dTpw"},
        {[&](Owner* o, const std::string& t) { o->httpDelete(echo, "", t, "", ""); }, "DELETE", "", json, ""},
        {[&](Owner* o, const std::string& t) { o->httpGet(echo, "", t, "", "X-Extra: 1"); }, "GET", "", "", ""},
    };
    for (size_t i = 0; i < cases.size(); ++i)
        cases[i].send(owner, "tag" + std::to_string(i));
    ASSERT_TRUE(pumpUntil([&] { return owner->results.size() == cases.size(); }));

    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Result& r = owner->results[i]; // delivered in sending order
        EXPECT_EQ(r.tag, "tag" + std::to_string(i));
        EXPECT_TRUE(r.succeeded);
        EXPECT_EQ(r.code, 200);
        EXPECT_EQ(UIJson::getJsonString(r.body, "method"), cases[i].method);
        EXPECT_EQ(UIJson::getJsonString(r.body, "body"), cases[i].body);
        EXPECT_EQ(UIJson::getJsonString(r.body, "contentType"), cases[i].contentType);
        EXPECT_EQ(UIJson::getJsonString(r.body, "authorization"), cases[i].authorization);
    }
}

TEST_F(HttpTest, StatusDecidesSuccessAndRedirectsFollowPerMethod)
{
    struct Case {
        std::string path;
        int method; // request kind
        bool succeeded;
        int code;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"/status/200", NSHttpRequest::kGet, true, 200, "status 200"},
        {"/status/204", NSHttpRequest::kGet, true, 204, ""},
        {"/status/299", NSHttpRequest::kGet, true, 299, "status 299"},
        {"/status/300", NSHttpRequest::kGet, false, 300, "status 300"},
        {"/status/404", NSHttpRequest::kPost, false, 404, "status 404"},
        {"/status/500", NSHttpRequest::kDelete, false, 500, "status 500"},
        {"/redirect", NSHttpRequest::kGet, true, 200, "GET"},
        {"/redirect", NSHttpRequest::kPost, true, 200, "GET"},
        {"/redirect", NSHttpRequest::kDelete, true, 200, "DELETE"},
        {"/redirect", NSHttpRequest::kPut, false, 302, "moved"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string url = standIn->http(cases[i].path), tag = std::to_string(i);
        switch (cases[i].method) {
        case NSHttpRequest::kGet: owner->doHttpGet(url, "", tag); break;
        case NSHttpRequest::kPost: owner->doHttpPost(url, "", tag); break;
        case NSHttpRequest::kPut: owner->doHttpPut(url, "", tag); break;
        case NSHttpRequest::kDelete: owner->doHttpDelete(url, "", tag); break;
        }
    }
    ASSERT_TRUE(pumpUntil([&] { return owner->results.size() == cases.size(); }));
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].path + " kind " + std::to_string(cases[i].method));
        const Result& r = owner->results[i];
        EXPECT_EQ(r.succeeded, cases[i].succeeded);
        EXPECT_EQ(r.code, cases[i].code);
        if (cases[i].path == "/redirect" && r.code == 200)
            EXPECT_EQ(UIJson::getJsonString(r.body, "method"), cases[i].body);
        else
            EXPECT_EQ(r.body, cases[i].body);
    }
}

TEST_F(HttpTest, UnreachableServerFailsWithTransportMessage)
{
    owner->doHttpGet("http://127.0.0.1:" + std::to_string(closedPort()) + "/", "", "down");
    ASSERT_TRUE(pumpUntil([&] { return !owner->results.empty(); }));
    const Result& r = owner->results[0];
    EXPECT_EQ(r.tag, "down");
    EXPECT_FALSE(r.succeeded);
    EXPECT_EQ(r.code, -1);
    EXPECT_FALSE(r.body.empty()); // libcurl's message
}

TEST_F(HttpTest, FormUploadSendsFileThenUploadInfo)
{
    const fs::path file = standIn->dir / "series 1.dcm";
    {
        std::ofstream f(file, std::ios::binary);
        f << pattern(70000);
    }
    const std::string info = "{\"patient\":\"O'Brien, \\\"M\\\"\"}";
    owner->httpUpload("file", info, file.string(), "application/dicom", "up", standIn->http("/upload"));
    owner->httpUpload("file", info, file.string(), "application/dicom", "up-auth", standIn->http("/upload"),
                      "user:pa:ss", "X-Extra: 1");
    owner->httpUpload("file", info, (standIn->dir / "missing.dcm").string(), "application/dicom", "missing",
                      standIn->http("/upload"));
    ASSERT_TRUE(pumpUntil([&] { return owner->results.size() == 3; }));

    for (int i = 0; i < 2; ++i) {
        const Result& r = owner->results[i];
        SCOPED_TRACE(r.tag);
        EXPECT_TRUE(r.succeeded);
        EXPECT_EQ(UIJson::getJsonString(r.body, "parts"), "file,uploadInfo");
        EXPECT_EQ(UIJson::getJsonString(r.body, "fileName"), "series 1.dcm");
        EXPECT_EQ(UIJson::getJsonString(r.body, "fileType"), "application/dicom");
        EXPECT_EQ(UIJson::getJsonString(r.body, "fileSize"), "70000");
        EXPECT_EQ(UIJson::getJsonString(r.body, "fileOk"), "1");
        EXPECT_EQ(UIJson::getJsonString(r.body, "uploadInfo"), info);
        EXPECT_EQ(UIJson::getJsonString(r.body, "contentType").rfind("multipart/form-data", 0), 0u);
    }
    EXPECT_EQ(UIJson::getJsonString(owner->results[0].body, "authorization"), "");
    EXPECT_EQ(UIJson::getJsonString(owner->results[1].body, "authorization"), "Basic dXNlcjpwYTpzcw==");
    EXPECT_EQ(owner->results[2].tag, "missing");
    EXPECT_FALSE(owner->results[2].succeeded);
}

TEST_F(HttpTest, DownloadWritesTheFileOrFails)
{
    const fs::path target = standIn->dir / "new folder" / "deeper" / "image.raw";
    owner->httpDownload(standIn->http("/download/300000"), "{\"q\":1}", target.string(), "dl", false);
    owner->httpDownload(standIn->http("/status/404"), "", (standIn->dir / "err.bin").string(), "dl404", false);
    ASSERT_TRUE(pumpUntil([&] { return owner->results.size() == 2; }));

    const Result& ok = owner->results[0];
    EXPECT_TRUE(ok.succeeded);
    EXPECT_EQ(ok.code, 200);
    EXPECT_EQ(UIJson::getJsonString(ok.body, "localFile"), target.string());
    EXPECT_EQ(UIJson::getJsonString(ok.body, "fileSize"), "300000");
    EXPECT_TRUE(readFile(target) == pattern(300000));

    const Result& notFound = owner->results[1];
    EXPECT_FALSE(notFound.succeeded);
    EXPECT_EQ(notFound.code, 404);
    EXPECT_EQ(notFound.body, "");
}

TEST_F(HttpTest, DownloadThatCannotWriteFails)
{
    // A folder that cannot be made (its parent is a file), and a device
    // that accepts the open but refuses the data.
    const fs::path blocker = standIn->dir / "plain-file";
    std::ofstream(blocker) << "x";
    const int downloadsBefore = serverCount("download");

    struct Seen {
        bool called = false;
        bool succeeded = true;
        std::string errorText;
    };
    Seen seen[2];
    const std::string paths[2] = {(blocker / "sub" / "out.bin").string(), "/dev/full"};
    for (int i = 0; i < 2; ++i) {
        auto* req = new NSHttpRequest();
        req->requestType = NSHttpRequest::kDownload;
        req->url = standIn->http("/download/200000");
        req->downloadPath = paths[i];
        req->owner = owner;
        Seen* s = &seen[i];
        req->callback = [s](NSHttpClient*, NSHttpResponse* r) {
            s->called = true;
            s->succeeded = r->succeeded;
            s->errorText = r->errorText;
        };
        NSHttpClient::getInstance()->send(req);
        req->release();
    }
    // And through the mix-in.
    owner->httpDownload(standIn->http("/download/10"), "", paths[0], "mixin", false);
    ASSERT_TRUE(pumpUntil([&] { return seen[0].called && seen[1].called && owner->results.size() == 1; }));

    EXPECT_FALSE(seen[0].succeeded);
    EXPECT_EQ(seen[0].errorText, "cannot open download file");
    EXPECT_FALSE(seen[1].succeeded);
    EXPECT_FALSE(seen[1].errorText.empty());
    EXPECT_FALSE(owner->results[0].succeeded);
    EXPECT_EQ(owner->results[0].body, "");
    EXPECT_FALSE(fs::exists(blocker / "sub"));
    // Only the /dev/full download reached the server.
    EXPECT_EQ(serverCount("download") - downloadsBefore, 1);
}

TEST_F(HttpTest, SlowReplyTimesOut)
{
    NSHttpClient::getInstance()->setTimeoutForRead(1);
    owner->doHttpGet(standIn->http("/slow/3000"), "", "slow");
    ASSERT_TRUE(pumpUntil([&] { return !owner->results.empty(); }));
    const Result& r = owner->results[0];
    EXPECT_FALSE(r.succeeded);
    EXPECT_EQ(r.code, -1);
    EXPECT_NE(r.body.find("imed out"), std::string::npos) << r.body;
}

TEST_F(HttpTest, CancelledOwnerIsNeverCalledBack)
{
    auto* other = new Owner();
    owner->doHttpGet(standIn->http("/slow/700"), "", "a-in-flight");
    owner->doHttpGet(standIn->http("/echo"), "", "a-queued-1");
    other->doHttpGet(standIn->http("/echo"), "", "b");
    owner->doHttpPost(standIn->http("/echo"), "", "a-queued-2");
    std::this_thread::sleep_for(300ms); // the slow one is now on the wire
    NSHttpClient::getInstance()->cancelRequestsForOwner(owner);

    ASSERT_TRUE(pumpUntil([&] { return other->results.size() == 1; }));
    EXPECT_EQ(other->results[0].tag, "b");
    // The transfer under way ends and is dropped; nothing reaches the owner.
    pumpFor(1000ms);
    EXPECT_TRUE(owner->results.empty());

    // An owner destroyed with requests queued and in flight.
    auto* doomed = new Owner();
    doomed->doHttpGet(standIn->http("/slow/300"), "", "d1");
    doomed->doHttpGet(standIn->http("/echo"), "", "d2");
    doomed->release(); // would be a use after free if anything were delivered
    other->doHttpGet(standIn->http("/echo"), "", "after");
    ASSERT_TRUE(pumpUntil([&] { return other->results.size() == 2; }));
    EXPECT_EQ(other->results[1].tag, "after");
    other->release();

    // The owner's later requests are answered again.
    owner->doHttpGet(standIn->http("/echo"), "", "a-again");
    ASSERT_TRUE(pumpUntil([&] { return owner->results.size() == 1; }));
    EXPECT_EQ(owner->results[0].tag, "a-again");
}

TEST_F(HttpTest, TlsIsVerified)
{
    struct Case {
        std::string url;
        bool useTestCa;
        bool succeeded;
    };
    const std::vector<Case> cases = {
        {standIn->https("/echo"), true, true},
        {standIn->https("/echo"), false, false},               // not signed by a trusted CA
        {standIn->https("/echo", "localhost"), true, false},    // certificate names another host
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + (c.useTestCa ? " with test CA" : " with system CAs"));
        NSHttpClient::getInstance()->setCAFile(c.useTestCa ? standIn->caFile() : "");
        auto* o = new Owner();
        o->doHttpPost(c.url, "{\"password\":\"secret\"}", "tls", "user:secret");
        ASSERT_TRUE(pumpUntil([&] { return !o->results.empty(); }));
        const Result& r = o->results[0];
        EXPECT_EQ(r.succeeded, c.succeeded);
        if (c.succeeded) {
            EXPECT_EQ(UIJson::getJsonString(r.body, "body"), "{\"password\":\"secret\"}");
        } else {
            EXPECT_EQ(r.code, -1);
            EXPECT_FALSE(r.body.empty());
        }
        o->release();
    }
}

TEST_F(HttpTest, TeardownCancelsQueuedRequests)
{
    const int slowBefore = serverCount("slow");
    for (int i = 0; i < 4; ++i)
        owner->doHttpGet(standIn->http("/slow/3000"), "", "s" + std::to_string(i));
    std::this_thread::sleep_for(300ms); // the first is on the wire
    delete NSHttpClient::getInstance();
    pumpFor(200ms);
    EXPECT_TRUE(owner->results.empty());
    // Only the request under way reached the server; it was aborted, and the
    // queued ones were never performed.
    EXPECT_EQ(serverCount("slow") - slowBefore, 1);
}

// A reply kept in memory is bounded; the same bytes downloaded to a file
// are not. The server sends no length: the body ends when it closes.
TEST_F(HttpTest, ReplyInMemoryIsBoundedDownloadIsNot)
{
    constexpr size_t kLarge = 20u << 20, kSmall = 2u << 20;
    const fs::path target = standIn->dir / "unsized.bin";
    owner->doHttpGet(standIn->http("/unsized/" + std::to_string(kLarge)), "", "large");
    owner->doHttpGet(standIn->http("/unsized/" + std::to_string(kSmall)), "", "small");
    owner->httpDownload(standIn->http("/unsized/" + std::to_string(kLarge)), "", target.string(), "file", false);
    ASSERT_TRUE(pumpUntil([&] { return owner->results.size() == 3; }));

    EXPECT_FALSE(owner->results[0].succeeded);
    EXPECT_TRUE(owner->results[0].body == "the reply is larger than 8 MiB") << owner->results[0].body.size();
    EXPECT_TRUE(owner->results[1].succeeded);
    EXPECT_TRUE(owner->results[1].body == pattern(kSmall));
    EXPECT_TRUE(owner->results[2].succeeded);
    EXPECT_TRUE(readFile(target) == pattern(kLarge));
}

// At most five redirects, and never from https back to http.
TEST_F(HttpTest, RedirectsAreBoundedAndNeverDowngrade)
{
    NSHttpClient::getInstance()->setCAFile(standIn->caFile());
    const int loopsBefore = serverCount("loop");
    struct Case {
        std::string url;
        bool succeeded;
        const char* error; // part of the error text
    };
    const std::vector<Case> cases = {
        {standIn->http("/loop/0"), false, "edirects"},
        {standIn->http("/to-https"), true, ""},
        {standIn->https("/to-http"), false, "https to http"},
    };
    for (size_t i = 0; i < cases.size(); ++i)
        owner->doHttpGet(cases[i].url, "", std::to_string(i));
    ASSERT_TRUE(pumpUntil([&] { return owner->results.size() == cases.size(); }));
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].url);
        const Result& r = owner->results[i];
        EXPECT_EQ(r.succeeded, cases[i].succeeded);
        if (r.succeeded)
            EXPECT_EQ(UIJson::getJsonString(r.body, "method"), "GET");
        else
            EXPECT_NE(r.body.find(cases[i].error), std::string::npos) << r.body;
    }
    // The first request and five redirects.
    EXPECT_EQ(serverCount("loop") - loopsBefore, 6);
}

// Cancelling an owner ends its transfer under way at once: the next owner's
// request does not wait for the slow reply.
TEST_F(HttpTest, CancelAbortsTheOwnersTransferUnderWay)
{
    auto* other = new Owner();
    owner->doHttpGet(standIn->http("/slow/20000"), "", "slow");
    other->doHttpGet(standIn->http("/echo"), "", "next");
    std::this_thread::sleep_for(300ms); // the slow one is on the wire
    const auto cancelled = std::chrono::steady_clock::now();
    NSHttpClient::getInstance()->cancelRequestsForOwner(owner);
    ASSERT_TRUE(pumpUntil([&] { return other->results.size() == 1; }));
    // Far below the 20 s of the slow reply.
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, 5s);
    EXPECT_TRUE(other->results[0].succeeded);
    EXPECT_TRUE(owner->results.empty());
    other->release();
}

// libcurl leaves its message buffer empty for some failures (here a header
// line beyond its limit); the error text is never empty.
TEST_F(HttpTest, FailureWithoutCurlMessageHasTheCodeText)
{
    owner->doHttpGet(standIn->http("/long-header"), "", "long");
    ASSERT_TRUE(pumpUntil([&] { return owner->results.size() == 1; }));
    EXPECT_FALSE(owner->results[0].succeeded);
    EXPECT_FALSE(owner->results[0].body.empty());
}

TEST(HttpHelpers, Base64Encode)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"}, {"\xff\xfe\xfd", "//79"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NSUI::base64Encode(c.in, static_cast<uint32_t>(std::strlen(c.in))), c.out) << c.in;
}

TEST(HttpHelpers, ResponseRecord)
{
    auto* rec = NSUI::UIHttpResponse::create();
    EXPECT_EQ(rec->tag, "-1");
    EXPECT_FALSE(rec->succeeded);
    EXPECT_EQ(rec->responseCode, -1);
    EXPECT_EQ(rec->body, "");
    EXPECT_EQ(NSUI::UIHttpResponse::createWithResponse(nullptr, nullptr), nullptr);

    auto* req = new NSHttpRequest();
    req->tag = std::string("t\0x", 3);
    auto* resp = new NSHttpResponse(req);
    resp->errorText = "boom";
    auto* fromError = NSUI::UIHttpResponse::createWithResponse(NSHttpClient::getInstance(), resp);
    EXPECT_EQ(fromError->tag, "t");
    EXPECT_EQ(fromError->body, "boom");
    resp->responseData = {'o', 'k'};
    EXPECT_EQ(NSUI::UIHttpResponse::createWithResponse(NSHttpClient::getInstance(), resp)->body, "ok");
    resp->release();
    req->release();
}
