// A program plus the values of its own uniforms. Render commands copy the
// values when they are initialised, so a state shared by several nodes
// never hands one node's values to another's draw.
#pragma once

#include <string>
#include <vector>

#include "engine/math/Mat4.h"
#include "engine/math/Vec2.h"
#include "engine/math/Vec4.h"
#include "engine/renderer/GLProgram.h"

NS_CC_BEGIN

struct UniformValue {
  enum class Type { INT, FLOAT, VEC2, VEC3, VEC4, MAT4, TEXTURE };
  std::string name;
  Type type = Type::FLOAT;
  float f[16] = {};
  int i = 0;          // INT value, or TEXTURE unit
  GLuint texture = 0; // TEXTURE name
};

class GLProgramState : public Ref {
 public:
  // One shared state per named built-in program; null without a context.
  static GLProgramState* getOrCreateWithGLProgramName(const std::string& name);
  static GLProgramState* getOrCreateWithGLProgram(GLProgram* program);
  static GLProgramState* create(GLProgram* program);
  // Drops the shared states (with the program cache).
  static void purgeShared();

  GLProgram* getGLProgram() const { return _program; }

  void setUniformInt(const std::string& name, int value);
  void setUniformFloat(const std::string& name, float value);
  void setUniformVec2(const std::string& name, const Vec2& value);
  void setUniformVec3(const std::string& name, const Vec3& value);
  void setUniformVec4(const std::string& name, const Vec4& value);
  void setUniformMat4(const std::string& name, const Mat4& value);
  void setUniformTexture(const std::string& name, GLuint texture, int unit);

  const std::vector<UniformValue>& getUniformValues() const { return _values; }

  // use(), built-ins with modelView, then this state's values.
  void apply(const Mat4& modelView);
  // Sets the given values on the program currently in use.
  static void applyUniformValues(GLProgram* program, const std::vector<UniformValue>& values);

  ~GLProgramState() override;

 protected:
  GLProgramState() = default;
  UniformValue& slot(const std::string& name, UniformValue::Type type);

  GLProgram* _program = nullptr;
  std::vector<UniformValue> _values;
};

NS_CC_END
