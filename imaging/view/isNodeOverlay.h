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

}  // namespace isImageSDK
