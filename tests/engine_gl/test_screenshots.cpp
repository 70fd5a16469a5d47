// Runs the engine demo under Xvfb and checks probe pixels of the rendered
// frame, the JPEG captures and the window geometry. Probe places are
// documented at the top of tools/enginedemo/main.cpp.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/platform/Image.h"
#include "support_engine.h"
#include "support_xvfb.h"

extern char** environ;

USING_NS_CC;

namespace {

bool g_skip = false;

struct Rgb {
  int r, g, b;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

// Pixel at design coordinates (origin bottom-left) of a top-down picture.
Rgb at(const Image& img, int x, int y) {
  const int row = img.getHeight() - 1 - y;
  const unsigned char* p = img.getData() + (static_cast<size_t>(row) * img.getWidth() + x) * img.getComponents();
  return {p[0], p[1], p[2]};
}

::testing::AssertionResult near(const Rgb& got, const Rgb& want, int tol) {
  if (std::abs(got.r - want.r) <= tol && std::abs(got.g - want.g) <= tol && std::abs(got.b - want.b) <= tol)
    return ::testing::AssertionSuccess();
  std::ostringstream os;
  os << "got " << got << " want " << want << " +-" << tol;
  return ::testing::AssertionFailure() << os.str();
}

class DemoRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (g_skip) return;
    dir = new TempDir;
    std::string demo = FW_ENGINEDEMO;
    std::string out = dir->path;
    std::vector<std::string> args = {demo, "--out", out, "--frames", "6"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, demo.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
      pid_t r = waitpid(pid, &status, WNOHANG);
      if (r == pid) break;
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "enginedemo did not finish";
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    demoStatus = status;
    frame = new Image;
    frameOk = frame->initWithImageFile(out + "frame.png");
  }
  static void TearDownTestSuite() {
    delete frame;
    frame = nullptr;
    delete dir;
    dir = nullptr;
  }
  void SetUp() override {
    if (g_skip) GTEST_SKIP() << "xvfb-run is not installed";
    ASSERT_TRUE(WIFEXITED(demoStatus) && WEXITSTATUS(demoStatus) == 0) << "demo status " << demoStatus;
    ASSERT_TRUE(frameOk);
    ASSERT_EQ(frame->getWidth(), 960);
    ASSERT_EQ(frame->getHeight(), 600);
  }

