// The DICOM task service, as the application shell reaches it.
//
// Stand-in: the task service (send queue, retrieve list, echo sweeps, its
// tick and the patient database it opens) is not built yet. This class has
// the interface the shell calls and does nothing; the real service replaces
// this file and keeps the interface.
#pragma once

#include "engine/base/Ref.h"

// Modes of dataService::echoNodes.
constexpr int NODE_ECHO_SWEEP = 1;  // every host of every local subnet
constexpr int NODE_ECHO_KNOWN = 2;  // the remembered and the stored peers

class dataService : public cocos2d::Ref {
 public:
  // The service, made on first use and kept (one reference) until
  // destroyInstance(). UI thread.
  static dataService* getInstance();
  // The service when it exists, else null; never makes one.
  static dataService* getInstanceIfExists();
  // Releases the kept reference and forgets the service (teardown, after
  // stop()). Nothing when there is none.
  static void destroyInstance();

  // Sends a DICOM verification to the nodes of the mode; returns at once.
  void echoNodes(int mode);
  // Stops the service's tick and queues and lets its database go.
  virtual void stop();

 protected:
  dataService() = default;
  ~dataService() override;
};
