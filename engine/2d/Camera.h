// Camera: a node that defines one render pass. Every camera of the running
// scene renders one pass per frame (non-default cameras first in
// registration order, the scene's default camera last); nodes carrying the
// camera's flag are drawn in its pass.
//
// Pass projection = additional projection × projection; view =
// getViewMatrix() (by default the inverse of the node-to-world transform).
//
// Threads: the constructor, the init functions, lookAt, getViewMatrix and
// the matrices touch neither the Director, GL nor other global state, so
// cameras may be built and used on worker threads. Registration with a
// scene happens in onEnter (UI thread).
#pragma once

#include <cstdint>

#include "engine/2d/Node.h"

NS_CC_BEGIN

class Camera : public Node {
 public:
  enum class Type { PERSPECTIVE = 1, ORTHOGRAPHIC = 2 };

  // An orthographic camera over (0, 0)-(winSize) with z from -1024 to 1024
  // (the window size is read here, on the UI thread); flag 1.
  static Camera* create();
  static Camera* createPerspective(float fieldOfView, float aspectRatio, float nearPlane, float farPlane);
  static Camera* createOrthographic(float width, float height, float nearPlane, float farPlane);

  Camera();
  ~Camera() override;

  // fieldOfView: vertical, in degrees.
  bool initPerspective(float fieldOfView, float aspectRatio, float nearPlane, float farPlane);
  // Over (0, 0)-(width, height) in the camera's space.
  bool initOrthographic(float width, float height, float nearPlane, float farPlane);

  Type getType() const { return _type; }

  // Multiplied on the left of the projection: pass projection = this ×
  // getProjectionMatrix().
  void setAdditionalProjection(const Mat4& mat);
  const Mat4& getAdditionalProjection() const { return _additionalProjection; }

  const Mat4& getProjectionMatrix() const { return _projection; }
  // The inverse of the node-to-world transform by default.
  virtual const Mat4& getViewMatrix() const;
  // additional projection × projection × view.
  const Mat4& getViewProjectionMatrix() const;
  // True when the view-projection was recomputed by the last
  // getViewProjectionMatrix() call.
  bool isViewProjectionUpdated() const { return _viewProjectionUpdated; }

  // Turns the camera to look at target (parent space), with up as the up
  // direction; the position stays.
  virtual void lookAt(const Vec3& target, const Vec3& up = Vec3(0, 1, 0));

  // The flag of nodes drawn in this camera's pass (1 = default camera).
  uint16_t getCameraFlag() const { return _cameraFlag; }
  void setCameraFlag(uint16_t flag) { _cameraFlag = flag; }

  float getFOV() const { return _fieldOfView; }
  float getNearPlane() const { return _nearPlane; }
  float getFarPlane() const { return _farPlane; }
  float getAspectRatio() const { return _aspectRatio; }

  // Sets the viewport to the whole framebuffer (the GL layer's backend does
  // the GL call; headless it does nothing).
  void applyViewport();

  // The camera whose pass (or mouse dispatch) is running, else null.
  static Camera* getVisitingCamera() { return _visitingCamera; }
  // The running scene's default camera (null without a running scene).
  static Camera* getDefaultCamera();

  // Registration with the scene.
  void onEnter() override;
  void onExit() override;

  // Rotation setters drop a lookAt orientation.
  void setRotation(float degrees) override;
  void setRotation3D(const Vec3& degrees) override;
  const Mat4& getNodeToParentTransform() const override;

  // The camera of the running pass; set by the scene during passes and by
  // the dispatcher during mouse dispatch.
  static Camera* _visitingCamera;

 protected:
  friend class Scene;
  // Fields that subclasses with their own view read and write:
  //  _fieldOfView, _aspectRatio, _nearPlane, _farPlane  the projection inputs;
  //  _projection            the projection (without the additional one);
  //  _additionalProjection  multiplied on its left;
  //  _view, _viewInv        the view and its inverse (the camera's world
  //                         transform), refreshed by getViewMatrix();
  //  _viewProjection        cached additional × projection × view;
  //  _viewProjectionDirty   set when any input changes; cleared when
  //                         _viewProjection is recomputed.
  Type _type = Type::ORTHOGRAPHIC;
  float _fieldOfView = 60;
  float _aspectRatio = 1;
  float _nearPlane = -1024;
  float _farPlane = 1024;
  Mat4 _projection;
  Mat4 _additionalProjection;
  mutable Mat4 _view;
  mutable Mat4 _viewInv;
  mutable Mat4 _viewProjection;
  mutable bool _viewProjectionDirty = true;
  mutable bool _viewProjectionUpdated = false;
  uint16_t _cameraFlag = 1;
  // Orientation set by lookAt (used instead of the rotation angles).
  Mat4 _lookAtRotation;
  bool _useLookAtRotation = false;
  Scene* _registeredScene = nullptr;
};

NS_CC_END
