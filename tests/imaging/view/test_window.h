// The small window the view tests and benchmarks drive: a render window
// whose pick lands on the plane through its camera target (as the volume
// viewer's does) and which steps its image actor on 9001 and 9002 and
// changes its window on 9064, as the 2-D viewer will. It stands in for the
// viewers and is never shipped.
#pragma once

#include <cstdlib>
#include <vector>

#include "imaging/view/isActorImage.h"
#include "imaging/view/isRenderWindow.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace viewtest {

class TestWindow : public isImageSDK::isRenderWindow {
 public:
  static TestWindow* create(const cocos2d::Size& size) {
    auto* w = new TestWindow();
    if (!w->init()) {
      delete w;
      return nullptr;
    }
    w->autorelease();
    w->setContentSize(size);
    return w;
  }

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

  void lookAtSlice(float fill = 1.0f) {
    isImageSDK::isActorImage* actor = actorManager->getImageActor();
    const isImageSDK::SliceRecord* r = actor->getOutputSliceInfo();
    if (!r) return;
    cocos2d::Vec3 centre;
    actor->getSliceCenter(&centre);
    const float* m = r->matrix.m;
    const cocos2d::Vec3 column(m[4], m[5], m[6]), normal(m[8], m[9], m[10]);
    setCameraPosition(centre - normal * 1000.0f);
    setCameraLookAt(centre, -column);
    setCameraPosition(centre - normal * 1000.0f);
    const float w = r->width * r->spacingX, h = r->height * r->spacingY;
    const cocos2d::Size size = getContentSize();
    const float zoom = std::max(w / size.width, h / size.height) / fill;
    zoomReference = zoom;
    setZoom(zoom);
    updateBackground();
    updateOrientationLabels();
  }

  std::vector<unsigned int> commands;

 protected:
  TestWindow() = default;
};

}  // namespace viewtest
