// The layout manager with a real multi-view headless: the cells of every
// layout at three screen sizes, one data in a layout, comparisons, views
// without area or data, layout requests (9114) and their relay, replacing
// and clearing the data, data that must outlive the cells it was shown
// in, and the "mpr" cells' overlay texts after a switch from one cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/view/isActorManager.h"
#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isNodeOverlay.h"
#include "imaging/viewers/appLayouts.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerImage.h"
#include "imaging/viewers/isViewerMulti.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "viewer_support.h"

using namespace isImageSDK;
using namespace viewertest;
using cocos2d::Rect;
using cocos2d::Size;
using cocos2d::Vec2;

namespace {

// Image data that tells when it is gone.
class WatchedData : public isImageData {
 public:
  // An axial volume of 16 × 16 × 6; the caller releases it.
  static WatchedData* create(bool* gone) {
    auto* data = new WatchedData();
    data->init();
    data->gone = gone;
    const double row[3] = {1, 0, 0}, col[3] = {0, 1, 0}, pos[3] = {0, 0, 0};
    const int32_t dims[3] = {16, 16, 6};
    const float spacing[3] = {1, 1, 2};
    data->buildVolume(dims, spacing, ELEMENT_INT16, 0, 0, makeSliceMatrix(row, col, pos, 0, 0));
    std::memset(data->volumeBuffer, 0, 16 * 16 * 6 * sizeof(int16_t));
    return data;
  }
  ~WatchedData() override {
    if (gone) *gone = true;
  }
  bool* gone = nullptr;
};

struct Want {
  int kind;
  float x, y, w, h;
  bool linked = true;
  int data = 0;  // index into the data the test gives
};

struct AppManagerTest : ::testing::Test {
  HeadlessEngine engine{Size(1400, 1000)};
  appManager* manager = nullptr;
  std::vector<isImageData*> images;

  void SetUp() override {
    manager = appManager::create();
    ASSERT_NE(manager, nullptr);
    manager->retain();
  }
  void TearDown() override {
    if (manager) {
      if (isViewerMulti* multi = manager->getViewerMulti()) multi->removeFromParent();
      manager->release();
    }
    stepFrames(2);
    for (auto* i : images) i->release();
  }
  // 24 × 24 axial slices 2 mm apart.
  isImageData* phantom(int slices = 40) {
    isImageData* image = makePhantom(24, 24, slices);
    images.push_back(image);
    return image;
  }
  isImageData* loose() {
    isImageData* image = makeLooseSlices({LooseSlice{}, LooseSlice{}});
    images.push_back(image);
    return image;
  }
  // A 4-D series of phantom volumes; its first frame.
  isImageData* frameSet(int phases) {
    std::vector<isImageData*> frames;
    for (int i = 0; i < phases; ++i) frames.push_back(phantom(12));
    return isImageData::createFrameSet(frames);
  }
  // The multi-view on the screen, as the viewer screen attaches it.
  isViewerMulti* attach() {
    isViewerMulti* multi = manager->getViewerMulti();
    if (multi && !multi->getParent()) engine.scene->addChild(multi);
    return multi;
  }
  // The cells in the order they were added: their viewers are the
  // multi-view's children in that order.
  std::vector<KeyViewProperty*> cells() {
    std::vector<KeyViewProperty*> out;
    isViewerMulti* multi = manager->getViewerMulti();
    if (!multi) return out;
    for (auto& entry : multi->cells)
      for (KeyViewProperty* cell : entry.second) out.push_back(cell);
    auto place = [multi](KeyViewProperty* cell) {
      auto* node = dynamic_cast<cocos2d::Node*>(cell->getViewer());
      return node ? multi->getChildren().getIndex(node) : -1;
    };
    std::sort(out.begin(), out.end(), [&](KeyViewProperty* a, KeyViewProperty* b) { return place(a) < place(b); });
    return out;
  }
  // Steps frames until `done` holds (the serial queue hands out one
  // notification a frame); false when it never does.
  static bool stepUntil(const std::function<bool()>& done, int maxFrames = 3000) {
    for (int i = 0; i < maxFrames; ++i) {
      if (done()) return true;
      stepFrames(1);
    }
    return done();
  }
  std::vector<isViewer*> viewers() {
    std::vector<isViewer*> out;
    for (KeyViewProperty* cell : cells()) out.push_back(cell->getViewer());
    return out;
  }
  static isViewerBrowser* browser(KeyViewProperty* cell) { return dynamic_cast<isViewerBrowser*>(cell->getViewer()); }
  void post(const std::string& name, void* object) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, NOTIFY_PROTOCOL_SELECT, name, object,
                                                                      false);
  }

  // Every cell's kind, rectangle, link flag and data, in the order added;
  // the first has the focus.
  void expectCells(const std::vector<Want>& want, const std::vector<isImageData*>& data, const std::string& what) {
    const std::vector<KeyViewProperty*> got = cells();
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < want.size(); ++i) {
      const std::string where = what + ", cell " + std::to_string(i);
      KeyViewProperty* cell = got[i];
      auto* node = dynamic_cast<cocos2d::Node*>(cell->getViewer());
      ASSERT_NE(node, nullptr) << where;
      EXPECT_EQ(cell->getViewKind(), want[i].kind) << where;
      EXPECT_NEAR(node->getPosition().x, want[i].x, 1e-3) << where;
      EXPECT_NEAR(node->getPosition().y, want[i].y, 1e-3) << where;
      EXPECT_NEAR(node->getContentSize().width, want[i].w, 1e-3) << where;
      EXPECT_NEAR(node->getContentSize().height, want[i].h, 1e-3) << where;
      EXPECT_EQ(cell->getViewer()->linked, want[i].linked) << where;
      EXPECT_EQ(cell->imageData, data.at(static_cast<size_t>(want[i].data))) << where;
    }
    if (!got.empty()) {
      EXPECT_EQ(manager->getViewerMulti()->getFocusedCell(), got[0]) << what;
    }
  }
};

