#include "imaging/view/isActorCrossLine.h"

#include <cstdlib>
#include <string>

#include "imaging/core/isCamera.h"
#include "imaging/view/isNodeLine.h"
#include "imaging/view/isRenderWindowBase.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {
const char* const kAutoHideKey = "_is_actor_crossline";

NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

float readValue(const std::string& text, const char* key) {
  return static_cast<float>(std::atof(NSUI::UIJson::getJsonString(text, key).c_str()));
}
}  // namespace

isActorCrossLine::~isActorCrossLine() { isActorCrossLine::clear(); }

bool isActorCrossLine::init() {
  isActorObject::init();
  id = -1;
  name.clear();
  lineNode = nullptr;
  markerNode = nullptr;
  frameNode = nullptr;
  dirty = frameShown = markerShown = linesShown = false;
  colorTable[0] = cocos2d::Color4F::MAGENTA;
  colorTable[1] = cocos2d::Color4F::ORANGE;
  colorTable[2] = cocos2d::Color4F::BLUE;
  frameColorIndex = 0;
  crossFrame = cocos2d::Mat4::IDENTITY;
  return true;
}

void isActorCrossLine::attach(isRenderWindowBase* window) {
  isActorObject::attach(window);
  auto* nc = centre();
  if (!nc) return;
  nc->removeAllObservers(this);
  if (!window) return;
  auto cb = [this](cocos2d::Ref* s, unsigned int i, NSUI::NSNotificationData* d) { onNotification(s, i, d); };
  nc->addObserver(this, window, cb, NOTIFY_CROSS_POSITION);
  nc->addObserver(this, window, cb, NOTIFY_WINDOW_DRAWN);
  nc->addObserver(this, window, cb, NOTIFY_CAMERA_CHANGED);
}

void isActorCrossLine::clear() {
  isActorObject::clear();
  // The node lists own the nodes; they are gone now.
  lineNode = nullptr;
  markerNode = nullptr;
  frameNode = nullptr;
  dirty = frameShown = markerShown = linesShown = false;
  if (auto* director = cocos2d::Director::getInstance())
    if (auto* scheduler = director->getScheduler()) scheduler->unschedule(kAutoHideKey, this);
  if (auto* nc = centre()) nc->removeAllObservers(this);
}

void isActorCrossLine::drawFrame() {
  if (!frameNode || !renderWindow) return;
  const cocos2d::Size size = renderWindow->getContentSize();
  frameNode->clear();
  frameNode->drawRect(cocos2d::Vec2(1, 1), cocos2d::Vec2(size.width - 1, size.height - 1),
                      colorTable[frameColorIndex]);
}

void isActorCrossLine::setFrameColorIndex(int index) {
  if (index == frameColorIndex) return;
  // Only the three plane colours exist; anything else would read past the table.
  if (index < 0 || index > 2) return;
  frameColorIndex = index;
  if (frameShown) drawFrame();
}

void isActorCrossLine::setFrameVisible(bool shown) {
  if (!frameNode) {
    frameNode = cocos2d::DrawNode::create();
    if (!frameNode) return;
    addNode(frameNode);
    frameNode->setLineWidth(4);
  }
  if (shown == frameShown) return;
  frameShown = shown;
  frameNode->setVisible(shown);
  drawFrame();
}

void isActorCrossLine::setCrossLinesVisible(bool shown) {
  if (!lineNode) {
    lineNode = isNodeLine::create();
    if (!lineNode) return;
    addRenderNode(lineNode);
    lineNode->setLineWidth(4);
  }
  if (shown == linesShown) return;
  linesShown = shown;
  lineNode->setVisible(shown);
}

void isActorCrossLine::showActiveMarker() {
  if (!markerNode) {
    markerNode = cocos2d::DrawNode::create();
    if (!markerNode) return;
    addNode(markerNode);
  }
  if (markerShown || !renderWindow) return;
  markerShown = true;
  markerNode->setVisible(true);
  const cocos2d::Size size = renderWindow->getContentSize();
  markerNode->drawSolidRect(cocos2d::Vec2(size.width - 25, size.height - 25),
                            cocos2d::Vec2(size.width - 5, size.height - 5), colorTable[frameColorIndex]);
}

void isActorCrossLine::onNotification(cocos2d::Ref* /*sender*/, unsigned int id, NSUI::NSNotificationData* data) {
  switch (id) {
    case NOTIFY_CROSS_POSITION: {
      dirty = true;
      const std::string text = data ? data->text : std::string();
      static const char* const keys[4][3] = {
          {"nx1", "nx2", "nx3"}, {"ny1", "ny2", "ny3"}, {"nz1", "nz2", "nz3"}, {"x", "y", "z"}};
      // Column-major: column c holds axis c (the point in column 3).
      for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 3; ++r) crossFrame.m[c * 4 + r] = readValue(text, keys[c][r]);
      break;
    }
    case NOTIFY_CAMERA_CHANGED:
      dirty = true;
      break;
    case NOTIFY_WINDOW_DRAWN:
      updateCrossLines();
      break;
    default:
      break;
  }
}

void isActorCrossLine::updateCrossLines() {
  if (!dirty || !renderWindow) return;
  if (lineNode && linesShown) {
    lineNode->vertices.clear();
    lineNode->setVisible(true);
    float gap = kMinimumGap;
    if (isCamera* camera = renderWindow->getSceneCamera()) {
      cocos2d::Vec3 a, b;
      camera->screenToWorld(cocos2d::Vec3(0, 0, 1.0f), &a);
      camera->screenToWorld(cocos2d::Vec3(0, 30, 1.0f), &b);
      gap = a.distance(b);
      if (!(gap >= kMinimumGap)) gap = kMinimumGap;  // NaN included
    }
    cocos2d::Color4F first, second;
    if (frameColorIndex == 0) {
      first = colorTable[2];
      second = colorTable[1];
    } else if (frameColorIndex == 1) {
      first = colorTable[2];
      second = colorTable[0];
    } else {
      first = colorTable[1];
      second = colorTable[0];
    }
    const float* m = crossFrame.m;
    const cocos2d::Vec3 u(m[0], m[1], m[2]);
    const cocos2d::Vec3 w(m[4], m[5], m[6]);
    const cocos2d::Vec3 p(m[12], m[13], m[14]);
    lineNode->addLine(p + u * gap, p + u * 10000.0f, first);
    lineNode->addLine(p - u * gap, p - u * 10000.0f, first);
    lineNode->addLine(p + w * gap, p + w * 10000.0f, second);
    lineNode->addLine(p - w * gap, p - w * 10000.0f, second);
    scheduleAutoHide(true);
  }
  dirty = false;
}

void isActorCrossLine::scheduleAutoHide(bool on) {
  auto* director = cocos2d::Director::getInstance();
  cocos2d::Scheduler* scheduler = director ? director->getScheduler() : nullptr;
  if (!scheduler) return;
  if (on)
    scheduler->schedule([this](float dt) { onAutoHide(dt); }, this, 1.0f, 1, 5.0f, false, kAutoHideKey);
  else
    scheduler->unschedule(kAutoHideKey, this);
}

void isActorCrossLine::onAutoHide(float /*elapsed*/) {
  if (lineNode) lineNode->setVisible(false);
}

}  // namespace isImageSDK
