// Picture loads into image views and sprites: queue order, one load in
// flight, aspect fit, cached pictures, bad files and references held.
#include <gtest/gtest.h>

#include <memory>

#include "engine/renderer/TextureCache.h"
#include "headless_stage.h"
#include "toolkit/widgets/UIControlGenerater.h"

USING_NS_CC;
using NSUI::UIControlGenerater;

namespace {

class PictureQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writePicture(dir.path + "tall.png", 50, 200);
        writePicture(dir.path + "wide.png", 200, 50);
        writePicture(dir.path + "square.png", 40, 40);
        writeBytes(dir.path + "broken.png", "this is no picture");
    }
    // Pumps the mixin once per frame until it is idle.
    bool drain(UIControlGenerater& gen)
    {
        return stage.stepUntil([&] {
            gen.loadNextImage();
            return gen.getPendingLoadCount() == 0 && !gen.isLoadInFlight();
        });
    }
    std::string path(const char* name) const { return dir.path + name; }

    HeadlessStage stage;
    ScratchDir dir;
};

} // namespace

TEST_F(PictureQueueTest, LoadsStartInOrderOneAfterTheOtherCompletes)
{
    UIControlGenerater gen;
    Sprite* s[3] = {Sprite::create(), Sprite::create(), Sprite::create()};
    Vector<Node*> keep{s[0], s[1], s[2]};
    gen.loadImageAspectFit(s[0], path("tall.png"), Size(100, 100), 1);
    gen.loadImageAspectFit(s[1], path("wide.png"), Size(100, 100), 1);
    gen.loadImageAspectFit(s[2], path("square.png"), Size(100, 100), 1);
    EXPECT_EQ(gen.getPendingLoadCount(), 3u);

    gen.loadNextImage();
    EXPECT_TRUE(gen.isLoadInFlight());
    EXPECT_EQ(gen.getPendingLoadCount(), 2u);
    // Ticks while the first is in flight start nothing.
    gen.loadNextImage();
    gen.loadNextImage();
    EXPECT_EQ(gen.getPendingLoadCount(), 2u);

    ASSERT_TRUE(stage.stepUntil([&] { return !gen.isLoadInFlight(); }));
    EXPECT_NE(s[0]->getTexture(), nullptr);
    EXPECT_EQ(s[1]->getTexture(), nullptr);
    gen.loadNextImage();
    EXPECT_EQ(gen.getPendingLoadCount(), 1u);
    ASSERT_TRUE(drain(gen));
    EXPECT_FLOAT_EQ(s[1]->getScaleY(), 0.5f);
    EXPECT_FLOAT_EQ(s[2]->getScaleY(), 2.5f);
}

TEST_F(PictureQueueTest, AspectFitScales)
{
    struct Case {
        const char* name;
        const char* file;
        bool widget;
        float factor;
        Vec2 scale;
    };
    const Case cases[] = {
        // s = min(100/50, 100/200) = 0.5, x times the factor.
        {"sprite, factor 2", "tall.png", false, 2.0f, Vec2(1.0f, 0.5f)},
        {"sprite, factor 1", "tall.png", false, 1.0f, Vec2(0.5f, 0.5f)},
        {"sprite, wide picture", "wide.png", false, 1.0f, Vec2(0.5f, 0.5f)},
        {"sprite, equal ratios", "square.png", false, 3.0f, Vec2(7.5f, 2.5f)},
        // Widgets have no factor: the scale is uniform.
        {"image view", "tall.png", true, 1.0f, Vec2(0.5f, 0.5f)},
        {"image view, small picture", "square.png", true, 1.0f, Vec2(2.5f, 2.5f)},
    };
    for (bool cached : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (cached ? ", cached" : ", queued"));
            UIControlGenerater gen;
            Node* target = nullptr;
            if (c.widget) {
                auto* view = ui::ImageView::create();
                target = view;
                gen.loadImageViewAspectFit(view, path(c.file), Size(100, 100));
            } else {
                auto* sprite = Sprite::create();
                target = sprite;
                gen.loadImageAspectFit(sprite, path(c.file), Size(100, 100), c.factor);
            }
            Vector<Node*> keep{target};
            // Once the first round ran, every picture is in the cache and
            // applies in the same call.
            if (cached)
                EXPECT_EQ(gen.getPendingLoadCount(), 0u);
            ASSERT_TRUE(drain(gen));
            EXPECT_FLOAT_EQ(target->getScaleX(), c.scale.x);
            EXPECT_FLOAT_EQ(target->getScaleY(), c.scale.y);
        }
    }
}

TEST_F(PictureQueueTest, CachedPictureAppliesAtOnceWithoutAReference)
{
    ASSERT_NE(stage.director()->getTextureCache()->addImage(path("tall.png")), nullptr);
    UIControlGenerater gen;
    auto* sprite = Sprite::create();
    const auto refs = sprite->getReferenceCount();
    gen.loadImageAspectFit(sprite, path("tall.png"), Size(100, 100), 2.0f);
    EXPECT_EQ(sprite->getReferenceCount(), refs);
    EXPECT_EQ(gen.getPendingLoadCount(), 0u);
    EXPECT_EQ(sprite->getScaleX(), 1.0f);
    EXPECT_EQ(sprite->getScaleY(), 0.5f);
}

