#include "imaging/view/isNodeText.h"

#include <new>

#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {


isNodeText::~isNodeText() { cocos2d::ProtectedNode::cleanup(); }

bool isNodeText::init() {
  background = nullptr;
  if (!cocos2d::ui::Text::init()) return false;
  setFontName("");
  setTouchEnabled(false);
  movedByUser = false;
  _pressedScaleOffset = 1.5f;
  background = cocos2d::ui::Layout::create();
  if (background) {
    background->setBackGroundColor(cocos2d::Color3B::BLACK);
    background->setBackGroundColorType(cocos2d::ui::Layout::BackGroundColorType::SOLID);
    background->setBackGroundColorOpacity(50);
    // The panel's corner sits at the text's corner whatever the anchors.
    background->setAnchorPoint(cocos2d::Vec2::ANCHOR_BOTTOM_LEFT);
    background->setPosition(cocos2d::Vec2::ZERO);
    addChild(background);
    background->setLocalZOrder(-100);
    background->setContentSize(getContentSize());
  }
  return true;
}

void isNodeText::cleanup() { cocos2d::ProtectedNode::cleanup(); }

void isNodeText::onSizeChanged() {
  if (background) background->setContentSize(getContentSize());
}

bool isNodeText::onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) {
  return cocos2d::ui::Widget::onTouchBegan(touch, event);
}

void isNodeText::onTouchMoved(cocos2d::Touch* touch, cocos2d::Event* event) {
  cocos2d::ui::Widget::onTouchMoved(touch, event);
  cocos2d::Node* parent = getParent();
  if (!_hitted || !parent) return;
  const cocos2d::Vec2 previous = parent->convertToNodeSpace(touch->getPreviousLocation());
  const cocos2d::Vec2 current = parent->convertToNodeSpace(touch->getLocation());
  setPosition(getPosition() + current - previous);
  movedByUser = true;
  if (auto* nc = NSUI::NSNotificationCenter::getInstance())
    nc->postNotification(this, NOTIFY_ROI_CHANGED, nullptr, parent, false);
}

void isNodeText::onTouchEnded(cocos2d::Touch* touch, cocos2d::Event* event) {
  cocos2d::ui::Widget::onTouchEnded(touch, event);
  _hitted = false;
}

void isNodeText::onTouchCancelled(cocos2d::Touch* touch, cocos2d::Event* event) {
  cocos2d::ui::Widget::onTouchCancelled(touch, event);
  _hitted = false;
}

}  // namespace isImageSDK
