// Swipe menus of a vertical table: the edge zones, the open threshold, the
// slide times, closing, and cells recycled with a menu attached.
#include <gtest/gtest.h>

#include "table_fixture.h"

USING_NS_CC;
using NSUI::NSTableViewCell;
using Code = EventTouch::EventCode;

namespace {

class SwipeTest : public TableTest {
public:
    void SetUp() override
    {
        TableTest::SetUp();
        list->swipeEdgeFraction = 0.2f;
        list->swipeOpenFraction = 0.4f;
        list->swipeDuration = 0.5f;
        rows.offerLeftMenu = true;
        fill(30);
    }
    // A horizontal swipe over row 0 (world y 385) from container x `from`
    // by `by` units, in two moves.
    void swipe(float from, float by)
    {
        const Vec2 a(100 + from, 385);
        touch(Code::BEGAN, a);
        stage.step();
        touch(Code::MOVED, a + Vec2(by / 4, 0));
        stage.step();
        touch(Code::MOVED, a + Vec2(by, 0));
        touch(Code::ENDED, a + Vec2(by, 0));
    }
    NSTableViewCell* row0() const { return list->cellAtIndex(0); }
    Node* menuOf(NSTableViewCell* cell, const char* name) const { return cell ? cell->getChildByName(name) : nullptr; }
};

} // namespace

TEST_F(SwipeTest, UncoveredBeyondTheThresholdOpensInTheRemainingTime)
{
    swipe(10, 0.41f * 150);
    NSTableViewCell* cell = row0();
    ASSERT_NE(cell, nullptr);
    Node* menu = menuOf(cell, "leftMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->getContentSize(), Size(150, 40));
    EXPECT_FLOAT_EQ(menu->getPositionX(), -150);
    EXPECT_EQ(static_cast<NSUI::NSTableViewMenu*>(menu)->cell, cell);
    EXPECT_EQ(static_cast<NSUI::NSTableViewMenu*>(menu)->rowIndex, 0);
    EXPECT_FLOAT_EQ(cell->getPositionX(), 0.41f * 150);
    EXPECT_EQ(list->getSwipeCell(), cell);
    EXPECT_TRUE(rows.taps.empty()); // a swipe is no tap

    // 0.5 s x 59 % = 0.295 s to the full width.
    stage.step(29, 0.01f);
    EXPECT_LT(cell->getPositionX(), 150);
    EXPECT_GT(cell->getPositionX(), 145);
    stage.step(1, 0.01f);
    EXPECT_FLOAT_EQ(cell->getPositionX(), 150);
    EXPECT_NE(menuOf(cell, "leftMenu"), nullptr);

    // The next press closes it, animated, and the menu goes with the end.
    tap(Vec2(200, 250));
    stage.step(49, 0.01f);
    EXPECT_GT(cell->getPositionX(), 0);
    stage.step(2, 0.01f);
    EXPECT_FLOAT_EQ(cell->getPositionX(), 0);
    EXPECT_EQ(menuOf(cell, "leftMenu"), nullptr);
    EXPECT_EQ(list->getSwipeCell(), nullptr);
}

TEST_F(SwipeTest, ShortOfTheThresholdSlidesBack)
{
    swipe(10, 0.39f * 150);
    NSTableViewCell* cell = row0();
    EXPECT_EQ(list->getSwipeCell(), nullptr);
    stage.step(19, 0.01f); // 0.39 x 0.5 s = 0.195 s
    EXPECT_GT(cell->getPositionX(), 0);
    EXPECT_NE(menuOf(cell, "leftMenu"), nullptr);
    stage.step(1, 0.01f);
    EXPECT_FLOAT_EQ(cell->getPositionX(), 0);
    EXPECT_EQ(menuOf(cell, "leftMenu"), nullptr);
}

TEST_F(SwipeTest, MiddleOfTheRowOpensNothing)
{
    for (float from : {41.0f, 100.0f, 159.0f}) {
        SCOPED_TRACE(from);
        swipe(from, from < 100 ? 80 : -80);
        EXPECT_FLOAT_EQ(row0()->getPositionX(), 0);
        EXPECT_EQ(menuOf(row0(), "leftMenu"), nullptr);
        EXPECT_EQ(menuOf(row0(), "rightMenu"), nullptr);
    }
    EXPECT_EQ(rows.menusOffered, 0);
}

TEST_F(SwipeTest, BackwardSwipeInTheLeftZoneMovesFreelyThenReturns)
{
    swipe(30, -110);
    NSTableViewCell* cell = row0();
    stage.step(1, 0.001f);
    EXPECT_LT(cell->getPositionX(), -100);
    stage.step(40, 0.01f); // 110 / 150 x 0.5 s = 0.367 s
    EXPECT_FLOAT_EQ(cell->getPositionX(), 0);
    EXPECT_EQ(menuOf(cell, "leftMenu"), nullptr);
}

TEST_F(SwipeTest, DeclinedMenusNeverOpen)
{
    rows.offerLeftMenu = false;
    swipe(10, 100);
    EXPECT_FLOAT_EQ(row0()->getPositionX(), 0);
    EXPECT_EQ(menuOf(row0(), "leftMenu"), nullptr);
    // Right menus are declined by default too.
    swipe(190, -80);
    EXPECT_FLOAT_EQ(row0()->getPositionX(), 0);
}

TEST_F(SwipeTest, RightMenuOpensToItsOwnWidth)
{
    rows.offerRightMenu = true;
    swipe(190, -70); // 70 of 100 uncovered
    NSTableViewCell* cell = row0();
    Node* menu = menuOf(cell, "rightMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_FLOAT_EQ(menu->getPositionX(), 200);
    stage.step(20, 0.01f);
    EXPECT_FLOAT_EQ(cell->getPositionX(), -100);
    list->closeSwipeMenu(true);
    EXPECT_FLOAT_EQ(cell->getPositionX(), 0);
    EXPECT_EQ(list->getSwipeCell(), nullptr);
}

TEST_F(SwipeTest, CloseSwipeMenuAnimates)
{
    swipe(10, 120);
    stage.step(30, 0.01f);
    NSTableViewCell* cell = row0();
    ASSERT_FLOAT_EQ(cell->getPositionX(), 150);
    list->closeSwipeMenu(false);
    EXPECT_EQ(list->getSwipeCell(), nullptr);
    stage.step(51, 0.01f);
    EXPECT_FLOAT_EQ(cell->getPositionX(), 0);
    EXPECT_EQ(menuOf(cell, "leftMenu"), nullptr);
}

TEST_F(SwipeTest, RecycledCellLosesItsMenu)
{
    swipe(10, 120);
    stage.step(30, 0.01f);
    NSTableViewCell* cell = row0();
    ASSERT_NE(menuOf(cell, "leftMenu"), nullptr);
    list->setContentOffset(Vec2(0, 0)); // row 0 far away: its cell is reused
    EXPECT_NE(cell->rowIndex, 0); // reused for another row, or waiting
    for (NSTableViewCell* shown : list->getVisibleCells()) {
        EXPECT_EQ(menuOf(shown, "leftMenu"), nullptr);
        EXPECT_FLOAT_EQ(shown->getPositionX(), 0);
    }
    // A later swipe finds exactly one menu.
    list->setContentOffset(Vec2(0, -900));
    swipe(10, 120);
    stage.step(30, 0.01f);
    int menus = 0;
    for (Node* child : row0()->getChildren())
        menus += child->getName() == "leftMenu";
    EXPECT_EQ(menus, 1);
}
