// The viewer screen: a tool column on the left, a 60-point top bar, and the
// layout manager's multi-view in the rest of the window.
//
// The study browser makes it for one series or a set of series (a path
// relative to the storage root, or the flat JSON {"num","series1",...}),
// may name the hanging protocol to open with, and pushes its scene. The first
// entry starts a one-shot loading job that makes sure each series has its
// series cache, registers a cache reader per series under its path, and ends
// with 2000 NOTIFY_SERIES_LOADED addressed to the screen; the screen then
// builds its viewers through the layout manager.
//
// Files:
//   imageViewerPC.cpp       creation, series text, loading job, 2000,
//                           message panel, leaving and cleanup, the
//                           notification switch, 4-D strip, completion
//                           of loading (9112), 9114, 9115
//   imageViewerPCTools.cpp  top bar and observers, the button handler, the
//                           touch and frame hooks, tool pages, the slider,
//                           the menus (the phase menu too) and window
//                           presets, the protocol button, the quick tool
//                           bar, window editor and tag viewer hosting
//   imageViewerPCFavorite.cpp captures, favourites written as DICOM files on
//                           a thread of their own, the favourites badge
//
// Everything runs on the UI thread except loadSeriesInBackground, which
// reaches the screen only through the shared LoadJobState (see there), and
// saveFavorite, which never touches the screen.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isWindowPresets.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/widgets/NSLayout.h"

namespace isImageSDK {
struct SliceRecord;
class appManager;
class isViewerMulti;
class isImageData;
}  // namespace isImageSDK
namespace NSUI {
class UIScrollViewBase;
}
namespace cocos2d::ui {
class Slider;
}
class quickTool;

class imageViewerPC : public NSUI::NSLayout {
 public:
  enum ToolPage { TOOL_PAGE_2D = 0, TOOL_PAGE_3D = 1, TOOL_PAGE_VR = 2 };

  // What the loading job shares with the screen. The job holds its own
  // reference, so a screen popped while it runs is never touched: cleanup
  // sets `gone`, and the job, which checks it before each step, then
  // unregisters the readers it registered and ends without posting.
  // Registrations and the 2000 post happen under `lock` after a look at
  // `gone`, so nothing is registered or posted once cleanup has set it.
  struct LoadJobState {
    std::atomic<bool> gone{false};
    std::mutex lock;                       // guards `registered`
    std::vector<std::string> registered;   // reader names the job added
    std::string root;                      // storage root, read on the UI thread
  };

  // Builds the scene with the screen named "imageViewPC" (content size the
  // window's) and the series list from `seriesText`; the caller pushes it.
  static cocos2d::Scene* createScene(std::string seriesText);

  CREATE_FUNC(imageViewerPC);
  ~imageViewerPC() override;

  // layoutId = appManager::getLayoutId(name); 0 for any other name.
  void setProtocol(std::string name);
  // Replaces the series list (registered readers of the old list go).
  void setSeriesText(const std::string& text);

