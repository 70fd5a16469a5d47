#include "engine/renderer/Renderer.h"

#include <algorithm>

#include "engine/2d/Camera.h"
#include "engine/base/ccLog.h"
#include "engine/renderer/RenderCommand.h"

NS_CC_BEGIN

Renderer::Renderer() = default;
Renderer::~Renderer() = default;

void Renderer::setBackend(std::unique_ptr<RendererBackend> backend) { _backend = std::move(backend); }

void Renderer::addCommand(RenderCommand* command) {
  if (!command) return;
  QueuedRenderCommand q;
  q.command = command;
  q.pass = _pass;
  q.is3D = command->is3D();
  q.globalZ = command->getGlobalOrder();
  q.scissorEnabled = !_scissorStack.empty();
  if (q.scissorEnabled) q.scissorRect = _scissorStack.back();
  q.submissionIndex = _queue.size();
  _queue.push_back(q);
  ++_submittedThisFrame;
}

void Renderer::render() {
  if (_backend && !_queue.empty()) {
    _order.clear();
    for (auto& q : _queue)
      if (q.is3D) _order.push_back(&q);
    const size_t n3D = _order.size();
    for (auto& q : _queue)
      if (!q.is3D) _order.push_back(&q);
    std::stable_sort(_order.begin() + static_cast<std::ptrdiff_t>(n3D), _order.end(),
                     [](const QueuedRenderCommand* a, const QueuedRenderCommand* b) { return a->globalZ < b->globalZ; });
    if (n3D > 0) {
      _backend->begin3D();
      for (size_t i = 0; i < n3D; ++i) _backend->execute(*_order[i]);
    }
    _backend->begin2D();
    for (size_t i = n3D; i < _order.size(); ++i) _backend->execute(*_order[i]);
    _order.clear();
  }
  _queue.clear();
}

void Renderer::clean() { _queue.clear(); }

void Renderer::beginFrame(const Color4F& clearColor) {
  _clearColor = clearColor;
  _pass = 0;
  _passCount = 0;
  _drawnBatches = _drawnVertices = 0;
  _submittedThisFrame = 0;
  _queue.clear();
  _scissorStack.clear();
  if (_backend) _backend->beginFrame(clearColor);
}

void Renderer::beginPass(Camera* camera) {
  if (_inPass) endPass();
  _inPass = true;
  _pass = _passCount++;
  _passCamera = camera;
  if (camera) {
    _passProjection = camera->getAdditionalProjection() * camera->getProjectionMatrix();
    _passView = camera->getViewMatrix();
  } else {
    _passProjection = Mat4::IDENTITY;
    _passView = Mat4::IDENTITY;
  }
  _queue.clear();
  if (!_scissorStack.empty()) {
    log("Renderer: scissor stack not empty at the start of a pass; cleared");
    _scissorStack.clear();
  }
  if (_backend) _backend->beginPass(camera, _passProjection, _passView);
}

void Renderer::endPass() {
  if (!_inPass) return;
  render();
  if (_backend) _backend->endPass();
  _scissorStack.clear();
  _inPass = false;
  _passCamera = nullptr;
}

void Renderer::endFrame() {
  endPass();
  if (_backend) _backend->endFrame();
}

void Renderer::pushScissor(const Rect& worldRect) {
  Rect r = worldRect;
  if (r.size.width < 0) {
    r.origin.x += r.size.width;
    r.size.width = -r.size.width;
  }
  if (r.size.height < 0) {
    r.origin.y += r.size.height;
    r.size.height = -r.size.height;
  }
  if (!_scissorStack.empty()) {
    const Rect& top = _scissorStack.back();
    const float x0 = std::max(r.getMinX(), top.getMinX()), y0 = std::max(r.getMinY(), top.getMinY());
    const float x1 = std::min(r.getMaxX(), top.getMaxX()), y1 = std::min(r.getMaxY(), top.getMaxY());
    r = Rect(x0, y0, std::max(0.0f, x1 - x0), std::max(0.0f, y1 - y0));
  }
  _scissorStack.push_back(r);
}

void Renderer::popScissor() {
  if (_scissorStack.empty()) {
    log("Renderer::popScissor: the scissor stack is empty");
    return;
  }
  _scissorStack.pop_back();
}

bool Renderer::checkVisibility(const Mat4&, const Size&) const { return true; }

void Renderer::applyViewport() {
  if (_backend) _backend->applyViewport();
}

NS_CC_END
