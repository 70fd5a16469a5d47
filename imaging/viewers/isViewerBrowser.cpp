#include "imaging/viewers/isViewerBrowser.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/ui/Slider.h"
#include "imaging/view/isActorImage.h"
#include "imaging/view/isActorManager.h"
#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isClut.h"
#include "imaging/view/isNodeImage.h"
#include "imaging/viewers/isViewerMulti.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSMessageBox.h"

namespace isImageSDK {

namespace {

constexpr float kGap = 2.0f;
constexpr float kPlayTickInterval = 0.005f;
constexpr float kPlayDelay = 0.1f;
constexpr float kMessageSeconds = 2.0f;

}  // namespace

// ---------------------------------------------------------------- life cycle

isViewerBrowser::isViewerBrowser() {
  viewKind = VIEW_KIND_NONE;
  linked = true;
}

isViewerBrowser* isViewerBrowser::create() {
  auto* cell = new (std::nothrow) isViewerBrowser();
  if (!cell) return nullptr;
  if (!cell->init()) {
    delete cell;
    return nullptr;
  }
  cell->autorelease();
  return cell;
}

isViewerBrowser::~isViewerBrowser() { releaseImageViewers(); }

const std::vector<int>& isViewerBrowser::observedIds() {
  static const std::vector<int> ids = {9065, 9066, 9067, 9068, 9064, 9062, 9063, 9061, 9022, 9029,
                                       9026, 9027, 9028, 9035, 9037, 9036, 9010, 9011, 9012, 9096,
                                       9008, 9017, 9039, 9085, 9030, 9040, 9041, 9042, 9043, 9044,
                                       9023, 9001, 9002, 9018, 9019, 9020, 9021, 9102};
  return ids;
}

bool isViewerBrowser::init() {
  if (!cocos2d::Layer::init()) return false;
  owner = nullptr;
  gridRows = 1;
  gridColumns = 1;
  firstSliceIndex = 0;
  playing = false;
  playTickCount = 0;
  playInterval = 60;
  currentViewer = addImageViewer();
  if (auto* nc = NSUI::NSNotificationCenter::getInstance())
    for (int id : observedIds())
      nc->addObserver(node(), node(),
                      [this](cocos2d::Ref* sender, unsigned int nid, NSUI::NSNotificationData* data) {
                        onNotification(sender, nid, data);
                      },
                      id);
  setTouchEnabled(true);
  setTouchMode(cocos2d::Touch::DispatchMode::ONE_BY_ONE);
  return true;
}

void isViewerBrowser::cleanup() {
  cocos2d::Layer::cleanup();
  unscheduleAllSelectors();  // the play tick goes without a word
  playing = false;
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(node());
  releaseImageViewers();
}

void isViewerBrowser::releaseImageViewers() {
  currentViewer = nullptr;
  imageViewers.clear();
}

isViewerImage* isViewerBrowser::addImageViewer() {
  isViewerImage* viewer = makeImageViewer();
  if (!viewer) return nullptr;
  addChild(viewer);
  viewer->setRelayTarget(this);
  imageViewers.pushBack(viewer);
  return viewer;
}

std::string isViewerBrowser::playKey() const {
  char key[32];
  std::snprintf(key, sizeof key, "browser:%u", getRefID());
  return key;
}

isActorImage* isViewerBrowser::imageActorOf(isViewerImage* viewer) { return viewer ? viewer->imageActor : nullptr; }

// ---------------------------------------------------------------- viewer interface

void isViewerBrowser::setViewKind(int kind) {
  if (kind == viewKind) return;
  for (isViewerImage* viewer : imageViewers) viewer->setViewKind(kind);
  viewKind = kind;
}

void isViewerBrowser::setImageData(isImageData* data) {
  for (isViewerImage* viewer : imageViewers) viewer->setImageData(data);
  if (!data) return;
  data->updateInformation();
  if (data->getSliceCount() == 1) hideControls();
}

isImageData* isViewerBrowser::getImageData() {
  return imageViewers.empty() ? nullptr : imageViewers.at(0)->getImageData();
}

// ---------------------------------------------------------------- focus marks

void isViewerBrowser::setActive(isViewerImage* viewer, bool active) {
  if (viewer) viewer->setCrossLinesShown(active);
}

void isViewerBrowser::setFocusMark(isViewerImage* viewer, bool shown) {
  if (!viewer) return;
  viewer->frameShown = shown;
  if (viewer->getActorManager()) viewer->syncFrameVisible();
}

// ---------------------------------------------------------------- grid

cocos2d::Rect isViewerBrowser::gridCellRect(const cocos2d::Size& size, int rows, int columns, int n) {
  rows = std::max(rows, 1);
  columns = std::max(columns, 1);
  const float W = size.width, H = size.height;
  const float w = columns > 1 ? (W - kGap * (columns - 1)) / columns : W;
  const float h = rows > 1 ? (H - kGap * (rows - 1)) / rows : H;
  const int c = n % columns, r = n / columns;
  const float x = c == columns - 1 ? W - w : c * (w + kGap);
  const float y = r == rows - 1 ? 0.0f : (rows - r - 1) * (h + kGap);
  return cocos2d::Rect(x, y, w, h);
}

int isViewerBrowser::centeredFirstSlice(int sliceCount, int places) {
  if (sliceCount <= 2 * places) return 0;
  return static_cast<int>((sliceCount - places) * 0.5);
}

void isViewerBrowser::setGrid(int rows, int columns) {
  if (rows == gridRows && columns == gridColumns) return;
  setActive(currentViewer, false);
  gridRows = std::max(rows, 1);
  gridColumns = std::max(columns, 1);
  const int places = gridRows * gridColumns;

  if (places >= static_cast<int>(imageViewers.size()) && !imageViewers.empty()) {
    // The first viewer is the template of the new ones.
    isViewerImage* first = imageViewers.at(0);
    isImageData* data = first->getImageData();
    const int kind = first->viewKind;
    isActorImage* actor = imageActorOf(first);
    const int i0 = actor ? actor->getSliceIndex() : 0;
    isClut* clut = actor ? actor->getClut() : nullptr;
    const float width = clut ? clut->windowWidth : 0.0f, centre = clut ? clut->windowCentre : 0.0f;
    uint8_t rgb[768];
    if (clut) clut->getColorTableRGB(rgb);
    while (static_cast<int>(imageViewers.size()) < places) {
      isViewerImage* viewer = addImageViewer();
      if (!viewer) break;
      const int place = static_cast<int>(imageViewers.size()) - 1;
      if (data) viewer->setImageData(data);
      viewer->setViewKind(kind);
      viewer->goToSlice(i0 + place, false);
      if (clut) {
        if (isActorImage* own = imageActorOf(viewer)) {
          if (own->getClut()) own->getClut()->setWindow(width, centre);
          if (own->getImageNode()) own->getImageNode()->markWindowDirty();
        }
        viewer->applyColorTable(rgb);
      }
    }
  } else {
    bool currentRemoved = false;
    while (static_cast<int>(imageViewers.size()) > places) {
      isViewerImage* viewer = imageViewers.back();
      if (viewer == currentViewer) currentRemoved = true;
      viewer->retain();
      imageViewers.popBack();
      removeChild(viewer, true);
      viewer->release();
    }
    if (currentRemoved) currentViewer = imageViewers.empty() ? nullptr : imageViewers.back();
  }
  layoutGrid();
}

void isViewerBrowser::layoutGrid() {
  const cocos2d::Size size = getContentSize();
  if (static_cast<int>(size.width) < 1 || static_cast<int>(size.height) < 1) return;
  int n = 0;
  for (isViewerImage* viewer : imageViewers) {
    const cocos2d::Rect rect = gridCellRect(size, gridRows, gridColumns, n++);
    viewer->setAnchorPoint(cocos2d::Vec2::ZERO);
    viewer->setPosition(rect.origin);
    viewer->setContentSize(rect.size);
    if (isActorManager* manager = viewer->getActorManager())
      if (isActorOverlay* overlay = manager->getOverlayActor()) overlay->updateLayout();
  }
  setActive(currentViewer, false);
  setActive(currentViewer, true);
}

void isViewerBrowser::requestGrid(int rows, int columns) {
  if (hasMaximisedWindow()) {
    NSUI::showMessageBox(NSUI::getLocalizedString("backToNormalSize"), kMessageSeconds);
    return;
  }
  setGrid(rows, columns);
}

bool isViewerBrowser::hasMaximisedWindow() {
  for (isViewerImage* viewer : imageViewers)
    if (viewer->maximized) return true;
  return false;
}

// ---------------------------------------------------------------- slices

void isViewerBrowser::centerSlices() {
  if (imageViewers.empty()) return;
  isActorImage* actor = imageActorOf(imageViewers.at(0));
  if (!actor || !actor->getImageData() || !actor->isPlaneMode() || !actor->getPlane()) return;
  const int n = actor->getPlane()->getSliceCount();
  if (n <= 0) return;
  const int start = centeredFirstSlice(n, gridRows * gridColumns);
  firstSliceIndex = start;
  int k = 0;
  for (isViewerImage* viewer : imageViewers) viewer->goToSlice(start + k++, true);
  updateSlider();
}

void isViewerBrowser::setFirstSlice(int index, bool updateSliderToo) {
  firstSliceIndex = index;
  int k = 0;
  for (isViewerImage* viewer : imageViewers) viewer->goToSlice(index + k++, false);
  if (updateSliderToo) updateSlider();
}

void isViewerBrowser::applyFirstSlice() {
  int k = 0;
  for (isViewerImage* viewer : imageViewers) viewer->goToSlice(firstSliceIndex + k++, false);
  updateSlider();
}

void isViewerBrowser::setFocalPoints(const cocos2d::Vec3& point, const cocos2d::Vec3& step) {
  if (!currentViewer) return;
  const ssize_t k = imageViewers.getIndex(currentViewer);
  if (k < 0) return;
  const cocos2d::Vec3 start = point - step * static_cast<float>(k);
  int i = 0;
  for (isViewerImage* viewer : imageViewers) viewer->setFocalPoint(start + step * static_cast<float>(i++));
  setActive(currentViewer, true);
  if (isActorImage* actor = imageActorOf(imageViewers.at(0))) firstSliceIndex = actor->getSliceIndex();
  updateSlider();
}

void isViewerBrowser::moveTo(const cocos2d::Vec3& point) {
  if (imageViewers.empty()) return;
  setFocalPoints(point, imageViewers.at(0)->getSliceStep());
}

cocos2d::Vec3 isViewerBrowser::getViewCenter() {
  return imageViewers.empty() ? cocos2d::Vec3::ZERO : imageViewers.at(0)->getCameraTarget();
}

void isViewerBrowser::setViewCenter(const cocos2d::Vec3& point) {
  for (isViewerImage* viewer : imageViewers) viewer->centerOn(point);
}

float isViewerBrowser::getZoomRatio() { return imageViewers.empty() ? 1.0f : imageViewers.at(0)->getZoomRatio(); }

void isViewerBrowser::setZoomRatio(float ratio) {
  for (isViewerImage* viewer : imageViewers) viewer->setZoomRatio(ratio);
}

void isViewerBrowser::setWindowLevel(float width, float level) {
  for (isViewerImage* viewer : imageViewers) {
    isActorImage* actor = imageActorOf(viewer);
    if (!actor) continue;
    if (actor->getClut()) actor->getClut()->setWindow(width, level);
    if (actor->getImageNode()) actor->getImageNode()->markWindowDirty();
  }
}

void isViewerBrowser::getColorTable(uint8_t* rgb) {
  if (!rgb || imageViewers.empty()) return;
  isActorImage* actor = imageActorOf(imageViewers.at(0));
  if (actor && actor->getClut()) actor->getClut()->getColorTableRGB(rgb);
}

std::string isViewerBrowser::getFilePath() {
  if (currentViewer) return currentViewer->getSliceFilePath();
  return imageViewers.empty() ? std::string() : imageViewers.at(0)->getSliceFilePath();
}

bool isViewerBrowser::getCurrentWindowRect(cocos2d::Rect& rect) {
  if (!currentViewer) return false;
  rect.origin = currentViewer->getPosition() + getPosition();
  rect.size = currentViewer->getContentSize();
  return true;
}

// ---------------------------------------------------------------- controls

cocos2d::Node* isViewerBrowser::control(const std::string& name) {
  cocos2d::Node* root = getChildByName("root");
  return root ? root->getChildByNameDeep(name) : nullptr;
}

void isViewerBrowser::hideControls() {
  for (const char* name : {"addImage", "delImage", "slider", "btnNext", "btnPrior"})
    if (cocos2d::Node* node = getChildByNameDeep(name)) node->setVisible(false);
}

void isViewerBrowser::updateSlider() {
  auto* slider = dynamic_cast<cocos2d::ui::Slider*>(control("slider"));
  if (!slider) return;
  int percent = 0;
  if (!imageViewers.empty()) {
    isActorImage* actor = imageActorOf(imageViewers.at(0));
    if (actor && actor->getImageData() && actor->isPlaneMode() && actor->getPlane()) {
      const int count = actor->getPlane()->getSliceCount();
      if (count > 1) percent = 100 * actor->getSliceIndex() / (count - 1);
    }
  }
  slider->setPercent(percent);
}

bool isViewerBrowser::strictlyInside(cocos2d::Node* node, cocos2d::Touch* touch) {
  if (!node || !touch) return false;
  const cocos2d::Vec2 p = node->convertToNodeSpace(touch->getLocation());
  const cocos2d::Size s = node->getContentSize();
  return p.x > 0 && p.x < s.width && p.y > 0 && p.y < s.height;
}

bool isViewerBrowser::onTouchBegan(cocos2d::Touch* touch, cocos2d::Event*) {
  if (!getChildByName("root")) return false;
  return strictlyInside(control("addImage"), touch) || strictlyInside(control("delImage"), touch);
}

void isViewerBrowser::onTouchEnded(cocos2d::Touch* touch, cocos2d::Event*) {
  if (strictlyInside(control("addImage"), touch))
    requestGrid(gridRows, gridColumns + 1);
  else if (strictlyInside(control("delImage"), touch))
    requestGrid(gridRows, gridColumns - 1);
}

// ---------------------------------------------------------------- play

void isViewerBrowser::postPlayState() {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance())
    nc->postNotificationInt(this, NOTIFY_PLAY_STATE, playing ? 1 : 0, owner, true);
}

