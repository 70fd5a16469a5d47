// Enhanced multi-frame images: values kept in functional groups.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support_dcm.h"
#include "tools/dcmfixtures/extras.h"

using dcmSDK::dcmReader;
using namespace dcmtest;

namespace {

std::string text(dcmReader& r, unsigned short g, unsigned short e) {
  char buf[1024];
  return r.readDicomTagString(g, e, buf, sizeof buf) ? std::string(buf) : std::string("(absent)");
}

std::string frameText(dcmReader& r, int frame, unsigned short g, unsigned short e) {
  char buf[1024];
  return r.readDicomFrameTagString(frame, g, e, buf, sizeof buf) ? std::string(buf) : std::string("(absent)");
}

struct Expected {
  unsigned short group, element;
  const char* value;
};

// The whole image's values come from the shared groups, else from the first
// frame's; top-level elements, where a file has them, win.
TEST(Enhanced, ImageValuesFromFunctionalGroups) {
  const Expected fromGroups[] = {
      {0x0028, 0x0030, "0.8\\0.6"}, {0x0018, 0x0050, "3"},       {0x0020, 0x0032, "-6\\-4.5\\-20"},
      {0x0020, 0x0037, "1\\0\\0\\0\\1\\0"}, {0x0028, 0x1053, "2.1079"}, {0x0028, 0x1052, "-3"},
      {0x0028, 0x1054, "US"},       {0x0028, 0x1050, "1070"},    {0x0028, 0x1051, "1860"},
      {0x0020, 0x9113, "(absent)"},  // the macro sequences themselves stay nested
      {0x0020, 0x9157, "(absent)"},  // other nested values do not leak out
  };
  const Expected topLevel[] = {
      {0x0028, 0x0030, "1\\1"}, {0x0018, 0x0050, "1"},    {0x0028, 0x1053, "1"},
      {0x0028, 0x1052, "0"},    {0x0028, 0x1050, "40"},   {0x0028, 0x1051, "400"},
      {0x0020, 0x0032, "-6\\-4.5\\-20"},  // absent at the top: still from the groups
  };
  struct Case {
    const char* name;
    bool shared, topLevelToo;
  } cases[] = {{"shared", true, false}, {"per_frame", false, false}, {"top_level", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dcmfixtures::EnhancedMr e;
    e.shared = c.shared;
    e.topLevelToo = c.topLevelToo;
    const std::string path = scratch() + "/enhanced_" + c.name + ".dcm";
    dcmfixtures::writeEnhancedMr(path, e);
    dcmReader r;
    ASSERT_TRUE(r.setFile(path.c_str()));
    for (const auto& x : c.topLevelToo ? std::vector<Expected>(std::begin(topLevel), std::end(topLevel))
                                       : std::vector<Expected>(std::begin(fromGroups), std::end(fromGroups)))
      EXPECT_EQ(text(r, x.group, x.element), x.value) << std::hex << x.group << "," << x.element;
  }
}

// Each frame's own values; a value the frame's item does not hold is absent
// there (the image's applies), and so is a frame beyond the sequence.
TEST(Enhanced, FrameValuesFromTheFramesOwnItem) {
  dcmfixtures::EnhancedMr e;
  e.descending = true;
  const std::string path = scratch() + "/enhanced_frames.dcm";
  dcmfixtures::writeEnhancedMr(path, e);
  dcmReader r;
  ASSERT_TRUE(r.setFile(path.c_str()));
  for (int k = 0; k < e.frames; ++k) {
    char z[32];
    std::snprintf(z, sizeof z, "%g", dcmfixtures::enhancedZ(e, k));
    EXPECT_EQ(frameText(r, k, 0x0020, 0x0032), std::string("-6\\-4.5\\") + z) << "frame " << k;
    EXPECT_EQ(frameText(r, k, 0x0020, 0x9057), std::to_string(k + 1)) << "frame " << k;
  }
  EXPECT_EQ(frameText(r, 0, 0x0028, 0x1053), "(absent)");  // shared, not the frame's own
  EXPECT_EQ(frameText(r, e.frames, 0x0020, 0x0032), "(absent)");
  EXPECT_EQ(frameText(r, -1, 0x0020, 0x0032), "(absent)");

  dcmfixtures::EnhancedMr perFrame;
  perFrame.shared = false;
  const std::string second = scratch() + "/enhanced_frames_own.dcm";
  dcmfixtures::writeEnhancedMr(second, perFrame);
  ASSERT_TRUE(r.setFile(second.c_str()));
  EXPECT_EQ(frameText(r, 5, 0x0028, 0x1053), "2.1079");
  EXPECT_EQ(frameText(r, 5, 0x0028, 0x1051), "1860");

  // A classic multi-frame file has no per-frame groups at all.
  ASSERT_TRUE(r.setFile(series("mr_mf5").files[0].c_str()));
  EXPECT_EQ(frameText(r, 0, 0x0020, 0x0032), "(absent)");
  EXPECT_EQ(text(r, 0x0028, 0x1050), "45000");
}

}  // namespace
