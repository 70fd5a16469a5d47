// A sprite placed in a render window's 3-D scene: its image matrix (rotation
// and translation) carries it into world millimetres, its scale is the pixel
// spacing. Drawn as a depth-tested command by the window cameras only (the
// default camera's flag is removed).
#pragma once

#include <string>

#include "engine/2d/ClippingProtocol.h"
#include "engine/2d/Sprite.h"
#include "imaging/core/isNodeObject.h"

namespace isImageSDK {

class isNodeSprite : public cocos2d::Sprite, public cocos2d::ClippingProtocol, public isNodeObject {
 public:
  static isNodeSprite* create();

  bool init() override;
  void cleanup() override;
  // Rotation × diag(scaleX, scaleY, 1, 1), the 3-D position as translation,
  // then the additional transform; anchor and skew take no part.
  const cocos2d::Mat4& getNodeToParentTransform() const override;
  // Loads the picture and resets the image matrix to the identity.
  void setTexture(const std::string& filename) override;
  void setTexture(cocos2d::Texture2D* texture) override { Sprite::setTexture(texture); }

  virtual void setNotificationSender(cocos2d::Ref* sender) { notificationSender = sender; }

  // Position and rotation from m; global z reset to 0.
  void setImageMatrix(const cocos2d::Mat4& m);
  const cocos2d::Mat4& getImageMatrix() const { return imageMatrix; }

 protected:
  isNodeSprite() = default;
  ~isNodeSprite() override;

  cocos2d::Mat4 imageMatrix;
  cocos2d::Ref* notificationSender = nullptr;  // not retained
};

}  // namespace isImageSDK
