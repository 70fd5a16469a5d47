// The modal host of a pop-up window: a full-window layer at z 10000 that
// claims and swallows every touch that begins strictly inside it, so the
// screen underneath receives none while the pop-up is open. The pop-up's
// own widgets, drawn in front of the layer, get their input first.
//
// Mouse events (press, release, move, wheel) that fall strictly inside it
// are consumed as well, after the nodes in front had their turn: the
// wheel and drags over a pop-up never reach the lists or render windows
// beneath. Keyboard events pass.
#pragma once

#include "engine/cocos2d.h"

namespace NSUI {

class NSResponseWindow : public cocos2d::Layer {
public:
    static constexpr int kZOrder = 10000;

    static NSResponseWindow* create();
    ~NSResponseWindow() override;

    bool init() override;
    bool onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) override;

    // The pop-up's place: `panel` (may be null) anchored at its top centre
    // at the window's top centre, the window at the origin, and its
    // children raised in front of it in their present order.
    void placePanel(cocos2d::Node* panel);

    // Closes a pop-up from inside: removes the modal window that holds
    // `content`, or `content` itself when it stands alone. Safe to call from
    // the content's own handlers (it is kept alive until the removal ends).
    static void closeHolding(cocos2d::Node* content);

protected:
    NSResponseWindow() = default;
    // Strictly inside the content rectangle, point in world space.
    bool containsWorldPoint(const cocos2d::Vec2& point) const;
    void swallowMouse(cocos2d::EventMouse* event);

    cocos2d::EventListenerMouse* _mouseListener = nullptr; // retained
};

} // namespace NSUI
