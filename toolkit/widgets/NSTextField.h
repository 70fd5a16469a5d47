// The single-line input field of the forms: a rich text that shows each
// typed character as its own label, so that the caret can stand between
// any two characters, a touch can move it and a password field can mask
// each character.
//
// It receives typed text through the engine's input method (IMEDelegate):
// it attaches when a touch lands inside its touch rectangle and detaches
// when one lands outside, when another field attaches, and when it leaves
// the stage. While empty it shows its placeholder in the placeholder's own
// font, size and colour; while attached its caret blinks (0.5 s on, 0.5 s
// off) and its frame, if it has one, shows the focused picture. Input is
// filtered by the input mode and the maximum length (a longer piece is cut
// to what fits, at a character boundary); each accepted insertion and
// deletion is reported to the event callback.
#pragma once

#include <functional>
#include <string>

#include "engine/cocos2d.h"
#include "toolkit/widgets/NSRichText.h"

namespace NSUI {

class NSTextField : public NSRichText, public cocos2d::IMEDelegate {
 public:
  enum class EventType { INSERT_TEXT = 0, DELETE_BACKWARD = 1 };
  enum InputMode {
    INPUT_SIGNED_INTEGER = 0,  // "-" first, then digits
    INPUT_DIGITS = 1,          // digits only
    INPUT_SIGNED_DECIMAL = 2,  // "-" first, one "." after a first character, digits
    INPUT_DOTTED_DIGITS = 3,   // digits and single dots, never leading (addresses)
    INPUT_ANY = 4,
  };
  using EventCallback = std::function<void(cocos2d::Ref* sender, EventType type)>;

  static constexpr int kCaretTag = 9824;
  static constexpr int kCaretZOrder = 120;
  static constexpr float kBlinkInterval = 0.5f;
  static constexpr float kCaretPictureHeight = 20.0f;
  static constexpr const char* kFrameNormal = "editnormal.png";
  static constexpr const char* kFrameFocus = "editfocus.png";

  // The caret picture copied into every field at construction
  // ("UIRes/cursorBlack.png" unless changed).
  static void setDefaultCaretImage(const std::string& path);
  static const std::string& getDefaultCaretImage();

  static NSTextField* create(const std::string& placeholder, const cocos2d::Size& size);
  bool initWithPlaceholder(const std::string& placeholder, const cocos2d::Size& size);

  // Inside (0, 0, content width, visible height), edges included; point
  // in world space.
  bool hitTest(const cocos2d::Vec2& worldPoint) const override;

  // Stores the placeholder (" " for an empty one) and shows it unless
  // typed characters are on show.
  void setPlaceHolder(const std::string& text);
  const std::string& getPlaceHolder() const { return _placeholder; }
  // Replaces the text; an empty text leaves the field blank (the
  // placeholder comes back once the user types and deletes).
  void setString(const std::string& text);
  const std::string& getString() const { return _text; }
  // Inserts at the caret; reports nothing.
  void insertString(const std::string& text);
  void setEventCallback(const EventCallback& callback) { _eventCallback = callback; }
  // The caret picture of this field (20 units high, stretched to the font size).
  void setCaretImage(const std::string& path) { _caretImage = path; }
  const std::string& getCaretImage() const { return _caretImage; }
  // A nine-slice frame beside the field in its parent (which must exist):
  // the field goes to z-order 10, the frame to 9.
  void createFrame();
  cocos2d::ui::Scale9Sprite* getFrame() const { return _frame; }

  int getCaretIndex() const { return _caretIndex; }
  const cocos2d::Vec2& getCaretPosition() const { return _caretPosition; }
  using NSRichText::getCaretPosition;
  // Characters on show (0 while the placeholder is shown).
  int getCharacterCount() const { return _showingPlaceholder ? 0 : getElementCount(); }
  bool isShowingPlaceholder() const { return _showingPlaceholder; }
  bool isAttached() const { return _attached; }

  void setZOrder(int z) override;
  void setLocalZOrder(int z) override;
  void onExit() override;
  bool onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) override;
  void interceptTouchEvent(TouchEventType event, cocos2d::ui::Widget* sender, cocos2d::Touch* touch) override;
  void setVisibleHeight(int height) override;

  bool attachWithIME() override;
  bool detachWithIME() override;

  // The caret blink, every 0.5 s while attached.
  void blinkCaret(float dt);

  // Set directly by the screens after creation.
  bool _maxLengthEnabled = false;
  int _maxLength = 0;
  bool _passwordMode = false;
  std::string _fontName;
  std::string _placeholderFontName;
  int _fontSize = 25;
  int _placeholderFontSize = 25;
  cocos2d::Color3B _textColor = cocos2d::Color3B::BLUE;
  cocos2d::Color3B _placeholderColor = cocos2d::Color3B::GRAY;
  cocos2d::Rect _touchRect;
  int _inputMode = INPUT_ANY;

  // Reached by the localisation when it relabels a field.
  std::string _placeholder = " ";
  bool _showingPlaceholder = false;

 protected:
  NSTextField();
  ~NSTextField() override;

  bool canAttachWithIME() override { return true; }
  bool canDetachWithIME() override { return true; }
  void didDetachWithIME() override;
  void insertText(const char* text, size_t len) override;
  void deleteBackward() override;
  const std::string& getContentText() override { return _text; }
  void keyboardWillShow(cocos2d::IMEKeyboardNotificationInfo& info) override {}
  void keyboardDidShow(cocos2d::IMEKeyboardNotificationInfo& info) override {}
  void keyboardWillHide(cocos2d::IMEKeyboardNotificationInfo& info) override {}
  void keyboardDidHide(cocos2d::IMEKeyboardNotificationInfo& info) override {}

  // Whether the input mode lets the piece in.
  bool acceptsPiece(const std::string& piece) const;

  cocos2d::ui::Scale9Sprite* _frame = nullptr;  // retained; a sibling of the field
  cocos2d::Vec2 _caretPosition;
  int _caretIndex = 0;
  std::string _passwordChar = "*";
  std::string _text;
  EventCallback _eventCallback;
  std::string _caretImage;

 private:
  cocos2d::Sprite* caretSprite() const;
  void hideCaret();
  // Picture and geometry of the frame.
  void showFrame(const char* picture);
  // Visual side of losing the input method: frame, blink, caret.
  void loseFocus();
  void handleTouch(cocos2d::Touch* touch);
  void showPlaceholder();
  // Keeps the top of the content in place after the content grew to h1.
  void keepTopAfterGrowth(float x, float y, float h0);

  bool _attached = false;
};

}  // namespace NSUI
