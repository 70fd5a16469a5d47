// The actors of one render window: at most one of each kind, created on
// first request, released together when the window gets new data.
#pragma once

#include "imaging/core/isObject.h"

namespace isImageSDK {

class isActorCrossLine;
class isActorImage;
class isActorROI;
class isActorOverlay;
class isActorVR;
class isRenderWindow;

class isActorManager : public isObject {
 public:
  CREATE_FUNC(isActorManager)
  ~isActorManager() override;

  // Actors released, window released.
  void clear() override;
  bool init() override;

  // Only while the manager has a window.
  void releaseActors();
  // Releases the actors, then holds the new window (retained).
  void setRenderWindow(isRenderWindow* window);
  isRenderWindow* getRenderWindow() const { return renderWindow; }

  // Created, attached and put on slice 0 on first request; null without
  // window.
  isActorImage* getImageActor();

  // Reference lines, frame and marker; created on first need, nothing
  // without a window.
  void createCrossLineActor();
  isActorCrossLine* getCrossLineActor();
  // The cross-line actor when it exists; never creates it.
  isActorCrossLine* findCrossLineActor() const { return crossLineActor; }
  void setFrameVisible(bool shown);
  void showActiveMarker();
  void showCrossLines();

  // The measurements container: created and attached on first request;
  // null without a window.
  isActorROI* getROIActor();
  // Texts, buttons and edge letters over the window; created on first
  // request, null without a window.
  isActorOverlay* getOverlayActor();
  // Drops the overlay's items and the actor; the next request makes a new
  // one.
  void removeOverlayActor();
  // Volume rendering; created and attached on first request, null without
  // a window.
  isActorVR* getVRActor();

 protected:
  isActorManager() = default;

  isActorImage* imageActor = nullptr;    // retained
  isActorCrossLine* crossLineActor = nullptr;  // retained
  isActorROI* roiActor = nullptr;          // retained
  isActorOverlay* overlayActor = nullptr;  // retained
  isRenderWindow* renderWindow = nullptr;  // retained
  isActorVR* vrActor = nullptr;  // retained
};

}  // namespace isImageSDK
