#include "engine/renderer/RendererGL.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "engine/base/Director.h"
#include "engine/platform/CCGL.h"
#include "engine/platform/GLView.h"
#include "engine/renderer/CustomCommand.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/TrianglesCommand.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

namespace {

std::shared_ptr<void> captureUniforms(GLProgramState* state) {
  if (!state) return nullptr;
  return std::make_shared<std::vector<UniformValue>>(state->getUniformValues());
}

void framebufferSize(GLint* w, GLint* h) {
  GLint vp[4] = {0, 0, 0, 0};
  GLView* view = Director::getInstance()->getOpenGLView();
  if (view) {
    *w = static_cast<GLint>(view->getFrameSize().width);
    *h = static_cast<GLint>(view->getFrameSize().height);
    return;
  }
  glGetIntegerv(GL_VIEWPORT, vp);
  *w = vp[2];
  *h = vp[3];
}

}  // namespace

void RendererGL::installHooks() {
  TrianglesCommand::setUniformCaptureHook(&captureUniforms);
}

RendererGL::RendererGL() { installHooks(); }

RendererGL::~RendererGL() = default;

void RendererGL::applyViewport() {
  if (!GL::isContextReady()) return;
  GLint w = 0, h = 0;
  framebufferSize(&w, &h);
  glViewport(0, 0, w, h);
}

void RendererGL::beginFrame(const Color4F& c) {
  if (!GL::isContextReady()) return;
  applyViewport();
  glDisable(GL_SCISSOR_TEST);
  glDepthMask(GL_TRUE);
  glClearColor(c.r, c.g, c.b, c.a);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  restoreState();
}

void RendererGL::beginPass(Camera*, const Mat4& projection, const Mat4&) {
  GLProgram::setPassProjection(projection);
  if (!GL::isContextReady()) return;
  applyViewport();
  glDisable(GL_SCISSOR_TEST);
  glDepthMask(GL_TRUE);
  glClear(GL_DEPTH_BUFFER_BIT);
}

void RendererGL::begin3D() {
  flushCustomRun();
  flush();
  _phase3D = true;
  if (!GL::isContextReady()) return;
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glDepthFunc(GL_LEQUAL);
}

void RendererGL::begin2D() {
  flushCustomRun();
  flush();
  _phase3D = false;
  if (!GL::isContextReady()) return;
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
}

void RendererGL::restoreState() {
  glUseProgram(0);
  glBindVertexArray(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  for (GLuint i = 0; i < 3; ++i) glDisableVertexAttribArray(i);
  glActiveTexture(GL_TEXTURE0);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glLineWidth(1.0f);
  glDisable(GL_LINE_STIPPLE);
  if (_phase3D) {
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LEQUAL);
  } else {
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
  }
}

