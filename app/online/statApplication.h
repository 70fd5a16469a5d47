// The usage-statistics service: usage events (launch, foreground, screens
// built and left, shares, searches) are recorded in kq/stat/statDB and the
// events of earlier days are uploaded to the maker's web service at each
// launch and return to the foreground, and once more when the upload
// address arrives. Rows the service acknowledges are deleted.
//
// Every value reaches SQL as a bound parameter. An upload remembers its
// cut-off and the highest row it sent; an acknowledgement (a reply whose
// "Status" is present and 0) deletes exactly those rows, however late it
// arrives. One upload is in flight at a time. UI thread only.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "engine/base/Ref.h"
#include "toolkit/foundation/NSDBUtil.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/UIHttpPhisical.h"
#include "toolkit/foundation/UILocalConfig.h"

class statApplication : public cocos2d::Ref,
                        public NSUI::UILocalConfig,
                        public NSUI::UIHttpPhisical,
                        public NSUI::UIJson {
 public:
  // The service, made on first use and kept (one reference) until
  // destroyInstance(). UI thread.
  static statApplication* getInstance();
  // The service when it exists, else null; never makes one.
  static statApplication* getInstanceIfExists();
  // Releases the kept reference and forgets the service (teardown, after
  // shutdown()). Nothing when there is none.
  static void destroyInstance();

  // Seconds since the epoch; the recorded times are its local time. Tests
  // replace it; an empty function restores the system clock.
  using Clock = std::function<time_t()>;
  static void setClock(Clock clock);

  // Opens the statistics store once per run, then asks for the upload
  // address while it is unknown.
  void start();
  // Records usage event `event` (stored as event + 30000) with a value;
  // events 0 (launch) and 1 (foreground) also upload.
  void addStat(unsigned int event, std::string value);
  // Closes the store and cancels the service's HTTP requests.
  void shutdown();

  // Opens or creates `folder`/statDB with its two tables at schema version
  // dbVersion; an older schema loses its events. False on any failure.
  bool createDB(const std::string& folder);
  // Sends the rows recorded before today to uploadUrl.
  void upload();
  // Today's start, "YYYY-MM-DD 00:00:00", in the clock's local time.
  std::string getDayStart() const;
  // The clock's local time, "YYYY-MM-DD HH:MM:SS".
  static std::string currentTime();

  void onHttpResponse(NSUI::UIHttpResponse* response) override;

  std::string uploadUrl;
  int dbVersion = 2;
  bool isOpen = false;
  NSUI::NSDBUtil db;

 protected:
  statApplication();
  ~statApplication() override;

 private:
  bool dbReady = false;       // createDB succeeded
  bool uploading = false;     // an "upload" request is in flight
  std::string sentCutOff;     // the cut-off of the upload in flight
  int64_t sentLastId = -1;    // the highest row ID it carries
};
