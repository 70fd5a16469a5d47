// The logic of the query and retrieve screen: the form's node, the search,
// the table of study rows each followed by its series rows, and the state of
// each series' retrieve. The screen draws the rows and binds its buttons to
// search() and download(); everything it must redraw or show arrives through
// the row events. UI thread only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/data/dcmModelCalls.h"
#include "engine/base/Ref.h"
#include "toolkit/foundation/NSNotificationCenter.h"

class dcmFinderModel {
 public:
  // One row of the table: a study, or a series of the study row above it.
  class listObject : public cocos2d::Ref {
   public:
    bool isStudy = false;
    bool running = false;    // the retrieve of this series is the active one
    bool requested = false;  // the user started its retrieve
    std::string dateTime;
    std::string institution;
    std::string studyDescription;
    std::string patientName;
    std::string patientID;
    std::string birthDate;
    std::string sex;
    std::string studyUID;
    std::string studyID;
    std::string modality;
    std::string seriesDescription;
    std::string seriesUID;
    std::string seriesNumber;
    std::string imageCount;
    // The node of the search that found the row: its series queries and
    // retrieves go there, whatever the form holds by then.
    std::string nodeIP;
    std::string nodePort;
    std::string nodeTitle;
  };

  explicit dcmFinderModel(dcmModelCalls calls = dcmModelCalls::service());
  ~dcmFinderModel();
  dcmFinderModel(const dcmFinderModel&) = delete;
  dcmFinderModel& operator=(const dcmFinderModel&) = delete;

  // Reads the saved node ("dicomServerIP", "dicomServerPort",
  // "dicomServerTitle") into the form texts and starts listening to the
  // query records and the retrieve reports.
  void open();
  // Stops listening and drops every row (the library goes on with its
  // retrieves).
  void close();

  // The search button with the form's texts. False when nothing was asked
  // (address or port empty: "Check the IP and PORT").
  bool search(const std::string& ip, const std::string& port, const std::string& title,
              const std::string& patient);
  // The download button of a series row. False when nothing was started.
  bool download(int row);
  bool download(listObject* row) { return download(indexOf(row)); }

  int indexOf(const listObject* row) const;
  const std::vector<listObject*>& rows() const { return rows_; }
  // The help picture shows until the first study row arrives.
  bool helpVisible() const { return help_; }

  // The notifications the screen listens to (2011, 2012, 2004, 2005).
  void onNotification(unsigned int id, NSUI::NSNotificationData* data);

  // The folder retrieves are written to: the writable path + "tmp/dicomdown/".
  static std::string downloadFolder();

  // The texts a row's cell shows, by the name of the label that shows each:
  // a series row "seriesid", "modality", "number", "desc"; a study row
  // "name", "id", "sex", "birthday", "hospital", "studyid", "studydate",
  // "desc". Long texts are cut to a number of bytes (cutText).
  static std::vector<std::pair<std::string, std::string>> cellTexts(const listObject& row);
  // The longest start of text that holds at most maxBytes bytes and ends on
  // a UTF-8 character boundary.
  static std::string cutText(const std::string& text, size_t maxBytes);

  // The form texts as read at open.
  std::string formIP, formPort, formTitle;
  dcmRowEvents events;

 private:
  void addStudy(const FindStudyRecord& rec);
  void addSeries(const FindSeriesRecord& rec);
  void retrieveProgress(const std::string& text);
  void retrieveState(const std::string& uid);
  void setIdle(int index);
  void insertRow(int index, listObject* row);
  void message(const std::string& text) {
    if (events.message) events.message(text, 2.0f);
  }
  void updated(int index) {
    if (events.updated) events.updated(index);
  }

  dcmModelCalls calls_;
  std::vector<listObject*> rows_;
  bool help_ = true;
  bool listening_ = false;
  std::string searchIP_, searchPort_, searchTitle_;
};
