// A tagged value: the leaves and containers of property lists and settings.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class Value;

// Sorted by key, so iteration is deterministic.
typedef std::map<std::string, Value> ValueMap;
typedef std::vector<Value> ValueVector;
typedef std::unordered_map<int, Value> ValueMapIntKey;

// Conversions between kinds:
//  - asString(): integers as "%d", reals as the shortest text that reads
//    back to the same number ("0.1", "1e+20", "3"), booleans as
//    "true"/"false". Callers read numbers back with atoi/atof.
//  - asInt()/asFloat()/asDouble() of a string parse its leading number
//    (atoi/atof rules: anything else gives 0); reals are truncated toward
//    zero and saturate at the int range.
//  - asBool() of a string is false for "", "0" and "false", true otherwise;
//    of a number, whether it is non-zero.
//  - asValueMap()/asValueVector() of another kind give an empty container;
//    the non-const forms first turn the value into that empty container.
class Value {
 public:
  enum class Type { NONE = 0, INTEGER, FLOAT, DOUBLE, BOOLEAN, STRING, VECTOR, MAP };

  static const Value Null;

  Value();
  explicit Value(unsigned char v);
  explicit Value(int v);
  explicit Value(unsigned int v);
  explicit Value(float v);
  explicit Value(double v);
  explicit Value(bool v);
  explicit Value(const char* v);
  explicit Value(const std::string& v);
  explicit Value(std::string&& v);
  explicit Value(const ValueVector& v);
  explicit Value(ValueVector&& v);
  explicit Value(const ValueMap& v);
  explicit Value(ValueMap&& v);

  Value(const Value& other);
  Value(Value&& other) noexcept;
  ~Value();

  Value& operator=(const Value& other);
  Value& operator=(Value&& other) noexcept;
  Value& operator=(int v);
  Value& operator=(unsigned int v);
  Value& operator=(float v);
  Value& operator=(double v);
  Value& operator=(bool v);
  Value& operator=(const char* v);
  Value& operator=(const std::string& v);
  Value& operator=(const ValueVector& v);
  Value& operator=(const ValueMap& v);

  bool operator==(const Value& other) const;
  bool operator!=(const Value& other) const { return !(*this == other); }

  unsigned char asByte() const;
  int asInt() const;
  unsigned int asUnsignedInt() const;
  float asFloat() const;
  double asDouble() const;
  bool asBool() const;
  std::string asString() const;

  ValueVector& asValueVector();
  const ValueVector& asValueVector() const;
  ValueMap& asValueMap();
  const ValueMap& asValueMap() const;

  bool isNull() const { return _type == Type::NONE; }
  Type getType() const { return _type; }
  std::string getDescription() const;

  void clear();

 private:
  void reset(Type type);

  Type _type = Type::NONE;
  union {
    int intVal;
    float floatVal;
    double doubleVal;
    bool boolVal;
  } _field{};
  std::string _string;
  std::unique_ptr<ValueVector> _vector;
  std::unique_ptr<ValueMap> _map;
};

NS_CC_END
