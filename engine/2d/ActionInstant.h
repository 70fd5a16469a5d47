// Actions that happen at once: done after their first step.
#pragma once

#include <functional>

#include "engine/2d/Action.h"

NS_CC_BEGIN

class ActionInstant : public FiniteTimeAction {
 public:
  bool isDone() const override { return _done; }
  void startWithTarget(Node* target) override;
  void step(float dt) override;
  ActionInstant* clone() const override = 0;

 protected:
  ActionInstant() = default;
  bool _done = false;
};

// Calls a function once, when its turn comes.
class CallFunc : public ActionInstant {
 public:
  static CallFunc* create(const std::function<void()>& func);
  void update(float time) override;
  CallFunc* clone() const override;

 protected:
  CallFunc() = default;
  std::function<void()> _function;
};

NS_CC_END
