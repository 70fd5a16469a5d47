// Matrix conventions and the small geometry types.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "engine/cocos2d.h"

USING_NS_CC;

namespace {
constexpr float kPi = 3.14159265358979f;

void expectMatNear(const Mat4& a, const Mat4& b, float tol = 1e-5f) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(a.getElement(r, c), b.getElement(r, c), tol) << "row " << r << " col " << c;
}

Vec4 apply(const Mat4& m, Vec4 v) {
  m.transformVector(&v);
  return v;
}
}  // namespace

TEST(Mat4, ConventionsTable) {
  struct Case {
    const char* name;
    std::function<Mat4()> build;
    Mat4 expected;  // written row by row
  };
  Mat4 ortho, persp, rotY, rotated, cols;
  const float c30 = std::cos(kPi / 6), s30 = std::sin(kPi / 6);
  const float f = 1.0f / std::tan(45.0f * kPi / 360.0f);
  const Case cases[] = {
      {"row-by-row constructor keeps the written layout",
       [] { return Mat4(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16); },
       Mat4(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16)},
      {"orthographic off-centre",
       [&] { Mat4::createOrthographicOffCenter(0, 200, 0, 100, -1024, 1024, &ortho); return ortho; },
       Mat4(0.01f, 0, 0, -1,
            0, 0.02f, 0, -1,
            0, 0, -2.0f / 2048, 0,
            0, 0, 0, 1)},
      {"perspective 45 degrees, aspect 2",
       [&] { Mat4::createPerspective(45, 2, 1, 101, &persp); return persp; },
       Mat4(f / 2, 0, 0, 0,
            0, f, 0, 0,
            0, 0, -102.0f / 100, -202.0f / 100,
            0, 0, -1, 0)},
      {"four-column constructor",
       [&] { return Mat4(Vec3(1, 2, 3), Vec3(4, 5, 6), Vec3(7, 8, 9), Vec3(10, 11, 12)); },
       Mat4(1, 4, 7, 10,
            2, 5, 8, 11,
            3, 6, 9, 12,
            0, 0, 0, 1)},
      {"rotateY post-multiplies: translation stays, rotation is applied first",
       [&] { Mat4 m; Mat4::createTranslation(5, 0, 0, &m); m.rotateY(kPi / 6); return m; },
       Mat4(c30, 0, s30, 5,
            0, 1, 0, 0,
            -s30, 0, c30, 0,
            0, 0, 0, 1)},
      {"translate post-multiplies through the existing rotation",
       [&] { Mat4 m; Mat4::createRotationZ(kPi / 2, &m); m.translate(1, 0, 0); return m; },
       Mat4(0, -1, 0, 0,
            1, 0, 0, 1,
            0, 0, 1, 0,
            0, 0, 0, 1)},
      {"inverse of a rigid transform",
       [] {
         Mat4 m(Vec3(0, 1, 0), Vec3(-1, 0, 0), Vec3(0, 0, 1), Vec3(3, 4, 5));
         return m.getInversed();
       },
       Mat4(0, 1, 0, -4,
            -1, 0, 0, 3,
            0, 0, 1, -5,
            0, 0, 0, 1)},
  };
  (void)rotY; (void)rotated; (void)cols;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectMatNear(c.build(), c.expected);
  }
}

TEST(Mat4, StorageIsColumnMajorWithTranslationAt12) {
  Mat4 m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  EXPECT_EQ(m.m[1], 5);  // row 1, column 0
  EXPECT_EQ(m.m[4], 2);  // row 0, column 1
  EXPECT_EQ(m.getElement(2, 3), 12);
  Mat4 t;
  Mat4::createTranslation(7, 8, 9, &t);
  EXPECT_EQ(t.m[12], 7);
  EXPECT_EQ(t.m[13], 8);
  EXPECT_EQ(t.m[14], 9);
  EXPECT_EQ(t.getTranslation(), Vec3(7, 8, 9));
  // Points take the translation, vectors do not.
  EXPECT_EQ(t.transformPoint(Vec3(1, 1, 1)), Vec3(8, 9, 10));
  Vec3 v(1, 1, 1);
  t.transformVector(&v);
  EXPECT_EQ(v, Vec3(1, 1, 1));
}

