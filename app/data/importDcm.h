// Import of DICOM files and folders into the library.
//
// import() returns at once; the worker walks a folder (files in name order,
// sub-folders at their place, names beginning with "." left out) and then
// takes one file at a time. Each file is described as the storage server
// describes a received one, copied by streaming into "<root>.import/" and
// renamed into "<root><folder>/<file name>" only after its last byte, and
// announced with NOTIFY_DICOM_FILE_STORED (immediate, no sender, broadcast)
// and its record in a dicomRecordData payload. A file that is not DICOM, is
// cut short, or cannot be copied or placed is left out with one log line;
// nothing of it stays in the library.
//
// Read-ahead. While the worker places and announces one file, a few helper
// threads already describe the next queued files and copy them into
// "<root>.import/". Only the worker renames files into the library, logs and
// posts, always in queue order, so what the library and its observers see
// is the same as one file at a time. Copies made ahead for requests that are
// dropped (stop) are removed; after a crash, the recovery empties the
// temporary folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "dcmsdk/dcmSDK.h"
#include "toolkit/foundation/NSObject.h"
#include "toolkit/foundation/NSThread.h"

class importThread : public NSUI::NSThread {
 public:
  importThread();
  void processRequest(NSUI::NSThreadRequest* request) override;

  void setRoot(const std::string& path);
  std::string getRoot();

  dcmSDK::dcmReadTag reader;

  // One file described and copied into the temporary folder (or why not).
  struct prepared;
  class readAhead;

 protected:
  ~importThread() override;

 private:
  void importFile(const std::string& path, uint64_t seq);
  void lookAhead(const std::string& rootPath, int language);

  std::mutex rootMutex;
  std::string root;  // ends with "/"
  std::unique_ptr<readAhead> ahead;
};

class importDcm : public NSUI::NSObject, public NSUI::NSThreadSafeDestroy {
 public:
  static importDcm* create();
  ~importDcm() override;

  virtual bool init();
  virtual void stopWorker();

  void setRootPath(const std::string& path);
  void import(const std::string& path);

  importThread* worker = nullptr;
};
