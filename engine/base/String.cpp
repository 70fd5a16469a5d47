#include "engine/base/String.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

NS_CC_BEGIN

__String* __String::create(const std::string& s) {
  auto* r = new __String(s);
  r->autorelease();
  return r;
}

__String* __String::createWithFormat(const char* format, ...) {
  std::string out;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    vsnprintf(out.data(), out.size(), format, copy);
    out.resize(static_cast<size_t>(n));
  }
  va_end(copy);
  return create(out);
}

int __String::intValue() const { return atoi(_string.c_str()); }
unsigned int __String::uintValue() const {
  return static_cast<unsigned int>(strtoul(_string.c_str(), nullptr, 10));
}
float __String::floatValue() const { return static_cast<float>(atof(_string.c_str())); }
double __String::doubleValue() const { return atof(_string.c_str()); }
bool __String::boolValue() const {
  return !(_string.empty() || _string == "0" || _string == "false");
}

bool __String::isEqual(const Ref* other) const {
  auto* s = dynamic_cast<const __String*>(other);
  return s && s->_string == _string;
}

__String* __String::clone() const { return new __String(_string); }

NS_CC_END
