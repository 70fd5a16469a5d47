// A command whose drawing is a function. The function runs on the UI thread
// inside Renderer::render of the GL layer (never headless). On entry the
// current program is unspecified, VAO 0 and array buffer 0 are bound and
// blending is on; the function sets what it needs. Afterwards the engine
// restores its own state (program, VAO 0, buffer 0, texture unit 0, blend
// function).
//
// Commands of one kind may also be drawn together: consecutive commands
// with the same non-null batchTag and the same scissor are handed, in
// submission order, to the batchFunc of the first one, which then draws them
// all (and their own funcs do not run). A run of one command runs its func.
#pragma once

#include <cstddef>
#include <functional>

#include "engine/renderer/RenderCommand.h"

NS_CC_BEGIN

class CustomCommand : public RenderCommand {
 public:
  CustomCommand();

  void init(float globalZOrder);
  void init(float globalZOrder, const Mat4& modelViewTransform, uint32_t flags);

  void execute() {
    if (func) func();
  }

  std::function<void()> func;
  // Identifies the commands that batchFunc knows how to draw together.
  const void* batchTag = nullptr;
  std::function<void(CustomCommand* const* run, size_t count)> batchFunc;
};

NS_CC_END
