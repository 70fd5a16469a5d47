#include "app/data/dicomDB.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "app/data/dbPayloads.h"
#include "imaging/core/isFolderScan.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNetworkInfo.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace {

const char* const kTableNames[] = {"patient", "study", "series", "image", "neighbor", "favorite", "favoriteDetail"};
const char* const kTableStatements[] = {
    "create table patient (ID integer primary key autoincrement,name TEXT,sex  TEXT,birthday TEXT,"
    "patientIDHospital TEXT,updateTime TEXT);",
    "create table study (ID integer primary key autoincrement,patientID integer,studyUID TEXT,studyIDHospital TEXT,"
    "studyDesc TEXT,date TEXT,time TEXT,updateTime TEXT);",
    "create table series (ID integer primary key autoincrement,studyID integer,seriesUID TEXT,date TEXT,time TEXT,"
    "studyDesc,SeriesDesc TEXT,updateTime TEXT,path TEXT);",
    "create table image (ID integer primary key autoincrement,seriesID integer,imageUID TEXT,instanceID TEXT,"
    "file TEXT);",
    "create table neighbor (ID integer primary key autoincrement,device integer,ip TEXT,port TEXT,name TEXT,"
    "saveType integer,lastTime TEXT,wifi TEXT,appid TEXT);",
    "create table favorite (ID integer primary key autoincrement,type integer,message TEXT,icon TEXT,image TEXT,"
    "valid integer,updateTime datetime,scale float);",
    "create table favoriteDetail (ID integer primary key autoincrement,type integer,message TEXT,icon TEXT,"
    "image TEXT,valid integer,updateTime datetime,scale float,favoriteID integer not null);",
};
const char* const kVersionStatement = "create table version (ID integer primary key autoincrement,version integer);";

// Plain look-up indexes; they change no row and no result.
const char* const kIndexes[] = {
    "create index if not exists patientByNameAndId on patient(name,patientIDHospital);",
    "create index if not exists studyByPatient on study(patientID,studyUID);",
    "create index if not exists seriesByStudy on series(studyID,seriesUID);",
    "create index if not exists imageBySeries on image(seriesID,imageUID);",
    "create index if not exists neighborByAppid on neighbor(appid);",
};

int currentLanguage() {
  cocos2d::Application* app = cocos2d::Application::getInstance();
  return app ? static_cast<int>(app->getCurrentLanguage()) : 0;
}

// YYYYMMDD + HHMMSS as "YYYY-MM-DD HH:MM:SS" when both are long enough,
// else the store time.
std::string dicomTime(const std::string& date, const std::string& time, const std::string& now) {
  if (date.size() <= 7 || time.size() <= 5) return now;
  return date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2) + " " + time.substr(0, 2) + ":" +
         time.substr(2, 2) + ":" + time.substr(4, 2);
}

std::string dottedDate(const std::string& date) {
  if (date.size() != 8) return date;
  return date.substr(0, 4) + "." + date.substr(4, 2) + "." + date.substr(6, 2);
}

int64_t toId(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

std::string field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }
#define FIELD(rec, name) field((rec).name, sizeof((rec).name))

bool notOlder(const struct timespec& t, const struct timespec& since) {
  return t.tv_sec > since.tv_sec || (t.tv_sec == since.tv_sec && t.tv_nsec >= since.tv_nsec);
}

void emptyFolder(const std::string& folder) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);
  }
}

}  // namespace

int dicomRequestKey(const std::string& text) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  h ^= h >> 32;
  return static_cast<int>(static_cast<uint32_t>(h));
}

// ---------------------------------------------------------------------------
// Prepared statements of the store, made once per connection on the request
// thread. Every value is bound; IDs are bound as integers.

struct dicomDB::statements {
  explicit statements(NSUI::NSDBUtil& c)
      : findPatient(c, "select ID,updateTime from patient where name=? and patientIDHospital=?"),
        findStudy(c, "select ID from study where studyUID=? and patientID=?"),
        findSeries(c, "select ID from series where seriesUID=? and studyID=?"),
        findImage(c, "select ID from image where imageUID=? and seriesID=?"),
        touchPatient(c, "update patient set updateTime=? where ID=?"),
        addPatient(c, "insert into patient(name,patientIDHospital,birthday,sex,updateTime) values (?,?,?,?,?)"),
        touchStudy(c, "update study set updateTime=? where ID=?"),
        addStudy(c,
                 "insert into study(patientID,studyUID,studyIDHospital,studyDesc,date,time,updateTime) values "
                 "(?,?,?,?,?,?,?)"),
        touchSeries(c, "update series set updateTime=? where ID=?"),
        addSeries(c,
                  "insert into series(studyID,seriesUID,date,time,studyDesc,seriesDesc,updateTime,path) values "
                  "(?,?,?,?,?,?,?,?)"),
        addImage(c, "insert into image(seriesID,imageUID,instanceID,file) values (?,?,?,?)"),
        seriesRow(c, "select series.ID,series.seriesUID,series.date,series.time,seriesDesc,path from series where "
                     "series.ID=?"),
        imageCount(c, "select count(*) from image where seriesID=?"),
        firstImage(c, "select file from image where seriesID=? order by ID limit 1"),
        seriesByPath(c, "select ID from series where path=?"),
        imageByFile(c, "select 1 from image where seriesID=? and file=? limit 1") {}

  bool valid() const {
    for (const NSUI::NSDBStatement* s : {&findPatient, &findStudy, &findSeries, &findImage, &touchPatient,
                                         &addPatient, &touchStudy, &addStudy, &touchSeries, &addSeries, &addImage,
                                         &seriesRow, &imageCount, &firstImage, &seriesByPath, &imageByFile})
      if (!s->isValid()) return false;
    return true;
  }

  // Runs a query for its first row. False on failure; found tells whether a
  // row came.
  static bool first(NSUI::NSDBStatement& st, const NSUI::NSDBParams& params, std::vector<std::string>& row,
                    bool& found) {
    row.clear();
    found = false;
    st.reset();
    bool ok = st.bindAll(params);
    if (ok) {
      if (st.step()) {
        found = true;
        for (int i = 0; i < st.columnCount(); ++i) row.push_back(st.columnIsNull(i) ? "None" : st.columnText(i));
      } else {
        ok = st.done();
      }
    }
    st.reset();
    return ok;
  }
  static bool run(NSUI::NSDBStatement& st, const NSUI::NSDBParams& params) {
    st.reset();
    bool ok = st.bindAll(params) && st.run();
    st.reset();
    return ok;
  }

