// The volume cells of the multi-view: the volume viewer made like every
// cell, and its part of the screen's queries.
#include "imaging/view/isActorVR.h"
#include "imaging/viewers/isViewerMulti.h"
#include "imaging/viewers/isViewerVR.h"

namespace isImageSDK {

isViewer* isViewerMulti::createVolumeViewer(int, const cocos2d::Rect& rect) {
  isViewerVR* viewer = isViewerVR::create();
  if (!viewer) return nullptr;
  viewer->setContentSize(rect.size);
  viewer->setPosition(rect.origin);
  addChild(viewer);
  viewer->setRelayTarget(this);
  return viewer;
}

isViewerVR* isViewerMulti::asVolumeViewer(isViewer* viewer) { return dynamic_cast<isViewerVR*>(viewer); }

bool isViewerMulti::volumeViewRect(isViewerVR* viewer, cocos2d::Rect& rect) {
  rect = cocos2d::Rect(viewer->getPosition(), viewer->getContentSize());
  return true;
}

bool isViewerMulti::volumeWindowLevel(isViewerVR* viewer, float& width, float& level) {
  isActorVR* actor = viewer->getVolumeActor();
  if (!actor || !actor->getContextRT()) return false;
  width = actor->getContextRT()->getWindowWidth();
  level = actor->getContextRT()->getWindowLevel();
  return true;
}

void isViewerMulti::volumeSetWindow(isViewerVR* viewer, float width, float level) { viewer->setWindow(width, level); }

std::string isViewerMulti::volumeFilePath(isViewerVR* viewer) { return viewer->getFilePath(); }

void isViewerMulti::volumeSetPhase(isViewerVR* viewer, int n) {
  if (isActorVR* actor = viewer->getVolumeActor()) actor->setFrameIndex(n);
}

}  // namespace isImageSDK
