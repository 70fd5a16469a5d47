// The viewer screen's tools on a headless engine: the button table with the
// play state off and on, a click that only closes an open menu, the frame
// hook's one slider change per frame, the slider, the six menus and their
// placement, the window presets, the protocol button, the quick tool bar,
// the window editor and the tag viewer hosting. The screen is put together
// by hand (tests/support/viewer_screen.h) around a multi-view that records
// the commands and notifications the screen sends it.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/browse/favoriteList.h"
#include "app/viewer/dcmInfoList.h"
#include "app/viewer/editWW.h"
#include "app/viewer/imageViewerPC.h"
#include "app/viewer/quickTool.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/ui/Button.h"
#include "engine/ui/Scale9Sprite.h"
#include "engine/ui/Slider.h"
#include "imaging/core/ProtocalList.h"
#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerImage.h"
#include "support/viewer_screen.h"
#include "tests/imaging/viewers/viewer_support.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSMenu.h"
#include "toolkit/widgets/UIScrollViewBase.h"
#include "tools/dcmfixtures/phantoms.h"
#include "support/headless_screen.h"

USING_NS_CC;
using fwtest::RecordingMulti;
using fwtest::ScreenProbe;

namespace {

namespace fs = std::filesystem;
using EventType = ui::Slider::EventType;

constexpr float kWidth = 1280;
constexpr float kHeight = 800;

// One headless 1280 x 800 engine with the build's resources and the English
// texts; a base scene with the viewer screen's scene pushed over it, the
// screen holding a recording multi-view of the cells a test asks for.
class ViewerTools : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LC_ALL", "C", 1);
    dir = (fs::temp_directory_path() / ("fw-viewer-tools-" + std::to_string(getpid()))).string();
    fs::create_directories(dir + "/w");
    base = fwtest::startHeadlessScreen(dir + "/w/", Size(kWidth, kHeight), {"res/pad", "imageSDK", "UIRes"});
    scene = Scene::create();
    Director::getInstance()->pushScene(scene);
    NSUI::NSNotificationCenter::getInstance();
    // The centre's first tick comes half a second after it is made.
    step(40);
    screen = ScreenProbe::make(scene, Size(kWidth, kHeight));
    ASSERT_NE(screen, nullptr);
    if (!screen->layoutManager) {
      manager = isImageSDK::appManager::create();
      manager->retain();
      screen->layoutManager = manager;
    }
    multi = RecordingMulti::create();
    ASSERT_NE(multi, nullptr);
  }

  void TearDown() override {
    if (screen && screen->layoutManager == manager) screen->layoutManager = nullptr;
    for (isImageSDK::isImageData* image : images) image->release();
    images.clear();
    if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAll();
    Director::getInstance()->end();
    Director::destroyInstance();
    if (manager) manager->release();
    NSUI::setLocalizedStringTable(nullptr);
    fs::remove_all(dir);
  }

  void step(int frames = 1) {
    for (int i = 0; i < frames; ++i) Director::getInstance()->stepFrame(1.0f / 60);
  }

  // A CT volume of `slices` slices of 32 x 32 (window 400 / 40).
  isImageSDK::isImageData* ctVolume(int slices) {
    images.push_back(viewertest::makePhantom(32, 32, slices));
    return images.back();
  }
  // `count` separate MR images.
  isImageSDK::isImageData* mrImages(int count) {
    std::vector<viewertest::LooseSlice> list(count);
    for (int i = 0; i < count; ++i) {
      list[i].modality = isImageSDK::MODALITY_MR;
      list[i].matrix.m[14] = static_cast<float>(i * 7);
    }
    images.push_back(viewertest::makeLooseSlices(list));
    return images.back();
  }

  // Cells side by side over the viewer area, each (kind, data); the first
  // takes the focus.
  void showCells(const std::vector<std::pair<int, isImageSDK::isImageData*>>& cells) {
    fwtest::attachMulti(screen, multi);
    const Size area = screen->viewerArea().size;
    const float w = area.width / static_cast<float>(cells.size());
    for (size_t i = 0; i < cells.size(); ++i)
      multi->addView(cells[i].first, true, Rect(w * i, 0, w, area.height), cells[i].second);
    step(2);
    multi->calls.clear();
  }

  // Focus to the cell `i` (map order), as a click into it asks for.
  void focusCell(size_t i) {
    std::vector<isImageSDK::KeyViewProperty*> all;
    for (auto& entry : multi->cells)
      for (isImageSDK::KeyViewProperty* c : entry.second) all.push_back(c);
    ASSERT_LT(i, all.size());
    multi->isViewerMulti::handleNotification(NOTIFY_FOCUS_REQUEST, nullptr,
                                             dynamic_cast<Ref*>(all[i]->getViewer()));
  }

  // A page or screen button by name; a free-standing one of that name when
  // the screen has none (its table acts on the name alone).
  ui::Button* button(const std::string& name) {
    if (auto* b = dynamic_cast<ui::Button*>(screen->getChildByNameDeep(name))) return b;
    auto* b = ui::Button::create();
    b->setName(name);
    loose.pushBack(b);
    return b;
  }
  void click(const std::string& name) { screen->onButtonClicked(button(name)); }

  ui::Slider* slider() {
    return screen->toolPanel
               ? dynamic_cast<ui::Slider*>(screen->toolPanel->getInnerContainer()->getChildByNameDeep("sliderSlice"))
               : nullptr;
  }
  // The slider moved to `percent` by a drag: the change event.
  void slideTo(int percent) {
    slider()->setPercent(percent);
    screen->onSliceSlider(slider(), static_cast<int>(EventType::ON_PERCENTAGE_CHANGED));
  }
  void sliderEvent(EventType type) { screen->onSliceSlider(slider(), static_cast<int>(type)); }

  void setPlaying(bool playing) {
    auto* data = new NSUI::NSNotificationData();
    data->intValue = playing ? 1 : 0;
    screen->onPlayState(data);
    data->release();
  }

  NSUI::NSMenu* menu(const std::string& name) {
    return dynamic_cast<NSUI::NSMenu*>(screen->getChildByNameDeep(name));
  }
  void hideMenus() {
    screen->showWindowLevelMenu(false);
    screen->showClutMenu(false);
    screen->showOpacityMenu(false);
    screen->showDicomMenu(false);
    screen->showCaptureMenu(false);
    screen->showProtocolMenu(false);
  }
  bool anyMenuVisible() {
    for (const char* name :
         {"windowLevelMenu", "clutMenu", "opacityMenu", "dcmMenu", "captureMenu", "protocalMenu", "phaseMenu"})
      if (Node* m = screen->getChildByNameDeep(name); m && m->isVisible()) return true;
    return false;
  }
  int slice() {
    int info[2] = {-1, -1};
    multi->getFocusedSliceInfo(info);
    return info[0];
  }
  // The slice shown by the focused cell set directly (not recorded).
  void showSlice(int index) {
    auto* data = new NSUI::NSNotificationData();
    data->intValue = index;
    multi->isViewerMulti::handleNotification(NOTIFY_SET_SLICE_INDEX, data, nullptr);
    data->release();
  }

  std::string dir;
  Scene* base = nullptr;
  Scene* scene = nullptr;
  ScreenProbe* screen = nullptr;
  RecordingMulti* multi = nullptr;
  isImageSDK::appManager* manager = nullptr;  // retained; only when the screen had none
  std::vector<isImageSDK::isImageData*> images;  // retained
  Vector<ui::Button*> loose;
};

