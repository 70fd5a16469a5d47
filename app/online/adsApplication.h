// The new-version notice: it holds the update service and, once per newly
// reported version, opens the service's new-version page in the browser
// when the configuration text ("app_config_ini", flat JSON) allows it:
// "ads_enable_newVersion" 1, "adsNewVersionType" above 0 and an
// "adsNewVersionUrl". UI thread.
#pragma once

#include <string>

#include "app/online/updateService.h"
#include "engine/base/Ref.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/UILocalConfig.h"

namespace ADS {

class adsApplication : public cocos2d::Ref, public NSUI::UILocalConfig, public NSUI::UIJson {
 public:
  // The notice, made on first use (init makes and keeps an update service
  // and loads the configuration) and kept (one reference) until
  // destroyInstance(). UI thread.
  static adsApplication* getInstance();
  // The notice when it exists, else null; never makes one.
  static adsApplication* getInstanceIfExists();
  // Releases the kept reference and forgets the notice (teardown, after
  // stop()). Nothing when there is none.
  static void destroyInstance();

  virtual bool init();
  // Reloads the configuration text from the setting "app_config_ini".
  void loadConfig();
  // Counts the stored latest version once when it is newer than this
  // program's, and then opens the new-version page when the configuration
  // allows it.
  void checkNewVersion();
  // Releases the update service (which waits for its copy job) and clears
  // the pointer.
  virtual void stop();
  // The same as stop().
  void shutdown() { stop(); }

  // True when `latest` is newer than `current`, comparing their first three
  // dot-separated numbers (a missing or non-numeric piece counts 0).
  static bool isNewer(const std::string& latest, const std::string& current);

  // Retained; may be null. The foreground entry replaces it once it has
  // ended its work.
  ::updateService* updateService = nullptr;
  std::string config;

 protected:
  adsApplication() = default;
  ~adsApplication() override;
};

}  // namespace ADS
