// Verification of many nodes: a bounded TCP probe first (so that dead hosts
// cost a fraction of a second), then a C-ECHO on the hosts that accepted.
#include <algorithm>
#include <cstring>
#include <thread>

#include "dcmsdk/src/net_worker.h"

#include <dcmtk/dcmnet/scu.h>

namespace dcmSDK {

namespace {

constexpr int kMaxEntries = 1024;
constexpr int kParallel = 16;
constexpr int kSweepConnectMs = 800;
constexpr int kKnownConnectMs = 2000;

struct Entry {
  std::string name, ip, called;
  uint16_t port = 0;
};

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t p = s.find(sep, start);
    out.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return out;
}

bool parseEntry(const char* text, Entry& e) {
  std::string s(text, strnlen(text, 99));
  auto f = split(s, ',');
  if (f.size() == 2) {
    e.ip = f[0];
    e.port = net::parsePort(f[1].c_str());
  } else if (f.size() == 3 || f.size() == 4) {
    e.name = f[0];
    e.ip = f[1];
    e.port = net::parsePort(f[2].c_str());
    if (f.size() == 4) e.called = f[3];
  } else {
    return false;
  }
  return !e.ip.empty() && e.port != 0;
}

bool echoOnce(const Entry& e, const std::string& calling, const std::atomic<bool>& stop) {
  DcmSCU scu;
  scu.setAETitle(calling.c_str());
  scu.setPeerHostName(e.ip.c_str());
  scu.setPeerPort(e.port);
  scu.setPeerAETitle(net::aeOr(e.called.c_str(), net::kAnyAE).c_str());
  scu.setACSETimeout(3);
  scu.setDIMSETimeout(3);
  scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  OFList<OFString> ts;
  ts.push_back(UID_LittleEndianImplicitTransferSyntax);
  scu.addPresentationContext(UID_VerificationSOPClass, ts);
  net::StopWatch watch(stop, e.ip, e.port);
  if (scu.initNetwork().bad() || stop.load()) return false;
  if (scu.negotiateAssociation().bad()) return false;
  bool ok = scu.sendECHORequest(0).good();
  if (stop.load() || !ok) scu.abortAssociation();
  else scu.releaseAssociation();
  return ok && !stop.load();
}

}  // namespace

struct dcmEcho::Impl {
  explicit Impl(std::atomic<bool>& s) : stop(s), queue(s) {}
  std::atomic<bool>& stop;
  std::mutex mu;
  std::string calling = net::kOwnAE;
  // The waiting sweep, replaced by a newer one.
  std::shared_ptr<std::vector<Entry>> pendingSweep;
  net::JobQueue queue;

  void run(const std::vector<Entry>& entries, bool sweep) {
    std::string own;
    {
      std::lock_guard<std::mutex> lock(mu);
      own = calling;
    }
    std::atomic<size_t> next{0};
    auto work = [&] {
      for (;;) {
        size_t i = next.fetch_add(1);
        if (i >= entries.size() || stop.load()) return;
        const Entry& e = entries[i];
        int tcp = net::probeTcp(e.ip, e.port, sweep ? kSweepConnectMs : kKnownConnectMs, stop);
        if (tcp < 0) return;
        bool ok = tcp == 1 && echoOnce(e, own, stop);
        if (!ok && sweep) continue;
        std::string port = std::to_string(e.port);
        std::string text = std::string("{\"ok\":\"") + (ok ? "1" : "0") + "\",\"appid\":\"" +
                           net::jsonEscape("dcm:" + e.ip + ":" + port) + "\",\"port\":\"" + port +
                           "\",\"ip\":\"" + net::jsonEscape(e.ip) + "\",\"name\":\"" +
                           net::jsonEscape(e.name.empty() ? e.ip : e.name) + "\"}";
        net::emitText(DCM_MSG_ECHO_REPLY, text, &stop);
      }
    };
    size_t n = std::min<size_t>(kParallel, entries.size());
    std::vector<std::thread> probes;
    for (size_t i = 1; i < n; ++i) probes.emplace_back(work);
    work();
    for (auto& t : probes) t.join();
  }
};

dcmEcho::dcmEcho() : d_(std::make_unique<Impl>(stop)) {}
dcmEcho::~dcmEcho() { d_->queue.halt(); }

void dcmEcho::setCallingAE(const char* ae) {
  std::lock_guard<std::mutex> lock(d_->mu);
  d_->calling = net::aeOr(ae, net::kOwnAE);
}

void dcmEcho::echo(char** entries, int count, bool sweep) {
  net::init();
  if (stop.load() || !entries || count <= 0) return;
  auto list = std::make_shared<std::vector<Entry>>();
  if (count > kMaxEntries)
    detail::logLine("echo: " + std::to_string(count) + " entries, only the first " + std::to_string(kMaxEntries) +
                    " are probed");
  for (int i = 0; i < count && i < kMaxEntries; ++i) {
    Entry e;
    if (entries[i] && parseEntry(entries[i], e)) list->push_back(std::move(e));
  }
  if (list->empty()) return;
  Impl* d = d_.get();
  if (sweep) {
    std::lock_guard<std::mutex> lock(d->mu);
    if (d->pendingSweep) {
      // A sweep is still waiting: it probes the newer list instead.
      *d->pendingSweep = std::move(*list);
      return;
    }
    d->pendingSweep = list;
    bool queued = d->queue.push(
        [d] {
          std::shared_ptr<std::vector<Entry>> mine;
          {
            std::lock_guard<std::mutex> l(d->mu);
            mine = std::move(d->pendingSweep);
          }
          if (mine) d->run(*mine, true);
        },
        16);
    if (!queued) d->pendingSweep.reset();
    return;
  }
  d->queue.push([d, list] { d->run(*list, false); }, 16);
}

}  // namespace dcmSDK
