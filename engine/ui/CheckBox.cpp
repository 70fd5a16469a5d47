#include "engine/ui/CheckBox.h"

#include "engine/ui/Scale9Sprite.h"

NS_CC_BEGIN
namespace ui {

CheckBox::CheckBox() { _ignoreSize = true; }

CheckBox* CheckBox::create(const std::string& background, const std::string& mark, TextureResType texType) {
  CheckBox* c = CheckBox::create();
  if (c) c->loadTextures(background, mark, texType);
  return c;
}

bool CheckBox::init() {
  if (!Widget::init()) return false;
  setSelected(false);
  setTouchEnabled(true);
  return true;
}

void CheckBox::initRenderer() {
  _backGroundRenderer = Scale9Sprite::create();
  _backGroundRenderer->setScale9Enabled(false);
  _frontCrossRenderer = Scale9Sprite::create();
  _frontCrossRenderer->setScale9Enabled(false);
  addProtectedChild(_backGroundRenderer, -2);
  addProtectedChild(_frontCrossRenderer, -1);
}

Node* CheckBox::getVirtualRenderer() { return _backGroundRenderer; }

void CheckBox::loadTextures(const std::string& background, const std::string& mark, TextureResType texType) {
  loadTextureBackGround(background, texType);
  loadTextureFrontCross(mark, texType);
}

void CheckBox::loadTextureBackGround(const std::string& file, TextureResType) {
  if (file.empty() || !_backGroundRenderer->initWithFile(file)) return;
  _backGroundTextureSize = _backGroundRenderer->getOriginalSize();
  if (_ignoreSize) setContentSize(_backGroundTextureSize);
  updateRenderers();
}

void CheckBox::loadTextureFrontCross(const std::string& file, TextureResType) {
  if (file.empty() || !_frontCrossRenderer->initWithFile(file)) return;
  updateRenderers();
}

void CheckBox::setSelected(bool selected) {
  _isSelected = selected;
  _frontCrossRenderer->setVisible(selected);
}

void CheckBox::releaseUpEvent() {
  Widget::releaseUpEvent();
  setSelected(!_isSelected);
  if (_checkBoxEventCallback) {
    retain();
    _checkBoxEventCallback(this, _isSelected ? EventType::SELECTED : EventType::UNSELECTED);
    release();
  }
}

void CheckBox::onSizeChanged() {
  Widget::onSizeChanged();
  updateRenderers();
}

void CheckBox::updateRenderers() {
  const Vec2 centre(_contentSize.width * 0.5f, _contentSize.height * 0.5f);
  _backGroundRenderer->setContentSize(_contentSize);
  _backGroundRenderer->setPosition(centre);
  // The mark keeps its own proportion relative to the background picture.
  const Size bg = _backGroundTextureSize, mark = _frontCrossRenderer->getOriginalSize();
  if (bg.width > 0 && bg.height > 0)
    _frontCrossRenderer->setContentSize(Size(mark.width * _contentSize.width / bg.width,
                                             mark.height * _contentSize.height / bg.height));
  else
    _frontCrossRenderer->setContentSize(mark);
  _frontCrossRenderer->setPosition(centre);
}

}  // namespace ui
NS_CC_END
