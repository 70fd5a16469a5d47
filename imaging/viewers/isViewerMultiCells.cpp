// The multi-view's cells at work: making them, aligning a new cell with its
// link partner, and the screen's queries about the focused cell.
#include "imaging/viewers/isViewerMulti.h"

#include "imaging/view/isActorImage.h"
#include "imaging/view/isClut.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerImage.h"
#include "imaging/viewers/isViewerVR.h"

namespace isImageSDK {

isViewer* isViewerMulti::createViewer(int kind, const cocos2d::Rect& rect) {
  if (kind >= VIEW_KIND_SLICE && kind <= VIEW_KIND_OBLIQUE) {
    auto* cell = isViewerBrowser::create();
    if (!cell) return nullptr;
    cell->setContentSize(rect.size);
    cell->setPosition(rect.origin);
    addChild(cell);
    cell->owner = this;
    cell->layoutGrid();
    ++createdViewers;
    return cell;
  }
  if (kind == VIEW_KIND_VR || kind == VIEW_KIND_MIP) {
    isViewer* viewer = createVolumeViewer(kind, rect);
    if (viewer) ++createdViewers;
    return viewer;
  }
  return nullptr;
}

void isViewerMulti::addView(unsigned int kind, bool linked, const cocos2d::Rect& rect, isImageData* data) {
  if (!data || kind > VIEW_KIND_MIP) return;
  if (kind != VIEW_KIND_SLICE) {
    data->updateInformation();
    if (!data->isVolume()) return;
  }
  isViewer* viewer = createViewer(static_cast<int>(kind), rect);
  if (!viewer) return;
  // Both volume kinds render alike; the switch gives the tracking tool and
  // the kind the cell is known by.
  if (isViewerVR* vr = asVolumeViewer(viewer)) {
    if (kind == VIEW_KIND_VR)
      vr->switchToVR();
    else
      vr->switchToMIP();
  }

  KeyViewProperty* cell = KeyViewProperty::create();
  if (!cell) return;
  cell->setViewer(viewer);
  viewer->linked = linked;
  viewer->setImageData(data);
  data->retain();
  cell->imageData = data;
  if (cell->secondImageData) cell->secondImageData->release();
  cell->secondImageData = nullptr;
  viewer->setSecondImageData(nullptr);
  viewer->setViewKind(static_cast<int>(kind));

  KeyViewProperty* partner = findLinkPartner(cell);
  if (linked && partner) {
    syncCell(cell, partner, true, false, false);
  } else if (kind <= VIEW_KIND_CORONAL) {
    if (auto* browser = dynamic_cast<isViewerBrowser*>(viewer)) browser->centerSlices();
  }

  storeCell(cell);
  setBackGroundColorOpacity(0);
}

cocos2d::Vec3 isViewerMulti::focalPointOf(isViewerImage* viewer) {
  if (!viewer || !isViewerBrowser::imageActorOf(viewer)) return cocos2d::Vec3::ZERO;
  const float* m = viewer->planeFrame.m;
  return cocos2d::Vec3(m[12], m[13], m[14]);
}

isViewerBrowser* isViewerMulti::asViewerCell(KeyViewProperty* cell) {
  return cell ? dynamic_cast<isViewerBrowser*>(cell->getViewer()) : nullptr;
}

void isViewerMulti::syncCell(KeyViewProperty* target, KeyViewProperty* reference, bool slice, bool zoom, bool pan) {
  if (!target || !reference || !target->getViewer() || !target->getViewer()->linked) return;
  auto* to = dynamic_cast<isViewerBrowser*>(target->getViewer());
  auto* from = dynamic_cast<isViewerBrowser*>(reference->getViewer());
  if (!to || !from) return;  // volume cells take no view state
  const int kind = target->getViewKind();
  if (kind > VIEW_KIND_CORONAL) return;  // oblique and volume targets

  if (slice && !from->getImageViewers().empty()) {
    isViewerImage* first = from->getImageViewers().at(0);
    if (kind == VIEW_KIND_SLICE) {
      isActorImage* actor = isViewerBrowser::imageActorOf(first);
      to->setFirstSlice(actor ? actor->getSliceIndex() : 0, true);
    } else {
      isViewerImage* current = from->getCurrentViewer() ? from->getCurrentViewer() : first;
      const cocos2d::Vec3 point = focalPointOf(current);
      if (reference->getViewKind() == kind)
        to->setFocalPoints(point, first->getSliceStep());
      else
        to->moveTo(point);
    }
  }
  if (pan) to->setViewCenter(from->getViewCenter());
  if (zoom) to->setZoomRatio(from->getZoomRatio());
}

// ---------------------------------------------------------------- queries

bool isViewerMulti::getFocusedViewRect(cocos2d::Rect& rect) {
  if (!focusedCell || !focusedCell->getViewer()) return false;
  isViewer* viewer = focusedCell->getViewer();
  cocos2d::Rect found;
  bool ok = false;
  if (auto* cell = dynamic_cast<isViewerBrowser*>(viewer))
    ok = cell->getCurrentWindowRect(found);
  else if (isViewerVR* vr = asVolumeViewer(viewer))
    ok = volumeViewRect(vr, found);
  if (!ok) return false;
  found.origin += getPosition();
  rect = found;
  return true;
}

void isViewerMulti::setWindowLevel(float width, float level) {
  if (!focusedCell || !focusedCell->getViewer()) return;
  isViewer* viewer = focusedCell->getViewer();
  if (dynamic_cast<isViewerBrowser*>(viewer)) {
    std::vector<KeyViewProperty*> set;
    collectLinkedSameData(focusedCell, focusedCell->imageData, set);
    for (KeyViewProperty* cell : set)
      if (auto* browser = dynamic_cast<isViewerBrowser*>(cell->getViewer())) browser->setWindowLevel(width, level);
  } else if (isViewerVR* vr = asVolumeViewer(viewer)) {
    volumeSetWindow(vr, width, level);
  }
}

bool isViewerMulti::getFocusedWindowLevel(float& width, float& level) {
  if (!focusedCell || !focusedCell->getViewer()) return false;
  isViewer* viewer = focusedCell->getViewer();
  if (auto* cell = dynamic_cast<isViewerBrowser*>(viewer)) {
    if (cell->getImageViewers().empty()) return false;
    isActorImage* actor = isViewerBrowser::imageActorOf(cell->getImageViewers().at(0));
    if (!actor || !actor->getClut()) return false;
    width = actor->getClut()->windowWidth;
    level = actor->getClut()->windowCentre;
    return true;
  }
  if (isViewerVR* vr = asVolumeViewer(viewer)) return volumeWindowLevel(vr, width, level);
  return false;
}

bool isViewerMulti::getFocusedSliceInfo(int* info) {
  if (!info || !focusedCell || !focusedCell->getViewer()) return false;
  const int kind = focusedCell->getViewKind();
  if (kind < VIEW_KIND_SLICE || kind > VIEW_KIND_CORONAL) return false;
  auto* cell = dynamic_cast<isViewerBrowser*>(focusedCell->getViewer());
  if (!cell || cell->getImageViewers().empty()) return false;
  isActorImage* actor = isViewerBrowser::imageActorOf(cell->getImageViewers().at(0));
  if (!actor) return false;
  info[0] = actor->getSliceIndex();
  info[1] = (actor->getImageData() && actor->isPlaneMode() && actor->getPlane()) ? actor->getPlane()->getSliceCount()
                                                                                 : -1;
  return true;
}

std::string isViewerMulti::getFocusedFilePath() {
  if (!focusedCell || !focusedCell->getViewer()) return "";
  isViewer* viewer = focusedCell->getViewer();
  if (auto* cell = dynamic_cast<isViewerBrowser*>(viewer)) return cell->getFilePath();
  if (isViewerVR* vr = asVolumeViewer(viewer)) return volumeFilePath(vr);
  return "";
}

void isViewerMulti::setPhase(int n) {
  for (auto& entry : cells)
    for (KeyViewProperty* cell : entry.second) {
      isViewer* viewer = cell->getViewer();
      if (auto* browser = dynamic_cast<isViewerBrowser*>(viewer)) {
        for (isViewerImage* image : browser->getImageViewers())
          if (isActorImage* actor = isViewerBrowser::imageActorOf(image)) actor->setFrameIndex(n);
      } else if (isViewerVR* vr = asVolumeViewer(viewer)) {
        volumeSetPhase(vr, n);
      }
    }
}

}  // namespace isImageSDK
