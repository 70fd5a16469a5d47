// The scrolling container: a clipping layout that holds one inner container
// and moves it under touch drags, inertia after a release and the mouse
// wheel, always within the view's edges (no overscroll, no spring-back),
// with a thin vertical scroll bar that fades out 2 s after the last move.
//
// Children added to the view go into the inner container (tag 1, z 1, a
// protected child). Directions: 1 vertical (default), 2 horizontal, 3 both.
// The content offset is the container's position; vertical content runs
// from H - container height (top visible) to 0 (bottom visible).
//
// A drag scrolls one to one. A release after a drag longer than 0.016 s
// coasts at the drag's mean speed (capped by maxInertiaSpeed), slowing by
// 1000 units/s², so it travels at most v0² / 2000 units. A one-direction
// view locks a drag to its axis once it has moved 1.5 units: a sideways
// swipe over a vertical view does not scroll it. A child widget keeps its
// press while the finger stays within childFocusCancelDistance units of
// where it went down; beyond that it loses its highlight and the content
// scrolls. One wheel notch moves the content 20 units.
#pragma once

#include <functional>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/UIHttpPhisical.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/UIControlBase.h"
#include "toolkit/widgets/UIControlGenerater.h"

namespace NSUI {

class UIScrollViewBase : public cocos2d::ui::Layout,
                         public UIControlGenerater,
                         public UILocalConfig,
                         public UIJson,
                         public UIControlBase,
                         public UIHttpPhisical {
public:
    enum ScrollEvent {
        SCROLL_EDGE_TOP = 0,
        SCROLL_EDGE_BOTTOM = 1,
        SCROLL_EDGE_LEFT = 2,
        SCROLL_EDGE_RIGHT = 3,
        SCROLL_MOVED = 4,
    };
    typedef std::function<void(cocos2d::Ref*, int)> ScrollCallback;

    static constexpr int kInnerContainerTag = 1;
    static constexpr float kWheelStep = 20.0f;
    static constexpr float kInertiaDeceleration = -1000.0f;
    static constexpr float kMinDragTime = 0.016f;
    static constexpr float kAxisLockDistance = 1.5f;
    static constexpr float kScrollBarWidth = 5.0f;
    static constexpr float kMinScrollBarLength = 30.0f;
    static constexpr const char* kScrollBarPicture = "UIRes/white.png";

    static UIScrollViewBase* create();

    UIScrollViewBase();
    ~UIScrollViewBase() override;

    bool init() override;
    void onEnter() override;
    void update(float dt) override;

    // ------------------------------------------------ scrolling
    virtual void setDirection(int direction);
    int getDirection() const { return direction; }
    virtual void setScrollCallback(const ScrollCallback& callback);
    // Moves the content by (dx, dy), cut at the edges; false when an edge
    // cut the move short. Reports SCROLL_MOVED first, then edge events.
    virtual bool scrollChildren(float dx, float dy);
    // End of a drag: may start the inertia scroll.
    virtual void endSlide();
    virtual void handlePressLogic(cocos2d::Touch* touch);
    virtual void handleMoveLogic(cocos2d::Touch* touch);
    virtual void handleReleaseLogic(cocos2d::Touch* touch);
    // After every change of the content position: the scroll bar.
    virtual void scrollViewDidScroll();

    // Raised to the view's size where smaller; the top (or left) of the
    // content keeps its place.
    void setInnerContainerSize(const cocos2d::Size& size);
    const cocos2d::Size& getInnerContainerSize() const;
    cocos2d::ui::Layout* getInnerContainer() const { return innerContainer; }
    // Moves the container there; offsets below the scroll range are raised
    // to it, positive ones are taken as they are.
    void setContentOffset(const cocos2d::Vec2& offset);
    bool isInertiaActive() const { return inertiaActive; }
    cocos2d::Sprite* getScrollBar() const { return scrollBar; }

    // ------------------------------------------------ widget overrides
    void setContentSize(const cocos2d::Size& size) override;
    void setTouchEnabled(bool enabled) override;
    bool onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void onTouchMoved(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void onTouchEnded(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void onTouchCancelled(cocos2d::Touch* touch, cocos2d::Event* event) override;
    void interceptTouchEvent(TouchEventType event, cocos2d::ui::Widget* sender, cocos2d::Touch* touch) override;

    // ------------------------------------------------ children go into the container
    void addChild(cocos2d::Node* child) override;
    void addChild(cocos2d::Node* child, int localZOrder) override;
    void addChild(cocos2d::Node* child, int localZOrder, int tag) override;
    void addChild(cocos2d::Node* child, int localZOrder, const std::string& name) override;
    void removeAllChildren() override;
    void removeAllChildrenWithCleanup(bool cleanup) override;
    void removeChild(cocos2d::Node* child, bool cleanup = true) override;
    cocos2d::Vector<cocos2d::Node*>& getChildren() override;
    const cocos2d::Vector<cocos2d::Node*>& getChildren() const override;
    ssize_t getChildrenCount() const override;
    cocos2d::Node* getChildByTag(int tag) const override;
    cocos2d::Node* getChildByName(const std::string& name) const override;
    void setLayoutType(int type) override;
    int getLayoutType() const;
    void doLayout() override;
    std::string getDescription() const override { return "ScrollView"; }

    // Cap of the inertia start speed, units/s.
    float maxInertiaSpeed = 1000.0f;
    // How far a child widget's touch may move before the view takes over.
    float childFocusCancelDistance = 5.0f;

protected:
    void initRenderer() override;
    void onSizeChanged() override;
    cocos2d::ui::Widget* createCloneInstance() override;
    void copySpecialProperties(cocos2d::ui::Widget* model) override;
    void copyClonedWidgetChildren(cocos2d::ui::Widget* model) override;

    // Every move of the container: position += (dx, dy), then scrollViewDidScroll.
    void moveContainer(float dx, float dy);
    void inertiaStep(float dt);
    // Overwrites the touch's location with its projection on the locked axis.
    void pinToAxis(cocos2d::Touch* touch);
    void report(int event);
    void onMouseWheel(cocos2d::EventMouse* event);

    cocos2d::ui::Layout* innerContainer = nullptr;
    int direction = 1;
    cocos2d::Vec2 inertiaDirection;
    bool inertiaActive = false;
    float inertiaElapsed = 0;
    float inertiaSpeed = 0;
    float inertiaAcceleration = kInertiaDeceleration;
    bool pressed = false;
    float dragTime = 0;
    ScrollCallback scrollCallback;
    cocos2d::Vec2 dirUp{0, 1};
    cocos2d::Vec2 dirDown{0, -1};
    cocos2d::Vec2 dirLeft{-1, 0};
    cocos2d::Vec2 dirRight{1, 0};
    bool axisUndecided = false;
    cocos2d::Vec2 axisWeights;
    cocos2d::Sprite* scrollBar = nullptr;               // retained
    cocos2d::EventListenerMouse* mouseListener = nullptr; // retained
    bool interceptingChildTouch = false;
};

} // namespace NSUI
