// The common ground of the online-services tests: one stand-in service for
// the test program, the settings singleton kept as the program keeps it, and
// for every case a fresh writable folder with its own settings file, the
// stand-in's CA and its https address as the service base address.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "engine/cocos2d.h"
#include "service_standin.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSGlobals.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/foundation/standin.h"

namespace onlinetest {

class OnlineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service = new ServiceStandIn;
    ASSERT_TRUE(service->start()) << "the stand-in service did not start";
    AppConfig::getInstance()->retain();
  }
  static void TearDownTestSuite() {
    AppConfig::getInstance()->release();
    delete NSUI::NSHttpClient::getInstanceIfExists();
    delete service;
    service = nullptr;
  }

  void SetUp() override {
    folder = (std::filesystem::temp_directory_path() / ("fwonline-" + std::to_string(getpid()))).string() + "/";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    cocos2d::FileUtils::getInstance()->setWritablePath(folder);
    cocos2d::UserDefault::destroyInstance();
    NSUI::NSHttpClient::getInstance()->setCAFile(service->caFile());
    NSUI::setServerUrl(service->base());
    service->control("reset-log");
  }
  void TearDown() override {
    fwtest::pumpFor(std::chrono::milliseconds(20));
    cocos2d::UserDefault::destroyInstance();
    std::filesystem::remove_all(folder);
  }

  inline static ServiceStandIn* service = nullptr;
  std::string folder;
};

}  // namespace onlinetest
