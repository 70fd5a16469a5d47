#include "engine/renderer/ccGLStateCache.h"

#include <atomic>

NS_CC_BEGIN

namespace GL {

namespace {
std::atomic<bool> g_contextReady{false};
}

bool isContextReady() { return g_contextReady.load(); }
void setContextReady(bool ready) { g_contextReady.store(ready); }

void bindTexture2D(GLuint textureId) { bindTexture2DN(0, textureId); }

void bindTexture2DN(GLuint textureUnit, GLuint textureId) {
  if (!isContextReady()) return;
  glActiveTexture(GL_TEXTURE0 + textureUnit);
  glBindTexture(GL_TEXTURE_2D, textureId);
  if (textureUnit != 0) glActiveTexture(GL_TEXTURE0);
}

void deleteTexture(GLuint textureId) {
  if (!isContextReady() || textureId == 0) return;
  glDeleteTextures(1, &textureId);
}

void bindVAO(GLuint vaoId) {
  if (!isContextReady()) return;
  glBindVertexArray(vaoId);
}

void blendFunc(GLenum sfactor, GLenum dfactor) {
  if (!isContextReady()) return;
  if (sfactor == GL_ONE && dfactor == GL_ZERO) {
    glDisable(GL_BLEND);
  } else {
    glEnable(GL_BLEND);
    glBlendFunc(sfactor, dfactor);
  }
}

void useProgram(GLuint program) {
  if (!isContextReady()) return;
  glUseProgram(program);
}

void enableVertexAttribs(uint32_t flags) {
  if (!isContextReady()) return;
  for (GLuint i = 0; i < 3; ++i) {
    if (flags & (1u << i)) glEnableVertexAttribArray(i);
    else glDisableVertexAttribArray(i);
  }
}

}  // namespace GL

NS_CC_END
