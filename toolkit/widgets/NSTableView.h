// The cell-recycling table on top of the scroll view.
//
// The table owns an ordered list of row-data objects (retained); its
// delegate gives each row's size and makes or reuses the cell that shows
// it. Only rows inside the visible area have cells; a cell leaving it goes
// to a queue of reusable cells. Rows are found by bisection over the
// cumulative row offsets, which inserts, removals and resizes update in
// place, keeping what is on screen still. On top: a pressed-cell highlight,
// an optional sticky and Ctrl multi-row selection, and swipe menus sliding
// out from the side of a row in vertical tables.
//
// Tables are made as list views (NSListView), which fill top-down: row 0 at
// the top of a vertical table, at the left of a horizontal one.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "toolkit/widgets/NSTableViewCell.h"
#include "toolkit/widgets/UIScrollViewBase.h"

namespace NSUI {

class NSTableView : public UIScrollViewBase {
public:
    static constexpr const char* kBackgroundName = "_NSTableView_bk_";
    static constexpr const char* kLeftMenuName = "leftMenu";
    static constexpr const char* kRightMenuName = "rightMenu";
    static constexpr float kMenuWidth = 150.0f;
    static constexpr float kTapSlop = 5.0f;

    ~NSTableView() override;

    // ------------------------------------------------ rows
    // Recycles all cells, clears the selection, re-measures every row,
    // resets the offset to the start and shows the visible rows.
    void reloadData();
    void removeAllRows();
    // An index outside 0..rowCount appends; null row data is ignored.
    void insertRow(int64_t index, cocos2d::Ref* rowData);
    void removeRow(int64_t index);
    // Re-measures the row holding this object (first match).
    void updateRow(cocos2d::Ref* rowData);
    // Re-measures one visible row and lets the delegate reconfigure its cell.
    void updateCellSizeAtIndex(int64_t index);
    NSTableViewCell* cellAtIndex(int64_t index) const;
    // The oldest reusable cell (autoreleased), or null.
    NSTableViewCell* dequeueCell();
    void highlightRow(int index);
    void closeSwipeMenu(bool immediate);
    NSTableViewCell* getSelectedCell() const;
    cocos2d::Vec2 getContentOffset() const;

    // The row at a point in container coordinates; CC_INVALID_INDEX when
    // none. A point on the border of two rows belongs to the upper row in a
    // vertical table and to the right-hand row in a horizontal one.
    int64_t rowAtPoint(const cocos2d::Vec2& point) const;

    int64_t getRowCount() const { return rowCount; }
    const cocos2d::Vector<cocos2d::Ref*>& getRows() const { return rows; }
    const cocos2d::Vector<cocos2d::Ref*>& getSelectedRows() const { return selectedRows; }
    const cocos2d::Vector<NSTableViewCell*>& getVisibleCells() const { return visibleCells; }
    const cocos2d::Vector<NSTableViewCell*>& getReusableCells() const { return reusableCells; }
    NSTableViewCell* getPressedCell() const { return pressedCell; }
    NSTableViewCell* getSwipeCell() const { return swipeCell; }
    int getFirstVisibleRow() const { return firstVisibleRow; }
    int getLastVisibleRow() const { return lastVisibleRow; }
    // Start of each row along the scroll axis from the start of the
    // content, then the total extent.
    const std::vector<float>& getRowOffsets() const { return rowOffsets; }
    bool isMultiSelectKeyDown() const { return multiSelectKeyDown; }

    // ------------------------------------------------ overrides
    void scrollViewDidScroll() override;
    void setContentSize(const cocos2d::Size& size) override;
    void cleanup() override;
    bool onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void onTouchMoved(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void onTouchEnded(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void onTouchCancelled(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void onKeyPressed(cocos2d::EventKeyboard::KeyCode keyCode, cocos2d::Event* event) override;
    void onKeyReleased(cocos2d::EventKeyboard::KeyCode keyCode, cocos2d::Event* event) override;

    // ------------------------------------------------ public settings
    NSTableViewDelegate* delegate = nullptr; // not retained
    // A swipe starting in this left (right) fraction of the width opens the
    // left (right) menu.
    float swipeEdgeFraction = 0.5f;
    // A released swipe stays open beyond this fraction of the menu's width.
    float swipeOpenFraction = 0.5f;
    // Seconds of a full-width menu slide; partial slides take their share.
    float swipeDuration = 0.5f;
    // A pressed row stays highlighted; recycled cells re-take their row's
    // highlight from the selection.
    bool stickySelection = false;
    // Presses build a selection of several rows (Ctrl adds or removes).
    bool multiSelect = false;

protected:
    NSTableView();
    // Zero size, direction 1, the background layer in the container.
    void setUpTable();

    bool isVertical() const { return direction != 2; }
    float extentOf(const cocos2d::Size& size) const { return isVertical() ? size.height : size.width; }
    float rowExtent(int64_t row) const { return rowOffsets[row + 1] - rowOffsets[row]; }
    cocos2d::Size newCellSize(int64_t row) const;
    cocos2d::Vec2 positionOfRow(int64_t row) const;
    void placeCell(NSTableViewCell* cell, int64_t row);
    cocos2d::Size measure(int64_t row, cocos2d::Ref* rowData);
    void measureRows();
    void updateContainerSize();
    void resetOffsetToStart();
    void sortVisibleCells();
    void showRow(int64_t row);
    void recycleCell(NSTableViewCell* cell);
    // Moves a shown cell to the reuse queue without the visible-list
    // bookkeeping (reloadData, removeAllRows).
    void parkCell(NSTableViewCell* cell);
    // Parks every shown cell and forgets the shown rows and the swiped cell.
    void parkAllCells();
    void refreshCellHighlight(NSTableViewCell* cell);
    void setPressedCell(NSTableViewCell* cell);
    void animateSwipeCell(bool open, bool left);
    void clearSwipeState();
    bool containsWorldPoint(const cocos2d::Vec2& point) const;

    NSTableViewCell* pressedCell = nullptr; // retained
    int laidOutDirection = 0;
    bool visibleCellsUnsorted = false;
    int firstVisibleRow = 0;
    int lastVisibleRow = 0;
    std::set<int64_t> visibleRowSet;
    std::vector<float> rowOffsets;
    cocos2d::Vector<NSTableViewCell*> visibleCells;
    cocos2d::Vector<NSTableViewCell*> reusableCells;
    int64_t rowCount = 0;
    bool touchMovedVertically = false;
    NSTableViewCell* swipeCell = nullptr; // not retained
    bool leftMenuOpen = false;
    bool rightMenuOpen = false;
    cocos2d::Vector<cocos2d::Ref*> rows;
    cocos2d::Vector<cocos2d::Ref*> selectedRows;
    bool multiSelectKeyDown = false;
    cocos2d::LayerColor* background = nullptr; // a child of the container
};

} // namespace NSUI
