// ui::CheckBox: a background picture with a mark shown while selected. A
// click toggles the state and reports SELECTED or UNSELECTED; setSelected
// reports nothing. Touch-enabled from creation.
#pragma once

#include <functional>
#include <string>

#include "engine/ui/Widget.h"

NS_CC_BEGIN
namespace ui {

class Scale9Sprite;

class CheckBox : public Widget {
 public:
  enum class EventType { SELECTED = 0, UNSELECTED = 1 };
  typedef std::function<void(Ref*, EventType)> ccCheckBoxCallback;

  CREATE_FUNC(CheckBox)
  static CheckBox* create(const std::string& background, const std::string& mark,
                          TextureResType texType = TextureResType::LOCAL);
  bool init() override;

  // Missing pictures are logged; the previous ones stay.
  void loadTextures(const std::string& background, const std::string& mark,
                    TextureResType texType = TextureResType::LOCAL);
  void loadTextureBackGround(const std::string& file, TextureResType texType = TextureResType::LOCAL);
  void loadTextureFrontCross(const std::string& file, TextureResType texType = TextureResType::LOCAL);

  void setSelected(bool selected);
  bool isSelected() const { return _isSelected; }
  void addEventListener(const ccCheckBoxCallback& callback) { _checkBoxEventCallback = callback; }

  Size getVirtualRendererSize() const override { return _backGroundTextureSize; }
  Node* getVirtualRenderer() override;
  std::string getDescription() const override { return "CheckBox"; }

 protected:
  CheckBox();
  void initRenderer() override;
  void onSizeChanged() override;
  void releaseUpEvent() override;
  Widget* createCloneInstance() override { return CheckBox::create(); }
  void updateRenderers();

  Scale9Sprite* _backGroundRenderer = nullptr;
  Scale9Sprite* _frontCrossRenderer = nullptr;
  Size _backGroundTextureSize;
  bool _isSelected = false;
  ccCheckBoxCallback _checkBoxEventCallback;
};

}  // namespace ui
NS_CC_END