  NSUI::NSDBStatement findPatient, findStudy, findSeries, findImage;
  NSUI::NSDBStatement touchPatient, addPatient, touchStudy, addStudy, touchSeries, addSeries, addImage;
  NSUI::NSDBStatement seriesRow, imageCount, firstImage;
  NSUI::NSDBStatement seriesByPath, imageByFile;
};

// ---------------------------------------------------------------------------
// dicomDBRequest

dicomDBRequest::dicomDBRequest() = default;

dicomDBRequest::~dicomDBRequest() {
  delete result;
  for (auto* rec : records) delete rec;
  for (auto& s : done) delete s.row;
}

// ---------------------------------------------------------------------------
// dicomDBThread

dicomDBThread::dicomDBThread() { std::memset(tagBuffer, 0, sizeof tagBuffer); }

dicomDBThread::~dicomDBThread() = default;

void dicomDBThread::processRequest(NSUI::NSThreadRequest* request) {
  auto* r = static_cast<dicomDBRequest*>(request);
  dicomDB* d = database;
  if (!d) return;
  if (r->type == DB_REQUEST_SAVE_DICOM) {
    r->text.clear();
    if (!d->isOpen) {
      for (auto* rec : r->records) delete rec;
      r->records.clear();
      return;
    }
    d->storeBatch(r, tagBuffer);
    return;
  }
  if (!d->isOpen) return;
  switch (r->type) {
    case DB_REQUEST_PATIENTS: d->queryPatientRows(r); break;
    case DB_REQUEST_STUDIES: d->queryStudyRows(r, tagBuffer); break;
    case DB_REQUEST_FAVORITES: d->queryFavoriteRows(r); break;
    default: break;
  }
}

bool dicomDBThread::joinPendingBatch(dcmSDK::DCM_MESSAGE* record) {
  std::lock_guard<std::recursive_mutex> lock(queueMutex);
  if (stopped || !requestQueue || requestQueue->empty()) return false;
  auto* last = static_cast<dicomDBRequest*>(requestQueue->back());
  if (last == stopRequest || last->type != DB_REQUEST_SAVE_DICOM || last->recovery ||
      last->records.size() >= dicomDB::kBatchLimit)
    return false;
  last->records.push_back(record);
  return true;
}

void dicomDBThread::detachOwner(void* owner) {
  std::lock_guard<std::recursive_mutex> q(queueMutex);
  std::lock_guard<std::recursive_mutex> r(resultMutex);
  std::lock_guard<std::recursive_mutex> s(stateMutex);
  auto clear = [owner, this](NSUI::NSThreadRequest* req) {
    if (!req || req == stopRequest) return;
    auto* d = static_cast<dicomDBRequest*>(req);
    if (d->owner == owner) d->owner = nullptr;
  };
  if (requestQueue)
    for (auto* req : *requestQueue) clear(req);
  if (resultQueue)
    for (auto* req : *resultQueue) clear(req);
  clear(currentRequest);
}

// ---------------------------------------------------------------------------
// dicomDB: start and stop

dicomDB::dicomDB() = default;

dicomDB::~dicomDB() { stop(); }

bool dicomDB::start() {
  dbVersion = 4;
  lastMarkerTime = 0;
  isOpen = false;
  dicomResetRecordCounts();
  thread = new dicomDBThread();
  thread->completion = [this](NSUI::NSThreadRequest* request) { onRequestFinished(request); };
  thread->database = this;
  initDB();
  if (auto* centre = NSUI::NSNotificationCenter::getInstance()) {
    auto cb = [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
      onNotification(sender, id, data);
    };
    centre->addObserver(this, nullptr, cb, NOTIFY_DICOM_FILE_STORED);
    centre->addObserver(this, nullptr, cb, NOTIFY_CAPTURE_SAVED);
    centre->addObserver(this, nullptr, cb, NOTIFY_FAVOURITE_SAVED);
  }
  favoriteCount = 0;
  return true;
}

std::string dicomDB::defaultFolder() {
  std::string writable = cocos2d::FileUtils::getInstance()->getWritablePath();
  if (!writable.empty() && writable.back() != '/') writable += '/';
  return writable + "kq" + "/" + "dicom" + "/";
}

void dicomDB::initDB() {
  std::string folder = defaultFolder();
  dbFolder = folder;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) std::filesystem::create_directories(folder, ec);
  cocos2d::log("dicom folder:%s", folder.c_str());
  if (!createDB(folder)) {
    cocos2d::log("failed to create dicomdb");
    isOpen = false;
  } else {
    isOpen = true;
  }

  // The run marker: one left behind means the last run ended before every
  // received file was recorded.
  struct timespec since {};
  bool unclean = false;
  if (isOpen) {
    struct stat st;
    if (stat(runMarkerPath().c_str(), &st) == 0) {
      unclean = true;
      since = st.st_mtim;
    }
    int fd = open(runMarkerPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
      std::string text = NSUI::getCurrentTimeString() + "\n";
      ssize_t ignored = write(fd, text.data(), text.size());
      (void)ignored;
      fsync(fd);
      close(fd);
      markerWritten = true;
    }
    std::filesystem::create_directories(importTempFolder(), ec);
    emptyFolder(importTempFolder());
  }

  std::string host, addresses, masks;
  NSUI::getNetworkInfo(host, addresses, masks);
  server.language = currentLanguage();
  server.setPort(host.c_str(), kPort, kTitle);
  server.setRoot(folder.c_str());
  // A closed library must not acknowledge images it will never list.
  server.setStoreEnabled(isOpen);
  if (!server.BeginDicomServer()) cocos2d::log("the storage server did not start on port %s", kPort);
  thread->connection = &db;
  if (unclean) queueRecovery(since);
}

bool dicomDB::openConnection(NSUI::NSDBUtil& conn, const std::string& path) {
  if (!conn.open(path)) return false;
  // WAL: readers never wait for the writer, and a killed process loses no
  // committed transaction.
  return conn.execute("PRAGMA busy_timeout=5000;") && conn.execute("PRAGMA journal_mode=WAL;") &&
         conn.execute("PRAGMA synchronous=NORMAL;");
}

