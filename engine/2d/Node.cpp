#include "engine/2d/Node.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

#include "engine/2d/ActionManager.h"
#include "engine/2d/Camera.h"
#include "engine/2d/Scene.h"
#include "engine/base/Director.h"
#include "engine/base/EventDispatcher.h"
#include "engine/base/Scheduler.h"
#include "engine/base/Touch.h"
#include "engine/base/ccLog.h"
#include "engine/renderer/Renderer.h"

NS_CC_BEGIN

namespace {
// Order of arrival of children; only the UI thread adds children, but nodes
// may be built on other threads, so the counter is atomic.
std::atomic<unsigned int> g_globalOrderOfArrival{1};
}  // namespace

Node::Node() = default;

Node::~Node() {
  // Children outlive nothing: detach them without cleanup of their state
  // beyond what their own destructors do.
  for (Node* child : _children) child->_parent = nullptr;
  _children.clear();
  CC_SAFE_RELEASE(_userObject);
  CC_SAFE_RELEASE(_glProgramState);
  if (_hasSceneGraphListeners || _hasSchedules) {
    if (Director* d = Director::getInstanceIfExists()) {
      if (_hasSceneGraphListeners) d->getEventDispatcher()->removeEventListenersForTarget(this);
      if (_hasSchedules) d->getScheduler()->unscheduleAllForTarget(this);
    }
  }
}

bool Node::init() { return true; }

// ------------------------------------------------------------ lifecycle
void Node::onEnter() {
  _running = true;
  sortAllChildren();
  // Children may change the list while entering: walk a copy.
  Vector<Node*> children(_children);
  for (Node* child : children)
    if (child->_parent == this && !child->_running) child->onEnter();
  resume();
}

void Node::onEnterTransitionDidFinish() {
  _enterFinished = true;
  // A child added (and so entered and finished) during this node's own
  // entry is not told twice.
  Vector<Node*> children(_children);
  for (Node* child : children)
    if (child->_parent == this && !child->_enterFinished) child->onEnterTransitionDidFinish();
}

void Node::onExitTransitionDidStart() {
  Vector<Node*> children(_children);
  for (Node* child : children)
    if (child->_parent == this) child->onExitTransitionDidStart();
}

void Node::onExit() {
  _running = false;
  _enterFinished = false;
  pause();
  Vector<Node*> children(_children);
  for (Node* child : children)
    if (child->_parent == this && child->_running) child->onExit();
}

void Node::cleanup() {
  stopAllActions();
  unscheduleAllCallbacks();
  Vector<Node*> children(_children);
  for (Node* child : children) child->cleanup();
}

void Node::setParent(Node* parent) {
  _parent = parent;
  _transformUpdated = _transformDirty = true;
}

// ------------------------------------------------------------ children
void Node::addChild(Node* child) { addChild(child, child ? child->_localZOrder : 0); }

void Node::addChild(Node* child, int localZOrder) {
  if (!child) return;
  addChildHelper(child, localZOrder, child->_tag, child->_name, false);
}

void Node::addChild(Node* child, int localZOrder, int tag) {
  if (!child) return;
  addChildHelper(child, localZOrder, tag, "", true);
}

void Node::addChild(Node* child, int localZOrder, const std::string& name) {
  if (!child) return;
  addChildHelper(child, localZOrder, INVALID_TAG, name, false);
  child->_name = name;
}

void Node::addChildHelper(Node* child, int localZOrder, int tag, const std::string& name, bool setTag) {
  if (child->_parent) {
    log("Node::addChild: the child already has a parent; ignored");
    return;
  }
  if (child == this) {
    log("Node::addChild: a node cannot be its own child");
    return;
  }
  insertChild(child, localZOrder);
  if (setTag) child->_tag = tag;
  (void)name;
  child->setParent(this);
  if (_cascadeOpacityEnabled) child->updateDisplayedOpacity(_displayedOpacity);
  if (_cascadeColorEnabled) child->updateDisplayedColor(_displayedColor);
  if (_running) {
    child->onEnter();
    child->onEnterTransitionDidFinish();
  }
}

