// The picture view: fitting, the stock picture, wheel and drag zoom, drags,
// touch gestures, and which mouse events it keeps from the nodes behind.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/cocos2d.h"
#include "headless_stage.h"
#include "toolkit/widgets/NSSpriteView.h"

USING_NS_CC;
using NSUI::NSLayout;
using NSUI::NSSpriteView;

namespace {

// A layout behind the view that counts what reaches it.
class Behind : public NSLayout {
 public:
  static Behind* create() {
    auto* b = new Behind;
    b->init();
    b->autorelease();
    return b;
  }
  int scrolls = 0, downs = 0, moves = 0;
  bool onMouseScroll(float, float, float) override { return ++scrolls, true; }
  bool onMouseDown(float, float) override { return ++downs, true; }
  bool onMouseMove(float, float) override { return ++moves, true; }
};

class SpriteView : public ::testing::Test {
 protected:
  void SetUp() override {
    behind = Behind::create();
    behind->setContentSize(Size(800, 600));
    stage.scene->addChild(behind);
    view = NSSpriteView::create();
    ASSERT_NE(view, nullptr);
    // On screen (100, 100)-(500, 400).
    view->setContentSize(Size(400, 300));
    view->setPosition(Vec2(100, 100));
    stage.scene->addChild(view, 1);
    stage.step();
  }
  float scale() const { return view->getImageView()->getScale(); }
  Vec2 picture() const { return view->getImageView()->getPosition(); }
  bool loaded() const { return view->getPendingLoadCount() == 0 && !view->isLoadInFlight(); }

