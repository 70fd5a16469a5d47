// The multi-view's dispatcher: which cell a viewer command acts on, which
// linked cells follow it, when a 2-D cell becomes a volume cell and back, and
// what the multi-view tells the screen it sits on.
//
// A command acts on the focused cell, or on the cell of the viewer that sent
// it. A 2-D cell (kinds 0-4) carries a command out through its router, a
// volume cell (kinds 5, 6) through the volume viewer's command entry; the
// multi-view is the sender either way, so that both recognise the command as
// coming from above.
#include <vector>

#include "imaging/view/isActorImage.h"
#include "imaging/view/isActorROIBase.h"
#include "imaging/view/isActorVR.h"
#include "imaging/view/isClut.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerImage.h"
#include "imaging/viewers/isViewerMulti.h"
#include "imaging/viewers/isViewerVR.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSMessageBox.h"

namespace isImageSDK {

namespace {

constexpr float kMessageSeconds = 2.0f;

using CellSet = std::vector<KeyViewProperty*>;

bool isPlanar(int kind) { return kind >= VIEW_KIND_SLICE && kind <= VIEW_KIND_OBLIQUE; }
bool isVolumeKind(int kind) { return kind == VIEW_KIND_VR || kind == VIEW_KIND_MIP; }
bool isOrthogonal(int kind) { return kind >= VIEW_KIND_AXIAL && kind <= VIEW_KIND_CORONAL; }

bool is2D(KeyViewProperty* cell) { return isPlanar(cell->getViewKind()); }
bool notVolume(KeyViewProperty* cell) { return !isVolumeKind(cell->getViewKind()); }
bool any(KeyViewProperty*) { return true; }

}  // namespace

// ---------------------------------------------------------------- plumbing

KeyViewProperty* isViewerMulti::commandTarget(cocos2d::Ref* sender) {
  if (sender)
    if (auto* viewer = dynamic_cast<isViewer*>(sender)) return findCell(viewer);
  return focusedCell;
}

void isViewerMulti::handDown(KeyViewProperty* cell, unsigned int id, NSUI::NSNotificationData* data) {
  if (!cell) return;
  cocos2d::Ref* self = this;
  isViewer* viewer = cell->getViewer();
  if (auto* browser = dynamic_cast<isViewerBrowser*>(viewer))
    browser->handleNotification(id, data, self);
  else if (isViewerVR* vr = asVolumeViewer(viewer))
    vr->onNotification(id, data, self);
}

template <class Keep>
void isViewerMulti::handToSet(const std::vector<KeyViewProperty*>& set, unsigned int id,
                              NSUI::NSNotificationData* data, Keep keep) {
  for (KeyViewProperty* cell : set)
    if (keep(cell)) handDown(cell, id, data);
}

void isViewerMulti::postToParent(unsigned int id, NSUI::NSNotificationData* data, bool immediate) {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance())
    nc->postNotification(this, static_cast<int>(id), data, getParent(), immediate);
}

void isViewerMulti::postToolsRelayout(bool volume) {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance())
    nc->postNotificationInt(this, NOTIFY_TOOLS_RELAYOUT, volume ? 1 : 0, nullptr, false);
}

void isViewerMulti::refuseWhileMaximised() {
  NSUI::showMessageBox(NSUI::getLocalizedString("backToNormalSize"), kMessageSeconds);
}

// ---------------------------------------------------------------- the dispatcher

