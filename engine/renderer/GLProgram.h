// GL shader programs. Sources are written without a #version line and
// without the built-in declarations: createWithByteArrays prepends
//   #version 120
//   uniform mat4 CC_PMatrix, CC_MVMatrix, CC_MVPMatrix;
//   uniform sampler2D CC_Texture0 .. CC_Texture3;
// and binds the attributes a_position (0), a_color (1), a_texCoord (2).
#pragma once

#include <string>
#include <unordered_map>

#include "engine/base/Ref.h"
#include "engine/math/Mat4.h"
#include "engine/platform/CCGL.h"

NS_CC_BEGIN

class GLProgram : public Ref {
 public:
  enum { VERTEX_ATTRIB_POSITION = 0, VERTEX_ATTRIB_COLOR = 1, VERTEX_ATTRIB_TEX_COORD = 2 };

  // Built-in programs, reached through GLProgramCache.
  static const char* SHADER_NAME_POSITION_COLOR;
  static const char* SHADER_NAME_POSITION_LENGTH_TEXTURE_COLOR;
  static const char* SHADER_NAME_POSITION_COLOR_TEXASPOINTSIZE;
  static const char* SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP;
  static const char* SHADER_NAME_POSITION_TEXTURE_COLOR;
  // Labels: the texture's alpha (A8) times the vertex colour.
  static const char* SHADER_NAME_LABEL_A8_COLOR;
  // Colour layers and solid shapes: the vertex colour, with the MVP.
  static const char* SHADER_NAME_LAYER_COLOR;

  static const char* ATTRIBUTE_NAME_POSITION;  // "a_position"
  static const char* ATTRIBUTE_NAME_COLOR;     // "a_color"
  static const char* ATTRIBUTE_NAME_TEX_COORD; // "a_texCoord"

  // An autoreleased, linked program; null after logging the compiler's or
  // linker's message, and always null without a GL context.
  static GLProgram* createWithByteArrays(const char* vShaderByteArray, const char* fShaderByteArray);

  GLuint getProgram() const { return _program; }
  void use();
  // MV = modelView, P = the current pass projection, MVP = P x MV.
  void setUniformsForBuiltins(const Mat4& modelView);
  void setUniformsForBuiltins();
  // -1 when the program has no such active uniform.
  GLint getUniformLocation(const std::string& name) const;

  // The projection of the pass being rendered (set by the renderer).
  static void setPassProjection(const Mat4& projection);
  static const Mat4& getPassProjection();

  ~GLProgram() override;

 protected:
  GLProgram() = default;
  bool initWithByteArrays(const char* vert, const char* frag);

  GLuint _program = 0;
  GLint _uPMatrix = -1, _uMVMatrix = -1, _uMVPMatrix = -1;
  mutable std::unordered_map<std::string, GLint> _uniformCache;
};

NS_CC_END
