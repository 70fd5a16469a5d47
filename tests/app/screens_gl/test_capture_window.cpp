// The viewer screen's captures in a real SDL window (1280 x 800) under a
// virtual screen: the CT phantom shown through the layout manager in the
// viewer area (right of the 300-point tool column, below the 60-point bar),
// each capture id handled by the screen, the JPEG it announces with 1004
// read back for its size and, for the focused cell, its centre pixel
// against the window's. Also the favourite badge as drawn over the top bar.
// With FW_SHOT_DIR set the screenshots are kept there as capture_*.png.
#include <string>
#include <vector>

#include "app/viewer/imageViewerPC.h"
#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isImageData.h"
#include "imaging/viewers/appLayouts.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerMulti.h"
#include "screen_window.h"
#include "support/notification_settle.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/phantoms.h"

USING_NS_CC;

namespace {

constexpr int kWidth = 1280, kHeight = 800, kTools = 300, kBar = 60;

class ProbeScreen : public imageViewerPC {
 public:
  CREATE_FUNC(ProbeScreen);
  using imageViewerPC::onCapture;
};

class CaptureWindow : public screentest::ScreenWindow {
 protected:
  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    // No background layer: the render windows draw through cameras of their
    // own before the scene's default one, which would paint over them.
    openScreen("capture", kWidth, kHeight, Color4B(0, 0, 0, 0), 10);
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        this, nullptr, [this](Ref*, unsigned int, NSUI::NSNotificationData* d) { captures.push_back(d->text); },
        NOTIFY_CAPTURE_SAVED);
    screen = ProbeScreen::create();
    ASSERT_NE(screen, nullptr);
    screen->setContentSize(Size(kWidth, kHeight));
    scene->addChild(screen);
    ASSERT_EQ(screen->toolWidth, kTools);
  }
  void TearDown() override {
    if (screentest::g_noScreen) return;
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
    if (screen) screen->viewerMulti = nullptr;
    if (manager) {
      if (Node* m = manager->getViewerMulti()) m->removeFromParent();
      manager->clear();
      manager->release();
    }
    if (screen) screen->removeFromParent();
    step(2);
    if (reader) reader->release();
    closeScreen();
  }

  // The CT phantom (40 slices of 256 × 256) in layout "mpr" in the viewer
  // area, as the screen shows a series.
  void showPhantom() {
    const std::string folder = dir + "/w/kq/dicom/ct/";
    dcmfixtures::CtPhantom ct;
    ct.slices = 40;
    ASSERT_EQ(dcmfixtures::writeCtPhantom(folder, ct).files.size(), 40u);
    isImageSDK::isDcmScan scan;
    ASSERT_TRUE(scan.createCache(folder));
    reader = isImageSDK::isBinReader::create();
    reader->retain();
    ASSERT_TRUE(reader->setFileName(folder, isImageSDK::isDcmScan::getCacheFileName(folder)));
    isImageSDK::isImageData* image = reader->getOutputImage();
    image->updateInformation();
    image->update();
    ASSERT_TRUE(stepUntil([&] { return reader->isLoadComplete(); }, 60));
    manager = isImageSDK::appManager::create();
    manager->retain();
    manager->setImageData(image, Rect(kTools, 0, kWidth - kTools, kHeight - kBar), isImageSDK::LAYOUT_MPR);
    isImageSDK::isViewerMulti* multi = manager->getViewerMulti();
    ASSERT_NE(multi, nullptr);
    screen->addChild(multi, -100);
    screen->viewerMulti = multi;
    step(2);
    ASSERT_GE(fwtest::settleNotifications([this] { step(); }), 0);
  }

  // One capture id handled by the screen; the JPEG it wrote, read back.
  void captureBy(int id, Image& out) {
    captures.clear();
    screen->onCapture(id);
    ASSERT_TRUE(stepUntil([&] { return !captures.empty(); }, 20));
    ASSERT_EQ(captures.size(), 1u);
    ASSERT_TRUE(out.initWithImageFile(captures[0])) << captures[0];
  }

  // The focused cell's viewer in window coordinates.
  Rect focusedViewerRect() {
    isImageSDK::KeyViewProperty* cell = screen->viewerMulti->getFocusedCell();
    auto* browser = cell ? dynamic_cast<isImageSDK::isViewerBrowser*>(cell->getViewer()) : nullptr;
    Node* viewer = browser ? browser->getCurrentViewer() : nullptr;
    if (!viewer) return Rect::ZERO;
    return Rect(viewer->convertToWorldSpace(Vec2::ZERO), viewer->getContentSize());
  }

  ProbeScreen* screen = nullptr;
  isImageSDK::isBinReader* reader = nullptr;
  isImageSDK::appManager* manager = nullptr;
  std::vector<std::string> captures;
};

