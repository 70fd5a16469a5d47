#include "engine/ui/Button.h"

#include "engine/base/ccLog.h"
#include "engine/ui/Scale9Sprite.h"

NS_CC_BEGIN
namespace ui {

namespace {
const float kTitlePadding = 10.0f;
}

Button::Button() { _ignoreSize = true; }

Button* Button::create(const std::string& normalImage, const std::string& selectedImage,
                       const std::string& disableImage, TextureResType texType) {
  Button* b = Button::create();
  if (b) b->loadTextures(normalImage, selectedImage, disableImage, texType);
  return b;
}

bool Button::init() {
  if (!Widget::init()) return false;
  setTouchEnabled(true);
  return true;
}

void Button::initRenderer() {
  _buttonNormalRenderer = Scale9Sprite::create();
  _buttonClickedRenderer = Scale9Sprite::create();
  _buttonDisabledRenderer = Scale9Sprite::create();
  for (Scale9Sprite* r : {_buttonNormalRenderer, _buttonClickedRenderer, _buttonDisabledRenderer})
    r->setScale9Enabled(false);
  _buttonClickedRenderer->setVisible(false);
  _buttonDisabledRenderer->setVisible(false);
  addProtectedChild(_buttonNormalRenderer, -2);
  addProtectedChild(_buttonClickedRenderer, -2);
  addProtectedChild(_buttonDisabledRenderer, -2);
  _titleRenderer = Label::create();
  _titleRenderer->setAlignment(TextHAlignment::CENTER, TextVAlignment::CENTER);
  addProtectedChild(_titleRenderer, -1);
}

Node* Button::getVirtualRenderer() {
  if (!_bright || !_enabled) return _disabledTextureLoaded ? _buttonDisabledRenderer : _buttonNormalRenderer;
  return _highlight && _pressedTextureLoaded ? _buttonClickedRenderer : _buttonNormalRenderer;
}

bool Button::loadInto(Scale9Sprite* renderer, const std::string& file) {
  if (file.empty()) return false;
  if (!renderer->initWithFile(_capInsets, file)) {
    log("Button: cannot load \"%s\"", file.c_str());
    return false;
  }
  renderer->setScale9Enabled(_scale9Enabled);
  return true;
}

void Button::loadTextures(const std::string& normal, const std::string& selected, const std::string& disabled,
                          TextureResType texType) {
  loadTextureNormal(normal, texType);
  loadTexturePressed(selected, texType);
  loadTextureDisabled(disabled, texType);
}

void Button::loadTextureNormal(const std::string& normal, TextureResType) {
  if (!loadInto(_buttonNormalRenderer, normal)) return;
  _normalTextureLoaded = true;
  _normalTextureSize = _buttonNormalRenderer->getOriginalSize();
  updateContentSize();
}

void Button::loadTexturePressed(const std::string& selected, TextureResType) {
  if (!loadInto(_buttonClickedRenderer, selected)) return;
  _pressedTextureLoaded = true;
  updateRenderers();
}

void Button::loadTextureDisabled(const std::string& disabled, TextureResType) {
  if (!loadInto(_buttonDisabledRenderer, disabled)) return;
  _disabledTextureLoaded = true;
  updateRenderers();
}

Size Button::getVirtualRendererSize() const {
  if (_normalTextureLoaded) return _normalTextureSize;
  const Size t = _titleRenderer ? _titleRenderer->getContentSize() : Size::ZERO;
  return Size(t.width + 2 * kTitlePadding, t.height + 2 * kTitlePadding);
}

void Button::updateContentSize() {
  if (_ignoreSize) setContentSize(getVirtualRendererSize());
  updateRenderers();
}

void Button::setScale9Enabled(bool enabled) {
  if (_scale9Enabled == enabled) return;
  _scale9Enabled = enabled;
  for (Scale9Sprite* r : {_buttonNormalRenderer, _buttonClickedRenderer, _buttonDisabledRenderer})
    r->setScale9Enabled(enabled);
  if (enabled) {
    _prevIgnoreSize = _ignoreSize;
    Widget::ignoreContentAdaptWithSize(false);
  } else {
    Widget::ignoreContentAdaptWithSize(_prevIgnoreSize);
  }
  updateRenderers();
}

void Button::setCapInsets(const Rect& capInsets) {
  _capInsets = capInsets;
  for (Scale9Sprite* r : {_buttonNormalRenderer, _buttonClickedRenderer, _buttonDisabledRenderer})
    r->setCapInsets(capInsets);
}

void Button::ignoreContentAdaptWithSize(bool ignore) {
  _prevIgnoreSize = ignore;
  if (_scale9Enabled && ignore) return;
  Widget::ignoreContentAdaptWithSize(ignore);
}

void Button::onSizeChanged() {
  Widget::onSizeChanged();
  updateRenderers();
}

void Button::updateRenderers() {
  const Vec2 centre(_contentSize.width * 0.5f, _contentSize.height * 0.5f);
  for (Scale9Sprite* r : {_buttonNormalRenderer, _buttonClickedRenderer, _buttonDisabledRenderer}) {
    r->setContentSize(_contentSize);
    r->setPosition(centre);
  }
  _titleRenderer->setPosition(centre);
}

// ------------------------------------------------------------ title

void Button::setTitleText(const std::string& text) {
  _titleRenderer->setString(text);
  if (!_normalTextureLoaded) updateContentSize();
}
const std::string& Button::getTitleText() const { return _titleRenderer->getString(); }

void Button::setTitleColor(const Color3B& color) {
  const Color4B c = _titleRenderer->getTextColor();
  _titleRenderer->setTextColor(Color4B(color.r, color.g, color.b, c.a));
}
Color3B Button::getTitleColor() const {
  const Color4B c = _titleRenderer->getTextColor();
  return Color3B(c.r, c.g, c.b);
}

void Button::setTitleFontSize(float size) {
  _titleRenderer->setSystemFontSize(size);
  if (!_normalTextureLoaded) updateContentSize();
}
float Button::getTitleFontSize() const { return _titleRenderer->getSystemFontSize(); }

void Button::setTitleFontName(const std::string& name) {
  _titleRenderer->setSystemFontName(name);
  if (!_normalTextureLoaded) updateContentSize();
}
const std::string& Button::getTitleFontName() const { return _titleRenderer->getSystemFontName(); }

void Button::setTitleAlignment(TextHAlignment hAlignment) { _titleRenderer->setHorizontalAlignment(hAlignment); }
void Button::setTitleAlignment(TextHAlignment hAlignment, TextVAlignment vAlignment) {
  _titleRenderer->setAlignment(hAlignment, vAlignment);
}

// ------------------------------------------------------------ states

void Button::show(Scale9Sprite* which, float zoom) {
  for (Scale9Sprite* r : {_buttonNormalRenderer, _buttonClickedRenderer, _buttonDisabledRenderer}) {
    r->setVisible(r == which);
    r->setScale(zoom);
  }
  _titleRenderer->setScale(zoom);
}

void Button::onPressStateChangedToNormal() { show(_buttonNormalRenderer, 1.0f); }

void Button::onPressStateChangedToPressed() {
  show(_pressedTextureLoaded ? _buttonClickedRenderer : _buttonNormalRenderer,
       _pressedActionEnabled ? 1.0f + _zoomScale : 1.0f);
}

void Button::onPressStateChangedToDisabled() {
  show(_disabledTextureLoaded ? _buttonDisabledRenderer : _buttonNormalRenderer, 1.0f);
}

}  // namespace ui
NS_CC_END
