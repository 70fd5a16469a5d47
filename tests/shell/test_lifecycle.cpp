// The program's life in its real window: launch, message box, captures,
// background and foreground, a dropped path, the quit event and the
// teardown, and a second launch of the real program in a fresh process
// ended by SIGTERM. Each case is one launch (one process: the teardown ends
// the process-wide services for good).
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "engine/cocos2d.h"
#include "shell/AppDelegate.h"
#include "support/app_driver.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSCapture.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/NSMessageBox.h"

USING_NS_CC;
namespace fs = std::filesystem;
using NSUI::UILocalConfig;

namespace {

bool g_skip = false;
bool g_launched = false;  // one launch per process

const char* const kFirstRunKeys[] = {"app_current_version", "app_install_time", "app_init_db", "app_identifier"};

std::string currentTestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(info->test_suite_name()) + "." + info->name();
}

// Where the screenshots of a run go (kept for a look).
std::string shotPath(const std::string& name) {
  const char* dir = std::getenv("FW_SHELL_SHOTS");
  std::string folder = dir && *dir ? dir : (fs::temp_directory_path() / "fernwick-shell-shots").string();
  fs::create_directories(folder);
  return folder + "/" + name;
}

// Collects the posts of one id on the broadcast channel.
struct Observer {
  explicit Observer(int id) {
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        this, nullptr, [this](Ref*, unsigned int, NSUI::NSNotificationData* data) {
          texts.push_back(data ? data->text : "");
        },
        id);
  }
  ~Observer() {
    if (auto* centre = NSUI::NSNotificationCenter::getInstance()) centre->removeAllObservers(this);
  }
  std::vector<std::string> texts;
};

bool isDecimalBelow2To32(const std::string& text) {
  if (text.empty() || text.size() > 10 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
  return std::stoull(text) < (1ull << 32);
}

class Shell : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_skip) GTEST_SKIP() << "no display and no Xvfb";
    if (g_launched) {
      // A launch already ran in this process: this case gets its own.
      EXPECT_TRUE(fwtest::runTestInFreshProcess(currentTestName()));
      GTEST_SKIP() << "ran in a fresh process";
    }
    g_launched = true;
    env = std::make_unique<fwtest::AppEnvironment>();
  }

  // After the teardown: every process-wide service is gone for good.
  static void expectTornDown() {
    EXPECT_EQ(NSUI::NSNotificationCenter::getInstance(), nullptr);
    EXPECT_EQ(AppConfig::getInstance(), nullptr);
    EXPECT_EQ(AppConfig::getInstance(), nullptr);  // and no second one is made
    EXPECT_EQ(NSUI::NSHttpClient::getInstanceIfExists(), nullptr);
    EXPECT_TRUE(Director::getInstance()->isEnded());
  }

  std::unique_ptr<fwtest::AppEnvironment> env;
};

}  // namespace

