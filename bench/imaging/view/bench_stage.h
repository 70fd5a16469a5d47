// The real window of a render-window benchmark: an empty scene running in a
// window of the given size, one frame drawn. Null without a display (the
// benchmark re-runs itself under xvfb-run) or when the window cannot open.
#pragma once

#include <cstdlib>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace viewtest {

inline cocos2d::Scene* openBenchWindow(const char* title, float width, float height) {
  using namespace cocos2d;
  if (!std::getenv("DISPLAY")) return nullptr;
  FileUtils::getInstance()->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
  auto* view = GLViewImpl::createWithRect(title, Rect(0, 0, width, height));
  if (!view) return nullptr;
  Director* d = Director::getInstance();
  d->setOpenGLView(view);
  d->setAnimationInterval(0.0);
  auto* scene = Scene::create();
  d->runWithScene(scene);
  NSUI::NSNotificationCenter::getInstance();
  d->stepFrame(0.6f);
  return scene;
}

}  // namespace viewtest
