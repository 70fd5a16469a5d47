// The library's messages become notifications: ids, kinds and payloads, and
// a file stored by the library's server reaches its observer as a record.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/loopback.h"
#include "app/data/dbPayloads.h"
#include "app/data/dcmMessages.h"
#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "tools/dcmfixtures/fixtures.h"

using NSUI::NSNotificationCenter;
using NSUI::NSNotificationData;

namespace {

struct Seen {
  int id;
  unsigned frame;
  std::string text;
  int task;
  float value;
  void* user;
  NSNotificationData* payload;
};

const int kIds[] = {NOTIFY_NODE_REPLY,   NOTIFY_RETRIEVE_PROGRESS, NOTIFY_RETRIEVE_STATE, NOTIFY_RETRIEVE_DONE,
                    NOTIFY_RETRIEVE_FAILED, NOTIFY_SDK_MESSAGE_8,  NOTIFY_FIND_RESULT,    NOTIFY_FIND_FAILED,
                    NOTIFY_SEND_PROGRESS, NOTIFY_SEND_DONE,       NOTIFY_SEND_FAILED,    NOTIFY_DICOM_FILE_STORED,
                    NOTIFY_IMPORT_PATH};

class DcmMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    centre = NSNotificationCenter::getInstance();
    ASSERT_NE(centre, nullptr);
    step(0.5f);
    for (int id : kIds)
      centre->addObserver(
          this, nullptr,
          [this](cocos2d::Ref*, unsigned int id, NSNotificationData* d) {
            seen.push_back({int(id), frame, d->text, d->taskValue, d->floatValue, d->userData, d});
            // The payload owns the record and frees it when it goes.
          },
          id);
  }
  void TearDown() override { centre->removeAllObservers(this); }
  void step(float dt = 1.0f / 60) {
    cocos2d::Director::getInstance()->stepFrame(dt);
    ++frame;
  }
  void steps(int n) {
    for (int i = 0; i < n; ++i) step();
  }

  NSNotificationCenter* centre = nullptr;
  std::vector<Seen> seen;
  unsigned frame = 0;
};

}  // namespace

