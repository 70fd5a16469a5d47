// Zip and unzip tools: round trips checked against Info-ZIP and Python's
// zipfile, hostile archives, cancellation, long paths and progress.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSThread.h"
#include "toolkit/foundation/NSZipTools.h"

namespace fs = std::filesystem;

namespace {

const char* const kUnicodeName = "\xC3\x9Cn\xC3\xAF c\xC3\xB8""d\xC3\xA9 \xE5\x90\x8D\xE5\x89\x8D.dcm";  // "Ünï cødé 名前.dcm"

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string randomBytes(size_t size, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

// Every regular file below `root` by its path relative to `root`, with content.
std::map<std::string, std::string> fileTree(const fs::path& root)
{
    std::map<std::string, std::string> tree;
    if (!fs::exists(root))
        return tree;
    for (auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.symlink_status().type() == fs::file_type::regular)
            tree[fs::relative(entry.path(), root).string()] = readFile(entry.path());
    }
    return tree;
}

// Every path (files, folders, links) below `root`.
std::vector<std::string> allPaths(const fs::path& root)
{
    std::vector<std::string> paths;
    if (!fs::exists(root))
        return paths;
    for (auto& entry : fs::recursive_directory_iterator(root))
        paths.push_back(fs::relative(entry.path(), root).string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

int run(const std::string& command) { return std::system(command.c_str()); }

const std::string kCraft = std::string(FW_SOURCE_DIR) + "/tests/toolkit/foundation/zipcraft.py";

// Free bytes for an unprivileged writer on the file system of `path`.
uint64_t freeSpace(const fs::path& path)
{
    struct statvfs st {};
    if (statvfs(path.c_str(), &st) != 0)
        return 0;
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

// One byte of a file at `offset`, or -1.
int byteAt(const fs::path& path, uint64_t offset)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    unsigned char c = 0;
    ssize_t n = pread(fd, &c, 1, static_cast<off_t>(offset));
    close(fd);
    return n == 1 ? c : -1;
}

// True when two files hold the same bytes (read in pieces: they may be
// larger than memory).
bool sameContent(const fs::path& a, const fs::path& b)
{
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb || fs::file_size(a) != fs::file_size(b))
        return false;
    std::vector<char> ba(1 << 22), bb(1 << 22);
    while (fa && fb) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() || std::memcmp(ba.data(), bb.data(), static_cast<size_t>(fa.gcount())) != 0)
            return false;
    }
    return fa.eof() && fb.eof();
}

class ZipTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "nszip-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // A series folder: nested folders, an empty file, a UTF-8 name, a
    // hidden file that zipFolder leaves out, and an empty folder.
    fs::path makeSeries()
    {
        fs::path series = dir / "src" / "series";
        writeFile(series / "a.dcm", randomBytes(200000, 1));
        writeFile(series / "empty.bin", "");
        writeFile(series / "sub" / "b.dcm", std::string(50000, 'b'));
        writeFile(series / "sub" / "deeper" / "c.txt", "third level\n");
        writeFile(series / kUnicodeName, randomBytes(3000, 2));
        writeFile(series / ".hidden", "not packed");
        fs::create_directories(series / "emptydir");
        return series;
    }

    // Runs a Python snippet with the arguments given (paths, no quoting
    // needed inside our temporary folder).
    int python(const std::string& code, const std::string& args)
    {
        fs::path script = dir / "script.py";
        writeFile(script, code);
        return run("python3 " + script.string() + " " + args);
    }

    // The entry names of an archive as Python's zipfile reads them (it
    // takes names as UTF-8 only when the entry says so).
    std::vector<std::string> entryNames(const fs::path& archive)
    {
        fs::path out = dir / "names.txt";
        EXPECT_EQ(python("import sys, zipfile\n"
                         "with zipfile.ZipFile(sys.argv[1]) as z, open(sys.argv[2], 'w', encoding='utf-8') as f:\n"
                         "    for n in z.namelist(): f.write(n + '\\n')\n",
                         archive.string() + " " + out.string()),
                  0);
        std::vector<std::string> names;
        std::ifstream in(out);
        for (std::string line; std::getline(in, line);)
            names.push_back(line);
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

TEST_F(ZipTest, FolderRoundTripPassesInfoZipAndKeepsEveryFile)
{
    fs::path series = makeSeries();
    fs::path archive = dir / "out" / "series.zip";
    ASSERT_TRUE(NSUI::zipFolder(archive.string(), series.string() + "/", ""));

    EXPECT_EQ(run("unzip -tqq " + archive.string()), 0);
    std::vector<std::string> expected = {"series/a.dcm", "series/empty.bin", "series/sub/b.dcm",
                                         "series/sub/deeper/c.txt", std::string("series/") + kUnicodeName};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entryNames(archive), expected);

    fs::path dest = dir / "dest";
    ASSERT_TRUE(NSUI::unzipFile(archive.string(), dest.string(), ""));
    auto source = fileTree(series);
    source.erase(".hidden");
    EXPECT_EQ(fileTree(dest / "series"), source);
    // No temporary files are left behind.
    for (const std::string& p : allPaths(dest))
        EXPECT_EQ(p.find(".part"), std::string::npos) << p;
}

