// Linked views: the pan, zoom, window and point gestures of a 2-D image
// viewer, passed up to its relay target while they happen inside it, and
// applied when they come back down (or when the viewer stands alone).
//
// Only volumes share pan and focal point; single images keep their own. A
// zoom keeps the focal point (where the reference lines cross) inside the
// window, the further from the edges the more the user zooms in.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/viewers/isViewerImage.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {

constexpr float kDefaultPanMargin = 0.15f;
constexpr float kLargestPanMargin = 0.4999f;

float jsonNumber(const NSUI::NSNotificationData* data, const char* key) {
  return static_cast<float>(std::atof(NSUI::UIJson::getJsonString(data->text, key).c_str()));
}

cocos2d::Vec3 jsonPoint(const NSUI::NSNotificationData* data, const char* x, const char* y, const char* z) {
  return cocos2d::Vec3(jsonNumber(data, x), jsonNumber(data, y), jsonNumber(data, z));
}

}  // namespace

void isViewerImage::zoomStepWithMargin(float f, NSUI::NSNotificationData* data) {
  zoomBy(f);
  if (f > 0.0f && imageData) {
    const cocos2d::Vec2 p = worldToScreen(planeFrame.getTranslation());
    const cocos2d::Size size = getContentSize();
    const bool outside = p.x < 0.0f || p.x > size.width || p.y < 0.0f || p.y > size.height;
    if (outside || (data && data->intValue == 1))
      panBy(0.0f, 0.0f);
    else
      marginPan(planeFrame.getTranslation());
  }
  // Zooming in keeps the focal point ever further from the edges; any other
  // step (zooming out, a refused factor) starts again from the default.
  if (f > 1.0f) {
    panMargin *= f;
    if (panMargin > 0.5f) panMargin = kLargestPanMargin;
  } else {
    panMargin = kDefaultPanMargin;
  }
}

void isViewerImage::addZoomFocalKeys(NSUI::NSNotificationData* data) {
  const cocos2d::Vec3 target = sceneCamera->getTarget();
  const float focalToCentre = worldToScreen(planeFrame.getTranslation()).distance(worldToScreen(target));
  NSUI::UIJson::setJsonFloat(data->text, "focal2center", focalToCentre);
  NSUI::UIJson::setJsonFloat(data->text, "focal_x", target.x);
  NSUI::UIJson::setJsonFloat(data->text, "focal_y", target.y);
  NSUI::UIJson::setJsonFloat(data->text, "focal_z", target.z);
  NSUI::UIJson::setJsonInt(data->text, "validFocal", 1);
  NSUI::UIJson::setJsonFloat(data->text, "zoomRatio", getZoomRatio());
}

void isViewerImage::applyLinkedZoom(NSUI::NSNotificationData* data) {
  const float f = data->floatValue;
  const float theirs = jsonNumber(data, "zoomRatio");
  const float mine = getZoomRatio();
  // A view already zoomed in beyond the sender's ratio does not zoom in
  // further, one zoomed out beyond it does not zoom out further.
  if ((f <= 1.0f || mine <= theirs + 0.01f) && (f >= 1.0f || mine >= theirs - 0.01f)) zoomBy(f);
  panMargin = kDefaultPanMargin;
  if (std::atoi(NSUI::UIJson::getJsonString(data->text, "validFocal").c_str()) == 1) {
    centerOn(jsonPoint(data, "focal_x", "focal_y", "focal_z"));
    return;
  }
  // Pull the focal point toward the window centre until it lies as far from
  // it as on the sender.
  const cocos2d::Vec2 t = worldToScreen(sceneCamera->getTarget());
  const cocos2d::Vec2 p = worldToScreen(planeFrame.getTranslation());
  const float d = p.distance(t);
  const float g = jsonNumber(data, "focal2center");
  const float e = std::fabs(d - g);
  if (e > 0.1f && d > 0.1f && g < d) {
    const cocos2d::Vec2 v = (p - t) * (e / d);
    panBy(v.x, -v.y);
  }
}

void isViewerImage::keepFocalPointInView() {
  panMargin = kDefaultPanMargin;
  const cocos2d::Size size = getContentSize();
  const float w = size.width, h = size.height;
  const float m = std::min(kDefaultPanMargin * w, kDefaultPanMargin * h);
  const cocos2d::Vec3 focal = planeFrame.getTranslation();
  const cocos2d::Vec2 p = worldToScreen(focal);
  if (p.x < m || p.x > w - m || p.y < m || p.y > h - m) centerOn(sceneCamera->projectToTargetPlane(focal));
}

