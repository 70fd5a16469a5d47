#include "imaging/viewers/isViewerVR.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "imaging/core/isCamera.h"
#include "imaging/core/isImageData.h"
#include "imaging/view/isActorManager.h"
#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isActorVR.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/view/isOrientation.h"
#include "imaging/viewers/isColorTable.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

using cocos2d::Vec2;
using cocos2d::Vec3;

namespace {

NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

constexpr float kPi = 3.14159265358979f;

float jsonFloat(NSUI::NSNotificationData* data, const char* key) {
  if (!data) return 0.0f;
  return static_cast<float>(std::atof(NSUI::UIJson::getJsonString(data->text, key).c_str()));
}

Vec3 column(const cocos2d::Mat4& m, int c) { return Vec3(m.m[4 * c], m.m[4 * c + 1], m.m[4 * c + 2]); }

Vec3 normalised(Vec3 v) {
  v.normalize();
  return v;
}

// Angle between two directions in radians; 0 when either has no length.
float angleBetween(const Vec3& a, const Vec3& b) {
  const float la = a.length(), lb = b.length();
  if (la <= 0.0f || lb <= 0.0f) return 0.0f;
  return std::acos(std::clamp(a.dot(b) / (la * lb), -1.0f, 1.0f));
}

}  // namespace

isViewerVR::isViewerVR() {
  viewKind = VIEW_KIND_NONE;
  linked = true;
}

isViewerVR::~isViewerVR() {
  // The render window's own teardown follows in its destructor; what the
  // viewer holds goes here, and the viewer's end is announced once more.
  if (volumeActor) {
    isActorVR* actor = volumeActor;
    volumeActor = nullptr;
    actor->release();
  }
  postCleanup();
}

isViewerVR* isViewerVR::create() {
  auto* viewer = new (std::nothrow) isViewerVR();
  if (!viewer) return nullptr;
  if (!viewer->init()) {
    delete viewer;
    return nullptr;
  }
  viewer->autorelease();
  return viewer;
}

bool isViewerVR::init() {
  if (!isRenderWindow::init()) return false;
  turntableSteps = 36;
  tickInterval = 60;
  playing = false;
  tickCount = 0;
  stepIndex = 0;
  return true;
}

void isViewerVR::postCleanup() {
  auto* nc = centre();
  if (!nc) return;
  auto* data = new NSUI::NSNotificationData();
  data->taskValue = static_cast<int>(getRefID());
  nc->postNotification(nullptr, NOTIFY_VIEWER_CLEANUP, data, nullptr, false);
  data->release();
}

void isViewerVR::cleanup() {
  isRenderWindow::cleanup();
  if (volumeActor) {
    isActorVR* actor = volumeActor;
    volumeActor = nullptr;
    actor->release();
  }
  playing = false;
  postCleanup();
}

void isViewerVR::addNotificationIds() {
  for (int id : {NOTIFY_DRAG_WINDOW, NOTIFY_SYNC_WINDOW, NOTIFY_TOOL_ROTATE, NOTIFY_TOOL_WINDOW_BY_TOUCH,
                 NOTIFY_DRAG_PAN, NOTIFY_ZOOM_STEP, NOTIFY_FOCUS_REQUEST})
    notificationIds.push_back(id);
}

std::string isViewerVR::turntableKey() const { return NSUI::formatString("vrmip:%i", static_cast<int>(getRefID())); }

// ------------------------------------------------------------------ volume

void isViewerVR::setVolume(isImageData* image) {
  if (image == imageData) return;
  isRenderWindow::setImageData(image);
  if (!volumeActor) {
    isActorVR* actor = actorManager ? actorManager->getVRActor() : nullptr;
    if (!actor) return;
    actor->retain();
    volumeActor = actor;
  }
  volumeActor->setImageData(imageData);
  if (imageData) {
    const SliceRecord* first = imageData->getSlice(0);
    if (imageData->elementType == ELEMENT_FLOAT && first && first->modality == MODALITY_PT) {
      ColorTable table;
      makeGreyTable(table, true);
      volumeActor->setColorTable(table.data());
    }
  }
  lookFromSide(3);
  if (!volumeActor->isVisible()) volumeActor->setVisible(true);
}

void isViewerVR::switchToVR() { switchTo(VIEW_KIND_VR); }

