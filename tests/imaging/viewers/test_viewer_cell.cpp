// The viewer cell headless: the grid and its rectangles, new viewers made
// from the first one, the slice controls and their touches, centred slices
// and stepping, slice play on the stepped clock, and the routing of the
// viewer notifications between the image viewers and the owner.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/data/english_texts.h"
#include "engine/ui/Slider.h"
#include "engine/ui/Text.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerMulti.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "viewer_support.h"

using namespace isImageSDK;
using namespace viewertest;
using cocos2d::Rect;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;

namespace {

// One command as an image viewer of a spy cell received it.
struct Executed {
  int viewer;  // place in the cell's list
  unsigned int id;
  cocos2d::Ref* sender;
  std::string text;
};

// An image viewer that records the commands handed to it instead of
// carrying them out.
class SpyViewer : public isViewerImage {
 public:
  static SpyViewer* create(std::vector<std::pair<SpyViewer*, Executed>>* log) {
    auto* v = new SpyViewer();
    if (!v->init()) {
      delete v;
      return nullptr;
    }
    v->autorelease();
    v->log = log;
    return v;
  }
  void onNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender) override {
    if (log) log->push_back({this, {-1, id, sender, data ? data->text : ""}});
  }
  std::vector<std::pair<SpyViewer*, Executed>>* log = nullptr;
};

// A cell whose image viewers are spies.
class SpyCell : public isViewerBrowser {
 public:
  CREATE_FUNC(SpyCell);
  isViewerImage* makeImageViewer() override { return SpyViewer::create(&log); }
  // What the viewers executed, by their place in the grid.
  std::vector<Executed> executed() {
    std::vector<Executed> out;
    for (auto& [viewer, e] : log) {
      Executed x = e;
      x.viewer = static_cast<int>(imageViewers.getIndex(viewer));
      out.push_back(x);
    }
    return out;
  }
  std::vector<std::pair<SpyViewer*, Executed>> log;
};

struct CellTest : ::testing::Test {
  HeadlessEngine engine{Size(1200, 900)};
  std::vector<isImageData*> images;
  ~CellTest() override {
    for (auto* i : images) i->release();
  }
  isImageData* phantom(int slices, int size = 16) {
    images.push_back(makePhantom(size, size, slices));
    return images.back();
  }
  isImageData* singleSlice() {
    images.push_back(makeLooseSlices({LooseSlice{}}));
    return images.back();
  }
  isViewerBrowser* addCell(Size size, isImageData* data, int kind = VIEW_KIND_AXIAL, Vec2 at = Vec2(0, 0)) {
    auto* cell = isViewerBrowser::create();
    engine.scene->addChild(cell);
    cell->setContentSize(size);
    cell->setPosition(at);
    cell->layoutGrid();
    if (data) cell->setImageData(data);
    cell->setViewKind(kind);
    return cell;
  }
  static int sliceOf(isViewerImage* v) { return v->imageActor ? v->imageActor->getSliceIndex() : -99; }
  static std::vector<int> slices(isViewerBrowser* cell) {
    std::vector<int> out;
    for (isViewerImage* v : cell->getImageViewers()) out.push_back(sliceOf(v));
    return out;
  }
  static std::vector<int> range(int from, int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) out.push_back(from + i);
    return out;
  }
  static Rect rectOf(isViewerImage* v) { return Rect(v->getPosition(), v->getContentSize()); }
};

