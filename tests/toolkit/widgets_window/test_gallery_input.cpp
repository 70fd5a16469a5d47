// The input, picture and overlay widgets in a real window at 1280 x 800,
// driven by SDL events pushed into its queue: framed text fields typed
// into (Latin and Chinese), a password field, a picture view zoomed by the
// wheel, the busy overlay with its turning spinner and a popup menu. Each scene is
// captured and checked by probe pixels; with FW_SHOT_DIR set the PNG
// captures are kept there.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "engine/cocos2d.h"
#include "support/window_input.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/platform/Image.h"
#include "engine_gl/support_xvfb.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSActivity.h"
#include "toolkit/widgets/NSMenu.h"
#include "toolkit/widgets/NSSpriteView.h"
#include "toolkit/widgets/NSTextField.h"

USING_NS_CC;
using NSUI::NSActivity;
using NSUI::NSMenu;
using NSUI::NSSpriteView;
using NSUI::NSTextField;

namespace {

bool g_skip = false;
constexpr int kWidth = 1280;
constexpr int kHeight = 800;

using fwtest::Rgb;

class Gallery : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_skip) GTEST_SKIP() << "no display and no Xvfb";
    FileUtils::getInstance()->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
    auto* view = GLViewImpl::createWithRect("gallery", Rect(0, 0, kWidth, kHeight));
    ASSERT_NE(view, nullptr);
    director()->setOpenGLView(view);
    scene = Scene::create();
    director()->runWithScene(scene);
    scene->addChild(LayerColor::create(Color4B(236, 238, 242, 255)), -10);
    director()->stepFrame();
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
    const char* keep = std::getenv("FW_SHOT_DIR");
    shotDir = keep && *keep ? std::string(keep) + "/" : std::string("/tmp/");
  }
  void TearDown() override { Director::destroyInstance(); }

  Director* director() const { return Director::getInstance(); }
  void step(int frames = 1) {
    for (int i = 0; i < frames; ++i) director()->stepFrame(1.0f / 60);
  }
  fwtest::WindowInput input() const { return fwtest::WindowInput(windowId, kHeight); }
  // Engine coordinates (y up) to a click in the window (y down).
  void click(float x, float y) {
    input().mouseMove(Vec2(x, y));
    input().mouseButton(true, Vec2(x, y));
    input().mouseButton(false, Vec2(x, y));
    step();
  }
  void typeText(const std::string& text) {
    input().text(text);
    step();
  }
  void key(SDL_Keycode sym) {
    input().key(sym);
    step();
  }
  void wheel(float x, float y, int notchesAway) {
    // The wheel is reported where the pointer really is: move it there.
    SDL_WarpMouseInWindow(SDL_GL_GetCurrentWindow(), static_cast<int>(x), kHeight - static_cast<int>(y));
    step(2);
    input().wheel(notchesAway);
    step();
  }
  // Renders, captures and keeps a PNG copy as name.
  void capture(const std::string& name, Image& img) {
    fwtest::captureWindow(shotDir + name + ".png", img, [this] { step(); });
  }
  // Pixel at design point (x, y), origin bottom-left.
  static Rgb at(const Image& img, int x, int y) { return fwtest::pixelAt(img, x, y); }
  static int count(const Image& img, const Rect& r, const std::function<bool(Rgb)>& pred) {
    int n = 0;
    for (int y = static_cast<int>(r.getMinY()); y < static_cast<int>(r.getMaxY()); ++y)
      for (int x = static_cast<int>(r.getMinX()); x < static_cast<int>(r.getMaxX()); ++x)
        if (pred(at(img, x, y))) ++n;
    return n;
  }
  static bool near(Rgb c, Rgb want, int tol = 40) {
    return std::abs(c.r - want.r) <= tol && std::abs(c.g - want.g) <= tol && std::abs(c.b - want.b) <= tol;
  }
  NSTextField* field(const std::string& placeholder, float x, float y) {
    NSTextField* f = NSTextField::create(placeholder, Size(360, 32));
    f->setAnchorPoint(Vec2::ZERO);
    f->setPosition(Vec2(x, y));
    f->_textColor = Color3B(20, 20, 120);
    scene->addChild(f);
    f->createFrame();
    return f;
  }

  Scene* scene = nullptr;
  Uint32 windowId = 0;
  std::string shotDir;
};

