// Payloads that own what they carry.
//
// A stored-file notification (NOTIFY_DICOM_FILE_STORED) carries its
// dcmSDK::DCM_MESSAGE in a dicomRecordData, and a series-row notification
// (NOTIFY_SERIES_RECORD_ADDED) its NSUI::NSDBDataModel row in a
// seriesRowData. The payload deletes what it still holds when it goes, so a
// record or row that nobody takes never leaks. An observer that keeps one
// takes it out (takeRecord / takeRow: it owns it from then on, and observers
// later in line see null) or copies it; nobody deletes userData directly.
#pragma once

#include <atomic>
#include <cstdint>

#include "dcmsdk/dcmSDK.h"
#include "toolkit/foundation/NSDBUtil.h"
#include "toolkit/foundation/NSNotificationCenter.h"

class dicomRecordData : public NSUI::NSNotificationData {
 public:
  // Takes ownership of rec (may be null). Counts it as handed over to the
  // library (see dicomRecordsInFlight).
  explicit dicomRecordData(dcmSDK::DCM_MESSAGE* rec);
  ~dicomRecordData() override;
  // Frees the record along with the other fields.
  bool init() override;

  dcmSDK::DCM_MESSAGE* record() const { return static_cast<dcmSDK::DCM_MESSAGE*>(userData); }
  // The record, now owned by the caller; null when already taken.
  dcmSDK::DCM_MESSAGE* takeRecord();
  // The record of a stored-file payload, taken out of it; null for any other
  // payload or when already taken.
  static dcmSDK::DCM_MESSAGE* takeFrom(NSUI::NSNotificationData* data);
};

class seriesRowData : public NSUI::NSNotificationData {
 public:
  explicit seriesRowData(NSUI::NSDBDataModel* row);
  ~seriesRowData() override;
  bool init() override;

  NSUI::NSDBDataModel* row() const { return static_cast<NSUI::NSDBDataModel*>(userData); }
  NSUI::NSDBDataModel* takeRow();
  static NSUI::NSDBDataModel* takeFrom(NSUI::NSNotificationData* data);
};

// Records handed over to the library (by the storage server's message or the
// import) whose store has not ended successfully yet, and whether a store
// failed, since the process started or the last reset. The library's run is
// clean only when both are zero / false at its stop.
int64_t dicomRecordsInFlight();
bool dicomStoreFailed();
void dicomRecordStored();      // one record's store ended (new or already known)
void dicomStoreFailedOnce();   // a store failed after its file was placed
void dicomResetRecordCounts();