TEST_F(Shell, LaunchFillsTheWorkAreaWritesFirstRunKeysAndTearsDown) {
  for (const char* key : kFirstRunKeys) ASSERT_EQ(UILocalConfig::getStringForKey(key, "<none>"), "<none>");
  AppDelegate app;
  std::map<std::string, std::string> keys;
  Size frame, design, win, configDesign, configWin;
  Rect area;
  std::vector<std::string> searchPaths;
  std::string title, shownTitle, runningScene;
  fwtest::FramePixels home;
  const int rc = fwtest::AppDriver().run(app, [&](fwtest::AppDriver& d) {
    d.frames(3);
    for (const char* key : kFirstRunKeys) keys[key] = UILocalConfig::getStringForKey(key, "<none>");
    GLView* view = Director::getInstance()->getOpenGLView();
    frame = view->getFrameSize();
    design = view->getDesignResolutionSize();
    win = Director::getInstance()->getWinSize();
    configDesign = *AppConfig::getInstance()->getDesignSize();
    configWin = AppConfig::getInstance()->winSize;
    area = GLViewImpl::getWorkAreaClientRect();
    searchPaths = FileUtils::getInstance()->getSearchPaths();
    title = SDL_GetWindowTitle(SDL_GL_GetCurrentWindow());
    if (Scene* scene = Director::getInstance()->getRunningScene())
      if (auto* label = dynamic_cast<Label*>(scene->getChildByNameDeep("appName"))) shownTitle = label->getString();
    home = d.grabFrame(shotPath("home.png"));
  });
  EXPECT_EQ(rc, 0);

  EXPECT_EQ(keys["app_current_version"], "2.5");
  NSUI::DateTimeFields installed;
  EXPECT_TRUE(NSUI::parseDateTime(keys["app_install_time"], installed)) << keys["app_install_time"];
  EXPECT_EQ(keys["app_init_db"], "1");
  EXPECT_TRUE(isDecimalBelow2To32(keys["app_identifier"])) << keys["app_identifier"];

  // One design unit is one window pixel, and the window is the work area
  // (the whole screen under a bare virtual screen).
  EXPECT_EQ(frame, area.size);
  if (std::getenv("FW_UNDER_XVFB")) {
    EXPECT_EQ(frame, Size(1920, 1080));
  }
  EXPECT_EQ(design, frame);
  EXPECT_EQ(win, frame);
  EXPECT_EQ(configDesign, frame);
  EXPECT_EQ(configWin, frame);
  // Search paths in the launch's order (each resolved below the resource
  // root), behind the update service's active folder, which it puts first.
  const std::vector<std::string> order{"kq/update/temp1/", "res/pad", "imageSDK", "dcmtk", "UIRes", "test"};
  ASSERT_EQ(searchPaths.size(), order.size());
  for (size_t i = 0; i < order.size(); ++i)
    EXPECT_NE(searchPaths[i].find(order[i]), std::string::npos) << i << ": " << searchPaths[i];
  EXPECT_EQ(title, "Fernwick");
  EXPECT_EQ(shownTitle, "Fernwick");
  // The home screen filled the window: its background at the corners.
  ASSERT_EQ(home.width, static_cast<int>(frame.width));
  for (auto [x, y] : {std::pair{2, 2}, std::pair{home.width - 3, home.height - 3}}) {
    const unsigned char* p = home.at(x, y);
    EXPECT_NEAR(p[0], 38, 3);
    EXPECT_NEAR(p[2], 52, 3);
  }

  expectTornDown();
  // The first-run keys reached the settings file at the end.
  UserDefault::destroyInstance();
  EXPECT_EQ(UILocalConfig::getStringForKey("app_identifier", ""), keys["app_identifier"]);

  // A second launch of the real program, in a fresh process, ended by
  // SIGTERM: the same teardown runs (exit code 0) and none of the first-run
  // keys is written again.
  UILocalConfig::setStringForKey("app_init_db", "0");  // as after the first import
  UserDefault::destroyInstance();
  // Leaks are checked in this process; the program itself lets Mesa unload
  // its driver, whose leftovers cannot be named for a suppression.
  setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  fwtest::ChildProcess program = fwtest::spawnProgram(FW_FERNWICK, {}, true);
  ASSERT_GT(program.pid, 0);
  const bool windowUp = fwtest::waitForOutput(program, "GLViewImpl:", 60);
  kill(program.pid, SIGTERM);
  const int status = fwtest::waitProgram(program, 60);
  EXPECT_TRUE(windowUp) << program.seen;
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status << "\n" << program.seen;
  EXPECT_EQ(WEXITSTATUS(status), 0) << program.seen;
  UserDefault::destroyInstance();
  EXPECT_EQ(UILocalConfig::getStringForKey("app_current_version", ""), "2.5");
  EXPECT_EQ(UILocalConfig::getStringForKey("app_install_time", ""), keys["app_install_time"]);
  EXPECT_EQ(UILocalConfig::getStringForKey("app_init_db", ""), "0");
  EXPECT_EQ(UILocalConfig::getStringForKey("app_identifier", ""), keys["app_identifier"]);
}

