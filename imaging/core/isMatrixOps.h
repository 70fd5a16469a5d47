// Small column-major 4 × 4 matrix operations used inside the imaging core.
// Element (row r, column c) of a matrix is m[c * 4 + r]; column 3 holds the
// translation.
#pragma once

#include "engine/cocos2d.h"

namespace isImageSDK {
namespace detail {

// a × b.
inline cocos2d::Mat4 multiply(const cocos2d::Mat4& a, const cocos2d::Mat4& b) {
  cocos2d::Mat4 r;
  for (int c = 0; c < 4; ++c) {
    for (int row = 0; row < 4; ++row) {
      float s = 0.0f;
      for (int k = 0; k < 4; ++k) s += a.m[k * 4 + row] * b.m[c * 4 + k];
      r.m[c * 4 + row] = s;
    }
  }
  return r;
}

// m × translation(x, y, z).
inline cocos2d::Mat4 translated(const cocos2d::Mat4& m, float x, float y, float z) {
  cocos2d::Mat4 r = m;
  for (int row = 0; row < 4; ++row) {
    r.m[12 + row] = m.m[row] * x + m.m[4 + row] * y + m.m[8 + row] * z + m.m[12 + row];
  }
  return r;
}

inline cocos2d::Vec3 column(const cocos2d::Mat4& m, int c) {
  return cocos2d::Vec3(m.m[c * 4], m.m[c * 4 + 1], m.m[c * 4 + 2]);
}

}  // namespace detail
}  // namespace isImageSDK
