#include "app/data/dcmTransferList.h"

#include <cstdlib>

#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace {

// A send the sender has taken counts as running, whatever its state shows.
bool sendBusy(const dcmSendingObject* t) { return t->state == DCM_TASK_RUNNING || t->handedOver; }
}  // namespace

dcmTransferList::dcmTransferList(dcmModelCalls calls) : calls_(std::move(calls)) {}

dcmTransferList::~dcmTransferList() { close(); }

void dcmTransferList::open() {
  close();
  if (calls_.sendTasks)
    for (auto* t : calls_.sendTasks())
      if (t->state != DCM_TASK_DONE) append(t);
  if (calls_.retrieveTasks)
    for (auto* t : calls_.retrieveTasks())
      if (t->state != DCM_TASK_DONE) append(t);
  help_ = rows_.empty();

  auto* centre = NSUI::NSNotificationCenter::getInstance();
  if (!centre) return;
  listening_ = true;
  auto cb = [this](cocos2d::Ref*, unsigned int i, NSUI::NSNotificationData* d) { onNotification(i, d); };
  for (int id : {NOTIFY_SEND_PROGRESS, NOTIFY_SEND_DONE, NOTIFY_SEND_FAILED}) centre->addObserver(this, nullptr, cb, id);
  centre->addObserver(this, this, cb, NOTIFY_SEND_TASK_REMOVE);
  for (int id : {NOTIFY_RETRIEVE_PROGRESS, NOTIFY_RETRIEVE_FAILED}) centre->addObserver(this, nullptr, cb, id);
}

void dcmTransferList::close() {
  if (listening_) {
    if (auto* centre = NSUI::NSNotificationCenter::getInstance()) {
      centre->removeAllObservers(this);
      centre->cancelNotificationsForTarget(this);
    }
    listening_ = false;
  }
  for (auto* r : rows_) r->release();
  rows_.clear();
  help_ = false;
}

void dcmTransferList::append(dcmTask* task) {
  task->retain();
  rows_.push_back(task);
  if (events.inserted) events.inserted(static_cast<int>(rows_.size()) - 1);
}

void dcmTransferList::removeRow(int index) {
  dcmTask* gone = rows_[index];
  rows_.erase(rows_.begin() + index);
  if (events.removed) events.removed(index);
  gone->release();
}

int dcmTransferList::indexOf(const dcmTask* task) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i] == task) return static_cast<int>(i);
  return -1;
}

int dcmTransferList::findSend(const std::string& ip, const std::string& port, const std::string& path) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i]->kind != DCM_TASK_SEND) continue;
    auto* t = static_cast<const dcmSendingObject*>(rows_[i]);
    if (t->ip == ip && t->port == port && t->path == path) return static_cast<int>(i);
  }
  return -1;
}

void dcmTransferList::queueSend(dcmSendingObject* task) {
  if (!task) return;
  append(task);
  if (calls_.addSendTask) calls_.addSendTask(task);
  help_ = false;
}

dcmTransferList::RowText dcmTransferList::rowText(const dcmTask* task) {
  RowText r;
  int state = DCM_TASK_DONE;
  float progress = 0.0f;
  if (task->kind == DCM_TASK_SEND) {
    auto* t = static_cast<const dcmSendingObject*>(task);
    r.ip = t->name.empty() ? t->ip : t->name + "---" + t->ip;
    r.path = t->label;
    state = t->state;
    progress = t->progress;
  } else if (task->kind == DCM_TASK_GET) {
    auto* t = static_cast<const dcmGetingObject*>(task);
    r.ip = t->fields[7].empty() ? t->fields[0] : t->fields[7];
    state = t->state;
    progress = t->progress;
    if (state == DCM_TASK_WAITING || state == DCM_TASK_FAILED)
      r.path = t->fields[8] + "(" + t->fields[9] + ")";
    else
      r.path = t->fields[8] + "(" + t->fields[9] + " " + t->total + ")";
  }
  switch (state) {
    case DCM_TASK_WAITING:
      r.ratio = "Waiting";
      break;
    case DCM_TASK_RUNNING:
      r.ratio = NSUI::formatString("%.0f%%", progress);
      break;
    case DCM_TASK_FAILED:
      r.ratio = NSUI::formatString("%.0f%%", progress);
      r.ratioVisible = false;
      r.retryVisible = true;
      break;
    default:
      r.ratio = "Done";
      break;
  }
  return r;
}

