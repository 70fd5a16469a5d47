#include "imaging/core/isCamera.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "imaging/core/isGeometry.h"

using cocos2d::Mat4;
using cocos2d::Vec2;
using cocos2d::Vec3;

namespace isImageSDK {

namespace {

struct D3 {
    double x, y, z;
};

D3 d3(const Vec3& v) { return {v.x, v.y, v.z}; }
D3 sub(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 cross(D3 a, D3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double length(D3 a) { return std::sqrt(dot(a, a)); }
D3 normalised(D3 a)
{
    double l = length(a);
    return l > 0 ? D3{a.x / l, a.y / l, a.z / l} : a;
}

// Column-major 4 x 4 in double.
void toDouble(const Mat4& m, double out[16])
{
    for (int i = 0; i < 16; ++i) out[i] = m.m[i];
}

void multiply(const double a[16], const double b[16], double out[16])
{
    double r[16];
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += a[k * 4 + row] * b[c * 4 + k];
            r[c * 4 + row] = s;
        }
    std::copy(r, r + 16, out);
}

bool invert(const double m[16], double out[16])
{
    double inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14]
           + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14]
           - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13]
           + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13]
            - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14]
           - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14]
           + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13]
           - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13]
            + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14]
           + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14]
           - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13]
            + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13]
            - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10]
           - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10]
           + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9]
            - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9]
            + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    double det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0 || !std::isfinite(det)) return false;
    for (int i = 0; i < 16; ++i) out[i] = inv[i] / det;
    return true;
}

void transform(const double m[16], double x, double y, double z, double w, double out[4])
{
    for (int r = 0; r < 4; ++r) out[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r] * w;
}

void corners2D(const isCamera& cam, const float c[12], double& ex, double& ey)
{
    double xmin = 99999, xmax = -99999, ymin = 99999, ymax = -99999;
    for (int i = 0; i < 4; ++i) {
        Vec3 v = cam.worldToView(Vec3(c[i * 3], c[i * 3 + 1], c[i * 3 + 2]));
        xmin = std::min<double>(xmin, v.x), xmax = std::max<double>(xmax, v.x);
        ymin = std::min<double>(ymin, v.y), ymax = std::max<double>(ymax, v.y);
    }
    ex = xmax - xmin;
    ey = ymax - ymin;
}

}  // namespace

isCamera* isCamera::create()
{
    isCamera* camera = new (std::nothrow) isCamera();
    if (!camera) return nullptr;
    if (!camera->init()) {
        delete camera;
        return nullptr;
    }
    camera->autorelease();
    return camera;
}

bool isCamera::init()
{
    if (!cocos2d::Node::init()) return false;
    changed = false;
    perspective = false;
    m_state.zoom = 1.f;
    m_target = m_state.target;
    m_up = m_state.up;
    m_width = 1.f;
    m_height = 1.f;
    setPosition3D(m_state.eye);
    lookAtView = false;
    m_additionalProjection = Mat4::IDENTITY;
    _fieldOfView = 60.f;
    _nearPlane = 1.f;
    _farPlane = 1000.f;
    m_viewDirty = true;
    updateConversion();
    return true;
}

bool isCamera::setProjection(float fieldOfView, float width, float height, float nearPlane, float farPlane,
                             const Mat4& extra)
{
    _nearPlane = nearPlane;
    _farPlane = farPlane;
    m_height = height;
    m_width = width;
    if (perspective) {
        initPerspective(fieldOfView, height != 0.f ? width / height : 1.f, nearPlane, farPlane);
    } else {
        const float z = m_state.zoom;
        _type = Type::ORTHOGRAPHIC;
        Mat4::createOrthographicOffCenter(-width * 0.5f * z, width * 0.5f * z, -height * 0.5f * z,
                                          height * 0.5f * z, nearPlane, farPlane, &_projection);
        _viewProjectionDirty = true;
    }
    setAdditionalProjection(extra);
    m_additionalProjection = extra;
    changed = true;
    updateConversion();
    return true;
}

