#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/browse/favoriteList.h"
#include "app/viewer/dcmInfoList.h"
#include "app/viewer/editWW.h"
#include "app/viewer/imageViewerPC.h"
#include "app/viewer/quickTool.h"
#include "engine/ui/Button.h"
#include "engine/ui/Helper.h"
#include "engine/ui/Slider.h"
#include "imaging/core/SliceRecord.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/isImageTypes.h"
#include "imaging/view/isRenderWindow.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewer.h"
#include "imaging/viewers/isViewerMulti.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSMenu.h"
#include "toolkit/widgets/UIScrollViewBase.h"

USING_NS_CC;

namespace {

// "btnCmdPlay" carries the play state in its tag.
constexpr int kTagPlaying = 2001;
constexpr int kTagStopped = 2002;

constexpr int kTopButtonZ = 1000;
constexpr float kFavoriteScale = 0.7f;
constexpr int kPageWidgetZ = 100;
constexpr float kSliderTouchScale = 2.0f;
constexpr float kTopBarHeight = 60.0f;

constexpr int kMenuZ = 200;
constexpr int kTopBarMenuZ = 100200;
constexpr int kMenuIconWidth = 200;
constexpr int kTopBarMenuIconWidth = 60;
constexpr float kPictureRowHeight = 60.0f;
constexpr float kProtocolRowHeight = 90.0f;

constexpr int kProtocolButtonZ = 10000;
constexpr float kProtocolButtonScale = 0.11f;
constexpr float kProtocolArrowScale = 0.6f;
constexpr const char* kProtocolArrowPicture = "res/arrowDown.png";

// Pop-up windows (window editor, tag viewer) lie over everything the screen
// holds, the protocol button and menu included.
constexpr int kPopupZ = 200000;

// A full sweep of the VR page's slider turns the volume three times around.
constexpr float kSweepAngle = 6.0f * 3.1415926f;
constexpr float kMinRotation = 0.001f;

// Searched in this order when a click may only close an open menu.
constexpr const char* kMenuNames[] = {"windowLevelMenu", "clutMenu",    "opacityMenu", "dcmMenu",
                                      "captureMenu",     "protocalMenu", "phaseMenu"};

// The tool-page buttons the screen binds, in binding order.
constexpr const char* kPageButtons[] = {
    "btnTile1x1",     "btnTile1x2",   "btnTile2x1",   "btnTile2x2",    "btnViewAxial",    "btnViewSagittal",
    "btnViewCoronal", "btnViewVR",    "btnCmdSelection", "btnCmdMove", "btnCmdZoom",      "btnCmdRotate",
    "btnCmdPlay",     "btnCmdPrior",  "btnCmdNext",   "btnCmdOriS",    "btnCmdOriI",      "btnCmdOriA",
    "btnCmdOriP",     "btnCmdOriR",   "btnCmdOriL",   "btnCmdWL",      "btnCmdClut",      "btnCmdWLOpaticy",
    "btnCmdPoint",    "btnCmdLine",   "btnCmdAngle",  "btnCmdPolygon", "btnCmdCircle",    "btnCmdRemoveROI",
    "btnCmdCapture"};

// The button table: what a click on a name does, first match wins.
enum class Act {
  ProtocolMenu,  // show and place the protocol menu
  Favorites,     // push the favourites screen
  Back,          // pop the running scene
  CommandInt,    // handleCommandInt(id, value)
  Post,          // post id to the multi-view, serial
  PostNow,       // post id to the multi-view, immediate
  Command,       // handleCommand(id)
  CaptureMenu,
  WindowMenu,
  ClutMenu,
  OpacityMenu,
  Phase,  // the 4-D strip
};

struct ButtonRow {
  const char* name;
  bool notWhilePlaying;
  Act act;
  int id;
  int value;
};

constexpr ButtonRow kButtonTable[] = {
    {"btnCmdProtocalArrow", false, Act::ProtocolMenu, 0, 0},
    {"btnCmdProtocal", false, Act::ProtocolMenu, 0, 0},
    {"btnCmdFavorite", false, Act::Favorites, 0, 0},
    {"goBack", false, Act::Back, 0, 0},
    {"btnCmdOriS", true, Act::CommandInt, NOTIFY_VR_ORIENTATION, 1},
    {"btnCmdOriI", true, Act::CommandInt, NOTIFY_VR_ORIENTATION, 2},
    {"btnCmdOriA", true, Act::CommandInt, NOTIFY_VR_ORIENTATION, 3},
    {"btnCmdOriP", true, Act::CommandInt, NOTIFY_VR_ORIENTATION, 4},
    {"btnCmdOriR", true, Act::CommandInt, NOTIFY_VR_ORIENTATION, 5},
    {"btnCmdOriL", true, Act::CommandInt, NOTIFY_VR_ORIENTATION, 6},
    {"btnTile1x1", true, Act::Post, NOTIFY_LAYOUT_1X1, 0},
    {"btnTile1x2", true, Act::Post, NOTIFY_LAYOUT_1X2, 0},
    {"btnTile2x1", true, Act::Post, NOTIFY_LAYOUT_2X1, 0},
    {"btnTile2x2", true, Act::Post, NOTIFY_LAYOUT_2X2, 0},
    {"btnViewAxial", true, Act::Post, NOTIFY_VIEW_TYPE_AXIAL, 0},
    {"btnViewSagittal", true, Act::Post, NOTIFY_VIEW_TYPE_SAGITTAL, 0},
    {"btnViewCoronal", true, Act::Post, NOTIFY_VIEW_TYPE_CORONAL, 0},
    {"btnViewVR", true, Act::Post, NOTIFY_VIEW_TYPE_VR, 0},
    {"btnCmdAngle", true, Act::PostNow, NOTIFY_ROI_ANGLE, 0},
    {"btnCmdPolygon", true, Act::PostNow, NOTIFY_ROI_POLYGON, 0},
    {"btnCmdPoint", true, Act::PostNow, NOTIFY_ROI_POINT, 0},
    {"btnCmdCircle", true, Act::PostNow, NOTIFY_ROI_CIRCLE, 0},
    {"btnCmdLine", true, Act::PostNow, NOTIFY_ROI_LINE, 0},
    {"btnCmdSelection", true, Act::Command, NOTIFY_TOOL_SELECT, 0},
    {"btnCmdMove", false, Act::Command, NOTIFY_TOOL_MOVE, 0},
    {"btnCmdZoom", false, Act::Command, NOTIFY_TOOL_ZOOM, 0},
    {"btnCmdCapture", true, Act::CaptureMenu, 0, 0},
    {"btnCmdRemoveROI", true, Act::Command, NOTIFY_ROI_REMOVE, 0},
    {"btnCmdRotate", false, Act::Command, NOTIFY_TOOL_ROTATE, 0},
    {"btnCmdPlay", false, Act::Command, NOTIFY_PLAY_TOGGLE, 0},
    {"btnCmdPrior", false, Act::Command, NOTIFY_PLAY_PRIOR, 0},
    {"btnCmdNext", false, Act::Command, NOTIFY_PLAY_NEXT, 0},
    {"btnCmdWL", false, Act::WindowMenu, 0, 0},
    {"btnCmdClut", false, Act::ClutMenu, 0, 0},
    {"btnCmdWLOpaticy", false, Act::OpacityMenu, 0, 0},
    {"btn4DPrior", false, Act::Phase, 0, 0},
    {"btn4DNext", false, Act::Phase, 0, 0},
    {"btn4DMenu", false, Act::Phase, 0, 0},
};

// The screen's observers, in registration order: id and whether the screen
// itself is the source (otherwise only posts without object arrive).
struct ObserverRow {
  int id;
  bool fromScreen;
};

constexpr ObserverRow kObservers[] = {
    {NOTIFY_SERIES_LOADED, true},          {NOTIFY_WINDOW_APPLY, false},
    {NOTIFY_TOOLS_RELAYOUT, false},        {NOTIFY_DICOM_META_INFO, true},
    {NOTIFY_4D_LOADED, false},             {NOTIFY_CAPTURE_SAVED, false},
    {NOTIFY_QUICK_TOOL_SHOW, false},       {NOTIFY_VIEW_GEOMETRY, false},
    {NOTIFY_VIEWER_CLEANUP, false},        {NOTIFY_SHOW_DICOM_MENU, false},
    {NOTIFY_QUICK_FAVOURITE, false},       {NOTIFY_FAVOURITE_SAVE, false},
    {NOTIFY_FAVOURITE_SAVED, false},       {NOTIFY_CAPTURE_CURRENT_VIEW, true},
    {NOTIFY_CAPTURE_ALL_IMAGES, true},     {NOTIFY_CAPTURE_WHOLE_SCREEN, true},
    {NOTIFY_FOCUS_REQUEST, true},          {NOTIFY_PHASE_SELECT, true},
    {NOTIFY_PROTOCOL_SELECT, true},
};

NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

std::string printed(float v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", static_cast<double>(v));
  return text;
}

// One row of a menu as the screen describes it.
struct MenuRow {
  std::string title;
  std::string icon;
  std::string value;
  int id = 0;
  Ref* target = nullptr;
};

// A new named menu with these rows; null when the menu cannot be made.
NSUI::NSMenu* buildMenu(const std::string& name, const std::vector<MenuRow>& rows, float rowHeight,
                        int maxIconWidth) {
  NSUI::NSMenu* menu = NSUI::NSMenu::create();
  if (!menu) return nullptr;
  menu->setName(name);
  menu->setAnchorPoint(Vec2::ZERO);
  if (rowHeight > 0) menu->rowHeight = rowHeight;
  // The chain's links are not references: the items live in `kept` until
  // the list holds them.
  Vector<NSUI::NSMenu::menuObject*> kept;
  NSUI::NSMenu::menuObject* previous = nullptr;
  for (const MenuRow& row : rows) {
    NSUI::NSMenu::menuObject* item = NSUI::NSMenu::menuObject::create();
    if (!item) continue;
    item->title = row.title;
    item->icon = row.icon;
    item->text = row.value;
    item->notifyId = row.id;
    item->target = row.target;
    if (previous) previous->next = item;
    previous = item;
    kept.pushBack(item);
  }
  menu->setMenuItems(kept.empty() ? nullptr : kept.at(0), maxIconWidth);
  return menu;
}

// The height of a menu's list (0 without one).
float listHeight(Node* menu) {
  auto* m = dynamic_cast<NSUI::NSMenu*>(menu);
  return m && m->listView ? m->listView->getContentSize().height : 0.0f;
}
float listWidth(Node* menu) {
  auto* m = dynamic_cast<NSUI::NSMenu*>(menu);
  return m && m->listView ? m->listView->getContentSize().width : 0.0f;
}

// The protocol layout name the protocol button shows for a layout id.
const char* protocolTypeOf(int layoutId) {
  switch (layoutId) {
    case 1: return "2dview";
    case 2: return "browser2d";
    case 3: return "mpr3d";
    case 4: return "mpr";
    case 5: return "mpr2";
    case 7: return "compare2d";
    default: return "2dslice";
  }
}

}  // namespace