// ------------------------------------------------------------------ observers

TEST_F(ViewerTools, ObservesItsNotificationsFromTheirSources) {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  struct Case {
    int id;
    bool fromScreen;  // else posts without object
  };
  for (const Case c : {Case{NOTIFY_SERIES_LOADED, true}, Case{NOTIFY_WINDOW_APPLY, false},
                       Case{NOTIFY_TOOLS_RELAYOUT, false}, Case{NOTIFY_DICOM_META_INFO, true},
                       Case{NOTIFY_4D_LOADED, false}, Case{NOTIFY_CAPTURE_SAVED, false},
                       Case{NOTIFY_QUICK_TOOL_SHOW, false}, Case{NOTIFY_VIEW_GEOMETRY, false},
                       Case{NOTIFY_VIEWER_CLEANUP, false}, Case{NOTIFY_SHOW_DICOM_MENU, false},
                       Case{NOTIFY_QUICK_FAVOURITE, false}, Case{NOTIFY_FAVOURITE_SAVE, false},
                       Case{NOTIFY_FAVOURITE_SAVED, false}, Case{NOTIFY_CAPTURE_CURRENT_VIEW, true},
                       Case{NOTIFY_CAPTURE_ALL_IMAGES, true}, Case{NOTIFY_CAPTURE_WHOLE_SCREEN, true},
                       Case{NOTIFY_FOCUS_REQUEST, true}, Case{NOTIFY_PHASE_SELECT, true},
                       Case{NOTIFY_PROTOCOL_SELECT, true}}) {
    SCOPED_TRACE(c.id);
    EXPECT_TRUE(nc->hasObserver(c.id, c.fromScreen ? screen : nullptr, screen));
    EXPECT_FALSE(nc->hasObserver(c.id, c.fromScreen ? nullptr : screen, screen));
  }
  // The top bar's buttons, bound and raised.
  for (const char* name : {"goBack", "btnCmdToolbox", "btnCmdFavorite"}) {
    SCOPED_TRACE(name);
    Node* b = screen->getChildByNameDeep(name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->getLocalZOrder(), 1000);
  }
  EXPECT_FLOAT_EQ(screen->getChildByNameDeep("btnCmdFavorite")->getScale(), 0.7f);
}

// ------------------------------------------------------------------ buttons

enum class Expect { Command, CommandInt, Post, Menu, Nothing };

struct ButtonCase {
  const char* name;
  bool playing;
  Expect expect;
  unsigned int id;  // command or post; for a menu, none
  int value;        // CommandInt's value
  const char* menu;
};

std::vector<ButtonCase> buttonCases() {
  std::vector<ButtonCase> rows;
  auto both = [&rows](const char* name, Expect e, unsigned id, int value, const char* menu, bool blockedWhilePlaying) {
    rows.push_back({name, false, e, id, value, menu});
    if (blockedWhilePlaying)
      rows.push_back({name, true, Expect::Nothing, 0, 0, nullptr});
    else
      rows.push_back({name, true, e, id, value, menu});
  };
  const char* ori[] = {"btnCmdOriS", "btnCmdOriI", "btnCmdOriA", "btnCmdOriP", "btnCmdOriR", "btnCmdOriL"};
  for (int i = 0; i < 6; ++i) both(ori[i], Expect::CommandInt, NOTIFY_VR_ORIENTATION, i + 1, nullptr, true);
  both("btnTile1x1", Expect::Post, NOTIFY_LAYOUT_1X1, 0, nullptr, true);
  both("btnTile1x2", Expect::Post, NOTIFY_LAYOUT_1X2, 0, nullptr, true);
  both("btnTile2x1", Expect::Post, NOTIFY_LAYOUT_2X1, 0, nullptr, true);
  both("btnTile2x2", Expect::Post, NOTIFY_LAYOUT_2X2, 0, nullptr, true);
  both("btnViewAxial", Expect::Post, NOTIFY_VIEW_TYPE_AXIAL, 0, nullptr, true);
  both("btnViewSagittal", Expect::Post, NOTIFY_VIEW_TYPE_SAGITTAL, 0, nullptr, true);
  both("btnViewCoronal", Expect::Post, NOTIFY_VIEW_TYPE_CORONAL, 0, nullptr, true);
  both("btnViewVR", Expect::Post, NOTIFY_VIEW_TYPE_VR, 0, nullptr, true);
  both("btnCmdAngle", Expect::Post, NOTIFY_ROI_ANGLE, 0, nullptr, true);
  both("btnCmdPolygon", Expect::Post, NOTIFY_ROI_POLYGON, 0, nullptr, true);
  both("btnCmdPoint", Expect::Post, NOTIFY_ROI_POINT, 0, nullptr, true);
  both("btnCmdCircle", Expect::Post, NOTIFY_ROI_CIRCLE, 0, nullptr, true);
  both("btnCmdLine", Expect::Post, NOTIFY_ROI_LINE, 0, nullptr, true);
  both("btnCmdSelection", Expect::Command, NOTIFY_TOOL_SELECT, 0, nullptr, true);
  both("btnCmdMove", Expect::Command, NOTIFY_TOOL_MOVE, 0, nullptr, false);
  both("btnCmdZoom", Expect::Command, NOTIFY_TOOL_ZOOM, 0, nullptr, false);
  both("btnCmdCapture", Expect::Menu, 0, 0, "captureMenu", true);
  both("btnCmdRemoveROI", Expect::Command, NOTIFY_ROI_REMOVE, 0, nullptr, true);
  both("btnCmdRotate", Expect::Command, NOTIFY_TOOL_ROTATE, 0, nullptr, false);
  both("btnCmdPlay", Expect::Command, NOTIFY_PLAY_TOGGLE, 0, nullptr, false);
  both("btnCmdPrior", Expect::Command, NOTIFY_PLAY_PRIOR, 0, nullptr, false);
  both("btnCmdNext", Expect::Command, NOTIFY_PLAY_NEXT, 0, nullptr, false);
  both("btnCmdWL", Expect::Menu, 0, 0, "windowLevelMenu", false);
  both("btnCmdClut", Expect::Menu, 0, 0, "clutMenu", false);
  both("btnCmdWLOpaticy", Expect::Menu, 0, 0, "opacityMenu", false);
  both("btnCmdProtocal", Expect::Menu, 0, 0, "protocalMenu", false);
  both("btnCmdProtocalArrow", Expect::Menu, 0, 0, "protocalMenu", false);
  both("btnCmdToolbox", Expect::Nothing, 0, 0, nullptr, false);
  return rows;
}

