#include "toolkit/widgets/NSRichText.h"

#include <algorithm>

USING_NS_CC;

namespace NSUI {

// ---------------------------------------------------------------- elements

NSRichElementText* NSRichElementText::create(int tag, const std::string& text, const std::string& fontName,
                                             float fontSize, const Color3B& color, uint8_t opacity) {
  auto* element = new (std::nothrow) NSRichElementText();
  if (!element) return nullptr;
  element->type = TYPE_TEXT;
  element->tag = tag;
  element->text = text;
  element->fontName = fontName;
  element->fontSize = fontSize;
  element->color = color;
  element->opacity = opacity;
  element->autorelease();
  return element;
}

// ---------------------------------------------------------------- rich text

std::vector<std::string> NSRichText::splitCharacters(const std::string& text) {
  std::vector<std::string> out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = 1;
    if ((c & 0xE0) == 0xC0) {
      n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      n = 3;
    } else if ((c & 0xF8) == 0xF0) {
      n = 4;
    }
    // A truncated sequence ends at the first byte that does not continue it.
    size_t k = 1;
    while (k < n && i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80) ++k;
    out.emplace_back(text, i, k);
    i += k;
  }
  return out;
}

NSRichText* NSRichText::create() {
  auto* widget = new (std::nothrow) NSRichText();
  if (widget && widget->init()) {
    widget->autorelease();
    return widget;
  }
  delete widget;
  return nullptr;
}

NSRichText::~NSRichText() { _elements.clear(); }

bool NSRichText::init() {
  if (!ui::Widget::init()) return false;
  _widget = this;
  _visibleHeight = kDefaultVisibleHeight;
  _scrollView = UIScrollViewBase::create();
  if (!_scrollView) return false;
  _scrollView->setLayoutType(0);
  _scrollView->setDirection(1);
  _scrollView->setAnchorPoint(Vec2::ZERO);
  _scrollView->setPosition(Vec2::ZERO);
  addChild(_scrollView);
  return true;
}

void NSRichText::cleanup() {
  ProtectedNode::cleanup();
  _elements.clear();
}

void NSRichText::setVisibleHeight(int height) {
  if (height > 0) _visibleHeight = height;
}

void NSRichText::insertElement(NSRichElement* element, int index) {
  if (!element) return;
  index = std::clamp(index, 0, getElementCount());
  auto* text = element->type == NSRichElement::TYPE_TEXT ? static_cast<NSRichElementText*>(element) : nullptr;
  std::vector<std::string> rest;
  if (text) {
    rest = splitCharacters(text->text);
    if (rest.size() >= 2) text->text = rest.front();
  }
  _elements.insert(index, element);
  createElementNode(element);
  // Each further character becomes an element of its own, right after.
  for (size_t k = 1; text && rest.size() >= 2 && k < rest.size(); ++k) {
    auto* next = NSRichElementText::create(getElementCount() + 1, rest[k], text->fontName, text->fontSize,
                                           text->color, text->opacity);
    _elements.insert(index + static_cast<int>(k), next);
    createElementNode(next);
  }
}

void NSRichText::pushBackElement(NSRichElement* element) { insertElement(element, getElementCount()); }

void NSRichText::removeElement(int index) {
  if (index < 0 || index >= getElementCount()) return;
  NSRichElement* element = _elements.at(index);
  if (element->node) {
    _scrollView->removeChild(element->node, true);
    element->node = nullptr;
  }
  _elements.erase(index);
  formatText();
}

void NSRichText::removeAllElements() {
  for (NSRichElement* e : _elements) e->node = nullptr;
  _elements.clear();
  if (_scrollView) _scrollView->removeAllChildrenWithCleanup(true);
}

void NSRichText::createElementNode(NSRichElement* element) {
  if (element->type != NSRichElement::TYPE_TEXT) return;
  auto* text = static_cast<NSRichElementText*>(element);
  Label* label = nullptr;
  if (!text->fontName.empty() && FileUtils::getInstance()->isFileExist(text->fontName)) {
    label = Label::createWithTTF(text->text, text->fontName, text->fontSize, Size::ZERO, TextHAlignment::LEFT,
                                 TextVAlignment::TOP);
  } else {
    label = Label::createWithSystemFont(text->text, text->fontName, text->fontSize, Size::ZERO,
                                        TextHAlignment::LEFT, TextVAlignment::TOP);
  }
  if (!label) return;
  label->setColor(text->color);
  label->setOpacity(text->opacity);
  label->setLocalZOrder(getLocalZOrder() + 1);
  element->node = label;
  _scrollView->addChild(label, 1);
}

