// Scroll view: moves cut at the edges with their events, drags, inertia,
// the axis lock, children's presses, the wheel, container size and offset,
// and the scroll bar.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "headless_stage.h"
#include "toolkit/widgets/NSLayout.h"
#include "toolkit/widgets/UIScrollViewBase.h"

USING_NS_CC;
using NSUI::UIScrollViewBase;
using Code = EventTouch::EventCode;

namespace {

// A 200 x 300 view at (100, 100) with a 200 x 1000 container, top visible.
class ScrollViewTest : public ::testing::Test {
public:
    void SetUp() override
    {
        view = UIScrollViewBase::create();
        view->setContentSize(Size(200, 300));
        view->setPosition(Vec2(100, 100));
        view->setInnerContainerSize(Size(200, 1000));
        view->setScrollCallback([this](Ref* sender, int e) {
            EXPECT_EQ(sender, view);
            events.push_back(e);
        });
        stage.scene->addChild(view);
        stage.step();
        events.clear();
    }
    Vec2 offset() const { return view->getInnerContainer()->getPosition(); }
    void touch(Code code, Vec2 p) { stage.view()->injectTouches(code, {1}, {p}); }
    // A drag of `frames` frames from a to b in equal steps, released at b.
    void drag(Vec2 a, Vec2 b, int frames, float dt = 1.0f / 60)
    {
        touch(Code::BEGAN, a);
        for (int i = 1; i <= frames; ++i) {
            stage.step(1, dt);
            touch(Code::MOVED, a + (b - a) * (float(i) / frames));
        }
        touch(Code::ENDED, b);
    }
    // Steps until the inertia scroll ends; the distance it travelled.
    float coast()
    {
        const float start = offset().y;
        for (int i = 0; i < 600 && view->isInertiaActive(); ++i)
            stage.step();
        EXPECT_FALSE(view->isInertiaActive());
        return offset().y - start;
    }

    HeadlessStage stage;
    UIScrollViewBase* view = nullptr;
    std::vector<int> events;
};

} // namespace

