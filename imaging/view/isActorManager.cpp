#include "imaging/view/isActorManager.h"

#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isActorImage.h"
#include "imaging/view/isActorVR.h"
#include "imaging/view/isRenderWindow.h"

namespace isImageSDK {

isActorManager::~isActorManager() { isActorManager::clear(); }

bool isActorManager::init() {
  id = -1;
  name.clear();
  imageActor = nullptr;
  crossLineActor = nullptr;
  renderWindow = nullptr;
  vrActor = nullptr;
  return true;
}

void isActorManager::releaseActors() {
  if (!renderWindow) return;
  if (vrActor) {
    isActorVR* actor = vrActor;
    vrActor = nullptr;
    actor->release();
  }
  if (imageActor) {
    isActorImage* actor = imageActor;
    imageActor = nullptr;
    actor->release();
  }
  if (crossLineActor) {
    isActorCrossLine* actor = crossLineActor;
    crossLineActor = nullptr;
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

isActorVR* isActorManager::getVRActor() {
  if (!renderWindow) return nullptr;
  if (!vrActor) {
    isActorVR* actor = isActorVR::create();
    if (!actor) return nullptr;
    actor->attach(renderWindow);
    actor->retain();
    vrActor = actor;
  }
  return vrActor;
}

}  // namespace isImageSDK
