// The image interaction tool: gives the gestures of the touch tracking base
// their meaning in a render window according to the tool the user picked.
// Pan, zoom, window and probe gestures become notifications addressed to
// the window (sender the tool, object the window), which the window or its
// viewer carries out; rotation moves the window's camera directly. Two-finger
// pinch and pan and the horizontal swipe work in every mode. UI thread only.
#pragma once

#include <string>

#include "imaging/view/isInteractorBase.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

class isRenderWindowBase;
class isActorROI;
class isActorROIBase;

constexpr int TOOL_MODE_PROBE = 0;
constexpr int TOOL_MODE_ROTATE = 1;
constexpr int TOOL_MODE_READOUT = 2;
constexpr int TOOL_MODE_WINDOW = 4;
constexpr int TOOL_MODE_PAN = 5;
constexpr int TOOL_MODE_ZOOM = 6;
constexpr int TOOL_MODE_LOCATE = 7;
// Drawing and editing of measurements.
constexpr int TOOL_MODE_ROI_LINE = 9;
constexpr int TOOL_MODE_ROI_POINT = 10;
constexpr int TOOL_MODE_ROI_ANGLE = 11;
constexpr int TOOL_MODE_ROI_CIRCLE = 12;
constexpr int TOOL_MODE_ROI_POLYGON = 13;

class isInteractorImage : public isInteractorBase {
 public:
  static isInteractorImage* create();
  ~isInteractorImage() override;

  void clear() override;
  bool init() override;
  void onTouchesEnded(const std::vector<cocos2d::Touch*>& touches) override;
  void onTouchesCancelled(const std::vector<cocos2d::Touch*>& touches) override;
  void setTarget(cocos2d::Node* window) override;
  void onTouchBegan(cocos2d::Touch* touch) override;
  void onTouchMoved(cocos2d::Touch* touch) override;
  void onTouchEnded(cocos2d::Touch* touch) override;
  void onTouchCancelled(cocos2d::Touch* touch) override;
  // Closes a polygon being drawn once it has five vertices or more.
  void onDoubleTap(const cocos2d::Vec2& point) override;
  void onPan(const cocos2d::Vec2& step) override;
  void onPinch(float factor) override;
  void onSwipe(const cocos2d::Vec2& point, const cocos2d::Vec2& movement) override;
  void onDrag(const cocos2d::Vec2& step) override;

  // Choosing the current tool again closes a valid polygon being drawn;
  // another tool finishes or removes the measurement being drawn and
  // deselects it.
  void setToolMode(int mode);
  int getToolMode() const { return toolMode; }
  // The slice or orientation changed: the active measurement is deselected
  // and forgotten.
  void onViewReset(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);
  // Deselects and forgets the active measurement; returns it (autoreleased)
  // so that the caller may delete it, or null.
  isActorROIBase* clearActiveROI();
  // The measurement being drawn or edited, while its container lists it.
  isActorROIBase* getActiveROI();
  bool hasPickedExisting() const { return pickedExisting; }
  // Posts the totals of the gesture for the linked views, then resets them.
  void finishGesture();

  cocos2d::Vec2 getPanTotal() const { return panTotal; }
  float getZoomTotal() const { return zoomTotal; }

 protected:
  isInteractorImage() = default;

  isRenderWindowBase* window() const;
  // False when the window's zoom ratio refuses the factor.
  bool zoomAllowed(float factor) const;
  void postPan(const cocos2d::Vec2& step);
  // Picks the world point under the location and posts it; cancelProbe /
  // cancelFocal first withdraw this frame's pending copies.
  void postPicked(const cocos2d::Vec2& location, bool focalFirst, bool probe, bool focal, bool cancel);
  void post(int id, const std::string& text, bool immediate);
  void postFloat(int id, float value, bool immediate);

  isActorROI* roiContainer() const;
  void roiTouchBegan(cocos2d::Touch* touch);
  // Returns the active measurement, forgetting it first when its container
  // no longer lists it (new data released the container's actors).
  isActorROIBase* liveROI();
  void setActiveROI(isActorROIBase* actor);
  static void deselect(isActorROIBase* actor);
  bool isROIMode() const { return toolMode >= TOOL_MODE_ROI_LINE && toolMode <= TOOL_MODE_ROI_POLYGON; }

  int32_t toolMode = TOOL_MODE_PAN;
  // Held with a reference, so that new data cannot leave it dangling.
  isActorROIBase* activeROI = nullptr;
  cocos2d::Vec2 panTotal;
  float zoomTotal = 1.0f;
  bool windowChanged = false;
  bool pickedExisting = false;
};

// The same tool starting in the rotate mode, for the volume viewer.
class isInteractorTrackVR : public isInteractorImage {
 public:
  static isInteractorTrackVR* create();
  ~isInteractorTrackVR() override = default;
  bool init() override;

 protected:
  isInteractorTrackVR() = default;
};

}  // namespace isImageSDK
