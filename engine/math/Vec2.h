#pragma once

#include <cmath>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class Vec2 {
 public:
  float x = 0.0f;
  float y = 0.0f;

  constexpr Vec2() = default;
  constexpr Vec2(float xx, float yy) : x(xx), y(yy) {}

  void set(float xx, float yy) { x = xx; y = yy; }
  void setZero() { x = y = 0.0f; }
  bool isZero() const { return x == 0.0f && y == 0.0f; }

  float length() const { return std::sqrt(x * x + y * y); }
  float lengthSquared() const { return x * x + y * y; }
  float distance(const Vec2& v) const { return (*this - v).length(); }
  float distanceSquared(const Vec2& v) const { return (*this - v).lengthSquared(); }
  float dot(const Vec2& v) const { return x * v.x + y * v.y; }
  static float dot(const Vec2& a, const Vec2& b) { return a.dot(b); }
  float cross(const Vec2& v) const { return x * v.y - y * v.x; }
  // Leaves a zero vector unchanged.
  void normalize() {
    float n = length();
    if (n > 0.0f) { x /= n; y /= n; }
  }
  Vec2 getNormalized() const { Vec2 v(*this); v.normalize(); return v; }
  float getAngle() const { return std::atan2(y, x); }
  void add(const Vec2& v) { x += v.x; y += v.y; }
  void subtract(const Vec2& v) { x -= v.x; y -= v.y; }
  void scale(float s) { x *= s; y *= s; }
  Vec2 getMidpoint(const Vec2& o) const { return Vec2((x + o.x) * 0.5f, (y + o.y) * 0.5f); }
  bool fuzzyEquals(const Vec2& b, float var) const {
    return x - var <= b.x && b.x <= x + var && y - var <= b.y && b.y <= y + var;
  }
  bool equals(const Vec2& v) const { return *this == v; }

  Vec2 operator+(const Vec2& v) const { return Vec2(x + v.x, y + v.y); }
  Vec2 operator-(const Vec2& v) const { return Vec2(x - v.x, y - v.y); }
  Vec2 operator-() const { return Vec2(-x, -y); }
  Vec2 operator*(float s) const { return Vec2(x * s, y * s); }
  Vec2 operator/(float s) const { return Vec2(x / s, y / s); }
  Vec2& operator+=(const Vec2& v) { x += v.x; y += v.y; return *this; }
  Vec2& operator-=(const Vec2& v) { x -= v.x; y -= v.y; return *this; }
  Vec2& operator*=(float s) { x *= s; y *= s; return *this; }
  Vec2& operator/=(float s) { x /= s; y /= s; return *this; }
  bool operator==(const Vec2& v) const { return x == v.x && y == v.y; }
  bool operator!=(const Vec2& v) const { return !(*this == v); }
  bool operator<(const Vec2& v) const { return x < v.x || (x == v.x && y < v.y); }

  static const Vec2 ZERO;
  static const Vec2 ONE;
  static const Vec2 UNIT_X;
  static const Vec2 UNIT_Y;
  static const Vec2 ANCHOR_MIDDLE;
  static const Vec2 ANCHOR_BOTTOM_LEFT;
  static const Vec2 ANCHOR_TOP_LEFT;
  static const Vec2 ANCHOR_BOTTOM_RIGHT;
  static const Vec2 ANCHOR_TOP_RIGHT;
  static const Vec2 ANCHOR_MIDDLE_RIGHT;
  static const Vec2 ANCHOR_MIDDLE_LEFT;
  static const Vec2 ANCHOR_MIDDLE_TOP;
  static const Vec2 ANCHOR_MIDDLE_BOTTOM;
};

inline Vec2 operator*(float s, const Vec2& v) { return v * s; }


NS_CC_END