void Node::insertChild(Node* child, int z) {
  _reorderChildDirty = true;
  _children.pushBack(child);
  child->_localZOrder = z;
  child->updateOrderOfArrival();
}

void Node::updateOrderOfArrival() { _orderOfArrival = g_globalOrderOfArrival.fetch_add(1, std::memory_order_relaxed); }

void Node::removeChild(Node* child, bool doCleanup) {
  if (!child || _children.empty()) return;
  ssize_t index = _children.getIndex(child);
  if (index != CC_INVALID_INDEX) detachChild(child, index, doCleanup);
}

void Node::removeChildByTag(int tag, bool doCleanup) {
  if (Node* child = getChildByTag(tag)) removeChild(child, doCleanup);
}

void Node::removeChildByName(const std::string& name, bool doCleanup) {
  if (Node* child = getChildByName(name)) removeChild(child, doCleanup);
}

void Node::removeAllChildren() { removeAllChildrenWithCleanup(true); }

void Node::removeAllChildrenWithCleanup(bool doCleanup) {
  Vector<Node*> children(_children);
  for (Node* child : children) {
    ssize_t index = _children.getIndex(child);
    if (index != CC_INVALID_INDEX) detachChild(child, index, doCleanup);
  }
}

void Node::detachChild(Node* child, ssize_t index, bool doCleanup) {
  child->retain();
  if (child->_running) {
    child->onExitTransitionDidStart();
    child->onExit();
  }
  if (doCleanup) child->cleanup();
  // The callbacks above may have moved the child already.
  index = _children.getIndex(child);
  if (index != CC_INVALID_INDEX) {
    child->setParent(nullptr);
    _children.erase(index);
  }
  child->release();
}

void Node::removeFromParent() { removeFromParentAndCleanup(true); }

void Node::removeFromParentAndCleanup(bool doCleanup) {
  if (_parent) _parent->removeChild(this, doCleanup);
}

void Node::reorderChild(Node* child, int localZOrder) {
  if (!child) return;
  _reorderChildDirty = true;
  child->updateOrderOfArrival();
  child->_localZOrder = localZOrder;
}

void Node::sortAllChildren() {
  if (!_reorderChildDirty) return;
  auto& data = const_cast<std::vector<Node*>&>(_children.data());
  std::stable_sort(data.begin(), data.end(), [](const Node* a, const Node* b) {
    return a->_localZOrder < b->_localZOrder ||
           (a->_localZOrder == b->_localZOrder && a->_orderOfArrival < b->_orderOfArrival);
  });
  _reorderChildDirty = false;
}

Node* Node::getChildByTag(int tag) const {
  for (Node* child : _children)
    if (child->_tag == tag) return child;
  return nullptr;
}

Node* Node::getChildByName(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (Node* child : _children)
    if (child->_name == name) return child;
  return nullptr;
}

Node* Node::getChildByNameDeep(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (Node* child : getChildren()) {
    if (child->getName() == name) return child;
    if (Node* found = child->getChildByNameDeep(name)) return found;
  }
  return nullptr;
}

Node* Node::getChildByTagDeep(int tag) const {
  for (Node* child : getChildren()) {
    if (child->getTag() == tag) return child;
    if (Node* found = child->getChildByTagDeep(tag)) return found;
  }
  return nullptr;
}

Scene* Node::getScene() const {
  const Node* n = this;
  while (n->_parent) n = n->_parent;
  return dynamic_cast<Scene*>(const_cast<Node*>(n));
}

// ------------------------------------------------------------ identity
void Node::setUserObject(Ref* userObject) {
  CC_SAFE_RETAIN(userObject);
  CC_SAFE_RELEASE(_userObject);
  _userObject = userObject;
}

void Node::setLocalZOrder(int localZOrder) {
  if (_localZOrder == localZOrder) return;
  if (_parent) {
    _parent->reorderChild(this, localZOrder);
  } else {
    _localZOrder = localZOrder;
  }
}

