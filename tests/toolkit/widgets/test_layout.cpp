// Layout base: which layout gets which mouse call, whether the event goes
// on, the button flags, and the picture-load pump while on stage.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "headless_stage.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/widgets/NSLayout.h"

USING_NS_CC;
using NSUI::NSLayout;

namespace {

// Logs "<name>:<call>" and answers with `consume`.
class ProbeLayout : public NSLayout {
public:
    static ProbeLayout* create(const std::string& name, std::vector<std::string>* log, const Rect& rect)
    {
        auto* p = new ProbeLayout();
        if (!p->init()) {
            delete p;
            return nullptr;
        }
        p->autorelease();
        p->setName(name);
        p->_log = log;
        p->setPosition(rect.origin);
        p->setContentSize(rect.size);
        return p;
    }
    bool onMouseScroll(float x, float y, float scrollY) override { return record("scroll", x, y, scrollY); }
    bool onMouseDown(float x, float y) override { return record("down", x, y, 0); }
    bool onMouseUp(float x, float y) override { return record("up", x, y, 0); }
    bool onMouseMove(float x, float y) override { return record("move", x, y, 0); }

    bool consume = false;
    Vec2 lastPoint;
    float lastScroll = 0;
    // Button flags as the last handler saw them: left, right, middle.
    std::string flagsSeen;
    Vec2 previousSeen;

private:
    bool record(const char* what, float x, float y, float scroll)
    {
        _log->push_back(getName() + ":" + what);
        lastPoint.set(x, y);
        lastScroll = scroll;
        flagsSeen = std::string(_leftMouseDown ? "L" : "-") + (_rightMouseDown ? "R" : "-") +
                    (_middleMouseDown ? "M" : "-");
        previousSeen = _previousMousePoint;
        return consume;
    }
    std::vector<std::string>* _log = nullptr;
};

class LayoutRoutingTest : public ::testing::Test {
public:
    void SetUp() override
    {
        back = ProbeLayout::create("back", &log, Rect(0, 0, 800, 600));
        stage.scene->addChild(back);
        holder = Node::create();
        stage.scene->addChild(holder);
        front = ProbeLayout::create("front", &log, Rect(100, 100, 200, 100));
        holder->addChild(front);
        stage.step();
    }
    HeadlessStage stage;
    std::vector<std::string> log;
    ProbeLayout* back = nullptr;
    Node* holder = nullptr;
    ProbeLayout* front = nullptr;
};

} // namespace

