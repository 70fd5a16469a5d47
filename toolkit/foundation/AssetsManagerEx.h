// Asset manager: brings a storage folder up to the version a manifest
// describes, downloading the assets that are missing or differ through the
// HTTP client.
//
// The manifest is a property list (read with the engine's plist reader):
//   version     text
//   packageUrl  https base address; an asset's address is packageUrl + "/" +
//               its path (each path component percent-encoded)
//   assets      dict: relative path -> dict { sha256: hex text, size: integer }
// The local manifest is found by name through the engine's search paths.
//
// update() (UI thread) sends its events, each on the UI thread at a later
// frame, to the listeners made for this manager:
//   0 no local manifest
//   2 the manifest cannot be used: unreadable, no version, a packageUrl that
//     is not https, an asset without a 64-digit sha256 or a size, or an asset
//     path that is absolute, empty, holds a "\" or a "", "." or ".."
//     component; nothing is downloaded
//   4 already up to date: the version equals that of
//     storagePath/project.manifest
//   3 new version found (asset id = the new version); then every asset whose
//     file under the storage folder is missing or differs in SHA-256 is
//     downloaded to a temporary file in the storage folder, checked for size
//     and SHA-256 and renamed into place, never through a symbolic link:
//   5 progress after each asset (asset id = its path; percent over the bytes
//     to download, percent of the file)
//   6 the asset was updated, or 7 it failed (message says why; it is not kept)
//   8 every asset is in place and the manifest was written to
//     storagePath/project.manifest (temporary file + rename), or 9 when any
//     asset failed (the old storage manifest stays).
// Code 1 (manifest download failed) is never sent: the manifest arrives
// through its caller's own request. Hashing, checking and renaming run on one
// worker thread of the manager.
//
// Releasing the manager (UI thread) cancels its requests, stops its worker
// and removes its temporary files; no event follows.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"

namespace cocos2d {
namespace extension {

class AssetsManagerEx;

class EventAssetsManagerEx : public EventCustom {
public:
    enum EventCode {
        ERROR_NO_LOCAL_MANIFEST = 0,
        ERROR_DOWNLOAD_MANIFEST = 1,
        ERROR_PARSE_MANIFEST = 2,
        NEW_VERSION_FOUND = 3,
        ALREADY_UP_TO_DATE = 4,
        UPDATE_PROGRESSION = 5,
        ASSET_UPDATED = 6,
        ERROR_UPDATING = 7,
        UPDATE_FINISHED = 8,
        UPDATE_FAILED = 9,
    };

    EventAssetsManagerEx(const std::string& eventName, AssetsManagerEx* manager, int code,
                         const std::string& assetId = "", const std::string& message = "", float percent = 0,
                         float percentByFile = 0);

    int getEventCode() const { return _code; }
    std::string getAssetId() const { return _assetId; }
    std::string getMessage() const { return _message; }
    float getPercent() const { return _percent; }
    float getPercentByFile() const { return _percentByFile; }
    AssetsManagerEx* getAssetsManagerEx() const { return _manager; }

private:
    AssetsManagerEx* _manager;
    int _code;
    std::string _assetId;
    std::string _message;
    float _percent;
    float _percentByFile;
};

// Receives the events of one manager only. Add it to the director's event
// dispatcher (a fixed priority; the updater uses 1).
class EventListenerAssetsManagerEx : public EventListenerCustom {
public:
    static EventListenerAssetsManagerEx* create(AssetsManagerEx* manager,
                                                const std::function<void(EventAssetsManagerEx*)>& callback);
    bool init(AssetsManagerEx* manager, const std::function<void(EventAssetsManagerEx*)>& callback);
    bool checkAvailable() override { return static_cast<bool>(_callback); }
    EventListenerAssetsManagerEx* clone() override;

private:
    AssetsManagerEx* _manager = nullptr;
    std::function<void(EventAssetsManagerEx*)> _callback;
};

class AssetsManagerEx : public Ref {
public:
    // The flag is reserved. The storage folder is made when missing.
    static AssetsManagerEx* create(const std::string& manifestName, const std::string& storagePath,
                                   bool flag = true);
    ~AssetsManagerEx() override;

    void update();

    // The custom event name of this manager's events.
    const std::string& getEventName() const { return _eventName; }
    const std::string& getStoragePath() const { return _storagePath; }

    struct Asset {
        std::string path;
        std::string sha256; // lower-case hex
        long long size = 0;
    };

private:
    AssetsManagerEx() = default;
    bool init(const std::string& manifestName, const std::string& storagePath);

    void post(int code, const std::string& assetId = "", const std::string& message = "", float percent = 0,
              float percentByFile = 0);
    // Runs `job` on the manager's worker thread.
    void runOnWorker(std::function<void()> job);
    void workerLoop();

    // Steps of an update, in order.
    void compareOnWorker(std::vector<Asset> assets);
    void startDownloads(std::vector<Asset> toFetch);
    void onDownloaded(const Asset& asset, const std::string& tempName, bool ok, const std::string& error);
    void placeOnWorker(Asset asset, std::string tempName);
    void assetDone(const Asset& asset, bool ok, const std::string& error);
    void finishOnWorker();

    std::string newTempName();
    void forgetTemp(const std::string& name);

    std::string _manifestName;
    std::string _storagePath; // ends with "/"
    std::string _eventName;

    // The update under way (UI thread).
    std::string _manifestText;
    std::string _packageUrl;
    bool _updating = false;
    long long _bytesTotal = 0;
    long long _bytesDone = 0;
    size_t _pending = 0;
    bool _anyFailed = false;

    std::mutex _tempMutex;
    std::set<std::string> _temps; // names in the storage folder
    unsigned _tempCounter = 0;

    std::mutex _jobMutex;
    std::condition_variable _jobCondition;
    std::deque<std::function<void()>> _jobs;
    bool _stopping = false;
    std::thread _worker;
};

} // namespace extension
} // namespace cocos2d
