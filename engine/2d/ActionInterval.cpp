#include "engine/2d/ActionInterval.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>

#include "engine/2d/Node.h"

NS_CC_BEGIN

namespace {
// Frame times summed in floats fall short of the duration by rounding
// (60 × 1/60 < 1): within this much the action counts as done.
constexpr float kDoneSlack = 1e-4f;
}  // namespace

bool ActionInterval::initWithDuration(float duration) {
  _duration = std::max(0.0f, duration);
  _elapsed = 0;
  _started = false;
  return true;
}

bool ActionInterval::isDone() const { return _started && _elapsed >= _duration - kDoneSlack; }

void ActionInterval::startWithTarget(Node* target) {
  FiniteTimeAction::startWithTarget(target);
  _elapsed = 0;
  _started = false;
}

void ActionInterval::step(float dt) {
  _started = true;
  _elapsed += std::max(0.0f, dt);
  float t = 1;
  if (_duration > 0 && _elapsed < _duration - kDoneSlack) t = _elapsed / _duration;
  update(std::min(1.0f, t));
}

// ---------------------------------------------------------------- Sequence

Sequence* Sequence::create(FiniteTimeAction* action1, ...) {
  Vector<FiniteTimeAction*> actions;
  va_list args;
  va_start(args, action1);
  for (FiniteTimeAction* a = action1; a; a = va_arg(args, FiniteTimeAction*)) actions.pushBack(a);
  va_end(args);
  return create(actions);
}

Sequence* Sequence::createWithTwoActions(FiniteTimeAction* one, FiniteTimeAction* two) {
  return create(one, two, nullptr);
}

Sequence* Sequence::create(const Vector<FiniteTimeAction*>& actions) {
  auto* s = new Sequence;
  float duration = 0;
  for (FiniteTimeAction* a : actions) duration += a->getDuration();
  s->initWithDuration(duration);
  s->_actions = actions;
  s->autorelease();
  return s;
}

void Sequence::startWithTarget(Node* target) {
  ActionInterval::startWithTarget(target);
  _current = 0;
  _currentStarted = false;
}

void Sequence::stop() {
  if (_currentStarted && _current < _actions.size()) _actions.at(static_cast<ssize_t>(_current))->stop();
  _currentStarted = false;
  ActionInterval::stop();
}

void Sequence::update(float time) {
  // Keep this sequence alive while a step removes it from its node.
  retain();
  const float now = time * _duration;
  float start = 0;
  for (size_t i = 0; i < _current; ++i) start += _actions.at(static_cast<ssize_t>(i))->getDuration();
  while (_current < _actions.size() && _target) {
    FiniteTimeAction* a = _actions.at(static_cast<ssize_t>(_current));
    const float d = a->getDuration();
    if (!_currentStarted) {
      a->startWithTarget(_target);
      _currentStarted = true;
    }
    if (time >= 1 || now >= start + d - kDoneSlack) {
      a->update(1);
      a->stop();
      _currentStarted = false;
      ++_current;
      start += d;
      continue;
    }
    a->update(d > 0 ? std::max(0.0f, now - start) / d : 1);
    break;
  }
  release();
}

Sequence* Sequence::clone() const {
  Vector<FiniteTimeAction*> copies;
  for (FiniteTimeAction* a : _actions) copies.pushBack(a->clone());
  return create(copies);
}

// ----------------------------------------------------------- RepeatForever

RepeatForever* RepeatForever::create(ActionInterval* action) {
  if (!action) return nullptr;
  auto* r = new RepeatForever;
  r->_inner = action;
  action->retain();
  r->autorelease();
  return r;
}

RepeatForever::~RepeatForever() { CC_SAFE_RELEASE(_inner); }

void RepeatForever::startWithTarget(Node* target) {
  ActionInterval::startWithTarget(target);
  _inner->startWithTarget(target);
}

