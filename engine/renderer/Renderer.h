// Collects the commands of one camera pass and runs them.
//
// addCommand records, per command, the pass, the 3-D flag, the global z,
// the scissor rectangle active at submission (the top of the scissor stack)
// and the submission index. render() runs the pass: the 3-D commands first
// in submission order (depth test and write on, LEQUAL), then the 2-D ones
// without depth test, stable-sorted by global z; then the queue is emptied.
//
// The GL work sits behind RendererBackend, which the GL layer installs.
// Without a backend (headless) commands are collected and discarded, so
// visit-time logic runs without GL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/base/ccTypes.h"
#include "engine/math/Geometry.h"
#include "engine/math/Mat4.h"

NS_CC_BEGIN

class Camera;
class RenderCommand;

// A command as queued for execution.
struct QueuedRenderCommand {
  RenderCommand* command = nullptr;
  unsigned int pass = 0;        // pass index within the frame
  bool is3D = false;
  float globalZ = 0;
  bool scissorEnabled = false;  // a scissor rectangle was active
  Rect scissorRect;             // window pixels, origin bottom-left
  size_t submissionIndex = 0;   // order of addCommand within the pass
};

// The GL side of the renderer. Every call is on the UI thread.
class RendererBackend {
 public:
  virtual ~RendererBackend() = default;
  // Start of a frame: clear colour and depth with clearColor.
  virtual void beginFrame(const Color4F& clearColor) { (void)clearColor; }
  // Start of a camera pass: clear depth, full-framebuffer viewport.
  // projection = additional projection × projection; view = getViewMatrix().
  virtual void beginPass(Camera* camera, const Mat4& projection, const Mat4& view) {
    (void)camera; (void)projection; (void)view;
  }
  // Before the 3-D commands (depth test and write on, LEQUAL) and before the
  // 2-D ones (depth test off).
  virtual void begin3D() {}
  virtual void begin2D() {}
  // Runs one command: set the scissor from the record, draw, restore state.
  virtual void execute(const QueuedRenderCommand& command) { (void)command; }
  virtual void endPass() {}
  virtual void endFrame() {}
  // The viewport over the whole framebuffer.
  virtual void applyViewport() {}
};

class Renderer {
 public:
  Renderer();
  ~Renderer();

  // Takes ownership; null returns to discarding (headless).
  void setBackend(std::unique_ptr<RendererBackend> backend);
  RendererBackend* getBackend() const { return _backend.get(); }

  void addCommand(RenderCommand* command);
  // Runs and empties the queue of the current pass.
  void render();
  // Drops queued commands without running them.
  void clean();

  // Frame and pass bracketing (called by the Director and the scene).
  void beginFrame(const Color4F& clearColor);
  void beginPass(Camera* camera);
  void endPass();
  void endFrame();
  // Index of the current pass in the frame (0-based) and passes begun this
  // frame.
  unsigned int getCurrentPass() const { return _pass; }
  unsigned int getPassCount() const { return _passCount; }
  // The current pass's camera and matrices (programs use the projection as
  // CC_PMatrix).
  Camera* getPassCamera() const { return _passCamera; }
  const Mat4& getPassProjection() const { return _passProjection; }
  const Mat4& getPassView() const { return _passView; }

  // Scissor stack, in window pixels (world space), origin bottom-left. A
  // pushed rectangle is intersected with the one below it.
  void pushScissor(const Rect& worldRect);
  void popScissor();
  bool isScissorEnabled() const { return !_scissorStack.empty(); }
  Rect getScissorRect() const { return _scissorStack.empty() ? Rect::ZERO : _scissorStack.back(); }

  // Always true: nothing is culled, so windows' cameras see every node.
  bool checkVisibility(const Mat4& transform, const Size& size) const;

  // Counters of the current frame (reset by beginFrame).
  void addDrawnBatches(ssize_t number) { _drawnBatches += number; }
  void addDrawnVertices(ssize_t number) { _drawnVertices += number; }
  ssize_t getDrawnBatches() const { return _drawnBatches; }
  ssize_t getDrawnVertices() const { return _drawnVertices; }
  // Commands submitted this frame (all passes).
  size_t getSubmittedCommandCount() const { return _submittedThisFrame; }
  // Commands queued in the current pass.
  const std::vector<QueuedRenderCommand>& getQueue() const { return _queue; }

  void setClearColor(const Color4F& color) { _clearColor = color; }
  const Color4F& getClearColor() const { return _clearColor; }

  void applyViewport();

 private:
  std::unique_ptr<RendererBackend> _backend;
  std::vector<QueuedRenderCommand> _queue;
  std::vector<QueuedRenderCommand*> _order;
  std::vector<Rect> _scissorStack;
  unsigned int _pass = 0;
  unsigned int _passCount = 0;
  bool _inPass = false;
  Camera* _passCamera = nullptr;
  Mat4 _passProjection;
  Mat4 _passView;
  Color4F _clearColor;
  ssize_t _drawnBatches = 0;
  ssize_t _drawnVertices = 0;
  size_t _submittedThisFrame = 0;
};

NS_CC_END