TEST_F(Shell, MessageBoxShowsOneBarPerSceneAndHidesAfterItsTime) {
  AppDelegate app;
  const int rc = fwtest::AppDriver().run(app, [&](fwtest::AppDriver& d) {
    d.frames(2);
    Scene* scene = Director::getInstance()->getRunningScene();
    ASSERT_NE(scene, nullptr);
    const Size win = Director::getInstance()->getWinSize();

    NSUI::showMessageBox("Series sent to PACS", 2);
    fwtest::FramePixels shot = d.grabFrame(shotPath("message_box.png"));
    Node* host = scene->getChildByName("ns_fun_messageBox");
    Node* box = scene->getChildByName("messageBox");
    ASSERT_NE(host, nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->getPosition(), Vec2(0.5f * win.width, 0.15f * win.height));
    EXPECT_EQ(box->getContentSize(), Size(0.8f * win.width, 80));
    // On screen: the grey bar over the home screen's background, with light
    // text in its middle.
    ASSERT_EQ(shot.width, static_cast<int>(win.width));
    const int barTop = static_cast<int>(win.height - 0.15f * win.height - 40);  // rows from the top
    const int cx = shot.width / 2, cy = static_cast<int>(win.height - 0.15f * win.height);
    const unsigned char* bar = shot.at(static_cast<int>(0.1f * win.width) + 4, barTop + 4);
    EXPECT_NEAR(bar[0], 80, 12) << "bar colour";
    EXPECT_NEAR(bar[0], bar[2], 4);
    const unsigned char* outside = shot.at(static_cast<int>(0.1f * win.width) - 4, barTop + 4);
    EXPECT_NEAR(outside[0], 38, 3) << "left of the bar";
    int light = 0;
    for (int y = cy - 15; y < cy + 15; ++y)
      for (int x = cx - 150; x < cx + 150; ++x)
        if (shot.at(x, y)[0] > 200 && shot.at(x, y)[1] > 200) ++light;
    EXPECT_GT(light, 150) << "text pixels in the bar";

    // A second message in the same scene reuses the host and the box.
    d.runFor(1.0);
    NSUI::showMessageBox("Second message", 2);
    d.frames(2);
    int hosts = 0, boxes = 0;
    for (Node* child : scene->getChildren()) {
      hosts += child->getName() == "ns_fun_messageBox";
      boxes += child->getName() == "messageBox";
    }
    EXPECT_EQ(hosts, 1);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(scene->getChildByName("ns_fun_messageBox"), host);
    auto* text = dynamic_cast<ui::Text*>(box->getChildByNameDeep("messageBox.text"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->getString(), "Second message");
    // The time started again: still shown 1.5 s later (2.5 s after the first).
    d.runFor(1.5);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(d.runUntil([&] { return !box->isVisible(); }, 3));
  });
  EXPECT_EQ(rc, 0);
  expectTornDown();
}

TEST_F(Shell, CapturesInOneSecondGetTheirOwnFilesEachAnnouncedOnce) {
  AppDelegate app;
  std::vector<std::string> announced;
  std::string folder;
  std::set<std::string> placed;
  Size win;
  const int rc = fwtest::AppDriver().run(app, [&](fwtest::AppDriver& d) {
    d.frames(2);
    win = Director::getInstance()->getWinSize();
    Observer saved(NOTIFY_CAPTURE_SAVED);
    // Files of this second and the next exist already: they stay untouched.
    folder = FileUtils::getInstance()->getWritablePath() + "kq/tmp/capture/";
    fs::create_directories(folder);
    const long now = std::stol(NSUI::getTimestampString());
    for (long t : {now, now + 1}) {
      const std::string name = folder + std::to_string(t) + ".jpg";
      std::ofstream(name) << "earlier capture";
      placed.insert(name);
    }
    NSUI::captureScreen(0, 0, 0, 0);
    NSUI::captureScreen(0, 0, 0, 0);
    d.runUntil([&] { return saved.texts.size() >= 2; }, 20);
    d.frames(10);  // nothing further arrives
    announced = saved.texts;
  });
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(announced.size(), 2u);
  EXPECT_NE(announced[0], announced[1]);
  for (const std::string& path : announced) {
    EXPECT_EQ(path.rfind(folder, 0), 0u) << path;
    EXPECT_EQ(placed.count(path), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 4), ".jpg");
    Image image;
    ASSERT_TRUE(image.initWithImageFile(path)) << path;
    EXPECT_EQ(image.getWidth(), static_cast<int>(win.width));
    EXPECT_EQ(image.getHeight(), static_cast<int>(win.height));
  }
  for (const std::string& name : placed) {
    std::ifstream in(name);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "earlier capture");
  }
  // Kept for a look.
  fs::copy_file(announced[0], shotPath("capture.jpg"), fs::copy_options::overwrite_existing);
  expectTornDown();
}

