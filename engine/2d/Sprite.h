// A textured quad. The anchor defaults to (0.5, 0.5); the content size is
// the texture rectangle's size. Drawn as one triangles command with the
// built-in program SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP (or the one
// set with setGLProgram / setGLProgramState) and premultiplied blending
// (textures from PNG carry premultiplied alpha; the vertex colour is
// premultiplied by the opacity).
#pragma once

#include <string>

#include "engine/base/ccMacros.h"
#include "engine/2d/Node.h"
#include "engine/renderer/TrianglesCommand.h"

NS_CC_BEGIN

class Texture2D;

class Sprite : public Node {
 public:
  CREATE_FUNC(Sprite)
  // Null when the file is missing or undecodable.
  static Sprite* create(const std::string& filename);
  static Sprite* createWithTexture(Texture2D* texture);

  bool init() override;
  virtual bool initWithFile(const std::string& filename);
  virtual bool initWithTexture(Texture2D* texture);
  virtual bool initWithTexture(Texture2D* texture, const Rect& rect);

  // A synchronous load through the texture cache; a file that cannot be
  // loaded keeps the current texture (and logs).
  virtual void setTexture(const std::string& filename);
  virtual void setTexture(Texture2D* texture);
  Texture2D* getTexture() const { return _texture; }

  // In texture pixels, origin top-left of the picture. Sets the content size.
  virtual void setTextureRect(const Rect& rect);
  const Rect& getTextureRect() const { return _rect; }

  // Flip Y: texture row 0 lands at local y 0.
  void setFlipY(bool flip) { setFlippedY(flip); }
  void setFlippedY(bool flip);
  bool isFlippedY() const { return _flippedY; }
  void setFlippedX(bool flip);
  bool isFlippedX() const { return _flippedX; }

  void setBlendFunc(const BlendFunc& blendFunc) { _blendFunc = blendFunc; }
  const BlendFunc& getBlendFunc() const { return _blendFunc; }

  void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;

  ~Sprite() override;

 protected:
  Sprite();
  void updateQuad();
  void updateColors();

  Texture2D* _texture = nullptr;  // retained
  Rect _rect;
  bool _flippedX = false;
  bool _flippedY = false;
  BlendFunc _blendFunc = BlendFunc::ALPHA_PREMULTIPLIED;
  // The quad as four vertices (tl, bl, tr, br) and its two triangles.
  V3F_C4B_T2F_Quad _quad;
  unsigned short _indices[6] = {0, 1, 2, 3, 2, 1};
  TrianglesCommand::Triangles _triangles;
  TrianglesCommand _trianglesCommand;
  // Whether the last draw was inside the view (always true: no culling).
  bool _insideBounds = true;
};

NS_CC_END
