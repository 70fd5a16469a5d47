// The SDL window's event translation: SDL events pushed into the queue come
// out of the engine's listeners with the engine's conventions (design
// units with y up, button numbers, wheel sign, key codes, text, paste,
// drop, background/foreground, focus loss, quit).
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/2d/Scene.h"
#include "engine/base/EventDispatcher.h"
#include "engine/base/EventListener.h"
#include "engine/base/IMEDispatcher.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "support_xvfb.h"

USING_NS_CC;

namespace {

bool g_skip = false;

struct Log : public Application {
  bool applicationDidFinishLaunching() override { return true; }
  void applicationDidEnterBackground() override { entries.push_back("background"); }
  void applicationWillEnterForeground() override { entries.push_back("foreground"); }
  void applicationOpenPath(const char* path) override { entries.push_back(std::string("open ") + path); }
  std::vector<std::string> entries;
};

struct TextSink : public IMEDelegate {
  bool canAttachWithIME() override { return true; }
  bool canDetachWithIME() override { return true; }
  void insertText(const char* text, size_t len) override { typed.append(text, len); }
  void deleteBackward() override { typed += "<BS>"; }
  std::string typed;
};

class SdlInput : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_skip) GTEST_SKIP() << "no display and no xvfb-run";
    view = GLViewImpl::createWithRect("input", Rect(0, 0, 400, 300));
    ASSERT_NE(view, nullptr);
    Director* d = Director::getInstance();
    d->setOpenGLView(view);
    Scene* scene = Scene::create();
    d->runWithScene(scene);
    auto* mouse = EventListenerMouse::create();
    auto rec = [this](const char* kind) {
      return [this, kind](EventMouse* e) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "%s b%d (%.0f,%.0f) s%.0f", kind, static_cast<int>(e->getMouseButton()),
                      e->getLocationInView().x, e->getLocationInView().y, e->getScrollY());
        events.push_back(buf);
      };
    };
    mouse->onMouseDown = rec("down");
    mouse->onMouseUp = rec("up");
    mouse->onMouseScroll = rec("scroll");
    d->getEventDispatcher()->addEventListenerWithSceneGraphPriority(mouse, scene);
    auto* touch = EventListenerTouchOneByOne::create();
    auto trec = [this](const char* kind) {
      return [this, kind](Touch* t, Event*) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "touch %s %d (%.0f,%.0f)", kind, t->getID(), t->getLocation().x,
                      t->getLocation().y);
        events.push_back(buf);
      };
    };
    touch->onTouchBegan = [this, trec](Touch* t, Event* e) {
      trec("began")(t, e);
      return true;
    };
    touch->onTouchMoved = trec("moved");
    touch->onTouchEnded = trec("ended");
    touch->onTouchCancelled = trec("cancelled");
    d->getEventDispatcher()->addEventListenerWithSceneGraphPriority(touch, scene);
    auto* keys = EventListenerKeyboard::create();
    keys->onKeyPressed = [this](EventKeyboard::KeyCode k, Event*) {
      events.push_back("key " + std::to_string(static_cast<int>(k)));
    };
    d->getEventDispatcher()->addEventListenerWithSceneGraphPriority(keys, scene);
    d->stepFrame();
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    events.clear();
    windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
  }
  void TearDown() override { Director::destroyInstance(); }

  void push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1); }
  void button(Uint32 type, Uint8 b, int x, int y) {
    SDL_Event e{};
    e.type = type;
    e.button.windowID = windowId;
    e.button.button = b;
    e.button.x = x;
    e.button.y = y;
    push(e);
  }
  void key(Uint32 type, SDL_Keycode sym, Uint16 mod = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.windowID = windowId;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    push(e);
  }
  void windowEvent(Uint8 what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = windowId;
    e.window.event = what;
    push(e);
  }

  Log app;
  GLViewImpl* view = nullptr;
  Uint32 windowId = 0;
  std::vector<std::string> events;
};

}  // namespace

TEST_F(SdlInput, MouseButtonsWheelAndTouchZero) {
  button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20);
  button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 12, 22);
  button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 30, 40);
  button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 30, 40);
  button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 50, 60);
  SDL_WarpMouseInWindow(SDL_GL_GetCurrentWindow(), 100, 100);
  SDL_Event w{};
  w.type = SDL_MOUSEWHEEL;
  w.wheel.windowID = windowId;
  w.wheel.y = 1;  // away from the user
  w.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  push(w);
  Director::getInstance()->stepFrame();
  ASSERT_GE(events.size(), 7u);
  const std::vector<std::string> want = {
      "down b0 (10,280) s0", "touch began 0 (10,280)", "up b0 (12,278) s0", "touch ended 0 (12,278)",
      "down b1 (30,260) s0", "up b1 (30,260) s0",       "down b2 (50,240) s0",
  };
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(events[i], want[i]) << i;
  ASSERT_EQ(events.size(), want.size() + 1);
  EXPECT_EQ(events.back().rfind("scroll b", 0), 0u) << events.back();
  EXPECT_NE(events.back().find(" s-1"), std::string::npos) << events.back();
}

