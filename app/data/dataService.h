// The DICOM task service: owns the patient library and one object of each
// network class of the DICOM library, keeps the send queue and the retrieve
// list, echoes DICOM nodes, counts the peers seen lately and turns the
// library's notifications into task states, neighbour rows, query records and
// short messages for the user. Everything here runs on the UI thread.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/data/dicomDB.h"
#include "dcmsdk/dcmSDK.h"
#include "engine/base/Ref.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"

// Modes of dataService::echoNodes.
constexpr int NODE_ECHO_SWEEP = 1;  // every host of every local subnet
constexpr int NODE_ECHO_KNOWN = 2;  // the remembered and the stored peers

// Task kinds and states.
constexpr int DCM_TASK_SEND = 1;
constexpr int DCM_TASK_GET = 2;
constexpr int DCM_TASK_WAITING = 0;
constexpr int DCM_TASK_RUNNING = 1;
constexpr int DCM_TASK_DONE = 2;
constexpr int DCM_TASK_FAILED = 3;

class dcmTask : public cocos2d::Ref {
 public:
  int32_t kind = 0;
};

class dcmSendingObject : public dcmTask {
 public:
  dcmSendingObject() { kind = DCM_TASK_SEND; }
  std::string ip;
  std::string port = "4587";
  std::string name;
  std::string path;
  float progress = 0.0f;
  std::string label;
  int32_t state = DCM_TASK_WAITING;

  // Handed to the sender and its end message not handled yet.
  bool handedOver = false;
};

using GetTaskRecord = std::array<std::string, 10>;

class dcmGetingObject : public dcmTask {
 public:
  dcmGetingObject() { kind = DCM_TASK_GET; }
  GetTaskRecord fields;
  std::string total;
  float progress = 0.0f;
  int32_t state = DCM_TASK_WAITING;
};

using FindStudyRecord = std::array<std::string, 9>;
using FindSeriesRecord = std::array<std::string, 7>;

// Payloads of NOTIFY_FIND_STUDY_RECORD and NOTIFY_FIND_SERIES_RECORD: they
// own their record (userData) and delete it when they go unless an observer
// took it out.
class findStudyData : public NSUI::NSNotificationData {
 public:
  explicit findStudyData(FindStudyRecord* rec) { userData = rec; }
  ~findStudyData() override { delete take(); }
  bool init() override {
    delete take();
    return NSUI::NSNotificationData::init();
  }
  FindStudyRecord* record() const { return static_cast<FindStudyRecord*>(userData); }
  FindStudyRecord* take() {
    auto* r = record();
    userData = nullptr;
    return r;
  }
};

class findSeriesData : public NSUI::NSNotificationData {
 public:
  explicit findSeriesData(FindSeriesRecord* rec) { userData = rec; }
  ~findSeriesData() override { delete take(); }
  bool init() override {
    delete take();
    return NSUI::NSNotificationData::init();
  }
  FindSeriesRecord* record() const { return static_cast<FindSeriesRecord*>(userData); }
  FindSeriesRecord* take() {
    auto* r = record();
    userData = nullptr;
    return r;
  }
};

// True when a neighbour last seen at `lastSeen` counts as heard recently at
// `now` (both in the form of NSUI::getCurrentTimeString): same date and a time
// of day less than 10 s behind now (a later time today counts too).
bool dcmHeardRecently(const std::string& lastSeen, const std::string& now);

// Splits a text at sep and undoes the library's escapes of the fields.
std::vector<std::string> dcmSplitRecord(const std::string& text, char sep);

class dataService : public cocos2d::Ref, public NSUI::UIJson {
 public:
  // The service, made, started and kept (one reference) on first use until
  // destroyInstance(). UI thread.
  static dataService* getInstance();
  // The service when it exists, else null; never makes one.
  static dataService* getInstanceIfExists();
  // Releases the kept reference and forgets the service (teardown, after
  // stop()). Nothing when there is none.
  static void destroyInstance();

  ~dataService() override;
  virtual bool start();
  virtual void stop();

  void update(float dt);
  void echoNodes(int mode);
  void addSendTask(dcmSendingObject* task);
  void startNextSend();
  std::vector<dcmGetingObject*>& getRetrieveTasks();
  void removeRetrieveTask(dcmGetingObject* task);
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);
  void parseFindResult(const std::string& text);

  dicomDB* database = nullptr;
  dcmSDK::dcmSender sender;
  dcmSDK::dcmEcho echo;
  dcmSDK::dcmFind finder;
  dcmSDK::dcmGet getter;
  std::vector<dcmSendingObject*> sendTasks;
  std::vector<dcmGetingObject*> retrieveTasks;
  std::vector<dcmGetingObject*> failedRetrieves;
  std::vector<std::string> echoTargets;
  int32_t tickCount = 0;

  // The known-node entries and the subnet-sweep entries the next echo would
  // send; exposed for the service's own checks.
  std::vector<std::string> knownEchoEntries();

 protected:
  dataService() = default;

 private:
  void callEcho(const std::vector<std::string>& entries, bool sweep);
  void postNodeCount();
  dcmSendingObject* findSendTask(int taskId);
  bool started_ = false;
};
