#include "engine/ui/ImageView.h"

#include "engine/ui/Scale9Sprite.h"

NS_CC_BEGIN
namespace ui {

ImageView::ImageView() { _ignoreSize = true; }

ImageView* ImageView::create(const std::string& file, TextureResType texType) {
  ImageView* v = ImageView::create();
  if (v) v->loadTexture(file, texType);
  return v;
}

void ImageView::initRenderer() {
  _imageRenderer = Scale9Sprite::create();
  _imageRenderer->setScale9Enabled(false);
  addProtectedChild(_imageRenderer, -1);
}

Node* ImageView::getVirtualRenderer() { return _imageRenderer; }

void ImageView::loadTexture(const std::string& file, TextureResType texType) {
  if (file.empty()) return;
  if (!_imageRenderer->initWithFile(_capInsets, file)) return;  // keeps the current picture
  _textureFile = file;
  _textureLoaded = true;
  _imageTextureSize = _imageRenderer->getOriginalSize();
  if (_ignoreSize) setContentSize(_imageTextureSize);
  updateRenderer();
}

void ImageView::setScale9Enabled(bool enabled) {
  if (_scale9Enabled == enabled) return;
  _scale9Enabled = enabled;
  _imageRenderer->setScale9Enabled(enabled);
  if (enabled) {
    _prevIgnoreSize = _ignoreSize;
    Widget::ignoreContentAdaptWithSize(false);
  } else {
    Widget::ignoreContentAdaptWithSize(_prevIgnoreSize);
  }
  updateRenderer();
}

void ImageView::setCapInsets(const Rect& capInsets) {
  _capInsets = capInsets;
  _imageRenderer->setCapInsets(capInsets);
}

void ImageView::ignoreContentAdaptWithSize(bool ignore) {
  if (_scale9Enabled && ignore) {
    _prevIgnoreSize = ignore;
    return;
  }
  Widget::ignoreContentAdaptWithSize(ignore);
  _prevIgnoreSize = ignore;
}

void ImageView::onSizeChanged() {
  Widget::onSizeChanged();
  updateRenderer();
}

void ImageView::updateRenderer() {
  if (!_imageRenderer) return;
  _imageRenderer->setContentSize(_contentSize);
  _imageRenderer->setPosition(_contentSize.width * 0.5f, _contentSize.height * 0.5f);
}

}  // namespace ui
NS_CC_END
