// Geometry helpers: distances, projections, intersections, Euler angles,
// look-at frames and rotations.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/core/isGeometry.h"

using namespace isImageSDK;
using cocos2d::Mat4;
using cocos2d::Vec3;

namespace {

constexpr double kPi = 3.14159265358979323846;

// p' = M · p for a point.
Vec3 apply(const Mat4& m, const Vec3& p) {
  return Vec3(m.m[0] * p.x + m.m[4] * p.y + m.m[8] * p.z + m.m[12],
              m.m[1] * p.x + m.m[5] * p.y + m.m[9] * p.z + m.m[13],
              m.m[2] * p.x + m.m[6] * p.y + m.m[10] * p.z + m.m[14]);
}

void expectVecNear(const Vec3& a, const Vec3& b, const char* what) {
  EXPECT_NEAR(a.x, b.x, 1e-5f) << what;
  EXPECT_NEAR(a.y, b.y, 1e-5f) << what;
  EXPECT_NEAR(a.z, b.z, 1e-5f) << what;
}

}  // namespace

TEST(Geometry, PointToLineDistance) {
  struct Case {
    Vec3 p, a, d;
    float expected;
  };
  const Case cases[] = {
      {{3, 4, 7}, {0, 0, 0}, {0, 0, 2}, 5.0f},   // direction need not be unit length
      {{1, 1, 1}, {0, 0, 0}, {1, 1, 1}, 0.0f},   // on the line
      {{0, 5, 0}, {2, 0, 0}, {-3, 0, 0}, 5.0f},  // the line's point is not the foot
      {{10, 0, -4}, {10, 3, 0}, {0, 1, 0}, 4.0f},
  };
  for (const Case& c : cases) EXPECT_NEAR(pointToLineDistance(c.p, c.a, c.d), c.expected, 1e-5f);
}

TEST(Geometry, ProjectionAndIntersection) {
  float x, y, z;
  projectPointOnPlane(Vec3(3, 4, 9), Vec3(0, 0, 2), Vec3(0, 0, 5), x, y, z);
  EXPECT_FLOAT_EQ(x, 3);
  EXPECT_FLOAT_EQ(y, 4);
  EXPECT_FLOAT_EQ(z, 2);
  projectPointOnPlane(Vec3(2, 0, 0), Vec3(0, 0, 0), Vec3(1, 1, 0), &x, &y, &z);
  EXPECT_NEAR(x, 1, 1e-6f);
  EXPECT_NEAR(y, -1, 1e-6f);

  const double p[3] = {1, 2, 3}, d[3] = {0, 0, -1}, n[3] = {0, 0, 2};
  double ix, iy, iz;
  intersectLinePlane(p, d, n, 4.0, ix, iy, iz);  // the plane z = 2
  EXPECT_DOUBLE_EQ(ix, 1);
  EXPECT_DOUBLE_EQ(iy, 2);
  EXPECT_DOUBLE_EQ(iz, 2);
  const double parallel[3] = {1, 0, 0};
  intersectLinePlane(p, parallel, n, 4.0, ix, iy, iz);
  EXPECT_FALSE(std::isfinite(ix));
}

TEST(Geometry, EulerAnglesRoundTrip) {
  struct Case {
    double a, b, c;
  };
  const Case cases[] = {{0, 0, 0}, {0, 0, 90}, {30, 0, 0}, {0, -45, 0}, {10, 20, 30}, {-60, 35, -120}};
  for (const Case& k : cases) {
    Mat4 m;
    createTransformFromEulerAngles(Vec3(1, 2, 3), k.a, k.b, k.c, m);
    EXPECT_FLOAT_EQ(m.m[12], 1);
    EXPECT_FLOAT_EQ(m.m[14], 3);
    EXPECT_FLOAT_EQ(m.m[15], 1);
    double first, second, third;
    matrixToEulerAngles(m, first, second, third);
    EXPECT_NEAR(first, k.a, 1e-3) << k.a << "," << k.b << "," << k.c;
    EXPECT_NEAR(second, k.b, 1e-3) << k.a << "," << k.b << "," << k.c;
    EXPECT_NEAR(third, k.c, 1e-3) << k.a << "," << k.b << "," << k.c;
  }
}

TEST(Geometry, EulerRotationOrderIsXThenYThenZ) {
  // About x by 90°, then about z by 90°: x → x → y; y → z → z; z → −y → x.
  Mat4 m;
  createTransformFromEulerAngles(Vec3(0, 0, 0), 90, 0, 90, m);
  expectVecNear(apply(m, Vec3(1, 0, 0)), Vec3(0, 1, 0), "x");
  expectVecNear(apply(m, Vec3(0, 1, 0)), Vec3(0, 0, 1), "y");
  expectVecNear(apply(m, Vec3(0, 0, 1)), Vec3(1, 0, 0), "z");

  PoseQuaternion q;
  eulerAnglesToQuaternion(4, 5, 6, 0, 0, 0, q);
  EXPECT_DOUBLE_EQ(q.px, 4);
  EXPECT_DOUBLE_EQ(q.w, 1);
  EXPECT_DOUBLE_EQ(q.z, 0);
  eulerAnglesToQuaternion(0, 0, 0, 0, 0, 180, q);
  EXPECT_NEAR(q.w, 0, 1e-7);
  EXPECT_NEAR(q.z, 1, 1e-7);

  Mat4 identity;
  double a, b, c;
  matrixToEulerAngles(identity, a, b, c);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(c, 0);
}

