// The engine without a window, set up as the program's screens expect it:
// the writable folder, the build's resource tree and search paths, a
// headless view, the settings object with its language table as the
// localised texts, and a running scene. UI thread only.
#pragma once

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSLanguage.h"

namespace fwtest {

// The settings object of the process: made once and kept (it cannot be made
// again once gone), its language table loaded.
inline AppConfig* processSettings() {
  static AppConfig* config = [] {
    AppConfig* c = AppConfig::getInstance();
    c->retain();
    c->languageTable.load();
    return c;
  }();
  return config;
}

// Runs a new scene on a headless view of `size` with `writable` (ending in
// "/") as the writable folder; the scene.
inline cocos2d::Scene* startHeadlessScreen(const std::string& writable, const cocos2d::Size& size,
                                           const std::vector<std::string>& searchPaths = {"res/pad/"}) {
  auto* files = cocos2d::FileUtils::getInstance();
  files->setWritablePath(writable);
  files->setDefaultResourceRootPath(std::string(FW_BINARY_DIR) + "/resources/");
  files->setSearchPaths(searchPaths);
  cocos2d::Director::getInstance()->setOpenGLView(cocos2d::GLViewImpl::createHeadless(size));
  NSUI::setLocalizedStringTable(&processSettings()->languageTable);
  cocos2d::Scene* scene = cocos2d::Scene::create();
  cocos2d::Director::getInstance()->runWithScene(scene);
  return scene;
}

}  // namespace fwtest