Node* imageViewerPC::findNode(const std::string& name) const { return getChildByNameDeep(name); }

// ------------------------------------------------------------------ top bar

void imageViewerPC::bindControls() {
  auto bind = [this](const char* name, bool zoom, float scale) {
    auto* button = dynamic_cast<ui::Button*>(findNode(name));
    if (!button) return;
    button->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
    button->setLocalZOrder(kTopButtonZ);
    if (zoom) button->setPressedActionEnabled(true);
    if (scale > 0) button->setScale(scale);
  };
  bind("goBack", false, 0);
  bind("btnCmdToolbox", true, 0);
  bind("btnCmdFavorite", true, kFavoriteScale);

  auto* nc = centre();
  if (!nc) return;
  for (const ObserverRow& row : kObservers)
    nc->addObserver(
        this, row.fromScreen ? this : nullptr,
        [this](Ref* sender, unsigned int id, NSUI::NSNotificationData* data) { onNotification(sender, id, data); },
        row.id);
}

void imageViewerPC::setTopButtonsVisible(bool visible) {
  for (const char* name : {"Image_5", "btnCmdFavorite", "btnCmdToolbox", "selectLine"})
    if (Node* node = findNode(name)) node->setVisible(visible);
}


// ------------------------------------------------------------------ buttons

