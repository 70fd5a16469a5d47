#include "toolkit/foundation/NSZipTools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

std::atomic<int> zipCancelRequested{0};

namespace {

constexpr size_t kZipBufferSize = 16384;
constexpr size_t kUnzipBufferSize = 8192;

// Tool results beyond minizip's own codes.
constexpr int kZipCreateFailed = -102;
constexpr int kZipNotBelowBase = -105;
constexpr int kZipNoEncryption = -106;
constexpr int kZipCancelled = -1000;
constexpr int kUnzipNoNextEntry = -109;
constexpr int kUnzipNoEntryInfo = -1000;
constexpr int kUnzipCannotCreate = -1002;
constexpr int kUnzipWriteFailed = -1003;
constexpr int kUnzipRefusedEntry = -1010;
constexpr int kUnzipUnsafeFolder = -1011;

// --- the archive file's own file functions (POSIX stdio, 64-bit offsets) ---

struct ArchiveHandle {
    FILE* file = nullptr;
    int error = 0;
};

voidpf ZCALLBACK archiveOpen(voidpf, const void* filename, int mode)
{
    if (!filename)
        return nullptr;
    const int createMode = ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_CREATE;
    FILE* file = fopen(static_cast<const char*>(filename), mode == createMode ? "wb+e" : "rbe");
    if (!file)
        return nullptr;
    auto* handle = new (std::nothrow) ArchiveHandle;
    if (!handle) {
        fclose(file);
        return nullptr;
    }
    handle->file = file;
    return handle;
}

uLong ZCALLBACK archiveRead(voidpf, voidpf stream, void* buf, uLong size)
{
    auto* handle = static_cast<ArchiveHandle*>(stream);
    if (!handle || !handle->file)
        return 0;
    return static_cast<uLong>(fread(buf, 1, size, handle->file));
}

uLong ZCALLBACK archiveWrite(voidpf, voidpf stream, const void* buf, uLong size)
{
    auto* handle = static_cast<ArchiveHandle*>(stream);
    if (!handle || !handle->file)
        return 0;
    return static_cast<uLong>(fwrite(buf, 1, size, handle->file));
}

ZPOS64_T ZCALLBACK archiveTell(voidpf, voidpf stream)
{
    auto* handle = static_cast<ArchiveHandle*>(stream);
    if (!handle || !handle->file)
        return static_cast<ZPOS64_T>(-1);
    return static_cast<ZPOS64_T>(ftello(handle->file));
}

long ZCALLBACK archiveSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    auto* handle = static_cast<ArchiveHandle*>(stream);
    if (!handle || !handle->file)
        return -1;
    int whence;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: whence = SEEK_SET; break;
    case ZLIB_FILEFUNC_SEEK_CUR: whence = SEEK_CUR; break;
    case ZLIB_FILEFUNC_SEEK_END: whence = SEEK_END; break;
    default: return -1;
    }
    return fseeko(handle->file, static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}

int ZCALLBACK archiveClose(voidpf, voidpf stream)
{
    auto* handle = static_cast<ArchiveHandle*>(stream);
    if (!handle)
        return -1;
    // The close result matters: a full disk may only show when the last
    // buffered bytes are written.
    int result = handle->file ? (fclose(handle->file) == 0 ? 0 : -1) : -1;
    delete handle;
    return result;
}

int ZCALLBACK archiveError(voidpf, voidpf stream)
{
    auto* handle = static_cast<ArchiveHandle*>(stream);
    if (!handle)
        return -1;
    if (handle->file && ferror(handle->file))
        handle->error = -1;
    return handle->error;
}

zlib_filefunc64_def archiveFileFunctions()
{
    zlib_filefunc64_def functions{};
    functions.zopen64_file = archiveOpen;
    functions.zread_file = archiveRead;
    functions.zwrite_file = archiveWrite;
    functions.ztell64_file = archiveTell;
    functions.zseek64_file = archiveSeek;
    functions.zclose_file = archiveClose;
    functions.zerror_file = archiveError;
    functions.opaque = nullptr;
    return functions;
}

