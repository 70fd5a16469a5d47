#include "imaging/view/isDrawNode.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "engine/base/Configuration.h"
#include "engine/platform/CCGL.h"
#include "engine/renderer/ccGLStateCache.h"

namespace isImageSDK {

using cocos2d::V3F_C4B_T2F;

namespace {

constexpr GLsizei kStride = sizeof(V3F_C4B_T2F);
constexpr float kCircleStep = 0.12566371f;  // 2π / 50
constexpr int kCirclePoints = 51;
// The batch tag of the draw nodes' commands.
constexpr char kBatchTag = 0;

V3F_C4B_T2F vertex(const cocos2d::Vec3& p, const cocos2d::Color4F& c, float u = 0.0f) {
  V3F_C4B_T2F v;
  v.vertices = p;
  v.colors = cocos2d::Color4B(c);
  v.texCoords = cocos2d::Tex2F(u, 0.0f);
  return v;
}

void setAttributePointers() {
  glVertexAttribPointer(cocos2d::GLProgram::VERTEX_ATTRIB_POSITION, 3, GL_FLOAT, GL_FALSE, kStride,
                        reinterpret_cast<const void*>(0));
  glVertexAttribPointer(cocos2d::GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, kStride,
                        reinterpret_cast<const void*>(12));
  glVertexAttribPointer(cocos2d::GLProgram::VERTEX_ATTRIB_TEX_COORD, 2, GL_FLOAT, GL_FALSE, kStride,
                        reinterpret_cast<const void*>(16));
}

}  // namespace


isDrawNode::~isDrawNode() {
  std::free(buffer);
  std::free(bufferGLPoint);
  std::free(bufferGLLine);
  if (glReady && cocos2d::GL::isContextReady()) {
    const GLuint buffers[3] = {vbo, vboGLLine, vboGLPoint};
    glDeleteBuffers(3, buffers);
    if (glUsesVAO) {
      cocos2d::GL::bindVAO(0);
      const GLuint arrays[3] = {vao, vaoGLLine, vaoGLPoint};
      glDeleteVertexArrays(3, arrays);
    }
  }
}

bool isDrawNode::init() {
  if (!cocos2d::Node::init()) return false;
  blendFunc = cocos2d::BlendFunc::ALPHA_PREMULTIPLIED;
  setGLProgramState(cocos2d::GLProgramState::getOrCreateWithGLProgramName(
      cocos2d::GLProgram::SHADER_NAME_POSITION_LENGTH_TEXTURE_COLOR));
  ensureCapacity(bufferCapacity, buffer, bufferCount, 512);
  ensureCapacity(bufferCapacityGLPoint, bufferGLPoint, bufferCountGLPoint, 64);
  ensureCapacity(bufferCapacityGLLine, bufferGLLine, bufferCountGLLine, 256);
  dirty = dirtyGLPoint = dirtyGLLine = true;
  lineWidth = 4;
  const std::pair<DrawCommand*, Kind> commands[3] = {
      {&customCommand, TRIANGLES}, {&customCommandGLPoint, POINTS}, {&customCommandGLLine, LINES}};
  for (const auto& [command, kind] : commands) {
    command->node = this;
    command->kind = kind;
    command->batchTag = &kBatchTag;
    command->batchFunc = &isDrawNode::drawRun;
  }
  // The scene's default camera never draws it; the render window gives it
  // its scene camera's mask.
  removeCameraMask(1, true);
  return true;
}

void isDrawNode::ensureCapacity(int32_t& capacity, V3F_C4B_T2F*& array, int32_t count, int32_t n) {
  if (count + n <= capacity) return;
  const int32_t grown = capacity + std::max(capacity, n);
  auto* bigger = static_cast<V3F_C4B_T2F*>(std::realloc(array, static_cast<size_t>(grown) * sizeof(V3F_C4B_T2F)));
  if (!bigger) throw std::bad_alloc();
  std::memset(bigger + capacity, 0, static_cast<size_t>(grown - capacity) * sizeof(V3F_C4B_T2F));
  array = bigger;
  capacity = grown;
}

void isDrawNode::drawPoint(const cocos2d::Vec3& position, float pointSize, const cocos2d::Color4F& color) {
  ensureCapacity(bufferCapacityGLPoint, bufferGLPoint, bufferCountGLPoint, 1);
  bufferGLPoint[bufferCountGLPoint++] = vertex(position, color, pointSize);
  dirtyGLPoint = true;
}

void isDrawNode::drawLine(const cocos2d::Vec3& from, const cocos2d::Vec3& to, const cocos2d::Color4F& color) {
  ensureCapacity(bufferCapacityGLLine, bufferGLLine, bufferCountGLLine, 2);
  bufferGLLine[bufferCountGLLine++] = vertex(from, color);
  bufferGLLine[bufferCountGLLine++] = vertex(to, color);
  dirtyGLLine = true;
}

void isDrawNode::drawPoly(const cocos2d::Vec3* points, int count, bool /*closed*/, const cocos2d::Color4F& color) {
  if (!points || count < 1) return;
  ensureCapacity(bufferCapacityGLLine, bufferGLLine, bufferCountGLLine, 2 * count);
  for (int i = 0; i < count; ++i) {
    bufferGLLine[bufferCountGLLine++] = vertex(points[i], color);
    bufferGLLine[bufferCountGLLine++] = vertex(points[(i + 1) % count], color);
  }
  dirtyGLLine = true;
}

void isDrawNode::drawCircle(const cocos2d::Vec3& center, const cocos2d::Vec3& axisX, const cocos2d::Vec3& axisY,
                            float radius, float angle, int /*segments*/, bool /*drawLineToCenter*/, float scaleX,
                            float scaleY, const cocos2d::Color4F& color) {
  std::vector<cocos2d::Vec3> points(kCirclePoints);
  for (int i = 0; i < kCirclePoints; ++i) {
    const float theta = static_cast<float>(i) * kCircleStep + angle;
    points[static_cast<size_t>(i)] =
        center + axisX * (radius * std::cos(theta) * scaleX) + axisY * (radius * std::sin(theta) * scaleY);
  }
  drawPoly(points.data(), kCirclePoints, true, color);
}

void isDrawNode::clear() {
  bufferCount = bufferCountGLPoint = bufferCountGLLine = 0;
  dirty = dirtyGLPoint = dirtyGLLine = true;
  lineWidth = 4;
}

void isDrawNode::draw(cocos2d::Renderer* renderer, const cocos2d::Mat4& transform, uint32_t flags) {
  queuedCommands = 0;
  beginScissor(renderer);
  if (bufferCount > 0) {
    customCommand.init(_globalZOrder, transform, flags);
    customCommand.func = [this, transform, flags] { onDraw(transform, flags); };
    renderer->addCommand(&customCommand);
    ++queuedCommands;
  }
  if (bufferCountGLPoint > 0) {
    customCommandGLPoint.init(_globalZOrder, transform, flags);
    customCommandGLPoint.func = [this, transform, flags] { onDrawGLPoint(transform, flags); };
    renderer->addCommand(&customCommandGLPoint);
    ++queuedCommands;
  }
  if (bufferCountGLLine > 0) {
    customCommandGLLine.init(_globalZOrder, transform, flags);
    customCommandGLLine.func = [this, transform, flags] { onDrawGLLine(transform, flags); };
    renderer->addCommand(&customCommandGLLine);
    ++queuedCommands;
  }
  endScissor(renderer);
}

void isDrawNode::ensureGLObjects() {
  if (glReady) return;
  glReady = true;
  glUsesVAO = cocos2d::Configuration::getInstance()->supportsShareableVAO();
  struct Slot {
    GLuint* vao;
    GLuint* vbo;
    const V3F_C4B_T2F* array;
    int32_t capacity;
  } slots[3] = {{&vao, &vbo, buffer, bufferCapacity},
                {&vaoGLLine, &vboGLLine, bufferGLLine, bufferCapacityGLLine},
                {&vaoGLPoint, &vboGLPoint, bufferGLPoint, bufferCapacityGLPoint}};
  for (auto& s : slots) {
    if (glUsesVAO) {
      glGenVertexArrays(1, s.vao);
      cocos2d::GL::bindVAO(*s.vao);
    }
    glGenBuffers(1, s.vbo);
    glBindBuffer(GL_ARRAY_BUFFER, *s.vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(s.capacity) * kStride, s.array, GL_STREAM_DRAW);
    if (glUsesVAO) {
      for (GLuint a : {cocos2d::GLProgram::VERTEX_ATTRIB_POSITION, cocos2d::GLProgram::VERTEX_ATTRIB_COLOR,
                       cocos2d::GLProgram::VERTEX_ATTRIB_TEX_COORD})
        glEnableVertexAttribArray(a);
      setAttributePointers();
    }
  }
  if (glUsesVAO) cocos2d::GL::bindVAO(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  dirty = dirtyGLPoint = dirtyGLLine = true;
}

void isDrawNode::drawBuffer(cocos2d::GLProgram* program, const cocos2d::Mat4& transform, unsigned int vertexArray,
                            unsigned int vertexBuffer, const V3F_C4B_T2F* array, int32_t capacity, int32_t count,
                            bool& dirtyFlag, Uploaded& uploaded, unsigned int primitive, bool lines) {
  if (!program || count <= 0) return;
  program->use();
  program->setUniformsForBuiltins(transform);
  cocos2d::GL::blendFunc(blendFunc.src, blendFunc.dst);
  if (dirtyFlag) {
    // Rebuilt with the same vertices: the GL buffer already holds them.
    const bool same = uploaded.capacity == capacity && static_cast<size_t>(count) <= uploaded.vertices.size() &&
                      std::memcmp(uploaded.vertices.data(), array, static_cast<size_t>(count) * kStride) == 0;
    if (!same) {
      glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
      glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(capacity) * kStride, array, GL_STREAM_DRAW);
      uploaded.capacity = capacity;
      uploaded.vertices.assign(array, array + count);
      ++uploads;
    }
    dirtyFlag = false;
  }
  if (glUsesVAO) {
    cocos2d::GL::bindVAO(vertexArray);
  } else {
    cocos2d::GL::enableVertexAttribs(cocos2d::VERTEX_ATTRIB_FLAG_POS_COLOR_TEX);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    setAttributePointers();
  }
  if (lines) {
    if (lineStipple) {
      glLineStipple(2, 0x5555);
      glEnable(GL_LINE_STIPPLE);
    }
    glLineWidth(static_cast<float>(lineWidth));
  }
  glDrawArrays(primitive, 0, count);
  if (lines && lineStipple) glDisable(GL_LINE_STIPPLE);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  if (glUsesVAO) cocos2d::GL::bindVAO(0);
  if (auto* director = cocos2d::Director::getInstance()) {
    if (auto* renderer = director->getRenderer()) {
      renderer->addDrawnBatches(1);
      renderer->addDrawnVertices(count);
    }
  }
}

void isDrawNode::onDraw(const cocos2d::Mat4& transform, uint32_t) {
  ensureGLObjects();
  drawBuffer(getGLProgram(), transform, vao, vbo, buffer, bufferCapacity, bufferCount, dirty, uploaded, GL_TRIANGLES, false);
}

void isDrawNode::onDrawGLPoint(const cocos2d::Mat4& transform, uint32_t) {
  ensureGLObjects();
  auto* program =
      cocos2d::GLProgramCache::getInstance()->getGLProgram(cocos2d::GLProgram::SHADER_NAME_POSITION_COLOR_TEXASPOINTSIZE);
  drawBuffer(program, transform, vaoGLPoint, vboGLPoint, bufferGLPoint, bufferCapacityGLPoint, bufferCountGLPoint,
             dirtyGLPoint, uploadedGLPoint, GL_POINTS, false);
}

void isDrawNode::onDrawGLLine(const cocos2d::Mat4& transform, uint32_t) {
  ensureGLObjects();
  auto* program =
      cocos2d::GLProgramCache::getInstance()->getGLProgram(cocos2d::GLProgram::SHADER_NAME_POSITION_LENGTH_TEXTURE_COLOR);
  drawBuffer(program, transform, vaoGLLine, vboGLLine, bufferGLLine, bufferCapacityGLLine, bufferCountGLLine,
             dirtyGLLine, uploadedGLLine, GL_LINES, true);
}

cocos2d::GLProgram* isDrawNode::programFor(Kind kind) {
  switch (kind) {
    case TRIANGLES: return getGLProgram();
    case POINTS:
      return cocos2d::GLProgramCache::getInstance()->getGLProgram(
          cocos2d::GLProgram::SHADER_NAME_POSITION_COLOR_TEXASPOINTSIZE);
    case LINES:
      return cocos2d::GLProgramCache::getInstance()->getGLProgram(
          cocos2d::GLProgram::SHADER_NAME_POSITION_LENGTH_TEXTURE_COLOR);
  }
  return nullptr;
}

const V3F_C4B_T2F* isDrawNode::verticesOf(Kind kind, int32_t* count) const {
  switch (kind) {
    case TRIANGLES: *count = bufferCount; return buffer;
    case POINTS: *count = bufferCountGLPoint; return bufferGLPoint;
    case LINES: *count = bufferCountGLLine; return bufferGLLine;
  }
  *count = 0;
  return nullptr;
}

bool isDrawNode::canJoin(DrawCommand& a, DrawCommand& b) {
  if (!a.node || !b.node || a.kind != b.kind) return false;
  if (a.node->programFor(a.kind) != b.node->programFor(b.kind)) return false;
  if (!(a.node->blendFunc == b.node->blendFunc)) return false;
  if (a.kind == LINES && (a.node->lineWidth != b.node->lineWidth || a.node->lineStipple != b.node->lineStipple))
    return false;
  return std::memcmp(a.getModelViewTransform().m, b.getModelViewTransform().m, sizeof(float) * 16) == 0;
}

void isDrawNode::drawRun(cocos2d::CustomCommand* const* run, size_t count) {
  size_t i = 0;
  while (i < count) {
    auto* first = static_cast<DrawCommand*>(run[i]);
    size_t j = i + 1;
    while (j < count && canJoin(*first, *static_cast<DrawCommand*>(run[j]))) ++j;
    if (j - i == 1) first->execute();
    else drawJoined(run + i, j - i);
    i = j;
  }
}

void isDrawNode::drawJoined(cocos2d::CustomCommand* const* run, size_t count) {
  auto* first = static_cast<DrawCommand*>(run[0]);
  isDrawNode* node = first->node;
  cocos2d::GLProgram* program = node->programFor(first->kind);
  if (!program) return;
  static std::vector<V3F_C4B_T2F> joined;
  joined.clear();
  for (size_t i = 0; i < count; ++i) {
    auto* c = static_cast<DrawCommand*>(run[i]);
    int32_t n = 0;
    const V3F_C4B_T2F* v = c->node->verticesOf(c->kind, &n);
    if (v && n > 0) joined.insert(joined.end(), v, v + n);
  }
  if (joined.empty()) return;
  program->use();
  program->setUniformsForBuiltins(first->getModelViewTransform());
  cocos2d::GL::blendFunc(node->blendFunc.src, node->blendFunc.dst);
  cocos2d::GL::bindVAO(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  cocos2d::GL::enableVertexAttribs(cocos2d::VERTEX_ATTRIB_FLAG_POS_COLOR_TEX);
  const auto* base = reinterpret_cast<const char*>(joined.data());
  glVertexAttribPointer(cocos2d::GLProgram::VERTEX_ATTRIB_POSITION, 3, GL_FLOAT, GL_FALSE, kStride, base);
  glVertexAttribPointer(cocos2d::GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, kStride, base + 12);
  glVertexAttribPointer(cocos2d::GLProgram::VERTEX_ATTRIB_TEX_COORD, 2, GL_FLOAT, GL_FALSE, kStride, base + 16);
  const bool lines = first->kind == LINES;
  if (lines) {
    if (node->lineStipple) {
      glLineStipple(2, 0x5555);
      glEnable(GL_LINE_STIPPLE);
    }
    glLineWidth(static_cast<float>(node->lineWidth));
  }
  const GLenum primitive = first->kind == TRIANGLES ? GL_TRIANGLES : first->kind == POINTS ? GL_POINTS : GL_LINES;
  glDrawArrays(primitive, 0, static_cast<GLsizei>(joined.size()));
  if (lines && node->lineStipple) glDisable(GL_LINE_STIPPLE);
  if (auto* director = cocos2d::Director::getInstance()) {
    if (auto* renderer = director->getRenderer()) {
      renderer->addDrawnBatches(1);
      renderer->addDrawnVertices(static_cast<ssize_t>(joined.size()));
    }
  }
}

}  // namespace isImageSDK
