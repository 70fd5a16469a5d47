#include "toolkit/widgets/NSResponseWindow.h"

USING_NS_CC;

namespace NSUI {

NSResponseWindow* NSResponseWindow::create()
{
    auto* window = new (std::nothrow) NSResponseWindow();
    if (window && window->init()) {
        window->autorelease();
        return window;
    }
    delete window;
    return nullptr;
}

NSResponseWindow::~NSResponseWindow()
{
    if (Director* director = Director::getInstanceIfExists()) {
        cleanup();
        if (_mouseListener)
            director->getEventDispatcher()->removeEventListener(_mouseListener);
    }
    CC_SAFE_RELEASE_NULL(_mouseListener);
}

bool NSResponseWindow::init()
{
    if (!Layer::init())
        return false;
    setLocalZOrder(kZOrder);
    setTouchEnabled(true);
    setTouchMode(Touch::DispatchMode::ONE_BY_ONE);
    setSwallowsTouches(true);
    setContentSize(Director::getInstance()->getWinSize());

    _mouseListener = EventListenerMouse::create();
    _mouseListener->retain();
    auto swallow = [this](EventMouse* e) { swallowMouse(e); };
    _mouseListener->onMouseDown = swallow;
    _mouseListener->onMouseUp = swallow;
    _mouseListener->onMouseMove = swallow;
    _mouseListener->onMouseScroll = swallow;
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(_mouseListener, this);
    return true;
}

bool NSResponseWindow::containsWorldPoint(const Vec2& point) const
{
    const Vec2 p = convertToNodeSpace(point);
    const Size size = getContentSize();
    return p.x > 0 && p.x < size.width && p.y > 0 && p.y < size.height;
}

bool NSResponseWindow::onTouchBegan(Touch* touch, Event*)
{
    return touch && containsWorldPoint(touch->getLocation());
}

void NSResponseWindow::swallowMouse(EventMouse* event)
{
    for (const Node* n = this; n; n = n->getParent())
        if (!n->isVisible())
            return;
    if (event && containsWorldPoint(event->getLocationInView()))
        event->stopPropagation();
}

void NSResponseWindow::placePanel(cocos2d::Node* panel)
{
    const cocos2d::Size size = getContentSize();
    if (panel) {
        panel->setAnchorPoint(cocos2d::Vec2::ANCHOR_MIDDLE_TOP);
        panel->setPosition(cocos2d::Vec2(size.width / 2, size.height));
    }
    setAnchorPoint(cocos2d::Vec2::ANCHOR_BOTTOM_LEFT);
    setPosition(cocos2d::Vec2::ZERO);
    updateChildrenToHighZOrder();
}

void NSResponseWindow::closeHolding(cocos2d::Node* content)
{
    if (!content) return;
    content->retain();
    if (auto* window = dynamic_cast<NSResponseWindow*>(content->getParent()))
        window->removeFromParent();
    else
        content->removeFromParent();
    content->release();
}

} // namespace NSUI