// The rectangles tile the cell row by row from the top left, all of one
// size, 2 points apart, flush with every edge.
::testing::AssertionResult tiles(const std::vector<Rect>& rects, Size size, int rows, int columns) {
  const float eps = 1e-3f;
  if (static_cast<int>(rects.size()) != rows * columns)
    return ::testing::AssertionFailure() << rects.size() << " rectangles";
  const Size cellSize = rects[0].size;
  for (int n = 0; n < rows * columns; ++n) {
    const Rect& r = rects[n];
    const int row = n / columns, col = n % columns;
    auto fail = [&](const char* what) {
      return ::testing::AssertionFailure() << what << " of viewer " << n << " (" << r.origin.x << "," << r.origin.y
                                           << " " << r.size.width << "x" << r.size.height << ")";
    };
    if (std::abs(r.size.width - cellSize.width) > eps || std::abs(r.size.height - cellSize.height) > eps)
      return fail("size");
    if (col == 0 && std::abs(r.origin.x) > eps) return fail("left edge");
    if (col == columns - 1 && std::abs(r.origin.x + r.size.width - size.width) > eps) return fail("right edge");
    if (col > 0 && std::abs(r.origin.x - (rects[n - 1].origin.x + cellSize.width) - 2) > eps) return fail("column gap");
    if (row == 0 && std::abs(r.origin.y + r.size.height - size.height) > eps) return fail("top edge");
    if (row == rows - 1 && std::abs(r.origin.y) > eps) return fail("bottom edge");
    if (row > 0 && std::abs(rects[n - columns].origin.y - (r.origin.y + cellSize.height) - 2) > eps)
      return fail("row gap");
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(CellGridRect, ExactRectanglesOfSomeGrids) {
  struct Case {
    Size size;
    int rows, columns, n;
    Rect expected;
  };
  const Case cases[] = {
      {Size(1000, 800), 1, 1, 0, Rect(0, 0, 1000, 800)},
      {Size(1000, 800), 1, 2, 0, Rect(0, 0, 499, 800)},
      {Size(1000, 800), 1, 2, 1, Rect(501, 0, 499, 800)},
      {Size(1000, 800), 2, 2, 0, Rect(0, 401, 499, 399)},
      {Size(1000, 800), 2, 2, 3, Rect(501, 0, 499, 399)},
      {Size(1000, 800), 4, 3, 4, Rect(334, 401, 332, 198.5f)},
      {Size(333, 257), 2, 2, 1, Rect(167.5f, 129.5f, 165.5f, 127.5f)},
      {Size(333, 257), 3, 1, 0, Rect(0, 172.666672f, 333, 84.333336f)},
  };
  for (const Case& k : cases) {
    const Rect r = isViewerBrowser::gridCellRect(k.size, k.rows, k.columns, k.n);
    EXPECT_NEAR(r.origin.x, k.expected.origin.x, 1e-3) << k.rows << "x" << k.columns << " #" << k.n;
    EXPECT_NEAR(r.origin.y, k.expected.origin.y, 1e-3) << k.rows << "x" << k.columns << " #" << k.n;
    EXPECT_NEAR(r.size.width, k.expected.size.width, 1e-3) << k.rows << "x" << k.columns << " #" << k.n;
    EXPECT_NEAR(r.size.height, k.expected.size.height, 1e-3) << k.rows << "x" << k.columns << " #" << k.n;
  }
}

TEST_F(CellTest, EveryGridFromOneToFourRowsAndColumns) {
  isImageData* data = phantom(60);
  // A custom colour table: a red ramp.
  uint8_t table[768];
  for (int i = 0; i < 256; ++i) {
    table[3 * i] = static_cast<uint8_t>(i);
    table[3 * i + 1] = 0;
    table[3 * i + 2] = static_cast<uint8_t>(255 - i);
  }
  for (Size size : {Size(1000, 800), Size(333, 257)}) {
    SCOPED_TRACE(size.width);
    isViewerBrowser* cell = addCell(size, data, VIEW_KIND_AXIAL, Vec2(30, 40));
    isViewerMulti* multi = isViewerMulti::create();
    cell->owner = multi;
    isViewerImage* first = cell->getImageViewers().at(0);
    first->goToSlice(7, false);
    first->imageActor->setWindow(300, 60);
    first->applyColorTable(table);
    ASSERT_EQ(sliceOf(first), 7);

    for (int r = 1; r <= 4; ++r)
      for (int c = 1; c <= 4; ++c) {
        SCOPED_TRACE(std::to_string(r) + "x" + std::to_string(c));
        std::vector<isViewerImage*> before(cell->getImageViewers().begin(), cell->getImageViewers().end());
        // The last viewer has the focus before every change.
        cell->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, before.back());
        ASSERT_EQ(cell->getCurrentViewer(), before.back());

        cell->setGrid(r, c);
        const auto& viewers = cell->getImageViewers();
        ASSERT_EQ(static_cast<int>(viewers.size()), r * c);
        EXPECT_EQ(cell->gridRows, r);
        EXPECT_EQ(cell->gridColumns, c);
        std::vector<Rect> rects;
        for (isViewerImage* v : viewers) rects.push_back(rectOf(v));
        EXPECT_TRUE(tiles(rects, size, r, c));
        for (int n = 0; n < r * c; ++n) {
          isViewerImage* v = viewers.at(n);
          EXPECT_EQ(v->getParent(), cell);
          EXPECT_EQ(v->getRelayTarget(), cell);
          if (n < static_cast<int>(before.size())) {
            EXPECT_EQ(v, before[n]) << "kept viewers stay in place";
            continue;
          }
          // A new viewer: the first one's data, kind, window and table, on
          // the slice after the previous place.
          EXPECT_EQ(v->getImageData(), data);
          EXPECT_EQ(v->viewKind, VIEW_KIND_AXIAL);
          EXPECT_EQ(sliceOf(v), 7 + n) << "viewer " << n;
          ASSERT_NE(v->imageActor, nullptr);
          EXPECT_EQ(v->imageActor->getClut()->windowWidth, 300.0f);
          EXPECT_EQ(v->imageActor->getClut()->windowCentre, 60.0f);
          uint8_t got[768];
          v->imageActor->getClut()->getColorTableRGB(got);
          EXPECT_EQ(std::memcmp(got, table, sizeof table), 0) << "colour table of viewer " << n;
        }
        for (size_t n = viewers.size(); n < before.size(); ++n) EXPECT_EQ(before[n]->getParent(), nullptr);
        // A current viewer that was removed gives way to the last one left.
        isViewerImage* expectedCurrent =
            static_cast<int>(before.size()) > r * c ? viewers.back() : before.back();
        EXPECT_EQ(cell->getCurrentViewer(), expectedCurrent);
      }

    // (0, 0) counts as 1 × 1, and a 1 × 1 grid only lays out again.
    cell->setGrid(1, 1);
    ASSERT_EQ(cell->getImageViewers().size(), 1);
    EXPECT_EQ(cell->getCurrentViewer(), first);
    cell->setContentSize(Size(size.width / 2, size.height / 2));
    cell->setGrid(0, 0);
    EXPECT_EQ(cell->gridRows, 1);
    EXPECT_EQ(cell->gridColumns, 1);
    ASSERT_EQ(cell->getImageViewers().size(), 1);
    EXPECT_EQ(rectOf(first), Rect(0, 0, size.width / 2, size.height / 2));
    EXPECT_EQ(sliceOf(first), 7);
    cell->removeFromParent();
  }
}

TEST_F(CellTest, GridCommandsFromInsideAndFromTheOwnerAndTheRefusalWhileMaximised) {
  libtest::EnglishTexts english;
  isViewerBrowser* cell = addCell(Size(600, 400), phantom(20));
  isViewerMulti* multi = isViewerMulti::create();
  multi->retain();
  cell->owner = multi;
  struct Case {
    unsigned int id;
    int rows, columns;
  };
  const Case cases[] = {{9019, 1, 2}, {9021, 2, 2}, {9020, 2, 1}, {9018, 1, 1}};
  for (const Case& k : cases) {
    cell->handleNotification(k.id, nullptr, cell->getImageViewers().at(0));
    EXPECT_EQ(cell->getImageViewers().size(), k.rows * k.columns) << k.id << " from inside";
    cell->setGrid(2, 2);
    cell->handleNotification(k.id, nullptr, multi);
    EXPECT_EQ(cell->gridRows * 10 + cell->gridColumns, k.rows * 10 + k.columns) << k.id << " from the owner";
  }

  // A maximised viewer: the grid stays and the message shows for 2 s.
  cell->setGrid(1, 2);
  cell->getImageViewers().at(1)->maximized = true;
  EXPECT_TRUE(cell->hasMaximisedWindow());
  cell->handleNotification(9021, nullptr, multi);
  EXPECT_EQ(cell->getImageViewers().size(), 2);
  auto* text = dynamic_cast<cocos2d::ui::Text*>(engine.scene->getChildByNameDeep("messageBox.text"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->getString(), "Go back to the normal size firstly");
  cocos2d::Node* box = engine.scene->getChildByNameDeep("messageBox");
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  stepFrames(60 * 2 + 30);
  EXPECT_FALSE(box->isVisible()) << "gone after 2 s";
  multi->release();
}

TEST_F(CellTest, AddAndDeleteTouchesAndTheSlider) {
  isViewerBrowser* cell = addCell(Size(600, 400), phantom(41), VIEW_KIND_AXIAL, Vec2(100, 50));
  auto* root = cocos2d::Node::create();
  root->setName("root");
  root->setPosition(Vec2(10, 10));
  cell->addChild(root, 10);
  auto* bar = cocos2d::Node::create();  // the controls sit one level down
  root->addChild(bar);
  auto* add = cocos2d::Node::create();
  add->setName("addImage");
  add->setContentSize(Size(40, 30));
  add->setPosition(Vec2(0, 0));
  bar->addChild(add);
  auto* del = cocos2d::Node::create();
  del->setName("delImage");
  del->setContentSize(Size(40, 30));
  del->setPosition(Vec2(50, 0));
  bar->addChild(del);
  auto* slider = cocos2d::ui::Slider::create();
  slider->setName("slider");
  bar->addChild(slider);

  auto* view = cocos2d::Director::getInstance()->getOpenGLView();
  using Code = cocos2d::EventTouch::EventCode;
  int touchId = 1;
  auto tap = [&](Vec2 p) {
    view->injectTouches(Code::BEGAN, {touchId}, {p});
    view->injectTouches(Code::ENDED, {touchId}, {p});
    ++touchId;
  };
  // Scene points: the cell at (100, 50), root at +10, the add button's
  // content from (110, 60) to (150, 90), the delete button 50 further.
  tap(Vec2(130, 75));
  EXPECT_EQ(cell->gridColumns, 2);
  tap(Vec2(130, 75));
  EXPECT_EQ(cell->gridColumns, 3);
  EXPECT_EQ(cell->getImageViewers().size(), 3);
  tap(Vec2(180, 75));
  EXPECT_EQ(cell->gridColumns, 2);
  // On the border or outside: nothing.
  tap(Vec2(110, 75));
  tap(Vec2(150, 75));
  tap(Vec2(300, 300));
  EXPECT_EQ(cell->gridColumns, 2);
  // Down on the add button, up outside it: nothing.
  view->injectTouches(Code::BEGAN, {touchId}, {Vec2(130, 75)});
  view->injectTouches(Code::ENDED, {touchId}, {Vec2(400, 300)});
  ++touchId;
  EXPECT_EQ(cell->gridColumns, 2);
  tap(Vec2(180, 75));
  tap(Vec2(180, 75));  // one column is the least
  EXPECT_EQ(cell->gridColumns, 1);
  EXPECT_EQ(cell->getImageViewers().size(), 1);

  // The slider shows the first viewer's slice in the stack.
  struct Case {
    int first, percent;
  };
  for (const Case& k : std::vector<Case>{{0, 0}, {10, 25}, {13, 32}, {40, 100}}) {
    cell->setFirstSlice(k.first, true);
    EXPECT_EQ(slider->getPercent(), k.percent) << k.first;
  }
  // Without "root" the touches pass and nothing breaks.
  root->removeFromParent();
  tap(Vec2(130, 75));
  EXPECT_EQ(cell->gridColumns, 1);
  cell->updateSlider();
}

TEST_F(CellTest, SingleSliceDataHidesTheControlsAndTheSliderReadsZero) {
  isViewerBrowser* cell = addCell(Size(300, 300), nullptr, VIEW_KIND_SLICE);
  auto* root = cocos2d::Node::create();
  root->setName("root");
  cell->addChild(root);
  std::vector<cocos2d::Node*> controls;
  for (const char* name : {"addImage", "delImage", "btnNext", "btnPrior"}) {
    auto* n = cocos2d::Node::create();
    n->setName(name);
    root->addChild(n);
    controls.push_back(n);
  }
  auto* slider = cocos2d::ui::Slider::create();
  slider->setName("slider");
  slider->setPercent(50);
  root->addChild(slider);
  controls.push_back(slider);
  cell->setImageData(singleSlice());
  for (auto* n : controls) EXPECT_FALSE(n->isVisible()) << n->getName();
  cell->updateSlider();
  EXPECT_EQ(slider->getPercent(), 0);
}

TEST_F(CellTest, CentredSlicesAndSteppingWhileStopped) {
  struct Case {
    int slices, rows, columns, start;
  };
  const Case cases[] = {
      {100, 2, 2, 48}, {6, 2, 2, 0}, {8, 2, 2, 0}, {9, 2, 2, 2}, {100, 1, 1, 49}, {6, 1, 3, 0}, {7, 1, 3, 2},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.slices) + " slices in " + std::to_string(k.rows) + "x" + std::to_string(k.columns));
    isViewerBrowser* cell = addCell(Size(400, 400), phantom(k.slices, 8));
    cell->setGrid(k.rows, k.columns);
    const int g = k.rows * k.columns;
    cell->centerSlices();
    EXPECT_EQ(cell->firstSliceIndex, k.start);
    EXPECT_EQ(slices(cell), range(k.start, g));

    // Stepping while stopped wraps at both ends of the first viewer's stack.
    cell->setFirstSlice(0, true);
    cell->handleNotification(NOTIFY_PLAY_PRIOR, nullptr, nullptr);
    EXPECT_EQ(cell->firstSliceIndex, k.slices - 1);
    EXPECT_EQ(sliceOf(cell->getImageViewers().at(0)), k.slices - 1);
    cell->handleNotification(NOTIFY_PLAY_NEXT, nullptr, nullptr);
    EXPECT_EQ(cell->firstSliceIndex, 0);
    EXPECT_EQ(slices(cell), range(0, g));
    cell->handleNotification(NOTIFY_PLAY_NEXT, nullptr, nullptr);
    EXPECT_EQ(slices(cell), range(1, g));
    cell->removeFromParent();
  }

  // No image actor with data: nothing moves.
  isViewerBrowser* empty = addCell(Size(400, 400), nullptr);
  empty->firstSliceIndex = 3;
  empty->centerSlices();
  EXPECT_EQ(empty->firstSliceIndex, 3);
  // Stepping back from the first slice of nothing stays at 0.
  empty->firstSliceIndex = 0;
  empty->handleNotification(NOTIFY_PLAY_PRIOR, nullptr, nullptr);
  EXPECT_EQ(empty->firstSliceIndex, 0);
}

