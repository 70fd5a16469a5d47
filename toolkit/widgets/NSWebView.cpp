#include "toolkit/widgets/NSWebView.h"

USING_NS_CC;

namespace NSUI {

NSWebView* NSWebView::create()
{
    auto* view = new (std::nothrow) NSWebView();
    if (view && view->init()) {
        view->autorelease();
        return view;
    }
    delete view;
    return nullptr;
}

NSWebView::~NSWebView()
{
    if (Director::getInstanceIfExists()) {
        removeAllChildren();
        Node::cleanup();
    }
}

bool NSWebView::init()
{
    if (!Node::init())
        return false;
    setPosition(Vec2::ZERO);
    setAnchorPoint(Vec2::ANCHOR_BOTTOM_LEFT);
    setContentSize(Director::getInstance()->getWinSize());
    setLocalZOrder(kZOrder);
    retryAddress = "/retry.html";
    backToMainAddress = "/backToMain.html";
    removeAddress = "/remove.html";
    updateAddress = "/updateapk.html";
    openUrlAddress = "/openurl.html";
    return true;
}

void NSWebView::cleanup()
{
    removeAllChildren();
    Node::cleanup();
}

void NSWebView::onEnterTransitionDidFinish()
{
    Node::onEnterTransitionDidFinish();
}

void NSWebView::onExitTransitionDidStart() {}

void NSWebView::setVisible(bool visible)
{
    Node::setVisible(visible);
}

void NSWebView::removeFromParent()
{
    Node::removeFromParent();
}

bool NSWebView::isShown()
{
    return isVisible();
}

bool NSWebView::handleAddress(std::string)
{
    return false;
}

} // namespace NSUI