void isViewerMulti::handleNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender) {
  KeyViewProperty* target = commandTarget(sender);
  if (!target) return;
  const int kind = target->getViewKind();
  CellSet set;

  switch (static_cast<int>(id)) {
    case NOTIFY_SLICE_NEXT:
    case NOTIFY_SLICE_PREVIOUS:
      dispatchSliceStep(target, id, data);
      return;

    case NOTIFY_SET_SLICE_INDEX:
      if (isPlanar(kind) && data)
        if (isViewerBrowser* browser = asViewerCell(target)) browser->setFirstSlice(data->intValue, true);
      return;

    case NOTIFY_ROTATE_3D:
      if (kind >= VIEW_KIND_AXIAL && kind <= VIEW_KIND_MIP) handDown(target, id, data);
      return;

    case NOTIFY_VIEW_TYPE_AXIAL:
    case NOTIFY_VIEW_TYPE_SAGITTAL:
    case NOTIFY_VIEW_TYPE_CORONAL:
      dispatchPlaneKind(target, id);
      return;

    case NOTIFY_VIEW_CMD_9013:
    case NOTIFY_LAYOUT_1X1:
    case NOTIFY_LAYOUT_1X2:
    case NOTIFY_LAYOUT_2X1:
    case NOTIFY_LAYOUT_2X2:
    case NOTIFY_OPACITY_LINEAR:
    case NOTIFY_OPACITY_LOG:
    case NOTIFY_OPACITY_LOG_INVERSE:
      if (isPlanar(kind)) handDown(target, id, data);
      return;

    case NOTIFY_VIEW_TYPE_VR:
    case NOTIFY_VIEW_TYPE_MIP:
      dispatchVolumeKind(target, id);
      return;

    case NOTIFY_VIEW_SYNC:
      collectLinked(target, set);
      if (isPlanar(kind)) {
        handToSet(set, id, data, notVolume);
      } else if (isVolumeKind(kind)) {
        for (size_t i = 0; i < set.size(); ++i) handDown(target, id, data);
      }
      return;

    case NOTIFY_WINDOW_DEFAULT:
    case NOTIFY_WINDOW_PRESET:
    case NOTIFY_CLUT_SELECT:
      dispatchWindow(target, id, data);
      return;

    case NOTIFY_TOOL_SELECT:
    case NOTIFY_TOOL_WINDOW_BY_TOUCH:
    case NOTIFY_TOOL_ZOOM:
    case NOTIFY_TOOL_MOVE:
    case NOTIFY_TOOL_ROTATE:
    case NOTIFY_TOOL_PROBE:
    case NOTIFY_ROI_LINE:
    case NOTIFY_ROI_POINT:
    case NOTIFY_ROI_ANGLE:
    case NOTIFY_ROI_CIRCLE:
    case NOTIFY_ROI_POLYGON:
      dispatchTool(target, id, data);
      return;

    case NOTIFY_ROI_REMOVE:
      dispatchRemoveROI(target);
      return;

    case NOTIFY_PLAY_TOGGLE:
    case NOTIFY_PLAY_PRIOR:
    case NOTIFY_PLAY_NEXT:
      if (isPlanar(kind) || isVolumeKind(kind)) handDown(target, id, data);
      return;

    case NOTIFY_VR_ORIENTATION:
      if (isVolumeKind(kind)) handDown(target, id, data);
      return;

    case NOTIFY_SYNC_PAN:
    case NOTIFY_SYNC_ZOOM:
    case NOTIFY_SYNC_WINDOW:
    case NOTIFY_FOCAL_POINT:
      dispatchSync(target, id, data);
      return;

    case NOTIFY_FOCUS_REQUEST:
      dispatchFocus(target);
      return;

    case NOTIFY_HIDE_SLICE_CONTROLS:
      if (isPlanar(kind))
        if (isViewerBrowser* browser = asViewerCell(target)) browser->hideControls();
      return;

    default:
      return;
  }
}

// ---------------------------------------------------------------- slices

