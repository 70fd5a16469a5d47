#include "app/data/dcmFinderModel.h"

#include <filesystem>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"

namespace {
const int kFinderIds[] = {NOTIFY_FIND_STUDY_RECORD, NOTIFY_FIND_SERIES_RECORD, NOTIFY_RETRIEVE_PROGRESS,
                          NOTIFY_RETRIEVE_STATE};
}

dcmFinderModel::dcmFinderModel(dcmModelCalls calls) : calls_(std::move(calls)) {}

dcmFinderModel::~dcmFinderModel() { close(); }

void dcmFinderModel::open() {
  formIP = NSUI::UILocalConfig::getStringForKey("dicomServerIP", "");
  formPort = NSUI::UILocalConfig::getStringForKey("dicomServerPort", "");
  formTitle = NSUI::UILocalConfig::getStringForKey("dicomServerTitle", "");
  if (listening_) return;
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  if (!centre) return;
  listening_ = true;
  for (int id : kFinderIds)
    centre->addObserver(
        this, nullptr,
        [this](cocos2d::Ref*, unsigned int i, NSUI::NSNotificationData* d) { onNotification(i, d); }, id);
}

void dcmFinderModel::close() {
  if (listening_) {
    if (auto* centre = NSUI::NSNotificationCenter::getInstance()) centre->removeAllObservers(this);
    listening_ = false;
  }
  for (auto* r : rows_) r->release();
  rows_.clear();
}

int dcmFinderModel::indexOf(const listObject* row) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i] == row) return static_cast<int>(i);
  return -1;
}

std::string dcmFinderModel::downloadFolder() {
  return cocos2d::FileUtils::getInstance()->getWritablePath() + "tmp/dicomdown/";
}

std::string dcmFinderModel::cutText(const std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t end = maxBytes;
  // Step back over continuation bytes (10xxxxxx) to the start of the
  // character that would be split.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::vector<std::pair<std::string, std::string>> dcmFinderModel::cellTexts(const listObject& row) {
  if (!row.isStudy)
    return {{"seriesid", row.seriesNumber},
            {"modality", row.modality},
            {"number", row.imageCount},
            {"desc", cutText(row.seriesDescription, 30)}};
  return {{"name", cutText(row.patientName, 11)},   {"id", cutText(row.patientID, 7)},
          {"sex", row.sex},                         {"birthday", row.birthDate},
          {"hospital", cutText(row.institution, 30)}, {"studyid", cutText(row.studyID, 11)},
          {"studydate", row.dateTime},              {"desc", cutText(row.studyDescription, 30)}};
}

bool dcmFinderModel::search(const std::string& ip, const std::string& port, const std::string& title,
                            const std::string& patient) {
  std::string name = patient;
  NSUI::trim(name);
  const std::string pattern = "*" + name + "*";
  if (ip.empty() || port.empty()) {
    message("Check the IP and PORT");
    return false;
  }
  while (!rows_.empty()) {
    listObject* gone = rows_.back();
    rows_.pop_back();
    if (events.removed) events.removed(static_cast<int>(rows_.size()));
    gone->release();
  }
  formIP = ip;
  formPort = port;
  formTitle = title;
  NSUI::UILocalConfig::setStringForKey("dicomServerIP", ip);
  NSUI::UILocalConfig::setStringForKey("dicomServerPort", port);
  NSUI::UILocalConfig::setStringForKey("dicomServerTitle", title);
  searchIP_ = ip;
  searchPort_ = port;
  searchTitle_ = title;
  // The typed title is the node's (called) AE title; the own title is the
  // library's default.
  if (calls_.findPatientByName) calls_.findPatientByName(ip, port, title, "", pattern);
  return true;
}

bool dcmFinderModel::download(int index) {
  if (index < 0 || index >= static_cast<int>(rows_.size())) return false;
  listObject* row = rows_[index];
  if (row->isStudy || row->running || row->requested) return false;
  row->requested = true;
  updated(index);
  const std::string folder = downloadFolder();
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    message("Failed to create buffer");
    row->requested = false;
    updated(index);
    return false;
  }
  GetTaskRecord f{row->nodeIP,   row->nodePort,   row->nodeTitle,   "",
                  row->studyUID, row->seriesUID, folder,           row->patientName,
                  row->seriesNumber, row->modality};
  bool accepted = calls_.getSeriesByUID && calls_.getSeriesByUID(f);
  if (!accepted) {
    // The library already holds this series (another row or an earlier
    // opening asked for it): no report will ever name this row.
    row->requested = false;
    updated(index);
    return false;
  }
  return true;
}

