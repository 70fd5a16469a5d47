#include "imaging/view/isNodeSprite.h"

#include "imaging/core/isGeometry.h"

namespace isImageSDK {

isNodeSprite* isNodeSprite::create() {
  auto* node = new (std::nothrow) isNodeSprite();
  if (node && node->init()) {
    node->autorelease();
    return node;
  }
  delete node;
  return nullptr;
}

isNodeSprite::~isNodeSprite() = default;

bool isNodeSprite::init() {
  if (!Sprite::init()) return false;
  enableDepthTest(true);
  removeCameraMask(1, true);
  return true;
}

void isNodeSprite::cleanup() { Node::cleanup(); }

void isNodeSprite::setTexture(const std::string& filename) {
  Sprite::setTexture(filename);
  setImageMatrix(cocos2d::Mat4::IDENTITY);
}

void isNodeSprite::setImageMatrix(const cocos2d::Mat4& m) {
  imageMatrix = m;
  double a = 0.0, b = 0.0, c = 0.0;
  matrixToEulerAngles(m, a, b, c);
  setPosition3D(cocos2d::Vec3(m.m[12], m.m[13], m.m[14]));
  setRotation3D(cocos2d::Vec3(static_cast<float>(a), static_cast<float>(b), static_cast<float>(c)));
  setGlobalZOrder(0.0f);
}

const cocos2d::Mat4& isNodeSprite::getNodeToParentTransform() const {
  if (_transformDirty) {
    cocos2d::Mat4 rotation;
    createTransformFromEulerAngles(cocos2d::Vec3::ZERO, _rotationX, _rotationY, _rotationZ, rotation);
    cocos2d::Mat4 scale;
    cocos2d::Mat4::createScale(_scaleX, _scaleY, 1.0f, &scale);
    cocos2d::Mat4 t = rotation * scale;
    t.m[12] = _position.x;
    t.m[13] = _position.y;
    t.m[14] = _positionZ;
    if (_useAdditionalTransform) t = t * _additionalTransform;
    _transform = t;
    _transformDirty = false;
  }
  return _transform;
}

}  // namespace isImageSDK
