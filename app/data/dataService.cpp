#include "app/data/dataService.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "app/data/sniffer.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNetworkInfo.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSMessageBox.h"

namespace {

dataService* g_service = nullptr;
const char* const kTickKey = "_dataServiceDataManager";

const int kObservedIds[] = {NOTIFY_SEND_PROGRESS, NOTIFY_SEND_DONE,     NOTIFY_SEND_FAILED,
                            NOTIFY_NODE_REPLY,    NOTIFY_FIND_RESULT,   NOTIFY_FIND_FAILED,
                            NOTIFY_PEER_FOUND,    NOTIFY_RETRIEVE_DONE, NOTIFY_RETRIEVE_FAILED};

std::string unescapeField(std::string s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      std::string code = s.substr(i + 1, 2);
      if (code == "2C" || code == "2c") { out += ','; i += 2; continue; }
      if (code == "40") { out += '@'; i += 2; continue; }
      if (code == "25") { out += '%'; i += 2; continue; }
    }
    out += s[i];
  }
  return out;
}

// A date and time field: "YYYYMMDDHHMMSS..." becomes "YYYY.MM.DD HH:MM:SS".
std::string formatQueryDate(const std::string& f) {
  if (f.size() < 14) return f;
  return f.substr(0, 4) + "." + f.substr(4, 2) + "." + f.substr(6, 2) + " " + f.substr(8, 2) + ":" +
         f.substr(10, 2) + ":" + f.substr(12, 2);
}

// The items of one query result in order: key "gggg,eeee" -> value.
std::vector<std::pair<std::string, std::string>> parseItems(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> items;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('[', pos);
    if (open == std::string::npos) break;
    size_t close = text.find(']', open + 1);
    if (close == std::string::npos) break;
    std::string key = text.substr(pos, open - pos);
    NSUI::trim(key);
    items.emplace_back(key, text.substr(open + 1, close - open - 1));
    pos = close + 1;
  }
  return items;
}

std::string itemValue(const std::vector<std::pair<std::string, std::string>>& items, const char* key) {
  for (const auto& it : items)
    if (it.first == key) return it.second;
  return "";
}

bool hasItem(const std::vector<std::pair<std::string, std::string>>& items, const char* key) {
  for (const auto& it : items)
    if (it.first == key) return true;
  return false;
}

std::string withoutCommas(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), ','), s.end());
  return s;
}

}  // namespace

bool dcmHeardRecently(const std::string& lastSeen, const std::string& now) {
  NSUI::DateTimeFields a, b;
  if (!NSUI::parseDateTime(lastSeen, a) || !NSUI::parseDateTime(now, b)) return false;
  if (a.year != b.year || a.month != b.month || a.day != b.day) return false;
  int ta = a.hour * 3600 + a.minute * 60 + a.second;
  int tb = b.hour * 3600 + b.minute * 60 + b.second;
  return tb - ta < 10;
}

std::vector<std::string> dcmSplitRecord(const std::string& text, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    size_t p = text.find(sep, start);
    out.push_back(unescapeField(text.substr(start, p == std::string::npos ? std::string::npos : p - start)));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return out;
}

dataService* dataService::getInstance() {
  if (!g_service) {
    auto* s = new dataService;
    g_service = s;
    s->start();
    s->autorelease();
    s->retain();  // kept for the life of the process
  }
  return g_service;
}

dataService* dataService::getInstanceIfExists() { return g_service; }

void dataService::destroyInstance() {
  dataService* service = g_service;
  g_service = nullptr;
  if (service) service->release();
}

dataService::~dataService() {
  if (g_service == this) g_service = nullptr;
  if (auto* centre = NSUI::NSNotificationCenter::getInstance()) {
    centre->removeAllObservers(this);
    centre->cancelNotificationsForTarget(this);
  }
  if (started_) {
    if (auto* d = cocos2d::Director::getInstanceIfExists()) d->getScheduler()->unschedule(kTickKey, this);
  }
  for (auto* t : sendTasks) t->release();
  for (auto* t : retrieveTasks) t->release();
  for (auto* t : failedRetrieves) t->release();
  if (database) {
    database->stop();
    database->release();
    database = nullptr;
  }
}

