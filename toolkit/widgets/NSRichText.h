// Rich text: a text shown as a flow of elements, one label per UTF-8
// character, laid out left to right and wrapped at the widget's width,
// inside a vertical scroll container that scrolls once the text is taller
// than the visible height. It is the base of the text field, which needs a
// node per character for its caret, touch hit tests and password display.
//
// Line layout (formatText), with W the widget's width (the width last
// given to setContentSize) and each element sized by its label: a remaining
// width R = trunc(W) loses trunc(R - w) per element; an element that makes
// it negative starts a new line (R = trunc(W - w)). So an element that
// overflows by less than one unit stays on its line, and an element wider
// than W that comes first leaves an empty first line of height 0. Every
// label is then sized (its width, its line's height) and placed on its
// line's bottom, lines from the top of the total height T downwards. When
// T exceeds the visible height the widget is (W, visible height) and the
// inner container (W, T); otherwise all three are (W, T).
#pragma once

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/widgets/UIControlBase.h"
#include "toolkit/widgets/UIScrollViewBase.h"

namespace NSUI {

// One piece of a rich text.
class NSRichElement : public cocos2d::Ref {
 public:
  enum { TYPE_TEXT = 0 };

  // The label made for the element; owned by the scroll container, null
  // until the element is shown.
  cocos2d::Node* node = nullptr;
  int type = TYPE_TEXT;
  int tag = 0;
  cocos2d::Color3B color;
  uint8_t opacity = 255;

 protected:
  NSRichElement() = default;
};

class NSRichElementText : public NSRichElement {
 public:
  static NSRichElementText* create(int tag, const std::string& text, const std::string& fontName,
                                   float fontSize, const cocos2d::Color3B& color, uint8_t opacity);

  const std::string& getText() const { return text; }
  void setText(const std::string& value) { text = value; }
  const std::string& getFontName() const { return fontName; }
  float getFontSize() const { return fontSize; }

  std::string text;      // UTF-8
  std::string fontName;  // a font file, or a system font name (empty: the default)
  float fontSize = 0;

 protected:
  NSRichElementText() = default;
};

class NSRichText : public cocos2d::ui::Widget, public UIControlBase {
 public:
  static constexpr int kDefaultVisibleHeight = 100;

  static NSRichText* create();

  // Height beyond which the text scrolls; 0 or less is ignored.
  virtual void setVisibleHeight(int height);
  int getVisibleHeight() const { return _visibleHeight; }

  bool init() override;
  void cleanup() override;
  // The size is always the one given (and the one the layout computes).
  void ignoreContentAdaptWithSize(bool ignore) override {}

  // Inserts before index (clamped to 0 ... count) and shows it; a text
  // element of several characters is split into one element per
  // character. Callers lay out afterwards with formatText.
  void insertElement(NSRichElement* element, int index);
  void pushBackElement(NSRichElement* element);
  // Removes the element (and its label) and lays out again; an index out
  // of range changes nothing.
  void removeElement(int index);
  // Removes every element and everything in the inner container.
  void removeAllElements();
  // Makes the element's label and adds it to the scroll container.
  void createElementNode(NSRichElement* element);
  void formatText();
  // Replaces the content with one element per UTF-8 character, lays out
  // and scrolls so that the end of the text is in view.
  void setTextByCharacters(const std::string& text, const std::string& fontName, int fontSize,
                           const cocos2d::Color3B& color);

  // Where a caret before element index stands, in the inner container's
  // space ((0, 0) with no elements; index clamped to 0 ... count).
  cocos2d::Vec2 getCaretPosition(int index);
  // The caret index for a touch: i - 1 on the left half of element i
  // (1-based), i on its right half, the count when no element is hit, -1
  // with no elements.
  int getIndexAtTouch(cocos2d::Touch* touch);

  UIScrollViewBase* getScrollView() const { return _scrollView; }
  int getElementCount() const { return static_cast<int>(_elements.size()); }
  NSRichElement* getElement(int index) const { return _elements.at(index); }

  // The characters of a UTF-8 text, one string each (a stray byte counts
  // as a character of its own).
  static std::vector<std::string> splitCharacters(const std::string& text);

  // The elements in reading order (one reference each). Public for the
  // localisation, which relabels text fields.
  cocos2d::Vector<NSRichElement*> _elements;

 protected:
  NSRichText() = default;
  ~NSRichText() override;

  UIScrollViewBase* _scrollView = nullptr;  // a child
  int _visibleHeight = kDefaultVisibleHeight;
};

}  // namespace NSUI
