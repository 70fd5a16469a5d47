// The library's end: idempotent, and readers fail cleanly afterwards.
#include <gtest/gtest.h>

#include "support_dcm.h"

namespace {

TEST(Destroy, IsIdempotentAndLaterReadsFailCleanly) {
  const auto& s = dcmtest::series("ct_jpll");
  {
    dcmSDK::dcmReader r;
    ASSERT_TRUE(r.setFile(s.files[0].c_str()));
    dcmSDK::dcmReader::PixelType t;
    int64_t n;
    ASSERT_NE(r.readDicomPixelPointer(t, n), nullptr);
  }
  dcmSDK::dcmsdk_destroy();
  dcmSDK::dcmsdk_destroy();
  dcmSDK::dcmReader r;
  EXPECT_FALSE(r.setFile(s.files[0].c_str()));
  EXPECT_STRNE(r.getLastError(), "");
  dcmSDK::dcmReadTag t;
  EXPECT_FALSE(t.setFile(s.files[0].c_str()));
}

}  // namespace
