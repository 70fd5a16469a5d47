// The viewer screen in a real 1280 x 800 window under a virtual screen, on
// series written into the storage root of a fresh library: the series text,
// the loading job and its result (layout, message panel, toast), the same
// screen from a cold cache (the pixels arrive after the viewers are built)
// and from a warm one, the completion of loading and a foreign reader's
// completion, the 4-D strip and phase menu, compare4d, and a screen popped
// while its job runs. With FW_SHOT_DIR set the PNGs are kept there as
// viewer_screen_*.png.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/data/dataService.h"
#include "app/data/dicomDB.h"
#include "app/online/statApplication.h"
#include "app/viewer/imageViewerPC.h"
#include "engine/base/Configuration.h"
#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isSeriesCache.h"
#include "imaging/core/isSharedObjects.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerMulti.h"
#include "screen_window.h"
#include "support/notification_settle.h"
#include "toolkit/foundation/NSDBUtil.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSActivity.h"
#include "toolkit/widgets/NSMenu.h"
#include "tools/dcmfixtures/fixtures.h"
#include "tools/dcmfixtures/phantoms.h"

USING_NS_CC;
using isImageSDK::isSharedObjects;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 1280, kHeight = 800;

// What the tests read of the screen beyond its public members.
struct ScreenAccess : imageViewerPC {
  static std::shared_ptr<LoadJobState> job(imageViewerPC* s) { return s->*(&ScreenAccess::loadJob); }
  static void stripButton(imageViewerPC* s, const std::string& name) {
    (s->*(&ScreenAccess::on4DButton))(name, s->getChildByNameDeep(name));
  }
};

std::string seriesJson(const std::vector<std::string>& paths) {
  std::string text;
  NSUI::UIJson::setJsonString(text, "num", std::to_string(paths.size()));
  for (size_t i = 0; i < paths.size(); ++i) NSUI::UIJson::setJsonString(text, "series" + std::to_string(i + 1), paths[i]);
  return text;
}

