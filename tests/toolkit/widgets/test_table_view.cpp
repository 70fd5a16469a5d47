// Table view: rows found by bisection, the visible range and recycling,
// inserts and removals that keep the screen still, resizes, taps,
// highlights and selections.
#include <gtest/gtest.h>

#include "table_fixture.h"

USING_NS_CC;
using NSUI::NSTableViewCell;
using Code = EventTouch::EventCode;

TEST_F(TableTest, NewListIsEmptyAndStartsAtTheTop)
{
    auto* fresh = NSUI::NSListView::create();
    EXPECT_EQ(fresh->getContentSize(), Size::ZERO);
    EXPECT_EQ(fresh->getRowCount(), 0);
    EXPECT_EQ(fresh->getDirection(), 1);
    auto* bk = dynamic_cast<LayerColor*>(fresh->getInnerContainer()->getChildByName("_NSTableView_bk_"));
    ASSERT_NE(bk, nullptr);
    EXPECT_EQ(bk->getLocalZOrder(), -100);
    EXPECT_EQ(bk->getOpacity(), 0);
    EXPECT_FLOAT_EQ(bk->getScale(), 1.2f);

    fill(20);
    EXPECT_EQ(list->getContentOffset(), Vec2(0, 300 - 800));
    EXPECT_EQ(list->getFirstVisibleRow(), 0);
    EXPECT_EQ(list->getLastVisibleRow(), 7);
    expectConsistent();
    EXPECT_EQ(list->getVisibleCells().size(), 8);
}

TEST_F(TableTest, RowAtPointOnBorders)
{
    fill(10); // 400 high: container y = 400 - distance from the top
    struct Case {
        float fromTop;
        int64_t row;
    };
    for (const Case& c : {Case{-5, 0}, Case{0, 0}, Case{20, 0}, Case{40, 0}, Case{40.5f, 1}, Case{80, 1},
                          Case{399, 9}, Case{400, 9}, Case{401, CC_INVALID_INDEX}}) {
        SCOPED_TRACE(c.fromTop);
        EXPECT_EQ(list->rowAtPoint(Vec2(10, 400 - c.fromTop)), c.row);
    }

    list->setDirection(2);
    list->reloadData();
    EXPECT_EQ(list->getContentOffset(), Vec2::ZERO);
    for (const Case& c : {Case{-5, 0}, Case{0, 0}, Case{39, 0}, Case{40, 1}, Case{79.99f, 1}, Case{360, 9},
                          Case{400, CC_INVALID_INDEX}}) {
        SCOPED_TRACE(c.fromTop);
        EXPECT_EQ(list->rowAtPoint(Vec2(c.fromTop, 10)), c.row);
    }
    list->removeAllRows();
    EXPECT_EQ(list->rowAtPoint(Vec2(0, 0)), CC_INVALID_INDEX);
}

