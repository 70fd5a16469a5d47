// The 2-D image viewer: the command entry (the relay rule and what each
// command does), the maximise toggle, the capture request, the
// full-information switch and the plane-frame posts.
#include <cstdlib>
#include <cstring>

#include "engine/base/UserDefault.h"
#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isActorROI.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/viewers/isViewerImage.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"

namespace isImageSDK {

namespace {

NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

// How an id travels when it comes from inside the window while the viewer
// has a relay target.
enum class Route {
  kRelayImmediate,  // passed up, delivered at the next frame, not run here
  kRelaySerial,     // passed up on the serial queue, not run here
  kRun,             // run here whatever the sender
};

Route routeOf(int id) {
  switch (id) {
    case NOTIFY_SLICE_NEXT:
    case NOTIFY_SLICE_PREVIOUS:
      return Route::kRelayImmediate;
    case NOTIFY_VIEW_RECENTRE:
    case NOTIFY_SET_RESLICE_MODE:
    case NOTIFY_SLAB_STEP:
    case NOTIFY_ROTATE_3D:
    case NOTIFY_VIEW_TYPE_AXIAL:
    case NOTIFY_VIEW_TYPE_SAGITTAL:
    case NOTIFY_VIEW_TYPE_CORONAL:
    case NOTIFY_VIEW_TYPE_ORIGINAL:
    case NOTIFY_VIEW_SYNC:
    case NOTIFY_WINDOW_DEFAULT:
    case NOTIFY_WINDOW_PRESET:
    case NOTIFY_OPACITY_LINEAR:
    case NOTIFY_OPACITY_LOG:
    case NOTIFY_OPACITY_LOG_INVERSE:
    case NOTIFY_TOOL_SELECT:
    case NOTIFY_TOOL_WINDOW_BY_TOUCH:
    case NOTIFY_TOOL_ZOOM:
    case NOTIFY_TOOL_MOVE:
    case NOTIFY_TOOL_PROBE:
    case NOTIFY_ROI_LINE:
    case NOTIFY_ROI_POINT:
    case NOTIFY_ROI_ANGLE:
    case NOTIFY_ROI_CIRCLE:
    case NOTIFY_ROI_POLYGON:
    case NOTIFY_SHOW_ACTIVE_MARKER:
      return Route::kRelaySerial;
    default:
      return Route::kRun;
  }
}

int toolModeOf(int id) {
  switch (id) {
    case NOTIFY_TOOL_SELECT: return TOOL_MODE_PROBE;
    case NOTIFY_TOOL_WINDOW_BY_TOUCH: return TOOL_MODE_WINDOW;
    case NOTIFY_TOOL_ZOOM: return TOOL_MODE_ZOOM;
    case NOTIFY_TOOL_MOVE: return TOOL_MODE_PAN;
    case NOTIFY_TOOL_PROBE: return TOOL_MODE_LOCATE;
    case NOTIFY_ROI_LINE: return TOOL_MODE_ROI_LINE;
    case NOTIFY_ROI_POINT: return TOOL_MODE_ROI_POINT;
    case NOTIFY_ROI_ANGLE: return TOOL_MODE_ROI_ANGLE;
    case NOTIFY_ROI_CIRCLE: return TOOL_MODE_ROI_CIRCLE;
    case NOTIFY_ROI_POLYGON: return TOOL_MODE_ROI_POLYGON;
    default: return -1;
  }
}

float jsonNumber(const NSUI::NSNotificationData* data, const char* key) {
  return static_cast<float>(std::atof(NSUI::UIJson::getJsonString(data->text, key).c_str()));
}

}  // namespace

void isViewerImage::onNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender) {
  const int code = static_cast<int>(id);
  if (handleLinkedNotification(id, data, sender)) return;

  const Route route = routeOf(code);
  if (route != Route::kRun && relayTarget && sender != relayTarget) {
    relay(id, data, route == Route::kRelayImmediate);
    return;
  }

  auto* tool = dynamic_cast<isInteractorImage*>(interactor);
  switch (code) {
    case NOTIFY_SLICE_NEXT:
    case NOTIFY_SLICE_PREVIOUS:
      if (imageActor) goToSlice(imageActor->getSliceIndex() + (code == NOTIFY_SLICE_NEXT ? 1 : -1), false);
      return;
    case NOTIFY_VIEW_RECENTRE:
      recentre();
      return;
    case NOTIFY_SET_RESLICE_MODE:
      if (data && imageActor && imageActor->getImageData()) imageActor->setInterpolationMode(data->intValue);
      return;
    case NOTIFY_SLAB_STEP:
      if (data && imageActor) imageActor->setSlabThickness(imageActor->getSlabThickness() + data->floatValue);
      return;
    case NOTIFY_ROTATE_3D:
      if (data) rotateOblique(data->floatValue);
      return;
    case NOTIFY_VIEW_TYPE_AXIAL:
      if (viewKind == VIEW_KIND_AXIAL || !imageActor) return;
      showPlane(planeIndexForView(0));
      return;
    case NOTIFY_VIEW_TYPE_SAGITTAL:
      if (viewKind == VIEW_KIND_SAGITTAL || !imageActor) return;
      showPlane(planeIndexForView(1));
      return;
    case NOTIFY_VIEW_TYPE_CORONAL:
      showCoronalView();
      return;
    case NOTIFY_VIEW_TYPE_ORIGINAL:
      if (viewKind != VIEW_KIND_SLICE) showPlane(0);
      return;
    case NOTIFY_VIEW_SYNC:
      notifyViewChanged();
      return;
    case NOTIFY_WINDOW_DEFAULT:
      if (imageData && imageActor) {
        float width = 0.0f, centreValue = 0.0f;
        imageData->getDefaultWindow(width, centreValue);
        imageActor->setWindow(width, centreValue);
      }
      return;
    case NOTIFY_WINDOW_PRESET:
      if (data && imageData && imageActor)
        imageActor->setWindow(NSUI::UIJson::getJsonFloat(data->text, "ww", 0.0f),
                              NSUI::UIJson::getJsonFloat(data->text, "wl", 0.0f));
      return;
    case NOTIFY_WINDOW_INPUT:
      // The window editor belongs to the screen: always passed up.
      if (relayTarget) relay(id, data, false);
      return;
    case NOTIFY_OPACITY_LINEAR:
    case NOTIFY_OPACITY_LOG:
    case NOTIFY_OPACITY_LOG_INVERSE:
      if (imageActor) imageActor->setClutMode(code - NOTIFY_OPACITY_LINEAR);
      return;
    case NOTIFY_CLUT_SELECT:
      if (data) loadColorTable(data->text);
      return;
    case NOTIFY_TOOL_SELECT:
    case NOTIFY_TOOL_WINDOW_BY_TOUCH:
    case NOTIFY_TOOL_ZOOM:
    case NOTIFY_TOOL_MOVE:
    case NOTIFY_TOOL_PROBE:
      if (tool) tool->setToolMode(toolModeOf(code));
      return;
    case NOTIFY_ROI_LINE:
    case NOTIFY_ROI_POINT:
    case NOTIFY_ROI_ANGLE:
    case NOTIFY_ROI_CIRCLE:
    case NOTIFY_ROI_POLYGON:
      if (!tool) return;
      setCrossLinesShown(false);
      tool->setToolMode(toolModeOf(code));
      return;
    case NOTIFY_ROI_REMOVE:
      if (actorManager && data)
        if (isActorROI* rois = actorManager->getROIActor()) rois->deleteROIById(data->taskValue);
      if (tool) tool->clearActiveROI();
      return;
    case NOTIFY_FOCAL_APPLY:
      if (data)
        applyFocalPoint(cocos2d::Vec3(jsonNumber(data, "x"), jsonNumber(data, "y"), jsonNumber(data, "z")));
      return;
    case NOTIFY_SHOW_ACTIVE_MARKER:
      if (actorManager) actorManager->showActiveMarker();
      return;
    case NOTIFY_FOCUS_REQUEST:
      if (!relayTarget) return;
      relay(id, data, true);
      if (auto* nc = centre()) {
        auto* shown = new NSUI::NSNotificationData();
        shown->setObject(this);
        nc->postNotification(this, NOTIFY_QUICK_TOOL_SHOW, shown, nullptr, false);
        shown->release();
      }
      return;
    case NOTIFY_DICOM_INFO_HIDE:
      switchFullInfo(false);
      return;
    case NOTIFY_DICOM_INFO_SHOW:
      switchFullInfo(true);
      return;
    case NOTIFY_CELL_MAXIMISE:
      toggleMaximise(data);
      return;
    case NOTIFY_CELL_LINK:
      if (data && data->taskValue == static_cast<int>(getRefID()) && relayTarget && sender != relayTarget)
        relay(id, data, false);
      return;
    case NOTIFY_CELL_CAPTURE:
      captureSlice(data);
      return;
    default:
      isRenderWindow::onNotification(id, data, sender);
      return;
  }
}

