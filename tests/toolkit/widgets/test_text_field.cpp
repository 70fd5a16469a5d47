// The text field through the engine's input method: input modes, line
// feeds, maximum length, password display, caret placement by touch,
// deletion, placeholder, focus between fields and the caret blink.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "headless_stage.h"
#include "toolkit/widgets/NSRichText.h"
#include "toolkit/widgets/NSTextField.h"
#include "toolkit/widgets/UIControlGenerater.h"

USING_NS_CC;
using NSUI::NSRichElementText;
using NSUI::NSTextField;

namespace {

using Event = NSTextField::EventType;

class TextField : public ::testing::Test {
 protected:
  // A field of 300 x 30 at (100, 300)-(400, 330).
  NSTextField* make(const std::string& placeholder = "Name", Vec2 at = Vec2(100, 300)) {
    NSTextField* f = NSTextField::create(placeholder, Size(300, 30));
    f->setAnchorPoint(Vec2::ZERO);
    f->setPosition(at);
    stage.scene->addChild(f);
    f->setEventCallback([this](Ref* sender, Event e) { events.push_back(e); });
    return f;
  }
  void type(const std::string& s) { stage.view()->injectText(s); }
  void backspace() {
    stage.view()->injectKey(EventKeyboard::KeyCode::KEY_BACKSPACE, true);
    stage.view()->injectKey(EventKeyboard::KeyCode::KEY_BACKSPACE, false);
  }
  void tap(Vec2 p) {
    stage.view()->injectTouches(EventTouch::EventCode::BEGAN, {1}, {p});
    stage.view()->injectTouches(EventTouch::EventCode::ENDED, {1}, {p});
  }
  // What the labels show.
  static std::string shown(NSTextField* f) {
    std::string s;
    for (int i = 0; i < f->getElementCount(); ++i) s += dynamic_cast<Label*>(f->getElement(i)->node)->getString();
    return s;
  }
  // Screen x of the middle of character i.
  static float middleOf(NSTextField* f, int i) {
    Node* n = f->getElement(i)->node;
    return n->convertToWorldSpace(Vec2(n->getContentSize().width / 2, 0)).x;
  }