TEST_F(ViewerTools, ButtonTableWithThePlayStateOffAndOn) {
  showCells({{0, ctVolume(20)}});
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  const std::vector<ButtonCase> cases = buttonCases();
  // What the cells raise meanwhile is not the buttons' doing: only the
  // table's ids count.
  std::set<unsigned int> tableIds;
  for (const ButtonCase& c : cases)
    if (c.id) tableIds.insert(c.id);
  auto fromTable = [&] {
    std::vector<RecordingMulti::Call> out;
    for (const RecordingMulti::Call& call : multi->calls)
      if (tableIds.count(call.id)) out.push_back(call);
    return out;
  };
  for (const ButtonCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.playing ? " while playing" : ""));
    hideMenus();
    setPlaying(c.playing);
    ASSERT_EQ(screen->isPlaying(), c.playing);
    step(2);
    multi->calls.clear();

    click(c.name);
    const std::vector<RecordingMulti::Call> direct = fromTable();
    // Posts are delivered by the centre's tick, serial ones one a tick.
    step(3);
    const std::vector<RecordingMulti::Call> all = fromTable();

    switch (c.expect) {
      case Expect::Command:
      case Expect::CommandInt:
        ASSERT_EQ(direct.size(), 1u);
        EXPECT_EQ(direct[0].id, c.id);
        EXPECT_FALSE(direct[0].posted);
        if (c.expect == Expect::CommandInt) {
          EXPECT_EQ(direct[0].intValue, c.value);
        }
        EXPECT_EQ(all.size(), 1u);
        break;
      case Expect::Post:
        EXPECT_TRUE(direct.empty());
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].id, c.id);
        EXPECT_TRUE(all[0].posted);
        EXPECT_EQ(all[0].sender, static_cast<Ref*>(screen));
        break;
      case Expect::Menu: {
        EXPECT_TRUE(all.empty());
        NSUI::NSMenu* m = menu(c.menu);
        ASSERT_NE(m, nullptr);
        EXPECT_TRUE(m->isVisible());
        break;
      }
      case Expect::Nothing:
        EXPECT_TRUE(all.empty());
        EXPECT_FALSE(anyMenuVisible());
        break;
    }
  }
}

TEST_F(ViewerTools, PlayStateFollowsTheNotification) {
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  auto* play = dynamic_cast<ui::Button*>(screen->getChildByNameDeep("btnCmdPlay"));
  ASSERT_NE(play, nullptr);
  EXPECT_EQ(play->getTag(), 2002);
  auto* cache = Director::getInstance()->getTextureCache();
  auto shown = [play] { return static_cast<ui::Scale9Sprite*>(play->getVirtualRenderer())->getTexture(); };
  setPlaying(true);
  EXPECT_EQ(play->getTag(), 2001);
  EXPECT_EQ(shown(), cache->addImage("imgs/pause.png"));
  setPlaying(false);
  EXPECT_EQ(play->getTag(), 2002);
  EXPECT_EQ(shown(), cache->addImage("imgs/play.png"));
}

TEST_F(ViewerTools, AClickWithAMenuOpenOnlyClosesIt) {
  showCells({{0, ctVolume(20)}});
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  // The 4-D strip's phase menu stands here as a plain node of its name.
  auto* phase = Node::create();
  phase->setName("phaseMenu");
  phase->setVisible(false);
  screen->addChild(phase);
  struct Open {
    const char* name;
    std::function<void()> show;
  };
  const std::vector<Open> menus = {
      {"windowLevelMenu", [this] { screen->showWindowLevelMenu(true); }},
      {"clutMenu", [this] { screen->showClutMenu(true); }},
      {"opacityMenu", [this] { screen->showOpacityMenu(true); }},
      {"dcmMenu", [this] { screen->showDicomMenu(true); }},
      {"captureMenu", [this] { screen->showCaptureMenu(true); }},
      {"protocalMenu", [this] { screen->showProtocolMenu(true); }},
      {"phaseMenu", [phase] { phase->setVisible(true); }},
  };
  for (const Open& m : menus) {
    SCOPED_TRACE(m.name);
    m.show();
    Node* node = screen->getChildByNameDeep(m.name);
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(node->isVisible());
    multi->calls.clear();
    click("btnCmdZoom");
    EXPECT_FALSE(node->isVisible());
    EXPECT_TRUE(multi->callsOf(NOTIFY_TOOL_ZOOM).empty());
    click("btnCmdZoom");
    EXPECT_EQ(multi->callsOf(NOTIFY_TOOL_ZOOM).size(), 1u);
  }
}

TEST_F(ViewerTools, TouchHidesEveryMenuAndIsNeverClaimed) {
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  screen->showClutMenu(true);
  screen->showDicomMenu(true);
  screen->showProtocolMenu(true);
  ASSERT_TRUE(anyMenuVisible());
  Touch touch;
  touch.setTouchInfo(0, 700, 400);
  EXPECT_FALSE(screen->onTouchBegan(&touch, nullptr));
  EXPECT_FALSE(anyMenuVisible());
}

