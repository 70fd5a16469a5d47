// Orientation letters of displayed planes and the patient frame.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "imaging/core/SliceRecord.h"
#include "imaging/view/isOrientation.h"

using isImageSDK::computeOrientationLabels;
using isImageSDK::orientationLetterSum;

namespace {

struct Labels {
  std::string top, right, bottom, left;
  int sum;
};

Labels labelsOf(const float* a, const float* b, int flag, int code) {
  char block[12];
  computeOrientationLabels(a, b, block, flag, code);
  return {block, block + 3, block + 6, block + 9, orientationLetterSum(block)};
}

// Axial, sagittal and coronal planes of the display frame.
const float kRowAxial[3] = {1, 0, 0}, kColAxial[3] = {0, 0, -1};
const float kRowSag[3] = {0, 0, -1}, kColSag[3] = {0, -1, 0};
const float kRowCor[3] = {1, 0, 0}, kColCor[3] = {0, -1, 0};

TEST(Orientation, EveryPatientPositionClassifiesTheThreePlanes) {
  struct Row {
    int flag, code;
    const char* axial;  // top right bottom left
    const char* sagittal;
    const char* coronal;
  };
  const Row rows[] = {
      {0, 0, "ALPR", "SPIA", "SLIR"}, {0, 1, "PRAL", "SAIP", "SRIL"},
      {0, 2, "LPRA", "SRIL", "SPIA"}, {0, 3, "RALP", "SLIR", "SAIP"},
      {1, 0, "ARPL", "IPSA", "IRSL"}, {1, 1, "PLAR", "IASP", "ILSR"},
      {1, 2, "LARP", "IRSL", "IASP"}, {1, 3, "RPLA", "ILSR", "IPSA"},
  };
  for (const auto& r : rows) {
    const Labels ax = labelsOf(kRowAxial, kColAxial, r.flag, r.code);
    const Labels sa = labelsOf(kRowSag, kColSag, r.flag, r.code);
    const Labels co = labelsOf(kRowCor, kColCor, r.flag, r.code);
    const std::string a = ax.top + ax.right + ax.bottom + ax.left;
    const std::string s = sa.top + sa.right + sa.bottom + sa.left;
    const std::string c = co.top + co.right + co.bottom + co.left;
    EXPECT_EQ(a, r.axial) << r.flag << "/" << r.code;
    EXPECT_EQ(s, r.sagittal) << r.flag << "/" << r.code;
    EXPECT_EQ(c, r.coronal) << r.flag << "/" << r.code;
    // Lying on the side, the display frame's sagittal and coronal planes
    // trade their anatomy; the sums follow the letters.
    auto sumOf = [](const char* l) { return l[0] + l[1] + l[2] + l[3]; };
    EXPECT_EQ(ax.sum, sumOf(r.axial));
    EXPECT_EQ(sa.sum, sumOf(r.sagittal));
    EXPECT_EQ(co.sum, sumOf(r.coronal));
    EXPECT_EQ(ax.sum, 303);
    EXPECT_EQ(sa.sum + co.sum, 301 + 314);
  }
}

TEST(Orientation, UnstatedFlagIsHeadFirstSupineWhateverTheCode) {
  for (int code = 0; code < 4; ++code) {
    const Labels l = labelsOf(kRowAxial, kColAxial, 2, code);
    EXPECT_EQ(l.top + l.right + l.bottom + l.left, "ALPR");
  }
}

TEST(Orientation, TwoLettersTiesSmallComponentsAndZero) {
  const float half = std::sqrt(0.5f);
  // Rows toward the patient's left and anterior: two letters, x first.
  const float oblique[3] = {0.8f, 0.0f, 0.6f};
  Labels l = labelsOf(oblique, kColAxial, 0, 0);
  EXPECT_EQ(l.right, "LA");
  EXPECT_EQ(l.left, "RP");
  // Below 1e-5 a component does not count.
  const float nearly[3] = {1.0f, 1e-6f, 0.0f};
  l = labelsOf(nearly, kColAxial, 0, 0);
  EXPECT_EQ(l.right, "L");
  // The tie swap: L is already the top letter.
  const float col[3] = {-1, 0, 0};
  const float tie[3] = {half, 0.0f, half};
  l = labelsOf(tie, col, 0, 0);
  EXPECT_EQ(l.top, "L");
  EXPECT_EQ(l.bottom, "R");
  EXPECT_EQ(l.right, "AL");
  EXPECT_EQ(l.left, "PR");
  // Without the clash the tie keeps x in front.
  l = labelsOf(tie, kColAxial, 0, 0);
  EXPECT_EQ(l.right, "LA");
  // A zero vector leaves its two labels empty.
  const float zero[3] = {0, 0, 0};
  l = labelsOf(zero, kColAxial, 0, 0);
  EXPECT_EQ(l.right, "");
  EXPECT_EQ(l.left, "");
  EXPECT_EQ(l.top, "A");
}

TEST(Orientation, PatientFrameAgreesWithTheLetters) {
  // For every flag and code, the display axis whose positive letter is L
  // maps to +x, P to +y and S to +z.
  for (int flag : {0, 1, 2}) {
    for (int code = 0; code < 4; ++code) {
      isImageSDK::SliceRecord r;
      r.feetFirstCode = flag;
      r.positionCode = code;
      for (int axis = 0; axis < 3; ++axis) {
        float v[3] = {0, 0, 0};
        v[axis] = 1.0f;
        float a[3] = {v[0], v[1], v[2]};
        const float b[3] = {0, 0, 0};
        char block[12];
        computeOrientationLabels(a, b, block, flag, code);
        const char letter = block[3];
        r.toPatientFrame(v);
        const int target = letter == 'L' || letter == 'R' ? 0 : letter == 'P' || letter == 'A' ? 1 : 2;
        const float sign = (letter == 'L' || letter == 'P' || letter == 'S') ? 1.0f : -1.0f;
        EXPECT_EQ(v[target], sign) << "flag " << flag << " code " << code << " axis " << axis << " letter " << letter;
      }
    }
  }
}

TEST(Orientation, CrossProduct) {
  const cocos2d::Vec3 c = isImageSDK::crossProduct(cocos2d::Vec3(1, 0, 0), cocos2d::Vec3(0, 1, 0));
  EXPECT_EQ(c, cocos2d::Vec3(0, 0, 1));
}

}  // namespace
