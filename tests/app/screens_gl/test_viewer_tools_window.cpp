// The viewer screen's tool column and menus in a real 1280 x 800 window
// under a virtual screen: each tool page beside a cell of its kind showing
// the CT phantom (written as DICOM, read by the cache reader), a menu opened by a real click on its page button, and the
// protocol menu from the protocol button. Every open menu lies inside the
// window, a page's menu inside the tool column; pictures are kept as viewer_tools_<page>_<menu>.png (with
// FW_SHOT_DIR set, there).
#include <string>
#include <vector>

#include "app/viewer/quickTool.h"
#include "engine/ui/Button.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerImage.h"
#include "imaging/viewers/isViewerMulti.h"
#include "screen_window.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "support/viewer_screen.h"
#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "tools/dcmfixtures/phantoms.h"
#include "toolkit/widgets/NSMenu.h"
#include "toolkit/widgets/UIScrollViewBase.h"

USING_NS_CC;

namespace {

class ViewerToolsWindow : public screentest::ScreenWindow {
 protected:
  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    // No background layer: the render windows draw through cameras of their
    // own before the scene's default one, which would paint over them.
    openScreen("viewer-tools", width(), height(), Color4B(0, 0, 0, 0), 40);
    FileUtils::getInstance()->addSearchPath("imageSDK");
    FileUtils::getInstance()->addSearchPath("UIRes");
    image = readCtPhantom();
  }
  void TearDown() override {
    if (screentest::g_noScreen) return;
    if (screen) screen->removeFromParent();
    step(2);
    if (reader) reader->release();
    closeScreen();
  }

  // The CT phantom of 40 slices of 256 x 256, written as DICOM, scanned and
  // read until every pixel is in.
  isImageSDK::isImageData* readCtPhantom() {
    const std::string folder = dir + "/w/kq/dicom/ct/";
    dcmfixtures::CtPhantom ct;
    ct.slices = 40;
    EXPECT_EQ(dcmfixtures::writeCtPhantom(folder, ct).files.size(), 40u);
    isImageSDK::isDcmScan scan;
    EXPECT_TRUE(scan.createCache(folder));
    reader = isImageSDK::isBinReader::create();
    reader->retain();
    EXPECT_TRUE(reader->setFileName(folder, isImageSDK::isDcmScan::getCacheFileName(folder)));
    isImageSDK::isImageData* out = reader->getOutputImage();
    out->update();
    EXPECT_TRUE(stepUntil([&] { return reader->isLoadComplete(); }, 60));
    out->updateInformation();
    return out;
  }

  virtual int width() const { return 1280; }
  virtual int height() const { return 800; }

  // The screen with one cell of `kind` over the whole image area and the
  // page for it.
  fwtest::ScreenProbe* openViewer(int kind, int page) {
    if (screen) screen->removeFromParent();
    screen = fwtest::ScreenProbe::make(scene, Size(width(), height()));
    if (!screen) return nullptr;
    auto* multi = isImageSDK::isViewerMulti::create();
    fwtest::attachMulti(screen, multi);
    multi->addView(kind, true, Rect(Vec2::ZERO, screen->viewerArea().size), image);
    if (kind == isImageSDK::VIEW_KIND_SLICE) {
      // The middle of the phantom (its first slices are air).
      auto* data = new NSUI::NSNotificationData();
      data->intValue = 20;
      multi->handleCommand(NOTIFY_SET_SLICE_INDEX, data);
      data->release();
    }
    if (auto* cell = dynamic_cast<isImageSDK::isViewerBrowser*>(multi->getFocusedCell()->getViewer()))
      if (isImageSDK::isViewerImage* viewer = cell->getCurrentViewer()) viewer->notifyViewChanged();
    screen->setTopButtonsVisible(true);
    screen->seriesCount = 1;
    screen->imageCount = 40;
    screen->isVolume = true;
    screen->updateProtocolButton(kind == isImageSDK::VIEW_KIND_VR ? 3 : kind == 0 ? 1 : 4);
    screen->refreshWindowPresets();
    screen->showToolPage(page);
    screen->syncSliceSlider();
    step(10);
    return screen;
  }

