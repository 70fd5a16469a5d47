// Colour layers next to texts in a real window: a text's background panel
// and its glyphs share one draw, and the panels still blend premultiplied
// (black and red, half transparent, over grey).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "support_engine.h"
#include "support_xvfb.h"

USING_NS_CC;

namespace {

bool g_skip = false;

struct Rgb {
  int r, g, b;
};

// Pixel at design coordinates (origin bottom-left) of a top-down picture.
Rgb at(const Image& img, int x, int y) {
  const unsigned char* p =
      img.getData() + (static_cast<size_t>(img.getHeight() - 1 - y) * img.getWidth() + x) * img.getComponents();
  return {p[0], p[1], p[2]};
}

// A label on a panel of its own, the panel wider than the text.
Label* panelWithText(Node* parent, const Color4B& panel, float x, float y) {
  auto* layer = LayerColor::create(panel, 300, 50);
  layer->setPosition(x, y);
  parent->addChild(layer);
  auto* text = Label::createWithSystemFont("Avg:40 Max:40", "", 20);
  text->setAnchorPoint(Vec2(0, 0));
  text->setPosition(4, 10);
  layer->addChild(text);
  return text;
}

}  // namespace

TEST(TextPanels, PanelsAndTextsDrawInOneBatchAndBlendPremultiplied) {
  if (g_skip) GTEST_SKIP() << "no display and no xvfb-run";
  GLViewImpl* view = GLViewImpl::createWithRect("text panels", Rect(0, 0, 400, 300));
  ASSERT_NE(view, nullptr);
  Director* d = Director::getInstance();
  d->setOpenGLView(view);
  Scene* scene = Scene::create();
  d->runWithScene(scene);
  scene->addChild(LayerColor::create(Color4B(100, 100, 100, 255)));
  Label* first = panelWithText(scene, Color4B(0, 0, 0, 50), 20, 200);
  panelWithText(scene, Color4B(255, 0, 0, 128), 20, 100);
  d->stepFrame();
  // Background, two panels and two texts: one draw.
  EXPECT_EQ(d->getRenderer()->getDrawnBatches(), 1);
  EXPECT_GT(d->getRenderer()->getDrawnVertices(), 3 * 4);

  TempDir dir;
  const std::string file = dir.path + "panels.jpg";
  bool captured = false;
  utils::captureScreen([&](bool ok, const std::string&) { captured = ok; }, file);
  for (int i = 0; i < 5 && !captured; ++i) d->stepFrame();
  ASSERT_TRUE(captured);
  Image img;
  ASSERT_TRUE(img.initWithImageFile(file));
  struct Probe {
    int x, y;
    Rgb want;
  };
  // Grey 100 under black at 50/255: 100 × 205/255. Under red at 128/255:
  // 255 × 128/255 + 100 × 127/255 in red, 100 × 127/255 in green and blue.
  const Probe probes[] = {
      {380, 280, {100, 100, 100}},  // outside every panel
      {300, 225, {80, 80, 80}},     // black panel, right of its text
      {300, 125, {178, 50, 50}},    // red panel, right of its text
  };
  for (const Probe& p : probes) {
    const Rgb got = at(img, p.x, p.y);
    EXPECT_NEAR(got.r, p.want.r, 6) << p.x << "," << p.y;
    EXPECT_NEAR(got.g, p.want.g, 6) << p.x << "," << p.y;
    EXPECT_NEAR(got.b, p.want.b, 6) << p.x << "," << p.y;
  }
  // The glyphs are still read from their texture: white ink on the panel.
  const Rect box = first->getBoundingBox();
  int ink = 0;
  for (int y = 200 + static_cast<int>(box.getMinY()); y < 200 + static_cast<int>(box.getMaxY()); ++y)
    for (int x = 20 + static_cast<int>(box.getMinX()); x < 20 + static_cast<int>(box.getMaxX()); ++x) {
      const Rgb c = at(img, x, y);
      if (c.r > 200 && c.g > 200 && c.b > 200) ++ink;
    }
  EXPECT_GT(ink, 50);
  EXPECT_LT(ink, static_cast<int>(box.size.width * box.size.height * 0.6f));
  Director::destroyInstance();
}

int main(int argc, char** argv) {
  g_skip = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