class ViewerScreenWindow : public screentest::ScreenWindow {
 protected:
  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    // No background layer: the render windows draw through cameras of their
    // own before the scene's default one.
    openScreen("viewer-screen", kWidth, kHeight, Color4B(0, 0, 0, 0), 10);
    config->setWinSize(Size(kWidth, kHeight));
    service = dataService::getInstance();
    root = service->database->getRoot();
    stat = statApplication::getInstance();
    stat->start();
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    nc->addObserver(this, nullptr, [this](Ref*, unsigned int, NSUI::NSNotificationData*) { ++completions; },
                    NOTIFY_4D_LOADED);
  }
  void TearDown() override {
    if (screentest::g_noScreen) return;
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
    while (director()->getSceneStackSize() > 1) {
      director()->popScene();
      step(3);
    }
    stat->shutdown();
    statApplication::destroyInstance();
    service->stop();
    dataService::destroyInstance();
    isImageSDK::shutdown();
    closeScreen();
  }

  // Toasts as they come and go.
  void afterFrame() override {
    Scene* running = director()->getRunningScene();
    Node* box = running ? running->getChildByName("messageBox") : nullptr;
    if (!box || !box->isVisible()) return;
    if (auto* text = dynamic_cast<ui::Text*>(box->getChildByNameDeep("messageBox.text")))
      if (toasts.empty() || toasts.back() != text->getString()) toasts.push_back(text->getString());
  }

  // A series folder below the storage root (its cache removed: cold).
  std::string folder(const std::string& path) {
    const std::string f = root + path + "/";
    isImageSDK::isDcmScan::removeCache(f);
    return f;
  }
  std::string writeVolume(const std::string& path, int slices, int width = 64, int height = 48) {
    dcmfixtures::Variant v = *dcmfixtures::findVariant("ct_s16");
    v.name = "ct_" + path;  // a study and series of its own
    std::replace(v.name.begin(), v.name.end(), '/', '_');
    dcmfixtures::writeSeries(folder(path), v, width, height, slices);
    return path;
  }
  std::string writeStack(const std::string& path) {
    // Spacings 2.5 and 4 mm: no volume, a series of separate images.
    dcmfixtures::writeSeries(folder(path), *dcmfixtures::findVariant("ct_ffs_irregular"), 64, 48, 3);
    return path;
  }
  std::string writePhases(const std::string& path, int phases, int slices) {
    dcmfixtures::Pet4d p;
    p.width = p.height = 32;
    p.phases = phases;
    p.slices = slices;
    dcmfixtures::write4dPet(folder(path), p);
    return path;
  }

  // Builds the scene as the study browser does and pushes it.
  imageViewerPC* push(const std::string& seriesText, const std::string& protocol = "") {
    Scene* s = imageViewerPC::createScene(seriesText);
    auto* screen = dynamic_cast<imageViewerPC*>(s->getChildByName("imageViewPC"));
    if (!screen) return nullptr;
    if (!protocol.empty()) screen->setProtocol(protocol);
    loaded = 0;
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        this, screen, [this](Ref*, unsigned int, NSUI::NSNotificationData*) { ++loaded; }, NOTIFY_SERIES_LOADED);
    director()->pushScene(s);
    return screen;
  }
  // Frames until the job's 2000 was handled and the queues are empty.
  bool waitLoaded() {
    const bool ok = stepUntil([this] { return loaded > 0; }, 120);
    fwtest::settleNotifications([this] { step(); });
    return ok;
  }
  // Frames until every reader of the screen has all its pixels and their
  // completion was handled.
  bool waitComplete(imageViewerPC* screen) {
    const bool ok = stepUntil([screen] { return !screen->loadPending; }, 120);
    fwtest::settleNotifications([this] { step(); });
    return ok;
  }
  void pop() {
    NSUI::NSNotificationCenter::getInstance()->removeObserver(NOTIFY_SERIES_LOADED, this);
    director()->popScene();
    step(3);
  }
  static bool registered(const std::string& name) {
    return isSharedObjects::getInstance()->getObjectByName(name) != nullptr;
  }
  int statCount(int event) {
    NSUI::NSDBUtil db;
    if (!db.open(std::string(dir) + "/w/kq/stat/statDB")) return -1;
    NSUI::NSDBDataModel rows;
    if (!db.getRecord("select count(*) from stat where type=" + std::to_string(event + 30000), &rows)) return -1;
    return std::atoi(rows.getValue(0, 0).c_str());
  }
  static std::string phaseTitle(imageViewerPC* s) {
    auto* b = dynamic_cast<ui::Button*>(s->getChildByNameDeep("btn4DMenu"));
    return b ? b->getTitleText() : "";
  }
  static bool stripShown(imageViewerPC* s) {
    Node* strip = s->getChildByNameDeep("4DPlayUI");
    return strip && strip->isVisible();
  }

  dataService* service = nullptr;
  statApplication* stat = nullptr;
  std::string root;
  int loaded = 0;
  int completions = 0;
  std::vector<std::string> toasts;
};