void dcmFinderModel::onNotification(unsigned int id, NSUI::NSNotificationData* data) {
  if (!data) return;
  switch (id) {
    case NOTIFY_FIND_STUDY_RECORD:
      if (auto* rec = static_cast<FindStudyRecord*>(data->userData)) addStudy(*rec);
      break;
    case NOTIFY_FIND_SERIES_RECORD:
      if (auto* rec = static_cast<FindSeriesRecord*>(data->userData)) addSeries(*rec);
      break;
    case NOTIFY_RETRIEVE_PROGRESS:
      retrieveProgress(data->text);
      break;
    case NOTIFY_RETRIEVE_STATE:
      retrieveState(data->text);
      break;
    default:
      break;
  }
}

void dcmFinderModel::insertRow(int index, listObject* row) {
  rows_.insert(rows_.begin() + index, row);
  if (events.inserted) events.inserted(index);
}

void dcmFinderModel::addStudy(const FindStudyRecord& rec) {
  auto* row = new listObject;
  row->isStudy = true;
  row->dateTime = rec[0];
  row->institution = rec[1];
  row->studyDescription = rec[2];
  row->patientName = rec[3];
  row->patientID = rec[4];
  row->birthDate = rec[5];
  row->sex = rec[6];
  row->studyUID = rec[7];
  row->studyID = rec[8];
  row->nodeIP = searchIP_;
  row->nodePort = searchPort_;
  row->nodeTitle = searchTitle_;
  if (calls_.findStudyByUID) calls_.findStudyByUID(row->nodeIP, row->nodePort, row->nodeTitle, "", row->studyUID);
  // Hidden before the row is announced, so that a screen redrawing on the
  // event already sees it gone.
  help_ = false;
  insertRow(static_cast<int>(rows_.size()), row);
}

void dcmFinderModel::addSeries(const FindSeriesRecord& rec) {
  auto* row = new listObject;
  row->modality = rec[1];
  row->seriesDescription = rec[2];
  row->studyUID = rec[3];
  row->seriesUID = rec[4];
  row->seriesNumber = rec[5];
  row->imageCount = rec[6];
  row->nodeIP = searchIP_;
  row->nodePort = searchPort_;
  row->nodeTitle = searchTitle_;
  int at = static_cast<int>(rows_.size());
  for (size_t i = 0; i < rows_.size(); ++i) {
    const listObject* study = rows_[i];
    if (study->isStudy && study->studyUID == rec[3]) {
      row->patientName = study->patientName;
      row->nodeIP = study->nodeIP;
      row->nodePort = study->nodePort;
      row->nodeTitle = study->nodeTitle;
      at = static_cast<int>(i) + 1;
      break;
    }
  }
  insertRow(at, row);
}

void dcmFinderModel::setIdle(int index) {
  rows_[index]->running = false;
  rows_[index]->requested = false;
  updated(index);
}

void dcmFinderModel::retrieveProgress(const std::string& text) {
  std::vector<std::string> f;
  NSUI::splitString(text, "|", f);
  if (f.size() != 5 || f[1] != "0") return;
  bool ended = false;
  for (size_t i = 0; i < rows_.size(); ++i) {
    listObject* row = rows_[i];
    if (row->isStudy || !row->running || row->seriesUID != f[0]) continue;
    setIdle(static_cast<int>(i));
    ended = true;
  }
  if (ended && (f[3] != "0" || f[4] != "0")) message("Failed to download the whole series");
}

void dcmFinderModel::retrieveState(const std::string& uid) {
  for (size_t i = 0; i < rows_.size(); ++i) {
    listObject* row = rows_[i];
    if (row->isStudy) continue;
    if (row->requested && row->seriesUID == uid) {
      if (!row->running) {
        row->running = true;
        updated(static_cast<int>(i));
      }
    } else if (row->running) {
      setIdle(static_cast<int>(i));
    }
  }
}