  static TempDir* dir;
  static Image* frame;
  static bool frameOk;
  static int demoStatus;
};

TempDir* DemoRun::dir = nullptr;
Image* DemoRun::frame = nullptr;
bool DemoRun::frameOk = false;
int DemoRun::demoStatus = -1;

const Rgb kBackground{26, 26, 26};

TEST_F(DemoRun, SpritesColoursPositionsAndPremultipliedBlending) {
  struct Probe {
    const char* what;
    int x, y;
    Rgb want;
    int tol;
  };
  const Probe probes[] = {
      {"red sprite centre", 100, 500, {255, 0, 0}, 1},
      {"red sprite inner corner", 69, 469, {255, 0, 0}, 1},
      {"left of the red sprite", 66, 500, kBackground, 2},
      {"above the red sprite", 100, 533, kBackground, 2},
      // green (0,255,0) with alpha 128 over opaque blue, premultiplied
      {"green over blue", 250, 500, {0, 128, 127}, 2},
      // red at opacity 128 over the background
      {"half-opaque red", 400, 500, {141, 13, 13}, 3},
      {"label over window A", 120, 280, {255, 255, 255}, 1},
      // blue colour layer at alpha 128, premultiplied
      {"colour layer", 790, 280, {13, 13, 141}, 3},
      {"right of the colour layer", 821, 280, kBackground, 2},
      {"marker moved by the click", 800, 500, {255, 255, 255}, 1},
      {"marker's old place", 900, 40, kBackground, 2},
  };
  for (const auto& p : probes) EXPECT_TRUE(near(at(*frame, p.x, p.y), p.want, p.tol)) << p.what;
}

TEST_F(DemoRun, DrawNodeShapesWideAndStippledLines) {
  struct Probe {
    const char* what;
    int x, y;
    Rgb want;
  };
  const Probe probes[] = {
      {"solid rect", 510, 500, {255, 255, 255}},
      {"1-px green line", 590, 420, {0, 255, 0}},
      {"above the green line", 590, 422, kBackground},
      {"wide line left", 648, 500, {255, 255, 0}},
      {"wide line right", 651, 500, {255, 255, 0}},
      {"right of the wide line", 654, 500, kBackground},
      {"outline left edge", 560, 500, {255, 0, 255}},
      {"outline top edge", 590, 540, {255, 0, 255}},
      {"inside the outline", 590, 500, kBackground},
  };
  for (const auto& p : probes) EXPECT_TRUE(near(at(*frame, p.x, p.y), p.want, 2)) << p.what;

  // Stipple factor 2, pattern 0x5555: runs of two pixels on, two off.
  int on = 0, runs = 0, longest = 0, run = 0;
  for (int x = 490; x < 690; ++x) {
    const bool lit = near(at(*frame, x, 380), {0, 255, 255}, 3);
    if (lit) {
      ++on;
      if (run == 0) ++runs;
      ++run;
      longest = std::max(longest, run);
    } else {
      EXPECT_TRUE(near(at(*frame, x, 380), kBackground, 2)) << "stipple gap at " << x;
      run = 0;
    }
  }
  EXPECT_NEAR(on, 100, 4);
  EXPECT_GE(runs, 48);
  EXPECT_LE(longest, 2);
}

TEST_F(DemoRun, LuminanceAlphaRampThroughShader) {
  for (int k : {0, 1, 2, 77, 128, 200, 254, 255}) {
    const Rgb c = at(*frame, 40 + k, 340);
    EXPECT_TRUE(near(c, {k, k, k}, 1)) << "column " << k;
  }
}

TEST_F(DemoRun, CameraWindowsClipAndApplyTheirProjectionAndDepth) {
  struct Probe {
    const char* what;
    int x, y;
    Rgb want;
  };
  const Rgb orange{255, 128, 0};
  const Probe probes[] = {
      {"window A inside, corner", 51, 51, orange},
      {"window A inside, far corner", 348, 298, orange},
      {"left of window A", 48, 100, kBackground},
      {"below window A", 100, 48, kBackground},
      {"above window A", 300, 301, kBackground},
      {"between the windows", 375, 100, kBackground},
      {"square shifted by the additional projection", 248, 175, {0, 255, 0}},
      {"square's unshifted place", 200, 175, orange},
      {"window B front quad at depth 0.001", 550, 175, {255, 255, 0}},
      {"window B background at depth 0.999", 420, 70, {128, 128, 128}},
      {"right of window B", 702, 100, kBackground},
  };
  for (const auto& p : probes) EXPECT_TRUE(near(at(*frame, p.x, p.y), p.want, 2)) << p.what;
}

TEST_F(DemoRun, CaptureScreenJpegMatchesTheFrame) {
  Image capture;
  ASSERT_TRUE(capture.initWithImageFile(dir->path + "capture.jpg"));
  EXPECT_EQ(capture.getFileType(), Image::Format::JPG);
  ASSERT_EQ(capture.getWidth(), 960);
  ASSERT_EQ(capture.getHeight(), 600);
  // Flat areas away from edges (JPEG rings at edges).
  const std::pair<int, int> spots[] = {{100, 500}, {250, 500}, {510, 500}, {150, 100}, {550, 175},
                                       {420, 70},  {800, 100}, {248, 175}, {100, 360}};
  for (auto [x, y] : spots) EXPECT_TRUE(near(at(capture, x, y), at(*frame, x, y), 10)) << x << "," << y;

  Image rect;
  ASSERT_TRUE(rect.initWithImageFile(dir->path + "rect.jpg"));
  ASSERT_EQ(rect.getWidth(), 48);
  ASSERT_EQ(rect.getHeight(), 48);
  for (auto [x, y] : {std::pair{24, 24}, {4, 4}, {43, 43}, {4, 43}})
    EXPECT_TRUE(near(at(rect, x, y), {255, 0, 0}, 10)) << x << "," << y;
  // Nothing left under a temporary name.
  std::ifstream probe(dir->path + "capture.jpg.tmp");
  EXPECT_FALSE(probe.good());
}

TEST_F(DemoRun, DesignSizeEqualsFrameSize) {
  std::ifstream in(dir->path + "info.txt");
  std::map<std::string, std::pair<float, float>> sizes;
  std::string key;
  float a, b;
  while (in >> key >> a) {
    if (key == "frame" || key == "design" || key == "visible" || key == "win") {
      in >> b;
      sizes[key] = {a, b};
    } else {
      sizes[key] = {a, 0};
    }
  }
  for (const char* k : {"frame", "design", "visible", "win"}) {
    EXPECT_EQ(sizes[k].first, 960) << k;
    EXPECT_EQ(sizes[k].second, 600) << k;
  }
  EXPECT_GE(sizes["maxtexture"].first, 2048);
  EXPECT_EQ(sizes["vao"].first, 1);
}

}  // namespace

int main(int argc, char** argv) {
  g_skip = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
