#include "toolkit/widgets/NSTableViewCell.h"

USING_NS_CC;

namespace NSUI {

NSTableViewCell* NSTableViewCell::create()
{
    auto* cell = new (std::nothrow) NSTableViewCell();
    if (cell && cell->init()) {
        cell->autorelease();
        return cell;
    }
    delete cell;
    return nullptr;
}

NSTableViewMenu* NSTableViewMenu::create()
{
    auto* menu = new (std::nothrow) NSTableViewMenu();
    if (menu && menu->init()) {
        menu->autorelease();
        return menu;
    }
    delete menu;
    return nullptr;
}

bool NSTableViewMenu::init()
{
    if (!ui::Widget::init())
        return false;
    setTouchEnabled(true);
    return true;
}

void NSTableViewDelegate::tableCellHighlight(NSTableView*, NSTableViewCell* cell, const Vec2&, const Size& cellSize)
{
    if (!cell || !highlightEnabled || cell->getChildByTag(kHighlightTag))
        return;
    auto* layer = LayerColor::create(highlightColor, cellSize.width, cellSize.height);
    if (!layer)
        return;
    layer->setIgnoreAnchorPointForPosition(false);
    layer->setAnchorPoint(Vec2::ANCHOR_BOTTOM_LEFT);
    layer->setPosition(Vec2::ZERO);
    cell->addChild(layer, kHighlightZOrder, kHighlightTag);
}

void NSTableViewDelegate::tableCellUnhighlight(NSTableView*, NSTableViewCell* cell, const Vec2&, const Size&)
{
    if (!cell || !highlightEnabled)
        return;
    cell->removeChildByTag(kHighlightTag, true);
}

void NSTableViewDelegate::tableCellLeftMenu(NSTableView*, NSTableViewMenu* menu)
{
    if (menu)
        menu->setVisible(false);
}

void NSTableViewDelegate::tableCellRightMenu(NSTableView*, NSTableViewMenu* menu)
{
    if (menu)
        menu->setVisible(false);
}

} // namespace NSUI
