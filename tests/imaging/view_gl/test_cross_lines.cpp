// Reference lines in a real window: acquired, sagittal and coronal windows
// on the CT phantom, each showing where the other two planes cut it, in
// those planes' frame colours, open around the cross point, with the view
// frame and the active-view marker. Pixels probed, screenshot written.
#include <gtest/gtest.h>

#include <sstream>

#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isActorManager.h"
#include "view_gl_support.h"

USING_NS_CC;
using namespace viewtest;

namespace {

constexpr int kW = 960, kH = 320;

class CrossLines : public WindowTest {
 protected:
  CrossLines() : WindowTest("cross lines", kW, kH) {}
  void SetUp() override {
    WindowTest::SetUp();
    if (!ready()) return;
    for (int i = 0; i < 3; ++i) {
      addWindow(Size(316, 316), Vec2(2 + i * 320.0f, 2));
      actors[i]->setWindow(400, 40);
    }
    actors[1]->showSagittalPlane();
    actors[2]->showCoronalPlane();
    actors[0]->setSliceIndex(100);
    actors[1]->setSliceIndex(100);
    actors[2]->setSliceIndex(150);
    for (int i = 0; i < 3; ++i) windows[i]->lookAnatomical(i, 0.9f);
  }
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
  const Shot px = capture("cross_lines.png");

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
        EXPECT_EQ(px.at(screen(i, p + dir * (60 * zoom * side))), colours[i][a]) << "axis " << a;
        const Rgb inGap = px.at(screen(i, p + dir * (15 * zoom * side)));
        EXPECT_FALSE(inGap == colours[i][a]) << "axis " << a << " " << inGap;
      }
    }
    // The frame in the window's own colour along its border.
    const Vec2 origin = windows[i]->getPosition();
    const Rgb own = of(i == 0 ? Color4F::MAGENTA : i == 1 ? Color4F::ORANGE : Color4F::BLUE);
    EXPECT_EQ(px.at(origin + Vec2(158, 1.5f)), own);
    EXPECT_EQ(px.at(origin + Vec2(1.5f, 158)), own);
  }
  // The active marker: top right of the first window only.
  EXPECT_EQ(px.at(windows[0]->getPosition() + Vec2(316 - 15, 316 - 15)), magenta);
  EXPECT_FALSE(px.at(windows[1]->getPosition() + Vec2(316 - 15, 316 - 15)) == orange);
}

}  // namespace

int main(int argc, char** argv) { return viewtest::runWindowTests(argc, argv); }
