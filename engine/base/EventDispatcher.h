// Delivers touch, mouse, keyboard and custom events to listeners.
//
// Order: listeners with a fixed priority below 0 (ascending), then the
// scene-graph listeners front to back (the reverse of the running scene's
// visit order, protected and negative-z children included), then fixed
// priorities above 0 (ascending); ties keep registration order.
//
// Touches (one dispatch, visiting camera = the scene's default camera):
// one-by-one listeners first, then all-at-once listeners. A touch claimed in
// onTouchBegan by a swallowing one-by-one listener is withheld from every
// later listener for the whole touch. Scene-graph listeners whose node lacks
// camera flag 1 get no touches.
//
// Mouse: offered camera by camera (default camera first, then the others in
// registration order) with Camera::_visitingCamera set; a scene-graph
// listener is offered only under a camera its node is visitable by, and
// every listener at most once per event. stopPropagation() ends the whole
// dispatch.
//
// A scene-graph listener gets events only while its node is running and is
// removed when the node is destroyed (not at cleanup). Visibility is not
// tested here; handlers test it. Listeners added or removed while an event
// is being dispatched take part from the next event on (a removed listener
// is never called again).
#pragma once

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/base/Event.h"
#include "engine/base/EventListener.h"
#include "engine/base/Ref.h"

NS_CC_BEGIN

class Node;
class Scene;

class EventDispatcher : public Ref {
 public:
  EventDispatcher();
  ~EventDispatcher() override;

  // The listener must not be registered already (use clone()).
  void addEventListenerWithSceneGraphPriority(EventListener* listener, Node* node);
  // priority != 0: below 0 runs before the scene graph, above 0 after it.
  void addEventListenerWithFixedPriority(EventListener* listener, int fixedPriority);
  // A custom listener at fixed priority 1.
  EventListenerCustom* addCustomEventListener(const std::string& eventName,
                                              const std::function<void(EventCustom*)>& callback);

  void removeEventListener(EventListener* listener);
  void removeEventListenersForTarget(Node* target, bool recursive = false);
  void removeEventListenersForType(EventListener::Type type);
  void removeCustomEventListeners(const std::string& customEventName);
  void removeAllEventListeners();

  // Pausing is on top of the running rule: a paused listener gets nothing.
  void pauseEventListenersForTarget(Node* target, bool recursive = false);
  void resumeEventListenersForTarget(Node* target, bool recursive = false);

  void setEnabled(bool enabled) { _isEnabled = enabled; }
  bool isEnabled() const { return _isEnabled; }

  void dispatchEvent(Event* event);
  void dispatchCustomEvent(const std::string& eventName, void* optionalUserData = nullptr);

  // (ours) The back-key chain: running nodes of the running scene that
  // called enableAndroidReturnKey() are asked front to back until one's
  // onResponseReturn() returns true; then the scene itself is asked.
  // Returns true when someone handled it.
  bool dispatchReturnKeyChain();

  // Number of registered listeners (pending additions included).
  size_t getListenerCount() const;

  // (ours) Nodes of the scene in event order (front to back).
  static void collectEventOrder(Scene* scene, std::vector<Node*>& out);

 private:
  struct DispatchGuard;
  void addListener(EventListener* listener);
  bool isListenerAvailable(EventListener* listener) const;
  std::vector<EventListener*> orderedListeners(EventListener::Type type, const std::string* customID) const;
  void dispatchTouchEvent(EventTouch* event);
  void dispatchMouseEvent(EventMouse* event);
  void dispatchSimple(Event* event, EventListener::Type type, const std::string* customID);
  void forgetTouch(Touch* touch);
  void purgeRemoved();

  std::vector<EventListener*> _listeners;  // retained, registration order
  std::vector<EventListener*> _toAdd;      // retained, added during a dispatch
  std::unordered_set<EventListener*> _paused;
  std::unordered_set<int> _swallowedTouchIds;
  unsigned long long _nextOrder = 1;
  int _inDispatch = 0;
  bool _needsPurge = false;
  bool _isEnabled = true;
};

NS_CC_END
