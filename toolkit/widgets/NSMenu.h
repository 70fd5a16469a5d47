// A small pop-up list of commands. The owner builds a chain of items
// (title, icon, notification id, payload text and target), hands it over
// once with setMenuItems, places the menu and shows or hides it. Picking a
// row hides the menu and posts the item's id with its text, the menu as
// sender and the item's target as object, of the immediate kind; the menu
// knows nothing of what the commands do.
//
// Size: width = icon column + 10 + longest title (bytes) x font size x 0.5,
// 20 more when no item has an icon (the titles are then centred); height =
// rows x row height, at most 500 (the list scrolls beyond). The first icon
// that loads decides the icon column, at most the given maximum.
#pragma once

#include <string>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/NSListView.h"
#include "toolkit/widgets/NSTableViewCell.h"
#include "toolkit/widgets/UIControlBase.h"

namespace NSUI {

class NSMenu : public cocos2d::Layer,
               public NSTableViewDelegate,
               public UIJson,
               public UIControlBase,
               public UILocalConfig {
 public:
  // One item of the chain.
  class menuObject : public cocos2d::Ref {
   public:
    static menuObject* create();

    std::string title;                // may be empty
    std::string icon;                 // picture file; empty for none
    std::string text;                 // payload of the posted notification
    cocos2d::Ref* target = nullptr;   // the object posted for; not retained
    int notifyId = 0;
    menuObject* next = nullptr;       // not retained; null ends the chain

   protected:
    menuObject() = default;
  };

  static constexpr float kMaxHeight = 500.0f;
  static constexpr int kListZOrder = 1000;
  static constexpr int kIconTag = 100;
  static constexpr int kTitleTag = 101;
  static constexpr int kBackgroundZOrder = -105;
  static constexpr const char* kCellBackground = "UIRes/greyHigh.png";

  static NSMenu* create();
  bool init() override;

  // Builds the rows from the chain; called once per menu.
  void setMenuItems(menuObject* first, int maxIconWidth);

  // The list's delegate.
  void tableCellTouched(NSTableView* table, NSTableViewCell* cell, const cocos2d::Vec2& point) override;
  cocos2d::Size tableCellSizeForIndex(NSTableView* table, int64_t row, cocos2d::Ref* rowData) override;
  NSTableViewCell* tableCellAtIndex(NSTableView* table, int64_t row, const cocos2d::Size& cellSize) override;

  NSListView* listView = nullptr;  // a child
  int iconWidth = 0;
  float rowHeight = 40;
  float fontSize = 20;  // half the row height at init
  bool titlesCentered = true;
  bool iconsCentered = true;

 protected:
  NSMenu() = default;
};

}  // namespace NSUI
