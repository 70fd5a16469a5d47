// The popup menu: sizing from titles and icons, the rows' cells, and the
// notification a tap posts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "headless_stage.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/widgets/NSMenu.h"
#include "toolkit/widgets/NSSpriteView.h"

USING_NS_CC;
using NSUI::NSMenu;
using NSUI::NSNotificationCenter;
using NSUI::NSNotificationData;

namespace {

struct Target : Ref {};

class Menu : public ::testing::Test {
 protected:
  void SetUp() override {
    target = new Target;
    centre = NSNotificationCenter::getInstance();
  }
  void TearDown() override { target->release(); }

  // A chain of n items; titles and icons as given for every item.
  NSMenu::menuObject* chain(int n, const std::string& title, const std::string& icon) {
    NSMenu::menuObject* first = nullptr;
    NSMenu::menuObject* last = nullptr;
    for (int i = 0; i < n; ++i) {
      auto* item = NSMenu::menuObject::create();
      item->title = title.empty() ? "" : title + std::to_string(i);
      item->icon = icon;
      item->text = "value" + std::to_string(i);
      item->target = target;
      item->notifyId = 9030;
      (last ? last->next : first) = item;
      last = item;
    }
    return first;
  }
  NSMenu* show(NSMenu::menuObject* first, int maxIcon = 200, float rowHeight = 40) {
    NSMenu* menu = NSMenu::create();
    menu->rowHeight = rowHeight;
    menu->setPosition(Vec2(100, 50));
    stage.scene->addChild(menu, 200);
    menu->setMenuItems(first, maxIcon);
    stage.step();
    return menu;
  }

  HeadlessStage stage;
  Target* target = nullptr;
  NSNotificationCenter* centre = nullptr;
};

TEST_F(Menu, HeightFollowsTheRowsUpTo500) {
  struct Case {
    int items;
    float height;
    bool scrolls;
  };
  for (const Case& c : {Case{20, 500, true}, Case{12, 480, false}, Case{1, 40, false}}) {
    SCOPED_TRACE(c.items);
    NSMenu* menu = show(chain(c.items, "Item ", ""));
    ASSERT_NE(menu->listView, nullptr);
    EXPECT_EQ(menu->listView->getContentSize().height, c.height);
    EXPECT_EQ(menu->listView->getRowCount(), c.items);
    EXPECT_EQ(menu->listView->getLocalZOrder(), 1000);
    EXPECT_EQ(menu->listView->getInnerContainerSize().height > c.height, c.scrolls);
    menu->removeFromParent();
  }
}

TEST_F(Menu, TitlesOnlyAreCentredInAWiderMenu) {
  NSMenu* menu = show(chain(3, "Whole Screen", ""));  // longest title: 13 bytes
  EXPECT_TRUE(menu->titlesCentered);
  EXPECT_FALSE(menu->iconsCentered);
  EXPECT_EQ(menu->iconWidth, 0);
  const float width = 10 + 13 * 20 * 0.5f + 20;
  EXPECT_EQ(menu->listView->getContentSize(), Size(width, 120));
  NSUI::NSTableViewCell* cell = menu->listView->cellAtIndex(0);
  ASSERT_NE(cell, nullptr);
  auto* title = dynamic_cast<Label*>(cell->getChildByTag(NSMenu::kTitleTag));
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->getString(), "Whole Screen0");
  EXPECT_EQ(title->getAnchorPoint(), Vec2(0.5f, 0.5f));
  EXPECT_EQ(title->getPosition(), Vec2(width / 2, 20));
  EXPECT_EQ(title->getTextColor(), Color4B(220, 220, 220, 255));
  EXPECT_FALSE(cell->getChildByTag(NSMenu::kIconTag)->isVisible());
  auto* background = dynamic_cast<Sprite*>(cell->getChildren().at(0));
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(background->getLocalZOrder(), -105);
  EXPECT_EQ(background->getOpacity(), 240);
  EXPECT_FLOAT_EQ(background->getBoundingBox().size.height, 40);
}

