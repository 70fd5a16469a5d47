#include "engine/2d/ClippingProtocol.h"

#include "engine/renderer/Renderer.h"

NS_CC_BEGIN

void ClippingProtocol::beginScissor(Renderer* renderer) {
  _scissorPushed = false;
  if (!_clippingEnabled || !renderer) return;
  renderer->pushScissor(_clippingRect);
  _scissorPushed = true;
}

void ClippingProtocol::endScissor(Renderer* renderer) {
  if (!_scissorPushed || !renderer) return;
  renderer->popScissor();
  _scissorPushed = false;
}

NS_CC_END
