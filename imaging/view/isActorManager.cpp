#include "imaging/view/isActorManager.h"

#include "imaging/view/isActorImage.h"
#include "imaging/view/isRenderWindow.h"

namespace isImageSDK {

isActorManager* isActorManager::create() {
  auto* manager = new (std::nothrow) isActorManager();
  if (!manager) return nullptr;
  if (!manager->init()) {
    delete manager;
    return nullptr;
  }
  manager->autorelease();
  return manager;
}

isActorManager::~isActorManager() { isActorManager::clear(); }

bool isActorManager::init() {
  id = -1;
  name.clear();
  imageActor = nullptr;
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

}  // namespace isImageSDK
