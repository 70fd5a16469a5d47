// The slice the measurement tests draw on: one slice of cols × rows pixels
// of sx × sy millimetres (a ramp, value = base + a·column + b·row, 16-bit
// signed), shown filling a test window with rows to the right and columns
// down, and the conversions between pixel centres, world points and touch
// locations. The measurement registry is emptied after each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/isGeometry.h"
#include "imaging/core/isROIManager.h"
#include "imaging/view/isActorROI.h"
#include "imaging/view/isInteractorImage.h"
#include "test_window.h"
#include "view_support.h"

namespace viewtest {

class MeasureTest : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  Recorder rec;
  TestWindow* w = nullptr;
  isImageSDK::isActorImage* actor = nullptr;
  isImageSDK::isImageData* image = nullptr;
  isImageSDK::isInteractorImage* tool = nullptr;
  int64_t clockMs = 1'000'000;

  void TearDown() override {
    if (w) w->setInteractor(nullptr);
    if (image) image->release();
    isImageSDK::isROIManager::destroyInstance();
  }

  // The ramp slice, identifier `id`, in a window of size at the origin.
  void showSlice(int cols, int rows, float sx, float sy, const std::string& id = "slice",
                 cocos2d::Size size = cocos2d::Size(400, 400), float a = 1.0f, float b = 100.0f, float base = 10.0f) {
    const double row[3] = {1, 0, 0}, col[3] = {0, 1, 0}, pos[3] = {-20, -30, 40};
    const cocos2d::Mat4 m = isImageSDK::makeSliceMatrix(row, col, pos, 0, 0);
    image = isImageSDK::isImageData::create();  // owned: released in TearDown
    const int32_t dims[3] = {cols, rows, 1};
    const float spacing[3] = {sx, sy, 1.0f};
    ASSERT_TRUE(image->buildVolume(dims, spacing, isImageSDK::ELEMENT_INT16, 0, 0, m));
    auto* px = static_cast<int16_t*>(image->slices.front()->pixels);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c) px[r * cols + c] = static_cast<int16_t>(base + a * c + b * r);
    image->setIdentifier(id);
    w = TestWindow::create(size);
    engine.scene->addChild(w);
    actor = w->show(image);
    ASSERT_NE(actor->getOutputSlice(), nullptr);
    stepFrames(2);
  }
  // A tool on the window with the gesture clock under the test's control.
  void addTool(int mode) {
    tool = isImageSDK::isInteractorImage::create();
    tool->setTarget(w);
    tool->setClock([this] { return clockMs; });
    w->setInteractor(tool);
    tool->setToolMode(mode);
  }
  isImageSDK::isActorROI* rois() { return w->getROIActor(); }

  // World point of the centre of pixel (i, j) (fractions allowed).
  cocos2d::Vec3 world(float i, float j) const {
    const isImageSDK::SliceRecord* r = actor->getOutputSliceInfo();
    return r->matrix.transformPoint(cocos2d::Vec3(i * r->spacingX, j * r->spacingY, 0));
  }
  // The touch location (GL view points) of a world point.
  cocos2d::Vec2 at(const cocos2d::Vec3& p) const { return w->convertToWorldSpace(w->worldToScreen(p)); }
  cocos2d::Vec2 pix(float i, float j) const { return at(world(i, j)); }

  cocos2d::GLView* view() { return cocos2d::Director::getInstance()->getOpenGLView(); }
  void touch(cocos2d::EventTouch::EventCode phase, cocos2d::Vec2 p, int id = 1) { view()->injectTouches(phase, {id}, {p}); }
  // A drag in `steps` moves, then a frame for the redraw.
  void drag(cocos2d::Vec2 from, cocos2d::Vec2 to, int steps = 4) {
    touch(cocos2d::EventTouch::EventCode::BEGAN, from);
    clockMs += 200;
    for (int k = 1; k <= steps; ++k) touch(cocos2d::EventTouch::EventCode::MOVED, from + (to - from) * (float(k) / steps));
    touch(cocos2d::EventTouch::EventCode::ENDED, to);
    clockMs += 1000;
    stepFrames(2);
  }
  void tap(cocos2d::Vec2 p, int64_t after = 1000) {
    touch(cocos2d::EventTouch::EventCode::BEGAN, p);
    clockMs += 20;
    touch(cocos2d::EventTouch::EventCode::ENDED, p);
    clockMs += after;
  }
  // Label text of the actor numbered n (1-based), after a few frames.
  std::string labelOf(size_t n) {
    stepFrames(3);
    const auto& list = rois()->getROIActors();
    if (n == 0 || n > list.size() || !list[n - 1]->getLabel()) return "<none>";
    return list[n - 1]->getLabel()->getString();
  }
  static std::string field(const std::string& text, const std::string& key) {
    const size_t at = text.find(key);
    if (at == std::string::npos) return "";
    size_t end = text.find_first_of(",\n ", at + key.size());
    return text.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
  }
};

}  // namespace viewtest