void isViewerBrowser::togglePlay() {
  if (playing) {
    playing = false;
    unschedule(playKey());
  } else if (isImageData* data = getImageData()) {
    data->updateInformation();
    if (data->getSliceCount() > 1) {
      playing = true;
      isActorImage* actor = imageViewers.empty() ? nullptr : imageActorOf(imageViewers.at(0));
      firstSliceIndex = actor ? actor->getSliceIndex() : 0;
      playTickCount = 0;
      schedule([this](float dt) { onPlayTick(dt); }, kPlayTickInterval, CC_REPEAT_FOREVER, kPlayDelay, playKey());
    }
  }
  postPlayState();
}

void isViewerBrowser::onPlayTick(float) {
  if (!playing) return;
  if (getImageData() && !imageViewers.empty() && playInterval > 0 && playTickCount % playInterval == 0) {
    const int count = imageViewers.at(0)->getSliceCount();
    if (count > 1) {
      firstSliceIndex = firstSliceIndex + 1 >= count ? 0 : firstSliceIndex + 1;
      applyFirstSlice();
    }
  }
  ++playTickCount;
}

void isViewerBrowser::stopPlay() {
  firstSliceIndex = 0;
  if (!playing) return;
  playing = false;
  unschedule(playKey());
  postPlayState();
}

