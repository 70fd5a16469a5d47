// The send window: a modal pop-up over the current screen in which the user
// picks one destination node and queues the sending of one folder. The upper
// table lists the nodes (own address, the manual-address row, stored,
// echoed and discovered nodes), the lower one the transfers of the DICOM
// task service. The rules about rows live in dcmNodeList and
// dcmTransferList; this class draws their rows and routes input to them.
//
//   auto* window = dcmSend::createWindow();
//   screen->addChild(window);
//   static_cast<dcmSend*>(window->getChildByName("dcmSend"))->setSendData(folder, name);
//
// UI thread only.
#pragma once

#include <memory>
#include <string>

#include "app/data/dcmNodeList.h"
#include "app/data/dcmTransferList.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/widgets/NSListView.h"
#include "toolkit/widgets/NSResponseWindow.h"
#include "toolkit/widgets/NSTextField.h"
#include "toolkit/widgets/UIControlBase.h"
#include "toolkit/widgets/UIControlGenerater.h"

class dcmSend : public cocos2d::Node,
                public NSUI::NSTableViewDelegate,
                public NSUI::UIJson,
                public NSUI::UIControlGenerater,
                public NSUI::UIControlBase {
 public:
  static constexpr float kRowHeight = 70.0f;
  static constexpr int kAddressFieldTag = 101;
  static constexpr const char* kPanelName = "dcmNode.csb";
  static constexpr const char* kInputSendName = "dcmNode_send_input";
  static constexpr const char* kHelpName = "helpbk";
  // Usage events of the window.
  static constexpr int kStatOpened = 9;
  static constexpr int kStatClosed = 10;

  CREATE_FUNC(dcmSend);
  // A full-window modal window holding a new screen (the child "dcmSend"),
  // its tables loaded, the return key enabled.
  static NSUI::NSResponseWindow* createWindow();

  // The folder to send (ends with "/") and the name shown for it.
  void setSendData(const std::string& path, const std::string& name);

  bool init() override;
  // Builds both tables, their rows, the buttons' listeners; once, after init.
  void loadLists();
  void onEnterTransitionDidFinish() override;
  void onExit() override;
  void cleanup() override;
  // Return key and the back button: closes the window.
  bool onResponseReturn() override;

  // ---------------------------------------------------------- table delegate
  void tableCellTouched(NSUI::NSTableView* table, NSUI::NSTableViewCell* cell, const cocos2d::Vec2& point) override;
  void tableCellLeftMenu(NSUI::NSTableView* table, NSUI::NSTableViewMenu* menu) override;
  cocos2d::Size tableCellSizeForIndex(NSUI::NSTableView* table, int64_t row, cocos2d::Ref* rowData) override;
  NSUI::NSTableViewCell* tableCellAtIndex(NSUI::NSTableView* table, int64_t row, const cocos2d::Size& cellSize) override;

  // "dcmNode_send", "dcmNode_send_input", "btn_back", "del", "dcmNodeSend_retry".
  void onButtonClicked(cocos2d::Ref* sender);
  // Every text event of the manual address field.
  void onAddressEdited(cocos2d::Ref* sender, NSUI::NSTextField::EventType type);

  cocos2d::Node* getPanel() const { return panel; }
  NSUI::NSListView* getNodeTable() const { return nodeTable; }
  NSUI::NSListView* getTransferTable() const { return transferTable; }
  dcmNodeList& getNodes() { return *nodes; }
  dcmTransferList& getTransfers() { return *transfers; }

  int localRowCount = 0;
  std::string sendPath;
  std::string sendName;
  bool discoveryPending = false;

 protected:
  dcmSend() = default;
  ~dcmSend() override;

 private:
  // A table in place of the placeholder widget of that name.
  NSUI::NSListView* replacePlaceholder(const std::string& placeholder);
  NSUI::NSTableViewCell* nodeCell(int64_t row, const cocos2d::Size& size);
  NSUI::NSTableViewCell* transferCell(int64_t row, const cocos2d::Size& size);
  void configureNodeCell(NSUI::NSTableViewCell* cell, const dcmNodeObject* node);
  void configureTransferCell(NSUI::NSTableViewCell* cell, const dcmTask* task);
  void showInputSend(bool visible);
  void updateHelp();
  void send();
  // The row of the cell a button stands in, or -1.
  static int rowOfButton(cocos2d::Node* button);
  static void recordUsage(int event);

  cocos2d::Node* panel = nullptr;  // a child; not retained
  NSUI::NSListView* nodeTable = nullptr;
  NSUI::NSListView* transferTable = nullptr;
  std::unique_ptr<dcmNodeList> nodes;
  std::unique_ptr<dcmTransferList> transfers;
  bool listsLoaded = false;
};