// The text of a cell's first image viewer's overlay bound to `id`; "?"
// when there is none.
std::string overlayText(KeyViewProperty* cell, int id) {
  auto* browser = dynamic_cast<isViewerBrowser*>(cell->getViewer());
  if (!browser || browser->getImageViewers().empty()) return "?";
  isActorManager* actors = browser->getImageViewers().at(0)->getActorManager();
  isActorOverlay* overlay = actors ? actors->getOverlayActor() : nullptr;
  if (!overlay) return "?";
  for (isNodeOverlay* item : overlay->getItems())
    if (item->kind == 1 && item->notificationId == id)
      if (auto* text = dynamic_cast<isNodeOverlayText*>(item)) return text->getString();
  return "?";
}

// Whether the multi-view hands a grid command to its focused 2-D cell.
bool multiViewSplitsItsFocusedCell(isImageData* data) {
  isViewerMulti* multi = isViewerMulti::create();
  multi->addView(VIEW_KIND_SLICE, true, Rect(0, 0, 200, 200), data);
  multi->handleCommand(NOTIFY_LAYOUT_2X2, nullptr);
  auto* cell = multi->getFocusedCell() ? dynamic_cast<isViewerBrowser*>(multi->getFocusedCell()->getViewer()) : nullptr;
  const bool split = cell && cell->getImageViewers().size() == 4;
  multi->removeAllViews();
  return split;
}

}  // namespace

