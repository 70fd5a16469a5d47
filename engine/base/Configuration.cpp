#include "engine/base/Configuration.h"

#include "engine/platform/CCGL.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

namespace {
Configuration* g_configuration = nullptr;
}

Configuration* Configuration::getInstance() {
  if (!g_configuration) g_configuration = new Configuration;
  return g_configuration;
}

void Configuration::destroyInstance() {
  delete g_configuration;
  g_configuration = nullptr;
}

void Configuration::gatherGPUInfo() {
  if (!GL::isContextReady()) return;
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  if (size > 0) _maxTextureSize = size;
  GLint major = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  _supportsShareableVAO = major >= 3;
}

NS_CC_END
