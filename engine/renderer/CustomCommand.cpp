#include "engine/renderer/CustomCommand.h"

NS_CC_BEGIN

CustomCommand::CustomCommand() { _type = Type::CUSTOM_COMMAND; }

void CustomCommand::init(float globalZOrder) { _globalOrder = globalZOrder; }

void CustomCommand::init(float globalZOrder, const Mat4& modelViewTransform, uint32_t flags) {
  RenderCommand::init(globalZOrder, modelViewTransform, flags);
}

NS_CC_END
