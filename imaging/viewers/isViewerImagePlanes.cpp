// The 2-D image viewer: which plane it shows, where its camera stands,
// slice navigation, the focal point, picking and the oblique rotation.
//
// The camera follows the radiologist's convention: axial planes are seen
// from the feet with anterior up (the patient's right on the screen's
// left), coronal planes from the front and sagittal planes from the
// patient's left, both with superior up.
#include <algorithm>
#include <cmath>

#include "imaging/core/isGeometry.h"
#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/view/isOrientation.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerImage.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

using cocos2d::Mat4;
using cocos2d::Vec2;
using cocos2d::Vec3;

namespace {

Vec3 column(const Mat4& m, int c) { return Vec3(m.m[4 * c], m.m[4 * c + 1], m.m[4 * c + 2]); }

void setTranslation(Mat4& m, const Vec3& p) {
  m.m[12] = p.x;
  m.m[13] = p.y;
  m.m[14] = p.z;
}

Vec3 projected(const Vec3& p, const Vec3& planePoint, const Vec3& normal) {
  Vec3 out;
  projectPointOnPlane(p, planePoint, normal, out.x, out.y, out.z);
  return out;
}

void postViewName(cocos2d::Ref* viewer, const char* name) {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance())
    nc->postNotificationText(nullptr, NOTIFY_OVERLAY_VIEW_NAME, name, viewer, false);
}

}  // namespace

// ------------------------------------------------------------- planes

void isViewerImage::showPlane(int plane) {
  if (!imageActor) return;
  imageActor->setVisible(true);
  const bool volume = imageData && imageData->isVolume();
  if (!volume) {
    postViewName(this, "Slice");
    if (plane != 0) return;
  }
  if (imageActor->isPlaneMode() && imageActor->getPlaneOrientation() == plane && imageActor->getSliceIndex() == -1)
    return;
  if (auto* tool = dynamic_cast<isInteractorImage*>(interactor)) tool->clearActiveROI();

  int32_t dims[3] = {0, 0, 0};
  float spacing[3] = {1.0f, 1.0f, 1.0f};
  Mat4 matrix = Mat4::IDENTITY;
  if (imageData) {
    imageData->updateInformation();
    imageData->getDimensions(dims);
    imageData->getSpacing(spacing);
    matrix = imageData->worldMatrix;
  }
  const bool hasData = imageActor->getImageData() != nullptr;
  if (plane == 0) {
    imageActor->resetSlice();
  } else if (hasData) {
    if (plane == 1)
      imageActor->showSagittalPlane();
    else
      imageActor->showCoronalPlane();
    const int count = imageActor->getPlane() ? imageActor->getPlane()->getSliceCount() : 0;
    imageActor->setSliceIndex(std::max(0, count / 2));
  }
  setupPlaneCamera(dims, spacing, matrix, plane);

  const SliceRecord* record = imageActor->getOutputSliceInfo();
  viewKind = appManager::getSliceOrientation(record);
  if (record) record->getCenterMatrix(planeFrame);
  if (actorManager)
    if (isActorCrossLine* lines = actorManager->getCrossLineActor())
      lines->setFrameColorIndex(imageActor->getPlaneOrientation());
  postPlaneFrame();
  if (viewKind >= VIEW_KIND_AXIAL && viewKind <= VIEW_KIND_CORONAL) postViewName(this, viewKindLabel(viewKind));
}

void isViewerImage::showCoronalView() {
  if (viewKind == VIEW_KIND_CORONAL || !imageActor) return;
  int plane = 0;
  if (imageData) {
    imageData->updateInformation();
    const float* m = imageData->worldMatrix.m;
    const float* c[3] = {m, m + 4, m + 8};
    const int pairs[3][2] = {{0, 1}, {1, 2}, {0, 2}};
    for (int p = 0; p < 3; ++p) {
      char labels[12];
      computeOrientationLabels(c[pairs[p][0]], c[pairs[p][1]], labels, imageData->feetFirstCode,
                               imageData->positionCode);
      if (orientationLetterSum(labels) == 314) {
        plane = p;
        break;
      }
    }
  }
  showPlane(plane);
}

