// The logic of the send screen's transfer table: the unfinished send and
// retrieve tasks of the DICOM task service, their texts, their progress from
// the library's reports, removal and retry. Rows are the service's own task
// objects (retained here). UI thread only.
#pragma once

#include <string>
#include <vector>

#include "app/data/dcmModelCalls.h"
#include "toolkit/foundation/NSNotificationCenter.h"

class dcmTransferList {
 public:
  // What a row shows.
  struct RowText {
    std::string ip;
    std::string path;
    std::string ratio;
    bool ratioVisible = true;
    bool retryVisible = false;
  };

  explicit dcmTransferList(dcmModelCalls calls = dcmModelCalls::service());
  ~dcmTransferList();
  dcmTransferList(const dcmTransferList&) = delete;
  dcmTransferList& operator=(const dcmTransferList&) = delete;

  // Lists the unfinished sends, then the unfinished retrieves, and starts
  // listening to their reports (2013, 2014, 2015, 2004, 2007) and to its own
  // removals (2016).
  void open();
  void close();

  // The index of the first send row to ip:port of the folder path, or -1.
  int findSend(const std::string& ip, const std::string& port, const std::string& path) const;
  // Appends a new send row, hands the task to the service and hides help.
  void queueSend(dcmSendingObject* task);
  // The swipe menu's "del" on a row.
  void remove(int index);
  // The retry button of a failed row.
  void retry(int index);

  static RowText rowText(const dcmTask* task);
  RowText rowText(int index) const { return rowText(rows_.at(index)); }
  int indexOf(const dcmTask* task) const;
  const std::vector<dcmTask*>& rows() const { return rows_; }
  // The help picture shows when the window opened without a task, until a
  // send is queued.
  bool helpVisible() const { return help_; }

  void onNotification(unsigned int id, NSUI::NSNotificationData* data);

  dcmRowEvents events;

 private:
  void append(dcmTask* task);
  void removeRow(int index);
  void refresh(int index) {
    if (events.updated) events.updated(index);
  }
  void message(const std::string& text) {
    if (events.message) events.message(text, 1.5f);
  }
  int findSendByTaskId(int id) const;
  int findRetrieve(const std::string& seriesUID) const;
  void removeSend(dcmSendingObject* task);
  void retrieveProgress(const std::string& text);

  dcmModelCalls calls_;
  std::vector<dcmTask*> rows_;
  bool help_ = false;
  bool listening_ = false;
};
