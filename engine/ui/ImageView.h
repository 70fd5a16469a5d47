// ui::ImageView: a picture widget. Its size follows the picture unless
// ignoreContentAdaptWithSize(false) (or scale9) is set, in which case the
// picture is stretched (or nine-sliced) to the size set.
#pragma once

#include <string>

#include "engine/ui/Widget.h"

NS_CC_BEGIN
namespace ui {

class Scale9Sprite;

class ImageView : public Widget {
 public:
  CREATE_FUNC(ImageView)
  // An image view whose picture failed to load is still returned (empty).
  static ImageView* create(const std::string& file, TextureResType texType = TextureResType::LOCAL);

  // Synchronous through the texture cache. A missing or undecodable file
  // is logged and keeps the current picture and size.
  void loadTexture(const std::string& file, TextureResType texType = TextureResType::LOCAL);
  const std::string& getTextureFile() const { return _textureFile; }
  bool hasTexture() const { return _textureLoaded; }

  void setScale9Enabled(bool enabled);
  bool isScale9Enabled() const { return _scale9Enabled; }
  void setCapInsets(const Rect& capInsets);
  const Rect& getCapInsets() const { return _capInsets; }

  void ignoreContentAdaptWithSize(bool ignore) override;
  Size getVirtualRendererSize() const override { return _imageTextureSize; }
  Node* getVirtualRenderer() override;
  std::string getDescription() const override { return "ImageView"; }

 protected:
  ImageView();
  void initRenderer() override;
  void onSizeChanged() override;
  Widget* createCloneInstance() override { return ImageView::create(); }
  void updateRenderer();

  Scale9Sprite* _imageRenderer = nullptr;
  std::string _textureFile;
  bool _textureLoaded = false;
  bool _scale9Enabled = false;
  bool _prevIgnoreSize = true;
  Rect _capInsets;
  Size _imageTextureSize;
};

}  // namespace ui
NS_CC_END
