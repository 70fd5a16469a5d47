// Pixel transfers into textures so far: every Texture2D::initWithData and
// Texture2D::updateWithData that succeeded, with or without GL. Tests and
// benchmarks read it to watch upload traffic. Any thread.
#pragma once

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

unsigned long textureUploadCount();

NS_CC_END