TEST_F(ScrollViewTest, MovesAreCutAtTheEdgesWithTheirEvents)
{
    struct Case {
        const char* name;
        int direction;
        Size container;
        Vec2 start;
        Vec2 delta;
        Vec2 end;
        bool result;
        std::vector<int> events;
    };
    const std::vector<Case> cases = {
        {"vertical, free", 1, Size(200, 1000), Vec2(0, -700), Vec2(30, 100), Vec2(0, -600), true, {4}},
        {"vertical, past the top", 1, Size(200, 1000), Vec2(0, -700), Vec2(0, -50), Vec2(0, -700), false, {4, 0}},
        {"vertical, onto the top", 1, Size(200, 1000), Vec2(0, -650), Vec2(0, -80), Vec2(0, -700), false, {4, 0}},
        {"vertical, past the bottom", 1, Size(200, 1000), Vec2(0, -50), Vec2(0, 100), Vec2(0, 0), false, {4, 1}},
        {"vertical, content as small as the view up", 1, Size(200, 300), Vec2(0, 0), Vec2(0, 10), Vec2(0, 0),
         false, {4, 1}},
        {"vertical, content as small as the view down", 1, Size(200, 300), Vec2(0, 0), Vec2(0, -10), Vec2(0, 0),
         false, {4, 0}},
        {"horizontal, free", 2, Size(1000, 300), Vec2(-100, 0), Vec2(-100, 40), Vec2(-200, 0), true, {4}},
        {"horizontal, past the left", 2, Size(1000, 300), Vec2(0, 0), Vec2(10, 0), Vec2(0, 0), false, {4, 2}},
        {"horizontal, past the right", 2, Size(1000, 300), Vec2(-750, 0), Vec2(-100, 0), Vec2(-800, 0), false,
         {4, 3}},
        {"both, each edge it moves to", 3, Size(1000, 1000), Vec2(0, -700), Vec2(10, -10), Vec2(0, -700), false,
         {4, 2, 0}},
        {"both, free", 3, Size(1000, 1000), Vec2(-100, -500), Vec2(-50, 50), Vec2(-150, -450), true, {4}},
        {"no direction", 0, Size(200, 1000), Vec2(0, -700), Vec2(0, 100), Vec2(0, -700), true, {4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view->setDirection(c.direction);
        view->getInnerContainer()->setContentSize(c.container);
        view->getInnerContainer()->setPosition(c.start);
        events.clear();
        EXPECT_EQ(view->scrollChildren(c.delta.x, c.delta.y), c.result);
        EXPECT_EQ(offset(), c.end);
        EXPECT_EQ(events, c.events);
    }
}

TEST_F(ScrollViewTest, DragScrollsOneToOneAndNeverPastTheEdges)
{
    view->setContentOffset(Vec2(0, -400));
    drag(Vec2(200, 200), Vec2(200, 260), 3, 0.01f);
    EXPECT_FLOAT_EQ(offset().y, -340);
    // A long drag towards the top stops there.
    view->setContentOffset(Vec2(0, -500));
    drag(Vec2(200, 380), Vec2(200, 120), 3, 0.005f);
    EXPECT_FLOAT_EQ(offset().y, -700);
    EXPECT_EQ(events.back(), UIScrollViewBase::SCROLL_EDGE_TOP);
}

TEST_F(ScrollViewTest, QuickReleaseDoesNotCoast)
{
    struct Case {
        float dt;
        bool coasts;
    };
    for (const Case& c : {Case{0.016f, false}, Case{0.017f, true}}) {
        SCOPED_TRACE(c.dt);
        view->setContentOffset(Vec2(0, -400));
        drag(Vec2(200, 200), Vec2(200, 205), 1, c.dt);
        EXPECT_EQ(view->isInertiaActive(), c.coasts);
        coast();
    }
}

TEST_F(ScrollViewTest, InertiaTravelsSpeedSquaredOver2000)
{
    view->setInnerContainerSize(Size(200, 5000));
    struct Case {
        float distance;
        int frames;
        float speed; // after the cap
    };
    for (const Case& c : {Case{100, 12, 500}, Case{-120, 12, 600}, Case{300, 6, 1000}, Case{-600, 6, 1000}}) {
        SCOPED_TRACE(c.distance);
        view->setContentOffset(Vec2(0, -2500));
        drag(Vec2(200, 250), Vec2(200, 250 + c.distance), c.frames);
        ASSERT_TRUE(view->isInertiaActive());
        const float travel = coast();
        const float expected = c.speed * c.speed / 2000;
        EXPECT_EQ(travel > 0, c.distance > 0);
        EXPECT_LE(std::fabs(travel), expected + 0.01f);
        EXPECT_GE(std::fabs(travel), expected - c.speed / 60);
        EXPECT_LE(std::fabs(travel), 500.01f);
    }
}

TEST_F(ScrollViewTest, RaisedSpeedCapCoastsFurther)
{
    view->setInnerContainerSize(Size(200, 20000));
    view->maxInertiaSpeed = 4000;
    view->setContentOffset(Vec2(0, -15000));
    drag(Vec2(200, 150), Vec2(200, 350), 3); // 4000 units/s
    EXPECT_NEAR(coast(), 8000.0f, 70.0f);
}

TEST_F(ScrollViewTest, FlickStopsExactlyAtTheEdgeWithItsEvent)
{
    view->setContentOffset(Vec2(0, -100));
    drag(Vec2(200, 150), Vec2(200, 250), 6);
    coast();
    EXPECT_FLOAT_EQ(offset().y, 0);
    EXPECT_EQ(events.back(), UIScrollViewBase::SCROLL_EDGE_BOTTOM);
}

TEST_F(ScrollViewTest, PressStopsTheInertia)
{
    view->setContentOffset(Vec2(0, -400));
    drag(Vec2(200, 150), Vec2(200, 250), 6);
    ASSERT_TRUE(view->isInertiaActive());
    touch(Code::BEGAN, Vec2(200, 200));
    EXPECT_FALSE(view->isInertiaActive());
    touch(Code::ENDED, Vec2(200, 200));
}

TEST_F(ScrollViewTest, SidewaysDragOnAVerticalViewDoesNotScroll)
{
    view->setContentOffset(Vec2(0, -400));
    touch(Code::BEGAN, Vec2(150, 250));
    for (Vec2 p : {Vec2(160, 251), Vec2(190, 258), Vec2(240, 275), Vec2(260, 200), Vec2(270, 150)}) {
        stage.step();
        touch(Code::MOVED, p);
        EXPECT_FLOAT_EQ(offset().y, -400);
    }
    touch(Code::ENDED, Vec2(270, 150));
    // Nor does it coast on its vertical drift once released.
    stage.step(30);
    EXPECT_FLOAT_EQ(offset().y, -400);

    // A vertical start keeps the drag on the vertical axis.
    touch(Code::BEGAN, Vec2(150, 250));
    for (Vec2 p : {Vec2(151, 260), Vec2(200, 270)}) {
        stage.step();
        touch(Code::MOVED, p);
    }
    touch(Code::ENDED, Vec2(200, 270));
    EXPECT_FLOAT_EQ(offset().y, -380);
}

TEST_F(ScrollViewTest, ChildKeepsItsPressWithinFiveUnits)
{
    view->setContentOffset(Vec2(0, -400));
    auto* child = ui::Layout::create();
    child->setContentSize(Size(100, 60));
    child->setPosition(Vec2(50, 500)); // at (150..250, 200..260) on screen
    child->setTouchEnabled(true);
    int clicks = 0;
    child->addClickEventListener([&](Ref*) { ++clicks; });
    view->addChild(child);
    stage.step();
    EXPECT_EQ(child->getParent(), view->getInnerContainer());

    struct Case {
        const char* name;
        Vec2 move;
        int clicks;
        float scrolled;
    };
    for (const Case& c : {Case{"within 5", Vec2(3, 4), 1, 0}, Case{"beyond 5", Vec2(0, 20), 0, 20}}) {
        SCOPED_TRACE(c.name);
        clicks = 0;
        view->setContentOffset(Vec2(0, -400));
        touch(Code::BEGAN, Vec2(200, 220));
        EXPECT_TRUE(child->isHighlighted());
        stage.step();
        touch(Code::MOVED, Vec2(200, 220) + c.move * 0.5f);
        stage.step();
        touch(Code::MOVED, Vec2(200, 220) + c.move);
        EXPECT_EQ(child->isHighlighted(), c.clicks == 1);
        touch(Code::ENDED, Vec2(200, 220) + c.move);
        EXPECT_EQ(clicks, c.clicks);
        EXPECT_FLOAT_EQ(offset().y, -400 + c.scrolled);
    }
}

TEST_F(ScrollViewTest, WheelMovesTwentyUnitsPerNotchInsideOnly)
{
    std::vector<std::string> log;
    struct Back : NSUI::NSLayout {
        bool onMouseScroll(float, float, float) override
        {
            ++heard;
            return false;
        }
        int heard = 0;
    };
    auto* back = new Back();
    back->init();
    back->autorelease();
    back->setContentSize(Size(800, 600));
    stage.scene->addChild(back, -1);
    stage.step();

    struct Case {
        const char* name;
        Vec2 point;
        float notches;
        bool hidden;
        float moved;
        int backHeard;
    };
    const Case cases[] = {
        {"one notch away", Vec2(200, 250), -1, false, -20, 0},
        {"two notches towards", Vec2(200, 250), 2, false, 40, 0},
        {"outside", Vec2(50, 50), -1, false, 0, 1},
        {"on the edge", Vec2(100, 250), -1, false, 0, 1},
        {"hidden", Vec2(200, 250), -1, true, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view->setContentOffset(Vec2(0, -400));
        view->setVisible(!c.hidden);
        back->heard = 0;
        stage.view()->injectScroll(c.point.x, c.point.y, c.notches);
        EXPECT_FLOAT_EQ(offset().y, -400 + c.moved);
        EXPECT_EQ(back->heard, c.backHeard);
    }
}

TEST_F(ScrollViewTest, ContainerSizeKeepsTheTopAndIsNeverSmallerThanTheView)
{
    EXPECT_FLOAT_EQ(view->getInnerContainer()->getTopBoundary(), 300);
    view->setInnerContainerSize(Size(200, 1500));
    EXPECT_FLOAT_EQ(offset().y, -1200);
    EXPECT_FLOAT_EQ(view->getInnerContainer()->getTopBoundary(), 300);
    view->setContentOffset(Vec2(0, -800));
    view->setInnerContainerSize(Size(200, 1600));
    EXPECT_FLOAT_EQ(offset().y, -900); // the row at the top stays at the top
    view->setInnerContainerSize(Size(50, 100));
    EXPECT_EQ(view->getInnerContainerSize(), Size(200, 300));
    EXPECT_EQ(offset(), Vec2(0, 0));
}

TEST_F(ScrollViewTest, ContentOffsetRaisesLowOffsetsOnly)
{
    view->setContentOffset(Vec2(0, 10));
    EXPECT_EQ(offset(), Vec2(0, 10));
    view->setContentOffset(Vec2(0, -5000));
    EXPECT_EQ(offset(), Vec2(0, -700));
    view->setContentOffset(Vec2(0, -250));
    EXPECT_EQ(offset(), Vec2(0, -250));
}

TEST_F(ScrollViewTest, ChildrenGoIntoTheContainer)
{
    auto* a = Node::create();
    a->setTag(7);
    view->addChild(a);
    auto* b = Node::create();
    view->addChild(b, 3, "b");
    EXPECT_EQ(view->getChildrenCount(), 2);
    EXPECT_EQ(view->getChildByTag(7), a);
    EXPECT_EQ(view->getChildByName("b"), b);
    EXPECT_EQ(a->getParent(), view->getInnerContainer());
    EXPECT_EQ(view->getInnerContainer()->getTag(), 1);
    EXPECT_EQ(view->getInnerContainer()->getLocalZOrder(), 1);
    view->removeAllChildren();
    EXPECT_EQ(view->getChildrenCount(), 0);
    EXPECT_EQ(view->getDescription(), "ScrollView");
}

TEST_F(ScrollViewTest, ScrollBarShowsWhereTheContentIsAndFades)
{
    view->setLocalZOrder(7);
    struct Case {
        float offset;
        float y;
    };
    // Length 300 * 300 / 1000 = 90; y = (300 - 90) * r.
    for (const Case& c : {Case{-700, 210}, Case{-350, 105}, Case{0, 0}, Case{20, 0}}) {
        SCOPED_TRACE(c.offset);
        view->setContentOffset(Vec2(0, c.offset));
        Sprite* bar = view->getScrollBar();
        ASSERT_NE(bar, nullptr);
        EXPECT_TRUE(bar->isVisible());
        EXPECT_EQ(bar->getParent(), view);
        EXPECT_FLOAT_EQ(bar->getPositionX(), 200);
        EXPECT_FLOAT_EQ(bar->getPositionY(), c.y);
        EXPECT_FLOAT_EQ(bar->getBoundingBox().size.height, 90);
        EXPECT_FLOAT_EQ(bar->getBoundingBox().size.width, 5);
        EXPECT_EQ(bar->getLocalZOrder(), 107);
        EXPECT_EQ(bar->getOpacity(), 255);
    }
    stage.step(125);
    EXPECT_EQ(view->getScrollBar()->getOpacity(), 0);
    // Content that fits hides the bar.
    view->setInnerContainerSize(Size(200, 100));
    EXPECT_FALSE(view->getScrollBar()->isVisible());
}