// --- entry names ---

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// The components of an entry name split on "/" and "\", without empty and
// "." components.
std::vector<std::string> splitEntryName(const std::string& name)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : name) {
        if (isSeparator(c)) {
            if (!part.empty() && part != ".")
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty() && part != ".")
        parts.push_back(part);
    return parts;
}

bool isFolderEntry(const std::string& name) { return name.empty() || isSeparator(name.back()); }

// Why an entry may not be extracted, or "" when it may.
std::string entryRefusal(const std::string& name, const unz_file_info64& info)
{
    if (name.find('\0') != std::string::npos)
        return "the name holds a zero byte";
    if (!name.empty() && isSeparator(name[0]))
        return "absolute path";
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        return "drive path";
    for (const std::string& part : splitEntryName(name)) {
        if (part == "..")
            return "\"..\" in the path";
    }
    // Unix hosts keep the file type in the high half of the external
    // attributes; other hosts leave it 0.
    const unsigned long mode = (info.external_fa >> 16) & 0xFFFFu;
    if ((mode & S_IFMT) == S_IFLNK)
        return "symbolic link";
    return "";
}

// Reads the current entry's information and full name (no length limit).
bool currentEntry(unzFile archive, unz_file_info64& info, std::string& name)
{
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    name.assign(info.size_filename, '\0');
    if (info.size_filename == 0)
        return true;
    return unzGetCurrentFileInfo64(archive, &info, name.data(), info.size_filename, nullptr, 0, nullptr, 0) ==
           UNZ_OK;
}

// --- safe folder walk below the extraction folder ---

// Opens the folder `parts[0..count)` below `rootFd`, creating missing
// folders, one component at a time and never through a symbolic link.
// Returns the folder's descriptor, or -1 with `why` set.
int openFolderChain(int rootFd, const std::vector<std::string>& parts, size_t count, std::string& why)
{
    int fd = fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        why = strerror(errno);
        return -1;
    }
    for (size_t i = 0; i < count; ++i) {
        const char* part = parts[i].c_str();
        int next = openat(fd, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT) {
            if (mkdirat(fd, part, 0777) != 0 && errno != EEXIST) {
                why = std::string("cannot make folder \"") + part + "\": " + strerror(errno);
                close(fd);
                return -1;
            }
            next = openat(fd, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) {
            if (errno == ELOOP || errno == ENOTDIR)
                why = std::string("\"") + part + "\" is a symbolic link or not a folder";
            else
                why = std::string("cannot open folder \"") + part + "\": " + strerror(errno);
            close(fd);
            return -1;
        }
        close(fd);
        fd = next;
    }
    return fd;
}

int openExtractionRoot(const std::string& folder)
{
    std::string path = folder.empty() ? std::string(".") : folder;
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        cocos2d::FileUtils::getInstance()->createDirectory(path);
        fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    return fd;
}

