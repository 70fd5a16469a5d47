#include "toolkit/foundation/AssetsManagerEx.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

#include "toolkit/foundation/NSHttpClient.h"

namespace cocos2d {
namespace extension {

namespace {

const char* const kStorageManifest = "project.manifest";
const char* const kTempPrefix = ".fw-asset-";

std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            return parts;
        start = slash + 1;
    }
}

// Why an asset path may not be used, or "" when it may: it must stay below
// the storage folder.
std::string pathRefusal(const std::string& path)
{
    if (path.empty())
        return "an empty asset path";
    if (path.find('\0') != std::string::npos || path.find('\\') != std::string::npos)
        return "asset path \"" + path + "\" holds a backslash or a zero byte";
    if (path[0] == '/')
        return "asset path \"" + path + "\" is absolute";
    for (const std::string& part : splitPath(path)) {
        if (part.empty() || part == "." || part == "..")
            return "asset path \"" + path + "\" has an empty, \".\" or \"..\" component";
    }
    return "";
}

bool isSha256Hex(const std::string& text)
{
    if (text.size() != 64)
        return false;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string textOf(const ValueMap& map, const char* key)
{
    auto it = map.find(key);
    return it != map.end() && it->second.getType() == Value::Type::STRING ? it->second.asString() : std::string();
}

// Reads a manifest; false with `why` set when it cannot be used.
bool parseManifest(const std::string& text, std::string& version, std::string& packageUrl,
                   std::vector<AssetsManagerEx::Asset>& assets, std::string& why)
{
    if (text.empty()) {
        why = "the manifest is empty or unreadable";
        return false;
    }
    ValueMap root = FileUtils::getInstance()->getValueMapFromData(text.data(), static_cast<int>(text.size()));
    version = textOf(root, "version");
    if (version.empty()) {
        why = "the manifest has no version";
        return false;
    }
    packageUrl = textOf(root, "packageUrl");
    if (lower(packageUrl.substr(0, 8)) != "https://" || packageUrl.size() <= 8) {
        why = "the package address \"" + packageUrl + "\" is not https";
        return false;
    }
    while (packageUrl.back() == '/')
        packageUrl.pop_back();
    auto list = root.find("assets");
    if (list == root.end() || list->second.getType() != Value::Type::MAP) {
        why = "the manifest has no asset list";
        return false;
    }
    for (const auto& [path, entry] : list->second.asValueMap()) {
        std::string refusal = pathRefusal(path);
        if (!refusal.empty()) {
            why = refusal;
            return false;
        }
        if (entry.getType() != Value::Type::MAP) {
            why = "asset \"" + path + "\" has no description";
            return false;
        }
        const ValueMap& fields = entry.asValueMap();
        AssetsManagerEx::Asset asset;
        asset.path = path;
        asset.sha256 = lower(textOf(fields, "sha256"));
        auto size = fields.find("size");
        const bool sized = size != fields.end() && (size->second.getType() == Value::Type::INTEGER ||
                                                    size->second.getType() == Value::Type::DOUBLE);
        if (!isSha256Hex(asset.sha256) || !sized || size->second.asDouble() < 0) {
            why = "asset \"" + path + "\" lacks a SHA-256 or a size";
            return false;
        }
        asset.size = static_cast<long long>(size->second.asDouble());
        assets.push_back(std::move(asset));
    }
    return true;
}

std::string percentEncode(const std::string& path)
{
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// SHA-256 (lower-case hex) and size of what `fd` holds; false on a read
// error.
bool hashFile(int fd, std::string& digest, long long& size)
{
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        return false;
    std::vector<char> buffer(1 << 16);
    size = 0;
    for (;;) {
        ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        size += n;
        if (EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<size_t>(n)) != 1)
            return false;
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), md, &length) != 1)
        return false;
    static const char* const hex = "0123456789abcdef";
    digest.clear();
    for (unsigned int i = 0; i < length; ++i) {
        digest += hex[md[i] >> 4];
        digest += hex[md[i] & 15];
    }
    return true;
}

// Opens (making it when `create`) the folder `parts[0..count)` below
// `rootFd`, one component at a time, never through a symbolic link. -1 when
// it cannot.
int openFolders(int rootFd, const std::vector<std::string>& parts, size_t count, bool create)
{
    int fd = fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    for (size_t i = 0; i < count && fd >= 0; ++i) {
        int next = openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create) {
            mkdirat(fd, parts[i].c_str(), 0777);
            next = openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        close(fd);
        fd = next;
    }
    return fd;
}