TEST_F(Gallery, TextFieldsTypedThroughTheWindow) {
  auto* title = Label::createWithSystemFont("Send to DICOM node", "", 30);
  title->setTextColor(Color4B(40, 40, 40, 255));
  title->setPosition(Vec2(300, 740));
  scene->addChild(title);
  NSTextField* name = field("Patient name", 100, 640);
  NSTextField* address = field("Node address", 100, 560);
  address->_inputMode = NSTextField::INPUT_DOTTED_DIGITS;
  NSTextField* password = field("Password", 100, 480);
  password->_passwordMode = true;
  field("AE title", 100, 400);  // left empty: placeholder only

  click(150, 656);
  ASSERT_TRUE(name->isAttached());
  typeText("Zhang Wei ");
  typeText("\xe5\xbc\xa0\xe4\xbc\x9f");  // 张伟
  EXPECT_EQ(name->getString(), "Zhang Wei \xe5\xbc\xa0\xe4\xbc\x9f");

  click(150, 576);
  EXPECT_FALSE(name->isAttached());
  ASSERT_TRUE(address->isAttached());
  for (const char* piece : {"1", "0", ".", ".", "0", "x", ".", "0", ".", "7", "7"}) typeText(piece);
  key(SDLK_BACKSPACE);
  EXPECT_EQ(address->getString(), "10.0.0.7");

  click(150, 496);
  typeText("s3cret!");
  EXPECT_EQ(password->getString(), "s3cret!");

  // Back to the first field, caret at the end; wait for the caret to show.
  click(455, 656);
  ASSERT_TRUE(name->isAttached());
  auto* caret = name->getScrollView()->getChildByTag(NSTextField::kCaretTag);
  for (int i = 0; i < 60 && !(caret && caret->isVisible()); ++i) {
    step();
    caret = name->getScrollView()->getChildByTag(NSTextField::kCaretTag);
  }
  ASSERT_TRUE(caret && caret->isVisible());

  Image img;
  capture("gallery_fields", img);
  // The focused frame is drawn in its blue, the others in grey.
  EXPECT_TRUE(near(at(img, 99, 656), Rgb{21, 170, 254}, 60));
  EXPECT_TRUE(near(at(img, 99, 576), Rgb{150, 150, 150}, 40));
  // Typed text (dark blue) in the name field, masks in the password field.
  auto ink = [](Rgb c) { return c.r < 120 && c.g < 120 && c.b > 60; };
  EXPECT_GT(count(img, Rect(100, 640, 360, 32), ink), 150);
  EXPECT_GT(count(img, Rect(100, 480, 120, 32), ink), 30);
  // The caret: a dark column right of the typed text.
  const Vec2 c = caret->getParent()->convertToWorldSpace(caret->getPosition());
  EXPECT_GT(count(img, Rect(c.x, c.y + 2, 3, 20), [](Rgb p) { return p.r < 80 && p.g < 80 && p.b < 80; }), 10);
}

TEST_F(Gallery, PictureViewZoomedByTheWheel) {
  auto* view = NSSpriteView::create();
  view->setContentSize(Size(500, 375));
  view->setPosition(Vec2(80, 200));
  scene->addChild(view);
  view->setImage("demo/image.png");  // 64 x 64, four coloured quadrants
  auto* missing = NSSpriteView::create();
  missing->setContentSize(Size(300, 225));
  missing->setPosition(Vec2(700, 300));
  missing->enableBKColor(true, Color3B(60, 60, 60), 1.0f);
  scene->addChild(missing);
  missing->setImage("captures/none.png");
  for (int i = 0; i < 60 && (view->getPendingLoadCount() || view->isLoadInFlight() ||
                             missing->getPendingLoadCount() || missing->isLoadInFlight());
       ++i)
    step();
  const float fitted = view->getImageView()->getScale();
  EXPECT_NEAR(fitted, 375.0f / 64, 1e-3);
  for (int i = 0; i < 3; ++i) wheel(330, 387, 1);  // away from the user: zoom in
  EXPECT_NEAR(view->getImageView()->getScale(), fitted * 1.331f, 1e-2);

  Image img;
  capture("gallery_picture", img);
  // Quadrants around the view's centre (330, 387.5).
  EXPECT_TRUE(near(at(img, 280, 440), Rgb{220, 30, 30}));
  EXPECT_TRUE(near(at(img, 380, 440), Rgb{30, 200, 30}));
  EXPECT_TRUE(near(at(img, 280, 330), Rgb{30, 30, 220}));
  EXPECT_TRUE(near(at(img, 380, 330), Rgb{230, 220, 30}));
  // Clipped to the view: the background shows just outside it.
  EXPECT_TRUE(near(at(img, 330, 585), Rgb{236, 238, 242}, 12));
  EXPECT_TRUE(near(at(img, 330, 190), Rgb{236, 238, 242}, 12));
  // The stock picture, unscaled, in the middle of the second view.
  EXPECT_EQ(missing->getImageView()->getTextureFile(), NSSpriteView::kNoPicture);
  EXPECT_TRUE(near(at(img, 795, 412), Rgb{90, 90, 90}, 20));
}