// ------------------------------------------------------------- camera

void isViewerImage::setupPlaneCamera(const int32_t* n, const float* s, const Mat4& m, int plane) {
  const float hx = (n[0] - 1) * 0.5f * s[0];
  const float hy = (n[1] - 1) * 0.5f * s[1];
  const float hz = (n[2] - 1) * 0.5f * s[2];
  Vec3 o;
  m.transformPoint(Vec3(hx, hy, hz), &o);

  Vec3 u, v, normal;
  if (plane == 0) {
    u = column(m, 0), v = column(m, 1), normal = column(m, 2);
  } else if (plane == 1) {
    u = column(m, 2), v = column(m, 1), normal = -column(m, 0);
  } else {
    u = column(m, 2), v = column(m, 0), normal = column(m, 1);
  }

  // Each edge point is paired with the label of the opposite edge, so that
  // the point named A lies on the posterior side, R on the left, S below.
  const Vec3 edges[4] = {o + v * hy, o - u * hx, o - v * hy, o + u * hx};
  const float a[3] = {u.x, u.y, u.z}, b[3] = {v.x, v.y, v.z};
  char labels[12];
  const int feetFirst = imageData ? imageData->feetFirstCode : 0;
  const int position = imageData ? imageData->positionCode : 0;
  computeOrientationLabels(a, b, labels, feetFirst, position);
  const Vec3* pointA = nullptr;
  const Vec3* pointS = nullptr;
  const Vec3* pointR = nullptr;
  for (int i = 0; i < 4; ++i) {
    switch (labels[3 * i]) {
      case 'A': pointA = &edges[i]; break;
      case 'S': pointS = &edges[i]; break;
      case 'R': pointR = &edges[i]; break;
      default: break;
    }
  }

  Vec3 view, upReference;
  if (pointA && pointR) {
    Vec3::cross(*pointA - o, *pointR - o, &view);
    upReference = *pointA - o;
  } else if (pointA && pointS) {
    Vec3::cross(*pointS - o, *pointA - o, &view);
    upReference = *pointS - o;
  } else if (!pointA && pointS && pointR) {
    Vec3::cross(*pointS - o, *pointR - o, &view);
    upReference = *pointS - o;
  } else {
    view = normal;
    upReference = -v;
  }
  view.normalize();
  upReference.normalize();
  setCameraPosition(o + view);
  setCameraLookAt(o, -upReference);
  fitCameraToSlice();
  // A plane just fitted into the window is zoom ratio 1, also when the
  // window was laid out before it had data (the zoom limits and the linked
  // zoom work from this ratio).
  zoomReference = sceneCamera->getZoom();
}

void isViewerImage::fitCameraToSlice() {
  if (!imageActor) return;
  Vec3 corners[4];
  const bool haveCorners = imageActor->getImageData() && imageActor->getSliceCorners(corners);
  Vec3 c;
  imageActor->getSliceCenter(&c);
  const CameraState state = getCameraState();
  setCameraTarget(c);
  if (!haveCorners) return;
  float flat[12];
  for (int i = 0; i < 4; ++i) {
    flat[3 * i] = corners[i].x;
    flat[3 * i + 1] = corners[i].y;
    flat[3 * i + 2] = corners[i].z;
  }
  setZoom(static_cast<float>(sceneCamera->computeFitZoom(flat)));
  const float distance = std::max(10.0f, static_cast<float>(sceneCamera->computeFitDistance(flat)));
  // From the target before the move: it differs from c only along the view
  // direction, so the eye stays on the view line through c.
  setCameraPosition(state.target - state.viewDirection * distance);
}

void isViewerImage::notifyViewChanged() {
  isRenderWindow::notifyViewChanged();
  if (!imageData || !imageData->hasData || !imageActor) return;
  const cocos2d::Size size = getContentSize();
  if (!(size.width > 0.0f && size.height > 0.0f)) return;
  if (imageActor->isPlaneMode()) {
    if (imageData->isVolume()) {
      int32_t dims[3];
      float spacing[3];
      imageData->getDimensions(dims);
      imageData->getSpacing(spacing);
      const Mat4 matrix = imageData->worldMatrix;
      setupPlaneCamera(dims, spacing, matrix, imageActor->getPlaneOrientation());
    } else if (const SliceRecord* record = imageActor->getOutputSliceInfo()) {
      const int32_t dims[3] = {record->width, record->height, 1};
      const float spacing[3] = {record->spacingX, record->spacingY, 0.0f};
      const Mat4 matrix = record->matrix;
      setupPlaneCamera(dims, spacing, matrix, 0);
    }
  }
  zoomReference = sceneCamera->getZoom();
}