bool dicomDB::createDB(const std::string& folder) {
  std::string path = folder + "dicomDB";
  if (!openConnection(db, path)) {
    cocos2d::log("failed to create dicomdb");
    db.close();
    return false;
  }
  if (db.tableExists("version")) {
    NSUI::NSDBDataModel model;
    if (!db.getRecord("select version from version", &model) || model.getRowCount() == 0) return false;
    int stored = std::atoi(model.getValue(0, 0).c_str());
    if (stored < dbVersion) {
      if (!db.execute("update version set version=" + std::to_string(dbVersion))) {
        cocos2d::log("failed to update table 'version'.");
        return false;
      }
    }
  } else {
    if (!db.createTable(kVersionStatement, "version") ||
        !db.execute("insert into version(version) values (" + std::to_string(dbVersion) + ")")) {
      cocos2d::log("failed to create table 'version'.");
      return false;
    }
  }
  for (size_t i = 0; i < std::size(kTableNames); ++i) {
    if (db.tableExists(kTableNames[i])) continue;
    if (!db.createTable(kTableStatements[i], kTableNames[i])) {
      cocos2d::log("failed to create table '%s'.", kTableNames[i]);
      return false;
    }
  }
  for (const char* index : kIndexes) {
    if (!db.execute(index)) {
      cocos2d::log("failed to create an index of the library");
      return false;
    }
  }
  if (!openConnection(syncDb, path)) {
    cocos2d::log("failed to create dicomdb");
    return false;
  }
  return true;
}

void dicomDB::stop() {
  if (thread) {
    stopThread(thread);
    thread = nullptr;
  }
  if (auto* centre = NSUI::NSNotificationCenter::getInstance()) centre->removeAllObservers(this);
  server.StopDicomServer();
  stmts.reset();
  bool wasOpen = isOpen;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    isOpen = false;
    db.close();
    syncDb.close();
  }
  // A clean end: every record handed over was stored. Otherwise the marker
  // stays and the next start records what is missing.
  if (wasOpen && markerWritten && dicomRecordsInFlight() <= 0 && !dicomStoreFailed())
    unlink(runMarkerPath().c_str());
  markerWritten = false;
}

std::string dicomDB::getRoot() { return server.getRoot(); }

// ---------------------------------------------------------------------------
// Queueing

void dicomDB::queryPatients(const std::function<void(NSUI::NSDBDataModel*)>& callback) {
  if (!isOpen || !thread) return;
  auto* r = new dicomDBRequest();
  r->type = DB_REQUEST_PATIENTS;
  r->callback = callback;
  r->key = dicomRequestKey("db");
  thread->addRequest(r);
  r->release();
}

void dicomDB::queryStudies(const std::function<void(NSUI::NSDBDataModel*)>& callback, const std::string& patientId,
                           void* owner) {
  if (patientId.empty() || !isOpen || !thread) return;
  auto* r = new dicomDBRequest();
  r->type = DB_REQUEST_STUDIES;
  r->callback = callback;
  r->text = patientId;
  r->owner = owner;
  r->key = dicomRequestKey(patientId);
  int key = r->key;
  thread->addRequest(r);
  r->release();
  thread->promoteRequest(key);
}

void dicomDB::queryFavorites(const std::function<void(NSUI::NSDBDataModel*)>& callback) {
  if (!isOpen || !thread) return;
  auto* r = new dicomDBRequest();
  r->type = DB_REQUEST_FAVORITES;
  r->callback = callback;
  thread->addRequest(r);
  r->release();
}

void dicomDB::detachOwner(void* owner) {
  if (thread) thread->detachOwner(owner);
}

void dicomDB::queueRecovery(const struct timespec& since) {
  auto* r = new dicomDBRequest();
  r->type = DB_REQUEST_SAVE_DICOM;
  r->recovery = true;
  r->recoverSince = since;
  r->key = dicomRequestKey("recovery");
  thread->addRequest(r);
  r->release();
}

void dicomDB::onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
  if (id == NOTIFY_DICOM_FILE_STORED) {
    dcmSDK::DCM_MESSAGE* rec = dicomRecordData::takeFrom(data);
    if (!rec) return;
    if (!isOpen || !thread) {
      delete rec;
      return;
    }
    if (thread->joinPendingBatch(rec)) return;
    auto* r = new dicomDBRequest();
    r->type = DB_REQUEST_SAVE_DICOM;
    r->records.push_back(rec);
    r->key = dicomRequestKey(FIELD(*rec, folder));
    thread->addRequest(r);
    r->release();
    return;
  }
  if (id != NOTIFY_CAPTURE_SAVED && id != NOTIFY_FAVOURITE_SAVED) return;
  // Captures and saved favourites become favourite rows. The payload is
  // read, never changed: other observers see the same post.
  if (!data || data->text.empty()) return;
  const std::string path = data->text;
  if (id == NOTIFY_CAPTURE_SAVED) {
    float scale = 1.0f;
    auto* image = new cocos2d::Image();
    if (image->initWithImageFile(path) && image->getHeight() > 0)
      scale = static_cast<float>(image->getWidth()) / static_cast<float>(image->getHeight());
    image->release();
    int32_t newId = addCaptureFavorite(path, scale);
    if (newId >= 0) {
      if (auto* centre = NSUI::NSNotificationCenter::getInstance()) {
        auto* added = new NSUI::NSNotificationData();
        added->text = path;
        added->intValue = newId;
        added->floatValue = scale;
        centre->postNotification(nullptr, NOTIFY_FAVOURITE_ADDED, added, nullptr, false);
        added->release();
      }
    }
  } else {
    float scale = data->floatValue;
    if (data->intValue == 100) {
      dcmSDK::dcmReadTag tags;
      tags.setLanguage(currentLanguage());
      scale = tags.setFile(path.c_str()) ? tags.getImageScale() : 1.0f;
    }
    addDicomFavorite(path, scale);
  }
  ++favoriteCount;
  // A missing sound is silent.
  cocos2d::SimpleAudioEngine::getInstance()->playEffect("res/waterfall.wav", false, 1.0f, 0.0f, 1.0f);
}

// ---------------------------------------------------------------------------
// Completion

void dicomDB::onRequestFinished(NSUI::NSThreadRequest* request) {
  auto* r = static_cast<dicomDBRequest*>(request);
  if (r->cancelled) {
    delete r->result;
    r->result = nullptr;
    return;
  }
  switch (r->type) {
    case DB_REQUEST_PATIENTS:
    case DB_REQUEST_FAVORITES:
    case DB_REQUEST_STUDIES:
      if (r->result && r->callback && r->result->getRowCount() > 0 &&
          (r->type != DB_REQUEST_STUDIES || r->owner))
        r->callback(r->result);
      delete r->result;
      r->result = nullptr;
      break;
    case DB_REQUEST_SAVE_DICOM:
      finishStores(r);
      if (storeObserver)
        for (auto& [sop, isNew] : r->outcomes) storeObserver(sop, isNew);
      break;
    default:
      break;
  }
}