  // A real click at the centre of a node.
  void clickOn(Node* node) {
    const Vec2 p = centreOf(node);
    input().mouseMove(p);
    step(1);
    input().mouseButton(true, p);
    step(2);
    input().mouseButton(false, p);
    step(3);
  }

  // The open menu's list in window coordinates.
  static Rect listRect(NSUI::NSMenu* menu) {
    const Vec2 o = menu->listView->convertToWorldSpace(Vec2::ZERO);
    return Rect(o, menu->listView->getContentSize());
  }

  isImageSDK::isBinReader* reader = nullptr;  // retained
  isImageSDK::isImageData* image = nullptr;   // the reader's output
  fwtest::ScreenProbe* screen = nullptr;
};

TEST_F(ViewerToolsWindow, EachPageWithAMenuOpen) {
  struct Case {
    const char* shot;
    int kind;
    int page;
    const char* button;
    const char* menu;
  };
  const std::vector<Case> cases = {
      {"viewer_tools_2d_clut", isImageSDK::VIEW_KIND_SLICE, imageViewerPC::TOOL_PAGE_2D, "btnCmdClut", "clutMenu"},
      {"viewer_tools_2d_window", isImageSDK::VIEW_KIND_SLICE, imageViewerPC::TOOL_PAGE_2D, "btnCmdWL",
       "windowLevelMenu"},
      {"viewer_tools_2d_capture", isImageSDK::VIEW_KIND_SLICE, imageViewerPC::TOOL_PAGE_2D, "btnCmdCapture",
       "captureMenu"},
      {"viewer_tools_3d_window", isImageSDK::VIEW_KIND_AXIAL, imageViewerPC::TOOL_PAGE_3D, "btnCmdWL",
       "windowLevelMenu"},
      {"viewer_tools_vr_opacity", isImageSDK::VIEW_KIND_VR, imageViewerPC::TOOL_PAGE_VR, "btnCmdWLOpaticy",
       "opacityMenu"},
      {"viewer_tools_vr_protocols", isImageSDK::VIEW_KIND_VR, imageViewerPC::TOOL_PAGE_VR, "btnCmdProtocalArrow",
       "protocalMenu"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shot);
    ASSERT_NE(openViewer(c.kind, c.page), nullptr);
    Node* button = screen->getChildByNameDeep(c.button);
    ASSERT_NE(button, nullptr);
    // The page scrolled so that the button shows.
    if (screen->toolPanel && button->getParent() != screen) {
      const float y = button->getParent()->convertToWorldSpace(button->getPosition()).y;
      if (y < 40) screen->toolPanel->scrollChildren(0, 200 - y);
      step(2);
    }
    clickOn(button);
    auto* menu = dynamic_cast<NSUI::NSMenu*>(screen->getChildByNameDeep(c.menu));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    const Rect list = listRect(menu);
    EXPECT_GE(list.getMinX(), 0);
    EXPECT_LE(list.getMaxX(), 1280);
    EXPECT_GE(list.getMinY(), 0);
    EXPECT_LE(list.getMaxY(), 800);
    // A page's menu is drawn within the tool column, which clips.
    if (menu->getParent() != screen) {
      EXPECT_LE(list.getMaxX(), 300);
    }
    // The row pictures load one at a time.
    step(30);
    Image img;
    capture(c.shot, img);
    EXPECT_EQ(img.getWidth(), 1280);
  }
}

