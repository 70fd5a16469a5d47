#include "app/viewer/imageViewerPC.h"

#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerMulti.h"

USING_NS_CC;

Scene* imageViewerPC::createScene(std::string seriesText) {
  Scene* scene = Scene::create();
  auto* screen = imageViewerPC::create();
  if (!screen) return scene;
  scene->addChild(screen);
  screen->setName("imageViewPC");
  screen->setSeriesText(seriesText);
  return scene;
}

imageViewerPC::~imageViewerPC() = default;

void imageViewerPC::setProtocol(std::string name) { layoutId = isImageSDK::appManager::getLayoutId(name); }
void imageViewerPC::setSeriesText(const std::string& text) { seriesPaths = {text}; seriesCount = 1; }
bool imageViewerPC::init() { return NSUI::NSLayout::init(); }
void imageViewerPC::onEnterTransitionDidFinish() { NSUI::NSLayout::onEnterTransitionDidFinish(); }
void imageViewerPC::onExit() { NSUI::NSLayout::onExit(); }
void imageViewerPC::cleanup() { NSUI::NSLayout::cleanup(); }
void imageViewerPC::onNotification(Ref*, unsigned int, NSUI::NSNotificationData*) {}
void imageViewerPC::attachViewerMulti(isImageSDK::isViewerMulti* multi) { viewerMulti = multi; }
void imageViewerPC::showMessagePanel(const std::string&) {}
void imageViewerPC::show4DControls(bool) {}
void imageViewerPC::showPhaseMenu(bool) {}
Rect imageViewerPC::viewerArea() const {
  const Size size = getContentSize();
  return Rect(toolWidth, 0, size.width - toolWidth, size.height - 60);
}
void imageViewerPC::loadSeriesInBackground(imageViewerPC*, std::vector<std::string>,
                                           std::shared_ptr<LoadJobState>) {}
void imageViewerPC::onSeriesLoaded(NSUI::NSNotificationData*) {}
void imageViewerPC::on4DLoaded() {}
void imageViewerPC::onProtocolSelected(NSUI::NSNotificationData*) {}
void imageViewerPC::onPhaseSelected(NSUI::NSNotificationData*) {}
void imageViewerPC::on4DButton(const std::string&, Node*) {}
void imageViewerPC::unregisterReaders() {}
void imageViewerPC::addStat(int) {}
