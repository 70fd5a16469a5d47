// Engine utilities.
#pragma once

#include <functional>
#include <string>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

namespace utils {

// Captures the window to a JPEG (quality 90) after the next frame has been
// rendered. The rectangle is in window pixels (= design units), origin
// bottom-left; (0, 0, 0, 0) means the whole window. It is clipped to the
// framebuffer, and an empty rectangle after clipping is a failure. The file
// is written under a temporary name and renamed. afterCaptured(success,
// file) always runs on the UI thread, at a later frame; without a window
// (headless) it reports false. Unique file names are the caller's job.
void captureScreen(const std::function<void(bool, const std::string&)>& afterCaptured,
                   const std::string& filename, int x = 0, int y = 0, int width = 0, int height = 0);

}  // namespace utils

NS_CC_END
