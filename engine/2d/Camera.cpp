#include "engine/2d/Camera.h"

#include <new>

#include "engine/2d/Scene.h"
#include "engine/base/Director.h"
#include "engine/renderer/Renderer.h"

NS_CC_BEGIN

Camera* Camera::_visitingCamera = nullptr;

Camera* Camera::create() {
  Camera* c = new (std::nothrow) Camera();
  if (!c) return nullptr;
  Size win = Director::getInstance()->getWinSize();
  c->initOrthographic(win.width, win.height, -1024, 1024);
  c->autorelease();
  return c;
}

Camera* Camera::createPerspective(float fieldOfView, float aspectRatio, float nearPlane, float farPlane) {
  Camera* c = new (std::nothrow) Camera();
  if (!c) return nullptr;
  c->initPerspective(fieldOfView, aspectRatio, nearPlane, farPlane);
  c->autorelease();
  return c;
}

Camera* Camera::createOrthographic(float width, float height, float nearPlane, float farPlane) {
  Camera* c = new (std::nothrow) Camera();
  if (!c) return nullptr;
  c->initOrthographic(width, height, nearPlane, farPlane);
  c->autorelease();
  return c;
}

Camera::Camera() = default;

// A camera that is visiting belongs to the running scene, which retains it;
// the destructor therefore leaves _visitingCamera alone (cameras may die on
// worker threads).
Camera::~Camera() = default;

bool Camera::initPerspective(float fieldOfView, float aspectRatio, float nearPlane, float farPlane) {
  _type = Type::PERSPECTIVE;
  _fieldOfView = fieldOfView;
  _aspectRatio = aspectRatio;
  _nearPlane = nearPlane;
  _farPlane = farPlane;
  Mat4::createPerspective(fieldOfView, aspectRatio, nearPlane, farPlane, &_projection);
  _viewProjectionDirty = true;
  return true;
}

bool Camera::initOrthographic(float width, float height, float nearPlane, float farPlane) {
  _type = Type::ORTHOGRAPHIC;
  _aspectRatio = height != 0 ? width / height : 1;
  _nearPlane = nearPlane;
  _farPlane = farPlane;
  Mat4::createOrthographicOffCenter(0, width, 0, height, nearPlane, farPlane, &_projection);
  _viewProjectionDirty = true;
  return true;
}

void Camera::setAdditionalProjection(const Mat4& mat) {
  _additionalProjection = mat;
  _viewProjectionDirty = true;
}

const Mat4& Camera::getViewMatrix() const {
  Mat4 viewInv = getNodeToWorldTransform();
  if (viewInv != _viewInv || _viewProjectionDirty) {
    _viewProjectionDirty = true;
    _viewInv = viewInv;
    _view = viewInv.getInversed();
  }
  return _view;
}

const Mat4& Camera::getViewProjectionMatrix() const {
  const Mat4& view = getViewMatrix();
  _viewProjectionUpdated = false;
  if (_viewProjectionDirty) {
    _viewProjection = _additionalProjection * _projection * view;
    _viewProjectionDirty = false;
    _viewProjectionUpdated = true;
  }
  return _viewProjection;
}

void Camera::lookAt(const Vec3& target, const Vec3& up) {
  const Vec3 eye = getPosition3D();
  Mat4 lookAtView;
  Mat4::createLookAt(eye, target, up, &lookAtView);
  // createLookAt gives the view (world to camera); its inverse without the
  // translation is the camera's orientation.
  Mat4 world = lookAtView.getInversed();
  world.m[12] = world.m[13] = world.m[14] = 0;
  _lookAtRotation = world;
  _useLookAtRotation = true;
  _rotationX = _rotationY = _rotationZ = 0;
  markTransformDirty();
  _viewProjectionDirty = true;
}

const Mat4& Camera::getNodeToParentTransform() const {
  if (!_useLookAtRotation) return Node::getNodeToParentTransform();
  if (_transformDirty) {
    Mat4 t;
    Mat4::createTranslation(_position.x, _position.y, _positionZ, &t);
    t.multiply(_lookAtRotation);
    if (_scaleX != 1 || _scaleY != 1 || _scaleZ != 1) t.scale(_scaleX, _scaleY, _scaleZ);
    if (_useAdditionalTransform) t.multiply(_additionalTransform);
    _transform = t;
    _transformDirty = false;
  }
  return _transform;
}

void Camera::setRotation(float degrees) {
  _useLookAtRotation = false;
  Node::setRotation(degrees);
  markTransformDirty();
}

void Camera::setRotation3D(const Vec3& degrees) {
  _useLookAtRotation = false;
  Node::setRotation3D(degrees);
}

void Camera::applyViewport() {
  if (Director* d = Director::getInstanceIfExists())
    if (Renderer* r = d->getRenderer()) r->applyViewport();
}

Camera* Camera::getDefaultCamera() {
  Director* d = Director::getInstanceIfExists();
  Scene* s = d ? d->getRunningScene() : nullptr;
  return s ? s->getDefaultCamera() : nullptr;
}

void Camera::onEnter() {
  Node::onEnter();
  Scene* scene = getScene();
  if (scene && scene->getDefaultCamera() != this) {
    scene->addCamera(this);
    _registeredScene = scene;
  }
}

void Camera::onExit() {
  if (_registeredScene) {
    _registeredScene->removeCamera(this);
    _registeredScene = nullptr;
  }
  if (_visitingCamera == this) _visitingCamera = nullptr;
  Node::onExit();
}

NS_CC_END
