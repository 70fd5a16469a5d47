#include "imaging/view/isNodeLine.h"

#include "engine/platform/CCGL.h"
#include "engine/renderer/ccGLStateCache.h"

namespace isImageSDK {


bool isNodeLine::init() {
  if (!cocos2d::Node::init()) return false;
  lineWidth = 4;
  setGLProgramState(
      cocos2d::GLProgramState::getOrCreateWithGLProgramName(cocos2d::GLProgram::SHADER_NAME_POSITION_COLOR));
  // Only the window cameras draw it, never the default camera.
  removeCameraMask(1, true);
  return true;
}

void isNodeLine::cleanup() { cocos2d::Node::cleanup(); }

void isNodeLine::addLine(const cocos2d::Vec3& from, const cocos2d::Vec3& to, const cocos2d::Color4F& color) {
  const cocos2d::Color4B c(color);
  vertices.push_back(Vertex{from.x, from.y, from.z, c.r, c.g, c.b, c.a});
  vertices.push_back(Vertex{to.x, to.y, to.z, c.r, c.g, c.b, c.a});
}

void isNodeLine::draw(cocos2d::Renderer* renderer, const cocos2d::Mat4& transform, uint32_t flags) {
  if (vertices.empty()) return;
  beginScissor(renderer);
  command.init(_globalZOrder, transform, flags);
  command.func = [this, transform, flags] { onDraw(transform, flags); };
  if (isDepthTest()) command.set3D(true);
  renderer->addCommand(&command);
  endScissor(renderer);
}

void isNodeLine::onDraw(const cocos2d::Mat4& transform, uint32_t /*flags*/) {
  cocos2d::GLProgram* program = getGLProgram();
  if (!program || vertices.empty()) return;
  program->use();
  program->setUniformsForBuiltins(transform);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  // Through the state cache so that later engine draws see the right set.
  cocos2d::GL::enableVertexAttribs(cocos2d::VERTEX_ATTRIB_FLAG_POSITION | cocos2d::VERTEX_ATTRIB_FLAG_COLOR);
  const auto* base = reinterpret_cast<const char*>(vertices.data());
  glVertexAttribPointer(cocos2d::GLProgram::VERTEX_ATTRIB_POSITION, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), base);
  glVertexAttribPointer(cocos2d::GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex),
                        base + 12);
  glLineWidth(static_cast<float>(lineWidth));
  glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(vertices.size()));
}

}  // namespace isImageSDK
