#include "toolkit/widgets/UIScrollViewBase.h"

#include <algorithm>
#include <cmath>

#include "toolkit/widgets/NSLayout.h"

USING_NS_CC;

namespace NSUI {

UIScrollViewBase* UIScrollViewBase::create()
{
    auto* view = new (std::nothrow) UIScrollViewBase();
    if (view && view->init()) {
        view->autorelease();
        return view;
    }
    delete view;
    return nullptr;
}

UIScrollViewBase::UIScrollViewBase()
{
    _widget = this;
    httpOwner = this;
}

UIScrollViewBase::~UIScrollViewBase()
{
    CC_SAFE_RELEASE_NULL(scrollBar);
    if (mouseListener) {
        if (Director* director = Director::getInstanceIfExists())
            director->getEventDispatcher()->removeEventListener(mouseListener);
        CC_SAFE_RELEASE_NULL(mouseListener);
    }
    scrollCallback = nullptr;
}

bool UIScrollViewBase::init()
{
    if (!ui::Layout::init())
        return false;
    setClippingEnabled(true);
    if (innerContainer)
        innerContainer->setTouchEnabled(false);
    setTouchEnabled(true);
    return true;
}

void UIScrollViewBase::initRenderer()
{
    ui::Layout::initRenderer();
    innerContainer = ui::Layout::create();
    addProtectedChild(innerContainer, 1, kInnerContainerTag);
}

void UIScrollViewBase::onEnter()
{
    ui::Layout::onEnter();
    scheduleUpdate();
}

void UIScrollViewBase::update(float dt)
{
    if (inertiaActive)
        inertiaStep(dt);
    if (pressed)
        dragTime += dt;
}

// ---------------------------------------------------------------- children

void UIScrollViewBase::addChild(Node* child)
{
    if (child)
        innerContainer->addChild(child, child->getLocalZOrder(), child->getTag());
}

void UIScrollViewBase::addChild(Node* child, int localZOrder)
{
    if (child)
        innerContainer->addChild(child, localZOrder, child->getTag());
}

void UIScrollViewBase::addChild(Node* child, int localZOrder, int tag)
{
    innerContainer->addChild(child, localZOrder, tag);
}

void UIScrollViewBase::addChild(Node* child, int localZOrder, const std::string& name)
{
    innerContainer->addChild(child, localZOrder, name);
}

void UIScrollViewBase::removeAllChildren()
{
    removeAllChildrenWithCleanup(true);
}

void UIScrollViewBase::removeAllChildrenWithCleanup(bool cleanup)
{
    innerContainer->removeAllChildrenWithCleanup(cleanup);
}

void UIScrollViewBase::removeChild(Node* child, bool cleanup)
{
    innerContainer->removeChild(child, cleanup);
}

Vector<Node*>& UIScrollViewBase::getChildren()
{
    return innerContainer->getChildren();
}

const Vector<Node*>& UIScrollViewBase::getChildren() const
{
    return innerContainer->getChildren();
}

ssize_t UIScrollViewBase::getChildrenCount() const
{
    return innerContainer->getChildrenCount();
}

Node* UIScrollViewBase::getChildByTag(int tag) const
{
    return innerContainer->getChildByTag(tag);
}

Node* UIScrollViewBase::getChildByName(const std::string& name) const
{
    return innerContainer->getChildByName(name);
}

void UIScrollViewBase::setLayoutType(int type)
{
    innerContainer->setLayoutType(type);
}

int UIScrollViewBase::getLayoutType() const
{
    return innerContainer->getLayoutType();
}

void UIScrollViewBase::doLayout()
{
    _doLayoutDirty = false;
}

ui::Widget* UIScrollViewBase::createCloneInstance()
{
    return UIScrollViewBase::create();
}

void UIScrollViewBase::copyClonedWidgetChildren(ui::Widget* model)
{
    ui::Layout::copyClonedWidgetChildren(model);
}

void UIScrollViewBase::copySpecialProperties(ui::Widget* widget)
{
    auto* source = dynamic_cast<UIScrollViewBase*>(widget);
    if (!source)
        return;
    ui::Layout::copySpecialProperties(widget);
    setInnerContainerSize(source->getInnerContainerSize());
    setDirection(source->direction);
    scrollCallback = source->scrollCallback;
}

// ---------------------------------------------------------------- geometry

void UIScrollViewBase::setContentSize(const Size& size)
{
    ui::Layout::setContentSize(size);
}

void UIScrollViewBase::onSizeChanged()
{
    ui::Layout::onSizeChanged();
    if (!innerContainer)
        return;
    const Size view = getContentSize();
    const Size inner = innerContainer->getContentSize();
    const Size grown(std::max(inner.width, view.width), std::max(inner.height, view.height));
    innerContainer->setContentSize(grown);
    innerContainer->setPosition(Vec2(0, view.height - grown.height));
    scrollViewDidScroll();
}

const Size& UIScrollViewBase::getInnerContainerSize() const
{
    return innerContainer->getContentSize();
}

void UIScrollViewBase::setInnerContainerSize(const Size& size)
{
    const Size view = getContentSize();
    const Size old = innerContainer->getContentSize();
    const Size grown(std::max(size.width, view.width), std::max(size.height, view.height));
    innerContainer->setContentSize(grown);

    // Keep the top (or the left) of the content in place.
    switch (direction) {
    case 1:
        scrollChildren(0, old.height - grown.height);
        break;
    case 2:
        if (view.width >= innerContainer->getRightBoundary())
            scrollChildren(old.width - grown.width, 0);
        break;
    case 3: {
        const float dx = view.width >= innerContainer->getRightBoundary() ? old.width - grown.width : 0;
        scrollChildren(dx, old.height - grown.height);
        break;
    }
    default:
        break;
    }

    // Pull the container back inside the view.
    const Vec2 anchor = innerContainer->getAnchorPoint();
    if (innerContainer->getLeftBoundary() > 0) {
        innerContainer->setPositionX(anchor.x * grown.width);
        scrollViewDidScroll();
    }
    if (innerContainer->getRightBoundary() < view.width) {
        innerContainer->setPositionX(view.width - (1 - anchor.x) * grown.width);
        scrollViewDidScroll();
    }
    if (innerContainer->getPositionY() > 0) {
        innerContainer->setPositionY(anchor.y * grown.height);
        scrollViewDidScroll();
    }
    if (innerContainer->getTopBoundary() < view.height) {
        innerContainer->setPositionY(view.height - (1 - anchor.y) * grown.height);
        scrollViewDidScroll();
    }
}

void UIScrollViewBase::setContentOffset(const Vec2& offset)
{
    const Size view = getContentSize();
    const Size inner = innerContainer->getContentSize();
    Vec2 target = offset;
    if (direction == 1 || direction == 3) {
        const float lowest = view.height - inner.height;
        if (target.y <= 0 && target.y < lowest)
            target.y = lowest;
    }
    if (direction == 2 || direction == 3) {
        const float lowest = view.width - inner.width;
        if (target.x <= 0 && target.x < lowest)
            target.x = lowest;
    }
    if (target != innerContainer->getPosition())
        innerContainer->setPosition(target);
    scrollViewDidScroll();
}

void UIScrollViewBase::setDirection(int dir)
{
    direction = dir;
}

void UIScrollViewBase::setScrollCallback(const ScrollCallback& callback)
{
    scrollCallback = callback;
}

void UIScrollViewBase::report(int event)
{
    if (!scrollCallback)
        return;
    retain();
    scrollCallback(this, event);
    release();
}

void UIScrollViewBase::moveContainer(float dx, float dy)
{
    innerContainer->setPosition(innerContainer->getPosition() + Vec2(dx, dy));
    scrollViewDidScroll();
}

bool UIScrollViewBase::scrollChildren(float dx, float dy)
{
    report(SCROLL_MOVED);
    const Size view = getContentSize();
    const float left = innerContainer->getLeftBoundary();
    const float right = innerContainer->getRightBoundary();
    const float bottom = innerContainer->getBottomBoundary();
    const float top = innerContainer->getTopBoundary();
    bool free = true;
    switch (direction) {
    case 1: {
        float d = dy;
        if (bottom + dy >= 0) {
            d = 0 - bottom;
            report(SCROLL_EDGE_BOTTOM);
            free = false;
        }
        if (top + dy <= view.height) {
            d = view.height - top;
            report(SCROLL_EDGE_TOP);
            free = false;
        }
        moveContainer(0, d);
        return free;
    }
    case 2: {
        float d = dx;
        if (right + dx <= view.width) {
            d = view.width - right;
            report(SCROLL_EDGE_RIGHT);
            free = false;
        }
        if (left + dx >= 0) {
            d = 0 - left;
            report(SCROLL_EDGE_LEFT);
            free = false;
        }
        moveContainer(d, 0);
        return free;
    }
    case 3: {
        float mx = dx, my = dy;
        if (dx > 0 && left + dx >= 0) {
            mx = 0 - left;
            report(SCROLL_EDGE_LEFT);
            free = false;
        } else if (dx < 0 && right + dx <= view.width) {
            mx = view.width - right;
            report(SCROLL_EDGE_RIGHT);
            free = false;
        }
        if (dy > 0 && bottom + dy >= 0) {
            my = 0 - bottom;
            report(SCROLL_EDGE_BOTTOM);
            free = false;
        } else if (dy < 0 && top + dy <= view.height) {
            my = view.height - top;
            report(SCROLL_EDGE_TOP);
            free = false;
        }
        moveContainer(mx, my);
        return free;
    }
    default:
        return true;
    }
}

// ---------------------------------------------------------------- drag and inertia

void UIScrollViewBase::handlePressLogic(Touch*)
{
    inertiaActive = false;
    inertiaElapsed = 0;
    inertiaSpeed = 0;
    dragTime = 0;
    pressed = true;
}

void UIScrollViewBase::handleMoveLogic(Touch* touch)
{
    const Vec2 delta = touch->getLocation() - touch->getPreviousLocation();
    switch (direction) {
    case 1:
        scrollChildren(0, delta.y);
        break;
    case 2:
        scrollChildren(delta.x, 0);
        break;
    case 3:
        scrollChildren(delta.x, delta.y);
        break;
    default:
        break;
    }
}

void UIScrollViewBase::handleReleaseLogic(Touch*)
{
    endSlide();
    pressed = false;
}

void UIScrollViewBase::endSlide()
{
    if (dragTime <= kMinDragTime)
        return;
    const Vec2 moved = _touchEndPosition - _touchBeganPosition;
    float distance = 0;
    Vec2 dir;
    switch (direction) {
    case 1:
        distance = moved.y;
        dir = distance < 0 ? dirDown : dirUp;
        break;
    case 2:
        distance = moved.x;
        dir = distance < 0 ? dirLeft : dirRight;
        break;
    case 3:
        distance = moved.length();
        dir = distance > 0 ? moved / distance : Vec2::ZERO;
        break;
    default:
        return;
    }
    inertiaElapsed = 0;
    inertiaDirection = dir;
    inertiaSpeed = std::min(std::fabs(distance) / dragTime, maxInertiaSpeed);
    inertiaActive = true;
    inertiaAcceleration = kInertiaDeceleration;
    dragTime = 0;
}

void UIScrollViewBase::inertiaStep(float dt)
{
    const float t0 = inertiaElapsed;
    inertiaElapsed += dt;
    if (inertiaSpeed + inertiaAcceleration * inertiaElapsed <= 0) {
        inertiaActive = false;
        inertiaSpeed = 0;
        inertiaElapsed = 0;
        return;
    }
    const float d = (inertiaSpeed + inertiaAcceleration * (2 * t0 + dt) * 0.5f) * dt;
    if (!scrollChildren(d * inertiaDirection.x, d * inertiaDirection.y)) {
        inertiaActive = false;
        inertiaSpeed = 0;
        inertiaElapsed = 0;
    }
}

// ---------------------------------------------------------------- touches

bool UIScrollViewBase::onTouchBegan(Touch* touch, Event* event)
{
    const bool hit = ui::Layout::onTouchBegan(touch, event);
    if (!interceptingChildTouch && _hitted) {
        handlePressLogic(touch);
        axisUndecided = true;
        axisWeights.set(1, 1);
    }
    return hit;
}

void UIScrollViewBase::pinToAxis(Touch* touch)
{
    const Vec2 location = touch->getLocation();
    if (axisWeights.x > axisWeights.y)
        touch->setLocation(Vec2(location.x, _touchBeganPosition.y));
    else
        touch->setLocation(Vec2(_touchBeganPosition.x, location.y));
}

void UIScrollViewBase::onTouchMoved(Touch* touch, Event* event)
{
    if (direction == 1 || direction == 2) {
        const Vec2 location = touch->getLocation();
        if (axisUndecided && location.distance(_touchBeganPosition) > kAxisLockDistance) {
            const Vec2 d = location - _touchBeganPosition;
            if (std::fabs(d.x) > std::fabs(d.y))
                axisWeights.y = 0;
            else
                axisWeights.x = 0;
            axisUndecided = false;
        }
        if (!axisUndecided && axisWeights != Vec2::ZERO)
            pinToAxis(touch);
    }
    ui::Layout::onTouchMoved(touch, event);
    if (!interceptingChildTouch)
        handleMoveLogic(touch);
}

void UIScrollViewBase::onTouchEnded(Touch* touch, Event* event)
{
    // The end of a drag locked to one axis is pinned like its moves, so a
    // sideways swipe over a vertical view does not coast on its vertical
    // drift once released.
    if ((direction == 1 || direction == 2) && !interceptingChildTouch && !axisUndecided &&
        axisWeights != Vec2::ZERO)
        pinToAxis(touch);
    ui::Layout::onTouchEnded(touch, event);
    if (!interceptingChildTouch)
        handleReleaseLogic(touch);
    interceptingChildTouch = false;
    axisUndecided = false;
}

void UIScrollViewBase::onTouchCancelled(Touch* touch, Event* event)
{
    ui::Layout::onTouchCancelled(touch, event);
    if (!interceptingChildTouch)
        handleReleaseLogic(touch);
    interceptingChildTouch = false;
    axisUndecided = false;
}

void UIScrollViewBase::interceptTouchEvent(TouchEventType event, ui::Widget* sender, Touch* touch)
{
    ui::Layout::interceptTouchEvent(event, sender, touch);
    if (!sender || !touch)
        return;
    switch (event) {
    case TouchEventType::BEGAN:
        interceptingChildTouch = true;
        _touchBeganPosition = touch->getLocation();
        handlePressLogic(touch);
        break;
    case TouchEventType::MOVED:
        _touchMovePosition = touch->getLocation();
        if (sender->getTouchBeganPosition().distance(touch->getLocation()) > childFocusCancelDistance) {
            sender->setHighlighted(false);
            handleMoveLogic(touch);
        }
        break;
    case TouchEventType::ENDED:
    case TouchEventType::CANCELED:
        _touchEndPosition = touch->getLocation();
        handleReleaseLogic(touch);
        if (sender->isSwallowTouches())
            interceptingChildTouch = false;
        break;
    }
}

// ---------------------------------------------------------------- wheel

void UIScrollViewBase::setTouchEnabled(bool enabled)
{
    if (enabled == _touchEnabled && (!enabled || _touchListener))
        return;
    ui::Layout::setTouchEnabled(enabled);
    EventDispatcher* dispatcher = getEventDispatcher();
    if (mouseListener) {
        dispatcher->removeEventListener(mouseListener);
        CC_SAFE_RELEASE_NULL(mouseListener);
    }
    if (!enabled)
        return;
    mouseListener = EventListenerMouse::create();
    mouseListener->retain();
    mouseListener->onMouseScroll = [this](EventMouse* e) { onMouseWheel(e); };
    dispatcher->addEventListenerWithSceneGraphPriority(mouseListener, this);
}

void UIScrollViewBase::onMouseWheel(EventMouse* event)
{
    if (!NSLayout::isMouseOver(this, event))
        return;
    const float d = event->getScrollY() * kWheelStep;
    retain();
    if (direction == 1 || direction == 3)
        scrollChildren(0, d);
    else if (direction == 2)
        scrollChildren(d, 0);
    event->stopPropagation();
    release();
}

// ---------------------------------------------------------------- scroll bar

void UIScrollViewBase::scrollViewDidScroll()
{
    if (!innerContainer)
        return;
    if (!scrollBar) {
        scrollBar = Sprite::create(kScrollBarPicture);
        if (!scrollBar)
            return;
        scrollBar->setAnchorPoint(Vec2::ANCHOR_BOTTOM_RIGHT);
        scrollBar->retain();
        scrollBar->setScaleX(kScrollBarWidth / scrollBar->getContentSize().width);
        // The layout's own two-argument form: not forwarded to the container.
        ui::Layout::addChild(scrollBar, scrollBar->getLocalZOrder());
    }
    const Size view = getContentSize();
    const float innerHeight = innerContainer->getContentSize().height;
    const float diff = view.height - innerHeight;
    if (diff >= 0) {
        scrollBar->setVisible(false);
        return;
    }
    scrollBar->stopAllActions();
    // In proportion to the part of the content on show, but never so short
    // that a long list's bar disappears.
    const float length = std::min(view.height, std::max(view.height * view.height / innerHeight, kMinScrollBarLength));
    float ratio = (0 - innerContainer->getPositionY()) / (0 - diff);
    ratio = std::min(1.0f, std::max(0.0f, ratio));
    scrollBar->setPosition(Vec2(view.width, (view.height - length) * ratio));
    scrollBar->setScaleY(length / scrollBar->getContentSize().height);
    if (scrollBar->getLocalZOrder() != getLocalZOrder() + 100)
        scrollBar->setLocalZOrder(getLocalZOrder() + 100);
    scrollBar->setVisible(true);
    scrollBar->setOpacity(255);
    scrollBar->runAction(FadeTo::create(2.0f, 0));
}

} // namespace NSUI
