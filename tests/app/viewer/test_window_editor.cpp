// The window width and level editor without a window: the texts it fills
// in, the fields kept in step while typing (through the engine's input
// method, as keys arrive), the checks on leaving, the 9024 it posts and
// when it closes. The editor in a real SDL window is tested in
// tests/app/screens_gl/test_window_editor_window.cpp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/viewer/editWW.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSTextField.h"
#include "support/headless_screen.h"

USING_NS_CC;

namespace {

namespace fs = std::filesystem;

struct Applied {
  Ref* sender = nullptr;
  std::string text;
  unsigned frame = 0;
};

// A headless view of 1280 x 800 with the build's resources and English
// texts, a running scene, the editor's window on it and every 9024 seen on
// the broadcast channel.
class WindowEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LC_ALL", "C", 1);
    dir = (fs::temp_directory_path() / ("fw-editww-" + std::to_string(getpid()))).string();
    fs::create_directories(dir + "/w");
    scene = fwtest::startHeadlessScreen(dir + "/w/", Size(1280, 800));
    auto* centre = NSUI::NSNotificationCenter::getInstance();
    centre->addObserver(
        this, nullptr,
        [this](Ref* sender, unsigned, NSUI::NSNotificationData* data) {
          applied.push_back({sender, data ? data->text : "", Director::getInstance()->getTotalFrames()});
        },
        NOTIFY_WINDOW_APPLY);
    // The centre's first tick comes half a second after it is made.
    step(40);
    open(400, 40);
  }
  void TearDown() override {
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
    if (window) window->release();
    NSUI::setLocalizedStringTable(nullptr);
    Director::destroyInstance();
    fs::remove_all(dir);
  }

  void step(int frames = 1) {
    for (int i = 0; i < frames; ++i) Director::getInstance()->stepFrame(1.0f / 60);
  }
  // As the viewer screen opens it: window on the scene, then the values.
  void open(float width, float level) {
    if (window) {
      window->removeFromParent();
      window->release();
    }
    window = editWW::createWindow();
    ASSERT_NE(window, nullptr);
    window->retain();
    scene->addChild(window);
    editor = dynamic_cast<editWW*>(window->getChildByName("editWW_view"));
    ASSERT_NE(editor, nullptr);
    editor->setWindowLevel(width, level);
    step();
  }

  std::vector<std::string> shown() const {
    std::vector<std::string> out;
    for (const char* n : {"editWW", "editWL", "editMin", "editMax"}) {
      NSUI::NSTextField* f = editor->field(n);
      out.push_back(f ? f->getString() : "<none>");
    }
    return out;
  }
  // Empties the field key by key, then types the text one key at a time.
  void retype(const std::string& name, const std::string& text) {
    NSUI::NSTextField* f = editor->field(name);
    ASSERT_NE(f, nullptr) << name;
    ASSERT_TRUE(f->attachWithIME());
    auto* ime = IMEDispatcher::sharedDispatcher();
    while (!f->getString().empty()) ime->dispatchDeleteBackward();
    for (char c : text) ime->dispatchInsertText(&c, 1);
    f->detachWithIME();
  }
  std::string messageShown() const {
    Node* box = scene->getChildByName("messageBox");
    auto* t = box && box->isVisible() ? dynamic_cast<ui::Text*>(box->getChildByNameDeep("messageBox.text")) : nullptr;
    return t ? t->getString() : "";
  }
  void pressEscape() {
    Director::getInstance()->getOpenGLView()->injectKey(EventKeyboard::KeyCode::KEY_ESCAPE, true);
    Director::getInstance()->getOpenGLView()->injectKey(EventKeyboard::KeyCode::KEY_ESCAPE, false);
    step();
  }
  void clickBack() {
    Node* back = editor->getPanel()->getChildByNameDeep("btn_back");
    ASSERT_NE(back, nullptr);
    const Vec2 p = back->convertToWorldSpace(Vec2(back->getContentSize() / 2));
    auto* view = Director::getInstance()->getOpenGLView();
    view->injectMouseDown(p.x, p.y, 0);
    view->injectMouseUp(p.x, p.y, 0);
    step();
  }

  std::string dir;
  Scene* scene = nullptr;
  NSUI::NSResponseWindow* window = nullptr;
  editWW* editor = nullptr;
  std::vector<Applied> applied;
};

using Four = std::vector<std::string>;

TEST_F(WindowEditor, WindowIsBuiltFromThePanel) {
  EXPECT_EQ(scene->getChildByName("editWW"), window) << "the viewer screen looks for this name";
  Node* panel = editor->getPanel();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->getName(), "editWW.csb");
  // Hung from the top centre of the window.
  const Vec2 top = panel->convertToWorldSpace(Vec2(panel->getContentSize().width / 2, panel->getContentSize().height));
  EXPECT_FLOAT_EQ(top.x, 640);
  EXPECT_FLOAT_EQ(top.y, 800);
  EXPECT_EQ(panel->getChildByNameDeep("btn_back")->getLocalZOrder(), editWW::kBackZOrder);
  const struct {
    const char* label;
    const char* field;
    const char* placeholder;
  } rows[] = {{"editWW_window", "editWW", "Width"},
              {"editWW_level", "editWL", "Level (centre)"},
              {"editWW_min", "editMin", "Lowest value"},
              {"editWW_max", "editMax", "Highest value"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.field);
    auto* label = dynamic_cast<ui::Text*>(panel->getChildByNameDeep(r.label));
    NSUI::NSTextField* f = editor->field(r.field);
    ASSERT_NE(label, nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->getPosition(), label->getPosition() + Vec2(22, -3));
    EXPECT_EQ(f->getContentSize(), Size(300, 29));
    EXPECT_EQ(f->_touchRect, Rect(0, 0, 500, 60));
    EXPECT_EQ(f->_inputMode, NSUI::NSTextField::INPUT_SIGNED_DECIMAL);
    EXPECT_EQ(f->getPlaceHolder(), r.placeholder);
  }
  EXPECT_EQ(dynamic_cast<ui::Text*>(panel->getChildByNameDeep("editWW_window"))->getString(), "Window width");
}

