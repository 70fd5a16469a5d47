#include "engine/ui/Scale9Sprite.h"

#include <algorithm>

#include "engine/base/Director.h"
#include "engine/base/ccLog.h"
#include "engine/renderer/GLProgram.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/Texture2D.h"
#include "engine/renderer/TextureCache.h"

NS_CC_BEGIN
namespace ui {

Scale9Sprite::Scale9Sprite() = default;

Scale9Sprite::~Scale9Sprite() { CC_SAFE_RELEASE(_texture); }

Scale9Sprite* Scale9Sprite::create(const std::string& file) { return create(Rect::ZERO, file); }

Scale9Sprite* Scale9Sprite::create(const Rect& capInsets, const std::string& file) {
  auto* s = new Scale9Sprite;
  if (s->init() && s->initWithFile(capInsets, file)) {
    s->autorelease();
    return s;
  }
  delete s;
  return nullptr;
}

bool Scale9Sprite::init() {
  if (!Node::init()) return false;
  setAnchorPoint(Vec2(0.5f, 0.5f));
  if (GLProgramState* state =
          GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP))
    setGLProgramState(state);
  return true;
}

bool Scale9Sprite::initWithFile(const Rect& capInsets, const std::string& file) {
  Texture2D* t = file.empty() ? nullptr : Director::getInstance()->getTextureCache()->addImage(file);
  if (!t || t->getPixelsWide() <= 0 || t->getPixelsHigh() <= 0) {
    log("Scale9Sprite: cannot load \"%s\"; the picture is kept", file.c_str());
    return false;
  }
  return initWithTexture(t, capInsets);
}

bool Scale9Sprite::initWithTexture(Texture2D* texture, const Rect& capInsets) {
  CC_SAFE_RETAIN(texture);
  CC_SAFE_RELEASE(_texture);
  _texture = texture;
  _capInsets = capInsets;
  _dirty = true;
  Node::setContentSize(getOriginalSize());
  return true;
}

Size Scale9Sprite::getOriginalSize() const {
  if (!_texture) return Size::ZERO;
  return Size(static_cast<float>(_texture->getPixelsWide()), static_cast<float>(_texture->getPixelsHigh()));
}

void Scale9Sprite::setCapInsets(const Rect& insets) {
  _capInsets = insets;
  _dirty = true;
}

Rect Scale9Sprite::getEffectiveCapInsets() const {
  const Size o = getOriginalSize();
  if (o.width <= 0 || o.height <= 0) return Rect::ZERO;
  Rect r = _capInsets;
  if (r.size.width <= 0 && r.size.height <= 0 && r.origin.x == 0 && r.origin.y == 0)
    r = Rect(o.width / 3, o.height / 3, o.width / 3, o.height / 3);
  const float x0 = std::clamp(r.origin.x, 0.0f, o.width), y0 = std::clamp(r.origin.y, 0.0f, o.height);
  const float x1 = std::clamp(r.origin.x + std::max(r.size.width, 0.0f), x0, o.width);
  const float y1 = std::clamp(r.origin.y + std::max(r.size.height, 0.0f), y0, o.height);
  return Rect(x0, y0, x1 - x0, y1 - y0);
}

void Scale9Sprite::setScale9Enabled(bool enabled) {
  _scale9Enabled = enabled;
  _dirty = true;
}

void Scale9Sprite::setContentSize(const Size& size) {
  Node::setContentSize(size);
  _dirty = true;
}

void Scale9Sprite::setFlippedX(bool flip) {
  _flippedX = flip;
  _dirty = true;
}

void Scale9Sprite::rebuild() {
  _dirty = false;
  _verts.clear();
  _indices.clear();
  if (!_texture) return;
  const Size o = getOriginalSize();
  const float W = _contentSize.width, H = _contentSize.height;
  if (W <= 0 || H <= 0) return;
  // Column edges in node space and in texture space (u from the left, v from
  // the picture's top row, which is drawn at the top).
  std::vector<float> xs, us, ys, vs;
  if (!_scale9Enabled) {
    xs = {0, W};
    us = {0, 1};
    ys = {0, H};
    vs = {1, 0};
  } else {
    const Rect c = getEffectiveCapInsets();
    float l = c.origin.x, r = o.width - c.getMaxX();
    float t = c.origin.y, b = o.height - c.getMaxY();
    const float sx = (l + r > W && l + r > 0) ? W / (l + r) : 1.0f;
    const float sy = (t + b > H && t + b > 0) ? H / (t + b) : 1.0f;
    xs = {0, l * sx, W - r * sx, W};
    us = {0, l / o.width, (o.width - r) / o.width, 1};
    ys = {0, b * sy, H - t * sy, H};
    vs = {1, (o.height - b) / o.height, t / o.height, 0};
  }
  if (_flippedX)
    for (float& u : us) u = 1 - u;
  for (size_t j = 0; j + 1 < ys.size(); ++j) {
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
      if (xs[i + 1] - xs[i] <= 0 || ys[j + 1] - ys[j] <= 0) continue;
      const auto base = static_cast<unsigned short>(_verts.size());
      V3F_C4B_T2F v;
      // tl, bl, tr, br as the sprite's quad.
      v.vertices = Vec3(xs[i], ys[j + 1], 0);
      v.texCoords = Tex2F(us[i], vs[j + 1]);
      _verts.push_back(v);
      v.vertices = Vec3(xs[i], ys[j], 0);
      v.texCoords = Tex2F(us[i], vs[j]);
      _verts.push_back(v);
      v.vertices = Vec3(xs[i + 1], ys[j + 1], 0);
      v.texCoords = Tex2F(us[i + 1], vs[j + 1]);
      _verts.push_back(v);
      v.vertices = Vec3(xs[i + 1], ys[j], 0);
      v.texCoords = Tex2F(us[i + 1], vs[j]);
      _verts.push_back(v);
      for (unsigned short k : {0, 1, 2, 3, 2, 1}) _indices.push_back(static_cast<unsigned short>(base + k));
    }
  }
}

const std::vector<V3F_C4B_T2F>& Scale9Sprite::getVertices() {
  if (_dirty) rebuild();
  return _verts;
}

void Scale9Sprite::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
  if (_dirty) rebuild();
  if (!_texture || _verts.empty()) return;
  const GLubyte o = getDisplayedOpacity();
  const Color3B& c = getDisplayedColor();
  const Color4B col(static_cast<uint8_t>(c.r * o / 255), static_cast<uint8_t>(c.g * o / 255),
                    static_cast<uint8_t>(c.b * o / 255), o);
  for (auto& v : _verts) v.colors = col;
  TrianglesCommand::Triangles tris;
  tris.verts = _verts.data();
  tris.vertCount = static_cast<int>(_verts.size());
  tris.indices = _indices.data();
  tris.indexCount = static_cast<int>(_indices.size());
  _command.init(_globalZOrder, _texture->getName(), getGLProgramState(), BlendFunc::ALPHA_PREMULTIPLIED, tris,
                transform, flags);
  renderer->addCommand(&_command);
}

}  // namespace ui
NS_CC_END
