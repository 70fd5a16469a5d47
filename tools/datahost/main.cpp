// datahost [--import PATH]
//
// Runs the patient library without a window: the engine's frame loop at 60
// frames per second, the library (file, request thread and storage server on
// port 4587) under the writable path (FW_WRITABLE_PATH), and optionally an
// import of PATH. Prints "ready <root>" once started, then one line per
// finished store: "stored <SOP Instance UID> new" or "... known". SIGTERM or
// SIGINT stop it cleanly (exit status 0).
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "app/data/dcmCallbacks.h"
#include "app/data/dcmMessages.h"
#include "app/data/dicomDB.h"
#include "app/data/importDcm.h"
#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace {
volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }
}  // namespace

int main(int argc, char** argv) {
  std::string importPath;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--import") && i + 1 < argc) {
      importPath = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--import PATH]\n", argv[0]);
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

  using clock = std::chrono::steady_clock;
  const auto frame = std::chrono::microseconds(16667);
  auto next = clock::now();
  while (!g_stop) {
    director->stepFrame(1.0f / 60);
    next += frame;
    auto now = clock::now();
    if (next > now) std::this_thread::sleep_for(next - now);
    else next = now;
  }
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