TEST_F(AppManagerTest, CellsOfEveryLayoutAtThreeScreenSizes) {
  isImageData* set = frameSet(4);
  ASSERT_NE(set, nullptr);
  std::vector<isImageData*> data;
  for (int k = 0; k < 4; ++k) data.push_back(set->getFrame(k));
  const bool U = false;
  struct Case {
    int id;
    float W, H;
    std::vector<Want> cells;
  };
  const float w5 = (1000.0f - 8) / 3;
  // The 4-D series is an axial volume: the cells that follow their data are
  // axial; "compare4d" shows one cell per frame.
  const std::vector<Case> cases = {
      {1, 1000, 800, {{1, 0, 0, 1000, 800}}},
      {2, 1000, 800, {{1, 0, 0, 1000, 800}}},
      {3, 1000, 800, {{1, 0, 402, 498, 398}, {3, 502, 402, 498, 398}, {5, 502, 0, 498, 398}, {2, 0, 0, 498, 398}}},
      {4, 1000, 800, {{1, 0, 402, 498, 398}, {2, 0, 0, 498, 398}, {3, 502, 0, 498, 800}}},
      {5, 1000, 800, {{1, 0, 0, w5, 800}, {2, w5 + 2, 0, w5, 800}, {3, 1000 - w5, 0, w5, 800}}},
      {6, 1000, 800, {{0, 0, 0, 1000, 800}}},
      {7, 1000, 800, {{1, 0, 0, 499, 800, U}, {1, 501, 0, 499, 800, U}}},
      {8, 1000, 800, {{1, 0, 401, 499, 399, true, 0}, {1, 501, 401, 499, 399, true, 1},
                      {1, 0, 0, 499, 399, true, 2}, {1, 501, 0, 499, 399, true, 3}}},
      {1, 908, 600, {{1, 0, 0, 908, 600}}},
      {2, 908, 600, {{1, 0, 0, 908, 600}}},
      {3, 908, 600, {{1, 0, 302, 452, 298}, {3, 456, 302, 452, 298}, {5, 456, 0, 452, 298}, {2, 0, 0, 452, 298}}},
      {4, 908, 600, {{1, 0, 302, 452, 298}, {2, 0, 0, 452, 298}, {3, 456, 0, 452, 600}}},
      {5, 908, 600, {{1, 0, 0, 300, 600}, {2, 302, 0, 300, 600}, {3, 608, 0, 300, 600}}},
      {6, 908, 600, {{0, 0, 0, 908, 600}}},
      {7, 908, 600, {{1, 0, 0, 453, 600, U}, {1, 455, 0, 453, 600, U}}},
      {8, 908, 600, {{1, 0, 301, 453, 299, true, 0}, {1, 455, 301, 453, 299, true, 1},
                     {1, 0, 0, 453, 299, true, 2}, {1, 455, 0, 453, 299, true, 3}}},
      {1, 1280, 720, {{1, 0, 0, 1280, 720}}},
      {2, 1280, 720, {{1, 0, 0, 1280, 720}}},
      {3, 1280, 720, {{1, 0, 362, 638, 358}, {3, 642, 362, 638, 358}, {5, 642, 0, 638, 358}, {2, 0, 0, 638, 358}}},
      {4, 1280, 720, {{1, 0, 362, 638, 358}, {2, 0, 0, 638, 358}, {3, 642, 0, 638, 720}}},
      {5, 1280, 720, {{1, 0, 0, 424, 720}, {2, 426, 0, 424, 720}, {3, 856, 0, 424, 720}}},
      {6, 1280, 720, {{0, 0, 0, 1280, 720}}},
      {7, 1280, 720, {{1, 0, 0, 639, 720, U}, {1, 641, 0, 639, 720, U}}},
      {8, 1280, 720, {{1, 0, 361, 639, 359, true, 0}, {1, 641, 361, 639, 359, true, 1},
                      {1, 0, 0, 639, 359, true, 2}, {1, 641, 0, 639, 359, true, 3}}},
  };
  for (const Case& c : cases) {
    const std::string what = "layout " + std::to_string(c.id) + " in " + std::to_string(int(c.W)) + " x " +
                             std::to_string(int(c.H));
    // The same layout id twice in a row is rebuilt in full by setLayout.
    manager->setImageData(set, Rect(0, 0, c.W, c.H), LAYOUT_2DSLICE);
    attach();
    manager->setLayout(c.id);
    EXPECT_EQ(manager->getLayout(), c.id) << what;
    expectCells(c.cells, data, what);
    // The fixed layouts show the 4-D series by phase; a comparison shows
    // each of its data (every frame for "compare4d") for itself.
    for (size_t k = 0; k < data.size(); ++k) {
      const bool byPhase = c.id < LAYOUT_COMPARE2D || (c.id == LAYOUT_COMPARE2D && k > 0);
      EXPECT_EQ(data[k]->frameLinked, byPhase) << what << ", frame " << k;
    }
  }
}

