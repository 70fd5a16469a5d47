// Separate readers on separate threads decode the same files identically.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support_dcm.h"

namespace {

TEST(Concurrency, ReadersOnManyThreadsAgreeWithOneThread) {
  std::vector<std::string> files;
  for (const char* v : {"ct_ele", "ct_jpll", "ct_jls", "ct_rle", "ybr_rle", "rgb_jpeg", "pal8", "pet", "mr_mf5"})
    for (const auto& f : dcmtest::series(v).files) files.push_back(f);
  std::vector<dcmtest::Decoded> reference;
  for (const auto& f : files) {
    reference.push_back(dcmtest::decode(f));
    ASSERT_TRUE(reference.back().ok) << f;
  }
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round)
        for (size_t i = 0; i < files.size(); ++i) {
          size_t k = (i + size_t(t) * 5) % files.size();
          dcmtest::Decoded d = dcmtest::decode(files[k]);
          if (!d.ok || d.bytes != reference[k].bytes) ++mismatches;
          char buf[64];
          dcmSDK::dcmReader r;
          if (!r.setFile(files[k].c_str()) || !r.readDicomTagString(0x0028, 0x0010, buf, sizeof buf)) ++mismatches;
        }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
