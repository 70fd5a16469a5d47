#include "engine/renderer/TrianglesCommand.h"

#include <atomic>

NS_CC_BEGIN

namespace {
std::atomic<TrianglesCommand::UniformCaptureHook> g_captureHook{nullptr};
}

TrianglesCommand::TrianglesCommand() { _type = Type::TRIANGLES_COMMAND; }

TrianglesCommand::~TrianglesCommand() = default;

void TrianglesCommand::setUniformCaptureHook(UniformCaptureHook hook) { g_captureHook.store(hook); }

void TrianglesCommand::init(float globalOrder, GLuint textureID, GLProgramState* glProgramState,
                            BlendFunc blendType, const Triangles& triangles, const Mat4& mv,
                            uint32_t flags) {
  RenderCommand::init(globalOrder, mv, flags);
  _textureID = textureID;
  _glProgramState = glProgramState;
  _blendType = blendType;
  _triangles = triangles;
  _solid = false;
  // Triangles need whole triples of indices.
  if (_triangles.indexCount % 3 != 0) _triangles.indexCount -= _triangles.indexCount % 3;
  UniformCaptureHook hook = g_captureHook.load();
  _uniformSnapshot = (hook && glProgramState) ? hook(glProgramState) : nullptr;
}

NS_CC_END