// True when the asset's file under the storage folder (reached without
// symbolic links) holds exactly the asset.
bool assetIsCurrent(int storageFd, const AssetsManagerEx::Asset& asset)
{
    std::vector<std::string> parts = splitPath(asset.path);
    int dirFd = openFolders(storageFd, parts, parts.size() - 1, false);
    if (dirFd < 0)
        return false;
    int fd = openat(dirFd, parts.back().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    close(dirFd);
    if (fd < 0)
        return false;
    struct stat st {};
    std::string digest;
    long long size = 0;
    bool current = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && hashFile(fd, digest, size) &&
                   size == asset.size && digest == asset.sha256;
    close(fd);
    return current;
}

int openStorage(const std::string& path)
{
    return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

} // namespace

// ---------------------------------------------------------------------------

EventAssetsManagerEx::EventAssetsManagerEx(const std::string& eventName, AssetsManagerEx* manager, int code,
                                           const std::string& assetId, const std::string& message, float percent,
                                           float percentByFile)
    : EventCustom(eventName), _manager(manager), _code(code), _assetId(assetId), _message(message),
      _percent(percent), _percentByFile(percentByFile)
{
}

EventListenerAssetsManagerEx* EventListenerAssetsManagerEx::create(
    AssetsManagerEx* manager, const std::function<void(EventAssetsManagerEx*)>& callback)
{
    auto* listener = new (std::nothrow) EventListenerAssetsManagerEx();
    if (listener && listener->init(manager, callback)) {
        listener->autorelease();
        return listener;
    }
    delete listener;
    return nullptr;
}

bool EventListenerAssetsManagerEx::init(AssetsManagerEx* manager,
                                        const std::function<void(EventAssetsManagerEx*)>& callback)
{
    if (!manager)
        return false;
    _manager = manager;
    _callback = callback;
    return EventListenerCustom::init(manager->getEventName(), [this](EventCustom* event) {
        if (_callback)
            _callback(static_cast<EventAssetsManagerEx*>(event));
    });
}

EventListenerAssetsManagerEx* EventListenerAssetsManagerEx::clone()
{
    return create(_manager, _callback);
}

// ---------------------------------------------------------------------------

AssetsManagerEx* AssetsManagerEx::create(const std::string& manifestName, const std::string& storagePath, bool)
{
    auto* manager = new (std::nothrow) AssetsManagerEx();
    if (manager && manager->init(manifestName, storagePath)) {
        manager->autorelease();
        return manager;
    }
    delete manager;
    return nullptr;
}

bool AssetsManagerEx::init(const std::string& manifestName, const std::string& storagePath)
{
    if (storagePath.empty())
        return false;
    _manifestName = manifestName;
    _storagePath = storagePath.back() == '/' ? storagePath : storagePath + "/";
    FileUtils::getInstance()->createDirectory(_storagePath);
    _eventName = "fw.assets-manager." + std::to_string(getRefID());
    _worker = std::thread([this] { workerLoop(); });
    return true;
}

AssetsManagerEx::~AssetsManagerEx()
{
    // No callback of the client reaches this object from here on, and the
    // download under way is aborted.
    if (_updating)
        NSUI::NSHttpClient::getInstance()->cancelRequestsForOwner(this);
    {
        std::lock_guard<std::mutex> lock(_jobMutex);
        _stopping = true;
        _jobs.clear();
    }
    _jobCondition.notify_one();
    if (_worker.joinable())
        _worker.join();
    if (auto* director = Director::getInstance())
        director->getScheduler()->removeFunctionInCocosThread(this);
    int storageFd = openStorage(_storagePath);
    for (const std::string& name : _temps) {
        if (storageFd >= 0)
            unlinkat(storageFd, name.c_str(), 0);
    }
    if (storageFd >= 0)
        close(storageFd);
}

void AssetsManagerEx::post(int code, const std::string& assetId, const std::string& message, float percent,
                           float percentByFile)
{
    const std::string eventName = _eventName;
    Director::getInstance()->getScheduler()->performFunctionInCocosThread(
        this, [this, eventName, code, assetId, message, percent, percentByFile] {
            EventAssetsManagerEx event(eventName, this, code, assetId, message, percent, percentByFile);
            // A listener may release the manager: nothing of it is used after.
            Director::getInstance()->getEventDispatcher()->dispatchEvent(&event);
        });
}

void AssetsManagerEx::runOnWorker(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(_jobMutex);
        if (_stopping)
            return;
        _jobs.push_back(std::move(job));
    }
    _jobCondition.notify_one();
}