TEST_F(Shell, MinimiseStopsRenderingRestoreResumesInputArrivesAndADroppedPathIsPostedOnce) {
  AppDelegate app;
  const int rc = fwtest::AppDriver().run(app, [&](fwtest::AppDriver& d) {
    // The X server's own events of a new window (mapped, shown, exposed) are
    // handled first, so none of them lands between the pushed events below.
    d.runUntil([] { return (SDL_GetWindowFlags(SDL_GL_GetCurrentWindow()) & SDL_WINDOW_SHOWN) != 0; }, 10);
    d.runFor(0.3);
    Director* director = Director::getInstance();
    Observer imports(NOTIFY_IMPORT_PATH);
    Observer probe(NOTIFY_OUT_OF_MEMORY);

    d.minimize();
    EXPECT_TRUE(d.runUntil([&] { return director->isAnimationStopped(); }, 5));
    // Frames and notifications go on in the background; nothing is drawn.
    const unsigned before = director->getTotalFrames();
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, NOTIFY_OUT_OF_MEMORY, "bg", nullptr,
                                                                    false);
    EXPECT_TRUE(d.runUntil([&] { return probe.texts.size() == 1; }, 3));
    EXPECT_GT(director->getTotalFrames(), before);
    EXPECT_EQ(d.grabFrame().width, 0);

    d.restore();
    d.frames(2);
    EXPECT_FALSE(director->isAnimationStopped());
    EXPECT_GT(d.grabFrame().width, 0);

    // Pointer and keys reach the running scene through the window, in design
    // units with y up (what later end-to-end drivers build on).
    std::vector<std::string> input;
    Scene* scene = director->getRunningScene();
    auto* mouse = EventListenerMouse::create();
    mouse->onMouseDown = [&](EventMouse* e) {
      input.push_back("down " + std::to_string(static_cast<int>(e->getLocationInView().x)) + "," +
                      std::to_string(static_cast<int>(e->getLocationInView().y)));
    };
    mouse->onMouseUp = [&](EventMouse*) { input.push_back("up"); };
    auto* keys = EventListenerKeyboard::create();
    keys->onKeyPressed = [&](EventKeyboard::KeyCode code, Event*) {
      if (code == EventKeyboard::KeyCode::KEY_F5) input.push_back("F5");
    };
    director->getEventDispatcher()->addEventListenerWithSceneGraphPriority(mouse, scene);
    director->getEventDispatcher()->addEventListenerWithSceneGraphPriority(keys, scene);
    d.click(300, 200);
    d.key(SDLK_F5);
    d.frames(2);
    EXPECT_EQ(input, (std::vector<std::string>{"down 300,200", "up", "F5"}));
    director->getEventDispatcher()->removeEventListener(mouse);
    director->getEventDispatcher()->removeEventListener(keys);

    const std::string path = "/tmp/study folder/IM 0001.dcm";
    d.drop(path);
    EXPECT_TRUE(d.runUntil([&] { return !imports.texts.empty(); }, 3));
    d.frames(5);
    EXPECT_EQ(imports.texts, std::vector<std::string>{path});
  });
  EXPECT_EQ(rc, 0);
  expectTornDown();
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!GTEST_FLAG_GET(list_tests)) g_skip = fwtest::startDisplay(argc, argv);
  return RUN_ALL_TESTS();
}