TEST_F(ViewerTools, FavouriteButtonPushesTheFavouritesAndBackButtonsPop) {
  click("btnCmdFavorite");
  step(2);
  Scene* running = Director::getInstance()->getRunningScene();
  ASSERT_NE(running, scene);
  auto* favourites = dynamic_cast<favoriteList*>(running->getChildByName("favoriteList"));
  ASSERT_NE(favourites, nullptr);
  Node* back = favourites->getChildByNameDeep("goBack");
  ASSERT_NE(back, nullptr);
  favourites->onButtonClicked(back);
  step(2);
  EXPECT_EQ(Director::getInstance()->getRunningScene(), scene);
  // The manager is the test's: the screen that goes must not take it along.
  if (screen->layoutManager == manager) screen->layoutManager = nullptr;
  click("goBack");
  step(2);
  EXPECT_EQ(Director::getInstance()->getRunningScene(), base);
  screen = nullptr;  // gone with its scene
}

// ------------------------------------------------------------------ frame hook and slider

TEST_F(ViewerTools, TwoSliderMovesInOneFrameGiveOneSliceChangeWithTheLaterIndex) {
  showCells({{0, ctVolume(40)}});
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  ASSERT_NE(slider(), nullptr);
  const int shown = slice();
  ASSERT_NE(shown, 10);
  ASSERT_NE(shown, 30);
  slideTo(25);  // slice 10
  slideTo(75);  // slice 30
  EXPECT_TRUE(multi->callsOf(NOTIFY_SET_SLICE_INDEX).empty()) << "applied by the frame, not by the slider";
  step(1);
  std::vector<RecordingMulti::Call> sent = multi->callsOf(NOTIFY_SET_SLICE_INDEX);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].intValue, 30);
  step(2);
  EXPECT_EQ(multi->callsOf(NOTIFY_SET_SLICE_INDEX).size(), 1u);

  // Away and back onto the shown slice within one frame: the image stays
  // where the slider ends.
  multi->calls.clear();
  slideTo(75);
  slideTo(static_cast<int>(std::ceil(shown * 100.0 / 40)));
  step(2);
  EXPECT_TRUE(multi->callsOf(NOTIFY_SET_SLICE_INDEX).empty());
}

TEST_F(ViewerTools, RotationsOfAtMostAThousandthAreNeverSent) {
  showCells({{isImageSDK::VIEW_KIND_VR, ctVolume(20)}});
  ASSERT_EQ(multi->getFocusedViewKind(), isImageSDK::VIEW_KIND_VR);
  struct Case {
    float pending;
    bool sent;
  };
  for (const Case c : {Case{0.001f, false}, Case{-0.001f, false}, Case{0.0f, false}, Case{0.0011f, true},
                       Case{-0.3f, true}}) {
    SCOPED_TRACE(c.pending);
    multi->calls.clear();
    screen->pendingRotation = c.pending;
    screen->pendingSliceIndex = 3;  // never applied to a volume cell
    step(2);
    const std::vector<RecordingMulti::Call> sent = multi->callsOf(NOTIFY_ROTATE_3D);
    EXPECT_TRUE(multi->callsOf(NOTIFY_SET_SLICE_INDEX).empty());
    if (c.sent) {
      ASSERT_EQ(sent.size(), 1u);
      EXPECT_FLOAT_EQ(sent[0].floatValue, c.pending);
      EXPECT_EQ(screen->pendingRotation, 0.0f);
    } else {
      EXPECT_TRUE(sent.empty());
    }
  }
}

TEST_F(ViewerTools, VolumePageSliderTurnsByItsMovesAndRestsInTheMiddle) {
  showCells({{isImageSDK::VIEW_KIND_VR, ctVolume(20)}});
  screen->showToolPage(imageViewerPC::TOOL_PAGE_VR);
  ASSERT_NE(slider(), nullptr);
  slider()->setPercent(50);
  sliderEvent(EventType::ON_SLIDEBALL_DOWN);
  slideTo(60);
  slideTo(70);
  step(1);
  // Both moves of the frame, as one turn.
  std::vector<RecordingMulti::Call> sent = multi->callsOf(NOTIFY_ROTATE_3D);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NEAR(sent[0].floatValue, 0.2 * 6.0 * 3.1415926, 1e-4);
  slideTo(40);
  step(1);
  sent = multi->callsOf(NOTIFY_ROTATE_3D);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_NEAR(sent[1].floatValue, -0.3 * 6.0 * 3.1415926, 1e-4);
  sliderEvent(EventType::ON_SLIDEBALL_UP);
  EXPECT_EQ(slider()->getPercent(), 50);
  step(2);
  EXPECT_EQ(multi->callsOf(NOTIFY_ROTATE_3D).size(), 2u) << "the return to the middle turns nothing back";
}

TEST_F(ViewerTools, SliderFollowsTheFocusedCell) {
  struct Case {
    const char* what;
    int slices;
    int index;
    int percent;
  };
  for (const Case c : {Case{"one image", 1, 0, 0}, Case{"11 slices at 5", 11, 5, 50}, Case{"11 slices at 0", 11, 0, 0},
                       Case{"11 slices at 10", 11, 10, 100}, Case{"4 slices at 1", 4, 1, 33}}) {
    SCOPED_TRACE(c.what);
    multi->removeAllViews();
    showCells({{0, c.slices == 1 ? mrImages(1) : ctVolume(c.slices)}});
    screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
    showSlice(c.index);
    ASSERT_EQ(slice(), c.index);
    slider()->setPercent(77);
    screen->syncSliceSlider();
    EXPECT_EQ(slider()->getPercent(), c.percent);
  }
}

TEST_F(ViewerTools, AMoveOntoTheShownSliceRecordsNothing) {
  showCells({{0, ctVolume(11)}});
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  showSlice(5);
  struct Case {
    int percent;
    int pending;
  };
  // i = (int)(f × 11), within 0 … 10.
  for (const Case c : {Case{50, -1}, Case{46, -1}, Case{55, 6}, Case{0, 0}, Case{100, 10}, Case{45, 4}}) {
    SCOPED_TRACE(c.percent);
    screen->pendingSliceIndex = -1;
    slideTo(c.percent);
    EXPECT_EQ(screen->pendingSliceIndex, c.pending);
  }
}

// ------------------------------------------------------------------ tool pages

