// Definitions of the named constants of the maths and colour types.
#include <algorithm>
#include <cmath>

#include "engine/base/ccTypes.h"

NS_CC_BEGIN

const Vec2 Vec2::ZERO(0, 0);
const Vec2 Vec2::ONE(1, 1);
const Vec2 Vec2::UNIT_X(1, 0);
const Vec2 Vec2::UNIT_Y(0, 1);
const Vec2 Vec2::ANCHOR_MIDDLE(0.5f, 0.5f);
const Vec2 Vec2::ANCHOR_BOTTOM_LEFT(0, 0);
const Vec2 Vec2::ANCHOR_TOP_LEFT(0, 1);
const Vec2 Vec2::ANCHOR_BOTTOM_RIGHT(1, 0);
const Vec2 Vec2::ANCHOR_TOP_RIGHT(1, 1);
const Vec2 Vec2::ANCHOR_MIDDLE_RIGHT(1, 0.5f);
const Vec2 Vec2::ANCHOR_MIDDLE_LEFT(0, 0.5f);
const Vec2 Vec2::ANCHOR_MIDDLE_TOP(0.5f, 1);
const Vec2 Vec2::ANCHOR_MIDDLE_BOTTOM(0.5f, 0);

const Vec3 Vec3::ZERO(0, 0, 0);
const Vec3 Vec3::ONE(1, 1, 1);
const Vec3 Vec3::UNIT_X(1, 0, 0);
const Vec3 Vec3::UNIT_Y(0, 1, 0);
const Vec3 Vec3::UNIT_Z(0, 0, 1);

const Vec4 Vec4::ZERO(0, 0, 0, 0);
const Vec4 Vec4::ONE(1, 1, 1, 1);

const Size Size::ZERO(0, 0);
const Rect Rect::ZERO(0, 0, 0, 0);

namespace {
uint8_t toByte(float v) {
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}
}  // namespace

Color3B::Color3B(const Color4B& c) : r(c.r), g(c.g), b(c.b) {}
Color3B::Color3B(const Color4F& c) : r(toByte(c.r)), g(toByte(c.g)), b(toByte(c.b)) {}
Color4B::Color4B(const Color4F& c) : r(toByte(c.r)), g(toByte(c.g)), b(toByte(c.b)), a(toByte(c.a)) {}

const Color3B Color3B::WHITE(255, 255, 255);
const Color3B Color3B::YELLOW(255, 255, 0);
const Color3B Color3B::GREEN(0, 255, 0);
const Color3B Color3B::BLUE(0, 0, 255);
const Color3B Color3B::RED(255, 0, 0);
const Color3B Color3B::MAGENTA(255, 0, 255);
const Color3B Color3B::BLACK(0, 0, 0);
const Color3B Color3B::ORANGE(255, 127, 0);
const Color3B Color3B::GRAY(166, 166, 166);

const Color4B Color4B::WHITE(255, 255, 255, 255);
const Color4B Color4B::YELLOW(255, 255, 0, 255);
const Color4B Color4B::GREEN(0, 255, 0, 255);
const Color4B Color4B::BLUE(0, 0, 255, 255);
const Color4B Color4B::RED(255, 0, 0, 255);
const Color4B Color4B::MAGENTA(255, 0, 255, 255);
const Color4B Color4B::BLACK(0, 0, 0, 255);
const Color4B Color4B::ORANGE(255, 127, 0, 255);
const Color4B Color4B::GRAY(166, 166, 166, 255);

const Color4F Color4F::WHITE(1, 1, 1, 1);
const Color4F Color4F::YELLOW(1, 1, 0, 1);
const Color4F Color4F::GREEN(0, 1, 0, 1);
const Color4F Color4F::BLUE(0, 0, 1, 1);
const Color4F Color4F::RED(1, 0, 0, 1);
const Color4F Color4F::MAGENTA(1, 0, 1, 1);
const Color4F Color4F::BLACK(0, 0, 0, 1);
const Color4F Color4F::ORANGE(1, 127.0f / 255.0f, 0, 1);
const Color4F Color4F::GRAY(166.0f / 255.0f, 166.0f / 255.0f, 166.0f / 255.0f, 1);

// GL_ZERO 0, GL_ONE 1, GL_SRC_ALPHA 0x0302, GL_ONE_MINUS_SRC_ALPHA 0x0303.
const BlendFunc BlendFunc::DISABLE = {1, 0};
const BlendFunc BlendFunc::ALPHA_PREMULTIPLIED = {1, 0x0303};
const BlendFunc BlendFunc::ALPHA_NON_PREMULTIPLIED = {0x0302, 0x0303};
const BlendFunc BlendFunc::ADDITIVE = {0x0302, 1};

NS_CC_END
