#include "toolkit/foundation/NSFiles.h"

#include "toolkit/foundation/NSFormat.h"

#include "engine/base/ccLog.h"
#include "engine/platform/FileUtils.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace NSUI {

namespace {

enum class EntryKind { File, Folder, Other };

struct Entry {
    std::string name;
    EntryKind kind;
};

using DirId = std::pair<dev_t, ino_t>;

// The entries of one folder, in name order ("." and ".." left out).
// Symbolic links are classified by what they point to. False when the folder
// cannot be opened; errno tells why.
bool readFolder(const std::string& folder, std::vector<Entry>& entries, DirId* id)
{
    DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
    if (!dir)
        return false;
    const int fd = dirfd(dir);
    if (id) {
        struct stat st {};
        if (fstat(fd, &st) == 0)
            *id = {st.st_dev, st.st_ino};
    }
    while (dirent* d = readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..")
            continue;
        EntryKind kind = EntryKind::Other;
        if (d->d_type == DT_DIR) {
            kind = EntryKind::Folder;
        } else if (d->d_type == DT_REG) {
            kind = EntryKind::File;
        } else if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
            struct stat st {};
            if (fstatat(fd, d->d_name, &st, 0) == 0)
                kind = S_ISDIR(st.st_mode) ? EntryKind::Folder : S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Other;
        }
        entries.push_back({name, kind});
    }
    closedir(dir);
    // The file system reports entries in no particular order.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

std::string withoutTrailingSlash(std::string folder)
{
    if (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return folder;
}

// `ancestors` holds the folders on the path from the listed root down to
// here, so a link back up the tree is not followed a second time.
// Returns false when a folder of the tree exists but cannot be read.
bool listFilesInto(const std::string& folder, std::vector<std::string>& list, bool recurse, bool fullPath,
                   std::set<DirId>& ancestors)
{
    std::vector<Entry> entries;
    DirId id{};
    if (!readFolder(folder, entries, &id))
        return errno == ENOENT;
    if (!ancestors.insert(id).second)
        return true;
    bool complete = true;
    for (const Entry& e : entries) {
        if (e.kind == EntryKind::Folder) {
            if (recurse && e.name[0] != '.')
                complete = listFilesInto(folder + "/" + e.name, list, recurse, fullPath, ancestors) && complete;
        } else if (e.kind == EntryKind::File) {
            list.push_back(fullPath ? folder + "/" + e.name : e.name);
        }
    }
    ancestors.erase(id);
    return complete;
}

bool makeFolders(const std::string& folder)
{
    if (folder.empty())
        return true;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

void writeFailure(size_t length, size_t written)
{
    cocos2d::log("writeBufferToFile: faild, size=%i,writeSize=%i", static_cast<int>(length),
                 static_cast<int>(written));
}

enum class CopyResult { Done, SourceMissing, Failed };

// Copies one regular file into `target`, created or truncated. The folder of
// the target must exist.
CopyResult copyRegularFile(const std::string& source, const std::string& target)
{
    // O_NONBLOCK keeps a pipe from blocking the open; a pipe is refused below.
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0)
        return errno == ENOENT ? CopyResult::SourceMissing : CopyResult::Failed;
    struct stat src {};
    if (fstat(in, &src) != 0 || !S_ISREG(src.st_mode)) {
        close(in);
        return CopyResult::Failed;
    }
    struct stat dst {};
    if (stat(target.c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
        // The same file under another name: truncating the target would
        // destroy the source.
        close(in);
        return CopyResult::Done;
    }
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        close(in);
        return CopyResult::Failed;
    }
    bool ok = true;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = read(in, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        size_t done = 0;
        while (ok && done < static_cast<size_t>(n)) {
            const ssize_t w = write(out, buffer.data() + done, static_cast<size_t>(n) - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                ok = false;
            else
                done += static_cast<size_t>(w);
        }
        if (!ok)
            break;
    }
    close(in);
    if (close(out) != 0)
        ok = false;
    return ok ? CopyResult::Done : CopyResult::Failed;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

void listFiles(std::string folder, std::vector<std::string>& list, bool recurse, bool fullPath)
{
    if (folder.empty())
        return;
    std::set<DirId> ancestors;
    listFilesInto(withoutTrailingSlash(std::move(folder)), list, recurse, fullPath, ancestors);
}

void listFolders(std::string folder, std::vector<std::string>& list)
{
    if (folder.empty())
        return;
    folder = withoutTrailingSlash(std::move(folder));
    std::vector<Entry> entries;
    if (!readFolder(folder, entries, nullptr))
        return;
    for (const Entry& e : entries) {
        if (e.kind == EntryKind::Folder && e.name[0] != '.')
            list.push_back(folder + "/" + e.name);
    }
}

std::string getFileCreationTime(std::string path)
{
    if (path.empty())
        return std::string();
    struct statx sx {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx) != 0)
        return getCurrentTimeString();
    const statx_timestamp& ts = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
    const time_t seconds = static_cast<time_t>(ts.tv_sec);
    struct tm t {};
    if (!localtime_r(&seconds, &t))
        return getCurrentTimeString();
    return formatString("%d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                        t.tm_min, t.tm_sec);
}

unsigned char* readFileData(const char* path, uint32_t* length, bool binary)
{
    if (length)
        *length = 0;
    if (!path || !*path || !length)
        return nullptr;
    cocos2d::FileUtils* files = cocos2d::FileUtils::getInstance();
    // Ten spare bytes after the content, zeroed, so that readers which look
    // for a terminator stop inside the buffer.
    constexpr size_t kSpare = 10;
    if (binary) {
        const cocos2d::Data data = files->getDataFromFile(path);
        if (data.isNull())
            return nullptr;
        const auto size = static_cast<size_t>(data.getSize());
        if (size > UINT32_MAX)
            return nullptr;
        auto* buffer = new (std::nothrow) unsigned char[size + kSpare]();
        if (!buffer)
            return nullptr;
        std::memcpy(buffer, data.getBytes(), size);
        *length = static_cast<uint32_t>(size);
        return buffer;
    }
    const std::string text = files->getStringFromFile(path);
    if (text.empty() || text.size() > UINT32_MAX)
        return nullptr;
    auto* buffer = new (std::nothrow) unsigned char[text.size() + kSpare]();
    if (!buffer)
        return nullptr;
    std::memcpy(buffer, text.c_str(), std::strlen(text.c_str()));
    *length = static_cast<uint32_t>(text.size());
    return buffer;
}

bool writeBufferToFile(const char* path, const void* data, size_t length)
{
    if (!path || (!data && length > 0))
        return false;
    if (!makeFolders(folderOf(path)))
        return false;
    FILE* f = std::fopen(path, "wb+");
    if (!f)
        return false;
    const size_t written = length > 0 ? std::fwrite(data, 1, length, f) : 0;
    const bool closed = std::fclose(f) == 0;
    if (written < length) {
        writeFailure(length, written);
        return false;
    }
    return closed;
}

bool writeStringToFile(const char* path, std::string text)
{
    return writeBufferToFile(path, text.data(), text.size());
}

bool copyFile(std::string source, std::string target)
{
    if (source == target)
        return true;
    // A relative source is looked up like readFileData looks it up.
    if (!source.empty() && source[0] != '/') {
        const std::string full = cocos2d::FileUtils::getInstance()->fullPathForFilename(source);
        if (!full.empty())
            source = full;
    }
    if (!makeFolders(folderOf(target)))
        return false;
    if (copyRegularFile(source, target) != CopyResult::Done) {
        cocos2d::log("copy file: faild");
        return false;
    }
    return true;
}

bool copyFolder(std::string source, std::string target)
{
    if (source == target)
        return true;
    if (source.empty() || source.back() != '/')
        source += '/';
    if (target.empty() || target.back() != '/')
        target += '/';
    std::vector<std::string> files;
    std::set<DirId> ancestors;
    // A folder of the source tree that exists but cannot be read would
    // silently leave its files out.
    if (!listFilesInto(withoutTrailingSlash(source), files, true, true, ancestors))
        return false;
    // listFiles joins with "/" after dropping the one trailing slash, so each
    // listed path starts with `source`.
    for (const std::string& file : files) {
        const std::string relative = file.substr(source.size());
        const size_t slash = relative.rfind('/');
        const std::string relFolder = slash == std::string::npos ? std::string() : relative.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
        const std::string folder = target + relFolder;
        if (!makeFolders(withoutTrailingSlash(folder)))
            return false;
        const CopyResult r = copyRegularFile(file, folder + name);
        if (r == CopyResult::Failed)
            return false;
    }
    return true;
}

void sleepFor(uint32_t seconds, uint32_t nanoseconds)
{
    const auto ms = static_cast<uint64_t>(seconds) * 1000u + nanoseconds / 1000000u;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void debugLog(const char* format, ...)
{
}

std::string getDirectoryPath(std::string path)
{
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    const size_t sep = path.find_last_of("/\\");
    if (sep == std::string::npos)
        return path;
    return path.substr(0, sep);
}

}  // namespace NSUI
