// Text input: the attached IME delegate (a text field) receives typed text
// and Backspace. The view calls the dispatch functions; attaching opens the
// view's text input. Text reaching dispatchInsertText is cleaned first:
// invalid UTF-8 sequences and control characters other than "\n" are
// dropped (a pasted "a\r\nb" arrives as "a\nb"); nothing left, no call.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/base/ccMacros.h"
#include "engine/math/Geometry.h"

NS_CC_BEGIN

// Where an on-screen keyboard appears; desktops have none, so the keyboard
// notifications below are never sent here.
struct IMEKeyboardNotificationInfo {
  Rect begin;
  Rect end;
  float duration = 0;
};

class IMEDelegate {
 public:
  virtual ~IMEDelegate();
  // Becomes the delegate that receives text (when canAttachWithIME agrees).
  virtual bool attachWithIME();
  virtual bool detachWithIME();

 protected:
  friend class IMEDispatcher;
  IMEDelegate();
  virtual bool canAttachWithIME() { return false; }
  virtual void didAttachWithIME() {}
  virtual bool canDetachWithIME() { return false; }
  virtual void didDetachWithIME() {}
  virtual void insertText(const char* text, size_t len) { (void)text; (void)len; }
  virtual void deleteBackward() {}
  virtual const std::string& getContentText();
  virtual void keyboardWillShow(IMEKeyboardNotificationInfo& info) { (void)info; }
  virtual void keyboardDidShow(IMEKeyboardNotificationInfo& info) { (void)info; }
  virtual void keyboardWillHide(IMEKeyboardNotificationInfo& info) { (void)info; }
  virtual void keyboardDidHide(IMEKeyboardNotificationInfo& info) { (void)info; }
};

class IMEDispatcher {
 public:
  static IMEDispatcher* sharedDispatcher();
  // The cleaning dispatchInsertText applies.
  static std::string cleanTypedText(const char* text, size_t len);

  void dispatchInsertText(const char* text, size_t len);
  void dispatchDeleteBackward();
  const std::string& getContentText();
  bool isAnyDelegateAttachedWithIME() const { return _delegateWithIme != nullptr; }

 private:
  friend class IMEDelegate;
  IMEDispatcher() = default;
  void addDelegate(IMEDelegate* delegate);
  void removeDelegate(IMEDelegate* delegate);
  bool attachDelegateWithIME(IMEDelegate* delegate);
  bool detachDelegateWithIME(IMEDelegate* delegate);

  std::vector<IMEDelegate*> _delegates;
  IMEDelegate* _delegateWithIme = nullptr;
};

NS_CC_END
