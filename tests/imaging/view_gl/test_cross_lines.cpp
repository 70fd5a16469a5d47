// Reference lines in a real window: acquired, sagittal and coronal windows
// on the CT phantom, each showing where the other two planes cut it, in
// those planes' frame colours, open around the cross point, with the view
// frame and the active-view marker. Pixels probed, screenshot written.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/platform/Image.h"
#include "engine/renderer/RendererGL.h"
#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isActorManager.h"
#include "support_xvfb.h"
#include "test_window.h"
#include "view_support.h"

USING_NS_CC;
using namespace viewtest;

namespace {

bool g_skip = false;
constexpr int kW = 960, kH = 320;

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) { return os << "(" << c.r << "," << c.g << "," << c.b << ")"; }
Rgb of(const Color4F& c) {
  return {static_cast<int>(c.r * 255 + 0.5f), static_cast<int>(c.g * 255 + 0.5f), static_cast<int>(c.b * 255 + 0.5f)};
}

class CrossLines : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_skip) GTEST_SKIP() << "no display and no Xvfb";
    FileUtils::getInstance()->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
    view = GLViewImpl::createWithRect("cross lines", Rect(0, 0, kW, kH));
    ASSERT_NE(view, nullptr);
    Director* d = Director::getInstance();
    d->setOpenGLView(view);
    scene = Scene::create();
    d->runWithScene(scene);
    NSUI::NSNotificationCenter::getInstance();
    d->stepFrame(0.6f);
    image = makePhantomImage(256, 256, 200, 0.7f, 0.7f, 1.25f);
    for (int i = 0; i < 3; ++i) {
      windows[i] = TestWindow::create(Size(316, 316));
      scene->addChild(windows[i]);
      windows[i]->setPosition(Vec2(2 + i * 320.0f, 2));
      actors[i] = windows[i]->show(image);
      actors[i]->setWindow(400, 40);
    }
    actors[1]->showSagittalPlane();
    actors[2]->showCoronalPlane();
    actors[0]->setSliceIndex(100);
    actors[1]->setSliceIndex(100);
    actors[2]->setSliceIndex(150);
    for (int i = 0; i < 3; ++i) windows[i]->lookAnatomical(i, 0.9f);
  }
  void TearDown() override {
    if (image) image->release();
    Director::getInstance()->end();
    Director::destroyInstance();
  }
  std::vector<unsigned char> capture(const std::string& name) {
    std::vector<unsigned char> px;
    Director* d = Director::getInstance();
    d->stepFrame();
    auto* gl = dynamic_cast<RendererGL*>(d->getRenderer()->getBackend());
    gl->runAfterNextFrame([&px] {
      px.resize(static_cast<size_t>(kW) * kH * 3);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadBuffer(GL_BACK);
      glReadPixels(0, 0, kW, kH, GL_RGB, GL_UNSIGNED_BYTE, px.data());
    });
    d->stepFrame();
    std::vector<unsigned char> flipped(px.size());
    for (int r = 0; r < kH; ++r) std::memcpy(&flipped[r * kW * 3], &px[(kH - 1 - r) * kW * 3], kW * 3);
    Image::writePng(name, flipped.data(), kW, kH, 3);
    return px;
  }
  static Rgb at(const std::vector<unsigned char>& px, Vec2 p) {
    const int x = static_cast<int>(std::floor(p.x)), y = static_cast<int>(std::floor(p.y));
    const unsigned char* c = px.data() + (static_cast<size_t>(y) * kW + x) * 3;
    return {c[0], c[1], c[2]};
  }
  Vec2 screen(int w, const Vec3& world) { return windows[w]->getPosition() + windows[w]->worldToScreen(world); }

  GLViewImpl* view = nullptr;
  Scene* scene = nullptr;
  isImageSDK::isImageData* image = nullptr;
  TestWindow* windows[3] = {};
  isImageSDK::isActorImage* actors[3] = {};
};