void AssetsManagerEx::workerLoop()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(_jobMutex);
            _jobCondition.wait(lock, [this] { return _stopping || !_jobs.empty(); });
            if (_stopping)
                return;
            job = std::move(_jobs.front());
            _jobs.pop_front();
        }
        job();
    }
}

std::string AssetsManagerEx::newTempName()
{
    std::lock_guard<std::mutex> lock(_tempMutex);
    std::string name = kTempPrefix + std::to_string(getpid()) + "-" + std::to_string(getRefID()) + "-" +
                       std::to_string(_tempCounter++) + ".part";
    _temps.insert(name);
    return name;
}

void AssetsManagerEx::forgetTemp(const std::string& name)
{
    std::lock_guard<std::mutex> lock(_tempMutex);
    _temps.erase(name);
}

void AssetsManagerEx::update()
{
    if (_updating)
        return;
    auto* files = FileUtils::getInstance();
    const std::string path = files->fullPathForFilename(_manifestName);
    if (path.empty()) {
        post(EventAssetsManagerEx::ERROR_NO_LOCAL_MANIFEST, "", "no local manifest \"" + _manifestName + "\"");
        return;
    }
    std::string text = files->getStringFromFile(path);
    std::string version, packageUrl, why;
    std::vector<Asset> assets;
    if (!parseManifest(text, version, packageUrl, assets, why)) {
        log("assets: refusing the manifest \"%s\": %s", path.c_str(), why.c_str());
        post(EventAssetsManagerEx::ERROR_PARSE_MANIFEST, "", why);
        return;
    }
    const std::string stored = files->getStringFromFile(_storagePath + kStorageManifest);
    if (!stored.empty()) {
        ValueMap map = files->getValueMapFromData(stored.data(), static_cast<int>(stored.size()));
        if (textOf(map, "version") == version) {
            post(EventAssetsManagerEx::ALREADY_UP_TO_DATE, version);
            return;
        }
    }
    post(EventAssetsManagerEx::NEW_VERSION_FOUND, version);
    _updating = true;
    _manifestText = std::move(text);
    _packageUrl = packageUrl;
    _bytesTotal = _bytesDone = 0;
    _pending = 0;
    _anyFailed = false;
    runOnWorker([this, assets] { compareOnWorker(assets); });
}

void AssetsManagerEx::compareOnWorker(std::vector<Asset> assets)
{
    std::vector<Asset> toFetch;
    int storageFd = openStorage(_storagePath);
    for (Asset& asset : assets) {
        if (storageFd < 0 || !assetIsCurrent(storageFd, asset))
            toFetch.push_back(std::move(asset));
    }
    if (storageFd >= 0)
        close(storageFd);
    Director::getInstance()->getScheduler()->performFunctionInCocosThread(
        this, [this, toFetch] { startDownloads(toFetch); });
}

void AssetsManagerEx::startDownloads(std::vector<Asset> toFetch)
{
    if (toFetch.empty()) {
        runOnWorker([this] { finishOnWorker(); });
        return;
    }
    _pending = toFetch.size();
    for (const Asset& asset : toFetch)
        _bytesTotal += asset.size;
    auto* client = NSUI::NSHttpClient::getInstance();
    for (const Asset& asset : toFetch) {
        const std::string temp = newTempName();
        auto* request = new NSUI::NSHttpRequest();
        request->requestType = NSUI::NSHttpRequest::kDownload;
        request->url = _packageUrl + "/" + percentEncode(asset.path);
        request->downloadPath = _storagePath + temp;
        request->owner = this;
        request->tag = asset.path;
        request->callback = [this, asset, temp](NSUI::NSHttpClient*, NSUI::NSHttpResponse* response) {
            std::string error = response->errorText;
            if (!response->succeeded && error.empty())
                error = "HTTP status " + std::to_string(response->responseCode);
            onDownloaded(asset, temp, response->succeeded, error);
        };
        client->send(request);
        request->release();
    }
}

