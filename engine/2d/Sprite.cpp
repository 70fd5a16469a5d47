#include "engine/2d/Sprite.h"

#include <utility>

#include "engine/2d/ClippingProtocol.h"
#include "engine/base/Director.h"
#include "engine/base/ccLog.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/Texture2D.h"
#include "engine/renderer/TextureCache.h"

NS_CC_BEGIN

Sprite::Sprite() {
  _triangles.verts = &_quad.tl;
  _triangles.vertCount = 4;
  _triangles.indices = _indices;
  _triangles.indexCount = 6;
}

Sprite::~Sprite() { CC_SAFE_RELEASE(_texture); }

Sprite* Sprite::create(const std::string& filename) {
  auto* s = new Sprite;
  if (s->initWithFile(filename)) {
    s->autorelease();
    return s;
  }
  delete s;
  return nullptr;
}

Sprite* Sprite::createWithTexture(Texture2D* texture) {
  auto* s = new Sprite;
  if (s->initWithTexture(texture)) {
    s->autorelease();
    return s;
  }
  delete s;
  return nullptr;
}

bool Sprite::init() { return initWithTexture(nullptr, Rect::ZERO); }

bool Sprite::initWithFile(const std::string& filename) {
  if (filename.empty()) return false;
  Texture2D* t = Director::getInstance()->getTextureCache()->addImage(filename);
  if (!t) return false;
  return initWithTexture(t);
}

bool Sprite::initWithTexture(Texture2D* texture) {
  Rect r = Rect::ZERO;
  if (texture) r.size = Size(static_cast<float>(texture->getPixelsWide()), static_cast<float>(texture->getPixelsHigh()));
  return initWithTexture(texture, r);
}

bool Sprite::initWithTexture(Texture2D* texture, const Rect& rect) {
  if (!Node::init()) return false;
  setAnchorPoint(Vec2(0.5f, 0.5f));
  if (GLProgramState* state =
          GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP))
    setGLProgramState(state);
  CC_SAFE_RETAIN(texture);
  CC_SAFE_RELEASE(_texture);
  _texture = texture;
  setTextureRect(rect);
  return true;
}

void Sprite::setTexture(const std::string& filename) {
  Texture2D* t = Director::getInstance()->getTextureCache()->addImage(filename);
  if (!t) {
    log("Sprite: cannot load %s", filename.c_str());
    return;
  }
  setTexture(t);
}

void Sprite::setTexture(Texture2D* texture) {
  if (texture == _texture) return;
  CC_SAFE_RETAIN(texture);
  CC_SAFE_RELEASE(_texture);
  _texture = texture;
  Rect r = Rect::ZERO;
  if (texture) r.size = Size(static_cast<float>(texture->getPixelsWide()), static_cast<float>(texture->getPixelsHigh()));
  setTextureRect(r);
}

void Sprite::setTextureRect(const Rect& rect) {
  _rect = rect;
  setContentSize(rect.size);
  updateQuad();
}

void Sprite::setFlippedY(bool flip) {
  if (_flippedY == flip) return;
  _flippedY = flip;
  updateQuad();
}

void Sprite::setFlippedX(bool flip) {
  if (_flippedX == flip) return;
  _flippedX = flip;
  updateQuad();
}

void Sprite::updateQuad() {
  const float w = _rect.size.width, h = _rect.size.height;
  _quad.bl.vertices = Vec3(0, 0, 0);
  _quad.br.vertices = Vec3(w, 0, 0);
  _quad.tl.vertices = Vec3(0, h, 0);
  _quad.tr.vertices = Vec3(w, h, 0);
  float left = 0, right = 1, top = 0, bottom = 1;
  if (_texture && _texture->getPixelsWide() > 0 && _texture->getPixelsHigh() > 0) {
    const float tw = static_cast<float>(_texture->getPixelsWide());
    const float th = static_cast<float>(_texture->getPixelsHigh());
    left = _rect.origin.x / tw;
    right = (_rect.origin.x + w) / tw;
    top = _rect.origin.y / th;
    bottom = (_rect.origin.y + h) / th;
  }
  if (_flippedX) std::swap(left, right);
  if (_flippedY) std::swap(top, bottom);
  // Texture row 0 is the picture's top row.
  _quad.tl.texCoords = Tex2F(left, top);
  _quad.tr.texCoords = Tex2F(right, top);
  _quad.bl.texCoords = Tex2F(left, bottom);
  _quad.br.texCoords = Tex2F(right, bottom);
}

void Sprite::updateColors() {
  const GLubyte o = getDisplayedOpacity();
  const Color3B& c = getDisplayedColor();
  Color4B col(static_cast<uint8_t>(c.r * o / 255), static_cast<uint8_t>(c.g * o / 255),
              static_cast<uint8_t>(c.b * o / 255), o);
  _quad.bl.colors = _quad.br.colors = _quad.tl.colors = _quad.tr.colors = col;
}

void Sprite::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
  if (!_texture || _rect.size.width <= 0 || _rect.size.height <= 0) return;
  _insideBounds = renderer->checkVisibility(transform, _contentSize);
  if (!_insideBounds) return;
  updateColors();
  _trianglesCommand.init(_globalZOrder, _texture->getName(), getGLProgramState(), _blendFunc, _triangles,
                         transform, flags);
  if (auto* clip = dynamic_cast<ClippingProtocol*>(this)) _trianglesCommand.set3D(clip->isDepthTest());
  renderer->addCommand(&_trianglesCommand);
}

NS_CC_END