void dicomDB::finishStores(dicomDBRequest* r) {
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  // Stale thumbnails and caches go once per touched folder of the batch,
  // before any of its posts.
  std::vector<std::string> cleaned;
  for (auto& item : r->done) {
    std::string folder = NSUI::UIJson::getJsonString(item.json, "dcmFolder");
    if (!folder.empty() && std::find(cleaned.begin(), cleaned.end(), folder) == cleaned.end()) {
      cleaned.push_back(folder);
      isImageSDK::isDcmScan::removeCacheOfFolder(dbFolder + folder);
      for (int i = 0; i < 6; ++i) unlink((dbFolder + folder + "/" + "thrumb" + std::to_string(i)).c_str());
    }
    if (!centre) continue;
    auto* rowUpdate = new NSUI::NSNotificationData();
    rowUpdate->text = item.json;
    centre->postNotification(this, NOTIFY_PATIENT_ROW_UPDATE, rowUpdate, nullptr, false);
    rowUpdate->release();
    auto* added = new seriesRowData(item.row);
    item.row = nullptr;
    added->text = item.json;
    centre->postNotification(this, NOTIFY_SERIES_RECORD_ADDED, added, nullptr, false);
    added->release();
  }
  r->done.clear();
}

// ---------------------------------------------------------------------------
// The store, on the request thread

bool dicomDB::findRecord(const std::string& patientName, const std::string& patientId, const std::string& studyUID,
                         const std::string& seriesUID, const std::string& imageUID, dicomRecordIds& ids) {
  ids = dicomRecordIds();
  if (!isOpen || !stmts) return false;
  std::vector<std::string> row;
  bool found = false;
  auto failed = [] {
    cocos2d::log("failed to search DB.");
    return false;
  };
  if (!statements::first(stmts->findPatient, {patientName, patientId}, row, found)) return failed();
  if (!found) return true;
  ids.patientID = row[0];
  ids.patientUpdateTime = row.size() > 1 ? row[1] : "";
  ids.patientFound = true;
  if (!statements::first(stmts->findStudy, {studyUID, toId(ids.patientID)}, row, found)) return failed();
  if (!found) return true;
  ids.studyID = row[0];
  ids.studyFound = true;
  if (!statements::first(stmts->findSeries, {seriesUID, toId(ids.studyID)}, row, found)) return failed();
  if (!found) return true;
  ids.seriesID = row[0];
  ids.seriesFound = true;
  if (!statements::first(stmts->findImage, {imageUID, toId(ids.seriesID)}, row, found)) return failed();
  if (found) {
    ids.imageID = row[0];
    ids.imageFound = true;
  }
  return true;
}

bool dicomDB::saveRecord(const dcmSDK::DCM_MESSAGE& rec, dicomRecordIds& ids) {
  if (!stmts) return false;
  const std::string now = NSUI::getCurrentTimeString();
  const std::string studyTime = dicomTime(FIELD(rec, studyDate), FIELD(rec, studyTime), now);
  const std::string seriesTime = dicomTime(FIELD(rec, seriesDate), FIELD(rec, seriesTime), now);
  std::vector<std::string> row;
  bool found = false;
  auto fail = [](const char* text) {
    cocos2d::log("%s", text);
    return false;
  };

  if (ids.patientFound) {
    if (!statements::run(stmts->touchPatient, {now, toId(ids.patientID)}))
      return fail("failed to insert record into patient.");
  } else {
    if (!statements::run(stmts->addPatient, {FIELD(rec, patientName), FIELD(rec, patientID), FIELD(rec, birthDate),
                                             FIELD(rec, sex), now}))
      return fail("failed to insert record into patient.");
    if (!statements::first(stmts->findPatient, {FIELD(rec, patientName), FIELD(rec, patientID)}, row, found))
      return fail("failed to search DB.");
    if (!found) return fail("failed to insert record into patient.");
    ids.patientID = row[0];
    ids.patientUpdateTime = now;
  }

  if (ids.studyFound) {
    if (!statements::run(stmts->touchStudy, {studyTime, toId(ids.studyID)}))
      return fail("failed to insert record into study.");
  } else {
    if (!statements::run(stmts->addStudy, {toId(ids.patientID), FIELD(rec, studyUID), FIELD(rec, studyID),
                                           FIELD(rec, studyDescription), FIELD(rec, studyDate), FIELD(rec, studyTime),
                                           studyTime}))
      return fail("failed to insert record into study.");
    if (!statements::first(stmts->findStudy, {FIELD(rec, studyUID), toId(ids.patientID)}, row, found))
      return fail("failed to search DB.");
    if (!found) return fail("failed to insert record into study.");
    ids.studyID = row[0];
  }

  if (ids.seriesFound) {
    if (!statements::run(stmts->touchSeries, {seriesTime, toId(ids.seriesID)}))
      return fail("failed to insert record into series.");
  } else {
    if (!statements::run(stmts->addSeries, {toId(ids.studyID), FIELD(rec, seriesUID), FIELD(rec, seriesDate),
                                            FIELD(rec, seriesTime), FIELD(rec, studyDescription),
                                            FIELD(rec, seriesDescription), seriesTime, FIELD(rec, folder)}))
      return fail("failed to insert record into series.");
    if (!statements::first(stmts->findSeries, {FIELD(rec, seriesUID), toId(ids.studyID)}, row, found))
      return fail("failed to search DB.");
    if (!found) return fail("failed to insert record into series.");
    ids.seriesID = row[0];
  }

  if (ids.imageFound) return true;
  if (!statements::run(stmts->addImage, {toId(ids.seriesID), FIELD(rec, sopInstanceUID), FIELD(rec, instanceNumber),
                                         FIELD(rec, fileName)}))
    return fail("failed to insert record into image.");
  if (!statements::first(stmts->findImage, {FIELD(rec, sopInstanceUID), toId(ids.seriesID)}, row, found))
    return fail("failed to search DB.");
  if (!found) return fail("failed to insert record into image.");
  ids.imageID = row[0];
  return true;
}

