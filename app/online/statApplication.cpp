#include "app/online/statApplication.h"

#include <algorithm>
#include <cstdlib>

#include "app/online/onlineService.h"
#include "engine/base/base64.h"
#include "engine/base/ccLog.h"
#include "engine/platform/FileUtils.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSFormat.h"

namespace {

statApplication* g_stats = nullptr;

statApplication::Clock& clockFunction() {
  static statApplication::Clock clock;
  return clock;
}

time_t clockNow() {
  const statApplication::Clock& clock = clockFunction();
  return clock ? clock() : std::time(nullptr);
}

const char kVersionTable[] = "create table version (ID integer primary key autoincrement,version integer);";
const char kStatTable[] =
    "create table stat (ID integer primary key autoincrement,type integer,statTime  datetime,value text);";

}  // namespace

statApplication* statApplication::getInstance() {
  if (!g_stats) g_stats = new statApplication;  // the kept reference
  return g_stats;
}

statApplication* statApplication::getInstanceIfExists() { return g_stats; }

void statApplication::destroyInstance() {
  statApplication* stats = g_stats;
  g_stats = nullptr;
  if (stats) stats->release();
}

void statApplication::setClock(Clock clock) { clockFunction() = std::move(clock); }

statApplication::statApplication() { httpOwner = this; }

statApplication::~statApplication() {
  if (g_stats == this) g_stats = nullptr;
}

std::string statApplication::currentTime() {
  const time_t now = clockNow();
  struct tm t {};
  if (!localtime_r(&now, &t)) return std::string();
  return NSUI::formatString("%d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                            t.tm_min, t.tm_sec);
}

std::string statApplication::getDayStart() const { return currentTime().substr(0, 10) + " 00:00:00"; }

void statApplication::start() {
  if (!isOpen) {
    auto* files = cocos2d::FileUtils::getInstance();
    const std::string folder = files->getWritablePath() + "kq/stat/";
    if (!files->isDirectoryExist(folder)) files->createDirectory(folder);
    dbReady = createDB(folder);
    isOpen = true;
  }
  if (uploadUrl.empty()) {
    const std::string url = online::serviceAddress("/st/gi.php");
    if (!url.empty()) doHttpPost(url, "", "getStatUrl");
  }
}

bool statApplication::createDB(const std::string& folder) {
  if (!db.open(folder + "statDB")) {
    cocos2d::log("failed to create statDB");
    return false;
  }
  if (db.tableExists("version")) {
    NSUI::NSDBDataModel rows;
    if (!db.getRecord("select version from version", &rows) || rows.getRowCount() == 0) return false;
    if (std::atoi(rows.getValue(0, 0).c_str()) < dbVersion) {
      if (!db.execute("update version set version=?", {static_cast<int64_t>(dbVersion)})) {
        cocos2d::log("failed to update table 'version'.");
        return false;
      }
      db.dropTable("stat");
    }
  } else if (!db.createTable(kVersionTable, "version") ||
             !db.execute("insert into version(version) values (?)", {static_cast<int64_t>(dbVersion)})) {
    cocos2d::log("failed to create table 'version'.");
    return false;
  }
  if (!db.tableExists("stat") && !db.createTable(kStatTable, "stat")) {
    cocos2d::log("failed to create table 'stat'.");
    return false;
  }
  return true;
}

void statApplication::addStat(unsigned int event, std::string value) {
  if (!dbReady) return;
  db.execute("insert into stat(type,statTime,value) values (?,?,?)",
             {static_cast<int64_t>(event) + 30000, currentTime(), std::move(value)});
  if (event < 2) upload();
}

void statApplication::upload() {
  if (uploadUrl.empty() || !dbReady || uploading) return;
  const std::string cutOff = getDayStart();
  NSUI::NSDBDataModel rows;
  if (!db.getRecord("select ID,type,statTime,value from stat where statTime<? order by ID", {cutOff}, &rows) ||
      rows.getRowCount() == 0)
    return;
  AppConfig* config = AppConfig::getInstance();
  std::string body;
  setJsonString(body, "number", NSUI::formatString("%i", rows.getRowCount()));
  setJsonString(body, "appid", config ? config->getAppIdentifier() : std::string());
  int64_t lastId = -1;
  for (int i = 0; i < rows.getRowCount(); ++i) {
    lastId = std::max<int64_t>(lastId, std::atoll(rows.getValue(i, 0).c_str()));
    // The members are appended in order; the setter escapes what a
    // recorder stored, so any value keeps the text well-formed.
    setJsonString(body, "type" + std::to_string(i), rows.getValue(i, 1));
    setJsonString(body, "time" + std::to_string(i), rows.getValue(i, 2));
    setJsonString(body, "value" + std::to_string(i), rows.getValue(i, 3));
  }
  sentCutOff = cutOff;
  sentLastId = lastId;
  uploading = true;
  doHttpPost(uploadUrl, cocos2d::safeBase64EncodeString(body.data(), body.size()), "upload");
}

void statApplication::onHttpResponse(NSUI::UIHttpResponse* response) {
  if (!response) return;
  if (response->tag == "upload") uploading = false;
  if (!response->succeeded || response->responseCode != 200) return;
  const std::string text = cocos2d::safeBase64DecodeString(response->body);
  if (response->tag == "getStatUrl") {
    // Only an https address verified by the HTTP client carries the rows.
    if (!text.empty() && online::isSecureAddress(text)) {
      uploadUrl = text;
      upload();
    }
  } else if (response->tag == "upload") {
    // Only an explicit "Status" 0 acknowledges: an empty or foreign page
    // keeps the rows for the next upload.
    std::string status = getJsonStringWithDefault(text, "Status", "absent");
    const size_t first = status.find_first_not_of(' '), last = status.find_last_not_of(' ');
    status = first == std::string::npos ? std::string() : status.substr(first, last - first + 1);
    if (status != "0" || !dbReady || sentLastId < 0) return;
    if (!db.beginTransaction()) return;
    if (db.execute("delete from stat where ID<=? and statTime<?", {sentLastId, sentCutOff}))
      db.commit();
    else
      db.rollback();
  }
}

void statApplication::shutdown() {
  db.close();
  dbReady = false;
  uploading = false;
  if (NSUI::NSHttpClient* client = NSUI::NSHttpClient::getInstanceIfExists()) client->cancelRequestsForOwner(this);
}
