// The message toast: a dark bar near the bottom of the window with one
// centred line of white text, shown for a given number of seconds.
//
// UIControlBase is the mixin that widgets and screens inherit to show
// messages. There is one box per running scene (a direct child named
// "messageBox"), shared by every caller in that scene; a new message
// replaces the one shown and restarts its timer (Scene::setMessageNode).
// The box keeps the size it was made with; a new scene makes its own.
//
// messageView is a bare node carrying the mixin, for code without a widget
// of its own. NSText is the toolkit's text widget with the mixin bound to
// itself.
#pragma once

#include <string>

#include "engine/cocos2d.h"

namespace NSUI {

class UIControlBase {
public:
    UIControlBase() = default;
    virtual ~UIControlBase() = default;

    // Builds a new, unparented, autoreleased box ("messageBox") with its
    // text child ("messageBox.text"); null on failure.
    virtual cocos2d::ui::Layout* createMessageBox();

    // Shows text in the running scene's box for `seconds`. Nothing happens
    // without a running scene or when no box can be made.
    void showMessage(std::string text, float seconds);

    // (fx × window width, fy × window height), window in design units.
    cocos2d::Vec2 getPositionInWindow(float fx, float fy);

    // When the bound node is a widget and 1 <= align <= 9: attaches a new
    // relative layout parameter with that alignment, name and margin.
    // Anything else changes nothing.
    void setRelativeLayoutParameter(int align, std::string relativeName, cocos2d::ui::Margin margin);

    cocos2d::Node* getWidget() const { return _widget; }
    void setWidget(cocos2d::Node* widget) { _widget = widget; }

    // Geometry and look of the box.
    static constexpr int kMessageBoxZOrder = 300000;
    static constexpr int kMessageTextZOrder = 300010;
    static constexpr float kMessageBoxHeight = 80.0f;
    static constexpr float kMessageFontSize = 23.0f;

protected:
    // The node the mixin belongs to; not retained.
    cocos2d::Node* _widget = nullptr;
};

class messageView : public cocos2d::Node, public UIControlBase {
public:
    static messageView* create();
    ~messageView() override;

protected:
    messageView() = default;
};

class NSText : public cocos2d::ui::Text, public UIControlBase {
public:
    static NSText* create();
    static NSText* create(const std::string& text, const std::string& fontName, float fontSize);
    bool init() override;

protected:
    NSText() = default;
};

} // namespace NSUI
