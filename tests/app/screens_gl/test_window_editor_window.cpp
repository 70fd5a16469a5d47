// The window width and level editor in a real SDL window (1280 x 800) under
// a virtual screen: opened on 400 / 40, width and level retyped through
// SDL's key and text events, Escape applies and closes. The capture is
// checked by probe pixels (the dark panel, the white field frames, the scene
// grey beside the panel). With FW_SHOT_DIR set the PNG is kept there as
// window_editor_typed.png.
#include <string>
#include <vector>

#include "app/viewer/editWW.h"
#include "screen_window.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSTextField.h"

USING_NS_CC;

namespace {

struct Applied {
  Ref* sender = nullptr;
  std::string text;
};

class WindowEditorWindow : public screentest::ScreenWindow {
 protected:
  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    openScreen("window-editor", 1280, 800, Color4B(120, 124, 130, 255), 40);
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        this, nullptr,
        [this](Ref* sender, unsigned, NSUI::NSNotificationData* data) {
          applied.push_back({sender, data ? data->text : ""});
        },
        NOTIFY_WINDOW_APPLY);
  }
  void TearDown() override {
    if (screentest::g_noScreen) return;
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
    if (window) {
      window->removeFromParent();
      window->release();
    }
    step(2);
    UserDefault::destroyInstance();
    closeScreen();
  }

  void clickAt(const Vec2& p) {
    input().mouseMove(p);
    input().mouseButton(true, p);
    step();
    input().mouseButton(false, p);
    step();
  }
  void key(SDL_Keycode sym) {
    input().key(sym);
    step();
  }
  // Clicks into the field near its right end (the caret goes after the
  // text), empties it with Backspace and types the text key by key.
  void retype(editWW* editor, const std::string& name, const std::string& text) {
    NSUI::NSTextField* f = editor->field(name);
    ASSERT_NE(f, nullptr) << name;
    clickAt(f->convertToWorldSpace(Vec2(f->getContentSize().width - 6, f->getContentSize().height / 2)));
    ASSERT_TRUE(f->isAttached()) << name;
    for (size_t n = f->getString().size(); n > 0; --n) key(SDLK_BACKSPACE);
    EXPECT_EQ(f->getString(), "") << name;
    for (char c : text) {
      input().text(std::string(1, c));
      step();
    }
    EXPECT_EQ(f->getString(), text) << name;
  }
  static fwtest::Rgb at(const Image& img, const Vec2& p) {
    return fwtest::pixelAt(img, static_cast<int>(p.x), static_cast<int>(p.y));
  }

  std::vector<Applied> applied;
};

TEST_F(WindowEditorWindow, RetypedWidthAndLevelAreAppliedByEscape) {
  window = editWW::createWindow();
  ASSERT_NE(window, nullptr);
  window->retain();
  scene->addChild(window);
  auto* editor = dynamic_cast<editWW*>(window->getChildByName("editWW_view"));
  ASSERT_NE(editor, nullptr);
  editor->setWindowLevel(400, 40);
  step(3);

  retype(editor, "editWW", "1000");
  retype(editor, "editWL", "200");
  EXPECT_EQ(editor->field("editMin")->getString(), "-300");
  EXPECT_EQ(editor->field("editMax")->getString(), "700");
  step(3);

  Image img;
  capture("window_editor_typed", img);
  Node* panel = editor->getPanel();
  ASSERT_NE(panel, nullptr);
  // The dark panel left of the labels, the white frame right of the typed
  // width, and the scene's grey beside the panel.
  const fwtest::Rgb dark = at(img, panel->convertToWorldSpace(Vec2(20, 150)));
  EXPECT_TRUE(fwtest::near(dark, {46, 50, 58}, 12)) << dark.r << "," << dark.g << "," << dark.b;
  const fwtest::Rgb white = at(img, panel->convertToWorldSpace(Vec2(530, 232)));
  EXPECT_TRUE(fwtest::near(white, {255, 255, 255}, 12)) << white.r << "," << white.g << "," << white.b;
  const fwtest::Rgb grey = at(img, Vec2(100, 400));
  EXPECT_TRUE(fwtest::near(grey, {120, 124, 130}, 12)) << grey.r << "," << grey.g << "," << grey.b;
  EXPECT_TRUE(applied.empty());

  key(SDLK_ESCAPE);
  EXPECT_EQ(window->getParent(), nullptr) << "closed by Escape";
  ASSERT_TRUE(stepUntil([&] { return !applied.empty(); }, 10));
  ASSERT_EQ(applied.size(), 1u);
  EXPECT_EQ(applied[0].sender, editor);
  EXPECT_EQ(applied[0].text, R"({"ww":"1000.000000","wl":"200.000000"})");
}

}  // namespace

int main(int argc, char** argv) {
  screentest::startScreenUnlessListing(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
