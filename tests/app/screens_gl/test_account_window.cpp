// The account panel in a real SDL window (1280 x 800) under a virtual
// screen: each of its five views with a field focused and text typed
// through SDL's event queue, captured and checked by probe pixels (the blue
// main button, the white row behind the first field). With FW_SHOT_DIR set
// the PNG captures are kept there as account_*.png.
#include <string>

#include "app/online/login.h"
#include "screen_window.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/NSTextField.h"

USING_NS_CC;

namespace {

class AccountWindow : public screentest::ScreenWindow {
 protected:
  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    openScreen("account", 1280, 800, Color4B(236, 238, 242, 255), 10);
  }
  void TearDown() override {
    if (screentest::g_noScreen) return;
    if (window) {
      window->removeFromParent();
      window->release();
    }
    step(2);
    UserDefault::destroyInstance();
    closeScreen();
  }
  void clickOn(Node* n) {
    const Vec2 p = n->convertToWorldSpace(Vec2(n->getContentSize().width / 2, 10));
    input().mouseMove(p);
    input().mouseButton(true, p);
    step();
    input().mouseButton(false, p);
    step();
  }
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
    capture(v.shot, img);
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
  screentest::startScreenUnlessListing(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
