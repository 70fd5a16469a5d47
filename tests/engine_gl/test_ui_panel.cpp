// Runs the engine demo's interface panel (tools/enginedemo/panel.csb) under
// Xvfb: SDL events pushed into the real window's queue press the picture
// button, drag the slider and toggle the check box; probe pixels check the
// texts (Latin, Chinese, Arabic, shadow), the nine-slice pictures, the
// clipping layout and the widget states before, during and after.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
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

std::ostream& operator<<(std::ostream& os, const Rgb& c) { return os << "(" << c.r << "," << c.g << "," << c.b << ")"; }

Rgb at(const Image& img, int x, int y) {
  const int row = img.getHeight() - 1 - y;
  const unsigned char* p = img.getData() + (static_cast<size_t>(row) * img.getWidth() + x) * img.getComponents();
  return {p[0], p[1], p[2]};
}

::testing::AssertionResult near(const Rgb& got, const Rgb& want, int tol = 3) {
  if (std::abs(got.r - want.r) <= tol && std::abs(got.g - want.g) <= tol && std::abs(got.b - want.b) <= tol)
    return ::testing::AssertionSuccess();
  std::ostringstream os;
  os << "got " << got << " want " << want << " +-" << tol;
  return ::testing::AssertionFailure() << os.str();
}

// Pixels of the rectangle [x0, x1) × [y0, y1) that pass test.
int count(const Image& img, int x0, int y0, int x1, int y1, const std::function<bool(const Rgb&)>& test) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += test(at(img, x, y));
  return n;
}

bool white(const Rgb& c) { return c.r > 220 && c.g > 220 && c.b > 220; }
bool dark(const Rgb& c) { return c.r < 35 && c.g < 35 && c.b < 45; }
bool yellow(const Rgb& c) { return c.r > 200 && c.g > 180 && c.b < 90; }

const Rgb kPanel{70, 74, 90};
const Rgb kBlue{40, 100, 200};
const Rgb kOrange{230, 140, 30};
const Rgb kRed{200, 40, 40};
const Rgb kLight{240, 240, 240};
const Rgb kCyan{0, 180, 220};
const Rgb kBar{60, 60, 60};
const Rgb kClipGreen{0, 90, 0};

class Panel : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (g_skip) return;
    dir = new TempDir;
    std::string demo = FW_ENGINEDEMO;
    std::vector<std::string> args = {demo, "--scene", "panel", "--out", dir->path, "--frames", "3"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, demo.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
      if (waitpid(pid, &status, WNOHANG) == pid) break;
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "enginedemo did not finish";
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    demoStatus = status;
    for (int i = 0; i < 3; ++i) {
      static const char* names[] = {"panel_initial.png", "panel_pressed.png", "panel_after.png"};
      shots[i] = new Image;
      shotOk[i] = shots[i]->initWithImageFile(dir->path + names[i]);
    }
  }
  static void TearDownTestSuite() {
    for (auto*& s : shots) {
      delete s;
      s = nullptr;
    }
    delete dir;
    dir = nullptr;
  }
  void SetUp() override {
    if (g_skip) GTEST_SKIP() << "xvfb-run is not installed";
    ASSERT_TRUE(WIFEXITED(demoStatus) && WEXITSTATUS(demoStatus) == 0) << "demo status " << demoStatus;
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(shotOk[i]) << i;
      ASSERT_EQ(shots[i]->getWidth(), 960);
      ASSERT_EQ(shots[i]->getHeight(), 600);
    }
  }
  const Image& initial() const { return *shots[0]; }
  const Image& pressed() const { return *shots[1]; }
  const Image& after() const { return *shots[2]; }

  static TempDir* dir;
  static Image* shots[3];
  static bool shotOk[3];
  static int demoStatus;
};

TempDir* Panel::dir = nullptr;
Image* Panel::shots[3] = {};
bool Panel::shotOk[3] = {};
int Panel::demoStatus = -1;

TEST_F(Panel, TextsInTwoSizesAndThreeScripts) {
  const Image& img = initial();
  EXPECT_TRUE(near(at(img, 900, 300), kPanel));
  // Each label leaves enough of its colour in its line; nothing spills far
  // below a 36-pixel line.
  EXPECT_GT(count(img, 20, 540, 320, 585, white), 400) << "Latin, 36 px";
  EXPECT_GT(count(img, 340, 540, 620, 585, white), 400) << "Chinese, 36 px (fallback font)";
  EXPECT_GT(count(img, 640, 530, 955, 590, yellow), 300) << "Arabic, 36 px";
  EXPECT_EQ(count(img, 20, 525, 940, 530, white), 0) << "between the lines";
  EXPECT_GT(count(img, 20, 500, 320, 522, white), 100) << "Latin, 16 px";
  EXPECT_GT(count(img, 20, 498, 320, 522, dark), 60) << "the shadow of the 16 px line";
  EXPECT_GT(count(img, 340, 500, 480, 522, white), 40) << "Chinese, 16 px";
  EXPECT_EQ(count(img, 340, 498, 480, 522, dark), 0) << "no shadow where none was asked";
  EXPECT_GT(count(img, 640, 500, 760, 522, white), 30) << "Arabic, 16 px";
  // The Arabic line starts at its anchor on the left like the others.
  EXPECT_GT(count(img, 640, 530, 700, 590, yellow), 10);
  // Placeholder text in grey.
  EXPECT_GT(count(img, 420, 308, 640, 332, [](const Rgb& c) { return c.r > 130 && c.r < 200 && std::abs(c.r - c.b) < 8; }),
            40);
}