TEST_F(AppManagerTest, GridInsideTheBrowserAndMpr2Layouts) {
  isImageData* ct = phantom();
  if (!multiViewSplitsItsFocusedCell(ct)) GTEST_SKIP() << "the multi-view does not hand grid commands to its cells";
  struct Case {
    int id;
    float W, H;
    int rows, columns;
  };
  for (const Case& c : {Case{2, 1000, 800, 2, 2}, Case{5, 908, 600, 2, 1}, Case{2, 1280, 720, 2, 2},
                        Case{5, 1280, 720, 2, 1}}) {
    const std::string what = "layout " + std::to_string(c.id) + " in " + std::to_string(int(c.W));
    manager->setImageData(ct, Rect(0, 0, c.W, c.H), c.id);
    std::vector<KeyViewProperty*> got = cells();
    ASSERT_FALSE(got.empty()) << what;
    // The first cell, which had the focus when it was added, is split; the
    // cells added after it keep one viewer.
    isViewerBrowser* first = browser(got[0]);
    EXPECT_EQ(first->gridRows, c.rows) << what;
    EXPECT_EQ(first->gridColumns, c.columns) << what;
    ASSERT_EQ(static_cast<int>(first->getImageViewers().size()), c.rows * c.columns) << what;
    const Size size = first->getContentSize();
    for (int n = 0; n < c.rows * c.columns; ++n) {
      const Rect want = isViewerBrowser::gridCellRect(size, c.rows, c.columns, n);
      EXPECT_EQ(first->getImageViewers().at(n)->getPosition(), want.origin) << what << ", viewer " << n;
      EXPECT_EQ(first->getImageViewers().at(n)->getContentSize(), want.size) << what << ", viewer " << n;
    }
    if (c.id == LAYOUT_MPR2) {
      // One above the other.
      EXPECT_EQ(first->getImageViewers().at(0)->getPosition().x, first->getImageViewers().at(1)->getPosition().x);
      EXPECT_GT(first->getImageViewers().at(0)->getPosition().y, first->getImageViewers().at(1)->getPosition().y);
    }
    for (size_t i = 1; i < got.size(); ++i) {
      if (isViewerBrowser* other = browser(got[i])) {
        EXPECT_EQ(static_cast<int>(other->getImageViewers().size()), 1) << what;
      }
    }
  }
}

