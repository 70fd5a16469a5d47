// The quick tool bar headless: where its buttons sit over a window, the
// pictures it shows, what each button posts (payload, sender, channel and
// queue), the link state taken from the viewer holding the window, and
// the bar staying put for other windows. Real 2-D viewers in real cells
// receive the posts, so maximise and link run through to the viewers and
// back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/viewer/quickTool.h"
#include "engine/platform/GLView.h"
#include "engine/renderer/TextureCache.h"
#include "engine/ui/Scale9Sprite.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerImage.h"
#include "tests/imaging/viewers/viewer_support.h"
#include "toolkit/foundation/NSNotifyIds.h"

using namespace isImageSDK;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::ui::Button;

namespace {

const char* const kPictures[] = {"res/fullscreen.png", "res/fullscreen_exit.png", "res/favoriteBlue.png",
                                 "res/cameraBlue.png", "res/dcmInfoBlue.png",     "res/link.png",
                                 "res/unlink.png"};

// What one broadcast observer received.
struct Post {
  unsigned int id = 0;
  cocos2d::Ref* sender = nullptr;
  bool payload = false;
  std::string text;
  int intValue = 0;
  int taskValue = 0;
  unsigned int frame = 0;
};

// Records the bar's ids on the broadcast channel only: a post addressed to
// any object would not arrive here.
struct BroadcastLog {
  BroadcastLog() {
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    for (int id : {NOTIFY_CELL_MAXIMISE, NOTIFY_QUICK_FAVOURITE, NOTIFY_CELL_CAPTURE, NOTIFY_SHOW_DICOM_MENU,
                   NOTIFY_CELL_LINK})
      nc->addObserver(this, nullptr,
                      [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* d) {
                        Post p;
                        p.id = id;
                        p.sender = sender;
                        p.payload = d != nullptr;
                        if (d) {
                          p.text = d->text;
                          p.intValue = d->intValue;
                          p.taskValue = d->taskValue;
                        }
                        p.frame = cocos2d::Director::getInstance()->getTotalFrames();
                        got.push_back(p);
                      },
                      id);
  }
  ~BroadcastLog() {
    if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  }
  std::vector<Post> got;
};

// The picture a button shows now, by file name; "" when none of the bar's.
std::string pictureOf(cocos2d::Node* node) {
  auto* button = dynamic_cast<Button*>(node);
  if (!button) return "";
  auto* shown = dynamic_cast<cocos2d::ui::Scale9Sprite*>(button->getVirtualRenderer());
  auto* cache = cocos2d::Director::getInstance()->getTextureCache();
  for (const char* name : kPictures)
    if (shown && shown->getTexture() && cache->addImage(name) == shown->getTexture()) return name;
  return "";
}

class QuickTool : public ::testing::Test {
 protected:
  void SetUp() override {
    phantom = viewertest::makePhantom(32, 32, 8);
    bar = quickTool::create();
    ASSERT_NE(bar, nullptr);
    bar->maxRect = {180.5f, 0.0f, 619.25f, 600.0f};
    engine.scene->addChild(bar, 100);
  }
  void TearDown() override {
    if (phantom) phantom->release();
  }

  // A cell (the viewer holding the window) at `cellAt`, its one 2-D viewer
  // at `at` inside it with the given size, showing the phantom.
  isViewerImage* addWindow(Vec2 cellAt, Vec2 at, Size size, bool linked = true) {
    auto* cell = isViewerBrowser::create();
    engine.scene->addChild(cell);
    cell->setPosition(cellAt);
    cell->setContentSize(Size(1000, 700));
    cell->linked = linked;
    isViewerImage* viewer = cell->getCurrentViewer();
    viewer->setAnchorPoint(Vec2::ZERO);
    viewer->setPosition(at);
    viewer->setContentSize(size);
    viewer->setImageData(phantom);
    return viewer;
  }
  static isViewerBrowser* cellOf(isViewerImage* viewer) { return dynamic_cast<isViewerBrowser*>(viewer->getParent()); }