namespace {

// One step of the line-breaking rule: true when the element starts a new
// line; remaining is updated.
inline bool breaksLine(int& remaining, float width, float lineWidth) {
  remaining = static_cast<int>(static_cast<float>(remaining) - width);
  if (remaining < 0) {
    remaining = static_cast<int>(lineWidth - width);
    return true;
  }
  return false;
}

}  // namespace

void NSRichText::formatText() {
  if (_elements.empty()) return;
  const float W = getContentSize().width;

  // First pass: line heights.
  std::vector<float> heights{0.0f};
  int remaining = static_cast<int>(W);
  for (NSRichElement* e : _elements) {
    const Size size = e->node ? e->node->getContentSize() : Size::ZERO;
    if (breaksLine(remaining, size.width, W)) {
      heights.push_back(size.height);
    } else {
      heights.back() = std::max(heights.back(), size.height);
    }
  }
  float total = 0;
  for (float h : heights) total += h;

  // Second pass: placement on each line's bottom, from the top down.
  size_t line = 0;
  float y = total - heights[0];
  float x = 0;
  remaining = static_cast<int>(W);
  for (NSRichElement* e : _elements) {
    Node* node = e->node;
    const Size size = node ? node->getContentSize() : Size::ZERO;
    const bool newLine = breaksLine(remaining, size.width, W);
    if (!node) continue;
    node->setAnchorPoint(Vec2::ZERO);
    if (newLine) {
      ++line;
      y -= heights[line];
      node->setPosition(Vec2(0, y));
      x = size.width;
    } else {
      node->setPosition(Vec2(x, y));
      x += size.width;
    }
    node->setContentSize(Size(size.width, heights[line]));
  }

  if (total > static_cast<float>(_visibleHeight)) {
    const Size visible(W, static_cast<float>(_visibleHeight));
    ui::Widget::setContentSize(visible);
    _scrollView->setContentSize(visible);
    _scrollView->setInnerContainerSize(Size(W, total));
  } else {
    ui::Widget::setContentSize(Size(W, total));
    _scrollView->setContentSize(Size(W, total));
    _scrollView->setInnerContainerSize(Size(W, total));
  }
}

void NSRichText::setTextByCharacters(const std::string& text, const std::string& fontName, int fontSize,
                                     const Color3B& color) {
  removeAllElements();
  for (const std::string& ch : splitCharacters(text)) {
    pushBackElement(NSRichElementText::create(getElementCount() + 1, ch, fontName, static_cast<float>(fontSize),
                                              color, 255));
  }
  formatText();
  _scrollView->setContentOffset(Vec2(_scrollView->getInnerContainer()->getPositionX(), 0));
}

Vec2 NSRichText::getCaretPosition(int index) {
  if (_elements.empty()) return Vec2::ZERO;
  index = std::clamp(index, 0, getElementCount());
  if (index < getElementCount()) {
    Node* node = _elements.at(index)->node;
    return node ? node->getPosition() : Vec2::ZERO;
  }
  Node* last = _elements.back()->node;
  if (!last) return Vec2::ZERO;
  return Vec2(last->getPositionX() + last->getContentSize().width, last->getPositionY());
}

int NSRichText::getIndexAtTouch(Touch* touch) {
  if (_elements.empty()) return -1;
  int i = 0;
  for (NSRichElement* e : _elements) {
    ++i;
    Node* node = e->node;
    if (!node) continue;
    const Vec2 p = node->convertToNodeSpace(touch->getLocation());
    const Size size = node->getContentSize();
    if (p.x >= 0 && p.x <= size.width && p.y >= 0 && p.y <= size.height) {
      return p.x > size.width / 2 ? i : i - 1;
    }
  }
  return getElementCount();
}

}  // namespace NSUI
