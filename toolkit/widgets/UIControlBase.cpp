#include "toolkit/widgets/UIControlBase.h"

USING_NS_CC;

namespace NSUI {

ui::Layout* UIControlBase::createMessageBox()
{
    auto* box = ui::Layout::create();
    if (!box)
        return nullptr;
    box->setBackGroundColor(Color3B(88, 88, 88));
    box->setBackGroundColorType(ui::Layout::BackGroundColorType::SOLID);
    box->setBackGroundColorOpacity(233);
    box->setName("messageBox");

    auto* text = ui::Text::create("", "", kMessageFontSize);
    if (!text)
        return nullptr;
    box->addChild(text);
    text->setName("messageBox.text");
    text->setTextColor(Color4B::WHITE);
    text->setAnchorPoint(Vec2::ANCHOR_MIDDLE);
    text->enableShadow(Color4B::BLACK, Size(2, -2), 0);
    text->setPositionPercent(Vec2(0.5f, 0.5f));
    text->setPositionType(ui::Widget::PositionType::PERCENT);
    text->setLocalZOrder(kMessageTextZOrder);
    return box;
}

void UIControlBase::showMessage(std::string text, float seconds)
{
    Director* director = Director::getInstance();
    Scene* scene = director->getRunningScene();
    if (!scene)
        return;
    Node* box = scene->getChildByName("messageBox");
    if (!box) {
        box = createMessageBox();
        if (!box)
            return;
        const Size win = director->getWinSize();
        scene->addChild(box);
        box->setName("messageBox");
        box->setPosition(getPositionInWindow(0.5f, 0.15f));
        box->setContentSize(Size(0.8f * win.width, kMessageBoxHeight));
        box->setAnchorPoint(Vec2::ANCHOR_MIDDLE);
        box->setLocalZOrder(kMessageBoxZOrder);
    }
    if (auto* label = dynamic_cast<ui::Text*>(box->getChildByNameDeep("messageBox.text")))
        label->setString(text);
    if (!box->isVisible())
        box->setVisible(true);
    scene->setMessageNode(box, seconds);
}

Vec2 UIControlBase::getPositionInWindow(float fx, float fy)
{
    const Size win = Director::getInstance()->getWinSize();
    return Vec2(fx * win.width, fy * win.height);
}

void UIControlBase::setRelativeLayoutParameter(int align, std::string relativeName, ui::Margin margin)
{
    auto* widget = dynamic_cast<ui::Widget*>(_widget);
    if (!widget || align < 1 || align > 9)
        return;
    auto* parameter = ui::RelativeLayoutParameter::create();
    parameter->setAlign(align);
    widget->setLayoutParameter(parameter);
    parameter->setRelativeName(relativeName);
    parameter->setMargin(margin);
}

// ---------------------------------------------------------------------------

messageView* messageView::create()
{
    auto* view = new (std::nothrow) messageView();
    if (view && view->init()) {
        view->autorelease();
        return view;
    }
    delete view;
    return nullptr;
}

messageView::~messageView()
{
    if (Director::getInstanceIfExists())
        cleanup();
}

// ---------------------------------------------------------------------------

NSText* NSText::create()
{
    auto* text = new (std::nothrow) NSText();
    if (text && text->init()) {
        text->autorelease();
        return text;
    }
    delete text;
    return nullptr;
}

NSText* NSText::create(const std::string& string, const std::string& fontName, float fontSize)
{
    auto* text = create();
    if (!text)
        return nullptr;
    text->setFontName(fontName);
    text->setFontSize(fontSize);
    text->setString(string);
    return text;
}

bool NSText::init()
{
    if (!ui::Text::init())
        return false;
    _widget = this;
    return true;
}

} // namespace NSUI
