// Vector, Map, Value, __String, __Array and Data.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "engine/cocos2d.h"

USING_NS_CC;

namespace {
struct Item : public Ref {
  explicit Item(int v) : value(v) {}
  int value;
};
}  // namespace

TEST(Vector, RetainsOnInsertReleasesOnEraseAndClear) {
  auto* a = new Item(1);
  auto* b = new Item(2);
  {
    Vector<Item*> v;
    v.pushBack(a);
    v.pushBack(b);
    v.insert(0, b);
    EXPECT_EQ(a->getReferenceCount(), 2u);
    EXPECT_EQ(b->getReferenceCount(), 3u);
    EXPECT_EQ(v.getIndex(a), 1);
    EXPECT_EQ(v.getIndex(b), 0);
    v.eraseObject(b);  // first occurrence only
    EXPECT_EQ(v.size(), 2);
    EXPECT_EQ(b->getReferenceCount(), 2u);
    v.pushBack(b);
    v.eraseObject(b, true);
    EXPECT_EQ(b->getReferenceCount(), 1u);
    EXPECT_FALSE(v.contains(b));
    {
      Vector<Item*> copy(v);  // a copy retains every element
      EXPECT_EQ(a->getReferenceCount(), 3u);
    }
    EXPECT_EQ(a->getReferenceCount(), 2u);
    v.erase(0);
    EXPECT_EQ(a->getReferenceCount(), 1u);
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(v.getIndex(a), CC_INVALID_INDEX);
  }
  a->release();
  b->release();
  PoolManager::getInstance()->drainCurrentThread();
}

TEST(Vector, SortingKeepsCounts) {
  Vector<Item*> v;
  for (int x : {5, 3, 9, 1}) {
    auto* it = new Item(x);
    v.pushBack(it);
    it->release();
  }
  std::sort(v.begin(), v.end(), [](Item* l, Item* r) { return l->value < r->value; });
  std::vector<int> order;
  for (auto* it : v) {
    order.push_back(it->value);
    EXPECT_EQ(it->getReferenceCount(), 1u);
  }
  EXPECT_EQ(order, (std::vector<int>{1, 3, 5, 9}));
}

TEST(Map, RetainsValuesAndReleasesReplaced) {
  auto* a = new Item(1);
  auto* b = new Item(2);
  Map<std::string, Item*> m;
  m.insert("k", a);
  EXPECT_EQ(a->getReferenceCount(), 2u);
  m.insert("k", b);  // replaces and releases a
  EXPECT_EQ(a->getReferenceCount(), 1u);
  EXPECT_EQ(m.at("k"), b);
  EXPECT_EQ(m.at("missing"), nullptr);
  EXPECT_EQ(m.erase("k"), 1u);
  EXPECT_EQ(b->getReferenceCount(), 1u);
  a->release();
  b->release();
}

TEST(Value, ConversionsTable) {
  struct Case {
    Value v;
    Value::Type type;
    std::string str;
    int i;
    double d;
    bool b;
  };
  const Case cases[] = {
      {Value(42), Value::Type::INTEGER, "42", 42, 42.0, true},
      {Value(-7), Value::Type::INTEGER, "-7", -7, -7.0, true},
      {Value(0.1), Value::Type::DOUBLE, "0.1", 0, 0.1, true},
      {Value(2.5f), Value::Type::FLOAT, "2.5", 2, 2.5, true},
      {Value(1e20), Value::Type::DOUBLE, "1e+20", INT_MAX, 1e20, true},  // saturates
      {Value(3.0), Value::Type::DOUBLE, "3", 3, 3.0, true},
      {Value(true), Value::Type::BOOLEAN, "true", 1, 1.0, true},
      {Value(false), Value::Type::BOOLEAN, "false", 0, 0.0, false},
      {Value("12abc"), Value::Type::STRING, "12abc", 12, 12.0, true},
      {Value("0"), Value::Type::STRING, "0", 0, 0.0, false},
      {Value("false"), Value::Type::STRING, "false", 0, 0.0, false},
      {Value(), Value::Type::NONE, "", 0, 0.0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.str);
    EXPECT_EQ(c.v.getType(), c.type);
    EXPECT_EQ(c.v.asString(), c.str);
    EXPECT_EQ(c.v.asInt(), c.i);
    EXPECT_DOUBLE_EQ(c.v.asDouble(), c.d);
    EXPECT_EQ(c.v.asBool(), c.b);
    // Reals written by asString read back exactly with atof.
    if (c.type == Value::Type::DOUBLE) {
      EXPECT_EQ(atof(c.v.asString().c_str()), c.d);
    }
  }
}

