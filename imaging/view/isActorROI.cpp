#include "imaging/view/isActorROI.h"

#include <algorithm>

#include "imaging/core/isROIManager.h"
#include "imaging/view/isRenderWindowBase.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSHash.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {

constexpr float kHitPixels = 15.0f;

isActorROIBase* actorForKind(int kind) {
  switch (kind) {
    case ROI_KIND_LINE: return isActorROILine::create();
    case ROI_KIND_ANGLE: return isActorROIAngle::create();
    case ROI_KIND_POINT: return isActorROIPoint::create();
    case ROI_KIND_CIRCLE: return isActorROICircle::create();
    case ROI_KIND_POLYGON: return isActorROIPolygon::create();
    default: return nullptr;
  }
}

}  // namespace

isActorROI::~isActorROI() { isActorROI::clear(); }

void isActorROI::clear() {
  std::vector<isActorROIBase*> actors;
  actors.swap(roiActors);
  for (auto* a : actors) a->release();
  isActorObject::clear();
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
}

bool isActorROI::init() {
  isActorObject::init();
  seriesKey.clear();
  orientation = -1;
  sliceIndex = -1;
  sliceKey = 0;
  nextNumber = 1;
  return true;
}

void isActorROI::attach(isRenderWindowBase* window) {
  isActorObject::attach(window);
  if (!renderWindow) return;
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  if (!nc) return;
  auto deliver = [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
    onSliceNotification(sender, id, data);
  };
  nc->addObserver(this, renderWindow, deliver, NOTIFY_ORIENTATION_CHANGED);
  nc->addObserver(this, renderWindow, deliver, NOTIFY_SLICE_CHANGED);
}

void isActorROI::dropActors() {
  std::vector<isActorROIBase*> actors;
  actors.swap(roiActors);
  for (auto* a : actors) {
    a->detach();
    a->release();
  }
}

void isActorROI::setSeriesKey(const std::string& key) {
  if (key == seriesKey) return;
  sliceKey = 0;
  seriesKey = key;
  dropActors();
}

void isActorROI::setOrientation(int value) {
  if (value == orientation) return;
  sliceKey = 0;
  orientation = value;
  dropActors();
}

void isActorROI::setSliceIndex(int value) {
  if (value == sliceIndex) return;
  sliceKey = 0;
  sliceIndex = value;
  dropActors();
}

int32_t isActorROI::getSliceKey() {
  if (sliceKey == 0)
    sliceKey = static_cast<int32_t>(NSUI::foldedHash(NSUI::formatString("%s,%i,%i", seriesKey.c_str(), orientation, sliceIndex)));
  return sliceKey;
}

void isActorROI::onSliceNotification(cocos2d::Ref*, unsigned int id, NSUI::NSNotificationData* data) {
  const std::string text = data ? data->text : std::string();
  if (id == static_cast<unsigned>(NOTIFY_SLICE_CHANGED)) {
    setSliceIndex(NSUI::UIJson::getJsonInt(text, "index", 0));
  } else if (id == static_cast<unsigned>(NOTIFY_ORIENTATION_CHANGED)) {
    setOrientation(NSUI::UIJson::getJsonInt(text, "orient", 0));
  } else {
    return;
  }
  rebuild();
}

void isActorROI::rebuild() {
  dropActors();
  nextNumber = 1;
  const int32_t key = getSliceKey();
  isROIManager* registry = isROIManager::getInstance();
  if (!registry) return;
  std::vector<ROIData*> records;
  for (cocos2d::Ref* r : registry->rois)
    if (auto* record = dynamic_cast<ROIData*>(r); record && record->sliceKey == key) records.push_back(record);
  for (ROIData* record : records) {
    if (!record->isValid()) continue;
    isActorROIBase* actor = actorForKind(record->kind);
    if (!actor) continue;
    actor->setROIData(record);
    actor->attach(renderWindow);
    actor->number = nextNumber++;
    actor->retain();
    roiActors.push_back(actor);
  }
}

bool isActorROI::adopt(isActorROIBase* actor, ROIData* record, int selected) {
  if (!actor || !record) return false;
  record->sliceKey = getSliceKey();
  actor->setROIData(record);
  actor->attach(renderWindow);
  actor->number = nextNumber++;
  if (actor->selectedPoint != selected) {
    actor->selectedPoint = selected;
    actor->dirty = true;
  }
  actor->retain();
  roiActors.push_back(actor);
  if (isROIManager* registry = isROIManager::getInstance()) registry->addROI(record);
  return true;
}