TEST_F(ZipTest, ArchiveOfInfoZipUnpacksWithFoldersAndEmptyFiles)
{
    fs::path series = makeSeries();
    fs::path archive = dir / "infozip.zip";
    ASSERT_EQ(run("cd " + (dir / "src").string() + " && zip -qr " + archive.string() + " series"), 0);

    fs::path dest = dir / "dest";
    ASSERT_TRUE(NSUI::unzipFile(archive.string(), dest.string(), ""));
    EXPECT_EQ(fileTree(dest / "series"), fileTree(series));
    EXPECT_TRUE(fs::is_directory(dest / "series" / "emptydir"));
}

TEST_F(ZipTest, SingleFileEmptyFolderAndArchiveSuffix)
{
    writeFile(dir / "one" / "single.dcm", "one file");
    fs::path noSuffix = dir / "out" / "bundle";
    ASSERT_TRUE(NSUI::zipFolder(noSuffix.string(), (dir / "one" / "single.dcm").string(), ""));
    fs::path archive = noSuffix;
    archive += ".zip";
    ASSERT_TRUE(fs::exists(archive));
    EXPECT_FALSE(fs::exists(noSuffix));
    EXPECT_EQ(entryNames(archive), std::vector<std::string>{"single.dcm"});

    fs::create_directories(dir / "nothing" / "inner");
    writeFile(dir / "nothing" / ".only-hidden", "x");
    EXPECT_FALSE(NSUI::zipFolder((dir / "empty.zip").string(), (dir / "nothing").string(), ""));
    EXPECT_FALSE(fs::exists(dir / "empty.zip"));
}

