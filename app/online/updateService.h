// The update service: asks the maker's web service for the latest version
// and keeps the program's replaceable resources up to date with the asset
// manager. Two folders under kq (update/temp1 and update/temp2 unless the
// settings say otherwise) alternate: the active one is first on the
// resource search path; the spare one receives the next update, which
// becomes active at the next start. A start that activates a finished
// update makes the new spare a copy of the new active folder on a job of its
// own; the UI thread meanwhile reads the configuration "c.i" that the update
// may carry into "app_config_ini".
//
// One cycle per object; `working` is on from init until the cycle ends
// (nothing left to do, or a failure). The spare folder is emptied only when
// it lies strictly inside kq/update/, differs from the active folder and is
// no symbolic link; otherwise the cycle ends and nothing is removed.
// Requests go only to an https base address. UI thread, except the copy.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "engine/base/Ref.h"
#include "toolkit/foundation/AssetsManagerEx.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSThread.h"
#include "toolkit/foundation/UIHttpPhisical.h"
#include "toolkit/foundation/UILocalConfig.h"

class updateService : public cocos2d::Ref,
                      public NSUI::UILocalConfig,
                      public NSUI::NSThreadSafeDestroy,
                      public NSUI::UIHttpPhisical,
                      public NSUI::UIJson {
 public:
  // A new autoreleased service whose init has started its cycle; null when
  // its init fails.
  static updateService* create();
  // Stops the service (see stop()).
  ~updateService() override;

  // Chooses the active and spare folders, puts the active one first on the
  // search path, then checks the version at once or after the spare copy.
  virtual bool init();
  // Waits for the copy job, drops the asset manager and its listener, and
  // cancels the service's requests. The cycle ends.
  virtual void stop();
  // The same as stop().
  void shutdown() { stop(); }
  // The running flag.
  bool isRunning() const { return working; }

  // Sends "verCheck" and "updater" at once.
  void checkVersion();
  void onHttpResponse(NSUI::UIHttpResponse* response) override;
  void onAssetsEvent(cocos2d::extension::EventAssetsManagerEx* event);
  // Copy job: empties the spare folder and copies the active one into it;
  // on success nothing is pending any more ("update_hasValidUpdate" -1).
  void prepareSpareFolder();
  // Back on the UI thread after the copy.
  void onPrepareDone();
  // Removes the listener and releases the asset manager.
  void releaseAssetsManager();

  // True from init until the cycle has ended.
  bool working = false;
  std::string activePath;  // ends with "/"
  std::string sparePath;   // ends with "/"
  cocos2d::extension::AssetsManagerEx* assetsManager = nullptr;  // retained
  cocos2d::extension::EventListenerAssetsManagerEx* listener = nullptr;

 protected:
  updateService();

 private:
  // False once the service is gone: a copy completion arriving later is
  // dropped.
  std::shared_ptr<std::atomic<bool>> alive;
  bool inEvent = false;  // an asset event is being handled
};