TEST(Geometry, EulerAnglesOfADegenerateMatrix) {
  // Rotation by 90° about y: m[0] and m[1] vanish, the first branch answers.
  Mat4 m;
  rotateMatrixY(m, static_cast<float>(kPi / 2));
  m.m[0] = 0;  // exactly zero, as the test of that branch needs
  m.m[1] = 0;
  double a, b, c;
  matrixToEulerAngles(m, a, b, c);
  EXPECT_EQ(c, 0);
  EXPECT_NEAR(b, 90, 1e-3);
  EXPECT_NEAR(a, 0, 1e-3);
}

TEST(Geometry, LookAtIsTheCameraToWorldFrame) {
  Mat4 m;
  createLookAtMatrix(Vec3(0, 0, 10), Vec3(0, 0, 0), Vec3(0, 2, 0), m);
  expectVecNear(Vec3(m.m[0], m.m[1], m.m[2]), Vec3(1, 0, 0), "x axis");
  expectVecNear(Vec3(m.m[4], m.m[5], m.m[6]), Vec3(0, 1, 0), "y axis");
  expectVecNear(Vec3(m.m[8], m.m[9], m.m[10]), Vec3(0, 0, 1), "z axis points back to the eye");
  expectVecNear(Vec3(m.m[12], m.m[13], m.m[14]), Vec3(0, 0, 10), "eye");
  EXPECT_EQ(m.m[15], 1);

  // An up vector not perpendicular to the view is straightened.
  createLookAtMatrix(Vec3(5, 0, 0), Vec3(0, 0, 0), Vec3(1, 0, 1), m);
  expectVecNear(Vec3(m.m[8], m.m[9], m.m[10]), Vec3(1, 0, 0), "z");
  expectVecNear(Vec3(m.m[4], m.m[5], m.m[6]), Vec3(0, 0, 1), "y");
  expectVecNear(Vec3(m.m[0], m.m[1], m.m[2]), Vec3(0, 1, 0), "x");
}

TEST(Geometry, RotationsPostMultiply) {
  Mat4 m;
  rotateMatrixX(m, static_cast<float>(kPi / 2));
  expectVecNear(apply(m, Vec3(0, 1, 0)), Vec3(0, 0, 1), "x rotation maps y onto z");
  Mat4 y;
  rotateMatrixY(y, static_cast<float>(kPi / 2));
  expectVecNear(apply(y, Vec3(0, 0, 1)), Vec3(1, 0, 0), "y rotation maps z onto x");

  // M × R: the rotation acts in M's own frame, before M's translation.
  Mat4 t;
  t.m[12] = 7;
  rotateMatrixX(&t, static_cast<float>(kPi / 2));
  expectVecNear(apply(t, Vec3(0, 1, 0)), Vec3(7, 0, 1), "local rotation, then the translation");
}

TEST(Geometry, PatientPositionMapping) {
  struct Case {
    const char* text;
    bool known;
    double mapped[3];  // the image of patient (1, 2, 3)
  };
  const Case cases[] = {
      {"HFS", true, {1, 3, -2}},     {"HFP", true, {-1, 3, 2}},   {"HFDR", true, {2, 3, 1}},
      {"HFDL", true, {-2, 3, -1}},   {"FFS", true, {-1, -3, -2}}, {"FFP", true, {1, -3, 2}},
      {"FFDR", true, {-2, -3, 1}},   {"FFDL", true, {2, -3, -1}}, {"", false, {1, 3, -2}},
      {"HFSX", false, {1, 3, -2}},   {"hfs", false, {1, 3, -2}},  {"FF", false, {1, 3, -2}},
  };
  for (const Case& c : cases) {
    int position = -1, feet = -1;
    const std::string t = c.text;
    EXPECT_EQ(parsePatientPosition(c.text, position, feet), c.known) << "'" << t << "'";
    if (!c.known) {
      EXPECT_EQ(position, 0);
      EXPECT_EQ(feet, 2) << "'" << t << "' is compared whole and exactly";
    }
    double v[3] = {1, 2, 3};
    patientToDisplay(position, feet, v);
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(v[i], c.mapped[i]) << "'" << t << "' axis " << i;
  }
}

TEST(Geometry, SliceMatrixFromOrientationAndPosition) {
  // An axial HFS slice: rows toward the patient's left, columns posterior.
  const double row[3] = {1, 0, 0}, col[3] = {0, 1, 0}, pos[3] = {-100, -120, 35};
  Mat4 m = makeSliceMatrix(row, col, pos, 0, 0);
  expectVecNear(Vec3(m.m[0], m.m[1], m.m[2]), Vec3(1, 0, 0), "row");
  expectVecNear(Vec3(m.m[4], m.m[5], m.m[6]), Vec3(0, 0, -1), "column");
  expectVecNear(Vec3(m.m[8], m.m[9], m.m[10]), Vec3(0, 1, 0), "normal = row × column");
  expectVecNear(Vec3(m.m[12], m.m[13], m.m[14]), Vec3(-100, 35, 120), "position");
  EXPECT_EQ(m.m[3], 0);
  EXPECT_EQ(m.m[15], 1);

  // A sagittal FFS slice: the normal stays the cross product of the mapped axes.
  const double srow[3] = {0, 1, 0}, scol[3] = {0, 0, -1}, spos[3] = {10, 0, 0};
  m = makeSliceMatrix(srow, scol, spos, 0, 1);
  const Vec3 r(m.m[0], m.m[1], m.m[2]), c(m.m[4], m.m[5], m.m[6]), n(m.m[8], m.m[9], m.m[10]);
  Vec3 expected;
  Vec3::cross(r, c, &expected);
  expectVecNear(n, expected, "normal");
  expectVecNear(Vec3(m.m[12], m.m[13], m.m[14]), Vec3(-10, 0, 0), "position");
}
