#include "engine/renderer/GLProgramCache.h"

#include "engine/base/ccLog.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

namespace {

GLProgramCache* g_cache = nullptr;

// Sprites: vertices arrive in view space, so only the projection applies.
const char* kPosTexColorNoMvpVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;
varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
void main() {
  gl_Position = CC_PMatrix * a_position;
  v_fragmentColor = a_color;
  v_texCoord = a_texCoord;
}
)";
const char* kPosTexColorVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;
varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
void main() {
  gl_Position = CC_MVPMatrix * a_position;
  v_fragmentColor = a_color;
  v_texCoord = a_texCoord;
}
)";
const char* kPosTexColorFrag = R"(
varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
void main() {
  gl_FragColor = v_fragmentColor * texture2D(CC_Texture0, v_texCoord);
}
)";
// Texture coordinates below 0 mark solid quads (colour layers), which
// share the texts' batches.
const char* kLabelFrag = R"(
varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
void main() {
  float a = v_texCoord.x < 0.0 ? 1.0 : texture2D(CC_Texture0, v_texCoord).a;
  gl_FragColor = vec4(v_fragmentColor.rgb * v_fragmentColor.a * a, v_fragmentColor.a * a);
}
)";
const char* kPosColorVert = R"(
attribute vec4 a_position;
attribute vec4 a_color;
varying vec4 v_fragmentColor;
void main() {
  gl_Position = CC_MVPMatrix * a_position;
  v_fragmentColor = a_color;
}
)";
const char* kPosColorFrag = R"(
varying vec4 v_fragmentColor;
void main() {
  gl_FragColor = v_fragmentColor;
}
)";
// Colour layers blend premultiplied: the colour is premultiplied here.
const char* kLayerFrag = R"(
varying vec4 v_fragmentColor;
void main() {
  gl_FragColor = vec4(v_fragmentColor.rgb * v_fragmentColor.a, v_fragmentColor.a);
}
)";
const char* kPosLenTexColorVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;
varying vec4 v_color;
varying vec2 v_texcoord;
void main() {
  v_color = vec4(a_color.rgb * a_color.a, a_color.a);
  v_texcoord = a_texCoord;
  gl_Position = CC_MVPMatrix * a_position;
}
)";
// Antialiased edges: texcoord carries the distance from the centre line.
const char* kPosLenTexColorFrag = R"(
varying vec4 v_color;
varying vec2 v_texcoord;
void main() {
  float d = length(v_texcoord);
  float fw = max(fwidth(d), 1e-4);
  gl_FragColor = v_color * (1.0 - smoothstep(1.0 - fw, 1.0, d));
}
)";
const char* kPointVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;
varying vec4 v_fragmentColor;
void main() {
  gl_Position = CC_MVPMatrix * a_position;
  gl_PointSize = a_texCoord.x;
  v_fragmentColor = a_color;
}
)";

struct Builtin {
  const char* name;
  const char* vert;
  const char* frag;
};

}  // namespace

GLProgramCache* GLProgramCache::getInstance() {
  if (!g_cache) g_cache = new GLProgramCache;
  return g_cache;
}

void GLProgramCache::destroyInstance() {
  if (g_cache) g_cache->release();
  g_cache = nullptr;
}

GLProgramCache::~GLProgramCache() { purge(); }

void GLProgramCache::purge() {
  GLProgramState::purgeShared();
  for (auto& kv : _programs) kv.second->release();
  _programs.clear();
}

void GLProgramCache::addGLProgram(GLProgram* program, const std::string& name) {
  if (!program) return;
  program->retain();
  auto it = _programs.find(name);
  if (it != _programs.end()) {
    it->second->release();
    it->second = program;
  } else {
    _programs.emplace(name, program);
  }
}

GLProgram* GLProgramCache::getGLProgram(const std::string& name) {
  auto it = _programs.find(name);
  if (it != _programs.end()) return it->second;
  if (!GL::isContextReady()) return nullptr;
  static const Builtin builtins[] = {
      {GLProgram::SHADER_NAME_POSITION_COLOR, kPosColorVert, kPosColorFrag},
      {GLProgram::SHADER_NAME_POSITION_LENGTH_TEXTURE_COLOR, kPosLenTexColorVert, kPosLenTexColorFrag},
      {GLProgram::SHADER_NAME_POSITION_COLOR_TEXASPOINTSIZE, kPointVert, kPosColorFrag},
      {GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP, kPosTexColorNoMvpVert, kPosTexColorFrag},
      {GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR, kPosTexColorVert, kPosTexColorFrag},
      {GLProgram::SHADER_NAME_LABEL_A8_COLOR, kPosTexColorNoMvpVert, kLabelFrag},
      {GLProgram::SHADER_NAME_LAYER_COLOR, kPosColorVert, kLayerFrag},
  };
  for (const auto& b : builtins) {
    if (name == b.name) {
      GLProgram* p = GLProgram::createWithByteArrays(b.vert, b.frag);
      if (!p) {
        log("GLProgramCache: built-in program %s failed", b.name);
        return nullptr;
      }
      addGLProgram(p, name);
      return p;
    }
  }
  return nullptr;
}

NS_CC_END