TEST_F(CellTest, PlayOnTheSteppedClock) {
  isViewerBrowser* cell = addCell(Size(400, 300), phantom(10, 8));
  isViewerMulti* multi = isViewerMulti::create();
  multi->retain();
  cell->owner = multi;
  Recorder rec;
  rec.listen({NOTIFY_PLAY_STATE}, multi);
  auto* director = cocos2d::Director::getInstance();
  cell->setFirstSlice(3, true);

  cell->handleNotification(NOTIFY_PLAY_TOGGLE, nullptr, multi);
  EXPECT_TRUE(cell->playing);
  EXPECT_TRUE(cell->isScheduled(cell->playKey()));
  EXPECT_EQ(cell->playKey(), "browser:" + std::to_string(cell->getRefID()));
  EXPECT_EQ(cell->firstSliceIndex, 3) << "play starts where the first viewer stands";

  // Frame by frame: when does the first viewer move?
  std::vector<unsigned int> moves;
  int last = sliceOf(cell->getImageViewers().at(0));
  const unsigned int start = director->getTotalFrames();
  for (int f = 0; f < 200; ++f) {
    stepFrames(1);
    const int now = sliceOf(cell->getImageViewers().at(0));
    if (now != last) moves.push_back(director->getTotalFrames() - start);
    last = now;
  }
  ASSERT_EQ(moves.size(), 4u);
  // The first step comes with the first tick, 0.1 s in (6 or 7 frames of
  // 1/60 s); then one step every 60 ticks, one tick a frame.
  EXPECT_GE(moves[0], 6u);
  EXPECT_LE(moves[0], 7u);
  EXPECT_EQ(moves[1] - moves[0], 60u);
  EXPECT_EQ(moves[2] - moves[1], 60u);
  EXPECT_EQ(moves[3] - moves[2], 60u);
  EXPECT_EQ(cell->firstSliceIndex, 7);
  ASSERT_EQ(rec.of(NOTIFY_PLAY_STATE).size(), 1u);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[0].intValue, 1);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[0].sender, cell);

  // Faster and slower while playing.
  for (int expected : {40, 20, 5, 5}) {
    cell->handleNotification(NOTIFY_PLAY_NEXT, nullptr, multi);
    EXPECT_EQ(cell->playInterval, expected);
  }
  cell->handleNotification(NOTIFY_PLAY_PRIOR, nullptr, multi);
  EXPECT_EQ(cell->playInterval, 25);
  EXPECT_EQ(cell->playTickCount, 0);
  // At 25 ticks a step: the next step at once, then every 25 frames.
  moves.clear();
  last = sliceOf(cell->getImageViewers().at(0));
  const unsigned int again = director->getTotalFrames();
  for (int f = 0; f < 60; ++f) {
    stepFrames(1);
    const int now = sliceOf(cell->getImageViewers().at(0));
    if (now != last) moves.push_back(director->getTotalFrames() - again);
    last = now;
  }
  EXPECT_EQ(moves, (std::vector<unsigned int>{1, 26, 51}));
  EXPECT_EQ(cell->firstSliceIndex, 0) << "wrapped after the last slice";
  for (int i = 0; i < 6; ++i) cell->handleNotification(NOTIFY_PLAY_PRIOR, nullptr, multi);
  EXPECT_EQ(cell->playInterval, 120);

  // The toggle stops; 9056 tells 0.
  cell->handleNotification(NOTIFY_PLAY_TOGGLE, nullptr, multi);
  EXPECT_FALSE(cell->playing);
  EXPECT_FALSE(cell->isScheduled(cell->playKey()));
  stepFrames(2);
  ASSERT_EQ(rec.of(NOTIFY_PLAY_STATE).size(), 2u);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[1].intValue, 0);

  // 9096 from the owner stops play and goes back to the first slice index 0.
  cell->handleNotification(NOTIFY_PLAY_TOGGLE, nullptr, multi);
  stepFrames(20);
  cell->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, multi);
  EXPECT_FALSE(cell->playing);
  EXPECT_FALSE(cell->isScheduled(cell->playKey()));
  EXPECT_EQ(cell->firstSliceIndex, 0);
  stepFrames(2);
  ASSERT_EQ(rec.of(NOTIFY_PLAY_STATE).size(), 4u);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[2].intValue, 1);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[3].intValue, 0);

  // Cleanup ends play without a word.
  cell->handleNotification(NOTIFY_PLAY_TOGGLE, nullptr, multi);
  cell->retain();
  cell->removeFromParent();
  EXPECT_FALSE(cell->isScheduled(cell->playKey()));
  stepFrames(30);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE).size(), 5u) << "only the start";
  cell->release();
  multi->release();
}