TEST_F(ZipTest, ExtractedFileCarriesTheEntryTime)
{
    fs::path file = dir / "src" / "timed" / "t.txt";
    writeFile(file, "timed");
    struct tm local {};
    local.tm_year = 2020 - 1900;
    local.tm_mon = 4;
    local.tm_mday = 6;
    local.tm_hour = 7;
    local.tm_min = 8;
    local.tm_sec = 10;
    local.tm_isdst = -1;
    const time_t when = mktime(&local);
    fs::last_write_time(file, fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(when)));

    fs::path archive = dir / "timed.zip";
    ASSERT_TRUE(NSUI::zipFolder(archive.string(), (dir / "src" / "timed").string(), ""));
    ASSERT_TRUE(NSUI::unzipFile(archive.string(), (dir / "dest").string(), ""));
    struct stat st {};
    ASSERT_EQ(stat((dir / "dest" / "timed" / "t.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, when);
}

// The system's minizip has no zip encryption: a password is refused instead
// of producing an archive that claims to be encrypted and is not.
TEST_F(ZipTest, PasswordsAreRefusedNotIgnored)
{
    fs::path series = makeSeries();
    fs::path archive = dir / "secret.zip";
    EXPECT_FALSE(NSUI::zipFolder(archive.string(), series.string(), "s3cret"));
    EXPECT_FALSE(fs::exists(archive));

    ASSERT_TRUE(NSUI::zipFolder(archive.string(), series.string(), ""));
    EXPECT_FALSE(NSUI::unzipFile(archive.string(), (dir / "dest").string(), "s3cret"));
    EXPECT_TRUE(fileTree(dir / "dest").empty());
}

// Paths far beyond the old fixed buffers (255 bytes for paths, 271 for entry
// names) work in both directions.
TEST_F(ZipTest, LongPathsAreNeverTruncated)
{
    std::string deep;
    for (int i = 0; i < 7; ++i)
        deep += "/" + std::string(60, static_cast<char>('a' + i));
    fs::path series = dir / ("src" + deep) / "series";
    writeFile(series / (std::string(100, 'n') + "/" + std::string(100, 'm') + "/" + std::string(100, 'f') + ".dcm"),
              "deep content");
    fs::path archive = dir / ("out" + deep) / "long.zip";
    ASSERT_GT(archive.string().size(), 400u);
    ASSERT_TRUE(NSUI::zipFolder(archive.string(), series.string(), ""));
    EXPECT_EQ(run("unzip -tqq " + archive.string()), 0);

    fs::path dest = dir / ("dest" + deep);
    ASSERT_TRUE(NSUI::unzipFile(archive.string(), dest.string(), ""));
    EXPECT_EQ(fileTree(dest / "series"), fileTree(series));
}

// Hostile archives, built with Python's zipfile. Each is refused as a whole:
// nothing lands outside the destination and no file inside it.
TEST_F(ZipTest, HostileArchivesAreRefused)
{
    fs::path outside = dir / "outside";
    fs::create_directories(outside);
    const std::string absolute = (outside / "abs.txt").string();

    struct Case {
        const char* label;
        std::string entry;     // the hostile entry's name
        bool symlink = false;  // stored as a Unix symbolic link
    };
    const std::vector<Case> cases = {
        {"parent", "../outside/evil.txt"},
        {"nested parent", "ok/../../outside/evil.txt"},
        {"absolute", absolute},
        {"backslash parent", "..\\outside\\evil.txt"},
        {"backslash root", "\\outside\\evil.txt"},
        {"drive", "C:\\outside\\evil.txt"},
        {"drive relative", "C:evil.txt"},
        {"symlink", "link", true},
    };
    const std::string make =
        "import sys, zipfile\n"
        "archive, name, link = sys.argv[1], sys.argv[2], sys.argv[3] == '1'\n"
        "with zipfile.ZipFile(archive, 'w') as z:\n"
        "    z.writestr('fine/first.txt', 'harmless')\n"
        "    info = zipfile.ZipInfo(name)\n"
        "    if link:\n"
        "        info.create_system = 3\n"
        "        info.external_attr = 0o120777 << 16\n"
        "        z.writestr(info, '../outside')\n"
        "    else:\n"
        "        z.writestr(info, 'evil')\n"
        "    z.writestr('fine/last.txt', 'harmless')\n";
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::path archive = dir / ("hostile" + std::to_string(index) + ".zip");
        fs::path dest = dir / ("dest" + std::to_string(index));
        ++index;
        ASSERT_EQ(python(make, archive.string() + " '" + c.entry + "' " + (c.symlink ? "1" : "0")), 0);

        EXPECT_FALSE(NSUI::unzipFile(archive.string(), dest.string(), ""));
        EXPECT_TRUE(allPaths(outside).empty());
        EXPECT_TRUE(fileTree(dest).empty());
        EXPECT_FALSE(fs::exists(dir / "evil.txt"));
        EXPECT_FALSE(fs::exists(dest / "link"));

        // The tool itself refuses it too, even when asked for the archive
        // without the wrapper's pre-pass.
        const std::string destArg = dest.string() + "/";
        const char* argv[] = {".", "-x", archive.c_str(), "-d", destArg.c_str()};
        EXPECT_EQ(unzipTool(5, argv), -1010);
        EXPECT_TRUE(allPaths(outside).empty());
        EXPECT_TRUE(fileTree(dest).empty());
    }
}

TEST_F(ZipTest, ExistingSymlinkInDestinationIsNotFollowed)
{
    fs::path outside = dir / "outside";
    fs::create_directories(outside);
    fs::path dest = dir / "dest";
    fs::create_directories(dest);
    fs::create_directory_symlink(outside, dest / "link");

    fs::path archive = dir / "through.zip";
    ASSERT_EQ(python("import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w') as z: z.writestr('link/evil.txt', 'evil')\n",
                     archive.string()),
              0);
    EXPECT_FALSE(NSUI::unzipFile(archive.string(), dest.string(), ""));
    EXPECT_TRUE(allPaths(outside).empty());
}

TEST_F(ZipTest, DamagedArchivesFailWithoutPartialFiles)
{
    fs::path archive = dir / "good.zip";
    ASSERT_EQ(python("import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                     "    z.writestr('data/first.bin', b'A' * 5000)\n"
                     "    z.writestr('data/payload.bin', bytes(range(256)) * 400)\n",
                     archive.string()),
              0);
    const std::string good = readFile(archive);
    std::string start;
    for (int i = 0; i < 16; ++i)
        start += static_cast<char>(i);
    const size_t payload = good.find(start);
    ASSERT_NE(payload, std::string::npos);

    struct Case {
        const char* label;
        std::string bytes;
    };
    std::string corrupt = good;
    corrupt[payload + 1000] ^= 0x5A;  // stored data: fails only its CRC
    const std::vector<Case> cases = {
        {"cut in half", good.substr(0, good.size() / 2)},
        {"end record cut", good.substr(0, good.size() - 10)},
        {"empty file", ""},
        {"crc mismatch", corrupt},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::path bad = dir / ("bad" + std::to_string(index) + ".zip");
        fs::path dest = dir / ("dest" + std::to_string(index));
        ++index;
        writeFile(bad, c.bytes);
        EXPECT_FALSE(NSUI::unzipFile(bad.string(), dest.string(), ""));
        auto tree = fileTree(dest);
        EXPECT_EQ(tree.count("data/payload.bin"), 0u);
        for (const auto& [path, content] : tree)
            EXPECT_EQ(path, "data/first.bin");  // only the intact entry before it
    }
}

TEST_F(ZipTest, ProgressIsPostedBeforeEachFile)
{
    auto* director = cocos2d::Director::getInstance();
    auto* centre = NSUI::NSNotificationCenter::getInstance();
    ASSERT_NE(centre, nullptr);
    std::vector<int> values;
    int target = 0;
    centre->addObserver(
        &target, nullptr,
        [&](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* data) { values.push_back(data->intValue); },
        1001);

    for (int i = 0; i < 4; ++i)
        writeFile(dir / "src" / "four" / ("f" + std::to_string(i)), "x");
    ASSERT_TRUE(NSUI::zipFolder((dir / "four.zip").string(), (dir / "src" / "four").string(), ""));
    for (int i = 0; i < 4; ++i)
        director->stepFrame(0.5f);
    centre->removeAllObservers(&target);
    EXPECT_EQ(values, (std::vector<int>{0, 25, 50, 75}));
}

// The zip job stops before its next file once the cancel flag is set. The
// second file is a FIFO, so the job is held inside it until the test has set
// the flag; whatever the archive holds afterwards is complete.
TEST_F(ZipTest, CancelStopsBeforeTheNextFileAndLeavesOnlyCompleteEntries)
{
    fs::path base = dir / "src";
    writeFile(base / "c" / "a.bin", randomBytes(100000, 3));
    fs::path fifo = base / "c" / "b.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    writeFile(base / "c" / "c.bin", randomBytes(100000, 4));
    writeFile(base / "c" / "d.bin", randomBytes(100000, 5));
    fs::path archive = dir / "cancelled.zip";

    std::vector<std::string> args = {".",
                                     "-o",
                                     "-9",
                                     archive.string(),
                                     base.string(),
                                     (base / "c" / "a.bin").string(),
                                     fifo.string(),
                                     (base / "c" / "c.bin").string(),
                                     (base / "c" / "d.bin").string()};
    std::atomic<int> result{1};
    NSUI::NSThreadSafeDestroy waiter;
    new NSUI::NSRunableThread(
        [&](void*) {
            std::vector<const char*> argv;
            for (auto& a : args)
                argv.push_back(a.c_str());
            result = zipTool(static_cast<int>(argv.size()), argv.data());
        },
        nullptr, &waiter, nullptr);

    // Opening the FIFO for writing blocks until the job opens it for reading.
    std::ofstream writer(fifo, std::ios::binary);
    zipCancelRequested = 1;
    const std::string streamed = randomBytes(70000, 6);
    writer << streamed;
    writer.close();
    waiter.waitDone();

    EXPECT_EQ(result.load(), -1000);
    EXPECT_EQ(run("unzip -tqq " + archive.string()), 0);
    EXPECT_EQ(entryNames(archive), (std::vector<std::string>{"c/a.bin", "c/b.fifo"}));
    ASSERT_TRUE(NSUI::unzipFile(archive.string(), (dir / "dest").string(), ""));
    auto tree = fileTree(dir / "dest");
    EXPECT_EQ(tree["c/a.bin"], readFile(base / "c" / "a.bin"));
    EXPECT_EQ(tree["c/b.fifo"], streamed);
    EXPECT_EQ(tree.size(), 2u);

    // The next run clears the flag.
    EXPECT_TRUE(NSUI::zipFolder((dir / "again.zip").string(), (base / "c" / "a.bin").string(), ""));
}

TEST_F(ZipTest, UnzipToolArguments)
{
    fs::path archive = dir / "tool.zip";
    ASSERT_EQ(python("import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                     "    z.writestr('x/one.txt', '1')\n"
                     "    z.writestr('x/y/two.txt', '2')\n",
                     archive.string()),
              0);
    const std::string dest = (dir / "d").string();
    const std::string none = (dir / "none").string();
    const char* missing[] = {".", "-x", "-o", none.c_str(), "-d", dest.c_str()};
    EXPECT_EQ(unzipTool(6, missing), 1);
    const char* noArchive[] = {".", "-x"};
    EXPECT_EQ(unzipTool(2, noArchive), 1);

    const char* absent[] = {".", archive.c_str(), "x/absent.txt"};
    EXPECT_EQ(unzipTool(3, absent), 2);

    // Without ".zip" the suffix is tried; "-e" drops the folders.
    const std::string stem = (dir / "tool").string();
    const char* flat[] = {".", "-e", stem.c_str(), "-d", dest.c_str()};
    EXPECT_EQ(unzipTool(5, flat), 0);
    EXPECT_EQ(fileTree(dest), (std::map<std::string, std::string>{{"one.txt", "1"}, {"two.txt", "2"}}));
}

// Archives that would fill the disk: entries sharing their bytes, declared
// sizes beyond the free space (also when their sum wraps around 64 bits),
// and an entry that inflates beyond its declared size. Each is refused with
// its reason and leaves nothing behind.
TEST_F(ZipTest, BombsAreRefusedAndLeaveNothingBehind)
{
    struct Case {
        const char* label;
        std::string craft;   // zipcraft.py arguments after the output path
        const char* reason;  // in the log
        bool beforeWriting;  // refused before the destination is made
    };
    const std::vector<Case> cases = {
        {"eight records on one stream", "overlap-shared OUT 8", "overlap", true},
        {"an entry inside another entry's data", "overlap-nested OUT", "overlap", true},
        {"larger than the free space", "declared OUT 1152921504606846976", "free space", true},
        {"sizes whose sum wraps to zero", "declared OUT 9223372036854775808 9223372036854775808", "free space", true},
        {"inflates beyond its declared size", "inflates-beyond OUT", "\"bomb.bin\" is larger than its declared size", false},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::path archive = dir / ("bomb" + std::to_string(index) + ".zip");
        fs::path dest = dir / ("dest" + std::to_string(index));
        ++index;
        std::string args = c.craft;
        args.replace(args.find("OUT"), 3, archive.string());
        ASSERT_EQ(run("python3 " + kCraft + " " + args), 0);

        testing::internal::CaptureStderr();
        EXPECT_FALSE(NSUI::unzipFile(archive.string(), dest.string(), ""));
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find(c.reason), std::string::npos) << log;
        EXPECT_TRUE(allPaths(dest).empty());
        if (c.beforeWriting) {
            EXPECT_FALSE(fs::exists(dest));
        }

        const std::string destArg = dest.string() + "/";
        const char* argv[] = {".", "-x", archive.c_str(), "-d", destArg.c_str()};
        EXPECT_NE(unzipTool(5, argv), 0);
        EXPECT_TRUE(allPaths(dest).empty());
        if (c.beforeWriting) {
            EXPECT_FALSE(fs::exists(dest));
        }
    }
}

