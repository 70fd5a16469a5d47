// A slice or volume that cannot be had is announced once, as a broadcast,
// on the UI thread, whichever thread built the image.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isImageData.h"
#include "toolkit/foundation/NSNotificationCenter.h"

using namespace isImageSDK;

namespace {

struct Observer : cocos2d::Ref {};

class OutOfMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    observer = new Observer();
    centre = NSUI::NSNotificationCenter::getInstance();
    ASSERT_NE(centre, nullptr);
    centre->addObserver(
        observer, nullptr,
        [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
          received.push_back(id);
          EXPECT_EQ(sender, nullptr);
          EXPECT_EQ(data, nullptr);
        },
        NOTIFY_OUT_OF_MEMORY);
    frames(40);  // past the centre's first tick
    received.clear();
  }
  void TearDown() override {
    centre->removeAllObservers(observer);
    observer->release();
  }
  void frames(int n) {
    for (int i = 0; i < n; ++i) cocos2d::Director::getInstance()->stepFrame(1.0f / 60.0f);
  }

  Observer* observer = nullptr;
  NSUI::NSNotificationCenter* centre = nullptr;
  std::vector<unsigned int> received;
};

}  // namespace

TEST_F(OutOfMemory, RefusedSliceIsAnnouncedOnce) {
  isImageData* image = isImageData::create();
  const int32_t size[2] = {512, 512};
  const float sp[2] = {1, 1};
  EXPECT_EQ(image->addSlice(size, 1160, sp, ELEMENT_UINT16, 0, 0, cocos2d::Mat4()), nullptr);
  EXPECT_TRUE(received.empty()) << "delivered on a later frame, not inside the call";
  frames(3);
  EXPECT_EQ(received, std::vector<unsigned int>{NOTIFY_OUT_OF_MEMORY});

  // An accepted slice posts nothing.
  ASSERT_NE(image->addSlice(size, 1158, sp, ELEMENT_UINT8, 0, 0, cocos2d::Mat4()), nullptr);
  frames(3);
  EXPECT_EQ(received.size(), 1u);
  image->release();
}

TEST_F(OutOfMemory, ImageBuiltOnAWorkerThreadIsAnnouncedOnTheUIThread) {
  std::thread worker([] {
    isImageData* image = isImageData::create();
    const int32_t size[2] = {607376096, 1};
    const float sp[2] = {1, 1};
    EXPECT_EQ(image->addSlice(size, 1, sp, ELEMENT_UINT8, 0, 0, cocos2d::Mat4()), nullptr);
    image->release();
  });
  worker.join();
  EXPECT_TRUE(received.empty());
  frames(3);
  EXPECT_EQ(received, std::vector<unsigned int>{NOTIFY_OUT_OF_MEMORY});
}
