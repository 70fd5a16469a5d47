// The 2-D image viewer: life cycle, data, reference lines and the shown
// slice's file.
#include "imaging/viewers/isViewerImage.h"

#include <new>

#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/viewers/isColorTable.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"

namespace isImageSDK {

namespace {

NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

void postCleanup(int refId) {
  auto* nc = centre();
  if (!nc) return;
  auto* data = new NSUI::NSNotificationData();
  data->taskValue = refId;
  nc->postNotification(nullptr, NOTIFY_VIEWER_CLEANUP, data, nullptr, false);
  data->release();
}

}  // namespace

isViewerImage::isViewerImage() {
  viewKind = VIEW_KIND_NONE;
  linked = true;
  planeFrame = cocos2d::Mat4::IDENTITY;
  imageActor = nullptr;
}

isViewerImage* isViewerImage::create() {
  auto* viewer = new (std::nothrow) isViewerImage();
  if (!viewer) return nullptr;
  if (!viewer->init()) {
    delete viewer;
    return nullptr;
  }
  viewer->autorelease();
  return viewer;
}

isViewerImage::~isViewerImage() {
  // The second run of cleanup: the window's own parts went with the first
  // run (or go with the base destructors); here only what is left of the
  // viewer, and the listeners hear once more that it is gone.
  cancelDicomInfoRead();
  if (imageActor) imageActor->release();
  imageActor = nullptr;
  postCleanup(static_cast<int>(getRefID()));
}

bool isViewerImage::init() {
  if (!isRenderWindow::init()) return false;
  panMargin = 0.15f;
  if (isInteractorImage* tool = isInteractorImage::create()) {
    setInteractor(tool);
    tool->setTarget(this);
  }
  imageActor = nullptr;
  planeFrame = cocos2d::Mat4::IDENTITY;
  frameShown = false;
  showFullInfo = NSUI::getShowDcmFullInfo();
  overlayDirty = false;
  if (auto* nc = centre()) {
    auto cb = [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
      onNotificationReceived(sender, id, data);
    };
    nc->addObserver(this, nullptr, cb, NOTIFY_DICOM_INFO_HIDE);
    nc->addObserver(this, nullptr, cb, NOTIFY_DICOM_INFO_SHOW);
  }
  return true;
}

void isViewerImage::addNotificationIds() {
  static const int ids[] = {
      NOTIFY_DRAG_WINDOW,     NOTIFY_SYNC_WINDOW,    NOTIFY_FOCAL_POINT,     NOTIFY_SYNC_RECENTRE,
      NOTIFY_DRAG_PAN,        NOTIFY_SYNC_PAN,       NOTIFY_ZOOM_STEP,       NOTIFY_PINCH_ZOOM,
      NOTIFY_SYNC_ZOOM,       NOTIFY_SLICE_NEXT,     NOTIFY_SLICE_PREVIOUS,  NOTIFY_TOOL_WINDOW_BY_TOUCH,
      NOTIFY_TOOL_MOVE,       NOTIFY_TOOL_ZOOM,      NOTIFY_WINDOW_DEFAULT,  NOTIFY_OPACITY_LINEAR,
      NOTIFY_OPACITY_LOG,     NOTIFY_OPACITY_LOG_INVERSE, NOTIFY_WINDOW_PRESET, NOTIFY_FOCUS_REQUEST,
      NOTIFY_ROTATE_3D,       NOTIFY_VIEW_SYNC,      NOTIFY_ROI_LINE,        NOTIFY_ROI_POINT,
      NOTIFY_ROI_ANGLE,       NOTIFY_ROI_CIRCLE,     NOTIFY_ROI_POLYGON,     NOTIFY_WINDOW_INPUT,
  };
  for (int id : ids) notificationIds.push_back(id);
}

void isViewerImage::cleanup() {
  isRenderWindow::cleanup();
  cancelDicomInfoRead();
  if (imageActor) imageActor->release();
  imageActor = nullptr;
  postCleanup(static_cast<int>(getRefID()));
}

void isViewerImage::visit(cocos2d::Renderer* renderer, const cocos2d::Mat4& parentTransform, uint32_t parentFlags) {
  if (!isVisible() || !isVisitableByVisitingCamera()) return;
  isRenderWindow::visit(renderer, parentTransform, parentFlags);
  if (!overlayDirty) return;
  overlayDirty = false;
  updateOverlay(1);
  if (imageActor) imageActor->postViewState();
  // The new overlay starts without edge letters: give it the camera's.
  updateOrientationLabels();
}

// ------------------------------------------------------- viewer interface

void isViewerImage::setViewKind(int kind) {
  if (kind == viewKind) return;
  static const int commands[] = {NOTIFY_VIEW_TYPE_ORIGINAL, NOTIFY_VIEW_TYPE_AXIAL, NOTIFY_VIEW_TYPE_SAGITTAL,
                                 NOTIFY_VIEW_TYPE_CORONAL, NOTIFY_VIEW_TYPE_OBLIQUE};
  // Sent as the relay target would send it, so that it is carried out here.
  if (kind >= 0 && kind <= 4) onNotification(static_cast<unsigned int>(commands[kind]), nullptr, relayTarget);
  viewKind = kind;
}

void isViewerImage::retainViewer() { retain(); }

void isViewerImage::releaseViewer() { release(); }

void isViewerImage::setViewVisible(bool visible) { setVisible(visible); }

void isViewerImage::setImageData(isImageData* data) {
  if (imageData && data && imageData->equal(data)) return;
  isRenderWindow::setImageData(data);

  if (imageActor) imageActor->release();
  imageActor = actorManager ? actorManager->getImageActor() : nullptr;
  if (imageActor) {
    imageActor->retain();
    imageActor->setImageData(data);
  }

  const char* table = kColorTableGrey;
  if (data) {
    data->updateInformation();
    if (data->isVolume()) {
      showPlane(0);
      if (imageActor)
        if (const SliceRecord* record = imageActor->getOutputSliceInfo()) {
          record->getCenterMatrix(planeFrame);
          postPlaneFrame();
        }
    } else if (imageActor) {
      viewKind = VIEW_KIND_SLICE;
      imageActor->setSliceIndex(0);
      if (const SliceRecord* record = imageActor->getOutputSliceInfo()) {
        record->getCenterMatrix(planeFrame);
        const int32_t dims[3] = {record->width, record->height, 1};
        const float spacing[3] = {record->spacingX, record->spacingY, 0.0f};
        const cocos2d::Mat4 matrix = record->matrix;
        setupPlaneCamera(dims, spacing, matrix, 0);
        postPlaneFrame();
      }
      if (auto* nc = centre()) nc->postNotificationText(nullptr, NOTIFY_OVERLAY_VIEW_NAME, "Slice", this, false);
    }
    table = defaultColorTableName(data);
  }
  loadColorTable(table);
}

// --------------------------------------------------------- cross lines

void isViewerImage::setCrossLinesShown(bool show) {
  if (!actorManager) return;
  actorManager->getOverlayActor();
  auto* tool = dynamic_cast<isInteractorImage*>(interactor);
  const int mode = tool ? tool->getToolMode() : -1;
  const bool drawing = mode >= TOOL_MODE_ROI_LINE && mode <= TOOL_MODE_ROI_POLYGON;
  if (show && tool && !drawing) {
    if (!imageActor) return;
    if (isActorCrossLine* lines = actorManager->findCrossLineActor())
      if (lines->isLinesShown()) return;
    if (viewKind < VIEW_KIND_AXIAL || viewKind > VIEW_KIND_CORONAL) return;
    actorManager->showCrossLines();
    if (frameShown) actorManager->setFrameVisible(true);
    if (isActorCrossLine* lines = actorManager->getCrossLineActor())
      lines->setFrameColorIndex(imageActor->getPlaneOrientation());
    postPlaneFrame();
    return;
  }
  if (isActorCrossLine* lines = actorManager->findCrossLineActor()) lines->setCrossLinesVisible(false);
  if (actorManager->getRenderWindow())
    if (isActorCrossLine* lines = actorManager->getCrossLineActor()) lines->setFrameVisible(false);
}

void isViewerImage::syncFrameVisible() {
  if (!actorManager || !actorManager->getRenderWindow()) return;
  if (isActorCrossLine* lines = actorManager->getCrossLineActor()) lines->setFrameVisible(frameShown);
}

std::string isViewerImage::getSliceFilePath() {
  if (!imageActor) return "";
  const SliceRecord* record = imageActor->getOutputSlice();
  return record ? record->filePath : std::string();
}

}  // namespace isImageSDK
