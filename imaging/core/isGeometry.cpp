#include "imaging/core/isGeometry.h"

#include <cmath>

namespace isImageSDK {

namespace {

// Single-precision π widened to double, as the angle conversions use it.
constexpr double kPi = 3.1415927410125732;

double dot(const cocos2d::Vec3& a, const cocos2d::Vec3& b) {
  return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y + static_cast<double>(a.z) * b.z;
}

cocos2d::Vec3 normalised(cocos2d::Vec3 v) {
  const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (len > 0.0f) return cocos2d::Vec3(v.x / len, v.y / len, v.z / len);
  return v;
}

cocos2d::Vec3 cross(const cocos2d::Vec3& a, const cocos2d::Vec3& b) {
  return cocos2d::Vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// m becomes m × r for a rotation r whose columns 1 and 2 (about x) or 0 and 2
// (about y) mix.
void postMultiply(cocos2d::Mat4& m, const float r[16]) {
  float out[16];
  for (int c = 0; c < 4; ++c) {
    for (int row = 0; row < 4; ++row) {
      float s = 0.0f;
      for (int k = 0; k < 4; ++k) s += m.m[k * 4 + row] * r[c * 4 + k];
      out[c * 4 + row] = s;
    }
  }
  for (int i = 0; i < 16; ++i) m.m[i] = out[i];
}

}  // namespace

float pointToLineDistance(const cocos2d::Vec3& p, const cocos2d::Vec3& a, const cocos2d::Vec3& d) {
  const double t = (dot(p, d) - dot(a, d)) / dot(d, d);
  const cocos2d::Vec3 q(static_cast<float>(a.x + t * d.x), static_cast<float>(a.y + t * d.y),
                        static_cast<float>(a.z + t * d.z));
  const float dx = q.x - p.x, dy = q.y - p.y, dz = q.z - p.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void projectPointOnPlane(const cocos2d::Vec3& p, const cocos2d::Vec3& q, const cocos2d::Vec3& n,
                         float& x, float& y, float& z) {
  const float qn = q.x * n.x + q.y * n.y + q.z * n.z;  // summed in float
  const double t = (static_cast<double>(qn) - dot(p, n)) / dot(n, n);
  x = static_cast<float>(p.x + t * n.x);
  y = static_cast<float>(p.y + t * n.y);
  z = static_cast<float>(p.z + t * n.z);
}

void projectPointOnPlane(const cocos2d::Vec3& p, const cocos2d::Vec3& q, const cocos2d::Vec3& n,
                         float* x, float* y, float* z) {
  float a, b, c;
  projectPointOnPlane(p, q, n, a, b, c);
  if (x) *x = a;
  if (y) *y = b;
  if (z) *z = c;
}

void intersectLinePlane(const double* p, const double* d, const double* n, double c,
                        double& x, double& y, double& z) {
  const double pn = p[0] * n[0] + p[1] * n[1] + p[2] * n[2];
  const double dn = d[0] * n[0] + d[1] * n[1] + d[2] * n[2];
  const double t = (c - pn) / dn;
  x = p[0] + t * d[0];
  y = p[1] + t * d[1];
  z = p[2] + t * d[2];
}

void intersectLinePlane(const double* p, const double* d, const double* n, double c,
                        double* x, double* y, double* z) {
  double a, b, e;
  intersectLinePlane(p, d, n, c, a, b, e);
  if (x) *x = a;
  if (y) *y = b;
  if (z) *z = e;
}

void matrixToEulerAngles(const cocos2d::Mat4& mat, double& first, double& second, double& third) {
  double m[16];
  for (int i = 0; i < 16; ++i) m[i] = mat.m[i];
  if (std::fabs(m[0]) < 1e-34 && std::fabs(m[1]) < 1e-34) {
    third = 0.0;
    second = std::atan2(-m[2], m[0]);
    first = std::atan2(-m[9], m[5]);
  } else {
    const double zAngle = std::atan2(m[1], m[0]);
    const double s = std::sin(zAngle), c = std::cos(zAngle);
    second = std::atan2(-m[2], m[0] * c + m[1] * s);
    first = std::atan2(m[8] * s - m[9] * c, m[5] * c - m[4] * s);
    third = zAngle;
  }
  first = first * 180.0 / kPi;
  second = second * 180.0 / kPi;
  third = third * 180.0 / kPi;
}

void matrixToEulerAngles(const cocos2d::Mat4& m, double* first, double* second, double* third) {
  double a, b, c;
  matrixToEulerAngles(m, a, b, c);
  if (first) *first = a;
  if (second) *second = b;
  if (third) *third = c;
}

void createLookAtMatrix(const cocos2d::Vec3& eye, const cocos2d::Vec3& target, const cocos2d::Vec3& up,
                        cocos2d::Mat4& out) {
  const cocos2d::Vec3 u = normalised(up);
  const cocos2d::Vec3 z = normalised(cocos2d::Vec3(eye.x - target.x, eye.y - target.y, eye.z - target.z));
  const cocos2d::Vec3 x = normalised(cross(u, z));
  const cocos2d::Vec3 y = normalised(cross(z, x));
  const float m[16] = {x.x, x.y, x.z, 0.0f, y.x, y.y, y.z, 0.0f, z.x, z.y, z.z, 0.0f, eye.x, eye.y, eye.z, 1.0f};
  for (int i = 0; i < 16; ++i) out.m[i] = m[i];
}

void createLookAtMatrix(const cocos2d::Vec3& eye, const cocos2d::Vec3& target, const cocos2d::Vec3& up,
                        cocos2d::Mat4* out) {
  if (out) createLookAtMatrix(eye, target, up, *out);
}

void rotateMatrixX(cocos2d::Mat4& m, float a) {
  const float c = std::cos(a), s = std::sin(a);
  const float r[16] = {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1};
  postMultiply(m, r);
}

void rotateMatrixX(cocos2d::Mat4* m, float a) {
  if (m) rotateMatrixX(*m, a);
}

void rotateMatrixY(cocos2d::Mat4& m, float a) {
  const float c = std::cos(a), s = std::sin(a);
  const float r[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
  postMultiply(m, r);
}

void rotateMatrixY(cocos2d::Mat4* m, float a) {
  if (m) rotateMatrixY(*m, a);
}

void eulerAnglesToQuaternion(double x, double y, double z, double a, double b, double c, PoseQuaternion& out) {
  const double ha = a / 2.0 * kPi / 180.0;
  const double hb = b / 2.0 * kPi / 180.0;
  const double hc = c / 2.0 * kPi / 180.0;
  const double sa = std::sin(ha), ka = std::cos(ha);
  const double sb = std::sin(hb), kb = std::cos(hb);
  const double sc = std::sin(hc), kc = std::cos(hc);
  out.px = x;
  out.py = y;
  out.pz = z;
  out.w = ka * kb * kc + sa * sb * sc;
  out.x = sa * kb * kc - ka * sb * sc;
  out.y = ka * sb * kc + sa * kb * sc;
  out.z = ka * kb * sc - sa * sb * kc;
}

void eulerAnglesToQuaternion(double x, double y, double z, double a, double b, double c, PoseQuaternion* out) {
  if (out) eulerAnglesToQuaternion(x, y, z, a, b, c, *out);
}

void createTransformFromEulerAngles(const cocos2d::Vec3& position, double a, double b, double c,
                                    cocos2d::Mat4& out) {
  PoseQuaternion q;
  eulerAnglesToQuaternion(position.x, position.y, position.z, a, b, c, q);
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  double m[16];
  m[0] = 1.0 - 2.0 * (y * y + z * z);
  m[1] = 2.0 * (w * z + x * y);
  m[2] = 2.0 * (x * z - w * y);
  m[3] = 0.0;
  m[4] = 2.0 * (x * y - w * z);
  m[5] = 1.0 - 2.0 * (x * x + z * z);
  m[6] = 2.0 * (w * x + y * z);
  m[7] = 0.0;
  m[8] = 2.0 * (w * y + x * z);
  m[9] = 2.0 * (y * z - w * x);
  m[10] = 1.0 - 2.0 * (x * x + y * y);
  m[11] = 0.0;
  m[12] = q.px;
  m[13] = q.py;
  m[14] = q.pz;
  m[15] = 1.0;
  for (int i = 0; i < 16; ++i) out.m[i] = static_cast<float>(m[i]);
}

void createTransformFromEulerAngles(const cocos2d::Vec3& position, double a, double b, double c,
                                    cocos2d::Mat4* out) {
  if (out) createTransformFromEulerAngles(position, a, b, c, *out);
}

}  // namespace isImageSDK

namespace isImageSDK {

void patientToDisplay(int positionCode, int feetFirstCode, double* v) {
  if (!v) return;
  const double x = v[0], y = v[1], z = v[2];
  const bool feetFirst = feetFirstCode == 1;
  double r[3];
  switch (positionCode) {
    case 1:  // prone
      r[0] = feetFirst ? x : -x;
      r[1] = feetFirst ? -z : z;
      r[2] = y;
      break;
    case 2:  // decubitus right
      r[0] = feetFirst ? -y : y;
      r[1] = feetFirst ? -z : z;
      r[2] = x;
      break;
    case 3:  // decubitus left
      r[0] = feetFirst ? y : -y;
      r[1] = feetFirst ? -z : z;
      r[2] = -x;
      break;
    default:  // supine
      r[0] = feetFirst ? -x : x;
      r[1] = feetFirst ? -z : z;
      r[2] = -y;
      break;
  }
  v[0] = r[0];
  v[1] = r[1];
  v[2] = r[2];
}

cocos2d::Mat4 makeSliceMatrix(const double* row, const double* column, const double* position, int positionCode,
                              int feetFirstCode) {
  double r[3] = {row[0], row[1], row[2]};
  double c[3] = {column[0], column[1], column[2]};
  double p[3] = {position[0], position[1], position[2]};
  patientToDisplay(positionCode, feetFirstCode, r);
  patientToDisplay(positionCode, feetFirstCode, c);
  patientToDisplay(positionCode, feetFirstCode, p);
  const double n[3] = {r[1] * c[2] - r[2] * c[1], r[2] * c[0] - r[0] * c[2], r[0] * c[1] - r[1] * c[0]};
  cocos2d::Mat4 m;
  for (int i = 0; i < 3; ++i) {
    m.m[0 + i] = static_cast<float>(r[i]);
    m.m[4 + i] = static_cast<float>(c[i]);
    m.m[8 + i] = static_cast<float>(n[i]);
    m.m[12 + i] = static_cast<float>(p[i]);
  }
  m.m[3] = m.m[7] = m.m[11] = 0.0f;
  m.m[15] = 1.0f;
  return m;
}

bool parsePatientPosition(const std::string& text, int& positionCode, int& feetFirstCode) {
  static const struct {
    const char* text;
    int position, feetFirst;
  } kPositions[] = {{"HFS", 0, 0}, {"HFP", 1, 0}, {"HFDR", 2, 0}, {"HFDL", 3, 0},
                    {"FFS", 0, 1}, {"FFP", 1, 1}, {"FFDR", 2, 1}, {"FFDL", 3, 1}};
  for (const auto& k : kPositions) {
    if (text == k.text) {
      positionCode = k.position;
      feetFirstCode = k.feetFirst;
      return true;
    }
  }
  positionCode = 0;
  feetFirstCode = 2;
  return false;
}

}  // namespace isImageSDK
