#include "engine/2d/ActionManager.h"

#include <algorithm>

#include "engine/2d/Action.h"
#include "engine/2d/Node.h"
#include "engine/base/ccLog.h"

NS_CC_BEGIN

ActionManager::ActionManager() = default;

ActionManager::~ActionManager() { removeAllActions(); }

ActionManager::Element* ActionManager::find(const Node* target) const {
  for (Element* e : _elements)
    if (e->target == target) return e;
  return nullptr;
}

void ActionManager::addAction(Action* action, Node* target, bool paused) {
  if (!action || !target) return;
  Element* e = find(target);
  if (!e) {
    e = new Element;
    e->target = target;
    e->paused = paused;
    target->retain();
    _elements.push_back(e);
  }
  if (e->actions.contains(action)) {
    log("ActionManager: the action already runs on this target");
    return;
  }
  e->actions.pushBack(action);
  action->startWithTarget(target);
}

void ActionManager::removeAllActions() {
  std::vector<Node*> targets;
  for (Element* e : _elements) targets.push_back(e->target);
  for (Node* t : targets) removeAllActionsFromTarget(t);
}

void ActionManager::removeAllActionsFromTarget(Node* target) {
  Element* e = find(target);
  if (!e) return;
  // Stop each action; stop() may remove others, so take them one at a time.
  Vector<Action*> actions;
  actions.pushBack(e->actions);
  e->actions.clear();
  for (Action* a : actions) a->stop();
  deleteElementIfEmpty(target);
}

void ActionManager::removeAction(Action* action) {
  if (!action) return;
  for (Element* e : _elements) {
    ssize_t i = e->actions.getIndex(action);
    if (i != CC_INVALID_INDEX) {
      removeActionAt(e, i);
      return;
    }
  }
}

void ActionManager::removeActionAt(Element* e, ssize_t index) {
  Action* a = e->actions.at(index);
  a->retain();
  e->actions.erase(index);
  a->stop();
  a->release();
  deleteElementIfEmpty(e->target);
}

void ActionManager::removeActionByTag(int tag, Node* target) {
  Element* e = find(target);
  if (!e) return;
  for (ssize_t i = 0; i < e->actions.size(); ++i)
    if (e->actions.at(i)->getTag() == tag) {
      removeActionAt(e, i);
      return;
    }
}

void ActionManager::removeAllActionsByTag(int tag, Node* target) {
  for (Action* a = getActionByTag(tag, target); a; a = getActionByTag(tag, target)) removeAction(a);
}

Action* ActionManager::getActionByTag(int tag, const Node* target) const {
  Element* e = find(target);
  if (!e) return nullptr;
  for (Action* a : e->actions)
    if (a->getTag() == tag) return a;
  return nullptr;
}

ssize_t ActionManager::getNumberOfRunningActionsInTarget(const Node* target) const {
  Element* e = find(target);
  return e ? e->actions.size() : 0;
}

ssize_t ActionManager::getNumberOfRunningActions() const {
  ssize_t n = 0;
  for (Element* e : _elements) n += e->actions.size();
  return n;
}

void ActionManager::pauseTarget(Node* target) {
  if (Element* e = find(target)) e->paused = true;
}

void ActionManager::resumeTarget(Node* target) {
  if (Element* e = find(target)) e->paused = false;
}

void ActionManager::deleteElementIfEmpty(Node* target) {
  Element* e = find(target);
  if (!e || !e->actions.empty()) return;
  if (e == _current) {
    // Deleted after the current step returns.
    _currentSalvaged = true;
    return;
  }
  _elements.erase(std::find(_elements.begin(), _elements.end(), e));
  Node* t = e->target;
  delete e;
  t->release();
}

void ActionManager::update(float dt) {
  // Snapshot of the targets: elements added during the frame start next frame.
  std::vector<Node*> targets;
  targets.reserve(_elements.size());
  for (Element* e : _elements) targets.push_back(e->target);
  for (Node* t : targets) {
    Element* e = find(t);
    if (!e || e->paused) continue;
    t->retain();
    _current = e;
    _currentSalvaged = false;
    Vector<Action*> actions;
    actions.pushBack(e->actions);
    for (Action* a : actions) {
      if (!e->actions.contains(a)) continue;  // removed by an earlier step
      a->step(dt);
      if (a->isDone() && e->actions.contains(a)) {
        a->retain();
        e->actions.eraseObject(a);
        a->stop();
        a->release();
      }
    }
    _current = nullptr;
    if (e->actions.empty()) deleteElementIfEmpty(t);
    t->release();
  }
}

NS_CC_END
