// The update service: the version check and the asset update.
//
// Stand-in: neither is built yet. A service can be made; it is never
// working. The real service replaces this file and keeps the interface.
#pragma once

#include "engine/base/Ref.h"

class updateService : public cocos2d::Ref {
 public:
  // A new autoreleased service whose init has started the version check;
  // null when its init fails.
  static updateService* create();

  virtual bool init();

  // True from init until the version check or the update has ended.
  bool working = false;
};
