// Asset manager against the local stand-in serving a folder over verified
// TLS (started here on free 127.0.0.1 ports; runs inside the loopback-only
// test namespace).
#include "toolkit/foundation/AssetsManagerEx.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/standin.h"

#include "engine/cocos2d.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using cocos2d::extension::AssetsManagerEx;
using cocos2d::extension::EventAssetsManagerEx;
using cocos2d::extension::EventListenerAssetsManagerEx;

namespace {

fwtest::StandIn* standIn = nullptr;

using fwtest::pumpFor;
using fwtest::pumpUntil;

void writeFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string sha256(const std::string& data)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), md, &n, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < n; ++i) {
        char b[3];
        std::snprintf(b, sizeof b, "%02x", md[i]);
        hex += b;
    }
    return hex;
}

// Every path below `root` (files, folders, links), sorted.
std::vector<std::string> allPaths(const fs::path& root)
{
    std::vector<std::string> paths;
    if (fs::exists(root))
        for (auto& e : fs::recursive_directory_iterator(root))
            paths.push_back(fs::relative(e.path(), root).string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

struct Seen {
    int code;
    std::string assetId;
    std::string message;
};

class AssetsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        standIn = new fwtest::StandIn();
        ASSERT_TRUE(standIn->start()) << "the stand-in service did not start";
    }
    static void TearDownTestSuite()
    {
        delete NSUI::NSHttpClient::getInstance();
        standIn->stop();
        delete standIn;
        standIn = nullptr;
    }
    void SetUp() override
    {
        NSUI::NSHttpClient::getInstance()->setCAFile(standIn->caFile());
        std::string pattern = (fs::temp_directory_path() / "fw_assets_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        active = dir / "active";
        storage = dir / "storage";
        fs::create_directories(active);
        auto* files = cocos2d::FileUtils::getInstance();
        files->setSearchPaths({active.string() + "/"});
        files->purgeCachedEntries();
    }
    void TearDown() override
    {
        for (auto& [manager, listener] : managers) {
            cocos2d::Director::getInstance()->getEventDispatcher()->removeEventListener(listener);
            manager->release();
        }
        cocos2d::FileUtils::getInstance()->setSearchPaths({});
        std::error_code ec;
        fs::remove_all(dir, ec);
        fs::remove_all(standIn->dir / "files", ec);
    }

    // Serves `assets` (path -> content) from the stand-in.
    void serve(const std::map<std::string, std::string>& assets)
    {
        fs::remove_all(standIn->dir / "files");
        for (const auto& [path, content] : assets)
            writeFile(standIn->dir / "files" / path, content);
    }

    // Writes the local manifest; `hashes` overrides the SHA-256 of a path.
    void writeManifest(const std::string& version, const std::map<std::string, std::string>& assets,
                       const std::string& packageUrl = "", const std::map<std::string, std::string>& hashes = {})
    {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                          "<key>version</key><string>" +
                          version + "</string><key>packageUrl</key><string>" +
                          (packageUrl.empty() ? standIn->https("/files") : packageUrl) +
                          "</string><key>assets</key><dict>";
        for (const auto& [path, content] : assets) {
            auto h = hashes.find(path);
            xml += "<key>" + path + "</key><dict><key>sha256</key><string>" +
                   (h != hashes.end() ? h->second : sha256(content)) + "</string><key>size</key><integer>" +
                   std::to_string(content.size()) + "</integer></dict>";
        }
        xml += "</dict></dict></plist>\n";
        writeFile(active / "project.manifest", xml);
        cocos2d::FileUtils::getInstance()->purgeCachedEntries();
    }

    // Runs one update with a fresh manager and returns the events it sent
    // once a final one (0, 2, 4, 8, 9) has arrived.
    std::vector<Seen> runUpdate()
    {
        auto* manager = AssetsManagerEx::create("project.manifest", storage.string(), true);
        manager->retain();
        auto events = std::make_shared<std::vector<Seen>>();
        auto* listener = EventListenerAssetsManagerEx::create(manager, [events](EventAssetsManagerEx* e) {
            EXPECT_TRUE(cocos2d::Director::getInstance()->isUIThread());
            events->push_back({e->getEventCode(), e->getAssetId(), e->getMessage()});
        });
        cocos2d::Director::getInstance()->getEventDispatcher()->addEventListenerWithFixedPriority(listener, 1);
        managers.emplace_back(manager, listener);
        manager->update();
        auto finished = [&] {
            for (const Seen& s : *events)
                if (s.code == 0 || s.code == 2 || s.code == 4 || s.code == 8 || s.code == 9)
                    return true;
            return false;
        };
        EXPECT_TRUE(pumpUntil(finished));
        pumpFor(100ms); // nothing may follow the final event
        return *events;
    }

    static std::vector<int> codes(const std::vector<Seen>& events)
    {
        std::vector<int> out;
        for (const Seen& s : events)
            out.push_back(s.code);
        return out;
    }

    int filesServed() { return served("files"); }
    int served(const char* what)
    {
        // The stand-in's counters, through a plain GET of /stats.
        struct Owner : cocos2d::Ref {};
        auto* owner = new Owner();
        std::string body;
        bool done = false;
        auto* request = new NSUI::NSHttpRequest();
        request->requestType = NSUI::NSHttpRequest::kGet;
        request->url = standIn->http("/stats");
        request->owner = owner;
        request->callback = [&](NSUI::NSHttpClient*, NSUI::NSHttpResponse* r) {
            body.assign(r->responseData.begin(), r->responseData.end());
            done = true;
        };
        NSUI::NSHttpClient::getInstance()->send(request);
        request->release();
        pumpUntil([&] { return done; });
        owner->release();
        return std::atoi(NSUI::UIJson::getJsonString(body, what).c_str());
    }

    fs::path dir, active, storage;
    std::vector<std::pair<AssetsManagerEx*, EventListenerAssetsManagerEx*>> managers;
};

const std::map<std::string, std::string> kVersion1 = {
    {"layout.csb", "<ui>first</ui>"},
    {"imgs/logo one.png", std::string(70000, 'p')},
    {"lang/deep/text.dat", "words"},
};

} // namespace

