#include "engine/base/IMEDispatcher.h"

#include <algorithm>

#include "engine/base/Director.h"
#include "engine/platform/GLView.h"

NS_CC_BEGIN

namespace {
void setViewTextInput(bool open) {
  if (Director* d = Director::getInstanceIfExists())
    if (GLView* v = d->getOpenGLView()) v->setIMEKeyboardState(open);
}
}  // namespace

IMEDelegate::IMEDelegate() { IMEDispatcher::sharedDispatcher()->addDelegate(this); }

IMEDelegate::~IMEDelegate() { IMEDispatcher::sharedDispatcher()->removeDelegate(this); }

bool IMEDelegate::attachWithIME() {
  if (!IMEDispatcher::sharedDispatcher()->attachDelegateWithIME(this)) return false;
  setViewTextInput(true);
  return true;
}

bool IMEDelegate::detachWithIME() {
  if (!IMEDispatcher::sharedDispatcher()->detachDelegateWithIME(this)) return false;
  setViewTextInput(false);
  return true;
}

const std::string& IMEDelegate::getContentText() {
  static const std::string empty;
  return empty;
}

IMEDispatcher* IMEDispatcher::sharedDispatcher() {
  static IMEDispatcher* instance = new IMEDispatcher;
  return instance;
}

void IMEDispatcher::addDelegate(IMEDelegate* delegate) {
  if (std::find(_delegates.begin(), _delegates.end(), delegate) == _delegates.end()) _delegates.push_back(delegate);
}

void IMEDispatcher::removeDelegate(IMEDelegate* delegate) {
  _delegates.erase(std::remove(_delegates.begin(), _delegates.end(), delegate), _delegates.end());
  if (_delegateWithIme == delegate) {
    _delegateWithIme = nullptr;
    setViewTextInput(false);
  }
}

bool IMEDispatcher::attachDelegateWithIME(IMEDelegate* delegate) {
  if (!delegate) return false;
  if (_delegateWithIme == delegate) return true;
  if (_delegateWithIme) {
    if (!_delegateWithIme->canDetachWithIME() || !delegate->canAttachWithIME()) return false;
    IMEDelegate* old = _delegateWithIme;
    _delegateWithIme = nullptr;
    old->didDetachWithIME();
  } else if (!delegate->canAttachWithIME()) {
    return false;
  }
  _delegateWithIme = delegate;
  delegate->didAttachWithIME();
  return true;
}

bool IMEDispatcher::detachDelegateWithIME(IMEDelegate* delegate) {
  if (!delegate || _delegateWithIme != delegate) return false;
  if (!delegate->canDetachWithIME()) return false;
  _delegateWithIme = nullptr;
  delegate->didDetachWithIME();
  return true;
}

void IMEDispatcher::dispatchInsertText(const char* text, size_t len) {
  if (_delegateWithIme && text && len > 0) _delegateWithIme->insertText(text, len);
}

void IMEDispatcher::dispatchDeleteBackward() {
  if (_delegateWithIme) _delegateWithIme->deleteBackward();
}

const std::string& IMEDispatcher::getContentText() {
  if (_delegateWithIme) return _delegateWithIme->getContentText();
  static const std::string empty;
  return empty;
}

NS_CC_END
