#include "engine/base/Value.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>

NS_CC_BEGIN

const Value Value::Null;

namespace {
const ValueVector kEmptyVector;
const ValueMap kEmptyMap;

// Truncates toward zero, saturating at the int range (NaN gives 0).
int toInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483648.0) return INT_MIN;
  return static_cast<int>(v);
}

template <class F>
std::string shortestText(F v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

void describe(const Value& v, int depth, std::ostringstream& out) {
  std::string pad(static_cast<size_t>(depth) * 2, ' ');
  switch (v.getType()) {
    case Value::Type::VECTOR:
      out << "[\n";
      for (const auto& e : v.asValueVector()) {
        out << pad << "  ";
        describe(e, depth + 1, out);
        out << "\n";
      }
      out << pad << "]";
      break;
    case Value::Type::MAP:
      out << "{\n";
      for (const auto& [k, e] : v.asValueMap()) {
        out << pad << "  " << k << ": ";
        describe(e, depth + 1, out);
        out << "\n";
      }
      out << pad << "}";
      break;
    default:
      out << v.asString();
  }
}
}  // namespace

Value::Value() = default;
Value::Value(unsigned char v) : _type(Type::INTEGER) { _field.intVal = v; }
Value::Value(int v) : _type(Type::INTEGER) { _field.intVal = v; }
Value::Value(unsigned int v) : _type(Type::INTEGER) { _field.intVal = static_cast<int>(v); }
Value::Value(float v) : _type(Type::FLOAT) { _field.floatVal = v; }
Value::Value(double v) : _type(Type::DOUBLE) { _field.doubleVal = v; }
Value::Value(bool v) : _type(Type::BOOLEAN) { _field.boolVal = v; }
Value::Value(const char* v) : _type(Type::STRING), _string(v ? v : "") {}
Value::Value(const std::string& v) : _type(Type::STRING), _string(v) {}
Value::Value(std::string&& v) : _type(Type::STRING), _string(std::move(v)) {}
Value::Value(const ValueVector& v) : _type(Type::VECTOR), _vector(new ValueVector(v)) {}
Value::Value(ValueVector&& v) : _type(Type::VECTOR), _vector(new ValueVector(std::move(v))) {}
Value::Value(const ValueMap& v) : _type(Type::MAP), _map(new ValueMap(v)) {}
Value::Value(ValueMap&& v) : _type(Type::MAP), _map(new ValueMap(std::move(v))) {}

Value::Value(const Value& other) { *this = other; }
Value::Value(Value&& other) noexcept { *this = std::move(other); }
Value::~Value() = default;

void Value::reset(Type type) {
  _type = type;
  _field = {};
  _string.clear();
  _vector.reset();
  _map.reset();
}

void Value::clear() { reset(Type::NONE); }

Value& Value::operator=(const Value& other) {
  if (this == &other) return *this;
  // Copy first: other may live inside one of our own containers.
  Value copy;
  copy._type = other._type;
  copy._field = other._field;
  copy._string = other._string;
  if (other._vector) copy._vector.reset(new ValueVector(*other._vector));
  if (other._map) copy._map.reset(new ValueMap(*other._map));
  return *this = std::move(copy);
}

Value& Value::operator=(Value&& other) noexcept {
  if (this == &other) return *this;
  Type t = other._type;
  auto f = other._field;
  std::string s = std::move(other._string);
  auto vec = std::move(other._vector);
  auto map = std::move(other._map);
  other.reset(Type::NONE);
  _type = t;
  _field = f;
  _string = std::move(s);
  _vector = std::move(vec);
  _map = std::move(map);
  return *this;
}

Value& Value::operator=(int v) { return *this = Value(v); }
Value& Value::operator=(unsigned int v) { return *this = Value(v); }
Value& Value::operator=(float v) { return *this = Value(v); }
Value& Value::operator=(double v) { return *this = Value(v); }
Value& Value::operator=(bool v) { return *this = Value(v); }
Value& Value::operator=(const char* v) { return *this = Value(v); }
Value& Value::operator=(const std::string& v) { return *this = Value(v); }
Value& Value::operator=(const ValueVector& v) { return *this = Value(v); }
Value& Value::operator=(const ValueMap& v) { return *this = Value(v); }

