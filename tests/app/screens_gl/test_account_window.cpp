// The account panel in a real SDL window (1280 x 800) under a virtual
// screen: each of its five views with a field focused and text typed
// through SDL's event queue, captured and checked by probe pixels (the blue
// main button, the white row behind the first field). With FW_SHOT_DIR set
// the PNG captures are kept there as account_*.png.
#include <gtest/gtest.h>
#include <unistd.h>
#include <SDL2/SDL.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/online/login.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/platform/Image.h"
#include "engine_gl/support_xvfb.h"
#include "support/window_input.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/NSResponseWindow.h"
#include "toolkit/widgets/NSTextField.h"

USING_NS_CC;
namespace fs = std::filesystem;

namespace {

bool g_skip = false;
constexpr int kWidth = 1280;
constexpr int kHeight = 800;

class AccountWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_skip) GTEST_SKIP() << "no display and no Xvfb";
    dir = (fs::temp_directory_path() / ("fw-account-" + std::to_string(getpid()))).string();
    fs::remove_all(dir);
    fs::create_directories(dir + "/w");
    auto* files = FileUtils::getInstance();
    files->setWritablePath(dir + "/w/");
    files->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
    files->setSearchPaths({"res/pad/"});
    auto* view = GLViewImpl::createWithRect("account", Rect(0, 0, kWidth, kHeight));
    ASSERT_NE(view, nullptr);
    Director::getInstance()->setOpenGLView(view);
    config = AppConfig::getInstance();
    config->retain();
    config->languageTable.load();
    NSUI::setLocalizedStringTable(&config->languageTable);
    scene = Scene::create();
    Director::getInstance()->runWithScene(scene);
    scene->addChild(LayerColor::create(Color4B(236, 238, 242, 255)), -10);
    NSUI::NSNotificationCenter::getInstance();
    step(10);
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
    const char* keep = std::getenv("FW_SHOT_DIR");
    shotDir = keep && *keep ? std::string(keep) + "/" : dir + "/";
  }
  void TearDown() override {
    if (g_skip) return;
    if (window) {
      window->removeFromParent();
      window->release();
    }
    step(2);
    NSUI::setLocalizedStringTable(nullptr);
    config->release();
    Director::destroyInstance();
    UserDefault::destroyInstance();
    fs::remove_all(dir);
  }
  void step(int frames = 1) {
    for (int i = 0; i < frames; ++i) {
      Director::getInstance()->stepFrame(1.0f / 60);
      std::this_thread::sleep_for(std::chrono::milliseconds(12));
    }
  }
  fwtest::WindowInput input() const { return fwtest::WindowInput(windowId, kHeight); }
  void clickOn(Node* n) {
    const Vec2 p = n->convertToWorldSpace(Vec2(n->getContentSize().width / 2, 10));
    input().mouseMove(p);
    input().mouseButton(true, p);
    step();
    input().mouseButton(false, p);
    step();
  }

  AppConfig* config = nullptr;
  Scene* scene = nullptr;
  NSUI::NSResponseWindow* window = nullptr;
  Uint32 windowId = 0;
  std::string dir, shotDir;
};

TEST_F(AccountWindow, EveryViewWithAFocusedField) {
  NSUI::UILocalConfig::setStringForKey("app_login_nickname", "ann");
  window = login::open(scene);
  ASSERT_NE(window, nullptr);
  window->retain();
  auto* p = dynamic_cast<login*>(window->getChildByName("login_view"));
  ASSERT_NE(p, nullptr);
  Node* panel = p->getPanelNode();
  ASSERT_NE(panel, nullptr);
  Node* main = panel->getChildByNameDeep("login");
  const Vec2 mainProbe = main->convertToWorldSpace(Vec2(12, main->getContentSize().height / 2));
  const struct {
    const char* shot;
    void (login::*show)();
    const char* field;  // focused and typed into; null for none
  } views[] = {
      {"account_login", &login::showLoginView, "email"},
      {"account_account", &login::showAccountView, nullptr},
      {"account_change", &login::showChangePasswordView, "old"},
      {"account_register", &login::showRegisterView, "name"},
      {"account_setmail", &login::showSetMailView, "email"},
  };
  for (const auto& v : views) {
    SCOPED_TRACE(v.shot);
    (p->*v.show)();
    step(2);
    if (v.field) {
      auto* f = dynamic_cast<NSUI::NSTextField*>(panel->getChildByName(v.field));
      ASSERT_NE(f, nullptr);
      clickOn(f);
      ASSERT_TRUE(f->isAttached());
      for (char c : std::string("ann")) {
        input().text(std::string(1, c));
        step();
      }
      EXPECT_EQ(f->getString(), "ann");
    }
    step(3);
    Image img;
    fwtest::captureWindow(shotDir + v.shot + ".png", img, [this] { step(); });
    const fwtest::Rgb blue = fwtest::pixelAt(img, static_cast<int>(mainProbe.x), static_cast<int>(mainProbe.y));
    EXPECT_LT(blue.r, 80);
    EXPECT_GT(blue.b, 150);
    if (v.field) {
      // The white row behind the lowest field, left of the field itself.
      const Vec2 row = panel->convertToWorldSpace(Vec2(8, main->getPositionY() + main->getContentSize().height + 15));
      const fwtest::Rgb white = fwtest::pixelAt(img, static_cast<int>(row.x), static_cast<int>(row.y));
      EXPECT_GT(white.r, 240);
      EXPECT_GT(white.g, 240);
      EXPECT_GT(white.b, 240);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::string(argv[i]) == "--gtest_list_tests";
  if (!listing) g_skip = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
