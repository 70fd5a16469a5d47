#include "engine/platform/GLView.h"

NS_CC_BEGIN

GLContextAttrs GLView::_glContextAttrs;

void GLView::setGLContextAttrs(GLContextAttrs& attrs) { _glContextAttrs = attrs; }

GLContextAttrs GLView::getGLContextAttrs() { return _glContextAttrs; }

NS_CC_END