TEST_F(SdlInput, KeysTextPasteAndEscape) {
  TextSink sink;
  ASSERT_TRUE(sink.attachWithIME());
  EXPECT_TRUE(SDL_IsTextInputActive());
  const struct {
    SDL_Keycode sym;
    EventKeyboard::KeyCode want;
  } table[] = {
      {SDLK_LCTRL, EventKeyboard::KeyCode::KEY_LEFT_CTRL}, {SDLK_RCTRL, EventKeyboard::KeyCode::KEY_RIGHT_CTRL},
      {SDLK_a, EventKeyboard::KeyCode::KEY_A},             {SDLK_z, EventKeyboard::KeyCode::KEY_Z},
      {SDLK_5, EventKeyboard::KeyCode::KEY_5},             {SDLK_F12, EventKeyboard::KeyCode::KEY_F12},
      {SDLK_UP, EventKeyboard::KeyCode::KEY_UP_ARROW},     {SDLK_BACKSPACE, EventKeyboard::KeyCode::KEY_BACKSPACE},
      {SDLK_RETURN, EventKeyboard::KeyCode::KEY_ENTER},    {SDLK_ESCAPE, EventKeyboard::KeyCode::KEY_ESCAPE},
  };
  for (const auto& row : table) key(SDL_KEYDOWN, row.sym);
  SDL_Event t{};
  t.type = SDL_TEXTINPUT;
  t.text.windowID = windowId;
  std::snprintf(t.text.text, sizeof t.text.text, "%s", "\xC3\xA9x");
  push(t);
  Director::getInstance()->stepFrame();
  ASSERT_EQ(events.size(), std::size(table));
  for (size_t i = 0; i < std::size(table); ++i)
    EXPECT_EQ(events[i], "key " + std::to_string(static_cast<int>(table[i].want))) << i;
  EXPECT_EQ(static_cast<int>(EventKeyboard::KeyCode::KEY_LEFT_CTRL), 14);
  EXPECT_EQ(sink.typed, "<BS>\n\xC3\xA9x");

  // Ctrl+V pastes the clipboard's text.
  sink.typed.clear();
  if (SDL_SetClipboardText("pasted") == 0) {
    key(SDL_KEYDOWN, SDLK_v, KMOD_LCTRL);
    Director::getInstance()->stepFrame();
    EXPECT_EQ(sink.typed, "pasted");
  }
  sink.detachWithIME();
  EXPECT_FALSE(SDL_IsTextInputActive());
}

TEST_F(SdlInput, WindowEventsDropFocusAndQuit) {
  button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20);
  windowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
  windowEvent(SDL_WINDOWEVENT_MINIMIZED);
  windowEvent(SDL_WINDOWEVENT_RESTORED);
  SDL_Event drop{};
  drop.type = SDL_DROPFILE;
  drop.drop.windowID = windowId;
  drop.drop.file = SDL_strdup("/tmp/a b/study.dcm");
  push(drop);
  Director::getInstance()->stepFrame();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[1], "touch began 0 (10,280)");
  EXPECT_EQ(events[2], "touch cancelled 0 (10,280)");
  EXPECT_EQ(app.entries, (std::vector<std::string>{"background", "foreground", "open /tmp/a b/study.dcm"}));
  EXPECT_FALSE(Director::getInstance()->isQuitRequested());

  SDL_Event quit{};
  quit.type = SDL_QUIT;
  push(quit);
  Director::getInstance()->stepFrame();
  EXPECT_TRUE(Director::getInstance()->isQuitRequested() || Director::getInstance()->isEnded());
}

TEST_F(SdlInput, FingersBecomeTouchesFromOne) {
  SDL_Event f{};
  f.type = SDL_FINGERDOWN;
  f.tfinger.fingerId = 77;
  f.tfinger.x = 0.5f;
  f.tfinger.y = 0.25f;
  push(f);
  f.type = SDL_FINGERUP;
  push(f);
  Director::getInstance()->stepFrame();
  EXPECT_EQ(events, (std::vector<std::string>{"touch began 1 (200,225)", "touch ended 1 (200,225)"}));
}

// The work area lies inside the usable bounds of the display the test runs
// on, whatever its size, less at most the window decorations.
TEST(SdlWindow, WorkAreaIsTheUsableDisplay) {
  if (g_skip) GTEST_SKIP() << "no display and no xvfb-run";
  Rect r = GLViewImpl::getWorkAreaClientRect();
  SDL_Rect usable{0, 0, 0, 0};
  ASSERT_EQ(SDL_GetDisplayUsableBounds(0, &usable), 0) << SDL_GetError();
  EXPECT_GT(r.size.width, 0);
  EXPECT_GT(r.size.height, 0);
  EXPECT_GE(r.origin.x, usable.x);
  EXPECT_GE(r.origin.y, usable.y);
  EXPECT_LE(r.origin.x + r.size.width, usable.x + usable.w);
  EXPECT_LE(r.origin.y + r.size.height, usable.y + usable.h);
  // On the virtual screen this program starts for itself there is no window
  // manager: the work area is the whole screen, whatever size the server
  // settled on.
  if (std::getenv("FW_UNDER_XVFB")) {
    SDL_Rect whole{0, 0, 0, 0};
    ASSERT_EQ(SDL_GetDisplayBounds(0, &whole), 0) << SDL_GetError();
    EXPECT_EQ(r.origin.x, whole.x);
    EXPECT_EQ(r.origin.y, whole.y);
    EXPECT_EQ(r.size.width, whole.w);
    EXPECT_EQ(r.size.height, whole.h);
  }
}

int main(int argc, char** argv) {
  g_skip = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
