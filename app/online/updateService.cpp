#include "app/online/updateService.h"

#include <filesystem>
#include <system_error>

#include "app/online/onlineService.h"
#include "engine/base/base64.h"
#include "engine/base/ccLog.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSFormat.h"

namespace fs = std::filesystem;

namespace {

std::string withSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// The spare folder may be emptied only when it lies strictly inside
// kq/update/ (after following every link on the way), is not the active
// folder and is no symbolic link itself.
bool spareMayBeEmptied(const std::string& spare, const std::string& active, const std::string& updateRoot) {
  std::error_code ec;
  fs::path s = fs::path(spare).lexically_normal();
  if (!s.has_filename()) s = s.parent_path();
  if (fs::is_symlink(s, ec)) return false;
  const fs::path root = fs::weakly_canonical(fs::path(updateRoot), ec);
  if (ec) return false;
  const fs::path sc = fs::weakly_canonical(s, ec);
  if (ec) return false;
  const fs::path ac = fs::weakly_canonical(fs::path(active).lexically_normal(), ec);
  if (ec) return false;
  auto strip = [](fs::path p) { return p.has_filename() ? p : p.parent_path(); };
  const fs::path r = strip(root), x = strip(sc), a = strip(ac);
  if (x == a || x == r) return false;
  const fs::path rel = x.lexically_relative(r);
  return !rel.empty() && *rel.begin() != ".." && *rel.begin() != ".";
}

}  // namespace

updateService* updateService::create() {
  auto* service = new updateService;
  if (!service->init()) {
    delete service;
    return nullptr;
  }
  service->autorelease();
  return service;
}

updateService::updateService() : alive(std::make_shared<std::atomic<bool>>(true)) {}

updateService::~updateService() {
  alive->store(false);
  stop();
}

bool updateService::init() {
  working = true;
  listener = nullptr;
  httpOwner = this;
  const int pending = getIntegerForKey("update_hasValidUpdate", -1);
  if (pending == 1 || pending == 2) setStringForKey("update_now", NSUI::formatString("%i", pending));
  const int now = getIntegerForKey("update_now", 1);
  auto* files = cocos2d::FileUtils::getInstance();
  const std::string kq = files->getWritablePath() + "kq/";
  const std::string path1 = kq + getStringForKey("update_nowPath1", "update/temp1");
  const std::string path2 = kq + getStringForKey("update_nowPath2", "update/temp2");
  activePath = withSlash(now == 1 ? path1 : path2);
  sparePath = withSlash(now == 1 ? path2 : path1);
  files->addSearchPath(activePath, true);
  files->createDirectory(activePath);
  if (pending < 0) {
    checkVersion();
    return true;
  }
  std::shared_ptr<std::atomic<bool>> living = alive;
  NSUI::NSRunableThread::create([this](void*) { prepareSpareFolder(); }, nullptr, this, [this, living] {
    if (living->load()) onPrepareDone();
  });
  // The configuration an update carried applies from this start on.
  const std::string ci = activePath + "c.i";
  if (files->isFileExist(ci)) {
    const std::string text = files->getStringFromFile(ci);
    setStringForKey("app_config_ini", cocos2d::safeBase64DecodeString(text));
  }
  return true;
}

void updateService::prepareSpareFolder() {
  const std::string kqUpdate = cocos2d::FileUtils::getInstance()->getWritablePath() + "kq/update/";
  if (!spareMayBeEmptied(sparePath, activePath, kqUpdate)) {
    cocos2d::log("update: the spare folder %s is not a folder of its own under kq/update/; nothing is removed",
                 sparePath.c_str());
    return;
  }
  std::error_code ec;
  fs::remove_all(fs::path(sparePath), ec);
  if (ec) return;
  if (NSUI::copyFolder(activePath, sparePath)) setStringForKey("update_hasValidUpdate", "-1");
}

void updateService::onPrepareDone() {
  if (getIntegerForKey("update_hasValidUpdate", -1) < 0)
    checkVersion();
  else
    working = false;
}

void updateService::checkVersion() {
  const std::string check = online::serviceAddress("/ud/cv2.php");
  const std::string manifest = online::serviceAddress("/ud/u.php");
  if (check.empty() || manifest.empty()) {
    working = false;  // no secure service: nothing to do
    return;
  }
  AppConfig* config = AppConfig::getInstance();
  const std::string device = cocos2d::Device::getDeviceInfo();
  std::string body;
  setJsonString(body, "app_version", config ? config->getVersion() : std::string("2.5"));
  setJsonString(body, "device_info", cocos2d::safeBase64EncodeString(device.data(), device.size()));
  doHttpPost(check, cocos2d::safeBase64EncodeString(body.data(), body.size()), "verCheck");
  doHttpPost(manifest, "", "updater");
}

