// Interface widgets without GL: the touch model (hit rules, propagation,
// clicks, swallowing), slider and check box events, button and text sizes,
// pictures that fail to load, and the nine-slice geometry.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "support_engine.h"
#include "support_scene.h"

USING_NS_CC;
using ui::Widget;

namespace {

const Vec2 kCentre(400, 300);

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene = Scene::create();
    engine.run(scene);
  }
  void touch(EventTouch::EventCode phase, const Vec2& p) { engine.view()->injectTouches(phase, {1}, {p}); }
  void tap(const Vec2& p) {
    touch(EventTouch::EventCode::BEGAN, p);
    touch(EventTouch::EventCode::ENDED, p);
  }
  // A touch-enabled 100 x 40 widget centred on kCentre, under parent.
  Widget* target(Node* parent) {
    auto* w = Widget::create();
    w->setContentSize(Size(100, 40));
    w->setPosition(parent->convertToNodeSpace(kCentre));
    w->setTouchEnabled(true);
    parent->addChild(w);
    return w;
  }
  // A PNG of w x h in one colour; returns its path.
  std::string picture(const std::string& name, int w, int h, Color4B c = Color4B(255, 0, 0, 255)) {
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < px.size(); i += 4) {
      px[i] = c.r;
      px[i + 1] = c.g;
      px[i + 2] = c.b;
      px[i + 3] = c.a;
    }
    Image img;
    img.initWithRawData(px.data(), static_cast<ssize_t>(px.size()), w, h, 8);
    EXPECT_TRUE(img.saveToFile(dir.path + name, false));
    return dir.path + name;
  }

  HeadlessEngine engine;
  TempDir dir;
  Scene* scene = nullptr;
};

// A layout that records what its descendants tell it.
class RecordingLayout : public ui::Layout {
 public:
  CREATE_FUNC(RecordingLayout)
  void interceptTouchEvent(TouchEventType event, Widget* sender, Touch* touch) override {
    seen.push_back({event, sender});
  }
  std::vector<std::pair<TouchEventType, Widget*>> seen;
};

}  // namespace

