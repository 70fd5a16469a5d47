// Rich text: the integer line-breaking rule, sizes and scrolling, caret
// positions and touch hit tests over per-character labels.
#include <gtest/gtest.h>

#include <vector>

#include "engine/cocos2d.h"
#include "headless_stage.h"
#include "toolkit/widgets/NSRichText.h"

USING_NS_CC;
using NSUI::NSRichElementText;
using NSUI::NSRichText;

namespace {

class RichText : public ::testing::Test {
 protected:
  NSRichText* make(float width) {
    auto* rt = NSRichText::create();
    rt->setContentSize(Size(width, 10));
    rt->setAnchorPoint(Vec2::ZERO);
    rt->setPosition(Vec2(100, 200));
    stage.scene->addChild(rt);
    return rt;
  }
  // One element per size, each label forced to that size.
  static void fill(NSRichText* rt, const std::vector<Size>& sizes) {
    for (const Size& s : sizes) {
      rt->pushBackElement(NSRichElementText::create(rt->getElementCount() + 1, "x", "", 20, Color3B::WHITE, 255));
      rt->getElement(rt->getElementCount() - 1)->node->setContentSize(s);
    }
  }
  static Touch* touchAt(Vec2 world) {
    auto* t = new Touch;
    t->setTouchInfo(1, world.x, world.y);
    t->autorelease();
    return t;
  }