void AssetsManagerEx::onDownloaded(const Asset& asset, const std::string& tempName, bool ok,
                                   const std::string& error)
{
    if (!ok) {
        int storageFd = openStorage(_storagePath);
        if (storageFd >= 0) {
            unlinkat(storageFd, tempName.c_str(), 0);
            close(storageFd);
        }
        forgetTemp(tempName);
        assetDone(asset, false, "download failed: " + error);
        return;
    }
    runOnWorker([this, asset, tempName] { placeOnWorker(asset, tempName); });
}

void AssetsManagerEx::placeOnWorker(Asset asset, std::string tempName)
{
    std::string error;
    int storageFd = openStorage(_storagePath);
    int fd = storageFd >= 0 ? openat(storageFd, tempName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1;
    std::string digest;
    long long size = 0;
    if (fd < 0 || !hashFile(fd, digest, size)) {
        error = "cannot read the downloaded file";
    } else if (size != asset.size) {
        error = "size " + std::to_string(size) + " instead of " + std::to_string(asset.size);
    } else if (digest != asset.sha256) {
        error = "SHA-256 " + digest + " instead of " + asset.sha256;
    }
    if (fd >= 0)
        close(fd);
    if (error.empty()) {
        std::vector<std::string> parts = splitPath(asset.path);
        int dirFd = openFolders(storageFd, parts, parts.size() - 1, true);
        if (dirFd < 0) {
            error = "a folder of its path cannot be made or is a symbolic link";
        } else {
            if (renameat(storageFd, tempName.c_str(), dirFd, parts.back().c_str()) != 0)
                error = std::string("cannot put it in place: ") + strerror(errno);
            close(dirFd);
        }
    }
    if (!error.empty() && storageFd >= 0)
        unlinkat(storageFd, tempName.c_str(), 0);
    if (storageFd >= 0)
        close(storageFd);
    forgetTemp(tempName);
    if (!error.empty())
        log("assets: \"%s\" not kept: %s", asset.path.c_str(), error.c_str());
    Director::getInstance()->getScheduler()->performFunctionInCocosThread(
        this, [this, asset, error] { assetDone(asset, error.empty(), error); });
}

void AssetsManagerEx::assetDone(const Asset& asset, bool ok, const std::string& error)
{
    _bytesDone += asset.size;
    const float percent =
        _bytesTotal > 0 ? static_cast<float>(100.0 * static_cast<double>(_bytesDone) / _bytesTotal) : 100.0f;
    post(EventAssetsManagerEx::UPDATE_PROGRESSION, asset.path, "", percent, 100.0f);
    if (ok) {
        post(EventAssetsManagerEx::ASSET_UPDATED, asset.path);
    } else {
        _anyFailed = true;
        post(EventAssetsManagerEx::ERROR_UPDATING, asset.path, error);
    }
    if (--_pending > 0)
        return;
    if (_anyFailed) {
        _updating = false;
        post(EventAssetsManagerEx::UPDATE_FAILED);
        return;
    }
    runOnWorker([this] { finishOnWorker(); });
}

void AssetsManagerEx::finishOnWorker()
{
    // The manifest goes in place last, so an interrupted update is tried
    // again at the next start.
    std::string error;
    const std::string temp = newTempName();
    int storageFd = openStorage(_storagePath);
    int fd = storageFd >= 0
                 ? openat(storageFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)
                 : -1;
    if (fd < 0) {
        error = std::string("cannot write the manifest: ") + strerror(errno);
    } else {
        const char* data = _manifestText.data();
        size_t left = _manifestText.size();
        while (left > 0) {
            ssize_t n = write(fd, data, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            data += n;
            left -= static_cast<size_t>(n);
        }
        if (close(fd) != 0 || left > 0)
            error = "cannot write the manifest";
        else if (renameat(storageFd, temp.c_str(), storageFd, kStorageManifest) != 0)
            error = std::string("cannot put the manifest in place: ") + strerror(errno);
    }
    if (!error.empty() && storageFd >= 0)
        unlinkat(storageFd, temp.c_str(), 0);
    if (storageFd >= 0)
        close(storageFd);
    forgetTemp(temp);
    Director::getInstance()->getScheduler()->performFunctionInCocosThread(this, [this, error] {
        _updating = false;
        if (error.empty())
            post(EventAssetsManagerEx::UPDATE_FINISHED);
        else
            post(EventAssetsManagerEx::UPDATE_FAILED, "", error);
    });
}

} // namespace extension
} // namespace cocos2d
