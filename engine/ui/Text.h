// ui::Text: a text widget over a Label. The size follows the text unless
// ignoreContentAdaptWithSize(false) (or setTextAreaSize), in which case the
// text wraps and aligns within the size.
#pragma once

#include <string>

#include "engine/2d/Label.h"
#include "engine/ui/Widget.h"

NS_CC_BEGIN
namespace ui {

class Text : public Widget {
 public:
  CREATE_FUNC(Text)
  // An empty font name means the system font.
  static Text* create(const std::string& text, const std::string& fontName, float fontSize);

  void setString(const std::string& text);
  // The flag is reserved; both forms behave alike.
  void setString(const std::string& text, bool flag) { setString(text); }
  void setText(const std::string& text) { setString(text); }
  const std::string& getString() const;
  int getStringLength() const;

  void setFontName(const std::string& name);
  const std::string& getFontName() const;
  void setFontSize(float size);
  float getFontSize() const;
  void setTextColor(const Color4B& color);
  const Color4B& getTextColor() const;
  void enableShadow(const Color4B& shadowColor = Color4B::BLACK, const Size& offset = Size(2, -2),
                    int blurRadius = 0);
  void setTextHorizontalAlignment(TextHAlignment alignment);
  TextHAlignment getTextHorizontalAlignment() const;
  void setTextVerticalAlignment(TextVAlignment alignment);
  TextVAlignment getTextVerticalAlignment() const;
  // A non-zero area fixes the size and wraps the text in it.
  void setTextAreaSize(const Size& size);
  const Size& getTextAreaSize() const;

  // While pressed the scale is the normal scale + _pressedScaleOffset.
  void setTouchScaleChangeEnabled(bool enabled) { _touchScaleChangeEnabled = enabled; }
  bool isTouchScaleChangeEnabled() const { return _touchScaleChangeEnabled; }

  void ignoreContentAdaptWithSize(bool ignore) override;
  Size getVirtualRendererSize() const override;
  Node* getVirtualRenderer() override;
  Label* getLabelRenderer() const { return _labelRenderer; }
  std::string getDescription() const override { return "Label"; }

 protected:
  Text();
  void initRenderer() override;
  void onSizeChanged() override;
  void onPressStateChangedToNormal() override;
  void onPressStateChangedToPressed() override;
  Widget* createCloneInstance() override { return Text::create(); }
  // After any change of text or font: the size follows the text when
  // adapting, else the text is laid out within the size.
  void updateRenderer();

  Label* _labelRenderer = nullptr;
  bool _touchScaleChangeEnabled = false;
  float _pressedScaleOffset = 0.1f;
  bool _scaledForPress = false;
  float _normalScaleValueX = 1.0f;
  float _normalScaleValueY = 1.0f;
};

}  // namespace ui
NS_CC_END
