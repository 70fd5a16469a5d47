// Text input: the attached IME delegate (a text field) receives typed text
// and Backspace. The view calls the dispatch functions; attaching opens the
// view's text input.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

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
};

class IMEDispatcher {
 public:
  static IMEDispatcher* sharedDispatcher();

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
