#include "imaging/viewers/isViewerMulti.h"


namespace isImageSDK {

// ---------------------------------------------------------------- cell record

KeyViewProperty* KeyViewProperty::create() {
  auto* cell = new (std::nothrow) KeyViewProperty();
  if (!cell) return nullptr;
  if (!cell->init()) {
    delete cell;
    return nullptr;
  }
  cell->autorelease();
  return cell;
}

KeyViewProperty::~KeyViewProperty() { KeyViewProperty::clear(); }

void KeyViewProperty::clear() {
  if (imageData) imageData->release();
  imageData = nullptr;
  if (secondImageData) secondImageData->release();
  secondImageData = nullptr;
  if (viewer) viewer->releaseViewer();
  viewer = nullptr;
}

bool KeyViewProperty::init() {
  if (!isObject::init()) return false;
  clear();
  return true;
}

void KeyViewProperty::setViewer(isViewer* v) {
  if (v) v->retainViewer();
  if (viewer) viewer->releaseViewer();
  viewer = v;
}

int KeyViewProperty::getViewKind() const { return viewer ? viewer->viewKind : VIEW_KIND_NONE; }

uint32_t KeyViewProperty::cellKey(uint32_t dataId, uint32_t secondDataId) {
  return dataId + 1000000u * secondDataId;  // unsigned: wraps modulo 2^32
}

uint32_t KeyViewProperty::cellKey(isImageData* data, isImageData* secondData) {
  return cellKey(data ? data->getRefID() : 0u, secondData ? secondData->getRefID() : 0u);
}

uint32_t KeyViewProperty::getKey() const { return cellKey(imageData, secondImageData); }

// ---------------------------------------------------------------- life cycle

isViewerMulti* isViewerMulti::create() {
  auto* multi = new (std::nothrow) isViewerMulti();
  if (!multi) return nullptr;
  if (!multi->init()) {
    delete multi;
    return nullptr;
  }
  multi->autorelease();
  return multi;
}

isViewerMulti::~isViewerMulti() {
  isViewerMulti::cleanup();
  releaseCells();
}

bool isViewerMulti::init() {
  if (!cocos2d::ui::Layout::init()) return false;
  focusedCell = nullptr;
  registerNotifications();
  setBackGroundColor(cocos2d::Color3B::BLACK);
  setBackGroundColorOpacity(255);
  setBackGroundColorType(BackGroundColorType::SOLID);
  return true;
}

void isViewerMulti::onEnterTransitionDidFinish() {
  cocos2d::ui::Layout::onEnterTransitionDidFinish();
  cocos2d::Director::getInstance()->setClearColor(
      cocos2d::Color4F(233.0f / 255.0f, 239.0f / 255.0f, 249.0f / 255.0f, 1.0f));
}

void isViewerMulti::cleanup() {
  cocos2d::ui::Layout::cleanup();
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  releaseCells();
  if (auto* director = cocos2d::Director::getInstanceIfExists())
    director->setClearColor(cocos2d::Color4F(0.0f, 0.0f, 0.0f, 1.0f));
}

void isViewerMulti::releaseCells() {
  // The focus is a plain pointer into the cells: it goes first.
  focusedCell = nullptr;
  auto doomed = std::move(cells);
  cells.clear();
  doomed.clear();
}

int isViewerMulti::getCellCount() const {
  int n = 0;
  for (auto& entry : cells) n += static_cast<int>(entry.second.size());
  return n;
}

// ---------------------------------------------------------------- commands

const std::vector<int>& isViewerMulti::observedIds() {
  static const std::vector<int> ids = {9065, 9066, 9067, 9022, 9029, 9026, 9027, 9028, 9035, 9037, 9036, 9038,
                                       9010, 9011, 9012, 9014, 9015, 9096, 9008, 9013, 9017, 9039, 9085, 9030,
                                       9040, 9041, 9042, 9043, 9044, 9001, 9002, 9018, 9019, 9020, 9021};
  return ids;
}

void isViewerMulti::registerNotifications() {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  if (!nc) return;
  for (int id : observedIds())
    nc->addObserver(this, this,
                    [this](cocos2d::Ref* sender, unsigned int nid, NSUI::NSNotificationData* data) {
                      onNotification(sender, nid, data);
                    },
                    id);
}

void isViewerMulti::onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
  handleNotification(id, data, sender);
}

void isViewerMulti::handleCommand(unsigned int id, NSUI::NSNotificationData* data) {
  handleNotification(id, data, nullptr);
}

