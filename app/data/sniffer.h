// Peer discovery on the local network: announcements ("ping" and "response")
// on UDP port 12389, a paced sweep over the hosts of the local subnets on a
// thread the object owns, and NOTIFY_PEER_FOUND for every accepted
// announcement.
#pragma once

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <mutex>
#include <map>
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

  // Peers whose NOTIFY_PEER_FOUND waits for delivery. A peer is announced
  // (and answered) again only once every observer has had its last post (the
  // post's payload is gone), or 10 s after it was posted should it never be
  // delivered; at most kMaxPending peers wait at a time. A flood of datagrams
  // thus costs a bounded number of queued posts.
  static constexpr size_t kMaxPending = 1024;
  size_t pendingPeers();

 protected:
  sniffer();
  ~sniffer() override;

 private:
  void discoveryThread();
  // Sleeps up to the given seconds; false when the sniffer ends meanwhile.
  bool pause(double seconds);
  // Counts a dropped datagram; logs one line per reason at most every 5 s.
  void noteDrop(const char* reason, const std::string& detail);

  std::atomic<bool> sweeping{false};
  std::thread sweep;
  std::mutex wakeMutex;
  std::condition_variable wake;
  bool ending = false;

  struct Pending {
    std::mutex mutex;
    std::map<std::string, std::chrono::steady_clock::time_point> peers;
  };
  // Shared with the payloads in flight, which may outlive the sniffer.
  std::shared_ptr<Pending> pending = std::make_shared<Pending>();

  struct DropLog {
    const char* reason = nullptr;
    unsigned count = 0;
    std::chrono::steady_clock::time_point logged{};
  };
  std::mutex dropMutex;
  DropLog drops[6];
};

}  // namespace NSUI
