// List view: rows addressed by their row data, and cells fetched for rows
// that are not on screen.
#include <gtest/gtest.h>

#include "table_fixture.h"

USING_NS_CC;

TEST_F(TableTest, RemoveItemTakesTheFirstRowHoldingTheObject)
{
    fill(5);
    Row* twice = Row::make(42);
    list->insertItem(1, twice);
    list->insertItem(4, twice);
    list->removeItem(Row::make(99)); // not a row
    list->removeItem(nullptr);
    EXPECT_EQ(list->getRowCount(), 7);
    list->removeItem(twice);
    EXPECT_EQ(list->getRowCount(), 6);
    EXPECT_EQ(list->getRows().getIndex(twice), 3);
    expectConsistent();
}

TEST_F(TableTest, GetCellMakesOffScreenCellsForTheCaller)
{
    fill(30);
    NSUI::NSTableViewCell* shown = list->getCell(2);
    EXPECT_EQ(shown, list->cellAtIndex(2));

    const auto cells = list->getVisibleCells().size();
    NSUI::NSTableViewCell* off = list->getCell(20);
    ASSERT_NE(off, nullptr);
    EXPECT_EQ(off->getParent(), nullptr);
    EXPECT_EQ(off->getTag(), 20);
    EXPECT_EQ(off->getContentSize(), Size(200, 40));
    EXPECT_EQ(list->getVisibleCells().size(), cells);
    EXPECT_FALSE(list->getVisibleCells().contains(off));

    EXPECT_EQ(list->getCell(30), nullptr);
    EXPECT_EQ(list->getCell(-1), nullptr);
    list->delegate = nullptr;
    EXPECT_EQ(list->getCell(20), nullptr);
    EXPECT_EQ(list->getCell(2), shown);
}