void dicomDB::scanForRecovery(dicomDBRequest* r) {
  if (!r->recoverScanned) {
    r->recoverScanned = true;
    // The three levels of the tree: patient, study, series; dot-folders
    // (the server's and the import's temporary folders) are not part of it.
    std::vector<std::string> patients, studies, series;
    NSUI::listFolders(dbFolder, patients);
    for (auto& p : patients) NSUI::listFolders(p, studies);
    for (auto& s : studies) NSUI::listFolders(s, series);
    for (auto& e : series) {
      std::vector<std::string> files;
      NSUI::listFiles(e, files, false, true);
      for (auto& f : files) {
        std::string name = f.substr(f.rfind('/') + 1);
        struct stat st;
        if (name.empty() || name[0] == '.' || lstat(f.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (!notOlder(st.st_mtim, r->recoverSince)) continue;
        r->recoverFiles.push_back(f.substr(dbFolder.size()));
      }
    }
  }
  if (r->recoverFiles.size() > kRecoveryChunk) {
    auto* next = new dicomDBRequest();
    next->type = DB_REQUEST_SAVE_DICOM;
    next->recovery = true;
    next->recoverScanned = true;
    next->recoverSince = r->recoverSince;
    next->key = r->key;
    next->recoverFiles.assign(r->recoverFiles.begin() + kRecoveryChunk, r->recoverFiles.end());
    r->recoverFiles.resize(kRecoveryChunk);
    thread->addRequest(next);
    next->release();
  }
  const int language = currentLanguage();
  std::vector<std::string> row;
  for (const std::string& rel : r->recoverFiles) {
    size_t slash = rel.rfind('/');
    std::string folder = rel.substr(0, slash + 1);  // with its trailing "/", as series.path
    std::string name = rel.substr(slash + 1);
    std::vector<int64_t> seriesIds;
    {
      NSUI::NSDBStatement& st = stmts->seriesByPath;
      st.reset();
      if (st.bindAll({folder}))
        while (st.step()) seriesIds.push_back(st.columnInt(0));
      st.reset();
    }
    bool known = false;
    for (int64_t id : seriesIds) {
      bool has = false;
      if (statements::first(stmts->imageByFile, {id, name}, row, has) && has) known = true;
    }
    if (known) continue;
    auto rec = std::make_unique<dcmSDK::DCM_MESSAGE>();
    std::string why;
    if (!dcmSDK::dcmServer::describeFile((dbFolder + rel).c_str(), language, *rec, &why)) {
      cocos2d::log("recovery: %s left out: %s", rel.c_str(), why.c_str());
      continue;
    }
    // Recorded where it lies.
    std::snprintf(rec->folder, sizeof rec->folder, "%s", folder.c_str());
    std::snprintf(rec->fileName, sizeof rec->fileName, "%s", name.c_str());
    r->records.push_back(rec.release());
  }
  r->recoverFiles.clear();
}

void dicomDB::storeBatch(dicomDBRequest* r, char* tagBuffer) {
  if (!stmts) {
    stmts = std::make_unique<statements>(db);
    if (!stmts->valid()) {
      stmts.reset();
      cocos2d::log("failed to search DB.");
    }
  }
  auto failAll = [&] {
    for (auto* rec : r->records) delete rec;
    r->records.clear();
    r->outcomes.clear();
    for (auto& s : r->done) delete s.row;
    r->done.clear();
    dicomStoreFailedOnce();
  };
  if (!stmts) return failAll();
  if (r->recovery) scanForRecovery(r);
  if (r->records.empty()) return;
  if (!db.beginTransaction()) {
    cocos2d::log("failed to save new dicom record to DB");
    return failAll();
  }
  const int language = currentLanguage();
  // Tags of each touched series' first image, read once per batch.
  struct firstImageTags {
    bool opened = false;
    std::vector<std::string> values;
  };
  std::map<std::string, firstImageTags> tagsBySeries;
  size_t stored = 0;

  for (dcmSDK::DCM_MESSAGE*& recPtr : r->records) {
    std::unique_ptr<dcmSDK::DCM_MESSAGE> rec(recPtr);
    recPtr = nullptr;
    db.execute("SAVEPOINT record;");
    auto undo = [&](const char* text) {
      if (text) cocos2d::log("%s", text);
      db.execute("ROLLBACK TO record;");
      db.execute("RELEASE record;");
      dicomStoreFailedOnce();
    };
    dicomRecordIds ids;
    if (!findRecord(FIELD(*rec, patientName), FIELD(*rec, patientID), FIELD(*rec, studyUID), FIELD(*rec, seriesUID),
                    FIELD(*rec, sopInstanceUID), ids)) {
      undo(nullptr);
      continue;
    }
    if (ids.imageFound) {
      // Received again: nothing changes, nothing is posted.
      db.execute("RELEASE record;");
      ++stored;
      r->outcomes.emplace_back(FIELD(*rec, sopInstanceUID), false);
      continue;
    }
    bool studyNew = !ids.studyFound, seriesNew = !ids.seriesFound;
    if (!saveRecord(*rec, ids)) {
      undo("failed to save new dicom record to DB");
      continue;
    }
    std::string json;
    NSUI::UIJson::setJsonString(json, "patientID", ids.patientID);
    NSUI::UIJson::setJsonString(json, "studyID", ids.studyID);
    NSUI::UIJson::setJsonString(json, "seriesID", ids.seriesID);
    NSUI::UIJson::setJsonString(json, "studyIDHospital", FIELD(*rec, studyID));
    NSUI::UIJson::setJsonString(json, "patientIDHospital", FIELD(*rec, patientID));
    NSUI::UIJson::setJsonString(json, "name", FIELD(*rec, patientName));
    NSUI::UIJson::setJsonString(json, "sex", FIELD(*rec, sex));
    NSUI::UIJson::setJsonString(json, "birthday", FIELD(*rec, birthDate));
    NSUI::UIJson::setJsonString(json, "updateTime", ids.patientUpdateTime);
    NSUI::UIJson::setJsonString(json, "studyDate", dottedDate(FIELD(*rec, studyDate)));
    NSUI::UIJson::setJsonString(json, "studyDesc", FIELD(*rec, studyDescription));
    NSUI::UIJson::setJsonString(json, "studyNumber", studyNew ? "1" : "0");
    NSUI::UIJson::setJsonString(json, "seriesNumber", seriesNew ? "1" : "0");
    NSUI::UIJson::setJsonString(json, "imageNumber", "1");
    NSUI::UIJson::setJsonString(json, "dcmFolder", FIELD(*rec, folder));
    db.execute("RELEASE record;");
    ++stored;
    r->outcomes.emplace_back(FIELD(*rec, sopInstanceUID), true);

    // The series row as it reads after this image.
    auto* model = new NSUI::NSDBDataModel();
    std::vector<std::string> srow, count, first;
    bool found = false, hasCount = false, hasFirst = false;
    const int64_t seriesId = toId(ids.seriesID);
    if (!statements::first(stmts->seriesRow, {seriesId}, srow, found) || !found ||
        !statements::first(stmts->imageCount, {seriesId}, count, hasCount) ||
        !statements::first(stmts->firstImage, {seriesId}, first, hasFirst)) {
      cocos2d::log("failed to search DB.");
      delete model;
      r->done.push_back({json, nullptr});
      continue;
    }
    model->addValue(srow[0]);
    model->addValue(srow[2] + " " + srow[3]);
    model->addValue(srow[4]);
    model->addValue(srow[5]);
    model->addIntValue(hasCount ? std::atoi(count[0].c_str()) : 0);
    auto it = tagsBySeries.find(ids.seriesID);
    if (it == tagsBySeries.end()) {
      firstImageTags tags;
      dcmSDK::dcmReader reader;
      reader.setLanguage(language);
      if (hasFirst && reader.setFile((dbFolder + srow[5] + "/" + first[0]).c_str())) {
        tags.opened = true;
        auto read = [&](unsigned short g, unsigned short e) {
          // An absent tag leaves "" in the buffer.
          reader.readDicomTagString(g, e, tagBuffer, 1024);
          return std::string(tagBuffer);
        };
        tags.values.push_back(read(0x0028, 0x0011));
        tags.values.push_back(read(0x0028, 0x0010));
        tags.values.push_back(read(0x0008, 0x0080));
        std::string modality = read(0x0008, 0x0060);
        tags.values.push_back(modality);
        if (modality == "CT") {
          std::string kv = read(0x0018, 0x0060);
          std::string ma = read(0x0018, 0x1151);
          tags.values.push_back(kv + "kV " + ma + "mA");
        } else {
          tags.values.push_back("");
        }
        tags.values.push_back(read(0x0020, 0x0011));
      }
      it = tagsBySeries.emplace(ids.seriesID, std::move(tags)).first;
    }
    if (it->second.opened)
      for (const auto& v : it->second.values) model->addValue(v);
    model->commitRow();
    r->done.push_back({json, model});
  }
  r->records.clear();
  if (!db.commit()) {
    cocos2d::log("failed to save new dicom record to DB");
    db.rollback();
    return failAll();
  }
  if (!r->recovery)
    for (size_t i = 0; i < stored; ++i) dicomRecordStored();
  if (!r->done.empty()) r->text = r->done.back().json;
}

// ---------------------------------------------------------------------------
// Lists, on the request thread

namespace {

// Collects every row of a prepared statement run with the values.
bool allRows(NSUI::NSDBStatement& st, const NSUI::NSDBParams& params, std::vector<std::vector<std::string>>& rows) {
  rows.clear();
  st.reset();
  bool ok = st.isValid() && st.bindAll(params);
  while (ok && st.step()) {
    std::vector<std::string> row;
    for (int i = 0; i < st.columnCount(); ++i) row.push_back(st.columnIsNull(i) ? "None" : st.columnText(i));
    rows.push_back(std::move(row));
  }
  ok = ok && st.done();
  st.reset();
  return ok;
}

}  // namespace

void dicomDB::queryPatientRows(dicomDBRequest* r) {
  auto* model = new NSUI::NSDBDataModel();
  r->result = model;
  NSUI::NSDBStatement list(db, "select ID,patientIDHospital,name,birthday,sex from patient order by updateTime desc");
  NSUI::NSDBStatement firstSeries(db,
      "select series.updateTime,series.studyDesc,path from patient,study,series where patient.ID=study.patientID "
      "and study.ID=series.studyID and patient.ID=? order by series.updateTime");
  NSUI::NSDBStatement studies(db, "select count() from patient,study where patient.ID=study.patientID and patient.ID=?");
  NSUI::NSDBStatement series(db,
      "select count() from patient,study,series where patient.ID=study.patientID and study.ID=series.studyID and "
      "patient.ID=?");
  NSUI::NSDBStatement images(db,
      "select count() from patient,study,series,image where patient.ID=study.patientID and study.ID=series.studyID "
      "and image.seriesID=series.ID and patient.ID=?");
  std::vector<std::vector<std::string>> patients, rows;
  auto fail = [&] {
    cocos2d::log("failed to search DB.");
    model->clear();
  };
  if (!allRows(list, {}, patients)) return fail();
  for (auto& p : patients) {
    const int64_t id = toId(p[0]);
    std::vector<std::string> first;
    bool found = false;
    if (!statements::first(firstSeries, {id}, first, found)) return fail();
    if (!found) continue;
    std::vector<std::string> nStudies, nSeries, nImages;
    bool a = false, b = false, c = false;
    if (!statements::first(studies, {id}, nStudies, a) || !statements::first(series, {id}, nSeries, b) ||
        !statements::first(images, {id}, nImages, c) || !a || !b || !c)
      return fail();
    model->addValue(p[0]);
    model->addValue(p[1]);
    model->addValue(p[2]);
    model->addValue(dottedDate(p[3]));
    model->addValue(p[4]);
    model->addValue(first[0]);
    model->addValue(first[1]);
    model->addValue(first[2]);
    model->addValue(nStudies[0]);
    model->addValue(nSeries[0]);
    model->addValue(nImages[0]);
    model->commitRow();
  }
}

void dicomDB::queryStudyRows(dicomDBRequest* r, char* tagBuffer) {
  auto* model = new NSUI::NSDBDataModel();
  r->result = model;
  NSUI::NSDBStatement list(db,
      "select ID,patientID,studyIDHospital,date,time,studyDesc from study where patientID=? order by updateTime desc");
  NSUI::NSDBStatement seriesOf(db,
      "select series.ID,series.seriesUID,series.date,series.time,seriesDesc,path from study,series where "
      "study.ID=series.studyID and study.ID=?");
  NSUI::NSDBStatement count(db, "select count(*) from image where seriesID=?");
  NSUI::NSDBStatement first(db, "select file from image where seriesID=? order by ID limit 1");
  auto fail = [&] {
    cocos2d::log("failed to search DB.");
    model->clear();
  };
  std::vector<std::vector<std::string>> studies, series;
  // The id is bound as text, compared with the integer column as SQLite
  // compares a quoted literal.
  if (!allRows(list, {r->text}, studies)) return fail();
  const int language = currentLanguage();
  for (auto& st : studies) {
    model->addValue("study");
    model->addValue(st[0]);
    model->addValue(st[1]);
    model->addValue(st[2]);
    model->addValue(dottedDate(st[3]));
    model->addValue(st[5]);
    model->commitRow();
    if (!allRows(seriesOf, {toId(st[0])}, series)) return fail();
    for (auto& e : series) {
      std::vector<std::string> n, f;
      bool hasCount = false, hasFirst = false;
      if (!statements::first(count, {toId(e[0])}, n, hasCount) || !statements::first(first, {toId(e[0])}, f, hasFirst))
        return fail();
      if (!hasFirst) continue;
      dcmSDK::dcmReader reader;
      reader.setLanguage(language);
      if (!reader.setFile((dbFolder + e[5] + "/" + f[0]).c_str())) continue;
      auto read = [&](unsigned short g, unsigned short el, const char* fallback, bool& ok) {
        ok = reader.readDicomTagString(g, el, tagBuffer, 1024);
        return std::string(ok ? tagBuffer : fallback);
      };
      bool okCols = false, okRows = false, ok = false;
      std::string cols = read(0x0028, 0x0011, "", okCols), rowsTag = read(0x0028, 0x0010, "", okRows);
      if (!okCols || !okRows) continue;
      std::string institution = read(0x0008, 0x0080, "Unknown Institution", ok);
      std::string modality = read(0x0008, 0x0060, "Unknown", ok);
      std::string dose;
      if (modality == "CT") {
        std::string kv = read(0x0018, 0x0060, "", ok), ma = read(0x0018, 0x1151, "", ok);
        dose = kv + "kV " + ma + "mA";
      }
      std::string number = read(0x0020, 0x0011, "", ok);
      for (const std::string& v : {e[0], r->text, e[2] + " " + e[3], e[4], e[5], n[0], cols, rowsTag, institution,
                                   modality, dose, number})
        model->addValue(v);
      model->commitRow();
    }
  }
}

void dicomDB::queryFavoriteRows(dicomDBRequest* r) {
  auto* model = new NSUI::NSDBDataModel();
  r->result = model;
  NSUI::NSDBStatement list(db,
      "select ID,type,message,icon,image,updateTime,scale from favorite where valid=1 order by updateTime asc");
  std::vector<std::vector<std::string>> rows;
  if (!allRows(list, {}, rows)) {
    model->clear();
    return;
  }
  std::string writable = cocos2d::FileUtils::getInstance()->getWritablePath();
  for (auto& row : rows) {
    if (row.size() != 7) continue;
    row[4] = writable + row[4];
    // The float column reads back as "1.0" for a scale written as "1": the
    // screens get the scale in the text it was written with.
    if (!row[6].empty()) row[6] = NSUI::formatFloat(static_cast<float>(std::atof(row[6].c_str())), 2);
    for (auto& v : row) model->addValue(v);
    model->commitRow();
  }
}

// ---------------------------------------------------------------------------
// Synchronous look-ups

void dicomDB::getSeriesImages(NSUI::NSDBDataModel* model, const std::string& seriesId) {
  if (!model) return;
  std::lock_guard<std::recursive_mutex> lock(mutex);
  model->clear();
  if (!syncDb.getRecord("select instanceID,file from image where image.seriesID=? order by CAST(instanceID as UNSIGNED)",
                        {static_cast<int64_t>(toId(seriesId))}, model)) {
    model->clear();
    cocos2d::log("failed to search DB.");
  }
}

bool dicomDB::hasPatient(const std::string& patientId) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  NSUI::NSDBDataModel model;
  return syncDb.getRecord("select ID from patient where ID=?", {static_cast<int64_t>(toId(patientId))}, &model) &&
         model.getRowCount() > 0;
}

// ---------------------------------------------------------------------------
// Deletions

namespace {

// The components of a series path, or empty when one of them could leave
// the folder it is in.
std::vector<std::string> safeComponents(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += path[i];
    }
  }
  for (auto& c : parts)
    if (c == "." || c == "..") return {};
  return parts;
}

