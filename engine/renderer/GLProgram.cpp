#include "engine/renderer/GLProgram.h"

#include <vector>

#include "engine/base/ccLog.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

const char* GLProgram::SHADER_NAME_POSITION_COLOR = "ShaderPositionColor";
const char* GLProgram::SHADER_NAME_POSITION_LENGTH_TEXTURE_COLOR = "ShaderPositionLengthTextureColor";
const char* GLProgram::SHADER_NAME_POSITION_COLOR_TEXASPOINTSIZE = "ShaderPositionColorTexAsPointsize";
const char* GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP = "ShaderPositionTextureColor_noMVP";
const char* GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR = "ShaderPositionTextureColor";
const char* GLProgram::SHADER_NAME_LABEL_A8_COLOR = "ShaderLabelA8Color";
const char* GLProgram::SHADER_NAME_LAYER_COLOR = "ShaderLayerColor";
const char* GLProgram::ATTRIBUTE_NAME_POSITION = "a_position";
const char* GLProgram::ATTRIBUTE_NAME_COLOR = "a_color";
const char* GLProgram::ATTRIBUTE_NAME_TEX_COORD = "a_texCoord";

namespace {

const char* kPrelude =
    "#version 120\n"
    "uniform mat4 CC_PMatrix;\n"
    "uniform mat4 CC_MVMatrix;\n"
    "uniform mat4 CC_MVPMatrix;\n"
    "uniform sampler2D CC_Texture0;\n"
    "uniform sampler2D CC_Texture1;\n"
    "uniform sampler2D CC_Texture2;\n"
    "uniform sampler2D CC_Texture3;\n"
    "#line 1\n";

Mat4& passProjection() {
  static Mat4 p = Mat4::IDENTITY;
  return p;
}

GLuint compile(GLenum type, const char* source) {
  GLuint shader = glCreateShader(type);
  const char* sources[2] = {kPrelude, source};
  glShaderSource(shader, 2, sources, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    GLint len = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &len);
    std::vector<char> text(static_cast<size_t>(len > 0 ? len : 1) + 1, 0);
    glGetShaderInfoLog(shader, len, nullptr, text.data());
    log("GLProgram: %s shader failed to compile: %s",
        type == GL_VERTEX_SHADER ? "vertex" : "fragment", text.data());
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace

void GLProgram::setPassProjection(const Mat4& projection) { passProjection() = projection; }
const Mat4& GLProgram::getPassProjection() { return passProjection(); }

GLProgram* GLProgram::createWithByteArrays(const char* vert, const char* frag) {
  if (!GL::isContextReady()) return nullptr;
  auto* p = new GLProgram;
  if (!p->initWithByteArrays(vert, frag)) {
    delete p;
    return nullptr;
  }
  p->autorelease();
  return p;
}

bool GLProgram::initWithByteArrays(const char* vert, const char* frag) {
  if (!vert || !frag) return false;
  GLuint vs = compile(GL_VERTEX_SHADER, vert);
  if (!vs) return false;
  GLuint fs = compile(GL_FRAGMENT_SHADER, frag);
  if (!fs) {
    glDeleteShader(vs);
    return false;
  }
  _program = glCreateProgram();
  glAttachShader(_program, vs);
  glAttachShader(_program, fs);
  glBindAttribLocation(_program, VERTEX_ATTRIB_POSITION, ATTRIBUTE_NAME_POSITION);
  glBindAttribLocation(_program, VERTEX_ATTRIB_COLOR, ATTRIBUTE_NAME_COLOR);
  glBindAttribLocation(_program, VERTEX_ATTRIB_TEX_COORD, ATTRIBUTE_NAME_TEX_COORD);
  glLinkProgram(_program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(_program, GL_LINK_STATUS, &ok);
  if (!ok) {
    GLint len = 0;
    glGetProgramiv(_program, GL_INFO_LOG_LENGTH, &len);
    std::vector<char> text(static_cast<size_t>(len > 0 ? len : 1) + 1, 0);
    glGetProgramInfoLog(_program, len, nullptr, text.data());
    log("GLProgram: link failed: %s", text.data());
    glDeleteProgram(_program);
    _program = 0;
    return false;
  }
  _uPMatrix = glGetUniformLocation(_program, "CC_PMatrix");
  _uMVMatrix = glGetUniformLocation(_program, "CC_MVMatrix");
  _uMVPMatrix = glGetUniformLocation(_program, "CC_MVPMatrix");
  GLint previous = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
  glUseProgram(_program);
  static const char* samplers[4] = {"CC_Texture0", "CC_Texture1", "CC_Texture2", "CC_Texture3"};
  for (int i = 0; i < 4; ++i) {
    GLint loc = glGetUniformLocation(_program, samplers[i]);
    if (loc >= 0) glUniform1i(loc, i);
  }
  glUseProgram(static_cast<GLuint>(previous));
  return true;
}

GLProgram::~GLProgram() {
  if (_program && GL::isContextReady()) glDeleteProgram(_program);
}

void GLProgram::use() { GL::useProgram(_program); }

GLint GLProgram::getUniformLocation(const std::string& name) const {
  if (!_program) return -1;
  auto it = _uniformCache.find(name);
  if (it != _uniformCache.end()) return it->second;
  GLint loc = glGetUniformLocation(_program, name.c_str());
  _uniformCache.emplace(name, loc);
  return loc;
}

void GLProgram::setUniformsForBuiltins() { setUniformsForBuiltins(Mat4::IDENTITY); }

void GLProgram::setUniformsForBuiltins(const Mat4& modelView) {
  if (!_program || !GL::isContextReady()) return;
  const Mat4& p = passProjection();
  if (_uPMatrix >= 0) glUniformMatrix4fv(_uPMatrix, 1, GL_FALSE, p.m);
  if (_uMVMatrix >= 0) glUniformMatrix4fv(_uMVMatrix, 1, GL_FALSE, modelView.m);
  if (_uMVPMatrix >= 0) {
    Mat4 mvp = p * modelView;
    glUniformMatrix4fv(_uMVPMatrix, 1, GL_FALSE, mvp.m);
  }
}

NS_CC_END
