#include "app/data/sniffer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "app/online/login.h"
#include "engine/base/base64.h"
#include "engine/base/ccLog.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNetworkInfo.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"

namespace NSUI {

namespace {

sniffer* g_sniffer = nullptr;

// The payload of NOTIFY_PEER_FOUND: frees its peer for the next
// announcement when the last observer's entry lets it go.
template <class PendingT>
class PeerFoundDataT : public NSNotificationData {
 public:
  PeerFoundDataT(std::shared_ptr<PendingT> pending, std::string ip)
      : pending_(std::move(pending)), ip_(std::move(ip)) {}
  ~PeerFoundDataT() override {
    std::lock_guard<std::mutex> lock(pending_->mutex);
    pending_->peers.erase(ip_);
  }

 private:
  std::shared_ptr<PendingT> pending_;
  std::string ip_;
};

const char* const kMessage = "dicom_node_recognize";

std::string firstAddress(const std::string& addresses) { return addresses.substr(0, addresses.find(',')); }

std::string appIdentifier() {
  AppConfig* config = AppConfig::getInstance();
  return config ? config->getAppIdentifier() : "";
}

}  // namespace

std::string NodeRecognizeMessage(const std::string& ip, const std::string& name, const std::string& command) {
  std::string text;
  UIJson::setJsonString(text, "ip", ip);
  UIJson::setJsonString(text, "name", name);
  UIJson::setJsonString(text, "command", command);
  UIJson::setJsonString(text, "device", "2");
  UIJson::setJsonString(text, "appid", appIdentifier());
  UIJson::setJsonString(text, "msg", kMessage);
  std::string logged, id;
  login::readLoginState(logged, id);
  if (logged == "1") UIJson::setJsonString(text, "userid", id);
  return text;
}

bool isPeerAddress(const std::string& ip) {
  in_addr a{};
  if (ip.empty() || inet_pton(AF_INET, ip.c_str(), &a) != 1) return false;
  const uint32_t v = ntohl(a.s_addr);
  if (v == 0 || v == 0xFFFFFFFFu || (v >> 28) == 0xE) return false;
  std::string host, addresses, masks;
  getNetworkInfo(host, addresses, masks);
  std::vector<std::string> as, ms;
  splitString(addresses, ",", as);
  splitString(masks, ",", ms);
  for (size_t i = 0; i < as.size() && i < ms.size(); ++i) {
    in_addr own{}, mask{};
    if (inet_pton(AF_INET, as[i].c_str(), &own) != 1 || inet_pton(AF_INET, ms[i].c_str(), &mask) != 1) continue;
    const uint32_t m = ntohl(mask.s_addr);
    if (m == 0xFFFFFFFFu || m == 0) continue;
    const uint32_t bcast = (ntohl(own.s_addr) & m) | ~m;
    if (v == bcast) return false;
  }
  return true;
}

sniffer::sniffer() : udpComm(kPort, kBufferSize) {}

sniffer::~sniffer() {
  if (g_sniffer == this) g_sniffer = nullptr;
  {
    std::lock_guard<std::mutex> lock(wakeMutex);
    ending = true;
  }
  wake.notify_all();
  if (sweep.joinable()) sweep.join();
}

sniffer* sniffer::getInstance() {
  if (!g_sniffer) {
    g_sniffer = new sniffer;
    if (getNetworkCheckResult() == 0) g_sniffer->startListening();
  }
  return g_sniffer;
}

sniffer* sniffer::getInstanceIfExists() { return g_sniffer; }

void sniffer::destroyInstance() {
  sniffer* s = g_sniffer;
  g_sniffer = nullptr;
  delete s;
}

void sniffer::startDiscovery() {
  if (getNetworkCheckResult() != 0) return;
  bool expected = false;
  if (!sweeping.compare_exchange_strong(expected, true)) return;
  if (sweep.joinable()) sweep.join();  // the previous sweep has ended
  sweep = std::thread([this] { discoveryThread(); });
}

bool sniffer::pause(double seconds) {
  std::unique_lock<std::mutex> lock(wakeMutex);
  wake.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return ending; });
  return !ending;
}