void imageViewerPC::onButtonClicked(Ref* sender) {
  auto* button = dynamic_cast<ui::Button*>(sender);
  if (!button) return;

  // A click while a menu is open only closes it.
  for (const char* name : kMenuNames) {
    Node* menu = findNode(name);
    if (menu && menu->isVisible()) {
      menu->setVisible(false);
      return;
    }
  }

  const bool playing = isPlaying();
  const std::string& name = button->getName();
  const ButtonRow* row = nullptr;
  for (const ButtonRow& r : kButtonTable)
    if (name == r.name) {
      row = &r;
      break;
    }
  if (!row || (row->notWhilePlaying && playing)) return;

  switch (row->act) {
    case Act::ProtocolMenu: {
      showProtocolMenu(true);
      Node* menu = getChildByName("protocalMenu");
      if (!menu) return;
      // Its list's top-right corner at the button.
      const Vec2 p = button->getPosition();
      menu->setPosition(Vec2(p.x - listWidth(menu), p.y - std::trunc(listHeight(menu))));
      return;
    }
    case Act::Favorites:
      if (Scene* scene = favoriteList::createScene()) Director::getInstance()->pushScene(scene);
      return;
    case Act::Back:
      Director::getInstance()->popScene();
      return;
    case Act::CommandInt:
      if (viewerMulti) viewerMulti->handleCommandInt(row->id, row->value);
      return;
    case Act::Post:
    case Act::PostNow:
      // Without a multi-view the post would go out on the broadcast channel.
      if (viewerMulti)
        if (auto* nc = centre()) nc->postNotification(this, row->id, nullptr, viewerMulti, row->act == Act::PostNow);
      return;
    case Act::Command:
      if (viewerMulti) viewerMulti->handleCommand(row->id, nullptr);
      return;
    case Act::CaptureMenu:
      showCaptureMenu(true);
      placeToolMenu("captureMenu", button);
      return;
    case Act::WindowMenu:
      showWindowLevelMenu(true);
      placeToolMenu("windowLevelMenu", button);
      return;
    case Act::ClutMenu:
      showClutMenu(true);
      placeToolMenu("clutMenu", button);
      return;
    case Act::OpacityMenu:
      showOpacityMenu(true);
      placeToolMenu("opacityMenu", button);
      return;
    case Act::Phase:
      on4DButton(name, button);
      return;
  }
}

