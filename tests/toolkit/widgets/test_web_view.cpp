// Web-page node: a full-window frame above the screens with its command
// addresses; it takes no address itself.
#include <gtest/gtest.h>

#include "headless_stage.h"
#include "toolkit/widgets/NSWebView.h"

USING_NS_CC;

TEST(WebViewTest, FullWindowAboveTheScreensWithItsCommandPaths)
{
    HeadlessStage stage(Size(1280, 800));
    auto* web = NSUI::NSWebView::create();
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->getContentSize(), Size(1280, 800));
    EXPECT_EQ(web->getPosition(), Vec2::ZERO);
    EXPECT_EQ(web->getAnchorPoint(), Vec2::ZERO);
    EXPECT_EQ(web->getLocalZOrder(), 100000);
    EXPECT_EQ(web->retryAddress, "/retry.html");
    EXPECT_EQ(web->backToMainAddress, "/backToMain.html");
    EXPECT_EQ(web->removeAddress, "/remove.html");
    EXPECT_EQ(web->updateAddress, "/updateapk.html");
    EXPECT_EQ(web->openUrlAddress, "/openurl.html");
    for (const std::string& a : {web->retryAddress, std::string("http://localhost/remove.html"), std::string()})
        EXPECT_FALSE(web->handleAddress(a)) << a;
}

TEST(WebViewTest, ShownFollowsVisibilityAndCleanupDropsTheChildren)
{
    HeadlessStage stage;
    auto* web = NSUI::NSWebView::create();
    stage.scene->addChild(web);
    auto* page = Node::create();
    web->addChild(page);
    page->retain();
    EXPECT_TRUE(web->isShown());
    web->setVisible(false);
    EXPECT_FALSE(web->isShown());
    web->removeFromParent();
    EXPECT_EQ(page->getParent(), nullptr);
    page->release();
}
