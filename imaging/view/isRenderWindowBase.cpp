#include "imaging/view/isRenderWindowBase.h"

#include <algorithm>
#include <cmath>

#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

using cocos2d::Mat4;
using cocos2d::Vec2;
using cocos2d::Vec3;

namespace {

bool positiveFinite(float v) { return std::isfinite(v) && v > 0.0f; }

// Smallest flag from 2 upward that no camera of the scene uses.
uint16_t freeCameraFlag(cocos2d::Scene* scene) {
  std::vector<cocos2d::Camera*> cameras = scene->getCameras();
  for (uint16_t flag = 2;; ++flag) {
    bool used = false;
    for (auto* c : cameras)
      if (c && c->getCameraFlag() == flag) used = true;
    if (!used) return flag;
  }
}

// Tells the window's listeners that its place or projection changed.
void postViewGeometry(isRenderWindowBase* window) {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  if (!nc) return;
  auto* data = new NSUI::NSNotificationData();
  data->setObject(window);
  nc->postNotification(window, NOTIFY_VIEW_GEOMETRY, data, nullptr, false);
  data->release();
}

}  // namespace

isRenderWindowBase::~isRenderWindowBase() {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
}

bool isRenderWindowBase::init() {
  lastNotifiedFrame = 0;
  zoomReference = 1.0f;
  if (!isWindowLayout::init()) return false;
  sceneCamera = isCamera::create();
  visitCamera = isCamera::create();
  if (!sceneCamera || !visitCamera) return false;
  isWindowLayout::addChild(sceneCamera);
  isWindowLayout::addChild(visitCamera);
  visitCamera->lookAtView = true;
  visitCamera->setZoom(visitCamera->getZoom());
  setClippingEnabled(true);
  setClippingType(ClippingType::SCISSOR);
  backgroundSprite = isNodeSprite::create();
  if (!backgroundSprite) return false;
  addSceneNode(backgroundSprite);
  contentVisible = true;
  backgroundSprite->setTexture("UIRes/black22.png");
  backgroundSprite->setAnchorPoint(Vec2::ANCHOR_BOTTOM_LEFT);
  focused = false;
  return true;
}

void isRenderWindowBase::cleanup() {
  isWindowLayout::cleanup();
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
}

// --------------------------------------------------------------- node lists

void isRenderWindowBase::addSceneNode(cocos2d::Node* node) {
  if (!node) return;
  isWindowLayout::addChild(node);
  if (sceneCamera && sceneCamera->getCameraFlag() != 1) node->setCameraMask(sceneCamera->getCameraFlag(), true);
  sceneNodes.push_back(node);
}

void isRenderWindowBase::removeSceneNode(cocos2d::Node* node) {
  if (!node) return;
  isWindowLayout::removeChild(node, true);
  auto it = std::find_if(sceneNodes.begin(), sceneNodes.end(), [node](cocos2d::Node* n) { return n->equal(node); });
  if (it != sceneNodes.end()) sceneNodes.erase(it);
}

void isRenderWindowBase::addVisitNode(cocos2d::Node* node) {
  if (!node) return;
  if (visitCamera && visitCamera->getCameraFlag() != 1) node->setCameraMask(visitCamera->getCameraFlag(), true);
  visitNodes.push_back(node);
}

void isRenderWindowBase::clearVisitNodes() { visitNodes.clear(); }

void isRenderWindowBase::removeVisitNode(cocos2d::Node* node) {
  auto it = std::find_if(visitNodes.begin(), visitNodes.end(), [node](cocos2d::Node* n) { return n->equal(node); });
  if (it != visitNodes.end()) visitNodes.erase(it);
}

void isRenderWindowBase::onBeforeVisit() {
  for (auto* node : visitNodes) isWindowLayout::addChild(node);
}

void isRenderWindowBase::onAfterVisit() {
  // A copy: removal with cleanup may run code that edits the list.
  std::vector<cocos2d::Node*> nodes = visitNodes;
  for (auto* node : nodes)
    if (node->getParent() == this) isWindowLayout::removeChild(node, true);
}

// --------------------------------------------------------------- camera

void isRenderWindowBase::setCameraPosition(const Vec3& eye) {
  sceneCamera->setPosition3D(eye);
  visitCamera->setPosition3D(eye);
  updateOrientationLabels();
  updateBackground();
}

