#include "imaging/view/isActorManager.h"

#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isActorImage.h"
#include "imaging/view/isActorROI.h"
#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isRenderWindow.h"

namespace isImageSDK {

isActorManager::~isActorManager() { isActorManager::clear(); }

bool isActorManager::init() {
  id = -1;
  name.clear();
  imageActor = nullptr;
  crossLineActor = nullptr;
  roiActor = nullptr;
  overlayActor = nullptr;
  renderWindow = nullptr;
  return true;
}

void isActorManager::releaseActors() {
  if (!renderWindow) return;
  if (imageActor) {
    isActorImage* actor = imageActor;
    imageActor = nullptr;
    actor->release();
  }
  removeOverlayActor();
  if (crossLineActor) {
    isActorCrossLine* actor = crossLineActor;
    crossLineActor = nullptr;
    actor->release();
  }
  if (roiActor) {
    isActorROI* actor = roiActor;
    roiActor = nullptr;
    actor->release();
  }
}

void isActorManager::clear() {
  releaseActors();
  if (renderWindow) {
    isRenderWindow* window = renderWindow;
    renderWindow = nullptr;
    window->release();
  }
}

void isActorManager::setRenderWindow(isRenderWindow* window) {
  releaseActors();
  if (window) window->retain();
  if (renderWindow) renderWindow->release();
  renderWindow = window;
}

isActorImage* isActorManager::getImageActor() {
  if (!renderWindow) return nullptr;
  if (!imageActor) {
    isActorImage* actor = isActorImage::create();
    if (!actor) return nullptr;
    actor->attach(renderWindow);
    actor->setSliceIndex(0);
    actor->retain();
    imageActor = actor;
  }
  return imageActor;
}

void isActorManager::createCrossLineActor() {
  if (!renderWindow || crossLineActor) return;
  isActorCrossLine* actor = isActorCrossLine::create();
  if (!actor) return;
  actor->attach(renderWindow);
  actor->retain();
  crossLineActor = actor;
}

isActorCrossLine* isActorManager::getCrossLineActor() {
  if (!crossLineActor) createCrossLineActor();
  return crossLineActor;
}

void isActorManager::setFrameVisible(bool shown) {
  if (auto* actor = getCrossLineActor()) actor->setFrameVisible(shown);
}

void isActorManager::showActiveMarker() {
  if (auto* actor = getCrossLineActor()) actor->showActiveMarker();
}

void isActorManager::showCrossLines() {
  if (auto* actor = getCrossLineActor()) actor->setCrossLinesVisible(true);
}

isActorOverlay* isActorManager::getOverlayActor() {
  if (!renderWindow) return nullptr;
  if (!overlayActor) {
    isActorOverlay* actor = isActorOverlay::create();
    if (!actor) return nullptr;
    actor->attach(renderWindow);
    actor->retain();
    overlayActor = actor;
  }
  return overlayActor;
}

void isActorManager::removeOverlayActor() {
  if (!renderWindow || !overlayActor) return;
  isActorOverlay* actor = overlayActor;
  overlayActor = nullptr;
  actor->clearItems();
  actor->release();
}

}  // namespace isImageSDK

namespace isImageSDK {

isActorROI* isActorManager::getROIActor() {
  if (!renderWindow) return nullptr;
  if (!roiActor) {
    isActorROI* actor = isActorROI::create();
    if (!actor) return nullptr;
    actor->attach(renderWindow);
    actor->retain();
    roiActor = actor;
  }
  return roiActor;
}

}  // namespace isImageSDK
