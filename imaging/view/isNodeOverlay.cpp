#include "imaging/view/isNodeOverlay.h"

#include <cmath>
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
  // The toolkit's text: binds its own layout-parameter mixin.
  if (!NSUI::NSText::init()) return false;
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

isNodeOverlaySprite* isNodeOverlaySprite::create() {
  auto* button = new (std::nothrow) isNodeOverlaySprite();
  if (!button) return nullptr;
  if (!button->init()) {
    delete button;
    return nullptr;
  }
  button->autorelease();
  return button;
}

isNodeOverlaySprite::~isNodeOverlaySprite() {
  if (auto* nc = centre()) nc->removeAllObservers(this);
}

bool isNodeOverlaySprite::init() {
  if (!cocos2d::ui::Button::init()) return false;
  buttonSize = 10;
  imageHeight = 10;
  kind = 2;
  notificationId = NOTIFY_OVERLAY_STATIC;
  setAnchorPoint(cocos2d::Vec2::ANCHOR_BOTTOM_RIGHT);
  return true;
}

void isNodeOverlaySprite::cleanup() {
  cocos2d::ui::Button::cleanup();
  if (auto* nc = centre()) nc->removeAllObservers(this);
}

void isNodeOverlaySprite::bindNotification(const std::string& normal, const std::string& pressed, int id,
                                           const std::string& disabled) {
  auto* nc = centre();
  if (nc) nc->removeAllObservers(this);
  auto cb = [this](cocos2d::Ref* s, unsigned int i, NSUI::NSNotificationData* d) { onNotification(s, i, d); };
  int visibilityId = 0;
  switch (id) {
    case NOTIFY_CINE_STATE: visibilityId = NOTIFY_CINE_VISIBLE_9050; break;
    case NOTIFY_CINE_PRIOR: visibilityId = NOTIFY_CINE_VISIBLE_9051; break;
    case NOTIFY_CINE_NEXT: visibilityId = NOTIFY_CINE_VISIBLE_9052; break;
    default: break;
  }
  if (visibilityId) {
    notificationId = id;
    if (nc) {
      if (id == NOTIFY_CINE_STATE) nc->addObserver(this, renderWindow, cb, NOTIFY_CINE_STATE);
      nc->addObserver(this, renderWindow, cb, visibilityId);
    }
  }
  loadTextures(normal, pressed, disabled);
  imageHeight = static_cast<int>(getNormalTextureSize().height);
  if (renderWindow) setGlobalZOrder(static_cast<float>(renderWindow->getLocalZOrder() + 1));
  if (auto* layout = dynamic_cast<cocos2d::ui::Layout*>(getParent())) layout->requestDoLayout();
}

void isNodeOverlaySprite::setButtonSize(float height) {
  buttonSize = static_cast<int>(height);
  // A picture that failed to load has no height: keep the scale finite.
  const float scale = imageHeight > 0 ? height / static_cast<float>(imageHeight) * 0.8f : 1.0f;
  setScale(scale);
  if (scale > 0.0f) setTouchScaled(1.0f / scale);
  reportedSize = cocos2d::Size(1.5f * static_cast<float>(buttonSize), static_cast<float>(buttonSize));
  auto* parameter = cocos2d::ui::LayoutParameter::create();
  parameter->setMargin(cocos2d::ui::Margin(reportedSize.width * (1.0f - std::fabs(scale)), 0, 0, 0));
  setLayoutParameter(parameter);
}

bool isNodeOverlaySprite::hitTest(const cocos2d::Vec2& point) const {
  if (!_parent || reportedSize.width <= 0.0f) return cocos2d::ui::Button::hitTest(point);
  const cocos2d::Vec2 p = _parent->convertToNodeSpace(point);
  const float w = reportedSize.width * std::fabs(getScaleX());
  const float h = reportedSize.height * std::fabs(getScaleY());
  const cocos2d::Vec2& a = getAnchorPoint();
  const float right = getPosition().x + (1.0f - a.x) * w;
  const float centreY = getPosition().y + (0.5f - a.y) * h;
  return p.x >= right - reportedSize.width && p.x <= right && std::fabs(p.y - centreY) <= reportedSize.height * 0.5f;
}

bool isNodeOverlaySprite::onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) {
  const bool accepted = cocos2d::ui::Button::onTouchBegan(touch, event);
  if (!isTouchEnabled() || !accepted) return accepted;
  int post = 0;
  switch (notificationId) {
    case NOTIFY_CINE_STATE: post = NOTIFY_CINE_TOGGLE; break;
    case NOTIFY_CINE_PRIOR: post = NOTIFY_CINE_PRIOR; break;
    case NOTIFY_CINE_NEXT: post = NOTIFY_CINE_NEXT; break;
    default: break;
  }
  if (post)
    if (auto* nc = centre()) nc->postNotification(this, post, nullptr, renderWindow, true);
  return accepted;
}

void isNodeOverlaySprite::onNotification(cocos2d::Ref* /*sender*/, unsigned int id, NSUI::NSNotificationData* data) {
  const int value = data ? data->intValue : 0;
  switch (id) {
    case NOTIFY_CINE_STATE: {
      const char* picture = value > 0 ? "imageSDK/pause.png" : "imageSDK/play.png";
      loadTextures(picture, picture, "");
      break;
    }
    case NOTIFY_CINE_VISIBLE_9050:
    case NOTIFY_CINE_VISIBLE_9051:
    case NOTIFY_CINE_VISIBLE_9052:
      setVisible(value > 0);
      break;
    default:
      break;
  }
}

}  // namespace isImageSDK
