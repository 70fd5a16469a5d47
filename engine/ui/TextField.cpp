#include "engine/ui/TextField.h"

NS_CC_BEGIN
namespace ui {

const Color4B TextField::kPlaceHolderColor(166, 166, 166, 255);

TextField::TextField() { _ignoreSize = true; }

TextField* TextField::create(const std::string& placeholder, const std::string& fontName, float fontSize) {
  TextField* t = TextField::create();
  if (!t) return nullptr;
  t->_placeHolderRenderer->setSystemFontName(fontName);
  t->setFontSize(fontSize);
  t->setPlaceHolder(placeholder);
  return t;
}

void TextField::initRenderer() {
  _placeHolderRenderer = Label::create();
  _placeHolderRenderer->setTextColor(kPlaceHolderColor);
  addProtectedChild(_placeHolderRenderer, -1);
}

Node* TextField::getVirtualRenderer() { return _placeHolderRenderer; }

void TextField::setPlaceHolder(const std::string& text) {
  _placeHolderRenderer->setString(text);
  updateRenderer();
}
const std::string& TextField::getPlaceHolder() const { return _placeHolderRenderer->getString(); }
void TextField::setPlaceHolderColor(const Color4B& color) { _placeHolderRenderer->setTextColor(color); }

void TextField::setFontSize(float size) {
  _placeHolderRenderer->setSystemFontSize(size);
  updateRenderer();
}
float TextField::getFontSize() const { return _placeHolderRenderer->getSystemFontSize(); }

void TextField::setFontName(const std::string& name) {
  _placeHolderRenderer->setSystemFontName(name);
  updateRenderer();
}
const std::string& TextField::getFontName() const { return _placeHolderRenderer->getSystemFontName(); }

Size TextField::getVirtualRendererSize() const { return _placeHolderRenderer->getContentSize(); }

void TextField::onSizeChanged() {
  Widget::onSizeChanged();
  updateRenderer();
}

void TextField::updateRenderer() {
  if (!_placeHolderRenderer) return;
  if (_ignoreSize && !getVirtualRendererSize().equals(_contentSize)) Widget::setContentSize(getVirtualRendererSize());
  // Left-aligned and vertically centred in the field.
  _placeHolderRenderer->setAnchorPoint(Vec2(0, 0.5f));
  _placeHolderRenderer->setPosition(0, _contentSize.height * 0.5f);
}

}  // namespace ui
NS_CC_END
