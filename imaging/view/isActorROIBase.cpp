#include "imaging/view/isActorROIBase.h"

#include <cmath>
#include <cstring>

#include "engine/platform/Device.h"
#include "engine/ui/LayoutParameter.h"
#include "imaging/view/isRenderWindowBase.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

ROIData* copyROIRecord(const ROIData* record) {
  if (!record) return nullptr;
  switch (record->kind) {
    case ROI_KIND_LINE:
      if (auto* from = dynamic_cast<const ROILine*>(record)) {
        ROILine* copy = ROILine::create();
        from->copyTo(copy);
        return copy;
      }
      break;
    case ROI_KIND_ANGLE:
      if (auto* from = dynamic_cast<const ROIAngle*>(record)) {
        ROIAngle* copy = ROIAngle::create();
        from->copyTo(copy);
        return copy;
      }
      break;
    case ROI_KIND_POINT:
      if (auto* from = dynamic_cast<const ROIPoint*>(record)) {
        ROIPoint* copy = ROIPoint::create();
        from->copyTo(copy);
        return copy;
      }
      break;
    case ROI_KIND_CIRCLE:
      if (auto* from = dynamic_cast<const ROICircle*>(record)) {
        ROICircle* copy = ROICircle::create();
        from->copyTo(copy);
        return copy;
      }
      break;
    case ROI_KIND_POLYGON:
      if (auto* from = dynamic_cast<const ROIPolygon*>(record)) {
        ROIPolygon* copy = ROIPolygon::create();
        from->copyTo(copy);
        return copy;
      }
      break;
    default:
      break;
  }
  return nullptr;
}

isActorROIBase::~isActorROIBase() {
  isActorObject::clear();
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  if (roiData) roiData->release();
  roiData = nullptr;
}

void isActorROIBase::clear() {
  isActorObject::clear();
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  if (roiData) roiData->release();
  roiData = nullptr;
  labelText = nullptr;
  numberText = nullptr;
}

bool isActorROIBase::init() {
  isActorObject::init();
  roiData = nullptr;
  dirty = false;
  labelMoved = false;
  selectedPoint = -1;
  labelText = nullptr;
  numberText = nullptr;
  number = 0;
  fontSize = 15.0f;
  fixedLabelScale = false;
  handleSize = 10.0f;
  return true;
}

void isActorROIBase::addObserver(int id, void* object) {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  if (!nc) return;
  nc->addObserver(
      this, object,
      [this](cocos2d::Ref* sender, unsigned int n, NSUI::NSNotificationData* data) { onNotification(sender, n, data); },
      id);
}

void isActorROIBase::attach(isRenderWindowBase* window) {
  isActorObject::attach(window);
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  if (!renderWindow) return;
  addObserver(NOTIFY_ROI_CHANGED, renderWindow);
  addObserver(NOTIFY_WINDOW_DRAWN, renderWindow);
  addObserver(NOTIFY_ROI_CHANGED, this);
}

void isActorROIBase::setROIData(ROIData* data) {
  if (roiData && data && roiData->equal(data)) return;
  if (data) data->retain();
  if (roiData) roiData->release();
  roiData = data;
  dirty = true;
}

void isActorROIBase::onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
  if (id == static_cast<unsigned>(NOTIFY_WINDOW_DRAWN)) {
    // Pixel-placed parts follow the view: a redraw without new statistics.
    if (!dirty && viewChangedSinceDraw()) {
      dirty = true;
      labelMoved = true;
    }
    update();
    return;
  }
  if (id == static_cast<unsigned>(NOTIFY_ROI_CHANGED)) {
    if (data && data->object && roiData && roiData->equal(data->object)) dirty = true;
    if (sender && labelText && sender == static_cast<cocos2d::Ref*>(labelText)) {
      dirty = true;
      labelMoved = true;
    }
  }
}

void isActorROIBase::update() {
  if ((dirty || labelMoved) && renderWindow) {
    dirty = false;
    labelMoved = false;
  }
}

int isActorROIBase::labelOffset() {
  return static_cast<int>(static_cast<float>(cocos2d::Device::getDPI()) * 2.0f / 25.4f);
}

void isActorROIBase::setLabelText(const std::string& text) {
  if (!labelText) {
    labelText = isNodeText::create();
    if (!labelText) return;
    labelText->setFontSize(fontSize);
    addNode(labelText);
    labelText->setTextColor(cocos2d::Color4B::WHITE);
    labelText->setAnchorPoint(cocos2d::Vec2::ANCHOR_BOTTOM_LEFT);
    labelText->setTouchEnabled(true);
    labelText->setLocalZOrder(1000);
    labelText->setLayoutParameter(cocos2d::ui::LayoutParameter::create());
    if (fixedLabelScale) labelText->setTouchScaleChangeEnabled(false);
  }
  std::string shown = text;
  if (!text.empty() && number > 0 && labelText->movedByUser) shown = NSUI::formatString("%i. %s", number, text.c_str());
  labelText->setString(shown);
}

