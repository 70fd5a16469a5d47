#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSFormat.h"

#include "engine/platform/FileUtils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace NSUI;
using Strings = std::vector<std::string>;

namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "nsfiles-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root, ec);
    }
    std::string path(const std::string& rel) const { return root + "/" + rel; }
    void put(const std::string& rel, const std::string& content) const
    {
        fs::create_directories(fs::path(path(rel)).parent_path());
        std::ofstream(path(rel), std::ios::binary) << content;
    }
    std::string get(const std::string& rel) const
    {
        std::ifstream in(path(rel), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A tree with hidden files and folders, an empty file and equal names in
    // two subfolders.
    void makeTree() const
    {
        put("b.dcm", "B");
        put("a.txt", "A");
        put(".hidden", "H");
        put("empty", "");
        put("sub/a.txt", "SA");
        put("sub/deeper/z", "Z");
        put(".git/config", "G");
        put("c/a.txt", "CA");
        fs::create_directories(path("emptydir"));
    }
    std::string root;
};

}  // namespace

TEST_F(Files, ListFilesInNameOrder)
{
    makeTree();
    struct Case { bool recurse, full; Strings want; };
    const Case cases[] = {
        {false, false, {".hidden", "a.txt", "b.dcm", "empty"}},
        {true, false, {".hidden", "a.txt", "b.dcm", "a.txt", "empty", "a.txt", "z"}},
        {true, true, {path(".hidden"), path("a.txt"), path("b.dcm"), path("c/a.txt"), path("empty"),
                      path("sub/a.txt"), path("sub/deeper/z")}},
    };
    for (const Case& c : cases) {
        for (const std::string& folder : {root, root + "/"}) {
            Strings got{"kept"};
            listFiles(folder, got, c.recurse, c.full);
            Strings want{"kept"};
            want.insert(want.end(), c.want.begin(), c.want.end());
            EXPECT_EQ(got, want) << folder << " recurse=" << c.recurse << " full=" << c.full;
        }
    }
    Strings none;
    listFiles(path("missing"), none, true, true);
    listFiles("", none, true, true);
    EXPECT_TRUE(none.empty());
}

TEST_F(Files, ListFoldersAndLinks)
{
    makeTree();
    fs::create_symlink(root, path("sub/loop"));  // a link back up the tree
    fs::create_symlink(path("missing"), path("dangling"));
    Strings folders;
    listFolders(root + "/", folders);
    EXPECT_EQ(folders, (Strings{path("c"), path("emptydir"), path("sub")}));

    Strings files;
    listFiles(root, files, true, false);  // must end despite the loop
    EXPECT_EQ(std::count(files.begin(), files.end(), "z"), 1);
    EXPECT_EQ(std::count(files.begin(), files.end(), "dangling"), 0);
}

TEST_F(Files, WriteCreatesFoldersAndReportsFailure)
{
    EXPECT_TRUE(writeStringToFile(path("new/deep/x.txt").c_str(), "hello"));
    EXPECT_EQ(get("new/deep/x.txt"), "hello");
    EXPECT_TRUE(writeBufferToFile(path("new/deep/x.txt").c_str(), "ab", 2));  // truncates
    EXPECT_EQ(get("new/deep/x.txt"), "ab");
    EXPECT_TRUE(writeBufferToFile(path("zero/len").c_str(), nullptr, 0));
    EXPECT_TRUE(fs::exists(path("zero/len")));
    EXPECT_EQ(fs::file_size(path("zero/len")), 0u);

    put("blocker", "file in the way");
    EXPECT_FALSE(writeStringToFile(path("blocker/x.txt").c_str(), "x"));
    EXPECT_FALSE(writeStringToFile(path("new").c_str(), "x"));  // a folder
    EXPECT_FALSE(writeStringToFile("/dev/full", "x"));  // every write fails
}

TEST_F(Files, CopyFile)
{
    put("src/data.bin", std::string("\0\x01\x02zz", 5));
    put("src/empty", "");
    EXPECT_TRUE(copyFile(path("src/data.bin"), path("dst/one/data.bin")));
    EXPECT_EQ(get("dst/one/data.bin"), std::string("\0\x01\x02zz", 5));

    EXPECT_TRUE(copyFile(path("src/empty"), path("dst/empty")));
    ASSERT_TRUE(fs::exists(path("dst/empty")));
    EXPECT_EQ(fs::file_size(path("dst/empty")), 0u);

    // Onto itself, by the same text or by another name: nothing changes.
    EXPECT_TRUE(copyFile(path("src/data.bin"), path("src/data.bin")));
    EXPECT_TRUE(copyFile(path("src/data.bin"), path("src/../src/data.bin")));
    EXPECT_EQ(get("src/data.bin"), std::string("\0\x01\x02zz", 5));

    EXPECT_FALSE(copyFile(path("src/missing"), path("dst/missing")));
    EXPECT_FALSE(fs::exists(path("dst/missing")));
    EXPECT_FALSE(copyFile(path("src"), path("dst/folder")));
}