// root + the first n components, when each of them is a real folder (not a
// symbolic link) inside the root; "" otherwise.
std::string folderInside(const std::string& root, const std::vector<std::string>& parts, size_t n) {
  if (n == 0 || n > parts.size()) return "";
  std::string at = root;
  for (size_t i = 0; i < n; ++i) {
    at += parts[i];
    struct stat st;
    if (lstat(at.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "";
    at += "/";
  }
  return at;
}

}  // namespace

void dicomDB::removeSeriesFolders(const std::vector<std::string>& paths, bool patientGone) {
  std::string root = getRoot();
  if (root.empty()) return;
  std::error_code ec;
  std::vector<std::string> patientFolders;
  for (const auto& path : paths) {
    auto parts = safeComponents(path);
    std::string series = folderInside(root, parts, parts.size());
    if (!series.empty()) std::filesystem::remove_all(series, ec);
    if (patientGone && parts.size() >= 3) patientFolders.push_back(parts[0]);
  }
  for (const auto& patient : patientFolders) {
    // Another patient's series may share the folder (rows not written by
    // this program): then it stays.
    NSUI::NSDBDataModel left;
    if (!syncDb.getRecord("select count(*) from series where substr(path,1,?)=?",
                          {static_cast<int64_t>(patient.size() + 1), patient + "/"}, &left) ||
        left.getValue(0, 0) != "0")
      continue;
    std::string folder = folderInside(root, {patient}, 1);
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  }
}

bool dicomDB::deleteSeries(const std::string& seriesId) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  const int64_t id = toId(seriesId);
  if (!syncDb.beginTransaction()) return false;
  auto fail = [&] {
    syncDb.rollback();
    return false;
  };
  NSUI::NSDBDataModel m;
  if (!syncDb.getRecord("select studyID,path from series where id=?", {id}, &m) || m.getRowCount() == 0) return fail();
  const int64_t studyId = toId(m.getValue(0, 0));
  const std::string path = m.getValue(0, 1);
  if (!syncDb.getRecord("select patientID from study where id=?", {studyId}, &m) || m.getRowCount() == 0) return fail();
  const int64_t patientId = toId(m.getValue(0, 0));
  if (!syncDb.execute("delete from image where seriesID=?", {id}) || !syncDb.execute("delete from series where id=?", {id}))
    return fail();
  // A failed look-up is run once more; failing again ends the deletion.
  auto none = [&](const char* sql, int64_t value, bool& empty) {
    if (!syncDb.getRecord(sql, {value}, &m) && !syncDb.getRecord(sql, {value}, &m)) return false;
    empty = m.getRowCount() == 0;
    return true;
  };
  bool noSeries = false, noStudy = false;
  if (!none("select id from series where studyID=?", studyId, noSeries)) return fail();
  if (noSeries && !syncDb.execute("delete from study where id=?", {studyId})) return fail();
  if (!none("select id from study where patientID=?", patientId, noStudy)) return fail();
  if (noStudy && !syncDb.execute("delete from patient where id=?", {patientId})) return fail();
  if (!syncDb.commit()) return fail();
  removeSeriesFolders({path}, noStudy);
  return true;
}