TEST_F(AppManagerTest, OneDataInALayout) {
  isImageData* ct = phantom();
  isImageData* slices = loose();
  // The multi-view is made at the first rectangle and keeps it.
  manager->setImageData(ct, Rect(20, 30, 1000, 800), LAYOUT_2DVIEW);
  isViewerMulti* multi = attach();
  ASSERT_NE(multi, nullptr);
  EXPECT_EQ(multi->getLocalZOrder(), -100);
  EXPECT_EQ(multi->getPosition(), Vec2(20, 30));
  EXPECT_EQ(multi->getContentSize(), Size(1000, 800));
  EXPECT_EQ(manager->getLayout(), LAYOUT_2DVIEW);
  expectCells({{1, 0, 0, 1000, 800}}, {ct}, "acquired orientation");

  struct Case {
    const char* what;
    isImageData* data;
    int id;
    int layout;
    std::vector<Want> cells;
  };
  const std::vector<Case> cases = {
      {"separate images in mpr3d", slices, 3, 6, {{0, 0, 0, 908, 600}}},
      {"separate images in 2dview", slices, 1, 6, {{0, 0, 0, 908, 600}}},
      {"separate images in compare2d", slices, 7, 6, {{0, 0, 0, 908, 600}}},
      {"a volume in 2dview", ct, 1, 1, {{1, 0, 0, 908, 600}}},
      {"a volume in 2dslice", ct, 6, 6, {{0, 0, 0, 908, 600}}},
      {"a volume in mpr", ct, 4, 4, {{1, 0, 302, 452, 298}, {2, 0, 0, 452, 298}, {3, 456, 0, 452, 600}}},
      {"a volume compared with itself", ct, 7, 7, {{1, 0, 0, 453, 600, false}, {1, 455, 0, 453, 600, false}}},
  };
  for (const Case& c : cases) {
    manager->setImageData(c.data, Rect(5, 5, 908, 600), c.id);
    EXPECT_EQ(manager->getViewerMulti(), multi) << c.what;
    EXPECT_EQ(manager->getLayout(), c.layout) << c.what;
    EXPECT_EQ(manager->getImageDataList(), std::vector<isImageData*>{c.data}) << c.what;
    expectCells(c.cells, {c.data}, c.what);
  }
  EXPECT_EQ(multi->getPosition(), Vec2(20, 30));
  EXPECT_EQ(multi->getContentSize(), Size(1000, 800));
  EXPECT_EQ(manager->getViewRect(), Rect(5, 5, 908, 600));
}

TEST_F(AppManagerTest, ComparingSeries) {
  isImageData* ct = phantom();
  // One series is compared with itself: two cells that move on their own,
  // side by side in a wide view, one above the other in a tall one.
  manager->setImageDataList({ct}, Rect(0, 0, 1000, 800));
  attach();
  EXPECT_EQ(manager->getLayout(), LAYOUT_COMPARE2D);
  expectCells({{1, 0, 0, 499, 800, false}, {1, 501, 0, 499, 800, false}}, {ct}, "wide");
  manager->setImageDataList({ct}, Rect(0, 0, 600, 1200));
  expectCells({{1, 0, 601, 600, 599, false}, {1, 0, 0, 600, 599, false}}, {ct}, "tall");

  // Five series in 1200 × 600: 3 columns × 2 rows, linked, in list order;
  // separate images take the acquired-slice kind.
  std::vector<isImageData*> five = {phantom(10), phantom(12), loose(), phantom(8), phantom(6)};
  manager->setImageDataList(five, Rect(0, 0, 1200, 600));
  EXPECT_EQ(manager->getLayout(), LAYOUT_COMPARE2D);
  expectCells({{1, 0, 301, 398, 299, true, 0},
               {1, 400, 301, 398, 299, true, 1},
               {0, 802, 301, 398, 299, true, 2},
               {1, 0, 0, 398, 299, true, 3},
               {1, 400, 0, 398, 299, true, 4}},
              five, "five series");
  for (isImageData* data : five) EXPECT_FALSE(data->frameLinked) << "each data stands for itself";
}