void isViewerVR::switchToMIP() { switchTo(VIEW_KIND_MIP); }

void isViewerVR::switchTo(int kind) {
  if (viewKind == kind || dynamic_cast<isInteractorTrackVR*>(interactor)) return;
  isInteractorTrackVR* tool = isInteractorTrackVR::create();
  if (!tool) return;
  tool->setTarget(this);
  setInteractor(tool);
  viewKind = kind;
}

void isViewerVR::markCameraChanged() {
  if (sceneCamera) sceneCamera->changed = true;
}

void isViewerVR::setWindow(float width, float level) {
  if (volumeActor) {
    // 255 / width scales the window inside the contexts: keep the width
    // where the actor's own window drag keeps it.
    const float w = std::max(kMinWindowWidth, width);
    for (isVRContext* c : {volumeActor->getContextRT(), volumeActor->getContextBest()})
      if (c) c->setWindow(w, level, 256);
  }
  markCameraChanged();
}

void isViewerVR::setFrameVisible(bool shown) {
  if (actorManager) actorManager->setFrameVisible(shown);
}

std::string isViewerVR::getFilePath() {
  const SliceRecord* first = imageData ? imageData->getSlice(0) : nullptr;
  return first ? first->filePath : "";
}

bool isViewerVR::pickPoint(const Vec2& screenPoint, Vec3* worldPoint) {
  if (!worldPoint) return true;
  Vec3 target;
  sceneCamera->worldToScreen(sceneCamera->getTarget(), &target);
  const Vec2 local = convertToNodeSpace(screenPoint);
  sceneCamera->screenToWorld(Vec3(local.x, local.y, target.z), worldPoint);
  return true;
}

// ------------------------------------------------------------------ camera

void isViewerVR::lookFromSide(int side) {
  if (!imageData || side < 1 || side > 6) return;
  imageData->updateInformation();
  const int32_t* dims = imageData->dimensions;
  const float* sp = imageData->spacing;
  const cocos2d::Mat4 M = imageData->worldMatrix;

  // Sides 1, 2 show an axial plane, 3, 4 a coronal one, 5, 6 a sagittal one.
  const int view = side <= 2 ? 0 : side <= 4 ? 2 : 1;
  const int d = planeIndexForView(view);

  const float half[3] = {(dims[0] - 1) * 0.5f * sp[0], (dims[1] - 1) * 0.5f * sp[1], (dims[2] - 1) * 0.5f * sp[2]};
  const Vec3 K = M.transformPoint(Vec3(half[0], half[1], half[2]));

  const Vec3 c0 = column(M, 0), c1 = column(M, 1), c2 = column(M, 2);
  Vec3 R, U, N;
  int h, v;
  if (d == 1) {
    R = c2, U = c1, N = -c0, h = 2, v = 1;
  } else if (d == 2) {
    R = c2, U = c0, N = c1, h = 2, v = 0;
  } else {
    R = c0, U = c1, N = c2, h = 0, v = 1;
  }

  // The letters of the four edges (top −U, right R, bottom U, left −R), each
  // paired with the edge point on the opposite side of the centre: the point
  // paired with A lies posterior of K, with S inferior, with R to the left.
  const float rowDir[3] = {R.x, R.y, R.z};
  const float colDir[3] = {U.x, U.y, U.z};
  char labels[12] = {};
  computeOrientationLabels(rowDir, colDir, labels, imageData->feetFirstCode, imageData->positionCode);
  const Vec3 points[4] = {K + U * half[1], K - R * half[0], K - U * half[1], K + R * half[0]};
  bool foundA = false, foundS = false, foundR = false;
  Vec3 pA, pS, pR;
  for (int i = 0; i < 4; ++i) {
    switch (labels[3 * i]) {
      case 'A': pA = points[i], foundA = true; break;
      case 'S': pS = points[i], foundS = true; break;
      case 'R': pR = points[i], foundR = true; break;
      default: break;
    }
  }
  Vec3 F, G;
  if (foundA && foundR) {
    F = pA - K;
    G = crossProduct(F, pR - K);
  } else if (foundA && foundS) {
    F = pS - K;
    G = crossProduct(F, pA - K);
  } else if (foundS && foundR) {
    F = pS - K;
    G = crossProduct(F, pR - K);
  } else {
    F = -U;
    G = N;
  }
  F = normalised(F);
  G = normalised(G);

  setCameraPosition(K + G);
  setCameraLookAt(K, -F);

  const float angle = angleBetween(F, column(M, v));
  if (angle > 1.5f && angle < 1.58f) std::swap(h, v);
  const float ev = half[v], eh = half[h];
  const Vec3 X = sceneCamera->getRightVector();
  const Vec3 corners[4] = {K - F * ev - X * eh, K - F * ev + X * eh, K + F * ev + X * eh, K + F * ev - X * eh};
  if (volumeActor) {
    float flat[12];
    for (int i = 0; i < 4; ++i) {
      flat[3 * i] = corners[i].x;
      flat[3 * i + 1] = corners[i].y;
      flat[3 * i + 2] = corners[i].z;
    }
    fitCamera(flat, K);
  }
  // Superior, posterior and right: the opposite side of the view above.
  if (side == 1 || side == 4 || side == 5) rotateAboutUp(kPi);
}

