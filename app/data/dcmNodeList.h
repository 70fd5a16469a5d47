// The logic of the send screen's node table: the fixed rows (own address,
// manual address or the no-network row), the stored neighbour nodes, the
// nodes that answer an echo or a discovery sweep, the manual address and the
// send action that queues a folder for one node. UI thread only.
#pragma once

#include <string>
#include <vector>

#include "app/data/dcmModelCalls.h"
#include "engine/base/Ref.h"
#include "toolkit/foundation/NSNotificationCenter.h"

class dcmTransferList;

constexpr int NODE_ROW_PEER = 0;
constexpr int NODE_ROW_INPUT = 1;  // manual address
constexpr int NODE_ROW_LOCAL = 2;  // own address or the no-network prompt

class dcmNodeObject : public cocos2d::Ref {
 public:
  int32_t ID = -1;  // row of the neighbour table; -1 when not read from it
  int32_t device = 2;
  std::string lastTime;
  std::string wifi;  // last heard, YYYY-MM-DD HH:MM:SS
  int32_t saveType = 3;
  std::string ip;
  std::string port = "4587";
  std::string name;
  uint8_t sendLocked = 0;  // a send to this node was queued in this opening
  int32_t rowKind = NODE_ROW_PEER;
  std::string appid;  // identity of the row; "localip" and "input" for the fixed rows
};

class dcmNodeList {
 public:
  explicit dcmNodeList(dcmModelCalls calls = dcmModelCalls::service());
  ~dcmNodeList();
  dcmNodeList(const dcmNodeList&) = delete;
  dcmNodeList& operator=(const dcmNodeList&) = delete;

  // Builds the rows from the first address of the adapters (NSUI::
  // getNetworkInfo) and the stored nodes, and starts listening to echo
  // replies (2003) and discovery replies (2020).
  void open();
  // The same with a given own address (the first of a comma-separated list).
  void open(const std::string& addresses);
  void close();

  // True when the time text is today and less than 10 s behind now (a time
  // later today counts too).
  bool isHeardRecently(const std::string& time) const;
  // Every text event of the manual address field.
  void onAddressEdited(const std::string& text);
  // A touch on a node row: the manual row's send button hides for any other.
  void rowTouched(int index) {
    if (index != 1) sendInputVisible = false;
  }
  void updateEchoNode(const std::string& appid, const std::string& name, const std::string& ip,
                      const std::string& port, const std::string& heard, int ok);
  void updatePeerNode(const std::string& appid, int device, const std::string& name, const std::string& ip);

  enum class SendResult { Refused, Ignored, Highlighted, Queued };
  // The send button with the selected row (-1: none). With a transfer row
  // to highlight, highlightRow receives its index.
  SendResult send(int selected, int* highlightRow = nullptr);

  void onNotification(unsigned int id, NSUI::NSNotificationData* data);

  const std::vector<dcmNodeObject*>& rows() const { return rows_; }
  int localRowCount = 0;
  std::string sendPath;  // folder to send, ends with "/"
  std::string sendName;  // the name shown for it
  bool sendInputVisible = false;
  dcmTransferList* transfers = nullptr;  // where queued sends are listed
  dcmRowEvents events;

 private:
  void insertRow(int index, dcmNodeObject* row);
  void removeRow(int index);
  int findAppid(const std::string& appid) const;
  void message(const std::string& text) {
    if (events.message) events.message(text, 1.5f);
  }

  dcmModelCalls calls_;
  std::vector<dcmNodeObject*> rows_;
  bool listening_ = false;
};
