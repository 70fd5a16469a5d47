// The usage-statistics service.
//
// Stand-in: the statistics database and its upload are not built yet. The
// service exists with the interface the shell calls and records nothing;
// the real service replaces this file and keeps the interface.
#pragma once

#include <string>

#include "engine/base/Ref.h"

class statApplication : public cocos2d::Ref {
 public:
  // The service, made on first use and kept (one reference) until
  // destroyInstance(). UI thread.
  static statApplication* getInstance();
  // The service when it exists, else null; never makes one.
  static statApplication* getInstanceIfExists();
  // Releases the kept reference and forgets the service (teardown, after
  // shutdown()). Nothing when there is none.
  static void destroyInstance();

  // Opens the statistics store and asks for the upload address.
  void start();
  // Records usage event `event` (stored as event + 30000) with a value.
  void addStat(int event, std::string value);
  // Closes the store and cancels the service's HTTP requests.
  void shutdown();

 protected:
  statApplication() = default;
  ~statApplication() override;
};
