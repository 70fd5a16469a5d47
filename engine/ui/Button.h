// ui::Button: pictures for the normal, pressed and disabled states and an
// optional title. Touch-enabled from creation.
//
// Size: the normal picture's size while adapting (the default); a button
// without a normal picture takes its size (and hit area) from its title
// plus 10 units each side. With scale9 (or ignoreContentAdaptWithSize
// false) the pictures are nine-sliced (or stretched) to the size set.
// Highlighted shows the pressed picture (the normal one when there is
// none); disabled shows the disabled picture likewise. With the pressed
// action enabled, the pictures and title zoom to 1.1 while pressed.
#pragma once

#include <string>

#include "engine/2d/Label.h"
#include "engine/ui/Widget.h"

NS_CC_BEGIN
namespace ui {

class Scale9Sprite;

class Button : public Widget {
 public:
  CREATE_FUNC(Button)
  static Button* create(const std::string& normalImage, const std::string& selectedImage = "",
                        const std::string& disableImage = "", TextureResType texType = TextureResType::LOCAL);
  bool init() override;

  // A missing or undecodable file is logged and keeps that state's current
  // picture; an empty name leaves the state as it is.
  void loadTextures(const std::string& normal, const std::string& selected, const std::string& disabled = "",
                    TextureResType texType = TextureResType::LOCAL);
  void loadTextureNormal(const std::string& normal, TextureResType texType = TextureResType::LOCAL);
  void loadTexturePressed(const std::string& selected, TextureResType texType = TextureResType::LOCAL);
  void loadTextureDisabled(const std::string& disabled, TextureResType texType = TextureResType::LOCAL);
  const Size& getNormalTextureSize() const { return _normalTextureSize; }

  void setScale9Enabled(bool enabled);
  bool isScale9Enabled() const { return _scale9Enabled; }
  void setCapInsets(const Rect& capInsets);
  const Rect& getCapInsets() const { return _capInsets; }
  void setPressedActionEnabled(bool enabled) { _pressedActionEnabled = enabled; }
  bool isPressedActionEnabled() const { return _pressedActionEnabled; }

  void setTitleText(const std::string& text);
  const std::string& getTitleText() const;
  void setTitleColor(const Color3B& color);
  Color3B getTitleColor() const;
  void setTitleFontSize(float size);
  float getTitleFontSize() const;
  void setTitleFontName(const std::string& name);
  const std::string& getTitleFontName() const;
  void setTitleAlignment(TextHAlignment hAlignment);
  void setTitleAlignment(TextHAlignment hAlignment, TextVAlignment vAlignment);
  Label* getTitleRenderer() const { return _titleRenderer; }

  void ignoreContentAdaptWithSize(bool ignore) override;
  Size getVirtualRendererSize() const override;
  Node* getVirtualRenderer() override;
  std::string getDescription() const override { return "Button"; }

 protected:
  Button();
  void initRenderer() override;
  void onSizeChanged() override;
  void onPressStateChangedToNormal() override;
  void onPressStateChangedToPressed() override;
  void onPressStateChangedToDisabled() override;
  Widget* createCloneInstance() override { return Button::create(); }
  bool loadInto(Scale9Sprite* renderer, const std::string& file);
  void updateContentSize();
  void updateRenderers();
  void show(Scale9Sprite* which, float zoom);

  Scale9Sprite* _buttonNormalRenderer = nullptr;
  Scale9Sprite* _buttonClickedRenderer = nullptr;
  Scale9Sprite* _buttonDisabledRenderer = nullptr;
  Label* _titleRenderer = nullptr;
  bool _normalTextureLoaded = false;
  bool _pressedTextureLoaded = false;
  bool _disabledTextureLoaded = false;
  Size _normalTextureSize;
  bool _scale9Enabled = false;
  bool _prevIgnoreSize = true;
  Rect _capInsets;
  bool _pressedActionEnabled = false;
  float _zoomScale = 0.1f;
};

}  // namespace ui
NS_CC_END