TEST(Mat4, ProjectionsMapTheirVolumeToClipSpace) {
  Mat4 ortho;
  Mat4::createOrthographicOffCenter(0, 1920, 0, 1080, -1024, 1024, &ortho);
  Vec4 corner = apply(ortho, Vec4(1920, 1080, -1024, 1));  // z = -1024 in eye space is "far"
  EXPECT_NEAR(corner.x, 1, 1e-6);
  EXPECT_NEAR(corner.y, 1, 1e-6);
  EXPECT_NEAR(corner.z, 1, 1e-6);
  Vec4 origin = apply(ortho, Vec4(0, 0, 1024, 1));
  EXPECT_NEAR(origin.x, -1, 1e-6);
  EXPECT_NEAR(origin.z, -1, 1e-6);

  Mat4 persp;
  Mat4::createPerspective(60, 1.5f, 0.5f, 100, &persp);
  Vec4 nearPt = apply(persp, Vec4(0, 0, -0.5f, 1));
  Vec4 farPt = apply(persp, Vec4(0, 0, -100, 1));
  EXPECT_NEAR(nearPt.z / nearPt.w, -1, 1e-5);
  EXPECT_NEAR(farPt.z / farPt.w, 1, 1e-4);
  // The top edge of the field of view lands on y = 1.
  const float y = 10 * std::tan(30 * kPi / 180);
  Vec4 top = apply(persp, Vec4(0, y, -10, 1));
  EXPECT_NEAR(top.y / top.w, 1, 1e-5);
}

TEST(Mat4, InverseOfGeneralMatrixAndSingular) {
  Mat4 m(2, 0.5f, -1, 3,
         0.25f, 4, 1, -2,
         1, -3, 5, 0.5f,
         0.1f, 0.2f, 0.3f, 1);
  Mat4 inv = m.getInversed();
  expectMatNear(m * inv, Mat4::IDENTITY, 1e-5f);
  expectMatNear(inv * m, Mat4::IDENTITY, 1e-5f);
  Mat4 singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1);
  Mat4 before = singular;
  EXPECT_FALSE(singular.inverse());
  EXPECT_EQ(singular, before);
}

TEST(Vec3, CrossAngleAndNormalize) {
  Vec3 c;
  Vec3::cross(Vec3::UNIT_X, Vec3::UNIT_Y, &c);
  EXPECT_EQ(c, Vec3::UNIT_Z);
  Vec3 m = Vec3::UNIT_Y;
  m.cross(Vec3::UNIT_X);
  EXPECT_EQ(m, -Vec3::UNIT_Z);
  EXPECT_NEAR(Vec3::angle(Vec3(1, 0, 0), Vec3(0, 3, 0)), kPi / 2, 1e-6);
  EXPECT_NEAR(Vec3::angle(Vec3(1, 0, 0), Vec3(1, 1e-5f, 0)), 1e-5, 1e-7);  // small angles stay accurate
  EXPECT_NEAR(Vec3::angle(Vec3(1, 0, 0), Vec3(-2, 0, 0)), kPi, 1e-6);
  EXPECT_NEAR(Vec3(3, 4, 12).getNormalized().length(), 1, 1e-6);
  EXPECT_EQ(Vec3::ZERO.getNormalized(), Vec3::ZERO);
  EXPECT_FLOAT_EQ(Vec2(3, 4).distance(Vec2::ZERO), 5);
}

TEST(Rect, ContainsIncludesEdges) {
  Rect r(10, 20, 30, 40);
  const std::pair<Vec2, bool> cases[] = {
      {{10, 20}, true}, {{40, 60}, true}, {{25, 40}, true}, {{40, 20}, true},
      {{9.99f, 30}, false}, {{25, 60.01f}, false},
  };
  for (const auto& [p, inside] : cases) EXPECT_EQ(r.containsPoint(p), inside) << p.x << "," << p.y;
  EXPECT_TRUE(r.intersectsRect(Rect(40, 60, 5, 5)));  // touching corner
  EXPECT_FALSE(r.intersectsRect(Rect(41, 0, 5, 5)));
  EXPECT_FLOAT_EQ(r.getMidX(), 25);
  EXPECT_FLOAT_EQ(r.getMaxY(), 60);
}

TEST(Colors, ConversionsAndLayout) {
  EXPECT_EQ(Color4B(Color4F::ORANGE), Color4B(255, 127, 0, 255));
  EXPECT_EQ(Color3B::ORANGE, Color3B(255, 127, 0));
  EXPECT_EQ(Color4B(Color4F(2.0f, -1.0f, 0.5f, 1.0f)), Color4B(255, 0, 128, 255));
  EXPECT_EQ(offsetof(V3F_C4B_T2F, colors), 12u);
  EXPECT_EQ(offsetof(V3F_C4B_T2F, texCoords), 16u);
  EXPECT_EQ(BlendFunc::ALPHA_PREMULTIPLIED, (BlendFunc{1, 0x0303}));
}