// Fractional windows (float data such as parametric maps) keep their value.
TEST_F(WindowEditor, SetWindowLevelShowsTheFourValues) {
  const struct {
    float width, level;
    Four want;
  } cases[] = {
      {400, 40, {"400", "40", "-160", "240"}},
      {0.5f, 0.25f, {"0.5", "0.25", "0", "0.5"}},
      {2000, -500.5f, {"2000", "-500.5", "-1500.5", "499.5"}},
      // Half the width rounds away at four decimals: "0" on both sides, never "-0".
      {0.0001f, 0, {"0.0001", "0", "0", "0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " / " << c.level);
    editor->setWindowLevel(c.width, c.level);
    EXPECT_EQ(shown(), c.want);
  }
}

// Each case starts from 400 / 40 (-160 .. 240), retypes fields in order and
// then leaves the editor with the return key.
TEST_F(WindowEditor, TypingKeepsTheFieldsInStepAndLeavingChecksThem) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> edits;
    Four want;
    const char* message;  // null: applied and closed
  } cases[] = {
      {"width and level give min and max",
       {{"editWW", "1000"}, {"editWL", "200"}},
       {"1000", "200", "-300", "700"},
       nullptr},
      {"min and max give width and level",
       {{"editMin", "-100"}, {"editMax", "300"}},
       {"400", "100", "-100", "300"},
       nullptr},
      {"a fractional width", {{"editWW", "0.5"}}, {"0.5", "40", "39.75", "40.25"}, nullptr},
      // Deleting "400" key by key passes through 40 and 4, the last width
      // above 0: min and max stay at 38 .. 42 from there on.
      {"a negative width leaves min and max",
       {{"editWW", "-5"}},
       {"-5", "40", "38", "42"},
       "The window width must be greater than 0."},
      {"an empty width", {{"editWW", ""}}, {"", "40", "38", "42"}, "The window width must be greater than 0."},
      // Min 50 moves width and level (190, 145); max 10 then moves nothing.
      {"min above max",
       {{"editMin", "50"}, {"editMax", "10"}},
       {"190", "145", "50", "10"},
       "The minimum must not be greater than the maximum."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    open(400, 40);
    applied.clear();
    for (const auto& [name, text] : c.edits) retype(name, text);
    EXPECT_EQ(shown(), c.want);
    pressEscape();
    step(3);
    if (c.message) {
      EXPECT_EQ(messageShown(), c.message);
      EXPECT_EQ(window->getParent(), scene) << "stays open";
      EXPECT_TRUE(applied.empty());
    } else {
      EXPECT_EQ(window->getParent(), nullptr);
      ASSERT_EQ(applied.size(), 1u);
      EXPECT_FLOAT_EQ(NSUI::UIJson::getJsonFloat(applied[0].text, "ww", -1), std::stof(c.want[0]));
      EXPECT_FLOAT_EQ(NSUI::UIJson::getJsonFloat(applied[0].text, "wl", -1), std::stof(c.want[1]));
    }
  }
}

TEST_F(WindowEditor, ApplyPostsWidthAndLevelWithSixDecimals) {
  editor->setWindowLevel(400.5f, 40);
  ASSERT_TRUE(editor->apply());
  EXPECT_TRUE(applied.empty()) << "queued, delivered at the centre's tick";
  step();
  ASSERT_EQ(applied.size(), 1u);
  EXPECT_EQ(applied[0].sender, editor);
  EXPECT_EQ(applied[0].text, R"({"ww":"400.500000","wl":"40.000000"})");

  // Serial kind: two posts in one frame arrive on two ticks, in order.
  applied.clear();
  editor->setWindowLevel(100, 10);
  ASSERT_TRUE(editor->apply());
  editor->setWindowLevel(200, 20);
  ASSERT_TRUE(editor->apply());
  step(3);
  ASSERT_EQ(applied.size(), 2u);
  EXPECT_EQ(NSUI::UIJson::getJsonString(applied[0].text, "ww"), "100.000000");
  EXPECT_EQ(NSUI::UIJson::getJsonString(applied[1].text, "ww"), "200.000000");
  EXPECT_LT(applied[0].frame, applied[1].frame);
}

// The back button closes like the return key: only after a valid apply.
TEST_F(WindowEditor, BackButtonClosesOnlyAfterASuccessfulApply) {
  retype("editWW", "0");
  clickBack();
  EXPECT_EQ(window->getParent(), scene);
  EXPECT_EQ(messageShown(), "The window width must be greater than 0.");
  retype("editWW", "80");
  clickBack();
  EXPECT_EQ(window->getParent(), nullptr);
  step();
  ASSERT_EQ(applied.size(), 1u);
  EXPECT_EQ(applied[0].text, R"({"ww":"80.000000","wl":"40.000000"})");
}

}  // namespace
