// The quick tool bar: five small buttons that the viewer screen lays over
// the bottom edge of the focused render window — maximise or restore the
// window, keep a picture of the view as a favourite, keep the shown image
// data as a favourite, open the DICOM menu, link or unlink the window with
// the others.
//
// The bar acts on nothing itself. Each button posts a notification (no
// sender, broadcast channel, serial queue), addressed by the window's ref id
// where a window is meant; the screen, the render windows and the viewers do
// the work:
//   "max"       9100 NOTIFY_CELL_MAXIMISE, text {"x","y","w","h"} of maxRect
//               ("%.6f"), taskValue = windowId
//   "favorite"  2030 NOTIFY_QUICK_FAVOURITE, no payload (a picture of the
//               focused view, kept as a favourite)
//   "capture"   9103 NOTIFY_CELL_CAPTURE, taskValue = windowId (the shown
//               slice's data, kept as a favourite)
//   "info"      2029 NOTIFY_SHOW_DICOM_MENU, no payload
//   "link"      9102 NOTIFY_CELL_LINK, intValue 1 / 0, taskValue = windowId;
//               the button shows the new state at once
// The max button changes its picture only when a window reports its state
// (9101 NOTIFY_MAXIMISE_STATE, from any window).
//
// A window-addressed button ("max", "capture", "link") does nothing while
// the bar is bound to no window: a maximise for ref id 0 would send every
// window out of sight, and a capture for 0 would be claimed by any viewer.
#pragma once

#include <string>

#include "engine/cocos2d.h"
#include "engine/ui/Button.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {
class isRenderWindow;
}

class quickTool : public cocos2d::Node {
 public:
  // Autoreleased, initialised and with its buttons; null when init fails.
  static quickTool* create();
  ~quickTool() override;

  // Engine node initialisation; windowId 0; observes 9101 on the broadcast
  // channel.
  bool init() override;
  // Makes the five buttons, in the order "max", "favorite", "capture",
  // "info", "link".
  void createButtons();

  // Binds the bar to `window` and shows it: the window's size, its world
  // origin + (0, 5), the buttons placed, the link button showing `linked`.
  void attachToWindow(isImageSDK::isRenderWindow* window, bool linked);
  // attachToWindow for the bound window only; any other window is ignored.
  void followWindow(isImageSDK::isRenderWindow* window, bool linked);

  void onButtonClicked(cocos2d::Ref* sender);
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);

  // The link state to show for a window: that of the viewer holding it (a
  // 2-D viewer's cell), or of the window itself when it is the viewer (the
  // volume viewer); linked when neither is a viewer.
  static bool linkedStateOf(isImageSDK::isRenderWindow* window);

  // The first button's x offset in a bar `width` wide.
  static int firstButtonX(float width);

  cocos2d::Vector<cocos2d::ui::Button*> buttons;
  struct Area {
    float x = 0.0f, y = 0.0f, w = 0.0f, h = 0.0f;
  };
  // What a maximised window is to fill; set by the screen after creation.
  Area maxRect;
  unsigned int windowId = 0;

 protected:
  quickTool() = default;
  void showLinkState(cocos2d::ui::Button* link, bool linked);
};