void isViewerMulti::dispatchSliceStep(KeyViewProperty* target, unsigned int id, NSUI::NSNotificationData* data) {
  // The screen follows every step request, also one that goes nowhere.
  postToParent(id, nullptr, true);
  const int kind = target->getViewKind();
  if (kind < VIEW_KIND_SLICE || kind > VIEW_KIND_CORONAL) return;

  // Not past either end of the stack, judged on the cell's first viewer.
  isViewerBrowser* browser = asViewerCell(target);
  if (!browser || browser->getImageViewers().empty()) return;
  isActorImage* actor = isViewerBrowser::imageActorOf(browser->getImageViewers().at(0));
  if (!actor || !actor->isPlaneMode() || !actor->getPlane()) return;
  const int index = actor->getSliceIndex();
  const int count = actor->getPlane()->getSliceCount();
  const bool inside = id == NOTIFY_SLICE_NEXT ? index >= 0 && index < count - 1 : index >= 1 && index <= count - 1;
  if (!inside) return;

  if (!target->getViewer()->linked) {
    handDown(target, id, data);
    return;
  }
  CellSet same;
  collectLinkedSameKind(target, same);
  handDown(target, id, data);
  for (KeyViewProperty* cell : same)
    if (cell != target) syncCell(cell, target, true, false, false);

  // The orthogonal views move their reference point to the new slice.
  if (!isOrthogonal(kind)) return;
  isViewerImage* current = browser->getCurrentViewer();
  const cocos2d::Vec3 point = focalPointOf(current);
  auto* focal = new NSUI::NSNotificationData();
  setJsonFloat(focal->text, "x", point.x);
  setJsonFloat(focal->text, "y", point.y);
  setJsonFloat(focal->text, "z", point.z);
  CellSet orthogonal;
  collectLinkedOrthogonal(target, orthogonal);
  handToSet(orthogonal, NOTIFY_FOCAL_POINT, focal, [kind](KeyViewProperty* c) { return c->getViewKind() != kind; });
  focal->release();
}

// ---------------------------------------------------------------- view kinds

void isViewerMulti::dispatchPlaneKind(KeyViewProperty* target, unsigned int id) {
  const int wanted = static_cast<int>(id) - NOTIFY_VIEW_TYPE_AXIAL + VIEW_KIND_AXIAL;
  const int kind = target->getViewKind();
  if (isOrthogonal(kind)) {
    if (kind == wanted) return;
    isViewerBrowser* browser = asViewerCell(target);
    if (!browser) return;
    CellSet others;
    collectLinkedOfKind(wanted, others);
    if (others.empty()) {
      // Alone in its new kind: the cell keeps its point and its zoom.
      const cocos2d::Vec3 point = focalPointOf(browser->getCurrentViewer());
      const float zoom = browser->getZoomRatio();
      browser->setViewKind(wanted);
      browser->moveTo(point);
      browser->setZoomRatio(zoom);
      browser->setViewCenter(point);
    } else {
      browser->setViewKind(wanted);
      syncCell(target, others.front(), true, true, true);
    }
  } else if (isVolumeKind(kind)) {
    isViewerVR* vr = asVolumeViewer(target->getViewer());
    if (vr && vr->maximized) {
      refuseWhileMaximised();
      return;
    }
    toSliceCell(target, wanted);
  }
  postToolsRelayout(false);
}

void isViewerMulti::dispatchVolumeKind(KeyViewProperty* target, unsigned int id) {
  const int kind = target->getViewKind();
  const bool mip = id == NOTIFY_VIEW_TYPE_MIP;
  if (kind >= VIEW_KIND_AXIAL && kind <= VIEW_KIND_OBLIQUE) {
    isViewerBrowser* browser = asViewerCell(target);
    if (browser && browser->hasMaximisedWindow()) {
      refuseWhileMaximised();
      return;
    }
    toVolumeCell(target, mip ? VIEW_KIND_MIP : VIEW_KIND_VR);
  } else if (isViewerVR* vr = asVolumeViewer(target->getViewer())) {
    if (kind == VIEW_KIND_VR && mip)
      vr->switchToMIP();
    else if (kind == VIEW_KIND_MIP && !mip)
      vr->switchToVR();
  }
  postToolsRelayout(true);
}

// ---------------------------------------------------------------- window and colour

