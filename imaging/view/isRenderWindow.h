// An interactive render window: it owns the actor manager and the image
// data of the view, turns the mouse into slice, pan and zoom commands,
// observes the notifications addressed to it, relays the synchronising ones
// to the cell or multi-view that contains it (its relay target), and posts
// the orientation letters of its four edges.
//
// Relay rule: an id raised inside the window that concerns the other views
// goes to the relay target; the same id coming back from the relay target is
// applied.
#pragma once

#include <vector>

#include "imaging/core/isImageData.h"
#include "imaging/view/isActorManager.h"
#include "imaging/view/isActorROI.h"
#include "imaging/view/isRenderWindowBase.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

class isRenderWindow : public isRenderWindowBase {
 public:
  bool init() override;
  void cleanup() override;
  void setContentSize(const cocos2d::Size& size) override;
  void setVisible(bool visible) override;
  void updateOrientationLabels() override;
  bool onMouseScroll(float x, float y, float scrollY) override;
  bool onMouseDown(float x, float y) override;
  bool onMouseUp(float x, float y) override;
  bool onMouseMove(float x, float y) override;

  virtual void onNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender);
  virtual void setRelayTarget(cocos2d::Ref* target) { relayTarget = target; }
  // NOTIFY_CAMERA_CHANGED on the serial queue (pending copies kept).
  virtual void notifyViewChanged();
  virtual void updateOverlay(int) {}
  // Ids the window observes on itself; none here.
  virtual void addNotificationIds() {}
  virtual void onNotificationReceived(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
    onNotification(id, data, sender);
  }
  // The touch operations reach the interaction tool once there is one.
  // Moves go on only while the tool holds the shared touch capture.
  virtual void onTouchesBegan(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  virtual void onTouchesMoved(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  virtual void onTouchesEnded(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  virtual void onTouchesCancelled(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  // Retains the tool (an isInteractorBase) and releases the previous one.
  void setInteractor(cocos2d::Ref* tool);
  cocos2d::Ref* getInteractor() const { return interactor; }

  void setImageData(isImageData* data);
  isImageData* getImageData() const { return imageData; }
  isActorManager* getActorManager() const { return actorManager; }
  // The measurements of this window, created on demand; null without
  // manager.
  isActorROI* getROIActor() { return actorManager ? actorManager->getROIActor() : nullptr; }
  cocos2d::Ref* getRelayTarget() const { return relayTarget; }
  // 0 axial, 1 sagittal, 2 coronal → the plane index of the data that shows
  // that view.
  int planeIndexForView(int view);
  // Moves the camera so that a drag of (−dx, dy) points moves the content
  // with the pointer; nothing when a pick misses.
  void panBy(float dx, float dy);

  bool maximized = false;
  cocos2d::Vec2 savedPosition;
  cocos2d::Size savedSize;

 protected:
  isRenderWindow() = default;
  ~isRenderWindow() override;

  void relay(unsigned int id, NSUI::NSNotificationData* data, bool immediate);

  isActorManager* actorManager = nullptr;  // retained
  isImageData* imageData = nullptr;        // retained
  cocos2d::Ref* relayTarget = nullptr;     // not retained
  std::vector<int> notificationIds;
  cocos2d::Ref* interactor = nullptr;      // retained; set by the viewers
  cocos2d::EventListenerTouchAllAtOnce* touchListener = nullptr;
  cocos2d::Vec2 mousePanTotal;
  float mouseZoomTotal = 1.0f;
};

}  // namespace isImageSDK
