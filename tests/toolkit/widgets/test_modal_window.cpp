// Modal window: touches and mouse events that fall inside it never reach
// the screen beneath; the pop-up's own widgets still get theirs.
#include <gtest/gtest.h>

#include "headless_stage.h"
#include "toolkit/widgets/NSLayout.h"
#include "toolkit/widgets/NSResponseWindow.h"

USING_NS_CC;
using Code = EventTouch::EventCode;

namespace {

// A full-window layer beneath that records the touches it is offered.
class Beneath : public Layer {
public:
    CREATE_FUNC(Beneath)
    bool init() override
    {
        if (!Layer::init())
            return false;
        setTouchEnabled(true);
        setSwallowsTouches(false);
        return true;
    }
    bool onTouchBegan(Touch*, Event*) override
    {
        ++touches;
        return true;
    }
    int touches = 0;
};

class MouseBeneath : public NSUI::NSLayout {
public:
    static MouseBeneath* create()
    {
        auto* l = new MouseBeneath();
        l->init();
        l->autorelease();
        l->setContentSize(Director::getInstance()->getWinSize());
        return l;
    }
    bool onMouseScroll(float, float, float) override { return ++events, false; }
    bool onMouseDown(float, float) override { return ++events, false; }
    bool onMouseMove(float, float) override { return ++events, false; }
    int events = 0;
};

class ModalWindowTest : public ::testing::Test {
public:
    void SetUp() override
    {
        beneath = Beneath::create();
        stage.scene->addChild(beneath);
        mouse = MouseBeneath::create();
        stage.scene->addChild(mouse);
        button = ui::Button::create();
        button->setTitleText("Delete series");
        button->setPosition(Vec2(400, 300));
        button->addClickEventListener([this](Ref*) { ++buttonClicks; });
        stage.scene->addChild(button);
        window = NSUI::NSResponseWindow::create();
        stage.scene->addChild(window);
        stage.step();
    }
    void tap(Vec2 p)
    {
        stage.view()->injectTouches(Code::BEGAN, {1}, {p});
        stage.view()->injectTouches(Code::ENDED, {1}, {p});
    }
    HeadlessStage stage;
    Beneath* beneath = nullptr;
    MouseBeneath* mouse = nullptr;
    ui::Button* button = nullptr;
    int buttonClicks = 0;
    NSUI::NSResponseWindow* window = nullptr;
};

} // namespace

TEST_F(ModalWindowTest, FillsTheWindowHighInTheZOrder)
{
    EXPECT_EQ(window->getLocalZOrder(), 10000);
    EXPECT_EQ(window->getContentSize(), Size(800, 600));
    EXPECT_TRUE(window->isTouchEnabled());
    EXPECT_TRUE(window->isSwallowsTouches());
}

TEST_F(ModalWindowTest, TouchesInsideAreClaimedOnesOnTheEdgeAreNot)
{
    struct Case {
        Vec2 point;
        int reachBeneath;
    };
    for (const Case& c : {Case{Vec2(400, 300), 0}, Case{Vec2(1, 1), 0}, Case{Vec2(0, 300), 1},
                          Case{Vec2(400, 0), 1}, Case{Vec2(800, 300), 1}, Case{Vec2(400, 600), 1}}) {
        SCOPED_TRACE(testing::Message() << c.point.x << "," << c.point.y);
        beneath->touches = 0;
        tap(c.point);
        EXPECT_EQ(beneath->touches, c.reachBeneath);
    }
}

TEST_F(ModalWindowTest, ButtonBeneathGetsNothing)
{
    stage.view()->injectMouseDown(400, 300, 0);
    stage.view()->injectMouseUp(400, 300, 0);
    EXPECT_EQ(buttonClicks, 0);
    EXPECT_EQ(mouse->events, 0);
    // With the window gone the same click reaches it.
    window->removeFromParent();
    stage.view()->injectMouseDown(400, 300, 0);
    stage.view()->injectMouseUp(400, 300, 0);
    EXPECT_EQ(buttonClicks, 1);
}

TEST_F(ModalWindowTest, WheelAndMovesInsideDoNotReachALayoutBeneath)
{
    stage.view()->injectScroll(400, 300, -1);
    stage.view()->injectMouseMove(420, 320);
    stage.view()->injectMouseDown(420, 320, 1);
    EXPECT_EQ(mouse->events, 0);
    // Keyboard events pass.
    int keys = 0;
    auto* listener = EventListenerKeyboard::create();
    listener->onKeyPressed = [&](EventKeyboard::KeyCode, Event*) { ++keys; };
    stage.director()->getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, mouse);
    stage.view()->injectKey(EventKeyboard::KeyCode::KEY_LEFT_CTRL, true);
    EXPECT_EQ(keys, 1);
}

TEST_F(ModalWindowTest, PopUpsOwnWidgetsStillGetTheirInput)
{
    auto* ok = ui::Button::create();
    ok->setTitleText("OK");
    ok->setPosition(Vec2(400, 300));
    int clicks = 0;
    ok->addClickEventListener([&](Ref*) { ++clicks; });
    window->addChild(ok);
    struct Front : NSUI::NSLayout {
        bool onMouseScroll(float, float, float) override { return ++wheel, false; }
        int wheel = 0;
    };
    auto* panel = new Front();
    panel->init();
    panel->autorelease();
    panel->setPosition(Vec2(300, 200));
    panel->setContentSize(Size(200, 200));
    window->addChild(panel);
    stage.step();

    stage.view()->injectMouseDown(400, 300, 0);
    stage.view()->injectMouseUp(400, 300, 0);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(buttonClicks, 0);
    stage.view()->injectScroll(350, 250, 1);
    EXPECT_EQ(panel->wheel, 1);
    EXPECT_EQ(mouse->events, 0);
}
