#include "toolkit/widgets/NSLayout.h"

#include "toolkit/foundation/NSHttpClient.h"

USING_NS_CC;

namespace NSUI {

NSLayout* NSLayout::create()
{
    auto* layout = new (std::nothrow) NSLayout();
    if (layout && layout->init()) {
        layout->autorelease();
        return layout;
    }
    delete layout;
    return nullptr;
}

NSLayout::NSLayout() = default;

NSLayout::~NSLayout()
{
    NSLayout::cleanup();
}

bool NSLayout::init()
{
    if (!ui::Layout::init())
        return false;
    ui::Widget::setTouchEnabled(false);
    _widget = this;
    httpOwner = this;
    _leftMouseDown = _rightMouseDown = _middleMouseDown = false;
    if (_mouseListener) {
        getEventDispatcher()->removeEventListener(_mouseListener);
        _mouseListener->release();
        _mouseListener = nullptr;
    }

    auto* listener = EventListenerMouse::create();
    if (!listener)
        return false;
    listener->retain();
    _mouseListener = listener;
    listener->onMouseDown = [this](EventMouse* e) { handleMouse(e, MouseKind::Down); };
    listener->onMouseUp = [this](EventMouse* e) { handleMouse(e, MouseKind::Up); };
    listener->onMouseMove = [this](EventMouse* e) { handleMouse(e, MouseKind::Move); };
    listener->onMouseScroll = [this](EventMouse* e) { handleMouse(e, MouseKind::Scroll); };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, this);
    return true;
}

void NSLayout::cleanup()
{
    // The destructor runs this again; without a Director (after the
    // engine's teardown) the engine part has nothing left to undo.
    const bool engineAlive = Director::getInstanceIfExists() != nullptr;
    if (engineAlive)
        ui::Layout::cleanup();
    if (_mouseListener) {
        if (engineAlive)
            getEventDispatcher()->removeEventListener(_mouseListener);
        _mouseListener->release();
        _mouseListener = nullptr;
    }
    if (NSHttpClient* client = NSHttpClient::getInstanceIfExists())
        client->cancelRequestsForOwner(this);
}

void NSLayout::onEnterTransitionDidFinish()
{
    ui::Layout::onEnterTransitionDidFinish();
    schedule(CC_SCHEDULE_SELECTOR(NSLayout::updateImageQueue), kImagePumpInterval, CC_REPEAT_FOREVER,
             kImagePumpDelay);
}

void NSLayout::onExit()
{
    ui::Layout::onExit();
    unschedule(CC_SCHEDULE_SELECTOR(NSLayout::updateImageQueue));
}

void NSLayout::updateImageQueue(float)
{
    loadNextImage();
}

bool NSLayout::onMouseScroll(float, float, float) { return false; }
bool NSLayout::onMouseDown(float, float) { return false; }
bool NSLayout::onMouseUp(float, float) { return false; }
bool NSLayout::onMouseMove(float, float) { return false; }

bool NSLayout::isMouseOver(ui::Widget* node, EventMouse* event, Vec2* local)
{
    if (!node || !event || !node->isAncestorsVisible())
        return false;
    if (Camera* camera = Camera::getVisitingCamera()) {
        if (!node->hasCameraFlag(camera->getCameraFlag()))
            return false;
    } else if (node->getCameraFlags().empty()) {
        return false;
    }
    const Vec2 p = node->convertToNodeSpace(event->getLocationInView());
    const Size size = node->getContentSize();
    if (local)
        *local = p;
    return p.x > 0 && p.x < size.width && p.y > 0 && p.y < size.height;
}

void NSLayout::handleMouse(EventMouse* event, MouseKind kind)
{
    Vec2 p;
    if (!isMouseOver(this, event, &p))
        return;
    _previousMousePoint = convertToNodeSpace(event->getPreviousLocationInView());

    // Keep the node alive while a handler might remove it.
    retain();
    bool consumed = false;
    switch (kind) {
    case MouseKind::Scroll:
        consumed = onMouseScroll(p.x, p.y, event->getScrollY());
        break;
    case MouseKind::Down: {
        _leftMouseDown = _rightMouseDown = _middleMouseDown = false;
        const int button = event->getMouseButton();
        if (button == EventMouse::BUTTON_LEFT)
            _leftMouseDown = true;
        else if (button == EventMouse::BUTTON_RIGHT)
            _rightMouseDown = true;
        else if (button == EventMouse::BUTTON_MIDDLE)
            _middleMouseDown = true;
        consumed = onMouseDown(p.x, p.y);
        break;
    }
    case MouseKind::Up:
        consumed = onMouseUp(p.x, p.y);
        _leftMouseDown = _rightMouseDown = _middleMouseDown = false;
        break;
    case MouseKind::Move:
        consumed = onMouseMove(p.x, p.y);
        break;
    }
    if (consumed)
        event->stopPropagation();
    release();
}

} // namespace NSUI
