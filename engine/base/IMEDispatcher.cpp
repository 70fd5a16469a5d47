#include "engine/base/IMEDispatcher.h"

#include <algorithm>
#include <cstdint>

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

std::string IMEDispatcher::cleanTypedText(const char* text, size_t len) {
  std::string out;
  if (!text) return out;
  out.reserve(len);
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < len) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      if (c == '\n' || (c >= 0x20 && c != 0x7F)) out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    size_t n = 0;
    uint32_t cp = 0, min = 0;
    if ((c & 0xE0) == 0xC0) {
      n = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      n = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      n = 4, cp = c & 0x07, min = 0x10000;
    }
    size_t k = 1;
    for (; n > 0 && k < n && i + k < len && (p[i + k] & 0xC0) == 0x80; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
    if (n == 0 || k < n) {
      // A stray or truncated sequence: drop what was read of it.
      i += n == 0 ? 1 : k;
      continue;
    }
    const bool valid = cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    const bool control = cp >= 0x80 && cp < 0xA0;
    if (valid && !control) out.append(text + i, n);
    i += n;
  }
  return out;
}

void IMEDispatcher::dispatchInsertText(const char* text, size_t len) {
  if (!_delegateWithIme || !text || len == 0) return;
  const std::string clean = cleanTypedText(text, len);
  if (!clean.empty()) _delegateWithIme->insertText(clean.data(), clean.size());
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
