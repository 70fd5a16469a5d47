#include "engine/2d/ProtectedNode.h"

#include <algorithm>
#include <new>

#include "engine/base/ccLog.h"

NS_CC_BEGIN

ProtectedNode::ProtectedNode() = default;

ProtectedNode::~ProtectedNode() {
  for (Node* child : _protectedChildren) child->setParent(nullptr);
  _protectedChildren.clear();
}

void ProtectedNode::addProtectedChild(Node* child) { addProtectedChild(child, child ? child->getLocalZOrder() : 0); }

void ProtectedNode::addProtectedChild(Node* child, int localZOrder) {
  addProtectedChild(child, localZOrder, child ? child->getTag() : INVALID_TAG);
}

void ProtectedNode::addProtectedChild(Node* child, int localZOrder, int tag) {
  if (!child) return;
  if (child->getParent()) {
    log("ProtectedNode::addProtectedChild: the child already has a parent; ignored");
    return;
  }
  _reorderProtectedChildDirty = true;
  _protectedChildren.pushBack(child);
  // Local z and arrival order through the same bookkeeping as children.
  child->_localZOrder = localZOrder;
  child->updateOrderOfArrival();
  child->setTag(tag);
  child->setParent(this);
  if (_cascadeOpacityEnabled) child->updateDisplayedOpacity(_displayedOpacity);
  if (_cascadeColorEnabled) child->updateDisplayedColor(_displayedColor);
  if (_running) {
    child->onEnter();
    child->onEnterTransitionDidFinish();
  }
}

Node* ProtectedNode::getProtectedChildByTag(int tag) {
  for (Node* child : _protectedChildren)
    if (child->getTag() == tag) return child;
  return nullptr;
}

void ProtectedNode::removeProtectedChild(Node* child, bool doCleanup) {
  if (!child) return;
  if (_protectedChildren.getIndex(child) == CC_INVALID_INDEX) return;
  child->retain();
  if (child->isRunning()) {
    child->onExitTransitionDidStart();
    child->onExit();
  }
  if (doCleanup) child->cleanup();
  ssize_t index = _protectedChildren.getIndex(child);
  if (index != CC_INVALID_INDEX) {
    child->setParent(nullptr);
    _protectedChildren.erase(index);
  }
  child->release();
}

void ProtectedNode::removeProtectedChildByTag(int tag, bool doCleanup) {
  if (Node* child = getProtectedChildByTag(tag)) removeProtectedChild(child, doCleanup);
}

void ProtectedNode::removeAllProtectedChildren() { removeAllProtectedChildrenWithCleanup(true); }

void ProtectedNode::removeAllProtectedChildrenWithCleanup(bool doCleanup) {
  Vector<Node*> children(_protectedChildren);
  for (Node* child : children) removeProtectedChild(child, doCleanup);
}

void ProtectedNode::reorderProtectedChild(Node* child, int localZOrder) {
  if (!child) return;
  _reorderProtectedChildDirty = true;
  child->updateOrderOfArrival();
  child->_localZOrder = localZOrder;
}

void ProtectedNode::sortAllProtectedChildren() {
  if (!_reorderProtectedChildDirty) return;
  auto& data = const_cast<std::vector<Node*>&>(_protectedChildren.data());
  std::stable_sort(data.begin(), data.end(), [](const Node* a, const Node* b) {
    return a->getLocalZOrder() < b->getLocalZOrder() ||
           (a->getLocalZOrder() == b->getLocalZOrder() && a->getOrderOfArrival() < b->getOrderOfArrival());
  });
  _reorderProtectedChildDirty = false;
}

Node* ProtectedNode::getChildByNameDeep(const std::string& name) const {
  if (Node* found = Node::getChildByNameDeep(name)) return found;
  if (name.empty()) return nullptr;
  for (Node* child : _protectedChildren) {
    if (child->getName() == name) return child;
    if (Node* found = child->getChildByNameDeep(name)) return found;
  }
  return nullptr;
}

Node* ProtectedNode::getChildByTagDeep(int tag) const {
  if (Node* found = Node::getChildByTagDeep(tag)) return found;
  for (Node* child : _protectedChildren) {
    if (child->getTag() == tag) return child;
    if (Node* found = child->getChildByTagDeep(tag)) return found;
  }
  return nullptr;
}

