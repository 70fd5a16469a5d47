// The five measurement actors: a distance in millimetres (line), an angle in
// degrees, a probe point and two areas (circle, polygon) whose pixel values
// the window's image actor reports. Each draws into its own draw node(s)
// and places its label through the base.
#pragma once

#include "imaging/view/isActorROIBase.h"

namespace isImageSDK {

class isActorROILine : public isActorROIBase {
 public:
  CREATE_FUNC(isActorROILine)
  bool init() override;
  void setROIData(ROIData* data) override;
  void moveSelectedPoint(const cocos2d::Vec3& worldPosition) override;
  bool isValid() override { return roiData && roiData->isValid(); }
  void update() override;
  isDrawNode* getDrawNode() const { return drawNode; }

 protected:
  isActorROILine() = default;
  isDrawNode* drawNode = nullptr;  // in the scene node list
};

class isActorROIAngle : public isActorROIBase {
 public:
  CREATE_FUNC(isActorROIAngle)
  bool init() override;
  void setROIData(ROIData* data) override;
  void moveSelectedPoint(const cocos2d::Vec3& worldPosition) override;
  bool isValid() override { return roiData && roiData->isValid(); }
  bool isComplete() override { return complete; }
  void update() override;
  // After each touch end while the angle is drawn: from the first arm to the
  // second, then complete.
  void advancePoint();
  isDrawNode* getDrawNode() const { return drawNode; }

  bool complete = false;

 protected:
  isActorROIAngle() = default;
  isDrawNode* drawNode = nullptr;
};

class isActorROIPoint : public isActorROIBase {
 public:
  CREATE_FUNC(isActorROIPoint)
  bool init() override;
  void attach(isRenderWindowBase* window) override;
  void setROIData(ROIData* data) override;
  void moveSelectedPoint(const cocos2d::Vec3& worldPosition) override;
  bool isValid() override { return true; }
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) override;
  void update() override;
  float getWorldPixelSize() const { return worldPixelSize(); }
  isDrawNode* getDrawNode() const { return drawNode; }

 protected:
  isActorROIPoint() = default;
  isDrawNode* drawNode = nullptr;
};

class isActorROICircle : public isActorROIBase {
 public:
  CREATE_FUNC(isActorROICircle)
  bool init() override;
  void attach(isRenderWindowBase* window) override;
  void setROIData(ROIData* data) override;
  void moveSelectedPoint(const cocos2d::Vec3& worldPosition) override;
  bool isValid() override { return roiData && roiData->isValid(); }
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) override;
  void update() override;
  isDrawNode* getDrawNode() const { return drawNode; }

 protected:
  isActorROICircle() = default;
  isDrawNode* drawNode = nullptr;
};

class isActorROIPolygon : public isActorROIBase {
 public:
  CREATE_FUNC(isActorROIPolygon)
  bool init() override;
  void attach(isRenderWindowBase* window) override;
  void setROIData(ROIData* data) override;
  void moveSelectedPoint(const cocos2d::Vec3& worldPosition) override;
  bool isValid() override { return roiData && roiData->isValid(); }
  bool isComplete() override { return closed; }
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) override;
  void update() override;
  // After each touch end while drawing: a copy of the last vertex for the
  // next drag, once the last edge is longer than 0.05.
  void appendPoint();
  // Before a double tap closes the polygon: drops the two vertices its taps
  // added (five vertices or more).
  void removeLastTwoPoints();
  isDrawNode* getDrawNode() const { return drawNode; }
  isDrawNode* getDashedDrawNode() const { return dashedDrawNode; }

  bool closed = false;

 protected:
  isActorROIPolygon() = default;
  ROIPolygon* polygon() const { return static_cast<ROIPolygon*>(roiData); }
  isDrawNode* drawNode = nullptr;
  isDrawNode* dashedDrawNode = nullptr;
};

}  // namespace isImageSDK
