// Event dispatch: order, swallowing, per-camera mouse offers, stopping and
// the mouse-to-touch translation of the view, as one table of scenarios.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "support_scene.h"

USING_NS_CC;

namespace {
using Log = std::vector<std::string>;

std::string joined(const Log& log) {
  std::string s;
  for (const auto& e : log) s += e + " | ";
  return s;
}

Node* addNode(Node* parent, const std::string& name, int z) {
  auto* n = Node::create();
  n->setName(name);
  parent->addChild(n, z);
  return n;
}

void logKeys(Node* n, Log& log) {
  auto* l = EventListenerKeyboard::create();
  l->onKeyPressed = [&log, n](EventKeyboard::KeyCode, Event*) { log.push_back(n->getName()); };
  n->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, n);
}

void logKeysFixed(const std::string& name, int priority, Log& log) {
  auto* l = EventListenerKeyboard::create();
  l->onKeyPressed = [&log, name](EventKeyboard::KeyCode, Event*) { log.push_back(name); };
  Director::getInstance()->getEventDispatcher()->addEventListenerWithFixedPriority(l, priority);
}

EventListenerTouchOneByOne* logTouches(Node* n, Log& log, bool claim, bool swallow) {
  auto* l = EventListenerTouchOneByOne::create();
  const std::string name = n->getName();
  l->setSwallowTouches(swallow);
  l->onTouchBegan = [&log, name, claim](Touch* t, Event*) {
    log.push_back(name + " began " + std::to_string(t->getID()));
    return claim;
  };
  l->onTouchMoved = [&log, name](Touch*, Event*) { log.push_back(name + " moved"); };
  l->onTouchEnded = [&log, name](Touch*, Event*) { log.push_back(name + " ended"); };
  l->onTouchCancelled = [&log, name](Touch*, Event*) { log.push_back(name + " cancelled"); };
  n->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, n);
  return l;
}

// A render-window-like all-at-once listener at fixed priority 100.
void logWindow(const std::string& name, Log& log) {
  auto* l = EventListenerTouchAllAtOnce::create();
  auto rec = [&log, name](const char* what) {
    return [&log, name, what](const std::vector<Touch*>& ts, Event*) {
      log.push_back(name + " " + what + " x" + std::to_string(ts.size()));
    };
  };
  l->onTouchesBegan = rec("began");
  l->onTouchesMoved = rec("moved");
  l->onTouchesEnded = rec("ended");
  l->onTouchesCancelled = rec("cancelled");
  Director::getInstance()->getEventDispatcher()->addEventListenerWithFixedPriority(l, 100);
}

EventListenerMouse* logMouse(Node* n, Log& log, bool stop = false) {
  auto* l = EventListenerMouse::create();
  const std::string name = n ? n->getName() : "fixed";
  auto rec = [&log, name, stop](const char* what) {
    return [&log, name, stop, what](EventMouse* e) {
      Camera* c = Camera::getVisitingCamera();
      log.push_back(name + " " + what + "@" + (c ? std::to_string(c->getCameraFlag()) : "none"));
      if (stop) e->stopPropagation();
    };
  };
  l->onMouseDown = rec("down");
  l->onMouseUp = rec("up");
  l->onMouseMove = rec("move");
  l->onMouseScroll = [&log, name](EventMouse* e) {
    log.push_back(name + " scroll " + std::to_string(static_cast<int>(e->getScrollY())));
  };
  auto* d = Director::getInstance()->getEventDispatcher();
  if (n) d->addEventListenerWithSceneGraphPriority(l, n);
  else d->addEventListenerWithFixedPriority(l, -1);
  return l;
}

// A camera with flag 2 placed in the scene (it registers when it enters).
Camera* addWindowCamera(Scene* scene) {
  auto* cam = Camera::createOrthographic(800, 600, -1024, 1024);
  cam->setCameraFlag(2);
  scene->addChild(cam);
  return cam;
}

struct DispatchCase {
  const char* name;
  std::function<void(Scene*, GLView*, Log&)> scenario;
  Log expected;
};

class DispatchTest : public ::testing::TestWithParam<DispatchCase> {};

