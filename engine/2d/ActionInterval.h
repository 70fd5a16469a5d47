// Actions that run over a duration on the frame clock: each frame adds its
// time (the first step included) and update(t) gets t = elapsed / duration,
// linear, clamped to 1. An action of 1 s is done after 60 frames of 1/60 s.
// A zero duration finishes at its first step.
#pragma once

#include <vector>

#include "engine/2d/Action.h"
#include "engine/base/Vector.h"
#include "engine/math/Vec2.h"
#include "engine/math/Vec3.h"
#include "engine/platform/CCGL.h"

NS_CC_BEGIN

class ActionInterval : public FiniteTimeAction {
 public:
  float getElapsed() const { return _elapsed; }
  bool isDone() const override;
  void startWithTarget(Node* target) override;
  void step(float dt) override;
  ActionInterval* clone() const override = 0;

 protected:
  ActionInterval() = default;
  bool initWithDuration(float duration);
  float _elapsed = 0;
  bool _started = false;
};

// Runs actions one after the other; instant ones (CallFunc) take no time.
class Sequence : public ActionInterval {
 public:
  // A null-terminated list: Sequence::create(a, b, c, nullptr).
  static Sequence* create(FiniteTimeAction* action1, ...);
  static Sequence* create(const Vector<FiniteTimeAction*>& actions);
  static Sequence* createWithTwoActions(FiniteTimeAction* one, FiniteTimeAction* two);
  void startWithTarget(Node* target) override;
  void stop() override;
  void update(float time) override;
  Sequence* clone() const override;

 protected:
  Sequence() = default;
  Vector<FiniteTimeAction*> _actions;
  size_t _current = 0;
  bool _currentStarted = false;
};

// Repeats an action until it is removed.
class RepeatForever : public ActionInterval {
 public:
  static RepeatForever* create(ActionInterval* action);
  bool isDone() const override { return false; }
  void startWithTarget(Node* target) override;
  void step(float dt) override;
  void stop() override;
  RepeatForever* clone() const override;
  ActionInterval* getInnerAction() const { return _inner; }
  ~RepeatForever() override;

 protected:
  RepeatForever() = default;
  ActionInterval* _inner = nullptr;  // retained
};

class DelayTime : public ActionInterval {
 public:
  static DelayTime* create(float duration);
  void update(float) override {}
  DelayTime* clone() const override;

 protected:
  DelayTime() = default;
};

// Turns by degrees, clockwise about z; the Vec3 form turns about x, y and z.
class RotateBy : public ActionInterval {
 public:
  static RotateBy* create(float duration, float deltaAngle);
  static RotateBy* create(float duration, const Vec3& deltaAngle3D);
  void startWithTarget(Node* target) override;
  void update(float time) override;
  RotateBy* clone() const override;

 protected:
  RotateBy() = default;
  Vec3 _delta;
  Vec3 _start;
};

class MoveBy : public ActionInterval {
 public:
  static MoveBy* create(float duration, const Vec2& delta);
  void startWithTarget(Node* target) override;
  void update(float time) override;
  MoveBy* clone() const override;

 protected:
  MoveBy() = default;
  Vec2 _delta;
  Vec2 _start;
};

class MoveTo : public MoveBy {
 public:
  static MoveTo* create(float duration, const Vec2& position);
  void startWithTarget(Node* target) override;
  MoveTo* clone() const override;

 protected:
  MoveTo() = default;
  Vec2 _end;
};

// Changes the opacity to a value; the node stays visible, even at 0.
class FadeTo : public ActionInterval {
 public:
  static FadeTo* create(float duration, GLubyte opacity);
  void startWithTarget(Node* target) override;
  void update(float time) override;
  FadeTo* clone() const override;

 protected:
  FadeTo() = default;
  GLubyte _to = 0;
  GLubyte _from = 0;
};

class FadeIn : public FadeTo {
 public:
  static FadeIn* create(float duration);
  FadeIn* clone() const override;

 protected:
  FadeIn() = default;
};

class FadeOut : public FadeTo {
 public:
  static FadeOut* create(float duration);
  FadeOut* clone() const override;

 protected:
  FadeOut() = default;
};

NS_CC_END
