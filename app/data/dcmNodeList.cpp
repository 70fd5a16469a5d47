#include "app/data/dcmNodeList.h"

#include "app/data/dcmTransferList.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNetworkInfo.h"
#include "toolkit/foundation/NSNotifyIds.h"

dcmNodeList::dcmNodeList(dcmModelCalls calls) : calls_(std::move(calls)) {}

dcmNodeList::~dcmNodeList() { close(); }

void dcmNodeList::open() {
  std::string host, addresses, masks;
  NSUI::getNetworkInfo(host, addresses, masks);
  open(addresses);
}

void dcmNodeList::open(const std::string& addresses) {
  close();
  std::string own = addresses.substr(0, addresses.find(','));
  if (!own.empty() && own != "0.0.0.0") {
    auto* local = new dcmNodeObject;
    local->appid = "localip";
    local->ip = own + ":4587";
    local->name = dcmLocalized("local");
    local->rowKind = NODE_ROW_LOCAL;
    local->sendLocked = 1;
    insertRow(static_cast<int>(rows_.size()), local);
    auto* input = new dcmNodeObject;
    input->appid = "input";
    input->ip = own.substr(0, own.rfind('.') + 1);
    input->rowKind = NODE_ROW_INPUT;
    insertRow(static_cast<int>(rows_.size()), input);
  } else {
    auto* local = new dcmNodeObject;
    local->appid = "localip";
    local->ip = dcmLocalized("dicomSendNoWifiPrompt");
    local->name = dcmLocalized("dicomSendCheckWifi");
    local->rowKind = NODE_ROW_LOCAL;
    local->sendLocked = 1;
    insertRow(static_cast<int>(rows_.size()), local);
  }
  localRowCount = static_cast<int>(rows_.size());

  std::vector<dcmNeighbor> stored;
  if (calls_.neighbors) stored = calls_.neighbors();
  for (const auto& n : stored) {
    auto* node = new dcmNodeObject;
    node->ID = n.ID;
    node->device = n.device;
    node->lastTime = n.lastTime;
    node->wifi = n.wifi;
    node->saveType = n.saveType;
    node->ip = n.ip;
    node->port = n.port;
    node->name = n.name;
    node->appid = n.appid;
    node->sendLocked = n.flag ? 1 : 0;
    node->rowKind = n.state;
    insertRow(isHeardRecently(node->wifi) ? localRowCount : static_cast<int>(rows_.size()), node);
  }

  auto* centre = NSUI::NSNotificationCenter::getInstance();
  if (!centre) return;
  listening_ = true;
  for (int id : {NOTIFY_PEER_FOUND, NOTIFY_NODE_REPLY})
    centre->addObserver(
        this, nullptr,
        [this](cocos2d::Ref*, unsigned int i, NSUI::NSNotificationData* d) { onNotification(i, d); }, id);
}

void dcmNodeList::close() {
  if (listening_) {
    if (auto* centre = NSUI::NSNotificationCenter::getInstance()) centre->removeAllObservers(this);
    listening_ = false;
  }
  for (auto* r : rows_) r->release();
  rows_.clear();
  localRowCount = 0;
}

bool dcmNodeList::isHeardRecently(const std::string& time) const {
  return time.size() >= 19 && dcmHeardRecently(time, calls_.now ? calls_.now() : NSUI::getCurrentTimeString());
}

void dcmNodeList::insertRow(int index, dcmNodeObject* row) {
  rows_.insert(rows_.begin() + index, row);
  if (events.inserted) events.inserted(index);
}

void dcmNodeList::removeRow(int index) {
  dcmNodeObject* gone = rows_[index];
  rows_.erase(rows_.begin() + index);
  if (events.removed) events.removed(index);
  gone->release();
}

int dcmNodeList::findAppid(const std::string& appid) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i]->appid == appid) return static_cast<int>(i);
  return -1;
}

void dcmNodeList::onAddressEdited(const std::string& text) {
  for (auto* row : rows_) {
    if (row->rowKind != NODE_ROW_INPUT) continue;
    row->ip = text;
    std::vector<std::string> pieces;
    NSUI::splitString(text, ":", pieces);
    if (pieces.size() == 2) {
      row->ip = pieces[0];
      row->port = pieces[1];
    }
    row->sendLocked = 0;
    sendInputVisible = true;
    return;
  }
}

