#include "engine/ui/Text.h"

NS_CC_BEGIN
namespace ui {

Text::Text() { _ignoreSize = true; }

Text* Text::create(const std::string& text, const std::string& fontName, float fontSize) {
  Text* t = Text::create();
  if (!t) return nullptr;
  t->_labelRenderer->setSystemFontName(fontName);
  t->_labelRenderer->setSystemFontSize(fontSize);
  t->setString(text);
  return t;
}

void Text::initRenderer() {
  _labelRenderer = Label::create();
  addProtectedChild(_labelRenderer, -1);
}

Node* Text::getVirtualRenderer() { return _labelRenderer; }

void Text::setString(const std::string& text) {
  _labelRenderer->setString(text);
  updateRenderer();
}

const std::string& Text::getString() const { return _labelRenderer->getString(); }
int Text::getStringLength() const { return _labelRenderer->getStringLength(); }

void Text::setFontName(const std::string& name) {
  _labelRenderer->setSystemFontName(name);
  updateRenderer();
}
const std::string& Text::getFontName() const { return _labelRenderer->getSystemFontName(); }

void Text::setFontSize(float size) {
  _labelRenderer->setSystemFontSize(size);
  updateRenderer();
}
float Text::getFontSize() const { return _labelRenderer->getSystemFontSize(); }

void Text::setTextColor(const Color4B& color) { _labelRenderer->setTextColor(color); }
const Color4B& Text::getTextColor() const { return _labelRenderer->getTextColor(); }

void Text::enableShadow(const Color4B& shadowColor, const Size& offset, int blurRadius) {
  _labelRenderer->enableShadow(shadowColor, offset, blurRadius);
}

void Text::setTextHorizontalAlignment(TextHAlignment alignment) {
  _labelRenderer->setHorizontalAlignment(alignment);
}
TextHAlignment Text::getTextHorizontalAlignment() const { return _labelRenderer->getHorizontalAlignment(); }
void Text::setTextVerticalAlignment(TextVAlignment alignment) { _labelRenderer->setVerticalAlignment(alignment); }
TextVAlignment Text::getTextVerticalAlignment() const { return _labelRenderer->getVerticalAlignment(); }

void Text::setTextAreaSize(const Size& size) {
  if (size.width > 0 || size.height > 0) {
    _ignoreSize = false;
    setContentSize(size);
  } else {
    ignoreContentAdaptWithSize(true);
  }
  updateRenderer();
}

const Size& Text::getTextAreaSize() const { return _labelRenderer->getDimensions(); }

void Text::ignoreContentAdaptWithSize(bool ignore) {
  _ignoreSize = ignore;
  updateRenderer();
}

Size Text::getVirtualRendererSize() const { return _labelRenderer->getContentSize(); }

void Text::onSizeChanged() {
  Widget::onSizeChanged();
  updateRenderer();
}

void Text::updateRenderer() {
  if (!_labelRenderer) return;
  if (_ignoreSize) {
    if (_labelRenderer->getDimensions().width != 0 || _labelRenderer->getDimensions().height != 0)
      _labelRenderer->setDimensions(0, 0);
    const Size s = _labelRenderer->getContentSize();
    if (!s.equals(_contentSize)) Widget::setContentSize(s);
  } else if (!_labelRenderer->getDimensions().equals(_contentSize)) {
    _labelRenderer->setDimensions(_contentSize.width, _contentSize.height);
  }
  _labelRenderer->setPosition(_contentSize.width * 0.5f, _contentSize.height * 0.5f);
}

void Text::onPressStateChangedToPressed() {
  if (!_touchScaleChangeEnabled) return;
  if (!_scaledForPress) {
    _normalScaleValueX = getScaleX();
    _normalScaleValueY = getScaleY();
  }
  _scaledForPress = true;
  setScale(_normalScaleValueX + _pressedScaleOffset, _normalScaleValueY + _pressedScaleOffset);
}

void Text::onPressStateChangedToNormal() {
  if (!_scaledForPress) return;
  _scaledForPress = false;
  setScale(_normalScaleValueX, _normalScaleValueY);
}

}  // namespace ui
NS_CC_END