TEST_F(ViewerTools, ToolPagesFollowTheFocusAndAreNotRebuiltForTheSameKind) {
  showCells({{0, ctVolume(20)}, {isImageSDK::VIEW_KIND_VR, ctVolume(20)}});
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  ASSERT_NE(screen->toolPanel, nullptr);
  EXPECT_EQ(screen->toolPanel->getName(), "imageTool");
  EXPECT_EQ(screen->toolPanel->getContentSize(), Size(300, kHeight - 60));
  Node* page = screen->toolPanel->getInnerContainer()->getChildByName("2DTool_page");
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(page->getChildByNameDeep("roiList")->isVisible());
  slider()->setPercent(30);
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  EXPECT_EQ(screen->toolPanel->getInnerContainer()->getChildByName("2DTool_page"), page);
  EXPECT_EQ(slider()->getPercent(), 30);

  struct Case {
    int relayout;  // the notification's integer
    size_t focus;
    const char* page;
  };
  // The first cell in map order is the 2-D one (added first).
  for (const Case c : {Case{1, 1, "3DVRTool_page"}, Case{0, 0, "2DTool_page"}}) {
    SCOPED_TRACE(c.page);
    focusCell(c.focus);
    auto* data = new NSUI::NSNotificationData();
    data->intValue = c.relayout;
    screen->onToolsRelayout(data);
    data->release();
    EXPECT_NE(screen->toolPanel->getInnerContainer()->getChildByName(c.page), nullptr);
    EXPECT_EQ(screen->toolPageForFocus(), c.relayout ? imageViewerPC::TOOL_PAGE_VR : imageViewerPC::TOOL_PAGE_2D);
  }
}

// ------------------------------------------------------------------ menus

struct Row {
  std::string title;
  std::string icon;
  std::string value;
  int id;
  Ref* target;
};

void expectRows(NSUI::NSMenu* m, const std::vector<Row>& rows) {
  ASSERT_NE(m, nullptr);
  ASSERT_NE(m->listView, nullptr);
  ASSERT_EQ(m->listView->getRowCount(), static_cast<int64_t>(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    auto* item = dynamic_cast<NSUI::NSMenu::menuObject*>(m->listView->getRows().at(i));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->title, rows[i].title);
    EXPECT_EQ(item->icon, rows[i].icon);
    EXPECT_EQ(item->text, rows[i].value);
    EXPECT_EQ(item->notifyId, rows[i].id);
    EXPECT_EQ(item->target, rows[i].target);
  }
}

TEST_F(ViewerTools, MenusHoldTheirItems) {
  showCells({{0, ctVolume(40)}});
  screen->seriesCount = 1;
  screen->imageCount = 40;
  screen->isVolume = true;
  screen->is4D = false;
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  screen->refreshWindowPresets();
  screen->showWindowLevelMenu(true);
  screen->showClutMenu(true);
  screen->showOpacityMenu(true);
  screen->showDicomMenu(true);
  screen->showCaptureMenu(true);
  screen->showProtocolMenu(true);

  Ref* m = multi;
  auto preset = [m](const char* name, const char* json) { return Row{name, "", json, NOTIFY_WINDOW_PRESET, m}; };
  expectRows(menu("windowLevelMenu"),
             {{"Enter width and level…", "", "", NOTIFY_WINDOW_INPUT, m},
              {"Adjust with the mouse", "", "", NOTIFY_TOOL_WINDOW_BY_TOUCH, m},
              {"Default window", "", "", NOTIFY_WINDOW_DEFAULT, m},
              preset("Abdomen", R"({"ww":"400.000000","wl":"60.000000"})"),
              preset("Angio", R"({"ww":"600.000000","wl":"300.000000"})"),
              preset("Bone", R"({"ww":"1500.000000","wl":"300.000000"})"),
              preset("Brain", R"({"ww":"80.000000","wl":"40.000000"})"),
              preset("Chest", R"({"ww":"400.000000","wl":"40.000000"})"),
              preset("Lung", R"({"ww":"1500.000000","wl":"-400.000000"})")});
  expectRows(menu("clutMenu"), {{"", "imgs/bwInverse.png", "bwInverse.plist", NOTIFY_CLUT_SELECT, m},
                                {"", "imgs/hotMetal.png", "HotMetal.plist", NOTIFY_CLUT_SELECT, m},
                                {"", "imgs/spectrum.png", "Spectrum.plist", NOTIFY_CLUT_SELECT, m},
                                {"", "imgs/perfusion.png", "Perfusion.plist", NOTIFY_CLUT_SELECT, m},
                                {"", "imgs/noClut.png", "noClut.plist", NOTIFY_CLUT_SELECT, m}});
  expectRows(menu("opacityMenu"), {{"", "imgs/Linear.png", "", NOTIFY_OPACITY_LINEAR, m},
                                   {"", "imgs/Log10.png", "", NOTIFY_OPACITY_LOG, m},
                                   {"", "imgs/Log10Inv.png", "", NOTIFY_OPACITY_LOG_INVERSE, m}});
  expectRows(menu("dcmMenu"), {{"Hide Private Info", "", "", NOTIFY_DICOM_INFO_HIDE, nullptr},
                               {"Show Full Info", "", "", NOTIFY_DICOM_INFO_SHOW, nullptr},
                               {"Dicom Meta Info", "", "", NOTIFY_DICOM_META_INFO, screen}});
  expectRows(menu("captureMenu"), {{"Whole Screen", "", "", NOTIFY_CAPTURE_WHOLE_SCREEN, screen},
                                   {"All Image", "", "", NOTIFY_CAPTURE_ALL_IMAGES, screen},
                                   {"Current View", "", "", NOTIFY_CAPTURE_CURRENT_VIEW, screen}});
  // A volume without phases: every layout but the acquired-slice and the
  // two compare layouts, in the file's order.
  Ref* lm = screen->layoutManager;
  expectRows(menu("protocalMenu"),
             {{"Single view", "protocal/2dview.png", "2dview", NOTIFY_PROTOCOL_SELECT, lm},
              {"MPR", "protocal/mpr.png", "mpr", NOTIFY_PROTOCOL_SELECT, lm},
              {"MPR and 3D", "protocal/mpr3d.png", "mpr3d", NOTIFY_PROTOCOL_SELECT, lm},
              {"MPR in three columns", "protocal/mpr2.png", "mpr2", NOTIFY_PROTOCOL_SELECT, lm},
              {"Slices 2x2", "protocal/browser2d.png", "browser2d", NOTIFY_PROTOCOL_SELECT, lm}});

  // Parents, z-orders, row heights and icon columns.
  struct Shape {
    const char* name;
    bool onScreen;
    int z;
    float rowHeight;
    int iconWidth;
  };
  const int protocolPicture =
      static_cast<int>(Director::getInstance()->getTextureCache()->addImage("protocal/mpr.png")->getPixelsWide());
  for (const Shape& s : {Shape{"windowLevelMenu", false, 200, 40, 0}, Shape{"clutMenu", false, 200, 60, 180},
                         Shape{"opacityMenu", false, 200, 60, 180}, Shape{"dcmMenu", true, 200, 40, 0},
                         Shape{"captureMenu", false, 200, 40, 0},
                         Shape{"protocalMenu", true, 100200, 90, std::min(60, protocolPicture)}}) {
    SCOPED_TRACE(s.name);
    NSUI::NSMenu* m = menu(s.name);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getParent(), s.onScreen ? static_cast<Node*>(screen) : screen->toolPanel->getInnerContainer());
    EXPECT_EQ(m->getLocalZOrder(), s.z);
    EXPECT_EQ(m->rowHeight, s.rowHeight);
    EXPECT_EQ(m->iconWidth, s.iconWidth);
  }
}