// ---------------------------------------------------------------- routing

isViewerImage* isViewerBrowser::imageViewerOf(cocos2d::Ref* sender) {
  if (!sender) return nullptr;
  for (isViewerImage* viewer : imageViewers)
    if (static_cast<cocos2d::Ref*>(viewer) == sender) return viewer;
  return nullptr;
}

void isViewerBrowser::handToViewers(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* except,
                                    bool skipSliceKind) {
  // A copy of the list: a viewer's handler may change the grid.
  cocos2d::Vector<isViewerImage*> viewers = imageViewers;
  for (isViewerImage* viewer : viewers) {
    if (except && static_cast<cocos2d::Ref*>(viewer) == except) continue;
    if (skipSliceKind && viewer->viewKind == VIEW_KIND_SLICE) continue;
    viewer->onNotification(id, data, this);
  }
}

void isViewerBrowser::postToOwner(unsigned int id, NSUI::NSNotificationData* data, bool immediate) {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->postNotification(this, id, data, owner, immediate);
}

void isViewerBrowser::onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
  handleNotification(id, data, sender);
}

void isViewerBrowser::handleNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender) {
  cocos2d::Ref* ownerRef = owner ? static_cast<cocos2d::Ref*>(owner) : nullptr;
  const bool fromOwner = !owner || sender == ownerRef;
  switch (id) {
    case NOTIFY_SLICE_NEXT:
    case NOTIFY_SLICE_PREVIOUS:
      if (!fromOwner) {
        postToOwner(id, data, true);
      } else {
        handToViewers(id, data);
        updateSlider();
      }
      return;

    case NOTIFY_ROTATE_3D:
    case NOTIFY_VIEW_TYPE_AXIAL:
    case NOTIFY_VIEW_TYPE_SAGITTAL:
    case NOTIFY_VIEW_TYPE_CORONAL:
    case NOTIFY_VIEW_SYNC:
    case NOTIFY_WINDOW_DEFAULT:
    case NOTIFY_WINDOW_PRESET:
    case NOTIFY_TOOL_SELECT:
    case NOTIFY_TOOL_WINDOW_BY_TOUCH:
    case NOTIFY_TOOL_ZOOM:
    case NOTIFY_TOOL_MOVE:
    case NOTIFY_ROI_LINE:
    case NOTIFY_ROI_POINT:
    case NOTIFY_ROI_ANGLE:
    case NOTIFY_ROI_CIRCLE:
    case NOTIFY_ROI_POLYGON:
      if (!fromOwner)
        postToOwner(id, data, false);
      else
        handToViewers(id, data);
      return;

    case NOTIFY_TOOL_PROBE:
      if (!fromOwner) {
        postToOwner(id, data, false);
      } else {
        handToViewers(id, data);
        for (isViewerImage* viewer : imageViewers) setActive(viewer, viewer == currentViewer);
      }
      return;

    case NOTIFY_WINDOW_INPUT:
      if (owner) postToOwner(id, data, false);
      return;

    case NOTIFY_LAYOUT_1X1: requestGrid(1, 1); return;
    case NOTIFY_LAYOUT_1X2: requestGrid(1, 2); return;
    case NOTIFY_LAYOUT_2X1: requestGrid(2, 1); return;
    case NOTIFY_LAYOUT_2X2: requestGrid(2, 2); return;

    case NOTIFY_OPACITY_LINEAR:
    case NOTIFY_OPACITY_LOG:
    case NOTIFY_OPACITY_LOG_INVERSE:
    case NOTIFY_CLUT_SELECT:
    case NOTIFY_ROI_REMOVE:
    case NOTIFY_SYNC_RECENTRE:
      handToViewers(id, data);
      return;

    case NOTIFY_PLAY_TOGGLE:
      togglePlay();
      return;

    case NOTIFY_PLAY_PRIOR:
      if (playing) {
        playInterval = std::min(playInterval + kPlayIntervalStep, kMaxPlayInterval);
        playTickCount = 0;
      } else if (!imageViewers.empty()) {
        firstSliceIndex -= 1;
        if (firstSliceIndex < 0) firstSliceIndex = std::max(imageViewers.at(0)->getSliceCount() - 1, 0);
        applyFirstSlice();
      }
      return;

    case NOTIFY_PLAY_NEXT:
      if (playing) {
        playInterval = std::max(playInterval - kPlayIntervalStep, kMinPlayInterval);
        playTickCount = 0;
      } else if (!imageViewers.empty()) {
        firstSliceIndex += 1;
        if (firstSliceIndex >= imageViewers.at(0)->getSliceCount()) firstSliceIndex = 0;
        applyFirstSlice();
      }
      return;

    case NOTIFY_DRAG_PAN:
    case NOTIFY_ZOOM_STEP:
    case NOTIFY_PINCH_ZOOM:
    case NOTIFY_DRAG_WINDOW:
      // A drag goes back to the viewer that raised it; the others follow
      // through the summaries.
      if (isViewerImage* viewer = imageViewerOf(sender)) viewer->onNotification(id, data, this);
      return;

    case NOTIFY_SYNC_PAN:
      if (!fromOwner)
        handToViewers(id, data, sender, true);
      else
        handToViewers(id, data);
      return;

    case NOTIFY_SYNC_ZOOM:
      if (!fromOwner) {
        handToViewers(id, data, sender, true);
        // Other cells pan by distance: the focal point is this cell's own.
        auto* up = new NSUI::NSNotificationData();
        if (data) {
          up->text = data->text;
          up->intValue = data->intValue;
          up->floatValue = data->floatValue;
          up->indexValue = data->indexValue;
          up->taskValue = data->taskValue;
          up->setObject(data->object);
          up->userData = data->userData;
        }
        setJsonString(up->text, "validFocal", "0");
        postToOwner(id, up, false);
        up->release();
      } else {
        handToViewers(id, data);
      }
      return;

    case NOTIFY_SYNC_WINDOW:
      if (!fromOwner) {
        handToViewers(id, data, sender);
        postToOwner(id, data, false);
      } else {
        handToViewers(id, data);
      }
      return;

    case NOTIFY_FOCAL_POINT:
      if (!fromOwner) {
        handToViewers(NOTIFY_FOCAL_APPLY, data, currentViewer);
        postToOwner(id, data, true);
      } else if (data) {
        const cocos2d::Vec3 p(static_cast<float>(std::atof(getJsonString(data->text, "x").c_str())),
                              static_cast<float>(std::atof(getJsonString(data->text, "y").c_str())),
                              static_cast<float>(std::atof(getJsonString(data->text, "z").c_str())));
        moveTo(p);
      }
      return;

    case NOTIFY_FOCUS_REQUEST:
      if (owner && sender != ownerRef) {
        if (isViewerImage* viewer = imageViewerOf(sender)) {
          if (viewer != currentViewer) {
            setActive(currentViewer, false);
            setFocusMark(currentViewer, false);
            currentViewer = viewer;
          }
          setFocusMark(currentViewer, true);
          setActive(currentViewer, true);
        }
        postToOwner(id, data, false);
      } else if (owner || !sender) {
        setFocusMark(currentViewer, false);
        stopPlay();
      }
      return;

    case NOTIFY_CELL_LINK:
      if (data) linked = data->intValue > 0;
      return;

    default:
      return;
  }
}

}  // namespace isImageSDK