bool dataService::start() {
  if (started_) return true;
  started_ = true;
  database = new dicomDB();
  database->start();
  tickCount = 0;
  cocos2d::Director::getInstance()->getScheduler()->schedule([this](float dt) { update(dt); }, this, 1.0f,
                                                             CC_REPEAT_FOREVER, 0.5f, false, kTickKey);
  if (auto* centre = NSUI::NSNotificationCenter::getInstance()) {
    for (int id : kObservedIds)
      centre->addObserver(
          this, nullptr,
          [this](cocos2d::Ref* s, unsigned int i, NSUI::NSNotificationData* d) { onNotification(s, i, d); }, id);
  }
  return true;
}

void dataService::stop() {
  echo.stop = true;
  if (auto* d = cocos2d::Director::getInstanceIfExists()) d->getScheduler()->unschedule(kTickKey, this);
  for (auto* t : sendTasks) t->release();
  sendTasks.clear();
  sender.stop = true;
  finder.stop = true;
  getter.stop = true;
  for (auto* t : retrieveTasks) t->release();
  retrieveTasks.clear();
  for (auto* t : failedRetrieves) t->release();
  failedRetrieves.clear();
  // Nothing may reach the stopped service any more.
  if (auto* centre = NSUI::NSNotificationCenter::getInstance()) {
    centre->removeAllObservers(this);
    centre->cancelNotificationsForTarget(this);
  }
  if (database) {
    database->stop();
    database->release();
    database = nullptr;
  }
}

void dataService::update(float /*dt*/) {
  startNextSend();
  ++tickCount;
  if (tickCount > 300)
    echoNodes(NODE_ECHO_SWEEP);
  else if (tickCount % 5 == 0)
    echoNodes(NODE_ECHO_KNOWN);
  if (tickCount % 5 == 0) {
    if (auto* s = NSUI::sniffer::getInstanceIfExists()) s->startDiscovery();
  }
  if (tickCount % 2 == 0) postNodeCount();
}

void dataService::postNodeCount() {
  std::string host, addresses, masks;
  NSUI::getNetworkInfo(host, addresses, masks);
  int count = -1;
  if (!addresses.empty()) {
    count = 0;
    if (database) {
      std::vector<dcmNeighbor> list;
      database->getNeighbors(list);
      std::string now = NSUI::getCurrentTimeString();
      for (const auto& n : list)
        if (dcmHeardRecently(n.wifi, now)) ++count;
    }
  }
  if (auto* centre = NSUI::NSNotificationCenter::getInstance())
    centre->postNotificationInt(nullptr, NOTIFY_NODE_COUNT, count, nullptr, true);
}

void dataService::callEcho(const std::vector<std::string>& entries, bool sweep) {
  if (entries.empty()) return;
  std::vector<std::unique_ptr<char[]>> buffers;
  std::vector<char*> list;
  for (const auto& e : entries) {
    auto buf = std::make_unique<char[]>(100);
    std::memset(buf.get(), 0, 100);
    std::strncpy(buf.get(), e.c_str(), 99);
    list.push_back(buf.get());
    buffers.push_back(std::move(buf));
  }
  echo.echo(list.data(), static_cast<int>(list.size()), sweep);
}

std::vector<std::string> dataService::knownEchoEntries() {
  std::vector<std::string> entries;
  if (!database) return entries;
  std::vector<std::string> hosts;
  NSUI::listSubnetAddresses(hosts);
  std::vector<dcmNeighbor> list;
  database->getNeighbors(list);
  for (const auto& n : list) {
    if (n.device != 5) continue;
    if (std::find(hosts.begin(), hosts.end(), n.ip) == hosts.end()) continue;
    // Only a send that is still pending or running keeps the node busy.
    bool busy = std::any_of(sendTasks.begin(), sendTasks.end(), [&](dcmSendingObject* t) {
      return t->ip == n.ip && t->port == n.port &&
             (t->state == DCM_TASK_WAITING || t->state == DCM_TASK_RUNNING);
    });
    if (busy) continue;
    entries.push_back(withoutCommas(n.name) + "," + n.ip + "," + n.port);
  }
  return entries;
}