void Node::updateChildrenToHighZOrder() {
  static constexpr int kHighZOrder = 10000;
  sortAllChildren();
  int floor = kHighZOrder;
  for (Node* child : _children) {
    floor = std::max(floor, child->_localZOrder);
    child->_localZOrder = floor;
    child->updateOrderOfArrival();  // ties keep the present order
  }
  _reorderChildDirty = true;
  sortAllChildren();
}

// ------------------------------------------------------------ geometry
void Node::markTransformDirty() { _transformUpdated = _transformDirty = true; }

void Node::setPosition(const Vec2& position) {
  if (_position == position) return;
  _position = position;
  markTransformDirty();
}
void Node::setPosition(float x, float y) { setPosition(Vec2(x, y)); }
void Node::getPosition(float* x, float* y) const {
  *x = _position.x;
  *y = _position.y;
}
void Node::setPositionX(float x) { setPosition(Vec2(x, _position.y)); }
void Node::setPositionY(float y) { setPosition(Vec2(_position.x, y)); }
void Node::setPositionZ(float z) {
  if (_positionZ == z) return;
  _positionZ = z;
  markTransformDirty();
}
void Node::setPosition3D(const Vec3& position) {
  setPositionZ(position.z);
  setPosition(Vec2(position.x, position.y));
}
Vec3 Node::getPosition3D() const { return Vec3(_position.x, _position.y, _positionZ); }

void Node::setRotation(float degrees) {
  if (_rotationZ == degrees) return;
  _rotationZ = degrees;
  markTransformDirty();
}

void Node::setRotation3D(const Vec3& degrees) {
  _rotationX = degrees.x;
  _rotationY = degrees.y;
  _rotationZ = degrees.z;
  markTransformDirty();
}

void Node::setScale(float scale) { setScale(scale, scale); _scaleZ = scale; }
void Node::setScale(float scaleX, float scaleY) {
  _scaleX = scaleX;
  _scaleY = scaleY;
  markTransformDirty();
}
void Node::setScaleX(float scaleX) { setScale(scaleX, _scaleY); }
void Node::setScaleY(float scaleY) { setScale(_scaleX, scaleY); }
void Node::setScaleZ(float scaleZ) {
  _scaleZ = scaleZ;
  markTransformDirty();
}

void Node::setAnchorPoint(const Vec2& anchor) {
  if (anchor == _anchorPoint) return;
  _anchorPoint = anchor;
  _anchorPointInPoints.set(_contentSize.width * anchor.x, _contentSize.height * anchor.y);
  markTransformDirty();
}

void Node::setIgnoreAnchorPointForPosition(bool ignore) {
  if (ignore == _ignoreAnchorPointForPosition) return;
  _ignoreAnchorPointForPosition = ignore;
  markTransformDirty();
}

void Node::setContentSize(const Size& size) {
  if (size == _contentSize) return;
  _contentSize = size;
  _anchorPointInPoints.set(size.width * _anchorPoint.x, size.height * _anchorPoint.y);
  _contentSizeDirty = true;
  markTransformDirty();
}

Rect Node::getBoundingBox() const {
  const Mat4& t = getNodeToParentTransform();
  const float w = _contentSize.width, h = _contentSize.height;
  const Vec3 corners[4] = {t.transformPoint(Vec3(0, 0, 0)), t.transformPoint(Vec3(w, 0, 0)),
                           t.transformPoint(Vec3(0, h, 0)), t.transformPoint(Vec3(w, h, 0))};
  float minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
  for (const Vec3& c : corners) {
    minX = std::min(minX, c.x);
    maxX = std::max(maxX, c.x);
    minY = std::min(minY, c.y);
    maxY = std::max(maxY, c.y);
  }
  return Rect(minX, minY, maxX - minX, maxY - minY);
}

// ------------------------------------------------------------ colour
void Node::setOpacity(GLubyte opacity) {
  _realOpacity = opacity;
  GLubyte parentOpacity = 255;
  if (_parent && _parent->_cascadeOpacityEnabled) parentOpacity = _parent->_displayedOpacity;
  updateDisplayedOpacity(parentOpacity);
}