TEST_F(UiTest, HitRules) {
  struct Case {
    const char* what;
    std::function<void(Widget* w, ui::Layout* clip)> setup;
    Vec2 offset;  // from the widget's centre
    bool hit;
  };
  const Case cases[] = {
      {"centre", nullptr, Vec2(0, 0), true},
      {"edge of the content", nullptr, Vec2(50, 20), true},
      {"outside the content", nullptr, Vec2(52, 0), false},
      {"hidden widget", [](Widget* w, ui::Layout*) { w->setVisible(false); }, Vec2(0, 0), false},
      {"hidden grandparent", [](Widget*, ui::Layout* c) { c->getParent()->setVisible(false); }, Vec2(0, 0), false},
      {"disabled", [](Widget* w, ui::Layout*) { w->setEnabled(false); }, Vec2(0, 0), false},
      {"inside a clip that covers it", [](Widget*, ui::Layout* c) { c->setClippingEnabled(true); }, Vec2(0, 0), true},
      {"outside the clipping ancestor", [](Widget*, ui::Layout* c) { c->setClippingEnabled(true); }, Vec2(40, 0),
       false},
      {"same point without clipping", nullptr, Vec2(40, 0), true},
      {"touch scale 1.0", [](Widget* w, ui::Layout*) { w->setTouchScaled(1.0f); }, Vec2(70, 0), false},
      {"touch scale 2.0", [](Widget* w, ui::Layout*) { w->setTouchScaled(2.0f); }, Vec2(70, 30), true},
      {"touch scale 2.0, beyond", [](Widget* w, ui::Layout*) { w->setTouchScaled(2.0f); }, Vec2(101, 0), false},
      {"touch scale 0.5, inside", [](Widget* w, ui::Layout*) { w->setTouchScaled(0.5f); }, Vec2(24, 9), true},
      {"touch scale 0.5, outside", [](Widget* w, ui::Layout*) { w->setTouchScaled(0.5f); }, Vec2(30, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto* holder = Node::create();  // a plain node above the clip
    scene->addChild(holder);
    // A layout covering the widget's left 80 units.
    auto* clip = ui::Layout::create();
    clip->setContentSize(Size(80, 200));
    clip->setPosition(kCentre.x - 50, kCentre.y - 100);
    holder->addChild(clip);
    Widget* w = target(clip);
    if (c.setup) c.setup(w, clip);
    int began = 0;
    w->addTouchEventListener([&](Ref*, Widget::TouchEventType t) { began += t == Widget::TouchEventType::BEGAN; });
    tap(kCentre + c.offset);
    EXPECT_EQ(began == 1, c.hit);
    holder->removeFromParent();
  }
}

TEST_F(UiTest, TouchesPropagateToTheNearestWidgetPastPlainNodes) {
  auto* outer = RecordingLayout::create();
  auto* inner = RecordingLayout::create();
  outer->setContentSize(Size(800, 600));
  inner->setContentSize(Size(800, 600));
  scene->addChild(outer);
  outer->addChild(inner);
  auto* cell = Node::create();  // such as a table cell
  inner->addChild(cell);
  Widget* w = target(cell);

  touch(EventTouch::EventCode::BEGAN, kCentre);
  touch(EventTouch::EventCode::MOVED, kCentre + Vec2(5, 0));
  touch(EventTouch::EventCode::ENDED, kCentre + Vec2(5, 0));
  using T = Widget::TouchEventType;
  const std::vector<std::pair<T, Widget*>> want = {{T::BEGAN, w}, {T::MOVED, w}, {T::ENDED, w}};
  EXPECT_EQ(inner->seen, want);
  // The recording layout does not pass them on.
  EXPECT_TRUE(outer->seen.empty());

  inner->seen.clear();
  w->setPropagateTouchEvents(false);
  tap(kCentre);
  EXPECT_TRUE(inner->seen.empty());
  EXPECT_EQ(w->getTouchBeganPosition(), kCentre);
  EXPECT_EQ(w->getTouchEndPosition(), kCentre);
}

TEST_F(UiTest, ClickOnlyOnAReleaseWhileHighlighted) {
  struct Case {
    const char* what;
    std::vector<Vec2> moves;
    bool click;
    Widget::TouchEventType last;
  };
  const Case cases[] = {
      {"release in place", {}, true, Widget::TouchEventType::ENDED},
      {"release after leaving", {kCentre + Vec2(200, 0)}, false, Widget::TouchEventType::CANCELED},
      {"leave and come back", {kCentre + Vec2(200, 0), kCentre + Vec2(10, 0)}, true, Widget::TouchEventType::ENDED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Widget* w = target(scene);
    int clicks = 0;
    Widget::TouchEventType last = Widget::TouchEventType::BEGAN;
    w->addClickEventListener([&](Ref*) { ++clicks; });
    w->addTouchEventListener([&](Ref*, Widget::TouchEventType t) { last = t; });
    touch(EventTouch::EventCode::BEGAN, kCentre);
    EXPECT_TRUE(w->isHighlighted());
    Vec2 at = kCentre;
    for (const Vec2& m : c.moves) touch(EventTouch::EventCode::MOVED, at = m);
    touch(EventTouch::EventCode::ENDED, at);
    EXPECT_EQ(clicks, c.click ? 1 : 0);
    EXPECT_EQ(last, c.last);
    EXPECT_FALSE(w->isHighlighted());
    w->removeFromParent();
  }
  // A cancelled touch clears the highlight without a click.
  Widget* w = target(scene);
  int clicks = 0;
  w->addClickEventListener([&](Ref*) { ++clicks; });
  touch(EventTouch::EventCode::BEGAN, kCentre);
  touch(EventTouch::EventCode::CANCELLED, kCentre);
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(w->isHighlighted());
}

TEST_F(UiTest, SwallowingDecidesWhetherAListenerBehindGetsTheTouch) {
  for (bool swallow : {true, false}) {
    SCOPED_TRACE(swallow);
    auto* behind = Node::create();
    scene->addChild(behind, 0);
    int behindBegan = 0;
    auto* l = EventListenerTouchOneByOne::create();
    l->onTouchBegan = [&](Touch*, Event*) { return ++behindBegan, true; };
    scene->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, behind);
    Widget* w = target(scene);  // in front: added later
    w->setSwallowTouches(swallow);
    tap(kCentre);
    EXPECT_EQ(behindBegan, swallow ? 0 : 1);
    // A miss always goes on.
    tap(kCentre + Vec2(300, 0));
    EXPECT_EQ(behindBegan, swallow ? 1 : 2);
    w->removeFromParent();
    behind->removeFromParent();
  }
}

TEST_F(UiTest, SliderReportsTouchesButNotSetters) {
  auto* s = ui::Slider::create(picture("bar.png", 200, 10), picture("ball.png", 20, 20));
  s->setPosition(kCentre);  // bar from x = 300 to 500
  scene->addChild(s);
  std::vector<std::string> events;
  s->addEventListener([&](Ref* r, ui::Slider::EventType t) {
    events.push_back(std::to_string(static_cast<int>(t)) + ":" + std::to_string(static_cast<ui::Slider*>(r)->getPercent()));
  });
  s->setPercent(40);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(s->getPercent(), 40);
  s->setPercent(140);
  EXPECT_EQ(s->getPercent(), 100);

  touch(EventTouch::EventCode::BEGAN, Vec2(450, 300));  // 75 %
  touch(EventTouch::EventCode::MOVED, Vec2(320, 300));  // 10 %
  touch(EventTouch::EventCode::MOVED, Vec2(320, 302));  // unchanged
  touch(EventTouch::EventCode::MOVED, Vec2(250, 330));  // dragged past the start: 0 %
  touch(EventTouch::EventCode::ENDED, Vec2(250, 330));
  EXPECT_EQ(events, (std::vector<std::string>{"1:75", "0:75", "0:10", "0:0", "2:0"}));

  events.clear();
  touch(EventTouch::EventCode::BEGAN, Vec2(500, 300));
  touch(EventTouch::EventCode::CANCELLED, Vec2(500, 300));
  EXPECT_EQ(events, (std::vector<std::string>{"1:100", "0:100", "3:100"}));
  events.clear();
  tap(Vec2(400, 340));  // above the bar and the ball
  EXPECT_TRUE(events.empty());
}

TEST_F(UiTest, CheckBoxTogglesOnClicksOnly) {
  auto* c = ui::CheckBox::create(picture("bg.png", 30, 30), picture("mark.png", 20, 20));
  c->setPosition(kCentre);
  scene->addChild(c);
  EXPECT_EQ(c->getContentSize(), Size(30, 30));
  std::vector<ui::CheckBox::EventType> events;
  c->addEventListener([&](Ref*, ui::CheckBox::EventType t) { events.push_back(t); });
  c->setSelected(true);
  c->setSelected(false);
  EXPECT_TRUE(events.empty());
  tap(kCentre);
  EXPECT_TRUE(c->isSelected());
  tap(kCentre);
  EXPECT_FALSE(c->isSelected());
  // Pressed, dragged off and released: no toggle.
  touch(EventTouch::EventCode::BEGAN, kCentre);
  touch(EventTouch::EventCode::MOVED, kCentre + Vec2(100, 0));
  touch(EventTouch::EventCode::ENDED, kCentre + Vec2(100, 0));
  EXPECT_FALSE(c->isSelected());
  EXPECT_EQ(events, (std::vector<ui::CheckBox::EventType>{ui::CheckBox::EventType::SELECTED,
                                                         ui::CheckBox::EventType::UNSELECTED}));
}

TEST_F(UiTest, ButtonStatesAndSizes) {
  auto* b = ui::Button::create(picture("n.png", 60, 20), picture("p.png", 60, 20), picture("d.png", 60, 20));
  b->setPosition(kCentre);
  scene->addChild(b);
  EXPECT_EQ(b->getContentSize(), Size(60, 20));
  EXPECT_EQ(b->getNormalTextureSize(), Size(60, 20));
  EXPECT_TRUE(b->isTouchEnabled());
  Node* normal = b->getVirtualRenderer();
  b->setPressedActionEnabled(true);
  touch(EventTouch::EventCode::BEGAN, kCentre);
  Node* pressed = b->getVirtualRenderer();
  EXPECT_NE(pressed, normal);
  EXPECT_TRUE(pressed->isVisible());
  EXPECT_FALSE(normal->isVisible());
  EXPECT_FLOAT_EQ(pressed->getScale(), 1.1f);
  touch(EventTouch::EventCode::ENDED, kCentre);
  EXPECT_EQ(b->getVirtualRenderer(), normal);
  EXPECT_TRUE(normal->isVisible());
  EXPECT_FLOAT_EQ(normal->getScale(), 1.0f);
  b->setEnabled(false);
  Node* disabled = b->getVirtualRenderer();
  EXPECT_NE(disabled, normal);
  EXPECT_TRUE(disabled->isVisible());
  int clicks = 0;
  b->addClickEventListener([&](Ref*) { ++clicks; });
  tap(kCentre);
  EXPECT_EQ(clicks, 0);

  // Nine-slice: the size set wins.
  b->setScale9Enabled(true);
  b->setCapInsets(Rect(5, 5, 50, 10));
  b->setContentSize(Size(200, 50));
  EXPECT_EQ(b->getContentSize(), Size(200, 50));
  EXPECT_EQ(normal->getContentSize(), Size(200, 50));
}

TEST_F(UiTest, TitleOnlyButtonIsSizedByItsTitle) {
  auto* b = ui::Button::create();
  b->setTitleFontSize(20);
  b->setTitleText("Cancel");
  const Size t = b->getTitleRenderer()->getContentSize();
  ASSERT_GT(t.width, 0);
  EXPECT_EQ(b->getContentSize(), Size(t.width + 20, t.height + 20));
  b->setPosition(kCentre);
  scene->addChild(b);
  int clicks = 0;
  b->addClickEventListener([&](Ref*) { ++clicks; });
  tap(kCentre + Vec2(t.width / 2 + 8, 0));  // in the padding
  EXPECT_EQ(clicks, 1);
  b->setTitleText("Cancel the whole transfer");
  EXPECT_GT(b->getContentSize().width, t.width + 20);
}

TEST_F(UiTest, TextFollowsItsStringAndScalesWhilePressed) {
  auto* t = ui::Text::create("Hello", "", 20);
  const Size one = t->getContentSize();
  EXPECT_GT(one.width, 0);
  t->setString("Hello Hello", true);
  EXPECT_GT(t->getContentSize().width, one.width);
  t->setText("Hello");
  EXPECT_EQ(t->getContentSize(), one);
  t->ignoreContentAdaptWithSize(false);
  t->setContentSize(Size(300, 100));
  t->setString("Hello again");
  EXPECT_EQ(t->getContentSize(), Size(300, 100));

  auto* pressable = ui::Text::create("Press", "", 20);
  pressable->setScale(2);
  pressable->setTouchEnabled(true);
  pressable->setTouchScaleChangeEnabled(true);
  pressable->setPosition(kCentre);
  scene->addChild(pressable);
  touch(EventTouch::EventCode::BEGAN, kCentre);
  EXPECT_FLOAT_EQ(pressable->getScaleX(), 2.1f);
  touch(EventTouch::EventCode::ENDED, kCentre);
  EXPECT_FLOAT_EQ(pressable->getScaleX(), 2.0f);
}

TEST_F(UiTest, APictureThatCannotBeLoadedKeepsThePreviousOne) {
  const std::string good = picture("good.png", 30, 20);
  const std::string bad = dir.path + "bad.png";
  writeFile(bad, "\x89PNG\r\n\x1a\nnot really a picture");
  const std::string missing = dir.path + "missing.png";
  struct Case {
    const char* what;
    std::function<Node*()> make;                       // loaded with good
    std::function<void(Node*, const std::string&)> load;  // loads another file
  };
  const Case cases[] = {
      {"ImageView", [&] { return ui::ImageView::create(good); },
       [](Node* n, const std::string& f) { static_cast<ui::ImageView*>(n)->loadTexture(f); }},
      {"Button", [&] { return ui::Button::create(good); },
       [](Node* n, const std::string& f) { static_cast<ui::Button*>(n)->loadTextures(f, f, f); }},
      {"Scale9Sprite", [&] { return ui::Scale9Sprite::create(good); },
       [](Node* n, const std::string& f) { EXPECT_FALSE(static_cast<ui::Scale9Sprite*>(n)->initWithFile(Rect::ZERO, f)); }},
  };
  for (const Case& c : cases) {
    for (const std::string& file : {bad, missing}) {
      SCOPED_TRACE(std::string(c.what) + " " + file);
      Node* n = c.make();
      ASSERT_NE(n, nullptr);
      ASSERT_EQ(n->getContentSize(), Size(30, 20));
      c.load(n, file);
      EXPECT_EQ(n->getContentSize(), Size(30, 20));
    }
  }
  auto* b = ui::Button::create(good);
  b->loadTextures(bad, "", "");
  EXPECT_EQ(b->getNormalTextureSize(), Size(30, 20));
  auto* s = ui::Scale9Sprite::create(good);
  Texture2D* before = s->getTexture();
  s->initWithFile(Rect::ZERO, bad);
  EXPECT_EQ(s->getTexture(), before);
}

TEST_F(UiTest, NineSliceGeometry) {
  const std::string pic = picture("nine.png", 30, 30);
  struct Case {
    const char* what;
    Rect insets;
    Size size;
    std::vector<float> xs, ys;  // column and row edges in node space
  };
  const Case cases[] = {
      {"stretched", Rect(5, 5, 20, 20), Size(100, 60), {0, 5, 95, 100}, {0, 5, 55, 60}},
      {"zero insets are the middle third", Rect::ZERO, Size(90, 90), {0, 10, 80, 90}, {0, 10, 80, 90}},
      {"narrower than the borders", Rect(5, 5, 20, 20), Size(6, 60), {0, 3, 6}, {0, 5, 55, 60}},
      {"insets past the picture clamp", Rect(5, 10, 100, 100), Size(50, 50), {0, 5, 50}, {0, 40, 50}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto* s = ui::Scale9Sprite::create(c.insets, pic);
    ASSERT_NE(s, nullptr);
    s->setContentSize(c.size);
    std::set<float> xs, ys;
    for (const auto& v : s->getVertices()) {
      xs.insert(v.vertices.x);
      ys.insert(v.vertices.y);
    }
    EXPECT_EQ(std::vector<float>(xs.begin(), xs.end()), c.xs);
    EXPECT_EQ(std::vector<float>(ys.begin(), ys.end()), c.ys);
  }
}

namespace {
class KeyWidget : public ui::Widget {
 public:
  CREATE_FUNC(KeyWidget)
  void onKeyPressed(EventKeyboard::KeyCode k, Event*) override { keys.push_back("down " + std::to_string(static_cast<int>(k))); }
  void onKeyReleased(EventKeyboard::KeyCode k, Event*) override { keys.push_back("up " + std::to_string(static_cast<int>(k))); }
  std::vector<std::string> keys;
};
}  // namespace

TEST_F(UiTest, WidgetKeyboard) {
  auto* w = KeyWidget::create();
  scene->addChild(w);
  engine.view()->injectKey(EventKeyboard::KeyCode::KEY_LEFT_CTRL, true);
  EXPECT_TRUE(w->keys.empty());
  w->setKeyboardEnabled(true);
  engine.view()->injectKey(EventKeyboard::KeyCode::KEY_LEFT_CTRL, true);
  engine.view()->injectKey(EventKeyboard::KeyCode::KEY_LEFT_CTRL, false);
  w->setKeyboardEnabled(false);
  engine.view()->injectKey(EventKeyboard::KeyCode::KEY_A, true);
  EXPECT_EQ(w->keys, (std::vector<std::string>{"down 14", "up 14"}));
}
