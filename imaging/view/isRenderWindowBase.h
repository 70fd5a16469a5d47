// The rectangle of the screen in which a view of patient space is drawn: a
// scissor-clipped layout with two orthographic cameras of its own (one for
// the scene nodes, one for the visit nodes). The cameras keep the engine's
// full-screen viewport; an additional projection maps their normalised
// square onto the window's rectangle, so that windows side by side each
// draw their own 3-D scene in millimetres of patient space.
//
// Screen conversions are in window-local pixels, y from the bottom edge.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/ui/Layout.h"
#include "imaging/core/isCamera.h"
#include "imaging/core/isImageTypes.h"
#include "imaging/core/isNodeObject.h"
#include "imaging/view/isNodeSprite.h"
#include "imaging/view/isWindowLayout.h"

namespace isImageSDK {

class isRenderWindowBase : public isWindowLayout, public isNodeObject {
 public:
  bool init() override;
  void cleanup() override;
  void setPosition(const cocos2d::Vec2& position) override;
  void setContentSize(const cocos2d::Size& size) override;
  void setVisible(bool visible) override;
  void setParent(cocos2d::Node* parent) override;
  void onEnter() override;
  void visit(cocos2d::Renderer* renderer, const cocos2d::Mat4& parentTransform, uint32_t parentFlags) override;
  using cocos2d::Node::visit;
  bool isVisitableByVisitingCamera() const override;
  void onBeforeVisit() override;
  void onAfterVisit() override;

  virtual void addSceneNode(cocos2d::Node* node);
  virtual void removeSceneNode(cocos2d::Node* node);
  virtual void addVisitNode(cocos2d::Node* node);
  virtual void clearVisitNodes();
  virtual void removeVisitNode(cocos2d::Node* node);
  virtual void setCameraPosition(const cocos2d::Vec3& eye);
  virtual void setCameraLookAt(const cocos2d::Vec3& target, const cocos2d::Vec3& up);
  virtual CameraState getCameraState() const;
  // False here; the viewers pick their slice.
  virtual bool pickPoint(const cocos2d::Vec2& screenPoint, cocos2d::Vec3* worldPoint);
  // screenPoint in GL view coordinates (as a touch reports it).
  virtual void getPickRay(const cocos2d::Vec2& screenPoint, cocos2d::Vec3* origin, cocos2d::Vec3* direction);
  virtual void updateOrientationLabels() {}

  cocos2d::Vec3 getCameraTarget() const;
  void getCameraTargetAndUp(cocos2d::Vec3* target, cocos2d::Vec3* up) const;
  void setCameraTarget(const cocos2d::Vec3& p);
  void setZoom(float zoom);
  // Zoom / f on both cameras (f > 1 enlarges); posts NOTIFY_CAMERA_CHANGED.
  // A factor that is not finite and positive is ignored.
  void zoomBy(float f);
  // zoomReference / r; nothing posted. Not finite and positive: ignored.
  void setZoomRatio(float r);
  float getZoomRatio() const;
  void centerOn(const cocos2d::Vec3& p);
  void rotateAboutUp(float angle);
  // Window points (from the bottom-left corner) of a world point.
  cocos2d::Vec2 worldToScreen(const cocos2d::Vec3& p) const;
  void setFocused(bool focused);
  bool isFocused() const { return focused; }
  bool isContentVisible() const { return contentVisible; }
  void updateBackground();

  isCamera* getSceneCamera() const { return sceneCamera; }
  isCamera* getVisitCamera() const { return visitCamera; }
  isNodeSprite* getBackgroundSprite() const { return backgroundSprite; }
  const std::vector<cocos2d::Node*>& getSceneNodes() const { return sceneNodes; }
  const std::vector<cocos2d::Node*>& getVisitNodes() const { return visitNodes; }

  float zoomReference = 1.0f;

 protected:
  isRenderWindowBase() = default;
  ~isRenderWindowBase() override;

  void postCameraMoved();
  void assignCameraFlags();

  std::vector<cocos2d::Node*> sceneNodes;
  std::vector<cocos2d::Node*> visitNodes;
  isCamera* sceneCamera = nullptr;
  isCamera* visitCamera = nullptr;
  uint32_t lastNotifiedFrame = 0;
  isNodeSprite* backgroundSprite = nullptr;
  bool focused = false;
  bool contentVisible = true;
  bool visitNodesAttached = false;
};

}  // namespace isImageSDK