std::string temporaryName()
{
    static std::atomic<unsigned> counter{0};
    return ".unzip-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".part";
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void setModificationTime(int dirFd, const std::string& file, const tm_unz& date)
{
    struct tm local {};
    local.tm_year = static_cast<int>(date.tm_year) - 1900;
    local.tm_mon = static_cast<int>(date.tm_mon);
    local.tm_mday = static_cast<int>(date.tm_mday);
    local.tm_hour = static_cast<int>(date.tm_hour);
    local.tm_min = static_cast<int>(date.tm_min);
    local.tm_sec = static_cast<int>(date.tm_sec);
    local.tm_isdst = -1;
    time_t when = mktime(&local);
    if (when == static_cast<time_t>(-1))
        return;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // keep the access time
    times[1].tv_sec = when;
    times[1].tv_nsec = 0;
    utimensat(dirFd, file.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Extracts the archive's current entry below `rootFd`.
int extractCurrentEntry(unzFile archive, int rootFd, bool withoutFolders, const char* password)
{
    unz_file_info64 info{};
    std::string name;
    if (!currentEntry(archive, info, name))
        return kUnzipNoEntryInfo;

    std::string refusal = entryRefusal(name, info);
    if (!refusal.empty()) {
        cocos2d::log("unzip: refusing entry \"%s\": %s", name.c_str(), refusal.c_str());
        return kUnzipRefusedEntry;
    }

    std::vector<std::string> parts = splitEntryName(name);
    std::string why;
    if (isFolderEntry(name) || parts.empty()) {
        if (withoutFolders || parts.empty())
            return UNZ_OK;
        int fd = openFolderChain(rootFd, parts, parts.size(), why);
        if (fd < 0) {
            cocos2d::log("unzip: entry \"%s\": %s", name.c_str(), why.c_str());
            return kUnzipUnsafeFolder;
        }
        close(fd);
        return UNZ_OK;
    }
    if (withoutFolders)
        parts.erase(parts.begin(), parts.end() - 1);

    int dirFd = openFolderChain(rootFd, parts, parts.size() - 1, why);
    if (dirFd < 0) {
        cocos2d::log("unzip: entry \"%s\": %s", name.c_str(), why.c_str());
        return kUnzipUnsafeFolder;
    }

    int err = unzOpenCurrentFile3(archive, nullptr, nullptr, 0, password);
    if (err != UNZ_OK) {
        unzCloseCurrentFile(archive);
        close(dirFd);
        return err;
    }

    const std::string& finalName = parts.back();
    const std::string partName = temporaryName();
    int out = openat(dirFd, partName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (out < 0) {
        cocos2d::log("unzip: cannot create \"%s\": %s", name.c_str(), strerror(errno));
        unzCloseCurrentFile(archive);
        close(dirFd);
        return kUnzipCannotCreate;
    }

    std::vector<char> buffer(kUnzipBufferSize);
    for (;;) {
        int n = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n < 0) {
            err = n;
            break;
        }
        if (n == 0)
            break;
        if (!writeAll(out, buffer.data(), static_cast<size_t>(n))) {
            err = kUnzipWriteFailed;
            break;
        }
    }
    if (close(out) != 0 && err == UNZ_OK)
        err = kUnzipWriteFailed;
    // Closing the entry checks its CRC once the whole entry has been read.
    int closeResult = unzCloseCurrentFile(archive);
    if (err == UNZ_OK)
        err = closeResult;

    if (err == UNZ_OK) {
        setModificationTime(dirFd, partName, info.tmu_date);
        if (renameat(dirFd, partName.c_str(), dirFd, finalName.c_str()) != 0) {
            cocos2d::log("unzip: cannot place \"%s\": %s", name.c_str(), strerror(errno));
            err = kUnzipCannotCreate;
        }
    }
    if (err != UNZ_OK)
        unlinkat(dirFd, partName.c_str(), 0);
    close(dirFd);
    return err;
}

// Checks every entry of the archive before anything is written.
uint64_t entryCount(unzFile archive)
{
    unz_global_info64 global{};
    return unzGetGlobalInfo64(archive, &global) == UNZ_OK ? global.number_entry : 0;
}

int checkAllEntries(unzFile archive)
{
    if (entryCount(archive) == 0)
        return UNZ_END_OF_LIST_OF_FILE;
    int err = unzGoToFirstFile(archive);
    while (err == UNZ_OK) {
        unz_file_info64 info{};
        std::string name;
        if (!currentEntry(archive, info, name))
            return kUnzipNoEntryInfo;
        std::string refusal = entryRefusal(name, info);
        if (!refusal.empty()) {
            cocos2d::log("unzip: refusing archive, entry \"%s\": %s", name.c_str(), refusal.c_str());
            return kUnzipRefusedEntry;
        }
        err = unzGoToNextFile(archive);
    }
    if (err != UNZ_END_OF_LIST_OF_FILE)
        return kUnzipNoNextEntry;
    return unzGoToFirstFile(archive) == UNZ_OK ? UNZ_OK : kUnzipNoNextEntry;
}

unzFile openArchive(const std::string& path)
{
    zlib_filefunc64_def functions = archiveFileFunctions();
    unzFile archive = unzOpen2_64(path.c_str(), &functions);
    if (!archive) {
        std::string withSuffix = path + ".zip";
        archive = unzOpen2_64(withSuffix.c_str(), &functions);
    }
    return archive;
}

void postProgress(int percent)
{
    if (auto* centre = NSUI::NSNotificationCenter::getInstance())
        centre->postNotificationInt(nullptr, NOTIFY_ACTIVITY_PROGRESS, percent, nullptr, true);
}

int toolFromStrings(int (*tool)(int, const char* const*), const std::vector<std::string>& args)
{
    std::vector<const char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    return tool(static_cast<int>(args.size()), argv.data());
}

bool hasPrefixFolder(const std::string& path, const std::string& base)
{
    if (base.empty())
        return true;
    if (path.size() <= base.size() || path.compare(0, base.size(), base) != 0)
        return false;
    return isSeparator(base.back()) || isSeparator(path[base.size()]);
}

std::string baseName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int zipTool(int argc, const char* const* argv)
{
    zipCancelRequested.store(0);
    if (argc <= 1 || !argv)
        return 0;

    std::string password;
    bool hasPassword = false;
    int level = Z_DEFAULT_COMPRESSION;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i] ? argv[i] : "";
        if (arg[0] == '-') {
            for (const char* p = arg + 1; *p; ++p) {
                if ((*p == 'p' || *p == 'P') && i + 1 < argc) {
                    password = argv[++i] ? argv[i] : "";
                    hasPassword = true;
                } else if (*p >= '0' && *p <= '9') {
                    level = *p - '0';
                }
            }
        } else {
            positional.emplace_back(arg);
        }
    }
    if (positional.empty())
        return 0;

    std::string archivePath = positional[0];
    std::string base = positional.size() > 1 ? positional[1] : std::string();
    std::vector<std::string> files;
    if (positional.size() > 2)
        files.assign(positional.begin() + 2, positional.end());
    if (archivePath.find('.') == std::string::npos)
        archivePath += ".zip";

    // The system's minizip is built without traditional zip encryption: it
    // would mark the entries encrypted without encrypting them, an archive
    // no tool can read. Refuse before anything is written.
    if (hasPassword && !password.empty()) {
        cocos2d::log("zip: password protection is not available");
        return kZipNoEncryption;
    }

    std::vector<char> buffer(kZipBufferSize);
    zlib_filefunc64_def functions = archiveFileFunctions();
    zipFile archive = zipOpen2_64(archivePath.c_str(), APPEND_STATUS_CREATE, nullptr, &functions);
    if (!archive) {
        cocos2d::log("zip: cannot create \"%s\"", archivePath.c_str());
        return kZipCreateFailed;
    }

    const float step = files.empty() ? 1.0f : 100.0f / static_cast<float>(files.size());
    const char* pass = hasPassword && !password.empty() ? password.c_str() : nullptr;
    int err = ZIP_OK;
    for (size_t index = 0; index < files.size() && err == ZIP_OK; ++index) {
        if (zipCancelRequested.load() > 0) {
            err = kZipCancelled;
            break;
        }
        postProgress(static_cast<int>(static_cast<float>(index) * step));

        const std::string& path = files[index];
        if (!hasPrefixFolder(path, base)) {
            err = kZipNotBelowBase;
            break;
        }
        std::string entryName = path.substr(base.size());
        if (!entryName.empty() && isSeparator(entryName[0]))
            entryName.erase(0, 1);
        if (entryName.empty() || isSeparator(entryName[0])) {
            err = kZipNotBelowBase;
            break;
        }
        const bool folderEntry = isSeparator(path.back());

        zip_fileinfo fileInfo{};
        struct stat st {};
        uint64_t size = 0;
        if (stat(path.c_str(), &st) == 0) {
            struct tm local {};
            localtime_r(&st.st_mtime, &local);
            fileInfo.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
            fileInfo.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
            fileInfo.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
            fileInfo.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
            fileInfo.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
            fileInfo.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
            size = static_cast<uint64_t>(st.st_size);
        }
        if (folderEntry)
            fileInfo.external_fa = 0x10;  // MS-DOS folder attribute

        unsigned long crc = 0;
        if (pass && !folderEntry) {
            FILE* in = fopen(path.c_str(), "rbe");
            if (in) {
                crc = crc32(0L, Z_NULL, 0);
                size_t n;
                while ((n = fread(buffer.data(), 1, buffer.size(), in)) > 0)
                    crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(n));
                fclose(in);
            }
        }

        // Names are UTF-8: say so in the entry's flags so that other tools
        // do not read them in an old code page.
        constexpr uLong kUtf8NamesFlag = 1u << 11;
        int opened = zipOpenNewFileInZip4_64(archive, entryName.c_str(), &fileInfo, nullptr, 0, nullptr, 0, nullptr,
                                             level != 0 ? Z_DEFLATED : 0, level, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                             Z_DEFAULT_STRATEGY, pass, crc, 0, kUtf8NamesFlag,
                                             size >= 0xFFFFFFFFull ? 1 : 0);
        if (opened != ZIP_OK) {
            err = -1;
            break;
        }
        bool failed = false;
        if (!folderEntry) {
            FILE* in = fopen(path.c_str(), "rbe");
            if (!in) {
                cocos2d::log("zip: cannot open \"%s\"", path.c_str());
                failed = true;
            } else {
                size_t n;
                while ((n = fread(buffer.data(), 1, buffer.size(), in)) > 0) {
                    if (zipWriteInFileInZip(archive, buffer.data(), static_cast<unsigned>(n)) != ZIP_OK) {
                        failed = true;
                        break;
                    }
                }
                if (ferror(in)) {
                    cocos2d::log("zip: cannot read \"%s\"", path.c_str());
                    failed = true;
                }
                fclose(in);
            }
        }
        int closed = zipCloseFileInZip(archive);
        err = failed ? -1 : closed;
    }

    int closeResult = zipClose(archive, nullptr);
    return closeResult != ZIP_OK ? closeResult : err;
}

