// The quick tool bar in a real SDL window under a virtual screen, over a
// 2-D viewer showing the CT phantom (written as DICOM, read by the cache
// reader) in a cell of a stand-in multi-view
// placed right of a 200-point tool panel: the bar's five pictures are
// drawn legibly at half size over the image; "max" and "link" are clicked
// through SDL's event queue, their posts observed, the viewer maximised
// into the screen's rectangle and back, the max picture swapped on the
// viewer's answer and the bar following its window. With FW_SHOT_DIR set
// the PNG captures are kept there as quick_bar_*.png.
#include <string>
#include <vector>

#include "app/viewer/quickTool.h"
#include "engine/renderer/TextureCache.h"
#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "engine/ui/Scale9Sprite.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerImage.h"
#include "screen_window.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/phantoms.h"

USING_NS_CC;
using isImageSDK::isRenderWindow;
using isImageSDK::isViewerBrowser;
using isImageSDK::isViewerImage;

namespace {

constexpr int kWidth = 1000, kHeight = 700, kPanel = 200;

struct Post {
  unsigned int id;
  Ref* sender;
  int intValue;
  int taskValue;
  std::string text;
};

// Share of the pixels of a button's square (half size: 28 × 28 points)
// near a colour.
double shareNear(const Image& img, ui::Button* b, fwtest::Rgb want, int tol) {
  const Vec2 origin = b->convertToWorldSpace(Vec2::ZERO);
  const int side = static_cast<int>(b->getContentSize().width * b->getScale());
  int hits = 0;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      if (fwtest::near(fwtest::pixelAt(img, static_cast<int>(origin.x) + x, static_cast<int>(origin.y) + y), want, tol))
        ++hits;
  return static_cast<double>(hits) / (side * side);
}

class QuickBarWindow : public screentest::ScreenWindow {
 protected:
  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    // No background layer: the render windows draw through cameras of their own
    // before the scene's default one, which would paint over them.
    openScreen("quickbar", kWidth, kHeight, Color4B(0, 0, 0, 0), 10);
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    for (int id : {NOTIFY_CELL_MAXIMISE, NOTIFY_CELL_LINK, NOTIFY_MAXIMISE_STATE})
      nc->addObserver(this, nullptr,
                      [this](Ref* sender, unsigned int id, NSUI::NSNotificationData* d) {
                        posts.push_back({id, sender, d ? d->intValue : 0, d ? d->taskValue : 0, d ? d->text : ""});
                      },
                      id);
    // What the viewer screen does for the bar: follow the bound window.
    nc->addObserver(this, nullptr,
                    [this](Ref*, unsigned int, NSUI::NSNotificationData* d) {
                      auto* w = d ? dynamic_cast<isRenderWindow*>(d->object) : nullptr;
                      if (bar) bar->followWindow(w, quickTool::linkedStateOf(w));
                    },
                    NOTIFY_VIEW_GEOMETRY);
  }
  void TearDown() override {
    if (screentest::g_noScreen) return;
    if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
    if (multi) multi->removeFromParent();
    if (bar) bar->removeFromParent();
    step(2);
    if (reader) reader->release();
    closeScreen();
  }

  ui::Button* button(const char* name) { return dynamic_cast<ui::Button*>(bar->getChildByName(name)); }
  std::string pictureOf(const char* name) {
    auto* shown = dynamic_cast<ui::Scale9Sprite*>(button(name)->getVirtualRenderer());
    for (const char* file : {"res/fullscreen.png", "res/fullscreen_exit.png", "res/link.png", "res/unlink.png"})
      if (shown && director()->getTextureCache()->addImage(file) == shown->getTexture()) return file;
    return "";
  }
  // A user's click: the pointer moves there, the left button goes down and
  // up, a frame apart.
  void clickButton(const char* name) {
    const Vec2 p = centreOf(button(name));
    input().mouseMove(p);
    step();
    input().mouseButton(true, p);
    step();
    input().mouseButton(false, p);
    step();
  }
  std::vector<Post> postsOf(int id) const {
    std::vector<Post> out;
    for (const Post& p : posts)
      if (p.id == static_cast<unsigned int>(id)) out.push_back(p);
    return out;
  }

  // The CT phantom of 60 slices of 256 × 256, scanned and read until every
  // pixel is in.
  isImageSDK::isImageData* readCtPhantom() {
    const std::string folder = dir + "/w/kq/dicom/ct/";
    dcmfixtures::CtPhantom ct;
    ct.slices = 60;
    EXPECT_EQ(dcmfixtures::writeCtPhantom(folder, ct).files.size(), 60u);
    isImageSDK::isDcmScan scan;
    EXPECT_TRUE(scan.createCache(folder));
    reader = isImageSDK::isBinReader::create();
    EXPECT_TRUE(reader->setFileName(folder, isImageSDK::isDcmScan::getCacheFileName(folder)));
    isImageSDK::isImageData* image = reader->getOutputImage();
    image->update();
    EXPECT_TRUE(stepUntil([&] { return reader->isLoadComplete(); }, 30));
    return image;
  }

  isImageSDK::isBinReader* reader = nullptr;
  Node* multi = nullptr;
  quickTool* bar = nullptr;
  std::vector<Post> posts;
};

