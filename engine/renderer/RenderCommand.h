// A unit of drawing submitted to the Renderer during a visit. The GL layer
// executes commands; headless they are collected and discarded.
#pragma once

#include <cstdint>

#include "engine/base/ccMacros.h"
#include "engine/math/Mat4.h"

NS_CC_BEGIN

class RenderCommand {
 public:
  enum class Type { UNKNOWN_COMMAND, CUSTOM_COMMAND, TRIANGLES_COMMAND, GROUP_COMMAND, MESH_COMMAND, PRIMITIVE_COMMAND };

  virtual ~RenderCommand() = default;

  // globalZ: the 2-D sort key; transform: the model-view the node drew with.
  void init(float globalZOrder, const Mat4& modelViewTransform, uint32_t flags);

  Type getType() const { return _type; }
  float getGlobalOrder() const { return _globalOrder; }
  // 3-D commands run first in a pass, with depth test and depth write on,
  // in submission order.
  void set3D(bool value) { _is3D = value; }
  bool is3D() const { return _is3D; }
  // Depth of the command's origin in view space (kept for 3-D sorting
  // callers; the renderer keeps submission order).
  float getDepth() const { return _depth; }
  const Mat4& getModelViewTransform() const { return _mv; }

  void setSkipBatching(bool value) { _isSkipBatching = value; }
  bool isSkipBatching() const { return _isSkipBatching; }

 protected:
  RenderCommand() = default;

  Type _type = Type::UNKNOWN_COMMAND;
  float _globalOrder = 0;
  bool _is3D = false;
  bool _isSkipBatching = false;
  float _depth = 0;
  Mat4 _mv;
};

NS_CC_END