TEST_F(CaptureWindow, EachCaptureWritesItsRectangle) {
  showPhantom();
  const Rect cell = focusedViewerRect();
  ASSERT_GT(cell.size.width, 100);
  ASSERT_LT(cell.size.width, kWidth - kTools);  // a cell, not the whole area

  Image window;
  capture("capture_window", window);
  struct Case {
    const char* name;
    int id;
    bool focus;
    Size size;
  } cases[] = {
      {"whole screen", NOTIFY_CAPTURE_WHOLE_SCREEN, true, Size(kWidth, kHeight)},
      {"all images", NOTIFY_CAPTURE_ALL_IMAGES, true, Size(kWidth - kTools, kHeight - kBar)},
      {"current view", NOTIFY_CAPTURE_CURRENT_VIEW, true, cell.size},
      {"quick bar favourite", NOTIFY_QUICK_FAVOURITE, true, cell.size},
      {"current view without focus", NOTIFY_CAPTURE_CURRENT_VIEW, false, Size(kWidth, kHeight)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    screen->viewerMulti = c.focus ? manager->getViewerMulti() : nullptr;
    Image jpeg;
    captureBy(c.id, jpeg);
    EXPECT_EQ(jpeg.getWidth(), static_cast<int>(c.size.width));
    EXPECT_EQ(jpeg.getHeight(), static_cast<int>(c.size.height));
    if (c.size.equals(cell.size)) {
      // The cell's centre in the file is the window's pixel there.
      const fwtest::Rgb inFile = fwtest::pixelAt(jpeg, jpeg.getWidth() / 2, jpeg.getHeight() / 2);
      const Vec2 centre = cell.origin + Vec2(cell.size.width / 2, cell.size.height / 2);
      const fwtest::Rgb onScreen =
          fwtest::pixelAt(window, static_cast<int>(centre.x), static_cast<int>(centre.y));
      EXPECT_TRUE(fwtest::near(inFile, onScreen, 24))
          << inFile.r << "," << inFile.g << "," << inFile.b << " vs " << onScreen.r << "," << onScreen.g << ","
          << onScreen.b;
    }
  }
}

TEST_F(CaptureWindow, BadgeSitsOverTheFavouritesButton) {
  Node* root = screen->getChildByName("root");
  if (!root) {
    root = CSLoader::createNode("singleViewPC.csb");
    ASSERT_NE(root, nullptr);
    root->setName("root");
    root->setContentSize(Size(kWidth, kHeight));
    ui::Helper::doLayout(root);
    screen->addChild(root);
  }
  Node* button = root->getChildByNameDeep("btnCmdFavorite");
  ASSERT_NE(button, nullptr);
  button->setVisible(true);
  screen->updateFavoriteBadge(12);
  step(3);
  Image shot;
  capture("capture_badge", shot);
  // The red disc around the badge's centre, the white number in its middle.
  const Vec2 at = button->getParent()->convertToWorldSpace(button->getPosition() + Vec2(-10, 15));
  int red = 0, white = 0;
  for (int dy = -12; dy <= 12; ++dy)
    for (int dx = -12; dx <= 12; ++dx) {
      const fwtest::Rgb p = fwtest::pixelAt(shot, static_cast<int>(at.x) + dx, static_cast<int>(at.y) + dy);
      red += fwtest::near(p, {225, 45, 45}, 40);
      white += p.r > 200 && p.g > 200 && p.b > 200;
    }
  EXPECT_GT(red, 200);
  EXPECT_GT(white, 5);

  screen->updateFavoriteBadge(0);
  step(3);
  capture("capture_badge_hidden", shot);
  red = 0;
  for (int dy = -12; dy <= 12; ++dy)
    for (int dx = -12; dx <= 12; ++dx)
      red += fwtest::near(fwtest::pixelAt(shot, static_cast<int>(at.x) + dx, static_cast<int>(at.y) + dy),
                          {225, 45, 45}, 40);
  EXPECT_EQ(red, 0);
}

}  // namespace

int main(int argc, char** argv) {
  screentest::startScreenUnlessListing(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