  HeadlessStage stage;
};

TEST_F(RichText, LineBreakingRule) {
  struct Case {
    const char* name;
    float width;
    int visible;
    std::vector<Size> sizes;
    std::vector<float> ys;  // expected bottom of each element
    float total;            // T
    Size widget;            // the widget's size afterwards
  };
  std::vector<Size> tenOf12(10, Size(12, 20));
  const std::vector<Case> cases = {
      {"ten of 12 in 100: 8 + 2", 100, 100, tenOf12,
       {20, 20, 20, 20, 20, 20, 20, 20, 0, 0}, 40, Size(100, 40)},
      {"remaining 3 with 3.5 stays", 100, 100, {Size(97, 20), Size(3.5f, 20), Size(1, 20)},
       {20, 20, 0}, 40, Size(100, 40)},
      // The first line stays empty (height 0); the remaining width is then
      // negative, so the next element wraps as well.
      {"first element wider than W", 100, 100, {Size(120, 20), Size(10, 20)},
       {20, 0}, 40, Size(100, 40)},
      {"line height is the tallest element", 100, 100, {Size(50, 10), Size(40, 30), Size(20, 15)},
       {15, 15, 0}, 45, Size(100, 45)},
      {"150 high with visible 100 scrolls", 50, 100, std::vector<Size>(6, Size(50, 25)),
       {125, 100, 75, 50, 25, 0}, 150, Size(50, 100)},
      {"60 high stays 60", 50, 100, std::vector<Size>(3, Size(50, 20)),
       {40, 20, 0}, 60, Size(50, 60)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NSRichText* rt = make(c.width);
    rt->setVisibleHeight(c.visible);
    fill(rt, c.sizes);
    rt->formatText();
    ASSERT_EQ(rt->getElementCount(), static_cast<int>(c.ys.size()));
    float x = 0, lastY = -1;
    for (int i = 0; i < rt->getElementCount(); ++i) {
      Node* n = rt->getElement(i)->node;
      if (n->getPositionY() != lastY) x = 0;  // a new line starts at the left
      EXPECT_EQ(n->getPositionY(), c.ys[i]) << "element " << i;
      EXPECT_EQ(n->getPositionX(), x) << "element " << i;
      EXPECT_EQ(n->getAnchorPoint(), Vec2::ZERO);
      x += c.sizes[i].width;
      lastY = n->getPositionY();
    }
    EXPECT_EQ(rt->getContentSize(), c.widget);
    EXPECT_EQ(rt->getScrollView()->getContentSize(), c.widget);
    EXPECT_EQ(rt->getScrollView()->getInnerContainerSize(), Size(c.width, c.total));
    rt->removeFromParent();
  }
}

TEST_F(RichText, LabelsOfALineShareItsHeight) {
  NSRichText* rt = make(100);
  fill(rt, {Size(50, 10), Size(40, 30), Size(20, 15)});
  rt->formatText();
  EXPECT_EQ(rt->getElement(0)->node->getContentSize(), Size(50, 30));
  EXPECT_EQ(rt->getElement(1)->node->getContentSize(), Size(40, 30));
  EXPECT_EQ(rt->getElement(2)->node->getContentSize(), Size(20, 15));
}

TEST_F(RichText, RealLabelsWrapAtTheWidth) {
  NSRichText* rt = make(60);
  rt->setTextByCharacters("wrap this text", "", 20, Color3B::WHITE);
  ASSERT_EQ(rt->getElementCount(), 14);
  // Each label is one character; a line never holds more than 60 units
  // (plus less than one unit of overflow), and lines go downwards.
  float lineWidth = 0, y = rt->getElement(0)->node->getPositionY();
  int lines = 1;
  for (int i = 0; i < rt->getElementCount(); ++i) {
    auto* label = dynamic_cast<Label*>(rt->getElement(i)->node);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->getStringLength(), 1);
    EXPECT_GT(label->getContentSize().width, 0);
    if (label->getPositionY() != y) {
      EXPECT_LT(label->getPositionY(), y);
      EXPECT_EQ(label->getPositionX(), 0);
      y = label->getPositionY();
      lineWidth = 0;
      ++lines;
    }
    lineWidth += label->getContentSize().width;
    EXPECT_LT(lineWidth, 61);
  }
  EXPECT_GE(lines, 3);
  EXPECT_EQ(y, 0);  // the last line sits at the bottom
  EXPECT_EQ(rt->getContentSize().width, 60);
}

TEST_F(RichText, MultiByteCharactersEachGetOneLabel) {
  NSRichText* rt = make(200);
  rt->setTextByCharacters("\xc3\xa9\xc3\xbc\xc3\xb1", "", 20, Color3B::WHITE);  // "éüñ"
  ASSERT_EQ(rt->getElementCount(), 3);
  EXPECT_EQ(rt->getScrollView()->getChildrenCount(), 3);
  const char* expect[] = {"\xc3\xa9", "\xc3\xbc", "\xc3\xb1"};
  for (int i = 0; i < 3; ++i) {
    auto* e = static_cast<NSRichElementText*>(rt->getElement(i));
    EXPECT_EQ(e->getText(), expect[i]);
    EXPECT_EQ(e->tag, i + 1);
    EXPECT_EQ(dynamic_cast<Label*>(e->node)->getString(), expect[i]);
  }
}

TEST_F(RichText, InsertSplitsAndClampsTheIndex) {
  NSRichText* rt = make(300);
  rt->pushBackElement(NSRichElementText::create(1, "ab", "", 20, Color3B::RED, 200));
  rt->insertElement(NSRichElementText::create(3, "\xe4\xb8\xad" "d", "", 20, Color3B::RED, 200), 99);
  rt->insertElement(NSRichElementText::create(5, "e", "", 20, Color3B::RED, 200), -4);
  rt->insertElement(NSRichElementText::create(6, "f", "", 20, Color3B::RED, 200), 2);
  rt->formatText();
  std::string order;
  for (int i = 0; i < rt->getElementCount(); ++i) order += static_cast<NSRichElementText*>(rt->getElement(i))->text + ",";
  EXPECT_EQ(order, "e,a,f,b,\xe4\xb8\xad,d,");
  auto* label = dynamic_cast<Label*>(rt->getElement(0)->node);
  EXPECT_EQ(label->getColor(), Color3B::RED);
  EXPECT_EQ(label->getOpacity(), 200);
  EXPECT_EQ(label->getLocalZOrder(), 1);
  rt->removeElement(7);  // out of range: nothing
  rt->removeElement(0);
  EXPECT_EQ(rt->getElementCount(), 5);
  EXPECT_EQ(rt->getScrollView()->getChildrenCount(), 5);
}

TEST_F(RichText, CaretPositionsAndTouchIndexes) {
  NSRichText* rt = make(100);
  EXPECT_EQ(rt->getCaretPosition(3), Vec2::ZERO);
  EXPECT_EQ(rt->getIndexAtTouch(touchAt(Vec2(110, 210))), -1);

  fill(rt, {Size(10, 20), Size(10, 20), Size(10, 20), Size(10, 20)});
  rt->formatText();
  EXPECT_EQ(rt->getCaretPosition(0), Vec2(0, 0));
  EXPECT_EQ(rt->getCaretPosition(2), Vec2(20, 0));
  EXPECT_EQ(rt->getCaretPosition(4), Vec2(40, 0));
  EXPECT_EQ(rt->getCaretPosition(9), Vec2(40, 0));
  EXPECT_EQ(rt->getCaretPosition(-1), Vec2(0, 0));

  // The rich text stands at (100, 200); the third character covers x
  // 120..130 on screen.
  EXPECT_EQ(rt->getIndexAtTouch(touchAt(Vec2(123, 210))), 2);
  EXPECT_EQ(rt->getIndexAtTouch(touchAt(Vec2(127, 210))), 3);
  EXPECT_EQ(rt->getIndexAtTouch(touchAt(Vec2(125, 210))), 2);  // the middle counts as the left half
  EXPECT_EQ(rt->getIndexAtTouch(touchAt(Vec2(123, 150))), 4);  // below every character
}

TEST_F(RichText, VisibleHeightIgnoresNonPositiveValues) {
  NSRichText* rt = make(100);
  EXPECT_EQ(rt->getVisibleHeight(), 100);
  rt->setVisibleHeight(0);
  rt->setVisibleHeight(-5);
  EXPECT_EQ(rt->getVisibleHeight(), 100);
  rt->setVisibleHeight(30);
  EXPECT_EQ(rt->getVisibleHeight(), 30);
}

TEST_F(RichText, EmptyRichTextKeepsItsLastSize) {
  NSRichText* rt = make(100);
  rt->setTextByCharacters("ab", "", 20, Color3B::WHITE);
  const Size before = rt->getContentSize();
  rt->removeAllElements();
  rt->formatText();
  EXPECT_EQ(rt->getContentSize(), before);
  EXPECT_EQ(rt->getScrollView()->getChildrenCount(), 0);
}

}  // namespace