TEST_F(CrossLines, EachPlaneShowsTheOtherTwoInTheirColours) {
  // Plane normals and the point where the three slices meet.
  Vec3 n[3], c[3];
  for (int i = 0; i < 3; ++i) {
    const float* m = actors[i]->getOutputSliceInfo()->matrix.m;
    Vec3::cross(Vec3(m[0], m[1], m[2]), Vec3(m[4], m[5], m[6]), &n[i]);
    n[i].normalize();
    actors[i]->getSliceCenter(&c[i]);
  }
  auto cross = [](const Vec3& a, const Vec3& b) {
    Vec3 r;
    Vec3::cross(a, b, &r);
    r.normalize();
    return r;
  };
  Vec3 n12, n20, n01;
  Vec3::cross(n[1], n[2], &n12);
  Vec3::cross(n[2], n[0], &n20);
  Vec3::cross(n[0], n[1], &n01);
  const Vec3 p = (n12 * n[0].dot(c[0]) + n20 * n[1].dot(c[1]) + n01 * n[2].dot(c[2])) / n[0].dot(n12);
  // Each window draws the traces of the two other planes; the first axis in
  // the first colour of the window's pair (acquired: coronal then sagittal;
  // sagittal: coronal then acquired; coronal: sagittal then acquired).
  const Vec3 axes[3][2] = {{cross(n[0], n[2]), cross(n[0], n[1])},
                           {cross(n[1], n[2]), cross(n[1], n[0])},
                           {cross(n[2], n[1]), cross(n[2], n[0])}};
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  for (int i = 0; i < 3; ++i) {
    isImageSDK::isActorManager* m = windows[i]->getActorManager();
    m->getCrossLineActor()->setFrameColorIndex(i);
    m->setFrameVisible(true);
    m->showCrossLines();
    if (i == 0) m->showActiveMarker();
    const Vec3& u = axes[i][0];
    const Vec3& w = axes[i][1];
    std::ostringstream t;
    t << "{\"nx1\":" << u.x << ",\"nx2\":" << u.y << ",\"nx3\":" << u.z << ",\"ny1\":" << w.x << ",\"ny2\":" << w.y
      << ",\"ny3\":" << w.z << ",\"nz1\":0,\"nz2\":0,\"nz3\":0,\"x\":" << p.x << ",\"y\":" << p.y << ",\"z\":" << p.z
      << "}";
    nc->postNotificationText(nullptr, NOTIFY_CROSS_POSITION, t.str(), windows[i], false);
  }
  Director::getInstance()->stepFrame();
  Director::getInstance()->stepFrame();
  const auto px = capture("cross_lines.png");

  const Rgb magenta = of(Color4F::MAGENTA), orange = of(Color4F::ORANGE), blue = of(Color4F::BLUE);
  const Rgb colours[3][2] = {{blue, orange}, {blue, magenta}, {orange, magenta}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const float zoom = windows[i]->getSceneCamera()->getZoom();  // world units per pixel
    for (int a = 0; a < 2; ++a) {
      const Vec3& dir = axes[i][a];
      // On the line 60 pixels out on both sides; inside the gap (15 pixels
      // from the point) the slice shows.
      for (float side : {1.0f, -1.0f}) {
        EXPECT_EQ(at(px, screen(i, p + dir * (60 * zoom * side))), colours[i][a]) << "axis " << a;
        const Rgb inGap = at(px, screen(i, p + dir * (15 * zoom * side)));
        EXPECT_FALSE(inGap == colours[i][a]) << "axis " << a << " " << inGap;
      }
    }
    // The frame in the window's own colour along its border.
    const Vec2 origin = windows[i]->getPosition();
    const Rgb own = of(i == 0 ? Color4F::MAGENTA : i == 1 ? Color4F::ORANGE : Color4F::BLUE);
    EXPECT_EQ(at(px, origin + Vec2(158, 1.5f)), own);
    EXPECT_EQ(at(px, origin + Vec2(1.5f, 158)), own);
  }
  // The active marker: top right of the first window only.
  EXPECT_EQ(at(px, windows[0]->getPosition() + Vec2(316 - 15, 316 - 15)), magenta);
  EXPECT_FALSE(at(px, windows[1]->getPosition() + Vec2(316 - 15, 316 - 15)) == orange);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  g_skip = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
