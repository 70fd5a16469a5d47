// The GL scalar type names the engine's public headers use, declared the
// same way GL's own headers declare them (so either may come first).
#pragma once

typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef unsigned char GLubyte;
typedef int GLint;
typedef float GLfloat;
