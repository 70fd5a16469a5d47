// The volume viewer: the viewer of the volume-rendering and maximum-intensity
// cells of a multi-view layout. It is a render window whose only content is
// the volume-rendering actor: it hands the actor its volume, places the
// camera so that the volume is seen from one of the six anatomical sides and
// fits it into the window, turns window and colour-table commands into
// changes of both ray-cast contexts, plays a turntable (the camera orbits in
// 5° steps about the up axis) and takes part in focus and maximise like the
// 2-D viewers.
//
// Commands arrive as notifications addressed to the viewer and as direct
// calls of `onNotification` by the multi-view. The viewer interface is the
// first base, so an isViewerVR* (or isViewer*) is not the address of the
// viewer's node: notifications are addressed to, and come from, the node
// (its cocos2d::Ref* or isRenderWindow*). UI thread only; the render threads
// belong to the actor.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/view/isRenderWindow.h"
#include "imaging/viewers/isViewer.h"

namespace isImageSDK {

class isActorVR;

class isViewerVR : public isViewer, public isRenderWindow {
 public:
  // Constructed, initialised and autoreleased; null when init fails.
  static isViewerVR* create();

  bool init() override;
  // The render window's cleanup, the actor released, then the viewer's
  // cleanup announced on the broadcast channel (task value = reference id).
  void cleanup() override;

  // ---- viewer interface ----
  void setViewKind(int) override {}
  void retainViewer() override { retain(); }
  void releaseViewer() override { release(); }
  void setImageData(isImageData* data) override { setVolume(data); }
  isImageData* getImageData() override { return isRenderWindow::getImageData(); }
  void setViewVisible(bool) override {}

  // ---- render window ----
  // A point on the plane through the camera target that faces the viewer;
  // screenPoint in GL view coordinates. Always true.
  bool pickPoint(const cocos2d::Vec2& screenPoint, cocos2d::Vec3* worldPoint) override;
  void onNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender) override;
  // No corner texts; the edge letters still reach the overlay.
  void updateOverlay(int) override {}
  void addNotificationIds() override;

  // Shows the volume from the anterior side, fitted, with the actor visible.
  // Float PET gets the inverted grey ramp. The same image again: nothing.
  void setVolume(isImageData* image);
  // Kind 5 or 6 with the volume tracking tool; nothing when the kind is
  // already the target kind or the tool already is a volume tracking tool.
  void switchToVR();
  void switchToMIP();
  // Both ray-cast contexts, 256 levels; a width below 2 is raised to 2.
  void setWindow(float width, float level);
  void setFrameVisible(bool shown);
  // The source file of the first slice; "" without data or slices.
  std::string getFilePath();

  // 1 superior, 2 inferior, 3 anterior, 4 posterior, 5 right, 6 left: the
  // side of the patient the eye looks from. Other values are ignored.
  void lookFromSide(int side);
  // Aims the camera at centre and zooms so that the rectangle of the four
  // corners (12 floats) just fits into the window.
  void fitCamera(const float corners[12], const cocos2d::Vec3& centre);
  // A built-in ramp or a table file (see isColorTable.h); a name that does
  // not give a table changes nothing.
  void setColorTableByName(const std::string& name);
  void onTurntableTick(float elapsed);

  isActorVR* getVolumeActor() const { return volumeActor; }
  // The schedule key of the turntable: "vrmip:<reference id>".
  std::string turntableKey() const;

  static constexpr float kStepAngle = 0.0872664600610733f;  // 5° in radians
  static constexpr int kMinTickInterval = 5;
  static constexpr int kMaxTickInterval = 120;
  static constexpr int kTickIntervalStep = 20;
  static constexpr float kMinWindowWidth = 2.0f;

  int32_t turntableSteps = 36;  // the step index wraps after this many 5° steps
                                // (the camera itself keeps turning)
  int32_t stepIndex = 0;        // turntable and manual steps, in [0, turntableSteps)
  bool playing = false;
  int32_t tickCount = 0;        // ticks since play started or the speed changed
  int32_t tickInterval = 60;    // ticks per step while playing, 5 … 120

 protected:
  isViewerVR();
  ~isViewerVR() override;

  void switchTo(int kind);
  void togglePlay();
  void toggleMaximise(NSUI::NSNotificationData* data);
  void onFocusRequest(NSUI::NSNotificationData* data, cocos2d::Ref* sender);
  void markCameraChanged();
  void postCleanup();

  isActorVR* volumeActor = nullptr;  // retained; outlives the manager's release of its actors
};

}  // namespace isImageSDK
