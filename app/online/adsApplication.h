// The new-version notice: it holds the update service and shows the
// new-version page when the configuration allows it.
//
// Stand-in: the notice and its page are not built yet. The object exists,
// holds an update service and shows nothing; the real notice replaces this
// file and keeps the interface.
#pragma once

#include <string>

#include "app/online/updateService.h"
#include "engine/base/Ref.h"

namespace ADS {

class adsApplication : public cocos2d::Ref {
 public:
  // The notice, made on first use (which makes and keeps an update service
  // and loads the configuration) and kept (one reference) until
  // destroyInstance(). UI thread.
  static adsApplication* getInstance();
  // The notice when it exists, else null; never makes one.
  static adsApplication* getInstanceIfExists();
  // Releases the kept reference and forgets the notice (teardown, after
  // stop()). Nothing when there is none.
  static void destroyInstance();

  // Reloads the configuration text from the setting "app_config_ini".
  void loadConfig();
  // Shows the new-version page once per version when the stored latest
  // version is newer and the configuration allows it.
  void checkNewVersion();
  // Releases the update service and clears the pointer.
  virtual void stop();

  // Retained; may be null. The foreground entry replaces it once it has
  // ended its work.
  ::updateService* updateService = nullptr;
  std::string config;

 protected:
  adsApplication() = default;
  ~adsApplication() override;
};

}  // namespace ADS
