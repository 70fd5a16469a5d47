// Frame time of a scene with 2,000 sprites and 200 labels-as-sprites in a
// real window (Xvfb + Mesa llvmpipe when run headless), against the same
// frame with the GL execution removed (visit, command collection and sort
// only: the engine's own overhead) and with rendering stopped (scheduler
// and pool only).
//
// Needs an X display. Without DISPLAY the benchmark re-runs itself under
//   xvfb-run -a -s "-screen 0 1280x800x24"
// and it does nothing when xvfb-run is missing.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "engine/2d/Scene.h"
#include "engine/2d/Sprite.h"
#include "engine/cocos2d.h"
#include "engine/platform/CCGL.h"
#include "engine/renderer/Texture2D.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/RendererGL.h"
#include "xvfb_reexec.h"

USING_NS_CC;

namespace {


bool setUp() {
  static int state = 0;  // 0 not tried, 1 ok, -1 failed
  if (state) return state > 0;
  state = -1;
  if (!std::getenv("DISPLAY")) return false;
  auto* view = GLViewImpl::createWithRect("bench_frame", Rect(0, 0, 960, 600));
  if (!view) return false;
  Director* d = Director::getInstance();
  d->setOpenGLView(view);
  auto* scene = Scene::create();
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> X(0, 960), Y(0, 600);
  std::vector<unsigned char> rgba(16 * 16 * 4, 200);
  auto* spriteTex = new Texture2D;
  spriteTex->initWithData(rgba.data(), static_cast<ssize_t>(rgba.size()), Texture2D::PixelFormat::RGBA8888, 16, 16,
                          Size(16, 16));
  std::vector<unsigned char> text(120 * 16 * 4, 255);
  auto* labelTex = new Texture2D;
  labelTex->initWithData(text.data(), static_cast<ssize_t>(text.size()), Texture2D::PixelFormat::RGBA8888, 120, 16,
                         Size(120, 16));
  for (int i = 0; i < 2000; ++i) {
    auto* s = Sprite::createWithTexture(spriteTex);
    s->setPosition(X(rng), Y(rng));
    scene->addChild(s);
  }
  for (int i = 0; i < 200; ++i) {
    auto* s = Sprite::createWithTexture(labelTex);
    s->setPosition(X(rng), Y(rng));
    s->setColor(Color3B(255, 255, 0));
    scene->addChild(s, 1);
  }
  spriteTex->release();
  labelTex->release();
  d->runWithScene(scene);
  d->stepFrame();
  state = 1;
  return true;
}

}  // namespace

static void BM_FrameRendered(benchmark::State& st) {
  if (!setUp()) {
    st.SkipWithError("no display");
    return;
  }
  Director* d = Director::getInstance();
  d->startAnimation();
  for (auto _ : st) {
    d->stepFrame();
    glFinish();
  }
}
BENCHMARK(BM_FrameRendered)->Unit(benchmark::kMillisecond);

static void BM_FrameWithoutGLExecution(benchmark::State& st) {
  if (!setUp()) {
    st.SkipWithError("no display");
    return;
  }
  Director* d = Director::getInstance();
  d->startAnimation();
  Renderer* r = d->getRenderer();
  r->setBackend(nullptr);
  for (auto _ : st) d->stepFrame();
  r->setBackend(std::make_unique<RendererGL>());
}
BENCHMARK(BM_FrameWithoutGLExecution)->Unit(benchmark::kMillisecond);

static void BM_FrameRenderingStopped(benchmark::State& st) {
  if (!setUp()) {
    st.SkipWithError("no display");
    return;
  }
  Director* d = Director::getInstance();
  d->stopAnimation();
  for (auto _ : st) d->stepFrame();
  d->startAnimation();
}
BENCHMARK(BM_FrameRenderingStopped)->Unit(benchmark::kMillisecond);