// A fresh storage folder gets every asset and the manifest; the same
// version again is up to date and downloads nothing.
TEST_F(AssetsTest, UpdateBringsEveryAssetThenIsUpToDate)
{
    serve(kVersion1);
    writeManifest("1.0", kVersion1);
    const int before = filesServed();
    std::vector<Seen> events = runUpdate();
    EXPECT_EQ(codes(events), (std::vector<int>{3, 5, 6, 5, 6, 5, 6, 8}));
    EXPECT_EQ(events[0].assetId, "1.0");
    for (const auto& [path, content] : kVersion1)
        EXPECT_TRUE(readFile(storage / path) == content) << path;
    EXPECT_EQ(readFile(storage / "project.manifest"), readFile(active / "project.manifest"));
    EXPECT_EQ(filesServed() - before, 3);
    // Only the assets and the manifest: no temporary file is left.
    EXPECT_EQ(allPaths(storage), (std::vector<std::string>{"imgs", "imgs/logo one.png", "lang", "lang/deep",
                                                           "lang/deep/text.dat", "layout.csb", "project.manifest"}));

    EXPECT_EQ(codes(runUpdate()), (std::vector<int>{4}));
    EXPECT_EQ(filesServed() - before, 3);
}

// A new version with one changed asset downloads that asset only.
TEST_F(AssetsTest, OnlyTheChangedAssetIsDownloaded)
{
    serve(kVersion1);
    writeManifest("1.0", kVersion1);
    ASSERT_EQ(codes(runUpdate()).back(), 8);

    auto version2 = kVersion1;
    version2["layout.csb"] = "<ui>second</ui>";
    serve(version2);
    writeManifest("2.0", version2);
    const int before = filesServed();
    std::vector<Seen> events = runUpdate();
    EXPECT_EQ(codes(events), (std::vector<int>{3, 5, 6, 8}));
    EXPECT_EQ(events[2].assetId, "layout.csb");
    EXPECT_EQ(filesServed() - before, 1);
    EXPECT_EQ(readFile(storage / "layout.csb"), "<ui>second</ui>");
    EXPECT_EQ(readFile(storage / "project.manifest"), readFile(active / "project.manifest"));
}

// An asset whose download does not match the manifest's SHA-256 is not
// kept, the update fails and the storage manifest stays as it was.
TEST_F(AssetsTest, AssetWithTheWrongHashIsNotKept)
{
    serve(kVersion1);
    writeManifest("1.0", kVersion1, "", {{"layout.csb", sha256("something else")}});
    std::vector<Seen> events = runUpdate();
    std::vector<int> got = codes(events);
    EXPECT_EQ(got.front(), 3);
    EXPECT_EQ(got.back(), 9);
    int errors = 0;
    for (const Seen& s : events) {
        if (s.code == 7) {
            ++errors;
            EXPECT_EQ(s.assetId, "layout.csb");
            EXPECT_NE(s.message.find("SHA-256"), std::string::npos) << s.message;
        }
    }
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(fs::exists(storage / "layout.csb"));
    EXPECT_FALSE(fs::exists(storage / "project.manifest"));
    for (const std::string& p : allPaths(storage))
        EXPECT_EQ(p.find(".part"), std::string::npos) << p;
}