void dataService::echoNodes(int mode) {
  if (mode == NODE_ECHO_SWEEP) {
    tickCount = 0;
    std::vector<std::string> hosts;
    NSUI::listSubnetAddresses(hosts);
    std::vector<std::string> entries;
    entries.reserve(hosts.size());
    for (const auto& h : hosts) entries.push_back(h + ",4587");
    callEcho(entries, true);
  } else if (mode == NODE_ECHO_KNOWN) {
    std::vector<std::string> entries = std::move(echoTargets);
    echoTargets.clear();
    for (auto& e : knownEchoEntries()) entries.push_back(std::move(e));
    callEcho(entries, false);
  }
}

void dataService::addSendTask(dcmSendingObject* task) {
  if (!task) return;
  task->retain();
  sendTasks.push_back(task);
  startNextSend();
}

void dataService::startNextSend() {
  if (sender.isSending()) return;
  for (auto* t : sendTasks) {
    if (t->state != DCM_TASK_WAITING || t->handedOver || t->ip.empty() || t->path.empty()) continue;
    sender.setIP(t->ip.c_str(), t->port.c_str());
    if (sender.send(t->getRefID(), t->path.c_str())) {
      t->handedOver = true;
      return;
    }
    // The library refused it (the path is gone): it can never start.
    t->state = DCM_TASK_FAILED;
  }
}

std::vector<dcmGetingObject*>& dataService::getRetrieveTasks() {
  for (auto* t : retrieveTasks) t->release();
  retrieveTasks.clear();
  if (getter.getListSize() > 0) {
    std::string buf(4096, '\0');
    size_t need = getter.getList(buf.data(), buf.size());
    if (need > buf.size()) {
      buf.assign(need, '\0');
      need = getter.getList(buf.data(), buf.size());
    }
    buf.resize(std::strlen(buf.c_str()));
    if (!buf.empty()) {
      size_t start = 0;
      while (start <= buf.size()) {
        size_t p = buf.find('@', start);
        std::string rec = buf.substr(start, p == std::string::npos ? std::string::npos : p - start);
        auto fields = dcmSplitRecord(rec, ',');
        if (fields.size() == 10) {
          auto* t = new dcmGetingObject;
          std::copy(fields.begin(), fields.end(), t->fields.begin());
          retrieveTasks.push_back(t);
        }
        if (p == std::string::npos) break;
        start = p + 1;
      }
    }
  }
  for (auto* f : failedRetrieves) {
    auto* t = new dcmGetingObject;
    t->fields = f->fields;
    t->state = DCM_TASK_FAILED;
    retrieveTasks.push_back(t);
  }
  return retrieveTasks;
}

void dataService::removeRetrieveTask(dcmGetingObject* task) {
  if (!task) return;
  const std::string key = task->fields[5];
  getter.removeTask(key.c_str());
  for (auto it = failedRetrieves.begin(); it != failedRetrieves.end(); ++it) {
    if ((*it)->fields[5] == key) {
      dcmGetingObject* gone = *it;
      failedRetrieves.erase(it);
      gone->release();
      break;
    }
  }
}

dcmSendingObject* dataService::findSendTask(int taskId) {
  for (auto* t : sendTasks)
    if (static_cast<int>(t->getRefID()) == taskId) return t;
  return nullptr;
}

