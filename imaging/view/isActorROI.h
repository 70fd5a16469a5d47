// The measurements of one render window: it knows which slice the window
// shows (series identifier, orientation, slice index, folded into a slice
// key) and keeps one actor for each registered record of that key,
// numbered 1, 2, 3 … in registry order. Every NOTIFY_SLICE_CHANGED and
// NOTIFY_ORIENTATION_CHANGED of the window rebuilds the set, so a
// measurement appears only on the slice it was drawn on. It creates new
// measurements, finds the one nearest a pick ray and removes them. UI
// thread only.
#pragma once

#include <string>
#include <vector>

#include "imaging/view/isActorROIShapes.h"

namespace isImageSDK {

class isActorROI : public isActorObject {
 public:
  CREATE_FUNC(isActorROI)
  ~isActorROI() override;

  void clear() override;
  bool init() override;
  void attach(isRenderWindowBase* window) override;

  // A new text drops the actors (no rebuild: the next slice notice builds).
  void setSeriesKey(const std::string& key);
  void setOrientation(int value);
  void setSliceIndex(int value);
  // FNV-1a folded hash of "series,orientation,index"; cached.
  int32_t getSliceKey();
  void rebuild();

  isActorROIPoint* createPointROI(const cocos2d::Vec3& worldPoint);
  isActorROIAngle* createAngleROI(const cocos2d::Vec3& worldPoint);
  isActorROIPolygon* createPolygonROI(const cocos2d::Vec3& first, const cocos2d::Vec3& second);
  // Lines and circles, which the interaction tool draws by one drag: both
  // points at the touch, point 1 selected.
  isActorROILine* createLineROI(const cocos2d::Vec3& worldPoint);
  isActorROICircle* createCircleROI(const cocos2d::Vec3& worldPoint);

  // The nearest actor within 15 screen pixels, its nearest point selected.
  isActorROIBase* hitTest(const cocos2d::Vec3& rayOrigin, const cocos2d::Vec3& rayDirection);
  // Removes the measurement for good: from the window, the list and the
  // registry.
  void removeROIActor(isActorROIBase* actor);
  void deleteROIById(int id);
  void onSliceNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);

  bool contains(const isActorROIBase* actor) const;
  const std::vector<isActorROIBase*>& getROIActors() const { return roiActors; }
  const std::string& getSeriesKey() const { return seriesKey; }
  int getOrientation() const { return orientation; }
  int getSliceIndex() const { return sliceIndex; }

  int32_t nextNumber = 1;

 protected:
  isActorROI() = default;

  void dropActors();
  // The record of a new measurement keyed, its actor bound, attached,
  // numbered, selected, listed and the record registered.
  bool adopt(isActorROIBase* actor, ROIData* record, int selected);

  std::string seriesKey;
  int32_t orientation = -1;
  int32_t sliceIndex = -1;
  int32_t sliceKey = 0;
  std::vector<isActorROIBase*> roiActors;  // retained
};

}  // namespace isImageSDK
