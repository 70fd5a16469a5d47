// datahost [--import PATH] | datahost --service
//
// Runs the patient library without a window: the engine's frame loop at 60
// frames per second, the library (file, request thread and storage server on
// port 4587) under the writable path (FW_WRITABLE_PATH), and optionally an
// import of PATH. Prints "ready <root>" once started, then one line per
// finished store: "stored <SOP Instance UID> new" or "... known". SIGTERM or
// SIGINT stop it cleanly (exit status 0).
//
// --service runs the DICOM task service (which owns the library) and peer
// discovery as the program does: a discovery sweep and the known-node echo
// at start, the service's one-second tick, and the program's teardown order
// at the end. It prints "service <application id> <host name>" after
// "ready", and one line per event:
//   peer <payload>              a peer was found (2020, JSON text)
//   count <n>                   the peer count (2027)
//   reply <payload>             a DICOM node answered an echo or not (2003)
//   queued <task> <path>        a send request was taken
//   task <task> <state> <pct>   a send task changed state or progress
//                               (waiting, running, done, failed)
// Send requests come on standard input, one per line: "FOLDER ADDRESS PORT"
// (the folder may hold blanks).
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/data/dataService.h"
#include "app/data/dcmCallbacks.h"
#include "app/data/dcmMessages.h"
#include "app/data/dicomDB.h"
#include "app/data/importDcm.h"
#include "app/data/sniffer.h"
#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSNetworkInfo.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace {
volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

const char* stateName(int state) {
  switch (state) {
    case DCM_TASK_WAITING: return "waiting";
    case DCM_TASK_RUNNING: return "running";
    case DCM_TASK_DONE: return "done";
    default: return "failed";
  }
}

// Whole lines read so far from standard input (without blocking); false at
// its end.
bool readLines(std::string& pending, std::vector<std::string>& lines) {
  pollfd p{0, POLLIN, 0};
  while (poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP))) {
    char buf[4096];
    ssize_t n = read(0, buf, sizeof buf);
    if (n <= 0) return false;
    pending.append(buf, static_cast<size_t>(n));
  }
  size_t nl;
  while ((nl = pending.find('\n')) != std::string::npos) {
    lines.push_back(pending.substr(0, nl));
    pending.erase(0, nl + 1);
  }
  return true;
}

void frameLoop(const std::function<void()>& eachFrame) {
  auto* director = cocos2d::Director::getInstance();
  using clock = std::chrono::steady_clock;
  const auto frame = std::chrono::microseconds(16667);
  auto next = clock::now();
  while (!g_stop) {
    director->stepFrame(1.0f / 60);
    if (eachFrame) eachFrame();
    next += frame;
    auto now = clock::now();
    if (next > now) std::this_thread::sleep_for(next - now);
    else next = now;
  }
}