// ------------------------------------------------------------- slices

void isViewerImage::goToSlice(int index, bool recentre) {
  if (!imageActor) {
    setVisible(false);
    return;
  }
  const SliceRecord* before = imageActor->getOutputSliceInfo();
  const Vec3 normalBefore = before ? column(before->matrix, 2) : Vec3::ZERO;
  imageActor->setSliceIndex(index);
  const int count = imageActor->getPlane() ? imageActor->getPlane()->getSliceCount() : 0;
  if (imageActor->isPlaneMode() && (index < 0 || index >= count)) {
    setVisible(false);
  } else {
    setVisible(true);
    const SliceRecord* record = imageActor->getOutputSliceInfo();
    if (record) {
      const Vec3 normal = column(record->matrix, 2);
      const bool turned = before && Vec3::angle(normalBefore, normal) >= 1e-4f;
      const bool volume = imageData && imageData->isVolume();
      if ((!volume && turned) || recentre) {
        const int32_t dims[3] = {record->width, record->height, 1};
        const float spacing[3] = {record->spacingX, record->spacingY, 0.0f};
        const Mat4 matrix = record->matrix;
        setupPlaneCamera(dims, spacing, matrix, 0);
        record = imageActor->getOutputSliceInfo();
        if (record) record->getCenterMatrix(planeFrame);
      } else {
        setTranslation(planeFrame, projected(planeFrame.getTranslation(), column(record->matrix, 3), normal));
      }
      postPlaneFrame();
    }
  }
  if (viewKind == VIEW_KIND_SLICE) setCrossLinesShown(false);
}

int isViewerImage::getSliceCount() {
  if (!imageActor) return 0;
  if (imageActor->getImageData() && imageActor->isPlaneMode() && imageActor->getPlane())
    return imageActor->getPlane()->getSliceCount();
  return -1;
}

void isViewerImage::setFocalPoint(const Vec3& p) {
  if (!imageData || !imageData->isVolume()) return;
  if (!imageActor) {
    setVisible(false);
    return;
  }
  setTranslation(planeFrame, p);
  if (imageActor->isPlaneMode() && imageActor->getPlane())
    imageActor->setSliceIndex(imageActor->getPlane()->getSliceIndexForPosition(p.x, p.y, p.z));
  if (!imageActor->hasValidSlice()) {
    setVisible(false);
    return;
  }
  setVisible(true);
  postPlaneFrame();
  marginPan(p);
}

Vec3 isViewerImage::getSliceStep() {
  if (!imageData || !imageData->isVolume() || !imageActor) return Vec3::ZERO;
  const SliceRecord* record = imageActor->getOutputSliceInfo();
  if (!record) return Vec3::ZERO;
  float spacing[3];
  imageData->getSpacing(spacing);
  const int plane = imageActor->getPlaneOrientation();
  const float step = plane == 1 ? spacing[0] : plane == 2 ? spacing[1] : spacing[2];
  return column(record->matrix, 2) * step;
}

void isViewerImage::marginPan(const Vec3& point) {
  const Vec2 p = worldToScreen(point);
  const cocos2d::Size size = getContentSize();
  const float w = size.width, h = size.height, m = panMargin;
  float dx = 0.0f, dy = 0.0f;
  if (p.x < w * m)
    dx = p.x - w * m;
  else if (p.x > w - w * m)
    dx = p.x - (w - w * m);
  if (p.y < h * m)
    dy = h * m - p.y;
  else if (p.y > h - h * m)
    dy = (h - h * m) - p.y;
  panBy(dx, dy);
}

// ------------------------------------------------------------- picking