TEST_F(AppManagerTest, ViewsWithoutDataOrAreaGetNoCells) {
  isImageData* ct = phantom();
  isImageData* other = phantom(10);
  // No multi-view yet: nothing happens.
  manager->setLayout(LAYOUT_MPR3D);
  manager->replaceImageData(ct);
  EXPECT_EQ(manager->getViewerMulti(), nullptr);
  EXPECT_TRUE(manager->getImageDataList().empty());
  EXPECT_EQ(manager->getLayout(), LAYOUT_NONE);

  // An empty comparison: a multi-view without cells, layout 7; a layout
  // request without data changes nothing.
  manager->setImageDataList({}, Rect(0, 0, 1000, 800));
  attach();
  ASSERT_NE(manager->getViewerMulti(), nullptr);
  EXPECT_TRUE(cells().empty());
  EXPECT_EQ(manager->getLayout(), LAYOUT_COMPARE2D);
  manager->setLayout(LAYOUT_MPR3D);
  EXPECT_TRUE(cells().empty());
  EXPECT_EQ(manager->getLayout(), LAYOUT_COMPARE2D);

  // Views without area: the layout is taken, no cell is made.
  struct Case {
    Rect rect;
    int id;
  };
  for (const Case& c : {Case{Rect(0, 0, 0, 0), LAYOUT_MPR3D}, Case{Rect(0, 0, 1000, 0), LAYOUT_2DSLICE},
                        Case{Rect(0, 0, 0, 800), LAYOUT_2DVIEW}, Case{Rect(10, 10, 0.5f, 800), LAYOUT_MPR2}}) {
    const std::string what = "layout " + std::to_string(c.id) + " in " + std::to_string(c.rect.size.width) + " x " +
                             std::to_string(c.rect.size.height);
    manager->setImageData(ct, c.rect, c.id);
    EXPECT_TRUE(cells().empty()) << what;
    EXPECT_EQ(manager->getLayout(), c.id) << what;
    for (int id = 1; id <= kLayoutCount; ++id) {
      manager->setLayout(id);
      EXPECT_TRUE(cells().empty()) << what << ", then layout " << id;
      EXPECT_EQ(manager->getLayout(), id) << what;
    }
    manager->setImageDataList({ct, other}, c.rect);
    EXPECT_TRUE(cells().empty()) << what << ", two series compared";
  }

  // Comparing phases of data that is not a 4-D series shows nothing, and
  // the layout is still "compare4d".
  manager->setImageDataList({ct, other}, Rect(0, 0, 1000, 800));
  ASSERT_EQ(cells().size(), 2u);
  manager->setLayout(LAYOUT_COMPARE4D);
  EXPECT_TRUE(cells().empty());
  EXPECT_EQ(manager->getLayout(), LAYOUT_COMPARE4D);
}

TEST_F(AppManagerTest, LayoutRequestsAreRelayedBeforeTheSwitch) {
  isImageData* ct = phantom();
  RelayTarget* relay = RelayTarget::create();
  manager->setRelayTarget(relay);
  manager->setImageData(ct, Rect(0, 0, 1000, 800), LAYOUT_2DSLICE);
  isViewerMulti* multi = attach();
  stepFrames(3);

  // The viewers the switch takes off the screen say so on the serial queue;
  // the relayed request is queued ahead of them.
  Recorder heard;
  heard.listen({NOTIFY_PROTOCOL_SELECT}, relay);
  heard.listen({NOTIFY_VIEWER_CLEANUP}, nullptr);
  post("mpr3d", manager);
  ASSERT_TRUE(stepUntil([&] {
    return !heard.of(NOTIFY_PROTOCOL_SELECT).empty() && !heard.of(NOTIFY_VIEWER_CLEANUP).empty();
  }));
  EXPECT_EQ(manager->getLayout(), LAYOUT_MPR3D);
  EXPECT_EQ(cells().size(), 4u);
  ASSERT_GE(heard.got.size(), 2u);
  EXPECT_EQ(heard.got[0].id, static_cast<unsigned int>(NOTIFY_PROTOCOL_SELECT));
  EXPECT_EQ(heard.got[0].sender, manager);
  EXPECT_EQ(heard.got[0].text, "mpr3d");
  EXPECT_EQ(heard.of(NOTIFY_PROTOCOL_SELECT).size(), 1u);

  // The current layout and unknown names are passed on and rebuild nothing;
  // a request not addressed to the manager is not its business.
  const std::vector<isViewer*> before = viewers();
  const int made = multi->getCreatedViewerCount();
  for (const char* name : {"mpr3d", "MPR3D", "", "mpr3"}) {
    heard.got.clear();
    post(name, manager);
    ASSERT_TRUE(stepUntil([&] { return !heard.of(NOTIFY_PROTOCOL_SELECT).empty(); })) << '"' << name << '"';
    ASSERT_EQ(heard.of(NOTIFY_PROTOCOL_SELECT).size(), 1u) << '"' << name << '"';
    EXPECT_EQ(heard.of(NOTIFY_PROTOCOL_SELECT)[0].text, name);
    EXPECT_EQ(manager->getLayout(), LAYOUT_MPR3D) << '"' << name << '"';
    EXPECT_EQ(viewers(), before) << '"' << name << '"';
    EXPECT_EQ(multi->getCreatedViewerCount(), made) << '"' << name << '"';
  }
  // (The serial queue keeps order: once the second request is relayed the
  // first one has been delivered.)
  heard.got.clear();
  post("mpr", nullptr);
  post("mpr3d", manager);
  ASSERT_TRUE(stepUntil([&] { return !heard.of(NOTIFY_PROTOCOL_SELECT).empty(); }));
  EXPECT_EQ(manager->getLayout(), LAYOUT_MPR3D);
  EXPECT_EQ(heard.of(NOTIFY_PROTOCOL_SELECT).size(), 1u);
  EXPECT_EQ(viewers(), before);

  // Without a relay target the manager just switches.
  manager->setRelayTarget(nullptr);
  heard.got.clear();
  post("mpr", manager);
  ASSERT_TRUE(stepUntil([&] { return manager->getLayout() == LAYOUT_MPR; }));
  stepFrames(4);
  EXPECT_EQ(cells().size(), 3u);
  EXPECT_TRUE(heard.of(NOTIFY_PROTOCOL_SELECT).empty());
}

