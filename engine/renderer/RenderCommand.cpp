#include "engine/renderer/RenderCommand.h"

NS_CC_BEGIN

void RenderCommand::init(float globalZOrder, const Mat4& modelViewTransform, uint32_t flags) {
  (void)flags;
  _globalOrder = globalZOrder;
  _mv = modelViewTransform;
  _depth = modelViewTransform.m[14];
}

NS_CC_END
