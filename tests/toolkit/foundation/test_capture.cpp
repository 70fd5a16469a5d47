// Screen capture without a window: the folder is made, the capture fails
// and nothing is announced. (Captures in the real window: tests/shell.)
#include "toolkit/foundation/NSCapture.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace fs = std::filesystem;

TEST(Capture, AFailedCaptureAnnouncesNothing) {
  std::string pattern = (fs::temp_directory_path() / "capture-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  auto* files = cocos2d::FileUtils::getInstance();
  files->setWritablePath(pattern + "/");
  auto* director = cocos2d::Director::getInstance();
  director->setOpenGLView(cocos2d::GLViewImpl::createHeadless(cocos2d::Size(320, 200)));
  int posts = 0;
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  centre->addObserver(&posts, nullptr, [&](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData*) { ++posts; },
                      NOTIFY_CAPTURE_SAVED);
  NSUI::captureScreen(0, 0, 0, 0);
  for (int i = 0; i < 60; ++i) director->stepFrame(0.05f);
  EXPECT_EQ(posts, 0);
  EXPECT_TRUE(fs::is_directory(pattern + "/kq/tmp/capture"));
  EXPECT_TRUE(fs::is_empty(pattern + "/kq/tmp/capture"));
  centre->removeAllObservers(&posts);
  cocos2d::Director::destroyInstance();
  fs::remove_all(pattern);
}
