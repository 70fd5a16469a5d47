#pragma once

#include <cmath>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class Vec3 {
 public:
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  constexpr Vec3() = default;
  constexpr Vec3(float xx, float yy, float zz) : x(xx), y(yy), z(zz) {}

  void set(float xx, float yy, float zz) { x = xx; y = yy; z = zz; }
  void setZero() { x = y = z = 0.0f; }
  bool isZero() const { return x == 0.0f && y == 0.0f && z == 0.0f; }

  float length() const { return std::sqrt(x * x + y * y + z * z); }
  float lengthSquared() const { return x * x + y * y + z * z; }
  float distance(const Vec3& v) const { return (*this - v).length(); }
  float distanceSquared(const Vec3& v) const { return (*this - v).lengthSquared(); }
  float dot(const Vec3& v) const { return x * v.x + y * v.y + z * v.z; }
  static float dot(const Vec3& a, const Vec3& b) { return a.dot(b); }
  // this = this × v
  void cross(const Vec3& v) { cross(*this, v, this); }
  static void cross(const Vec3& a, const Vec3& b, Vec3* dst) {
    const float cx = a.y * b.z - a.z * b.y;
    const float cy = a.z * b.x - a.x * b.z;
    const float cz = a.x * b.y - a.y * b.x;
    dst->set(cx, cy, cz);
  }
  // Leaves a zero vector unchanged.
  void normalize() {
    float n = length();
    if (n > 0.0f) { x /= n; y /= n; z /= n; }
  }
  Vec3 getNormalized() const { Vec3 v(*this); v.normalize(); return v; }
  // Angle between a and b in radians, in [0, pi].
  static float angle(const Vec3& a, const Vec3& b) {
    Vec3 c;
    cross(a, b, &c);
    return std::atan2(c.length(), a.dot(b));
  }
  void add(const Vec3& v) { x += v.x; y += v.y; z += v.z; }
  void subtract(const Vec3& v) { x -= v.x; y -= v.y; z -= v.z; }
  void scale(float s) { x *= s; y *= s; z *= s; }
  void negate() { x = -x; y = -y; z = -z; }
  bool fuzzyEquals(const Vec3& b, float var) const {
    return std::fabs(x - b.x) <= var && std::fabs(y - b.y) <= var && std::fabs(z - b.z) <= var;
  }

  Vec3 operator+(const Vec3& v) const { return Vec3(x + v.x, y + v.y, z + v.z); }
  Vec3 operator-(const Vec3& v) const { return Vec3(x - v.x, y - v.y, z - v.z); }
  Vec3 operator-() const { return Vec3(-x, -y, -z); }
  Vec3 operator*(float s) const { return Vec3(x * s, y * s, z * s); }
  Vec3 operator/(float s) const { return Vec3(x / s, y / s, z / s); }
  Vec3& operator+=(const Vec3& v) { x += v.x; y += v.y; z += v.z; return *this; }
  Vec3& operator-=(const Vec3& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
  Vec3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  Vec3& operator/=(float s) { x /= s; y /= s; z /= s; return *this; }
  bool operator==(const Vec3& v) const { return x == v.x && y == v.y && z == v.z; }
  bool operator!=(const Vec3& v) const { return !(*this == v); }

  static const Vec3 ZERO;
  static const Vec3 ONE;
  static const Vec3 UNIT_X;
  static const Vec3 UNIT_Y;
  static const Vec3 UNIT_Z;
};

inline Vec3 operator*(float s, const Vec3& v) { return v * s; }

NS_CC_END