const DispatchCase kCases[] = {
    {"front to back with negative z and protected children, fixed priorities around",
     [](Scene* scene, GLView* view, Log& log) {
       logKeys(addNode(scene, "A(z-1)", -1), log);
       auto* p = ProtectedNode::create();
       p->setName("P");
       scene->addChild(p, 0);
       logKeys(p, log);
       auto prot = [&](const std::string& name, int z) {
         auto* n = Node::create();
         n->setName(name);
         p->addProtectedChild(n, z);
         logKeys(n, log);
       };
       prot("Pprot(z-1)", -1);
       prot("Pprot(z1)", 1);
       logKeys(addNode(p, "Pchild(z-2)", -2), log);
       logKeys(addNode(p, "Pchild(z0)", 0), log);
       logKeys(addNode(scene, "B(z1)", 1), log);
       logKeysFixed("fixed+5", 5, log);
       logKeysFixed("fixed-5", -5, log);
       view->injectKey(EventKeyboard::KeyCode::KEY_A, true);
     },
     {"fixed-5", "B(z1)", "Pchild(z0)", "Pprot(z1)", "P", "Pchild(z-2)", "Pprot(z-1)", "A(z-1)", "fixed+5"}},

    {"a touch claimed by a swallowing layer never reaches the priority-100 window",
     [](Scene* scene, GLView* view, Log& log) {
       logWindow("window", log);
       auto* modal = Layer::create();  // claims and swallows by default
       modal->setTouchEnabled(true);
       scene->addChild(modal, 10);
       logTouches(addNode(scene, "under", 0), log, true, false);
       view->injectMouseDown(10, 10, 0);
       view->injectMouseMove(20, 20);
       view->injectMouseUp(20, 20, 0);
       log.push_back("--modal closed");
       modal->removeFromParent();
       view->injectMouseDown(10, 10, 0);
       view->injectMouseUp(10, 10, 0);
     },
     {"--modal closed", "under began 0", "window began x1", "under ended", "window ended x1"}},

    {"only the claiming one-by-one listener gets the moves; a non-claimer does not",
     [](Scene* scene, GLView* view, Log& log) {
       logWindow("window", log);
       logTouches(addNode(scene, "back", 0), log, true, false);
       logTouches(addNode(scene, "front", 1), log, false, true);
       view->injectTouches(EventTouch::EventCode::BEGAN, {1}, {Vec2(5, 5)});
       view->injectTouches(EventTouch::EventCode::MOVED, {1}, {Vec2(6, 6)});
       view->injectTouches(EventTouch::EventCode::ENDED, {1}, {Vec2(6, 6)});
     },
     {"front began 1", "back began 1", "window began x1", "back moved", "window moved x1", "back ended",
      "window ended x1"}},

    {"one of two touches swallowed: the window sees only the other",
     [](Scene* scene, GLView* view, Log& log) {
       logWindow("window", log);
       auto* picky = Node::create();
       picky->setName("picky");
       scene->addChild(picky);
       auto* l = EventListenerTouchOneByOne::create();
       l->setSwallowTouches(true);
       l->onTouchBegan = [&log](Touch* t, Event*) {
         log.push_back("picky began " + std::to_string(t->getID()));
         return t->getID() == 1;
       };
       scene->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, picky);
       view->injectTouches(EventTouch::EventCode::BEGAN, {1, 2}, {Vec2(1, 1), Vec2(2, 2)});
       view->injectTouches(EventTouch::EventCode::MOVED, {1, 2}, {Vec2(1, 2), Vec2(2, 3)});
     },
     {"picky began 1", "picky began 2", "window began x1", "window moved x1"}},

    {"listeners whose node lacks flag 1 get no touches",
     [](Scene* scene, GLView* view, Log& log) {
       auto* inWindow = addNode(scene, "inWindow", 0);
       inWindow->setCameraMask(2);
       inWindow->removeCameraMask(1);
       logTouches(inWindow, log, true, true);
       logTouches(addNode(scene, "ui", -1), log, true, true);
       view->injectTouches(EventTouch::EventCode::BEGAN, {1}, {Vec2(1, 1)});
     },
     {"ui began 1"}},

    {"mouse offered per camera, default camera first, each listener once",
     [](Scene* scene, GLView* view, Log& log) {
       addWindowCamera(scene);
       auto* inWindow = addNode(scene, "inWindow", 5);
       inWindow->setCameraMask(2);
       inWindow->removeCameraMask(1);
       auto* both = addNode(scene, "both", 3);
       both->setCameraMask(2);
       logMouse(inWindow, log);
       logMouse(both, log);
       logMouse(addNode(scene, "ui", 1), log);
       logMouse(nullptr, log);
       view->injectMouseDown(10, 10, 1);
     },
     {"fixed down@1", "both down@1", "ui down@1", "inWindow down@2"}},

    {"stopPropagation ends the mouse dispatch on every camera",
     [](Scene* scene, GLView* view, Log& log) {
       addWindowCamera(scene);
       auto* inWindow = addNode(scene, "inWindow", 5);
       inWindow->setCameraMask(2);
       inWindow->removeCameraMask(1);
       logMouse(inWindow, log);
       logMouse(addNode(scene, "ui", 1), log, true);
       logMouse(addNode(scene, "under", 0), log);
       view->injectMouseMove(10, 10);
     },
     {"ui move@1"}},

    {"hidden ancestors are not tested by the dispatcher (handlers do it)",
     [](Scene* scene, GLView* view, Log& log) {
       auto* hiddenParent = addNode(scene, "hiddenParent", 0);
       hiddenParent->setVisible(false);
       auto* child = addNode(hiddenParent, "child", 0);
       auto* l = EventListenerMouse::create();
       l->onMouseDown = [&log, child](EventMouse*) {
         bool shown = true;
         for (Node* n = child; n; n = n->getParent()) shown = shown && n->isVisible();
         log.push_back(shown ? "child acts" : "child offered, ignores (hidden ancestor)");
       };
       scene->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, child);
       view->injectMouseDown(1, 1, 0);
     },
     {"child offered, ignores (hidden ancestor)"}},

    {"left button gives mouse then touch 0; right button is mouse-only; wheel away is -1",
     [](Scene* scene, GLView* view, Log& log) {
       auto* n = addNode(scene, "n", 0);
       logMouse(n, log);
       logTouches(n, log, true, false);
       view->injectMouseDown(10, 10, 0);
       view->injectMouseMove(12, 10);
       view->injectMouseUp(12, 10, 0);
       view->injectMouseDown(10, 10, 1);
       view->injectMouseMove(11, 10);
       view->injectMouseUp(11, 10, 1);
       view->injectScroll(11, 10, -1);
     },
     {"n down@1", "n began 0", "n move@1", "n moved", "n up@1", "n ended", "n down@1", "n move@1", "n up@1",
      "n scroll -1"}},

    {"focus loss and scene switches cancel active touches",
     [](Scene* scene, GLView* view, Log& log) {
       logTouches(addNode(scene, "n", 0), log, true, false);
       view->injectMouseDown(10, 10, 0);
       view->injectFocusLost();
       view->injectMouseMove(11, 11);  // no touch any more
       view->injectMouseDown(10, 10, 0);
       Director::getInstance()->pushScene(Scene::create());
       Director::getInstance()->stepFrame();
       view->injectMouseUp(10, 10, 0);
     },
     {"n began 0", "n cancelled", "n began 0", "n cancelled"}},

    {"removing during a dispatch takes effect at once; adding waits for the next event",
     [](Scene* scene, GLView* view, Log& log) {
       auto* front = addNode(scene, "front", 1);
       auto* back = addNode(scene, "back", 0);
       auto* backListener = EventListenerKeyboard::create();
       backListener->onKeyPressed = [&log](EventKeyboard::KeyCode, Event*) { log.push_back("back"); };
       auto* l = EventListenerKeyboard::create();
       l->onKeyPressed = [&log, backListener, front](EventKeyboard::KeyCode, Event*) {
         log.push_back("front");
         auto* d = Director::getInstance()->getEventDispatcher();
         d->removeEventListener(backListener);
         auto* added = EventListenerKeyboard::create();
         added->onKeyPressed = [&log](EventKeyboard::KeyCode, Event*) { log.push_back("added"); };
         d->addEventListenerWithFixedPriority(added, 1);
         d->removeEventListenersForTarget(front);
       };
       scene->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, front);
       scene->getEventDispatcher()->addEventListenerWithSceneGraphPriority(backListener, back);
       view->injectKey(EventKeyboard::KeyCode::KEY_A, true);
       view->injectKey(EventKeyboard::KeyCode::KEY_A, true);
     },
     {"front", "added"}},
};