void dcmTransferList::remove(int index) {
  if (index < 0 || index >= static_cast<int>(rows_.size())) return;
  dcmTask* task = rows_[index];
  if (task->kind == DCM_TASK_SEND) {
    if (sendBusy(static_cast<dcmSendingObject*>(task))) {
      message(dcmLocalized("dcm_sending_msg"));
      return;
    }
    // Applied a frame or more later, by identity: the rows may have moved.
    auto* centre = NSUI::NSNotificationCenter::getInstance();
    if (!centre) return;
    auto* payload = new NSUI::NSNotificationData();
    payload->setObject(task);
    centre->postNotification(nullptr, NOTIFY_SEND_TASK_REMOVE, payload, this, false);
    payload->release();
  } else if (task->kind == DCM_TASK_GET) {
    auto* t = static_cast<dcmGetingObject*>(task);
    if (t->state == DCM_TASK_RUNNING) {
      message("The downloading task can not be removed.");
      return;
    }
    t->retain();
    if (calls_.removeRetrieveTask) calls_.removeRetrieveTask(t);
    int at = indexOf(t);
    if (at >= 0) removeRow(at);
    t->release();
  }
}

void dcmTransferList::removeSend(dcmSendingObject* task) {
  int at = indexOf(task);
  if (at < 0) return;
  // The sender may have taken it since the press.
  if (sendBusy(task)) {
    message(dcmLocalized("dcm_sending_msg"));
    return;
  }
  task->state = DCM_TASK_DONE;
  removeRow(at);
}

void dcmTransferList::retry(int index) {
  if (index < 0 || index >= static_cast<int>(rows_.size())) return;
  dcmTask* task = rows_[index];
  if (task->kind == DCM_TASK_SEND) {
    auto* t = static_cast<dcmSendingObject*>(task);
    if (t->state != DCM_TASK_FAILED || t->handedOver) return;
    t->state = DCM_TASK_WAITING;
    t->progress = 0.0f;
    refresh(index);
  } else if (task->kind == DCM_TASK_GET) {
    auto* t = static_cast<dcmGetingObject*>(task);
    if (t->state != DCM_TASK_FAILED) return;
    t->progress = 0.0f;
    t->state = DCM_TASK_WAITING;
    refresh(index);
    if (calls_.removeRetrieveTask) calls_.removeRetrieveTask(t);
    if (calls_.getSeriesByUID) calls_.getSeriesByUID(t->fields);
  }
}

int dcmTransferList::findSendByTaskId(int id) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i]->kind == DCM_TASK_SEND && static_cast<int>(rows_[i]->getRefID()) == id) return static_cast<int>(i);
  return -1;
}

int dcmTransferList::findRetrieve(const std::string& seriesUID) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i]->kind == DCM_TASK_GET && static_cast<const dcmGetingObject*>(rows_[i])->fields[5] == seriesUID)
      return static_cast<int>(i);
  return -1;
}

void dcmTransferList::retrieveProgress(const std::string& text) {
  std::vector<std::string> p;
  NSUI::splitString(text, "|", p);
  if (p.size() != 5) return;
  int at = findRetrieve(p[0]);
  if (at < 0) return;
  auto* t = static_cast<dcmGetingObject*>(rows_[at]);
  const int remaining = std::atoi(p[1].c_str());
  const int total = remaining + std::atoi(p[2].c_str()) + std::atoi(p[3].c_str()) + std::atoi(p[4].c_str());
  if (p[1] == "0") {
    t->state = (std::atoi(p[3].c_str()) != 0 || std::atoi(p[4].c_str()) != 0) ? DCM_TASK_FAILED : DCM_TASK_DONE;
  } else {
    if (total <= 0) return;  // nothing to measure against
    t->progress = static_cast<float>(total - remaining) * 100.0f / static_cast<float>(total);
    if (t->state != DCM_TASK_RUNNING) {
      t->state = DCM_TASK_RUNNING;
      t->total = std::to_string(total);
    }
  }
  refresh(at);
}

void dcmTransferList::onNotification(unsigned int id, NSUI::NSNotificationData* data) {
  if (!data) return;
  switch (id) {
    case NOTIFY_SEND_PROGRESS:
    case NOTIFY_SEND_DONE:
    case NOTIFY_SEND_FAILED: {
      int at = findSendByTaskId(data->taskValue);
      if (at < 0) return;
      auto* t = static_cast<dcmSendingObject*>(rows_[at]);
      if (id == NOTIFY_SEND_PROGRESS) {
        t->progress = data->floatValue;
        t->state = DCM_TASK_RUNNING;
      } else if (id == NOTIFY_SEND_DONE) {
        t->progress = 100.0f;
        t->state = DCM_TASK_DONE;
      } else {
        t->state = DCM_TASK_FAILED;
      }
      refresh(at);
      break;
    }
    case NOTIFY_SEND_TASK_REMOVE:
      if (auto* t = dynamic_cast<dcmSendingObject*>(data->object)) removeSend(t);
      break;
    case NOTIFY_RETRIEVE_PROGRESS:
      retrieveProgress(data->text);
      break;
    case NOTIFY_RETRIEVE_FAILED: {
      auto f = dcmSplitRecord(data->text, ',');
      if (f.size() != 10) return;
      int at = findRetrieve(f[5]);
      if (at < 0) return;
      static_cast<dcmGetingObject*>(rows_[at])->state = DCM_TASK_FAILED;
      refresh(at);
      break;
    }
    default:
      break;
  }
}
