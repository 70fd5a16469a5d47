// ui::Slider: a bar, a progress picture covering the bar up to the
// percentage, and a ball at the percentage. A touch on the bar or the ball
// moves the ball there and follows the drag. Only touches report events;
// setPercent reports nothing (code may resynchronise it every frame).
// Touch-enabled from creation.
#pragma once

#include <functional>
#include <string>

#include "engine/ui/Widget.h"

NS_CC_BEGIN

class Sprite;

namespace ui {

class Scale9Sprite;

class Slider : public Widget {
 public:
  enum class EventType { ON_PERCENTAGE_CHANGED = 0, ON_SLIDEBALL_DOWN = 1, ON_SLIDEBALL_UP = 2, ON_SLIDEBALL_CANCEL = 3 };
  typedef std::function<void(Ref*, EventType)> ccSliderCallback;

  CREATE_FUNC(Slider)
  static Slider* create(const std::string& bar, const std::string& ball, TextureResType texType = TextureResType::LOCAL);
  bool init() override;

  // Missing pictures are logged; the previous ones stay.
  void loadBarTexture(const std::string& file, TextureResType texType = TextureResType::LOCAL);
  void loadProgressBarTexture(const std::string& file, TextureResType texType = TextureResType::LOCAL);
  void loadSlidBallTextures(const std::string& normal, const std::string& pressed = "",
                            const std::string& disabled = "", TextureResType texType = TextureResType::LOCAL);
  void loadSlidBallTextureNormal(const std::string& file, TextureResType texType = TextureResType::LOCAL);
  void loadSlidBallTexturePressed(const std::string& file, TextureResType texType = TextureResType::LOCAL);
  void loadSlidBallTextureDisabled(const std::string& file, TextureResType texType = TextureResType::LOCAL);

  // Clamped to 0..100.
  void setPercent(int percent);
  int getPercent() const { return _percent; }
  void addEventListener(const ccSliderCallback& callback) { _eventCallback = callback; }

  void setScale9Enabled(bool enabled);
  bool isScale9Enabled() const { return _scale9Enabled; }
  void setCapInsets(const Rect& capInsets);

  bool hitTest(const Vec2& pt) const override;
  bool onTouchBegan(Touch* touch, Event* event) override;
  void onTouchMoved(Touch* touch, Event* event) override;
  void onTouchEnded(Touch* touch, Event* event) override;
  void onTouchCancelled(Touch* touch, Event* event) override;

  void ignoreContentAdaptWithSize(bool ignore) override;
  Size getVirtualRendererSize() const override { return _barTextureSize; }
  Node* getVirtualRenderer() override;
  Sprite* getSlidBallNormalRenderer() const { return _ballNormal; }
  std::string getDescription() const override { return "Slider"; }

 protected:
  Slider();
  void initRenderer() override;
  void onSizeChanged() override;
  void onPressStateChangedToNormal() override;
  void onPressStateChangedToPressed() override;
  void onPressStateChangedToDisabled() override;
  Widget* createCloneInstance() override { return Slider::create(); }
  int percentAt(const Vec2& worldPoint) const;
  void report(EventType type);
  void updateRenderers();
  void showBall(Sprite* which);

  Scale9Sprite* _barRenderer = nullptr;
  Sprite* _progressRenderer = nullptr;
  Node* _ball = nullptr;  // holds the three ball pictures
  Sprite* _ballNormal = nullptr;
  Sprite* _ballPressed = nullptr;
  Sprite* _ballDisabled = nullptr;
  bool _ballPressedLoaded = false;
  bool _ballDisabledLoaded = false;
  bool _progressLoaded = false;
  Size _barTextureSize;
  Size _progressTextureSize;
  bool _scale9Enabled = false;
  bool _prevIgnoreSize = true;
  int _percent = 0;
  ccSliderCallback _eventCallback;
};

}  // namespace ui
NS_CC_END