TEST_F(ViewerTools, WindowPresetsFollowTheFocusedModality) {
  showCells({{0, ctVolume(10)}, {0, mrImages(3)}});
  struct Case {
    size_t focus;
    const char* first;
    size_t count;
  };
  for (const Case c : {Case{0, "Abdomen", 6}, Case{1, "20/40", 8}}) {
    SCOPED_TRACE(c.first);
    focusCell(c.focus);
    screen->refreshWindowPresets();
    ASSERT_EQ(screen->windowPresets.size(), c.count);
    EXPECT_EQ(screen->windowPresets[0].name, c.first);
  }
  // Nothing focused: the generic ranges.
  multi->removeAllViews();
  screen->refreshWindowPresets();
  ASSERT_EQ(screen->windowPresets.size(), 8u);
  EXPECT_EQ(screen->windowPresets[0].name, "20/40");
}

TEST_F(ViewerTools, MenusStayTheSameNodeAndOnlyTheWindowMenuIsRebuiltAfterAFocusChange) {
  showCells({{0, ctVolume(10)}, {0, mrImages(3)}});
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  screen->refreshWindowPresets();
  screen->showWindowLevelMenu(true);
  screen->showClutMenu(true);
  NSUI::NSMenu* window = menu("windowLevelMenu");
  NSUI::NSMenu* clut = menu("clutMenu");
  ASSERT_NE(window, nullptr);
  ASSERT_NE(clut, nullptr);
  // Held, so that a new menu cannot take the address of a freed one.
  window->retain();
  clut->retain();
  screen->showClutMenu(false);
  EXPECT_FALSE(clut->isVisible());
  screen->showClutMenu(true);
  EXPECT_EQ(menu("clutMenu"), clut);
  EXPECT_TRUE(clut->isVisible());
  screen->showWindowLevelMenu(false);
  screen->showWindowLevelMenu(true);
  EXPECT_EQ(menu("windowLevelMenu"), window);

  focusCell(1);
  screen->refreshWindowPresets();
  EXPECT_EQ(menu("windowLevelMenu"), nullptr);
  screen->showWindowLevelMenu(true);
  NSUI::NSMenu* rebuilt = menu("windowLevelMenu");
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_NE(rebuilt, window);
  auto* fourth = dynamic_cast<NSUI::NSMenu::menuObject*>(rebuilt->listView->getRows().at(3));
  EXPECT_EQ(fourth->title, "20/40");
  EXPECT_EQ(menu("clutMenu"), clut);
  window->release();
  clut->release();
}

// Menu placement in the tool panel's inner container.
TEST_F(ViewerTools, ToolMenusArePlacedByTheButtonAndTheScrollOffset) {
  showCells({{0, ctVolume(10)}});
  struct Case {
    int page;
    const char* button;
    Vec2 at;        // the button's position on its page
    float offset;   // the inner container's y (top of the page visible: panel height − page height)
    const char* menu;
    Vec2 expected;
  };
  // Panel 300 x 740. Pages 998 (2-D), 872 (3-D), 828 (VR) high: the lowest
  // offsets -258, -132, -88. Lists: window menu 9 rows of 40 (360), colour
  // tables 5 of 60 (300), opacity 3 of 60 (180), capture 3 of 40 (120);
  // the picture menus 190 wide, the capture menu 150.
  const std::vector<Case> cases = {
      {0, "btnCmdWL", {42, 526}, -258, "windowLevelMenu", {20, 426}},
      {0, "btnCmdWL", {42, 526}, -100, "windowLevelMenu", {20, 268}},  // lowered by d + y = 158
      {0, "btnCmdWL", {42, 526}, 0, "windowLevelMenu", {20, 168}},     // by d = 258
      {1, "btnCmdWL", {42, 356}, -132, "windowLevelMenu", {20, 376}},  // 3-D page: above the button
      {1, "btnCmdWL", {42, 356}, 0, "windowLevelMenu", {20, 244}},
      {0, "btnCmdClut", {60, 526}, -58, "clutMenu", {60, 346}},
      {0, "btnCmdClut", {60, 900}, 0, "clutMenu", {60, 662}},  // by d = 258 (the list is 300)
      // The picture menus are 190 wide: kept inside the 300-wide column.
      {0, "btnCmdClut", {114, 526}, -258, "clutMenu", {110, 546}},
      {2, "btnCmdWLOpaticy", {186, 168}, 0, "opacityMenu", {110, 100}},  // d = 88
      {2, "btnCmdWLOpaticy", {90, 168}, -88, "opacityMenu", {90, 188}},
      {0, "btnCmdCapture", {42, 222}, -258, "captureMenu", {0, 242}},
      {0, "btnCmdCapture", {250, 222}, -258, "captureMenu", {150, 242}},
      {0, "btnCmdCapture", {250, 222}, 0, "captureMenu", {150, 122}},  // by the list's 120 (< d)
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.button) + " on page " + std::to_string(c.page) + " at offset " +
                 std::to_string(c.offset));
    hideMenus();
    screen->refreshWindowPresets();
    screen->showToolPage(c.page);
    auto* b = dynamic_cast<ui::Button*>(screen->toolPanel->getInnerContainer()->getChildByNameDeep(c.button));
    ASSERT_NE(b, nullptr);
    b->setPosition(c.at);
    screen->toolPanel->setContentOffset(Vec2(0, c.offset));
    ASSERT_EQ(screen->toolPanel->getInnerContainer()->getPositionY(), c.offset);
    screen->onButtonClicked(b);
    NSUI::NSMenu* m = menu(c.menu);
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->isVisible());
    EXPECT_EQ(m->getPosition(), c.expected);
  }
}

