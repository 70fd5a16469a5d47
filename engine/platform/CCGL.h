// The GL headers the engine builds against: GLEW (compatibility profile).
#pragma once

#include <GL/glew.h>

#include "engine/base/ccMacros.h"
