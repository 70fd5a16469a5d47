// The GL execution of render commands (installed by the windowed view).
//
// Per frame: the colour and depth buffers are cleared once with the clear
// colour. Per camera pass: depth is cleared, the pass projection becomes
// CC_PMatrix, 3-D commands run with depth test and write on (LEQUAL), then
// the 2-D commands without depth test. Every command sets its own scissor
// (or none). After a custom command the engine state is restored: program
// 0, VAO 0, array buffer 0, texture unit 0 active, blending ONE,
// ONE_MINUS_SRC_ALPHA, line width 1, no stipple, the phase's depth state.
//
// Triangles commands: vertices are moved to view space on the CPU
// (model-view x vertex); consecutive commands with the same texture,
// program state, blend function, scissor and uniform values are drawn as
// one batch from client memory with the command's
// program (which multiplies by CC_PMatrix), texture on unit 0, blend
// function and the uniform values copied when the command was initialised.
// Solid triangles (TrianglesCommand::isSolid) read no texel and join a
// batch whatever its texture.
//
// Custom commands with a batch tag (CustomCommand::batchTag) wait while the
// next command has the same tag and scissor; the run then goes to the first
// command's batchFunc, and the engine state is restored once after it.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/Renderer.h"

NS_CC_BEGIN

class CustomCommand;

class RendererGL : public RendererBackend {
 public:
  RendererGL();
  ~RendererGL() override;

  void beginFrame(const Color4F& clearColor) override;
  void beginPass(Camera* camera, const Mat4& projection, const Mat4& view) override;
  void begin3D() override;
  void begin2D() override;
  void execute(const QueuedRenderCommand& command) override;
  void endPass() override;
  void endFrame() override;
  void applyViewport() override;

  // Runs once after the next frame has been rendered (before the swap),
  // with the back buffer still readable. UI thread.
  void runAfterNextFrame(std::function<void()> fn);

  // Installs the uniform snapshot hook of TrianglesCommand.
  static void installHooks();

 private:
  void restoreState();
  void addTriangles(const QueuedRenderCommand& q);
  // Draws the pending batch of triangles commands.
  void flush();
  // Runs the pending custom commands that share a batch tag.
  void flushCustomRun();

  struct Batch {
    GLuint texture = 0;
    bool solidOnly = false;  // only solid triangles so far
    GLProgramState* state = nullptr;
    BlendFunc blend = BlendFunc::DISABLE;
    bool scissorEnabled = false;
    Rect scissorRect;
    std::shared_ptr<void> snapshot;
    const std::vector<UniformValue>* uniforms = nullptr;
  };

  bool _phase3D = false;
  bool _batchOpen = false;
  Batch _batch;
  std::vector<V3F_C4B_T2F> _verts;
  std::vector<unsigned short> _indices;
  std::vector<std::function<void()>> _afterFrame;
  std::vector<CustomCommand*> _customRun;
  bool _customRunScissor = false;
  Rect _customRunRect;
};

NS_CC_END
