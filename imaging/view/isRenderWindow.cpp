#include "imaging/view/isRenderWindow.h"

#include <cmath>
#include <cstdlib>

#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isInteractorBase.h"
#include "imaging/view/isOrientation.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

using cocos2d::Vec2;
using cocos2d::Vec3;

namespace {

NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

constexpr float kMinZoomRatio = 0.1f;
constexpr float kMaxZoomRatio = 10.0f;

}  // namespace

isRenderWindow::~isRenderWindow() {
  if (auto* nc = centre()) nc->removeAllObservers(this);
  if (touchListener) {
    if (auto* director = cocos2d::Director::getInstanceIfExists())
      if (auto* dispatcher = director->getEventDispatcher()) dispatcher->removeEventListener(touchListener);
    touchListener = nullptr;
  }
  if (auto* tool = dynamic_cast<isInteractorBase*>(interactor)) tool->abandonGesture();
  if (interactor) interactor->release();
  interactor = nullptr;
  if (imageData) imageData->release();
  imageData = nullptr;
}

bool isRenderWindow::init() {
  if (!isRenderWindowBase::init()) return false;
  maximized = false;
  relayTarget = nullptr;
  interactor = nullptr;
  touchListener = cocos2d::EventListenerTouchAllAtOnce::create();
  touchListener->onTouchesBegan = [this](const std::vector<cocos2d::Touch*>& t, cocos2d::Event* e) { onTouchesBegan(t, e); };
  touchListener->onTouchesMoved = [this](const std::vector<cocos2d::Touch*>& t, cocos2d::Event* e) { onTouchesMoved(t, e); };
  touchListener->onTouchesEnded = [this](const std::vector<cocos2d::Touch*>& t, cocos2d::Event* e) { onTouchesEnded(t, e); };
  touchListener->onTouchesCancelled = [this](const std::vector<cocos2d::Touch*>& t, cocos2d::Event* e) {
    onTouchesCancelled(t, e);
  };
  if (auto* dispatcher = getEventDispatcher()) dispatcher->addEventListenerWithFixedPriority(touchListener, 100);
  mousePanTotal = Vec2::ZERO;
  mouseZoomTotal = 1.0f;
  setLayoutType(5);
  actorManager = isActorManager::create();
  if (!actorManager) return false;
  actorManager->retain();
  actorManager->setRenderWindow(this);
  imageData = nullptr;
  addNotificationIds();
  if (auto* nc = centre()) {
    auto cb = [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
      onNotificationReceived(sender, id, data);
    };
    for (int id : notificationIds) nc->addObserver(this, this, cb, id);
    for (int id : {NOTIFY_CELL_MAXIMISE, NOTIFY_CELL_CAPTURE, NOTIFY_CELL_LINK}) nc->addObserver(this, nullptr, cb, id);
  }
  return true;
}

void isRenderWindow::cleanup() {
  // The manager holds this window: keep it alive until the frame ends.
  retain();
  isRenderWindowBase::cleanup();
  if (auto* nc = centre()) nc->removeAllObservers(this);
  if (touchListener) {
    if (auto* dispatcher = getEventDispatcher()) dispatcher->removeEventListener(touchListener);
    touchListener = nullptr;
  }
  if (auto* tool = dynamic_cast<isInteractorBase*>(interactor)) tool->abandonGesture();
  if (interactor) interactor->release();
  interactor = nullptr;
  if (actorManager) {
    isActorManager* manager = actorManager;
    actorManager = nullptr;
    manager->clear();
    manager->release();
  }
  if (imageData) imageData->release();
  imageData = nullptr;
  autorelease();
}

void isRenderWindow::setImageData(isImageData* data) {
  if (imageData && data == imageData) return;
  if (data) data->retain();
  if (imageData) imageData->release();
  imageData = data;
  if (actorManager) actorManager->releaseActors();
  // Measurements are filed under the data's identifier.
  if (data) {
    if (isActorROI* rois = getROIActor()) rois->setSeriesKey(data->getIdentifier());
  }
  updateOverlay(0);
  updateOrientationLabels();
}

