// Small vector and matrix helpers of the viewers: distances to a line,
// projection onto a plane, line–plane intersection, Euler angles to and from
// matrices, a look-at frame and rotations about x and y.
//
// Matrices are column-major: element m[c * 4 + r] is row r of column c, and
// column 3 holds the translation. Angles of the Euler helpers are in degrees,
// those of the rotations in radians.
#pragma once

#include <string>

#include "engine/cocos2d.h"

namespace isImageSDK {

// Distance of p to the line through a along d (d need not be unit length).
float pointToLineDistance(const cocos2d::Vec3& p, const cocos2d::Vec3& a, const cocos2d::Vec3& d);

// Projects p onto the plane through q with normal n (n need not be unit length).
void projectPointOnPlane(const cocos2d::Vec3& p, const cocos2d::Vec3& q, const cocos2d::Vec3& n,
                         float& x, float& y, float& z);
void projectPointOnPlane(const cocos2d::Vec3& p, const cocos2d::Vec3& q, const cocos2d::Vec3& n,
                         float* x, float* y, float* z);

// Intersection of the line p + t·d with the plane n·x = c. A direction
// parallel to the plane gives non-finite coordinates.
void intersectLinePlane(const double* p, const double* d, const double* n, double c,
                        double& x, double& y, double& z);
void intersectLinePlane(const double* p, const double* d, const double* n, double c,
                        double* x, double* y, double* z);

// Euler angles (degrees) of the rotation part of m: first about x, second
// about y, third about z.
void matrixToEulerAngles(const cocos2d::Mat4& m, double& first, double& second, double& third);
void matrixToEulerAngles(const cocos2d::Mat4& m, double* first, double* second, double* third);

// Camera-to-world frame looking from eye at target: columns x, y, z, eye, with
// z pointing from the target to the eye.
void createLookAtMatrix(const cocos2d::Vec3& eye, const cocos2d::Vec3& target, const cocos2d::Vec3& up,
                        cocos2d::Mat4& out);
void createLookAtMatrix(const cocos2d::Vec3& eye, const cocos2d::Vec3& target, const cocos2d::Vec3& up,
                        cocos2d::Mat4* out);

// M becomes M × R with R the rotation by the angle (radians) about x or y.
void rotateMatrixX(cocos2d::Mat4& m, float angle);
void rotateMatrixX(cocos2d::Mat4* m, float angle);
void rotateMatrixY(cocos2d::Mat4& m, float angle);
void rotateMatrixY(cocos2d::Mat4* m, float angle);

// Position and rotation as seven doubles: position x, y, z, then the
// quaternion w, x, y, z.
struct PoseQuaternion {
  double px = 0.0, py = 0.0, pz = 0.0;
  double w = 1.0, x = 0.0, y = 0.0, z = 0.0;
};

// The rotation about x by a, then about y by b, then about z by c (degrees),
// that is Rz · Ry · Rx, as a quaternion beside the position.
void eulerAnglesToQuaternion(double x, double y, double z, double a, double b, double c, PoseQuaternion& out);
void eulerAnglesToQuaternion(double x, double y, double z, double a, double b, double c, PoseQuaternion* out);

// The same rotation as a matrix, with the position as its translation.
void createTransformFromEulerAngles(const cocos2d::Vec3& position, double a, double b, double c,
                                    cocos2d::Mat4& out);
void createTransformFromEulerAngles(const cocos2d::Vec3& position, double a, double b, double c,
                                    cocos2d::Mat4* out);

// --- Patient coordinates and the display frame ---
//
// Slices are placed in a display frame obtained from the patient coordinate
// system by the patient position (feet-first code 2, "not given", maps like
// head first, so an unknown position maps like "HFS"):
//   HFS (x, z, −y)   HFP (−x, z, y)   HFDR (y, z, x)    HFDL (−y, z, −x)
//   FFS (−x, −z, −y) FFP (x, −z, y)   FFDR (−y, −z, x)  FFDL (y, −z, −x)

// Maps a patient-coordinate vector into the display frame, in place.
void patientToDisplay(int positionCode, int feetFirstCode, double* v);

// The slice matrix of a DICOM Image Orientation (row and column directions)
// and Image Position: columns r′, c′, r′ × c′ and p′ (bottom row 0, 0, 0, 1),
// each mapped into the display frame, computed in double precision.
cocos2d::Mat4 makeSliceMatrix(const double* row, const double* column, const double* position, int positionCode,
                              int feetFirstCode);

// Codes of a Patient Position text: "HFS" … "FFDL" give their position code
// and head-first (0) or feet-first (1). Any other text gives position 0 and
// feet-first code 2 and answers false (the geometry is then not usable).
bool parsePatientPosition(const std::string& text, int& positionCode, int& feetFirstCode);

}  // namespace isImageSDK
