#include "engine/base/Array.h"

NS_CC_BEGIN

__Array* __Array::create() {
  auto* a = new __Array;
  a->autorelease();
  return a;
}

__Array* __Array::createWithCapacity(ssize_t capacity) {
  auto* a = create();
  a->initWithCapacity(capacity);
  return a;
}

bool __Array::initWithCapacity(ssize_t capacity) {
  data.reserve(capacity);
  return true;
}

Ref* __Array::getObjectAtIndex(ssize_t index) const {
  if (index < 0 || index >= data.size()) return nullptr;
  return data.at(index);
}

void __Array::addObject(Ref* object) {
  if (object) data.pushBack(object);
}

void __Array::insertObject(Ref* object, ssize_t index) {
  if (object && index >= 0 && index <= data.size()) data.insert(index, object);
}

void __Array::removeObjectAtIndex(ssize_t index) {
  if (index >= 0 && index < data.size()) data.erase(index);
}

void __Array::removeObject(Ref* object) { data.eraseObject(object); }

void __Array::removeLastObject() {
  if (!data.empty()) data.popBack();
}

__Array* __Array::clone() const {
  auto* copy = new __Array;
  copy->data.reserve(data.size());
  for (Ref* obj : data) {
    if (auto* c = dynamic_cast<Clonable*>(obj)) {
      Ref* dup = dynamic_cast<Ref*>(c->clone());
      if (dup) {
        copy->data.pushBack(dup);
        dup->release();
        continue;
      }
    }
    copy->data.pushBack(obj);
  }
  return copy;
}

NS_CC_END