bool imageViewerPC::isPlaying() const {
  Node* play = findNode("btnCmdPlay");
  return play && play->getTag() == kTagPlaying;
}

// ------------------------------------------------------------------ touch and frame hooks

bool imageViewerPC::onTouchBegan(Touch* touch, Event* event) {
  if (NSUI::NSLayout::onTouchBegan(touch, event))
    for (const char* name : kMenuNames)
      if (Node* menu = findNode(name)) menu->setVisible(false);
  // Never claimed: the touch goes on to the widgets below.
  return false;
}

void imageViewerPC::visit(Renderer* renderer, const Mat4& transform, uint32_t flags) {
  // Every camera visits the subtree: the render windows draw through
  // cameras of their own, which this node's camera mask does not name.
  NSUI::NSLayout::visit(renderer, transform, flags);
  if (!isVisible()) return;

  // Once per engine frame, however many cameras draw the screen.
  const unsigned int frame = Director::getInstance()->getTotalFrames();
  if (frame == lastVisitFrame) return;
  lastVisitFrame = frame;
  if (!viewerMulti) return;

  if (viewerMulti->getFocusedCell()) {
    const int kind = viewerMulti->getFocusedViewKind();
    if (kind == isImageSDK::VIEW_KIND_VR || kind == isImageSDK::VIEW_KIND_MIP) {
      if (std::fabs(pendingRotation) > kMinRotation) {
        const float angle = pendingRotation;
        pendingRotation = 0.0f;
        viewerMulti->handleCommandFloat(NOTIFY_ROTATE_3D, angle);
      }
      return;
    }
  }
  if (pendingSliceIndex >= 0) {
    auto* data = new NSUI::NSNotificationData();
    data->intValue = pendingSliceIndex;
    pendingSliceIndex = -1;
    viewerMulti->handleCommand(NOTIFY_SET_SLICE_INDEX, data);
    data->release();
  }
}

// ------------------------------------------------------------------ tool column

void imageViewerPC::showToolPage(int kind) {
  if (kind == toolPageKind) return;
  toolPageKind = kind;

  const float panelHeight = getContentSize().height - kTopBarHeight;
  if (!toolPanel) {
    Node* root = getChildByName("root");
    Node* tool = root ? root->getChildByNameDeep("tool") : nullptr;
    if (!tool) return;
    const Size size(tool->getContentSize().width, panelHeight);
    auto* holder = ui::Layout::create();
    toolPanel = NSUI::UIScrollViewBase::create();
    if (!holder || !toolPanel) {
      toolPanel = nullptr;
      return;
    }
    toolPanel->setContentSize(size);
    toolPanel->setAnchorPoint(Vec2::ZERO);
    holder->setAnchorPoint(Vec2::ZERO);
    holder->setPosition(Vec2::ZERO);
    holder->setContentSize(size);
    addChild(holder);
    holder->addChild(toolPanel);
    toolPanel->setDirection(1);
    toolPanel->setName("imageTool");
  }

  toolPanel->removeAllChildren();
  const char* file = kind == TOOL_PAGE_3D ? "3DTool.csb" : kind == TOOL_PAGE_VR ? "3DVRTool.csb" : "2DTool.csb";
  Node* page = CSLoader::createNode(file);
  if (!page) return;
  if (auto* config = AppConfig::getInstance()) config->translateNode(page, "");
  if (panelHeight > page->getContentSize().height) {
    page->setContentSize(Size(page->getContentSize().width, panelHeight));
    ui::Helper::doLayout(page);
  }
  toolPanel->addChild(page);
  toolPanel->setInnerContainerSize(page->getContentSize());

  for (const char* name : kPageButtons) {
    auto* button = dynamic_cast<ui::Button*>(page->getChildByNameDeep(name));
    if (!button) continue;
    button->setPressedActionEnabled(true);
    button->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
    button->setLocalZOrder(kPageWidgetZ);
  }
  if (Node* play = page->getChildByNameDeep("btnCmdPlay")) play->setTag(kTagStopped);
  if (auto* slider = dynamic_cast<ui::Slider*>(page->getChildByNameDeep("sliderSlice"))) {
    slider->setTouchScaled(kSliderTouchScale);
    slider->setLocalZOrder(kPageWidgetZ);
    slider->addEventListener(
        [this](Ref* sender, ui::Slider::EventType type) { onSliceSlider(sender, static_cast<int>(type)); });
  }
  if (Node* roi = page->getChildByNameDeep("roiList")) roi->setVisible(false);
}

