#include "imaging/view/isActorManager.h"

#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isActorImage.h"
#include "imaging/view/isActorROI.h"
#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isActorVR.h"
#include "imaging/view/isRenderWindow.h"

namespace isImageSDK {

namespace {

// Makes the actor of one kind on first request and attaches it to the
// window; the slot holds the retain.
template <class Actor, class Setup>
Actor* attachedActor(Actor*& slot, isRenderWindow* window, Setup setup) {
  if (!window) return nullptr;
  if (!slot) {
    Actor* actor = Actor::create();
    if (!actor) return nullptr;
    actor->attach(window);
    setup(actor);
    actor->retain();
    slot = actor;
  }
  return slot;
}

template <class Actor>
Actor* attachedActor(Actor*& slot, isRenderWindow* window) {
  return attachedActor(slot, window, [](Actor*) {});
}

// Empties the slot before the release, so that nothing the release sets off
// finds a dying actor in it.
template <class Actor>
void dropActor(Actor*& slot) {
  if (!slot) return;
  Actor* actor = slot;
  slot = nullptr;
  actor->release();
}

}  // namespace

isActorManager::~isActorManager() { isActorManager::clear(); }

bool isActorManager::init() {
  id = -1;
  name.clear();
  imageActor = nullptr;
  crossLineActor = nullptr;
  roiActor = nullptr;
  overlayActor = nullptr;
  renderWindow = nullptr;
  vrActor = nullptr;
  return true;
}

void isActorManager::releaseActors() {
  if (!renderWindow) return;
  // The volume renderer first: its threads stop before the data goes.
  dropActor(vrActor);
  dropActor(imageActor);
  removeOverlayActor();
  dropActor(crossLineActor);
  dropActor(roiActor);
}

void isActorManager::clear() {
  releaseActors();
  dropActor(renderWindow);
}

void isActorManager::setRenderWindow(isRenderWindow* window) {
  releaseActors();
  if (window) window->retain();
  if (renderWindow) renderWindow->release();
  renderWindow = window;
}

isActorImage* isActorManager::getImageActor() {
  return attachedActor(imageActor, renderWindow, [](isActorImage* actor) { actor->setSliceIndex(0); });
}

void isActorManager::createCrossLineActor() { attachedActor(crossLineActor, renderWindow); }

isActorCrossLine* isActorManager::getCrossLineActor() { return attachedActor(crossLineActor, renderWindow); }

void isActorManager::setFrameVisible(bool shown) {
  if (auto* actor = getCrossLineActor()) actor->setFrameVisible(shown);
}

void isActorManager::showActiveMarker() {
  if (auto* actor = getCrossLineActor()) actor->showActiveMarker();
}

void isActorManager::showCrossLines() {
  if (auto* actor = getCrossLineActor()) actor->setCrossLinesVisible(true);
}

isActorOverlay* isActorManager::getOverlayActor() { return attachedActor(overlayActor, renderWindow); }

void isActorManager::removeOverlayActor() {
  if (!renderWindow || !overlayActor) return;
  isActorOverlay* actor = overlayActor;
  overlayActor = nullptr;
  actor->clearItems();
  actor->release();
}

isActorROI* isActorManager::getROIActor() { return attachedActor(roiActor, renderWindow); }

isActorVR* isActorManager::getVRActor() { return attachedActor(vrActor, renderWindow); }

}  // namespace isImageSDK
