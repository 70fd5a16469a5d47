// The picture view: one picture file inside a clipped rectangle that the
// user moves and zooms. Mouse: a left drag moves the picture, a right drag
// (mainly vertical) and the wheel zoom it. Touch: one-finger drags and
// two-finger pans move it, pinches zoom it, through an NSInteractorImage
// (fingers only: the left button's touch 0 is handled as mouse events).
// Every press inside the view is consumed. With the widget's touch-enabled
// flag cleared the wheel and mouse moves pass through to what lies behind.
#pragma once

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/widgets/NSInteractorBase.h"
#include "toolkit/widgets/NSLayout.h"

namespace NSUI {

class NSSpriteView;

// Gives gestures their meaning on a picture view: drags and pans move the
// picture, pinches zoom it (steps leading further beyond 0.1 ... 10 are
// refused).
class NSInteractorImage : public NSInteractorBase {
 public:
  static NSInteractorImage* create();

  void onDrag(const cocos2d::Vec2& step, float speed) override;
  void onPan(const cocos2d::Vec2& step) override;
  void onPinch(float factor) override;

 protected:
  NSInteractorImage() = default;
  NSSpriteView* view() const;
};

class NSSpriteView : public NSLayout {
 public:
  static NSSpriteView* create();
  // The stock picture shown for a missing file.
  static constexpr const char* kNoPicture = "UIRes/noPicture.png";
  static constexpr int kTouchPriority = 100;

  bool init() override;
  void cleanup() override;

  // Callbacks of the all-at-once touch listener.
  virtual void onTouchesBegan(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  virtual void onTouchesMoved(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  virtual void onTouchesEnded(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);
  virtual void onTouchesCancelled(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event);

  bool onMouseScroll(float x, float y, float scrollY) override;
  bool onMouseDown(float x, float y) override;
  bool onMouseMove(float x, float y) override;

  // Shows the picture centred and fitted to the view (loaded through the
  // picture queue when not cached); a missing file shows the stock picture
  // at scale 1. The path is kept in either case.
  void setImage(std::string path);
  const std::string& getImagePath() const { return _imagePath; }
  void moveImageBy(float dx, float dy);
  // Scale of the picture times factor, unless that leads further beyond
  // 0.1 ... 10 (the step that crosses a bound is still applied).
  void zoomImageBy(float factor);

  cocos2d::ui::ImageView* getImageView() const { return _imageView; }
  NSInteractorImage* getInteractor() const { return _interactor; }

 protected:
  NSSpriteView() = default;
  ~NSSpriteView() override;

  NSInteractorImage* _interactor = nullptr;                    // retained
  cocos2d::EventListenerTouchAllAtOnce* _touchListener = nullptr;  // retained
  cocos2d::ui::ImageView* _imageView = nullptr;
  std::string _imagePath;

 private:
  void dropListenerAndInteractor();
};

}  // namespace NSUI
