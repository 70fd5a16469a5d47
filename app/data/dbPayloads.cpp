#include "app/data/dbPayloads.h"

namespace {
std::atomic<int64_t> g_inFlight{0};
std::atomic<bool> g_failed{false};
}  // namespace

dicomRecordData::dicomRecordData(dcmSDK::DCM_MESSAGE* rec) {
  userData = rec;
  if (rec) g_inFlight.fetch_add(1);
}

dicomRecordData::~dicomRecordData() { delete takeRecord(); }

bool dicomRecordData::init() {
  delete takeRecord();
  return NSNotificationData::init();
}

dcmSDK::DCM_MESSAGE* dicomRecordData::takeRecord() {
  auto* rec = static_cast<dcmSDK::DCM_MESSAGE*>(userData);
  userData = nullptr;
  return rec;
}

dcmSDK::DCM_MESSAGE* dicomRecordData::takeFrom(NSUI::NSNotificationData* data) {
  auto* own = dynamic_cast<dicomRecordData*>(data);
  return own ? own->takeRecord() : nullptr;
}

seriesRowData::seriesRowData(NSUI::NSDBDataModel* row) { userData = row; }

seriesRowData::~seriesRowData() { delete takeRow(); }

bool seriesRowData::init() {
  delete takeRow();
  return NSNotificationData::init();
}

NSUI::NSDBDataModel* seriesRowData::takeRow() {
  auto* row = static_cast<NSUI::NSDBDataModel*>(userData);
  userData = nullptr;
  return row;
}

NSUI::NSDBDataModel* seriesRowData::takeFrom(NSUI::NSNotificationData* data) {
  auto* own = dynamic_cast<seriesRowData*>(data);
  return own ? own->takeRow() : nullptr;
}

int64_t dicomRecordsInFlight() { return g_inFlight.load(); }
bool dicomStoreFailed() { return g_failed.load(); }
void dicomRecordStored() { g_inFlight.fetch_sub(1); }
void dicomStoreFailedOnce() { g_failed.store(true); }
void dicomResetRecordCounts() {
  g_inFlight.store(0);
  g_failed.store(false);
}