void isRenderWindow::setContentSize(const cocos2d::Size& size) {
  isRenderWindowBase::setContentSize(size);
  notifyViewChanged();
}

void isRenderWindow::setVisible(bool visible) {
  isRenderWindowBase::setVisible(visible);
  if (actorManager)
    if (auto* overlay = actorManager->getOverlayActor()) overlay->setItemsVisible(visible);
}

void isRenderWindow::notifyViewChanged() {
  if (auto* nc = centre()) nc->postNotification(this, NOTIFY_CAMERA_CHANGED, nullptr, this, false);
}

void isRenderWindow::updateOrientationLabels() {
  if (!imageData || !sceneCamera) return;
  const CameraState s = sceneCamera->getCameraState();
  const float right[3] = {s.rightAxis.x, s.rightAxis.y, s.rightAxis.z};
  const float down[3] = {-s.up.x, -s.up.y, -s.up.z};
  imageData->updateInformation();
  char labels[12];
  computeOrientationLabels(right, down, labels, imageData->feetFirstCode, imageData->positionCode);
  std::string text;
  const char* keys[4] = {"t", "r", "b", "l"};
  for (int i = 0; i < 4; ++i) NSUI::UIJson::setJsonString(text, keys[i], std::string(labels + 3 * i, labels[3 * i] ? 1 : 0));
  if (auto* nc = centre()) nc->postNotificationText(this, NOTIFY_OVERLAY_EDGE_LETTERS, text, this, true);
}

int isRenderWindow::planeIndexForView(int view) {
  if (!imageData) return 0;
  imageData->updateInformation();
  const float* m = imageData->worldMatrix.m;
  const float* c[3] = {m, m + 4, m + 8};
  const int pairs[3][2] = {{0, 1}, {1, 2}, {0, 2}};
  const int wanted = view == 1 ? 301 : view == 2 ? 314 : 303;
  for (int p = 0; p < 3; ++p) {
    char labels[12];
    computeOrientationLabels(c[pairs[p][0]], c[pairs[p][1]], labels, imageData->feetFirstCode, imageData->positionCode);
    if (orientationLetterSum(labels) == wanted) return p;
  }
  return 0;
}

void isRenderWindow::panBy(float dx, float dy) {
  const Vec2 p0(50.0f, 50.0f);
  Vec3 w0, w1;
  if (!pickPoint(p0, &w0) || !pickPoint(Vec2(50.0f + dx, 50.0f), &w1)) return;
  const float hx = w0.distance(w1);
  if (!pickPoint(p0, &w0) || !pickPoint(Vec2(50.0f, 50.0f + dy), &w1)) return;
  const float hy = w0.distance(w1);
  const CameraState s = sceneCamera->getCameraState();
  const Vec3 a = s.rightAxis * (dx > 0 ? hx : -hx);
  const Vec3 b = -(s.up * (dy > 0 ? hy : -hy));
  setCameraPosition(s.eye + a + b);
  setCameraLookAt(s.target + a + b, s.up);
  postCameraMoved();
}

void isRenderWindow::relay(unsigned int id, NSUI::NSNotificationData* data, bool immediate) {
  if (auto* nc = centre()) nc->postNotification(this, static_cast<int>(id), data, relayTarget, immediate);
}