int unzipTool(int argc, const char* const* argv)
{
    if (argc <= 1 || !argv)
        return 0;

    std::string archivePath, entryName, folder, password;
    bool haveArchive = false, haveEntry = false, haveFolder = false, withoutFolders = false;
    int folderIndex = -1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i] ? argv[i] : "";
        if (arg[0] == '-') {
            for (const char* p = arg + 1; *p; ++p) {
                if ((*p == 'd' || *p == 'D') && i + 1 < argc) {
                    haveFolder = true;
                    folderIndex = i + 1;
                    folder = argv[i + 1] ? argv[i + 1] : "";
                } else if ((*p == 'p' || *p == 'P') && i + 1 < argc) {
                    password = argv[++i] ? argv[i] : "";
                } else if (*p == 'e' || *p == 'E') {
                    withoutFolders = true;
                }
            }
        } else if (i == folderIndex) {
            continue;
        } else if (!haveArchive) {
            archivePath = arg;
            haveArchive = true;
        } else if (!haveEntry && !haveFolder) {
            entryName = arg;
            haveEntry = true;
        }
    }
    if (!haveArchive)
        return 1;

    unzFile archive = openArchive(archivePath);
    if (!archive) {
        cocos2d::log("unzip: cannot open \"%s\"", archivePath.c_str());
        return 1;
    }
    int rootFd = openExtractionRoot(folder);
    if (rootFd < 0) {
        cocos2d::log("unzip: cannot open folder \"%s\": %s", folder.c_str(), strerror(errno));
        unzClose(archive);
        return kUnzipUnsafeFolder;
    }
    const char* pass = password.empty() ? nullptr : password.c_str();

    int result = UNZ_OK;
    if (haveEntry) {
        if (unzLocateFile(archive, entryName.c_str(), 0) != UNZ_OK)
            result = 2;
        else
            result = extractCurrentEntry(archive, rootFd, withoutFolders, pass);
    } else {
        result = checkAllEntries(archive);
        if (result == UNZ_END_OF_LIST_OF_FILE)
            result = UNZ_OK;  // an empty archive
        else {
            while (result == UNZ_OK) {
                result = extractCurrentEntry(archive, rootFd, withoutFolders, pass);
                if (result != UNZ_OK)
                    break;
                int next = unzGoToNextFile(archive);
                if (next == UNZ_END_OF_LIST_OF_FILE)
                    break;
                if (next != UNZ_OK)
                    result = kUnzipNoNextEntry;
            }
        }
    }
    close(rootFd);
    unzClose(archive);
    return result;
}

