// Custom commands that share a batch tag, in a real window: consecutive ones
// go together, in submission order, to the first one's batch function;
// anything else between them (a triangles command, an untagged command, a
// command of another tag) ends the run, and a run of one runs its own
// function.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "support_engine.h"
#include "support_xvfb.h"

USING_NS_CC;

namespace {

bool g_skip = false;
std::vector<std::string> g_log;
const char kTag = 0, kOtherTag = 0;

class Tagged : public Node {
 public:
  static Tagged* make(const std::string& name, const void* tag) {
    auto* n = new Tagged;
    n->init();
    n->autorelease();
    n->name = name;
    n->command.batchTag = tag;
    if (tag) {
      n->command.batchFunc = [](CustomCommand* const* run, size_t count) {
        std::string line = "run:";
        for (size_t i = 0; i < count; ++i) line += (i ? "," : "") + static_cast<Command*>(run[i])->owner->name;
        g_log.push_back(line);
      };
    }
    n->command.owner = n;
    n->command.func = [n] { g_log.push_back(n->name); };
    return n;
  }
  void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override {
    command.init(_globalZOrder, transform, flags);
    renderer->addCommand(&command);
  }

  struct Command : CustomCommand {
    Tagged* owner = nullptr;
  };
  std::string name;
  Command command;
};

}  // namespace

TEST(CustomBatches, ConsecutiveCommandsOfOneTagRunTogetherInOrder) {
  if (g_skip) GTEST_SKIP() << "no display and no xvfb-run";
  GLViewImpl* view = GLViewImpl::createWithRect("custom batches", Rect(0, 0, 200, 100));
  ASSERT_NE(view, nullptr);
  Director* d = Director::getInstance();
  d->setOpenGLView(view);
  Scene* scene = Scene::create();
  d->runWithScene(scene);
  scene->addChild(Tagged::make("a", &kTag));
  scene->addChild(Tagged::make("b", &kTag));
  scene->addChild(LayerColor::create(Color4B(255, 0, 0, 255), 10, 10));
  scene->addChild(Tagged::make("c", &kTag));
  scene->addChild(Tagged::make("d", nullptr));
  scene->addChild(Tagged::make("e", &kTag));
  scene->addChild(Tagged::make("f", &kOtherTag));
  scene->addChild(Tagged::make("g", &kTag));
  scene->addChild(Tagged::make("h", &kTag));
  scene->addChild(Tagged::make("i", &kTag));
  d->stepFrame();
  g_log.clear();
  d->stepFrame();
  const std::vector<std::string> want = {"run:a,b", "c", "d", "e", "f", "run:g,h,i"};
  EXPECT_EQ(g_log, want);
  Director::destroyInstance();
}

int main(int argc, char** argv) {
  g_skip = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
