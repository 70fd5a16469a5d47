// The login watch, a data object of the data-object manager.
//
// Stand-in: the periodic login re-check and the update-centre
// notifications are not built yet. The object can be made and started and
// does nothing; the real login watch replaces this file and keeps the
// interface.
#pragma once

#include "toolkit/foundation/NSDataManager.h"

class httpCenter : public NSUI::NSDatas {
 public:
  // A new autoreleased login watch; null when its init fails.
  static httpCenter* create();
  // Switches the periodic login re-check on.
  void start();
};
