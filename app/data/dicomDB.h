// The local patient library: the SQLite file "dicomDB" under
// <writable path>kq/dicom/, the request thread that stores received and
// imported files and runs the slow queries, and the program's own storage
// server, whose root is the library folder.
//
// Threads and connections. The request thread owns the connection `db` and
// runs every queued request on it (stores, recovery, patient, study and
// favourite lists) without taking `mutex`. Synchronous operations, callable
// from any thread, use the second connection `syncDb`, each holding the
// recursive `mutex` for its whole run, so that no connection is ever used by
// two threads at once. Both connections run in WAL mode with
// synchronous=NORMAL and a 5 s busy timeout: readers never wait, a writer
// waits at most for the one write transaction in progress.
//
// How a file reaches the library. The storage server's message (and the
// import) post NOTIFY_DICOM_FILE_STORED with the file's record in a
// dicomRecordData payload; onNotification takes the record and adds it to
// the last pending store batch (at most 128 records) or queues a new one.
// A batch is one write transaction with a savepoint per record, so a failing
// record loses only itself. Back on the UI thread the completion removes the
// touched series' cache and thumbnails and posts, for every stored record in
// arrival order, NOTIFY_PATIENT_ROW_UPDATE (2002) and then
// NOTIFY_SERIES_RECORD_ADDED (2001, the series row in a seriesRowData that
// owns it), both serial, with the library as sender. While the file is not
// open the server refuses every store.
//
// Recovery. start() leaves a run marker "<root>.running" that stop() removes
// only when every record handed over was stored and no store failed. A
// marker left by an earlier run means files may lie in the tree without rows:
// the files modified since that marker was written and missing from table
// image are described and stored where they lie, in chunks of 500, ahead of
// other requests.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSDBUtil.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSThread.h"

enum {
  DB_REQUEST_PATIENTS = 0,
  DB_REQUEST_STUDIES = 1,
  DB_REQUEST_SAVE_DICOM = 2,
  DB_REQUEST_FAVORITES = 3,
};

// Request keys: the 64-bit FNV-1a hash of the text folded as h ^ (h >> 32),
// low 32 bits.
int dicomRequestKey(const std::string& text);

// What findRecord learnt of the rows of one record.
struct dicomRecordIds {
  bool patientFound = false;
  bool studyFound = false;
  bool seriesFound = false;
  bool imageFound = false;
  std::string patientID;
  std::string studyID;
  std::string seriesID;
  std::string imageID;
  std::string patientUpdateTime;
};

class dicomDB;

enum { FAVORITE_TYPE_CAPTURE = 1, FAVORITE_TYPE_DICOM = 2, FAVORITE_TYPE_MARKER = 3 };

// One row of the neighbour table.
struct dcmNeighbor {
  int32_t ID = -1;
  int32_t device = 2;
  std::string lastTime;
  std::string wifi;  // last seen
  int32_t saveType = 3;
  std::string ip;
  std::string port = "4587";
  std::string name;
  bool flag = false;
  int32_t state = 0;
  std::string appid;
};

class dicomDBRequest : public NSUI::NSThreadRequest {
 public:
  dicomDBRequest();
  // Frees the result, the records still held and the series rows not handed on.
  ~dicomDBRequest() override;

  NSUI::NSDBDataModel* result = nullptr;
  int type = DB_REQUEST_PATIENTS;
  std::function<void(NSUI::NSDBDataModel*)> callback;
  void* owner = nullptr;

  // Store batch: the records in arrival order, owned by the request until
  // the thread has stored them.
  std::vector<dcmSDK::DCM_MESSAGE*> records;
  // After processing: one JSON text and series row per newly stored record.
  struct stored {
    std::string json;
    NSUI::NSDBDataModel* row = nullptr;
  };
  std::vector<stored> done;
  // Every record the thread finished with successfully: its SOP Instance
  // UID and whether it was new.
  std::vector<std::pair<std::string, bool>> outcomes;

  // Recovery: files (relative to the root) still to be looked at, and the
  // time from which a file counts.
  bool recovery = false;
  std::vector<std::string> recoverFiles;
  bool recoverScanned = false;
  struct timespec recoverSince {};
};

class dicomDBThread : public NSUI::NSThread {
 public:
  dicomDBThread();

  void processRequest(NSUI::NSThreadRequest* request) override;

  // Adds the record to the last pending request when that is a store batch
  // that has not started and holds fewer than 128 records. The request owns
  // it then; false leaves it with the caller.
  bool joinPendingBatch(dcmSDK::DCM_MESSAGE* record);
  // Clears the owner of every pending, finished and running request whose
  // owner is `owner`.
  void detachOwner(void* owner);