TEST_P(DispatchTest, Log) {
  Log log;
  HeadlessEngine engine;
  auto* scene = Scene::create();
  engine.run(scene);
  GetParam().scenario(scene, engine.view(), log);
  EXPECT_EQ(log, GetParam().expected) << GetParam().name << "\n got: " << joined(log);
}

INSTANTIATE_TEST_SUITE_P(Table, DispatchTest, ::testing::ValuesIn(kCases));

TEST(Dispatch, TouchLocationsAndTimeStamp) {
  HeadlessEngine engine;
  auto* scene = Scene::create();
  engine.run(scene);
  std::vector<Vec2> seen;
  auto* l = EventListenerTouchOneByOne::create();
  l->onTouchBegan = [](Touch*, Event*) { return true; };
  l->onTouchMoved = [&](Touch* t, Event*) {
    seen = {t->getLocation(), t->getPreviousLocation(), t->getStartLocation(), t->getDelta()};
  };
  scene->getEventDispatcher()->addEventListenerWithFixedPriority(l, -1);
  const unsigned int before = static_cast<unsigned int>(time(nullptr));
  engine.view()->injectMouseDown(10, 20, 0);
  engine.view()->injectMouseMove(15, 22);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], Vec2(15, 22));
  EXPECT_EQ(seen[1], Vec2(10, 20));
  EXPECT_EQ(seen[2], Vec2(10, 20));
  EXPECT_EQ(seen[3], Vec2(5, 2));
  EXPECT_GE(Touch::getTimeStamp(), before);

  // setLocation overwrites the current location only: the next move reports
  // it as the previous one.
  Touch t;
  t.setTouchInfo(3, 1, 1);
  t.setLocation(Vec2(50, 50));
  t.setTouchInfo(3, 60, 60);
  EXPECT_EQ(t.getPreviousLocation(), Vec2(50, 50));
  EXPECT_EQ(t.getStartLocation(), Vec2(1, 1));
}

