#include "engine/renderer/GLProgramState.h"

#include <cstring>
#include <unordered_map>

#include "engine/renderer/GLProgramCache.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

namespace {
std::unordered_map<GLProgram*, GLProgramState*>& sharedStates() {
  static auto* m = new std::unordered_map<GLProgram*, GLProgramState*>;
  return *m;
}
}  // namespace

GLProgramState* GLProgramState::getOrCreateWithGLProgramName(const std::string& name) {
  GLProgram* p = GLProgramCache::getInstance()->getGLProgram(name);
  return p ? getOrCreateWithGLProgram(p) : nullptr;
}

GLProgramState* GLProgramState::getOrCreateWithGLProgram(GLProgram* program) {
  if (!program) return nullptr;
  auto& m = sharedStates();
  auto it = m.find(program);
  if (it != m.end()) return it->second;
  auto* s = new GLProgramState;
  s->_program = program;
  program->retain();
  m.emplace(program, s);
  return s;
}

void GLProgramState::purgeShared() {
  auto& m = sharedStates();
  for (auto& kv : m) kv.second->release();
  m.clear();
}

GLProgramState* GLProgramState::create(GLProgram* program) {
  if (!program) return nullptr;
  auto* s = new GLProgramState;
  s->_program = program;
  program->retain();
  s->autorelease();
  return s;
}

GLProgramState::~GLProgramState() {
  if (_program) _program->release();
}

UniformValue& GLProgramState::slot(const std::string& name, UniformValue::Type type) {
  for (auto& v : _values) {
    if (v.name == name) {
      v.type = type;
      return v;
    }
  }
  _values.emplace_back();
  _values.back().name = name;
  _values.back().type = type;
  return _values.back();
}

void GLProgramState::setUniformInt(const std::string& name, int value) {
  slot(name, UniformValue::Type::INT).i = value;
}
void GLProgramState::setUniformFloat(const std::string& name, float value) {
  slot(name, UniformValue::Type::FLOAT).f[0] = value;
}
void GLProgramState::setUniformVec2(const std::string& name, const Vec2& value) {
  auto& s = slot(name, UniformValue::Type::VEC2);
  s.f[0] = value.x;
  s.f[1] = value.y;
}
void GLProgramState::setUniformVec3(const std::string& name, const Vec3& value) {
  auto& s = slot(name, UniformValue::Type::VEC3);
  s.f[0] = value.x;
  s.f[1] = value.y;
  s.f[2] = value.z;
}
void GLProgramState::setUniformVec4(const std::string& name, const Vec4& value) {
  auto& s = slot(name, UniformValue::Type::VEC4);
  s.f[0] = value.x;
  s.f[1] = value.y;
  s.f[2] = value.z;
  s.f[3] = value.w;
}
void GLProgramState::setUniformMat4(const std::string& name, const Mat4& value) {
  std::memcpy(slot(name, UniformValue::Type::MAT4).f, value.m, sizeof value.m);
}
void GLProgramState::setUniformTexture(const std::string& name, GLuint texture, int unit) {
  auto& s = slot(name, UniformValue::Type::TEXTURE);
  s.texture = texture;
  s.i = unit;
}

void GLProgramState::apply(const Mat4& modelView) {
  if (!_program) return;
  _program->use();
  _program->setUniformsForBuiltins(modelView);
  applyUniformValues(_program, _values);
}

void GLProgramState::applyUniformValues(GLProgram* program, const std::vector<UniformValue>& values) {
  if (!program || !GL::isContextReady()) return;
  for (const auto& v : values) {
    GLint loc = program->getUniformLocation(v.name);
    if (v.type == UniformValue::Type::TEXTURE) GL::bindTexture2DN(static_cast<GLuint>(v.i), v.texture);
    if (loc < 0) continue;
    switch (v.type) {
      case UniformValue::Type::INT: glUniform1i(loc, v.i); break;
      case UniformValue::Type::FLOAT: glUniform1f(loc, v.f[0]); break;
      case UniformValue::Type::VEC2: glUniform2fv(loc, 1, v.f); break;
      case UniformValue::Type::VEC3: glUniform3fv(loc, 1, v.f); break;
      case UniformValue::Type::VEC4: glUniform4fv(loc, 1, v.f); break;
      case UniformValue::Type::MAT4: glUniformMatrix4fv(loc, 1, GL_FALSE, v.f); break;
      case UniformValue::Type::TEXTURE: glUniform1i(loc, v.i); break;
    }
  }
}

NS_CC_END
