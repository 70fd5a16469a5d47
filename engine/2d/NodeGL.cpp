// The GL parts of Node and LayerColor: program states and the colour
// layer's quad.
#include "engine/2d/Layer.h"
#include "engine/2d/Node.h"
#include "engine/platform/CCGL.h"
#include "engine/renderer/GLProgramCache.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

GLProgramState* Node::getGLProgramState() const { return static_cast<GLProgramState*>(_glProgramState); }

void Node::setGLProgramState(GLProgramState* state) {
  if (state == _glProgramState) return;
  CC_SAFE_RETAIN(state);
  CC_SAFE_RELEASE(_glProgramState);
  _glProgramState = state;
}

GLProgram* Node::getGLProgram() const {
  GLProgramState* s = getGLProgramState();
  return s ? s->getGLProgram() : nullptr;
}

void Node::setGLProgram(GLProgram* program) {
  if (!program) {
    setGLProgramState(nullptr);
    return;
  }
  if (getGLProgram() == program) return;
  setGLProgramState(GLProgramState::create(program));
}

namespace {

// The quad arrives in view space with a premultiplied colour.
void drawLayerColor(const LayerColor& layer) {
  GLProgram* p = GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_COLOR);
  if (!p) return;
  p->use();
  p->setUniformsForBuiltins(Mat4::IDENTITY);
  const Vec3* v = layer.getQuadVertices();
  const float pos[12] = {v[0].x, v[0].y, v[0].z, v[1].x, v[1].y, v[1].z,
                         v[2].x, v[2].y, v[2].z, v[3].x, v[3].y, v[3].z};
  const Color4F c = layer.getQuadColor();
  const float col[16] = {c.r, c.g, c.b, c.a, c.r, c.g, c.b, c.a, c.r, c.g, c.b, c.a, c.r, c.g, c.b, c.a};
  glBindVertexArray(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  GL::enableVertexAttribs(VERTEX_ATTRIB_FLAG_POSITION | VERTEX_ATTRIB_FLAG_COLOR);
  glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_POSITION, 3, GL_FLOAT, GL_FALSE, 0, pos);
  glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_FLOAT, GL_FALSE, 0, col);
  const BlendFunc bf = layer.getBlendFunc();
  GL::blendFunc(bf.src, bf.dst);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

}  // namespace

void installLayerColorDrawHook() { LayerColor::setDrawHook(&drawLayerColor); }

NS_CC_END