TEST(Dispatch, CustomEventsAndListenerLifetime) {
  Log keys;
  HeadlessEngine engine;
  auto* scene = Scene::create();
  engine.run(scene);
  auto* d = engine.director()->getEventDispatcher();
  int got = 0;
  void* data = nullptr;
  d->addCustomEventListener("asset", [&](EventCustom* e) {
    ++got;
    data = e->getUserData();
  });
  d->dispatchCustomEvent("other");
  d->dispatchCustomEvent("asset", &got);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(data, &got);

  // A scene-graph listener goes when its node is destroyed, not at cleanup.
  const size_t base = d->getListenerCount();
  auto* n = Node::create();
  scene->addChild(n);
  logKeys(n, keys);
  EXPECT_EQ(d->getListenerCount(), base + 1);
  n->cleanup();
  EXPECT_EQ(d->getListenerCount(), base + 1);
  n->removeFromParent();
  engine.director()->stepFrame();  // the pool drops the last reference
  EXPECT_EQ(d->getListenerCount(), base);
  engine.view()->injectKey(EventKeyboard::KeyCode::KEY_A, true);
  EXPECT_TRUE(keys.empty());
}

TEST(Dispatch, KeyCodesArePinned) {
  EXPECT_EQ(static_cast<int>(EventKeyboard::KeyCode::KEY_LEFT_CTRL), 14);
  EXPECT_EQ(static_cast<int>(EventKeyboard::KeyCode::KEY_RIGHT_CTRL), 15);
  EXPECT_EQ(EventMouse::BUTTON_LEFT, 0);
  EXPECT_EQ(EventMouse::BUTTON_RIGHT, 1);
  EXPECT_EQ(EventMouse::BUTTON_MIDDLE, 2);
}
}  // namespace