TEST_F(CellTest, SingleSliceRefusesPlayAndReportsZero) {
  isViewerBrowser* cell = addCell(Size(300, 300), singleSlice(), VIEW_KIND_SLICE);
  Recorder rec;
  rec.listen({NOTIFY_PLAY_STATE}, nullptr);  // no owner: broadcast
  cell->handleNotification(NOTIFY_PLAY_TOGGLE, nullptr, nullptr);
  EXPECT_FALSE(cell->playing);
  EXPECT_FALSE(cell->isScheduled(cell->playKey()));
  stepFrames(2);
  ASSERT_EQ(rec.of(NOTIFY_PLAY_STATE).size(), 1u);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[0].intValue, 0);
  EXPECT_EQ(rec.of(NOTIFY_PLAY_STATE)[0].sender, cell);
}

namespace {

enum class Queue { None, Immediate, Serial };

struct Route {
  unsigned int id;
  Queue up;              // the post to the owner from inside
  const char* inside;    // viewers that execute it from inside (places)
  const char* fromOwner; // viewers that execute it from the owner
};

std::string places(const std::vector<Executed>& list, unsigned int id) {
  std::string out;
  for (const Executed& e : list)
    if (e.id == id) out += static_cast<char>('0' + e.viewer);
  return out;
}

}  // namespace

