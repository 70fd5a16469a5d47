#include "imaging/view/isNodeOverlay.h"

#include <cstdio>
#include <cstdlib>

#include "imaging/view/isRenderWindow.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {
NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

bool observes(int id) {
  switch (id) {
    case 9071: case 9072: case 9073: case 9074: case 9077: case 9078: case 9111:
      return true;
    default:
      return false;
  }
}
}  // namespace

isNodeOverlayText* isNodeOverlayText::create() {
  auto* text = new (std::nothrow) isNodeOverlayText();
  if (!text) return nullptr;
  if (!text->init()) {
    delete text;
    return nullptr;
  }
  text->autorelease();
  return text;
}

isNodeOverlayText::~isNodeOverlayText() { unbind(); }

bool isNodeOverlayText::init() {
  if (!cocos2d::ui::Text::init()) return false;
  kind = 1;
  prefix.clear();
  suffix.clear();
  value.clear();
  touchable = false;
  notificationId = NOTIFY_OVERLAY_STATIC;
  setTextVerticalAlignment(cocos2d::TextVAlignment::TOP);
  enableShadow(cocos2d::Color4B::BLACK, cocos2d::Size(2, -2), 0);
  return true;
}

void isNodeOverlayText::cleanup() {
  cocos2d::ui::Text::cleanup();
  unbind();
}

void isNodeOverlayText::unbind() {
  setTouchEnabled(false);
  value.clear();
  suffix.clear();
  prefix.clear();
  if (auto* nc = centre()) nc->removeAllObservers(this);
}

void isNodeOverlayText::relayoutParent() {
  if (auto* layout = dynamic_cast<cocos2d::ui::Layout*>(getParent())) layout->requestDoLayout();
}

void isNodeOverlayText::show(const std::string& formatted) {
  setText(prefix + formatted + suffix);
  relayoutParent();
}

void isNodeOverlayText::bindNotification(const std::string& newValue, const std::string& newPrefix,
                                         const std::string& newSuffix, int id, bool isTouchable) {
  unbind();
  value = newValue;
  prefix = newPrefix;
  suffix = newSuffix;
  notificationId = id;
  touchable = isTouchable;
  if (observes(id))
    if (auto* nc = centre())
      nc->addObserver(this, renderWindow,
                      [this](cocos2d::Ref* s, unsigned int i, NSUI::NSNotificationData* d) { onNotification(s, i, d); },
                      id);
  if (touchable) {
    setTouchEnabled(true);
    setTouchScaled(1.0f);
    if (renderWindow) setGlobalZOrder(static_cast<float>(renderWindow->getLocalZOrder() + 1));
  }
  show(value);
}

void isNodeOverlayText::showValue(const std::string& text) { show(text); }

bool isNodeOverlayText::onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) {
  const bool accepted = cocos2d::ui::Text::onTouchBegan(touch, event);
  if (isTouchEnabled() && accepted && notificationId == NOTIFY_OVERLAY_WINDOW)
    if (auto* nc = centre()) nc->postNotification(this, NOTIFY_WINDOW_INPUT, nullptr, renderWindow, false);
  return accepted;
}

void isNodeOverlayText::onNotification(cocos2d::Ref* /*sender*/, unsigned int id, NSUI::NSNotificationData* data) {
  const std::string text = data ? data->text : std::string();
  char buffer[128];
  switch (id) {
    case 9071:
      std::snprintf(buffer, sizeof buffer, "x:%.1f,y:%.1f,z:%.1f ", std::atof(getJsonString(text, "x").c_str()),
                    std::atof(getJsonString(text, "y").c_str()), std::atof(getJsonString(text, "z").c_str()));
      show(buffer);
      break;
    case 9072:
      show(getJsonString(text, "ww") + " " + getJsonString(text, "wl") + " ");
      break;
    case 9073: {
      const int index = getJsonInt(text, "index", 0);
      const int count = getJsonInt(text, "count", 0);
      if (index < 0 && count < 1) {
        setVisible(false);
      } else {
        if (!isVisible()) setVisible(true);
        show(getJsonString(text, "index") + "/" + getJsonString(text, "count") + " ");
      }
      break;
    }
    case 9074:
    case 9077:
      show(text);
      break;
    case 9078:
      std::snprintf(buffer, sizeof buffer, "%.2f", data ? data->floatValue : 0.0f);
      show(buffer);
      break;
    case 9111: {
      const float fraction = data ? data->floatValue : 0.0f;
      if (fraction > 0.999f) {
        setVisible(false);
        setText("");
      } else {
        std::snprintf(buffer, sizeof buffer, "(%.0f%%) ", fraction * 100.0f);
        show(buffer);
      }
      break;
    }
    default:
      break;
  }
  relayoutParent();
}

}  // namespace isImageSDK
