// screens: 1920x1080
// Images sent to the running program by a DICOM peer (DCMTK's storescu on
// loopback) land in its library while the window keeps drawing.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/e2e_scenario.h"
#include "shell/AppDelegate.h"

namespace fs = std::filesystem;

class Receive : public fwtest::E2EScenario {};

TEST_F(Receive, ASeriesSentByStorescuBecomesLibraryRows) {
  ASSERT_TRUE(makeFixtures({"--only", "ct_phantom", "--size", "64x64", "--slices", "40"}));
  const std::string series = fixtures + "ct_phantom_HFS";
  ASSERT_TRUE(fs::is_directory(series));

  AppDelegate app;
  fwtest::E2EDriver driver(scenarioName());
  long long images = -1, seriesRows = -1;
  std::string seriesPath, log;
  int status = -1;
  const int rc = driver.run(app, [&](fwtest::E2EDriver& d) {
    d.frames(5);
    status = d.runCommand("/usr/bin/storescu", {"-aec", "fernwick", "+sd", "127.0.0.1", "4587", series}, 120, &log);
    d.waitFrames([&] { return (images = fwtest::E2EDriver::queryLibrary("SELECT COUNT(*) FROM image")) >= 40; },
                 1800);
    seriesRows = fwtest::E2EDriver::queryLibrary("SELECT COUNT(*) FROM series");
    d.shot("home-after-receive");
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(status, 0) << log;
  EXPECT_EQ(images, 40);
  EXPECT_EQ(seriesRows, 1);
}