// Encrypted entries (a real Info-ZIP archive with a password, and a plain
// entry that carries the encryption flag) are refused with a plain reason
// before anything is written, with or without a password given.
TEST_F(ZipTest, PasswordProtectedArchivesAreRefusedBeforeWriting)
{
    writeFile(dir / "src" / "p" / "first.txt", "first");
    writeFile(dir / "src" / "p" / "second.txt", "second");
    fs::path infozip = dir / "infozip-password.zip";
    ASSERT_EQ(run("cd " + (dir / "src").string() + " && zip -qr -P s3cret " + infozip.string() + " p"), 0);
    fs::path flagged = dir / "flagged.zip";
    ASSERT_EQ(run("python3 " + kCraft + " flagged " + flagged.string()), 0);

    int index = 0;
    for (const fs::path& archive : {infozip, flagged}) {
        for (const char* password : {"", "s3cret"}) {
            SCOPED_TRACE(archive.filename().string() + " password \"" + password + "\"");
            fs::path dest = dir / ("dest" + std::to_string(index++));
            testing::internal::CaptureStderr();
            EXPECT_FALSE(NSUI::unzipFile(archive.string(), dest.string(), password));
            std::string log = testing::internal::GetCapturedStderr();
            EXPECT_NE(log.find("the archive is protected by a password"), std::string::npos) << log;
            EXPECT_FALSE(fs::exists(dest));
        }
    }
}