void isViewerVR::fitCamera(const float corners[12], const Vec3& K) {
  if (!sceneCamera) return;
  const CameraState state = sceneCamera->getCameraState();
  setCameraTarget(K);
  setCameraPosition(K - state.viewDirection * state.distance);
  const float zoom = static_cast<float>(sceneCamera->computeFitZoom(corners));
  if (std::isfinite(zoom) && zoom > 0.0f) {
    setZoom(zoom);
    // The fitted view is the zoom ratio's reference (ratio 1).
    zoomReference = zoom;
  }
  const float distance = std::max(10.0f, static_cast<float>(sceneCamera->computeFitDistance(corners)));
  setCameraPosition(K - state.viewDirection * distance);
}

void isViewerVR::setColorTableByName(const std::string& name) {
  if (name.size() < 2) return;
  ColorTable table;
  if (!readColorTable(name, table)) return;
  if (volumeActor) volumeActor->setColorTable(table.data());
}

// --------------------------------------------------------------- turntable

void isViewerVR::onTurntableTick(float) {
  if (!playing) return;
  if (imageData && turntableSteps > 1) {
    if (tickInterval > 0 && tickCount % tickInterval == 0) {
      stepIndex = (stepIndex + 1) % turntableSteps;
      rotateAboutUp(-kStepAngle);
    }
  }
  ++tickCount;
}

void isViewerVR::togglePlay() {
  if (playing) {
    playing = false;
    unschedule(turntableKey());
  } else if (imageData) {
    imageData->updateInformation();
    if (imageData->dimensions[2] > 1) {
      playing = true;
      stepIndex = 0;
      tickCount = 0;
      schedule([this](float dt) { onTurntableTick(dt); }, 0.005f, CC_REPEAT_FOREVER, 0.1f, turntableKey());
    }
  }
  if (auto* nc = centre()) nc->postNotificationInt(this, NOTIFY_PLAY_STATE, playing ? 1 : 0, relayTarget, true);
}

// ---------------------------------------------------------------- commands

void isViewerVR::onFocusRequest(NSUI::NSNotificationData* data, cocos2d::Ref* sender) {
  if (!relayTarget || sender == relayTarget) {
    setFrameVisible(false);
    return;
  }
  setFrameVisible(true);
  relay(NOTIFY_FOCUS_REQUEST, data, true);
  if (auto* nc = centre()) {
    auto* info = new NSUI::NSNotificationData();
    info->setObject(this);
    nc->postNotification(this, NOTIFY_QUICK_TOOL_SHOW, info, nullptr, false);
    info->release();
  }
}

