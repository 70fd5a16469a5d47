#include "toolkit/widgets/NSTextField.h"

#include <algorithm>

USING_NS_CC;

namespace NSUI {

namespace {

std::string& defaultCaretImage() {
  static std::string path = "UIRes/cursorBlack.png";
  return path;
}

const Rect kFrameInsets(20, 20, 10, 10);

bool allDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void NSTextField::setDefaultCaretImage(const std::string& path) { defaultCaretImage() = path; }

const std::string& NSTextField::getDefaultCaretImage() { return defaultCaretImage(); }

NSTextField::NSTextField() : _caretImage(defaultCaretImage()) {}

NSTextField::~NSTextField() {
  CC_SAFE_RELEASE_NULL(_frame);
}

NSTextField* NSTextField::create(const std::string& placeholder, const Size& size) {
  auto* field = new (std::nothrow) NSTextField();
  if (field && field->initWithPlaceholder(placeholder, size)) {
    field->autorelease();
    if (!placeholder.empty()) field->setPlaceHolder(placeholder);
    return field;
  }
  delete field;
  return nullptr;
}

bool NSTextField::initWithPlaceholder(const std::string& placeholder, const Size& size) {
  if (!NSRichText::init()) return false;
  _placeholder = placeholder.empty() ? " " : placeholder;
  setContentSize(size);
  _touchRect = Rect(0, 0, size.width, size.height);
  setPlaceHolder(placeholder);
  _showingPlaceholder = true;
  setTouchEnabled(true);
  return true;
}

bool NSTextField::hitTest(const Vec2& worldPoint) const {
  const Vec2 p = convertToNodeSpace(worldPoint);
  return p.x >= 0 && p.x <= getContentSize().width && p.y >= 0 && p.y <= static_cast<float>(_visibleHeight);
}

// ---------------------------------------------------------------- content

void NSTextField::showPlaceholder() {
  setTextByCharacters(_placeholder, _placeholderFontName, _placeholderFontSize, _placeholderColor);
  _showingPlaceholder = true;
}

void NSTextField::setPlaceHolder(const std::string& text) {
  _placeholder = text.empty() ? " " : text;
  if (getElementCount() > 0 && !_showingPlaceholder) return;
  showPlaceholder();
}

void NSTextField::setString(const std::string& text) {
  _text.clear();
  _caretIndex = 0;
  removeAllElements();
  insertString(text);
}

void NSTextField::setVisibleHeight(int height) {
  if (height > 0) _visibleHeight = height;
  if (_showingPlaceholder) {
    setPlaceHolder(_placeholder);
  } else {
    setString(_text);
  }
}

Sprite* NSTextField::caretSprite() const {
  return _scrollView ? dynamic_cast<Sprite*>(_scrollView->getChildByTag(kCaretTag)) : nullptr;
}

void NSTextField::hideCaret() {
  if (Sprite* caret = caretSprite()) caret->setVisible(false);
}

void NSTextField::keepTopAfterGrowth(float x, float y, float h0) {
  ui::Layout* inner = _scrollView->getInnerContainer();
  const float h1 = inner->getContentSize().height;
  if (h1 > static_cast<float>(_visibleHeight)) inner->setPosition(Vec2(x, y - (h1 - h0)));
}

void NSTextField::insertString(const std::string& text) {
  const std::vector<std::string> chars = splitCharacters(text);
  const std::vector<std::string> current = splitCharacters(_text);
  const int split = std::clamp(_caretIndex, 0, static_cast<int>(current.size()));
  std::string head, tail;
  for (int i = 0; i < static_cast<int>(current.size()); ++i) (i < split ? head : tail) += current[i];

  hideCaret();
  auto insertAll = [&] {
    for (const std::string& ch : chars) {
      const std::string& shown = _passwordMode ? _passwordChar : ch;
      insertElement(NSRichElementText::create(getElementCount() + 1, shown, _fontName,
                                              static_cast<float>(_fontSize), _textColor, 255),
                    _caretIndex);
      ++_caretIndex;
    }
  };
  ui::Layout* inner = _scrollView->getInnerContainer();
  if (_showingPlaceholder) {
    removeAllElements();
    _showingPlaceholder = false;
    _caretIndex = 0;
    insertAll();
    formatText();
  } else {
    const Vec2 at = inner->getPosition();
    const float h0 = inner->getContentSize().height;
    insertAll();
    formatText();
    keepTopAfterGrowth(at.x, at.y, h0);
  }

  _caretPosition = NSRichText::getCaretPosition(_caretIndex);
  if (_caretPosition.y + inner->getPositionY() < 0) inner->setPosition(Vec2(inner->getPositionX(), -_caretPosition.y));
  _text = head + text + tail;
}

bool NSTextField::acceptsPiece(const std::string& piece) const {
  switch (_inputMode) {
    case INPUT_SIGNED_INTEGER:
      if (piece == "-") return _text.empty();
      return allDigits(piece);
    case INPUT_DIGITS:
      return allDigits(piece);
    case INPUT_SIGNED_DECIMAL:
      if (piece == "-") return _text.empty();
      if (piece == ".") return !_text.empty() && _text.find('.') == std::string::npos;
      return allDigits(piece);
    case INPUT_DOTTED_DIGITS:
      if (piece == ".") return !_text.empty() && _text.back() != '.';
      return allDigits(piece);
    default:
      return true;
  }
}

void NSTextField::insertText(const char* bytes, size_t len) {
  std::string piece(bytes ? bytes : "", bytes ? len : 0);
  const size_t lineFeed = piece.find('\n');
  if (lineFeed != std::string::npos) piece.erase(lineFeed);
  if (piece.empty()) return;
  const int count = getCharacterCount();
  if (_maxLengthEnabled && count >= _maxLength) return;
  if (!acceptsPiece(piece)) return;
  if (_maxLengthEnabled) {
    // A pasted piece is cut to what still fits, at a character boundary.
    std::vector<std::string> chars = splitCharacters(piece);
    const size_t room = static_cast<size_t>(_maxLength - count);
    if (chars.size() > room) {
      piece.clear();
      for (size_t i = 0; i < room; ++i) piece += chars[i];
    }
  }
  insertString(piece);
  if (_eventCallback) _eventCallback(this, EventType::INSERT_TEXT);
}

void NSTextField::deleteBackward() {
  const int count = getCharacterCount();
  if (_showingPlaceholder || count == 0 || _caretIndex == 0) return;
  if (_caretIndex > count) _caretIndex = count;

  hideCaret();
  ui::Layout* inner = _scrollView->getInnerContainer();
  const Vec2 at = inner->getPosition();
  const float h0 = inner->getContentSize().height;
  removeElement(_caretIndex - 1);
  std::vector<std::string> chars = splitCharacters(_text);
  if (_caretIndex - 1 < static_cast<int>(chars.size())) chars.erase(chars.begin() + (_caretIndex - 1));
  _text.clear();
  for (const std::string& ch : chars) _text += ch;
  --_caretIndex;
  keepTopAfterGrowth(at.x, at.y, h0);

  if (getElementCount() == 0) {
    showPlaceholder();
    _text.clear();
    _caretIndex = 0;
  }

  _caretPosition = NSRichText::getCaretPosition(_caretIndex);
  const float height = getContentSize().height;
  if (_caretPosition.y > height - inner->getPositionY() - static_cast<float>(_fontSize)) {
    inner->setPosition(Vec2(inner->getPositionX(), height - static_cast<float>(_fontSize) - _caretPosition.y + 1));
  }
  if (_eventCallback) _eventCallback(this, EventType::DELETE_BACKWARD);
}

// ---------------------------------------------------------------- frame and z-order

void NSTextField::createFrame() {
  Node* parent = getParent();
  if (!parent) return;
  if (_frame) {
    _frame->removeFromParent();
    CC_SAFE_RELEASE_NULL(_frame);
  }
  _frame = ui::Scale9Sprite::create(kFrameInsets, kFrameNormal);
  if (!_frame) return;
  _frame->retain();
  showFrame(nullptr);
  setZOrder(10);
  _frame->setLocalZOrder(getLocalZOrder() - 1);
  parent->addChild(_frame, getLocalZOrder() - 1);
}

void NSTextField::showFrame(const char* picture) {
  if (!_frame) return;
  if (picture) _frame->initWithFile(kFrameInsets, picture);
  const Size size = getContentSize();
  _frame->setPosition(getPosition() + Vec2(-2, 0));
  _frame->setContentSize(Size(size.width + 4, size.height + 10));
  _frame->setAnchorPoint(getAnchorPoint());
  _frame->setLocalZOrder(getLocalZOrder() - 1);
}

void NSTextField::setZOrder(int z) { setLocalZOrder(z); }

void NSTextField::setLocalZOrder(int z) {
  NSRichText::setLocalZOrder(z);
  if (_frame) _frame->setLocalZOrder(z - 1);
}

// ---------------------------------------------------------------- focus

bool NSTextField::attachWithIME() {
  showFrame(kFrameFocus);
  const bool attached = IMEDelegate::attachWithIME();
  if (attached) {
    _attached = true;
    if (auto* view = Director::getInstance()->getOpenGLView()) view->setIMEKeyboardState(true);
    schedule(CC_SCHEDULE_SELECTOR(NSTextField::blinkCaret), kBlinkInterval, CC_REPEAT_FOREVER, kBlinkInterval);
  }
  return attached;
}

bool NSTextField::detachWithIME() {
  showFrame(kFrameNormal);
  const bool detached = IMEDelegate::detachWithIME();
  if (detached) {
    if (auto* director = Director::getInstanceIfExists()) {
      if (auto* view = director->getOpenGLView()) view->setIMEKeyboardState(false);
    }
  }
  loseFocus();
  return detached;
}

void NSTextField::didDetachWithIME() {
  // Another field took the input method (its touch may never have reached
  // this one).
  showFrame(kFrameNormal);
  loseFocus();
}

void NSTextField::loseFocus() {
  _attached = false;
  unschedule(CC_SCHEDULE_SELECTOR(NSTextField::blinkCaret));
  hideCaret();
}

void NSTextField::onExit() {
  detachWithIME();
  NSRichText::onExit();
}

void NSTextField::blinkCaret(float dt) {
  Sprite* caret = caretSprite();
  if (!caret) {
    if (!_caretImage.empty()) caret = Sprite::create(_caretImage);
    if (!caret) caret = Sprite::create();
    caret->setVisible(false);
    caret->setAnchorPoint(Vec2::ZERO);
    caret->setScaleX(1.0f);
    _scrollView->addChild(caret, kCaretZOrder, kCaretTag);
  }
  caret->setScaleY(static_cast<float>(_fontSize) / kCaretPictureHeight);
  if (caret->isVisible()) {
    caret->setVisible(false);
    return;
  }
  caret->setPosition(_showingPlaceholder ? Vec2(2, 0) : _caretPosition);
  caret->setVisible(true);
}

// ---------------------------------------------------------------- touches

void NSTextField::handleTouch(Touch* touch) {
  const Vec2 p = convertToNodeSpace(touch->getLocation());
  // A hidden field, or one scrolled out of a clipping parent's view, does
  // not take the input method.
  const bool inside = p.x > _touchRect.getMinX() && p.x < _touchRect.getMaxX() && p.y > _touchRect.getMinY() &&
                      p.y < _touchRect.getMaxY() && isAncestorsVisible() &&
                      isClippingParentContainsPoint(touch->getLocation());
  _hitted = inside;
  if (inside) {
    attachWithIME();
    const int index = getIndexAtTouch(touch);
    _caretIndex = index < 0 ? 0 : index;
    _caretPosition = NSRichText::getCaretPosition(_caretIndex);
    hideCaret();
  } else {
    detachWithIME();
  }
}

bool NSTextField::onTouchBegan(Touch* touch, Event* event) {
  handleTouch(touch);
  return false;
}

void NSTextField::interceptTouchEvent(TouchEventType event, ui::Widget* sender, Touch* touch) {
  if (event == TouchEventType::BEGAN && touch) handleTouch(touch);
}

}  // namespace NSUI
