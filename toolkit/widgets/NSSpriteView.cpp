#include "toolkit/widgets/NSSpriteView.h"

#include <cmath>

USING_NS_CC;

namespace NSUI {

namespace {

constexpr float kMinScale = 0.1f;
constexpr float kMaxScale = 10.0f;

}  // namespace

// ---------------------------------------------------------------- interactor

NSInteractorImage* NSInteractorImage::create() {
  auto* interactor = new (std::nothrow) NSInteractorImage();
  if (interactor && interactor->init()) {
    interactor->autorelease();
    return interactor;
  }
  delete interactor;
  return nullptr;
}

NSSpriteView* NSInteractorImage::view() const { return dynamic_cast<NSSpriteView*>(target); }

void NSInteractorImage::onDrag(const Vec2& step, float speed) {
  if (NSSpriteView* v = view()) v->moveImageBy(step.x, step.y);
}

void NSInteractorImage::onPan(const Vec2& step) {
  if (NSSpriteView* v = view()) v->moveImageBy(step.x, step.y);
}

void NSInteractorImage::onPinch(float factor) {
  if (NSSpriteView* v = view()) v->zoomImageBy(factor);
}

// ---------------------------------------------------------------- view

NSSpriteView* NSSpriteView::create() {
  auto* view = new (std::nothrow) NSSpriteView();
  if (view && view->init()) {
    view->autorelease();
    return view;
  }
  delete view;
  return nullptr;
}

NSSpriteView::~NSSpriteView() { dropListenerAndInteractor(); }

bool NSSpriteView::init() {
  if (!NSLayout::init()) return false;
  _imageView = ui::ImageView::create();
  addChild(_imageView);
  _imagePath.clear();
  setClippingEnabled(true);

  _touchListener = EventListenerTouchAllAtOnce::create();
  _touchListener->retain();
  _touchListener->onTouchesBegan = [this](const std::vector<Touch*>& t, Event* e) { onTouchesBegan(t, e); };
  _touchListener->onTouchesMoved = [this](const std::vector<Touch*>& t, Event* e) { onTouchesMoved(t, e); };
  _touchListener->onTouchesEnded = [this](const std::vector<Touch*>& t, Event* e) { onTouchesEnded(t, e); };
  _touchListener->onTouchesCancelled = [this](const std::vector<Touch*>& t, Event* e) {
    onTouchesCancelled(t, e);
  };
  getEventDispatcher()->addEventListenerWithFixedPriority(_touchListener, kTouchPriority);
  // The wheel and drags are on; the widget's own touch listener is not
  // used (the interactor decides by capture).
  _touchEnabled = true;

  _interactor = NSInteractorImage::create();
  if (!_interactor) return false;
  _interactor->retain();
  _interactor->setTarget(this);
  return true;
}

void NSSpriteView::cleanup() {
  NSLayout::cleanup();
  dropListenerAndInteractor();
}

void NSSpriteView::dropListenerAndInteractor() {
  if (_touchListener) {
    if (Director::getInstanceIfExists()) getEventDispatcher()->removeEventListener(_touchListener);
    _touchListener->release();
    _touchListener = nullptr;
  }
  if (_interactor) {
    // The interactor holds a reference on this view: let it go last.
    NSInteractorImage* interactor = _interactor;
    _interactor = nullptr;
    interactor->release();
  }
}

namespace {

// The left mouse button also arrives as touch 0; the view already follows
// it as mouse events, so only fingers go to the gestures (a left drag
// would otherwise move the picture twice, and on beyond the view's edge).
std::vector<Touch*> fingers(const std::vector<Touch*>& touches) {
  std::vector<Touch*> out;
  out.reserve(touches.size());
  for (Touch* t : touches) {
    if (t->getID() != 0) out.push_back(t);
  }
  return out;
}

}  // namespace

void NSSpriteView::onTouchesBegan(const std::vector<Touch*>& touches, Event* event) {
  auto f = fingers(touches);
  if (_interactor && !f.empty()) _interactor->handleTouchesBegan(f, event);
}

void NSSpriteView::onTouchesMoved(const std::vector<Touch*>& touches, Event* event) {
  auto f = fingers(touches);
  if (_interactor && !f.empty()) _interactor->handleTouchesMoved(f, event);
}

void NSSpriteView::onTouchesEnded(const std::vector<Touch*>& touches, Event* event) {
  auto f = fingers(touches);
  if (_interactor && !f.empty()) _interactor->handleTouchesEnded(f, event);
}

void NSSpriteView::onTouchesCancelled(const std::vector<Touch*>& touches, Event* event) {
  auto f = fingers(touches);
  if (_interactor && !f.empty()) _interactor->handleTouchesCancelled(f, event);
}

bool NSSpriteView::onMouseScroll(float x, float y, float scrollY) {
  if (!_touchEnabled) return false;
  const double s = _imageView->getScale();
  if (scrollY < 0) {
    _imageView->setScale(static_cast<float>(s * 1.1));
  } else if (scrollY > 0) {
    _imageView->setScale(static_cast<float>(s * 0.9));
  }
  return true;
}

bool NSSpriteView::onMouseDown(float x, float y) { return true; }

bool NSSpriteView::onMouseMove(float x, float y) {
  if (!_touchEnabled) return false;
  const Vec2 d = Vec2(x, y) - _previousMousePoint;
  if (_rightMouseDown) {
    if (std::fabs(d.y) > std::fabs(d.x)) zoomImageBy(d.y > 0 ? 1.05f : 0.95f);
    return true;
  }
  if (_leftMouseDown) {
    moveImageBy(d.x, d.y);
    return true;
  }
  return false;
}

void NSSpriteView::zoomImageBy(float factor) {
  const float s = _imageView->getScale();
  if ((s < kMinScale && factor < 1.0f) || (s > kMaxScale && factor > 1.0f)) return;
  _imageView->setScale(s * factor);
}

void NSSpriteView::moveImageBy(float dx, float dy) {
  _imageView->setPosition(_imageView->getPosition() + Vec2(dx, dy));
}

void NSSpriteView::setImage(std::string path) {
  _imagePath = path;
  const Size size = getContentSize();
  _imageView->setPosition(Vec2(size.width / 2, size.height / 2));
  if (!path.empty() && FileUtils::getInstance()->isFileExist(path)) {
    loadImageViewAspectFit(_imageView, path, size);
  } else {
    _imageView->setScale(1.0f);
    loadImageAsync(_imageView, kNoPicture);
  }
}

}  // namespace NSUI