void isCamera::setZoom(float zoom)
{
    m_state.zoom = zoom;
    setProjection(_fieldOfView, m_width, m_height, _nearPlane, _farPlane, m_additionalProjection);
}

Vec3 isCamera::getViewDirection() const
{
    return m_state.viewDirection;
}

Vec3 isCamera::getRightVector() const
{
    return m_state.rightAxis;
}

Vec3 isCamera::getFrameUpVector() const
{
    Mat4 m = lookAtMatrix();
    return Vec3(m.m[4], m.m[5], m.m[6]);
}

Mat4 isCamera::lookAtMatrix() const
{
    D3 eye = d3(getPosition3D()), target = d3(m_target);
    D3 z = sub(eye, target);
    if (length(z) == 0) {
        // Eye on the target: keep the last viewing direction.
        z = {-m_state.viewDirection.x, -m_state.viewDirection.y, -m_state.viewDirection.z};
    }
    z = normalised(z);
    D3 x = cross(normalised(d3(m_up)), z);
    if (length(x) < 1e-12) {
        // Up along the viewing axis: any perpendicular will do.
        D3 helper = std::fabs(z.x) < 0.9 ? D3{1, 0, 0} : D3{0, 1, 0};
        x = cross(helper, z);
    }
    x = normalised(x);
    D3 y = normalised(cross(z, x));
    Mat4 m;
    m.m[0] = float(x.x), m.m[1] = float(x.y), m.m[2] = float(x.z), m.m[3] = 0;
    m.m[4] = float(y.x), m.m[5] = float(y.y), m.m[6] = float(y.z), m.m[7] = 0;
    m.m[8] = float(z.x), m.m[9] = float(z.y), m.m[10] = float(z.z), m.m[11] = 0;
    m.m[12] = _position.x, m.m[13] = _position.y, m.m[14] = _positionZ, m.m[15] = 1;
    return m;
}

void isCamera::lookAt(const Vec3& target, const Vec3& up)
{
    m_viewDirty = true;
    m_target = target;
    m_up = up;
    Mat4 m = lookAtMatrix();
    const Vec3 eye = getPosition3D();
    double rx = 0, ry = 0, rz = 0;
    matrixToEulerAngles(m, rx, ry, rz);
    cocos2d::Node::setRotation3D(Vec3(float(rx), float(ry), float(rz)));
    m_state.eye = eye;
    m_state.target = target;
    m_state.up = up;
    m_state.viewDirection = Vec3(-m.m[8], -m.m[9], -m.m[10]);
    m_state.rightAxis = Vec3(m.m[0], m.m[1], m.m[2]);
    m_state.distance = static_cast<float>(length(sub(d3(target), d3(eye))));
    changed = true;
    markTransformDirty();
    updateConversion();
}

void isCamera::setPosition3D(const Vec3& eye)
{
    cocos2d::Node::setPosition3D(eye);
    lookAt(m_target, m_up);
}

void isCamera::setEyePosition(const Vec3& eye)
{
    m_viewDirty = true;
    setPosition3D(eye);
}

const Mat4& isCamera::getNodeToParentTransform() const
{
    if (_transformDirty) {
        _transform = lookAtMatrix();
        if (_useAdditionalTransform) _transform = _transform * _additionalTransform;
        _transformDirty = false;
    }
    return _transform;
}

void isCamera::setAdditionalTransform(const Mat4* transform)
{
    cocos2d::Node::setAdditionalTransform(transform);
    updateConversion();
}

const Mat4& isCamera::getViewMatrix() const
{
    if (!m_viewDirty) return _view;
    m_viewDirty = false;
    if (!lookAtView) return cocos2d::Camera::getViewMatrix();
    _viewInv = lookAtMatrix();
    _viewProjectionDirty = true;
    _view = _viewInv.getInversed();
    return _view;
}

