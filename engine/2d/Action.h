// Base of the actions that nodes run (concrete actions come with the
// widget stage). The ActionManager calls step(dt) once per frame while the
// target runs; step turns elapsed time into update(t) calls; when isDone()
// the manager calls stop() and drops the action.
#pragma once

#include "engine/base/Ref.h"

NS_CC_BEGIN

class Node;

class Action : public Ref, public Clonable {
 public:
  static const int INVALID_TAG = -1;

  Action* clone() const override = 0;
  virtual Action* reverse() const { return nullptr; }

  virtual bool isDone() const { return true; }
  // Called before the first step.
  virtual void startWithTarget(Node* target);
  // Called when the action finishes or is removed; the target is cleared.
  virtual void stop();
  // dt: seconds since the last frame.
  virtual void step(float dt);
  // t: progress 0..1 for timed actions.
  virtual void update(float time);

  Node* getTarget() const { return _target; }
  void setTarget(Node* target) { _target = target; }
  Node* getOriginalTarget() const { return _originalTarget; }
  void setOriginalTarget(Node* target) { _originalTarget = target; }
  int getTag() const { return _tag; }
  void setTag(int tag) { _tag = tag; }
  unsigned int getFlags() const { return _flags; }
  void setFlags(unsigned int flags) { _flags = flags; }

 protected:
  Action() = default;
  Node* _originalTarget = nullptr;
  Node* _target = nullptr;
  int _tag = INVALID_TAG;
  unsigned int _flags = 0;
};

// An action with a duration in seconds.
class FiniteTimeAction : public Action {
 public:
  float getDuration() const { return _duration; }
  void setDuration(float duration) { _duration = duration; }
  FiniteTimeAction* clone() const override = 0;

 protected:
  FiniteTimeAction() = default;
  float _duration = 0;
};

NS_CC_END