  void attach(isViewerImage* window) { bar->attachToWindow(window, quickTool::linkedStateOf(window)); }
  Button* button(const char* name) { return dynamic_cast<Button*>(bar->getChildByName(name)); }
  // A left click at the button's centre, as the window delivers it.
  void click(const char* name) {
    Button* b = button(name);
    ASSERT_NE(b, nullptr);
    const Vec2 p = b->convertToWorldSpace(Vec2(b->getContentSize().width / 2, b->getContentSize().height / 2));
    auto* view = cocos2d::Director::getInstance()->getOpenGLView();
    view->injectMouseDown(p.x, p.y, 0);
    view->injectMouseUp(p.x, p.y, 0);
  }
  // Lets the queued posts of the set-up through (the serial queue gives
  // one a frame).
  static void settle() { viewertest::stepFrames(30); }

  viewertest::HeadlessEngine engine;
  isImageData* phantom = nullptr;
  quickTool* bar = nullptr;
};

// ------------------------------------------------------------------ layout

TEST_F(QuickTool, ButtonsAreMadeInOrderAndSitByNameFromTheTruncatedOffset) {
  std::vector<std::string> names;
  for (Button* b : bar->buttons) {
    names.push_back(b->getName());
    EXPECT_EQ(b->getParent(), bar);
    EXPECT_FLOAT_EQ(b->getScale(), 0.5f);
    EXPECT_EQ(b->getAnchorPoint(), Vec2::ZERO);
    EXPECT_EQ(b->getLocalZOrder(), 500);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"max", "favorite", "capture", "info", "link"}));
  EXPECT_EQ(bar->windowId, 0u);

  struct Case {
    float width;
    int b;
  };
  for (const Case c : {Case{400.0f, 245}, Case{400.7f, 245}, Case{1024.9f, 869}, Case{155.4f, 0}}) {
    SCOPED_TRACE(c.width);
    // The cell is moved, so the window's world origin is not its position.
    isViewerImage* window = addWindow(Vec2(37, 11), Vec2(20, 40), Size(c.width, 300));
    attach(window);
    EXPECT_EQ(bar->windowId, window->getRefID());
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->getContentSize(), Size(c.width, 300));
    EXPECT_EQ(bar->getAnchorPoint(), Vec2::ZERO);
    EXPECT_EQ(bar->getPosition(), Vec2(37 + 20, 11 + 40 + 5));
    const std::vector<std::pair<const char*, int>> placed = {
        {"max", 0}, {"capture", 30}, {"favorite", 60}, {"info", 90}, {"link", 120}};
    for (auto [name, offset] : placed) EXPECT_EQ(button(name)->getPosition(), Vec2(c.b + offset, 0)) << name;
  }
}

TEST_F(QuickTool, ButtonsShowTheirPicturesAndNeighboursDoNotOverlap) {
  attach(addWindow(Vec2(0, 0), Vec2(0, 0), Size(400, 300)));
  const std::vector<std::pair<const char*, const char*>> shown = {{"max", "res/fullscreen.png"},
                                                                   {"favorite", "res/favoriteBlue.png"},
                                                                   {"capture", "res/cameraBlue.png"},
                                                                   {"info", "res/dcmInfoBlue.png"},
                                                                   {"link", "res/link.png"}};
  for (auto [name, picture] : shown) EXPECT_EQ(pictureOf(button(name)), picture) << name;
  // 56-point pictures at half size in a 30-point pitch: a gap between.
  for (Button* b : bar->buttons) EXPECT_EQ(b->getContentSize(), Size(56, 56)) << b->getName();
}

// ------------------------------------------------------------------ posts

TEST_F(QuickTool, EachButtonPostsItsPayloadWithoutSenderOnTheBroadcastChannelOneAFrame) {
  isViewerImage* window = addWindow(Vec2(0, 0), Vec2(0, 0), Size(400, 300));
  attach(window);
  settle();
  BroadcastLog log;
  const int task = static_cast<int>(window->getRefID());
  // All five in one frame: the serial queue hands them out one a frame.
  for (const char* name : {"max", "capture", "favorite", "info", "link"}) click(name);
  settle();

  struct Row {
    unsigned int id;
    bool payload;
    std::string text;
    int intValue;
    int taskValue;
  };
  const std::vector<Row> want = {
      {NOTIFY_CELL_MAXIMISE, true, R"({"x":"180.500000","y":"0.000000","w":"619.250000","h":"600.000000"})", 0, task},
      {NOTIFY_CELL_CAPTURE, true, "", 0, task},
      {NOTIFY_QUICK_FAVOURITE, false, "", 0, 0},
      {NOTIFY_SHOW_DICOM_MENU, false, "", 0, 0},
      {NOTIFY_CELL_LINK, true, "", 0, task},  // the window was linked
  };
  ASSERT_EQ(log.got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(want[i].id);
    const Post& p = log.got[i];
    EXPECT_EQ(p.id, want[i].id);
    EXPECT_EQ(p.sender, nullptr);
    EXPECT_EQ(p.payload, want[i].payload);
    EXPECT_EQ(p.text, want[i].text);
    EXPECT_EQ(p.intValue, want[i].intValue);
    // The capture payload is claimed by the viewer that copies the slice;
    // the value it carries stays the window's.
    EXPECT_EQ(p.taskValue, want[i].taskValue);
    // The serial queue: one delivery a frame, in posting order (the
    // window's own mouse handling may queue posts in between).
    if (i > 0) {
      EXPECT_GT(p.frame, log.got[i - 1].frame);
    }
  }
}

