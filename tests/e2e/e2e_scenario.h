// What every end-to-end scenario shares: one launch of the real program per
// process with a fresh writable folder, and the fixture programs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "e2e/e2e_driver.h"
#include "support/app_driver.h"

namespace fwtest {

extern bool e2eNoDisplay;

// A test fixture whose case launches the program once: a second case in the
// same process runs in a fresh process of its own.
class E2EScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    if (e2eNoDisplay) GTEST_SKIP() << "no display and no Xvfb";
    static bool launched = false;
    if (launched) {
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      EXPECT_TRUE(runTestInFreshProcess(std::string(info->test_suite_name()) + "." + info->name()));
      GTEST_SKIP() << "ran in a fresh process";
    }
    launched = true;
    env = std::make_unique<AppEnvironment>();
    fixtures = env->writable + "fixtures/";
  }

  // Writes fixture series with tools/dcmfixtures into `fixtures`; true when
  // the tool ran cleanly.
  bool makeFixtures(const std::vector<std::string>& args) {
    std::vector<std::string> all{fixtures};
    all.insert(all.end(), args.begin(), args.end());
    ChildProcess child = spawnProgram(FW_DCMFIXTURES, all, true);
    const int status = waitProgram(child, 300);
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  // The scenario's name for its screenshots: suite, case and screen size.
  static std::string scenarioName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name() + "-" + FW_E2E_SCREEN;
  }

  std::unique_ptr<AppEnvironment> env;
  std::string fixtures;
};

}  // namespace fwtest
