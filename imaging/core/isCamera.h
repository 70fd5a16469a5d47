// The camera of the imaging code: a projection sized in viewport pixels with a
// zoom (orthographic unless asked for perspective), a look-at frame kept in a
// CameraState record, and conversions between viewport pixels, world space and
// the camera's own frame.
//
// Viewport pixels count x from the left edge and y from the bottom edge; depth
// runs from 0 at the near plane to 1 at the far plane.
#pragma once

#include "engine/2d/Camera.h"
#include "engine/math/Mat4.h"
#include "engine/math/Vec2.h"
#include "engine/math/Vec3.h"
#include "imaging/core/isImageTypes.h"
#include "imaging/core/isNodeObject.h"

namespace isImageSDK {

// An engine camera node: the projection numbers and matrices, the view and
// its inverse, the transform and the additional transform are the engine's
// own fields. Construction, lookAt, the matrices and the conversions touch no
// Director, GL or other global state, so ray-cast threads may build and use
// private cameras.
class isCamera : public cocos2d::Camera, public isNodeObject {
public:
    // Constructed and initialised, autoreleased; null on failure.
    static isCamera* create();

    bool init() override;

    // Stores the viewport size and planes and builds the projection:
    // perspective (fieldOfView degrees, width / height) or an orthographic box
    // of width x zoom by height x zoom world units. Sets the changed flag.
    bool setProjection(float fieldOfView, float width, float height, float nearPlane, float farPlane,
                       const cocos2d::Mat4& extra = cocos2d::Mat4::IDENTITY);
    // Stores the zoom and rebuilds the projection with the stored numbers.
    void setZoom(float zoom);
    float getZoom() const { return m_state.zoom; }

    cocos2d::Mat4 getAdditionalProjection() const { return m_additionalProjection; }
    cocos2d::Vec3 getTarget() const { return m_target; }
    cocos2d::Vec3 getUpVector() const { return m_up; }
    cocos2d::Vec3 getViewDirection() const;
    cocos2d::Vec3 getRightVector() const;
    // The unit up axis of the camera frame (the up vector made orthogonal to
    // the viewing direction).
    cocos2d::Vec3 getFrameUpVector() const;

    // Aims the camera at target from its current position.
    void lookAt(const cocos2d::Vec3& target, const cocos2d::Vec3& up) override;
    // Moves the eye and keeps it aimed at the current target.
    void setPosition3D(const cocos2d::Vec3& eye) override;
    virtual void setEyePosition(const cocos2d::Vec3& eye);

    // The look-at frame (camera to world), times the additional transform
    // when one is set; the node's position, rotation and scale do not enter.
    const cocos2d::Mat4& getNodeToParentTransform() const override;
    // The node's additional transform; also refreshes the conversions.
    void setAdditionalTransform(const cocos2d::Mat4* transform);
    void setAdditionalTransform(const cocos2d::Mat4& transform) { setAdditionalTransform(&transform); }
    // World to camera.
    const cocos2d::Mat4& getViewMatrix() const override;

    void screenToWorld(const cocos2d::Vec3& source, cocos2d::Vec3* destination) const;
    void worldToScreen(const cocos2d::Vec3& source, cocos2d::Vec3* destination) const;
    void screenRay(const cocos2d::Vec2& point, cocos2d::Vec3* origin, cocos2d::Vec3* direction) const;
    cocos2d::Vec3 worldToView(const cocos2d::Vec3& point) const;
    // Four world points (12 floats): the zoom or eye distance at which the
    // rectangle they span just fits into the viewport.
    double computeFitZoom(const float corners[12]) const;
    double computeFitDistance(const float corners[12]) const;
    // The point moved along the viewing direction onto the plane through the
    // target perpendicular to it.
    cocos2d::Vec3 projectToTargetPlane(const cocos2d::Vec3& point) const;

    const CameraState& getCameraState() const { return m_state; }
    float getWidth() const { return m_width; }
    float getHeight() const { return m_height; }

    // Projection type; callers test it and the ray caster copies it.
    bool perspective = false;
    // Set by setProjection and lookAt; the volume renderer tests and clears it.
    bool changed = false;
    // When set, getViewMatrix builds the view from eye, target and up itself.
    bool lookAtView = false;

protected:
    isCamera() = default;
    ~isCamera() override = default;

private:
    cocos2d::Mat4 lookAtMatrix() const;
    void updateConversion();

    cocos2d::Vec3 m_target;
    cocos2d::Vec3 m_up;
    float m_width = 1.f;
    float m_height = 1.f;
    cocos2d::Mat4 m_additionalProjection;
    mutable bool m_viewDirty = true;
    CameraState m_state;

    // Conversion matrices, refreshed by every change of view or projection so
    // that the conversions only read: V = world to camera, P the conversion
    // projection, PV = P x V and its inverse.
    double m_convView[16] = {};
    double m_convProjectionView[16] = {};
    double m_convInverse[16] = {};
};

}  // namespace isImageSDK