TEST_F(Gallery, BusyOverlayTurnsWithMessagePercentageAndButton) {
  auto* screenTitle = Label::createWithSystemFont("Patients", "", 60);
  screenTitle->setTextColor(Color4B(20, 20, 20, 255));
  screenTitle->setPosition(Vec2(200, 700));
  scene->addChild(screenTitle);
  NSActivity* overlay = NSActivity::show(scene);
  ASSERT_NE(overlay, nullptr);
  overlay->setMessage("Importing 12 files");
  overlay->addButton("Cancel", Color3B(21, 170, 254));
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  auto* poster = new Node;
  centre->postNotificationInt(poster, NOTIFY_ACTIVITY_PROGRESS, 42, nullptr, true);
  centre->update(0);
  poster->release();
  step();

  Image first, second;
  capture("gallery_busy_a", first);
  step(15);  // a quarter of a second: the spinner turns 45 degrees
  capture("gallery_busy_b", second);
  const Rect spinner(640 - 32, 400 - 32, 64, 64);
  int changed = 0;
  for (int y = 368; y < 432; ++y)
    for (int x = 608; x < 672; ++x)
      if (!near(at(first, x, y), at(second, x, y), 30)) ++changed;
  EXPECT_GT(changed, 100);
  auto blue = [](Rgb c) { return c.b > 150 && c.r < 120; };
  EXPECT_GT(count(first, spinner, blue), 100);
  // Message above, button title below, both over the pale layer.
  EXPECT_GT(count(first, Rect(440, 480, 400, 40), blue), 100);
  EXPECT_GT(count(first, Rect(560, 235, 160, 30), blue), 30);
  // The screen below shows through the white layer at 0.7, paled.
  EXPECT_TRUE(near(at(first, 20, 20), Rgb{249, 250, 251}, 8));
  NSActivity::hide();
}


TEST_F(Gallery, PopupMenuWithIconsAndTitles) {
  NSMenu::menuObject* first = nullptr;
  NSMenu::menuObject* last = nullptr;
  const char* rows[][2] = {{"Quadrants", "demo/image.png"}, {"No picture", "UIRes/noPicture.png"},
                           {"Axial", "demo/image.png"}, {"Coronal", "UIRes/noPicture.png"}};
  for (auto& r : rows) {
    auto* item = NSMenu::menuObject::create();
    item->title = r[0];
    item->icon = r[1];
    item->notifyId = 9114;
    (last ? last->next : first) = item;
    last = item;
  }
  NSMenu* menu = NSMenu::create();
  menu->rowHeight = 90;
  menu->setPosition(Vec2(200, 200));
  scene->addChild(menu, 200);
  menu->setMenuItems(first, 60);
  for (int i = 0; i < 120; ++i) step();  // the icons load through the picture queue
  Image img;
  capture("gallery_menu", img);
  const Size size = menu->listView->getContentSize();
  // At least the width the byte count gives; wider where a drawn title needs it.
  EXPECT_GE(size.width, 60 + 10 + 10 * 20 * 0.5f);
  EXPECT_EQ(size.height, 360);
  // Dark rows, light titles, coloured icons.
  EXPECT_TRUE(near(at(img, 200 + static_cast<int>(size.width) - 10, 200 + 345), Rgb{65, 66, 66}, 15));
  EXPECT_GT(count(img, Rect(270, 500, 100, 30), [](Rgb c) { return c.r > 180 && c.g > 180 && c.b > 180; }), 40);
  EXPECT_TRUE(near(at(img, 220, 530), Rgb{220, 30, 30}, 50));
}
}  // namespace

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::string(argv[i]) == "--gtest_list_tests";
  if (!listing) g_skip = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