TEST_F(ViewerToolsWindow, AClickElsewhereClosesTheMenuWithoutActing) {
  ASSERT_NE(openViewer(isImageSDK::VIEW_KIND_SLICE, imageViewerPC::TOOL_PAGE_2D), nullptr);
  clickOn(screen->getChildByNameDeep("btnCmdClut"));
  Node* menu = screen->getChildByNameDeep("clutMenu");
  ASSERT_NE(menu, nullptr);
  ASSERT_TRUE(menu->isVisible());
  // The tiling button: the first click closes the menu and leaves the
  // cell's grid, the second one tiles it.
  auto* cell = dynamic_cast<isImageSDK::isViewerBrowser*>(screen->viewerMulti->getFocusedCell()->getViewer());
  ASSERT_NE(cell, nullptr);
  const size_t before = cell->getImageViewers().size();
  ASSERT_EQ(before, 1u);
  Node* tile = screen->getChildByNameDeep("btnTile2x2");
  clickOn(tile);
  EXPECT_FALSE(menu->isVisible());
  step(10);
  EXPECT_EQ(cell->getImageViewers().size(), before);
  clickOn(tile);
  EXPECT_TRUE(stepUntil([&] { return cell->getImageViewers().size() == 4u; }, 10.0));
}

// The quick tool bar over the focused cell and its "info" button's DICOM
// menu just above the bar's right end, inside the cell.
TEST_F(ViewerToolsWindow, DicomMenuOverTheQuickToolBar) {
  ASSERT_NE(openViewer(isImageSDK::VIEW_KIND_SLICE, imageViewerPC::TOOL_PAGE_2D), nullptr);
  auto* cell = dynamic_cast<isImageSDK::isViewerBrowser*>(screen->viewerMulti->getFocusedCell()->getViewer());
  ASSERT_NE(cell, nullptr);
  isImageSDK::isViewerImage* window = cell->getCurrentViewer();
  auto* data = new NSUI::NSNotificationData();
  data->setObject(window);
  screen->onQuickToolShow(data);
  data->release();
  ASSERT_NE(screen->quickTool, nullptr);
  clickOn(screen->quickTool->getChildByName("info"));
  // The bar's post reaches the screen through its observer once the screen
  // handles it; the handler is called as it would be.
  screen->onShowDicomMenu();
  step(3);
  auto* menu = dynamic_cast<NSUI::NSMenu*>(screen->getChildByName("dcmMenu"));
  ASSERT_NE(menu, nullptr);
  ASSERT_TRUE(menu->isVisible());
  const Rect list = listRect(menu);
  const Rect cellRect(window->convertToWorldSpace(Vec2::ZERO), window->getContentSize());
  EXPECT_TRUE(cellRect.containsPoint(list.origin));
  EXPECT_TRUE(cellRect.containsPoint(Vec2(list.getMaxX(), list.getMaxY())));
  Image img;
  capture("viewer_tools_quickbar_dicom", img);
}

// At 1920 x 1080 the 2-D page is shorter than the column: it is stretched,
// its buttons stay at the top, and the colour-table menu opens just above
// its button.
class ViewerToolsLargeWindow : public ViewerToolsWindow {
 protected:
  int width() const override { return 1920; }
  int height() const override { return 1080; }
};

TEST_F(ViewerToolsLargeWindow, StretchedPageWithTheColourTableMenu) {
  ASSERT_NE(openViewer(isImageSDK::VIEW_KIND_SLICE, imageViewerPC::TOOL_PAGE_2D), nullptr);
  Node* button = screen->getChildByNameDeep("btnCmdClut");
  ASSERT_NE(button, nullptr);
  // The page's first section title just under the bar.
  Node* title = screen->getChildByNameDeep("toolSection_tiling");
  ASSERT_NE(title, nullptr);
  EXPECT_GT(title->convertToWorldSpace(Vec2::ZERO).y, 1080 - 60 - 40);
  clickOn(button);
  auto* menu = dynamic_cast<NSUI::NSMenu*>(screen->getChildByNameDeep("clutMenu"));
  ASSERT_NE(menu, nullptr);
  ASSERT_TRUE(menu->isVisible());
  const Rect list = listRect(menu);
  const Vec2 at = button->getParent()->convertToWorldSpace(button->getPosition());
  EXPECT_FLOAT_EQ(list.getMinY(), at.y + 20);
  EXPECT_LE(list.getMaxX(), 300);
  // The row pictures load one at a time.
  step(30);
  Image img;
  capture("viewer_tools_large_2d_clut", img);
  EXPECT_EQ(img.getWidth(), 1920);
}

}  // namespace

int main(int argc, char** argv) {
  screentest::startScreenUnlessListing(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
