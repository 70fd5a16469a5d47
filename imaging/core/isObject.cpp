#include "imaging/core/isObject.h"

namespace isImageSDK {

isObject::~isObject() = default;

void isObject::clear() {}

bool isObject::init() {
  id = -1;
  name.clear();
  return true;
}

}  // namespace isImageSDK