TEST_F(TableTest, InsertAndRemoveKeepTheScreenStill)
{
    struct Case {
        const char* name;
        bool insert;
        int64_t index;
        // Screen shift of the rows before and after the index, for the rows
        // that stay visible.
        float shiftBefore, shiftAfter;
        bool hidesIndex;
    };
    const Case cases[] = {
        {"insert after the visible rows", true, 25, 0, 0, false},
        {"insert before the visible rows", true, 2, 0, 0, false},
        {"insert among the visible rows", true, 13, 0, -40, false},
        {"append", true, -1, 0, 0, false},
        {"remove after the visible rows", false, 25, 0, 0, false},
        {"remove before the visible rows", false, 2, 0, 0, false},
        {"remove a visible row", false, 13, -40, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        list->removeAllRows();
        fill(30);
        list->setContentOffset(Vec2(0, -480)); // rows 10..17 on screen
        ASSERT_EQ(list->getFirstVisibleRow(), 10);
        ASSERT_EQ(list->getLastVisibleRow(), 17);
        const auto before = screenPlaces();
        const int pivot = c.index < 0 ? 1000 : idAt(c.index);
        rows.hidden.clear();
        if (c.insert)
            list->insertRow(c.index, Row::make(100));
        else
            list->removeRow(c.index);
        expectConsistent();
        EXPECT_EQ(list->getRowCount(), c.insert ? 31 : 29);
        const auto after = screenPlaces();
        for (const auto& [id, y] : before) {
            if (!after.count(id))
                continue;
            EXPECT_FLOAT_EQ(after.at(id), y + (id < pivot ? c.shiftBefore : c.shiftAfter)) << "row " << id;
        }
        if (c.hidesIndex)
            EXPECT_EQ(rows.hidden, std::vector<int64_t>{c.index});
        // The new row shows where the row it displaced was.
        if (c.insert && c.index == 13)
            EXPECT_FLOAT_EQ(after.at(100), before.at(13));
        // Only rows meeting the view have cells.
        EXPECT_LE(list->getVisibleCells().size(), 9);
    }
}

TEST_F(TableTest, InsertAtOutOfRangeIndexAppends)
{
    fill(3);
    list->insertRow(99, Row::make(7));
    list->insertRow(-4, Row::make(8));
    EXPECT_EQ(idAt(3), 7);
    EXPECT_EQ(idAt(4), 8);
    list->removeRow(5);
    list->removeRow(-1);
    EXPECT_EQ(list->getRowCount(), 5);
}

TEST_F(TableTest, ThousandRowsKeepAScreenfulOfCellsAndReuseThem)
{
    fill(1000, 37);
    const int created = rows.created;
    EXPECT_LE(created, 10);
    for (float y = -36700; y <= 0; y += 173) {
        list->setContentOffset(Vec2(0, y));
        // Rows meeting the view: at most ceil(300 / 37) + 1.
        EXPECT_LE(list->getVisibleCells().size(), 10);
        EXPECT_EQ(list->getLastVisibleRow() - list->getFirstVisibleRow() + 1, list->getVisibleCells().size());
        // The cells and the background layer, nothing left behind.
        EXPECT_EQ(list->getInnerContainer()->getChildrenCount(), list->getVisibleCells().size() + 1);
    }
    expectConsistent();
    EXPECT_LE(rows.created, created + 1);
}

TEST_F(TableTest, GrowingAVisibleRowPushesTheRowsBelowOnly)
{
    fill(30);
    list->setContentOffset(Vec2(0, -500));
    const auto before = screenPlaces();
    auto* grown = static_cast<Row*>(list->getRows().at(12));
    grown->height = 70;
    list->updateRow(grown);
    const auto after = screenPlaces();
    EXPECT_FLOAT_EQ(after.at(11), before.at(11));
    EXPECT_FLOAT_EQ(after.at(12), before.at(12) - 30); // grows downward
    EXPECT_FLOAT_EQ(after.at(13), before.at(13) - 30);
    EXPECT_EQ(list->cellAtIndex(12)->cellSize, Size(200, 70));
    expectConsistent();
    // Rows off screen are not re-measured by this road.
    list->updateCellSizeAtIndex(25);
    list->updateRow(Row::make(5));
    EXPECT_FLOAT_EQ(list->getRowOffsets().back(), 30 * 40 + 30);
}

TEST_F(TableTest, TapReportsOnceWithThePointInTheCell)
{
    rows.highlightEnabled = true;
    fill(20);
    // Row 1 spans world y 320..360.
    tap(Vec2(130, 345));
    ASSERT_EQ(rows.taps.size(), 1u);
    EXPECT_EQ(rows.taps[0].id, 1);
    EXPECT_EQ(rows.taps[0].point, Vec2(30, 25));
    // Not sticky: the highlight went with the release.
    EXPECT_FALSE(hasHighlight(list->cellAtIndex(1)));
}

TEST_F(TableTest, VerticalMoveOverFiveUnitsIsNoTap)
{
    fill(20);
    for (float dy : {4.0f, 6.0f}) {
        SCOPED_TRACE(dy);
        rows.taps.clear();
        touch(Code::BEGAN, Vec2(150, 300));
        stage.step();
        touch(Code::MOVED, Vec2(150, 300 + dy));
        touch(Code::ENDED, Vec2(150, 300 + dy));
        EXPECT_EQ(rows.taps.size(), dy > 5 ? 0u : 1u);
    }
}

TEST_F(TableTest, ReleaseOutsideKeepsTheHighlightUntilTheNextPress)
{
    rows.highlightEnabled = true;
    fill(20);
    touch(Code::BEGAN, Vec2(150, 385));
    NSTableViewCell* row0 = list->cellAtIndex(0);
    EXPECT_TRUE(hasHighlight(row0));
    stage.step();
    touch(Code::MOVED, Vec2(150, 450));
    touch(Code::ENDED, Vec2(150, 450));
    EXPECT_TRUE(rows.taps.empty());
    EXPECT_TRUE(hasHighlight(row0));
    tap(Vec2(150, 345));
    EXPECT_FALSE(hasHighlight(row0));
}

TEST_F(TableTest, DefaultHighlightNeverStacks)
{
    fill(5);
    NSTableViewCell* cell = list->cellAtIndex(0);
    ASSERT_NE(cell, nullptr) << list->getVisibleCells().size() << " " << list->getFirstVisibleRow() << " "
                             << list->getLastVisibleRow() << " " << list->getContentOffset().y;
    rows.tableCellHighlight(list, cell, Vec2::ZERO, cell->cellSize);
    EXPECT_FALSE(hasHighlight(cell)); // off by default
    rows.highlightEnabled = true;
    rows.tableCellHighlight(list, cell, Vec2::ZERO, cell->cellSize);
    rows.tableCellHighlight(list, cell, Vec2::ZERO, cell->cellSize);
    int layers = 0;
    for (Node* child : cell->getChildren())
        layers += child->getTag() == NSUI::NSTableViewDelegate::kHighlightTag;
    EXPECT_EQ(layers, 1);
    auto* layer = dynamic_cast<LayerColor*>(cell->getChildByTag(NSUI::NSTableViewDelegate::kHighlightTag));
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->getLocalZOrder(), -100);
    EXPECT_EQ(layer->getContentSize(), Size(200, 40));
    EXPECT_EQ(layer->getColor(), Color3B(255, 255, 0));
    EXPECT_EQ(layer->getOpacity(), 55);
    rows.tableCellUnhighlight(list, cell, Vec2::ZERO, cell->cellSize);
    rows.tableCellUnhighlight(list, cell, Vec2::ZERO, cell->cellSize);
    EXPECT_FALSE(hasHighlight(cell));
}

