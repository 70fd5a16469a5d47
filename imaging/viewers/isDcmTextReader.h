// The patient and study texts of a viewer's overlay, read from the DICOM
// file of the data's first slice.
//
// The texts are a flat JSON object, keys in this order, a key left out when
// its element was not found (an element present without a value counts as
// not found, so that the next element of a fallback is taken):
//   "studyID"     (0020,0010)
//   "seriesID"    (0020,0011)
//   "hospital"    (0008,0080), every "," replaced by "_"
//   "seriesTime"  date (0008,0021), (0008,0020), (0008,0022) as
//                 "YYYY.MM.DD", a blank, time (0008,0031), (0008,0030),
//                 (0008,0032) as "hh:mm:ss"; only when a time was found
//                 (the date part is empty without a date)
//   "patient"     (0010,0010)
//   "patientInfo" always: sex (0010,0040) ("" for "0000"), then " " and
//                 the age (0010,1010) or else the birth date (0010,0030),
//                 then " W=" and the weight (0010,1030) unless it is "0"
//   "imageDesc"   (0018,1030), else (0008,103E), else (0008,1030)
//
// isDcmTextReader is one viewer's read slot: at most one read under way,
// the file opened on a job thread of its own with its own DICOM reader, the
// result handed back on the UI thread through the engine's scheduler, keyed
// by the slot's owner. The job touches nothing of the viewer or its data:
// the caller takes the path on the UI thread and stores the result there.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace isImageSDK {

// One element of the file as text; false when the file does not hold it.
using DicomTagSource = std::function<bool(unsigned short group, unsigned short element, std::string& value)>;

// The JSON text of the table above.
std::string formatPatientInfo(const DicomTagSource& tags);

// Opens the file with a DICOM reader of its own and formats its texts.
// False, json untouched, when the file cannot be opened as DICOM.
bool readPatientInfoFile(const std::string& path, std::string& json);

class isDcmTextReader {
 public:
  // UI thread: readOk false when the file could not be opened.
  using Result = std::function<void(bool readOk, const std::string& json)>;
  // What a job calls to turn a path into the JSON text (readPatientInfoFile
  // unless a test put its own in).
  using FileReader = std::function<bool(const std::string& path, std::string& json)>;

  isDcmTextReader() = default;
  // Cancels (see cancel). UI thread.
  ~isDcmTextReader();
  isDcmTextReader(const isDcmTextReader&) = delete;
  isDcmTextReader& operator=(const isDcmTextReader&) = delete;

  // UI thread. Starts reading path on a job thread; `done` runs later on the
  // UI thread, as a function the scheduler keeps under `owner`, unless the
  // slot is cancelled first. False, and nothing started, while a read of
  // this slot is under way, for an empty path or without a running engine.
  bool start(void* owner, const std::string& path, Result done);
  // A read started and not yet handed back or cancelled.
  bool isReading() const { return ticket != nullptr; }
  // UI thread. The read under way never reports: a job still reading hands
  // nothing over, and what it handed over already is dropped together with
  // every other pending scheduler function of the owner.
  void cancel();

  // Jobs of every slot whose thread has not finished yet.
  static int jobsRunning();
  // Puts in the function the next jobs read with (null: the DICOM file
  // reader); returns the one in place before.
  static FileReader setFileReader(FileReader reader);

 private:
  struct Ticket;
  std::shared_ptr<Ticket> ticket;
  void* owner = nullptr;
};

}  // namespace isImageSDK
