// ui::Scale9Sprite: a picture drawn as nine quads so that it stretches to
// any content size with fixed corners. The cap insets are the centre
// rectangle in picture pixels (origin top-left of the picture); Rect::ZERO
// means the middle third. Insets are clamped to the picture. When the
// content is smaller than the two borders together, the borders shrink in
// proportion. With scale9 disabled the whole picture is one stretched quad.
//
// Drawn as one triangles command with the sprite program and premultiplied
// blending; vertex colour = displayed colour × displayed opacity.
#pragma once

#include <string>
#include <vector>

#include "engine/2d/Node.h"
#include "engine/base/ccMacros.h"
#include "engine/renderer/TrianglesCommand.h"

NS_CC_BEGIN

class Texture2D;

namespace ui {

class Scale9Sprite : public Node {
 public:
  CREATE_FUNC(Scale9Sprite)
  // Null when the file is missing or undecodable.
  static Scale9Sprite* create(const std::string& file);
  static Scale9Sprite* create(const Rect& capInsets, const std::string& file);

  bool init() override;
  // Replaces the picture in place: the content size becomes the picture's
  // size and the insets the given ones (callers restore their geometry). A
  // file that cannot be loaded keeps the current picture, size and insets
  // and returns false.
  virtual bool initWithFile(const Rect& capInsets, const std::string& file);
  virtual bool initWithFile(const std::string& file) { return initWithFile(Rect::ZERO, file); }
  // The same with a texture (null clears the picture).
  virtual bool initWithTexture(Texture2D* texture, const Rect& capInsets = Rect::ZERO);

  void setCapInsets(const Rect& insets);
  const Rect& getCapInsets() const { return _capInsets; }
  // The insets in use after clamping.
  Rect getEffectiveCapInsets() const;
  void setScale9Enabled(bool enabled);
  bool isScale9Enabled() const { return _scale9Enabled; }
  // The picture's size in pixels (0 × 0 without one).
  Size getOriginalSize() const;
  Texture2D* getTexture() const { return _texture; }

  void setContentSize(const Size& size) override;
  void setPreferredSize(const Size& size) { setContentSize(size); }
  const Size& getPreferredSize() const { return _contentSize; }

  void setFlippedX(bool flip);
  bool isFlippedX() const { return _flippedX; }

  void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;

  // For tests: the quads as they will be drawn (four vertices each).
  const std::vector<V3F_C4B_T2F>& getVertices();

  ~Scale9Sprite() override;

 protected:
  Scale9Sprite();
  void rebuild();

  Texture2D* _texture = nullptr;  // retained
  Rect _capInsets;
  bool _scale9Enabled = true;
  bool _flippedX = false;
  bool _dirty = true;
  std::vector<V3F_C4B_T2F> _verts;
  std::vector<unsigned short> _indices;
  TrianglesCommand _command;
};

}  // namespace ui
NS_CC_END
