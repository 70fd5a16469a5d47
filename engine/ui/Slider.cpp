#include "engine/ui/Slider.h"

#include <algorithm>
#include <cmath>

#include "engine/2d/Sprite.h"
#include "engine/base/Director.h"
#include "engine/base/Touch.h"
#include "engine/base/ccLog.h"
#include "engine/renderer/Texture2D.h"
#include "engine/renderer/TextureCache.h"
#include "engine/ui/Scale9Sprite.h"

NS_CC_BEGIN
namespace ui {

namespace {
// Gives sprite the picture of file; false (and the old picture kept) when
// it cannot be loaded.
bool loadInto(Sprite* sprite, const std::string& file) {
  if (file.empty()) return false;
  Texture2D* t = Director::getInstance()->getTextureCache()->addImage(file);
  if (!t || t->getPixelsWide() <= 0 || t->getPixelsHigh() <= 0) {
    log("Slider: cannot load \"%s\"; the picture is kept", file.c_str());
    return false;
  }
  sprite->setTexture(t);
  return true;
}
}  // namespace

Slider::Slider() { _ignoreSize = true; }

Slider* Slider::create(const std::string& bar, const std::string& ball, TextureResType texType) {
  Slider* s = Slider::create();
  if (!s) return nullptr;
  s->loadBarTexture(bar, texType);
  s->loadSlidBallTextureNormal(ball, texType);
  return s;
}

bool Slider::init() {
  if (!Widget::init()) return false;
  setTouchEnabled(true);
  return true;
}

void Slider::initRenderer() {
  _barRenderer = Scale9Sprite::create();
  _barRenderer->setScale9Enabled(false);
  _progressRenderer = Sprite::create();
  _progressRenderer->setAnchorPoint(Vec2(0, 0.5f));
  addProtectedChild(_barRenderer, -2);
  addProtectedChild(_progressRenderer, -1);
  _ball = Node::create();
  _ballNormal = Sprite::create();
  _ballPressed = Sprite::create();
  _ballDisabled = Sprite::create();
  _ballPressed->setVisible(false);
  _ballDisabled->setVisible(false);
  _ball->addChild(_ballNormal);
  _ball->addChild(_ballPressed);
  _ball->addChild(_ballDisabled);
  _ball->setCascadeColorEnabled(true);
  _ball->setCascadeOpacityEnabled(true);
  addProtectedChild(_ball, 1);
}

Node* Slider::getVirtualRenderer() { return _barRenderer; }

void Slider::loadBarTexture(const std::string& file, TextureResType) {
  if (file.empty() || !_barRenderer->initWithFile(file)) return;
  _barRenderer->setScale9Enabled(_scale9Enabled);
  _barTextureSize = _barRenderer->getOriginalSize();
  if (_ignoreSize) setContentSize(_barTextureSize);
  updateRenderers();
}

void Slider::loadProgressBarTexture(const std::string& file, TextureResType) {
  if (!loadInto(_progressRenderer, file)) return;
  _progressLoaded = true;
  _progressTextureSize = _progressRenderer->getContentSize();
  updateRenderers();
}

void Slider::loadSlidBallTextures(const std::string& normal, const std::string& pressed, const std::string& disabled,
                                  TextureResType texType) {
  loadSlidBallTextureNormal(normal, texType);
  loadSlidBallTexturePressed(pressed, texType);
  loadSlidBallTextureDisabled(disabled, texType);
}

void Slider::loadSlidBallTextureNormal(const std::string& file, TextureResType) { loadInto(_ballNormal, file); }

void Slider::loadSlidBallTexturePressed(const std::string& file, TextureResType) {
  if (loadInto(_ballPressed, file)) _ballPressedLoaded = true;
}

void Slider::loadSlidBallTextureDisabled(const std::string& file, TextureResType) {
  if (loadInto(_ballDisabled, file)) _ballDisabledLoaded = true;
}

void Slider::setPercent(int percent) {
  _percent = std::clamp(percent, 0, 100);
  updateRenderers();
}

void Slider::setScale9Enabled(bool enabled) {
  if (_scale9Enabled == enabled) return;
  _scale9Enabled = enabled;
  _barRenderer->setScale9Enabled(enabled);
  if (enabled) {
    _prevIgnoreSize = _ignoreSize;
    Widget::ignoreContentAdaptWithSize(false);
  } else {
    Widget::ignoreContentAdaptWithSize(_prevIgnoreSize);
  }
  updateRenderers();
}

void Slider::setCapInsets(const Rect& capInsets) { _barRenderer->setCapInsets(capInsets); }

void Slider::ignoreContentAdaptWithSize(bool ignore) {
  _prevIgnoreSize = ignore;
  if (_scale9Enabled && ignore) return;
  Widget::ignoreContentAdaptWithSize(ignore);
}

void Slider::onSizeChanged() {
  Widget::onSizeChanged();
  updateRenderers();
}

void Slider::updateRenderers() {
  const float w = _contentSize.width, h = _contentSize.height;
  _barRenderer->setContentSize(_contentSize);
  _barRenderer->setPosition(w * 0.5f, h * 0.5f);
  const float f = _percent / 100.0f;
  if (_progressLoaded && _progressTextureSize.width > 0 && _progressTextureSize.height > 0) {
    // The left part of the progress picture, stretched to the bar's size.
    _progressRenderer->setTextureRect(
        Rect(0, 0, _progressTextureSize.width * f, _progressTextureSize.height));
    _progressRenderer->setScale(w / _progressTextureSize.width, h / _progressTextureSize.height);
  }
  _progressRenderer->setPosition(0, h * 0.5f);
  _ball->setPosition(w * f, h * 0.5f);
}

int Slider::percentAt(const Vec2& worldPoint) const {
  const Vec2 p = convertToNodeSpace(worldPoint);
  if (_contentSize.width <= 0) return 0;
  return std::clamp(static_cast<int>(std::lround(p.x / _contentSize.width * 100.0f)), 0, 100);
}

bool Slider::hitTest(const Vec2& pt) const {
  if (Widget::hitTest(pt)) return true;
  // The ball may stand out of the bar.
  const Vec2 p = _ball->convertToNodeSpace(pt);
  const Size s = _ballNormal->getContentSize();
  return std::fabs(p.x) <= s.width * 0.5f && std::fabs(p.y) <= s.height * 0.5f;
}

void Slider::report(EventType type) {
  if (!_eventCallback) return;
  retain();
  _eventCallback(this, type);
  release();
}

bool Slider::onTouchBegan(Touch* touch, Event* event) {
  if (!Widget::onTouchBegan(touch, event)) return false;
  retain();
  setPercent(percentAt(_touchBeganPosition));
  report(EventType::ON_SLIDEBALL_DOWN);
  report(EventType::ON_PERCENTAGE_CHANGED);
  release();
  return true;
}

void Slider::onTouchMoved(Touch* touch, Event* event) {
  _touchMovePosition = touch->getLocation();
  retain();
  if (_propagateTouchEvents) propagateTouchEvent(TouchEventType::MOVED, this, touch);
  moveEvent();
  const int p = percentAt(_touchMovePosition);
  if (p != _percent) {
    setPercent(p);
    report(EventType::ON_PERCENTAGE_CHANGED);
  }
  release();
}

void Slider::onTouchEnded(Touch* touch, Event* event) {
  retain();
  Widget::onTouchEnded(touch, event);
  report(EventType::ON_SLIDEBALL_UP);
  release();
}

void Slider::onTouchCancelled(Touch* touch, Event* event) {
  retain();
  Widget::onTouchCancelled(touch, event);
  report(EventType::ON_SLIDEBALL_CANCEL);
  release();
}

void Slider::showBall(Sprite* which) {
  _ballNormal->setVisible(which == _ballNormal);
  _ballPressed->setVisible(which == _ballPressed);
  _ballDisabled->setVisible(which == _ballDisabled);
}

void Slider::onPressStateChangedToNormal() { showBall(_ballNormal); }
void Slider::onPressStateChangedToPressed() { showBall(_ballPressedLoaded ? _ballPressed : _ballNormal); }
void Slider::onPressStateChangedToDisabled() { showBall(_ballDisabledLoaded ? _ballDisabled : _ballNormal); }

}  // namespace ui
NS_CC_END
