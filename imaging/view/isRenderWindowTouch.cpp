// Touch routing of the render window: the listener hands every touch to the
// window's interaction tool, which decides (through the shared capture)
// whether the gesture belongs to this window.
#include "imaging/view/isInteractorBase.h"
#include "imaging/view/isRenderWindow.h"

namespace isImageSDK {

namespace {

isInteractorBase* toolOf(cocos2d::Ref* interactor) { return dynamic_cast<isInteractorBase*>(interactor); }

}  // namespace

void isRenderWindow::setInteractor(cocos2d::Ref* tool) {
  if (tool == interactor) return;
  if (tool) tool->retain();
  if (auto* old = toolOf(interactor)) old->abandonGesture();
  if (interactor) interactor->release();
  interactor = tool;
}

void isRenderWindow::onTouchesBegan(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event) {
  if (auto* tool = toolOf(interactor)) tool->handleTouchesBegan(touches, event);
}

void isRenderWindow::onTouchesEnded(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event) {
  if (auto* tool = toolOf(interactor)) tool->handleTouchesEnded(touches, event);
}

void isRenderWindow::onTouchesCancelled(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event* event) {
  if (auto* tool = toolOf(interactor)) tool->handleTouchesCancelled(touches, event);
}

void isRenderWindow::onTouchesMoved(const std::vector<cocos2d::Touch*>& touches, cocos2d::Event*) {
  auto* tool = toolOf(interactor);
  if (!tool || !tool->isCaptured() || !isInteractorBase::captureActive) return;
  if (tool->isSingleTouchMode()) {
    const auto& tracked = tool->getTrackedTouches();
    if (tracked.empty()) return;
    const int firstId = tracked.front()->getId();
    for (auto* t : touches) {
      if (t->getId() == firstId) {
        tool->onTouchMoved(t);
        return;
      }
    }
    return;
  }
  tool->onTouchesMoved(touches);
}

}  // namespace isImageSDK