TEST_F(TableTest, StickySelectionSurvivesTheReleaseButNotARecycle)
{
    rows.highlightEnabled = true;
    list->stickySelection = true;
    fill(40);
    tap(Vec2(150, 385));
    EXPECT_TRUE(hasHighlight(list->cellAtIndex(0)));
    EXPECT_EQ(list->getSelectedCell(), list->cellAtIndex(0));
    // Scrolled away and back: unhighlighted, its row is not in the selection.
    list->setContentOffset(Vec2(0, 0));
    list->setContentOffset(Vec2(0, -1300));
    EXPECT_FALSE(hasHighlight(list->cellAtIndex(0)));
}

TEST_F(TableTest, CtrlMultiSelectionThroughRealKeys)
{
    rows.highlightEnabled = true;
    list->stickySelection = true;
    list->multiSelect = true;
    list->setKeyboardEnabled(true);
    fill(20);
    auto selectedIds = [&] {
        std::vector<int> ids;
        for (Ref* r : list->getSelectedRows())
            ids.push_back(static_cast<Row*>(r)->id);
        return ids;
    };
    auto rowY = [](int row) { return 400 - 40 * row - 20.0f; };
    auto ctrl = [&](bool down) { stage.view()->injectKey(EventKeyboard::KeyCode::KEY_LEFT_CTRL, down); };

    tap(Vec2(150, rowY(1)));
    EXPECT_EQ(selectedIds(), std::vector<int>{1});
    ctrl(true);
    EXPECT_TRUE(list->isMultiSelectKeyDown());
    tap(Vec2(150, rowY(3)));
    tap(Vec2(150, rowY(5)));
    EXPECT_EQ(selectedIds(), (std::vector<int>{1, 3, 5}));
    EXPECT_TRUE(hasHighlight(list->cellAtIndex(1)));

    // Ctrl+click on a selected row takes that row out and reports nothing.
    rows.taps.clear();
    tap(Vec2(150, rowY(3)));
    EXPECT_EQ(selectedIds(), (std::vector<int>{1, 5}));
    EXPECT_FALSE(hasHighlight(list->cellAtIndex(3)));
    EXPECT_TRUE(hasHighlight(list->cellAtIndex(5)));
    EXPECT_TRUE(rows.taps.empty());
    EXPECT_EQ(list->getPressedCell(), nullptr);
    tap(Vec2(150, rowY(1)));
    EXPECT_EQ(selectedIds(), std::vector<int>{5});
    EXPECT_TRUE(rows.taps.empty());
    // The only selected row stays selected.
    tap(Vec2(150, rowY(5)));
    EXPECT_EQ(selectedIds(), std::vector<int>{5});
    ASSERT_EQ(rows.taps.size(), 1u);
    EXPECT_EQ(rows.taps[0].id, 5);

    // Without Ctrl a click selects only its row.
    ctrl(false);
    EXPECT_FALSE(list->isMultiSelectKeyDown());
    tap(Vec2(150, rowY(3)));
    tap(Vec2(150, rowY(2)));
    EXPECT_EQ(selectedIds(), std::vector<int>{2});
    EXPECT_FALSE(hasHighlight(list->cellAtIndex(5)));
    EXPECT_FALSE(hasHighlight(list->cellAtIndex(3)));
    // A recycled cell takes its row's highlight back from the selection.
    list->setContentOffset(Vec2(0, 0));
    list->setContentOffset(Vec2(0, -500));
    EXPECT_TRUE(hasHighlight(list->cellAtIndex(2)));
    EXPECT_FALSE(hasHighlight(list->cellAtIndex(3)));
    // Other keys do not count.
    stage.view()->injectKey(EventKeyboard::KeyCode::KEY_RIGHT_CTRL, true);
    EXPECT_FALSE(list->isMultiSelectKeyDown());
}