TEST_F(QuickTool, AnUnboundBarAddressesNoWindow) {
  // Placed by hand: no window has been bound yet.
  bar->setContentSize(Size(400, 300));
  for (Button* b : bar->buttons) b->setPosition(Vec2(245 + 30 * bar->buttons.getIndex(b), 0));
  isViewerImage* window = addWindow(Vec2(0, 0), Vec2(0, 0), Size(400, 300));
  settle();
  BroadcastLog log;
  for (const char* name : {"max", "capture", "link"}) {
    click(name);
    settle();
  }
  EXPECT_TRUE(log.got.empty());
  EXPECT_EQ(window->getPosition(), Vec2::ZERO) << "no window stepped out of sight";
  click("info");
  settle();
  click("favorite");
  settle();
  ASSERT_EQ(log.got.size(), 2u);
  EXPECT_EQ(log.got[0].id, static_cast<unsigned int>(NOTIFY_SHOW_DICOM_MENU));
  EXPECT_EQ(log.got[1].id, static_cast<unsigned int>(NOTIFY_QUICK_FAVOURITE));
}

// ------------------------------------------------------------------ link

TEST_F(QuickTool, LinkClicksAlternateAndTheCellHoldingTheWindowFollows) {
  struct Case {
    bool startLinked;
    std::vector<int> posted;
  };
  for (const Case& c : {Case{false, {1, 0}}, Case{true, {0, 1}}}) {
    SCOPED_TRACE(c.startLinked);
    isViewerImage* window = addWindow(Vec2(0, 0), Vec2(0, 0), Size(400, 300), c.startLinked);
    attach(window);
    EXPECT_EQ(button("link")->getUserString(), c.startLinked ? "1" : "0");
    settle();
    BroadcastLog log;
    for (int i = 0; i < 2; ++i) {
      click("link");
      // The picture changes at once, before anything is delivered.
      const bool linked = c.posted[i] == 1;
      EXPECT_EQ(button("link")->getUserString(), linked ? "1" : "0");
      EXPECT_EQ(pictureOf(button("link")), linked ? "res/link.png" : "res/unlink.png");
      settle();
      EXPECT_EQ(cellOf(window)->linked, linked) << "the viewer relays the post to its cell";
    }
    ASSERT_EQ(log.got.size(), 2u);
    EXPECT_EQ(log.got[0].intValue, c.posted[0]);
    EXPECT_EQ(log.got[1].intValue, c.posted[1]);
    cellOf(window)->removeFromParent();
  }
}

TEST_F(QuickTool, TheLinkStateShownComesFromTheViewerHoldingEachWindow) {
  isViewerImage* a = addWindow(Vec2(0, 0), Vec2(0, 0), Size(400, 300), true);
  isViewerImage* b = addWindow(Vec2(400, 0), Vec2(0, 0), Size(400, 300), true);
  attach(a);
  settle();
  click("link");  // a is unlinked now
  settle();
  ASSERT_FALSE(cellOf(a)->linked);
  // The bar's button still says "0"; b's cell says linked.
  attach(b);
  EXPECT_EQ(button("link")->getUserString(), "1");
  EXPECT_EQ(pictureOf(button("link")), "res/link.png");
  attach(a);
  EXPECT_EQ(button("link")->getUserString(), "0");
  EXPECT_EQ(pictureOf(button("link")), "res/unlink.png");
  // A window that is a viewer itself, held by none, answers for itself.
  auto* loose = viewertest::addViewer(engine.scene);
  loose->linked = false;
  EXPECT_FALSE(quickTool::linkedStateOf(loose));
}

// ------------------------------------------------------------------ max

