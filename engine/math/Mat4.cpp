#include "engine/math/Mat4.h"

#include <cmath>
#include <cstring>

NS_CC_BEGIN

namespace {
const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

const Mat4 Mat4::IDENTITY;
const Mat4 Mat4::ZERO(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);

Mat4::Mat4() { setIdentity(); }

Mat4::Mat4(float m11, float m12, float m13, float m14,
           float m21, float m22, float m23, float m24,
           float m31, float m32, float m33, float m34,
           float m41, float m42, float m43, float m44) {
  set(m11, m12, m13, m14, m21, m22, m23, m24, m31, m32, m33, m34, m41, m42, m43, m44);
}

Mat4::Mat4(const Vec3& x, const Vec3& y, const Vec3& z, const Vec3& t) {
  m[0] = x.x;  m[1] = x.y;  m[2] = x.z;  m[3] = 0;
  m[4] = y.x;  m[5] = y.y;  m[6] = y.z;  m[7] = 0;
  m[8] = z.x;  m[9] = z.y;  m[10] = z.z; m[11] = 0;
  m[12] = t.x; m[13] = t.y; m[14] = t.z; m[15] = 1;
}

Mat4::Mat4(const float* columnMajor) { set(columnMajor); }

void Mat4::set(float m11, float m12, float m13, float m14,
               float m21, float m22, float m23, float m24,
               float m31, float m32, float m33, float m34,
               float m41, float m42, float m43, float m44) {
  m[0] = m11; m[4] = m12; m[8] = m13;  m[12] = m14;
  m[1] = m21; m[5] = m22; m[9] = m23;  m[13] = m24;
  m[2] = m31; m[6] = m32; m[10] = m33; m[14] = m34;
  m[3] = m41; m[7] = m42; m[11] = m43; m[15] = m44;
}

void Mat4::set(const float* columnMajor) { memcpy(m, columnMajor, sizeof m); }
void Mat4::setIdentity() { memcpy(m, kIdentity, sizeof m); }
void Mat4::setZero() { memset(m, 0, sizeof m); }
bool Mat4::isIdentity() const { return memcmp(m, kIdentity, sizeof m) == 0; }

bool Mat4::operator==(const Mat4& b) const {
  for (int i = 0; i < 16; ++i)
    if (m[i] != b.m[i]) return false;
  return true;
}

void Mat4::createTranslation(const Vec3& t, Mat4* dst) { createTranslation(t.x, t.y, t.z, dst); }

void Mat4::createTranslation(float x, float y, float z, Mat4* dst) {
  dst->setIdentity();
  dst->m[12] = x;
  dst->m[13] = y;
  dst->m[14] = z;
}

void Mat4::createScale(const Vec3& s, Mat4* dst) { createScale(s.x, s.y, s.z, dst); }

void Mat4::createScale(float x, float y, float z, Mat4* dst) {
  dst->setIdentity();
  dst->m[0] = x;
  dst->m[5] = y;
  dst->m[10] = z;
}

void Mat4::createRotationX(float a, Mat4* dst) {
  const float c = std::cos(a), s = std::sin(a);
  dst->set(1, 0, 0, 0,
           0, c, -s, 0,
           0, s, c, 0,
           0, 0, 0, 1);
}

void Mat4::createRotationY(float a, Mat4* dst) {
  const float c = std::cos(a), s = std::sin(a);
  dst->set(c, 0, s, 0,
           0, 1, 0, 0,
           -s, 0, c, 0,
           0, 0, 0, 1);
}

void Mat4::createRotationZ(float a, Mat4* dst) {
  const float c = std::cos(a), s = std::sin(a);
  dst->set(c, -s, 0, 0,
           s, c, 0, 0,
           0, 0, 1, 0,
           0, 0, 0, 1);
}

void Mat4::createRotation(const Vec3& axis, float a, Mat4* dst) {
  Vec3 n = axis.getNormalized();
  if (n.isZero()) {
    dst->setIdentity();
    return;
  }
  const float c = std::cos(a), s = std::sin(a), t = 1.0f - c;
  const float x = n.x, y = n.y, z = n.z;
  dst->set(t * x * x + c,     t * x * y - s * z, t * x * z + s * y, 0,
           t * x * y + s * z, t * y * y + c,     t * y * z - s * x, 0,
           t * x * z - s * y, t * y * z + s * x, t * z * z + c,     0,
           0, 0, 0, 1);
}

void Mat4::createOrthographicOffCenter(float l, float r, float b, float t, float n, float f,
                                       Mat4* dst) {
  dst->set(2.0f / (r - l), 0, 0, -(r + l) / (r - l),
           0, 2.0f / (t - b), 0, -(t + b) / (t - b),
           0, 0, -2.0f / (f - n), -(f + n) / (f - n),
           0, 0, 0, 1);
}

void Mat4::createOrthographic(float w, float h, float n, float f, Mat4* dst) {
  createOrthographicOffCenter(-w * 0.5f, w * 0.5f, -h * 0.5f, h * 0.5f, n, f, dst);
}

void Mat4::createPerspective(float fovY, float aspect, float n, float f, Mat4* dst) {
  const float half = fovY * 0.5f * 3.14159265358979323846f / 180.0f;
  const float cot = 1.0f / std::tan(half);
  dst->set(cot / aspect, 0, 0, 0,
           0, cot, 0, 0,
           0, 0, (f + n) / (n - f), 2.0f * f * n / (n - f),
           0, 0, -1, 0);
}

void Mat4::createLookAt(const Vec3& eye, const Vec3& target, const Vec3& up, Mat4* dst) {
  Vec3 zAxis = (eye - target).getNormalized();  // camera looks down -z
  Vec3 xAxis;
  Vec3::cross(up, zAxis, &xAxis);
  xAxis.normalize();
  Vec3 yAxis;
  Vec3::cross(zAxis, xAxis, &yAxis);
  yAxis.normalize();
  dst->set(xAxis.x, xAxis.y, xAxis.z, -xAxis.dot(eye),
           yAxis.x, yAxis.y, yAxis.z, -yAxis.dot(eye),
           zAxis.x, zAxis.y, zAxis.z, -zAxis.dot(eye),
           0, 0, 0, 1);
}

void Mat4::multiply(const Mat4& a, const Mat4& b, Mat4* dst) {
  float r[16];
  for (int c = 0; c < 4; ++c) {
    for (int row = 0; row < 4; ++row) {
      r[c * 4 + row] = a.m[row] * b.m[c * 4] + a.m[4 + row] * b.m[c * 4 + 1] +
                       a.m[8 + row] * b.m[c * 4 + 2] + a.m[12 + row] * b.m[c * 4 + 3];
    }
  }
  memcpy(dst->m, r, sizeof r);
}

void Mat4::multiply(const Mat4& a, float s, Mat4* dst) {
  for (int i = 0; i < 16; ++i) dst->m[i] = a.m[i] * s;
}

void Mat4::add(const Mat4& a, const Mat4& b, Mat4* dst) {
  for (int i = 0; i < 16; ++i) dst->m[i] = a.m[i] + b.m[i];
}

float Mat4::determinant() const {
  const float a0 = m[0] * m[5] - m[1] * m[4];
  const float a1 = m[0] * m[6] - m[2] * m[4];
  const float a2 = m[0] * m[7] - m[3] * m[4];
  const float a3 = m[1] * m[6] - m[2] * m[5];
  const float a4 = m[1] * m[7] - m[3] * m[5];
  const float a5 = m[2] * m[7] - m[3] * m[6];
  const float b0 = m[8] * m[13] - m[9] * m[12];
  const float b1 = m[8] * m[14] - m[10] * m[12];
  const float b2 = m[8] * m[15] - m[11] * m[12];
  const float b3 = m[9] * m[14] - m[10] * m[13];
  const float b4 = m[9] * m[15] - m[11] * m[13];
  const float b5 = m[10] * m[15] - m[11] * m[14];
  return a0 * b5 - a1 * b4 + a2 * b3 + a3 * b2 - a4 * b1 + a5 * b0;
}

bool Mat4::inverse() {
  // Cofactor expansion by 2x2 minors, in double for accuracy.
  double s[16];
  for (int i = 0; i < 16; ++i) s[i] = m[i];
  const double a0 = s[0] * s[5] - s[1] * s[4];
  const double a1 = s[0] * s[6] - s[2] * s[4];
  const double a2 = s[0] * s[7] - s[3] * s[4];
  const double a3 = s[1] * s[6] - s[2] * s[5];
  const double a4 = s[1] * s[7] - s[3] * s[5];
  const double a5 = s[2] * s[7] - s[3] * s[6];
  const double b0 = s[8] * s[13] - s[9] * s[12];
  const double b1 = s[8] * s[14] - s[10] * s[12];
  const double b2 = s[8] * s[15] - s[11] * s[12];
  const double b3 = s[9] * s[14] - s[10] * s[13];
  const double b4 = s[9] * s[15] - s[11] * s[13];
  const double b5 = s[10] * s[15] - s[11] * s[14];
  const double det = a0 * b5 - a1 * b4 + a2 * b3 + a3 * b2 - a4 * b1 + a5 * b0;
  if (det == 0.0 || !std::isfinite(det)) return false;
  const double inv = 1.0 / det;
  double r[16];
  r[0] = s[5] * b5 - s[6] * b4 + s[7] * b3;
  r[1] = -s[1] * b5 + s[2] * b4 - s[3] * b3;
  r[2] = s[13] * a5 - s[14] * a4 + s[15] * a3;
  r[3] = -s[9] * a5 + s[10] * a4 - s[11] * a3;
  r[4] = -s[4] * b5 + s[6] * b2 - s[7] * b1;
  r[5] = s[0] * b5 - s[2] * b2 + s[3] * b1;
  r[6] = -s[12] * a5 + s[14] * a2 - s[15] * a1;
  r[7] = s[8] * a5 - s[10] * a2 + s[11] * a1;
  r[8] = s[4] * b4 - s[5] * b2 + s[7] * b0;
  r[9] = -s[0] * b4 + s[1] * b2 - s[3] * b0;
  r[10] = s[12] * a4 - s[13] * a2 + s[15] * a0;
  r[11] = -s[8] * a4 + s[9] * a2 - s[11] * a0;
  r[12] = -s[4] * b3 + s[5] * b1 - s[6] * b0;
  r[13] = s[0] * b3 - s[1] * b1 + s[2] * b0;
  r[14] = -s[12] * a3 + s[13] * a1 - s[14] * a0;
  r[15] = s[8] * a3 - s[9] * a1 + s[10] * a0;
  for (int i = 0; i < 16; ++i) m[i] = static_cast<float>(r[i] * inv);
  return true;
}

Mat4 Mat4::getInversed() const {
  Mat4 r(*this);
  r.inverse();
  return r;
}

void Mat4::transpose() {
  for (int r = 0; r < 4; ++r)
    for (int c = r + 1; c < 4; ++c) std::swap(m[c * 4 + r], m[r * 4 + c]);
}

Mat4 Mat4::getTransposed() const {
  Mat4 r(*this);
  r.transpose();
  return r;
}

void Mat4::negate() {
  for (float& v : m) v = -v;
}

Mat4 Mat4::getNegated() const {
  Mat4 r(*this);
  r.negate();
  return r;
}

void Mat4::rotateX(float a) {
  Mat4 r;
  createRotationX(a, &r);
  multiply(*this, r, this);
}

void Mat4::rotateY(float a) {
  Mat4 r;
  createRotationY(a, &r);
  multiply(*this, r, this);
}

void Mat4::rotateZ(float a) {
  Mat4 r;
  createRotationZ(a, &r);
  multiply(*this, r, this);
}

void Mat4::rotate(const Vec3& axis, float a) {
  Mat4 r;
  createRotation(axis, a, &r);
  multiply(*this, r, this);
}

void Mat4::translate(float x, float y, float z) {
  Mat4 t;
  createTranslation(x, y, z, &t);
  multiply(*this, t, this);
}

void Mat4::translate(const Vec3& t) { translate(t.x, t.y, t.z); }
void Mat4::scale(float s) { scale(s, s, s); }

void Mat4::scale(float x, float y, float z) {
  Mat4 s;
  createScale(x, y, z, &s);
  multiply(*this, s, this);
}

void Mat4::scale(const Vec3& s) { scale(s.x, s.y, s.z); }

void Mat4::transformPoint(const Vec3& p, Vec3* dst) const {
  transformVector(p.x, p.y, p.z, 1.0f, dst);
}

void Mat4::transformVector(const Vec3& v, Vec3* dst) const {
  transformVector(v.x, v.y, v.z, 0.0f, dst);
}

void Mat4::transformVector(float x, float y, float z, float w, Vec3* dst) const {
  const float rx = m[0] * x + m[4] * y + m[8] * z + m[12] * w;
  const float ry = m[1] * x + m[5] * y + m[9] * z + m[13] * w;
  const float rz = m[2] * x + m[6] * y + m[10] * z + m[14] * w;
  dst->set(rx, ry, rz);
}

void Mat4::transformVector(const Vec4& v, Vec4* dst) const {
  const float rx = m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w;
  const float ry = m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w;
  const float rz = m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w;
  const float rw = m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w;
  dst->set(rx, ry, rz, rw);
}

void Mat4::getTranslation(Vec3* t) const { t->set(m[12], m[13], m[14]); }

void Mat4::getScale(Vec3* s) const {
  s->set(Vec3(m[0], m[1], m[2]).length(), Vec3(m[4], m[5], m[6]).length(),
         Vec3(m[8], m[9], m[10]).length());
}

NS_CC_END