void sniffer::discoveryThread() {
  struct Clear {
    std::atomic<bool>& mark;
    ~Clear() { mark = false; }
  } clear{sweeping};
  std::string host, addresses, masks;
  getNetworkInfo(host, addresses, masks);
  if (addresses.empty()) return;
  const std::string own = firstAddress(addresses);
  const std::string ping = NodeRecognizeMessage(own, host, "ping");
  std::vector<std::string> hosts;
  listSubnetAddresses(hosts);
  // The sweep sends from a socket of its own that never blocks: datagrams
  // to absent hosts wait in the kernel for address resolution (about 3 s)
  // and fill the send buffer, and a blocked send would hold up the sniffer's
  // end. When the buffer is full the sweep waits for room in short steps
  // that notice the end.
  const std::string wire = cocos2d::safeBase64EncodeString(ping);
  if (wire.size() > static_cast<size_t>(kBufferSize - 1)) return;
  const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (sock < 0) return;
  struct Close {
    int fd;
    ~Close() { ::close(fd); }
  } closeSock{sock};
  // Room for about three seconds of the pace (what address resolution may
  // hold back), as far as the system allows.
  int room = 4 << 20;
  ::setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
  // Paced: one host per millisecond, so a large subnet never floods it.
  const auto start = std::chrono::steady_clock::now();
  size_t sent = 0;
  for (const auto& h : hosts) {
    if (h == own) continue;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(kPort));
    if (inet_pton(AF_INET, h.c_str(), &to.sin_addr) != 1) continue;
    for (int copy = 0; copy < 2; ++copy) {  // each message goes twice
      while (::sendto(sock, wire.data(), wire.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS && errno != EINTR) break;
        pollfd p{sock, POLLOUT, 0};
        ::poll(&p, 1, 20);
        std::lock_guard<std::mutex> lock(wakeMutex);
        if (ending) return;
      }
    }
    ++sent;
    auto due = start + std::chrono::microseconds(sent * 1000000 / kHostsPerSecond);
    auto now = std::chrono::steady_clock::now();
    if (due > now && !pause(std::chrono::duration<double>(due - now).count())) return;
    {
      std::lock_guard<std::mutex> lock(wakeMutex);
      if (ending) return;
    }
  }
  pause(1.0);
}

size_t sniffer::pendingPeers() {
  std::lock_guard<std::mutex> lock(pending->mutex);
  return pending->peers.size();
}

void sniffer::noteDrop(const char* reason, const std::string& detail) {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard<std::mutex> lock(dropMutex);
  DropLog* slot = nullptr;
  for (auto& d : drops)
    if (d.reason && !std::strcmp(d.reason, reason)) slot = &d;
  for (auto& d : drops)
    if (!slot && !d.reason) slot = &d;
  if (!slot) return;
  if (!slot->reason) slot->reason = reason;
  ++slot->count;
  if (slot->logged.time_since_epoch().count() != 0 && now - slot->logged < std::chrono::seconds(5)) return;
  cocos2d::log("discovery: dropped %u datagram%s (%s), last: %s", slot->count, slot->count == 1 ? "" : "s", reason,
               detail.c_str());
  slot->count = 0;
  slot->logged = now;
}

void sniffer::onReceive(const char* data, int length) {
  if (!data || length <= 0) {
    noteDrop("not base64 text", "");
    return;
  }
  const std::string text(data, static_cast<size_t>(length));
  const std::string ip = UIJson::getJsonStringWithDefault(text, "ip", "");
  const std::string name = UIJson::getJsonStringWithDefault(text, "name", "");
  const std::string command = UIJson::getJsonStringWithDefault(text, "command", "");
  const std::string device = UIJson::getJsonStringWithDefault(text, "device", "");
  std::string appid = UIJson::getJsonStringWithDefault(text, "appid", "");
  const std::string userid = UIJson::getJsonStringWithDefault(text, "userid", "");
  if (appid.empty()) appid = name + ip;
  if (UIJson::getJsonStringWithDefault(text, "msg", "") != kMessage) {
    noteDrop("not an announcement", std::to_string(length) + " bytes");
    return;
  }
  std::string host, addresses, masks;
  getNetworkInfo(host, addresses, masks);
  if (addresses.empty()) return;
  const std::string own = firstAddress(addresses);
  if (ip == own) return;  // our own, come back
  if (!isPeerAddress(ip)) {
    noteDrop("not a peer address", "\"" + ip.substr(0, 64) + "\"");
    return;
  }
  {
    const auto now = std::chrono::steady_clock::now();
    const auto stale = now - std::chrono::seconds(10);
    std::lock_guard<std::mutex> lock(pending->mutex);
    auto& peers = pending->peers;
    auto it = peers.find(ip);
    if (it != peers.end() && it->second > stale) {
      noteDrop("peer already pending", ip);
      return;
    }
    if (it == peers.end() && peers.size() >= kMaxPending) {
      for (auto p = peers.begin(); p != peers.end();) p = p->second > stale ? std::next(p) : peers.erase(p);
      if (peers.size() >= kMaxPending) {
        noteDrop("too many peers pending", ip);
        return;
      }
    }
    peers[ip] = now;
  }
  if (command == "ping") sendTo(ip, NodeRecognizeMessage(own, host, "response"));
  if (!userid.empty()) {
    std::string logged, id;
    login::readLoginState(logged, id);
    if (logged == "1" && id == userid) UILocalConfig::setStringForKey("remoteSameUserDevice", ip);
  }
  std::string found;
  UIJson::setJsonString(found, "ip", ip);
  UIJson::setJsonString(found, "name", name);
  UIJson::setJsonString(found, "device", device);
  UIJson::setJsonString(found, "appid", appid);
  auto* payload = new PeerFoundDataT<Pending>(pending, ip);
  payload->text = found;
  if (auto* centre = NSNotificationCenter::getInstance())
    centre->postNotification(nullptr, NOTIFY_PEER_FOUND, payload, nullptr, false);
  payload->release();  // the queued entries hold it until delivered
}

}  // namespace NSUI