int imageViewerPC::toolPageForFocus() const {
  const int kind = viewerMulti ? viewerMulti->getFocusedViewKind() : 0;
  if (kind == isImageSDK::VIEW_KIND_VR || kind == isImageSDK::VIEW_KIND_MIP) return TOOL_PAGE_VR;
  return kind != 0 ? TOOL_PAGE_3D : TOOL_PAGE_2D;
}

void imageViewerPC::onSliceSlider(Ref* sender, int eventType) {
  auto* slider = dynamic_cast<ui::Slider*>(sender);
  if (!toolPanel || !slider || !toolPanel->getInnerContainer()->getChildByNameDeep("sliderSlice")) return;
  const float f = static_cast<float>(slider->getPercent()) / 100.0f;

  switch (static_cast<ui::Slider::EventType>(eventType)) {
    case ui::Slider::EventType::ON_SLIDEBALL_DOWN:
      sliderLast = f;
      return;
    case ui::Slider::EventType::ON_SLIDEBALL_UP:
    case ui::Slider::EventType::ON_SLIDEBALL_CANCEL:
      // The VR page's slider turns the volume by its moves; it rests in
      // the middle.
      if (toolPageKind == TOOL_PAGE_VR) slider->setPercent(50);
      return;
    case ui::Slider::EventType::ON_PERCENTAGE_CHANGED:
      break;
  }

  if (toolPageKind == TOOL_PAGE_2D || toolPageKind == TOOL_PAGE_3D) {
    int info[2] = {0, 0};
    if (!viewerMulti || !viewerMulti->getFocusedSliceInfo(info) || info[1] <= 0) return;
    const int i = std::clamp(static_cast<int>(f * static_cast<float>(info[1])), 0, info[1] - 1);
    // A move back onto the shown slice also drops a change this frame has
    // not applied yet, so the image ends where the slider is.
    pendingSliceIndex = i != info[0] ? i : -1;
  } else if (toolPageKind == TOOL_PAGE_VR) {
    const float r = (f - sliderLast) * kSweepAngle;
    if (std::fabs(r) > kMinRotation) {
      // Several moves within one frame add up: the frame applies them as
      // one turn.
      pendingRotation += r;
      sliderLast = f;
    }
  }
}

void imageViewerPC::syncSliceSlider() {
  if (!toolPanel || toolPageKind >= TOOL_PAGE_VR || !viewerMulti) return;
  auto* slider = dynamic_cast<ui::Slider*>(toolPanel->getInnerContainer()->getChildByNameDeep("sliderSlice"));
  int info[2] = {0, 0};
  if (!slider || !viewerMulti->getFocusedCell() || !viewerMulti->getFocusedSliceInfo(info)) return;
  const double percent =
      info[1] >= 2 ? static_cast<double>(info[0]) / static_cast<double>(info[1] - 1) * 100.0 : 0.0;
  slider->setPercent(static_cast<int>(std::lround(percent)));
}

// ------------------------------------------------------------------ menus