TEST_F(Menu, WideTitlesAreNotCutAtTheListsEdge) {
  // Capitals draw wider than half the font size per byte.
  for (const std::string& icon : {std::string(), std::string("UIRes/noPicture.png")}) {
    SCOPED_TRACE(icon);
    NSMenu* menu = show(chain(2, "MWMWMWMWMW", icon));
    NSUI::NSTableViewCell* cell = menu->listView->cellAtIndex(0);
    ASSERT_NE(cell, nullptr);
    auto* title = dynamic_cast<Label*>(cell->getChildByTag(NSMenu::kTitleTag));
    ASSERT_NE(title, nullptr);
    const Rect box = title->getBoundingBox();
    EXPECT_GT(box.size.width, 11 * 20 * 0.5f);  // the case this is about
    EXPECT_GE(box.getMinX(), 0);
    EXPECT_LE(box.getMaxX(), menu->listView->getContentSize().width);
    menu->removeFromParent();
  }
}

TEST_F(Menu, IconsOnlyAreCentredAndTheFirstIconSetsTheColumn) {
  // demo/image.png is 64 wide, UIRes/noPicture.png 128.
  NSMenu::menuObject* first = chain(2, "", "demo/image.png");
  first->next->icon = NSUI::NSSpriteView::kNoPicture;
  NSMenu* menu = show(first, 200, 60);
  EXPECT_EQ(menu->iconWidth, 64);
  EXPECT_TRUE(menu->iconsCentered);
  EXPECT_FALSE(menu->titlesCentered);
  EXPECT_EQ(menu->listView->getContentSize(), Size(74, 120));
  auto* icon = dynamic_cast<NSUI::NSSpriteView*>(menu->listView->cellAtIndex(1)->getChildByTag(NSMenu::kIconTag));
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(icon->isVisible());
  EXPECT_EQ(icon->getImagePath(), NSUI::NSSpriteView::kNoPicture);
  EXPECT_EQ(icon->getContentSize(), Size(64, 50));
  EXPECT_EQ(icon->getAnchorPoint(), Vec2(0.5f, 0.5f));
  EXPECT_EQ(icon->getPosition(), Vec2(37, 30));
  EXPECT_FALSE(icon->isTouchEnabled());

  // An icon wider than the maximum: the column is the maximum.
  NSMenu::menuObject* big = chain(2, "Axial", NSUI::NSSpriteView::kNoPicture);
  NSMenu* second = show(big, 60, 90);
  EXPECT_EQ(second->iconWidth, 60);
  EXPECT_FALSE(second->iconsCentered);
  auto* title = second->listView->cellAtIndex(0)->getChildByTag(NSMenu::kTitleTag);
  EXPECT_EQ(title->getAnchorPoint(), Vec2(0, 0.5f));
  EXPECT_EQ(title->getPosition(), Vec2(70, 45));
  // The font size is half the row height at creation, not of a later one.
  EXPECT_EQ(second->fontSize, 20);
}

TEST_F(Menu, TapPostsOneNotificationAndHidesTheMenu) {
  NSMenu* menu = show(chain(4, "Row ", ""));
  std::vector<std::string> got;
  int observer = 0;
  centre->addObserver(&observer, target,
                      [&](Ref* sender, unsigned int id, NSNotificationData* data) {
                        EXPECT_EQ(sender, menu);
                        EXPECT_EQ(id, 9030u);
                        got.push_back(data ? data->text : "<none>");
                      },
                      9030);
  // Rows fill top-down: row 1 covers y 50+80 .. 50+120 on screen.
  stage.view()->injectTouches(EventTouch::EventCode::BEGAN, {1}, {Vec2(120, 150)});
  stage.view()->injectTouches(EventTouch::EventCode::ENDED, {1}, {Vec2(120, 150)});
  centre->update(0);
  EXPECT_EQ(got, std::vector<std::string>{"value1"});
  EXPECT_FALSE(menu->isVisible());

  // A drag of more than 5 units picks nothing.
  menu->setVisible(true);
  stage.view()->injectTouches(EventTouch::EventCode::BEGAN, {1}, {Vec2(120, 150)});
  stage.view()->injectTouches(EventTouch::EventCode::MOVED, {1}, {Vec2(120, 157)});
  stage.view()->injectTouches(EventTouch::EventCode::ENDED, {1}, {Vec2(120, 157)});
  centre->update(0);
  EXPECT_EQ(got.size(), 1u);
  EXPECT_TRUE(menu->isVisible());
  centre->removeAllObservers(&observer);
}

TEST_F(Menu, EmptyChainBuildsNothing) {
  NSMenu* menu = show(nullptr);
  EXPECT_EQ(menu->listView, nullptr);
  EXPECT_EQ(menu->iconWidth, 0);
}

}  // namespace
