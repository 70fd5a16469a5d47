// A mixin for nodes that clip their own drawing to a window rectangle and
// may draw as 3-D commands (depth-tested, run before the 2-D ones).
//
// beginScissor/endScissor push and pop the clip rectangle on the
// renderer's scissor stack when one is set, and do nothing otherwise; the
// renderer records the top of the stack on every command submitted in
// between. The rectangle is in window pixels, origin bottom-left.
#pragma once

#include "engine/math/Geometry.h"

NS_CC_BEGIN

class Renderer;

class ClippingProtocol {
 public:
  virtual ~ClippingProtocol() = default;

  void setClippingRect(const Rect& rect) {
    _clippingRect = rect;
    _clippingEnabled = true;
  }
  void clearClippingRect() { _clippingEnabled = false; }
  const Rect& getClippingRect() const { return _clippingRect; }
  bool isClippingEnabled() const { return _clippingEnabled; }

  // Commands of the node become 3-D commands.
  void enableDepthTest(bool on) { _depthTest = on; }
  bool isDepthTest() const { return _depthTest; }

  void beginScissor(Renderer* renderer);
  void endScissor(Renderer* renderer);

 protected:
  Rect _clippingRect;
  bool _clippingEnabled = false;
  bool _depthTest = false;
  bool _scissorPushed = false;
};

NS_CC_END
