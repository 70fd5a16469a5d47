// Thin GL helpers. There is deliberately no state cache: custom render
// commands issue raw GL, so every helper calls GL each time.
#pragma once

#include <cstdint>

#include "engine/platform/CCGL.h"

NS_CC_BEGIN

enum {
  VERTEX_ATTRIB_FLAG_NONE = 0,
  VERTEX_ATTRIB_FLAG_POSITION = 1 << 0,
  VERTEX_ATTRIB_FLAG_COLOR = 1 << 1,
  VERTEX_ATTRIB_FLAG_TEX_COORD = 1 << 2,
  VERTEX_ATTRIB_FLAG_TEX_COORDS = VERTEX_ATTRIB_FLAG_TEX_COORD,
  VERTEX_ATTRIB_FLAG_POS_COLOR_TEX =
      VERTEX_ATTRIB_FLAG_POSITION | VERTEX_ATTRIB_FLAG_COLOR | VERTEX_ATTRIB_FLAG_TEX_COORD,
};

namespace GL {

// True while a GL context is current on the UI thread (set by the window).
// Every helper is a no-op without one.
bool isContextReady();
void setContextReady(bool ready);

void bindTexture2D(GLuint textureId);
void bindTexture2DN(GLuint textureUnit, GLuint textureId);
void deleteTexture(GLuint textureId);
void bindVAO(GLuint vaoId);
void blendFunc(GLenum sfactor, GLenum dfactor);
void useProgram(GLuint program);
// Enables the attribute arrays named by flags (0 position, 1 colour,
// 2 texture coordinates) and disables the other two.
void enableVertexAttribs(uint32_t flags);

}  // namespace GL

NS_CC_END