// A window taller than the page: the page is stretched, its content stays
// at the top, and the menu goes by where the button is in the container.
TEST_F(ViewerTools, ToolMenuOnAStretchedPageGoesByTheButtonsPlaceInTheContainer) {
  screen->setContentSize(Size(1920, 1080));
  screen->getChildByName("root")->setContentSize(Size(1920, 1080));
  screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
  Node* page = screen->toolPanel->getInnerContainer()->getChildByName("2DTool_page");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->getContentSize().height, 1020);
  screen->refreshWindowPresets();
  click("btnCmdClut");
  // Content aligned at the top of the 1020-high page: 22 higher.
  EXPECT_EQ(menu("clutMenu")->getPosition(), Vec2(300 - 190, 526 + 22 + 20));
}

TEST_F(ViewerTools, ProtocolAndDicomMenusArePlacedOnTheScreen) {
  showCells({{0, ctVolume(40)}});
  screen->seriesCount = 1;
  screen->imageCount = 40;
  screen->isVolume = true;
  screen->updateProtocolButton(4);
  click("btnCmdProtocal");
  NSUI::NSMenu* protocols = menu("protocalMenu");
  ASSERT_NE(protocols, nullptr);
  const Size list = protocols->listView->getContentSize();
  EXPECT_EQ(list.height, 5 * 90);
  // The list's top-right corner at the button's anchor (middle right).
  EXPECT_EQ(protocols->getPosition(), Vec2(kWidth - 120 - list.width, kHeight - 30 - 450));

  // The DICOM menu over the quick tool bar.
  auto* data = new NSUI::NSNotificationData();
  screen->onQuickToolShow(data);
  data->release();
  ASSERT_NE(screen->quickTool, nullptr);
  screen->quickTool->setContentSize(Size(860, 700));
  screen->quickTool->setPosition(Vec2(400, 5));
  screen->onShowDicomMenu();
  NSUI::NSMenu* dicom = menu("dcmMenu");
  ASSERT_NE(dicom, nullptr);
  EXPECT_TRUE(dicom->isVisible());
  EXPECT_EQ(dicom->getPosition(), Vec2(400 + 860 - 200, 5 + 30));
}

TEST_F(ViewerTools, DicomMenuNeedsTheQuickToolBar) {
  screen->onShowDicomMenu();
  EXPECT_EQ(menu("dcmMenu"), nullptr);
}

// ------------------------------------------------------------------ protocol button

TEST_F(ViewerTools, ProtocolButtonShowsThePictureOfTheLastProtocolOfItsType) {
  std::vector<isImageSDK::ProtocolInfo>& list = isImageSDK::protocolList();
  list = {{"protocal/2dview.png", "a", "2dview"},     {"protocal/mpr.png", "b", "mpr"},
          {"protocal/compare4d.png", "c", "2dslice"}, {"protocal/mpr3d.png", "d", "mpr3d"},
          {"protocal/mpr2.png", "e", "mpr2"},         {"protocal/2dslice.png", "f", "2dslice"},
          {"protocal/browser2d.png", "g", "browser2d"}};
  auto* cache = Director::getInstance()->getTextureCache();
  auto shown = [this] {
    auto* b = dynamic_cast<ui::Button*>(screen->getChildByName("btnCmdProtocal"));
    return b ? static_cast<ui::Scale9Sprite*>(b->getVirtualRenderer())->getTexture() : nullptr;
  };
  struct Case {
    int id;
    const char* picture;  // null: the one before stays
  };
  for (const Case c : {Case{1, "protocal/2dview.png"}, Case{2, "protocal/browser2d.png"}, Case{3, "protocal/mpr3d.png"},
                       Case{4, "protocal/mpr.png"}, Case{5, "protocal/mpr2.png"}, Case{6, "protocal/2dslice.png"},
                       Case{7, nullptr}, Case{8, "protocal/2dslice.png"}, Case{4, "protocal/mpr.png"},
                       Case{0, "protocal/2dslice.png"}}) {
    SCOPED_TRACE(c.id);
    Texture2D* before = shown();
    screen->updateProtocolButton(c.id);
    EXPECT_EQ(shown(), c.picture ? cache->addImage(c.picture) : before);
  }
  isImageSDK::releaseProtocolList();

  // Two buttons, made once, at the bar's right.
  int made = 0;
  for (Node* child : screen->getChildren())
    if (child->getName() == "btnCmdProtocal" || child->getName() == "btnCmdProtocalArrow") ++made;
  EXPECT_EQ(made, 2);
  Node* button = screen->getChildByName("btnCmdProtocal");
  Node* arrow = screen->getChildByName("btnCmdProtocalArrow");
  ASSERT_NE(arrow, nullptr);
  EXPECT_EQ(button->getPosition(), Vec2(kWidth - 120, kHeight - 30));
  EXPECT_EQ(arrow->getPosition(), Vec2(kWidth - 80, kHeight - 30));
  EXPECT_EQ(button->getAnchorPoint(), Vec2(1, 0.5f));
  EXPECT_EQ(arrow->getAnchorPoint(), Vec2(1, 0.5f));
  EXPECT_FLOAT_EQ(button->getScale(), 0.11f);
  EXPECT_FLOAT_EQ(arrow->getScale(), 0.6f);
  EXPECT_EQ(button->getLocalZOrder(), 10000);
}

// ------------------------------------------------------------------ hosted tools

isImageSDK::isRenderWindow* windowOfCell(isImageSDK::isViewerMulti* multi, size_t i) {
  size_t n = 0;
  for (auto& entry : multi->cells)
    for (isImageSDK::KeyViewProperty* c : entry.second)
      if (n++ == i)
        if (auto* browser = dynamic_cast<isImageSDK::isViewerBrowser*>(c->getViewer()))
          return browser->getImageViewers().empty() ? nullptr : browser->getImageViewers().at(0);
  return nullptr;
}

