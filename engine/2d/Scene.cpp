#include "engine/2d/Scene.h"

#include <algorithm>
#include <new>

#include "engine/2d/Camera.h"
#include "engine/base/Director.h"
#include "engine/renderer/Renderer.h"

NS_CC_BEGIN

namespace {
const char* const kMessageNodeKey = "Scene.messageNode";
}

Scene* Scene::createWithSize(const Size& size) {
  auto* s = new (std::nothrow) Scene();
  if (s && s->initWithSize(size)) {
    s->autorelease();
    return s;
  }
  delete s;
  return nullptr;
}

Scene::Scene() {
  _ignoreAnchorPointForPosition = true;
  setAnchorPoint(Vec2(0.5f, 0.5f));
}

Scene::~Scene() {
  if (_defaultCamera) {
    _defaultCamera->_parent = nullptr;
    _defaultCamera->release();
  }
  CC_SAFE_RELEASE(_messageNode);
}

bool Scene::init() { return initWithSize(Director::getInstance()->getWinSize()); }

bool Scene::initWithSize(const Size& size) {
  setContentSize(size);
  if (!_defaultCamera) {
    _defaultCamera = new (std::nothrow) Camera();
    if (!_defaultCamera) return false;
    _defaultCamera->_parent = this;  // not a child: getScene() works, lists stay clean
  }
  _defaultCamera->initOrthographic(size.width, size.height, -1024, 1024);
  _defaultCamera->setCameraFlag(1);
  return true;
}

std::vector<Camera*> Scene::getCameras() const {
  std::vector<Camera*> out;
  out.reserve(_cameras.size() + 1);
  if (_defaultCamera) out.push_back(_defaultCamera);
  out.insert(out.end(), _cameras.begin(), _cameras.end());
  return out;
}

void Scene::addCamera(Camera* camera) {
  if (camera && camera != _defaultCamera && std::find(_cameras.begin(), _cameras.end(), camera) == _cameras.end())
    _cameras.push_back(camera);
}

void Scene::removeCamera(Camera* camera) {
  _cameras.erase(std::remove(_cameras.begin(), _cameras.end(), camera), _cameras.end());
}

void Scene::render(Renderer* renderer) {
  // Registered cameras first, default camera last. Cameras are retained for
  // the frame: a node's draw may remove one.
  Vector<Camera*> passes;
  for (Camera* c : _cameras) passes.pushBack(c);
  if (_defaultCamera) passes.pushBack(_defaultCamera);
  Camera* const previous = Camera::_visitingCamera;
  for (Camera* camera : passes) {
    Camera::_visitingCamera = camera;
    if (renderer) renderer->beginPass(camera);
    visit(renderer, camera->getViewMatrix(), 0);
    if (renderer) renderer->endPass();
  }
  Camera::_visitingCamera = previous;
}

void Scene::setMessageNode(Node* node, float seconds) {
  if (_messageNode && _messageNode != node) _messageNode->setVisible(false);
  CC_SAFE_RETAIN(node);
  CC_SAFE_RELEASE(_messageNode);
  _messageNode = node;
  unschedule(kMessageNodeKey);
  if (!node) return;
  node->setVisible(true);
  scheduleOnce(
      [this](float) {
        if (_messageNode) {
          _messageNode->setVisible(false);
          CC_SAFE_RELEASE_NULL(_messageNode);
        }
      },
      seconds, kMessageNodeKey);
}

bool Scene::onResponseReturn() {
  Director* d = Director::getInstance();
  if (d->getSceneStackSize() > 1) {
    d->popScene();
    return true;
  }
  return false;
}

void Scene::onEnter() {
  Node::onEnter();
  if (_defaultCamera && !_defaultCamera->isRunning()) _defaultCamera->onEnter();
}

void Scene::onExit() {
  if (_defaultCamera && _defaultCamera->isRunning()) _defaultCamera->onExit();
  Node::onExit();
}

void Scene::cleanup() {
  Node::cleanup();
  if (_defaultCamera) _defaultCamera->cleanup();
  if (_messageNode) CC_SAFE_RELEASE_NULL(_messageNode);
}

void Scene::collectVisitOrder(std::vector<Node*>& out) { Node::collectVisitOrder(out); }

NS_CC_END
