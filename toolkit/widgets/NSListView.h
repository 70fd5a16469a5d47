// The table that the screens create: an NSTableView filling top-down (row 0
// at the top of the content), vertical, with operations that address rows
// by their row-data object or fetch a row's cell even when it is off screen.
#pragma once

#include "toolkit/widgets/NSTableView.h"

namespace NSUI {

class NSListView : public NSTableView {
public:
    static NSListView* create();
    ~NSListView() override;

    bool init() override;
    void cleanup() override;

    void insertItem(int64_t index, cocos2d::Ref* rowData);
    // Removes the first row holding this object; nothing when absent.
    void removeItem(cocos2d::Ref* rowData);
    // The row's visible cell; otherwise a cell the delegate makes for the
    // caller, neither placed nor attached; null past the end or without a
    // delegate.
    NSTableViewCell* getCell(int64_t index);

protected:
    NSListView() = default;
};

} // namespace NSUI