void isViewerMulti::dispatchWindow(KeyViewProperty* target, unsigned int id, NSUI::NSNotificationData* data) {
  const int kind = target->getViewKind();
  if (isVolumeKind(kind)) {
    handDown(target, id, data);
    return;
  }
  if (!isPlanar(kind)) return;
  CellSet set;
  collectLinkedSameData(target, target->imageData, set);
  handToSet(set, id, data, is2D);
  if (id != NOTIFY_WINDOW_DEFAULT) return;
  // Cells that show this data fused over their own take the fused default.
  // An unlinked target's set is the target alone, which shows it unfused.
  isImageData* shown = target->imageData;
  collectLinkedFused(target, shown, set);
  handToSet(set, NOTIFY_WINDOW_DEFAULT_FUSED, data,
            [shown](KeyViewProperty* c) { return is2D(c) && c->secondImageData == shown; });
}

// ---------------------------------------------------------------- tools

void isViewerMulti::dispatchTool(KeyViewProperty* target, unsigned int id, NSUI::NSNotificationData* data) {
  const int kind = target->getViewKind();
  const bool planar = isPlanar(kind), volume = isVolumeKind(kind);
  CellSet set;
  switch (static_cast<int>(id)) {
    case NOTIFY_TOOL_SELECT:
      if (!planar) return;
      collectLinked(target, set);
      handToSet(set, id, data, notVolume);
      return;
    case NOTIFY_TOOL_WINDOW_BY_TOUCH:
      if (volume) {
        handDown(target, id, data);
      } else if (planar) {
        collectLinked(target, set);
        handToSet(set, id, data, is2D);
      }
      return;
    case NOTIFY_TOOL_ZOOM:
    case NOTIFY_TOOL_MOVE:
      collectLinked(target, set);
      handToSet(set, id, data, any);
      return;
    case NOTIFY_TOOL_ROTATE:
      if (volume) handDown(target, id, nullptr);
      return;
    case NOTIFY_TOOL_PROBE:
      if (kind < VIEW_KIND_AXIAL || kind > VIEW_KIND_OBLIQUE) return;
      collectLinkedPlanes(target, set);
      handToSet(set, id, data, any);
      return;
    default:  // the measurement tools
      if (planar) handDown(target, id, data);
      if ((planar || volume) && getParent()) postToParent(id, nullptr, true);
      return;
  }
}

void isViewerMulti::dispatchRemoveROI(KeyViewProperty* target) {
  isViewerBrowser* browser = is2D(target) ? asViewerCell(target) : nullptr;
  isViewerImage* current = browser ? browser->getCurrentViewer() : nullptr;
  auto* tool = current ? dynamic_cast<isInteractorImage*>(current->getInteractor()) : nullptr;
  isActorROIBase* selected = tool ? tool->getActiveROI() : nullptr;
  const int roiId = selected && selected->getROIData() ? static_cast<int>(selected->getROIData()->getRefID()) : 0;
  if (roiId == 0) return;
  // Every view of the same data drops the measurement.
  auto* data = new NSUI::NSNotificationData();
  data->taskValue = roiId;
  CellSet set;
  collectLinkedSameData(target, target->imageData, set);
  handToSet(set, NOTIFY_ROI_REMOVE, data, is2D);
  data->release();
}

// ---------------------------------------------------------------- linked gestures

void isViewerMulti::dispatchSync(KeyViewProperty* target, unsigned int id, NSUI::NSNotificationData* data) {
  const int kind = target->getViewKind();
  auto others = [target](auto keep) { return [target, keep](KeyViewProperty* c) { return c != target && keep(c); }; };
  CellSet set;
  switch (static_cast<int>(id)) {
    case NOTIFY_SYNC_PAN:
      if (!isOrthogonal(kind)) return;
      collectLinkedSameKind(target, set);
      handToSet(set, id, data, others(any));
      return;
    case NOTIFY_SYNC_ZOOM:
      if (!isOrthogonal(kind)) return;
      collectLinkedOrthogonal(target, set);
      handToSet(set, id, data, others(any));
      return;
    case NOTIFY_SYNC_WINDOW:
      collectLinkedSameData(target, target->imageData, set);
      handToSet(set, id, data, others(is2D));
      collectLinkedFused(target, target->imageData, set);
      handToSet(set, id, data, others(is2D));
      return;
    case NOTIFY_FOCAL_POINT:
      if (kind < VIEW_KIND_AXIAL || kind > VIEW_KIND_OBLIQUE) return;
      collectLinked(target, set);
      handToSet(set, id, data, others(notVolume));
      return;
    default:
      return;
  }
}