namespace NSUI {

bool zipFolder(const std::string& archive, const std::string& source, const std::string& password)
{
    if (archive.empty() || source.empty())
        return false;
    auto* files = cocos2d::FileUtils::getInstance();
    if (archive.find('/') != std::string::npos) {
        std::string folder = getDirectoryPath(archive);
        if (!folder.empty() && !files->createDirectory(folder))
            return false;
    }

    std::string src = source;
    if (src.size() > 1 && src.back() == '/')
        src.pop_back();

    std::vector<std::string> list;
    if (files->isDirectoryExist(src)) {
        std::vector<std::string> all;
        listFiles(src, all, true, true);
        for (std::string& path : all) {
            if (baseName(path).rfind('.', 0) == 0)
                continue;
            if (path == archive)  // never pack the archive into itself
                continue;
            list.push_back(std::move(path));
        }
    } else if (files->isFileExist(src)) {
        list.push_back(src);
    }
    if (list.empty())
        return false;

    std::string base = src.find('/') == std::string::npos ? std::string() : getDirectoryPath(src);
    std::vector<std::string> args = {".", "-o", "-9"};
    if (!password.empty()) {
        args.emplace_back("-p");
        args.push_back(password);
    }
    args.push_back(archive);
    args.push_back(base);
    for (const std::string& path : list)
        args.push_back(files->isDirectoryExist(path) ? path + "/" : path);
    return toolFromStrings(zipTool, args) == 0;
}

bool unzipFile(const std::string& archive, const std::string& destination, const std::string& password)
{
    std::string dest = destination;
    if (dest.empty() || dest.back() != '/')
        dest += '/';
    if (archive.find_first_of("/\\") == std::string::npos)
        return false;

    // Pre-pass: refuse the archive before anything is written when any entry
    // is unsafe, then make the folders of every entry.
    unzFile zip = openArchive(archive);
    if (!zip) {
        cocos2d::log("unzip: cannot open \"%s\"", archive.c_str());
        return false;
    }
    std::vector<std::vector<std::string>> folders;
    int err = entryCount(zip) == 0 ? UNZ_END_OF_LIST_OF_FILE : unzGoToFirstFile(zip);
    while (err == UNZ_OK) {
        unz_file_info64 info{};
        std::string name;
        if (!currentEntry(zip, info, name)) {
            err = kUnzipNoEntryInfo;
            break;
        }
        std::string refusal = entryRefusal(name, info);
        if (!refusal.empty()) {
            cocos2d::log("unzip: refusing \"%s\", entry \"%s\": %s", archive.c_str(), name.c_str(),
                         refusal.c_str());
            err = kUnzipRefusedEntry;
            break;
        }
        std::vector<std::string> parts = splitEntryName(name);
        if (!isFolderEntry(name) && !parts.empty())
            parts.pop_back();
        if (!parts.empty())
            folders.push_back(std::move(parts));
        err = unzGoToNextFile(zip);
    }
    unzClose(zip);
    if (err != UNZ_END_OF_LIST_OF_FILE) {
        if (err != kUnzipRefusedEntry)
            cocos2d::log("unzip: cannot read the entries of \"%s\" (%d)", archive.c_str(), err);
        return false;
    }

    if (!cocos2d::FileUtils::getInstance()->createDirectory(dest)) {
        cocos2d::log("unzip: cannot make \"%s\"", dest.c_str());
        return false;
    }
    int rootFd = openExtractionRoot(dest);
    if (rootFd < 0)
        return false;
    for (const auto& parts : folders) {
        std::string why;
        int fd = openFolderChain(rootFd, parts, parts.size(), why);
        if (fd < 0) {
            cocos2d::log("unzip: \"%s\": %s", archive.c_str(), why.c_str());
            close(rootFd);
            return false;
        }
        close(fd);
    }
    close(rootFd);

    std::vector<std::string> args = {".", "-x", "-o"};
    if (!password.empty()) {
        args.emplace_back("-p");
        args.push_back(password);
    }
    args.push_back(archive);
    args.emplace_back("-d");
    args.push_back(dest);
    int result = toolFromStrings(unzipTool, args);
    cocos2d::log("unzip result:%i", result);
    return result == 0;
}

}  // namespace NSUI