void Node::updateDisplayedOpacity(GLubyte parentOpacity) {
  _displayedOpacity = static_cast<GLubyte>(_realOpacity * parentOpacity / 255);
  if (_cascadeOpacityEnabled)
    for (Node* child : _children) child->updateDisplayedOpacity(_displayedOpacity);
}

void Node::setCascadeOpacityEnabled(bool enabled) {
  if (_cascadeOpacityEnabled == enabled) return;
  _cascadeOpacityEnabled = enabled;
  if (enabled) {
    for (Node* child : _children) child->updateDisplayedOpacity(_displayedOpacity);
  } else {
    for (Node* child : _children) child->updateDisplayedOpacity(255);
  }
}

void Node::setColor(const Color3B& color) {
  _realColor = color;
  Color3B parentColor = Color3B::WHITE;
  if (_parent && _parent->_cascadeColorEnabled) parentColor = _parent->_displayedColor;
  updateDisplayedColor(parentColor);
}

void Node::updateDisplayedColor(const Color3B& parentColor) {
  _displayedColor.r = static_cast<uint8_t>(_realColor.r * parentColor.r / 255);
  _displayedColor.g = static_cast<uint8_t>(_realColor.g * parentColor.g / 255);
  _displayedColor.b = static_cast<uint8_t>(_realColor.b * parentColor.b / 255);
  if (_cascadeColorEnabled)
    for (Node* child : _children) child->updateDisplayedColor(_displayedColor);
}

void Node::setCascadeColorEnabled(bool enabled) {
  if (_cascadeColorEnabled == enabled) return;
  _cascadeColorEnabled = enabled;
  const Color3B c = enabled ? _displayedColor : Color3B::WHITE;
  for (Node* child : _children) child->updateDisplayedColor(c);
}

// ------------------------------------------------------------ transforms
const Mat4& Node::getNodeToParentTransform() const {
  if (!_transformDirty) return _transform;
  float x = _position.x, y = _position.y;
  if (_ignoreAnchorPointForPosition) {
    x += _anchorPointInPoints.x * _scaleX;
    y += _anchorPointInPoints.y * _scaleY;
  }
  Mat4 t;
  Mat4::createTranslation(x, y, _positionZ, &t);
  if (_rotationZ != 0) t.rotateZ(CC_DEGREES_TO_RADIANS(-_rotationZ));
  if (_rotationX != 0) t.rotateX(CC_DEGREES_TO_RADIANS(_rotationX));
  if (_rotationY != 0) t.rotateY(CC_DEGREES_TO_RADIANS(_rotationY));
  if (_scaleX != 1 || _scaleY != 1 || _scaleZ != 1) t.scale(_scaleX, _scaleY, _scaleZ);
  if (!_anchorPointInPoints.isZero()) t.translate(-_anchorPointInPoints.x, -_anchorPointInPoints.y, 0);
  if (_useAdditionalTransform) t.multiply(_additionalTransform);
  _transform = t;
  _transformDirty = false;
  return _transform;
}

Mat4 Node::getParentToNodeTransform() const { return getNodeToParentTransform().getInversed(); }

void Node::setAdditionalTransform(const Mat4* additionalTransform) {
  if (additionalTransform) {
    _additionalTransform = *additionalTransform;
    _useAdditionalTransform = true;
  } else {
    _useAdditionalTransform = false;
  }
  markTransformDirty();
}

void Node::setAdditionalTransform(const Mat4& additionalTransform) { setAdditionalTransform(&additionalTransform); }

Mat4 Node::getNodeToWorldTransform() const {
  Mat4 t = getNodeToParentTransform();
  for (const Node* p = _parent; p; p = p->_parent) t = p->getNodeToParentTransform() * t;
  return t;
}

Mat4 Node::getWorldToNodeTransform() const { return getNodeToWorldTransform().getInversed(); }

Vec2 Node::convertToNodeSpace(const Vec2& worldPoint) const {
  Vec3 p = getWorldToNodeTransform().transformPoint(Vec3(worldPoint.x, worldPoint.y, 0));
  return Vec2(p.x, p.y);
}