bool dicomDB::deletePatient(const std::string& patientId) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  const int64_t id = toId(patientId);
  if (!syncDb.beginTransaction()) return false;
  auto fail = [&] {
    syncDb.rollback();
    return false;
  };
  NSUI::NSDBDataModel studies, series;
  std::vector<std::string> paths;
  if (!syncDb.getRecord("select id from study where patientID=?", {id}, &studies)) return fail();
  for (int s = 0; s < studies.getRowCount(); ++s) {
    const int64_t studyId = toId(studies.getValue(s, 0));
    if (!syncDb.getRecord("select id,path from series where studyID=?", {studyId}, &series)) return fail();
    for (int e = 0; e < series.getRowCount(); ++e) {
      if (!syncDb.execute("delete from image where seriesID=?", {toId(series.getValue(e, 0))})) return fail();
      paths.push_back(series.getValue(e, 1));
    }
    if (!syncDb.execute("delete from series where studyID=?", {studyId})) return fail();
  }
  if (!syncDb.execute("delete from study where patientID=?", {id}) ||
      !syncDb.execute("delete from patient where id=?", {id}))
    return fail();
  if (!syncDb.commit()) return fail();
  // Folders only after the commit: a failure above leaves every file.
  removeSeriesFolders(paths, true);
  return true;
}

