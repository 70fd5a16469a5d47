// ui::TextField as it appears in UI files: a placeholder text drawn grey
// that marks where a screen puts its own input field. It takes no input;
// getString() is always "".
#pragma once

#include <string>

#include "engine/2d/Label.h"
#include "engine/ui/Widget.h"

NS_CC_BEGIN
namespace ui {

class TextField : public Widget {
 public:
  CREATE_FUNC(TextField)
  // An empty font name means the system font.
  static TextField* create(const std::string& placeholder, const std::string& fontName, float fontSize);

  void setPlaceHolder(const std::string& text);
  const std::string& getPlaceHolder() const;
  void setPlaceHolderColor(const Color4B& color);
  void setFontSize(float size);
  float getFontSize() const;
  void setFontName(const std::string& name);
  const std::string& getFontName() const;
  const std::string& getString() const { return _empty; }

  Size getVirtualRendererSize() const override;
  Node* getVirtualRenderer() override;
  std::string getDescription() const override { return "TextField"; }

  static const Color4B kPlaceHolderColor;

 protected:
  TextField();
  void initRenderer() override;
  void onSizeChanged() override;
  Widget* createCloneInstance() override { return TextField::create(); }
  void updateRenderer();

  Label* _placeHolderRenderer = nullptr;
  std::string _empty;
};

}  // namespace ui
NS_CC_END
