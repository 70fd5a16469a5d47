#include "engine/renderer/TrianglesCommand.h"

NS_CC_BEGIN

TrianglesCommand::TrianglesCommand() { _type = Type::TRIANGLES_COMMAND; }

TrianglesCommand::~TrianglesCommand() = default;

void TrianglesCommand::init(float globalOrder, GLuint textureID, GLProgramState* glProgramState,
                            BlendFunc blendType, const Triangles& triangles, const Mat4& mv,
                            uint32_t flags) {
  RenderCommand::init(globalOrder, mv, flags);
  _textureID = textureID;
  _glProgramState = glProgramState;
  _blendType = blendType;
  _triangles = triangles;
  // Triangles need whole triples of indices.
  if (_triangles.indexCount % 3 != 0) _triangles.indexCount -= _triangles.indexCount % 3;
  if (glProgramState) _uniformValues = glProgramState->getUniformValues();
  else _uniformValues.clear();
}

NS_CC_END