Vec2 Node::convertToWorldSpace(const Vec2& nodePoint) const {
  Vec3 p = getNodeToWorldTransform().transformPoint(Vec3(nodePoint.x, nodePoint.y, 0));
  return Vec2(p.x, p.y);
}

Vec2 Node::convertToNodeSpaceAR(const Vec2& worldPoint) const {
  return convertToNodeSpace(worldPoint) - _anchorPointInPoints;
}

Vec2 Node::convertToWorldSpaceAR(const Vec2& nodePoint) const {
  return convertToWorldSpace(nodePoint + _anchorPointInPoints);
}

Vec2 Node::convertTouchToNodeSpace(Touch* touch) const { return convertToNodeSpace(touch->getLocation()); }
Vec2 Node::convertTouchToNodeSpaceAR(Touch* touch) const { return convertToNodeSpaceAR(touch->getLocation()); }

// ------------------------------------------------------------ camera flags
void Node::setCameraMask(uint16_t flag, bool applyChildren) {
  if (!hasCameraFlag(flag)) _cameraFlags.push_back(flag);
  if (applyChildren)
    for (Node* child : _children) child->setCameraMask(flag, true);
}

void Node::removeCameraMask(uint16_t flag, bool applyChildren) {
  _cameraFlags.erase(std::remove(_cameraFlags.begin(), _cameraFlags.end(), flag), _cameraFlags.end());
  if (applyChildren)
    for (Node* child : _children) child->removeCameraMask(flag, true);
}

bool Node::hasCameraFlag(uint16_t flag) const {
  return std::find(_cameraFlags.begin(), _cameraFlags.end(), flag) != _cameraFlags.end();
}

bool Node::isVisitableByVisitingCamera() const {
  const Camera* camera = Camera::getVisitingCamera();
  return !camera || hasCameraFlag(camera->getCameraFlag());
}

// ------------------------------------------------------------ drawing
uint32_t Node::processParentFlags(const Mat4& parentTransform, uint32_t parentFlags) {
  uint32_t flags = parentFlags;
  if (_transformUpdated) flags |= FLAGS_TRANSFORM_DIRTY;
  if (_contentSizeDirty) flags |= FLAGS_CONTENT_SIZE_DIRTY;
  // Each camera pass has its own view, so the model-view is always rebuilt.
  _modelViewTransform = parentTransform * getNodeToParentTransform();
  _transformUpdated = false;
  _contentSizeDirty = false;
  return flags;
}

void Node::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
  if (!_visible) return;
  const uint32_t flags = processParentFlags(parentTransform, parentFlags);
  sortAllChildren();
  const bool drawSelf = isVisitableByVisitingCamera();
  size_t i = 0;
  const auto& children = _children.data();
  for (; i < children.size() && children[i]->_localZOrder < 0; ++i)
    children[i]->visit(renderer, _modelViewTransform, flags);
  if (drawSelf) draw(renderer, _modelViewTransform, flags);
  for (; i < children.size(); ++i) children[i]->visit(renderer, _modelViewTransform, flags);
}

void Node::draw(Renderer*, const Mat4&, uint32_t) {}


void Node::visit() {
  Renderer* renderer = nullptr;
  if (Director* d = Director::getInstanceIfExists()) renderer = d->getRenderer();
  visit(renderer, Mat4::IDENTITY, 0);
}

void Node::collectVisitOrder(std::vector<Node*>& out) {
  sortAllChildren();
  size_t i = 0;
  const auto& children = _children.data();
  for (; i < children.size() && children[i]->_localZOrder < 0; ++i) children[i]->collectVisitOrder(out);
  out.push_back(this);
  for (; i < children.size(); ++i) children[i]->collectVisitOrder(out);
}

// ------------------------------------------------------------ scheduling
Scheduler* Node::getScheduler() const { return Director::getInstance()->getScheduler(); }

void Node::scheduleUpdate() { scheduleUpdateWithPriority(0); }

void Node::scheduleUpdateWithPriority(int priority) {
  _hasSchedules = true;
  getScheduler()->scheduleUpdate(this, priority, !_running);
}