void RepeatForever::step(float dt) {
  _inner->step(dt);
  if (_inner->isDone() && _target) {
    // Carry the time beyond the end into the next round.
    const float over = _inner->getElapsed() - _inner->getDuration();
    _inner->stop();
    _inner->startWithTarget(_target);
    if (over > 0 && _inner->getDuration() > 0) _inner->step(std::fmod(over, _inner->getDuration()));
  }
}

void RepeatForever::stop() {
  _inner->stop();
  ActionInterval::stop();
}

RepeatForever* RepeatForever::clone() const { return create(_inner->clone()); }

// ---------------------------------------------------------------- DelayTime

DelayTime* DelayTime::create(float duration) {
  auto* a = new DelayTime;
  a->initWithDuration(duration);
  a->autorelease();
  return a;
}

DelayTime* DelayTime::clone() const { return create(_duration); }

// ----------------------------------------------------------------- RotateBy

RotateBy* RotateBy::create(float duration, float deltaAngle) { return create(duration, Vec3(0, 0, deltaAngle)); }

RotateBy* RotateBy::create(float duration, const Vec3& deltaAngle3D) {
  auto* a = new RotateBy;
  a->initWithDuration(duration);
  a->_delta = deltaAngle3D;
  a->autorelease();
  return a;
}

void RotateBy::startWithTarget(Node* target) {
  ActionInterval::startWithTarget(target);
  _start = target->getRotation3D();
}

void RotateBy::update(float time) {
  if (!_target) return;
  if (_delta.x == 0 && _delta.y == 0 && _start.x == 0 && _start.y == 0)
    _target->setRotation(_start.z + _delta.z * time);
  else
    _target->setRotation3D(_start + _delta * time);
}

RotateBy* RotateBy::clone() const { return create(_duration, _delta); }

// ------------------------------------------------------------ MoveBy/MoveTo

MoveBy* MoveBy::create(float duration, const Vec2& delta) {
  auto* a = new MoveBy;
  a->initWithDuration(duration);
  a->_delta = delta;
  a->autorelease();
  return a;
}

void MoveBy::startWithTarget(Node* target) {
  ActionInterval::startWithTarget(target);
  _start = target->getPosition();
}

void MoveBy::update(float time) {
  if (_target) _target->setPosition(_start + _delta * time);
}

MoveBy* MoveBy::clone() const { return create(_duration, _delta); }

MoveTo* MoveTo::create(float duration, const Vec2& position) {
  auto* a = new MoveTo;
  a->initWithDuration(duration);
  a->_end = position;
  a->autorelease();
  return a;
}

void MoveTo::startWithTarget(Node* target) {
  MoveBy::startWithTarget(target);
  _delta = _end - _start;
}

MoveTo* MoveTo::clone() const { return create(_duration, _end); }

// --------------------------------------------------------------------- Fade

FadeTo* FadeTo::create(float duration, GLubyte opacity) {
  auto* a = new FadeTo;
  a->initWithDuration(duration);
  a->_to = opacity;
  a->autorelease();
  return a;
}

void FadeTo::startWithTarget(Node* target) {
  ActionInterval::startWithTarget(target);
  _from = target->getOpacity();
}

void FadeTo::update(float time) {
  if (!_target) return;
  const float v = static_cast<float>(_from) + (static_cast<float>(_to) - static_cast<float>(_from)) * time;
  _target->setOpacity(static_cast<GLubyte>(std::lround(v)));
}

FadeTo* FadeTo::clone() const { return create(_duration, _to); }

FadeIn* FadeIn::create(float duration) {
  auto* a = new FadeIn;
  a->initWithDuration(duration);
  a->_to = 255;
  a->autorelease();
  return a;
}

FadeIn* FadeIn::clone() const { return create(_duration); }

FadeOut* FadeOut::create(float duration) {
  auto* a = new FadeOut;
  a->initWithDuration(duration);
  a->_to = 0;
  a->autorelease();
  return a;
}

FadeOut* FadeOut::clone() const { return create(_duration); }

NS_CC_END
