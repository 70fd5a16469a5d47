// 4x4 float matrix for column vectors (p' = M * p).
//
// Storage is column-major: element (row r, column c) is m[c * 4 + r], and the
// translation sits in m[12], m[13], m[14]. The 16-value constructor and
// set() take their arguments row by row (m11, m12, m13, m14, m21, ...), so
// the source reads like the matrix on paper.
#pragma once

#include "engine/math/Vec3.h"
#include "engine/math/Vec4.h"

NS_CC_BEGIN

class Mat4 {
 public:
  float m[16];

  // Identity.
  Mat4();
  Mat4(float m11, float m12, float m13, float m14,
       float m21, float m22, float m23, float m24,
       float m31, float m32, float m33, float m34,
       float m41, float m42, float m43, float m44);
  // Columns x, y, z and t; bottom row (0, 0, 0, 1).
  Mat4(const Vec3& xAxis, const Vec3& yAxis, const Vec3& zAxis, const Vec3& translation);
  // From 16 column-major values.
  explicit Mat4(const float* columnMajor);

  void set(float m11, float m12, float m13, float m14,
           float m21, float m22, float m23, float m24,
           float m31, float m32, float m33, float m34,
           float m41, float m42, float m43, float m44);
  void set(const float* columnMajor);
  void setIdentity();
  void setZero();
  bool isIdentity() const;

  float getElement(int row, int col) const { return m[col * 4 + row]; }
  void setElement(int row, int col, float v) { m[col * 4 + row] = v; }

  // Factories; each writes dst.
  static void createTranslation(const Vec3& t, Mat4* dst);
  static void createTranslation(float x, float y, float z, Mat4* dst);
  static void createScale(const Vec3& s, Mat4* dst);
  static void createScale(float x, float y, float z, Mat4* dst);
  static void createRotationX(float radians, Mat4* dst);
  static void createRotationY(float radians, Mat4* dst);
  static void createRotationZ(float radians, Mat4* dst);
  // Rotation by radians about axis (normalised here), right-handed.
  static void createRotation(const Vec3& axis, float radians, Mat4* dst);
  // GL clip space: x, y and z from -1 to 1 (z = -near maps to -1).
  static void createOrthographicOffCenter(float left, float right, float bottom, float top,
                                          float zNear, float zFar, Mat4* dst);
  static void createOrthographic(float width, float height, float zNear, float zFar, Mat4* dst);
  // fieldOfViewY in degrees.
  static void createPerspective(float fieldOfViewY, float aspectRatio, float zNear, float zFar,
                                Mat4* dst);
  static void createLookAt(const Vec3& eye, const Vec3& target, const Vec3& up, Mat4* dst);

  // dst = a * b (dst may alias a or b).
  static void multiply(const Mat4& a, const Mat4& b, Mat4* dst);
  static void multiply(const Mat4& a, float s, Mat4* dst);
  static void add(const Mat4& a, const Mat4& b, Mat4* dst);
  void multiply(const Mat4& b) { multiply(*this, b, this); }
  void multiply(float s) { multiply(*this, s, this); }

  float determinant() const;
  // Inverts in place; returns false (and leaves this unchanged) when the
  // matrix is singular.
  bool inverse();
  // The inverse, or this matrix unchanged when it is singular.
  Mat4 getInversed() const;
  void transpose();
  Mat4 getTransposed() const;
  void negate();
  Mat4 getNegated() const;

  // In-place post-multiplication: this = this * R (or T, S).
  void rotateX(float radians);
  void rotateY(float radians);
  void rotateZ(float radians);
  void rotate(const Vec3& axis, float radians);
  void translate(float x, float y, float z);
  void translate(const Vec3& t);
  void scale(float s);
  void scale(float x, float y, float z);
  void scale(const Vec3& s);

  // Point: w = 1 (translation applies). Vector: w = 0.
  void transformPoint(Vec3* point) const { transformPoint(*point, point); }
  void transformPoint(const Vec3& point, Vec3* dst) const;
  Vec3 transformPoint(const Vec3& point) const { Vec3 r; transformPoint(point, &r); return r; }
  void transformVector(Vec3* vector) const { transformVector(*vector, vector); }
  void transformVector(const Vec3& vector, Vec3* dst) const;
  void transformVector(float x, float y, float z, float w, Vec3* dst) const;
  void transformVector(Vec4* vector) const { transformVector(*vector, vector); }
  void transformVector(const Vec4& vector, Vec4* dst) const;

  void getTranslation(Vec3* translation) const;
  Vec3 getTranslation() const { return Vec3(m[12], m[13], m[14]); }
  void getScale(Vec3* scale) const;
  void getUpVector(Vec3* dst) const { dst->set(m[4], m[5], m[6]); }
  void getRightVector(Vec3* dst) const { dst->set(m[0], m[1], m[2]); }
  void getForwardVector(Vec3* dst) const { dst->set(-m[8], -m[9], -m[10]); }
  void getBackVector(Vec3* dst) const { dst->set(m[8], m[9], m[10]); }

  Mat4 operator*(const Mat4& b) const { Mat4 r; multiply(*this, b, &r); return r; }
  Mat4& operator*=(const Mat4& b) { multiply(*this, b, this); return *this; }
  Mat4 operator*(float s) const { Mat4 r; multiply(*this, s, &r); return r; }
  Mat4 operator+(const Mat4& b) const { Mat4 r; add(*this, b, &r); return r; }
  Mat4 operator-() const { return getNegated(); }
  Vec4 operator*(const Vec4& v) const { Vec4 r; transformVector(v, &r); return r; }
  bool operator==(const Mat4& b) const;
  bool operator!=(const Mat4& b) const { return !(*this == b); }

  static const Mat4 ZERO;
  static const Mat4 IDENTITY;
};

NS_CC_END
