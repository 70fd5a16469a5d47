// Root of every imaging object: a reference-counted engine object with an id
// and a name (the name is the key of the shared-object registry).
#pragma once

#include <cstdint>
#include <new>
#include <string>

#include "engine/cocos2d.h"

namespace isImageSDK {

class isObject : public cocos2d::Ref {
 public:
  ~isObject() override;

  // Releases what the object holds and returns it to its initial state.
  virtual void clear();
  // Id -1, name empty; returns true.
  virtual bool init();

  std::string getName() const { return name; }

  int32_t id = -1;
  std::string name;

 protected:
  isObject() = default;
};

// The second half of an imaging create(): initialises a new object, which is
// not autoreleased (the caller holds the only reference); null when
// allocation or init fails.
template <class T>
T* initCreated(T* object) {
  if (object && !object->init()) {
    object->release();
    return nullptr;
  }
  return object;
}

}  // namespace isImageSDK