TEST_F(AppManagerTest, ShownDataLivesAsLongAsTheManagerShowsIt) {
  // The caller gives its data away once it is shown: the list and the cells
  // are its only owners. A layout request drops every cell before the new
  // ones are made; the data must still be there for them.
  bool firstGone = false, secondGone = false;
  WatchedData* first = WatchedData::create(&firstGone);
  manager->setImageData(first, Rect(0, 0, 1000, 800), LAYOUT_2DSLICE);
  isViewerMulti* multi = attach();
  first->release();
  stepFrames(2);
  post("2dview", manager);
  ASSERT_TRUE(stepUntil([&] { return manager->getLayout() == LAYOUT_2DVIEW; }));
  ASSERT_FALSE(firstGone);
  expectCells({{1, 0, 0, 1000, 800}}, {first}, "after the layout request");
  post("mpr", manager);
  ASSERT_TRUE(stepUntil([&] { return manager->getLayout() == LAYOUT_MPR; }));
  ASSERT_FALSE(firstGone);
  EXPECT_EQ(cells().size(), 3u);

  // Replaced: the new data in one acquired-slice cell, the old one let go.
  WatchedData* second = WatchedData::create(&secondGone);
  manager->replaceImageData(second);
  second->release();
  stepFrames(2);
  EXPECT_TRUE(firstGone);
  EXPECT_FALSE(secondGone);
  EXPECT_EQ(manager->getLayout(), LAYOUT_2DSLICE);
  EXPECT_EQ(manager->getImageDataList(), std::vector<isImageData*>{second});
  expectCells({{0, 0, 0, 1000, 800}}, {second}, "replaced");

  // Cleared: the multi-view and the data are let go; the layout and the
  // rectangle stay. Once the screen drops the multi-view nothing is left.
  manager->clear();
  EXPECT_EQ(manager->getViewerMulti(), nullptr);
  EXPECT_TRUE(manager->getImageDataList().empty());
  EXPECT_EQ(manager->getLayout(), LAYOUT_2DSLICE);
  EXPECT_EQ(manager->getViewRect(), Rect(0, 0, 1000, 800));
  EXPECT_FALSE(secondGone) << "still in the cells of the screen's multi-view";
  multi->removeFromParent();
  stepFrames(2);
  EXPECT_TRUE(secondGone);

  // Nothing to show after clearing until new data comes; it gets a new
  // multi-view.
  manager->setLayout(LAYOUT_MPR3D);
  manager->replaceImageData(phantom());
  EXPECT_EQ(manager->getViewerMulti(), nullptr);
  manager->setImageData(phantom(), Rect(0, 0, 400, 300), LAYOUT_2DSLICE);
  ASSERT_NE(manager->getViewerMulti(), nullptr);
  EXPECT_EQ(manager->getViewerMulti()->getContentSize(), Size(400, 300));
  EXPECT_EQ(cells().size(), 1u);
}