void isViewerMulti::dispatchFocus(KeyViewProperty* target) {
  focusedCell = target;
  CellSet set;
  collectLinked(target, set);
  for (KeyViewProperty* cell : set)
    if (cell != target) handDown(cell, NOTIFY_FOCUS_REQUEST, nullptr);
  postToolsRelayout(isVolumeKind(target->getViewKind()));
  postToParent(NOTIFY_FOCUS_REQUEST, nullptr, false);
}

// ---------------------------------------------------------------- conversions

void isViewerMulti::toVolumeCell(KeyViewProperty* cell, int kind) {
  isViewerBrowser* browser = asViewerCell(cell);
  if (!browser) return;
  const cocos2d::Rect rect(browser->getPosition(), browser->getContentSize());
  const bool linked = browser->linked;
  isActorImage* actor =
      browser->getImageViewers().empty() ? nullptr : isViewerBrowser::imageActorOf(browser->getImageViewers().at(0));
  const bool noted = actor && actor->getClut();
  float width = 0.0f, centre = 0.0f;
  uint8_t table[768] = {};
  if (noted) {
    width = actor->getClut()->windowWidth;
    centre = actor->getClut()->windowCentre;
    browser->getColorTable(table);
  }
  // The record holds the cell until setViewer lets it go.
  browser->removeFromParentAndCleanup(true);

  isViewerVR* vr = asVolumeViewer(createViewer(kind, rect));
  if (!vr) return;
  if (kind == VIEW_KIND_VR)
    vr->switchToVR();
  else
    vr->switchToMIP();
  cell->setViewer(vr);
  vr->linked = linked;
  vr->setVolume(cell->imageData);
  if (noted) {
    vr->setWindow(width, centre);
    if (isActorVR* volumeActor = vr->getVolumeActor()) volumeActor->setColorTable(table);
  }
  if (isCamera* camera = vr->getSceneCamera()) camera->changed = true;
}

void isViewerMulti::toSliceCell(KeyViewProperty* cell, int kind) {
  isViewerVR* vr = asVolumeViewer(cell->getViewer());
  if (!vr) return;
  CellSet others;
  collectLinkedOfKind(kind, others);
  cocos2d::Vec3 point, up;
  vr->getCameraTargetAndUp(&point, &up);
  const float zoom = vr->getZoomRatio();
  const cocos2d::Rect rect(vr->getPosition(), vr->getContentSize());
  const bool linked = vr->linked;
  isActorVR* actor = vr->getVolumeActor();
  const bool noted = actor && actor->getContextRT();
  const float width = noted ? actor->getContextRT()->getWindowWidth() : 0.0f;
  const float level = noted ? actor->getContextRT()->getWindowLevel() : 0.0f;
  vr->removeFromParentAndCleanup(true);

  auto* browser = dynamic_cast<isViewerBrowser*>(createViewer(kind, rect));
  if (!browser) return;
  cell->setViewer(browser);
  browser->linked = linked;
  browser->setImageData(cell->imageData);
  if (noted) browser->setWindowLevel(width, level);
  browser->layoutGrid();
  browser->setViewKind(kind);
  if (others.empty()) {
    browser->moveTo(point);
    browser->setZoomRatio(zoom);
    browser->setViewCenter(point);
  } else {
    syncCell(cell, others.front(), true, true, true);
  }
}

}  // namespace isImageSDK