bool isViewerImage::pickPoint(const Vec2& screenPoint, Vec3* worldPoint) {
  if (!imageActor || !worldPoint) return false;
  const SliceRecord* record = imageActor->getOutputSliceInfo();
  if (!record) return false;
  const Vec2 local = convertToNodeSpace(screenPoint);
  Vec3 nearPoint, farPoint;
  sceneCamera->screenToWorld(Vec3(local.x, local.y, 0.0f), &nearPoint);
  sceneCamera->screenToWorld(Vec3(local.x, local.y, 1.0f), &farPoint);
  Vec3 direction = farPoint - nearPoint;
  direction.normalize();
  const Vec3 n = column(record->matrix, 2), q = column(record->matrix, 3);
  const float denominator = n.dot(direction);
  if (std::fabs(denominator) < 1e-12f) return false;  // a ray along the slice never meets it
  const float t = (n.dot(q) - n.dot(nearPoint)) / denominator;
  *worldPoint = nearPoint + direction * t;
  return true;
}

// ----------------------------------------------------- focal-point commands

void isViewerImage::recentre() {
  if (!imageActor || !imageActor->getImageData() || !imageActor->isPlaneMode()) return;
  const int count = imageActor->getPlane() ? imageActor->getPlane()->getSliceCount() : 0;
  imageActor->setSliceIndex(count / 2);
  const SliceRecord* record = imageActor->getOutputSliceInfo();
  if (!record) return;
  // The middle slice is always one to show, also after stepping past an end.
  if (imageActor->hasValidSlice()) setVisible(true);
  if (imageData && imageData->isVolume()) {
    setTranslation(planeFrame, projected(planeFrame.getTranslation(), column(record->matrix, 3),
                                         column(record->matrix, 2)));
  } else {
    const int32_t dims[3] = {record->width, record->height, 1};
    const float spacing[3] = {record->spacingX, record->spacingY, 0.0f};
    const Mat4 matrix = record->matrix;
    setupPlaneCamera(dims, spacing, matrix, 0);
    if ((record = imageActor->getOutputSliceInfo())) record->getCenterMatrix(planeFrame);
  }
  postPlaneFrame();
}

void isViewerImage::applyFocalPoint(const Vec3& point) {
  if (!imageActor) return;
  const SliceRecord* record = imageActor->getOutputSliceInfo();
  if (!record) return;
  setTranslation(planeFrame, projected(point, planeFrame.getTranslation(), column(record->matrix, 2)));
  postPlaneFrame();
}

void isViewerImage::rotateOblique(float degrees) {
  if (!imageActor) return;
  isActorCrossLine* lines = actorManager ? actorManager->findCrossLineActor() : nullptr;
  const bool linesShown = lines && lines->isLinesShown();
  const bool planeKind = viewKind >= VIEW_KIND_AXIAL && viewKind <= VIEW_KIND_CORONAL;
  if (!linesShown && !planeKind) return;

  Mat4 r = planeFrame;
  const Vec3 n = column(r, 2), t = r.getTranslation();
  const CameraState s = getCameraState();
  // Where the line through the camera target along the normal meets the
  // plane: the camera frame is taken there, relative to the plane.
  const float nn = n.dot(n);
  const Vec3 x = nn > 0.0f ? s.target + n * (n.dot(t - s.target) / nn) : s.target;
  const Mat4 k(s.rightAxis, -s.up, s.viewDirection, x);
  const Mat4 q = r.getInversed() * k;

  r.rotateY(degrees / 180.0f * static_cast<float>(M_PI));
  planeFrame = r;
  if (imageActor->getImageData()) imageActor->setResliceMatrix(r);

  const Mat4 turned = r * q;
  const Vec3 target = turned.getTranslation();
  setCameraPosition(target - column(turned, 2) * s.distance);
  setCameraLookAt(target, -column(turned, 1));

  if (actorManager) actorManager->showCrossLines();
  postPlaneFrame();
  if (!linesShown && viewKind != VIEW_KIND_OBLIQUE) {
    viewKind = VIEW_KIND_OBLIQUE;
    // The overlay's view name was the plane's; it now reads "Oblique".
    overlayDirty = true;
  }
}

}  // namespace isImageSDK
