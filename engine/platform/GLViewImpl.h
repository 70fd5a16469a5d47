// The concrete view. createHeadless makes a view with no window and no GL
// (tests and tools drive it with Director::stepFrame and the inject*
// functions). The windowed view (SDL2 + GL) is made with createWithRect,
// which the windowed layer defines.
#pragma once

#include <string>

#include "engine/platform/GLView.h"

NS_CC_BEGIN

class GLViewImpl : public GLView {
 public:
  // No SDL and no GL. frame: the window size in pixels (= design size).
  static GLViewImpl* createHeadless(const Size& frame);
  // rect: the client area in desktop pixels, origin top-left. Defined by
  // the windowed layer.
  static GLViewImpl* createWithRect(const std::string& viewName, Rect rect, float frameZoomFactor = 1.0f);
  // The usable display area minus window decorations. Defined by the
  // windowed layer.
  static Rect getWorkAreaClientRect();

  bool isHeadless() const override { return _headless; }
  bool isOpenGLReady() override { return !_headless && _glReady; }

 protected:
  GLViewImpl() = default;
  bool _headless = false;
  bool _glReady = false;
};

NS_CC_END
