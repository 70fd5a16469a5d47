// Timed actions on the stepped frame clock (1/60 s per frame).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "support_scene.h"

USING_NS_CC;

namespace {

struct Case {
  const char* name;
  std::function<Action*()> make;
  int frames;
  std::function<float(Node*)> read;
  float expected;
  bool done;
};

}  // namespace

TEST(Actions, PropertiesAfterFrames) {
  const Case cases[] = {
      {"MoveBy half", [] { return MoveBy::create(1, Vec2(60, -30)); }, 30,
       [](Node* n) { return n->getPositionX(); }, 10 + 30, false},
      {"MoveBy end", [] { return MoveBy::create(1, Vec2(60, -30)); }, 60,
       [](Node* n) { return n->getPositionY(); }, 20 - 30, true},
      {"MoveTo third", [] { return MoveTo::create(0.5f, Vec2(40, 20)); }, 10,
       [](Node* n) { return n->getPositionX(); }, 20, false},
      {"MoveTo past the end", [] { return MoveTo::create(0.5f, Vec2(40, 20)); }, 45,
       [](Node* n) { return n->getPositionX(); }, 40, true},
      {"RotateBy z", [] { return RotateBy::create(2, 90); }, 60,
       [](Node* n) { return n->getRotation(); }, 45, false},
      {"RotateBy Vec3 x", [] { return RotateBy::create(1, Vec3(30, 60, 0)); }, 60,
       [](Node* n) { return n->getRotation3D().y; }, 60, true},
      {"FadeOut half", [] { return FadeOut::create(1); }, 30,
       [](Node* n) { return static_cast<float>(n->getOpacity()); }, 128, false},
      {"FadeTo 0 stays visible", [] { return FadeTo::create(0.25f, 0); }, 15,
       [](Node* n) { return n->isVisible() ? static_cast<float>(n->getOpacity()) : -1.0f; }, 0, true},
      {"FadeIn from 0", [] { return Sequence::create(FadeTo::create(0, 0), FadeIn::create(1), nullptr); }, 60,
       [](Node* n) { return static_cast<float>(n->getOpacity()); }, 255, true},
      {"Sequence second half", [] {
         return Sequence::create(MoveBy::create(0.5f, Vec2(30, 0)), DelayTime::create(0.5f),
                                 MoveBy::create(1, Vec2(0, 60)), nullptr);
       }, 90, [](Node* n) { return n->getPositionX() * 1000 + n->getPositionY(); }, 40 * 1000 + 20 + 30, false},
      {"RepeatForever wraps", [] { return RepeatForever::create(RotateBy::create(1, 360)); }, 90,
       [](Node* n) { return n->getRotation(); }, 540, false},  // turns add up
      {"DelayTime", [] { return DelayTime::create(1); }, 60, [](Node* n) { return n->getPositionX(); }, 10, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeadlessEngine e;
    auto* scene = Scene::create();
    e.run(scene);
    auto* n = Node::create();
    n->setPosition(10, 20);
    scene->addChild(n);
    n->runAction(c.make());
    for (int i = 0; i < c.frames; ++i) e.director()->stepFrame();
    EXPECT_NEAR(c.read(n), c.expected, 1.0f);
    EXPECT_EQ(n->getNumberOfRunningActions(), c.done ? 0 : 1);
  }
}

TEST(Actions, SequenceCallsFunctionsInTurnAndReleasesWhenDone) {
  HeadlessEngine e;
  auto* scene = Scene::create();
  e.run(scene);
  auto* n = Node::create();
  scene->addChild(n);
  std::vector<std::string> log;
  auto* seq = Sequence::create(CallFunc::create([&] { log.push_back("a@" + std::to_string(n->getPositionX())); }),
                               MoveBy::create(0.5f, Vec2(30, 0)),
                               CallFunc::create([&] { log.push_back("b@" + std::to_string(n->getPositionX())); }),
                               nullptr);
  seq->retain();
  seq->setTag(7);
  n->runAction(seq);
  EXPECT_EQ(n->getActionByTag(7), seq);
  e.director()->stepFrame();
  EXPECT_EQ(log, (std::vector<std::string>{"a@" + std::to_string(0.0f)}));  // before the move
  for (int i = 0; i < 28; ++i) e.director()->stepFrame();
  EXPECT_EQ(log.size(), 1u);
  e.director()->stepFrame();
  EXPECT_EQ(log.back(), "b@" + std::to_string(30.0f));
  EXPECT_EQ(n->getNumberOfRunningActions(), 0);
  EXPECT_EQ(seq->getReferenceCount(), 1u);  // the manager let go
  seq->release();
}

TEST(Actions, PausedNodeDoesNotAdvance) {
  HeadlessEngine e;
  auto* scene = Scene::create();
  e.run(scene);
  auto* n = Node::create();
  scene->addChild(n);
  n->runAction(MoveBy::create(1, Vec2(60, 0)));
  for (int i = 0; i < 15; ++i) e.director()->stepFrame();
  n->pause();
  for (int i = 0; i < 30; ++i) e.director()->stepFrame();
  EXPECT_NEAR(n->getPositionX(), 15, 0.5f);
  n->resume();
  for (int i = 0; i < 45; ++i) e.director()->stepFrame();
  EXPECT_NEAR(n->getPositionX(), 60, 0.01f);
  EXPECT_EQ(n->getNumberOfRunningActions(), 0);
}

TEST(Actions, ACallFuncThatStopsItsNodeEndsTheSequence) {
  HeadlessEngine e;
  auto* scene = Scene::create();
  e.run(scene);
  auto* n = Node::create();
  scene->addChild(n);
  int after = 0;
  n->runAction(Sequence::create(CallFunc::create([n] { n->stopAllActions(); }),
                                CallFunc::create([&after] { ++after; }), nullptr));
  e.director()->stepFrame();
  e.director()->stepFrame();
  EXPECT_EQ(after, 0);
  EXPECT_EQ(n->getNumberOfRunningActions(), 0);
}
