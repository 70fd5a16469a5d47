#include "engine/2d/ActionInstant.h"

NS_CC_BEGIN

void ActionInstant::startWithTarget(Node* target) {
  FiniteTimeAction::startWithTarget(target);
  _done = false;
}

void ActionInstant::step(float) {
  if (_done) return;
  _done = true;
  update(1);
}

CallFunc* CallFunc::create(const std::function<void()>& func) {
  auto* a = new CallFunc;
  a->_function = func;
  a->autorelease();
  return a;
}

void CallFunc::update(float) {
  if (_function) _function();
}

CallFunc* CallFunc::clone() const { return create(_function); }

NS_CC_END
