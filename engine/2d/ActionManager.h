// Runs the actions of nodes; scheduled on the Director's scheduler as a
// system update callback (before every other update callback). Retains the
// running actions and their targets; removing is safe from inside an
// action's step.
#pragma once

#include <unordered_map>
#include <vector>

#include "engine/2d/Action.h"
#include "engine/base/Ref.h"
#include "engine/base/Vector.h"

NS_CC_BEGIN

class Action;
class Node;

class ActionManager : public Ref {
 public:
  ActionManager();
  ~ActionManager() override;

  // Starts the action on target; paused when the target is not running.
  void addAction(Action* action, Node* target, bool paused);
  void removeAllActions();
  void removeAllActionsFromTarget(Node* target);
  void removeAction(Action* action);
  void removeActionByTag(int tag, Node* target);
  void removeAllActionsByTag(int tag, Node* target);
  Action* getActionByTag(int tag, const Node* target) const;
  ssize_t getNumberOfRunningActionsInTarget(const Node* target) const;
  ssize_t getNumberOfRunningActions() const;

  void pauseTarget(Node* target);
  void resumeTarget(Node* target);

  // One frame.
  void update(float dt);

 private:
  struct Element {
    Node* target = nullptr;  // retained
    Vector<Action*> actions;
    bool paused = false;
  };
  Element* find(const Node* target) const;
  void removeActionAt(Element* element, ssize_t index);
  void deleteElementIfEmpty(Node* target);

  std::vector<Element*> _elements;  // order of first action
  Element* _current = nullptr;
  bool _currentSalvaged = false;
};

NS_CC_END
