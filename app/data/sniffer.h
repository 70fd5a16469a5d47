// Peer discovery on the local network, as the application shell reaches it.
//
// Stand-in: discovery (its "ping"/"response" messages and the sweep over
// the local subnets) is not built yet. The object exists with the endpoint's
// port and buffer and the receive-loop flags the teardown reads; its loop
// never runs and a sweep does nothing. The real discovery replaces this file
// and keeps the interface.
#pragma once

#include "toolkit/foundation/NSUdpComm.h"

namespace NSUI {

class sniffer : public udpComm {
 public:
  static constexpr int kPort = 12389;
  static constexpr int kBufferSize = 1024;

  // The discovery object, made on first use. UI thread.
  static sniffer* getInstance();
  // The object when it exists, else null; never makes one.
  static sniffer* getInstanceIfExists();
  // Deletes the object and forgets it (teardown, once its receive loop has
  // ended). Nothing when there is none.
  static void destroyInstance();

  // Starts one sweep for peers, at most once per run; returns at once.
  void startDiscovery();

 protected:
  sniffer();
  ~sniffer() override;
};

}  // namespace NSUI