// ------------------------------------------------------- full information

void isViewerImage::switchFullInfo(bool shown) {
  if (showFullInfo == shown) return;
  NSUI::UILocalConfig::setStringForKeyNoFlush(NSUI::kShowDcmFullInfoSetting, shown ? "1" : "0");
  cocos2d::UserDefault::getInstance()->flush();
  showFullInfo = shown;
  if (actorManager) actorManager->removeOverlayActor();
  overlayDirty = true;
}

// --------------------------------------------------------------- maximise

void isViewerImage::toggleMaximise(NSUI::NSNotificationData* data) {
  if (!data) return;
  if (data->taskValue != static_cast<int>(getRefID())) {
    // Another window fills the screen: this one steps out of sight and
    // comes back with the next toggle.
    if (!maximized) {
      savedPosition = getPosition();
      savedSize = getContentSize();
      maximized = true;
      setPosition(cocos2d::Vec2(10000.0f, 10000.0f));
      setContentSize(cocos2d::Size(128.0f, 128.0f));
    } else {
      maximized = false;
      setPosition(savedPosition);
      setContentSize(savedSize);
      if (actorManager)
        if (isActorOverlay* overlay = actorManager->getOverlayActor()) overlay->updateLayout();
    }
    return;
  }

  // The size change refits the view; the camera read before it is put back
  // after it, so zoom and pan survive.
  const CameraState state = getCameraState();
  if (!maximized) {
    savedPosition = getPosition();
    savedSize = getContentSize();
    maximized = true;
    const float w = jsonNumber(data, "w");
    const float h = jsonNumber(data, "h");
    const cocos2d::Node* parent = getParent();
    setPosition(parent ? -parent->getPosition() : cocos2d::Vec2::ZERO);
    setContentSize(cocos2d::Size(w, h));
    if (actorManager) actorManager->setFrameVisible(false);
  } else {
    maximized = false;
    setPosition(savedPosition);
    setContentSize(savedSize);
  }
  setCameraPosition(state.eye);
  setCameraLookAt(state.target, state.up);
  setZoom(state.zoom);
  updateBackground();
  if (actorManager)
    if (isActorOverlay* overlay = actorManager->getOverlayActor()) overlay->updateLayout();
  if (auto* nc = centre()) nc->postNotificationInt(this, NOTIFY_MAXIMISE_STATE, maximized ? 1 : 0, nullptr, false);
}