isActorROIPoint* isActorROI::createPointROI(const cocos2d::Vec3& p) {
  ROIPoint* record = ROIPoint::create();
  isActorROIPoint* actor = isActorROIPoint::create();
  if (!record) return nullptr;
  record->setPoint(0, p);
  return adopt(actor, record, 0) ? actor : nullptr;
}

isActorROIAngle* isActorROI::createAngleROI(const cocos2d::Vec3& p) {
  ROIAngle* record = ROIAngle::create();
  isActorROIAngle* actor = isActorROIAngle::create();
  if (!record) return nullptr;
  for (int i = 0; i < 3; ++i) record->setPoint(i, p);
  return adopt(actor, record, 1) ? actor : nullptr;
}

isActorROIPolygon* isActorROI::createPolygonROI(const cocos2d::Vec3& first, const cocos2d::Vec3& second) {
  ROIPolygon* record = ROIPolygon::create();
  isActorROIPolygon* actor = isActorROIPolygon::create();
  if (!record) return nullptr;
  record->vertices.push_back(first);
  record->vertices.push_back(second);
  return adopt(actor, record, 1) ? actor : nullptr;
}

isActorROILine* isActorROI::createLineROI(const cocos2d::Vec3& p) {
  ROILine* record = ROILine::create();
  isActorROILine* actor = isActorROILine::create();
  if (!record) return nullptr;
  record->setPoint(0, p);
  record->setPoint(1, p);
  return adopt(actor, record, 1) ? actor : nullptr;
}

isActorROICircle* isActorROI::createCircleROI(const cocos2d::Vec3& p) {
  ROICircle* record = ROICircle::create();
  isActorROICircle* actor = isActorROICircle::create();
  if (!record) return nullptr;
  record->center = p;
  record->rimPoint = p;
  return adopt(actor, record, 1) ? actor : nullptr;
}

isActorROIBase* isActorROI::hitTest(const cocos2d::Vec3& rayOrigin, const cocos2d::Vec3& rayDirection) {
  float best = 999999.0f;
  isActorROIBase* found = nullptr;
  int foundIndex = -1;
  for (auto* actor : roiActors) {
    ROIData* record = actor->getROIData();
    if (!record) continue;
    float d = 999999.0f;
    int i = -1;
    record->hitTest(rayOrigin, rayDirection, &d, &i);
    if (d < best && i >= 0) {
      found = actor;
      best = d;
      foundIndex = i;
    }
  }
  if (!found) return nullptr;
  isCamera* camera = renderWindow ? renderWindow->getSceneCamera() : nullptr;
  if (camera && !camera->perspective) {
    cocos2d::Vec3 a, b;
    camera->screenToWorld(cocos2d::Vec3(0, 0, 1), &a);
    camera->screenToWorld(cocos2d::Vec3(1, 0, 1), &b);
    const float pixel = a.distance(b);
    if (!(pixel > 0.0f) || best / pixel > kHitPixels) return nullptr;
  } else if (best > kHitPixels) {
    return nullptr;
  }
  if (found->selectedPoint != foundIndex) {
    found->selectedPoint = foundIndex;
    found->dirty = true;
  }
  return found;
}

bool isActorROI::contains(const isActorROIBase* actor) const {
  return actor && std::find(roiActors.begin(), roiActors.end(), actor) != roiActors.end();
}

void isActorROI::removeROIActor(isActorROIBase* actor) {
  if (!actor) return;
  actor->detach();
  if (actor->number == nextNumber - 1) --nextNumber;
  if (ROIData* record = actor->getROIData()) {
    if (isROIManager* registry = isROIManager::getInstance()) {
      auto it = std::find(registry->rois.begin(), registry->rois.end(), static_cast<cocos2d::Ref*>(record));
      if (it != registry->rois.end()) {
        registry->rois.erase(it);
        record->release();
      }
    }
  }
  auto it = std::find(roiActors.begin(), roiActors.end(), actor);
  if (it != roiActors.end()) {
    roiActors.erase(it);
    actor->release();
  }
}

void isActorROI::deleteROIById(int id) {
  for (auto* actor : roiActors) {
    ROIData* record = actor->getROIData();
    if (record && static_cast<int>(record->getRefID()) == id) {
      removeROIActor(actor);
      return;
    }
  }
}

}  // namespace isImageSDK
