#include "engine/2d/Action.h"

NS_CC_BEGIN

void Action::startWithTarget(Node* target) {
  _originalTarget = _target = target;
}

void Action::stop() { _target = nullptr; }

void Action::step(float) {}

void Action::update(float) {}

NS_CC_END