namespace {

// Shows or hides a menu of the screen. `parent` null: a menu of the tool
// panel (nothing without one). `rows` is asked for only when the menu is
// made.
template <class Rows>
void showMenu(Node* screen, NSUI::UIScrollViewBase* panel, const char* name, bool onScreen, bool show, int zOrder,
              float rowHeight, int maxIconWidth, Rows rows) {
  Node* menu = screen->getChildByNameDeep(name);
  if (!show) {
    if (menu) menu->setVisible(false);
    return;
  }
  if (!menu) {
    if (!onScreen && !panel) return;
    NSUI::NSMenu* made = buildMenu(name, rows(), rowHeight, maxIconWidth);
    if (!made) return;
    if (onScreen)
      screen->addChild(made, zOrder);
    else
      panel->addChild(made, zOrder);
    menu = made;
  }
  menu->setVisible(true);
}

}  // namespace

void imageViewerPC::showWindowLevelMenu(bool show) {
  showMenu(this, toolPanel, "windowLevelMenu", false, show, kMenuZ, 0, kMenuIconWidth, [this] {
    Ref* multi = viewerMulti;
    std::vector<MenuRow> rows = {
        {NSUI::getLocalizedString("tool_ww_Input"), "", "", NOTIFY_WINDOW_INPUT, multi},
        {NSUI::getLocalizedString("tool_ww_ByMouse"), "", "", NOTIFY_TOOL_WINDOW_BY_TOUCH, multi},
        {NSUI::getLocalizedString("tool_ww_Default"), "", "", NOTIFY_WINDOW_DEFAULT, multi},
    };
    for (const isImageSDK::WindowPreset& preset : windowPresets) {
      std::string value;
      NSUI::UIJson::setJsonString(value, "ww", printed(preset.width));
      NSUI::UIJson::setJsonString(value, "wl", printed(preset.centre));
      rows.push_back({preset.name, "", value, NOTIFY_WINDOW_PRESET, multi});
    }
    return rows;
  });
}

void imageViewerPC::showClutMenu(bool show) {
  showMenu(this, toolPanel, "clutMenu", false, show, kMenuZ, kPictureRowHeight, kMenuIconWidth, [this] {
    Ref* multi = viewerMulti;
    return std::vector<MenuRow>{
        {"", "imgs/bwInverse.png", "bwInverse.plist", NOTIFY_CLUT_SELECT, multi},
        {"", "imgs/hotMetal.png", "HotMetal.plist", NOTIFY_CLUT_SELECT, multi},
        {"", "imgs/spectrum.png", "Spectrum.plist", NOTIFY_CLUT_SELECT, multi},
        {"", "imgs/perfusion.png", "Perfusion.plist", NOTIFY_CLUT_SELECT, multi},
        {"", "imgs/noClut.png", "noClut.plist", NOTIFY_CLUT_SELECT, multi},
    };
  });
}

void imageViewerPC::showOpacityMenu(bool show) {
  showMenu(this, toolPanel, "opacityMenu", false, show, kMenuZ, kPictureRowHeight, kMenuIconWidth, [this] {
    Ref* multi = viewerMulti;
    return std::vector<MenuRow>{
        {"", "imgs/Linear.png", "", NOTIFY_OPACITY_LINEAR, multi},
        {"", "imgs/Log10.png", "", NOTIFY_OPACITY_LOG, multi},
        {"", "imgs/Log10Inv.png", "", NOTIFY_OPACITY_LOG_INVERSE, multi},
    };
  });
}

void imageViewerPC::showDicomMenu(bool show) {
  showMenu(this, toolPanel, "dcmMenu", true, show, kMenuZ, 0, kMenuIconWidth, [this] {
    return std::vector<MenuRow>{
        {"Hide Private Info", "", "", NOTIFY_DICOM_INFO_HIDE, nullptr},
        {"Show Full Info", "", "", NOTIFY_DICOM_INFO_SHOW, nullptr},
        {"Dicom Meta Info", "", "", NOTIFY_DICOM_META_INFO, this},
    };
  });
}

void imageViewerPC::showCaptureMenu(bool show) {
  showMenu(this, toolPanel, "captureMenu", false, show, kMenuZ, 0, kMenuIconWidth, [this] {
    return std::vector<MenuRow>{
        {"Whole Screen", "", "", NOTIFY_CAPTURE_WHOLE_SCREEN, this},
        {"All Image", "", "", NOTIFY_CAPTURE_ALL_IMAGES, this},
        {"Current View", "", "", NOTIFY_CAPTURE_CURRENT_VIEW, this},
    };
  });
}

