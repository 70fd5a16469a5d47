#include "shell/AppDelegate.h"

#include <string>
#include <vector>

#include "app/browse/patientList.h"
#include "app/data/dataService.h"
#include "app/data/dcmCallbacks.h"
#include "app/data/dcmMessages.h"
#include "app/data/sniffer.h"
#include "app/online/adsApplication.h"
#include "app/online/httpCenter.h"
#include "app/online/statApplication.h"
#include "app/online/updateService.h"
#include "dcmsdk/dcmSDK.h"
#include "engine/audio/SimpleAudioEngine.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/ui/CSLoader.h"
#include "imaging/core/isSharedObjects.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSDataManager.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/NSThread.h"

USING_NS_CC;

namespace {

// The settings singleton, kept alive by this reference from launch to
// teardown (AppConfig::getInstance only autoreleases what it makes).
AppConfig* g_appConfig = nullptr;

}  // namespace

void AppDelegate::initGLContextAttrs() {
  GLContextAttrs attrs{8, 8, 8, 8, 24, 8};
  GLView::setGLContextAttrs(attrs);
}

bool AppDelegate::applicationDidFinishLaunching() {
  // 1. Settings.
  AppConfig* config = AppConfig::getInstance();
  if (!config) {
    log("AppDelegate: the program has been torn down already");
    return false;
  }
  config->retain();
  g_appConfig = config;
  const std::string caFile = AppConfig::serviceCAFile();
  if (!caFile.empty()) NSUI::NSHttpClient::getInstance()->setCAFile(caFile);

  // 2. Localisation.
  config->languageTable.fileName = "language.dat";
  config->languageTable.load();
  NSUI::setLocalizedStringTable(&config->languageTable);

  // 3. The window, inside the usable display area.
  Director* director = Director::getInstance();
  GLView* view = director->getOpenGLView();
  if (!view) {
    const Rect area = GLViewImpl::getWorkAreaClientRect();
    const std::string title = config->getLocalizedString("appName");
    view = GLViewImpl::createWithRect(title, area, 1.0f);
    if (!view) {
      // Without a window there is nothing to show and no way to quit.
      log("AppDelegate: cannot open the window (is a display available?)");
      g_appConfig = nullptr;
      config->release();
      return false;
    }
    director->setOpenGLView(view);
  }

  // 4-9. Search paths, design size = frame size, window size.
  std::vector<std::string> searchPaths{"res/pad"};
  const Size frame = view->getFrameSize();
  *config->getDesignSize() = frame;
  for (const char* path : {"imageSDK", "dcmtk", "UIRes", "test"}) searchPaths.emplace_back(path);
  FileUtils::getInstance()->setSearchPaths(searchPaths);
  const Size design = *config->getDesignSize();
  view->setDesignResolutionSize(design.width, design.height, ResolutionPolicy::FIXED_HEIGHT);
  director->setContentScaleFactor(1.0f);
  config->setWinSize(director->getWinSize());

  // 10. The DICOM library's callbacks.
  dcmSDK::setLogCallback(dcmLogCallback);
  dcmSDK::setMsgCallback(dcmMsgCallback);
  dcmSDK::setgb2utf8Callback(dcmGb2Utf8Callback);
  dcmSDK::setReadFileCallback(dcmReadFileCallback);
  dcmSDK::setSavePngCallback(dcmSavePngCallback);

  // 11-13. Data objects, the login watch, statistics.
  if (NSUI::NSDataManager* manager = NSUI::NSDataManager::getInstance()) manager->setEnabled(true);
  if (httpCenter* watch = httpCenter::create()) watch->start();
  statApplication::getInstance()->start();

  // 14-16. Frame settings and the home screen.
  director->setDisplayStats(false);
  director->setAnimationInterval(1.0f / 60);
  director->runWithScene(patientList::createScene());

  // 17-20. New-version notice, discovery, the known nodes, the launch event.
  ADS::adsApplication* notice = ADS::adsApplication::getInstance();
  notice->loadConfig();
  notice->checkNewVersion();
  NSUI::sniffer::getInstance()->startDiscovery();
  dataService::getInstance()->echoNodes(NODE_ECHO_KNOWN);
  statApplication::getInstance()->addStat(0, "");

  // 21. Sounds.
  auto* audio = SimpleAudioEngine::getInstance();
  audio->preloadEffect("res/dingdong.wav");
  audio->preloadEffect("res/waterfall.wav");
  return true;
}

void AppDelegate::applicationDidEnterBackground() {
  Director::getInstance()->stopAnimation();
  statApplication::getInstance()->addStat(2, "");
}

void AppDelegate::applicationWillEnterForeground() {
  Director::getInstance()->startAnimation();
  NSUI::sniffer::getInstance()->startDiscovery();

  ADS::adsApplication* notice = ADS::adsApplication::getInstance();
  if (!notice->updateService) {
    notice->updateService = updateService::create();
    CC_SAFE_RETAIN(notice->updateService);
  } else if (!notice->updateService->working) {
    notice->updateService->release();
    notice->updateService = updateService::create();
    CC_SAFE_RETAIN(notice->updateService);
  }
  notice->loadConfig();
  notice->checkNewVersion();

  dataService::getInstance()->echoNodes(NODE_ECHO_SWEEP);
  statApplication::getInstance()->addStat(1, "");
}

void AppDelegate::applicationOpenPath(const char* path) {
  const std::string text = path ? path : "";
  if (NSUI::NSNotificationCenter* centre = NSUI::NSNotificationCenter::getInstance())
    centre->postNotificationText(nullptr, NOTIFY_IMPORT_PATH, text, nullptr, false);
}

void AppDelegate::applicationWillExit() {
  // 1. Discovery: its receive loop ends first (no time limit: the loop
  //    observes its stop request).
  if (NSUI::sniffer* discovery = NSUI::sniffer::getInstanceIfExists()) {
    if (discovery->running) {
      discovery->stopRequested = true;
      while (discovery->running) NSUI::sleepFor(0, 5000000);
    }
    NSUI::sniffer::destroyInstance();
  }
  // 2. Imaging registries and protocols.
  isImageSDK::shutdown();
  // 3. The DICOM task service.
  if (dataService* service = dataService::getInstanceIfExists()) {
    service->stop();
    dataService::destroyInstance();
  }
  // 4. The new-version notice and its update service.
  if (ADS::adsApplication* notice = ADS::adsApplication::getInstanceIfExists()) {
    notice->stop();
    ADS::adsApplication::destroyInstance();
  }
  // 5-6. The DICOM library, the UI-file cache.
  dcmSDK::dcmsdk_destroy();
  cocostudio::destroyCocosStudio();
  // 7. The settings singleton.
  if (g_appConfig) {
    AppConfig* config = g_appConfig;
    g_appConfig = nullptr;
    config->release();
  }
  // 8. Statistics.
  if (statApplication* stats = statApplication::getInstanceIfExists()) {
    stats->shutdown();
    statApplication::destroyInstance();
  }
  // 9. Notification centre, data-object manager, HTTP client.
  NSUI::purgeSingletons();
}