namespace {

bool sameUniforms(const std::vector<UniformValue>* a, const std::vector<UniformValue>* b) {
  if (a == b) return true;
  const size_t na = a ? a->size() : 0, nb = b ? b->size() : 0;
  if (na != nb) return false;
  for (size_t i = 0; i < na; ++i) {
    const UniformValue& x = (*a)[i];
    const UniformValue& y = (*b)[i];
    if (x.name != y.name || x.type != y.type || x.i != y.i || x.texture != y.texture ||
        std::memcmp(x.f, y.f, sizeof x.f) != 0)
      return false;
  }
  return true;
}

void setScissor(bool enabled, const Rect& r) {
  if (!enabled) {
    glDisable(GL_SCISSOR_TEST);
    return;
  }
  const GLint x0 = static_cast<GLint>(std::floor(r.origin.x + 0.5f));
  const GLint y0 = static_cast<GLint>(std::floor(r.origin.y + 0.5f));
  const GLint x1 = static_cast<GLint>(std::floor(r.origin.x + r.size.width + 0.5f));
  const GLint y1 = static_cast<GLint>(std::floor(r.origin.y + r.size.height + 0.5f));
  glEnable(GL_SCISSOR_TEST);
  glScissor(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
}

}  // namespace

void RendererGL::execute(const QueuedRenderCommand& q) {
  if (!GL::isContextReady() || !q.command) return;
  switch (q.command->getType()) {
    case RenderCommand::Type::CUSTOM_COMMAND: {
      auto* custom = static_cast<CustomCommand*>(q.command);
      flush();
      if (custom->batchTag && custom->batchFunc) {
        if (!_customRun.empty() &&
            (_customRun.front()->batchTag != custom->batchTag || _customRunScissor != q.scissorEnabled ||
             (q.scissorEnabled && !_customRunRect.equals(q.scissorRect))))
          flushCustomRun();
        if (_customRun.empty()) {
          _customRunScissor = q.scissorEnabled;
          _customRunRect = q.scissorRect;
        }
        _customRun.push_back(custom);
        break;
      }
      flushCustomRun();
      setScissor(q.scissorEnabled, q.scissorRect);
      custom->execute();
      restoreState();
      break;
    }
    case RenderCommand::Type::TRIANGLES_COMMAND:
      flushCustomRun();
      addTriangles(q);
      break;
    default:
      break;
  }
}

// Consecutive triangles commands with the same texture, program state,
// blend function, scissor and uniform values are drawn with one call.
void RendererGL::addTriangles(const QueuedRenderCommand& q) {
  auto* cmd = static_cast<TrianglesCommand*>(q.command);
  const auto& tri = cmd->getTriangles();
  GLProgramState* state = cmd->getGLProgramState();
  if (!state || !state->getGLProgram() || !tri.verts || !tri.indices || tri.vertCount <= 0 ||
      tri.indexCount <= 0 || tri.vertCount > 65536)
    return;
  auto snapshot = cmd->getUniformSnapshot();
  const auto* uniforms = snapshot ? static_cast<const std::vector<UniformValue>*>(snapshot.get())
                                  : &state->getUniformValues();
  // Solid triangles read no texel, so they join a batch of any texture, and
  // a batch of solid triangles alone takes the texture of the next one.
  const bool solid = cmd->isSolid();
  const bool compatible =
      _batchOpen && (solid || _batch.solidOnly || _batch.texture == cmd->getTextureID()) && _batch.state == state &&
      _batch.blend == cmd->getBlendType() && _batch.scissorEnabled == q.scissorEnabled &&
      (!q.scissorEnabled || _batch.scissorRect.equals(q.scissorRect)) &&
      sameUniforms(_batch.uniforms, uniforms) && _verts.size() + tri.vertCount <= 65536;
  if (!compatible) {
    flush();
    _batchOpen = true;
    _batch.solidOnly = solid;
    _batch.texture = cmd->getTextureID();
    _batch.state = state;
    _batch.blend = cmd->getBlendType();
    _batch.scissorEnabled = q.scissorEnabled;
    _batch.scissorRect = q.scissorRect;
  }
  if (_batch.solidOnly && !solid) {
    _batch.solidOnly = false;
    _batch.texture = cmd->getTextureID();
  }
  // Keep the snapshot alive while the batch uses it.
  _batch.snapshot = snapshot;
  _batch.uniforms = uniforms;
  const size_t base = _verts.size();
  _verts.insert(_verts.end(), tri.verts, tri.verts + tri.vertCount);
  const Mat4& mv = cmd->getModelViewTransform();
  for (size_t i = base; i < _verts.size(); ++i) mv.transformPoint(&_verts[i].vertices);
  for (int i = 0; i < tri.indexCount; ++i)
    _indices.push_back(static_cast<unsigned short>(base + tri.indices[i]));
}

void RendererGL::flush() {
  if (!_batchOpen) return;
  _batchOpen = false;
  if (_verts.empty() || _indices.empty() || !GL::isContextReady()) {
    _verts.clear();
    _indices.clear();
    return;
  }
  setScissor(_batch.scissorEnabled, _batch.scissorRect);
  GLProgram* program = _batch.state->getGLProgram();
  program->use();
  program->setUniformsForBuiltins(Mat4::IDENTITY);
  GLProgramState::applyUniformValues(program, *_batch.uniforms);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, _batch.texture);
  GL::blendFunc(_batch.blend.src, _batch.blend.dst);

  glBindVertexArray(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  GL::enableVertexAttribs(VERTEX_ATTRIB_FLAG_POS_COLOR_TEX);
  const auto* base = reinterpret_cast<const char*>(_verts.data());
  const GLsizei stride = sizeof(V3F_C4B_T2F);
  glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_POSITION, 3, GL_FLOAT, GL_FALSE, stride,
                        base + offsetof(V3F_C4B_T2F, vertices));
  glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                        base + offsetof(V3F_C4B_T2F, colors));
  glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_TEX_COORD, 2, GL_FLOAT, GL_FALSE, stride,
                        base + offsetof(V3F_C4B_T2F, texCoords));
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(_indices.size()), GL_UNSIGNED_SHORT, _indices.data());
  if (auto* director = Director::getInstance()) {
    if (auto* renderer = director->getRenderer()) {
      renderer->addDrawnBatches(1);
      renderer->addDrawnVertices(static_cast<ssize_t>(_verts.size()));
    }
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  _verts.clear();
  _indices.clear();
  _batch.snapshot.reset();
  _batch.uniforms = nullptr;
}

void RendererGL::flushCustomRun() {
  if (_customRun.empty()) return;
  // Taken out first: a batch function may run commands that queue nothing,
  // but must not find its own run still pending.
  std::vector<CustomCommand*> run;
  run.swap(_customRun);
  if (GL::isContextReady()) {
    setScissor(_customRunScissor, _customRunRect);
    if (run.size() == 1) run.front()->execute();
    else run.front()->batchFunc(run.data(), run.size());
    restoreState();
  }
  run.clear();
  if (_customRun.empty()) _customRun.swap(run);  // keeps the capacity
}

void RendererGL::endPass() {
  flushCustomRun();
  flush();
  if (!GL::isContextReady()) return;
  glDisable(GL_SCISSOR_TEST);
}

void RendererGL::endFrame() {
  flushCustomRun();
  flush();
  if (GL::isContextReady()) {
    glDisable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
  }
  if (_afterFrame.empty()) return;
  auto fns = std::move(_afterFrame);
  _afterFrame.clear();
  for (auto& fn : fns) fn();
}

void RendererGL::runAfterNextFrame(std::function<void()> fn) { _afterFrame.push_back(std::move(fn)); }

NS_CC_END