TEST_F(Panel, PicturesNineSlicesAndTitles) {
  const Image& img = initial();
  struct Probe {
    const char* what;
    int x, y;
    Rgb want;
  };
  const Probe probes[] = {
      {"picture button", 50, 420, kBlue},
      {"nine-slice button, left border", 222, 430, kRed},
      {"nine-slice button, inside the border", 230, 415, kLight},
      {"nine-slice button, top border", 300, 453, kRed},
      {"nine-slice sprite, left border", 622, 430, kRed},
      {"nine-slice sprite, inside the border", 630, 430, kLight},
      {"nine-slice sprite, top border", 680, 468, kRed},
      {"nine-slice sprite, below the top border", 680, 462, kLight},
      {"image view, top left", 840, 450, {220, 30, 30}},
      {"image view, top right", 880, 450, {30, 200, 30}},
      {"image view, bottom left", 840, 410, {30, 30, 220}},
      {"image view, bottom right", 880, 410, {230, 220, 30}},
      {"row layout: first child", 56, 90, {60, 60, 60}},
      {"row layout: second child, top left", 80, 98, {220, 30, 30}},
  };
  for (const auto& p : probes) EXPECT_TRUE(near(at(img, p.x, p.y), p.want)) << p.what;
  EXPECT_GT(count(img, 240, 418, 360, 442, dark), 30) << "black title on the nine-slice button";
  EXPECT_GT(count(img, 440, 415, 560, 445, yellow), 60) << "title-only button";
  EXPECT_GT(count(img, 60, 418, 140, 442, white), 30) << "white title on the picture button";
}

TEST_F(Panel, ClippingLayoutWithBackground) {
  const Image& img = initial();
  struct Probe {
    const char* what;
    int x, y;
    Rgb want;
  };
  const Probe probes[] = {
      {"layout background", 608, 135, kClipGreen},
      {"clipped picture inside, top left", 650, 180, {220, 30, 30}},
      {"clipped picture inside, bottom right", 760, 70, {230, 220, 30}},
      {"above the clip (the picture reaches here)", 700, 212, kPanel},
      {"below the clip (the picture reaches here)", 700, 57, kPanel},
  };
  for (const auto& p : probes) EXPECT_TRUE(near(at(img, p.x, p.y), p.want)) << p.what;
  EXPECT_GT(count(img, 610, 70, 790, 92, white), 50) << "text inside the clip";
  EXPECT_EQ(count(img, 802, 60, 955, 100, white), 0) << "text past the clip's right edge";
}

TEST_F(Panel, PushedEventsChangeTheStates) {
  // Held: the pressed picture; released: the normal one.
  EXPECT_TRUE(near(at(pressed(), 50, 420), kOrange));
  EXPECT_TRUE(near(at(after(), 50, 420), kBlue));
  // Slider from 25 % to 75 %: progress up to x = 200, the ball follows.
  EXPECT_TRUE(near(at(initial(), 75, 316), kCyan));
  EXPECT_TRUE(near(at(initial(), 180, 316), kBar));
  EXPECT_TRUE(near(at(after(), 180, 316), kCyan));
  EXPECT_TRUE(near(at(after(), 230, 316), kBar));
  EXPECT_TRUE(white(at(after(), 200, 320)));
  EXPECT_FALSE(white(at(initial(), 200, 320)));
  // Check box: the mark appears.
  auto green = [](const Rgb& c) { return c.g > 150 && c.r < 100 && c.b < 120; };
  EXPECT_EQ(count(initial(), 326, 306, 354, 334, green), 0);
  EXPECT_GT(count(after(), 326, 306, 354, 334, green), 40);

  std::ifstream in(dir->path + "events.txt");
  std::vector<std::string> events;
  for (std::string line; std::getline(in, line);) events.push_back(line);
  EXPECT_EQ(events, (std::vector<std::string>{"click pictureButton", "slider 1 25", "slider 0 25", "slider 0 75",
                                              "slider 2 75", "check selected"}));
}

}  // namespace

int main(int argc, char** argv) {
  g_skip = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
