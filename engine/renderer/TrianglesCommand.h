// The sprite's command: indexed triangles with one texture, program state
// and blend function. Vertices go to view space on the CPU when the GL layer
// executes the command (model-view × vertex); the program then multiplies
// them by CC_PMatrix.
#pragma once

#include <memory>

#include "engine/base/ccGLTypes.h"
#include "engine/base/ccTypes.h"
#include "engine/renderer/RenderCommand.h"

NS_CC_BEGIN

class GLProgramState;

class TrianglesCommand : public RenderCommand {
 public:
  // Borrowed arrays (the node keeps them alive until the frame is rendered).
  struct Triangles {
    V3F_C4B_T2F* verts = nullptr;
    unsigned short* indices = nullptr;
    int vertCount = 0;
    int indexCount = 0;
  };

  TrianglesCommand();
  ~TrianglesCommand() override;

  // The program state's uniform values are copied here, through the hook
  // below, so that a state shared by several nodes cannot pass one node's
  // uniforms to another.
  void init(float globalOrder, GLuint textureID, GLProgramState* glProgramState, BlendFunc blendType,
            const Triangles& triangles, const Mat4& mv, uint32_t flags);

  GLuint getTextureID() const { return _textureID; }
  GLProgramState* getGLProgramState() const { return _glProgramState; }
  BlendFunc getBlendType() const { return _blendType; }
  const Triangles& getTriangles() const { return _triangles; }
  ssize_t getVertexCount() const { return _triangles.vertCount; }
  ssize_t getIndexCount() const { return _triangles.indexCount; }
  const V3F_C4B_T2F* getVertices() const { return _triangles.verts; }
  const unsigned short* getIndices() const { return _triangles.indices; }

  // Solid triangles read no texel (their texture coordinates lie below 0,
  // which the text program reads as fully covered): they may share a batch
  // with triangles of any texture. init() clears the flag.
  void setSolid(bool solid) { _solid = solid; }
  bool isSolid() const { return _solid; }

  // The uniform values captured by init (opaque here; written and read by
  // the GL layer).
  const std::shared_ptr<void>& getUniformSnapshot() const { return _uniformSnapshot; }

  // Installed by the GL layer: returns a copy of the state's uniform values.
  // Without a hook (headless) nothing is captured.
  typedef std::shared_ptr<void> (*UniformCaptureHook)(GLProgramState* state);
  static void setUniformCaptureHook(UniformCaptureHook hook);

 protected:
  GLuint _textureID = 0;
  GLProgramState* _glProgramState = nullptr;  // not retained; alive for the frame
  BlendFunc _blendType = BlendFunc::DISABLE;
  Triangles _triangles;
  bool _solid = false;
  std::shared_ptr<void> _uniformSnapshot;
};

NS_CC_END
