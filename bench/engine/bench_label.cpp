// Labels: 200 labels of 40 characters laid out (glyph atlas cold and warm)
// and drawn in a 960x600 window, against the same frame with 200 sprites of
// the same sizes; and 100 one-character labels created and laid out, as a
// rich-text field does for each keystroke.
//
// The cold cases drop every glyph atlas first, so each iteration rasterises
// (and, when drawing, uploads) its glyphs as a fresh process would; only
// fontconfig's start-up, which happens once per process, is left out.
//
// Needs an X display for the frames; re-runs itself under xvfb-run like
// bench_frame. The layout cases need no GL.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/2d/FontAtlas.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "xvfb_reexec.h"

USING_NS_CC;

namespace {

constexpr int kLabels = 200;
constexpr float kFontSize = 14;

// Forty characters of text like the series lists show; n varies it.
std::string text40(int n) {
  static const char* words[] = {"Series", "CT", "Abdomen", "contrast", "axial", "MR", "T2", "sagittal",
                                "Thorax", "5mm", "Head", "Neck", "coronal", "late", "phase", "MIP"};
  std::string s = std::to_string(n % 1000) + ":";
  for (int i = 0; s.size() < 40; ++i) s += std::string(" ") + words[(n * 7 + i * 3) % 16];
  return s.substr(0, 40);
}

struct World {
  Scene* scene = nullptr;
  Node* labels = nullptr;
  Node* sprites = nullptr;
  std::vector<Label*> labelList;
};

World* world() {
  static World* w = nullptr;
  static bool tried = false;
  if (tried) return w;
  tried = true;
  if (!std::getenv("DISPLAY")) return nullptr;
  auto* view = GLViewImpl::createWithRect("bench_label", Rect(0, 0, 960, 600));
  if (!view) return nullptr;
  Director* d = Director::getInstance();
  d->setOpenGLView(view);
  w = new World;
  w->scene = Scene::create();
  w->labels = Node::create();
  w->sprites = Node::create();
  w->scene->addChild(w->labels);
  w->scene->addChild(w->sprites);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> X(150, 810), Y(10, 590);
  std::vector<unsigned char> rgba(512 * 32 * 4, 220);
  auto* tex = new Texture2D;
  tex->initWithData(rgba.data(), static_cast<ssize_t>(rgba.size()), Texture2D::PixelFormat::RGBA8888, 512, 32,
                    Size(512, 32));
  for (int i = 0; i < kLabels; ++i) {
    const Vec2 at(X(rng), Y(rng));
    auto* l = Label::createWithSystemFont(text40(i), "", kFontSize);
    l->setPosition(at);
    l->setTextColor(Color4B(255, 255, 0, 255));
    w->labels->addChild(l);
    w->labelList.push_back(l);
    auto* s = Sprite::createWithTexture(tex);
    s->setTextureRect(Rect(0, 0, l->getContentSize().width, l->getContentSize().height));
    s->setPosition(at);
    s->setColor(Color3B(255, 255, 0));
    w->sprites->addChild(s);
  }
  tex->release();
  d->runWithScene(w->scene);
  d->stepFrame();
  return w;
}

void showLabels(World* w, bool labels) {
  w->labels->setVisible(labels);
  w->sprites->setVisible(!labels);
}

}  // namespace

// 200 labels laid out again with new text; glyphs already rasterised.
static void BM_Layout200Labels_WarmAtlas(benchmark::State& st) {
  std::vector<Label*> labels;
  for (int i = 0; i < kLabels; ++i) {
    labels.push_back(Label::createWithSystemFont(text40(i), "", kFontSize));
    labels.back()->retain();
  }
  std::vector<std::string> a, b;
  for (int i = 0; i < kLabels; ++i) {
    a.push_back(text40(i));
    b.push_back(text40(i + 500));
  }
  for (Label* l : labels) l->setString(b[0]);  // every glyph of both sets in the atlas
  bool flip = false;
  for (auto _ : st) {
    const auto& texts = flip ? a : b;
    for (int i = 0; i < kLabels; ++i) labels[static_cast<size_t>(i)]->setString(texts[static_cast<size_t>(i)]);
    flip = !flip;
  }
  for (Label* l : labels) l->release();
}
BENCHMARK(BM_Layout200Labels_WarmAtlas)->Unit(benchmark::kMillisecond);

// 200 labels created and laid out with an empty atlas.
static void BM_Layout200Labels_ColdAtlas(benchmark::State& st) {
  std::vector<Label*> labels;
  for (auto _ : st) {
    st.PauseTiming();
    for (Label* l : labels) l->release();
    labels.clear();
    FontAtlas::purgeAll();
    st.ResumeTiming();
    for (int i = 0; i < kLabels; ++i) {
      labels.push_back(Label::createWithSystemFont(text40(i), "", kFontSize));
      labels.back()->retain();
    }
  }
  for (Label* l : labels) l->release();
}
BENCHMARK(BM_Layout200Labels_ColdAtlas)->Unit(benchmark::kMillisecond);

// The rich-text keystroke: 100 one-character labels, each forced to its
// width and the line height.
static void BM_Create100OneCharacterLabels(benchmark::State& st) {
  static const char* chars[] = {"a", "b", "c", "d", "e", "1", "2", " ", "中", "x"};
  Label::createWithSystemFont("abcde12 中x", "", kFontSize);  // warm the atlas
  std::vector<Label*> labels;
  for (auto _ : st) {
    for (int i = 0; i < 100; ++i) {
      auto* l = Label::createWithSystemFont(chars[i % 10], "", kFontSize);
      l->setContentSize(Size(l->getDisplayWidth(), l->getLineHeight()));
      l->retain();
      labels.push_back(l);
    }
    st.PauseTiming();
    for (Label* l : labels) l->release();
    labels.clear();
    st.ResumeTiming();
  }
}
BENCHMARK(BM_Create100OneCharacterLabels)->Unit(benchmark::kMicrosecond);

static void BM_Frame200Sprites(benchmark::State& st) {
  World* w = world();
  if (!w) {
    st.SkipWithError("no display");
    return;
  }
  showLabels(w, false);
  Director* d = Director::getInstance();
  for (auto _ : st) {
    d->stepFrame();
    glFinish();
  }
}
BENCHMARK(BM_Frame200Sprites)->Unit(benchmark::kMillisecond);

static void BM_Frame200Labels_WarmAtlas(benchmark::State& st) {
  World* w = world();
  if (!w) {
    st.SkipWithError("no display");
    return;
  }
  showLabels(w, true);
  Director* d = Director::getInstance();
  d->stepFrame();
  for (auto _ : st) {
    d->stepFrame();
    glFinish();
  }
}
BENCHMARK(BM_Frame200Labels_WarmAtlas)->Unit(benchmark::kMillisecond);

// The first frame after the atlas is dropped: layout, rasterisation and the
// page upload.
static void BM_Frame200Labels_ColdAtlas(benchmark::State& st) {
  World* w = world();
  if (!w) {
    st.SkipWithError("no display");
    return;
  }
  showLabels(w, true);
  Director* d = Director::getInstance();
  for (auto _ : st) {
    st.PauseTiming();
    FontAtlas::purgeAll();  // the labels fetch a fresh atlas when drawn
    st.ResumeTiming();
    d->stepFrame();
    glFinish();
  }
}
BENCHMARK(BM_Frame200Labels_ColdAtlas)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
