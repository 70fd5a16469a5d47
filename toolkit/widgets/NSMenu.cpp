#include "toolkit/widgets/NSMenu.h"

#include <algorithm>

#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/widgets/NSSpriteView.h"

USING_NS_CC;

namespace NSUI {

NSMenu::menuObject* NSMenu::menuObject::create() {
  auto* item = new (std::nothrow) menuObject();
  if (item) item->autorelease();
  return item;
}

NSMenu* NSMenu::create() {
  auto* menu = new (std::nothrow) NSMenu();
  if (menu && menu->init()) {
    menu->autorelease();
    return menu;
  }
  delete menu;
  return nullptr;
}

bool NSMenu::init() {
  if (!Layer::init()) return false;
  _widget = this;
  highlightColor = Color4B(255, 255, 0, 55);
  highlightEnabled = false;
  listView = nullptr;
  iconWidth = 0;
  rowHeight = 40;
  fontSize = rowHeight * 0.5f;
  titlesCentered = true;
  iconsCentered = true;
  return true;
}

void NSMenu::setMenuItems(menuObject* first, int maxIconWidth) {
  iconWidth = 0;
  if (!first) return;
  size_t longest = 0;
  int count = 0;
  for (menuObject* item = first; item; item = item->next) {
    if (iconWidth < 1 && !item->icon.empty()) {
      if (Sprite* probe = Sprite::create(item->icon)) {
        if (Texture2D* texture = probe->getTexture()) {
          iconWidth = std::min(texture->getPixelsWide(), maxIconWidth);
        }
      }
    }
    longest = std::max(longest, item->title.size());
    ++count;
  }
  iconsCentered = longest == 0;
  titlesCentered = iconWidth <= 0;

  float width = static_cast<float>(iconWidth) + 10 + static_cast<float>(longest) * fontSize * 0.5f;
  const float height = std::min(static_cast<float>(count) * rowHeight, kMaxHeight);
  if (titlesCentered) width += 20;
  // Half the font size per byte underestimates wide letters (capitals,
  // "m", "w"): a title drawn wider than that would be cut at the list's
  // edge, so the list is at least as wide as its widest drawn title.
  if (longest > 0) {
    if (Label* probe = Label::create("", "", fontSize)) {
      float drawn = 0;
      for (menuObject* item = first; item; item = item->next) {
        if (item->title.empty()) continue;
        probe->setString(item->title);
        drawn = std::max(drawn, probe->getContentSize().width);
      }
      const float needed = titlesCentered ? drawn + 6 : static_cast<float>(iconWidth) + 10 + drawn + 5;
      width = std::max(width, needed);
    }
  }

  if (listView) {
    listView->removeFromParent();
    listView = nullptr;
  }
  listView = NSListView::create();
  if (!listView) return;
  addChild(listView, kListZOrder);
  listView->setContentSize(Size(width, height));
  listView->setAnchorPoint(Vec2::ZERO);
  listView->delegate = this;
  highlightEnabled = true;
  listView->reloadData();
  for (menuObject* item = first; item; item = item->next) listView->insertRow(listView->getRowCount(), item);
}

Size NSMenu::tableCellSizeForIndex(NSTableView* table, int64_t row, Ref* rowData) {
  return Size(getContentSize().width, rowHeight);
}

NSTableViewCell* NSMenu::tableCellAtIndex(NSTableView* table, int64_t row, const Size& size) {
  auto* item = dynamic_cast<menuObject*>(table->getRows().at(row));
  NSTableViewCell* cell = table->cellAtIndex(row);
  if (!cell) cell = table->dequeueCell();
  if (!cell) {
    cell = NSTableViewCell::create();
    if (auto* background = Sprite::create(kCellBackground)) {
      background->setAnchorPoint(Vec2::ZERO);
      background->setPosition(Vec2::ZERO);
      const Size picture = background->getContentSize();
      if (picture.width > 0 && picture.height > 0) {
        background->setScale(size.width / picture.width, size.height / picture.height);
      }
      background->setOpacity(240);
      cell->addChild(background, kBackgroundZOrder);
    }
    if (auto* icon = NSSpriteView::create()) {
      icon->setContentSize(Size(static_cast<float>(iconWidth), size.height - 10));
      if (iconsCentered) {
        icon->setAnchorPoint(Vec2(0.5f, 0.5f));
        icon->setPosition(Vec2(size.width * 0.5f, size.height * 0.5f));
      } else {
        icon->setAnchorPoint(Vec2(0, 0.5f));
        icon->setPosition(Vec2(5, size.height * 0.5f));
      }
      icon->setTag(kIconTag);
      icon->setTouchEnabled(false);
      cell->addChild(icon);
    }
    auto* title = Label::create("", "", fontSize, Size::ZERO, TextHAlignment::LEFT, TextVAlignment::TOP);
    if (titlesCentered) {
      title->setAnchorPoint(Vec2(0.5f, 0.5f));
      title->setPosition(Vec2(size.width * 0.5f, size.height * 0.5f));
    } else {
      title->setAnchorPoint(Vec2(0, 0.5f));
      title->setPosition(Vec2(static_cast<float>(iconWidth) + 10, size.height * 0.5f));
    }
    title->setTag(kTitleTag);
    title->setTextColor(Color4B(220, 220, 220, 255));
    cell->addChild(title);
  }
  if (item) {
    if (auto* icon = dynamic_cast<NSSpriteView*>(cell->getChildByTag(kIconTag))) {
      icon->setImage(item->icon);
      icon->setVisible(!item->icon.empty());
    }
    if (auto* title = dynamic_cast<Label*>(cell->getChildByTag(kTitleTag))) title->setString(item->title);
  }
  return cell;
}

void NSMenu::tableCellTouched(NSTableView* table, NSTableViewCell* cell, const Vec2& point) {
  setVisible(false);
  if (!cell || cell->rowIndex < 0 || cell->rowIndex >= table->getRowCount()) return;
  auto* item = dynamic_cast<menuObject*>(table->getRows().at(cell->rowIndex));
  if (!item) return;
  if (auto* centre = NSNotificationCenter::getInstance()) {
    centre->postNotificationText(this, item->notifyId, item->text, item->target, true);
  }
}

}  // namespace NSUI