int runService() {
  AppConfig* config = AppConfig::getInstance();
  config->retain();
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  static int observer;
  for (int id : {NOTIFY_PEER_FOUND, NOTIFY_NODE_COUNT, NOTIFY_NODE_REPLY})
    centre->addObserver(
        &observer, nullptr,
        [](cocos2d::Ref*, unsigned int i, NSUI::NSNotificationData* d) {
          if (i == NOTIFY_PEER_FOUND) say("peer " + d->text);
          else if (i == NOTIFY_NODE_COUNT) say("count " + std::to_string(d->intValue));
          else say("reply " + d->text);
        },
        id);

  dataService* service = dataService::getInstance();
  service->database->storeObserver = [](const std::string& sop, bool isNew) {
    say("stored " + sop + (isNew ? " new" : " known"));
  };
  std::string host, addresses, masks;
  NSUI::getNetworkInfo(host, addresses, masks);
  say(std::string("ready ") + service->database->getRoot() + (service->database->isOpen ? " open" : " closed"));
  say("service " + config->getAppIdentifier() + " " + host);

  // As the program starts: discovery, then the known nodes.
  NSUI::sniffer::getInstance()->startDiscovery();
  service->echoNodes(NODE_ECHO_KNOWN);

  std::map<unsigned, std::pair<int, int>> seen;  // task -> (state, progress)
  std::string pending;
  bool input = true;
  frameLoop([&] {
    std::vector<std::string> lines;
    if (input) input = readLines(pending, lines);
    for (const auto& line : lines) {
      // The folder may hold blanks: address and port are the last two words.
      std::string folder = line, address, port;
      while (!folder.empty() && std::isspace(static_cast<unsigned char>(folder.back()))) folder.pop_back();
      size_t p2 = folder.find_last_of(" \t");
      size_t p1 = p2 == std::string::npos ? std::string::npos : folder.find_last_of(" \t", p2 - 1);
      if (p1 == std::string::npos || p1 == 0) {
        if (!line.empty()) say("refused " + line);
        continue;
      }
      port = folder.substr(p2 + 1);
      address = folder.substr(p1 + 1, p2 - p1 - 1);
      folder.resize(p1);
      auto* task = new dcmSendingObject;
      task->path = folder;
      task->ip = address;
      task->port = port;
      task->name = address;
      say("queued " + std::to_string(task->getRefID()) + " " + folder);
      service->addSendTask(task);
      task->release();
    }
    for (auto* t : service->sendTasks) {
      std::pair<int, int> now{t->state, static_cast<int>(t->progress)};
      auto it = seen.find(t->getRefID());
      if (it != seen.end() && it->second == now) continue;
      seen[t->getRefID()] = now;
      say("task " + std::to_string(t->getRefID()) + " " + stateName(t->state) + " " + std::to_string(now.second));
    }
  });

  // The program's teardown order: the discovery's receive loop, then the
  // service, then the library.
  if (NSUI::sniffer* discovery = NSUI::sniffer::getInstanceIfExists()) {
    if (discovery->running) {
      discovery->stopRequested = true;
      while (discovery->running) NSUI::sleepFor(0, 5000000);
    }
    NSUI::sniffer::destroyInstance();
  }
  centre->removeAllObservers(&observer);
  service->stop();
  dataService::destroyInstance();
  cocos2d::Director::getInstance()->stepFrame(1.0f / 60);
  dcmSDK::dcmsdk_destroy();
  config->release();
  say("stopped");
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  std::string importPath;
  bool service = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--import") && i + 1 < argc) {
      importPath = argv[++i];
    } else if (!std::strcmp(argv[i], "--service")) {
      service = true;
    } else {
      std::fprintf(stderr, "usage: %s [--import PATH] | --service\n", argv[0]);
      return 2;
    }
  }
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);

  dcmSDK::setLogCallback(dcmLogCallback);
  dcmSDK::setMsgCallback(dcmMsgCallback);
  dcmSDK::setgb2utf8Callback(dcmGb2Utf8Callback);
  dcmSDK::setReadFileCallback(dcmReadFileCallback);

  auto* director = cocos2d::Director::getInstance();
  NSUI::NSNotificationCenter::getInstance();
  if (service) return runService();
  auto* db = new dicomDB();
  db->storeObserver = [](const std::string& sop, bool isNew) {
    std::printf("stored %s %s\n", sop.c_str(), isNew ? "new" : "known");
    std::fflush(stdout);
  };
  db->start();
  std::printf("ready %s %s\n", db->getRoot().c_str(), db->isOpen ? "open" : "closed");
  std::fflush(stdout);

  importDcm* importer = nullptr;
  if (!importPath.empty()) {
    importer = importDcm::create();
    importer->retain();
    importer->setRootPath(db->getRoot());
    importer->import(importPath);
  }

  frameLoop(nullptr);
  if (importer) {
    importer->stopWorker();
    importer->release();
  }
  db->stop();
  db->release();
  director->stepFrame(1.0f / 60);
  dcmSDK::dcmsdk_destroy();
  std::printf("stopped\n");
  std::fflush(stdout);
  return 0;
}
