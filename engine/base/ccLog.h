#pragma once

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

// printf-style logging, safe from any thread: one line per call on stderr,
// written whole under a lock, with no length limit.
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));

NS_CC_END
