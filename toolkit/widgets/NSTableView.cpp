#include "toolkit/widgets/NSTableView.h"

#include <algorithm>
#include <cmath>

USING_NS_CC;

namespace NSUI {

NSTableView::NSTableView() = default;

NSTableView::~NSTableView()
{
    CC_SAFE_RELEASE_NULL(pressedCell);
}

void NSTableView::setUpTable()
{
    // One offset (the total, 0) from the start, so that the container has
    // the view's size and the first layout puts the top in view.
    measureRows();
    UIScrollViewBase::setContentSize(Size::ZERO);
    visibleRowSet.clear();
    setDirection(1);
    if (!background) {
        background = LayerColor::create(Color4B::BLACK);
        background->setOpacity(0);
        background->setIgnoreAnchorPointForPosition(false);
        background->setAnchorPoint(Vec2::ZERO);
        background->setContentSize(getContentSize());
        background->setScale(1.2f);
        background->setName(kBackgroundName);
        innerContainer->addChild(background, -100);
    }
}

// ---------------------------------------------------------------- geometry

Size NSTableView::newCellSize(int64_t row) const
{
    const Size view = getContentSize();
    return isVertical() ? Size(view.width, rowExtent(row)) : Size(rowExtent(row), view.height);
}

Vec2 NSTableView::positionOfRow(int64_t row) const
{
    const float hc = innerContainer->getContentSize().height;
    if (isVertical())
        return Vec2(0, hc - rowOffsets[row] - rowExtent(row));
    // The cell of a horizontal row is as tall as the view: its bottom sits
    // at the container's bottom.
    return Vec2(rowOffsets[row], hc - getContentSize().height);
}

void NSTableView::placeCell(NSTableViewCell* cell, int64_t row)
{
    cell->setAnchorPoint(Vec2::ZERO);
    cell->setPosition(positionOfRow(row));
}

Size NSTableView::measure(int64_t row, Ref* rowData)
{
    // Without a delegate rows measure 0 and get no cell.
    return delegate ? delegate->tableCellSizeForIndex(this, row, rowData) : Size::ZERO;
}

void NSTableView::measureRows()
{
    rowOffsets.assign(static_cast<size_t>(rowCount + 1), 0.0f);
    if (rowCount <= 0)
        return;
    float sum = 0;
    for (int64_t i = 0; i < rowCount; ++i) {
        rowOffsets[i] = sum;
        const Size size = measure(i, rows.at(i));
        if (NSTableViewCell* cell = cellAtIndex(i))
            cell->cellSize = size;
        sum += extentOf(size);
    }
    rowOffsets[rowCount] = sum;
}

void NSTableView::updateContainerSize()
{
    Size size = Size::ZERO;
    if (!rowOffsets.empty()) {
        const Size view = getContentSize();
        const float total = rowOffsets.back();
        size = isVertical() ? Size(view.width, std::max(total, view.height))
                            : Size(std::max(total, view.width), view.height);
    }
    innerContainer->setContentSize(size);
    if (direction != laidOutDirection) {
        resetOffsetToStart();
        laidOutDirection = direction;
    }
}

void NSTableView::resetOffsetToStart()
{
    if (isVertical())
        setContentOffset(Vec2(0, getContentSize().height -
                                     innerContainer->getContentSize().height * innerContainer->getScaleY()));
    else
        setContentOffset(Vec2::ZERO);
}

Vec2 NSTableView::getContentOffset() const
{
    return innerContainer->getPosition();
}

int64_t NSTableView::rowAtPoint(const Vec2& point) const
{
    if (rowCount <= 0 || static_cast<int64_t>(rowOffsets.size()) < rowCount + 1)
        return CC_INVALID_INDEX;
    const bool vertical = isVertical();
    const float v = vertical ? innerContainer->getContentSize().height - point.y : point.x;
    const float a = vertical ? 0.0001f : 0.0f;
    const float b = vertical ? 0.0f : -0.0001f;
    int64_t lo = 0, hi = rowCount - 1, found = CC_INVALID_INDEX;
    while (hi >= lo) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (rowOffsets[mid] + a <= v && v <= rowOffsets[mid + 1] + b) {
            found = mid;
            break;
        }
        if (v < rowOffsets[mid] + a)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    if (found == CC_INVALID_INDEX) {
        if (lo > 0)
            return CC_INVALID_INDEX;
        found = 0;
    }
    found = std::max<int64_t>(found, 0);
    return found > rowCount - 1 ? CC_INVALID_INDEX : found;
}

// ---------------------------------------------------------------- visible range

void NSTableView::sortVisibleCells()
{
    std::stable_sort(visibleCells.begin(), visibleCells.end(),
                     [](NSTableViewCell* x, NSTableViewCell* y) { return x->rowIndex < y->rowIndex; });
    visibleCellsUnsorted = false;
}

void NSTableView::scrollViewDidScroll()
{
    UIScrollViewBase::scrollViewDidScroll();
    if (rowCount <= 0 || !innerContainer)
        return;
    if (visibleCellsUnsorted)
        sortVisibleCells();
    retain();
    if (delegate)
        delegate->tableViewDidScroll(this);

    const Size view = getContentSize();
    const Vec2 o = -getContentOffset();
    if (background)
        background->setPosition(o);
    int64_t first = rowAtPoint(Vec2(o.x, o.y + view.height / innerContainer->getScaleY()));
    int64_t last = rowAtPoint(Vec2(o.x + view.width / innerContainer->getScaleX(), o.y));
    if (first == CC_INVALID_INDEX)
        first = rowCount - 1;
    if (last == CC_INVALID_INDEX)
        last = rowCount - 1;

    while (!visibleCells.empty() && visibleCells.front()->rowIndex < first) {
        NSTableViewCell* cell = visibleCells.front();
        const int64_t row = cell->rowIndex;
        recycleCell(cell);
        if (delegate)
            delegate->tableCellHidden(row);
    }
    while (!visibleCells.empty() && visibleCells.back()->rowIndex <= std::max<int64_t>(rowCount - 1, 0) &&
           visibleCells.back()->rowIndex > last) {
        NSTableViewCell* cell = visibleCells.back();
        const int64_t row = cell->rowIndex;
        recycleCell(cell);
        if (delegate)
            delegate->tableCellHidden(row);
    }
    firstVisibleRow = static_cast<int>(first);
    lastVisibleRow = static_cast<int>(last);
    for (int64_t i = first; i <= last; ++i) {
        if (visibleRowSet.count(i))
            continue;
        showRow(i);
        if (NSTableViewCell* cell = cellAtIndex(i))
            if (Node* stale = cell->getChildByName("tableMenu"))
                stale->removeFromParent();
    }
    if (delegate)
        delegate->tableViewRowsShown(static_cast<int>(first), static_cast<int>(last));
    release();
}

void NSTableView::showRow(int64_t row)
{
    if (!delegate || row < firstVisibleRow || row > lastVisibleRow || row >= rowCount || visibleRowSet.count(row))
        return;
    const Size size = newCellSize(row);
    NSTableViewCell* cell = delegate->tableCellAtIndex(this, row, size);
    if (!cell || visibleCells.contains(cell))
        return;
    cell->cellSize = size;
    placeCell(cell, row);
    cell->rowIndex = row;
    refreshCellHighlight(cell);
    if (cell->getParent() != innerContainer) {
        if (cell->getParent())
            cell->removeFromParentAndCleanup(false);
        innerContainer->addChild(cell);
    }
    visibleCells.pushBack(cell);
    visibleRowSet.insert(row);
    visibleCellsUnsorted = true;
}

void NSTableView::parkCell(NSTableViewCell* cell)
{
    if (delegate)
        delegate->tableCellWillRecycle(this, cell);
    cell->stopAllActions();
    // A reused cell never carries another row's swipe menu.
    cell->removeChildByName(kLeftMenuName, true);
    cell->removeChildByName(kRightMenuName, true);
    cell->setPositionX(0);
    reusableCells.pushBack(cell);
    cell->rowIndex = CC_INVALID_INDEX;
    if (cell->getParent() == innerContainer)
        innerContainer->removeChild(cell, false);
}

void NSTableView::recycleCell(NSTableViewCell* cell)
{
    cell->retain();
    const int64_t row = cell->rowIndex;
    parkCell(cell);
    visibleCells.eraseObject(cell);
    visibleCellsUnsorted = true;
    if (swipeCell == cell)
        swipeCell = nullptr;
    visibleRowSet.erase(row);
    cell->release();
}

NSTableViewCell* NSTableView::dequeueCell()
{
    if (reusableCells.empty())
        return nullptr;
    NSTableViewCell* cell = reusableCells.front();
    cell->retain();
    cell->autorelease();
    reusableCells.erase(0);
    return cell;
}

NSTableViewCell* NSTableView::cellAtIndex(int64_t index) const
{
    if (!visibleRowSet.count(index))
        return nullptr;
    for (NSTableViewCell* cell : visibleCells)
        if (cell->rowIndex == index)
            return cell;
    return nullptr;
}

void NSTableView::refreshCellHighlight(NSTableViewCell* cell)
{
    if (!stickySelection || !delegate || !cell)
        return;
    if (cell->rowIndex < 0 || cell->rowIndex >= rows.size())
        return;
    Ref* data = rows.at(cell->rowIndex);
    if (!data)
        return;
    if (selectedRows.contains(data))
        delegate->tableCellHighlight(this, cell, Vec2::ZERO, cell->cellSize);
    else
        delegate->tableCellUnhighlight(this, cell, Vec2::ZERO, cell->cellSize);
}

void NSTableView::setPressedCell(NSTableViewCell* cell)
{
    if (cell == pressedCell)
        return;
    CC_SAFE_RETAIN(cell);
    CC_SAFE_RELEASE(pressedCell);
    pressedCell = cell;
}

// ---------------------------------------------------------------- row operations

void NSTableView::parkAllCells()
{
    laidOutDirection = 0;
    Vector<NSTableViewCell*> shown(visibleCells);
    for (NSTableViewCell* cell : shown)
        parkCell(cell);
    visibleRowSet.clear();
    visibleCells.clear();
    swipeCell = nullptr;
}

void NSTableView::reloadData()
{
    parkAllCells();
    selectedRows.clear();
    rowCount = rows.size();
    firstVisibleRow = lastVisibleRow = 0;
    measureRows();
    updateContainerSize();
    if (rowCount > 0)
        scrollViewDidScroll();
}

void NSTableView::removeAllRows()
{
    parkAllCells();
    visibleCellsUnsorted = false;
    setPressedCell(nullptr);
    rows.clear();
    selectedRows.clear();
    rowCount = 0;
    firstVisibleRow = lastVisibleRow = 0;
    measureRows();
    updateContainerSize();
}

void NSTableView::insertRow(int64_t index, Ref* rowData)
{
    if (!rowData)
        return;
    if (index < 0 || index > rowCount)
        index = rowCount;
    rows.insert(index, rowData);
    const float e = extentOf(measure(index, rowData));

    if (static_cast<int64_t>(rowOffsets.size()) < rowCount + 1)
        rowOffsets.resize(static_cast<size_t>(rowCount + 1), 0.0f);
    rowCount += 1;
    rowOffsets.resize(static_cast<size_t>(rowCount + 1), 0.0f);
    for (int64_t i = rowCount; i >= index + 2; --i)
        rowOffsets[i] = rowOffsets[i - 1] + e;
    rowOffsets[index + 1] = rowOffsets[index] + e;

    sortVisibleCells();
    const int64_t last = visibleCells.empty() ? -1 : visibleCells.back()->rowIndex;
    const bool vertical = isVertical();
    float c = 0;
    ssize_t firstRenumbered = visibleCells.size(); // none
    if (index > last) {
        c = vertical ? e : 0;
    } else if (visibleRowSet.count(index)) {
        c = vertical ? e : 0;
        for (ssize_t k = 0; k < visibleCells.size(); ++k)
            if (visibleCells.at(k)->rowIndex == index) {
                firstRenumbered = k;
                break;
            }
    } else {
        c = vertical ? 0 : e;
        firstRenumbered = 0;
    }
    for (ssize_t k = firstRenumbered; k < visibleCells.size(); ++k)
        visibleRowSet.erase(visibleCells.at(k)->rowIndex);
    for (ssize_t k = visibleCells.size() - 1; k >= firstRenumbered; --k) {
        NSTableViewCell* cell = visibleCells.at(k);
        cell->rowIndex += 1;
        placeCell(cell, cell->rowIndex);
        visibleRowSet.insert(cell->rowIndex);
    }

    updateContainerSize();
    Vec2 offset = getContentOffset();
    if (vertical) {
        offset.y -= c;
    } else {
        offset.x -= c;
        if (getContentSize().width >= innerContainer->getContentSize().width && offset.x < 0)
            offset.x = 0;
    }
    setContentOffset(offset);
    for (ssize_t k = visibleCells.size() - 1; k >= 0; --k)
        placeCell(visibleCells.at(k), visibleCells.at(k)->rowIndex);
}

void NSTableView::removeRow(int64_t index)
{
    if (index == CC_INVALID_INDEX || rowCount <= 0 || index < 0 || index > rowCount - 1)
        return;
    Ref* data = rows.at(index);
    if (selectedRows.contains(data))
        selectedRows.eraseObject(data);
    rows.erase(index);

    const float e = rowExtent(index);
    const int64_t oldCount = rowCount;
    for (int64_t i = index + 1; i <= oldCount - 1; ++i)
        rowOffsets[i] = rowOffsets[i - 1] + (rowOffsets[i + 1] - rowOffsets[i]);
    rowCount -= 1;
    rowOffsets.resize(static_cast<size_t>(rowCount + 1));

    sortVisibleCells();
    const int64_t last = visibleCells.empty() ? -1 : visibleCells.back()->rowIndex;
    const bool vertical = isVertical();
    float c = 0;
    ssize_t firstRenumbered = -1; // none
    if (index > last) {
        c = vertical ? e : 0;
    } else if (NSTableViewCell* shown = cellAtIndex(index)) {
        recycleCell(shown);
        if (delegate)
            delegate->tableCellHidden(index);
        for (ssize_t k = 0; k < visibleCells.size(); ++k)
            if (visibleCells.at(k)->rowIndex > index) {
                firstRenumbered = k;
                break;
            }
    } else {
        c = vertical ? 0 : -e;
        firstRenumbered = visibleCells.empty() ? -1 : 0;
    }
    if (index < oldCount - 1 && firstRenumbered >= 0) {
        for (ssize_t k = firstRenumbered; k < visibleCells.size(); ++k)
            visibleRowSet.erase(visibleCells.at(k)->rowIndex);
        for (ssize_t k = visibleCells.size() - 1; k >= firstRenumbered; --k) {
            NSTableViewCell* cell = visibleCells.at(k);
            cell->rowIndex -= 1;
            placeCell(cell, cell->rowIndex);
            visibleRowSet.insert(cell->rowIndex);
        }
    }

    updateContainerSize();
    Vec2 offset = getContentOffset();
    if (vertical) {
        offset.y += c;
    } else {
        offset.x -= c;
        if (getContentSize().width >= innerContainer->getContentSize().width && offset.x < 0)
            offset.x = 0;
    }
    setContentOffset(offset);
    if (vertical)
        for (ssize_t k = visibleCells.size() - 1; k >= 0; --k)
            placeCell(visibleCells.at(k), visibleCells.at(k)->rowIndex);
}

void NSTableView::updateRow(Ref* rowData)
{
    const ssize_t index = rows.getIndex(rowData);
    if (rowData && index >= 0)
        updateCellSizeAtIndex(index);
}

void NSTableView::updateCellSizeAtIndex(int64_t index)
{
    if (index < firstVisibleRow || index > lastVisibleRow || index < 0 || index >= rowCount)
        return;
    const Size size = measure(index, rows.at(index));
    NSTableViewCell* cell = cellAtIndex(index);
    if (cell)
        cell->cellSize = size;
    const float c = extentOf(size) - rowExtent(index);
    for (int64_t i = rowCount; i >= index + 1; --i)
        rowOffsets[i] += c;
    if (cell && delegate) {
        delegate->tableCellAtIndex(this, index, size);
        cell->cellSize = size;
        refreshCellHighlight(cell);
    }
    updateContainerSize();
    if (isVertical()) {
        Vec2 offset = getContentOffset();
        offset.y -= c;
        setContentOffset(offset);
    }
    for (ssize_t k = visibleCells.size() - 1; k >= 0; --k)
        placeCell(visibleCells.at(k), visibleCells.at(k)->rowIndex);
}

void NSTableView::highlightRow(int index)
{
    NSTableViewCell* cell = cellAtIndex(index);
    setPressedCell(cell);
    if (!cell || !delegate)
        return;
    delegate->tableCellHighlight(this, cell, Vec2::ZERO, cell->cellSize);
    if (multiSelect && index >= 0 && index < rows.size() && !selectedRows.contains(rows.at(index)))
        selectedRows.pushBack(rows.at(index));
}

NSTableViewCell* NSTableView::getSelectedCell() const
{
    if (pressedCell)
        return pressedCell;
    if (selectedRows.empty())
        return nullptr;
    const ssize_t row = rows.getIndex(selectedRows.front());
    return row >= 0 ? cellAtIndex(row) : nullptr;
}

// ---------------------------------------------------------------- size and lifecycle

void NSTableView::setContentSize(const Size& size)
{
    if (size.equals(getContentSize()))
        return;
    UIScrollViewBase::setContentSize(size);
    if (!innerContainer)
        return;
    updateContainerSize();
    resetOffsetToStart();
    if (background)
        background->setContentSize(size);
    if (rowCount > 0)
        scrollViewDidScroll();
}

void NSTableView::cleanup()
{
    const bool engineAlive = Director::getInstanceIfExists() != nullptr;
    if (engineAlive)
        UIScrollViewBase::cleanup();
    removeAllRows();
    if (engineAlive)
        for (NSTableViewCell* cell : reusableCells) {
            cell->stopAllActions();
            cell->cleanup();
        }
    reusableCells.clear();
    swipeCell = nullptr;
    leftMenuOpen = rightMenuOpen = false;
}

// ---------------------------------------------------------------- touches

bool NSTableView::containsWorldPoint(const Vec2& point) const
{
    const Vec2 p = convertToNodeSpace(point);
    const Size size = getContentSize();
    return p.x >= 0 && p.x <= size.width && p.y >= 0 && p.y <= size.height;
}

void NSTableView::clearSwipeState()
{
    swipeCell = nullptr;
    leftMenuOpen = rightMenuOpen = false;
}

bool NSTableView::onTouchBegan(Touch* touch, Event* event)
{
    if (!isAncestorsVisible())
        return false;
    if (!UIScrollViewBase::onTouchBegan(touch, event))
        return false;
    retain();
    touchMovedVertically = false;
    const int64_t r = rowAtPoint(innerContainer->convertToNodeSpace(touch->getLocation()));
    if (isVertical()) {
        closeSwipeMenu(false);
        clearSwipeState();
    }
    if (r == CC_INVALID_INDEX) {
        if (!stickySelection)
            setPressedCell(nullptr);
        release();
        return true;
    }
    NSTableViewCell* cell = cellAtIndex(r);
    if (delegate) {
        if (!multiSelect) {
            if (pressedCell)
                delegate->tableCellUnhighlight(this, pressedCell, Vec2::ZERO, pressedCell->cellSize);
        } else if (cell && multiSelectKeyDown) {
            Ref* data = rows.at(r);
            if (selectedRows.contains(data) && selectedRows.size() > 1) {
                // Ctrl+click on a selected row deselects that row only; it is
                // no tap, and no cell stays pressed.
                delegate->tableCellUnhighlight(this, cell, Vec2::ZERO, cell->cellSize);
                selectedRows.eraseObject(data);
                setPressedCell(nullptr);
                release();
                return true;
            }
        } else if (cell) {
            Vector<Ref*> selected(selectedRows);
            for (Ref* data : selected) {
                const ssize_t row = rows.getIndex(data);
                if (NSTableViewCell* shown = row >= 0 ? cellAtIndex(row) : nullptr)
                    delegate->tableCellUnhighlight(this, shown, Vec2::ZERO, shown->cellSize);
            }
            selectedRows.clear();
        }
    }
    setPressedCell(cell);
    if (cell && delegate) {
        delegate->tableCellHighlight(this, cell, cell->convertToNodeSpace(touch->getLocation()), cell->cellSize);
        if (multiSelect && !selectedRows.contains(rows.at(r)))
            selectedRows.pushBack(rows.at(r));
    }
    release();
    return true;
}

void NSTableView::onTouchMoved(Touch* touch, Event* event)
{
    UIScrollViewBase::onTouchMoved(touch, event);
    if (!pressedCell || !isVertical())
        return;
    retain();
    const Size view = getContentSize();
    const Vec2 cur = innerContainer->convertToNodeSpace(touch->getLocation());
    const Vec2 start = innerContainer->convertToNodeSpace(touch->getStartLocation());
    if (std::fabs(touch->getLocation().y - touch->getStartLocation().y) > kTapSlop)
        touchMovedVertically = true;

    auto offerMenu = [&](bool left) {
        if (!delegate)
            return;
        auto* menu = NSTableViewMenu::create();
        if (!menu)
            return;
        menu->setAnchorPoint(Vec2::ZERO);
        menu->setPositionY(0);
        menu->setContentSize(Size(kMenuWidth, pressedCell->cellSize.height));
        menu->cell = pressedCell;
        if (left)
            delegate->tableCellLeftMenu(this, menu);
        else
            delegate->tableCellRightMenu(this, menu);
        if (!menu->isVisible() || !pressedCell)
            return;
        menu->setName(left ? kLeftMenuName : kRightMenuName);
        menu->rowIndex = pressedCell->rowIndex;
        pressedCell->addChild(menu);
        menu->setPosition(Vec2(left ? -menu->getContentSize().width : view.width, 0));
        (left ? leftMenuOpen : rightMenuOpen) = true;
        swipeCell = pressedCell;
    };

    if (start.x < view.width * swipeEdgeFraction) {
        if (!leftMenuOpen)
            offerMenu(true);
        if (leftMenuOpen && swipeCell)
            if (Node* menu = swipeCell->getChildByName(kLeftMenuName))
                swipeCell->setPositionX(std::min(cur.x - start.x, menu->getContentSize().width));
    } else if (start.x > (1 - swipeEdgeFraction) * view.width) {
        if (!rightMenuOpen)
            offerMenu(false);
        if (rightMenuOpen && swipeCell)
            if (Node* menu = swipeCell->getChildByName(kRightMenuName))
                swipeCell->setPositionX(std::max(cur.x - start.x, -menu->getContentSize().width));
    }
    release();
}

void NSTableView::onTouchEnded(Touch* touch, Event* event)
{
    UIScrollViewBase::onTouchEnded(touch, event);
    if (!isAncestorsVisible())
        return;
    retain();
    if (isVertical() && (leftMenuOpen || rightMenuOpen)) {
        // A swipe gesture never reports a tap.
        if (leftMenuOpen && swipeCell) {
            Node* menu = swipeCell->getChildByName(kLeftMenuName);
            if (menu && swipeCell->getPositionX() > swipeOpenFraction * menu->getContentSize().width) {
                animateSwipeCell(true, true);
            } else {
                animateSwipeCell(false, true);
                clearSwipeState();
            }
        } else if (rightMenuOpen && swipeCell) {
            Node* menu = swipeCell->getChildByName(kRightMenuName);
            if (menu && -swipeCell->getPositionX() > swipeOpenFraction * menu->getContentSize().width) {
                animateSwipeCell(true, false);
            } else {
                animateSwipeCell(false, false);
                clearSwipeState();
            }
        }
        release();
        return;
    }
    if (pressedCell && delegate && containsWorldPoint(touch->getLocation())) {
        NSTableViewCell* cell = pressedCell;
        cell->retain();
        const Vec2 p = cell->convertToNodeSpace(touch->getLocation());
        if (!stickySelection && !multiSelect)
            delegate->tableCellUnhighlight(this, cell, p, cell->cellSize);
        if (!touchMovedVertically)
            delegate->tableCellTouched(this, cell, p);
        cell->release();
    }
    release();
}

void NSTableView::onTouchCancelled(Touch* touch, Event* event)
{
    UIScrollViewBase::onTouchCancelled(touch, event);
    retain();
    if (pressedCell && delegate && !stickySelection && !multiSelect)
        delegate->tableCellUnhighlight(this, pressedCell, pressedCell->convertToNodeSpace(touch->getLocation()),
                                       pressedCell->cellSize);
    if (isVertical() && (leftMenuOpen || rightMenuOpen)) {
        animateSwipeCell(false, leftMenuOpen);
        clearSwipeState();
    }
    release();
}

void NSTableView::onKeyPressed(EventKeyboard::KeyCode keyCode, Event*)
{
    if (static_cast<int>(keyCode) == 14)
        multiSelectKeyDown = true;
}

void NSTableView::onKeyReleased(EventKeyboard::KeyCode keyCode, Event*)
{
    if (static_cast<int>(keyCode) == 14)
        multiSelectKeyDown = false;
}

// ---------------------------------------------------------------- swipe menus

void NSTableView::animateSwipeCell(bool open, bool left)
{
    NSTableViewCell* cell = swipeCell;
    if (!cell)
        return;
    cell->stopAllActions();
    if (cell->rowIndex < 0)
        return;
    Node* menu = cell->getChildByName(left ? kLeftMenuName : kRightMenuName);
    const float x = cell->getPositionX();
    const float y = cell->getPositionY();
    if (!open) {
        const float ratio = menu ? std::fabs(x) / menu->getContentSize().width : 1.0f;
        if (delegate && !stickySelection && !multiSelect)
            delegate->tableCellUnhighlight(this, cell, Vec2::ZERO, cell->cellSize);
        cell->runAction(Sequence::create(MoveTo::create(ratio * swipeDuration, Vec2(0, y)), CallFunc::create([cell] {
                                             cell->removeChildByName(kLeftMenuName, true);
                                             cell->removeChildByName(kRightMenuName, true);
                                         }),
                                         nullptr));
        return;
    }
    if (!menu)
        return;
    const float w = menu->getContentSize().width;
    const float duration = (w - std::fabs(x)) / w * swipeDuration;
    cell->runAction(MoveTo::create(duration, Vec2(left ? w : -w, y)));
}

void NSTableView::closeSwipeMenu(bool immediate)
{
    if (!(leftMenuOpen || rightMenuOpen) || !isVertical())
        return;
    if (immediate) {
        if (swipeCell)
            swipeCell->setPositionX(0);
    } else {
        animateSwipeCell(false, leftMenuOpen);
    }
    clearSwipeState();
}

} // namespace NSUI