  HeadlessStage stage;
  std::vector<Event> events;
};

TEST_F(TextField, StartsWithItsPlaceholder) {
  NSTextField* f = make("Port");
  EXPECT_TRUE(f->isShowingPlaceholder());
  EXPECT_EQ(shown(f), "Port");
  EXPECT_EQ(f->getString(), "");
  EXPECT_EQ(f->getCharacterCount(), 0);
  auto* e = static_cast<NSRichElementText*>(f->getElement(0));
  EXPECT_EQ(e->color, f->_placeholderColor);
  EXPECT_EQ(e->fontSize, 25);
  EXPECT_EQ(f->getCaretImage(), "UIRes/cursorBlack.png");
  EXPECT_EQ(f->_inputMode, NSTextField::INPUT_ANY);
  NSTextField* blank = make("");
  EXPECT_EQ(blank->getPlaceHolder(), " ");
}

TEST_F(TextField, InputModesFilterEachPiece) {
  struct Case {
    int mode;
    std::vector<std::string> pieces;
    std::string text;
  };
  const std::vector<Case> cases = {
      {NSTextField::INPUT_SIGNED_INTEGER, {"-", "-", "12", "1a", "."}, "-12"},
      {NSTextField::INPUT_SIGNED_INTEGER, {"1", "-", "2"}, "12"},
      {NSTextField::INPUT_DIGITS, {"12", "1a", "-", ".", "3"}, "123"},
      {NSTextField::INPUT_SIGNED_DECIMAL, {".", "-", ".", "5", ".", "2"}, "-.52"},
      {NSTextField::INPUT_SIGNED_DECIMAL, {"1", ".", "5", ".", "-"}, "1.5"},
      {NSTextField::INPUT_DOTTED_DIGITS, {".", "1", ".", ".", "2", ".", "-", "3a"}, "1.2."},
      {NSTextField::INPUT_DOTTED_DIGITS, {"192", ".", "168"}, "192.168"},
      {NSTextField::INPUT_ANY, {"1a", "-", ".", " ", "\xe4\xb8\xad"}, "1a-. \xe4\xb8\xad"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " -> " << c.text);
    NSTextField* f = make();
    f->_inputMode = c.mode;
    ASSERT_TRUE(f->attachWithIME());
    for (const std::string& p : c.pieces) type(p);
    EXPECT_EQ(f->getString(), c.text);
    EXPECT_EQ(shown(f), c.text.empty() ? "Name" : c.text);
    f->removeFromParent();
  }
}

TEST_F(TextField, LineFeedCutsThePiece) {
  NSTextField* f = make();
  f->attachWithIME();
  stage.view()->injectKey(EventKeyboard::KeyCode::KEY_ENTER, true);
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(f->isShowingPlaceholder());
  type("first\nsecond");
  EXPECT_EQ(f->getString(), "first");
  EXPECT_EQ(events, std::vector<Event>{Event::INSERT_TEXT});
}

TEST_F(TextField, MaximumLengthCutsAPastedPieceAtACharacterBoundary) {
  struct Case {
    std::string before, piece, after;
  };
  const std::vector<Case> cases = {
      {"123456789", "abc", "123456789a"},
      {"123456789", "\xe4\xb8\xad\xe6\x96\x87\xe5\xad\x97", "123456789\xe4\xb8\xad"},
      {"12345678", "\xc3\xa9\xc3\xa9\xc3\xa9", "12345678\xc3\xa9\xc3\xa9"},
      {"1234567890", "x", "1234567890"},
      {"", "abcdefghijkl", "abcdefghij"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.piece);
    NSTextField* f = make();
    f->_maxLengthEnabled = true;
    f->_maxLength = 10;
    f->attachWithIME();
    if (!c.before.empty()) type(c.before);
    type(c.piece);
    EXPECT_EQ(f->getString(), c.after);
    EXPECT_EQ(shown(f), c.after);
    EXPECT_EQ(f->getCharacterCount(), 10);
    type("z");  // full: nothing more is accepted
    EXPECT_EQ(f->getString(), c.after);
    f->removeFromParent();
  }
}

TEST_F(TextField, PasswordShowsOneMaskPerCharacter) {
  NSTextField* f = make();
  f->_passwordMode = true;
  f->attachWithIME();
  type("s3\xc3\xa9");
  type("cret");
  EXPECT_EQ(f->getString(), "s3\xc3\xa9" "cret");
  EXPECT_EQ(shown(f), "*******");
  backspace();
  EXPECT_EQ(f->getString(), "s3\xc3\xa9" "cre");
  EXPECT_EQ(shown(f), "******");
}

TEST_F(TextField, TouchPlacesTheCaretBetweenMultiByteCharacters) {
  NSTextField* f = make();
  f->attachWithIME();
  type("\xe4\xb8\xad\xe6\x96\x87\xe5\xad\x97");  // three CJK characters
  ASSERT_EQ(f->getElementCount(), 3);
  // Right half of the first character: the caret goes after it.
  tap(Vec2(middleOf(f, 0) + 2, 310));
  EXPECT_EQ(f->getCaretIndex(), 1);
  EXPECT_EQ(f->getCaretPosition(), f->getElement(1)->node->getPosition());
  type("x");
  EXPECT_EQ(f->getString(), "\xe4\xb8\xad" "x\xe6\x96\x87\xe5\xad\x97");
  EXPECT_EQ(shown(f), "\xe4\xb8\xad" "x\xe6\x96\x87\xe5\xad\x97");
  EXPECT_EQ(f->getCaretIndex(), 2);
  // Left half of the third character (now index 2): the caret before it.
  tap(Vec2(middleOf(f, 2) - 2, 310));
  EXPECT_EQ(f->getCaretIndex(), 2);
  backspace();
  EXPECT_EQ(f->getString(), "\xe4\xb8\xad\xe6\x96\x87\xe5\xad\x97");
  EXPECT_EQ(f->getCaretIndex(), 1);
}

TEST_F(TextField, DeletionAtTheStartDoesNothingAndTheLastBringsThePlaceholder) {
  NSTextField* f = make();
  f->attachWithIME();
  backspace();  // placeholder on show
  EXPECT_TRUE(events.empty());
  type("ab");
  tap(Vec2(middleOf(f, 0) - 3, 310));
  EXPECT_EQ(f->getCaretIndex(), 0);
  backspace();
  EXPECT_EQ(f->getString(), "ab");
  EXPECT_EQ(events, std::vector<Event>{Event::INSERT_TEXT});
  tap(Vec2(390, 310));  // right of the text: the end
  EXPECT_EQ(f->getCaretIndex(), 2);
  backspace();
  backspace();
  EXPECT_EQ(f->getString(), "");
  EXPECT_TRUE(f->isShowingPlaceholder());
  EXPECT_EQ(shown(f), "Name");
  EXPECT_EQ(f->getCaretIndex(), 0);
  EXPECT_EQ(events, (std::vector<Event>{Event::INSERT_TEXT, Event::DELETE_BACKWARD, Event::DELETE_BACKWARD}));
  type("c");
  EXPECT_EQ(f->getString(), "c");
  EXPECT_EQ(shown(f), "c");
}

TEST_F(TextField, SetStringReplacesAndAnEmptyTextLeavesTheFieldBlank) {
  NSTextField* f = make();
  f->setString("abc");
  EXPECT_EQ(shown(f), "abc");
  EXPECT_FALSE(f->isShowingPlaceholder());
  EXPECT_EQ(f->getCaretIndex(), 3);
  EXPECT_TRUE(events.empty());  // only typing reports
  f->setString("");
  EXPECT_EQ(f->getElementCount(), 0);
  EXPECT_FALSE(f->isShowingPlaceholder());
  f->setPlaceHolder("Other");  // an empty field shows the new placeholder
  EXPECT_EQ(shown(f), "Other");
  f->setString("x");
  f->setPlaceHolder("Third");  // typed text stays
  EXPECT_EQ(shown(f), "x");
  EXPECT_EQ(f->getPlaceHolder(), "Third");
}

TEST_F(TextField, TouchInASecondFieldMovesTheFocus) {
  NSTextField* a = make("A", Vec2(100, 300));
  NSTextField* b = make("B", Vec2(100, 200));
  a->createFrame();
  b->createFrame();
  EXPECT_EQ(a->getLocalZOrder(), 10);
  EXPECT_EQ(a->getFrame()->getLocalZOrder(), 9);
  EXPECT_EQ(a->getFrame()->getPosition(), Vec2(98, 300));
  EXPECT_EQ(a->getFrame()->getContentSize(), Size(304, a->getContentSize().height + 10));

  tap(Vec2(150, 310));
  EXPECT_TRUE(a->isAttached());
  EXPECT_FALSE(b->isAttached());
  type("1");
  tap(Vec2(150, 210));
  EXPECT_FALSE(a->isAttached());
  EXPECT_TRUE(b->isAttached());
  type("2");
  EXPECT_EQ(a->getString(), "1");
  EXPECT_EQ(b->getString(), "2");
  // The frame keeps its geometry through the picture changes.
  EXPECT_EQ(a->getFrame()->getPosition(), Vec2(98, 300));
  EXPECT_EQ(b->getFrame()->getContentSize(), Size(304, b->getContentSize().height + 10));
  tap(Vec2(700, 50));  // outside both
  EXPECT_FALSE(b->isAttached());
  type("3");
  EXPECT_EQ(b->getString(), "2");
  // A field that is hidden takes no focus.
  a->setVisible(false);
  tap(Vec2(150, 310));
  EXPECT_FALSE(a->isAttached());
}

TEST_F(TextField, TouchRectangleMayBeLargerThanTheField) {
  NSTextField* f = make();
  f->_touchRect = Rect(0, 0, 500, 60);
  tap(Vec2(550, 350));
  EXPECT_TRUE(f->isAttached());
  tap(Vec2(601, 350));
  EXPECT_FALSE(f->isAttached());
}

TEST_F(TextField, CaretBlinksEveryHalfSecondWhileAttached) {
  NSTextField* f = make();
  f->_fontSize = 30;
  f->attachWithIME();
  auto caret = [&] { return dynamic_cast<Sprite*>(f->getScrollView()->getChildByTag(NSTextField::kCaretTag)); };
  stage.step(1, 0.25f);
  EXPECT_EQ(caret(), nullptr);
  stage.step(1, 0.25f);
  ASSERT_NE(caret(), nullptr);
  EXPECT_TRUE(caret()->isVisible());
  EXPECT_EQ(caret()->getPosition(), Vec2(2, 0));  // placeholder on show
  EXPECT_FLOAT_EQ(caret()->getScaleY(), 1.5f);
  EXPECT_EQ(caret()->getLocalZOrder(), 120);
  stage.step(2, 0.25f);
  EXPECT_FALSE(caret()->isVisible());
  type("ab");
  stage.step(2, 0.25f);
  EXPECT_TRUE(caret()->isVisible());
  EXPECT_EQ(caret()->getPosition(), f->NSRichText::getCaretPosition(2));
  f->detachWithIME();
  EXPECT_FALSE(caret()->isVisible());
  stage.step(8, 0.25f);
  EXPECT_FALSE(caret()->isVisible());
}

TEST_F(TextField, LeavingTheStageDetaches) {
  NSTextField* f = make();
  f->attachWithIME();
  f->retain();
  f->removeFromParent();
  EXPECT_FALSE(f->isAttached());
  type("x");
  EXPECT_EQ(f->getString(), "");
  f->release();
}

TEST_F(TextField, CreateTextFieldGivesAFormField) {
  struct Owner : NSUI::UIControlGenerater {} owner;
  NSTextField* f = owner.createTextField("Address", Vec2(10, 5), 22, Vec2(0, 0.5f));
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->getPosition(), Vec2(10, 5));
  EXPECT_EQ(f->getAnchorPoint(), Vec2(0, 0.5f));
  EXPECT_EQ(f->_fontSize, 22);
  EXPECT_EQ(f->_placeholderFontSize, 25);
  EXPECT_EQ(f->_touchRect.size, Size(150, 22));
  EXPECT_TRUE(f->isShowingPlaceholder());
  EXPECT_EQ(shown(f), "Address");
  stage.scene->addChild(f);
  f->attachWithIME();
  type("10");
  EXPECT_EQ(static_cast<NSRichElementText*>(f->getElement(0))->fontSize, 22);
}

TEST_F(TextField, LongTextScrollsAndKeepsTheCaretInView) {
  NSTextField* f = make();
  f->setContentSize(Size(60, 30));
  f->setVisibleHeight(30);
  f->attachWithIME();
  for (int i = 0; i < 20; ++i) type("w");
  EXPECT_EQ(f->getString().size(), 20u);
  EXPECT_EQ(f->getContentSize().height, 30);
  auto* inner = f->getScrollView()->getInnerContainer();
  EXPECT_GT(inner->getContentSize().height, 30);
  // The caret's line is inside the visible band.
  const float caretY = f->getCaretPosition().y + inner->getPositionY();
  EXPECT_GE(caretY, 0);
  EXPECT_LE(caretY, 30);
}

}  // namespace
