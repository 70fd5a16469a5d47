#include "engine/2d/Layer.h"

#include <new>

#include "engine/base/Director.h"
#include "engine/base/EventDispatcher.h"
#include "engine/base/EventListener.h"
#include "engine/renderer/GLProgram.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/Renderer.h"

NS_CC_BEGIN

// ------------------------------------------------------------ Layer
Layer::Layer() {
  _ignoreAnchorPointForPosition = true;
  setAnchorPoint(Vec2(0.5f, 0.5f));
}

Layer::~Layer() { CC_SAFE_RELEASE(_touchListener); }

bool Layer::init() {
  setContentSize(Director::getInstance()->getWinSize());
  return true;
}

void Layer::setTouchEnabled(bool enabled) {
  if (_touchEnabled == enabled) return;
  _touchEnabled = enabled;
  if (enabled) registerTouchListener();
  else unregisterTouchListener();
}

void Layer::setTouchMode(Touch::DispatchMode mode) {
  if (_touchMode == mode) return;
  _touchMode = mode;
  if (_touchEnabled) {
    unregisterTouchListener();
    registerTouchListener();
  }
}

void Layer::setSwallowsTouches(bool swallowsTouches) {
  if (_swallowsTouches == swallowsTouches) return;
  _swallowsTouches = swallowsTouches;
  if (_touchEnabled && _touchMode == Touch::DispatchMode::ONE_BY_ONE)
    static_cast<EventListenerTouchOneByOne*>(_touchListener)->setSwallowTouches(swallowsTouches);
}

void Layer::registerTouchListener() {
  unregisterTouchListener();
  EventListener* listener = nullptr;
  if (_touchMode == Touch::DispatchMode::ALL_AT_ONCE) {
    auto* l = EventListenerTouchAllAtOnce::create();
    l->onTouchesBegan = [this](const std::vector<Touch*>& t, Event* e) { onTouchesBegan(t, e); };
    l->onTouchesMoved = [this](const std::vector<Touch*>& t, Event* e) { onTouchesMoved(t, e); };
    l->onTouchesEnded = [this](const std::vector<Touch*>& t, Event* e) { onTouchesEnded(t, e); };
    l->onTouchesCancelled = [this](const std::vector<Touch*>& t, Event* e) { onTouchesCancelled(t, e); };
    listener = l;
  } else {
    auto* l = EventListenerTouchOneByOne::create();
    l->setSwallowTouches(_swallowsTouches);
    l->onTouchBegan = [this](Touch* t, Event* e) { return onTouchBegan(t, e); };
    l->onTouchMoved = [this](Touch* t, Event* e) { onTouchMoved(t, e); };
    l->onTouchEnded = [this](Touch* t, Event* e) { onTouchEnded(t, e); };
    l->onTouchCancelled = [this](Touch* t, Event* e) { onTouchCancelled(t, e); };
    listener = l;
  }
  listener->retain();
  _touchListener = listener;
  getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, this);
}

void Layer::unregisterTouchListener() {
  if (!_touchListener) return;
  if (Director* d = Director::getInstanceIfExists()) d->getEventDispatcher()->removeEventListener(_touchListener);
  CC_SAFE_RELEASE_NULL(_touchListener);
}

bool Layer::onTouchBegan(Touch*, Event*) { return true; }
void Layer::onTouchMoved(Touch*, Event*) {}
void Layer::onTouchEnded(Touch*, Event*) {}
void Layer::onTouchCancelled(Touch*, Event*) {}
void Layer::onTouchesBegan(const std::vector<Touch*>&, Event*) {}
void Layer::onTouchesMoved(const std::vector<Touch*>&, Event*) {}
void Layer::onTouchesEnded(const std::vector<Touch*>&, Event*) {}
void Layer::onTouchesCancelled(const std::vector<Touch*>&, Event*) {}

// ------------------------------------------------------------ LayerColor
LayerColor* LayerColor::create(const Color4B& color) {
  auto* l = new (std::nothrow) LayerColor();
  if (l && l->initWithColor(color)) {
    l->autorelease();
    return l;
  }
  delete l;
  return nullptr;
}

LayerColor* LayerColor::create(const Color4B& color, float width, float height) {
  auto* l = new (std::nothrow) LayerColor();
  if (l && l->initWithColor(color, width, height)) {
    l->autorelease();
    return l;
  }
  delete l;
  return nullptr;
}

bool LayerColor::init() { return initWithColor(Color4B(0, 0, 0, 0)); }

bool LayerColor::initWithColor(const Color4B& color) {
  const Size win = Director::getInstance()->getWinSize();
  return initWithColor(color, win.width, win.height);
}

bool LayerColor::initWithColor(const Color4B& color, float width, float height) {
  if (!Layer::init()) return false;
  _realColor = _displayedColor = Color3B(color.r, color.g, color.b);
  _realOpacity = _displayedOpacity = color.a;
  setContentSize(Size(width, height));
  return true;
}

void LayerColor::changeWidth(float w) { setContentSize(Size(w, _contentSize.height)); }
void LayerColor::changeHeight(float h) { setContentSize(Size(_contentSize.width, h)); }
void LayerColor::changeWidthAndHeight(float w, float h) { setContentSize(Size(w, h)); }

void LayerColor::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
  const float w = _contentSize.width, h = _contentSize.height;
  const Vec3 local[4] = {Vec3(0, 0, 0), Vec3(w, 0, 0), Vec3(0, h, 0), Vec3(w, h, 0)};
  for (int i = 0; i < 4; ++i) transform.transformPoint(local[i], &_quadVertices[i]);
  const float a = _displayedOpacity / 255.0f;
  _quadColor = Color4F(_displayedColor.r / 255.0f * a, _displayedColor.g / 255.0f * a,
                       _displayedColor.b / 255.0f * a, a);
  // The text program premultiplies the colour; texture coordinates below 0
  // read as full coverage.
  const Color4B colour(_displayedColor.r, _displayedColor.g, _displayedColor.b, _displayedOpacity);
  for (int i = 0; i < 4; ++i) {
    _verts[i].vertices = local[i];
    _verts[i].colors = colour;
    _verts[i].texCoords = Tex2F(-1.0f, -1.0f);
  }
  TrianglesCommand::Triangles tris;
  tris.verts = _verts;
  tris.vertCount = 4;
  tris.indices = _indices;
  tris.indexCount = 6;
  _trianglesCommand.init(_globalZOrder, 0, GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_LABEL_A8_COLOR),
                         _blendFunc, tris, transform, flags);
  _trianglesCommand.setSolid(true);
  if (renderer) renderer->addCommand(&_trianglesCommand);
}

NS_CC_END