void isViewerImage::postWindowToRelay() {
  const isClut* clut = imageActor ? imageActor->getClut() : nullptr;
  if (!clut) return;
  std::string text;
  NSUI::UIJson::setJsonString(text, "ww", NSUI::formatString("%i", static_cast<int>(clut->windowWidth)));
  NSUI::UIJson::setJsonString(text, "wl", NSUI::formatString("%i", static_cast<int>(clut->windowCentre)));
  if (auto* nc = NSUI::NSNotificationCenter::getInstance())
    nc->postNotificationText(this, NOTIFY_SYNC_WINDOW, text, relayTarget, false);
}

bool isViewerImage::handleLinkedNotification(unsigned int code, NSUI::NSNotificationData* data, cocos2d::Ref* sender) {
  const int id = static_cast<int>(code);
  switch (id) {
    case NOTIFY_DRAG_PAN:
    case NOTIFY_ZOOM_STEP:
    case NOTIFY_PINCH_ZOOM:
    case NOTIFY_DRAG_WINDOW:
    case NOTIFY_FOCAL_POINT:
    case NOTIFY_SYNC_PAN:
    case NOTIFY_SYNC_ZOOM:
    case NOTIFY_SYNC_WINDOW:
    case NOTIFY_SYNC_RECENTRE:
      break;
    default:
      return false;
  }
  // "own": raised inside this window while a relay target waits above it.
  const bool own = relayTarget && sender != relayTarget;
  const bool volume = imageData && imageData->isVolume();
  switch (id) {
    case NOTIFY_DRAG_PAN:
      if (own && volume)
        relay(code, data, true);
      else if (data)
        panBy(jsonNumber(data, "x"), jsonNumber(data, "y"));
      break;
    case NOTIFY_ZOOM_STEP:
      if (!data) break;
      if (own) {
        if (imageData)
          relay(code, data, true);
        else
          zoomBy(data->floatValue);
      } else {
        zoomStepWithMargin(data->floatValue, data);
      }
      break;
    case NOTIFY_PINCH_ZOOM:
      if (own && volume)
        relay(code, data, true);
      else if (data)
        zoomBy(data->floatValue);
      break;
    case NOTIFY_DRAG_WINDOW:
      if (own)
        relay(code, data, true);
      else if (data && imageActor)
        imageActor->adjustWindow(jsonNumber(data, "ww"), jsonNumber(data, "wl"));
      break;
    case NOTIFY_FOCAL_POINT:
      if (!data) break;
      if (own && volume) relay(code, data, true);
      // A point picked in this window lies on its own slice: only the
      // focal point moves. One sent down moves the slice to it as well.
      {
        const cocos2d::Vec3 p = jsonPoint(data, "x", "y", "z");
        if (!own && imageActor) imageActor->setSlicePosition(p.x, p.y, p.z);
        planeFrame.m[12] = p.x;
        planeFrame.m[13] = p.y;
        planeFrame.m[14] = p.z;
        postPlaneFrame();
      }
      break;
    case NOTIFY_SYNC_PAN:
      if (!relayTarget || !data) break;
      if (own) {
        if (volume) relay(code, data, false);
      } else {
        panBy(jsonNumber(data, "x"), jsonNumber(data, "y"));
      }
      break;
    case NOTIFY_SYNC_ZOOM:
      if (!relayTarget || !data || !volume) break;
      if (own) {
        addZoomFocalKeys(data);
        relay(code, data, false);
      } else {
        applyLinkedZoom(data);
      }
      break;
    case NOTIFY_SYNC_WINDOW:
      if (!relayTarget || !imageActor) break;
      if (own)
        postWindowToRelay();
      else if (data)
        imageActor->setWindow(jsonNumber(data, "ww"), jsonNumber(data, "wl"));
      break;
    case NOTIFY_SYNC_RECENTRE:
      if (own) {
        if (volume) relay(code, data, true);
      } else {
        keepFocalPointInView();
      }
      break;
    default:
      break;
  }
  return true;
}

}  // namespace isImageSDK