TEST_F(CellTest, RoutingOfEveryObservedId) {
  // A 2 × 2 spy cell: viewer 0 current, viewer 1 the sender, viewer 2 of
  // kind 0, the others axial.
  const std::vector<Route> routes = {
      {9065, Queue::None, "03", "0123"},      {9066, Queue::Serial, "03", "0123"},
      {9067, Queue::Serial, "023", "0123"},   {9068, Queue::None, "0123", "0123"},
      {9064, Queue::None, "1", ""},           {9062, Queue::None, "1", ""},
      {9063, Queue::None, "1", ""},           {9061, Queue::None, "1", ""},
      {9022, Queue::Serial, "", "0123"},      {9029, Queue::Serial, "", "0123"},
      {9026, Queue::None, "0123", "0123"},    {9027, Queue::None, "0123", "0123"},
      {9028, Queue::None, "0123", "0123"},    {9035, Queue::Serial, "", "0123"},
      {9037, Queue::Serial, "", "0123"},      {9036, Queue::Serial, "", "0123"},
      {9010, Queue::Serial, "", "0123"},      {9011, Queue::Serial, "", "0123"},
      {9012, Queue::Serial, "", "0123"},      {9096, Queue::Serial, "", ""},
      {9008, Queue::Serial, "", "0123"},      {9017, Queue::Serial, "", "0123"},
      {9039, Queue::Serial, "", "0123"},      {9085, Queue::Immediate, "", ""},
      {9030, Queue::None, "0123", "0123"},    {9040, Queue::Serial, "", "0123"},
      {9041, Queue::Serial, "", "0123"},      {9042, Queue::Serial, "", "0123"},
      {9043, Queue::Serial, "", "0123"},      {9044, Queue::Serial, "", "0123"},
      {9023, Queue::Serial, "", ""},          {9001, Queue::Immediate, "", "0123"},
      {9002, Queue::Immediate, "", "0123"},   {9102, Queue::None, "", ""},
      {9034, Queue::Serial, "", "0123"},      {9045, Queue::None, "0123", "0123"},
  };
  const std::vector<int>& observed = isViewerBrowser::observedIds();
  ASSERT_EQ(observed.size(), 38u);
  for (unsigned int grid : {9018u, 9019u, 9020u, 9021u})
    EXPECT_NE(std::find(observed.begin(), observed.end(), static_cast<int>(grid)), observed.end());

  auto* nc = NSUI::NSNotificationCenter::getInstance();
  isViewerMulti* multi = isViewerMulti::create();
  multi->retain();
  constexpr int kMarker = 9990;
  std::vector<int> spied(observed.begin(), observed.end());
  spied.push_back(kMarker);
  for (int extra : {NOTIFY_FOCAL_APPLY, 9034, 9045}) spied.push_back(extra);

  for (const Route& route : routes) {
    SCOPED_TRACE(route.id);
    for (bool fromOwner : {false, true}) {
      SpyCell* cell = SpyCell::create();
      engine.scene->addChild(cell);
      cell->setContentSize(Size(400, 400));
      cell->owner = multi;
      cell->setGrid(2, 2);
      const auto& v = cell->getImageViewers();
      for (int i = 0; i < 4; ++i) v.at(i)->viewKind = i == 2 ? VIEW_KIND_SLICE : VIEW_KIND_AXIAL;
      ASSERT_EQ(cell->getCurrentViewer(), v.at(0));
      cell->log.clear();
      if (!fromOwner)
        for (int id : observed) EXPECT_TRUE(nc->hasObserver(id, cell->node(), cell->node())) << id;

      stepFrames(10);  // what the set-up queued is delivered
      Recorder up;
      up.listen(spied, multi);
      // A serial marker ahead: an immediate post arrives in its frame, a
      // serial one a frame later.
      nc->postNotificationInt(nullptr, kMarker, 0, multi, false);
      auto* payload = new NSUI::NSNotificationData();
      payload->text = "{\"x\":\"1.5\",\"y\":\"2\",\"z\":\"-3\"}";
      cell->handleNotification(route.id, payload, fromOwner ? static_cast<cocos2d::Ref*>(multi) : v.at(1));
      payload->release();
      stepFrames(6);

      const std::vector<Executed> done = cell->executed();
      for (const Executed& e : done) EXPECT_EQ(e.sender, cell) << "handed down with the cell as sender";
      if (!fromOwner) {
        if (route.id == 9085) {
          EXPECT_EQ(places(done, NOTIFY_FOCAL_APPLY), "123") << "9086 to all but the current viewer";
          EXPECT_EQ(places(done, 9085), "");
        } else {
          EXPECT_EQ(places(done, route.id), route.inside) << "inside";
        }
        for (const Executed& e : done)
          EXPECT_EQ(NSUI::UIJson::getJsonString(e.text, "validFocal"), "") << "the cell's viewers take it as it is";
        const auto got = up.of(route.id);
        const auto marker = up.of(kMarker);
        ASSERT_EQ(marker.size(), 1u);
        if (route.up == Queue::None) {
          EXPECT_TRUE(got.empty()) << "not forwarded";
        } else {
          ASSERT_EQ(got.size(), 1u) << "posted to the owner";
          EXPECT_EQ(got[0].sender, cell);
          if (route.up == Queue::Serial)
            EXPECT_GT(got[0].frame, marker[0].frame) << "serial: after the marker";
          else
            EXPECT_EQ(got[0].frame, marker[0].frame) << "immediate: with the marker";
          EXPECT_EQ(up.json(got[0], "x"), "1.5") << "payload";
          EXPECT_EQ(up.json(got[0], "validFocal"), route.id == 9066 ? "0" : "");
        }
      } else {
        EXPECT_EQ(places(done, route.id), route.fromOwner) << "from the owner";
        // Only 9023 goes up whoever sent it.
        EXPECT_EQ(up.of(route.id).size(), route.id == 9023 ? 1u : 0u);
      }
      cell->removeFromParent();
    }
  }
  multi->release();
}

