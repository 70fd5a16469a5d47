// The window editor: a modal pop-up in which the user types the display
// window of the current image, either as width and level or as minimum and
// maximum. The four number fields stay in step while the user types; leaving
// the editor (return key or the back button) checks them and posts the width
// and level as NOTIFY_WINDOW_APPLY (9024, broadcast, serial) with the flat
// JSON {"ww": "%.6f", "wl": "%.6f"}. Invalid fields show a message and keep
// the editor open.
//
//   auto* window = editWW::createWindow();   // named "editWW"
//   screen->addChild(window);
//   static_cast<editWW*>(window->getChildByName("editWW_view"))->setWindowLevel(400,
//   40);
//
// UI thread only.
#pragma once

#include <string>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/NSResponseWindow.h"
#include "toolkit/widgets/NSTextField.h"
#include "toolkit/widgets/UIControlBase.h"
#include "toolkit/widgets/UIControlGenerater.h"

class editWW : public cocos2d::Node,
               public NSUI::UIControlGenerater,
               public NSUI::UILocalConfig,
               public NSUI::UIControlBase,
               public NSUI::UIJson {
 public:
  static constexpr const char* kWindowName = "editWW";
  static constexpr const char* kViewName = "editWW_view";
  static constexpr const char* kPanelName = "editWW.csb";
  static constexpr const char* kBackName = "btn_back";
  static constexpr int kBackZOrder = 1001;
  static constexpr float kMessageSeconds = 1.5f;
  // The field geometry relative to its label and its look.
  static constexpr float kFieldOffsetX = 22.0f;
  static constexpr float kFieldOffsetY = -3.0f;
  static constexpr float kFieldWidth = 300.0f;
  static constexpr int kFieldFontSize = 25;
  static constexpr int kPlaceholderFontSize = 22;
  // Decimals the fields show (trailing zeros dropped).
  static constexpr int kFieldDecimals = 4;

  // The field names.
  static constexpr const char* kWidthField = "editWW";
  static constexpr const char* kLevelField = "editWL";
  static constexpr const char* kMinField = "editMin";
  static constexpr const char* kMaxField = "editMax";

  CREATE_FUNC(editWW);
  // The modal window "editWW" holding a new editor ("editWW_view"), its
  // fields set up, the panel at the top centre, the return key enabled.
  // The caller adds it to its screen and then calls setWindowLevel.
  static NSUI::NSResponseWindow* createWindow();

  // Names the node and loads the panel; a missing panel file still succeeds
  // (the editor then has no fields).
  bool init() override;
  // Engine cleanup and the removal of the editor's observers.
  void cleanup() override;

  // Translates the panel, binds the back button and puts a number field
  // beside each label the panel has.
  void setupFields();

  // Fills the four fields: width, level, level − width / 2, level + width / 2.
  void setWindowLevel(float width, float level);

  // Checks the fields and posts 9024; false (with a message shown) when the
  // width is not above 0 or the minimum is above the maximum.
  bool apply();

  // Return key and the back button: applies and, when that succeeds, closes
  // the window. Always handled, so nothing beneath the pop-up reacts.
  bool onResponseReturn() override;
  void onButtonClicked(cocos2d::Ref* sender);
  // Every text event of a field: keeps the other pair in step.
  void onFieldChanged(cocos2d::Ref* sender, NSUI::NSTextField::EventType type);

  cocos2d::Node* getPanel() const { return panel; }
  // A field by name, or null.
  NSUI::NSTextField* field(const std::string& name) const;

 protected:
  editWW() = default;

 private:
  struct Values {
    float width = 0, level = 0, min = 0, max = 0;
  };
  Values readFields() const;
  // The text a field shows for a value: four decimals at most, trailing
  // zeros and point dropped, never "-0".
  static std::string fieldText(double value);
  void setField(const char* name, double value);

  cocos2d::Node* panel = nullptr;  // a child; not retained
};
