// The layout manager at work: the multi-view it owns, the data it shows and
// the cells each layout puts into the multi-view. Where the cells go is
// decided by layoutCells (appLayouts.h), so the layouts on screen and their
// icons agree.
#include <new>

#include "imaging/core/isImageData.h"
#include "imaging/viewers/appLayouts.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerMulti.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {

// Adds the cells of layout `id` to the multi-view in their order. `entries`
// is what the cells' data indexes point into: the data list, or for
// "compare4d" the frames. A cell that is split into a grid gets its grid
// command right after it is added, while it still has the focus.
void addLayoutCells(isViewerMulti* multi, int id, const cocos2d::Size& view, const std::vector<isImageData*>& entries) {
  const bool compare = id == LAYOUT_COMPARE2D || id == LAYOUT_COMPARE4D;
  for (const LayoutCell& cell : layoutCells(id, view.width, view.height, static_cast<int>(entries.size()))) {
    if (cell.data < 0 || cell.data >= static_cast<int>(entries.size())) continue;
    isImageData* data = entries[static_cast<size_t>(cell.data)];
    if (compare) {
      // In a comparison every data stands for itself, frames included.
      data->frameLinked = false;
      data->updateInformation();
    }
    const int kind = cell.kind == kCellKindOfData ? dataCellKind(id, data) : cell.kind;
    multi->addView(static_cast<unsigned int>(kind), cell.linked, cell.rect, data);
    if (cell.gridCommand) multi->handleCommand(static_cast<unsigned int>(cell.gridCommand), nullptr);
  }
}

}  // namespace

appManager* appManager::create() {
  auto* manager = new (std::nothrow) appManager();
  if (!manager) return nullptr;
  if (!manager->init()) {
    delete manager;
    return nullptr;
  }
  manager->autorelease();
  return manager;
}

appManager::~appManager() {
  // Also drops the layout requests still queued for the manager.
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  if (viewerMulti) viewerMulti->release();
  viewerMulti = nullptr;
  setDataList({});
}

bool appManager::init() {
  viewRect = cocos2d::Rect::ZERO;
  if (viewerMulti) viewerMulti->release();
  viewerMulti = nullptr;
  layoutId = LAYOUT_NONE;
  relayTarget = nullptr;
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) {
    if (!nc->hasObserver(NOTIFY_PROTOCOL_SELECT, this, this))
      nc->addObserver(this, this,
                      [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
                        onNotification(sender, id, data);
                      },
                      NOTIFY_PROTOCOL_SELECT);
  }
  return true;
}

void appManager::clear() {
  if (viewerMulti) viewerMulti->release();
  viewerMulti = nullptr;
  setDataList({});
}

void appManager::setDataList(const std::vector<isImageData*>& list) {
  std::vector<isImageData*> kept;
  kept.reserve(list.size());
  for (isImageData* data : list) {
    if (!data) continue;
    data->retain();
    kept.push_back(data);
  }
  // Retained before the old ones go: the new list may share data with it.
  std::vector<isImageData*> old = std::move(imageDataList);
  imageDataList = std::move(kept);
  for (isImageData* data : old) data->release();
}

void appManager::ensureViewerMulti(const cocos2d::Rect& rect) {
  if (viewerMulti) return;
  viewerMulti = isViewerMulti::create();
  if (!viewerMulti) return;
  viewerMulti->retain();
  // Behind whatever the screen puts over the image area.
  viewerMulti->setZOrder(-100);
  viewerMulti->setContentSize(rect.size);
  viewerMulti->setPosition(rect.origin);
}

void appManager::setImageDataList(const std::vector<isImageData*>& list, const cocos2d::Rect& rect) {
  ensureViewerMulti(rect);
  viewRect = rect;
  setDataList(list);
  layoutCompare();
}

void appManager::setImageData(isImageData* data, const cocos2d::Rect& rect, int id) {
  if (viewerMulti)
    viewerMulti->removeAllViews();
  else
    ensureViewerMulti(rect);
  viewRect = rect;
  setDataList({data});
  layoutId = id;
  if (!viewerMulti || !data) return;

  if (id == LAYOUT_2DSLICE) {
    addLayoutCells(viewerMulti, LAYOUT_2DSLICE, viewRect.size, imageDataList);
    return;
  }
  data->updateInformation();
  if (!data->isVolume()) {
    // Oriented cells need a volume: a series of separate images is shown
    // as it was acquired.
    addLayoutCells(viewerMulti, LAYOUT_2DSLICE, viewRect.size, imageDataList);
    layoutId = LAYOUT_2DSLICE;
  } else if (id == LAYOUT_2DVIEW) {
    addLayoutCells(viewerMulti, LAYOUT_2DVIEW, viewRect.size, imageDataList);
  } else {
    setLayout(id);
  }
}

void appManager::replaceImageData(isImageData* data) {
  if (!viewerMulti || !data) return;
  setDataList({data});
  setLayout(LAYOUT_2DSLICE);
}

void appManager::setLayout(int id) {
  if (!viewerMulti || imageDataList.empty()) return;
  viewerMulti->removeAllViews();
  // Every 4-D series shown moves through its phases together.
  for (isImageData* data : imageDataList)
    if (belongsToFrameSet(data)) setPhaseModeOfSet(data, true);
  switch (id) {
    case LAYOUT_COMPARE2D: layoutCompare(); break;
    case LAYOUT_COMPARE4D: layoutCompare4D(); break;
    default: addLayoutCells(viewerMulti, id, viewRect.size, imageDataList); break;
  }
  layoutId = id;
}

void appManager::layoutCompare() {
  if (!viewerMulti) return;
  viewerMulti->removeAllViews();
  addLayoutCells(viewerMulti, LAYOUT_COMPARE2D, viewRect.size, imageDataList);
  layoutId = LAYOUT_COMPARE2D;
}

void appManager::layoutCompare4D() {
  if (!viewerMulti) return;
  viewerMulti->removeAllViews();
  // Empty as soon as one data is not a 4-D series: nothing is shown.
  const std::vector<isImageData*> entries = compare4DEntries(imageDataList);
  if (entries.empty()) return;
  addLayoutCells(viewerMulti, LAYOUT_COMPARE4D, viewRect.size, entries);
  layoutId = LAYOUT_COMPARE4D;
}

int appManager::getPhaseIndex() const { return phaseIndexOf(imageDataList); }

bool appManager::hasNextPhase() const { return hasNextPhaseIn(imageDataList); }

void appManager::onNotification(cocos2d::Ref*, unsigned int id, NSUI::NSNotificationData* data) {
  if (id != NOTIFY_PROTOCOL_SELECT) return;
  // The screen hears of the choice before the cells change.
  if (relayTarget)
    if (auto* nc = NSUI::NSNotificationCenter::getInstance())
      nc->postNotification(this, NOTIFY_PROTOCOL_SELECT, data, relayTarget, false);
  const int next = getLayoutId(data ? data->text : std::string());
  if (next != LAYOUT_NONE && next != layoutId) setLayout(next);
}

}  // namespace isImageSDK