void dataService::onNotification(cocos2d::Ref* /*sender*/, unsigned int id, NSUI::NSNotificationData* data) {
  if (!database || !data) return;
  const std::string& text = data->text;
  switch (id) {
    case NOTIFY_NODE_REPLY:
      if (getJsonInt(text, "ok", 0) == 1)
        database->saveNeighbor(5, getJsonStringWithDefault(text, "name", ""),
                               getJsonStringWithDefault(text, "ip", ""), getJsonStringWithDefault(text, "port", ""),
                               getJsonStringWithDefault(text, "appid", ""));
      else
        database->resetNeighborTime(getJsonStringWithDefault(text, "appid", ""));
      break;
    case NOTIFY_RETRIEVE_DONE:
      NSUI::showMessageBox(text + " is ready", 2.0f);
      break;
    case NOTIFY_RETRIEVE_FAILED: {
      auto fields = dcmSplitRecord(text, ',');
      if (fields.size() != 10) break;
      bool known = std::any_of(failedRetrieves.begin(), failedRetrieves.end(),
                               [&](dcmGetingObject* f) { return f->fields[5] == fields[5]; });
      if (!known) {
        auto* t = new dcmGetingObject;
        std::copy(fields.begin(), fields.end(), t->fields.begin());
        t->state = DCM_TASK_FAILED;
        failedRetrieves.push_back(t);
      }
      NSUI::showMessageBox(NSUI::formatString("Failed to download %s(%s,%s)", fields[7].c_str(), fields[8].c_str(),
                                              fields[9].c_str()),
                           5.0f);
      break;
    }
    case NOTIFY_FIND_RESULT:
      parseFindResult(text);
      break;
    case NOTIFY_FIND_FAILED:
      NSUI::showMessageBox("Check the network and the patient name", 5.0f);
      break;
    case NOTIFY_SEND_PROGRESS:
      if (auto* t = findSendTask(data->taskValue)) {
        t->progress = data->floatValue;
        t->state = DCM_TASK_RUNNING;
      }
      break;
    case NOTIFY_SEND_DONE:
      if (auto* t = findSendTask(data->taskValue)) {
        t->handedOver = false;
        t->progress = 100.0f;
        t->state = DCM_TASK_DONE;
        echoTargets.push_back(withoutCommas(t->name) + "," + t->ip + "," + t->port);
      }
      break;
    case NOTIFY_SEND_FAILED:
      if (auto* t = findSendTask(data->taskValue)) {
        t->handedOver = false;
        t->state = DCM_TASK_FAILED;
        NSUI::showMessageBox("Please check the status of DICOM node", 2.0f);
      }
      break;
    case NOTIFY_PEER_FOUND:
      database->saveNeighbor(getJsonInt(text, "device", 5), getJsonStringWithDefault(text, "name", ""),
                             getJsonStringWithDefault(text, "ip", ""), "4587",
                             getJsonStringWithDefault(text, "appid", ""));
      break;
    default:
      break;
  }
}

void dataService::parseFindResult(const std::string& text) {
  auto items = parseItems(text);
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  if (hasItem(items, "0008,0060")) {
    auto* rec = new FindSeriesRecord;
    (*rec)[0] = formatQueryDate(itemValue(items, "0008,0021") + itemValue(items, "0008,0031"));
    const char* keys[] = {"0008,0060", "0008,103e", "0020,000d", "0020,000e", "0020,0011", "0020,1209"};
    for (int i = 0; i < 6; ++i) (*rec)[i + 1] = itemValue(items, keys[i]);
    if ((*rec)[3].empty() || (*rec)[4].empty() || !centre) {
      delete rec;
      return;
    }
    auto* payload = new findSeriesData(rec);
    centre->postNotification(nullptr, NOTIFY_FIND_SERIES_RECORD, payload, nullptr, false);
    payload->release();
  } else if (hasItem(items, "0010,0010")) {
    auto* rec = new FindStudyRecord;
    (*rec)[0] = formatQueryDate(itemValue(items, "0008,0020") + itemValue(items, "0008,0030"));
    const char* keys[] = {"0008,0080", "0008,1030", "0010,0010", "0010,0020",
                          "0010,0030", "0010,0040", "0020,000d", "0020,0010"};
    for (int i = 0; i < 8; ++i) (*rec)[i + 1] = itemValue(items, keys[i]);
    if ((*rec)[3].empty() || (*rec)[7].empty() || !centre) {
      delete rec;
      return;
    }
    auto* payload = new findStudyData(rec);
    centre->postNotification(nullptr, NOTIFY_FIND_STUDY_RECORD, payload, nullptr, false);
    payload->release();
  }
}