void updateService::onHttpResponse(NSUI::UIHttpResponse* response) {
  if (!response) return;
  if (response->tag == "verCheck") {
    if (!response->succeeded || response->responseCode != 200) return;
    const std::string text = cocos2d::safeBase64DecodeString(response->body);
    const std::string latest = getJsonStringWithDefault(text, "app_latest_version", "");
    if (latest != getStringForKey("app_latest_version", "")) {
      setStringForKeyNoFlush("app_latest_version", latest);
      setStringForKey("app_ver_check_count", "0");
    }
  } else if (response->tag == "updater") {
    if (!response->succeeded || response->responseCode != 200) {
      working = false;
      return;
    }
    if (!NSUI::writeStringToFile((activePath + "project.manifest").c_str(), response->body)) {
      working = false;
      return;
    }
    if (!assetsManager) {
      assetsManager = cocos2d::extension::AssetsManagerEx::create("project.manifest", sparePath, true);
      if (!assetsManager) {
        working = false;
        return;
      }
      assetsManager->retain();
      listener = cocos2d::extension::EventListenerAssetsManagerEx::create(
          assetsManager, [this](cocos2d::extension::EventAssetsManagerEx* e) { onAssetsEvent(e); });
      if (listener) {
        listener->retain();
        cocos2d::Director::getInstance()->getEventDispatcher()->addEventListenerWithFixedPriority(listener, 1);
      }
    }
    assetsManager->update();
  }
}

void updateService::onAssetsEvent(cocos2d::extension::EventAssetsManagerEx* event) {
  using E = cocos2d::extension::EventAssetsManagerEx;
  if (!event) return;
  inEvent = true;
  switch (event->getEventCode()) {
    case E::ERROR_NO_LOCAL_MANIFEST:
      cocos2d::log("Error:can not find the local manifest file");
      working = false;
      break;
    case E::ERROR_DOWNLOAD_MANIFEST:
      cocos2d::log("Error:failed to download the manifest");
      working = false;
      break;
    case E::ERROR_PARSE_MANIFEST:
      cocos2d::log("Error: failed to analysis the manifest");
      working = false;
      break;
    case E::NEW_VERSION_FOUND:
      cocos2d::log("Found the new verision,%s,start to update.", event->getAssetId().c_str());
      break;
    case E::ALREADY_UP_TO_DATE:
      cocos2d::log("Already is the latest version");
      releaseAssetsManager();
      working = false;
      break;
    case E::UPDATE_PROGRESSION: {
      const std::string id = event->getAssetId();
      if (id == "@version")
        cocos2d::log("download version file.");
      else if (id == "@manifest")
        cocos2d::log("download project file.");
      else if (id == "@updateFileList")
        cocos2d::log("%s", event->getMessage().c_str());
      else
        cocos2d::log("update process= %s %i", id.c_str(),
                     static_cast<int>(std::max(event->getPercent(), event->getPercentByFile())));
      break;
    }
    case E::ASSET_UPDATED:
      break;
    case E::ERROR_UPDATING:
      cocos2d::log("Error: failed to complete the update..%s", event->getMessage().c_str());
      working = false;
      break;
    case E::UPDATE_FINISHED:
      cocos2d::log("update over. restart.");
      releaseAssetsManager();
      setStringForKey("update_hasValidUpdate", getIntegerForKey("update_now", 1) == 1 ? "2" : "1");
      working = false;
      break;
    case E::UPDATE_FAILED:
      working = false;
      break;
    default:
      break;
  }
  inEvent = false;
}

void updateService::releaseAssetsManager() {
  if (listener) {
    if (auto* director = cocos2d::Director::getInstance())
      if (auto* dispatcher = director->getEventDispatcher()) dispatcher->removeEventListener(listener);
    listener->release();
    listener = nullptr;
  }
  if (assetsManager) {
    auto* manager = assetsManager;
    assetsManager = nullptr;
    // Inside one of its events the manager is still delivering: let it go
    // after this frame.
    if (inEvent)
      manager->autorelease();
    else
      manager->release();
  }
}

void updateService::stop() {
  waitDone();
  releaseAssetsManager();
  if (NSUI::NSHttpClient* client = NSUI::NSHttpClient::getInstanceIfExists()) client->cancelRequestsForOwner(this);
}