void isActorROIBase::setLabelPosition(float x, float y) {
  const int o = labelOffset();
  if (labelText && !labelText->movedByUser) labelText->setPosition(cocos2d::Vec2(x, y + static_cast<float>(o)));
}

void isActorROIBase::setNumberPosition(float x, float y) {
  const int o = labelOffset();
  if (!labelText || !labelText->movedByUser) return;
  if (!numberText) {
    numberText = isNodeText::create();
    if (!numberText) return;
    numberText->setFontSize(fontSize);
    addNode(numberText);
    numberText->setTextColor(cocos2d::Color4B::WHITE);
    numberText->setAnchorPoint(cocos2d::Vec2::ANCHOR_MIDDLE_RIGHT);
    numberText->setLayoutParameter(cocos2d::ui::LayoutParameter::create());
  }
  numberText->setPosition(cocos2d::Vec2(x - static_cast<float>(o), y));
  if (number < 0) {
    numberText->setVisible(false);
    return;
  }
  if (!numberText->isVisible()) numberText->setVisible(true);
  numberText->setString(NSUI::formatString("%i ", number));
}

cocos2d::Vec3 isActorROIBase::screenOf(const cocos2d::Vec3& world) const {
  cocos2d::Vec3 out = world;
  if (renderWindow && renderWindow->getSceneCamera()) renderWindow->getSceneCamera()->worldToScreen(world, &out);
  return out;
}

void isActorROIBase::cameraAxes(cocos2d::Vec3* x, cocos2d::Vec3* y) const {
  *x = cocos2d::Vec3(1, 0, 0);
  *y = cocos2d::Vec3(0, 1, 0);
  if (renderWindow && renderWindow->getSceneCamera()) {
    const CameraState& s = renderWindow->getSceneCamera()->getCameraState();
    *x = s.rightAxis;
    *y = -s.up;
  }
}

float isActorROIBase::worldPixelSize() const {
  isCamera* camera = renderWindow ? renderWindow->getSceneCamera() : nullptr;
  if (!camera || camera->perspective) return 1.0f;
  cocos2d::Vec3 a, b;
  camera->screenToWorld(cocos2d::Vec3(0, 0, 1), &a);
  camera->screenToWorld(cocos2d::Vec3(1, 0, 1), &b);
  return a.distance(b);
}

void isActorROIBase::drawHandles(isDrawNode* node) {
  if (!roiData || !node) return;
  const int n = roiData->getPointCount();
  if (selectedPoint < 0 || selectedPoint > n - 1) return;
  for (int i = 0; i < n; ++i)
    node->drawPoint(roiData->getPoint(i), handleSize, i == selectedPoint ? cocos2d::Color4F::RED : cocos2d::Color4F::YELLOW);
}

void isActorROIBase::rememberView() {
  if (!renderWindow || !renderWindow->getSceneCamera()) return;
  drawnCamera = renderWindow->getSceneCamera()->getCameraState();
  drawnSize = renderWindow->getContentSize();
  viewRemembered = true;
}

bool isActorROIBase::viewChangedSinceDraw() const {
  if (!viewRemembered || !renderWindow || !renderWindow->getSceneCamera()) return false;
  const CameraState& now = renderWindow->getSceneCamera()->getCameraState();
  return std::memcmp(&now, &drawnCamera, sizeof(CameraState)) != 0 || !(renderWindow->getContentSize().equals(drawnSize));
}

void isActorROIBase::finishRedraw(bool clearLabelMoved) {
  dirty = false;
  if (clearLabelMoved) labelMoved = false;
  rememberView();
}

void isActorROIBase::requestStatistics() {
  if (!roiData || !renderWindow) return;
  ROIData* copy = copyROIRecord(roiData);
  if (!copy) return;
  auto* data = new NSUI::NSNotificationData();
  data->setObject(copy);
  data->intValue = number;
  data->indexValue = roiData->sliceKey;
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) {
    nc->cancelNotifications(this, NOTIFY_ROI_INFO, renderWindow);
    nc->postNotification(this, NOTIFY_ROI_INFO, data, renderWindow, false);
  }
  data->release();
}

bool isActorROIBase::takeStatisticsAnswer(unsigned int id, NSUI::NSNotificationData* data) {
  if (id != static_cast<unsigned>(NOTIFY_ROI_INFO)) return false;
  if (!data || !roiData) return true;
  if (data->indexValue != roiData->sliceKey || data->intValue != number) return true;
  setLabelText(data->text);
  roiData->setLabel(data->text);
  return true;
}

}  // namespace isImageSDK
