// The GL layer without a context: sprites, draw nodes, program states and
// captures behave and report honestly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/2d/DrawNode.h"
#include "engine/2d/Scene.h"
#include "engine/2d/Sprite.h"
#include "engine/base/ccUtils.h"
#include "engine/cocos2d.h"
#include "engine/platform/Image.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/TextureCache.h"
#include "engine/renderer/TrianglesCommand.h"
#include "support_engine.h"

USING_NS_CC;

namespace {

class GLHeadless : public ::testing::Test {
 protected:
  void TearDown() override { Director::destroyInstance(); }

  std::string png(const std::string& name, int w, int h) {
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4, 255);
    Image img;
    EXPECT_TRUE(img.initWithRawData(px.data(), static_cast<ssize_t>(px.size()), w, h, 8));
    EXPECT_TRUE(img.saveToFile(dir.path + name, false));
    return dir.path + name;
  }
  TempDir dir;
};

}  // namespace

TEST_F(GLHeadless, SpriteFromFileOrNullAndQuadLayout) {
  writeFile(dir.path + "broken.png", "\x89PNG\r\n\x1a\n not really");
  EXPECT_EQ(Sprite::create(dir.path + "missing.png"), nullptr);
  EXPECT_EQ(Sprite::create(dir.path + "broken.png"), nullptr);
  EXPECT_EQ(Sprite::create(""), nullptr);

  Sprite* s = Sprite::create(png("a.png", 40, 20));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->getContentSize().width, 40);
  EXPECT_EQ(s->getContentSize().height, 20);
  EXPECT_EQ(s->getAnchorPoint(), Vec2(0.5f, 0.5f));
  EXPECT_EQ(s->getBlendFunc(), BlendFunc::ALPHA_PREMULTIPLIED);
  EXPECT_EQ(s->getTexture(), Director::getInstance()->getTextureCache()->getTextureForKey(dir.path + "a.png"));

  // A failed setTexture keeps the picture.
  Texture2D* before = s->getTexture();
  s->setTexture(dir.path + "missing.png");
  EXPECT_EQ(s->getTexture(), before);

  s->setTextureRect(Rect(10, 5, 20, 10));
  EXPECT_EQ(s->getContentSize().width, 20);
  EXPECT_EQ(s->getContentSize().height, 10);
}

namespace {
// Exposes the sprite's quad for the texture-coordinate checks.
struct QuadSprite : public Sprite {
  static QuadSprite* make(Texture2D* t) {
    auto* s = new QuadSprite;
    s->initWithTexture(t);
    s->autorelease();
    return s;
  }
  const V3F_C4B_T2F_Quad& quad() const { return _quad; }
};
}  // namespace

TEST_F(GLHeadless, FlipYPutsTextureRowZeroAtLocalYZero) {
  Texture2D* t = Director::getInstance()->getTextureCache()->addImage(png("b.png", 8, 4));
  ASSERT_NE(t, nullptr);
  QuadSprite* s = QuadSprite::make(t);
  // Unflipped: the picture's top row (v = 0) is at the top (local y = h).
  EXPECT_EQ(s->quad().tl.vertices.y, 4);
  EXPECT_EQ(s->quad().tl.texCoords.v, 0);
  EXPECT_EQ(s->quad().bl.texCoords.v, 1);
  s->setFlipY(true);
  EXPECT_EQ(s->quad().bl.vertices.y, 0);
  EXPECT_EQ(s->quad().bl.texCoords.v, 0);
  EXPECT_EQ(s->quad().tl.texCoords.v, 1);
  s->setFlippedX(true);
  EXPECT_EQ(s->quad().bl.texCoords.u, 1);
  EXPECT_EQ(s->quad().br.texCoords.u, 0);
}

TEST_F(GLHeadless, DrawNodeKeepsPremultipliedShapesUntilClear) {
  DrawNode* d = DrawNode::create();
  d->drawSolidRect(Vec2(0, 0), Vec2(10, 10), Color4F(1, 0, 0, 0.5f));
  d->drawLine(Vec2(0, 0), Vec2(5, 5), Color4F(0, 1, 0, 1));
  d->setLineWidth(4);
  d->drawRect(Vec2(1, 1), Vec2(3, 3), Color4F(0, 0, 1, 1));
  ASSERT_EQ(d->getTriangleVertices().size(), 6u);
  EXPECT_EQ(d->getTriangleVertices()[0].color, Color4B(128, 0, 0, 128));
  ASSERT_EQ(d->getLineBatches().size(), 2u);
  EXPECT_EQ(d->getLineBatches()[0].width, 1);
  EXPECT_EQ(d->getLineBatches()[0].vertices.size(), 2u);
  EXPECT_EQ(d->getLineBatches()[1].width, 4);
  EXPECT_EQ(d->getLineBatches()[1].vertices.size(), 8u);
  d->clear();
  EXPECT_TRUE(d->getTriangleVertices().empty());
  EXPECT_TRUE(d->getLineBatches().empty());
}

TEST_F(GLHeadless, CaptureScreenReportsFalseOnTheUiThreadAtALaterFrame) {
  std::vector<std::pair<bool, std::string>> calls;
  bool onUi = true;
  utils::captureScreen(
      [&](bool ok, const std::string& f) {
        onUi = onUi && Director::getInstance()->isUIThread();
        calls.emplace_back(ok, f);
      },
      dir.path + "c.jpg");
  EXPECT_TRUE(calls.empty());
  Director::getInstance()->stepFrame();
  Director::getInstance()->stepFrame();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(calls[0].first);
  EXPECT_EQ(calls[0].second, dir.path + "c.jpg");
  EXPECT_TRUE(onUi);
}

TEST_F(GLHeadless, NoProgramsWithoutAContext) {
  EXPECT_EQ(GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_COLOR), nullptr);
  EXPECT_EQ(GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP), nullptr);
  EXPECT_FALSE(Configuration::getInstance()->supportsShareableVAO());
  Configuration::getInstance()->setMaxTextureSize(4096);
  EXPECT_EQ(Configuration::getInstance()->getMaxTextureSize(), 4096);
  Configuration::destroyInstance();
}
