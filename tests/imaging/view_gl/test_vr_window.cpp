// The volume-rendered CT phantom in a real window: the fast frame first,
// scaled up over the whole window, then the full-quality frame of the same
// view. Both are written as screenshots.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "imaging/core/isCamera.h"
#include "imaging/view/isActorManager.h"
#include "imaging/view/isActorVR.h"
#include "view_gl_support.h"

USING_NS_CC;
using namespace viewtest;

namespace {

constexpr int kW = 420, kH = 420;

class VRWindow : public WindowTest {
 protected:
  VRWindow() : WindowTest("volume rendering", kW, kH, Color4F(0.2f, 0.2f, 0.3f, 1.0f)) {}
};

bool pumpUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    stepWindowFrames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST_F(VRWindow, PhantomFastFrameThenFineFrame) {
  if (!ready()) return;
  TestWindow* w = TestWindow::create(Size(400, 400));
  scene->addChild(w);
  w->setPosition(Vec2(10, 10));
  isImageSDK::isActorVR* actor = w->getActorManager()->getVRActor();
  ASSERT_NE(actor, nullptr);
  actor->setVisible(true);
  actor->setImageData(image);
  // Bone white, soft tissue dark red, air black.
  uint8_t colours[768];
  for (int i = 0; i < 256; ++i) {
    colours[3 * i] = static_cast<uint8_t>(std::min(255, 60 + i));
    colours[3 * i + 1] = static_cast<uint8_t>(i);
    colours[3 * i + 2] = static_cast<uint8_t>(i * 0.8f);
  }
  colours[0] = colours[1] = colours[2] = 0;
  actor->setColorTable(colours);
  // Soft tissue clear, the bone and contrast spheres solid.
  for (auto* c : {actor->getContextRT(), actor->getContextBest()}) c->setWindow(1200.0f, 800.0f);
  // From the front, a little from the patient's left and from above, head
  // up (the display frame keeps the patient's head along +y).
  const Vec3 centre = image->worldMatrix.transformPoint(Vec3(127.5f * 0.7f, 127.5f * 0.7f, 99.5f * 1.25f));
  Vec3 dir(0.5f, 0.45f, 1.0f);
  dir.normalize();
  w->setCameraPosition(centre + dir * 1000.0f);
  w->setCameraLookAt(centre, Vec3(0, 1, 0));
  w->setZoom(0.75f);

  Texture2D* fast = nullptr;
  ASSERT_TRUE(pumpUntil([&] { return actor->getSprite()->isVisible(); }));
  fast = actor->getSprite()->getTexture();
  ASSERT_LT(fast->getPixelsWide(), 400);
  Shot first = capture("vr_fast_frame.png");
  ASSERT_TRUE(pumpUntil([&] { return actor->getSprite()->getTexture()->getPixelsWide() == 400; }));
  Shot second = capture("vr_fine_frame.png");

  // Background colour 0 outside the body, inside the window; the window's
  // scissor keeps the clear colour outside it.
  EXPECT_TRUE(near(second.at(15, 15), Rgb{0, 0, 0}, 2));
  EXPECT_TRUE(near(second.at(4, 4), Rgb{51, 51, 77}, 2));
  // The spheres show in both frames: bright pixels inside the window.
  auto bright = [](const Shot& shot) {
    int n = 0;
    for (int y = 10; y < 410; ++y)
      for (int x = 10; x < 410; ++x) n += shot.at(x, y).r > 120;
    return n;
  };
  EXPECT_GT(bright(first), 1000);
  EXPECT_GT(bright(second), 1000);
}

}  // namespace

int main(int argc, char** argv) { return runWindowTests(argc, argv); }
