// The layout the render windows are built on.
#pragma once

#include "engine/ui/Layout.h"

namespace isImageSDK {

using isWindowLayout = cocos2d::ui::Layout;

}  // namespace isImageSDK