TEST_F(QuickTool, MaxSendsTheSameRectangleAndThePictureFollowsEveryWindowsState) {
  isViewerImage* a = addWindow(Vec2(0, 0), Vec2(0, 0), Size(400, 300));
  isViewerImage* b = addWindow(Vec2(400, 0), Vec2(0, 0), Size(400, 300));
  attach(a);
  settle();
  BroadcastLog log;
  click("max");
  settle();
  // The viewer took the rectangle, answered 9101 1, and only then did the
  // picture change.
  EXPECT_EQ(a->getContentSize(), Size(619.25f, 600));
  EXPECT_EQ(pictureOf(button("max")), "res/fullscreen_exit.png");
  click("max");
  settle();
  EXPECT_EQ(a->getContentSize(), Size(400, 300));
  EXPECT_EQ(pictureOf(button("max")), "res/fullscreen.png");
  ASSERT_EQ(log.got.size(), 2u);
  EXPECT_EQ(log.got[0].text, log.got[1].text);

  // Any window's report switches the picture, whichever window is bound.
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  for (auto [value, picture] : std::vector<std::pair<int, const char*>>{
           {1, "res/fullscreen_exit.png"}, {0, "res/fullscreen.png"}, {7, "res/fullscreen_exit.png"},
           {-1, "res/fullscreen.png"}}) {
    nc->postNotificationInt(b, NOTIFY_MAXIMISE_STATE, value, nullptr, false);
    settle();
    EXPECT_EQ(pictureOf(button("max")), picture) << value;
  }
}

// ------------------------------------------------------------------ windows that are not the bound one

// What the viewer screen does with the windows' broadcasts: follow on 9098,
// hide on 9099 of the bound window.
struct ScreenRouting {
  explicit ScreenRouting(quickTool* bar) {
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    nc->addObserver(this, nullptr,
                    [bar](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* d) {
                      auto* window = d ? dynamic_cast<isRenderWindow*>(d->object) : nullptr;
                      bar->followWindow(window, quickTool::linkedStateOf(window));
                    },
                    NOTIFY_VIEW_GEOMETRY);
    nc->addObserver(this, nullptr,
                    [bar](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData* d) {
                      if (d && static_cast<unsigned int>(d->taskValue) == bar->windowId) bar->setVisible(false);
                    },
                    NOTIFY_VIEWER_CLEANUP);
  }
  ~ScreenRouting() {
    if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  }
};

TEST_F(QuickTool, OtherWindowsMovingOrGoingLeaveTheBarWhereItIs) {
  isViewerImage* a = addWindow(Vec2(0, 0), Vec2(10, 20), Size(400, 300));
  isViewerImage* b = addWindow(Vec2(0, 0), Vec2(420, 20), Size(300, 300));
  attach(a);
  settle();
  ScreenRouting screen(bar);

  b->setPosition(Vec2(430, 60));
  b->setContentSize(Size(350, 250));
  settle();
  EXPECT_EQ(bar->getPosition(), Vec2(10, 25));
  EXPECT_EQ(bar->getContentSize(), Size(400, 300));

  // b goes: its 9099 leaves the bar bound to a and in sight.
  cellOf(b)->removeFromParent();
  settle();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->windowId, a->getRefID());

  // a moves and grows: the bar goes with it.
  a->setPosition(Vec2(50, 70));
  a->setContentSize(Size(500, 310));
  settle();
  EXPECT_EQ(bar->getPosition(), Vec2(50, 75));
  EXPECT_EQ(bar->getContentSize(), Size(500, 310));
  EXPECT_EQ(button("max")->getPosition(), Vec2(345, 0));

  // a goes: the screen hides the bar.
  cellOf(a)->removeFromParent();
  settle();
  EXPECT_FALSE(bar->isVisible());
}

TEST_F(QuickTool, AGoneBarHearsNothingMore) {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  quickTool* gone = quickTool::create();
  gone->retain();
  ASSERT_TRUE(nc->hasObserver(NOTIFY_MAXIMISE_STATE, nullptr, gone));
  nc->postNotificationInt(nullptr, NOTIFY_MAXIMISE_STATE, 1, nullptr, false);
  gone->release();
  viewertest::stepFrames(3);  // the pool lets the bar go; the queued report finds no bar
  EXPECT_FALSE(nc->hasObserver(NOTIFY_MAXIMISE_STATE, nullptr, gone));
}

}  // namespace
