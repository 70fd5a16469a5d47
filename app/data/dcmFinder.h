// The query and retrieve screen: a modal pop-up with the node's address,
// port and AE title, a patient name field, the search button and a table in
// which each study found is followed by its series, each series with a
// download button whose blinking and colour follow its retrieve.
//
// The screen only draws and routes input: the rows, their retrieve states
// and the messages come from dcmFinderModel, whose row events keep the
// table in step. UI thread only.
#pragma once

#include <string>

#include "app/data/dcmFinderModel.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSThread.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/NSListView.h"
#include "toolkit/widgets/NSResponseWindow.h"
#include "toolkit/widgets/UIControlGenerater.h"

class dcmFinder : public cocos2d::Node,
                  public NSUI::NSTableViewDelegate,
                  public NSUI::UIJson,
                  public NSUI::UIControlGenerater,
                  public NSUI::NSThreadSafeDestroy,
                  public NSUI::UILocalConfig {
 public:
  using listObject = dcmFinderModel::listObject;

  // Sub-nodes of every cell: the series row and the study row.
  static constexpr int kSeriesTag = 100;
  static constexpr int kStudyTag = 200;
  // The blinking of a download button.
  static constexpr int kBlinkTag = 7301;
  static constexpr float kBlinkHalfPeriod = 0.5f;
  static constexpr float kStudyRowHeight = 70.0f;
  static constexpr float kSeriesRowHeight = 60.0f;
  // Space of the form above the table.
  static constexpr float kFormHeight = 115.0f;

  // What a series row's download button shows: idle (steady, white),
  // requested (blinking, white), running (blinking, red).
  enum class DownloadLook { Idle, Requested, Running };
  static DownloadLook downloadLook(const listObject& row);
  // Puts the look on the button: the blink (fade out, fade in, for ever)
  // started once and kept while it is wanted; otherwise stopped with full
  // opacity restored.
  static void applyDownloadLook(cocos2d::ui::Button* button, DownloadLook look);

  // The modal window holding a new screen, its form at the top centre; the
  // return key closes it. The caller adds it to its node.
  static NSUI::NSResponseWindow* createWindow();
  // A screen over the given calls (the task service's by default), its form
  // set up; autoreleased.
  static dcmFinder* create(dcmModelCalls calls = dcmModelCalls::service());

  bool init() override;
  void cleanup() override;
  void onEnterTransitionDidFinish() override;

  // Translates the form, creates the table, binds the buttons and puts the
  // input fields in place of the form's field markers.
  void setupForm();
  // The click handler of "btn_back", "btnSearch" and every "btnDownload".
  void onButton(cocos2d::Ref* sender);
  // The query and retrieve notifications (handed to the model).
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);
  // Shows the form's "help" node until the first study row arrives.
  void updateHelp();

  cocos2d::Size tableCellSizeForIndex(NSUI::NSTableView* table, int64_t row, cocos2d::Ref* rowData) override;
  NSUI::NSTableViewCell* tableCellAtIndex(NSUI::NSTableView* table, int64_t row,
                                          const cocos2d::Size& cellSize) override;

  dcmFinderModel& model() { return model_; }
  NSUI::NSListView* table() const { return table_; }
  // The "dcmFind.csb" node.
  cocos2d::Node* form() const { return form_; }

 protected:
  explicit dcmFinder(dcmModelCalls calls);
  ~dcmFinder() override;

 private:
  // Replaces a form field marker by an input field; null when the marker
  // is missing.
  NSUI::NSTextField* replaceField(const std::string& name, bool framed);
  std::string fieldText(const std::string& name) const;
  void configureCell(NSUI::NSTableViewCell* cell, listObject* row);

  dcmFinderModel model_;
  cocos2d::Node* form_ = nullptr;
  NSUI::NSListView* table_ = nullptr;
};