TEST_F(AppManagerTest, LifeCycle) {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  appManager* other = appManager::create();
  ASSERT_NE(other, nullptr);
  other->retain();
  stepFrames(1);  // the creation's autorelease is done with
  EXPECT_EQ(other->getLayout(), LAYOUT_NONE);
  EXPECT_EQ(other->getViewerMulti(), nullptr);
  EXPECT_EQ(other->getRelayTarget(), nullptr);
  EXPECT_EQ(other->getViewRect(), Rect::ZERO);
  EXPECT_TRUE(nc->hasObserver(NOTIFY_PROTOCOL_SELECT, other, other));

  // Gone with a request queued for it and its multi-view on the screen: the
  // request is dropped, the multi-view stays with the screen.
  other->setImageData(phantom(), Rect(0, 0, 300, 200), LAYOUT_2DSLICE);
  isViewerMulti* multi = other->getViewerMulti();
  engine.scene->addChild(multi);
  const unsigned int held = multi->getReferenceCount();
  post("mpr3d", other);
  other->release();
  EXPECT_FALSE(nc->hasObserver(NOTIFY_PROTOCOL_SELECT, other, other));
  EXPECT_EQ(multi->getReferenceCount(), held - 1);
  stepFrames(4);
  EXPECT_EQ(multi->getCellCount(), 1);
  multi->removeFromParent();
}

// The viewer screen shows a series that is still loading in "2dview" and
// switches to "mpr" once its pixels are in. The new cells' overlays are
// built before their viewers know their plane, so they start as " Slice"
// with an empty window; the plane names and windows follow on the serial
// queue, one post a frame for the whole program. None may be lost: the
// last cell, the coronal one, gets its texts last.
TEST_F(AppManagerTest, MprCellTextsAllArriveAfterTheSwitchFromOneCell) {
  isImageData* ct = phantom();
  manager->setImageData(ct, Rect(0, 0, 1000, 800), LAYOUT_2DVIEW);
  ASSERT_NE(attach(), nullptr);
  stepFrames(60);
  manager->setImageData(ct, Rect(0, 0, 1000, 800), LAYOUT_MPR);
  const std::vector<KeyViewProperty*> shown = cells();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(overlayText(shown[2], NOTIFY_OVERLAY_VIEW_NAME), " Slice");
  EXPECT_EQ(overlayText(shown[2], NOTIFY_OVERLAY_WINDOW), " ");

  const char* const names[3] = {" Axial", " Sagittal", " Coronal"};
  auto settled = [&] {
    for (size_t i = 0; i < 3; ++i)
      if (overlayText(shown[i], NOTIFY_OVERLAY_VIEW_NAME) != names[i] ||
          overlayText(shown[i], NOTIFY_OVERLAY_WINDOW).size() <= 1)
        return false;
    return true;
  };
  int frames = 0;
  while (!settled() && frames < 600) {
    stepFrames(1);
    ++frames;
  }
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(overlayText(shown[i], NOTIFY_OVERLAY_VIEW_NAME), names[i]) << "cell " << i;
    EXPECT_GT(overlayText(shown[i], NOTIFY_OVERLAY_WINDOW).size(), 1u) << "cell " << i;
  }
  // One serial post a frame: the coronal cell's name comes after the
  // windows and plane names queued before it (the sagittal and coronal
  // cells first post " Axial") and the sagittal cell's camera moves.
  EXPECT_EQ(frames, 9);
}
