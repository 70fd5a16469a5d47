// Peer discovery on the local network: announcements ("ping" and "response")
// on UDP port 12389, a paced sweep over the hosts of the local subnets on a
// thread the object owns, and NOTIFY_PEER_FOUND for every accepted
// announcement.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "toolkit/foundation/NSUdpComm.h"

namespace NSUI {

// The announcement text (flat JSON, all values texts) for the own address,
// host name and command; "userid" only while a user is logged in.
std::string NodeRecognizeMessage(const std::string& ip, const std::string& name, const std::string& command);

// True for a dotted IPv4 address a peer may use as its own: not 0.0.0.0,
// not broadcast or multicast, not a subnet's broadcast address.
bool isPeerAddress(const std::string& ip);

class sniffer : public udpComm {
 public:
  static constexpr int kPort = 12389;
  static constexpr int kBufferSize = 1024;
  static constexpr int kHostsPerSecond = 1000;

  // The discovery object, made on first use (listening when the network
  // check allows). UI thread.
  static sniffer* getInstance();
  // The object when it exists, else null; never makes one.
  static sniffer* getInstanceIfExists();
  // Deletes the object and forgets it (teardown, once its receive loop has
  // ended). Ends and waits for a running sweep. Nothing when there is none.
  static void destroyInstance();

  // Starts one sweep for peers unless one runs; returns at once.
  void startDiscovery();
  bool isSweeping() const { return sweeping.load(); }

  void onReceive(const char* data, int length) override;

 protected:
  sniffer();
  ~sniffer() override;

 private:
  void discoveryThread();
  // Sleeps up to the given seconds; false when the sniffer ends meanwhile.
  bool pause(double seconds);

  std::atomic<bool> sweeping{false};
  std::thread sweep;
  std::mutex wakeMutex;
  std::condition_variable wake;
  bool ending = false;
};

}  // namespace NSUI