bool Value::operator==(const Value& other) const {
  if (_type != other._type) return false;
  switch (_type) {
    case Type::NONE: return true;
    case Type::INTEGER: return _field.intVal == other._field.intVal;
    case Type::FLOAT: return _field.floatVal == other._field.floatVal;
    case Type::DOUBLE: return _field.doubleVal == other._field.doubleVal;
    case Type::BOOLEAN: return _field.boolVal == other._field.boolVal;
    case Type::STRING: return _string == other._string;
    case Type::VECTOR: return *_vector == *other._vector;
    case Type::MAP: return *_map == *other._map;
  }
  return false;
}

unsigned char Value::asByte() const { return static_cast<unsigned char>(asInt()); }

int Value::asInt() const {
  switch (_type) {
    case Type::INTEGER: return _field.intVal;
    case Type::FLOAT: return toInt(_field.floatVal);
    case Type::DOUBLE: return toInt(_field.doubleVal);
    case Type::BOOLEAN: return _field.boolVal ? 1 : 0;
    case Type::STRING: return atoi(_string.c_str());
    default: return 0;
  }
}

unsigned int Value::asUnsignedInt() const {
  if (_type == Type::STRING) return static_cast<unsigned int>(strtoul(_string.c_str(), nullptr, 10));
  return static_cast<unsigned int>(asInt());
}

float Value::asFloat() const {
  switch (_type) {
    case Type::INTEGER: return static_cast<float>(_field.intVal);
    case Type::FLOAT: return _field.floatVal;
    case Type::DOUBLE: return static_cast<float>(_field.doubleVal);
    case Type::BOOLEAN: return _field.boolVal ? 1.0f : 0.0f;
    case Type::STRING: return static_cast<float>(atof(_string.c_str()));
    default: return 0.0f;
  }
}

double Value::asDouble() const {
  switch (_type) {
    case Type::INTEGER: return _field.intVal;
    case Type::FLOAT: return _field.floatVal;
    case Type::DOUBLE: return _field.doubleVal;
    case Type::BOOLEAN: return _field.boolVal ? 1.0 : 0.0;
    case Type::STRING: return atof(_string.c_str());
    default: return 0.0;
  }
}

bool Value::asBool() const {
  switch (_type) {
    case Type::INTEGER: return _field.intVal != 0;
    case Type::FLOAT: return _field.floatVal != 0.0f;
    case Type::DOUBLE: return _field.doubleVal != 0.0;
    case Type::BOOLEAN: return _field.boolVal;
    case Type::STRING: return !(_string.empty() || _string == "0" || _string == "false");
    default: return false;
  }
}

std::string Value::asString() const {
  switch (_type) {
    case Type::INTEGER: return std::to_string(_field.intVal);
    case Type::FLOAT: return shortestText(_field.floatVal);
    case Type::DOUBLE: return shortestText(_field.doubleVal);
    case Type::BOOLEAN: return _field.boolVal ? "true" : "false";
    case Type::STRING: return _string;
    default: return std::string();
  }
}

ValueVector& Value::asValueVector() {
  if (_type != Type::VECTOR) *this = Value(ValueVector());
  return *_vector;
}
const ValueVector& Value::asValueVector() const {
  return _type == Type::VECTOR ? *_vector : kEmptyVector;
}
ValueMap& Value::asValueMap() {
  if (_type != Type::MAP) *this = Value(ValueMap());
  return *_map;
}
const ValueMap& Value::asValueMap() const { return _type == Type::MAP ? *_map : kEmptyMap; }

std::string Value::getDescription() const {
  std::ostringstream out;
  describe(*this, 0, out);
  return out.str();
}

NS_CC_END