TEST_F(TableTest, HighlightRowPressesAVisibleRow)
{
    rows.highlightEnabled = true;
    list->multiSelect = true;
    fill(20);
    list->highlightRow(2);
    EXPECT_EQ(list->getPressedCell(), list->cellAtIndex(2));
    EXPECT_TRUE(hasHighlight(list->cellAtIndex(2)));
    EXPECT_EQ(list->getSelectedRows().size(), 1);
    list->highlightRow(15); // not shown
    EXPECT_EQ(list->getPressedCell(), nullptr);
    EXPECT_EQ(list->getSelectedCell(), list->cellAtIndex(2));
}

TEST_F(TableTest, DelegateThatDropsDequeuedCellsLeavesNoDanglingPress)
{
    rows.highlightEnabled = true;
    rows.dropDequeued = true;
    fill(20);
    tap(Vec2(150, 385));
    NSTableViewCell* pressed = list->getPressedCell();
    ASSERT_NE(pressed, nullptr);
    list->reloadData(); // the pressed cell waits for reuse; the delegate drops it
    stage.step();
    EXPECT_GE(pressed->getReferenceCount(), 1u);
    tap(Vec2(150, 345)); // unhighlights the old pressed cell
    EXPECT_EQ(rows.taps.size(), 2u);
    list->removeAllRows();
    EXPECT_EQ(list->getPressedCell(), nullptr);
}

TEST_F(TableTest, NullDelegateAndNullRowsAreGuarded)
{
    list->delegate = nullptr;
    list->insertItem(0, Row::make(1));
    list->insertItem(1, nullptr);
    EXPECT_EQ(list->getRowCount(), 1);
    EXPECT_TRUE(list->getVisibleCells().empty());
    EXPECT_FLOAT_EQ(list->getRowOffsets().back(), 0);
    tap(Vec2(150, 385));
    list->reloadData();
    list->removeRow(0);
    list->delegate = &rows;
    list->insertRow(0, nullptr);
    EXPECT_EQ(list->getRowCount(), 0);
}

TEST_F(TableTest, HorizontalTableRestartsAtTheLeft)
{
    list->setDirection(2);
    fill(12, 50); // 600 wide
    list->reloadData();
    EXPECT_EQ(list->getContentOffset(), Vec2::ZERO);
    EXPECT_EQ(list->getVisibleCells().size(), 5); // the row starting at the right edge counts
    NSTableViewCell* first = list->cellAtIndex(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->getPosition(), Vec2(0, 0));
    EXPECT_EQ(first->cellSize, Size(50, 300));
    EXPECT_EQ(list->cellAtIndex(3)->getPosition(), Vec2(150, 0));
    list->setContentOffset(Vec2(-200, 0));
    EXPECT_EQ(list->getFirstVisibleRow(), 4);
    list->insertRow(1, Row::make(50, 50)); // before the shown rows
    EXPECT_EQ(list->getContentOffset(), Vec2(-250, 0));
    list->reloadData();
    EXPECT_EQ(list->getContentOffset(), Vec2::ZERO);
}
