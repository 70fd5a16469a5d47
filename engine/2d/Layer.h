// Layer: a full-window node (content size = window size, anchor ignored)
// that can take touches. LayerColor: a layer drawn as a solid quad.
#pragma once

#include <functional>
#include <vector>

#include "engine/base/ccMacros.h"
#include "engine/2d/Node.h"
#include "engine/base/Touch.h"
#include "engine/renderer/CustomCommand.h"
#include "engine/renderer/TrianglesCommand.h"

NS_CC_BEGIN

class Event;
class EventListener;

class Layer : public Node {
 public:
  CREATE_FUNC(Layer)
  bool init() override;

  Layer();
  ~Layer() override;

  // Registers (or drops) a scene-graph touch listener that calls the
  // virtual handlers below. In ONE_BY_ONE mode (the default) the listener
  // swallows claimed touches unless setSwallowsTouches(false).
  virtual void setTouchEnabled(bool enabled);
  virtual bool isTouchEnabled() const { return _touchEnabled; }
  virtual void setTouchMode(Touch::DispatchMode mode);
  virtual Touch::DispatchMode getTouchMode() const { return _touchMode; }
  virtual void setSwallowsTouches(bool swallowsTouches);
  virtual bool isSwallowsTouches() const { return _swallowsTouches; }

  // One by one. The default onTouchBegan claims every touch.
  virtual bool onTouchBegan(Touch* touch, Event* event);
  virtual void onTouchMoved(Touch* touch, Event* event);
  virtual void onTouchEnded(Touch* touch, Event* event);
  virtual void onTouchCancelled(Touch* touch, Event* event);
  // All at once.
  virtual void onTouchesBegan(const std::vector<Touch*>& touches, Event* event);
  virtual void onTouchesMoved(const std::vector<Touch*>& touches, Event* event);
  virtual void onTouchesEnded(const std::vector<Touch*>& touches, Event* event);
  virtual void onTouchesCancelled(const std::vector<Touch*>& touches, Event* event);

 protected:
  void registerTouchListener();
  void unregisterTouchListener();

  bool _touchEnabled = false;
  Touch::DispatchMode _touchMode = Touch::DispatchMode::ONE_BY_ONE;
  bool _swallowsTouches = true;
  EventListener* _touchListener = nullptr;  // retained while registered
};

// A solid rectangle over the content size, in the node's colour and
// opacity, blended with premultiplied alpha (ONE, ONE_MINUS_SRC_ALPHA).
//
// draw() submits the quad as a solid TrianglesCommand with the text
// program (which premultiplies the vertex colour), so that consecutive
// layers and texts are drawn in one batch; headless it is discarded.
class LayerColor : public Layer {
 public:
  CREATE_FUNC(LayerColor)
  static LayerColor* create(const Color4B& color);
  static LayerColor* create(const Color4B& color, float width, float height);

  bool init() override;
  virtual bool initWithColor(const Color4B& color);
  virtual bool initWithColor(const Color4B& color, float width, float height);

  void changeWidth(float w);
  void changeHeight(float h);
  void changeWidthAndHeight(float w, float h);

  void setBlendFunc(const BlendFunc& blendFunc) { _blendFunc = blendFunc; }
  const BlendFunc& getBlendFunc() const { return _blendFunc; }

  void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;

  // Filled by draw(): the quad's corners in view space (bottom-left,
  // bottom-right, top-left, top-right) and its colour with the displayed
  // opacity, premultiplied.
  const Vec3* getQuadVertices() const { return _quadVertices; }
  const Color4F& getQuadColor() const { return _quadColor; }
  const TrianglesCommand& getTrianglesCommand() const { return _trianglesCommand; }

 protected:
  Vec3 _quadVertices[4];
  Color4F _quadColor;
  BlendFunc _blendFunc = BlendFunc::ALPHA_PREMULTIPLIED;
  TrianglesCommand _trianglesCommand;
  V3F_C4B_T2F _verts[4];
  unsigned short _indices[6] = {0, 1, 2, 2, 1, 3};
};

NS_CC_END