TEST_F(PictureQueueTest, AsyncLoadIsQueuedEvenWhenCachedAndShownUnscaled)
{
    ASSERT_NE(stage.director()->getTextureCache()->addImage(path("wide.png")), nullptr);
    UIControlGenerater gen;
    auto* view = ui::ImageView::create();
    Vector<Node*> keep{view};
    view->setScale(0.3f);
    gen.loadImageAsync(view, path("wide.png"));
    EXPECT_EQ(gen.getPendingLoadCount(), 1u);
    ASSERT_TRUE(drain(gen));
    EXPECT_TRUE(view->hasTexture());
    EXPECT_EQ(view->getVirtualRendererSize(), Size(200, 50));
    EXPECT_FLOAT_EQ(view->getScale(), 0.3f);
}

TEST_F(PictureQueueTest, UndecodableFileKeepsTheScaleAndTheQueueMovesOn)
{
    UIControlGenerater gen;
    auto* sprite = Sprite::create();
    sprite->setScale(0.7f);
    auto* view = ui::ImageView::create();
    view->setScale(0.6f);
    auto* next = Sprite::create();
    Vector<Node*> keep{next};
    sprite->retain();
    view->retain();
    stage.step(); // the pool lets go of the new nodes
    const auto spriteRefs = sprite->getReferenceCount();
    gen.loadImageAspectFit(sprite, path("broken.png"), Size(100, 100), 2.0f);
    gen.loadImageViewAspectFit(view, path("missing.png"), Size(100, 100));
    gen.loadImageAspectFit(next, path("tall.png"), Size(100, 100), 1.0f);
    ASSERT_TRUE(drain(gen));
    EXPECT_FLOAT_EQ(sprite->getScaleX(), 0.7f);
    EXPECT_FLOAT_EQ(sprite->getScaleY(), 0.7f);
    EXPECT_FLOAT_EQ(view->getScale(), 0.6f);
    EXPECT_FLOAT_EQ(next->getScaleY(), 0.5f);
    EXPECT_EQ(sprite->getReferenceCount(), spriteRefs);
    sprite->release();
    view->release();
}

TEST_F(PictureQueueTest, TargetRemovedFromItsScreenLivesUntilItsPictureIsApplied)
{
    UIControlGenerater gen;
    auto* sprite = Sprite::create();
    stage.scene->addChild(sprite);
    sprite->retain(); // the test's own look at it
    stage.step();
    const auto before = sprite->getReferenceCount();
    gen.loadImageAspectFit(sprite, path("square.png"), Size(20, 20), 1);
    EXPECT_EQ(sprite->getReferenceCount(), before + 1);
    sprite->removeFromParent();
    gen.loadNextImage();
    EXPECT_EQ(sprite->getReferenceCount(), before); // the scene let go, the job holds it
    ASSERT_TRUE(drain(gen));
    EXPECT_EQ(sprite->getReferenceCount(), before - 1);
    EXPECT_FLOAT_EQ(sprite->getScale(), 0.5f);
    sprite->release();
}

TEST_F(PictureQueueTest, DestroyingTheMixinReleasesQueuedAndInFlightTargets)
{
    std::vector<Node*> targets;
    for (int i = 0; i < 4; ++i) {
        targets.push_back(i % 2 ? static_cast<Node*>(ui::ImageView::create()) : Sprite::create());
        targets.back()->retain();
    }
    stage.step();
    std::vector<unsigned int> before;
    for (Node* t : targets)
        before.push_back(t->getReferenceCount());
    {
        auto gen = std::make_unique<UIControlGenerater>();
        gen->loadImageAspectFit(static_cast<Sprite*>(targets[0]), path("tall.png"), Size(10, 10), 1);
        gen->loadImageViewAspectFit(static_cast<ui::ImageView*>(targets[1]), path("wide.png"), Size(10, 10));
        gen->loadImageAspectFit(static_cast<Sprite*>(targets[2]), path("square.png"), Size(10, 10), 1);
        gen->loadImageAsync(static_cast<ui::ImageView*>(targets[3]), path("square.png"));
        gen->loadNextImage();
        ASSERT_TRUE(gen->isLoadInFlight());
    }
    // The completion of the load in flight never reaches the destroyed mixin.
    stage.step(60);
    for (size_t i = 0; i < targets.size(); ++i) {
        EXPECT_EQ(targets[i]->getReferenceCount(), before[i]) << i;
        targets[i]->release();
    }
    // Nothing was applied.
    EXPECT_EQ(static_cast<Sprite*>(targets[0])->getTexture(), nullptr);
}

TEST_F(PictureQueueTest, CompletionWithNothingInFlightDoesNothing)
{
    UIControlGenerater gen;
    gen.onImageLoaded(nullptr);
    EXPECT_FALSE(gen.isLoadInFlight());
}
