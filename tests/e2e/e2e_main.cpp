// The entry of every end-to-end program: the virtual screen of the size the
// program was built for (FW_E2E_SCREEN), then the scenarios.
#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e/e2e_scenario.h"
#include "support/app_driver.h"

bool fwtest::e2eNoDisplay = false;

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("FW_XVFB_SCREEN", FW_E2E_SCREEN, 1);
  if (!GTEST_FLAG_GET(list_tests)) fwtest::e2eNoDisplay = fwtest::startDisplay(argc, argv);
  return RUN_ALL_TESTS();
}