TEST_F(ViewerScreenWindow, SeriesTextGivesTheSeriesList) {
  struct Case {
    std::string text;
    std::vector<std::string> paths;
  };
  const Case cases[] = {
      {seriesJson({"p1/s1/a", "p1/s1/b"}), {"p1/s1/a", "p1/s1/b"}},
      {"{\"num\":\"0\"}", {}},
      {"{\"num\":\"2\",\"series1\":\"a\"}", {"a", ""}},
      {"", {""}},
      {"p1/s1/c", {"p1/s1/c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Scene* s = imageViewerPC::createScene(c.text);
    auto* screen = dynamic_cast<imageViewerPC*>(s->getChildByName("imageViewPC"));
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->seriesPaths, c.paths);
    EXPECT_EQ(screen->seriesCount, static_cast<int>(c.paths.size()));
  }

  // No series at all: the job reports success at once and the screen stays
  // empty, without a message.
  imageViewerPC* screen = push("{\"num\":\"0\"}");
  ASSERT_NE(screen, nullptr);
  ASSERT_TRUE(waitLoaded());
  EXPECT_EQ(NSUI::NSActivity::getInstance(), nullptr);
  EXPECT_EQ(screen->viewerMulti, nullptr);
  EXPECT_EQ(screen->getChildByName("imageViewerMsg"), nullptr);
  EXPECT_TRUE(toasts.empty());
}

// Each case twice: first with no cache files (the viewers are built before
// the pixels arrive and completed at 9112), then with the ".prebin" and
// ".raw" the first visit left (the pixels are there at 2000). Both visits
// give the same screen.
TEST_F(ViewerScreenWindow, ColdAndWarmCacheGiveTheSameScreen) {
  struct Case {
    std::string name;
    std::vector<std::string> paths;
    std::string protocol;
    int layoutId;       // the screen's
    int managerLayout;  // what the manager shows
    bool is4D;
    bool strip;
    int page;  // tool page kind; -1: by the focused cell, checked cold against warm
  };
  const std::string ct = writeVolume("p1/st/ct", 20);
  const std::string ct2 = writeVolume("p1/st/ct2", 20);
  const std::string stack = writeStack("p1/st/stack");
  const std::string pt = writePhases("p1/st/pt", 2, 20);
  const Case cases[] = {
      {"volume", {ct}, "", 4, 4, false, false, imageViewerPC::TOOL_PAGE_3D},
      {"stack", {stack}, "", 1, 6, false, false, imageViewerPC::TOOL_PAGE_2D},
      {"4-D volume", {pt}, "", 4, 4, true, true, imageViewerPC::TOOL_PAGE_3D},
      {"volume in 2dslice", {ct}, "2dslice", 6, 6, false, false, imageViewerPC::TOOL_PAGE_3D},
      {"stack in 2dslice", {stack}, "2dslice", 6, 6, false, false, imageViewerPC::TOOL_PAGE_2D},
      {"two volumes in compare4d", {ct, ct2}, "compare4d", 8, 8, true, false, -1},
  };
  for (const Case& c : cases) {
    int coldPage = -2;
    for (const bool warm : {false, true}) {
      SCOPED_TRACE(c.name + (warm ? ", warm" : ", cold"));
      if (!warm)
        for (const std::string& p : c.paths) folder(p);
      for (const std::string& p : c.paths) {
        const std::string cache = isImageSDK::isDcmScan::getCacheFileName(root + p + "/");
        EXPECT_EQ(!cache.empty() && fs::exists(isImageSDK::rawPathForCache(cache)), warm) << p;
      }
      imageViewerPC* screen = push(c.paths.size() == 1 ? c.paths[0] : seriesJson(c.paths), c.protocol);
      ASSERT_NE(screen, nullptr);
      ASSERT_TRUE(waitLoaded());
      EXPECT_EQ(NSUI::NSActivity::getInstance(), nullptr);
      ASSERT_NE(screen->viewerMulti, nullptr);
      EXPECT_EQ(screen->viewerMulti->getParent(), screen);
      // Warm: the pixels were read with the cache. Cold: small series may
      // have arrived by then too; the pending path is the next test's.
      if (warm) {
        EXPECT_FALSE(screen->loadPending);
      }
      ASSERT_TRUE(waitComplete(screen));
      EXPECT_EQ(screen->layoutId, c.layoutId);
      EXPECT_EQ(screen->layoutManager->getLayout(), c.managerLayout);
      EXPECT_EQ(screen->is4D, c.is4D);
      EXPECT_EQ(stripShown(screen), c.strip);
      if (c.page >= 0) {
        EXPECT_EQ(screen->toolPageKind, c.page);
      }
      if (warm) {
        EXPECT_EQ(screen->toolPageKind, coldPage);
      }
      coldPage = screen->toolPageKind;
      EXPECT_GT(screen->viewerMulti->getCellCount(), 0);
      EXPECT_TRUE(toasts.empty());
      // The multi-view fills the viewer area.
      const Rect area = screen->viewerArea();
      EXPECT_EQ(area, Rect(300, 0, kWidth - 300, kHeight - 60));
      EXPECT_EQ(screen->viewerMulti->getPosition(), area.origin);
      EXPECT_EQ(screen->viewerMulti->getContentSize(), area.size);
      pop();
      for (const std::string& p : c.paths) EXPECT_FALSE(registered(p)) << p;
    }
  }
}

TEST_F(ViewerScreenWindow, RefusedSeries) {
  const int maxTexture = Configuration::getInstance()->getMaxTextureSize();
  ASSERT_GT(maxTexture, 0);
  struct Case {
    std::string name;
    std::string path;
    std::string panel;  // "" for none
    std::string toast;  // "" for none
  };
  dcmfixtures::Variant wide = *dcmfixtures::findVariant("ct_s16");
  wide.name = "ct_wide";
  dcmfixtures::writeSeries(folder("p2/st/wide"), wide, maxTexture, 2, 1);
  dcmfixtures::Variant narrower = wide;
  narrower.name = "ct_narrower";
  dcmfixtures::writeSeries(folder("p2/st/narrower"), narrower, maxTexture - 1, 2, 1);
  const Case cases[] = {
      {"as wide as the largest texture", "p2/st/wide", NSUI::getLocalizedString("noSupportSize"), ""},
      {"one column narrower", "p2/st/narrower", "", ""},
      {"no such folder", "p2/st/missing", "", NSUI::getLocalizedString("failed_loadSeries")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    toasts.clear();
    imageViewerPC* screen = push(c.path);
    ASSERT_NE(screen, nullptr);
    ASSERT_TRUE(waitLoaded());
    EXPECT_EQ(NSUI::NSActivity::getInstance(), nullptr);
    Node* panel = screen->getChildByName("imageViewerMsg");
    if (c.panel.empty()) {
      EXPECT_TRUE(!panel || !panel->isVisible());
    } else {
      ASSERT_NE(panel, nullptr);
      EXPECT_TRUE(panel->isVisible());
      auto* intro = dynamic_cast<ui::Text*>(panel->getChildByNameDeep("intro"));
      ASSERT_NE(intro, nullptr);
      EXPECT_EQ(intro->getString(), c.panel);
      // Refused: nothing registered, nothing shown.
      EXPECT_TRUE(screen->seriesPaths.empty());
      EXPECT_FALSE(registered(c.path));
      EXPECT_EQ(screen->viewerMulti, nullptr);
    }
    if (c.toast.empty()) {
      EXPECT_TRUE(toasts.empty()) << toasts.front();
    } else {
      EXPECT_EQ(toasts, std::vector<std::string>{c.toast});
      EXPECT_EQ(screen->viewerMulti, nullptr);
    }
    if (c.panel.empty() && c.toast.empty()) {
      EXPECT_NE(screen->viewerMulti, nullptr);
    }
    if (c.panel == NSUI::getLocalizedString("noSupportSize")) {
      Image img;
      capture("viewer_screen_no_support", img);
    }
    pop();
  }
}

// While the screen still waits for its own pixels, a 9112 of another
// screen's reader changes nothing; its own completes the screen.
TEST_F(ViewerScreenWindow, ForeignCompletionChangesNothing) {
  // Compressed and large enough that its pixels take a while to decode.
  dcmfixtures::Variant v = *dcmfixtures::findVariant("ct_jpll");
  dcmfixtures::writeSeries(folder("p3/st/ct"), v, 512, 512, 200);
  imageViewerPC* screen = push("p3/st/ct");
  ASSERT_NE(screen, nullptr);
  // The reader's loading thread is held at its next slice as soon as it has
  // loaded its first one (the reader's update has queued every slice and
  // takes the lock no more), so the pixels cannot all arrive before the
  // screen is built, however slow the frames are.
  std::unique_lock<std::recursive_mutex> hold;
  isImageSDK::isBinReader* reader = nullptr;
  ASSERT_TRUE(stepUntil(
      [&] {
        reader = dynamic_cast<isImageSDK::isBinReader*>(isSharedObjects::getInstance()->getObjectByName("p3/st/ct"));
        if (reader && reader->getLoadedCount() > 0) hold = std::unique_lock<std::recursive_mutex>(reader->dataMutex, std::try_to_lock);
        return hold.owns_lock();
      },
      600));
  ASSERT_TRUE(stepUntil([screen] { return screen->viewerMulti != nullptr; }, 600));
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(hold.owns_lock());
  {
    ASSERT_TRUE(screen->loadPending) << "the pixels arrived before the screen was built";
    ASSERT_FALSE(reader->isLoadComplete());
    EXPECT_EQ(screen->layoutManager->getLayout(), 1);  // a single view until the pixels are in
    Node* other = Node::create();
    const int before = completions;
    NSUI::NSNotificationCenter::getInstance()->postNotification(other, NOTIFY_4D_LOADED, nullptr, nullptr, false);
    ASSERT_TRUE(stepUntil([&] { return completions > before; }, 10));
    step(3);
    EXPECT_TRUE(screen->loadPending);
    EXPECT_EQ(screen->layoutId, 0);
    EXPECT_EQ(screen->layoutManager->getLayout(), 1);
  }
  hold.unlock();
  ASSERT_TRUE(waitComplete(screen));
  EXPECT_EQ(screen->layoutId, 4);
  EXPECT_EQ(screen->layoutManager->getLayout(), 4);
  EXPECT_EQ(screen->imageCount, 200);
}

TEST_F(ViewerScreenWindow, PhasesStepAndPick) {
  const std::string pt = writePhases("p4/st/pt", 3, 12);
  imageViewerPC* screen = push(pt);
  ASSERT_NE(screen, nullptr);
  ASSERT_TRUE(waitLoaded());
  ASSERT_TRUE(waitComplete(screen));
  ASSERT_TRUE(screen->is4D);
  ASSERT_TRUE(stripShown(screen));
  isImageSDK::appManager* m = screen->layoutManager;

  struct Step {
    std::string action;  // a strip button, or "pick <value>" from the phase menu
    int phase;
    std::string title;
  };
  const Step steps[] = {
      {"btn4DPrior", 0, "Phase 1"},  // nothing before the first phase
      {"btn4DNext", 1, "Phase 2"},
      {"pick 2", 2, "Phase 3"},      // the third item
      {"btn4DNext", 2, "Phase 3"},   // nothing after the last phase
      {"btn4DPrior", 1, "Phase 2"},
      {"pick 0", 0, "Phase 1"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.action);
    if (s.action.rfind("pick ", 0) == 0) {
      // What a row of the phase menu posts.
      Node* menu = screen->getChildByNameDeep("phaseMenu");
      ASSERT_NE(menu, nullptr);
      NSUI::NSNotificationCenter::getInstance()->postNotificationText(menu, NOTIFY_PHASE_SELECT, s.action.substr(5),
                                                                      screen, true);
      step(2);
    } else {
      ScreenAccess::stripButton(screen, s.action);
    }
    EXPECT_EQ(m->getPhaseIndex(), s.phase);
    EXPECT_EQ(phaseTitle(screen), s.title);
    if (s.action == "btn4DNext" && s.phase == 1) {
      // The menu: shown by its button, one row per phase, its top-right
      // corner at the button.
      ScreenAccess::stripButton(screen, "btn4DMenu");
      auto* menu = dynamic_cast<NSUI::NSMenu*>(screen->getChildByNameDeep("phaseMenu"));
      ASSERT_NE(menu, nullptr);
      EXPECT_TRUE(menu->isVisible());
      ASSERT_NE(menu->listView, nullptr);
      EXPECT_EQ(menu->listView->getContentSize().height, 3 * menu->rowHeight);
      Node* button = screen->getChildByNameDeep("btn4DMenu");
      const Vec2 at = button->getParent()->convertToWorldSpace(button->getPosition());
      EXPECT_FLOAT_EQ(menu->getPositionX() + menu->listView->getContentSize().width, at.x);
      step(3);
      Image img;
      capture("viewer_screen_phase_menu", img);
      screen->showPhaseMenu(false);
      EXPECT_FALSE(menu->isVisible());
    }
  }
  // A protocol pick: the strip goes for compare4d and comes back for others.
  for (const auto& [name, shown] : {std::pair<std::string, bool>{"compare4d", false}, {"mpr3d", true}}) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(m, NOTIFY_PROTOCOL_SELECT, name, screen, false);
    fwtest::settleNotifications([this] { step(); });
    EXPECT_EQ(stripShown(screen), shown) << name;
  }
}

// compare4d with series that do not form a frame set: the toast and the
// two series side by side, with the pixels cached or arriving later.
TEST_F(ViewerScreenWindow, Compare4DWithUnequalVolumes) {
  const std::string a = writeVolume("p5/st/a", 20);
  const std::string b = writeVolume("p5/st/b", 19);
  for (const bool warm : {false, true}) {
    SCOPED_TRACE(warm ? "warm" : "cold");
    toasts.clear();
    imageViewerPC* screen = push(seriesJson({a, b}), "compare4d");
    ASSERT_NE(screen, nullptr);
    ASSERT_TRUE(waitLoaded());
    ASSERT_TRUE(waitComplete(screen));
    EXPECT_EQ(toasts, std::vector<std::string>{"Not 4D Volume"});
    ASSERT_NE(screen->viewerMulti, nullptr);
    std::vector<Rect> rects;
    for (auto& entry : screen->viewerMulti->cells)
      for (isImageSDK::KeyViewProperty* cell : entry.second)
        rects.push_back(dynamic_cast<Node*>(cell->getViewer())->getBoundingBox());
    ASSERT_EQ(rects.size(), 2u);
    std::sort(rects.begin(), rects.end(), [](const Rect& l, const Rect& r) { return l.getMinX() < r.getMinX(); });
    EXPECT_EQ(rects[0].getMinY(), rects[1].getMinY());
    EXPECT_LE(rects[0].getMaxX(), rects[1].getMinX());
    EXPECT_EQ(screen->seriesCount, 2);
    EXPECT_FALSE(screen->is4D);
    if (warm) {
      Image img;
      capture("viewer_screen_compare4d_refused", img);
    }
    pop();
  }
}

// The return key (or the back button) while the job still runs: the job
// registers nothing more, leaves nothing registered and posts nothing.
TEST_F(ViewerScreenWindow, PoppedWhileLoading) {
  // Many small files: the scan lasts long after the pop, also on a loaded
  // machine, so the "while scanning" cases are what they say.
  dcmfixtures::CtPhantom p;
  p.width = p.height = 32;
  p.slices = 2000;
  const std::string path = "p6/st/ct";
  dcmfixtures::writeCtPhantom(folder(path), p);
  struct Case {
    std::string name;
    bool waitForReader;  // pop once the reader is registered, else at once
    bool escape;         // the return key, else a pop as the back button's
  };
  for (const Case& c : {Case{"Escape while scanning", false, true}, Case{"back while scanning", false, false},
                        Case{"back while reading", true, false}}) {
    SCOPED_TRACE(c.name);
    folder(path);
    const int leftBefore = statCount(8);
    imageViewerPC* screen = push(path);
    ASSERT_NE(screen, nullptr);
    step(1);
    std::shared_ptr<imageViewerPC::LoadJobState> job = ScreenAccess::job(screen);
    ASSERT_NE(job, nullptr);
    if (c.waitForReader) {
      ASSERT_TRUE(stepUntil([&] { return registered(path); }, 120));
    } else {
      std::lock_guard<std::mutex> hold(job->lock);
      ASSERT_TRUE(job->registered.empty()) << "the scan ended before the screen went";
    }
    // The screen is watched after it is gone: its 2000 would arrive here.
    int late = 0;
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        &late, screen, [&late](Ref*, unsigned int, NSUI::NSNotificationData*) { ++late; }, NOTIFY_SERIES_LOADED);
    if (c.escape) {
      // Over the busy overlay.
      NSUI::NSNotificationCenter::getInstance()->removeObserver(NOTIFY_SERIES_LOADED, this);
      ASSERT_NE(NSUI::NSActivity::getInstance(), nullptr);
      input().key(SDLK_ESCAPE);
      step(3);
      EXPECT_EQ(director()->getSceneStackSize(), 1u);
    } else {
      pop();
    }
    EXPECT_TRUE(job->gone);
    // The job ends on its own; then nothing of it is left.
    ASSERT_TRUE(stepUntil([&] { return job.use_count() == 1; }, 120));
    fwtest::settleNotifications([this] { step(); });
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&late);
    EXPECT_FALSE(registered(path));
    EXPECT_TRUE(job->registered.empty());
    if (!c.waitForReader) {
      EXPECT_EQ(late, 0);
    }
    EXPECT_EQ(NSUI::NSActivity::getInstance(), nullptr);
    // Left: onExit, cleanup and the destructor each record it.
    EXPECT_EQ(statCount(8) - leftBefore, 3);
  }
}