void imageViewerPC::showProtocolMenu(bool show) {
  showMenu(this, toolPanel, "protocalMenu", true, show, kTopBarMenuZ, kProtocolRowHeight, kTopBarMenuIconWidth,
           [this] {
             std::vector<isImageSDK::ProtocolInfo> fitting;
             isImageSDK::SeriesSummary summary;
             summary.seriesCount = seriesCount;
             summary.imageCount = imageCount;
             summary.isVolume = isVolume;
             summary.is4D = is4D;
             isImageSDK::appManager::getProtocolsFor(fitting, summary);
             std::vector<MenuRow> rows;
             for (const isImageSDK::ProtocolInfo& p : fitting)
               rows.push_back({p.title, p.file, p.type, NOTIFY_PROTOCOL_SELECT, layoutManager});
             return rows;
           });
}

void imageViewerPC::showPhaseMenu(bool show) {
  showMenu(this, toolPanel, "phaseMenu", true, show, kTopBarMenuZ, 0, kTopBarMenuIconWidth, [this] {
    // The phases are counted once, at the first show.
    int phases = 0;
    if (layoutManager && layoutManager->getImageDataList().size() == 1) {
      isImageSDK::isImageData* image = layoutManager->getImageDataList()[0];
      if (image->isMultiFrame()) phases = image->frameLinked ? image->getFirstFrame()->frameCount : 1;
    }
    std::vector<MenuRow> rows;
    for (int i = 0; i < phases; ++i)
      rows.push_back({NSUI::formatString("Phase %i", i + 1), "", NSUI::formatString("%i", i), NOTIFY_PHASE_SELECT,
                      this});
    return rows;
  });
}

void imageViewerPC::placeToolMenu(const std::string& menuName, Node* button) {
  Node* menu = toolPanel ? toolPanel->getInnerContainer()->getChildByName(menuName) : nullptr;
  if (!menu || !button || !button->getParent()) return;
  ui::Layout* inner = toolPanel->getInnerContainer();
  // The button's position in the inner container (the page's content may
  // lie lower in it than the page's origin).
  const Vec2 p = inner->convertToNodeSpace(button->getParent()->convertToWorldSpace(button->getPosition()));

  Vec2 at;
  if (menuName == "windowLevelMenu")
    at = Vec2(20.0f, toolPageKind == TOOL_PAGE_3D ? p.y + 20.0f : p.y - 100.0f);
  else if (menuName == "captureMenu")
    at = Vec2(std::max(0.0f, p.x - 100.0f), p.y + 20.0f);
  else
    at = Vec2(p.x, p.y + 20.0f);
  // The panel clips what lies beyond its width: the list stays inside it.
  at.x = std::max(0.0f, std::min(at.x, toolPanel->getContentSize().width - listWidth(menu)));

  const int d = static_cast<int>(inner->getContentSize().height - toolPanel->getContentSize().height);
  if (d > 0) {
    const int lower = std::min(static_cast<int>(listHeight(menu)), d + static_cast<int>(inner->getPositionY()));
    at.y -= static_cast<float>(lower);
  }
  menu->setPosition(at);
}

void imageViewerPC::refreshWindowPresets() {
  int modality = 7;
  if (viewerMulti)
    if (isImageSDK::KeyViewProperty* cell = viewerMulti->getFocusedCell())
      if (isImageSDK::isImageData* image = cell->imageData) {
        image->updateInformation();
        if (image->getSliceCount() >= 1)
          if (const isImageSDK::SliceRecord* first = image->getSlice(0)) modality = first->modality;
      }
  isImageSDK::getWindowPresets(modality, windowPresets);
  // Built again, with the new presets, at its next show.
  if (Node* menu = findNode("windowLevelMenu")) menu->removeFromParent();
}

void imageViewerPC::updateProtocolButton(int id) {
  if (!getChildByName("root")) return;
  const std::string type = protocolTypeOf(id);
  std::string picture;
  for (const isImageSDK::ProtocolInfo& p : isImageSDK::appManager::getProtocolList())
    if (p.type == type) picture = p.file;
  if (picture.empty()) return;

  auto* button = dynamic_cast<ui::Button*>(findNode("btnCmdProtocal"));
  if (!button) {
    const Size size = getContentSize();
    button = ui::Button::create(picture, picture, picture);
    auto* arrow = ui::Button::create(kProtocolArrowPicture, kProtocolArrowPicture, kProtocolArrowPicture);
    if (!button || !arrow) return;
    button->setName("btnCmdProtocal");
    button->setAnchorPoint(Vec2(1.0f, 0.5f));
    button->setPosition(Vec2(size.width - 120.0f, size.height - 30.0f));
    button->setScale(kProtocolButtonScale);
    button->setPressedActionEnabled(true);
    button->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
    addChild(button, kProtocolButtonZ);
    arrow->setName("btnCmdProtocalArrow");
    arrow->setAnchorPoint(Vec2(1.0f, 0.5f));
    arrow->setPosition(Vec2(size.width - 80.0f, size.height - 30.0f));
    arrow->setScale(kProtocolArrowScale);
    arrow->setPressedActionEnabled(true);
    arrow->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
    addChild(arrow, kProtocolButtonZ);
  }
  button->loadTextures(picture, picture, picture);
}

