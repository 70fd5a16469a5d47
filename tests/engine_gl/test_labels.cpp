// Labels drawn in a real window: Latin, Chinese (fallback font), Arabic
// (shaped, right to left), a shadow and a wrapped block, captured and
// checked by counting ink inside each label's rectangle. With FW_SHOT_DIR
// set, the capture is kept there as labels.jpg.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "support_engine.h"
#include "support_xvfb.h"

USING_NS_CC;

namespace {

bool g_skip = false;

struct Ink {
  int count = 0;
  int minX = 1 << 20, maxX = -1;
};

// Counts pixels matching pred in the design rectangle r (origin
// bottom-left) of a top-down picture.
Ink inkIn(const Image& img, const Rect& r, const std::function<bool(int, int, int)>& pred) {
  Ink ink;
  for (int y = static_cast<int>(r.getMinY()); y < static_cast<int>(r.getMaxY()); ++y) {
    for (int x = static_cast<int>(r.getMinX()); x < static_cast<int>(r.getMaxX()); ++x) {
      if (x < 0 || y < 0 || x >= img.getWidth() || y >= img.getHeight()) continue;
      const unsigned char* p =
          img.getData() + (static_cast<size_t>(img.getHeight() - 1 - y) * img.getWidth() + x) * img.getComponents();
      if (pred(p[0], p[1], p[2])) {
        ++ink.count;
        ink.minX = std::min(ink.minX, x);
        ink.maxX = std::max(ink.maxX, x);
      }
    }
  }
  return ink;
}

Label* place(Node* parent, Label* l, float x, float y) {
  l->setAnchorPoint(Vec2(0, 0));
  l->setPosition(x, y);
  parent->addChild(l);
  return l;
}

}  // namespace

TEST(LabelWindow, LatinChineseArabicShadowAndWrapping) {
  if (g_skip) GTEST_SKIP() << "no display and no xvfb-run";
  GLViewImpl* view = GLViewImpl::createWithRect("labels", Rect(0, 0, 640, 360));
  ASSERT_NE(view, nullptr);
  Director* d = Director::getInstance();
  d->setOpenGLView(view);
  Scene* scene = Scene::create();
  d->runWithScene(scene);
  scene->addChild(LayerColor::create(Color4B(40, 40, 48, 255)));
  auto* latin = place(scene, Label::createWithSystemFont("Fernwick Label Ag 123", "", 32), 20, 300);
  auto* chinese = place(scene, Label::createWithSystemFont("中文标签：患者列表", "", 32), 20, 250);
  chinese->setTextColor(Color4B(255, 230, 0, 255));
  // The cancel button's text of the Arabic interface, right-aligned in 600.
  auto* arabic = place(scene, Label::createWithSystemFont("إلغاء — جارٍ ضغط البيانات...", "", 28), 20, 200);
  arabic->setDimensions(600, 0);
  arabic->setHorizontalAlignment(TextHAlignment::RIGHT);
  arabic->setTextColor(Color4B(0, 220, 255, 255));
  auto* panel = LayerColor::create(Color4B::WHITE, 600, 150);
  panel->setPosition(20, 20);
  scene->addChild(panel);
  auto* shadow = place(panel, Label::createWithSystemFont("Shadow ظل 影", "", 36), 20, 90);
  shadow->enableShadow(Color4B::BLACK, Size(3, -3), 0);
  auto* wrapped = place(panel, Label::createWithSystemFont("A wrapped line of text, centred within its width", "", 20),
                        300, 10);
  wrapped->setTextColor(Color4B(0, 0, 160, 255));
  wrapped->setDimensions(280, 0);
  wrapped->setHorizontalAlignment(TextHAlignment::CENTER);
  EXPECT_GE(wrapped->getStringNumLines(), 2);
  d->stepFrame();

  TempDir dir;
  const char* keep = std::getenv("FW_SHOT_DIR");
  const std::string file = (keep && *keep ? std::string(keep) + "/" : dir.path) + "labels.jpg";
  bool captured = false;
  utils::captureScreen([&](bool ok, const std::string&) { captured = ok; }, file);
  for (int i = 0; i < 5 && !captured; ++i) d->stepFrame();
  ASSERT_TRUE(captured);
  Image img;
  ASSERT_TRUE(img.initWithImageFile(file));

  auto box = [](Label* l) { return l->getBoundingBox(); };
  auto inPanel = [&](Label* l) {
    Rect r = l->getBoundingBox();
    r.origin = r.origin + panel->getPosition();
    return r;
  };
  // Latin: white ink covering a plausible share of the box.
  const Rect lr = box(latin);
  const Ink white = inkIn(img, lr, [](int r, int g, int b) { return r > 200 && g > 200 && b > 200; });
  EXPECT_GT(white.count, static_cast<int>(lr.size.width * lr.size.height * 0.04f));
  EXPECT_LT(white.count, static_cast<int>(lr.size.width * lr.size.height * 0.6f));
  // Chinese from the fallback font, in the text colour, across the box.
  const Ink yellow = inkIn(img, box(chinese), [](int r, int g, int b) { return r > 200 && g > 180 && b < 90; });
  EXPECT_GT(yellow.count, 500);
  EXPECT_GT(yellow.maxX - yellow.minX, chinese->getDisplayWidth() * 0.9f);
  // Arabic: right-aligned, so its ink ends at the right of the 600 box.
  const Ink cyan = inkIn(img, box(arabic), [](int r, int g, int b) { return r < 90 && g > 160 && b > 200; });
  EXPECT_GT(cyan.count, 300);
  EXPECT_GT(cyan.maxX, 20 + 600 - 8);
  EXPECT_GT(cyan.minX, 20 + 600 - arabic->getDisplayWidth() - 8);
  // Shadow: dark pixels on the white panel exist only because of it; the
  // text itself is white, so dark ink lies right of the leftmost white ink.
  const Ink dark = inkIn(img, inPanel(shadow), [](int r, int g, int b) { return r < 70 && g < 70 && b < 70; });
  EXPECT_GT(dark.count, 200);
  // Wrapped block: dark blue ink, centred in its 280 width.
  const Ink blue = inkIn(img, inPanel(wrapped), [](int r, int g, int b) { return r < 100 && g < 100 && b > 120; });
  EXPECT_GT(blue.count, 200);
  const float left = blue.minX - inPanel(wrapped).getMinX(), right = inPanel(wrapped).getMaxX() - blue.maxX;
  EXPECT_NEAR(left, right, 12);
  // Background outside every label keeps its colour.
  const Ink bg = inkIn(img, Rect(600, 300, 30, 40), [](int r, int g, int b) {
    return std::abs(r - 40) < 8 && std::abs(g - 40) < 8 && std::abs(b - 48) < 8;
  });
  EXPECT_EQ(bg.count, 30 * 40);
  Director::destroyInstance();
}

int main(int argc, char** argv) {
  g_skip = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
