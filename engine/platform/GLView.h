// The view the Director draws into. This part carries the context
// attributes chosen before the window exists; the window itself belongs to
// the windowed layer.
#pragma once

#include "engine/base/Ref.h"

NS_CC_BEGIN

// Bits per channel and buffer of the GL context to create.
struct GLContextAttrs {
  int redBits = 8;
  int greenBits = 8;
  int blueBits = 8;
  int alphaBits = 8;
  int depthBits = 24;
  int stencilBits = 8;
};

class GLView : public Ref {
 public:
  // Taken by the window when it creates its context.
  static void setGLContextAttrs(GLContextAttrs& attrs);
  static GLContextAttrs getGLContextAttrs();

  static GLContextAttrs _glContextAttrs;
};

NS_CC_END