TEST_F(ViewerTools, QuickToolBarIsMadeOnceAndHiddenOnlyForItsOwnViewer) {
  showCells({{0, ctVolume(10)}, {0, ctVolume(10)}});
  isImageSDK::isRenderWindow* a = windowOfCell(multi, 0);
  isImageSDK::isRenderWindow* b = windowOfCell(multi, 1);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  auto post = [](Ref* window, int task) {
    auto* data = new NSUI::NSNotificationData();
    data->setObject(window);
    data->taskValue = task;
    return data;
  };
  NSUI::NSNotificationData* show = post(a, 0);
  screen->onQuickToolShow(show);
  show->release();
  ::quickTool* bar = screen->quickTool;
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->getParent(), screen);
  EXPECT_EQ(bar->windowId, a->getRefID());
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->maxRect.x, 300);
  EXPECT_EQ(bar->maxRect.y, 0);
  EXPECT_EQ(bar->maxRect.w, kWidth - 300);
  EXPECT_EQ(bar->maxRect.h, kHeight);

  struct Case {
    const char* what;
    int task;
    bool visible;
  };
  for (const Case c : {Case{"another viewer", static_cast<int>(b->getRefID()), true},
                       Case{"its own viewer", static_cast<int>(a->getRefID()), false}}) {
    SCOPED_TRACE(c.what);
    NSUI::NSNotificationData* cleanup = post(nullptr, c.task);
    screen->onViewerCleanup(cleanup);
    cleanup->release();
    EXPECT_EQ(bar->isVisible(), c.visible);
  }

  // The next focus rebinds the same bar.
  show = post(b, 0);
  screen->onQuickToolShow(show);
  show->release();
  EXPECT_EQ(screen->quickTool, bar);
  EXPECT_EQ(bar->windowId, b->getRefID());
  EXPECT_TRUE(bar->isVisible());
  int bars = 0;
  for (Node* child : screen->getChildren()) bars += dynamic_cast<::quickTool*>(child) ? 1 : 0;
  EXPECT_EQ(bars, 1);
}

TEST_F(ViewerTools, ASecondWindowInputLeavesOneEditorShowingTheFocusedWindow) {
  showCells({{0, ctVolume(10)}});
  screen->onWindowInput();
  screen->onWindowInput();
  int editors = 0;
  for (Node* child : screen->getChildren()) editors += child->getName() == "editWW" ? 1 : 0;
  EXPECT_EQ(editors, 1);
  auto* editor = dynamic_cast<editWW*>(screen->getChildByNameDeep("editWW_view"));
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(screen->openedEditor.node, editor);
  ASSERT_NE(editor->field("editWW"), nullptr);
  EXPECT_EQ(editor->field("editWW")->getString(), "400");
  EXPECT_EQ(editor->field("editWL")->getString(), "40");
}

TEST_F(ViewerTools, OnlyTheEditorOfThisScreenAppliesAWindow) {
  showCells({{0, ctVolume(10)}});
  screen->onWindowInput();
  Node* own = screen->openedEditor.node;
  ASSERT_NE(own, nullptr);
  // An editor of another screen: a pop-up over the favourites, say.
  NSUI::NSResponseWindow* elsewhere = editWW::createWindow();
  base->addChild(elsewhere);
  Node* foreign = elsewhere->getChildByNameDeep("editWW_view");
  ASSERT_NE(foreign, nullptr);

  struct Case {
    const char* what;
    Ref* sender;
    const char* json;
    float width, level;  // the focused window afterwards
  };
  for (const Case& c : {Case{"another screen's editor", foreign, R"({"ww":"10.000000","wl":"5.000000"})", 400, 40},
                        Case{"no sender", nullptr, R"({"ww":"10.000000","wl":"5.000000"})", 400, 40},
                        Case{"this screen's editor", own, R"({"ww":"1000.000000","wl":"200.000000"})", 1000, 200},
                        Case{"a missing level", own, R"({"ww":"300.000000"})", 300, 0}}) {
    SCOPED_TRACE(c.what);
    auto* data = new NSUI::NSNotificationData();
    data->text = c.json;
    screen->onWindowApply(c.sender, data);
    data->release();
    float width = -1, level = -1;
    ASSERT_TRUE(multi->getFocusedWindowLevel(width, level));
    EXPECT_FLOAT_EQ(width, c.width);
    EXPECT_FLOAT_EQ(level, c.level);
  }
}

TEST_F(ViewerTools, TagViewerOpensForTheFocusedFile) {
  // No multi-view, or an image made in memory (no file): nothing opens.
  screen->onDicomMetaInfo();
  EXPECT_EQ(screen->getChildByNameDeep("dcmInfo"), nullptr);
  showCells({{0, ctVolume(10)}});
  screen->onDicomMetaInfo();
  EXPECT_EQ(screen->getChildByNameDeep("dcmInfo"), nullptr);

  // A series read from its files.
  const std::string folder = dir + "/w/ct/";
  dcmfixtures::CtPhantom ct;
  ct.width = ct.height = 32;
  ct.slices = 4;
  ASSERT_EQ(dcmfixtures::writeCtPhantom(folder, ct).files.size(), 4u);
  isImageSDK::isDcmScan scan;
  ASSERT_TRUE(scan.createCache(folder));
  isImageSDK::isBinReader* reader = isImageSDK::isBinReader::create();
  reader->retain();
  ASSERT_TRUE(reader->setFileName(folder, isImageSDK::isDcmScan::getCacheFileName(folder)));
  isImageSDK::isImageData* read = reader->getOutputImage();
  read->update();
  // The loading thread's pace is the machine's: wait by the clock, not by
  // a count of (instant) headless frames.
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
       !reader->isLoadComplete() && std::chrono::steady_clock::now() < end;) {
    step(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(reader->isLoadComplete());
  read->updateInformation();
  multi->removeAllViews();
  showCells({{0, read}});
  const std::string path = multi->getFocusedFilePath();
  ASSERT_GT(path.size(), 2u);

  screen->onDicomMetaInfo();
  auto* list = dynamic_cast<dcmInfoList*>(screen->getChildByNameDeep("dcmInfo"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->getFilePath(), path);
  // The pop-up lies over everything the screen holds.
  Node* window = list->getParent();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->getParent(), screen);
  for (Node* child : screen->getChildren()) {
    if (child != window) {
      EXPECT_LT(child->getLocalZOrder(), window->getLocalZOrder()) << child->getName();
    }
  }
  window->removeFromParent();
  step(2);
  multi->removeAllViews();
  reader->release();
}

}  // namespace