void isRenderWindow::onNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender) {
  auto panFrom = [this](NSUI::NSNotificationData* d) {
    if (!d) return;
    const float x = static_cast<float>(std::atof(NSUI::UIJson::getJsonString(d->text, "x").c_str()));
    const float y = static_cast<float>(std::atof(NSUI::UIJson::getJsonString(d->text, "y").c_str()));
    panBy(x, y);
  };
  switch (static_cast<int>(id)) {
    case NOTIFY_VIEW_SYNC:
      if (relayTarget && sender != relayTarget)
        relay(id, data, false);
      else
        notifyViewChanged();
      break;
    case NOTIFY_DRAG_PAN:
      panFrom(data);
      break;
    case NOTIFY_ZOOM_STEP:
    case NOTIFY_PINCH_ZOOM:
      if (data) zoomBy(data->floatValue);
      break;
    case NOTIFY_SYNC_PAN:
      if (!relayTarget) break;
      if (sender != relayTarget)
        relay(id, data, true);
      else
        panFrom(data);
      break;
    case NOTIFY_SYNC_ZOOM:
      if (!relayTarget) break;
      if (sender != relayTarget)
        relay(id, data, true);
      else if (data)
        zoomBy(data->floatValue);
      break;
    case NOTIFY_FOCUS_REQUEST:
      if (relayTarget) relay(id, data, true);
      break;
    default:
      break;
  }
}

// --------------------------------------------------------------- mouse

bool isRenderWindow::onMouseScroll(float, float, float amount) {
  if (amount < 0)
    onNotification(NOTIFY_SLICE_NEXT, nullptr, this);
  else if (amount > 0)
    onNotification(NOTIFY_SLICE_PREVIOUS, nullptr, this);
  return true;
}

bool isRenderWindow::onMouseDown(float, float) {
  mouseZoomTotal = 1.0f;
  return true;
}

bool isRenderWindow::onMouseMove(float x, float y) {
  const Vec2 d = Vec2(x, y) - _previousMousePoint;
  if (_rightMouseDown) {
    if (std::fabs(d.y) > std::fabs(d.x)) {
      const float f = d.y > 0 ? 1.05f : 0.95f;
      const float ratio = getZoomRatio();
      if ((ratio < kMinZoomRatio && f < 1.0f) || (ratio > kMaxZoomRatio && f > 1.0f)) return true;
      mouseZoomTotal *= f;
      auto* data = new NSUI::NSNotificationData();
      data->floatValue = f;
      data->intValue = 1;
      onNotification(NOTIFY_ZOOM_STEP, data, this);
      data->release();
    }
    return true;
  }
  if (_middleMouseDown) {
    std::string text;
    NSUI::UIJson::setJsonString(text, "x", NSUI::formatString("%.4f", -d.x));
    NSUI::UIJson::setJsonString(text, "y", NSUI::formatString("%.4f", d.y));
    mousePanTotal += Vec2(-d.x, d.y);
    auto* data = new NSUI::NSNotificationData();
    data->text = text;
    onNotification(NOTIFY_DRAG_PAN, data, this);
    data->release();
    return true;
  }
  return false;
}

bool isRenderWindow::onMouseUp(float, float) {
  bool consumed = false;
  if (_rightMouseDown) {
    consumed = true;
    if (std::fabs(mouseZoomTotal - 1.0f) > 0.001f) {
      auto* data = new NSUI::NSNotificationData();
      data->floatValue = mouseZoomTotal;
      onNotification(NOTIFY_SYNC_ZOOM, data, this);
      data->release();
    }
  } else if (_middleMouseDown) {
    consumed = true;
    if (std::fabs(mousePanTotal.x) > 0.001f || std::fabs(mousePanTotal.y) > 0.001f) {
      std::string text;
      NSUI::UIJson::setJsonString(text, "x", NSUI::formatString("%.4f", mousePanTotal.x));
      NSUI::UIJson::setJsonString(text, "y", NSUI::formatString("%.4f", mousePanTotal.y));
      auto* data = new NSUI::NSNotificationData();
      data->text = text;
      onNotification(NOTIFY_SYNC_PAN, data, this);
      data->release();
    }
  }
  mousePanTotal = Vec2::ZERO;
  mouseZoomTotal = 1.0f;
  return consumed;
}

}  // namespace isImageSDK