TEST_F(QuickBarWindow, MaxAndLinkClickedOverThePhantom) {
  // The multi-view's place right of the tool panel, one cell in its upper
  // left quarter, the cell's viewer filling it.
  multi = Node::create();
  scene->addChild(multi);
  multi->setPosition(Vec2(kPanel, 0));
  auto* cell = isViewerBrowser::create();
  multi->addChild(cell);
  cell->setPosition(Vec2(0, kHeight / 2));
  cell->setContentSize(Size(500, kHeight / 2));
  cell->layoutGrid();
  cell->setImageData(readCtPhantom());
  cell->setFirstSlice(30, false);
  isViewerImage* viewer = cell->getCurrentViewer();
  ASSERT_NE(viewer, nullptr);
  viewer->notifyViewChanged();

  bar = quickTool::create();
  ASSERT_NE(bar, nullptr);
  bar->maxRect = {static_cast<float>(kPanel), 0.0f, static_cast<float>(kWidth - kPanel), static_cast<float>(kHeight)};
  scene->addChild(bar, 100);
  bar->attachToWindow(viewer, quickTool::linkedStateOf(viewer));
  const Vec2 home = viewer->convertToWorldSpace(Vec2::ZERO);
  const Size original = viewer->getContentSize();
  EXPECT_EQ(bar->getPosition(), home + Vec2(0, 5));
  step(20);
  // Enlarged, so that the image runs on under the bar.
  viewer->zoomBy(2.2f);
  step(5);
  const int task = static_cast<int>(viewer->getRefID());

  // The five pictures over the image: each plate darkens its square and
  // carries its glyph's colour.
  Image shot;
  capture("quick_bar_over_phantom", shot);
  const fwtest::Rgb white{240, 244, 250}, blue{21, 170, 254}, amber{250, 196, 40};
  EXPECT_GT(shareNear(shot, button("max"), white, 40), 0.08);
  EXPECT_GT(shareNear(shot, button("capture"), blue, 50), 0.08);
  EXPECT_GT(shareNear(shot, button("favorite"), blue, 50), 0.05);
  EXPECT_GT(shareNear(shot, button("favorite"), amber, 50), 0.015);
  EXPECT_GT(shareNear(shot, button("info"), blue, 50), 0.05);
  EXPECT_GT(shareNear(shot, button("link"), white, 40), 0.08);

  // "max": the post carries the screen's rectangle for this window; the
  // viewer fills it, answers, and the picture turns to "restore".
  clickButton("max");
  ASSERT_TRUE(stepUntil([&] { return pictureOf("max") == "res/fullscreen_exit.png"; }, 10));
  ASSERT_EQ(postsOf(NOTIFY_CELL_MAXIMISE).size(), 1u);
  const Post max = postsOf(NOTIFY_CELL_MAXIMISE)[0];
  EXPECT_EQ(max.sender, nullptr);
  EXPECT_EQ(max.taskValue, task);
  EXPECT_EQ(max.text, R"({"x":"200.000000","y":"0.000000","w":"800.000000","h":"700.000000"})");
  ASSERT_EQ(postsOf(NOTIFY_MAXIMISE_STATE).size(), 1u);
  EXPECT_EQ(postsOf(NOTIFY_MAXIMISE_STATE)[0].intValue, 1);
  EXPECT_EQ(viewer->getContentSize(), Size(kWidth - kPanel, kHeight));
  EXPECT_EQ(viewer->convertToWorldSpace(Vec2::ZERO), Vec2(kPanel, 0));
  // The bar went with its window to the bottom edge of the screen's area.
  ASSERT_TRUE(stepUntil([&] { return bar->getPosition() == Vec2(kPanel, 5); }, 10));
  step(10);
  capture("quick_bar_maximised", shot);

  // "link": the window was linked, so 0 goes out and the picture shows it
  // at once; the viewer hands it to its cell.
  clickButton("link");
  EXPECT_EQ(pictureOf("link"), "res/unlink.png");
  ASSERT_TRUE(stepUntil([&] { return !cell->linked; }, 10));
  ASSERT_EQ(postsOf(NOTIFY_CELL_LINK).size(), 1u);
  EXPECT_EQ(postsOf(NOTIFY_CELL_LINK)[0].intValue, 0);
  EXPECT_EQ(postsOf(NOTIFY_CELL_LINK)[0].taskValue, task);
  EXPECT_EQ(postsOf(NOTIFY_CELL_LINK)[0].sender, nullptr);
  step(5);
  capture("quick_bar_unlinked", shot);
  EXPECT_GT(shareNear(shot, button("link"), {150, 158, 170}, 30), 0.06);

  // "max" again: the same rectangle, the viewer back in its cell, the
  // picture back to "maximise", the bar back on the window.
  clickButton("max");
  ASSERT_TRUE(stepUntil([&] { return pictureOf("max") == "res/fullscreen.png"; }, 10));
  ASSERT_EQ(postsOf(NOTIFY_CELL_MAXIMISE).size(), 2u);
  EXPECT_EQ(postsOf(NOTIFY_CELL_MAXIMISE)[1].text, max.text);
  EXPECT_EQ(viewer->getContentSize(), original);
  ASSERT_TRUE(stepUntil([&] { return bar->getPosition() == home + Vec2(0, 5); }, 10));
  EXPECT_EQ(button("link")->getUserString(), "0") << "the cell stays unlinked";
}

}  // namespace

int main(int argc, char** argv) {
  screentest::startScreenUnlessListing(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
