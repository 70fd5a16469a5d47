// What a table knows of its rows: the cell node that shows one row, the
// swipe-menu holder of a row, and the delegate protocol through which the
// table's owner sizes rows, makes or reuses their cells, reacts to taps
// and highlights, and fills swipe menus.
#pragma once

#include <cstdint>

#include "engine/cocos2d.h"

namespace NSUI {

class NSTableView;

// Shows one row. The table sets rowIndex and cellSize when it places the
// cell; a cell waiting for reuse has rowIndex CC_INVALID_INDEX. The node's
// own content size is left to the delegate.
class NSTableViewCell : public cocos2d::Node {
public:
    static NSTableViewCell* create();

    int64_t rowIndex = CC_INVALID_INDEX;
    cocos2d::Size cellSize;

protected:
    NSTableViewCell() = default;
};

// The holder of a row's swipe menu. Touch-enabled, so touches on the menu
// go to it and its buttons, not to the table.
class NSTableViewMenu : public cocos2d::ui::Widget {
public:
    static NSTableViewMenu* create();
    bool init() override;

    int64_t rowIndex = CC_INVALID_INDEX;
    NSTableViewCell* cell = nullptr; // not retained

protected:
    NSTableViewMenu() = default;
};

// Mixed into the class that owns a table. Points are in the cell's space.
//
// tableCellAtIndex: take the table's visible cell of the row
// (cellAtIndex), else a reusable one (dequeueCell), else a new cell; build
// its children only when new; configure it for the row and the size.
// tableCellSizeForIndex: the height is the row's extent in a vertical
// table, the width in a horizontal one.
// Swipe menus: the table passes a fresh holder of 150 x row height; the
// delegate adds content and leaves it visible to offer a menu, or hides it
// to decline.
class NSTableViewDelegate {
public:
    static constexpr int kHighlightTag = 10000;
    static constexpr int kHighlightZOrder = -100;

    virtual ~NSTableViewDelegate() = default;

    virtual void tableCellTouched(NSTableView* table, NSTableViewCell* cell, const cocos2d::Vec2& point) {}
    // Adds a layer of highlightColor (tag 10000, z -100) sized to the cell,
    // once, when highlightEnabled.
    virtual void tableCellHighlight(NSTableView* table, NSTableViewCell* cell, const cocos2d::Vec2& point,
                                    const cocos2d::Size& cellSize);
    // Removes that layer when highlightEnabled.
    virtual void tableCellUnhighlight(NSTableView* table, NSTableViewCell* cell, const cocos2d::Vec2& point,
                                      const cocos2d::Size& cellSize);
    virtual void tableCellWillRecycle(NSTableView* table, NSTableViewCell* cell) {}
    virtual void tableViewRowsShown(int firstRow, int lastRow) {}
    virtual void tableCellHidden(int64_t row) {}
    virtual void tableViewDidScroll(NSTableView* table) {}
    // Default: declines (hides the holder).
    virtual void tableCellLeftMenu(NSTableView* table, NSTableViewMenu* menu);
    virtual void tableCellRightMenu(NSTableView* table, NSTableViewMenu* menu);
    virtual cocos2d::Size tableCellSizeForIndex(NSTableView* table, int64_t row, cocos2d::Ref* rowData) = 0;
    virtual NSTableViewCell* tableCellAtIndex(NSTableView* table, int64_t row, const cocos2d::Size& cellSize) = 0;

    cocos2d::Color4B highlightColor{255, 255, 0, 55};
    bool highlightEnabled = false;
};

} // namespace NSUI
