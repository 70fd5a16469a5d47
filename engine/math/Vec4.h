#pragma once

#include <cmath>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

// Homogeneous point or direction.
class Vec4 {
 public:
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 0.0f;

  constexpr Vec4() = default;
  constexpr Vec4(float xx, float yy, float zz, float ww) : x(xx), y(yy), z(zz), w(ww) {}

  void set(float xx, float yy, float zz, float ww) { x = xx; y = yy; z = zz; w = ww; }
  float length() const { return std::sqrt(x * x + y * y + z * z + w * w); }
  float dot(const Vec4& v) const { return x * v.x + y * v.y + z * v.z + w * v.w; }
  void normalize() {
    float n = length();
    if (n > 0.0f) { x /= n; y /= n; z /= n; w /= n; }
  }
  Vec4 getNormalized() const { Vec4 v(*this); v.normalize(); return v; }

  Vec4 operator+(const Vec4& v) const { return Vec4(x + v.x, y + v.y, z + v.z, w + v.w); }
  Vec4 operator-(const Vec4& v) const { return Vec4(x - v.x, y - v.y, z - v.z, w - v.w); }
  Vec4 operator-() const { return Vec4(-x, -y, -z, -w); }
  Vec4 operator*(float s) const { return Vec4(x * s, y * s, z * s, w * s); }
  Vec4 operator/(float s) const { return Vec4(x / s, y / s, z / s, w / s); }
  bool operator==(const Vec4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
  bool operator!=(const Vec4& v) const { return !(*this == v); }

  static const Vec4 ZERO;
  static const Vec4 ONE;
};

NS_CC_END