  bool init() override;
  void onEnterTransitionDidFinish() override;
  void onExit() override;
  void cleanup() override;
  void visit(cocos2d::Renderer* renderer, const cocos2d::Mat4& transform,
             uint32_t flags) override;
  bool onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) override;

  // Top bar buttons and the screen's observers; once, from createScene.
  void bindControls();
  void onButtonClicked(cocos2d::Ref* sender);
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);

  void attachViewerMulti(isImageSDK::isViewerMulti* multi);
  void showMessagePanel(const std::string& text);
  void setTopButtonsVisible(bool visible);

  // Tool column.
  void showToolPage(int kind);
  void onSliceSlider(cocos2d::Ref* slider, int eventType);
  void syncSliceSlider();

  // Menus: false hides an existing menu (nothing is created); true creates
  // it when missing and shows it. Placement is the caller's.
  void showWindowLevelMenu(bool show);
  void showClutMenu(bool show);
  void showOpacityMenu(bool show);
  void showDicomMenu(bool show);
  void showCaptureMenu(bool show);
  void showProtocolMenu(bool show);
  void refreshWindowPresets();
  void updateProtocolButton(int layoutId);

  // 4-D strip and phase menu.
  void show4DControls(bool show);
  void showPhaseMenu(bool show);

  // The favourite badge; its drawing comes with the favourites screens.
  void updateFavoriteBadge(int count);

  // The viewer area in the screen's coordinates: right of the tool column,
  // below the 60-point top bar.
  cocos2d::Rect viewerArea() const;
  // The page kind for the focused cell: VR for view kinds 5 and 6, 3-D for
  // other non-zero kinds, else 2-D.
  int toolPageForFocus() const;
  bool isPlaying() const;

  // Members, in the order the screen declares them.
  std::vector<isImageSDK::WindowPreset> windowPresets;
  std::vector<std::string> seriesPaths;
  bool firstEntry = true;
  isImageSDK::isViewerMulti* viewerMulti = nullptr;
  int pendingSliceIndex = -1;
  unsigned int lastVisitFrame = 0;
  ::quickTool* quickTool = nullptr;
  NSUI::UIScrollViewBase* toolPanel = nullptr;
  int toolPageKind = -1;
  int toolWidth = 300;
  float sliderLast = 0.0f;
  float pendingRotation = 0.0f;
  isImageSDK::appManager* layoutManager = nullptr;
  int layoutId = 0;
  int seriesCount = 0;
  int imageCount = 0;
  bool isVolume = false;
  bool is4D = false;
  bool loadPending = false;

 protected:
  imageViewerPC() = default;

  // The loading job, on its own thread: scan, then readers, then 2000.
  static void loadSeriesInBackground(imageViewerPC* owner, std::vector<std::string> paths,
                                     std::shared_ptr<LoadJobState> state);

  // Handlers the notification switch calls, by id.
  void onSeriesLoaded(NSUI::NSNotificationData* data);     // 2000
  void on4DLoaded();                                       // 9112
  void onProtocolSelected(NSUI::NSNotificationData* data); // 9114
  void onPhaseSelected(NSUI::NSNotificationData* data);    // 9115
  void onWindowInput();                                    // 9023
  void onWindowApply(cocos2d::Ref* sender, NSUI::NSNotificationData* data);  // 9024
  void onPlayState(NSUI::NSNotificationData* data);        // 9056
  void onDicomMetaInfo();                                  // 9060
  void onQuickToolShow(NSUI::NSNotificationData* data);    // 9097
  void onViewGeometry(NSUI::NSNotificationData* data);     // 9098
  void onViewerCleanup(NSUI::NSNotificationData* data);    // 9099
  void onShowDicomMenu();                                  // 2029
  void onToolsRelayout(NSUI::NSNotificationData* data);    // 9113
  // The 4-D strip's buttons, from onButtonClicked.
  void on4DButton(const std::string& name, cocos2d::Node* button);
  // Places a tool-panel menu after its show (window, colour, opacity,
  // capture) relative to the clicked button.
  void placeToolMenu(const std::string& menuName, cocos2d::Node* button);

  // Readers of this screen out of the registry; the list emptied.
  void unregisterReaders();
  // Usage event through the shell's statistics.
  static void addStat(int event);

  std::shared_ptr<LoadJobState> loadJob;

  // imageViewerPC.cpp's own helpers and members go below this line.

  // The patient library's storage root (ending in "/"): the running task
  // service's, else the library's own folder. Read on the UI thread.
  static std::string storageRoot();
  // Makes the job state and starts the loading job (first entry).
  void startLoadingJob();
  // Job side: the overlay message handed to the UI thread; the final
  // 2000 (false: the failure form); true when the screen is gone (the job
  // then ends, its readers out of the registry).
  static void handOverMessage(imageViewerPC* owner, const std::shared_ptr<LoadJobState>& state,
                              const std::string& text);
  static void postLoaded(imageViewerPC* owner, const std::shared_ptr<LoadJobState>& state, bool success);
  static bool abandonIfGone(const std::shared_ptr<LoadJobState>& state);
  // 2000 failure step: the message panel and the readers out of the
  // registry.
  void failLoading(const std::string& panelText);
  // One series with all its pixels: 4-D frames split, counts taken, shown
  // in layoutId (4 for a volume and 1 otherwise when none was chosen).
  void showSingleSeries(isImageSDK::isImageData* image);
  // compare4d: the outputs joined into one frame set shown in layout 8;
  // "Not 4D Volume" when they do not form one, and with `sideBySide` the
  // outputs then shown side by side. False when no set was built.
  bool showFrameSet(const std::vector<isImageSDK::isImageData*>& images, bool sideBySide);
  // Once the viewers exist: the tool page for what is shown (compare
  // layouts: by the focused cell; one series: 2-D unless a volume, then
  // VR or 3-D by the focused cell), the slider, the top buttons and the
  // window presets.
  void showTools();
  // The title "Phase <n>" of "btn4DMenu" when it exists.
  void setPhaseTitle(int phaseNumber);
  // The window size the screen is built for.
  static cocos2d::Size windowSize();

  // imageViewerPCTools.cpp's own helpers and members go below this line.

  // One reference held on a node for as long as the holder lives.
  struct HeldNode {
    cocos2d::Node* node = nullptr;
    HeldNode() = default;
    HeldNode(const HeldNode&) = delete;
    HeldNode& operator=(const HeldNode&) = delete;
    ~HeldNode() { reset(nullptr); }
    void reset(cocos2d::Node* next) {
      if (next) next->retain();
      if (node) node->release();
      node = next;
    }
  };
  // The editor ("editWW_view") this screen opened last. A 9024 is applied
  // only when it comes from it; the editor posts it as its window closes,
  // so it is held to keep its address from naming anything else.
  HeldNode openedEditor;
  // A node anywhere below the screen, or null.
  cocos2d::Node* findNode(const std::string& name) const;

  // imageViewerPCFavorite.cpp: favourites, captures and the badge.
 protected:
  // 9031, 9032, 9033 and 2030: the chime, then a JPEG of the whole window
  // (9031), of the viewer area (9032) or of the focused cell (9033, 2030;
  // the whole window when no cell has the focus).
  void onCapture(int id);
  // 9104: the chime, then the payload's slice record (taken out of it) is
  // saved on a detached thread. A payload without a record starts nothing.
  void onFavoriteSave(NSUI::NSNotificationData* data);
  // 1004 and 9105: one more on the badge.
  void onFavoriteAdded();
  // The favourite thread's body: writes the slice as a 16-bit DICOM file
  // into the folder "favorite" beside the storage root (a folder path ending
  // with "/", read on the UI thread) and posts 9105 on success. Owns the
  // slice and frees it, its samples included, in every case. Touches no
  // screen: it may outlive the one that started it.
  static void saveFavorite(isImageSDK::SliceRecord* slice, std::string storageRoot);
};
