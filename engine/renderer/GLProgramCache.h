// The built-in programs by name (GLProgram::SHADER_NAME_*), built on first
// use with the current GL context. Without a context every look-up is null.
#pragma once

#include <string>
#include <unordered_map>

#include "engine/renderer/GLProgram.h"

NS_CC_BEGIN

class GLProgramCache : public Ref {
 public:
  static GLProgramCache* getInstance();
  static void destroyInstance();

  GLProgram* getGLProgram(const std::string& name);
  void addGLProgram(GLProgram* program, const std::string& name);
  // Drops every program (the window calls this before its context goes).
  void purge();

 private:
  std::unordered_map<std::string, GLProgram*> _programs;
  ~GLProgramCache() override;
};

NS_CC_END
