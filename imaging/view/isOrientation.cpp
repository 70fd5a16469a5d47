#include "imaging/view/isOrientation.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace isImageSDK {

namespace {

struct LetterPair {
  char positive;
  char negative;
};

// Letters of the positive and negative directions of the display axes x, y, z.
void letterTable(int feetFirstCode, int positionCode, LetterPair out[3]) {
  const bool feetFirst = !(feetFirstCode == 0 || feetFirstCode == 2);
  const int code = feetFirstCode == 2 ? 0 : positionCode;
  const LetterPair headFoot = feetFirst ? LetterPair{'I', 'S'} : LetterPair{'S', 'I'};
  LetterPair x{'L', 'R'}, z{'A', 'P'};
  switch (code) {
    case 1:
      x = feetFirst ? LetterPair{'L', 'R'} : LetterPair{'R', 'L'};
      z = {'P', 'A'};
      break;
    case 2:
      x = feetFirst ? LetterPair{'A', 'P'} : LetterPair{'P', 'A'};
      z = {'L', 'R'};
      break;
    case 3:
      x = feetFirst ? LetterPair{'P', 'A'} : LetterPair{'A', 'P'};
      z = {'R', 'L'};
      break;
    default:
      x = feetFirst ? LetterPair{'R', 'L'} : LetterPair{'L', 'R'};
      z = {'A', 'P'};
      break;
  }
  out[0] = x;
  out[1] = headFoot;
  out[2] = z;
}

struct Ranked {
  int dominant;
  int second;
};

Ranked rankAxes(const float v[3]) {
  int dominant = 0, second = 1;
  if (std::fabs(v[1]) > std::fabs(v[0])) std::swap(dominant, second);
  if (std::fabs(v[2]) > std::fabs(v[second])) second = 2;
  if (std::fabs(v[second]) > std::fabs(v[dominant])) std::swap(dominant, second);
  return {dominant, second};
}

// Writes the letter of v's component along axis into label[slot] and the
// opposite letter into opposite[slot]; nothing for a zero component.
void writeLetter(const float v[3], int axis, const LetterPair table[3], char* label, char* opposite, int slot) {
  if (v[axis] > 0.0f) {
    label[slot] = table[axis].positive;
    opposite[slot] = table[axis].negative;
  } else if (v[axis] < 0.0f) {
    label[slot] = table[axis].negative;
    opposite[slot] = table[axis].positive;
  }
}

}  // namespace

void computeOrientationLabels(const float* A, const float* B, char* labels, int feetFirstCode, int positionCode) {
  if (!labels) return;
  std::memset(labels, 0, 12);
  if (!A || !B) return;
  LetterPair table[3];
  letterTable(feetFirstCode, positionCode, table);
  char* top = labels;
  char* right = labels + 3;
  char* bottom = labels + 6;
  char* left = labels + 9;

  auto clean = [](float x) { return std::fabs(x) < 1e-5f ? 0.0f : x; };
  const float up[3] = {clean(-B[0]), clean(-B[1]), clean(-B[2])};
  Ranked r = rankAxes(up);
  writeLetter(up, r.dominant, table, top, bottom, 0);
  writeLetter(up, r.second, table, top, bottom, 1);

  const float side[3] = {clean(A[0]), clean(A[1]), clean(A[2])};
  r = rankAxes(side);
  writeLetter(side, r.dominant, table, right, left, 0);
  writeLetter(side, r.second, table, right, left, 1);
  // A halfway between two axes: the side labels do not start with the
  // letter already shown at the top or the bottom.
  if (side[r.second] != 0.0f && std::fabs(std::fabs(side[r.dominant]) - std::fabs(side[r.second])) < 1e-5f &&
      right[0] != 0 && (right[0] == top[0] || right[0] == bottom[0])) {
    std::swap(right[0], right[1]);
    std::swap(left[0], left[1]);
  }
}

cocos2d::Vec3 crossProduct(const cocos2d::Vec3& a, const cocos2d::Vec3& b) {
  cocos2d::Vec3 out;
  cocos2d::Vec3::cross(a, b, &out);
  return out;
}

int orientationLetterSum(const char* labels) {
  if (!labels) return 0;
  return static_cast<unsigned char>(labels[0]) + static_cast<unsigned char>(labels[3]) +
         static_cast<unsigned char>(labels[6]) + static_cast<unsigned char>(labels[9]);
}

}  // namespace isImageSDK