TEST(Value, NestedContainersCopyDeeplyAndSelfAssign) {
  ValueMap inner{{"x", Value(1)}};
  ValueVector list{Value(inner), Value("s")};
  Value root(ValueMap{{"list", Value(list)}});
  Value copy = root;
  copy.asValueMap()["list"].asValueVector()[1] = Value("changed");
  EXPECT_EQ(root.asValueMap().at("list").asValueVector()[1].asString(), "s");
  // Assigning a child into its own parent must not read freed memory.
  root = root.asValueMap().at("list");
  EXPECT_EQ(root.getType(), Value::Type::VECTOR);
  EXPECT_EQ(root.asValueVector()[0].asValueMap().at("x").asInt(), 1);
  // Wrong kinds give empty containers.
  const Value num(5);
  EXPECT_TRUE(num.asValueMap().empty());
  EXPECT_TRUE(num.asValueVector().empty());
}

TEST(StringAndArray, DeepCloneThroughClonable) {
  auto* arr = __Array::create();
  arr->addObject(__String::create("255"));
  auto* nested = __Array::create();
  nested->addObject(__String::create("x"));
  arr->addObject(nested);
  EXPECT_EQ(arr->count(), 2);
  EXPECT_EQ(static_cast<__String*>(arr->getObjectAtIndex(0))->intValue(), 255);
  EXPECT_EQ(arr->getObjectAtIndex(5), nullptr);

  __Array* copy = arr->clone();
  ASSERT_EQ(copy->count(), 2);
  EXPECT_NE(copy->getObjectAtIndex(0), arr->getObjectAtIndex(0));
  auto* copiedNested = dynamic_cast<__Array*>(copy->getObjectAtIndex(1));
  ASSERT_NE(copiedNested, nullptr);
  EXPECT_NE(copiedNested, nested);
  EXPECT_STREQ(static_cast<__String*>(copiedNested->getObjectAtIndex(0))->getCString(), "x");
  EXPECT_EQ(copy->getReferenceCount(), 1u);
  Clonable* viaCopy = copy->copy();
  EXPECT_NE(viaCopy, copy);
  dynamic_cast<Ref*>(viaCopy)->release();
  copy->release();
  EXPECT_FLOAT_EQ(__String::create("2.5e1")->floatValue(), 25.0f);
  PoolManager::getInstance()->drainCurrentThread();
}

TEST(Data, CopyFastSetAndNull) {
  Data d;
  EXPECT_TRUE(d.isNull());
  const unsigned char bytes[] = {1, 2, 3};
  d.copy(bytes, 3);
  EXPECT_FALSE(d.isNull());
  Data e = d;
  EXPECT_NE(e.getBytes(), d.getBytes());
  EXPECT_EQ(e.getSize(), 3);
  EXPECT_EQ(e.getBytes()[2], 3);
  auto* raw = static_cast<unsigned char*>(malloc(2));
  raw[0] = 9;
  e.fastSet(raw, 2);
  EXPECT_EQ(e.getBytes(), raw);
  Data moved = std::move(e);
  EXPECT_TRUE(e.isNull());
  EXPECT_EQ(moved.getBytes()[0], 9);
}