TEST_F(LayoutRoutingTest, PressReachesLayoutsUnderThePointerFrontToBack)
{
    struct Case {
        const char* name;
        std::function<void(LayoutRoutingTest&)> setup;
        Vec2 point;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"inside, nobody consumes", nullptr, Vec2(150, 150), {"front:down", "back:down"}},
        {"front consumes", [](LayoutRoutingTest& t) { t.front->consume = true; }, Vec2(150, 150), {"front:down"}},
        {"hidden ancestor", [](LayoutRoutingTest& t) { t.holder->setVisible(false); }, Vec2(150, 150),
         {"back:down"}},
        {"front hidden itself", [](LayoutRoutingTest& t) { t.front->setVisible(false); }, Vec2(150, 150),
         {"back:down"}},
        {"camera flag removed", [](LayoutRoutingTest& t) { t.front->removeCameraMask(1); }, Vec2(150, 150),
         {"back:down"}},
        {"camera flag kept among others", [](LayoutRoutingTest& t) { t.front->setCameraMask(3); }, Vec2(150, 150),
         {"front:down", "back:down"}},
        {"left edge", nullptr, Vec2(100, 150), {"back:down"}},
        {"right edge", nullptr, Vec2(300, 150), {"back:down"}},
        {"bottom edge", nullptr, Vec2(150, 100), {"back:down"}},
        {"top edge", nullptr, Vec2(150, 200), {"back:down"}},
        {"just inside the corner", nullptr, Vec2(100.5f, 199.5f), {"front:down", "back:down"}},
        {"outside", nullptr, Vec2(400, 400), {"back:down"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        front->consume = false;
        holder->setVisible(true);
        front->setVisible(true);
        front->setCameraMask(1);
        if (c.setup)
            c.setup(*this);
        log.clear();
        // Right button: no touch is made, only the mouse event.
        stage.view()->injectMouseDown(c.point.x, c.point.y, 1);
        stage.view()->injectMouseUp(c.point.x, c.point.y, 1);
        std::vector<std::string> downs;
        for (auto& e : log)
            if (e.find(":down") != std::string::npos)
                downs.push_back(e);
        EXPECT_EQ(downs, c.expected);
        front->removeCameraMask(3);
    }
}

TEST_F(LayoutRoutingTest, PointsArriveInNodeSpaceWithThePreviousPoint)
{
    stage.view()->injectMouseMove(120, 130);
    stage.view()->injectMouseMove(150, 170);
    EXPECT_EQ(front->lastPoint, Vec2(50, 70));
    EXPECT_EQ(front->previousSeen, Vec2(20, 30));
}

TEST_F(LayoutRoutingTest, WheelAmountIsPassedThrough)
{
    stage.view()->injectScroll(150, 150, -1);
    EXPECT_FLOAT_EQ(front->lastScroll, -1);
    stage.view()->injectScroll(150, 150, 3);
    EXPECT_FLOAT_EQ(front->lastScroll, 3);
    EXPECT_EQ(log, (std::vector<std::string>{"front:scroll", "back:scroll", "front:scroll", "back:scroll"}));
}

TEST_F(LayoutRoutingTest, OverlappingLayoutsFrontFirstBackOnlyWhenFrontDeclines)
{
    auto* second = ProbeLayout::create("second", &log, Rect(100, 100, 200, 100));
    holder->addChild(second); // drawn over front
    stage.step();
    stage.view()->injectMouseMove(150, 150);
    EXPECT_EQ(log, (std::vector<std::string>{"second:move", "front:move", "back:move"}));
    log.clear();
    second->consume = true;
    stage.view()->injectMouseMove(160, 150);
    EXPECT_EQ(log, (std::vector<std::string>{"second:move"}));
}

TEST_F(LayoutRoutingTest, ButtonFlagsFollowPressAndRelease)
{
    struct Case {
        int button;
        const char* flags;
    };
    for (const Case& c : {Case{0, "L--"}, Case{1, "-R-"}, Case{2, "--M"}, Case{4, "---"}}) {
        SCOPED_TRACE(c.button);
        stage.view()->injectMouseDown(150, 150, c.button);
        EXPECT_EQ(front->flagsSeen, c.flags);
        // The release handler still sees the button; afterwards none is set.
        stage.view()->injectMouseUp(150, 150, c.button);
        EXPECT_EQ(front->flagsSeen, c.flags);
        stage.view()->injectMouseMove(160, 150);
        EXPECT_EQ(front->flagsSeen, "---");
    }
}

TEST_F(LayoutRoutingTest, PressInsideReleaseOutsideKeepsTheFlag)
{
    stage.view()->injectMouseDown(150, 150, 1);
    stage.view()->injectMouseUp(500, 500, 1);
    stage.view()->injectMouseMove(150, 160);
    EXPECT_EQ(front->flagsSeen, "-R-");
    EXPECT_EQ(back->flagsSeen, "---"); // the back layout saw the release
}

TEST_F(LayoutRoutingTest, RemovedLayoutHearsNothingAndCleansUpTwice)
{
    front->retain();
    front->removeFromParent(); // cleanup
    front->cleanup();          // a second one finds no listener
    stage.view()->injectMouseMove(150, 150);
    EXPECT_EQ(log, (std::vector<std::string>{"back:move"}));
    front->release();
}

// ---------------------------------------------------------------------------
// The picture-load pump.

TEST(LayoutPumpTest, StartsOneLoadPerTickAfterThePreviousCompletionWhileOnStage)
{
    HeadlessStage stage;
    ScratchDir dir;
    for (int i = 0; i < 3; ++i)
        writePicture(dir.path + "p" + std::to_string(i) + ".png", 10 + i, 10);
    auto* layout = NSLayout::create();
    layout->retain();
    std::vector<Sprite*> sprites;
    Vector<Sprite*> keep;
    for (int i = 0; i < 3; ++i) {
        sprites.push_back(Sprite::create());
        keep.pushBack(sprites.back());
        layout->loadImageAspectFit(sprites.back(), dir.path + "p" + std::to_string(i) + ".png", Size(20, 20), 1);
    }
    // Off stage nothing starts.
    stage.step(30);
    EXPECT_EQ(layout->getPendingLoadCount(), 3u);
    EXPECT_FALSE(layout->isLoadInFlight());

    stage.scene->addChild(layout);
    // No tick before 0.1 s.
    stage.step(5);
    EXPECT_EQ(layout->getPendingLoadCount(), 3u);

    auto applied = [&] {
        int n = 0;
        for (auto* s : sprites)
            n += s->getTexture() != nullptr;
        return n;
    };
    int lastStartFrame = -100;
    size_t lastPending = 3;
    int frame = 0;
    ASSERT_TRUE(stage.stepUntil([&] {
        ++frame;
        const size_t pending = layout->getPendingLoadCount();
        EXPECT_LE(lastPending - pending, 1u);
        if (pending < lastPending) {
            // Ticks are 0.05 s apart: at least three frames of 1/60 s.
            EXPECT_GE(frame - lastStartFrame, 3);
            lastStartFrame = frame;
            // A new job starts only once the one before was applied.
            EXPECT_EQ(applied(), static_cast<int>(3 - pending - 1));
        }
        lastPending = pending;
        return applied() == 3;
    }));
    EXPECT_FALSE(layout->isLoadInFlight());
    // Widths 10, 11, 12 into a 20 x 20 box.
    EXPECT_FLOAT_EQ(sprites[0]->getScaleX(), 2.0f);
    EXPECT_FLOAT_EQ(sprites[2]->getScaleX(), 20.0f / 12);
    layout->release();
}

TEST(LayoutPumpTest, LeavingTheStageHoldsTheQueueUntilTheNextEntry)
{
    HeadlessStage stage;
    ScratchDir dir;
    writePicture(dir.path + "a.png", 8, 8);
    auto* layout = NSLayout::create();
    layout->retain();
    stage.scene->addChild(layout);
    stage.step();
    layout->removeFromParentAndCleanup(false);
    auto* sprite = Sprite::create();
    Vector<Node*> keep{sprite};
    layout->loadImageAspectFit(sprite, dir.path + "a.png", Size(16, 16), 1);
    stage.step(30);
    EXPECT_EQ(layout->getPendingLoadCount(), 1u);
    stage.scene->addChild(layout);
    EXPECT_TRUE(stage.stepUntil([&] { return sprite->getTexture() != nullptr; }));
    EXPECT_FLOAT_EQ(sprite->getScaleY(), 2.0f);
    layout->release();
}

TEST(LayoutCleanupTest, DestroyedAfterTheHttpClientDoesNotBringItBack)
{
    HeadlessStage stage;
    NSUI::NSHttpClient::getInstance();
    auto* layout = NSLayout::create();
    layout->retain();
    delete NSUI::NSHttpClient::getInstance();
    ASSERT_EQ(NSUI::NSHttpClient::getInstanceIfExists(), nullptr);
    layout->release();
    EXPECT_EQ(NSUI::NSHttpClient::getInstanceIfExists(), nullptr);
}
