// Helpers of the series cache tests: a scratch writable path, series folders
// below it, a recorder of notifications and frame stepping.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "support/scratch_folder.h"
#include "imaging/core/isSeriesCache.h"
#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "tools/dcmfixtures/fixtures.h"

namespace seriestest {

namespace fs = std::filesystem;

// A fresh writable path for the whole test program, removed at exit.
inline const std::string& writable() {
  static const std::string dir = [] {
    const std::string t = fwtest::programScratchFolder("seriescache-test");
    cocos2d::FileUtils::getInstance()->setWritablePath(t);
    return t;
  }();
  return dir;
}

// A series folder below the writable path (as the storage lays them out).
inline std::string seriesFolder(const std::string& name) {
  return writable() + "kq/dicom/" + name + "/";
}

inline std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void stepFrame(float dt = 1.0f / 60.0f) { cocos2d::Director::getInstance()->stepFrame(dt); }

// Records what the notification centre delivers for a few ids on the
// broadcast channel or a given object.
struct Recorder {
  struct Entry {
    int id;
    cocos2d::Ref* sender;
    int intValue;
    float floatValue;
    int indexValue;
  };
  std::vector<Entry> got;
  int tag = 0;  // registration target

  Recorder(std::initializer_list<int> ids, void* object = nullptr) {
    auto* centre = NSUI::NSNotificationCenter::getInstance();
    for (int id : ids)
      centre->addObserver(&tag, object,
                          [this](cocos2d::Ref* sender, unsigned int nid, NSUI::NSNotificationData* d) {
                            got.push_back({static_cast<int>(nid), sender, d ? d->intValue : 0,
                                           d ? d->floatValue : 0.0f, d ? d->indexValue : 0});
                          },
                          id);
    // The centre's tick starts 0.5 s after it is made.
    stepFrame(0.6f);
  }
  ~Recorder() { NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&tag); }
  std::vector<int> ints(int id) const {
    std::vector<int> out;
    for (const auto& e : got)
      if (e.id == id) out.push_back(e.intValue);
    return out;
  }
  int count(int id) const {
    int n = 0;
    for (const auto& e : got) n += e.id == id;
    return n;
  }
  // Delivers everything queued so far.
  void drain(int frames = 3) {
    for (int i = 0; i < frames; ++i) stepFrame();
  }
};

// Steps frames until the condition holds or about 20 s have passed.
inline bool pumpUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < end) {
    stepFrame();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

}  // namespace seriestest
