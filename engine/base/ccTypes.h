// Plain engine types: colours, vertex records and blend functions.
#pragma once

#include <cstdint>

#include "engine/math/Geometry.h"
#include "engine/math/Mat4.h"
#include "engine/math/Vec2.h"
#include "engine/math/Vec3.h"
#include "engine/math/Vec4.h"

NS_CC_BEGIN

struct Color4B;
struct Color4F;

struct Color3B {
  uint8_t r = 0, g = 0, b = 0;

  constexpr Color3B() = default;
  constexpr Color3B(uint8_t rr, uint8_t gg, uint8_t bb) : r(rr), g(gg), b(bb) {}
  explicit Color3B(const Color4B& c);
  explicit Color3B(const Color4F& c);

  bool operator==(const Color3B& o) const { return r == o.r && g == o.g && b == o.b; }
  bool operator!=(const Color3B& o) const { return !(*this == o); }
  bool equals(const Color3B& o) const { return *this == o; }

  static const Color3B WHITE, YELLOW, BLUE, GREEN, RED, MAGENTA, BLACK, ORANGE, GRAY;
};

struct Color4B {
  uint8_t r = 0, g = 0, b = 0, a = 0;

  constexpr Color4B() = default;
  constexpr Color4B(uint8_t rr, uint8_t gg, uint8_t bb, uint8_t aa) : r(rr), g(gg), b(bb), a(aa) {}
  explicit Color4B(const Color3B& c, uint8_t aa = 255) : r(c.r), g(c.g), b(c.b), a(aa) {}
  // Channels scaled by 255 and rounded, clamped to 0..255.
  explicit Color4B(const Color4F& c);

  bool operator==(const Color4B& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
  bool operator!=(const Color4B& o) const { return !(*this == o); }

  static const Color4B WHITE, YELLOW, BLUE, GREEN, RED, MAGENTA, BLACK, ORANGE, GRAY;
};

struct Color4F {
  float r = 0, g = 0, b = 0, a = 0;

  constexpr Color4F() = default;
  constexpr Color4F(float rr, float gg, float bb, float aa) : r(rr), g(gg), b(bb), a(aa) {}
  explicit Color4F(const Color3B& c, float aa = 1.0f)
      : r(c.r / 255.0f), g(c.g / 255.0f), b(c.b / 255.0f), a(aa) {}
  explicit Color4F(const Color4B& c)
      : r(c.r / 255.0f), g(c.g / 255.0f), b(c.b / 255.0f), a(c.a / 255.0f) {}

  bool operator==(const Color4F& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
  bool operator!=(const Color4F& o) const { return !(*this == o); }

  static const Color4F WHITE, YELLOW, BLUE, GREEN, RED, MAGENTA, BLACK, ORANGE, GRAY;
};

struct Tex2F {
  float u = 0, v = 0;
  constexpr Tex2F() = default;
  constexpr Tex2F(float uu, float vv) : u(uu), v(vv) {}
};

// 24-byte vertex: position at bytes 0-11, colour 12-15, texture coordinates 16-23.
struct V3F_C4B_T2F {
  Vec3 vertices;
  Color4B colors;
  Tex2F texCoords;
};
static_assert(sizeof(V3F_C4B_T2F) == 24, "vertex layout is shared with GL buffers");

struct V2F_C4B_T2F {
  Vec2 vertices;
  Color4B colors;
  Tex2F texCoords;
};

struct V3F_C4B_T2F_Quad {
  V3F_C4B_T2F tl, bl, tr, br;
};

// Source and destination factors (GL enum values).
struct BlendFunc {
  unsigned int src;
  unsigned int dst;

  bool operator==(const BlendFunc& o) const { return src == o.src && dst == o.dst; }
  bool operator!=(const BlendFunc& o) const { return !(*this == o); }

  // ONE, ZERO
  static const BlendFunc DISABLE;
  // ONE, ONE_MINUS_SRC_ALPHA
  static const BlendFunc ALPHA_PREMULTIPLIED;
  // SRC_ALPHA, ONE_MINUS_SRC_ALPHA
  static const BlendFunc ALPHA_NON_PREMULTIPLIED;
  // SRC_ALPHA, ONE
  static const BlendFunc ADDITIVE;
};

NS_CC_END
