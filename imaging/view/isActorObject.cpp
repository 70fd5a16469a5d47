#include "imaging/view/isActorObject.h"

#include <algorithm>

#include "imaging/view/isRenderWindowBase.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

namespace {

bool contains(const std::vector<cocos2d::Node*>& list, cocos2d::Node* node) {
  return std::any_of(list.begin(), list.end(), [node](cocos2d::Node* n) { return n->equal(node); });
}

}  // namespace

isActorObject::~isActorObject() { isActorObject::clear(); }

bool isActorObject::init() {
  id = -1;
  name.clear();
  renderWindow = nullptr;
  return true;
}

void isActorObject::addNode(cocos2d::Node* node) {
  if (!node || contains(childNodes, node)) return;
  node->setTag(static_cast<int>(getRefID()));
  node->retain();
  childNodes.push_back(node);
  if (renderWindow) renderWindow->addChild(node);
}

void isActorObject::addRenderNode(cocos2d::Node* node) {
  if (!node || contains(sceneNodes, node)) return;
  node->setTag(static_cast<int>(getRefID()));
  node->retain();
  sceneNodes.push_back(node);
  if (renderWindow) renderWindow->addSceneNode(node);
}

void isActorObject::attach(isRenderWindowBase* window) {
  if (renderWindow || !window) return;
  window->retain();
  renderWindow = window;
  for (auto* n : childNodes) window->addChild(n);
  for (auto* n : sceneNodes) window->addSceneNode(n);
  for (auto* n : visitNodes) window->addVisitNode(n);
}

void isActorObject::detach() {
  if (!renderWindow) return;
  for (auto* n : childNodes) renderWindow->removeChild(n, true);
  for (auto* n : sceneNodes) renderWindow->removeSceneNode(n);
  for (auto* n : visitNodes) renderWindow->removeVisitNode(n);
}

void isActorObject::clear() {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  detach();
  if (renderWindow) renderWindow->release();
  renderWindow = nullptr;
  for (auto* list : {&childNodes, &sceneNodes, &visitNodes}) {
    for (auto* n : *list) n->release();
    list->clear();
  }
}

}  // namespace isImageSDK
