#include "toolkit/foundation/NSZipTools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
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
constexpr size_t kUnzipBufferSize = 65536;

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
constexpr int kUnzipEncrypted = -1012;
constexpr int kUnzipOverlap = -1013;
constexpr int kUnzipNoSpace = -1014;
constexpr int kUnzipTooLarge = -1015;

// Free space an unpacked archive must leave on its file system.
constexpr uint64_t kFreeSpaceMargin = 64ull << 20;

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

// --- reading archives ---
//
// minizip walks the central directory; the sizes, the local header offset
// and the data are read here. The system's minizip (1.1) tests the zip64
// markers against (unsigned long)-1, which never matches a 32-bit field on a
// 64-bit system, so it never reads the zip64 extra field: entries of 4 GiB
// and more and entries stored past 4 GiB would come out wrong.

constexpr uint64_t kMax32 = 0xFFFFFFFFull;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kCentralRecordSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr unsigned long kEncryptedFlag = 1u;
constexpr int kStored = 0;
constexpr int kDeflated = Z_DEFLATED;

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const unsigned char* p) { return le16(p) | static_cast<uint32_t>(le16(p + 2)) << 16; }
uint64_t le64(const unsigned char* p) { return le32(p) | static_cast<uint64_t>(le32(p + 4)) << 32; }

