// Typing into a text field: one keystroke (through the input method) into a
// field that already holds 9 or 99 characters, so the field ends at 10 or
// 100; each keystroke makes one label and lays out every character again.
// Reference in the same run: creating and laying out the same number of
// one-character labels alone (10 or 100 labels in a row). Goal: under 2 ms
// per keystroke at 100 characters. Headless: no window is needed.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/widgets/NSTextField.h"

USING_NS_CC;
using NSUI::NSTextField;

namespace {

struct Stage {
  Stage() {
    Director::getInstance()->setOpenGLView(GLViewImpl::createHeadless(Size(1280, 800)));
    scene = Scene::create();
    Director::getInstance()->runWithScene(scene);
    Director::getInstance()->stepFrame(1.0f / 60);
  }
  ~Stage() { Director::destroyInstance(); }
  Scene* scene = nullptr;
};

const char* kLetters = "abcdefghijklmnopqrstuvwxyz";

void BM_Keystroke(benchmark::State& state) {
  Stage stage;
  const int n = static_cast<int>(state.range(0));
  NSTextField* field = NSTextField::create("Patient name", Size(400, 30));
  field->setVisibleHeight(30);
  stage.scene->addChild(field);
  field->attachWithIME();
  std::string start;
  for (int i = 0; i < n - 1; ++i) start += kLetters[i % 26];
  field->setString(start);
  int k = 0;
  for (auto _ : state) {
    const char c = kLetters[k++ % 26];
    IMEDispatcher::sharedDispatcher()->dispatchInsertText(&c, 1);
    state.PauseTiming();
    IMEDispatcher::sharedDispatcher()->dispatchDeleteBackward();
    Director::getInstance()->stepFrame(1.0f / 60);  // lets the autorelease pool go
    state.ResumeTiming();
  }
  if (static_cast<int>(field->getString().size()) != n - 1) state.SkipWithError("the field lost characters");
  field->detachWithIME();
}

void BM_LabelsAlone(benchmark::State& state) {
  Stage stage;
  const int n = static_cast<int>(state.range(0));
  auto* holder = Node::create();
  stage.scene->addChild(holder);
  int k = 0;
  for (auto _ : state) {
    float x = 0;
    for (int i = 0; i < n; ++i) {
      const std::string ch(1, kLetters[k++ % 26]);
      Label* label = Label::createWithSystemFont(ch, "", 25, Size::ZERO, TextHAlignment::LEFT, TextVAlignment::TOP);
      label->setAnchorPoint(Vec2::ZERO);
      label->setPosition(Vec2(x, 0));
      x += label->getContentSize().width;
      holder->addChild(label, 1);
    }
    benchmark::DoNotOptimize(x);
    state.PauseTiming();
    holder->removeAllChildren();
    Director::getInstance()->stepFrame(1.0f / 60);
    state.ResumeTiming();
  }
}

void BM_TypeHundredCharacters(benchmark::State& state) {
  Stage stage;
  for (auto _ : state) {
    state.PauseTiming();
    NSTextField* field = NSTextField::create("Patient name", Size(400, 30));
    field->setVisibleHeight(30);
    stage.scene->addChild(field);
    field->attachWithIME();
    state.ResumeTiming();
    for (int i = 0; i < 100; ++i) IMEDispatcher::sharedDispatcher()->dispatchInsertText(&kLetters[i % 26], 1);
    state.PauseTiming();
    field->detachWithIME();
    field->removeFromParent();
    Director::getInstance()->stepFrame(1.0f / 60);
    state.ResumeTiming();
  }
  // Seconds per keystroke.
  state.counters["keystroke"] =
      benchmark::Counter(100, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_Keystroke)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LabelsAlone)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypeHundredCharacters)->Unit(benchmark::kMillisecond);
