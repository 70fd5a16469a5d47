#include "toolkit/widgets/NSListView.h"

USING_NS_CC;

namespace NSUI {

NSListView* NSListView::create()
{
    auto* list = new (std::nothrow) NSListView();
    if (list && list->init()) {
        list->autorelease();
        return list;
    }
    delete list;
    return nullptr;
}

NSListView::~NSListView()
{
    NSListView::cleanup();
}

bool NSListView::init()
{
    if (!ui::Layout::init())
        return false;
    setClippingEnabled(true);
    innerContainer->setTouchEnabled(false);
    setTouchEnabled(true);
    setUpTable();
    // Top-down fill: row 0 at the top of the content.
    setDirection(1);
    return true;
}

void NSListView::cleanup()
{
    NSTableView::cleanup();
}

void NSListView::insertItem(int64_t index, Ref* rowData)
{
    insertRow(index, rowData);
}

void NSListView::removeItem(Ref* rowData)
{
    const ssize_t index = rowData ? rows.getIndex(rowData) : -1;
    if (index >= 0)
        removeRow(index);
}

NSTableViewCell* NSListView::getCell(int64_t index)
{
    if (index < 0 || index > rowCount - 1)
        return nullptr;
    if (NSTableViewCell* cell = cellAtIndex(index))
        return cell;
    if (!delegate)
        return nullptr;
    return delegate->tableCellAtIndex(this, index, Size(getContentSize().width, rowExtent(index)));
}

} // namespace NSUI