TEST_F(Files, CopyFolderKeepsEmptyFilesAndHiddenFolders)
{
    makeTree();
    const std::string src = root, dst = root + "-copy";
    ASSERT_TRUE(copyFolder(src, dst));
    Strings from, to;
    listFiles(src, from, true, false);
    listFiles(dst, to, true, false);
    EXPECT_EQ(from, to);
    EXPECT_TRUE(fs::exists(dst + "/empty"));
    EXPECT_EQ(fs::file_size(dst + "/empty"), 0u);
    std::ifstream in(dst + "/sub/deeper/z");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "Z");
    EXPECT_FALSE(fs::exists(dst + "/.git"));
    EXPECT_TRUE(copyFolder(src, src));
    fs::remove_all(dst);
}

TEST_F(Files, CopyFolderFailsOnAnUnreadableFile)
{
    put("src/a", "readable");
    // A regular file whose reads fail even for root: reading a process's
    // memory at address 0 gives EIO.
    fs::create_symlink("/proc/self/mem", path("src/b"));
    put("src/c", "after");
    EXPECT_FALSE(copyFolder(path("src"), path("dst")));
    EXPECT_EQ(get("dst/a"), "readable");  // what was copied so far stays
    EXPECT_FALSE(fs::exists(path("dst/c")));
    EXPECT_FALSE(copyFile(path("src/b"), path("dst/b2")));
}

TEST_F(Files, CreationTimeIsLocal)
{
    setenv("TZ", "XYZ-5:45", 1);
    tzset();
    put("f", "x");
    struct stat st {};
    ASSERT_EQ(stat(path("f").c_str(), &st), 0);
    DateTimeFields f;
    ASSERT_TRUE(parseDateTime(getFileCreationTime(path("f")), f));
    struct tm t {};
    t.tm_year = f.year - 1900;
    t.tm_mon = f.month - 1;
    t.tm_mday = f.day;
    t.tm_hour = f.hour;
    t.tm_min = f.minute;
    t.tm_sec = f.second;
    t.tm_isdst = -1;
    EXPECT_LE(std::llabs(static_cast<long long>(mktime(&t)) - st.st_mtime), 2);

    EXPECT_EQ(getFileCreationTime(""), "");
    DateTimeFields now;
    EXPECT_TRUE(parseDateTime(getFileCreationTime(path("missing")), now));  // the current time
    unsetenv("TZ");
    tzset();
}

TEST(FilePaths, DirectoryPath)
{
    struct Case { const char* in; const char* want; };
    const Case cases[] = {
        {"a/b/c.txt", "a/b"}, {"a/b/", "a"},   {"a\\b\\c", "a\\b"}, {"a\\b\\", "a\\b"},
        {"/c.txt", ""},       {"c.txt", "c.txt"}, {"", ""},          {"///", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(getDirectoryPath(c.in), c.want) << c.in;
}

TEST(FilePaths, SleepFor)
{
    const auto t0 = std::chrono::steady_clock::now();
    sleepFor(0, 20'999'999);  // 20 ms; the rest is truncated
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(20));
}

TEST_F(Files, ReadFileData)
{
    put("bin", std::string("ab\0cd", 5));
    put("empty", "");
    struct Case { std::string path; bool binary; uint32_t length; std::string start; };
    const Case cases[] = {
        {path("bin"), true, 5, std::string("ab\0cd", 5)},
        {path("bin"), false, 5, std::string("ab\0\0\0", 5)},  // text stops at the zero byte
        {path("empty"), true, 0, ""},
        {path("empty"), false, 0, ""},
        {path("missing"), true, 0, ""},
    };
    for (const Case& c : cases) {
        uint32_t length = 12345;
        unsigned char* data = readFileData(c.path.c_str(), &length, c.binary);
        EXPECT_EQ(length, c.length) << c.path << " binary=" << c.binary;
        if (c.length == 0) {
            EXPECT_EQ(data, nullptr);
            continue;
        }
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data), c.length), c.start);
        for (uint32_t i = 0; i < 10; ++i)
            EXPECT_EQ(data[c.length + i], 0) << "spare byte " << i;
        delete[] data;
    }
}

TEST_F(Files, RelativeNamesGoThroughTheSearchPaths)
{
    put("res/table.plist", "content");
    cocos2d::FileUtils::getInstance()->setSearchPaths({root + "/res"});
    uint32_t length = 0;
    unsigned char* data = readFileData("table.plist", &length, true);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), "content");
    delete[] data;
    EXPECT_TRUE(copyFile("table.plist", path("out/table.plist")));
    EXPECT_EQ(get("out/table.plist"), "content");
    cocos2d::FileUtils::destroyInstance();
}
