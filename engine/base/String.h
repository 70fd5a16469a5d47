// Reference-counted text, the value type of property-list strings held in
// Ref containers.
#pragma once

#include <string>

#include "engine/base/Ref.h"

NS_CC_BEGIN

class __String : public Ref, public Clonable {
 public:
  __String() = default;
  explicit __String(const char* s) : _string(s ? s : "") {}
  explicit __String(const std::string& s) : _string(s) {}

  static __String* create(const std::string& s);
  static __String* createWithFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

  const char* getCString() const { return _string.c_str(); }
  const std::string& getString() const { return _string; }
  void setString(const std::string& s) { _string = s; }
  // Leading number (atoi/atof rules; anything else gives 0).
  int intValue() const;
  unsigned int uintValue() const;
  float floatValue() const;
  double doubleValue() const;
  // false for "", "0" and "false", true otherwise.
  bool boolValue() const;
  int length() const { return static_cast<int>(_string.length()); }
  int compare(const char* s) const { return _string.compare(s ? s : ""); }
  bool isEqual(const Ref* other) const;
  void append(const std::string& s) { _string.append(s); }

  __String* clone() const override;

  std::string _string;
};


NS_CC_END