// Zip64 as other tools write it: an entry of more than 4 GiB, an entry whose
// local header lies past 4 GiB and an archive larger than 4 GiB. The
// archive is sparse on disk; the extracted big entry is not.
TEST_F(ZipTest, Zip64ArchiveBeyondFourGiBUnpacks)
{
    constexpr uint64_t kHuge = (4ull << 30) + 16;
    if (freeSpace(dir) < kHuge + (1ull << 30))
        GTEST_SKIP() << "needs 5 GiB of free space in " << dir << " for the extracted 4 GiB entry";
    fs::path archive = dir / "zip64.zip";
    ASSERT_EQ(run("python3 " + kCraft + " zip64-sparse " + archive.string()), 0);
    ASSERT_GT(fs::file_size(archive), 4ull << 30);

    // One entry by name: the one past the 4 GiB offset.
    fs::path single = dir / "single";
    const std::string singleArg = single.string() + "/";
    const char* argv[] = {".", "-x", archive.c_str(), "after.txt", "-d", singleArg.c_str()};
    ASSERT_EQ(unzipTool(6, argv), 0);
    EXPECT_EQ(fileTree(single), (std::map<std::string, std::string>{{"after.txt", "past the 4 GiB offset\n"}}));

    fs::path dest = dir / "dest";
    ASSERT_TRUE(NSUI::unzipFile(archive.string(), dest.string(), ""));
    EXPECT_EQ(readFile(dest / "small.txt"), "before the big one\n");
    EXPECT_EQ(readFile(dest / "after.txt"), "past the 4 GiB offset\n");
    ASSERT_EQ(fs::file_size(dest / "huge.bin"), kHuge);
    // The markers zipcraft.py writes (value = index + 1); the entry's CRC
    // covers the zeros between them.
    const uint64_t markers[] = {0, (2ull << 30) - 1, 2ull << 30, (4ull << 30) - 1, 4ull << 30, kHuge - 1};
    for (size_t i = 0; i < std::size(markers); ++i)
        EXPECT_EQ(byteAt(dest / "huge.bin", markers[i]), static_cast<int>(i + 1)) << markers[i];
    EXPECT_EQ(byteAt(dest / "huge.bin", 1ull << 31 | 1), 0);
}

