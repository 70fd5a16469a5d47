// Anatomical letters of a displayed plane, and the vector helpers of the
// viewers.
#pragma once

#include "engine/cocos2d.h"

namespace isImageSDK {

// Fills the 12-byte label block (four NUL-terminated texts of up to two
// letters: top, right, bottom, left) for a plane whose rows run along A
// (toward the right edge) and whose columns run along B (toward the bottom
// edge), both in the display frame. feetFirstCode 0 head first, 1 feet
// first, 2 not given (taken as head first supine); positionCode 0 supine,
// 1 prone, 2 decubitus right, 3 decubitus left.
void computeOrientationLabels(const float* A, const float* B, char* labels, int feetFirstCode, int positionCode);

// a × b.
cocos2d::Vec3 crossProduct(const cocos2d::Vec3& a, const cocos2d::Vec3& b);

// Sum of the character codes of the first letters of the four labels of a
// block: 303 axial (A, P, L, R), 301 sagittal (S, I, A, P), 314 coronal
// (S, I, L, R).
int orientationLetterSum(const char* labels);

}  // namespace isImageSDK
