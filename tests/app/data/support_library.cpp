#include "support_library.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/data/dbPayloads.h"
#include "app/data/dcmCallbacks.h"
#include "app/data/dcmMessages.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace libtest {

namespace {
int g_serial = 0;
}

Library::Library() {
  dir = (std::filesystem::temp_directory_path() /
         ("fwlib-" + std::to_string(getpid()) + "-" + std::to_string(++g_serial)))
            .string();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  writable = dir + "/w/";
  cocos2d::FileUtils::getInstance()->setWritablePath(writable);
  dcmSDK::setLogCallback(dcmLogCallback);
  dcmSDK::setMsgCallback(dcmMsgCallback);
  dcmSDK::setgb2utf8Callback(dcmGb2Utf8Callback);
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  step(40);  // the centre's first tick comes after half a second
  for (int id : {NOTIFY_PATIENT_ROW_UPDATE, NOTIFY_SERIES_RECORD_ADDED})
    centre->addObserver(
        this, nullptr,
        [this](cocos2d::Ref*, unsigned int id, NSUI::NSNotificationData* d) {
          Post p;
          p.id = static_cast<int>(id);
          p.frame = frame;
          p.text = d->text;
          if (id == NOTIFY_SERIES_RECORD_ADDED) {
            auto* row = static_cast<NSUI::NSDBDataModel*>(d->userData);
            if (row) {
              p.hasRow = true;
              for (int c = 0; c < row->getColumnCount(0); ++c) p.row.push_back(row->getValue(0, c));
            }
          }
          posts.push_back(std::move(p));
        },
        id);
}

Library::~Library() {
  stop();
  if (auto* centre = NSUI::NSNotificationCenter::getInstance()) centre->removeAllObservers(this);
  step(2);
  std::filesystem::remove_all(dir);
}

void Library::start() {
  db = new dicomDB();
  db->storeObserver = [this](const std::string& sop, bool isNew) { stored.emplace_back(sop, isNew); };
  db->start();
}

void Library::stop() {
  if (!db) return;
  db->stop();
  db->release();
  db = nullptr;
}

void Library::step(int frames) {
  for (int i = 0; i < frames; ++i) {
    cocos2d::Director::getInstance()->stepFrame(1.0f / 60);
    ++frame;
  }
}

bool Library::pumpUntil(const std::function<bool()>& pred, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return pred();
    step();
    usleep(2000);
  }
  return true;
}

void Library::drain(size_t expectedPosts, double seconds) {
  pumpUntil([&] { return posts.size() >= expectedPosts; }, seconds);
  step(10);
}

size_t Library::count(int id) const {
  size_t n = 0;
  for (auto& p : posts) n += p.id == id;
  return n;
}

std::vector<std::vector<std::string>> Library::rows(const std::string& sql) {
  NSUI::NSDBUtil conn;
  std::vector<std::vector<std::string>> out;
  if (!conn.open(file())) return out;
  NSUI::NSDBDataModel m;
  if (!conn.getRecord(sql, &m)) return out;
  for (int r = 0; r < m.getRowCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < m.getColumnCount(r); ++c) row.push_back(m.getValue(r, c));
    out.push_back(row);
  }
  return out;
}

std::string Library::scalar(const std::string& sql) {
  auto r = rows(sql);
  return r.empty() || r[0].empty() ? "" : r[0][0];
}

int sh(const std::string& command) {
  int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::vector<std::string> allFiles(const std::string& folder) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec)) out.push_back(it->path().string());
  }
  return out;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string announcement(const std::string& ip, const std::string& command, const char* appid,
                         const std::string& name, const std::string& msg) {
  std::string t;
  NSUI::UIJson::setJsonString(t, "ip", ip);
  NSUI::UIJson::setJsonString(t, "name", name);
  NSUI::UIJson::setJsonString(t, "command", command);
  NSUI::UIJson::setJsonString(t, "device", "2");
  if (appid) NSUI::UIJson::setJsonString(t, "appid", appid);
  NSUI::UIJson::setJsonString(t, "msg", msg);
  return t;
}

}  // namespace libtest