// ------------------------------------------------------------------ notifications

void imageViewerPC::onWindowInput() {
  if (getChildByName(editWW::kWindowName)) return;
  NSUI::NSResponseWindow* window = editWW::createWindow();
  if (!window) return;
  addChild(window, kPopupZ);
  auto* editor = dynamic_cast<editWW*>(window->getChildByNameDeep(editWW::kViewName));
  openedEditor.reset(editor);
  float width = 0.0f, level = 0.0f;
  if (editor && viewerMulti && viewerMulti->getFocusedCell() && viewerMulti->getFocusedWindowLevel(width, level))
    editor->setWindowLevel(width, level);
}

void imageViewerPC::onWindowApply(Ref* sender, NSUI::NSNotificationData* data) {
  // Only the editor this screen opened: another screen's editor (a pop-up
  // over a screen above this one) posts on the same channel. The sender is
  // compared, never used: its window is gone by now.
  if (!viewerMulti || !data || !sender || sender != openedEditor.node) return;
  const float width = NSUI::UIJson::getJsonFloat(data->text, "ww", 0.0f);
  const float level = NSUI::UIJson::getJsonFloat(data->text, "wl", 0.0f);
  viewerMulti->setWindowLevel(width, level);
}

void imageViewerPC::onPlayState(NSUI::NSNotificationData* data) {
  auto* play = dynamic_cast<ui::Button*>(findNode("btnCmdPlay"));
  if (!play) return;
  const bool playing = data && data->intValue > 0;
  const char* picture = playing ? "imgs/pause.png" : "imgs/play.png";
  play->loadTextures(picture, picture, picture);
  play->setTag(playing ? kTagPlaying : kTagStopped);
}

void imageViewerPC::onDicomMetaInfo() {
  const std::string path = viewerMulti ? viewerMulti->getFocusedFilePath() : std::string();
  if (path.size() <= 2) return;
  NSUI::NSResponseWindow* window = dcmInfoList::createWindow();
  if (!window) return;
  if (auto* list = dynamic_cast<dcmInfoList*>(window->getChildByNameDeep("dcmInfo"))) list->setFilePath(path);
  addChild(window, kPopupZ);
}

void imageViewerPC::onQuickToolShow(NSUI::NSNotificationData* data) {
  if (!quickTool) {
    quickTool = ::quickTool::create();
    if (!quickTool) return;
    const Size size = getContentSize();
    quickTool->maxRect = {static_cast<float>(toolWidth), 0.0f, size.width - static_cast<float>(toolWidth),
                          size.height};
    // After the multi-view: drawn over it and hit first.
    addChild(quickTool);
  }
  auto* window = data ? dynamic_cast<isImageSDK::isRenderWindow*>(data->object) : nullptr;
  if (window) quickTool->attachToWindow(window, ::quickTool::linkedStateOf(window));
}

void imageViewerPC::onViewGeometry(NSUI::NSNotificationData* data) {
  auto* window = data ? dynamic_cast<isImageSDK::isRenderWindow*>(data->object) : nullptr;
  if (quickTool && window) quickTool->followWindow(window, ::quickTool::linkedStateOf(window));
}

void imageViewerPC::onViewerCleanup(NSUI::NSNotificationData* data) {
  if (quickTool && data && static_cast<unsigned int>(data->taskValue) == quickTool->windowId)
    quickTool->setVisible(false);
}

void imageViewerPC::onShowDicomMenu() {
  if (!quickTool) return;
  showDicomMenu(true);
  if (Node* menu = getChildByName("dcmMenu"))
    menu->setPosition(quickTool->getPosition() + Vec2(quickTool->getContentSize().width - 200.0f, 30.0f));
}

void imageViewerPC::onToolsRelayout(NSUI::NSNotificationData* data) {
  int page = TOOL_PAGE_2D;
  if (data && data->intValue > 0)
    page = TOOL_PAGE_VR;
  else if (viewerMulti && viewerMulti->getFocusedViewKind() != 0)
    page = TOOL_PAGE_3D;
  showToolPage(page);
  syncSliceSlider();
}
