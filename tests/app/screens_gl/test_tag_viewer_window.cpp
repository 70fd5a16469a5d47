// The tag viewer in a real SDL window (1280 x 800) under a virtual screen:
// opened on a sample file with private elements and multi-byte texts,
// captured once its rows are in (the rows' labels start at the column heads'
// x), scrolled to the rows deepest in sequences and to its end, then closed
// by a click on "btn_back" pushed through SDL's event queue. With
// FW_SHOT_DIR set the captures are kept there as tag_viewer.png,
// tag_viewer_sequence.png and tag_viewer_end.png.
#include <string>

#include "app/viewer/dcmInfoList.h"
#include "screen_window.h"
#include "tools/dcmfixtures/tagsample.h"

USING_NS_CC;

namespace {

class TagViewerWindow : public screentest::ScreenWindow {
 protected:
  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    openScreen("tagviewer", 1280, 800, Color4B(236, 238, 242, 255), 10);
  }
  void TearDown() override {
    if (screentest::g_noScreen) return;
    if (window) {
      window->removeFromParent();
      window->release();
    }
    step(2);
    closeScreen();
  }
};

TEST_F(TagViewerWindow, ShowsTheRowsAndCloses) {
  const std::string file = dir + "/sample.dcm";
  dcmfixtures::writeTagSample(file);
  window = dcmInfoList::createWindow();
  ASSERT_NE(window, nullptr);
  window->retain();
  auto* viewer = dynamic_cast<dcmInfoList*>(window->getChildByName("dcmInfo"));
  ASSERT_NE(viewer, nullptr);
  viewer->setFilePath(file);
  scene->addChild(window);
  NSUI::NSListView* table = viewer->getTagTable();
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(stepUntil([&] { return table->getRowCount() > 0; }, 20));
  step(3);

  // The first visible row's three labels line up under the column heads.
  Node* panel = viewer->getPanel();
  ASSERT_FALSE(table->getVisibleCells().empty());
  Node* layout = table->getVisibleCells().front()->getChildByTag(dcmInfoList::kRowLayoutTag);
  ASSERT_NE(layout, nullptr);
  for (const auto& [label, head] : {std::pair{"tag", "dcmInfo_tag"}, std::pair{"intro", "dcmInfo_intro"},
                                    std::pair{"value", "dcmInfo_value"}}) {
    SCOPED_TRACE(label);
    Node* l = layout->getChildByNameDeep(label);
    Node* h = panel->getChildByNameDeep(head);
    ASSERT_NE(l, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_NEAR(l->convertToWorldSpace(Vec2::ZERO).x, h->convertToWorldSpace(Vec2::ZERO).x, 1.0f);
  }

  Image img;
  capture("tag_viewer", img);
  // The panel's dark background where the table shows rows, not the light
  // screen behind the pop-up.
  const Vec2 inside = panel->convertToWorldSpace(Vec2(965, 300));
  const fwtest::Rgb bg = fwtest::pixelAt(img, static_cast<int>(inside.x), static_cast<int>(inside.y));
  EXPECT_LT(bg.r, 90);
  EXPECT_LT(bg.g, 90);

  // The wheel over the table brings the rows three sequence levels down
  // into view (their tag ends left of the description), then the private
  // rows at the end.
  int deepest = -1;
  for (int64_t i = 0; i < table->getRowCount() && deepest < 0; ++i)
    if (static_cast<dcmInfoList::listObject*>(table->getRows().at(i))->tag.rfind(">>>", 0) == 0)
      deepest = static_cast<int>(i);
  ASSERT_GE(deepest, 0);
  input().mouseMove(centreOf(table));
  for (int i = 0; i < 40 && !table->cellAtIndex(deepest + 3); ++i) {
    input().wheel(-1);
    step(4);
  }
  step(30);
  NSUI::NSTableViewCell* deep = table->cellAtIndex(deepest);
  ASSERT_NE(deep, nullptr);
  {
    Node* row = deep->getChildByTag(dcmInfoList::kRowLayoutTag);
    Node* tag = row->getChildByNameDeep("tag");
    Node* intro = row->getChildByNameDeep("intro");
    EXPECT_LT(tag->convertToWorldSpace(Vec2(tag->getContentSize().width, 0)).x,
              intro->convertToWorldSpace(Vec2::ZERO).x - 2);
  }
  capture("tag_viewer_sequence", img);
  for (int i = 0; i < 40 && !table->cellAtIndex(table->getRowCount() - 1); ++i) {
    input().wheel(-3);
    step(4);
  }
  step(30);
  EXPECT_NE(table->cellAtIndex(table->getRowCount() - 1), nullptr);
  // Scrolled through every row with the cells of about one screen.
  EXPECT_LT(table->getVisibleCells().size() + table->getReusableCells().size(), 25u);
  EXPECT_GT(table->getRowCount(), 60);
  capture("tag_viewer_end", img);

  Node* back = panel->getChildByNameDeep("btn_back");
  ASSERT_NE(back, nullptr);
  const Vec2 p = centreOf(back);
  input().mouseMove(p);
  input().mouseButton(true, p);
  step();
  input().mouseButton(false, p);
  step(2);
  EXPECT_EQ(window->getParent(), nullptr);
  EXPECT_TRUE(viewer->tagRecords.empty());
}

}  // namespace

int main(int argc, char** argv) {
  screentest::startScreenUnlessListing(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