TEST_F(ViewerScreenWindow, Screenshots) {
  dcmfixtures::CtPhantom p;
  p.width = p.height = 128;
  p.slices = 64;
  p.spacingX = p.spacingY = 2.0;
  p.sliceSpacing = 2.0;
  dcmfixtures::writeCtPhantom(folder("p7/st/ct"), p);
  const std::string pt = writePhases("p7/st/pt", 3, 20);

  imageViewerPC* screen = push("p7/st/ct");
  ASSERT_NE(screen, nullptr);
  step(2);
  Image busy;
  capture("viewer_screen_loading", busy);
  ASSERT_TRUE(waitLoaded());
  ASSERT_TRUE(waitComplete(screen));
  EXPECT_EQ(screen->layoutManager->getLayout(), 4);
  step(10);
  Image mpr;
  capture("viewer_screen_ct_mpr", mpr);
  pop();

  screen = push(pt);
  ASSERT_NE(screen, nullptr);
  ASSERT_TRUE(waitLoaded());
  ASSERT_TRUE(waitComplete(screen));
  ASSERT_TRUE(stripShown(screen));
  ScreenAccess::stripButton(screen, "btn4DNext");
  fwtest::settleNotifications([this] { step(); });
  Image strip;
  capture("viewer_screen_4d_strip", strip);
  pop();
}

}  // namespace

int main(int argc, char** argv) {
  screentest::startScreenUnlessListing(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
