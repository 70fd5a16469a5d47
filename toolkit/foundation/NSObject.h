// Reference-counted base of the toolkit's plain objects (requests, services
// without a node).
#pragma once

#include "engine/cocos2d.h"

namespace NSUI {

// A cocos2d::Ref with nothing of its own; the common base of the toolkit's
// non-node objects.
class NSObject : public cocos2d::Ref {
 public:
  NSObject() = default;
  ~NSObject() override = default;
};

}  // namespace NSUI