void isCamera::updateConversion()
{
    double transformD[16];
    toDouble(getNodeToParentTransform(), transformD);
    if (!invert(transformD, m_convView)) {
        for (int i = 0; i < 16; ++i) m_convView[i] = (i % 5 == 0) ? 1 : 0;
    }
    Mat4 p;
    if (perspective) {
        Mat4::createPerspective(_fieldOfView, _aspectRatio, _nearPlane, _farPlane, &p);
    } else {
        const float z = m_state.zoom;
        Mat4::createOrthographicOffCenter(-m_width * 0.5f * z, m_width * 0.5f * z, -m_height * 0.5f * z,
                                          m_height * 0.5f * z, _nearPlane, _farPlane, &p);
    }
    double pd[16];
    toDouble(p, pd);
    multiply(pd, m_convView, m_convProjectionView);
    if (!invert(m_convProjectionView, m_convInverse)) {
        for (int i = 0; i < 16; ++i) m_convInverse[i] = (i % 5 == 0) ? 1 : 0;
    }
}

void isCamera::screenToWorld(const Vec3& source, Vec3* destination) const
{
    double r[4];
    transform(m_convInverse, 2.0 * source.x / m_width - 1.0, 2.0 * source.y / m_height - 1.0, 2.0 * source.z - 1.0,
              1.0, r);
    if (r[3] != 0.0) r[0] /= r[3], r[1] /= r[3], r[2] /= r[3];
    destination->set(float(r[0]), float(r[1]), float(r[2]));
}

void isCamera::worldToScreen(const Vec3& source, Vec3* destination) const
{
    double r[4];
    transform(m_convProjectionView, source.x, source.y, source.z, 1.0, r);
    if (r[3] != 0.0) r[0] /= r[3], r[1] /= r[3], r[2] /= r[3];
    destination->set(float((r[0] + 1.0) * 0.5 * m_width), float((r[1] + 1.0) * 0.5 * m_height),
                     float((r[2] + 1.0) * 0.5));
}

void isCamera::screenRay(const Vec2& point, Vec3* origin, Vec3* direction) const
{
    Vec3 nearPoint, farPoint;
    screenToWorld(Vec3(point.x, point.y, 0.f), &nearPoint);
    screenToWorld(Vec3(point.x, point.y, 1.f), &farPoint);
    *origin = nearPoint;
    *direction = (farPoint - nearPoint).getNormalized();
}

Vec3 isCamera::worldToView(const Vec3& point) const
{
    double r[4];
    transform(m_convView, point.x, point.y, point.z, 1.0, r);
    return Vec3(float(r[0]), float(r[1]), float(r[2]));
}

double isCamera::computeFitZoom(const float corners[12]) const
{
    double ex, ey;
    corners2D(*this, corners, ex, ey);
    if (ex < 0.5 || ey < 0.5 || perspective) return 1.0;
    if (m_width / m_height > ex / ey) return ey / m_height;
    return ex / m_width;
}

double isCamera::computeFitDistance(const float corners[12]) const
{
    double ex, ey;
    corners2D(*this, corners, ex, ey);
    if (!perspective) return (_farPlane - _nearPlane) * 0.5 + _nearPlane;
    double half = (ey > 0 && m_width / m_height > ex / ey) ? ey * 0.5 : ex * 0.5 / _aspectRatio;
    double t = std::tan(_fieldOfView * 0.5 / 180.0 * 3.1415925f);
    float d = static_cast<float>(half / t);
    if (d > _farPlane) return _farPlane - 1.0;
    if (d < _nearPlane) return _nearPlane + 1.0;
    return d;
}

Vec3 isCamera::projectToTargetPlane(const Vec3& point) const
{
    D3 d = d3(m_state.viewDirection);
    double dd = dot(d, d);
    if (dd == 0) return point;
    double s = (dot(d3(m_target), d) - dot(d3(point), d)) / dd;
    return Vec3(float(point.x + s * d.x), float(point.y + s * d.y), float(point.z + s * d.z));
}

}  // namespace isImageSDK
