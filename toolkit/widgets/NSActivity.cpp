#include "toolkit/widgets/NSActivity.h"

#include <cstdio>

#include "toolkit/foundation/NSNotifyIds.h"

USING_NS_CC;

namespace NSUI {

NSActivity* NSActivity::s_instance = nullptr;

NSActivity::~NSActivity() {
  if (s_instance == this) s_instance = nullptr;
  if (_mouseBlock) {
    if (auto* director = Director::getInstanceIfExists()) {
      director->getEventDispatcher()->removeEventListener(_mouseBlock);
    }
    CC_SAFE_RELEASE_NULL(_mouseBlock);
  }
}

NSActivity* NSActivity::show(Node* parent) {
  if (s_instance && s_instance->getParent()) return s_instance;
  if (s_instance) {
    // Left behind outside any node tree: start afresh.
    NSActivity* stale = s_instance;
    stale->forget();
    stale->release();
  }
  if (!parent) return nullptr;
  auto* overlay = new NSActivity();
  s_instance = overlay;
  overlay->autorelease();
  if (!overlay->init()) {
    s_instance = nullptr;
    return nullptr;
  }
  overlay->retain();
  parent->addChild(overlay);
  return overlay;
}

void NSActivity::close() {
  NSActivity* overlay = s_instance;
  if (!overlay) return;
  overlay->forget();
  if (Node* spinner = overlay->getChildByTag(kSpinnerTag)) spinner->stopAllActions();
  overlay->stopAllActions();
  overlay->removeAllChildrenWithCleanup(true);
  overlay->removeFromParent();
  overlay->release();
}

void NSActivity::hide() {
  if (s_instance) close();
}

void NSActivity::forget() {
  if (auto* centre = NSNotificationCenter::getInstance()) centre->removeAllObservers(this);
  if (s_instance == this) s_instance = nullptr;
}

void NSActivity::cleanup() {
  // Removed with its parent without hide(): forget the single instance so
  // that the next show() builds a fresh overlay.
  const bool shown = s_instance == this;
  if (shown) forget();
  if (_mouseBlock) {
    getEventDispatcher()->removeEventListener(_mouseBlock);
    CC_SAFE_RELEASE_NULL(_mouseBlock);
  }
  Layout::cleanup();
  if (shown) release();
}

bool NSActivity::init() {
  if (!Layout::init()) return false;
  _message.clear();
  _textColor = Color4B::BLUE;
  setContentSize(Director::getInstance()->getVisibleSize());
  setAnchorPoint(Vec2::ZERO);
  setPosition(Vec2::ZERO);
  enableBKColor(true, Color3B::WHITE, 0.7f);
  setName("activity");
  setLocalZOrder(kZOrder);
  setTouchEnabled(true);
  registerMouseBlock();

  if (auto* centre = NSNotificationCenter::getInstance()) {
    auto handler = [this](Ref* sender, unsigned int id, NSNotificationData* data) {
      onNotification(sender, static_cast<int>(id), data);
    };
    centre->addObserver(this, nullptr, handler, NOTIFY_ACTIVITY_PROGRESS);
    centre->addObserver(this, nullptr, handler, NOTIFY_ACTIVITY_MESSAGE);
  }
  showSpinner();
  return true;
}

void NSActivity::registerMouseBlock() {
  // The overlay keeps the screen below from being used: mouse presses,
  // releases, moves and the wheel over it go no further.
  _mouseBlock = EventListenerMouse::create();
  _mouseBlock->retain();
  auto swallow = [this](EventMouse* event) {
    if (!isVisible() || !isAncestorsVisible()) return;
    const Vec2 p = convertToNodeSpace(event->getLocationInView());
    const Size& size = getContentSize();
    if (p.x >= 0 && p.x <= size.width && p.y >= 0 && p.y <= size.height) event->stopPropagation();
  };
  _mouseBlock->onMouseDown = swallow;
  _mouseBlock->onMouseUp = swallow;
  _mouseBlock->onMouseMove = swallow;
  _mouseBlock->onMouseScroll = swallow;
  getEventDispatcher()->addEventListenerWithSceneGraphPriority(_mouseBlock, this);
}

void NSActivity::showSpinner() {
  auto* spinner = Sprite::create("UIRes/rotation.png");
  if (!spinner) spinner = Sprite::create();
  const Size& size = getContentSize();
  spinner->setAnchorPoint(Vec2(0.5f, 0.5f));
  spinner->setPosition(size.width / 2, size.height / 2);
  addChild(spinner);
  spinner->setTag(kSpinnerTag);
  spinner->runAction(RepeatForever::create(RotateBy::create(2.0f, 360.0f)));
}

Label* NSActivity::makeLabel(const std::string& text, float size) {
  auto* label = Label::createWithSystemFont(text, "", size, Size::ZERO, TextHAlignment::LEFT,
                                            TextVAlignment::TOP);
  label->setTextColor(_textColor);
  return label;
}

void NSActivity::onNotification(Ref* sender, int id, NSNotificationData* data) {
  if (!data) return;
  if (id == NOTIFY_ACTIVITY_MESSAGE) {
    setMessage(data->text);
  } else if (id == NOTIFY_ACTIVITY_PROGRESS) {
    char text[16];
    std::snprintf(text, sizeof text, "%i", data->intValue);
    if (auto* label = dynamic_cast<Label*>(getChildByTag(kPercentTag))) {
      label->setString(text);
    } else {
      const Size& size = getContentSize();
      auto* percent = makeLabel(text, 30);
      percent->setPosition(size.width / 2, size.height / 2);
      addChild(percent, 0, kPercentTag);
    }
  }
}

void NSActivity::setMessage(const std::string& text) {
  _message = text;
  if (auto* label = dynamic_cast<Label*>(getChildByTag(kMessageTag))) {
    label->setString(text);
    return;
  }
  const Size& size = getContentSize();
  auto* label = makeLabel(text, 40);
  label->setPosition(size.width / 2, size.height / 2 + 100);
  addChild(label, 0, kMessageTag);
}

void NSActivity::setTextColor(const Color4B& color) {
  _textColor = color;
  for (int tag : {kPercentTag, kMessageTag}) {
    if (auto* label = dynamic_cast<Label*>(getChildByTag(tag))) label->setTextColor(color);
  }
}

ui::Button* NSActivity::addButton(const std::string& title, const Color3B& titleColor) {
  auto* button = ui::Button::create();
  button->setTitleText(title);
  button->setTitleColor(titleColor);
  button->setTitleFontSize(25);
  const Size& size = getContentSize();
  button->setPosition(Vec2(size.width / 2, size.height / 2 - 150));
  button->setLocalZOrder(getLocalZOrder() + 1);
  addChild(button);
  button->addClickEventListener([this](Ref*) {
    if (auto* centre = NSNotificationCenter::getInstance()) {
      centre->postNotification(this, NOTIFY_ACTIVITY_BUTTON, nullptr, nullptr, true);
    }
  });
  return button;
}

}  // namespace NSUI