void dcmNodeList::updateEchoNode(const std::string& appid, const std::string& name, const std::string& ip,
                                 const std::string& port, const std::string& heard, int ok) {
  if (ip.empty()) return;
  int i = findAppid(appid);
  if (i >= 0) {
    dcmNodeObject* row = rows_[i];
    row->name = name;
    row->wifi = heard;
    row->ip = ip;
    row->port = port;
    row->device = 5;
    if (events.updated) events.updated(i);
    return;
  }
  if (ok == 0) return;
  auto* node = new dcmNodeObject;
  node->appid = appid;
  node->ip = ip;
  node->port = port;
  node->name = name;
  node->wifi = heard;
  node->device = 5;
  insertRow(localRowCount, node);
}

void dcmNodeList::updatePeerNode(const std::string& appid, int device, const std::string& name,
                                 const std::string& ip) {
  if (ip.empty()) return;
  const std::string now = calls_.now ? calls_.now() : NSUI::getCurrentTimeString();
  int i = findAppid(appid);
  if (i >= 0) {
    dcmNodeObject* row = rows_[i];
    if (isHeardRecently(row->wifi)) {
      row->name = name;
      row->wifi = now;
      row->device = device;
      row->ip = ip;
      row->port = "4587";
      if (events.updated) events.updated(i);
      return;
    }
    removeRow(i);
  }
  auto* node = new dcmNodeObject;
  node->appid = appid;
  node->ip = ip;
  node->name = name;
  node->wifi = now;
  node->device = device;
  insertRow(localRowCount, node);
}

void dcmNodeList::onNotification(unsigned int id, NSUI::NSNotificationData* data) {
  if (!data) return;
  const std::string& text = data->text;
  if (id == NOTIFY_NODE_REPLY) {
    int ok = NSUI::UIJson::getJsonInt(text, "ok", 0);
    std::string heard = calls_.now ? calls_.now() : NSUI::getCurrentTimeString();
    if (ok != 1) {
      NSUI::DateTimeFields f;
      if (NSUI::parseDateTime(heard, f)) {
        f.hour = f.minute = f.second = 0;
        heard = NSUI::formatDateTime(f);
      }
    }
    updateEchoNode(NSUI::UIJson::getJsonStringWithDefault(text, "appid", ""),
                   NSUI::UIJson::getJsonStringWithDefault(text, "name", ""),
                   NSUI::UIJson::getJsonStringWithDefault(text, "ip", ""),
                   NSUI::UIJson::getJsonStringWithDefault(text, "port", ""), heard, ok);
  } else if (id == NOTIFY_PEER_FOUND) {
    updatePeerNode(NSUI::UIJson::getJsonStringWithDefault(text, "appid", "5"),
                   std::atoi(NSUI::UIJson::getJsonStringWithDefault(text, "device", "5").c_str()),
                   NSUI::UIJson::getJsonStringWithDefault(text, "name", ""),
                   NSUI::UIJson::getJsonStringWithDefault(text, "ip", ""));
  }
}

dcmNodeList::SendResult dcmNodeList::send(int selected, int* highlightRow) {
  if (sendPath.empty() || selected < 0 || selected >= static_cast<int>(rows_.size())) {
    message("Please choose a patient or series, and open again.");
    return SendResult::Refused;
  }
  dcmNodeObject* node = rows_[selected];
  if (node->sendLocked) return SendResult::Ignored;
  if (node->rowKind == NODE_ROW_INPUT && !NSUI::isValidIPv4(node->ip)) {
    message(dcmLocalized("UnvalidIP"));
    return SendResult::Refused;
  }
  node->sendLocked = 1;
  if (transfers) {
    int listed = transfers->findSend(node->ip, node->port, sendPath);
    if (listed >= 0) {
      if (highlightRow) *highlightRow = listed;
      return SendResult::Highlighted;
    }
  }
  auto* task = new dcmSendingObject;
  task->ip = node->ip;
  task->port = node->port;
  task->name = node->name;
  task->path = sendPath;
  task->label = sendName;
  task->state = DCM_TASK_WAITING;
  if (transfers)
    transfers->queueSend(task);
  else if (calls_.addSendTask)
    calls_.addSendTask(task);
  task->release();
  return SendResult::Queued;
}
