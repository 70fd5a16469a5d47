#pragma once

#include <algorithm>
#include <cmath>

#include "engine/math/Vec2.h"

NS_CC_BEGIN

class Size {
 public:
  float width = 0.0f;
  float height = 0.0f;

  constexpr Size() = default;
  constexpr Size(float w, float h) : width(w), height(h) {}
  explicit Size(const Vec2& v) : width(v.x), height(v.y) {}
  operator Vec2() const { return Vec2(width, height); }

  void setSize(float w, float h) { width = w; height = h; }
  bool equals(const Size& o) const {
    return std::fabs(width - o.width) < 1e-5f && std::fabs(height - o.height) < 1e-5f;
  }
  Size operator+(const Size& o) const { return Size(width + o.width, height + o.height); }
  Size operator-(const Size& o) const { return Size(width - o.width, height - o.height); }
  Size operator*(float s) const { return Size(width * s, height * s); }
  Size operator/(float s) const { return Size(width / s, height / s); }
  bool operator==(const Size& o) const { return width == o.width && height == o.height; }
  bool operator!=(const Size& o) const { return !(*this == o); }

  static const Size ZERO;
};

// Axis-aligned rectangle: origin is the bottom-left corner.
class Rect {
 public:
  Vec2 origin;
  Size size;

  constexpr Rect() = default;
  constexpr Rect(float x, float y, float w, float h) : origin(x, y), size(w, h) {}
  Rect(const Vec2& pos, const Size& sz) : origin(pos), size(sz) {}

  void setRect(float x, float y, float w, float h) {
    origin.set(x, y);
    size.setSize(w, h);
  }
  float getMinX() const { return origin.x; }
  float getMidX() const { return origin.x + size.width * 0.5f; }
  float getMaxX() const { return origin.x + size.width; }
  float getMinY() const { return origin.y; }
  float getMidY() const { return origin.y + size.height * 0.5f; }
  float getMaxY() const { return origin.y + size.height; }

  bool equals(const Rect& r) const { return origin == r.origin && size.equals(r.size); }
  bool operator==(const Rect& r) const { return origin == r.origin && size == r.size; }
  bool operator!=(const Rect& r) const { return !(*this == r); }

  // Edges included.
  bool containsPoint(const Vec2& p) const {
    return p.x >= getMinX() && p.x <= getMaxX() && p.y >= getMinY() && p.y <= getMaxY();
  }
  // Touching edges count as intersecting.
  bool intersectsRect(const Rect& r) const {
    return !(getMaxX() < r.getMinX() || r.getMaxX() < getMinX() || getMaxY() < r.getMinY() ||
             r.getMaxY() < getMinY());
  }
  Rect unionWithRect(const Rect& r) const {
    const float minX = std::min(getMinX(), r.getMinX()), minY = std::min(getMinY(), r.getMinY());
    const float maxX = std::max(getMaxX(), r.getMaxX()), maxY = std::max(getMaxY(), r.getMaxY());
    return Rect(minX, minY, maxX - minX, maxY - minY);
  }
  void merge(const Rect& r) { *this = unionWithRect(r); }

  static const Rect ZERO;
};

NS_CC_END
