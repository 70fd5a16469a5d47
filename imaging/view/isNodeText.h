// The label of a measurement: white text on a half-transparent black panel,
// placed in its render window's node coordinates. When its owner enables
// touches the user can drag it inside the window; the first drag marks it
// as moved for good, and every movement tells the owner through
// NOTIFY_ROI_CHANGED (sender the text, object the window, serial queue).
#pragma once

#include "engine/cocos2d.h"
#include "engine/ui/Layout.h"
#include "engine/ui/Text.h"
#include "imaging/core/isNodeObject.h"

namespace isImageSDK {

class isNodeText : public cocos2d::ui::Text, public isNodeObject {
 public:
  CREATE_FUNC(isNodeText)
  ~isNodeText() override;

  bool init() override;
  void cleanup() override;
  bool onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) override;
  void onTouchMoved(cocos2d::Touch* touch, cocos2d::Event* event) override;
  void onTouchEnded(cocos2d::Touch* touch, cocos2d::Event* event) override;
  void onTouchCancelled(cocos2d::Touch* touch, cocos2d::Event* event) override;

  bool isMovedByUser() const { return movedByUser; }
  cocos2d::ui::Layout* getBackground() const { return background; }
  float getPressedScaleOffset() const { return _pressedScaleOffset; }

  // Set by the first drag; never reset.
  bool movedByUser = false;

 protected:
  isNodeText() = default;
  void onSizeChanged() override;

  cocos2d::ui::Layout* background = nullptr;  // a child
};

}  // namespace isImageSDK