// More than 65,535 entries both ways: Python's archive unpacks whole, and
// our archive of the unpacked folder reads back in Python.
TEST_F(ZipTest, MoreThan65535Entries)
{
    constexpr int kEntries = 65600; // just past the 16-bit count
    fs::path archive = dir / "many.zip";
    ASSERT_EQ(python("import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                     "    for i in range(int(sys.argv[2])):\n"
                     "        z.writestr('many/%02d/%05d.txt' % (i % 100, i), str(i))\n",
                     archive.string() + " " + std::to_string(kEntries)),
              0);
    fs::path dest = dir / "dest";
    ASSERT_TRUE(NSUI::unzipFile(archive.string(), dest.string(), ""));
    size_t files = 0;
    for (auto& entry : fs::recursive_directory_iterator(dest))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, static_cast<size_t>(kEntries));
    EXPECT_EQ(readFile(dest / "many" / "99" / "65599.txt"), "65599");

    fs::path again = dir / "again.zip";
    ASSERT_TRUE(NSUI::zipFolder(again.string(), (dest / "many").string(), ""));
    EXPECT_EQ(python("import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                     "    names = [n for n in z.namelist() if not n.endswith('/')]\n"
                     "    assert len(names) == int(sys.argv[2]), len(names)\n"
                     "    assert z.read('many/42/12342.txt') == b'12342'\n"
                     "    assert z.testzip() is None\n",
                     again.string() + " " + std::to_string(kEntries)),
              0);
}