void ProtectedNode::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
  if (!_visible) return;
  const uint32_t flags = processParentFlags(parentTransform, parentFlags);
  sortAllChildren();
  sortAllProtectedChildren();
  const auto& children = _children.data();
  const auto& prot = _protectedChildren.data();
  size_t i = 0, j = 0;
  for (; j < prot.size() && prot[j]->getLocalZOrder() < 0; ++j) prot[j]->visit(renderer, _modelViewTransform, flags);
  for (; i < children.size() && children[i]->getLocalZOrder() < 0; ++i)
    children[i]->visit(renderer, _modelViewTransform, flags);
  if (isVisitableByVisitingCamera()) draw(renderer, _modelViewTransform, flags);
  for (; j < prot.size(); ++j) prot[j]->visit(renderer, _modelViewTransform, flags);
  for (; i < children.size(); ++i) children[i]->visit(renderer, _modelViewTransform, flags);
}

void ProtectedNode::collectVisitOrder(std::vector<Node*>& out) {
  sortAllChildren();
  sortAllProtectedChildren();
  const auto& children = _children.data();
  const auto& prot = _protectedChildren.data();
  size_t i = 0, j = 0;
  for (; j < prot.size() && prot[j]->getLocalZOrder() < 0; ++j) prot[j]->collectVisitOrder(out);
  for (; i < children.size() && children[i]->getLocalZOrder() < 0; ++i) children[i]->collectVisitOrder(out);
  out.push_back(this);
  for (; j < prot.size(); ++j) prot[j]->collectVisitOrder(out);
  for (; i < children.size(); ++i) children[i]->collectVisitOrder(out);
}

void ProtectedNode::cleanup() {
  Node::cleanup();
  Vector<Node*> prot(_protectedChildren);
  for (Node* child : prot) child->cleanup();
}

void ProtectedNode::onEnter() {
  Node::onEnter();
  sortAllProtectedChildren();
  Vector<Node*> prot(_protectedChildren);
  for (Node* child : prot)
    if (child->getParent() == this && !child->isRunning()) child->onEnter();
}

void ProtectedNode::onEnterTransitionDidFinish() {
  Node::onEnterTransitionDidFinish();
  Vector<Node*> prot(_protectedChildren);
  for (Node* child : prot)
    if (child->getParent() == this && !child->_enterFinished) child->onEnterTransitionDidFinish();
}

void ProtectedNode::onExitTransitionDidStart() {
  Node::onExitTransitionDidStart();
  Vector<Node*> prot(_protectedChildren);
  for (Node* child : prot)
    if (child->getParent() == this) child->onExitTransitionDidStart();
}

void ProtectedNode::onExit() {
  Node::onExit();
  Vector<Node*> prot(_protectedChildren);
  for (Node* child : prot)
    if (child->getParent() == this && child->isRunning()) child->onExit();
}

void ProtectedNode::setCameraMask(uint16_t flag, bool applyChildren) {
  Node::setCameraMask(flag, applyChildren);
  if (applyChildren)
    for (Node* child : _protectedChildren) child->setCameraMask(flag, true);
}

void ProtectedNode::removeCameraMask(uint16_t flag, bool applyChildren) {
  Node::removeCameraMask(flag, applyChildren);
  if (applyChildren)
    for (Node* child : _protectedChildren) child->removeCameraMask(flag, true);
}

void ProtectedNode::updateDisplayedOpacity(GLubyte parentOpacity) {
  Node::updateDisplayedOpacity(parentOpacity);
  if (_cascadeOpacityEnabled)
    for (Node* child : _protectedChildren) child->updateDisplayedOpacity(_displayedOpacity);
}

void ProtectedNode::updateDisplayedColor(const Color3B& parentColor) {
  Node::updateDisplayedColor(parentColor);
  if (_cascadeColorEnabled)
    for (Node* child : _protectedChildren) child->updateDisplayedColor(_displayedColor);
}

void ProtectedNode::setCascadeOpacityEnabled(bool enabled) {
  Node::setCascadeOpacityEnabled(enabled);
  for (Node* child : _protectedChildren) child->updateDisplayedOpacity(enabled ? _displayedOpacity : 255);
}

void ProtectedNode::setCascadeColorEnabled(bool enabled) {
  Node::setCascadeColorEnabled(enabled);
  for (Node* child : _protectedChildren) child->updateDisplayedColor(enabled ? _displayedColor : Color3B::WHITE);
}

NS_CC_END