// ---------------------------------------------------------------------------
// Favourites and neighbours

int32_t dicomDB::getMaxValue(const std::string& table, const std::string& column, bool* ok) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  if (ok) *ok = false;
  // Only the library's own table and column names come here.
  if (table != "favorite" || column != "ID") return 0;
  NSUI::NSDBDataModel m;
  if (!syncDb.getRecord("select max(ID) from favorite", &m) || m.getRowCount() == 0) {
    cocos2d::log("failed to search DB.");
    return 0;
  }
  if (ok) *ok = true;
  return std::atoi(m.getValue(0, 0).c_str());  // an empty table gives "None": 0
}

void dicomDB::addFavoriteMarker() {
  if (!isOpen) return;
  uint32_t t = static_cast<uint32_t>(static_cast<int64_t>(std::time(nullptr)));
  if (static_cast<uint32_t>(t - lastMarkerTime) < 30000000u) return;
  lastMarkerTime = t;
  std::lock_guard<std::recursive_mutex> lock(mutex);
  if (!syncDb.beginTransaction()) return;
  bool ok = false;
  int32_t id = getMaxValue("favorite", "ID", &ok) + 1;
  if (ok && syncDb.execute("insert into favorite(ID,type,message,icon,image,valid,updateTime,scale) values "
                           "(?,3,'','','',1,?,1.0)",
                           {static_cast<int64_t>(id), NSUI::getCurrentTimeString()}) &&
      syncDb.commit())
    return;
  cocos2d::log("failed to insert record into favorite.");
  syncDb.rollback();
}

int32_t dicomDB::addFavorite(int type, const std::string& path, float scale) {
  if (!isOpen) return -1;
  addFavoriteMarker();
  std::string writable = cocos2d::FileUtils::getInstance()->getWritablePath();
  if (writable.empty() || path.compare(0, writable.size(), writable) != 0) {
    cocos2d::log("favourite %s lies outside the writable path; not recorded", path.c_str());
    return -1;
  }
  std::string image = path.substr(writable.size());
  std::lock_guard<std::recursive_mutex> lock(mutex);
  if (!syncDb.beginTransaction()) return -1;
  bool ok = false;
  int32_t id = getMaxValue("favorite", "ID", &ok) + 1;
  if (ok && syncDb.execute("insert into favorite(ID,type,message,icon,image,valid,updateTime,scale) values "
                           "(?,?,'','',?,1,?,?)",
                           {static_cast<int64_t>(id), static_cast<int64_t>(type), image, NSUI::getCurrentTimeString(),
                            NSUI::formatFloat(scale, 2)}) &&
      syncDb.commit())
    return id;
  cocos2d::log("failed to insert record into favorite.");
  syncDb.rollback();
  return -1;
}

int32_t dicomDB::addCaptureFavorite(const std::string& path, float scale) {
  return addFavorite(FAVORITE_TYPE_CAPTURE, path, scale);
}

void dicomDB::addDicomFavorite(const std::string& path, float scale) { addFavorite(FAVORITE_TYPE_DICOM, path, scale); }

bool dicomDB::deleteFavorite(int32_t id) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  if (!syncDb.beginTransaction()) return false;
  if (syncDb.execute("delete from favorite where ID=?", {static_cast<int64_t>(id)}) &&
      syncDb.execute("delete from favoriteDetail where favoriteID=?", {static_cast<int64_t>(id)}) && syncDb.commit())
    return true;
  syncDb.rollback();
  return false;
}

void dicomDB::saveNeighbor(int32_t device, const std::string& name, const std::string& ip, const std::string& port,
                           const std::string& appid) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  if (!syncDb.beginTransaction()) return;
  const std::string now = NSUI::getCurrentTimeString();
  NSUI::NSDBDataModel m;
  bool ok = syncDb.getRecord("select ID from neighbor where appid=?", {appid}, &m);
  if (ok && m.getRowCount() > 0)
    ok = syncDb.execute("update neighbor set device=?,name=?,wifi=?,port=?,ip=?  where ID=?",
                        {static_cast<int64_t>(device), name, now, port, ip, static_cast<int64_t>(toId(m.getValue(0, 0)))});
  else if (ok)
    ok = syncDb.execute("insert into neighbor(device,name,lastTime,saveType,ip,port,appid,wifi) values (?,?,'',3,?,?,?,?)",
                        {static_cast<int64_t>(device), name, ip, port, appid, now});
  if (!(ok && syncDb.commit())) syncDb.rollback();
}

void dicomDB::resetNeighborTime(const std::string& appid) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  if (!syncDb.beginTransaction()) return;
  NSUI::NSDBDataModel m;
  if (!syncDb.getRecord("select ID from neighbor where appid=?", {appid}, &m) || m.getRowCount() == 0) {
    syncDb.rollback();
    return;
  }
  std::string today = NSUI::getCurrentTimeString().substr(0, 10) + " 00:00:00";
  if (!(syncDb.execute("update neighbor set wifi=?  where ID=?", {today, static_cast<int64_t>(toId(m.getValue(0, 0)))}) &&
        syncDb.commit()))
    syncDb.rollback();
}

void dicomDB::getNeighbors(std::vector<dcmNeighbor>& list) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  list.clear();
  NSUI::NSDBDataModel m;
  if (!syncDb.getRecord("select device,name,lastTime,saveType,ip,ID,wifi,appid,port from neighbor order by lastTime desc",
                        &m))
    return;
  for (int r = 0; r < m.getRowCount(); ++r) {
    dcmNeighbor n;
    n.device = std::atoi(m.getValue(r, 0).c_str());
    n.name = m.getValue(r, 1);
    n.lastTime = m.getValue(r, 2);
    n.saveType = std::atoi(m.getValue(r, 3).c_str());
    n.ip = m.getValue(r, 4);
    n.ID = std::atoi(m.getValue(r, 5).c_str());
    n.wifi = m.getValue(r, 6);
    n.appid = m.getValue(r, 7);
    n.port = m.getValue(r, 8);
    list.push_back(n);
  }
}
