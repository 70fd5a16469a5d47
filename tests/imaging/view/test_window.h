// The small window the view tests and benchmarks drive: a render window
// whose pick lands on the plane through its camera target (as the volume
// viewer's does) and which steps its image actor on 9001 and 9002 and
// changes its window on 9064, as the 2-D viewer will. It stands in for the
// viewers and is never shipped.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "imaging/view/isActorImage.h"
#include "imaging/view/isRenderWindow.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "view_support.h"

namespace viewtest {

class TestWindow : public isImageSDK::isRenderWindow {
 public:
  static TestWindow* create(const cocos2d::Size& size) { return initSized(new TestWindow(), size); }

  bool pickPoint(const cocos2d::Vec2& screenPoint, cocos2d::Vec3* world) override {
    if (!world) return false;
    cocos2d::Vec3 target;
    sceneCamera->worldToScreen(getCameraTarget(), &target);
    const cocos2d::Vec2 local = convertToNodeSpace(screenPoint);
    sceneCamera->screenToWorld(cocos2d::Vec3(local.x, local.y, target.z), world);
    return true;
  }

  void onNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender) override {
    commands.push_back(id);
    isImageSDK::isActorImage* actor = actorManager ? actorManager->getImageActor() : nullptr;
    if (actor && imageData && (id == NOTIFY_SLICE_NEXT || id == NOTIFY_SLICE_PREVIOUS)) {
      actor->setSliceIndex(actor->getSliceIndex() + (id == NOTIFY_SLICE_NEXT ? 1 : -1));
      return;
    }
    if (actor && imageData && id == NOTIFY_DRAG_WINDOW && data) {
      actor->adjustWindow(static_cast<float>(std::atof(NSUI::UIJson::getJsonString(data->text, "ww").c_str())),
                          static_cast<float>(std::atof(NSUI::UIJson::getJsonString(data->text, "wl").c_str())));
      return;
    }
    isRenderWindow::onNotification(id, data, sender);
  }

  // Shows the data's acquired plane in the middle, the camera looking at the
  // slice centre along its normal, rows to the right and columns down, the
  // slice filling the window.
  isImageSDK::isActorImage* show(isImageSDK::isImageData* data) {
    setImageData(data);
    isImageSDK::isActorImage* actor = actorManager->getImageActor();
    actor->setImageData(data);
    lookAtSlice();
    return actor;
  }

  // The camera looks at the slice centre with `up` toward the top of the
  // window and `right` toward its right edge (unit vectors of the display
  // frame); the slice fills the window times `fill`.
  void lookFrom(const cocos2d::Vec3& up, const cocos2d::Vec3& right, float fill = 1.0f) {
    isImageSDK::isActorImage* actor = actorManager->getImageActor();
    const isImageSDK::SliceRecord* r = actor->getOutputSliceInfo();
    cocos2d::Vec3 corners[4];
    if (!r || !actor->getSliceCorners(corners)) return;
    cocos2d::Vec3 centre;
    actor->getSliceCenter(&centre);
    cocos2d::Vec3 view;
    cocos2d::Vec3::cross(up, right, &view);
    setCameraPosition(centre - view * 1000.0f);
    setCameraLookAt(centre, up);
    setCameraPosition(centre - view * 1000.0f);
    float extentRight = 0.0f, extentUp = 0.0f;
    for (const auto& c : corners) {
      extentRight = std::max(extentRight, 2.0f * std::fabs((c - centre).dot(right)));
      extentUp = std::max(extentUp, 2.0f * std::fabs((c - centre).dot(up)));
    }
    const float pixel = std::max(r->spacingX, r->spacingY);
    const cocos2d::Size size = getContentSize();
    const float zoom = std::max((extentRight + pixel) / size.width, (extentUp + pixel) / size.height) / fill;
    zoomReference = zoom;
    setZoom(zoom);
    updateBackground();
    updateOrientationLabels();
  }
  // Rows to the right, columns down.
  void lookAtSlice(float fill = 1.0f) {
    const isImageSDK::SliceRecord* r = actorManager->getImageActor()->getOutputSliceInfo();
    if (!r) return;
    const float* m = r->matrix.m;
    lookFrom(cocos2d::Vec3(-m[4], -m[5], -m[6]), cocos2d::Vec3(m[0], m[1], m[2]), fill);
  }
  // The usual views of a head-first supine patient: axial from the feet,
  // sagittal from the patient's left, coronal from the front.
  void lookAnatomical(int orientation, float fill = 1.0f) {
    switch (orientation) {
      case 1: lookFrom(cocos2d::Vec3(0, 1, 0), cocos2d::Vec3(0, 0, -1), fill); break;
      case 2: lookFrom(cocos2d::Vec3(0, 1, 0), cocos2d::Vec3(1, 0, 0), fill); break;
      default: lookFrom(cocos2d::Vec3(0, 0, 1), cocos2d::Vec3(1, 0, 0), fill); break;
    }
  }

  std::vector<unsigned int> commands;

 protected:
  TestWindow() = default;
};

}  // namespace viewtest