// Manifests that could write outside the storage folder, or fetch over
// plain http, are refused whole: code 2, no request, nothing written.
TEST_F(AssetsTest, UnsafeManifestsAreRefused)
{
    serve(kVersion1);
    struct Case {
        const char* label;
        std::map<std::string, std::string> assets;
        std::string packageUrl;
    };
    const std::vector<Case> cases = {
        {"escaping path", {{"ok.txt", "fine"}, {"../evil.txt", "evil"}}, ""},
        {"nested escaping path", {{"imgs/../../evil.txt", "evil"}}, ""},
        {"absolute path", {{(dir / "evil.txt").string(), "evil"}}, ""},
        {"backslash", {{"imgs\\evil.txt", "evil"}}, ""},
        {"dot component", {{"./evil.txt", "evil"}}, ""},
        {"http package address", {{"ok.txt", "fine"}}, standIn->http("/files")},
    };
    const int before = filesServed();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        writeManifest("9.9", c.assets, c.packageUrl);
        EXPECT_EQ(codes(runUpdate()), (std::vector<int>{2}));
        EXPECT_TRUE(allPaths(storage).empty());
        EXPECT_FALSE(fs::exists(dir / "evil.txt"));
    }
    EXPECT_EQ(filesServed() - before, 0);

    fs::remove(active / "project.manifest");
    cocos2d::FileUtils::getInstance()->purgeCachedEntries();
    EXPECT_EQ(codes(runUpdate()), (std::vector<int>{0}));
}

// An existing symbolic link in the storage folder is replaced, never
// written through.
TEST_F(AssetsTest, SymbolicLinksInTheStorageAreNotFollowed)
{
    const fs::path outside = dir / "outside";
    fs::create_directories(outside);
    writeFile(outside / "layout.csb", "precious");
    fs::create_directories(storage);
    fs::create_symlink(outside / "layout.csb", storage / "layout.csb");
    fs::create_directory_symlink(outside, storage / "imgs");

    serve(kVersion1);
    writeManifest("1.0", kVersion1);
    std::vector<Seen> events = runUpdate();
    EXPECT_EQ(codes(events).back(), 9); // imgs/ is a link: that asset fails
    EXPECT_EQ(readFile(outside / "layout.csb"), "precious");
    EXPECT_FALSE(fs::exists(outside / "logo one.png"));
    EXPECT_FALSE(fs::is_symlink(storage / "layout.csb"));
    EXPECT_EQ(readFile(storage / "layout.csb"), "<ui>first</ui>");
}

// Each listener hears its own manager only; releasing a manager during its
// update cancels it: no event follows and no temporary file stays.
TEST_F(AssetsTest, EachListenerHearsItsManagerAndReleaseCancels)
{
    std::map<std::string, std::string> big = {{"big.bin", std::string(8 << 20, 'b')}};
    serve(big);
    writeManifest("1.0", big);

    auto* first = AssetsManagerEx::create("project.manifest", storage.string(), true);
    first->retain();
    auto* second = AssetsManagerEx::create("project.manifest", (dir / "other").string(), true);
    second->retain();
    std::vector<int> heardFirst, heardSecond;
    auto* l1 = EventListenerAssetsManagerEx::create(first, [&](EventAssetsManagerEx* e) {
        EXPECT_EQ(e->getAssetsManagerEx(), first);
        heardFirst.push_back(e->getEventCode());
    });
    auto* l2 = EventListenerAssetsManagerEx::create(second, [&](EventAssetsManagerEx* e) {
        heardSecond.push_back(e->getEventCode());
    });
    auto* dispatcher = cocos2d::Director::getInstance()->getEventDispatcher();
    dispatcher->addEventListenerWithFixedPriority(l1, 1);
    dispatcher->addEventListenerWithFixedPriority(l2, 1);

    first->update();
    ASSERT_TRUE(pumpUntil([&] { return !heardFirst.empty(); }));
    EXPECT_EQ(heardFirst, std::vector<int>{3});
    first->release(); // during the download
    pumpFor(500ms);
    EXPECT_EQ(heardFirst, std::vector<int>{3});
    EXPECT_TRUE(heardSecond.empty());
    EXPECT_TRUE(allPaths(storage).empty());

    dispatcher->removeEventListener(l1);
    dispatcher->removeEventListener(l2);
    second->release();
}
