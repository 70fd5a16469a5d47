#include "app/data/dcmMessages.h"

#include <cstdlib>
#include <string>

#include "app/data/dbPayloads.h"
#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace {

struct Route {
  int id;
  bool immediate;
};

// Message type -> notification and kind.
constexpr Route kRoutes[] = {
    {NOTIFY_SEND_PROGRESS, true},      // 0
    {NOTIFY_SEND_DONE, true},          // 1
    {NOTIFY_SEND_FAILED, true},        // 2
    {NOTIFY_DICOM_FILE_STORED, true},  // 3
    {NOTIFY_NODE_REPLY, false},        // 4
    {NOTIFY_FIND_RESULT, false},       // 5
    {NOTIFY_FIND_FAILED, false},       // 6
    {NOTIFY_RETRIEVE_PROGRESS, true},  // 7
    {NOTIFY_IMPORT_PATH, false},       // 8 (then NOTIFY_SDK_MESSAGE_8)
    {NOTIFY_RETRIEVE_STATE, false},    // 9
    {NOTIFY_RETRIEVE_DONE, true},      // 10
    {NOTIFY_RETRIEVE_FAILED, true},    // 11
};

}  // namespace

void dcmLogCallback(const char* text) { cocos2d::log("%s", text ? text : ""); }

void dcmMsgCallback(uint32_t type, void* data) {
  if (type > dcmSDK::DCM_MSG_GET_FAILED) return;
  NSUI::NSNotificationCenter* centre = NSUI::NSNotificationCenter::getInstance();
  if (!centre) {
    // Teardown: nobody will take the record over.
    if (type == dcmSDK::DCM_MSG_IMAGE_STORED) delete static_cast<dcmSDK::DCM_MESSAGE*>(data);
    return;
  }
  NSUI::NSNotificationData* payload = nullptr;
  if (type == dcmSDK::DCM_MSG_IMAGE_STORED) {
    payload = new dicomRecordData(static_cast<dcmSDK::DCM_MESSAGE*>(data));
  } else {
    payload = new NSUI::NSNotificationData();
    std::string text = data ? static_cast<const char*>(data) : "";
    if (type <= dcmSDK::DCM_MSG_SEND_FAILED) {
      payload->taskValue = NSUI::UIJson::getJsonInt(text, "taskID", 0);
      if (type == dcmSDK::DCM_MSG_SEND_PROGRESS)
        payload->floatValue = NSUI::UIJson::getJsonFloat(text, "value", 0.0f);
    }
    payload->text = std::move(text);
  }
  const Route& r = kRoutes[type];
  centre->postNotification(nullptr, r.id, payload, nullptr, r.immediate);
  if (type == dcmSDK::DCM_MSG_GET_FILE) centre->postNotification(nullptr, NOTIFY_SDK_MESSAGE_8, payload, nullptr, false);
  payload->release();
}

unsigned char* dcmReadFileCallback(const char* path, uint32_t* len, bool binary) {
  uint32_t n = 0;
  unsigned char* buf = NSUI::readFileData(path, &n, binary);
  if (len) *len = n;
  return buf;
}