bool readAt(int fd, uint64_t offset, void* buffer, size_t size)
{
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t n = pread(fd, out, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

uint64_t addSaturating(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// One entry as the central directory describes it, with 64-bit sizes.
struct Entry {
    std::string name;
    unz_file_info64 info{};
    uint64_t compressedSize = 0;
    uint64_t size = 0;         // uncompressed, as declared
    uint64_t localHeader = 0;  // offset of the local header
    uint64_t dataStart = 0;    // offset of the data
};

// An open archive: minizip's handle for the directory walk and a descriptor
// for the data.
struct Archive {
    unzFile zip = nullptr;
    int fd = -1;
    uint64_t fileSize = 0;
    Archive() = default;
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;
    ~Archive()
    {
        if (zip)
            unzClose(zip);
        if (fd >= 0)
            close(fd);
    }
};

// Opens `path`, or `path` + ".zip" when that does not open.
bool openArchive(const std::string& path, Archive& archive)
{
    zlib_filefunc64_def functions = archiveFileFunctions();
    for (const std::string& candidate : {path, path + ".zip"}) {
        archive.zip = unzOpen2_64(candidate.c_str(), &functions);
        if (!archive.zip)
            continue;
        archive.fd = open(candidate.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (archive.fd >= 0 && fstat(archive.fd, &st) == 0) {
            archive.fileSize = static_cast<uint64_t>(st.st_size);
            return true;
        }
        unzClose(archive.zip);
        archive.zip = nullptr;
        if (archive.fd >= 0)
            close(archive.fd);
        archive.fd = -1;
    }
    return false;
}

// Reads the directory record of minizip's current entry and its local
// header. False with `why` set when either is unreadable or damaged.
bool readEntry(const Archive& archive, Entry& entry, std::string& why)
{
    unz_file_info64& info = entry.info;
    if (unzGetCurrentFileInfo64(archive.zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        why = "cannot read the central directory";
        return false;
    }
    entry.name.assign(info.size_filename, '\0');
    std::vector<unsigned char> extra(info.size_file_extra);
    if (unzGetCurrentFileInfo64(archive.zip, &info, entry.name.data(), info.size_filename, extra.data(),
                                info.size_file_extra, nullptr, 0) != UNZ_OK) {
        why = "cannot read the central directory";
        return false;
    }
    unz64_file_pos position{};
    unsigned char record[kCentralRecordSize];
    if (unzGetFilePos64(archive.zip, &position) != UNZ_OK ||
        !readAt(archive.fd, position.pos_in_zip_directory, record, sizeof record) ||
        le32(record) != kCentralSignature) {
        why = "cannot read the central directory";
        return false;
    }
    entry.compressedSize = le32(record + 20);
    entry.size = le32(record + 24);
    entry.localHeader = le32(record + 42);

    // The zip64 extra field holds, in this order, each of the three values
    // whose 32-bit field is the marker 0xFFFFFFFF.
    for (size_t at = 0; at + 4 <= extra.size();) {
        const uint16_t id = le16(&extra[at]);
        const size_t length = le16(&extra[at + 2]);
        const size_t end = std::min(extra.size(), at + 4 + length);
        if (id == kZip64ExtraId) {
            size_t field = at + 4;
            for (uint64_t* value : {&entry.size, &entry.compressedSize, &entry.localHeader}) {
                if (*value != kMax32)
                    continue;
                if (field + 8 > end) {
                    why = "its zip64 field is cut short";
                    return false;
                }
                *value = le64(&extra[field]);
                field += 8;
            }
        }
        at = end;
    }

    unsigned char local[kLocalHeaderSize];
    if (entry.localHeader > archive.fileSize || !readAt(archive.fd, entry.localHeader, local, sizeof local) ||
        le32(local) != kLocalSignature) {
        why = "its local header is missing or damaged";
        return false;
    }
    entry.dataStart = entry.localHeader + kLocalHeaderSize + le16(local + 26) + le16(local + 28);
    if (entry.compressedSize > archive.fileSize || entry.dataStart > archive.fileSize - entry.compressedSize) {
        why = "its data runs past the end of the archive";
        return false;
    }
    return true;
}

// Why an entry's kind of data cannot be unpacked, with the tool's result.
int dataRefusal(const Entry& entry, std::string& why)
{
    if (entry.info.flag & kEncryptedFlag) {
        why = "the archive is protected by a password";
        return kUnzipEncrypted;
    }
    const int method = static_cast<int>(entry.info.compression_method);
    if (!isFolderEntry(entry.name) && method != kStored && method != kDeflated) {
        why = "compression method " + std::to_string(method) + " is not supported";
        return kUnzipRefusedEntry;
    }
    return UNZ_OK;
}

// Reads every entry and refuses the archive, before anything is written,
// when an entry is unsafe (see entryRefusal), encrypted, of an unknown
// method or damaged, or when two entries share bytes of the archive (the
// way zip bombs multiply one compressed stream). On refusal `why` says why.
int scanArchive(const Archive& archive, std::vector<Entry>& entries, std::string& why)
{
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(archive.zip, &global) != UNZ_OK) {
        why = "cannot read the central directory";
        return kUnzipNoEntryInfo;
    }
    if (global.number_entry == 0)
        return UNZ_OK;
    int err = unzGoToFirstFile(archive.zip);
    while (err == UNZ_OK) {
        Entry entry;
        if (!readEntry(archive, entry, why)) {
            why = "entry \"" + entry.name + "\": " + why;
            return kUnzipNoEntryInfo;
        }
        std::string refusal = entryRefusal(entry.name, entry.info);
        if (!refusal.empty()) {
            why = "entry \"" + entry.name + "\": " + refusal;
            return kUnzipRefusedEntry;
        }
        int code = dataRefusal(entry, refusal);
        if (code != UNZ_OK) {
            why = code == kUnzipEncrypted ? refusal : "entry \"" + entry.name + "\": " + refusal;
            return code;
        }
        entries.push_back(std::move(entry));
        err = unzGoToNextFile(archive.zip);
    }
    if (err != UNZ_END_OF_LIST_OF_FILE) {
        why = entries.empty() ? std::string("cannot read the first entry")
                              : "cannot reach the entry after \"" + entries.back().name + "\"";
        return kUnzipNoNextEntry;
    }

    // Each entry owns its local header and data; sorted by start, a range
    // that begins before the furthest end so far shares bytes with it.
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return entries[a].localHeader < entries[b].localHeader; });
    uint64_t furthest = 0;
    size_t owner = 0;
    for (size_t k = 0; k < order.size(); ++k) {
        const Entry& e = entries[order[k]];
        if (k > 0 && e.localHeader < furthest) {
            why = "entries \"" + entries[owner].name + "\" and \"" + e.name + "\" overlap in the archive";
            return kUnzipOverlap;
        }
        const uint64_t end = e.dataStart + e.compressedSize;
        if (end > furthest) {
            furthest = end;
            owner = order[k];
        }
    }
    return UNZ_OK;
}

// Refuses to unpack `entries` into `folder` when their declared sizes add
// up to more than the free space there, less a margin.
int checkFreeSpace(const std::vector<const Entry*>& entries, const std::string& folder, std::string& why)
{
    uint64_t total = 0;
    for (const Entry* e : entries)
        total = addSaturating(total, e->size);
    if (total == 0)
        return UNZ_OK;
    // The folder may not exist yet: ask the nearest existing folder above it.
    std::string probe = folder.empty() ? std::string(".") : folder;
    struct statvfs st {};
    while (statvfs(probe.c_str(), &st) != 0) {
        while (probe.size() > 1 && isSeparator(probe.back()))
            probe.pop_back();
        size_t slash = probe.find_last_of('/');
        if (errno != ENOENT || probe == "/" || probe == ".") {
            why = "cannot tell the free space at \"" + folder + "\": " + strerror(errno);
            return kUnzipNoSpace;
        }
        probe = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : probe.substr(0, slash);
    }
    const uint64_t available = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    const uint64_t usable = available > kFreeSpaceMargin ? available - kFreeSpaceMargin : 0;
    if (total > usable) {
        why = "it unpacks to " + std::to_string(total) + " bytes, more than the free space at \"" + probe + "\" (" +
              std::to_string(available) + " bytes, of which " + std::to_string(kFreeSpaceMargin >> 20) +
              " MiB stay free)";
        return kUnzipNoSpace;
    }
    return UNZ_OK;
}

// Reads an entry's data from the archive, inflating it when it is
// deflated, and hands it to `sink` in pieces; stops with kUnzipTooLarge
// before handing over anything beyond the declared size. Checks the size
// and the CRC at the end.
int readEntryData(const Archive& archive, const Entry& entry, const std::function<bool(const char*, size_t)>& sink)
{
    std::vector<char> input(kUnzipBufferSize), output(kUnzipBufferSize);
    uint64_t offset = entry.dataStart;
    uint64_t remaining = entry.compressedSize;
    uint64_t produced = 0;
    unsigned long crc = crc32(0L, Z_NULL, 0);
    auto deliver = [&](const char* data, size_t n) -> int {
        if (n > entry.size - produced)
            return kUnzipTooLarge;
        produced += n;
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(data), n);
        return sink(data, n) ? UNZ_OK : kUnzipWriteFailed;
    };
    auto readInput = [&](size_t& n) -> bool {
        n = static_cast<size_t>(std::min<uint64_t>(remaining, input.size()));
        if (!readAt(archive.fd, offset, input.data(), n))
            return false;
        offset += n;
        remaining -= n;
        return true;
    };

    int err = UNZ_OK;
    if (entry.info.compression_method == kStored) {
        while (remaining > 0 && err == UNZ_OK) {
            size_t n = 0;
            err = readInput(n) ? deliver(input.data(), n) : UNZ_ERRNO;
        }
    } else {
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return UNZ_INTERNALERROR;
        bool ended = false;
        while (!ended && err == UNZ_OK) {
            if (stream.avail_in == 0 && remaining > 0) {
                size_t n = 0;
                if (!readInput(n)) {
                    err = UNZ_ERRNO;
                    break;
                }
                stream.next_in = reinterpret_cast<Bytef*>(input.data());
                stream.avail_in = static_cast<uInt>(n);
            }
            stream.next_out = reinterpret_cast<Bytef*>(output.data());
            stream.avail_out = static_cast<uInt>(output.size());
            const int z = inflate(&stream, Z_NO_FLUSH);
            const size_t n = output.size() - stream.avail_out;
            if (z == Z_STREAM_END)
                ended = true;
            else if (z == Z_BUF_ERROR)
                break;  // the input is used up: the size check below decides
            else if (z != Z_OK)
                err = z == Z_MEM_ERROR ? UNZ_INTERNALERROR : Z_DATA_ERROR;
            if (n > 0 && err == UNZ_OK)
                err = deliver(output.data(), n);
        }
        inflateEnd(&stream);
    }
    if (err != UNZ_OK)
        return err;
    if (produced != entry.size)
        return UNZ_BADZIPFILE;
    return crc == entry.info.crc ? UNZ_OK : UNZ_CRCERROR;
}

// Extracts one entry below `rootFd`.
int extractEntry(const Archive& archive, const Entry& entry, int rootFd, bool withoutFolders)
{
    const std::string& name = entry.name;
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

    const std::string& finalName = parts.back();
    const std::string partName = temporaryName();
    int out = openat(dirFd, partName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (out < 0) {
        cocos2d::log("unzip: cannot create \"%s\": %s", name.c_str(), strerror(errno));
        close(dirFd);
        return kUnzipCannotCreate;
    }
    int err = readEntryData(archive, entry,
                            [out](const char* data, size_t size) { return writeAll(out, data, size); });
    if (close(out) != 0 && err == UNZ_OK)
        err = kUnzipWriteFailed;
    switch (err) {
    case UNZ_OK: break;
    case kUnzipTooLarge:
        cocos2d::log("unzip: entry \"%s\" is larger than its declared size (%llu bytes); stopped", name.c_str(),
                     static_cast<unsigned long long>(entry.size));
        break;
    case UNZ_CRCERROR: cocos2d::log("unzip: entry \"%s\" fails its CRC check", name.c_str()); break;
    case kUnzipWriteFailed: cocos2d::log("unzip: cannot write \"%s\": %s", name.c_str(), strerror(errno)); break;
    default: cocos2d::log("unzip: entry \"%s\" is damaged (%d)", name.c_str(), err); break;
    }

    if (err == UNZ_OK) {
        setModificationTime(dirFd, partName, entry.info.tmu_date);
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

    Archive archive;
    if (!openArchive(archivePath, archive)) {
        cocos2d::log("unzip: cannot open \"%s\"", archivePath.c_str());
        return 1;
    }

    // Everything is checked before the first byte is written.
    std::vector<Entry> entries;
    std::string why;
    int result = scanArchive(archive, entries, why);
    if (result == UNZ_OK && !password.empty()) {
        // No entry is encrypted: a password has nothing to open.
        why = "password protection is not available";
        result = UNZ_PARAMERROR;
    }
    if (result != UNZ_OK) {
        cocos2d::log("unzip: refusing \"%s\": %s", archivePath.c_str(), why.c_str());
        return result;
    }
    std::vector<const Entry*> chosen;
    for (const Entry& e : entries) {
        if (!haveEntry || e.name == entryName)
            chosen.push_back(&e);
    }
    if (haveEntry && chosen.empty())
        return 2;
    result = checkFreeSpace(chosen, folder, why);
    if (result != UNZ_OK) {
        cocos2d::log("unzip: refusing \"%s\": %s", archivePath.c_str(), why.c_str());
        return result;
    }

    int rootFd = openExtractionRoot(folder);
    if (rootFd < 0) {
        cocos2d::log("unzip: cannot open folder \"%s\": %s", folder.c_str(), strerror(errno));
        return kUnzipUnsafeFolder;
    }
    for (const Entry* e : chosen) {
        result = extractEntry(archive, *e, rootFd, withoutFolders);
        if (result != UNZ_OK)
            break;
    }
    close(rootFd);
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

    // Pre-pass: refuse the archive before anything is written (see
    // scanArchive and checkFreeSpace), then make the folders of every entry.
    std::vector<std::vector<std::string>> folders;
    {
        Archive zip;
        if (!openArchive(archive, zip)) {
            cocos2d::log("unzip: cannot open \"%s\"", archive.c_str());
            return false;
        }
        std::vector<Entry> entries;
        std::string why;
        int err = scanArchive(zip, entries, why);
        if (err == UNZ_OK) {
            std::vector<const Entry*> all;
            for (const Entry& e : entries)
                all.push_back(&e);
            err = checkFreeSpace(all, dest, why);
        }
        if (err == UNZ_OK && !password.empty()) {
            why = "password protection is not available";
            err = UNZ_PARAMERROR;
        }
        if (err != UNZ_OK) {
            cocos2d::log("unzip: refusing \"%s\": %s", archive.c_str(), why.c_str());
            return false;
        }
        for (const Entry& e : entries) {
            std::vector<std::string> parts = splitEntryName(e.name);
            if (!isFolderEntry(e.name) && !parts.empty())
                parts.pop_back();
            if (!parts.empty())
                folders.push_back(std::move(parts));
        }
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