void isRenderWindowBase::setCameraLookAt(const Vec3& target, const Vec3& up) {
  sceneCamera->lookAt(target, up);
  visitCamera->lookAt(target, up);
  updateOrientationLabels();
  updateBackground();
}

CameraState isRenderWindowBase::getCameraState() const { return sceneCamera->getCameraState(); }

Vec3 isRenderWindowBase::getCameraTarget() const { return sceneCamera->getTarget(); }

void isRenderWindowBase::getCameraTargetAndUp(Vec3* target, Vec3* up) const {
  if (target) *target = sceneCamera->getTarget();
  if (up) *up = sceneCamera->getUpVector();
}

void isRenderWindowBase::setCameraTarget(const Vec3& p) {
  for (isCamera* c : {sceneCamera, visitCamera}) c->lookAt(p, c->getUpVector());
}

void isRenderWindowBase::setZoom(float zoom) {
  if (!positiveFinite(zoom)) return;
  sceneCamera->setZoom(zoom);
  visitCamera->setZoom(zoom);
}

void isRenderWindowBase::zoomBy(float f) {
  if (!positiveFinite(f)) return;
  for (isCamera* c : {sceneCamera, visitCamera}) c->setZoom(c->getZoom() / f);
  updateBackground();
  postCameraMoved();
}

void isRenderWindowBase::setZoomRatio(float r) {
  if (!positiveFinite(r)) return;
  for (isCamera* c : {sceneCamera, visitCamera}) c->setZoom(zoomReference / r);
  updateBackground();
}

float isRenderWindowBase::getZoomRatio() const { return zoomReference / sceneCamera->getZoom(); }

void isRenderWindowBase::centerOn(const Vec3& p) {
  const CameraState s = sceneCamera->getCameraState();
  const Vec3 onPlane = sceneCamera->projectToTargetPlane(p);
  const Vec3 eye = onPlane - s.viewDirection * s.distance;
  const Vec3 up = sceneCamera->getUpVector();
  setCameraPosition(eye);
  setCameraLookAt(onPlane, up);
  postCameraMoved();
}

void isRenderWindowBase::rotateAboutUp(float angle) {
  const CameraState s = sceneCamera->getCameraState();
  Mat4 m(s.rightAxis, -s.up, s.viewDirection, s.target);
  m.rotateY(-angle);
  m.translate(0.0f, 0.0f, -s.distance);
  setCameraPosition(Vec3(m.m[12], m.m[13], m.m[14]));
  postCameraMoved();
}

bool isRenderWindowBase::pickPoint(const Vec2&, Vec3*) { return false; }

void isRenderWindowBase::getPickRay(const Vec2& screenPoint, Vec3* origin, Vec3* direction) {
  const Vec2 local = convertToNodeSpace(screenPoint);
  sceneCamera->screenRay(local, origin, direction);
}

Vec2 isRenderWindowBase::worldToScreen(const Vec3& p) const {
  Vec3 out;
  sceneCamera->worldToScreen(p, &out);
  return Vec2(out.x, out.y);
}

void isRenderWindowBase::postCameraMoved() {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  if (!nc) return;
  nc->cancelNotifications(this, NOTIFY_CAMERA_CHANGED, this);
  nc->postNotification(this, NOTIFY_CAMERA_CHANGED, nullptr, this, false);
}

// --------------------------------------------------------------- appearance

void isRenderWindowBase::setFocused(bool value) {
  if (value == focused) return;
  focused = value;
  if (backgroundSprite) backgroundSprite->setTexture(focused ? "UIRes/white22.png" : "UIRes/black22.png");
  updateBackground();
}

void isRenderWindowBase::setVisible(bool visible) {
  if (visible == contentVisible) return;
  contentVisible = visible;
  updateBackground();
}