void Node::unscheduleUpdate() { getScheduler()->unscheduleUpdate(this); }

void Node::schedule(SEL_SCHEDULE selector) { schedule(selector, 0.0f, CC_REPEAT_FOREVER, 0.0f); }

void Node::schedule(SEL_SCHEDULE selector, float interval) { schedule(selector, interval, CC_REPEAT_FOREVER, 0.0f); }

void Node::schedule(SEL_SCHEDULE selector, float interval, unsigned int repeat, float delay) {
  _hasSchedules = true;
  getScheduler()->schedule(selector, this, interval, repeat, delay, !_running);
}

void Node::scheduleOnce(SEL_SCHEDULE selector, float delay) { schedule(selector, 0.0f, 0, delay); }

void Node::schedule(const std::function<void(float)>& callback, const std::string& key) {
  schedule(callback, 0.0f, CC_REPEAT_FOREVER, 0.0f, key);
}

void Node::schedule(const std::function<void(float)>& callback, float interval, const std::string& key) {
  schedule(callback, interval, CC_REPEAT_FOREVER, 0.0f, key);
}

void Node::schedule(const std::function<void(float)>& callback, float interval, unsigned int repeat,
                    float delay, const std::string& key) {
  _hasSchedules = true;
  getScheduler()->schedule(callback, this, interval, repeat, delay, !_running, key);
}

void Node::scheduleOnce(const std::function<void(float)>& callback, float delay, const std::string& key) {
  schedule(callback, 0.0f, 0, delay, key);
}

bool Node::isScheduled(SEL_SCHEDULE selector) const { return getScheduler()->isScheduled(selector, this); }
bool Node::isScheduled(const std::string& key) const { return getScheduler()->isScheduled(key, this); }
void Node::unschedule(SEL_SCHEDULE selector) { getScheduler()->unschedule(selector, this); }
void Node::unschedule(const std::string& key) { getScheduler()->unschedule(key, this); }

void Node::unscheduleAllCallbacks() {
  if (!_hasSchedules) return;
  if (Director* d = Director::getInstanceIfExists()) d->getScheduler()->unscheduleAllForTarget(this);
}

void Node::resume() {
  Director* d = Director::getInstanceIfExists();
  if (!d) return;
  if (_hasSchedules) d->getScheduler()->resumeTarget(this);
  d->getActionManager()->resumeTarget(this);
  if (_hasSceneGraphListeners) d->getEventDispatcher()->resumeEventListenersForTarget(this);
}

void Node::pause() {
  Director* d = Director::getInstanceIfExists();
  if (!d) return;
  if (_hasSchedules) d->getScheduler()->pauseTarget(this);
  d->getActionManager()->pauseTarget(this);
  // Listeners of a node that is not running get nothing anyway; an explicit
  // pause() of a running node pauses them too.
  if (_running && _hasSceneGraphListeners) d->getEventDispatcher()->pauseEventListenersForTarget(this);
}

// ------------------------------------------------------------ actions
ActionManager* Node::getActionManager() const { return Director::getInstance()->getActionManager(); }

Action* Node::runAction(Action* action) {
  if (!action) return nullptr;
  getActionManager()->addAction(action, this, !_running);
  return action;
}

void Node::stopAllActions() {
  if (Director* d = Director::getInstanceIfExists()) d->getActionManager()->removeAllActionsFromTarget(this);
}

void Node::stopAction(Action* action) { getActionManager()->removeAction(action); }

void Node::stopActionByTag(int tag) { getActionManager()->removeActionByTag(tag, this); }

Action* Node::getActionByTag(int tag) { return getActionManager()->getActionByTag(tag, this); }

ssize_t Node::getNumberOfRunningActions() const {
  Director* d = Director::getInstanceIfExists();
  return d ? d->getActionManager()->getNumberOfRunningActionsInTarget(this) : 0;
}

// ------------------------------------------------------------ events
EventDispatcher* Node::getEventDispatcher() const { return Director::getInstance()->getEventDispatcher(); }

bool Node::onResponseReturn() {
  removeFromParent();
  return true;
}

NS_CC_END