void isViewerVR::toggleMaximise(NSUI::NSNotificationData* data) {
  if (!data) return;
  auto restoreLayout = [this] {
    if (actorManager)
      if (auto* overlay = actorManager->getOverlayActor()) overlay->updateLayout();
  };
  if (static_cast<unsigned int>(data->taskValue) == getRefID()) {
    if (!maximized) {
      savedPosition = getPosition();
      savedSize = getContentSize();
    }
    const CameraState state = getCameraState();
    if (!maximized) {
      maximized = true;
      const float w = jsonFloat(data, "w"), h = jsonFloat(data, "h");
      setPosition(Vec2::ZERO);
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
    restoreLayout();
    if (auto* nc = centre()) nc->postNotificationInt(this, NOTIFY_MAXIMISE_STATE, maximized ? 1 : 0, nullptr, false);
    return;
  }
  if (!maximized) {
    savedPosition = getPosition();
    savedSize = getContentSize();
    maximized = true;
    setPosition(Vec2(10000.0f, 10000.0f));
    setContentSize(cocos2d::Size(128.0f, 128.0f));
  } else {
    maximized = false;
    setPosition(savedPosition);
    setContentSize(savedSize);
    restoreLayout();
  }
  // Out of sight or back in place, the view itself did not change.
  if (sceneCamera) sceneCamera->changed = false;
}

void isViewerVR::onNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender) {
  switch (static_cast<int>(id)) {
    case NOTIFY_ROTATE_3D:
      if (!playing && data) rotateAboutUp(data->floatValue);
      break;
    case NOTIFY_WINDOW_DEFAULT:
      // Without slices there is no default window: the window stays.
      if (imageData && imageData->getSlice(0)) {
        float width = 0.0f, level = 0.0f;
        imageData->getDefaultWindow(&width, &level);
        setWindow(width, level);
      }
      break;
    case NOTIFY_WINDOW_PRESET:
      setWindow(NSUI::UIJson::getJsonFloat(data ? data->text : std::string(), "ww", 0.0f),
                NSUI::UIJson::getJsonFloat(data ? data->text : std::string(), "wl", 0.0f));
      break;
    case NOTIFY_CLUT_SELECT:
      if (data) setColorTableByName(data->text);
      markCameraChanged();
      break;
    case NOTIFY_TOOL_WINDOW_BY_TOUCH:
    case NOTIFY_TOOL_ZOOM:
    case NOTIFY_TOOL_MOVE:
    case NOTIFY_TOOL_ROTATE:
      if (auto* tool = dynamic_cast<isInteractorTrackVR*>(interactor)) {
        const int mode = id == NOTIFY_TOOL_WINDOW_BY_TOUCH ? TOOL_MODE_WINDOW
                         : id == NOTIFY_TOOL_ZOOM           ? TOOL_MODE_ZOOM
                         : id == NOTIFY_TOOL_MOVE           ? TOOL_MODE_PAN
                                                            : TOOL_MODE_ROTATE;
        tool->setToolMode(mode);
      }
      break;
    case NOTIFY_PLAY_TOGGLE:
      togglePlay();
      break;
    case NOTIFY_PLAY_PRIOR:
      if (playing) {
        tickInterval = std::min(kMaxTickInterval, tickInterval + kTickIntervalStep);
        tickCount = 0;
      } else {
        stepIndex = stepIndex - 1 < 0 ? std::max(turntableSteps, 1) - 1 : stepIndex - 1;
        rotateAboutUp(kStepAngle);
      }
      break;
    case NOTIFY_PLAY_NEXT:
      if (playing) {
        tickInterval = std::max(kMinTickInterval, tickInterval - kTickIntervalStep);
        tickCount = 0;
      } else {
        stepIndex = stepIndex + 1 >= turntableSteps ? 0 : stepIndex + 1;
        rotateAboutUp(-kStepAngle);
      }
      break;
    case NOTIFY_VR_ORIENTATION:
      if (data) lookFromSide(data->intValue);
      break;
    case NOTIFY_DRAG_PAN:
      if (data) panBy(jsonFloat(data, "x"), jsonFloat(data, "y"));
      break;
    case NOTIFY_ZOOM_STEP:
      if (data) zoomBy(data->floatValue);
      break;
    case NOTIFY_DRAG_WINDOW:
      if (volumeActor) {
        volumeActor->shiftWindow(jsonFloat(data, "ww"), jsonFloat(data, "wl"));
        markCameraChanged();
      }
      break;
    case NOTIFY_FOCUS_REQUEST:
      onFocusRequest(data, sender);
      break;
    case NOTIFY_CELL_MAXIMISE:
      toggleMaximise(data);
      break;
    case NOTIFY_CELL_CAPTURE:
      break;
    default:
      isRenderWindow::onNotification(id, data, sender);
      break;
  }
}

}  // namespace isImageSDK