void isViewerMulti::handleCommandInt(unsigned int id, int value) {
  auto* data = new NSUI::NSNotificationData();
  data->intValue = value;
  handleCommand(id, data);
  data->release();
}

void isViewerMulti::handleCommandFloat(unsigned int id, float value) {
  auto* data = new NSUI::NSNotificationData();
  data->floatValue = value;
  handleCommand(id, data);
  data->release();
}

// ---------------------------------------------------------------- cells

void isViewerMulti::storeCell(KeyViewProperty* cell) {
  if (!cell) return;
  if (cells.empty()) focusedCell = cell;
  cells[cell->getKey()].pushBack(cell);
}

void isViewerMulti::removeAllViews() {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->cancelNotificationsForTarget(this);
  for (auto& entry : cells)
    for (KeyViewProperty* cell : entry.second)
      if (auto* node = dynamic_cast<cocos2d::Node*>(cell->getViewer())) node->removeFromParent();
  releaseCells();
}

KeyViewProperty* isViewerMulti::findCell(isViewer* viewer) {
  if (!viewer) return nullptr;
  auto it = cells.find(KeyViewProperty::cellKey(viewer->getImageData(), viewer->getSecondImageData()));
  if (it == cells.end()) return nullptr;
  for (KeyViewProperty* cell : it->second)
    if (cell->getViewer() == viewer) return cell;
  return nullptr;
}

KeyViewProperty* isViewerMulti::findLinkPartner(KeyViewProperty* cell) {
  if (!cell || !cell->getViewer() || !cell->getViewer()->linked) return nullptr;
  for (auto& entry : cells)
    for (KeyViewProperty* other : entry.second) {
      isViewer* v = other->getViewer();
      if (v && v->linked && v->viewKind >= VIEW_KIND_SLICE && v->viewKind <= VIEW_KIND_OBLIQUE) return other;
    }
  return nullptr;
}

int isViewerMulti::getFocusedViewKind() { return focusedCell ? focusedCell->getViewKind() : 0; }

// ---------------------------------------------------------------- linked sets

template <class Test>
void isViewerMulti::collect(KeyViewProperty* source, Test test, std::vector<KeyViewProperty*>& out) {
  out.clear();
  if (!source) return;
  if (!source->getViewer() || !source->getViewer()->linked) {
    out.push_back(source);
    return;
  }
  for (auto& entry : cells)
    for (KeyViewProperty* cell : entry.second) {
      const bool linkedCell = cell == source || (cell->getViewer() && cell->getViewer()->linked);
      if (linkedCell && test(cell)) out.push_back(cell);
    }
}

void isViewerMulti::collectLinked(KeyViewProperty* source, std::vector<KeyViewProperty*>& out) {
  collect(source, [](KeyViewProperty*) { return true; }, out);
}

void isViewerMulti::collectLinkedSameKind(KeyViewProperty* source, std::vector<KeyViewProperty*>& out) {
  const int kind = source ? source->getViewKind() : VIEW_KIND_NONE;
  collect(source, [kind](KeyViewProperty* c) { return c->getViewKind() == kind; }, out);
}

void isViewerMulti::collectLinkedPlanes(KeyViewProperty* source, std::vector<KeyViewProperty*>& out) {
  collect(source, [](KeyViewProperty* c) { return c->getViewKind() >= 1 && c->getViewKind() <= 4; }, out);
}

void isViewerMulti::collectLinkedOrthogonal(KeyViewProperty* source, std::vector<KeyViewProperty*>& out) {
  collect(source, [](KeyViewProperty* c) { return c->getViewKind() >= 1 && c->getViewKind() <= 3; }, out);
}

void isViewerMulti::collectLinkedSameData(KeyViewProperty* source, isImageData* data,
                                          std::vector<KeyViewProperty*>& out) {
  collect(source, [data](KeyViewProperty* c) { return c->imageData == data; }, out);
}

void isViewerMulti::collectLinkedFused(KeyViewProperty* source, isImageData* data,
                                       std::vector<KeyViewProperty*>& out) {
  collect(source, [data](KeyViewProperty* c) { return c->secondImageData == data; }, out);
}

void isViewerMulti::collectLinkedOfKind(int kind, std::vector<KeyViewProperty*>& out) {
  out.clear();
  for (auto& entry : cells)
    for (KeyViewProperty* cell : entry.second)
      if (cell->getViewer() && cell->getViewer()->linked && cell->getViewKind() == kind) out.push_back(cell);
}

}  // namespace isImageSDK
