// The GL parts of Node: program states.
#include "engine/2d/Layer.h"
#include "engine/2d/Node.h"
#include "engine/platform/CCGL.h"
#include "engine/renderer/GLProgramCache.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

GLProgramState* Node::getGLProgramState() const { return static_cast<GLProgramState*>(_glProgramState); }

void Node::setGLProgramState(GLProgramState* state) {
  if (state == _glProgramState) return;
  CC_SAFE_RETAIN(state);
  CC_SAFE_RELEASE(_glProgramState);
  _glProgramState = state;
}

GLProgram* Node::getGLProgram() const {
  GLProgramState* s = getGLProgramState();
  return s ? s->getGLProgram() : nullptr;
}

void Node::setGLProgram(GLProgram* program) {
  if (!program) {
    setGLProgramState(nullptr);
    return;
  }
  if (getGLProgram() == program) return;
  setGLProgramState(GLProgramState::create(program));
}


NS_CC_END
