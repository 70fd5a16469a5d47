// Texts drawn over a render window that keep themselves up to date: each is
// bound to one notification id and shows prefix + value + suffix from that
// notification's payload, for its own render window.
#pragma once

#include <string>

#include "engine/cocos2d.h"
#include "imaging/core/isNodeObject.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/widgets/UIControlBase.h"

namespace NSUI {
class NSNotificationData;
}

namespace isImageSDK {

class isRenderWindow;

// What the overlay keeps in its rows: kind 1 a text, kind 2 a button.
class isNodeOverlay : public isNodeObject, public NSUI::UIJson {
 public:
  virtual void cleanupOverlay() = 0;
  virtual bool initOverlay() = 0;

  int notificationId = 9116;
  int kind = 0;
};

class isNodeOverlayText : public NSUI::NSText, public isNodeOverlay {
 public:
  static isNodeOverlayText* create();
  ~isNodeOverlayText() override;

  bool init() override;
  void cleanup() override;
  bool onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) override;
  void cleanupOverlay() override { cleanup(); }
  bool initOverlay() override { return init(); }

  // Replaces any earlier binding. Ids 9071-9074, 9077, 9078 and 9111
  // observe their notification for the render window; others stay static.
  void bindNotification(const std::string& value, const std::string& prefix, const std::string& suffix, int id,
                        bool touchable);
  // Shows prefix + text + suffix; the bound value stays.
  void showValue(const std::string& text);
  void unbind();
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);

  void setRenderWindow(isRenderWindow* window) { renderWindow = window; }
  isRenderWindow* getRenderWindow() const { return renderWindow; }
  const std::string& getValue() const { return value; }
  bool isTouchable() const { return touchable; }

 protected:
  isNodeOverlayText() = default;
  void show(const std::string& formatted);
  void relayoutParent();

  std::string prefix;
  std::string suffix;
  std::string value;
  bool touchable = false;
  isRenderWindow* renderWindow = nullptr;  // not retained
};

// A cine button: play/pause (9047), previous (9048) or next (9049). It shows
// or hides with the image node's data state and posts the cine command for
// its window when tapped.
class isNodeOverlaySprite : public cocos2d::ui::Button, public isNodeOverlay {
 public:
  static isNodeOverlaySprite* create();
  ~isNodeOverlaySprite() override;

  bool init() override;
  void cleanup() override;
  const cocos2d::Size& getContentSize() const override { return reportedSize; }
  bool onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) override;
  // Once sized: the slot its row gives it (the reported size, ending where
  // its laid-out box ends and centred on it), so that neighbouring buttons
  // never take each other's taps.
  bool hitTest(const cocos2d::Vec2& point) const override;
  void cleanupOverlay() override { cleanup(); }
  bool initOverlay() override { return init(); }

  void bindNotification(const std::string& normal, const std::string& pressed, int id,
                        const std::string& disabled = "");
  // Height in pixels: the picture is scaled to 0.8 of it, the row gives it
  // 1.5 heights of width (rows pack by scaled size: a left margin makes up
  // the difference).
  void setButtonSize(float height);
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);

  void setRenderWindow(isRenderWindow* window) { renderWindow = window; }
  int getButtonSize() const { return buttonSize; }
  int getImageHeight() const { return imageHeight; }

 protected:
  isNodeOverlaySprite() = default;

  isRenderWindow* renderWindow = nullptr;  // not retained
  int buttonSize = 10;
  int imageHeight = 10;
  cocos2d::Size reportedSize;
};

}  // namespace isImageSDK
