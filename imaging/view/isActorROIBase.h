// The common base of the measurement actors: one record shown in one render
// window. The shape is drawn in world coordinates into the kind's draw
// nodes (scene nodes of the window); the label, a text node in the window's
// own coordinates, sits next to the shape until the user drags it away.
// After a drag the label keeps its place, carries the actor's number
// ("%i. %s") and a small number marker ("%i ") stays beside the shape.
//
// Changes only set flags; the redraw runs at the window's next
// NOTIFY_WINDOW_DRAWN, at most once per frame. A redraw also follows any
// change of the window's camera (zoom, pan, rotation) or size, because the
// labels, markers and crosses are placed and sized in pixels; such a redraw
// asks for no new statistics. UI thread only.
#pragma once

#include <string>

#include "engine/cocos2d.h"
#include "imaging/core/isImageTypes.h"
#include "imaging/view/isActorObject.h"
#include "imaging/view/isDrawNode.h"
#include "imaging/view/isNodeText.h"
#include "imaging/view/isROIData.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

class isActorROIBase : public isActorObject {
 public:
  ~isActorROIBase() override;

  void clear() override;
  bool init() override;
  void attach(isRenderWindowBase* window) override;

  // Binds the record (retained, null allowed); the same record changes
  // nothing.
  virtual void setROIData(ROIData* data);
  virtual void moveSelectedPoint(const cocos2d::Vec3& worldPosition) { dirty = true; }
  virtual bool isValid() { return false; }
  virtual bool isComplete() { return true; }
  virtual void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);
  virtual void update();

  void setLabelText(const std::string& text);
  // Bottom-left corner of the label 2 mm above (x, y) unless it was dragged.
  void setLabelPosition(float x, float y);
  // The number marker's right edge 2 mm left of (x, y), once the label was
  // dragged.
  void setNumberPosition(float x, float y);

  ROIData* getROIData() const { return roiData; }
  isNodeText* getLabel() const { return labelText; }
  isNodeText* getNumberLabel() const { return numberText; }
  // The 2 mm offset in whole pixels at the screen's DPI.
  static int labelOffset();

  bool dirty = false;
  bool labelMoved = false;
  int32_t selectedPoint = -1;
  int32_t number = 0;
  float fontSize = 15.0f;
  bool fixedLabelScale = false;
  float handleSize = 10.0f;

 protected:
  isActorROIBase() = default;

  void addObserver(int id, void* object);
  // Handles of every control point while one is selected: red for the
  // selected one, yellow for the others.
  void drawHandles(isDrawNode* node);
  // The window's pixel position of a world point (x, y, depth).
  cocos2d::Vec3 screenOf(const cocos2d::Vec3& world) const;
  // The camera's right axis and its negated up vector; the world axes when
  // not attached.
  void cameraAxes(cocos2d::Vec3* x, cocos2d::Vec3* y) const;
  // World length of one screen pixel (1 with a perspective camera).
  float worldPixelSize() const;
  // The view the last redraw was placed for; a different one asks for a
  // redraw without new statistics.
  void rememberView();
  bool viewChangedSinceDraw() const;
  // The kinds' common end of a redraw.
  void finishRedraw(bool clearLabelMoved);
  // A copy of the record, the number and the slice key posted to the
  // window's image actor (NOTIFY_ROI_INFO, serial queue); a request of this
  // actor still queued is withdrawn first.
  void requestStatistics();
  // A statistics answer for this actor's number and slice: shown and kept
  // as the record's label. False when it is not one.
  bool takeStatisticsAnswer(unsigned int id, NSUI::NSNotificationData* data);

  ROIData* roiData = nullptr;       // retained
  isNodeText* labelText = nullptr;  // in the node list
  isNodeText* numberText = nullptr; // in the node list
  bool viewRemembered = false;
  CameraState drawnCamera;
  cocos2d::Size drawnSize;
};

// A fresh record of the same kind with the same contents; null for an
// unknown kind. Autoreleased.
ROIData* copyROIRecord(const ROIData* record);

}  // namespace isImageSDK
