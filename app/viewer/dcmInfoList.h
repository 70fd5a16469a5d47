// The DICOM tag viewer: a modal pop-up that lists every data element of one
// file as rows of three texts (tag, short description, value), the public
// elements first and then the private ones, each group in the order the
// DICOM library reports them. The file is read once, on a worker thread,
// when the window has entered the scene; the list is filled on the UI thread
// when the reading ends.
//
//   auto* window = dcmInfoList::createWindow();
//   static_cast<dcmInfoList*>(window->getChildByName("dcmInfo"))->setFilePath(path);
//   screen->addChild(window);
//
// UI thread only, except readTags (the worker).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSThread.h"
#include "toolkit/widgets/NSListView.h"
#include "toolkit/widgets/NSResponseWindow.h"
#include "toolkit/widgets/UIControlGenerater.h"

class dcmInfoList : public cocos2d::Node,
                    public NSUI::NSTableViewDelegate,
                    public NSUI::UIJson,
                    public NSUI::UIControlGenerater,
                    public NSUI::NSThreadSafeDestroy {
 public:
  static constexpr float kRowHeight = 35.0f;
  static constexpr int kRowLayoutTag = 100;
  static constexpr size_t kIntroBytes = 20;
  static constexpr float kMaxInertiaSpeed = 4000.0f;
  static constexpr const char* kPanelName = "dcmInfo.csb";
  static constexpr const char* kRowLayoutName = "tagInfo.csb";

  // One row of the table.
  class listObject : public cocos2d::Ref {
   public:
    static listObject* create(std::string tag, std::string intro, std::string value);
    std::string tag;
    std::string intro;
    std::string value;
  };

  // One element as the worker copied it from the reader's list (the
  // reader's records go with the reader).
  struct TagRecord {
    std::string tag;
    std::string value;
    std::string description;
    bool isPrivate = false;
  };

  CREATE_FUNC(dcmInfoList);
  // A full-window modal window holding a new viewer (the child "dcmInfo")
  // with its list set up; the return key on the window closes it.
  static NSUI::NSResponseWindow* createWindow();

  // The file to read; set before the window enters the scene.
  void setFilePath(const std::string& path) { filePath = path; }
  const std::string& getFilePath() const { return filePath; }

  bool init() override;
  // Translates the panel, puts the table in place of "dcmList", binds
  // "btn_back".
  void setupList();
  // The first time after init: starts the worker.
  void onEnterTransitionDidFinish() override;
  // Waits for the worker, then drops its records: a completion that still
  // arrives adds no row.
  void cleanup() override;

  // The worker's job: copies the file's elements into tagRecords. Nothing
  // for a path shorter than 3 characters.
  virtual void readTags();
  // Appends the rows of tagRecords to the table: public elements, then
  // private ones.
  void showTags();

  // "btn_back": closes the window (or the viewer when it stands alone).
  void onButtonClicked(cocos2d::Ref* sender);

  // The description as a row shows it: at most kIntroBytes bytes, cut at
  // the last UTF-8 character boundary within them.
  static std::string shortIntro(const std::string& description);

  // ---------------------------------------------------------- table delegate
  cocos2d::Size tableCellSizeForIndex(NSUI::NSTableView* table, int64_t row, cocos2d::Ref* rowData) override;
  NSUI::NSTableViewCell* tableCellAtIndex(NSUI::NSTableView* table, int64_t row, const cocos2d::Size& cellSize) override;

  NSUI::NSListView* getTagTable() const { return tagTable; }
  cocos2d::Node* getPanel() const { return panel; }
  bool isLoadPending() const { return loadPending; }

  // Written by the worker, read on the UI thread once it has ended.
  std::vector<TagRecord> tagRecords;

 protected:
  dcmInfoList() = default;
  ~dcmInfoList() override;

  // Starts readTags on its own thread with showTags as completion.
  void startReading();

 private:
  // The completion reaches the viewer only through this link, which the
  // viewer cuts in cleanup and at its end.
  struct Link {
    dcmInfoList* viewer = nullptr;
  };

  NSUI::NSListView* tagTable = nullptr;  // a child of the panel; not retained
  cocos2d::Node* panel = nullptr;        // a child; not retained
  bool loadPending = false;
  std::string filePath;
  std::shared_ptr<Link> link;
};