  HeadlessStage stage;
  Behind* behind = nullptr;
  NSSpriteView* view = nullptr;
};

TEST_F(SpriteView, PictureIsCentredAndFitted) {
  ScratchDir dir;
  writePicture(dir.path + "wide.png", 200, 100);
  view->setImage(dir.path + "wide.png");
  ASSERT_TRUE(stage.stepUntil([&] { return loaded(); }));
  EXPECT_EQ(picture(), Vec2(200, 150));
  EXPECT_FLOAT_EQ(scale(), 2.0f);  // min(400 / 200, 300 / 100)
  EXPECT_EQ(view->getImageView()->getVirtualRendererSize(), Size(200, 100));
  EXPECT_EQ(view->getImagePath(), dir.path + "wide.png");
}

TEST_F(SpriteView, MissingFileShowsTheStockPictureUnscaled) {
  view->getImageView()->setScale(3.0f);
  view->moveImageBy(20, 20);
  view->setImage("/nowhere/capture.png");
  EXPECT_FLOAT_EQ(scale(), 1.0f);
  EXPECT_EQ(picture(), Vec2(200, 150));
  EXPECT_EQ(view->getImagePath(), "/nowhere/capture.png");
  ASSERT_TRUE(stage.stepUntil([&] { return loaded(); }));
  EXPECT_EQ(view->getImageView()->getTextureFile(), NSSpriteView::kNoPicture);
  EXPECT_EQ(view->getImageView()->getVirtualRendererSize(), Size(128, 128));
  EXPECT_FLOAT_EQ(scale(), 1.0f);
}

TEST_F(SpriteView, WheelZoomsWithoutBounds) {
  for (int i = 0; i < 10; ++i) stage.view()->injectScroll(300, 250, 1);
  EXPECT_NEAR(scale(), std::pow(0.9, 10), 1e-5);
  stage.view()->injectScroll(300, 250, -1);
  EXPECT_NEAR(scale(), std::pow(0.9, 10) * 1.1, 1e-5);
  stage.view()->injectScroll(300, 250, 0);
  EXPECT_NEAR(scale(), std::pow(0.9, 10) * 1.1, 1e-5);
  EXPECT_EQ(behind->scrolls, 0);
  stage.view()->injectScroll(50, 50, 1);  // outside the view
  EXPECT_EQ(behind->scrolls, 1);
}

TEST_F(SpriteView, RightDragZoomsWithinBoundsAndLeftDragMoves) {
  view->getImageView()->setScale(9.9f);
  stage.view()->injectMouseDown(300, 200, 1);
  stage.view()->injectMouseMove(300, 210, 1);  // upward: zoom in
  EXPECT_NEAR(scale(), 10.395f, 1e-4);
  stage.view()->injectMouseMove(300, 220, 1);  // beyond 10: refused
  EXPECT_NEAR(scale(), 10.395f, 1e-4);
  stage.view()->injectMouseMove(330, 221, 1);  // mainly sideways: nothing
  EXPECT_NEAR(scale(), 10.395f, 1e-4);
  stage.view()->injectMouseMove(330, 211, 1);  // downward: zoom out
  EXPECT_NEAR(scale(), 10.395f * 0.95f, 1e-4);
  stage.view()->injectMouseUp(330, 211, 1);

  const Vec2 start = picture();
  stage.view()->injectMouseDown(300, 200, 0);
  stage.view()->injectMouseMove(320, 190, 0);
  stage.view()->injectMouseMove(330, 195, 0);
  EXPECT_EQ(picture(), start + Vec2(30, -5));
  // Moves outside the view no longer reach it.
  stage.view()->injectMouseMove(600, 195, 0);
  EXPECT_EQ(picture(), start + Vec2(30, -5));
  stage.view()->injectMouseUp(600, 195, 0);
  EXPECT_EQ(behind->downs, 0);
  EXPECT_EQ(behind->moves, 1);  // the one outside
}

TEST_F(SpriteView, WithTouchDisabledOnlyPressesAreKept) {
  view->setTouchEnabled(false);
  stage.view()->injectScroll(300, 250, 1);
  stage.view()->injectMouseMove(310, 250);
  stage.view()->injectMouseDown(310, 250, 1);
  stage.view()->injectMouseMove(310, 270, 1);
  stage.view()->injectMouseUp(310, 270, 1);
  EXPECT_FLOAT_EQ(scale(), 1.0f);
  EXPECT_EQ(behind->scrolls, 1);
  EXPECT_EQ(behind->moves, 2);
  EXPECT_EQ(behind->downs, 0);
}

TEST_F(SpriteView, FingersDragPanAndPinch) {
  const Vec2 start = picture();
  auto& v = *stage.view();
  v.injectTouches(EventTouch::EventCode::BEGAN, {1}, {Vec2(200, 200)});
  v.injectTouches(EventTouch::EventCode::MOVED, {1}, {Vec2(230, 220)});
  EXPECT_EQ(picture(), start + Vec2(30, 20));
  v.injectTouches(EventTouch::EventCode::ENDED, {1}, {Vec2(230, 220)});
  // Two fingers 100 apart spread to 200: the scale doubles; their mean
  // movement pans the picture.
  v.injectTouches(EventTouch::EventCode::BEGAN, {1, 2}, {Vec2(200, 200), Vec2(300, 200)});
  v.injectTouches(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(150, 200), Vec2(350, 200)});
  EXPECT_FLOAT_EQ(scale(), 2.0f);
  EXPECT_EQ(picture(), start + Vec2(30, 20));
  v.injectTouches(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(150, 220), Vec2(350, 220)});
  EXPECT_FLOAT_EQ(scale(), 2.0f);
  EXPECT_EQ(picture(), start + Vec2(30, 40));
  v.injectTouches(EventTouch::EventCode::ENDED, {1, 2}, {Vec2(150, 220), Vec2(350, 220)});
  EXPECT_FALSE(NSUI::NSInteractorBase::isCaptureActive());

  // A pinch on a picture below 0.1 cannot shrink it further.
  view->getImageView()->setScale(0.095f);
  v.injectTouches(EventTouch::EventCode::BEGAN, {1, 2}, {Vec2(200, 200), Vec2(300, 200)});
  v.injectTouches(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(220, 200), Vec2(280, 200)});
  EXPECT_FLOAT_EQ(scale(), 0.095f);
  v.injectTouches(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(200, 200), Vec2(300, 200)});
  EXPECT_NEAR(scale(), 0.095f * 100.0f / 60.0f, 1e-5);
  v.injectTouches(EventTouch::EventCode::ENDED, {1, 2}, {Vec2(200, 200), Vec2(300, 200)});
}

TEST_F(SpriteView, TwoViewsShareOneCapture) {
  auto* second = NSSpriteView::create();
  second->setContentSize(Size(200, 200));
  second->setPosition(Vec2(550, 100));
  stage.scene->addChild(second, 1);
  second->setImage("");
  auto& v = *stage.view();
  v.injectTouches(EventTouch::EventCode::BEGAN, {1}, {Vec2(200, 200)});
  v.injectTouches(EventTouch::EventCode::BEGAN, {2}, {Vec2(600, 200)});
  v.injectTouches(EventTouch::EventCode::MOVED, {2}, {Vec2(650, 250)});
  EXPECT_EQ(second->getImageView()->getPosition(), Vec2(100, 100));
  v.injectTouches(EventTouch::EventCode::ENDED, {1, 2}, {Vec2(200, 200), Vec2(650, 250)});
  v.injectTouches(EventTouch::EventCode::BEGAN, {3}, {Vec2(600, 200)});
  v.injectTouches(EventTouch::EventCode::MOVED, {3}, {Vec2(610, 200)});
  v.injectTouches(EventTouch::EventCode::ENDED, {3}, {Vec2(610, 200)});
  EXPECT_EQ(second->getImageView()->getPosition(), Vec2(110, 100));
}

}  // namespace