void isRenderWindowBase::updateBackground() {
  if (!backgroundSprite || !sceneCamera) return;
  const CameraState s = sceneCamera->getCameraState();
  Mat4 m(s.rightAxis, -s.up, s.viewDirection, Vec3::ZERO);
  const float depth = contentVisible ? 0.999f : 0.001f;
  const cocos2d::Size size = getContentSize();
  Vec3 topLeft, bottomRight;
  sceneCamera->screenToWorld(Vec3(0.0f, size.height, depth), &topLeft);
  sceneCamera->screenToWorld(Vec3(size.width, 0.0f, depth), &bottomRight);
  m.m[12] = topLeft.x;
  m.m[13] = topLeft.y;
  m.m[14] = topLeft.z;
  backgroundSprite->setImageMatrix(m);
  backgroundSprite->setScale(topLeft.distance(bottomRight) / 21.0f);
}

// --------------------------------------------------------------- geometry

void isRenderWindowBase::setContentSize(const cocos2d::Size& size) {
  isWindowLayout::setContentSize(size);
  if (!(size.width > 1.0f && size.height > 1.0f) || !sceneCamera) return;
  const Mat4 world = getNodeToWorldTransform();
  const double tx = world.m[12], ty = world.m[13];
  const cocos2d::Size win = cocos2d::Director::getInstance()->getWinSize();
  const double W = win.width > 0 ? win.width : size.width;
  const double H = win.height > 0 ? win.height : size.height;
  const double w = size.width, h = size.height;
  Mat4 S, T;
  Mat4::createScale(static_cast<float>(w / W), static_cast<float>(h / H), 1.0f, &S);
  Mat4::createTranslation(static_cast<float>(2.0 * tx / W - 1.0 + w / W), static_cast<float>(2.0 * ty / H - 1.0 + h / H),
                          0.0f, &T);
  const Mat4 extra = T * S;
  sceneCamera->setProjection(60.0f, size.width, size.height, 100.0f, 5000.0f, extra);
  visitCamera->setProjection(60.0f, size.width, size.height, 100.0f, 5000.0f, extra);
  postViewGeometry(this);
}

void isRenderWindowBase::setPosition(const Vec2& position) {
  isWindowLayout::setPosition(position);
  const cocos2d::Size size = getContentSize();
  setContentSize(size);
  if (size.width < 1.0f || size.height < 1.0f) postViewGeometry(this);
}

void isRenderWindowBase::setParent(cocos2d::Node* parent) {
  isWindowLayout::setParent(parent);
  if (parent) parent->enableCameraVisitThroughtChild();
}

// --------------------------------------------------------------- scene

void isRenderWindowBase::assignCameraFlags() {
  cocos2d::Scene* scene = getScene();
  if (!scene) return;
  if (sceneCamera->getCameraFlag() == 1) sceneCamera->setCameraFlag(freeCameraFlag(scene));
  if (sceneCamera->getCameraFlag() != 1)
    for (auto* n : sceneNodes) n->setCameraMask(sceneCamera->getCameraFlag(), true);
  if (visitCamera->getCameraFlag() == 1) visitCamera->setCameraFlag(freeCameraFlag(scene));
  if (visitCamera->getCameraFlag() != 1)
    for (auto* n : visitNodes) n->setCameraMask(visitCamera->getCameraFlag(), true);
}

void isRenderWindowBase::onEnter() {
  isWindowLayout::onEnter();
  assignCameraFlags();
}

bool isRenderWindowBase::isVisitableByVisitingCamera() const {
  if (isWindowLayout::isVisitableByVisitingCamera()) return true;
  const cocos2d::Camera* camera = cocos2d::Camera::getVisitingCamera();
  if (!camera) return true;
  const uint16_t flag = camera->getCameraFlag();
  return (sceneCamera && flag == sceneCamera->getCameraFlag()) || (visitCamera && flag == visitCamera->getCameraFlag());
}

void isRenderWindowBase::visit(cocos2d::Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
  if (!isVisible() || !isVisitableByVisitingCamera()) return;
  isWindowLayout::visit(renderer, parentTransform, parentFlags);
  const unsigned int frame = cocos2d::Director::getInstance()->getTotalFrames();
  if (frame + 1 != lastNotifiedFrame) {
    // Stored one ahead, so that frame 0 is told as well.
    lastNotifiedFrame = frame + 1;
    if (auto* nc = NSUI::NSNotificationCenter::getInstance())
      nc->postNotification(this, NOTIFY_WINDOW_DRAWN, nullptr, this, true);
  }
}

}  // namespace isImageSDK