TEST_F(DcmMessages, EveryTypeBecomesItsNotification) {
  std::string progress = "{\"taskID\":\"42\",\"value\":\"57.5\"}";
  std::string noValue = "{\"taskID\":\"43\"}";
  dcmMsgCallback(dcmSDK::DCM_MSG_SEND_PROGRESS, progress.data());
  dcmMsgCallback(dcmSDK::DCM_MSG_SEND_PROGRESS, noValue.data());
  dcmMsgCallback(dcmSDK::DCM_MSG_SEND_DONE, noValue.data());
  dcmMsgCallback(dcmSDK::DCM_MSG_SEND_FAILED, const_cast<char*>("{}"));
  auto* rec = new dcmSDK::DCM_MESSAGE();
  dcmMsgCallback(dcmSDK::DCM_MSG_IMAGE_STORED, rec);
  dcmMsgCallback(dcmSDK::DCM_MSG_ECHO_REPLY, const_cast<char*>("{\"ok\":\"1\"}"));
  dcmMsgCallback(dcmSDK::DCM_MSG_FIND_RESULT, const_cast<char*>("0010,0010[A]"));
  dcmMsgCallback(dcmSDK::DCM_MSG_FIND_FAILED, const_cast<char*>("find failed: x"));
  dcmMsgCallback(dcmSDK::DCM_MSG_GET_PROGRESS, const_cast<char*>("1.2|0|4|0|0"));
  dcmMsgCallback(dcmSDK::DCM_MSG_GET_FILE, const_cast<char*>("/tmp/dicomdown/1.2/"));
  dcmMsgCallback(dcmSDK::DCM_MSG_GET_SERIES_STARTED, const_cast<char*>("1.2"));
  dcmMsgCallback(dcmSDK::DCM_MSG_GET_READY, const_cast<char*>("P CT 3"));
  dcmMsgCallback(dcmSDK::DCM_MSG_GET_FAILED, const_cast<char*>("a,b,c,d,e,f,g,h,i,j"));
  dcmMsgCallback(12, const_cast<char*>("ignored"));
  steps(20);

  struct Want {
    int id;
    std::string text;
    int task;
    float value;
  };
  const Want immediate[] = {
      {NOTIFY_SEND_PROGRESS, progress, 42, 57.5f}, {NOTIFY_SEND_PROGRESS, noValue, 43, 0.0f},
      {NOTIFY_SEND_DONE, noValue, 43, 0.0f},      {NOTIFY_SEND_FAILED, "{}", 0, 0.0f},
      {NOTIFY_DICOM_FILE_STORED, "", 0, 0.0f},   {NOTIFY_RETRIEVE_PROGRESS, "1.2|0|4|0|0", 0, 0.0f},
      {NOTIFY_RETRIEVE_DONE, "P CT 3", 0, 0.0f}, {NOTIFY_RETRIEVE_FAILED, "a,b,c,d,e,f,g,h,i,j", 0, 0.0f},
  };
  const Want serial[] = {
      {NOTIFY_NODE_REPLY, "{\"ok\":\"1\"}", 0, 0},     {NOTIFY_FIND_RESULT, "0010,0010[A]", 0, 0},
      {NOTIFY_FIND_FAILED, "find failed: x", 0, 0},    {NOTIFY_IMPORT_PATH, "/tmp/dicomdown/1.2/", 0, 0},
      {NOTIFY_SDK_MESSAGE_8, "/tmp/dicomdown/1.2/", 0, 0}, {NOTIFY_RETRIEVE_STATE, "1.2", 0, 0},
  };
  ASSERT_EQ(seen.size(), std::size(immediate) + std::size(serial));
  std::vector<Seen> now, later;
  for (auto& x : seen) {
    bool isImmediate = false;
    for (auto& w : immediate) isImmediate |= w.id == x.id;
    (isImmediate ? now : later).push_back(x);
  }
  ASSERT_EQ(now.size(), std::size(immediate));
  // Immediate posts arrive together at the first tick, in posting order.
  for (size_t i = 0; i < now.size(); ++i) {
    EXPECT_EQ(now[i].id, immediate[i].id) << i;
    EXPECT_EQ(now[i].text, immediate[i].text) << i;
    EXPECT_EQ(now[i].task, immediate[i].task) << i;
    EXPECT_FLOAT_EQ(now[i].value, immediate[i].value) << i;
    EXPECT_EQ(now[i].frame, now[0].frame);
  }
  EXPECT_EQ(now[4].user, rec);
  // Serial posts arrive one per frame, oldest first.
  ASSERT_EQ(later.size(), std::size(serial));
  for (size_t i = 0; i < later.size(); ++i) {
    EXPECT_EQ(later[i].id, serial[i].id) << i;
    EXPECT_EQ(later[i].text, serial[i].text) << i;
    if (i > 0) {
      EXPECT_GT(later[i].frame, later[i - 1].frame);
    }
  }
  // Both posts of a retrieved path carry the same payload.
  EXPECT_EQ(later[3].payload, later[4].payload);
}

TEST_F(DcmMessages, StoredFileReachesTheObserver) {
  dcmSDK::setMsgCallback(dcmMsgCallback);
  dcmSDK::setLogCallback(dcmLogCallback);
  std::string dir = (std::filesystem::temp_directory_path() / ("dcmmsg-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir + "/root");
  auto series = dcmfixtures::writeSeries(dir + "/src", *dcmfixtures::findVariant("ct_ele"), 16, 16, 2);
  // A free port on loopback.
  std::string port = std::to_string(fwtest::freeLoopbackPort());
  {
    dcmSDK::dcmServer server;
    server.setPort("127.0.0.1", port.c_str(), "fernwick");
    server.setRoot((dir + "/root").c_str());
    ASSERT_TRUE(server.BeginDicomServer());
    std::string cmd = "storescu -aec fernwick 127.0.0.1 " + port;
    for (auto& f : series.files) cmd += " " + f;
    ASSERT_EQ(std::system((cmd + " >/dev/null 2>&1").c_str()), 0);
  }
  steps(5);
  size_t stored = 0;
  for (auto& s : seen) stored += s.id == NOTIFY_DICOM_FILE_STORED;
  EXPECT_EQ(stored, series.files.size());
  std::filesystem::remove_all(dir);
}
