// Reference-counted array of Ref objects: the value type of property-list
// arrays held in Ref containers.
#pragma once

#include "engine/base/Vector.h"

NS_CC_BEGIN

class __Array : public Ref, public Clonable {
 public:
  __Array() = default;
  ~__Array() override = default;

  static __Array* create();
  static __Array* createWithCapacity(ssize_t capacity);
  bool init() { return true; }
  bool initWithCapacity(ssize_t capacity);

  ssize_t count() const { return data.size(); }
  ssize_t capacity() const { return data.capacity(); }
  // The element at index, or null when out of range.
  Ref* getObjectAtIndex(ssize_t index) const;
  Ref* getLastObject() const { return data.empty() ? nullptr : data.back(); }
  ssize_t getIndexOfObject(Ref* object) const { return data.getIndex(object); }
  bool containsObject(Ref* object) const { return data.contains(object); }

  void addObject(Ref* object);  // retains
  void insertObject(Ref* object, ssize_t index);
  void removeObjectAtIndex(ssize_t index);
  void removeObject(Ref* object);
  void removeLastObject();
  void removeAllObjects() { data.clear(); }

  // Deep copy: elements that are Clonable are cloned, others are shared.
  __Array* clone() const override;

  Vector<Ref*>::iterator begin() { return data.begin(); }
  Vector<Ref*>::iterator end() { return data.end(); }

  Vector<Ref*> data;
};

NS_CC_END
