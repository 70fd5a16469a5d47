#include "app/viewer/imageViewerPC.h"

USING_NS_CC;

void imageViewerPC::visit(Renderer* renderer, const Mat4& transform, uint32_t flags) {
  NSUI::NSLayout::visit(renderer, transform, flags);
}
bool imageViewerPC::onTouchBegan(Touch* touch, Event* event) {
  NSUI::NSLayout::onTouchBegan(touch, event);
  return false;
}
void imageViewerPC::bindControls() {}
void imageViewerPC::onButtonClicked(Ref*) {}
void imageViewerPC::setTopButtonsVisible(bool) {}
void imageViewerPC::showToolPage(int kind) { toolPageKind = kind; }
void imageViewerPC::onSliceSlider(Ref*, int) {}
void imageViewerPC::syncSliceSlider() {}
void imageViewerPC::showWindowLevelMenu(bool) {}
void imageViewerPC::showClutMenu(bool) {}
void imageViewerPC::showOpacityMenu(bool) {}
void imageViewerPC::showDicomMenu(bool) {}
void imageViewerPC::showCaptureMenu(bool) {}
void imageViewerPC::showProtocolMenu(bool) {}
void imageViewerPC::refreshWindowPresets() {}
void imageViewerPC::updateProtocolButton(int) {}
int imageViewerPC::toolPageForFocus() const { return TOOL_PAGE_2D; }
bool imageViewerPC::isPlaying() const { return false; }
void imageViewerPC::onWindowInput() {}
void imageViewerPC::onWindowApply(Ref*, NSUI::NSNotificationData*) {}
void imageViewerPC::onPlayState(NSUI::NSNotificationData*) {}
void imageViewerPC::onDicomMetaInfo() {}
void imageViewerPC::onQuickToolShow(NSUI::NSNotificationData*) {}
void imageViewerPC::onViewGeometry(NSUI::NSNotificationData*) {}
void imageViewerPC::onViewerCleanup(NSUI::NSNotificationData*) {}
void imageViewerPC::onShowDicomMenu() {}
void imageViewerPC::onToolsRelayout(NSUI::NSNotificationData*) {}
void imageViewerPC::placeToolMenu(const std::string&, Node*) {}
