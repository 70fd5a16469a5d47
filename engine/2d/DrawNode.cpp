#include "engine/2d/DrawNode.h"

#include "engine/platform/CCGL.h"
#include "engine/renderer/GLProgramCache.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

namespace {
Color4B premultiplied(const Color4F& c) {
  auto clamp = [](float v) { return v < 0 ? 0.0f : (v > 1 ? 1.0f : v); };
  const float a = clamp(c.a);
  return Color4B(static_cast<uint8_t>(clamp(c.r) * a * 255 + 0.5f), static_cast<uint8_t>(clamp(c.g) * a * 255 + 0.5f),
                 static_cast<uint8_t>(clamp(c.b) * a * 255 + 0.5f), static_cast<uint8_t>(a * 255 + 0.5f));
}
}  // namespace

void DrawNode::drawLine(const Vec2& from, const Vec2& to, const Color4F& color) {
  const Color4B c = premultiplied(color);
  if (_lines.empty() || _lines.back().width != _lineWidth) _lines.push_back({_lineWidth, {}});
  _lines.back().vertices.push_back({from.x, from.y, 0, c});
  _lines.back().vertices.push_back({to.x, to.y, 0, c});
}

void DrawNode::drawRect(const Vec2& origin, const Vec2& dest, const Color4F& color) {
  drawLine(Vec2(origin.x, origin.y), Vec2(dest.x, origin.y), color);
  drawLine(Vec2(dest.x, origin.y), Vec2(dest.x, dest.y), color);
  drawLine(Vec2(dest.x, dest.y), Vec2(origin.x, dest.y), color);
  drawLine(Vec2(origin.x, dest.y), Vec2(origin.x, origin.y), color);
}

void DrawNode::drawSolidRect(const Vec2& origin, const Vec2& dest, const Color4F& color) {
  const Color4B c = premultiplied(color);
  const Vertex a{origin.x, origin.y, 0, c}, b{dest.x, origin.y, 0, c}, d{dest.x, dest.y, 0, c},
      e{origin.x, dest.y, 0, c};
  _triangles.insert(_triangles.end(), {a, b, d, a, d, e});
}

void DrawNode::clear() {
  _triangles.clear();
  _lines.clear();
}

void DrawNode::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
  beginScissor(renderer);
  Node::visit(renderer, parentTransform, parentFlags);
  endScissor(renderer);
}

void DrawNode::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
  if (!_triangles.empty()) {
    _customCommandTriangles.init(_globalZOrder, transform, flags);
    _customCommandTriangles.set3D(isDepthTest());
    _customCommandTriangles.func = [this, transform] { onDrawTriangles(transform); };
    renderer->addCommand(&_customCommandTriangles);
  }
  if (!_lines.empty()) {
    _customCommandLines.init(_globalZOrder, transform, flags);
    _customCommandLines.set3D(isDepthTest());
    _customCommandLines.func = [this, transform] { onDrawLines(transform); };
    renderer->addCommand(&_customCommandLines);
  }
}

static void bindVertices(const DrawNode::Vertex* v) {
  glBindVertexArray(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  GL::enableVertexAttribs(VERTEX_ATTRIB_FLAG_POSITION | VERTEX_ATTRIB_FLAG_COLOR);
  const auto* base = reinterpret_cast<const char*>(v);
  glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_POSITION, 3, GL_FLOAT, GL_FALSE, sizeof(DrawNode::Vertex),
                        base + offsetof(DrawNode::Vertex, x));
  glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(DrawNode::Vertex),
                        base + offsetof(DrawNode::Vertex, color));
}

void DrawNode::onDrawTriangles(const Mat4& transform) {
  GLProgram* p = GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_COLOR);
  if (!p || _triangles.empty()) return;
  p->use();
  p->setUniformsForBuiltins(transform);
  GL::blendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  bindVertices(_triangles.data());
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(_triangles.size()));
}

void DrawNode::onDrawLines(const Mat4& transform) {
  GLProgram* p = GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_COLOR);
  if (!p) return;
  p->use();
  p->setUniformsForBuiltins(transform);
  GL::blendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  for (const auto& batch : _lines) {
    glLineWidth(batch.width);
    bindVertices(batch.vertices.data());
    glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(batch.vertices.size()));
  }
  glLineWidth(1.0f);
}

NS_CC_END
