// Layout placement types, relative alignment with margins, percent
// placement after a parent resize and through Helper::doLayout, visit hooks,
// scissoring, background, and UTF-8 substrings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "support_scene.h"

USING_NS_CC;

namespace {

// Bounding-box bottom-left corners of the layout's children.
std::vector<Vec2> corners(ui::Layout* l) {
  std::vector<Vec2> out;
  for (Node* c : l->getChildren()) out.push_back(c->getBoundingBox().origin);
  return out;
}

Node* box(float w, float h, Vec2 anchor = Vec2(0.5f, 0.5f)) {
  auto* n = ui::Widget::create();
  n->setContentSize(Size(w, h));
  n->setAnchorPoint(anchor);
  return n;
}

}  // namespace

TEST(UiLayout, PlacementTypes) {
  HeadlessEngine engine;
  struct Case {
    int type;
    std::vector<Vec2> want;
  };
  // Children: 40x20 (anchor centre), 60x10 (anchor 0,0), 20x30 scaled 0.5
  // (10x15 box, anchor 1,1), in a 200x100 layout.
  const Case cases[] = {
      {ui::Layout::VERTICAL, {Vec2(0, 80), Vec2(0, 70), Vec2(0, 55)}},
      {ui::Layout::HORIZONTAL, {Vec2(0, 80), Vec2(40, 90), Vec2(100, 85)}},
      {ui::Layout::ROW_LEFT, {Vec2(0, 40), Vec2(40, 45), Vec2(100, 42.5f)}},
      {ui::Layout::ROW_RIGHT, {Vec2(90, 40), Vec2(130, 45), Vec2(190, 42.5f)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    auto* l = ui::Layout::create();
    l->setContentSize(Size(200, 100));
    l->setLayoutType(c.type);
    l->addChild(box(40, 20));
    l->addChild(box(60, 10, Vec2(0, 0)));
    Node* small = box(20, 30, Vec2(1, 1));
    small->setScale(0.5f);
    l->addChild(small);
    auto* hidden = box(500, 500);
    hidden->setVisible(false);
    l->addChild(hidden);  // takes no room
    EXPECT_TRUE(l->isLayoutDirty());
    static_cast<Node*>(l)->visit();  // placement runs at the visit
    EXPECT_FALSE(l->isLayoutDirty());
    std::vector<Vec2> got = corners(l);
    got.pop_back();
    EXPECT_EQ(got, c.want);
    // Resizing a child marks the layout for the next visit.
    static_cast<ui::Widget*>(l->getChildren().at(0))->setContentSize(Size(50, 20));
    EXPECT_TRUE(l->isLayoutDirty());
  }
}

TEST(UiLayout, MarginsInLinearPlacement) {
  HeadlessEngine engine;
  auto* l = ui::Layout::create();
  l->setContentSize(Size(200, 100));
  l->setLayoutType(ui::Layout::VERTICAL);
  for (int i = 0; i < 2; ++i) {
    auto* w = static_cast<ui::Widget*>(box(40, 20, Vec2(0, 0)));
    auto* p = ui::LayoutParameter::create();
    p->setMargin(ui::Margin(5, 3, 0, 2));
    w->setLayoutParameter(p);
    l->addChild(w);
  }
  l->forceDoLayout();
  EXPECT_EQ(corners(l), (std::vector<Vec2>{Vec2(5, 77), Vec2(5, 52)}));
}

TEST(UiLayout, RelativeAlignmentsWithMargins) {
  HeadlessEngine engine;
  // A 20x10 box (anchor 0.25, 0.75, scale 2 -> 40x20) in a 200x100 layout;
  // margins left 1, top 2, right 3, bottom 4.
  const Vec2 want[10] = {Vec2(),         Vec2(1, 78),   Vec2(80, 78), Vec2(157, 78), Vec2(1, 40),
                         Vec2(80, 40),   Vec2(157, 40), Vec2(1, 4),   Vec2(80, 4),   Vec2(157, 4)};
  for (int align = 1; align <= 9; ++align) {
    SCOPED_TRACE(align);
    auto* l = ui::Layout::create();
    l->setContentSize(Size(200, 100));
    l->setLayoutType(ui::Layout::RELATIVE);
    auto* w = static_cast<ui::Widget*>(box(20, 10, Vec2(0.25f, 0.75f)));
    w->setScale(2);
    auto* p = ui::RelativeLayoutParameter::create();
    p->setAlign(align);
    p->setMargin(ui::Margin(1, 2, 3, 4));
    w->setLayoutParameter(p);
    l->addChild(w);
    auto* untouched = box(10, 10);
    untouched->setPosition(7, 7);
    l->addChild(untouched);
    l->forceDoLayout();
    EXPECT_EQ(w->getBoundingBox().origin, want[align]);
    EXPECT_EQ(untouched->getPosition(), Vec2(7, 7));
    // The same through Helper::doLayout on a plain parent.
    auto* plain = Node::create();
    plain->setContentSize(Size(200, 100));
    auto* w2 = static_cast<ui::Widget*>(box(20, 10, Vec2(0.25f, 0.75f)));
    w2->setScale(2);
    w2->setLayoutParameter(p);
    plain->addChild(w2);
    ui::Helper::doLayout(plain);
    EXPECT_EQ(w2->getBoundingBox().origin, want[align]);
  }
}

TEST(UiLayout, PercentPlacementFollowsTheParent) {
  HeadlessEngine engine;
  auto* parent = ui::Layout::create();
  parent->setContentSize(Size(200, 100));
  auto* child = ui::Layout::create();
  child->setSizeType(ui::Widget::SizeType::PERCENT);
  child->setSizePercent(Vec2(0.5f, 0.25f));
  child->setPositionType(ui::Widget::PositionType::PERCENT);
  child->setPositionPercent(Vec2(0.1f, 0.2f));
  parent->addChild(child);
  EXPECT_EQ(child->getContentSize(), Size(100, 25));
  EXPECT_EQ(child->getPosition(), Vec2(20, 20));
  auto* grandchild = ui::Widget::create();
  grandchild->setPositionType(ui::Widget::PositionType::PERCENT);
  grandchild->setPositionPercent(Vec2(1, 1));
  child->addChild(grandchild);
  EXPECT_EQ(grandchild->getPosition(), Vec2(100, 25));

  parent->setContentSize(Size(400, 300));
  EXPECT_EQ(child->getContentSize(), Size(200, 75));
  EXPECT_EQ(child->getPosition(), Vec2(40, 60));
  EXPECT_EQ(grandchild->getPosition(), Vec2(200, 75));

  // A plain root resized behind the widgets' backs: Helper::doLayout
  // brings the subtree up to date.
  auto* root = Node::create();
  root->setContentSize(Size(100, 100));
  auto* w = ui::Widget::create();
  w->setSizeType(ui::Widget::SizeType::PERCENT);
  w->setSizePercent(Vec2(0.5f, 0.5f));
  root->addChild(w);
  EXPECT_EQ(w->getContentSize(), Size(50, 50));
  root->setContentSize(Size(300, 200));
  EXPECT_EQ(w->getContentSize(), Size(50, 50));
  ui::Helper::doLayout(root);
  EXPECT_EQ(w->getContentSize(), Size(150, 100));
  EXPECT_EQ(w->getLeftBoundary(), -75);
  EXPECT_EQ(w->getTopBoundary(), 50);
}

namespace {
class HookLayout : public ui::Layout {
 public:
  CREATE_FUNC(HookLayout)
  void onBeforeVisit() override { log.push_back("before"); }
  void onAfterVisit() override { log.push_back("after"); }
  void draw(Renderer* r, const Mat4&, uint32_t) override {
    log.push_back("draw");
    scissored.push_back(r->isScissorEnabled() ? r->getScissorRect() : Rect::ZERO);
  }
  std::vector<std::string> log;
  std::vector<Rect> scissored;
};
}  // namespace

TEST(UiLayout, VisitHooksAndNestedScissors) {
  HeadlessEngine engine;
  auto* scene = Scene::create();
  auto* outer = ui::Layout::create();
  outer->setContentSize(Size(100, 100));
  outer->setPosition(10, 20);
  outer->setClippingEnabled(true);
  scene->addChild(outer);
  auto* inner = HookLayout::create();
  inner->setContentSize(Size(100, 100));
  inner->setPosition(50, 50);
  inner->setClippingEnabled(true);
  outer->addChild(inner);
  engine.run(scene);
  EXPECT_EQ(inner->log, (std::vector<std::string>{"before", "draw", "after"}));
  ASSERT_EQ(inner->scissored.size(), 1u);
  EXPECT_EQ(inner->scissored[0], Rect(60, 70, 50, 50));  // the intersection
  // The scissor stack is balanced.
  EXPECT_FALSE(engine.director()->getRenderer()->isScissorEnabled());
}

TEST(UiLayout, BackgroundColour) {
  HeadlessEngine engine;
  auto* l = ui::Layout::create();
  l->setContentSize(Size(30, 40));
  l->enableBKColor(true, Color3B(180, 178, 180), 0.85f);
  EXPECT_EQ(l->getBackGroundColorType(), ui::Layout::BackGroundColorType::SOLID);
  EXPECT_EQ(l->getBackGroundColor(), Color3B(180, 178, 180));
  EXPECT_EQ(l->getBackGroundColorOpacity(), 217);
  ASSERT_EQ(l->getProtectedChildren().size(), 1u);
  Node* bg = l->getProtectedChildren().at(0);
  EXPECT_LT(bg->getLocalZOrder(), 0);  // under every child
  l->setContentSize(Size(60, 10));
  EXPECT_EQ(bg->getContentSize(), Size(60, 10));
  l->enableBKColor(false, Color3B::BLACK, 1);
  EXPECT_TRUE(l->getProtectedChildren().empty());
}

TEST(UiHelper, Utf8Substrings) {
  const std::string s = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";  // a é 中 😀 z
  const struct {
    size_t start, length;
    std::string want;
  } cases[] = {
      {0, 1, "a"},
      {1, 2, "\xC3\xA9\xE4\xB8\xAD"},
      {3, 1, "\xF0\x9F\x98\x80"},
      {3, 100, "\xF0\x9F\x98\x80z"},
      {4, 1, "z"},
      {5, 1, ""},
      {0, 0, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ui::Helper::getSubStringOfUTF8String(s, c.start, c.length), c.want) << c.start << "," << c.length;
}
