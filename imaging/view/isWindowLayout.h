// The layout the render windows are built on: the toolkit's mouse-aware
// layout.
#pragma once

#include "toolkit/widgets/NSLayout.h"

namespace isImageSDK {

using isWindowLayout = NSUI::NSLayout;

}  // namespace isImageSDK
