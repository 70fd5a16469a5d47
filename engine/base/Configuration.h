// What the GL context offers, read once the window has a context; settable
// so that headless runs and tests can answer what they need.
#pragma once

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class Configuration {
 public:
  static Configuration* getInstance();
  static void destroyInstance();

  // True with a GL >= 3.0 context; false headless.
  bool supportsShareableVAO() const { return _supportsShareableVAO; }
  // GL_MAX_TEXTURE_SIZE; 16384 headless unless set.
  int getMaxTextureSize() const { return _maxTextureSize; }

  void setSupportsShareableVAO(bool on) { _supportsShareableVAO = on; }
  void setMaxTextureSize(int size) { _maxTextureSize = size; }

  // Reads the values from the current GL context (called by the window).
  void gatherGPUInfo();

 private:
  bool _supportsShareableVAO = false;
  int _maxTextureSize = 16384;
};

NS_CC_END
