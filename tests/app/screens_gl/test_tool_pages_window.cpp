// The viewer's tool pages in a real 300 x 800 window under a virtual screen:
// each page loads, is relabelled from the language table and drawn from its
// top (as the scroll view shows it first). The buttons, the slider and the
// section titles stay inside the 300-unit column and none covers another.
// With FW_SHOT_DIR set the PNGs are kept there as tool_page_<page>.png.
#include <string>
#include <vector>

#include "screen_window.h"

USING_NS_CC;

namespace {

class ToolPagesWindow : public screentest::ScreenWindow {
 protected:
  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    openScreen("tool-pages", 300, 800, Color4B(0, 0, 0, 255), 10);
  }
  void TearDown() override {
    if (screentest::g_noScreen) return;
    step(2);
    closeScreen();
  }
};

// The world rectangles of the named widgets under `node` (the page's
// buttons, slider and titles; unnamed decorations are left out).
void collect(Node* node, std::vector<std::pair<std::string, Rect>>* out) {
  for (Node* child : node->getChildren()) {
    if (!child->getName().empty() && (dynamic_cast<ui::Button*>(child) || dynamic_cast<ui::Slider*>(child) ||
                                      dynamic_cast<ui::Text*>(child))) {
      const Size s = child->getContentSize();
      const Vec2 a = child->convertToWorldSpace(Vec2::ZERO);
      const Vec2 b = child->convertToWorldSpace(Vec2(s.width, s.height));
      out->push_back({child->getName(), Rect(a.x, a.y, b.x - a.x, b.y - a.y)});
    }
    collect(child, out);
  }
}

TEST_F(ToolPagesWindow, PagesFitTheColumnWithoutOverlaps) {
  for (const std::string page : {"2DTool", "3DTool", "3DVRTool"}) {
    SCOPED_TRACE(page);
    Node* root = CSLoader::createNode(page + ".csb");
    ASSERT_NE(root, nullptr);
    config->translateNode(root, "");
    // Shown from its top, as the scroll view starts.
    root->setPosition(0, 800 - root->getContentSize().height);
    scene->addChild(root);
    std::vector<std::pair<std::string, Rect>> rects;
    collect(root, &rects);
    ASSERT_GT(rects.size(), 10u);
    for (size_t i = 0; i < rects.size(); ++i) {
      const Rect& r = rects[i].second;
      EXPECT_GE(r.getMinX(), 0) << rects[i].first;
      EXPECT_LE(r.getMaxX(), 300) << rects[i].first;
      for (size_t j = i + 1; j < rects.size(); ++j)
        EXPECT_FALSE(r.intersectsRect(rects[j].second)) << rects[i].first << " and " << rects[j].first;
    }
    step(3);
    Image img;
    capture("tool_page_" + page, img);
    EXPECT_EQ(img.getWidth(), 300);
    root->removeFromParent();
  }
}


// The viewer frame at 1280 x 800 with the phase strip in the bar's free
// right part and the message panel over the image area, as the screen
// places them.
class ViewerFrameWindow : public screentest::ScreenWindow {
 protected:
  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    openScreen("viewer-frame", 1280, 800, Color4B(0, 0, 0, 255), 10);
  }
  void TearDown() override {
    if (screentest::g_noScreen) return;
    step(2);
    closeScreen();
  }
};

TEST_F(ViewerFrameWindow, FrameStripAndMessagePanel) {
  Node* frame = CSLoader::createNode("singleViewPC.csb");
  Node* strip = CSLoader::createNode("4dPlay.csb");
  Node* panel = CSLoader::createNode("noSupport.csb");
  ASSERT_NE(frame, nullptr);
  ASSERT_NE(strip, nullptr);
  ASSERT_NE(panel, nullptr);
  scene->addChild(frame);
  strip->setAnchorPoint(Vec2(1, 0.5f));
  strip->setPosition(1280 - 200, 800 - 30);
  scene->addChild(strip, 200);
  const Size p = panel->getContentSize();
  panel->setPosition((1280 - 300 - p.width) * 0.5f + 300, (800 - 100 - p.height) * 0.5f + 100);
  static_cast<ui::Text*>(panel->getChildByNameDeep("intro"))
      ->setString("The images of this series are larger than this graphics card can show.");
  scene->addChild(panel, 1000);
  // The strip lies in the bar's right 420 units, clear of the bar's buttons.
  const float stripLeft = strip->convertToWorldSpace(Vec2::ZERO).x;
  EXPECT_GE(stripLeft, 1280 - 420);
  for (const char* name : {"goBack", "btnCmdToolbox", "btnCmdFavorite"}) {
    Node* b = frame->getChildByNameDeep(name);
    ASSERT_NE(b, nullptr) << name;
    EXPECT_LT(b->convertToWorldSpace(Vec2(b->getContentSize().width, 0)).x, 1280 - 420) << name;
    EXPECT_GT(b->convertToWorldSpace(Vec2::ZERO).y, 800 - 60) << name;
  }
  step(3);
  Image img;
  capture("viewer_frame", img);
}

}  // namespace

int main(int argc, char** argv) {
  screentest::startScreenUnlessListing(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