// Our own archive of a 5 GiB folder (a sparse file with bytes at the 2 GiB
// and 4 GiB edges, and a small file after it) unpacks identical.
TEST_F(ZipTest, OwnZipOfAFiveGiBFolderUnpacksIdentical)
{
    constexpr uint64_t kBig = 5ull << 30;
    if (freeSpace(dir) < kBig + (1ull << 30))
        GTEST_SKIP() << "needs 6 GiB of free space in " << dir << " for the extracted 5 GiB file";
    fs::path folder = dir / "src" / "five";
    writeFile(folder / "a-small.txt", "small before\n");
    writeFile(folder / "z-small.txt", "small after\n");
    {
        int fd = open((folder / "m-big.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const uint64_t marks[] = {(2ull << 30) - 1, 2ull << 30, (4ull << 30) - 1, 4ull << 30, kBig - 1};
        for (uint64_t at : marks) {
            const char c = static_cast<char>(at % 251 + 1);
            ASSERT_EQ(pwrite(fd, &c, 1, static_cast<off_t>(at)), 1);
        }
        close(fd);
    }
    ASSERT_EQ(fs::file_size(folder / "m-big.bin"), kBig);

    fs::path archive = dir / "five.zip";
    ASSERT_TRUE(NSUI::zipFolder(archive.string(), folder.string(), ""));
    EXPECT_EQ(python("import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                     "    assert z.getinfo('five/m-big.bin').file_size == 5 << 30\n"
                     "    assert z.read('five/z-small.txt') == b'small after\\n'\n",
                     archive.string()),
              0);
    fs::path dest = dir / "dest";
    ASSERT_TRUE(NSUI::unzipFile(archive.string(), dest.string(), ""));
    EXPECT_EQ(readFile(dest / "five" / "a-small.txt"), "small before\n");
    EXPECT_EQ(readFile(dest / "five" / "z-small.txt"), "small after\n");
    EXPECT_TRUE(sameContent(folder / "m-big.bin", dest / "five" / "m-big.bin"));
}

}  // namespace