TEST_F(CellTest, PostedRoadFromAViewerReachesTheOwner) {
  SpyCell* cell = SpyCell::create();
  engine.scene->addChild(cell);
  isViewerMulti* multi = isViewerMulti::create();
  multi->retain();
  cell->owner = multi;
  Recorder up;
  up.listen({9001, 9067}, multi);
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  isViewerImage* viewer = cell->getImageViewers().at(0);
  // The viewer posts to its relay target, as its own relays do.
  ASSERT_EQ(viewer->getRelayTarget(), cell->node());
  nc->postNotificationText(viewer, 9067, "{\"ww\":\"80\"}", viewer->getRelayTarget(), false);
  nc->postNotificationInt(viewer, 9001, 0, viewer->getRelayTarget(), true);
  stepFrames(4);
  ASSERT_EQ(up.of(9001).size(), 1u);
  ASSERT_EQ(up.of(9067).size(), 1u);
  EXPECT_EQ(up.json(up.of(9067)[0], "ww"), "80");
  EXPECT_EQ(up.of(9067)[0].sender, cell);
  cell->removeFromParent();
  multi->release();
}

TEST_F(CellTest, FocusRequestsMoveTheCurrentViewerAndItsMark) {
  isViewerBrowser* cell = addCell(Size(600, 400), phantom(20));
  isViewerMulti* multi = isViewerMulti::create();
  multi->retain();
  cell->owner = multi;
  cell->setGrid(2, 2);
  const auto& v = cell->getImageViewers();
  Recorder up;
  up.listen({NOTIFY_FOCUS_REQUEST}, multi);

  cell->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, v.at(2));
  EXPECT_EQ(cell->getCurrentViewer(), v.at(2));
  EXPECT_TRUE(v.at(2)->frameShown);
  EXPECT_FALSE(v.at(0)->frameShown);
  cell->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, v.at(3));
  EXPECT_EQ(cell->getCurrentViewer(), v.at(3));
  EXPECT_TRUE(v.at(3)->frameShown);
  EXPECT_FALSE(v.at(2)->frameShown);
  stepFrames(30);
  ASSERT_EQ(up.of(NOTIFY_FOCUS_REQUEST).size(), 2u);
  EXPECT_EQ(up.of(NOTIFY_FOCUS_REQUEST)[0].sender, cell);

  Rect rect;
  ASSERT_TRUE(cell->getCurrentWindowRect(rect));
  EXPECT_EQ(rect.origin, v.at(3)->getPosition() + cell->getPosition());
  EXPECT_EQ(rect.size, v.at(3)->getContentSize());

  // From the owner: the cell lost the focus; its mark goes.
  cell->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, multi);
  EXPECT_EQ(cell->getCurrentViewer(), v.at(3));
  EXPECT_FALSE(v.at(3)->frameShown);

  // Without an owner a sender's request changes nothing.
  cell->owner = nullptr;
  cell->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, v.at(1));
  EXPECT_EQ(cell->getCurrentViewer(), v.at(3));
  EXPECT_FALSE(v.at(1)->frameShown);
  multi->release();
}

