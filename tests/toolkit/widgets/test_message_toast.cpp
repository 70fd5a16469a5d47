// Message toast: one box per scene, its geometry and look, the timer, and
// the relative-layout helper.
#include <gtest/gtest.h>

#include "headless_stage.h"
#include "toolkit/widgets/NSLayout.h"
#include "toolkit/widgets/UIControlBase.h"

USING_NS_CC;

namespace {

int countNamed(Node* parent, const std::string& name)
{
    int n = 0;
    for (Node* c : parent->getChildren())
        n += c->getName() == name;
    return n;
}

ui::Text* messageText(Scene* scene)
{
    Node* box = scene->getChildByName("messageBox");
    return box ? dynamic_cast<ui::Text*>(box->getChildByNameDeep("messageBox.text")) : nullptr;
}

} // namespace

class MessageBoxGeometryTest : public ::testing::TestWithParam<Size> {};

TEST_P(MessageBoxGeometryTest, BoxFollowsTheWindowItWasMadeIn)
{
    const Size win = GetParam();
    HeadlessStage stage(win);
    auto* view = NSUI::messageView::create();
    ASSERT_NE(view, nullptr);
    view->showMessage("Saved", 1.5f);

    auto* box = dynamic_cast<ui::Layout*>(stage.scene->getChildByName("messageBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->getContentSize(), Size(0.8f * win.width, 80));
    EXPECT_EQ(box->getPosition(), Vec2(0.5f * win.width, 0.15f * win.height));
    EXPECT_EQ(box->getAnchorPoint(), Vec2(0.5f, 0.5f));
    EXPECT_EQ(box->getLocalZOrder(), 300000);
    EXPECT_EQ(box->getBackGroundColorType(), ui::Layout::BackGroundColorType::SOLID);
    EXPECT_EQ(box->getBackGroundColor(), Color3B(88, 88, 88));
    EXPECT_EQ(box->getBackGroundColorOpacity(), 233);
    EXPECT_TRUE(box->isVisible());

    ui::Text* text = messageText(stage.scene);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->getString(), "Saved");
    EXPECT_EQ(text->getParent(), box);
    EXPECT_EQ(text->getLocalZOrder(), 300010);
    EXPECT_FLOAT_EQ(text->getFontSize(), 23);
    EXPECT_EQ(text->getTextColor(), Color4B::WHITE);
    EXPECT_EQ(text->getAnchorPoint(), Vec2(0.5f, 0.5f));
    EXPECT_EQ(text->getPosition(), Vec2(0.4f * win.width, 40));
}

INSTANTIATE_TEST_SUITE_P(Windows, MessageBoxGeometryTest, ::testing::Values(Size(800, 600), Size(1280, 800)));

TEST(MessageToastTest, SecondMessageReplacesTheFirstInTheSameBox)
{
    HeadlessStage stage;
    auto* layout = NSUI::NSLayout::create();
    stage.scene->addChild(layout);
    layout->showMessage("first", 1.5f);
    Node* box = stage.scene->getChildByName("messageBox");
    stage.step(30);
    // A widget outside the running scene shows in the running scene too.
    auto* other = NSUI::NSLayout::create();
    other->showMessage("second", 1.5f);
    EXPECT_EQ(countNamed(stage.scene, "messageBox"), 1);
    EXPECT_EQ(stage.scene->getChildByName("messageBox"), box);
    EXPECT_EQ(messageText(stage.scene)->getString(), "second");
    // The second message restarted the timer: 1.5 s from now, not from the first.
    stage.step(70);
    EXPECT_TRUE(box->isVisible());
    stage.step(25);
    EXPECT_FALSE(box->isVisible());
}

TEST(MessageToastTest, BoxHidesAfterItsSecondsAndComesBackEmpty)
{
    HeadlessStage stage;
    auto* view = NSUI::messageView::create();
    view->showMessage("Sent", 2.0f);
    Node* box = stage.scene->getChildByName("messageBox");
    stage.step(110);
    EXPECT_TRUE(box->isVisible());
    stage.step(20);
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(box->getParent(), stage.scene); // hidden, never removed
    view->showMessage("", 1.0f);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(messageText(stage.scene)->getString(), "");
}

TEST(MessageToastTest, NothingWithoutARunningScene)
{
    Director::getInstance()->setOpenGLView(GLViewImpl::createHeadless(Size(800, 600)));
    auto* view = NSUI::messageView::create();
    view->showMessage("nowhere", 1.0f);
    SUCCEED();
    Director::destroyInstance();
}

TEST(RelativeLayoutParameterTest, OnlyAlignmentsOneToNineOnWidgets)
{
    HeadlessStage stage;
    auto* layout = NSUI::NSLayout::create();
    struct Case {
        int align;
        bool set;
    };
    for (const Case& c : {Case{0, false}, Case{10, false}, Case{-1, false}, Case{1, true}, Case{9, true}}) {
        SCOPED_TRACE(c.align);
        auto* before = ui::LayoutParameter::create();
        layout->setLayoutParameter(before);
        layout->setRelativeLayoutParameter(c.align, "", ui::Margin(1, 2, 3, 4));
        auto* now = layout->getLayoutParameter();
        if (!c.set) {
            EXPECT_EQ(now, before);
            continue;
        }
        auto* rel = dynamic_cast<ui::RelativeLayoutParameter*>(now);
        ASSERT_NE(rel, nullptr);
        EXPECT_EQ(static_cast<int>(rel->getAlign()), c.align);
        EXPECT_TRUE(rel->getMargin().equals(ui::Margin(1, 2, 3, 4)));
    }
    // A mixin bound to a plain node changes nothing.
    auto* view = NSUI::messageView::create();
    view->setWidget(Node::create());
    view->setRelativeLayoutParameter(5, "", ui::Margin());
    SUCCEED();
}

TEST(NSTextTest, TextWidgetCarriesTheMixinBoundToItself)
{
    HeadlessStage stage;
    auto* text = NSUI::NSText::create("W 400 L 40", "", 18);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->getWidget(), text);
    EXPECT_EQ(text->getString(), "W 400 L 40");
    EXPECT_FLOAT_EQ(text->getFontSize(), 18);
    text->setRelativeLayoutParameter(3, "", ui::Margin());
    EXPECT_NE(dynamic_cast<ui::RelativeLayoutParameter*>(text->getLayoutParameter()), nullptr);
}
