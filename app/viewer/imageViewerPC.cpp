#include "app/viewer/imageViewerPC.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "app/data/dataService.h"
#include "app/data/dicomDB.h"
#include "app/online/statApplication.h"
#include "engine/base/Configuration.h"
#include "engine/ui/Button.h"
#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/isSharedObjects.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerMulti.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/NSThread.h"
#include "toolkit/widgets/NSActivity.h"
#include "toolkit/widgets/NSMenu.h"

USING_NS_CC;
using isImageSDK::isBinReader;
using isImageSDK::isImageData;
using isImageSDK::isSharedObjects;

namespace {

constexpr int kEventScreenBuilt = 7;
constexpr int kEventScreenLeft = 8;
constexpr int kLayoutMpr = 4;
constexpr int kLayout2DView = 1;
constexpr int kLayoutCompare2D = 7;
constexpr int kLayoutCompare4D = 8;
constexpr float kLoadFailedSeconds = 1.5f;
constexpr float kNot4DSeconds = 5.0f;
constexpr const char* kNot4D = "Not 4D Volume";
constexpr const char* kFailedToLoad = "Failed to load series";
constexpr const char* kMessagePanel = "imageViewerMsg";
constexpr const char* kStrip = "4DPlayUI";
constexpr const char* kPhaseMenu = "phaseMenu";
constexpr int kStripZOrder = 200;
constexpr int kMessagePanelZOrder = 1000;

NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

isBinReader* registeredReader(const std::string& path) {
  isSharedObjects* registry = isSharedObjects::getInstance();
  return registry ? dynamic_cast<isBinReader*>(registry->getObjectByName(path)) : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation

Size imageViewerPC::windowSize() {
  if (AppConfig* config = AppConfig::getInstance()) return config->winSize;
  return Director::getInstance()->getWinSize();
}

Scene* imageViewerPC::createScene(std::string seriesText) {
  Scene* scene = Scene::create();
  if (!scene) return nullptr;
  // Escape pops the screen, also while it is still loading.
  scene->enableAndroidReturnKey(true);
  auto* screen = new (std::nothrow) imageViewerPC();
  if (!screen) return scene;
  if (!screen->init()) {
    delete screen;
    return scene;
  }
  screen->autorelease();
  scene->addChild(screen);
  screen->setPosition(Vec2::ZERO);
  screen->setContentSize(windowSize());
  screen->bindControls();
  screen->setName("imageViewPC");
  screen->setSeriesText(seriesText);
  return scene;
}

imageViewerPC::~imageViewerPC() { imageViewerPC::cleanup(); }

void imageViewerPC::setProtocol(std::string name) { layoutId = isImageSDK::appManager::getLayoutId(name); }

void imageViewerPC::setSeriesText(const std::string& text) {
  unregisterReaders();
  if (text.empty() || text[0] != '{') {
    seriesPaths.push_back(text);
  } else {
    const int num = std::atoi(getJsonString(text, "num").c_str());
    for (int i = 1; i <= num; ++i) seriesPaths.push_back(getJsonString(text, NSUI::formatString("series%i", i)));
  }
  seriesCount = static_cast<int>(seriesPaths.size());
}

bool imageViewerPC::init() {
  if (!NSUI::NSLayout::init()) return false;
  addStat(kEventScreenBuilt);
  loadPending = false;
  layoutManager = isImageSDK::appManager::create();
  if (layoutManager) {
    layoutManager->retain();
    layoutManager->setRelayTarget(this);
  }
  layoutId = 0;
  firstEntry = true;
  toolPanel = nullptr;
  toolPageKind = -1;
  pendingSliceIndex = -1;
  pendingRotation = 0.0f;
  lastVisitFrame = 0;
  quickTool = nullptr;
  toolWidth = 300;

  Node* root = CSLoader::createNode("singleViewPC.csb");
  if (!root) return true;  // a bare screen; the loading still runs
  root->setName("root");
  root->setContentSize(windowSize());
  if (AppConfig* config = AppConfig::getInstance()) config->translateNode(root, "");
  if (auto* layout = dynamic_cast<ui::Layout*>(root)) ui::Helper::doLayout(layout);
  addChild(root);
  setTouchEnabled(true);
  if (Node* tool = root->getChildByNameDeep("tool")) {
    tool->setVisible(false);
    toolWidth = static_cast<int>(tool->getContentSize().width);
  }
  setTopButtonsVisible(false);
  return true;
}

Rect imageViewerPC::viewerArea() const {
  const Size size = getContentSize();
  return Rect(static_cast<float>(toolWidth), 0, size.width - static_cast<float>(toolWidth), size.height - 60);
}

void imageViewerPC::addStat(int event) {
  if (statApplication* stat = statApplication::getInstanceIfExists())
    stat->addStat(static_cast<unsigned int>(event), "");
}

// ---------------------------------------------------------------------------
// First entry and the loading job

void imageViewerPC::onEnterTransitionDidFinish() {
  // The base schedules the picture-load pump (every 0.05 s, first after 0.1 s).
  NSUI::NSLayout::onEnterTransitionDidFinish();
  if (firstEntry) {
    loadPending = true;
    if (NSUI::NSActivity* overlay = NSUI::NSActivity::show(this)) {
      overlay->enableBKColor(true, Color3B::WHITE, 0.0f);
      overlay->setTextColor(Color4B::WHITE);
    }
    startLoadingJob();
    firstEntry = false;
  }
  // The program's task service runs from launch to teardown; a screen never
  // starts it (without one there is nothing announced to count).
  int favourites = 0;
  if (dataService* service = dataService::getInstanceIfExists())
    if (service->database) favourites = service->database->favoriteCount;
  updateFavoriteBadge(favourites);
}

std::string imageViewerPC::storageRoot() {
  std::string root;
  if (dataService* service = dataService::getInstanceIfExists())
    if (service->database) root = service->database->getRoot();
  if (root.empty()) root = dicomDB::defaultFolder();
  if (root.back() != '/') root += '/';
  return root;
}

void imageViewerPC::startLoadingJob() {
  loadJob = std::make_shared<LoadJobState>();
  loadJob->root = storageRoot();
  // The registry is made here, on the UI thread; the job only uses it.
  isSharedObjects::getInstance();
  std::vector<std::string> paths = seriesPaths;
  std::shared_ptr<LoadJobState> state = loadJob;
  // The job deletes itself when done; the screen never waits for it.
  new NSUI::NSRunableThread(
      [paths, state](void* owner) { loadSeriesInBackground(static_cast<imageViewerPC*>(owner), paths, state); },
      this);
}

void imageViewerPC::handOverMessage(imageViewerPC* owner, const std::shared_ptr<LoadJobState>& state,
                                    const std::string& text) {
  Director* director = Director::getInstanceIfExists();
  if (!director || state->gone) return;
  // Keyed by the screen, whose cleanup drops what is still queued; the
  // check of `gone` covers a batch that is already running.
  director->getScheduler()->performFunctionInCocosThread(owner, [state, text] {
    if (state->gone) return;
    if (NSUI::NSActivity* overlay = NSUI::NSActivity::getInstance()) overlay->setMessage(text);
  });
}

bool imageViewerPC::abandonIfGone(const std::shared_ptr<LoadJobState>& state) {
  // With state->lock held.
  if (!state->gone) return false;
  if (isSharedObjects* registry = isSharedObjects::getInstance())
    for (const std::string& name : state->registered) registry->removeObjectByName(name);
  state->registered.clear();
  return true;
}

void imageViewerPC::postLoaded(imageViewerPC* owner, const std::shared_ptr<LoadJobState>& state, bool success) {
  std::lock_guard<std::mutex> guard(state->lock);
  if (abandonIfGone(state)) return;
  NSUI::NSNotificationCenter* nc = centre();
  if (!nc) return;
  if (success)
    nc->postNotification(nullptr, NOTIFY_SERIES_LOADED, nullptr, owner, false);
  else
    nc->postNotificationInt(nullptr, NOTIFY_SERIES_LOADED, -1, owner, false);
}

void imageViewerPC::loadSeriesInBackground(imageViewerPC* owner, std::vector<std::string> paths,
                                           std::shared_ptr<LoadJobState> state) {
  using isImageSDK::isDcmScan;
  auto gone = [&state] {
    std::lock_guard<std::mutex> guard(state->lock);
    return abandonIfGone(state);
  };
  handOverMessage(owner, state, "Scan Dicoms");
  std::vector<std::pair<std::string, std::string>> caches;  // path, cache file
  for (const std::string& path : paths) {
    if (gone()) return;
    const std::string folder = state->root + path;
    std::string cache = isDcmScan::getCacheFileName(folder);
    if (!isDcmScan::isValidCacheFile(cache)) {
      isDcmScan scanner;
      if (!scanner.createCache(folder)) {
        NSUI::debugLog("failed to scan dicom:%s", folder.c_str());
        postLoaded(owner, state, false);
        return;
      }
      cache = isDcmScan::getCacheFileName(folder);
      if (!isDcmScan::isValidCacheFile(cache)) {
        postLoaded(owner, state, false);
        return;
      }
    }
    caches.emplace_back(path, cache);
  }
  if (gone()) return;
  handOverMessage(owner, state, "Loading dicoms");
  isSharedObjects* registry = isSharedObjects::getInstance();
  for (const auto& [path, cache] : caches) {
    isBinReader* reader = isBinReader::create();
    if (!reader) {
      postLoaded(owner, state, false);
      return;
    }
    reader->setFileName(state->root + path, cache);
    reader->name = path;
    if (!reader->hasValidFile()) {
      NSUI::debugLog("failed to read dicom in foloder:%s", path.c_str());
      reader->release();
      postLoaded(owner, state, false);
      return;
    }
    {
      std::lock_guard<std::mutex> guard(state->lock);
      if (abandonIfGone(state) || !registry) {
        reader->release();
        return;
      }
      registry->addObject(reader);
      state->registered.push_back(path);
    }
    // Reads the cache and starts the pixel loading (or reads the pixel file).
    reader->update();
    bool stillRegistered;
    {
      std::lock_guard<std::mutex> guard(state->lock);
      stillRegistered = std::find(state->registered.begin(), state->registered.end(), path) !=
                        state->registered.end();
    }
    Director* director = Director::getInstanceIfExists();
    if (stillRegistered || !director) {
      // The registry holds its own reference: this is not the last one.
      reader->release();
    } else {
      // The screen went while the reader updated and the registry let it
      // go: the last reference ends on the UI thread, where a reader is
      // destroyed (it waits for its loading thread).
      director->getScheduler()->performFunctionInCocosThread([reader] { reader->release(); });
    }
  }
  postLoaded(owner, state, true);
}

// ---------------------------------------------------------------------------
// 2000: the series are loaded

void imageViewerPC::failLoading(const std::string& panelText) {
  showMessagePanel(panelText);
  unregisterReaders();
}

void imageViewerPC::onSeriesLoaded(NSUI::NSNotificationData* data) {
  NSUI::NSActivity::hide();
  loadPending = false;
  if (data && data->intValue < 0) {
    showMessage(NSUI::getLocalizedString("failed_loadSeries"), kLoadFailedSeconds);
    return;
  }
  const int maxTexture = Configuration::getInstance()->getMaxTextureSize();
  std::vector<isBinReader*> readers;
  int count = 0;
  bool allVolumes = true;
  for (const std::string& path : seriesPaths) {
    isBinReader* reader = registeredReader(path);
    if (!reader) return failLoading(kFailedToLoad);
    isImageData* image = reader->getOutputImage();
    if (!image) return failLoading(kFailedToLoad);
    image->update();
    isImageSDK::SliceRecord* first = image->getSliceCount() > 0 ? image->getSlice(0) : nullptr;
    if (!first) return failLoading(kFailedToLoad);
    if (first->width >= maxTexture || first->height >= maxTexture)
      return failLoading(NSUI::getLocalizedString("noSupportSize"));
    readers.push_back(reader);
    count += image->getSliceCount();
    allVolumes = allVolumes && image->isVolume();
  }
  imageCount = count;
  isVolume = allVolumes;
  if (!layoutManager) return;

  std::vector<isImageData*> images;
  bool complete = true;
  for (isBinReader* reader : readers) {
    images.push_back(reader->getOutputImage());
    complete = complete && reader->isLoadComplete();
  }
  const Rect area = viewerArea();
  if (layoutId == kLayoutCompare4D) {
    if (complete) {
      for (isImageData* image : images) image->splitFrames();
      showFrameSet(images, true);
    } else {
      loadPending = true;
      layoutManager->setImageDataList(images, area);
    }
  } else if (layoutId == kLayoutCompare2D) {
    layoutManager->setImageDataList(images, area);
  } else {
    if (readers.size() != 1) return;  // several series need a compare layout
    if (complete) {
      showSingleSeries(images[0]);
    } else {
      loadPending = true;
      layoutManager->setImageData(images[0], area, kLayout2DView);
    }
  }

  attachViewerMulti(layoutManager->getViewerMulti());
  showTools();
}

void imageViewerPC::showTools() {
  int page = TOOL_PAGE_2D;
  if (layoutId == kLayoutCompare2D || layoutId == kLayoutCompare4D) {
    page = toolPageForFocus();
  } else if (isVolume) {
    const int kind = viewerMulti ? viewerMulti->getFocusedViewKind() : 0;
    page = kind == 5 || kind == 6 ? TOOL_PAGE_VR : TOOL_PAGE_3D;
  }
  showToolPage(page);
  syncSliceSlider();
  setTopButtonsVisible(true);
  refreshWindowPresets();
}

void imageViewerPC::showSingleSeries(isImageData* image) {
  image->splitFrames();
  image->updateInformation();
  imageCount = image->getSliceCount();
  isVolume = image->isVolume();
  is4D = image->isMultiFrame();
  if (layoutId == 0) layoutId = isVolume ? kLayoutMpr : kLayout2DView;
  layoutManager->setImageData(image, viewerArea(), layoutId);
  updateProtocolButton(layoutManager->getLayout());
  if (is4D) show4DControls(true);
}

bool imageViewerPC::showFrameSet(const std::vector<isImageData*>& images, bool sideBySide) {
  isImageData* set = isImageData::createFrameSet(images);
  if (!set) {
    showMessage(kNot4D, kNot4DSeconds);
    if (sideBySide) layoutManager->setImageDataList(images, viewerArea());
    return false;
  }
  imageCount = set->getSliceCount();
  isVolume = set->isVolume();
  is4D = set->isMultiFrame();
  seriesCount = 1;
  layoutManager->setImageData(set, viewerArea(), kLayoutCompare4D);
  updateProtocolButton(layoutManager->getLayout());
  if (is4D) show4DControls(false);
  return true;
}

void imageViewerPC::attachViewerMulti(isImageSDK::isViewerMulti* multi) {
  NSUI::NSNotificationCenter* nc = centre();
  if (nc) {
    nc->removeObserver(NOTIFY_WINDOW_INPUT, this);
    nc->removeObserver(NOTIFY_PLAY_STATE, this);
  }
  if (!multi) return;
  if (multi->getParent() != this) {
    multi->removeFromParent();
    addChild(multi);
  }
  viewerMulti = multi;
  if (nc) {
    auto handler = [this](Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
      onNotification(sender, id, data);
    };
    nc->addObserver(this, multi, handler, NOTIFY_WINDOW_INPUT);
    nc->addObserver(this, multi, handler, NOTIFY_PLAY_STATE);
  }
}

void imageViewerPC::showMessagePanel(const std::string& text) {
  Node* panel = getChildByName(kMessagePanel);
  if (!panel) {
    if (text.empty()) return;
    panel = CSLoader::createNode("noSupport.csb");
    if (!panel) return;
    const Size size = getContentSize();
    const Size p = panel->getContentSize();
    panel->setPosition((size.width - static_cast<float>(toolWidth) - p.width) * 0.5f + static_cast<float>(toolWidth),
                       (size.height - 100 - p.height) * 0.5f + 100);
    panel->setName(kMessagePanel);
    addChild(panel, kMessagePanelZOrder);
  }
  if (auto* intro = dynamic_cast<ui::Text*>(panel->getChildByNameDeep("intro"))) intro->setString(text);
  panel->setVisible(!text.empty());
  if (viewerMulti) viewerMulti->setVisible(false);
}

// ---------------------------------------------------------------------------
// Notifications

void imageViewerPC::onNotification(Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
  switch (id) {
    case NOTIFY_SERIES_LOADED: onSeriesLoaded(data); break;
    case NOTIFY_CAPTURE_SAVED:
    case NOTIFY_FAVOURITE_SAVED: onFavoriteAdded(); break;
    case NOTIFY_QUICK_FAVOURITE:
    case NOTIFY_CAPTURE_CURRENT_VIEW:
    case NOTIFY_CAPTURE_WHOLE_SCREEN:
    case NOTIFY_CAPTURE_ALL_IMAGES: onCapture(static_cast<int>(id)); break;
    case NOTIFY_FAVOURITE_SAVE: onFavoriteSave(data); break;
    case NOTIFY_4D_LOADED: on4DLoaded(); break;
    case NOTIFY_PROTOCOL_SELECT: onProtocolSelected(data); break;
    case NOTIFY_PHASE_SELECT: onPhaseSelected(data); break;
    case NOTIFY_FOCUS_REQUEST: refreshWindowPresets(); break;
    case NOTIFY_SHOW_DICOM_MENU: onShowDicomMenu(); break;
    case NOTIFY_WINDOW_INPUT: onWindowInput(); break;
    case NOTIFY_WINDOW_APPLY: onWindowApply(sender, data); break;
    case NOTIFY_PLAY_STATE: onPlayState(data); break;
    case NOTIFY_DICOM_META_INFO: onDicomMetaInfo(); break;
    case NOTIFY_QUICK_TOOL_SHOW: onQuickToolShow(data); break;
    case NOTIFY_VIEW_GEOMETRY: onViewGeometry(data); break;
    case NOTIFY_VIEWER_CLEANUP: onViewerCleanup(data); break;
    case NOTIFY_TOOLS_RELAYOUT: onToolsRelayout(data); break;
    default: break;
  }
}

// ---------------------------------------------------------------------------
// 4-D strip, phases and the completion of loading

void imageViewerPC::show4DControls(bool show) {
  Node* strip = getChildByNameDeep(kStrip);
  if (!strip) {
    if (!show) return;
    strip = CSLoader::createNode("4dPlay.csb");
    if (!strip) return;
    strip->setName(kStrip);
    strip->setAnchorPoint(Vec2(1.0f, 0.5f));
    const Size size = getContentSize();
    strip->setPosition(size.width - 200, size.height - 30);
    addChild(strip, kStripZOrder);
    for (const char* name : {"btn4DPrior", "btn4DNext", "btn4DMenu"}) {
      if (auto* button = dynamic_cast<ui::Button*>(strip->getChildByNameDeep(name))) {
        button->setPressedActionEnabled(true);
        button->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
      }
    }
  }
  strip->setVisible(show);
}

void imageViewerPC::setPhaseTitle(int phaseNumber) {
  if (auto* button = dynamic_cast<ui::Button*>(getChildByNameDeep("btn4DMenu")))
    button->setTitleText(NSUI::formatString("Phase %i", phaseNumber));
}

void imageViewerPC::on4DButton(const std::string& name, Node* button) {
  if (!layoutManager) return;
  isImageSDK::isViewerMulti* multi = layoutManager->getViewerMulti();
  if (name == "btn4DPrior") {
    const int p = layoutManager->getPhaseIndex();
    if (p > 0 && multi) {
      multi->setPhase(p - 1);
      setPhaseTitle(p);
    }
  } else if (name == "btn4DNext") {
    const int p = layoutManager->getPhaseIndex();
    if (layoutManager->hasNextPhase() && multi) {
      multi->setPhase(p + 1);
      setPhaseTitle(p + 2);
    }
  } else if (name == "btn4DMenu") {
    showPhaseMenu(true);
    auto* menu = dynamic_cast<NSUI::NSMenu*>(getChildByNameDeep(kPhaseMenu));
    if (!menu || !button || !button->getParent()) return;
    // Its top-right corner at the button.
    const Vec2 at = convertToNodeSpace(button->getParent()->convertToWorldSpace(button->getPosition()));
    const Size list = menu->listView ? menu->listView->getContentSize() : Size::ZERO;
    menu->setPosition(at.x - list.width, static_cast<float>(static_cast<int>(at.y - list.height)));
  }
}

void imageViewerPC::onPhaseSelected(NSUI::NSNotificationData* data) {
  const int index = data ? std::atoi(data->text.c_str()) : 0;
  setPhaseTitle(index + 1);
  if (layoutManager)
    if (isImageSDK::isViewerMulti* multi = layoutManager->getViewerMulti()) multi->setPhase(index);
}

void imageViewerPC::onProtocolSelected(NSUI::NSNotificationData* data) {
  const int id = isImageSDK::appManager::getLayoutId(data ? data->text : std::string());
  show4DControls(id != kLayoutCompare4D);
}

void imageViewerPC::on4DLoaded() {
  // Acts once: at the first 9112 at which every reader of this screen has
  // all its pixels. Other screens' readers post 9112 too.
  std::vector<isBinReader*> readers;
  for (const std::string& path : seriesPaths) {
    isBinReader* reader = registeredReader(path);
    if (!reader || !reader->isLoadComplete()) return;
    readers.push_back(reader);
  }
  if (!loadPending) return;
  loadPending = false;
  if (!layoutManager) return;
  std::vector<isImageData*> images;
  bool allVolumes = true;
  for (isBinReader* reader : readers) {
    isImageData* image = reader->getOutputImage();
    image->splitFrames();
    image->updateInformation();
    allVolumes = allVolumes && image->isVolume();
    images.push_back(image);
  }
  if (layoutId == kLayoutCompare2D) return;
  if (layoutId == kLayoutCompare4D) {
    // The side-by-side view shown at loading stays when no set forms.
    if (!allVolumes) {
      showMessage(kNot4D, kNot4DSeconds);
      return;
    }
    if (showFrameSet(images, false)) showTools();
    return;
  }
  if (images.size() != 1) return;
  // The same screen as when the pixels were there at once: the chosen
  // layout, or "mpr" for a volume and "2dview" for anything else, and the
  // tool page for it.
  showSingleSeries(images[0]);
  showTools();
}

// ---------------------------------------------------------------------------
// Leaving and cleanup

void imageViewerPC::onExit() {
  // The base unschedules the picture-load pump.
  NSUI::NSLayout::onExit();
  if (Director* director = Director::getInstanceIfExists()) director->setClearColor(Color4F(0, 0, 0, 1));
  addStat(kEventScreenLeft);
}

void imageViewerPC::unregisterReaders() {
  // The readers this screen's job registered; under the job's lock, so that
  // the job registers nothing in between.
  if (loadJob) {
    std::lock_guard<std::mutex> guard(loadJob->lock);
    if (isSharedObjects* registry = isSharedObjects::getInstance())
      for (const std::string& name : loadJob->registered) registry->removeObjectByName(name);
    loadJob->registered.clear();
  }
  seriesPaths.clear();
}

void imageViewerPC::cleanup() {
  NSUI::NSLayout::cleanup();
  if (layoutManager) {
    layoutManager->clear();
    layoutManager->setRelayTarget(nullptr);
    layoutManager->release();
    layoutManager = nullptr;
  }
  viewerMulti = nullptr;
  if (NSUI::NSNotificationCenter* nc = centre()) nc->removeAllObservers(this);
  if (loadJob) {
    // From here on the job registers and posts nothing; its overlay
    // messages still queued are dropped.
    {
      std::lock_guard<std::mutex> guard(loadJob->lock);
      loadJob->gone = true;
    }
    if (Director* director = Director::getInstanceIfExists())
      director->getScheduler()->removeFunctionInCocosThread(this);
  }
  unregisterReaders();
  addStat(kEventScreenLeft);
}