  dicomDB* database = nullptr;
  NSUI::NSDBUtil* connection = nullptr;
  char tagBuffer[1024];

 protected:
  ~dicomDBThread() override;
};

class dicomDB : public cocos2d::Ref, public NSUI::NSThreadSafeDestroy {
 public:
  static constexpr const char* kPort = "4587";
  static constexpr const char* kTitle = "fernwick";
  static constexpr size_t kBatchLimit = 128;
  static constexpr size_t kRecoveryChunk = 500;

  dicomDB();
  ~dicomDB() override;

  virtual bool start();
  virtual void stop();

  // The storage root (the library folder, ending with "/").
  std::string getRoot();
  // Where the library keeps its files: "<writable path>kq/dicom/".
  static std::string defaultFolder();

  void queryPatients(const std::function<void(NSUI::NSDBDataModel*)>& callback);
  void queryStudies(const std::function<void(NSUI::NSDBDataModel*)>& callback, const std::string& patientId,
                    void* owner);
  // Favourite rows, oldest first: ID, type, message, icon, full path (the
  // writable path in front), update time, scale (at most two decimals, as
  // NSUI::formatFloat writes it: "1.33", "1").
  void queryFavorites(const std::function<void(NSUI::NSDBDataModel*)>& callback);
  void detachOwner(void* owner);

  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);
  void onRequestFinished(NSUI::NSThreadRequest* request);

  // Store steps, on the request thread's connection (inside its batch).
  bool findRecord(const std::string& patientName, const std::string& patientId, const std::string& studyUID,
                  const std::string& seriesUID, const std::string& imageUID, dicomRecordIds& ids);
  bool saveRecord(const dcmSDK::DCM_MESSAGE& record, dicomRecordIds& ids);

  // Synchronous look-ups on the second connection, under `mutex`; any thread.
  // Image rows (instanceID, file) of a series in instance-number order.
  void getSeriesImages(NSUI::NSDBDataModel* model, const std::string& seriesId);
  bool hasPatient(const std::string& patientId);
  // Deletions: rows first, in one transaction; folders only after the
  // commit, and only folders strictly inside the root at the depth the
  // library gives them (patient/study/series), never through a symbolic
  // link. A patient folder still used by another series row stays.
  bool deleteSeries(const std::string& seriesId);
  bool deletePatient(const std::string& patientId);

  // Favourites and neighbours, on the second connection under `mutex`.
  void addFavoriteMarker();
  int32_t addCaptureFavorite(const std::string& path, float scale);
  void addDicomFavorite(const std::string& path, float scale);
  int32_t getMaxValue(const std::string& table, const std::string& column, bool* ok = nullptr);
  bool deleteFavorite(int32_t id);
  void saveNeighbor(int32_t device, const std::string& name, const std::string& ip, const std::string& port,
                    const std::string& appid);
  void resetNeighborTime(const std::string& appid);
  void getNeighbors(std::vector<dcmNeighbor>& list);

  bool isOpen = false;
  int32_t dbVersion = 4;
  std::string dbFolder;
  NSUI::NSDBUtil db;
  NSUI::NSDBUtil syncDb;
  dcmSDK::dcmServer server;
  dicomDBThread* thread = nullptr;
  std::recursive_mutex mutex;
  int32_t favoriteCount = 0;
  uint32_t lastMarkerTime = 0;

  // Called on the UI thread, after the commit, for every record stored by a
  // batch (SOP Instance UID, true when new, false when already known). For
  // hosts and tools; the screens follow 2002 and 2001.
  std::function<void(const std::string& sopInstanceUID, bool isNew)> storeObserver;

  // The run marker and the import's temporary folder.
  std::string runMarkerPath() const { return dbFolder + ".running"; }
  std::string importTempFolder() const { return dbFolder + ".import/"; }

 protected:
  void initDB();
  bool createDB(const std::string& folder);

 private:
  friend class dicomDBThread;
  struct statements;

  bool openConnection(NSUI::NSDBUtil& conn, const std::string& path);
  void storeBatch(dicomDBRequest* request, char* tagBuffer);
  // The lists, on the request thread's connection; an empty result on
  // any failure.
  void queryPatientRows(dicomDBRequest* request);
  void queryStudyRows(dicomDBRequest* request, char* tagBuffer);
  void queryFavoriteRows(dicomDBRequest* request);
  void removeSeriesFolders(const std::vector<std::string>& paths, bool patientGone);
  int32_t addFavorite(int type, const std::string& path, float scale);
  void scanForRecovery(dicomDBRequest* request);
  void queueRecovery(const struct timespec& since);
  void finishStores(dicomDBRequest* request);

  std::unique_ptr<statements> stmts;  // request thread only
  bool markerWritten = false;
};