TEST_F(CellTest, FocalPointFromTheOwnerMovesTheCellAndLinkFlagFollows) {
  isViewerBrowser* cell = addCell(Size(600, 400), phantom(40));
  isViewerMulti* multi = isViewerMulti::create();
  multi->retain();
  cell->owner = multi;
  cell->setGrid(1, 3);
  cell->handleNotification(NOTIFY_FOCUS_REQUEST, nullptr, cell->getImageViewers().at(1));
  // Slice k of the phantom lies at z = -39 + 2k: slice 20 is at z = 1.
  auto* payload = new NSUI::NSNotificationData();
  payload->text = "{\"x\":\"0\",\"y\":\"0\",\"z\":\"1\"}";
  cell->handleNotification(NOTIFY_FOCAL_POINT, payload, multi);
  payload->release();
  EXPECT_EQ(slices(cell), (std::vector<int>{19, 20, 21})) << "the current viewer at the point";
  EXPECT_EQ(cell->firstSliceIndex, 19);

  for (auto [value, expected] : std::vector<std::pair<int, bool>>{{0, false}, {1, true}, {-2, false}, {5, true}}) {
    auto* d = new NSUI::NSNotificationData();
    d->intValue = value;
    cell->handleNotification(NOTIFY_CELL_LINK, d, cell->getImageViewers().at(0));
    d->release();
    EXPECT_EQ(cell->linked, expected) << value;
  }
  multi->release();
}