// ---------------------------------------------------------------- capture

void isViewerImage::captureSlice(NSUI::NSNotificationData* data) {
  if (!data || !imageActor) return;
  const int self = static_cast<int>(getRefID());
  if (data->taskValue != 0 && data->taskValue != self) return;
  SliceRecord* shown = imageActor->getOutputSlice();
  if (!shown) return;  // nothing to copy: leave the request to another viewer
  // Claimed: the viewers that see this payload after this one ignore it.
  data->taskValue = self;

  auto* copy = new SliceRecord();
  shown->copyTo(copy);
  if (!copy->pixels) {
    delete copy;
    return;
  }
  // The receiver reads the first frame: put the one on screen there.
  const isNodeImage* node = imageActor->getImageNode();
  const int frame = node ? node->getFrameIndex() : 0;
  if (frame > 0 && frame < copy->frameCount) {
    const size_t bytes = static_cast<size_t>(copy->width) * static_cast<size_t>(copy->height) *
                         static_cast<size_t>(bytesPerSample(copy->elementType));
    auto* pixels = static_cast<uint8_t*>(copy->pixels);
    std::memmove(pixels, pixels + bytes * static_cast<size_t>(frame), bytes);
  }
  auto* payload = new NSUI::NSNotificationData();
  payload->setUserData(copy);
  if (auto* nc = centre()) nc->postNotification(nullptr, NOTIFY_FAVOURITE_SAVE, payload, nullptr, false);
  payload->release();
}

// ------------------------------------------------------------ plane frame

void isViewerImage::postPlaneFrame() {
  if (!actorManager || !actorManager->getRenderWindow()) return;
  isActorCrossLine* lines = actorManager->findCrossLineActor();
  if (!lines || !lines->isLinesShown()) return;
  auto* nc = centre();
  if (!nc) return;
  static const char* const kKeys[12] = {"nx1", "nx2", "nx3", "ny1", "ny2", "ny3",
                                        "nz1", "nz2", "nz3", "x",   "y",   "z"};
  std::string text;
  for (int i = 0; i < 12; ++i)
    NSUI::UIJson::setJsonString(text, kKeys[i], NSUI::formatString("%.6f", planeFrame.m[(i / 3) * 4 + i % 3]));
  auto* payload = new NSUI::NSNotificationData();
  payload->text = text;
  nc->cancelNotificationsInFrame(this, NOTIFY_CROSS_POSITION, this);
  nc->postNotification(this, NOTIFY_CROSS_POSITION, payload, this, true);
  nc->cancelNotificationsInFrame(nullptr, NOTIFY_PROBE_POINT, this);
  nc->postNotification(nullptr, NOTIFY_PROBE_POINT, payload, this, true);
  payload->release();
}

}  // namespace isImageSDK
